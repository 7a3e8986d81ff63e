// Alignment reading (files written by other tools and hand-made rows), alignment codes, counting
// an aligned sequence into a model, and multiple-domain cutting on a hand-worked model.
#include "sequences/alignment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <cstring>

#include "foundation/alphabet.h"
#include "models/alignment_counts.h"
#include "models/codon.h"
#include "models/constraints.h"
#include "engine/domains.h"
#include "engine/emloop.h"
#include "engine/forward2.h"
#include "engine/report_align.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/seqio_print.h"
#include "scorefiles/seqio_report.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<int>;

Bytes code_of(const Sequence *s) {
    Bytes b;
    for (const unsigned char *c = s->align; c && *c; c++) b.push_back(*c);
    return b;
}

void use_alphabet(const char *name) {
    reset_alphabets();
    init_alphabets();
    init_alphabet_by_name(name, 0, "");
}

std::string write_rows(const std::vector<std::string> &rows) {
    std::string text;
    for (size_t i = 0; i < rows.size(); i++)
        text += ">r" + std::to_string(i) + "\n" + rows[i] + "\n";
    std::string path = scratch_dir() + "/rows.a2m";
    write_text(path, text);
    return path;
}

class AlignmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        initialize_variables();
        use_alphabet("protein");
    }
};

TEST_F(AlignmentTest, HandMadeRows) {
    const std::string A250(250, 'A'), D60(60, '-');
    struct Case {
        const char *what;
        std::vector<std::string> rows;
        int type;
        std::vector<std::string> kept;  // IDs of the rows kept
        std::vector<Bytes> codes;
        std::vector<int> fims;
    } cases[] = {
        {"two A2M rows",
         {"ACd-E", "A-eFG"},
         ALIGNTYPE_A2M,
         {"r0", "r1"},
         {{102, 1, 201, 101}, {101, 201, 1, 102}},
         {}},
        {"long runs split",
         {A250 + D60, A250 + D60},
         ALIGNTYPE_A2M,
         {"r0", "r1"},
         {{199, 199, 152, 254, 206}, {199, 199, 152, 254, 206}},
         {}},
        {"equal lengths, unequal match counts",
         {"ACgT", "ACGT", "a.Ck"},
         ALIGNTYPE_ALLPOS,
         {"r0", "r1", "r2"},
         {{104}, {104}, {101, 201, 102}},
         {}},
        {"dots dropped",
         {"AC..dE", "A..-C"},
         ALIGNTYPE_A2M,
         {"r0", "r1"},
         {{102, 1, 101}, {101, 201, 101}},
         {}},
        {"FIM marks of the first row",
         {"ACOD", "AOCD"},
         ALIGNTYPE_A2M,
         {"r0", "r1"},
         {{104}, {104}},
         {3}},
        {"digit runs ask for more residues than the row holds",
         {"ACdEF", "ACd3EF", "AC99999999DE", "AC1DE"},
         ALIGNTYPE_A2M,
         {"r0", "r3"},
         {{102, 1, 102}, {102, 1, 102}},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = write_rows(c.rows);
        int columns, matches, count;
        EXPECT_EQ(alignment_type(path.c_str(), &columns, &matches, &count, nullptr), c.type);
        EXPECT_EQ(count, (int)c.rows.size());
        int *fims = nullptr, nfims = -1;
        testing::internal::CaptureStderr();
        SequenceTable *t = read_alignment(path.c_str(), &fims, &nfims);
        testing::internal::GetCapturedStderr();
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->count, (int)c.kept.size());
        for (int i = 0; i < t->count; i++) {
            EXPECT_EQ(t->seqs[i]->id, c.kept[i]);
            EXPECT_EQ(code_of(t->seqs[i]), c.codes[i]);
        }
        EXPECT_EQ(std::vector<int>(fims, fims + nfims), c.fims);
        free(fims);
        free_sequence_table(t);
    }
}

TEST_F(AlignmentTest, RefusedRowsAreNamedAndDigitRowsWriteBack) {
    std::string path = write_rows({"ACdEF", "ACd3EF", "AC1DE"});
    testing::internal::CaptureStderr();
    SequenceTable *t = read_alignment(path.c_str(), nullptr, nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Reading alignment file " + path +
                       " (3 sequences, 4 columns) as A2M alignment.\n"),
              std::string::npos);
    EXPECT_NE(err.find("sequence 1 (r1) has an alignment that does not fit its 6 residues"),
              std::string::npos);
    ASSERT_EQ(t->count, 2);
    std::string out = output_of([&](FILE *f) { print_seqalignment(f, t, 1, 0); });
    EXPECT_EQ(out, ">r0\nACdEF\n>r2\nACxDE\n");
    free_sequence_table(t);
}

TEST_F(AlignmentTest, NoAlignment) {
    std::string path = write_rows({"ACDE", "AC"});
    testing::internal::CaptureStderr();
    int *fims = reinterpret_cast<int *>(1);
    int n = 5;
    EXPECT_EQ(read_alignment(path.c_str(), &fims, &n), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "File " + path +
                       " (2 sequences) does not look like an alignment.\n"
                       " There must be the same number of columns in each sequence.\n"
                       " In a2m format, a column is a capital letter or -.  If each sequence\n"
                       " does not have the same number of capitals and hyphens, QOR will try\n"
                       " treating every uppercase, lowercase, period and hyphen as a column.\n"
                       "QOR will ignore the alignment file.\n"
                       "On the WWW server, QOR will train a model on the unaligned sequences.\n");
    EXPECT_EQ(fims, nullptr);
    EXPECT_EQ(n, 0);
    // With a table, the rows read are taken out again; entries already there stay.
    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, alloc_sequence(3, 1));
    EXPECT_EQ(alignment_type(path.c_str(), nullptr, nullptr, nullptr, t), ALIGNTYPE_UNALIGNED);
    EXPECT_EQ(t->count, 1);
    free_sequence_table(t);
    const char *names[] = {"unaligned", "HSSP alignment", "A2M alignment",
                           "all positions alignment", "unknown alignment type"};
    for (int i = 0; i < 5; i++) EXPECT_STREQ(aligntype_string(i), names[i]);
}

// Files written by other programs; the expected codes come from align_codes.py.
TEST_F(AlignmentTest, FilesWrittenByOtherTools) {
    for (const char *name : {"align_hmmalign.a2m", "align_hmmalign.afa", "align_clustalw.fa"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        SequenceTable *t = read_alignment(test_data(name).c_str(), nullptr, nullptr);
        testing::internal::GetCapturedStderr();
        ASSERT_NE(t, nullptr);
        std::ifstream in(test_data(std::string(name) + ".codes"));
        std::string line;
        int i = 0;
        while (std::getline(in, line)) {
            std::istringstream is(line);
            std::string id;
            int residues, columns, b;
            is >> id >> residues >> columns;
            Bytes expected;
            while (is >> b) expected.push_back(b);
            ASSERT_LT(i, t->count);
            const Sequence *s = t->seqs[i++];
            EXPECT_EQ(s->id, id);
            EXPECT_EQ(s->len, residues);
            EXPECT_EQ(code_of(s), expected);
        }
        EXPECT_EQ(i, t->count);
        free_sequence_table(t);
    }
}

TEST_F(AlignmentTest, CodeUpdateMergesIntoAByteOfTheSameKind) {
    struct Case {
        Bytes start;
        int base, full;
        long steps;
        Bytes result;
    } cases[] = {
        {{150}, 100, 199, 60, {199, 111}},
        {{150}, 0, 99, 3, {150, 3}},
        {{}, 200, 254, 60, {254, 206}},
        {{199}, 100, 199, 1, {199, 101}},
        {{5}, 0, 99, 0, {5}},
    };
    for (const Case &c : cases) {
        unsigned char buf[16] = {};
        for (size_t i = 0; i < c.start.size(); i++) buf[i] = (unsigned char)c.start[i];
        int last = code_update(buf, (int)c.start.size() - 1, c.base, c.full, c.steps);
        EXPECT_EQ(Bytes(buf, buf + last + 1), c.result);
    }
}

TEST_F(AlignmentTest, UpdateFreqsCountsOnePathByHand) {
    use_alphabet("DNA");
    std::string path = write_rows({"aC-Gt", "-CG"});
    testing::internal::CaptureStderr();
    SequenceTable *t = read_alignment(path.c_str(), nullptr, nullptr);
    testing::internal::GetCapturedStderr();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(code_of(t->seqs[0]), (Bytes{1, 101, 201, 101, 1}));
    Model *m = alloc_model(3);
    init_model(m, 0);
    update_freqs(t->seqs[0], m);
    auto L = [](char c) { return letter_index(alphabet, c); };
    // (node, value index, count): into-insert from match at Begin with letter A; node 1 entered
    // from Begin's insert with C; node 2 deleted after a match; node 3 entered from a delete
    // with G, then its insert entered from the match with T; End entered from an insert.
    struct Want {
        int node;
        float *value;
    } want[] = {
        {0, &m->nodes[0]->ijump[1]},       {0, &m->nodes[0]->insert[L('A')]},
        {1, &m->nodes[1]->mjump[2]},       {1, &m->nodes[1]->match[L('C')]},
        {2, &m->nodes[2]->djump[1]},       {3, &m->nodes[3]->mjump[0]},
        {3, &m->nodes[3]->match[L('G')]},  {3, &m->nodes[3]->ijump[1]},
        {3, &m->nodes[3]->insert[L('T')]}, {4, &m->nodes[4]->mjump[2]},
    };
    double total = 0;
    for (int k = 0; k <= 4; k++)
        for (int v = 0; v < m->nodes[k]->nparams; v++) total += m->nodes[k]->params[v];
    for (const Want &w : want) EXPECT_EQ(*w.value, 1.0f) << "node " << w.node;
    EXPECT_EQ(total, 10);
    // A model of another length is refused before anything is counted.
    Model *other = alloc_model(4);
    init_model(other, 0);
    EXPECT_NE(fatal_of([&] { update_freqs(t->seqs[0], other); }), "");
    EXPECT_EQ(other->nodes[5]->mjump[2], 0);
    free_model(other);
    free_model(m);
    free_sequence_table(t);
}

// Domain cutting with a DNA model of length 3 that matches "ACG" almost for free, inserts at
// its ends at the null model's cost, and costs much for anything else.
class DomainTest : public AlignmentTest {
protected:
    Model *model = nullptr;
    ScoreParams sp;
    void SetUp() override {
        AlignmentTest::SetUp();
        use_alphabet("DNA");
        maxmem = 20000000;
        maxposdecodemem = 100000000;
        model = alloc_model(3);
        alloc_mod_weight(model);
        const int w = alphabet->emit_length_wild;
        const char motif[] = "-ACG";
        for (int j = 0; j <= 4; j++) {
            ModWeight *mw = model->weights[j];
            for (int e = 0; e < 9; e++) mw->costs[e] = 0;
            bool end_insert = j == 0 || j == 3;
            if (!end_insert) mw->ijump[0] = mw->ijump[1] = mw->ijump[2] = 6000;
            if (j >= 1 && j <= 3) mw->djump[0] = mw->djump[1] = mw->djump[2] = 6000;
            for (int x = 0; x < w; x++) {
                mw->insert[x] = end_insert ? 1386 : 6000;
                mw->match[x] =
                    (j >= 1 && j <= 3 && x == letter_index(alphabet, motif[j])) ? 10 : 6000;
            }
        }
        for (int x = 0; x < w; x++) model->fim_weight->insert[x] = 1386;
        model->fim_weight->ijump[2] = 0;
        sp = Score;
        sp.model_length = 3;
        sp.subtract_null = NULL_SIMPLE;
        sp.adjust_score = 0;
        sp.select_md = 1;
        sp.mdNLLnull = -2;
        sp.Motifcutoff = 0.5;
        sp.alignshort = -1;
        setup_alignment(&model, nullptr, 1, 40, SW_GLOBAL, DP_VITERBI, 1, 1, 0);
    }
    void TearDown() override {
        free_forward2();
        free_model(model);
    }
    Sequence *seq(const char *id, const char *letters) {
        Sequence *s = alloc_sequence((int)strlen(letters), 1);
        s->id = str_dup(id);
        s->annotation = str_dup("note");
        for (int i = 0; letters[i]; i++)
            s->tracks[0].res[i] = (unsigned char)letter_index(alphabet, letters[i]);
        s->converted = 1;
        return s;
    }
};

TEST_F(DomainTest, HandWorkedCuts) {
    struct Case {
        const char *what, *letters;
        int alignshort, select_md;
        double motifcutoff;
        int result;
        std::string fasta, table;
        std::vector<std::string> ids;
        std::string warning;
    } cases[] = {
        {"one domain, whole flanks",
         "TTTACGTTTTTTTT",
         -1,
         1,
         0.5,
         1,
         ">dom_4:6 note\ntttACGtttttttt\n",
         "dom_4:6\tdom\t1\t14\t4\t6\n",
         {"dom_4:6"},
         ""},
        {"flanks of two residues",
         "TTTACGTTTTTTTT",
         2,
         1,
         0.5,
         1,
         ">dom_4:6 note\nttACGtt\n",
         "dom_4:6\tdom\t2\t8\t4\t6\n",
         {"dom_4:6"},
         ""},
        {"two domains", "TTACGTTTTTTTTTACGTT", 0, 1, 0.5, 1, "", "", {"dom_3:5", "dom_15:17"}, ""},
        {"select_md 0 extracts nothing", "TTTACGTTTTTTTT", -1, 0, 0.5, 0, "", "", {}, ""},
        {"inverted selection keeps what fails", "TTTACGTTTTTTTT", -1, -1, 0.5, 0, "", "", {}, ""},
        {"region below the minimum length",
         "TACGT",
         -1,
         1,
         2.0,
         0,
         "",
         "",
         {},
         "MD warning l 1 r 5 ml 3 mc 2.00 min 6 dom\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sp.alignshort = c.alignshort;
        sp.select_md = c.select_md;
        sp.Motifcutoff = c.motifcutoff;
        Sequence *s = seq("dom", c.letters);
        SequenceTable *result = alloc_sequence_table();
        std::string table;
        int r = -1;
        testing::internal::CaptureStderr();
        std::string fasta = output_of([&](FILE *f) {
            table = output_of(
                [&](FILE *g) { r = multdomain_sequence(s, result, f, &sp, nullptr, nullptr, g); });
        });
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(r, c.result);
        if (!c.fasta.empty()) {
            EXPECT_EQ(fasta, c.fasta);
        }
        if (!c.table.empty()) {
            EXPECT_EQ(table, c.table);
        }
        std::vector<std::string> ids;
        for (int i = 0; i < result->count; i++) {
            ids.push_back(result->seqs[i]->id);
            EXPECT_EQ(result->seqs[i]->tracks[0].res, nullptr);
            EXPECT_EQ(result->seqs[i]->len, 3);
        }
        std::sort(ids.begin(), ids.end());
        std::vector<std::string> want = c.ids;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(ids, want);
        if (!c.warning.empty()) {
            EXPECT_EQ(err, c.warning);
        }
        free_sequence(s);
        free_sequence_table(result);
    }
}

TEST_F(DomainTest, DomainConstraintsAreSaved) {
    ConstrTable *sub = create_constraint_table();
    ConstrTable *al = create_constraint_table();
    Sequence *s = seq("dom", "TTTACGTTTTTTTT");
    sp.alignshort = 2;
    output_of([&](FILE *f) { multdomain_sequence(s, nullptr, f, &sp, sub, al, nullptr); });
    // The aligned domain pins its three matched residues to columns 1..3, under the parent's
    // numbering (4..6) and the written record's (3..5: it starts at residue 2).
    const SeqConstrList *parent = find_seq_constraints(al, "dom");
    const SeqConstrList *domain = find_seq_constraints(al, "dom_4:6");
    ASSERT_NE(parent, nullptr);
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(parent->first->seq_start, 4);
    EXPECT_EQ(parent->first->label_start, 1);
    EXPECT_EQ(parent->first->length, 3);
    EXPECT_EQ(domain->first->seq_start, 3);
    free_sequence(s);
    free_constraint_table(sub);
    free_constraint_table(al);
}

}  // namespace

namespace {

TEST_F(DomainTest, AlignSelectedSequences) {
    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, seq("one", "TTTACGTTTTTTTT"));
    add_seq_to_table(t, seq("two", "TTTTTTTTT"));
    add_seq_to_table(t, alloc_sequence(0, 1));  // no residues: only reset
    t->seqs[2]->id = str_dup("empty");
    sp.select_align = 8;
    sp.select_mdalign = 8;
    sp.adpstyle = DP_VITERBI;
    SequenceTable *result = alloc_sequence_table();
    std::string aligned, nodomain;
    std::string domains = output_of([&](FILE *d) {
        aligned = output_of([&](FILE *a) {
            nodomain = output_of([&](FILE *n) {
                align_selected_seq(d, a, &model, nullptr, 1, t, 1, 1, result, &sp, SW_GLOBAL, 0,
                                   nullptr, nullptr, nullptr, n, 0);
            });
        });
    });
    EXPECT_EQ(aligned.substr(0, 25), ">one note\ntttACGtttttttt\n");
    EXPECT_NE(aligned.find(">two note\n"), std::string::npos);
    EXPECT_EQ(domains, ">one_4:6 note\ntttACGtttttttt\n");
    EXPECT_EQ(nodomain, ">two note\nTTTTTTTTT\n");
    ASSERT_EQ(result->count, 1);
    EXPECT_STREQ(result->seqs[0]->id, "one_4:6");
    for (int i = 0; i < t->count; i++) EXPECT_EQ(t->seqs[i]->report1, SCORE_UNSET);
    EXPECT_EQ(sp.dbsize, 3);
    free_sequence_table(t);
    free_sequence_table(result);
}

TEST_F(AlignmentTest, FrequencyModelOfAnAlignment) {
    // Protein: the FIM marked in the first row becomes a FIM node; unweighted rows count 1.
    std::string path = write_rows({"AOCD", "AKC-", "ApKCD"});
    std::string run = scratch_dir() + "/run";
    AWeightParams none = AWeight;
    none.aweight_method = 0;
    testing::internal::CaptureStderr();
    Model *m =
        freq_from_alignment(path.c_str(), nullptr, run.c_str(), nullptr, &none, nullptr, nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->length, 4);
    EXPECT_NE(err.find("Node 2 is a FIM.\n"), std::string::npos);
    EXPECT_EQ(m->nodes[2]->type, 'F');
    ASSERT_NE(m->lettcount, nullptr);
    EXPECT_EQ(m->nodes[1]->match[letter_index(alphabet, 'A')], 3);
    EXPECT_EQ(m->nodes[3]->match[letter_index(alphabet, 'C')], 3);
    EXPECT_EQ(m->nodes[4]->djump[1], 1);  // AKC-: node 4 deleted after a match
    EXPECT_EQ(m->nodes[1]->ijump[1], 1);  // ApKCD: an insert after node 1
    free_model(m);
    // Weights from a weight file take the place of the weighting method.
    std::string wfile = scratch_dir() + "/w.txt";
    write_text(wfile, "Weights\n3 1\nr0 0.5\nr1 1\nr2 2\n");
    testing::internal::CaptureStderr();
    m = freq_from_alignment(path.c_str(), nullptr, run.c_str(), wfile.c_str(), &AWeight, nullptr,
                            nullptr);
    err = testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr);
    EXPECT_NE(err.find("Using alignment_weights file (" + wfile + ") rather than aweight_method."),
              std::string::npos);
    EXPECT_FLOAT_EQ(m->nodes[1]->match[letter_index(alphabet, 'A')], 3.5f);
    EXPECT_FLOAT_EQ(m->nodes[4]->djump[1], 1.0f);
    EXPECT_FLOAT_EQ(m->nodes[1]->ijump[1], 2.0f);
    free_model(m);
    // The weighting method weights the rows (and writes the run's weight file).
    testing::internal::CaptureStderr();
    m = freq_from_alignment(path.c_str(), nullptr, run.c_str(), nullptr, &AWeight, nullptr,
                            nullptr);
    testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr);
    EXPECT_GT(m->nodes[1]->match[letter_index(alphabet, 'A')], 0);
    EXPECT_NE(read_text(run + ".weightoutput"), "<unreadable>");
    free_model(m);
    // No alignment: null with the message.
    path = write_rows({"ACDE", "AC"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        freq_from_alignment(path.c_str(), nullptr, run.c_str(), nullptr, &none, nullptr, nullptr),
        nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("No alignment found in alignment file "),
              std::string::npos);
}

}  // namespace

namespace {

TEST_F(AlignmentTest, CodonAlignmentCountsCodonsAtTheirFirstNode) {
    use_alphabet("CODON");
    std::string path = write_rows({"ACGTTT", "ACGTTA"});
    AWeightParams none = AWeight;
    none.aweight_method = 0;
    std::string run = scratch_dir() + "/run";
    testing::internal::CaptureStderr();
    Model *m =
        freq_from_alignment(path.c_str(), nullptr, run.c_str(), nullptr, &none, nullptr, nullptr);
    testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->length, 6);
    EXPECT_EQ(std::string({m->nodes[1]->type, m->nodes[2]->type, m->nodes[3]->type}), "CDE");
    auto n = [](char c) { return letter_index(alphabet, c); };
    EXPECT_EQ(m->nodes[1]->match[codon_index(n('A'), n('C'), n('G'))], 2);
    EXPECT_EQ(m->nodes[4]->match[codon_index(n('T'), n('T'), n('T'))], 1);
    EXPECT_EQ(m->nodes[4]->match[codon_index(n('T'), n('T'), n('A'))], 1);
    double d_and_e = 0;  // D and E nodes count no match emission
    for (int k : {2, 3, 5, 6})
        for (int x = 0; x < alphabet->emit_length; x++) d_and_e += m->nodes[k]->match[x];
    EXPECT_EQ(d_and_e, 0);
    free_model(m);
}

TEST_F(AlignmentTest, ConstraintsFromTheAlignmentLabelTheModel) {
    std::string path = write_rows({"ACdE", "A-E"});
    AWeightParams none = AWeight;
    none.aweight_method = 0;
    ConstrParams constr = Constr;
    constr.constraints_from_align = 1;
    std::string out = scratch_dir() + "/c.cons";
    constr.constraints_out = const_cast<char *>(out.c_str());
    std::string run = scratch_dir() + "/run";
    testing::internal::CaptureStderr();
    Model *m =
        freq_from_alignment(path.c_str(), nullptr, run.c_str(), nullptr, &none, nullptr, &constr);
    testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr);
    for (int k = 1; k <= 3; k++) EXPECT_EQ(m->nodes[k]->lab, k);
    EXPECT_NE(read_text(out), "<unreadable>");
    free_model(m);
}

}  // namespace
