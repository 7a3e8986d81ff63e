// The engine's state: set-up for a model and its tracks, release, the log-sum table, and the
// scoring of profile columns and of the null model.
#include "engine/forward2.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/alphabet.h"
#include "engine/forward2_internal.h"
#include "foundation/errors.h"
#include "foundation/params.h"

namespace {
constexpr int BIG = IMPOSSIBLE_COST;
}  // namespace

// The engine's one state.
Engine engine;

// ---------------------------------------------------------------------------------------------
// Log-sum table
// ---------------------------------------------------------------------------------------------

void build_sumlog() {
    if (engine.log05) return;
    for (int d = 0; d < SUMLOG_SIZE; d++) {
        float e = std::exp(-(float)d / 1000.0f);
        float q = 1.0f / (1.0f + e);
        engine.SUMLOG[d] = cost(q);
    }
    engine.SUMLOG[SUMLOG_SIZE] = 0;
    engine.log05 = cost(0.5);
}

// ---------------------------------------------------------------------------------------------
// Helpers shared by the engine's units
// ---------------------------------------------------------------------------------------------

void use_track_alphabet(int t) {
    if (t >= 0 && t < MAX_ALPHABET_TRACKS && alphabets[t])
        alphabet = alphabets[t];
    else if (alphabets[0])
        alphabet = alphabets[0];
}

const ModWeight *profile_column(const Model *tm, int c, int last_node, int t, const Sequence *seq) {
    if (!tm->weights || c + 1 > last_node)
        error("Profile track %d of %s is shorter than the sequence", t,
              shown_text(seq->id).c_str());
    return tm->weights[c + 1];
}

bool codon_alphabet() {
    return alphabet && alphabet->id == CODON_ALPHABET_ID;
}

int track_letter(const Sequence *seq, int t, int i) {
    const unsigned char *r = seq->tracks[t].res;
    const AlphabetInfo *a = alphabets[t] ? alphabets[t] : alphabet;
    if (a && a->id == CODON_ALPHABET_ID) {
        // The codon read from residue i on: the next two residues, or the previous two in a
        // sequence that is marked reversed; 4 (N) past its end.
        int step = seq->reversed ? -1 : 1;
        int i1 = i + step, i2 = i + 2 * step;
        int c0 = r[i];
        int c1 = i1 >= 0 && i1 < seq->len ? r[i1] : 4;
        int c2 = i2 >= 0 && i2 < seq->len ? r[i2] : 4;
        return 25 * c0 + 5 * c1 + c2;
    }
    return r[i];
}

static void *grow_block(void *block, size_t *have, size_t want) {
    if (*have >= want) return block;
    std::free(block);
    *have = want;
    return mem_alloc(want);
}

int min_checkpoint_rows(int n) {
    return (int)std::floor(std::sqrt(2.0 * (n > 0 ? n : 0)) + 4.0);
}

void grow_dp_rows(int slots) {
    size_t need = 2 * engine.cellbytes + (size_t)slots * (size_t)engine.rowbytes;
    if (engine.dpmemalloc < need) {
        std::free(engine.dpspace_block);
        engine.dpspace_block = static_cast<char *>(mem_alloc(need));
        engine.dpmemalloc = need;
    }
    engine.dpspace = reinterpret_cast<DPCell *>(engine.dpspace_block + 2 * engine.cellbytes);
    engine.rowtot = (int)((engine.dpmemalloc - 2 * engine.cellbytes) / (size_t)engine.rowbytes);
    if ((size_t)engine.rowtot > engine.rowindexalloc) {
        std::free(engine.rowindex);
        engine.rowindex = static_cast<int *>(mem_alloc((size_t)engine.rowtot * sizeof(int)));
        engine.rowindexalloc = (size_t)engine.rowtot;
    }
    for (int k = 0; k < engine.rowtot; k++) engine.rowindex[k] = -1;
}

void grow_alignspace(size_t n) {
    engine.alignspace =
        static_cast<int *>(grow_block(engine.alignspace, &engine.alignalloc, n * sizeof(int)));
}

void grow_align2space(size_t n) {
    engine.align2space =
        static_cast<int *>(grow_block(engine.align2space, &engine.align2alloc, n * sizeof(int)));
}

// ---------------------------------------------------------------------------------------------
// Set-up and release
// ---------------------------------------------------------------------------------------------

static void release_track(int t) {
    if (t == 0 || !engine.FBtrack[t]) return;
    AlphabetInfo *saved = alphabet;
    use_track_alphabet(t);
    clear_FBmodel(engine.FBtrack[t]);
    std::free(engine.FBtrack[t]);
    alphabet = saved;
    engine.FBtrack[t] = nullptr;
    engine.Modtrack[t] = nullptr;
}

void init_forward2(Model *model, int maxlen, int sw, int style, int pseqmethod, int traceback,
                   float coef, double jump_in, double jump_out, FILE *pdoc_out) {
    if (maxlen < 0) maxlen = 0;
    if (model && model->kind == 1) {
        engine.SWgap = std::abs(model->gap);
        engine.SWcont = std::abs(model->cont);
        style = DP_VITERBI;
        sw = SW_GLOBAL;
        jump_in = jump_out = 1.0;
    }
    if (traceback == 0 &&
        (style == DP_POSDECODE || style == DP_POSDECODE_ALIGN || style == DP_POSDECODE_ZTRANS ||
         style == DP_PATHPROB || style == DP_POSTERIOR_ROWS || style == DP_PATHPROB_END))
        traceback = 1;
    engine.DP_style = style;
    engine.Prob_seq_method = pseqmethod;
    if (model) {
        engine.FB = model2fbmodel(model, engine.FB, coef);
        for (int t = 1; t < MAX_TRACKS; t++) release_track(t);
        engine.FBtrack[0] = engine.FB;
        engine.Modtrack[0] = engine.MD = model;
        engine.numtracks = 1;
        engine.trackcoeffs[0] = coef;
    } else if (!engine.FB || engine.FB->length < 0) {
        error("init_forward2 called with null model!");
    }
    if (sw < 0 || sw > SW_DOMAIN) {
        if (!engine.sw_note_given) {
            std::fprintf(stderr, "Illegal SW option (%d).  Current options are\n", sw);
            std::fprintf(stderr, "Global (%d), semi-local (%d), local (%d), and domain (%d)\n",
                         SW_GLOBAL, SW_SEMILOCAL, SW_LOCAL, SW_DOMAIN);
            std::fprintf(stderr, "A value of %d will be used\n", SW_GLOBAL);
            engine.sw_note_given = true;
        }
        sw = SW_GLOBAL;
    }
    if (sw == SW_DOMAIN) sw = SW_GLOBAL;
    engine.SW_mode = sw;
    if (engine.FB->query) {
        engine.DP_style = DP_VITERBI;
        engine.scalefactor = 1.0f;
    } else {
        engine.scalefactor = 1000.0f;
    }
    engine.Traceback = traceback;
    engine.pdoc_output_file = pdoc_out;
    engine.jump_in_cost = cost(jump_in);
    engine.jump_out_cost = cost(jump_out);
    int L = engine.FB->length;
    if (L < 1) error("forward2 is receiving a model of length %d??\n", L);
    engine.dpmodlen = L;

    bool tb_rows = engine.Traceback &&
                   (engine.DP_style == DP_VITERBI || engine.DP_style == DP_POSDECODE_ALIGN ||
                    engine.DP_style == DP_POSDECODE_ZTRANS || engine.DP_style == DP_FIVESTATE);
    engine.rowlen = tb_rows ? L + 4 : L + 2;
    engine.cellbytes = engine.DP_style == DP_FIVESTATE ? 5 * sizeof(int) : sizeof(DPCell);
    engine.rowbytes = engine.rowlen * (int)engine.cellbytes;

    // The row area.
    size_t area;
    if (!engine.Traceback)
        area = 4 * (size_t)engine.rowbytes;
    else if (engine.DP_style == DP_FIVESTATE)
        area = ((size_t)maxlen + 4) * (size_t)engine.rowbytes;
    else {
        size_t least = (size_t)engine.rowbytes * (size_t)min_checkpoint_rows(maxlen);
        area = maxmem > 0 && (size_t)maxmem > least ? (size_t)maxmem : least;
    }
    area += 2 * engine.cellbytes;
    if (engine.dpmemalloc < area && maxmem > 0 && area > (size_t)maxmem + 2 * engine.cellbytes) {
        std::fprintf(stderr, "Warning:  A dynamic programming matrix of %zu KB\n", area / 1024);
        std::fprintf(stderr, "is being allocated even though maxmem is only %d (%d KB)\n", maxmem,
                     maxmem / 1024);
    }
    grow_dp_rows((int)((area - 2 * engine.cellbytes) / (size_t)engine.rowbytes));

    // Emission rows.
    size_t row = ((size_t)L + 2) * sizeof(int);
    if (engine.imtaballoc < row) {
        std::free(engine.itabmem);
        std::free(engine.mtabmem);
        std::free(engine.ritabmem);
        std::free(engine.rmtabmem);
        std::free(engine.mitabmem);
        engine.itabmem = static_cast<int *>(mem_alloc(row));
        engine.mtabmem = static_cast<int *>(mem_alloc(row));
        engine.ritabmem = static_cast<int *>(mem_alloc(row));
        engine.rmtabmem = static_cast<int *>(mem_alloc(row));
        engine.mitabmem = static_cast<int *>(mem_alloc(row));
        engine.imtaballoc = row;
    }

    // Posterior decoding.
    if (engine.DP_style == DP_POSDECODE_ALIGN || engine.DP_style == DP_POSDECODE_ZTRANS ||
        engine.DP_style == DP_POSTERIOR_ROWS) {
        size_t want = ((size_t)maxlen + 4) * (size_t)engine.rowbytes;
        size_t limit = maxposdecodemem > 0 ? (size_t)maxposdecodemem : 0;
        size_t P = want < limit ? want : limit;
        if (engine.pdmemalloc < P) {
            std::free(engine.posspace_block);
            engine.posspace_block = static_cast<char *>(mem_alloc(P + 2 * engine.cellbytes));
            engine.pdmemalloc = P;
        }
        engine.posspace = reinterpret_cast<DPCell *>(engine.posspace_block + 2 * engine.cellbytes);
        long seqlen = (long)(engine.pdmemalloc / (size_t)engine.rowbytes) - 4;
        engine.posdecodeseqlen = seqlen < 0 ? 0 : (int)seqlen;
        if (engine.posdecodeseqlen < maxlen && !engine.long_note_given) {
            std::fprintf(stderr, "Warning:  Long sequences (> %d bases) will be Viterbi-aligned\n",
                         engine.posdecodeseqlen);
            std::fprintf(stderr, "Increase maxposdecodemem (%d) to enable longer sequences\n",
                         maxposdecodemem);
            engine.long_note_given = true;
        }
        if (!engine.PD) engine.PD = alloc_PDmodel();
        zero_PDmodel(engine.PD, L, engine.posdecodeseqlen, engine.DP_style != DP_POSDECODE_ALIGN);
    }

    if (engine.Traceback) {
        size_t brow = ((size_t)L + 2) * sizeof(DPCell);
        if (engine.betaalloc < brow) {
            std::free(engine.betaspace);
            std::free(engine.boldspace);
            engine.betaspace = static_cast<DPCell *>(mem_alloc(brow));
            engine.boldspace = static_cast<DPCell *>(mem_alloc(brow));
            engine.betaalloc = brow;
        }
        size_t trow = ((size_t)L + 2) * sizeof(TransCosts);
        if (engine.betatransalloc < trow) {
            std::free(engine.betatransspace);
            std::free(engine.boldtransspace);
            std::free(engine.zerotrans);
            engine.betatransspace = static_cast<TransCosts *>(mem_alloc(trow));
            engine.boldtransspace = static_cast<TransCosts *>(mem_alloc(trow));
            engine.zerotrans = static_cast<TransCosts *>(mem_alloc(trow));  // zeroed
            engine.betatransalloc = trow;
        }
        grow_alignspace(2 * (size_t)L + (size_t)maxlen + 4);
        if (engine.DP_style == DP_FIVESTATE) grow_align2space((size_t)maxlen + 2 * (size_t)L + 6);
    }
    build_sumlog();
}

void init_forward2_tracks(Model **models, const float *coeffs, int count, int maxlen, int sw,
                          int style, double jump_in, double jump_out, int pseqmethod, int traceback,
                          FILE *pdoc_out) {
    if (!models || !models[0]) {
        init_forward2(nullptr, maxlen, sw, style, pseqmethod, traceback, 0.0f, jump_in, jump_out,
                      pdoc_out);
        return;
    }
    if (!coeffs || count <= 0) {
        count = 1;
        coeffs = nullptr;
    }
    if (count > MAX_TRACKS)
        error("init_forward2_tracks: %d tracks (at most %d)", count, MAX_TRACKS);
    use_track_alphabet(0);
    AlphabetInfo *track0 = alphabet;
    init_forward2(models[0], maxlen, sw, style, pseqmethod, traceback, coeffs ? coeffs[0] : 1.0f,
                  jump_in, jump_out, pdoc_out);
    for (int t = 1; t < count; t++) {
        if (!models[t]) error("add_track_forward2 %d called with null model!", t);
        if (t != engine.numtracks)
            error("Add_track_forward2():  nonsequential tracks %d expect %d\n", t,
                  engine.numtracks);
        if (models[t]->length != engine.FB->length)
            error("Track %d model length %d mismatch (track 0 is %d)\n", t, models[t]->length,
                  engine.FB->length);
        use_track_alphabet(t);
        engine.FBtrack[t] = model2fbmodel(models[t], engine.FBtrack[t], coeffs[t]);
        engine.Modtrack[t] = models[t];
        engine.trackcoeffs[t] = coeffs[t];
        engine.numtracks++;
        alphabet = track0;
    }
}

void free_forward2() {
    AlphabetInfo *saved = alphabet;
    for (int t = 1; t < MAX_TRACKS; t++) release_track(t);
    use_track_alphabet(0);
    if (engine.FB) {
        clear_FBmodel(engine.FB);
        std::free(engine.FB);
    }
    engine.FB = nullptr;
    engine.FBtrack[0] = nullptr;
    engine.MD = nullptr;
    engine.Modtrack[0] = nullptr;
    if (engine.fbfreq) {
        clear_FBmodel(engine.fbfreq);
        std::free(engine.fbfreq);
        engine.fbfreq = nullptr;
    }
    alphabet = saved;
    if (engine.PD) {
        clear_PDmodel(engine.PD);
        std::free(engine.PD);
        engine.PD = nullptr;
    }
    std::free(engine.dpspace_block);
    std::free(engine.posspace_block);
    std::free(engine.rowindex);
    std::free(engine.itabmem);
    std::free(engine.mtabmem);
    std::free(engine.ritabmem);
    std::free(engine.rmtabmem);
    std::free(engine.mitabmem);
    std::free(engine.betaspace);
    std::free(engine.boldspace);
    std::free(engine.betatransspace);
    std::free(engine.boldtransspace);
    std::free(engine.zerotrans);
    std::free(engine.alignspace);
    std::free(engine.align2space);
    engine.dpspace_block = engine.posspace_block = nullptr;
    engine.dpspace = engine.posspace = nullptr;
    engine.rowindex = engine.itabmem = engine.mtabmem = engine.ritabmem = engine.rmtabmem =
        engine.mitabmem = nullptr;
    engine.betaspace = engine.boldspace = nullptr;
    engine.betatransspace = engine.boldtransspace = engine.zerotrans = nullptr;
    engine.alignspace = engine.align2space = nullptr;
    engine.numtracks = 0;
    engine.rowlen = engine.rowbytes = engine.dpmodlen = -1;
    engine.rowtot = 0;
    engine.posdecodeseqlen = 0;
    engine.DP_style = engine.Traceback = engine.SW_mode = 0;
    engine.dpmemalloc = engine.pdmemalloc = engine.imtaballoc = engine.betaalloc =
        engine.betatransalloc = engine.rowindexalloc = 0;
    engine.alignalloc = engine.align2alloc = 0;
}

// ---------------------------------------------------------------------------------------------
// Profile columns and the null model
// ---------------------------------------------------------------------------------------------

static const AlphabetInfo *track_alphabet(int t) {
    if (t >= 0 && t < MAX_ALPHABET_TRACKS && alphabets[t]) return alphabets[t];
    return alphabet;
}

int combine_wseq_wmod(const int *p, const int *q, int track, int method) {
    const AlphabetInfo *a = track_alphabet(track);
    if (a && a->id == CODON_ALPHABET_ID)
        error("Codon alphabet not supported with probabilistic sequences");
    if (method < 0) error("Unknown combine_mod_probseq method %d\n", method);
    int A = a ? a->length : 0;
    if (method <= 1) {
        double s = 0;
        for (int k = 0; k < A; k++) s += (double)(float)prob(p[k]) * q[k];
        if (method == 1) {
            double s2 = 0;
            for (int k = 0; k < A; k++) s2 += (double)(float)prob(q[k]) * p[k];
            s = (s + s2) / 2;
        }
        return clamp_cost64((int64_t)s);
    }
    int f = COST_OF_ZERO;
    for (int k = 0; k < A; k++) f = LSC(f, cap_cost(p[k] + q[k]));
    double v = f * engine.ps_scale[track] + 1000.0 * engine.ps_shift[track];
    if (std::isnan(v)) return BIG;
    if (v >= BIG) return BIG;
    if (v <= -BIG) return -BIG;
    return (int)v;
}

void set_pseq_scale(Model **models, int count, const Sequence *seq, int method) {
    bool reported = false;
    for (int t = 0; t < count && t < MAX_TRACKS; t++) {
        engine.ps_shift[t] = 0;
        engine.ps_scale[t] = 1;
        const Model *tm = t < seq->ntracks ? seq->tracks[t].model : nullptr;
        if (!tm || method <= 2) continue;
        if (method > 5) error("Illegal pseqmethod %d\n", method);
        const Model *m = models ? models[t] : nullptr;
        if (!m || !m->fim_weight || !tm->weights)
            error("set_pseq_scale: track %d has no background distribution", t);
        const AlphabetInfo *a = track_alphabet(t);
        int A = a->length;
        const int *n = m->fim_weight->insert;
        double S = 0, T = 0;
        for (int k = 0; k < A; k++) {
            double pk = prob(n[k]);
            S += pk * (n[k] / 1000);
            T += pk * (double)(n[k] / 1000) * (n[k] / 1000);
        }
        int64_t sum = 0, sum2 = 0;
        int len = seq->len < tm->length ? seq->len : tm->length;
        for (int j = 0; j < len; j++) {
            const int *p = tm->weights[j + 1]->match;
            int f = COST_OF_ZERO;
            for (int k = 0; k < A; k++) f = LSC(f, cap_cost(p[k] + n[k]));
            int64_t qj = f / 1000;
            sum += qj;
            sum2 += qj * qj;
        }
        double mean = len > 0 ? (double)sum / len : NAN;
        double mean2 = len > 0 ? (double)sum2 / len : NAN;
        double shift = 0, scale = 1, replaced = 0;
        bool rescaled = false;
        if (method == 3) {
            shift = -S - mean;
        } else if (method == 4) {
            scale = -S / mean;
        } else {
            double v = mean2 - mean * mean;
            scale = v < PROB_ZERO ? 1.0 : std::sqrt((T - S * S) / v);
            if (scale > 4) {
                replaced = scale;
                scale = 1;
                rescaled = true;
            }
            shift = -S - scale * mean;
        }
        if (!std::isfinite(shift) || !std::isfinite(scale)) {
            std::fprintf(stderr,
                         "Warning:  no profile scale for %s track %d (method %d); the column "
                         "costs are used unscaled\n",
                         shown_text(seq->id).c_str(), t, method);
            shift = 0;
            scale = 1;
        }
        engine.ps_shift[t] = shift;
        engine.ps_scale[t] = scale;
        if (rescaled)
            std::fprintf(stderr,
                         "Pseqmeth %d Seq %s scale %5.2f shift %5.2f (rescaled from %5.2f)\n",
                         method, shown_text(seq->id).c_str(), scale, shift, replaced);
        else
            std::fprintf(stderr, "Pseqmeth %d Seq %s scale %5.2f shift %5.2f\n", method,
                         shown_text(seq->id).c_str(), scale, shift);
        reported = true;
    }
    if (reported) std::fflush(stderr);
}

// Null cost (thousandths of a nat) of the residue at pos on track t, unweighted.
static int64_t residue_null_cost(const Model *m, const Sequence *seq, int t, int pos) {
    if (!m || !m->fim_weight) error("Null model score needs a model with a FIM template node");
    const Model *tm = seq->tracks[t].model;
    if (tm) {
        int col = seq->reversed ? seq->len - 1 - pos : pos;
        if (!tm->weights || col + 1 > tm->length + 1) return 0;
        return combine_wseq_wmod(tm->weights[col + 1]->match, m->fim_weight->insert, t,
                                 engine.Prob_seq_method);
    }
    const AlphabetInfo *a = track_alphabet(t);
    int x = seq->tracks[t].res[pos];
    if (a && a->id == CODON_ALPHABET_ID) x = x * 25 + 24;
    int w = (m->fim_weight->ncosts - TC_COUNT) / 2;
    if (x < 0 || x >= w) return COST_OF_ZERO;
    return m->fim_weight->insert[x];
}

double base_null_score(Model **models, const float *coeffs, int count, const Sequence *seq) {
    // A query-sequence model has no background: its scores are raw matrix scores.
    if (!models || !models[0] || !seq || models[0]->kind == 1) return 0;
    if (count < 1) count = 1;
    set_pseq_scale(models, count, seq, engine.Prob_seq_method);
    double sum = 0;
    for (int t = 0; t < count && t < seq->ntracks; t++) {
        int64_t s = 0;
        for (int pos = 0; pos < seq->len; pos++) s += residue_null_cost(models[t], seq, t, pos);
        sum += coeffs ? coeffs[t] * (double)s : (double)s;
    }
    if (!models[0]->fim_weight) error("Null model score needs a model with a FIM template node");
    double loop = (double)seq->len * models[0]->fim_weight->ijump[2];
    return (loop + sum) / 1000.0;
}

double character_null(int pos, Model **models, const float *coeffs, int count,
                      const Sequence *seq) {
    if (!models || !models[0] || !seq || pos < 0 || pos >= seq->len) return 0;
    if (count < 1) count = 1;
    double sum = 0;
    for (int t = 0; t < count && t < seq->ntracks; t++) {
        double c = (double)residue_null_cost(models[t], seq, t, pos);
        sum += coeffs ? coeffs[t] * c : c;
    }
    return sum / 1000.0;
}
