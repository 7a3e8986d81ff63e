// Child processes: their standard descriptors, wherever the caller's descriptors happen to stand.
#include <gtest/gtest.h>

#include <type_traits>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testutil.h"
#include "foundation/child_process.h"
#include "foundation/interrupts.h"

namespace {

struct ChildDescriptors : ScratchTest {};

// Moves a close-on-exec copy of fd to the lowest free number at or past at, closing fd.
int move_to(int fd, int at) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, at);
    close(fd);
    return moved;
}

}  // namespace

// A process started without standard input and output gets a pipe at descriptors 0 and 1; the
// child's input and output are descriptors already in their place, or in each other's place.
// Each row runs in a forked process, whose descriptors it may rearrange; the child's output,
// read from the pipe, must be the text of the input file.
TEST_F(ChildDescriptors, InPlaceOrSwappedDescriptorsReachTheChild) {
    const std::string input = path("in.txt");
    write_text(input, "hi\n");
    for (bool swapped : {false, true}) {
        pid_t pid = fork();
        if (pid == 0) {
            close(STDIN_FILENO);
            close(STDOUT_FILENO);
            int p[2], in_fd;
            if (pipe2(p, O_CLOEXEC) != 0) _exit(2);  // p is {0, 1}
            if (swapped) {
                // The pipe's write end at 0 and the input file at 1, each in the other's place.
                p[0] = move_to(p[0], 3);
                p[1] = move_to(p[1], 3);
                p[1] = move_to(p[1], 0);
                in_fd = open(input.c_str(), O_RDONLY | O_CLOEXEC);
            } else {
                in_fd = open(input.c_str(), O_RDONLY | O_CLOEXEC);  // the write end stays at 1
            }
            const char *argv[] = {"cat", nullptr};
            ChildProcess child;
            if (!start_child(argv, in_fd, p[1], -1, &child)) _exit(3);
            close(p[1]);
            char buf[16];
            ssize_t n = read(p[0], buf, sizeof buf);
            int status = wait_child(&child);
            _exit(n == 3 && std::string(buf, 3) == "hi\n" && status == 0 ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "swapped " << swapped;
    }
}

// A child is never assigned: that would drop the record of the child it held.
static_assert(!std::is_move_assignable<ChildProcess>::value, "a ChildProcess is never assigned");

// A run that ends (a fatal error: exit) while a child runs stops the child's whole group with it,
// instead of leaving it to write on (gnuplot making a temporary again after the clean-up removed
// it); a process that ignores SIGTERM is killed after the grace, so that the run never hangs at its
// end, and at once when the run is interrupted during the grace. Each child says "<pid> ready" on
// its standard output once its traps are set, and the interrupted one "stopping" when the SIGCONT
// that follows the SIGTERM comes.
TEST(ChildProcessExit, ARunThatEndsStopsItsChildren) {
    const struct {
        const char *script;
        bool interrupted;  // SIGTERM to the run during the grace
    } cases[] = {
        {"echo $$ ready; exec sleep 60", false},
        {"trap '' TERM; echo $$ ready; sleep 60", false},
        // A leader that ends on SIGTERM with a process of its group that does not.
        {"sh -c \"trap '' TERM; echo \\$\\$ ready; sleep 60\" & wait", false},
        {"trap '' TERM; trap 'echo stopping' CONT; echo $$ ready; sleep 60 & wait; wait", true},
    };
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // what an interrupted run leaves is reaped here
    for (const auto &c : cases) {
        const char *argv[] = {"sh", "-c", c.script, nullptr};
        int said[2], go[2];
        ASSERT_EQ(pipe(said), 0);
        ASSERT_EQ(pipe(go), 0);
        pid_t run = fork();
        if (run == 0) {
            install_interrupt_handlers();
            ChildProcess child;
            char byte;
            if (!start_child(argv, -1, said[1], -1, &child) || read(go[0], &byte, 1) != 1) _exit(2);
            std::exit(1);
        }
        close(said[1]);
        char line[32] = {};
        pid_t ready = 0;
        ASSERT_GT(read(said[0], line, sizeof line - 1), 0) << c.script;
        ASSERT_EQ(std::sscanf(line, "%d ready\n", &ready), 1) << line;
        const pid_t group = getpgid(ready);
        ASSERT_EQ(write(go[1], "x", 1), 1);
        if (c.interrupted) {
            // The grace has begun: the SIGTERM comes within its two seconds unless the machine
            // stalls this test that long.
            std::memset(line, 0, sizeof line);
            ASSERT_GT(read(said[0], line, sizeof line - 1), 0);
            EXPECT_STREQ(line, "stopping\n");
            kill(run, SIGTERM);
        }
        int status = 0;
        ASSERT_EQ(waitpid(run, &status, 0), run);
        if (c.interrupted)
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.script;
        // Every process of the group was ended and reaped before the run ended (the interrupted
        // run's are reaped here, once killed).
        for (int i = 0; c.interrupted && i < 1000 && kill(-group, 0) == 0; i++) {
            while (waitpid(-group, nullptr, WNOHANG) > 0) {}
            usleep(10000);
        }
        EXPECT_NE(kill(-group, 0), 0) << c.script;
        kill(-group, SIGKILL);
        close(said[0]);
        close(go[0]);
        close(go[1]);
    }
}
