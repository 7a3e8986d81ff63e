// The quiet-run test of the FASTA reader: how far a stretch of an entry's bytes holds only
// newlines and residues that give no conversion note. A plain version and the SSE2 and AVX2
// versions beside it, which give the same results.
#ifndef QOR_FASTA_FAST_H
#define QOR_FASTA_FAST_H

#include <cstddef>

// Bytes tested at a time.
constexpr size_t QUIET_BLOCK = 64;

// Most noisy values a test holds.
constexpr int QUIET_MAX_NOISY = 8;

// What a byte b must not be: b | fold is none of the noisy values (unused places hold 0, which
// is never a residue). count: 4 when only the first four places are used, else 8.
struct QuietTest {
    unsigned char noisy[QUIET_MAX_NOISY];
    unsigned char fold;
    int count;
};

// The versions of the test.
enum QuietKernel { QUIET_PLAIN = 0, QUIET_SSE2 = 1, QUIET_AVX2 = 2 };

// True when the version can run here (built in, and the processor has the instructions).
bool quiet_kernel_available(QuietKernel kernel);

// The bytes from p (n at most) that pass, a byte passing when it is a newline or a residue of
// the letter form (letter, digit, '-' or '.') that the test does not refuse: the whole blocks of
// QUIET_BLOCK bytes that pass, and of the next whole block (when one fails) the bytes before its
// first byte that fails. The bytes past the last whole block are not tested. Adds the residues
// among the bytes passed (those that are not newlines) to *residues. kernel must be available.
size_t quiet_run_with(QuietKernel kernel, const unsigned char *p, size_t n, const QuietTest *test,
                      size_t *residues);

// quiet_run_with the fastest version available.
size_t quiet_run(const unsigned char *p, size_t n, const QuietTest *test, size_t *residues);

#endif
