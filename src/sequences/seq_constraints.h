// The per-residue constraints a sequence owns (Sequence::constraints and rev_constraints, arrays
// of PosConstraint): what the sequence records need of them themselves. Tables of constraints,
// the conversions and constraint files are models/constraints.h.
#ifndef QOR_SEQ_CONSTRAINTS_H
#define QOR_SEQ_CONSTRAINTS_H

struct Sequence;

// Releases both constraint arrays of a sequence and clears them; null is ignored.
void free_seq_constraints(Sequence *seq);

#endif
