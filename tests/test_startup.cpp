// Start-up: the fresh start of the library state, the per-track default regularizer and the one
// call of basic_command_line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"
#include "foundation/errors.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "models/models.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "params_fixture.h"
#include "testutil.h"

// Parameters, alphabets, the once-per-run warnings and records: all as at start-up again.
TEST_F(Params, ResetLibraryStateIsAFreshStart) {
    std::string misplaced = scratch_dir() + "/m.fa";
    write_text(misplaced, "  >x\nMKV\n");
    auto recognition_warns = [&] {
        testing::internal::CaptureStderr();
        is_fasta_or_nbrf(misplaced.c_str(), nullptr);
        return !testing::internal::GetCapturedStderr().empty();
    };
    apply("db d1", PRIORITY_COMMAND);
    apply("Nmodels 7", PRIORITY_COMMAND);
    apply("alphabet DNA", PRIORITY_COMMAND);
    sort_direction = -1;
    set_fims_added();
    EXPECT_TRUE(recognition_warns());
    EXPECT_FALSE(recognition_warns());  // once per run

    reset_library_state();
    EXPECT_EQ(dblist, nullptr);
    EXPECT_EQ(dblistcount, 0);
    EXPECT_EQ(Nmodels, 3);
    EXPECT_EQ(var_changed(&Nmodels), 0);
    EXPECT_EQ(alphabet_name, nullptr);
    EXPECT_EQ(alphabet, nullptr);
    EXPECT_EQ(alphabets[0], nullptr);
    EXPECT_EQ(num_alphabets, 0);
    EXPECT_EQ(sort_direction, 1);
    EXPECT_EQ(fims_added(), 0);
    EXPECT_TRUE(recognition_warns());
}

// ---------------------------------------------------------------------------------------------
// Per-track default regularizer
// ---------------------------------------------------------------------------------------------

TEST_F(Params, DefaultRegularizerFromTheAlphabet) {
    init_alphabets();
    apply("alphabet DNA", PRIORITY_COMMAND);
    ASSERT_NE(alphabet, nullptr);
    Rmodel *r = make_base_regularizer(0);
    ASSERT_NE(r, nullptr);
    ASSERT_NE(r->generic, nullptr);
    EXPECT_EQ(r->nstart, 0);
    EXPECT_EQ(r->slots, nullptr);
    Node *g = r->generic;
    EXPECT_EQ(g->nparams, 2 * 4 + 9);
    const float trans[9] = {1.886984f, 0.254944f, 0.376488f, 1.819972f, 15.52134f,
                            3.764209f, 0.225758f, 0.265967f, 4.006562f};
    for (int k = 0; k < 3; k++) {
        EXPECT_FLOAT_EQ(g->djump[k], trans[k]);
        EXPECT_FLOAT_EQ(g->mjump[k], trans[3 + k]);
        EXPECT_FLOAT_EQ(g->ijump[k], trans[6 + k]);
    }
    for (int k = 0; k < 4; k++) {
        EXPECT_FLOAT_EQ(g->match[k], 0.25f);
        EXPECT_FLOAT_EQ(g->insert[k], 0.25f);
    }
    free_rmodel(&r);
    EXPECT_EQ(r, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Start-up runs once
// ---------------------------------------------------------------------------------------------

static void start_twice() {
    std::string home = scratch_dir();
    setenv("HOME", home.c_str(), 1);
    unsetenv("QORRC");
    if (chdir(home.c_str()) != 0) std::exit(3);
    char prog[] = "prog", run[] = "run", opt[] = "-randseed", val[] = "5";
    char *argv[] = {prog, run, opt, val, nullptr};
    std::string run_name;
    basic_command_line(argv, 4, run_name, nullptr, 0, 0, "B", nullptr);
    if (run_name != "run" || random_seed != 5) std::exit(4);
    basic_command_line(argv, 4, run_name, nullptr, 0, 0, "B", nullptr);
}

TEST(StartUp, SecondCallIsFatal) {
    EXPECT_EXIT(start_twice(), ::testing::ExitedWithCode(1),
                "^B\nError: basic_command_line called twice!\n$");
}
