// Fatal errors, allocation, name comparison, input files with decompression, output files with
// their comment header, and run information.
#include "foundation/utilities.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>
#include <sys/wait.h>
#include <unistd.h>

bool error_throws = false;

// ---------------------------------------------------------------------------------------------
// Fatal errors
// ---------------------------------------------------------------------------------------------

void error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string msg(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0) std::vsnprintf(&msg[0], (size_t)n + 1, fmt, ap2);
    va_end(ap2);
    if (error_throws) throw FatalError{msg};
    std::fflush(stdout);
    std::fprintf(stderr, "Error: %s\n", msg.c_str());
    std::fflush(stderr);
    std::exit(1);
}

// ---------------------------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------------------------

// Byte counts in the messages are printed as the caller's signed 32-bit count would be.
static int size_for_message(size_t n) {
    return n > (size_t)INT32_MAX ? (int)(n & 0x7fffffff) | INT32_MIN : (int)n;
}

void *mem_alloc(size_t n) {
    void *p = (n <= SIZE_MAX - 4) ? std::calloc(1, n + 4) : nullptr;
    if (!p) error("out of memory allocating %d bytes", size_for_message(n));
    return p;
}

void *mem_realloc(void *block, size_t n) {
    void *p = (n <= SIZE_MAX - 4) ? std::realloc(block, n + 4) : nullptr;
    if (!p) error("out of memory reallocating %d bytes", size_for_message(n));
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
        error("out of memory allocating %d bytes", size_for_message(SIZE_MAX));
    if (a != 0 && b > (SIZE_MAX - 4) / a)
        error("out of memory allocating %d bytes", size_for_message(SIZE_MAX));
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
// Input files
// ---------------------------------------------------------------------------------------------

// Streams that are the read ends of decompression commands, with the command's process id, so
// that close_read knows which streams to wait for (whatever the descriptor kind).
struct CommandStream {
    FILE *fp;
    int fd;
    pid_t pid;
};
static std::vector<CommandStream> command_streams;

static bool ends_with(const std::string &s, const char *suffix) {
    size_t n = std::strlen(suffix);
    return s.size() > n && s.compare(s.size() - n, n, suffix) == 0;
}

// Starts "gunzip -c name" (or "uncompress -c name") with an argument vector, no shell, and
// returns the read end of its standard output, or null when it cannot be started.
static FILE *start_decompressor(const std::string &name, pid_t *pid_out) {
    const char *prog = ends_with(name, ".Z") ? "uncompress" : "gunzip";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        int saved = errno;
        close(fds[0]);
        close(fds[1]);
        errno = saved;
        return nullptr;
    }
    if (pid == 0) {
        if (dup2(fds[1], STDOUT_FILENO) < 0) _exit(127);
        // A name that begins with '-' would be taken for an option: name it from "./".
        std::string arg = name[0] == '-' ? "./" + name : name;
        const char *argv[] = {prog, "-c", arg.c_str(), nullptr};
        execvp(prog, (char *const *)argv);
        _exit(127);  // as a shell reports a command it cannot run
    }
    close(fds[1]);
    FILE *fp = fdopen(fds[0], "r");
    if (!fp) {
        int saved = errno;
        close(fds[0]);
        int status;
        waitpid(pid, &status, 0);
        errno = saved;
        return nullptr;
    }
    *pid_out = pid;
    return fp;
}

// Waits for a decompression command; returns its wait status, or -1 with errno set.
static int wait_command(pid_t pid) {
    int status;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : status;
}

size_t rewind_copy_limit = (size_t)1 << 30;

// Copies a stream into an anonymous temporary file, positioned at its start, refusing a stream
// longer than limit bytes (EFBIG). Returns null (with errno of the failure) when the copy fails;
// src is left open for the caller.
static FILE *copy_to_tempfile(FILE *src, bool *src_error, size_t limit = SIZE_MAX) {
    FILE *tmp = std::tmpfile();
    if (!tmp) return nullptr;
    std::vector<char> buf(size_t(1) << 16);
    size_t total = 0;
    for (;;) {
        size_t got = std::fread(buf.data(), 1, buf.size(), src);
        if (got > limit - total) {
            std::fclose(tmp);
            *src_error = false;
            errno = EFBIG;
            return nullptr;
        }
        total += got;
        size_t put = got ? std::fwrite(buf.data(), 1, got, tmp) : 0;
        if (put != got || got < buf.size()) break;
    }
    *src_error = std::ferror(src) != 0;
    if (*src_error || std::ferror(tmp) || std::fflush(tmp) != 0) {
        int saved = errno ? errno : EIO;
        std::fclose(tmp);
        errno = saved;
        return nullptr;
    }
    if (std::fseek(tmp, 0L, SEEK_SET) != 0) {
        int saved = errno;
        std::fclose(tmp);
        errno = saved;
        return nullptr;
    }
    return tmp;
}

// Opens a compressed file through its decompressor; with OPEN_REWIND the output is copied into
// a temporary file first. Null when the file is unreadable or the decompression fails.
static FILE *open_compressed(const std::string &name, int flags) {
    if (access(name.c_str(), R_OK) != 0) return nullptr;
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    pid_t pid;
    FILE *pipe_fp = start_decompressor(name, &pid);
    if (!pipe_fp) return nullptr;
    if (!(flags & OPEN_REWIND)) {
        command_streams.push_back(CommandStream{pipe_fp, fileno(pipe_fp), pid});
        return pipe_fp;
    }
    bool src_error = false;
    FILE *tmp = copy_to_tempfile(pipe_fp, &src_error, rewind_copy_limit);
    int saved = errno;
    std::fclose(pipe_fp);
    int status = wait_command(pid);
    if (!tmp) {
        errno = saved;
        return nullptr;
    }
    if (status != 0) {
        std::fclose(tmp);
        errno = status < 0 ? errno : EIO;
        return nullptr;
    }
    return tmp;
}

// Pipes and FIFOs named as input files, each read once into a temporary file: a name opened
// again (format detection and then the reader, a guess of the alphabet) gives the same bytes
// from the copy instead of what the pipe has left, or of waiting for a writer that is gone.
struct SpooledSource {
    dev_t dev;
    ino_t ino;
    FILE *copy;  // open for the rest of the run
};
static std::vector<SpooledSource> spooled_sources;

static bool is_pipe(const struct stat &st) {
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

// A new stream at the start of a spooled copy, with a position of its own.
static FILE *reopen_spooled(FILE *copy) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fileno(copy));
    if (FILE *fp = std::fopen(path, "r")) return fp;
    // Without /proc: a second descriptor, rewound. It shares the position with the others, which
    // is enough for streams of one source that are read one after another.
    int fd = dup(fileno(copy));
    if (fd < 0) return nullptr;
    lseek(fd, 0, SEEK_SET);
    FILE *fp = fdopen(fd, "r");
    if (!fp) close(fd);
    return fp;
}

// Copies the pipe fp (already open; closed here) into a spooled copy kept under its identity,
// and returns a stream at the start of the copy, or null with errno of the failure.
static FILE *spool_pipe(FILE *fp, const struct stat &st, int flags) {
    bool src_error = false;
    FILE *copy =
        copy_to_tempfile(fp, &src_error, (flags & OPEN_REWIND) ? rewind_copy_limit : SIZE_MAX);
    int saved = errno;
    std::fclose(fp);
    if (!copy) {
        errno = saved;
        return nullptr;
    }
    spooled_sources.push_back(SpooledSource{st.st_dev, st.st_ino, copy});
    return reopen_spooled(copy);
}

// Opens a plain file for reading; a directory counts as a file that cannot be opened.
static FILE *open_plain(const std::string &name, int flags) {
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && is_pipe(st))
        for (const SpooledSource &s : spooled_sources)
            if (s.dev == st.st_dev && s.ino == st.st_ino) return reopen_spooled(s.copy);
    FILE *fp = std::fopen(name.c_str(), "r");
    if (!fp) return nullptr;
    if (fstat(fileno(fp), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            std::fclose(fp);
            errno = EISDIR;
            return nullptr;
        }
        if (is_pipe(st)) return spool_pipe(fp, st, flags);
        // A device named as a file cannot seek: give a rewindable copy when asked.
        if ((flags & OPEN_REWIND) && !S_ISREG(st.st_mode)) {
            bool src_error = false;
            FILE *tmp = copy_to_tempfile(fp, &src_error, rewind_copy_limit);
            int saved = errno;
            std::fclose(fp);
            errno = saved;
            return tmp;
        }
    }
    return fp;
}

FILE *open_read(const char *name, int flags) {
    if (!name) name = "";
    std::string n(name);
    FILE *fp = nullptr;
    int plain_errno = 0;
    if (ends_with(n, ".gz") || ends_with(n, ".Z")) {
        fp = open_compressed(n, flags);
        plain_errno = errno;
    } else {
        fp = open_plain(n, flags);
        if (!fp) {
            // Report the plain attempt's error, not that of a fallback.
            plain_errno = errno;
            fp = open_compressed(n + ".gz", flags);
            if (!fp) fp = open_compressed(n + ".Z", flags);
        }
    }
    if (!fp) {
        errno = plain_errno;
        if (flags & OPEN_FATAL)
            error("Couldn't open file %s: %s\n", name, std::strerror(plain_errno));
    }
    return fp;
}

FILE *open_read_env(const char *name, const char *var, const char *default_dir, const char *subdir,
                    FILE *log, int flags) {
    if (!name || !*name) {
        if (flags & OPEN_FATAL) error("No file name given.\n");
        return nullptr;
    }
    FILE *fp = open_read(name, flags & OPEN_REWIND);
    if (fp) {
        if (log) std::fputs(name, log);
        return fp;
    }
    int first_errno = errno;
    const char *env = var ? std::getenv(var) : nullptr;
    const char *dir = env ? env : default_dir;
    if (!dir) {
        if (log) std::fputs(name, log);
        errno = first_errno;
        return nullptr;
    }
    std::string d(dir);
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    if (d == "/") d.clear();
    std::string path = d + "/";
    if (subdir && *subdir) path += std::string(subdir) + "/";
    path += name;
    if (path.size() > 2007)
        error("Library path too long (more than %d characters): %.60s...", 2007, path.c_str());
    fp = open_read(path.c_str(), flags & OPEN_REWIND);
    if (fp) {
        if (log) std::fputs(path.c_str(), log);
        return fp;
    }
    if (!(flags & OPEN_QUIET))
        std::fprintf(stderr, "Warning:  %s not found in current directory\nor using $%s %s\n", name,
                     var ? var : "", path.c_str());
    if (flags & OPEN_FATAL) error("Couldn't open file %s: %s\n", name, std::strerror(first_errno));
    if (log) std::fprintf(log, "File Not Found (%s)", name);
    errno = first_errno;
    return nullptr;
}

void close_read(FILE *fp) {
    if (!fp) return;
    struct stat st;
    if (fstat(fileno(fp), &st) != 0) error("close_read: file not open");
    for (size_t i = 0; i < command_streams.size(); i++) {
        if (command_streams[i].fp != fp) continue;
        pid_t pid = command_streams[i].pid;
        bool same = command_streams[i].fd == fileno(fp) && S_ISFIFO(st.st_mode);
        command_streams.erase(command_streams.begin() + (long)i);
        if (!same) break;  // a stale record: the stream was closed elsewhere and the handle reused
        bool at_end = std::feof(fp) != 0;
        std::fclose(fp);
        int status = wait_command(pid);
        if (status < 0) error("pclose failed: %s", std::strerror(errno));
        if (status > 0 && at_end) error("gzcat terminated on an error: %d", status);
        return;
    }
    std::fclose(fp);
}

// ---------------------------------------------------------------------------------------------
// The buffered input reader
// ---------------------------------------------------------------------------------------------

static const size_t READER_BLOCK = 1 << 16;

// Puts back the newline of the line last handed out by reader_line (replaced there by the NUL
// that ends the line), so that every byte behind pos is again the byte of the stream.
static void restore_last_newline(InputReader *r) {
    if (r->can_unget && r->last_had_newline) r->data[r->last_start + r->last_length] = '\n';
}

// The read-ahead of a regular file: a second thread reads the blocks that follow the bytes taken
// in, with pread on the descriptor (the stream and its buffer are not touched), into two slots
// that the reader empties in turn. Each slot reads behind a head room of one block: the reader
// puts the bytes it keeps in front of the new ones there and takes the slot's buffer as its own,
// handing its old buffer to the slot, so that the new bytes are not copied. The thread never ends
// the run: a read error is kept with the slot and reported once the bytes before it are taken.
struct ReaderAhead {
    struct Slot {
        unsigned char *buf = nullptr;  // owned; cap bytes, at least head + size + 1
        size_t cap = 0;
        size_t len = 0;     // bytes read, at buf + head
        size_t pos = 0;     // of those, bytes already taken by the reader
        int err = 0;        // errno of a read that failed after len bytes
        bool full = false;  // read and not yet emptied
        bool last = false;  // the end of the file (or an error) follows its bytes
    };
    int fd = -1;
    off_t next = 0;                // file offset of the next block the thread reads
    off_t taken = 0;               // file offset just past the bytes taken by the reader
    size_t size = 0;               // bytes per block
    size_t head = 0;               // head room of a slot, before the bytes read
    unsigned char *own = nullptr;  // the allocation the reader's data lie in (owned)
    size_t own_cap = 0;
    Slot slots[2];
    int take = 0;  // the slot the reader empties next
    int fill = 0;  // the slot the thread fills next
    bool stop = false, done = false;
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;

    ~ReaderAhead() {
        for (Slot &s : slots) std::free(s.buf);
        std::free(own);
    }
    void run() {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [&] { return stop || (!done && !slots[fill].full); });
            if (stop) return;
            Slot &s = slots[fill];
            off_t at = next;
            held.unlock();
            unsigned char *to = s.buf + head;
            size_t got = 0;
            int err = 0;
            while (got < size) {
                ssize_t n = pread(fd, to + got, size - got, at + static_cast<off_t>(got));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) err = errno;
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            held.lock();
            s.len = got;
            s.pos = 0;
            s.err = err;
            s.last = got < size;
            s.full = true;
            next = at + static_cast<off_t>(got);
            if (s.last) done = true;
            fill ^= 1;
            changed.notify_all();
        }
    }
};

// Starts the read-ahead of a reader whose stream is a regular file; false (nothing started) for
// any other stream or when no thread can be had. The reader's block, if any, becomes the
// read-ahead's.
static bool start_read_ahead(InputReader *r, size_t block) {
    if (!r->stream || r->by_line) return false;
    int fd = fileno(r->stream);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    off_t at = ftello(r->stream);
    if (at < 0) return false;
    std::unique_ptr<ReaderAhead> a(new ReaderAhead());
    a->fd = fd;
    a->next = a->taken = at;
    a->size = a->head = block;
    for (auto &s : a->slots) {
        s.cap = 2 * block + 1;
        s.buf = static_cast<unsigned char *>(mem_alloc(s.cap));
    }
    try {
        ReaderAhead *p = a.get();
        a->worker = std::thread([p] { p->run(); });
    } catch (const std::system_error &) {
        return false;
    }
    a->own = r->data;
    a->own_cap = r->data ? r->capacity + 1 : 0;
    r->ahead = a.release();
    return true;
}

// Stops the read-ahead, releases its buffers (the reader's block with them) and leaves the stream
// just past the bytes the reader took in.
static void stop_read_ahead(InputReader *r) {
    ReaderAhead *a = r->ahead;
    if (!a) return;
    {
        std::lock_guard<std::mutex> held(a->lock);
        a->stop = true;
    }
    a->changed.notify_all();
    a->worker.join();
    if (r->stream) fseeko(r->stream, a->taken, SEEK_SET);
    delete a;
    r->ahead = nullptr;
    r->data = nullptr;
}

// reader_fill from the read-ahead.
static size_t fill_from_ahead(InputReader *r, size_t want) {
    ReaderAhead *a = r->ahead;
    while (r->end - r->pos < want && !r->eof) {
        ReaderAhead::Slot &s = a->slots[a->take];
        {
            std::unique_lock<std::mutex> held(a->lock);
            a->changed.wait(held, [&] { return s.full; });
        }
        // A full slot is the reader's until it is handed back. Keep the bytes not yet handed
        // out, and the line that may be pushed back.
        size_t base = r->can_unget && r->last_start < r->pos ? r->last_start : r->pos;
        size_t kept = r->end - base;
        size_t fresh = s.len - s.pos;
        const bool swap =
            s.pos == 0 && fresh > 0 && kept <= a->head && a->own_cap >= a->head + a->size + 1;
        if (swap || base > 0 || r->data != a->own) restore_last_newline(r);
        if (base > 0) r->before_data = r->data[base - 1];
        if (swap) {
            // The kept bytes go in front of the slot's, and the buffers change hands.
            unsigned char *data = s.buf + a->head - kept;
            if (kept > 0) std::memcpy(data, r->data + base, kept);
            std::swap(a->own, s.buf);
            std::swap(a->own_cap, s.cap);
            r->data = data;
            r->end = kept + fresh;
            r->capacity = a->own_cap - 1 - (a->head - kept);
            s.pos = s.len;
        } else {
            // The kept bytes move to the start of the reader's allocation, which grows as
            // needed, and the slot's bytes are copied after them.
            if (kept > 0 && r->data + base != a->own) std::memmove(a->own, r->data + base, kept);
            size_t need = kept + (want > a->size ? want : a->size) + 1;
            if (a->own_cap < need) {
                size_t cap =
                    a->own_cap > a->head + a->size + 1 ? a->own_cap : a->head + a->size + 1;
                while (cap < need) cap *= 2;
                a->own = static_cast<unsigned char *>(mem_realloc(a->own, cap));
                a->own_cap = cap;
            }
            r->data = a->own;
            r->end = kept;
            r->capacity = a->own_cap - 1;
            size_t n = fresh < r->capacity - r->end ? fresh : r->capacity - r->end;
            if (n > 0) std::memcpy(r->data + r->end, s.buf + a->head + s.pos, n);
            r->end += n;
            s.pos += n;
            fresh = n;
        }
        r->pos -= base;
        if (r->can_unget) r->last_start -= base;
        a->taken += static_cast<off_t>(fresh);
        if (s.pos < s.len) continue;
        if (s.last) {
            r->eof = true;
            if (s.err)
                error("Could not read %s %s: %s", r->what, r->name ? r->name : "",
                      std::strerror(s.err));
            break;
        }
        {
            std::lock_guard<std::mutex> held(a->lock);
            s.full = false;
            a->take ^= 1;
        }
        a->changed.notify_all();
    }
    r->data[r->end] = '\0';
    return r->end - r->pos;
}

ReaderScope::ReaderScope(FILE *stream, const char *name, bool own_stream)
    : fp(stream), owns_stream(own_stream) {
    reader_init(&in, stream, name);
}

ReaderScope::~ReaderScope() {
    reader_free(&in);
    if (owns_stream) close_read(fp);
}

void reader_init(InputReader *r, FILE *stream, const char *name) {
    *r = InputReader();
    r->stream = stream;
    r->name = name;
}

void reader_free(InputReader *r) {
    stop_read_ahead(r);  // releases the block of a read-ahead reader
    std::free(r->data);
    r->data = nullptr;
    r->capacity = r->pos = r->end = 0;
    r->can_unget = false;
}

size_t reader_fill(InputReader *r, size_t want) {
    if (r->end - r->pos >= want || r->eof) return r->end - r->pos;
    if (r->read_ahead && !r->ahead && r->stream)
        r->read_ahead = start_read_ahead(r, r->block ? r->block : READER_BLOCK);
    if (r->ahead) return fill_from_ahead(r, want);
    // Keep the bytes not yet handed out, and the line that may be pushed back, at the start.
    size_t base = r->can_unget && r->last_start < r->pos ? r->last_start : r->pos;
    if (base > 0) {
        restore_last_newline(r);
        r->before_data = r->data[base - 1];
        std::memmove(r->data, r->data + base, r->end - base);
        r->end -= base;
        r->pos -= base;
        if (r->can_unget) r->last_start -= base;
    }
    size_t block = r->block ? r->block : READER_BLOCK;
    size_t need = r->pos + (want < block ? block : want);
    if (r->capacity < need) {
        size_t cap = r->capacity ? r->capacity : block;
        while (cap < need) cap *= 2;
        r->data = static_cast<unsigned char *>(mem_realloc(r->data, cap + 1));
        r->capacity = cap;
    }
    while (r->end - r->pos < want && !r->eof) {
        size_t room = r->capacity - r->end;
        if (room == 0) break;
        if (r->by_line) {
            // Never wait for more than the line being typed.
            int c = EOF;
            while (r->end < r->capacity && (c = std::getc(r->stream)) != EOF) {
                r->data[r->end++] = static_cast<unsigned char>(c);
                if (c == '\n') break;
            }
            if (c == EOF) {
                if (std::ferror(r->stream))
                    error("Could not read %s %s: %s", r->what, r->name ? r->name : "",
                          std::strerror(errno));
                r->eof = true;
            }
            if (c == '\n') break;
            continue;
        }
        size_t got = r->stream ? std::fread(r->data + r->end, 1, room, r->stream) : 0;
        r->end += got;
        if (got < room) {
            if (r->stream && std::ferror(r->stream))
                error("Could not read %s %s: %s", r->what, r->name ? r->name : "",
                      std::strerror(errno));
            r->eof = true;
        }
    }
    r->data[r->end] = '\0';
    return r->end - r->pos;
}

int reader_getc_refill(InputReader *r) {
    if (r->pos < r->end) return r->data[r->pos++];
    if (reader_fill(r, 1) == 0) return EOF;
    return r->data[r->pos++];
}

void reader_ungetc(InputReader *r) {
    if (r->pos > 0) r->pos--;
}

bool reader_line(InputReader *r, char **line, size_t *length) {
    restore_last_newline(r);
    size_t scanned = 0;  // bytes from pos known to hold no newline
    for (;;) {
        size_t avail = r->end - r->pos;
        const void *nl = avail > scanned
                             ? std::memchr(r->data + r->pos + scanned, '\n', avail - scanned)
                             : nullptr;
        if (nl) {
            size_t len = static_cast<const unsigned char *>(nl) - (r->data + r->pos);
            r->last_start = r->pos;
            r->last_length = len;
            r->last_had_newline = true;
            r->can_unget = true;
            r->data[r->pos + len] = '\0';
            *line = reinterpret_cast<char *>(r->data + r->pos);
            *length = len;
            r->pos += len + 1;
            r->line_number++;
            return true;
        }
        scanned = avail;
        if (r->eof) break;
        reader_fill(r, avail + READER_BLOCK);
    }
    size_t avail = r->end - r->pos;
    if (avail == 0) {
        r->can_unget = false;
        return false;
    }
    // A last line without a newline: data[end] is already the NUL.
    r->last_start = r->pos;
    r->last_length = avail;
    r->last_had_newline = false;
    r->can_unget = true;
    *line = reinterpret_cast<char *>(r->data + r->pos);
    *length = avail;
    r->pos = r->end;
    r->line_number++;
    return true;
}

void reader_unget_line(InputReader *r) {
    if (!r->can_unget) return;
    if (r->last_had_newline) r->data[r->last_start + r->last_length] = '\n';
    r->pos = r->last_start;
    r->can_unget = false;
    r->line_number--;
}

size_t reader_read(InputReader *r, void *dst, size_t n) {
    unsigned char *out = static_cast<unsigned char *>(dst);
    size_t done = 0;
    while (done < n) {
        size_t avail = r->end - r->pos;
        if (avail == 0) {
            avail = reader_fill(r, 1);
            if (avail == 0) break;
        }
        size_t take = avail < n - done ? avail : n - done;
        std::memcpy(out + done, r->data + r->pos, take);
        r->pos += take;
        done += take;
    }
    restore_last_newline(r);
    r->can_unget = false;
    return done;
}

bool reader_at_end(InputReader *r) {
    return reader_fill(r, 1) == 0;
}

int reader_byte_before(const InputReader *r, size_t at) {
    if (at == 0) return r->before_data;
    if (r->can_unget && r->last_had_newline && at - 1 == r->last_start + r->last_length)
        return '\n';
    return r->data[at - 1];
}

bool reader_line_with_end(InputReader *r, char **line, size_t *length) {
    if (!reader_line(r, line, length)) return false;
    if (r->last_had_newline) (*line)[(*length)++] = '\n';
    return true;
}

bool reader_line_copy(InputReader *r, std::string &line) {
    char *text;
    size_t length;
    if (!reader_line_with_end(r, &text, &length)) {
        line.clear();
        return false;
    }
    line.assign(text, length);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Text: white space, numbers, tokens
// ---------------------------------------------------------------------------------------------

static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

const char *scan_long(const char *p, const char *end, long *out, bool *overflow) {
    p = skip_space(p, end);
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) {
        neg = *p == '-';
        p++;
    }
    if (p >= end || !is_digit(*p)) return nullptr;
    unsigned long v = 0;
    const unsigned long limit = neg ? 0UL - (unsigned long)LONG_MIN : (unsigned long)LONG_MAX;
    const unsigned long cutoff = limit / 10, last_digit = limit % 10;
    bool over = false;
    for (; p < end && is_digit(*p); p++) {
        unsigned long d = (unsigned long)(*p - '0');
        if (over || v > cutoff || (v == cutoff && d > last_digit)) {
            over = true;
            continue;
        }
        v = v * 10 + d;
    }
    if (over) v = limit;
    *out = neg ? (long)(0UL - v) : (long)v;
    if (overflow) *overflow = over;
    return p;
}

const char *scan_int(const char *p, const char *end, int *out) {
    long v;
    p = scan_long(p, end, &v);
    if (!p) return nullptr;
    *out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
    return p;
}

// True when the bytes from p (before end) begin with the word (lower case), case ignored.
static bool has_word(const char *p, const char *end, const char *word) {
    for (; *word; word++, p++)
        if (p >= end || std::tolower((unsigned char)*p) != *word) return false;
    return true;
}

// The end of a mantissa at p (digits, then an optional '.' and digits; hexadecimal digits when
// hex) with its optional exponent ('e' or, when hex, 'p', an optional sign and decimal digits).
// *digits tells whether the mantissa held a digit; without one nothing past it is taken.
static const char *mantissa_extent(const char *p, const char *end, bool hex, bool *digits) {
    auto mantissa_digit = [hex](char c) {
        return hex ? std::isxdigit((unsigned char)c) != 0 : is_digit(c);
    };
    const char *q = p;
    *digits = false;
    while (q < end && mantissa_digit(*q)) q++, *digits = true;
    if (q < end && *q == '.') {
        q++;
        while (q < end && mantissa_digit(*q)) q++, *digits = true;
    }
    if (!*digits) return q;
    if (q < end && std::tolower((unsigned char)*q) == (hex ? 'p' : 'e')) {
        const char *e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) e++;
        if (e < end && is_digit(*e)) {
            while (e < end && is_digit(*e)) e++;
            q = e;
        }
    }
    return q;
}

// The end of the floating number at p (no white space before it), or null when none.
static const char *double_extent(const char *p, const char *end, NumberForms forms) {
    if (p < end && (*p == '+' || *p == '-')) p++;
    if (has_word(p, end, "infinity")) return p + 8;
    if (has_word(p, end, "inf")) return p + 3;
    if (has_word(p, end, "nan")) {
        p += 3;
        if (forms == C_FORMS && p < end && *p == '(') {
            const char *q = p + 1;
            while (q < end && (std::isalnum((unsigned char)*q) || *q == '_')) q++;
            if (q < end && *q == ')') p = q + 1;
        }
        return p;
    }
    bool hex = forms == C_FORMS && p + 1 < end && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    bool digits = false;
    if (hex) {
        const char *q = mantissa_extent(p + 2, end, true, &digits);
        return digits ? q : p + 1;  // without digits, the "0" alone
    }
    const char *q = mantissa_extent(p, end, false, &digits);
    return digits ? q : nullptr;
}

const char *scan_double(const char *p, const char *end, double *out, bool *overflow,
                        NumberForms forms) {
    p = skip_space(p, end);
    const char *stop = double_extent(p, end, forms);
    if (!stop) return nullptr;
    std::string copy(p, (size_t)(stop - p));
    errno = 0;
    double v = std::strtod(copy.c_str(), nullptr);
    if (overflow) *overflow = errno == ERANGE && std::fabs(v) == HUGE_VAL;
    *out = v;
    return stop;
}

const char *const SPACE_SEPARATORS = " \t\n\v\f\r";

const char *next_token(const char *p, const char *end, const char *seps, const char **token,
                       size_t *length) {
    auto separator = [seps](char c) { return c != '\0' && std::strchr(seps, c) != nullptr; };
    while (p < end && separator(*p)) p++;
    if (p >= end) return nullptr;
    const char *start = p;
    while (p < end && !separator(*p)) p++;
    *token = start;
    *length = (size_t)(p - start);
    return p;
}

std::vector<std::string> split_tokens(const std::string &text, const char *seps) {
    std::vector<std::string> tokens;
    const char *p = text.data(), *end = p + text.size(), *token;
    size_t length;
    while ((p = next_token(p, end, seps, &token, &length))) tokens.emplace_back(token, length);
    return tokens;
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
        if (shown_as_is(b)) {
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
    return b == '\\' ? std::string("\\\\") : shown_text(&b, 1);
}

// ---------------------------------------------------------------------------------------------
// Output files and the comment header
// ---------------------------------------------------------------------------------------------

static const size_t MAX_OUTPUT_NAME = 1999;

// Output files open now, with their names, so that close_outputfile can name a file that could
// not be written whole, and remove it.
struct OutputFile {
    FILE *fp;
    std::string name;
};
static std::vector<OutputFile> open_outputs;

FILE *open_outputfile(const char *run_name, const char *suffix) {
    if (suffix && suffix[0] == '>') return suffix[1] == '&' ? stderr : stdout;
    std::string name(run_name ? run_name : "");
    if (suffix) name += suffix;
    if (name.size() > MAX_OUTPUT_NAME)
        error("(open_outputfile):  Output file name longer than %d characters: %.60s...",
              (int)MAX_OUTPUT_NAME, name.c_str());
    FILE *fp = std::fopen(name.c_str(), "w");
    if (!fp) error("(open_outputfile):  Could not open file %s", name.c_str());
    // A record left by a stream closed elsewhere (fclose) whose address came back is stale.
    for (size_t i = 0; i < open_outputs.size(); i++)
        if (open_outputs[i].fp == fp) open_outputs.erase(open_outputs.begin() + (long)i--);
    open_outputs.push_back(OutputFile{fp, name});
    return fp;
}

FILE *open_output_or_null(const char *name, const char *suffix) {
    if (!name || !*name) return nullptr;
    return open_outputfile(name, suffix);
}

// Flushes a stream; true when it or an earlier write failed, with *err the system's reason
// (EIO when only an earlier write is known to have failed).
static bool output_failed(FILE *fp, int *err) {
    errno = 0;
    bool failed = std::fflush(fp) != 0 || std::ferror(fp);
    *err = errno ? errno : EIO;
    return failed;
}

// The name of an output stream for messages.
static std::string output_name(FILE *fp) {
    if (fp == stdout) return "standard output";
    if (fp == stderr) return "standard error";
    for (const OutputFile &f : open_outputs)
        if (f.fp == fp) return f.name;
    return "an output file";
}

// Set once a failure of standard output has been reported, so that the exit does not report
// it again.
static bool stdout_failure_reported = false;

void flush_outputfile(FILE *fp) {
    int err;
    if (!fp || !output_failed(fp, &err)) return;
    if (fp == stdout) stdout_failure_reported = true;
    error("Could not write %s: %s", output_name(fp).c_str(), std::strerror(err));
}

void close_outputfile(FILE *fp) {
    if (!fp) return;
    if (fp == stdout || fp == stderr) {
        flush_outputfile(fp);
        return;
    }
    int err;
    std::string name;
    for (size_t i = 0; i < open_outputs.size(); i++)
        if (open_outputs[i].fp == fp) {
            name = open_outputs[i].name;
            open_outputs.erase(open_outputs.begin() + (long)i);
            break;
        }
    bool failed = output_failed(fp, &err);
    errno = 0;
    if (std::fclose(fp) != 0 && !failed) {
        failed = true;
        err = errno ? errno : EIO;
    }
    if (!failed) return;
    // No half-written file is left looking complete: the regular file that the name leads to
    // (through a symbolic link too) is removed; a device or a pipe is left alone.
    struct stat st;
    if (!name.empty() && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        char *target = realpath(name.c_str(), nullptr);
        unlink(target ? target : name.c_str());
        std::free(target);
    }
    error("Could not write %s: %s", name.empty() ? "an output file" : name.c_str(),
          std::strerror(err));
}

// At exit: standard output flushed and checked, as close_outputfile checks a file. A failure
// ends the process with status 1 (exit cannot be called again from here).
static void check_stdout_at_exit() {
    int err;
    if (!output_failed(stdout, &err) || stdout_failure_reported) return;
    std::fprintf(stderr, "Error: Could not write standard output: %s\n", std::strerror(err));
    std::fflush(stderr);
    _exit(1);
}

void check_stdout_on_exit() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    std::atexit(check_stdout_at_exit);
}

static const char *const banner_lines[12] = {
    "  Notice: this file was written by the QOR programs; see their documentation for terms.",
    "",
    "  QOR: profile hidden Markov model tools for biological sequences",
    "  Documentation: https://qor.example.org/",
    "",
    "  When publishing results obtained with QOR, please cite:",
    "    The QOR developers.  QOR: profile hidden Markov model tools for",
    "    protein, DNA and RNA sequences.  QOR documentation, 2026.",
    "    The QOR developers.  Integer-cost dynamic programming for profile",
    "    hidden Markov models.  QOR technical notes, 2026.",
    "    The QOR developers.  Dirichlet-mixture priors and regularizers in",
    "    QOR.  QOR technical notes, 2026.",
};

void print_banner_block(FILE *fp, const char *banner, char c) {
    std::fprintf(fp, "%c  %s\n", c, banner ? banner : "");
    for (const char *line : banner_lines) std::fprintf(fp, "%c%s\n", c, line);
    std::fprintf(fp, "%c ---------------------------------------------------------------------\n",
                 c);
}

FILE *prepare_statfile(const char *run_name, const char *banner, const char *suffix) {
    std::string host = get_host_name();
    FILE *fp = open_outputfile(run_name, suffix);
    print_banner_block(fp, banner, '%');
    std::fprintf(fp, "%%  %s   Host: %s    %s\n", run_name ? run_name : "", host.c_str(),
                 get_time());
    std::fprintf(fp, "%%  %-*s   Dir:  %s\n", (int)std::strlen(run_name ? run_name : ""),
                 get_user_name(), current_directory("?").c_str());
    std::fprintf(fp, "%% ---------------------------------------------------------------------\n");
    return fp;
}

void stat_print_time(FILE *fp) {
    std::fprintf(fp, "%%\n%%  Total CPU time:  %s\n", cpu_time());
    std::fprintf(fp, "%%  Finished at:  %s\n", get_time());
}

std::string current_directory(const char *fallback) {
    std::vector<char> buf(1024);
    for (;;) {
        if (getcwd(buf.data(), buf.size())) return std::string(buf.data());
        if (errno != ERANGE || buf.size() > (1u << 20)) return std::string(fallback);
        buf.resize(buf.size() * 2);
    }
}

// ---------------------------------------------------------------------------------------------
// Run information
// ---------------------------------------------------------------------------------------------

const char *get_time() {
    static char buf[64];
    time_t now = std::time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    if (std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tmv) == 0) buf[0] = '\0';
    return buf;
}

std::string format_cpu_time(long user_seconds, long system_seconds) {
    char user[64], sys[64];
    std::snprintf(user, sizeof user, "user %3d:%2d:%2d  ", (int)(user_seconds / 3600),
                  (int)(user_seconds / 60 % 60), (int)(user_seconds % 60));
    std::snprintf(sys, sizeof sys, "    system %3d:%2d:%2d", (int)(system_seconds / 3600),
                  (int)(system_seconds / 60 % 60), (int)(system_seconds % 60));
    // The system part starts at the 15th character, over the user part's two trailing blanks;
    // wider hours move it on rather than overwrite digits.
    std::string u(user);
    size_t at = std::max<size_t>(14, u.size() - 2);
    return u.substr(0, at) + sys;
}

const char *cpu_time() {
    static std::string text;
    struct tms t;
    times(&t);
    long tick = sysconf(_SC_CLK_TCK);
    if (tick <= 0) tick = 100;
    text = format_cpu_time((long)(t.tms_utime / tick), (long)(t.tms_stime / tick));
    return text.c_str();
}

double get_real_time() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return (double)tv.tv_sec + (double)tv.tv_usec / 1000000.0;
}

const char *get_host_name() {
    static char buf[200];
    char full[1025];
    if (gethostname(full, sizeof full) != 0) std::strcpy(full, "unknown");
    full[sizeof full - 1] = '\0';
    std::snprintf(buf, sizeof buf, "%.199s", full);
    return buf;
}

const char *get_user_name() {
    static char buf[200];
    struct passwd *pw = getpwuid(geteuid());
    if (pw && pw->pw_name)
        std::snprintf(buf, sizeof buf, "%.199s", pw->pw_name);
    else
        std::snprintf(buf, sizeof buf, "uid%ld", (long)geteuid());
    return buf;
}

const char *get_scoring_mode_msg(int code) {
    switch (code) {
        case 0: return "global";
        case 1: return "semilocal";
        case 2: return "local";
        case 3: return "domain";
        default: return "unknown";
    }
}

const char *get_null_model_msg(int code) {
    switch (code) {
        case 0: return "raw";
        case 1: return "simple";
        case 2: return "complex";
        case 3: return "users";
        case 4: return "reverse";
        case 5: return "scaled";
        default: return "unknown";
    }
}

const char *get_dp_style_msg(int code) {
    switch (code) {
        case 1: return "viterbi";
        case 2: return "posdecode";
        case 4: return "posdecod_align";
        case 5: return "posdecod_align_ztrans";
        default: return "EM";
    }
}

// The separators of the names of a list: white space and ','.
static const char *const NAME_SEPARATORS = " \t\n\v\f\r,";

NameList *parse_name_list(const char *text) {
    if (!text) text = "";
    size_t len = std::strlen(text);
    const char *p = text, *end = text + len, *token;
    size_t length, count = 0;
    while ((p = next_token(p, end, NAME_SEPARATORS, &token, &length))) count++;
    size_t head = sizeof(NameList) + count * sizeof(char *);
    NameList *list = (NameList *)mem_alloc(head + len + 1);
    list->count = (int)count;
    list->name = (char **)((char *)list + sizeof(NameList));
    char *copy = (char *)list + head;
    std::memcpy(copy, text, len + 1);
    size_t k = 0;
    p = copy;
    end = copy + len;
    while ((p = next_token(p, end, NAME_SEPARATORS, &token, &length))) {
        list->name[k++] = copy + (token - copy);
        copy[token - copy + length] = '\0';  // a separator, or the NUL at the end
        if (p < end) p++;                    // past the separator just cleared
    }
    return list;
}

uint32_t hash_string(const char *text) {
    uint32_t h = 0;
    for (const char *p = text ? text : ""; *p; p++) h = 9u * h + (uint32_t)(int32_t)(signed char)*p;
    return h;
}
