// Fatal errors, allocation, name comparison, input files with decompression, output files with
// their comment header, and run information.
#include "utilities.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

bool error_throws = false;

void error(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string msg(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0)
        std::vsnprintf(&msg[0], (size_t)n + 1, fmt, ap2);
    va_end(ap2);
    if (error_throws)
        throw FatalError{msg};
    std::fflush(stdout);
    std::fprintf(stderr, "Error: %s\n", msg.c_str());
    std::fflush(stderr);
    std::exit(1);
}

void fatal_exit_plain(const char *message)
{
    if (error_throws)
        throw FatalError{message};
    std::fflush(stdout);
    std::fputs(message, stderr);
    std::fflush(stderr);
    std::exit(1);
}

void *mem_alloc(size_t n)
{
    void *p = (n <= SIZE_MAX - 4) ? std::calloc(1, n + 4) : nullptr;
    if (!p)
        error("out of memory allocating %d bytes", (int)n);
    return p;
}

void *mem_realloc(void *block, size_t n)
{
    void *p = (n <= SIZE_MAX - 4) ? std::realloc(block, n + 4) : nullptr;
    if (!p)
        error("out of memory reallocating %d bytes", (int)n);
    return p;
}

void *memdub(const void *src, size_t n)
{
    void *p = mem_alloc(n);
    if (n)
        std::memcpy(p, src, n);
    return p;
}

char *str_dup(const char *text)
{
    if (!text)
        return nullptr;
    return (char *)memdub(text, std::strlen(text));
}

void **double_alloc(size_t, size_t, size_t) { return nullptr; }
void double_free(void **, size_t) {}
void **permute(int, void **, void **) { return nullptr; }
int compar(const void *, const void *) { return 0; }
int capscomp(const char *, const char *) { return 0; }
FILE *open_read(const char *, int) { return nullptr; }
FILE *open_read_env(const char *, const char *, const char *, const char *, FILE *, int)
{
    return nullptr;
}
void close_read(FILE *) {}
bool read_whole_line(FILE *, std::string &) { return false; }
FILE *open_outputfile(const char *, const char *) { return nullptr; }
FILE *open_output_or_null(const char *, const char *) { return nullptr; }
void close_outputfile(FILE *) {}
FILE *prepare_statfile(const char *, const char *, const char *) { return nullptr; }
void stat_print_time(FILE *) {}
void print_banner_block(FILE *, const char *, char) {}
const char *get_time() { return ""; }
const char *cpu_time() { return ""; }
std::string format_cpu_time(long, long) { return ""; }
double get_real_time() { return 0; }
const char *get_host_name() { return ""; }
const char *get_user_name() { return ""; }
const char *get_scoring_mode_msg(int) { return "unknown"; }
const char *get_null_model_msg(int) { return "unknown"; }
const char *get_dp_style_msg(int) { return "EM"; }
NameList *parse_name_list(const char *) { return nullptr; }
uint32_t hash_string(const char *) { return 0; }
