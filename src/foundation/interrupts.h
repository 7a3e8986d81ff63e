// Interrupted runs: when a signal ends a run (SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM,
// SIGPOLL, SIGPROF, SIGPWR, SIGSTKFLT, SIGVTALRM, SIGXCPU, SIGUSR1 or SIGUSR2; not the real-time
// signals), the temporary files it holds are removed and the child processes it waits
// for are stopped, with async-signal-safe calls only; then the process ends by the same signal with
// its default action, so that its parent still sees it killed by that signal.
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

// Records a file to remove if the run is interrupted. The path is copied now, so that the
// handler needs nothing but unlink. Make the file and record it under one InterruptHold, so that
// no signal falls between. Returns the entry to forget once the file is renamed or removed.
InterruptEntry *remove_on_interrupt(const char *path);
// Records a process group to stop (SIGTERM to every process in it) if the run is interrupted.
// Returns the entry to forget before the group's leader is reaped (see wait_child).
InterruptEntry *stop_on_interrupt(pid_t group);
// Sets the group of an entry of stop_on_interrupt made with group 0 (which stops nothing): the
// entry can then be made, and allocate, before the child exists. Hold the signals across both.
void set_stop_group(InterruptEntry *entry, pid_t group);
// Forgets an entry and releases it; null is ignored.
void forget_on_interrupt(InterruptEntry *entry);
// For a run that ends while children are recorded (a fatal error while gnuplot or a decompressor
// runs): stops each recorded process group of this process (SIGTERM, then SIGCONT for a stopped
// one; SIGKILL when its leader has not ended two seconds later) and reaps its leader, so that none
// writes on (a temporary made again after the clean-up removed it) once the run is over. The
// records stay, stopping nothing again. Called at exit (installed with the handlers) and first
// thing by the exit clean-up of output temporaries.
void stop_children_now();

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
