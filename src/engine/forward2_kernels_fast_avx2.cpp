// The expected-count pass of the fused backward-count row with the vector unit (AVX2), run
// after the backward row itself (dprow_backward_fast's row, without its terms): eight of the
// nine transition sums of each node in one vector, the emission sums of eight nodes at once,
// the log-sum table read by a gather. Every value equals the scalar fused row's
// (forward2_kernels_fast.cpp): the same capped pieces, the same log-sums; each sum takes its one
// piece per row, so the order across nodes does not matter. (Gathers are slow on some processors;
// one still costs less than eight scalar log-sums.)
#include "engine/forward2.h"
#include "engine/forward2_kernels_fast.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace {

// Eight log-sums LS(s, x) with x capped, lane by lane as LS(s, cap_cost(x)) gives them.
__attribute__((target("avx2"))) inline __m256i ls8(__m256i s, __m256i x) {
    const __m256i big = _mm256_set1_epi32(IMPOSSIBLE_COST);
    const __m256i top = _mm256_set1_epi32(SUMLOG_SIZE);
    x = _mm256_min_epi32(x, big);
    __m256i lo = _mm256_min_epi32(s, x), hi = _mm256_max_epi32(s, x);
    __m256i d = _mm256_min_epu32(_mm256_sub_epi32(hi, lo), top);
    // Every lane past the table (each sum far from its new piece) reads 0: no gather then.
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(d, top)) == -1) return lo;
    return _mm256_sub_epi32(lo, _mm256_i32gather_epi32(engine.SUMLOG, d, 4));
}

// Entry C (0 d, 1 m, 2 i) of the eight cells p[0..7], lane l holding p[l] (p[7-l] when REV).
template <int C, bool REV>
__attribute__((target("avx2"))) inline __m256i column8(const DPCell *p) {
    const __m256i *v = reinterpret_cast<const __m256i *>(p);
    // Entry C of cell l is int 3l+C of the 24: vector (3l+C)/8, lane (3l+C)%8.
    constexpr int from1 = C == 0 ? 0x92 : C == 1 ? 0x24 : 0x49;
    constexpr int from2 = C == 0 ? 0x24 : C == 1 ? 0x49 : 0x92;
    __m256i b = _mm256_blend_epi32(
        _mm256_blend_epi32(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1), from1),
        _mm256_loadu_si256(v + 2), from2);
    auto at = [](int l) { return (3 * (REV ? 7 - l : l) + C) % 8; };
    return _mm256_permutevar8x32_epi32(
        b, _mm256_setr_epi32(at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)));
}

// The count terms are formed in vectors from prev and the transition records: lane e of node
// k's sums s[0..7] is
//   s[0], s[3], s[6]: F[k].d + to[0], to[1], to[2]
//   s[1], s[4], s[7]: F[k].m + prev[j-1].d, .m, .i + R[j].t[TC_MD], [TC_MM], [TC_MI]
//   s[2], s[5]:       F[k].i + prev[j-1].d, .m + R[j-1].t[TC_ID], [TC_IM]
// with j = L+1-k; s[8] and the emission sums follow in general registers.
__attribute__((target("avx2"))) void
count_pass_avx2(const TransCosts *__restrict R, const int *__restrict mr, const int *__restrict ir,
                int L, const DPCell *prev, const DPCell *cur, const TransCosts *__restrict to_row,
                TransCosts *__restrict bt_new, const DPCell *__restrict F, TransCosts *__restrict S,
                int *__restrict cm, int *__restrict ci) {
    bt_new[0].t[0] = bt_new[0].t[1] = bt_new[0].t[2] = IMPOSSIBLE_COST;
    end_node_counts(L, mr, to_row, F, S, cm);
    const __m256i fspread = _mm256_setr_epi32(0, 1, 2, 0, 1, 2, 0, 1);
    const __m256i qspread = _mm256_setr_epi32(0, 0, 0, 1, 1, 1, 2, 2);
    const __m256i tospread = _mm256_setr_epi32(0, 0, 0, 1, 1, 1, 2, 2);
    const __m256i bpick = _mm256_setr_epi32(0, 3, 3, 0, 4, 4, 0, 5);  // from R[j].t[0..7]
    const __m256i epick = _mm256_setr_epi32(0, 5, 5, 0, 6, 6, 0, 6);  // from R[j-1].t[1..8]
    for (int j = 1; j <= L + 1; j++) {
        const int k = L + 1 - j;  // k <= L: F[k+1] exists, so four cells' worth may be read
        const __m128i *fp = reinterpret_cast<const __m128i *>(&F[k]);
        __m256i fv =
            _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(_mm_loadu_si128(fp)), fspread);
        const __m128i *qp = reinterpret_cast<const __m128i *>(&prev[j - 1]);
        __m256i q =
            _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(_mm_loadu_si128(qp)), qspread);
        __m256i rj = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(R[j].t));
        // The into-delete terms cur[j-1] + R[j].t[TC_DD..TC_DI], kept for the next row.
        __m128i a = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(&cur[j - 1])),
                                  _mm256_castsi256_si128(rj));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(bt_new[j].t), a);
        bt_new[j].t[2] = _mm_extract_epi32(a, 2);
        __m256i tb = _mm256_permutevar8x32_epi32(rj, bpick);
        __m256i te = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(R[j - 1].t + 1)), epick);
        __m256i to = _mm256_permutevar8x32_epi32(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(to_row[j].t))),
            tospread);
        __m256i terms = _mm256_add_epi32(q, _mm256_blend_epi32(tb, te, 0x24));
        terms = _mm256_blend_epi32(terms, to, 0x49);
        __m256i *sv = reinterpret_cast<__m256i *>(S[k].t);
        _mm256_storeu_si256(sv, ls8(_mm256_loadu_si256(sv), _mm256_add_epi32(fv, terms)));
        const DPCell &f = F[k];
        int *s = S[k].t;
        s[8] = LS(s[8], cap_cost(f.i + prev[j - 1].i + R[j - 1].t[TC_II]));
    }
    // The emission sums of nodes k0..k0+7 at once: node k reads F[k] and the backward cells
    // j = L+1-k (match) and j-1 (insert), which run the other way.
    const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    int k = 0;
    for (; k + 7 <= L; k += 8) {
        const int jlo = L - 6 - k;  // the cell of node k+7
        __m256i fm = column8<1, false>(&F[k]), fi = column8<2, false>(&F[k]);
        __m256i bm = column8<1, true>(&cur[jlo]), bi = column8<2, true>(&cur[jlo - 1]);
        __m256i em = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(mr + jlo)), reverse);
        __m256i ei = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(ir + jlo - 1)), reverse);
        __m256i *cmv = reinterpret_cast<__m256i *>(cm + k);
        __m256i *civ = reinterpret_cast<__m256i *>(ci + k);
        _mm256_storeu_si256(
            cmv, ls8(_mm256_loadu_si256(cmv), _mm256_sub_epi32(_mm256_add_epi32(fm, bm), em)));
        _mm256_storeu_si256(
            civ, ls8(_mm256_loadu_si256(civ), _mm256_sub_epi32(_mm256_add_epi32(fi, bi), ei)));
    }
    for (; k <= L; k++) {
        const int j = L + 1 - k;
        ci[k] = LS(ci[k], cap_cost(F[k].i + cur[j - 1].i - ir[j - 1]));
        cm[k] = LS(cm[k], cap_cost(F[k].m + cur[j].m - mr[j]));
    }
}

}  // namespace

bool vector_counts_ok() {
    static const bool has = __builtin_cpu_supports("avx2");
    return engine.forward2_vector_counts && has;
}

void backward_counts_vector(const TransCosts *R, const int *mr, const int *ir, int L,
                            const DPCell *prev, const DPCell *cur, const TransCosts *to_row,
                            TransCosts *bt_new, const DPCell *F, TransCosts *S, int *cm, int *ci) {
    count_pass_avx2(R, mr, ir, L, prev, cur, to_row, bt_new, F, S, cm, ci);
}

#else  // no vector unit of this kind: the scalar fused row does everything

bool vector_counts_ok() {
    return false;
}

void backward_counts_vector(const TransCosts *, const int *, const int *, int, const DPCell *,
                            const DPCell *, const TransCosts *, TransCosts *, const DPCell *,
                            TransCosts *, int *, int *) {}

#endif
