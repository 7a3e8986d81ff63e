// Parameter files with their includes, and the writing of parameters: lists, sections and dumps.
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

// ---------------------------------------------------------------------------------------------
// Parameter files
// ---------------------------------------------------------------------------------------------

TEST_F(Params, ParameterFileLinesAndIncludes) {
    std::string dir = scratch_dir();
    std::string inner = dir + "/inner";
    std::string outer = dir + "/outer";
    write_text(inner, "gap 21\n");
    write_text(outer, "% comment\n5 digits\n#x\n\nlambda 0.5\n i " + inner + "\nbogus 1\n");
    testing::internal::CaptureStderr();
    read_init(outer.c_str(), PRIORITY_COMMAND, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              outer + "(7):  Could not understand bogus 1\n");
    EXPECT_EQ(Score.gap, 21);
    EXPECT_DOUBLE_EQ(Score.lambda, 0.5);
    ASSERT_EQ(insert_listcount, 1);
    EXPECT_EQ(std::string(insert_list[0]), inner);
    read_init(nullptr, PRIORITY_COMMAND, 0);
    read_init("", PRIORITY_COMMAND, 0);
}

TEST_F(Params, ParameterFileThatIncludesItself) {
    std::string dir = scratch_dir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    write_text("a", "insert b\n");
    write_text("b", "gap 1\ninsert a\n");
    write_text("c", "i c\n");
    for (std::string file : {"a", "c"})
        EXPECT_EQ(fatal_of([&] { read_init(file.c_str(), PRIORITY_COMMAND, 0); }),
                  "Parameter file " + file + " includes itself (directly or through other files).");
    // A cycle through the ".gz" fallback is the same file under another name.
    write_text("z", "insert z\n");
    ASSERT_EQ(std::system("gzip -f z"), 0);
    EXPECT_EQ(fatal_of([] { read_init("z", PRIORITY_COMMAND, 0); }),
              "Parameter file z includes itself (directly or through other files).");
    // The same file twice, one after the other, is fine.
    free_init();
    write_text("d", "gap 2\n");
    write_text("e", "i d\ni d\n");
    read_init("e", PRIORITY_COMMAND, 0);
    EXPECT_EQ(insert_listcount, 2);
}

TEST_F(Params, MissingParameterFileIsFatal) {
    try {
        read_init("/nonexistent/params", PRIORITY_COMMAND, 0);
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "Couldn't open file /nonexistent/params: No such file or directory\n");
    }
}

TEST_F(Params, OverlongParameterLinesAreRefused) {
    std::string dir = scratch_dir();
    std::string f = dir + "/long";
    write_text(f, "gap 1\nmatrix " + std::string(100000, 'm') + "\n");
    try {
        read_init(f.c_str(), PRIORITY_COMMAND, 0);
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, f + "(2): line longer than 99999 characters.");
    }
    // 99999 characters and the newline still make one whole line; one more is refused.
    std::string fits = "matrix " + std::string(99999 - 7, 'm');
    write_text(f, fits + "\n");
    read_init(f.c_str(), PRIORITY_COMMAND, 0);
    EXPECT_EQ(std::strlen(Score.matrix), 99999u - 7);
    write_text(f, "gap 1\n" + fits + "m");
    EXPECT_EQ(fatal_of([&] { read_init(f.c_str(), PRIORITY_COMMAND, 0); }),
              f + "(2): line longer than 99999 characters.");
}

// ---------------------------------------------------------------------------------------------
// Writing parameters
// ---------------------------------------------------------------------------------------------

TEST_F(Params, ListStringsPackedAndOnePerLine) {
    std::string path = scratch_dir() + "/l";
    char a[] = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";  // 30
    char b[] = "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";  // 30
    char c[] = "cc";
    char *values[] = {a, b, c};
    FILE *fp = fopen(path.c_str(), "w");
    // "db" (2) + " a" (31) = 33; 33 + 30 = 63 <= 70: b joins; 64 + 2 = 66 <= 70: c joins.
    list_strings(fp, values, 3, "db", "");
    // "%% x" lead: 4 + 31 = 35, 35 + 30 = 65 fits, 66 + 2 = 68 fits.
    list_strings(fp, values, 3, "db", "% x");
    // With a long lead the third value moves to a new line: 10 + 31 + 31 = 72 > 70.
    list_strings(fp, values, 3, "db", "%%%%%%%%");
    list_strings(fp, values, -2, "i", "%");
    list_strings(fp, values, 0, "id", "");
    fclose(fp);
    std::string A(a), B(b);
    EXPECT_EQ(read_text(path), "db " + A + " " + B + " cc\n" + "% xdb " + A + " " + B + " cc\n" +
                                   "%%%%%%%%db " + A + "\n%%%%%%%%db " + B + " cc\n" + "%i " + A +
                                   "\n%i " + B + "\n" + "id\n");
}

TEST_F(Params, ParameterSection) {
    std::string dir = scratch_dir();
    std::string inc = dir + "/inc";
    write_text(inc, "");
    apply("gap 3", PRIORITY_COMMAND);
    apply("Nmodels 2", PRIORITY_COMMAND);
    apply("db x", PRIORITY_COMMAND);
    apply("db y", PRIORITY_COMMAND);
    apply("constraints c1", PRIORITY_COMMAND);
    std::string line = "insert " + inc;
    apply(line.c_str(), PRIORITY_COMMAND);
    apply("matrix", PRIORITY_COMMAND);  // no value: not set
    apply("tau 0.25", PRIORITY_COMMAND);
    mark_var_changed(&Score.query);
    read_vars[5].set = 2;  // randseed, as start-up leaves it
    EXPECT_EQ(print_to_text(0, 0),
              "% randseed -1\n% Nmodels 2\n%insert " + inc +
                  "\ndb x\ndb y\ntau 0.250000\nquery \ngap 3\n% constraints c1\n");
    EXPECT_EQ(print_to_text(0, 1),
              "% randseed -1\n% Nmodels 2\n%insert " + inc +
                  "\ndb x\ndb y\n% tau 0.250000\n% query \n% gap 3\n% constraints c1\n");
}

TEST_F(Params, DumpOfDefaults) {
    std::string dir = scratch_dir();
    std::string run = dir + "/default";
    dump_params("the banner", run.c_str());
    std::string text = read_text(run + ".params");
    std::string body = read_text(test_data("init_default_params_body.txt"));
    ASSERT_GE(text.size(), body.size());
    EXPECT_EQ(text.substr(text.size() - body.size()), body);
    EXPECT_EQ(text.rfind("%  the banner\n", 0), 0u);
    std::string tail = "%  Finished at:  ";
    size_t at = text.find(tail);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at + tail.size() + 24, 72 + 1),
              "\n% ---------------------------------------------------------------------\n");
}
