// Training of models: estimation on hand-worked counts and one full expectation-maximisation
// round through the engine, count transfers, surgery node for node, random walks with a fixed
// seed (expected letters from tests/data/train/random_walk.py), noise and the cost-record swap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "models/models_estimate.h"
#include "models/models_random.h"
#include "models/models_surgery.h"
#include "models/prior.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

class Train : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        reset_alphabets();
        init_alphabets();
        init_alphabet_by_name("DNA", 0, "");
        maxmem = 20000000;
    }
    void TearDown() override {
        free_forward2();
        reset_alphabets();
    }
};

// A model of length L with every value v.
Model *filled(int L, float v) {
    Model *m = alloc_model(L);
    init_model(m, v);
    return m;
}

template <class F>
std::string stderr_of(F f) {
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}
template <class F>
std::string stdout_of(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

Sequence *dna(const char *letters, const std::vector<int> &code) {
    int n = (int)std::strlen(letters);
    Sequence *s = alloc_sequence(n, 1);
    s->converted = 1;
    s->id = str_dup("s");
    for (int i = 0; i < n; i++)
        s->tracks[0].res[i] = (unsigned char)letter_index(alphabet, letters[i]);
    if (!code.empty()) {
        s->align = static_cast<unsigned char *>(mem_alloc(code.size() + 1));
        for (size_t i = 0; i < code.size(); i++) s->align[i] = (unsigned char)code[i];
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// Estimation
// ---------------------------------------------------------------------------------------------

TEST_F(Train, PairingOfCountAndRegularizerNodes) {
    const int want[] = {0, 1, 2, 5, 6, 7, 8};  // L = 5, R = 7
    for (int i = 0; i <= 6; i++) EXPECT_EQ(reg_pair_index(i, 5, 7), want[i]) << i;
    EXPECT_EQ(reg_pair_index(0, 6, 2), 0);  // R = ceil(6/2) - 1 is just long enough
    EXPECT_EQ(reg_pair_index(4, 6, 2), 0);
    EXPECT_EQ(fatal_of([] { reg_pair_index(0, 6, 1); }),
              "Regularizer of length 1 is too short for a model of length 6");
}

TEST_F(Train, EstimateOnHandWorkedCounts) {
    Model *reg = filled(2, 1.0f);
    Model *cnt = filled(2, 0.0f);
    cnt->nodes[1]->mjump[1] = 6;  // Begin's match: 6 into match 1, 2 into delete 1, 0 inserts
    cnt->nodes[1]->djump[1] = 2;
    cnt->nodes[1]->match[0] = 3;  // three A at node 1
    cnt->nodes[2]->lab = 7;
    Model *m = freq_to_model(cnt, reg, nullptr, nullptr, 0, nullptr, nullptr, 1, 1, 1);
    ASSERT_EQ(m->length, 2);
    EXPECT_FLOAT_EQ(m->nodes[1]->mjump[1], 7.0f / 11);
    EXPECT_FLOAT_EQ(m->nodes[1]->djump[1], 3.0f / 11);
    EXPECT_FLOAT_EQ(m->nodes[0]->ijump[1], 1.0f / 11);
    EXPECT_FLOAT_EQ(m->nodes[1]->match[0], 4.0f / 7);
    EXPECT_FLOAT_EQ(m->nodes[1]->match[3], 1.0f / 7);
    EXPECT_FLOAT_EQ(m->nodes[2]->mjump[1], 1.0f / 3);  // regularizer alone
    EXPECT_EQ(m->nodes[2]->lab, 7);
    ASSERT_NE(m->freqave, nullptr);
    free_model(m);

    // All-zero counts give the normalised regularizer.
    init_model(cnt, 0.0);
    Model *z = freq_to_model(cnt, reg, nullptr, nullptr, 0, nullptr, nullptr, 1, 1, 1);
    Model *p = prepare_prior(reg);
    for (int i = 0; i <= 3; i++)
        for (int k = 0; k < z->nodes[i]->nparams; k++)
            EXPECT_FLOAT_EQ(z->nodes[i]->params[k], p->nodes[i]->params[k]) << i << " " << k;
    free_model(z);
    free_model(p);
    free_model(reg);
    free_model(cnt);
}

TEST_F(Train, FrozenRegularizerNodes) {
    Model *reg = filled(3, 1.0f);
    reg->nodes[1]->type = 'A';
    reg->nodes[1]->match[2] = 5;
    reg->nodes[2]->type = 'T';
    reg->nodes[2]->ijump[1] = 3;
    Model *zero = filled(3, 0.0f);
    Model *cnt = filled(3, 4.0f);
    Model *a = frequency_to_prob(zero, reg, nullptr, nullptr, 0, 1.0);
    Model *b = frequency_to_prob(cnt, reg, nullptr, nullptr, 0, 1.0);
    // 'A': copied whole, no counts (emissions, own and onward transitions).
    for (int k = 9; k < b->nodes[1]->nparams; k++)
        EXPECT_FLOAT_EQ(b->nodes[1]->params[k], a->nodes[1]->params[k]);
    EXPECT_EQ(b->nodes[1]->type, 'A');
    // 'T': emissions gain counts, transitions out of it (its insert, node 3's delete and match)
    // keep the regularizer's.
    EXPECT_FLOAT_EQ(b->nodes[2]->match[0], 0.25f);
    for (int s = 0; s < 3; s++) {
        EXPECT_FLOAT_EQ(b->nodes[2]->ijump[s], a->nodes[2]->ijump[s]);
        EXPECT_FLOAT_EQ(b->nodes[3]->djump[s], a->nodes[3]->djump[s]);
        EXPECT_FLOAT_EQ(b->nodes[3]->mjump[s], a->nodes[3]->mjump[s]);
    }
    EXPECT_FLOAT_EQ(b->nodes[2]->ijump[1], 0.6f);  // 3 / (1 + 1 + 3)
    for (Model *m : {reg, zero, cnt, a, b}) free_model(m);
}

TEST_F(Train, EstimateRefusals) {
    Model *reg = filled(2, 1.0f);
    Model *cnt = filled(2, 0.0f);
    Model *out = filled(3, 0.0f);
    EXPECT_EQ(fatal_of([&] { frequency_to_prob(cnt, reg, out, nullptr, 0, 1.0); }),
              "frequency_to_prob: output model length 3 differs from the counts' 2");
    int saved = reg->nodes[0]->nparams;
    reg->nodes[0]->nparams = 9;
    EXPECT_EQ(
        fatal_of([&] { freq_to_model(cnt, reg, nullptr, nullptr, 0, nullptr, nullptr, 1, 1, 1); }),
        "freq_to_mod length mismatch\n");
    reg->nodes[0]->nparams = saved;
    for (Model *m : {reg, cnt, out}) free_model(m);
}

// Transition priors of one environment whose first component gives, from source state s, the
// parameters (s+1, 2(s+1), 3(s+1)) for delete, match, insert.
EnvPlib **toy_priors() {
    EnvPlib **lib = static_cast<EnvPlib **>(mem_alloc(sizeof(EnvPlib *)));
    lib[0] = alloc_EnvPlib(3);
    for (int s = 0; s < 3; s++) {
        TransPriors *tp = alloc_TransPriors(1, 3);
        tp->Mix[0] = 1;
        for (int t = 0; t < 3; t++) tp->Distr[0][1 + t] = (double)((t + 1) * (s + 1));
        tp->Distr[0][0] = 6.0 * (s + 1);
        lib[0]->trans[s] = tp;
    }
    return lib;
}

TEST_F(Train, TransitionPriors) {
    EnvPlib **lib = toy_priors();
    Model *cnt = filled(2, 0.0f);
    TransPriorRecord rec[4];
    counts_by_env(cnt, lib, 1, rec);
    for (int s = 0; s < 3; s++) {
        EXPECT_FLOAT_EQ(rec[1].del[s], (float)(s + 1));
        EXPECT_FLOAT_EQ(rec[1].mat[s], 2.0f * (s + 1));
        EXPECT_FLOAT_EQ(rec[1].ins[s], 3.0f * (s + 1));
    }
    // Zero counts, x = 2: out of node 1's match state 2 (1 2, 2 2, 3 2) = (4, 8, 12) / 24.
    Model *reg = filled(2, 1.0f);
    Model *m = frequency_to_prob(cnt, reg, nullptr, lib, 1, 2.0);
    EXPECT_FLOAT_EQ(m->nodes[2]->djump[1], 2.0f / 12);
    EXPECT_FLOAT_EQ(m->nodes[2]->mjump[1], 4.0f / 12);
    EXPECT_FLOAT_EQ(m->nodes[1]->ijump[1], 6.0f / 12);
    // Begin's insert takes the regularizer's Begin node (1) beside node 1's (4, 8).
    EXPECT_FLOAT_EQ(m->nodes[0]->ijump[1], 1.0f / 13);
    free_model(m);
    cnt->nodes[1]->nodeenv = alloc_NodeEnv();
    cnt->nodes[1]->nodeenv->code = 5;
    EXPECT_EQ(fatal_of([&] { counts_by_env(cnt, lib, 1, rec); }),
              "Node 1 has environment 5; the transition priors have 1 environments");
    free_TransPriorsLib(lib, 1);
    free_model(cnt);
    free_model(reg);
}

// One expectation-maximisation round over a small family: the new model explains the family at
// least as well as the old one.
TEST_F(Train, FullTrainingRoundDoesNotLowerTheLikelihood) {
    const char *family[] = {"ACGT", "ACGT", "AGGT", "ACGA", "ACCGT", "CGT"};
    const int L = 4;
    Model *model = filled(L, 0.0f);
    for (int i = 0; i <= L + 1; i++) {
        Node *n = model->nodes[i];
        for (int s = 0; s < 3; s++) {
            n->djump[s] = 0.1f;
            n->mjump[s] = 0.8f;
            n->ijump[s] = 0.1f;
        }
        for (int k = 0; k < 4; k++) n->match[k] = n->insert[k] = 0.25f;
    }
    normalize_model(model);
    log_model(model);
    Model *reg = filled(L, 0.1f);
    std::vector<Sequence *> seqs;
    for (const char *f : family) seqs.push_back(dna(f, {}));

    init_forward2(model, 10, SW_GLOBAL, DP_EM, 0, 1, 1.0f, 0.05, 0.3, nullptr);
    Model *counts = filled(L, 0.0f);
    double before = 0;
    for (Sequence *s : seqs) before += forback2(s, counts, 0);
    Model *next = freq_to_model(counts, reg, nullptr, nullptr, 0, nullptr, nullptr, 1, 1, 1);
    log_model(next);
    init_forward2(next, 10, SW_GLOBAL, DP_EM, 0, 0, 1.0f, 0.05, 0.3, nullptr);
    double after = 0;
    for (Sequence *s : seqs) after += forward_score(s);
    EXPECT_LT(after, before - 1.0);  // scores are negative log-likelihoods in nats
    for (Sequence *s : seqs) free_sequence(s);
    for (Model *m : {model, reg, counts, next}) free_model(m);
}

// ---------------------------------------------------------------------------------------------
// Count transfers
// ---------------------------------------------------------------------------------------------

Node *node_with(std::vector<float> t) {
    Node *n = alloc_node();
    for (size_t k = 0; k < t.size(); k++) n->params[k] = t[k];
    return n;
}

TEST_F(Train, DeletionMergeMovesFlowsIntoThePreviousInsert) {
    Node *p = node_with({0, 0, 0, 0, 0, 0, 1, 1, 1});
    Node *d = node_with({2, 1, 1, 3, 4, 5, 8, 6, 7, 1, 0, 0, 0, 0, 2, 0, 0});
    Node *q = node_with({4, 2, 1, 8, 6, 2});
    del_merge_freq_node(p, d, q);
    // f = (0.5, 0.25, 0.25): insert-from-delete 8 shared 4, 2, 2.
    const float pij[3] = {1 + 3 + 4, 1 + 4 + 2, 1 + 5 + 6 + 7 + 2};
    for (int s = 0; s < 3; s++) EXPECT_FLOAT_EQ(p->ijump[s], pij[s]) << s;
    EXPECT_FLOAT_EQ(p->insert[0], 1);
    EXPECT_FLOAT_EQ(p->insert[1], 2);
    const float qd[3] = {2, 1, 1 + 2 + 1}, qm[3] = {4, 2, 2 + 6 + 2};
    for (int s = 0; s < 3; s++) {
        EXPECT_FLOAT_EQ(q->djump[s], qd[s]) << s;
        EXPECT_FLOAT_EQ(q->mjump[s], qm[s]) << s;
        EXPECT_FLOAT_EQ(d->mjump[s], 0);
        EXPECT_FLOAT_EQ(d->ijump[s], 0);
    }
    // A deleted node without delete flow moves none of its insert-from-delete flow.
    Node *d2 = node_with({0, 0, 0, 0, 0, 0, 5, 0, 0});
    Node *p2 = node_with({});
    del_merge_freq_node(p2, d2, q);
    EXPECT_FLOAT_EQ(p2->ijump[0] + p2->ijump[1] + p2->ijump[2], 0);
    EXPECT_EQ(fatal_of([&] { del_merge_freq_node(p, nullptr, q); }),
              "del_merge_freq_node called with null pointer.  Exiting.\n");
    for (Node *n : {p, d, q, d2, p2}) free_node(n);
}

TEST_F(Train, InsertMergesSplitTheInsertState) {
    Node *a = node_with({0, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0, 0, 0, 4, 8, 0, 0});
    Node *n = node_with({});
    Node *b = node_with({1, 2, 3, 4, 5, 1});
    insert_merge_freq_node(a, n, b);  // c = 1/4, S = 4
    const float nd[3] = {5, 7, 0}, nm[3] = {1, 2, 0}, ni[3] = {0, 1, 0.25f};
    const float bd[3] = {3, 2.25f, 0.75f}, bm[3] = {9, 0.75f, 0.25f};
    for (int s = 0; s < 3; s++) {
        EXPECT_FLOAT_EQ(n->djump[s], nd[s]) << s;
        EXPECT_FLOAT_EQ(n->mjump[s], nm[s]) << s;
        EXPECT_FLOAT_EQ(n->ijump[s], ni[s]) << s;
        EXPECT_FLOAT_EQ(b->djump[s], bd[s]) << s;
        EXPECT_FLOAT_EQ(b->mjump[s], bm[s]) << s;
        EXPECT_FLOAT_EQ(a->ijump[s], 0) << s;
    }
    EXPECT_FLOAT_EQ(n->insert[0], 1);
    EXPECT_FLOAT_EQ(n->match[1], 6);
    EXPECT_FLOAT_EQ(a->insert[1], 0);

    Node *n2 = node_with({});
    Node *b2 = node_with({1, 2, 3, 4, 5, 6});
    insert_del_freq_node(nullptr, n2, b2);
    EXPECT_FLOAT_EQ(n2->djump[0], 5);
    EXPECT_FLOAT_EQ(n2->djump[2], 9);
    EXPECT_FLOAT_EQ(b2->djump[0], 6);
    EXPECT_FLOAT_EQ(b2->mjump[0], 15);
    EXPECT_FLOAT_EQ(b2->mjump[1], 0);
    for (Node *x : {a, n, b, n2, b2}) free_node(x);
}

TEST_F(Train, PrintedBalanceOfANode) {
    Node *n = node_with({1, 2, 0, 3, 4, 0, 0.5f, 0.5f, 1, 1, 1, 1, 1, 2, 0, 0, 0});
    Node *next = node_with({1, 1, 1, 2, 2, 2});
    std::string text = stdout_of([&] { freq_check_node(n, next, 3, "x"); });
    EXPECT_EQ(text, "------------------------------\n"
                    "3x D IN  3.00 OUT  3.50\n"
                    "3x M IN  7.00 OUT  3.50 EMIT  4.00\n"
                    "3x I IN  1.00 OUT  3.00 EMIT  2.00 INL  2.00\n"
                    "3x N IN 10.00 OUT  9.00 EMIT  6.00\n"
                    "------------------------------\n");
    free_node(n);
    free_node(next);
}

// ---------------------------------------------------------------------------------------------
// Surgery
// ---------------------------------------------------------------------------------------------

// Counts of L nodes through which 10 sequences pass by match states.
Model *usage_counts(int L) {
    Model *c = filled(L, 0.0f);
    for (int i = 1; i <= L + 1; i++) c->nodes[i]->mjump[1] = 10;
    return c;
}

TEST_F(Train, AnalyseByUsage) {
    Model *p = filled(5, 0.0f);
    Model *c = usage_counts(5);
    c->nodes[2]->mjump[1] = 1;  // 9 of 10 skip node 2
    c->nodes[2]->djump[1] = 9;
    c->nodes[3]->ijump[1] = 5;  // half insert after node 3, 10 self-loops
    c->nodes[3]->ijump[2] = 10;
    c->nodes[1]->mjump[1] = 1;  // node 1 rarely used
    c->nodes[1]->djump[1] = 9;
    struct Case {
        int end_mode;
        char type2;
        int lab2;
        std::vector<int> want;
    } cases[] = {
        {1, 0, -1, {0, 0, -1, 3, 0, 0, 0}},
        {0, 0, -1, {0, -1, -1, 3, 0, 0, 0}},
        {1, 'T', -1, {0, 0, 0, 3, 0, 0, 0}},
        {1, 0, 4, {0, 0, 0, 3, 0, 0, 0}},
    };
    for (const Case &k : cases) {
        p->nodes[2]->type = k.type2;
        p->nodes[2]->lab = k.lab2;
        int *a = analyse_freq(p, c, k.end_mode, 0.5, 0.3, 1.0);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(std::vector<int>(a, a + 7), k.want) << k.end_mode << " " << k.type2;
        std::free(a);
    }
    // A threshold above 1 never deletes Begin.
    c->nodes[0]->mjump[1] = 1;
    int *a = analyse_freq(p, c, 0, 2.0, 0.3, 1.0);
    EXPECT_EQ(a[0], 0);
    std::free(a);
    Model *none = filled(5, 0.0f);
    std::string err;
    err = stderr_of([&] { EXPECT_EQ(analyse_freq(p, none, 0, 0.5, 0.3, 1.0), nullptr); });
    EXPECT_EQ(err, "Warning: analyse_freq computes 0 Nseq for unknown reason.\nSurgery procedure "
                   "skipped.\n");
    for (Model *m : {p, c, none}) free_model(m);
}

TEST_F(Train, MultiModelSurgeryCombinesAndShrinks) {
    struct Case {
        int max_len;
        int ins10_a, ins10_b, ins20;  // insertions asked after nodes 10 and 20
        int del5_b;                   // model b wants node 5 deleted too
        int want10, want20, want5;
        const char *report;
    } cases[] = {
        {200, 5, 3, 4, 0, 3, 4, 0, "% Surgery, New mod. length 105\n%    I10{3} I20{4} \n"},
        {200, 5, 5, 4, 1, 5, 4, -1, "% Surgery, New mod. length 106\n%    D5 I10{5} I20{4} \n"},
        {100, 4, 4, 6, 0, 1, 1, 0, "% Surgery, New mod. length 100\n%    I10{1} I20{1} \n"},
        {110, 20, 20, 10, 0, 6, 6, 0, "% Surgery, New mod. length 110\n%    I10{6} I20{6} \n"},
    };
    for (const Case &k : cases) {
        const int L = 98;
        Model *p[2] = {filled(L, 0.0f), filled(L, 0.0f)};
        Model *c[2] = {usage_counts(L), usage_counts(L)};
        for (int m = 0; m < 2; m++) {
            for (int i = 0; i <= L + 1; i++) p[m]->nodes[i]->lab = i;
            p[m]->nodes[5]->lab = -1;
            int ins10 = m == 0 ? k.ins10_a : k.ins10_b;
            c[m]->nodes[10]->ijump[1] = 5;  // entries (int)(I_II / 5 + 1)
            c[m]->nodes[10]->ijump[2] = 5.0f * (ins10 - 1);
            c[m]->nodes[20]->ijump[1] = 5;
            c[m]->nodes[20]->ijump[2] = 5.0f * (k.ins20 - 1);
            if (m == 0 || k.del5_b) {
                c[m]->nodes[5]->mjump[1] = 1;
                c[m]->nodes[5]->djump[1] = 9;
            }
        }
        Model *reg = filled(4, 0.5f);
        FILE *rep = std::tmpfile();
        int changed = multi_adapt_model_maxlen(rep, p, c, reg, 2, k.max_len, 0.5, 0.3, 1.0, 100, 0);
        EXPECT_EQ(stream_text(rep), k.report);
        std::fclose(rep);
        int want_len = L + k.want10 + k.want20 + k.want5;
        EXPECT_EQ(changed, 2 + (k.want5 ? 1 : 0));
        for (int m = 0; m < 2; m++) {
            EXPECT_EQ(p[m]->length, want_len);
            EXPECT_EQ(c[m]->length, want_len);
            // Node 10 (label 10) is followed by its copies, unlabelled; node 11 follows them.
            int at10 = 10 + k.want5;
            EXPECT_EQ(p[m]->nodes[at10]->lab, 10);
            for (int e = 1; e <= k.want10; e++) EXPECT_EQ(p[m]->nodes[at10 + e]->lab, -1);
            EXPECT_EQ(p[m]->nodes[at10 + k.want10 + 1]->lab, 11);
            EXPECT_EQ(p[m]->nodes[want_len + 1]->lab, L + 1);
            EXPECT_FLOAT_EQ(c[m]->nodes[at10]->ijump[2], SURGERY_SMALL_COUNT);
            EXPECT_FLOAT_EQ(c[m]->nodes[at10 + 1]->params[12], 0.5f);  // template copy
            free_model(p[m]);
            free_model(c[m]);
        }
        free_model(reg);
    }
}

TEST_F(Train, ChangeAndResizeNodeForNode) {
    Model *c = filled(3, 0.0f);
    Model *p = filled(3, 0.0f);
    for (int i = 0; i <= 4; i++) {
        c->nodes[i]->params[12] = (float)i;
        p->nodes[i]->params[12] = (float)(10 + i);
        p->nodes[i]->lab = i;
        for (int k = 0; k < 9; k++) c->nodes[i]->params[k] = 5;
    }
    Node *templ = node_with({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42});
    templ->lab = 9;
    int changes[5] = {0, -1, 2, 0, 0};
    change_model(c, changes, templ);
    resize_model(p, changes);
    ASSERT_EQ(c->length, 4);
    ASSERT_EQ(p->length, 4);
    const float cwant[6] = {0, 2, 42, 42, 3, 4}, pwant[6] = {10, 12, 12, 12, 13, 14};
    const int labs[6] = {0, 2, -1, -1, 3, 4};
    for (int i = 0; i < 6; i++) {
        EXPECT_FLOAT_EQ(c->nodes[i]->params[12], cwant[i]) << i;
        EXPECT_FLOAT_EQ(p->nodes[i]->params[12], pwant[i]) << i;
        EXPECT_EQ(p->nodes[i]->lab, labs[i]) << i;
    }
    EXPECT_EQ(c->nodes[2]->lab, -1);
    const float e = SURGERY_SMALL_COUNT;
    EXPECT_FLOAT_EQ(c->nodes[0]->ijump[1], e);  // around the deleted node 1
    EXPECT_FLOAT_EQ(c->nodes[1]->djump[0], e);  // old node 2
    EXPECT_FLOAT_EQ(c->nodes[1]->ijump[2], e);  // old node 2 gains nodes
    EXPECT_FLOAT_EQ(c->nodes[4]->mjump[1], e);  // old node 3
    EXPECT_FLOAT_EQ(c->nodes[4]->ijump[1], 5);
    int again[6] = {0, 0, 1, 0, 0, 0};
    EXPECT_EQ(fatal_of([&] { change_model(c, again, nullptr); }),
              "change_model needs a template node to insert nodes");
    free_node(templ);
    free_model(c);
    free_model(p);
}

TEST_F(Train, SurgeryByAGuide) {
    struct Case {
        std::vector<int> guide;  // alignment codes of "ACG"
        int lab3;                // label of model node 3
        int want_changed, want_len;
        const char *trace_tag;
    } cases[] = {
        {{102, 201, 101}, -1, 1, 4, "D:M insert \n"},  // a wanted column the model lacks
        {{102, 1}, -1, 1, 2, "I:M delete \n"},         // the model's last column unwanted
        {{102, 1}, 3, 0, 3, "I:M !delete \n"},         // ... but labelled
        {{103}, -1, 0, 3, nullptr},                    // the same alignment
    };
    for (const Case &k : cases) {
        Model *p = filled(3, 0.25f);
        Model *c = filled(3, 0.0f);
        for (int i = 0; i <= 4; i++) p->nodes[i]->lab = i == 3 ? k.lab3 : -1;
        p->nodes[3]->params[12] = 7;
        Sequence *g = dna("ACG", k.guide);
        Sequence *a = dna("ACG", {103});
        int changed = 0;
        std::string err =
            stderr_of([&] { changed = sequence_surgery(nullptr, p, c, g, a, nullptr, 2.0); });
        EXPECT_EQ(changed, k.want_changed) << err;
        EXPECT_EQ(p->length, k.want_len);
        EXPECT_EQ(c->length, k.want_len);
        EXPECT_NE(err.find("Align: ACG\n"), std::string::npos) << err;
        if (k.trace_tag) {
            EXPECT_NE(err.find(k.trace_tag), std::string::npos) << err;
        }
        if (k.want_len == 4) {
            EXPECT_FLOAT_EQ(p->nodes[3]->params[12], 0);  // the fresh node
            EXPECT_FLOAT_EQ(p->nodes[4]->params[12], 7);  // old node 3
            EXPECT_FLOAT_EQ(c->nodes[3]->djump[1], 2);    // guide's path enters its delete
            EXPECT_FLOAT_EQ(c->nodes[4]->mjump[0], 2);    // and leaves it for node 4's match
        }
        if (k.want_len == 2) {
            EXPECT_FLOAT_EQ(c->nodes[2]->insert[letter_index(alphabet, 'G')], 2);
        }
        free_sequence(g);
        free_sequence(a);
        free_model(p);
        free_model(c);
    }
    Model *p = filled(3, 0.25f), *c = filled(3, 0.0f);
    Sequence *g = dna("ACG", {103}), *a = dna("ACT", {103});
    std::string msg;
    stderr_of([&] { msg = fatal_of([&] { sequence_surgery(nullptr, p, c, g, a, nullptr, 1); }); });
    EXPECT_EQ(msg, "Guide and aligned sequence are not the same; exiting.\n");
    free_sequence(g);
    free_sequence(a);
    free_model(p);
    free_model(c);
}

TEST_F(Train, LetterCountsShareWildcards) {
    float bg[4] = {0.3f, 0.1f, 0.2f, 0.4f};
    struct Case {
        char letter;
        std::vector<float> want;
    } cases[] = {
        {'G', {0, 2, 0, 0}},
        {'R', {1.5f, 0.5f, 0, 0}},
        {'Y', {0, 0, 2.0f / 3, 4.0f / 3}},
        {'N', {0.6f, 0.2f, 0.4f, 0.8f}},
    };
    for (const Case &k : cases) {
        float t[4] = {0, 0, 0, 0};
        add_to_table(t, bg, letter_index(alphabet, k.letter), 2.0);
        for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(t[i], k.want[(size_t)i]) << k.letter << i;
    }
    float zero[4] = {0, 0, 0, 0}, t[4] = {0, 0, 0, 0};
    add_to_table(t, zero, letter_index(alphabet, 'R'), 2.0);  // no NaN without background
    EXPECT_FLOAT_EQ(t[0], 1);
    EXPECT_FLOAT_EQ(t[1], 1);
    EXPECT_EQ(fatal_of([&] { add_to_table(t, bg, 9, 1.0); }), "Illegal character 9 in seq surgery");
}

TEST_F(Train, InsertTableComparisons) {
    std::vector<Node *> n;
    for (int i = 0; i < 5; i++)
        n.push_back(node_with({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}));
    n[1]->type = n[3]->type = 'F';
    EXPECT_EQ(node_ins_is_same(n[0], n[1]), 1);
    int fim = 0, other = 0;
    check_node_array(n.data(), 4, -1, &fim, &other);
    EXPECT_EQ(fim, 1);
    EXPECT_EQ(other, 0);
    n[4]->insert[2] = 9;
    EXPECT_EQ(node_ins_is_same(n[0], n[4]), 0);
    check_node_array(n.data(), 4, -1, &fim, &other);
    EXPECT_EQ(other, -1);
    check_node_array(n.data(), 4, 4, &fim, &other);  // the odd one skipped
    EXPECT_EQ(other, 0);
    n[3]->insert[0] = 5;
    check_node_array(n.data(), 4, -1, &fim, &other);
    EXPECT_EQ(fim, -1);
    // Bit for bit, as the BINARY form stores tables: -0.0 is not 0.0, a NaN equals its copy.
    n[0]->insert[0] = 0.0f;
    n[2]->insert[0] = -0.0f;
    EXPECT_EQ(node_ins_is_same(n[0], n[2]), 0);
    n[0]->insert[0] = n[2]->insert[0] = std::nanf("");
    EXPECT_EQ(node_ins_is_same(n[0], n[2]), 1);
    // A lower-case 'f' is a FIM as well (the model reader upper-cases it).
    n[4]->insert[2] = 3;
    n[4]->type = 'f';
    n[3]->insert[0] = 1;
    check_node_array(n.data(), 4, -1, &fim, &other);
    EXPECT_EQ(fim, 1);
    EXPECT_EQ(other, 0);
    n[4]->insert[3] = 7;
    check_node_array(n.data(), 4, -1, &fim, &other);
    EXPECT_EQ(fim, -1);
    EXPECT_EQ(other, 0);
    for (Node *x : n) free_node(x);
}

// ---------------------------------------------------------------------------------------------
// Random models and noise
// ---------------------------------------------------------------------------------------------

// The model of tests/data/train/random_walk.py.
Model *walk_model() {
    Model *m = filled(3, 0.0f);
    for (int i = 0; i <= 4; i++) {
        for (int s = 0; s < 3; s++) {
            m->nodes[i]->djump[s] = 0.1f;
            m->nodes[i]->mjump[s] = 0.7f;
        }
        for (int k = 0; k < 4; k++) {
            m->nodes[i]->insert[k] = 0.25f;
            m->nodes[i]->match[k] = i >= 1 && i <= 3 && k == i - 1 ? 0.7f : 0.1f;
        }
    }
    return m;
}

TEST_F(Train, SequencesDrawnWithAFixedSeed) {
    Model *m = walk_model();
    srandom(12345);
    const std::vector<std::vector<int>> want = {{0, 1}, {0, 1, 2}, {0, 1, 0, 2}};
    for (const auto &w : want) {
        Sequence *s = sequence_from_model(m);
        EXPECT_EQ(std::vector<int>(s->tracks[0].res, s->tracks[0].res + s->len), w);
        EXPECT_EQ(s->id, nullptr);
        free_sequence(s);
    }
    // Every node entered by its match state: exactly L residues, the one-hot letters.
    Model *d = filled(6, 0.0f);
    for (int i = 1; i <= 7; i++) d->nodes[i]->mjump[1] = 1;
    for (int i = 1; i <= 6; i++) d->nodes[i]->match[i % 4] = 1;
    Sequence *s = sequence_from_model(d);
    EXPECT_EQ(std::vector<int>(s->tracks[0].res, s->tracks[0].res + s->len),
              (std::vector<int>{1, 2, 3, 0, 1, 2}));
    free_sequence(s);
    // Paths: x = -10 over 5 paths adds 2 per move; a frozen count node counts no move out.
    Model *c = filled(6, 0.0f);
    c->nodes[3]->type = 'T';
    random_frequencies(d, c, 5, 0, -10.0);
    EXPECT_FLOAT_EQ(c->nodes[1]->mjump[1], 10);
    EXPECT_FLOAT_EQ(c->nodes[1]->match[1], 10);
    EXPECT_FLOAT_EQ(c->nodes[4]->mjump[1], 0);
    EXPECT_FLOAT_EQ(c->nodes[4]->match[0], 10);
    EXPECT_FLOAT_EQ(c->nodes[7]->mjump[1], 10);
    for (Model *x : {m, d, c}) free_model(x);
}

TEST_F(Train, WalksThatNeverEndAreCut) {
    Model *m = filled(1, 0.0f);  // insert forever
    m->nodes[0]->insert[2] = 1;
    Sequence *s = nullptr;
    std::string err = stderr_of([&] { s = sequence_from_model(m); });
    EXPECT_EQ(s->len, RANDOM_WALK_LIMIT);
    EXPECT_NE(err.find("cut after"), std::string::npos);
    free_sequence(s);
    free_model(m);
}

TEST_F(Train, LettersPastTheTableWarnFourTimes) {
    float p[4] = {0, 0, 0, 0};
    std::string err = stderr_of([&] {
        for (int i = 0; i < 6; i++) EXPECT_EQ(random_letter(p, 4), 0);
    });
    std::string line = "Ignorable random_letter error\n";
    EXPECT_EQ(err, line + line + line + line);
}

TEST_F(Train, NoiseSparesFrozenParts) {
    Model *m = filled(3, 0.5f);
    Model *reg = filled(3, 1.0f);
    m->nodes[1]->type = 'A';
    m->nodes[2]->type = 'T';
    srandom(1);
    int changed = noise_to_model(m, reg, 0.1);
    // Node 1 'A': nothing of its own and nothing into node 2; node 2 'T': emissions and the
    // transitions into it... which node 1 freezes; so only its emissions.
    for (int k = 0; k < m->nodes[1]->nparams; k++) {
        if (k < 6) continue;  // transitions into node 1 belong to Begin
        EXPECT_FLOAT_EQ(m->nodes[1]->params[k], 0.5f) << k;
    }
    for (int k = 0; k < 9; k++) EXPECT_FLOAT_EQ(m->nodes[2]->params[k], 0.5f) << k;
    EXPECT_GT(m->nodes[2]->match[0], 0.5f);
    EXPECT_LE(m->nodes[2]->match[0], 0.6f);
    // Per node 17 values, less the frozen ones: node 1 keeps 11, node 2 keeps 9 (its own
    // transitions and those into it), node 3 keeps 6 (those into it).
    EXPECT_EQ(changed, 5 * 17 - 11 - 9 - 6);
    free_model(m);
    free_model(reg);
}

TEST_F(Train, SwapOfMatchAndDeleteCosts) {
    Model *m = filled(2, 0.25f);
    alloc_mod_weight(m);
    for (int i = 0; i <= 3; i++)
        for (int k = 0; k < 9; k++) m->weights[i]->costs[k] = 10 * i + k;
    swap_match_del(m);
    EXPECT_EQ(m->weights[0]->ijump[0], 7);
    EXPECT_EQ(m->weights[0]->ijump[1], 6);
    EXPECT_EQ(m->weights[1]->djump[0], 11);
    EXPECT_EQ(m->weights[1]->mjump[1], 13);
    EXPECT_EQ(m->weights[3]->djump[2], 35);
    EXPECT_EQ(m->weights[3]->mjump[0], 30);
    swap_match_del(m);
    for (int i = 0; i <= 3; i++)
        for (int k = 0; k < 9; k++) EXPECT_EQ(m->weights[i]->costs[k], 10 * i + k);
    swap_match_del(nullptr);
    free_mod_weight(m);
    EXPECT_EQ(fatal_of([&] { swap_match_del(m); }), "swap_match_del: model has no cost records");
    free_model(m);
}

}  // namespace

namespace {

// Models without positions: every operation gives a defined result.
TEST_F(Train, ZeroLengthModels) {
    Model *reg = filled(0, 1.0f);
    Model *cnt = filled(0, 0.0f);
    cnt->nodes[1]->mjump[1] = 3;
    Model *m = freq_to_model(cnt, reg, nullptr, nullptr, 0, nullptr, nullptr, 1, 1, 1);
    EXPECT_EQ(m->length, 0);
    for (int i = 0; i <= 1; i++)
        for (int k = 0; k < m->nodes[i]->nparams; k++)
            EXPECT_FALSE(std::isnan(m->nodes[i]->params[k]));
    int *a = analyse_freq(m, cnt, 0, 0.5, 0.3, 1.0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a[0], 0);
    std::free(a);
    srandom(5);
    Sequence *s = sequence_from_model(m);
    EXPECT_GE(s->len, 0);
    free_sequence(s);
    random_frequencies(m, cnt, 3, 1, 1.0);
    EXPECT_GT(noise_to_model(m, reg, 0.1), 0);
    for (Model *x : {reg, cnt, m}) free_model(x);
}

}  // namespace
