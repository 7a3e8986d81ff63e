// Fuzz harness of the transition-prior library reader: the input is written to a file and read;
// every environment's pseudo-counts are then taken.
#include "models/prior.h"
#include "foundation/errors.h"

#include "fuzz_util.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    static const std::string path = fuzz_scratch_file("fuzz_transprior");
    if (!fuzz_write_file(path, data, size)) return 0;
    FuzzQuiet quiet;
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
    return 0;
}
