// The engine's boundaries and messages: the log-sum table, alignment encoding and the backward
// walk over an alignment code, wildcard shares, expected counts, set-up notes and failures,
// query-sequence models, empty and saturated sequences, and the profile and null scores.
#include "foundation/alphabet.h"
#include "engine/fbmodel.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "engine/forward2_kernels.h"
#include "engine/forward2_post.h"
#include "engine/forward2_trace.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int BIG = IMPOSSIBLE_COST;

void use_alphabet(const char *name) {
    reset_alphabets();
    init_alphabets();
    init_alphabet_by_name(name, 0, "");
}

// A model with every transition cost t, match cost m and insert cost ins for every letter.
Model *flat_model(int L, int t, int m, int ins) {
    Model *md = alloc_model(L);
    alloc_mod_weight(md);
    for (int i = 0; i <= L + 1; i++) {
        ModWeight *w = md->weights[i];
        for (int e = 0; e < 9; e++) w->costs[e] = t;
        for (int k = 0; k < alphabet->emit_length_wild; k++) {
            w->match[k] = m;
            w->insert[k] = ins;
        }
    }
    for (int k = 0; k < alphabet->emit_length_wild; k++) md->fim_weight->insert[k] = 1386;
    md->fim_weight->ijump[2] = 10;
    return md;
}

Sequence *seq_of(const char *letters) {
    int n = (int)std::strlen(letters);
    Sequence *s = alloc_sequence(n, 1);
    s->converted = 1;
    s->id = str_dup("s1");
    for (int i = 0; i < n; i++)
        s->tracks[0].res[i] = (unsigned char)letter_index(alphabet, letters[i]);
    return s;
}

std::vector<int> bytes_of(const Sequence *s) {
    std::vector<int> v;
    for (const unsigned char *p = s->align; p && *p; p++) v.push_back(*p);
    return v;
}

// Runs f capturing standard error.
template <class F>
std::string stderr_of(F f) {
    std::fflush(stderr);
    FILE *tmp = std::tmpfile();
    int saved = dup(fileno(stderr));
    dup2(fileno(tmp), fileno(stderr));
    f();
    std::fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    std::string text = stream_text(tmp);
    std::fclose(tmp);
    return text;
}

class EdgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_alphabet("DNA");
        maxmem = 20000000;
        maxposdecodemem = 100000000;
        build_sumlog();
    }
    void TearDown() override { free_forward2(); }
};

TEST_F(EdgeTest, LogSumTable) {
    EXPECT_EQ(SUMLOG_SIZE, 7601);
    EXPECT_EQ(engine.SUMLOG[0], 693);
    EXPECT_EQ(engine.SUMLOG[7600], 1);
    EXPECT_EQ(engine.log05, 693);
    for (int d = 1; d < SUMLOG_SIZE; d++) ASSERT_LE(engine.SUMLOG[d], engine.SUMLOG[d - 1]) << d;
    // Against round(1000 ln(1 + e^(-d/1000))) in double precision: the single-precision forming
    // moves no entry by more than one.
    for (int d = 0; d < SUMLOG_SIZE; d++)
        ASSERT_NEAR(engine.SUMLOG[d], std::floor(0.5 + 1000 * std::log1p(std::exp(-d / 1000.0))),
                    1);
    EXPECT_EQ(LS(5000, 5000), 4307);
    EXPECT_EQ(LS(0, 7600), -1);
    EXPECT_EQ(LS(7600, 0), -1);
    EXPECT_EQ(LS(0, 7601), 0);
    EXPECT_EQ(LS(BIG, BIG), 99999307);
    EXPECT_EQ(LSC(BIG, BIG), 99999307);
    EXPECT_EQ(LSC(BIG + 10000, BIG + 10000), BIG);
}

// Alignment codes of hand-made state paths (codes from the End back to the start).
TEST_F(EdgeTest, EncodeAlignmentRuns) {
    struct Case {
        int L, n, kind, count;
        std::vector<int> want;
    };
    const Case cases[] = {
        {150, 150, -2, 150, {199, 151}},  // 150 matches
        {60, 0, -1, 60, {255, 205}},      // 60 deletes
        {1, 100, -3, 100, {99, 1, 201}},  // 100 inserts at node 0, then node 1's delete
    };
    for (const Case &c : cases) {
        Model *m = flat_model(c.L, 100, 1000, 2000);
        init_forward2(m, c.n, SW_GLOBAL, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
        std::vector<int> path{-1};
        if (c.kind == -3) path.push_back(-1);
        for (int k = 0; k < c.count; k++) path.push_back(c.kind);
        path.push_back(PATH_END);
        std::string letters(c.n, 'A');
        Sequence *s = seq_of(letters.c_str());
        int cost = encode_alignment(path.data(), s, c.L, nullptr);
        EXPECT_EQ(bytes_of(s), c.want);
        // Every step costs its transition (100) and every residue its emission.
        int steps = c.kind == -3 ? c.count + 2 : c.count + 1;
        int emis = c.kind == -2 ? 1000 * c.n : c.kind == -3 ? 2000 * c.n : 0;
        EXPECT_EQ(cost, 100 * steps + emis);
        free_sequence(s);
        free_model(m);
        free_forward2();
    }
}

TEST_F(EdgeTest, EncodeJumpsInAndOut) {
    Model *m = flat_model(10, 100, 1000, 2000);
    m->weights[1]->djump[1] = 7;  // node 1's delete from the start state (a match state here)
    init_forward2(m, 4, SW_LOCAL, DP_VITERBI, 0, 1, 1.0f, 0.5, 0.25, nullptr);
    Sequence *s = seq_of("A");
    Model *counts = alloc_model(10);
    init_model(counts, 0.0);
    // Start, node 1's delete, a jump in to node 5 (code 4), a jump out from node 5 over nodes
    // 6..9 (code 4) to node 10's delete, End.
    std::vector<int> path{-1, -1, 4, 4, -1, PATH_END};
    int cost = encode_alignment(path.data(), s, 10, counts);
    EXPECT_EQ(bytes_of(s), (std::vector<int>{204, 101, 205}));
    EXPECT_EQ(cost, 7 + engine.jump_in_cost + 1000 + engine.jump_out_cost + 100);
    EXPECT_EQ(engine.jump_in_cost, 693);
    EXPECT_EQ(engine.jump_out_cost, 1386);
    EXPECT_FLOAT_EQ(counts->nodes[5]->match[0], 1.0f);
    EXPECT_FLOAT_EQ(counts->nodes[1]->djump[1], 1.0f);
    EXPECT_FLOAT_EQ(counts->nodes[11]->mjump[0], 1.0f);  // End entered from node 10's delete
    free_model(counts);
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, BackwardWalkOverAnAlignmentCode) {
    Sequence *s = seq_of("ACGTAC");
    s->align = static_cast<unsigned char *>(mem_alloc(4));
    const unsigned char code[] = {105, 1, 203, 0};
    std::memcpy(s->align, code, 4);
    EXPECT_EQ(backstep_alignment(s, 8, DP_PATHPROB, nullptr), 8);
    std::vector<std::pair<int, int>> got;
    int flag = -1, node;
    while ((node = backstep_alignment(nullptr, 8, DP_PATHPROB, &flag)) != -1)
        got.push_back({node, flag});
    EXPECT_EQ(got,
              (std::vector<std::pair<int, int>>{{5, 0}, {5, 1}, {4, 1}, {3, 1}, {2, 1}, {1, 1}}));
    // Style 100: one more delete at the end, so the last aligned column is node L-1.
    const unsigned char code2[] = {102, 0};
    std::memcpy(s->align, code2, 2);
    backstep_alignment(s, 3, DP_PATHPROB_END, nullptr);
    EXPECT_EQ(backstep_alignment(nullptr, 3, DP_PATHPROB_END, &flag), 2);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(backstep_alignment(nullptr, 3, DP_PATHPROB_END, &flag), 1);
    EXPECT_EQ(backstep_alignment(nullptr, 3, DP_PATHPROB_END, &flag), -1);
    free_sequence(s);
}

TEST_F(EdgeTest, WildcardShares) {
    // DNA: R between A and G; equal probabilities give half each.
    int a = letter_index(alphabet, 'A'), g = letter_index(alphabet, 'G');
    int r = letter_index(alphabet, 'R'), n = letter_index(alphabet, 'N');
    std::vector<int> rows(7 * 3, 1386);
    int *T[7];
    for (int k = 0; k < 7; k++) T[k] = &rows[k * 3];
    float v[4] = {0, 0, 0, 0};
    do_wild_vit(v, T, 1, r);
    EXPECT_NEAR(v[a], 0.5f, 1e-3);
    EXPECT_NEAR(v[g], 0.5f, 1e-3);
    do_wild_vit(v, T, 1, a);
    EXPECT_NEAR(v[a], 1.5f, 1e-3);
    std::fill(v, v + 4, 0.0f);
    do_wild_vit(v, T, 1, n);  // the any-letter wildcard: the model's probabilities
    for (int k = 0; k < 4; k++) EXPECT_NEAR(v[k], 0.25f, 1e-3);
    // Protein: B at a node with P(N) = 0.3 and P(D) = 0.1 gives N three quarters.
    use_alphabet("protein");
    std::vector<int> prow(23, 80000);
    int *P[23];
    for (int k = 0; k < 23; k++) P[k] = &prow[k];
    prow[letter_index(alphabet, 'N')] = cost(0.3);
    prow[letter_index(alphabet, 'D')] = cost(0.1);
    float pv[20] = {};
    do_wild_vit(pv, P, 0, letter_index(alphabet, 'B'));
    EXPECT_NEAR(pv[letter_index(alphabet, 'N')], 0.75f, 2e-3);
    EXPECT_NEAR(pv[letter_index(alphabet, 'D')], 0.25f, 2e-3);
}

TEST_F(EdgeTest, CountsOfWildcardOnlySequencesSumToTheirLength) {
    // Normalised emissions (the any-letter wildcard shares by them), one node skewed.
    Model *m = flat_model(4, 1000, cost(0.25), cost(0.25));
    for (int k = 0; k < 4; k++) m->weights[2]->match[k] = cost(0.1 * (k + 1));
    for (const char *letters : {"NNNNNN", "RYRYN", "ACGTNR"}) {
        init_forward2(m, 6, SW_GLOBAL, DP_EM, 0, 1, 1.0f, 1.0, 1.0, nullptr);
        Sequence *s = seq_of(letters);
        Model *counts = alloc_model(4);
        init_model(counts, 0.0);
        float z = forback2(s, counts, 0);
        EXPECT_LT(z, SCORE_UNSET);
        double total = 0;
        for (int k = 0; k <= 5; k++)
            for (int a = 0; a < 4; a++)
                total += counts->nodes[k]->match[a] + counts->nodes[k]->insert[a];
        EXPECT_NEAR(total, (double)s->len, 0.02 * s->len) << letters;
        free_model(counts);
        free_sequence(s);
    }
    free_model(m);
}

TEST_F(EdgeTest, CountOfACostEqualToTheTotalIsOne) {
    Model *m = flat_model(2, 1000, 1000, 1000);
    init_forward2(m, 1, SW_GLOBAL, DP_EM, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    FBmodel *acc = alloc_FBmodel();
    zero_FBmodel(acc, 2, alphabet->emit_length_wild);
    acc->trans[1].t[7] = 123456;  // node 1's insert from match
    acc->mtables[0][2] = 123456;
    acc->mtables[0][1] = 123456 + 693;  // half as likely
    Model *counts = alloc_model(2);
    init_model(counts, 0.0);
    accumulate_frequencies(counts, acc, 123456);
    EXPECT_FLOAT_EQ(counts->nodes[1]->ijump[1], 1.0f);
    EXPECT_FLOAT_EQ(counts->nodes[2]->match[0], 1.0f);
    EXPECT_NEAR(counts->nodes[1]->match[0], 0.5f, 1e-3);
    EXPECT_FLOAT_EQ(counts->nodes[2]->match[1], 0.0f);
    accumulate_frequencies(nullptr, acc, 0);  // nothing
    clear_FBmodel(acc);
    free(acc);
    free_model(counts);
    free_model(m);
}

TEST_F(EdgeTest, SetUpNotesAndFailures) {
    Model *m = flat_model(3, 1000, 1000, 1000);
    std::string note = stderr_of([&] {
        init_forward2(m, 5, -1, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr);
        init_forward2(m, 5, 7, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    });
    // Once per process (an earlier test in this program may have given it already).
    if (!note.empty()) {
        EXPECT_EQ(note, "Illegal SW option (-1).  Current options are\nGlobal (0), semi-local (1), "
                        "local (2), and domain (3)\nA value of 0 will be used\n");
    }
    EXPECT_EQ(engine.SW_mode, SW_GLOBAL);
    EXPECT_EQ(stderr_of([&] { init_forward2(m, 5, 3, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr); }), "");
    EXPECT_EQ(engine.SW_mode, SW_GLOBAL);
    // Styles that need rows raise the traceback level.
    init_forward2(m, 5, 1, DP_POSTERIOR_ROWS, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(engine.Traceback, 1);
    EXPECT_EQ(engine.rowlen, 5);
    init_forward2(m, 5, 1, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(engine.rowlen, 7);
    free_forward2();
    EXPECT_EQ(fatal_of([] { init_forward2(nullptr, 5, 0, 0, 0, 0, 1.0f, 1.0, 1.0, nullptr); }),
              "init_forward2 called with null model!");
    Sequence *s = seq_of("ACG");
    EXPECT_EQ(fatal_of([&] { forward_score(s); }),
              "init_forward2 must be called before forward_score");
    EXPECT_EQ(fatal_of([&] { forback2(s, nullptr, 0); }),
              "init_forward2 must be called before forward2");
    Model *empty = flat_model(0, 1000, 1000, 1000);
    EXPECT_EQ(fatal_of([&] { init_forward2(empty, 5, 0, 0, 0, 0, 1.0f, 1.0, 1.0, nullptr); }),
              "forward2 is receiving a model of length 0??\n");
    init_forward2(m, 5, 0, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(fatal_of([&] { forback2(s, nullptr, 0); }),
              "forback2 needs a set-up with traceback (traceback level 0)");
    // Tracks out of order or of another length.
    Model *other = flat_model(4, 1000, 1000, 1000);
    Model *tracks[2] = {m, other};
    float coef[2] = {1, 1};
    EXPECT_EQ(
        fatal_of([&] { init_forward2_tracks(tracks, coef, 2, 5, 0, 0, 1.0, 1.0, 0, 0, nullptr); }),
        "Track 1 model length 4 mismatch (track 0 is 3)\n");
    tracks[1] = nullptr;
    EXPECT_EQ(
        fatal_of([&] { init_forward2_tracks(tracks, coef, 2, 5, 0, 0, 1.0, 1.0, 0, 0, nullptr); }),
        "add_track_forward2 1 called with null model!");
    // A sequence with fewer tracks than the set-up.
    Model *two[2] = {m, m};
    init_forward2_tracks(two, coef, 2, 5, 0, 0, 1.0, 1.0, 0, 0, nullptr);
    EXPECT_EQ(fatal_of([&] { forward_score(s); }), "Sequence s1 has 1 track; the model has 2");
    // A counted track with another alphabet.
    init_forward2(m, 5, 0, DP_EM, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    Model *counts = alloc_model(3);
    EXPECT_EQ(fatal_of([&] { forback2(s, counts, 1); }),
              "Counted track 1 is not a track of the sequence");
    free_model(counts);
    free_model(other);
    free_model(empty);
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, EmptySequencesAndTracebackThree) {
    Model *m = flat_model(3, 1000, 1000, 1000);
    Sequence *s = seq_of("");
    init_forward2(m, 0, SW_GLOBAL, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_FLOAT_EQ(forward_score(s), 4.0f);  // four deletes: nodes 1..3 and the End
    init_forward2(m, 0, SW_GLOBAL, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_FLOAT_EQ(forback2(s, nullptr, 0), 4.0f);
    EXPECT_EQ(bytes_of(s), (std::vector<int>{203}));
    // Traceback 3 sums over paths even with the best-path style.
    Sequence *t = seq_of("ACGT");
    init_forward2(m, 4, SW_GLOBAL, DP_VITERBI, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    float best = forward_score(t);
    init_forward2(m, 4, SW_GLOBAL, DP_VITERBI, 0, 3, 1.0f, 1.0, 1.0, nullptr);
    float sum = forward_score(t);
    EXPECT_LT(sum, best);
    init_forward2(m, 4, SW_GLOBAL, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(forward_score(t), sum);
    free_sequence(t);
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, SaturatedAndImpossibleSequences) {
    Model *m = flat_model(3, BIG, 1000, 1000);  // every transition impossible
    Sequence *s = seq_of("ACGT");
    init_forward2(m, 4, SW_LOCAL, DP_EM, 0, 1, 1.0f, 0.1, 0.1, nullptr);
    Model *counts = alloc_model(3);
    init_model(counts, 0.0);
    std::string err = stderr_of([&] { EXPECT_EQ(forback2(s, counts, 0), SCORE_UNSET); });
    EXPECT_NE(err.find("cannot be aligned"), std::string::npos);
    EXPECT_EQ(counts->nodes[2]->match[0], 0.0f);
    EXPECT_EQ(forward_score(s), SCORE_UNSET);
    init_forward2(m, 4, SW_GLOBAL, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(forback2(s, counts, 0), SCORE_UNSET);
    free_model(counts);
    free_sequence(s);
    free_model(m);
}

// 1300 impossible T's cost more than the cap; summed cells land just under it.
TEST_F(EdgeTest, SequencesPastTheCapAreUnsetInEveryStyle) {
    Model *m = flat_model(3, 1000, 1000, 1000), *counts = alloc_model(3);
    const int T = letter_index(alphabet, 'T');
    for (int k = 0; k <= 4; k++) m->weights[k]->match[T] = m->weights[k]->insert[T] = 80000;
    Sequence *s = seq_of(std::string(1300, 'T').c_str());
    const int styles[][2] = {{DP_EM, 0}, {DP_EM, 1}, {DP_POSDECODE_ALIGN, 1}, {DP_VITERBI, 1}};
    for (const auto &c : styles) {  // style, traceback (0: forward_score, else forback2)
        init_forward2(m, s->len, SW_LOCAL, c[0], 0, c[1], 1.0f, 0.5, 0.5, nullptr);
        float score = 0;
        std::string err =
            stderr_of([&] { score = c[1] ? forback2(s, counts, 0) : forward_score(s); });
        EXPECT_EQ(score, SCORE_UNSET) << c[0];
        EXPECT_EQ(err, "Warning:  s1 cannot be aligned to the model: its cost reaches the limit "
                       "of 100000 nats; no score is given\n");
    }
    EXPECT_EQ(counts->nodes[2]->match[T], 0.0f);
    free_model(counts);
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, LongSequencesFallBackToViterbiAndBuffersGrow) {
    Model *m = flat_model(3, 1000, 1000, 1000);
    maxposdecodemem = 10 * 7 * 12;  // room for 6 residues (rows of 7 cells)
    init_forward2(m, 4, SW_GLOBAL, DP_POSDECODE_ALIGN, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(engine.posdecodeseqlen, 4);  // no more than the set-up asked for
    init_forward2(m, 20, SW_GLOBAL, DP_POSDECODE_ALIGN, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(engine.posdecodeseqlen, 6);
    Sequence *s = seq_of("ACGTACGTACGTACGTACGTACGTACGTAC");
    std::string err;
    float score = 0;
    err = stderr_of([&] { score = forback2(s, nullptr, 0); });
    EXPECT_EQ(err, "Warning:  s1 (len=30) will be Viterbi aligned.\n");
    init_forward2(m, 4, SW_GLOBAL, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(forback2(s, nullptr, 0), score);  // longer than the set-up expected: buffers grew
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, QuerySequenceModelsScoreInMatrixUnits) {
    Model *m = alloc_model(0);
    m->kind = 1;
    m->gap = 10;
    m->cont = -1;
    int A = alphabet->length_wild;
    m->matrix = static_cast<int **>(mem_alloc((A + 1) * sizeof(int *)));
    for (int r = 0; r <= A; r++) {
        m->matrix[r] = static_cast<int *>(mem_alloc((A + 1) * sizeof(int)));
        for (int c = 0; c <= A; c++) m->matrix[r][c] = r == c ? 5 : -4;
    }
    m->query = seq_of("ACGT");
    init_forward2(m, 10, SW_LOCAL, DP_EM, 0, 1, 1.0f, 0.1, 0.1, nullptr);
    EXPECT_EQ(engine.DP_style, DP_VITERBI);
    EXPECT_EQ(engine.SW_mode, SW_GLOBAL);
    EXPECT_EQ(engine.jump_in_cost, 0);
    EXPECT_EQ(engine.scalefactor, 1.0f);
    EXPECT_EQ(engine.SWgap, 10);
    EXPECT_EQ(engine.SWcont, 1);
    Sequence *s = seq_of("TTACGTTT");
    EXPECT_FLOAT_EQ(forward_score(s), -20.0f);  // four matches, free ends
    EXPECT_FLOAT_EQ(forback2(s, nullptr, 0), -20.0f);
    // Two free leading inserts, four matches, the added last node's delete, three free inserts.
    EXPECT_EQ(bytes_of(s), (std::vector<int>{2, 104, 201, 2}));
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, NullScore) {
    Model *m = flat_model(3, 1000, 1000, 1000);
    Sequence *s = seq_of("ACGTA");
    Model *models[1] = {m};
    // Five residues at 1386 each plus five self-loops of 10, in nats.
    EXPECT_DOUBLE_EQ(base_null_score(models, nullptr, 1, s), (5 * 10 + 5 * 1386) / 1000.0);
    float half = 0.5f;
    EXPECT_DOUBLE_EQ(base_null_score(models, &half, 1, s), (5 * 10 + 0.5 * 5 * 1386) / 1000.0);
    EXPECT_DOUBLE_EQ(character_null(2, models, nullptr, 1, s), 1.386);
    EXPECT_EQ(fatal_of([&] {
                  int p[4] = {0, 0, 0, 0};
                  combine_wseq_wmod(p, p, 0, -1);
              }),
              "Unknown combine_mod_probseq method -1\n");
    int p[7] = {cost(0.5), cost(0.5), 80000, 80000, 0, 0, 0};
    int q[7] = {1000, 3000, 5000, 7000, 0, 0, 0};
    EXPECT_NEAR(combine_wseq_wmod(p, q, 0, 0), 0.5 * 1000 + 0.5 * 3000, 1.0);
    EXPECT_NEAR(combine_wseq_wmod(p, q, 0, 1),
                (2000 + std::exp(-1.0) * 693 + std::exp(-3.0) * 693 + std::exp(-5.0) * 80000 +
                 std::exp(-7.0) * 80000) /
                    2,
                2.0);
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, PosteriorReportAndLongPosteriorRows) {
    Model *m = flat_model(2, 1000, cost(0.25), cost(0.25));
    Sequence *s = seq_of("ACG");
    FILE *out = std::tmpfile();
    init_forward2(m, 3, SW_GLOBAL, DP_POSDECODE, 0, 0, 1.0f, 1.0, 1.0, out);
    float z = forback2(s, nullptr, 0);
    init_forward2(m, 3, SW_GLOBAL, DP_EM, 0, 0, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(z, forward_score(s));
    std::string text = stream_text(out);
    std::fclose(out);
    std::vector<std::string> lines;
    for (size_t a = 0, b; (b = text.find('\n', a)) != std::string::npos; a = b + 1)
        lines.push_back(text.substr(a, b - a));
    // Three lines per residue, from the last residue back, then the start row's transitions.
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[9].rfind("(Residue 0 DM+MM+IM) ", 0), 0u);
    EXPECT_EQ(lines[0].rfind("(Residue 3 DM+MM+IM) ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("(Char G, index 1, Match) ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("(Char G, index 1, Insert) ", 0), 0u);
    EXPECT_EQ(lines[6].rfind("(Residue 1 DM+MM+IM) ", 0), 0u);
    // Four nodes, each value -ln of a posterior: at least 0 (up to rounding).
    std::vector<double> v;
    double x;
    int used = 0;
    const char *p = lines[7].c_str() + std::strlen("(Char A, index 0, Match) ");
    while (std::sscanf(p, "%lf%n", &x, &used) == 1) {
        v.push_back(x);
        p += used;
    }
    ASSERT_EQ(v.size(), 4u);
    for (double y : v) EXPECT_GE(y, -0.01);
    EXPECT_NEAR(v[0], -std::log(1e-20), 1e-3);  // node 0 has no match state
    // Posterior rows for a sequence longer than the store: a warning and none kept.
    maxposdecodemem = 8 * 4 * 12;  // rows of 4 cells: room for 4 residues
    init_forward2(m, 10, SW_GLOBAL, DP_POSTERIOR_ROWS, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(engine.posdecodeseqlen, 4);
    Sequence *t = seq_of("ACGTACGT");
    std::string err = stderr_of([&] { EXPECT_LT(forback2(t, nullptr, 0), SCORE_UNSET); });
    EXPECT_EQ(err, "Warning:  s1 (len=8) is too long for posterior rows (> 4); none are kept.\n");
    // A query-sequence model has no null model.
    Model *q = alloc_model(0);
    q->kind = 1;
    Model *qs[1] = {q};
    EXPECT_EQ(base_null_score(qs, nullptr, 1, s), 0.0);
    free_model(q);
    free_sequence(t);
    free_sequence(s);
    free_model(m);
}

TEST_F(EdgeTest, ProfileColumnScales) {
    Model *m = flat_model(3, 1000, cost(0.25), cost(0.25));
    Model *profile = flat_model(4, 1000, cost(0.25), cost(0.25));
    Sequence *s = seq_of("ACGT");
    s->tracks[0].model = profile;
    Model *models[1] = {m};
    struct Case {
        int method;
        const char *report;
        double shift, scale;
    };
    // Background and columns uniform: S = 1 nat, every column's cost 1 nat.
    const Case cases[] = {
        {2, "", 0, 1},
        {3, "Pseqmeth 3 Seq s1 scale  1.00 shift -2.00\n", -2.0, 1},
        {4, "Pseqmeth 4 Seq s1 scale -1.00 shift  0.00\n", 0, -1.0},
        {5, "Pseqmeth 5 Seq s1 scale  1.00 shift -2.00\n", -2.0, 1},
    };
    for (const Case &c : cases) {
        std::string err = stderr_of([&] { set_pseq_scale(models, 1, s, c.method); });
        EXPECT_EQ(err, c.report) << c.method;
        EXPECT_NEAR(engine.ps_shift[0], c.shift, 1e-3) << c.method;
        EXPECT_NEAR(engine.ps_scale[0], c.scale, 1e-3) << c.method;
    }
    EXPECT_EQ(fatal_of([&] { set_pseq_scale(models, 1, s, 6); }), "Illegal pseqmethod 6\n");
    // An empty profile: no mean, so the column is used unscaled (with a warning).
    Sequence *e = seq_of("");
    e->tracks[0].model = profile;
    std::string err = stderr_of([&] { set_pseq_scale(models, 1, e, 4); });
    EXPECT_NE(err.find("unscaled"), std::string::npos);
    EXPECT_EQ(engine.ps_scale[0], 1.0);
    e->tracks[0].model = nullptr;
    s->tracks[0].model = nullptr;
    free_sequence(e);
    free_sequence(s);
    free_model(profile);
    free_model(m);
}

TEST_F(EdgeTest, AlignKernelTieCodes) {
    // One node (L = 1): node 1's match from the previous row's node 0, insert from node 1.
    TransCosts T[3];
    for (auto &t : T)
        for (int &v : t.t) v = 0;
    int mr[3] = {0, 0, 0}, ir[3] = {0, 0, 0};
    FBNodeInfo info[3] = {{-1, 0}, {-1, 0}, {-1, 0}};
    DPCell area[2 + 3];
    DPCell *prev = area + 2, cur[3];
    prev[0] = {5, 5, 9};  // match and insert equal for node 1's match: match wins
    prev[1] = {7, 3, 3};  // insert and delete equal... match smaller: match wins
    prev[2] = {0, 0, 0};
    dprow_align(T, mr, ir, 0, 1, 2, 1, prev, cur, nullptr, prev - 2, SW_GLOBAL, &noPosConstraint,
                info);
    EXPECT_EQ(prev[-1].m, TB_MATCH);  // traceback of node 1, two cells back
    prev[0] = {5, 9, 5};              // match loses; insert and delete equal: insert wins
    prev[1] = {4, 9, 4};
    dprow_align(T, mr, ir, 0, 1, 2, 1, prev, cur, nullptr, prev - 2, SW_GLOBAL, &noPosConstraint,
                info);
    EXPECT_EQ(prev[-1].m, TB_INSERT);
    EXPECT_EQ(prev[-1].i, TB_INSERT);
    prev[0] = {4, 9, 5};
    dprow_align(T, mr, ir, 0, 1, 2, 1, prev, cur, nullptr, prev - 2, SW_GLOBAL, &noPosConstraint,
                info);
    EXPECT_EQ(prev[-1].m, TB_DELETE);
}

// Codon models: letters are formed from three residues; counts of every codon and of codons with
// unknown positions add up to one per emitting residue before the counts are folded to
// first-nucleotide tables.
TEST_F(EdgeTest, CodonModelsCountEveryResidue) {
    use_alphabet("CODON");
    ASSERT_EQ(alphabet->emit_length_wild, 125);
    Model *m = alloc_model(4);
    alloc_mod_weight(m);
    for (int i = 0; i <= 5; i++) {
        ModWeight *w = m->weights[i];
        for (int e = 0; e < 9; e++) w->costs[e] = 700 + 100 * e;
        for (int k = 0; k < 125; k++) w->match[k] = w->insert[k] = cost(1.0 / 64);
    }
    Sequence *s = alloc_sequence(7, 1);
    s->converted = 1;
    const unsigned char res[7] = {0, 1, 2, 3, 4, 0, 1};  // A G C T N A G
    std::memcpy(s->tracks[0].res, res, 7);
    init_forward2(m, 7, SW_GLOBAL, DP_EM, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    const int *mr, *ir;
    set_prob_mi_tabs(&mr, &ir, s, 5, 0);  // A G, then past the end: A G N
    EXPECT_EQ(mr, engine.FB->mtables[25 * 0 + 5 * 1 + 4]);
    Model *counts = alloc_model(4);
    init_model(counts, 0.0);
    EXPECT_LT(forback2(s, counts, 0), SCORE_UNSET);
    // Folded to first-nucleotide tables: every residue's count is in the first four entries.
    double total = 0;
    for (int k = 0; k <= 5; k++)
        for (int a = 0; a < 4; a++)
            total += counts->nodes[k]->match[a] + counts->nodes[k]->insert[a];
    EXPECT_NEAR(total, 7.0, 0.05);
    init_forward2(m, 7, SW_GLOBAL, DP_VITERBI, 0, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_LT(forback2(s, nullptr, 0), SCORE_UNSET);
    free_model(counts);
    free_sequence(s);
    free_model(m);
    use_alphabet("DNA");
}

// A profile standing as the sequence: columns scored against the model's distributions.
TEST_F(EdgeTest, ProfileTrackRunsThroughEveryDriver) {
    Model *m = flat_model(3, 1000, cost(0.25), cost(0.25));
    Model *profile = flat_model(5, 1000, cost(0.25), cost(0.25));
    for (int i = 0; i <= 6; i++)
        for (int a = 0; a < 4; a++)
            profile->nodes[i]->match[a] = profile->nodes[i]->insert[a] = 0.25f;
    Sequence *s = seq_of("ACGTA");
    s->tracks[0].model = profile;
    init_forward2(m, 5, SW_GLOBAL, DP_EM, 2, 0, 1.0f, 1.0, 1.0, nullptr);
    float z = forward_score(s);
    EXPECT_LT(z, SCORE_UNSET);
    init_forward2(m, 5, SW_GLOBAL, DP_EM, 2, 1, 1.0f, 1.0, 1.0, nullptr);
    Model *counts = alloc_model(3);
    init_model(counts, 0.0);
    EXPECT_EQ(forback2(s, counts, 0), z);
    init_forward2(m, 5, SW_GLOBAL, DP_VITERBI, 2, 1, 1.0f, 1.0, 1.0, nullptr);
    init_model(counts, 0.0);
    EXPECT_LT(forback2(s, counts, 0), SCORE_UNSET);
    double total = 0;  // a path count adds each column's distribution
    for (int k = 0; k <= 4; k++)
        for (int a = 0; a < 4; a++)
            total += counts->nodes[k]->match[a] + counts->nodes[k]->insert[a];
    EXPECT_NEAR(total, 5.0, 1e-4);
    s->tracks[0].model = nullptr;
    free_model(counts);
    free_sequence(s);
    free_model(profile);
    free_model(m);
}

}  // namespace
