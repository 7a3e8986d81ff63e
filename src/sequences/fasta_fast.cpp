// The quiet-run test of the FASTA reader in its plain, SSE2 and AVX2 versions.
#include "sequences/fasta_fast.h"

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QOR_QUIET_AVX2 1
#endif

namespace {

// ---------------------------------------------------------------------------------------------
// Plain
// ---------------------------------------------------------------------------------------------

bool quiet_byte(unsigned char b, const QuietTest *t) {
    if (b == '\n') return true;
    unsigned char lower = static_cast<unsigned char>(b | 0x20);
    bool residue = static_cast<unsigned char>(lower - 'a') < 26 ||
                   static_cast<unsigned char>(b - '0') < 10 || b == '-' || b == '.';
    if (!residue) return false;
    unsigned char f = static_cast<unsigned char>(b | t->fold);
    for (int j = 0; j < QUIET_MAX_NOISY; j++)
        if (f == t->noisy[j]) return false;
    return true;
}

size_t quiet_run_plain(const unsigned char *p, size_t n, const QuietTest *t, size_t *residues) {
    size_t whole = n - n % QUIET_BLOCK, done = 0, count = 0;
    while (done < whole && quiet_byte(p[done], t)) {
        count += p[done] != '\n';
        done++;
    }
    *residues += count;
    return done;
}

// ---------------------------------------------------------------------------------------------
// SSE2: one block as four 16-byte pieces
// ---------------------------------------------------------------------------------------------

#if defined(__SSE2__)
template <int K>
size_t quiet_run_sse2(const unsigned char *p, size_t n, const QuietTest *t, size_t *residues) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bit5 = _mm_set1_epi8(0x20), lower_a = _mm_set1_epi8('a'),
                  letters = _mm_set1_epi8(25);
    const __m128i digit0 = _mm_set1_epi8('0'), digits = _mm_set1_epi8(9);
    const __m128i dash = _mm_set1_epi8('-'), dot = _mm_set1_epi8('.'),
                  newline = _mm_set1_epi8('\n');
    const __m128i fold = _mm_set1_epi8(static_cast<char>(t->fold));
    __m128i v[K];
    for (int j = 0; j < K; j++) v[j] = _mm_set1_epi8(static_cast<char>(t->noisy[j]));
    size_t done = 0, count = 0;
    while (n - done >= QUIET_BLOCK) {
        uint64_t bad_bits = 0, newline_bits = 0;
        for (size_t k = 0; k < QUIET_BLOCK / 16; k++) {
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + done + 16 * k));
            // Unsigned x <= n as min(x, n) == x.
            __m128i l = _mm_sub_epi8(_mm_or_si128(b, bit5), lower_a);
            __m128i d = _mm_sub_epi8(b, digit0);
            __m128i nl = _mm_cmpeq_epi8(b, newline);
            __m128i ok = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(l, letters), l),
                                      _mm_cmpeq_epi8(_mm_min_epu8(d, digits), d));
            ok = _mm_or_si128(ok, _mm_or_si128(_mm_cmpeq_epi8(b, dash), _mm_cmpeq_epi8(b, dot)));
            ok = _mm_or_si128(ok, nl);
            __m128i f = _mm_or_si128(b, fold);
            __m128i hit = zero;
            for (int j = 0; j < K; j++) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(f, v[j]));
            __m128i fails = _mm_or_si128(_mm_cmpeq_epi8(ok, zero), hit);
            bad_bits |= uint64_t(static_cast<uint32_t>(_mm_movemask_epi8(fails))) << (16 * k);
            newline_bits |= uint64_t(static_cast<uint32_t>(_mm_movemask_epi8(nl))) << (16 * k);
        }
        if (bad_bits != 0) {
            // The bytes before the first that fails pass.
            int first = __builtin_ctzll(bad_bits);
            uint64_t before = (uint64_t(1) << first) - 1;
            count += static_cast<size_t>(first - __builtin_popcountll(newline_bits & before));
            done += static_cast<size_t>(first);
            break;
        }
        count += QUIET_BLOCK - static_cast<size_t>(__builtin_popcountll(newline_bits));
        done += QUIET_BLOCK;
    }
    *residues += count;
    return done;
}
#endif

// ---------------------------------------------------------------------------------------------
// AVX2: one block as two 32-byte pieces
// ---------------------------------------------------------------------------------------------

#if defined(QOR_QUIET_AVX2)
template <int K>
__attribute__((target("avx2"))) size_t quiet_run_avx2(const unsigned char *p, size_t n,
                                                      const QuietTest *t, size_t *residues) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bit5 = _mm256_set1_epi8(0x20), lower_a = _mm256_set1_epi8('a'),
                  letters = _mm256_set1_epi8(25);
    const __m256i digit0 = _mm256_set1_epi8('0'), digits = _mm256_set1_epi8(9);
    const __m256i dash = _mm256_set1_epi8('-'), dot = _mm256_set1_epi8('.'),
                  newline = _mm256_set1_epi8('\n');
    const __m256i fold = _mm256_set1_epi8(static_cast<char>(t->fold));
    __m256i v[K];
    for (int j = 0; j < K; j++) v[j] = _mm256_set1_epi8(static_cast<char>(t->noisy[j]));
    size_t done = 0, count = 0;
    while (n - done >= QUIET_BLOCK) {
        __m256i bad = zero, newlines = zero;
        uint64_t bad_bits = 0, newline_bits = 0;
        for (size_t k = 0; k < QUIET_BLOCK / 32; k++) {
            __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + done + 32 * k));
            __m256i l = _mm256_sub_epi8(_mm256_or_si256(b, bit5), lower_a);
            __m256i d = _mm256_sub_epi8(b, digit0);
            __m256i nl = _mm256_cmpeq_epi8(b, newline);
            __m256i ok = _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(l, letters), l),
                                         _mm256_cmpeq_epi8(_mm256_min_epu8(d, digits), d));
            ok = _mm256_or_si256(
                ok, _mm256_or_si256(_mm256_cmpeq_epi8(b, dash), _mm256_cmpeq_epi8(b, dot)));
            ok = _mm256_or_si256(ok, nl);
            __m256i f = _mm256_or_si256(b, fold);
            __m256i hit = zero;
            for (int j = 0; j < K; j++) hit = _mm256_or_si256(hit, _mm256_cmpeq_epi8(f, v[j]));
            __m256i fails = _mm256_or_si256(_mm256_cmpeq_epi8(ok, zero), hit);
            bad = _mm256_or_si256(bad, fails);
            newlines = _mm256_sub_epi8(newlines, nl);
            bad_bits |= uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(fails))) << (32 * k);
            newline_bits |= uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(nl))) << (32 * k);
        }
        if (_mm256_movemask_epi8(bad) != 0) {
            int first = __builtin_ctzll(bad_bits);
            uint64_t before = (uint64_t(1) << first) - 1;
            count += static_cast<size_t>(first - __builtin_popcountll(newline_bits & before));
            done += static_cast<size_t>(first);
            break;
        }
        __m256i sums = _mm256_sad_epu8(newlines, zero);
        size_t lines =
            static_cast<size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
        count += QUIET_BLOCK - lines;
        done += QUIET_BLOCK;
    }
    *residues += count;
    return done;
}

bool have_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

QuietKernel best_kernel() {
    static const QuietKernel best = quiet_kernel_available(QUIET_AVX2)   ? QUIET_AVX2
                                    : quiet_kernel_available(QUIET_SSE2) ? QUIET_SSE2
                                                                         : QUIET_PLAIN;
    return best;
}

}  // namespace

bool quiet_kernel_available(QuietKernel kernel) {
    switch (kernel) {
        case QUIET_PLAIN: return true;
#if defined(__SSE2__)
        case QUIET_SSE2: return true;
#endif
#if defined(QOR_QUIET_AVX2)
        case QUIET_AVX2: return have_avx2();
#endif
        default: return false;
    }
}

size_t quiet_run_with(QuietKernel kernel, const unsigned char *p, size_t n, const QuietTest *test,
                      size_t *residues) {
    bool four = test->count <= 4;
    switch (kernel) {
#if defined(QOR_QUIET_AVX2)
        case QUIET_AVX2:
            return four ? quiet_run_avx2<4>(p, n, test, residues)
                        : quiet_run_avx2<8>(p, n, test, residues);
#endif
#if defined(__SSE2__)
        case QUIET_SSE2:
            return four ? quiet_run_sse2<4>(p, n, test, residues)
                        : quiet_run_sse2<8>(p, n, test, residues);
#endif
        default: return quiet_run_plain(p, n, test, residues);
    }
}

size_t quiet_run(const unsigned char *p, size_t n, const QuietTest *test, size_t *residues) {
    return quiet_run_with(best_kernel(), p, n, test, residues);
}
