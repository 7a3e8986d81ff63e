// The parameter table, parameter files and the per-user parameter file, the command line and
// parameter dumps: the common start-up of every program.
#include "foundation/init.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"  // up: start-up resets the library (the FASTA warnings)
#include "models/modelio.h"   // up: start-up reads the model, regularizer and null-model files
#include "models/models.h"    // up: start-up resets the library (the model units)
#include "sequences/seqio.h"  // up: start-up resets the library (the sequence readers)
#include "scorefiles/seqio_scores.h"  // up: start-up resets the library (the sort direction)
#include "sequences/sequence.h"       // up: start-up reads models into node and raw-model records
#include "foundation/utilities.h"

// ---------------------------------------------------------------------------------------------
// Parameter globals
// ---------------------------------------------------------------------------------------------

ScoreParams Score;
AWeightParams AWeight;
ConstrParams Constr;
VireonParams Vireon;
FILE *verbout = nullptr;

Rmodel *base_model = {};
Rmodel *base_regularizer = {};
Rmodel *base_frequencies = {};
Rmodel *users_null = {};
int trainseed = {};
int random_seed = {};
int Nmodels = {};
char *trainfile = {};
char *train2file = {};
char *testfile = {};
char *test2file = {};
char *alignfile = {};
char *synchfile = {};
char *templatefile = {};
char *trans_priors = {};
double transweight = {};
double sequence_models = {};
char *prior_library = {};
char *protein_prior = {};
char *genprot_prior = {};
char *genehl2_prior = {};
char *genebghtl_prior = {};
double gs_mean_log_len = {};
double gs_sd_log_len = {};
char *nucleotide_prior = {};
char *sequence_weights = {};
char *alignment_weights = {};
double weight_length = {};
double weight_final = {};
double weightmix_final = {};
int internal_weight = {};
int print_all_weights = {};
double i_weight = {};
double mix_weights = {};
double offset = {};
int weight_norm = {};
int sample_train = {};
int modlib_absolute = {};
char *model_library = {};
char *model_file = {};
char *regularizer_file = {};
char *nullmodel_file = {};
char *family_base_file = {};
char **insert_list = {};
int insert_listcount = {};
char *alphabet_name = {};
char *alphabet_def = {};
char **alphbackfile = {};
int alphbackfilecount = {};
char **insert_file_protein = {};
int pinsert_listcount = {};
char **insert_file_dna = {};
int dinsert_listcount = {};
char **insert_file_rna = {};
int rinsert_listcount = {};
int reglength = {};
int rerun = {};
int print_frequencies = {};
int Nseq = {};
int Ntrain = {};
int reestimates = {};
double stopcriterion = {};
int nsurgery = {};
int randomize = {};
double anneal_length = {};
double weightmix_length = {};
double anneal_noise = {};
double initial_noise = {};
double surgery_noise_scale = {};
double retrain_noise_scale = {};
double prior_weight = {};
int print_surg_models = {};
int print_all_models = {};
int many_files = {};
int keepannotations = {};
int sequence_warning = {};
int auto_fim = {};
int align_fim = {};
int train_reset_inserts = {};
int dump_parameters = {};
int verbose = {};
char *modelguide = {};
char **dblist = {};
int dblistcount = {};
char **dbguidelist = {};
int dbguidelistcount = {};
char **idlist = {};
int idlistcount = {};
char **notidlist = {};
int notidlistcount = {};
double synchweight = {};
char *NLLfile = {};
char *NLLfile2 = {};
int minmodlen = {};
int maxmodlen = {};
int modellength = {};
int model_abort_length = {};
double del_jump_conf = {};
double match_jump_conf = {};
double insert_jump_conf = {};
double matchconf = {};
double insconf = {};
double fimstrength = {};
double fimtrans = {};
int maxinserts = {};
double mainline_cutoff = {};
double cutmatch = {};
double cutinsert = {};
double fracinsert = {};
double cdel2prob = {};
double cdel1prob = {};
int SWtrain = {};
int SW = {};
double jump_in_prob = {};
double jump_out_prob = {};
int dpstyle = {};
int NscoreSeq = {};
int FIM_method_train = {};
int Insert_method_train = {};
int calibrate = {};
int histbins = {};
double plotmax = {};
double plotmin = {};
double plotleft = {};
double plotright = {};
int plotps = {};
int plotcolumn = {};
int plotnegate = {};
double plotline = {};
int binary_output = {};
int rdb = {};
int segments = {};
int segment_number = {};
int segment_size = {};
int a2mdots = {};
double percent_id = {};
double score_threshold = {};
char *predict_seq = {};
int maxmem = {};
int maxposdecodemem = {};
int max_seq_length = {};
int standard = {};
int dump_match_probs = {};
char *md_map = {};
char *md_unselected_seqs = {};
int debug_print = {};
char *trackcoeff = {};
char *trackmod = {};
char *trackprior = {};
int probseqmethod = {};
char **fisher_feature = {};
int fisher_feature_count = {};
double null_score_weight_scale = {};
int write_dist = {};
int fraglen = {};
int numpermatch = {};
char *firstsequence = {};
double ppscale = {};
double pptrim = {};
char *logo_color_file = {};
char *logo_under_color = {};
char *logo_captionf_color = {};
int logo_bw = {};
int logo_bars_per_line = {};
int logo_start_num = {};
char *logo_font = {};
double logo_sig_height = {};
char *logo_title = {};
char *logo_title_font = {};
double logo_scale = {};
int logo_auto_size = {};
char *logo_under_file = {};
char *logo_sections = {};
char *logo_captions = {};
char *logo_captionf = {};
int logo_captionf_ignoreCL = {};
int logo_captionf_numseq = {};
char *logo_savings = {};
int logo_rel_entropy = {};
int help = {};
char *logo_savings_output = {};

// ---------------------------------------------------------------------------------------------
// The table. Order matters: lookups take the first match, dumps follow it, and entries 0-3 are
// the model sections that the read-flag bits 1, 2, 4 and 8 refer to. Each list is followed by
// the entry of its count.
// ---------------------------------------------------------------------------------------------

ReadVar read_vars[] = {
    {VAR_MODEL, "MODEL", &base_model, 0},
    {VAR_MODEL, "REGULARIZER", &base_regularizer, 0},
    {VAR_MODEL, "FREQUENCIES", &base_frequencies, 0},
    {VAR_MODEL, "NULLMODEL", &users_null, 0},
    {VAR_INT, "trainseed", &trainseed, 0},
    {VAR_INT, "randseed", &random_seed, 0},
    {VAR_INT, "Nmodels", &Nmodels, 0},
    {VAR_SEQFILE, "train", &trainfile, 0},
    {VAR_SEQFILE, "train2", &train2file, 0},
    {VAR_SEQFILE, "test", &testfile, 0},
    {VAR_SEQFILE, "test2", &test2file, 0},
    {VAR_SEQFILE, "alignfile", &alignfile, 0},
    {VAR_SEQFILE, "synchfile", &synchfile, 0},
    {VAR_SEQFILE, "syncfile", &synchfile, 0},
    {VAR_SEQFILE, "template", &templatefile, 0},
    {VAR_PRIORFILE, "trans_priors", &trans_priors, 0},
    {VAR_DOUBLE, "transweight", &transweight, 0},
    {VAR_DOUBLE, "sequence_models", &sequence_models, 0},
    {VAR_PRIORFILE, "prior_library", &prior_library, 0},
    {VAR_STRING, "protein_prior", &protein_prior, 0},
    {VAR_STRING, "genprot_prior", &genprot_prior, 0},
    {VAR_STRING, "genehl2_prior", &genehl2_prior, 0},
    {VAR_STRING, "genebghtl_prior", &genebghtl_prior, 0},
    {VAR_DOUBLE, "gs_mean_log_len", &gs_mean_log_len, 0},
    {VAR_DOUBLE, "gs_sd_log_len", &gs_sd_log_len, 0},
    {VAR_STRING, "nucleotide_prior", &nucleotide_prior, 0},
    {VAR_STRING, "sequence_weights", &sequence_weights, 0},
    {VAR_STRING, "alignment_weights", &alignment_weights, 0},
    {VAR_DOUBLE, "weight_length", &weight_length, 0},
    {VAR_DOUBLE, "weight_final", &weight_final, 0},
    {VAR_DOUBLE, "weightmix_final", &weightmix_final, 0},
    {VAR_INT, "internal_weight", &internal_weight, 0},
    {VAR_INT, "print_all_weights", &print_all_weights, 0},
    {VAR_DOUBLE, "i_weight", &i_weight, 0},
    {VAR_DOUBLE, "mix_weights", &mix_weights, 0},
    {VAR_DOUBLE, "offset", &offset, 0},
    {VAR_INT, "weight_norm", &weight_norm, 0},
    {VAR_INT, "sample_train", &sample_train, 0},
    {VAR_INT, "modlib_absolute", &modlib_absolute, 0},
    {VAR_STRING, "model_library", &model_library, 0},
    {VAR_STRING, "modlib", &model_library, 0},
    {VAR_STRING, "model_file", &model_file, 0},
    {VAR_STRING, "regularizer_file", &regularizer_file, 0},
    {VAR_STRING, "nullmodel_file", &nullmodel_file, 0},
    {VAR_STRING, "family_base_file", &family_base_file, 0},
    {VAR_INSERT, "insert", &insert_list, 0},
    {VAR_INT, "insert_listcount", &insert_listcount, 0},
    {VAR_INSERT, "i", &insert_list, 0},
    {VAR_INT, "insert_listcount", &insert_listcount, 0},
    {VAR_ALPHABET, "alphabet", &alphabet_name, 0},
    {VAR_ALPHABET, "a", &alphabet_name, 0},
    {VAR_ALPHABET, "alphabet_def", &alphabet_def, 0},
    {VAR_FILELIST, "alphbackfile", &alphbackfile, 0},
    {VAR_INT, "alphbackfilecount", &alphbackfilecount, 0},
    {VAR_INSERT_PROTEIN, "insert_file_protein", &insert_file_protein, 0},
    {VAR_INT, "pinsert_listcount", &pinsert_listcount, 0},
    {VAR_INSERT_DNA, "insert_file_dna", &insert_file_dna, 0},
    {VAR_INT, "dinsert_listcount", &dinsert_listcount, 0},
    {VAR_INSERT_RNA, "insert_file_rna", &insert_file_rna, 0},
    {VAR_INT, "rinsert_listcount", &rinsert_listcount, 0},
    {VAR_INT, "reglength", &reglength, 0},
    {VAR_INT, "rerun", &rerun, 0},
    {VAR_INT, "print_frequencies", &print_frequencies, 0},
    {VAR_INT, "Nseq", &Nseq, 0},
    {VAR_INT, "Ntrain", &Ntrain, 0},
    {VAR_INT, "reestimates", &reestimates, 0},
    {VAR_DOUBLE, "stopcriterion", &stopcriterion, 0},
    {VAR_INT, "nsurgery", &nsurgery, 0},
    {VAR_INT, "randomize", &randomize, 0},
    {VAR_DOUBLE, "anneal_length", &anneal_length, 0},
    {VAR_DOUBLE, "weightmix_length", &weightmix_length, 0},
    {VAR_DOUBLE, "anneal_noise", &anneal_noise, 0},
    {VAR_DOUBLE, "initial_noise", &initial_noise, 0},
    {VAR_DOUBLE, "surgery_noise_scale", &surgery_noise_scale, 0},
    {VAR_DOUBLE, "retrain_noise_scale", &retrain_noise_scale, 0},
    {VAR_DOUBLE, "prior_weight", &prior_weight, 0},
    {VAR_INT, "print_surg_models", &print_surg_models, 0},
    {VAR_INT, "print_all_models", &print_all_models, 0},
    {VAR_INT, "many_files", &many_files, 0},
    {VAR_INT, "keepannotations", &keepannotations, 0},
    {VAR_INT, "sequence_warning", &sequence_warning, 0},
    {VAR_INT, "auto_fim", &auto_fim, 0},
    {VAR_INT, "align_fim", &align_fim, 0},
    {VAR_INT, "train_reset_inserts", &train_reset_inserts, 0},
    {VAR_INT, "dump_parameters", &dump_parameters, 0},
    {VAR_INT, "verbose", &verbose, 0},
    {VAR_STRING, "modelguide", &modelguide, 0},
    {VAR_FILELIST, "db", &dblist, 0},
    {VAR_INT, "dblistcount", &dblistcount, 0},
    {VAR_FILELIST, "dbguide", &dbguidelist, 0},
    {VAR_INT, "dbguidelistcount", &dbguidelistcount, 0},
    {VAR_STRINGLIST, "id", &idlist, 0},
    {VAR_INT, "idlistcount", &idlistcount, 0},
    {VAR_STRINGLIST, "not_id", &notidlist, 0},
    {VAR_INT, "notidlistcount", &notidlistcount, 0},
    {VAR_DOUBLE, "synchweight", &synchweight, 0},
    {VAR_DOUBLE, "syncweight", &synchweight, 0},
    {VAR_STRING, "NLLfile", &NLLfile, 0},
    {VAR_STRING, "NLLfile2", &NLLfile2, 0},
    {VAR_STRING, "NLLfile1", &NLLfile, 0},
    {VAR_STRING, "distfile", &NLLfile, 0},
    {VAR_STRING, "distfile2", &NLLfile2, 0},
    {VAR_INT, "minmodlen", &minmodlen, 0},
    {VAR_INT, "maxmodlen", &maxmodlen, 0},
    {VAR_INT, "modellength", &modellength, 0},
    {VAR_INT, "model_abort_length", &model_abort_length, 0},
    {VAR_DOUBLE, "del_jump_conf", &del_jump_conf, 0},
    {VAR_DOUBLE, "match_jump_conf", &match_jump_conf, 0},
    {VAR_DOUBLE, "insert_jump_conf", &insert_jump_conf, 0},
    {VAR_DOUBLE, "ins_jump_conf", &insert_jump_conf, 0},
    {VAR_DOUBLE, "matchconf", &matchconf, 0},
    {VAR_DOUBLE, "insconf", &insconf, 0},
    {VAR_DOUBLE, "fimstrength", &fimstrength, 0},
    {VAR_DOUBLE, "fimtrans", &fimtrans, 0},
    {VAR_INT, "maxinserts", &maxinserts, 0},
    {VAR_DOUBLE, "mainline_cutoff", &mainline_cutoff, 0},
    {VAR_DOUBLE, "cutmatch", &cutmatch, 0},
    {VAR_DOUBLE, "cutinsert", &cutinsert, 0},
    {VAR_DOUBLE, "fracinsert", &fracinsert, 0},
    {VAR_DOUBLE, "cdel2prob", &cdel2prob, 0},
    {VAR_DOUBLE, "cdel1prob", &cdel1prob, 0},
    {VAR_INT, "SWtrain", &SWtrain, 0},
    {VAR_INT, "SW", &SW, 0},
    {VAR_INT, "SW_score", &SW, 0},
    {VAR_DOUBLE, "jump_in_prob", &jump_in_prob, 0},
    {VAR_DOUBLE, "jump_out_prob", &jump_out_prob, 0},
    {VAR_INT, "viterbi", &dpstyle, 0},
    {VAR_INT, "dpstyle", &dpstyle, 0},
    {VAR_INT, "NscoreSeq", &NscoreSeq, 0},
    {VAR_INT, "FIM_method_train", &FIM_method_train, 0},
    {VAR_INT, "Insert_method_train", &Insert_method_train, 0},
    {VAR_INT, "calibrate", &calibrate, 0},
    {VAR_DOUBLE, "NLLnull", &Score.NLLnull, 0},
    {VAR_DOUBLE, "mdNLLnull", &Score.mdNLLnull, 0},
    {VAR_DOUBLE, "mdNULLminusNULL", &Score.mdNLLnull, 0},
    {VAR_DOUBLE, "NLLcomplex", &Score.NLLcomplex, 0},
    {VAR_DOUBLE, "mdNLLcomplex", &Score.mdNLLcomplex, 0},
    {VAR_DOUBLE, "Emax", &Score.Emax, 0},
    {VAR_DOUBLE, "mdEmax", &Score.mdEmax, 0},
    {VAR_INT, "select_seq", &Score.select_seq, 0},
    {VAR_INT, "select_md", &Score.select_md, 0},
    {VAR_INT, "select_score", &Score.select_score, 0},
    {VAR_INT, "select_align", &Score.select_align, 0},
    {VAR_INT, "select_mdalign", &Score.select_mdalign, 0},
    {VAR_INT, "sort", &Score.sort, 0},
    {VAR_INT, "sort_scores", &Score.sort, 0},
    {VAR_INT, "subtract_null", &Score.subtract_null, 0},
    {VAR_DOUBLE, "simple_threshold", &Score.simple_threshold, 0},
    {VAR_DOUBLE, "calibrate_threshold", &Score.calibrate_threshold, 0},
    {VAR_DOUBLE, "viterbi_threshold", &Score.viterbi_threshold, 0},
    {VAR_INT, "FIM_method_score", &Score.FIM_method_score, 0},
    {VAR_INT, "Insert_method_score", &Score.Insert_method_score, 0},
    {VAR_INT, "adjust_score", &Score.adjust_score, 0},
    {VAR_INT, "adpstyle", &Score.adpstyle, 0},
    {VAR_DOUBLE, "Motifcutoff", &Score.Motifcutoff, 0},
    {VAR_INT, "alignshort", &Score.alignshort, 0},
    {VAR_INT, "dbsize", &Score.dbsize, 0},
    {VAR_INT, "multdomainshort", &Score.alignshort, 0},
    {VAR_STRING, "matrix", &Score.matrix, 0},
    {VAR_DOUBLE, "swlambda", &Score.swlambda, 0},
    {VAR_DOUBLE, "lambda", &Score.lambda, 0},
    {VAR_DOUBLE, "tau", &Score.tau, 0},
    {VAR_STRING, "query", &Score.query, 0},
    {VAR_INT, "gap", &Score.gap, 0},
    {VAR_INT, "continue", &Score.continue_, 0},
    {VAR_INT, "histbins", &histbins, 0},
    {VAR_DOUBLE, "plotmax", &plotmax, 0},
    {VAR_DOUBLE, "plotmin", &plotmin, 0},
    {VAR_DOUBLE, "plotleft", &plotleft, 0},
    {VAR_DOUBLE, "plotright", &plotright, 0},
    {VAR_INT, "plotps", &plotps, 0},
    {VAR_INT, "plotcolumn", &plotcolumn, 0},
    {VAR_INT, "plotnegate", &plotnegate, 0},
    {VAR_DOUBLE, "plotline", &plotline, 0},
    {VAR_INT, "binary_output", &binary_output, 0},
    {VAR_INT, "rdb", &rdb, 0},
    {VAR_INT, "segments", &segments, 0},
    {VAR_INT, "segment_number", &segment_number, 0},
    {VAR_INT, "segment_size", &segment_size, 0},
    {VAR_INT, "a2mdots", &a2mdots, 0},
    {VAR_INT, "aweight_method", &AWeight.aweight_method, 0},
    {VAR_DOUBLE, "aweight_bits", &AWeight.aweight_bits, 0},
    {VAR_DOUBLE, "aweight_exponent", &AWeight.aweight_exponent, 0},
    {VAR_DOUBLE, "percent_id", &percent_id, 0},
    {VAR_STRINGLIST, "constraints", &Constr.constraints, 0},
    {VAR_INT, "constraints_count", &Constr.constraints_count, 0},
    {VAR_STRING, "constraints_out", &Constr.constraints_out, 0},
    {VAR_INT, "constraints_from_align", &Constr.constraints_from_align, 0},
    {VAR_STRING, "align_constraints_out", &Constr.align_constraints_out, 0},
    {VAR_DOUBLE, "score_threshold", &score_threshold, 0},
    {VAR_STRING, "predict_seq", &predict_seq, 0},
    {VAR_INT, "maxmem", &maxmem, 0},
    {VAR_INT, "maxposdecodemem", &maxposdecodemem, 0},
    {VAR_INT, "use_vireon", &Vireon.use_vireon, 0},
    {VAR_STRING, "vireon_remote_db_dir", &Vireon.vireon_remote_db_dir, 0},
    {VAR_INT, "vireon_retry_cnt", &Vireon.vireon_retry_cnt, 0},
    {VAR_INT, "vireon_retry_time", &Vireon.vireon_retry_time, 0},
    {VAR_INT, "vireon_fallback", &Vireon.vireon_fallback, 0},
    {VAR_INT, "vireon_min_model_len", &Vireon.vireon_min_model_len, 0},
    {VAR_INT, "vireon_use_simulator", &Vireon.vireon_use_simulator, 0},
    {VAR_INT, "vireon_num_extra_pe", &Vireon.vireon_num_extra_pe, 0},
    {VAR_INT, "vireon_dual_mapping", &Vireon.vireon_dual_mapping, 0},
    {VAR_INT, "max_seq_length", &max_seq_length, 0},
    {VAR_INT, "standard", &standard, 0},
    {VAR_INT, "dump_match_probs", &dump_match_probs, 0},
    {VAR_STRING, "md_map", &md_map, 0},
    {VAR_STRING, "md_unselected_seqs", &md_unselected_seqs, 0},
    {VAR_INT, "debug_print", &debug_print, 0},
    {VAR_STRING, "trackcoeff", &trackcoeff, 0},
    {VAR_STRING, "trackmod", &trackmod, 0},
    {VAR_STRING, "trackprior", &trackprior, 0},
    {VAR_INT, "probseqmethod", &probseqmethod, 0},
    {VAR_STRINGLIST, "fisher_feature", &fisher_feature, 0},
    {VAR_INT, "fisher_feature_count", &fisher_feature_count, 0},
    {VAR_DOUBLE, "null_score_weight_scale", &null_score_weight_scale, 0},
    {VAR_INT, "write_dist", &write_dist, 0},
    {VAR_INT, "fraglen", &fraglen, 0},
    {VAR_INT, "numpermatch", &numpermatch, 0},
    {VAR_STRING, "firstsequence", &firstsequence, 0},
    {VAR_DOUBLE, "ppscale", &ppscale, 0},
    {VAR_DOUBLE, "pptrim", &pptrim, 0},
    {VAR_STRING, "logo_color_file", &logo_color_file, 0},
    {VAR_STRING, "logo_colors_file", &logo_color_file, 0},
    {VAR_STRING, "logo_under_color", &logo_under_color, 0},
    {VAR_STRING, "logo_under_colors", &logo_under_color, 0},
    {VAR_STRING, "logo_captionf_color", &logo_captionf_color, 0},
    {VAR_STRING, "logo_captionf_colors", &logo_captionf_color, 0},
    {VAR_INT, "logo_bw", &logo_bw, 0},
    {VAR_INT, "logo_bars_per_line", &logo_bars_per_line, 0},
    {VAR_INT, "logo_start_num", &logo_start_num, 0},
    {VAR_STRING, "logo_font", &logo_font, 0},
    {VAR_DOUBLE, "logo_sig_height", &logo_sig_height, 0},
    {VAR_STRING, "logo_title", &logo_title, 0},
    {VAR_STRING, "logo_title_font", &logo_title_font, 0},
    {VAR_DOUBLE, "logo_scale", &logo_scale, 0},
    {VAR_INT, "logo_auto_size", &logo_auto_size, 0},
    {VAR_STRING, "logo_under_file", &logo_under_file, 0},
    {VAR_STRING, "logo_sections", &logo_sections, 0},
    {VAR_STRING, "logo_captions", &logo_captions, 0},
    {VAR_STRING, "logo_captionf", &logo_captionf, 0},
    {VAR_INT, "logo_captionf_ignoreCL", &logo_captionf_ignoreCL, 0},
    {VAR_INT, "logo_captionf_numseq", &logo_captionf_numseq, 0},
    {VAR_STRING, "logo_savings", &logo_savings, 0},
    {VAR_INT, "logo_rel_entropy", &logo_rel_entropy, 0},
    {VAR_INT, "help", &help, 0},
    {VAR_STRING, "logo_savings_output", &logo_savings_output, 0},
    {VAR_END, nullptr, nullptr, 0},
};

// ---------------------------------------------------------------------------------------------
// Defaults
// ---------------------------------------------------------------------------------------------

void initialize_variables() {
    // Everything not named below starts as 0, none or an empty list.
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) {
        switch (v->type) {
            case VAR_INT: *(int *)v->value = 0; break;
            case VAR_DOUBLE: *(double *)v->value = 0.0; break;
            case VAR_MODEL: *(Rmodel **)v->value = nullptr; break;
            case VAR_INSERT:
            case VAR_INSERT_DNA:
            case VAR_INSERT_RNA:
            case VAR_INSERT_PROTEIN:
            case VAR_STRINGLIST:
            case VAR_FILELIST: *(char ***)v->value = nullptr; break;
            default: *(char **)v->value = nullptr; break;
        }
        v->set = 0;
    }

    trainseed = -1;
    random_seed = -1;
    Nmodels = 3;
    transweight = 1.0;
    sequence_models = 0.0;
    gs_mean_log_len = 5.4151;
    gs_sd_log_len = 1.03632564;
    weight_length = 0.0;
    weight_final = 1.0;
    weightmix_final = 0.0;
    internal_weight = 1;
    print_all_weights = 0;
    i_weight = 0.1;
    mix_weights = 0.0;
    offset = -15.0;
    weight_norm = 1;
    reglength = -1;
    rerun = -1;
    Nseq = 10000;
    reestimates = 40;
    stopcriterion = 0.1;
    nsurgery = 3;
    randomize = 5;
    anneal_length = 0.8;
    weightmix_length = 0.8;
    anneal_noise = 5.0;
    initial_noise = -1.0;
    surgery_noise_scale = 0.1;
    retrain_noise_scale = 0.1;
    prior_weight = 1.0;
    keepannotations = 1;
    auto_fim = 1;
    train_reset_inserts = 6;
    synchweight = 1.0;
    modellength = -1;
    model_abort_length = 10000;
    del_jump_conf = 1.0;
    match_jump_conf = 1.0;
    insert_jump_conf = 1.0;
    matchconf = 1.0;
    insconf = 10000.0;
    fimstrength = 1.0;
    fimtrans = 1.0;
    maxinserts = 100;
    mainline_cutoff = 0.5;
    cutmatch = 0.5;
    cutinsert = 0.5;
    fracinsert = 1.0;
    cdel2prob = 0.05;
    cdel1prob = 0.05;
    SWtrain = 2;
    SW = 2;
    jump_in_prob = 1.0;
    jump_out_prob = 1.0;
    dpstyle = 0;
    NscoreSeq = 1000000;
    FIM_method_train = -1;
    Insert_method_train = -1;

    Score.NLLnull = -10.0;
    Score.mdNLLnull = -10.0;
    Score.NLLcomplex = -10.0;
    Score.mdNLLcomplex = -10.0;
    Score.Emax = 0.01;
    Score.mdEmax = 0.01;
    Score.select_seq = 0;
    Score.select_md = 4;
    Score.select_score = 8;
    Score.select_align = 0;
    Score.select_mdalign = 0;
    Score.sort = 4;
    Score.subtract_null = 4;
    Score.simple_threshold = 10000.0;
    Score.calibrate_threshold = 0.0;
    Score.viterbi_threshold = 1000000.0;
    Score.FIM_method_score = -6;
    Score.Insert_method_score = 0;
    Score.adjust_score = 2;
    Score.adpstyle = 1;
    Score.Motifcutoff = 0.5;
    Score.alignshort = -1;
    Score.dbsize = 0;
    Score.matrix = str_dup("blosum62");
    Score.swlambda = 0.34657;
    Score.lambda = 1.0;
    Score.tau = 1.0;
    Score.query = nullptr;
    Score.gap = 12;
    Score.continue_ = 1;
    Score.users_null_model = nullptr;
    Score.model_length = -1;
    Score.FIM_method = 0;
    Score.Insert_method = 0;
    Score.negate = 0;

    histbins = 10;
    plotps = 1;
    plotcolumn = 3;
    segments = 1;
    segment_number = 1;
    segment_size = 1000;
    a2mdots = 1;
    AWeight.aweight_method = 1;
    AWeight.aweight_bits = 0.5;
    AWeight.aweight_exponent = 0.5;
    percent_id = 1.0;
    maxmem = 20000000;
    maxposdecodemem = 100000000;
    Vireon.vireon_fallback = 1;
    Vireon.vireon_dual_mapping = -1;
    max_seq_length = 2500;
    standard = 1;
    probseqmethod = 2;
    null_score_weight_scale = 10.0;
    fraglen = 10;
    numpermatch = 5;
    ppscale = 1.0;
    logo_start_num = 1;
    logo_font = str_dup("Courier");
    logo_sig_height = 1.0;
    logo_title_font = str_dup("Times-Roman");
    logo_scale = 20.0;
    logo_captionf_ignoreCL = 1;
    logo_captionf_numseq = 1;
    logo_rel_entropy = 1;
}

// ---------------------------------------------------------------------------------------------
// Table helpers
// ---------------------------------------------------------------------------------------------

static bool is_list_type(int type) {
    return (type >= VAR_INSERT && type <= VAR_INSERT_PROTEIN) || type == VAR_STRINGLIST ||
           type == VAR_FILELIST;
}

static bool is_string_type(int type) {
    return type == VAR_STRING || type == VAR_SEQFILE || type == VAR_PRIORFILE ||
           type == VAR_ALPHABET;
}

// The entry that holds the count of a list: the one right after the list's entry.
static bool is_count_entry(const ReadVar *v) {
    return v > read_vars && is_list_type(v[-1].type);
}

// True when any entry that shares the variable (an alias or the entry itself) has been set.
static bool any_alias_set(const ReadVar *entry) {
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->value == entry->value && v->set) return true;
    return false;
}

// True when any of the alphabet entries (alphabet, a, alphabet_def) has been set.
static bool any_alphabet_entry_set() {
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->type == VAR_ALPHABET && v->set) return true;
    return false;
}

static ReadVar *find_by_address(const void *value, const char *operation) {
    for (ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->value == value) return v;
    std::string msg =
        std::string("Internal error: ") + operation + " was given an unfound variable address";
    if (error_throws) throw FatalError{msg};
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", msg.c_str());
    std::fflush(stderr);
    std::abort();
}

int var_changed(const void *value) {
    return find_by_address(value, "var_changed")->set;
}

void mark_var_changed(const void *value) {
    find_by_address(value, "mark_var_changed")->set = 1;
}

void mark_var_same(const void *value) {
    find_by_address(value, "mark_var_same")->set = 0;
}

const char **var_names(const void *value) {
    find_by_address(value, "var_names");
    size_t n = 0;
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->value == value) n++;
    const char **names = (const char **)mem_alloc((n + 1) * sizeof(char *));
    size_t k = 0;
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (v->value == value) names[k++] = v->key;
    names[k] = nullptr;
    return names;
}

// ---------------------------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------------------------

// Reads an integer as "%d" would (leading blanks, sign, digits; the rest ignored), refusing a
// value outside the 32-bit range.
static bool parse_int_value(const char *text, int *out) {
    long v = 0;
    bool overflow = false;
    if (!scan_long(text, text + std::strlen(text), &v, &overflow) || overflow || v < INT_MIN ||
        v > INT_MAX)
        return false;
    *out = (int)v;
    return true;
}

// Reads a double as "%lf" would, refusing a value too large for a double.
static bool parse_double_value(const char *text, double *out) {
    double v = 0;
    bool overflow = false;
    if (!scan_double(text, text + std::strlen(text), &v, &overflow, C_FORMS) || overflow)
        return false;
    *out = v;
    return true;
}

// True for the variable of a plot-range parameter: check_plot_parameters refuses one that is not
// finite in single precision, with a message of its own.
static bool is_plot_range(const void *value) {
    for (const double *p : {&plotmin, &plotmax, &plotleft, &plotright, &plotline})
        if (value == p) return true;
    return false;
}

// Appends a value to a list entry (the count lives in the entry after it).
static void append_list_value(ReadVar *entry, const char *value) {
    char ***list = (char ***)entry->value;
    int *count = (int *)entry[1].value;
    if (*count >= MAX_LIST_VALUES)
        error("Only %d %s values can be specified.  Skipping %s.\n", MAX_LIST_VALUES, entry->key,
              shown_text(value).c_str());
    if (!*list) *list = (char **)mem_alloc(MAX_LIST_VALUES * sizeof(char *));
    (*list)[(*count)++] = str_dup(value);
}

// ---------------------------------------------------------------------------------------------
// Parameter files
// ---------------------------------------------------------------------------------------------

// Parameter files being read, outermost first, so that a file that includes itself (directly or
// through others) is refused instead of being read again and again.
static std::vector<std::string> files_being_read;

static std::string file_identity(const char *name) {
    struct stat st;
    if (stat(name, &st) == 0)
        return std::to_string((unsigned long long)st.st_dev) + ":" +
               std::to_string((unsigned long long)st.st_ino);
    return std::string("name:") + name;
}

// Parameter lines hold at most this many characters (the newline not counted).
static const size_t MAX_PARAMETER_LINE = 99999;

void read_init(const char *filename, int priority, int read_flags) {
    if (!filename || !*filename) return;
    std::string id = file_identity(filename);
    for (const std::string &other : files_being_read)
        if (other == id)
            error("Parameter file %s includes itself (directly or through other files).", filename);
    FILE *fp = open_read(filename, OPEN_FATAL | OPEN_REWIND);
    if (verbout) std::fprintf(verbout, "Reading parameter file %s\n", filename);
    // Leaves the stack of files and closes the stream also when a fatal error is thrown (test
    // and fuzz builds), so that a later read starts clean.
    struct Reading {
        FILE *fp;
        InputReader in;
        ~Reading() {
            files_being_read.pop_back();
            reader_free(&in);
            if (fp) std::fclose(fp);
        }
    };
    files_being_read.push_back(id);
    Reading reading{fp, InputReader()};
    std::string name(filename);  // the caller's text may be a list value released meanwhile
    reader_init(&reading.in, fp, name.c_str());
    int line_no = 0;
    char *line;
    size_t length;
    while (reader_line(&reading.in, &line, &length)) {
        line_no++;
        if (length > MAX_PARAMETER_LINE)
            error("%s(%d): line longer than %d characters.", name.c_str(), line_no,
                  (int)MAX_PARAMETER_LINE);
        // An empty line (its first byte the NUL in place of the newline) is skipped.
        unsigned char c = (unsigned char)line[0];
        if (std::isalpha(c) || is_space(c))
            process_init_entry(&reading.in, line, priority, name.c_str(), &line_no, read_flags);
    }
    reader_free(&reading.in);
    reading.fp = nullptr;
    close_read(fp);
}

// The location format "<source>(%d)" for the model reader, with any '%' of the name doubled.
static std::string location_format(const char *source) {
    std::string f;
    for (const char *p = source; *p; p++) {
        f += *p;
        if (*p == '%') f += '%';
    }
    return f + "(%d)";
}

static const int model_read_flag[4] = {READ_MODEL, READ_REGULARIZER, READ_FREQUENCIES,
                                       READ_NULLMODEL};

void process_init_entry(InputReader *in, const char *line_in, int priority, const char *source,
                        int *line_no, int read_flags) {
    // 1. Trim; ignore empty lines and comments.
    const char *b = line_in;
    const char *e = line_in + std::strlen(line_in);
    b = skip_space(b, e);
    while (e > b && is_space((unsigned char)e[-1])) e--;
    std::string line(b, e);
    if (line.empty() || line[0] == '%') return;

    // 2. The prefix of every message about the line.
    std::string prefix =
        std::string(source ? source : "") + "(" + std::to_string(line_no ? *line_no : 0) + "): ";
    const char *pre = prefix.c_str();

    // 3. Name and value.
    const char *name_text = line.c_str(), *line_end = name_text + line.size();
    size_t name_length = 0;
    const char *after_name = next_token(name_text, line_end, SPACE_SEPARATORS, &name_text,
                                        &name_length);  // the line is trimmed: a name stands first
    std::string name(name_text, name_length);
    std::string value(skip_space(after_name, line_end), line_end);
    const char *val = value.c_str();

    // 4. Find the entry.
    ReadVar *entry = nullptr;
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) {
        if (v->type == VAR_MODEL) {
            if (line.compare(0, std::strlen(v->key), v->key) == 0) {
                entry = v;
                break;
            }
        } else if (capscomp(name.c_str(), v->key) == 0) {
            entry = v;
            break;
        }
    }
    // A line end inside a line (a value pasted from the command line, or a lone CR in a file)
    // would go on into the parameter section of output files as a line of its own. The CR of a
    // CRLF line end was trimmed above with the rest of the line end.
    if (line.find_first_of("\r\n") != std::string::npos)
        error("%s The value of %s holds a line end (CR or LF)", pre,
              entry ? entry->key : shown_text(name).c_str());
    if (!entry) {
        std::fprintf(stderr, "%s Could not understand %s\n", pre, shown_text(line).c_str());
        return;
    }

    // 5. verbose switches the verbose stream at once, at any priority.
    if (entry->value == &verbose) {
        int v;
        if (!parse_int_value(val, &v))
            error("%s Incorrect type or missing value for %s\n", pre, entry->key);
        verbout = v ? stderr : nullptr;
    }

    // 6. Model sections.
    if (entry->type == VAR_MODEL) {
        if (!in) {
            std::fprintf(stderr, "%s Cannot specify %s here.\n", pre, entry->key);
            return;
        }
        int section = (int)(entry - read_vars);
        Rmodel **slot = (Rmodel **)entry->value;
        if ((read_flags & model_read_flag[section]) && (!entry->set || priority != 0)) {
            if (verbout) std::fprintf(verbout, "%s Reading %s\n", pre, shown_text(line).c_str());
            free_rmodel(slot);
            if (priority != PRIORITY_LIBRARY && entry->set)
                std::fprintf(stderr, "%s Note: Last %s specified will be used.\n", pre, entry->key);
            entry->set = 1;
            *slot = read_rmodel(in, source, line_no, line.c_str(), nullptr, nullptr, 0);
        } else {
            if (verbout) std::fprintf(verbout, "%s Skipping %s\n", pre, shown_text(line).c_str());
            skip_model(in, location_format(source ? source : "").c_str(), line_no);
        }
        return;
    }

    // 7. Every other entry needs a value.
    if (value.empty()) {
        std::fprintf(stderr, "%s Value not specified for %s\n", pre, shown_text(name).c_str());
        return;
    }

    // The counts of the lists follow their lists; they are not set from outside.
    if (is_count_entry(entry)) {
        std::fprintf(stderr, "%s %s counts the values of %s and cannot be set; ignored.\n", pre,
                     entry->key, entry[-1].key);
        return;
    }

    // At priority 0 a value set by any of its names is kept.
    bool set_before = priority == PRIORITY_USERFILE ? any_alias_set(entry) : entry->set != 0;

    switch (entry->type) {
        case VAR_INT:
        case VAR_DOUBLE:
            if (set_before && priority == PRIORITY_USERFILE) return;
            if (set_before && priority == PRIORITY_COMMAND)
                std::fprintf(stderr, "%s%s has already been set. Using %s.\n", pre, entry->key,
                             shown_text(val).c_str());
            if (entry->type == VAR_INT) {
                int v;
                if (!parse_int_value(val, &v))
                    error("%s Incorrect type or missing value for %s\n", pre, entry->key);
                *(int *)entry->value = v;
            } else {
                double v;
                if (!parse_double_value(val, &v))
                    error("%s Incorrect type or missing value for %s\n", pre, entry->key);
                // No setting takes a NaN or an infinity: refused before any use sees it, but for
                // the plot ranges, which their plotting checks against single precision.
                if (!std::isfinite(v) && !is_plot_range(entry->value))
                    error("%s Value %s for %s is not a finite number\n", pre, val, entry->key);
                *(double *)entry->value = v;
            }
            entry->set = 1;
            return;
        case VAR_STRING:
        case VAR_SEQFILE:
        case VAR_PRIORFILE: {
            if (set_before && priority == PRIORITY_USERFILE) return;
            if (set_before && priority == PRIORITY_COMMAND)
                std::fprintf(stderr, "%s%s has already been set.  Using %s.\n", pre, entry->key,
                             shown_text(val).c_str());
            char **str = (char **)entry->value;
            std::free(*str);
            *str = str_dup(val);
            entry->set = 1;
            return;
        }
        case VAR_INSERT:
        case VAR_INSERT_DNA:
        case VAR_INSERT_RNA:
        case VAR_INSERT_PROTEIN: {
            append_list_value(entry, val);
            entry->set = 1;
            int wanted_id = entry->type == VAR_INSERT_DNA       ? DNA_ALPHABET_ID
                            : entry->type == VAR_INSERT_RNA     ? RNA_ALPHABET_ID
                            : entry->type == VAR_INSERT_PROTEIN ? PROTEIN_ALPHABET_ID
                                                                : END_ALPHABET_ID;
            if (entry->type == VAR_INSERT || (alphabet && alphabet->id == wanted_id))
                read_init(val, priority, read_flags);
            return;
        }
        case VAR_ALPHABET:
            // The per-user file supplies an alphabet only when none was named by any of the
            // alphabet entries: -alphabet_def on the command line must not clash with an
            // "alphabet" default in .qorrc.
            if (priority != PRIORITY_USERFILE || !any_alphabet_entry_set()) {
                process_alphabet(line.c_str(), -1, pre);
                entry->set = 1;
            }
            return;
        case VAR_STRINGLIST:
        case VAR_FILELIST:
            entry->set = 1;
            append_list_value(entry, val);
            return;
        default: error("Illegal code (%d) in processes_init_entry.\n", entry->type);
    }
}

const char *find_seq_file() {
    for (const ReadVar *v = read_vars; v->type != VAR_END; v++) {
        if (v->type == VAR_SEQFILE) {
            const char *s = *(char *const *)v->value;
            if (s && *s) return s;
        } else if (v->type == VAR_FILELIST) {
            char **list = *(char **const *)v->value;
            int count = *(const int *)v[1].value;
            if (list && count > 0) return list[0];
        }
    }
    return nullptr;
}

void free_init() {
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) {
        if (is_list_type(v->type)) {
            char ***list = (char ***)v->value;
            int *count = (int *)v[1].value;
            if (*list) {
                for (int i = 0; i < *count; i++) std::free((*list)[i]);
                std::free(*list);
                *list = nullptr;
            }
            *count = 0;
        } else if (is_string_type(v->type)) {
            char **str = (char **)v->value;
            std::free(*str);
            *str = nullptr;
        }
    }
}

void reset_library_state() {
    free_init();
    initialize_variables();
    reset_alphabets();
    reset_fasta_warnings();
    reset_seqio_state();
    reset_modelio_state();
    reset_models_state();
    sort_direction = 1;
}

// ---------------------------------------------------------------------------------------------
// Writing parameters
// ---------------------------------------------------------------------------------------------

void list_strings(FILE *fp, char **values, int count, const char *key, const char *lead) {
    if (!lead) lead = "";
    size_t head = std::strlen(lead) + std::strlen(key);
    std::fprintf(fp, "%s%s", lead, key);
    if (count < 0) {
        int n = -count;
        for (int i = 0; i < n; i++) {
            if (i > 0) std::fprintf(fp, "\n%s%s", lead, key);
            std::fprintf(fp, " %s", values[i]);
        }
    } else {
        size_t used = head;
        for (int i = 0; i < count; i++) {
            size_t len = std::strlen(values[i]);
            if (i > 0 && used + len > 70) {
                std::fprintf(fp, "\n%s%s", lead, key);
                used = head;
            }
            std::fprintf(fp, " %s", values[i]);
            used += 1 + len;
        }
    }
    std::fputc('\n', fp);
}

void print_init(FILE *fp, int all, int comment_all, int binary) {
    ReadVar *nm = find_by_address(&Nmodels, "print_init");
    if (nm->set) nm->set = 2;
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) {
        if (is_count_entry(v)) continue;
        if (!all && !v->set) continue;
        const char *pre = (v->set == 2 || comment_all) ? "% " : "";
        switch (v->type) {
            case VAR_INT: std::fprintf(fp, "%s%s %d\n", pre, v->key, *(int *)v->value); break;
            case VAR_DOUBLE:
                std::fprintf(fp, "%s%s %lf\n", pre, v->key, *(double *)v->value);
                break;
            case VAR_STRING:
            case VAR_SEQFILE:
            case VAR_PRIORFILE:
            case VAR_ALPHABET: {
                const char *s = *(char **)v->value;
                std::fprintf(fp, "%s%s %s\n", pre, v->key, s ? s : "");
                break;
            }
            case VAR_INSERT:
            case VAR_INSERT_DNA:
            case VAR_INSERT_RNA:
            case VAR_INSERT_PROTEIN:
                list_strings(fp, *(char ***)v->value, -*(int *)v[1].value, v->key, "%");
                break;
            case VAR_STRINGLIST:
            case VAR_FILELIST:
                list_strings(fp, *(char ***)v->value, -*(int *)v[1].value, v->key,
                             v->value == &Constr.constraints ? "% " : "");
                break;
            case VAR_MODEL:
                if (v->value == &base_regularizer && !comment_all && base_regularizer)
                    nice_print_rmodel(fp, base_regularizer, "REGULARIZER", "Initial regularizer",
                                      nullptr, binary);
                break;
            default:
                std::fprintf(stderr, "Unkown type in init:print_init: %d name: %s\n", v->type,
                             v->key);
        }
    }
}

void dump_params(const char *banner, const char *run_name) {
    if (!run_name) run_name = "default";
    if (verbout) std::fprintf(verbout, "Dumping parameters to file %s.params\n", run_name);
    FILE *fp = prepare_statfile(run_name, banner, ".params");
    stat_print_time(fp);
    std::fprintf(fp, "%% ---------------------------------------------------------------------\n");
    print_init(fp, 1, 0, binary_output);
    close_outputfile(fp);
}

int print_reg_if_changed(FILE *fp, int force, const char *title, int binary) {
    if (!base_regularizer || !(force || var_changed(&base_regularizer))) return 0;
    return nice_print_rmodel(fp, base_regularizer, "REGULARIZER", title, nullptr, binary);
}

// ---------------------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------------------

// A raw model whose only node is a GENERIC node made from the current alphabet's regularizers.
static Rmodel *regularizer_from_current_alphabet() {
    check_alphabet(nullptr);
    Rmodel *r = alloc_rmodel(nullptr);
    Node *node = alloc_node();
    for (int k = 0; k < 3; k++) {
        node->djump[k] = alphabet->trans_reg[k];
        node->mjump[k] = alphabet->trans_reg[3 + k];
        node->ijump[k] = alphabet->trans_reg[6 + k];
    }
    int a = (node->nparams - 9) / 2;
    for (int k = 0; k < a; k++) {
        node->match[k] = alphabet->match_reg[k];
        node->insert[k] = alphabet->insert_reg[k];
    }
    r->generic = node;
    return r;
}

Rmodel *make_base_regularizer(int track) {
    if (track < 0 || track >= MAX_ALPHABET_TRACKS || !alphabets[track])
        error("make_base_regularizer: track %d has no alphabet", track);
    ScopedAlphabet current(alphabets[track]);
    return regularizer_from_current_alphabet();
}

// True when the file can be opened for reading as a plain file (no decompression fallback).
static bool plain_file_opens(const std::string &path) {
    FILE *fp = std::fopen(path.c_str(), "r");
    if (!fp) return false;
    struct stat st;
    bool ok = fstat(fileno(fp), &st) == 0 && !S_ISDIR(st.st_mode);
    std::fclose(fp);
    return ok;
}

void read_default_inits(int make_default_reg, std::string *note, int read_flags) {
    if (note) note->clear();

    // Exactly one per-user parameter file, at the lowest priority.
    std::string userfile;
    const char *qorrc = std::getenv("QORRC");
    if (qorrc && !*qorrc) {
        // Set to an empty value: no per-user file at all (a way to run without one).
    } else if (qorrc) {
        userfile = qorrc;
        if (note)
            *note = "%\n%  Additional default parameters from QORRC =\n%\t" + userfile + "\n%\n";
        else if (verbout)
            std::fprintf(verbout, "Reading default parameters from QORRC=%s\n", qorrc);
    } else if (plain_file_opens(".qorrc")) {
        std::string dir = current_directory(".");
        userfile = dir + "/.qorrc";
        if (note)
            *note = "%\n%  Additional default parameters from\n%\t" + dir + "/.qorrc\n%\n";
        else if (verbout)
            std::fprintf(verbout, "Reading default parameters from %s/.qorrc\n", dir.c_str());
    } else {
        const char *home = std::getenv("HOME");
        if (home) {
            std::string path = std::string(home) + "/.qorrc";
            if (plain_file_opens(path)) {
                userfile = path;
                if (note)
                    *note = "%\n%  Additional default parameters from\n%\t" + path + "\n%\n";
                else if (verbout)
                    std::fprintf(verbout, "Reading default parameters from %s\n", path.c_str());
            }
        }
    }
    if (!userfile.empty()) read_init(userfile.c_str(), PRIORITY_USERFILE, read_flags);

    // Model files named by parameters.
    if (read_flags & (READ_MODEL | READ_MODEL_FILE))
        read_first_rmodel(model_file, "initial model", 0, &base_model, RMODEL_FATAL);
    if (read_flags & READ_REGULARIZER)
        read_first_rmodel(regularizer_file, "regularizer", 0, &base_regularizer, RMODEL_FATAL);
    if (read_flags & READ_NULLMODEL)
        read_first_rmodel(nullmodel_file, "null model", 0, &users_null, RMODEL_FATAL);

    // The default regularizer, from the alphabet.
    if (make_default_reg && !base_regularizer)
        base_regularizer = regularizer_from_current_alphabet();

    if (mainline_cutoff != 0.5) {
        cutmatch = mainline_cutoff;
        cutinsert = mainline_cutoff;
    }

    // Seeds.
    if (random_seed == -1) random_seed = (int)getpid();
    srandom((unsigned)random_seed);
    find_by_address(&random_seed, "read_default_inits")->set = 2;
    if (trainseed == -1) {
        trainseed = (int)getpid();
        find_by_address(&trainseed, "read_default_inits")->set = 2;
    }
}

static void print_usage_line(const char *program) {
    std::fprintf(stderr, "Usage: %s run_name [-option value]*\n", program);
}

static void run_usage(void (*usage)()) {
    if (usage)
        usage();
    else
        std::fprintf(stderr, "Please see the QOR documentation for help.\n");
}

// Ends the run after a malformed command line: the message, the usage line and the program's
// usage text, status 1.
[[noreturn]] static void command_line_failure(const std::string &message, const char *program,
                                              void (*usage)()) {
    std::fflush(stdout);
    std::fputs(message.c_str(), stderr);
    print_usage_line(program);
    if (usage) usage();
    std::fflush(stderr);
    std::exit(1);
}

std::string program_banner(const char *program) {
    return std::string("QOR: ") + (program ? program : "") + " v" + QOR_VERSION + " " +
           QOR_RELEASE_DATE + " compiled " + QOR_BUILD_STAMP;
}

static bool is_set_text(const char *s) {
    return s && *s;
}

void basic_command_line(char **argv, int argc, std::string &run_name, std::string *note,
                        int read_flags, int required_flags, const char *banner, void (*usage)()) {
    static bool started = false;
    verbout = stderr;
    // A write past a file-size limit then fails like any other (and the output is removed with
    // "Could not write"), instead of the signal killing the run and leaving half a file.
    std::signal(SIGXFSZ, SIG_IGN);
    check_stdout_on_exit();
    if (started) error("basic_command_line called twice!");
    started = true;
    if (!banner) banner = "";
    const char *program = (argc > 0 && argv[0]) ? argv[0] : "qor";

    initialize_variables();
    init_alphabets();

    // Special forms.
    if (argc <= 1) {
        std::fprintf(stderr, "%s\n", banner);
        print_usage_line(program);
        run_usage(usage);
        std::exit(1);
    }
    if (argc == 2 && std::strcmp(argv[1], "-v") == 0) {
        std::printf("%s\n", banner);
        flush_outputfile(stdout);
        std::exit(0);
    }
    if (argc == 2 && std::strcmp(argv[1], "-h") == 0) {
        std::printf("%s\n", banner);
        flush_outputfile(stdout);
        run_usage(usage);
        std::exit(0);
    }
    if (argc == 3 && capscomp(argv[1], "-dump_parameters") == 0 && std::strcmp(argv[2], "2") == 0) {
        dump_params(banner, "default");
        flush_outputfile(stdout);
        std::exit(0);
    }

    run_name = argv[1];
    // The run name names every output file and goes into their comment headers.
    if (run_name.find_first_of("\r\n") != std::string::npos)
        error("The run name holds a line end (CR or LF)");

    // Option pairs at command-line priority.
    for (int i = 2; i < argc; i += 2) {
        const char *option = argv[i];
        if (option[0] != '-')
            command_line_failure(std::string("Option ") + option + " is missing a leading hyphen\n",
                                 program, usage);
        if (i + 1 >= argc)
            command_line_failure(std::string("Option ") + option + " is missing its value\n",
                                 program, usage);
        std::string line = std::string(option + 1) + " " + argv[i + 1];
        if (line.size() > MAX_PARAMETER_LINE)
            error("Option %s: option and value longer than %d characters.", option,
                  (int)MAX_PARAMETER_LINE);
        line += "\n";
        int position = i - 2;
        process_init_entry(nullptr, line.c_str(), PRIORITY_COMMAND, "Command line option",
                           &position, read_flags);
    }

    if (verbout) std::fprintf(verbout, "%s\n", banner);

    // Background files named so far (the per-user file is read only below).
    for (int i = 0; i < alphbackfilecount; i++) {
        FILE *fp = open_read(alphbackfile[i], OPEN_FATAL);
        process_alphabet_backfile(fp, alphbackfile[i]);
        close_read(fp);
    }

    read_default_inits(required_flags & REQUIRE_REGULARIZER, note, read_flags);

    // Default prior library by alphabet.
    if (alphabet && !var_changed(&prior_library) && !is_set_text(prior_library)) {
        char **from = nullptr;
        if (alphabet->id == PROTEIN_ALPHABET_ID)
            from = &protein_prior;
        else if (alphabet->id == DNA_ALPHABET_ID || alphabet->id == RNA_ALPHABET_ID)
            from = &nucleotide_prior;
        if (from && is_set_text(*from)) {
            std::free(prior_library);
            prior_library = str_dup(*from);
            if (var_changed(from)) mark_var_changed(&prior_library);
        }
    }

    // Required models: only the first failure is reported.
    bool failed = true;
    if ((required_flags & REQUIRE_ANY_MODEL) && !base_model && !is_set_text(Score.query) &&
        !is_set_text(trackmod) && !is_set_text(model_library)) {
        std::fprintf(stderr, "This program requires a QOR model specified as either\n");
        std::fprintf(stderr, "-i file, which contains a %s, or\n", "MODEL");
        std::fprintf(stderr, "-model_file file, where file contains any model structure, or\n");
        std::fprintf(stderr, "-trackmod file1,file2,..., for a multitrack model, or\n");
        std::fprintf(stderr, "-query sequencefile   for a Smith and Waterman query model.\n");
    } else if ((required_flags & REQUIRE_MODEL) && !base_model) {
        std::fprintf(stderr, "This program requires a QOR model specified as either\n");
        std::fprintf(stderr, "-i file, while file contains a %s, or\n", "MODEL");
        std::fprintf(stderr, "-model_file file, where file contains any model structure, or\n");
    } else if ((required_flags & REQUIRE_REGULARIZER) && !base_regularizer) {
        std::fprintf(stderr, "This program requires a QOR regularizer specified as either\n");
        std::fprintf(stderr, "-i file, while file contains a %s, or\n", "REGULARIZER");
        std::fprintf(stderr, "-regularizer_file file, where file contains any model structure.\n");
    } else if ((required_flags & REQUIRE_NULLMODEL) && !users_null) {
        std::fprintf(stderr,
                     "This program requires a QOR complex null model specified as either\n");
        std::fprintf(stderr, "-i file, while file contains a %s, or\n", "NULLMODEL");
        std::fprintf(stderr, "-nullmodel_file file, where file contains any model structure.\n");
    } else if (required_flags & ~0x5f) {
        std::fprintf(stderr,
                     "basic_command_line was called with an illegal required model (0x%x).\n",
                     (unsigned)required_flags);
    } else {
        failed = false;
    }

    // The experimental codon alphabet.
    if (alphabet && alphabet->id == CODON_ALPHABET_ID) {
        std::fprintf(stderr, "Resetting parameters for experimental codon alphabet\n");
        std::fprintf(stderr, "Nmodels 1, seq_models = 0\n");
        std::fprintf(stderr, "Settings for evalues & null scores not yet studied.\n");
        std::fprintf(stderr, "Character regularizer for codons always\n");
        std::fprintf(stderr, "taken from the alphabet node.  Use -alphbackfile to set.\n");
        Nmodels = 1;
        sequence_models = 0.0;
        mark_var_changed(&Nmodels);
        mark_var_changed(&sequence_models);
    }

    if (failed) {
        if (usage) usage();
        std::fflush(stdout);
        std::exit(1);
    }
}
