// Interrupted runs: when a signal ends a run (SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM,
// SIGPOLL, SIGPROF, SIGPWR, SIGSTKFLT, SIGVTALRM, SIGXCPU, SIGUSR1 or SIGUSR2; not the real-time
// signals), the temporary files it holds are removed and the child processes it waits
// for are stopped, with async-signal-safe calls only; then the process ends by the same signal with
// its default action, so that its parent still sees it killed by that signal.
//
// A run that ends with a fatal error (at exit; or returns with something still recorded) does the
// same once anything has been recorded, but waits for the children first, so that no process of a
// child's group writes on (a temporary made again after it was removed) once the run is over:
// SIGTERM, then SIGCONT (for a stopped one), to every recorded process group of this process; then,
// within one grace of two seconds for all of them, each group is waited for until its leader is
// reaped and no process is left in it; SIGKILL to every group still there after the grace, which is
// then waited for a second more. During that wait a record stays until its group has ended, so an
// interrupt meanwhile still stops it, with SIGKILL (unless the run is ending inside an
// InterruptHold, whose signals stay blocked). A process that leaves its group (setsid) is not
// stopped with it.
#ifndef QOR_INTERRUPTS_H
#define QOR_INTERRUPTS_H

#include <csignal>

#include <sys/types.h>

// A file or a child process recorded for the clean-up (owned here; see forget_on_interrupt).
struct InterruptEntry;

// Installs the handlers of those signals; called at start-up, before any temporary or child
// exists. Only a signal at its default action gets one: a signal that the process was started
// ignoring (nohup, a background job) stays ignored, and one that has a handler of its own by then
// (a profiler's SIGPROF, set up before the program starts) keeps it. Calling it again installs
// the handler of a signal whose action was set back to the default.
void install_interrupt_handlers();

// Records a file to remove if the run is interrupted, or ends with a fatal error (at exit). The
// path is copied now, so that the handler needs nothing but unlink. Make the file and record it
// under one InterruptHold, so that no signal falls between: record it first and make it under
// interrupt_path, so that nothing that may fail (an allocation) falls between either. Returns the
// entry to forget once the file is renamed or removed. Fatal: "out of memory allocating %zu bytes",
// "out of memory" (see errors.h).
InterruptEntry *remove_on_interrupt(const char *path);
// The recorded path of an entry of remove_on_interrupt (null for another entry or null), owned by
// the entry: the caller may change it in place without changing its length while it holds the
// signals (mkstemp fills in the pattern it was recorded with).
char *interrupt_path(InterruptEntry *entry);
// Records a process group to stop (SIGTERM to every process in it) if the run is interrupted, and
// to stop and wait for at exit. Returns the entry to forget before the
// group's leader is reaped (see wait_child). Fatal: "out of memory" (see errors.h).
InterruptEntry *stop_on_interrupt(pid_t group);
// Sets the group of an entry of stop_on_interrupt made with group 0 (which stops nothing): the
// entry can then be made, and allocate, before the child exists. Hold the signals across both.
void set_stop_group(InterruptEntry *entry, pid_t group);
// Forgets an entry and releases it; null is ignored.
void forget_on_interrupt(InterruptEntry *entry);

// For its lifetime, those signals are blocked in the calling thread: a signal that comes
// meanwhile is handled as soon as the hold ends (the mask it found is given back). For a span in
// which a temporary or a child is made and recorded, a set of files is put in place, or a helper
// thread is started that must leave the signals to the thread that owns the records.
class InterruptHold {
public:
    InterruptHold();
    ~InterruptHold();
    InterruptHold(const InterruptHold &) = delete;
    InterruptHold &operator=(const InterruptHold &) = delete;
    // The mask the hold found: the one a new child process must start with.
    const sigset_t &saved_mask() const { return saved; }

private:
    sigset_t saved;
};

#endif
