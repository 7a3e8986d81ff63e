// Output files and their header, and the run-information helpers.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation_fixture.h"
#include "testutil.h"
#include "foundation/errors.h"
#include "foundation/interrupts.h"
#include "foundation/output_files.h"

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

// ---------------------------------------------------------------------------------------------
// Files replaced only once complete: held outputs, their commit and the discard
// ---------------------------------------------------------------------------------------------

namespace {

// The hidden files of a folder (where temporaries would be).
std::vector<std::string> hidden_files(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d))
            if (e->d_name[0] == '.' && std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

mode_t mode_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

struct OutputReplace : ScratchTest {};

}  // namespace

TEST_F(OutputReplace, HeldOutputsReplaceTheirFilesAtCommit) {
    std::string run = path("r");
    write_text(run + ".a", "old a");
    ASSERT_EQ(chmod((run + ".a").c_str(), 0640), 0);
    mode_t mask = umask(0);
    umask(mask);
    FILE *a = open_outputfile(run.c_str(), ".a");
    FILE *b = open_outputfile(run.c_str(), ".b");
    fputs("new a", a);
    fputs("new b", b);
    hold_outputfile(a);
    hold_outputfile(b);
    EXPECT_EQ(read_text(run + ".a"), "old a");
    EXPECT_NE(access((run + ".b").c_str(), F_OK), 0);
    commit_outputfiles();
    EXPECT_EQ(read_text(run + ".a"), "new a");
    EXPECT_EQ(read_text(run + ".b"), "new b");
    // The replaced file keeps its permissions; a new one has those of a plain create.
    EXPECT_EQ(mode_of(run + ".a"), 0640u);
    EXPECT_EQ(mode_of(run + ".b"), 0666u & ~mask);
    EXPECT_TRUE(hidden_files(dir).empty());
}

// A rename that fails after others of the set went through cannot take them back: the message
// names the files already replaced, and the rest of the set is left as it was.
TEST_F(OutputReplace, AFailedRenameInASetNamesTheFilesAlreadyReplaced) {
    const std::string run = path("r");
    for (const char *suffix : {".a", ".c"}) write_text(run + suffix, "old");
    FILE *a = open_outputfile(run.c_str(), ".a");
    FILE *b = open_outputfile(run.c_str(), ".b");
    FILE *c = open_outputfile(run.c_str(), ".c");
    for (FILE *fp : {a, b, c}) {
        fputs("new", fp);
        hold_outputfile(fp);
    }
    ASSERT_EQ(mkdir((run + ".b").c_str(), 0755), 0);  // no file can take the place of a folder
    EXPECT_EQ(fatal_of([] { commit_outputfiles(); }),
              "Could not write " + run + ".b: Is a directory (already replaced: " + run + ".a)");
    EXPECT_EQ(read_text(run + ".a"), "new");
    EXPECT_EQ(read_text(run + ".c"), "old");
    EXPECT_TRUE(hidden_files(dir).empty());
}

TEST_F(OutputReplace, FailedOrAbandonedOutputsLeaveTheFilesAsTheyWere) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
    std::string run = path("r");
    write_text(run + ".a", "old a");
    ASSERT_EQ(symlink("/dev/full", (run + ".b").c_str()), 0);
    // A failed output of the run discards the outputs held with it.
    FILE *a = open_outputfile(run.c_str(), ".a");
    FILE *b = open_outputfile(run.c_str(), ".b");
    fputs("new a", a);
    fputs("new b", b);
    hold_outputfile(a);
    EXPECT_EQ(fatal_of([&] { hold_outputfile(b); }),
              "Could not write " + run + ".b: No space left on device");
    commit_outputfiles();
    EXPECT_EQ(read_text(run + ".a"), "old a");
    EXPECT_TRUE(hidden_files(dir).empty());
    // A fatal error in the middle of writing: the caller discards what is in progress.
    a = open_outputfile(run.c_str(), ".a");
    fputs("new a", a);
    EXPECT_EQ(hidden_files(dir).size(), 1u);
    EXPECT_NE(fatal_of([&] { open_outputfile(path("none/r").c_str(), ".c"); }), "");
    discard_outputfiles();
    EXPECT_EQ(read_text(run + ".a"), "old a");
    EXPECT_TRUE(hidden_files(dir).empty());
}

// A temporary that cannot be made for want of a descriptor (as of space, an inode or a quota)
// fails the open with its reason: the old file is never written over directly, nor the plot
// handed to gnuplot to write in place.
TEST_F(OutputReplace, NoTemporaryForWantOfAResourceFailsAndKeepsTheFile) {
    const std::string run = path("r");
    write_text(run + ".a", "old a");
    struct rlimit was;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
    const int lowest_free = dup(0);
    ASSERT_GE(lowest_free, 0);
    close(lowest_free);
    struct rlimit none_left = was;
    none_left.rlim_cur = (rlim_t)lowest_free;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none_left), 0);
    const std::string message = fatal_of([&] { open_outputfile(run.c_str(), ".a"); });
    bool direct = true;
    errno = 0;
    FILE *plot = open_output_temporary((run + ".ps").c_str(), &direct);
    const int plot_errno = errno;
    setrlimit(RLIMIT_NOFILE, &was);
    EXPECT_EQ(message,
              "(open_outputfile):  Could not open file " + run + ".a: Too many open files");
    EXPECT_EQ(plot, nullptr);
    EXPECT_FALSE(direct);
    EXPECT_EQ(plot_errno, EMFILE);
    EXPECT_EQ(read_text(run + ".a"), "old a");
    EXPECT_TRUE(hidden_files(dir).empty());
}

// Every signal that ends a run (the crash signals aside) removes the temporaries and ends the
// process by that signal; a signal the process was started ignoring stays ignored, and one handled
// by then (a profiler's) keeps its handler. A name too long for ".NAME.XXXXXX" still gets a hidden
// temporary (it would otherwise be written in place and be left behind). Each child starts as a
// program does, its handlers installed at start-up; the parent's own temporary, which the children
// inherit a record of, is left alone.
static void note_signal(int) {}

TEST_F(OutputReplace, InterruptsRemoveTemporariesAndEndByTheirSignal) {
    const std::string run = path("r"), long_name = path(std::string(250, 'p')), own = path("own");
    enum Before { DEFAULT, IGNORED, HANDLED };
    const struct {
        int sig;
        Before before;
    } cases[] = {{SIGINT, DEFAULT},  {SIGTERM, DEFAULT}, {SIGHUP, DEFAULT},    {SIGHUP, IGNORED},
                 {SIGPIPE, DEFAULT}, {SIGPIPE, IGNORED}, {SIGQUIT, DEFAULT},   {SIGALRM, DEFAULT},
                 {SIGUSR1, DEFAULT}, {SIGUSR2, DEFAULT}, {SIGVTALRM, DEFAULT}, {SIGPROF, DEFAULT},
                 {SIGPOLL, DEFAULT}, {SIGXCPU, DEFAULT}, {SIGPWR, DEFAULT},    {SIGSTKFLT, DEFAULT},
                 {SIGPROF, HANDLED}, {SIGTERM, HANDLED}};
    ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
    FILE *kept = open_outputfile(own.c_str(), "/p");
    for (const auto &c : cases) {
        write_text(run + ".a", "old a");
        pid_t pid = fork();
        if (pid == 0) {
            const struct rlimit no_core = {0, 0};  // SIGQUIT and SIGXCPU would dump one
            setrlimit(RLIMIT_CORE, &no_core);
            std::signal(c.sig, c.before == IGNORED   ? SIG_IGN
                               : c.before == HANDLED ? note_signal
                                                     : SIG_DFL);
            install_interrupt_handlers();
            FILE *a = open_outputfile(run.c_str(), ".a");
            FILE *b = open_outputfile(long_name.c_str(), nullptr);
            fputs("new a", a);
            std::raise(c.sig);
            discard_outputfile(a);
            discard_outputfile(b);
            _exit(7);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (c.before != DEFAULT)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << c.sig;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << c.sig;
        EXPECT_EQ(read_text(run + ".a"), "old a");
        EXPECT_NE(access(long_name.c_str(), F_OK), 0);
        EXPECT_TRUE(hidden_files(dir).empty()) << c.sig;
        EXPECT_EQ(hidden_files(own).size(), 1u) << c.sig;
    }
    discard_outputfile(kept);
}

// A file name longer than its folder takes fails at once, before any temporary is made.
TEST_F(OutputReplace, NamePastTheFolderLimitFailsAtOpen) {
    errno = 0;
    EXPECT_EQ(open_output_path(path(std::string(256, 'n')).c_str()), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_TRUE(hidden_files(dir).empty());
}
