// The backward recurrence of one cell of the reversed model, shared by the fused backward-count
// rows (forward2_fast.cpp, and the vector version in forward2_simd.cpp): both run the same cell
// step and differ only in how they add the expected-count sums.
#ifndef QOR_FORWARD2_FUSED_H
#define QOR_FORWARD2_FUSED_H

#include "forward2.h"

// Running values of one backward row: the cell just computed (node j-1) and the previous row's
// cell j-1, the jump-out sum and the jump costs.
struct BackRun {
    int cd, cm, ci;  // cur[j-1]
    int qd, qm, qi;  // prev[j-1]
    int J;           // the sum of the jumps leaving so far
    int jbase;       // jump_out_cost + prev[1].d
    int jleave;      // jump_in_cost
};

// The terms of one cell that the counts read: into-delete (a), into-match (b) and into-insert
// (e) sums of the cell's predecessors.
struct BackTerms {
    int a0, a1, a2;
    int b0, b1, b2;
    int e0, e1, e2;
};

// Computes cell j of the reversed backward row into cur[j] and its terms; advances the run.
// A node's type allows the forward jump in (enter the reversed model) and out (leave it).
template <bool IN, bool OUT>
inline void backward_cell(const int *t, const DPCell &p, int mc, int ic, int j, int L,
                          const FBNodeInfo &info, BackRun &r, DPCell &out, BackTerms &x) {
    x.a0 = r.cd + t[TC_DD];
    x.a1 = r.cm + t[TC_DM];
    x.a2 = r.ci + t[TC_DI];
    x.b0 = r.qd + t[TC_MD];
    x.b1 = r.qm + t[TC_MM];
    x.b2 = r.qi + t[TC_MI];
    x.e0 = p.d + t[TC_ID];
    x.e1 = p.m + t[TC_IM];
    x.e2 = p.i + t[TC_II];
    int d = LSC(x.a1, LSC(x.a2, x.a0));
    int in = cap_cost(ic + LSC(x.e1, LSC(x.e2, x.e0)));
    int m = cap_cost(mc + LSC(x.b1, LSC(x.b2, x.b0)));
    if ((IN || OUT) && j >= 2 && j <= L - 1) {
        char ty = info.type;
        if (IN && ty != 'C' && ty != 'D') m = LSC(r.jbase + mc, m);
        if (OUT && ty != 'D' && ty != 'E') r.J = LSC(r.J, m + r.jleave);
    }
    if (OUT && j == L) d = LSC(r.J, d);
    out.d = d;
    out.m = m;
    out.i = in;
    r.cd = d;
    r.cm = m;
    r.ci = in;
    r.qd = p.d;
    r.qm = p.m;
    r.qi = p.i;
}

// Node 0 of the reversed row (the forward End: delete and match impossible) and the End node's
// count pieces, which every version adds the same way. Returns the run for node 1 and sets
// *pc to node 0's into-insert terms.
inline BackRun backward_row_start(const TransCosts *R, const int *mr, const int *ir, int L,
                                  const DPCell *prev, DPCell *cur, const TransCosts *to_row,
                                  TransCosts *bt_new, const DPCell *F, TransCosts *S, int *cm,
                                  BackTerms *pc) {
    const int *r0 = R[0].t;
    pc->e0 = prev[0].d + r0[TC_ID];
    pc->e1 = prev[0].m + r0[TC_IM];
    pc->e2 = prev[0].i + r0[TC_II];
    BackRun r;
    r.cd = IMPOSSIBLE_COST;
    r.cm = IMPOSSIBLE_COST;
    r.ci = cap_cost(ir[0] + LSC(pc->e1, LSC(pc->e2, pc->e0)));
    r.qd = prev[0].d;
    r.qm = prev[0].m;
    r.qi = prev[0].i;
    r.J = IMPOSSIBLE_COST;
    r.jbase = jump_out_cost + prev[1].d;
    r.jleave = jump_in_cost;
    cur[0].d = r.cd;
    cur[0].m = r.cm;
    cur[0].i = r.ci;
    bt_new[0].t[0] = bt_new[0].t[1] = bt_new[0].t[2] = IMPOSSIBLE_COST;
    const DPCell &f = F[L + 1];
    int *s = S[L + 1].t;
    const int *to = to_row[0].t;
    int bm = cap_cost(f.m + IMPOSSIBLE_COST);
    s[1] = LS(s[1], bm);
    s[4] = LS(s[4], bm);
    s[7] = LS(s[7], bm);
    cm[L + 1] = LS(cm[L + 1], cap_cost(f.m + IMPOSSIBLE_COST - mr[0]));
    s[0] = LS(s[0], cap_cost(f.d + to[0]));
    s[3] = LS(s[3], cap_cost(f.d + to[1]));
    s[6] = LS(s[6], cap_cost(f.d + to[2]));
    return r;
}

// Whether the fused backward-count pass may use the processor's vector unit (AVX2) when it has
// one; on by default. Tests turn it off to check the scalar pass against the vector one.
extern bool forward2_vector_counts;

// The fused backward-count row of backward_counts_fast with the vector unit; false (nothing
// done) when the processor has no AVX2 or forward2_vector_counts is off.
bool backward_counts_vector(const TransCosts *R, const int *mr, const int *ir, int i, int n, int L,
                            const DPCell *prev, DPCell *cur, const TransCosts *to_row,
                            TransCosts *bt_new, int sw, const FBNodeInfo *info, const DPCell *F,
                            TransCosts *S, int *cm, int *ci);

#endif
