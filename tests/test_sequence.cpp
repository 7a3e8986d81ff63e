// Tests of the sequence records and tables, the node/model/raw-model records and the sequence
// utilities (ordering, search, statistics, letters, shuffling, reversal, weight files).
#include "foundation/alphabet.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"
#include "foundation/errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Selects the alphabet of track 0 by name, from a fresh library state.
void use_alphabet(const char *name) {
    reset_library_state();
    init_alphabet_by_name(name, 0, "");
}

// A sequence whose track-0 residues are the given bytes, with an ID.
Sequence *make_seq(const char *id, const std::string &res, int ntracks = 1) {
    Sequence *s = alloc_sequence((int)res.size(), ntracks);
    if (id) s->id = str_dup(id);
    for (int t = 0; t < ntracks; t++)
        if (!res.empty()) std::memcpy(s->tracks[t].res, res.data(), res.size());
    return s;
}

// A sequence whose residues are the letter indices of text in the current alphabet.
Sequence *make_indexed(const char *id, const char *text) {
    int n = (int)std::strlen(text);
    Sequence *s = alloc_sequence(n, 1);
    s->id = str_dup(id);
    for (int i = 0; i < n; i++)
        s->tracks[0].res[i] = (unsigned char)letter_index(alphabet, text[i]);
    s->converted = 1;
    return s;
}

class SequenceTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        init_alphabet_by_name("protein", 0, "");
    }
};

// ---------------------------------------------------------------------------------------------
// Sequence records
// ---------------------------------------------------------------------------------------------

TEST_F(SequenceTest, AllocSequenceInitialState) {
    Sequence *s = alloc_sequence(5, 2);
    EXPECT_EQ(s->len, 5);
    EXPECT_EQ(s->ntracks, 2);
    EXPECT_EQ(s->converted, 0);
    EXPECT_EQ(s->reversed, 0);
    EXPECT_EQ(s->id, nullptr);
    EXPECT_EQ(s->annotation, nullptr);
    ASSERT_NE(s->tracks[0].res, nullptr);
    ASSERT_NE(s->tracks[1].res, nullptr);
    for (int i = 0; i < 7; i++) {
        EXPECT_EQ(s->tracks[0].res[i], 0);  // length + 2 zero bytes
        EXPECT_EQ(s->tracks[1].res[i], 0);
    }
    for (int t = 2; t < MAX_TRACKS; t++) EXPECT_EQ(s->tracks[t].res, nullptr);
    for (int t = 0; t < MAX_TRACKS; t++) EXPECT_EQ(s->tracks[t].model, nullptr);
    EXPECT_EQ(s->align, nullptr);
    EXPECT_EQ(s->pathprob, nullptr);
    EXPECT_EQ(s->weights, nullptr);
    EXPECT_EQ(s->raw_score, 1000000.0f);
    EXPECT_EQ(s->prefilter_raw, 1000000.0f);
    EXPECT_EQ(s->prefilter_simple, 1000000.0f);
    EXPECT_EQ(s->simple_score, 1000000.0f);
    EXPECT_EQ(s->second_score, 1000000.0f);
    EXPECT_EQ(s->report1, 1000000.0f);
    EXPECT_EQ(s->report2, 1000000.0f);
    EXPECT_EQ(s->evalue, 1000000.0);
    EXPECT_EQ(s->xcount, 0.0f);
    EXPECT_EQ(s->constraints, nullptr);
    EXPECT_EQ(s->rev_constraints, nullptr);
    free_sequence(s);

    Sequence *empty = alloc_sequence(0, 3);
    for (int t = 0; t < MAX_TRACKS; t++) EXPECT_EQ(empty->tracks[t].res, nullptr);
    free_sequence(empty);
    free_sequence(nullptr);

    EXPECT_NE(fatal_of([] { alloc_sequence(3, 7); }), "");
}

TEST_F(SequenceTest, ReallocSequence) {
    Sequence *s = make_seq("a", "ABCDEF", 2);
    EXPECT_EQ(realloc_sequence(s, 3), s);
    EXPECT_EQ(s->len, 3);
    EXPECT_EQ(std::memcmp(s->tracks[0].res, "ABC", 3), 0);
    EXPECT_EQ(std::memcmp(s->tracks[1].res, "ABC", 3), 0);
    // Two zero bytes follow the residues, as after alloc_sequence: a copy takes length + 2.
    EXPECT_EQ(std::memcmp(s->tracks[0].res, "ABC\0\0", 5), 0);
    Sequence *c3 = copy_sequence(s);
    EXPECT_EQ(std::memcmp(c3->tracks[1].res, "ABC\0\0", 5), 0);
    free_sequence(c3);
    realloc_sequence(s, 100);
    EXPECT_EQ(s->len, 100);
    EXPECT_EQ(std::memcmp(s->tracks[0].res, "ABC", 3), 0);
    EXPECT_EQ(s->tracks[1].res[100], 0);
    EXPECT_EQ(s->tracks[1].res[101], 0);
    std::memset(s->tracks[0].res + 3, 'Z', 97);
    std::memset(s->tracks[1].res + 3, 'Z', 97);
    Sequence *c100 = copy_sequence(s);
    EXPECT_EQ(c100->tracks[1].res[99], 'Z');
    EXPECT_EQ(c100->tracks[1].res[101], 0);
    free_sequence(c100);
    free_sequence(s);

    Sequence *m = make_seq("m", "ACD", 1);
    m->tracks[0].model = alloc_model(2);
    EXPECT_EQ(fatal_of([m] { realloc_sequence(m, 2); }),
              "Realloc_sequence called with model sequence.\n");
    free_sequence(m);  // releases the track model too

    Sequence *c = make_seq("c", "ACD", 1);
    c->constraints = static_cast<PosConstraint *>(mem_alloc(3 * sizeof(PosConstraint)));
    EXPECT_EQ(fatal_of([c] { realloc_sequence(c, 5); }), "can't realloc_sequence with constraints");
    free_sequence(c);
}

TEST_F(SequenceTest, CopySequenceCopiesSomeFieldsAndResetsOthers) {
    Sequence *s = make_seq("seq1", "ACDEF", 2);
    s->annotation = str_dup("some text");
    s->align = static_cast<unsigned char *>(mem_alloc(4));
    s->align[0] = 105;
    s->align[1] = 3;
    s->align[2] = 201;
    s->raw_score = 1.5f;
    s->prefilter_raw = 2.5f;
    s->prefilter_simple = 3.5f;
    s->simple_score = 4.5f;
    s->second_score = 5.5f;
    s->report1 = 6.5f;
    s->report2 = 7.5f;
    s->evalue = 0.25;
    s->xcount = 3.0f;
    s->converted = 1;
    s->reversed = 1;
    s->weights = static_cast<double *>(mem_alloc(sizeof(double)));
    s->pathprob = static_cast<SeqPathProb *>(mem_alloc(9 * sizeof(SeqPathProb)));
    s->constraints = static_cast<PosConstraint *>(mem_alloc(5 * sizeof(PosConstraint)));
    s->rev_constraints = static_cast<PosConstraint *>(mem_alloc(5 * sizeof(PosConstraint)));

    Sequence *c = copy_sequence(s);
    EXPECT_EQ(c->len, 5);
    EXPECT_EQ(c->ntracks, 2);
    EXPECT_STREQ(c->id, "seq1");
    EXPECT_NE(c->id, s->id);
    EXPECT_STREQ(c->annotation, "some text");
    EXPECT_EQ(std::memcmp(c->tracks[0].res, "ACDEF\0", 7), 0);
    EXPECT_EQ(std::memcmp(c->tracks[1].res, "ACDEF\0", 7), 0);
    EXPECT_NE(c->tracks[0].res, s->tracks[0].res);
    ASSERT_NE(c->align, nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(c->align), "\x69\x03\xc9");
    EXPECT_EQ(c->raw_score, 1.5f);
    EXPECT_EQ(c->prefilter_raw, 2.5f);
    EXPECT_EQ(c->prefilter_simple, 3.5f);
    EXPECT_EQ(c->simple_score, 4.5f);
    EXPECT_EQ(c->second_score, 5.5f);
    EXPECT_EQ(c->report1, 6.5f);
    EXPECT_EQ(c->xcount, 3.0f);
    // Not copied: as after alloc_sequence.
    EXPECT_EQ(c->report2, 1000000.0f);
    EXPECT_EQ(c->evalue, 1000000.0);
    EXPECT_EQ(c->weights, nullptr);
    EXPECT_EQ(c->pathprob, nullptr);
    EXPECT_EQ(c->constraints, nullptr);
    EXPECT_EQ(c->rev_constraints, nullptr);
    EXPECT_EQ(c->converted, 0);
    EXPECT_EQ(c->reversed, 0);
    free_sequence(s);  // path posteriors, weights and constraints go with the record
    free_sequence(c);
}

TEST_F(SequenceTest, FreeDataAlignTruncAnnotate) {
    Sequence *s = make_seq("parent", "ACDEFGHIK", 2);
    std::string longer(60, 'x');
    longer.replace(0, 10, "0123456789");
    s->annotation = str_dup(longer.c_str());
    s->align = static_cast<unsigned char *>(mem_alloc(2));
    s->align[0] = 109;
    s->raw_score = 12.0f;
    s->tracks[1].model = alloc_model(1);
    free_seq_data_align_trunc_annotate(s);
    EXPECT_EQ(s->tracks[0].res, nullptr);
    EXPECT_EQ(s->tracks[1].res, nullptr);
    EXPECT_NE(s->tracks[1].model, nullptr);  // track models stay
    EXPECT_EQ(s->align, nullptr);
    EXPECT_EQ(std::string(s->annotation), longer.substr(0, 50));
    EXPECT_STREQ(s->id, "parent");
    EXPECT_EQ(s->raw_score, 12.0f);
    EXPECT_EQ(s->len, 9);

    Sequence *shorter = make_seq("p2", "AC");
    shorter->annotation = str_dup(std::string(50, 'y').c_str());
    char *before = shorter->annotation;
    free_seq_data_align_trunc_annotate(shorter);
    EXPECT_EQ(shorter->annotation, before);  // exactly 50: kept as it is
    free_seq_data_align_trunc_annotate(nullptr);

    // A light record copies without residues.
    Sequence *c = copy_sequence(s);
    EXPECT_EQ(c->tracks[0].res, nullptr);
    free_sequence(c);
    free_sequence(s);
    free_sequence(shorter);
}

// ---------------------------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------------------------

TEST_F(SequenceTest, TableGrowsBy4096AndKeepsPointers) {
    SequenceTable *t = alloc_sequence_table();
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(t->capacity, 0);
    EXPECT_EQ(t->seqs, nullptr);
    add_seq_to_table(t, nullptr);  // ignored
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(t->capacity, 0);
    std::vector<Sequence *> made;
    for (int i = 0; i < 4096; i++) {
        made.push_back(alloc_sequence(0, 1));
        add_seq_to_table(t, made.back());
    }
    EXPECT_EQ(t->count, 4096);
    EXPECT_EQ(t->capacity, 4096);
    made.push_back(alloc_sequence(0, 1));
    add_seq_to_table(t, made.back());
    EXPECT_EQ(t->count, 4097);
    EXPECT_EQ(t->capacity, 8192);
    for (int i = 0; i < 4097; i++) ASSERT_EQ(t->seqs[i], made[i]);
    free_sequence_table(t);
    free_sequence_table(nullptr);

    EXPECT_EQ(fatal_of([] { add_seq_to_table(nullptr, nullptr); }),
              "sequence:add_seq_to_table()  Null seqtab\n");
    EXPECT_EQ(fatal_of([] { remove_seq_from_table(nullptr, 0); }),
              "sequence:remove_seq_from_table()  Null seqtab\n");
    EXPECT_EQ(fatal_of([] { free_seq_data_align_trunc_annotate_from_table(nullptr); }),
              "sequence:free_seq_data_align_trunc_annotate_from_table()\n");
}

TEST_F(SequenceTest, RemoveThenCompactKeepsOrder) {
    SequenceTable *t = alloc_sequence_table();
    const char *ids[] = {"a", "b", "c", "d", "e"};
    for (const char *id : ids) add_seq_to_table(t, make_seq(id, "AC"));
    Sequence *b = remove_seq_from_table(t, 1);
    Sequence *d = remove_seq_from_table(t, 3);
    EXPECT_STREQ(b->id, "b");
    EXPECT_STREQ(d->id, "d");
    EXPECT_EQ(t->count, 5);  // count still includes the nulled slots
    EXPECT_EQ(t->seqs[1], nullptr);
    EXPECT_EQ(remove_seq_from_table(t, 5), nullptr);
    EXPECT_EQ(remove_seq_from_table(t, 1), nullptr);  // already empty
    EXPECT_EQ(remove_seq_from_table(t, -1), nullptr);
    compact_sequence_table(t);
    ASSERT_EQ(t->count, 3);
    EXPECT_STREQ(t->seqs[0]->id, "a");
    EXPECT_STREQ(t->seqs[1]->id, "c");
    EXPECT_STREQ(t->seqs[2]->id, "e");
    free_sequence(b);
    free_sequence(d);
    free_sequence_table(t);
}

TEST_F(SequenceTest, DropNullSequences) {
    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, make_seq("keep1", "AC"));
    add_seq_to_table(t, make_seq("empty1", ""));
    Sequence *light = make_seq("light", "ACD");
    std::free(light->tracks[0].res);
    light->tracks[0].res = nullptr;
    add_seq_to_table(t, light);
    add_seq_to_table(t, make_seq("keep2", "D"));
    FILE *report = std::tmpfile();
    drop_null_sequences(t, report);
    EXPECT_EQ(stream_text(report),
              "Dropping zero-length sequence empty1\nDropping zero-length sequence light\n");
    std::fclose(report);
    ASSERT_EQ(t->count, 2);
    EXPECT_STREQ(t->seqs[0]->id, "keep1");
    EXPECT_STREQ(t->seqs[1]->id, "keep2");

    add_seq_to_table(t, make_seq("empty2", ""));
    drop_null_sequences(t, nullptr);  // silently
    EXPECT_EQ(t->count, 2);
    drop_null_sequences(nullptr, nullptr);
    free_sequence_table(t);
}

TEST_F(SequenceTest, CleanResetMoveSubAndCopyTables) {
    SequenceTable *t = alloc_sequence_table();
    for (const char *id : {"a", "b", "c", "d"}) add_seq_to_table(t, make_seq(id, "ACD"));

    // Sub-table shares the sequences of slots 1..2.
    SequenceTable *sub = alloc_sequence_table();
    add_seq_to_table(sub, t->seqs[3]);  // emptied first
    create_sub_sequence_table(t, sub, 1, 2);
    ASSERT_EQ(sub->count, 2);
    EXPECT_EQ(sub->seqs[0], t->seqs[1]);
    EXPECT_EQ(sub->seqs[1], t->seqs[2]);
    create_sub_sequence_table(t, sub, 2, 1);
    EXPECT_EQ(sub->count, 0);
    create_sub_sequence_table(t, sub, -3, 99);  // only the slots that exist
    EXPECT_EQ(sub->count, 4);
    reset_sequence_table(sub);
    EXPECT_EQ(sub->count, 0);
    EXPECT_EQ(sub->capacity, 4096);
    free_sequence_table(sub);  // frees no shared sequence: the table is empty

    // Copies are independent records.
    SequenceTable *copies = alloc_sequence_table();
    copy_sequence_table(t, copies);
    ASSERT_EQ(copies->count, 4);
    EXPECT_NE(copies->seqs[0], t->seqs[0]);
    EXPECT_STREQ(copies->seqs[3]->id, "d");
    SequenceTable *empty = alloc_sequence_table();
    copy_sequence_table(empty, nullptr);  // nothing to append
    EXPECT_EQ(fatal_of([t] { copy_sequence_table(t, nullptr); }),
              "sequence:add_seq_to_table()  Null seqtab\n");

    // Moving hands the sequences over.
    Sequence *first = t->seqs[0];
    free_sequence(remove_seq_from_table(t, 1));  // a nulled slot is skipped
    move_to_sequence_table(empty, t);
    EXPECT_EQ(t->count, 0);
    ASSERT_EQ(empty->count, 3);
    EXPECT_EQ(empty->seqs[0], first);
    EXPECT_STREQ(empty->seqs[1]->id, "c");
    move_to_sequence_table(empty, nullptr);
    SequenceTable *none = alloc_sequence_table();
    move_to_sequence_table(nullptr, none);  // empty source: nothing to do
    EXPECT_EQ(fatal_of([empty] { move_to_sequence_table(nullptr, empty); }),
              "sequence:add_seq_to_table()  Null seqtab\n");

    // Clean frees the sequences and keeps the slot array.
    clean_sequence_table(copies);
    EXPECT_EQ(copies->count, 0);
    EXPECT_EQ(copies->capacity, 4096);
    EXPECT_NE(copies->seqs, nullptr);
    add_seq_to_table(copies, make_seq("again", "A"));
    EXPECT_EQ(copies->count, 1);

    // The light-record walk over a table.
    add_seq_to_table(empty, nullptr);
    free_seq_data_align_trunc_annotate_from_table(empty);
    EXPECT_EQ(empty->seqs[0]->tracks[0].res, nullptr);

    free_sequence_table(copies);
    free_sequence_table(empty);
    free_sequence_table(none);
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Nodes, models and raw models
// ---------------------------------------------------------------------------------------------

TEST_F(SequenceTest, NodeSizesAndViewsFollowTheAlphabet) {
    Node *n = alloc_node();
    EXPECT_EQ(n->nparams, 49);  // protein: 2 * 20 + 9
    EXPECT_EQ(n->type, 0);
    EXPECT_EQ(n->lab, -1);
    EXPECT_EQ(n->nodeenv, nullptr);
    EXPECT_EQ(n->djump, n->params);
    EXPECT_EQ(n->mjump, n->params + 3);
    EXPECT_EQ(n->ijump, n->params + 6);
    EXPECT_EQ(n->match, n->params + 9);
    EXPECT_EQ(n->insert, n->params + 29);
    for (int i = 0; i < 49; i++) EXPECT_EQ(n->params[i], 0.0f);
    free_node(n);
    free_node(nullptr);

    Model *m = alloc_model(2);
    alloc_mod_weight(m);
    ASSERT_NE(m->weights, nullptr);
    ASSERT_NE(m->fim_weight, nullptr);
    for (int i = 0; i < 4; i++) {
        ModWeight *w = m->weights[i];
        EXPECT_EQ(w->ncosts, 55);  // protein: 2 * 23 + 9
        EXPECT_EQ(w->djump, w->costs);
        EXPECT_EQ(w->mjump, w->costs + 3);
        EXPECT_EQ(w->ijump, w->costs + 6);
        EXPECT_EQ(w->match, w->costs + 9);
        EXPECT_EQ(w->insert, w->costs + 32);
        EXPECT_EQ(w->costs[54], 0);
    }
    EXPECT_EQ(m->fim_weight->ncosts, 55);
    free_mod_weight(m);
    EXPECT_EQ(m->weights, nullptr);
    EXPECT_EQ(m->fim_weight, nullptr);
    free_mod_weight(m);  // nothing left: no-op
    free_model(m);

    use_alphabet("DNA");
    Node *d = alloc_node();
    EXPECT_EQ(d->nparams, 17);
    EXPECT_EQ(d->insert, d->params + 13);
    free_node(d);
    Model *dm = alloc_model(1);
    alloc_mod_weight(dm);
    EXPECT_EQ(dm->weights[0]->ncosts, 23);  // 2 * 7 + 9
    free_model(dm);
}

TEST_F(SequenceTest, NodeEnvironments) {
    NodeEnv *e = alloc_NodeEnv();
    EXPECT_EQ(e->acc, -1);
    EXPECT_EQ(e->env, -1);
    EXPECT_EQ(e->code, 0);
    update_nodenv(e, 3, 4, 17);
    EXPECT_EQ(e->acc, 3);
    EXPECT_EQ(e->env, 4);
    EXPECT_EQ(e->code, 17);
    NodeEnv *f = alloc_NodeEnv();
    copy_node_env(e, f);
    EXPECT_EQ(f->acc, 3);
    EXPECT_EQ(f->env, 4);
    EXPECT_EQ(f->code, 17);
    copy_node_env(e, nullptr);  // never creates one
    copy_node_env(nullptr, f);
    EXPECT_EQ(f->code, 17);

    Node *n = alloc_node();
    EXPECT_EQ(GetEnvCode(n), 0);
    n->nodeenv = f;
    EXPECT_EQ(GetEnvCode(n), 17);
    free_node(n);  // releases the environment
    free_NodeEnv(e);
    free_NodeEnv(nullptr);
}

TEST_F(SequenceTest, AllocModelCounts) {
    Model *m0 = alloc_model(0);  // Begin and End, as in a model of any other length
    EXPECT_EQ(m0->length, 0);
    for (int i = 0; i < 2; i++) {
        ASSERT_NE(m0->nodes[i], nullptr);
        EXPECT_EQ(m0->nodes[i]->nparams, 49);
        EXPECT_EQ(m0->nodes[i]->lab, -1);
    }
    EXPECT_EQ(m0->fim_method, 9);
    EXPECT_EQ(m0->kind, MODEL_KIND_PROFILE);
    EXPECT_EQ(m0->weights, nullptr);
    EXPECT_EQ(m0->gap, 0);
    EXPECT_EQ(m0->cont, 0);
    EXPECT_EQ(m0->query, nullptr);
    EXPECT_EQ(m0->matrix, nullptr);
    free_model(m0);

    Model *m5 = alloc_model(-5);
    EXPECT_EQ(m5->length, 5);
    for (int i = 0; i < 7; i++) EXPECT_EQ(m5->nodes[i], nullptr);
    m5->nodes[0] = alloc_node();  // the caller fills slots; release copes with the rest empty
    free_model(m5);

    Model *m3 = alloc_model(3);
    EXPECT_EQ(m3->length, 3);
    for (int i = 0; i < 5; i++) {
        ASSERT_NE(m3->nodes[i], nullptr);
        EXPECT_EQ(m3->nodes[i]->nparams, 49);
    }
    m3->generic = alloc_node();
    m3->lettcount = alloc_node();
    m3->freqave = alloc_node();
    m3->fim_node = alloc_node();
    m3->kind = MODEL_KIND_QUERY;
    m3->query = make_seq("query", "ACD", 2);
    m3->query->tracks[1].model = alloc_model(1);  // a sequence with its own track model
    m3->matrix = reinterpret_cast<int **>(double_alloc(24, 24, sizeof(int)));
    free_model(m3);  // everything released once (checked under the address sanitizer)
    free_model(nullptr);
}

TEST_F(SequenceTest, ReallocModel) {
    Model *m = alloc_model(2);
    Node *end = m->nodes[3];
    alloc_mod_weight(m);
    realloc_model(m, 5);
    EXPECT_EQ(m->length, 5);
    EXPECT_EQ(m->weights, nullptr);  // cost records released first
    EXPECT_EQ(m->fim_weight, nullptr);
    EXPECT_EQ(m->nodes[3], end);  // the old End stays at L+1
    for (int i = 0; i < 7; i++) ASSERT_NE(m->nodes[i], nullptr);
    realloc_model(m, 1);
    EXPECT_EQ(m->length, 1);
    EXPECT_NE(m->nodes[2], nullptr);
    EXPECT_EQ(m->nodes[3], nullptr);  // surplus released
    free_model(m);
}

TEST_F(SequenceTest, RawModels) {
    Rmodel *r = alloc_rmodel(nullptr);
    EXPECT_EQ(r->nstart, 0);
    EXPECT_EQ(r->nend, 0);
    EXPECT_EQ(r->nslots, 0);
    EXPECT_EQ(r->slots, nullptr);
    EXPECT_EQ(r->begin, nullptr);
    r->nstart = 3;
    r->nend = 2;
    EXPECT_EQ(alloc_rmodel(r), r);
    EXPECT_EQ(r->nslots, 7);
    EXPECT_EQ(r->end_nodes, r->slots + 4);
    for (int i = 0; i < 7; i++) EXPECT_EQ(r->slots[i], nullptr);
    r->slots[0] = alloc_node();
    r->slots[2] = alloc_node();
    r->end_nodes[0] = alloc_node();
    r->end_nodes[2] = alloc_node();
    r->begin = r->slots[0];
    r->end = r->end_nodes[0];
    r->generic = alloc_node();
    free_rmodel(&r);  // Begin and End released once, through their slots
    EXPECT_EQ(r, nullptr);

    // Without numbered nodes (start count -1) the one slot is End.
    Rmodel *g = alloc_rmodel(nullptr);
    g->nstart = -1;
    alloc_rmodel(g);
    EXPECT_EQ(g->nslots, 1);
    EXPECT_EQ(g->end_nodes, g->slots);
    g->end_nodes[0] = alloc_node();
    free_rmodel(&g);
    Rmodel *bad = alloc_rmodel(nullptr);
    bad->nstart = -2;
    EXPECT_EQ(fatal_of([bad] { alloc_rmodel(bad); }), "alloc_rmodel: invalid node counts -2 and 0");
    free_rmodel(&bad);
    free_rmodel(&r);
    free_rmodel(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Ordering and search
// ---------------------------------------------------------------------------------------------

TEST_F(SequenceTest, SeqCompareAndDataSort) {
    Sequence *ac = make_seq("x", "AC");
    Sequence *acg = make_seq("y", "ACG");
    Sequence *act = make_seq("z", "ACT");
    EXPECT_EQ(seq_compare(ac, acg), -1);
    EXPECT_EQ(seq_compare(acg, ac), 1);
    EXPECT_EQ(seq_compare(acg, act), -1);  // 'G' < 'T'
    EXPECT_EQ(seq_compare(act, acg), 1);
    EXPECT_EQ(seq_compare(acg, acg), 0);
    Sequence *hi = make_seq("h", std::string("\x01\xf0", 2));
    Sequence *lo = make_seq("l", std::string("\x01\x10", 2));
    EXPECT_EQ(seq_compare(hi, lo), 1);  // bytes compare unsigned

    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, act);
    add_seq_to_table(t, hi);
    add_seq_to_table(t, acg);
    add_seq_to_table(t, ac);
    add_seq_to_table(t, lo);
    sequence_data_sort(t);
    EXPECT_STREQ(t->seqs[0]->id, "l");  // 01 10 < 01 f0 < AC ('A' is 0x41)
    EXPECT_STREQ(t->seqs[1]->id, "h");
    EXPECT_STREQ(t->seqs[2]->id, "x");
    EXPECT_STREQ(t->seqs[3]->id, "y");
    EXPECT_STREQ(t->seqs[4]->id, "z");
    EXPECT_EQ(compare_seqs(&t->seqs[3], &t->seqs[4]), -1);
    free_sequence_table(t);
}

// A sorted table of the IDs b, d, f, h, j (slots 0..4).
SequenceTable *sorted_ids() {
    SequenceTable *t = alloc_sequence_table();
    for (const char *id : {"j", "d", "h", "b", "f"}) add_seq_to_table(t, make_seq(id, "A"));
    sequence_sort(t);
    return t;
}

TEST_F(SequenceTest, SortAndSearchByID) {
    SequenceTable *t = sorted_ids();
    const char *expect[] = {"b", "d", "f", "h", "j"};
    for (int i = 0; i < 5; i++) EXPECT_STREQ(t->seqs[i]->id, expect[i]);
    for (int i = 0; i < 5; i++) EXPECT_EQ(sequence_search(expect[i], t), i);
    EXPECT_EQ(sequence_search("a", t), -1);
    EXPECT_EQ(sequence_search("e", t), -1);
    EXPECT_EQ(sequence_search("z", t), -1);
    EXPECT_LT(compare_ID(&t->seqs[0], &t->seqs[1]), 0);
    Sequence *none = nullptr;
    EXPECT_EQ(compare_ID(&none, &t->seqs[1]), 0);

    // Equal IDs keep their table order (stable sort).
    SequenceTable *dup = alloc_sequence_table();
    add_seq_to_table(dup, make_seq("k", "A"));
    add_seq_to_table(dup, make_seq("k", "C"));
    add_seq_to_table(dup, make_seq("a", "D"));
    sequence_sort(dup);
    EXPECT_STREQ(dup->seqs[0]->id, "a");
    EXPECT_EQ(dup->seqs[1]->tracks[0].res[0], 'A');
    EXPECT_EQ(dup->seqs[2]->tracks[0].res[0], 'C');

    SequenceTable *empty = alloc_sequence_table();
    EXPECT_EQ(sequence_search("b", empty), -1);
    EXPECT_EQ(sequence_hint_search("b", 3, empty), -1);
    free_sequence_table(empty);
    free_sequence_table(dup);
    free_sequence_table(t);
}

TEST_F(SequenceTest, HintSearch) {
    SequenceTable *t = sorted_ids();                 // b d f h j
    EXPECT_EQ(sequence_hint_search("b", -1, t), 0);  // no hint: slot 0 tried first
    EXPECT_EQ(sequence_hint_search("f", 1, t), 2);   // slot hint + 1
    EXPECT_EQ(sequence_hint_search("h", 1, t), 3);   // slot hint + 2
    EXPECT_EQ(sequence_hint_search("b", 2, t), 0);   // smaller: bisect before
    EXPECT_EQ(sequence_hint_search("j", 0, t), 4);   // greater: bisect after
    EXPECT_EQ(sequence_hint_search("g", 1, t), -1);  // between two neighbours
    EXPECT_EQ(sequence_hint_search("a", 1, t), -1);
    EXPECT_EQ(sequence_hint_search("z", 1, t), -1);
    EXPECT_EQ(sequence_hint_search("j", 3, t), 4);    // last slot as hint + 1
    EXPECT_EQ(sequence_hint_search("z", 3, t), -1);   // nothing after the last slot
    EXPECT_EQ(sequence_hint_search("d", 4, t), 1);    // hint at the end: whole table
    EXPECT_EQ(sequence_hint_search("d", 100, t), 1);  // hint past the end stays in the table
    EXPECT_EQ(sequence_hint_search("q", 100, t), -1);
    EXPECT_EQ(sequence_hint_search("d", -7, t), 1);
    free_sequence_table(t);
}

// ---------------------------------------------------------------------------------------------
// Statistics and letters
// ---------------------------------------------------------------------------------------------

SequenceTable *table_of_lengths(std::initializer_list<int> lengths) {
    SequenceTable *t = alloc_sequence_table();
    for (int len : lengths) add_seq_to_table(t, alloc_sequence(len, 1));
    return t;
}

TEST_F(SequenceTest, SeqMaxStats) {
    SequenceTable *t = table_of_lengths({10, 20, 30});
    SeqInfo info;
    std::memset(&info, 0x55, sizeof info);
    info.stddev = 0.0;
    seq_max_stats(t, &info, 1, 0.0f);
    EXPECT_EQ(info.min_len, 10);
    EXPECT_EQ(info.max_len, 30);
    EXPECT_EQ(info.count, 3);
    EXPECT_DOUBLE_EQ(info.mean, 20.0);
    EXPECT_DOUBLE_EQ(info.sum, 60.0);
    EXPECT_DOUBLE_EQ(info.excess_sum, 60.0);
    EXPECT_DOUBLE_EQ(info.sumsq, 1400.0);
    EXPECT_DOUBLE_EQ(info.stddev, 10.0);

    SequenceTable *one = table_of_lengths({40});
    seq_max_stats(one, &info, 0, 0.0f);
    EXPECT_EQ(info.count, 4);
    EXPECT_EQ(info.max_len, 40);
    EXPECT_EQ(info.min_len, 10);
    EXPECT_DOUBLE_EQ(info.sum, 100.0);
    EXPECT_DOUBLE_EQ(info.mean, 25.0);

    seq_max_stats(t, &info, 1, 25.0f);
    EXPECT_DOUBLE_EQ(info.excess_sum, 7.0);  // 1 + 1 + 5

    // No table: the record is cleared, the deviation kept.
    seq_max_stats(nullptr, &info, 0, 0.0f);
    EXPECT_EQ(info.count, 0);
    EXPECT_DOUBLE_EQ(info.sum, 0.0);
    EXPECT_DOUBLE_EQ(info.stddev, 10.0);

    // Long sequences: the square does not overflow.
    SequenceTable *big = table_of_lengths({100000});
    seq_max_stats(big, &info, 1, 0.0f);
    EXPECT_DOUBLE_EQ(info.sumsq, 1e10);

    EXPECT_EQ(fatal_of([t] { seq_max_stats(t, nullptr, 1, 0.0f); }),
              "seq_max_stats passed null SeqInfo");
    free_sequence_table(big);
    free_sequence_table(one);
    free_sequence_table(t);
}

TEST_F(SequenceTest, LettersOfASequence) {
    Sequence *s = make_indexed("p", "ACDBZXA");
    char *text = SeqToStr(s);
    EXPECT_STREQ(text, "ACDBZXA");
    std::free(text);
    EXPECT_EQ(count_letter('A', s), 2);
    EXPECT_EQ(count_letter('X', s), 1);
    EXPECT_EQ(count_letter('W', s), 0);
    EXPECT_EQ(fatal_of([s] { count_letter('J', s); }), "count_letter: letter not in alphabet");
    free_sequence(s);

    // RELSA2 has letters B and E; its catch-all (index 2) has no letter.
    use_alphabet("RELSA2");
    Sequence *r = make_indexed("r", "BEQ");
    EXPECT_EQ(r->tracks[0].res[2], 2);
    text = SeqToStr(r);
    EXPECT_STREQ(text, "BEX");
    std::free(text);
    free_sequence(r);
}

TEST_F(SequenceTest, GlobalLetterCountsNucleic) {
    use_alphabet("DNA");
    Sequence *s = make_indexed("d", "AAAGRR");  // A 3, G 1, R 2
    float *f = global_letter_counts(&s, 0, 1);
    // A = 3.001 + 2 * 3.001 / 4.002, G = 1.001 + 2 * 1.001 / 4.002, C = T = 0.001; normalised.
    EXPECT_NEAR(f[0], 0.7496252706, 1e-6);
    EXPECT_NEAR(f[1], 0.2500416181, 1e-6);
    EXPECT_NEAR(f[2], 0.0001665556, 1e-7);
    EXPECT_NEAR(f[3], 0.0001665556, 1e-7);
    EXPECT_FLOAT_EQ(f[4], f[0] + f[1]);  // R
    EXPECT_FLOAT_EQ(f[5], f[2] + f[3]);  // Y
    EXPECT_EQ(f[6], 1.0f);               // N
    std::free(f);

    // N residues share out in proportion: the normalised values do not change.
    Sequence *withn = make_indexed("n", "AAAGRRNNNN");
    float *g = global_letter_counts(&withn, 0, 1);
    EXPECT_NEAR(g[0], 0.7496252706, 1e-6);
    EXPECT_NEAR(g[1], 0.2500416181, 1e-6);
    EXPECT_EQ(g[6], 1.0f);
    std::free(g);

    // No sequences: the start values alone.
    float *h = global_letter_counts(nullptr, 0, 0);
    for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(h[k], 0.25f);
    EXPECT_FLOAT_EQ(h[4], 0.5f);
    std::free(h);
    free_sequence(s);
    free_sequence(withn);
}

TEST_F(SequenceTest, GlobalLetterCountsProtein) {
    Sequence *s = make_indexed("p", "NDDDBB");  // N 1, D 3, B 2
    float *f = global_letter_counts(&s, 0, 1);
    EXPECT_NEAR(f[2], 0.7476329111, 1e-6);   // D
    EXPECT_NEAR(f[11], 0.2493770557, 1e-6);  // N
    EXPECT_NEAR(f[0], 0.0001661130, 1e-7);   // A
    EXPECT_FLOAT_EQ(f[20], f[2] + f[11]);    // B = D + N
    EXPECT_FLOAT_EQ(f[21], f[3] + f[13]);    // Z = E + Q
    EXPECT_EQ(f[22], 1.0f);
    std::free(f);
    free_sequence(s);
}

// ---------------------------------------------------------------------------------------------
// Shuffling and reversal
// ---------------------------------------------------------------------------------------------

TEST_F(SequenceTest, PermutedSequence) {
    // Length 2: one draw, j = random() % 2; positions 1 and j swap, so the residues change
    // places exactly when the draw is even.
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        srandom(seed);
        long draw = random();
        srandom(seed);
        Sequence *s = make_seq("s", "AB", 2);
        s->tracks[1].res[0] = 'x';
        s->tracks[1].res[1] = 'y';
        permuted_sequence(s);
        bool swapped = draw % 2 == 0;
        EXPECT_EQ(s->tracks[0].res[0], swapped ? 'B' : 'A');
        EXPECT_EQ(s->tracks[1].res[0], swapped ? 'y' : 'x');  // same permutation in every track
        free_sequence(s);
    }

    // Longer: a permutation, the same for both tracks.
    srandom(42);
    Sequence *s = make_seq("s", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2);
    for (int i = 0; i < 26; i++) s->tracks[1].res[i] = (unsigned char)('a' + i);
    permuted_sequence(s);
    std::string t0(reinterpret_cast<char *>(s->tracks[0].res), 26);
    std::string sorted = t0;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    for (int i = 0; i < 26; i++) EXPECT_EQ(s->tracks[1].res[i], s->tracks[0].res[i] - 'A' + 'a');
    EXPECT_EQ(s->tracks[0].res[26], 0);
    free_sequence(s);
    permuted_sequence(nullptr);
}

TEST_F(SequenceTest, ReverseSequence) {
    Sequence *s = make_seq("s", "ABCDE", 2);
    s->tracks[1].res[0] = 'v';
    PosConstraint *fwd = static_cast<PosConstraint *>(mem_alloc(5 * sizeof(PosConstraint)));
    PosConstraint *rev = static_cast<PosConstraint *>(mem_alloc(5 * sizeof(PosConstraint)));
    s->constraints = fwd;
    s->rev_constraints = rev;
    s->align = static_cast<unsigned char *>(mem_alloc(3));
    s->align[0] = 104;
    s->align[1] = 1;
    reverse_sequence(s);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(s->tracks[0].res), 5), "EDCBA");
    EXPECT_EQ(s->tracks[1].res[4], 'v');
    EXPECT_EQ(s->constraints, rev);
    EXPECT_EQ(s->rev_constraints, fwd);
    EXPECT_EQ(s->reversed, 1);
    EXPECT_EQ(s->align[0], 104);  // the alignment code is left as it is
    reverse_sequence(s);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(s->tracks[0].res), 5), "ABCDE");
    EXPECT_EQ(s->constraints, fwd);
    EXPECT_EQ(s->rev_constraints, rev);
    EXPECT_EQ(s->reversed, 0);
    reverse_sequence(nullptr);
    free_sequence(s);
}

// ---------------------------------------------------------------------------------------------
// Weight files
// ---------------------------------------------------------------------------------------------

// Reads a weight file, returning the result and what went to standard error.
int read_capture(const std::string &path, SeqWeights *w, std::string &err) {
    testing::internal::CaptureStderr();
    int ok = read_weights(path.c_str(), w);
    err = testing::internal::GetCapturedStderr();
    return ok;
}

void expect_empty(const SeqWeights &w) {
    EXPECT_EQ(w.description, nullptr);
    EXPECT_EQ(w.num_families, 0);
    EXPECT_EQ(w.num_seqs, 0);
    EXPECT_EQ(w.weights, nullptr);
    EXPECT_EQ(w.ids, nullptr);
}

TEST_F(SequenceTest, ReadWeightsBasic) {
    SeqWeights w;
    std::string err;
    std::string path = test_data("sequence_weights_basic.txt");
    ASSERT_EQ(read_capture(path, &w, err), 1);
    EXPECT_EQ(err, "Weightfile " + path + ": -1.00 for b reset to 0.0\n");
    EXPECT_STREQ(w.description, "Weights of a tiny set\n");
    EXPECT_EQ(w.num_seqs, 2);
    EXPECT_EQ(w.num_families, 1);
    EXPECT_STREQ(w.ids[0], "a");
    EXPECT_STREQ(w.ids[1], "b");
    EXPECT_DOUBLE_EQ(w.weights[0][0], 0.5);
    EXPECT_DOUBLE_EQ(w.weights[1][0], 0.0);
    free_weights(&w);
    expect_empty(w);
}

TEST_F(SequenceTest, ReadWeightsFamiliesCommentsAndMissingValues) {
    std::string dir = scratch_dir();
    std::string path = dir + "/fam.weights";
    write_text(path, "% leading comment\n"
                     "Two families\n"
                     "% between\n"
                     "3\t2\n"
                     "% ID weights\n"
                     "s1 0.25\t1.5\n"
                     "% a comment between rows\n"
                     "s2\t2\n"
                     "s3 1 2 3 extra\n");
    SeqWeights w;
    std::string err;
    ASSERT_EQ(read_capture(path, &w, err), 1);
    EXPECT_EQ(err, "Weightfile " + path + ": Null weight for\n\ts2 (1) set to 1.0\n");
    EXPECT_STREQ(w.description, "Two families\n");
    EXPECT_EQ(w.num_seqs, 3);
    EXPECT_EQ(w.num_families, 2);
    EXPECT_DOUBLE_EQ(w.weights[0][0], 0.25);
    EXPECT_DOUBLE_EQ(w.weights[0][1], 1.5);
    EXPECT_DOUBLE_EQ(w.weights[1][0], 2.0);
    EXPECT_DOUBLE_EQ(w.weights[1][1], 1.0);
    EXPECT_DOUBLE_EQ(w.weights[2][1], 2.0);
    free_weights(&w);

    // Nothing to do: success with an empty record.
    EXPECT_EQ(read_weights(nullptr, &w), 1);
    expect_empty(w);
    EXPECT_EQ(read_weights("", &w), 1);
    expect_empty(w);
    EXPECT_EQ(read_weights(path.c_str(), nullptr), 1);

    // A description longer than any line buffer is still one line.
    std::string longdesc(3000, 'd');
    write_text(path, longdesc + "\n1 1\nx 0.5\n");
    ASSERT_EQ(read_capture(path, &w, err), 1);
    EXPECT_EQ(err, "");
    EXPECT_EQ(std::string(w.description), longdesc + "\n");
    EXPECT_STREQ(w.ids[0], "x");
    free_weights(&w);

    // So is a row of 300 families (about 1800 characters): one row, every weight in place.
    std::string row = "y";
    for (int f = 0; f < 300; f++) row += f == 299 ? " 0.75" : " 0.125";
    write_text(path, "Many families\n1 300\n" + row + "\n");
    ASSERT_EQ(read_capture(path, &w, err), 1);
    EXPECT_EQ(err, "");
    ASSERT_EQ(w.num_seqs, 1);
    ASSERT_EQ(w.num_families, 300);
    EXPECT_STREQ(w.ids[0], "y");
    EXPECT_DOUBLE_EQ(w.weights[0][0], 0.125);
    EXPECT_DOUBLE_EQ(w.weights[0][298], 0.125);
    EXPECT_DOUBLE_EQ(w.weights[0][299], 0.75);
    free_weights(&w);
}

TEST_F(SequenceTest, ReadWeightsMalformed) {
    std::string dir = scratch_dir();
    SeqWeights w;
    std::string err;

    std::string missing = dir + "/nothing.weights";
    EXPECT_EQ(read_capture(missing, &w, err), 0);
    EXPECT_EQ(err, "Could not open sequence weight file " + missing + "\nWeightfile " + missing +
                       " will not be used.\n");
    expect_empty(w);

    const std::string invalid_counts = " has an invalid Num_Sequences Num_families line\n"
                                       "or is missing a description line.\n";
    struct Case {
        const char *text;
    } bad_counts[] = {{"desc\n0 1\na 1\n"}, {"desc\n2 -1\n"},      {"desc\n\na 1\n"},
                      {"desc\n"},           {"% only comments\n"}, {""},
                      {"desc\nabc def\n"},  {"desc\n3\n"}};
    for (const Case &c : bad_counts) {
        std::string path = dir + "/bad.weights";
        write_text(path, c.text);
        EXPECT_EQ(read_capture(path, &w, err), 0) << c.text;
        EXPECT_EQ(err, "Weight file " + path + invalid_counts + "Weightfile " + path +
                           " will not be used.\n")
            << c.text;
        expect_empty(w);
    }

    std::string shortfile = dir + "/short.weights";
    write_text(shortfile, "desc\n3 1\na 1\n% comment\nb 2\n");
    EXPECT_EQ(read_capture(shortfile, &w, err), 0);
    EXPECT_EQ(err, "Weightfile " + shortfile + ":  too few entries; 2 of 3 found.\nWeightfile " +
                       shortfile + " will not be used.\n");
    expect_empty(w);

    // A row without any token: reported, kept under an empty ID with unit weights.
    std::string noid = dir + "/noid.weights";
    write_text(noid, "desc\n2 1\n   \t\nb 2\n");
    EXPECT_EQ(read_capture(noid, &w, err), 1);
    EXPECT_EQ(err, "No ID for sequence 0 in weightfile " + noid + "\n");
    EXPECT_STREQ(w.ids[0], "");
    EXPECT_DOUBLE_EQ(w.weights[0][0], 1.0);
    EXPECT_STREQ(w.ids[1], "b");
    free_weights(&w);

    // A family count past the int range is refused as any count past the bound on families; a
    // row count past the bound on the row tables likewise.
    std::string huge = dir + "/huge.weights";
    struct Bound {
        const char *counts, *said;
    } bounds[] = {{"1 9999999999", "9999999999 families, more than the 1000"},
                  {"268435456 1", "268435456 rows, more than the 268435455"}};
    for (const Bound &b : bounds) {
        write_text(huge, std::string("desc\n") + b.counts + "\na 1\n");
        EXPECT_EQ(read_capture(huge, &w, err), 0);
        EXPECT_EQ(err, "Weight file " + huge + " line 2: " + b.said + " allowed\nWeightfile " +
                           huge + " will not be used.\n");
        expect_empty(w);
    }

    // A file that promises many rows but holds one costs nothing beyond it.
    write_text(huge, "desc\n200000000 1\na 1\n");
    EXPECT_EQ(read_capture(huge, &w, err), 0);
    EXPECT_EQ(err, "Weightfile " + huge + ":  too few entries; 1 of 200000000 found.\nWeightfile " +
                       huge + " will not be used.\n");
    expect_empty(w);
}

TEST_F(SequenceTest, ReadWeightsRefusesHugeFamilyCountAndWarnsOncePerRow) {
    std::string path = scratch_dir() + "/fam.weights";
    SeqWeights w;
    std::string err;
    write_text(path, "% more families than any run has models\nd\n3 1001\na\nb\nc\n");
    EXPECT_EQ(read_capture(path, &w, err), 0);
    EXPECT_EQ(err, "Weight file " + path + " line 3: 1001 families, more than the 1000 allowed\n" +
                       "Weightfile " + path + " will not be used.\n");
    expect_empty(w);

    write_text(path, "d\n2 3\na 0.5\nb\n");
    ASSERT_EQ(read_capture(path, &w, err), 1);
    EXPECT_EQ(err, "Weightfile " + path + ": Null weights for\n\ta (1 to 2) set to 1.0\n" +
                       "Weightfile " + path + ": Null weights for\n\tb (0 to 2) set to 1.0\n");
    EXPECT_DOUBLE_EQ(w.weights[0][0], 0.5);
    EXPECT_DOUBLE_EQ(w.weights[0][2], 1.0);
    EXPECT_DOUBLE_EQ(w.weights[1][0], 1.0);
    free_weights(&w);
}

TEST_F(SequenceTest, ReadWeightsResetsNonFiniteWeightsAndRefusesBadCounts) {
    std::string path = scratch_dir() + "/nf.weights";
    SeqWeights w;
    std::string err;
    write_text(path, "desc\n3 2\na nan inf\nb -inf 1\nc 1e400 0.5\n");
    ASSERT_EQ(read_capture(path, &w, err), 1);
    std::string lead = "Weightfile " + path + ": ";
    EXPECT_EQ(err, lead + "  nan for a reset to 0.0\n" + lead + "  inf for a reset to 0.0\n" +
                       lead + " -inf for b reset to 0.0\n" + lead + "  inf for c reset to 0.0\n");
    const double expect[3][2] = {{0.0, 0.0}, {0.0, 1.0}, {0.0, 0.5}};
    for (int i = 0; i < 3; i++)
        for (int f = 0; f < 2; f++) EXPECT_EQ(w.weights[i][f], expect[i][f]) << i << " " << f;
    free_weights(&w);

    // Counts that are not wholly a number or lie past the long range: the line is named.
    struct Case {
        const char *text, *token;
        int line;
    } cases[] = {{"desc\n1e9 1\na 1\n", "1e9", 2},
                 {"desc\n% c\n2 99999999999999999999\n", "99999999999999999999", 3},
                 {"desc\n-99999999999999999999 1\n", "-99999999999999999999", 2},
                 {"desc\n1 2x\na 1 1\n", "2x", 2},
                 {"desc\n3000000000 1\na 1\n", "3000000000", 2}};
    for (const Case &c : cases) {
        write_text(path, c.text);
        EXPECT_EQ(read_capture(path, &w, err), 0) << c.text;
        EXPECT_EQ(err, "Weight file " + path + " line " + std::to_string(c.line) + ": count " +
                           c.token + " is not a whole number in range\nWeightfile " + path +
                           " will not be used.\n");
        expect_empty(w);
    }
}

TEST_F(SequenceTest, MergeWeights) {
    std::string dir = scratch_dir();
    std::string path = dir + "/merge.weights";
    write_text(path, "desc\n2 2\nc 0.5 0.75\nb 2 3\n");
    SeqWeights w;
    std::string err;
    ASSERT_EQ(read_capture(path, &w, err), 1);

    SequenceTable *t = alloc_sequence_table();
    add_seq_to_table(t, make_seq("c", "A"));
    add_seq_to_table(t, make_seq("a", "C"));
    testing::internal::CaptureStderr();
    merge_weights(t, &w);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "No weight found for sequence ID =>a<=\n"
                   "setting to default weight of unity . . . \n"
                   "sequence ID b is listed in the weights file but not the sequence file\n");
    ASSERT_EQ(t->count, 2);
    EXPECT_STREQ(t->seqs[0]->id, "a");  // the table stays sorted by ID
    EXPECT_STREQ(t->seqs[1]->id, "c");
    ASSERT_NE(t->seqs[0]->weights, nullptr);
    EXPECT_DOUBLE_EQ(t->seqs[0]->weights[0], 1.0);
    EXPECT_DOUBLE_EQ(t->seqs[0]->weights[1], 1.0);
    EXPECT_DOUBLE_EQ(t->seqs[1]->weights[0], 0.5);
    EXPECT_DOUBLE_EQ(t->seqs[1]->weights[1], 0.75);
    EXPECT_STREQ(w.ids[0], "b");  // rows sorted with their weights
    EXPECT_DOUBLE_EQ(w.weights[0][1], 3.0);

    // Sequences after the last row keep no weights.
    add_seq_to_table(t, make_seq("d", "D"));
    testing::internal::CaptureStderr();
    merge_weights(t, &w);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(t->seqs[2]->weights, nullptr);

    // The summary of two families.
    FILE *out = std::tmpfile();
    print_weight_info(out, "Alignment weights", "merge.weights", "desc", t, 2);
    EXPECT_EQ(stream_text(out), "%  Alignment weights from merge.weights have 2 families.\n"
                                "%      Total weights: 2.50 2.75 \n"
                                "%      Max/Min weights: 1.00/0.50 1.00/0.75 \n"
                                "%  desc\n");
    std::fclose(out);
    free_weights(&w);

    // An empty record gives every sequence one weight of 1.0.
    SeqWeights none;
    read_weights(nullptr, &none);
    merge_weights(t, &none);
    EXPECT_EQ(none.num_families, 1);
    for (int i = 0; i < 3; i++) EXPECT_DOUBLE_EQ(t->seqs[i]->weights[0], 1.0);
    free_weights(&none);
    free_sequence_table(t);
}

TEST_F(SequenceTest, PrintWeightInfoOneFamily) {
    SequenceTable *t = alloc_sequence_table();
    double values[] = {0.5, 2.0, 1.25};
    for (double v : values) {
        Sequence *s = make_seq("s", "A");
        s->weights = static_cast<double *>(mem_alloc(sizeof(double)));
        s->weights[0] = v;
        add_seq_to_table(t, s);
    }
    FILE *out = std::tmpfile();
    print_weight_info(out, "Alignment weights", "internal calc", "the title", t, 1);
    print_weight_info(out, "Plain", nullptr, "", t, 1);
    print_weight_info(out, "Nothing", nullptr, nullptr, t, 0);
    EXPECT_EQ(stream_text(out),
              "%  Alignment weights from internal calc.  Total (3.75) Max (2.00) Min (0.50)\n"
              "%  the title\n"
              "%  Plain.  Total (3.75) Max (2.00) Min (0.50)\n");
    std::fclose(out);

    testing::internal::CaptureStderr();
    print_weight_info(nullptr, "To stderr", nullptr, nullptr, t, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "%  To stderr.  Total (3.75) Max (2.00) Min (0.50)\n");
    free_sequence_table(t);
}

// A fatal error ends the process with "Error: ", the message and status 1.
TEST(SequenceDeathTest, FatalErrorsExitWithStatusOne) {
    use_alphabet("protein");
    EXPECT_EXIT(
        {
            Sequence *s = alloc_sequence(2, 1);
            count_letter('J', s);
        },
        ::testing::ExitedWithCode(1), "^Error: count_letter: letter not in alphabet\n$");
    EXPECT_EXIT(add_seq_to_table(nullptr, nullptr), ::testing::ExitedWithCode(1),
                "^Error: sequence:add_seq_to_table\\(\\)  Null seqtab\n\n$");
}

}  // namespace
