// The engine's integer model form: building from prepared and query-sequence models, the mirror
// image, scaling, reuse of tables, and the posterior-decoding store.
#include "foundation/alphabet.h"
#include "engine/fbmodel.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"
#include "foundation/errors.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr int BIG = IMPOSSIBLE_COST;

class FBmodelTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_alphabets();
        init_alphabets();
        init_alphabet_by_name("DNA", 0, "");
    }
};

// A model of length L whose node i has transition costs 10i+1 .. 10i+9 and emission costs
// 100i + letter (match) and 100i + 50 + letter (insert).
Model *numbered_model(int L) {
    Model *m = alloc_model(L);
    alloc_mod_weight(m);
    for (int i = 0; i <= L + 1; i++) {
        ModWeight *w = m->weights[i];
        for (int e = 0; e < 9; e++) w->costs[e] = 10 * i + e + 1;
        for (int k = 0; k < alphabet->emit_length_wild; k++) {
            w->match[k] = 100 * i + k;
            w->insert[k] = 100 * i + 50 + k;
        }
        m->nodes[i]->lab = i;
    }
    return m;
}

std::array<int, 9> tc(const TransCosts &t) {
    std::array<int, 9> a;
    for (int e = 0; e < 9; e++) a[e] = t.t[e];
    return a;
}

TEST_F(FBmodelTest, LengthOneModelAndItsMirrorImage) {
    Model *m = numbered_model(1);
    FBmodel *fb = model2fbmodel(m, nullptr, 1.0f);
    ASSERT_EQ(fb->length, 1);
    // Begin: insert-from-delete and insert-from-match exchanged; node 1: the from-delete and
    // from-match costs into delete and into match exchanged; End: into-delete and into-match
    // triples exchanged.
    EXPECT_EQ(tc(fb->trans[0]), (std::array<int, 9>{1, 2, 3, 4, 5, 6, 8, 7, 9}));
    EXPECT_EQ(tc(fb->trans[1]), (std::array<int, 9>{12, 11, 13, 15, 14, 16, 17, 18, 19}));
    EXPECT_EQ(tc(fb->trans[2]), (std::array<int, 9>{24, 25, 26, 21, 22, 23, 27, 28, 29}));
    EXPECT_EQ(tc(fb->rtrans[0]), (std::array<int, 9>{BIG, BIG, BIG, BIG, BIG, BIG, 26, 23, 19}));
    EXPECT_EQ(tc(fb->rtrans[1]), (std::array<int, 9>{24, 21, 17, 25, 22, 18, 13, 16, 9}));
    EXPECT_EQ(tc(fb->rtrans[2]), (std::array<int, 9>{12, 15, 8, 11, 14, 18, BIG, BIG, BIG}));
    // The model itself is left as it was.
    EXPECT_EQ(m->weights[0]->ijump[0], 7);
    EXPECT_EQ(m->weights[2]->djump[0], 21);
    // Reversed emissions and node info.
    EXPECT_EQ(fb->rmtables[2][1], fb->mtables[2][1]);
    EXPECT_EQ(fb->ritables[2][0], fb->itables[2][1]);
    EXPECT_EQ(fb->ritables[2][1], fb->itables[2][0]);
    EXPECT_EQ(fb->ritables[2][2], fb->itables[2][2]);
    EXPECT_EQ(fb->rnodeinfo[0].label, 2);
    EXPECT_EQ(fb->rnodeinfo[2].label, 0);
    clear_FBmodel(fb);
    EXPECT_EQ(fb->length, -1);
    free(fb);
    free_model(m);
}

TEST_F(FBmodelTest, ScaleTruncatesTowardZeroAndTablesAreReused) {
    Model *m = numbered_model(4);
    m->weights[2]->match[1] = 3;
    m->weights[2]->match[2] = -3;
    m->weights[3]->match[0] = BIG;
    FBmodel *fb = model2fbmodel(m, nullptr, 0.5f);
    EXPECT_EQ(fb->mtables[1][2], 1);
    EXPECT_EQ(fb->mtables[2][2], -1);
    EXPECT_EQ(fb->mtables[0][3], BIG / 2);
    int *rows = fb->mtables[0];
    model2fbmodel(m, fb, 1.0f);
    EXPECT_EQ(fb->mtables[0], rows);  // same length: tables kept
    EXPECT_EQ(fb->mtables[2][2], -3);
    // A scale that overflows saturates at the impossible cost.
    model2fbmodel(m, fb, 1e30f);
    EXPECT_EQ(fb->mtables[0][3], BIG);
    EXPECT_EQ(fb->mtables[2][2], -BIG);
    clear_FBmodel(fb);
    free(fb);
    // Without the reversed set, then with it: reallocated.
    fb = alloc_FBmodel();
    zero_FBmodel(fb, 4, alphabet->emit_length_wild);
    EXPECT_EQ(fb->rmtables, nullptr);
    EXPECT_EQ(fb->trans[3].t[4], BIG);
    model2fbmodel(m, fb, 1.0f);
    EXPECT_NE(fb->rmtables, nullptr);
    clear_FBmodel(fb);
    free(fb);
    free_model(m);
}

TEST_F(FBmodelTest, MissingModelOrCostsAreFatal) {
    EXPECT_EQ(fatal_of([] { model2fbmodel(nullptr, nullptr, 1.0f); }),
              "Null model or modweight in model2fbmodel");
    Model *m = alloc_model(3);
    EXPECT_EQ(fatal_of([&] { model2fbmodel(m, nullptr, 1.0f); }),
              "Null model or modweight in model2fbmodel");
    m->kind = 1;  // a query-sequence model without its query
    EXPECT_EQ(fatal_of([&] { model2fbmodel(m, nullptr, 1.0f); }),
              "Null model or modweight in model2fbmodel");
    free_model(m);
}

TEST_F(FBmodelTest, QuerySequenceModel) {
    Model *m = alloc_model(0);
    m->kind = 1;
    m->gap = -11;
    m->cont = 1;
    int A = alphabet->length_wild;  // 7; row and column 7 stand for '*'
    m->matrix = static_cast<int **>(mem_alloc((A + 1) * sizeof(int *)));
    for (int r = 0; r <= A; r++) {
        m->matrix[r] = static_cast<int *>(mem_alloc((A + 1) * sizeof(int)));
        for (int c = 0; c <= A; c++) m->matrix[r][c] = 10 * r + c;
    }
    Sequence *q = alloc_sequence(5, 1);
    q->converted = 1;
    const unsigned char res[5] = {0, 3, 6, 1, 2};  // A T N G C (N is a wildcard)
    for (int i = 0; i < 5; i++) q->tracks[0].res[i] = res[i];
    m->query = q;
    clear_fims_added();
    FBmodel *fb = model2fbmodel(m, nullptr, 1.0f);
    EXPECT_TRUE(fims_added());
    ASSERT_EQ(fb->length, 6);
    EXPECT_EQ(fb->query, 1);
    EXPECT_EQ(fb->rmtables, nullptr);
    EXPECT_EQ(fb->mtables[2][1], -2);   // A against G
    EXPECT_EQ(fb->mtables[1][2], -31);  // T against G
    EXPECT_EQ(fb->mtables[6][3], -66);  // N against N
    EXPECT_EQ(fb->mtables[5][3], -65);  // N against Y
    for (int k = 0; k < 7; k++) {
        EXPECT_EQ(fb->mtables[k][0], BIG);
        EXPECT_EQ(fb->mtables[k][6], BIG);
        EXPECT_EQ(fb->mtables[k][7], BIG);
        EXPECT_EQ(fb->itables[k][3], 0);
    }
    EXPECT_EQ(tc(fb->trans[3]), (std::array<int, 9>{1, 11, 11, 0, 0, 0, 11, 11, 1}));
    EXPECT_EQ(tc(fb->trans[0]), (std::array<int, 9>{BIG, BIG, BIG, BIG, BIG, BIG, 0, BIG, 0}));
    EXPECT_EQ(tc(fb->trans[1]), (std::array<int, 9>{0, 11, 0, 0, 0, 0, 11, 11, 1}));
    EXPECT_EQ(tc(fb->trans[6]), (std::array<int, 9>{0, 0, 0, BIG, BIG, BIG, 0, 0, 0}));
    EXPECT_EQ(tc(fb->trans[7]), (std::array<int, 9>{0, 0, 0, BIG, BIG, BIG, BIG, BIG, BIG}));
    clear_FBmodel(fb);
    free(fb);
    free_model(m);
}

TEST_F(FBmodelTest, PosteriorStore) {
    PDmodel *pd = alloc_PDmodel();
    EXPECT_EQ(pd->length, -1);
    size_PDmodel(pd, 4, 3, 0);
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 6; k++) pd->match[i][k] = pd->insert[i][k] = 7;
    zero_PDmodel(pd, 4, 3, 0);
    EXPECT_EQ(pd->match[2][3], PD_EMPTY);
    EXPECT_EQ(pd->match[2][4], 7);  // the last two values of a row are left as they were
    EXPECT_EQ(pd->insert[0][5], 7);
    EXPECT_EQ(pd->trans[-1][5].t[8], PD_EMPTY);
    EXPECT_EQ(pd->trans[3][0].t[0], PD_EMPTY);
    // Rows never overlap: match rows first, then insert rows.
    EXPECT_EQ(pd->insert[0], pd->match[0] + 3 * 6);
    // Growing and shrinking keep the rows and transition rows consistent.
    zero_PDmodel(pd, 2, 10, 0);
    EXPECT_EQ(pd->nres, 10);
    EXPECT_EQ(pd->trans[10][3].t[4], PD_EMPTY);
    zero_PDmodel(pd, 6, 2, 1);
    EXPECT_EQ(pd->trans, nullptr);
    EXPECT_EQ(pd->insert[1], pd->match[0] + 3 * 8);
    EXPECT_EQ(fatal_of([&] { size_PDmodel(pd, 3, -1, 1); }),
              "size_PDmodel: negative size (L 3, n -1)");
    clear_PDmodel(pd);
    EXPECT_EQ(pd->capacity, 0);
    free(pd);
}

TEST_F(FBmodelTest, DebugDump) {
    Model *m = numbered_model(1);
    FBmodel *fb = model2fbmodel(m, nullptr, 1.0f);
    std::string out = output_of([&](FILE *fp) { dbg_print_fbmodel(fp, fb, "model %d", 7); });
    EXPECT_EQ(out.substr(0, 2), "%=");
    EXPECT_NE(out.find("\n% model 7\n%> length: 1\n%> trans: \n%   0: (1 2 3) (4 5 6) (8 7 9)\n"),
              std::string::npos);
    EXPECT_NE(out.find("%> mtables:\n%   0: 0 1 2 3 4 5 6\n"), std::string::npos);
    EXPECT_NE(out.find("%> rmtables:\n"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 4), "^^^\n");
    clear_FBmodel(fb);
    free(fb);
    free_model(m);
}

}  // namespace
