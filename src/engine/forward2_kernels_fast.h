// The fast row kernels of the engine (forward2_kernels_fast.cpp), and the pieces of the fused
// backward-count row that it shares with its vector count pass (forward2_kernels_fast_avx2.cpp).
#ifndef QOR_FORWARD2_KERNELS_FAST_H
#define QOR_FORWARD2_KERNELS_FAST_H

#include "engine/forward2.h"

// Fast versions of dprow_forward, dprow_backward, dprow_viterbi and dprow_align (same arguments,
// same results; a row with a constraint is handed to the plain kernel). The drivers use these.
DPCell *dprow_forward_fast(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                           int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                           DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_backward_fast(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                            int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                            DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_viterbi_fast(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                           int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                           DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_align_fast(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                         int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                         DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);

// The backward row of residue i (as dprow_backward_fast gives it, for a residue without a
// constraint) fused with the expected-count sums that combine_rows would add for it (F the
// forward row of residue i, to_row the previous step's transition-sum row, cm and ci the count
// rows of the residue's letter). Writes only the into-delete terms of bt_new (all the next step
// reads). Where the processor has AVX2 the sums are added by a vector pass after the row
// (forward2_kernels_fast_avx2.cpp); the results are the same. Never fatal.
void backward_counts_fast(const TransCosts *rtrans, const int *rmrow, const int *rirow, int i,
                          int n, int L, const DPCell *prev, DPCell *cur, const TransCosts *to_row,
                          TransCosts *bt_new, int sw, const FBNodeInfo *rinfo, const DPCell *F,
                          TransCosts *S, int *cm, int *ci);

// Pieces of the fused backward-count row and of its vector count pass.

// The count pieces of the forward End node (reversed node 0: no insert state), which every
// version adds the same way before the other nodes.
inline void end_node_counts(int L, const int *mr, const TransCosts *to_row, const DPCell *F,
                            TransCosts *S, int *cm) {
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
}

// Whether backward_counts_vector can run: the processor has AVX2 and
// engine.forward2_vector_counts is on (it is by default; tests turn it off to check the scalar
// pass against the vector one).
bool vector_counts_ok();

// Adds the expected-count sums of backward row cur (already computed from prev over the
// reversed model R) as the fused row does, with the vector unit, and writes the into-delete
// terms of bt_new. Only when vector_counts_ok().
void backward_counts_vector(const TransCosts *R, const int *mr, const int *ir, int L,
                            const DPCell *prev, const DPCell *cur, const TransCosts *to_row,
                            TransCosts *bt_new, const DPCell *F, TransCosts *S, int *cm, int *ci);

#endif
