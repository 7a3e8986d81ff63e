// The letters of residue codes in their plain and AVX2 versions.
#include "sequences/seqio_print_fast.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QOR_LETTERS_AVX2 1
#endif

namespace {

void codes_to_letters_plain(const unsigned char *codes, size_t n, const char *table, char *out) {
    for (size_t i = 0; i < n; i++) out[i] = table[codes[i]];
}

#if defined(QOR_LETTERS_AVX2)
// Codes below 32 (every code of the letter alphabets) index two 16-entry tables by their low
// four bits, bit 4 choosing the table; a piece holding any other code is looked up byte by byte.
__attribute__((target("avx2"))) void codes_to_letters_avx2(const unsigned char *codes, size_t n,
                                                           const char *table, char *out) {
    const __m256i low =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(table)));
    const __m256i high =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(table + 16)));
    const __m256i limit = _mm256_set1_epi8(31), bit4 = _mm256_set1_epi8(16);
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(codes + i));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(c, limit), c)) != -1) {
            codes_to_letters_plain(codes + i, 32, table, out + i);
            continue;
        }
        __m256i from_high = _mm256_cmpeq_epi8(_mm256_and_si256(c, bit4), bit4);
        __m256i letters = _mm256_blendv_epi8(_mm256_shuffle_epi8(low, c),
                                             _mm256_shuffle_epi8(high, c), from_high);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), letters);
    }
    codes_to_letters_plain(codes + i, n - i, table, out + i);
}

bool have_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

bool letter_kernel_available(LetterKernel kernel) {
    switch (kernel) {
        case LETTERS_PLAIN: return true;
#if defined(QOR_LETTERS_AVX2)
        case LETTERS_AVX2: return have_avx2();
#endif
        default: return false;
    }
}

void codes_to_letters_with(LetterKernel kernel, const unsigned char *codes, size_t n,
                           const char *table, char *out) {
#if defined(QOR_LETTERS_AVX2)
    if (kernel == LETTERS_AVX2) {
        codes_to_letters_avx2(codes, n, table, out);
        return;
    }
#endif
    (void)kernel;
    codes_to_letters_plain(codes, n, table, out);
}

void codes_to_letters(const unsigned char *codes, size_t n, const char *table, char *out) {
    static const LetterKernel best =
        letter_kernel_available(LETTERS_AVX2) ? LETTERS_AVX2 : LETTERS_PLAIN;
    codes_to_letters_with(best, codes, n, table, out);
}
