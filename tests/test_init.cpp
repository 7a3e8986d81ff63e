// The parameter table, parameter lines and files with their priorities, lists, dumps, the
// lookups by address and the default regularizer.
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
#include "testutil.h"

namespace {

struct Params : LibraryTest {
    void SetUp() override {
        LibraryTest::SetUp();
        verbout = nullptr;
    }
};

// Applies one line and returns what went to standard error.
std::string apply(const char *line, int priority, const char *source = "f", int line_no = 1) {
    testing::internal::CaptureStderr();
    process_init_entry(nullptr, line, priority, source, &line_no, 0);
    return testing::internal::GetCapturedStderr();
}

std::string fatal_of_line(const char *line, int priority = PRIORITY_COMMAND) {
    try {
        int n = 3;
        process_init_entry(nullptr, line, priority, "f", &n, 0);
    } catch (const FatalError &e) {
        return e.message;
    }
    return "<no error>";
}

ReadVar *entry_of(const char *key) {
    for (ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (std::strcmp(v->key, key) == 0) return v;
    return nullptr;
}

std::string print_to_text(int all, int comment_all) {
    std::string path = scratch_dir() + "/p";
    FILE *fp = fopen(path.c_str(), "w");
    print_init(fp, all, comment_all, 0);
    fclose(fp);
    return read_text(path);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The table
// ---------------------------------------------------------------------------------------------

TEST_F(Params, TableShape) {
    int n = 0;
    while (read_vars[n].type != VAR_END) n++;
    EXPECT_EQ(n, 246);
    EXPECT_EQ(read_vars[n].key, nullptr);
    EXPECT_STREQ(read_vars[0].key, "MODEL");
    EXPECT_STREQ(read_vars[1].key, "REGULARIZER");
    EXPECT_STREQ(read_vars[2].key, "FREQUENCIES");
    EXPECT_STREQ(read_vars[3].key, "NULLMODEL");
    EXPECT_EQ(read_vars[1].value, (void *)&base_regularizer);
    // Every list is followed by its integer count.
    for (int i = 0; i < n; i++) {
        int t = read_vars[i].type;
        if ((t >= VAR_INSERT && t <= VAR_INSERT_PROTEIN) || t == VAR_STRINGLIST ||
            t == VAR_FILELIST) {
            EXPECT_EQ(read_vars[i + 1].type, VAR_INT) << read_vars[i].key;
        }
    }
    EXPECT_EQ(entry_of("dblistcount")->value, (void *)&dblistcount);
    EXPECT_EQ(entry_of("constraints_count")->value, (void *)&Constr.constraints_count);
    // multdomainshort is the alias of alignshort, placed after dbsize.
    ReadVar *m = entry_of("multdomainshort");
    EXPECT_STREQ(m[-1].key, "dbsize");
    EXPECT_EQ(m->value, (void *)&Score.alignshort);
}

TEST_F(Params, Defaults) {
    EXPECT_EQ(Score.subtract_null, 4);
    EXPECT_EQ(Score.sort, 4);
    EXPECT_EQ(Score.select_score, 8);
    EXPECT_EQ(Score.select_md, 4);
    EXPECT_DOUBLE_EQ(Score.viterbi_threshold, 1000000.0);
    EXPECT_EQ(Score.model_length, -1);
    EXPECT_EQ(Score.users_null_model, nullptr);
    EXPECT_STREQ(Score.matrix, "blosum62");
    EXPECT_STREQ(logo_font, "Courier");
    EXPECT_STREQ(logo_title_font, "Times-Roman");
    EXPECT_EQ(random_seed, -1);
    EXPECT_EQ(Nmodels, 3);
    EXPECT_EQ(AWeight.aweight_method, 1);
    EXPECT_EQ(Vireon.vireon_dual_mapping, -1);
    EXPECT_EQ(dblist, nullptr);
    EXPECT_EQ(dblistcount, 0);
    EXPECT_EQ(NLLfile, nullptr);
    for (ReadVar *v = read_vars; v->type != VAR_END; v++) EXPECT_EQ(v->set, 0);
}

TEST_F(Params, AliasesShareOneVariable) {
    apply("distfile d1", PRIORITY_COMMAND);
    EXPECT_STREQ(NLLfile, "d1");
    apply("NLLfile1 d2", PRIORITY_LIBRARY);
    EXPECT_STREQ(NLLfile, "d2");
    apply("SW_score 1", PRIORITY_COMMAND);
    EXPECT_EQ(SW, 1);
    apply("dpstyle 5", PRIORITY_COMMAND);
    EXPECT_EQ(dpstyle, 5);
    const char **names = var_names(&NLLfile);
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names[0], "NLLfile");
    EXPECT_STREQ(names[1], "NLLfile1");
    EXPECT_STREQ(names[2], "distfile");
    EXPECT_EQ(names[3], nullptr);
    free(names);
}

TEST_F(Params, LookupsByAddress) {
    EXPECT_EQ(var_changed(&Score.gap), 0);
    apply("gap 3", PRIORITY_COMMAND);
    EXPECT_EQ(var_changed(&Score.gap), 1);
    mark_var_same(&Score.gap);
    EXPECT_EQ(var_changed(&Score.gap), 0);
    mark_var_changed(&Score.gap);
    EXPECT_EQ(var_changed(&Score.gap), 1);
    static int not_a_parameter;
    try {
        var_changed(&not_a_parameter);
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "Internal error: var_changed was given an unfound variable address");
    }
}

// ---------------------------------------------------------------------------------------------
// Parameter lines
// ---------------------------------------------------------------------------------------------

TEST_F(Params, NamesMatchIgnoringCaseAndSeparators) {
    apply("NLL-NULL -5", PRIORITY_COMMAND);
    EXPECT_DOUBLE_EQ(Score.NLLnull, -5.0);
    apply("Nll_null -7", PRIORITY_LIBRARY);
    EXPECT_DOUBLE_EQ(Score.NLLnull, -7.0);
    EXPECT_EQ(apply("  nllnull_ -1  ", PRIORITY_COMMAND, "src", 4),
              "src(4):  Could not understand nllnull_ -1\n");
}

TEST_F(Params, ValuesAndTheirTypes) {
    apply("gap 5 and more", PRIORITY_COMMAND);
    EXPECT_EQ(Score.gap, 5);
    apply("lambda 2.5x", PRIORITY_COMMAND);
    EXPECT_DOUBLE_EQ(Score.lambda, 2.5);
    apply("matrix my matrix file", PRIORITY_COMMAND);
    EXPECT_STREQ(Score.matrix, "my matrix file");
    EXPECT_EQ(fatal_of_line("gap x"), "f(3):  Incorrect type or missing value for gap\n");
    EXPECT_EQ(fatal_of_line("gap 2147483648"), "f(3):  Incorrect type or missing value for gap\n");
    EXPECT_EQ(fatal_of_line("gap -2147483649"), "f(3):  Incorrect type or missing value for gap\n");
    EXPECT_EQ(fatal_of_line("tau 1e400"), "f(3):  Incorrect type or missing value for tau\n");
    EXPECT_EQ(fatal_of_line("tau -1e400"), "f(3):  Incorrect type or missing value for tau\n");
    apply("gap -2147483648", PRIORITY_COMMAND);
    EXPECT_EQ(Score.gap, INT32_MIN);
    EXPECT_EQ(apply("gap", PRIORITY_COMMAND), "f(1):  Value not specified for gap\n");
    EXPECT_EQ(apply("GAP   ", PRIORITY_COMMAND), "f(1):  Value not specified for GAP\n");
}

TEST_F(Params, LineEndsInsideValuesAreRefused) {
    for (const char *line :
         {"query a\nmodel_file other.mod\n", "query a\rb\n", "gap 2\n3", "alphabet pro\rtein"})
        EXPECT_NE(fatal_of_line(line).find("holds a line end (CR or LF)"), std::string::npos)
            << line;
    EXPECT_EQ(fatal_of_line("query a\nmodel_file b"),
              "f(3):  The value of query holds a line end (CR or LF)");
    // The CR of a CRLF line end is no part of the value.
    apply("query abc\r\n", PRIORITY_COMMAND);
    EXPECT_STREQ(Score.query, "abc");
}

TEST_F(Params, CommentsAndEmptyLines) {
    EXPECT_EQ(apply("% gap 3", PRIORITY_COMMAND), "");
    EXPECT_EQ(apply("   \n", PRIORITY_COMMAND), "");
    EXPECT_EQ(Score.gap, 12);
}

TEST_F(Params, Priorities) {
    // Command line sets 8; the per-user file cannot replace it, silently.
    apply("gap 8", PRIORITY_COMMAND);
    EXPECT_EQ(apply("gap 10", PRIORITY_USERFILE), "");
    EXPECT_EQ(Score.gap, 8);
    // A parameter file read at command-line priority replaces it with a note.
    EXPECT_EQ(apply("gap 10", PRIORITY_COMMAND, "p", 2),
              "p(2): gap has already been set. Using 10.\n");
    EXPECT_EQ(Score.gap, 10);
    // A model-library entry replaces silently.
    EXPECT_EQ(apply("gap 11", PRIORITY_LIBRARY), "");
    EXPECT_EQ(Score.gap, 11);
    // Strings: two blanks before "Using".
    apply("model_file a", PRIORITY_COMMAND);
    EXPECT_EQ(apply("model_file b", PRIORITY_COMMAND, "p", 3),
              "p(3): model_file has already been set.  Using b.\n");
    EXPECT_EQ(apply("model_file c", PRIORITY_USERFILE), "");
    EXPECT_STREQ(model_file, "b");
    // A value only the per-user file names is taken.
    apply("tau 3", PRIORITY_USERFILE);
    EXPECT_DOUBLE_EQ(Score.tau, 3.0);
}

TEST_F(Params, PerUserFileRespectsEveryAlias) {
    apply("distfile fromcl", PRIORITY_COMMAND);
    apply("NLLfile fromrc", PRIORITY_USERFILE);
    EXPECT_STREQ(NLLfile, "fromcl");
    apply("SW_score 0", PRIORITY_COMMAND);
    apply("SW 1", PRIORITY_USERFILE);
    EXPECT_EQ(SW, 0);
}

TEST_F(Params, ListsGrowFromEverySource) {
    apply("db one", PRIORITY_COMMAND);
    apply("db two", PRIORITY_USERFILE);
    apply("DB three", PRIORITY_LIBRARY);
    ASSERT_EQ(dblistcount, 3);
    EXPECT_STREQ(dblist[0], "one");
    EXPECT_STREQ(dblist[1], "two");
    EXPECT_STREQ(dblist[2], "three");
    EXPECT_EQ(var_changed(&dblist), 1);
}

TEST_F(Params, AHundredValuesAndNoMore) {
    for (int i = 0; i < 100; i++) {
        std::string line = "id n" + std::to_string(i);
        apply(line.c_str(), PRIORITY_COMMAND);
    }
    EXPECT_EQ(idlistcount, 100);
    EXPECT_EQ(fatal_of_line("id n100"), "Only 100 id values can be specified.  Skipping n100.\n");
    EXPECT_EQ(idlistcount, 100);
}

TEST_F(Params, CountEntriesCannotBeSet) {
    apply("db x", PRIORITY_COMMAND);
    EXPECT_EQ(apply("dblistcount 50", PRIORITY_COMMAND),
              "f(1):  dblistcount counts the values of db and cannot be set; ignored.\n");
    EXPECT_EQ(dblistcount, 1);
    EXPECT_EQ(apply("insert_listcount 7", PRIORITY_USERFILE),
              "f(1):  insert_listcount counts the values of insert and cannot be set; ignored.\n");
    EXPECT_EQ(insert_listcount, 0);
}

TEST_F(Params, DoublesMustBeFinite) {
    const struct {
        const char *line, *message;
    } cases[] = {
        {"Emax nan", "f(3):  Value nan for Emax is not a finite number\n"},
        {"tau -Infinity", "f(3):  Value -Infinity for tau is not a finite number\n"},
        {"lambda NAN(1) x", "f(3):  Value NAN(1) x for lambda is not a finite number\n"},
    };
    for (const auto &c : cases) EXPECT_EQ(fatal_of_line(c.line), c.message) << c.line;
    EXPECT_DOUBLE_EQ(Score.Emax, 0.01);
}

TEST_F(Params, ModelSectionsFromTheCommandLine) {
    EXPECT_EQ(apply("MODEL x", PRIORITY_COMMAND, "Command line option", 0),
              "Command line option(0):  Cannot specify MODEL here.\n");
    // The keyword test comes first and matches by prefix, case counting.
    EXPECT_EQ(apply("MODELLENGTH 5", PRIORITY_COMMAND, "Command line option", 2),
              "Command line option(2):  Cannot specify MODEL here.\n");
    EXPECT_EQ(apply("modellength 5", PRIORITY_COMMAND), "");
    EXPECT_EQ(modellength, 5);
}

TEST_F(Params, VerboseSwitchesTheVerboseStream) {
    apply("verbose 1", PRIORITY_USERFILE);
    EXPECT_EQ(verbout, stderr);
    apply("verbose 0", PRIORITY_USERFILE);
    EXPECT_EQ(verbout, nullptr);
    EXPECT_EQ(fatal_of_line("verbose"), "f(3):  Incorrect type or missing value for verbose\n");
}

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
    try {
        read_init("a", PRIORITY_COMMAND, 0);
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "Parameter file a includes itself (directly or through other files).");
    }
    write_text("c", "i c\n");
    try {
        read_init("c", PRIORITY_COMMAND, 0);
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "Parameter file c includes itself (directly or through other files).");
    }
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

TEST_F(Params, FreeInitReleasesStringsAndLists) {
    apply("db x", PRIORITY_COMMAND);
    apply("NLLfile y", PRIORITY_COMMAND);
    free_init();
    EXPECT_EQ(dblist, nullptr);
    EXPECT_EQ(dblistcount, 0);
    EXPECT_EQ(NLLfile, nullptr);
    EXPECT_EQ(Score.matrix, nullptr);
    free_init();  // twice is harmless
}

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

TEST_F(Params, FirstSequenceFile) {
    EXPECT_EQ(find_seq_file(), nullptr);
    apply("db d1", PRIORITY_COMMAND);
    EXPECT_STREQ(find_seq_file(), "d1");
    apply("alphbackfile b1", PRIORITY_COMMAND);
    EXPECT_STREQ(find_seq_file(), "b1");  // the first file list in table order
    apply("test t1", PRIORITY_COMMAND);
    EXPECT_STREQ(find_seq_file(), "t1");
    apply("train r1", PRIORITY_COMMAND);
    EXPECT_STREQ(find_seq_file(), "r1");
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
