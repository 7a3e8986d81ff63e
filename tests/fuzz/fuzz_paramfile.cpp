// Fuzz harness of the parameter-file reader: the input is written to a file and read as a
// parameter file at command-line priority (model blocks are skipped). A fatal "Error: ..." on
// bad input is a normal outcome; crashes, hangs and sanitizer reports are not.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"

static const char *const PARAM_FILE = "fuzz_params.txt";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = false;
    static char dir[] = "/tmp/qorfuzz.XXXXXX";
    if (!ready) {
        if (!mkdtemp(dir)) std::abort();
        error_throws = true;
        reset_library_state();
        ready = true;
    }
    verbout = nullptr;
    // Work in a private directory, so that "i fuzz_params.txt" names the file itself; the
    // caller's working directory is restored afterwards.
    char *home = getcwd(nullptr, 0);
    if (!home || chdir(dir) != 0) std::abort();
    FILE *fp = std::fopen(PARAM_FILE, "wb");
    if (!fp) std::abort();
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);
    try {
        read_init(PARAM_FILE, PRIORITY_COMMAND, 0);
    } catch (const FatalError &) {}
    reset_library_state();
    if (chdir(home) != 0) std::abort();
    std::free(home);
    return 0;
}
