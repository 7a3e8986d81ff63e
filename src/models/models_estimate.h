// Estimation of a probability model from a count model (a Model whose node values are expected
// counts) with regularizer pseudo-counts and priors, the node classes and the regularizer pairing
// that training shares, and the count bookkeeping of model surgery.
//
// A count model of length L and a regularizer of length R are paired node by node: node i with
// regularizer node i when i <= L/2, else with regularizer node R + i - L (node L+1 with R+1).
// Emissions are frozen for the node types 'F', 'K' and 'A'; transitions for 'T', 'A', 'C', 'D'
// and 'E'.
#ifndef QOR_MODELS_ESTIMATE_H
#define QOR_MODELS_ESTIMATE_H

struct Node;
struct Model;
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

#endif
