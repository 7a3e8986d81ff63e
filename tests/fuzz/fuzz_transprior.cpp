// Fuzz harness of the transition-prior library reader: the input is written to a file and read;
// every environment's pseudo-counts are then taken.
#include "prior.h"
#include "utilities.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    static std::string path = "/tmp/fuzz_transprior." + std::to_string(getpid());
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);

    FILE *saved = stderr;
    FILE *null = std::fopen("/dev/null", "w");
    if (null) stderr = null;
    EnvCodeTable *codes = nullptr;
    makeEnvCodes(&codes, 2, 16);
    try {
        int nenv = 0;
        EnvPlib **lib = read_TransPriorsLib(path.c_str(), &nenv, codes);
        for (int e = 0; e < nenv; e++) {
            float pc[3];
            try {
                for (int t = 0; t < 3; t++) env_pseudocounts(lib[e], t, pc);
            } catch (const FatalError &) {}
        }
        free_TransPriorsLib(lib, nenv);
    } catch (const FatalError &) {}
    free_EnvCodes(codes);
    stderr = saved;
    if (null) std::fclose(null);
    unlink(path.c_str());
    return 0;
}
