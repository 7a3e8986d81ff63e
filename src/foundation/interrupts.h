// Interrupted runs: when SIGINT, SIGTERM or SIGHUP ends a run, the temporary files it holds are
// removed and the child processes it waits for are stopped, with async-signal-safe calls only;
// then the process ends by the same signal with its default action, so that its parent still
// sees it killed by that signal.
#ifndef QOR_INTERRUPTS_H
#define QOR_INTERRUPTS_H

#include <csignal>

#include <sys/types.h>

// A file or a child process recorded for the clean-up (owned here; see forget_on_interrupt).
struct InterruptEntry;

// Records a file to remove if the run is interrupted. The path is copied now, so that the
// handler needs nothing but unlink. The first record installs the handlers, except for a signal
// that the process was started ignoring (nohup, a background job), which stays ignored.
// Returns the entry to forget once the file is renamed or removed.
InterruptEntry *remove_on_interrupt(const char *path);
// Records a child process to stop (SIGTERM) if the run is interrupted; installs the handlers as
// remove_on_interrupt does. Returns the entry to forget once the child has been waited for.
InterruptEntry *stop_on_interrupt(pid_t pid);
// Forgets an entry and releases it; null is ignored.
void forget_on_interrupt(InterruptEntry *entry);

// Blocks the three signals in the calling thread and returns the mask it had, for a span in which
// a child is started and recorded (a signal then waits until the mask is given back), or for a
// helper thread that must leave the signals to the thread that owns the records.
sigset_t hold_interrupts();
// Gives back a mask from hold_interrupts (a signal that came meanwhile is handled now).
void release_interrupts(const sigset_t &mask);

#endif
