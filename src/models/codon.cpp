// Codon models: the genetic code, amino-acid <-> codon tables, nucleotide collapses and the
// C, D, E node triples of the CODON alphabet.
#include "models/codon.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// Codon indices by nucleotide letters, A 0, G 1, C 2, T 3.
#define COD(a, b, c) (16 * (a) + 4 * (b) + (c))
enum { nA = 0, nG = 1, nC = 2, nT = 3 };

const int pconv[PCONV_ROWS][PCONV_WIDTH] = {
    {COD(nG, nC, nA), COD(nG, nC, nC), COD(nG, nC, nG), COD(nG, nC, nT), -1},  // A
    {COD(nT, nG, nC), COD(nT, nG, nT), -1},                                    // C
    {COD(nG, nA, nC), COD(nG, nA, nT), -1},                                    // D
    {COD(nG, nA, nA), COD(nG, nA, nG), -1},                                    // E
    {COD(nT, nT, nC), COD(nT, nT, nT), -1},                                    // F
    {COD(nG, nG, nA), COD(nG, nG, nC), COD(nG, nG, nG), COD(nG, nG, nT), -1},  // G
    {COD(nC, nA, nC), COD(nC, nA, nT), -1},                                    // H
    {COD(nA, nT, nA), COD(nA, nT, nC), COD(nA, nT, nT), -1},                   // I
    {COD(nA, nA, nA), COD(nA, nA, nG), -1},                                    // K
    {COD(nT, nT, nA), COD(nT, nT, nG), COD(nC, nT, nA), COD(nC, nT, nC), COD(nC, nT, nG),
     COD(nC, nT, nT), -1},                                                     // L
    {COD(nA, nT, nG), -1},                                                     // M
    {COD(nA, nA, nC), COD(nA, nA, nT), -1},                                    // N
    {COD(nC, nC, nA), COD(nC, nC, nC), COD(nC, nC, nG), COD(nC, nC, nT), -1},  // P
    {COD(nC, nA, nA), COD(nC, nA, nG), -1},                                    // Q
    {COD(nC, nG, nA), COD(nC, nG, nC), COD(nC, nG, nG), COD(nC, nG, nT), COD(nA, nG, nA),
     COD(nA, nG, nG), -1},  // R
    {COD(nT, nC, nA), COD(nT, nC, nC), COD(nT, nC, nG), COD(nT, nC, nT), COD(nA, nG, nC),
     COD(nA, nG, nT), -1},                                                     // S
    {COD(nA, nC, nA), COD(nA, nC, nC), COD(nA, nC, nG), COD(nA, nC, nT), -1},  // T
    {COD(nG, nT, nA), COD(nG, nT, nC), COD(nG, nT, nG), COD(nG, nT, nT), -1},  // V
    {COD(nT, nG, nG), -1},                                                     // W
    {COD(nT, nA, nC), COD(nT, nA, nT), -1},                                    // Y
    {COD(nT, nA, nA), COD(nT, nA, nG), COD(nT, nG, nA), -1},                   // stop
};
#undef COD

// Values of a codon node: nine transitions, then 64 match and 64 insert values.
static const int CODON_NODE_VALUES = 9 + 2 * NUM_CODONS;
// Values of a protein node.
static const int PROTEIN_NODE_VALUES = 9 + 2 * NUM_AMINO_ACIDS;
static const char PROTEIN_ORDER[] = "ACDEFGHIKLMNPQRSTVWY";

int codon_amino_acid(int c) {
    for (int a = 0; a < PCONV_ROWS; a++)
        for (int k = 0; pconv[a][k] >= 0; k++)
            if (pconv[a][k] == c) return a;
    return -1;
}

// Warns once per run and per kind that a table summing to zero was replaced by an even one.
static void warn_zero_sum(bool *warned, const char *what, int amino) {
    if (*warned) return;
    *warned = true;
    std::fprintf(stderr, "Warning: %s of amino acid %c sum to zero; its codons share it evenly\n",
                 what, PROTEIN_ORDER[amino]);
}

void codon_shares(double *out) {
    static bool warned = false;
    const float *reg = alphabet ? alphabet->match_reg : nullptr;
    for (int c = 0; c < NUM_CODONS; c++) out[c] = 0.0;
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) {
        double sum = 0.0;
        int n = 0;
        for (; pconv[a][n] >= 0; n++) sum += reg ? reg[pconv[a][n]] : 0.0;
        if (sum > 0.0) {
            for (int k = 0; k < n; k++) out[pconv[a][k]] = reg[pconv[a][k]] / sum;
        } else {
            if (reg) warn_zero_sum(&warned, "codon regularizer values", a);
            for (int k = 0; k < n; k++) out[pconv[a][k]] = 1.0 / n;
        }
    }
}

// Writes the stop codons' value: STOP_CODON_FRACTION of the 61 amino-acid codons' sum.
static void set_stop_codons(float *codon) {
    double sum = 0.0;
    for (int a = 0; a < NUM_AMINO_ACIDS; a++)
        for (int k = 0; pconv[a][k] >= 0; k++) sum += codon[pconv[a][k]];
    for (int k = 0; pconv[PCONV_STOP_ROW][k] >= 0; k++)
        codon[pconv[PCONV_STOP_ROW][k]] = static_cast<float>(sum * STOP_CODON_FRACTION);
}

void setcodfromprot(float *codon, const float *protein) {
    double share[NUM_CODONS];
    codon_shares(share);
    float prot[NUM_AMINO_ACIDS];  // the protein table may share memory with the codon table
    std::memcpy(prot, protein, sizeof prot);
    for (int a = 0; a < NUM_AMINO_ACIDS; a++)
        for (int k = 0; pconv[a][k] >= 0; k++) {
            int c = pconv[a][k];
            codon[c] = static_cast<float>(prot[a] * share[c]);
        }
    set_stop_codons(codon);
}

void setprotfromcod(float *protein, const float *codon) {
    double sums[NUM_AMINO_ACIDS];
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) {
        sums[a] = 0.0;
        for (int k = 0; pconv[a][k] >= 0; k++) sums[a] += codon[pconv[a][k]];
    }
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) protein[a] = static_cast<float>(sums[a]);
}

void setcodfromprot_reg(float *codon, const float *protein, const float *counts, const float *reg,
                        double w) {
    static bool warned = false;
    // Every input is read before anything is written: counts may be the output table.
    float cnt[NUM_CODONS], prot[NUM_AMINO_ACIDS];
    std::memcpy(cnt, counts, sizeof cnt);
    std::memcpy(prot, protein, sizeof prot);
    double amino_counts = 0.0, written = 0.0;
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) {
        double t = 0.0;
        int n = 0;
        for (; pconv[a][n] >= 0; n++) {
            int c = pconv[a][n];
            t += cnt[c] + w * reg[c];
            amino_counts += cnt[c];
        }
        if (t == 0.0) warn_zero_sum(&warned, "codon counts", a);
        for (int k = 0; k < n; k++) {
            int c = pconv[a][k];
            double v = t != 0.0 ? prot[a] * (cnt[c] + w * reg[c]) / t : prot[a] / n;
            codon[c] = static_cast<float>(v);
            written += v;
        }
    }
    // Stop codons keep the share of the total that their counts have among all counts, split
    // among them by count plus weighted regularizer.
    const int *stop = pconv[PCONV_STOP_ROW];
    double stop_counts = 0.0, t_stop = 0.0;
    for (int k = 0; stop[k] >= 0; k++) {
        stop_counts += cnt[stop[k]];
        t_stop += cnt[stop[k]] + w * reg[stop[k]];
    }
    double scale = amino_counts != 0.0 ? written / amino_counts : 1.0;
    for (int k = 0; stop[k] >= 0; k++) {
        int s = stop[k];
        double v = t_stop != 0.0 ? stop_counts * scale * (cnt[s] + w * reg[s]) / t_stop : 0.0;
        codon[s] = static_cast<float>(v);
    }
}

void codfreqtonucfreq(float *out, const float *in) {
    double nuc[NUM_NUCLEOTIDES] = {0.0, 0.0, 0.0, 0.0};
    for (int c = 0; c < NUM_CODONS; c++) {
        nuc[c >> 4] += in[c];
        nuc[(c >> 2) & 3] += in[c];
        nuc[c & 3] += in[c];
    }
    for (int n = 0; n < NUM_NUCLEOTIDES; n++) out[n] = static_cast<float>(nuc[n] / 3.0);
    for (int c = NUM_NUCLEOTIDES; c < NUM_CODONS; c++) out[c] = 0.0f;
}

void codfreqtonuc1freq(float *out, const float *in) {
    double nuc[NUM_NUCLEOTIDES] = {0.0, 0.0, 0.0, 0.0};
    for (int c = 0; c < NUM_CODONS; c++) nuc[c >> 4] += in[c];
    for (int n = 0; n < NUM_NUCLEOTIDES; n++) out[n] = static_cast<float>(nuc[n]);
    for (int c = NUM_NUCLEOTIDES; c < NUM_CODONS; c++) out[c] = 0.0f;
}

// Ends the run when a node is missing or too small for codon tables.
static void check_codon_node(const Node *node, const char *caller) {
    if (!node || !node->params || node->nparams < CODON_NODE_VALUES)
        error("%s: node with %d values; a codon node has %d", caller, node ? node->nparams : 0,
              CODON_NODE_VALUES);
}

void codfromprotnode(Node *codon_node, const Node *protein_node) {
    check_codon_node(codon_node, "codfromprotnode");
    if (!protein_node || !protein_node->params || protein_node->nparams < PROTEIN_NODE_VALUES)
        error("codfromprotnode: protein node with %d values; a protein node has %d",
              protein_node ? protein_node->nparams : 0, PROTEIN_NODE_VALUES);
    setcodfromprot(codon_node->match, protein_node->match);
    setcodfromprot(codon_node->insert, protein_node->insert);
    for (int k = 0; k < 3; k++) {
        codon_node->djump[k] = protein_node->djump[k];
        codon_node->mjump[k] = protein_node->mjump[k];
        codon_node->ijump[k] = protein_node->ijump[k];
    }
}

void set_codon_nodes(Model *model) {
    if (!model || model->length < 0 || model->length % 3 != 0 || !model->nodes)
        error("set_codon_nodes called with null model or wrong length");
    static const char types[3] = {CODON_TYPE_C, CODON_TYPE_D, CODON_TYPE_E};
    for (int i = 1; i <= model->length; i++)
        if (model->nodes[i]) model->nodes[i]->type = types[(i - 1) % 3];
}

void set_codon_type_trans(Node *c, Node *d, Node *e, const Node *protein, Node *follow,
                          int reg_flag, int zero_match) {
    check_codon_node(c, "set_codon_type_trans");
    check_codon_node(d, "set_codon_type_trans");
    check_codon_node(e, "set_codon_type_trans");
    if (protein && (!protein->params || protein->nparams < PROTEIN_NODE_VALUES))
        error("set_codon_type_trans: protein node with %d values; a protein node has %d",
              protein->nparams, PROTEIN_NODE_VALUES);
    c->type = CODON_TYPE_C;
    d->type = CODON_TYPE_D;
    e->type = CODON_TYPE_E;

    if (protein) {
        for (int k = 0; k < 3; k++) {
            c->djump[k] = protein->djump[k];
            c->mjump[k] = protein->mjump[k];
            c->ijump[k] = protein->ijump[k];
        }
    } else if (reg_flag && alphabet) {
        for (int k = 0; k < 9; k++) c->params[k] = alphabet->trans_reg[k];
    }

    if (protein) {
        if (zero_match)
            for (int k = 0; k < NUM_CODONS; k++) c->match[k] = 0.0f;
        else
            setcodfromprot(c->match, protein->match);
        setcodfromprot(e->insert, protein->insert);
    }
    if (reg_flag && alphabet)
        codfreqtonucfreq(e->insert, alphabet->insert_reg);
    else
        codfreqtonucfreq(e->insert, e->insert);

    for (int k = 0; k < NUM_CODONS; k++) {
        c->insert[k] = 0.0f;
        d->insert[k] = 0.0f;
        d->match[k] = 1.0f;
        e->match[k] = 1.0f;
    }

    for (int k = 0; k < 3; k++) c->ijump[k] = d->ijump[k] = 0.0f;
    d->djump[0] = 1.0f;
    d->djump[1] = static_cast<float>(cdel2prob);
    d->mjump[1] = 1.0f;
    e->djump[0] = 1.0f;
    e->djump[1] = static_cast<float>(cdel1prob);
    e->mjump[1] = 1.0f;

    if (protein && follow) {
        // The E node's insert loop stands for the insert of a whole codon: three nucleotide
        // steps, so its self-transition is the protein's taken to the cube root of the exit.
        double v = 1.0 - (1.0 - protein->ijump[2]) / std::sqrt(3.0);
        e->ijump[2] = static_cast<float>(v);
        // The following node's steps out of that insert share what is left.
        double a = static_cast<double>(follow->mjump[2]) + follow->djump[2];
        if (a != 0.0) {
            follow->mjump[2] = static_cast<float>(follow->mjump[2] * (1.0 - v) / a);
            follow->djump[2] = static_cast<float>((1.0 - v) * follow->djump[2] / a);
        } else {
            static bool warned = false;
            if (!warned)
                std::fprintf(stderr, "Warning: node after a codon triple has no steps out of the "
                                     "insert; they share it evenly\n");
            warned = true;
            follow->mjump[2] = follow->djump[2] = static_cast<float>((1.0 - v) / 2.0);
        }
    }
}

static bool codon_alphabet_current() {
    return alphabet && alphabet->id == CODON_ALPHABET_ID;
}

// True when the codon model's nodes i+1 and i+2 are typed D and E; fatal otherwise.
static void check_triple(const Model *k, int i) {
    const Node *n1 = k->nodes[i + 1], *n2 = k->nodes[i + 2];
    if (!n1 || !n2 || n1->type != CODON_TYPE_D || n2->type != CODON_TYPE_E)
        error("Codonregmatchmodel model has C node without D and E %d", i);
}

void codonregsettypes(Model *model, const Model *codon_model) {
    if (!codon_alphabet_current()) return;
    if (!model || !codon_model || !model->nodes || !codon_model->nodes)
        error("codonregsettypes called without a codon model");
    if (model->length != codon_model->length)
        error("Codonregsettypes called with models of different length.");
    int L = codon_model->length;
    for (int i = 1; i <= L;) {
        const Node *k = codon_model->nodes[i];
        if (!k || k->type != CODON_TYPE_C) {
            i++;
            continue;
        }
        if (i + 2 <= L) {
            check_triple(codon_model, i);
            for (int j = 0; j < 3; j++)
                if (model->nodes[i + j])
                    model->nodes[i + j]->type = codon_model->nodes[i + j]->type;
        } else {
            std::fprintf(stderr, "codonregmatchmodel not long enough. %d %d\n", i, L);
        }
        i += 3;
    }
}

void codonregmatchmodel(Model *reg, const Model *codon_model, int zero_match) {
    if (!codon_alphabet_current() || !reg || !reg->nodes) return;
    int L = reg->length;
    if (codon_model) {
        if (!codon_model->nodes || codon_model->length != L)
            error("Codonregmatchmodel called with models of different length.");
    } else if (L % 3 != 0) {
        error("Codonregmatchmodel called with reg length not a multiple of 3.");
    }
    check_codon_node(reg->nodes[0], "codonregmatchmodel");
    codfreqtonucfreq(reg->nodes[0]->insert, reg->nodes[0]->insert);
    for (int i = 1; i <= L;) {
        if (!codon_model ||
            (codon_model->nodes[i] && codon_model->nodes[i]->type == CODON_TYPE_C)) {
            if (i + 2 <= L) {
                if (codon_model) check_triple(codon_model, i);
                set_codon_type_trans(reg->nodes[i], reg->nodes[i + 1], reg->nodes[i + 2], nullptr,
                                     nullptr, 0, zero_match);
            } else {
                std::fprintf(stderr, "codonregmatchmodel not long enough. %d %d\n", i, L);
            }
            i += 3;
        } else {
            Node *g = reg->nodes[i];
            check_codon_node(g, "codonregmatchmodel");
            codfreqtonucfreq(g->match, g->match);
            codfreqtonucfreq(g->insert, g->insert);
            i++;
        }
    }
}

void compresscodonmodel(Model *model) {
    if (!model || !model->nodes || !codon_alphabet_current()) return;
    int L = model->length;
    for (int i = 0; i <= L + 1; i++) {
        Node *n = model->nodes[i];
        check_codon_node(n, "compresscodonmodel");
        bool ends = i == 0 || i == L + 1;
        if (ends || n->type != CODON_TYPE_C) codfreqtonuc1freq(n->match, n->match);
        codfreqtonuc1freq(n->insert, n->insert);
    }
}
