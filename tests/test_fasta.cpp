// FASTA/NBRF recognition, the kind guess, FASTA entry reading (letter and numeric form) and
// the conversion of letters into letter indices.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/params.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

class Fasta : public ScratchTest {};

SeqTrackFile *open_track(const std::string &path) {
    SeqTrackFile *t = new SeqTrackFile();
    t->name = str_dup(path.c_str());
    t->stream = open_read(path.c_str(), OPEN_FATAL);
    return t;
}

void close_track(SeqTrackFile *t) {
    close_read(t->stream);
    free(t->name);
    free_track_read_buffer(t);
    delete t;
}

struct Entry {
    bool found = false;
    std::string id, annotation, residues;
    bool has_annotation = false;
};

Entry next_entry(SeqTrackFile *t) {
    Entry e;
    char *id = nullptr, *ann = nullptr;
    char *res = next_fasta_string(t, &id, &ann);
    if (!res) return e;
    e.found = true;
    e.id = id ? id : "";
    e.has_annotation = ann != nullptr;
    e.annotation = ann ? ann : "";
    e.residues = res;
    free(id);
    free(ann);
    free(res);
    return e;
}

// ---------------------------------------------------------------------------------------------
// Recognition and kind
// ---------------------------------------------------------------------------------------------

TEST_F(Fasta, RecognisesFastaAndNbrf) {
    int kind = -1;
    EXPECT_EQ(is_fasta_or_nbrf(file("a.fa", ">P1;ABC\nMKVLA\n").c_str(), &kind), 3);
    EXPECT_EQ(is_fasta_or_nbrf(file("b.fa", ">ABC;D\nMKVLA\n").c_str(), &kind), 8);
    EXPECT_EQ(is_fasta_or_nbrf(file("c.fa", ">A\n;comment\nMKV\n").c_str(), &kind), 8);
    // Position numbers before the letters and no digit after a letter: NBRF.
    EXPECT_EQ(is_fasta_or_nbrf(file("d.fa", ">x\n1 MKV\n4 LLA\n").c_str(), &kind), SEQFORMAT_NBRF);
    // A digit after a letter on its line: FASTA.
    EXPECT_EQ(is_fasta_or_nbrf(file("e.fa", ">x\n1 MKV 3\n").c_str(), &kind), SEQFORMAT_FASTA);
    // White space before the first header is allowed.
    EXPECT_EQ(is_fasta_or_nbrf(file("f.fa", "\n\n>x\nMKV\n").c_str(), &kind), SEQFORMAT_FASTA);
    EXPECT_EQ(is_fasta_or_nbrf(file("g.fa", "MKV\n").c_str(), &kind), SEQFORMAT_UNKNOWN);
    EXPECT_EQ(is_fasta_or_nbrf(file("h.fa", "").c_str(), &kind), SEQFORMAT_UNKNOWN);
}

TEST_F(Fasta, MisplacedHeaderWarnsOncePerRun) {
    std::string p = file("a.fa", "  >x\nMKV\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(is_fasta_or_nbrf(p.c_str(), nullptr), SEQFORMAT_UNKNOWN);
    EXPECT_EQ(is_fasta_or_nbrf(p.c_str(), nullptr), SEQFORMAT_UNKNOWN);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Warning: " + p +
                       " not read as fasta.\nThe '>' must be the first character in a line, "
                       "followed by ID.\n");
}

TEST_F(Fasta, KindGuess) {
    int kind = -1;
    is_fasta_or_nbrf(file("a.fa", ">x\nACGTN\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_PROTEIN);  // P = 5, D = 4
    is_fasta_or_nbrf(file("b.fa", ">x\nACGU\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_RNA);  // D = 4, P = 3, U = 1
    is_fasta_or_nbrf(file("c.fa", ">x\nACG\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_NUCLEIC);  // T = U = 0
    is_fasta_or_nbrf(file("d.fa", ">x\nacgtacgtacgt\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_DNA);  // P = D = 12 is not protein; T = 3 > U = 0: DNA
    is_fasta_or_nbrf(file("e.fa", ">x\n123\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_OTHER);
    // Only the first 300 letters count: 300 protein letters, then nucleotides.
    std::string s = ">x\n" + std::string(300, 'W') + "\n>y\n" + std::string(1000, 'A') + "\n";
    is_fasta_or_nbrf(file("f.fa", s).c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_PROTEIN);
}

TEST_F(Fasta, KindScanStopsAtIndentedHeader) {
    // A '>' after blanks on its line is not the start of an entry: the scan ends there, so only
    // the E of the first entry counts (P = 1, D = 0: protein). Read on, ACGU x 3 would give RNA.
    int kind = -1;
    is_fasta_or_nbrf(file("a.fa", ">a\nE\n >b\nACGUACGUACGU\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_PROTEIN);
    // At the start of a line it begins the next entry.
    is_fasta_or_nbrf(file("b.fa", ">a\nE\n>b\nACGUACGUACGU\n").c_str(), &kind);
    EXPECT_EQ(kind, SEQKIND_RNA);  // P = 1 + 9, D = 12, U = 3
}

TEST_F(Fasta, MissingFileIsFatal) {
    std::string msg = fatal_of([&] { is_fasta_or_nbrf((dir + "/none.fa").c_str(), nullptr); });
    EXPECT_EQ(msg.rfind("Couldn't open file " + dir + "/none.fa", 0), 0u) << msg;
}

// ---------------------------------------------------------------------------------------------
// Entries
// ---------------------------------------------------------------------------------------------

TEST_F(Fasta, CountsHeadersAtLineStarts) {
    SeqTrackFile *t = open_track(file("a.fa", ">a\nMK>V\n>b\n\n>c x\nW\n"));
    EXPECT_EQ(count_fasta(t), 3);
    close_track(t);
}

TEST_F(Fasta, ReadsIdsAnnotationsAndResidues) {
    SeqTrackFile *t = open_track(
        file("a.fa", ">s1 first entry\nMKV\nLA*\n>s2,\t, note\r\nAC-G.T\r\n>s3\n>s4\nWW"));
    testing::internal::CaptureStderr();
    Entry e = next_entry(t);
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.id, "s1");
    EXPECT_EQ(e.annotation, "first entry");
    EXPECT_EQ(e.residues, "MKVLA");  // '*' dropped with a message
    e = next_entry(t);
    EXPECT_EQ(e.id, "s2");
    EXPECT_EQ(e.annotation, "note");  // blanks, tabs and commas skipped, '\r' stripped
    EXPECT_EQ(e.residues, "AC-G.T");
    e = next_entry(t);
    EXPECT_EQ(e.id, "s3");
    EXPECT_FALSE(e.has_annotation);
    EXPECT_EQ(e.residues, "");
    e = next_entry(t);
    EXPECT_EQ(e.id, "s4");
    EXPECT_EQ(e.residues, "WW");
    EXPECT_FALSE(next_entry(t).found);
    EXPECT_EQ(t->entry_count, 4);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, std::string(t->name) + " (s1): Strange characters (*) ignored\n");
    close_track(t);
}

TEST_F(Fasta, StrangeBytesAreShownEscaped) {
    const struct {
        const char *byte;
        const char *shown;
    } cases[] = {{"#", "#"},        {"\x01", "\\x01"}, {"\x1b", "\\x1b"},
                 {"\x7f", "\\x7f"}, {"\xff", "\\xff"}, {"\\", "\\\\"}};
    for (const auto &c : cases) {
        std::string p = file("s.fa", std::string(">s\nAC") + c.byte + "GT\n");
        SeqTrackFile *t = open_track(p);
        testing::internal::CaptureStderr();
        EXPECT_EQ(next_entry(t).residues, "ACGT");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  p + " (s): Strange characters (" + c.shown + ") ignored\n");
        close_track(t);
    }
}

TEST_F(Fasta, EmptyIdTakesFileNameAndNumber) {
    std::string p = file("x.fa", ">a\nM\n>b\nK\n>\nV\n");
    SeqTrackFile *t = open_track(p);
    next_entry(t);
    next_entry(t);
    Entry e = next_entry(t);
    EXPECT_EQ(e.id, "x.fa#3");
    EXPECT_EQ(e.residues, "V");
    close_track(t);
}

TEST_F(Fasta, HeaderCutByEndOfFileGivesNoEntry) {
    SeqTrackFile *t = open_track(file("a.fa", ">a\nMK\n>b last"));
    EXPECT_EQ(next_entry(t).residues, "MK");
    EXPECT_FALSE(next_entry(t).found);
    close_track(t);
}

TEST_F(Fasta, MissingHeaderSkipsToNextEntry) {
    std::string p = file("a.fa", "junk\n>a\nMK\n");
    SeqTrackFile *t = open_track(p);
    testing::internal::CaptureStderr();
    Entry e = next_entry(t);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(e.id, "a");
    EXPECT_EQ(err, "Missing > in fasta file " + p + " after sequence 0\nSkipping to next >\n");
    close_track(t);

    t = open_track(file("b.fa", "junk only\n"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(next_entry(t).found);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Skipping rest of file."), std::string::npos);
    close_track(t);
}

TEST_F(Fasta, HeaderInsideLineEndsEntryWithWarning) {
    std::string p = file("a.fa", ">a\nMK>b\nVV\n");
    SeqTrackFile *t = open_track(p);
    testing::internal::CaptureStderr();
    Entry a = next_entry(t);
    Entry b = next_entry(t);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(a.residues, "MK");
    EXPECT_EQ(b.id, "b");
    EXPECT_EQ(b.residues, "VV");
    EXPECT_EQ(err, p + " (a): Newline not present before terminating >\n");
    close_track(t);
}

TEST_F(Fasta, LongHeadersAreCutWithoutOverflow) {
    std::string id(120000, 'i');
    std::string ann(150000, 'a');
    std::string p = file("a.fa", ">" + id + " " + ann + "\nMKV\n>b\nW\n");
    SeqTrackFile *t = open_track(p);
    testing::internal::CaptureStderr();
    Entry e = next_entry(t);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(e.id, std::string(99999, 'i'));
    EXPECT_EQ(e.annotation.size(), 99999u);
    EXPECT_EQ(e.residues, "MKV");
    EXPECT_EQ(err,
              p + " (" + std::string(99999, 'i') + "):  Annotation truncated to 99999 char.\n");
    EXPECT_EQ(next_entry(t).id, "b");
    close_track(t);
}

TEST_F(Fasta, VeryLongLinesAndBinaryBytes) {
    std::string res(700000, 'A');
    static const char tail[] = ">b\nM\x01\xff\x80K\x00V\n";
    std::string text = ">a\n" + res + "\n" + std::string(tail, sizeof tail - 1);
    std::string p = file("a.fa", text);
    SeqTrackFile *t = open_track(p);
    testing::internal::CaptureStderr();
    EXPECT_EQ(next_entry(t).residues, res);
    EXPECT_EQ(next_entry(t).residues, "MKV");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Strange characters"), err.rfind("Strange characters"));  // once per entry
    close_track(t);
}

TEST_F(Fasta, MixedLinesKeepEveryResidueInOrder) {
    // Whole residue lines, lines with blanks, tabs and '\r', a strange byte, gaps, digits, and a
    // last line without newline; expected: every letter, digit, '-' and '.' in order.
    std::string body = "MKVL\nAC GT\tW\r\nQ*E.-9\n\n  yy\nLAST";
    std::string expected;
    for (char c : body)
        if (isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.') expected += c;
    std::string p = file("m.fa", ">m\n" + body);
    SeqTrackFile *t = open_track(p);
    testing::internal::CaptureStderr();
    EXPECT_EQ(next_entry(t).residues, expected);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), p + " (m): Strange characters (*) ignored\n");
    close_track(t);
}

TEST_F(Fasta, NullTrackIsFatal) {
    EXPECT_EQ(fatal_of([] { next_fasta_string(nullptr, nullptr, nullptr); }),
              "Bad openseqfile passed to next_fasta_seq\n");
}

// ---------------------------------------------------------------------------------------------
// Numeric form
// ---------------------------------------------------------------------------------------------

TEST_F(Fasta, NumericEntries) {
    process_alphabet("alphabet_def nums,21", -1, "test");
    ASSERT_TRUE(alphabet && !alphabet->letters);
    int wild = alphabet->length_wild - 1;
    std::string p = file("n.fa", ">a\n12 3 XXX 7\n>b\n99 5 x\n");
    SeqTrackFile *t = open_track(p);
    char *id = nullptr;
    int len = 0;
    testing::internal::CaptureStderr();
    unsigned char *r = next_fasta_numstring(t, &id, nullptr, &len);
    ASSERT_TRUE(r);
    ASSERT_EQ(len, 4);
    EXPECT_EQ(r[0], 12);
    EXPECT_EQ(r[1], 3);
    EXPECT_EQ(r[2], wild);
    EXPECT_EQ(r[3], 7);
    free(r);
    free(id);
    r = next_fasta_numstring(t, &id, nullptr, &len);
    ASSERT_EQ(len, 3);
    EXPECT_EQ(r[0], wild);  // 99 is out of range
    EXPECT_EQ(r[1], 5);
    EXPECT_EQ(r[2], wild);
    free(r);
    free(id);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              p + " (a): X repeated more than the number of digits (2).  Treated as one X.\n" + p +
                  " (b): Number 99 is out of range for alphabet nums.  Replaced with X (20).\n");
    EXPECT_EQ(next_fasta_numstring(t, &id, nullptr, &len), nullptr);
    close_track(t);
}

TEST_F(Fasta, HugeNumbersSaturateToWildcard) {
    process_alphabet("alphabet_def nums,21", -1, "test");
    std::string p = file("n.fa", ">a\n" + std::string(60, '9') + " 1\n");
    SeqTrackFile *t = open_track(p);
    int len = 0;
    testing::internal::CaptureStderr();
    unsigned char *r = next_fasta_numstring(t, nullptr, nullptr, &len);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(len, 2);
    EXPECT_EQ(r[0], 20);
    EXPECT_EQ(r[1], 1);
    EXPECT_NE(err.find("is out of range"), std::string::npos);
    free(r);
    close_track(t);
}

// ---------------------------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------------------------

Sequence *letters_seq(const char *id, std::initializer_list<const char *> tracks) {
    Sequence *s = alloc_sequence(0, static_cast<int>(tracks.size()));
    s->id = str_dup(id);
    int t = 0;
    for (const char *r : tracks) {
        s->tracks[t++].res = r ? reinterpret_cast<unsigned char *>(str_dup(r)) : nullptr;
        if (r) s->len = static_cast<int>(strlen(r));
    }
    return s;
}

TEST_F(Fasta, ConvertRemovesGapsAndLooksUpLetters) {
    init_alphabet_by_name("DNA", 0, "");
    Sequence *s = letters_seq("a", {"AC-G.t"});
    convertseq(s);
    EXPECT_EQ(s->len, 4);
    EXPECT_EQ(s->converted, 1);
    // DNA letters AGCTRYN: A 0, C 2, G 1, T 3.
    EXPECT_EQ(s->tracks[0].res[0], 0);
    EXPECT_EQ(s->tracks[0].res[1], 2);
    EXPECT_EQ(s->tracks[0].res[2], 1);
    EXPECT_EQ(s->tracks[0].res[3], 3);
    free_sequence(s);
}

TEST_F(Fasta, ConvertNotesUracilInDna) {
    init_alphabet_by_name("DNA", 0, "");
    Sequence *s = letters_seq("r1", {"ACGU"});
    testing::internal::CaptureStderr();
    convertseq(s);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(s->tracks[0].res[3], 3);
    EXPECT_EQ(err, "Warning: 1 RNA U converted to DNA T in sequence r1\n");
    free_sequence(s);

    // A high threshold keeps quiet.
    sequence_warning = 50;
    s = letters_seq("r2", {"ACGU"});
    testing::internal::CaptureStderr();
    convertseq(s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    free_sequence(s);
}

TEST_F(Fasta, ConvertNotesOnStandardOutputWhenNegative) {
    init_alphabet_by_name("protein", 0, "");
    sequence_warning = -2;
    Sequence *s = letters_seq("p1", {"MJK"});
    s->annotation = str_dup("ann");
    testing::internal::CaptureStdout();
    convertseq(s);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "; Warning: 1 letters converted to wildcard in sequence p1\n>p1 ann\nMXK\n");
    free_sequence(s);
}

TEST_F(Fasta, ConvertNotesRecordOnlyForMinusOneAndMinusTwo) {
    init_alphabet_by_name("protein", 0, "");
    // -3: the note lines only.
    sequence_warning = -3;
    Sequence *s = letters_seq("p1", {"MJK"});
    testing::internal::CaptureStdout();
    convertseq(s);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "; Warning: 1 letters converted to wildcard in sequence p1\n");
    free_sequence(s);
    // -1: the note lines and the record.
    sequence_warning = -1;
    s = letters_seq("p2", {"MJK"});
    testing::internal::CaptureStdout();
    convertseq(s);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "; Warning: 1 letters converted to wildcard in sequence p2\n>p2\nMXK\n");
    free_sequence(s);
    // -1 with nothing converted: nothing at all.
    s = letters_seq("p3", {"MAK"});
    testing::internal::CaptureStdout();
    convertseq(s);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    free_sequence(s);
}

TEST_F(Fasta, ConvertCountsAcrossTracksOfTwoAlphabets) {
    // Track 0 protein, track 1 RNA, converted in turn: each track's notes are its own.
    process_alphabet("alphabet protein,RNA", -1, "test");
    Sequence *s = letters_seq("q", {"MK-JV", "AC.GT"});
    testing::internal::CaptureStderr();
    convertseq(s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: 1 letters converted to wildcard in sequence q\n"
              "Warning: 1 DNA T converted to RNA U in sequence q\n");
    EXPECT_EQ(s->len, 4);
    free_sequence(s);
    s = letters_seq("r", {"MKV", "ACU"});
    testing::internal::CaptureStderr();
    convertseq(s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    free_sequence(s);
}

TEST_F(Fasta, TracksOfDifferentLengthsAreFatal) {
    process_alphabet("alphabet protein,DNA", -1, "test");
    Sequence *s = letters_seq("a", {"MKV", "AC-GT"});
    EXPECT_EQ(fatal_of([&] { convertseq(s); }),
              "ID a, track 1: length (4) does not match previous track (3)");
    free_sequence(s);
    s = letters_seq("b", {"MKVL", "AC-GT"});
    convertseq(s);
    EXPECT_EQ(s->len, 4);
    free_sequence(s);
}

TEST_F(Fasta, MessagesShowIdControlBytesEscaped) {
    init_alphabet_by_name("protein", 0, "");
    const struct {
        const char *message;  // the %s stands for the shown ID
        std::function<std::string(const char *)> run;
    } messages[] = {
        {"Warning: 1 letters converted to wildcard in sequence %s\n",
         [](const char *id) {
             Sequence *s = letters_seq(id, {"MJK"});
             testing::internal::CaptureStderr();
             convertseq(s);
             free_sequence(s);
             return testing::internal::GetCapturedStderr();
         }},
        {"; Warning: 1 letters converted to wildcard in sequence %s\n",
         [](const char *id) {
             sequence_warning = -3;
             Sequence *s = letters_seq(id, {"MJK"});
             testing::internal::CaptureStdout();
             convertseq(s);
             free_sequence(s);
             return testing::internal::GetCapturedStdout();
         }},
        {"Dropping zero-length sequence %s\n",
         [](const char *id) {
             SequenceTable *t = alloc_sequence_table();
             add_seq_to_table(t, letters_seq(id, {nullptr}));
             std::string out = output_of([&](FILE *fp) { drop_null_sequences(t, fp); });
             free_sequence_table(t);
             return out;
         }},
    };
    // An ESC colour sequence, an OSC title sequence, and plain text (shown as it is but for the
    // backslash, which is doubled).
    const struct {
        const char *id, *shown;
    } ids[] = {{"a\x1b[31mred", "a\\x1b[31mred"},
               {"\x1b]0;title\x07z", "\\x1b]0;title\\x07z"},
               {"p\\q~", "p\\\\q~"}};
    for (const auto &m : messages)
        for (const auto &id : ids) {
            std::string expected = m.message;
            expected.replace(expected.find("%s"), 2, id.shown);
            EXPECT_EQ(m.run(id.id), expected) << m.message << id.shown;
        }
}

TEST_F(Fasta, EmptyTrackKeepsLength) {
    process_alphabet("alphabet protein,protein", -1, "test");
    Sequence *s = letters_seq("a", {"MKV", nullptr});
    convertseq(s);
    EXPECT_EQ(s->len, 3);
    EXPECT_EQ(s->tracks[1].res, nullptr);
    free_sequence(s);
    convertseq(nullptr);
}

}  // namespace
