// ordane: puts sequences into the order of a score file. The sequences come from one or more
// sequence files (-db) or an alignment (-alignfile); those whose IDs the score file (-distfile)
// lists are kept in score-file order, filtered by select_seq, and written to <run>.seq.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "init.h"
#include "seqio.h"
#include "seqio_print.h"
#include "seqio_scores.h"
#include "sequence.h"
#include "utilities.h"

static void usage()
{
    fputs("   -db seq_file [-db seq_fn]* one or more sequence files\n", stderr);
    fputs("OR -alignfile afile           sequence alignment file (.a2m, .mult)\n", stderr);
    fputs("    -distfile distance_file    score file (.dist or .mstat)\n", stderr);
    fputs("Where distance file contains sequence scores.\n", stderr);
    fputs("Sequences are sorted according to dist file order.\n", stderr);
    fputs("The sorted sequences are printed to runname.seq\n", stderr);
    fputs("Select_seq can be used to refine the selection.\n", stderr);
}

// Asks for transparent huge pages on the heap that the sequences will fill: a large block is
// taken from the heap, marked, and given back (kept in the heap, not returned to the system), so
// that later allocations reuse marked memory and fault it in 2 MB at a time instead of 4 kB.
// Only address space is reserved; nothing is touched. Harmless where huge pages are missing.
static void prefer_huge_pages()
{
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD) && defined(MADV_HUGEPAGE)
    // Blocks below the largest mmap threshold come from the heap itself.
    const size_t block_size = size_t(30) << 20;
    const int nblocks = 32;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    char *blocks[nblocks] = {};
    char *low = nullptr, *high = nullptr;
    for (int i = 0; i < nblocks; i++) {
        blocks[i] = static_cast<char *>(malloc(block_size));
        if (!blocks[i])
            break;
        if (!low || blocks[i] < low)
            low = blocks[i];
        if (!high || blocks[i] + block_size > high)
            high = blocks[i] + block_size;
    }
    if (low) {
        const uintptr_t huge = uintptr_t(2) << 20;
        uintptr_t start = (reinterpret_cast<uintptr_t>(low) + huge - 1) & ~(huge - 1);
        uintptr_t end = reinterpret_cast<uintptr_t>(high) & ~(huge - 1);
        if (end > start)
            madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
    for (int i = nblocks - 1; i >= 0; i--)
        free(blocks[i]);
#endif
}

// Writes the message (when given) and the usage lines, then ends the run with status 1.
[[noreturn]] static void fail_with_usage(const char *message)
{
    fflush(stdout);
    if (message)
        fputs(message, stderr);
    usage();
    exit(1);
}

int main(int argc, char **argv)
{
    std::string banner = "QOR: " + std::string(argv[0]) + " v" + QOR_VERSION + " " + QOR_RELEASE_DATE +
                         " compiled " + QOR_BUILD_STAMP;
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, 0, 0, banner.c_str(), usage);

    if (Score.select_seq == 0)
        Score.select_seq = 8;

    if (!NLLfile || !*NLLfile)
        fail_with_usage("Distance file must be specified.\n");
    bool have_align = alignfile && *alignfile;
    if (dblistcount > 0 && have_align)
        fail_with_usage("Please do not specify both database and alignment files\n");

    SequenceTable *seqs = nullptr;
    SequenceTable *list = nullptr;
    const char *suffix = ".seq";
    if (dblistcount > 0) {
        // The score file is read first so that the database entries it does not name are
        // skipped unread: only the named ones are kept in memory.
        prefer_huge_pages();
        list = read_score_file(NLLfile);
        SeqIdSet *wanted = make_seq_id_set(list);
        int count = 0;
        seqs = read_select_seqfile_list_filtered(&count, dblist, dblistcount, dbguidelist, dbguidelistcount,
                                                 idlist, idlistcount, notidlist, notidlistcount, stdout, stdout,
                                                 1, seq_id_set_contains, wanted);
        free_seq_id_set(wanted);
    } else if (have_align) {
        // Reading alignments is not part of this build.
        std::string msg = "Alignment file " + std::string(alignfile) +
                          " cannot be read: no alignment reader is available\n";
        fail_with_usage(msg.c_str());
    } else {
        fail_with_usage("No database files (-db) or alignments (-alignfile) specified\n");
    }

    merge_selected_sequences(seqs, list, 0);

    FILE *out = open_outputfile(run_name.c_str(), suffix);
    fprintf(stderr, "Writing sequence output to %s%s.\n", run_name.c_str(), suffix);

    trim_sequence_table(list, &Score, Score.select_seq);
    drop_null_sequences(list, stderr);
    print_sequence_table(out, list);

    if (out == stdout || out == stderr) {
        if (fflush(out) != 0 || ferror(out))
            error("Could not write the sequence output: %s", strerror(errno));
    } else {
        bool failed = fflush(out) != 0 || ferror(out);
        int err = errno;
        if (fclose(out) != 0 && !failed) {
            failed = true;
            err = errno;
        }
        if (failed)
            error("Could not write %s%s: %s", run_name.c_str(), suffix, strerror(err));
    }
    free_sequence_table(list);
    free_init();
    return 0;
}
