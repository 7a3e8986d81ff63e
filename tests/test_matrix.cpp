// Cost matrices: real BLOSUM62 and PAM250 files read, printed and read again; the library search;
// every refusal of a malformed matrix.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "sequences/matrix.h"
#include "testutil.h"

namespace {

class Matrix : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        reset_alphabets();
        init_alphabet_by_name("protein", 0, "");
        dir = scratch_dir();
        unsetenv("BLASTMAT");
    }
    void TearDown() override {
        unsetenv("BLASTMAT");
        reset_alphabets();
    }
    std::string file(const std::string &name, const std::string &text) {
        std::string p = dir + "/" + name;
        write_text(p, text);
        return p;
    }
    int rows() const { return alphabet->length_wild + 1; }
    void release(int **m) { double_free(reinterpret_cast<void **>(m), rows()); }
    int at(int **m, char a, char b) {
        int i = a == '*' ? rows() - 1 : letter_index(alphabet, a);
        int j = b == '*' ? rows() - 1 : letter_index(alphabet, b);
        return m[i][j];
    }
    std::vector<int> flat(int **m) {
        std::vector<int> v;
        for (int i = 0; i < rows(); i++) v.insert(v.end(), m[i], m[i] + rows());
        return v;
    }
};

// The lines of a file that are not '#' comments, trailing blanks removed.
std::string table_lines(const std::string &text) {
    std::string out, line;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        line = text.substr(at, nl - at);
        at = nl + 1;
        if (!line.empty() && line[0] == '#') continue;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

TEST_F(Matrix, RealFilesReadPrintedAndReadAgain) {
    struct Case {
        const char *file;
        std::vector<std::pair<std::string, int>> entries;  // "ab" and the score of a against b
        int max, min;
    };
    std::vector<Case> cases = {
        {"matrix_EBLOSUM62", {{"AA", 4}, {"WW", 11}, {"**", 1}, {"A*", -4}, {"XA", 0}}, 11, -4},
        {"matrix_EPAM250", {{"CC", 12}, {"WW", 17}, {"WC", -8}, {"AR", -2}}, 17, -8},
    };
    for (const Case &c : cases) {
        std::string path = test_data(c.file);
        int max = 0, min = 0;
        std::string report = output_of([&](FILE *fp) {
            int **m = read_matrix(path.c_str(), &max, &min, fp);
            for (const auto &e : c.entries) EXPECT_EQ(at(m, e.first[0], e.first[1]), e.second);
            std::string printed = output_of([&](FILE *out) { print_matrix(out, m); });
            // The printed layout is the file's own, comments and trailing blanks aside.
            EXPECT_EQ(printed, table_lines(read_text(path))) << c.file;
            std::string again = file("again.mat", printed);
            int **m2 = read_matrix(again.c_str(), nullptr, nullptr, nullptr);
            EXPECT_EQ(flat(m2), flat(m)) << c.file;
            release(m2);
            release(m);
        });
        EXPECT_EQ(report, "% Cost matrix:  " + path + "\n");
        EXPECT_EQ(max, c.max) << c.file;
        EXPECT_EQ(min, c.min) << c.file;
    }
    EXPECT_EQ(read_matrix(nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(read_matrix("", nullptr, nullptr, nullptr), nullptr);
}

TEST_F(Matrix, WideValuesStaySeparated) {
    // A DNA matrix (letters AGCTRYN and '*') with three-digit values.
    reset_alphabets();
    init_alphabet_by_name("DNA", 0, "");
    std::string text = "   A  G  C  T  R  Y  N  *\n";
    const char *letters = "AGCTRYN*";
    for (int i = 0; i < 8; i++) {
        text += letters[i];
        for (int j = 0; j < 8; j++) text += " " + std::to_string(i == j ? 100 : -100 + i + j);
        text += "\n";
    }
    int **m = read_matrix(file("wide.mat", text).c_str(), nullptr, nullptr, nullptr);
    EXPECT_EQ(at(m, 'T', 'T'), 100);
    EXPECT_EQ(at(m, 'A', 'G'), -99);
    EXPECT_EQ(at(m, '*', 'N'), -87);
    std::string printed = output_of([&](FILE *out) { print_matrix(out, m); });
    EXPECT_EQ(printed.substr(0, 55), "   A  G  C  T  R  Y  N  *\nA 100 -99 -98 -97 -96 -95 -94");
    int **m2 = read_matrix(file("again.mat", printed).c_str(), nullptr, nullptr, nullptr);
    EXPECT_EQ(flat(m2), flat(m));
    release(m2);
    release(m);
}

TEST_F(Matrix, FoundUnderTheLibraryDirectory) {
    struct Case {
        const char *alphabet, *subdir;
    };
    for (const Case &c : {Case{"DNA", "nt"}, Case{"protein", "aa"}, Case{"EHL", ""}}) {
        reset_alphabets();
        init_alphabet_by_name(c.alphabet, 0, "");
        std::string lib = dir + "/lib_" + c.alphabet;
        std::string sub = lib + "/matrix" + (*c.subdir ? std::string("/") + c.subdir : "");
        ASSERT_EQ(system(("mkdir -p " + sub).c_str()), 0);
        std::string letters(alphabet->letters);
        std::string text = " ";
        for (char l : letters + "*") text += std::string("  ") + l;
        text += "\n";
        for (char l : letters + "*") {
            text += l;
            for (size_t j = 0; j <= letters.size(); j++) text += "  2";
            text += "\n";
        }
        write_text(sub + "/only_here", text);
        setenv("BLASTMAT", lib.c_str(), 1);
        std::string report = output_of([&](FILE *fp) {
            int **m = read_matrix("only_here", nullptr, nullptr, fp);
            EXPECT_EQ(m[0][0], 2) << c.alphabet;
            release(m);
        });
        EXPECT_EQ(report, "% Cost matrix:  " + sub + "/only_here\n") << c.alphabet;
    }
    EXPECT_EQ(fatal_of([&] { read_matrix("nowhere", nullptr, nullptr, nullptr); }),
              "Couldn't open file nowhere: No such file or directory\n");
}

TEST_F(Matrix, MalformedMatricesAreRefused) {
    const std::string blosum = read_text(test_data("matrix_EBLOSUM62"));
    const std::string header =
        "   A  R  N  D  C  Q  E  G  H  I  L  K  M  F  P  S  T  W  Y  V  B  Z  X  *";
    struct Case {
        std::string from, to, message;
    };
    std::vector<Case> cases = {
        {header, "   A  R  N  D  C  Q  E  G  H  I  L  K  M  F  P  S  T  W  Y  V  B  Z  *  X",
         "Error reading matrix %s: line 7: the last column must be '*', not 'X'"},
        {header, "   A  R  N  D  C  Q  E  G  H  I  L  K  M  F  P  S  T  W  Y  *  B  Z  X  *",
         "Error reading matrix %s: line 7: '*' must be the last column only"},
        {header, "   A  R  N  D  C  Q  E  G  H  I  L  K  M  F  P  S  T  X  Y  V  B  Z  X  *",
         "Error reading matrix:  character W is not specified"},
        {header, "   A  R  N  D  C  Q  E  G  H  I  L  K  M  F  P  S  T  W  Y  V  B  Z  *",
         "Error reading matrix:  should have 24 (alen + 1 for *) columns, not 23"},
        {"A  4 -1", "a  4 -1", "Error reading matrix %s: line 8: row of 'A' expected"},
        {"R -1  5", "N -1  5", "Error reading matrix %s: line 9: row of 'R' expected"},
        {"A  4 -1", "A  4 x1", "Error reading matrix %s: line 8: x1 is not a number"},
        {"A  4 -1", "A  4 99999999999",
         "Error reading matrix %s: line 8: 99999999999 is not a number"},
        {" -1 -4 \nN", "\nN", "Error reading matrix %s: line 9: row of 'R' has 22 values, not 24"},
        {"\n* -4", "\n", "Error reading matrix %s: row * missing at the end of the file"},
    };
    for (const Case &c : cases) {
        std::string text = blosum;
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        if (c.from == "\n* -4") text.erase(at + 1);  // the '*' row dropped
        std::string p = file("bad.mat", text);
        std::string want = c.message;
        if (want.find("%s") != std::string::npos) want.replace(want.find("%s"), 2, p);
        EXPECT_EQ(fatal_of([&] { read_matrix(p.c_str(), nullptr, nullptr, nullptr); }), want)
            << c.to;
    }
    // The real NCBI file has a 'J' column beyond the protein alphabet.
    EXPECT_EQ(fatal_of([&] {
                  read_matrix(test_data("matrix_ncbi_BLOSUM62").c_str(), nullptr, nullptr, nullptr);
              }),
              "Error reading matrix:  should have 24 (alen + 1 for *) columns, not 25");
    EXPECT_EQ(
        fatal_of([&] { read_matrix(file("empty.mat", "").c_str(), nullptr, nullptr, nullptr); }),
        "Error reading matrix:  should have 24 (alen + 1 for *) columns, not 0");
}

// A numeric alphabet has no letters for a header to name: refused, not read through a null list.
TEST_F(Matrix, NumericAlphabetIsRefused) {
    reset_alphabets();
    process_alphabet("alphabet_def nums,4", 0, "f(1): ");
    std::string p = file("num.mat", " a b c d *\na 1 2 3 4 5\n");
    EXPECT_EQ(fatal_of([&] { read_matrix(p.c_str(), nullptr, nullptr, nullptr); }),
              "Error reading matrix " + p + ": alphabet nums has no letters to name the columns");
}

}  // namespace
