// A scoring run as a driver program would make one, for the end-to-end tests: the cost models
// and sequences of a model file in the form of tests/data/emloop_models.txt are scored with
// score_EM_loop under the null-model kind given, and the score file <run>.dist is written (the
// run lines of print_score_info, then the report).
//
// Usage: score_run run_name models_file subtract_null
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../emloop_fixture.h"
#include "foundation/alphabet.h"
#include "engine/emloop.h"
#include "engine/forward2.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "scorefiles/seqio_report.h"
#include "sequences/sequence.h"

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Usage: %s run_name models_file subtract_null\n", argv[0]);
        return 1;
    }
    initialize_variables();
    init_alphabets();
    init_alphabet_by_name("DNA", 0, "");
    EmloopData data = load_emloop_data(argv[2]);
    Model *model = data.models["main"];
    if (!model) error("No model named main in %s", argv[2]);
    SequenceTable *table = alloc_sequence_table();
    for (auto &s : data.seqs) add_seq_to_table(table, make_index_sequence(s.first, s.second));
    Score.subtract_null = std::atoi(argv[3]);
    Score.users_null_model = data.models["null"];
    setup_nullmod(stderr, 0, 0, model, nullptr, nullptr, &Score, 1);
    SeqInfo info;
    seq_max_stats(table, &info, 1, 0);
    score_EM_loop(table, &model, nullptr, 1, &Score, &info, 1.0, 1.0, DP_EM, 2, SW_GLOBAL);
    FILE *out = open_outputfile(argv[1], ".dist");
    print_score_info(stderr, out, &info, &Score, DP_EM, Score.adpstyle, -1, -1);
    SortAndPrintZscore(out, table, &Score);
    close_outputfile(out);
    cleanup_EM_loop();
    free_sequence_table(table);
    for (auto &m : data.models) free_model(m.second);
    return 0;
}
