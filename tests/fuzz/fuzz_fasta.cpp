// Fuzz harness of the FASTA reader: each input is written to a file, recognised (FASTA or
// NBRF, and its kind), then read as a one-track source in letter form (protein) or numeric form,
// counted, and printed; and read again as a database list that keeps only some IDs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "alphabet.h"
#include "fasta.h"
#include "init.h"
#include "seqio.h"
#include "seqio_print.h"
#include "sequence.h"
#include "utilities.h"

static bool keep_even(const char *id, void *) { return (static_cast<unsigned char>(id[0]) & 1) == 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool started = false;
    static std::string path;
    static FILE *sink = nullptr;
    if (!started) {
        error_throws = true;
        initialize_variables();
        init_alphabets();
        path = "/tmp/fuzz_fasta." + std::to_string(getpid()) + ".fa";
        sink = std::fopen("/dev/null", "w");
        started = true;
    }
    // The first byte chooses the alphabet; the rest is the file.
    bool numeric = size > 0 && (data[0] & 1);
    const uint8_t *body = size > 0 ? data + 1 : data;
    size_t n = size > 0 ? size - 1 : 0;
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return 0;
    if (n)
        std::fwrite(body, 1, n, fp);
    std::fclose(fp);

    FILE *saved_err = stderr, *saved_out = stdout;
    if (sink) {
        stderr = sink;
        stdout = sink;
    }
    try {
        reset_alphabets();
        if (numeric)
            process_alphabet("alphabet_def nums,21", -1, "fuzz");
        else
            init_alphabet_by_name("protein", 0, "");
        sequence_warning = size > 1 ? static_cast<int8_t>(data[0]) % 3 - 2 : 0;
        int kind = 0;
        is_fasta_or_nbrf(path.c_str(), &kind);
        SequenceTable *t = alloc_sequence_table();
        try {
            read_sequences(path.c_str(), nullptr, 1000, t, 1);
            drop_null_sequences(t, nullptr);
            if (sink)
                print_sequence_table(sink, t);
            count_sequences(path.c_str());
        } catch (const FatalError &) {
        }
        free_sequence_table(t);
        // The filtered database read: entries with an even first ID byte are kept.
        t = nullptr;
        try {
            const char *files[] = {path.c_str()};
            int max = 0;
            t = read_select_seqfile_list_filtered(&max, files, 1, nullptr, 0, nullptr, 0, nullptr, 0, sink, nullptr,
                                                  0, keep_even, nullptr);
        } catch (const FatalError &) {
        }
        free_sequence_table(t);
    } catch (const FatalError &) {
    }
    stderr = saved_err;
    stdout = saved_out;
    return 0;
}
