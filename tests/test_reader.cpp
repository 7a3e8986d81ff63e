// The buffered input reader: lines, bytes, blocks, push-back and the read-ahead.
#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation_fixture.h"
#include "testutil.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"

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

// The read-ahead thread blocks SIGINT, SIGTERM and SIGHUP, leaving them to the run's own thread
// (whose records their handler cleans), whose mask is as it was.
TEST_F(ReadAhead, TheThreadLeavesTheInterruptSignalsToTheRun) {
    FILE *fp = std::fopen(file("sig.txt", std::string(1 << 20, 'a')).c_str(), "r");
    InputReader r;
    reader_init(&r, fp, "sig.txt");
    r.read_ahead = true;
    char c;
    ASSERT_TRUE(reader_read(&r, &c, 1) == 1 && r.ahead);
    const unsigned long want = 1ul << (SIGINT - 1) | 1ul << (SIGTERM - 1) | 1ul << (SIGHUP - 1);
    std::string main_blocked, others_blocked;
    DIR *tasks = opendir("/proc/self/task");
    while (struct dirent *e = readdir(tasks)) {
        if (e->d_name[0] == '.') continue;
        std::string status = read_text(std::string("/proc/self/task/") + e->d_name + "/status");
        bool held =
            (std::stoul(status.substr(status.find("SigBlk:") + 7), nullptr, 16) & want) == want;
        (std::atol(e->d_name) == getpid() ? main_blocked : others_blocked) += held ? "y" : "n";
    }
    closedir(tasks);
    EXPECT_EQ(main_blocked, "n");
    EXPECT_NE(others_blocked.find('y'), std::string::npos);
    reader_free(&r);
    std::fclose(fp);
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

// Under a handler installed without SA_RESTART (a profiler's, which the run keeps), a read of a
// pipe fails with EINTR when the handler's signal comes while it waits. A prompt's reads (one
// byte at a time) are made again until the writer's line is in.
TEST(InputReaderSignals, ReadsByLineCutShortAreMadeAgain) {
    struct sigaction act = {}, old;
    act.sa_handler = [](int) {};
    ASSERT_EQ(sigaction(SIGALRM, &act, &old), 0);
    FILE *pipe = popen("sleep 0.3; echo 2 7", "r");
    ASSERT_NE(pipe, nullptr);
    const struct itimerval every = {{0, 20000}, {0, 20000}}, off = {};
    setitimer(ITIMER_REAL, &every, nullptr);
    InputReader r;
    reader_init(&r, pipe, "pipe");
    r.by_line = true;
    std::string line;
    EXPECT_EQ(fatal_of([&] { reader_line_copy(&r, line); }), "");
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(line, "2 7\n");
    reader_free(&r);
    pclose(pipe);
}

// Lines past the reader's bound (8 here, set as a format with a bound of its own would) end the
// run with the line's number; in text mode, a long line of text is taken whole, but not one with
// other bytes. /dev/zero never gives a line end: it is refused after one fill.
TEST_F(ThrowingErrors, LinesPastTheBoundAreRefused) {
    // Text over several blocks of the reader, then a byte that is no text.
    const std::string long_text = std::string(200000, 'A') + "\001\n";
    struct Case {
        const char *text;  // null: /dev/zero
        bool text_mode;
        const char *lines;  // the lines taken, each with "|" after it
        const char *message;
    } cases[] = {
        {"12345678\n123456789\nab\n", false, "12345678|",
         "Line 2 of in.txt is longer than 8 characters"},
        {"ab\n123456789", false, "ab|", "Line 2 of in.txt is longer than 8 characters"},
        {nullptr, false, "", "Line 1 of in.txt is longer than 8 characters"},
        {"ACGT ACGT\t-ACGT\r\nab\n", true, "ACGT ACGT\t-ACGT\r|ab|", ""},
        {"ab\nACGTACGT\001\n", true, "ab|", "Line 2 of in.txt is longer than 8 characters"},
        {nullptr, true, "", "Line 1 of in.txt is longer than 8 characters"},
        {long_text.c_str(), true, "", "Line 1 of in.txt is longer than 8 characters"},
    };
    for (const Case &c : cases) {
        std::string text = c.text ? c.text : "";
        FILE *fp = c.text ? fmemopen(const_cast<char *>(text.data()), text.size(), "r")
                          : std::fopen("/dev/zero", "r");
        ASSERT_NE(fp, nullptr);
        InputReader r;
        reader_init(&r, fp, "in.txt");
        r.max_line = 8;
        r.long_text_lines = c.text_mode;
        std::string taken, line;
        std::string message = fatal_of([&] {
            while (reader_line_copy(&r, line)) taken += line.substr(0, line.find('\n')) + "|";
        });
        EXPECT_EQ(taken, c.lines) << text.substr(0, 40);
        EXPECT_EQ(message, c.message) << text.substr(0, 40);
        reader_free(&r);
        std::fclose(fp);
    }
    // The bound of a reader left as it is.
    InputReader r;
    EXPECT_EQ(r.max_line, size_t(16) << 20);
}

}  // namespace
