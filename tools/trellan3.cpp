// trellan3: compares the scores of a family (-distfile) with those of a database (-distfile2) and
// reports in <run>.dat where, as a score threshold sweeps, the number of false negatives equals
// the number of false positives.
// Built with -ffp-contract=off (CMakeLists.txt): the sweep is the same on every processor.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "scorefiles/plot.h"

static void usage() {
    score_pair_usage();
    std::fputs("\n", stderr);
    std::fputs("trellan3 outputs a file runname.dat with this info:\n", stderr);
    std::fputs("1.  interpolated number of false negatives and false positives and\n", stderr);
    std::fputs("    sequence log-odds score at the two points which bracket the\n", stderr);
    std::fputs("    exact point where FN=FP\n2.  the integer value of the number of sequences ",
               stderr);
    std::fputs("where FN=FP\n3.  the number of FP where FN=0; the number of FN where FP=0\n",
               stderr);
}

// The integer part of a count, held inside the int range (a NaN gives 0).
static int int_part(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0f) return INT_MAX;
    if (v <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(v);
}

// One column of the sweep table: a value of -1 on rows 1 to R - 1 is a gap, filled by linear
// interpolation in the score between the row before and the next row that is not a gap. A row
// whose score lies outside its two neighbours' would be extrapolated: the count is held within
// 0..limit, the size of the table it counts (a NaN from NaN scores stays).
static void fill_gaps(std::vector<float> &col, const std::vector<float> &score, long rows,
                      long limit) {
    // next[k]: the nearest later row whose value is not a gap (row `rows` never is).
    std::vector<long> next(static_cast<size_t>(rows) + 1, rows);
    for (long k = rows - 1; k >= 1; k--) next[k] = col[k + 1] != -1 ? k + 1 : next[k + 1];
    for (long k = 1; k < rows; k++) {
        if (col[k] != -1) continue;
        long l = k - 1, m = next[k];
        double sl = score[l], sm = score[m], sk = score[k];
        double fl = col[l], fm = col[m];
        double v = sl == sm ? (fl + fm) / 2 : fl - (fl - fm) * (sl - sk) / (sl - sm);
        if (v < 0)
            v = 0;
        else if (v > limit)
            v = static_cast<double>(limit);
        col[k] = static_cast<float>(v);
    }
}

// The sweep table: rows 0..rows of false negatives, false positives and the score at which
// they hold, as a score threshold sweeps from the family's worst value down.
struct Sweep {
    long rows;
    std::vector<float> fn, fp, score;
};

// t1: the family's sorted values; t2: the database's.
static Sweep sweep_table(const std::vector<float> &t1, const std::vector<float> &t2) {
    const long n1 = static_cast<long>(t1.size()), n2 = static_cast<long>(t2.size());
    // Bracketing walk: i family entries from the worst end, c database entries from the best
    // end. Past the database's last entry the database counts as worse than any value.
    long i = 1, c = 0;
    if (n1 > 1 && t1[n1 - 1] >= t2[0]) {
        do {
            if (c < n2 && t1[n1 - i] > t2[c])
                c++;
            else
                i++;
        } while (i < n1 && t1[n1 - i] >= t2[0]);
    }
    const long kept = std::min(c, std::max(2 * i - 2, 100L));
    Sweep s;
    s.rows = kept + i;
    const long rows = s.rows;
    std::vector<float> &fn = s.fn, &fp = s.fp, &score = s.score;
    fn.resize(static_cast<size_t>(rows) + 1);
    fp.resize(fn.size());
    score.resize(fn.size());
    fn[0] = 0;
    if (kept == n2) {
        fp[0] = static_cast<float>(n2);
        score[0] = t1[n1 - 1];
    } else {
        fp[0] = static_cast<float>(kept + 1);
        score[0] = t2[kept];
    }
    fn[rows] = static_cast<float>(i);
    fp[rows] = 0;
    score[rows] = t1[n1 - i];

    // The rows between merge both tables from the worst value down; ties go to the family.
    long j = 0, cc = kept;
    for (long r = 1; r < rows; r++) {
        if (cc < 1 || (j < n1 && t1[n1 - j - 1] >= t2[cc - 1])) {
            j++;
            fn[r] = static_cast<float>(j);
            fp[r] = -1;
            score[r] = t1[n1 - j];
        } else {
            fn[r] = -1;
            fp[r] = static_cast<float>(cc);
            score[r] = t2[cc - 1];
            cc--;
        }
    }
    fill_gaps(fp, score, rows, n2);
    fill_gaps(fn, score, rows, n1);
    return s;
}

// The crossing (the first row where the order of FN and FP turns over) and the two ends.
static void report_crossing(FILE *out, const Sweep &s) {
    const std::vector<float> &fn = s.fn, &fp = s.fp, &score = s.score;
    bool fn_first = fn[0] > fp[0];
    for (long k = 1; k <= s.rows; k++) {
        if (fn_first ? !(fn[k] < fp[k]) : !(fn[k] > fp[k])) continue;
        std::fprintf(
            out, "flips between x:%5.2f, y:%5.2f score:%5.2f and x:%5.2f, y:%5.2f score:%5.2f\n",
            fn[k - 1], fp[k - 1], score[k - 1], fn[k], fp[k], score[k]);
        long long before = std::llabs(static_cast<long long>(int_part(fn[k - 1] - fp[k - 1])));
        long long at = std::llabs(static_cast<long long>(int_part(fn[k] - fp[k])));
        std::fprintf(out, "%4d sequences at FP=FN\n",
                     before < at ? int_part(fn[k - 1]) : int_part(fn[k]));
        break;
    }
    std::fprintf(out, "%4d FN at FP=0\n", int_part(fn[s.rows]));
    std::fprintf(out, "%4d FP at FN=0\n", int_part(fp[1]));
}

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, 0, REQUIRE_RUN_NAME, banner.c_str(), usage);
    if (!NLLfile || !*NLLfile || !NLLfile2 || !*NLLfile2)
        error("trellan3 needs two score files: give both -distfile and -distfile2.");

    const char *label;
    std::vector<float> family, database;
    read_score_pair(NLLfile, NLLfile2, plotcolumn, plotnegate, &family, &database, &label);
    FILE *out = open_outputfile(run_name.c_str(), ".dat");
    report_crossing(out, sweep_table(family, database));
    close_outputfile(out);
    free_init();
    return 0;
}
