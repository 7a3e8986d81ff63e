// Random use of a model: sequences drawn by walking its states, counts of random paths, noise on
// its values; and the match/delete swap of the cost records used by the engine's conversion.
#include "models/models_random.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/alphabet.h"
#include "models/models.h"
#include "models/models_estimate.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "sequences/model_records.h"

enum { STATE_DELETE = 0, STATE_MATCH = 1, STATE_INSERT = 2 };
// A letter draw stops once the remainder is at most this.
constexpr float LETTER_DRAW_SLACK = 1e-4f;
// Warnings of a letter index past its table given per run.
constexpr int LETTER_WARNINGS = 4;
// First emission value of a node's block.
constexpr int FIRST_EMISSION = 9;

// The uniform of this unit: (random() + 0.5) / (2^31 - 1) in single precision.
static float uniform_f() {
    return ((float)random() + 0.5f) / 2147483647.0f;
}

int random_letter(const float *p, int n) {
    static int warnings = 0;
    float r = uniform_f() - p[0];
    int k = 0;
    while (r > LETTER_DRAW_SLACK) {
        if (++k >= n) break;  // never read past the table
        r -= p[k];
    }
    if (k >= n) {
        if (warnings < LETTER_WARNINGS) {
            warnings++;
            std::fprintf(stderr, "Ignorable random_letter error\n");
        }
        k = 0;
    }
    return k;
}

// Size of a node's match or insert table for a letter draw.
static int draw_size(const Node *n) {
    int size = n->type == 'C' ? (n->nparams - FIRST_EMISSION) / 2 : alphabet->length;
    int most = (n->nparams - FIRST_EMISSION) / 2;
    return size < most ? size : most;
}

// The letter a match state emits; a 'C' node draws a codon and the 'D' and 'E' nodes after it
// emit its later bases.
static int match_letter(const Node *n, int *codon) {
    if (n->type == 'C') {
        *codon = random_letter(n->match, draw_size(n));
        return (*codon / 16) % 4;
    }
    if (n->type == 'D') return (*codon / 4) % 4;
    if (n->type == 'E') return *codon % 4;
    return random_letter(n->match, draw_size(n));
}

// One step of a walk: the state moved into. force_delete moves into the next node's delete
// state without a draw. A move out of the last node that is not an insert ends the walk at End.
static int walk_step(const Node *next, int s, bool force_delete) {
    if (force_delete) return STATE_DELETE;
    float u = uniform_f();
    if (u - next->djump[s] < 0.0f) return STATE_DELETE;
    if (u - next->djump[s] - next->mjump[s] < 0.0f) return STATE_MATCH;
    return STATE_INSERT;
}

static void warn_walk_cut() {
    std::fprintf(stderr, "Warning: a random walk through the model was cut after %d steps\n",
                 RANDOM_WALK_LIMIT);
}

Sequence *sequence_from_model(const Model *model) {
    int L = model->length;
    int room = L > 0 ? L : 1;
    Sequence *seq = alloc_sequence(room, 1);
    seq->converted = 1;
    int len = 0, j = 0, s = STATE_MATCH, codon = 0;
    for (int steps = 0;; steps++) {
        if (steps >= RANDOM_WALK_LIMIT) {
            warn_walk_cut();
            break;
        }
        int ns = walk_step(model->nodes[j + 1], s, false);
        if (ns != STATE_INSERT && j + 1 == L + 1) break;  // End reached (never node L+2)
        int letter = -1;
        if (ns == STATE_INSERT) {
            letter = random_letter(model->nodes[j]->insert, draw_size(model->nodes[j]));
        } else {
            j++;
            if (ns == STATE_MATCH) letter = match_letter(model->nodes[j], &codon);
        }
        s = ns;
        if (letter < 0) continue;
        if (len == room) {
            room *= 2;
            realloc_sequence(seq, room);
        }
        seq->tracks[0].res[len++] = (unsigned char)letter;
    }
    realloc_sequence(seq, len);
    return seq;
}

void random_frequencies(const Model *model, Model *counts, int n, int insert_letters, double x) {
    if (n <= 0) return;
    if (x < 0) x = -x / n;
    float fx = (float)x;
    int L = counts->length, R = model->length;
    for (int path = 0; path < n; path++) {
        int j = 0, s = STATE_MATCH, codon = 0;
        for (int steps = 0;; steps++) {
            if (steps >= RANDOM_WALK_LIMIT) {
                warn_walk_cut();
                break;
            }
            Node *cj = counts->nodes[j];
            Node *cn = counts->nodes[j + 1];
            const Node *pj = model->nodes[reg_pair_index(j, L, R)];
            const Node *pn = model->nodes[reg_pair_index(j + 1, L, R)];
            bool force = emissions_frozen(cn->type) || emissions_frozen(pn->type);
            int ns = walk_step(pn, s, force);
            bool count = !transitions_frozen(cj->type);
            if (ns != STATE_INSERT && j + 1 == L + 1) {
                // The move into End is counted like any other, then the path ends.
                if (count) (ns == STATE_DELETE ? cn->djump : cn->mjump)[s] += fx;
                break;
            }
            if (ns == STATE_DELETE) {
                if (count) cn->djump[s] += fx;
                j++;
            } else if (ns == STATE_MATCH) {
                if (count) cn->mjump[s] += fx;
                int letter = match_letter(pn, &codon);
                if (letter < (cn->nparams - FIRST_EMISSION) / 2) cn->match[letter] += fx;
                j++;
            } else {
                if (count) cj->ijump[s] += fx;
                if (insert_letters) {
                    int letter = random_letter(pj->insert, draw_size(pj));
                    cj->insert[letter] += fx;
                }
            }
            s = ns;
        }
    }
}

int noise_to_model(Model *model, const Model *reg, double x) {
    int L = model->length, R = reg->length;
    int changed = 0;
    auto add = [&](float *v, float r) {
        float d = uniform_f() * (float)x * r;
        if (d != 0.0f) changed++;
        *v += d;
    };
    for (int i = 0; i <= L + 1; i++) {
        Node *n = model->nodes[i];
        const Node *r = reg->nodes[reg_pair_index(i, L, R)];
        if (i == 0 || !transitions_frozen(model->nodes[i - 1]->type))
            for (int j = 0; j < 3; j++) {
                add(&n->djump[j], r->djump[j]);
                add(&n->mjump[j], r->mjump[j]);
            }
        if (!transitions_frozen(n->type))
            for (int j = 0; j < 3; j++) add(&n->ijump[j], r->ijump[j]);
        if (!emissions_frozen(n->type)) {
            int top = r->nparams < n->nparams ? r->nparams : n->nparams;
            for (int k = FIRST_EMISSION; k < top; k++) add(&n->params[k], r->params[k]);
        }
    }
    return changed;
}

static void swap_ints(int &a, int &b) {
    int t = a;
    a = b;
    b = t;
}

void swap_match_del(Model *model) {
    if (!model) return;
    if (!model->weights) error("swap_match_del: model has no cost records");
    int L = model->length;
    ModWeight *b = model->weights[0];
    swap_ints(b->ijump[STATE_DELETE], b->ijump[STATE_MATCH]);
    ModWeight *f = model->weights[1];
    swap_ints(f->djump[STATE_DELETE], f->djump[STATE_MATCH]);
    swap_ints(f->mjump[STATE_DELETE], f->mjump[STATE_MATCH]);
    ModWeight *e = model->weights[L + 1];
    for (int s = 0; s < 3; s++) swap_ints(e->djump[s], e->mjump[s]);
}
