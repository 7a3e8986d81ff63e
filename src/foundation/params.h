// The parameter table and the parameters it points at: the table entries (ReadVar, read_vars),
// the parameter globals with their defaults, the grouped settings records (ScoreParams and the
// others), the verbose stream, and the operations on the table (defaults, set-state, release).
// Parameter files and lines are read by param_files.h, the command line by startup.h.
#ifndef QOR_PARAMS_H
#define QOR_PARAMS_H

#include <cstdio>

struct Rmodel;  // raw model or regularizer as a model file gives it (model_records.h)
struct Model;   // prepared model (model_records.h)

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

// ---------------------------------------------------------------------------------------------
// Settings records
// ---------------------------------------------------------------------------------------------

// Null-model kinds: the values of subtract_null (which null model the second score subtracts).
enum {
    NULL_RAW = 0,
    NULL_SIMPLE = 1,
    NULL_COMPLEX = 2,  // no longer supported: becomes NULL_REVERSE
    NULL_USER = 3,
    NULL_REVERSE = 4,
    NULL_SCALED = 5,
};

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

// The first sequence file named by parameters (a sequence-file entry or the first value of a
// file list), or null; the text belongs to the parameter.
const char *find_seq_file();

// Releases every parameter string and list and clears them (end of a run); models stay.
void free_init();

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

// The first table entry with that value address. An address the table does not hold is an
// internal error: "Internal error: %s was given an unfound variable address" (operation) on
// standard error and abort() (thrown as FatalError under error_throws).
ReadVar *find_read_var(const void *value, const char *operation);
// True for the entry that holds the count of a list: the one right after the list's entry.
bool is_count_entry(const ReadVar *v);

#endif
