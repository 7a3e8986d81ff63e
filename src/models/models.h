// Prepared models: the cost encoding (probabilities as integer costs in thousandths of a nat),
// normalisation and cost records of a model, the FIM and insert methods (free insertion modules
// and background insert tables), and the preparation of a model from a raw model or regularizer.
//
// Contracts: every function works in the current alphabet, which must be set; those that make
// nodes run the alphabet check (check_alphabet(nullptr), fatal messages in alphabet.h). New nodes,
// models and raw models are owned by the caller (free_node, free_model, free_rmodel). An
// allocation failure ends the run. Nothing else is fatal unless said.
#ifndef QOR_MODELS_H
#define QOR_MODELS_H

#include <cstdio>

struct Node;
struct ModWeight;
struct Model;
struct Rmodel;
struct Sequence;
struct SequenceTable;
struct ScoreParams;
struct AlphabetInfo;

// ---------------------------------------------------------------------------------------------
// Costs
// ---------------------------------------------------------------------------------------------

// Probabilities at or below this count as zero (cost COST_OF_ZERO); sums of probabilities at or
// below it count as zero in normalisation.
constexpr double PROB_ZERO = 2.0612e-9;
// The cost of a zero probability.
constexpr int COST_OF_ZERO = 80000;
// An impossible step in the engine's tables; caps every sum of costs there.
constexpr int IMPOSSIBLE_COST = 100000000;

// Cost of a probability: (int)(0.5 - 1000 ln p) (truncated toward zero) above PROB_ZERO,
// COST_OF_ZERO at or below it and for NaN. A probability above 1 gives a negative cost; the
// result saturates at the range of int (an infinite probability gives INT_MIN).
int cost(double p);
// Probability of a cost: exp(-0.001 c) for c up to 79999, PROB_ZERO above.
double prob(int c);

// ---------------------------------------------------------------------------------------------
// Whole-model arithmetic, normalisation and cost records
// ---------------------------------------------------------------------------------------------

// Sets every value of nodes 0..L+1 to value and clears every type letter.
void init_model(Model *model, double value);
// Adds factor times the second model's values to the first's (equal lengths).
void increment_model(Model *model, const Model *other, double factor);
// Multiplies every value of nodes 0..L+1 by factor.
void multiply_model(Model *model, double factor);
// Normalises a lone node within itself: each from-state's djump+mjump+ijump, the match table
// (64 codons for a 'C' node, else the letters) and the insert table, each when its sum is > 0.
void normalize_node(Node *node);
// Normalises a model in place (transitions per from-state, emissions; Begin, End, FIMs and
// codon nodes by their own rules).
void normalize_model(Model *model);
// Fills the match (selector 1) or insert (selector 2) cost table of a cost record from the
// node's table, with every probability multiplied by scale; wildcard entries included.
void log_chartable(ModWeight *weight, const Node *node, int selector, double scale);
// Builds the model's cost records (allocated when absent) and the FIM template cost record,
// applying the parameters fimtrans and fimstrength.
void log_model(Model *model);
// Writes value into every entry that normalize_model forces to zero at Begin and End.
void init_begin_end(Model *model, double value);
// Copies the alphabet's emission values (emit_length floats) of a table when both tables exist.
void copy_alphlen_table(float *dest, const float *src, const AlphabetInfo *alpha);

// ---------------------------------------------------------------------------------------------
// FIM and insert methods
// ---------------------------------------------------------------------------------------------

// Method numbers of FIM_method and Insert_method.
enum {
    METHOD_ORIGINAL = 0,    // tables stay as they are
    METHOD_LETTCOUNT = 1,   // training letter frequencies (LETTCOUNT node)
    METHOD_FREQAVE = 2,     // match frequency arithmetic mean (FREQAVE node)
    METHOD_FLAT = 3,        // the flat distribution
    METHOD_TARGET = 4,      // target letter frequencies: refused
    METHOD_GENERIC = 5,     // the GENERIC node
    METHOD_GEOMETRIC = 6,   // geometric mean of match probabilities
    METHOD_FIRST_NODE = 7,  // in effect only: Begin's insert table was taken
    METHOD_FIRST_FIM = 8,   // in effect only: the first FIM's insert table was taken
    METHOD_NO_NODE = 9,     // in effect only: a new Model
};

// "%s (%d)": the text of |method| and |method| (0 for 7..9), or "Illegal method setting (%d)";
// one static buffer that the next call overwrites.
const char *I_method_string(int method);
// 0 when auto_flag is set and method is negative, else |method|.
int revise_method(int method, int auto_flag);
// Looks up the table of *method (already non-negative) and stores it in *table (a view of the
// given node or flat table, or null); a refused or unavailable method is reported on standard
// error ("Invalid %s: %d (%s) specified." or the missing node) and *method becomes 0.
void set_table(int *method, float **table, float *flat, Node *lettcount, Node *freqave,
               Node *generic, Node *geometric, const char *name);
// A new geometric-mean node of a model's positions 1..L-1 (FIMs skipped), normalised within
// itself. Fatal: "make_geometric_ave_node:  no non-FIM nodes found. ".
Node *make_geometric_ave_node(const Model *model);
// Applies the FIM and insert methods to a model's insert tables and sets its FIM template node.
// *fim_out (optional) gets the FIM method applied to the nodes, *ins_out the insert method in
// effect. Returns 1 when either method found its table, else 0. A null model is reported and
// aborts.
int change_inserts_set_fim(Model *model, int fim_method, int insert_method, int auto_flag,
                           int *fim_out, int *ins_out);
// Turns node k of a model into a FIM whose insert table is table (null: kept); a codon-typed node
// is reported and left as it is.
void turn_into_fim(Model *model, const float *table, int k);
// Replaces *model by one with FIMs at both ends (length L+1). *added (optional) becomes 1 when
// FIMs were added, 0 when node 0 and node L were both FIMs already; *method (optional) the
// method whose table the FIMs got. The old model is released; FIMs added also set the
// process-wide record below (a warning when the GENERIC node or Begin's inserts give the table).
void add_fims_at_ends(Model **model, int *added, int *method);
// The process-wide record that FIMs were added at the model ends automatically.
void set_fims_added();
void clear_fims_added();
int fims_added();
// Forgets the FIMs-added record, the once-per-run warning of check_fims and the report state of
// setup_sw_add_fims, as at start-up (see reset_library_state).
void reset_models_state();
// When FIMs were added automatically, removes the delete step of the added end FIM from the
// sequence's alignment code (reported when there is none; null or no code: nothing).
void remove_fim_delete_if_auto(Sequence *seq);
// Copies type, label, every block value (as many as both hold) and the environment (only into an
// existing one).
void copy_node(const Node *src, Node *dest);

// ---------------------------------------------------------------------------------------------
// Model preparation
// ---------------------------------------------------------------------------------------------

// Auto-FIM modes of process_rmodel.
enum { AUTOFIM_NEVER = 0, AUTOFIM_LOCAL = 1, AUTOFIM_ALWAYS = 2 };

// Prepares a model from a raw model, which it consumes (*rmodel is cleared): conversion, FIM and
// insert methods, the set-up step of the scoring mode (report lines, FIMs at the ends),
// normalisation and costs. params (optional) supplies and receives the methods and the length;
// report (optional) receives "% " comment lines. Returns the new model (the caller's). Fatal:
// those of destruct_rmodel2model and the steps.
Model *process_rmodel(Rmodel **rmodel, int auto_fim_mode, int sw, ScoreParams *params, int track,
                      FILE *report);
// The same preparation (without the conversion) on an existing model; *model may be replaced
// (FIMs added at the ends).
void reprocess_model(Model **model, int auto_fim_mode, int sw, ScoreParams *params, int track,
                     FILE *report);
// The set-up step of a scoring mode (sw 0-3; larger does nothing): report lines once per run,
// adjust_score, FIMs added at the ends (*model may be replaced). Returns 1 when FIMs were added.
int setup_sw_add_fims(Model **model, int auto_fim_mode, int sw, int *adjust_score, int track,
                      FILE *report);
// Moves a raw model's nodes into a new Model of length P+Q (missing nodes copied from GENERIC);
// releases the raw model and clears *rmodel. Fatal: "No model to prepare", those of
// require_rmodel_nodes, "Destruct_rmodel2model missing node %d (of %d), no generic",
// "Destruct_rmodel2model missing node -%d (%d of %d), no generic".
Model *destruct_rmodel2model(Rmodel **rmodel);
// Copies a raw model into a new Model of length *length (missing or non-positive: P+Q, written
// back); a position with both a start- and an end-numbered node takes the end-numbered one past
// the middle; missing ones copy GENERIC. Fatal:
// "Exiting program." (a node missing without GENERIC, after "rmodel2model:  Node %d in model
// length %d missing, no generic node").
Model *rmodel2model(const Rmodel *rmodel, int *length);
// Moves a model's nodes into a new raw model (P = L, Q = 0); releases the rest of the model.
Rmodel *destruct_model2rmodel(Model *model);
// rmodel2model with every value weighted: transitions by from-state (delete, match, insert),
// match and insert emissions. Fatal: as rmodel2model.
Model *regularizer_with_confidence(const Rmodel *rmodel, int length, double del_conf,
                                   double match_conf, double ins_conf, double matchconf,
                                   double insconf);
// Applies the FIM and insert methods to a raw model (none for CODON). Returns 1 when either
// table was found, else 0; *fim_out / *ins_out (optional) the methods applied.
int change_Rinserts(Rmodel *rmodel, int fim_method, int insert_method, int auto_flag, int *fim_out,
                    int *ins_out);
// Re-makes every FIM of nodes 0..L whose first match value is not 0; warns once per run when
// warn is set.
void check_fims(Model *model, int warn);
// 1 when any node 0..L+1 is a FIM.
int has_fim(const Model *model);
// A new node with the type, label and values of node (null for null); no environment.
Node *dup_node(const Node *node);
// The same as dup_node.
Node *get_node(const Node *node);
// The same with the label -1.
Node *get_unlabeled_node(const Node *node);
// A new model with copies of every node, the special nodes and the FIM method in effect.
Model *replicate_model(const Model *model);
// A new count model of the sequence's length with the sequence's track-0 letters counted at
// weight (match emissions and match-to-match steps).
Model *seq_to_freq(const Sequence *seq, double weight);
// Sets the model's FREQAVE node (made when absent) to the mean letter frequencies of its
// positions (FIMs and codon 'D'/'E' nodes skipped).
void make_freqave(Model *model);
// Creates *slot when absent, zeroes its transitions and, with a table, sets its match and insert
// tables to the table's letter frequencies over the track (global_letter_counts).
void make_lettercounts(Node **slot, SequenceTable *table, int track, int count);

// ---------------------------------------------------------------------------------------------
// Query-sequence and per-track models
// ---------------------------------------------------------------------------------------------

// The query-sequence model: the one sequence of the file params->query (converted) as a Model of
// kind 1 and length 0 (two empty slots) that owns the sequence, gap cost params->gap, continue
// cost params->continue_ and the matrix params->matrix (read_matrix). Sets the automatic-FIM
// flag; writes to params the negate flag 1 and the model length (the query's length); the first
// call of the run also changes the sign of each of NLLnull, mdNLLnull, NLLcomplex and
// mdNLLcomplex that the user set. params must not be null. report (optional) receives "% " lines
// naming the query, its annotation, the matrix and the gap costs. The caller owns the model
// (free_model). Fatal: "Query sequence not found in file %s"; "Query sequence %s in file %s is
// empty"; "No substitution matrix named for the query sequence (parameter matrix)"; the faults of
// read_sequences and read_matrix.
Model *sw_model(ScoreParams *params, FILE *report);
// Forgets that sw_model changed the signs of the thresholds (a fresh run inside one process;
// used by the unit tests).
void reset_sw_model_thresholds();

// Prepares the models of a run: a query-sequence model, the single model *single (consumed) or
// one model per file of the comma-separated list track_files, each with a coefficient from the
// list track_coeffs (1.0 when the list is empty). *models receives a new array of num_alphabets
// Model pointers (null where a track has none) and *coeffs one of num_alphabets floats; both
// belong to the caller (free_track_models). Every profile model is prepared as process_rmodel
// does (auto_fim_mode, sw, params, its track, report; report null means standard output), with
// its track's alphabet current; the current alphabet is track 0's afterwards. Returns the
// number of models prepared. Returns 0, with both arrays released and *models / *coeffs null,
// when the lists do not match the alphabets (four lines on standard error), when no source is
// given, when a track file holds no model, or when track models differ in length (one line on
// standard error). require_all: the list of files must name one per alphabet. read_flags are
// passed to read_first_rmodel; with bit 1 the refused lists and unequal lengths are fatal.
// Fatal: "Tracks must correspond to alphabets.\n"; "Only one of -modelfile (or -i models),
// -query sequences,\nand -trackmod may be specified.\n"; "Track %d model file %s could not be
// opened"; "All track models must have same length."; those of sw_model, read_first_rmodel and
// process_rmodel.
int read_and_process_track_models(Rmodel **single, const char *single_name, Model ***models,
                                  float **coeffs, const char *track_files, const char *track_coeffs,
                                  int auto_fim_mode, int sw, ScoreParams *params, FILE *report,
                                  int require_all, int read_flags);

// Releases the first count models of *models, both arrays, and clears both pointers.
void free_track_models(Model ***models, float **coeffs, int count);

#endif
