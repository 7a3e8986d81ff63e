// Estimation of a probability model from a count model: regularizer pseudo-counts, emission
// priors and transition priors, normalisation; the count bookkeeping of surgery and the printed
// balance of a node.
#include "models/models_estimate.h"

#include <cstdio>
#include <cstring>

#include "foundation/alphabet.h"
#include "models/models.h"
#include "models/prior.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "sequences/model_records.h"

// Positions of the source states in a transition triple.
enum { FROM_DELETE = 0, FROM_MATCH = 1, FROM_INSERT = 2 };
// First emission value of a node's block.
constexpr int FIRST_EMISSION = 9;
// Lines of the codon-type warning given per run.
constexpr int CODON_TYPE_WARNINGS = 5;

int emissions_frozen(char type) {
    return type == 'F' || type == 'K' || type == 'A';
}

int transitions_frozen(char type) {
    return type == 'T' || type == 'A' || type == 'C' || type == 'D' || type == 'E';
}

static bool is_codon_type(char type) {
    return type == 'C' || type == 'D' || type == 'E';
}

int reg_pair_index(int i, int L, int R) {
    // The last L/2 nodes pair from the end; a regularizer shorter than ceil(L/2) - 1 would be
    // read before its Begin node.
    if (R < (L + 1) / 2 - 1)
        error("Regularizer of length %d is too short for a model of length %d", R, L);
    return i <= L / 2 ? i : R + i - L;
}

// Copies type, label and the values that fit from src into dest (no environment).
static void copy_node_values(const Node *src, Node *dest) {
    dest->type = src->type;
    dest->lab = src->lab;
    int n = src->nparams < dest->nparams ? src->nparams : dest->nparams;
    std::memcpy(dest->params, src->params, (size_t)n * sizeof(float));
}

Model *prepare_prior(const Model *model) {
    Model *m = replicate_model(model);
    normalize_model(m);
    return m;
}

// The transition priors of environment code env; fatal when there are none.
static const EnvPlib *env_priors(EnvPlib *const *priors, int nenv, int env, int node) {
    if (env < 0 || env >= nenv)
        error("Node %d has environment %d; the transition priors have %d environments", node, env,
              nenv);
    if (!priors[env]) error("No transition priors for environment %d", env);
    return priors[env];
}

void counts_by_env(const Model *model, EnvPlib *const *priors, int nenv,
                   TransPriorRecord *records) {
    int L = model->length;
    for (int i = 0; i <= L + 1; i++) {
        int prev_env = i == 0 ? 0 : GetEnvCode(model->nodes[i - 1]);
        int own_env = GetEnvCode(model->nodes[i]);
        const EnvPlib *p = env_priors(priors, nenv, prev_env, i - 1);
        env_pseudocounts(p, TRANS_STATE_DELETE, records[i].del);
        env_pseudocounts(p, TRANS_STATE_MATCH, records[i].mat);
        env_pseudocounts(env_priors(priors, nenv, own_env, i), TRANS_STATE_INSERT, records[i].ins);
    }
}

// Step 1 of the estimate for a new output node: frozen regularizer nodes are copied whole,
// otherwise the type alone is taken.
static void take_from_reg(Node *out, const Node *reg, const Node *reg_prev) {
    if (emissions_frozen(reg->type) || transitions_frozen(reg->type) ||
        (reg_prev && transitions_frozen(reg_prev->type)))
        copy_node_values(reg, out);
    else
        out->type = reg->type;
}

static void warn_codon_types(const Node *out, const Node *reg, int i) {
    static int warnings = 0;
    if ((is_codon_type(out->type) || is_codon_type(reg->type)) && out->type != reg->type &&
        warnings < CODON_TYPE_WARNINGS) {
        warnings++;
        std::fprintf(stderr, "DANGER:  Model[%d] and  Reg[%d] have types %c != %c\n", i, i,
                     out->type, reg->type);
    }
}

static void add3(float *out, const float *a, const float *b, double xa) {
    for (int s = 0; s < 3; s++) out[s] = (float)(xa * a[s] + b[s]);
}

static void add_emissions(Node *out, const Node *reg, const Node *cnt) {
    if (emissions_frozen(out->type)) return;
    int n = out->nparams;
    if (reg->nparams < n) n = reg->nparams;
    if (cnt->nparams < n) n = cnt->nparams;
    for (int k = FIRST_EMISSION; k < n; k++) out->params[k] = reg->params[k] + cnt->params[k];
}

Model *frequency_to_prob(const Model *counts, const Model *reg, Model *out, EnvPlib *const *priors,
                         int nenv, double x) {
    int L = counts->length;
    int R = reg->length;
    bool fresh = out == nullptr;
    if (!fresh && out->length != L)
        error("frequency_to_prob: output model length %d differs from the counts' %d", out->length,
              L);
    reg_pair_index(0, L, R);  // refuses a regularizer too short for the pairing
    TransPriorRecord *records = nullptr;
    if (priors) {
        records =
            static_cast<TransPriorRecord *>(mem_alloc(((size_t)L + 2) * sizeof(TransPriorRecord)));
        counts_by_env(counts, priors, nenv, records);
    }
    if (fresh) out = alloc_model(L);
    for (int i = 0; i <= L + 1; i++) {
        int r = reg_pair_index(i, L, R);
        const Node *rn = reg->nodes[r];
        const Node *rprev = r > 0 ? reg->nodes[r - 1] : nullptr;
        const Node *cnt = counts->nodes[i];
        Node *o = out->nodes[i];
        if (fresh) take_from_reg(o, rn, i > 0 ? rprev : nullptr);
        warn_codon_types(o, rn, i);
        bool prev_free = i == 0 || !transitions_frozen(out->nodes[i - 1]->type);
        bool own_free = i == 0 || !transitions_frozen(o->type);
        if (!records || i == 0) {
            // Node 0 takes the regularizer's Begin node for all three triples, with or without
            // transition priors.
            if (prev_free) {
                add3(o->djump, rn->djump, cnt->djump, 1.0);
                add3(o->mjump, rn->mjump, cnt->mjump, 1.0);
            }
            if (own_free) add3(o->ijump, rn->ijump, cnt->ijump, 1.0);
        } else {
            if (prev_free) {
                add3(o->djump, records[i].del, cnt->djump, x);
                add3(o->mjump, records[i].mat, cnt->mjump, x);
            }
            if (own_free) add3(o->ijump, records[i].ins, cnt->ijump, x);
        }
        add_emissions(o, rn, cnt);
        o->lab = cnt->lab;
    }
    std::free(records);
    normalize_model(out);
    return out;
}

Model *freq_to_model(Model *counts, const Model *reg, PriorLib *lib, EnvPlib *const *priors,
                     int nenv, const Node *lettcount, const float *codon_reg, double s, double x,
                     double w) {
    if (reg->nodes[0]->nparams != counts->nodes[0]->nparams) error("freq_to_mod length mismatch\n");
    if (lib) adapt_frequencies(counts, lib, codon_reg, s, w);
    Model *m = frequency_to_prob(counts, reg, nullptr, priors, nenv, x);
    for (int i = 0; i <= counts->length; i++)
        if (counts->nodes[i]->type) m->nodes[i]->type = counts->nodes[i]->type;
    make_freqave(m);
    if (lettcount) {
        if (!m->lettcount) m->lettcount = alloc_node();
        copy_node_values(lettcount, m->lettcount);
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// Count transfers of surgery
// ---------------------------------------------------------------------------------------------

// Number of emission values of a node's match (or insert) table.
static int emission_count(const Node *n) {
    return (n->nparams - FIRST_EMISSION) / 2;
}

void del_merge_freq_node(Node *prev, Node *del, Node *next) {
    if (!prev || !del || !next) error("del_merge_freq_node called with null pointer.  Exiting.\n");
    int a = emission_count(del);
    if (emission_count(prev) < a) a = emission_count(prev);
    for (int k = 0; k < a; k++) {
        prev->insert[k] += del->match[k] + del->insert[k];
        del->match[k] = del->insert[k] = 0.0f;
    }
    // Flows into D's match now enter P's insert; D's own insert loop becomes P's.
    for (int s = 0; s < 3; s++) {
        prev->ijump[s] += del->mjump[s];
        del->mjump[s] = 0.0f;
    }
    prev->ijump[FROM_INSERT] += del->ijump[FROM_MATCH] + del->ijump[FROM_INSERT];
    del->ijump[FROM_MATCH] = del->ijump[FROM_INSERT] = 0.0f;
    float sum = del->djump[0] + del->djump[1] + del->djump[2];
    float f[3] = {0.0f, 0.0f, 0.0f};
    if (sum > 0.0f)
        for (int s = 0; s < 3; s++) f[s] = del->djump[s] / sum;
    float id = del->ijump[FROM_DELETE];
    for (int s = 0; s < 3; s++) prev->ijump[s] += id * f[s];
    del->ijump[FROM_DELETE] = 0.0f;
    del->djump[FROM_DELETE] = 0.0f;
    for (float *t : {next->mjump, next->djump}) {
        t[FROM_INSERT] += t[FROM_MATCH];
        t[FROM_MATCH] = 0.0f;
        float F = t[FROM_DELETE];
        t[FROM_DELETE] = F * f[0];
        t[FROM_MATCH] = F * f[1];
        t[FROM_INSERT] += F * f[2];
    }
}

void insert_merge_freq_node(Node *a, Node *n, Node *b) {
    float isum = a->ijump[0] + a->ijump[1] + a->ijump[2];
    float c = isum > 0.0f ? a->ijump[FROM_INSERT] / isum : 0.0f;
    int na = emission_count(a);
    if (emission_count(n) < na) na = emission_count(n);
    for (int k = 0; k < na; k++) {
        n->insert[k] = c * a->insert[k];
        n->match[k] = (1.0f - c) * a->insert[k];
        a->insert[k] = 0.0f;
    }
    n->djump[FROM_DELETE] = b->djump[FROM_DELETE] + b->mjump[FROM_DELETE];
    n->djump[FROM_MATCH] = b->djump[FROM_MATCH] + b->mjump[FROM_MATCH];
    for (float *t : {b->djump, b->mjump}) {
        t[FROM_DELETE] += t[FROM_MATCH];
        t[FROM_MATCH] = 0.0f;
    }
    n->mjump[FROM_DELETE] = a->ijump[FROM_DELETE];
    n->mjump[FROM_MATCH] = a->ijump[FROM_MATCH];
    a->ijump[FROM_DELETE] = a->ijump[FROM_MATCH] = 0.0f;
    float S = b->djump[FROM_INSERT] + b->mjump[FROM_INSERT];
    n->ijump[FROM_DELETE] = 0.0f;
    n->ijump[FROM_MATCH] = c * S;
    n->ijump[FROM_INSERT] = c * a->ijump[FROM_INSERT];
    for (float *t : {b->djump, b->mjump}) {
        float old = t[FROM_INSERT];
        t[FROM_MATCH] = (1.0f - c) * old;
        t[FROM_INSERT] = S > 0.0f ? c * S * (old / S) : 0.0f;
    }
    n->djump[FROM_INSERT] = n->mjump[FROM_INSERT] = 0.0f;
    a->ijump[FROM_INSERT] = 0.0f;
}

void insert_del_freq_node(Node *, Node *n, Node *b) {
    for (int s = 0; s < 3; s++) {
        n->djump[s] = b->djump[s] + b->mjump[s];
        n->mjump[s] = n->ijump[s] = 0.0f;
    }
    for (float *t : {b->djump, b->mjump}) {
        t[FROM_DELETE] = t[0] + t[1] + t[2];
        t[FROM_MATCH] = t[FROM_INSERT] = 0.0f;
    }
}

static float sum3(const float *t) {
    return t[0] + t[1] + t[2];
}

void freq_check_node(const Node *node, const Node *next, int position, const char *tag) {
    static const char *const DASHES = "------------------------------\n";
    int letters = node->type == 'C' ? emission_count(node) : alphabet->length;
    if (letters > emission_count(node)) letters = emission_count(node);
    float emit_m = 0.0f, emit_i = 0.0f;
    for (int k = 0; k < letters; k++) emit_m += node->match[k];
    for (int k = 0; k < letters; k++) emit_i += node->insert[k];
    auto out_of = [&](int s) {
        float v = node->ijump[s];
        if (next) v += next->djump[s] + next->mjump[s];
        return v;
    };
    std::printf("%s", DASHES);
    std::printf("%d%s D IN %5.2f OUT %5.2f\n", position, tag, sum3(node->djump),
                out_of(FROM_DELETE));
    std::printf("%d%s M IN %5.2f OUT %5.2f EMIT %5.2f\n", position, tag, sum3(node->mjump),
                out_of(FROM_MATCH), emit_m);
    float iout = next ? next->djump[FROM_INSERT] + next->mjump[FROM_INSERT] : 0.0f;
    std::printf("%d%s I IN %5.2f OUT %5.2f EMIT %5.2f INL %5.2f\n", position, tag,
                node->ijump[FROM_DELETE] + node->ijump[FROM_MATCH], iout, emit_i,
                sum3(node->ijump));
    float nout = next ? sum3(next->djump) + sum3(next->mjump) : 0.0f;
    std::printf("%d%s N IN %5.2f OUT %5.2f EMIT %5.2f\n", position, tag,
                sum3(node->djump) + sum3(node->mjump), nout, emit_i + emit_m);
    std::printf("%s", DASHES);
}
