// Model libraries in-process: opening and closing, the refusals, and the entry that ends at the
// next entry's header (the end-to-end test e2e/test_modlib.sh covers reading and writing with
// real model files).
#include <gtest/gtest.h>

#include <string>

#include "foundation/params.h"
#include "foundation/init_modlib.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

struct ModLib : ::testing::Test {
    char *name = nullptr;
    char *title = nullptr;
    void SetUp() override {
        initialize_variables();
        verbout = nullptr;
    }
    void TearDown() override {
        end_model_library(&name, &title);
        free_init();
    }
};

TEST_F(ModLib, OpenCloseAndRefusals) {
    EXPECT_EQ(start_model_library(nullptr), 0);
    EXPECT_EQ(start_model_library(""), 0);
    EXPECT_EQ(end_model_library(&name, &title), 0);

    std::string lib = scratch_dir() + "/lib.txt";
    write_text(lib, "MODLIBMOD e1 first\nsw 1\nENDMODLIBMOD\n");
    EXPECT_EQ(start_model_library(lib.c_str()), 1);
    EXPECT_EQ(fatal_of([&] { start_model_library(lib.c_str()); }),
              "start_modellibrary (" + lib + ") called with open libary");
    EXPECT_EQ(fatal_of([&] { next_model_library(nullptr, &title, "d"); }),
              "next_model_library called without modelname pointer\n");
    EXPECT_EQ(fatal_of([&] { next_model_library(&name, nullptr, "d"); }),
              "next_model_library called without modelname pointer\n");
    // The entry names no model: skipped with its warning, and nothing is left.
    testing::internal::CaptureStderr();
    EXPECT_EQ(next_model_library(&name, &title, "d"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING:  No model found in library " + lib + "\n   Model e1 (first)\n");
    EXPECT_EQ(SW, 1);
    EXPECT_EQ(end_model_library(&name, &title), 1);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(title, nullptr);
    EXPECT_EQ(end_model_library(&name, &title), 0);
}

TEST_F(ModLib, TrackModelsMakeAnEntryAndAreClearedByTheNext) {
    std::string lib = scratch_dir() + "/lib.txt";
    write_text(lib,
               "MODLIBMOD t1  tracks  here \ntrackmod x.mod,y.mod\ntrackcoeff 1,2\nENDMODLIBMOD\n"
               "MODLIBMOD t2\nENDMODLIBMOD\n");
    ASSERT_EQ(start_model_library(lib.c_str()), 1);
    ASSERT_EQ(next_model_library(&name, &title, "d"), 1);
    EXPECT_STREQ(name, "t1");
    EXPECT_STREQ(title, "tracks  here ");
    EXPECT_STREQ(trackmod, "x.mod,y.mod");
    testing::internal::CaptureStderr();
    EXPECT_EQ(next_model_library(&name, &title, "d"), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(trackmod, nullptr);
    EXPECT_EQ(trackcoeff, nullptr);
    EXPECT_EQ(var_changed(&trackmod), 0);
}

TEST_F(ModLib, StartUpRegularizerAndNullModelOutliveEntriesThatNameNone) {
    Rmodel *reg = alloc_rmodel(nullptr), *null_model = alloc_rmodel(nullptr);
    base_regularizer = reg;
    users_null = null_model;
    std::string lib = scratch_dir() + "/lib.txt";
    write_text(lib, "MODLIBMOD t1\ntrackmod x.mod\nENDMODLIBMOD\n"
                    "MODLIBMOD t2\ntrackmod y.mod\nENDMODLIBMOD\n");
    ASSERT_EQ(start_model_library(lib.c_str()), 1);
    for (int entry = 0; entry < 2; entry++) {
        ASSERT_EQ(next_model_library(&name, &title, "d"), 1);
        EXPECT_EQ(base_regularizer, reg);
        EXPECT_EQ(users_null, null_model);
    }
    free_rmodel(&base_regularizer);
    free_rmodel(&users_null);
}

}  // namespace
