// Fatal errors and allocation, the lowest unit of the library: error() and the FatalError thrown
// in its place for test harnesses, allocation that never returns null (and the end of the run
// when any other allocation fails and its std::bad_alloc is taken by no caller), the exit handlers
// of the library, and the small helpers every unit uses: case-blind name comparison, the shown form
// of input text in messages, a random order of pointers and a text hash.
#ifndef QOR_ERRORS_H
#define QOR_ERRORS_H

#include <cstddef>
#include <cstdint>
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
// flushes it and ends the process with status 1 (or throws FatalError, see above). The line is
// made without allocating, so that it gets out when memory is exhausted: one longer than 4095
// bytes is made whole in memory of its own where that can be had, and otherwise cut short, its
// last three bytes before the newline replaced by "...". A fatal error
// that comes while the run is already ending (from an exit handler) writes its line and ends
// the process at once (_exit, status 1).
[[noreturn]] void error(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Has handler run when the process ends through exit (a return from main, or a fatal error), once
// however often it is asked for the same handler; handlers run in the reverse order of their first
// request. Fatal: "out of memory" (no room for one more), "run_at_exit: more than %d exit
// handlers" (the library registers two).
void run_at_exit(void (*handler)());

// Running out of memory outside the allocation routines below ends the run as they do: a
// std::bad_alloc that no caller takes (a failed operator new in a standard container or a new
// expression, or an impossible size), left uncaught or thrown out of a noexcept function, reaches
// std::terminate, whose handler (in place before main) ends the run with "out of memory", status 1
// and the exit clean-up, on the run's own thread and unless error_throws; any other reason to
// terminate, and a bad_alloc on another thread, goes to the terminate handler found before it.
// operator new has no handler of the library's: a nothrow new gives null when memory runs out, and
// std::stable_sort and the like go on without their buffer, as the standard library promises.

// ---------------------------------------------------------------------------------------------
// Memory. Every block carries 4 spare zeroed bytes past the requested size (room for a
// terminator) and is released with free(). A failure ends the run.
// ---------------------------------------------------------------------------------------------

// A zeroed block of n + 4 bytes. Fatal: "out of memory allocating %zu bytes".
void *mem_alloc(size_t n);
// Resizes a block (null allowed) to n + 4 bytes; the grown part is not cleared.
// Fatal: "out of memory reallocating %zu bytes".
void *mem_realloc(void *block, size_t n);
// A new zeroed block of n + 4 bytes holding a copy of the first n bytes of src (null src: zeroes).
// Fatal: as mem_alloc.
void *memdub(const void *src, size_t n);
// An owned copy of a text (mem_alloc'ed, release with free()); null gives null. Fatal: as
// mem_alloc.
char *str_dup(const char *text);
// A new array (release with double_free) of count pointers, each to its own zeroed block of
// a * b + 4 bytes. Fatal: "out of memory allocating %zu bytes" (also when a size overflows).
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
// Input text in messages: every warning or fatal message that echoes text read from an input
// file (a sequence ID, a name, a line) or a file name shows it through these, so that no control
// byte of the file or the name (ESC, an OSC sequence) reaches the terminal.
// ---------------------------------------------------------------------------------------------

// The shown form of the first length bytes of text: printable bytes (' ' to '~') and tabs as they
// are except the backslash, which is doubled; every other byte (NUL included) as "\xNN" with two
// lower-case hex digits. Each shown form thus stands for one text only: a typed "\x1b" shows as
// "\\x1b", an ESC byte as "\x1b". Printable text without a backslash is shown unchanged.
std::string shown_text(const char *text, size_t length);
// The same for a NUL-terminated text; null shows as "".
std::string shown_text(const char *text);
inline std::string shown_text(const std::string &text) {
    return shown_text(text.data(), text.size());
}
// A line read with its line end: shown_text of the text before a final "\n", then the "\n".
std::string shown_line(const std::string &line);
// One byte (0-255, or a char) as shown_text shows it.
std::string shown_byte(int c);

// ---------------------------------------------------------------------------------------------
// Hashing
// ---------------------------------------------------------------------------------------------

// h = 9h + c over the characters (taken as signed 8-bit), modulo 2^32; null hashes as "".
uint32_t hash_string(const char *text);

#endif
