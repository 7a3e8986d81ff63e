// Null-model scoring and the drivers of the dynamic-programming engine over sequence sets: the
// simple score (raw minus null plus the length adjustment), the second score of the null-model
// kind chosen by subtract_null (reverse sequence, user's null model, scaled) and its E-value,
// one expectation step over a set (EM_loop), scoring of a set with a single-best-path prefilter
// (score_EM_loop), the alignment of sequences one by one or as a set, the preparation of the
// user's null model, and the score-file lines that describe a run.
//
// Track models, coefficients and count are what init_forward2_tracks takes: an array of Model
// pointers (one per sequence track), their coefficients (null: one track of coefficient 1.0)
// and the number of tracks.
#ifndef QOR_EMLOOP_H
#define QOR_EMLOOP_H

#include <cstdio>

struct Model;
struct Rmodel;
struct Sequence;
struct SequenceTable;
struct SeqInfo;
struct ScoreParams;
struct Stat;

// The alignment settings stored by setup_alignment and align_sequences and read by
// align_one_sequence (the instance align_settings, defined in emloop.cpp).
struct AlignSettings {
    Model **align_tmod = nullptr;    // track models (not owned)
    float *align_trcoeff = nullptr;  // track coefficients (not owned), or null
    int align_tracks = 0;            // track count
    int align_maxl = 0;              // longest sequence length
    int align_sw = 0;                // scoring mode
    int align_dpstyle = 1;           // 1 (best path), 4, 5 or 8
    float align_jumpin = 1.0f;       // jump-in probability
    float align_jumpout = 1.0f;      // jump-out probability
    int align_pseqmeth = 0;          // profile-column method
};
extern AlignSettings align_settings;

// The simple score of a sequence with the given raw score: 1000000 (unset) when raw is unset,
// else raw - base_null_score + score_adjustment(adjust_kind, sequence length, length of track
// model 0).
double null_mod_score(Model **models, const float *coeffs, int count, const Sequence *seq,
                      int adjust_kind, double raw);

// Checks score->subtract_null and prepares the user's null model. Sets score->model_length to
// the model's length; 2 becomes 4 and values outside 0..5 become 1, each with its message on
// standard error. With permission 1, or kinds 0 and 1, kind 3 takes score->users_null_model
// when set, else process_rmodel of *null_models (consumed; auto_fim_mode and sw as given; notes
// receives its comment lines), else a three-line warning and kind 1. With another permission,
// kinds 3, 4 and 5 become 1 silently. unused is not read.
void setup_nullmod(FILE *notes, int auto_fim_mode, int sw, Model *model, Rmodel **null_models,
                   void *unused, ScoreParams *score, int permission);

// Writes the description of a scoring run: the DP methods, sequence and residue counts, times
// and the significance line to scorefile (when given, with info), the database line to
// infostream (when given, with info), and the simple_threshold warning to standard error. For
// kinds 4 and 5 sets score->dbsize to the sequence count when it is 0 or less. Negative
// elapsed or processor seconds are not written. Fatal: "print_score_info called without Score
// settings".
void print_score_info(FILE *infostream, FILE *scorefile, const SeqInfo *info, ScoreParams *score,
                      int style, int adpstyle, double elapsed, double processor);

// Called by EM_loop after each sequence with the user data, the sequence (its raw score set),
// the sequence's expected counts and the raw score; it may change the sequence's raw score.
typedef void (*EMCallback)(void *user, Sequence *seq, Model *counts, float raw);

// One expectation step: clears the candidate count models in range (all K when c < 0, else
// candidate c), runs every sequence of the table through forback2 and adds its expected counts
// into each candidate in range, weighted by the sequence's family weight of that candidate (1
// without weights); with c >= 0 a sequence whose weight c is 0 is skipped. Stores each
// sequence's raw and simple scores (simple with adjust_kind); adds the simple scores to stat
// (optional); adds raw x weight to (*sums)[i] (allocated with K values when *sums is null; the
// caller frees it). A sequence without a score (saturated) is not counted. Returns, with
// counter, the sum of the raw scores (*counter = sequences counted); without it their mean (0
// for none). count_factor is not read. Releases the engine at the end.
float EM_loop(SequenceTable *table, Model **models, const float *coeffs, int count,
              Model **candidates, int K, double count_factor, double jump_in, double jump_out,
              int c, float **sums, int style, int pseqmethod, int sw, Stat *stat, int adjust_kind,
              int counted_track, EMCallback callback, void *user, int *counter);

// Scores every sequence of the table (raw, simple, and for kinds 3, 4 and 5 the second score
// and E-value), with the single-best-path prefilter when score->viterbi_threshold is set.
// Sequences whose raw or second score is already set are not rescored. The user's null model is
// scored in style given_style, also when the raw scores take the alignment style (level 3, scoring
// style 0 with posterior-decoded alignments). Returns the mean of the
// simple scores (a sequence stopped by the prefilter counting with its prefilter simple score);
// sequences without any score are left out of the mean. Leaves the engine set up.
// Fatal: "Score_EM_loop called without model".
float score_EM_loop(SequenceTable *table, Model **models, const float *coeffs, int count,
                    ScoreParams *score, const SeqInfo *info, double jump_in, double jump_out,
                    int given_style, int pseqmethod, int sw);

// Releases the engine.
void cleanup_EM_loop();

// Stores the alignment settings (a style other than 1, 4, 5 and 8 becomes 1) and sets the
// engine up with them at traceback level 2. The model list and coefficients are kept, not
// copied: they must stay valid while align_one_sequence may still be called.
void setup_alignment(Model **models, float *coeffs, int count, int maxlen, int sw, int style,
                     double jump_in, double jump_out, int pseqmethod);

// Aligns one sequence with the stored settings (its alignment code is written). With score,
// stores the raw and simple scores and, for kinds 3, 4 and 5, the second score and E-value, and
// returns the simple score; returns 0 for a null sequence or a null score.
float align_one_sequence(Sequence *seq, ScoreParams *score);

// Aligns every sequence of the table (stored settings, N the longest sequence); with score
// stores raw and simple scores and returns the mean simple score, else returns 0. keep set:
// the FIM delete of automatically added FIMs stays in the alignment code. An empty table: a
// warning and 0. The model list is kept as setup_alignment keeps it.
float align_sequences(Model **models, float *coeffs, int count, SequenceTable *table,
                      ScoreParams *score, int sw, double jump_in, double jump_out, int style,
                      int pseqmethod, int counted_track, int keep);

#endif
