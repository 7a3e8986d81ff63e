// Lowest layer of the library: the fatal-error routine, allocation that never returns null,
// case-blind name comparison, input files with transparent decompression and library search,
// output files with their comment header, and small run-information helpers.
#ifndef QOR_UTILITIES_H
#define QOR_UTILITIES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
// A new zeroed block of n + 4 bytes holding a copy of the first n bytes of src (null src: zeroes).
// Fatal: as mem_alloc.
void *memdub(const void *src, size_t n);
// An owned copy of a text (mem_alloc'ed, release with free()); null gives null. Fatal: as
// mem_alloc.
char *str_dup(const char *text);
// A new array (release with double_free) of count pointers, each to its own zeroed block of
// a * b + 4 bytes. Fatal: "out of memory allocating %d bytes" (also when a size overflows).
void **double_alloc(size_t count, size_t a, size_t b);
// Releases each non-null block of the array and then the array; null is ignored.
void double_free(void **array, size_t count);
// The count pointers of values in random order (random(); a negative count is 0), written to out
// and returned; with a null out, to a new array owned by the caller. Fatal: as mem_alloc.
void **permute(int count, void **values, void **out);
// One value of permute with its random key.
struct PermutePair {
    int key;
    void *value;
};
// Sort comparison of permute on two PermutePair records: first key minus second key.
int compar(const void *a, const void *b);
// For a run that will fill a large heap (hundreds of megabytes) with blocks of up to 30 MB:
// asks for transparent huge pages on it where the system gives them only on request, so that
// the heap is faulted in 2 MB at a time instead of 4 kB; the heap is then never trimmed.
// Only address space is reserved; any refusal of the system is harmless.
void prefer_huge_pages();

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
// tried with ".gz" then ".Z" appended. A pipe or FIFO is read once into a temporary file, kept
// for the run, and every open of it (by any of its names) gives a stream at the start of that
// copy. Returns null when nothing opens (fatal with OPEN_FATAL: "Couldn't open file %s: %s\n").
FILE *open_read(const char *name, int flags);
// The most bytes copied into a temporary file to make a stream rewindable (OPEN_REWIND: a pipe,
// a device or a decompressed file); a longer stream does not open (errno EFBIG). 1 GB.
extern size_t rewind_copy_limit;
// Opens a library data file: the name itself, else "<dir>[/<subdir>]/<name>" where dir is the
// value of the environment variable var when set, else default_dir. log (optional) receives the
// path used ("File Not Found (%s)" when none). Returns null when not found, after a warning
// unless OPEN_QUIET. Fatal: "No file name given.\n" (null or empty name) and "Couldn't open file
// %s: %s\n" with OPEN_FATAL; "Library path too long (more than %d characters): %.60s...".
FILE *open_read_env(const char *name, const char *var, const char *default_dir, const char *subdir,
                    FILE *log, int flags);
// Closes a stream from open_read / open_read_env; a decompression pipe is waited for and its
// exit status tested. Null is ignored. Fatal: "close_read: file not open", "pclose failed: %s",
// "gzcat terminated on an error: %d" (a decompressor that failed after giving all its output).
void close_read(FILE *fp);

// ---------------------------------------------------------------------------------------------
// The buffered input reader. Every reader of the library takes its bytes through one of these:
// block reads from a stream (plain file or decompression pipe alike), lines handed out in place
// without copying, a push-back of one line, and a line counter for messages.
// ---------------------------------------------------------------------------------------------

struct InputReader {
    FILE *stream = nullptr;         // not owned: the caller closes it (close_read)
    const char *name = nullptr;     // not owned: the file name used in messages
    unsigned char *data = nullptr;  // owned block (see read_ahead); data[end] is always a NUL byte
    size_t capacity = 0;            // bytes allocated for data (the NUL not counted)
    size_t pos = 0;                 // next byte to hand out
    size_t end = 0;                 // bytes valid in data
    bool eof = false;               // the stream has no more bytes to give
    long line_number = 0;           // lines handed out by reader_line so far (1 = the first)
    // The line last handed out by reader_line, for reader_unget_line.
    size_t last_start = 0;   // its offset in data
    size_t last_length = 0;  // its length without the line end
    bool last_had_newline = false;
    bool can_unget = false;
    int before_data = '\n';     // the stream byte before data[0] ('\n' at the start of the stream)
    const char *what = "file";  // what the stream is, in the read-error message
    size_t block = 0;           // bytes asked of the stream at a time (0: 64 kB)
    bool by_line = false;  // a prompt's answers (a terminal): a fill waits for one line at most
    // Set before the first fill: a regular file is read ahead by a second thread, a block or two
    // beyond the one being handed out (reading the descriptor, not the stream). The stream must
    // then be left alone until reader_free, which stops the thread and sets the stream's position
    // to the end of the bytes taken in, as a plain fill leaves it. data then points into a
    // buffer of the read-ahead's, which may change at every fill.
    bool read_ahead = false;
    struct ReaderAhead *ahead = nullptr;  // owned: the read-ahead of a started read_ahead reader
};

// A reader on a stream for the time of a scope: reader_init on construction; reader_free and
// then close_read of the stream (when owns_stream is set) on leaving it, also when a fatal error
// is thrown to a test harness.
struct ReaderScope {
    InputReader in;
    FILE *fp;
    bool owns_stream;
    ReaderScope(FILE *stream, const char *name, bool own_stream = true);
    ~ReaderScope();
    ReaderScope(const ReaderScope &) = delete;
    ReaderScope &operator=(const ReaderScope &) = delete;
};

// Starts reading stream (positioned where reading begins) under the given name. The reader does
// not own the stream or the name; release it with reader_free before closing the stream.
void reader_init(InputReader *r, FILE *stream, const char *name);
// Releases the block and stops any read-ahead; the stream is left open. The reader may be
// initialised again afterwards.
void reader_free(InputReader *r);
// Makes at least want bytes available from pos (fewer at the end of the stream), moving the
// unread bytes (and the line that may be pushed back) to the start of the block and growing it
// as needed; pos and the pushed-back line follow the move, pointers into data and offsets
// taken before it do not. Returns the bytes available
// (end - pos). A read error ends the run: "Could not read %s %s: %s" (what, name, the reason).
size_t reader_fill(InputReader *r, size_t want);
// reader_getc when the block is used up: refills it first.
int reader_getc_refill(InputReader *r);
// The next byte (0-255), or EOF at the end of the stream. Does not count lines.
inline int reader_getc(InputReader *r) {
    return r->pos < r->end ? r->data[r->pos++] : reader_getc_refill(r);
}
// Hands back the byte just returned by reader_getc.
void reader_ungetc(InputReader *r);
// The next line, in place: *line points at its first byte, *length receives its length without
// the line end ("\n"; a "\r" before it is kept as part of the line) and line[*length] is a NUL
// byte. The text stays valid until the next call on the reader. A last line without a newline
// is handed out as a line. Returns false at the end of the stream with nothing read. Counts the
// line in line_number.
bool reader_line(InputReader *r, char **line, size_t *length);
// Pushes back the line last handed out by reader_line, so the next call returns it again (one
// line only; line_number goes back by one).
void reader_unget_line(InputReader *r);
// Copies up to n bytes into dst; returns the number copied (fewer only at the end of the stream).
size_t reader_read(InputReader *r, void *dst, size_t n);
// True when no byte is left.
bool reader_at_end(InputReader *r);
// The byte of the stream just before data[at] (at <= end): '\n' before the first byte.
int reader_byte_before(const InputReader *r, size_t at);
// As reader_line, but the line end ("\n", when present) is handed out as part of the line and
// counted in *length; line[*length] is then not a NUL byte.
bool reader_line_with_end(InputReader *r, char **line, size_t *length);
// As reader_line_with_end, but the line is copied into line (NUL bytes kept). Returns false, with
// line emptied, at the end of the stream.
bool reader_line_copy(InputReader *r, std::string &line);

// ---------------------------------------------------------------------------------------------
// Text: the one white-space test, number parser and tokenizer of every reader
// ---------------------------------------------------------------------------------------------

// True when text begins with prefix (both NUL-terminated).
inline bool starts_with(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}
// True for the white-space bytes of the "C" locale: ' ', '\t', '\n', '\v', '\f' and '\r'.
inline bool is_space(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
// The first byte of [p, end) that is not white space; end when there is none.
inline const char *skip_space(const char *p, const char *end) {
    while (p < end && is_space(static_cast<unsigned char>(*p))) p++;
    return p;
}

// The numbers are read from the text [p, end) after white space, as the C conversions (strtol in
// base 10, strtod) read them in the "C" locale. Each returns the end of the number, or null when
// no number stands there (*out is then left as it was).

// A decimal integer: optional sign, then digits. A value past the long range is held at its end
// and *overflow (when given) is set; otherwise *overflow is cleared.
const char *scan_long(const char *p, const char *end, long *out, bool *overflow = nullptr);
// scan_long held at the ends of the int range.
const char *scan_int(const char *p, const char *end, int *out);

// Forms of the floating numbers: DECIMAL_FORMS are [sign] digits [. digits] or [sign] . digits,
// each with an optional exponent e[sign]digits, and [sign] inf, infinity or nan in any case;
// C_FORMS add what strtod reads besides (hexadecimal numbers, "nan(chars)").
enum NumberForms { DECIMAL_FORMS = 0, C_FORMS = 1 };
// A floating number of the given forms. *overflow (when given) is set when its magnitude is past
// the double range (the value is then an infinity), else cleared. The plain version: the number
// is found and handed to strtod; scan_double_fast (scan_fast.h) gives the same results faster.
const char *scan_double(const char *p, const char *end, double *out, bool *overflow = nullptr,
                        NumberForms forms = DECIMAL_FORMS);

// White space as the token separators of next_token.
extern const char *const SPACE_SEPARATORS;
// The next token of [p, end): the bytes up to one of the separators (the bytes of the text seps;
// runs of separators count as one). *token and *length receive it. Returns the position after
// it, or null when only separators are left.
const char *next_token(const char *p, const char *end, const char *seps, const char **token,
                       size_t *length);
// Every token of text, as next_token finds them, in order (owned copies).
std::vector<std::string> split_tokens(const std::string &text, const char *seps);

// ---------------------------------------------------------------------------------------------
// Input text in messages: every warning or fatal message that echoes text read from an input
// file (a sequence ID, a name, a line) shows it through these, so that no control byte of the
// file (ESC, an OSC sequence) reaches the terminal.
// ---------------------------------------------------------------------------------------------

// The shown form of the first length bytes of text: printable bytes (' ' to '~') and tabs as they
// are, every other byte (NUL included) as "\xNN" with two lower-case hex digits. Printable text
// is shown unchanged.
std::string shown_text(const char *text, size_t length);
// The same for a NUL-terminated text; null shows as "".
std::string shown_text(const char *text);
inline std::string shown_text(const std::string &text) {
    return shown_text(text.data(), text.size());
}
// A line read with its line end: shown_text of the text before a final "\n", then the "\n".
std::string shown_line(const std::string &line);
// One byte (0-255, or a char) as shown_text shows it, except that a backslash is doubled, so that a
// lone byte never reads as the start of an escape.
std::string shown_byte(int c);

// ---------------------------------------------------------------------------------------------
// Output files and the comment header
// ---------------------------------------------------------------------------------------------

// A stream for writing run_name followed by suffix (run_name alone for a null suffix). A suffix
// beginning with '>' names standard output, or standard error when its second character is '&':
// such a stream belongs to the process and must not be closed by the caller (use
// close_outputfile, which knows). Fatal: "(open_outputfile):  Could not open file %s",
// "(open_outputfile):  Output file name longer than %d characters: %.60s...".
FILE *open_outputfile(const char *run_name, const char *suffix);
// As open_outputfile, but a null or empty name gives null.
FILE *open_output_or_null(const char *name, const char *suffix);
// Closes an output stream unless it is standard output or standard error (those are flushed).
// Every write is checked (the stream's error flag, the flush and the close): when one failed,
// the file is removed and the run ends: "Could not write %s: %s" (the file name, or "standard
// output", and the system's reason).
void close_outputfile(FILE *fp);
// Flushes an output stream (null is ignored); a write to it that failed ends the run with
// "Could not write %s: %s" as close_outputfile does, without removing the file.
void flush_outputfile(FILE *fp);
// Makes the exit of the process flush and check standard output (once, whatever the number of
// calls): a failed write then ends it with "Error: Could not write standard output: %s" on
// standard error and status 1. Called at start-up.
void check_stdout_on_exit();
// Opens the output as open_outputfile does (same fatal messages) and writes the comment header
// (banner block, run name, host, time, user and working directory). The caller closes the stream.
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
// The working directory, however long; fallback when it cannot be found (or is longer than 1 MB).
std::string current_directory(const char *fallback);

// Static texts of the codes: scoring mode 0-3 ("global", "semilocal", "local", "domain"), null
// model 0-5 ("raw", "simple", "complex", "users", "reverse", "scaled"), both "unknown" for any
// other code; dynamic-programming style 1, 2, 4, 5 ("viterbi", "posdecode", "posdecod_align",
// "posdecod_align_ztrans"), "EM" for any other.
const char *get_scoring_mode_msg(int code);
const char *get_null_model_msg(int code);
const char *get_dp_style_msg(int code);

// A counted list of names split from a parameter value. One block: release it with free().
struct NameList {
    int count;    // number of names
    char **name;  // count pointers into the block's own copy of the text
};
// Splits text at white space and ',' (runs count as one); null or empty text gives 0 names. Never
// null; the caller frees the block. Fatal: as mem_alloc.
NameList *parse_name_list(const char *text);

// h = 9h + c over the characters (taken as signed 8-bit), modulo 2^32; null hashes as "".
uint32_t hash_string(const char *text);

#endif
