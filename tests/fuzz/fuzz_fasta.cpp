// Fuzz harness of the FASTA reader: each input is written to a file, recognised (FASTA or
// NBRF, and its kind), then read as a one-track source in letter form (protein) or numeric form,
// counted, and printed; and read again as a database list that keeps only some IDs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "sequences/seqio.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"

#include "fuzz_util.h"

#include "caught_list_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    static std::string path;
    static FILE *sink = nullptr;
    if (!started) {
        error_throws = true;
        path = fuzz_scratch_file("fuzz_fasta", ".fa");
        sink = std::fopen("/dev/null", "w");
        started = true;
    }
    // The first byte chooses the alphabet; the rest is the file.
    bool numeric = size > 0 && (data[0] & 1);
    const uint8_t *body = size > 0 ? data + 1 : data;
    size_t n = size > 0 ? size - 1 : 0;
    if (!fuzz_write_file(path, body, n)) return 0;

    FILE *saved_err = stderr, *saved_out = stdout;
    if (sink) {
        stderr = sink;
        stdout = sink;
    }
    try {
        reset_library_state();
        if (numeric)
            process_alphabet("alphabet_def nums,21", -1, "fuzz");
        else
            init_alphabet_by_name("protein", 0, "");
        sequence_warning = size > 1 ? static_cast<int8_t>(data[0]) % 3 - 2 : 0;
        int kind = SEQKIND_OTHER;
        is_fasta_or_nbrf(path.c_str(), &kind);
        SequenceTable *t = alloc_sequence_table();
        try {
            read_sequences(path.c_str(), nullptr, 1000, t, 1);
            drop_null_sequences(t, nullptr);
            if (sink) print_sequence_table(sink, t);
            count_sequences(path.c_str());
        } catch (const FatalError &) {}
        free_sequence_table(t);
        // The filtered database read (entries with an even first ID byte are kept) says and keeps
        // exactly what a whole read says and keeps.
        std::vector<std::string> whole_ids, filtered_ids;
        std::string whole = caught_list_read(path.c_str(), false, whole_ids);
        std::string filtered = caught_list_read(path.c_str(), true, filtered_ids);
        if (whole != filtered || whole_ids != filtered_ids) {
            std::fprintf(
                saved_err,
                "filtered read differs from whole read:\n--- whole\n%s\n--- filtered\n%s\n",
                whole.c_str(), filtered.c_str());
            std::abort();
        }
    } catch (const FatalError &) {}
    stderr = saved_err;
    stdout = saved_out;
    return 0;
}
