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
