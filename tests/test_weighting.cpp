// Score-based sequence weighting on hand-worked cases, and the weight file read back by the
// weight-file reader.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "sequences/sequence.h"
#include "testutil.h"
#include "engine/weighting.h"

namespace {

// A table of sequences with the given simple scores and first family weights.
SequenceTable *table_of(const std::vector<float> &scores, double weight) {
    SequenceTable *t = alloc_sequence_table();
    for (size_t i = 0; i < scores.size(); i++) {
        Sequence *s = alloc_sequence(0, 1);
        s->id = str_dup(("s" + std::to_string(i)).c_str());
        s->simple_score = scores[i];
        s->weights = static_cast<double *>(mem_alloc(sizeof(double)));
        s->weights[0] = weight;
        add_seq_to_table(t, s);
    }
    return t;
}

std::vector<double> column(int n, int c) {
    std::vector<double> v;
    for (int j = 0; j < n; j++) v.push_back(internal_weight_value(j, c));
    return v;
}

class Weighting : public ::testing::Test {
protected:
    void SetUp() override { error_throws = true; }
};

TEST_F(Weighting, RecomputedColumns) {
    const double r2 = std::sqrt(2.0);
    struct Case {
        std::vector<float> scores;
        double first_weight;
        int normalise, method;
        float a, b;
        std::vector<double> want;
    } cases[] = {
        {{1, 2, 3}, 1.0, 0, WEIGHT_EXPONENTIAL, 2, 1, {2, r2, 1}},
        {{5, 5, 5}, 1.0, 0, WEIGHT_EXPONENTIAL, 2, 1, {1, 1, 1}},
        {{1, 2, 3}, 2.0, 1, WEIGHT_EXPONENTIAL, 2, 1, {1, r2 / 2, 0.5}},  // S = 2n: halved
        {{1, 2, 3}, 1.0, 0, WEIGHT_EXPONENTIAL, 2, 0, {1, 1, 1}},         // blend 0: old
        {{1, 2, 3}, 1.0, 0, WEIGHT_EXPONENTIAL, 2, 0.5f, {1.5, (1 + r2) / 2, 1}},
        {{1, 2, 3}, 1.0, 0, 7, 2, 1, {1, 1, 1}},  // another method keeps the values
        {{1, 2, 3},
         0.3,
         1,
         WEIGHT_EXPONENTIAL,
         2,
         1,
         {2 * std::log(3.0) / 0.9, r2 * std::log(3.0) / 0.9, std::log(3.0) / 0.9}},
    };
    for (const Case &k : cases) {
        SequenceTable *t = table_of(k.scores, k.first_weight);
        int n = (int)k.scores.size();
        init_internal_weights(t, 1, 2);
        weight_model(t, nullptr, nullptr, 1, k.normalise, k.method, k.a, k.b);
        std::vector<double> got = column(n, 1);
        for (int j = 0; j < n; j++) EXPECT_NEAR(got[j], k.want[j], 1e-6) << j;
        EXPECT_EQ(column(n, 0), std::vector<double>(n, k.first_weight));
        free_internal_weights(t, 1);
        free_sequence_table(t);
    }
}

TEST_F(Weighting, MedianCutPutsOutliersOnALinearScale) {
    // Thirty scores 0, then 8 and 10: median 0, sample deviation 2.228, bound 6.68.
    std::vector<float> s(30, 0.0f);
    s.push_back(8);
    s.push_back(10);
    SequenceTable *t = table_of(s, 1.0);
    init_internal_weights(t, 1, 1);
    weight_model(t, nullptr, nullptr, 0, 0, WEIGHT_MEDIAN_CUT, 2, 1);
    EXPECT_NEAR(internal_weight_value(0, 0), 2.0, 1e-6);
    EXPECT_NEAR(internal_weight_value(30, 0), 0.8, 1e-6);
    EXPECT_NEAR(internal_weight_value(31, 0), 1.0, 1e-6);
    free_internal_weights(t, 1);
    free_sequence_table(t);
}

TEST_F(Weighting, NoScoredSequenceKeepsTheColumn) {
    SequenceTable *t = table_of({SCORE_UNSET, SCORE_UNSET}, 0.5);
    init_internal_weights(t, 1, 1);
    testing::internal::CaptureStderr();
    weight_model(t, nullptr, nullptr, 0, 1, WEIGHT_EXPONENTIAL, 2, 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no sequence has a score"),
              std::string::npos);
    EXPECT_EQ(column(2, 0), (std::vector<double>{0.5, 0.5}));
    free_internal_weights(t, 1);
    free_sequence_table(t);
}

TEST_F(Weighting, CopyInAndLifecycle) {
    SequenceTable *t = table_of({1, 2}, 1.0);
    init_internal_weights(t, 0, 2);  // flag 0: nothing
    EXPECT_EQ(internal_weight_value(0, 0), 0.0);
    init_internal_weights(t, 1, 2);
    weight_model(t, nullptr, nullptr, 1, 0, WEIGHT_EXPONENTIAL, 4, 1);
    set_internal_weights(t, 1, 1);
    EXPECT_DOUBLE_EQ(t->seqs[0]->weights[0], 4.0);
    EXPECT_DOUBLE_EQ(t->seqs[1]->weights[0], 1.0);
    init_internal_weights(t, 1, 5);  // a matrix exists: nothing
    EXPECT_EQ(fatal_of([&] { set_internal_weights(t, 1, 2); }),
              "set_internal_weights: column 2 outside the 2 columns");
    free_internal_weights(t, 1);
    init_internal_weights(t, 1, 1);  // a fresh matrix after release
    EXPECT_DOUBLE_EQ(internal_weight_value(0, 0), 4.0);
    free_internal_weights(t, 1);
    free_sequence_table(t);
    float x = 1, y = 2;
    EXPECT_EQ(score_compare(&x, &y), -1);
    EXPECT_EQ(score_compare(&y, &x), 1);
    EXPECT_EQ(score_compare(&x, &x), 0);
}

TEST_F(Weighting, WeightFileReadsBack) {
    SequenceTable *t = table_of({-3.5f, 2.25f}, 1.0);
    t->seqs[0]->weights[0] = 0.75;
    std::string prefix = scratch_dir() + "/run";
    print_weights(t, prefix.c_str(), 3, 2, nullptr, nullptr, nullptr, 4);
    std::string path = prefix + "3.weightoutput";
    EXPECT_EQ(read_text(path), "candidate model #2\n"
                               "% 2 sequences and  4 families\n"
                               "2\t1\n"
                               "% ID\tWeight\t\tNLL-null Score\n"
                               "s0\t0.750000\t-3.500000\n"
                               "s1\t1.000000\t2.250000\n");
    SeqWeights w{};
    ASSERT_EQ(read_weights(path.c_str(), &w), 1);
    ASSERT_EQ(w.num_seqs, 2);
    ASSERT_EQ(w.num_families, 1);
    EXPECT_EQ(std::string(w.ids[1]), "s1");
    EXPECT_DOUBLE_EQ(w.weights[0][0], 0.75);
    EXPECT_DOUBLE_EQ(w.weights[1][0], 1.0);
    free_weights(&w);
    free_sequence_table(t);
}

}  // namespace
