// Output files with their checked close and comment header, the banner block, and run
// information (times, host, user, working directory, texts of the mode codes).
#include "foundation/output_files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/interrupts.h"

// ---------------------------------------------------------------------------------------------
// Output files and the comment header
// ---------------------------------------------------------------------------------------------

static const size_t MAX_OUTPUT_NAME = 1999;
// Symbolic links followed, at most, to find the file an output name leads to.
static const int MAX_LINK_HOPS = 40;
// Mode bits of a new file before the umask, as a plain create gives them.
static const mode_t NEW_FILE_MODE = 0666;
static const mode_t PERMISSION_BITS = 0777;
// The longest file name a folder takes when it does not say, and the mkstemp pattern's tail.
static const long DEFAULT_NAME_MAX = 255;
static const char TEMP_PATTERN[] = ".XXXXXX";

// Output files open or held, with their names, so that close_outputfile can name a file that
// could not be written whole. A regular file is written to a temporary file beside it (temp),
// which replaces the file the name leads to (target) once it is complete; a stream without a
// temporary writes to the name directly.
struct OutputSink;
struct OutputFile {
    FILE *fp;  // null once closed and held for commit_outputfiles
    std::string name;
    std::string temp;
    std::string target;
    InterruptEntry *guard;  // removes temp if the run is interrupted
    OutputSink *sink;       // what the stream writes to, while it is open
};
static std::vector<OutputFile> open_outputs;

// ---------------------------------------------------------------------------------------------
// The streams: each writes its descriptor through a sink that keeps the first error a write met,
// so that the message names it (a full disk) even when the failed write was one past the stream's
// buffer, long before the stream is checked.
// ---------------------------------------------------------------------------------------------

struct OutputSink {
    int fd;
    int first_error;  // 0 while every write went through
    OutputSink *prev, *next;
    std::string *copy;  // also gets every byte written, or null (see copy_written_text)
};
// The sinks of the streams still open, in a list that no destructor takes down: a stream left
// open at exit is flushed by the C library after every destructor has run, through its sink.
static OutputSink *open_sinks = nullptr;

static ssize_t sink_write(void *cookie, const char *buf, size_t size) {
    OutputSink *sink = static_cast<OutputSink *>(cookie);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(sink->fd, buf + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A write that takes nothing and says nothing: the device is full.
            if (sink->first_error == 0) sink->first_error = n < 0 ? errno : ENOSPC;
            break;
        }
        // An exception must not pass through the C library that called this: a copy that cannot
        // grow fails the write (ENOMEM), as a full disk would.
        try {
            if (sink->copy) sink->copy->append(buf + done, (size_t)n);
        } catch (...) {  // std::bad_alloc
            if (sink->first_error == 0) sink->first_error = ENOMEM;
            break;
        }
        done += (size_t)n;
    }
    return (ssize_t)done;  // short: the stream's error flag is set
}

static int sink_seek(void *cookie, off64_t *offset, int whence) {
    off_t at = lseek(static_cast<OutputSink *>(cookie)->fd, (off_t)*offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

static int sink_close(void *cookie) {
    OutputSink *sink = static_cast<OutputSink *>(cookie);
    int r = close(sink->fd);
    (sink->prev ? sink->prev->next : open_sinks) = sink->next;
    if (sink->next) sink->next->prev = sink->prev;
    delete sink;
    return r;
}

// A stream writing fd (which it owns from here, closed when it is), its sink in *sink; null, with
// errno set, when no stream can be made (fd is then closed, unless keep_on_failure).
static FILE *sink_stream(int fd, OutputSink **sink, bool keep_on_failure = false) {
    *sink = new OutputSink{fd, 0, nullptr, open_sinks, nullptr};
    cookie_io_functions_t io = {nullptr, sink_write, sink_seek, sink_close};
    FILE *fp = fopencookie(*sink, "w", io);
    if (fp) {
        if (open_sinks) open_sinks->prev = *sink;
        open_sinks = *sink;
    } else {
        int err = errno;
        if (!keep_on_failure) close(fd);
        delete *sink;
        *sink = nullptr;
        errno = err;
    }
    return fp;
}

// Standard output's sink, once check_stdout_on_exit has put it in place; null before.
static OutputSink *stdout_sink = nullptr;

// The folder part of a path ("." for none) and the file name part.
static std::string folder_of(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static std::string file_name_of(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path that the name leads to through symbolic links (dangling or not); "" when the links go
// on too long or cannot be read.
static std::string link_target(std::string path) {
    for (int hop = 0; hop < MAX_LINK_HOPS; hop++) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> buf((size_t)(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
        if (n < 0 || (size_t)n >= buf.size()) return "";
        std::string to(buf.data(), (size_t)n);
        path = to[0] == '/' ? to : folder_of(path) + "/" + to;
    }
    return "";
}

// The record of an open output stream, or null.
static const OutputFile *record_of(FILE *fp) {
    for (const OutputFile &f : open_outputs)
        if (fp && f.fp == fp) return &f;
    return nullptr;
}

// Abandons the temporary of an output: removes it and forgets its record for interrupts.
static void abandon_temporary(const OutputFile &f) {
    InterruptHold hold;
    if (!f.temp.empty()) unlink(f.temp.c_str());
    forget_on_interrupt(f.guard);
}

// The longest file name the folder takes.
static size_t name_max_of(const std::string &folder) {
    long name_max = pathconf(folder.c_str(), _PC_NAME_MAX);
    return (size_t)(name_max > 0 ? name_max : DEFAULT_NAME_MAX);
}

// The mkstemp pattern of the hidden temporary for target: ".<file name>.XXXXXX" in its folder,
// the file name cut short when the whole would pass name_max, the longest name the folder takes.
static std::string temporary_pattern(const std::string &target, size_t name_max) {
    std::string folder = folder_of(target), name = file_name_of(target);
    size_t room = name_max - 1 - (sizeof TEMP_PATTERN - 1);
    if (name.size() > room) name.resize(room);
    return folder + "/." + name + TEMP_PATTERN;
}

// Whether a refusal of the system to make or fit a temporary leaves the file to be written
// directly: a folder that takes no new file for want of permission (or a new file that cannot be
// given the file's owner), and the refusals under which the plain open can find no file to write
// over either (no such folder, a read-only file system) but may find what a name of /proc leads
// to. Any other reason (a full disk, no inode or descriptor left, a quota) fails the open, so
// that the old file is never written over without a temporary.
static bool write_directly_after(int err) {
    return err == EACCES || err == EPERM || err == ENOENT || err == ENOTDIR || err == EROFS;
}

// How an output is written: through a temporary that replaces the file once complete, directly
// to the file, or not at all (no temporary can be made, and the file is not written over without
// one).
enum OutputRoute { ROUTE_TEMPORARY, ROUTE_DIRECT, ROUTE_FAILED };

// A temporary file for the new content of the file that name leads to, opened for writing in *fp,
// with *temp, *target, *sink and *guard (its record for interrupts and the exit clean-up, made
// before the file so that nothing that may fail comes between) set: ROUTE_TEMPORARY. The output is
// better written directly (ROUTE_DIRECT) when it is not a regular file, or its folder takes no new
// file, or the owner and group of the file cannot be given to a new one, or it cannot be made under
// its name at all (a file name longer than its folder takes, which the plain open then refuses at
// once); ROUTE_FAILED, with errno set, when the temporary cannot be made for any other reason.
// The caller holds an InterruptHold across this call, so that no signal falls between the file and
// its record.
static OutputRoute open_temporary(const std::string &name, FILE **fp, std::string *temp,
                                  std::string *target, OutputSink **sink, InterruptEntry **guard) {
    // Not a regular file (a pipe or a device, also behind a link of /proc such as /dev/stdout).
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return ROUTE_DIRECT;
    *target = link_target(name);
    if (target->empty()) return ROUTE_DIRECT;
    const size_t name_max = name_max_of(folder_of(*target));
    if (file_name_of(*target).size() > name_max) return ROUTE_DIRECT;
    bool exists = stat(target->c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return ROUTE_DIRECT;
    // A file that may not be written is not replaced either: the plain open refuses it.
    if (exists && access(target->c_str(), W_OK) != 0) return ROUTE_DIRECT;
    *temp = temporary_pattern(*target, name_max);
    *guard = remove_on_interrupt(temp->c_str());
    // Not inherited by the programs the run starts (gnuplot writes a plot's temporary by name).
    int fd = mkostemp(interrupt_path(*guard), O_CLOEXEC);
    bool direct = fd < 0 && write_directly_after(errno);
    if (fd >= 0) {
        *temp = interrupt_path(*guard);  // the same length: no allocation
        // The permissions that writing over the file, or creating it, would give.
        mode_t mode;
        if (exists) {
            mode = st.st_mode & PERMISSION_BITS;
        } else {
            mode_t mask = umask(0);
            umask(mask);
            mode = NEW_FILE_MODE & ~mask;
        }
        bool ok = fchmod(fd, mode) == 0;
        if (ok && exists && (st.st_uid != geteuid() || st.st_gid != getegid()))
            ok = fchown(fd, st.st_uid, st.st_gid) == 0;
        if (ok && (*fp = sink_stream(fd, sink)))  // closes fd when it fails
            return ROUTE_TEMPORARY;
        int err = errno;
        if (!ok) {
            direct = write_directly_after(err);
            close(fd);
        }
        unlink(temp->c_str());
        errno = err;
    }
    int err = errno;
    forget_on_interrupt(*guard);
    *guard = nullptr;
    temp->clear();
    errno = err;
    return direct ? ROUTE_DIRECT : ROUTE_FAILED;
}

// Opens name for writing, through a temporary file where it can, and records it; null with errno
// set when the file cannot be made, *route telling whether it was to be written directly or the
// temporary failed. With temporary_only, null where no temporary can be made.
static FILE *open_output(const std::string &name, OutputRoute *route, bool temporary_only = false) {
    std::string temp, target;
    FILE *fp = nullptr;
    OutputSink *sink = nullptr;
    InterruptEntry *guard = nullptr;
    {
        // No interrupt between the making of the temporary and its record (a plain open, which
        // may wait for the reader of a FIFO, is not held).
        InterruptHold hold;
        *route = open_temporary(name, &fp, &temp, &target, &sink, &guard);
    }
    if (*route != ROUTE_TEMPORARY && (temporary_only || *route == ROUTE_FAILED)) return nullptr;
    if (!fp) {
        target.clear();
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, NEW_FILE_MODE);
        if (fd < 0 || !(fp = sink_stream(fd, &sink))) return nullptr;
    }
    // A record left by a stream closed elsewhere (fclose) whose address came back is stale.
    for (size_t i = 0; i < open_outputs.size(); i++)
        if (open_outputs[i].fp == fp) {
            abandon_temporary(open_outputs[i]);
            open_outputs.erase(open_outputs.begin() + (long)i--);
        }
    open_outputs.push_back(OutputFile{fp, name, temp, target, guard, sink});
    return fp;
}

FILE *open_outputfile(const char *run_name, const char *suffix) {
    if (suffix && suffix[0] == '>') return suffix[1] == '&' ? stderr : stdout;
    std::string name(run_name ? run_name : "");
    if (suffix) name += suffix;
    if (name.size() > MAX_OUTPUT_NAME)
        error("(open_outputfile):  Output file name longer than %d characters: %.60s...",
              (int)MAX_OUTPUT_NAME, shown_text(name).c_str());
    OutputRoute route;
    FILE *fp = open_output(name, &route);
    // Where no temporary could be made, the reason is told: the old file is kept for it.
    if (!fp && route == ROUTE_FAILED) {
        int err = errno;
        error("(open_outputfile):  Could not open file %s: %s", shown_text(name).c_str(),
              std::strerror(err));
    }
    if (!fp) error("(open_outputfile):  Could not open file %s", shown_text(name).c_str());
    return fp;
}

FILE *open_output_path(const char *path) {
    OutputRoute route;
    return open_output(path ? path : "", &route);
}

FILE *open_output_temporary(const char *path, bool *direct) {
    OutputRoute route;
    FILE *fp = open_output(path ? path : "", &route, true);
    *direct = route == ROUTE_DIRECT;
    return fp;
}

std::string output_temporary(FILE *fp) {
    const OutputFile *f = record_of(fp);
    return f ? f->temp : "";
}

void copy_written_text(FILE *fp, std::string *copy) {
    const OutputFile *f = record_of(fp);
    if (!f || !f->sink) return;
    std::fflush(fp);
    f->sink->copy = copy;
}

void discard_outputfile(FILE *fp) {
    if (!fp) return;
    for (size_t i = 0; i < open_outputs.size(); i++)
        if (open_outputs[i].fp == fp) {
            abandon_temporary(open_outputs[i]);
            open_outputs.erase(open_outputs.begin() + (long)i);
            break;
        }
    std::fclose(fp);
}

FILE *open_output_or_null(const char *name, const char *suffix) {
    if (!name || !*name) return nullptr;
    return open_outputfile(name, suffix);
}

// Flushes a stream (writing through sink, or null); true when it or an earlier write failed, with
// *err the system's reason: the first error a write met (EIO when none is known).
static bool output_failed(FILE *fp, const OutputSink *sink, int *err) {
    errno = 0;
    bool failed = std::fflush(fp) != 0 || std::ferror(fp);
    *err = sink && sink->first_error ? sink->first_error : errno ? errno : EIO;
    return failed;
}

// The name of an output stream for messages.
static std::string output_name(FILE *fp) {
    if (fp == stdout) return "standard output";
    if (fp == stderr) return "standard error";
    const OutputFile *f = record_of(fp);
    return f ? f->name : "an output file";
}

// Set once a failure of standard output has been reported, so that the exit does not report
// it again.
static bool stdout_failure_reported = false;

// The sink an output stream writes through (standard output's too), or null.
static const OutputSink *sink_of(FILE *fp) {
    if (fp && fp == stdout) return stdout_sink;
    const OutputFile *f = record_of(fp);
    return f ? f->sink : nullptr;
}

void flush_outputfile(FILE *fp) {
    int err;
    if (!fp || !output_failed(fp, sink_of(fp), &err)) return;
    if (fp == stdout) stdout_failure_reported = true;
    error("Could not write %s: %s", shown_text(output_name(fp)).c_str(), std::strerror(err));
}

// Puts a complete temporary in place of its target; false with errno set when the rename fails
// (the temporary is then removed).
static bool put_in_place(const OutputFile &f) {
    InterruptHold hold;
    if (f.temp.empty() || std::rename(f.temp.c_str(), f.target.c_str()) == 0) {
        forget_on_interrupt(f.guard);
        return true;
    }
    int err = errno;
    abandon_temporary(f);
    errno = err;
    return false;
}

// Checks and closes a recorded output stream (an unrecorded one is only closed). With hold, a
// complete temporary stays recorded for commit_outputfiles; otherwise it replaces its target.
// Returns 0, or the system's reason of a failure: the temporary is then removed and the target
// is as it was; a file written directly is removed when it is a regular file.
static int finish_output(FILE *fp, bool hold, std::string *name) {
    // While the record stands, the allocations: room for a held record to go back, the name, and
    // the flush (a copy of the text written may grow). One that fails ends the run with the
    // temporary still recorded, and so removed.
    open_outputs.reserve(open_outputs.size() + 1);
    const OutputFile *record = record_of(fp);
    *name = record ? record->name : "";
    int err;
    bool failed = output_failed(fp, record ? record->sink : nullptr, &err);
    OutputFile f{fp, "", "", "", nullptr, nullptr};
    for (size_t i = 0; i < open_outputs.size(); i++)
        if (open_outputs[i].fp == fp) {
            f = std::move(open_outputs[i]);
            open_outputs.erase(open_outputs.begin() + (long)i);
            break;
        }
    f.sink = nullptr;  // released by the close
    errno = 0;
    if (std::fclose(fp) != 0 && !failed) {
        failed = true;
        err = errno ? errno : EIO;
    }
    if (!failed && hold) {
        f.fp = nullptr;
        open_outputs.push_back(std::move(f));  // in the room reserved
        return 0;
    }
    if (!failed) {
        if (put_in_place(f)) return 0;
        return errno ? errno : EIO;
    }
    if (!f.temp.empty()) {
        abandon_temporary(f);
        return err;
    }
    // No half-written file is left looking complete: the regular file that the name leads to
    // (through a symbolic link too) is removed; a device or a pipe is left alone.
    struct stat st;
    if (!f.name.empty() && stat(f.name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        char *target = realpath(f.name.c_str(), nullptr);
        unlink(target ? target : f.name.c_str());
        std::free(target);
    }
    return err;
}

int close_output_path(FILE *fp) {
    if (!fp) return 0;
    std::string name;
    int err = finish_output(fp, false, &name);
    if (err == 0) return 0;
    errno = err;
    return EOF;
}

// Removes the temporaries of the held outputs and forgets them.
static void discard_held() {
    InterruptHold hold;
    for (size_t i = 0; i < open_outputs.size(); i++)
        if (!open_outputs[i].fp) {
            abandon_temporary(open_outputs[i]);
            open_outputs.erase(open_outputs.begin() + (long)i--);
        }
}

// Ends the run after a failed write of the output shown as shown_name; the held outputs, part of
// the same run, are discarded with it. replaced names the files of the set already put in place,
// if any. Nothing here allocates but the message (see error).
[[noreturn]] static void write_failure(const char *shown_name, int err, const char *replaced = "") {
    discard_held();
    error("Could not write %s: %s%s%s%s", shown_name, std::strerror(err),
          *replaced ? " (already replaced: " : "", replaced, *replaced ? ")" : "");
}

static void close_or_hold(FILE *fp, bool hold) {
    if (!fp) return;
    if (fp == stdout || fp == stderr) {
        flush_outputfile(fp);
        return;
    }
    std::string name;
    int err = finish_output(fp, hold, &name);
    if (err != 0) write_failure(name.empty() ? "an output file" : shown_text(name).c_str(), err);
}

void close_outputfile(FILE *fp) {
    close_or_hold(fp, false);
}

void hold_outputfile(FILE *fp) {
    close_or_hold(fp, true);
}

void commit_outputfiles() {
    // The set is put in place whole: a signal meanwhile waits until every file is renamed.
    InterruptHold hold;
    // What the message of a failed rename needs is made first: from the first rename to the last
    // nothing else can fail (an allocation that ended the run there would leave the set mixed
    // without saying so).
    std::vector<size_t> held;        // the held records, in order
    std::vector<std::string> shown;  // their names as the message shows them
    std::string replaced;            // "a, b, c", cut after the ones already in place
    std::vector<size_t> ends;        // where each name ends in it
    for (size_t i = 0; i < open_outputs.size(); i++) {
        if (open_outputs[i].fp) continue;
        held.push_back(i);
        shown.push_back(shown_text(open_outputs[i].name));
        replaced += (replaced.empty() ? "" : ", ") + shown.back();
        ends.push_back(replaced.size());
    }
    size_t placed = 0;
    int err = 0;
    while (placed < held.size() && put_in_place(open_outputs[held[placed]])) placed++;
    if (placed < held.size()) err = errno ? errno : EIO;  // that temporary is removed
    // Those in place, and the one that failed, are held no more (erasing allocates nothing).
    for (size_t k = std::min(placed + 1, held.size()); k-- > 0;)
        open_outputs.erase(open_outputs.begin() + (long)held[k]);
    if (placed == held.size()) return;
    // A rename that fails after others went through leaves the set mixed: say which are new.
    replaced[placed > 0 ? ends[placed - 1] : 0] = '\0';
    write_failure(shown[placed].c_str(), err, replaced.c_str());
}

void discard_outputfiles() {
    InterruptHold hold;
    std::vector<OutputFile> outputs;
    outputs.swap(open_outputs);
    for (const OutputFile &f : outputs) {
        if (f.fp) std::fclose(f.fp);
        abandon_temporary(f);
    }
}

// At exit: standard output flushed and checked, as close_outputfile checks a file. A failure
// ends the process with status 1 (exit cannot be called again from here), skipping the exit
// handlers registered before this one: it is registered at start-up, before the exit clean-up
// of interrupts.h, which so runs first.
static void check_stdout_at_exit() {
    int err;
    if (!output_failed(stdout, stdout_sink, &err) || stdout_failure_reported) return;
    std::fprintf(stderr, "Error: Could not write standard output: %s\n", std::strerror(err));
    std::fflush(stderr);
    _exit(1);
}

void check_stdout_on_exit() {
    if (stdout_sink) return;
    // Standard output writes descriptor 1 through a sink of its own, as output files do, so that a
    // failure names the first error a write met. The stream is never closed: the process's
    // descriptor stays open to the end, and the sink with it.
    OutputSink *sink = nullptr;
    std::fflush(stdout);
    if (FILE *fp = sink_stream(STDOUT_FILENO, &sink, true)) {
        // As the C library's own standard output: whole lines on a terminal.
        if (isatty(STDOUT_FILENO)) std::setvbuf(fp, nullptr, _IOLBF, BUFSIZ);
        stdout = fp;
        stdout_sink = sink;
    }
    run_at_exit(check_stdout_at_exit);
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
    // Asked before the file is opened: where the user database is asked in this process (see
    // get_user_name), it may fail badly (in the C library) when memory runs out, and must leave no
    // temporary behind if it does.
    std::string host = get_host_name(), user = get_user_name();
    FILE *fp = open_outputfile(run_name, suffix);
    print_banner_block(fp, banner, '%');
    std::fprintf(fp, "%%  %s   Host: %s    %s\n", run_name ? run_name : "", host.c_str(),
                 get_time());
    std::fprintf(fp, "%%  %-*s   Dir:  %s\n", (int)std::strlen(run_name ? run_name : ""),
                 user.c_str(), current_directory("?").c_str());
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

// The login name of uid from the user database, at most size - 1 bytes of it into name; false when
// it cannot be had. The look-up is made in a child process: the C library's own ends its process
// (a null pointer, a failed assertion) when an allocation of its fails, as when memory runs out,
// and then ends only the child, which leaves no core file either. Where no child can be made for
// another reason than want of memory (a limit on processes), it is made here.
static bool user_from_database(uid_t uid, char *name, size_t size) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    pid_t pid = fork();
    if (pid < 0 && errno != ENOMEM) {
        close(ends[0]);
        close(ends[1]);
        const struct passwd *pw = getpwuid(uid);
        return pw && pw->pw_name && std::snprintf(name, size, "%s", pw->pw_name) > 0;
    }
    if (pid == 0) {
        close(ends[0]);
        const struct rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        const struct passwd *pw = getpwuid(uid);
        size_t length = pw && pw->pw_name ? std::min(std::strlen(pw->pw_name), size - 1) : 0;
        _exit(length > 0 && write(ends[1], pw->pw_name, length) == (ssize_t)length ? 0 : 1);
    }
    close(ends[1]);
    size_t got = 0;
    for (ssize_t n = 1; pid > 0 && n != 0 && got < size - 1;) {
        n = read(ends[0], name + got, size - 1 - got);
        if (n < 0 && errno != EINTR) break;
        if (n > 0) got += (size_t)n;
    }
    close(ends[0]);
    while (pid > 0 && waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
    name[got] = '\0';
    // The child writes the whole name at once (a pipe takes it in one piece) or nothing.
    return got > 0;
}

const char *get_user_name() {
    static char buf[200];
    static bool known = false;
    if (!known && !user_from_database(geteuid(), buf, sizeof buf))
        std::snprintf(buf, sizeof buf, "uid%ld", (long)geteuid());
    known = true;
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
