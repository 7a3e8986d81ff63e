// Fuzz harness of the text model reader. The input is read as a model file block by block
// (at most four blocks); every raw model read is written back in text and BINARY form and the
// BINARY form read again. The first byte chooses whether DNA is set before reading (odd) or the
// file must name its alphabet (even).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/reader.h"
#include "foundation/startup.h"
#include "models/modelio.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    reset_library_state();
    FILE *fp = tmpfile();
    if (!fp) return 0;
    if (size > 1) fwrite(data + 1, 1, size - 1, fp);
    rewind(fp);
    FuzzQuiet quiet;
    Rmodel *rm = nullptr;
    Rmodel *back = nullptr;
    FILE *out = nullptr;
    InputReader in, in_out;
    reader_init(&in, fp, "fuzz");
    reader_init(&in_out, nullptr, "fuzz-out");
    try {
        if (size > 0 && (data[0] & 1)) init_alphabet_by_name("DNA", 0, "");
        for (int block = 0; block < 4; block++) {
            int line = 0;
            rm = read_rmodel(&in, "fuzz", &line, nullptr, nullptr, nullptr, 0);
            out = tmpfile();
            if (out) {
                nice_print_rmodel(out, rm, "MODEL", "text", nullptr, 0);
                nice_print_rmodel(out, rm, "MODEL", "binary", nullptr, 1);
                rewind(out);
                reader_init(&in_out, out, "fuzz-out");
                int l2 = 0;
                free_rmodel(&back);
                back = read_rmodel(&in_out, "fuzz-out", &l2, nullptr, nullptr, nullptr, 0);
                free_rmodel(&back);
                back = read_rmodel(&in_out, "fuzz-out", &l2, nullptr, nullptr, nullptr, 0);
                reader_free(&in_out);
                fclose(out);
                out = nullptr;
            }
            free_rmodel(&back);
            free_rmodel(&rm);
        }
    } catch (const FatalError &) {}
    if (out) fclose(out);
    free_rmodel(&rm);
    free_rmodel(&back);
    reader_free(&in_out);
    reader_free(&in);
    fclose(fp);
    return 0;
}
