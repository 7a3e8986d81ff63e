// Child processes (a decompressor, gnuplot): started without a shell in a process group of their
// own, recorded so that an interrupted run stops the whole group, and reaped.
#ifndef QOR_CHILD_PROCESS_H
#define QOR_CHILD_PROCESS_H

#include <sys/types.h>

struct InterruptEntry;

// A started child: its process id (also its process group) and its interrupt record.
struct ChildProcess {
    pid_t pid = 0;
    InterruptEntry *record = nullptr;
};

// Starts argv[0], searched on the PATH, with the argument vector argv (null-terminated), in a
// process group of its own, with in_fd, out_fd and err_fd (each -1 for the parent's own) as its
// standard input, output and error, and the signal mask the caller had outside any InterruptHold.
// The child is recorded, before any signal can be handled, to have its group stopped if the run
// is interrupted. Returns false, with errno set, when no process can be made. A program that
// cannot be run ends its process with status 127, as a shell reports it.
bool start_child(const char *const *argv, int in_fd, int out_fd, int err_fd, ChildProcess *child);
// Waits for the child to end (a signal that interrupts the wait is handled and the wait goes
// on); its record is forgotten before it is reaped, so that an interrupt never stops a process
// that took its id. Returns the wait status, or -1 with errno set.
int wait_child(ChildProcess *child);

#endif
