// The fast row kernels give exactly the plain kernels' rows, backward terms and traceback codes.
#include "foundation/alphabet.h"
#include "engine/forward2.h"
#include "engine/forward2_kernels.h"
#include "engine/forward2_kernels_fast.h"
#include "engine/forward2_post.h"
#include "sequences/sequence.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int BIG = 100000000;

struct Case {
    int L, n, i, sw;
    std::vector<TransCosts> T;
    std::vector<int> mr, ir;
    std::vector<FBNodeInfo> info;
    std::vector<DPCell> prev;  // two spare cells, then L+2 cells, then two spare cells
    PosConstraint pc;
};

Case random_case(std::mt19937 &rng, int max_length = 12) {
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto cost = [&]() {
        int r = uni(0, 99);
        return r < 5 ? BIG : r < 12 ? 80000 : uni(0, 5000);
    };
    Case c;
    c.L = uni(1, max_length);
    c.n = uni(1, 5);
    c.i = uni(0, c.n - 1);
    c.sw = uni(0, 2);
    int L = c.L;
    c.T.resize(L + 2);
    for (auto &t : c.T)
        for (int &v : t.t) v = cost();
    for (int j = 0; j < L + 2; j++) {
        c.mr.push_back(uni(0, 3) == 0 ? BIG : uni(-200, 4000));
        c.ir.push_back(uni(0, 3000));
        c.info.push_back({uni(-1, 3), uni(0, 4) == 0 ? "CDE"[uni(0, 2)] : (char)0});
    }
    c.prev.resize(L + 6);
    for (auto &cell : c.prev) cell = {cost() * 3, cost() * 4, cost() * 2};
    for (auto &cell : c.prev) {
        if (cell.d > BIG) cell.d = BIG;
        if (cell.m > BIG) cell.m = BIG;
        if (cell.i > BIG) cell.i = BIG;
    }
    c.pc = noPosConstraint;
    if (uni(0, 5) == 0) c.pc = {uni(0, 3), uni(0, 1000), 80000, uni(0, 2000)};
    return c;
}

TEST(FastKernelTest, SameRowsTermsAndCodesAsThePlainKernels) {
    build_sumlog();
    std::mt19937 rng(8);
    struct Pair {
        DPRowKernel plain, fast;
        bool terms, codes;
    };
    const Pair pairs[] = {{dprow_forward, dprow_forward_fast, false, false},
                          {dprow_backward, dprow_backward_fast, true, false},
                          {dprow_viterbi, dprow_viterbi_fast, false, false},
                          {dprow_align, dprow_align_fast, false, true}};
    for (int round = 0; round < 3000; round++) {
        Case c = random_case(rng);
        engine.jump_in_cost = round % 3 == 0 ? 0 : 2303;
        engine.jump_out_cost = round % 5 == 0 ? 0 : 693;
        int L = c.L;
        for (const Pair &p : pairs) {
            std::vector<DPCell> a_prev = c.prev, b_prev = c.prev;
            std::vector<DPCell> a_cur(L + 2, DPCell{-7, -7, -7}), b_cur = a_cur;
            std::vector<TransCosts> a_bt(L + 2), b_bt(L + 2);
            std::memset(a_bt.data(), 0, sizeof(TransCosts) * (L + 2));
            std::memset(b_bt.data(), 0, sizeof(TransCosts) * (L + 2));
            // The traceback row overlays the previous row two cells back, as in the driver.
            DPCell *ap = a_prev.data() + 2, *bp = b_prev.data() + 2;
            for (int bound : {L + 1, L + 2, L}) {
                p.plain(c.T.data(), c.mr.data(), c.ir.data(), c.i, c.n, bound, L, ap, a_cur.data(),
                        a_bt.data(), ap - 2, c.sw, &c.pc, c.info.data());
                p.fast(c.T.data(), c.mr.data(), c.ir.data(), c.i, c.n, bound, L, bp, b_cur.data(),
                       b_bt.data(), bp - 2, c.sw, &c.pc, c.info.data());
                for (int j = 0; j < L + 2; j++) {
                    ASSERT_EQ(a_cur[j].d, b_cur[j].d) << "round " << round << " node " << j;
                    ASSERT_EQ(a_cur[j].m, b_cur[j].m) << "round " << round << " node " << j;
                    ASSERT_EQ(a_cur[j].i, b_cur[j].i) << "round " << round << " node " << j;
                    for (int e = 0; p.terms && e < 9; e++) ASSERT_EQ(a_bt[j].t[e], b_bt[j].t[e]);
                }
                for (size_t k = 0; p.codes && k < a_prev.size(); k++) {
                    ASSERT_EQ(a_prev[k].d, b_prev[k].d) << "round " << round << " cell " << k;
                    ASSERT_EQ(a_prev[k].m, b_prev[k].m) << "round " << round << " cell " << k;
                    ASSERT_EQ(a_prev[k].i, b_prev[k].i) << "round " << round << " cell " << k;
                }
                a_prev = b_prev = c.prev;
                ap = a_prev.data() + 2;
                bp = b_prev.data() + 2;
            }
        }
    }
}

// The fused backward row with its expected-count sums equals the backward kernel followed by
// combine_rows, in its scalar and its vector version (the latter where the processor has one).
class FusedCounts : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override { engine.forward2_vector_counts = true; }
};
INSTANTIATE_TEST_SUITE_P(ScalarAndVector, FusedCounts, ::testing::Bool());

TEST_P(FusedCounts, EqualKernelAndCombine) {
    build_sumlog();
    engine.forward2_vector_counts = GetParam();
    std::mt19937 rng(21);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 2000; round++) {
        Case c = random_case(rng, round % 3 == 0 ? 40 : 12);  // the vector pass goes by 8 nodes
        c.pc = noPosConstraint;
        int L = c.L;
        engine.jump_in_cost = round % 3 == 0 ? 0 : 2303;
        engine.jump_out_cost = round % 5 == 0 ? 0 : 693;
        std::vector<DPCell> F(L + 2);
        for (auto &f : F) f = {uni(0, 60000), uni(0, 60000), uni(0, 60000)};
        std::vector<TransCosts> to(L + 2), bt_a(L + 2), bt_b(L + 2);
        for (auto &t : to)
            for (int &v : t.t) v = uni(0, 3) == 0 ? BIG : uni(0, 90000);
        std::vector<TransCosts> S_a(L + 2), S_b;
        for (auto &t : S_a)
            for (int &v : t.t) v = uni(0, 1) ? BIG : uni(0, 90000);
        S_b = S_a;
        std::vector<int> cm_a(L + 2), ci_a(L + 2);
        for (int k = 0; k < L + 2; k++) {
            cm_a[k] = uni(0, 1) ? BIG : uni(0, 90000);
            ci_a[k] = uni(0, 1) ? BIG : uni(0, 90000);
        }
        std::vector<int> cm_b = cm_a, ci_b = ci_a;
        std::vector<DPCell> cur_a(L + 2), cur_b(L + 2);
        const DPCell *prev = c.prev.data() + 2;
        dprow_backward_fast(c.T.data(), c.mr.data(), c.ir.data(), c.i, c.n, L + 1, L, prev,
                            cur_a.data(), bt_a.data(), nullptr, c.sw, &c.pc, c.info.data());
        combine_rows(L, c.i, 0, F.data(), cur_a.data(), c.mr.data(), c.ir.data(), bt_a.data(),
                     to.data(), S_a.data(), DP_EM, nullptr, 0, cm_a.data(), ci_a.data());
        backward_counts_fast(c.T.data(), c.mr.data(), c.ir.data(), c.i, c.n, L, prev, cur_b.data(),
                             to.data(), bt_b.data(), c.sw, c.info.data(), F.data(), S_b.data(),
                             cm_b.data(), ci_b.data());
        for (int k = 0; k < L + 2; k++) {
            ASSERT_EQ(cur_a[k].d, cur_b[k].d) << "round " << round;
            ASSERT_EQ(cur_a[k].m, cur_b[k].m) << "round " << round;
            ASSERT_EQ(cur_a[k].i, cur_b[k].i) << "round " << round;
            for (int e = 0; e < 3; e++) ASSERT_EQ(bt_a[k].t[e], bt_b[k].t[e]) << "round " << round;
            for (int e = 0; e < 9; e++) ASSERT_EQ(S_a[k].t[e], S_b[k].t[e]) << "round " << round;
            ASSERT_EQ(cm_a[k], cm_b[k]) << "round " << round << " node " << k;
            ASSERT_EQ(ci_a[k], ci_b[k]) << "round " << round << " node " << k;
        }
    }
}

}  // namespace
