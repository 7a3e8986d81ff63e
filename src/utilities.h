// Lowest layer of the library: the fatal-error routine, allocation that never returns null,
// case-blind name comparison, input files with transparent decompression and library search,
// output files with their comment header, and small run-information helpers.
#ifndef QOR_UTILITIES_H
#define QOR_UTILITIES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// ---------------------------------------------------------------------------------------------
// Fatal errors
// ---------------------------------------------------------------------------------------------

// Thrown by error() instead of ending the process when error_throws is true (unit tests and fuzz
// harnesses only). message is the formatted text without the "Error: " prefix and the newline.
struct FatalError {
    std::string message;
};

// When true, error() throws FatalError instead of writing and exiting. Default false.
extern bool error_throws;

// Flushes standard output, writes "Error: ", the message and a newline to standard error,
// flushes it and ends the process with status 1 (or throws FatalError, see above).
[[noreturn]] void error(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ---------------------------------------------------------------------------------------------
// Memory. Every block carries 4 spare zeroed bytes past the requested size (room for a
// terminator) and is released with free(). A failure ends the run.
// ---------------------------------------------------------------------------------------------

// A zeroed block of n + 4 bytes. Fatal: "out of memory allocating %d bytes".
void *mem_alloc(size_t n);
// Resizes a block (null allowed) to n + 4 bytes; the grown part is not cleared.
// Fatal: "out of memory reallocating %d bytes".
void *mem_realloc(void *block, size_t n);
// A new zeroed block of n + 4 bytes holding a copy of the first n bytes of src.
void *memdub(const void *src, size_t n);
// An owned copy of a text (mem_alloc'ed, release with free()); null gives null.
char *str_dup(const char *text);
// count pointers (zeroed), each to its own zeroed block of a * b + 4 bytes.
void **double_alloc(size_t count, size_t a, size_t b);
// Releases each non-null block of the array and then the array; null is ignored.
void double_free(void **array, size_t count);
// The count pointers of values in random order (random()), written to out (allocated when null).
void **permute(int count, void **values, void **out);
// One value of permute with its random key.
struct PermutePair {
    int key;
    void *value;
};
// Sort comparison of permute on two PermutePair records: first key minus second key.
int compar(const void *a, const void *b);

// ---------------------------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------------------------

// Compares two names, case ignored and '-' / '_' skipped inside names (a trailing separator on
// either side matches nothing): 0 when they match, 1 when a sorts after b, -1 before.
int capscomp(const char *a, const char *b);

// ---------------------------------------------------------------------------------------------
// Input files
// ---------------------------------------------------------------------------------------------

enum {
    OPEN_FATAL = 1,   // a file that cannot be opened ends the run
    OPEN_QUIET = 2,   // open_read_env only: no warning when not found in the search directory
    OPEN_REWIND = 4,  // the stream must be seekable: a decompressed stream is copied to a temp file
};

// Opens an input file; names ending in ".gz" / ".Z" are decompressed, and a missing plain name is
// tried with ".gz" then ".Z" appended. Returns null when nothing opens (fatal with OPEN_FATAL:
// "Couldn't open file %s: %s\n").
FILE *open_read(const char *name, int flags);
// Opens a library data file: the name itself, else "<dir>[/<subdir>]/<name>" where dir is the
// value of the environment variable var when set, else default_dir. log (optional) receives the
// path used. Returns null when not found (fatal with OPEN_FATAL).
FILE *open_read_env(const char *name, const char *var, const char *default_dir, const char *subdir,
                    FILE *log, int flags);
// Closes a stream from open_read / open_read_env; a decompression pipe is waited for and its
// exit status tested. Null is ignored.
void close_read(FILE *fp);

// Reads one whole line (newline included when present) into line, however long. Returns false at
// the end of the stream with nothing read.
bool read_whole_line(FILE *fp, std::string &line);

// ---------------------------------------------------------------------------------------------
// Output files and the comment header
// ---------------------------------------------------------------------------------------------

// A stream for writing run_name followed by suffix (run_name alone for a null suffix). A suffix
// beginning with '>' names standard output, or standard error when its second character is '&':
// such a stream belongs to the process and must not be closed by the caller (use
// close_outputfile, which knows). Fatal: "(open_outputfile):  Could not open file %s".
FILE *open_outputfile(const char *run_name, const char *suffix);
// As open_outputfile, but a null or empty name gives null.
FILE *open_output_or_null(const char *name, const char *suffix);
// Closes an output stream unless it is standard output or standard error (those are flushed).
void close_outputfile(FILE *fp);
// Opens the output as open_outputfile does and writes the comment header.
FILE *prepare_statfile(const char *run_name, const char *banner, const char *suffix);
// Writes the closing CPU-time and finishing-time comment lines.
void stat_print_time(FILE *fp);
// Writes the banner line and the fixed block of notice and citation lines, each beginning with
// the comment character c, then a rule line.
void print_banner_block(FILE *fp, const char *banner, char c);

// ---------------------------------------------------------------------------------------------
// Run information
// ---------------------------------------------------------------------------------------------

// Current local date and time, 24-character calendar form, no newline (static buffer).
const char *get_time();
// "user %3d:%2d:%2d      system %3d:%2d:%2d" of the process (static buffer).
const char *cpu_time();
// Formats a CPU-time text from user and system seconds (as cpu_time does).
std::string format_cpu_time(long user_seconds, long system_seconds);
// Wall-clock seconds since the epoch, microseconds as the fraction.
double get_real_time();
// Host name (at most 199 characters, static buffer).
const char *get_host_name();
// Login name of the effective user (at most 199 characters, static buffer).
const char *get_user_name();

const char *get_scoring_mode_msg(int code);
const char *get_null_model_msg(int code);
const char *get_dp_style_msg(int code);

// A counted list of names split from a parameter value. One block: release it with free().
struct NameList {
    int count;    // number of names
    char **name;  // count pointers into the block's own copy of the text
};
// Splits text at white space and ',' (runs count as one); null or empty text gives 0 names.
NameList *parse_name_list(const char *text);

// h = 9h + c over the characters (taken as signed 8-bit), modulo 2^32.
uint32_t hash_string(const char *text);

#endif
