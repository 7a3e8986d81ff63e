// Node, model and raw-model records: allocation and release.
#include "sequences/model_records.h"

#include <climits>
#include <cstdlib>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "sequences/sequence.h"

// Points the five views of a node into its block; a is the emission size without wildcards.
static void point_node_views(Node *node, int a) {
    node->djump = node->params;
    node->mjump = node->params + 3;
    node->ijump = node->params + 6;
    node->match = node->params + 9;
    node->insert = node->params + 9 + a;
}

Node *alloc_node() {
    check_alphabet(nullptr);
    int a = alphabet->emit_length;
    Node *node = static_cast<Node *>(mem_alloc(sizeof(Node)));
    node->type = 0;
    node->nparams = 2 * a + 9;
    node->params = static_cast<float *>(mem_alloc((size_t)node->nparams * sizeof(float)));
    point_node_views(node, a);
    node->nodeenv = nullptr;
    node->lab = NO_LABEL;
    return node;
}

void free_node(Node *node) {
    if (!node) return;
    free_NodeEnv(node->nodeenv);
    std::free(node->params);
    std::free(node);
}

NodeEnv *alloc_NodeEnv() {
    NodeEnv *env = static_cast<NodeEnv *>(mem_alloc(sizeof(NodeEnv)));
    env->acc = -1;
    env->env = -1;
    env->code = 0;
    return env;
}

void free_NodeEnv(NodeEnv *env) {
    std::free(env);
}

void copy_node_env(const NodeEnv *src, NodeEnv *dest) {
    if (!src || !dest) return;
    dest->acc = src->acc;
    dest->env = src->env;
    dest->code = src->code;
}

void update_nodenv(NodeEnv *env, int acc, int env_class, int code) {
    if (!env) return;
    env->acc = acc;
    env->env = env_class;
    env->code = code;
}

int GetEnvCode(const Node *node) {
    if (!node || !node->nodeenv) return 0;
    return node->nodeenv->code;
}

// A new cost record of 2W+9 zeroed costs with its views; w is the emission size with wildcards.
static ModWeight *new_mod_weight(int w) {
    ModWeight *mw = static_cast<ModWeight *>(mem_alloc(sizeof(ModWeight)));
    mw->ncosts = 2 * w + 9;
    mw->costs = static_cast<int *>(mem_alloc((size_t)mw->ncosts * sizeof(int)));
    mw->djump = mw->costs;
    mw->mjump = mw->costs + 3;
    mw->ijump = mw->costs + 6;
    mw->match = mw->costs + 9;
    mw->insert = mw->costs + 9 + w;
    return mw;
}

static void release_mod_weight(ModWeight *mw) {
    if (!mw) return;
    std::free(mw->costs);
    std::free(mw);
}

// Releases each of the count records of an owned array, then the array, and clears the pointer;
// a null array does nothing.
template <typename T>
static void free_record_array(T **&array, int count, void (*release)(T *)) {
    if (!array) return;
    for (int i = 0; i < count; i++) release(array[i]);
    std::free(array);
    array = nullptr;
}

void alloc_mod_weight(Model *model) {
    check_alphabet(nullptr);
    int w = alphabet->emit_length_wild;
    int n = model->length + 2;
    model->weights = static_cast<ModWeight **>(mem_alloc((size_t)n * sizeof(ModWeight *)));
    for (int i = 0; i < n; i++) model->weights[i] = new_mod_weight(w);
    model->fim_weight = new_mod_weight(w);
}

void free_mod_weight(Model *model) {
    if (!model) return;
    free_record_array(model->weights, model->length + 2, release_mod_weight);
    release_mod_weight(model->fim_weight);
    model->fim_weight = nullptr;
}

Model *alloc_model(int n) {
    if (n == INT_MIN || n > INT_MAX - 2 || n < -(INT_MAX - 2))
        error("alloc_model: model length %d out of range", n);
    int length = n < 0 ? -n : n;
    Model *model = static_cast<Model *>(mem_alloc(sizeof(Model)));
    *model = Model{};  // no special nodes, cost records or query fields; gap and continue 0
    model->length = length;
    model->kind = MODEL_KIND_PROFILE;
    model->nodes = static_cast<Node **>(mem_alloc(((size_t)length + 2) * sizeof(Node *)));
    if (n >= 0)
        for (int i = 0; i < length + 2; i++) model->nodes[i] = alloc_node();
    model->fim_method = FIM_METHOD_NONE;
    return model;
}

void realloc_model(Model *model, int n) {
    if (n < 0 || n > INT_MAX - 2) error("realloc_model: model length %d out of range", n);
    free_mod_weight(model);
    int old = model->length;
    if (n > old) {
        Node **nodes = static_cast<Node **>(mem_alloc(((size_t)n + 2) * sizeof(Node *)));
        for (int i = 0; i < old + 2; i++) nodes[i] = model->nodes[i];
        for (int i = old + 2; i < n + 2; i++) nodes[i] = alloc_node();
        std::free(model->nodes);
        model->nodes = nodes;
    } else {
        for (int i = n + 2; i < old + 2; i++) {
            free_node(model->nodes[i]);
            model->nodes[i] = nullptr;
        }
    }
    model->length = n;
}

// Releases the substitution matrix of a query-sequence model: one row per letter of the current
// alphabet (wildcards included) and one for '*', as the matrix reader builds it.
static void release_model_matrix(Model *model) {
    if (!model->matrix) return;
    size_t rows = alphabet ? (size_t)alphabet->length_wild + 1 : 0;
    if (rows)
        double_free(reinterpret_cast<void **>(model->matrix), rows);
    else
        std::free(model->matrix);
    model->matrix = nullptr;
}

void free_model(Model *model) {
    if (!model) return;
    free_node(model->generic);
    free_node(model->lettcount);
    free_node(model->freqave);
    model->generic = model->lettcount = model->freqave = nullptr;
    free_record_array(model->nodes, model->length + 2, free_node);
    free_node(model->fim_node);
    model->fim_node = nullptr;
    free_mod_weight(model);
    release_model_matrix(model);
    free_sequence(model->query);
    model->query = nullptr;
    model->length = -1;
    model->kind = MODEL_KIND_PROFILE;
    std::free(model);
}

Rmodel *alloc_rmodel(Rmodel *rmodel) {
    if (!rmodel) return static_cast<Rmodel *>(mem_alloc(sizeof(Rmodel)));
    // A start count of -1 is a raw model without numbered nodes (only End among the slots).
    if (rmodel->nstart < -1 || rmodel->nend < 0 || rmodel->nstart > INT_MAX / 4 ||
        rmodel->nend > INT_MAX / 4)
        error("alloc_rmodel: invalid node counts %d and %d", rmodel->nstart, rmodel->nend);
    rmodel->nslots = rmodel->nstart + rmodel->nend + 2;
    rmodel->slots = static_cast<Node **>(mem_alloc((size_t)rmodel->nslots * sizeof(Node *)));
    rmodel->end_nodes = rmodel->slots + rmodel->nstart + 1;
    return rmodel;
}

void free_rmodel(Rmodel **rmodel) {
    if (!rmodel || !*rmodel) return;
    Rmodel *r = *rmodel;
    free_record_array(r->slots, r->nslots, free_node);
    free_node(r->generic);
    free_node(r->lettcount);
    free_node(r->freqave);
    std::free(r);
    *rmodel = nullptr;
}
