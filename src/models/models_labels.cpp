// Node labels of model files and of prepared models.
#include "models/models_labels.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "models/constraints.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "foundation/scan.h"
#include "sequences/model_records.h"

// Slots of a new label map.
static const int LABEL_MAP_START = 256;

// Skips white space.
static const char *skip_blanks(const char *p) {
    while (is_space(static_cast<unsigned char>(*p))) p++;
    return p;
}

// Reads a signed decimal number after optional white space (as "%d" does). Returns false when
// no number stands there or it does not fit a long.
static bool scan_number(const char *&p, long *value) {
    long v = 0;
    bool overflow = false;
    const char *end = scan_long(p, p + std::strlen(p), &v, &overflow);
    if (!end || overflow) return false;
    *value = v;
    p = end;
    return true;
}

// Matches optional white space followed by the character c.
static bool scan_char(const char *&p, char c) {
    p = skip_blanks(p);
    if (*p != c) return false;
    p++;
    return true;
}

NodeLabelMap *parse_model_node_labels(NodeLabelMap *map, const char *filename, const char *line) {
    // The line: a first word, then "first - last : label" with optional white space.
    const char *p = skip_blanks(line);
    while (*p && !is_space(static_cast<unsigned char>(*p))) p++;
    long first = 0, last = 0, label = 0;
    bool ok = scan_number(p, &first) && scan_char(p, '-') && scan_number(p, &last) &&
              scan_char(p, ':') && scan_number(p, &label);
    // Negative or absurd values name no node or slot.
    if (ok &&
        (first < 0 || last < 0 || label < 0 || first > MAX_NODE_LABEL || last > MAX_NODE_LABEL ||
         label > MAX_NODE_LABEL || (last > first && label + (last - first) > MAX_NODE_LABEL)))
        ok = false;
    if (!ok)
        error("%s: invalid node label line:\n%s", shown_text(filename).c_str(),
              shown_line(line).c_str());

    if (!map) {
        map = new NodeLabelMap;
        map->size = LABEL_MAP_START;
        map->slots.assign(LABEL_MAP_START, LABEL_WITHOUT_NODE);
    }
    if (first > last) return map;
    for (long node = first, lab = label; node <= last; node++, lab++) {
        if (lab >= map->size) {
            map->size = static_cast<int>(2 * lab + 4);
            map->slots.resize(map->size, LABEL_WITHOUT_NODE);
        }
        if (map->slots[lab] == LABEL_WITHOUT_NODE) map->slots[lab] = static_cast<int>(node);
    }
    return map;
}

void free_label_map(NodeLabelMap *map) {
    delete map;
}

// The node that number n (0..P+Q+1) stands for when the raw model becomes a model of length
// P+Q: the start-numbered node n or the end-numbered node P+Q+1-n, by the rules of the
// conversion.
Node *rmodel_view_node(const Rmodel *rm, int n) {
    if (!rm || !rm->slots) return nullptr;
    long P = rm->nstart, Q = rm->nend;
    if (n < 0 || n > P + Q + 1) return nullptr;
    long i = P + Q + 1 - n;  // end-numbered index
    Node *const *ends = rm->slots + (P + 1);
    bool end_exists = i <= Q && ends[i] != nullptr;
    if (n <= P && rm->slots[n] && (n <= (P + Q) / 2 || !end_exists)) return rm->slots[n];
    if (end_exists) return ends[i];
    return nullptr;
}

void label_rmodel_from_map(const NodeLabelMap *map, Rmodel *rm) {
    if (!map || !rm || rm->nstart <= 0 || !rm->slots) return;
    long last_node = static_cast<long>(rm->nstart) + rm->nend;  // P+Q
    for (int l = 0; l < map->size; l++) {
        int n = map->slots[l];
        if (n == LABEL_WITHOUT_NODE) continue;
        // Node P+Q+1 is End, which the writers label like any other node: only a node
        // beyond End is past the end of the model. Its label is dropped after the message.
        if (n > last_node + 1) {
            std::fprintf(stderr, "Error: Node label %d for node %d is past the end of the model", l,
                         n);
            continue;
        }
        Node *node = rmodel_view_node(rm, n);
        if (node) node->lab = l;
    }
}

// Collects runs of consecutive labels and writes each as one line.
struct LabelRunWriter {
    FILE *out;
    bool in_run = false;
    int first = 0, last = 0, first_label = 0;
    bool have_prev = false;
    int prev_label = 0;

    void flush() {
        if (in_run) std::fprintf(out, "NODELABELS %d-%d: %d\n", first, last, first_label);
        in_run = false;
    }
    void node(int number, int lab) {
        if (lab == NO_LABEL) {
            flush();
            have_prev = false;
            return;
        }
        if (have_prev && lab <= prev_label)
            error("Out of order model labels at node %d: label %d, previous label %d", number, lab,
                  prev_label);
        if (in_run && number == last + 1 && have_prev && lab == prev_label + 1) {
            last = number;
        } else {
            flush();
            in_run = true;
            first = last = number;
            first_label = lab;
        }
        have_prev = true;
        prev_label = lab;
    }
};

void write_model_node_labels(const Model *model, FILE *out) {
    if (!model || !model->nodes || model->length < 0) return;
    LabelRunWriter w{out};
    for (int i = 1; i <= model->length + 1; i++) {
        const Node *node = model->nodes[i];
        w.node(i, node ? node->lab : NO_LABEL);
    }
    w.flush();
}

void write_rmodel_node_labels(const Rmodel *rm, FILE *out) {
    if (!rm || rm->nstart <= 0 || !rm->slots) return;
    LabelRunWriter w{out};
    long last = static_cast<long>(rm->nstart) + rm->nend + 1;
    for (long i = 1; i <= last; i++) {
        const Node *node = rmodel_view_node(rm, static_cast<int>(i));
        w.node(static_cast<int>(i), node ? node->lab : NO_LABEL);
    }
    w.flush();
}

void model_labels_from_align(SequenceTable *seqs, Model *model) {
    if (!seqs || !model || !model->nodes) return;
    for (int s = 0; s < seqs->count; s++) {
        Sequence *seq = seqs->seqs[s];
        if (!seq || !seq->constraints || !seq->align) continue;
        long j = 1, k = 1;  // node and residue counters
        for (const unsigned char *a = seq->align; *a; a++) {
            int b = *a;
            if (b > ALIGN_DELETE_BASE) {
                j += b - ALIGN_DELETE_BASE;
            } else if (b <= ALIGN_MATCH_BASE) {
                k += b;
            } else {
                for (int m = 0; m < b - ALIGN_MATCH_BASE; m++, j++, k++) {
                    // Residues past the sequence or nodes past the model are not labelled.
                    if (k > seq->len || j > model->length) continue;
                    PosConstraint &c = seq->constraints[k - 1];
                    if (c.label != NO_LABEL) {
                        if (model->nodes[j]) model->nodes[j]->lab = static_cast<int>(j);
                        c.label = static_cast<int>(j);
                    }
                }
            }
        }
    }
}

void label_model_from_constraints(const ConstrTable *table, Model *model) {
    if (!table || !model || !model->nodes) return;
    // Every range is checked before any node is labelled. Ranges without a model label name no
    // node and are skipped.
    for (int pass = 0; pass < 2; pass++)
        for (int b = 0; b < CONSTR_BUCKETS; b++)
            for (const SeqConstrList *e = table->buckets[b]; e; e = e->next)
                for (const ConstrRange *r = e->first; r; r = r->next) {
                    if (r->label_start == CONSTR_UNNAMED_LABEL) continue;
                    long long label_end = static_cast<long long>(r->label_start) + r->length - 1;
                    if (pass == 0) {
                        if (r->label_start < 0 || label_end > model->length)
                            error("BUG: Model labels %d-%lld for %s extends past the end of the "
                                  "model",
                                  r->label_start, label_end, shown_text(e->id).c_str());
                        continue;
                    }
                    for (long long l = r->label_start; l <= label_end; l++)
                        if (model->nodes[l]) model->nodes[l]->lab = static_cast<int>(l);
                }
}

int get_max_node_label(const ConstrTable *table) {
    return table ? table->max_label : -1;
}

int have_unlabeled_constraints(const ConstrTable *table) {
    return table && table->unlabeled ? 1 : 0;
}
