// ordane: puts sequences into the order of a score file. The sequences come from one or more
// sequence files (-db) or an alignment (-alignfile); those whose IDs the score file (-distfile)
// lists are kept in score-file order, filtered by select_seq, and written to <run>.seq.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sequences/alignment.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "sequences/seqio.h"
#include "sequences/seqio_print.h"
#include "scorefiles/seqio_scores.h"
#include "sequences/sequence.h"

static void usage() {
    fputs("   -db seq_file [-db seq_fn]* one or more sequence files\n", stderr);
    fputs("OR -alignfile afile           sequence alignment file (.a2m, .mult)\n", stderr);
    fputs("    -distfile distance_file    score file (.dist or .mstat)\n", stderr);
    fputs("Where distance file contains sequence scores.\n", stderr);
    fputs("Sequences are sorted according to dist file order.\n", stderr);
    fputs("The sorted sequences are printed to runname.seq\n", stderr);
    fputs("Select_seq can be used to refine the selection.\n", stderr);
}

// Writes the message (when given) and the usage lines, then ends the run with status 1.
[[noreturn]] static void fail_with_usage(const char *message) {
    fflush(stdout);
    if (message) fputs(message, stderr);
    usage();
    exit(1);
}

// Sets the default selection (every entry) and refuses a run without a score file or with both
// database files and an alignment. Returns true when an alignment file is given.
static bool check_options() {
    if (Score.select_seq == 0) Score.select_seq = 8;
    if (!NLLfile || !*NLLfile) fail_with_usage("Distance file must be specified.\n");
    bool have_align = alignfile && *alignfile;
    if (dblistcount > 0 && have_align)
        fail_with_usage("Please do not specify both database and alignment files\n");
    return have_align;
}

// Writes the entries of the ordered list that select_seq keeps to run_name + suffix, as A2M rows
// when they came from an alignment; a write that fails is fatal.
static void write_selected_sequences(const char *run_name, const char *suffix, SequenceTable *list,
                                     bool as_alignment) {
    FILE *out = open_outputfile(run_name, suffix);
    fprintf(stderr, "Writing sequence output to %s%s.\n", shown_text(run_name).c_str(), suffix);

    trim_sequence_table(list, &Score, Score.select_seq);
    drop_null_sequences(list, stderr);
    if (as_alignment)
        print_seqalignment(out, list, a2mdots, 0);
    else
        // Each entry is released as soon as it is written, while it is still in the cache.
        for (int i = 0; i < list->count; i++) {
            if (!list->seqs[i]) continue;
            pretty_print_sequence(out, list->seqs[i]);
            free_sequence(remove_seq_from_table(list, i));
        }

    close_outputfile(out);
}

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, 0, REQUIRE_RUN_NAME, banner.c_str(), usage);

    const bool have_align = check_options();

    SequenceTable *seqs = nullptr;
    SequenceTable *list = nullptr;
    const char *suffix = ".seq";
    if (dblistcount > 0) {
        // Only the entries the score file names (and those -id and -not_id name) are kept; the
        // messages and the report are those of a whole read. They fill a large heap.
        prefer_huge_pages();
        int count = 0;
        seqs = read_select_seqfile_list_scored(NLLfile, &count, dblist, dblistcount, dbguidelist,
                                               dbguidelistcount, idlist, idlistcount, notidlist,
                                               notidlistcount, stdout, stdout, 1);
    } else if (have_align) {
        // read_alignment gives its own messages when the file is no usable alignment.
        FILE *probe = open_read(alignfile, 0);
        if (!probe) {
            std::string msg = "Alignment file " + shown_text(alignfile) +
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
    write_selected_sequences(run_name.c_str(), suffix, list, have_align);
    free_sequence_table(list);
    free_init();
    return 0;
}
