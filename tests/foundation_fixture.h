// The fixture and helpers shared by the tests of the foundation units: errors thrown instead of
// ending the process, the message of a fatal error, and everything left on a stream.
#ifndef QOR_TESTS_FOUNDATION_FIXTURE_H
#define QOR_TESTS_FOUNDATION_FIXTURE_H

#include <cstdio>
#include <string>

#include "foundation/errors.h"
#include "testutil.h"

namespace {

struct ThrowingErrors : LibraryTest {};

inline std::string fatal_message(void (*f)()) {
    try {
        f();
    } catch (const FatalError &e) {
        return e.message;
    }
    return "<no error>";
}

inline std::string read_all(FILE *fp) {
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) s.append(buf, n);
    return s;
}

}  // namespace

#endif
