/* Preloaded into a program (LD_PRELOAD), installs before main a SIGALRM handler without
 * SA_RESTART and a 20 ms interval timer: the program then runs with a kept handler (a profiler's,
 * say) under which slow system calls (a read of a pipe, an open of a FIFO) fail with EINTR. */
#include <signal.h>
#include <string.h>
#include <sys/time.h>

static void on_alarm(int sig) {
    (void)sig;
}

__attribute__((constructor)) static void start_interval_timer(void) {
    struct sigaction act;
    memset(&act, 0, sizeof act);
    act.sa_handler = on_alarm;
    sigemptyset(&act.sa_mask);
    act.sa_flags = 0; /* no SA_RESTART */
    sigaction(SIGALRM, &act, NULL);
    struct itimerval every = {{0, 20000}, {0, 20000}};
    setitimer(ITIMER_REAL, &every, NULL);
}
