// Fuzz harness of the HSSP reader: each input is read as an HSSP file (header, then every row);
// with an odd first byte the structure template is written as well and read back. Every row must
// be SEQLENGTH characters long.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "sequences/hssp.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "sequences/sequence.h"

#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz_scratch_file("fuzz_hssp", ".hssp");
    static const std::string tplate = fuzz_scratch_file("fuzz_hssp_template", ".tplate");
    static const std::string id = tplate.substr(0, tplate.size() - std::strlen(".tplate"));
    fuzz_start_once("protein");
    if (!fuzz_write_file(path, size > 1 ? data + 1 : data, size > 1 ? size - 1 : 0)) return 0;
    FuzzQuiet quiet;
    int flag = size > 0 ? (data[0] & 1) : 0;
    unlink(tplate.c_str());
    isHSSP(path.c_str());
    try {
        int length = 0, count = 0;
        HSSPinfo(path.c_str(), &length, nullptr, &count);
    } catch (const FatalError &) {}
    FILE *in = open_read(path.c_str(), 0);
    if (in) {
        char **rows = nullptr;
        int n = 0;
        try {
            rows = read_HSSP(in, &n, flag, id.c_str(), path.c_str());
            int length = 0;
            HSSPinfo(path.c_str(), &length, nullptr, nullptr);
            for (int i = 0; i < n; i++)
                if (std::strlen(rows[i]) != static_cast<size_t>(length)) std::abort();
        } catch (const FatalError &) {}
        if (rows)
            for (int i = 0; i < n; i++) std::free(rows[i]);
        std::free(rows);
        close_read(in);
        if (rows && flag) {
            Sequence *seq = nullptr;
            Template *t = nullptr;
            try {
                t = read_template(tplate.c_str(), &seq);
            } catch (const FatalError &) {}
            free_sequence(seq);
            free_template(t);
        }
    }
    return 0;
}
