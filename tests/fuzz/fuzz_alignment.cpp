// Fuzz harness of the alignment reader: each input (after a first byte choosing protein or DNA
// and the '.' padding) is written to a file and read as an alignment. Every row kept must carry
// a code that uses exactly its residues and the first row's number of columns; the rows are then
// printed as an A2M alignment and counted into a model of that length.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "sequences/alignment.h"
#include "models/alignment_counts.h"
#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

static void code_counts(const Sequence *s, long *columns, long *residues) {
    *columns = *residues = 0;
    for (const unsigned char *c = s->align; c && *c; c++) {
        if (*c > ALIGN_DELETE_BASE)
            *columns += *c - ALIGN_DELETE_BASE;
        else if (*c > ALIGN_MATCH_BASE)
            *columns += *c - ALIGN_MATCH_BASE, *residues += *c - ALIGN_MATCH_BASE;
        else
            *residues += *c;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    static std::string path;
    struct Remove {
        ~Remove() {
            if (!path.empty()) unlink(path.c_str());
        }
    };
    if (!started) {
        error_throws = true;
        initialize_variables();
        path = "/tmp/fuzz_alignment." + std::to_string(getpid()) + ".a2m";
        static Remove remove_at_exit;
        started = true;
    }
    int flags = size > 0 ? data[0] : 0;
    reset_alphabets();
    init_alphabets();
    init_alphabet_by_name((flags & 1) ? "DNA" : "protein", 0, "");
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, fp);
    std::fclose(fp);
    FILE *saved = stderr;
    FILE *sink = std::fopen("/dev/null", "w");
    if (sink) stderr = sink;
    SequenceTable *t = nullptr;
    int *fims = nullptr, nfims = 0;
    try {
        t = read_alignment(path.c_str(), &fims, &nfims);
    } catch (const FatalError &) {}
    if (t) {
        if (t->count == 0) std::abort();
        long L = -1;
        for (int i = 0; i < t->count; i++) {
            long columns, residues;
            code_counts(t->seqs[i], &columns, &residues);
            if (residues != t->seqs[i]->len) std::abort();
            if (L < 0) L = columns;
            if (columns != L) std::abort();
        }
        for (int f = 0; f < nfims; f++)
            if (fims[f] < 1 || fims[f] > L) std::abort();
        if (sink) print_seqalignment(sink, t, (flags & 2) ? 1 : 0, 0);
        if (L <= 100000) {
            Model *m = alloc_model(static_cast<int>(L));
            init_model(m, 0);
            try {
                for (int i = 0; i < t->count; i++) update_freqs(t->seqs[i], m);
            } catch (const FatalError &) {
                std::abort();
            }
            free_model(m);
        }
    }
    free_sequence_table(t);
    std::free(fims);
    stderr = saved;
    if (sink) std::fclose(sink);
    return 0;
}
