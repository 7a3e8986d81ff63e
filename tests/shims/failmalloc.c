/* Preloaded into a program (LD_PRELOAD), makes its allocations fail from a given one on: with
 * FM_AT=N in the environment, the N-th call of malloc, calloc or realloc made from main's start-up
 * on (counted from 1) and every later one give null with errno ENOMEM. With FM_COUNT=FILE, the
 * number of calls made by the end of the run is written to FILE at exit, so that a test can sweep
 * N over every allocation of a run. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);

static long fail_at = 0; /* 0: never */
static long calls = 0;
static int counting = 0; /* from this library's constructor on */

/* Whether this call is one to fail. */
static int fails(void) {
    if (!counting) return 0;
    calls++;
    if (fail_at > 0 && calls >= fail_at) {
        errno = ENOMEM;
        return 1;
    }
    return 0;
}

void *malloc(size_t n) { return fails() ? NULL : __libc_malloc(n); }
void *calloc(size_t n, size_t size) { return fails() ? NULL : __libc_calloc(n, size); }
void *realloc(void *p, size_t n) { return fails() ? NULL : __libc_realloc(p, n); }

__attribute__((constructor)) static void start_counting(void) {
    const char *at = getenv("FM_AT");
    if (at) fail_at = strtol(at, NULL, 10);
    counting = 1;
}

__attribute__((destructor)) static void report_count(void) {
    const char *file = getenv("FM_COUNT");
    if (!file) return;
    char text[32];
    int n = snprintf(text, sizeof text, "%ld\n", calls);
    int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    if (write(fd, text, (size_t)n) < 0) {}
    close(fd);
}
