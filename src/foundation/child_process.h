// Child processes (a decompressor, gnuplot): started without a shell in a process group of their
// own, recorded so that an interrupted run stops the whole group, and reaped.
#ifndef QOR_CHILD_PROCESS_H
#define QOR_CHILD_PROCESS_H

#include <string>

#include <sys/types.h>

struct InterruptEntry;

// A started child: its process id (also its process group) and its interrupt record, which it
// owns until wait_child forgets it. It moves into a new ChildProcess but is never copied or
// assigned: a copy would forget the record a second time, and an assignment would drop the record
// of the child it held, which the run would then no longer stop.
struct ChildProcess {
    pid_t pid = 0;
    InterruptEntry *record = nullptr;

    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ChildProcess(ChildProcess &&other) noexcept : pid(other.pid), record(other.record) {
        other.record = nullptr;
    }
    ChildProcess &operator=(ChildProcess &&) = delete;
};

// Starts argv[0], searched on the PATH, with the argument vector argv (null-terminated), in a
// process group of its own, with in_fd, out_fd and err_fd (each -1 for the parent's own) as its
// standard input, output and error (a descriptor already in its place is kept open across the
// exec), the signal mask the caller had outside any InterruptHold but SIGTERM at its default
// action and never blocked (the run stops it with that signal), SIGPIPE the same whatever the run
// was started with (a decompressor whose reader stops early ends quietly, without a "Broken pipe"
// message), and SIGTTOU and SIGTTIN ignored: in its own group it is a background job of the
// terminal, which must not stop it there (its messages go through under `stty tostop`; a read of
// the terminal fails). The child is recorded, before any signal can be handled, to have its group
// stopped if the run is interrupted or ends; from then on the run is the subreaper of the
// processes the child starts (one whose parent ends becomes the run's child, not init's), so that
// at its end it can wait for the whole group of a child still recorded. Returns false, with errno
// set, when no process can be made. A program that cannot be run ends its process with status 127,
// as a shell reports it.
bool start_child(const char *const *argv, int in_fd, int out_fd, int err_fd, ChildProcess *child);
// Waits for the child to end (a signal that interrupts the wait is handled and the wait goes
// on); its record is forgotten before it is reaped, so that an interrupt never stops a process
// that took its id. Returns the wait status, or -1 with errno set.
int wait_child(ChildProcess *child);

// A file name as an argument of a child's program: a name that begins with '-' is named from
// "./", so that it is not taken for an option.
std::string file_argument(const std::string &name);

#endif
