// ordane: puts sequences into the order of a score file. The sequences come from one or more
// sequence files (-db) or an alignment (-alignfile); those whose IDs the score file (-distfile)
// lists are kept in score-file order, filtered by select_seq, and written to <run>.seq.

#include <cerrno>
#include <sys/stat.h>
#include <malloc.h>
#include <sys/mman.h>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alignment.h"
#include "init.h"
#include "seqio.h"
#include "seqio_print.h"
#include "seqio_scores.h"
#include "sequence.h"
#include "utilities.h"

static void usage() {
    fputs("   -db seq_file [-db seq_fn]* one or more sequence files\n", stderr);
    fputs("OR -alignfile afile           sequence alignment file (.a2m, .mult)\n", stderr);
    fputs("    -distfile distance_file    score file (.dist or .mstat)\n", stderr);
    fputs("Where distance file contains sequence scores.\n", stderr);
    fputs("Sequences are sorted according to dist file order.\n", stderr);
    fputs("The sorted sequences are printed to runname.seq\n", stderr);
    fputs("Select_seq can be used to refine the selection.\n", stderr);
}

// Asks for transparent huge pages on the heap that the sequences will fill, where the system
// gives them only on request: a few large blocks are taken from the heap, marked, and given
// back (the heap is never trimmed, so they stay in it), so that later allocations reuse marked
// memory and fault it in 2 MB at a time instead of 4 kB. Only address space is reserved and
// nothing is touched; each block is marked on its own, and any refusal is harmless.
static void prefer_huge_pages() {
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD) && defined(MADV_HUGEPAGE)
    // Blocks below the mmap threshold (at most 32 MB) come from the heap itself.
    const size_t block_size = size_t(30) << 20;
    const int nblocks = 32;
    if (mallopt(M_MMAP_THRESHOLD, 32 << 20) != 1 || mallopt(M_TRIM_THRESHOLD, INT_MAX) != 1) return;
    const uintptr_t huge = uintptr_t(2) << 20;
    char *blocks[nblocks] = {};
    for (int i = 0; i < nblocks; i++) {
        blocks[i] = static_cast<char *>(malloc(block_size));
        if (!blocks[i]) break;
        uintptr_t start = (reinterpret_cast<uintptr_t>(blocks[i]) + huge - 1) & ~(huge - 1);
        uintptr_t end = (reinterpret_cast<uintptr_t>(blocks[i]) + block_size) & ~(huge - 1);
        if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
    for (int i = nblocks - 1; i >= 0; i--) free(blocks[i]);
#endif
}

// The IDs a plain score file names, read ahead without a message, so that the database
// reader can free at once the entries the score file does not name. Null when the file cannot be
// read that way (missing, compressed, not a regular file, a read error): the databases are then
// read whole, and the score-file reader gives its own messages in their place, after them.
static SeqIdSet *score_file_ids(const char *path) {
    size_t n = strlen(path);
    if ((n >= 3 && strcmp(path + n - 3, ".gz") == 0) || (n >= 2 && strcmp(path + n - 2, ".Z") == 0))
        return nullptr;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    FILE *fp = fopen(path, "r");
    if (!fp) return nullptr;
    SeqIdSet *ids = new_seq_id_set();
    ScoreLineReader reader;
    score_reader_init(&reader, fp);
    const char *line;
    size_t len;
    ScoreLine entry;
    while (score_reader_next(&reader, &line, &len))
        if (parse_score_line(line, len, &entry)) seq_id_set_add(ids, entry.id, entry.id_len);
    bool failed = ferror(fp) != 0;
    fclose(fp);
    if (failed) {
        free_seq_id_set(ids);
        return nullptr;
    }
    return ids;
}

// Writes the message (when given) and the usage lines, then ends the run with status 1.
[[noreturn]] static void fail_with_usage(const char *message) {
    fflush(stdout);
    if (message) fputs(message, stderr);
    usage();
    exit(1);
}

int main(int argc, char **argv) {
    std::string banner = "QOR: " + std::string(argv[0]) + " v" + QOR_VERSION + " " +
                         QOR_RELEASE_DATE + " compiled " + QOR_BUILD_STAMP;
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, 0, 0, banner.c_str(), usage);

    if (Score.select_seq == 0) Score.select_seq = 8;

    if (!NLLfile || !*NLLfile) fail_with_usage("Distance file must be specified.\n");
    bool have_align = alignfile && *alignfile;
    if (dblistcount > 0 && have_align)
        fail_with_usage("Please do not specify both database and alignment files\n");

    SequenceTable *seqs = nullptr;
    SequenceTable *list = nullptr;
    const char *suffix = ".seq";
    if (dblistcount > 0) {
        // Only the entries the score file names (and those -id and -not_id name) are kept; the
        // messages and the report are those of a whole read.
        prefer_huge_pages();
        SeqIdSet *wanted = score_file_ids(NLLfile);
        int count = 0;
        if (wanted)
            seqs = read_select_seqfile_list_filtered(
                &count, dblist, dblistcount, dbguidelist, dbguidelistcount, idlist, idlistcount,
                notidlist, notidlistcount, stdout, stdout, 1, seq_id_set_contains, wanted);
        else
            seqs = read_select_seqfile_list(&count, dblist, dblistcount, dbguidelist,
                                            dbguidelistcount, idlist, idlistcount, notidlist,
                                            notidlistcount, stdout, stdout, 1);
        free_seq_id_set(wanted);
    } else if (have_align) {
        // read_alignment gives its own messages when the file is no usable alignment.
        FILE *probe = open_read(alignfile, 0);
        if (!probe) {
            std::string msg = "Alignment file " + std::string(alignfile) +
                              " cannot be read: " + strerror(errno) + "\n";
            fail_with_usage(msg.c_str());
        }
        close_read(probe);
        seqs = read_alignment(alignfile, nullptr, nullptr);
        if (!seqs) fail_with_usage(nullptr);
        suffix = ".a2m";
    } else {
        fail_with_usage("No database files (-db) or alignments (-alignfile) specified\n");
    }

    list = read_score_file(NLLfile);
    merge_selected_sequences(seqs, list, 0);

    FILE *out = open_outputfile(run_name.c_str(), suffix);
    fprintf(stderr, "Writing sequence output to %s%s.\n", run_name.c_str(), suffix);

    trim_sequence_table(list, &Score, Score.select_seq);
    drop_null_sequences(list, stderr);
    if (have_align)
        print_seqalignment(out, list, a2mdots, 0);
    else
        print_sequence_table(out, list);

    close_outputfile(out);
    free_sequence_table(list);
    free_init();
    return 0;
}
