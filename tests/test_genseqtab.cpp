// Generated sequence tables with a fixed seed: lengths and compositions within the bounds worked
// out in tests/data/train/genseq_bounds.py, IDs, defaults, built-in mixtures and refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "models/genseqtab.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

class GenSeq : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        reset_alphabets();
        init_alphabets();
        unsetenv("PRIOR_PATH");
    }
    void TearDown() override { reset_alphabets(); }
    void use(const char *name) { init_alphabet_by_name(name, 0, ""); }
};

TEST_F(GenSeq, DefaultDnaLengthsAndComposition) {
    use("DNA");
    srandom(42);
    SequenceTable *t = nullptr;
    testing::internal::CaptureStderr();
    t = generate_seqtable(2000, "", "", "", "", 3.0, 0.5);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Initializing generator 0 for DNA\n"
                   "Generating sequences from default DNA distribution\n");
    ASSERT_EQ(t->count, 2000);
    int short_ones = 0;
    long total = 0;
    std::vector<long> letters(4, 0);
    for (int i = 0; i < t->count; i++) {
        Sequence *s = t->seqs[i];
        EXPECT_EQ(std::string(s->id), "GenSeq" + std::to_string(i));
        EXPECT_EQ(s->converted, 1);
        if (s->len <= 20) short_ones++;
        for (int r = 0; r < s->len; r++) {
            ASSERT_LT(s->tracks[0].res[r], 4);
            letters[s->tracks[0].res[r]]++;
        }
        total += s->len;
    }
    EXPECT_NEAR(short_ones / 2000.0, 0.5355, 0.0446);
    for (long c : letters) EXPECT_NEAR((double)c / (double)total, 0.25, 0.0103);
    free_sequence_table(t);
}

TEST_F(GenSeq, BuiltInProteinMixtureGivesVaryingCompositions) {
    use("protein");
    srandom(7);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SequenceTable *t = generate_seqtable(2, nullptr, "", "", "", 6.0, 0.0);
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(err, "Initializing generator 0 for protein\n");
    EXPECT_FALSE(out.empty());
    ASSERT_EQ(t->count, 2);
    std::vector<int> a(20, 0), b(20, 0);
    for (int k = 0; k < 2; k++) {
        Sequence *s = t->seqs[k];
        EXPECT_EQ(s->len, 403);  // (int) e^6
        for (int r = 0; r < s->len; r++) {
            ASSERT_LT(s->tracks[0].res[r], 20);
            (k ? b : a)[s->tracks[0].res[r]]++;
        }
    }
    EXPECT_NE(a, b);
    free_sequence_table(t);
}

TEST_F(GenSeq, LengthsAtTheBoundaries) {
    use("DNA");
    testing::internal::CaptureStderr();
    SequenceTable *t = generate_seqtable(3, "", "", "", "", 0.0, 0.0);
    testing::internal::GetCapturedStderr();
    for (int i = 0; i < 3; i++) EXPECT_EQ(t->seqs[i]->len, 1);
    free_sequence_table(t);
    testing::internal::CaptureStderr();
    EXPECT_EQ(generate_seqlen(1000.0, 0.0), GENSEQ_MAX_LENGTH);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cut to"), std::string::npos);
    EXPECT_EQ(generate_seqlen(-1000.0, 0.0), 0);
}

TEST_F(GenSeq, Refusals) {
    use("DNA");
    std::string msg;
    testing::internal::CaptureStderr();
    msg = fatal_of([] { generate_seqtable(1, "a,b", "", "", "", 1, 0); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(msg, "trackprior priors (2) must correspond to alphabets (1)\n");
    for (int k = 0; k < 4; k++) alphabets[0]->match_reg[k] = 0;
    testing::internal::CaptureStderr();
    msg = fatal_of([] { generate_seqtable(1, "", "", "", "", 1, 0); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(msg, "Default DNA distribution sums to 0; no sequences can be drawn from it");
}

TEST_F(GenSeq, DrawsFromRunningSums) {
    use("DNA");
    Sequence *s = alloc_sequence(2000, 1);
    srandom(3);
    const double near_one[4] = {0.25, 0.5, 0.75, 1.0 - 1e-7};
    generate_seqdata(s, 4, 0, near_one);
    std::vector<int> n(4, 0);
    for (int r = 0; r < 2000; r++) n[s->tracks[0].res[r]]++;
    for (int c : n) EXPECT_NEAR(c / 2000.0, 0.25, 0.05);
    const double one_letter[4] = {0, 0, 1, 1};
    generate_seqdata(s, 4, 0, one_letter);
    for (int r = 0; r < 2000; r++) ASSERT_EQ(s->tracks[0].res[r], 2);
    const double short_sums[4] = {0.1, 0.2, 0.3, 0.5};
    std::string msg = fatal_of([&] { generate_seqdata(s, 4, 0, short_sums); });
    EXPECT_EQ(msg.rfind("Assertion failed: x <= cum_probs[ahi]", 0), 0u) << msg;
    free_sequence(s);
}

}  // namespace
