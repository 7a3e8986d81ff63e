// The fixture and helpers shared by the parameter tests: a library with no verbose stream, one
// parameter line applied (its messages, or its fatal message), a table entry by key, and the
// parameters as print_init writes them.
#ifndef QOR_TESTS_PARAMS_FIXTURE_H
#define QOR_TESTS_PARAMS_FIXTURE_H

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/errors.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "testutil.h"

namespace {

struct Params : LibraryTest {
    void SetUp() override {
        LibraryTest::SetUp();
        verbout = nullptr;
    }
};

// Applies one line and returns what went to standard error.
inline std::string apply(const char *line, int priority, const char *source = "f",
                         int line_no = 1) {
    testing::internal::CaptureStderr();
    process_init_entry(nullptr, line, priority, source, &line_no, 0);
    return testing::internal::GetCapturedStderr();
}

inline std::string fatal_of_line(const char *line, int priority = PRIORITY_COMMAND) {
    try {
        int n = 3;
        process_init_entry(nullptr, line, priority, "f", &n, 0);
    } catch (const FatalError &e) {
        return e.message;
    }
    return "<no error>";
}

inline ReadVar *entry_of(const char *key) {
    for (ReadVar *v = read_vars; v->type != VAR_END; v++)
        if (std::strcmp(v->key, key) == 0) return v;
    return nullptr;
}

inline std::string print_to_text(int all, int comment_all) {
    std::string path = scratch_dir() + "/p";
    FILE *fp = fopen(path.c_str(), "w");
    print_init(fp, all, comment_all, 0);
    fclose(fp);
    return read_text(path);
}

}  // namespace

#endif
