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

// A run that ends (a fatal error: exit) while a child runs stops the child with it, instead of
// leaving it to write on (gnuplot making a temporary again after the clean-up removed it); one
// that ignores SIGTERM is killed after the grace, so that the run never hangs at its end.
TEST(ChildProcessExit, ARunThatEndsStopsItsChildren) {
    const char *plain[] = {"sleep", "60", nullptr};
    const char *deaf[] = {"sh", "-c", "trap '' TERM; sleep 60", nullptr};
    // A leader that ends on SIGTERM with a process of its group that does not.
    const char *deaf_member[] = {"sh", "-c", "sh -c \"trap '' TERM; sleep 60\" & sleep 60",
                                 nullptr};
    for (const char *const *argv : {plain, deaf, deaf_member}) {
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        pid_t run = fork();
        if (run == 0) {
            install_interrupt_handlers();
            ChildProcess child;
            if (!start_child(argv, -1, -1, -1, &child)) _exit(2);
            if (write(report[1], &child.pid, sizeof child.pid) != (ssize_t)sizeof child.pid)
                _exit(2);
            usleep(100000);  // the child's shells have set their traps
            std::exit(1);
        }
        close(report[1]);
        pid_t child = 0;
        ASSERT_EQ(read(report[0], &child, sizeof child), (ssize_t)sizeof child);
        close(report[0]);
        int status = 0;
        ASSERT_EQ(waitpid(run, &status, 0), run);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << argv[0];
        // Every process of the group was ended and the leader reaped before the run ended.
        EXPECT_NE(kill(-child, 0), 0) << (argv[2] ? argv[2] : argv[0]);
        kill(-child, SIGKILL);
    }
}

// An interrupt while the run ending waits for a child that ignores SIGTERM kills the child's group
// at once instead of leaving it running.
TEST(ChildProcessExit, AnInterruptDuringTheGraceKillsTheChild) {
    // The child says on its standard output when its traps are set (with its process id, its
    // group's), and when the SIGCONT that follows the SIGTERM comes.
    const char *deaf[] = {
        "sh", "-c", "trap '' TERM; trap 'echo stopping' CONT; echo $$ ready; sleep 60 & wait; wait",
        nullptr};
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the run leaves is reaped here
    int said[2], go[2];
    ASSERT_EQ(pipe(said), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t run = fork();
    if (run == 0) {
        install_interrupt_handlers();
        ChildProcess child;
        char byte;
        if (!start_child(deaf, -1, said[1], -1, &child) || read(go[0], &byte, 1) != 1) _exit(2);
        std::exit(1);
    }
    close(said[1]);
    pid_t child = 0;
    char line[32] = {};
    ASSERT_GT(read(said[0], line, sizeof line - 1), 0);
    ASSERT_EQ(std::sscanf(line, "%d ready\n", &child), 1) << line;
    ASSERT_EQ(write(go[1], "x", 1), 1);
    std::memset(line, 0, sizeof line);
    // The grace has begun: the SIGTERM below comes within its two seconds unless the machine
    // stalls this test that long.
    ASSERT_GT(read(said[0], line, sizeof line - 1), 0);
    EXPECT_STREQ(line, "stopping\n");
    kill(run, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(run, &status, 0), run);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    for (int i = 0; i < 1000 && kill(-child, 0) == 0; i++) {
        while (waitpid(-child, nullptr, WNOHANG) > 0) {}
        usleep(10000);
    }
    EXPECT_NE(kill(-child, 0), 0);
    kill(-child, SIGKILL);
    close(said[0]);
    close(go[0]);
    close(go[1]);
}
