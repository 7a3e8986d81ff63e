// Alignment weighting: base weights of every method, the cap, the bits-saved adjustment (against
// weightalign_expected.py), the weight file and its reading back, and the messages.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/prior.h"
#include "sequences/sequence.h"
#include "testutil.h"
#include "models/weightalignment.h"

namespace {

class WeightAlign : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        reset_alphabets();
        init_alphabet_by_name("DNA", 0, "");
        dir = scratch_dir();
        run = dir + "/run";
    }
    void TearDown() override { reset_alphabets(); }
    std::string dir, run;
};

// A sequence aligned as an a2m row: capitals are match columns, '-' deletes, lower case inserts.
Sequence *aligned(const std::string &id, const std::string &row) {
    std::string residues;
    std::vector<int> code;
    auto add = [&](int base, int limit) {
        if (!code.empty() && code.back() > base && code.back() < base + limit) {
            code.back()++;
        } else {
            code.push_back(base + 1);
        }
    };
    for (char c : row) {
        if (c == '-') {
            add(ALIGN_DELETE_BASE, 54);
        } else if (std::islower((unsigned char)c)) {
            add(0, 99);
            residues += (char)std::toupper((unsigned char)c);
        } else {
            add(ALIGN_MATCH_BASE, 99);
            residues += c;
        }
    }
    Sequence *s = alloc_sequence((int)residues.size(), 1);
    s->id = str_dup(id.c_str());
    for (size_t i = 0; i < residues.size(); i++)
        s->tracks[0].res[i] = (unsigned char)letter_index(alphabet, residues[i]);
    s->converted = 1;
    s->align = static_cast<unsigned char *>(mem_alloc(code.size() + 1));
    for (size_t k = 0; k < code.size(); k++) s->align[k] = (unsigned char)code[k];
    return s;
}

SequenceTable *alignment(const std::vector<std::string> &rows) {
    SequenceTable *t = alloc_sequence_table();
    for (size_t i = 0; i < rows.size(); i++)
        add_seq_to_table(t, aligned("s" + std::to_string(i + 1), rows[i]));
    return t;
}

struct Outcome {
    int result;
    std::string err;
    std::vector<double> w;
};
Outcome weigh(SequenceTable *t, const std::string &run, PriorLib *prior, AWeightParams *aw) {
    Outcome r;
    testing::internal::CaptureStderr();
    FILE *info = std::tmpfile();
    r.result = weight_alignment(info, run.c_str(), t, prior, aw);
    r.err = testing::internal::GetCapturedStderr();
    std::fclose(info);
    for (int i = 0; i < t->count; i++)
        r.w.push_back(t->seqs[i]->weights ? t->seqs[i]->weights[0] : -1.0);
    return r;
}

TEST_F(WeightAlign, IdenticalPairAndOddOne) {
    SequenceTable *t = alignment({"ACGT", "ACGT", "GTAC"});
    AWeightParams aw = {AWEIGHT_HENIKOFF, -1, 1.0};
    Outcome r = weigh(t, run, nullptr, &aw);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_DOUBLE_EQ(r.w[0], 0.75);
    EXPECT_DOUBLE_EQ(r.w[1], 0.75);
    EXPECT_DOUBLE_EQ(r.w[2], 1.5);
    EXPECT_EQ(read_text(run + ".weightoutput"),
              "Weights from alignment method 2 (henikoff), b=-1.000000, e=1.000000\n"
              "% Method: henikoff (2)  Bits to save: -1.000000 Exponent 1.000000\n"
              "% 3 sequences with 4 columns\n"
              "% total weight limited to 3.000000\n"
              "% total_weight: 3.000000 \n"
              "3\t1\n"
              "% ID\tWeight\n"
              "s1\t0.750000\ns2\t0.750000\ns3\t1.500000\n");
    // The weight file reads back to the same weights.
    SeqWeights sw;
    ASSERT_EQ(read_weights((run + ".weightoutput").c_str(), &sw), 1);
    EXPECT_EQ(sw.num_seqs, 3);
    EXPECT_EQ(sw.num_families, 1);
    EXPECT_STREQ(sw.ids[2], "s3");
    EXPECT_EQ(sw.weights[2][0], 1.5);
    free_weights(&sw);
    // The summary.
    std::string info = output_of([&](FILE *fp) {
        testing::internal::CaptureStderr();
        weight_alignment(fp, run.c_str(), t, nullptr, &aw);
        testing::internal::GetCapturedStderr();
    });
    EXPECT_EQ(info, "%  Alignment weights from internal calc.  Total (3.00) Max (1.50) Min (0.75)\n"
                    "%  Weights from alignment method 2 (henikoff), b=-1.000000, e=1.000000\n");
    free_sequence_table(t);
}

TEST_F(WeightAlign, FlatWeights) {
    std::vector<std::string> rows(16, "ACGT");
    SequenceTable *t = alignment(rows);
    AWeightParams aw = {AWEIGHT_FLAT, -1, 0.5};
    Outcome r = weigh(t, run, nullptr, &aw);
    for (double w : r.w) EXPECT_DOUBLE_EQ(w, 0.25);
    std::vector<std::string> one = {"A"};
    SequenceTable *t1 = alignment(one);
    weigh(t1, run, nullptr, &aw);
    EXPECT_NE(read_text(run + ".weightoutput").find("% 1 sequence with 1 column\n"),
              std::string::npos);
    free_sequence_table(t);
    free_sequence_table(t1);
}

TEST_F(WeightAlign, AgainstIndependentComputation) {
    FILE *rep = std::tmpfile();
    PriorLib *prior = read_PriorLib(test_data("prior_small.lib").c_str(), "/x", rep, 4, 0);
    std::fclose(rep);
    ASSERT_NE(prior, nullptr);
    std::ifstream f(test_data("weightalign_expected.txt"));
    std::string line;
    int cases = 0;
    while (std::getline(f, line)) {
        std::istringstream ss(line);
        AWeightParams aw;
        std::string arrow;
        ss >> aw.aweight_method >> aw.aweight_exponent >> aw.aweight_bits >> arrow;
        std::vector<double> want;
        double v;
        while (ss >> v) want.push_back(v);
        // Inserts do not change the columns.
        SequenceTable *t = alignment({"ACGTA", "ACGTT", "AGggGCA", "T-GCAtt", "-----", "aACGTA"});
        double bits = aw.aweight_bits;
        Outcome r = weigh(t, run, prior, &aw);
        ASSERT_EQ(r.w.size(), want.size());
        for (size_t k = 0; k < want.size(); k++)
            EXPECT_NEAR(r.w[k], want[k], 2e-5 * std::max(1.0, want[k])) << line << " row " << k;
        EXPECT_EQ(aw.aweight_bits, bits);  // a prior is given: the target stays
        if (bits > 2) {
            EXPECT_EQ(r.err, "Can't possibly save 1.732868 nats/column, as background entropy "
                             "only 1.374244 nats/column.\nScaling initial weights to total "
                             "6.000000\n");
        } else {
            EXPECT_EQ(r.err, "");
        }
        free_sequence_table(t);
        cases++;
    }
    EXPECT_EQ(cases, 10);
    free_PriorLib(&prior);
}

TEST_F(WeightAlign, ExtremeExponentsGiveFiniteWeights) {
    FILE *rep = std::tmpfile();
    PriorLib *prior = read_PriorLib(test_data("prior_small.lib").c_str(), "/x", rep, 4, 0);
    std::fclose(rep);
    struct Case {
        int method;
        double exponent, bits, total;  // total < 0: only finiteness is checked
    };
    const Case cases[] = {{AWEIGHT_HENIKOFF, 1000, -1, 4},
                          {AWEIGHT_FLAT, 1e6, -1, 4},
                          {AWEIGHT_HENIKOFF, -1000, -1, -1},
                          {AWEIGHT_BRENNEL, 900, 0.3, -1},
                          {AWEIGHT_BRENNEL, -900, 0.3, -1}};
    for (const Case &c : cases) {
        SequenceTable *t = alignment({"AGCT", "AGCA", "-GGT", "CC-T"});
        AWeightParams aw = {c.method, c.bits, c.exponent};
        Outcome r = weigh(t, run, prior, &aw);
        double sum = 0;
        for (double w : r.w) {
            EXPECT_TRUE(std::isfinite(w)) << c.method << " " << c.exponent;
            sum += w;
        }
        if (c.total >= 0) {
            EXPECT_NEAR(sum, c.total, 1e-12) << c.method << " " << c.exponent;
        }
        EXPECT_EQ(read_text(run + ".weightoutput").find("nan"), std::string::npos);
        free_sequence_table(t);
    }
    free_PriorLib(&prior);
}

TEST_F(WeightAlign, MethodsAndMessages) {
    SequenceTable *t = alignment({"ACGT", "ACGA"});
    AWeightParams aw = {7, -1, 1};
    Outcome r = weigh(t, run, nullptr, &aw);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(aw.aweight_method, 0);
    EXPECT_EQ(r.err, "Invalid setting of alignment weight method (7) ignored\n"
                     "Valid settings are 0 (none), 1 (brennel), 2 (henikoff) and 3 (flat).\n");
    EXPECT_EQ(r.w[0], -1.0);  // untouched
    aw = {AWEIGHT_NONE, 1, 1};
    EXPECT_EQ(weigh(t, run, nullptr, &aw).result, 0);

    aw = {AWEIGHT_BRENNEL, 0.5, 0.5};
    r = weigh(t, run, nullptr, &aw);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(aw.aweight_bits, -1);
    EXPECT_EQ(r.err, "Turning off bits saved parameter (aweightbits = -1) -- no prior library "
                     "specified.\n");
    aw = {AWEIGHT_BRENNEL, 0, 0.5};
    r = weigh(t, run, nullptr, &aw);
    EXPECT_EQ(aw.aweight_bits, 0);  // 0 bits: no adjustment, nothing to turn off
    EXPECT_EQ(r.err, "");
    free_sequence_table(t);
}

TEST_F(WeightAlign, CodonAlphabetTurnsTheAdjustmentOff) {
    reset_alphabets();
    init_alphabet_by_name("CODON", 0, "");
    SequenceTable *t = alignment({"ACGT", "ACGA"});
    PriorLib *prior = genproteinprior();
    AWeightParams aw = {AWEIGHT_FLAT, 1, 1};
    Outcome r = weigh(t, run, prior, &aw);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(aw.aweight_bits, -1);
    EXPECT_EQ(r.err, "Alignment weighting changed to no bit adjustment (aweightbits = -1)\nfor "
                     "CODON alphabet.\n");
    free_PriorLib(&prior);
    free_sequence_table(t);
}

TEST_F(WeightAlign, FillFreqtabWildcards) {
    struct Case {
        const char *alphabet;
        std::vector<unsigned char> column;
        int skip;
        std::vector<float> counts;
        double total;
    };
    const Case cases[] = {
        {"DNA", {0, 4, 5, 6, 8}, 0, {1.75f, 0.75f, 0.75f, 0.75f}, 4.0},
        {"DNA", {0, 4, 5, 6, 8}, 1, {1, 0, 0, 0}, 1.0},
        {"protein", {20, 21, 22}, 0, {}, 3.0},
    };
    for (const Case &c : cases) {
        reset_alphabets();
        init_alphabet_by_name(c.alphabet, 0, "");
        int A = alphabet->emit_length;
        std::vector<unsigned char> cells = c.column;
        std::vector<unsigned char *> rows;
        for (unsigned char &cell : cells) rows.push_back(&cell);
        std::vector<float> counts((size_t)A);
        double total =
            fill_freqtab(counts.data(), 0, nullptr, rows.data(), (int)rows.size(), c.skip);
        EXPECT_DOUBLE_EQ(total, c.total);
        for (size_t a = 0; a < c.counts.size(); a++) EXPECT_EQ(counts[a], c.counts[a]) << a;
        if (A == 20) {
            EXPECT_FLOAT_EQ(counts[2], 0.55f);   // D: B half, X 0.05
            EXPECT_FLOAT_EQ(counts[11], 0.55f);  // N
            EXPECT_FLOAT_EQ(counts[13], 0.55f);  // Q
            EXPECT_FLOAT_EQ(counts[3], 0.55f);   // E
            EXPECT_FLOAT_EQ(counts[0], 0.05f);
        }
    }
    reset_alphabets();
    init_alphabet_by_name("DNA", 0, "");
    unsigned char bad = 7, *row = &bad;
    float counts[4];
    EXPECT_EQ(fatal_of([&] { fill_freqtab(counts, 0, nullptr, &row, 1, 0); }),
              "illegal wildcard in nucleic alphabet");
}

}  // namespace
