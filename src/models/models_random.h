// Random use of a model: letters, sequences and paths drawn from it, noise on its values (the
// regularizer pairing of models_estimate.h), and the match/delete swap of the cost records.
#ifndef QOR_MODELS_RANDOM_H
#define QOR_MODELS_RANDOM_H

struct Model;
struct Sequence;

// The longest walk a random sequence or path may take before it is cut (with a warning).
constexpr int RANDOM_WALK_LIMIT = 1000000;

// A letter drawn from a table of size n (see the source for the rule); an index past the table
// becomes 0 with a warning, given at most 4 times per run.
int random_letter(const float *table, int n);
// A new one-track sequence (caller owns it) of letter indices drawn by walking the model.
Sequence *sequence_from_model(const Model *model);
// Adds the counts of n random paths through model (x each, or |x|/n each when x < 0) into
// counts; insert letters are counted only with insert_letters set.
void random_frequencies(const Model *model, Model *counts, int n, int insert_letters, double x);
// Adds u x times the paired regularizer value to every value that may change; returns the
// number of values changed. Not renormalised.
int noise_to_model(Model *model, const Model *reg, double x);
// Exchanges delete and match entries of the cost records at both ends (nothing for null).
// Fatal: "swap_match_del: model has no cost records".
void swap_match_del(Model *model);

#endif
