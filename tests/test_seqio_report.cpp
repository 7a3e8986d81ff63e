// Score reports: the writer's exact lines worked out by hand, its choices (column names, widths,
// sort key, selection), a report read back by the score-file reader, the selection comment lines,
// printing of selected sequences and the length adjustment.
#include "scorefiles/seqio_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <cstring>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

Sequence *scored(const char *id, const char *letters, float simple, float second) {
    int n = (int)strlen(letters);
    Sequence *s = alloc_sequence(n, 1);
    s->id = str_dup(id);
    for (int i = 0; i < n; i++)
        s->tracks[0].res[i] = (unsigned char)letter_index(alphabet, letters[i]);
    s->converted = 1;
    s->simple_score = simple;
    s->second_score = second;
    s->raw_score = 50;
    return s;
}

class ReportTest : public ::testing::Test {
protected:
    ScoreParams sp;
    SequenceTable *table = nullptr;
    void SetUp() override {
        initialize_variables();
        reset_alphabets();
        init_alphabets();
        init_alphabet_by_name("protein", 0, "");
        sp = Score;
        sp.subtract_null = 4;
        sp.dbsize = 0;
        sp.lambda = 1;
        sp.tau = 1;
        table = alloc_sequence_table();
        add_seq_to_table(table, scored("s1", "ACDEF", -3.5f, -1.25f));
        add_seq_to_table(table, scored("s2", "KLM", 2.0f, 0.5f));
        Sequence *t = scored("seq_three", "ACDEFGHIKLMN", -10.0f, -4.0f);
        t->annotation = str_dup("a protein");
        t->xcount = 2.7f;
        add_seq_to_table(table, t);
    }
    void TearDown() override { free_sequence_table(table); }
    std::string report() {
        return output_of([&](FILE *f) { SortAndPrintZscore(f, table, &sp); });
    }
};

TEST_F(ReportTest, ReportOfScoredSequences) {
    std::string expected =
        "%\n"
        "% Simple: NLL-NULL using FIM probabilities\n"
        "% Reverse: NLL-NULL for the reverse sequence NULL model\n"
        "%    Calculated when Simple < simple_threshold (10000.00)\n"
        "% E-value on N (=3) sequences:\n"
        "%    N / (1 + exp(-(lambda(=1.0000) * Reverse)^tau(=1.0000)))\n"
        "%    Calculated when Simple < simple_threshold (10000.00)\n"
        "%    Rescale E-values or use -dbsize for multiple scoring runs.\n"
        "% Scores sorted by E-value, best first\n"
        "%\n"
        "% Sequence ID   Length      Simple     Reverse     E-value      X count\n"
        "seq_three          12       -10.00       -4.00     5.40e-02        2 X\t:a protein" +
        std::string(41, ' ') +
        "\n"
        "s1                  5        -3.50       -1.25     6.68e-01\n"
        "s2                  3         2.00        0.50     1.87e+00\n";
    EXPECT_EQ(report(), expected);
    EXPECT_EQ(sp.dbsize, 3);
    EXPECT_EQ(sort_direction, 1);
}

TEST_F(ReportTest, WriterChoices) {
    // Columns from elsewhere keep their values and are named Column1 and Column2; sort 4 without
    // E-values sorts by column 1 and becomes 1 (-1 from -4).
    for (int i = 0; i < table->count; i++) {
        table->seqs[i]->report1 = (float)(i + 1);
        table->seqs[i]->report2 = (float)(10 - i);
        table->seqs[i]->xcount = 0;
    }
    sp.sort = -4;
    std::string r = report();
    EXPECT_NE(r.find("% Column1: the first column of scores\n% Column2: the second column of "
                     "scores\n"),
              std::string::npos);
    EXPECT_NE(r.find("% Scores sorted by Column1, worst first\n"), std::string::npos);
    EXPECT_EQ(r.find("E-value"), std::string::npos);
    EXPECT_EQ(sp.sort, -1);
    EXPECT_STREQ(table->seqs[0]->id, "seq_three");
    EXPECT_EQ(table->seqs[0]->report1, 3.0f);

    // sort 3 names no key and sorts by column 2 (ascending: 8, 9, 10).
    sp.sort = 3;
    r = report();
    EXPECT_NE(r.find("% Scores sorted by Error in setting of sort, best first\n"),
              std::string::npos);
    EXPECT_STREQ(table->seqs[0]->id, "seq_three");
    EXPECT_STREQ(table->seqs[2]->id, "s1");

    // select_score -8: header lines, no row; 0: nothing at all.
    sp.select_score = -8;
    r = report();
    EXPECT_EQ(r.substr(r.size() - 14), "      X count\n");
    sp.select_score = 0;
    EXPECT_EQ(report(), "");
}

TEST_F(ReportTest, IdColumnWidth) {
    struct Case {
        size_t id_length;
        int width;
    } cases[] = {{12, 14}, {13, 15}, {30, 32}, {42, 44}, {43, 40}};
    for (const Case &c : cases) {
        for (int i = 0; i < table->count; i++)
            if (table->seqs[i]->len == 5) {
                free(table->seqs[i]->id);
                table->seqs[i]->id = str_dup(std::string(c.id_length, 'q').c_str());
            }
        for (int i = 0; i < table->count; i++)
            table->seqs[i]->report1 = table->seqs[i]->report2 = SCORE_UNSET;
        std::string r = report();
        std::string column_line = "% Sequence ID" + std::string(c.width - 13, ' ') + "  Length";
        EXPECT_NE(r.find(column_line), std::string::npos) << c.id_length;
        std::string row = "\nseq_three" + std::string(c.width - 9, ' ') + "     12";
        EXPECT_NE(r.find(row), std::string::npos) << c.id_length;
    }
}

TEST_F(ReportTest, ReportReadsBackThroughTheScoreFileReader) {
    // A sequence whose score saturated has no score; its row shows the unset value, negated or
    // not, and reads back unset (E-value N = 4, last by E-value).
    add_seq_to_table(table, scored("none", "AC", SCORE_UNSET, SCORE_UNSET));
    const std::string unset_row =
        "\nnone" + std::string(10, ' ') + "      2   1000000.00  1000000.00     4.00e+00\n";
    std::string path = scratch_dir() + "/run.dist";
    FILE *f = fopen(path.c_str(), "w");
    SortAndPrintZscore(f, table, &sp);
    fclose(f);
    testing::internal::CaptureStderr();
    SequenceTable *back = read_score_file(path.c_str());
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(back->count, 4);
    for (int i = 0; i < 4; i++) {
        const Sequence *w = table->seqs[i];
        const Sequence *r = back->seqs[i];
        EXPECT_STREQ(r->id, w->id);
        EXPECT_EQ(r->len, w->len);
        EXPECT_NEAR(r->report1, w->report1, 0.005);
        EXPECT_NEAR(r->report2, w->report2, 0.005);
        EXPECT_NEAR(r->evalue, w->evalue, 0.006 * w->evalue);
        EXPECT_EQ(r->xcount, std::trunc(w->xcount));
    }
    free_sequence_table(back);
    for (int negate : {0, 1}) {
        sp.negate = negate;
        EXPECT_NE(report().find(unset_row), std::string::npos) << negate;
    }
}

TEST_F(ReportTest, PrintSelectedSequences) {
    sp.select_seq = 1;
    sp.NLLnull = -3;
    std::string out = output_of([&](FILE *f) { print_selected_seq(f, table, &sp); });
    EXPECT_EQ(out, ">s1\nACDEF\n>seq_three a protein\nACDEFGHIKLMN\n");
    for (int i = 0; i < table->count; i++) {
        EXPECT_EQ(table->seqs[i]->report1, SCORE_UNSET);
        EXPECT_EQ(table->seqs[i]->report2, SCORE_UNSET);
    }
    sp.select_seq = -1;
    out = output_of([&](FILE *f) { print_selected_seq(f, table, &sp); });
    EXPECT_EQ(out, ">s2\nKLM\n");
}

TEST(SelectionLines, Messages) {
    initialize_variables();
    struct Case {
        bool md;
        int value, force;
        const char *s1;
        std::string expected;
    } cases[] = {
        {false, -5, 0, "a",
         "% Report a if worse than:\n%\t Simple (NLLnull -10.000) E-value (Emax 1.0e-02) "
         "(opt=-5)\n"},
        {false, 8, 0, "a", "% Report a:  All  (opt=8)\n"},
        {false, 8, 0, nullptr, "% Report:  All  (opt=8)\n"},
        {false, 0, 1, nullptr, "% Report: \n%\t NONE (opt=0)\n"},
        {false, 0, 0, nullptr, ""},
        {false, 10, 0, nullptr,
         "% Report if better than:\n%\t Reverse/Complex (NLLcomplex -10.000) All (opt=10)\n"},
        {true, 8, 0, "a", "% Report a:  All  (opt=8)\n"},
        {true, 0, 1, "a", ""},
        {true, 3, 0, "a",
         "% Report a if better than:\n%\t Simple (mdNLLnull -10.000) Reverse/Complex "
         "(mdNLLcomplex -10.000) (opt=3)\n"},
    };
    for (const Case &c : cases) {
        std::string out = output_of([&](FILE *f) {
            if (c.md)
                mdsel_message(f, "opt", "Report", c.s1, nullptr, c.value, &Score);
            else
                sel_message(f, "opt", "Report", c.s1, nullptr, c.value, c.force, &Score);
        });
        EXPECT_EQ(out, c.expected) << c.value;
    }
}

TEST(LengthAdjustment, Kinds) {
    struct Case {
        int kind, seqlen, modlen;
        double value;
    } cases[] = {{1, 0, 0, 0},  {1, 100, 20, std::log(120.0)},
                 {1, -5, 3, 0}, {2, 100, 7, std::log(100.0)},
                 {2, 0, 7, 0},  {3, 100, 7, 0},
                 {0, 100, 7, 0}};
    for (const Case &c : cases)
        EXPECT_FLOAT_EQ(score_adjustment(c.kind, c.seqlen, c.modlen), (float)c.value) << c.kind;
}

}  // namespace
