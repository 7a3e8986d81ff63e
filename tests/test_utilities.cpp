// Errors, allocation, name comparison, input files (plain, gzip, compress, fallbacks, pipes,
// library search), output files and their header, and the run-information helpers.
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

#include "testutil.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

namespace {

struct ThrowingErrors : LibraryTest {};

std::string fatal_message(void (*f)()) {
    try {
        f();
    } catch (const FatalError &e) {
        return e.message;
    }
    return "<no error>";
}

std::string read_all(FILE *fp) {
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) s.append(buf, n);
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// error
// ---------------------------------------------------------------------------------------------

TEST(Error, WritesPrefixAndNewlineAndExitsWithStatusOne) {
    EXPECT_EXIT(error("bad value %d", 7), ::testing::ExitedWithCode(1), "^Error: bad value 7\n$");
    // A format that ends in a newline is followed by an empty line.
    EXPECT_EXIT(error("two lines\n"), ::testing::ExitedWithCode(1), "^Error: two lines\n\n$");
}

TEST_F(ThrowingErrors, ThrowsTheMessageWithoutPrefix) {
    try {
        error("x %s y", "z");
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "x z y");
    }
}

// ---------------------------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------------------------

TEST(Memory, ZeroBytesGiveAZeroedBlockOfFour) {
    unsigned char *p = (unsigned char *)mem_alloc(0);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4; i++) EXPECT_EQ(p[i], 0);
    free(p);
}

TEST(Memory, BlocksAreZeroedWithFourSpareBytes) {
    unsigned char *p = (unsigned char *)mem_alloc(10);
    for (int i = 0; i < 14; i++) EXPECT_EQ(p[i], 0);
    memcpy(p, "0123456789", 10);
    p = (unsigned char *)mem_realloc(p, 100);
    EXPECT_EQ(memcmp(p, "0123456789", 10), 0);
    p[103] = 1;  // the spare bytes exist
    free(p);
    char *d = (char *)memdub("abc", 3);
    EXPECT_STREQ(d, "abc");
    free(d);
    char *s = str_dup("text");
    EXPECT_STREQ(s, "text");
    free(s);
    EXPECT_EQ(str_dup(nullptr), nullptr);
}

TEST_F(ThrowingErrors, ImpossibleSizesAreFatalNotOverflows) {
    EXPECT_EQ(fatal_message([] { mem_alloc(SIZE_MAX); }), "out of memory allocating -1 bytes");
    EXPECT_EQ(fatal_message([] { mem_realloc(nullptr, SIZE_MAX - 2); }),
              "out of memory reallocating -3 bytes");
    EXPECT_EQ(fatal_message([] { double_alloc(SIZE_MAX / 4, 1, 1); }).rfind("out of memory", 0),
              0u);
    EXPECT_EQ(fatal_message([] { double_alloc(1, SIZE_MAX / 2, 3); }).rfind("out of memory", 0),
              0u);
}

TEST(Memory, DoubleAllocAndFree) {
    void **a = double_alloc(3, 4, 5);
    for (int i = 0; i < 3; i++) {
        unsigned char *b = (unsigned char *)a[i];
        for (int j = 0; j < 24; j++) EXPECT_EQ(b[j], 0);
    }
    double_free(a, 3);
    double_free(nullptr, 5);  // an absent array is ignored
}

TEST(Memory, PermuteGivesEveryValueOnceAndLeavesTheInput) {
    int v[50];
    void *values[50];
    for (int i = 0; i < 50; i++) {
        v[i] = i;
        values[i] = &v[i];
    }
    srandom(17);
    void **out = permute(50, values, nullptr);
    int seen[50] = {0};
    bool moved = false;
    for (int i = 0; i < 50; i++) {
        EXPECT_EQ(values[i], &v[i]);
        seen[*(int *)out[i]]++;
        moved |= out[i] != values[i];
    }
    for (int i = 0; i < 50; i++) EXPECT_EQ(seen[i], 1);
    EXPECT_TRUE(moved);
    // Same seed, same order.
    srandom(17);
    void **again = permute(50, values, nullptr);
    EXPECT_EQ(memcmp(out, again, 50 * sizeof(void *)), 0);
    free(out);
    free(again);
    PermutePair a{10, nullptr}, b{3, nullptr};
    EXPECT_EQ(compar(&a, &b), 7);
}

// ---------------------------------------------------------------------------------------------
// capscomp
// ---------------------------------------------------------------------------------------------

TEST(Capscomp, SeparatorsAndCase) {
    EXPECT_EQ(capscomp("NLL-null", "nllnull"), 0);
    EXPECT_EQ(capscomp("nll_null", "NLLNULL"), 0);
    EXPECT_EQ(capscomp("-dump-parameters", "-dump_parameters"), 0);
    EXPECT_EQ(capscomp("DumpParameters", "-dump_parameters"), 0);
    EXPECT_EQ(capscomp("ab_", "ab"), 1);
    EXPECT_EQ(capscomp("ab", "ab_"), -1);
    EXPECT_EQ(capscomp("ab_", "ab_"), -1);
    EXPECT_EQ(capscomp("b", "A"), 1);
    EXPECT_EQ(capscomp("a", "B"), -1);
    EXPECT_EQ(capscomp("gap", "gapp"), -1);
    EXPECT_EQ(capscomp("", ""), 0);
    EXPECT_EQ(capscomp("x", ""), 1);
}

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
    fp = open_read(test_data("utilities_onlyz.txt").c_str(), OPEN_REWIND);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(read_all(fp), "only Z\n");
    close_read(fp);
    EXPECT_EQ(open_read(test_data("utilities_none.txt").c_str(), 0), nullptr);
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

// ---------------------------------------------------------------------------------------------
// Output files and header
// ---------------------------------------------------------------------------------------------

TEST(Output, StandardStreamsBySuffix) {
    std::string dir = scratch_dir();
    std::string run = dir + "/run";
    EXPECT_EQ(open_outputfile(run.c_str(), ">"), stdout);
    EXPECT_EQ(open_outputfile(run.c_str(), ">x"), stdout);
    EXPECT_EQ(open_outputfile(run.c_str(), ">&"), stderr);
    EXPECT_NE(access(run.c_str(), F_OK), 0);
    EXPECT_NE(access((run + ">").c_str(), F_OK), 0);
    close_outputfile(stdout);  // flushed, not closed
    EXPECT_EQ(fputs("", stdout) >= 0, true);
}

TEST(Output, NamesAreRunNamePlusSuffix) {
    std::string dir = scratch_dir();
    std::string run = dir + "/run";
    FILE *fp = open_outputfile(run.c_str(), ".dat");
    fputs("x", fp);
    close_outputfile(fp);
    EXPECT_EQ(read_text(run + ".dat"), "x");
    fp = open_outputfile(run.c_str(), nullptr);
    close_outputfile(fp);
    EXPECT_EQ(access(run.c_str(), F_OK), 0);
    EXPECT_EQ(open_output_or_null("", ".x"), nullptr);
    EXPECT_EQ(open_output_or_null(nullptr, ".x"), nullptr);
}

TEST_F(ThrowingErrors, OutputFilesThatCannotBeCreated) {
    EXPECT_EQ(fatal_message([] { open_outputfile("/nonexistent/dir/run", ".out"); }),
              "(open_outputfile):  Could not open file /nonexistent/dir/run.out");
    EXPECT_EQ(fatal_message([] { prepare_statfile("/nonexistent/dir/run", "b", ".out"); }),
              "(open_outputfile):  Could not open file /nonexistent/dir/run.out");
    static std::string longname(2100, 'n');
    EXPECT_EQ(fatal_message([] {
                  open_outputfile(longname.c_str(), ".out");
              }).rfind("(open_outputfile):  Output file name longer than 1999 characters", 0),
              0u);
}

TEST(Output, HeaderLinesAndClosingTime) {
    std::string dir = scratch_dir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    FILE *fp = prepare_statfile("abc", "QOR: prog v1 date compiled stamp", ".out");
    stat_print_time(fp);
    close_outputfile(fp);
    std::string text = read_text("abc.out");
    std::string banner = "%  QOR: prog v1 date compiled stamp\n";
    std::string block = read_text(test_data("init_banner_block.txt"));
    ASSERT_EQ(text.compare(0, banner.size(), banner), 0);
    ASSERT_EQ(text.compare(banner.size(), block.size(), block), 0);
    std::string rest = text.substr(banner.size() + block.size());
    // Host line, user line (user name left-aligned in a field as wide as the run name), rule.
    size_t nl = rest.find('\n');
    std::string host_line = rest.substr(0, nl);
    EXPECT_EQ(host_line, std::string("%  abc   Host: ") + get_host_name() + "    " +
                             host_line.substr(host_line.size() - 24));
    rest = rest.substr(nl + 1);
    nl = rest.find('\n');
    char user[300];
    snprintf(user, sizeof user, "%-3s", get_user_name());
    EXPECT_EQ(rest.substr(0, nl), std::string("%  ") + user + "   Dir:  " + dir);
    rest = rest.substr(nl + 1);
    std::string rule = "% ---------------------------------------------------------------------\n";
    ASSERT_EQ(rest.compare(0, rule.size(), rule), 0);
    rest = rest.substr(rule.size());
    ASSERT_EQ(rest.compare(0, 20, "%\n%  Total CPU time:"), 0);
    EXPECT_NE(rest.find("\n%  Finished at:  "), std::string::npos);
    EXPECT_EQ(rest.back(), '\n');
}

TEST(Output, BannerBlockWithAnotherCommentCharacter) {
    std::string dir = scratch_dir();
    std::string path = dir + "/b";
    FILE *fp = fopen(path.c_str(), "w");
    print_banner_block(fp, "B", '#');
    fclose(fp);
    std::string block = read_text(test_data("init_banner_block.txt"));
    for (char &c : block)
        if (c == '%') c = '#';
    EXPECT_EQ(read_text(path), "#  B\n" + block);
}

// ---------------------------------------------------------------------------------------------
// Run information
// ---------------------------------------------------------------------------------------------

TEST(RunInfo, CpuTimeText) {
    EXPECT_EQ(format_cpu_time(3725, 0), "user   1: 2: 5    system   0: 0: 0");
    EXPECT_EQ(format_cpu_time(0, 59), "user   0: 0: 0    system   0: 0:59");
    // Hours too wide for three digits push the system part on instead of overwriting.
    EXPECT_EQ(format_cpu_time(3600 * 1234, 0), "user 1234: 0: 0    system   0: 0: 0");
    EXPECT_EQ(std::string(cpu_time()).rfind("user ", 0), 0u);
}

TEST(RunInfo, TimeHostUser) {
    EXPECT_EQ(strlen(get_time()), 24u);
    EXPECT_GT(get_real_time(), 1.6e9);
    EXPECT_GT(strlen(get_host_name()), 0u);
    EXPECT_LE(strlen(get_host_name()), 199u);
    EXPECT_GT(strlen(get_user_name()), 0u);
}

TEST(RunInfo, CodeTexts) {
    EXPECT_STREQ(get_scoring_mode_msg(0), "global");
    EXPECT_STREQ(get_scoring_mode_msg(3), "domain");
    EXPECT_STREQ(get_scoring_mode_msg(4), "unknown");
    EXPECT_STREQ(get_scoring_mode_msg(-1), "unknown");
    EXPECT_STREQ(get_null_model_msg(5), "scaled");
    EXPECT_STREQ(get_null_model_msg(6), "unknown");
    EXPECT_STREQ(get_dp_style_msg(3), "EM");
    EXPECT_STREQ(get_dp_style_msg(5), "posdecod_align_ztrans");
    EXPECT_STREQ(get_dp_style_msg(9), "EM");
}

TEST(RunInfo, NameLists) {
    NameList *l = parse_name_list("a, b,c,,d");
    ASSERT_EQ(l->count, 4);
    EXPECT_STREQ(l->name[0], "a");
    EXPECT_STREQ(l->name[3], "d");
    free(l);
    l = parse_name_list("one, two,three");
    EXPECT_EQ(l->count, 3);
    free(l);
    l = parse_name_list(" \t\n x\r\f\vy ");
    ASSERT_EQ(l->count, 2);
    EXPECT_STREQ(l->name[1], "y");
    free(l);
    l = parse_name_list("");
    EXPECT_EQ(l->count, 0);
    free(l);
    l = parse_name_list(nullptr);
    EXPECT_EQ(l->count, 0);
    free(l);
}

TEST(RunInfo, HashString) {
    EXPECT_EQ(hash_string(""), 0u);
    EXPECT_EQ(hash_string("ab"), 971u);
    EXPECT_EQ(hash_string("\xff"), 0xffffffffu);  // characters are signed
}

namespace {

// Splits text into lines as the reader must: at '\n', the newline dropped, a last line without a
// newline kept, nothing after a final newline.
std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

TEST(InputReader, LinesMatchASplitOfTheBytes) {
    const std::string long_line(200000, 'x');
    const std::string cases[] = {
        "",
        "\n",
        "a",
        "a\nb",
        "a\nb\n",
        "\n\n\nz",
        "a\r\nb\r\n",
        std::string("nul\0byte\n", 9),
        long_line + "\n" + long_line,
        "x\n" + long_line + "\ny\n",
    };
    for (const std::string &text : cases) {
        FILE *fp = text.empty() ? std::fopen("/dev/null", "r")
                                : fmemopen(const_cast<char *>(text.data()), text.size(), "r");
        ASSERT_NE(fp, nullptr);
        InputReader r;
        reader_init(&r, fp, "mem");
        std::vector<std::string> got;
        char *line;
        size_t len;
        while (reader_line(&r, &line, &len)) {
            EXPECT_EQ(line[len], '\0');
            got.emplace_back(line, len);
            if (got.size() == 1) {  // the first line comes back once after a push-back
                reader_unget_line(&r);
                ASSERT_TRUE(reader_line(&r, &line, &len));
                EXPECT_EQ(std::string(line, len), got[0]);
            }
        }
        EXPECT_EQ(got, split_lines(text)) << text.substr(0, 20);
        EXPECT_EQ(r.line_number, (long)got.size());
        EXPECT_TRUE(reader_at_end(&r));
        reader_free(&r);
        std::fclose(fp);
    }
}

TEST(InputReader, LinesWithTheirEndsAndTheByteBefore) {
    const std::string long_line(150000, 'y');
    const std::string text = "a\r\n\nb" + long_line + "\n>c";
    FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    InputReader r;
    reader_init(&r, fp, "mem");
    EXPECT_EQ(reader_byte_before(&r, 0), '\n');
    std::string line;
    std::vector<std::string> got;
    while (reader_line_copy(&r, line)) {
        got.push_back(line);
        EXPECT_EQ(reader_byte_before(&r, r.pos), got.size() < 4 ? '\n' : 'c');
    }
    EXPECT_EQ(got, (std::vector<std::string>{"a\r\n", "\n", "b" + long_line + "\n", ">c"}));
    EXPECT_TRUE(line.empty());
    reader_free(&r);
    std::fclose(fp);

    // A block move keeps the byte before the first byte kept.
    const std::string bytes = std::string(70000, 'x') + "z" + std::string(70000, 'w');
    fp = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "r");
    reader_init(&r, fp, "mem");
    std::string head(70001, '\0');
    EXPECT_EQ(reader_read(&r, &head[0], head.size()), head.size());
    EXPECT_EQ(reader_fill(&r, 70000), 70000u);
    EXPECT_EQ(r.pos, 0u);
    EXPECT_EQ(reader_byte_before(&r, r.pos), 'z');
    reader_free(&r);
    std::fclose(fp);
}

TEST(InputReader, BytesAndBlocksMixWithLines) {
    std::string text = "head\n" + std::string(100000, 'b') + "tail\n";
    FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    InputReader r;
    reader_init(&r, fp, "mem");
    char *line;
    size_t len;
    ASSERT_TRUE(reader_line(&r, &line, &len));
    EXPECT_EQ(std::string(line, len), "head");
    std::string block(100000, '\0');
    EXPECT_EQ(reader_read(&r, &block[0], block.size()), block.size());
    EXPECT_EQ(block, std::string(100000, 'b'));
    EXPECT_EQ(reader_getc(&r), 't');
    reader_ungetc(&r);
    ASSERT_TRUE(reader_line(&r, &line, &len));
    EXPECT_EQ(std::string(line, len), "tail");
    EXPECT_EQ(reader_getc(&r), EOF);
    reader_free(&r);
    std::fclose(fp);
}

// Reads the rest of the reader by a fixed mix of lines (one pushed back now and then), bytes,
// blocks and fills, and returns what each call gave.
std::string read_by_mix(InputReader *r) {
    std::string got, copy;
    char *line;
    size_t len;
    for (int step = 1;; step++) {
        switch (step % 4) {
            case 0:
                if (!reader_line(r, &line, &len)) return got;
                if (step % 3 == 0) {
                    reader_unget_line(r);
                    EXPECT_TRUE(reader_line(r, &line, &len));
                }
                got.append(line, len).append("|");
                break;
            case 1: got += std::to_string(reader_getc(r)) + ","; break;
            case 2: {
                std::string block(static_cast<size_t>(step * 37 % 9000), '\0');
                block.resize(reader_read(r, &block[0], block.size()));
                got += block + "#";
                break;
            }
            default:
                got += std::to_string(std::min(reader_fill(r, static_cast<size_t>(step % 5000)),
                                               static_cast<size_t>(step % 5000))) +
                       ";";
                got += reader_line_copy(r, copy) ? copy : "-";
                break;
        }
    }
}

class ReadAhead : public ScratchTest {};

TEST_F(ReadAhead, GivesWhatAPlainReadGivesAndLeavesTheStreamPastWhatItTook) {
    std::string text;
    unsigned seed = 7;
    for (int i = 0; i < 800; i++) {
        seed = seed * 1103515245u + 12345u;
        text += std::string((seed >> 8) % 2500, static_cast<char>('a' + i % 26)) + "\n";
    }
    text += "last line without a newline";
    const std::string name = file("ahead.txt", text);
    const long start = 3;  // the stream has been read from (and buffered) before the reader
    std::string plain;
    for (size_t block : {size_t(0), size_t(1000), size_t(4099)}) {
        for (bool ahead : {false, true}) {
            FILE *fp = std::fopen(name.c_str(), "r");
            ASSERT_NE(fp, nullptr);
            for (long i = 0; i < start; i++) std::fgetc(fp);
            InputReader r;
            reader_init(&r, fp, "ahead.txt");
            r.block = block;
            r.read_ahead = ahead;
            std::string got = read_by_mix(&r);
            EXPECT_EQ(r.ahead != nullptr, ahead);
            if (plain.empty()) plain = got;
            EXPECT_EQ(got, plain) << block << " " << ahead;
            reader_free(&r);
            EXPECT_EQ(std::ftell(fp), static_cast<long>(text.size()));

            // Stopped midway, the stream goes on from the end of the reader's bytes.
            std::fseek(fp, start, SEEK_SET);
            reader_init(&r, fp, "ahead.txt");
            r.block = block;
            r.read_ahead = ahead;
            std::string head(123457, '\0');
            ASSERT_EQ(reader_read(&r, &head[0], head.size()), head.size());
            head.append(reinterpret_cast<char *>(r.data + r.pos), r.end - r.pos);
            reader_free(&r);
            std::string rest(text.size(), '\0');
            rest.resize(std::fread(&rest[0], 1, rest.size(), fp));
            EXPECT_EQ(head + rest, text.substr(start)) << block << " " << ahead;
            std::fclose(fp);
        }
    }
}

TEST(ReadAheadStreams, OnlyRegularFilesAreReadAhead) {
    FILE *pipe = popen("printf 'a\\nbb\\n'", "r");
    ASSERT_NE(pipe, nullptr);
    InputReader r;
    reader_init(&r, pipe, "pipe");
    r.read_ahead = true;
    std::string line;
    ASSERT_TRUE(reader_line_copy(&r, line));
    EXPECT_EQ(line, "a\n");
    EXPECT_EQ(r.ahead, nullptr);
    ASSERT_TRUE(reader_line_copy(&r, line));
    EXPECT_FALSE(reader_line_copy(&r, line));
    reader_free(&r);
    pclose(pipe);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// White space, numbers, tokens
// ---------------------------------------------------------------------------------------------

namespace {

TEST(Text, WhiteSpaceIsThatOfTheCLocale) {
    for (int c = -1; c < 256; c++) EXPECT_EQ(is_space(c), c >= 0 && std::isspace(c) != 0) << c;
}

// The C conversions on the NUL-terminated text are the reference of the number parser.
TEST(Text, NumbersAsTheCConversionsReadThem) {
    const char *cases[] = {"42",
                           "  -17 x",
                           "+0",
                           "9223372036854775807",
                           "9223372036854775808",
                           "-9223372036854775809",
                           "\t12abc",
                           "",
                           "-",
                           "x1",
                           "1.5e3",
                           ".5",
                           "5.",
                           "-.e1",
                           "1e",
                           "1e+",
                           "2E-3z",
                           "inf",
                           "-Infinity",
                           "infin",
                           "nan",
                           "NaN(abc)",
                           "nan(",
                           "0x1p4",
                           "0x",
                           "0x.8",
                           "-0X1.8P+1",
                           "1e400",
                           "-1e400",
                           "1e-400",
                           "00012.50"};
    for (const char *text : cases) {
        const char *end = text + std::strlen(text);
        char *want_end;
        errno = 0;
        long want = std::strtol(text, &want_end, 10);
        bool want_over = errno == ERANGE;
        long got = -1;
        bool over = !want_over;
        const char *got_end = scan_long(text, end, &got, &over);
        EXPECT_EQ(got_end ? got_end : text, want_end) << text;
        if (got_end) {
            EXPECT_EQ(got, want) << text;
            EXPECT_EQ(over, want_over) << text;
        }

        errno = 0;
        double wantd = std::strtod(text, &want_end);
        bool wantd_over = errno == ERANGE && std::fabs(wantd) == HUGE_VAL;
        double gotd = -1;
        got_end = scan_double(text, end, &gotd, &over, C_FORMS);
        EXPECT_EQ(got_end ? got_end : text, want_end) << text;
        if (!got_end) continue;
        EXPECT_EQ(over, wantd_over) << text;
        if (std::isnan(wantd))
            EXPECT_TRUE(std::isnan(gotd)) << text;
        else
            EXPECT_EQ(gotd, wantd) << text;
    }
}

TEST(Text, DecimalFormsStopBeforeHexadecimalAndNanArguments) {
    struct Case {
        const char *text;
        size_t length;  // of the number
        double value;
    } cases[] = {{"0x1p4", 1, 0.0}, {"-0X8", 2, -0.0}, {"nan(1)", 3, NAN}, {"1.25e2:", 6, 125.0}};
    for (const Case &c : cases) {
        double v = -1;
        const char *end = scan_double(c.text, c.text + std::strlen(c.text), &v);
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_EQ((size_t)(end - c.text), c.length) << c.text;
        if (std::isnan(c.value))
            EXPECT_TRUE(std::isnan(v));
        else
            EXPECT_EQ(v, c.value) << c.text;
    }
    // The end of the text ends the number even where more digits follow.
    const char *text = "12345";
    int n = 0;
    EXPECT_EQ(scan_int(text, text + 3, &n), text + 3);
    EXPECT_EQ(n, 123);
    EXPECT_EQ(scan_int(text, text, &n), nullptr);  // an empty range holds no number
    const char *big = "-99999999999";
    EXPECT_EQ(scan_int(big, big + 12, &n), big + 12);
    EXPECT_EQ(n, INT_MIN);
}

TEST(Text, TokensBetweenSeparators) {
    struct Case {
        std::string text;
        const char *seps;
        std::vector<std::string> tokens;
    } cases[] = {
        {"  a bb\tc\n", SPACE_SEPARATORS, {"a", "bb", "c"}},
        {"", SPACE_SEPARATORS, {}},
        {" \t ", SPACE_SEPARATORS, {}},
        {"x=1 = y", " =", {"x", "1", "y"}},
        {std::string("a\0b c", 5), " ", {std::string("a\0b", 3), "c"}},
        {"a\vb", " \t\n\r", {"a\vb"}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> got;
        const char *p = c.text.data(), *end = p + c.text.size(), *token;
        size_t length;
        while ((p = next_token(p, end, c.seps, &token, &length))) got.emplace_back(token, length);
        EXPECT_EQ(got, c.tokens) << c.text;
    }
}

}  // namespace
