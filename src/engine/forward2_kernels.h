// The row kernels of the engine: one row of the forward, backward and best-path recursions in
// every mode, with constraints (the types and the engine state they use are in forward2.h; the
// fast versions are in forward2_kernels_fast.h).
#ifndef QOR_FORWARD2_KERNELS_H
#define QOR_FORWARD2_KERNELS_H

#include "engine/forward2.h"

// ---------------------------------------------------------------------------------------------
// Row kernels. Arguments: the transition table, the residue's match and insert cost rows, the
// residue index i (0-based, also for the backward pass), the sequence length n, the last node to
// compute (L+1 or more: the whole row; L: all but the End node), L, the previous row, the row to
// fill, the backward transition row (dprow_backward only), the traceback row (align kernels
// only; it may overlay the previous row two cells back), the mode, the residue's constraint and
// the node info. Each returns cur (owned by the caller, as every row). Every cell is capped at
// IMPOSSIBLE_COST. No kernel ends the run.
// ---------------------------------------------------------------------------------------------

DPCell *dprow_forward(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                      int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                      DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_backward(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                       int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                       DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_viterbi(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                      int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                      DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_align(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                    int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                    DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_swviterbi(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                        int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                        DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);
DPCell *dprow_swalign(const TransCosts *trans, const int *mrow, const int *irow, int i, int n,
                      int bound, int L, const DPCell *prev, DPCell *cur, TransCosts *btrans,
                      DPCell *tb, int sw, const PosConstraint *pc, const FBNodeInfo *info);

#endif
