// Codon models: the standard genetic code, conversions between amino-acid and codon tables, the
// collapse of codon tables into nucleotide tables, and the node triples ('C', 'D', 'E') that
// model one codon per match position under the CODON alphabet. Model operations do nothing under
// any other alphabet.
#ifndef QOR_CODON_H
#define QOR_CODON_H

struct Node;
struct Model;

// Codons (16 x first + 4 x second + third nucleotide, nucleotides A 0, G 1, C 2, T 3).
constexpr int NUM_CODONS = 64;
// Nucleotides of the CODON alphabet (N, the wildcard, not counted).
constexpr int NUM_NUCLEOTIDES = 4;
// Amino acids, in the protein alphabet's order A C D E F G H I K L M N P Q R S T V W Y.
constexpr int NUM_AMINO_ACIDS = 20;
// Rows of the genetic-code table: the amino acids, then the stop codons.
constexpr int PCONV_ROWS = 21;
constexpr int PCONV_STOP_ROW = 20;
// Entries per row: codon indices, then -1.
constexpr int PCONV_WIDTH = 8;
// Stop codons get this fraction of the amino-acid codons' total.
constexpr double STOP_CODON_FRACTION = 1.0 / 10000.0;
// Node type letters of a codon triple.
constexpr char CODON_TYPE_C = 'C';
constexpr char CODON_TYPE_D = 'D';
constexpr char CODON_TYPE_E = 'E';

// The standard genetic code: row a lists the codon indices of amino acid a (row 20: the stop
// codons), each row ended by -1.
extern const int pconv[PCONV_ROWS][PCONV_WIDTH];

// Index of a codon from its three nucleotide indices (0..3 each).
inline int codon_index(int n1, int n2, int n3) {
    return 16 * n1 + 4 * n2 + n3;
}
// Row of pconv (0..19 amino acid, 20 stop) that holds codon c (0..63); -1 for any other c.
int codon_amino_acid(int c);

// The share of each codon within its amino acid, from the current alphabet's match regularizer
// (codons of an amino acid whose regularizer values sum to 0 share equally, with a warning).
// Stop codons get 0. out has NUM_CODONS values. Without a current alphabet every amino acid's
// codons share equally (no warning). Never fatal.
void codon_shares(double *out);

// Tables: protein tables hold 20 values, codon tables 64 (each at least NUM_CODONS long when used
// as a codon table).
// Codon c of amino acid a gets protein[a] x share(c); every stop codon 1/10000 of the sum of the
// 61 values written.
void setcodfromprot(float *codon, const float *protein);
// protein[a] = sum of the codon values of a's codons (stop codons ignored).
void setprotfromcod(float *protein, const float *codon);
// codon[c] = protein[a] x (count[c] + w reg[c]) / T_a, T_a the sum of (count + w reg) over a's
// codons (counts may be codon itself). An amino acid whose T_a is 0 spreads protein[a] evenly
// over its codons, with a warning. Stop codons: see codon.cpp.
void setcodfromprot_reg(float *codon, const float *protein, const float *counts, const float *reg,
                        double w);
// out[0..3]: nucleotide frequencies averaged over the three codon positions; out[4..63] = 0.
// out may be in.
void codfreqtonucfreq(float *out, const float *in);
// out[n] (n 0..3): the sum of the codons whose first nucleotide is n; out[4..63] = 0. out may be
// in.
void codfreqtonuc1freq(float *out, const float *in);

// The codon node's match and insert tables spread from the protein node's over codons; its nine
// transitions copied. Fatal: "codfromprotnode: node with %d values; a codon node has %d" and
// "codfromprotnode: protein node with %d values; a protein node has %d" for a missing or too
// small node.
void codfromprotnode(Node *codon_node, const Node *protein_node);
// Types nodes 1..L as C, D, E in turn. Fatal: "set_codon_nodes called with null model or wrong
// length" (null model, or L not a multiple of 3).
void set_codon_nodes(Model *model);
// Gives one triple its types and fixed parameters. protein (optional) supplies transitions and
// tables; follow (optional) is the node after the triple; reg_flag takes the transitions and the
// insert table from the alphabet's regularizers; zero_match clears the C node's match table.
// Fatal: "set_codon_type_trans: node with %d values; a codon node has %d" for a missing or too
// small c, d or e, and "set_codon_type_trans: protein node with %d values; a protein node has
// %d".
void set_codon_type_trans(Node *c, Node *d, Node *e, const Node *protein, Node *follow,
                          int reg_flag, int zero_match);
// CODON alphabet: copies the C, D, E types of codon_model's triples onto model. Fatal:
// "codonregsettypes called without a codon model", "Codonregsettypes called with models of
// different length.", "Codonregmatchmodel model has C node without D and E %d".
void codonregsettypes(Model *model, const Model *codon_model);
// CODON alphabet: makes a regularizer fit a codon model (or, with null, every triple). Fatal:
// "Codonregmatchmodel called with models of different length.", "Codonregmatchmodel called with
// reg length not a multiple of 3.", "Codonregmatchmodel model has C node without D and E %d".
void codonregmatchmodel(Model *reg, const Model *codon_model, int zero_match);
// CODON alphabet: folds codon tables into first-nucleotide tables (Begin and End match and
// insert, match of every non-C node, insert of every node). Null or another alphabet: nothing.
void compresscodonmodel(Model *model);

#endif
