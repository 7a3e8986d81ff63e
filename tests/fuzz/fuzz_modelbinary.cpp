// Fuzz harness of the BINARY model reader. The input follows the lines "MODEL -- fuzz" and
// "BINARY"; when its first byte is odd the line "alphabet DNA" is put before the rest, so that
// the binary words themselves are reached quickly. A model read is written back in BINARY form
// and read again.
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
    fputs("MODEL -- fuzz\nBINARY\n", fp);
    if (size > 0 && (data[0] & 1)) fputs("alphabet DNA\n", fp);
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
        int line = 0;
        rm = read_rmodel(&in, "fuzz", &line, nullptr, nullptr, nullptr, 0);
        out = tmpfile();
        if (out) {
            nice_print_rmodel(out, rm, "MODEL", "again", nullptr, 1);
            rewind(out);
            reader_init(&in_out, out, "fuzz-out");
            int l2 = 0;
            back = read_rmodel(&in_out, "fuzz-out", &l2, nullptr, nullptr, nullptr, 0);
            reader_free(&in_out);
            fclose(out);
            out = nullptr;
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
