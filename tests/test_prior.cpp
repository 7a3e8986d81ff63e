// Dirichlet-mixture prior libraries (text form, source rendering, built-ins, estimate) and
// transition-prior libraries.
#include <gtest/gtest.h>

#include <cmath>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "models/codon.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/prior.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"
#include "testutil.h"

namespace {

class Prior : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        reset_alphabets();
        unsetenv("PRIOR_PATH");
    }
    void TearDown() override { reset_alphabets(); }
};

// Reads a library file, with its report and standard error.
struct ReadResult {
    PriorLib *lib;
    std::string report;
    std::string err;
};
ReadResult read_lib(const std::string &path, int K, int selector = 0) {
    ReadResult r;
    FILE *rep = std::tmpfile();
    testing::internal::CaptureStderr();
    r.lib = read_PriorLib(path.c_str(), "/nonexistent", rep, K, selector);
    r.err = testing::internal::GetCapturedStderr();
    r.report = stream_text(rep);
    std::fclose(rep);
    return r;
}

// Open descriptors of the process: a refused file must not keep its stream open.
int open_descriptors() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d)) n++;
        closedir(d);
    }
    return n;
}

std::string lib_file(const std::string &text) {
    std::string path = scratch_dir() + "/lib.prior";
    write_text(path, text);
    return path;
}

// ---------------------------------------------------------------------------------------------
// Reading and writing
// ---------------------------------------------------------------------------------------------

TEST_F(Prior, ReadsTheSmallLibrary) {
    std::string path = test_data("prior_small.lib");
    ReadResult r = read_lib(path, 4);
    ASSERT_NE(r.lib, nullptr);
    EXPECT_EQ(r.lib->AlphaChar, 4);
    EXPECT_EQ(r.lib->NumDistr, 3);
    EXPECT_STREQ(r.lib->Name, "dna3");
    EXPECT_EQ(std::string(r.lib->FileName), path);
    EXPECT_EQ(r.report, "% Prior File: " + path + "(Name: dna3)\n%   3 priors on 4 characters.\n");
    double expect[3][5] = {
        {4.0, 0.5, 1.25, 2.0, 0.25}, {1.0, 0.25, 0.25, 0.25, 0.25}, {20.5, 8.0, 0.5, 0.5, 11.5}};
    double mix[3] = {0.5, 0.25, 0.25};
    for (int c = 0; c < 3; c++) {
        EXPECT_EQ(r.lib->Mix[c], mix[c]);
        EXPECT_EQ(r.lib->logBeta[c], 0.0);
        for (int j = 0; j < 5; j++) EXPECT_EQ(r.lib->Distr[c][j], expect[c][j]) << c << " " << j;
    }
    free_PriorLib(&r.lib);
    EXPECT_EQ(r.lib, nullptr);
    free_PriorLib(nullptr);
}

TEST_F(Prior, TotalsAndCoefficients) {
    struct Case {
        const char *text;
        double total;      // the stored total of the only component afterwards
        double mix;        // its coefficient afterwards
        const char *line;  // report line expected after the count line, or ""
    };
    const Case cases[] = {
        // A total that agrees in single precision stays bit for bit.
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= 0.3 0.1 0.2", 0.3, 1.0, ""},
        // One that disagrees becomes the single-precision sum.
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= 9 0.1 0.2", (double)(0.1f + 0.2f), 1.0,
         ""},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1.009 Alpha= 0.3 0.1 0.2", 0.3, 1.009, ""},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1.02 Alpha= 0.3 0.1 0.2", 0.3,
         1.02 / (double)1.02f,
         "% The mixture coefficients summed to 1.020000, and were renormalized\n"},
        // A sum that single precision cannot hold divides by the double-precision sum.
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1e-300 Alpha= 0.3 0.1 0.2", 0.3, 1.0,
         "% The mixture coefficients summed to 0.000000, and were renormalized\n"},
        // Keywords apart from their '=', in any case, with '-' and '_' inside.
        {"alpha_char = 2 Num-Distr = 1\nNumber = 0 Mixture = 1 Alpha junk = 0.3 0.1 0.2", 0.3, 1.0,
         ""},
    };
    for (const Case &c : cases) {
        ReadResult r = read_lib(lib_file(c.text), 2);
        ASSERT_NE(r.lib, nullptr) << c.text;
        EXPECT_EQ(r.lib->Distr[0][0], c.total) << c.text;
        EXPECT_DOUBLE_EQ(r.lib->Mix[0], c.mix) << c.text;
        EXPECT_NE(r.report.find("%   1 prior on 2 characters.\n" + std::string(c.line)),
                  std::string::npos)
            << r.report;
        free_PriorLib(&r.lib);
    }
}

TEST_F(Prior, WrittenLibraryReadsBackExactly) {
    PriorLib *lib = alloc_PriorLib(2, 3, "name", "file");
    double values[2][4] = {{1e-300, 0.1, 1.0 / 3.0, 2.5e-7}, {123456.789012345, 1e-06, 7, 0.2}};
    lib->Mix[0] = 1.0 / 3.0;
    lib->Mix[1] = 2.0 / 3.0;
    for (int c = 0; c < 2; c++) {
        values[c][0] = (double)((float)values[c][1] + (float)values[c][2] + (float)values[c][3]);
        for (int j = 0; j < 4; j++) lib->Distr[c][j] = values[c][j];
    }
    std::string path = scratch_dir() + "/out.prior";
    FILE *fp = std::fopen(path.c_str(), "w");
    write_PriorLib(fp, lib);
    std::fclose(fp);
    std::string text = read_text(path);
    EXPECT_EQ(text.substr(0, 34), "AlphaChar= 3\nNumDistr= 2\nNumber= 0");
    EXPECT_EQ(text.find("name"), std::string::npos);
    ReadResult r = read_lib(path, 3);
    ASSERT_NE(r.lib, nullptr);
    EXPECT_EQ(r.lib->Name, nullptr);
    for (int c = 0; c < 2; c++) {
        EXPECT_EQ(r.lib->Mix[c], lib->Mix[c]);
        for (int j = 0; j < 4; j++) EXPECT_EQ(r.lib->Distr[c][j], lib->Distr[c][j]) << c << j;
    }
    free_PriorLib(&r.lib);
    free_PriorLib(&lib);
}

TEST_F(Prior, SourceRendering) {
    std::string dir = scratch_dir();
    PriorLib *lib = alloc_PriorLib(1, 2, "a\"b\\c\n", "f.lib");
    lib->Mix[0] = 1;
    lib->Distr[0][0] = 0.75;
    lib->Distr[0][1] = 0.5;
    lib->Distr[0][2] = 0.25;
    std::string base = dir + "/pri";
    write_PriorLib_C(base.c_str(), "XX", lib);
    EXPECT_EQ(read_text(base + ".c"), "/* C prior created using the dervolt program */\n"
                                      "#define PRIORXX XX\n"
                                      "static PriorLib *\nPRIOR" +
                                          base +
                                          "()\n{\n   PriorLib *temp;\n"
                                          "   temp = alloc_PriorLib (1, 2, \"a\\\"b\\\\c\\012\", "
                                          "\"f.lib\");\n"
                                          "   temp->Mix[0]=1;\n"
                                          "   temp->Distr[0][0] = 0.75;\n"
                                          "   temp->Distr[0][1] = 0.5;\n"
                                          "   temp->Distr[0][2] = 0.25;\n"
                                          "   return temp;\n}\n");
    free_PriorLib(&lib);
    lib = alloc_PriorLib(0, 2, "", nullptr);
    EXPECT_EQ(lib->Name, nullptr);
    write_PriorLib_C(base.c_str(), "Y", lib);
    EXPECT_NE(read_text(base + ".c").find("   temp = alloc_PriorLib (0, 2, NULL, NULL);\n"),
              std::string::npos);
    free_PriorLib(&lib);
}

TEST_F(Prior, MissingFileWarnsAndGivesNull) {
    ReadResult r = read_lib("no_such.prior", 20);
    EXPECT_EQ(r.lib, nullptr);
    EXPECT_EQ(r.report, "% Prior File: File Not Found (no_such.prior)\n");
    EXPECT_EQ(r.err, "Warning:  Prior library no_such.prior not found in current directory\nor in "
                     "$PRIOR_PATH /nonexistent/no_such.prior.  Using single-component "
                     "regularizer.\n");
}

TEST_F(Prior, FoundUnderPriorPath) {
    std::string dir = scratch_dir();
    write_text(dir + "/p.lib", "AlphaChar=1 NumDistr=1 Number=0 Mixture=1 Alpha= 2 2");
    setenv("PRIOR_PATH", dir.c_str(), 1);
    ReadResult r = read_lib("p.lib", 1);
    ASSERT_NE(r.lib, nullptr);
    EXPECT_EQ(r.report, "% Prior File: " + dir + "/p.lib(Name: )\n%   1 prior on 1 characters.\n");
    EXPECT_STREQ(r.lib->FileName, "p.lib");
    free_PriorLib(&r.lib);
}

TEST_F(Prior, LetterCountMismatch) {
    ReadResult r = read_lib(test_data("prior_small.lib"), 20);
    EXPECT_EQ(r.lib, nullptr);
    EXPECT_EQ(r.err,
              "Prior library is for 4 characters but alphabet has 20\nIgnoring prior library " +
                  test_data("prior_small.lib") + ".\n");
    EXPECT_NE(r.report.find("% Prior library ignored:  alphabet mismatch (4 vs 20).\n"),
              std::string::npos);
}

TEST_F(Prior, HostileFilesAreRefused) {
    struct Case {
        const char *text;
        const char *message;  // expected ending of the fatal message
    };
    const std::string long_word(PRIOR_MAX_WORD + 1, 'w');
    const std::string long_text = "AlphaChar=2 " + long_word;
    const int descriptors = open_descriptors();
    const Case cases[] = {
        {"", "does not appear to be a prior library."},
        {"AlphaChar= 2", "does not appear to be a prior library."},
        {"AlphaChar= 2 NumDistr=", "does not appear to be a prior library."},
        {"AlphaChar=2 NumDistr=2 Number=0 Mixture=1 Alpha= 0.3 0.1 0.2",
         "1 components read--expecting 2."},
        {"AlphaChar=2 NumDistr=1 Mixture=1 Alpha= 0.3 0.1 0.2", "0 components read--expecting 1."},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= 0.3 0.1",
         "0 components read--expecting 1."},
        {"AlphaChar=2 NumDistr=0", "(1): NumDistr must be positive in prior library (0)"},
        {"AlphaChar=2\nNumDistr=-3", "(2): NumDistr must be positive in prior library (-3)"},
        {"AlphaChar=2 NumDistr=x", "(1): \"x\" is not a count (NumDistr) in prior library"},
        {"AlphaChar=2 NumDistr=99999999999", "is not a count (NumDistr) in prior library"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=-1 Alpha= 0.3 0.1 0.2",
         "(1): negative mixture coefficient -1 in prior library"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= 0.3 -0.1 0.2",
         "(1): Dirichlet parameter -0.1 is not positive in prior library"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= 0.3 0 0.2",
         "(1): Dirichlet parameter 0 is not positive in prior library"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha=\n 0.3 0.1 abc",
         "(2): \"abc\" is not a number in prior library"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=nan Alpha= 0.3 0.1 0.2",
         "\"nan\" is not a number in prior library"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=0 Alpha= 0.3 0.1 0.2",
         "the mixture coefficients of the prior library sum to 0"},
        {"AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= 1 1e300 1",
         "(1): Dirichlet parameters sum beyond single precision in prior library"},
        {"AlphaChar=2 NumDistr=2 Number=0 Mixture=1e308 Alpha= 0.3 0.1 0.2 Number=1 "
         "Mixture=1e308 Alpha= 0.3 0.1 0.2",
         "the mixture coefficients of the prior library sum to inf"},
        {long_text.c_str(), "(1): word longer than 1000 characters in prior library"},
    };
    for (const Case &c : cases) {
        std::string path = lib_file(c.text);
        std::string msg;
        testing::internal::CaptureStderr();
        msg = fatal_of([&] { read_PriorLib(path.c_str(), "/x", nullptr, 2, 0); });
        testing::internal::GetCapturedStderr();
        ASSERT_GE(msg.size(), std::strlen(c.message)) << c.text << " -> " << msg;
        EXPECT_EQ(msg.substr(msg.size() - std::strlen(c.message)), c.message) << c.text;
    }
    EXPECT_EQ(open_descriptors(), descriptors);
    // A NUL byte where a number stands is no number (it was read as 0).
    std::string path = lib_file(std::string("AlphaChar=2 NumDistr=1 Number=0 Mixture=1 Alpha= ") +
                                '\0' + " 0.1 0.2");
    EXPECT_EQ(fatal_of([&] { read_PriorLib(path.c_str(), "/x", nullptr, 2, 0); }),
              path + "(1): \"\" is not a number in prior library");
}

// ---------------------------------------------------------------------------------------------
// Built-in mixtures
// ---------------------------------------------------------------------------------------------

TEST_F(Prior, BuiltinSelectors) {
    struct Case {
        const char *alphabet;
        int selector;
        int expected_K;
        int N;  // 0: null expected
        const char *name;
        const char *file_name;
        double mix0;
        double first[4];  // total, then the first three parameters
    };
    const Case cases[] = {
        {"DNA", 1, 20, 0, nullptr, nullptr, 0, {0}},
        {"protein",
         1,
         20,
         20,
         "quarn3.20comp",
         "quarn3.20comp",
         0.176513,
         {10.13288, 0.668781, 0.072626, 1.08101}},
        {"DNA",
         2,
         20,
         32,
         "volta-comp2.32comp",
         "volta-comp2.32comp.gen",
         0.079773,
         {1017.395081, 57.9247, 19.7978, 58.2151}},
        {"DNA",
         3,
         3,
         9,
         "m41-2d-comp.9comp",
         "m41-2d-comp.9comp.gen",
         0.336744,
         {67.185898, 13.2111, 28.2297, 25.7451}},
        {"DNA",
         4,
         6,
         6,
         "m41-ebghtl-comp.6comp",
         "m41-ebghtl-comp.6comp.gen",
         0.414735,
         {64.55854, 11.8325, 0.912388, 2.48175}},
        {"DNA", 0, 4, 0, nullptr, nullptr, 0, {0}},
        {"DNA", 5, 4, 0, nullptr, nullptr, 0, {0}},
    };
    for (const Case &c : cases) {
        reset_alphabets();
        std::string msg = fatal_of([&] { init_alphabet_by_name(c.alphabet, 0, ""); });
        ASSERT_EQ(msg, "");
        ReadResult r = read_lib("", c.expected_K, c.selector);
        if (c.N == 0) {
            EXPECT_EQ(r.lib, nullptr) << c.selector;
            EXPECT_EQ(r.err + r.report, "") << c.selector;
            continue;
        }
        ASSERT_NE(r.lib, nullptr) << c.selector;
        EXPECT_EQ(r.lib->NumDistr, c.N);
        EXPECT_STREQ(r.lib->Name, c.name);
        EXPECT_STREQ(r.lib->FileName, c.file_name);
        EXPECT_EQ(r.lib->Mix[0], c.mix0);
        for (int j = 0; j < 4; j++) EXPECT_EQ(r.lib->Distr[0][j], c.first[j]);
        EXPECT_EQ(r.report, "% Prior File:  Internal (Name: " + std::string(c.name) + ") \n%   " +
                                std::to_string(c.N) + " priors on " +
                                std::to_string(r.lib->AlphaChar) + " characters.\n");
        // Coefficients sum to 1, every value is positive, totals are the parameter sums, and
        // the smallest parameter is 1e-06.
        double mix_sum = 0, smallest = 1e9;
        for (int k = 0; k < c.N; k++) {
            mix_sum += r.lib->Mix[k];
            double sum = 0;
            for (int j = 1; j <= r.lib->AlphaChar; j++) {
                EXPECT_GT(r.lib->Distr[k][j], 0.0);
                sum += r.lib->Distr[k][j];
                smallest = std::min(smallest, r.lib->Distr[k][j]);
            }
            EXPECT_NEAR(r.lib->Distr[k][0], sum, 1e-5 * sum) << k;
        }
        EXPECT_NEAR(mix_sum, 1.0, 1e-5);
        if (c.selector <= 2) {
            EXPECT_EQ(smallest, 1e-06);
        }
        free_PriorLib(&r.lib);
    }
    PriorLib *gp = genproteinprior();
    EXPECT_EQ(gp->NumDistr, 32);
    EXPECT_EQ(gp->AlphaChar, 20);
    free_PriorLib(&gp);
}

TEST_F(Prior, BuiltinOfAnotherLetterCount) {
    ReadResult r = read_lib("", 4, 3);
    EXPECT_EQ(r.lib, nullptr);
    EXPECT_EQ(r.err, "Internal default mixture (m41-2d-comp.9comp) has 3 characters\nrather than "
                     "the 4 expected.  Not using mixture.\n");
    EXPECT_EQ(r.report, "");
}

// ---------------------------------------------------------------------------------------------
// log-Beta and the estimate, against prior_expected.txt (prior_expected.py)
// ---------------------------------------------------------------------------------------------

struct ExpectedLine {
    std::string kind;
    std::vector<double> in, out;
};
std::vector<ExpectedLine> expected_lines() {
    std::vector<ExpectedLine> lines;
    std::ifstream f(test_data("prior_expected.txt"));
    std::string line;
    while (std::getline(f, line)) {
        std::istringstream ss(line);
        ExpectedLine e;
        ss >> e.kind;
        std::string w;
        bool after = false;
        while (ss >> w) {
            if (w == "->")
                after = true;
            else
                (after ? e.out : e.in).push_back(std::stod(w));
        }
        lines.push_back(e);
    }
    return lines;
}

TEST_F(Prior, LogBetaAgainstLgammaSums) {
    int n = 0;
    for (const ExpectedLine &e : expected_lines()) {
        if (e.kind != "logB") continue;
        n++;
        EXPECT_NEAR(calc_logB(e.in.data(), (int)e.in.size()), e.out[0], 1e-12);
        EXPECT_EQ(calc_logBf(e.in.data(), (int)e.in.size()),
                  calc_logB(e.in.data(), (int)e.in.size()));
    }
    EXPECT_EQ(n, 5);
}

TEST_F(Prior, EstimateAgainstIndependentComputation) {
    ReadResult r = read_lib(test_data("prior_small.lib"), 4);
    ASSERT_NE(r.lib, nullptr);
    int n = 0;
    for (const ExpectedLine &e : expected_lines()) {
        if (e.kind != "estimate") continue;
        n++;
        float table[4];
        for (int i = 0; i < 4; i++) table[i] = (float)e.in[(size_t)i + 1];
        adapt_freq_table(table, r.lib, nullptr, e.in[0], 0.0);
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(table[i], e.out[(size_t)i], 2e-6 * std::max(1.0, e.out[(size_t)i]))
                << n << " " << i;
    }
    EXPECT_EQ(n, 6);
    // The cache was filled on first use and kept.
    for (int c = 0; c < 3; c++)
        EXPECT_DOUBLE_EQ(r.lib->logBeta[c], calc_logB(r.lib->Distr[c] + 1, 4));
    float t[4] = {1, 1, 1, 1};
    EXPECT_NE(fatal_of([&] { adapt_freq_table(t, r.lib, nullptr, 0.0, 0.0); }), "");
    EXPECT_EQ(fatal_of([&] { adapt_freq_table(t, r.lib, nullptr, -1.0, 0.0); }),
              "adapt_freq_table: count scale -1 must be positive");
    free_PriorLib(&r.lib);
}

TEST_F(Prior, CodonTableEstimatedThroughItsAminoAcids) {
    init_alphabet_by_name("protein", 0, "");
    PriorLib *lib = genproteinprior();
    float codon[NUM_CODONS], reg[NUM_CODONS];
    for (int c = 0; c < NUM_CODONS; c++) {
        codon[c] = (float)(c % 5);
        reg[c] = 1.0f;
    }
    float protein[NUM_AMINO_ACIDS];
    setprotfromcod(protein, codon);
    adapt_freq_table(protein, lib, nullptr, 1.0, 0.0);
    adapt_freq_table(codon, lib, reg, 1.0, 0.5);
    float back[NUM_AMINO_ACIDS];
    setprotfromcod(back, codon);
    for (int a = 0; a < NUM_AMINO_ACIDS; a++) EXPECT_NEAR(back[a], protein[a], 1e-4) << a;
    free_PriorLib(&lib);
}

TEST_F(Prior, AdaptFrequenciesChecksTheLetterCount) {
    init_alphabet_by_name("DNA", 0, "");
    ReadResult r = read_lib(test_data("prior_small.lib"), 4);
    Model *m = alloc_model(2);
    for (int i = 0; i <= 3; i++)
        for (int a = 0; a < 4; a++) m->nodes[i]->match[a] = (float)a;
    adapt_frequencies(m, r.lib, nullptr, 1.0, 0.0);
    float expect[4] = {0, 1, 2, 3};
    adapt_freq_table(expect, r.lib, nullptr, 1.0, 0.0);
    for (int a = 0; a < 4; a++) {
        EXPECT_EQ(m->nodes[0]->match[a], (float)a);  // Begin untouched
        EXPECT_EQ(m->nodes[1]->match[a], expect[a]);
        EXPECT_EQ(m->nodes[2]->match[a], expect[a]);
    }
    adapt_frequencies(nullptr, r.lib, nullptr, 1.0, 0.0);
    adapt_frequencies(m, nullptr, nullptr, 1.0, 0.0);
    PriorLib *wrong = genproteinprior();
    EXPECT_EQ(fatal_of([&] { adapt_frequencies(m, wrong, nullptr, 1.0, 0.0); }),
              "adapt_frequencies: prior library has 20 letters, node 1 has 4");
    Model *models[2] = {m, nullptr};
    testing::internal::CaptureStderr();
    adapt_family_frequencies(models, r.lib, 2, nullptr, 1.0, 0.0);
    adapt_family_frequencies(models, r.lib, 2, nullptr, 1.0, 0.0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "adapt_family_frequencies is not implemented for families.\n"
                   "Calling adapt_frequencies on each family individually.\n");
    free_PriorLib(&wrong);
    free_PriorLib(&r.lib);
    free_model(m);
}

// ---------------------------------------------------------------------------------------------
// Transition priors
// ---------------------------------------------------------------------------------------------

TEST_F(Prior, EnvironmentCodes) {
    EnvCodeTable *t = nullptr;
    makeEnvCodes(&t, 3, 4);
    EXPECT_EQ(t->codes[0][0], 0);
    EXPECT_EQ(t->codes[2][3], 11);
    struct Case {
        const char *text;
        int code;
    };
    const Case cases[] = {{"EEE, 2", 9},   {" HHH ,0", 0}, {"*HH, 1", 7}, {"x justDMI", 0},
                          {"EEE, 3", -1},  {"HH*, 0", -1}, {"EEE", -1},   {"EEE, two", -1},
                          {"TTT,2\r", 10}, {"EEE, -1", -1}};
    for (const Case &c : cases) {
        std::string text = c.text;
        EXPECT_EQ(getEnvCode(&text[0], t), c.code) << c.text;
    }
    std::string text = "EEE, 2";
    testing::internal::CaptureStderr();
    EXPECT_EQ(getEnvCode(&text[0], nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Don't know this environment code.\n\n");
    free_EnvCodes(t);
}

TEST_F(Prior, ReadsTransitionPriorLibrary) {
    int nenv = 0;
    testing::internal::CaptureStderr();
    EnvPlib **lib = read_TransPriorsLib(test_data("transprior_basic.tpl").c_str(), &nenv, nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "The number of environment transition priors read (2)\n does not match the "
                   "number specified(12) in " +
                       test_data("transprior_basic.tpl") + ".\n\n");
    ASSERT_EQ(nenv, 12);
    EnvPlib *e9 = lib[9];
    ASSERT_EQ(e9->nstates, 3);
    TransPriors *d = e9->trans[TRANS_STATE_DELETE];
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->L, 2);
    EXPECT_EQ(d->K, 3);
    EXPECT_EQ(d->Mix[0], 0.6);
    EXPECT_EQ(d->Mix[1], 0.4);
    EXPECT_EQ(d->Distr[0][2], 1.5);
    EXPECT_EQ(d->Distr[1][0], 2.0);
    EXPECT_EQ(d->comments[0], nullptr);
    EXPECT_STREQ(d->comments[1], "second component");
    float pc[3];
    env_pseudocounts(e9, TRANS_STATE_MATCH, pc);
    EXPECT_EQ(pc[0], 1.5f);
    EXPECT_EQ(pc[1], 9.5f);
    EXPECT_EQ(pc[2], 1.5f);
    env_pseudocounts(lib[0], TRANS_STATE_INSERT, pc);
    EXPECT_EQ(pc[0], 0.0f);  // environment 0 has no delete-state block
    EXPECT_EQ(pc[1], 1.0f);
    EXPECT_EQ(pc[2], 0.0f);
    EXPECT_EQ(lib[1]->trans[0], nullptr);
    EXPECT_EQ(fatal_of([&] { env_pseudocounts(e9, 3, pc); }),
              "env_pseudocounts: target 3 not in the library's 3 transitions");
    free_TransPriorsLib(lib, nenv);
}

TEST_F(Prior, TransitionPriorCountsMatch) {
    std::string path = scratch_dir() + "/t.tpl";
    write_text(path, "NumEnvs= 1\nAlphaChar= 3\nOrder= D M I\nEnv= justDMI\nState= I\nL= 1\n"
                     "Number= 0\nMixture= 1\nAlpha= 3 1 1 1\nComment= c\n-----\n");
    int nenv = 0;
    testing::internal::CaptureStderr();
    EnvPlib **lib = read_TransPriorsLib(path.c_str(), &nenv, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Transition priors for 1 environment(s) read from " + path + ".\n");
    EXPECT_NE(lib[0]->trans[2], nullptr);
    free_TransPriorsLib(lib, nenv);
}

TEST_F(Prior, HostileTransitionPriorFiles) {
    const std::string head = "NumEnvs= 2\nAlphaChar= 3\nOrder= D M I\n";
    const std::string state = "State= M\nL= 1\nNumber= 0\nMixture= 1\nAlpha= 3 1 1 1\nC= x\n";
    struct Case {
        std::string text;
        const char *message;
    };
    const Case cases[] = {
        {"AlphaChar= 3\nOrder= D M I\nEnv= justDMI\n", "no NumEnvs line"},
        {"NumEnvs= 0\n", "(1): NumEnvs out of range"},
        {"NumEnvs= 99999999\n", "(1): NumEnvs out of range"},
        {"NumEnvs= 4294967297\n", "(1): NumEnvs out of range"},  // not wrapped to 1
        {"NumEnvs= 1\nAlphaChar= -3\n", "(2): AlphaChar out of range"},
        {"% NumEnvs and AlphaChar below\nNumEnvs= 1\nOrder= D M I\n", "no AlphaChar line"},
        {"NumEnvs= 1\nOrder= D M I\n", "no AlphaChar line"},
        {"NumEnvs= 1\nAlphaChar= 3\nOrder= D M\n",
         "(3): Order line names 2 of 3 states in transition prior library"},
        {head + "Env= HHH, 0\n" + state, "(4): environment code without an EnvCoding table"},
        {head + "EnvCoding\nNumAccBin 1\nNumEnvClasses 2\nEndEnvCoding\nEnv= TTT, 0\n" + state,
         "(8): unknown environment code"},
        {head + "EnvCoding\nNumAccBin 2\nNumEnvClasses 2\nEndEnvCoding\nEnv= EEE, 1\n" + state,
         "(8): environment index not below NumEnvs"},
        {head + "EnvCoding\nNumAccBin 0\n", "(5): count out of range"},
        {head + "EnvCoding\nNumAccBin 2\n", "unexpected end of file"},
        {head + "Env= justDMI\nState= X\n", "(5): state not in the library's Order"},
        {head + "Env= justDMI\nState= M\nL= 0\n", "(6): component count out of range"},
        {head + "Env= justDMI\nState= M\nL= 4294967297\n", "(6): component count out of range"},
        {head + "Env= justDMI\nState= M\nL= 1\nNumber= 1\n",
         "(7): component number outside 0..L-1"},
        {head + "Env= justDMI\nState= M\nL= 1\nNumber= 0\nMixture= 1\nAlpha= 3 1 1\n",
         "(9): parameter line without K+1 numbers"},
        {head + "Env= justDMI\nState= M\nL= 1\nNumber= 0\nMixture= x\n",
         "(8): expected \"Mixture= <coefficient>\""},
        {head + "Env= justDMI\nState= M\nL= 1\nNumber= 0\nMixture= 1\n",
         "(9): unexpected end of file"},
    };
    std::string path = scratch_dir() + "/h.tpl";
    const int descriptors = open_descriptors();
    for (const Case &c : cases) {
        write_text(path, c.text);
        int nenv = 0;
        testing::internal::CaptureStderr();
        std::string msg = fatal_of([&] { read_TransPriorsLib(path.c_str(), &nenv, nullptr); });
        testing::internal::GetCapturedStderr();
        std::string want = c.message;
        ASSERT_GE(msg.size(), want.size()) << c.text << " -> " << msg;
        EXPECT_NE(msg.find(want), std::string::npos) << c.text << " -> " << msg;
    }
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_NE(fatal_of([&] {
                  int n;
                  read_TransPriorsLib("/nonexistent/x.tpl", &n, nullptr);
              }),
              "");
}

}  // namespace
