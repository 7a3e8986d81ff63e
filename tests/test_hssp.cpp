// HSSP files (detection, header, aligned rows, as sequence tracks) and structure templates
// (extraction, .tplate files, environment codes, application to a model).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alphabet.h"
#include "hssp.h"
#include "init.h"
#include "seqio.h"
#include "sequence.h"
#include "testutil.h"
#include "utilities.h"

namespace {

class Hssp : public ::testing::Test {
protected:
    std::string dir;
    std::string good;  // tests/data/hssp_two_blocks.hssp (hssp_make.py)
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        reset_alphabets();
        init_alphabet_by_name("protein", 0, "");
        dir = scratch_dir();
        good = read_text(test_data("hssp_two_blocks.hssp"));
    }
    void TearDown() override { reset_alphabets(); }
    std::string file(const std::string &name, const std::string &text) {
        std::string p = dir + "/" + name;
        write_text(p, text);
        return p;
    }
    // The good file with the first occurrence of from replaced by to.
    std::string edited(const std::string &from, const std::string &to) {
        std::string t = good;
        size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) t.replace(at, from.size(), to);
        return t;
    }
    // Rows of read_HSSP on a file (freed), or the fatal message in *message.
    std::vector<std::string> rows_of(const std::string &path, int flag = 0,
                                     const char *id = nullptr, std::string *message = nullptr) {
        std::vector<std::string> out;
        FILE *fp = open_read(path.c_str(), OPEN_FATAL);
        std::string m = fatal_of([&] {
            int n = -1;
            char **rows = read_HSSP(fp, &n, flag, id, path.c_str());
            for (int i = 0; i < n; i++) {
                out.emplace_back(rows[i]);
                free(rows[i]);
            }
            free(rows);
        });
        close_read(fp);
        if (message) *message = m;
        return out;
    }
};

TEST_F(Hssp, Detection) {
    EXPECT_EQ(isHSSP(file("a", "HSSP and anything").c_str()), 1);
    EXPECT_EQ(isHSSP(file("b", "hssp in lower case").c_str()), 0);
    EXPECT_EQ(isHSSP(file("c", "HSS").c_str()), 0);
    EXPECT_EQ(isHSSP((dir + "/missing").c_str()), 0);
    EXPECT_EQ(isHSSP(""), 0);
    EXPECT_EQ(isHSSP(nullptr), 0);
}

TEST_F(Hssp, InfoGivesLengthAndCount) {
    int len = 0, cols = 0, count = 0;
    HSSPinfo(test_data("hssp_two_blocks.hssp").c_str(), &len, &cols, &count);
    EXPECT_EQ(len, 5);
    EXPECT_EQ(cols, 5);
    EXPECT_EQ(count, 3);
    HSSPinfo(test_data("hssp_two_blocks.hssp").c_str(), nullptr, nullptr, nullptr);
}

// Rows worked out by hand from hssp_make.py: block 1 holds relatives 1-2 ("MM", "Kk", "V.",
// "L" then a short line, " E"), block 2 relative 3 ("M", "K", " ", "_", "q"); the chain-break
// line is skipped; lower case becomes capital; '.', '_', blanks and short lines become '-'.
TEST_F(Hssp, RowsOfEveryRelative) {
    std::string message;
    std::vector<std::string> rows =
        rows_of(test_data("hssp_two_blocks.hssp"), 0, nullptr, &message);
    EXPECT_EQ(message, "");
    EXPECT_EQ(rows, (std::vector<std::string>{"MKVL-", "MK--E", "MK--Q"}));
}

TEST_F(Hssp, LongLinesAreReadWhole) {
    // A header line of 15000 characters whose tail looks like an NALIGN line must stay one line.
    std::string longline = "COMMENT " + std::string(15000 - 8 - 16, 'x') + "NALIGN       99";
    ASSERT_EQ(longline.size(), 15000u - 1);
    std::string p = file("long.hssp", edited("PDBID", longline + "\nPDBID"));
    std::string message;
    EXPECT_EQ(rows_of(p, 0, nullptr, &message).size(), 3u);
    EXPECT_EQ(message, "");
}

TEST_F(Hssp, MalformedFilesAreRefused) {
    struct Case {
        std::string from, to, message;
    };
    const std::string head =
        " SeqNo  PDBNo AA STRUCTURE BP1 BP2  ACC NOCC  VAR  ....:....1....:....2";
    std::vector<Case> cases = {
        {"## ALIGNMENTS    1 -    2", "",
         "line 19: block of relatives 3 - 3 does not follow relative 0 within NALIGN 3"},
        {"SEQLENGTH     5", "SEQLENGTH     0",
         "line 12: SEQLENGTH missing or 0 before the alignments"},
        {"SEQLENGTH     5", "", "line 11: SEQLENGTH missing or 0 before the alignments"},
        {"SEQLENGTH     5", "SEQLENGTH  many", "line 4: unreadable SEQLENGTH"},
        {"NALIGN        3", "NALIGN        0",
         "line 12: NALIGN missing or 0: no aligned relatives"},
        {"SEQLENGTH     5", "SEQLENGTH     7",
         "line 20: SEQLENGTH 7 but the block of relatives 1 - 2 has 5 residue lines"},
        {"SEQLENGTH     5", "SEQLENGTH     4",
         "line 19: more residue lines than SEQLENGTH, or no \"## ALIGNMENTS\" block next"},
        {"NALIGN        3", "NALIGN        1",
         "line 12: block of relatives 1 - 2 does not follow relative 0 within NALIGN 1"},
        {"## ALIGNMENTS    3 -    3", "## ALIGNMENTS    3 -    4",
         "line 20: block of relatives 3 - 4 does not follow relative 2 within NALIGN 3"},
        {"## ALIGNMENTS    3 -    3", "## ALIGNMENTS    2 -    3",
         "line 20: block of relatives 2 - 3 does not follow relative 2 within NALIGN 3"},
        {"## ALIGNMENTS    1 -    2", "## ALIGNMENTS    one - two",
         "line 12: unreadable \"## ALIGNMENTS\" range"},
        {head, " SeqNo  PDBNo AA STRUCTURE BP1 BP2  ACC NOCC  VAR",
         "line 13: column header without its \"AA\" and '.' marks"},
        {head, " SeqNo  PDBNo aa STRUCTURE BP1 BP2  ACC NOCC  VAR  ....:....1....:....2",
         "line 13: column header without its \"AA\" and '.' marks"},
        {head, " SeqNo  PDBNo AA STRUCTURE BP1 BP2  ACC NOCC  VAR  .",
         "line 13: block of relatives wider than its column header"},
    };
    for (const Case &c : cases) {
        std::string p = file("bad.hssp", edited(c.from + "\n", c.to.empty() ? "" : c.to + "\n"));
        std::string message;
        rows_of(p, 0, nullptr, &message);
        std::string want = "HSSP file " + p + ", " + c.message;
        EXPECT_EQ(message, want) << c.from << " -> " << c.to;
    }
    // Cut before the alignments, inside block 2, and before block 2 or its column header.
    std::string message;
    std::string p = file("cut0.hssp", good.substr(0, good.find("## ALIGNMENTS")));
    rows_of(p, 0, nullptr, &message);
    EXPECT_EQ(message, "HSSP file " + p + ": no \"## ALIGNMENTS\" block (truncated file?)");
    size_t b2 = good.find("## ALIGNMENTS    3");
    rows_of(file("cut1.hssp", good.substr(0, good.find("\n", good.find("\n", b2) + 1) + 1) +
                                  "    1         M                     120            M\n"),
            0, nullptr, &message);
    EXPECT_NE(message.find("SEQLENGTH 5 but the block of relatives 3 - 3 has 1 residue lines"),
              std::string::npos)
        << message;
    rows_of(file("cut2.hssp", good.substr(0, b2)), 0, nullptr, &message);
    EXPECT_NE(message.find("file ends before the next \"## ALIGNMENTS\" block"), std::string::npos)
        << message;
    rows_of(file("cut3.hssp", good.substr(0, good.find("\n", b2) + 1)), 0, nullptr, &message);
    EXPECT_NE(message.find("file ends before the column header"), std::string::npos) << message;
}

// The template of the test file, by hand: residues MKVLE, structure " HHEE" (blank as '*'),
// accessibility 120 45 10 0 80; environment codes of "*HHEE": **H, *HH, HH*, *EE, EE* = 9 3 4 5 6.
TEST_F(Hssp, TemplateWrittenAndReadBack) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    std::string message;
    rows_of(test_data("hssp_two_blocks.hssp"), 1, "1tst", &message);
    EXPECT_EQ(message, "");
    std::string text = read_text(dir + "/1tst.tplate");
    ASSERT_EQ(chdir(cwd), 0);
    size_t date = text.find("%\tFile generated ");
    ASSERT_NE(date, std::string::npos);
    text.erase(date, text.find('\n', date) + 1 - date);
    EXPECT_EQ(text,
              "TEMPLATE\n%\n%\n%\tTemplate sequence from 1tst\n%\n%\n%\nSEQLENGTH   5\nID  1tst\n"
              "%\n%\n%AA    STRUCTURE    ACCESSIBILITY\n%--   -----------   -------------\n\n"
              " M         *          120\n K         H          45\n V         H          10\n"
              " L         E          0\n E         E          80\n");

    Sequence *seq = nullptr;
    Template *t = read_template((dir + "/1tst.tplate").c_str(), &seq);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->length, 5);
    EXPECT_STREQ(t->id, "1tst");
    EXPECT_STREQ(t->residues + 1, "MKVLE");
    EXPECT_EQ(std::string(t->structure, 7), " *HHEE ");
    EXPECT_EQ(std::vector<int>(t->acc + 1, t->acc + 6), (std::vector<int>{120, 45, 10, 0, 80}));
    EXPECT_EQ(std::vector<int>(t->env + 1, t->env + 6), (std::vector<int>{9, 3, 4, 5, 6}));
    ASSERT_NE(seq, nullptr);
    EXPECT_STREQ(seq->id, "1tst");
    EXPECT_EQ(seq->len, 5);
    // Letter indices in ACDEFGHIKLMNPQRSTVWYBZX: M 10, K 8, V 17, L 9, E 3.
    EXPECT_EQ(std::vector<int>(seq->tracks[0].res, seq->tracks[0].res + 5),
              (std::vector<int>{10, 8, 17, 9, 3}));
    free_sequence(seq);
    free_template(t);
    EXPECT_EQ(read_template("", &seq), nullptr);
    EXPECT_EQ(seq, nullptr);
}

TEST_F(Hssp, TemplateFaults) {
    const std::string head = "TEMPLATE\n%\nSEQLENGTH   2\nID  tt\n%\n\n";
    struct Case {
        std::string text, message;
    };
    std::vector<Case> cases = {
        {"", "The specified template file %s is not a template file."},
        {"\n\nMODEL\n", "The specified template file %s is not a template file."},
        {"TEMPLATE\nID  tt\n M H 3\n", "Template file %s: SEQLENGTH missing, unreadable or 0"},
        {"TEMPLATE\nSEQLENGTH   0\nID  tt\n",
         "Template file %s: SEQLENGTH missing, unreadable or 0"},
        {"TEMPLATE\nSEQLENGTH   2\n M H 3\n", "Template file %s: no ID line after SEQLENGTH"},
        {head + " M H 3\n K H 4\n V E 5\n",
         "Template file %s, line 9: more residue rows than SEQLENGTH 2"},
        {head + " M H\n",
         "Template file %s, line 7: not a residue, structure letter and accessibility"},
        {head + " M H 3\n",
         "Number of residues read from template sequence does not match number specified in file "
         "%s (1, SEQLENGTH 2). Or, no sequences found."},
        {head, "Number of residues read from template sequence does not match number specified in "
               "file %s (0, SEQLENGTH 2). Or, no sequences found."},
    };
    for (const Case &c : cases) {
        std::string p = file("t.tplate", c.text);
        std::string want = c.message;
        want.replace(want.find("%s"), 2, p);
        Sequence *seq = nullptr;
        EXPECT_EQ(fatal_of([&] { read_template(p.c_str(), &seq); }), want) << c.text;
    }
}

TEST_F(Hssp, StructureCodes) {
    std::vector<int> want = {3, 0, 4, 5, 6};
    int *env = GetEnv(" HHHEE ", 5);
    EXPECT_EQ(std::vector<int>(env + 1, env + 6), want);
    free(env);
    EXPECT_EQ(StructureFromTriple4("GGG"), TRIPLE_ANY);
    EXPECT_EQ(StructureFromTriple4("TT*"), 7);
    EXPECT_EQ(StructureFromTriple4("ETT"), 8);
    EXPECT_EQ(StructureFromTriple4("H"), 10);  // read up to its end: "H**"
    int acc[5] = {0, 20, 21, 70, 71};
    binACC(acc, 4);
    EXPECT_EQ(std::vector<int>(acc + 1, acc + 5), (std::vector<int>{0, 1, 1, 2}));
    char buf[16];
    EnvFromCode(buf, 34);
    EXPECT_STREQ(buf, "TTT, 2");
    EXPECT_EQ(fatal_of([&] { EnvFromCode(buf, -1); }), "Unknown environment code -1");
}

TEST_F(Hssp, ApplyTemplateFillsNodeEnvironments) {
    Template *t = alloc_template(5, "tt");
    int acc[] = {0, 0, 1, 2, 0, 1, 0};
    std::memcpy(t->acc, acc, sizeof acc);
    std::memcpy(t->structure, " *HHEE ", 7);
    Sequence *seq = alloc_sequence(4, 1);
    seq->id = str_dup("tt");
    // 1 insert, 3 matches, 1 delete, 1 match: nodes 1..5.
    const unsigned char code[] = {1, 103, 201, 101, 0};
    seq->align = static_cast<unsigned char *>(memdub(code, sizeof code));
    Model *model = alloc_model(5);
    int **counts = reinterpret_cast<int **>(double_alloc(ACC_BINS, STRUCTURE_TRIPLES, sizeof(int)));
    for (int a = 0; a < ACC_BINS; a++)
        for (int e = 0; e < STRUCTURE_TRIPLES; e++) counts[a][e] = 1000 + 16 * a + e;
    ApplyTemplate(seq, model, t, counts);
    int envs[] = {0, 9, 3, 4, 5, 6};
    for (int j = 1; j <= 5; j++) {
        const NodeEnv *e = model->nodes[j]->nodeenv;
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->acc, acc[j]) << j;
        EXPECT_EQ(e->env, envs[j]) << j;
        EXPECT_EQ(e->code, 1000 + 16 * acc[j] + envs[j]) << j;
    }
    ASSERT_NE(model->nodes[0]->nodeenv, nullptr);
    EXPECT_EQ(model->nodes[0]->nodeenv->env, -1);
    ApplyTemplate(seq, model, nullptr, counts);  // nothing without a template

    // An alignment past the template, an unknown code, no alignment at all.
    const unsigned char longer[] = {106, 0};
    free(seq->align);
    seq->align = static_cast<unsigned char *>(memdub(longer, sizeof longer));
    Model *big = alloc_model(6);
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(seq, big, t, nullptr); }),
              "ApplyTemplate: alignment of tt reaches node 6; model has 6 nodes, template 5 "
              "positions");
    free_model(big);
    const unsigned char five[] = {105, 0};
    free(seq->align);
    seq->align = static_cast<unsigned char *>(memdub(five, sizeof five));
    t->acc[2] = -1;
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(seq, model, t, nullptr); }),
              "ApplyTemplate: unknown environment code (accessibility -1, code 3) at position 2");
    t->acc[2] = 7;
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(seq, model, t, counts); }),
              "ApplyTemplate: accessibility 7 or code 3 at position 2 outside the count table");
    free(seq->align);
    seq->align = nullptr;
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(seq, model, t, nullptr); }),
              "ApplyTemplate: template sequence tt has no alignment to the model");
    double_free(reinterpret_cast<void **>(counts), ACC_BINS);
    free_model(model);
    free_sequence(seq);
    free_template(t);
}

TEST_F(Hssp, FileAsSequenceTrack) {
    std::string p = file("two.hssp", good);
    EXPECT_EQ(count_sequences(p.c_str()), 3);
    SequenceTable *table = alloc_sequence_table();
    EXPECT_EQ(read_sequences(p.c_str(), nullptr, 100, table, 0), 3);
    ASSERT_EQ(table->count, 3);
    const char *rows[] = {"MKVL-", "MK--E", "MK--Q"};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(std::string(table->seqs[i]->id), "two.hssp#" + std::to_string(i));
        EXPECT_EQ(table->seqs[i]->len, 5);
        EXPECT_STREQ(reinterpret_cast<char *>(table->seqs[i]->tracks[0].res), rows[i]);
        EXPECT_EQ(table->seqs[i]->annotation, nullptr);
    }
    free_sequence_table(table);
    // A malformed file is refused when the source opens.
    std::string bad = file("bad.hssp", edited("NALIGN        3", "NALIGN        0"));
    EXPECT_NE(fatal_of([&] { open_sequences(bad.c_str()); }).find("NALIGN missing or 0"),
              std::string::npos);
}

}  // namespace
