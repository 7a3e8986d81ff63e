// Sequence sources: format detection, tracks read in step, counting, database lists (whole,
// capped, segmented, filtered), selection by ID and the report line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

class SeqIO : public ScratchTest {
protected:
    // A FASTA file of n entries named prefix0, prefix1, ...
    std::string entries(const std::string &name, const std::string &prefix, int n, int from = 0) {
        std::string text;
        for (int i = from; i < from + n; i++) text += ">" + prefix + std::to_string(i) + "\nMKV\n";
        return file(name, text);
    }
    void protein_tracks(int n) {
        std::string line = "alphabet";
        for (int i = 0; i < n; i++) line += i ? ",protein" : " protein";
        process_alphabet(line.c_str(), -1, "test");
    }
};

std::vector<std::string> ids_of(const SequenceTable *t) {
    std::vector<std::string> v;
    for (int i = 0; i < t->count; i++) v.push_back(t->seqs[i] ? t->seqs[i]->id : "(null)");
    return v;
}

// ---------------------------------------------------------------------------------------------
// Detection
// ---------------------------------------------------------------------------------------------

TEST_F(SeqIO, DetectsFormatsAndKinds) {
    short fmt = -1;
    int kind = -1, skip = -1;
    EXPECT_STREQ(seqfile_format_type(file("e.fa", "").c_str(), &fmt, &kind, &skip), "pearson");
    EXPECT_EQ(fmt, SEQFORMAT_FASTA);
    EXPECT_EQ(kind, SEQKIND_PROTEIN);
    EXPECT_EQ(skip, 0);
    EXPECT_STREQ(seqfile_format_type(file("d.fa", ">a\nACGTTGCA\n").c_str(), &fmt, &kind, nullptr),
                 "pearson");
    EXPECT_EQ(kind, SEQKIND_DNA);
    EXPECT_STREQ(error_seqfile_alphabet(), "DNA");
    EXPECT_STREQ(error_seqfile_format(), "pearson");
    EXPECT_STREQ(
        seqfile_format_type(file("r.fa", ">a\nACGUUGCA\n").c_str(), nullptr, &kind, nullptr),
        "pearson");
    EXPECT_STREQ(error_seqfile_alphabet(), "RNA");
    EXPECT_STREQ(
        seqfile_format_type(file("n.pir", ">P1;A\nx\nMKV*\n").c_str(), &fmt, nullptr, nullptr),
        "nbrf");
    EXPECT_EQ(fmt, SEQFORMAT_NBRF);
    EXPECT_STREQ(seqfile_format_type(file("h.hssp", "HSSP       HOMOLOGY DERIVED\n").c_str(), &fmt,
                                     &kind, nullptr),
                 "HSSP");
    EXPECT_EQ(fmt, SEQFORMAT_HSSP);
    EXPECT_EQ(kind, SEQKIND_PROTEIN);
    EXPECT_STREQ(error_seqfile_alphabet(), "protein");
}

TEST_F(SeqIO, DetectionRefusals) {
    EXPECT_EQ(fatal_of([] { seqfile_format_type("", nullptr, nullptr, nullptr); }),
              "attempt to determine alphabet from empty file name");
    EXPECT_EQ(fatal_of([] { seqfile_format_type("a.fa,b.fa", nullptr, nullptr, nullptr); }),
              "alphabet must be explictly specified when multiple sequence tracks are used");
    std::string p = file("g.gb", "LOCUS  X\nORIGIN\n 1 acgt\n//\n");
    EXPECT_STREQ(seqfile_format_type(p.c_str(), nullptr, nullptr, nullptr), "genbank");
    std::string msg =
        fatal_of([&] { seqfile_format_type(dir.c_str(), nullptr, nullptr, nullptr); });
    EXPECT_EQ(msg.rfind("Couldn't open file " + dir, 0), 0u) << msg;
}

TEST_F(SeqIO, AlphabetGuessedFromFirstSequenceFile) {
    std::string p = file("d.fa", ">a\nACGTACGT\n");
    check_alphabet(p.c_str());
    ASSERT_TRUE(alphabet);
    EXPECT_STREQ(alphabet->name, "DNA");
    // Once set, the alphabet is not guessed again.
    check_alphabet(file("p.fa", ">b\nMKLVWWFPQE\n").c_str());
    EXPECT_STREQ(alphabet->name, "DNA");

    reset_alphabets();
    check_alphabet(file("r.fa", ">a\nACGUUGCA\n").c_str());
    ASSERT_TRUE(alphabet);
    EXPECT_STREQ(alphabet->name, "RNA");

    reset_alphabets();
    check_alphabet(file("p2.fa", ">b\nMKLVWWFPQEHHRR\n").c_str());
    ASSERT_TRUE(alphabet);
    EXPECT_STREQ(alphabet->name, "protein");

    // An empty file counts as protein.
    reset_alphabets();
    check_alphabet(file("empty.fa", "").c_str());
    ASSERT_TRUE(alphabet);
    EXPECT_STREQ(alphabet->name, "protein");

    // A model file standing as a sequence file tells nothing about its letters.
    reset_alphabets();
    std::string m = file("m.mod", "MODEL -- x\nENDMODEL\n");
    EXPECT_EQ(fatal_of([&] { check_alphabet(m.c_str()); }),
              "No alphabet specified and file " + m + " no help.");
}

// ---------------------------------------------------------------------------------------------
// Sources
// ---------------------------------------------------------------------------------------------

TEST_F(SeqIO, ThreeTracksWithAnEmptyOne) {
    protein_tracks(3);
    std::string a = file("a.fa", ">s1 one\nMK-V\n>s2\nWW\n");
    std::string b = file("b.fa", ">s1 other\nLLA\n>s2\nAC\n");
    SeqFileSet *src = open_sequences((a + ",-," + b).c_str());
    ASSERT_EQ(src->ntracks, 3);
    EXPECT_EQ(src->tracks[1], nullptr);
    Sequence *s = read_sequence(src, 1);
    ASSERT_TRUE(s);
    EXPECT_STREQ(s->id, "s1");
    EXPECT_STREQ(s->annotation, "one");  // the first track's annotation is kept
    EXPECT_EQ(s->len, 3);
    EXPECT_EQ(s->tracks[1].res, nullptr);
    EXPECT_EQ(s->tracks[0].res[0], 10);  // M in ACDEFGHIKLMNPQRSTVWY...
    EXPECT_EQ(s->tracks[2].res[0], 9);   // L
    free_sequence(s);
    s = read_sequence(src, 0);
    EXPECT_STREQ(reinterpret_cast<char *>(s->tracks[0].res), "WW");
    free_sequence(s);
    EXPECT_EQ(read_sequence(src, 1), nullptr);
    close_sequences(src);
}

TEST_F(SeqIO, TrackCountLimits) {
    protein_tracks(6);
    std::string a = entries("a.fa", "s", 2);
    std::string six = a + "," + a + "," + a + "," + a + "," + a + "," + a;
    SeqFileSet *src = open_sequences(six.c_str());
    Sequence *s = read_sequence(src, 1);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ntracks, 6);
    free_sequence(s);
    close_sequences(src);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_of([&] { open_sequences((six + "," + a).c_str()); }),
              "maximum of 6 tracks supported.");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(
        err.rfind("Error: too many sequence tracks specified by the files:\n    " + a + "\n", 0),
        0u);
}

TEST_F(SeqIO, TrackCountMustMatchAlphabets) {
    protein_tracks(2);
    std::string a = entries("a.fa", "s", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        fatal_of([&] { open_sequences(a.c_str()); }),
        "The number of tracks is either specified on the command line or other sequence set.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: 2 alphabets are specified, however 1 sequence tracks\nare specified with the "
              "files:\n    " +
                  a + "\n");
}

TEST_F(SeqIO, IdsMustAgreeAcrossTracks) {
    protein_tracks(2);
    std::string a = file("a.fa", ">x\nMK\n");
    std::string b = file("b.fa", ">y\nMK\n");
    SeqFileSet *src = open_sequences((a + " " + b).c_str());
    EXPECT_EQ(fatal_of([&] { read_sequence(src, 1); }),
              "Sequence id y from " + b + " does not match id of main sequence (x)");
    close_sequences(src);
}

TEST_F(SeqIO, LongerTrackWarnsAtClosing) {
    protein_tracks(2);
    std::string a = entries("a.fa", "s", 2);
    std::string b = entries("b.fa", "s", 3);
    SequenceTable *t = alloc_sequence_table();
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_sequences((a + "," + b).c_str(), nullptr, 100, t, 1), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: sequence file " + b + " longer than other tracks\n");
    free_sequence_table(t);
}

TEST_F(SeqIO, RefusesAnHsspFileWithoutAlignments) {
    protein_tracks(1);
    // An HSSP file is read whole at opening: one without alignments is refused there.
    std::string h = file("h.hssp", "HSSP  x\n");
    EXPECT_EQ(fatal_of([&] { open_sequences(h.c_str()); }),
              "HSSP file " + h + ": no \"## ALIGNMENTS\" block (truncated file?)");
}

TEST_F(SeqIO, OnlyEmptyTracksGiveNothing) {
    protein_tracks(1);
    SeqFileSet *src = open_sequences("-");
    EXPECT_EQ(read_sequence(src, 1), nullptr);
    close_sequences(src);
}

TEST_F(SeqIO, NumericTrack) {
    process_alphabet("alphabet_def nums,21", -1, "test");
    std::string p = file("n.fa", ">a\n1 2 3\n>b\n20\n");
    SequenceTable *t = alloc_sequence_table();
    EXPECT_EQ(read_sequences(p.c_str(), nullptr, 10, t, 1), 2);
    EXPECT_EQ(t->seqs[0]->len, 3);
    EXPECT_EQ(t->seqs[0]->tracks[0].res[2], 3);
    EXPECT_EQ(t->seqs[1]->len, 1);
    free_sequence_table(t);
}

TEST_F(SeqIO, ModelFileAsTrack) {
    init_alphabet_by_name("DNA", 0, "");
    std::string m = file("x.mod", read_text(test_data("modelio_dna.mod")));
    short fmt = 0;
    int kind = -7;
    EXPECT_STREQ(seqfile_format_type(m.c_str(), &fmt, &kind, nullptr), "QorHMM");
    EXPECT_EQ(fmt, SEQFORMAT_MODEL);
    EXPECT_EQ(kind, -7);  // not set for a model file
    SequenceTable *t = alloc_sequence_table();
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_sequences(m.c_str(), nullptr, 10, t, 1), 1);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(t->count, 1);
    Sequence *s = t->seqs[0];
    EXPECT_STREQ(s->id, "x.mod");
    EXPECT_EQ(std::string(s->annotation), m);
    ASSERT_EQ(s->len, 2);
    ASSERT_TRUE(s->tracks[0].model);
    // Node 1 matches 0.1 0.2 0.3 0.4 (largest: index 3), node 2 0.6 0.2 0.1 0.1 (index 0).
    EXPECT_EQ(s->tracks[0].res[0], 3);
    EXPECT_EQ(s->tracks[0].res[1], 0);
    free_sequence_table(t);
    testing::internal::CaptureStderr();
    EXPECT_EQ(count_sequences(m.c_str()), 1);
    testing::internal::GetCapturedStderr();
}

TEST_F(SeqIO, ModelTrackOfAnotherAlphabetThanTheFirstTrack) {
    // Track 0 protein letters, track 1 a DNA model: the model's nodes are made, normalised and
    // given their costs with the DNA alphabet's sizes, and the current alphabet is the first
    // track's again afterwards.
    process_alphabet("alphabet protein,DNA", -1, "test");
    std::string a = file("a.fa", ">a\nMK\n");
    std::string m = file("x.mod", read_text(test_data("modelio_dna.mod")));
    SequenceTable *t = alloc_sequence_table();
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_sequences((a + "," + m).c_str(), nullptr, 10, t, 1), 1);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(t->count, 1);
    Sequence *s = t->seqs[0];
    EXPECT_STREQ(s->id, "a");
    ASSERT_EQ(s->len, 2);
    ASSERT_TRUE(s->tracks[1].model);
    const Model *model = s->tracks[1].model;
    ASSERT_EQ(model->length, 2);
    // 2A + 9 parameters with A = 4 in every node, the nodes copied from GENERIC included.
    for (int i = 0; i <= model->length + 1; i++)
        EXPECT_EQ(model->nodes[i]->nparams, 2 * 4 + 9) << "node " << i;
    EXPECT_EQ(s->tracks[1].res[0], 3);
    EXPECT_EQ(s->tracks[1].res[1], 0);
    EXPECT_EQ(alphabet, alphabets[0]);
    free_sequence_table(t);
}

TEST_F(SeqIO, Counting) {
    protein_tracks(1);
    EXPECT_EQ(count_sequences(entries("a.fa", "s", 7).c_str()), 7);
    EXPECT_EQ(count_sequences(file("e.fa", "").c_str()), 0);
    protein_tracks(2);
    EXPECT_NE(fatal_of([&] { count_sequences(("-," + dir + "/a.fa").c_str()); }), "");
}

TEST_F(SeqIO, GuideOnPlainDatabaseWarnsOnce) {
    protein_tracks(1);
    std::string a = entries("a.fa", "s", 2);
    std::string g = entries("g.fa", "s", 2);
    SequenceTable *t = alloc_sequence_table();
    testing::internal::CaptureStderr();
    read_sequences(a.c_str(), g.c_str(), 10, t, 1);
    read_sequences(a.c_str(), g.c_str(), 10, t, 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(t->count, 4);
    EXPECT_EQ(err.find("Warning: Guide sequence provided but database is not\n"), 0u);
    EXPECT_EQ(err.find("Guide sequence provided", 10), std::string::npos);
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Database lists
// ---------------------------------------------------------------------------------------------

TEST_F(SeqIO, CapOverTwoFilesWarns) {
    protein_tracks(1);
    std::string a = entries("a.fa", "a", 8);
    std::string b = entries("b.fa", "b", 8);
    const char *files[] = {a.c_str(), b.c_str()};
    int max = 10;
    testing::internal::CaptureStderr();
    SequenceTable *t = read_seqfile_list(&max, files, 2, nullptr, 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(max, 10);
    EXPECT_EQ(t->count, 10);
    EXPECT_STREQ(t->seqs[8]->id, "b0");
    EXPECT_STREQ(t->seqs[9]->id, "b1");
    EXPECT_NE(err.find("stopped after 10 sequences"), std::string::npos);
    EXPECT_NE(err.find(b), std::string::npos);
    free_sequence_table(t);

    max = 0;  // the default allowance
    t = read_seqfile_list(&max, files, 2, nullptr, 0);
    EXPECT_EQ(max, 16);
    free_sequence_table(t);
    const char *guides[] = {a.c_str()};
    EXPECT_EQ(fatal_of([&] { read_seqfile_list(&max, files, 2, guides, 1); }),
              "Must specify same number of database and guide sequence files.\n");
    EXPECT_EQ(count_seqfile_list(files, 2), 16);
}

TEST_F(SeqIO, SelectingAndExcluding) {
    protein_tracks(1);
    std::string a = file("a.fa", ">a\nM\n>b\nK\n>c\nV\n");
    SequenceTable *t = alloc_sequence_table();
    read_sequences(a.c_str(), nullptr, 10, t, 1);
    const char *sel[] = {"b", "a", "b", "zz"};
    int count = -1;
    testing::internal::CaptureStderr();
    t = select_sequences(t, &count, sel, 4, nullptr, 0, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ID b selected twice; skipping repeat.\nUnable to find sequence `zz'.\n");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"b", "a"}));
    const char *ex[] = {"q", "b"};
    testing::internal::CaptureStderr();
    t = select_sequences(t, &count, nullptr, 0, ex, 2, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unable to find sequence `q' for exclusion.\n");
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"a"}));
    const char *ex2[] = {"a"};
    SequenceTable *keep = t;
    EXPECT_EQ(fatal_of([&] { keep = select_sequences(keep, &count, nullptr, 0, ex2, 1, 1); }),
              "No sequences specified; exiting");  // the table is released on the way

    t = alloc_sequence_table();
    read_sequences(a.c_str(), nullptr, 10, t, 1);
    const char *none[] = {"zz"};
    testing::internal::CaptureStderr();
    t = select_sequences(t, &count, none, 1, nullptr, 0, 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(count, 0);
    free_sequence_table(t);
}

TEST_F(SeqIO, ReportLines) {
    protein_tracks(1);
    std::string a = file("a.fa", ">only\nMKV\n");
    std::string b = file("b.fa", "");
    const char *files[] = {a.c_str(), b.c_str()};
    std::string rep = dir + "/report.txt";
    FILE *fp = fopen(rep.c_str(), "w");
    int max = 0;
    testing::internal::CaptureStdout();
    SequenceTable *t =
        read_select_seqfile_list(&max, files, 2, nullptr, 0, nullptr, 0, nullptr, 0, fp, stdout, 1);
    std::string out = testing::internal::GetCapturedStdout();
    fclose(fp);
    std::string text = read_text(rep);
    EXPECT_NE(text.find("% Found 1 sequence in 2 files; selected 1 sequence\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("% Database Files: ", 0), 0u) << text;
    EXPECT_EQ(out, "Found 1 sequence in 2 files; selected 1 sequence\n");
    EXPECT_EQ(max, 1);
    free_sequence_table(t);

    EXPECT_EQ(fatal_of([&] {
                  read_select_seqfile_list(&max, files, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                           nullptr, nullptr, 1);
              }),
              "No sequence databases provided.  Use -db");
}

TEST_F(SeqIO, DuplicateIdsKeepTheFirst) {
    protein_tracks(1);
    std::string a = file("a.fa", ">x first\nM\n>y\nK\n>x second\nV\n>x third\nW\n");
    const char *files[] = {a.c_str()};
    int max = 0;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    SequenceTable *t = read_select_seqfile_list(&max, files, 1, nullptr, 0, nullptr, 0, nullptr, 0,
                                                stdout, stdout, 1);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"x", "y"}));
    EXPECT_STREQ(t->seqs[0]->annotation, "first");
    EXPECT_EQ(err, "Warning: sequence ID x occurs more than once in the database files; the first "
                   "one read is kept.\n");
    EXPECT_NE(out.find("Found 4 sequences in 1 file; selected 2 sequences\n"), std::string::npos)
        << out;
    free_sequence_table(t);
}

bool starts_with_k(const char *id, void *) {
    return id[0] == 'k';
}

TEST_F(SeqIO, FilteredReadKeepsNamedEntriesAndCountsAll) {
    protein_tracks(1);
    std::string a = file("a.fa", ">k1\nMK\n>d1\nVV\n>k2\nWW\n>d1\nLL\n>n1\nAA\n>d2\nCC\n");
    const char *files[] = {a.c_str()};
    const char *excl[] = {"n1"};
    int max = 0;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    SequenceTable *t = read_select_seqfile_list_filtered(
        &max, files, 1, nullptr, 0, nullptr, 0, excl, 1, stdout, stdout, 1, starts_with_k, nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    // 6 found; d1 twice counts once; n1 excluded: k1, k2, d1, d2 selected.
    EXPECT_NE(out.find("Found 6 sequences in 1 file; selected 4 sequences\n"), std::string::npos)
        << out;
    EXPECT_EQ(max, 4);
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"k1", "k2"}));
    EXPECT_EQ(err, "Warning: sequence ID d1 occurs more than once in the database files; the first "
                   "one read is kept.\n");
    free_sequence_table(t);

    // With a select list only its IDs count.
    const char *sel[] = {"d2", "k2"};
    max = 0;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    t = read_select_seqfile_list_filtered(&max, files, 1, nullptr, 0, sel, 2, nullptr, 0, stdout,
                                          stdout, 1, starts_with_k, nullptr);
    out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("selected 2 sequences\n"), std::string::npos) << out;
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"d2", "k2"}));
    free_sequence_table(t);
}

// Keeps IDs that begin with 'k'.
bool keep_k(const char *id, void *) {
    return id[0] == 'k';
}

TEST_F(SeqIO, FilteredReadSaysWhatAWholeReadSays) {
    // Repeats among kept and dropped IDs interleaved, strange bytes, a '>' inside a line and a
    // wildcard letter in dropped entries, over two files and an exclusion.
    protein_tracks(1);
    std::string a = file("a.fa", ">k1\nMK\n>d1\nM#K\n>k1\nWW\n>d1\nMJ>d2\nAA\n");
    std::string b = file("b.fa", ">d2\nCC\n>k2\nLL\n>d3\nQQ\n>k2\nVV\n>x1\nAA\n");
    const char *files[] = {a.c_str(), b.c_str()};
    const char *excl[] = {"x1", "nope"};
    auto run = [&](bool filtered, std::string &out, std::string &err, int &max) {
        max = 0;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        SequenceTable *t = filtered ? read_select_seqfile_list_filtered(&max, files, 2, nullptr, 0,
                                                                        nullptr, 0, excl, 2, stdout,
                                                                        stdout, 1, keep_k, nullptr)
                                    : read_select_seqfile_list(&max, files, 2, nullptr, 0, nullptr,
                                                               0, excl, 2, stdout, stdout, 1);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return t;
    };
    std::string out_whole, err_whole, out_filtered, err_filtered;
    int max_whole = 0, max_filtered = 0;
    SequenceTable *whole = run(false, out_whole, err_whole, max_whole);
    SequenceTable *filtered = run(true, out_filtered, err_filtered, max_filtered);
    EXPECT_EQ(out_filtered, out_whole);
    EXPECT_EQ(err_filtered, err_whole);
    EXPECT_EQ(max_filtered, max_whole);
    // 10 read; distinct k1 d1 d2 k2 d3 x1, x1 excluded: 5 selected.
    EXPECT_NE(out_whole.find("Found 10 sequences in 2 files; selected 5 sequences\n"),
              std::string::npos)
        << out_whole;
    size_t k1 = err_whole.find("ID k1 occurs"), d1 = err_whole.find("ID d1 occurs"),
           d2 = err_whole.find("ID d2 occurs"), k2 = err_whole.find("ID k2 occurs");
    EXPECT_TRUE(k1 < d1 && d1 < d2 && d2 < k2) << err_whole;
    EXPECT_EQ(ids_of(filtered), (std::vector<std::string>{"k1", "k2"}));
    free_sequence_table(whole);
    free_sequence_table(filtered);
}

// What one database read gives: standard output, standard error, the fatal message (or ""),
// the selected count and the IDs kept.
struct ReadOutcome {
    std::string out, err, fatal;
    int max = 0;
    std::vector<std::string> ids;
};

ReadOutcome read_outcome(bool filtered, const std::vector<std::string> &names, SeqIdFilter keep,
                         const char *const *excl = nullptr, int nexcl = 0) {
    std::vector<const char *> files;
    for (const std::string &n : names) files.push_back(n.c_str());
    ReadOutcome r;
    SequenceTable *t = nullptr;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    r.fatal = fatal_of([&] {
        t = filtered
                ? read_select_seqfile_list_filtered(
                      &r.max, files.data(), static_cast<int>(files.size()), nullptr, 0, nullptr, 0,
                      excl, nexcl, stdout, stdout, 1, keep, nullptr)
                : read_select_seqfile_list(&r.max, files.data(), static_cast<int>(files.size()),
                                           nullptr, 0, nullptr, 0, excl, nexcl, stdout, stdout, 1);
    });
    fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    if (t) {
        r.ids = ids_of(t);
        free_sequence_table(t);
    }
    return r;
}

void expect_same_outcome(const ReadOutcome &whole, const ReadOutcome &filtered,
                         const std::string &what) {
    EXPECT_EQ(filtered.out, whole.out) << what;
    EXPECT_EQ(filtered.err, whole.err) << what;
    EXPECT_EQ(filtered.fatal, whole.fatal) << what;
    EXPECT_EQ(filtered.max, whole.max) << what;
    std::vector<std::string> kept;
    for (const std::string &id : whole.ids)
        if (keep_k(id.c_str(), nullptr)) kept.push_back(id);
    EXPECT_EQ(filtered.ids, kept) << what;
}

TEST_F(SeqIO, FilteredReadChecksDroppedEntriesAsAWholeRead) {
    // Dropped entries (not beginning with 'k') with a strange byte, a '>' inside a line, a letter
    // converted to the wildcard (J: 1 of 4 letters), lower case, gaps and a line ending in '\r',
    // and a last line without newline.
    protein_tracks(1);
    std::string a =
        file("a.fa", ">d1 first\nM#K\n>d2\nMK>k1\nAA\n>d3\nmkJv\n>d4\nM-K.\r\nAA\n>d5\nMKJ");
    ReadOutcome whole = read_outcome(false, {a}, nullptr);
    ReadOutcome filtered = read_outcome(true, {a}, keep_k);
    expect_same_outcome(whole, filtered, "protein");
    EXPECT_EQ(whole.err, a + " (d1): Strange characters (#) ignored\n" + a +
                             " (d2): Newline not present before terminating >\n"
                             "Warning: 1 letters converted to wildcard in sequence d3\n"
                             "Warning: 1 letters converted to wildcard in sequence d5\n");
    EXPECT_EQ(filtered.ids, (std::vector<std::string>{"k1"}));

    // The notes of a DNA track: U converted to T, and letters outside the alphabet (more than
    // eight kinds of them), counted against the percentage of sequence_warning.
    reset_alphabets();
    init_alphabet_by_name("DNA", 0, "");
    std::string d = file(
        "d.fa", ">d1\nACGU\nUU\n>k1\nACGT\n>d2\nACGTEFIJLOPQ\n>d3\nACGTACGTACGTACGTACGTACGTE\n");
    sequence_warning = 5;
    whole = read_outcome(false, {d}, nullptr);
    filtered = read_outcome(true, {d}, keep_k);
    expect_same_outcome(whole, filtered, "DNA");
    // d3: 1 of 25 letters is 3.8%, not above 5%.
    EXPECT_EQ(whole.err, "Warning: 3 RNA U converted to DNA T in sequence d1\n"
                         "Warning: 8 letters converted to wildcard in sequence d2\n");
    // Below 0 the notes and the converted letters go to standard output.
    for (int warn : {-1, -2}) {
        sequence_warning = warn;
        whole = read_outcome(false, {d}, nullptr);
        filtered = read_outcome(true, {d}, keep_k);
        expect_same_outcome(whole, filtered, "DNA, sequence_warning " + std::to_string(warn));
        EXPECT_NE(
            whole.out.find("; Warning: 3 RNA U converted to DNA T in sequence d1\n>d1\nACGTTT\n"),
            std::string::npos)
            << whole.out;
    }
    sequence_warning = 0;
}

TEST_F(SeqIO, FilteredReadReportsRepeatedDroppedIdsAsAWholeRead) {
    // Dropped IDs repeated within a file and across files, one cut by a NUL byte and one
    // without text (named after the file); from plain files (IDs read again at their offsets)
    // and from compressed ones (IDs kept as copies).
    protein_tracks(1);
    std::string a = file("r1.fa", ">d1\nMK\n>k1\nAA\n>d2 x\nMK\n>d1,y\nMK\n>\nM\n>\nM\n" +
                                      std::string(">d3\0z\nMK\n>d3\nMK\n", 16) + ">d2\nM");
    std::string b = file("r2.fa", ">d2\nMK\n>d4\nMK\n>k2\nMK\n>d4\nMK\n>d1\nMK\n");
    ASSERT_EQ(system(("gzip -k " + a + " " + b).c_str()), 0);
    for (const auto &names :
         {std::vector<std::string>{a, b}, std::vector<std::string>{a + ".gz", b + ".gz"},
          std::vector<std::string>{a, b + ".gz"}}) {
        ReadOutcome whole = read_outcome(false, names, nullptr);
        ReadOutcome filtered = read_outcome(true, names, keep_k);
        expect_same_outcome(whole, filtered, names[0] + " " + names[1]);
        for (const char *id : {"d1", "d2", "d3", "d4"})
            EXPECT_NE(whole.err.find("sequence ID " + std::string(id) + " occurs more than once"),
                      std::string::npos)
                << id;
    }
}

TEST_F(SeqIO, FilteredReadReportsRepeatsAmongManyDroppedIdsInReadOrder) {
    // Enough dropped entries that they are sorted bucket by bucket: 3000 entries over 2000 IDs,
    // every 7th a kept one, repeats at irregular distances.
    protein_tracks(1);
    std::string text;
    for (int i = 0; i < 3000; i++) {
        int n = i < 2000 ? i : (i * 7919) % 2000;
        text += (n % 7 == 0 ? ">k" : ">d") + std::to_string(n) + "\nMK\n";
    }
    std::string a = file("many.fa", text);
    ReadOutcome whole = read_outcome(false, {a}, nullptr);
    ReadOutcome filtered = read_outcome(true, {a}, keep_k);
    expect_same_outcome(whole, filtered, "many");
    EXPECT_NE(whole.out.find("Found 3000 sequences in 1 file; selected 2000 sequences"),
              std::string::npos)
        << whole.out;
}

TEST_F(SeqIO, FilteredReadOfLibraryFormatsSaysWhatAWholeReadSays) {
    // Dropped entries of library formats are checked for the conversion notes without being
    // converted: hand-made EMBL and GenBank entries that give notes (U read as DNA, letters
    // converted to the wildcard, lower case, an entry without sequence, a repeated ID), and the
    // samples other tools wrote, one format per file and several formats in one read.
    std::string embl =
        file("n.embl", "ID   d1; SV 1\nSQ   Sequence\n     ACGUU UUACG        10\n//\n"
                       "ID   k1; SV 1\nSQ   Sequence\n     ACGTJ\n//\n"
                       "ID   d2; SV 1\nDE   none\n//\n"
                       "ID   d3; SV 1\nSQ   Sequence\n     acgtjjOOXX ACGT\n//\n"
                       "ID   d1; SV 1\nSQ   Sequence\n     AC\n//\n");
    std::string gb = file("n.gb", "LOCUS       d4 10 bp\nORIGIN\n        1 acguuefijl\n//\n"
                                  "LOCUS       k2 4 bp\nORIGIN\n        1 acgt\n//\n");
    const std::string data = std::string(QOR_TEST_DATA) + "/seqlib/";
    const std::vector<std::vector<std::string>> dna = {
        {embl},
        {gb},
        {embl, gb, data + "emboss_dna.genbank"},
        {data + "emboss_dna.embl", data + "squizz_dna.embl", data + "emboss_dna.msf"},
        {data + "emboss_dna.nbrf", data + "emboss_dna.phylip", data + "emboss_dna.nexus"},
        {data + "emboss_dna.ig", data + "emboss_dna.gcg", data + "emboss_dna.strider"},
        {data + "emboss_dna.fitch", data + "emboss_dna.codata", data + "squizz_dna.phylipi"}};
    for (int warn : {0, 3, -1}) {
        sequence_warning = warn;
        for (const std::vector<std::string> &names : dna) {
            reset_alphabets();
            init_alphabet_by_name("DNA", 0, "");
            ReadOutcome whole = read_outcome(false, names, nullptr);
            ReadOutcome filtered = read_outcome(true, names, keep_k);
            expect_same_outcome(whole, filtered, names[0] + " warn " + std::to_string(warn));
        }
    }
    sequence_warning = 0;
    reset_alphabets();
    init_alphabet_by_name("DNA", 0, "");
    ReadOutcome whole = read_outcome(false, {embl, gb}, nullptr);
    EXPECT_EQ(whole.err,
              "Warning: 4 RNA U converted to DNA T in sequence d1\n"
              "Warning: 1 letters converted to wildcard in sequence k1\n"
              "Warning: 4 letters converted to wildcard in sequence d3\n"  // j j O O (X is N)
              "Warning: 5 letters converted to wildcard in sequence d4\n"
              "Warning: 2 RNA U converted to DNA T in sequence d4\n"
              "Warning: sequence ID d1 occurs more than once in the database files; the first one "
              "read is kept.\n");
    for (const char *prot : {"emboss_prot.gcg", "emboss_prot.msf", "clustalw_prot.pir",
                             "clustalw_prot.nexus", "emboss_prot.nbrf"}) {
        reset_alphabets();
        init_alphabet_by_name("protein", 0, "");
        whole = read_outcome(false, {data + prot}, nullptr);
        ReadOutcome filtered = read_outcome(true, {data + prot}, keep_k);
        expect_same_outcome(whole, filtered, prot);
    }
}

TEST_F(SeqIO, FilteredReadOfTwoTracksOfUnequalLength) {
    // Two tracks: the second track of d2 is one residue longer, which ends the run in both reads
    // after the same messages.
    protein_tracks(2);
    std::string a = file("a.fa", ">k1\nMK\n>d1\nM#K\n>d2\nMKV\n>k2\nAA\n");
    std::string b = file("b.fa", ">k1\nMK\n>d1\nMK\n>d2\nMKVW\n>k2\nAA\n");
    std::string both = a + "," + b;
    ReadOutcome whole = read_outcome(false, {both}, nullptr);
    ReadOutcome filtered = read_outcome(true, {both}, keep_k);
    expect_same_outcome(whole, filtered, "two tracks");
    EXPECT_EQ(whole.fatal, "ID d2, track 1: length (4) does not match previous track (3)");
    EXPECT_EQ(whole.err, a + " (d1): Strange characters (#) ignored\n");
}

TEST_F(SeqIO, FilteredReadMatchesWholeReadOnRandomFiles) {
    // Random databases over several alphabets and warning levels: long and short lines, lines
    // longer than the reader's blocks, files larger than its read-ahead, letters that give notes,
    // strange bytes, '\r', blanks, '>' inside lines, text before the first entry, repeated and
    // empty IDs, long annotations and missing final newlines.
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::string plain = "ACDEFGHIKLMNPQRSTVWYacgt";
    const std::string noisy = "JOUXBZjoux-.0123456789NnTtUu";
    const std::string odd = "#* \t\r\x01\x7f\xe9\xff>";
    for (int round = 0; round < 24; round++) {
        const char *alpha = round % 3 == 0 ? "protein" : round % 3 == 1 ? "DNA" : "RNA";
        reset_alphabets();
        init_alphabet_by_name(alpha, 0, "");
        sequence_warning = (round / 3) % 4 == 0   ? 0
                           : (round / 3) % 4 == 1 ? 3
                           : (round / 3) % 4 == 2 ? -1
                                                  : -2;
        keepannotations = round % 2;
        std::vector<std::string> names;
        for (int f = 0; f < 2; f++) {
            std::string text;
            if (pick(6) == 0) text += "junk before\n";
            int entries = round == 5 && f == 0 ? 1200 : 1 + pick(40);
            for (int e = 0; e < entries; e++) {
                std::string id =
                    pick(4) == 0 ? ""
                                 : std::string(pick(3) == 0 ? "k" : "d") + std::to_string(pick(30));
                text += ">" + id;
                if (pick(2))
                    text +=
                        std::string(" note ") + (pick(20) == 0 ? std::string(100500, 'a') : "x");
                if (pick(8) == 0) text += "\r";
                text += "\n";
                int lines = pick(12);
                for (int l = 0; l < lines; l++) {
                    int len = pick(30) == 0 ? 4000 + pick(9000) : pick(90);
                    int mood = pick(4);  // 0, 1: plain; 2: some noisy letters; 3: also odd bytes
                    for (int i = 0; i < len; i++) {
                        int r = pick(100);
                        if (mood >= 2 && r < 3)
                            text += noisy[pick(static_cast<int>(noisy.size()))];
                        else if (mood == 3 && r < 4)
                            text += odd[pick(static_cast<int>(odd.size()))];
                        else
                            text +=
                                plain[pick(round % 3 == 0 ? 20 : static_cast<int>(plain.size()))];
                    }
                    if (l + 1 < lines || e + 1 < entries || pick(3))
                        text += pick(10) == 0 ? "\r\n" : "\n";
                }
            }
            names.push_back(
                file("r" + std::to_string(round) + "_" + std::to_string(f) + ".fa", text));
        }
        std::string what = std::string(alpha) + ", round " + std::to_string(round);
        ReadOutcome whole = read_outcome(false, names, nullptr);
        ReadOutcome filtered = read_outcome(true, names, keep_k);
        expect_same_outcome(whole, filtered, what);
        const char *excl[] = {"d3", "k4"};
        whole = read_outcome(false, names, nullptr, excl, 2);
        filtered = read_outcome(true, names, keep_k, excl, 2);
        expect_same_outcome(whole, filtered, what + ", with exclusions");
    }
    sequence_warning = 0;
    keepannotations = 1;
}

TEST_F(SeqIO, IdSet) {
    SequenceTable *t = alloc_sequence_table();
    for (int i = 0; i < 5000; i++) {
        Sequence *s = alloc_sequence(0, 1);
        s->id = str_dup(("id" + std::to_string(i)).c_str());
        add_seq_to_table(t, s);
    }
    SeqIdSet *set = make_seq_id_set(t);
    EXPECT_TRUE(seq_id_set_contains("id0", set));
    EXPECT_TRUE(seq_id_set_contains("id4999", set));
    EXPECT_FALSE(seq_id_set_contains("id5000", set));
    EXPECT_FALSE(seq_id_set_contains("", set));
    free_seq_id_set(set);

    // Copies: the given length, or up to a NUL byte inside it.
    set = new_seq_id_set();
    std::string held = "abcdef";
    seq_id_set_add(set, held.c_str(), 3);
    seq_id_set_add(set, "xy\0zz", 5);
    held = "zzzzzz";
    EXPECT_TRUE(seq_id_set_contains("abc", set));
    EXPECT_FALSE(seq_id_set_contains("abcdef", set));
    EXPECT_TRUE(seq_id_set_contains("xy", set));
    free_seq_id_set(set);
    free_sequence_table(t);
}

TEST_F(SeqIO, CompressedDatabases) {
    protein_tracks(1);
    std::string a = entries("a.fa", "s", 5);
    ASSERT_EQ(system(("gzip -k " + a).c_str()), 0);
    std::string gz = a + ".gz";
    const char *files[] = {gz.c_str()};
    int max = 0;
    SequenceTable *t = read_seqfile_list(&max, files, 1, nullptr, 0);
    EXPECT_EQ(max, 5);
    free_sequence_table(t);

    // A truncated compressed file fails instead of passing for a shorter database.
    std::string big;
    for (int i = 0; i < 3000; i++)
        big += ">e" + std::to_string(i) + "\n" + std::string(200, "ACDEFGHIKLMNPQRSTVWY"[i % 20]) +
               "\n";
    std::string b = file("b.fa", big);
    ASSERT_EQ(
        system(("gzip " + b + " && head -c 3000 " + b + ".gz > " + dir + "/cut.fa.gz").c_str()), 0);
    std::string cut = dir + "/cut.fa.gz";
    const char *cfiles[] = {cut.c_str()};
    testing::internal::CaptureStderr();
    std::string msg = fatal_of([&] { read_seqfile_list(&max, cfiles, 1, nullptr, 0); });
    testing::internal::GetCapturedStderr();
    EXPECT_NE(msg, "");
}

// ---------------------------------------------------------------------------------------------
// Segmented reading
// ---------------------------------------------------------------------------------------------

TEST_F(SeqIO, SegmentsTakeEveryNthChunk) {
    protein_tracks(1);
    std::string a = entries("a.fa", "s", 450);
    const char *files[] = {a.c_str()};
    setup_segmented_read_seqfile_list(100, files, 1, nullptr, 0, 2, 3);
    SequenceTable *t = alloc_sequence_table();
    EXPECT_EQ(segmented_read_seqfile_list(t), 100);
    EXPECT_STREQ(t->seqs[0]->id, "s100");
    EXPECT_STREQ(t->seqs[99]->id, "s199");
    clean_sequence_table(t);
    EXPECT_EQ(segmented_read_seqfile_list(t), 50);
    EXPECT_STREQ(t->seqs[0]->id, "s400");
    clean_sequence_table(t);
    EXPECT_EQ(segmented_read_seqfile_list(t), 0);
    cleanup_segmented_read_seqfile_list_exit_no_seq();
    free_sequence_table(t);
}

TEST_F(SeqIO, SegmentRefusals) {
    protein_tracks(1);
    std::string a = entries("a.fa", "s", 150);
    const char *files[] = {a.c_str()};
    setup_segmented_read_seqfile_list(100, files, 1, nullptr, 0, 3, 3);
    SequenceTable *t = alloc_sequence_table();
    EXPECT_EQ(segmented_read_seqfile_list(t), 0);
    EXPECT_EQ(fatal_of([] { cleanup_segmented_read_seqfile_list_exit_no_seq(); }),
              "With 150 sequences and 100-sequence segments, segment 3 is empty.");
    EXPECT_EQ(fatal_of([&] { setup_segmented_read_seqfile_list(100, files, 0, nullptr, 0, 1, 1); }),
              "No database files found.  Use -db <filename>.");
    EXPECT_EQ(fatal_of([&] { setup_segmented_read_seqfile_list(100, files, 1, files, 2, 1, 1); }),
              "Number of database files and database guide files must be the same.");
    EXPECT_EQ(fatal_of([&] { setup_segmented_read_seqfile_list(100, files, 1, nullptr, 0, 4, 3); }),
              "Segment number (4) is larger than number of segments (3)");
    EXPECT_NE(fatal_of([&] { setup_segmented_read_seqfile_list(0, files, 1, nullptr, 0, 1, 1); }),
              "");
    EXPECT_NE(fatal_of([&] { setup_segmented_read_seqfile_list(10, files, 1, nullptr, 0, 0, 3); }),
              "");
    EXPECT_EQ(fatal_of([] { segmented_read_seqfile_list(nullptr); }),
              "Segmented_read_seqfile_list passed null seqtable.");
    std::string e = file("e.fa", "");
    const char *efiles[] = {e.c_str()};
    setup_segmented_read_seqfile_list(10, efiles, 1, nullptr, 0, 1, 1);
    EXPECT_EQ(segmented_read_seqfile_list(t), 0);
    EXPECT_EQ(fatal_of([] { cleanup_segmented_read_seqfile_list_exit_no_seq(); }),
              "No sequences found in database files.\n");
    free_sequence_table(t);
}

}  // namespace
