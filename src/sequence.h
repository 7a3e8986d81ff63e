// Sequence records and tables; node, model and raw-model records; and the small sequence
// utilities shared by many units (ordering and search by ID, length statistics, letter
// frequencies, shuffling and reversal, sequence weight files).
#ifndef QOR_SEQUENCE_H
#define QOR_SEQUENCE_H

#include <cstdio>

struct Model;

// ---------------------------------------------------------------------------------------------
// Sequences
// ---------------------------------------------------------------------------------------------

// Number of parallel tracks a sequence can carry.
constexpr int MAX_TRACKS = 6;
// Value of a score slot or E-value that has not been set (no score, or no path).
constexpr float SCORE_UNSET = 1000000.0f;
// Slots added to a SequenceTable each time it is full.
constexpr int SEQTABLE_GROWTH = 4096;

// Alignment code bytes: 1..100 inserts, 101..200 (b-100) matches, 201..255 (b-200) deletes,
// 0 ends the code.
constexpr int ALIGN_MATCH_BASE = 100;
constexpr int ALIGN_DELETE_BASE = 200;

// Per-residue path posterior written by the dynamic-programming engine.
struct SeqPathProb {
    float lnprob;  // natural log of the posterior, -20..0
    int node;      // model node of the state that emits the residue
    int match;     // 1: a match state, 0: an insert state
};

// Per-residue constraint read by the dynamic-programming engine.
struct PosConstraint {
    int label;          // model-node label the residue must match; -1 none, -3 unnamed node
    int satisfied;      // cost when matched by the node with that label
    int unsatisfied;    // cost when matched by another node
    int unconstrained;  // added to the residue's match and insert costs
};
// The value of every residue of a sequence without constraints.
inline constexpr PosConstraint noPosConstraint = {-1, 80000, 80000, 0};

// One track of a sequence.
struct SeqTrack {
    unsigned char *res;  // letters as read, then letter indices after conversion; or null
    Model *model;        // track model (a profile standing as a sequence), or null
};

struct Sequence {
    int len;           // residues, the same in every track
    int converted;     // 1 once letters became letter indices
    int reversed;      // toggled by reverse_sequence
    char *id;          // owned, or null
    char *annotation;  // owned, or null
    int ntracks;       // tracks in use, 1..6
    SeqTrack tracks[MAX_TRACKS];
    unsigned char *align;            // alignment code (owned), or null
    SeqPathProb *pathprob;           // path posteriors (owned, len + 4 entries), or null
    double *weights;                 // one per family (owned); null means 1.0 for every family
    float raw_score;                 // negative log-likelihood from the scoring engine
    float prefilter_raw;             // single-best-path score of the prefilter
    float prefilter_simple;          // prefilter simple score
    float simple_score;              // raw minus null-model score plus the length adjustment
    float second_score;              // score against the null model chosen by subtract_null
    float report1;                   // report column 1
    float report2;                   // report column 2
    double evalue;                   // E-value, SCORE_UNSET when none
    float xcount;                    // the count that stands before 'X' in a score-file line
    PosConstraint *constraints;      // per residue, present orientation (owned), or null
    PosConstraint *rev_constraints;  // per residue, reversed orientation (owned), or null
};

// A set of sequences. Slots may hold null between a removal and the next compaction.
struct SequenceTable {
    int count;        // slots in use (nulled slots included)
    int capacity;     // slots allocated
    Sequence **seqs;  // owned slot array, null until the first append
};

// New sequence of the given length and track count; residue buffers of length + 2 zero bytes
// for the first ntracks tracks when length > 0.
Sequence *alloc_sequence(int length, int ntracks);
// Resizes every track in use to new_length residues (plus the two zero bytes every residue
// buffer ends with) and sets the length.
Sequence *realloc_sequence(Sequence *seq, int new_length);
// Releases a sequence and everything it owns; null does nothing.
void free_sequence(Sequence *seq);
// New copy: ID, annotation, residues, alignment code, raw, prefilter, simple and second scores,
// report column 1 and the X count. Everything else starts as after alloc_sequence.
Sequence *copy_sequence(const Sequence *seq);
// Frees the residues and the alignment code and shortens the annotation to 50 characters.
void free_seq_data_align_trunc_annotate(Sequence *seq);

SequenceTable *alloc_sequence_table();
void add_seq_to_table(SequenceTable *table, Sequence *seq);
Sequence *remove_seq_from_table(SequenceTable *table, int index);
void compact_sequence_table(SequenceTable *table);
void drop_null_sequences(SequenceTable *table, FILE *report);
void clean_sequence_table(SequenceTable *table);
void reset_sequence_table(SequenceTable *table);
void move_to_sequence_table(SequenceTable *dest, SequenceTable *src);
void create_sub_sequence_table(SequenceTable *table, SequenceTable *sub, int first, int last);
void copy_sequence_table(const SequenceTable *src, SequenceTable *dest);
void free_seq_data_align_trunc_annotate_from_table(SequenceTable *table);
void free_sequence_table(SequenceTable *table);

// ---------------------------------------------------------------------------------------------
// Nodes, models and raw models
// ---------------------------------------------------------------------------------------------

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
    int lab;           // model-node label, -1 when unlabelled
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

// A prepared model: nodes 0 (Begin), 1..length, length+1 (End).
struct Model {
    int length;             // L; -1 after release
    int kind;               // 0 profile model, 1 query-sequence model
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

Node *alloc_node();
void free_node(Node *node);
NodeEnv *alloc_NodeEnv();
void free_NodeEnv(NodeEnv *env);
void copy_node_env(const NodeEnv *src, NodeEnv *dest);
void update_nodenv(NodeEnv *env, int acc, int env_class, int code);
int GetEnvCode(const Node *node);
void alloc_mod_weight(Model *model);
void free_mod_weight(Model *model);
Model *alloc_model(int n);
void realloc_model(Model *model, int n);
void free_model(Model *model);
Rmodel *alloc_rmodel(Rmodel *rmodel);
void free_rmodel(Rmodel **rmodel);

// ---------------------------------------------------------------------------------------------
// Sequence utilities
// ---------------------------------------------------------------------------------------------

// Length statistics of a set of sequences (owned by the caller).
struct SeqInfo {
    int min_len;
    int max_len;
    int count;
    double mean;
    double sum;
    double excess_sum;
    double sumsq;
    double stddev;
};

// Contents of one sequence weight file (owned by the caller).
struct SeqWeights {
    char *description;  // first non-comment line, with its line end
    int num_families;   // weight columns
    int num_seqs;       // rows
    double **weights;   // num_seqs rows of num_families values
    char **ids;         // num_seqs IDs
};

// Order by length, then by the track-0 residue bytes (unsigned); -1, 0 or 1.
int seq_compare(const Sequence *a, const Sequence *b);
// The same order over two table slots (Sequence **), for sorting.
int compare_seqs(const void *a, const void *b);
void sequence_data_sort(SequenceTable *table);
// Byte-wise order of the IDs of two table slots (Sequence **); a null first slot is equal.
int compare_ID(const void *a, const void *b);
void sequence_sort(SequenceTable *table);
// Slot of the ID in a table sorted by ID, or -1.
int sequence_search(const char *id, const SequenceTable *table);
// The same, trying the slots just after hint (the previous find, -1 for none) first.
int sequence_hint_search(const char *id, int hint, const SequenceTable *table);

void seq_max_stats(const SequenceTable *table, SeqInfo *info, int reset, float threshold);
// New string of the current alphabet's letters for the track-0 residues.
char *SeqToStr(const Sequence *seq);
int count_letter(char letter, const Sequence *seq);
// New table of letter frequencies over track `track` of count sequences; the caller frees it.
float *global_letter_counts(Sequence *const *seqs, int track, int count);

void permuted_sequence(Sequence *seq);
void reverse_sequence(Sequence *seq);

int read_weights(const char *filename, SeqWeights *weights);
void merge_weights(SequenceTable *table, SeqWeights *weights);
void print_weight_info(FILE *out, const char *title, const char *source, const char *note,
                       const SequenceTable *table, int num_families);
void free_weights(SeqWeights *weights);

#endif
