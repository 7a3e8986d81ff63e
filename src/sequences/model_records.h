// Node, model and raw-model records (Node, NodeEnv, ModWeight, Model, Rmodel) with their
// constants, and their allocation and release. They live in the sequences layer because a
// sequence owns the models of its model tracks and releases them.
//
// Contracts: every record made here is owned by the caller and released with its free_ function.
// An allocation failure ends the run ("out of memory ..."; errors.h) and is not repeated below;
// "the alphabet check" is check_alphabet(nullptr) with its fatal messages (alphabet.h).
#ifndef QOR_MODEL_RECORDS_H
#define QOR_MODEL_RECORDS_H

struct Sequence;  // sequence.h

// Optional structural environment of a node.
struct NodeEnv {
    int acc;   // accessibility bin, -1 when not given
    int env;   // structure-environment class, -1 when not given
    int code;  // combined environment code, 0 by default
};

// One model node: 2A+9 floats (A = emission size without wildcards) with five views into them.
struct Node {
    char type;         // 0 ordinary; 'F' FIM; 'A','T','K' frozen; 'C','D','E' codon; '$' transient
    float *params;     // owned block of nparams values
    int nparams;       // 2A+9
    float *djump;      // values 0-2: into delete from the previous node's D, M, I
    float *mjump;      // values 3-5: into match from the previous node's D, M, I
    float *ijump;      // values 6-8: into this node's insert from its own D, M, I
    float *match;      // A match emission values from value 9
    float *insert;     // A insert emission values from value 9+A
    NodeEnv *nodeenv;  // owned, or null
    int lab;           // model-node label, NO_LABEL (sequence.h) when unlabelled
};

// Integer cost form of one node: 2W+9 costs (W = emission size with wildcards), same views.
struct ModWeight {
    int *costs;  // owned block of ncosts values
    int ncosts;  // 2W+9
    int *djump;
    int *mjump;
    int *ijump;
    int *match;   // W costs from value 9
    int *insert;  // W costs from value 9+W
};

// FIM method number of a Model with none in effect ("no node").
constexpr int FIM_METHOD_NONE = 9;
// Kinds of a Model.
constexpr int MODEL_KIND_PROFILE = 0;
constexpr int MODEL_KIND_QUERY = 1;  // query-sequence model (substitution matrix and gap costs)

// A prepared model: nodes 0 (Begin), 1..length, length+1 (End).
struct Model {
    int length;             // L; -1 after release
    int kind;               // MODEL_KIND_PROFILE or MODEL_KIND_QUERY
    Node *generic;          // GENERIC node, or null
    Node *lettcount;        // LETTCOUNT node, or null
    Node *freqave;          // FREQAVE node, or null
    Node **nodes;           // L+2 owned nodes
    Node *fim_node;         // FIM template node, or null
    int fim_method;         // FIM method in effect; FIM_METHOD_NONE at creation
    ModWeight *fim_weight;  // cost record of the FIM template node, or null
    ModWeight **weights;    // L+2 cost records, or null until built
    int **matrix;           // substitution matrix of a query-sequence model (A+1 rows), or null
    int gap;                // gap cost (query-sequence model)
    int cont;               // continue cost (query-sequence model)
    Sequence *query;        // query sequence (query-sequence model), or null
};

// A raw model or regularizer as a model file gives it.
struct Rmodel {
    int nstart;        // P: start-numbered nodes 0..P (0 = Begin)
    int nend;          // Q: end-numbered nodes before End
    int nslots;        // P+Q+2
    Node *generic;     // GENERIC node, or null
    Node *lettcount;   // LETTCOUNT node, or null
    Node *freqave;     // FREQAVE node, or null
    Node *begin;       // alias of slots[0] (not separately owned)
    Node *end;         // alias of end_nodes[0] (not separately owned)
    Node **slots;      // nslots owned nodes (any may be null)
    Node **end_nodes;  // view: slots + P + 1; [0] End, [k] the k-th node before End
};

// New zeroed node sized for the current alphabet (2A+9 values), unlabelled (lab -1), type 0, no
// environment; never null (release with free_node). Fatal: the alphabet check.
Node *alloc_node();
// Releases a node and its environment; null does nothing.
void free_node(Node *node);
// New environment record: acc -1, env -1, code 0 (release with free_NodeEnv).
NodeEnv *alloc_NodeEnv();
// Releases an environment record; null does nothing.
void free_NodeEnv(NodeEnv *env);
// Copies the three fields; nothing when either is null.
void copy_node_env(const NodeEnv *src, NodeEnv *dest);
// Sets the three fields; nothing for null.
void update_nodenv(NodeEnv *env, int acc, int env_class, int code);
// The node's environment code; 0 for a null node or a node without environment.
int GetEnvCode(const Node *node);
// Gives the model L+2 zeroed cost records and a FIM cost record sized for the current alphabet
// (2W+9 costs), owned by the model (any it had are not released). Fatal: the alphabet check.
void alloc_mod_weight(Model *model);
// Releases the model's cost records and its FIM cost record; null does nothing.
void free_mod_weight(Model *model);
// New model of length |n| (release with free_model): L+2 node slots, filled with new nodes for
// n >= 0 (a model of length 0 has its Begin and End) and left null for n < 0; FIM method
// FIM_METHOD_NONE. Fatal: "alloc_model: model length %d out of range", and the alphabet check for
// n >= 0.
Model *alloc_model(int n);
// Sets the length to n: new nodes are added at the end or the nodes past it released; the cost
// records are released. Fatal: "realloc_model: model length %d out of range", the alphabet check.
void realloc_model(Model *model, int n);
// Releases a model and everything it owns (nodes, cost records, matrix, query); null does nothing.
void free_model(Model *model);
// With null: a new zeroed raw model (counts to be filled in; release with free_rmodel). Else
// allocates the nstart + nend + 2 null node slots of rmodel and its end_nodes view, and returns
// rmodel. Fatal: "alloc_rmodel: invalid node counts %d and %d" (nstart below -1, nend below 0,
// either above INT_MAX / 4).
Rmodel *alloc_rmodel(Rmodel *rmodel);
// Releases *rmodel and its nodes and clears the pointer; null or a null pointer does nothing.
void free_rmodel(Rmodel **rmodel);

#endif
