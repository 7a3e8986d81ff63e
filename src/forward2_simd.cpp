// The fused backward-count row with the vector unit (AVX2): the cell step is the scalar one
// (forward2_fused.h); eight of the eleven expected-count sums of each cell are added in one
// vector, with the log-sum table read by a gather. Every value equals the scalar row's
// (forward2_fast.cpp): the same capped pieces, the same log-sums in the same order. (Gathers
// are slow on some processors; one per cell still costs less than eight scalar log-sums.)
#include <immintrin.h>

#include "forward2.h"
#include "forward2_fused.h"

bool forward2_vector_counts = true;

namespace {

// Eight log-sums LS(s, x) with x capped, lane by lane as LS(s, cap_cost(x)) gives them.
__attribute__((target("avx2"))) inline __m256i ls8(__m256i s, __m256i x) {
    const __m256i big = _mm256_set1_epi32(IMPOSSIBLE_COST);
    const __m256i top = _mm256_set1_epi32(SUMLOG_SIZE);
    x = _mm256_min_epi32(x, big);
    __m256i lo = _mm256_min_epi32(s, x), hi = _mm256_max_epi32(s, x);
    __m256i d = _mm256_min_epu32(_mm256_sub_epi32(hi, lo), top);
    return _mm256_sub_epi32(lo, _mm256_i32gather_epi32(SUMLOG, d, 4));
}

// The row in two passes: first the cell steps (the serial chains, in general registers), then
// the counts of every cell, which depend on nothing of each other. The count terms are formed in
// vectors from prev and the transition records: lane e of node k's sums s[0..7] is
//   s[0], s[3], s[6]: F[k].d + to[0], to[1], to[2]
//   s[1], s[4], s[7]: F[k].m + prev[j-1].d, .m, .i + R[j].t[TC_MD], [TC_MM], [TC_MI]
//   s[2], s[5]:       F[k].i + prev[j-1].d, .m + R[j-1].t[TC_ID], [TC_IM]
// with j = L+1-k; s[8] and the emission sums follow in general registers.
// The row in two passes: first the cell steps (the serial chains, in general registers), then
// the counts of every cell, which depend on nothing of each other. The count terms are formed in
// vectors from prev and the transition records: lane e of node k's sums s[0..7] is
//   s[0], s[3], s[6]: F[k].d + to[0], to[1], to[2]
//   s[1], s[4], s[7]: F[k].m + prev[j-1].d, .m, .i + R[j].t[TC_MD], [TC_MM], [TC_MI]
//   s[2], s[5]:       F[k].i + prev[j-1].d, .m + R[j-1].t[TC_ID], [TC_IM]
// with j = L+1-k; s[8] and the emission sums follow in general registers.
// The same for four lanes.
__attribute__((target("avx2"))) inline __m128i ls4(__m128i s, __m128i x) {
    const __m128i big = _mm_set1_epi32(IMPOSSIBLE_COST);
    const __m128i top = _mm_set1_epi32(SUMLOG_SIZE);
    x = _mm_min_epi32(x, big);
    __m128i lo = _mm_min_epi32(s, x), hi = _mm_max_epi32(s, x);
    __m128i d = _mm_min_epu32(_mm_sub_epi32(hi, lo), top);
    return _mm_sub_epi32(lo, _mm_i32gather_epi32(SUMLOG, d, 4));
}

template <bool IN, bool OUT>
__attribute__((target("avx2"))) void
backward_count_row_avx2(const TransCosts *__restrict R, const int *__restrict mr,
                        const int *__restrict ir, int L, const DPCell *prev, DPCell *__restrict cur,
                        const TransCosts *__restrict to_row, TransCosts *__restrict bt_new,
                        const FBNodeInfo *info, const DPCell *__restrict F,
                        TransCosts *__restrict S, int *__restrict cm, int *__restrict ci) {
    BackTerms pc;
    BackRun r = backward_row_start(R, mr, ir, L, prev, cur, to_row, bt_new, F, S, cm, &pc);
    for (int j = 1; j <= L + 1; j++) {
        BackTerms x;
        backward_cell<IN, OUT>(R[j].t, prev[j], mr[j], ir[j], j, L, info[j], r, cur[j], x);
    }
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
        ci[k] = LS(ci[k], cap_cost(f.i + cur[j - 1].i - ir[j - 1]));
        cm[k] = LS(cm[k], cap_cost(f.m + cur[j].m - mr[j]));
    }
}

bool has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

}  // namespace

bool backward_counts_vector(const TransCosts *R, const int *mr, const int *ir, int i, int n, int L,
                            const DPCell *prev, DPCell *cur, const TransCosts *to_row,
                            TransCosts *bt_new, int sw, const FBNodeInfo *info, const DPCell *F,
                            TransCosts *S, int *cm, int *ci) {
    if (!forward2_vector_counts || !has_avx2()) return false;
    bool in = sw == SW_LOCAL || (sw == SW_SEMILOCAL && i == n - 1 && i != 0);
    bool out = sw == SW_LOCAL || (sw == SW_SEMILOCAL && i == 0);
    if (in && out)
        backward_count_row_avx2<true, true>(R, mr, ir, L, prev, cur, to_row, bt_new, info, F, S, cm,
                                            ci);
    else if (in)
        backward_count_row_avx2<true, false>(R, mr, ir, L, prev, cur, to_row, bt_new, info, F, S,
                                             cm, ci);
    else if (out)
        backward_count_row_avx2<false, true>(R, mr, ir, L, prev, cur, to_row, bt_new, info, F, S,
                                             cm, ci);
    else
        backward_count_row_avx2<false, false>(R, mr, ir, L, prev, cur, to_row, bt_new, info, F, S,
                                              cm, ci);
    return true;
}
