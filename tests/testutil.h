// Small helpers shared by the unit tests: files in a scratch directory and the test data path.
#ifndef QOR_TESTUTIL_H
#define QOR_TESTUTIL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/errors.h"
#include "foundation/startup.h"

// Base of the test fixtures: every test starts from the library's start-up state
// (reset_library_state) with fatal errors thrown as FatalError, and leaves a fresh state behind.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        reset_library_state();
    }
    void TearDown() override {
        reset_library_state();
        error_throws = false;
    }
};

// Directory holding the test data files (tests/data).
std::string test_data(const std::string &name);
// A fresh scratch directory for one test; the caller may leave files in it.
std::string scratch_dir();
// Writes text to path (binary, exact bytes).
void write_text(const std::string &path, const std::string &text);
// Reads a whole file; an unreadable file gives "<unreadable>".
std::string read_text(const std::string &path);

// A LibraryTest with a fresh scratch directory for the test's files.
class ScratchTest : public LibraryTest {
protected:
    std::string dir;
    void SetUp() override {
        LibraryTest::SetUp();
        dir = scratch_dir();
    }
    // The path of a file of the scratch directory.
    std::string path(const std::string &name) const { return dir + "/" + name; }
    // Writes the file and returns its path.
    std::string file(const std::string &name, const std::string &text) const {
        write_text(path(name), text);
        return path(name);
    }
};

// True when the outside program is found on the PATH.
bool have_program(const std::string &name);
// True under CI=true, where CI installs every outside program the tests use.
bool running_in_ci();

// Skips the test when an outside program it needs is absent; under CI=true the test fails
// instead, so that a missing install step cannot pass as a skip.
#define REQUIRE_PROGRAM(name)                                                                      \
    do {                                                                                           \
        if (!have_program(name)) {                                                                 \
            if (running_in_ci()) FAIL() << (name) << " is not installed (CI installs it)";         \
            GTEST_SKIP() << (name) << " is not installed";                                         \
        }                                                                                          \
    } while (0)

// Everything written to a stream so far (the stream is flushed and rewound).
std::string stream_text(FILE *fp);

// Runs f with fatal errors thrown instead of ending the process; gives the message of the fatal
// error (without "Error: " and the newline), or "" when f ended normally.
template <class F>
std::string fatal_of(F f) {
    bool saved = error_throws;
    error_throws = true;
    try {
        f();
    } catch (const FatalError &e) {
        error_throws = saved;
        return e.message;
    }
    error_throws = saved;
    return "";
}

// What a writer puts on a stream: f is called with a temporary stream.
template <class F>
std::string output_of(F f) {
    FILE *fp = std::tmpfile();
    f(fp);
    std::string text = stream_text(fp);
    std::fclose(fp);
    return text;
}

#endif
