// The characters that the sequence-file library's readers keep, 16 bytes at a time.
#include "sequences/seqlib_keep_fast.h"

#include <cstdint>

#include "sequences/seqlib_keep.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QOR_KEEP_SHUFFLE 1
#include <immintrin.h>
#endif

#ifdef QOR_KEEP_SHUFFLE
namespace {

// For each 8-bit mask, the byte shuffle that packs the bytes whose bits are set to the front.
struct PackTable {
    alignas(16) uint8_t shuffle[256][8];
    uint8_t count[256];
    PackTable() {
        for (int m = 0; m < 256; m++) {
            int n = 0;
            for (int b = 0; b < 8; b++)
                if (m & (1 << b)) shuffle[m][n++] = static_cast<uint8_t>(b);
            count[m] = static_cast<uint8_t>(n);
            for (; n < 8; n++) shuffle[m][n] = 0x80;
        }
    }
};
const PackTable pack_table;

__attribute__((target("ssse3"))) size_t keep_ssse3(const char *text, size_t length, char *out) {
    const __m128i bit5 = _mm_set1_epi8(0x20), before_a = _mm_set1_epi8('a' - 1),
                  after_z = _mm_set1_epi8('z' + 1), eight = _mm_set1_epi8(8);
    const __m128i under = _mm_set1_epi8('_'), dot = _mm_set1_epi8('.'), dash = _mm_set1_epi8('-'),
                  star = _mm_set1_epi8('*'), query = _mm_set1_epi8('?');
    char *o = out;
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        // Letters: (b | 0x20) in 'a'..'z' as signed bytes (bytes from 128 are negative).
        __m128i l = _mm_or_si128(b, bit5);
        __m128i keep = _mm_and_si128(_mm_cmpgt_epi8(l, before_a), _mm_cmplt_epi8(l, after_z));
        keep = _mm_or_si128(keep, _mm_cmpeq_epi8(b, under));
        keep = _mm_or_si128(keep, _mm_cmpeq_epi8(b, dot));
        keep = _mm_or_si128(keep, _mm_cmpeq_epi8(b, dash));
        keep = _mm_or_si128(keep, _mm_cmpeq_epi8(b, star));
        keep = _mm_or_si128(keep, _mm_cmpeq_epi8(b, query));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(keep));
        if (mask == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), b);
            o += 16;
            continue;
        }
        unsigned lo = mask & 0xFF, hi = mask >> 8;
        __m128i slo = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(pack_table.shuffle[lo]));
        __m128i shi = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(pack_table.shuffle[hi]));
        // The high half's indices point at bytes 8..15 (the 0x80 of unused lanes stays negative).
        shi = _mm_add_epi8(shi, _mm_andnot_si128(_mm_cmplt_epi8(shi, _mm_setzero_si128()), eight));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(o), _mm_shuffle_epi8(b, slo));
        o += pack_table.count[lo];
        _mm_storel_epi64(reinterpret_cast<__m128i *>(o), _mm_shuffle_epi8(b, shi));
        o += pack_table.count[hi];
    }
    return static_cast<size_t>(o - out) + seqlib_keep_plain(text + i, length - i, o);
}

bool has_shuffle() {
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}

}  // namespace
#endif

size_t seqlib_keep_fast(const char *text, size_t length, char *out) {
#ifdef QOR_KEEP_SHUFFLE
    if (has_shuffle()) return keep_ssse3(text, length, out);
#endif
    return seqlib_keep_plain(text, length, out);
}
