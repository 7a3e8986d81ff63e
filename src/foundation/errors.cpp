// Fatal errors, allocation that never returns null (and the end of the run when any other
// allocation fails and no caller takes its std::bad_alloc), exit handlers, and the small helpers
// every unit uses: case-blind name comparison, the shown form of input text in messages, a random
// order and a text hash.
#include "foundation/errors.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <thread>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

bool error_throws = false;

// ---------------------------------------------------------------------------------------------
// Fatal errors
// ---------------------------------------------------------------------------------------------

// The longest fatal line, "Error: " and the newline included; a longer message is cut short.
static const size_t FATAL_LINE_MAX = 4096;

// Set when a fatal error has begun to end the run: one that comes while the exit handlers run
// (a failed allocation in one of them) must not call exit again.
static bool run_ending = false;

// Writes the whole fatal line to standard error and ends the process with status 1, without
// allocating: under memory exhaustion the message must still get out.
[[noreturn]] static void end_run(const char *line, size_t length) {
    if (run_ending) {
        // The exit handlers and the streams are in use: the descriptor, and an end at once.
        for (size_t done = 0; done < length;) {
            ssize_t n = write(STDERR_FILENO, line + done, length - done);
            if (n <= 0) break;
            done += (size_t)n;
        }
        _exit(1);
    }
    run_ending = true;
    std::fflush(stdout);
    std::fwrite(line, 1, length, stderr);
    std::fflush(stderr);
    std::exit(1);
}

void error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    if (error_throws) {
        va_list ap2;
        va_copy(ap2, ap);
        int n = std::vsnprintf(nullptr, 0, fmt, ap);
        // A format that cannot be filled in is shown as it is, as below.
        std::string msg(n > 0 ? (size_t)n : 0, '\0');
        if (n > 0) std::vsnprintf(&msg[0], (size_t)n + 1, fmt, ap2);
        if (n < 0) msg = fmt;
        va_end(ap2);
        va_end(ap);
        throw FatalError{msg};
    }
    static const char PREFIX[] = "Error: ", CUT[] = "...";
    const size_t prefix = sizeof PREFIX - 1, room = FATAL_LINE_MAX - prefix - 1;
    char stack_line[FATAL_LINE_MAX];
    char *line = stack_line;
    std::memcpy(line, PREFIX, prefix);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(line + prefix, room + 1, fmt, ap);
    va_end(ap);
    // A format that cannot be filled in is shown as it is.
    const bool as_is = n < 0;
    size_t length = as_is ? std::strlen(fmt) : (size_t)n;
    if (as_is) std::memcpy(line + prefix, fmt, std::min(length, room));
    // A longer line (a long file name) is made whole where the memory for it can still be had;
    // otherwise it is cut short.
    if (length > room) {
        char *whole = static_cast<char *>(std::malloc(prefix + length + 2));
        if (whole) {
            std::memcpy(whole, PREFIX, prefix);
            if (as_is)
                std::memcpy(whole + prefix, fmt, length);
            else
                std::vsnprintf(whole + prefix, length + 1, fmt, again);
            line = whole;
        } else {
            length = room;
            std::memcpy(line + prefix + room - (sizeof CUT - 1), CUT, sizeof CUT - 1);
        }
    }
    va_end(again);
    line[prefix + length] = '\n';
    end_run(line, prefix + length + 1);
}

// The handlers run_at_exit has registered so far; the library has but a few.
static const int MAX_EXIT_HANDLERS = 8;
static void (*exit_handlers[MAX_EXIT_HANDLERS])();
static int exit_handler_count = 0;

void run_at_exit(void (*handler)()) {
    for (int i = 0; i < exit_handler_count; i++)
        if (exit_handlers[i] == handler) return;
    if (exit_handler_count == MAX_EXIT_HANDLERS)
        error("run_at_exit: more than %d exit handlers", MAX_EXIT_HANDLERS);
    if (std::atexit(handler) != 0) error("out of memory");
    exit_handlers[exit_handler_count++] = handler;
}

// ---------------------------------------------------------------------------------------------
// Running out of memory outside the allocation routines
// ---------------------------------------------------------------------------------------------

// The run's own thread, the one that starts the program: only it may end the run, since an exit
// from another thread would run the exit handlers while the run's thread still uses what they
// take down.
static const std::thread::id run_thread = std::this_thread::get_id();
// The terminate handler found before this one, for every other reason to terminate.
static std::terminate_handler next_terminate = nullptr;

// A std::bad_alloc (a failed operator new, or an impossible size) that no caller takes reaches
// std::terminate, uncaught or out of a noexcept function: on the run's thread the run ends as
// mem_alloc ends it.
[[noreturn]] static void on_terminate() {
    if (std::current_exception() && !error_throws && std::this_thread::get_id() == run_thread) {
        try {
            throw;
        } catch (const std::bad_alloc &) {
            error("out of memory");
        } catch (...) {}
    }
    if (next_terminate) next_terminate();
    std::abort();
}

// Before main, so that the first allocation of a run is covered; it allocates nothing.
static const bool terminate_installed = [] {
    next_terminate = std::set_terminate(on_terminate);
    return true;
}();

// ---------------------------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------------------------

void *mem_alloc(size_t n) {
    void *p = (n <= SIZE_MAX - 4) ? std::calloc(1, n + 4) : nullptr;
    if (!p) error("out of memory allocating %zu bytes", n);
    return p;
}

void *mem_realloc(void *block, size_t n) {
    void *p = (n <= SIZE_MAX - 4) ? std::realloc(block, n + 4) : nullptr;
    if (!p) error("out of memory reallocating %zu bytes", n);
    return p;
}

void *memdub(const void *src, size_t n) {
    void *p = mem_alloc(n);
    if (n && src) std::memcpy(p, src, n);
    return p;
}

char *str_dup(const char *text) {
    if (!text) return nullptr;
    return (char *)memdub(text, std::strlen(text));
}

void **double_alloc(size_t count, size_t a, size_t b) {
    if (count > (SIZE_MAX - 4) / sizeof(void *))
        error("out of memory allocating %zu bytes", (size_t)SIZE_MAX);
    if (a != 0 && b > (SIZE_MAX - 4) / a)
        error("out of memory allocating %zu bytes", (size_t)SIZE_MAX);
    void **array = (void **)mem_alloc(count * sizeof(void *));
    for (size_t i = 0; i < count; i++) array[i] = mem_alloc(a * b);
    return array;
}

void double_free(void **array, size_t count) {
    if (!array) return;
    for (size_t i = 0; i < count; i++) {
        std::free(array[i]);
        array[i] = nullptr;
    }
    std::free(array);
}

// A few large blocks are taken from the heap, marked, and given back (the heap is never
// trimmed, so they stay in it): later allocations reuse the marked memory. Blocks below the mmap
// threshold (at most 32 MB) come from the heap itself.
void prefer_huge_pages() {
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD) && defined(MADV_HUGEPAGE)
    const size_t block_size = size_t(30) << 20;
    const int nblocks = 32;
    if (mallopt(M_MMAP_THRESHOLD, 32 << 20) != 1 || mallopt(M_TRIM_THRESHOLD, INT_MAX) != 1) return;
    const uintptr_t huge = uintptr_t(2) << 20;
    char *blocks[nblocks] = {};
    for (int i = 0; i < nblocks; i++) {
        blocks[i] = static_cast<char *>(std::malloc(block_size));
        if (!blocks[i]) break;
        uintptr_t start = (reinterpret_cast<uintptr_t>(blocks[i]) + huge - 1) & ~(huge - 1);
        uintptr_t end = (reinterpret_cast<uintptr_t>(blocks[i]) + block_size) & ~(huge - 1);
        if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
    for (int i = nblocks - 1; i >= 0; i--) std::free(blocks[i]);
#endif
}

int compar(const void *a, const void *b) {
    return ((const PermutePair *)a)->key - ((const PermutePair *)b)->key;
}

void **permute(int count, void **values, void **out) {
    if (count < 0) count = 0;
    if (!out) out = (void **)mem_alloc((size_t)count * sizeof(void *));
    std::vector<PermutePair> pairs((size_t)count);
    for (int i = 0; i < count; i++) pairs[i] = PermutePair{(int)random(), values[i]};
    // Stable, so that the rare equal keys keep their index order on every platform.
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const PermutePair &x, const PermutePair &y) { return compar(&x, &y) < 0; });
    for (int i = 0; i < count; i++) out[i] = pairs[i].value;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------------------------

int capscomp(const char *a, const char *b) {
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    while (*p && *q) {
        if (*p == '-' || *p == '_') {
            p++;
        } else if (*q == '-' || *q == '_') {
            q++;
        } else if (std::toupper(*p) != std::toupper(*q)) {
            break;
        } else {
            p++;
            q++;
        }
    }
    if (*p == *q) return 0;
    return std::toupper(*p) > std::toupper(*q) ? 1 : -1;
}

// ---------------------------------------------------------------------------------------------
// Input text in messages
// ---------------------------------------------------------------------------------------------

static bool shown_as_is(unsigned char b) {
    return (b >= ' ' && b <= '~') || b == '\t';
}

std::string shown_text(const char *text, size_t length) {
    static const char HEX[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(length);
    for (size_t i = 0; i < length; i++) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == '\\') {
            shown.append("\\\\");
        } else if (shown_as_is(b)) {
            shown.push_back(static_cast<char>(b));
        } else {
            const char escaped[] = {'\\', 'x', HEX[b >> 4], HEX[b & 0xf]};
            shown.append(escaped, sizeof escaped);
        }
    }
    return shown;
}

std::string shown_text(const char *text) {
    return text ? shown_text(text, std::strlen(text)) : std::string();
}

std::string shown_line(const std::string &line) {
    bool newline = !line.empty() && line.back() == '\n';
    return shown_text(line.data(), line.size() - (newline ? 1 : 0)) + (newline ? "\n" : "");
}

std::string shown_byte(int c) {
    char b = static_cast<char>(c);
    return shown_text(&b, 1);
}

// ---------------------------------------------------------------------------------------------
// Hashing
// ---------------------------------------------------------------------------------------------

uint32_t hash_string(const char *text) {
    uint32_t h = 0;
    for (const char *p = text ? text : ""; *p; p++) h = 9u * h + (uint32_t)(int32_t)(signed char)*p;
    return h;
}
