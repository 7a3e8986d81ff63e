// Node labels: label lines, the label map, labelling raw models, writing label lines, and
// labels from a constrained alignment.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "models/models_labels.h"
#include "testutil.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

namespace {

class Labels : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        init_alphabet_by_name("DNA", 0, "");
    }
};

// A raw model with start count P, end count Q and a node in every slot.
Rmodel *full_rmodel(int P, int Q) {
    Rmodel *rm = alloc_rmodel(nullptr);
    rm->nstart = P;
    rm->nend = Q;
    alloc_rmodel(rm);
    for (int i = 0; i < rm->nslots; i++) rm->slots[i] = alloc_node();
    rm->begin = rm->slots[0];
    rm->end = rm->end_nodes[0];
    return rm;
}

// A model of length L whose nodes carry the given labels (index = node number 0..L+1).
Model *labelled_model(std::initializer_list<int> labels) {
    Model *m = alloc_model(static_cast<int>(labels.size()) - 2);
    int i = 0;
    for (int l : labels) m->nodes[i++]->lab = l;
    return m;
}

TEST_F(Labels, ParsesRangesIntoTheMap) {
    NodeLabelMap *map = parse_model_node_labels(nullptr, "f", "NODELABELS 3-5: 10\n");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->size, 256);
    EXPECT_EQ(map->slots[10], 3);
    EXPECT_EQ(map->slots[11], 4);
    EXPECT_EQ(map->slots[12], 5);
    EXPECT_EQ(map->slots[9], -2);
    EXPECT_EQ(map->slots[13], -2);
    // Backwards range: nothing.
    EXPECT_EQ(parse_model_node_labels(map, "f", "NODELABELS 5-3: 20\n"), map);
    EXPECT_EQ(map->slots[20], -2);
    // Blanks around the separators; the first word may be anything.
    parse_model_node_labels(map, "f", "n 30 - 31 : 40");
    EXPECT_EQ(map->slots[40], 30);
    EXPECT_EQ(map->slots[41], 31);
    // First node keeps a label.
    parse_model_node_labels(map, "f", "NODELABELS 8-8: 10\n");
    EXPECT_EQ(map->slots[10], 3);
    // Growth: 300 >= 256 gives 604 slots, the new ones unset.
    parse_model_node_labels(map, "f", "NODELABELS 2-2: 300\n");
    EXPECT_EQ(map->size, 604);
    EXPECT_EQ(static_cast<int>(map->slots.size()), 604);
    EXPECT_EQ(map->slots[300], 2);
    EXPECT_EQ(map->slots[603], -2);
    EXPECT_EQ(map->slots[299], -2);
    free_label_map(map);
    free_label_map(nullptr);
}

TEST_F(Labels, InvalidLinesAreFatal) {
    const char *bad[] = {"NODELABELS\n",
                         "NODELABELS 1-2\n",
                         "NODELABELS 1-2: x\n",
                         "NODELABELS 1 2: 3\n",
                         "NODELABELS -1-2: 3\n",
                         "NODELABELS 1-2: -3\n",
                         "NODELABELS 1--2: 3\n",
                         "NODELABELS 1-2: 99999999999\n",
                         "NODELABELS 0-2000000: 1\n",
                         "NODELABELS 0-10: 999995\n"};
    for (const char *line : bad)
        EXPECT_EQ(
            fatal_of([&] { free_label_map(parse_model_node_labels(nullptr, "m.mod", line)); }),
            std::string("m.mod: invalid node label line:\n") + line)
            << line;
}

TEST_F(Labels, AppliedToRawModelThroughTheView) {
    Rmodel *rm = full_rmodel(3, 0);
    NodeLabelMap *map = parse_model_node_labels(nullptr, "f", "NODELABELS 1-4: 5\n");
    parse_model_node_labels(map, "f", "NODELABELS 2-2: 50\n");  // node 2 also named 50
    parse_model_node_labels(map, "f", "NODELABELS 9-9: 60\n");  // far past the end
    testing::internal::CaptureStderr();
    label_rmodel_from_map(map, rm);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rm->slots[0]->lab, -1);
    EXPECT_EQ(rm->slots[1]->lab, 5);
    EXPECT_EQ(rm->slots[2]->lab, 50);  // the largest label wins
    EXPECT_EQ(rm->slots[3]->lab, 7);
    EXPECT_EQ(rm->end->lab, 8);  // node P+Q+1 is End, labelled without a message
    EXPECT_EQ(err, "Error: Node label 60 for node 9 is past the end of the model");
    for (int i = 0; i < rm->nslots; i++)
        EXPECT_NE(rm->slots[i]->lab, 60);  // the label beyond End is dropped
    free_label_map(map);
    free_rmodel(&rm);

    // End-numbered nodes: with P = 2, Q = 2 node 3 is end element 2, node 4 element 1.
    rm = full_rmodel(2, 2);
    map = parse_model_node_labels(nullptr, "f", "NODELABELS 1-5: 1\n");
    label_rmodel_from_map(map, rm);
    EXPECT_EQ(rm->slots[1]->lab, 1);
    EXPECT_EQ(rm->slots[2]->lab, 2);
    EXPECT_EQ(rm->end_nodes[2]->lab, 3);
    EXPECT_EQ(rm->end_nodes[1]->lab, 4);
    EXPECT_EQ(rm->end_nodes[0]->lab, 5);
    EXPECT_EQ(output_of([&](FILE *o) { write_rmodel_node_labels(rm, o); }), "NODELABELS 1-5: 1\n");
    // An empty view slot takes no label and writes as unlabelled.
    free_node(rm->end_nodes[2]);
    rm->end_nodes[2] = nullptr;
    EXPECT_EQ(rmodel_view_node(rm, 3), nullptr);
    EXPECT_EQ(output_of([&](FILE *o) { write_rmodel_node_labels(rm, o); }),
              "NODELABELS 1-2: 1\nNODELABELS 4-5: 4\n");
    free_label_map(map);
    free_rmodel(&rm);

    // Start count 0: neither labelled nor written.
    rm = full_rmodel(0, 0);
    map = parse_model_node_labels(nullptr, "f", "NODELABELS 0-1: 1\n");
    label_rmodel_from_map(map, rm);
    EXPECT_EQ(rm->slots[0]->lab, -1);
    EXPECT_EQ(rm->end->lab, -1);
    rm->end->lab = 4;
    EXPECT_EQ(output_of([&](FILE *o) { write_rmodel_node_labels(rm, o); }), "");
    free_label_map(map);
    free_rmodel(&rm);
}

TEST_F(Labels, ViewPrefersStartNodesInTheFirstHalf) {
    // P = 4, Q = 2: nodes up to P are start nodes (their end index P+Q+1-n is past Q), the
    // nodes after them end elements Q..1, then End.
    Rmodel *rm = full_rmodel(4, 2);
    EXPECT_EQ(rmodel_view_node(rm, 3), rm->slots[3]);
    EXPECT_EQ(rmodel_view_node(rm, 4), rm->slots[4]);  // i = 3 > Q: the start node
    EXPECT_EQ(rmodel_view_node(rm, 5), rm->end_nodes[2]);
    EXPECT_EQ(rmodel_view_node(rm, 6), rm->end_nodes[1]);
    EXPECT_EQ(rmodel_view_node(rm, 7), rm->end_nodes[0]);
    EXPECT_EQ(rmodel_view_node(rm, 8), nullptr);
    EXPECT_EQ(rmodel_view_node(rm, -1), nullptr);
    free_rmodel(&rm);
}

TEST_F(Labels, WritesRunsOfConsecutiveLabels) {
    Model *m = labelled_model({-1, 10, 11, 12, -1, 20, 21, -1});
    EXPECT_EQ(output_of([&](FILE *o) { write_model_node_labels(m, o); }),
              "NODELABELS 1-3: 10\nNODELABELS 5-6: 20\n");
    free_model(m);
    m = labelled_model({7, 10, 12, -1});  // Begin is never written
    EXPECT_EQ(output_of([&](FILE *o) { write_model_node_labels(m, o); }),
              "NODELABELS 1-1: 10\nNODELABELS 2-2: 12\n");
    free_model(m);
    m = labelled_model({-1, -1, 12, -1, 5, -1});  // the order test stops at unlabelled nodes
    EXPECT_EQ(output_of([&](FILE *o) { write_model_node_labels(m, o); }),
              "NODELABELS 2-2: 12\nNODELABELS 4-4: 5\n");
    free_model(m);
    m = labelled_model({-1, -1, -1, 9});  // a labelled End is written
    EXPECT_EQ(output_of([&](FILE *o) { write_model_node_labels(m, o); }), "NODELABELS 3-3: 9\n");
    free_model(m);
    m = labelled_model({-1, -1, -1});
    EXPECT_EQ(output_of([&](FILE *o) { write_model_node_labels(m, o); }), "");
    free_model(m);
}

TEST_F(Labels, OutOfOrderLabelsAreFatalAfterTheLinesBefore) {
    Model *m = labelled_model({-1, 3, -1, 12, 12, -1});
    char *buf = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buf, &size);
    std::string msg = fatal_of([&] { write_model_node_labels(m, out); });
    std::fclose(out);
    EXPECT_EQ(std::string(buf, size), "NODELABELS 1-1: 3\n");
    std::free(buf);
    EXPECT_EQ(msg, "Out of order model labels at node 4: label 12, previous label 12");
    free_model(m);
}

TEST_F(Labels, LabelsFromAConstrainedAlignment) {
    Model *m = alloc_model(6);
    SequenceTable *t = alloc_sequence_table();
    Sequence *s = alloc_sequence(5, 1);
    // 2 matches, 1 delete, 1 insert, 2 matches: residues 1, 2 on nodes 1, 2; node 3 deleted;
    // residue 3 inserted; residues 4, 5 on nodes 4, 5.
    static const unsigned char code[] = {102, 201, 1, 102, 0};
    s->align = static_cast<unsigned char *>(mem_alloc(sizeof code));
    std::copy(code, code + sizeof code, s->align);
    s->constraints = static_cast<PosConstraint *>(mem_alloc(5 * sizeof(PosConstraint)));
    for (int i = 0; i < 5; i++) s->constraints[i] = noPosConstraint;
    s->constraints[1].label = 40;  // residue 2 on node 2
    s->constraints[2].label = 41;  // residue 3 is an insert: not labelled
    s->constraints[4].label = -3;  // residue 5 on node 5
    add_seq_to_table(t, s);
    add_seq_to_table(t, alloc_sequence(3, 1));  // no constraints: skipped
    model_labels_from_align(t, m);
    EXPECT_EQ(m->nodes[1]->lab, -1);
    EXPECT_EQ(m->nodes[2]->lab, 2);
    EXPECT_EQ(m->nodes[5]->lab, 5);
    EXPECT_EQ(m->nodes[4]->lab, -1);
    EXPECT_EQ(s->constraints[1].label, 2);
    EXPECT_EQ(s->constraints[2].label, 41);
    EXPECT_EQ(s->constraints[4].label, 5);
    free_sequence_table(t);
    free_model(m);
}

}  // namespace
