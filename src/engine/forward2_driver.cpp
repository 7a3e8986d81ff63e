// The drivers of the engine: the forward-backward driver with checkpointed rows (forback2), the
// per-residue emission rows, and the score-only forward.
#include "engine/forward2_driver.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/alphabet.h"
#include "models/codon.h"
#include "engine/forward2.h"
#include "engine/forward2_internal.h"
#include "engine/forward2_kernels.h"
#include "engine/forward2_kernels_fast.h"
#include "engine/forward2_post.h"
#include "engine/forward2_trace.h"
#include "foundation/errors.h"

namespace {

constexpr int BIG = IMPOSSIBLE_COST;

inline DPCell *slot_row(DPCell *area, int k) {
    return area + (size_t)k * (size_t)engine.rowlen;
}

inline const PosConstraint *constraint_of(const Sequence *seq, int i) {
    return seq->constraints ? &seq->constraints[i] : &noPosConstraint;
}

// A letter that indexes the rows of fb (anything outside falls back to the last row).
inline int row_letter(const FBmodel *fb, int x) {
    return x >= 0 && x < fb->nrows ? x : fb->nrows - 1;
}

// Every track the model set-up scores must be a track of the sequence.
void check_tracks(const Sequence *seq) {
    if (seq->ntracks < engine.numtracks)
        error("Sequence %s has %d track%s; the model has %d", shown_text(seq->id).c_str(),
              seq->ntracks, seq->ntracks == 1 ? "" : "s", engine.numtracks);
}

void warn_saturated(const Sequence *seq) {
    std::fprintf(stderr,
                 "Warning:  %s cannot be aligned to the model: its cost reaches the limit of %d "
                 "nats; no score is given\n",
                 shown_text(seq->id).c_str(), BIG / 1000);
}

// Whether the score Z of a sequence of n residues against a model of length L comes from capped
// cells. A best-path cost saturates at IMPOSSIBLE_COST exactly. A cost summed over paths lands
// below the cap: the log-sum of capped cells takes off up to 1000 ln of their number (3(L+2)
// cells a row over n+1 rows, times L+2 for the jumps in and L+2 for the jumps out of one row),
// and the log-sum table's rounding up to one unit a log-sum, two a cell, along the longest chain
// of cells (n rows, a row's delete chain and its jump-out sum). No real summed score lies within
// that margin of the cap.
bool saturated(int Z, bool summed, int n, int L) {
    if (!summed) return Z >= BIG;
    double l2 = L + 2.0;
    double margin = 1000.0 * std::log(3.0 * l2 * l2 * (n + 1.0)) + 2.0 * (n + 2.0 * l2);
    return Z >= BIG - margin;
}

// The start row: the all-delete path from the Begin's start state.
void start_row(DPCell *row, const TransCosts *T, int L) {
    row[0].d = 0;
    row[0].m = row[0].i = BIG;
    for (int k = 1; k <= L + 1; k++) {
        row[k].d = clamp_cost64((int64_t)row[k - 1].d + T[k].t[TC_DD]);
        row[k].m = row[k].i = BIG;
    }
}

// The state path being written from the End back to the start.
struct Walk {
    int node;
    int state;
    size_t n;  // codes written
    size_t cap;

    void put(int code) {
        if (n + 2 >= cap) error("Internal error:  state path longer than %zu steps", cap);
        engine.alignspace[n++] = code;
    }
    // Follows one residue's traceback row as far as that residue goes.
    void row(const DPCell *tb) {
        while (node >= 0) {
            if (state == TB_DELETE) {
                put(TB_DELETE);
                state = tb[node].d;
                node--;
            } else if (state == TB_INSERT) {
                put(TB_INSERT);
                state = tb[node].i;
                break;
            } else if (state == TB_MATCH) {
                put(TB_MATCH);
                int e = tb[node].m;
                if (e < 0) {
                    state = e;
                    node--;
                } else {
                    engine.alignspace[n - 1] = node - e;
                    node = e;
                    if (e != 1)
                        std::fprintf(stderr,
                                     "Internal Error: vtb: jump to node other than 1 (%d)\n", e);
                    state = TB_DELETE;
                }
                break;
            } else {  // a jump out of node `state`'s match cell
                int target = state;
                put(node - target);
                node = target;
                state = target == 1 ? TB_DELETE : TB_MATCH;
            }
        }
        engine.alignspace[n] = PATH_END;
    }
    // The path from the start through delete cells, and the terminator.
    void finish() {
        for (int k = node; k >= 1; k--) put(TB_DELETE);
        engine.alignspace[n] = PATH_END;
    }
};

// Whether an alignment code accounts for every residue and every model column.
bool alignment_fits(const Sequence *seq, int L, int style) {
    long res = 0, cols = style == DP_PATHPROB_END ? 1 : 0;
    for (const unsigned char *p = seq->align; *p; p++) {
        int b = *p;
        if (b <= ALIGN_MATCH_BASE)
            res += b;
        else if (b <= ALIGN_DELETE_BASE) {
            res += b - ALIGN_MATCH_BASE;
            cols += b - ALIGN_MATCH_BASE;
        } else
            cols += b - ALIGN_DELETE_BASE;
    }
    return res == seq->len && cols == L;
}

// Emission rows of residue i with the residue's constraint applied, as the kernels see them.
void constrained_rows(const PosConstraint *pc, const FBNodeInfo *info, int L, const int **rm,
                      const int **ri) {
    if (pc->label == -1) return;
    for (int j = 0; j <= L + 1; j++) {
        int m = (*rm)[j];
        if (j >= 1) {
            int e = pc->label == info[j].label ? pc->satisfied : pc->unsatisfied;
            m = LSC(e, cap_cost(m + pc->unconstrained));
        }
        engine.rmtabmem[j] = m;
        engine.ritabmem[j] = cap_cost((*ri)[j] + pc->unconstrained);
    }
    *rm = engine.rmtabmem;
    *ri = engine.ritabmem;
}

}  // namespace

void set_prob_mi_tabs(const int **mrow, const int **irow, const Sequence *seq, int i,
                      int reversed) {
    const FBmodel *FB = engine.FB;
    bool profile0 = seq->ntracks > 0 && seq->tracks[0].model;
    if (engine.numtracks == 1 && !profile0) {
        int x = row_letter(FB, track_letter(seq, 0, i));
        *mrow = reversed ? FB->rmtables[x] : FB->mtables[x];
        *irow = reversed ? FB->ritables[x] : FB->itables[x];
        return;
    }
    int L = FB->length;
    int *mtabmem = engine.mtabmem, *itabmem = engine.itabmem;
    const int numtracks = engine.numtracks;
    for (int j = 0; j <= L + 1; j++) mtabmem[j] = itabmem[j] = 0;
    for (int t = 0; t < numtracks; t++) {
        const Model *tm = t < seq->ntracks ? seq->tracks[t].model : nullptr;
        if (!tm) {
            const FBmodel *fb = engine.FBtrack[t];
            int x = row_letter(fb, track_letter(seq, t, i));
            const int *m = reversed ? fb->rmtables[x] : fb->mtables[x];
            const int *in = reversed ? fb->ritables[x] : fb->itables[x];
            for (int j = 0; j <= L + 1; j++) {
                mtabmem[j] = clamp_cost64((int64_t)mtabmem[j] + m[j]);
                itabmem[j] = clamp_cost64((int64_t)itabmem[j] + in[j]);
            }
            continue;
        }
        const AlphabetInfo *a = alphabets[t] ? alphabets[t] : alphabet;
        if (a && a->id == CODON_ALPHABET_ID)
            error("Codon alphabet not supported with probabilistic sequences");
        int c = seq->reversed ? seq->len - 1 - i : i;
        // The end node's column (length + 1) exists and is read here as the null costs and
        // counts of profile tracks read it; the five-state rows stop one node earlier.
        const ModWeight *col = profile_column(tm, c, tm->length + 1, t, seq);
        const Model *mod = engine.Modtrack[t];
        const double coef = engine.trackcoeffs[t];
        const int method = engine.Prob_seq_method;
        for (int j = 0; j <= L + 1; j++) {
            int jm = j, ji = j;
            if (reversed) {
                if (j >= 1 && j <= L) jm = L + 1 - j;
                if (j <= L) ji = L - j;
            }
            double mv = combine_wseq_wmod(col->match, mod->weights[jm]->match, t, method) * coef +
                        mtabmem[j];
            double iv = combine_wseq_wmod(col->match, mod->weights[ji]->insert, t, method) * coef +
                        itabmem[j];
            mtabmem[j] = clamp_cost64((int64_t)mv);
            itabmem[j] = clamp_cost64((int64_t)iv);
        }
    }
    *mrow = mtabmem;
    *irow = itabmem;
}

void access_match_insert_arrays(const Sequence *seq, int i, const int **mrow, const int **irow) {
    set_prob_mi_tabs(mrow, irow, seq, i, 0);
}

int **access_match_posterior_array_char_node() {
    if (!engine.PD || !engine.PD->match) error("Posterior array access attempt without postiors.");
    return engine.PD->match;
}

int **access_insert_posterior_array_char_node() {
    if (!engine.PD || !engine.PD->insert) error("Posterior array access attempt without postiors.");
    return engine.PD->insert;
}

float forback2(Sequence *seq, Model *counts, int track) {
    if (!engine.FB || engine.numtracks == 0) error("init_forward2 must be called before forward2");
    if (!engine.Traceback) error("forback2 needs a set-up with traceback (traceback level 0)");
    check_tracks(seq);
    const int L = engine.FB->length;
    const int M = seq->len;
    int style = engine.DP_style;
    if (counts) {
        if (track < 0 || track >= engine.numtracks || track >= seq->ntracks)
            error("Counted track %d is not a track of the sequence", track);
        if (track != 0 && alphabets[track] != alphabets[0])
            error("Counted track %d has another alphabet than track 0", track);
        if (counts->length != L)
            error("forback2: counts model of length %d for a model of length %d", counts->length,
                  L);
    }
    set_pseq_scale(engine.Modtrack, engine.numtracks, seq, engine.Prob_seq_method);
    if ((style == DP_POSDECODE_ALIGN || style == DP_POSDECODE_ZTRANS) &&
        M > engine.posdecodeseqlen) {
        std::fprintf(stderr, "Warning:  %s (len=%d) will be Viterbi aligned.\n",
                     shown_text(seq->id).c_str(), M);
        style = DP_VITERBI;
    }
    if (style == DP_POSTERIOR_ROWS && M > engine.posdecodeseqlen) {
        std::fprintf(
            stderr, "Warning:  %s (len=%d) is too long for posterior rows (> %d); none are kept.\n",
            shown_text(seq->id).c_str(), M, engine.posdecodeseqlen);
        style = DP_EM;
    }
    const bool vit = style == DP_VITERBI;
    DPRowKernel fsave, finplace, bwd = nullptr;
    int mode = engine.SW_mode;
    if (vit) {
        if (engine.FB->query) {
            fsave = dprow_swalign;
            finplace = dprow_swviterbi;
            engine.jump_in_cost = engine.jump_out_cost = 0;
        } else {
            fsave = dprow_align_fast;
            finplace = dprow_viterbi_fast;
        }
    } else {
        fsave = finplace = dprow_forward_fast;
        bwd = dprow_backward_fast;
        if (style == DP_POSDECODE_ALIGN) mode = SW_GLOBAL;
    }
    if (vit && engine.rowlen < L + 4) error("forback2: the set-up has no room for traceback rows");
    const bool counting = counts && !vit;
    if (counting && !engine.fbfreq) engine.fbfreq = alloc_FBmodel();

    // Room for this sequence (buffers only grow).
    if (engine.rowtot < min_checkpoint_rows(M) || engine.rowtot < 2)
        grow_dp_rows(min_checkpoint_rows(M));
    if (engine.alignalloc / sizeof(int) < 2 * (size_t)L + (size_t)M + 4)
        grow_alignspace(2 * (size_t)L + (size_t)M + 4);
    // The row area as it stands for this sequence (nothing below grows it).
    DPCell *const dpspace = engine.dpspace;
    int *const rowindex = engine.rowindex;
    const int rowtot = engine.rowtot;
    for (int k = 0; k < rowtot; k++) rowindex[k] = -1;

    // Path posteriors along the existing alignment.
    bool pathprob = false;
    if (style == DP_PATHPROB || style == DP_PATHPROB_END) {
        if (!seq->align) error("Forward2 with POSPATH called with null alignment\n");
        std::free(seq->pathprob);
        seq->pathprob = nullptr;
        if (alignment_fits(seq, L, style)) {
            seq->pathprob =
                static_cast<SeqPathProb *>(mem_alloc(((size_t)M + 4) * sizeof(SeqPathProb)));
            backstep_alignment(seq, L, style, nullptr);
            pathprob = true;
        } else {
            std::fprintf(stderr,
                         "Warning:  the alignment of %s does not fit the model and the sequence; "
                         "no path posteriors\n",
                         shown_text(seq->id).c_str());
        }
    }

    const TransCosts *T = engine.FB->trans;
    const FBNodeInfo *info = engine.FB->nodeinfo;
    const int *mr, *ir;
    int Z = BIG;
    bool have_Z = false;

    // Forward pass: the first block keeps every row.
    DPCell *row0 = slot_row(dpspace, 0);
    start_row(row0, T, L);
    rowindex[0] = -1;
    if (M == 0) {
        Z = row0[L + 1].d;
        have_Z = true;
    }
    int B = M;
    if (rowtot < M + 1) {
        double s = std::sqrt(2.0 * M - 4.0);
        int keep = (int)(s + 2.0);
        if (rowtot - keep < M) B = rowtot - keep;
    }
    if (B < 0) B = 0;
    // Residues r0..r1 computed with the saving kernel from slot first-1 into slots first, ...
    auto forward_block = [&](int r0, int r1, int first) {
        for (int r = r0; r <= r1; r++) {
            int dst = first + (r - r0);
            if (dst >= rowtot) error("Internal error:  dpr %d.  Increase maxmem.", dst);
            DPCell *prev = slot_row(dpspace, dst - 1);
            rowindex[dst] = r;
            if (vit) rowindex[dst - 1] = -r;
            set_prob_mi_tabs(&mr, &ir, seq, r, 0);
            fsave(T, mr, ir, r, M, L + 2, L, prev, slot_row(dpspace, dst), nullptr, prev - 2, mode,
                  constraint_of(seq, r), info);
            if (r == M - 1) {
                Z = slot_row(dpspace, dst)[L + 1].d;
                have_Z = true;
            }
        }
    };
    forward_block(0, B - 1, 1);

    // Checkpoints: each covers one residue fewer than the one before.
    int next = B + 1;
    int s = B;
    while (rowtot - next < M - s) {
        int F = rowtot - next;
        int t = s + F;
        if (M - t < F - 1) t = M - F + 1;
        int cnt = t - s;
        if (next >= rowtot) error("Internal error:  dpr %d.  Increase maxmem.", next);
        if (cnt > 1 && next + 1 >= rowtot)
            error("Internal error:  dpr %d.  Increase maxmem.", next + 1);
        int a = next, b = next + 1;
        int dst = cnt % 2 == 1 ? a : b;
        DPCell *src = slot_row(dpspace, next - 1);
        for (int r = s; r < t; r++) {
            set_prob_mi_tabs(&mr, &ir, seq, r, 0);
            DPCell *out = slot_row(dpspace, dst);
            finplace(T, mr, ir, r, M, L + 1, L, src, out, nullptr, nullptr, mode,
                     constraint_of(seq, r), info);
            src = out;
            dst = dst == a ? b : a;
        }
        rowindex[next] = t - 1;
        if (b < rowtot) rowindex[b] = -1;
        next++;
        s = t;
    }

    // Backward walk, one stretch at a time.
    Walk walk{L + 1, TB_DELETE, 0, engine.alignalloc / sizeof(int)};
    engine.alignspace[0] = PATH_END;
    DPCell *beta = engine.betaspace, *bold = engine.boldspace;
    TransCosts *btnew = engine.betatransspace, *btold = engine.boldtransspace;
    TransCosts *S = nullptr;
    if (!vit) {
        start_row(bold, engine.FB->rtrans, L);
        std::memcpy(beta, bold, ((size_t)L + 2) * sizeof(DPCell));
        for (int k = 0; k <= L + 1; k++)
            for (int e = 0; e < TC_COUNT; e++) btold[k].t[e] = BIG;
        for (int k = 1; k <= L + 1; k++) btold[k].t[0] = bold[k].d;
        std::memcpy(btnew, btold, ((size_t)L + 2) * sizeof(TransCosts));
    }
    // Expected counts alone: the backward row and its counts in one pass.
    const bool fused = counting && !pathprob && bwd == dprow_backward_fast &&
                       style != DP_POSDECODE && style != DP_POSDECODE_ALIGN &&
                       style != DP_POSDECODE_ZTRANS && style != DP_POSTERIOR_ROWS;
    // Once the score is known: false (with a warning) when it saturates, else the sums start.
    auto begin_sums = [&]() {
        if (!have_Z || saturated(Z, !vit, M, L)) {
            warn_saturated(seq);
            return false;
        }
        if (counting) {
            use_track_alphabet(0);
            zero_FBmodel(engine.fbfreq, L, alphabet->emit_length_wild);
            S = engine.fbfreq->trans;
        }
        return true;
    };
    bool walk_done = false, started = false;
    int c = next;
    s = M - 1;
    while (s >= 0 && !walk_done) {
        int a;
        if (vit && walk.node == 0 && walk.state == TB_INSERT) {
            for (int r = s; r >= 0; r--) walk.put(TB_INSERT);
            engine.alignspace[walk.n] = PATH_END;
            walk_done = true;
            break;
        }
        if (s < B) {
            a = 0;
            c = B;
        } else {
            a = rowindex[c - 1] + 1;
            forward_block(a, s, c);
            c += s - a;
        }
        if (!started) {
            started = true;
            if (!begin_sums()) return SCORE_UNSET;
        }
        if (vit) {
            int sl = c - 1;
            for (int r = s; r >= a; r--, sl--) {
                if (sl < 0 || rowindex[sl] != -r)
                    error("Internal traceback error [d%d r%d s%d]:  try raising maxmem.", sl,
                          sl >= 0 ? rowindex[sl] : 0, r);
                walk.row(slot_row(dpspace, sl) - 2);
            }
        } else {
            int sl = c;
            for (int r = s; r >= a; r--, sl--) {
                if (rowindex[sl] != r)
                    error("Internal traceback error [d%d r%d s%d]:  try raising maxmem.", sl,
                          rowindex[sl], r);
                const PosConstraint *pc = constraint_of(seq, r);
                set_prob_mi_tabs(&mr, &ir, seq, r, 1);
                int *cm = nullptr, *ci = nullptr;
                if (counting) {
                    int x = row_letter(engine.fbfreq, track_letter(seq, track, r));
                    cm = engine.fbfreq->mtables[x];
                    ci = engine.fbfreq->itables[x];
                }
                if (fused && pc->label == -1) {
                    backward_counts_fast(engine.FB->rtrans, mr, ir, r, M, L, bold, beta, btold,
                                         btnew, mode, engine.FB->rnodeinfo, slot_row(dpspace, sl),
                                         S, cm, ci);
                } else {
                    bwd(engine.FB->rtrans, mr, ir, r, M, L + 1, L, bold, beta, btnew, nullptr, mode,
                        pc, engine.FB->rnodeinfo);
                    constrained_rows(pc, engine.FB->rnodeinfo, L, &mr, &ir);
                    combine_rows(L, r, track_letter(seq, 0, r), slot_row(dpspace, sl), beta, mr, ir,
                                 btnew, btold, S, style, pathprob ? &seq->pathprob[r] : nullptr, Z,
                                 cm, ci);
                }
                DPCell *tmp = beta;
                beta = bold;
                bold = tmp;
                TransCosts *tt = btnew;
                btnew = btold;
                btold = tt;
            }
        }
        c -= s - a + 1;
        s = a - 1;
    }
    if (!started && !begin_sums()) return SCORE_UNSET;  // an empty sequence

    int score = Z;
    if (vit) {
        if (!walk_done) walk.finish();
        int cost = encode_alignment(engine.alignspace, seq, L, counts);
        if (cost != Z && !seq->constraints)
            std::fprintf(stderr, "Warning: Viterbi consistency failed dp %d ea %d %s\n", Z, cost,
                         shown_text(seq->id).c_str());
        score = cost;
    } else {
        combine_rows(L, -1, -1, row0, bold, nullptr, nullptr, btnew, btold, S, style, nullptr, Z,
                     nullptr, nullptr);
        if (counting) accumulate_frequencies(counts, engine.fbfreq, Z);
    }

    if (style == DP_POSDECODE_ALIGN || style == DP_POSDECODE_ZTRANS) {
        // The best path through the posterior costs.
        int pmode = style == DP_POSDECODE_ZTRANS ? SW_GLOBAL : engine.SW_mode;
        DPCell *p0 = slot_row(engine.posspace, 0);
        p0[0].d = 0;
        p0[0].m = p0[0].i = BIG;
        for (int k = 1; k <= L + 1; k++) {
            int step = style == DP_POSDECODE_ALIGN ? engine.PD->trans[-1][k].t[TC_DD] : 0;
            p0[k].d = clamp_cost64((int64_t)p0[k - 1].d + step);
            p0[k].m = p0[k].i = BIG;
        }
        for (int j = 0; j < M; j++) {
            const TransCosts *PT =
                style == DP_POSDECODE_ALIGN ? engine.PD->trans[j] : engine.zerotrans;
            DPCell *prev = slot_row(engine.posspace, j);
            dprow_align(PT, engine.PD->match[j], engine.PD->insert[j], j, M, L + 2, L, prev,
                        slot_row(engine.posspace, j + 1), nullptr, prev - 2, pmode,
                        &noPosConstraint, info);
        }
        Walk pw{L + 1, TB_DELETE, 0, engine.alignalloc / sizeof(int)};
        for (int j = M - 1; j >= 0; j--) pw.row(slot_row(engine.posspace, j) - 2);
        pw.finish();
        int cost = encode_alignment(engine.alignspace, seq, L, nullptr);
        if (engine.Traceback != 3) score = cost;
    }
    compresscodonmodel(counts);
    return (float)score / engine.scalefactor;
}

float forward_score(Sequence *seq) {
    if (!engine.FB || engine.numtracks == 0)
        error("init_forward2 must be called before forward_score");
    check_tracks(seq);
    const int L = engine.FB->length;
    const int M = seq->len;
    DPRowKernel kernel = dprow_forward_fast;
    set_pseq_scale(engine.Modtrack, engine.numtracks, seq, engine.Prob_seq_method);
    if (engine.Traceback != 3) {
        int style = engine.DP_style;
        if ((style == DP_POSDECODE_ALIGN || style == DP_POSDECODE_ZTRANS) &&
            M > engine.posdecodeseqlen) {
            std::fprintf(stderr, "Warning:  %s (len=%d) will be Viterbi aligned.\n",
                         shown_text(seq->id).c_str(), M);
            style = DP_VITERBI;
        } else if (style == DP_POSDECODE_ALIGN || style == DP_POSDECODE_ZTRANS) {
            unsigned char *saved = seq->align;
            seq->align = nullptr;
            float sc = forback2(seq, nullptr, 0);
            std::free(seq->align);
            seq->align = saved;
            return sc == SCORE_UNSET ? sc : (float)(int)sc;
        }
        if (style == DP_VITERBI) {
            if (engine.FB->query) {
                engine.jump_in_cost = engine.jump_out_cost = 0;
                kernel = dprow_swviterbi;
            } else {
                kernel = dprow_viterbi_fast;
            }
        }
    }
    if (engine.rowtot < 2) grow_dp_rows(2);
    DPCell *prev = slot_row(engine.dpspace, 0), *cur = slot_row(engine.dpspace, 1);
    start_row(prev, engine.FB->trans, L);
    const int *mr, *ir;
    for (int i = 0; i < M; i++) {
        set_prob_mi_tabs(&mr, &ir, seq, i, 0);
        kernel(engine.FB->trans, mr, ir, i, M, L + 1, L, prev, cur, nullptr, nullptr,
               engine.SW_mode, constraint_of(seq, i), engine.FB->nodeinfo);
        DPCell *tmp = prev;
        prev = cur;
        cur = tmp;
    }
    int Z = prev[L + 1].d;
    if (saturated(Z, kernel == dprow_forward_fast, M, L)) {
        warn_saturated(seq);
        return SCORE_UNSET;
    }
    return (float)Z / engine.scalefactor;
}
