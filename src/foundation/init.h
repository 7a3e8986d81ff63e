// The parameter system and the common start-up of every program: the parameter table and its
// globals, parameter files and the per-user parameter file, the command line, parameter dumps.
#ifndef QOR_INIT_H
#define QOR_INIT_H

#include <cstdio>
#include <string>

#include "foundation/utilities.h"

struct Rmodel;  // raw model or regularizer as a model file gives it (sequence.h / modelio.h)
struct Model;   // prepared model

// ---------------------------------------------------------------------------------------------
// The parameter table
// ---------------------------------------------------------------------------------------------

enum VarType {
    VAR_INT = 0,             // int
    VAR_DOUBLE = 1,          // double
    VAR_STRING = 2,          // char * (owned, null = unset)
    VAR_SEQFILE = 3,         // char *: a sequence-file name
    VAR_PRIORFILE = 4,       // char *: a prior-library file name
    VAR_INSERT = 5,          // char ** list of parameter files, read at once
    VAR_INSERT_DNA = 6,      // list, read at once when the current alphabet is DNA
    VAR_INSERT_RNA = 7,      // list, read at once when the current alphabet is RNA
    VAR_INSERT_PROTEIN = 8,  // list, read at once when the current alphabet is protein
    VAR_ALPHABET = 9,        // char *, written by the alphabet code
    VAR_MODEL = 10,          // Rmodel *
    VAR_STRINGLIST = 11,     // char ** list of strings
    VAR_FILELIST = 12,       // char ** list of file names
    VAR_END = 13,            // end of table
};

// One entry of the parameter table.
struct ReadVar {
    int type;         // VarType
    const char *key;  // parameter name; null in the end entry
    void *value;      // address of the global that holds the value
    int set;          // 0 not set, 1 set by a parameter line, 2 set by the system
};

// The table; entries 0-3 are the MODEL, REGULARIZER, FREQUENCIES and NULLMODEL sections.
extern ReadVar read_vars[];

// A list parameter holds at most this many values.
const int MAX_LIST_VALUES = 100;

// Priorities of a parameter line.
enum {
    PRIORITY_USERFILE = 0,  // per-user parameter file: never replaces a value already set
    PRIORITY_COMMAND = 1,   // command line and the parameter files it names
    PRIORITY_LIBRARY = 2,   // model-library entry: replaces silently
};

// Read-flags of basic_command_line / read_init: which model blocks are taken.
enum {
    READ_MODEL = 1,
    READ_REGULARIZER = 2,
    READ_FREQUENCIES = 4,
    READ_NULLMODEL = 8,
    READ_MODEL_FILE = 0x40,
};
// Required-flags of basic_command_line.
enum {
    REQUIRE_MODEL = 1,
    REQUIRE_REGULARIZER = 2,
    REQUIRE_NULLMODEL = 8,
    REQUIRE_ANY_MODEL = 0x40,
};

// ---------------------------------------------------------------------------------------------
// Settings records
// ---------------------------------------------------------------------------------------------

struct ScoreParams {
    double NLLnull;              // -10.0
    double mdNLLnull;            // -10.0 (alias key mdNULLminusNULL)
    double NLLcomplex;           // -10.0
    double mdNLLcomplex;         // -10.0
    double Emax;                 // 0.01
    double mdEmax;               // 0.01
    int select_seq;              // 0
    int select_md;               // 4
    int select_score;            // 8
    int select_align;            // 0
    int select_mdalign;          // 0
    int sort;                    // 4 (alias sort_scores)
    int subtract_null;           // 4
    double simple_threshold;     // 10000.0
    double calibrate_threshold;  // 0.0
    double viterbi_threshold;    // 1000000.0
    int FIM_method_score;        // -6
    int Insert_method_score;     // 0
    int adjust_score;            // 2
    int adpstyle;                // 1
    double Motifcutoff;          // 0.5
    int alignshort;              // -1 (alias multdomainshort)
    int dbsize;                  // 0
    char *matrix;                // "blosum62"
    double swlambda;             // 0.34657
    double lambda;               // 1.0
    double tau;                  // 1.0
    char *query;                 // none
    int gap;                     // 12
    int continue_;               // 1 (key "continue")
    Model *users_null_model;     // user null model, none at start (no key)
    int model_length;            // -1 (no key)
    int FIM_method;              // FIM method in effect, 0 (no key)
    int Insert_method;           // insert method in effect, 0 (no key)
    int negate;                  // negate scores, 0 (no key)
};

struct AWeightParams {
    int aweight_method;       // 1
    double aweight_bits;      // 0.5
    double aweight_exponent;  // 0.5
};

struct ConstrParams {
    char **constraints;           // string list, none
    int constraints_count;        // 0
    char *constraints_out;        // none
    int constraints_from_align;   // 0
    char *align_constraints_out;  // none
};

struct VireonParams {
    int use_vireon;              // 0
    char *vireon_remote_db_dir;  // none
    int vireon_retry_cnt;        // 0
    int vireon_retry_time;       // 0
    int vireon_fallback;         // 1
    int vireon_min_model_len;    // 0
    int vireon_use_simulator;    // 0
    int vireon_num_extra_pe;     // 0
    int vireon_dual_mapping;     // -1
};

extern ScoreParams Score;
extern AWeightParams AWeight;
extern ConstrParams Constr;
extern VireonParams Vireon;

// The verbose stream: standard error after start-up; null when a "verbose 0" line turned it off.
// Test it before writing: if (verbout) fprintf(verbout, ...).
extern FILE *verbout;

// ---------------------------------------------------------------------------------------------
// Parameter globals, in table order (comment: key, default). Strings are owned (null = unset);
// a list is a char ** of up to 100 values with its int count.
// ---------------------------------------------------------------------------------------------

// 1. model sections
extern Rmodel *base_model;        // MODEL
extern Rmodel *base_regularizer;  // REGULARIZER
extern Rmodel *base_frequencies;  // FREQUENCIES
extern Rmodel *users_null;        // NULLMODEL
// 2. seeds and model count
extern int trainseed;    // trainseed, -1
extern int random_seed;  // randseed, -1
extern int Nmodels;      // Nmodels, 3
// 3. sequence files
extern char *trainfile;     // train
extern char *train2file;    // train2
extern char *testfile;      // test
extern char *test2file;     // test2
extern char *alignfile;     // alignfile
extern char *synchfile;     // synchfile, syncfile
extern char *templatefile;  // template
// 4. priors and generated sequences
extern char *trans_priors;      // trans_priors
extern double transweight;      // 1.0
extern double sequence_models;  // 0.0
extern char *prior_library;
extern char *protein_prior;
extern char *genprot_prior;
extern char *genehl2_prior;
extern char *genebghtl_prior;
extern double gs_mean_log_len;  // 5.4151
extern double gs_sd_log_len;    // 1.03632564
extern char *nucleotide_prior;
// 5. weighting
extern char *sequence_weights;
extern char *alignment_weights;
extern double weight_length;    // 0.0
extern double weight_final;     // 1.0
extern double weightmix_final;  // 0.0
extern int internal_weight;     // 1
extern int print_all_weights;   // 0
extern double i_weight;         // 0.1
extern double mix_weights;      // 0.0
extern double offset;           // -15.0
extern int weight_norm;         // 1
extern int sample_train;        // 0
// 6. model sources
extern int modlib_absolute;  // 0
extern char *model_library;  // model_library, modlib
extern char *model_file;
extern char *regularizer_file;
extern char *nullmodel_file;
extern char *family_base_file;
// 7. parameter files and alphabets
extern char **insert_list;  // insert, i
extern int insert_listcount;
extern char *alphabet_name;  // alphabet, a (track 0's alphabet name; written by alphabet code)
extern char *alphabet_def;   // alphabet_def
extern char **alphbackfile;  // alphbackfile
extern int alphbackfilecount;
extern char **insert_file_protein;
extern int pinsert_listcount;
extern char **insert_file_dna;
extern int dinsert_listcount;
extern char **insert_file_rna;
extern int rinsert_listcount;
// 8. training and output control
extern int reglength;               // -1
extern int rerun;                   // -1
extern int print_frequencies;       // 0
extern int Nseq;                    // 10000
extern int Ntrain;                  // 0
extern int reestimates;             // 40
extern double stopcriterion;        // 0.1
extern int nsurgery;                // 3
extern int randomize;               // 5
extern double anneal_length;        // 0.8
extern double weightmix_length;     // 0.8
extern double anneal_noise;         // 5.0
extern double initial_noise;        // -1.0
extern double surgery_noise_scale;  // 0.1
extern double retrain_noise_scale;  // 0.1
extern double prior_weight;         // 1.0
extern int print_surg_models;       // 0
extern int print_all_models;        // 0
extern int many_files;              // 0
extern int keepannotations;         // 1
extern int sequence_warning;        // 0
extern int auto_fim;                // 1
extern int align_fim;               // 0
extern int train_reset_inserts;     // 6
extern int dump_parameters;         // 0
extern int verbose;                 // 0
// 9. databases and selection
extern char *modelguide;
extern char **dblist;  // db
extern int dblistcount;
extern char **dbguidelist;  // dbguide
extern int dbguidelistcount;
extern char **idlist;  // id
extern int idlistcount;
extern char **notidlist;  // not_id
extern int notidlistcount;
extern double synchweight;  // synchweight, syncweight: 1.0
// 10. score files
extern char *NLLfile;   // NLLfile, NLLfile1, distfile
extern char *NLLfile2;  // NLLfile2, distfile2
// 11. model building
extern int minmodlen;            // 0
extern int maxmodlen;            // 0
extern int modellength;          // -1
extern int model_abort_length;   // 10000
extern double del_jump_conf;     // 1.0
extern double match_jump_conf;   // 1.0
extern double insert_jump_conf;  // insert_jump_conf, ins_jump_conf: 1.0
extern double matchconf;         // 1.0
extern double insconf;           // 10000.0
extern double fimstrength;       // 1.0
extern double fimtrans;          // 1.0
extern int maxinserts;           // 100
extern double mainline_cutoff;   // 0.5
extern double cutmatch;          // 0.5
extern double cutinsert;         // 0.5
extern double fracinsert;        // 1.0
extern double cdel2prob;         // 0.05
extern double cdel1prob;         // 0.05
// 12. dynamic programming
extern int SWtrain;              // 2
extern int SW;                   // SW, SW_score: 2
extern double jump_in_prob;      // 1.0
extern double jump_out_prob;     // 1.0
extern int dpstyle;              // viterbi, dpstyle: 0
extern int NscoreSeq;            // 1000000
extern int FIM_method_train;     // -1
extern int Insert_method_train;  // -1
extern int calibrate;            // 0
// 13. Score fields (above)
// 14. plots
extern int histbins;      // 10
extern double plotmax;    // 0.0
extern double plotmin;    // 0.0
extern double plotleft;   // 0.0
extern double plotright;  // 0.0
extern int plotps;        // 1
extern int plotcolumn;    // 3
extern int plotnegate;    // 0
extern double plotline;   // 0.0
// 15. output forms
extern int binary_output;   // 0
extern int rdb;             // 0
extern int segments;        // 1
extern int segment_number;  // 1
extern int segment_size;    // 1000
extern int a2mdots;         // 1
// 16. AWeight fields, then
extern double percent_id;  // 1.0
// 17. Constr fields
// 18. thresholds and memory
extern double score_threshold;  // 0.0
extern char *predict_seq;
extern int maxmem;           // 20000000
extern int maxposdecodemem;  // 100000000
// 19. Vireon fields
// 20. further settings
extern int max_seq_length;    // 2500
extern int standard;          // 1
extern int dump_match_probs;  // 0
extern char *md_map;
extern char *md_unselected_seqs;
extern int debug_print;  // 0
extern char *trackcoeff;
extern char *trackmod;
extern char *trackprior;
extern int probseqmethod;      // 2
extern char **fisher_feature;  // fisher_feature
extern int fisher_feature_count;
extern double null_score_weight_scale;  // 10.0
extern int write_dist;                  // 0
extern int fraglen;                     // 10
extern int numpermatch;                 // 5
extern char *firstsequence;
extern double ppscale;  // 1.0
extern double pptrim;   // 0.0
// 21. logos
extern char *logo_color_file;      // logo_color_file, logo_colors_file
extern char *logo_under_color;     // logo_under_color, logo_under_colors
extern char *logo_captionf_color;  // logo_captionf_color, logo_captionf_colors
extern int logo_bw;                // 0
extern int logo_bars_per_line;     // 0
extern int logo_start_num;         // 1
extern char *logo_font;            // "Courier"
extern double logo_sig_height;     // 1.0
extern char *logo_title;
extern char *logo_title_font;  // "Times-Roman"
extern double logo_scale;      // 20.0
extern int logo_auto_size;     // 0
extern char *logo_under_file;
extern char *logo_sections;
extern char *logo_captions;
extern char *logo_captionf;
extern int logo_captionf_ignoreCL;  // 1
extern int logo_captionf_numseq;    // 1
extern char *logo_savings;
extern int logo_rel_entropy;  // 1
extern int help;              // 0
extern char *logo_savings_output;

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

// Sets every parameter to its default and marks it not set (start-up, once). Strings, lists and
// models held before are dropped, not released (see reset_library_state).
void initialize_variables();

// The banner line of a program: "QOR: %s v%s %s compiled %s" with the program name as invoked
// (null gives an empty name), the version, the release date and the build stamp.
std::string program_banner(const char *program);

// The common start-up of every program (call once, first). argv/argc as given to main; run_name
// receives the first argument; note (optional) receives a comment block naming the per-user
// parameter file; read_flags and required_flags as the READ_* and REQUIRE_* bits; banner is the
// formatted "QOR: %s v%s %s compiled %s" line; usage (optional) writes the program's own usage
// lines to standard error. The size-limit signal (SIGXFSZ) is ignored from here on, so that a
// write past a file-size limit fails as a write error. The special forms (no argument, "-v",
// "-h", "-dump_parameters 2") and a missing required model end the process here (status 1, or 0
// for "-v", "-h" and the dump).
// Fatal: "basic_command_line called twice!", "Option %s: option and value longer than %d
// characters.", "The run name holds a line end (CR or LF)"; a malformed option pair ends the run
// with its message and the usage text (status 1); and the messages of the parameter lines, files
// and model reads it makes.
void basic_command_line(char **argv, int argc, std::string &run_name, std::string *note,
                        int read_flags, int required_flags, const char *banner, void (*usage)());

// The per-user parameter file (QORRC, else ./.qorrc, else ~/.qorrc; note, when given, receives
// a comment block naming it), the model files named by parameters (as read_flags asks), the
// default regularizer from the current alphabet (when make_default_reg is set and none was read)
// and the random seeds. Fatal: those of read_init, read_first_rmodel (RMODEL_FATAL) and
// check_alphabet.
void read_default_inits(int make_default_reg, std::string *note, int read_flags);

// A new raw model (owned by the caller) whose only node is a GENERIC node built from the
// regularizers of the track's alphabet. Fatal: "make_base_regularizer: track %d has no
// alphabet".
Rmodel *make_base_regularizer(int track);

// Reads a parameter file at the given priority (null or empty name: nothing); every line that
// begins with a letter or white space is applied with process_init_entry. Fatal: "Parameter file
// %s includes itself (directly or through other files).", "%s(%d): line longer than %d
// characters.", "Couldn't open file %s: %s\n", and those of process_init_entry.
void read_init(const char *filename, int priority, int read_flags);

// Applies one parameter line. in: the parameter file a model block may be read from (null for
// the command line and model libraries); source and *line_no name the line in messages (the
// model reader advances *line_no). An unknown name, a missing value, a model block where none can
// be read and a count entry are reported on standard error and ignored. Fatal: "%s Incorrect
// type or missing value for %s\n" (a number that does not parse), "%s Value %s for %s is not a
// finite number\n" (a NaN or an infinity for a floating parameter other than the plot ranges,
// which check_plot_parameters checks), "Only %d %s values can be specified.  Skipping %s.\n",
// "Illegal code (%d) in processes_init_entry.\n", "%s The value of %s holds a line end (CR or
// LF)" (a string value), and those of the model reader, process_alphabet and read_init (insert
// entries).
void process_init_entry(InputReader *in, const char *line, int priority, const char *source,
                        int *line_no, int read_flags);

// The first sequence file named by parameters (a sequence-file entry or the first value of a
// file list), or null; the text belongs to the parameter.
const char *find_seq_file();

// Releases every parameter string and list and clears them (end of a run); models stay.
void free_init();

// A fresh start inside one process (unit tests, fuzz harnesses): every parameter released and set
// to its default, every track and user alphabet forgotten, the once-per-run warnings and records
// of the library cleared and the score sort direction ascending again. Models held by model
// parameters are dropped, not released.
void reset_library_state();

// Writes a list parameter: lead and key, then the values (packed to 70 characters for a positive
// count, one per line for a negative count).
void list_strings(FILE *fp, char **values, int count, const char *key, const char *lead);

// Writes the parameter section of an output file: every parameter that was set (all: every
// one), as "% " comment lines when set by the system or with comment_all; the base regularizer
// as a REGULARIZER block (BINARY form with binary). Marks a set Nmodels as set by the system.
void print_init(FILE *fp, int all, int comment_all, int binary);

// Writes the parameter dump run_name.params (run name "default" when null). Fatal: those of
// prepare_statfile.
void dump_params(const char *banner, const char *run_name);

// Writes the REGULARIZER block of the base regularizer when it was set by a parameter (or always
// with force). Returns nice_print_rmodel's result, or 0 when nothing was written.
int print_reg_if_changed(FILE *fp, int force, const char *title, int binary);

// Set-state (0 not set, 1 by a parameter line, 2 by the system) of the first table entry with
// that value address; mark_var_changed sets it to 1, mark_var_same to 0. An address the table
// does not hold is an internal error: "Internal error: %s was given an unfound variable address"
// on standard error and abort() (thrown as FatalError under error_throws).
int var_changed(const void *value);
void mark_var_changed(const void *value);
void mark_var_same(const void *value);
// A new null-terminated array of the keys of every entry with that address, in table order;
// release the array with free() (the keys are the table's own). An unknown address: as
// var_changed.
const char **var_names(const void *value);

#endif
