// A database-list read of one file with standard output and standard error caught, whole or
// filtered (keep_even), for harnesses that check that both say and keep the same.
#ifndef QOR_FUZZ_CAUGHT_LIST_READ_H
#define QOR_FUZZ_CAUGHT_LIST_READ_H

#include <cstdio>
#include <string>
#include <vector>

#include "sequences/seqio.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"

static bool keep_even(const char *id, void *) {
    return (static_cast<unsigned char>(id[0]) & 1) == 0;
}

// A database-list read of the file with standard output and standard error caught: everything
// written, the fatal message, the selected count, and the IDs kept that keep_even keeps.
static std::string caught_list_read(const char *file, bool filtered,
                                    std::vector<std::string> &kept) {
    FILE *cap = std::tmpfile();
    if (!cap) return "";
    FILE *saved_err = stderr, *saved_out = stdout;
    stderr = cap;
    stdout = cap;
    SequenceTable *t = nullptr;
    std::string fatal;
    int max = 0;
    const char *files[] = {file};
    try {
        t = filtered
                ? read_select_seqfile_list_filtered(&max, files, 1, nullptr, 0, nullptr, 0, nullptr,
                                                    0, cap, nullptr, 0, keep_even, nullptr)
                : read_select_seqfile_list(&max, files, 1, nullptr, 0, nullptr, 0, nullptr, 0, cap,
                                           nullptr, 0);
    } catch (const FatalError &e) {
        fatal = e.message;
    }
    std::fflush(cap);
    stderr = saved_err;
    stdout = saved_out;
    std::string text;
    std::rewind(cap);
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, cap)) > 0) text.append(buf, got);
    std::fclose(cap);
    kept.clear();
    for (int i = 0; t && i < t->count; i++)
        if (t->seqs[i] && t->seqs[i]->id && keep_even(t->seqs[i]->id, nullptr))
            kept.push_back(t->seqs[i]->id);
    free_sequence_table(t);
    return text + "\nfatal: " + fatal + "\nselected: " + std::to_string(max);
}

#endif
