// Output files with their checked close and comment header, the banner block, and run
// information (times, host, user, working directory, texts of the mode codes).
#include "foundation/output_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>
#include <unistd.h>

#include "foundation/errors.h"

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
              (int)MAX_OUTPUT_NAME, shown_text(name).c_str());
    FILE *fp = std::fopen(name.c_str(), "w");
    if (!fp) error("(open_outputfile):  Could not open file %s", shown_text(name).c_str());
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
    error("Could not write %s: %s", shown_text(output_name(fp)).c_str(), std::strerror(err));
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
    error("Could not write %s: %s", name.empty() ? "an output file" : shown_text(name).c_str(),
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
