// trellan: draws the false-negative and false-positive curves of a family score file
// (-distfile) and a database score file (-distfile2): <run>1.data, <run>2.data and the gnuplot
// command file <run>.plt, and through gnuplot <run>.ps.
// Built with -ffp-contract=off (CMakeLists.txt): the ranges are the same on every processor.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "scorefiles/plot.h"

static void usage() {
    score_pair_usage();
    plot_usage();
}

// A count as written in the plot titles: "12", "2k", "1M".
static std::string compact_size(long count) {
    char text[32];
    if (count > 1000000)
        std::snprintf(text, sizeof text, "%dM", static_cast<int>(count / 1000000));
    else if (count > 1000)
        std::snprintf(text, sizeof text, "%dk", static_cast<int>(count / 1000));
    else
        std::snprintf(text, sizeof text, "%d", static_cast<int>(count));
    return text;
}

// The two sorted tables as the curves see them: B is the one with the better best value; its
// curve counts down from its worst end.
struct Curves {
    const std::vector<float> *a;
    const std::vector<float> *b;
    int family_file;  // the data file (1 or 2) that holds the family's curve
};

static Curves order_curves(const std::vector<float> &family, const std::vector<float> &database) {
    const bool family_is_b = database[0] > family[0];
    if (family_is_b) return {&database, &family, 1};
    return {&family, &database, 2};
}

// The finite values of a sorted table, from index first up to end (a -inf sorts first; a +inf
// and the NaNs last).
struct FiniteSpan {
    long first, end;
    long size() const { return end - first; }
};
static FiniteSpan finite_span(const std::vector<float> &v) {
    FiniteSpan s{0, static_cast<long>(v.size())};
    while (s.first < s.end && !std::isfinite(v[s.first])) s.first++;
    while (s.end > s.first && !std::isfinite(v[s.end - 1])) s.end--;
    return s;
}

// A range limit held within the single-precision range.
static double within_float(double v) {
    return std::max(-static_cast<double>(FLT_MAX), std::min(static_cast<double>(FLT_MAX), v));
}

// Unless given, the x range: from the better of the two best values to the worse of the
// family's worst and the database's second-to-last (its only entry when it has one), widened by
// a tenth. Only finite values count: a table without any leaves the range to the other, and with
// none in either the range is left to gnuplot.
static void default_x_range(const std::vector<float> &t1, const std::vector<float> &t2) {
    const FiniteSpan s1 = finite_span(t1), s2 = finite_span(t2);
    if (plotleft != plotright || (s1.size() == 0 && s2.size() == 0)) return;
    float db_best = 0, db_end = 0;
    if (s2.size() > 0) {
        db_best = t2[s2.first];
        db_end = s2.size() >= 2 ? t2[s2.end - 2] : t2[s2.first];
    }
    float a, c;
    if (s1.size() == 0) {
        a = db_best;
        c = db_end;
    } else if (s2.size() == 0) {
        a = t1[s1.first];
        c = t1[s1.end - 1];
    } else {
        a = db_best > t1[s1.first] ? db_best : t1[s1.first];
        c = t1[s1.end - 1] < db_end ? t1[s1.end - 1] : db_end;
    }
    double f = 0.1 * (static_cast<double>(c) - a);
    plotleft = within_float(a - f);
    plotright = within_float(c + f);
}

// Unless given, the y range: walk A and B together until the entries of A passed meet the
// entries of B left; past the end of A, A counts as worse than any value.
static void default_y_range(const Curves &curves) {
    if (plotmin != plotmax) return;
    const std::vector<float> &a = *curves.a, &b = *curves.b;
    const long na = static_cast<long>(a.size()), nb = static_cast<long>(b.size());
    plotmin = 0;
    long i = 0, j = 0;
    if (nb > 0) {
        do {
            if (i < na && a[i] < b[j])
                i++;
            else
                j++;
        } while (!(i >= nb - j));
    }
    plotmax = 1.5 * static_cast<double>(i);
}

// <run>1.data: B's curve, up to the y limit; <run>2.data: A's curve.
static void write_curves(const char *run, const Curves &curves, double limit) {
    const std::vector<float> &a = *curves.a, &b = *curves.b;
    const long na = static_cast<long>(a.size()), nb = static_cast<long>(b.size());
    FILE *out1 = open_outputfile(run, "1.data");
    long k;
    if (!(limit >= 1))
        k = 0;
    else if (limit >= static_cast<double>(nb))
        k = nb;
    else
        k = static_cast<long>(limit);
    for (long m = k; m >= 1; m--) std::fprintf(out1, "%f %d\n", b[nb - m], static_cast<int>(m));
    // Closing line: the last value written, which is always B's worst value.
    std::fprintf(out1, "%f %d\n", b[nb - 1], 0);
    hold_outputfile(out1);

    FILE *out2 = open_outputfile(run, "2.data");
    std::fprintf(out2, "%f %d\n", a[0], 0);
    for (long j = 0; j < na && static_cast<double>(j) < limit; j++)
        std::fprintf(out2, "%f %d\n", a[j], static_cast<int>(j + 1));
    hold_outputfile(out2);
}

// <run>.plt. The title is the text as it stands (open_pltfile adds a blank and the run name);
// the plotted column's label goes on the x axis.
// The commands as written are kept in *commands, for gnuplot.
static void write_command_file(const char *run, const std::string &banner, const char *label,
                               int family_file, long n1, long n2, std::string *commands) {
    FILE *plt = open_pltfile(run, banner.c_str(), plotps, "False positives and negatives for ",
                             label, "Number of False Classifications", commands);
    set_pltrange(plt, static_cast<float>(plotmin), static_cast<float>(plotmax),
                 static_cast<float>(plotleft), static_cast<float>(plotright),
                 static_cast<float>(plotline));
    std::fprintf(plt, "plot \"%s%d.data\" title \"False Neg (of %s)\" with lines lt 1,\\\n", run,
                 family_file, compact_size(n1).c_str());
    std::fprintf(plt, "     \"%s%d.data\" title \"False Pos (of %s)\" with lines lt 2\n", run,
                 3 - family_file, compact_size(n2).c_str());
    hold_outputfile(plt);
}

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, 0, REQUIRE_RUN_NAME, banner.c_str(), usage);
    const char *run = run_name.c_str();
    if (!NLLfile || !*NLLfile || !NLLfile2 || !*NLLfile2)
        error("trellan needs two score files: give both -distfile and -distfile2.");
    // Refused before any file is written: the run name goes into the command file's strings.
    check_plot_run_name(run);
    check_plot_parameters();

    const char *label;
    std::vector<float> family, database;
    read_score_pair(NLLfile, NLLfile2, plotcolumn, plotnegate, &family, &database, &label);
    const Curves curves = order_curves(family, database);
    default_x_range(family, database);
    default_y_range(curves);
    write_curves(run, curves, plotmax + 10);
    std::string commands;
    write_command_file(run, banner, label, curves.family_file, static_cast<long>(family.size()),
                       static_cast<long>(database.size()), &commands);
    // The data files and the command file replace old ones together, before gnuplot reads them.
    commit_outputfiles();

    if (!makeps_and_cleanup(plotps, run, commands, "1.data", "2.data", nullptr))
        error("gnuplot did not make %s.ps; %s.plt and the data files are kept.",
              shown_text(run).c_str(), shown_text(run).c_str());
    free_init();
    return 0;
}
