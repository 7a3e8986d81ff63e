#include "testutil.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

std::string test_data(const std::string &name) {
    const char *dir = std::getenv("QOR_TEST_DATA");
#ifdef QOR_TEST_DATA
    if (!dir) dir = QOR_TEST_DATA;
#endif
    return std::string(dir ? dir : "tests/data") + "/" + name;
}

std::string scratch_dir() {
    char tmpl[] = "/tmp/qortest.XXXXXX";
    const char *d = mkdtemp(tmpl);
    return d ? std::string(d) : std::string("/tmp");
}

void write_text(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<unreadable>";
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string stream_text(FILE *fp) {
    std::fflush(fp);
    std::rewind(fp);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, n);
    return text;
}

bool have_program(const std::string &name) {
    return std::system(("command -v '" + name + "' >/dev/null 2>&1").c_str()) == 0;
}

bool running_in_ci() {
    const char *ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}
