// Parameter files and parameter lines: their priorities and read-flags, reading a parameter file
// (and the files it inserts), applying one parameter line to the table, and writing the
// parameters back out (the parameter section of output files and the parameter dump).
#ifndef QOR_PARAM_FILES_H
#define QOR_PARAM_FILES_H

#include <cstddef>
#include <cstdio>

struct InputReader;  // reader.h

// Priorities of a parameter line.
enum {
    PRIORITY_USERFILE = 0,  // per-user parameter file: never replaces a value already set
    PRIORITY_COMMAND = 1,   // command line and the parameter files it names
    PRIORITY_LIBRARY = 2,   // model-library entry: replaces silently
};

// Read-flags of basic_command_line / read_init: which model blocks are taken.
enum {
    READ_MODEL = 1,
    READ_REGULARIZER = 2,
    READ_FREQUENCIES = 4,
    READ_NULLMODEL = 8,
    READ_MODEL_FILE = 0x40,
};

// Parameter lines hold at most this many characters (the newline not counted); so does an
// option and its value on the command line.
constexpr size_t MAX_PARAMETER_LINE = 99999;

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

// Reads a parameter file at the given priority (null or empty name: nothing); every line that
// begins with a letter or white space is applied with process_init_entry. Fatal: "Parameter file
// %s includes itself (directly or through other files).", "%s(%d): line longer than %d
// characters.", "Couldn't open file %s: %s\n", and those of process_init_entry.
void read_init(const char *filename, int priority, int read_flags);

// Applies one parameter line. in: the parameter file a model block may be read from (null for
// the command line and model libraries); source and *line_no name the line in messages (the
// model reader advances *line_no). An unknown name, a missing value, a model block where none can
// be read and a count entry are reported on standard error and ignored. Fatal: "%s Incorrect
// type or missing value for %s\n" (a number that does not parse), "%s Value %s for %s is not a
// finite number\n" (a NaN or an infinity for a floating parameter other than the plot ranges,
// which check_plot_parameters checks), "Only %d %s values can be specified.  Skipping %s.\n",
// "Illegal code (%d) in processes_init_entry.\n", "%s The value of %s holds a line end (CR or
// LF)" (a string value), and those of the model reader, process_alphabet and read_init (insert
// entries).
void process_init_entry(InputReader *in, const char *line, int priority, const char *source,
                        int *line_no, int read_flags);

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

// Writes a list parameter: lead and key, then the values (packed to 70 characters for a positive
// count, one per line for a negative count).
void list_strings(FILE *fp, char **values, int count, const char *key, const char *lead);

// Writes the parameter section of an output file: every parameter that was set (all: every
// one), as "% " comment lines when set by the system or with comment_all; the base regularizer
// as a REGULARIZER block (BINARY form with binary). Marks a set Nmodels as set by the system.
void print_init(FILE *fp, int all, int comment_all, int binary);

// Writes the parameter dump run_name.params (run name "default" when null). Fatal: those of
// prepare_statfile.
void dump_params(const char *banner, const char *run_name);

// Writes the REGULARIZER block of the base regularizer when it was set by a parameter (or always
// with force). Returns nice_print_rmodel's result, or 0 when nothing was written.
int print_reg_if_changed(FILE *fp, int force, const char *title, int binary);

#endif
