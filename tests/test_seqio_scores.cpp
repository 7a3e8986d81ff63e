// Score files: line rules, reading, columns and E-values, sorting, selection and the merge.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/seqio.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

struct ScoresTest : LibraryTest {};

// The ID and annotation point into the line, which is kept until the next call.
ScoreLine parse(const std::string &text, bool *entry = nullptr) {
    static std::string line;
    line = text;
    ScoreLine out;
    std::memset(&out, 0, sizeof out);
    bool e = parse_score_line(line.data(), line.size(), &out);
    if (entry) *entry = e;
    return out;
}

std::string id_of(const ScoreLine &l) {
    return std::string(l.id, l.id_len);
}
std::string annot_of(const ScoreLine &l) {
    return l.annotation ? std::string(l.annotation, l.annotation_len) : "<null>";
}

Sequence *entry(const char *id, float c1, float c2, double e = SCORE_UNSET) {
    Sequence *s = alloc_sequence(0, 1);
    s->id = str_dup(id);
    s->report1 = c1;
    s->report2 = c2;
    s->evalue = e;
    return s;
}

std::string ids(const SequenceTable *t) {
    std::string r;
    for (int i = 0; i < t->count; i++)
        r += std::string(i ? " " : "") + (t->seqs[i] ? t->seqs[i]->id : "<null>");
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Line rules
// ---------------------------------------------------------------------------------------------

TEST_F(ScoresTest, PlainLineHasNoEvalueCountOrAnnotation) {
    ScoreLine l = parse("seqA  120  -12.50  -8.25\n");
    EXPECT_EQ(id_of(l), "seqA");
    EXPECT_EQ(l.length, 120);
    EXPECT_EQ(l.report1, -12.5f);
    EXPECT_EQ(l.report2, -8.25f);
    EXPECT_EQ(l.evalue, 1000000.0);
    EXPECT_EQ(l.xcount, 0.0f);
    EXPECT_EQ(l.annotation, nullptr);
}

TEST_F(ScoresTest, FullLineWithEvalueCountAndDescription) {
    ScoreLine l = parse("seqB  98  -3.10  -2.00  4.50e-02  7 X\t:a description with an X inside\n");
    EXPECT_EQ(l.length, 98);
    EXPECT_EQ(l.report1, -3.1f);
    EXPECT_EQ(l.report2, -2.0f);
    EXPECT_EQ(l.evalue, 0.045);
    EXPECT_EQ(l.xcount, 7.0f);
    EXPECT_EQ(annot_of(l), "a description with an X inside\n");
}

TEST_F(ScoresTest, CommentsBlankLinesAndEmptyId) {
    bool e;
    parse("% comment 1 2 3\n", &e);
    EXPECT_FALSE(e);
    parse("; comment\n", &e);
    EXPECT_FALSE(e);
    parse("\n", &e);
    EXPECT_FALSE(e);
    parse(" \t \r\n", &e);
    EXPECT_FALSE(e);
    ScoreLine l = parse(" 5 1.0 2.0\n", &e);
    EXPECT_TRUE(e);
    EXPECT_EQ(id_of(l), "");
    EXPECT_EQ(l.length, 5);
    EXPECT_EQ(l.report2, 2.0f);
}

TEST_F(ScoresTest, ShortLinesGetDefinedValues) {
    ScoreLine l = parse("seqD\n");
    EXPECT_EQ(id_of(l), "seqD");  // the line end is not part of the ID
    EXPECT_EQ(l.length, 0);
    EXPECT_EQ(l.report1, 1000000.0f);
    EXPECT_EQ(l.report2, 1000000.0f);
    EXPECT_EQ(l.evalue, 1000000.0);
    l = parse("seqD\r\n");
    EXPECT_EQ(id_of(l), "seqD");
    l = parse("last");  // no line end at the end of a file
    EXPECT_EQ(id_of(l), "last");
    l = parse("seqH 120\n");
    EXPECT_EQ(l.length, 120);
    EXPECT_EQ(l.report1, 1000000.0f);
    l = parse("seqH 120 -1.5 two 3\n");
    EXPECT_EQ(l.report1, -1.5f);
    EXPECT_EQ(l.report2, 1000000.0f);
    l = parse("seqH word 1 2\n");
    EXPECT_EQ(l.length, 0);
    EXPECT_EQ(l.report1, 1000000.0f);
}

TEST_F(ScoresTest, CountIsNeverTheEvalue) {
    ScoreLine l = parse("seqE 10 1.0 2.0 12X\n");
    EXPECT_EQ(l.xcount, 12.0f);
    EXPECT_EQ(l.evalue, 1000000.0);
    l = parse("seqE 10 1.0 2.0       7 X\t:text\n");  // as a report without E-values writes it
    EXPECT_EQ(l.xcount, 7.0f);
    EXPECT_EQ(l.evalue, 1000000.0);
    l = parse("seqE 10 1.0 2.0 3.5e-4 11   X\n");
    EXPECT_EQ(l.xcount, 11.0f);
    EXPECT_EQ(l.evalue, 3.5e-4);
}

TEST_F(ScoresTest, XCountSearchStaysInsideTheRestOfTheLine) {
    ScoreLine l = parse("id X\n");
    EXPECT_EQ(l.xcount, 0.0f);
    EXPECT_EQ(l.length, 0);
    l = parse("id    X 1 2 3\n");
    EXPECT_EQ(l.xcount, 0.0f);
    l = parse("idX 1 2 3\n");  // an 'X' in the ID is not a count
    EXPECT_EQ(l.xcount, 0.0f);
    EXPECT_EQ(l.evalue, 1000000.0);
    l = parse("id 1 2 3 :9 X\n");  // after the ':' it is description
    EXPECT_EQ(l.xcount, 0.0f);
    EXPECT_EQ(l.evalue, 1000000.0);
    EXPECT_EQ(annot_of(l), "9 X\n");
}

TEST_F(ScoresTest, NumbersReadAsTheConversionsReadThem) {
    ScoreLine l = parse("id 12.5 3 4\n");  // the integer stops at '.', the next number is .5
    EXPECT_EQ(l.length, 12);
    EXPECT_EQ(l.report1, 0.5f);
    EXPECT_EQ(l.report2, 3.0f);
    EXPECT_EQ(l.evalue, 4.0);
    l = parse("id +7 +1.25e+1 -.5 1.\n");
    EXPECT_EQ(l.length, 7);
    EXPECT_EQ(l.report1, 12.5f);
    EXPECT_EQ(l.report2, -0.5f);
    EXPECT_EQ(l.evalue, 1.0);
    l = parse("id 1 nan -INF Infinity\n");
    EXPECT_TRUE(std::isnan(l.report1));
    EXPECT_EQ(l.report2, -HUGE_VALF);
    EXPECT_EQ(l.evalue, HUGE_VAL);
    l = parse("id 1 0x10 5\n");  // no hexadecimal forms: 0, then "x10" stops the reading
    EXPECT_EQ(l.report1, 0.0f);
    EXPECT_EQ(l.report2, 1000000.0f);
    l = parse("id 1 2e 5\n");  // an exponent needs digits
    EXPECT_EQ(l.report1, 2.0f);
    EXPECT_EQ(l.report2, 1000000.0f);
    l = parse("id 99999999999 1 2\n");
    EXPECT_EQ(l.length, 2147483647);
    l = parse("id 1 1e400 -1e-400 1e-320\n");
    EXPECT_EQ(l.report1, HUGE_VALF);
    EXPECT_EQ(l.report2, -0.0f);
    EXPECT_EQ(l.evalue, std::strtod("1e-320", nullptr));
    l = parse("a\t1 2 3\r\n");
    EXPECT_EQ(id_of(l), "a");
    EXPECT_EQ(l.evalue, 1000000.0);
    l = parse(std::string("id 1 2\0 3 4\n", 12));  // a NUL byte ends the line's text
    EXPECT_EQ(l.report1, 2.0f);
    EXPECT_EQ(l.report2, 1000000.0f);
}

// The quick conversion gives exactly what strtod gives for every decimal form.
TEST_F(ScoresTest, NumberConversionMatchesStrtod) {
    std::mt19937_64 rng(12345);
    for (int n = 0; n < 200000; n++) {
        std::string tok;
        if (rng() % 2) tok += '-';
        int idigits = static_cast<int>(rng() % 22);
        for (int i = 0; i < idigits; i++) tok += static_cast<char>('0' + rng() % 10);
        if (idigits == 0 || rng() % 2) {
            tok += '.';
            int fdigits = static_cast<int>(rng() % 22) + (idigits == 0);
            for (int i = 0; i < fdigits; i++) tok += static_cast<char>('0' + rng() % 10);
        }
        if (rng() % 3 == 0) tok += "e" + std::to_string(static_cast<int>(rng() % 80) - 40);
        ScoreLine l = parse("id 1 " + tok + " 0 " + tok + "\n");
        double expect = std::strtod(tok.c_str(), nullptr);
        ASSERT_EQ(l.evalue, expect) << tok;
        ASSERT_EQ(l.report1, static_cast<float>(expect)) << tok;
    }
}

// ---------------------------------------------------------------------------------------------
// Reading files
// ---------------------------------------------------------------------------------------------

TEST_F(ScoresTest, ReadScoreFile) {
    testing::internal::CaptureStderr();
    std::string path = test_data("scores_basic.dist");
    SequenceTable *t = read_score_file(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Reading scores from file " + path + "\nWarning: score file " + path +
                  " line 12: a score or E-value is not a finite number; line skipped.\n");
    ASSERT_EQ(t->count, 7);
    EXPECT_EQ(ids(t), "seqA seqB  seqC seqD seqE seqF");  // seqG: "nan -inf"
    EXPECT_EQ(t->seqs[0]->len, 120);
    EXPECT_EQ(t->seqs[0]->ntracks, 1);
    EXPECT_EQ(t->seqs[0]->tracks[0].res, nullptr);
    EXPECT_EQ(t->seqs[1]->evalue, 0.045);
    EXPECT_EQ(t->seqs[1]->xcount, 7.0f);
    EXPECT_STREQ(t->seqs[1]->annotation, "a description with an X inside\n");
    EXPECT_EQ(t->seqs[2]->len, 5);
    EXPECT_STREQ(t->seqs[3]->annotation, "note X 9\n");
    EXPECT_EQ(t->seqs[3]->xcount, 0.0f);
    EXPECT_EQ(t->seqs[4]->report1, 1000000.0f);
    EXPECT_EQ(t->seqs[5]->xcount, 12.0f);
    EXPECT_EQ(t->seqs[5]->evalue, 1000000.0);
    EXPECT_EQ(t->seqs[6]->evalue, 1e-300);
    EXPECT_EQ(t->seqs[6]->xcount, 4.0f);
    free_sequence_table(t);
}

// An entry is skipped, with a warning naming the line, when a column or the E-value is not finite
// as stored: a column in single precision, the E-value in double. The unset value is a number.
TEST_F(ScoresTest, NonFiniteEntriesSkippedWithAWarning) {
    std::string path = scratch_dir() + "/nf.dist";
    struct Case {
        const char *line;
        bool kept;
    } cases[] = {
        {"k1 1 2 3", true},
        {"n1 1 nan 3", false},
        {"n2 1 2 -inf", false},
        {"n3 1 1e39 3", false},         // past FLT_MAX = 3.4028235e38
        {"n4 1 2 -3.5e38", false},      // likewise below -FLT_MAX
        {"n5 1 2 3 NaN", false},        // E-value
        {"n6 1 2 3 1e309 : x", false},  // past DBL_MAX = 1.797e308
        {"k2 1 3.4e38 -3.4e38", true},  // just within single precision
        {"k3 1 2 3 1e300", true},       // the E-value is kept in double precision
        {"k4 1 1000000.00 1000000.00 1000000.00", true},
        {"k5 1 2 3 4 inf X", true},  // the token before the 'X' is no score
    };
    std::string text = "% scores\n", kept, warnings;
    for (size_t i = 0; i < sizeof cases / sizeof *cases; i++) {
        text += std::string(cases[i].line) + "\n";
        if (cases[i].kept)
            kept += std::string(kept.empty() ? "" : " ") + std::string(cases[i].line, 2);
        else
            warnings += "Warning: score file " + path + " line " + std::to_string(i + 2) +
                        ": a score or E-value is not a finite number; line skipped.\n";
    }
    write_text(path, text);
    testing::internal::CaptureStderr();
    SequenceTable *t = read_score_file(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Reading scores from file " + path + "\n" + warnings);
    EXPECT_EQ(ids(t), kept);
    free_sequence_table(t);

    // The read-ahead of the IDs leaves them out without a word.
    testing::internal::CaptureStderr();
    SeqIdSet *set = read_score_file_ids(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(seq_id_set_contains("k1", set));
    EXPECT_FALSE(seq_id_set_contains("n1", set));
    EXPECT_FALSE(seq_id_set_contains("n6", set));
    free_seq_id_set(set);
}

TEST_F(ScoresTest, ReadingEdgeFiles) {
    std::string dir = scratch_dir();
    testing::internal::CaptureStderr();
    // Missing file: fatal through open_read.
    try {
        read_score_file((dir + "/missing.dist").c_str());
        FAIL() << "no error";
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message.rfind("Couldn't open file " + dir + "/missing.dist: ", 0), 0u)
            << e.message;
    }
    // Empty, comment-only, no final line end, CRLF, and a line far longer than any buffer.
    write_text(dir + "/empty.dist", "");
    write_text(dir + "/comments.dist", "% a\n;b\n\n");
    std::string longid(300000, 'q');
    write_text(dir + "/mixed.dist",
               "a 1 2 3\r\n" + longid + " 4 5 6 :" + std::string(2500000, 'X') + "\nlast 7 8 9");
    SequenceTable *t = read_score_file((dir + "/empty.dist").c_str());
    EXPECT_EQ(t->count, 0);
    free_sequence_table(t);
    t = read_score_file((dir + "/comments.dist").c_str());
    EXPECT_EQ(t->count, 0);
    free_sequence_table(t);
    t = read_score_file((dir + "/mixed.dist").c_str());
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(t->count, 3);
    EXPECT_STREQ(t->seqs[0]->id, "a");
    EXPECT_EQ(t->seqs[0]->evalue, 1000000.0);
    EXPECT_EQ(std::string(t->seqs[1]->id), longid);
    EXPECT_EQ(t->seqs[1]->len, 4);
    EXPECT_EQ(std::strlen(t->seqs[1]->annotation), 2500001u);
    EXPECT_EQ(t->seqs[1]->xcount, 0.0f);
    EXPECT_STREQ(t->seqs[2]->id, "last");
    EXPECT_EQ(t->seqs[2]->report2, 9.0f);
    free_sequence_table(t);
}

TEST_F(ScoresTest, ReadsCompressedFiles) {
    std::string dir = scratch_dir();
    write_text(dir + "/z.dist", "z1 1 2 3\nz2 4 5 6\n");
    REQUIRE_PROGRAM("gzip");
    ASSERT_EQ(std::system(("gzip -n " + dir + "/z.dist").c_str()), 0);
    testing::internal::CaptureStderr();
    SequenceTable *t = read_score_file((dir + "/z.dist.gz").c_str());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ids(t), "z1 z2");
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Sorting
// ---------------------------------------------------------------------------------------------

TEST_F(ScoresTest, ComparatorsAndNaNLast) {
    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, entry("a", 3, 1));
    add_seq_to_table(t, entry("n", NAN, 0));
    add_seq_to_table(t, entry("b", 1, 2));
    add_seq_to_table(t, entry("c", 2, 2));
    add_seq_to_table(t, entry("d", 1, 5));
    sort_score_list(t);
    EXPECT_EQ(ids(t), "b d c a n");  // equal values keep their order
    sort_direction = -1;
    sort_score_list(t);
    EXPECT_EQ(ids(t), "a c b d n");
    Sequence *x = t->seqs[0], *y = t->seqs[1];
    EXPECT_EQ(c1compare(&x, &y), -1);  // 3 > 2, descending
    sort_direction = 1;
    EXPECT_EQ(c1compare(&x, &y), 1);
    EXPECT_EQ(c1compare(&x, &x), 0);
    free_sequence_table(t);
}

TEST_F(ScoresTest, SortAsSpecified) {
    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, entry("a", 1, 2, 0.5));
    add_seq_to_table(t, entry("b", 3, 2, 0.1));
    add_seq_to_table(t, entry("c", 2, 1, 0.5));
    add_seq_to_table(t, entry("d", 0, 2, 0.5));
    Score.sort = 0;
    sort_scores_as_specified(&Score, t);
    EXPECT_EQ(ids(t), "a b c d");
    Score.sort = 3;  // bit 2: column 2, ties by column 1
    sort_scores_as_specified(&Score, t);
    EXPECT_EQ(ids(t), "c d a b");
    Score.sort = 4;  // E-value, then column 2, then column 1
    sort_scores_as_specified(&Score, t);
    EXPECT_EQ(ids(t), "b c d a");
    Score.sort = -1;
    sort_scores_as_specified(&Score, t);
    EXPECT_EQ(ids(t), "b c a d");
    EXPECT_EQ(sort_direction, -1);
    sort_score_list(t);  // stays descending
    EXPECT_EQ(ids(t), "b c a d");
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Columns and E-values
// ---------------------------------------------------------------------------------------------

TEST_F(ScoresTest, Evalues) {
    Sequence *s = alloc_sequence(0, 1);
    Score.dbsize = 0;
    s->second_score = -3;
    evalue_calc(s, &Score);
    EXPECT_EQ(s->evalue, 1000000.0);
    Score.dbsize = 1000;
    s->second_score = SCORE_UNSET;
    evalue_calc(s, &Score);
    EXPECT_EQ(s->evalue, 1000.0);
    s->second_score = 0;
    evalue_calc(s, &Score);
    EXPECT_EQ(s->evalue, 500.0);
    s->second_score = -2;  // lambda 1, tau 1: 1000 / (1 + e^2)
    evalue_calc(s, &Score);
    EXPECT_DOUBLE_EQ(s->evalue, 1000 / (1 + std::exp(2.0)));
    s->second_score = -200;  // far below the bound: N e^g
    evalue_calc(s, &Score);
    EXPECT_DOUBLE_EQ(s->evalue, std::exp(std::log(1000.0) - 200));
    s->second_score = -800;  // floored
    evalue_calc(s, &Score);
    EXPECT_EQ(s->evalue, 1e-300);
    s->second_score = 200;  // very large g: the limit N
    evalue_calc(s, &Score);
    EXPECT_EQ(s->evalue, 1000.0);
    Score.tau = 2;
    s->second_score = -3;  // g = -(3^2)
    evalue_calc(s, &Score);
    EXPECT_DOUBLE_EQ(s->evalue, 1000 / (1 + std::exp(9.0)));
    Score.tau = 1;
    Score.query = str_dup("q");  // swlambda with a query
    s->second_score = -4;
    evalue_calc(s, &Score);
    EXPECT_DOUBLE_EQ(s->evalue, 1000 / (1 + std::exp(4 * 0.34657)));
    free(Score.query);
    Score.query = nullptr;
    EXPECT_EQ(Score.dbsize, 1000);
    free_sequence(s);
}

TEST_F(ScoresTest, SetColumnsBySubtractNull) {
    Sequence *s = alloc_sequence(0, 1);
    s->raw_score = 11;
    s->simple_score = 22;
    s->second_score = 0;
    Score.dbsize = 10;
    for (int sn : {0, 1, -1, 6}) {
        Score.subtract_null = sn;
        s->evalue = 7;
        set_columns(s, &Score);
        EXPECT_EQ(s->report1, 22.0f);
        EXPECT_EQ(s->report2, 11.0f);
        EXPECT_EQ(s->evalue, 7.0);
    }
    Score.subtract_null = 3;
    set_columns(s, &Score);
    EXPECT_EQ(s->report2, 0.0f);
    EXPECT_EQ(s->evalue, 7.0);
    Score.subtract_null = 5;
    set_columns(s, &Score);
    EXPECT_EQ(s->evalue, 5.0);
    free_sequence(s);
}

TEST_F(ScoresTest, AssignSortColumnsAndNegation) {
    SequenceTable *t = alloc_sequence_table();
    for (int i = 0; i < 4; i++) {
        Sequence *s = alloc_sequence(0, 1);
        s->simple_score = static_cast<float>(i);
        s->second_score = 0;
        add_seq_to_table(t, s);
    }
    Score.dbsize = 0;
    Score.subtract_null = 4;
    assign_sort_columns(t, &Score);
    EXPECT_EQ(Score.dbsize, 4);
    EXPECT_EQ(t->seqs[3]->report1, 3.0f);
    EXPECT_EQ(t->seqs[3]->evalue, 2.0);  // N / 2 over N = the count
    t->seqs[0]->simple_score = 9;        // columns set: kept
    assign_sort_columns(t, &Score);
    EXPECT_EQ(t->seqs[0]->report1, 0.0f);
    negate_score_list(0, t);
    EXPECT_EQ(t->seqs[3]->report1, 3.0f);
    negate_score_list(1, t);
    EXPECT_EQ(t->seqs[3]->report1, -3.0f);
    EXPECT_EQ(t->seqs[3]->report2, -0.0f);
    EXPECT_EQ(t->seqs[3]->evalue, 2.0);
    copy_zscore_to_dist(t);
    EXPECT_EQ(t->seqs[3]->report1, 2.0f);
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Selection
// ---------------------------------------------------------------------------------------------

namespace {
// Entries a..d: column 1 against NLLnull -10, E-value against Emax 0.01.
SequenceTable *selection_table() {
    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, entry("a", -12, 0, 0.001));  // col1 passes, E passes
    add_seq_to_table(t, entry("b", -12, 0, 0.5));    // col1 passes
    add_seq_to_table(t, entry("c", -10, 0, 0.001));  // col1 equal to the threshold: fails
    add_seq_to_table(t, entry("d", 3, -11, 0.01));   // col2 passes, E equal: fails
    return t;
}
}  // namespace

TEST_F(ScoresTest, TrimByEverySelectionValue) {
    struct Case {
        int value;
        const char *kept;
    } cases[] = {{0, ""},       {8, "a b c d"}, {-8, ""}, {16, "a b c d"}, {5, "a"},
                 {-5, "b c d"}, {1, "a b"},     {2, "d"}, {-2, "a b c"},   {4, "a c"},
                 {7, ""},       {9, "a b c d"}, {3, ""},  {-3, "a b c d"}};
    for (const Case &c : cases) {
        SequenceTable *t = selection_table();
        trim_sequence_table(t, &Score, c.value);
        EXPECT_EQ(ids(t), c.kept) << "value " << c.value;
        free_sequence_table(t);
    }
    SequenceTable *t = alloc_sequence_table();
    trim_sequence_table(t, &Score, 0);
    EXPECT_EQ(t->count, 0);
    free_sequence_table(t);
}

TEST_F(ScoresTest, TrimFillsUnsetColumnsFirst) {
    SequenceTable *t = alloc_sequence_table();
    for (float simple : {-20.0f, 5.0f, -11.0f}) {
        Sequence *s = alloc_sequence(0, 1);
        s->simple_score = simple;
        s->second_score = simple;
        add_seq_to_table(t, s);
    }
    Score.dbsize = 0;
    trim_sequence_table(t, &Score, 1);
    EXPECT_EQ(Score.dbsize, 3);
    ASSERT_EQ(t->count, 2);
    EXPECT_EQ(t->seqs[0]->report1, -20.0f);
    EXPECT_EQ(t->seqs[1]->report1, -11.0f);
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Merge
// ---------------------------------------------------------------------------------------------

TEST_F(ScoresTest, MergeIntoScoreFileOrder) {
    SequenceTable *full = alloc_sequence_table();
    for (const char *id : {"s4", "s1", "s3", "s2"}) {
        Sequence *s = alloc_sequence(3, 1);
        s->id = str_dup(id);
        add_seq_to_table(full, s);
    }
    SequenceTable *list = alloc_sequence_table();
    add_seq_to_table(list, entry("s3", -5, -6, 0.25));
    add_seq_to_table(list, entry("missing", 1, 1));
    add_seq_to_table(list, entry("s1", -7, -8));
    add_seq_to_table(list, entry("s3", 0, 0));
    Sequence *noid = alloc_sequence(0, 1);
    add_seq_to_table(list, noid);
    list->seqs[2]->xcount = 4;
    testing::internal::CaptureStderr();
    merge_selected_sequences(full, list, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ID s3 selected twice; skipping repeat.\n");
    ASSERT_EQ(list->count, 3);
    EXPECT_STREQ(list->seqs[0]->id, "s3");
    EXPECT_EQ(list->seqs[0]->len, 3);  // the record read from the sequence files
    EXPECT_EQ(list->seqs[0]->report1, -5.0f);
    EXPECT_EQ(list->seqs[0]->report2, -6.0f);
    EXPECT_EQ(list->seqs[0]->evalue, 0.25);
    EXPECT_STREQ(list->seqs[1]->id, "s1");
    EXPECT_EQ(list->seqs[1]->xcount, 4.0f);
    EXPECT_EQ(list->seqs[2], noid);  // an entry without ID stays
    // Selection after the merge sees the score-file columns.
    Score.NLLnull = -6;
    trim_sequence_table(list, &Score, 1);
    EXPECT_EQ(ids(list), "s1");
    free_sequence_table(list);
}

// A large merge: IDs in random score-file order, repeats, IDs absent from the sequence files and
// IDs that differ only in letter case (IDs compare byte for byte). The expectation is worked out
// from the rules: first place of each ID present in the full table, a message for each repeat.
TEST_F(ScoresTest, MergeManyEntriesKeepsScoreFileOrder) {
    const int nfull = 3000;
    SequenceTable *full = alloc_sequence_table();
    for (int i = nfull - 1; i >= 0; i--) {
        Sequence *s = alloc_sequence(i + 1, 1);  // the length tells which record this is
        s->id = str_dup(("P" + std::to_string(i)).c_str());
        add_seq_to_table(full, s);
    }
    std::mt19937 rng(7);
    SequenceTable *list = alloc_sequence_table();
    std::vector<std::string> want_ids;
    std::vector<int> want_len;
    std::vector<float> want_r1;
    std::string want_err;
    std::vector<char> seen(static_cast<size_t>(2 * nfull), 0);
    for (int k = 0; k < 1500; k++) {
        int n = static_cast<int>(rng() % static_cast<unsigned>(2 * nfull));
        bool lower = rng() % 5 == 0;
        std::string id = (lower ? "p" : "P") + std::to_string(n);
        add_seq_to_table(list, entry(id.c_str(), static_cast<float>(-k), 0));
        if (lower || n >= nfull) continue;
        if (seen[static_cast<size_t>(n)]) {
            want_err += "ID " + id + " selected twice; skipping repeat.\n";
        } else {
            seen[static_cast<size_t>(n)] = 1;
            want_ids.push_back(id);
            want_len.push_back(n + 1);
            want_r1.push_back(static_cast<float>(-k));
        }
    }
    ASSERT_FALSE(want_err.empty());
    testing::internal::CaptureStderr();
    merge_selected_sequences(full, list, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), want_err);
    ASSERT_EQ(list->count, static_cast<int>(want_ids.size()));
    for (int i = 0; i < list->count; i++) {
        EXPECT_EQ(list->seqs[i]->id, want_ids[static_cast<size_t>(i)]);
        EXPECT_EQ(list->seqs[i]->len, want_len[static_cast<size_t>(i)]);
        EXPECT_EQ(list->seqs[i]->report1, want_r1[static_cast<size_t>(i)]);
    }
    free_sequence_table(list);
}

// One ID on several records of the sequence files: the records are ordered by ID (ties keep
// their order) and searched by bisection, which lands on the middle one of [a a b]; the repeat
// in the score file is reported. An empty ID matches a record without ID.
TEST_F(ScoresTest, MergeWithRepeatedIdsInSequenceFiles) {
    SequenceTable *full = alloc_sequence_table();
    const char *fids[] = {"b", "a", "a", nullptr};
    for (int i = 0; i < 4; i++) {
        Sequence *s = alloc_sequence(i + 1, 1);
        s->id = fids[i] ? str_dup(fids[i]) : nullptr;
        add_seq_to_table(full, s);
    }
    SequenceTable *list = alloc_sequence_table();
    add_seq_to_table(list, entry("a", -1, 0));
    add_seq_to_table(list, entry("b", -2, 0));
    add_seq_to_table(list, entry("a", -3, 0));
    add_seq_to_table(list, entry("", -4, 0));
    testing::internal::CaptureStderr();
    merge_selected_sequences(full, list, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ID a selected twice; skipping repeat.\n");
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(list->seqs[0]->len, 3);
    EXPECT_EQ(list->seqs[0]->report1, -1.0f);
    EXPECT_EQ(list->seqs[1]->len, 1);
    EXPECT_EQ(list->seqs[2]->len, 4);
    EXPECT_EQ(list->seqs[2]->id, nullptr);
    EXPECT_EQ(list->seqs[2]->report1, -4.0f);
    free_sequence_table(list);
}

// An empty score-file ID takes the record without ID when each ID names one record only.
TEST_F(ScoresTest, MergeEmptyIdTakesRecordWithoutId) {
    SequenceTable *full = alloc_sequence_table();
    Sequence *s = alloc_sequence(2, 1);
    add_seq_to_table(full, s);
    Sequence *t = alloc_sequence(5, 1);
    t->id = str_dup("A");
    add_seq_to_table(full, t);
    SequenceTable *list = alloc_sequence_table();
    add_seq_to_table(list, entry("a", 0, 0));
    add_seq_to_table(list, entry("", -9, 0));
    merge_selected_sequences(full, list, 1);
    ASSERT_EQ(list->count, 1);
    EXPECT_EQ(list->seqs[0], s);
    EXPECT_EQ(list->seqs[0]->report1, -9.0f);
    free_sequence_table(list);
}

TEST_F(ScoresTest, MergeWithoutMatches) {
    SequenceTable *full = alloc_sequence_table();
    Sequence *s = alloc_sequence(2, 1);
    s->id = str_dup("x");
    add_seq_to_table(full, s);
    SequenceTable *list = alloc_sequence_table();
    add_seq_to_table(list, entry("y", 0, 0));
    merge_selected_sequences(full, list, 0);
    EXPECT_EQ(list->count, 0);
    full = alloc_sequence_table();
    add_seq_to_table(list, entry("y", 0, 0));
    try {
        merge_selected_sequences(full, list, 1);
        FAIL() << "no error";
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "No sequences specified");
    }
    free_sequence_table(list);
}

// ---------------------------------------------------------------------------------------------
// IDs read ahead
// ---------------------------------------------------------------------------------------------

TEST_F(ScoresTest, IdsReadAheadOnlyFromPlainRegularFiles) {
    std::string dir = scratch_dir();
    std::string plain = dir + "/s.dist";
    write_text(plain, "% comment\nid1 10 1 2\n\nid2\r\nid3 5 1 2 3 : text\nlast");
    SeqIdSet *ids = read_score_file_ids(plain.c_str());
    ASSERT_NE(ids, nullptr);
    for (const char *id : {"id1", "id2", "id3", "last"}) EXPECT_TRUE(seq_id_set_contains(id, ids));
    for (const char *id : {"%", "id", "id2\r", "text", ""})
        EXPECT_FALSE(seq_id_set_contains(id, ids));
    free_seq_id_set(ids);
    ASSERT_EQ(system(("gzip -k " + plain).c_str()), 0);
    for (const std::string &name : {plain + ".gz", dir + "/absent.dist", dir})
        EXPECT_EQ(read_score_file_ids(name.c_str()), nullptr) << name;
}

// A fatal error in the filtered read reaches the caller; the ID set read ahead goes with it (the
// sanitizer build's leak check sees to that).
TEST_F(ScoresTest, ScoredReadThatFailsReleasesItsIds) {
    std::string dir = scratch_dir();
    std::string scores = dir + "/s.dist", missing = dir + "/absent.fa";
    write_text(scores, "id1 10 1 2\n");
    SeqIdSet *ahead = read_score_file_ids(scores.c_str());
    ASSERT_NE(ahead, nullptr);  // the filtered road is taken
    free_seq_id_set(ahead);
    const char *files[] = {missing.c_str()};
    int count = 0;
    try {
        read_select_seqfile_list_scored(scores.c_str(), &count, files, 1, nullptr, 0, nullptr, 0,
                                        nullptr, 0, nullptr, nullptr, 1);
        FAIL() << "no error";
    } catch (const FatalError &) {}
}
