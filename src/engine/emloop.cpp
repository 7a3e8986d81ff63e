// Null-model scoring and the expectation-step and alignment drivers of the engine.

#include "engine/emloop.h"

#include <cmath>
#include <cstdlib>

#include "models/codon.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "scorefiles/seqio_report.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "engine/stat.h"

AlignSettings align_settings;

namespace {

// Traceback levels of init_forward2_tracks.
enum { TB_NONE = 0, TB_COUNTS = 1, TB_ALIGN = 2, TB_POSTERIOR = 3 };

inline bool is_unset(double v) {
    return v == SCORE_UNSET;
}

int longest_sequence(const SequenceTable *table) {
    int n = 0;
    if (!table) return 0;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i] && table->seqs[i]->len > n) n = table->seqs[i]->len;
    return n;
}

// A style the alignment drivers accept: 1, 4, 5 or 8; anything else becomes 1.
int alignment_style(int style) {
    return (style == DP_VITERBI || style == DP_POSDECODE_ALIGN || style == DP_POSDECODE_ZTRANS ||
            style == DP_FIVESTATE)
               ? style
               : DP_VITERBI;
}

// The reverse-sequence (kind 4) or scaled (kind 5) second score with the engine as set up, and
// the E-value. A sequence without a raw score, or whose reverse saturates, gets no second score.
void reverse_second_score(Sequence *seq, ScoreParams *score, Model **models, const float *coeffs,
                          int count) {
    float second = SCORE_UNSET;
    if (!is_unset(seq->raw_score)) {
        reverse_sequence(seq);
        float rev = forward_score(seq);
        reverse_sequence(seq);
        if (!is_unset(rev)) second = seq->raw_score - rev;
    }
    if (score->subtract_null == NULL_SCALED && !is_unset(second)) {
        double null = base_null_score(models, coeffs, count, seq);
        // A sequence with a null score of 0 (no residues) has no scaled score.
        second = null != 0 ? static_cast<float>(second * seq->len / null) : SCORE_UNSET;
    }
    seq->second_score = second;
    evalue_calc(seq, score);
}

// raw - the score under the user's null model (the engine set up for it alone).
float user_null_second(const Sequence *seq) {
    if (is_unset(seq->raw_score)) return SCORE_UNSET;
    float u = forward_score(const_cast<Sequence *>(seq));
    return is_unset(u) ? SCORE_UNSET : seq->raw_score - u;
}

}  // namespace

double null_mod_score(Model **models, const float *coeffs, int count, const Sequence *seq,
                      int adjust_kind, double raw) {
    if (is_unset(raw)) return SCORE_UNSET;
    return raw - base_null_score(models, coeffs, count, seq) +
           score_adjustment(adjust_kind, seq->len, models[0]->length);
}

void setup_nullmod(FILE *notes, int auto_fim_mode, int sw, Model *model, Rmodel **null_models,
                   void * /*unused*/, ScoreParams *score, int permission) {
    if (!score) return;
    if (model) score->model_length = model->length;
    if (score->subtract_null == NULL_COMPLEX) {
        fprintf(stderr,
                "Complex null model (subtract_null = %d) no longer supported.\nUse reverse "
                "sequence or users null model for better results.\n",
                NULL_COMPLEX);
        fprintf(stderr, "Reseting subtract_null to %d (reverse null model).\n", NULL_REVERSE);
        score->subtract_null = NULL_REVERSE;
    }
    if (score->subtract_null > NULL_SCALED || score->subtract_null < 0) {
        fprintf(stderr, "Bad value for subtract_null (%d), using SIMPLE (%d)\n",
                score->subtract_null, NULL_SIMPLE);
        score->subtract_null = NULL_SIMPLE;
    }
    int kind = score->subtract_null;
    if (permission == 1 || kind == NULL_RAW || kind == NULL_SIMPLE) {
        if (kind != NULL_USER || score->users_null_model) return;
        if (null_models && *null_models) {
            score->users_null_model =
                process_rmodel(null_models, auto_fim_mode, sw, nullptr, 0, notes);
            return;
        }
        fprintf(stderr, "Warning:  User null selected (subtract_null = %d), but\n no", NULL_USER);
        fprintf(stderr, "          null model (%s-type model or -nullmodel_file) found.\n",
                "NULLMODEL");
        fprintf(stderr, "          Using simple null model.\n");
        score->subtract_null = NULL_SIMPLE;
        return;
    }
    if (kind == NULL_USER || kind == NULL_REVERSE || kind == NULL_SCALED)
        score->subtract_null = NULL_SIMPLE;
}

void print_score_info(FILE *infostream, FILE *scorefile, const SeqInfo *info, ScoreParams *score,
                      int style, int adpstyle, double elapsed, double processor) {
    if (!score) error("print_score_info called without Score settings");
    int nseqs = info ? info->count : 0;
    double residues = info ? info->sum : 0;
    if (info && scorefile) {
        const char *name;
        switch (style) {
            case DP_VITERBI: name = "viterbi single-path"; break;
            case DP_POSDECODE: name = "posterior decoding "; break;
            case DP_POSDECODE_ALIGN: name = " posterior decoded alignment (trans/emission)"; break;
            case DP_POSDECODE_ZTRANS: name = "posterior decoded alignment (emission only)"; break;
            default: name = "forward all-paths"; break;
        }
        fprintf(scorefile, "%% Score DP Method: %s (dpstyle = %d)\n", name, style);
        switch (adpstyle) {
            case DP_POSDECODE_ALIGN: name = " posterior decoded alignment (trans/emission)"; break;
            case DP_POSDECODE_ZTRANS: name = "posterior decoded alignment (emission only)"; break;
            default: name = "viterbi"; break;
        }
        fprintf(scorefile, "%% Align DP Method: %s (adpstyle = %d)\n", name, adpstyle);
        fprintf(scorefile, "%% %d sequence%s, %1.0f residue%s", nseqs,
                (nseqs == 1 || nseqs == -1) ? "" : "s", residues,
                (residues == 1 || residues == -1) ? "" : "s");
        fprintf(scorefile, ", %d nodes", score->model_length);
        if (elapsed >= 0)
            fprintf(scorefile, ", %.2f seconds\n", elapsed);
        else
            fputc('\n', scorefile);
        if (processor >= 0)
            fprintf(scorefile, "%% Time on the Vireon parallel processor: %gs\n", processor);
    }
    if (info && infostream)
        fprintf(infostream, "Database has %d sequence%s with %1.0f residues.\n", nseqs,
                (nseqs == 1 || nseqs == -1) ? "" : "s", residues);
    int kind = score->subtract_null;
    if (score->simple_threshold < score->NLLnull && (kind == NULL_RAW || kind == NULL_SIMPLE)) {
        fprintf(stderr, "Warning:  simple_threshold (%5.2f) < NLLnull (%5.2f)\n",
                score->simple_threshold, score->NLLnull);
        fprintf(stderr, "  The threshold sets when a complex null model is calculated\n");
        fprintf(stderr, "  based on the simple null model.  The NLLnull parameter\n");
        fprintf(stderr, "  is used for selecting based on the simple null model\n");
    }
    if (info && scorefile) {
        if (kind != NULL_REVERSE && kind != NULL_SCALED) {
            fprintf(scorefile,
                    "%% Use reverse-sequence null model scoring to generate E-values.\n");
            if (residues >= 1) {
                double l = std::log(residues);
                fprintf(scorefile,
                        "%% Approx 0.01 significance at <= ln(0.01)-ln(%.0f)= -4.6 - %4.1f = "
                        "%-5.1f\n",
                        residues, l, -4.6 - l);
            } else {
                fprintf(scorefile, "%% No residues scored: no significance level.\n");
            }
        } else if (score->dbsize <= 0) {
            score->dbsize = nseqs;
        }
    }
}

float EM_loop(SequenceTable *table, Model **models, const float *coeffs, int count,
              Model **candidates, int K, double /*count_factor*/, double jump_in, double jump_out,
              int c, float **sums, int style, int pseqmethod, int sw, Stat *stat, int adjust_kind,
              int counted_track, EMCallback callback, void *user, int *counter) {
    if (!models || !models[0]) error("EM_loop called without model");
    static const float one = 1.0f;
    if (!coeffs || count == 0) {
        coeffs = &one;
        count = 1;
    }
    if (K < 1) K = 1;
    if (sums && !*sums) *sums = static_cast<float *>(mem_alloc(sizeof(float) * (size_t)K));
    int first = c < 0 ? 0 : c;
    int last = c < 0 ? K - 1 : c;
    if (c >= K) error("EM_loop: candidate %d of %d", c, K);
    const Model *track0 = models[0];
    Model *scratch = alloc_model(track0->length);
    for (int i = first; i <= last; i++) {
        init_model(candidates[i], 0);
        codonregsettypes(candidates[i], track0);
        if (sums) (*sums)[i] = 0;
    }
    init_forward2_tracks(models, coeffs, count, longest_sequence(table), sw, style, jump_in,
                         jump_out, pseqmethod, TB_COUNTS, nullptr);
    double total = 0;
    int used = 0;
    for (int s = 0; table && s < table->count; s++) {
        Sequence *seq = table->seqs[s];
        if (!seq) continue;
        if (c >= 0 && seq->weights && seq->weights[c] == 0) continue;
        init_model(scratch, 0);
        codonregsettypes(scratch, track0);
        float raw = forback2(seq, scratch, counted_track);
        seq->raw_score = raw;
        if (callback) {
            callback(user, seq, scratch, raw);
            raw = seq->raw_score;
        }
        seq->simple_score =
            static_cast<float>(null_mod_score(models, coeffs, count, seq, adjust_kind, raw));
        // A saturated sequence has no score and gave no counts.
        if (is_unset(raw)) continue;
        used++;
        total += raw;
        if (stat) StatAdd(stat, seq->simple_score);
        for (int i = first; i <= last; i++) {
            double w = seq->weights ? seq->weights[i] : 1.0;
            increment_model(candidates[i], scratch, w);
            if (sums) (*sums)[i] += static_cast<float>(raw * w);
        }
    }
    free_model(scratch);
    free_forward2();
    if (counter) {
        *counter = used;
        return static_cast<float>(total);
    }
    return used ? static_cast<float>(total / used) : 0.0f;
}

float score_EM_loop(SequenceTable *table, Model **models, const float *coeffs, int count,
                    ScoreParams *score, const SeqInfo *info, double jump_in, double jump_out,
                    int given_style, int pseqmethod, int sw) {
    if (!models || !models[0]) error("Score_EM_loop called without model");
    if (!table || !score) return 0;
    int N = info ? info->max_len : longest_sequence(table);
    int level = TB_NONE, style = given_style;
    if (score->select_align == SELECT_ALL) {
        bool align_style = given_style == score->adpstyle &&
                           (given_style == DP_VITERBI || given_style == DP_POSDECODE_ALIGN ||
                            given_style == DP_POSDECODE_ZTRANS || given_style == DP_FIVESTATE);
        if (score->query || align_style) {
            level = TB_COUNTS;
        } else if (given_style == DP_EM && (score->adpstyle == DP_POSDECODE_ALIGN ||
                                            score->adpstyle == DP_POSDECODE_ZTRANS)) {
            level = TB_POSTERIOR;
            style = score->adpstyle;
        }
    }
    bool query_model = models[0]->kind == MODEL_KIND_QUERY;
    auto simple_of = [&](const Sequence *seq, float raw) -> float {
        if (query_model) return raw;
        return static_cast<float>(
            null_mod_score(models, coeffs, count, seq, score->adjust_score, raw));
    };
    bool prefilter = !is_unset(score->viterbi_threshold) && style != DP_VITERBI;
    if (prefilter) {
        init_forward2_tracks(models, coeffs, count, N, sw, DP_VITERBI, jump_in, jump_out,
                             pseqmethod, TB_NONE, nullptr);
        for (int s = 0; s < table->count; s++) {
            Sequence *seq = table->seqs[s];
            if (!seq || !is_unset(seq->prefilter_simple)) continue;
            seq->prefilter_raw = forward_score(seq);
            seq->prefilter_simple = simple_of(seq, seq->prefilter_raw);
        }
    }
    init_forward2_tracks(models, coeffs, count, N, sw, style, jump_in, jump_out, pseqmethod, level,
                         nullptr);
    double sum = 0;
    int scored = 0;
    for (int s = 0; s < table->count; s++) {
        Sequence *seq = table->seqs[s];
        if (!seq) continue;
        if (prefilter && seq->prefilter_simple > score->viterbi_threshold) {
            if (!is_unset(seq->prefilter_simple)) {
                sum += seq->prefilter_simple;
                scored++;
            }
            continue;
        }
        if (is_unset(seq->raw_score)) {
            if (level > TB_NONE) {
                seq->raw_score = forback2(seq, nullptr, 0);
                remove_fim_delete_if_auto(seq);
            } else {
                seq->raw_score = forward_score(seq);
            }
        }
        seq->simple_score = simple_of(seq, seq->raw_score);
        if (!is_unset(seq->simple_score)) {
            sum += seq->simple_score;
            scored++;
        }
    }
    int kind = score->subtract_null;
    bool has_fim_node = models[0]->fim_node != nullptr;
    auto wanted = [&](const Sequence *seq) {
        return is_unset(seq->second_score) &&
               (!has_fim_node || seq->simple_score <= score->simple_threshold);
    };
    if (kind == NULL_REVERSE || kind == NULL_SCALED) {
        for (int s = 0; s < table->count; s++) {
            Sequence *seq = table->seqs[s];
            if (seq && wanted(seq)) reverse_second_score(seq, score, models, coeffs, count);
        }
    } else if (score->users_null_model) {
        // The null model is scored in the given style, not the alignment style the raw scores
        // may have been switched to above.
        Model *null_model = score->users_null_model;
        init_forward2_tracks(&null_model, nullptr, 1, N, sw, given_style, jump_in, jump_out,
                             pseqmethod, TB_NONE, nullptr);
        for (int s = 0; s < table->count; s++) {
            Sequence *seq = table->seqs[s];
            if (seq && wanted(seq)) seq->second_score = user_null_second(seq);
        }
    }
    return scored ? static_cast<float>(sum / scored) : 0.0f;
}

void cleanup_EM_loop() {
    free_forward2();
}

void setup_alignment(Model **models, float *coeffs, int count, int maxlen, int sw, int style,
                     double jump_in, double jump_out, int pseqmethod) {
    AlignSettings &a = align_settings;
    a.align_tmod = models;
    a.align_trcoeff = coeffs;
    a.align_tracks = count;
    a.align_maxl = maxlen;
    a.align_sw = sw;
    a.align_dpstyle = alignment_style(style);
    a.align_jumpin = static_cast<float>(jump_in);
    a.align_jumpout = static_cast<float>(jump_out);
    a.align_pseqmeth = pseqmethod;
    init_forward2_tracks(a.align_tmod, a.align_trcoeff, a.align_tracks, a.align_maxl, a.align_sw,
                         a.align_dpstyle, a.align_jumpin, a.align_jumpout, a.align_pseqmeth,
                         TB_ALIGN, nullptr);
}

float align_one_sequence(Sequence *seq, ScoreParams *score) {
    const AlignSettings &a = align_settings;
    if (!seq) return 0;
    if (!a.align_tmod || !a.align_tmod[0])
        error("align_one_sequence called before setup_alignment");
    float raw = forback2(seq, nullptr, 0);
    remove_fim_delete_if_auto(seq);
    if (!score) return 0;
    seq->raw_score = raw;
    seq->simple_score = static_cast<float>(null_mod_score(
        a.align_tmod, a.align_trcoeff, a.align_tracks, seq, score->adjust_score, raw));
    int kind = score->subtract_null;
    if (kind == NULL_REVERSE || kind == NULL_SCALED) {
        reverse_second_score(seq, score, a.align_tmod, a.align_trcoeff, a.align_tracks);
    } else if (kind == NULL_USER && score->users_null_model) {
        Model *null_model = score->users_null_model;
        init_forward2_tracks(&null_model, nullptr, 1, seq->len, a.align_sw, a.align_dpstyle,
                             a.align_jumpin, a.align_jumpout, a.align_pseqmeth, TB_NONE, nullptr);
        seq->second_score = user_null_second(seq);
        init_forward2_tracks(a.align_tmod, a.align_trcoeff, a.align_tracks, a.align_maxl,
                             a.align_sw, a.align_dpstyle, a.align_jumpin, a.align_jumpout,
                             a.align_pseqmeth, TB_ALIGN, nullptr);
    }
    return seq->simple_score;
}

float align_sequences(Model **models, float *coeffs, int count, SequenceTable *table,
                      ScoreParams *score, int sw, double jump_in, double jump_out, int style,
                      int pseqmethod, int counted_track, int keep) {
    if (!table || table->count == 0) {
        fprintf(stderr, "Warning:  Call to align_sequences with 0 sequences.\n");
        return 0;
    }
    setup_alignment(models, coeffs, count, longest_sequence(table), sw, style, jump_in, jump_out,
                    pseqmethod);
    float mean = 0;
    for (int s = 0; s < table->count; s++) {
        Sequence *seq = table->seqs[s];
        if (!seq) continue;
        seq->raw_score = forback2(seq, nullptr, counted_track);
        if (score) {
            seq->simple_score = static_cast<float>(
                null_mod_score(models, coeffs, count, seq, score->adjust_score, seq->raw_score));
            if (!is_unset(seq->simple_score)) mean += seq->simple_score / table->count;
        }
        if (!keep) remove_fim_delete_if_auto(seq);
    }
    return score ? mean : 0.0f;
}
