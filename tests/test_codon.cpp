// Codon models: the genetic code against an independent table, the table conversions, the
// nucleotide collapses and the C, D, E node triples.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "models/codon.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

const char AMINO_ORDER[] = "ACDEFGHIKLMNPQRSTVWY";

class Codon : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        reset_alphabets();
        init_alphabet_by_name("CODON", 0, "");
    }
    void TearDown() override { error_throws = false; }
};

int amino(char letter) {
    return static_cast<int>(std::string(AMINO_ORDER).find(letter));
}

// A node with the given number of values, all v (views as alloc_node sets them).
struct TestNode {
    std::vector<float> values;
    Node node{};
    TestNode(int emit, float v) : values(2 * emit + 9, v) {
        node.params = values.data();
        node.nparams = static_cast<int>(values.size());
        node.djump = node.params;
        node.mjump = node.params + 3;
        node.ijump = node.params + 6;
        node.match = node.params + 9;
        node.insert = node.params + 9 + emit;
        node.lab = -1;
    }
};

std::vector<float> table(const float *t, int n = NUM_CODONS) {
    return std::vector<float>(t, t + n);
}

std::vector<float> nucleotides(float a, float g, float c, float t) {
    std::vector<float> v(NUM_CODONS, 0.0f);
    v[0] = a;
    v[1] = g;
    v[2] = c;
    v[3] = t;
    return v;
}

// Expected values: tests/data/codon_standard_code.py, the published one-line form of the
// standard code, renumbered to the CODON alphabet's order.
TEST_F(Codon, GeneticCodeMatchesTheStandardTable) {
    std::ifstream in(test_data("codon_standard_code.txt"));
    std::string codon, aa;
    int index, lines = 0;
    const std::string order = "AGCT";
    while (in >> codon >> index >> aa) {
        lines++;
        int c = codon_index(static_cast<int>(order.find(codon[0])),
                            static_cast<int>(order.find(codon[1])),
                            static_cast<int>(order.find(codon[2])));
        EXPECT_EQ(c, index) << codon;
        int row = codon_amino_acid(index);
        EXPECT_EQ(row, aa == "*" ? PCONV_STOP_ROW : amino(aa[0])) << codon;
    }
    EXPECT_EQ(lines, NUM_CODONS);
    // Every codon stands in exactly one row, each row ended by -1.
    int entries = 0;
    for (int a = 0; a < PCONV_ROWS; a++) {
        int k = 0;
        while (k < PCONV_WIDTH && pconv[a][k] >= 0) k++;
        ASSERT_LT(k, PCONV_WIDTH);
        entries += k;
    }
    EXPECT_EQ(entries, NUM_CODONS);
}

TEST_F(Codon, ProteinFromCodonsSumsEachAminoAcid) {
    std::vector<float> ones(NUM_CODONS, 1.0f), prot(NUM_AMINO_ACIDS);
    setprotfromcod(prot.data(), ones.data());
    //                                 A  C  D  E  F  G  H  I  K  L  M  N  P  Q  R  S  T  V  W  Y
    const std::vector<float> want = {4, 2, 2, 2, 2, 4, 2, 3, 2, 6, 1, 2, 4, 2, 6, 6, 4, 4, 1, 2};
    EXPECT_EQ(prot, want);  // 61 in all: the three stop codons are ignored
}

TEST_F(Codon, AminoToCodonToAminoGivesTheInputBack) {
    for (int c = 0; c < NUM_CODONS; c++) alphabet->match_reg[c] = 1.0f + c % 5;
    std::vector<float> prot(NUM_AMINO_ACIDS), cod(NUM_CODONS), back(NUM_AMINO_ACIDS);
    double total = 0;
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) total += prot[a] = 0.01f * (a + 1);
    setcodfromprot(cod.data(), prot.data());
    // K: AAA (0) has regularizer 1, AAG (1) 2; M has the one codon ATG (13).
    EXPECT_FLOAT_EQ(cod[0], prot[amino('K')] / 3);
    EXPECT_FLOAT_EQ(cod[1], prot[amino('K')] * 2 / 3);
    EXPECT_FLOAT_EQ(cod[13], prot[amino('M')]);
    for (int s : {48, 49, 52}) EXPECT_NEAR(cod[s], total / 10000, 1e-9);  // TAA, TAG, TGA
    setprotfromcod(back.data(), cod.data());
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) EXPECT_NEAR(back[a], prot[a], 1e-6) << a;
}

TEST_F(Codon, AllZeroRegularizerSharesEvenlyWithAWarning) {
    for (int c = 0; c < NUM_CODONS; c++) alphabet->match_reg[c] = 0.0f;
    std::vector<float> prot(NUM_AMINO_ACIDS, 0.0f), cod(NUM_CODONS);
    prot[amino('L')] = 6.0f;
    testing::internal::CaptureStderr();
    setcodfromprot(cod.data(), prot.data());
    std::string err = testing::internal::GetCapturedStderr();
    for (int k = 0; pconv[amino('L')][k] >= 0; k++)
        EXPECT_FLOAT_EQ(cod[pconv[amino('L')][k]], 1.0f);
    EXPECT_NE(err.find("sum to zero"), std::string::npos);
}

// Worked by hand with w = 1 and every regularizer value 1: K (AAA 3, AAG 1 counts) = 8 gives
// 8 x 4/6 and 8 x 2/6; M (ATG, 2 counts) = 3 gives 3; all else 0. Written 11 over 6 counts; the
// stop codons (TAA 4 counts) get 4 x 11/6 shared as 5:1:1.
TEST_F(Codon, CodonsFromProteinWithCountsAndRegularizer) {
    std::vector<float> counts(NUM_CODONS, 0.0f), reg(NUM_CODONS, 1.0f), prot(NUM_AMINO_ACIDS);
    counts[0] = 3;
    counts[1] = 1;
    counts[13] = 2;
    counts[48] = 4;
    prot[amino('K')] = 8;
    prot[amino('M')] = 3;
    // The counts table is also the output.
    setcodfromprot_reg(counts.data(), prot.data(), counts.data(), reg.data(), 1.0);
    EXPECT_FLOAT_EQ(counts[0], 8.0f * 4 / 6);
    EXPECT_FLOAT_EQ(counts[1], 8.0f * 2 / 6);
    EXPECT_FLOAT_EQ(counts[13], 3.0f);
    EXPECT_FLOAT_EQ(counts[48], 4.0f * 11 / 6 * 5 / 7);
    EXPECT_FLOAT_EQ(counts[49], 4.0f * 11 / 6 / 7);
    EXPECT_FLOAT_EQ(counts[52], 4.0f * 11 / 6 / 7);
    EXPECT_FLOAT_EQ(counts[2], 0.0f);

    // No counts and no regularizer weight: an even spread, with a warning.
    std::vector<float> zero(NUM_CODONS, 0.0f), out(NUM_CODONS, -1.0f);
    testing::internal::CaptureStderr();
    setcodfromprot_reg(out.data(), prot.data(), zero.data(), reg.data(), 0.0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("sum to zero"), std::string::npos);
    EXPECT_FLOAT_EQ(out[0], 4.0f);
    EXPECT_FLOAT_EQ(out[48], 0.0f);
}

TEST_F(Codon, CollapsesToNucleotides) {
    std::vector<float> ones(NUM_CODONS, 1.0f);
    codfreqtonuc1freq(ones.data(), ones.data());
    EXPECT_EQ(ones, nucleotides(16, 16, 16, 16));
    // AGC (index 6) with 3 and TTT (63) with 6: averaged over positions A 1, G 1, C 1, T 6;
    // by first nucleotide A 3, T 6.
    std::vector<float> t(NUM_CODONS, 0.0f), out(NUM_CODONS, 9.0f);
    t[6] = 3;
    t[63] = 6;
    codfreqtonucfreq(out.data(), t.data());
    EXPECT_EQ(out, nucleotides(1, 1, 1, 6));
    codfreqtonuc1freq(t.data(), t.data());
    EXPECT_EQ(t, nucleotides(3, 0, 0, 6));
}

TEST_F(Codon, CodonNodeFromProteinNode) {
    TestNode prot(NUM_AMINO_ACIDS, 0.0f), cod(NUM_CODONS, 7.0f);
    for (int k = 0; k < 9; k++) prot.node.params[k] = 0.1f * k;
    prot.node.match[amino('W')] = 2.0f;
    prot.node.insert[amino('M')] = 5.0f;
    codfromprotnode(&cod.node, &prot.node);
    for (int k = 0; k < 9; k++) EXPECT_FLOAT_EQ(cod.node.params[k], 0.1f * k);
    EXPECT_FLOAT_EQ(cod.node.match[53], 2.0f);  // TGG
    EXPECT_FLOAT_EQ(cod.node.match[48], 2.0f / 10000);
    EXPECT_FLOAT_EQ(cod.node.insert[13], 5.0f);  // ATG
    EXPECT_FLOAT_EQ(cod.node.match[0], 0.0f);
    TestNode small(NUM_NUCLEOTIDES, 0.0f);
    EXPECT_NE(fatal_of([&] { codfromprotnode(&small.node, &prot.node); }), "");
}

TEST_F(Codon, TypesNodeTriples) {
    Model *m = alloc_model(9);
    set_codon_nodes(m);
    std::string types;
    for (int i = 0; i <= 10; i++) types += m->nodes[i]->type ? m->nodes[i]->type : '.';
    EXPECT_EQ(types, ".CDECDECDE.");
    free_model(m);
    m = alloc_model(10);
    EXPECT_EQ(fatal_of([&] { set_codon_nodes(m); }),
              "set_codon_nodes called with null model or wrong length");
    EXPECT_EQ(fatal_of([&] { set_codon_nodes(nullptr); }),
              "set_codon_nodes called with null model or wrong length");
    free_model(m);
}

TEST_F(Codon, TripleParametersWithoutProteinNode) {
    for (int reg_flag = 0; reg_flag <= 1; reg_flag++) {
        TestNode c(NUM_CODONS, 0.5f), d(NUM_CODONS, 0.5f), e(NUM_CODONS, 0.5f);
        set_codon_type_trans(&c.node, &d.node, &e.node, nullptr, nullptr, reg_flag, 0);
        EXPECT_EQ(std::string() + c.node.type + d.node.type + e.node.type, "CDE");
        for (int k = 0; k < 6; k++)
            EXPECT_FLOAT_EQ(c.node.params[k], reg_flag ? alphabet->trans_reg[k] : 0.5f);
        for (int k = 6; k < 9; k++) EXPECT_FLOAT_EQ(c.node.params[k], 0.0f);
        EXPECT_EQ(table(c.node.match), std::vector<float>(NUM_CODONS, 0.5f));
        EXPECT_EQ(table(c.node.insert), std::vector<float>(NUM_CODONS, 0.0f));
        EXPECT_EQ(table(d.node.insert), std::vector<float>(NUM_CODONS, 0.0f));
        EXPECT_EQ(table(d.node.match), std::vector<float>(NUM_CODONS, 1.0f));
        EXPECT_EQ(table(e.node.match), std::vector<float>(NUM_CODONS, 1.0f));
        // Own table: each nucleotide 16 x 3 x 0.5 / 3; the uniform regularizer: 0.25.
        EXPECT_EQ(table(e.node.insert),
                  reg_flag ? nucleotides(0.25f, 0.25f, 0.25f, 0.25f) : nucleotides(8, 8, 8, 8));
        const std::vector<float> d_trans = {1.0f, 0.05f, 0.5f, 0.5f, 1.0f, 0.5f, 0, 0, 0};
        const std::vector<float> e_trans = {1.0f, 0.05f, 0.5f, 0.5f, 1.0f, 0.5f, 0.5f, 0.5f, 0.5f};
        EXPECT_EQ(table(d.node.params, 9), d_trans);
        EXPECT_EQ(table(e.node.params, 9), e_trans);
    }
}

// Protein insert self-transition 0.4: v = 1 - 0.6 / sqrt(3); the following node's steps out of
// the insert (0.3 to match, 0.1 to delete) share 1 - v as 3:1.
TEST_F(Codon, TripleParametersFromProteinNode) {
    TestNode prot(NUM_AMINO_ACIDS, 0.0f), f(NUM_CODONS, 0.0f);
    TestNode c(NUM_CODONS, 0.5f), d(NUM_CODONS, 0.5f), e(NUM_CODONS, 0.5f);
    for (int k = 0; k < 9; k++) prot.node.params[k] = 0.01f * (k + 1);
    prot.node.ijump[2] = 0.4f;
    prot.node.match[amino('M')] = 1.0f;
    prot.node.insert[amino('W')] = 2.0f;
    f.node.mjump[2] = 0.3f;
    f.node.djump[2] = 0.1f;
    set_codon_type_trans(&c.node, &d.node, &e.node, &prot.node, &f.node, 0, 0);
    for (int k = 0; k < 6; k++) EXPECT_FLOAT_EQ(c.node.params[k], 0.01f * (k + 1));
    EXPECT_FLOAT_EQ(c.node.match[13], 1.0f);
    EXPECT_FLOAT_EQ(c.node.match[48], 1.0f / 10000);
    // W's insert 2 on TGG and 2/10000 on each stop codon (TAA, TAG, TGA), averaged over the
    // three positions.
    double stop = 2.0 / 10000;
    EXPECT_NEAR(e.node.insert[3], (2.0 + 3 * stop) / 3, 1e-6);  // T
    EXPECT_NEAR(e.node.insert[1], (4.0 + 2 * stop) / 3, 1e-6);  // G
    EXPECT_NEAR(e.node.insert[0], (4 * stop) / 3, 1e-6);        // A
    EXPECT_FLOAT_EQ(e.node.insert[2], 0.0f);                    // C
    double v = 1 - 0.6 / std::sqrt(3.0);
    EXPECT_NEAR(e.node.ijump[2], v, 1e-6);
    EXPECT_NEAR(f.node.mjump[2], 0.75 * (1 - v), 1e-6);
    EXPECT_NEAR(f.node.djump[2], 0.25 * (1 - v), 1e-6);
    EXPECT_FLOAT_EQ(d.node.djump[2], 0.5f);

    TestNode c2(NUM_CODONS, 0.5f), d2(NUM_CODONS, 0.5f), e2(NUM_CODONS, 0.5f);
    set_codon_type_trans(&c2.node, &d2.node, &e2.node, &prot.node, nullptr, 0, 1);
    EXPECT_EQ(table(c2.node.match), std::vector<float>(NUM_CODONS, 0.0f));
    EXPECT_FLOAT_EQ(e2.node.ijump[2], 0.5f);
}

TEST_F(Codon, RegularizerTakesTheCodonModelsTypes) {
    Model *m = alloc_model(6), *k = alloc_model(6);
    set_codon_nodes(k);
    codonregsettypes(m, k);
    std::string types;
    for (int i = 1; i <= 6; i++) types += m->nodes[i]->type;
    EXPECT_EQ(types, "CDECDE");

    Model *odd = alloc_model(6), *plain = alloc_model(6);
    odd->nodes[5]->type = 'C';  // a C node too close to the end: a note only
    testing::internal::CaptureStderr();
    codonregsettypes(plain, odd);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "codonregmatchmodel not long enough. 5 6\n");
    odd->nodes[1]->type = 'C';
    EXPECT_EQ(fatal_of([&] { codonregsettypes(plain, odd); }),
              "Codonregmatchmodel model has C node without D and E 1");
    Model *shorter = alloc_model(3);
    EXPECT_EQ(fatal_of([&] { codonregsettypes(shorter, k); }),
              "Codonregsettypes called with models of different length.");
    EXPECT_EQ(fatal_of([&] { codonregsettypes(m, nullptr); }),
              "codonregsettypes called without a codon model");
    for (Model *x : {m, k, odd, plain, shorter}) free_model(x);
}

TEST_F(Codon, RegularizerFitsACodonModel) {
    Model *g = alloc_model(4), *k = alloc_model(4);
    for (int i = 0; i <= 5; i++)
        for (int v = 0; v < g->nodes[i]->nparams; v++) g->nodes[i]->params[v] = 1.0f;
    k->nodes[2]->type = 'C';
    k->nodes[3]->type = 'D';
    k->nodes[4]->type = 'E';
    codonregmatchmodel(g, k, 0);
    EXPECT_EQ(table(g->nodes[0]->insert), nucleotides(16, 16, 16, 16));
    EXPECT_EQ(table(g->nodes[1]->match), nucleotides(16, 16, 16, 16));
    EXPECT_EQ(table(g->nodes[1]->insert), nucleotides(16, 16, 16, 16));
    EXPECT_EQ(g->nodes[1]->type, 0);
    std::string types;
    for (int i = 2; i <= 4; i++) types += g->nodes[i]->type;
    EXPECT_EQ(types, "CDE");
    EXPECT_EQ(table(g->nodes[2]->match), std::vector<float>(NUM_CODONS, 1.0f));
    EXPECT_EQ(table(g->nodes[4]->insert), nucleotides(16, 16, 16, 16));

    Model *k3 = alloc_model(3);
    EXPECT_EQ(fatal_of([&] { codonregmatchmodel(g, k3, 0); }),
              "Codonregmatchmodel called with models of different length.");
    EXPECT_EQ(fatal_of([&] { codonregmatchmodel(g, nullptr, 0); }),
              "Codonregmatchmodel called with reg length not a multiple of 3.");
    codonregmatchmodel(k3, nullptr, 1);
    EXPECT_EQ(k3->nodes[1]->type, 'C');
    EXPECT_EQ(table(k3->nodes[1]->match), std::vector<float>(NUM_CODONS, 0.0f));
    for (Model *x : {g, k, k3}) free_model(x);
}

TEST_F(Codon, CompressFoldsCodonTablesToFirstNucleotides) {
    Model *m = alloc_model(3);
    for (int i = 0; i <= 4; i++)
        for (int v = 0; v < m->nodes[i]->nparams; v++) m->nodes[i]->params[v] = 1.0f;
    set_codon_nodes(m);
    compresscodonmodel(m);
    const std::vector<float> folded = nucleotides(16, 16, 16, 16), kept(NUM_CODONS, 1.0f);
    for (int i = 0; i <= 4; i++) {
        EXPECT_EQ(table(m->nodes[i]->match), i == 1 ? kept : folded) << i;
        EXPECT_EQ(table(m->nodes[i]->insert), folded) << i;
    }
    compresscodonmodel(nullptr);
    free_model(m);
}

TEST_F(Codon, ModelOperationsDoNothingUnderOtherAlphabets) {
    reset_alphabets();
    init_alphabet_by_name("protein", 0, "");
    Model *m = alloc_model(3), *k = alloc_model(3);
    for (int i = 0; i <= 4; i++)
        for (int v = 0; v < m->nodes[i]->nparams; v++) m->nodes[i]->params[v] = 1.0f;
    k->nodes[1]->type = 'C';
    codonregsettypes(m, k);
    codonregsettypes(m, nullptr);
    codonregmatchmodel(m, nullptr, 1);
    compresscodonmodel(m);
    for (int i = 0; i <= 4; i++) {
        EXPECT_EQ(m->nodes[i]->type, 0);
        EXPECT_EQ(table(m->nodes[i]->params, m->nodes[i]->nparams),
                  std::vector<float>(m->nodes[i]->nparams, 1.0f));
    }
    free_model(m);
    free_model(k);
}

}  // namespace
