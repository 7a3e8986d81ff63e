// What the fuzz harnesses share: scratch files of this process that are removed when it ends,
// writing an input into a file, and standard error silenced while an input runs.
#ifndef QOR_FUZZ_UTIL_H
#define QOR_FUZZ_UTIL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"

// "/tmp/<stem>.<pid><suffix>", removed when the process ends.
inline std::string fuzz_scratch_file(const std::string &stem, const std::string &suffix = "") {
    struct Files {
        std::vector<std::string> names;
        ~Files() {
            for (const std::string &n : names) unlink(n.c_str());
        }
    };
    static Files files;
    std::string name = "/tmp/" + stem + "." + std::to_string(getpid()) + suffix;
    files.names.push_back(name);
    return name;
}

// The start-up of a harness, once per process: fatal errors thrown, parameters at their defaults,
// the alphabet table made and, when a name is given, track 0 set to that alphabet.
inline void fuzz_start_once(const char *alphabet_name) {
    static bool started = false;
    if (started) return;
    error_throws = true;
    initialize_variables();
    init_alphabets();
    if (alphabet_name) init_alphabet_by_name(alphabet_name, 0, "");
    started = true;
}

// Writes data[0..size) into a new file at path; false when it cannot be made.
inline bool fuzz_write_file(const std::string &path, const uint8_t *data, size_t size) {
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);
    return true;
}

// Standard error goes to /dev/null while the object lives.
struct FuzzQuiet {
    FILE *saved = stderr;
    FILE *sink = std::fopen("/dev/null", "w");
    FuzzQuiet() {
        if (sink) stderr = sink;
    }
    ~FuzzQuiet() {
        stderr = saved;
        if (sink) std::fclose(sink);
    }
    FuzzQuiet(const FuzzQuiet &) = delete;
    FuzzQuiet &operator=(const FuzzQuiet &) = delete;
};

#endif
