// The row kernels of the engine: one row of the DP matrix (the delete, match and insert cost of
// every node after residue i) from the row of residue i-1. Summing kernels combine terms by the
// log-sum LS(from-match, LS(from-insert, from-delete)); best-path kernels by the minimum,
// preferring match, then insert, then delete on equal terms. Every cell is capped at
// IMPOSSIBLE_COST.
#include "engine/forward2_kernels.h"

#include "engine/forward2.h"
#include "engine/forward2_internal.h"

namespace {

constexpr int BIG = IMPOSSIBLE_COST;

// The residue's match cost at a node with label `label` under a constraint.
inline int constrained_match(const PosConstraint *pc, int label, int m) {
    int e = pc->label == label ? pc->satisfied : pc->unsatisfied;
    return LSC(e, cap_cost(m + pc->unconstrained));
}

// Minimum of three terms with the code of the winner (match before insert before delete).
inline int min3_code(int from_m, int from_i, int from_d, int *code) {
    if (from_m <= from_i && from_m <= from_d) {
        *code = TB_MATCH;
        return from_m;
    }
    if (from_i <= from_d) {
        *code = TB_INSERT;
        return from_i;
    }
    *code = TB_DELETE;
    return from_d;
}

// The forward row (SUM: log-sums) or the best-path row (minimums); the two differ only in how
// they combine terms.
template <bool SUM>
DPCell *forward_row(const TransCosts *T, const int *mr, const int *ir, int i, int n, int bound,
                    int L, const DPCell *prev, DPCell *cur, int sw, const PosConstraint *pc,
                    const FBNodeInfo *info) {
    auto comb3 = [](int from_m, int from_i, int from_d) {
        return SUM ? sum3(from_m, from_i, from_d) : min3(from_m, from_i, from_d);
    };
    bool con = pc->label != -1;
    int unc = con ? pc->unconstrained : 0;
    bool jin, jout;
    forward_jumps(sw, i, n, &jin, &jout);
    int last = last_node(bound, L);
    const int *t0 = T[0].t;
    cur[0].d = BIG;
    cur[0].m = BIG;
    cur[0].i = cap_cost(ir[0] + unc +
                        comb3(prev[0].m + t0[TC_IM], prev[0].i + t0[TC_II], prev[0].d + t0[TC_ID]));
    int jbase = engine.jump_in_cost + prev[1].d;
    const int jout_cost = engine.jump_out_cost;
    int J = BIG;
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        int mc = mr[j], ic = ir[j];
        if (con) {
            mc = constrained_match(pc, info[j].label, mc);
            ic += unc;
        }
        const DPCell &c = cur[j - 1], &p = prev[j], &q = prev[j - 1];
        int d = cap_cost(comb3(c.m + t[TC_DM], c.i + t[TC_DI], c.d + t[TC_DD]));
        int in = cap_cost(ic + comb3(p.m + t[TC_IM], p.i + t[TC_II], p.d + t[TC_ID]));
        int m = cap_cost(mc + comb3(q.m + t[TC_MM], q.i + t[TC_MI], q.d + t[TC_MD]));
        if (j >= 2 && j <= L - 1) {
            if (jin && may_jump_in(info[j].type)) {
                if (SUM)
                    m = LSC(jbase + mc, m);
                else if (jbase + mc < m)
                    m = cap_cost(jbase + mc);
            }
            if (jout && may_jump_out(info[j].type)) {
                if (SUM)
                    J = LSC(J, m + jout_cost);
                else if (m + jout_cost < J)
                    J = m + jout_cost;
            }
        }
        if (j == L && jout) {
            if (SUM)
                d = LSC(J, d);
            else if (J < d)
                d = cap_cost(J);
        }
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
    }
    return cur;
}

}  // namespace

DPCell *dprow_forward(const TransCosts *T, const int *mr, const int *ir, int i, int n, int bound,
                      int L, const DPCell *prev, DPCell *cur, TransCosts *, DPCell *, int sw,
                      const PosConstraint *pc, const FBNodeInfo *info) {
    return forward_row<true>(T, mr, ir, i, n, bound, L, prev, cur, sw, pc, info);
}

DPCell *dprow_backward(const TransCosts *T, const int *mr, const int *ir, int i, int n, int bound,
                       int L, const DPCell *prev, DPCell *cur, TransCosts *bt, DPCell *, int sw,
                       const PosConstraint *pc, const FBNodeInfo *info) {
    bool con = pc->label != -1;
    int unc = con ? pc->unconstrained : 0;
    // A one-residue sequence leaves the reversed model, as the forward pass jumps in but not out.
    bool enter, leave;
    backward_jumps(sw, i, n, &enter, &leave);
    int last = last_node(bound, L);
    const int *t0 = T[0].t;
    int *b0 = bt[0].t;
    for (int e = TC_DD; e <= TC_MI; e++) b0[e] = BIG;
    b0[TC_ID] = prev[0].d + t0[TC_ID];
    b0[TC_IM] = prev[0].m + t0[TC_IM];
    b0[TC_II] = prev[0].i + t0[TC_II];
    cur[0].d = BIG;
    cur[0].m = BIG;
    cur[0].i = cap_cost(ir[0] + unc + sum3(b0[TC_IM], b0[TC_II], b0[TC_ID]));
    int jbase = engine.jump_out_cost + prev[1].d;
    const int jleave_cost = engine.jump_in_cost;
    int J = BIG;
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        int *b = bt[j].t;
        int mc = mr[j], ic = ir[j];
        if (con) {
            mc = constrained_match(pc, info[j].label, mc);
            ic += unc;
        }
        const DPCell &c = cur[j - 1], &p = prev[j], &q = prev[j - 1];
        b[TC_DD] = c.d + t[TC_DD];
        b[TC_DM] = c.m + t[TC_DM];
        b[TC_DI] = c.i + t[TC_DI];
        b[TC_MD] = q.d + t[TC_MD];
        b[TC_MM] = q.m + t[TC_MM];
        b[TC_MI] = q.i + t[TC_MI];
        b[TC_ID] = p.d + t[TC_ID];
        b[TC_IM] = p.m + t[TC_IM];
        b[TC_II] = p.i + t[TC_II];
        int d = sum3(b[TC_DM], b[TC_DI], b[TC_DD]);
        int in = cap_cost(ic + sum3(b[TC_IM], b[TC_II], b[TC_ID]));
        int m = cap_cost(mc + sum3(b[TC_MM], b[TC_MI], b[TC_MD]));
        if (j >= 2 && j <= L - 1) {
            if (enter && may_jump_out(info[j].type)) m = LSC(jbase + mc, m);
            if (leave && may_jump_in(info[j].type)) J = LSC(J, m + jleave_cost);
        }
        if (j == L && leave) d = LSC(J, d);
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
    }
    return cur;
}

DPCell *dprow_viterbi(const TransCosts *T, const int *mr, const int *ir, int i, int n, int bound,
                      int L, const DPCell *prev, DPCell *cur, TransCosts *, DPCell *, int sw,
                      const PosConstraint *pc, const FBNodeInfo *info) {
    return forward_row<false>(T, mr, ir, i, n, bound, L, prev, cur, sw, pc, info);
}

DPCell *dprow_align(const TransCosts *T, const int *mr, const int *ir, int i, int n, int bound,
                    int L, const DPCell *prev, DPCell *cur, TransCosts *, DPCell *tb, int sw,
                    const PosConstraint *pc, const FBNodeInfo *info) {
    bool con = pc->label != -1;
    int unc = con ? pc->unconstrained : 0;
    bool jin, jout;
    forward_jumps(sw, i, n, &jin, &jout);
    int last = last_node(bound, L);
    const int *t0 = T[0].t;
    // tb may overlay prev two cells back: every value of prev that a node needs is read before
    // that node's traceback cell is written.
    int jbase = engine.jump_in_cost + prev[1].d;
    const int jout_cost = engine.jump_out_cost;
    int code0;
    int i0 = cap_cost(
        ir[0] + unc +
        min3_code(prev[0].m + t0[TC_IM], prev[0].i + t0[TC_II], prev[0].d + t0[TC_ID], &code0));
    cur[0].d = BIG;
    cur[0].m = BIG;
    cur[0].i = i0;
    tb[0].d = TB_DELETE;
    tb[0].m = TB_DELETE;
    tb[0].i = code0;
    int J = BIG, Jnode = 0;
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        int mc = mr[j], ic = ir[j];
        if (con) {
            mc = constrained_match(pc, info[j].label, mc);
            ic += unc;
        }
        const DPCell &c = cur[j - 1], &p = prev[j], &q = prev[j - 1];
        int cd, ci, cm;
        int d = cap_cost(min3_code(c.m + t[TC_DM], c.i + t[TC_DI], c.d + t[TC_DD], &cd));
        int in = cap_cost(ic + min3_code(p.m + t[TC_IM], p.i + t[TC_II], p.d + t[TC_ID], &ci));
        int m = cap_cost(mc + min3_code(q.m + t[TC_MM], q.i + t[TC_MI], q.d + t[TC_MD], &cm));
        if (j >= 2 && j <= L - 1) {
            if (jin && may_jump_in(info[j].type) && jbase + mc <= m) {
                m = cap_cost(jbase + mc);
                cm = 1;
            }
            if (jout && may_jump_out(info[j].type) && m + jout_cost < J) {
                J = m + jout_cost;
                Jnode = j;
            }
        }
        if (j == L && jout && J < d) {
            d = cap_cost(J);
            cd = Jnode;
        }
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
        tb[j].d = cd;
        tb[j].m = cm;
        tb[j].i = ci;
    }
    return cur;
}

// Query-sequence models: no insert emission, no into-match transition cost; global mode only.
DPCell *dprow_swviterbi(const TransCosts *T, const int *mr, const int *, int, int, int bound, int L,
                        const DPCell *prev, DPCell *cur, TransCosts *, DPCell *, int,
                        const PosConstraint *pc, const FBNodeInfo *info) {
    bool con = pc->label != -1;
    int unc = con ? pc->unconstrained : 0;
    int last = last_node(bound, L);
    const int *t0 = T[0].t;
    cur[0].d = BIG;
    cur[0].m = BIG;
    cur[0].i =
        cap_cost(unc + min3(prev[0].m + t0[TC_IM], prev[0].i + t0[TC_II], prev[0].d + t0[TC_ID]));
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        int mc = con ? constrained_match(pc, info[j].label, mr[j]) : mr[j];
        const DPCell &c = cur[j - 1], &p = prev[j], &q = prev[j - 1];
        int d = cap_cost(min3(c.m + t[TC_DM], c.i + t[TC_DI], c.d + t[TC_DD]));
        int in = cap_cost(unc + min3(p.m + t[TC_IM], p.i + t[TC_II], p.d + t[TC_ID]));
        int m = cap_cost(mc + min3(q.m, q.i, q.d));
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
    }
    return cur;
}

DPCell *dprow_swalign(const TransCosts *T, const int *mr, const int *, int, int, int bound, int L,
                      const DPCell *prev, DPCell *cur, TransCosts *, DPCell *tb, int,
                      const PosConstraint *pc, const FBNodeInfo *info) {
    bool con = pc->label != -1;
    int unc = con ? pc->unconstrained : 0;
    int last = last_node(bound, L);
    const int *t0 = T[0].t;
    int code0;
    int i0 = cap_cost(unc + min3_code(prev[0].m + t0[TC_IM], prev[0].i + t0[TC_II],
                                      prev[0].d + t0[TC_ID], &code0));
    cur[0].d = BIG;
    cur[0].m = BIG;
    cur[0].i = i0;
    tb[0].d = TB_DELETE;
    tb[0].m = TB_DELETE;
    tb[0].i = code0;
    for (int j = 1; j <= last; j++) {
        const int *t = T[j].t;
        int mc = con ? constrained_match(pc, info[j].label, mr[j]) : mr[j];
        const DPCell &c = cur[j - 1], &p = prev[j], &q = prev[j - 1];
        int cd, ci, cm;
        int d = cap_cost(min3_code(c.m + t[TC_DM], c.i + t[TC_DI], c.d + t[TC_DD], &cd));
        int in = cap_cost(unc + min3_code(p.m + t[TC_IM], p.i + t[TC_II], p.d + t[TC_ID], &ci));
        int m = cap_cost(mc + min3_code(q.m, q.i, q.d, &cm));
        cur[j].d = d;
        cur[j].m = m;
        cur[j].i = in;
        tb[j].d = cd;
        tb[j].m = cm;
        tb[j].i = ci;
    }
    return cur;
}
