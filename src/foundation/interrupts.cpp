// Interrupted runs: temporaries removed and children stopped from a signal handler, then the
// process ended by the same signal.
#include "foundation/interrupts.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/errors.h"

// The signals that end a run with its clean-up: every asynchronous signal whose default action
// ends the process but the real-time ones (SIGRTMIN to SIGRTMAX, left to their default action:
// sent by programs that use them, not to stop a run, and each would cost the start-up two calls).
// The crash signals (SEGV, BUS, FPE, ILL, ABRT, TRAP, SYS) are left to their default action too,
// and SIGXFSZ is ignored at start-up (a write past the size limit fails instead).
static const int INTERRUPT_SIGNALS[] = {SIGALRM,   SIGHUP,  SIGINT,  SIGPIPE, SIGQUIT,
                                        SIGTERM,   SIGPOLL, SIGPROF, SIGPWR,  SIGSTKFLT,
                                        SIGVTALRM, SIGXCPU, SIGUSR1, SIGUSR2};

// The set of those signals.
static sigset_t interrupt_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : INTERRUPT_SIGNALS) sigaddset(&set, sig);
    return set;
}

// How long a child stopped at the end of a run may take to end on SIGTERM before it is killed,
// and how often that is checked (milliseconds).
static const int STOP_GRACE_MS = 2000;
static const int STOP_POLL_MS = 10;
// How long a group killed after the grace is waited for (a process in an uninterruptible sleep
// ends only when it wakes).
static const int KILL_WAIT_MS = 1000;

// The records form a list that the handler walks while the run may be changing it: each link is
// one lock-free atomic store, and an entry is taken out of the list before it is released, so
// the handler sees either the list before a change or the list after it.
static_assert(ATOMIC_POINTER_LOCK_FREE == 2, "the handler needs lock-free pointers");
// Each record names the process that made it: a forked child runs the handler too (between fork
// and exec, or on its own), and must leave its parent's files and children alone.
struct InterruptEntry {
    std::atomic<InterruptEntry *> next{nullptr};
    pid_t owner = 0;
    char *path = nullptr;  // a file to remove, or null
    pid_t group = 0;       // a process group to stop, or 0
};
static std::atomic<InterruptEntry *> interrupt_entries{nullptr};

// Set once the exit clean-up has sent SIGTERM to the recorded groups: an interrupt during its grace
// ends what is left of them at once (SIGKILL), as the grace would have.
static volatile sig_atomic_t children_stopping = 0;

static void on_interrupt(int sig) {
    int saved = errno;
    pid_t self = getpid();
    for (InterruptEntry *e = interrupt_entries.load(); e; e = e->next.load()) {
        if (e->owner != self) continue;
        if (e->path) unlink(e->path);
        if (e->group > 0) kill(-e->group, children_stopping ? SIGKILL : SIGTERM);
    }
    // The signal is blocked while its handler runs: raised again with its default action, it
    // ends the process as soon as the handler returns.
    std::signal(sig, SIG_DFL);
    raise(sig);
    errno = saved;
}

void install_interrupt_handlers() {
    const sigset_t set = interrupt_signals();
    struct sigaction act;
    std::memset(&act, 0, sizeof act);
    act.sa_handler = on_interrupt;
    act.sa_mask = set;
    for (int sig : INTERRUPT_SIGNALS) {
        struct sigaction old;
        // Only over the default action: a signal ignored (nohup) or handled by what was in place
        // before the run (a profiler's SIGPROF) is left as it is.
        if (sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
            old.sa_handler != SIG_DFL)
            continue;
        sigaction(sig, &act, nullptr);
    }
}

// Whether the process group of a record has ended: no process left in it, the ones that have
// ended reaped (a zombie is still in the group). A process of the group whose parent ended before
// it is this process's child too (start_child makes the run their subreaper), and reaped here.
static bool group_gone(pid_t group) {
    while (waitpid(-group, nullptr, WNOHANG) > 0) {}
    return kill(-group, 0) != 0 && errno == ESRCH;
}

// Polls every recorded group of this process until each one has ended or max_ms have passed;
// a record's group is set to 0 once it has ended. True when every group has ended.
static bool wait_for_groups(pid_t self, int max_ms) {
    for (int waited = 0;; waited += STOP_POLL_MS) {
        bool left = false;
        for (InterruptEntry *e = interrupt_entries.load(); e; e = e->next.load()) {
            if (e->owner != self || e->group <= 0) continue;
            if (group_gone(e->group))
                e->group = 0;
            else
                left = true;
        }
        if (!left) return true;
        if (waited >= max_ms) return false;
        usleep(STOP_POLL_MS * 1000);
    }
}

// Sends sig to every recorded group of this process.
static void signal_groups(pid_t self, int sig) {
    for (InterruptEntry *e = interrupt_entries.load(); e; e = e->next.load())
        if (e->owner == self && e->group > 0) kill(-e->group, sig);
}

// At exit: stops every recorded process group of this process and waits for it (see
// interrupts.h).
static void stop_children_now() {
    const pid_t self = getpid();
    children_stopping = 1;
    signal_groups(self, SIGTERM);
    signal_groups(self, SIGCONT);  // a stopped group takes the SIGTERM only once it goes on
    // A group in which a process does not end on SIGTERM (it ignores it, or is stuck writing a
    // pipe that the run no longer reads) is killed once the grace has passed for all of them. The
    // records stay until their groups have ended, so an interrupt meanwhile still stops them
    // (SIGKILL).
    if (wait_for_groups(self, STOP_GRACE_MS)) return;
    signal_groups(self, SIGKILL);
    wait_for_groups(self, KILL_WAIT_MS);
}

// At exit (a fatal error, or a return with something still recorded): what an interrupt does, but
// the children are waited for first, so that none makes a file again once it is removed.
static void clean_up_at_exit() {
    stop_children_now();
    const pid_t self = getpid();
    for (InterruptEntry *e = interrupt_entries.load(); e; e = e->next.load())
        if (e->owner == self && e->path) unlink(e->path);
}

static InterruptEntry *record(char *path, pid_t group) {
    run_at_exit(clean_up_at_exit);
    InterruptEntry *e = new InterruptEntry();
    e->owner = getpid();
    e->path = path;
    e->group = group;
    e->next.store(interrupt_entries.load());
    interrupt_entries.store(e);
    return e;
}

InterruptEntry *remove_on_interrupt(const char *path) {
    return record(str_dup(path ? path : ""), 0);
}

char *interrupt_path(InterruptEntry *entry) {
    return entry ? entry->path : nullptr;
}

InterruptEntry *stop_on_interrupt(pid_t group) {
    return record(nullptr, group);
}

void set_stop_group(InterruptEntry *entry, pid_t group) {
    if (entry) entry->group = group;
}

void forget_on_interrupt(InterruptEntry *entry) {
    if (!entry) return;
    std::atomic<InterruptEntry *> *link = &interrupt_entries;
    while (InterruptEntry *e = link->load()) {
        if (e == entry) {
            link->store(e->next.load());
            break;
        }
        link = &e->next;
    }
    std::free(entry->path);
    delete entry;
}

InterruptHold::InterruptHold() {
    static const sigset_t block = interrupt_signals();
    pthread_sigmask(SIG_BLOCK, &block, &saved);
}

InterruptHold::~InterruptHold() {
    int err = errno;
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    errno = err;
}
