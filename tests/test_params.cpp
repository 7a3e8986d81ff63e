// The parameter table, parameter lines with their priorities and lists, the lookups by address
// and the release of the parameters.
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
