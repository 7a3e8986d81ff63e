// Model surgery: deletion of rarely used positions and insertion where sequences insert often, by
// the counts of the expectation step or by a guide alignment, on a probability model and its
// count model together (the count transfers are in models_estimate.h); and the insert-table
// comparisons of the BINARY writer.
#ifndef QOR_MODELS_SURGERY_H
#define QOR_MODELS_SURGERY_H

#include <cstdio>

struct Node;
struct Model;
struct Sequence;

// Change array entries: -1 delete the node, 0 keep it, k > 0 keep it and add k nodes after it.
constexpr int SURGERY_DELETE = -1;
// Value given to the transitions around a changed position in a count model.
constexpr float SURGERY_SMALL_COUNT = 1e-6f;

// A new change array of L+2 entries (caller frees it), or null (with two warning lines on
// standard error) when no sequence passed through the count model. end_mode 0 or 3 lets
// positions 0, 1 and L change.
int *analyse_freq(const Model *model, const Model *counts, int end_mode, double del_threshold,
                  double ins_threshold, double ins_scale);
// Surgery on n models and their count models with one combined change array. Returns the
// number of positions changed (0: nothing done). report (optional) gets the changes.
// Fatal: "Surgery on models of different lengths (%d and %d)".
int multi_adapt_model_maxlen(FILE *report, Model **models, Model **counts, const Model *reg, int n,
                             int max_length, double del_threshold, double ins_threshold,
                             double ins_scale, int max_insert, int end_mode);
// Rebuilds a count model's node array by the change array; new nodes are copies of templ.
// Fatal: "change_model needs a template node to insert nodes".
void change_model(Model *counts, int *changes, const Node *templ);
// Rebuilds a probability model's node array: new nodes copy the node they follow.
void resize_model(Model *model, int *changes);
// Reshapes model and counts so that their alignment of the sequence agrees with guide's.
// Returns 1 when a node was inserted or deleted, else 0. The trace goes to standard error.
// Fatal: "Sequence surgery cannot be used with the codon alphabet\n", "Guide and aligned
// sequence are not the same; exiting.\n", "Surgery on models of different lengths (%d and %d)",
// and add_to_table's.
int sequence_surgery(void *unused1, Model *model, Model *counts, const Sequence *guide,
                     const Sequence *aligned, void *unused2, double weight);
// Adds weight for one letter (wildcards shared by the background values) to a count table.
// Fatal: "Illegal character %d in seq surgery".
void add_to_table(float *counts, const float *background, int letter, double weight);
// 1 when the two insert tables are equal bit for bit over the emission size (-0.0 differs from
// 0.0, a NaN equals the same NaN), else 0; two null nodes are the same, one null node is not;
// nodes of different block sizes differ.
int node_ins_is_same(const Node *a, const Node *b);
// Compares the insert tables of the FIM nodes (type 'F' or 'f') and of the other nodes of
// nodes[0..last] (null slots and skip excluded; skip -1 for none): *fim_index the first FIM when
// all FIMs agree, else -1 (also without FIMs); *other_index likewise. The BINARY model writer's
// choice of shared tables.
void check_node_array(Node *const *nodes, int last, int skip, int *fim_index, int *other_index);

#endif
