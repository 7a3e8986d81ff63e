// Printing of sequences and alignments: FASTA records, numeric records, a2m rows, padding,
// trimming, posterior rows and tables, alignment blocks, filters and counters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

class SeqPrint : public LibraryTest {};

// A converted sequence from letters of the current alphabet, with an optional alignment code.
Sequence *make_seq(const char *id, const char *letters, std::vector<int> code = {},
                   const char *ann = nullptr) {
    int n = static_cast<int>(strlen(letters));
    Sequence *s = alloc_sequence(n, 1);
    s->id = str_dup(id);
    if (ann) s->annotation = str_dup(ann);
    for (int i = 0; i < n; i++)
        s->tracks[0].res[i] = static_cast<unsigned char>(letter_index(alphabet, letters[i]));
    s->converted = 1;
    if (!code.empty()) {
        s->align = static_cast<unsigned char *>(mem_alloc(code.size() + 1));
        for (size_t k = 0; k < code.size(); k++) s->align[k] = static_cast<unsigned char>(code[k]);
    }
    return s;
}

SequenceTable *table_of(std::initializer_list<Sequence *> seqs) {
    SequenceTable *t = alloc_sequence_table();
    for (Sequence *s : seqs) add_seq_to_table(t, s);
    return t;
}

// ---------------------------------------------------------------------------------------------
// Sequences
// ---------------------------------------------------------------------------------------------

TEST_F(SeqPrint, WrappedRecords) {
    std::string s120(120, 'A');
    EXPECT_EQ(output_of([&](FILE *f) { print_string(f, s120.c_str(), "x", "note"); }),
              ">x note\n" + std::string(50, 'A') + "\n" + std::string(50, 'A') + "\n" +
                  std::string(20, 'A') + "\n");
    std::string s50(50, 'C');
    EXPECT_EQ(output_of([&](FILE *f) { print_string(f, s50.c_str(), "y", nullptr); }),
              ">y\n" + s50 + "\n");
    EXPECT_EQ(output_of([&](FILE *f) { EXPECT_EQ(print_string(f, "", "z", nullptr), '\n'); }),
              ">z\n");
}

TEST_F(SeqPrint, OneLineRecordsAndTables) {
    init_alphabet_by_name("protein", 0, "");
    SequenceTable *t = table_of({make_seq("a", "MKVW", {}, "first"), make_seq("b", "")});
    EXPECT_EQ(output_of([&](FILE *f) { print_sequence_table(f, t); }), ">a first\nMKVW\n>b\n");
    EXPECT_EQ(fatal_of([&] { print_sequence_table(nullptr, t); }),
              "Print_sequence_table called with no file!");
    EXPECT_EQ(fatal_of([] { print_sequence_table(stdout, nullptr); }),
              "Print_sequence_table called with no sequence file!");
    free_sequence_table(t);
}

TEST_F(SeqPrint, CatchAllWithoutLetterPrintsX) {
    init_alphabet_by_name("RELSA2", 0, "");
    Sequence *s = alloc_sequence(3, 1);
    s->id = str_dup("r");
    s->tracks[0].res[0] = 0;
    s->tracks[0].res[1] = 2;  // one past the letters "BE"
    s->tracks[0].res[2] = 1;
    EXPECT_EQ(output_of([&](FILE *f) { pretty_print_sequence(f, s); }), ">r\nBXE\n");
    free_sequence(s);
}

TEST_F(SeqPrint, NumericRecords) {
    process_alphabet("alphabet_def nums,10", -1, "test");
    ASSERT_EQ(alphabet->digits_per_number, 1);
    Sequence *s = alloc_sequence(20, 1);
    s->id = str_dup("n");
    for (int i = 0; i < 20; i++) s->tracks[0].res[i] = static_cast<unsigned char>(i % 10);
    std::string line1, line2;
    for (int i = 0; i < 15; i++) line1 += " " + std::to_string(i % 10);
    for (int i = 15; i < 20; i++) line2 += " " + std::to_string(i % 10);
    EXPECT_EQ(output_of([&](FILE *f) { pretty_print_sequence(f, s); }),
              ">n\n" + line1 + "\n" + line2 + "\n");
    free_sequence(s);
}

TEST_F(SeqPrint, NumericRecordsTwoDigits) {
    process_alphabet("alphabet_def nums,21", -1, "test");
    ASSERT_EQ(alphabet->digits_per_number, 2);
    Sequence *s = alloc_sequence(9, 1);
    s->id = str_dup("n");
    for (int i = 0; i < 9; i++) s->tracks[0].res[i] = static_cast<unsigned char>(i * 2);
    // 7 columns of three characters per line.
    EXPECT_EQ(output_of([&](FILE *f) { pretty_print_sequence(f, s); }),
              ">n\n 00 02 04 06 08 10 12\n 14 16\n");
    // With a placeholder row: match '*', insert '.', delete '-' and blanks, filler blanks.
    EXPECT_EQ(output_of([&](FILE *f) { print_num_alignment(f, s, "Xx-.X", 0); }),
              ">n\n*00.02-     *04\n");
    free_sequence(s);
}

// ---------------------------------------------------------------------------------------------
// Alignment rows and padding
// ---------------------------------------------------------------------------------------------

TEST_F(SeqPrint, RowsFromAlignmentCodes) {
    init_alphabet_by_name("protein", 0, "");
    Sequence *s = make_seq("a", "ABCDE", {3, 102});
    char *row = str_w_deletions(s, 0, 0, 0);
    EXPECT_STREQ(row, "abcDE");
    free(row);
    row = str_w_deletions(s, 10, 0, 1);
    EXPECT_STREQ(row, "xxxXX");
    free(row);
    free_sequence(s);
    s = make_seq("b", "A", {201, 101});
    row = str_w_deletions(s, 0, 0, 0);
    EXPECT_STREQ(row, "-A");
    free(row);
    free_sequence(s);
}

TEST_F(SeqPrint, RowsThatDoNotFitAreRefused) {
    init_alphabet_by_name("protein", 0, "");
    Sequence *s = make_seq("a", "ABC", {105});
    testing::internal::CaptureStderr();
    EXPECT_EQ(str_w_deletions(s, 0, 0, 0), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Alignment of sequence a uses 5 residues but the sequence has 3; row skipped\n");
    free_sequence(s);
    s = make_seq("b", "ABC");
    testing::internal::CaptureStderr();
    EXPECT_EQ(str_w_deletions(s, 0, 0, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Sequence b has no alignment; row skipped\n");
    free_sequence(s);
}

TEST_F(SeqPrint, InsertWidthsAndPadding) {
    int *w = nullptr;
    add_control("aBc", &w);
    add_control("D", &w);
    add_control("eeF", &w);
    ASSERT_TRUE(w);
    EXPECT_EQ(w[0], 2);
    EXPECT_EQ(w[1], 1);
    EXPECT_EQ(w[2], -1);
    const char *rows[] = {"aBc", "D", "eeF"};
    const char *want[] = {"a.Bc", "..D.", "eeF."};
    for (int i = 0; i < 3; i++) {
        char *p = pad_row(rows[i], w);
        EXPECT_STREQ(p, want[i]);
        free(p);
    }
    testing::internal::CaptureStderr();
    add_control("AB", &w);  // one column more: never written past the list
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "sequence:add_control(): Not all alignments of same length\n");
    EXPECT_EQ(w[0], -1);
    free(w);
}

TEST_F(SeqPrint, PaddedAlignmentOutput) {
    init_alphabet_by_name("protein", 0, "");
    SequenceTable *t = table_of({make_seq("s1", "ABC", {1, 101, 1}), make_seq("s2", "D", {101}),
                                 make_seq("s3", "EEF", {2, 101})});
    EXPECT_EQ(output_of([&](FILE *f) { print_seqalignment(f, t, 1, 0); }),
              ">s1\na.Bc\n>s2\n..D.\n>s3\neeF.\n");
    EXPECT_EQ(output_of([&](FILE *f) { print_seqalignment(f, t, 0, 0); }),
              ">s1\naBc\n>s2\nD\n>s3\neeF\n");
    EXPECT_EQ(fatal_of([&] { print_seqalignment(nullptr, t, 1, 0); }),
              "print_seqalignment with null file\n");
    SequenceTable *empty = alloc_sequence_table();
    EXPECT_EQ(output_of([&](FILE *f) { print_seqalignment(f, empty, 1, 0); }), "");
    free_sequence_table(empty);
    free_sequence_table(t);
}

TEST_F(SeqPrint, MismatchedColumnsPrintUnpadded) {
    init_alphabet_by_name("protein", 0, "");
    SequenceTable *t = table_of({make_seq("s1", "AB", {102}), make_seq("s2", "C", {101})});
    testing::internal::CaptureStderr();
    std::string out = output_of([&](FILE *f) { print_seqalignment(f, t, 1, 0); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, ">s1\nAB\n>s2\nC\n");
    free_sequence_table(t);
}

void set_posteriors(Sequence *s, std::vector<double> neglnp, std::vector<int> match) {
    s->pathprob = static_cast<SeqPathProb *>(mem_alloc(sizeof(SeqPathProb) * (s->len + 4)));
    for (int i = 0; i < s->len; i++) {
        s->pathprob[i].lnprob = static_cast<float>(-neglnp[i]);
        s->pathprob[i].node = i + 1;
        s->pathprob[i].match = match[i];
    }
}

TEST_F(SeqPrint, TrimmedAlignment) {
    init_alphabet_by_name("protein", 0, "");
    Sequence *s = make_seq("s1", "ACDE", {1, 103});
    set_posteriors(s, {0.1, 0.2, 3.0, 0.5}, {0, 1, 1, 1});
    SequenceTable *t = table_of({s, make_seq("s2", "W", {101, 202})});
    testing::internal::CaptureStderr();
    std::string out = output_of([&](FILE *f) { print_trimalignment(f, t, 0, 0, 1.0); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Path probabilities missing for sequence s2\n");
    EXPECT_EQ(out, ">s1\naCd-E\n");
    process_alphabet("alphabet_def nums,10", 1, "test");
    EXPECT_EQ(fatal_of([&] { print_trimalignment(stdout, t, 0, 1, 1.0); }),
              "print_trimalignment cannot be used with numberic sequences\n");
    free_sequence_table(t);
}

TEST_F(SeqPrint, PosteriorRows) {
    init_alphabet_by_name("protein", 0, "");
    Sequence *s = make_seq("s1", "ACD", {1, 102, 201});
    set_posteriors(s, {0.1, 2.7, 12.0}, {0, 1, 1});
    SequenceTable *t = table_of({s});
    EXPECT_EQ(output_of([&](FILE *f) { print_seqpathalignment(f, t, 0, 0, 1.0); }),
              ">s1\naCD-\n>s1 Alignment posteriors -ln(P)\na29-\n");
    EXPECT_EQ(output_of([&](FILE *f) { print_seqpathalignment(f, t, 0, 0, 2.0); }),
              ">s1\naCD-\n>s1 Alignment posteriors  -ln(P)* 2.00  (ppscale)\na59-\n");
    free_sequence_table(t);
}

TEST_F(SeqPrint, PathPosteriorTable) {
    init_alphabet_by_name("protein", 0, "");
    Sequence *s = make_seq("s1", "MK", {102});
    set_posteriors(s, {0.25, 1.5}, {1, 0});
    SequenceTable *t = table_of({s, make_seq("s2", "W", {101})});
    testing::internal::CaptureStderr();
    std::string out = output_of([&](FILE *f) { print_seqpathprob(f, t); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Path probabilities missing for sequence s2\n");
    EXPECT_EQ(out, "SequenceID\tSeqIndex\tModIndex\tModState\tNegLnPosterior\tT0:protein\n"
                   "10s\t8n\t8n\t8s\t9n\t10s\n"
                   "s1\t0\t1\tM\t0.250000\tM\n"
                   "s1\t1\t2\tI\t1.500000\tK\n");
    SequenceTable *bad = table_of({make_seq("s3", "W", {101})});
    EXPECT_EQ(fatal_of([&] { print_seqpathprob(stdout, bad); }),
              "print_seqpathprob called without path probabilities\n");
    free_sequence_table(bad);
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Blocks, filters and counters
// ---------------------------------------------------------------------------------------------

TEST_F(SeqPrint, AlignmentBlock) {
    init_alphabet_by_name("protein", 0, "");
    SequenceTable *t =
        table_of({make_seq("s1", "ACD", {1, 102, 201}), make_seq("s2", "EF", {201, 102})});
    AlignmentBlock *b = block_from_alignment(t);
    ASSERT_EQ(b->ncols, 3);
    EXPECT_EQ(b->delete_index, 24);
    EXPECT_EQ(b->rows[0][0], 1);  // C
    EXPECT_EQ(b->rows[0][1], 2);  // D
    EXPECT_EQ(b->rows[0][2], 24);
    EXPECT_EQ(b->rows[1][0], 24);
    EXPECT_EQ(b->rows[1][1], 3);  // E
    EXPECT_EQ(b->rows[1][2], 4);  // F
    free_block_alignment(b);
    free_sequence_table(t);

    t = table_of({make_seq("s1", "A", {101}), make_seq("s2", "EF", {102})});
    testing::internal::CaptureStderr();
    b = block_from_alignment(t);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "sequence:block_from_alignment(): sequence 1 (s2)\nhas conflicting alignment length "
              "(2 vs 1).\n");
    free_block_alignment(b);
    free_sequence_table(t);
    SequenceTable *empty = alloc_sequence_table();
    EXPECT_EQ(fatal_of([&] { block_from_alignment(empty); }),
              "Invalid alignment in block_from_alignment.");
    free_sequence_table(empty);
    free_block_alignment(nullptr);
}

TEST_F(SeqPrint, FiltersAndCounters) {
    char *s = str_dup("aB.-c9..D");
    EXPECT_EQ(matchcolumns(s), 4);  // B - 9 D
    EXPECT_EQ(nondotcolumns(s), 6);
    EXPECT_EQ(charcolumns(s), 5);
    s = remove_dots(s);
    EXPECT_STREQ(s, "aB-c9D");
    s = remove_nonmatchchar(s);
    EXPECT_STREQ(s, "B-9D");
    s = remove_nonchardig(s);
    EXPECT_STREQ(s, "B9D");
    free(s);
    EXPECT_EQ(remove_dots(nullptr), nullptr);
    EXPECT_EQ(matchcolumns(nullptr), 0);

    std::string big;
    for (int i = 0; i < 1000; i++) big += (i % 10 < 3) ? '.' : 'A';
    s = str_dup(big.c_str());
    s = remove_dots(s);
    EXPECT_EQ(strlen(s), 700u);
    free(s);
}

}  // namespace
