// Node labels: the "NODELABELS" lines of model blocks, the label map collected while a block is
// read, its application to the raw model, writing labels back, and labelling a prepared model
// from a constraint table or a constrained alignment.
#ifndef QOR_MODELS_LABELS_H
#define QOR_MODELS_LABELS_H

#include <cstdio>
#include <vector>

struct Model;
struct Rmodel;
struct Node;
struct SequenceTable;
struct ConstrTable;

// Map slot of a label without a node.
constexpr int LABEL_WITHOUT_NODE = -2;

// Map from label to node number for one model block (LABEL_WITHOUT_NODE for a label without one).
struct NodeLabelMap {
    int size;                // number of slots (256 when created)
    std::vector<int> slots;  // node number per label
};

// Largest label or node number a label line may use (larger values are refused).
constexpr int MAX_NODE_LABEL = 1000000;

// Parses one node-label line ("%*s %d - %d : %d") into the map, creating it when null (release
// with free_label_map); returns the map. The first node given a label keeps it. Fatal: "%s:
// invalid node label line:\n%s" (no three numbers, or negative values or values past
// MAX_NODE_LABEL).
NodeLabelMap *parse_model_node_labels(NodeLabelMap *map, const char *filename, const char *line);
// Sets the labels of a raw model's nodes from the map (through rmodel_view_node); a label for a
// node past End is reported and dropped. Null map or raw model, or no numbered node: nothing.
void label_rmodel_from_map(const NodeLabelMap *map, Rmodel *rmodel);
// Releases the map (null is a no-op).
void free_label_map(NodeLabelMap *map);

// Writes the "NODELABELS %d-%d: %d" lines of a prepared model / of a raw model, one per run of
// consecutive nodes with consecutive labels (nothing for null). Fatal: "Out of order model labels
// at node %d: label %d, previous label %d" (labels not increasing along the model).
void write_model_node_labels(const Model *model, FILE *out);
void write_rmodel_node_labels(const Rmodel *rmodel, FILE *out);

// The node that a raw model's node number n (0..P+Q+1) stands for once the raw model is turned
// into a model of length P+Q; null when none.
Node *rmodel_view_node(const Rmodel *rmodel, int n);

// Gives every node that a labelled constraint range covers its own node number as label (ranges
// without a model label are skipped; a null table does nothing). Every range is checked first:
// one whose labels pass node L is fatal, "BUG: Model labels %d-%lld for %s extends past the end of
// the model", and no node is labelled.
void label_model_from_constraints(const ConstrTable *table, Model *model);
// Labels the nodes on which constrained residues of aligned sequences are matched.
void model_labels_from_align(SequenceTable *seqs, Model *model);
// Highest label end of a constraint table (-1 without labelled ranges or for a null table).
int get_max_node_label(const ConstrTable *table);
// 1 when the table holds a range without a model label, else 0 (also for a null table).
int have_unlabeled_constraints(const ConstrTable *table);

#endif
