// Node labels of model files and of prepared models.
#include "models_labels.h"

#include "sequence.h"
#include "utilities.h"

[[noreturn]] static void unfinished(const char *what)
{
    error("%s: node labels not finished yet", what);
}

NodeLabelMap *parse_model_node_labels(NodeLabelMap *, const char *, const char *)
{
    unfinished("parse_model_node_labels");
}
void label_rmodel_from_map(const NodeLabelMap *, Rmodel *) { unfinished("label_rmodel_from_map"); }
void free_label_map(NodeLabelMap *map) { delete map; }
void write_model_node_labels(const Model *, FILE *) { unfinished("write_model_node_labels"); }
void write_rmodel_node_labels(const Rmodel *, FILE *) { unfinished("write_rmodel_node_labels"); }
Node *rmodel_view_node(const Rmodel *, int) { unfinished("rmodel_view_node"); }
void label_model_from_constraints(const ConstrTable *, Model *) { unfinished("label_model_from_constraints"); }
void model_labels_from_align(SequenceTable *, Model *) { unfinished("model_labels_from_align"); }
int get_max_node_label(const ConstrTable *) { unfinished("get_max_node_label"); }
int have_unlabeled_constraints(const ConstrTable *) { unfinished("have_unlabeled_constraints"); }
