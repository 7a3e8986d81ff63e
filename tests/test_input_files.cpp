// Input files: plain, gzip, compress, the fallbacks, pipes and the library search.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation_fixture.h"
#include "testutil.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"

// ---------------------------------------------------------------------------------------------
// open_read / close_read
// ---------------------------------------------------------------------------------------------

TEST(OpenRead, PlainGzipAndCompress) {
    FILE *fp = open_read(test_data("utilities_plain.txt").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "line one\nline two\n");
    close_read(fp);

    fp = open_read(test_data("utilities_gz.txt.gz").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "from gzip\nsecond\n");
    close_read(fp);

    REQUIRE_PROGRAM("uncompress");
    fp = open_read(test_data("utilities_z.txt.Z").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "from compress\n");
    close_read(fp);
}

TEST(OpenRead, FallsBackToGzThenZ) {
    FILE *fp = open_read(test_data("utilities_only.txt").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "only gz\n");
    close_read(fp);
    EXPECT_EQ(open_read(test_data("utilities_none.txt").c_str(), 0), nullptr);

    REQUIRE_PROGRAM("uncompress");
    fp = open_read(test_data("utilities_onlyz.txt").c_str(), OPEN_REWIND);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "only Z\n");
    close_read(fp);
}

TEST_F(ThrowingErrors, FatalOpenNamesTheCallersNameAndThePlainError) {
    std::string dir = scratch_dir();
    static std::string missing, adir;
    missing = dir + "/x";
    adir = dir + "/d";
    mkdir(adir.c_str(), 0700);
    EXPECT_EQ(fatal_message([] { open_read(missing.c_str(), OPEN_FATAL); }),
              "Couldn't open file " + missing + ": No such file or directory\n");
    // A directory is no input file; the error of the plain attempt is the one reported.
    EXPECT_EQ(fatal_message([] { open_read(adir.c_str(), OPEN_FATAL); }),
              "Couldn't open file " + adir + ": Is a directory\n");
}

TEST(OpenRead, RewindableCopyReadsTwice) {
    FILE *fp = open_read(test_data("utilities_gz.txt.gz").c_str(), OPEN_REWIND);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "from gzip\nsecond\n");
    ASSERT_EQ(fseek(fp, 0L, SEEK_SET), 0);
    EXPECT_EQ(read_all(fp), "from gzip\nsecond\n");
    close_read(fp);
}

// Anonymous temporaries go to TMPDIR when it is set and not empty, else /tmp, under no name.
struct AnonymousTemp : ScratchTest {};
TEST_F(AnonymousTemp, MadeInTmpdirElseTmp) {
    const char *saved = std::getenv("TMPDIR");
    const std::string kept = saved ? saved : "";
    const struct {
        std::string tmpdir;
        int err;  // 0: made
    } cases[] = {{dir, 0}, {"", 0}, {dir + "/missing", ENOENT}};
    for (const auto &c : cases) {
        setenv("TMPDIR", c.tmpdir.c_str(), 1);
        FILE *fp = anonymous_tempfile();
        EXPECT_EQ(fp ? 0 : errno, c.err) << c.tmpdir;
        if (!fp) continue;
        fputs("copy", fp);
        rewind(fp);
        EXPECT_EQ(read_all(fp), "copy");
        // The scratch folder holds no name for it (rmdir takes an empty folder only).
        if (c.tmpdir == dir) {
            EXPECT_EQ(rmdir(dir.c_str()), 0);
        }
        fclose(fp);
    }
    saved ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
}

TEST(OpenRead, FailingDecompressorMakesTheRewindableOpenFail) {
    std::string dir = scratch_dir();
    write_text(dir + "/bad.gz", "this is not gzip data\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_read((dir + "/bad.gz").c_str(), OPEN_REWIND), nullptr);
    testing::internal::GetCapturedStderr();  // gunzip's own complaint
}

TEST_F(ThrowingErrors, DecompressorFailureIsFatalAtTheEndOfTheStream) {
    std::string dir = scratch_dir();
    write_text(dir + "/bad.gz", "this is not gzip data\n");
    testing::internal::CaptureStderr();
    FILE *fp = open_read((dir + "/bad.gz").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    read_all(fp);
    std::string msg;
    try {
        close_read(fp);
    } catch (const FatalError &e) {
        msg = e.message;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(msg, "gzcat terminated on an error: 256");  // gunzip exit status 1
}

TEST(OpenRead, ClosingADecompressedStreamEarlyIsFine) {
    std::string dir = scratch_dir();
    std::string big(1 << 20, 'a');
    for (size_t i = 0; i < big.size(); i += 80) big[i] = '\n';
    write_text(dir + "/big", big);
    ASSERT_EQ(system(("gzip -f " + dir + "/big").c_str()), 0);
    FILE *fp = open_read((dir + "/big.gz").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    char line[100];
    ASSERT_NE(fgets(line, sizeof line, fp), nullptr);
    close_read(fp);  // the decompressor may die of the closed pipe: not an error
}

TEST(OpenRead, FileNamesNeverReachAShell) {
    std::string dir = scratch_dir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    const char *name = "x;touch hacked;$(touch hacked2)'\".gz";
    write_text(name, read_text(test_data("utilities_gz.txt.gz")));
    FILE *fp = open_read(name, 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "from gzip\nsecond\n");
    close_read(fp);
    EXPECT_NE(access("hacked", F_OK), 0);
    EXPECT_NE(access("hacked2", F_OK), 0);
    // Nor are they taken for options of the decompressor.
    write_text("-c.gz", read_text(test_data("utilities_gz.txt.gz")));
    fp = open_read("-c.gz", OPEN_REWIND);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "from gzip\nsecond\n");
    close_read(fp);
    REQUIRE_PROGRAM("uncompress");
    write_text("-d.Z", read_text(test_data("utilities_z.txt.Z")));
    fp = open_read("-d", 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "from compress\n");
    close_read(fp);
}

TEST(OpenRead, PipeNamedAsAFileIsCopiedWhenRewindableAndClosedAsAFile) {
    std::string dir = scratch_dir();
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    pid_t pid = fork();
    if (pid == 0) {
        FILE *w = fopen(fifo.c_str(), "w");
        fputs("through a pipe\n", w);
        fclose(w);
        _exit(0);
    }
    FILE *fp = open_read(fifo.c_str(), OPEN_REWIND);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "through a pipe\n");
    ASSERT_EQ(fseek(fp, 0L, SEEK_SET), 0);
    EXPECT_EQ(read_all(fp), "through a pipe\n");
    close_read(fp);
    int status;
    waitpid(pid, &status, 0);
}

// The name of the read end of a new pipe that already holds text (its write end closed).
static std::string pipe_holding(const std::string &text, int *read_fd) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    if (write(fds[1], text.data(), text.size()) != (ssize_t)text.size()) return "";
    close(fds[1]);
    *read_fd = fds[0];
    return "/dev/fd/" + std::to_string(fds[0]);
}

TEST(OpenRead, APipeOpenedAgainGivesTheSameBytes) {
    int fd;
    std::string name = pipe_holding(">a\nACDE\n", &fd);
    ASSERT_FALSE(name.empty());
    for (int flags : {0, static_cast<int>(OPEN_REWIND), 0}) {
        FILE *fp = open_read(name.c_str(), flags);
        ASSERT_NE(fp, nullptr);
        char first[4] = {};
        ASSERT_EQ(fread(first, 1, 3, fp), 3u);  // a detector reads a little and closes
        EXPECT_STREQ(first, ">a\n");
        close_read(fp);
    }
    // Two streams open at once have positions of their own.
    FILE *a = open_read(name.c_str(), 0), *b = open_read(name.c_str(), 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(fgetc(a), '>');
    EXPECT_EQ(read_all(b), ">a\nACDE\n");
    EXPECT_EQ(read_all(a), "a\nACDE\n");
    close_read(a);
    close_read(b);
    close(fd);
}

TEST(OpenRead, RewindableCopiesAreCapped) {
    size_t saved = rewind_copy_limit;
    rewind_copy_limit = 2048;
    int fd1, fd2;
    std::string fits = pipe_holding(std::string(2048, 'x'), &fd1);
    std::string over = pipe_holding(std::string(2049, 'x'), &fd2);
    FILE *fp = open_read(fits.c_str(), OPEN_REWIND);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp).size(), 2048u);
    close_read(fp);
    errno = 0;
    EXPECT_EQ(open_read(over.c_str(), OPEN_REWIND), nullptr);
    EXPECT_EQ(errno, EFBIG);
    // A decompressed stream too.
    std::string dir = scratch_dir();
    write_text(dir + "/big", std::string(3000, 'y'));
    ASSERT_EQ(system(("gzip -f " + dir + "/big").c_str()), 0);
    EXPECT_EQ(open_read((dir + "/big.gz").c_str(), OPEN_REWIND), nullptr);
    EXPECT_EQ(errno, EFBIG);
    // Streams read as they come are not copied, and not capped.
    fp = open_read((dir + "/big.gz").c_str(), 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp).size(), 3000u);
    close_read(fp);
    rewind_copy_limit = saved;
    close(fd1);
    close(fd2);
}

TEST(OpenRead, WholeLinesHoweverLong) {
    std::string dir = scratch_dir();
    std::string longline(300000, 'x');
    write_text(dir + "/f", longline + "\nshort\nlast");
    ASSERT_EQ(system(("gzip -k " + dir + "/f").c_str()), 0);
    // The same lines from the plain file and through the decompression pipe.
    for (const char *name : {"/f", "/f.gz"}) {
        FILE *fp = open_read((dir + name).c_str(), 0);
        ASSERT_NE(fp, nullptr);
        InputReader in;
        reader_init(&in, fp, name);
        std::string line;
        ASSERT_TRUE(reader_line_copy(&in, line));
        EXPECT_EQ(line, longline + "\n");
        ASSERT_TRUE(reader_line_copy(&in, line));
        EXPECT_EQ(line, "short\n");
        ASSERT_TRUE(reader_line_copy(&in, line));
        EXPECT_EQ(line, "last");
        EXPECT_FALSE(reader_line_copy(&in, line));
        EXPECT_EQ(in.line_number, 3);
        reader_free(&in);
        close_read(fp);
    }
}

// ---------------------------------------------------------------------------------------------
// open_read_env
// ---------------------------------------------------------------------------------------------

TEST(OpenReadEnv, SearchDirectoryFromTheVariableWithOneSlash) {
    std::string dir = scratch_dir();
    mkdir((dir + "/sub").c_str(), 0700);
    write_text(dir + "/lib.txt", "in lib\n");
    write_text(dir + "/sub/m.txt", "in sub\n");
    setenv("QOR_TEST_LIBDIR", (dir + "/").c_str(), 1);
    std::string logpath = dir + "/log";
    FILE *log = fopen(logpath.c_str(), "w");
    FILE *fp = open_read_env("lib.txt", "QOR_TEST_LIBDIR", "/usr/local/lib/qor", nullptr, log, 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "in lib\n");
    close_read(fp);
    fputc('|', log);
    fp = open_read_env("m.txt", "QOR_TEST_LIBDIR", "/usr/local/lib/qor", "sub", log, 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "in sub\n");
    close_read(fp);
    fclose(log);
    EXPECT_EQ(read_text(logpath), dir + "/lib.txt|" + dir + "/sub/m.txt");
    unsetenv("QOR_TEST_LIBDIR");
}

TEST(OpenReadEnv, DefaultDirectoryWhenTheVariableIsUnsetAndTheNameItselfFirst) {
    std::string dir = scratch_dir();
    write_text(dir + "/d.txt", "default dir\n");
    unsetenv("QOR_TEST_LIBDIR");
    FILE *fp = open_read_env("d.txt", "QOR_TEST_LIBDIR", dir.c_str(), nullptr, nullptr, 0);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "default dir\n");
    close_read(fp);
    std::string log_path = dir + "/log";
    FILE *log = fopen(log_path.c_str(), "w");
    fp = open_read_env(test_data("utilities_plain.txt").c_str(), "QOR_TEST_LIBDIR", dir.c_str(),
                       nullptr, log, 0);
    ASSERT_NE(fp, nullptr);
    close_read(fp);
    fclose(log);
    EXPECT_EQ(read_text(log_path), test_data("utilities_plain.txt"));
}

TEST(OpenReadEnv, NotFoundWarnsUnlessQuiet) {
    std::string dir = scratch_dir();
    setenv("QOR_TEST_LIBDIR", dir.c_str(), 1);
    std::string log_path = dir + "/log";
    FILE *log = fopen(log_path.c_str(), "w");
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_read_env("nofile", "QOR_TEST_LIBDIR", "/x", nullptr, log, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  nofile not found in current directory\nor using $QOR_TEST_LIBDIR " + dir +
                  "/nofile\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_read_env("nofile", "QOR_TEST_LIBDIR", "/x", nullptr, nullptr, OPEN_QUIET),
              nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    fclose(log);
    EXPECT_EQ(read_text(log_path), "File Not Found (nofile)");
    // Neither a variable nor a default directory: none, silently.
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_read_env("nofile", nullptr, nullptr, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    unsetenv("QOR_TEST_LIBDIR");
}

TEST_F(ThrowingErrors, OpenReadEnvFatalCases) {
    EXPECT_EQ(fatal_message([] { open_read_env("", "V", "/x", nullptr, nullptr, OPEN_FATAL); }),
              "No file name given.\n");
    EXPECT_EQ(open_read_env(nullptr, "V", "/x", nullptr, nullptr, 0), nullptr);
    unsetenv("QOR_TEST_LIBDIR");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fatal_message([] {
                  open_read_env("nofile", "QOR_TEST_LIBDIR", "/nonexistent", nullptr, nullptr,
                                OPEN_FATAL);
              }),
              "Couldn't open file nofile: No such file or directory\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning:  nofile not found in current directory\nor using $QOR_TEST_LIBDIR "
              "/nonexistent/nofile\n");
}
