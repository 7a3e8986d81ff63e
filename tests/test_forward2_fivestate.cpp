// Five-state alignment on small pairs of models worked out by hand: identical models align on
// the diagonal, a missing residue becomes a delete, and a local alignment jumps in and out;
// the refusals.
#include <gtest/gtest.h>

#include <string>

#include "foundation/alphabet.h"
#include "engine/forward2.h"
#include "engine/forward2_fivestate.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

// Costs of the hand-worked models: every transition costs 1000 except into match from match and
// from delete (0); the End node's swapped triples then make into-End-delete from match and
// delete free. Match states emit their consensus letter only; inserts are uniform (ln 4).
const int STEP = 1000;
const int UNIFORM4 = 1386;

// A model whose node k (1..L) emits consensus[k-1].
Model *hand_model(const char *consensus) {
    int L = (int)std::string(consensus).size();
    Model *m = alloc_model(L);
    alloc_mod_weight(m);
    int w = alphabet->emit_length_wild;
    for (int i = 0; i <= L + 1; i++) {
        ModWeight *mw = m->weights[i];
        for (int e = 0; e < 3; e++) mw->djump[e] = mw->ijump[e] = STEP;
        mw->mjump[0] = mw->mjump[1] = 0;  // into match from delete and from match
        mw->mjump[2] = STEP;
        for (int k = 0; k < w; k++) {
            mw->match[k] = COST_OF_ZERO;
            mw->insert[k] = UNIFORM4;
        }
        if (i >= 1 && i <= L) mw->match[(int)alphabet->lookup[(unsigned char)consensus[i - 1]]] = 0;
    }
    for (int k = 0; k < w; k++) m->fim_weight->insert[k] = UNIFORM4;
    return m;
}

// A sequence of the letters, converted.
Sequence *letters(const char *text) {
    int n = (int)std::string(text).size();
    Sequence *s = alloc_sequence(n, 1);
    s->converted = 1;
    s->id = str_dup(text);
    for (int i = 0; i < n; i++)
        s->tracks[0].res[i] = (unsigned char)alphabet->lookup[(unsigned char)text[i]];
    return s;
}

struct FiveState : ::testing::Test {
    void SetUp() override {
        initialize_variables();
        verbout = nullptr;
        reset_alphabets();
        init_alphabets();
        init_alphabet_by_name("DNA", 0, "");
        clear_fims_added();
    }
    void TearDown() override {
        free_forward2();
        free_init();
    }
};

TEST_F(FiveState, HandWorkedPairs) {
    struct Case {
        const char *model, *sequence;
        int sw;
        int reversed;
        const char *printed;
    } cases[] = {
        // Identical models: the diagonal, entered from the start and left through End.
        {"ACGT", "ACGT", SW_GLOBAL, 0, "0 G 1 D 2 M 3 M 4 M 5 M 6 D 7 X \nmseq ACGT\nseq  ACGT\n"},
        // The sequence lacks the G: a delete (1000) beats an insert of the model (2386+).
        {"ACGT", "ACT", SW_GLOBAL, 0, "0 G 1 D 2 M 3 D 4 M 5 M 6 D 7 X \nmseq ACGT\nseq  AC-T\n"},
        // Local, free jumps: in from node 1 to node 3 (code 2), out of node 5 into node 6's
        // delete (code 0: no node between).
        {"ACGTAC", "GTA", SW_LOCAL, 0,
         "0 G 1 D 2 D 3 ? 4 M 5 M 6 J 7 D 8 D 9 X \nmseq ACGTAC\nseq  --GTA-\n"},
        // The model's nodes run from the end: it emits TGCA, on the diagonal of that sequence
        // (the model line keeps the consensus letters in their own order).
        {"ACGT", "TGCA", SW_GLOBAL, 1, "0 G 1 D 2 M 3 M 4 M 5 M 6 D 7 X \nmseq ACGT\nseq  TGCA\n"},
        // Semi-local: the jump in is only open in the first row, the jump out in the last.
        {"ACGTAC", "GTA", SW_SEMILOCAL, 0,
         "0 G 1 D 2 D 3 ? 4 M 5 M 6 J 7 D 8 D 9 X \nmseq ACGTAC\nseq  --GTA-\n"},
    };
    for (const Case &c : cases) {
        Model *m = hand_model(c.model);
        Sequence *mseq = letters(c.model);
        Sequence *seq = letters(c.sequence);
        seq->tracks[0].model = hand_model(c.sequence);
        init_forward2(m, seq->len, c.sw, DP_FIVESTATE, 2, 1, 1.0f, 1.0, 1.0, nullptr);
        testing::internal::CaptureStderr();
        fivestate_align(seq, mseq, c.reversed);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed)
            << c.model << " " << c.sequence;
        free_forward2();
        free_sequence(seq);
        free_sequence(mseq);
        free_model(m);
    }
}

TEST_F(FiveState, Refusals) {
    Model *m = hand_model("ACGT");
    Sequence *mseq = letters("ACGT");
    Sequence *plain = letters("ACGT");
    init_forward2(m, 4, SW_GLOBAL, DP_FIVESTATE, 2, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(fatal_of([&] { fivestate_align(plain, mseq, 0); }),
              "HMM-HMM alignment called without an hmm sequence");
    // A matrix beyond the memory limit is refused before anything is allocated.
    Sequence *longer = letters("ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT");
    longer->tracks[0].model = hand_model("ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT");
    maxmem = 1000;
    std::string msg = fatal_of([&] { fivestate_align(longer, mseq, 0); });
    EXPECT_EQ(msg.rfind("Five-state alignment of ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT needs "
                        "a matrix of ",
                        0),
              0u)
        << msg;
    free_forward2();
    init_forward2(m, 4, SW_GLOBAL, DP_VITERBI, 2, 1, 1.0f, 1.0, 1.0, nullptr);
    EXPECT_EQ(fatal_of([&] { fivestate_align(longer, mseq, 0); }),
              "HMM-HMM alignment called without dp style 8");
    free_sequence(plain);
    free_sequence(longer);
    free_sequence(mseq);
    free_model(m);
}

TEST_F(FiveState, TracebackRowAndStrings) {
    // One row of two nodes: node 1's D came from node 0's M, node 0's entries end the path.
    int tb[2 * FS_CELL] = {FS_CODE_END, FS_CODE_G, FS_CODE_END, FS_CODE_END, FS_CODE_I,
                           FS_CODE_M,   FS_CODE_G, FS_CODE_M,   FS_CODE_N,   FS_CODE_I};
    int path[8];
    int i = 0, state = FS_CODE_D, node = 1;
    viterbi_traceback5(tb, path, &i, &state, 0, &node);
    // D at node 1, then M at node 0 ends the row; node 0's M entry is the end code.
    EXPECT_EQ(i, 2);
    EXPECT_EQ(path[0], FS_CODE_D);
    EXPECT_EQ(path[1], FS_CODE_M);
    EXPECT_EQ(path[2], FS_CODE_END);
    EXPECT_EQ(node, -1);
    // A walk that starts below node 0 writes the end code only.
    viterbi_traceback5(tb, path, &i, &state, 0, &node);
    EXPECT_EQ(i, 2);
    EXPECT_EQ(path[2], FS_CODE_END);

    // Strings of a hand-written path (end first): D M N I G, ended.
    Sequence *mseq = letters("AC");
    Sequence *seq = letters("GT");
    int p[] = {FS_CODE_D, FS_CODE_G, FS_CODE_I, FS_CODE_N, FS_CODE_M, FS_CODE_D, FS_CODE_END};
    char *ml = nullptr, *sl = nullptr;
    testing::internal::CaptureStderr();
    string_alignment5(p, mseq, seq, &ml, &sl, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "mseq Ac.\nseq  G.t\n");
    std::free(ml);
    std::free(sl);
    // A path that starts in another state, and one that stops short.
    int q[] = {FS_CODE_M, FS_CODE_END};
    testing::internal::CaptureStderr();
    string_alignment5(q, mseq, seq, &ml, &sl, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  Invalid starting state -1 in stringalignment5\n"
              "error: stringalign5 ending with si 1 mi 1 (want 2 2)\nmseq A\nseq  G\n");
    std::free(ml);
    std::free(sl);
    free_sequence(mseq);
    free_sequence(seq);
}

}  // namespace
