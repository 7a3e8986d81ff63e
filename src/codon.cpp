// Codon models.
// Temporary: bodies follow.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "codon.h"
#include "utilities.h"

int codon_amino_acid(int c) {
    error("codon_amino_acid: not built yet");
}
void codon_shares(double *out) {
    error("codon_shares: not built yet");
}
void setcodfromprot(float *codon, const float *protein) {
    error("setcodfromprot: not built yet");
}
void setprotfromcod(float *protein, const float *codon) {
    error("setprotfromcod: not built yet");
}
void setcodfromprot_reg(float *codon, const float *protein, const float *counts, const float *reg,
                        double w) {
    error("setcodfromprot_reg: not built yet");
}
void codfreqtonucfreq(float *out, const float *in) {
    error("codfreqtonucfreq: not built yet");
}
void codfreqtonuc1freq(float *out, const float *in) {
    error("codfreqtonuc1freq: not built yet");
}
void codfromprotnode(Node *codon_node, const Node *protein_node) {
    error("codfromprotnode: not built yet");
}
void set_codon_nodes(Model *model) {
    error("set_codon_nodes: not built yet");
}
void set_codon_type_trans(Node *c, Node *d, Node *e, const Node *protein, Node *follow,
                          int reg_flag, int zero_match) {
    error("set_codon_type_trans: not built yet");
}
void codonregsettypes(Model *model, const Model *codon_model) {
    error("codonregsettypes: not built yet");
}
void codonregmatchmodel(Model *reg, const Model *codon_model, int zero_match) {
    error("codonregmatchmodel: not built yet");
}
void compresscodonmodel(Model *model) {
    error("compresscodonmodel: not built yet");
}
const int pconv[PCONV_ROWS][PCONV_WIDTH] = {};
