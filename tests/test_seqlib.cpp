// Tests of the sequence-file library: the format table, error messages, detection of files that
// other tools wrote, the readers (IDs and residues), by-number reading, and hostile input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/params.h"
#include "sequences/seqio.h"
#include "sequences/seqlib.h"
#include "sequences/seqlib_read.h"
#include "sequences/seqlib_err.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

struct Entry {
    std::string id;
    std::string letters;
};

// The entries of a plain FASTA file: first word of the header, letters of the lines.
std::vector<Entry> fasta_entries(const std::string &path) {
    std::ifstream in(path);
    std::vector<Entry> out;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '>') {
            out.push_back({line.substr(1, line.find(' ') - 1), ""});
        } else if (!out.empty()) {
            out.back().letters += line;
        }
    }
    return out;
}

std::string sample(const std::string &name) {
    return test_data("seqlib/" + name);
}

std::string without_gaps(const std::string &s) {
    std::string out;
    for (char c : s)
        if (c != '-' && c != '.') out += c;
    return out;
}

// The ID as the track reader takes it from an ID line: up to the first blank, tab or comma.
std::string first_word(const std::string &idline) {
    return idline.substr(0, idline.find_first_of(" \t,"));
}

// Entry n of a file (by file name), with the detected format; empty ID and letters on error.
Entry read_entry(const std::string &path, int n, short *err = nullptr) {
    int skip = 0;
    short e = 0;
    short format = seqFileFormat(path.c_str(), &skip, &e);
    int64_t len = 0;
    int seen = 0;
    char *id = nullptr;
    char *s = seqlibRead(n, path.c_str(), skip, format, &len, &seen, &e, &id);
    Entry out{id ? id : "", s ? std::string(s, static_cast<size_t>(len)) : ""};
    if (err) *err = e;
    free(s);
    free(id);
    return out;
}

std::string write_sample(const std::string &name, const std::string &text) {
    std::string path = scratch_dir() + "/" + name;
    write_text(path, text);
    return path;
}

}  // namespace

TEST(SeqlibTable, KeywordsAndDisplayNames) {
    EXPECT_STREQ(formname[0].name, "ig");
    EXPECT_STREQ(formname[SEQLIB_NFORMNAMES - 1].name, "QorHMM");
    struct {
        int format;
        const char *keyword;
        const char *display;
    } rows[] = {
        {1, "ig", " 1. IG/Stanford"},
        {2, "genbank", " 2. GenBank/GB"},
        {5, "gcg", " 5. GCG"},
        {8, "pearson", " 8. Pearson/Fasta"},
        {11, "phylip3.2", "11. Phylip3.2"},
        {12, "phylip", "12. Phylip"},
        {15, "msf", "15. MSF"},
        {16, "asn.1", "16. ASN.1"},
        {17, "paup", "17. PAUP/NEXUS"},
        {18, "pretty", "18. Pretty (out-only)"},
        {19, "HSSP", "(unknown)"},
        {20, "QorHMM", "(unknown)"},
        {51, "unknown", "16. ASN.1"},
        {52, "unknown", "16. ASN.1"},
        {61, "unknown", "12. Phylip"},
        {62, "unknown", "12. Phylip"},
        {0, "unknown", "(unknown)"},
        {99, "unknown", "(unknown)"},
        {-1, "unknown", "(unknown)"},
    };
    for (const auto &r : rows) {
        EXPECT_STREQ(SeqFormatString(r.format), r.keyword) << r.format;
        EXPECT_STREQ(seqlibFormatStr(r.format), r.display) << r.format;
    }
}

TEST(SeqlibErr, Messages) {
    struct {
        int code;
        const char *text;
        int result;
    } rows[] = {
        {0, "", 0},
        {-1, "SeqLib (file f.x): File not found\n", 1},
        {-2, "SeqLib (file f.x): No data in file.\n", 1},
        {-3, "SeqLib (file f.x): Out of storage memory. Sequence truncated.\n", 1},
        {-4, "SeqLib (file f.x): Specified item not in file.\n", 1},
        {-5, "SeqLib (file f.x): Warning: This format permits only 1 sequence per file.\n", 1},
        {-6,
         "SeqLib (file f.x): This format requires equal length sequences.\nSequence truncated or "
         "padded to fit.\n",
         1},
        {-7, "SeqLib (file f.x): Can't open output file.\n", 1},
        {-8, "SeqLib (file f.x): Error: this format is unknown to me.\n", 1},
        {-9, "SeqLib (file f.x): seqlib error = -9\n", 1},
        {-10, "SeqLib (file f.x): Error in ASN.1 sequence routines.\n", 1},
        {7, "SeqLib (file f.x): seqlib error = 7\n", 1},
    };
    for (const auto &r : rows) {
        testing::internal::CaptureStderr();
        int got = seqlibErr(r.code, "f.x");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), r.text) << r.code;
        EXPECT_EQ(got, r.result);
    }
}

// Every sample file: its detected format, lines to skip, and its entries (IDs and letters, gaps
// removed for alignments) against the FASTA input that the tool was given.
TEST(SeqlibRead, SamplesWrittenByOtherTools) {
    struct {
        const char *file;
        short format;
        const char *input;  // dna.fa, prot.fa, ragged.fa, or dna.fa's first entry
        bool one;
    } rows[] = {
        {"emboss_dna.genbank", 2, "dna.fa", false},
        {"emboss_dna.embl", 4, "dna.fa", false},
        {"emboss_dna.gcg", 5, "dna.fa", false},
        {"emboss_dna.nbrf", 3, "dna.fa", false},
        {"emboss_dna.codata", 14, "dna.fa", false},
        {"emboss_dna.fitch", 7, "dna.fa", false},
        {"emboss_dna.ig", 1, "dna.fa", false},
        {"emboss_dna.strider", 6, "dna.fa", false},
        {"emboss_dna.msf", 15, "dna.fa", false},
        {"emboss_dna.phylip", 12, "dna.fa", false},
        {"emboss_dna.phylip3", 12, "dna.fa", false},  // the vote says interleaved; rows fit
                                                      // sequential
        {"emboss_dna.nexus", 17, "dna.fa", false},
        {"emboss_dna.nexusnon", 17, "dna.fa", false},
        {"emboss_dna1.plain", 13, "dna.fa", true},
        {"emboss_prot.gcg", 5, "prot.fa", false},
        {"emboss_prot.msf", 15, "prot.fa", false},
        {"emboss_prot.ig", 1, "prot.fa", false},
        {"emboss_prot.nbrf", 3, "prot.fa", false},
        {"squizz_dna.embl", 4, "dna.fa", false},
        {"squizz_dna.genbank", 2, "dna.fa", false},
        {"squizz_dna.nbrf", 3, "dna.fa", false},
        {"squizz_dna.codata", 14, "dna.fa", false},
        {"squizz_dna.ig", 1, "dna.fa", false},
        {"squizz_dna.msf", 15, "dna.fa", false},
        {"squizz_dna.phylipi", 12, "dna.fa", false},
        {"squizz_dna.phylips", 12, "dna.fa", false},
        {"squizz_dna.nexus", 17, "dna.fa", false},
        {"squizz_dna1.gcg", 5, "dna.fa", true},
        {"squizz_dna1.raw", 13, "dna.fa", true},
        {"squizz_prot.nbrf", 3, "prot.fa", false},
        {"clustalw_prot.gcg", 15, "prot.fa", false},
        {"clustalw_prot.phylip", 12, "prot.fa", false},
        {"clustalw_prot.pir", 3, "prot.fa", false},
        {"clustalw_prot.nexus", 17, "prot.fa", false},
        {"clustalw_ragged.phylip", 12, "ragged.fa", false},  // first row all gaps
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.file);
        std::string path = sample(r.file);
        int skip = -1;
        short err = 1;
        EXPECT_EQ(seqFileFormat(path.c_str(), &skip, &err), r.format);
        EXPECT_EQ(skip, 0);
        EXPECT_EQ(err, 0);
        std::vector<Entry> want = fasta_entries(sample(r.input));
        if (r.one) want.resize(1);
        // Whole-file readers for the nameless formats name entries differently.
        bool named = r.format != 13 && !(r.format == 5 && r.one);
        for (size_t i = 0; i < want.size(); i++) {
            Entry got = read_entry(path, static_cast<int>(i + 1));
            if (named) {
                EXPECT_EQ(first_word(got.id), want[i].id) << i + 1;
            }
            EXPECT_EQ(without_gaps(got.letters), want[i].letters) << i + 1;
        }
        short e = 0;
        Entry past = read_entry(path, static_cast<int>(want.size() + 1), &e);
        EXPECT_TRUE(e == SEQERR_ITEM_NOT_FOUND || e == SEQERR_NO_DATA) << e;
        EXPECT_EQ(past.id, "");
        EXPECT_EQ(past.letters, "");
    }
}

TEST(SeqlibRead, HandMadeSamples) {
    struct {
        const char *file;
        short format;
        int skip;
        std::vector<Entry> entries;
    } rows[] = {
        {"hand_mail.fa", 8, 4, {{"mail1 from a mail", "ACGTACGTAA"}, {"mail2", "GGGCCCTTTA"}}},
        {"hand_zuker.zuk",
         9,
         0,
         {{"zuk1 first", "ACGUACGUAGCUAGCUAGCGCUAGCUAG"}, {"zuk2", "GGGAAACCCUUU"}}},
        {"hand_olsen.txt",
         10,
         0,
         {{"seq_one     : 1 to 12 of a test", "ACGU.ACGU.ACGGCC"},
          {"seq_two     : 1 to 12 of a test", "ACGA.ACGU.ACGGCA"}}},
        {"hand_paup_match.nex",
         17,
         0,
         {{"alpha", "ACGTACGGTTAA"}, {"beta", "ACTTACGGTTAA"}, {"gamma", "TCGTA-GGTTCA"}}},
        {"hand_paup_seq.nex", 17, 0, {{"first", "MKVLAAGIVG"}, {"second", "MKV-TAGIVG"}}},
        {"hand_paup_quoted.nex",
         17,
         0,
         {{"dna one", "ACGTACGGGGGG"},
          {"it's", "ACGTTCTTTTTT"},
          {"a;b", "ACGAACCCCCCC"},
          {"plain", "TTTTTTAAAAAA"}}},
        {"hand_paup_quoted_seq.nex",
         17,
         0,
         {{"first one", "MKVLAAGIVG"}, {"second", "MKV-TAGIVG"}}},
        {"hand_msf_tilde.msf", 15, 0, {{"aa1", "--KVLAAGIVGL"}, {"aa2", "MKVL-AAGIV--"}}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.file);
        std::string path = sample(r.file);
        int skip = -1;
        EXPECT_EQ(seqFileFormat(path.c_str(), &skip, nullptr), r.format);
        EXPECT_EQ(skip, r.skip);
        for (size_t i = 0; i < r.entries.size(); i++) {
            Entry got = read_entry(path, static_cast<int>(i + 1));
            EXPECT_EQ(got.id, r.entries[i].id);
            EXPECT_EQ(got.letters, r.entries[i].letters);
        }
    }
}

// Detection of small texts, by the order of the tests.
TEST(SeqlibDetect, OrderOfTests) {
    std::string prot(60, 'M');
    struct {
        const char *name;
        std::string text;
        short format;
        int skip;
    } rows[] = {
        {"protein fasta at end of file", ">p1\nMKVLEEFIPQ\n", 8, 0},
        {"bare DNA", "ACGTACGTAC\nACGTTTGACA\nACGT\n", 13, 0},
        {"bare protein at end", "MKVLEEFIPQ\nMKVLEEFIPQ\n", 13, 0},
        {"GCG line under IG comment", ";comment\nname\nxx .. Check: 12\nACGT\n", 1, 0},
        {"GCG", "desc\nx  Length: 4  Check: 1 ..\nACGT\n", 5, 0},
        {"MSF before GCG", " x MSF: 4 Type: N Check: 1 ..\n", 15, 0},
        {"ASN.1 Bioseq-set", "Bioseq-set ::= {\n", 52, 0},
        {"ASN.1 Seq-entry", "Seq-entry ::= set {\n", 51, 0},
        {"ASN.1 other", "x ::= Bioseq\n", 16, 0},
        {"NEXUS", "#NEXUS\n", 17, 0},
        {"Strider", "; ### from DNA Strider\nACGT\nACGT\n", 6, 0},
        {"NBRF needs ';' fourth", ">P1;a\ntitle\nMKV*\n", 3, 0},
        {"EMBL", "ID   x\nSQ   y\nACGT\nACGT\n", 4, 0},
        {"GenBank wins over NBRF", ">P1;x\nLOCUS  y\nACGT\nACGT\n", 2, 0},
        {"GenBank wins over EMBL", "ID   x\nLOCUS  y\nACGT\nACGT\n", 2, 0},
        {"Zuker", "(x)\nACGU\nACGU\n", 9, 0},
        {"mail header", "From me\nSubject: x\n\n>a\nACGT\nACGT\n", 8, 3},
        {"other text", "Jujube juice\n", 0, 0},
        {"amino text is Plain", "hello world, this is text\n", 13, 0},
        {"empty", "", 0, 0},
        {"Fitch sign", " ACG TAC GTA CGT TTG ACC\n ACG TAC GTA CGT TTG ACC\n", 7, 0},
        // The vote by hand: interleaved 2, sequential 0.
        {"Phylip vote interleaved", "2 8\nname1     ACGTACGT\nname2     ACGTACGT\n", 12, 0},
        // The vote by hand: interleaved 10, sequential 12.
        {"Phylip vote sequential",
         "2 8\nname1     ACGT\n          ACGT\nname2     ACGT\n          ACGT\n", 11, 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        std::string path = write_sample("d.txt", r.text);
        int skip = -1;
        short err = 1;
        EXPECT_EQ(seqFileFormat(path.c_str(), &skip, &err), r.format);
        EXPECT_EQ(skip, r.skip);
        EXPECT_EQ(err, 0);
    }
    // Bare protein lines decide at the line limit: more than 500 lines.
    std::string many;
    for (int i = 0; i < 600; i++) many += prot + "\n";
    EXPECT_EQ(seqFileFormat(write_sample("p.txt", many).c_str(), nullptr, nullptr), 13);
    short err = 0;
    EXPECT_EQ(seqFileFormatFp(nullptr, nullptr, &err), -1);
    EXPECT_EQ(err, -1);
}

// Reading edge cases of the line formats.
TEST(SeqlibRead, LineFormatEdges) {
    struct {
        const char *name;
        std::string text;
        short format;
        int wanted;
        short error;
        const char *id;
        const char *letters;  // null: 300000 letters 'a'
    } rows[] = {
        {"pearson second", ">a x\nAC\n>b y\nGG\nTT\n", 8, 2, 0, "b y", "GGTT"},
        {"pearson wanted 0", ">a x\nAC\n>b y\nGG\n", 8, 0, 0, "a x", "AC"},
        {"pearson wanted -5", ">a x\nAC\n>b y\nGG\n", 8, -5, 0, "a x", "AC"},
        {"pearson missing", ">a x\nAC\n", 8, 2, SEQERR_ITEM_NOT_FOUND, "", ""},
        {"blank lines first", "  \n\n \t\n>a\nAC\n", 8, 1, 0, "a", "AC"},
        {"last line without newline", ">a\nAC\nGT", 8, 1, 0, "a", "ACGT"},
        {"only blanks", " \n\n", 8, 1, SEQERR_NO_DATA, "", ""},
        {"genbank drops digits", "LOCUS       g1 x\nORIGIN\n        1 ac-gt *?_. 12\n//\n", 2, 1, 0,
         "g1 x", "ac-gt*?_."},
        {"genbank skips to LOCUS", "header\nLOCUS       g1\nORIGIN\n 1 AC\n//\n", 2, 1, 0, "g1",
         "AC"},
        {"genbank without ORIGIN stops at //",
         "LOCUS       g1\nDEFINITION x\n//\nLOCUS       g2\nORIGIN\n 1 GG\n//\n", 2, 2, 0, "g2",
         "GG"},
        {"genbank entry without ORIGIN is empty",
         "LOCUS       g1\nDEFINITION x\n//\nLOCUS       g2\nORIGIN\n 1 GG\n//\n", 2, 1, 0, "g1",
         ""},
        {"genbank short LOCUS line", "LOCUS\nORIGIN\n 1 AC\n//\n", 2, 1, 0, "", "AC"},
        {"embl semicolon", "ID   e1; SV 1\nSQ   x\n  AC\n//\nID   e2 x\nSQ   y\n GG\n//\n", 4, 2, 0,
         "e2 x", "GG"},
        {"nbrf title as sequence", ">P1;n1\n1 MKV\nLL*\n", 3, 1, 0, "n1", "MKVLL"},
        {"nbrf title with comma", ">P1;n1\n1 MK, V\nLL*\n", 3, 1, 0, "n1", "LL"},
        {"nbrf ID column 1 without ';', no title line", ">n1 x\nMKV\n11 LL\n", 3, 1, 0, "n1 x",
         "MKVLL"},
        {"nbrf entry without title", ">P1;a\n>P1;b\nt\nMK*\n", 3, 2, 0, "b", "MK"},
        {"pir", "ENTRY           p1 \nTITLE x\nSEQUENCE\n    5\n  1 M K V\n///\n", 14, 1, 0, "p1 ",
         "MKV"},
        {"gcg two entries",
         "a  Length: 2  Check: 1 ..\nAC\n!!NA_SEQUENCE\nb  Length: 2  Check: 1 ..\n 1 GG\n", 5, 2,
         0, "b", "GG"},
        {"gcg first of two", "a  Length: 2  Check: 1 ..\nAC\n!!NA\nb  Length: 2  Check: 1 ..\nGG\n",
         5, 1, 0, "a", "AC"},
        {"strider ID line", "; ### from DNA Strider\n; DNA sequence  s1, 4 bases\n;\nACGT\n//\n", 6,
         1, 0, "s1, 4 bases", "ACGT"},
        {"ig ends at 1", ";c\nig1\nAC\nGT1\n;d\nig2\nTT1\n", 1, 2, 0, "ig2", "TT"},
        {"plain", "ACGT\nAC\n", 13, 1, 0, "d.txt(1)", "ACGTAC"},
        {"plain has one entry", "ACGT\n", 13, 2, SEQERR_ITEM_NOT_FOUND, "", ""},
        {"asn.1 is not read", "x\n", 16, 1, SEQERR_UNKNOWN_FORMAT, "", ""},
        {"pretty is not read", "x\n", 18, 1, SEQERR_UNKNOWN_FORMAT, "", ""},
        {"format 0 is not read", "x\n", 0, 1, SEQERR_UNKNOWN_FORMAT, "", ""},
        {"crlf line ends", ">a\r\nAC\r\n", 8, 1, 0, "a", "AC"},
        {"a line of 300000 letters",
         "LOCUS       big\nORIGIN\n" + std::string(300000, 'a') + "\n//\n", 2, 1, 0, "big",
         nullptr},
        {"binary bytes",
         std::string(">b\n\x01\x02"
                     "AC\x00"
                     "GT\x7f\n",
                     12),
         8, 1, 0, "b", "ACGT"},
        {"bytes above 127", ">a\xff\nA\x80\xc3G\n", 8, 1, 0, "a\xff", "AG"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        std::string path = write_sample("d.txt", r.text);
        int64_t len = -1;
        short err = 99;
        char *id = nullptr;
        char *s = seqlibRead(r.wanted, path.c_str(), 0, r.format, &len, nullptr, &err, &id);
        EXPECT_EQ(err, r.error);
        EXPECT_EQ(std::string(id ? id : "<null>"), r.id);
        std::string want = r.letters ? r.letters : std::string(300000, 'a');
        EXPECT_EQ(std::string(s ? s : ""), want);
        EXPECT_EQ(len, static_cast<int64_t>(want.size()));
        free(s);
        free(id);
    }
}

// The whole-file formats: Phylip layouts, PAUP headers, MSF and listing.
TEST(SeqlibRead, WholeFileEdges) {
    std::string seq25 = "3 25\nentry1    ACGTACGTAC\nACGTACGTAC\nACGTA\nentry2    GGGGGGGGGG\n"
                        "GGGGGGGGGG\nGGGGG\nentry3    TTTTTTTTTT\nTTTTTTTTTT\nTTTTT\n";
    struct {
        const char *name;
        std::string text;
        short format;
        int wanted;
        short error;
        const char *id;
        const char *letters;
    } rows[] = {
        {"phylip sequential 25 each", seq25, 11, 2, 0, "entry2    ", "GGGGGGGGGGGGGGGGGGGGGGGGG"},
        {"phylip sequential last", seq25, 11, 3, 0, "entry3    ", "TTTTTTTTTTTTTTTTTTTTTTTTT"},
        {"phylip sequential past end", seq25, 11, 4, SEQERR_NO_DATA, "", ""},
        {"phylip interleaved", "2 6\n\nab        ACG\ncd        TTT\n\nGGG\nAAA\n", 12, 2, 0,
         "cd        ", "TTTAAA"},
        {"phylip sequential read as interleaved when it fits",
         "2 6\nab        ACG\ncd        TTT\nGGG\nAAA\n", 11, 1, 0, "ab        ", "ACGGGG"},
        {"phylip short name line", "1 2\nab\nAC\n", 11, 1, 0, "ab", "AC"},
        {"phylip count 0 refused", "0 10\nab        AC\n", 12, 1, SEQERR_NO_DATA, "", ""},
        {"phylip no header", "ab        AC\n", 12, 1, SEQERR_NO_DATA, "", ""},
        {"paup without matrix", "#NEXUS\nbegin data;\nntax=2 nchar=3;\n", 17, 1, SEQERR_NO_DATA, "",
         ""},
        {"paup ntax 0 refused", "#NEXUS\nntax=0 nchar=3;\nmatrix\na ACG\n;\n", 17, 1,
         SEQERR_NO_DATA, "", ""},
        {"paup names are whole tokens",
         "#NEXUS\nntax=2 nchar=4 interleave;\nmatrix\nab AC\nabc GG\n\nab TT\nabc CC\n;\n", 17, 1,
         0, "ab", "ACTT"},
        {"paup quoted name without its closing quote is no row",
         "#NEXUS\nntax=2 nchar=2 interleave;\nmatrix\n'a b AC\nc GT\n;\n", 17, 1, 0, "c", "GT"},
        {"paup quoted names match later blocks exactly",
         "#NEXUS\nntax=2 nchar=4 interleave;\nmatrix\n'a' AC\n'a b' GG\n\n'a b' TT\n'a' CC\n;\n",
         17, 2, 0, "a b", "GGTT"},
        {"paup fewer entries than wanted", "#NEXUS\nntax=1 nchar=2;\nmatrix\na AC\n;\n", 17, 2,
         SEQERR_NO_DATA, "", ""},
        {"msf repeated name feeds both",
         "MSF: 2 Type: N Check: 1 ..\n Name: a\n Name: a\n//\na AC\na GT\n", 15, 2, 0, "a", "ACGT"},
        {"msf without //", "MSF: 2 Type: N Check: 1 ..\n Name: a\n", 15, 1, 0, "a", ""},
        {"msf name alone on a line", "MSF: 2 Type: N Check: 1 ..\n Name: a\n//\na\na ac\n", 15, 1,
         0, "a", "AC"},
        {"phylip fewer rows than the header says", "3 4\nab        ACGT\ncd        GGGG\n", 12, 2,
         0, "cd        ", "GGGG"},
        {"phylip third row missing", "3 4\nab        ACGT\ncd        GGGG\n", 12, 3, SEQERR_NO_DATA,
         "", ""},
        {"phylip rows longer than the header says", "2 2\nab        ACGT\ncd        GGGG\n", 11, 2,
         0, "cd        ", "GGGG"},
        {"olsen without entries", "identity:   Data:\nxx\n", 10, 1, SEQERR_NO_DATA, "", ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        std::string path = write_sample("w.txt", r.text);
        int64_t len = -1;
        short err = 99;
        char *id = nullptr;
        testing::internal::CaptureStderr();
        char *s = seqlibRead(r.wanted, path.c_str(), 0, r.format, &len, nullptr, &err, &id);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, r.error);
        EXPECT_EQ(std::string(id ? id : "<null>"), r.id);
        EXPECT_EQ(std::string(s ? s : ""), r.letters);
        free(s);
        free(id);
    }
    std::string path = write_sample("z.txt", "0 10\nab        AC\n");
    testing::internal::CaptureStderr();
    free(seqlibRead(1, path.c_str(), 0, 12, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SeqLib (file " + path +
                  "): sequence count 0 in the header is not a positive number\n");
}

// A later NEXUS block's row whose name the first block lacks is dropped with a warning.
TEST(SeqlibRead, PaupUnknownRowIsReported) {
    std::string path = write_sample("u.nex", "#NEXUS\nntax=2 nchar=4 interleave;\nmatrix\nab AC\n"
                                             "cd GG\n\nab TT\nce CC\n;\n");
    testing::internal::CaptureStderr();
    char *s = seqlibRead(2, path.c_str(), 0, 17, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SeqLib (file " + path +
                  "): row \"ce\" at line 8 is not among the rows of the first block; dropped\n");
    EXPECT_STREQ(s, "GG");
    free(s);
}

TEST(SeqlibRead, Listing) {
    int n = 0;
    short err = 1;
    char *text = listSeqs(sample("emboss_dna.msf").c_str(), 0, 15, &n, &err);
    EXPECT_EQ(std::string(text), " 1)  dna1\n 2)  dna2\n 3)  dna3\n");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(err, 0);
    free(text);
    text = listSeqs(sample("emboss_dna.genbank").c_str(), 0, 2, &n, &err);
    EXPECT_EQ(std::string(text).substr(0, 10), " 1)  dna1 ");
    EXPECT_EQ(n, 3);
    free(text);
}

// An open input hands out the entries one after the other (line formats) or by number on a
// rewindable stream (whole-file formats), in any order.
TEST(SeqlibRead, OpenInput) {
    struct {
        const char *file;
        short format;
        bool next;  // wanted 1 means the next entry
        std::vector<int> order;
    } rows[] = {
        {"emboss_dna.embl", 4, true, {1, 1, 1, 1}},
        {"squizz_dna.nbrf", 3, true, {1, 1, 1, 1}},
        {"emboss_dna.fitch", 7, true, {1, 1, 1, 1}},
        {"emboss_dna.msf", 15, false, {3, 1, 2, 4}},
        {"squizz_dna.phylipi", 12, false, {2, 3, 1, 4}},
        {"emboss_dna.nexus", 17, false, {1, 2, 3, 4}},
    };
    short err = 0;
    char *id = nullptr;
    EXPECT_EQ(seqlibReadFp(1, nullptr, 0, 8, nullptr, nullptr, &err, &id), nullptr);
    EXPECT_EQ(err, SEQERR_FILE_NOT_FOUND);
    EXPECT_STREQ(id, "");
    free(id);
    std::vector<Entry> want = fasta_entries(sample("dna.fa"));
    for (const auto &r : rows) {
        SCOPED_TRACE(r.file);
        FILE *fp = open_read(sample(r.file).c_str(), OPEN_FATAL | OPEN_REWIND);
        SeqLibInput in;
        seqlib_input_init(&in, fp, r.file);
        bool next = r.next;
        for (size_t k = 0; k < r.order.size(); k++) {
            int64_t len = 0;
            short err = 0;
            char *id = nullptr;
            char *s = seqlibReadFp(r.order[k], &in, 0, r.format, &len, nullptr, &err, &id);
            size_t index = next ? k : static_cast<size_t>(r.order[k] - 1);
            if (index < want.size()) {
                ASSERT_NE(s, nullptr);
                EXPECT_EQ(first_word(id), want[index].id);
                EXPECT_EQ(std::string(s), want[index].letters);
            } else {
                EXPECT_EQ(s, nullptr);
                EXPECT_EQ(err, SEQERR_NO_DATA);
            }
            free(s);
            free(id);
        }
        seqlib_input_free(&in);
        close_read(fp);
    }
}

// The sequence tracks: library formats read entry by entry, IDs split from annotations, kinds
// guessed from the first entry with letters.
TEST(SeqlibTracks, ReadThroughTracks) {
    initialize_variables();
    free(alphabet_name);
    alphabet_name = nullptr;
    init_alphabets();
    reset_alphabets();
    struct {
        const char *file;
        const char *keyword;
        int kind;
    } rows[] = {
        {"emboss_dna.nbrf", "nbrf", 1},       {"squizz_dna.nbrf", "nbrf", 1},
        {"emboss_dna.genbank", "genbank", 1}, {"clustalw_prot.phylip", "phylip", 4},
        {"emboss_prot.msf", "msf", 4},        {"hand_zuker.zuk", "zuker", 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.file);
        short format = 0;
        int kind = -1;
        EXPECT_STREQ(seqfile_format_type(sample(r.file).c_str(), &format, &kind, nullptr),
                     r.keyword);
        EXPECT_EQ(kind, r.kind);
    }
    std::string empty_first =
        write_sample("e.gb", "LOCUS       g0\n//\nLOCUS       g1\nORIGIN\n 1 MKVLEEF\n//\n");
    int kind = -1;
    seqfile_format_type(empty_first.c_str(), nullptr, &kind, nullptr);
    EXPECT_EQ(kind, 4);

    process_alphabet("alphabet DNA", -1, "test");
    SequenceTable *table = alloc_sequence_table();
    std::string path = sample("emboss_dna.embl");
    EXPECT_EQ(read_sequences(path.c_str(), nullptr, 100, table, 0), 3);
    ASSERT_EQ(table->count, 3);
    EXPECT_STREQ(table->seqs[0]->id, "dna1");
    EXPECT_EQ(table->seqs[0]->len, 79);
    EXPECT_EQ(count_sequences(sample("emboss_dna.msf").c_str()), 3);
    EXPECT_EQ(count_sequences(sample("clustalw_prot.nexus").c_str()), 3);
    // Two tracks of a format read by entry number: each track counts its own entries.
    process_alphabet("alphabet DNA,DNA", -1, "test");
    std::string msf = sample("emboss_dna.msf");
    SequenceTable *two = alloc_sequence_table();
    EXPECT_EQ(read_sequences((msf + "," + msf).c_str(), nullptr, 100, two, 1), 3);
    ASSERT_EQ(two->count, 3);
    EXPECT_STREQ(two->seqs[2]->id, "dna3");
    free_sequence_table(two);
    free_sequence_table(table);
    reset_alphabets();
}

// A NEXUS file, the entry asked for and what reading it gives.
struct PaupRow {
    const char *name, *text;
    int wanted;
    short error;
    const char *id, *letters;
    std::string err;  // "@" stands for the file name
};

void expect_paup(const PaupRow &r) {
    SCOPED_TRACE(r.name);
    std::string path = write_sample("n.nex", r.text);
    short err = 99;
    char *id = nullptr;
    testing::internal::CaptureStderr();
    char *s = seqlibRead(r.wanted, path.c_str(), 0, 17, nullptr, nullptr, &err, &id);
    std::string messages = testing::internal::GetCapturedStderr();
    std::string expected = r.err;
    for (size_t at; (at = expected.find('@')) != std::string::npos;) expected.replace(at, 1, path);
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(err, r.error);
    EXPECT_EQ(std::string(id ? id : ""), r.id);
    EXPECT_EQ(std::string(s ? s : ""), r.letters);
    free(s);
    free(id);
}

// A sequential NEXUS matrix keeps the ntax rows of its header: each row past them is dropped
// with a warning naming it (its continuation lines go with it). Counts past the int range are
// refused like counts below 1.
TEST(SeqlibRead, PaupRowsPastNtaxAndHugeCounts) {
    const PaupRow rows[] = {
        {"four rows, ntax 2", "#NEXUS\nntax=2 nchar=2;\nmatrix\na AC\nb GT\nc TT\nd CC\n;\n", 2, 0,
         "b", "GT",
         "SeqLib (file @): row \"c\" at line 6 is past the 2 rows of the header (ntax); dropped\n"
         "SeqLib (file @): row \"d\" at line 7 is past the 2 rows of the header (ntax); dropped\n"},
        {"the third row is not read", "#NEXUS\nntax=2 nchar=2;\nmatrix\na AC\nb GT\nc TT\n;\n", 3,
         SEQERR_NO_DATA, "", "",
         "SeqLib (file @): row \"c\" at line 6 is past the 2 rows of the header (ntax); dropped\n"},
        {"a dropped row takes its continuation lines",
         "#NEXUS\nntax=1 nchar=4;\nmatrix\na AC\nGT\nb TT\nCC\n;\n", 1, 0, "a", "ACGT",
         "SeqLib (file @): row \"b\" at line 6 is past the 1 rows of the header (ntax); dropped\n"},
        {"ntax past the int range", "#NEXUS\nntax=2147483648 nchar=2;\nmatrix\na AC\n;\n", 1,
         SEQERR_NO_DATA, "", "",
         "SeqLib (file @): ntax 2147483648 in the header is not a positive number\n"},
        {"nchar past the int range", "#NEXUS\nntax=1 nchar=4294967297;\nmatrix\na AC\n;\n", 1,
         SEQERR_NO_DATA, "", "",
         "SeqLib (file @): nchar 4294967297 in the header is not a positive number\n"},
        {"ntax 2x", "#NEXUS\nNTAX=2X nchar=2;\nmatrix\na AC\nb GT\n;\n", 1, SEQERR_NO_DATA, "", "",
         "SeqLib (file @): ntax 2X in the header is not a positive number\n"},
        {"ntax -2", "#NEXUS\nntax = -2;\nmatrix\na AC\n;\n", 1, SEQERR_NO_DATA, "", "",
         "SeqLib (file @): ntax -2 in the header is not a positive number\n"},
        {"nchar 1e3", "#NEXUS\nntax=1 nchar=1e3;\nmatrix\na AC\n;\n", 1, SEQERR_NO_DATA, "", "",
         "SeqLib (file @): nchar 1e3 in the header is not a positive number\n"},
        {"a comment over two lines is not read",
         "#NEXUS\ndimensions ntax=2 nchar=2;\n[ ntax=n:\nthe matrix below ]\nmatrix\na AC\nb "
         "GT\n;\n",
         2, 0, "b", "GT", ""},
        {"a comment before the value", "#NEXUS\nntax=[c]2 nchar=2;\nmatrix\na AC\nb GT\n;\n", 2, 0,
         "b", "GT", ""},
        {"ntax empty", "#NEXUS\nntax= nchar=2;\nmatrix\na AC\n;\n", 1, SEQERR_NO_DATA, "", "",
         "SeqLib (file @): ntax  in the header is not a positive number\n"},
        {"nchar empty", "#NEXUS\nntax=1 nchar=;\nmatrix\na AC\n;\n", 1, SEQERR_NO_DATA, "", "",
         "SeqLib (file @): nchar  in the header is not a positive number\n"},
    };
    for (const PaupRow &r : rows) expect_paup(r);
}

// A [...] comment in the matrix is no data and no row, wherever it stands; it may go on from the
// header and over lines. One the file leaves open is reported where it began.
TEST(SeqlibRead, PaupCommentsAreNotData) {
    const PaupRow rows[] = {
        {"inside a row", "#NEXUS\nntax=2 nchar=4;\nmatrix\na AC[x]DE\nb FGHI\n;\n", 1, 0, "a",
         "ACDE", ""},
        {"at a row's end", "#NEXUS\nntax=2 nchar=4;\nmatrix\na ACDE\nb FGHI [last row]\n;\n", 2, 0,
         "b", "FGHI", ""},
        {"from the matrix line on",
         "#NEXUS\nntax=2 nchar=4;\nmatrix [the\nrows follow]\na ACDE\nb FGHI\n;\n", 2, 0, "b",
         "FGHI", ""},
        {"nested over two lines",
         "#NEXUS\nntax=2 nchar=4;\nmatrix\na AC [x [y]\nz] DE\nb FGHI\n;\n", 1, 0, "a", "ACDE", ""},
        {"interleaved",
         "#NEXUS\nntax=2 nchar=4 interleave;\nmatrix\na AC\n[a\nnote]\nb FG\na DE\nb HI\n;\n", 2, 0,
         "b", "FGHI", ""},
        {"interleaved, a row carried over the line end",
         "#NEXUS\nntax=3 nchar=8 interleave;\nmatrix\na ACGT\nb TT[y\n]GG\nc WWWW\n\na AAAA\nb "
         "CCCC\nc DDDD\n;\n",
         3, 0, "c", "WWWWDDDD", ""},
        {"interleaved, the carried row",
         "#NEXUS\nntax=2 nchar=8 interleave;\nmatrix\na ACGT\nb "
         "TT[y\n]GG\n\na AAAA\nb CCCC\n;\n",
         2, 0, "b", "TTGGCCCC", ""},
        {"interleaved, a comment on a line of its own carries no row",
         "#NEXUS\nntax=2 nchar=8 interleave;\nmatrix\na AAAA\nb TTTT\n[block two\n] a CCCC\nb "
         "DDDD\n;\n",
         1, 0, "a", "AAAACCCC", ""},
        {"interleaved, a dropped row carried",
         "#NEXUS\nntax=2 nchar=8 interleave;\nmatrix\na "
         "AAAA\nb BBBB\n\na CCCC\nz GG[x\n]HH\nb DDDD\n;\n",
         2, 0, "b", "BBBBDDDD",
         "SeqLib (file @): row \"z\" at line 8 is not among the rows of the first block; "
         "dropped\n"},
        {"match characters, the template carried",
         "#NEXUS\nntax=2 nchar=8;\nformat matchchar=. interleave;\nmatrix\na AC[x\n]GT\nb "
         "....\n\na CCCC\nb .D.D\n;\n",
         2, 0, "b", "ACGTCDCD", ""},
        {"match characters, another row carried",
         "#NEXUS\nntax=2 nchar=8;\nformat matchchar=. interleave;\nmatrix\na ACGT\nb "
         ".[x\n]...\n\na CCCC\nb .D[y\n].D\n;\n",
         2, 0, "b", "ACGTCDCD", ""},
        {"interleaved, a row carried over three lines",
         "#NEXUS\nntax=2 nchar=12 interleave;\nmatrix\na ACGT[x\nyy\n]CC\nb TTTTTT\n\na "
         "DDDDDD\nb EEEEEE\n;\n",
         2, 0, "b", "TTTTTTEEEEEE", ""},
        {"match characters, blanks are no columns",
         "#NEXUS\nntax=2 nchar=12;\nformat matchchar=. interleave;\nmatrix\na AC [c] GTCC\nb ... "
         "...\n\na DDDDDD\nb .E.E.E\n;\n",
         2, 0, "b", "ACGTCCDEDEDE", ""},
        {"a quoted name", "#NEXUS\nntax=1 nchar=4;\nmatrix\n'dna [one' AC[x]DE\n;\n", 1, 0,
         "dna [one", "ACDE", ""},
        {"matrix in a comment after the matrix",
         "#NEXUS\nntax=1 nchar=2;\nmatrix\na AC\n;\n[no\nmatrix\nb GT]\n", 1, 0, "a", "AC", ""},
        {"open in the header",
         "#NEXUS\nbegin data;\ndimensions ntax=2 nchar=4; [ note: unbalanced\nformat "
         "datatype=protein;\nmatrix\na ACDE\nb FGHI\n;\nend;\n",
         1, SEQERR_NO_DATA, "", "",
         "SeqLib (file @): the comment opened at line 3 is not closed\n"},
        {"open in the matrix", "#NEXUS\nntax=2 nchar=4;\nmatrix\na ACDE\nb FG [cut\nHI\n;\n", 2, 0,
         "b", "FG", "SeqLib (file @): the comment opened at line 5 is not closed\n"},
    };
    for (const PaupRow &r : rows) expect_paup(r);
}
