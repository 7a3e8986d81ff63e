// Five-state alignment of a model against a profile sequence.
#include "engine/forward2_fivestate.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/alphabet.h"
#include "engine/fbmodel.h"
#include "engine/forward2_internal.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"

const char V_5STATE[] = "?MNIDGX";
// Letter printed for a jump over one or more nodes (the state letters stop at code 0).
static const char JUMP_LETTER = 'J';

void set_mi_tables_5(const int **mtab, const int **itab, const int **mitab, const Sequence *seq,
                     int pos, int reversed) {
    int L = engine.FB->length;
    int *mtabmem = engine.mtabmem, *itabmem = engine.itabmem, *mitabmem = engine.mitabmem;
    *mtab = mtabmem;
    *itab = itabmem;
    *mitab = mitabmem;
    for (int j = 0; j <= L + 1; j++) mtabmem[j] = itabmem[j] = mitabmem[j] = 0;
    for (int t = 0; t < engine.numtracks; t++)
        if (t >= seq->ntracks || !seq->tracks[t].model)
            error("For five-state models, all sequences tracks must be HMMs");
    int M = seq->len;
    int c = seq->reversed ? M - 1 - pos : pos;
    if (c < 0 || c >= M) {
        for (int j = 0; j <= L + 1; j++) mtabmem[j] = itabmem[j] = mitabmem[j] = IMPOSSIBLE_COST;
        return;
    }
    for (int t = 0; t < engine.numtracks; t++) {
        const Model *tm = seq->tracks[t].model;
        // The profile's own nodes only (1 to length): the five-state alignment pairs them with
        // the model's, and its end node is no node to pair with.
        const ModWeight *col = profile_column(tm, c, tm->length, t, seq);
        const Model *mod = engine.Modtrack[t];
        const double coef = engine.trackcoeffs[t];
        const int method = engine.Prob_seq_method;
        for (int j = 0; j <= L + 1; j++) {
            int node = reversed && j >= 1 && j <= L ? L + 1 - j : j;
            const ModWeight *w = mod->weights[node];
            mtabmem[j] = clamp_cost64(
                (int64_t)(combine_wseq_wmod(col->match, w->match, t, method) * coef + mtabmem[j]));
            itabmem[j] = clamp_cost64(
                (int64_t)(combine_wseq_wmod(col->match, w->insert, t, method) * coef + itabmem[j]));
            mitabmem[j] = clamp_cost64((
                int64_t)(combine_wseq_wmod(col->insert, w->match, t, method) * coef + mitabmem[j]));
        }
    }
}

// Cell k of a row of five-cost cells.
static int *cell(int *row, int k) {
    return row + (size_t)k * FS_CELL;
}

// Code of the winning source among five candidate costs in the order M, N, I, D, G, with the
// tie order M, N, I, D, G: a state wins only when strictly below every later one.
static int winner(const int64_t v[5], int64_t *best) {
    static const int codes[5] = {FS_CODE_M, FS_CODE_N, FS_CODE_I, FS_CODE_D, FS_CODE_G};
    for (int a = 0; a < 4; a++) {
        bool below = true;
        for (int b = a + 1; b < 5; b++)
            if (!(v[a] < v[b])) below = false;
        if (below) {
            *best = v[a];
            return codes[a];
        }
    }
    *best = v[4];
    return codes[4];
}

// Cost positions of a source cell in the order of the table's columns (M, N, I, D, G).
static const int FROM[5] = {FS_M, FS_N, FS_I, FS_D, FS_G};

// One cell state of node k: the best of the five sources of src plus the costs of the table,
// plus the emission; stores the cost into dst[state] and the winner into tb[state].
static void relax(int *dst, int *tb, int state, const int *src, const int64_t add[5], int emit) {
    int64_t v[5];
    for (int f = 0; f < 5; f++) v[f] = (int64_t)src[FROM[f]] + add[f];
    int64_t best;
    tb[state] = winner(v, &best);
    dst[state] = clamp_cost64(best + emit);
}

// The M, N and D cells of node k >= 1 of row cur (previous row prev) for sequence position s.
static void five_cells(int *cur, const int *prev, int *tbrow, int k, const TransCosts &mt,
                       const TransCosts &qt, int me, int ie) {
    const int *m = mt.t, *q = qt.t;
    int *dst = cell(cur, k);
    int *tb = cell(tbrow, k);
    const int *diag = cell(const_cast<int *>(prev), k - 1);
    const int *left = cell(cur, k - 1);
    // Columns: from M, N, I, D, G.
    const int64_t intoM[5] = {(int64_t)m[TC_MM] + q[TC_MM], (int64_t)m[TC_MM] + q[TC_MI],
                              (int64_t)m[TC_MI] + q[TC_MM], m[TC_MD], q[TC_MD]};
    const int64_t intoN[5] = {(int64_t)m[TC_MM] + q[TC_IM], (int64_t)m[TC_MM] + q[TC_II],
                              (int64_t)m[TC_MI] + q[TC_IM], (int64_t)m[TC_MD] + q[TC_IM], q[TC_ID]};
    const int64_t intoD[5] = {(int64_t)m[TC_DM] + q[TC_MM], (int64_t)m[TC_DM] + q[TC_MI],
                              (int64_t)m[TC_DI] + q[TC_MM], m[TC_DD], (int64_t)m[TC_DM] + q[TC_MD]};
    relax(dst, tb, FS_M, diag, intoM, me);
    relax(dst, tb, FS_N, left, intoN, ie);
    relax(dst, tb, FS_D, left, intoD, 0);
}

// The I and G cells of node k (source: the same node in the previous row).
static void up_cells(int *cur, const int *prev, int *tbrow, int k, const TransCosts &mt,
                     const TransCosts &qt, int mie) {
    const int *m = mt.t, *q = qt.t;
    const int64_t intoI[5] = {(int64_t)m[TC_IM] + q[TC_MM], (int64_t)m[TC_IM] + q[TC_MI],
                              (int64_t)m[TC_II] + q[TC_MM], m[TC_ID], (int64_t)m[TC_IM] + q[TC_MD]};
    const int64_t intoG[5] = {(int64_t)m[TC_MM] + q[TC_DM], (int64_t)m[TC_MM] + q[TC_DI],
                              (int64_t)m[TC_MI] + q[TC_DM], (int64_t)m[TC_MD] + q[TC_DM], q[TC_DD]};
    const int *up = cell(const_cast<int *>(prev), k);
    relax(cell(cur, k), cell(tbrow, k), FS_I, up, intoI, mie);
    relax(cell(cur, k), cell(tbrow, k), FS_G, up, intoG, 0);
}

void viterbi_traceback5(const int *tb, int *path, int *index, int *state, int pos, int *node) {
    (void)pos;
    int i = *index, s = *state, n = *node;
    // M, I and G end the row (the next row goes on from the cell they came from); N, D and jumps
    // stay in the row at a lower node.
    while (n >= 0) {
        const int *c = tb + (size_t)n * FS_CELL;
        if (s == FS_CODE_M) {
            path[i] = FS_CODE_M;
            int e = c[FS_M];
            if (e < 0) {
                s = e;
                n--;
            } else if (e > n) {
                std::fprintf(stderr, "Internal Error: vtb: jump from node %d to node %d\n", n, e);
                n = -1;
            } else {
                path[i] = n - e;  // a jump in, landing on this match state
                n = e;
                if (e == 1)
                    s = FS_CODE_D;
                else
                    std::fprintf(stderr, "Internal Error: vtb: jump to node other than 1 (%d)\n",
                                 e);
            }
            i++;
            break;
        } else if (s == FS_CODE_I || s == FS_CODE_G) {
            path[i++] = s;
            s = c[s == FS_CODE_I ? FS_I : FS_G];
            break;
        } else if (s == FS_CODE_N || s == FS_CODE_D) {
            path[i++] = s;
            s = c[s == FS_CODE_N ? FS_N : FS_D];
            n--;
        } else if (s >= 0 && s <= n) {  // a jump out of node s's match state
            path[i++] = n - s;
            n = s;
            s = s == 1 ? FS_CODE_D : FS_CODE_M;
        } else {
            // The start of the matrix, or a jump that does not go down: the walk stops here.
            if (s != FS_CODE_END)
                std::fprintf(stderr, "Internal Error: vtb: jump from node %d to node %d\n", n, s);
            n = -1;
        }
    }
    path[i] = FS_CODE_END;
    *index = i;
    *state = s;
    *node = n;
}

// Letter of residue index r of the current alphabet ('?' without a residue).
static char letter_of(const Sequence *seq, int pos) {
    if (pos < 0 || pos >= seq->len || !seq->tracks[0].res) return '?';
    unsigned r = seq->tracks[0].res[pos];
    const char *letters = alphabet ? alphabet->letters : nullptr;
    size_t n = letters ? std::strlen(letters) : 0;
    return r < n ? letters[r] : 'X';
}

void string_alignment5(const int *path, Sequence *mseq, Sequence *seq, char **mline, char **sline,
                       int fims_added_flag) {
    int A = mseq->len - (fims_added_flag ? 1 : 0);
    int S = seq->len;
    size_t cap = (size_t)(A > 0 ? A : 0) + (size_t)(S > 0 ? S : 0) + 4;
    char *ml = static_cast<char *>(mem_alloc(cap));
    char *sl = static_cast<char *>(mem_alloc(cap));
    std::free(seq->align);
    seq->align = nullptr;
    std::free(mseq->align);
    mseq->align = nullptr;

    int term = 0;
    while (path[term] != FS_CODE_END) term++;
    int mi = 0, si = 0;
    if (term > 0) {
        int first = path[term - 1];
        if (first >= 0) error("stringalignment5: the path starts with a jump (%d)", first);
        if (first == FS_CODE_D)
            mi = -1;
        else if (first == FS_CODE_G)
            si = -1;
        else
            std::fprintf(stderr, "Warning:  Invalid starting state %d in stringalignment5\n",
                         first);
    }
    size_t col = 0;
    // One column; columns past the strings' room are dropped (a path can only fill it when it
    // is inconsistent).
    auto put = [&](char m, char q) {
        if (col + 1 >= cap) return;
        ml[col] = m;
        sl[col] = q;
        col++;
    };
    auto inside_m = [&]() { return mi >= 0 && mi < mseq->len; };
    auto inside_s = [&]() { return si >= 0 && si < S; };
    for (int p = term - 1; p >= 0; p--) {
        int code = path[p];
        char m = letter_of(mseq, mi), q = letter_of(seq, si);
        switch (code) {
            case FS_CODE_M:
                put((char)std::toupper((unsigned char)m), (char)std::toupper((unsigned char)q));
                mi++;
                si++;
                break;
            case FS_CODE_N:
                put((char)std::tolower((unsigned char)m), '.');
                mi++;
                break;
            case FS_CODE_I:
                put('.', (char)std::tolower((unsigned char)q));
                si++;
                break;
            case FS_CODE_D:
                if (inside_m()) put((char)std::toupper((unsigned char)m), '-');
                mi++;
                break;
            case FS_CODE_G:
                if (inside_s()) put('-', (char)std::toupper((unsigned char)q));
                si++;
                break;
            default:
                if (code < 0) break;
                if (mi > 1) {  // jump out: the skipped nodes against gaps
                    for (int k = 0; k < code; k++) {
                        if (inside_m())
                            put((char)std::toupper((unsigned char)letter_of(mseq, mi)), '-');
                        mi++;
                    }
                } else {  // jump in: the skipped nodes, then the match it lands on
                    for (int k = 0; k < code - 1; k++) {
                        if (inside_m())
                            put((char)std::toupper((unsigned char)letter_of(mseq, mi)), '-');
                        mi++;
                    }
                    put((char)std::toupper((unsigned char)letter_of(mseq, mi)),
                        (char)std::toupper((unsigned char)letter_of(seq, si)));
                    mi++;
                    si++;
                }
                break;
        }
    }
    ml[col] = sl[col] = '\0';
    if (si != S + 1 || mi != mseq->len + 1)
        std::fprintf(stderr, "error: stringalign5 ending with si %d mi %d (want %d %d)\n", si, mi,
                     S, mseq->len);
    std::fprintf(stderr, "mseq %s\nseq  %s\n", ml, sl);
    *mline = ml;
    *sline = sl;
}

void fivestate_align(Sequence *seq, Sequence *mseq, int reversed) {
    if (!engine.FB || engine.numtracks < 1 || engine.FB->length < 1)
        error("init_forward2 must be called before fivestate_align");
    set_pseq_scale(engine.Modtrack, engine.numtracks, seq, engine.Prob_seq_method);
    if (seq->ntracks < 1 || !seq->tracks[0].model)
        error("HMM-HMM alignment called without an hmm sequence");
    if (engine.DP_style != DP_FIVESTATE)
        error("HMM-HMM alignment called without dp style %d", DP_FIVESTATE);
    use_track_alphabet(0);
    int L = engine.FB->length;
    int M = seq->len;

    // The sequence side's transitions: its track model as an integer model, scale 1.
    engine.seqfb5 = model2fbmodel(seq->tracks[0].model, engine.seqfb5, 1.0f);
    if (engine.seqfb5->length < M)
        error("Profile track %d of %s is shorter than the sequence", 0,
              shown_text(seq->id).c_str());

    // The whole matrix: two cost rows and the traceback rows of positions 0..M, sized in size_t
    // and refused beyond the memory limit.
    size_t cells = (size_t)L + 2;
    size_t rowsize = cells * FS_CELL * sizeof(int);
    if (engine.rowbytes < 0 || (size_t)engine.rowbytes < rowsize)
        error("init_forward2 must be called before fivestate_align");
    size_t need = ((size_t)M + 3) * (size_t)engine.rowbytes;
    if (engine.rowtot < M + 3) {
        if (maxmem > 0 && need > (size_t)maxmem)
            error("Five-state alignment of %s needs a matrix of %zu bytes, more than maxmem (%d)",
                  shown_text(seq->id).c_str(), need, maxmem);
        grow_dp_rows(M + 3);
    }
    char *area = reinterpret_cast<char *>(engine.dpspace);
    auto row_at = [&](int slot) {
        return reinterpret_cast<int *>(area + (size_t)slot * engine.rowbytes);
    };
    int *prev = row_at(0), *cur = row_at(1);
    auto tb_row = [&](int s) { return row_at(2 + s); };

    // Start row.
    const TransCosts *mt = engine.FB->trans;
    const int sw = engine.SW_mode, jin_cost = engine.jump_in_cost, jout_cost = engine.jump_out_cost;
    for (int k = 0; k <= L + 1; k++) {
        int *c = cell(prev, k);
        c[FS_M] = c[FS_N] = c[FS_I] = c[FS_G] = IMPOSSIBLE_COST;
        c[FS_D] = k == 0 ? 0 : clamp_cost64((int64_t)cell(prev, k - 1)[FS_D] + mt[k].t[TC_DD]);
    }
    cell(prev, 0)[FS_G] = 0;

    for (int s = 0; s <= M; s++) {
        const int *mtab, *itab, *mitab;
        set_mi_tables_5(&mtab, &itab, &mitab, seq, s, reversed);
        const TransCosts &qt = engine.seqfb5->trans[s + 1];
        int *tb = tb_row(s);
        int *c0 = cell(cur, 0);
        c0[FS_M] = c0[FS_N] = c0[FS_D] = IMPOSSIBLE_COST;
        int *t0 = cell(tb, 0);
        t0[FS_M] = t0[FS_N] = t0[FS_D] = FS_CODE_END;
        up_cells(cur, prev, tb, 0, mt[0], qt, mitab[0]);
        bool jump_in = sw == SW_LOCAL || (sw == SW_SEMILOCAL && s == 0);
        bool jump_out = sw == SW_LOCAL || (sw == SW_SEMILOCAL && s == M - 1);
        for (int k = 1; k <= L + 1; k++) {
            if (k == L + 1 && jump_out && L >= 3) {
                // Jump out of the best match state of nodes 2..L-1 into node L's delete state.
                int best = 2;
                for (int j = 3; j <= L - 1; j++)
                    if (cell(cur, j)[FS_M] < cell(cur, best)[FS_M]) best = j;
                int64_t v = (int64_t)cell(cur, best)[FS_M] + jout_cost;
                if (v < cell(cur, L)[FS_D]) {
                    cell(cur, L)[FS_D] = clamp_cost64(v);
                    cell(tb, L)[FS_D] = best;
                }
            }
            five_cells(cur, prev, tb, k, mt[k], qt, mtab[k], itab[k]);
            up_cells(cur, prev, tb, k, mt[k], qt, mitab[k]);
            if (jump_in && k >= 2 && k <= L - 1) {
                int64_t v = (int64_t)jin_cost + cell(prev, 1)[FS_D] + mtab[k];
                if (v <= cell(cur, k)[FS_M]) {
                    cell(cur, k)[FS_M] = clamp_cost64(v);
                    cell(tb, k)[FS_M] = 1;
                }
            }
        }
        int *t = prev;
        prev = cur;
        cur = t;
    }

    // Trace back from the end node.
    const int *end = cell(prev, L + 1);
    int state = end[FS_D] < end[FS_G] ? FS_CODE_D : FS_CODE_G;
    grow_align2space(2 * cells + (size_t)M + 8);
    int *path5 = engine.align2space;
    int index = 0, node = L + 1;
    for (int s = M; s >= 0; s--) viterbi_traceback5(tb_row(s), path5, &index, &state, s, &node);
    for (; node >= 0; node--) path5[index++] = FS_CODE_D;
    path5[index] = FS_CODE_END;

    for (int p = 0; p <= index; p++) {
        int code = path5[p];
        char letter = code <= 0 && code >= FS_CODE_END ? V_5STATE[-code] : JUMP_LETTER;
        std::fprintf(stderr, "%d %c ", p, letter);
    }
    std::fputc('\n', stderr);
    char *ml = nullptr, *sl = nullptr;
    string_alignment5(path5, mseq, seq, &ml, &sl, fims_added());
    std::free(ml);
    std::free(sl);
}
