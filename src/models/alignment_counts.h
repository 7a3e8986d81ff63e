// Counting an alignment into a model: the path of an aligned sequence (its alignment code, as
// sequences/alignment.h reads it) added to the counts of a model, and a frequency model made from
// a whole alignment file with its row weights, constraints and node labels.
#ifndef QOR_ALIGNMENT_COUNTS_H
#define QOR_ALIGNMENT_COUNTS_H

#include <cstdio>

struct Model;
struct Sequence;
struct AWeightParams;
struct ConstrParams;
struct PriorLib;

// Adds the path of one aligned sequence (converted, with its code) to the counts of a model of
// the alignment's length. A sequence without code counts nothing; a code that does not fit the
// model or the residues is fatal: "update_freqs: alignment of %s does not fit ...".
void update_freqs(const Sequence *seq, Model *counts);

// A new frequency model (counts per node) from an alignment file, each row counted with its
// first family weight: weights from weights_file (merged by ID) or, without one, from
// weight_alignment (info, run_name, prior, aweight); constraints and node labels by constr
// (optional). Null, with a message, when the file holds no usable alignment.
Model *freq_from_alignment(const char *filename, FILE *info, const char *run_name,
                           const char *weights_file, AWeightParams *aweight, PriorLib *prior,
                           ConstrParams *constr);

#endif
