// Tests of prepared models: the cost encoding, normalisation, cost records, the FIM and insert
// methods, FIMs at the model ends, conversions between raw models and models, and preparation.
#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// A fresh library state with the alphabet of track 0 set.
void use_alphabet(const char *name) {
    reset_library_state();
    init_alphabet_by_name(name, 0, "");
}

void set3(float *t, float a, float b, float c) {
    t[0] = a;
    t[1] = b;
    t[2] = c;
}

void set4(float *t, float a, float b, float c, float d) {
    t[0] = a;
    t[1] = b;
    t[2] = c;
    t[3] = d;
}

// A DNA model of length L whose nodes all hold ordinary, already normalised values: every
// from-state leaves through next.djump 0.1, next.mjump 0.8 and own ijump 0.1; match and insert
// tables flat.
Model *plain_dna_model(int L) {
    Model *m = alloc_model(L);
    for (int i = 0; i <= L + 1; i++) {
        Node *n = m->nodes[i];
        set3(n->djump, 0.1f, 0.1f, 0.1f);
        set3(n->mjump, 0.8f, 0.8f, 0.8f);
        set3(n->ijump, 0.1f, 0.1f, 0.1f);
        set4(n->match, 0.25f, 0.25f, 0.25f, 0.25f);
        set4(n->insert, 0.25f, 0.25f, 0.25f, 0.25f);
    }
    return m;
}

bool same_table(const float *a, const float *b, int n) {
    for (int k = 0; k < n; k++)
        if (a[k] != b[k]) return false;
    return true;
}

// The preparation report lines are written once per run (from a fresh library state).
TEST(PrepareTest, ReportLinesOncePerRunAndSettings) {
    use_alphabet("DNA");
    fimtrans = 0.5;
    FILE *report = std::tmpfile();

    Rmodel *r = destruct_model2rmodel(plain_dna_model(2));
    ScoreParams params = Score;
    params.FIM_method_score = -6;
    params.Insert_method_score = 0;
    params.adjust_score = 2;
    Model *m = process_rmodel(&r, AUTOFIM_ALWAYS, 0, &params, 0, report);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(stream_text(report),
              "% Sequence-model (global) (SW = 0)\n"
              "% FIM adjustments:  fimstrength 1.00 fimtrans 0.50\n"
              "% Track 0 FIMs added (geometric mean of match probabilities (6))\n");
    EXPECT_EQ(m->length, 3);
    EXPECT_EQ(params.model_length, 3);
    EXPECT_EQ(params.FIM_method, 0);
    EXPECT_EQ(params.Insert_method, 0);
    EXPECT_EQ(params.adjust_score, 0);  // global mode
    EXPECT_EQ(m->nodes[0]->type, 'F');
    EXPECT_EQ(m->nodes[3]->type, 'F');
    ASSERT_NE(m->weights, nullptr);
    free_model(m);

    // A second preparation in the same run: no mode, adjustment or SW lines; the same track is
    // not reported again; a new track is.
    FILE *report2 = std::tmpfile();
    r = destruct_model2rmodel(plain_dna_model(2));
    params.adjust_score = 7;
    m = process_rmodel(&r, AUTOFIM_NEVER, 2, &params, 0, report2);
    EXPECT_EQ(stream_text(report2), "");
    EXPECT_EQ(params.adjust_score, 7);  // local mode leaves it
    EXPECT_EQ(m->length, 2);
    free_model(m);
    r = destruct_model2rmodel(plain_dna_model(2));
    m = process_rmodel(&r, AUTOFIM_LOCAL, 3, nullptr, 1, report2);
    EXPECT_EQ(stream_text(report2),
              "% Track 1 FIMs added (geometric mean of match probabilities (6))\n");
    free_model(m);

    // Scoring mode 4: nothing at all, whatever the auto-FIM mode.
    FILE *report3 = std::tmpfile();
    r = destruct_model2rmodel(plain_dna_model(2));
    params.adjust_score = 2;
    m = process_rmodel(&r, AUTOFIM_ALWAYS, 4, &params, 2, report3);
    EXPECT_EQ(stream_text(report3), "");
    EXPECT_EQ(m->length, 2);
    EXPECT_EQ(params.adjust_score, 2);
    free_model(m);

    std::fclose(report);
    std::fclose(report2);
    std::fclose(report3);
    reset_library_state();
}

TEST(CostTest, EncodingAndBoundaries) {
    EXPECT_EQ(cost(1.0), 0);
    EXPECT_EQ(cost(0.5), 693);
    EXPECT_EQ(cost(0.25), 1386);
    EXPECT_EQ(cost(0.125), 2079);
    EXPECT_EQ(cost(2.0612e-9), 80000);
    EXPECT_EQ(cost(2.1e-9), 19981);
    EXPECT_EQ(cost(0.0), 80000);
    EXPECT_EQ(cost(-1.0), 80000);
    EXPECT_EQ(cost(2.0), -692);  // truncated toward zero
    EXPECT_EQ(cost(std::nan("")), 80000);
    EXPECT_EQ(cost(std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(cost(-std::numeric_limits<double>::infinity()), 80000);
    EXPECT_DOUBLE_EQ(prob(80000), 2.0612e-9);
    EXPECT_DOUBLE_EQ(prob(100000000), 2.0612e-9);
    EXPECT_DOUBLE_EQ(prob(79999), std::exp(-79.999));
    EXPECT_DOUBLE_EQ(prob(0), 1.0);
    EXPECT_DOUBLE_EQ(prob(-693), std::exp(0.693));
    EXPECT_EQ(IMPOSSIBLE_COST, 100000000);
}

TEST(MethodTest, TextsAndRevision) {
    EXPECT_STREQ(I_method_string(0), "original values (0)");
    EXPECT_STREQ(I_method_string(1), "training letter frequencies (1)");
    EXPECT_STREQ(I_method_string(2), "match frequency arithmetic mean (2)");
    EXPECT_STREQ(I_method_string(3), "the flat distribution (3)");
    EXPECT_STREQ(I_method_string(4), "target letter frequencies (4)");
    EXPECT_STREQ(I_method_string(-5), "the generic node (5)");
    EXPECT_STREQ(I_method_string(-6), "geometric mean of match probabilities (6)");
    EXPECT_STREQ(I_method_string(7), "the first model node (0)");
    EXPECT_STREQ(I_method_string(8), "the first FIM node (0)");
    EXPECT_STREQ(I_method_string(9), "no node (0)");
    EXPECT_STREQ(I_method_string(12), "Illegal method setting (12)");
    EXPECT_STREQ(I_method_string(-10), "Illegal method setting (10)");
    EXPECT_EQ(revise_method(-6, 1), 0);
    EXPECT_EQ(revise_method(-6, 0), 6);
    EXPECT_EQ(revise_method(3, 1), 3);
}

class DnaModelTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        init_alphabet_by_name("DNA", 0, "");
    }
};

TEST_F(DnaModelTest, NormalizeTransitionsEmissionsBeginEnd) {
    Model *m = alloc_model(2);
    Node **n = m->nodes;
    set3(n[0]->djump, 5, 5, 5);  // Begin has nothing coming in
    set3(n[0]->ijump, 7, 1, 0);  // Begin has no delete state: ijump[0] goes
    set3(n[1]->djump, 3, 1, 1e-10f);
    set3(n[1]->mjump, 3, 2, 1e-10f);
    set3(n[1]->ijump, 1, 1, 1);
    set3(n[2]->djump, 1, 1, 1);
    set3(n[2]->mjump, 1, 1, 1);
    set4(n[1]->match, 1, 1, 2, 0);
    set4(n[2]->match, 1e-10f, 0, 0, 0);
    set4(n[3]->match, 1, 1, 1, 1);
    set3(n[3]->djump, 4, 4, 4);
    set3(n[3]->mjump, 1, 1, 1);
    set3(n[3]->ijump, 4, 4, 4);
    normalize_model(m);

    // Begin -> node 1 from the match state: 1 + 2 + 1.
    EXPECT_FLOAT_EQ(n[1]->djump[1], 0.25f);
    EXPECT_FLOAT_EQ(n[1]->mjump[1], 0.5f);
    EXPECT_FLOAT_EQ(n[0]->ijump[1], 0.25f);
    // From Begin's insert state: 1e-10 + 1e-10 + 0 counts as zero and is left.
    EXPECT_FLOAT_EQ(n[1]->djump[2], 1e-10f);
    EXPECT_EQ(n[0]->ijump[0], 0.0f);
    EXPECT_EQ(n[1]->djump[0], 0.0f);
    EXPECT_EQ(n[1]->mjump[0], 0.0f);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(n[0]->djump[k], 0.0f);
        EXPECT_EQ(n[0]->mjump[k], 0.0f);
        EXPECT_EQ(n[3]->djump[k], 0.0f);
        EXPECT_EQ(n[3]->ijump[k], 0.0f);
        EXPECT_FLOAT_EQ(n[3]->mjump[k] + n[2]->ijump[k], 1.0f);
        double s = (double)n[2]->djump[k] + n[2]->mjump[k] + n[1]->ijump[k];
        EXPECT_NEAR(s, 1.0, 1e-6);
    }
    // Emissions: divided by their sum; a sum at or below 2.0612e-9 becomes all 0; End emits
    // nothing.
    EXPECT_FLOAT_EQ(n[1]->match[2], 0.5f);
    EXPECT_FLOAT_EQ(n[1]->match[0], 0.25f);
    EXPECT_EQ(n[2]->match[0], 0.0f);
    EXPECT_EQ(n[1]->insert[0], 0.0f);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(n[3]->match[k], 0.0f);
        EXPECT_EQ(n[3]->insert[k], 0.0f);
    }
    free_model(m);
}

TEST_F(DnaModelTest, NormalizeFims) {
    Model *m = plain_dna_model(3);
    turn_into_fim(m, m->nodes[0]->insert, 0);
    turn_into_fim(m, m->nodes[0]->insert, 2);
    normalize_model(m);
    Node **n = m->nodes;
    // Begin FIM: out of match and insert 1, out of delete 0.
    EXPECT_EQ(n[1]->djump[0], 0.0f);
    EXPECT_EQ(n[1]->mjump[0], 0.0f);
    EXPECT_EQ(n[0]->ijump[0], 0.0f);
    for (int s = 1; s < 3; s++) {
        EXPECT_EQ(n[1]->djump[s], 1.0f);
        EXPECT_EQ(n[1]->mjump[s], 1.0f);
        EXPECT_EQ(n[0]->ijump[s], 1.0f);
    }
    // A FIM at position 2: out of delete and insert 1, out of match 0.
    for (int s = 0; s < 3; s++) {
        float v = s == 1 ? 0.0f : 1.0f;
        EXPECT_EQ(n[3]->djump[s], v);
        EXPECT_EQ(n[3]->mjump[s], v);
        EXPECT_EQ(n[2]->ijump[s], v);
    }
    free_model(m);
}

TEST_F(DnaModelTest, NormalizeNode) {
    Node *n = alloc_node();
    set3(n->djump, 1, 0, 0);
    set3(n->mjump, 1, 0, 3);
    set3(n->ijump, 2, 0, 1);
    set4(n->match, 2, 2, 0, 4);
    normalize_node(n);
    EXPECT_FLOAT_EQ(n->djump[0], 0.25f);
    EXPECT_FLOAT_EQ(n->ijump[0], 0.5f);
    EXPECT_EQ(n->djump[1], 0.0f);  // a zero sum is left
    EXPECT_FLOAT_EQ(n->mjump[2], 0.75f);
    EXPECT_FLOAT_EQ(n->match[3], 0.5f);
    EXPECT_EQ(n->insert[0], 0.0f);
    free_node(n);
}

TEST_F(DnaModelTest, LogModelCostsAndWildcards) {
    Model *m = plain_dna_model(2);
    set4(m->nodes[1]->match, 0.5f, 0.25f, 0.125f, 0.125f);
    set4(m->nodes[2]->match, 0, 0, 0, 0);
    m->nodes[1]->mjump[1] = 0.5f;
    m->nodes[2]->mjump[1] = 0.25f;
    log_model(m);
    ASSERT_NE(m->weights, nullptr);
    ASSERT_NE(m->fim_weight, nullptr);
    const ModWeight *w1 = m->weights[1];
    EXPECT_EQ(w1->mjump[1], 693);
    EXPECT_EQ(w1->djump[0], cost(0.1f));
    int expected_match[7] = {693, 1386, 2079, 2079, 288, 1386, 0};  // A G C T R Y N
    for (int k = 0; k < 7; k++) EXPECT_EQ(w1->match[k], expected_match[k]) << k;
    // All-zero match table: 80000 everywhere but the catch-all, which costs cost(1).
    for (int k = 0; k < 6; k++) EXPECT_EQ(m->weights[2]->match[k], 80000);
    EXPECT_EQ(m->weights[2]->match[6], 0);
    // FIM loop: average match-to-match cost (693 + 1386) / 2 = 1039 (integer), prob back as a
    // float, cost again.
    EXPECT_EQ(m->fim_weight->ijump[2], 1039);
    EXPECT_EQ(w1->ijump[2], cost(0.1f));  // fimtrans positive: other nodes keep theirs
    free_model(m);
}

TEST_F(DnaModelTest, LogModelFimtransAndFimstrength) {
    double saved_trans = fimtrans, saved_strength = fimstrength;
    Model *m = plain_dna_model(2);
    m->nodes[1]->mjump[1] = 0.5f;
    m->nodes[2]->mjump[1] = 0.25f;
    m->nodes[1]->ijump[2] = 0.5f;
    fimtrans = -1.0;
    log_model(m);
    // t (1 - (1 - m) t) with m = prob(1039) as a float and t = 0.5.
    EXPECT_EQ(m->weights[1]->ijump[2], 1083);
    EXPECT_EQ(m->fim_weight->ijump[2], 1039);

    fimtrans = 0.0;
    log_model(m);
    EXPECT_EQ(m->fim_weight->ijump[2], 0);
    EXPECT_EQ(m->weights[1]->ijump[2], cost(0.5f));

    // A model made only of FIMs takes m = |fimtrans|.
    fimtrans = 0.5;
    Model *f = plain_dna_model(1);
    turn_into_fim(f, f->nodes[0]->insert, 0);
    turn_into_fim(f, f->nodes[0]->insert, 1);
    set4(f->nodes[1]->insert, 1, 0, 0, 0);
    fimstrength = 2.0;
    log_model(f);
    EXPECT_EQ(f->fim_weight->ijump[2], 693);
    EXPECT_EQ(f->weights[0]->ijump[2], 693);
    // FIM insert emissions at scale 2: a letter of probability 1 costs -692.
    EXPECT_EQ(f->weights[1]->insert[0], -692);
    EXPECT_EQ(f->weights[1]->insert[1], 80000);
    EXPECT_EQ(f->weights[1]->insert[4], -692);  // R = A + G
    EXPECT_EQ(f->weights[1]->insert[6], -692);  // N = cost(scale)
    // Template insert costs from Begin's table (no template node) at |fimstrength|.
    EXPECT_EQ(f->fim_weight->insert[0], cost(2 * 0.25f));
    // Match costs keep scale 1.
    EXPECT_EQ(f->weights[1]->match[6], 0);
    free_model(f);

    fimstrength = -2.0;  // every node's insert emissions scaled
    log_model(m);
    EXPECT_EQ(m->weights[1]->insert[0], cost(0.5));
    fimtrans = saved_trans;
    fimstrength = saved_strength;
    free_model(m);
}

TEST(ProteinCostTest, WildcardsBandZ) {
    use_alphabet("protein");
    Model *m = alloc_model(1);
    float *p = m->nodes[1]->match;
    p[2] = 0.25f;    // D
    p[11] = 0.25f;   // N
    p[3] = 0.125f;   // E
    p[13] = 0.375f;  // Q
    log_model(m);
    EXPECT_EQ(m->weights[1]->match[20], 693);  // B = D + N
    EXPECT_EQ(m->weights[1]->match[21], 693);  // Z = E + Q
    EXPECT_EQ(m->weights[1]->match[22], 0);    // X
    EXPECT_EQ(m->weights[1]->ncosts, 55);
    free_model(m);
}

TEST_F(DnaModelTest, GeometricMeanNode) {
    Model *m = plain_dna_model(3);
    set4(m->nodes[1]->match, 0.5f, 0.5f, 0, 0);
    set4(m->nodes[2]->match, 0.125f, 0.5f, 0.25f, 0.125f);
    set4(m->nodes[3]->match, 1, 0, 0, 0);  // the last position is left out
    Node *geo = make_geometric_ave_node(m);
    // Per letter exp(mean ln) over the positive values: .25, .5, .25, .125, then normalised.
    EXPECT_NEAR(geo->match[0], 0.25 / 1.125, 1e-6);
    EXPECT_NEAR(geo->match[1], 0.5 / 1.125, 1e-6);
    EXPECT_NEAR(geo->match[2], 0.25 / 1.125, 1e-6);
    EXPECT_NEAR(geo->match[3], 0.125 / 1.125, 1e-6);
    EXPECT_NEAR(geo->djump[1], 0.1, 1e-6);
    EXPECT_NEAR(geo->mjump[1], 0.8, 1e-6);
    free_node(geo);

    // No position between 1 and L-1: fatal.
    Model *one = plain_dna_model(1);
    EXPECT_EQ(fatal_of([one] { make_geometric_ave_node(one); }),
              "make_geometric_ave_node:  no non-FIM nodes found. ");
    free_model(one);
    free_model(m);
}

TEST_F(DnaModelTest, ChangeInsertsScoringDefaults) {
    // FIM method -6, insert method 0, automatic: no insert table changes; the template takes the
    // geometric-mean table (in effect 6).
    Model *m = plain_dna_model(3);
    set4(m->nodes[1]->insert, 0.7f, 0.1f, 0.1f, 0.1f);
    set4(m->nodes[1]->match, 0.5f, 0.5f, 0, 0);
    set4(m->nodes[2]->match, 0.5f, 0.5f, 0, 0);
    int fim_out = -1, ins_out = -1;
    EXPECT_EQ(change_inserts_set_fim(m, -6, 0, 1, &fim_out, &ins_out), 1);
    EXPECT_EQ(m->fim_method, 6);
    EXPECT_EQ(fim_out, 0);
    EXPECT_EQ(ins_out, 0);
    EXPECT_FLOAT_EQ(m->nodes[1]->insert[0], 0.7f);
    ASSERT_NE(m->fim_node, nullptr);
    EXPECT_FLOAT_EQ(m->fim_node->insert[0], 0.5f);
    EXPECT_FLOAT_EQ(m->fim_node->insert[2], 0.0f);

    // With a FIM in the model the template takes the first FIM's insert table (in effect 8).
    Model *f = plain_dna_model(3);
    turn_into_fim(f, nullptr, 2);
    set4(f->nodes[2]->insert, 0.4f, 0.3f, 0.2f, 0.1f);
    change_inserts_set_fim(f, -6, 0, 1, &fim_out, &ins_out);
    EXPECT_EQ(f->fim_method, 8);
    EXPECT_TRUE(same_table(f->fim_node->insert, f->nodes[2]->insert, 4));
    free_model(f);
    free_model(m);
}

TEST_F(DnaModelTest, ChangeInsertsAutomaticGenericAndFlat) {
    // FIM method 0 with a GENERIC node: the GENERIC insert table (in effect 5).
    Model *m = plain_dna_model(3);
    m->generic = alloc_node();
    set4(m->generic->insert, 0.1f, 0.2f, 0.3f, 0.4f);
    change_inserts_set_fim(m, 0, 0, 1, nullptr, nullptr);
    EXPECT_EQ(m->fim_method, 5);
    EXPECT_TRUE(same_table(m->fim_node->insert, m->generic->insert, 4));
    free_model(m);

    // Positive methods without the automatic flag are written into the nodes.
    m = plain_dna_model(3);
    turn_into_fim(m, nullptr, 1);
    set4(m->nodes[1]->insert, 1, 0, 0, 0);
    set4(m->nodes[4]->insert, 0.9f, 0, 0, 0.1f);
    m->generic = alloc_node();
    set4(m->generic->insert, 0.1f, 0.2f, 0.3f, 0.4f);
    int fim_out = -1, ins_out = -1;
    EXPECT_EQ(change_inserts_set_fim(m, 5, 3, 0, &fim_out, &ins_out), 1);
    EXPECT_EQ(fim_out, 5);
    EXPECT_EQ(ins_out, 3);
    EXPECT_EQ(m->fim_method, 5);
    EXPECT_TRUE(same_table(m->nodes[1]->insert, m->generic->insert, 4));  // the FIM
    EXPECT_FLOAT_EQ(m->nodes[2]->insert[3], 0.25f);                       // flat
    EXPECT_FLOAT_EQ(m->nodes[4]->insert[0], 0.9f);                        // End keeps its own
    EXPECT_TRUE(same_table(m->fim_node->insert, m->generic->insert, 4));
    free_model(m);
}

TEST_F(DnaModelTest, ChangeInsertsRefusedMethods) {
    Model *m = plain_dna_model(3);
    set4(m->nodes[1]->insert, 0.7f, 0.1f, 0.1f, 0.1f);
    int ins_out = -1;
    testing::internal::CaptureStderr();
    change_inserts_set_fim(m, -6, 4, 1, nullptr, &ins_out);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid Insert_method: 4 (target letter frequencies (4)) specified.\n");
    EXPECT_EQ(ins_out, 0);
    EXPECT_FLOAT_EQ(m->nodes[1]->insert[0], 0.7f);

    testing::internal::CaptureStderr();
    change_inserts_set_fim(m, -6, 1, 1, nullptr, &ins_out);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Insert_method 1 (training letter frequencies (1)) not available in model.\n"
              " Tables not modified.\n");
    EXPECT_EQ(ins_out, 0);

    testing::internal::CaptureStderr();
    int fim_out = -1;
    change_inserts_set_fim(m, 8, 0, 1, &fim_out, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid FIM_method: 8 (the first FIM node (0)) specified.\n");
    EXPECT_EQ(fim_out, 0);
    EXPECT_EQ(m->fim_method, 7);  // no FIM, no table: Begin's insert table
    free_model(m);
}

TEST_F(DnaModelTest, TurnIntoFim) {
    Model *m = plain_dna_model(3);
    float table[4] = {0.4f, 0.3f, 0.2f, 0.1f};
    turn_into_fim(m, table, 2);
    Node **n = m->nodes;
    EXPECT_EQ(n[2]->type, 'F');
    EXPECT_EQ(n[2]->match[0], 0.0f);
    EXPECT_TRUE(same_table(n[2]->insert, table, 4));
    EXPECT_EQ(n[2]->ijump[0], 1.0f);
    EXPECT_EQ(n[2]->ijump[1], 0.0f);
    EXPECT_FLOAT_EQ(n[2]->djump[1], 0.9f);  // match moved onto delete
    EXPECT_EQ(n[2]->mjump[1], 0.0f);
    EXPECT_EQ(n[3]->djump[0], 1.0f);
    EXPECT_EQ(n[3]->mjump[1], 0.0f);

    turn_into_fim(m, table, 3);  // the last position: End takes {1,0,1} into match
    EXPECT_EQ(n[4]->mjump[0], 1.0f);
    EXPECT_EQ(n[4]->mjump[1], 0.0f);
    EXPECT_EQ(n[4]->djump[0], 0.0f);
    EXPECT_EQ(n[4]->insert[0], 0.0f);

    turn_into_fim(m, table, 0);
    EXPECT_EQ(n[0]->ijump[0], 0.0f);
    EXPECT_EQ(n[0]->ijump[2], 1.0f);
    EXPECT_EQ(n[1]->djump[0], 0.0f);
    EXPECT_EQ(n[1]->mjump[2], 1.0f);

    n[1]->type = 'C';
    testing::internal::CaptureStderr();
    turn_into_fim(m, table, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error -- cannot change a Codon typed node (#1) to a FIM.  Ignoring.\n");
    EXPECT_EQ(n[1]->type, 'C');
    free_model(m);
}

TEST_F(DnaModelTest, AddFimsAtEnds) {
    clear_fims_added();
    // FIMs at both ends already: unchanged, flag 0.
    Model *m = plain_dna_model(2);
    turn_into_fim(m, nullptr, 0);
    turn_into_fim(m, nullptr, 2);
    Model *same = m;
    int added = -1, method = -1;
    add_fims_at_ends(&m, &added, &method);
    EXPECT_EQ(m, same);
    EXPECT_EQ(added, 0);
    EXPECT_EQ(fims_added(), 0);
    free_model(m);

    // A FIM only at Begin: one more position, a FIM at the end, Begin a FIM again; without a
    // template or GENERIC node the table is Begin's, with the warning.
    m = plain_dna_model(2);
    turn_into_fim(m, nullptr, 0);
    m->nodes[3]->lab = 9;  // labelled End
    m->nodes[2]->lab = 4;
    testing::internal::CaptureStderr();
    add_fims_at_ends(&m, &added, &method);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  FIMs added using node 0 insert.  To avoid this message\n"
              "set FIM_method_{train,score} to a non-zero value.\n");
    EXPECT_EQ(added, 1);
    EXPECT_EQ(method, 7);
    EXPECT_EQ(fims_added(), 1);
    ASSERT_EQ(m->length, 3);
    EXPECT_EQ(m->nodes[0]->type, 'F');
    EXPECT_EQ(m->nodes[3]->type, 'F');
    EXPECT_EQ(m->nodes[4]->type, 0);
    EXPECT_EQ(m->nodes[2]->lab, 4);
    EXPECT_EQ(m->nodes[3]->lab, -1);  // the new FIM is unlabelled
    EXPECT_EQ(m->nodes[4]->lab, 9);   // End keeps its label
    free_model(m);

    // With a template node its table and the method in effect are used; GENERIC otherwise.
    m = plain_dna_model(2);
    change_inserts_set_fim(m, -6, 0, 1, nullptr, nullptr);
    add_fims_at_ends(&m, &added, &method);
    EXPECT_EQ(method, 6);
    EXPECT_TRUE(same_table(m->nodes[3]->insert, m->fim_node->insert, 4));
    free_model(m);
    m = plain_dna_model(2);
    m->generic = alloc_node();
    set4(m->generic->insert, 0.1f, 0.2f, 0.3f, 0.4f);
    testing::internal::CaptureStderr();
    add_fims_at_ends(&m, &added, &method);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  FIMs added using generic node.  To avoid this message\n"
              "set FIM_method_{train,score} to a non-zero value.\n");
    EXPECT_EQ(method, 5);
    EXPECT_TRUE(same_table(m->nodes[0]->insert, m->generic->insert, 4));
    free_model(m);
    clear_fims_added();
    EXPECT_EQ(fims_added(), 0);
}

TEST(FimDeleteTest, RemovesOneDeleteOfTheAddedFim) {
    use_alphabet("DNA");
    Sequence *s = alloc_sequence(3, 1);
    s->id = str_dup("s1");
    auto code = [s](std::vector<unsigned char> bytes) {
        std::free(s->align);
        s->align = static_cast<unsigned char *>(mem_alloc(bytes.size() + 1));
        if (!bytes.empty()) std::memcpy(s->align, bytes.data(), bytes.size());
    };
    auto now = [s]() {
        return std::vector<unsigned char>(s->align, s->align + std::strlen((char *)s->align));
    };

    clear_fims_added();
    code({150, 201, 5});
    remove_fim_delete_if_auto(s);
    EXPECT_EQ(now(), (std::vector<unsigned char>{150, 201, 5}));  // flag clear: nothing

    set_fims_added();
    remove_fim_delete_if_auto(s);
    EXPECT_EQ(now(), (std::vector<unsigned char>{150, 5}));
    code({150, 203, 2, 1});
    remove_fim_delete_if_auto(s);
    EXPECT_EQ(now(), (std::vector<unsigned char>{150, 202, 2, 1}));
    code({201});
    remove_fim_delete_if_auto(s);
    EXPECT_TRUE(now().empty());

    testing::internal::CaptureStderr();
    code({150, 3});
    remove_fim_delete_if_auto(s);
    EXPECT_EQ(now(), (std::vector<unsigned char>{150, 3}));
    code({3, 4});  // only inserts: nothing before the start is read
    remove_fim_delete_if_auto(s);
    code({});
    remove_fim_delete_if_auto(s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error in locating FIM delete in s1 (0,150)\n"
              "Error in locating FIM delete in s1 (-1,0)\n"
              "Error in locating FIM delete in s1 (-1,0)\n");
    clear_fims_added();
    free_sequence(s);
}

// A raw model with start nodes 0..P and end nodes 0..Q (End = end element 0); every node's
// first value and second match value name it: 100 + j for start node j, 200 + e for end node e.
Rmodel *numbered_rmodel(int P, int Q, bool with_generic) {
    Rmodel *r = alloc_rmodel(nullptr);
    r->nstart = P;
    r->nend = Q;
    alloc_rmodel(r);
    for (int j = 0; j <= P; j++) {
        r->slots[j] = alloc_node();
        r->slots[j]->params[0] = 100.0f + j;
        r->slots[j]->match[1] = 100.0f + j;
    }
    for (int e = 0; e <= Q; e++) {
        r->end_nodes[e] = alloc_node();
        r->end_nodes[e]->params[0] = 200.0f + e;
        r->end_nodes[e]->match[1] = 200.0f + e;
    }
    r->begin = r->slots[0];
    r->end = r->end_nodes[0];
    if (with_generic) {
        r->generic = alloc_node();
        r->generic->params[0] = 300.0f;
        r->generic->match[1] = 300.0f;
        set4(r->generic->insert, 0.1f, 0.2f, 0.3f, 0.4f);
    }
    return r;
}

TEST_F(DnaModelTest, Rmodel2modelAnyLength) {
    // Start nodes 0..5, end nodes 0..2, length 8: 0..5 from the start, 6 from GENERIC, 7..9
    // from end nodes 2, 1, 0.
    Rmodel *r = numbered_rmodel(5, 2, true);
    int len = 8;
    Model *m = rmodel2model(r, &len);
    float expected[10] = {100, 101, 102, 103, 104, 105, 300, 202, 201, 200};
    for (int j = 0; j <= 9; j++) EXPECT_EQ(m->nodes[j]->params[0], expected[j]) << j;
    free_model(m);
    // Missing length: P + Q, written back; past the middle an existing end node wins.
    len = 0;
    m = rmodel2model(r, &len);
    EXPECT_EQ(len, 7);
    float expected7[9] = {100, 101, 102, 103, 104, 105, 202, 201, 200};
    for (int j = 0; j <= 8; j++) EXPECT_EQ(m->nodes[j]->params[0], expected7[j]) << j;
    free_model(m);
    free_rmodel(&r);

    // One GENERIC node fills any length; a GENERIC FIM gives FIMs with its insert table.
    r = alloc_rmodel(nullptr);
    r->nstart = -1;
    r->generic = alloc_node();
    set4(r->generic->match, 0.25f, 0.25f, 0.25f, 0.25f);
    set4(r->generic->insert, 0.1f, 0.2f, 0.3f, 0.4f);
    len = 10;
    m = rmodel2model(r, &len);
    ASSERT_EQ(m->length, 10);
    EXPECT_FLOAT_EQ(m->nodes[5]->match[0], 0.25f);
    EXPECT_NE(m->generic, nullptr);
    free_model(m);
    r->generic->type = 'F';
    m = rmodel2model(r, &len);
    for (int j = 0; j <= 10; j++) {
        EXPECT_EQ(m->nodes[j]->type, 'F') << j;
        EXPECT_EQ(m->nodes[j]->match[0], 0.0f);
        EXPECT_TRUE(same_table(m->nodes[j]->insert, r->generic->insert, 4));
    }
    free_model(m);
    free_rmodel(&r);

    // No GENERIC node for a missing node: fatal.
    r = numbered_rmodel(1, 0, false);
    len = 4;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_of([r, &len] { rmodel2model(r, &len); }), "Exiting program.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "rmodel2model:  Node 2 in model length 4 missing, no generic node\n");
    free_rmodel(&r);
}

TEST_F(DnaModelTest, DestructRmodel2model) {
    Rmodel *r = numbered_rmodel(2, 1, true);
    free_node(r->slots[1]);
    r->slots[1] = nullptr;
    r->slots[2]->type = '$';
    Model *m = destruct_rmodel2model(&r);
    EXPECT_EQ(r, nullptr);
    ASSERT_EQ(m->length, 3);
    EXPECT_EQ(m->nodes[0]->match[1], 100.0f);
    EXPECT_EQ(m->nodes[1]->match[1], 300.0f);  // GENERIC copy
    EXPECT_EQ(m->nodes[2]->type, 'F');         // '$' became a FIM with GENERIC's insert table
    EXPECT_TRUE(same_table(m->nodes[2]->insert, m->generic->insert, 4));
    EXPECT_EQ(m->nodes[3]->match[1], 201.0f);
    EXPECT_EQ(m->nodes[4]->match[1], 200.0f);
    free_model(m);

    r = numbered_rmodel(2, 1, false);
    free_node(r->slots[2]);
    r->slots[2] = nullptr;
    EXPECT_EQ(fatal_of([&r] { destruct_rmodel2model(&r); }),
              "Destruct_rmodel2model missing node 2 (of 3), no generic");
    free_rmodel(&r);
    r = numbered_rmodel(2, 1, false);
    free_node(r->end_nodes[1]);
    r->end_nodes[1] = nullptr;
    EXPECT_EQ(fatal_of([&r] { destruct_rmodel2model(&r); }),
              "Destruct_rmodel2model missing node -1 (3 of 3), no generic");
    free_rmodel(&r);
}

TEST_F(DnaModelTest, DestructModel2rmodelAndBack) {
    Model *m = plain_dna_model(2);
    m->nodes[1]->params[0] = 42.0f;
    m->generic = alloc_node();
    Rmodel *r = destruct_model2rmodel(m);
    EXPECT_EQ(r->nstart, 2);
    EXPECT_EQ(r->nend, 0);
    EXPECT_EQ(r->slots[1]->params[0], 42.0f);
    EXPECT_EQ(r->end, r->slots[3]);
    EXPECT_NE(r->generic, nullptr);
    Model *back = destruct_rmodel2model(&r);
    EXPECT_EQ(back->length, 2);
    EXPECT_EQ(back->nodes[1]->params[0], 42.0f);
    free_model(back);
}

TEST_F(DnaModelTest, CheckFimsRemakesFimsWithMatchValues) {
    Model *m = plain_dna_model(3);
    m->nodes[2]->type = 'F';  // a FIM with match values, as a GENERIC copy would be
    testing::internal::CaptureStderr();
    check_fims(m, 1);
    check_fims(m, 1);
    m->nodes[1]->type = 'F';
    check_fims(m, 1);  // warned once per run
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Some FIMs have non-zero match states (e.g., node 2),\n"
                   "a natural result of using the protein `O' (gap) character with colbrand\n"
                   "or turning an existing or GENERIC node into a FIM.\n"
                   "These nodes are being renormalized as discussed in the QOR manual.\n"
                   "To avoid this message, use plenmod or quillet when adding FIMs.\n");
    EXPECT_EQ(m->nodes[2]->match[0], 0.0f);
    EXPECT_EQ(m->nodes[2]->ijump[1], 0.0f);
    EXPECT_EQ(m->nodes[1]->match[0], 0.0f);
    EXPECT_TRUE(has_fim(m));
    free_model(m);
}

// Models of length 0 through the conversions that fill every slot themselves: the nodes given
// are the ones kept (nothing allocated on the side and lost; the sanitizer build checks leaks).
TEST_F(DnaModelTest, LengthZeroConversionsKeepTheirNodes) {
    Model *m = alloc_model(0);
    m->nodes[0]->params[0] = 10.0f;
    m->nodes[1]->params[0] = 11.0f;
    Model *c = replicate_model(m);
    EXPECT_EQ(c->length, 0);
    EXPECT_EQ(c->nodes[0]->params[0], 10.0f);
    EXPECT_EQ(c->nodes[1]->params[0], 11.0f);
    Rmodel *r = numbered_rmodel(0, 0, false);
    Node *begin = r->slots[0], *end = r->end_nodes[0];
    int len = 0;
    Model *fresh = rmodel2model(r, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(fresh->nodes[0]->params[0], 100.0f);
    EXPECT_EQ(fresh->nodes[1]->params[0], 200.0f);
    Model *moved = destruct_rmodel2model(&r);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(moved->nodes[0], begin);
    EXPECT_EQ(moved->nodes[1], end);
    for (Model *x : {m, c, fresh, moved}) free_model(x);
}

TEST_F(DnaModelTest, CopiesAndFrequencyNodes) {
    Model *m = plain_dna_model(2);
    m->nodes[1]->lab = 3;
    m->nodes[1]->nodeenv = alloc_NodeEnv();
    m->generic = alloc_node();
    m->fim_method = 6;
    Model *c = replicate_model(m);
    EXPECT_EQ(c->length, 2);
    EXPECT_EQ(c->nodes[1]->lab, 3);
    EXPECT_EQ(c->nodes[1]->nodeenv, nullptr);
    EXPECT_NE(c->generic, nullptr);
    EXPECT_EQ(c->fim_method, 6);
    EXPECT_EQ(c->weights, nullptr);
    EXPECT_FALSE(has_fim(c));
    Node *u = get_unlabeled_node(m->nodes[1]);
    EXPECT_EQ(u->lab, -1);
    EXPECT_EQ(dup_node(nullptr), nullptr);
    Node *dest = alloc_node();
    dest->nodeenv = alloc_NodeEnv();
    m->nodes[1]->nodeenv->acc = 5;
    copy_node(m->nodes[1], dest);
    EXPECT_EQ(dest->lab, 3);
    EXPECT_EQ(dest->nodeenv->acc, 5);
    free_node(dest);
    free_node(u);
    free_model(c);

    // FREQAVE: mean match frequencies plus 0.001 a letter, normalised; FIMs left out.
    set4(m->nodes[1]->match, 1, 0, 0, 0);
    set4(m->nodes[2]->match, 0, 1, 0, 0);
    make_freqave(m);
    EXPECT_NEAR(m->freqave->match[0], 1.001 / 2.004, 1e-7);
    EXPECT_NEAR(m->freqave->insert[3], 0.001 / 2.004, 1e-7);
    EXPECT_EQ(m->freqave->djump[0], 0.0f);

    Rmodel *raw = destruct_model2rmodel(replicate_model(m));
    Model *weighted = regularizer_with_confidence(raw, 2, 2, 3, 4, 5, 6);
    free_rmodel(&raw);
    EXPECT_FLOAT_EQ(weighted->nodes[1]->djump[0], 0.2f);
    EXPECT_FLOAT_EQ(weighted->nodes[1]->mjump[1], 2.4f);
    EXPECT_FLOAT_EQ(weighted->nodes[1]->ijump[2], 0.4f);
    EXPECT_FLOAT_EQ(weighted->nodes[2]->match[1], 5.0f);
    EXPECT_FLOAT_EQ(weighted->nodes[2]->insert[1], 1.5f);
    free_model(weighted);
    free_model(m);
}

TEST_F(DnaModelTest, SeqToFreqAndLetterCounts) {
    Sequence *s = alloc_sequence(3, 1);
    s->tracks[0].res[0] = 0;
    s->tracks[0].res[1] = 2;
    s->tracks[0].res[2] = 6;  // a wildcard: no match slot
    Model *m = seq_to_freq(s, 0.5);
    EXPECT_EQ(m->length, 3);
    EXPECT_EQ(m->nodes[1]->match[0], 0.5f);
    EXPECT_EQ(m->nodes[2]->match[2], 0.5f);
    EXPECT_EQ(m->nodes[2]->mjump[1], 0.5f);
    EXPECT_EQ(m->nodes[4]->djump[1], 0.5f);
    EXPECT_EQ(m->nodes[1]->match[1], 0.0f);
    free_model(m);

    Sequence *empty = alloc_sequence(0, 1);
    Model *z = seq_to_freq(empty, 1.0);
    EXPECT_EQ(z->length, 0);
    EXPECT_EQ(z->nodes[1]->djump[1], 1.0f);
    free_model(z);
    free_sequence(empty);

    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, s);
    Node *lc = nullptr;
    make_lettercounts(&lc, t, 0, 1);
    ASSERT_NE(lc, nullptr);
    double sum = 0;
    for (int k = 0; k < 4; k++) sum += lc->match[k];
    EXPECT_NEAR(sum, 1.0, 1e-6);
    EXPECT_GT(lc->match[0], lc->match[1]);
    EXPECT_EQ(lc->match[0], lc->insert[0]);
    free_node(lc);
    free_sequence_table(t);
}

TEST_F(DnaModelTest, ChangeRinserts) {
    Rmodel *r = numbered_rmodel(3, 0, true);
    for (int j = 0; j <= 3; j++) set4(r->slots[j]->insert, 0.7f, 0.1f, 0.1f, 0.1f);
    r->slots[1]->type = 'F';
    int fim_out = -1, ins_out = -1;
    EXPECT_EQ(change_Rinserts(r, 5, 3, 0, &fim_out, &ins_out), 1);
    EXPECT_EQ(fim_out, 5);
    EXPECT_EQ(ins_out, 3);
    EXPECT_FLOAT_EQ(r->slots[1]->insert[3], 0.4f);  // the FIM: GENERIC's table as it was
    EXPECT_FLOAT_EQ(r->slots[2]->insert[0], 0.25f);
    EXPECT_FLOAT_EQ(r->generic->insert[0], 0.25f);
    EXPECT_FLOAT_EQ(r->generic->match[3], 0.25f);
    EXPECT_FLOAT_EQ(r->end_nodes[0]->insert[0], 0.0f);  // End untouched
    // Negative methods with the automatic flag: nothing.
    set4(r->slots[2]->insert, 0.7f, 0.1f, 0.1f, 0.1f);
    EXPECT_EQ(change_Rinserts(r, -5, -3, 1, &fim_out, &ins_out), 0);
    EXPECT_FLOAT_EQ(r->slots[2]->insert[0], 0.7f);
    free_rmodel(&r);
}

TEST_F(DnaModelTest, WholeModelArithmetic) {
    Model *a = plain_dna_model(1);
    Model *b = plain_dna_model(1);
    a->nodes[1]->type = 'K';
    init_model(a, 2.0);
    EXPECT_EQ(a->nodes[1]->type, 0);
    EXPECT_EQ(a->nodes[2]->insert[3], 2.0f);
    increment_model(a, b, 2.0);
    EXPECT_FLOAT_EQ(a->nodes[1]->mjump[1], 3.6f);
    multiply_model(a, 0.5);
    EXPECT_FLOAT_EQ(a->nodes[0]->match[0], 1.25f);
    init_begin_end(b, 7.0);
    EXPECT_EQ(b->nodes[0]->mjump[2], 7.0f);
    EXPECT_EQ(b->nodes[0]->ijump[0], 7.0f);
    EXPECT_FLOAT_EQ(b->nodes[0]->ijump[1], 0.1f);
    EXPECT_EQ(b->nodes[1]->mjump[0], 7.0f);
    EXPECT_FLOAT_EQ(b->nodes[1]->mjump[1], 0.8f);
    EXPECT_EQ(b->nodes[2]->ijump[2], 7.0f);
    EXPECT_EQ(b->nodes[2]->insert[3], 7.0f);
    float dest[4] = {0, 0, 0, 0};
    copy_alphlen_table(dest, b->nodes[2]->insert, alphabet);
    EXPECT_EQ(dest[3], 7.0f);
    copy_alphlen_table(nullptr, dest, alphabet);  // an absent table: nothing
    free_model(a);
    free_model(b);
}

TEST_F(DnaModelTest, PrepareWithoutFims) {
    Rmodel *r = destruct_model2rmodel(plain_dna_model(2));
    Model *m = process_rmodel(&r, AUTOFIM_NEVER, 0, nullptr, 0, nullptr);
    EXPECT_EQ(m->length, 2);
    EXPECT_FALSE(has_fim(m));
    EXPECT_EQ(m->fim_method, 6);
    ASSERT_NE(m->weights, nullptr);
    EXPECT_EQ(m->weights[1]->match[0], cost(0.25f));
    free_model(m);
}

}  // namespace

namespace {

// Codon models: nodes 'C', 'D' and 'E' are the three positions of a codon; the match table of a
// 'C' node holds the 64 codons (index 16a + 4b + c), every other table the four nucleotides.
class CodonModelTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        init_alphabet_by_name("CODON", 0, "");
    }
};

// Begin, a 'C', a 'D' and an 'E' node, End.
Model *codon_model() {
    Model *m = alloc_model(3);
    Node **n = m->nodes;
    n[1]->type = 'C';
    n[2]->type = 'D';
    n[3]->type = 'E';
    // Begin -> node 1 from the match state: 1, 2, 1.
    n[1]->djump[1] = 1;
    n[1]->mjump[1] = 2;
    n[0]->ijump[1] = 1;
    // Out of the 'C' node: only match -> delete and match -> match survive.
    n[2]->djump[1] = 1;
    n[2]->mjump[1] = 3;
    set3(n[2]->djump, 5, 1, 5);
    set3(n[2]->mjump, 5, 3, 5);
    set3(n[1]->ijump, 5, 5, 5);
    // Out of the 'D' node: nothing into node 3 from match, so both 0.
    set3(n[3]->djump, 0, 0, 2);
    set3(n[3]->mjump, 0, 0, 2);
    // Out of the 'E' node (an ordinary rule): End.mjump and own ijump.
    set3(n[4]->mjump, 1, 1, 1);
    set3(n[3]->ijump, 1, 3, 0);
    // Emissions.
    set4(n[0]->match, 1, 1, 2, 0);
    n[0]->match[10] = 7;
    n[0]->insert[20] = 3;
    n[1]->match[0] = 1;  // AAA
    n[1]->match[5] = 3;  // AGG
    set4(n[1]->insert, 1, 1, 1, 1);
    n[2]->match[7] = 9;
    set4(n[2]->insert, 1, 1, 1, 1);
    set4(n[3]->match, 0, 5, 0, 0);
    set4(n[3]->insert, 2, 1, 1, 0);
    return m;
}

TEST_F(CodonModelTest, NormalizeCodonNodes) {
    Model *m = codon_model();
    normalize_model(m);
    Node **n = m->nodes;
    // Begin (ordinary): 1, 2, 1 over 4.
    EXPECT_FLOAT_EQ(n[1]->djump[1], 0.25f);
    EXPECT_FLOAT_EQ(n[1]->mjump[1], 0.5f);
    EXPECT_FLOAT_EQ(n[0]->ijump[1], 0.25f);
    // 'C': match -> delete and match -> match normalised, match -> insert 0, delete and insert
    // states closed, then delete -> delete 1.
    EXPECT_FLOAT_EQ(n[2]->djump[1], 0.25f);
    EXPECT_FLOAT_EQ(n[2]->mjump[1], 0.75f);
    EXPECT_EQ(n[2]->djump[0], 1.0f);
    EXPECT_EQ(n[2]->djump[2], 0.0f);
    EXPECT_EQ(n[2]->mjump[0], 0.0f);
    EXPECT_EQ(n[2]->mjump[2], 0.0f);
    for (int s = 0; s < 3; s++) EXPECT_EQ(n[1]->ijump[s], 0.0f) << s;
    // 'D' with nothing out of its match state: both 0; delete -> delete 1.
    EXPECT_EQ(n[3]->djump[1], 0.0f);
    EXPECT_EQ(n[3]->mjump[1], 0.0f);
    EXPECT_EQ(n[3]->djump[0], 1.0f);
    EXPECT_EQ(n[3]->djump[2], 0.0f);
    EXPECT_EQ(n[3]->mjump[2], 0.0f);
    // 'E' follows the ordinary rule (End's djump was zeroed first).
    EXPECT_FLOAT_EQ(n[4]->mjump[0], 0.5f);
    EXPECT_FLOAT_EQ(n[3]->ijump[0], 0.5f);
    EXPECT_FLOAT_EQ(n[4]->mjump[1], 0.25f);
    EXPECT_FLOAT_EQ(n[3]->ijump[1], 0.75f);
    EXPECT_FLOAT_EQ(n[4]->mjump[2], 1.0f);
    EXPECT_EQ(n[3]->ijump[2], 0.0f);

    // Emissions: Begin over the four nucleotides, zero past them.
    EXPECT_FLOAT_EQ(n[0]->match[2], 0.5f);
    EXPECT_EQ(n[0]->match[10], 0.0f);
    EXPECT_EQ(n[0]->insert[20], 0.0f);
    // 'C': 64 codons normalised, insert all 0.
    EXPECT_FLOAT_EQ(n[1]->match[0], 0.25f);
    EXPECT_FLOAT_EQ(n[1]->match[5], 0.75f);
    for (int k = 0; k < 64; k++) EXPECT_EQ(n[1]->insert[k], 0.0f) << k;
    // 'D': match 1 for each nucleotide, 0 beyond; insert all 0. 'E': match likewise, insert
    // normalised over the nucleotides.
    for (int k = 0; k < 64; k++) {
        float one = k < 4 ? 1.0f : 0.0f;
        EXPECT_EQ(n[2]->match[k], one) << k;
        EXPECT_EQ(n[3]->match[k], one) << k;
        EXPECT_EQ(n[2]->insert[k], 0.0f) << k;
    }
    EXPECT_FLOAT_EQ(n[3]->insert[0], 0.5f);
    EXPECT_FLOAT_EQ(n[3]->insert[1], 0.25f);
    free_model(m);
}

TEST_F(CodonModelTest, CostTablesOfCodonNodes) {
    Model *m = codon_model();
    normalize_model(m);
    log_model(m);
    ASSERT_EQ(m->weights[1]->ncosts, 2 * 125 + 9);
    // 'C' match, entry 25a + 5b + c with 4 = 'N': AAA .25, AGG .75, AAN .25, AGN .75, ANN 1,
    // NAA .25, GAA 0, NNA .25, NNG .75, NNN cost(1).
    const int *q = m->weights[1]->match;
    EXPECT_EQ(q[0], 1386);
    EXPECT_EQ(q[6], 288);
    EXPECT_EQ(q[4], 1386);
    EXPECT_EQ(q[9], 288);
    EXPECT_EQ(q[24], 0);
    EXPECT_EQ(q[100], 1386);
    EXPECT_EQ(q[25], 80000);
    EXPECT_EQ(q[120], 1386);
    EXPECT_EQ(q[121], 288);
    EXPECT_EQ(q[124], 0);
    for (int k = 0; k < 125; k++) {
        EXPECT_EQ(m->weights[1]->insert[k], 80000) << k;  // 'C' inserts nothing
        EXPECT_EQ(m->weights[2]->match[k], 0) << k;       // 'D' match free
        EXPECT_EQ(m->weights[2]->insert[k], 80000) << k;  // 'D' inserts nothing
        EXPECT_EQ(m->weights[3]->match[k], 0) << k;       // 'E' match free
    }
    // 'E' insert and Begin match: only the first nucleotide counts; 'N' first costs cost(1).
    const int expect_e[5] = {693, 1386, 1386, 80000, 0};
    const int expect_b[5] = {1386, 1386, 693, 80000, 0};
    for (int a = 0; a < 5; a++)
        for (int bc = 0; bc < 25; bc++) {
            EXPECT_EQ(m->weights[3]->insert[25 * a + bc], expect_e[a]) << a << " " << bc;
            EXPECT_EQ(m->weights[0]->match[25 * a + bc], expect_b[a]) << a << " " << bc;
        }
    free_model(m);
}

TEST_F(CodonModelTest, GeometricMeanOfCodonNodes) {
    Model *m = codon_model();
    normalize_model(m);
    // Positions 1 and 2: the 'C' node gives, per codon position, one logarithm per nucleotide
    // present: A: 1 (first), .25 (second), .25 (third); G: .75 (second), .75 (third). The 'D'
    // node gives nothing; neither gives transitions.
    Node *geo = make_geometric_ave_node(m);
    double a = std::pow(0.25, 2.0 / 3.0), g = 0.75;
    EXPECT_NEAR(geo->match[0], a / (a + g), 1e-6);
    EXPECT_NEAR(geo->match[1], g / (a + g), 1e-6);
    EXPECT_EQ(geo->match[2], 0.0f);
    EXPECT_EQ(geo->match[3], 0.0f);
    for (int k = 0; k < 9; k++) EXPECT_EQ(geo->params[k], 0.0f) << k;
    for (int k = 0; k < 4; k++) EXPECT_EQ(geo->insert[k], 0.0f) << k;
    free_node(geo);
    free_model(m);
}

TEST_F(DnaModelTest, MostNegativeMethodNumberIsIllegal) {
    EXPECT_STREQ(I_method_string(INT_MIN), "Illegal method setting (2147483647)");
    EXPECT_EQ(revise_method(INT_MIN, 1), 0);
    EXPECT_EQ(revise_method(INT_MIN, 0), INT_MAX);
    Model *m = plain_dna_model(2);
    int fim_out = -1;
    testing::internal::CaptureStderr();
    change_inserts_set_fim(m, INT_MIN, 0, 0, &fim_out, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid FIM_method: 2147483647 (Illegal method setting (2147483647)) specified.\n");
    EXPECT_EQ(fim_out, 0);
    EXPECT_EQ(m->fim_method, 7);  // no table, no FIM: Begin's insert table
    free_model(m);
}

}  // namespace

namespace {

// A preparation that fails (no position for the geometric mean) reports the fatal message and
// leaves nothing allocated behind when the error is thrown.
TEST_F(DnaModelTest, FailedPreparationReleasesItsModel) {
    Rmodel *r = destruct_model2rmodel(plain_dna_model(1));
    EXPECT_EQ(fatal_of([&r] { process_rmodel(&r, AUTOFIM_NEVER, 4, nullptr, 0, nullptr); }),
              "make_geometric_ave_node:  no non-FIM nodes found. ");
    EXPECT_EQ(r, nullptr);  // consumed all the same
}

}  // namespace
