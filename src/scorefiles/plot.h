// Plot files and the gnuplot run: the plotted score column, the gnuplot command file (run name
// followed by ".plt") with its header and range lines, bar-shape writers for plot data files, and
// the run of gnuplot that turns the command file into PostScript and removes the temporary files.
#ifndef QOR_PLOT_H
#define QOR_PLOT_H

#include <cstdio>
#include <string>
#include <vector>

struct SequenceTable;

// Writes the help of the plot options to standard error.
void plot_usage();

// Rewrites report column 1 of every entry with the chosen column (0 length, 1 simple score
// unchanged, 2 report column 2, 3 log10 of the E-value) and returns the axis label (static text;
// "" for a null or empty table or a null first slot). A table whose first entry has no E-value
// keeps its columns for every choice.
const char *set_plotcolumn(SequenceTable *table, int column);

// The column that set_plotcolumn actually uses: the chosen one, or 1 when the first entry has no
// E-value or the choice is not 0, 2 or 3.
int effective_plotcolumn(int column, double first_evalue);
// Its axis label.
const char *plotcolumn_label(int effective_column);
// The plotted value of one entry for an effective column.
float plotcolumn_value(int effective_column, int length, float report1, float report2,
                       double evalue);

// Reads a score file as read_score_file does (same messages, non-finite entries skipped with the
// same warning, same fatal errors), but keeps only each entry's plotted value (the column as
// set_plotcolumn chooses it, negated when negate is non-zero), in file order. *label receives the
// axis label (static text; "" for a file without entries). Used where only the values matter, so
// that files of many millions of rows fit in little memory.
std::vector<float> read_plotted_scores(const char *path, int column, int negate,
                                       const char **label);
// Sorts plotted values ascending as sort_score_list orders report column 1 (a NaN last; equal
// values keep their order).
void sort_plotted_scores(std::vector<float> &values);

// The two option lines of the score-file pair (family and database) on standard error.
void score_pair_usage();
// Reads the family and the database score file with read_plotted_scores (messages and fatal
// errors as there) and sorts each with sort_plotted_scores; *label receives the axis label.
// Fatal "Two valid score files are required.\n" when either file holds no entry.
void read_score_pair(const char *family_file, const char *database_file, int column, int negate,
                     std::vector<float> *family, std::vector<float> *database, const char **label);

// Four corners of a bar: (x1, y1), (x1, y2), (x2, y2), (x2, y1), as "%5.2f %d" lines.
void draw_bar(FILE *fp, int y1, int y2, float x1, float x2);
void draw_vbar(FILE *fp, int y1, int y2, float x1, float x2);
// Shading of a bar: two points a third and two thirds across at y1 + 0.5, y1 + 1.5, ... below y2.
void shade_bar(FILE *fp, int y1, int y2, float x1, float x2);

// Ends the run when a plot range parameter (plotmin, plotmax, plotleft, plotright, plotline) is
// not a finite number or becomes infinite in single precision: "%s must be a finite number
// within the single-precision range, not %g".
void check_plot_parameters();

// The range lines of the command file: "set yrange" and "set xrange" unless a range's two ends
// are equal, and a vertical line at x = line (when not 0) across the y range.
void set_pltrange(FILE *fp, float ylow, float yhigh, float xlow, float xhigh, float line);

// True when the run name can stand inside the double-quoted strings of a gnuplot command file:
// no '"', '`' or '\' and no control characters; and can begin a file name that gnuplot reads as
// a plain file: no leading '<', '|', '$' or "~/".
bool plot_run_name_ok(const char *run_name);
// Ends the run when plot_run_name_ok refuses the run name. Fatal: "The run name %s cannot be used
// in a gnuplot command file: ..." naming what it holds or how it begins.
void check_plot_run_name(const char *run_name);

// Creates run_name + ".plt" and writes its header (banner block with '#', the PostScript lines,
// title, axis labels, "set nozeroaxis"); title, xlabel and ylabel may be null. Every byte the
// stream writes to the file is also kept in *commands (emptied first; the caller's, which must
// outlive the stream), for makeps_and_cleanup. Returns the open stream (never null); the caller
// writes the rest and closes it. Fatal: those of open_outputfile.
FILE *open_pltfile(const char *run_name, const char *banner, int ps_mode, const char *title,
                   const char *xlabel, const char *ylabel, std::string *commands);

// Runs gnuplot on the commands of run_name + ".plt" when ps_mode (the plotps setting) is non-zero;
// after a successful run removes the files run_name + each given suffix (null: none) and the
// command file, unless ps_mode is 3. A run succeeds when gnuplot ends with status 0 and run_name +
// ".ps" is a regular file that holds gnuplot's closing trailer. A failed run keeps the files and
// says "Error in gnuplot: temporary files not deleted.\n" (for a PostScript file that was not
// finished, naming it). Returns false after a failed run, true otherwise (ps_mode 0 included).
// gnuplot reads the commands as open_pltfile kept them (the file is never read back, and may be a
// pipe or a device), from a copy on its standard input, its messages naming the command file all
// the same. The plot is written to a hidden temporary beside run_name.ps, named in that copy, that
// replaces it only once finished (where the plot is to be written directly, as open_outputfile
// says, or the temporary's path holds a line end, gnuplot writes the file itself). Fatal when the
// copy cannot be made: "Could not copy %s to a temporary file: %s" (before gnuplot starts), and
// when the plot's temporary cannot be made (a full disk) or the finished plot cannot be written or
// put in place: "Could not write %s: %s"; the old plot and the files are kept either way.
bool makeps_and_cleanup(int ps_mode, const char *run_name, const std::string &commands,
                        const char *suffix1, const char *suffix2, const char *suffix3);

#endif
