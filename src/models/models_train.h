// Training of models: estimation of a probability model from a count model (a Model whose node
// values are expected counts) with regularizer pseudo-counts and priors, the count bookkeeping of
// model surgery, surgery by usage and by a guide alignment, the insert-table comparisons of the
// BINARY writer, random sequences and paths drawn from a model, noise, and the match/delete swap
// of the cost records.
//
// A count model of length L and a regularizer of length R are paired node by node: node i with
// regularizer node i when i <= L/2, else with regularizer node R + i - L (node L+1 with R+1).
// Emissions are frozen for the node types 'F', 'K' and 'A'; transitions for 'T', 'A', 'C', 'D'
// and 'E'.
#ifndef QOR_MODELS_TRAIN_H
#define QOR_MODELS_TRAIN_H

#include <cstdio>

struct Node;
struct Model;
struct Sequence;
struct PriorLib;
struct EnvPlib;

// ---------------------------------------------------------------------------------------------
// Node classes and pairing
// ---------------------------------------------------------------------------------------------

// 1 for the types whose emissions are frozen ('F', 'K', 'A').
int emissions_frozen(char type);
// 1 for the types whose transitions are frozen ('T', 'A', 'C', 'D', 'E').
int transitions_frozen(char type);
// The regularizer node paired with node i of a model of length L (regularizer length R).
// Fatal: "Regularizer of length %d is too short for a model of length %d" when the pairing
// would leave the regularizer (R < ceil(L/2) - 1).
int reg_pair_index(int i, int L, int R);

// ---------------------------------------------------------------------------------------------
// Estimation
// ---------------------------------------------------------------------------------------------

// Transition pseudo-counts of one node from the transition priors: into delete, into match and
// into insert, each from the source states delete, match, insert.
struct TransPriorRecord {
    float del[3];
    float mat[3];
    float ins[3];
};

// A new model of the same length (caller owns it): copies of every node's type, label and
// values, of the GENERIC, LETTCOUNT, FREQAVE and FIM template nodes and of the FIM method in
// effect; no environments, no cost records. Normalised.
Model *prepare_prior(const Model *model);
// Fills records[0..L+1] (caller's array): into-delete and into-match triples from the priors of
// node i-1's environment (environment 0 for node 0), into-insert from node i's own.
// Fatal: "Node %d has environment %d; the transition priors have %d environments" for a code
// outside 0..nenv-1; "No transition priors for environment %d" for a null entry.
void counts_by_env(const Model *model, EnvPlib *const *priors, int nenv, TransPriorRecord *records);
// Adds the paired regularizer pseudo-counts (or, with priors, x times the transition-prior
// pseudo-counts past node 0) to the counts and normalises. out null: a new model (caller owns
// it); else out is rewritten in place and returned. Frozen parts keep the regularizer's values
// (new model) or their own (given model).
// Fatal: "frequency_to_prob: output model length %d differs from the counts' %d", those of
// reg_pair_index and counts_by_env.
Model *frequency_to_prob(const Model *counts, const Model *reg, Model *out, EnvPlib *const *priors,
                         int nenv, double x);
// The whole estimate: emission counts replaced by their posterior means under lib (when given;
// the counts are changed in place), then frequency_to_prob, the count nodes' types, the FREQAVE
// node and (optional) a copy of lettcount. Returns a new model (caller owns it).
// Fatal: "freq_to_mod length mismatch\n" when node 0 of the counts and of the regularizer differ
// in block size; those of adapt_frequencies and frequency_to_prob.
Model *freq_to_model(Model *counts, const Model *reg, PriorLib *lib, EnvPlib *const *priors,
                     int nenv, const Node *lettcount, const float *codon_reg, double s, double x,
                     double w);

// Count transfers of surgery. D between P and Q is deleted: its counts move into P's insert
// state and Q's entries. Fatal: "del_merge_freq_node called with null pointer.  Exiting.\n".
void del_merge_freq_node(Node *prev, Node *del, Node *next);
// New node N between A and B takes over A's insert state.
void insert_merge_freq_node(Node *a, Node *n, Node *b);
// New node N before B becomes a pure delete (the first argument is not read).
void insert_del_freq_node(Node *ignored, Node *n, Node *b);
// Prints the count balance of a node (and the flows into next, which may be null) on standard
// output, each line led by the position and the tag.
void freq_check_node(const Node *node, const Node *next, int position, const char *tag);

// ---------------------------------------------------------------------------------------------
// Surgery
// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------
// Random models and noise
// ---------------------------------------------------------------------------------------------

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
