// Fuzz harness of the prior-library reader: the input is written to a file and read as a library
// of 4 letters (then of the count it names, when it names one); a library read is written back,
// read again, and used for an estimate.
#include "models/prior.h"
#include "foundation/errors.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

static PriorLib *read_quietly(const char *path, int K) {
    FILE *saved = stderr;
    FILE *null = std::fopen("/dev/null", "w");
    if (null) stderr = null;
    PriorLib *lib = nullptr;
    try {
        lib = read_PriorLib(path, "/nonexistent", nullptr, K, 0);
    } catch (const FatalError &) {
        lib = nullptr;
    }
    stderr = saved;
    if (null) std::fclose(null);
    return lib;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    static std::string path = "/tmp/fuzz_priorlib." + std::to_string(getpid());
    static std::string back = path + ".back";
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);

    PriorLib *lib = read_quietly(path.c_str(), 4);
    if (lib) {
        float table[4] = {1, 0, 2.5f, 0};
        adapt_freq_table(table, lib, nullptr, 1.0, 0.0);
        for (float v : table)
            if (std::isnan(v)) __builtin_trap();
        FILE *out = std::fopen(back.c_str(), "w");
        if (out) {
            write_PriorLib(out, lib);
            std::fclose(out);
            PriorLib *again = read_quietly(back.c_str(), 4);
            if (!again || again->NumDistr != lib->NumDistr) __builtin_trap();
            for (int c = 0; c < lib->NumDistr; c++)
                for (int j = 0; j <= lib->AlphaChar; j++)
                    if (again->Distr[c][j] != lib->Distr[c][j]) __builtin_trap();
            free_PriorLib(&again);
            unlink(back.c_str());
        }
        free_PriorLib(&lib);
    }
    unlink(path.c_str());
    return 0;
}
