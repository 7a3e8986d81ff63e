// Small helpers shared by the unit tests: files in a scratch directory and the test data path.
#ifndef QOR_TESTUTIL_H
#define QOR_TESTUTIL_H

#include <string>

// Directory holding the test data files (tests/data).
std::string test_data(const std::string &name);
// A fresh scratch directory for one test; the caller may leave files in it.
std::string scratch_dir();
// Writes text to path (binary, exact bytes).
void write_text(const std::string &path, const std::string &text);
// Reads a whole file; an unreadable file gives "<unreadable>".
std::string read_text(const std::string &path);

#endif
