// Viterbi traceback and alignment encoding of the engine: the alignment code and path counts of
// a state path, the counts of a wildcard letter, and the backward walk over an alignment code.
#ifndef QOR_FORWARD2_TRACE_H
#define QOR_FORWARD2_TRACE_H

struct Model;
struct Sequence;

// Writes the alignment code of a state path (codes from the End back to the start, ended by
// PATH_END) into the sequence, adds path counts into counts (optional) and returns the path cost
// (64-bit sum, capped at IMPOSSIBLE_COST); the code is owned by the sequence. Fatal:
// "encode_alignment: a state path must begin with a delete, match or insert step".
int encode_alignment(int *path, Sequence *seq, int L, Model *counts);
// Adds one emission count of letter x at node k to v, sharing a wildcard among its letters by
// the cost tables T; nothing without an alphabet or for a negative x. Never fatal.
void do_wild_vit(float *v, int *const *tables, int k, int x);
// With a sequence: starts a walk backwards over its alignment code and returns L. With null:
// the node of the next residue from the end (*match 1 for a match state, 0 for an insert
// state), or -1 when the code is used up. The walk's copy of the code belongs to the engine.
// Never fatal.
int backstep_alignment(const Sequence *seq, int L, int style, int *match);

#endif
