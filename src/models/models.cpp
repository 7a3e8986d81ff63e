// Prepared models: costs, normalisation and cost records; FIM and insert methods; preparation of
// a model from a raw model.
#include "models/models.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/scan.h"
#include "sequences/matrix.h"
#include "models/modelio.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// ---------------------------------------------------------------------------------------------
// Costs
// ---------------------------------------------------------------------------------------------

int cost(double p) {
    if (std::isnan(p) || p <= PROB_ZERO) return COST_OF_ZERO;
    double c = 0.5 - 1000.0 * std::log(p);
    if (c <= (double)INT_MIN) return INT_MIN;
    if (c >= (double)INT_MAX) return INT_MAX;
    return (int)c;
}

double prob(int c) {
    if (c > COST_OF_ZERO - 1) return PROB_ZERO;
    return std::exp(-0.001 * c);
}

// ---------------------------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------------------------

static bool is_codon_alphabet() {
    return alphabet && alphabet->id == CODON_ALPHABET_ID;
}

// Number of letters an emission table is normalised over: the nucleotides under the codon
// alphabet, else the emission size.
static int emission_letters() {
    return is_codon_alphabet() ? alphabet->length : alphabet->emit_length;
}

static bool is_fim(const Node *node) {
    return node && node->type == 'F';
}

// A model of length L whose L+2 slots are all empty for the caller to fill (alloc_model gives a
// model of length 0 its Begin and End).
static Model *alloc_empty_model(int L) {
    if (L != 0) return alloc_model(-L);
    Model *m = alloc_model(0);
    for (int i = 0; i < 2; i++) {
        free_node(m->nodes[i]);
        m->nodes[i] = nullptr;
    }
    return m;
}

static bool is_codon_type(char t) {
    return t == 'C' || t == 'D' || t == 'E';
}

// Divides the first n values by their sum (accumulated in double) when it is above `threshold`;
// otherwise sets them to 0 when zero_small, else leaves them.
static void normalize_table(float *v, int n, double threshold, bool zero_small) {
    double sum = 0.0;
    for (int k = 0; k < n; k++) sum += v[k];
    if (sum > threshold) {
        for (int k = 0; k < n; k++) v[k] = (float)(v[k] / sum);
    } else if (zero_small) {
        for (int k = 0; k < n; k++) v[k] = 0.0f;
    }
}

static void set3(float *t, float a, float b, float c) {
    t[0] = a;
    t[1] = b;
    t[2] = c;
}

// Probability of nucleotide n (0..3) at codon position pos (0..2) of a 64-codon table
// (codon index 16a + 4b + c).
static double codon_position_prob(const float *codons, int pos, int n) {
    double sum = 0.0;
    for (int x = 0; x < 4; x++)
        for (int y = 0; y < 4; y++) {
            int idx = pos == 0   ? 16 * n + 4 * x + y
                      : pos == 1 ? 16 * x + 4 * n + y
                                 : 16 * x + 4 * y + n;
            sum += codons[idx];
        }
    return sum;
}

// ---------------------------------------------------------------------------------------------
// Whole-model arithmetic
// ---------------------------------------------------------------------------------------------

void init_model(Model *model, double value) {
    for (int i = 0; i <= model->length + 1; i++) {
        Node *n = model->nodes[i];
        for (int k = 0; k < n->nparams; k++) n->params[k] = (float)value;
        n->type = 0;
    }
}

void increment_model(Model *model, const Model *other, double factor) {
    for (int i = 0; i <= model->length + 1; i++) {
        Node *n = model->nodes[i];
        const Node *o = other->nodes[i];
        for (int k = 0; k < n->nparams; k++)
            n->params[k] = (float)(n->params[k] + o->params[k] * factor);
    }
}

void multiply_model(Model *model, double factor) {
    for (int i = 0; i <= model->length + 1; i++) {
        Node *n = model->nodes[i];
        for (int k = 0; k < n->nparams; k++) n->params[k] = (float)(n->params[k] * factor);
    }
}

void normalize_node(Node *node) {
    for (int s = 0; s < 3; s++) {
        double sum = (double)node->djump[s] + node->mjump[s] + node->ijump[s];
        if (sum > 0.0) {
            node->djump[s] = (float)(node->djump[s] / sum);
            node->mjump[s] = (float)(node->mjump[s] / sum);
            node->ijump[s] = (float)(node->ijump[s] / sum);
        }
    }
    int letters = emission_letters();
    int nmatch = (node->type == 'C' && is_codon_alphabet()) ? alphabet->emit_length : letters;
    normalize_table(node->match, nmatch, 0.0, false);
    normalize_table(node->insert, letters, 0.0, false);
}

void normalize_model(Model *model) {
    int L = model->length;
    int A = alphabet->emit_length;
    bool codon = is_codon_alphabet();
    int letters = emission_letters();
    Node **nodes = model->nodes;
    Node *begin = nodes[0];
    Node *end = nodes[L + 1];

    // 1. Transitions and emissions that cannot exist.
    set3(begin->djump, 0, 0, 0);
    set3(begin->mjump, 0, 0, 0);
    set3(end->djump, 0, 0, 0);
    set3(end->ijump, 0, 0, 0);
    begin->ijump[0] = 0;
    nodes[1]->djump[0] = 0;
    nodes[1]->mjump[0] = 0;
    for (int k = 0; k < letters; k++) {
        end->match[k] = 0;
        end->insert[k] = 0;
    }

    // 2. Outgoing transitions of nodes 0..L: next.djump[s], next.mjump[s], this.ijump[s].
    for (int i = 0; i <= L; i++) {
        Node *n = nodes[i];
        Node *next = nodes[i + 1];
        if (n->type == 'F') {
            for (int s = 0; s < 3; s++) {
                bool open = (i == 0) ? (s != 0) : (s != 1);
                float v = open ? 1.0f : 0.0f;
                next->djump[s] = v;
                next->mjump[s] = v;
                n->ijump[s] = v;
            }
        } else if (n->type == 'C' || n->type == 'D') {
            double sum = (double)next->djump[1] + next->mjump[1];
            if (sum > PROB_ZERO) {
                next->djump[1] = (float)(next->djump[1] / sum);
                next->mjump[1] = (float)(next->mjump[1] / sum);
            } else {
                next->djump[1] = 0;
                next->mjump[1] = 0;
            }
            n->ijump[1] = 0;
            for (int s = 0; s < 3; s += 2) {
                next->djump[s] = 0;
                next->mjump[s] = 0;
                n->ijump[s] = 0;
            }
            next->djump[0] = 1;
        } else {
            for (int s = 0; s < 3; s++) {
                double sum = (double)next->djump[s] + next->mjump[s] + n->ijump[s];
                if (sum > PROB_ZERO) {
                    next->djump[s] = (float)(next->djump[s] / sum);
                    next->mjump[s] = (float)(next->mjump[s] / sum);
                    n->ijump[s] = (float)(n->ijump[s] / sum);
                }
            }
        }
    }

    // 3. Emissions of nodes 0..L.
    for (int i = 0; i <= L; i++) {
        Node *n = nodes[i];
        if (!codon) {
            normalize_table(n->match, A, PROB_ZERO, true);
            normalize_table(n->insert, A, PROB_ZERO, true);
            continue;
        }
        if (n->type == 'D' || n->type == 'E') {
            for (int k = 0; k < A; k++) n->match[k] = k < letters ? 1.0f : 0.0f;
        } else if (n->type == 'C') {
            normalize_table(n->match, A, PROB_ZERO, true);
        } else {
            normalize_table(n->match, letters, PROB_ZERO, true);
            for (int k = letters; k < A; k++) n->match[k] = 0;
        }
        if (n->type == 'C' || n->type == 'D') {
            for (int k = 0; k < A; k++) n->insert[k] = 0;
        } else {
            normalize_table(n->insert, letters, PROB_ZERO, true);
            for (int k = letters; k < A; k++) n->insert[k] = 0;
        }
    }

    // 4. End emits nothing.
    for (int k = 0; k < A; k++) {
        end->match[k] = 0;
        end->insert[k] = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Cost records
// ---------------------------------------------------------------------------------------------

void log_chartable(ModWeight *weight, const Node *node, int selector, double scale) {
    const float *p = selector == 1 ? node->match : node->insert;
    int *q = selector == 1 ? weight->match : weight->insert;
    int A = alphabet->emit_length;
    int W = alphabet->emit_length_wild;

    if (!is_codon_alphabet()) {
        for (int i = 0; i < A; i++) q[i] = cost(scale * p[i]);
        if (W > A)  // the catch-all wildcard, when the alphabet has one past its letters
            q[W - 1] = cost(scale);
        if (alphabet->id == DNA_ALPHABET_ID || alphabet->id == RNA_ALPHABET_ID) {
            q[4] = cost(scale * ((double)p[0] + p[1]));
            q[5] = cost(scale * ((double)p[2] + p[3]));
        } else if (alphabet->id == PROTEIN_ALPHABET_ID) {
            q[20] = cost(scale * ((double)p[2] + p[11]));
            q[21] = cost(scale * ((double)p[3] + p[13]));
        }
        return;
    }

    // Codon alphabet: entry 25a + 5b + c, each position 0..3 a nucleotide and 4 'N'.
    if (selector == 1 && node->type == 'C') {
        for (int a = 0; a < 5; a++)
            for (int b = 0; b < 5; b++)
                for (int c = 0; c < 5; c++) {
                    double sum = 0.0;
                    for (int x = 0; x < 4; x++) {
                        if (a != 4 && x != a) continue;
                        for (int y = 0; y < 4; y++) {
                            if (b != 4 && y != b) continue;
                            for (int z = 0; z < 4; z++) {
                                if (c != 4 && z != c) continue;
                                sum += p[16 * x + 4 * y + z];
                            }
                        }
                    }
                    q[25 * a + 5 * b + c] = cost(scale * sum);
                }
        q[124] = cost(scale);
    } else if (selector == 1 && (node->type == 'D' || node->type == 'E')) {
        for (int k = 0; k < W; k++) q[k] = 0;
    } else if (selector == 2 && (node->type == 'C' || node->type == 'D')) {
        for (int k = 0; k < W; k++) q[k] = COST_OF_ZERO;
    } else {
        for (int a = 0; a < 5; a++)
            for (int bc = 0; bc < 25; bc++)
                q[25 * a + bc] = a < 4 ? cost(scale * p[a]) : cost(scale);
    }
}

void log_model(Model *model) {
    int L = model->length;
    Node **nodes = model->nodes;

    // 1. Cost records.
    if (!model->weights || !model->fim_weight) {
        free_mod_weight(model);
        alloc_mod_weight(model);
    }
    ModWeight **w = model->weights;

    // 2. Transition costs.
    for (int i = 0; i <= L + 1; i++)
        for (int k = 0; k < 9; k++) w[i]->costs[k] = cost(nodes[i]->params[k]);

    // 3. The FIM self-loop.
    if (fimtrans != 0.0) {
        int64_t sum = 0;
        int count = 0;
        for (int i = 1; i <= L; i++) {
            if (is_fim(nodes[i - 1]) || is_fim(nodes[i])) continue;
            int c = w[i]->mjump[1];
            if (c >= COST_OF_ZERO) continue;
            sum += c;
            count++;
        }
        double m;
        if (count > 0) {
            float a = (float)prob((int)(sum / count));
            m = a * std::fabs(fimtrans);
        } else {
            m = std::fabs(fimtrans);
        }
        int b = cost(m);
        for (int i = 0; i <= L; i++) {
            if (is_fim(nodes[i])) {
                w[i]->ijump[2] = b;
            } else if (fimtrans < 0.0) {
                double t = nodes[i]->ijump[2];
                w[i]->ijump[2] = cost(t * (1.0 - (1.0 - m) * t));
            }
        }
        model->fim_weight->ijump[2] = b;
    } else {
        model->fim_weight->ijump[2] = 0;
    }

    // 4. Emission costs.
    for (int i = 0; i <= L + 1; i++) {
        log_chartable(w[i], nodes[i], 1, 1.0);
        double scale;
        if (fimstrength < 0.0)
            scale = std::fabs(fimstrength);
        else
            scale = is_fim(nodes[i]) ? fimstrength : 1.0;
        log_chartable(w[i], nodes[i], 2, scale);
    }

    // 5. The FIM template's insert costs.
    const Node *tmpl = model->fim_node ? model->fim_node : nodes[0];
    log_chartable(model->fim_weight, tmpl, 2, std::fabs(fimstrength));
}

void init_begin_end(Model *model, double value) {
    int L = model->length;
    Node *begin = model->nodes[0];
    Node *end = model->nodes[L + 1];
    float v = (float)value;
    set3(begin->djump, v, v, v);
    set3(begin->mjump, v, v, v);
    begin->ijump[0] = v;
    model->nodes[1]->djump[0] = v;
    model->nodes[1]->mjump[0] = v;
    set3(end->djump, v, v, v);
    set3(end->ijump, v, v, v);
    int letters = emission_letters();
    for (int k = 0; k < letters; k++) {
        end->match[k] = v;
        end->insert[k] = v;
    }
}

void copy_alphlen_table(float *dest, const float *src, const AlphabetInfo *alpha) {
    if (!dest || !src || !alpha) return;
    for (int k = 0; k < alpha->emit_length; k++) dest[k] = src[k];
}

// ---------------------------------------------------------------------------------------------
// FIM and insert methods
// ---------------------------------------------------------------------------------------------

static const char *const method_texts[10] = {
    "original values",
    "training letter frequencies",
    "match frequency arithmetic mean",
    "the flat distribution",
    "target letter frequencies",
    "the generic node",
    "geometric mean of match probabilities",
    "the first model node",
    "the first FIM node",
    "no node",
};

// |method|; the most negative int (whose magnitude an int cannot hold) counts as INT_MAX, an
// illegal method like any other above 9.
static int method_magnitude(int method) {
    return method == INT_MIN ? INT_MAX : std::abs(method);
}

const char *I_method_string(int method) {
    static char buffer[100];
    int m = method_magnitude(method);
    if (m > 9)
        std::snprintf(buffer, sizeof buffer, "Illegal method setting (%d)", m);
    else
        std::snprintf(buffer, sizeof buffer, "%s (%d)", method_texts[m], m <= 6 ? m : 0);
    return buffer;
}

int revise_method(int method, int auto_flag) {
    if (auto_flag && method < 0) return 0;
    return method_magnitude(method);
}

void set_table(int *method, float **table, float *flat, Node *lettcount, Node *freqave,
               Node *generic, Node *geometric, const char *name) {
    *table = nullptr;
    switch (*method) {
        case METHOD_ORIGINAL: return;
        case METHOD_LETTCOUNT:
            if (lettcount) *table = lettcount->insert;
            break;
        case METHOD_FREQAVE:
            if (freqave) *table = freqave->insert;
            break;
        case METHOD_FLAT: *table = flat; break;
        case METHOD_GENERIC:
            if (generic) *table = generic->insert;
            break;
        case METHOD_GEOMETRIC:
            if (geometric) *table = geometric->match;
            break;
        default:
            std::fprintf(stderr, "Invalid %s: %d (%s) specified.\n", name, *method,
                         I_method_string(*method));
            *method = 0;
            return;
    }
    if (!*table) {
        std::fprintf(stderr, "%s %d (%s) not available in model.\n Tables not modified.\n", name,
                     *method, I_method_string(*method));
        *method = 0;
    }
}

// Accumulates ln v into sum/count when v is positive.
static void add_log(double &sum, int &count, double v) {
    if (v > 0.0) {
        sum += std::log(v);
        count++;
    }
}

Node *make_geometric_ave_node(const Model *model) {
    int L = model->length;
    int letters = emission_letters();
    bool codon = is_codon_alphabet();
    double tsum[9] = {0};
    int tcount[9] = {0};
    std::vector<double> msum(letters, 0.0), isum(letters, 0.0);
    std::vector<int> mcount(letters, 0), icount(letters, 0);
    int taken = 0;

    for (int i = 1; i <= L - 1; i++) {
        const Node *n = model->nodes[i];
        const Node *next = model->nodes[i + 1];
        if (is_fim(n)) continue;
        taken++;
        if (n->type != 'C' && n->type != 'D') {
            for (int s = 0; s < 3; s++) {
                add_log(tsum[s], tcount[s], next->djump[s]);
                add_log(tsum[3 + s], tcount[3 + s], next->mjump[s]);
                add_log(tsum[6 + s], tcount[6 + s], n->ijump[s]);
            }
        }
        if (n->type == 'D') continue;
        if (n->type == 'C' && codon) {
            for (int pos = 0; pos < 3; pos++)
                for (int k = 0; k < 4; k++)
                    add_log(msum[k], mcount[k], codon_position_prob(n->match, pos, k));
        } else if (n->type != 'E') {
            for (int k = 0; k < letters; k++) add_log(msum[k], mcount[k], n->match[k]);
        }
        for (int k = 0; k < letters; k++) add_log(isum[k], icount[k], n->insert[k]);
    }
    if (taken == 0) error("make_geometric_ave_node:  no non-FIM nodes found. ");

    Node *geo = alloc_node();
    for (int k = 0; k < 9; k++)
        geo->params[k] = tcount[k] > 0 ? (float)std::exp(tsum[k] / tcount[k]) : 0.0f;
    for (int k = 0; k < letters; k++) {
        geo->match[k] = mcount[k] > 0 ? (float)std::exp(msum[k] / mcount[k]) : 0.0f;
        geo->insert[k] = icount[k] > 0 ? (float)std::exp(isum[k] / icount[k]) : 0.0f;
    }
    normalize_node(geo);
    return geo;
}

// A flat table over the alphabet's letters (1/n each, 0 beyond), emission-size wide.
static float *make_flat_table() {
    int A = alphabet->emit_length;
    int letters = emission_letters();
    float *flat = static_cast<float *>(mem_alloc((size_t)A * sizeof(float)));
    for (int k = 0; k < letters; k++) flat[k] = 1.0f / (float)letters;
    return flat;
}

static void copy_table(float *dest, const float *src) {
    if (dest == src) return;
    std::memmove(dest, src, (size_t)alphabet->emit_length * sizeof(float));
}

int change_inserts_set_fim(Model *model, int fim_method, int insert_method, int auto_flag,
                           int *fim_out, int *ins_out) {
    if (!model) {
        std::fprintf(stderr, "Error in change_inserts:  no model available!!\n");
        std::abort();
    }
    int L = model->length;
    Node **nodes = model->nodes;

    // 2-3. The automatic choice and the two methods.
    if (fim_method == 0) fim_method = model->generic ? -METHOD_GENERIC : -METHOD_GEOMETRIC;
    int f = method_magnitude(fim_method);
    int i = revise_method(insert_method, auto_flag);

    // 4. Tables built for this call.
    float *flat = (f == METHOD_FLAT || i == METHOD_FLAT) ? make_flat_table() : nullptr;
    Node *geo =
        (f == METHOD_GEOMETRIC || i == METHOD_GEOMETRIC) ? make_geometric_ave_node(model) : nullptr;

    // 5. Look the tables up.
    float *fim_table = nullptr;
    float *ins_table = nullptr;
    set_table(&f, &fim_table, flat, model->lettcount, model->freqave, model->generic, geo,
              "FIM_method");
    model->fim_method = f;
    set_table(&i, &ins_table, flat, model->lettcount, model->freqave, model->generic, geo,
              "Insert_method");
    int found = (fim_table || ins_table) ? 1 : 0;

    // 6. An automatic FIM method is not written into the nodes.
    if (fim_method < 0 && auto_flag) f = 0;

    // 7-8. The template node and the nodes' insert tables (End keeps its tables).
    if (!model->fim_node) model->fim_node = alloc_node();
    for (int k = 0; k <= L; k++) {
        Node *n = nodes[k];
        if (is_fim(n)) {
            if (f != 0 && fim_table) copy_table(n->insert, fim_table);
        } else if (ins_table) {
            copy_table(n->insert, ins_table);
        }
    }

    // 9. The template's insert table.
    if (f != 0 && fim_table) {
        copy_table(model->fim_node->insert, fim_table);
    } else {
        int first = -1;
        for (int k = 0; k <= L && first < 0; k++)
            if (is_fim(nodes[k])) first = k;
        if (first >= 0) {
            copy_table(model->fim_node->insert, nodes[first]->insert);
            model->fim_method = METHOD_FIRST_FIM;
        } else if (fim_table) {
            copy_table(model->fim_node->insert, fim_table);
        } else {
            copy_table(model->fim_node->insert, nodes[0]->insert);
            model->fim_method = METHOD_FIRST_NODE;
        }
    }
    if (fim_out) *fim_out = f;
    if (ins_out) *ins_out = i;

    // 10. Release the tables of this call.
    std::free(flat);
    free_node(geo);
    return found;
}

void turn_into_fim(Model *model, const float *table, int k) {
    int L = model->length;
    Node *n = model->nodes[k];
    if (is_codon_type(n->type)) {
        std::fprintf(stderr,
                     "Error -- cannot change a Codon typed node (#%d) to a FIM.  Ignoring.\n", k);
        return;
    }
    int A = alphabet->emit_length;
    n->type = 'F';
    for (int x = 0; x < A; x++) {
        n->match[x] = 0;
        if (table) n->insert[x] = table[x];
    }
    if (k == 0) {
        set3(n->djump, 0, 0, 0);
        set3(n->mjump, 0, 0, 0);
        set3(n->ijump, 0, 1, 1);
        Node *next = model->nodes[1];
        set3(next->djump, 0, 1, 1);
        set3(next->mjump, 0, 1, 1);
        return;
    }
    set3(n->ijump, 1, 0, 1);
    for (int s = 0; s < 3; s++) {
        n->djump[s] += n->mjump[s];
        n->mjump[s] = 0;
    }
    Node *next = model->nodes[k + 1];
    if (k == L) {
        set3(next->djump, 0, 0, 0);
        set3(next->ijump, 0, 0, 0);
        set3(next->mjump, 1, 0, 1);
        for (int x = 0; x < A; x++) {
            next->match[x] = 0;
            next->insert[x] = 0;
        }
    } else {
        set3(next->djump, 1, 0, 1);
        set3(next->mjump, 1, 0, 1);
    }
}

static int fims_added_flag = 0;

void set_fims_added() {
    fims_added_flag = 1;
}
void clear_fims_added() {
    fims_added_flag = 0;
}
int fims_added() {
    return fims_added_flag;
}

void add_fims_at_ends(Model **model_ptr, int *added, int *method) {
    Model *old = *model_ptr;
    int L = old->length;
    if (is_fim(old->nodes[0]) && is_fim(old->nodes[L])) {
        if (added) *added = 0;
        return;
    }
    if (added) *added = 1;
    set_fims_added();

    // The model one position longer; the old nodes keep their slots, End is copied one on.
    Model *m = alloc_model(-(L + 1));
    m->generic = old->generic;
    m->lettcount = old->lettcount;
    m->freqave = old->freqave;
    m->fim_node = old->fim_node;
    m->fim_method = old->fim_method;
    old->generic = old->lettcount = old->freqave = old->fim_node = nullptr;
    for (int i = 0; i <= L + 1; i++) {
        m->nodes[i] = old->nodes[i];
        old->nodes[i] = nullptr;
    }
    m->nodes[L + 2] = dup_node(m->nodes[L + 1]);
    // The End keeps its label; the node that becomes the end FIM is unlabelled, so that labels
    // stay in increasing order along the model.
    m->nodes[L + 1]->lab = NO_LABEL;

    // The table of both FIMs.
    std::vector<float> table(alphabet->emit_length);
    int used;
    if (m->fim_node) {
        std::memcpy(table.data(), m->fim_node->insert, table.size() * sizeof(float));
        used = m->fim_method;
    } else if (m->generic) {
        std::memcpy(table.data(), m->generic->insert, table.size() * sizeof(float));
        used = METHOD_GENERIC;
        std::fprintf(stderr, "Warning:  FIMs added using generic node.  To avoid this message\n"
                             "set FIM_method_{train,score} to a non-zero value.\n");
    } else {
        std::memcpy(table.data(), m->nodes[0]->insert, table.size() * sizeof(float));
        used = METHOD_FIRST_NODE;
        std::fprintf(stderr, "Warning:  FIMs added using node 0 insert.  To avoid this message\n"
                             "set FIM_method_{train,score} to a non-zero value.\n");
    }
    turn_into_fim(m, table.data(), 0);
    turn_into_fim(m, table.data(), L + 1);
    if (method) *method = used;

    free_model(old);
    *model_ptr = m;
}

void remove_fim_delete_if_auto(Sequence *seq) {
    if (!fims_added() || !seq || !seq->align) return;
    unsigned char *code = seq->align;
    long n = (long)std::strlen(reinterpret_cast<char *>(code));
    long pos = n - 1;
    while (pos >= 0 && code[pos] >= 1 && code[pos] <= ALIGN_MATCH_BASE) pos--;
    int value = pos >= 0 ? code[pos] : 0;
    if (value > ALIGN_DELETE_BASE + 1) {
        code[pos]--;
    } else if (value == ALIGN_DELETE_BASE + 1) {
        std::memmove(code + pos, code + pos + 1, (size_t)(n - pos));
    } else {
        std::fprintf(stderr, "Error in locating FIM delete in %s (%ld,%d)\n",
                     shown_text(seq->id).c_str(), pos, value);
    }
}

void copy_node(const Node *src, Node *dest) {
    dest->type = src->type;
    dest->lab = src->lab;
    int n = src->nparams < dest->nparams ? src->nparams : dest->nparams;
    std::memcpy(dest->params, src->params, (size_t)n * sizeof(float));
    copy_node_env(src->nodeenv, dest->nodeenv);
}

// ---------------------------------------------------------------------------------------------
// Node and model copies
// ---------------------------------------------------------------------------------------------

Node *dup_node(const Node *node) {
    if (!node) return nullptr;
    Node *n = alloc_node();
    n->type = node->type;
    n->lab = node->lab;
    int count = node->nparams < n->nparams ? node->nparams : n->nparams;
    std::memcpy(n->params, node->params, (size_t)count * sizeof(float));
    return n;
}

Node *get_node(const Node *node) {
    return dup_node(node);
}

Node *get_unlabeled_node(const Node *node) {
    Node *n = dup_node(node);
    if (n) n->lab = NO_LABEL;
    return n;
}

int has_fim(const Model *model) {
    for (int i = 0; i <= model->length + 1; i++)
        if (is_fim(model->nodes[i])) return 1;
    return 0;
}

Model *replicate_model(const Model *model) {
    Model *m = alloc_empty_model(model->length);
    for (int i = 0; i <= model->length + 1; i++) m->nodes[i] = dup_node(model->nodes[i]);
    m->generic = dup_node(model->generic);
    m->lettcount = dup_node(model->lettcount);
    m->freqave = dup_node(model->freqave);
    m->fim_node = dup_node(model->fim_node);
    m->fim_method = model->fim_method;
    return m;
}

// ---------------------------------------------------------------------------------------------
// Conversions between raw models and models
// ---------------------------------------------------------------------------------------------

// The warning of check_fims is given once per run.
static bool fim_match_warned = false;

void check_fims(Model *model, int warn) {
    const float *source = model->fim_node  ? model->fim_node->insert
                          : model->generic ? model->generic->insert
                                           : model->nodes[0]->insert;
    std::vector<float> table(source, source + alphabet->emit_length);
    int first = -1;
    for (int k = 0; k <= model->length; k++) {
        Node *n = model->nodes[k];
        if (is_fim(n) && n->match[0] != 0.0f) {
            if (first < 0) first = k;
            turn_into_fim(model, table.data(), k);
        }
    }
    if (first >= 0 && warn && !fim_match_warned) {
        fim_match_warned = true;
        std::fprintf(stderr,
                     "Some FIMs have non-zero match states (e.g., node %d),\n"
                     "a natural result of using the protein `O' (gap) character with colbrand\n"
                     "or turning an existing or GENERIC node into a FIM.\n"
                     "These nodes are being renormalized as discussed in the QOR manual.\n"
                     "To avoid this message, use plenmod or quillet when adding FIMs.\n",
                     first);
    }
}

// Turns every node 0..L marked '$' into a FIM with the GENERIC node's insert table.
static void make_marked_fims(Model *model) {
    const float *table = model->generic ? model->generic->insert : nullptr;
    for (int k = 0; k <= model->length; k++)
        if (model->nodes[k]->type == '$') turn_into_fim(model, table, k);
}

Model *destruct_rmodel2model(Rmodel **rmodel_ptr) {
    Rmodel *r = rmodel_ptr ? *rmodel_ptr : nullptr;
    if (!r) error("No model to prepare");
    require_rmodel_nodes(r, "model");
    int P = r->nstart;
    int Q = r->nend;
    int L = P + Q;

    Model *m = alloc_empty_model(L);
    m->generic = r->generic;
    m->lettcount = r->lettcount;
    m->freqave = r->freqave;
    r->generic = r->lettcount = r->freqave = nullptr;
    if (r->slots) {
        for (int j = 0; j <= P; j++) {
            m->nodes[j] = r->slots[j];
            r->slots[j] = nullptr;
        }
        for (int e = Q; e >= 0; e--) {
            m->nodes[P + 1 + (Q - e)] = r->end_nodes[e];
            r->end_nodes[e] = nullptr;
        }
    }
    r->begin = r->end = nullptr;
    for (int j = 0; j <= L + 1; j++) {
        if (m->nodes[j]) continue;
        if (!m->generic) {
            // The partial model holds the nodes already moved; release it first (a fatal error
            // may be thrown to a test harness instead of ending the process).
            free_model(m);
            if (j <= P) error("Destruct_rmodel2model missing node %d (of %d), no generic", j, L);
            error("Destruct_rmodel2model missing node -%d (%d of %d), no generic", L + 1 - j, j, L);
        }
        m->nodes[j] = dup_node(m->generic);
    }
    make_marked_fims(m);
    free_rmodel(rmodel_ptr);
    check_fims(m, 1);
    return m;
}

Model *rmodel2model(const Rmodel *r, int *length) {
    int P = r->nstart;
    int Q = r->nend;
    int len = (length && *length > 0) ? *length : P + Q;
    if (len < 0) len = 0;
    if (length) *length = len;

    Model *m = alloc_empty_model(len);
    for (int j = 0; j <= len + 1; j++) {
        int e = len + 1 - j;
        const Node *start = (r->slots && j <= P) ? r->slots[j] : nullptr;
        const Node *endn = (r->end_nodes && e <= Q) ? r->end_nodes[e] : nullptr;
        const Node *src;
        bool from_generic = false;
        if (start)
            src = (j > len / 2 && endn) ? endn : start;
        else if (endn)
            src = endn;
        else if (r->generic) {
            src = r->generic;
            from_generic = true;
        } else {
            std::fprintf(stderr,
                         "rmodel2model:  Node %d in model length %d missing, no generic node\n", j,
                         len);
            free_model(m);
            error("Exiting program.");
        }
        m->nodes[j] = dup_node(src);
        if (from_generic && m->nodes[j]->type == 'F') m->nodes[j]->type = '$';
    }
    m->generic = dup_node(r->generic);
    m->lettcount = dup_node(r->lettcount);
    m->freqave = dup_node(r->freqave);
    make_marked_fims(m);
    check_fims(m, 1);
    return m;
}

Rmodel *destruct_model2rmodel(Model *model) {
    int L = model->length;
    Rmodel *r = alloc_rmodel(nullptr);
    r->nstart = L;
    r->nend = 0;
    alloc_rmodel(r);
    for (int i = 0; i <= L + 1; i++) {
        r->slots[i] = model->nodes[i];
        model->nodes[i] = nullptr;
    }
    r->begin = r->slots[0];
    r->end = r->end_nodes[0];
    r->generic = model->generic;
    r->lettcount = model->lettcount;
    r->freqave = model->freqave;
    model->generic = model->lettcount = model->freqave = nullptr;
    free_model(model);
    return r;
}

Model *regularizer_with_confidence(const Rmodel *rmodel, int length, double del_conf,
                                   double match_conf, double ins_conf, double matchconf_w,
                                   double insconf_w) {
    Model *m = rmodel2model(rmodel, &length);
    double trans[3] = {del_conf, match_conf, ins_conf};
    int A = alphabet->emit_length;
    for (int i = 0; i <= m->length + 1; i++) {
        Node *n = m->nodes[i];
        for (int s = 0; s < 3; s++) {
            n->djump[s] = (float)(n->djump[s] * trans[s]);
            n->mjump[s] = (float)(n->mjump[s] * trans[s]);
            n->ijump[s] = (float)(n->ijump[s] * trans[s]);
        }
        for (int k = 0; k < A; k++) {
            n->match[k] = (float)(n->match[k] * matchconf_w);
            n->insert[k] = (float)(n->insert[k] * insconf_w);
        }
    }
    return m;
}

int change_Rinserts(Rmodel *r, int fim_method, int insert_method, int auto_flag, int *fim_out,
                    int *ins_out) {
    int f = revise_method(fim_method, auto_flag);
    int i = revise_method(insert_method, auto_flag);
    if (is_codon_alphabet()) f = i = 0;

    float *flat = (f == METHOD_FLAT || i == METHOD_FLAT) ? make_flat_table() : nullptr;
    Node *geo = nullptr;
    if (f == METHOD_GEOMETRIC || i == METHOD_GEOMETRIC) {
        Model *tmp = rmodel2model(r, nullptr);
        geo = make_geometric_ave_node(tmp);
        free_model(tmp);
    }
    float *fim_table = nullptr;
    float *ins_table = nullptr;
    set_table(&f, &fim_table, flat, r->lettcount, r->freqave, r->generic, geo, "FIM_method");
    set_table(&i, &ins_table, flat, r->lettcount, r->freqave, r->generic, geo, "Insert_method");

    auto apply = [&](Node *n) {
        if (!n) return;
        if (is_fim(n)) {
            if (fim_table) copy_table(n->insert, fim_table);
        } else if (i != 0 && ins_table) {
            copy_table(n->insert, ins_table);
        }
    };
    if (r->slots) {
        for (int j = 0; j <= r->nstart; j++) apply(r->slots[j]);
        for (int k = 1; k <= r->nend; k++) apply(r->end_nodes[k]);
    }
    if (r->generic && ins_table) {
        copy_table(r->generic->insert, ins_table);
        copy_table(r->generic->match, ins_table);
    }
    if (fim_out) *fim_out = f;
    if (ins_out) *ins_out = i;
    int found = (fim_table || ins_table) ? 1 : 0;
    std::free(flat);
    free_node(geo);
    return found;
}

// ---------------------------------------------------------------------------------------------
// Frequency nodes
// ---------------------------------------------------------------------------------------------

Model *seq_to_freq(const Sequence *seq, double weight) {
    int len = seq->len > 0 ? seq->len : 0;
    Model *m = alloc_model(len);
    int A = alphabet->emit_length;
    const unsigned char *res = seq->tracks[0].res;
    for (int i = 1; i <= len; i++) {
        int letter = res ? res[i - 1] : A;
        if (letter < A) m->nodes[i]->match[letter] = (float)weight;
        m->nodes[i]->mjump[1] = (float)weight;
    }
    m->nodes[len + 1]->djump[1] = (float)weight;
    return m;
}

void make_freqave(Model *model) {
    if (!model->freqave) model->freqave = alloc_node();
    Node *fa = model->freqave;
    for (int k = 0; k < 9; k++) fa->params[k] = 0;
    int letters = emission_letters();
    bool codon = is_codon_alphabet();
    std::vector<double> sum(letters, 0.001);
    for (int i = 1; i <= model->length; i++) {
        const Node *n = model->nodes[i];
        if (is_fim(n) || n->type == 'D' || n->type == 'E') continue;
        if (n->type == 'C' && codon) {
            for (int pos = 0; pos < 3; pos++)
                for (int k = 0; k < 4; k++) sum[k] += codon_position_prob(n->match, pos, k);
        } else {
            for (int k = 0; k < letters; k++) sum[k] += n->match[k];
        }
    }
    double total = 0.0;
    for (double v : sum) total += v;
    int A = alphabet->emit_length;
    for (int k = 0; k < A; k++) {
        float v = k < letters ? (float)(sum[k] / total) : 0.0f;
        fa->match[k] = v;
        fa->insert[k] = v;
    }
}

void make_lettercounts(Node **slot, SequenceTable *table, int track, int count) {
    if (!*slot) *slot = alloc_node();
    Node *n = *slot;
    for (int k = 0; k < 9; k++) n->params[k] = 0;
    if (!table) return;
    float *freq = global_letter_counts(table->seqs, track, count);
    int letters = emission_letters();
    for (int k = 0; k < letters; k++) {
        n->match[k] = freq[k];
        n->insert[k] = freq[k];
    }
    std::free(freq);
}

// ---------------------------------------------------------------------------------------------
// Preparation
// ---------------------------------------------------------------------------------------------

static int first_report = 1;
static int last_reported_track = -1;

int setup_sw_add_fims(Model **model, int auto_fim_mode, int sw, int *adjust_score, int track,
                      FILE *report) {
    static const char *const P = "% ";
    if (sw > 3) return 0;
    bool tell = first_report && report;
    if (tell) {
        switch (sw) {
            case 0: std::fprintf(report, "%sSequence-model (global) (SW = %i)\n", P, sw); break;
            case 1:
                std::fprintf(report, "%sSequence-submodel (semilocal) (SW = %i)\n", P, sw);
                break;
            case 2:
                std::fprintf(report, "%sSubsequence-submodel (local) (SW = %i)\n", P, sw);
                break;
            case 3: std::fprintf(report, "%sSubsequence-model (domain) (SW = %i)\n", P, sw); break;
            default: break;
        }
    }
    if (sw == 0 || sw == 3) {
        *adjust_score = 0;
    } else if ((sw == 1 || sw == 2) && tell) {
        if (*adjust_score == 1)
            std::fprintf(report,
                         "%sSimple scores adjusted by ln(seq+mod len) (adjust_score = %d)\n", P, 1);
        else if (*adjust_score == 2)
            std::fprintf(
                report, "%sSimple scores adjusted by +1.5*ln(seq len) (adjust_score = %d)\n", P, 2);
        else
            std::fprintf(report,
                         "%sWarning: Scores NOT adjusted.  See adjust_score documentation (%d).\n",
                         P, 2);
    }
    if ((fimstrength != 1.0 || fimtrans != 1.0) && tell)
        std::fprintf(report, "%sFIM adjustments:  fimstrength %4.2f fimtrans %4.2f\n", P,
                     fimstrength, fimtrans);

    int added = 0;
    int method = 0;
    if (auto_fim_mode == AUTOFIM_ALWAYS || (auto_fim_mode != 0 && (sw == 2 || sw == 3)))
        add_fims_at_ends(model, &added, &method);

    if (track != last_reported_track) {
        if (added) {
            last_reported_track = track;
            if (report)
                std::fprintf(report, "%sTrack %d FIMs added (%s)\n", P, track,
                             I_method_string(method));
        } else if (has_fim(*model)) {
            last_reported_track = track;
            if (report)
                std::fprintf(report, "%sTrack %d FIMs present in original model\n", P, track);
        }
    }

    if (tell && (sw == 2 || sw == 3)) {
        const Model *m = *model;
        if (!(is_fim(m->nodes[0]) && is_fim(m->nodes[m->length])))
            std::fprintf(report, "%sWARNING: SW %d works best with FIMs at both model ends.\n", P,
                         sw);
    }
    first_report = 0;
    return added;
}

void reset_models_state() {
    fims_added_flag = 0;
    fim_match_warned = false;
    first_report = 1;
    last_reported_track = -1;
}

void reprocess_model(Model **model, int auto_fim_mode, int sw, ScoreParams *params, int track,
                     FILE *report) {
    // Methods: from the settings record for the first track, else automatic.
    int fim_method = 0;
    int insert_method = 0;
    if (params && track <= 0) {
        fim_method = params->FIM_method_score;
        insert_method = params->Insert_method_score;
    }
    int fim_applied = 0;
    int ins_applied = 0;
    change_inserts_set_fim(*model, fim_method, insert_method, 1, &fim_applied, &ins_applied);
    if (params) {
        params->FIM_method = fim_applied;
        params->Insert_method = ins_applied;
    }

    int local_adjust = 0;
    setup_sw_add_fims(model, auto_fim_mode, sw, params ? &params->adjust_score : &local_adjust,
                      track, report);
    if (params) params->model_length = (*model)->length;

    normalize_model(*model);
    log_model(*model);
}

Model *process_rmodel(Rmodel **rmodel, int auto_fim_mode, int sw, ScoreParams *params, int track,
                      FILE *report) {
    Model *model = destruct_rmodel2model(rmodel);
    try {
        reprocess_model(&model, auto_fim_mode, sw, params, track, report);
    } catch (...) {
        // A fatal error thrown to a test harness, or memory run out: the raw model is gone, so
        // release its model.
        free_model(model);
        throw;
    }
    return model;
}

// ---------------------------------------------------------------------------------------------
// Query-sequence and per-track models
// ---------------------------------------------------------------------------------------------

// Set once sw_model has changed the signs of the user's thresholds, so that a second query model
// of the run does not change them back.
static bool sw_thresholds_done = false;

void reset_sw_model_thresholds() {
    sw_thresholds_done = false;
}

Model *sw_model(ScoreParams *params, FILE *report) {
    set_fims_added();
    const char *file = params->query ? params->query : "";
    SequenceTable *table = alloc_sequence_table();
    int n = 0;
    try {
        n = read_sequences(file, nullptr, 1, table, 1);
    } catch (...) {
        free_sequence_table(table);
        throw;
    }
    Sequence *query = n == 1 ? remove_seq_from_table(table, 0) : nullptr;
    free_sequence_table(table);
    if (!query) error("Query sequence not found in file %s", shown_text(file).c_str());
    if (query->len <= 0) {
        std::string id = shown_text(query->id);
        free_sequence(query);
        error("Query sequence %s in file %s is empty", id.c_str(), shown_text(file).c_str());
    }
    Model *model = alloc_empty_model(0);
    model->query = query;
    if (report) {
        std::fprintf(report, "%% Smith & Waterman Query Sequence:  %s\n", query->id);
        if (query->annotation)
            std::fprintf(report, "%% Query Annotation:  %50s\n", query->annotation);
    }
    model->kind = 1;
    model->gap = params->gap;
    model->cont = params->continue_;
    if (!params->matrix || !*params->matrix) {
        free_model(model);
        error("No substitution matrix named for the query sequence (parameter matrix)");
    }
    try {
        model->matrix = read_matrix(params->matrix, nullptr, nullptr, report);
    } catch (...) {
        free_model(model);
        throw;
    }
    if (report)
        std::fprintf(report, "%% Gap cost %d    Continue cost %d\n", model->gap, model->cont);

    params->negate = 1;
    params->model_length = query->len;
    if (!sw_thresholds_done) {
        sw_thresholds_done = true;
        if (var_changed(&Score.NLLnull)) params->NLLnull = -params->NLLnull;
        if (var_changed(&Score.mdNLLnull)) params->mdNLLnull = -params->mdNLLnull;
        if (var_changed(&Score.NLLcomplex)) params->NLLcomplex = -params->NLLcomplex;
        if (var_changed(&Score.mdNLLcomplex)) params->mdNLLcomplex = -params->mdNLLcomplex;
    }
    return model;
}

void free_track_models(Model ***models, float **coeffs, int count) {
    if (models && *models) {
        for (int i = 0; i < count; i++) free_model((*models)[i]);
        std::free(*models);
        *models = nullptr;
    }
    if (coeffs) {
        std::free(*coeffs);
        *coeffs = nullptr;
    }
}

namespace {

void free_name_lists(NameList *&a, NameList *&b) {
    std::free(a);
    std::free(b);
    a = b = nullptr;
}

// Prepares the model of each file of the list, track by track, into the caller's arrays.
// Returns the number of models, or 0 after releasing both arrays.
int prepare_track_files(const NameList *files, const NameList *coeff_list, Model ***models,
                        float **coeffs, int slots, int auto_fim_mode, int sw, ScoreParams *params,
                        FILE *report, int read_flags) {
    Model **m = *models;
    float *c = *coeffs;
    for (int i = 0; i < files->count; i++) {
        const char *file = files->name[i];
        // The track's alphabet is current while its file is read, so that the nodes have the
        // track alphabet's size; a block's alphabet line may set it.
        if (alphabets[i]) alphabet = alphabets[i];
        std::string description = "track " + std::to_string(i) + " model";
        Rmodel *raw = nullptr;
        int got = read_first_rmodel(file, description.c_str(), i, &raw, read_flags);
        if (got < 0) {  // the file holds no model
            free_rmodel(&raw);
            free_track_models(models, coeffs, slots);
            return 0;
        }
        if (got == 0 || !raw)
            error("Track %d model file %s could not be opened", i, shown_text(file).c_str());
        if (alphabets[i]) alphabet = alphabets[i];
        m[i] = process_rmodel(&raw, auto_fim_mode, sw, params, i, report);
        if (coeff_list->count > 0) c[i] = static_cast<float>(std::atof(coeff_list->name[i]));
        if (c[i] < 0.0f) {
            std::fprintf(stderr, "Track %d coef < 0 (%5.3f).  Resetting to 1.0.\n", i, c[i]);
            std::fprintf(report, "%% Track %d coef < 0 (%5.3f).  Resetting to 1.0.\n", i, c[i]);
            c[i] = 1.0f;
        }
        std::fprintf(report, "%% Track %d Coeff %5.3f File %s\n", i, c[i], file);
        if (i >= 1 && m[i]->length != m[i - 1]->length) {
            std::fprintf(stderr, "Track model %d has length %d, while TM %d has length %d\n", i,
                         m[i]->length, i - 1, m[i - 1]->length);
            if (read_flags & 1) error("All track models must have same length.");
            free_track_models(models, coeffs, slots);
            return 0;
        }
    }
    return files->count;
}

}  // namespace

int read_and_process_track_models(Rmodel **single, const char *single_name, Model ***models,
                                  float **coeffs, const char *track_files, const char *track_coeffs,
                                  int auto_fim_mode, int sw, ScoreParams *params, FILE *report,
                                  int require_all, int read_flags) {
    if (!report) report = stdout;
    check_alphabet(nullptr);
    NameList *files = parse_name_list(track_files);
    NameList *coeff_list = parse_name_list(track_coeffs);
    const int nfiles = files->count;
    const int ncoeffs = coeff_list->count;
    const int nalpha = num_alphabets;
    if ((ncoeffs != 0 && ncoeffs != nfiles) || (require_all && nfiles != 0 && nfiles != nalpha) ||
        nfiles > nalpha) {
        std::fprintf(stderr, "Track models require matching numbers of alphabet definitions\n");
        std::fprintf(stderr, "  track model filenames, and track coefficients.  Instead, there\n");
        std::fprintf(stderr, "  are %d models (-trackmod), %d coefficients (-trackcoeff), and\n",
                     nfiles, ncoeffs);
        std::fprintf(stderr,
                     "  %d alphabets (-a).  Use comma-separated lists with these options.\n",
                     nalpha);
        free_name_lists(files, coeff_list);
        if (read_flags & 1) error("Tracks must correspond to alphabets.\n");
        return 0;
    }
    const bool have_query = params && params->query && *params->query;
    const bool have_single = single && *single;
    if ((nfiles > 0) + have_query + have_single > 1) {
        free_name_lists(files, coeff_list);
        error("Only one of -modelfile (or -i models), -query sequences,\nand -trackmod may be "
              "specified.\n");
    }
    if (nfiles == 0 && !have_query && !have_single) {
        free_name_lists(files, coeff_list);
        return 0;
    }
    const int slots = nalpha > 0 ? nalpha : 1;
    *models = static_cast<Model **>(mem_alloc(sizeof(Model *) * slots));
    *coeffs = static_cast<float *>(mem_alloc(sizeof(float) * slots));
    for (int i = 0; i < slots; i++) (*coeffs)[i] = 1.0f;

    AlphabetInfo *track0 = alphabets[0] ? alphabets[0] : alphabet;
    int count = 0;
    try {
        if (have_query) {
            (*models)[0] = sw_model(params, report);
            count = 1;
        } else if (have_single) {
            (*models)[0] = process_rmodel(single, auto_fim_mode, sw, params, 0, report);
            if (single_name) std::fprintf(report, "%% Single Track Model:  %s\n", single_name);
            count = 1;
        } else {
            count = prepare_track_files(files, coeff_list, models, coeffs, slots, auto_fim_mode, sw,
                                        params, report, read_flags);
        }
    } catch (...) {
        alphabet = track0;
        free_track_models(models, coeffs, slots);
        free_name_lists(files, coeff_list);
        throw;
    }
    alphabet = track0;
    free_name_lists(files, coeff_list);
    return count;
}
