// Viterbi traceback output: the alignment code and path counts of a state path, one emission
// count with wildcards shared out, and the backward walk over an existing alignment code.
#include "engine/forward2_trace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/alphabet.h"
#include "engine/forward2.h"
#include "engine/forward2_internal.h"
#include "foundation/errors.h"

namespace {

constexpr int BIG = IMPOSSIBLE_COST;

// Largest run a byte of the engine's alignment code holds.
constexpr int MAX_INSERT_RUN = 99;  // bytes 1..99
constexpr int MAX_MATCH_RUN = 99;   // bytes 101..199
constexpr int MAX_DELETE_RUN = 55;  // bytes 201..255

// Index of a from-state in a node's jump triple: delete 0, match 1, insert 2.
inline int from_index(int code) {
    return -code - 1;
}

struct Encoder {
    unsigned char *code;
    size_t cap;
    size_t pos;  // index of the current byte; nothing written yet when started is false
    bool started;

    // Extends the current byte when it is a run of the kind based at base (1, 101, 201) that
    // holds fewer than max steps; otherwise starts a new byte.
    void step(int base, int max, bool force_new = false) {
        if (started && !force_new && code[pos] >= base && code[pos] <= base + max - 2) {
            code[pos]++;
            return;
        }
        if (started) pos++;
        if (pos + 1 >= cap) {  // never past the buffer (a path longer than its sequence)
            pos = cap - 2;
        }
        code[pos] = (unsigned char)base;
        started = true;
    }
};

// Cost of residue i at node k (match or insert state) over every track.
int64_t emission_cost(const Sequence *seq, int i, int k, bool match) {
    int64_t c = 0;
    for (int t = 0; t < engine.numtracks; t++) {
        const Model *tm = t < seq->ntracks ? seq->tracks[t].model : nullptr;
        if (tm) {
            if (!tm->weights || i + 1 > tm->length + 1 || !engine.Modtrack[t]->weights) continue;
            const ModWeight *pw = tm->weights[i + 1];
            const ModWeight *mw = engine.Modtrack[t]->weights[k];
            int v = combine_wseq_wmod(match ? pw->match : pw->insert,
                                      match ? mw->match : mw->insert, t, engine.Prob_seq_method);
            c = (int64_t)((double)v * engine.trackcoeffs[t] + (double)c);
        } else {
            int x = track_letter(seq, t, i);
            const FBmodel *fb = engine.FBtrack[t];
            if (x < 0 || x >= fb->nrows) continue;
            c += match ? fb->mtables[x][k] : fb->itables[x][k];
        }
    }
    return c;
}

// Counts residue i at node k of the counts model.
void emission_count(const Sequence *seq, Model *counts, int i, int k, bool match) {
    if (!counts || k < 0 || k > counts->length + 1) return;
    Node *node = counts->nodes[k];
    float *v = match ? node->match : node->insert;
    const Model *tm = seq->ntracks > 0 ? seq->tracks[0].model : nullptr;
    if (tm) {
        if (i + 1 > tm->length + 1) return;
        const Node *col = tm->nodes[i + 1];
        const float *src = match ? col->match : col->insert;
        int A = alphabet->emit_length;
        for (int a = 0; a < A; a++) v[a] += src[a];
        return;
    }
    do_wild_vit(v, match ? engine.FB->mtables : engine.FB->itables, k, track_letter(seq, 0, i));
}

double prob_of(int c) {
    return prob(c);
}

}  // namespace

bool wildcard_pair(int x, int *a, int *b) {
    if (!alphabet || !alphabet->letters || x < 0 || x >= alphabet->length_wild) return false;
    char ch = alphabet->letters[x];
    const char *pair = nullptr;
    int id = alphabet->id;
    if (id == DNA_ALPHABET_ID) {
        if (ch == 'R') pair = "AG";
        if (ch == 'Y') pair = "CT";
    } else if (id == RNA_ALPHABET_ID) {
        if (ch == 'R') pair = "AG";
        if (ch == 'Y') pair = "CU";
    } else if (id == PROTEIN_ALPHABET_ID) {
        if (ch == 'B') pair = "DN";
        if (ch == 'Z') pair = "EQ";
    }
    if (!pair) return false;
    *a = letter_index(alphabet, pair[0]);
    *b = letter_index(alphabet, pair[1]);
    return *a >= 0 && *b >= 0 && *a < alphabet->length && *b < alphabet->length;
}

void do_wild_vit(float *v, int *const *T, int k, int x) {
    if (!alphabet || x < 0) return;
    if (alphabet->id == CODON_ALPHABET_ID) {
        int n[3] = {x / 25, (x / 5) % 5, x % 5};
        int unknown = (n[0] == 4) + (n[1] == 4) + (n[2] == 4);
        if (unknown == 0) {
            v[16 * n[0] + 4 * n[1] + n[2]] += 1;
            return;
        }
        // Every codon that agrees with the known positions, by the model's probabilities.
        double w[64], sum = 0;
        int ok[64];
        for (int c = 0; c < 64; c++) {
            int cx = c / 16, cy = (c / 4) % 4, cz = c % 4;
            ok[c] =
                (n[0] == 4 || n[0] == cx) && (n[1] == 4 || n[1] == cy) && (n[2] == 4 || n[2] == cz);
            w[c] = ok[c] ? prob_of(T[25 * cx + 5 * cy + cz][k]) : 0;
            sum += w[c];
        }
        for (int c = 0; c < 64; c++) {
            if (!ok[c]) continue;
            if (unknown == 3)
                v[c] += (float)w[c];
            else if (sum > 0)
                v[c] += (float)(w[c] / sum);
        }
        return;
    }
    int A = alphabet->length;
    if (x < A) {
        v[x] += 1;
        return;
    }
    if (x == wildcard_index(alphabet)) {
        for (int a = 0; a < A; a++) v[a] += (float)prob_of(T[a][k]);
        return;
    }
    int a, b;
    if (!wildcard_pair(x, &a, &b)) return;
    int s = LSC(T[a][k], T[b][k]);
    v[a] += (float)prob_of(T[a][k] - s);
    v[b] += (float)prob_of(T[b][k] - s);
}

int encode_alignment(int *path, Sequence *seq, int L, Model *counts) {
    int M = seq->len;
    size_t cap = (size_t)L + (size_t)M + 2;
    unsigned char *code = static_cast<unsigned char *>(mem_alloc(cap));
    std::free(seq->align);
    seq->align = nullptr;
    if (path[0] != TB_DELETE) std::fprintf(stderr, "Error in forward2:encode_algnment\n");
    int t = 0;
    while (path[t] != PATH_END) t++;
    int first = t - 1;
    if (first < 0 || path[first] >= 0)
        error("encode_alignment: a state path must begin with a delete, match or insert step");
    const TransCosts *T = engine.FB->trans;
    Encoder enc{code, cap, 0, false};
    int64_t c = 0;
    int k, i;
    int s = path[first];
    auto count_jump = [&](float *jump, int p) {
        if (counts && p < 0) jump[from_index(p)] += 1;
    };
    auto emit = [&](int res, int node, bool match) {
        if (res >= M) return;
        c += emission_cost(seq, res, node, match);
        emission_count(seq, counts, res, node, match);
    };
    if (s == TB_INSERT) {
        enc.step(1, MAX_INSERT_RUN);
        k = 0;
        if (counts) counts->nodes[0]->ijump[1] += 1;
        c = T[0].t[TC_ID];
        emit(0, 0, false);
        i = 1;
    } else if (s == TB_DELETE) {
        enc.step(ALIGN_DELETE_BASE + 1, MAX_DELETE_RUN);
        k = 1;
        if (counts) counts->nodes[1]->djump[1] += 1;
        c = T[1].t[TC_DD];
        i = 0;
    } else {
        enc.step(ALIGN_MATCH_BASE + 1, MAX_MATCH_RUN);
        k = 1;
        if (counts) counts->nodes[1]->mjump[1] += 1;
        c = T[1].t[TC_MD];
        emit(0, 1, true);
        i = 1;
    }
    int p = s;
    for (int idx = first - 1; idx >= 1; idx--) {
        s = path[idx];
        if (k > L + 1) break;
        if (s == TB_INSERT) {
            enc.step(1, MAX_INSERT_RUN);
            if (p < 0) {
                if (counts) count_jump(counts->nodes[k]->ijump, p);
                c += T[k].t[TC_ID + from_index(p)];
            }
            emit(i, k, false);
            i++;
        } else if (s == TB_MATCH) {
            k++;
            if (k > L + 1) break;
            enc.step(ALIGN_MATCH_BASE + 1, MAX_MATCH_RUN);
            if (p < 0) {
                if (counts) count_jump(counts->nodes[k]->mjump, p);
                c += T[k].t[TC_MD + from_index(p)];
            }
            emit(i, k, true);
            i++;
        } else if (s == TB_DELETE) {
            k++;
            if (k > L + 1) break;
            enc.step(ALIGN_DELETE_BASE + 1, MAX_DELETE_RUN);
            if (p < 0) {
                if (counts)
                    count_jump(k == L + 1 ? counts->nodes[k]->mjump : counts->nodes[k]->djump, p);
                c += T[k].t[TC_DD + from_index(p)];
            }
        } else if (s >= 0) {
            if (k <= 1) {  // a jump in: n-1 deletes, then a match in a new byte
                c += engine.jump_in_cost;
                for (int d = 0; d < s - 1; d++) {
                    k++;
                    enc.step(ALIGN_DELETE_BASE + 1, MAX_DELETE_RUN);
                }
                k++;
                if (k > L + 1) break;
                enc.step(ALIGN_MATCH_BASE + 1, MAX_MATCH_RUN, true);
                emit(i, k, true);
                i++;
                path[idx] = TB_MATCH;
            } else {  // a jump out: n deletes
                c += engine.jump_out_cost;
                for (int d = 0; d < s; d++) {
                    k++;
                    enc.step(ALIGN_DELETE_BASE + 1, MAX_DELETE_RUN);
                }
            }
        }
        p = path[idx];
    }
    if (path[0] == TB_DELETE && first >= 1 && p < 0) {
        if (counts) count_jump(counts->nodes[L + 1]->mjump, p);
        c += T[L + 1].t[TC_DD + from_index(p)];
    } else if (first >= 1) {
        std::fprintf(stderr, "Internal error in encode_alignment\n");
    }
    size_t len = enc.started ? enc.pos + 1 : 0;
    code[len] = 0;
    seq->align = static_cast<unsigned char *>(mem_realloc(code, len + 1));
    if (c > BIG) c = BIG;
    if (c < -BIG) c = -BIG;
    return (int)c;
}

// The backward walk over an alignment code (its state is the engine's bs_* fields).
int backstep_alignment(const Sequence *seq, int L, int style, int *match) {
    if (seq) {
        std::free(engine.bs_code);
        engine.bs_code = nullptr;
        engine.bs_res = seq->len;
        engine.bs_node = L;
        size_t n = seq->align ? std::strlen(reinterpret_cast<const char *>(seq->align)) : 0;
        engine.bs_code = static_cast<unsigned char *>(mem_alloc(n + 10));
        size_t w = 0;
        if (style == DP_PATHPROB_END) engine.bs_code[w++] = ALIGN_DELETE_BASE + 1;
        for (size_t r = 0; r < n; r++) engine.bs_code[w++] = seq->align[n - 1 - r];
        engine.bs_code[w] = 100;  // end marker (the walk is bounded by the length as well)
        engine.bs_len = w;
        engine.bs_pos = 0;
        return L;
    }
    if (match) *match = 0;
    while (engine.bs_code && engine.bs_pos < engine.bs_len && engine.bs_node >= 0) {
        unsigned char &b = engine.bs_code[engine.bs_pos];
        if (b >= 1 && b <= ALIGN_MATCH_BASE) {
            engine.bs_res--;
            if (--b == 0) engine.bs_pos++;
            return engine.bs_node;
        }
        if (b > ALIGN_MATCH_BASE && b <= ALIGN_DELETE_BASE) {
            engine.bs_res--;
            if (--b == ALIGN_MATCH_BASE) engine.bs_pos++;
            if (match) *match = 1;
            return engine.bs_node--;
        }
        if (b > ALIGN_DELETE_BASE) engine.bs_node -= b - ALIGN_DELETE_BASE;
        engine.bs_pos++;
    }
    std::free(engine.bs_code);
    engine.bs_code = nullptr;
    engine.bs_len = engine.bs_pos = 0;
    return -1;
}
