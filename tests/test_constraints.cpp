// Sequence constraints: tables, constraint files (reading, messages, writing, round trips),
// per-residue arrays and alignments, and labelling a model from a constraint table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/alphabet.h"
#include "models/constraints.h"
#include "models/constrparse.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "models/modelio.h"
#include "models/models.h"
#include "models/models_labels.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

// (start, label, length, satisfied, unsatisfied, unconstrained)
using Range = std::tuple<int, int, int, int, int, int>;
using Contents = std::map<std::string, std::vector<Range>>;

Range R(int start, int label, int length) {
    return Range{start, label, length, 0, 80000, 80000};
}

// A table's contents by ID, ranges in order; also checks the count and max_pos bookkeeping.
Contents contents(const ConstrTable *t) {
    Contents c;
    int n = 0;
    for (int b = 0; b < CONSTR_BUCKETS; b++)
        for (const SeqConstrList *e = t->buckets[b]; e; e = e->next) {
            n++;
            int max_pos = 0;
            auto &v = c[e->id];
            for (const ConstrRange *r = e->first; r; r = r->next) {
                v.emplace_back(r->seq_start, r->label_start, r->length, r->satisfied,
                               r->unsatisfied, r->unconstrained);
                max_pos = std::max(max_pos, r->seq_start + (r->length - 1));
            }
            EXPECT_EQ(e->max_pos, max_pos) << e->id;
        }
    EXPECT_EQ(t->count, n);
    return c;
}

class Constraints : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        reset_alphabets();
        init_alphabet_by_name("DNA", 0, "");
        dir = scratch_dir();
    }
    void TearDown() override { error_throws = false; }
    std::string path(const std::string &name) { return dir + "/" + name; }

    // Reads one file holding text.
    ConstrTable *read_text(const std::string &text, int allow_unlabeled = 1,
                           const std::string &name = "c.constr") {
        std::string p = path(name);
        write_text(p, text);
        char *names[1] = {const_cast<char *>(p.c_str())};
        return read_constraints_table(names, 1, allow_unlabeled);
    }
};

Sequence *seq_named(const char *id, int len) {
    Sequence *s = alloc_sequence(len, 1);
    s->id = str_dup(id);
    return s;
}

void set_align(Sequence *s, std::initializer_list<unsigned char> code) {
    std::vector<unsigned char> v(code);
    v.push_back(0);
    s->align = static_cast<unsigned char *>(memdub(v.data(), v.size()));
}

std::vector<int> labels_of(const Sequence *s) {
    std::vector<int> v;
    for (int i = 0; i < s->len; i++) v.push_back(s->constraints[i].label);
    return v;
}

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

TEST_F(Constraints, ReadsEntriesOfEveryForm) {
    struct Case {
        const char *text;
        Contents want;
    };
    const Case cases[] = {
        {"constraints:\nseqA 5-7:10,12\n", {{"seqA", {R(5, 10, 3), R(12, -3, 1)}}}},
        {"constraints:\nseqA 1 0\n", {{"seqA", {R(10, -3, 1)}}}},
        {"constraints:\nseqA 0x10\n", {{"seqA", {R(16, -3, 1)}}}},
        {"constraints:\nseqA 010\n", {{"seqA", {R(8, -3, 1)}}}},
        {"constraints:\nseqA  3 - 4 : 0x1F ,, 9:0 ,\n", {{"seqA", {R(3, 31, 2), R(9, 0, 1)}}}},
        // Comments, blank lines, blanks around lines, two sections, an ID without entries, the
        // same ID on two lines, a last line without its newline.
        {"# note\n\n  constraints:  \n\tseqA 2\nseqB\n# x 5\nconstraints:\nseqA 4-4:2\r\nb 1",
         {{"seqA", {R(2, -3, 1), R(4, 2, 1)}}, {"b", {R(1, -3, 1)}}}},
        {"constraints:\n", {}},
        {"", {}},
    };
    for (const Case &c : cases) {
        ConstrTable *t = read_text(c.text);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(contents(t), c.want) << c.text;
        free_constraint_table(t);
    }
}

TEST_F(Constraints, TableBookkeeping) {
    ConstrTable *t = read_text("constraints:\nseqA 5-7:10,12\nseqB 2:3\n");
    EXPECT_EQ(get_max_node_label(t), 12);
    EXPECT_EQ(have_unlabeled_constraints(t), 1);
    free_constraint_table(t);
    t = create_constraint_table();
    EXPECT_EQ(get_max_node_label(t), -1);
    EXPECT_EQ(have_unlabeled_constraints(t), 0);
    add_constraint_to_table(t, "x", 1, 0, 1, 0, 80000, 80000);
    EXPECT_EQ(get_max_node_label(t), 0);
    EXPECT_EQ(have_unlabeled_constraints(t), 0);
    free_constraint_table(t);
    EXPECT_EQ(get_max_node_label(nullptr), -1);
    EXPECT_EQ(have_unlabeled_constraints(nullptr), 0);
    EXPECT_EQ(read_constraints_table(nullptr, 0, 1), nullptr);
}

TEST_F(Constraints, EveryMessageOfAMalformedFile) {
    std::string f = path("c.constr");
    std::string long_id(513, 'i');
    std::string long_num = std::string(514, '1');
    auto bad = [&](const std::string &line, const char *reason) {
        return f + ": 2: invalid constraint defintion: " + reason + "\n" + line;
    };
    struct Case {
        std::string text;
        std::string want;
        int allow_unlabeled;
    };
    const Case cases[] = {
        {"seqA 5\n", f + ":1: data line before a section:\nseqA 5", 1},
        {"constraints:\n" + long_id + " 5\n", f + ":2: sequence id exceeds maximum length of 512",
         1},
        {"constraints:\nseqA 7-5\n", bad("seqA 7-5", "invalid sequence position range"), 1},
        {"constraints:\nseqA 0\n", bad("seqA 0", "sequence position must be greater than zero"), 1},
        {"constraints:\nseqA 0-3:1\n",
         bad("seqA 0-3:1", "sequence position must be greater than zero"), 1},
        {"constraints:\nseqA 5-\n", bad("seqA 5-", "missing value following '-'"), 1},
        {"constraints:\nseqA 5- :3\n", bad("seqA 5- :3", "missing value following '-'"), 1},
        {"constraints:\nseqA 5:\n", bad("seqA 5:", "missing value following ':'"), 1},
        {"constraints:\nseqA 5x\n", bad("seqA 5x", "invalid number"), 1},
        {"constraints:\nseqA 08\n", bad("seqA 08", "invalid number"), 1},
        {"constraints:\nseqA 0x\n", bad("seqA 0x", "invalid number"), 1},
        {"constraints:\nseqA -5\n", bad("seqA -5", "invalid number"), 1},
        {"constraints:\nseqA 5:-1\n", bad("seqA 5:-1", "invalid number"), 1},
        {"constraints:\nseqA 5-7-9\n", bad("seqA 5-7-9", "invalid number"), 1},
        {"constraints:\nseqA 2147483648\n", bad("seqA 2147483648", "number out of range"), 1},
        {"constraints:\nseqA 1:0x80000000\n", bad("seqA 1:0x80000000", "number out of range"), 1},
        {"constraints:\nseqA " + long_num + "\n", bad("seqA " + long_num, "garbage entry"), 1},
        {"constraints:\nseqA 5-6:2147483647\n",
         bad("seqA 5-6:2147483647", "model label out of range"), 1},
        {"constraints:\nseqA 5:1,6\n",
         "constraint file " + f +
             " has constraints with unspecified model labels,\nthey are allowed only when "
             "creating a model from an alignment",
         0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fatal_of([&] { free_constraint_table(read_text(c.text, c.allow_unlabeled)); }),
                  c.want)
            << c.text;
    // Largest values are fine.
    ConstrTable *t = read_text("constraints:\nseqA 2147483647:5,1:2147483647\n");
    EXPECT_EQ(contents(t), (Contents{{"seqA", {R(2147483647, 5, 1), R(1, 2147483647, 1)}}}));
    free_constraint_table(t);
    std::string missing = path("none.constr");
    char *names[1] = {const_cast<char *>(missing.c_str())};
    EXPECT_NE(fatal_of([&] { read_constraints_table(names, 1, 1); }).find("Couldn't open file"),
              std::string::npos);
}

TEST_F(Constraints, UnlabelledRangesRefusedInTheFileThatHasThem) {
    write_text(path("a"), "constraints:\nseqA 1:1\n");
    write_text(path("b"), "constraints:\nseqB 4\n");
    std::string a = path("a"), b = path("b");
    char *names[2] = {const_cast<char *>(a.c_str()), const_cast<char *>(b.c_str())};
    EXPECT_NE(fatal_of([&] { read_constraints_table(names, 2, 0); }).find(b + " has constraints"),
              std::string::npos);
    ConstrTable *t = read_constraints_table(names, 2, 1);
    EXPECT_EQ(contents(t), (Contents{{"seqA", {R(1, 1, 1)}}, {"seqB", {R(4, -3, 1)}}}));
    free_constraint_table(t);
}

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

// Buckets by hand (h = 9h + c, & 127): "a" 97, "ax" 9*97+120 = 993 = 7*128+97, "b" 98. The
// chain of bucket 97 holds "ax" before "a" (a new ID goes to its head).
TEST_F(Constraints, WritesTheExactText) {
    ConstrTable *t = create_constraint_table();
    add_constraint_to_table(t, "a", 1, 5, 2, 0, 80000, 80000);
    add_constraint_to_table(t, "b", 4, 0, 1, 0, 80000, 80000);
    add_constraint_to_table(t, "ax", 3, -3, 1, 0, 80000, 80000);
    add_constraint_to_table(t, "a", 12, -3, 3, 0, 80000, 80000);
    ASSERT_EQ(write_constraints_table(t, path("w").c_str()), 0);
    EXPECT_EQ(::read_text(path("w")), "constraints:\nax 3\na 1-2:5,12-14\nb 4:0\n");
    free_constraint_table(t);

    ConstrTable *r = read_text("constraints:\nseqA 5-7:10,12\n");
    write_constraints_table(r, path("w").c_str());
    EXPECT_EQ(::read_text(path("w")), "constraints:\nseqA 5-7:10,12\n");
    free_constraint_table(r);

    t = create_constraint_table();
    add_constraint_to_table(t, "seqA", 12, 3, 1, 0, 80000, 80000);
    write_constraints_table(t, path("w").c_str());
    EXPECT_EQ(::read_text(path("w")), "constraints:\nseqA 12:3\n");
    free_constraint_table(t);

    t = create_constraint_table();
    write_constraints_table(t, path("w").c_str());
    EXPECT_EQ(::read_text(path("w")), "");
    free_constraint_table(t);
}

TEST_F(Constraints, IdsThatWouldNotReadBackAreRefused) {
    const std::string ids[] = {"se q", "tab\tid", "#hash", "", std::string(513, 'x')};
    for (const std::string &id : ids) {
        ConstrTable *t = create_constraint_table();
        add_constraint_to_table(t, id.c_str(), 1, 1, 1, 0, 80000, 80000);
        std::string out = path("refused");
        EXPECT_EQ(fatal_of([&] { write_constraints_table(t, out.c_str()); }),
                  "constraint table: sequence id \"" + id + "\" cannot be written to " + out);
        EXPECT_EQ(::read_text(out), "<unreadable>");  // nothing written
        free_constraint_table(t);
    }
    ConstrTable *t = create_constraint_table();
    add_constraint_to_table(t, "x", 1, 1, 1, 0, 80000, 80000);
    std::string bad_dir = path("no/such/dir");
    EXPECT_EQ(fatal_of([&] {
                  write_constraints_table(t, bad_dir.c_str());
              }).rfind("Couldn't open file " + bad_dir + " for writting: ", 0),
              0u);
    free_constraint_table(t);
}

// Tables of awkward IDs (separators of the entries, '#' inside, 512 characters) and many ranges
// read back as themselves.
TEST_F(Constraints, WrittenTablesReadBackTheSame) {
    srandom(15);
    const std::string chars = "abcXYZ019,:-#.|_";
    for (int round = 0; round < 20; round++) {
        ConstrTable *t = create_constraint_table();
        int nids = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < nids; i++) {
            std::string id(1 + random() % 12, 'a');
            for (char &c : id) c = chars[random() % chars.size()];
            if (id[0] == '#') id[0] = 'h';
            if (i == 0 && round == 0) id = std::string(512, 'L');
            int nranges = 1 + static_cast<int>(random() % 5);
            for (int k = 0; k < nranges; k++) {
                int start = 1 + static_cast<int>(random() % 1000);
                int len = 1 + static_cast<int>(random() % 50);
                int label = random() % 3 == 0 ? -3 : static_cast<int>(random() % 2000);
                add_constraint_to_table(t, id.c_str(), start, label, len, 0, 80000, 80000);
            }
        }
        std::string p = path("rt");
        ASSERT_EQ(write_constraints_table(t, p.c_str()), 0);
        char *names[1] = {const_cast<char *>(p.c_str())};
        ConstrTable *back = read_constraints_table(names, 1, 1);
        EXPECT_EQ(contents(back), contents(t));
        EXPECT_EQ(back->max_label, t->max_label);
        EXPECT_EQ(back->unlabeled, t->unlabeled);
        free_constraint_table(back);
        free_constraint_table(t);
    }
}

TEST_F(Constraints, RangesOutsideAnIntAreRefused) {
    ConstrTable *t = create_constraint_table();
    struct Case {
        int start, label, length;
        const char *want;
    };
    const Case cases[] = {
        {0, 1, 1, "constraint 0-0 for s: sequence position must be greater than zero"},
        {5, 1, 0, "constraint 5-4 for s: empty range"},
        {2147483647, 1, 2,
         "constraint 2147483647-2147483647 for s: sequence position out of range"},
        {5, 2147483647, 2, "constraint 5-6 for s: model label out of range"},
        {5, -1, 2, "constraint 5-6 for s: invalid model label"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fatal_of([&] {
                      add_constraint_to_table(t, "s", c.start, c.label, c.length, 0, 80000, 80000);
                  }),
                  c.want);
    EXPECT_EQ(t->count, 0);
    free_constraint_table(t);
}

TEST_F(Constraints, PrintsAListing) {
    ConstrTable *t = create_constraint_table();
    add_constraint_to_table(t, "a", 5, 10, 3, 0, 80000, 80000);
    add_constraint_to_table(t, "a", 12, -3, 1, 0, 80000, 80000);
    EXPECT_EQ(output_of([&](FILE *o) { print_constraint_table(o, "T", t); }),
              "Constraint table: T    Sequence Constraint Ranges:\n"
              "        Constraints for a:\n"
              "              5-  7:  10- 12 (3)\n"
              "             12- 12:  -3- -3 (1)\n");
    EXPECT_EQ(output_of([&](FILE *o) { print_constraint_table(o, "N", nullptr); }),
              "Constraint table: N is NULL\n");
    free_constraint_table(t);
}

// ---------------------------------------------------------------------------------------------
// Per-residue arrays
// ---------------------------------------------------------------------------------------------

TEST_F(Constraints, AppliesRangesToSequences) {
    ConstrTable *t = read_text("constraints:\nseqA 2-4:10,6\nseqA 2-3:10\nother 1:1\n");
    SequenceTable *seqs = alloc_sequence_table();
    add_seq_to_table(seqs, seq_named("seqA", 6));
    add_seq_to_table(seqs, seq_named("seqB", 2));
    apply_seqs_constraints(t, seqs);
    Sequence *a = seqs->seqs[0];
    ASSERT_NE(a->constraints, nullptr);
    EXPECT_EQ(labels_of(a), (std::vector<int>{-1, 10, 11, 12, -1, -3}));
    EXPECT_EQ(a->constraints[1].satisfied, 0);
    EXPECT_EQ(a->constraints[1].unsatisfied, 80000);
    EXPECT_EQ(a->constraints[1].unconstrained, 80000);
    EXPECT_EQ(a->constraints[0].unconstrained, 0);  // noPosConstraint
    EXPECT_EQ(seqs->seqs[1]->constraints, nullptr);
    apply_seqs_constraints(nullptr, seqs);
    free_constraint_table(t);
    free_sequence_table(seqs);
}

TEST_F(Constraints, ConflictsAndOverrunsLeaveSequencesAlone) {
    struct Case {
        const char *text;
        const char *want;
    };
    const Case cases[] = {
        {"constraints:\nseqA 5-7:10\nseqA 6:20\n",
         "sequence \"seqA\", positon 6 already has label 11, trying to set it to 20"},
        {"constraints:\nseqA 5-7:10\nseqA 6\n",
         "sequence \"seqA\", positon 6 already has label 11, trying to set it to -3"},
        {"constraints:\nseqA 1:1,5-9:10\n",
         "constraint 5-9 for seqA is longer than the sequence (8)"},
    };
    for (const Case &c : cases) {
        ConstrTable *t = read_text(c.text);
        SequenceTable *seqs = alloc_sequence_table();
        add_seq_to_table(seqs, seq_named("seqB", 9));
        add_seq_to_table(seqs, seq_named("seqA", 8));
        ConstrTable *b = read_text("constraints:\nseqB 1:3\n", 1, "b.constr");
        apply_seqs_constraints(b, seqs);
        EXPECT_EQ(fatal_of([&] { apply_seqs_constraints(t, seqs); }), c.want);
        EXPECT_EQ(seqs->seqs[1]->constraints, nullptr);
        EXPECT_EQ(seqs->seqs[0]->constraints[0].label, 3);
        free_constraint_table(b);
        free_constraint_table(t);
        free_sequence_table(seqs);
    }
}

// Labels 4, 5, 6 on residues 2-4 and 9 on residue 5: two ranges; unnamed residues one each; a
// change of costs ends a run.
TEST_F(Constraints, ArraysBecomeRanges) {
    Sequence *s = seq_named("s", 9);
    s->constraints = static_cast<PosConstraint *>(mem_alloc(9 * sizeof(PosConstraint)));
    const int labels[9] = {-1, 4, 5, 6, 9, -3, -3, 7, 8};
    for (int i = 0; i < 9; i++) s->constraints[i] = {labels[i], 0, 80000, 80000};
    s->constraints[8].satisfied = 5;
    ConstrTable *t = create_constraint_table();
    save_seq_constraints(s, t);
    EXPECT_EQ(contents(t), (Contents{{"s",
                                      {R(2, 4, 3), R(5, 9, 1), R(6, -3, 1), R(7, -3, 1), R(8, 7, 1),
                                       Range{9, 8, 1, 5, 80000, 80000}}}}));
    free_constraint_table(t);

    t = create_constraint_table();
    save_subseq_constraints(t, "sub", 3, 6, s);  // labels 5, 6, 9, -3 renumbered from 1
    EXPECT_EQ(contents(t), (Contents{{"sub", {R(1, 5, 2), R(3, 9, 1), R(4, -3, 1)}}}));
    EXPECT_NE(fatal_of([&] { save_subseq_constraints(t, "sub", 3, 10, s); }), "");
    create_seq_constraints(t, "f", s->constraints + 1, 100, 3);
    EXPECT_EQ(contents(t)["f"], (std::vector<Range>{R(100, 4, 3)}));
    free_constraint_table(t);

    SequenceTable *seqs = alloc_sequence_table();
    add_seq_to_table(seqs, s);
    add_seq_to_table(seqs, seq_named("plain", 4));
    t = create_constraint_table();
    save_seqs_constraints(seqs, t);
    EXPECT_EQ(t->count, 1);

    // Back to an array: the same entries.
    Sequence *copy = seq_named("s", 9);
    SequenceTable *one = alloc_sequence_table();
    add_seq_to_table(one, copy);
    apply_seqs_constraints(t, one);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(copy->constraints[i].label, s->constraints[i].label) << i;
        if (s->constraints[i].label != -1) {
            EXPECT_EQ(copy->constraints[i].satisfied, s->constraints[i].satisfied) << i;
        }
    }
    free_sequence_table(one);
    free_constraint_table(t);
    free_sequence_table(seqs);
}

TEST_F(Constraints, SubsequencesCopyTheirPart) {
    Sequence *p = seq_named("p", 6);
    Sequence *sub = seq_named("sub", 3);
    copy_subseq_constraints(p, 2, 4, sub);  // parent without constraints: nothing
    EXPECT_EQ(sub->constraints, nullptr);
    p->constraints = static_cast<PosConstraint *>(mem_alloc(6 * sizeof(PosConstraint)));
    for (int i = 0; i < 6; i++) p->constraints[i] = {10 + i, 0, 80000, 80000};
    copy_subseq_constraints(p, 2, 4, sub);
    EXPECT_EQ(labels_of(sub), (std::vector<int>{11, 12, 13}));
    EXPECT_NE(fatal_of([&] { copy_subseq_constraints(p, 5, 7, sub); }), "");
    EXPECT_NE(fatal_of([&] { copy_subseq_constraints(p, 1, 4, sub); }), "");
    free_seq_constraints(sub);
    EXPECT_EQ(sub->constraints, nullptr);
    EXPECT_EQ(sub->rev_constraints, nullptr);
    free_sequence(p);
    free_sequence(sub);
}

// ---------------------------------------------------------------------------------------------
// Alignments
// ---------------------------------------------------------------------------------------------

// Code 102 201 1 102: residues 1, 2 on columns 1, 2; column 3 deleted; residue 3 inserted;
// residues 4, 5 on columns 4, 5.
TEST_F(Constraints, AlignmentsPinResiduesToColumns) {
    SequenceTable *seqs = alloc_sequence_table();
    Sequence *s = seq_named("s", 5);
    set_align(s, {102, 201, 1, 102});
    add_seq_to_table(seqs, s);
    constraints_from_align(seqs);
    EXPECT_EQ(labels_of(s), (std::vector<int>{1, 2, -1, 4, 5}));
    EXPECT_EQ(s->constraints[0].unconstrained, 80000);
    EXPECT_EQ(s->constraints[2].unconstrained, 0);

    ConstrTable *t = create_constraint_table();
    save_align_constraints(t, seqs);
    EXPECT_EQ(contents(t), (Contents{{"s", {R(1, 1, 2), R(4, 4, 2)}}}));
    free_constraint_table(t);

    // A run of matches across two code bytes is one range; an unconstrained residue splits it.
    Sequence *u = seq_named("u", 4);
    set_align(u, {102, 102});
    u->constraints = static_cast<PosConstraint *>(mem_alloc(4 * sizeof(PosConstraint)));
    for (int i = 0; i < 4; i++) u->constraints[i] = {7, 0, 80000, 80000};
    SequenceTable *us = alloc_sequence_table();
    add_seq_to_table(us, u);
    t = create_constraint_table();
    save_align_constraints(t, us);
    EXPECT_EQ(contents(t), (Contents{{"u", {R(1, 1, 4)}}}));
    free_constraint_table(t);
    u->constraints[2].label = -1;
    t = create_constraint_table();
    save_align_constraints(t, us);
    EXPECT_EQ(contents(t), (Contents{{"u", {R(1, 1, 2), R(4, 4, 1)}}}));
    free_constraint_table(t);
    free_sequence_table(us);
    free_sequence_table(seqs);
}

TEST_F(Constraints, AlignmentWalksRefuseBadCodes) {
    SequenceTable *seqs = alloc_sequence_table();
    Sequence *ok = seq_named("ok", 2);
    set_align(ok, {102});
    add_seq_to_table(seqs, ok);
    Sequence *none = seq_named("none", 3);
    add_seq_to_table(seqs, none);
    EXPECT_EQ(fatal_of([&] { constraints_from_align(seqs); }),
              "none: no alignment to take constraints from");
    EXPECT_EQ(ok->constraints, nullptr);  // nothing applied
    set_align(none, {101, 1, 102});       // four residues in a sequence of three
    EXPECT_EQ(fatal_of([&] { constraints_from_align(seqs); }),
              "none: alignment passes the end of the sequence (3)");
    std::free(none->align);
    set_align(none, {5});
    EXPECT_EQ(fatal_of([&] { constraints_from_align(seqs); }),
              "none: alignment passes the end of the sequence (3)");
    free_sequence_table(seqs);
}

// Domain of 4 residues, code 102 1 101: residues 1, 2 on columns 1, 2, residue 3 inserted,
// residue 4 on column 3.
TEST_F(Constraints, DomainAlignmentsGoUnderBothIds) {
    Sequence *d = seq_named("dom", 4);
    set_align(d, {102, 1, 101});
    ConstrTable *t = create_constraint_table();
    save_domain_align_constraints(t, d, "dom", "parent", 10, 13, 3);
    EXPECT_EQ(contents(t), (Contents{{"dom", {R(8, 1, 2), R(11, 3, 1)}},
                                     {"parent", {R(10, 1, 2), R(13, 3, 1)}}}));
    EXPECT_EQ(d->constraints, nullptr);
    free_constraint_table(t);
    free_sequence(d);
}

// ---------------------------------------------------------------------------------------------
// Model labels from a constraint table
// ---------------------------------------------------------------------------------------------

TEST_F(Constraints, LabelsAModelThatWritesAndReadsBack) {
    ConstrTable *t = read_text("constraints:\nseqA 1-3:2,9\nseqB 7:6\n");
    Model *m = alloc_model(6);
    label_model_from_constraints(t, m);
    std::vector<int> labs;
    for (int i = 0; i <= 7; i++) labs.push_back(m->nodes[i]->lab);
    EXPECT_EQ(labs, (std::vector<int>{-1, -1, 2, 3, 4, -1, 6, -1}));
    for (int binary = 0; binary <= 1; binary++) {
        std::string text =
            output_of([&](FILE *o) { nice_print_model(o, m, "MODEL", "c", nullptr, binary); });
        EXPECT_NE(text.find("NODELABELS 2-4: 2\nNODELABELS 6-6: 6\n"), std::string::npos);
        write_text(path("m.mod"), text);
        FILE *fp = std::fopen(path("m.mod").c_str(), "rb");
        int count = 0;
        InputReader in;
        reader_init(&in, fp, "m.mod");
        Rmodel *rm = read_rmodel(&in, "m.mod", &count, nullptr, nullptr, nullptr, 0);
        reader_free(&in);
        std::fclose(fp);
        Model *back = destruct_rmodel2model(&rm);
        ASSERT_EQ(back->length, 6);
        for (int i = 0; i <= 7; i++) EXPECT_EQ(back->nodes[i]->lab, labs[i]) << i;
        free_model(back);
    }
    free_model(m);
    free_constraint_table(t);
}

TEST_F(Constraints, LabelsPastTheModelEndAreFatalBeforeAnyLabel) {
    ConstrTable *t = read_text("constraints:\na 1:2\nb 1-2:6\n");
    Model *m = alloc_model(6);
    EXPECT_EQ(fatal_of([&] { label_model_from_constraints(t, m); }),
              "BUG: Model labels 6-7 for b extends past the end of the model");
    for (int i = 0; i <= 7; i++) EXPECT_EQ(m->nodes[i]->lab, -1);
    label_model_from_constraints(nullptr, m);
    free_model(m);
    free_constraint_table(t);
}

}  // namespace
