// Posterior decoding: forward and backward rows combined into path posteriors, posterior rows and
// expected-count costs; and the conversion of accumulated costs into expected counts.
#include "engine/forward2_post.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "foundation/alphabet.h"
#include "engine/forward2.h"
#include "engine/forward2_internal.h"
#include "engine/forward2_trace.h"
#include "foundation/errors.h"

namespace {

constexpr int BIG = IMPOSSIBLE_COST;
// Posterior costs are kept within 0..POSTERIOR_FLOOR (20 nats).
constexpr int POSTERIOR_FLOOR = PD_EMPTY;
// ln posterior given to a residue whose posterior is below e^-20.
constexpr float LNPROB_FLOOR = -20.0f;

// A posterior piece, capped. Every term is within a few times IMPOSSIBLE_COST (transition and
// emission costs are clamped to +-IMPOSSIBLE_COST), so nothing overflows.
inline int piece(int64_t v) {
    return v > BIG ? BIG : (int)v;
}

// The common case: expected-count costs of residue i, nothing else. Pieces are capped and the
// sums start at the cap, so a sum never exceeds it: the log-sums need no cap of their own.
void count_pieces(int L, const DPCell *F, const DPCell *B, const int *rm, const int *ri,
                  const TransCosts *Tn, const TransCosts *To, TransCosts *__restrict S,
                  int *__restrict cm, int *__restrict ci) {
    {  // the End node: no insert state
        const DPCell &f = F[L + 1];
        int *s = S[L + 1].t;
        const int *to = To[0].t, *tn = Tn[0].t;
        s[1] = LS(s[1], cap_cost(f.m + tn[3]));
        s[4] = LS(s[4], cap_cost(f.m + tn[4]));
        s[7] = LS(s[7], cap_cost(f.m + tn[5]));
        cm[L + 1] = LS(cm[L + 1], cap_cost(f.m + B[0].m - rm[0]));
        s[0] = LS(s[0], cap_cost(f.d + to[0]));
        s[3] = LS(s[3], cap_cost(f.d + to[1]));
        s[6] = LS(s[6], cap_cost(f.d + to[2]));
    }
    for (int k = L; k >= 0; k--) {
        int j = L + 1 - k;
        const DPCell &f = F[k];
        int *s = S[k].t;
        const int *to = To[j].t, *tn = Tn[j].t, *tp = Tn[j - 1].t;
        s[2] = LS(s[2], cap_cost(f.i + tp[6]));
        s[5] = LS(s[5], cap_cost(f.i + tp[7]));
        s[8] = LS(s[8], cap_cost(f.i + tp[8]));
        ci[k] = LS(ci[k], cap_cost(f.i + B[j - 1].i - ri[j - 1]));
        s[1] = LS(s[1], cap_cost(f.m + tn[3]));
        s[4] = LS(s[4], cap_cost(f.m + tn[4]));
        s[7] = LS(s[7], cap_cost(f.m + tn[5]));
        cm[k] = LS(cm[k], cap_cost(f.m + B[j].m - rm[j]));
        s[0] = LS(s[0], cap_cost(f.d + to[0]));
        s[3] = LS(s[3], cap_cost(f.d + to[1]));
        s[6] = LS(s[6], cap_cost(f.d + to[2]));
    }
}

inline void acc(int &slot, int v) {
    slot = LS(slot, v);
}

// A count from an accumulated cost: e^((Z - c)/1000).
inline double count_of(int c, int Z) {
    // e^-746 and less round to 0 in a double: no call (nor its underflow path) for those.
    if ((int64_t)Z - (int64_t)c <= -746000) return 0.0;
    return std::exp(((double)Z - (double)c) / 1000.0);
}

void print_neglog_row(FILE *out, const float *v, int n, int stride) {
    for (int k = 0; k < n; k++) {
        double x = v[(size_t)k * stride];
        if (x <= 1e-20) x = 1e-20;
        std::fprintf(out, "%g ", -std::log(x));
    }
}

}  // namespace

void combine_rows(int L, int i, int letter, const DPCell *F, const DPCell *B, const int *rm,
                  const int *ri, const TransCosts *Tn, const TransCosts *To, TransCosts *S,
                  int style, SeqPathProb *pp, int Z, int *cm, int *ci) {
    // Path posterior of the residue along the sequence's alignment.
    if (pp && i >= 0) {
        int flag = 0;
        int node = backstep_alignment(nullptr, L, style, &flag);
        pp->node = node;
        pp->match = flag;
        int64_t v = BIG;
        if (flag && node >= 1 && node <= L + 1) {
            int j = L + 1 - node;
            v = (int64_t)F[node].m + B[j].m - rm[j];
        } else if (!flag && node >= 0 && node <= L) {
            int j = L + 1 - node;
            v = (int64_t)F[node].i + B[j - 1].i - ri[j - 1];
        }
        v -= Z;
        pp->lnprob = v > POSTERIOR_FLOOR ? LNPROB_FLOOR : -0.001f * (float)(v > 0 ? v : 0);
    }

    bool rowstyle = style == DP_POSDECODE || style == DP_POSDECODE_ALIGN ||
                    style == DP_POSDECODE_ZTRANS || style == DP_POSTERIOR_ROWS;
    if (!rowstyle && i >= 0 && S && cm && ci) {
        count_pieces(L, F, B, rm, ri, Tn, To, S, cm, ci);
        return;
    }

    // Destinations of the posterior pieces.
    int *mrow = nullptr, *irow = nullptr;
    TransCosts *tr = nullptr;
    FBmodel *rows = nullptr;
    if (style == DP_POSDECODE) {
        rows = alloc_FBmodel();
        zero_FBmodel(rows, L, alphabet->emit_length_wild);
        tr = rows->trans;
        if (i >= 0 && letter >= 0 && letter < rows->nrows) {
            mrow = rows->mtables[letter];
            irow = rows->itables[letter];
        }
    } else if (rowstyle && engine.PD) {
        if (i >= 0 && i < engine.PD->nres) {
            mrow = engine.PD->match[i];
            irow = engine.PD->insert[i];
        }
        if (style == DP_POSDECODE_ALIGN && engine.PD->trans && i + 1 <= engine.PD->nres)
            tr = engine.PD->trans[i];
    }

    for (int k = L + 1; k >= 0; k--) {
        int j = L + 1 - k;
        const DPCell &f = F[k];
        int mp = BIG, ip = BIG;
        int src[TC_COUNT];
        for (int e = 0; e < TC_COUNT; e++) src[e] = BIG;
        src[0] = piece((int64_t)f.d + To[j].t[0]);
        src[3] = piece((int64_t)f.d + To[j].t[1]);
        src[6] = piece((int64_t)f.d + To[j].t[2]);
        if (i >= 0) {
            mp = piece((int64_t)f.m + B[j].m - rm[j]);
            src[1] = piece((int64_t)f.m + Tn[j].t[3]);
            src[4] = piece((int64_t)f.m + Tn[j].t[4]);
            src[7] = piece((int64_t)f.m + Tn[j].t[5]);
            if (k <= L) {
                ip = piece((int64_t)f.i + B[j - 1].i - ri[j - 1]);
                src[2] = piece((int64_t)f.i + Tn[j - 1].t[6]);
                src[5] = piece((int64_t)f.i + Tn[j - 1].t[7]);
                src[8] = piece((int64_t)f.i + Tn[j - 1].t[8]);
            }
        }
        if (mrow) mrow[k] = mp;
        if (irow) irow[k] = k <= L ? ip : BIG;
        if (tr)
            for (int e = 0; e < TC_COUNT; e++) tr[k].t[e] = src[e];
        if (S || cm || ci) {
            if (i >= 0 && k <= L && ci) {
                if (S) {
                    acc(S[k].t[2], src[2]);
                    acc(S[k].t[5], src[5]);
                    acc(S[k].t[8], src[8]);
                }
                acc(ci[k], ip);
            }
            if (i >= 0 && cm) {
                if (S) {
                    acc(S[k].t[1], src[1]);
                    acc(S[k].t[4], src[4]);
                    acc(S[k].t[7], src[7]);
                }
                acc(cm[k], mp);
            }
            if (S) {
                acc(S[k].t[0], src[0]);
                acc(S[k].t[3], src[3]);
                acc(S[k].t[6], src[6]);
            }
        }
    }

    if (style == DP_POSDECODE) {
        Model *m = alloc_model(L);
        init_model(m, 0.0);
        accumulate_frequencies(m, rows, Z);
        if (engine.pdoc_output_file) {
            FILE *out = engine.pdoc_output_file;
            std::fprintf(out, "(Residue %d DM+MM+IM) ", i + 1);
            for (int k = 0; k <= L + 1; k++) {
                const float *mj = m->nodes[k]->mjump;
                double x = (double)mj[0] + mj[1] + mj[2];
                if (x <= 1e-20) x = 1e-20;
                std::fprintf(out, "%g ", -std::log(x));
            }
            std::fprintf(out, "\n");
            if (letter >= 0 && i >= 0 && letter < alphabet->emit_length) {
                char ch = alphabet->letters ? alphabet->letters[letter] : '?';
                std::fprintf(out, "(Char %c, index %d, Match) ", ch, letter);
                for (int k = 0; k <= L + 1; k++)
                    print_neglog_row(out, m->nodes[k]->match + letter, 1, 1);
                std::fprintf(out, "\n(Char %c, index %d, Insert) ", ch, letter);
                for (int k = 0; k <= L + 1; k++)
                    print_neglog_row(out, m->nodes[k]->insert + letter, 1, 1);
                std::fprintf(out, "\n");
            }
        }
        free_model(m);
        clear_FBmodel(rows);
        std::free(rows);
        return;
    }

    if (!rowstyle || !engine.PD) return;
    auto clampc = [Z](int v) {
        int64_t d = (int64_t)v - Z;
        return d > POSTERIOR_FLOOR ? POSTERIOR_FLOOR : d < 0 ? 0 : (int)d;
    };
    for (int k = L + 1; k >= 1; k--) {
        if (tr) {
            for (int e = 0; e < 6; e++) tr[k].t[e] = clampc(tr[k - 1].t[e]);
            for (int e = 6; e < TC_COUNT; e++) tr[k].t[e] = clampc(tr[k].t[e]);
        }
        if (mrow) mrow[k] = clampc(mrow[k]);
        if (irow) irow[k] = k <= L ? clampc(irow[k]) : POSTERIOR_FLOOR;
    }
    if (irow) irow[0] = clampc(irow[0]);
    if (mrow) mrow[0] = POSTERIOR_FLOOR;
    if (tr) {
        for (int e = 0; e < 6; e++) tr[0].t[e] = POSTERIOR_FLOOR;
        tr[0].t[7] = POSTERIOR_FLOOR;
        tr[0].t[6] = clampc(tr[0].t[6]);
        tr[0].t[8] = clampc(tr[0].t[8]);
        TransCosts *next = engine.PD->trans[i + 1];
        for (int k = 0; k <= L + 1; k++)
            for (int e = 3; e < TC_COUNT; e++) {
                next[k].t[e] = tr[k].t[e];
                tr[k].t[e] = POSTERIOR_FLOOR;
            }
    }
}

// Shares of the count of a two-letter wildcard at a node between its letters, by the model's
// probabilities of the two (half each when both are 0).
static void share_pair(float *v, double count, int a, int b, int pa_cost, int pb_cost) {
    double pa = prob(pa_cost), pb = prob(pb_cost);
    double s = pa + pb;
    if (s <= 0) {
        v[a] += (float)(count / 2);
        v[b] += (float)(count / 2);
    } else {
        v[a] += (float)(count * pa / s);
        v[b] += (float)(count * pb / s);
    }
}

static void accumulate_emissions(float *v, int *const *accrows, int *const *costs, int k, int Z) {
    const AlphabetInfo *a = alphabet;
    if (a->id == CODON_ALPHABET_ID) {
        for (int x = 0; x < 5; x++)
            for (int y = 0; y < 5; y++)
                for (int z = 0; z < 5; z++) {
                    int letter = 25 * x + 5 * y + z;
                    int c = accrows[letter][k];
                    if ((int64_t)c - Z >= COST_OF_ZERO) continue;
                    double n = count_of(c, Z);
                    if (x < 4 && y < 4 && z < 4) {
                        v[16 * x + 4 * y + z] += (float)n;
                        continue;
                    }
                    double w[64], sum = 0;
                    int ok[64];
                    for (int cd = 0; cd < 64; cd++) {
                        int cx = cd / 16, cy = (cd / 4) % 4, cz = cd % 4;
                        ok[cd] = (x == 4 || x == cx) && (y == 4 || y == cy) && (z == 4 || z == cz);
                        w[cd] = ok[cd] ? prob(costs[25 * cx + 5 * cy + cz][k]) : 0;
                        sum += w[cd];
                    }
                    int nok = 0;
                    for (int cd = 0; cd < 64; cd++) nok += ok[cd];
                    for (int cd = 0; cd < 64; cd++) {
                        if (!ok[cd]) continue;
                        v[cd] += (float)(sum > 0 ? n * w[cd] / sum : n / nok);
                    }
                }
        return;
    }
    int A = a->length;
    int wild = wildcard_index(a);
    int Sw = accrows[wild][k];
    bool use_wild = wild >= A && (int64_t)Sw - Z < COST_OF_ZERO;
    for (int x = 0; x < A; x++) {
        int c = accrows[x][k];
        if (use_wild) c = LSC(c, cap_cost(costs[x][k] + Sw));
        v[x] += (float)count_of(c, Z);
    }
    for (int w = A; w < a->length_wild; w++) {
        int x, y;
        if (wildcard_pair(w, &x, &y))
            share_pair(v, count_of(accrows[w][k], Z), x, y, costs[x][k], costs[y][k]);
    }
}

void accumulate_frequencies(Model *model, const FBmodel *S, int Z) {
    if (!model || !S) return;
    int L = model->length;
    if (S->length != L || engine.FB->length != L)
        error("accumulate_frequencies: model lengths differ");
    auto cnt = [Z](int c) { return (float)count_of(c, Z); };
    for (int k = 0; k <= L + 1; k++) {
        Node *n = model->nodes[k];
        const TransCosts *sk = S->trans;
        if (k == 0) {
            n->ijump[1] += cnt(sk[0].t[6]);
            n->ijump[2] += cnt(sk[0].t[8]);
        } else if (k == 1) {
            n->djump[1] += cnt(sk[0].t[0]);
            n->djump[2] += cnt(sk[0].t[2]);
            n->mjump[1] += cnt(sk[0].t[3]);
            n->mjump[2] += cnt(sk[0].t[5]);
        } else if (k <= L) {
            for (int e = 0; e < 3; e++) {
                n->djump[e] += cnt(sk[k - 1].t[e]);
                n->mjump[e] += cnt(sk[k - 1].t[3 + e]);
            }
        } else {
            for (int e = 0; e < 3; e++) n->mjump[e] += cnt(sk[L].t[e]);
        }
        if (k >= 1 && k <= L)
            for (int e = 0; e < 3; e++) n->ijump[e] += cnt(sk[k].t[6 + e]);
    }
    for (int k = 0; k <= L + 1; k++)
        accumulate_emissions(model->nodes[k]->match, S->mtables, engine.FB->mtables, k, Z);
    for (int k = 0; k <= L + 1; k++)
        accumulate_emissions(model->nodes[k]->insert, S->itables, engine.FB->itables, k, Z);
}
