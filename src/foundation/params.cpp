// The parameter table, the parameter globals and their defaults, and the operations on the table.
#include "foundation/params.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/errors.h"

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

bool is_count_entry(const ReadVar *v) {
    return v > read_vars && is_list_type(v[-1].type);
}

ReadVar *find_read_var(const void *value, const char *operation) {
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
    return find_read_var(value, "var_changed")->set;
}

void mark_var_changed(const void *value) {
    find_read_var(value, "mark_var_changed")->set = 1;
}

void mark_var_same(const void *value) {
    find_read_var(value, "mark_var_same")->set = 0;
}

const char **var_names(const void *value) {
    find_read_var(value, "var_names");
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
// Release
// ---------------------------------------------------------------------------------------------

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
