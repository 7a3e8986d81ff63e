// The letters of residue codes, as the sequence writers put them out: a plain version and an
// AVX2 version beside it, which give the same results.
#ifndef QOR_SEQIO_PRINT_FAST_H
#define QOR_SEQIO_PRINT_FAST_H

#include <cstddef>

// The versions of the mapping.
enum LetterKernel { LETTERS_PLAIN = 0, LETTERS_AVX2 = 1 };

// True when the version can run here (built in, and the processor has the instructions).
bool letter_kernel_available(LetterKernel kernel);

// Writes table[codes[i]] to out[i] for every i below n (out is not terminated). kernel must be
// available. The AVX2 version looks codes below 32 up 32 at a time and any other code one by one.
void codes_to_letters_with(LetterKernel kernel, const unsigned char *codes, size_t n,
                           const char *table, char *out);

// codes_to_letters_with the fastest version available.
void codes_to_letters(const unsigned char *codes, size_t n, const char *table, char *out);

#endif
