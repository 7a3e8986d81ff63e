// Child processes: their standard descriptors, wherever the caller's descriptors happen to stand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testutil.h"
#include "foundation/child_process.h"

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
