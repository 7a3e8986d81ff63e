// Model surgery: deletion of rarely used positions and insertion where sequences insert often,
// by the counts of the expectation step or by a guide alignment; the probability model and its
// count model change together. Also the insert-table comparisons of the BINARY writer.
#include "models/models_surgery.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/alphabet.h"
#include "models/models.h"
#include "models/models_estimate.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "sequences/model_records.h"

enum { FROM_DELETE = 0, FROM_MATCH = 1, FROM_INSERT = 2 };

// A node that surgery may delete: absent, or untyped and unlabelled.
static bool deletable(const Node *n) {
    return !n || (n->type == 0 && n->lab == -1);
}

static float sum3(const float *t) {
    return t[0] + t[1] + t[2];
}

int *analyse_freq(const Model *model, const Model *counts, int end_mode, double del_threshold,
                  double ins_threshold, double ins_scale) {
    int L = counts->length;
    const Node *n1 = counts->nodes[1];
    float nseq =
        n1->djump[FROM_MATCH] + n1->mjump[FROM_MATCH] + counts->nodes[0]->ijump[FROM_MATCH];
    if (nseq == 0.0f) {
        std::fprintf(stderr, "Warning: analyse_freq computes 0 Nseq for unknown reason.\n");
        std::fprintf(stderr, "Surgery procedure skipped.\n");
        return nullptr;
    }
    int *changes = static_cast<int *>(mem_alloc(((size_t)L + 2) * sizeof(int)));
    bool ends = end_mode == 0 || end_mode == 3;
    double g = 1.0;
    for (int i = 0; i <= L; i++) {
        const Node *pn = i <= model->length + 1 ? model->nodes[i] : nullptr;
        if (pn && pn->type) continue;
        if ((i < 2 || i == L) && !ends) continue;
        const Node *c = counts->nodes[i];
        float M = sum3(c->mjump);
        float T = M + sum3(c->djump);
        if (!(T > 0.0f)) continue;
        if (i > 0) g = M / T;
        // Begin is never deleted, whatever the threshold.
        if (i > 0 && g < del_threshold && deletable(pn)) {
            changes[i] = SURGERY_DELETE;
            continue;
        }
        float E = c->ijump[FROM_DELETE] + c->ijump[FROM_MATCH];
        if (E > 0.0f && E / T > ins_threshold) {
            double k = c->ijump[FROM_INSERT] / E * ins_scale + 1.0;
            changes[i] = k < (double)L + 1e6 ? (int)k : L + 1000000;
        }
    }
    return changes;
}

// The report of a change array: deleted runs and insertions.
static void report_changes(FILE *out, const int *c, int L, int newlen) {
    std::fprintf(out, "%% Surgery, New mod. length %d\n%%    ", newlen);
    for (int i = 0; i <= L + 1; i++) {
        if (c[i] == SURGERY_DELETE) {
            int j = i;
            while (j + 1 <= L + 1 && c[j + 1] == SURGERY_DELETE) j++;
            if (j == i)
                std::fprintf(out, "D%d ", i);
            else
                std::fprintf(out, "D%d-%d ", i, j);
            i = j;
        } else if (c[i] > 0) {
            std::fprintf(out, "I%d{%d} ", i, c[i]);
        }
    }
    std::fprintf(out, "\n");
    flush_outputfile(out);
}

int multi_adapt_model_maxlen(FILE *report, Model **models, Model **counts, const Model *reg, int n,
                             int max_length, double del_threshold, double ins_threshold,
                             double ins_scale, int max_insert, int end_mode) {
    if (n < 1) return 0;
    int L = models[0]->length;
    for (int k = 0; k < n; k++)
        for (const Model *m : {models[k], counts[k]})
            if (m->length != L)
                error("Surgery on models of different lengths (%d and %d)", L, m->length);
    int *c = nullptr;
    for (int k = 0; k < n; k++) {
        int *a =
            analyse_freq(models[k], counts[k], end_mode, del_threshold, ins_threshold, ins_scale);
        if (!a) {
            std::free(c);
            return 0;
        }
        if (!c) {
            c = a;
            continue;
        }
        for (int i = 0; i <= L; i++) {
            if (c[i] > 0 && a[i] > 0)
                c[i] = a[i] < c[i] ? a[i] : c[i];
            else if (c[i] != a[i])
                c[i] = 0;
        }
        std::free(a);
    }
    long newlen = L;
    for (int i = 0; i <= L; i++) {
        if (c[i] > max_insert) c[i] = max_insert;
        newlen += c[i];
    }
    if (newlen > max_length) {
        float frac = (float)(newlen - max_length) / (float)newlen;
        for (int i = 0; i <= L; i++)
            if (c[i] > 1) {
                int cut = (int)(frac * (float)c[i]);
                c[i] -= cut;
                newlen -= cut;
            }
        while (newlen > max_length) {
            int best = -1;
            for (int i = 0; i <= L; i++)
                if (c[i] > 0 && (best < 0 || c[i] > c[best])) best = i;
            if (best < 0) break;
            c[best]--;
            newlen--;
        }
    }
    int changed = 0;
    for (int i = 0; i <= L; i++)
        if (c[i]) changed++;
    if (!changed) {
        std::free(c);
        return 0;
    }
    if (report) report_changes(report, c, L, (int)newlen);
    for (int k = 0; k < n; k++) {
        const Node *templ = models[k]->generic    ? models[k]->generic
                            : reg && reg->generic ? reg->generic
                            : reg                 ? reg->nodes[reg->length / 2]
                                                  : nullptr;
        change_model(counts[k], c, templ);
        resize_model(models[k], c);
    }
    std::free(c);
    return changed;
}

// New length of a model of length L under a change array (Begin and End are never deleted).
static int changed_length(const int *c, int L) {
    long len = L;
    for (int i = 1; i <= L; i++) len += c[i];
    if (c[0] > 0) len += c[0];
    if (len < 0 || len > 100000000) error("Surgery gives a model length of %ld", len);
    return (int)len;
}

static Node *copy_unlabelled(const Node *src) {
    if (!src) return nullptr;
    Node *n = alloc_node();
    n->type = src->type;
    int k = src->nparams < n->nparams ? src->nparams : n->nparams;
    std::memcpy(n->params, src->params, (size_t)k * sizeof(float));
    return n;
}

static void set3(float *t, float v) {
    t[0] = t[1] = t[2] = v;
}

void change_model(Model *counts, int *c, const Node *templ) {
    int L = counts->length;
    c[L + 1] = 0;
    for (int k = 0; k <= L; k++)
        if (c[k] > 0 && !templ) error("change_model needs a template node to insert nodes");
    int newlen = changed_length(c, L);
    Node **old = counts->nodes;
    Node **nodes = static_cast<Node **>(mem_alloc(((size_t)newlen + 2) * sizeof(Node *)));
    int j = 0;
    Node *last_kept = nullptr;
    for (int k = 0; k <= L + 1; k++) {
        if (c[k] == SURGERY_DELETE && k > 0 && k <= L) {
            free_node(old[k]);
            old[k] = nullptr;
            if (last_kept) set3(last_kept->ijump, SURGERY_SMALL_COUNT);
            if (old[k + 1]) {
                set3(old[k + 1]->djump, SURGERY_SMALL_COUNT);
                set3(old[k + 1]->mjump, SURGERY_SMALL_COUNT);
            }
            continue;
        }
        nodes[j++] = old[k];
        last_kept = old[k];
        if (c[k] > 0) {
            if (old[k]) set3(old[k]->ijump, SURGERY_SMALL_COUNT);
            if (old[k + 1]) {
                set3(old[k + 1]->djump, SURGERY_SMALL_COUNT);
                set3(old[k + 1]->mjump, SURGERY_SMALL_COUNT);
            }
            for (int e = 0; e < c[k]; e++) nodes[j++] = copy_unlabelled(templ);
        }
    }
    std::free(old);
    free_mod_weight(counts);
    counts->nodes = nodes;
    counts->length = newlen;
}

void resize_model(Model *model, int *c) {
    free_mod_weight(model);
    int L = model->length;
    c[L + 1] = 0;
    int newlen = changed_length(c, L);
    Node **old = model->nodes;
    Node **nodes = static_cast<Node **>(mem_alloc(((size_t)newlen + 2) * sizeof(Node *)));
    int j = 0;
    for (int k = 0; k <= L + 1; k++) {
        if (c[k] == SURGERY_DELETE && k > 0 && k <= L) {
            free_node(old[k]);
            continue;
        }
        nodes[j++] = old[k];
        if (c[k] > 0) {
            const Node *src = k == 0 ? old[1] : old[k];
            for (int e = 0; e < c[k]; e++) nodes[j++] = copy_unlabelled(src);
        }
    }
    std::free(old);
    model->nodes = nodes;
    model->length = newlen;
}

// ---------------------------------------------------------------------------------------------
// Surgery by a guide alignment
// ---------------------------------------------------------------------------------------------

void add_to_table(float *counts, const float *bg, int letter, double weight) {
    const AlphabetInfo *a = alphabet;
    if (letter >= 0 && letter < a->length) {
        counts[letter] += (float)weight;
        return;
    }
    if (letter == wildcard_index(a)) {
        for (int k = 0; k < a->length; k++) counts[k] += (float)(weight * bg[k]);
        return;
    }
    char ch = (a->letters && letter >= 0 && letter < a->length_wild) ? a->letters[letter] : 0;
    int x = -1, y = -1;
    if (a->id == DNA_ALPHABET_ID || a->id == RNA_ALPHABET_ID) {
        if (ch == 'R') x = 0, y = 1;
        if (ch == 'Y') x = 2, y = 3;
    } else if (a->id == PROTEIN_ALPHABET_ID) {
        if (ch == 'B') x = letter_index(a, 'D'), y = letter_index(a, 'N');
        if (ch == 'Z') x = letter_index(a, 'E'), y = letter_index(a, 'Q');
        if (x < 0 && letter >= a->length && letter < a->length_wild) return;
    }
    if (x < 0) error("Illegal character %d in seq surgery", letter);
    double s = (double)bg[x] + bg[y];
    // Without background mass the two letters share the weight evenly.
    double fx = s > 0.0 ? bg[x] / s : 0.5;
    counts[x] += (float)(weight * fx);
    counts[y] += (float)(weight * (1.0 - fx));
}

namespace {

// The walk of sequence surgery over the two alignment texts.
struct SurgeryWalk {
    Model *model;
    Model *counts;
    std::vector<Node *> nm, nc;  // the new node arrays
    int modi = 0;                // last old node taken (0: Begin)
    int m = 1;                   // state of the guide's path (-1: unknown)
    int b = -1;                  // pending state (-1: none)
    double w;
    int changed = 0;

    Node *prev_count() { return nc.back(); }
    void keep_next() {
        modi++;
        nm.push_back(model->nodes[modi]);
        nc.push_back(counts->nodes[modi]);
    }
    // An unchanged move into state s (0 the next node's delete, 1 its match, 2 the current
    // node's insert).
    void unchanged(int s) {
        if (s < 2) keep_next();
        if (b >= 0) {
            Node *t = nc.back();
            float *v = s == 0 ? t->djump : s == 1 ? t->mjump : t->ijump;
            v[b] += (float)w;
        }
        b = -1;
        m = s;
    }
    Node *new_nodes() {
        Node *p = alloc_node();
        Node *c = alloc_node();
        nm.push_back(p);
        nc.push_back(c);
        changed = 1;
        return c;
    }
    // Deletes old node modi+1 when deletable; returns whether it did.
    bool try_delete() {
        Node *p = model->nodes[modi + 1];
        if (!deletable(p)) return false;
        del_merge_freq_node(prev_count(), counts->nodes[modi + 1], counts->nodes[modi + 2]);
        free_node(p);
        free_node(counts->nodes[modi + 1]);
        model->nodes[modi + 1] = nullptr;
        counts->nodes[modi + 1] = nullptr;
        modi++;
        changed = 1;
        return true;
    }
    void clear_marks() { b = m = -1; }
};

}  // namespace

static void trace(int ai, int ac, int gi, int gc, int modi, int i, const char *tag) {
    std::fprintf(stderr, "a[%d] %c g[%d] %c modi %d i %d  %s", ai, ac ? ac : ' ', gi, gc ? gc : ' ',
                 modi, i, tag);
}

int sequence_surgery(void *, Model *model, Model *counts, const Sequence *guide,
                     const Sequence *aligned, void *, double weight) {
    if (alphabet && alphabet->id == CODON_ALPHABET_ID)
        error("Sequence surgery cannot be used with the codon alphabet\n");
    bool same = guide && aligned && guide->len == aligned->len &&
                (guide->len == 0 || std::memcmp(guide->tracks[0].res, aligned->tracks[0].res,
                                                (size_t)guide->len) == 0);
    char *gt = same ? str_w_deletions(guide, 0, 0, 0) : nullptr;
    char *at = same ? str_w_deletions(aligned, 0, 0, 0) : nullptr;
    std::fprintf(stderr, "Guide: %s\n", gt ? gt : "");
    std::fprintf(stderr, "Align: %s\n", at ? at : "");
    if (!same || !gt || !at) {
        std::free(gt);
        std::free(at);
        error("Guide and aligned sequence are not the same; exiting.\n");
    }
    int L = model->length;
    if (counts->length != L)
        error("Surgery on models of different lengths (%d and %d)", L, counts->length);
    free_mod_weight(model);
    free_mod_weight(counts);
    SurgeryWalk wk;
    wk.model = model;
    wk.counts = counts;
    wk.w = weight;
    wk.nm.push_back(model->nodes[0]);
    wk.nc.push_back(counts->nodes[0]);
    size_t gn = std::strlen(gt), an = std::strlen(at);
    size_t gi = 0, ai = 0;
    while (gi < gn || ai < an) {
        int gc = gi < gn ? (unsigned char)gt[gi] : 0;
        int ac = ai < an ? (unsigned char)at[ai] : 0;
        int i = (int)wk.nm.size() - 1;
        bool column = ac == '-' || std::isupper(ac);  // the aligned text takes a model node
        if (column && wk.modi + 1 > L) {
            // The alignment has more columns than the model: never walk past End.
            trace((int)ai, ac, (int)gi, gc, wk.modi, i, "N:?? error \n");
            wk.clear_marks();
            ai++;
            if (gi < gn) gi++;
            continue;
        }
        auto keep_with_error = [&](const char *tag) {
            trace((int)ai, ac, (int)gi, gc, wk.modi, i, tag);
            if (column) wk.keep_next();
            wk.clear_marks();
        };
        // A model column that the guide lacks: deleted when deletable, else kept with its type.
        auto delete_match_column = [&]() {
            if (wk.try_delete()) {
                trace((int)ai, ac, (int)gi, gc, wk.modi - 1, i, "M:D delete \n");
            } else {
                char tag[64];
                std::snprintf(tag, sizeof tag, "I:D !delete type %c \n",
                              model->nodes[wk.modi + 1]->type);
                keep_with_error(tag);
            }
        };
        if (gc == '-') {
            if (ac == '-') {
                wk.unchanged(0);
                gi++, ai++;
            } else {
                bool end = ac == 0;
                trace((int)ai, ac, (int)gi, gc, wk.modi, i,
                      end ? "D:- insertdel \n" : "D:M insert \n");
                Node *prev = wk.prev_count();
                Node *c = wk.new_nodes();
                Node *next = counts->nodes[wk.modi + 1];
                if (end)
                    insert_del_freq_node(nullptr, c, next);
                else
                    insert_merge_freq_node(prev, c, next);
                if (wk.m >= 0) c->djump[wk.m] += (float)weight;
                wk.b = wk.m = 0;
                gi++;
            }
        } else if (gc && std::isupper(gc)) {
            if (ac == gc) {
                wk.unchanged(1);
                gi++, ai++;
            } else if (ac == '-') {
                delete_match_column();
                ai++;
            } else if (ac && std::toupper(ac) == gc) {
                trace((int)ai, ac, (int)gi, gc, wk.modi, i, "M:I insert \n");
                Node *prev = wk.prev_count();
                Node *c = wk.new_nodes();
                insert_merge_freq_node(prev, c, counts->nodes[wk.modi + 1]);
                if (wk.m >= 0) c->mjump[wk.m] += (float)weight;
                add_to_table(c->match, wk.nm.back()->match, letter_index(alphabet, gc), weight);
                wk.b = wk.m = 1;
                gi++, ai++;
            } else {
                keep_with_error("I:? error \n");
                gi++;
                if (ai < an) ai++;
            }
        } else if (gc && std::islower(gc)) {
            if (ac == gc) {
                wk.unchanged(2);
                gi++, ai++;
            } else if (ac == '-' || (ac && std::tolower(ac) == gc)) {
                bool letter = ac != '-';
                Node *pn = model->nodes[wk.modi + 1];
                char type = pn ? pn->type : 0;
                if (wk.try_delete()) {
                    trace((int)ai, ac, (int)gi, gc, wk.modi - 1, i,
                          letter ? "I:M delete \n" : "I:D delete \n");
                    if (letter) {
                        Node *prev = wk.prev_count();
                        if (wk.m >= 0) prev->ijump[wk.m] += (float)weight;
                        add_to_table(prev->insert, wk.nm.back()->insert, letter_index(alphabet, gc),
                                     weight);
                        wk.b = wk.m = 2;
                    }
                } else {
                    std::fprintf(stderr,
                                 "Model node %d not deleted in seq surgery because it is type %c\n",
                                 wk.modi + 1, type ? type : ' ');
                    keep_with_error(letter ? "I:M !delete \n" : "I:D !delete \n");
                }
                ai++;
                if (letter) gi++;
            } else {
                keep_with_error("I:? error \n");
                gi++;
                if (ai < an) ai++;
            }
        } else if (gc == 0 && ac == '-') {
            delete_match_column();
            ai++;
        } else {
            keep_with_error(gc == 0 ? "N:? error \n" : "N:?? error \n");
            if (gi < gn) gi++;
            if (ai < an) ai++;
        }
    }
    int i = (int)wk.nm.size() - 1;
    if (wk.modi != L) {
        std::fprintf(stderr, "gc ac modi %d i %d\n", wk.modi, i);
        while (wk.modi < L) wk.keep_next();  // nodes the texts did not reach are kept
    }
    wk.nm.push_back(model->nodes[L + 1]);
    wk.nc.push_back(counts->nodes[L + 1]);
    if (wk.b >= 0) wk.nc.back()->mjump[wk.b] += (float)weight;
    int newlen = (int)wk.nm.size() - 2;
    for (Model *md : {model, counts}) {
        std::vector<Node *> &v = md == model ? wk.nm : wk.nc;
        std::free(md->nodes);
        md->nodes = static_cast<Node **>(mem_alloc(v.size() * sizeof(Node *)));
        std::memcpy(md->nodes, v.data(), v.size() * sizeof(Node *));
        md->length = newlen;
    }
    std::free(gt);
    std::free(at);
    return wk.changed;
}

// ---------------------------------------------------------------------------------------------
// Insert-table comparisons
// ---------------------------------------------------------------------------------------------

int node_ins_is_same(const Node *a, const Node *b) {
    if (!a || !b) return a == b;
    if (a->nparams != b->nparams) return 0;
    int n = alphabet->emit_length;
    int na = (a->nparams - 9) / 2;
    if (na < n) n = na;
    // Bit for bit: the BINARY form stores one table for nodes that share it, so -0.0 and 0.0 are
    // different tables and a NaN table equals its copy.
    return std::memcmp(a->insert, b->insert, (size_t)n * sizeof(float)) == 0;
}

// A FIM for the sharing of insert tables; the model reader upper-cases the type letter, so a
// lower-case 'f' set by a program is one as well.
static bool shares_fim_table(char type) {
    return std::toupper(static_cast<unsigned char>(type)) == 'F';
}

void check_node_array(Node *const *nodes, int last, int skip, int *fim_index, int *other_index) {
    int first[2] = {-1, -1};
    bool differ[2] = {false, false};
    for (int k = 0; k <= last && !(differ[0] && differ[1]); k++) {
        if (k == skip || !nodes[k]) continue;
        int cls = shares_fim_table(nodes[k]->type) ? 0 : 1;
        if (first[cls] < 0)
            first[cls] = k;
        else if (!differ[cls] && !node_ins_is_same(nodes[first[cls]], nodes[k]))
            differ[cls] = true;
    }
    *fim_index = differ[0] ? -1 : first[0];
    *other_index = differ[1] ? -1 : first[1];
}
