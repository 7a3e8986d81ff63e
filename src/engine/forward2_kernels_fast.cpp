// Fast versions of the row kernels for rows without a constraint: the previous node's cells stay
// in registers (the delete chain never waits on a store), each jump case has its own copy of the
// loop, node 0 is handled outside it, and best-path choices are selects rather than branches. Every
// result equals the plain kernel's (forward2_kernels.cpp); a row with a constraint goes to the
// plain kernel.
#include "engine/forward2_kernels_fast.h"

#include <type_traits>

#include "engine/forward2.h"
#include "engine/forward2_internal.h"
#include "engine/forward2_kernels.h"

namespace {

constexpr int BIG = IMPOSSIBLE_COST;

// Minimum preferring match, then insert, then delete; *code names the winner.
inline int min3c(int fm, int fi, int fd, int *code) {
    int v = fm, c = TB_MATCH;
    c = fi < v ? TB_INSERT : c;
    v = fi < v ? fi : v;
    c = fd < v ? TB_DELETE : c;
    v = fd < v ? fd : v;
    *code = c;
    return v;
}

// Summing row. IN: jumps in this row; OUT: jumps out. The in-jump enters at cost jin_cost
// from prev[1].d; jumps out cost jout_cost; MIRROR (the backward row) swaps the node types
// allowed to jump in and out; TERMS writes the nine terms of each node into bt.
template <bool IN, bool OUT, bool MIRROR, bool TERMS>
void sum_row(const TransCosts *__restrict T, const int *__restrict mr, const int *__restrict ir,
             int L, int last, const DPCell *prev, DPCell *__restrict cur, TransCosts *__restrict bt,
             const FBNodeInfo *info, int jin_cost, int jout_cost) {
    const int *t0 = T[0].t;
    int ti0 = prev[0].d + t0[TC_ID], tm0 = prev[0].m + t0[TC_IM], tii0 = prev[0].i + t0[TC_II];
    if (TERMS) {
        for (int e = 0; e < 6; e++) bt[0].t[e] = BIG;
        bt[0].t[TC_ID] = ti0;
        bt[0].t[TC_IM] = tm0;
        bt[0].t[TC_II] = tii0;
    }
    int cd = BIG, cm = BIG, ci = cap_cost(ir[0] + sum3(tm0, tii0, ti0));
    cur[0].d = cd;
    cur[0].m = cm;
    cur[0].i = ci;
    const int jbase = jin_cost + prev[1].d;
    int J = BIG;
    int qd = prev[0].d, qm = prev[0].m, qi = prev[0].i;  // prev[j-1]
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        const int pd = prev[j].d, pm = prev[j].m, pi = prev[j].i;
        int a0 = cd + t[TC_DD], a1 = cm + t[TC_DM], a2 = ci + t[TC_DI];
        int b0 = qd + t[TC_MD], b1 = qm + t[TC_MM], b2 = qi + t[TC_MI];
        int c0 = pd + t[TC_ID], c1 = pm + t[TC_IM], c2 = pi + t[TC_II];
        if (TERMS) {
            int *b = bt[j].t;
            b[TC_DD] = a0;
            b[TC_DM] = a1;
            b[TC_DI] = a2;
            b[TC_MD] = b0;
            b[TC_MM] = b1;
            b[TC_MI] = b2;
            b[TC_ID] = c0;
            b[TC_IM] = c1;
            b[TC_II] = c2;
        }
        int mc = mr[j];
        int d = sum3(a1, a2, a0);
        int in = cap_cost(ir[j] + sum3(c1, c2, c0));
        int m = cap_cost(mc + sum3(b1, b2, b0));
        if ((IN || OUT) && j >= 2 && j <= L - 1) {
            char ty = info[j].type;
            if (IN && (MIRROR ? may_jump_out(ty) : may_jump_in(ty))) m = LSC(jbase + mc, m);
            if (OUT && (MIRROR ? may_jump_in(ty) : may_jump_out(ty))) J = LSC(J, m + jout_cost);
        }
        if (OUT && j == L) d = LSC(J, d);
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
        cd = d;
        cm = m;
        ci = in;
        qd = pd;
        qm = pm;
        qi = pi;
    }
}

template <bool IN, bool OUT, bool CODES>
void min_row(const TransCosts *__restrict T, const int *__restrict mr, const int *__restrict ir,
             int L, int last, const DPCell *prev, DPCell *__restrict cur, DPCell *tb,
             const FBNodeInfo *info) {
    const int *t0 = T[0].t;
    const int jbase = engine.jump_in_cost + prev[1].d;
    const int jout_cost = engine.jump_out_cost;
    int code0 = 0;
    int i0 =
        CODES ? min3c(prev[0].m + t0[TC_IM], prev[0].i + t0[TC_II], prev[0].d + t0[TC_ID], &code0)
              : min3(prev[0].m + t0[TC_IM], prev[0].i + t0[TC_II], prev[0].d + t0[TC_ID]);
    int cd = BIG, cm = BIG, ci = cap_cost(ir[0] + i0);
    int qd = prev[0].d, qm = prev[0].m, qi = prev[0].i;
    cur[0].d = cd;
    cur[0].m = cm;
    cur[0].i = ci;
    if (CODES) {
        tb[0].d = TB_DELETE;
        tb[0].m = TB_DELETE;
        tb[0].i = code0;
    }
    int J = BIG, Jnode = 0;
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        const int pd = prev[j].d, pm = prev[j].m, pi = prev[j].i;
        int kd = 0, km = 0, ki = 0;
        int d, in, m;
        int mc = mr[j];
        if (CODES) {
            d = cap_cost(min3c(cm + t[TC_DM], ci + t[TC_DI], cd + t[TC_DD], &kd));
            in = cap_cost(ir[j] + min3c(pm + t[TC_IM], pi + t[TC_II], pd + t[TC_ID], &ki));
            m = cap_cost(mc + min3c(qm + t[TC_MM], qi + t[TC_MI], qd + t[TC_MD], &km));
        } else {
            d = cap_cost(min3(cm + t[TC_DM], ci + t[TC_DI], cd + t[TC_DD]));
            in = cap_cost(ir[j] + min3(pm + t[TC_IM], pi + t[TC_II], pd + t[TC_ID]));
            m = cap_cost(mc + min3(qm + t[TC_MM], qi + t[TC_MI], qd + t[TC_MD]));
        }
        if ((IN || OUT) && j >= 2 && j <= L - 1) {
            char ty = info[j].type;
            if (IN && may_jump_in(ty)) {
                int v = jbase + mc;
                if (CODES ? v <= m : v < m) {
                    m = cap_cost(v);
                    km = 1;
                }
            }
            if (OUT && may_jump_out(ty) && m + jout_cost < J) {
                J = m + jout_cost;
                Jnode = j;
            }
        }
        if (OUT && j == L && J < d) {
            d = cap_cost(J);
            kd = Jnode;
        }
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
        if (CODES) {  // written after prev[j-1] and prev[j] were read (tb may overlay prev)
            tb[j].d = kd;
            tb[j].m = km;
            tb[j].i = ki;
        }
        cd = d;
        cm = m;
        ci = in;
        qd = pd;
        qm = pm;
        qi = pi;
    }
}

// Calls run(IN, OUT) with the two jump flags as compile-time constants (std::bool_constant), so
// that each case gets its own copy of the row loop.
template <class Run>
inline void with_jumps(bool in, bool out, Run run) {
    if (in && out)
        run(std::true_type(), std::true_type());
    else if (in)
        run(std::true_type(), std::false_type());
    else if (out)
        run(std::false_type(), std::true_type());
    else
        run(std::false_type(), std::false_type());
}

}  // namespace

DPCell *dprow_forward_fast(const TransCosts *T, const int *mr, const int *ir, int i, int n,
                           int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *bt,
                           DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info) {
    if (pc->label != -1)
        return dprow_forward(T, mr, ir, i, n, bound, L, prev, cur, bt, tb, sw, pc, info);
    bool in, out;
    forward_jumps(sw, i, n, &in, &out);
    int last = last_node(bound, L);
    with_jumps(in, out, [&](auto I, auto O) {
        sum_row<I, O, false, false>(T, mr, ir, L, last, prev, cur, nullptr, info,
                                    engine.jump_in_cost, engine.jump_out_cost);
    });
    return cur;
}

DPCell *dprow_backward_fast(const TransCosts *T, const int *mr, const int *ir, int i, int n,
                            int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *bt,
                            DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info) {
    if (pc->label != -1)
        return dprow_backward(T, mr, ir, i, n, bound, L, prev, cur, bt, tb, sw, pc, info);
    bool in, out;
    backward_jumps(sw, i, n, &in, &out);
    int last = last_node(bound, L);
    with_jumps(in, out, [&](auto I, auto O) {
        sum_row<I, O, true, true>(T, mr, ir, L, last, prev, cur, bt, info, engine.jump_out_cost,
                                  engine.jump_in_cost);
    });
    return cur;
}

DPCell *dprow_viterbi_fast(const TransCosts *T, const int *mr, const int *ir, int i, int n,
                           int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *bt,
                           DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info) {
    if (pc->label != -1)
        return dprow_viterbi(T, mr, ir, i, n, bound, L, prev, cur, bt, tb, sw, pc, info);
    bool in, out;
    forward_jumps(sw, i, n, &in, &out);
    int last = last_node(bound, L);
    with_jumps(in, out, [&](auto I, auto O) {
        min_row<I, O, false>(T, mr, ir, L, last, prev, cur, nullptr, info);
    });
    return cur;
}

DPCell *dprow_align_fast(const TransCosts *T, const int *mr, const int *ir, int i, int n, int bound,
                         int L, const DPCell *prev, DPCell *cur, TransCosts *bt, DPCell *tb, int sw,
                         const PosConstraint *pc, const FBNodeInfo *info) {
    if (pc->label != -1)
        return dprow_align(T, mr, ir, i, n, bound, L, prev, cur, bt, tb, sw, pc, info);
    bool in, out;
    forward_jumps(sw, i, n, &in, &out);
    int last = last_node(bound, L);
    with_jumps(in, out, [&](auto I, auto O) {
        min_row<I, O, true>(T, mr, ir, L, last, prev, cur, tb, info);
    });
    return cur;
}

namespace {

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
        if (IN && may_jump_out(ty)) m = LSC(r.jbase + mc, m);
        if (OUT && may_jump_in(ty)) r.J = LSC(r.J, m + r.jleave);
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

// One backward row over the reversed model fused with the expected-count sums of its residue:
// the terms that combine_rows would read back from the transition-sum rows are used where they
// are formed. Only the into-delete terms are kept (in bt_new), as the next residue's To row.
template <bool IN, bool OUT>
void backward_count_row(const TransCosts *__restrict R, const int *__restrict mr,
                        const int *__restrict ir, int L, const DPCell *prev, DPCell *__restrict cur,
                        const TransCosts *__restrict to_row, TransCosts *__restrict bt_new,
                        const FBNodeInfo *info, const DPCell *__restrict F,
                        TransCosts *__restrict S, int *__restrict cm, int *__restrict ci) {
    // Node 0 of the reversed model (the forward End): delete and match impossible.
    const int *r0 = R[0].t;
    BackTerms pc;  // into-insert terms of the previous reversed node
    pc.e0 = prev[0].d + r0[TC_ID];
    pc.e1 = prev[0].m + r0[TC_IM];
    pc.e2 = prev[0].i + r0[TC_II];
    BackRun r{BIG,
              BIG,
              cap_cost(ir[0] + sum3(pc.e1, pc.e2, pc.e0)),
              prev[0].d,
              prev[0].m,
              prev[0].i,
              BIG,
              engine.jump_out_cost + prev[1].d,
              engine.jump_in_cost};
    cur[0].d = r.cd;
    cur[0].m = r.cm;
    cur[0].i = r.ci;
    bt_new[0].t[0] = bt_new[0].t[1] = bt_new[0].t[2] = BIG;
    end_node_counts(L, mr, to_row, F, S, cm);
    for (int j = 1; j <= L + 1; j++) {
        const int civ = r.ci;
        BackTerms x;
        backward_cell<IN, OUT>(R[j].t, prev[j], mr[j], ir[j], j, L, info[j], r, cur[j], x);
        bt_new[j].t[0] = x.a0;
        bt_new[j].t[1] = x.a1;
        bt_new[j].t[2] = x.a2;
        // Expected-count pieces of forward node k = L+1-j.
        const int k = L + 1 - j;
        const DPCell &f = F[k];
        int *s = S[k].t;
        const int *to = to_row[j].t;
        s[2] = LS(s[2], cap_cost(f.i + pc.e0));
        s[5] = LS(s[5], cap_cost(f.i + pc.e1));
        s[8] = LS(s[8], cap_cost(f.i + pc.e2));
        ci[k] = LS(ci[k], cap_cost(f.i + civ - ir[j - 1]));
        s[1] = LS(s[1], cap_cost(f.m + x.b0));
        s[4] = LS(s[4], cap_cost(f.m + x.b1));
        s[7] = LS(s[7], cap_cost(f.m + x.b2));
        cm[k] = LS(cm[k], cap_cost(f.m + r.cm - mr[j]));
        s[0] = LS(s[0], cap_cost(f.d + to[0]));
        s[3] = LS(s[3], cap_cost(f.d + to[1]));
        s[6] = LS(s[6], cap_cost(f.d + to[2]));
        pc = x;
    }
}

}  // namespace

void backward_counts_fast(const TransCosts *R, const int *mr, const int *ir, int i, int n, int L,
                          const DPCell *prev, DPCell *cur, const TransCosts *to_row,
                          TransCosts *bt_new, int sw, const FBNodeInfo *info, const DPCell *F,
                          TransCosts *S, int *cm, int *ci) {
    bool in, out;
    backward_jumps(sw, i, n, &in, &out);
    if (vector_counts_ok()) {  // the backward row as dprow_backward_fast gives it, then the counts
        with_jumps(in, out, [&](auto I, auto O) {
            sum_row<I, O, true, false>(R, mr, ir, L, L + 1, prev, cur, nullptr, info,
                                       engine.jump_out_cost, engine.jump_in_cost);
        });
        backward_counts_vector(R, mr, ir, L, prev, cur, to_row, bt_new, F, S, cm, ci);
        return;
    }
    with_jumps(in, out, [&](auto I, auto O) {
        backward_count_row<I, O>(R, mr, ir, L, prev, cur, to_row, bt_new, info, F, S, cm, ci);
    });
}
