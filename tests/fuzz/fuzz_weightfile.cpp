// Fuzz harness of the sequence weight file reader: the input is written to a file, read with
// read_weights, merged into a small table and summarised.
#include "sequences/sequence.h"
#include "foundation/errors.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    static std::string path = "/tmp/fuzz_weightfile." + std::to_string(getpid());
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);

    SequenceTable *table = alloc_sequence_table();
    const char *ids[] = {"a", "b", "seq1", "", "zz"};
    for (const char *id : ids) {
        Sequence *s = alloc_sequence(3, 1);
        s->id = str_dup(id);
        add_seq_to_table(table, s);
    }
    try {
        SeqWeights w;
        if (read_weights(path.c_str(), &w)) {
            merge_weights(table, &w);
            FILE *out = std::fopen("/dev/null", "w");
            print_weight_info(out, "Weights", path.c_str(), w.description, table, w.num_families);
            if (out) std::fclose(out);
            free_weights(&w);
        }
    } catch (const FatalError &) {}
    free_sequence_table(table);
    unlink(path.c_str());
    return 0;
}
