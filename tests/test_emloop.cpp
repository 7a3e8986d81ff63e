// The scoring drivers against scores worked out independently (tests/data/emloop_make.py: a
// log-space forward, the null score, each null-model kind and its E-value), the expectation step
// over candidates with family weights, the prefilter, the null-model checks and the run lines.
#include "engine/emloop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "foundation/alphabet.h"
#include "emloop_fixture.h"
#include "engine/forward2.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "scorefiles/seqio_report.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "engine/stat.h"
#include "testutil.h"

namespace {

struct Expected {
    double raw, null, simple, reverse, scaled, user, e_reverse, e_scaled, e_user;
};

std::map<std::string, Expected> load_expected() {
    std::map<std::string, Expected> out;
    std::ifstream in(test_data("emloop_expected.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream is(line);
        std::string id;
        Expected e;
        is >> id >> e.raw >> e.null >> e.simple >> e.reverse >> e.scaled >> e.user >> e.e_reverse >>
            e.e_scaled >> e.e_user;
        out[id] = e;
    }
    return out;
}

// Integer log-sums round each step; a few thousandths of a nat over these small problems.
constexpr double SCORE_TOL = 0.02;

class EmloopTest : public ::testing::Test {
protected:
    EmloopData data;
    SequenceTable *table = nullptr;
    Model *main_model = nullptr;
    ScoreParams sp;

    void SetUp() override {
        initialize_variables();
        reset_alphabets();
        init_alphabets();
        init_alphabet_by_name("DNA", 0, "");
        maxmem = 20000000;
        maxposdecodemem = 100000000;
        data = load_emloop_data(test_data("emloop_models.txt"));
        main_model = data.models["main"];
        table = alloc_sequence_table();
        for (auto &s : data.seqs) add_seq_to_table(table, make_index_sequence(s.first, s.second));
        sp = Score;
        sp.adjust_score = 2;
        sp.dbsize = table->count;
        sp.lambda = 1;
        sp.tau = 1;
        sp.select_align = 0;
        sp.model_length = main_model->length;
    }
    void TearDown() override {
        free_forward2();
        free_sequence_table(table);
        for (auto &m : data.models) free_model(m.second);
    }
    float score_all(int kind) {
        sp.subtract_null = kind;
        if (kind == NULL_USER) sp.users_null_model = data.models["null"];
        return score_EM_loop(table, &main_model, nullptr, 1, &sp, nullptr, 1.0, 1.0, DP_EM, 2,
                             SW_GLOBAL);
    }
};

TEST_F(EmloopTest, EveryNullModelKindMatchesTheIndependentScores) {
    auto expected = load_expected();
    struct Case {
        int kind;
        double Expected::*second;
        double Expected::*evalue;  // null: no E-value is set
    };
    const Case cases[] = {
        {NULL_SIMPLE, nullptr, nullptr},
        {NULL_USER, &Expected::user, nullptr},
        {NULL_REVERSE, &Expected::reverse, &Expected::e_reverse},
        {NULL_SCALED, &Expected::scaled, &Expected::e_scaled},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        for (int i = 0; i < table->count; i++) {
            Sequence *s = table->seqs[i];
            s->raw_score = s->simple_score = s->second_score = SCORE_UNSET;
            s->evalue = SCORE_UNSET;
        }
        float mean = score_all(c.kind);
        double sum = 0;
        for (int i = 0; i < table->count; i++) {
            const Sequence *s = table->seqs[i];
            const Expected &e = expected.at(s->id);
            SCOPED_TRACE(s->id);
            EXPECT_NEAR(s->raw_score, e.raw, SCORE_TOL);
            EXPECT_NEAR(s->simple_score, e.simple, SCORE_TOL);
            EXPECT_NEAR(null_mod_score(&main_model, nullptr, 1, s, 2, e.raw), e.simple, 1e-4);
            sum += e.simple;
            if (c.second)
                EXPECT_NEAR(s->second_score, e.*(c.second), SCORE_TOL);
            else
                EXPECT_EQ(s->second_score, SCORE_UNSET);
            if (c.evalue)
                EXPECT_NEAR(s->evalue, e.*(c.evalue), 0.02 * e.*(c.evalue));
            else
                EXPECT_EQ(s->evalue, SCORE_UNSET);
        }
        EXPECT_NEAR(mean, sum / table->count, SCORE_TOL);
    }
}

TEST_F(EmloopTest, UserNullIsScoredWithTheScoringStyleWhenAlignmentsArePosteriorDecoded) {
    // Scoring style 0 with posterior-decoded alignments: the raw score and the user null score
    // are both forward scores.
    sp.select_align = SELECT_ALL;
    sp.adpstyle = DP_POSDECODE_ALIGN;
    score_all(NULL_USER);
    auto expected = load_expected();
    for (int i = 0; i < table->count; i++) {
        const Sequence *s = table->seqs[i];
        SCOPED_TRACE(s->id);
        EXPECT_NEAR(s->raw_score, expected.at(s->id).raw, SCORE_TOL);
        EXPECT_NEAR(s->second_score, expected.at(s->id).user, SCORE_TOL);
    }
}

TEST_F(EmloopTest, ScoresAlreadySetAreKeptAndUnsetRawGivesUnsetSimple) {
    Sequence *s = table->seqs[0];
    s->raw_score = 5.0f;
    table->seqs[1]->second_score = -3.0f;
    score_all(NULL_REVERSE);
    EXPECT_EQ(s->raw_score, 5.0f);
    EXPECT_NEAR(s->simple_score, 5.0 - load_expected().at("s1").null + std::log(5.0), 1e-4);
    EXPECT_EQ(table->seqs[1]->second_score, -3.0f);
    EXPECT_EQ(null_mod_score(&main_model, nullptr, 1, s, 2, SCORE_UNSET), SCORE_UNSET);
    EXPECT_EQ(
        fatal_of([&] { score_EM_loop(table, nullptr, nullptr, 1, &sp, nullptr, 1, 1, 0, 2, 0); }),
        "Score_EM_loop called without model");
}

TEST_F(EmloopTest, PrefilterStopsSequencesAboveTheThreshold) {
    // The default threshold (unset) runs no prefilter.
    score_all(NULL_SIMPLE);
    for (int i = 0; i < table->count; i++) EXPECT_EQ(table->seqs[i]->prefilter_simple, SCORE_UNSET);
    // A threshold below every score stops every sequence: the mean is that of the prefilter
    // scores, and no raw score is computed.
    for (int i = 0; i < table->count; i++) table->seqs[i]->raw_score = SCORE_UNSET;
    sp.viterbi_threshold = -1000;
    float mean = score_all(NULL_SIMPLE);
    double sum = 0;
    auto expected = load_expected();
    for (int i = 0; i < table->count; i++) {
        const Sequence *s = table->seqs[i];
        EXPECT_EQ(s->raw_score, SCORE_UNSET);
        // The best path costs at least the sum over all paths.
        EXPECT_GE(s->prefilter_raw, expected.at(s->id).raw - SCORE_TOL);
        EXPECT_NEAR(s->prefilter_simple,
                    s->prefilter_raw - expected.at(s->id).null + std::log((double)s->len), 1e-4);
        sum += s->prefilter_simple;
    }
    EXPECT_NEAR(mean, sum / table->count, 1e-3);
}

TEST_F(EmloopTest, ExpectationStepCountsOneCandidateWithFamilyWeights) {
    // Reference: every sequence but s2 counted once into one candidate.
    SequenceTable *without = alloc_sequence_table();
    for (int i = 0; i < table->count; i++)
        if (std::string(table->seqs[i]->id) != "s2") add_seq_to_table(without, table->seqs[i]);
    Model *ref = alloc_model(main_model->length);
    float *ref_sums = nullptr;
    int used = -1;
    float total = EM_loop(without, &main_model, nullptr, 1, &ref, 1, 1.0, 1.0, 1.0, -1, &ref_sums,
                          DP_EM, 2, SW_GLOBAL, nullptr, 2, 0, nullptr, nullptr, &used);
    EXPECT_EQ(used, 3);
    auto expected = load_expected();
    EXPECT_NEAR(total, expected.at("s1").raw + expected.at("pal").raw + expected.at("long").raw,
                3 * SCORE_TOL);
    EXPECT_NEAR(ref_sums[0], total, 1e-3);

    // Candidate 2 with weight 0 for s2 and 1 for the rest; candidates 0 and 1 stay untouched.
    for (int i = 0; i < table->count; i++) {
        Sequence *s = table->seqs[i];
        s->weights = static_cast<double *>(mem_alloc(3 * sizeof(double)));
        s->weights[0] = s->weights[1] = 9;
        s->weights[2] = std::string(s->id) == "s2" ? 0 : 1;
    }
    Model *cand[3];
    for (Model *&m : cand) {
        m = alloc_model(main_model->length);
        init_model(m, 7);
    }
    float *sums = nullptr;
    Stat st;
    StatInit(&st);
    float mean = EM_loop(table, &main_model, nullptr, 1, cand, 3, 1.0, 1.0, 1.0, 2, &sums, DP_EM, 2,
                         SW_GLOBAL, &st, 2, 0, nullptr, nullptr, nullptr);
    EXPECT_NEAR(mean, total / 3, 1e-3);
    EXPECT_EQ(StatN(&st), 3);
    EXPECT_NEAR(sums[2], total, 1e-3);
    for (int k = 0; k <= main_model->length + 1; k++)
        for (int v = 0; v < ref->nodes[k]->nparams; v++) {
            EXPECT_FLOAT_EQ(cand[2]->nodes[k]->params[v], ref->nodes[k]->params[v]);
            EXPECT_EQ(cand[0]->nodes[k]->params[v], 7);
        }
    // Expected counts of one pass: every residue is emitted once.
    double emitted = 0;
    for (int k = 0; k <= ref->length + 1; k++)
        for (int x = 0; x < alphabet->emit_length; x++)
            emitted += ref->nodes[k]->match[x] + ref->nodes[k]->insert[x];
    EXPECT_NEAR(emitted, 5 + 4 + 12, 0.05);
    free(ref_sums);
    free(sums);
    free_model(ref);
    for (Model *m : cand) free_model(m);
    reset_sequence_table(without);
    free_sequence_table(without);
}

TEST_F(EmloopTest, AlignmentDriversWriteCodesAndScores) {
    setup_alignment(&main_model, nullptr, 1, 12, SW_GLOBAL, 3, 1.0, 1.0, 2);
    EXPECT_EQ(align_settings.align_dpstyle, DP_VITERBI);  // 3 is no alignment style
    sp.subtract_null = NULL_REVERSE;
    Sequence *s = table->seqs[3];
    float simple = align_one_sequence(s, &sp);
    ASSERT_NE(s->align, nullptr);
    EXPECT_EQ(simple, s->simple_score);
    EXPECT_GE(s->raw_score, load_expected().at("long").raw - SCORE_TOL);
    EXPECT_NE(s->second_score, SCORE_UNSET);
    EXPECT_EQ(align_one_sequence(nullptr, &sp), 0);
    EXPECT_EQ(align_one_sequence(table->seqs[0], nullptr), 0);
    EXPECT_EQ(table->seqs[0]->raw_score, SCORE_UNSET);  // not stored without Score

    float mean = align_sequences(&main_model, nullptr, 1, table, &sp, SW_GLOBAL, 1, 1, 1, 2, 0, 0);
    double sum = 0;
    for (int i = 0; i < table->count; i++) {
        ASSERT_NE(table->seqs[i]->align, nullptr);
        sum += table->seqs[i]->simple_score;
    }
    EXPECT_NEAR(mean, sum / table->count, 1e-4);
    SequenceTable *empty = alloc_sequence_table();
    testing::internal::CaptureStderr();
    EXPECT_EQ(align_sequences(&main_model, nullptr, 1, empty, &sp, 0, 1, 1, 1, 2, 0, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  Call to align_sequences with 0 sequences.\n");
    free_sequence_table(empty);
}

TEST_F(EmloopTest, SetupNullmodChecksTheKind) {
    const std::string user_warning =
        "Warning:  User null selected (subtract_null = 3), but\n no          null model "
        "(NULLMODEL-type model or -nullmodel_file) found.\n          Using simple null model.\n";
    struct Case {
        int kind, permission;
        bool have_null;
        int result;
        std::string messages;
    } cases[] = {
        {2, 1, false, 4,
         "Complex null model (subtract_null = 2) no longer supported.\nUse reverse sequence or "
         "users null model for better results.\nReseting subtract_null to 4 (reverse null "
         "model).\n"},
        {7, 1, false, 1, "Bad value for subtract_null (7), using SIMPLE (1)\n"},
        {-1, 1, false, 1, "Bad value for subtract_null (-1), using SIMPLE (1)\n"},
        {3, 1, false, 1, user_warning},
        {3, 1, true, 3, ""},
        {4, 0, false, 1, ""},
        {5, 1, false, 5, ""},
        {1, 0, false, 1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        ScoreParams p = Score;
        p.model_length = -1;
        p.subtract_null = c.kind;
        p.users_null_model = c.have_null ? data.models["null"] : nullptr;
        testing::internal::CaptureStderr();
        setup_nullmod(nullptr, 0, 0, main_model, nullptr, nullptr, &p, c.permission);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
        EXPECT_EQ(p.subtract_null, c.result);
        EXPECT_EQ(p.model_length, 3);
    }
}

TEST_F(EmloopTest, ScoreInfoLines) {
    SeqInfo one{};
    one.count = 1;
    one.sum = 1;
    SeqInfo many{};
    many.count = 20;
    many.sum = 1000;
    SeqInfo none{};
    struct Case {
        const SeqInfo *info;
        int kind, dpstyle, adpstyle;
        double elapsed, cpu;
        std::string file, info_line;
    } cases[] = {
        {&one, 1, 1, 1, 1.5, -1,
         "% Score DP Method: viterbi single-path (dpstyle = 1)\n"
         "% Align DP Method: viterbi (adpstyle = 1)\n"
         "% 1 sequence, 1 residue, 3 nodes, 1.50 seconds\n"
         "% Use reverse-sequence null model scoring to generate E-values.\n"
         "% Approx 0.01 significance at <= ln(0.01)-ln(1)= -4.6 -  0.0 = -4.6 \n",
         "Database has 1 sequence with 1 residues.\n"},
        {&many, 4, 0, 4, -1, 2.5,
         "% Score DP Method: forward all-paths (dpstyle = 0)\n"
         "% Align DP Method:  posterior decoded alignment (trans/emission) (adpstyle = 4)\n"
         "% 20 sequences, 1000 residues, 3 nodes\n"
         "% Time on the Vireon parallel processor: 2.5s\n",
         "Database has 20 sequences with 1000 residues.\n"},
        {&many, 0, 2, 5, -1, -1,
         "% Score DP Method: posterior decoding  (dpstyle = 2)\n"
         "% Align DP Method: posterior decoded alignment (emission only) (adpstyle = 5)\n"
         "% 20 sequences, 1000 residues, 3 nodes\n"
         "% Use reverse-sequence null model scoring to generate E-values.\n"
         "% Approx 0.01 significance at <= ln(0.01)-ln(1000)= -4.6 -  6.9 = -11.5\n",
         "Database has 20 sequences with 1000 residues.\n"},
        {&none, 1, 4, 1, -1, -1,
         "% Score DP Method:  posterior decoded alignment (trans/emission) (dpstyle = 4)\n"
         "% Align DP Method: viterbi (adpstyle = 1)\n"
         "% 0 sequences, 0 residues, 3 nodes\n"
         "% Use reverse-sequence null model scoring to generate E-values.\n"
         "% No residues scored: no significance level.\n",
         "Database has 0 sequences with 0 residues.\n"},
    };
    for (const Case &c : cases) {
        ScoreParams p = sp;
        p.subtract_null = c.kind;
        p.dbsize = 0;
        std::string info;
        std::string file = output_of([&](FILE *f) {
            info = output_of([&](FILE *g) {
                print_score_info(g, f, c.info, &p, c.dpstyle, c.adpstyle, c.elapsed, c.cpu);
            });
        });
        EXPECT_EQ(file, c.file);
        EXPECT_EQ(info, c.info_line);
        EXPECT_EQ(p.dbsize, c.kind == 4 ? c.info->count : 0);
    }
    // The threshold warning, also without any stream.
    ScoreParams p = sp;
    p.subtract_null = 1;
    p.simple_threshold = -20;
    p.NLLnull = -10;
    testing::internal::CaptureStderr();
    print_score_info(nullptr, nullptr, nullptr, &p, 0, 1, -1, -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  simple_threshold (-20.00) < NLLnull (-10.00)\n"
              "  The threshold sets when a complex null model is calculated\n"
              "  based on the simple null model.  The NLLnull parameter\n"
              "  is used for selecting based on the simple null model\n");
}

}  // namespace
