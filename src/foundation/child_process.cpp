// Child processes started in a group of their own, stopped with the run, reaped.
#include "foundation/child_process.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/interrupts.h"

// The status a child ends with when its program cannot be run.
static const int EXIT_NOT_RUN = 127;

bool start_child(const char *const *argv, int in_fd, int out_fd, int err_fd, ChildProcess *child) {
    std::fflush(nullptr);
    // No interrupt between the start of the child and its record.
    InterruptHold hold;
    // Made first: once the child exists, nothing may fail before it is recorded (an allocation
    // that fails ends the run, which must stop the child).
    InterruptEntry *record = stop_on_interrupt(0);
    // The processes of the child's group that outlive their parent become the run's children, not
    // init's, so that the run can wait for every one still in the group when it ends (see
    // interrupts.h).
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_t pid = fork();
    if (pid < 0) {
        int err = errno;
        forget_on_interrupt(record);
        errno = err;
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to the exec.
        setpgid(0, 0);
        // A background job of the terminal: its messages go through and a read of the terminal
        // fails, instead of stopping it (`stty tostop`, a compressed input that is the terminal).
        // SIGTERM, which stops it with the run, is never left ignored or blocked; nor is SIGPIPE,
        // which ends it quietly when the run stops reading its output early, even where the run
        // was started with SIGPIPE ignored or blocked (a decompressor would print "Broken pipe").
        struct sigaction act;
        std::memset(&act, 0, sizeof act);
        act.sa_handler = SIG_IGN;
        sigaction(SIGTTOU, &act, nullptr);
        sigaction(SIGTTIN, &act, nullptr);
        act.sa_handler = SIG_DFL;
        sigaction(SIGTERM, &act, nullptr);
        sigaction(SIGPIPE, &act, nullptr);
        int fds[] = {in_fd, out_fd, err_fd};
        // A descriptor that stands in the place of another one is moved out of the way first, so
        // that no dup2 below closes a descriptor still to be placed.
        for (int target = 0; target < 3; target++)
            if (fds[target] >= 0 && fds[target] < 3 && fds[target] != target &&
                (fds[target] = fcntl(fds[target], F_DUPFD_CLOEXEC, 3)) < 0)
                _exit(EXIT_NOT_RUN);
        for (int target = 0; target < 3; target++) {
            if (fds[target] < 0) continue;
            // One already in its place keeps it, but not its close-on-exec flag.
            bool placed = fds[target] == target ? fcntl(target, F_SETFD, 0) == 0
                                                : dup2(fds[target], target) >= 0;
            if (!placed) _exit(EXIT_NOT_RUN);
        }
        sigset_t mask = hold.saved_mask();
        sigdelset(&mask, SIGTERM);
        sigdelset(&mask, SIGPIPE);
        sigprocmask(SIG_SETMASK, &mask, nullptr);
        execvp(argv[0], const_cast<char *const *>(argv));
        _exit(EXIT_NOT_RUN);
    }
    // Set here as well, so that the group exists before it is recorded whichever runs first.
    setpgid(pid, pid);
    child->pid = pid;
    set_stop_group(record, pid);
    child->record = record;
    return true;
}

int wait_child(ChildProcess *child) {
    siginfo_t info;
    int r;
    do {
        r = waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOWAIT);
    } while (r != 0 && errno == EINTR);
    // The child is a zombie now: its id is not free until it is reaped below.
    forget_on_interrupt(child->record);
    child->record = nullptr;
    int status = 0;
    pid_t got;
    do {
        got = waitpid(child->pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : status;
}

std::string file_argument(const std::string &name) {
    return !name.empty() && name[0] == '-' ? "./" + name : name;
}
