// Fuzz harness of the alphabet background-file reader. Each input is read twice: once against
// the built-in alphabets and once against a set of track alphabets (a lettered user alphabet,
// CODON and a numeric one), so that both candidate lists and the numeric path are reached.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    for (int round = 0; round < 2; round++) {
        reset_library_state();
        FILE *fp = tmpfile();
        if (!fp) return 0;
        if (size) fwrite(data, 1, size, fp);
        rewind(fp);
        FILE *saved = stderr;
        FILE *sink = fopen("/dev/null", "w");
        if (sink) stderr = sink;
        try {
            if (round == 1)
                process_alphabet("alphabet_def mine,ACGTX,CODON,-,nums,12", -1, "fuzz: ");
            process_alphabet_backfile(fp, "fuzz");
            FILE *out = sink ? sink : fp;
            print_set_alphabet_info(out);
            if (round == 0) print_internal_alphabet_info(out);
        } catch (const FatalError &) {}
        stderr = saved;
        if (sink) fclose(sink);
        fclose(fp);
    }
    return 0;
}
