// The fused backward-count row with the vector unit (AVX2): the cell step is the scalar one
// (forward2_fused.h); eight of the eleven expected-count sums of each cell are added in one
// vector, with the log-sum table read by a gather. Every value equals the scalar row's
// (forward2_fast.cpp): the same capped pieces, the same log-sums in the same order.
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

template <bool IN, bool OUT>
__attribute__((target("avx2"))) void
backward_count_row_avx2(const TransCosts *__restrict R, const int *__restrict mr,
                        const int *__restrict ir, int L, const DPCell *prev, DPCell *__restrict cur,
                        const TransCosts *__restrict to_row, TransCosts *__restrict bt_new,
                        const FBNodeInfo *info, const DPCell *__restrict F,
                        TransCosts *__restrict S, int *__restrict cm, int *__restrict ci) {
    // F[k] as d m i d m i d m: the forward cell under the nine sums s[0..7] of node k.
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 0, 1, 2, 0, 1);
    BackTerms pc;
    BackRun r = backward_row_start(R, mr, ir, L, prev, cur, to_row, bt_new, F, S, cm, &pc);
    for (int j = 1; j <= L + 1; j++) {
        const int civ = r.ci;
        BackTerms x;
        backward_cell<IN, OUT>(R[j].t, prev[j], mr[j], ir[j], j, L, info[j], r, cur[j], x);
        bt_new[j].t[0] = x.a0;
        bt_new[j].t[1] = x.a1;
        bt_new[j].t[2] = x.a2;
        const int k = L + 1 - j;  // k <= L: F[k+1] exists, so four cells' worth may be read
        const DPCell &f = F[k];
        int *s = S[k].t;
        const int *to = to_row[j].t;
        __m256i fv = _mm256_permutevar8x32_epi32(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(&F[k]))),
            spread);
        __m256i terms = _mm256_setr_epi32(to[0], x.b0, pc.e0, to[1], x.b1, pc.e1, to[2], x.b2);
        __m256i *sv = reinterpret_cast<__m256i *>(s);
        _mm256_storeu_si256(sv, ls8(_mm256_loadu_si256(sv), _mm256_add_epi32(fv, terms)));
        s[8] = LS(s[8], cap_cost(f.i + pc.e2));
        ci[k] = LS(ci[k], cap_cost(f.i + civ - ir[j - 1]));
        cm[k] = LS(cm[k], cap_cost(f.m + r.cm - mr[j]));
        pc = x;
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
