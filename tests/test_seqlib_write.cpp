// Sequence writing in every format, the sequence-kind guess, the checksums and gap removal.
// Checksums of the test sequences come from tests/data/seqlib_write_checksums.py (zlib's CRC-32
// and the GCG sum computed from its definition); the expected texts are laid out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sequences/seqio.h"
#include "sequences/seqlib.h"
#include "sequences/seqlib_read.h"
#include "sequences/seqlib_write.h"
#include "testutil.h"

namespace {

std::string rep(char c, int n) {
    return std::string(n, c);
}

const std::string S12 = "ACGTTGCAACGT";
const std::string S65 = rep('A', 10) + rep('C', 10) + rep('G', 10) + rep('T', 10) + rep('A', 10) +
                        rep('C', 10) + rep('G', 5);
const std::string ID = "  seq1 first test";

struct Written {
    long lines;
    std::string text;
};

Written write(short format, const std::string &letters, const std::string &idline) {
    Written w{};
    w.text = output_of([&](FILE *fp) {
        w.lines = writeSeq(fp, letters.c_str(), (int64_t)letters.size(), format, idline.c_str());
    });
    return w;
}

// ---------------------------------------------------------------------------------------------
// Checksums

TEST(SeqlibChecksum, Crc32KnownValues) {
    struct Case {
        std::string letters;
        uint32_t crc;
    } cases[] = {
        {"123456789", 0xCBF43926u},
        {S12, 0xF2B4B1A3u},
        {S65, 0x8A9978u},
        {"MKVLEFW", 0x9EC38F79u},
        {"acgtNNxyz-.*", 0x75054DE9u},
        {"AC\xe9\xffGT", 0xAC442C83u},
        {"", 0u},
    };
    for (const Case &c : cases) {
        uint32_t total = 5;
        EXPECT_EQ(CRC32checksum(c.letters.c_str(), (int64_t)c.letters.size(), &total), c.crc)
            << c.letters;
        EXPECT_EQ(total, (uint32_t)(c.crc + 5)) << c.letters;
    }
    EXPECT_EQ(CRC32checksum("abc", 3, nullptr), CRC32checksum("ABC", 3, nullptr));
}

TEST(SeqlibChecksum, GcgKnownValues) {
    struct Case {
        std::string letters;
        unsigned long gcg;
    } cases[] = {
        {"a", 65},   {rep('A', 58), 7510}, {"123456789", 2445},    {S12, 5627},
        {S65, 9318}, {"MKVLEFW", 2163},    {"acgtNNxyz-.*", 5204}, {"AC\xe9\xffGT", 2777},
    };
    for (const Case &c : cases) {
        unsigned long total = 9000;
        EXPECT_EQ(GCGchecksum(c.letters.c_str(), (int64_t)c.letters.size(), &total), c.gcg)
            << c.letters;
        EXPECT_EQ(total, (9000 + c.gcg) % 10000) << c.letters;
    }
}

// ---------------------------------------------------------------------------------------------
// Sequence kinds

TEST(SeqlibKind, Getseqtype) {
    struct Case {
        std::string letters;
        short kind;
    } cases[] = {
        {"ACGU", SEQKIND_RNA},
        {"acgu", SEQKIND_RNA},
        {"ACGT", SEQKIND_DNA},
        {"ACGTUU", SEQKIND_RNA},
        {"ACGTTU", SEQKIND_DNA},
        {"ACDEF", SEQKIND_PROTEIN},
        {"ACGJ", SEQKIND_OTHER},
        {"", SEQKIND_OTHER},
        {"---..", SEQKIND_OTHER},
        {"OOO", SEQKIND_OTHER},
        {"ACGTN", SEQKIND_NUCLEIC},
        {"ACGT*", SEQKIND_NUCLEIC},
        {"ACKLM", SEQKIND_PROTEIN},
        {"ACO-GT", SEQKIND_DNA},
        {"AC\xc1GT", SEQKIND_DNA},
        {rep('A', 300) + "J", SEQKIND_DNA},
        {rep('A', 299) + "J", SEQKIND_OTHER},
    };
    for (const Case &c : cases)
        EXPECT_EQ(getseqtype(c.letters.c_str(), (int64_t)c.letters.size()), c.kind) << c.letters;
    EXPECT_EQ(getseqtype("ACGTJ", 4), SEQKIND_DNA);
    EXPECT_EQ(getseqtype(nullptr, 10), SEQKIND_OTHER);
}

// ---------------------------------------------------------------------------------------------
// Gap removal

TEST(SeqlibGaps, CompressSeq) {
    struct Case {
        const char *letters;
        int64_t length;
        char gap;
        const char *expected;  // null: no copy
    } cases[] = {
        {"A-C-G", 5, '-', "ACG"},  {"---", 3, '-', ""},        {"AC-GT", 3, '-', "AC"},
        {"AC", 10, '-', "AC"},     {"A.C.", 4, '.', "AC"},     {"", 0, '-', nullptr},
        {"ACGT", 0, '-', nullptr}, {nullptr, 4, '-', nullptr},
    };
    for (const Case &c : cases) {
        int64_t n = -1;
        char *out = compressSeq(c.gap, c.letters, c.length, &n);
        if (!c.expected) {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(n, 0);
        } else {
            ASSERT_NE(out, nullptr);
            EXPECT_STREQ(out, c.expected);
            EXPECT_EQ(n, (int64_t)strlen(c.expected));
        }
        free(out);
    }
    std::string many = rep('-', 40) + "AC";
    int64_t n = 0;
    char *out = compressSeq('-', many.c_str(), (int64_t)many.size(), &n);
    EXPECT_STREQ(out, "AC");
    EXPECT_EQ(n, 2);
    free(out);
}

// ---------------------------------------------------------------------------------------------
// Writing: every format, by hand from its layout

struct FormatCase {
    const char *what;
    short format;
    std::string letters;
    std::string idline;
    std::string expected;
    long lines;
};

class SeqlibWrite : public ::testing::Test {
protected:
    void SetUp() override { gPretty = PrettyOpts{}; }
    void TearDown() override { gPretty = PrettyOpts{}; }
};

TEST_F(SeqlibWrite, EveryFormat) {
    const std::string note12 = "seq1 first test, 12 bases, F2B4B1A3 checksum.";
    const std::string note65 = "seq1 first test, 65 bases, 8A9978 checksum.";
    const std::string blocks50 = " " + rep('A', 10) + " " + rep('C', 10) + " " + rep('G', 10) +
                                 " " + rep('T', 10) + " " + rep('A', 10);
    const FormatCase cases[] = {
        {"plain", SEQFORMAT_PLAIN, S65, ID,
         rep('A', 10) + rep('C', 10) + rep('G', 10) + rep('T', 10) + rep('A', 10) + "\n" +
             rep('C', 10) + "GGGGG\n\n",
         2},
        {"unknown as plain", SEQFORMAT_UNKNOWN, S12, ID, S12 + "\n\n", 1},
        {"IG", SEQFORMAT_IG, S12, ID, ";" + note12 + "\nseq1\n" + S12 + "1\n", 3},
        {"GenBank", SEQFORMAT_GENBANK, S65, ID,
         "LOCUS       seq1       65 bp\nDEFINITION  " + note65 + "\nORIGIN      \n       1 " +
             blocks50 + "\n      51  CCCCCCCCCC GGGGG\n//\n",
         6},
        {"Olsen as GenBank", SEQFORMAT_OLSEN, S12, ID,
         "LOCUS       seq1       12 bp\nDEFINITION  " + note12 +
             "\nORIGIN      \n       1  ACGTTGCAAC GT\n//\n",
         5},
        {"NBRF DNA", SEQFORMAT_NBRF, S12, ID, ">DL;seq1\n" + note12 + "\n ACGTTGCAAC GT*\n\n", 4},
        {"NBRF protein", SEQFORMAT_NBRF, "MKVLEFW", "p1",
         ">P1;p1\np1, 7 bases, 9EC38F79 checksum.\n MKVLEFW*\n\n", 4},
        {"EMBL", SEQFORMAT_EMBL, S65, ID,
         "ID   seq1\nDE   " + note65 + "\nSQ             65 BP\n    " + blocks50 +
             " CCCCCCCCCC\n     GGGGG\n//\n",
         6},
        {"GCG", SEQFORMAT_GCG, S12, ID,
         "seq1 first test\n    seq1  Length: 12  (today)  Check: 5627  ..\n  1  ACGTTGCAAC GT\n\n",
         4},
        {"Strider", SEQFORMAT_STRIDER, S12, ID,
         "; ### from DNA Strider ;-)\n; DNA sequence  " + note12 + "\n;\n" + S12 + "\n//\n", 4},
        {"Fitch", SEQFORMAT_FITCH, S65, ID,
         note65 +
             "\n AAA AAA AAA ACC CCC CCC CCG GGG GGG GGG TTT TTT TTT TAA AAA AAA AAC CCC CCC CCC\n"
             " GGG GG\n",
         3},
        {"Pearson", SEQFORMAT_FASTA, S12, ID, ">" + note12 + "\n" + S12 + "\n", 2},
        {"Zuker as Pearson", SEQFORMAT_ZUKER, S12, ID, ">" + note12 + "\n" + S12 + "\n", 2},
        {"HSSP as Pearson", SEQFORMAT_HSSP, S12, ID, ">" + note12 + "\n" + S12 + "\n", 2},
        {"Phylip sequential", SEQFORMAT_PHYLIP_SEQUENTIAL, S65, ID,
         "seq1        " + blocks50 + "\n" + rep(' ', 12) + " CCCCCCCCCC GGGGG\n", 2},
        {"Phylip interleaved", SEQFORMAT_PHYLIP, S12, "abcdefghijklmno x",
         "abcdefghij   ACGTTGCAAC GT\n", 1},
        {"PIR", SEQFORMAT_PIR, S12, ID,
         "ENTRY           seq1 \nTITLE           " + note12 + "\nSEQUENCE        \n" + rep(' ', 7) +
             "         5        10        15        20        25        30\n"
             "      1  A C G T T G C A A C G T\n///\n",
         6},
        {"MSF", SEQFORMAT_MSF, S12, ID,
         " Name: seq1             Len:    12  Check:  5627  Weight:  1.00\n"
         "           seq1  ACGTTGCAAC GT\n",
         2},
        {"ASN.1", SEQFORMAT_ASN1, S65, ID,
         "  seq {\n    id { local id 1 },\n    descr { title \"seq1 first test\" },\n    inst {\n"
         "      repr raw, mol dna, length 65, topology linear,\n      seq-data\n"
         "        iupacna \"" +
             rep('A', 10) + rep('C', 10) + rep('G', 10) + rep('T', 10) + rep('A', 10) +
             rep('C', 10) + "G\nGGGG\"\n      } } ,\n",
         9},
        {"ASN.1 protein, quotes", SEQFORMAT_ASN1, "MKVLEFW", "p1 say \"hi\"",
         "  seq {\n    id { local id 1 },\n    descr { title \"p1 say \"\"hi\"\"\" },\n    inst {\n"
         "      repr raw, mol aa, length 7, topology linear,\n      seq-data\n"
         "        iupacaa \"MKVLEFW\"\n      } } ,\n",
         8},
        {"PAUP", SEQFORMAT_PAUP, S12, ID,
         "[Name: seq1              Len:    12  Check: F2B4B1A3]\n     seq1  ACGTTGCAACGT\n", 2},
    };
    for (const FormatCase &c : cases) {
        gPretty.atseq = 0;
        Written w = write(c.format, c.letters, c.idline);
        EXPECT_EQ(w.text, c.expected) << c.what;
        EXPECT_EQ(w.lines, c.lines) << c.what;
    }
}

TEST_F(SeqlibWrite, GenBankHundredLetters) {
    std::string letters;
    for (int i = 0; i < 100; i++) letters += "ACGT"[i % 4];
    std::string ten = "ACGTACGTAC", ten2 = "GTACGTACGT";
    std::string row = "  " + ten + " " + ten2 + " " + ten + " " + ten2 + " " + ten;
    Written w = write(SEQFORMAT_GENBANK, letters, "g100");
    std::string body = w.text.substr(w.text.find("ORIGIN      \n") + 13);
    EXPECT_EQ(body, "       1" + row + "\n      51  " + ten2 + " " + ten + " " + ten2 + " " + ten +
                        " " + ten2 + "\n//\n");
}

TEST_F(SeqlibWrite, Descriptions) {
    struct Case {
        std::string idline;
        std::string header;  // the Pearson header line for S12
    } cases[] = {
        // An old length-and-checksum note is dropped.
        {"seq1 old, 12 bases, F2B4B1A3 checksum.", ">seq1 old, 12 bases, F2B4B1A3 checksum.\n"},
        {"s a,b, 9 bases, 1 checksum.", ">s a,b, 12 bases, F2B4B1A3 checksum.\n"},
        // Without a ',' before "bases" nothing is cut.
        {"s bases checksum", ">s bases checksum, 12 bases, F2B4B1A3 checksum.\n"},
        {",x bases checksum", ">, 12 bases, F2B4B1A3 checksum.\n"},
        // Only both words together mark the note.
        {"s, 3 bases", ">s, 3 bases, 12 bases, F2B4B1A3 checksum.\n"},
        {"\t\n  lead", ">lead, 12 bases, F2B4B1A3 checksum.\n"},
        {"", ">, 12 bases, F2B4B1A3 checksum.\n"},
        // At most 128 characters of the ID line.
        {rep('d', 200), ">" + rep('d', 128) + ", 12 bases, F2B4B1A3 checksum.\n"},
    };
    for (const Case &c : cases) {
        Written w = write(SEQFORMAT_FASTA, S12, c.idline);
        EXPECT_EQ(w.text, c.header + S12 + "\n") << c.idline;
    }
    // The name is the first word, at most 30 characters.
    Written w = write(SEQFORMAT_IG, "AC", rep('n', 40) + " x");
    EXPECT_EQ(w.text.substr(w.text.find('\n') + 1), rep('n', 30) + "\nAC1\n");
}

TEST_F(SeqlibWrite, EmptySequenceClosesItsEntry) {
    struct Case {
        short format;
        std::string expected;
        long lines;
    } cases[] = {
        {SEQFORMAT_FASTA, ">e, 0 bases, 0 checksum.\n", 1},
        {SEQFORMAT_PLAIN, "", 0},
        {SEQFORMAT_GENBANK,
         "LOCUS       e       0 bp\nDEFINITION  e, 0 bases, 0 checksum.\nORIGIN      \n\n//\n", 5},
        {SEQFORMAT_PHYLIP, "e           \n", 1},
        {SEQFORMAT_ASN1,
         "  seq {\n    id { local id 1 },\n    descr { title \"e\" },\n    inst {\n"
         "      repr raw, mol not-set, length 0, topology linear,\n      seq-data\n"
         "        iupacna \"\"\n      } } ,\n",
         8},
    };
    for (const Case &c : cases) {
        gPretty.atseq = 0;
        Written w = write(c.format, "", "e");
        EXPECT_EQ(w.text, c.expected) << c.format;
        EXPECT_EQ(w.lines, c.lines) << c.format;
    }
}

TEST_F(SeqlibWrite, EntryCounterNumbersAsn1Entries) {
    gPretty.atseq = 40000;
    write(SEQFORMAT_FASTA, "AC", "a");
    Written w = write(SEQFORMAT_ASN1, "AC", "b");
    EXPECT_NE(w.text.find("local id 40002 }"), std::string::npos) << w.text;
    EXPECT_EQ(gPretty.atseq, 40002);
}

TEST_F(SeqlibWrite, RefusesWithoutWriting) {
    for (int width : {0, -5}) {
        gPretty.seqwidth = (int16_t)width;
        Written w = write(SEQFORMAT_PRETTY, S12, ID);
        EXPECT_EQ(w.lines, SEQERR_BAD_PRETTY_WIDTH);
        EXPECT_EQ(w.text, "");
    }
    EXPECT_EQ(writeSeq(nullptr, "AC", 2, SEQFORMAT_FASTA, "a"), SEQERR_CANT_OPEN_OUTPUT);
    EXPECT_EQ(gPretty.atseq, 0);
}

TEST_F(SeqlibWrite, PrettyOptions) {
    struct Case {
        const char *what;
        PrettyOpts opts;
        std::string letters;
        std::string expected;
        long lines;
    } cases[] = {
        {"names, numbers, blocks, header",
         [] {
             PrettyOpts o{};
             o.numleft = o.numright = o.nameleft = o.nameright = o.header = 1;
             o.namewidth = 6;
             o.spacer = 4;
             o.seqwidth = 10;
             o.tab = 1;
             return o;
         }(),
         S12,
         "Name: seq1              Len:    12  Check: F2B4B1A3\n"
         "  seq1   1   ACGT TGCA AC  10   seq1 \n"
         "  seq1  11   GT" +
             rep(' ', 12) + "12   seq1 \n",
         3},
        {"one line, no blocks",
         [] {
             PrettyOpts o{};
             o.seqwidth = 50;
             return o;
         }(),
         S12, S12 + rep(' ', 38) + "\n", 1},
        {"wide blocks are not cut",
         [] {
             PrettyOpts o{};
             o.seqwidth = 300;
             o.spacer = 1;
             return o;
         }(),
         rep('A', 251),
         [] {
             // One letter a block; the last line is padded with block blanks and blanks.
             std::string s;
             for (int i = 0; i < 250; i++) s += " A";
             s += "\n A";
             for (int i = 1; i < 250; i++) s += "  ";
             return s + "\n";
         }(),
         2},
        {"count bases only, gap added",
         [] {
             PrettyOpts o{};
             o.baseonlynum = o.numright = 1;
             o.gapchar = '~';
             o.seqwidth = 4;
             return o;
         }(),
         "AC-G~T.A", "AC-G  3 \n~T.A  5 \n", 2},
        {"count bases only, match character counts",
         [] {
             PrettyOpts o{};
             o.baseonlynum = o.numright = o.domatch = 1;
             o.gapchar = '~';
             o.matchchar = '.';
             o.seqwidth = 4;
             return o;
         }(),
         "AC-G~T.A", "AC-G  3 \n~T.A  6 \n", 2},
        {"mark line",
         [] {
             PrettyOpts o{};
             o.numline = 2;
             o.seqwidth = 10;
             return o;
         }(),
         S12, "|" + rep(' ', 8) + "|\n|" + rep(' ', 9) + "\n", 2},
        {"ruler",
         [] {
             PrettyOpts o{};
             o.numline = 1;
             o.seqwidth = 10;
             return o;
         }(),
         S12, "1" + rep(' ', 9) + "10" + rep(' ', 8) + "\n11" + rep(' ', 8) + "\n", 2},
    };
    for (const Case &c : cases) {
        gPretty = c.opts;
        Written w = write(SEQFORMAT_PRETTY, c.letters, ID);
        EXPECT_EQ(w.text, c.expected) << c.what;
        EXPECT_EQ(w.lines, c.lines) << c.what;
    }
}

// ---------------------------------------------------------------------------------------------
// Round trips: what writeSeq wrote is detected and read back by the library with the same IDs
// and letters.

struct Entry {
    std::string idline, letters;
};

std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// Line k of every entry in turn from line `from` on, blocks apart by an empty line.
std::string interleaved(const std::vector<std::vector<std::string>> &entries, size_t from) {
    std::string out;
    for (size_t k = from;; k++) {
        std::string block;
        for (const auto &e : entries)
            if (k < e.size()) block += e[k];
        if (block.empty()) return out;
        out += (k > from ? "\n" : "") + block;
    }
}

// A whole file of the entries, with the file header and trailer that the alignment formats need
// (the entries themselves come from writeSeq).
std::string file_of(short format, const std::vector<Entry> &entries) {
    std::vector<std::vector<std::string>> lines;
    std::string all;
    unsigned long check = 0;
    for (const Entry &e : entries) {
        Written w = write(format, e.letters, e.idline);
        all += w.text;
        lines.push_back(split_lines(w.text));
        GCGchecksum(e.letters.c_str(), (int64_t)e.letters.size(), &check);
    }
    std::string n = std::to_string(entries.size()), len = std::to_string(entries[0].letters.size());
    switch (format) {
        case SEQFORMAT_PHYLIP_SEQUENTIAL: return " " + n + " " + len + "\n" + all;
        case SEQFORMAT_PHYLIP: return " " + n + " " + len + "\n" + interleaved(lines, 0);
        case SEQFORMAT_MSF: {
            std::string out =
                " rt.msf  MSF: " + len + "  Type: N  Check: " + std::to_string(check) + "  ..\n\n";
            for (const auto &e : lines) out += e[0];
            return out + "\n//\n\n" + interleaved(lines, 1);
        }
        case SEQFORMAT_PAUP: {
            std::string out = "#NEXUS\nbegin data;\n  dimensions ntax=" + n + " nchar=" + len +
                              ";\n  format datatype=dna interleave missing=- gap=-;\nmatrix\n";
            for (const auto &e : lines) out += e[0];
            return out + interleaved(lines, 1) + ";\nend;\n";
        }
        default: return all;
    }
}

std::string first_word(const char *text) {
    std::string s = text ? text : "";
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_first_of(" \t", b) - b);
}

TEST_F(SeqlibWrite, RoundTripsThroughTheReaders) {
    const std::string d1 =
        "ACGTACGTTTGACCAGTAGGCATCGATCGGGATTACAGGCTTAACGGTACCGTAACGTTAGCAGTCAGTCGATGC";
    const std::string d2 =
        "TTGACCAGTA--TACGGGCATCGATCGGGATTACAGGCTTAACGGTACCGTAACGTTAGCAGTCAGTCGATGCAA";
    const std::string p1 =
        "MKVLEFWAGHIKLMNPQRSTVYACDEMKVLEFWAGHIKLMNPQRSTVYACDEMKVLEFWAGHIKLMNPQRSTV";
    const std::vector<Entry> dna = {{"dna1 first sequence", d1}, {"dna2 second, gapped", d2}};
    const std::vector<Entry> two = {{"dna1 first sequence", d1}, {"prot1 a protein", p1}};
    const std::vector<Entry> one = {{"dna1 first sequence", d1}};
    struct Case {
        short format;
        const std::vector<Entry> *entries;
        std::vector<short> detected;  // formats detection may give
        const char *plain_id;         // the ID of a Plain entry (no ID in the file)
    } cases[] = {
        {SEQFORMAT_IG, &two, {SEQFORMAT_IG}, nullptr},
        {SEQFORMAT_GENBANK, &two, {SEQFORMAT_GENBANK}, nullptr},
        {SEQFORMAT_NBRF, &two, {SEQFORMAT_NBRF}, nullptr},
        {SEQFORMAT_EMBL, &two, {SEQFORMAT_EMBL}, nullptr},
        {SEQFORMAT_GCG, &one, {SEQFORMAT_GCG}, nullptr},
        {SEQFORMAT_STRIDER, &one, {SEQFORMAT_STRIDER}, nullptr},
        {SEQFORMAT_FITCH, &dna, {SEQFORMAT_FITCH}, nullptr},
        {SEQFORMAT_FASTA, &two, {SEQFORMAT_FASTA}, nullptr},
        {SEQFORMAT_PHYLIP_SEQUENTIAL,
         &dna,
         {SEQFORMAT_PHYLIP_SEQUENTIAL, SEQFORMAT_PHYLIP},
         nullptr},
        {SEQFORMAT_PHYLIP, &dna, {SEQFORMAT_PHYLIP}, nullptr},
        {SEQFORMAT_PLAIN, &one, {SEQFORMAT_PLAIN}, "rt.13(1)"},
        {SEQFORMAT_PIR, &two, {SEQFORMAT_PIR}, nullptr},
        {SEQFORMAT_MSF, &dna, {SEQFORMAT_MSF}, nullptr},
        {SEQFORMAT_PAUP, &dna, {SEQFORMAT_PAUP}, nullptr},
    };
    std::string dir = scratch_dir();
    for (const Case &c : cases) {
        std::string path = dir + "/rt." + std::to_string(c.format);
        write_text(path, file_of(c.format, *c.entries));
        int skip = -1;
        short err = 1;
        short found = seqFileFormat(path.c_str(), &skip, &err);
        EXPECT_NE(std::find(c.detected.begin(), c.detected.end(), found), c.detected.end())
            << "format " << c.format << " detected as " << found;
        EXPECT_EQ(skip, 0);
        for (size_t k = 0; k < c.entries->size(); k++) {
            const Entry &e = (*c.entries)[k];
            int64_t len = -1;
            int nseqs = 0;
            char *id = nullptr;
            char *got = seqlibRead((int)k + 1, path.c_str(), 0, c.format, &len, &nseqs, &err, &id);
            ASSERT_NE(got, nullptr) << "format " << c.format << " entry " << k + 1;
            EXPECT_EQ(err, 0) << "format " << c.format;
            EXPECT_EQ(std::string(got), e.letters) << "format " << c.format << " entry " << k + 1;
            EXPECT_EQ(len, (int64_t)e.letters.size()) << "format " << c.format;
            EXPECT_EQ(first_word(id), c.plain_id ? c.plain_id : first_word(e.idline.c_str()))
                << "format " << c.format << " entry " << k + 1 << " ID line " << (id ? id : "");
            free(got);
            free(id);
        }
    }
}

}  // namespace
