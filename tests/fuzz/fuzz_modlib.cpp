// Fuzz harness of the model-library reader: the input is written to a file and taken entry by
// entry (parameter lines at library priority, model blocks inside entries, model files named by
// entries), then closed. A fatal "Error: ..." on bad input is a normal outcome; crashes, hangs
// and sanitizer reports are not.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/init_modlib.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

static const char *const LIBRARY_FILE = "fuzz_library.txt";
// Entries taken from one input at most (each yields or is skipped).
static const int MAX_ENTRIES = 50;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = false;
    static char dir[] = "/tmp/qorfuzzlib.XXXXXX";
    if (!ready) {
        if (!mkdtemp(dir)) std::abort();
        error_throws = true;
        initialize_variables();
        init_alphabets();
        ready = true;
    }
    verbout = nullptr;
    char *home = getcwd(nullptr, 0);
    if (!home || chdir(dir) != 0) std::abort();
    FILE *fp = std::fopen(LIBRARY_FILE, "wb");
    if (!fp) std::abort();
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);
    char *name = nullptr, *title = nullptr;
    try {
        start_model_library(LIBRARY_FILE);
        for (int n = 0; n < MAX_ENTRIES && next_model_library(&name, &title, "d"); n++) {}
    } catch (const FatalError &) {}
    end_model_library(&name, &title);
    free_rmodel(&base_model);
    free_rmodel(&base_regularizer);
    free_rmodel(&users_null);
    free_rmodel(&base_frequencies);
    free_init();
    initialize_variables();
    if (chdir(home) != 0) std::abort();
    std::free(home);
    return 0;
}
