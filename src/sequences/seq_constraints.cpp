// The per-residue constraints a sequence owns.
#include "sequences/seq_constraints.h"

#include <cstdlib>

#include "sequences/sequence.h"

void free_seq_constraints(Sequence *seq) {
    if (!seq) return;
    std::free(seq->constraints);
    std::free(seq->rev_constraints);
    seq->constraints = nullptr;
    seq->rev_constraints = nullptr;
}
