// Input files: opening with transparent decompression, pipes read once into a temporary copy,
// library search through an environment variable, closing with the decompressor's status, and
// reads and opens made again when a signal cuts them short.
#include "foundation/input_files.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/child_process.h"
#include "foundation/errors.h"
#include "foundation/interrupts.h"

// ---------------------------------------------------------------------------------------------
// Input files
// ---------------------------------------------------------------------------------------------

// Streams that are the read ends of decompression commands, with the command, so that close_read
// knows which streams to wait for (whatever the descriptor kind).
struct CommandStream {
    FILE *fp;
    int fd;
    ChildProcess command;
};
// A list: a ChildProcess is moved, never assigned.
static std::list<CommandStream> command_streams;

static bool ends_with(const std::string &s, const char *suffix) {
    size_t n = std::strlen(suffix);
    return s.size() > n && s.compare(s.size() - n, n, suffix) == 0;
}

// Starts "gunzip -c name" (or "uncompress -c name") with an argument vector, no shell, and
// returns the read end of its standard output, or null when it cannot be started.
static FILE *start_decompressor(const std::string &name, ChildProcess *command) {
    const char *prog = ends_with(name, ".Z") ? "uncompress" : "gunzip";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
    const std::string arg = file_argument(name);
    const char *argv[] = {prog, "-c", arg.c_str(), nullptr};
    bool started = start_child(argv, -1, fds[1], -1, command);
    int saved = errno;
    close(fds[1]);
    if (!started) {
        close(fds[0]);
        errno = saved;
        return nullptr;
    }
    FILE *fp = fdopen(fds[0], "r");
    if (!fp) {
        saved = errno;
        close(fds[0]);
        wait_child(command);
        errno = saved;
    }
    return fp;
}

// Where anonymous temporaries go when TMPDIR does not say, and the pattern of the name a
// temporary has for an instant where the folder's file system cannot make one without a name.
static const char DEFAULT_TMPDIR[] = "/tmp";
static const char ANONYMOUS_PATTERN[] = "/qor.XXXXXX";

FILE *anonymous_tempfile() {
    const char *env = std::getenv("TMPDIR");
    std::string dir = env && *env ? env : DEFAULT_TMPDIR;
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        // Named, then unlinked at once; an interrupt cannot come between.
        std::string path = dir + ANONYMOUS_PATTERN;
        InterruptHold hold;
        fd = mkostemp(&path[0], O_CLOEXEC);
        if (fd < 0) return nullptr;
        unlink(path.c_str());
    }
    FILE *fp = fdopen(fd, "w+");
    if (!fp) {
        int saved = errno;
        close(fd);
        errno = saved;
    }
    return fp;
}

size_t rewind_copy_limit = (size_t)1 << 30;

// A temporary copy that cannot be written (a full disk) ends the run: the source is spent, and
// a copy cut short must not pass for the input.
[[noreturn]] static void copy_failed(const char *name, int err) {
    error("Could not copy %s to a temporary file: %s", shown_text(name).c_str(),
          std::strerror(err ? err : EIO));
}

// Copies the stream src, opened under name, into an anonymous temporary file, positioned at its
// start, refusing a stream longer than limit bytes (EFBIG). Returns null (with errno of the
// failure) when the stream is too long or cannot be read; src is left open for the caller.
static FILE *copy_to_tempfile(FILE *src, const char *name, bool *src_error,
                              size_t limit = SIZE_MAX) {
    FILE *tmp = anonymous_tempfile();
    if (!tmp) copy_failed(name, errno);
    std::vector<char> buf(size_t(1) << 16);
    size_t total = 0;
    int read_errno = 0;
    for (;;) {
        size_t got = read_input(src, buf.data(), buf.size());
        read_errno = errno;
        if (got > limit - total) {
            std::fclose(tmp);
            *src_error = false;
            errno = EFBIG;
            return nullptr;
        }
        total += got;
        errno = 0;
        size_t put = got ? std::fwrite(buf.data(), 1, got, tmp) : 0;
        if (put != got) copy_failed(name, errno);
        if (got < buf.size()) break;
    }
    *src_error = std::ferror(src) != 0;
    if (*src_error) {
        std::fclose(tmp);
        errno = read_errno;
        return nullptr;
    }
    errno = 0;
    if (std::ferror(tmp) || std::fflush(tmp) != 0) copy_failed(name, errno);
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
    ChildProcess command;
    FILE *pipe_fp = start_decompressor(name, &command);
    if (!pipe_fp) return nullptr;
    if (!(flags & OPEN_REWIND)) {
        command_streams.push_back(CommandStream{pipe_fp, fileno(pipe_fp), std::move(command)});
        return pipe_fp;
    }
    bool src_error = false;
    FILE *tmp = copy_to_tempfile(pipe_fp, name.c_str(), &src_error, rewind_copy_limit);
    int saved = errno;
    std::fclose(pipe_fp);
    int status = wait_child(&command);
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
    if (FILE *fp = open_input(path)) return fp;
    // Without /proc: a second descriptor, rewound. It shares the position with the others, which
    // is enough for streams of one source that are read one after another.
    int fd = dup(fileno(copy));
    if (fd < 0) return nullptr;
    lseek(fd, 0, SEEK_SET);
    FILE *fp = fdopen(fd, "r");
    if (!fp) close(fd);
    return fp;
}

// Copies the pipe fp (already open under name; closed here) into a spooled copy kept under its
// identity, and returns a stream at the start of the copy, or null with errno of the failure.
static FILE *spool_pipe(FILE *fp, const char *name, const struct stat &st, int flags) {
    bool src_error = false;
    FILE *copy = copy_to_tempfile(fp, name, &src_error,
                                  (flags & OPEN_REWIND) ? rewind_copy_limit : SIZE_MAX);
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
    FILE *fp = open_input(name.c_str());
    if (!fp) return nullptr;
    if (fstat(fileno(fp), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            std::fclose(fp);
            errno = EISDIR;
            return nullptr;
        }
        if (is_pipe(st)) return spool_pipe(fp, name.c_str(), st, flags);
        // A device named as a file cannot seek: give a rewindable copy when asked.
        if ((flags & OPEN_REWIND) && !S_ISREG(st.st_mode)) {
            bool src_error = false;
            FILE *tmp = copy_to_tempfile(fp, name.c_str(), &src_error, rewind_copy_limit);
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
            error("Couldn't open file %s: %s\n", shown_text(name).c_str(),
                  std::strerror(plain_errno));
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
        error("Library path too long (more than %d characters): %.60s...", 2007,
              shown_text(path).c_str());
    fp = open_read(path.c_str(), flags & OPEN_REWIND);
    if (fp) {
        if (log) std::fputs(path.c_str(), log);
        return fp;
    }
    if (!(flags & OPEN_QUIET))
        std::fprintf(stderr, "Warning:  %s not found in current directory\nor using $%s %s\n",
                     shown_text(name).c_str(), var ? var : "", shown_text(path).c_str());
    if (flags & OPEN_FATAL)
        error("Couldn't open file %s: %s\n", shown_text(name).c_str(), std::strerror(first_errno));
    if (log) std::fprintf(log, "File Not Found (%s)", name);
    errno = first_errno;
    return nullptr;
}

void close_read(FILE *fp) {
    if (!fp) return;
    struct stat st;
    if (fstat(fileno(fp), &st) != 0) error("close_read: file not open");
    for (auto it = command_streams.begin(); it != command_streams.end(); ++it) {
        if (it->fp != fp) continue;
        ChildProcess command = std::move(it->command);
        bool same = it->fd == fileno(fp) && S_ISFIFO(st.st_mode);
        command_streams.erase(it);
        if (!same) {
            // A stale record: the stream was closed elsewhere and the handle reused.
            forget_on_interrupt(command.record);
            break;
        }
        bool at_end = std::feof(fp) != 0;
        std::fclose(fp);
        int status = wait_child(&command);
        if (status < 0) error("pclose failed: %s", std::strerror(errno));
        if (status > 0 && at_end) error("gzcat terminated on an error: %d", status);
        return;
    }
    std::fclose(fp);
}

bool read_file(const std::string &path, std::string *text) {
    FILE *in = open_input(path.c_str());
    if (!in) return false;
    text->clear();
    char buf[1 << 16];
    size_t n;
    do {
        n = read_input(in, buf, sizeof buf);
        text->append(buf, n);
    } while (n == sizeof buf);
    bool read = !std::ferror(in);
    std::fclose(in);
    return read;
}

// ---------------------------------------------------------------------------------------------
// Reads and opens cut short by a signal
// ---------------------------------------------------------------------------------------------

size_t read_input(FILE *fp, void *buf, size_t n) {
    char *to = static_cast<char *>(buf);
    size_t got = 0;
    for (;;) {
        errno = 0;
        got += std::fread(to + got, 1, n - got, fp);
        if (got == n || !std::ferror(fp)) return got;
        if (errno != EINTR) {
            if (errno == 0) errno = EIO;
            return got;
        }
        // Cut short by a signal: the bytes read so far are kept, and the stream reads on.
        std::clearerr(fp);
    }
}

FILE *open_input(const char *path) {
    for (;;) {
        FILE *fp = std::fopen(path, "r");
        if (fp || errno != EINTR) return fp;
    }
}
