// HSSP files (detection, header, aligned rows, as sequence tracks) and structure templates
// (extraction, .tplate files, environment codes, application to a model).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "engine/forward2.h"
#include "engine/template_align.h"
#include "sequences/hssp.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/params.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"
#include "testutil.h"

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
         "line 13: block of relatives 1 - 2 wider than the 1 relative columns of its column "
         "header"},
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

// A protein cost model of a consensus: each node matches its consensus letter for 10 and any
// other for 6000; entering a delete or an interior insert costs 6000 (a residue 6000 more),
// the flanking inserts (nodes 0 and L) nothing, at 1386 a residue; other transitions are free.
Model *consensus_model(const char *consensus) {
    int L = static_cast<int>(std::strlen(consensus));
    Model *m = alloc_model(L);
    alloc_mod_weight(m);
    const int w = alphabet->emit_length_wild;
    for (int j = 0; j <= L + 1; j++) {
        ModWeight *mw = m->weights[j];
        bool flank = j == 0 || j == L;
        for (int k = 0; k < 3; k++) {
            mw->ijump[k] = flank ? 0 : 6000;
            mw->djump[k] = j >= 1 && j <= L ? 6000 : 0;
        }
        for (int x = 0; x < w; x++) {
            mw->insert[x] = flank ? 1386 : 6000;
            mw->match[x] =
                j >= 1 && j <= L && x == letter_index(alphabet, consensus[j - 1]) ? 10 : 6000;
        }
    }
    for (int x = 0; x < w; x++) m->fim_weight->insert[x] = 1386;
    m->fim_weight->ijump[2] = 0;
    return m;
}

// Templates written and read back, aligned to the model of ACDEF and applied. Expected codes by
// hand: the cheapest path puts an extra residue in an interior insert (12000) and skips a
// missing one by a delete (6000), rather than mismatch the residues after it (6000 each).
TEST_F(Hssp, ApplyTemplateAlignsTheTemplate) {
    SW = SW_GLOBAL;
    struct Case {
        const char *what, *residues, *structure;
        std::vector<int> acc;             // 1..n, binned
        std::vector<unsigned char> code;  // the alignment found
        std::vector<int> node_pos;        // template position of nodes 1..5 (0: deleted)
        std::vector<int> node_env;        // its environment code (triples of the structure)
    } cases[] = {
        {"the consensus itself",
         "ACDEF",
         "HHHEE",
         {0, 1, 2, 0, 2},
         {105},
         {1, 2, 3, 4, 5},
         {3, 0, 4, 5, 6}},
        {"W inserted after node 2",
         "ACWDEF",
         "HHTEEE",
         {0, 1, 2, 1, 0, 2},
         {102, 1, 103},
         {1, 2, 4, 5, 6},
         {3, 4, 5, 1, 6}},  // position 3 (HTE, code 10) is passed over
        {"D missing at node 3",
         "ACEF",
         "HHEE",
         {2, 1, 0, 1},
         {102, 201, 102},
         {1, 2, 0, 3, 4},
         {3, 4, -1, 5, 6}},
    };
    int **counts = reinterpret_cast<int **>(double_alloc(ACC_BINS, STRUCTURE_TRIPLES, sizeof(int)));
    for (int a = 0; a < ACC_BINS; a++)
        for (int e = 0; e < STRUCTURE_TRIPLES; e++) counts[a][e] = 1000 + 16 * a + e;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int n = static_cast<int>(std::strlen(c.residues));
        std::string id = dir + "/tpl";
        std::vector<int> acc = {0};
        acc.insert(acc.end(), c.acc.begin(), c.acc.end());
        acc.push_back(0);
        PrintTemplate(id.c_str(), (" " + std::string(c.residues)).c_str(),
                      (" " + std::string(c.structure) + " ").c_str(), acc.data(), n);
        Sequence *seq = nullptr;
        Template *t = read_template((id + ".tplate").c_str(), &seq);
        ASSERT_NE(seq, nullptr);
        const unsigned char stale[] = {101, 0};  // replaced by the alignment
        seq->align = static_cast<unsigned char *>(memdub(stale, sizeof stale));
        Model *model = consensus_model("ACDEF");
        ApplyTemplate(seq, model, t, counts);
        std::vector<unsigned char> want = c.code;
        want.push_back(0);
        ASSERT_NE(seq->align, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(seq->align, seq->align + want.size()), want);
        for (int j = 1; j <= 5; j++) {
            const NodeEnv *e = model->nodes[j]->nodeenv;
            ASSERT_NE(e, nullptr);
            int pos = c.node_pos[j - 1];
            int a = pos ? acc[pos] : -1;
            EXPECT_EQ(e->acc, a) << j;
            EXPECT_EQ(e->env, c.node_env[j - 1]) << j;
            EXPECT_EQ(e->code, pos ? 1000 + 16 * a + c.node_env[j - 1] : 0) << j;
        }
        for (int j : {0, 6}) {
            ASSERT_NE(model->nodes[j]->nodeenv, nullptr);
            EXPECT_EQ(model->nodes[j]->nodeenv->env, -1);
        }
        free_model(model);
        free_sequence(seq);
        free_template(t);
    }
    free_forward2();
    double_free(reinterpret_cast<void **>(counts), ACC_BINS);
}

TEST_F(Hssp, ApplyTemplateRefusals) {
    SW = SW_GLOBAL;
    Template *t = alloc_template(5, "tt");
    int acc[] = {0, 0, 1, 2, 0, 1, 0};
    std::memcpy(t->acc, acc, sizeof acc);
    std::memcpy(t->structure, " HHHEE ", 7);
    std::memcpy(t->residues, " ACDEF", 6);
    auto make = [](const char *letters) {
        Sequence *s = alloc_sequence(static_cast<int>(std::strlen(letters)), 1);
        s->id = str_dup("tt");
        for (int i = 0; letters[i]; i++)
            s->tracks[0].res[i] = static_cast<unsigned char>(letter_index(alphabet, letters[i]));
        s->converted = 1;
        return s;
    };
    Sequence *seq = make("ACDEF");
    Sequence *longer = make("ACDEFG");
    Model *model = consensus_model("ACDEF");
    int **counts = reinterpret_cast<int **>(double_alloc(ACC_BINS, STRUCTURE_TRIPLES, sizeof(int)));
    ApplyTemplate(seq, model, nullptr, counts);  // nothing without a template
    ApplyTemplate(seq, nullptr, t, counts);      // nor without a model
    EXPECT_EQ(seq->align, nullptr);
    EXPECT_EQ(model->nodes[1]->nodeenv, nullptr);
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(nullptr, model, t, nullptr); }),
              "ApplyTemplate: no template sequence to align to the model");
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(longer, model, t, nullptr); }),
              "ApplyTemplate: template sequence tt has 6 residues, template 5 positions");
    t->acc[2] = -1;
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(seq, model, t, nullptr); }),
              "ApplyTemplate: unknown environment code (accessibility -1, code 0) at position 2");
    t->acc[2] = 7;
    EXPECT_EQ(fatal_of([&] { ApplyTemplate(seq, model, t, counts); }),
              "ApplyTemplate: accessibility 7 or code 0 at position 2 outside the count table");
    free_forward2();
    double_free(reinterpret_cast<void **>(counts), ACC_BINS);
    free_model(model);
    free_sequence(seq);
    free_sequence(longer);
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

// Real files (tests/data/hssp, see its README): header, every relative's row and the template
// against hssp_expected.py's values. "3A1P_A_fixed" is 3A1P_A.hssp with its range lines corrected.
struct RealHssp {
    std::string seqlength_nalign, residues, structure, acc;
    std::vector<std::string> rows;
};

RealHssp expected_of(const std::string &name) {
    RealHssp e;
    std::string text = read_text(test_data("hssp/" + name + ".expected"));
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(text.substr(at, nl - at));
    EXPECT_GE(lines.size(), 5u) << name;
    if (lines.size() < 5) return e;
    e.seqlength_nalign = lines[0];
    e.residues = lines[1];
    e.structure = lines[2];
    e.acc = lines[3];
    e.rows.assign(lines.begin() + 4, lines.end());
    return e;
}

std::string fixed_3A1P_A() {
    std::string t = read_text(test_data("hssp/3A1P_A.hssp"));
    for (auto fix : {std::make_pair("## ALIGNMENTS   71 -  144", "## ALIGNMENTS   71 -  140"),
                     std::make_pair("## ALIGNMENTS  145 -  190", "## ALIGNMENTS  141 -  190")}) {
        size_t at = t.find(fix.first);
        EXPECT_NE(at, std::string::npos);
        if (at != std::string::npos) t.replace(at, std::strlen(fix.first), fix.second);
    }
    return t;
}

TEST_F(Hssp, RealFilesRowsAndTemplates) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    for (std::string name : {"1ppt", "cad23-fil", "3A1P_A_fixed"}) {
        SCOPED_TRACE(name);
        std::string path = name == "3A1P_A_fixed" ? file(name + ".hssp", fixed_3A1P_A())
                                                  : test_data("hssp/" + name + ".hssp");
        RealHssp want = expected_of(name);
        EXPECT_EQ(isHSSP(path.c_str()), 1);
        int len = 0, count = 0;
        HSSPinfo(path.c_str(), &len, nullptr, &count);
        EXPECT_EQ("SEQLENGTH " + std::to_string(len) + " NALIGN " + std::to_string(count),
                  want.seqlength_nalign);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        std::string message;
        std::vector<std::string> rows = rows_of(path, 1, "real", &message);
        ASSERT_EQ(chdir(cwd), 0);
        EXPECT_EQ(message, "");
        ASSERT_EQ(rows.size(), want.rows.size());
        for (size_t k = 0; k < rows.size(); k++)
            EXPECT_EQ(rows[k], want.rows[k]) << "relative " << k + 1;
        Sequence *seq = nullptr;
        Template *t = read_template((dir + "/real.tplate").c_str(), &seq);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->length, len);
        EXPECT_EQ(std::string(t->residues + 1), want.residues);
        EXPECT_EQ(std::string(t->structure + 1, static_cast<size_t>(len)), want.structure);
        std::string acc;
        for (int i = 1; i <= len; i++) acc += (i > 1 ? " " : "") + std::to_string(t->acc[i]);
        EXPECT_EQ(acc, want.acc);
        EXPECT_EQ(seq->len, len);
        free_sequence(seq);
        free_template(t);
    }
    // As published, 3A1P_A.hssp labels 74 relatives for a block whose header has 70 columns:
    // it is read by the columns, as 3A1P_A_fixed, with one warning.
    std::string path = test_data("hssp/3A1P_A.hssp"), message;
    testing::internal::CaptureStderr();
    std::vector<std::string> rows = rows_of(path, 0, nullptr, &message);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: HSSP file " + path +
                  ", line 398: block label \"71 - 144\" disagrees with the 70 relative columns "
                  "of its column header; relatives 71 - 140 read by the columns\n");
    EXPECT_EQ(message, "");
    EXPECT_EQ(rows, expected_of("3A1P_A_fixed").rows);
}

}  // namespace
