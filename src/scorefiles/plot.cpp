// Plot files and the gnuplot run.
#include "scorefiles/plot.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/child_process.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/interrupts.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "scorefiles/plot_sort.h"
#include "scorefiles/plot_sort_fast.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"

void plot_usage() {
    std::fputs("Creates <runname>.plt, a gnuplot plot file, and \n", stderr);
    std::fputs("    <runname>.data file(s), the data for the curve(s).\n", stderr);
    std::fputs("To use, start up gnuplot and enter the command 'load \"<runname>.plt\"'.\n",
               stderr);
    std::fputs("Plot options:  Not all are used in all plotting programs.\n", stderr);
    std::fputs(
        "[-plotcolumn <int>]           Column to plot (0 (length), 1 (simple), 2 (complex),\n",
        stderr);
    std::fputs(
        "                                              3 (Evalue, default, or 1 if not present)\n",
        stderr);
    std::fputs("[-plotmax <float>]            Highest Y axis value\n", stderr);
    std::fputs("[-plotmin <float>]            Lowest Y axis value\n", stderr);
    std::fputs("      Y axis calculated internally if plotmax = plotmin\n", stderr);
    std::fputs("[-plotleft <float>]           Lowest X axis value\n", stderr);
    std::fputs("[-plotright <float>]          Highest X axis value\n", stderr);
    std::fputs("      X axis calculated internally if plotleft = plotright\n", stderr);
    std::fputs("[-plotline <float>]           Vertical line at plotline if <> 0\n", stderr);
    std::fputs("[-plotnegate <0/1>]           Negate scores if 1\n", stderr);
    std::fputs("[-plotps <0/1/2>]            Create \"<runname>.ps\" (1)\n", stderr);
    std::fputs("                            If plotps=2, a square plot is generated.\n", stderr);
}

// ---------------------------------------------------------------------------------------------
// The plotted column
// ---------------------------------------------------------------------------------------------

int effective_plotcolumn(int column, double first_evalue) {
    if (first_evalue == SCORE_UNSET || column < 0 || column > 3 || column == 1) return 1;
    return column;
}

const char *plotcolumn_label(int effective_column) {
    switch (effective_column) {
        case 0: return "Sequence length";
        case 2: return "Log-odds Score (reverse null model)";
        case 3: return "E-value (log 10)";
        default: return "Log-odds Score (simple null model)";
    }
}

// log10 of an E-value; an E-value of 0 or less (which has no logarithm) gives -300, the floor of
// the E-values the system computes.
static double log10_evalue(double evalue) {
    if (evalue <= 0) return -300.0;
    return std::log10(evalue);
}

float plotcolumn_value(int effective_column, int length, float report1, float report2,
                       double evalue) {
    switch (effective_column) {
        case 0: return static_cast<float>(length);
        case 2: return report2;
        case 3: return static_cast<float>(log10_evalue(evalue));
        default: return report1;
    }
}

const char *set_plotcolumn(SequenceTable *table, int column) {
    if (!table || table->count == 0 || !table->seqs[0]) return "";
    int col = effective_plotcolumn(column, table->seqs[0]->evalue);
    if (col != 1)
        for (int i = 0; i < table->count; i++)
            if (Sequence *s = table->seqs[i])
                s->report1 = plotcolumn_value(col, s->len, s->report1, s->report2, s->evalue);
    return plotcolumn_label(col);
}

std::vector<float> read_plotted_scores(const char *path, int column, int negate,
                                       const char **label) {
    std::fprintf(stderr, "Reading scores from file %s\n", shown_text(path).c_str());
    FILE *fp = open_read(path, OPEN_FATAL);
    std::vector<float> values;
    InputReader reader;
    reader_init(&reader, fp, path);
    ScoreLine entry;
    int col = -1;
    while (next_score_entry(&reader, &entry, true)) {
        if (col < 0) col = effective_plotcolumn(column, entry.evalue);
        float v = plotcolumn_value(col, entry.length, entry.report1, entry.report2, entry.evalue);
        values.push_back(negate ? -v : v);
    }
    reader_free(&reader);
    close_read(fp);
    *label = col < 0 ? "" : plotcolumn_label(col);
    return values;
}

// Fewer values than this are sorted by comparison; more by radix.
constexpr size_t PLOT_RADIX_MIN = 4096;

void sort_plotted_scores(std::vector<float> &values) {
    // NaNs go to the end in their order; the numbers are sorted stably before them.
    auto numbers_end =
        std::stable_partition(values.begin(), values.end(), [](float v) { return !std::isnan(v); });
    size_t n = static_cast<size_t>(numbers_end - values.begin());
    if (n < PLOT_RADIX_MIN)
        sort_scores_plain(values.data(), n);
    else
        sort_scores_radix(values.data(), n);
}

void score_pair_usage() {
    std::fputs(" -distfile <runname>.dist    Score file to read (required).\n", stderr);
    std::fputs("[-distfile2 <runname>.dist]  Second (database) score file.\n", stderr);
}

void read_score_pair(const char *family_file, const char *database_file, int column, int negate,
                     std::vector<float> *family, std::vector<float> *database, const char **label) {
    *family = read_plotted_scores(family_file, column, negate, label);
    *database = read_plotted_scores(database_file, column, negate, label);
    if (family->empty() || database->empty()) error("Two valid score files are required.\n");
    sort_plotted_scores(*family);
    sort_plotted_scores(*database);
}

// ---------------------------------------------------------------------------------------------
// Bars
// ---------------------------------------------------------------------------------------------

void draw_bar(FILE *fp, int y1, int y2, float x1, float x2) {
    std::fprintf(fp, "%5.2f %d\n", x1, y1);
    std::fprintf(fp, "%5.2f %d\n", x1, y2);
    std::fprintf(fp, "%5.2f %d\n", x2, y2);
    std::fprintf(fp, "%5.2f %d\n", x2, y1);
}

void draw_vbar(FILE *fp, int y1, int y2, float x1, float x2) {
    draw_bar(fp, y1, y2, x1, x2);
}

void shade_bar(FILE *fp, int y1, int y2, float x1, float x2) {
    float third = x1 + (x2 - x1) / 3;
    float two_thirds = x1 + 2 * (x2 - x1) / 3;
    // Counted with an integer: a single-precision y stepped by 1 would stop growing at 2^24.
    for (long long k = 0; static_cast<double>(y1) + 0.5 + static_cast<double>(k) < y2; k++) {
        float y = static_cast<float>(static_cast<double>(y1) + 0.5 + static_cast<double>(k));
        std::fprintf(fp, "%5.2f %5.2f\n", third, y);
        std::fprintf(fp, "%5.2f %5.2f\n", two_thirds, y);
    }
}

// ---------------------------------------------------------------------------------------------
// The command file
// ---------------------------------------------------------------------------------------------

void set_pltrange(FILE *fp, float ylow, float yhigh, float xlow, float xhigh, float line) {
    if (ylow != yhigh) std::fprintf(fp, "set yrange [%f:%f]\n", ylow, yhigh);
    if (xlow != xhigh) std::fprintf(fp, "set xrange [%f:%f]\n", xlow, xhigh);
    if (line != 0 && ylow != yhigh)
        std::fprintf(fp, "set arrow from %f,%f to %f,%f nohead\n", line, ylow, line, yhigh);
}

void check_plot_parameters() {
    const struct {
        const char *name;
        double value;
    } params[] = {{"plotmin", plotmin},
                  {"plotmax", plotmax},
                  {"plotleft", plotleft},
                  {"plotright", plotright},
                  {"plotline", plotline}};
    for (const auto &p : params)
        if (!std::isfinite(static_cast<float>(p.value)))
            error("%s must be a finite number within the single-precision range, not %g", p.name,
                  p.value);
}

// What gnuplot makes of a file name that begins with the run name, when its start is one that
// gnuplot reads in a way of its own (null for a plain start): '<' runs a command and reads its
// output (a data file, "load", the command file named on gnuplot's command line), '|' runs a
// command and writes to it ("set output"), '$' names a datablock, and "~/" the home directory.
static const char *gnuplot_special_start(const char *run_name) {
    switch (run_name[0]) {
        case '<': return "a command whose output it reads";
        case '|': return "a command it writes to";
        case '$': return "a datablock";
        case '~': return run_name[1] == '/' ? "a file in the home directory" : nullptr;
        default: return nullptr;
    }
}

bool plot_run_name_ok(const char *run_name) {
    if (gnuplot_special_start(run_name)) return false;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(run_name); *p; p++)
        if (*p == '"' || *p == '`' || *p == '\\' || *p < 0x20 || *p == 0x7f) return false;
    return true;
}

void check_plot_run_name(const char *run_name) {
    if (const char *meaning = gnuplot_special_start(run_name))
        error("The run name %s cannot be used in a gnuplot command file: gnuplot takes a file "
              "name beginning with \"%.*s\" for %s.",
              shown_text(run_name).c_str(), run_name[0] == '~' ? 2 : 1, run_name, meaning);
    if (!plot_run_name_ok(run_name))
        error("The run name %s cannot be used in a gnuplot command file: it holds '\"', '`', '\\' "
              "or a control character.",
              shown_text(run_name).c_str());
}

FILE *open_pltfile(const char *run_name, const char *banner, int ps_mode, const char *title,
                   const char *xlabel, const char *ylabel, std::string *commands) {
    check_plot_run_name(run_name);
    FILE *fp = open_outputfile(run_name, ".plt");
    commands->clear();
    copy_written_text(fp, commands);
    print_banner_block(fp, banner, '#');
    const char *prefix = ps_mode ? "" : "#";
    std::fprintf(fp, "# Uncomment the next two lines to generate a postscript file.\n");
    std::fprintf(fp, "%sset terminal postscript eps\n", prefix);
    std::fprintf(fp, "%sset output \"%s.ps\"\n", prefix, run_name);
    if (ps_mode == 2) std::fprintf(fp, "%sset size 0.7, 1.0\n", "");
    if (title) std::fprintf(fp, "set title \"%s %s\"\n", title, run_name);
    if (xlabel) std::fprintf(fp, "set xlabel \"%s\"\n", xlabel);
    if (ylabel) std::fprintf(fp, "set ylabel \"%s\"\n", ylabel);
    std::fprintf(fp, "set nozeroaxis\n");
    return fp;
}

// ---------------------------------------------------------------------------------------------
// The gnuplot run
// ---------------------------------------------------------------------------------------------

// The command file's argument when gnuplot reads it from its standard input, and the name
// gnuplot's messages then give it.
static const char SCRIPT_ON_STDIN[] = "/dev/stdin";

// Every occurrence of from in *text replaced by to; true when there was one.
static bool replace_all(std::string *text, const std::string &from, const std::string &to) {
    bool found = false;
    for (size_t at = 0; (at = text->find(from, at)) != std::string::npos; at += to.size()) {
        text->replace(at, from.size(), to);
        found = true;
    }
    return found;
}

// Copies gnuplot's messages from fd (to its end) to standard error, line by line, each naming
// the command file as shown instead of the standard input it was read from.
static void pass_messages(int fd, const std::string &shown) {
    const std::string from = std::string("\"") + SCRIPT_ON_STDIN + "\"", to = "\"" + shown + "\"";
    std::string pending;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) pending.append(buf, static_cast<size_t>(n));
        // Whole lines while gnuplot writes; at its end, whatever is left.
        size_t take = pending.size();
        if (n > 0) {
            size_t last_end = pending.rfind('\n');
            take = last_end == std::string::npos ? 0 : last_end + 1;
        }
        if (take > 0) {
            std::string lines = pending.substr(0, take);
            pending.erase(0, take);
            replace_all(&lines, from, to);
            std::fwrite(lines.data(), 1, lines.size(), stderr);
            std::fflush(stderr);
        }
        if (n <= 0) return;
    }
}

// Runs gnuplot (no shell) on the commands in script, which it reads as its standard input, its
// messages naming the command file as shown; waits for it (it is stopped if the run is
// interrupted). True when it ran and ended with status 0.
static bool run_gnuplot(const std::string &shown, FILE *script) {
    const char *argv[] = {"gnuplot", SCRIPT_ON_STDIN, nullptr};
    int messages[2] = {-1, -1};
    if (pipe2(messages, O_CLOEXEC) != 0) return false;
    ChildProcess gnuplot;
    bool started = start_child(argv, fileno(script), -1, messages[1], &gnuplot);
    close(messages[1]);
    if (started) pass_messages(messages[0], shown);
    close(messages[0]);
    if (!started) return false;
    int status = wait_child(&gnuplot);
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The commands of the command file of base, with the output line naming temp instead of the plot
// (unchanged for an empty temp), in an anonymous temporary at its start, for gnuplot's standard
// input; null, with errno set, when that cannot be made.
static FILE *script_into_temporary(const std::string &base, const std::string &commands,
                                   const std::string &temp) {
    const std::string line = "set output \"" + base + ".ps\"\n";
    std::string quoted = "set output '", text = commands;
    for (char c : temp) quoted += c == '\'' ? "''" : std::string(1, c);
    quoted += "'\n";
    size_t at = std::string::npos;
    errno = EINVAL;
    bool made = temp.empty() || (at = text.find("\n" + line)) != std::string::npos;
    FILE *script = made ? anonymous_tempfile() : nullptr;
    if (script) {
        if (!temp.empty()) text.replace(at + 1, line.size(), quoted);
        if (std::fwrite(text.data(), 1, text.size(), script) != text.size() ||
            std::fflush(script) != 0 || std::fseek(script, 0L, SEEK_SET) != 0) {
            std::fclose(script);
            script = nullptr;
        }
    }
    return script;
}

// gnuplot's PostScript output ends with this comment line and a few more after it.
static const char PS_TRAILER[] = "\n%%Trailer\n";
// How much of the end of the file is searched for it.
constexpr long PS_TRAILER_REACH = 65536;

// True when a plot's text, as read, holds the trailer within its last PS_TRAILER_REACH bytes: a
// file cut short (a full disk, a file-size limit) is not a finished plot.
static bool postscript_finished(const std::string &text) {
    size_t reach = std::min(text.size(), static_cast<size_t>(PS_TRAILER_REACH));
    return text.find(PS_TRAILER, text.size() - reach) != std::string::npos;
}

// True when path is a regular file (not a device in the plot's place) and a finished plot.
static bool postscript_complete(const std::string &path) {
    struct stat st;
    std::string text;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && read_file(path, &text) &&
           postscript_finished(text);
}

// A name as gnuplot writes it inside a PostScript string: '(', ')' and '\' escaped.
static std::string postscript_string(const std::string &name) {
    std::string escaped;
    for (char c : name) {
        if (c == '(' || c == ')' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// The plot gnuplot wrote to temp (the file of the unwritten stream out), checked to be finished.
// gnuplot names the file it wrote in the PostScript title (a comment, and the document's
// information as a PostScript string): the plot is written again through out with the name of the
// plot there instead, as a run that wrote the plot itself gives. False when temp cannot be read or
// is not finished.
static bool finish_plot(FILE *out, const std::string &temp, const std::string &ps) {
    std::string text;
    if (!read_file(temp, &text) || !postscript_finished(text)) return false;
    bool renamed = replace_all(&text, temp, ps);
    renamed |= replace_all(&text, postscript_string(temp), postscript_string(ps));
    if (!renamed) return true;
    if (truncate(temp.c_str(), 0) != 0) return false;
    std::fwrite(text.data(), 1, text.size(), out);  // checked when out is closed
    return true;
}

// Runs gnuplot on the command file (*ran: it ended with status 0), its plot written to a hidden
// temporary beside run.ps that takes the place of the old plot only once finished
// (postscript_complete), and is removed otherwise; where the plot is to be written directly (see
// open_outputfile), gnuplot writes run.ps itself. True when a finished plot is in place. Fatal
// when no temporary can be made, the commands cannot be copied for gnuplot, or the finished plot
// cannot be put in place (see makeps_and_cleanup).
static bool plot_into_place(const std::string &base, const std::string &commands, bool *ran) {
    const std::string ps = base + ".ps", plt = base + ".plt";
    bool direct = false;
    FILE *out = open_output_temporary(ps.c_str(), &direct);
    if (!out && !direct) {
        // No temporary (a full disk): the old plot is not written over without one.
        int err = errno;
        error("Could not write %s: %s", shown_text(ps).c_str(), std::strerror(err));
    }
    std::string temp = output_temporary(out);
    // A line end cannot stand in a gnuplot string: where the temporary's path holds one, gnuplot
    // writes the plot itself, as where no temporary can be made.
    if (temp.find_first_of("\r\n") != std::string::npos) {
        discard_outputfile(out);
        out = nullptr;
        temp.clear();
    }
    FILE *script = script_into_temporary(base, commands, temp);
    if (!script) {
        // gnuplot never writes the old plot while a temporary can be made beside it.
        int err = errno ? errno : EIO;
        discard_outputfile(out);
        error("Could not copy %s to a temporary file: %s", shown_text(plt).c_str(),
              std::strerror(err));
    }
    *ran = run_gnuplot(file_argument(plt), script);
    std::fclose(script);
    if (!out) return *ran && postscript_complete(ps);
    if (!*ran || !finish_plot(out, temp, ps)) {
        discard_outputfile(out);
        return false;
    }
    if (close_output_path(out) != 0)
        error("Could not write %s: %s", shown_text(ps).c_str(), std::strerror(errno));
    return true;
}

bool makeps_and_cleanup(int ps_mode, const char *run_name, const std::string &commands,
                        const char *suffix1, const char *suffix2, const char *suffix3) {
    if (ps_mode == 0) return true;
    std::string base(run_name);
    bool ran = false;
    bool placed = plot_into_place(base, commands, &ran);
    if (!ran) {
        std::fprintf(stderr, "Error in gnuplot:  temporary files not deleted.\n");
        return false;
    }
    if (!placed) {
        std::fprintf(stderr,
                     "Error in gnuplot:  %s.ps was not written completely; temporary files not "
                     "deleted.\n",
                     shown_text(run_name).c_str());
        return false;
    }
    if (ps_mode == 3) return true;
    // The intermediate files go together: a signal meanwhile waits until all are removed.
    InterruptHold hold;
    for (const char *suffix : {suffix1, suffix2, suffix3})
        if (suffix) unlink((base + suffix).c_str());
    unlink((base + ".plt").c_str());
    return true;
}
