// Fuzz harness of the constraint-file reader: the input is written to a file and read; a table
// that reads must write and read back as the same table, and applies to a few sequences
// without harm.
#include "models/constraints.h"
#include "models/constrparse.h"
#include "foundation/errors.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

// True when two tables hold the same ranges under the same IDs (chains may come in any order).
static bool same_table(const ConstrTable *a, const ConstrTable *b) {
    if (a->count != b->count || a->max_label != b->max_label || a->unlabeled != b->unlabeled)
        return false;
    for (int k = 0; k < CONSTR_BUCKETS; k++)
        for (const SeqConstrList *e = a->buckets[k]; e; e = e->next) {
            const SeqConstrList *f = find_seq_constraints(b, e->id);
            if (!f || f->max_pos != e->max_pos) return false;
            const ConstrRange *r = e->first, *s = f->first;
            for (; r && s; r = r->next, s = s->next)
                if (r->seq_start != s->seq_start || r->label_start != s->label_start ||
                    r->length != s->length || r->satisfied != s->satisfied ||
                    r->unsatisfied != s->unsatisfied || r->unconstrained != s->unconstrained)
                    return false;
            if (r || s) return false;
        }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    error_throws = true;
    static std::string path = "/tmp/fuzz_constrfile." + std::to_string(getpid());
    static std::string back = path + ".out";
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return 0;
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);

    char *names[1] = {const_cast<char *>(path.c_str())};
    ConstrTable *table = nullptr;
    try {
        table = read_constraints_table(names, 1, size % 2);
    } catch (const FatalError &) {}
    if (table) {
        // Whatever was read writes and reads back unchanged.
        ConstrTable *again = nullptr;
        try {
            write_constraints_table(table, back.c_str());
            char *back_names[1] = {const_cast<char *>(back.c_str())};
            again = read_constraints_table(back_names, 1, 1);
        } catch (const FatalError &e) {
            std::fprintf(stderr, "written table did not read back: %s\n", e.message.c_str());
            std::abort();
        }
        if (!same_table(table, again)) {
            std::fprintf(stderr, "written table reads back different\n");
            std::abort();
        }
        free_constraint_table(again);

        SequenceTable *seqs = alloc_sequence_table();
        const char *ids[] = {"a", "seqA", "b", "x"};
        for (const char *id : ids) {
            Sequence *s = alloc_sequence(40, 1);
            s->id = str_dup(id);
            add_seq_to_table(seqs, s);
        }
        try {
            apply_seqs_constraints(table, seqs);
            ConstrTable *saved = create_constraint_table();
            save_seqs_constraints(seqs, saved);
            free_constraint_table(saved);
        } catch (const FatalError &) {
            for (int i = 0; i < seqs->count; i++)
                if (seqs->seqs[i]->constraints) {
                    std::fprintf(stderr, "refused constraints were half applied\n");
                    std::abort();
                }
        }
        free_sequence_table(seqs);
        free_constraint_table(table);
    }
    unlink(path.c_str());
    unlink(back.c_str());
    return 0;
}
