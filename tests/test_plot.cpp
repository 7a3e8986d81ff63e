// Plot files: the plotted column, the compact column reader, bar writers, the command file and
// the gnuplot run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "scorefiles/plot.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

// Runs in the scratch directory, where the plot files are written.
struct PlotTest : ScratchTest {
    std::string old_dir;
    void SetUp() override {
        ScratchTest::SetUp();
        old_dir = current_directory("/tmp");
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override {
        (void)!chdir(old_dir.c_str());
        ScratchTest::TearDown();
    }
};

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

SequenceTable *table_of(const std::string &text) {
    write_text("t.dist", text);
    testing::internal::CaptureStderr();
    SequenceTable *t = read_score_file("t.dist");
    testing::internal::GetCapturedStderr();
    return t;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The plotted column
// ---------------------------------------------------------------------------------------------

TEST_F(PlotTest, ColumnChoices) {
    SequenceTable *empty = alloc_sequence_table();
    EXPECT_STREQ(set_plotcolumn(empty, 3), "");
    free_sequence_table(empty);

    const char *text = "a 10 -1.5 -2.5 1e-3\nb 20 -0.5 4 0\nc 30 1 2\n";
    struct Case {
        int column;
        const char *label;
        float a, b, c;
    } cases[] = {
        {0, "Sequence length", 10, 20, 30},
        {1, "Log-odds Score (simple null model)", -1.5f, -0.5f, 1},
        {2, "Log-odds Score (reverse null model)", -2.5f, 4, 2},
        {3, "E-value (log 10)", -3, -300, 6},  // E 0 floors at -300; no E-value gives log10 1e6
        {4, "Log-odds Score (simple null model)", -1.5f, -0.5f, 1},
        {-1, "Log-odds Score (simple null model)", -1.5f, -0.5f, 1},
    };
    for (const Case &c : cases) {
        SequenceTable *t = table_of(text);
        EXPECT_STREQ(set_plotcolumn(t, c.column), c.label) << c.column;
        EXPECT_EQ(t->seqs[0]->report1, c.a) << c.column;
        EXPECT_EQ(t->seqs[1]->report1, c.b) << c.column;
        EXPECT_EQ(t->seqs[2]->report1, c.c) << c.column;
        free_sequence_table(t);
    }
    // Without an E-value on the first entry every choice keeps column 1.
    for (int column = 0; column <= 3; column++) {
        SequenceTable *t = table_of("a 10 -1.5 -2.5\nb 20 -0.5 4 1e-5\n");
        EXPECT_STREQ(set_plotcolumn(t, column), "Log-odds Score (simple null model)");
        EXPECT_EQ(t->seqs[0]->report1, -1.5f);
        EXPECT_EQ(t->seqs[1]->report1, -0.5f);
        free_sequence_table(t);
    }
}

// The compact reader gives exactly the values of the table road: read, set the column, negate,
// sort ascending.
TEST_F(PlotTest, CompactReaderMatchesTheTableRoad) {
    std::mt19937 rng(7);
    for (int round = 0; round < 12; round++) {
        std::string text = "% random scores\n";
        bool with_e = round % 3 != 0;
        for (int i = 0; i < 3000; i++) {
            char line[200];
            int e = static_cast<int>(rng() % 40);
            std::snprintf(line, sizeof line, "id%d %d %.2f %.3f", i, static_cast<int>(rng() % 500),
                          (static_cast<int>(rng() % 20001) - 10000) / 100.0,
                          (static_cast<int>(rng() % 2001) - 1000) / 7.0);
            text += line;
            if (with_e && e > 0)
                text += " " + std::to_string(rng() % 1000) + "e-" + std::to_string(e);
            if (rng() % 7 == 0) text += "  3 X";
            if (rng() % 50 == 0) text += " nan";
            text += rng() % 5 == 0 ? "\t: note\n" : "\n";
        }
        int column = round % 4, negate = (round / 4) % 2;
        SequenceTable *t = table_of(text);
        const char *label_t = set_plotcolumn(t, column);
        negate_score_list(negate, t);
        sort_score_list(t);
        const char *label_c;
        testing::internal::CaptureStderr();
        std::vector<float> v = read_plotted_scores("t.dist", column, negate, &label_c);
        testing::internal::GetCapturedStderr();
        sort_plotted_scores(v);
        EXPECT_STREQ(label_t, label_c);
        ASSERT_EQ(static_cast<int>(v.size()), t->count);
        for (int i = 0; i < t->count; i++) {
            float a = t->seqs[i]->report1, b = v[static_cast<size_t>(i)];
            ASSERT_TRUE((std::isnan(a) && std::isnan(b)) ||
                        (a == b && std::signbit(a) == std::signbit(b)))
                << "round " << round << " entry " << i << ": " << a << " " << b;
        }
        free_sequence_table(t);
    }
}

// The same on lines of every shape: comments, blank and whitespace lines, short lines, missing
// columns, X counts with and without E-values, descriptions, CR line ends, NUL bytes, words where
// numbers belong, NaN and infinities, no final line end. The reading note and the axis label are
// the same too.
TEST_F(PlotTest, CompactReaderMatchesTheTableRoadOnMalformedLines) {
    const char *pieces[] = {" ",     "\t", "  ",  "12", "-3.5", "1e-5",  "0",       "nan",
                            "-inf",  "X",  "7 X", "9X", ":",    ": d X", "word",    "1.",
                            ".5e+2", "\r", "%",   ";",  "-0",   "1e400", "1000000", "+4"};
    const char *starts[] = {"id", "", " ", "%c", ";c", "\t", "x:y", "idX"};
    std::mt19937 rng(11);
    for (int round = 0; round < 400; round++) {
        std::string text;
        int lines = static_cast<int>(rng() % 12);
        for (int l = 0; l < lines; l++) {
            text += starts[rng() % 8];
            int n = static_cast<int>(rng() % 9);
            for (int k = 0; k < n; k++) {
                text += rng() % 3 ? " " : "";
                text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
            }
            if (rng() % 25 == 0) text += std::string(1, '\0') + "3 4";
            if (l + 1 < lines || rng() % 2) text += rng() % 6 ? "\n" : "\r\n";
        }
        int column = static_cast<int>(rng() % 6) - 1, negate = static_cast<int>(rng() % 2);
        write_text("m.dist", text);
        testing::internal::CaptureStderr();
        SequenceTable *t = read_score_file("m.dist");
        const char *label_t = set_plotcolumn(t, column);
        negate_score_list(negate, t);
        sort_score_list(t);
        std::string note_t = testing::internal::GetCapturedStderr();
        const char *label_c;
        testing::internal::CaptureStderr();
        std::vector<float> v = read_plotted_scores("m.dist", column, negate, &label_c);
        sort_plotted_scores(v);
        std::string note_c = testing::internal::GetCapturedStderr();
        EXPECT_EQ(note_t.rfind("Reading scores from file m.dist\n", 0), 0u);
        EXPECT_EQ(note_c, note_t);
        EXPECT_STREQ(label_c, label_t) << "round " << round;
        ASSERT_EQ(static_cast<int>(v.size()), t->count) << "round " << round;
        for (int i = 0; i < t->count; i++) {
            float a = t->seqs[i]->report1, b = v[static_cast<size_t>(i)];
            ASSERT_TRUE(std::signbit(a) == std::signbit(b) &&
                        ((std::isnan(a) && std::isnan(b)) || a == b))
                << "round " << round << " entry " << i << ": " << a << " " << b;
        }
        free_sequence_table(t);
    }
}

// ---------------------------------------------------------------------------------------------
// Bars and ranges
// ---------------------------------------------------------------------------------------------

TEST_F(PlotTest, Bars) {
    EXPECT_EQ(output_of([](FILE *fp) { draw_bar(fp, 1, 3, 0.5f, 2.25f); }),
              " 0.50 1\n 0.50 3\n 2.25 3\n 2.25 1\n");
    EXPECT_EQ(output_of([](FILE *fp) { draw_vbar(fp, -2, 0, 10.0f, -1.0f); }),
              "10.00 -2\n10.00 0\n-1.00 0\n-1.00 -2\n");
    EXPECT_EQ(output_of([](FILE *fp) { shade_bar(fp, 1, 3, 0.0f, 3.0f); }),
              " 1.00  1.50\n 2.00  1.50\n 1.00  2.50\n 2.00  2.50\n");
    EXPECT_EQ(output_of([](FILE *fp) { shade_bar(fp, 3, 3, 0.0f, 3.0f); }), "");
    // Far above 2^24 the shading still ends: three rows between 2^25 and 2^25 + 3.
    std::string big = output_of([](FILE *fp) { shade_bar(fp, 33554432, 33554435, 0.0f, 3.0f); });
    EXPECT_EQ(std::count(big.begin(), big.end(), '\n'), 6);
}

TEST_F(PlotTest, RangeLines) {
    EXPECT_EQ(output_of([](FILE *fp) { set_pltrange(fp, 0, 15, -2.5f, 4, 1.5f); }),
              "set yrange [0.000000:15.000000]\nset xrange [-2.500000:4.000000]\n"
              "set arrow from 1.500000,0.000000 to 1.500000,15.000000 nohead\n");
    EXPECT_EQ(output_of([](FILE *fp) { set_pltrange(fp, 2, 2, -2.5f, 4, 1.5f); }),
              "set xrange [-2.500000:4.000000]\n");
    EXPECT_EQ(output_of([](FILE *fp) { set_pltrange(fp, 0, 1, 3, 3, 0); }),
              "set yrange [0.000000:1.000000]\n");
}

// ---------------------------------------------------------------------------------------------
// The command file
// ---------------------------------------------------------------------------------------------

TEST_F(PlotTest, CommandFileHeader) {
    std::string block = output_of([](FILE *fp) { print_banner_block(fp, "QOR: test", '#'); });
    for (int ps : {0, 1, 2, 3}) {
        std::string commands;
        FILE *fp =
            open_pltfile("runA", "QOR: test", ps, ps == 1 ? nullptr : "My title",
                         ps == 2 ? "x axis" : nullptr, ps == 3 ? nullptr : "y axis", &commands);
        close_outputfile(fp);
        std::string expect =
            block + "# Uncomment the next two lines to generate a postscript file.\n";
        expect += ps ? "set terminal postscript eps\nset output \"runA.ps\"\n"
                     : "#set terminal postscript eps\n#set output \"runA.ps\"\n";
        if (ps == 2) expect += "set size 0.7, 1.0\n";
        if (ps != 1) expect += "set title \"My title runA\"\n";
        if (ps == 2) expect += "set xlabel \"x axis\"\n";
        if (ps != 3) expect += "set ylabel \"y axis\"\n";
        expect += "set nozeroaxis\n";
        EXPECT_EQ(read_text("runA.plt"), expect) << "plotps " << ps;
    }
}

TEST_F(PlotTest, UnsafeRunNamesAreRefused) {
    for (const char *name : {"a\"b", "a`rm x`", "a\\b", "a\nset output \"x\"", "tab\there",
                             "<id>x;true", "|touch x", "$data", "~/x"}) {
        EXPECT_FALSE(plot_run_name_ok(name)) << name;
        try {
            std::string commands;
            close_outputfile(open_pltfile(name, "QOR: test", 1, "t", nullptr, nullptr, &commands));
            FAIL() << "accepted " << name;
        } catch (const FatalError &e) {
            EXPECT_NE(e.message.find("cannot be used in a gnuplot command file"),
                      std::string::npos);
        }
    }
    EXPECT_TRUE(plot_run_name_ok("runs/with space and 'quote' $x"));
    // Starts that gnuplot reads as plain file names.
    for (const char *name : {"-x", "+", "++", "@x", "!x", "~", "~x", "a<b|c$d~/e"})
        EXPECT_TRUE(plot_run_name_ok(name)) << name;
}

// ---------------------------------------------------------------------------------------------
// The gnuplot run
// ---------------------------------------------------------------------------------------------

namespace {
// Returns the commands as written.
std::string write_plot(const char *run, int plotps, const char *plotline) {
    std::string commands;
    FILE *fp = open_pltfile(run, "QOR: test", plotps, "Curves", nullptr, "Count", &commands);
    std::fprintf(fp, "%s", plotline);
    close_outputfile(fp);
    write_text(std::string(run) + "1.data", "1 0\n2 3\n");
    write_text(std::string(run) + "2.data", "1 2\n2 0\n");
    return commands;
}
const char *good_plot = "plot \"r1.data\" with lines lt 1, \"r2.data\" with lines lt 2\n";
}  // namespace

TEST_F(PlotTest, PlotpsZeroRunsNothing) {
    std::string commands = write_plot("r", 0, good_plot);
    testing::internal::CaptureStderr();
    makeps_and_cleanup(0, "r", commands, "1.data", "2.data", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(exists("r.plt"));
    EXPECT_TRUE(exists("r1.data"));
    EXPECT_FALSE(exists("r.ps"));
}

TEST_F(PlotTest, MissingGnuplotKeepsTheFiles) {
    std::string commands = write_plot("r", 1, good_plot);
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir.c_str(), 1);  // no gnuplot here
    testing::internal::CaptureStderr();
    makeps_and_cleanup(1, "r", commands, "1.data", "2.data", nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(err, "Error in gnuplot:  temporary files not deleted.\n");
    EXPECT_TRUE(exists("r.plt"));
    EXPECT_TRUE(exists("r1.data"));
    EXPECT_TRUE(exists("r2.data"));
}

TEST_F(PlotTest, GnuplotRunAndCleanup) {
    REQUIRE_PROGRAM("gnuplot");
    // plotps 1: PostScript made, data files and command file removed.
    std::string commands = write_plot("r", 1, good_plot);
    write_text("rkeep.data", "x");
    makeps_and_cleanup(1, "r", commands, "1.data", "2.data", nullptr);
    EXPECT_TRUE(exists("r.ps"));
    EXPECT_FALSE(exists("r.plt"));
    EXPECT_FALSE(exists("r1.data"));
    EXPECT_FALSE(exists("r2.data"));
    EXPECT_TRUE(exists("rkeep.data"));
    EXPECT_EQ(read_text("r.ps").rfind("%!PS-Adobe", 0), 0u);
    // plotps 3: PostScript made, everything kept.
    std::remove("r.ps");
    commands = write_plot("r", 3, good_plot);
    makeps_and_cleanup(3, "r", commands, "1.data", "2.data", nullptr);
    EXPECT_TRUE(exists("r.ps"));
    EXPECT_TRUE(exists("r.plt"));
    EXPECT_TRUE(exists("r1.data"));
    // A run name beginning with '-' is not taken for an option.
    commands = write_plot("-r", 2, "plot \"-r1.data\" with lines\n");
    makeps_and_cleanup(2, "-r", commands, "1.data", nullptr, "2.data");
    EXPECT_TRUE(exists("-r.ps"));
    EXPECT_FALSE(exists("-r.plt"));
    EXPECT_FALSE(exists("-r2.data"));
}

TEST_F(PlotTest, GnuplotFailureKeepsTheFiles) {
    REQUIRE_PROGRAM("gnuplot");
    std::string commands = write_plot("bad", 1, "plot \"bad1.data\" with nonsense\n");
    testing::internal::CaptureStderr();
    makeps_and_cleanup(1, "bad", commands, "1.data", "2.data", nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error in gnuplot:  temporary files not deleted.\n"), std::string::npos)
        << err;
    EXPECT_TRUE(exists("bad.plt"));
    EXPECT_TRUE(exists("bad1.data"));
    EXPECT_TRUE(exists("bad2.data"));
}

TEST_F(PlotTest, UsageText) {
    testing::internal::CaptureStderr();
    plot_usage();
    std::string u = testing::internal::GetCapturedStderr();
    EXPECT_EQ(u.rfind("Creates <runname>.plt, a gnuplot plot file, and \n", 0), 0u);
    EXPECT_NE(u.find("[-plotps <0/1/2>]            Create \"<runname>.ps\" (1)\n"),
              std::string::npos);
    EXPECT_EQ(std::count(u.begin(), u.end(), '\n'), 16);
}
