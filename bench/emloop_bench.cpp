// Cost of the scoring drivers over the engine, and the growth of alignment reading with size.
//
// First: a random protein model of length L (default 300) and N random sequences (default
// 10000, 300 residues): the time of forward_score over every sequence (the engine alone) beside
// score_EM_loop over the same table (raw and simple scores), and, for the reverse-sequence null
// model, beside two forward passes per sequence. Prints seconds and the drivers' overhead.
// Second: A2M files of 25000, 50000 and 100000 rows (120 columns, random inserts and deletes)
// read with read_alignment; prints seconds and microseconds per row.
//
// Usage: emloop_bench [L [N [seqlen]]]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sequences/alignment.h"
#include "foundation/alphabet.h"
#include "bench_model.h"
#include "engine/emloop.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "foundation/errors.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/sequence.h"

static void reset_scores(SequenceTable *t) {
    for (int i = 0; i < t->count; i++) {
        Sequence *s = t->seqs[i];
        s->raw_score = s->simple_score = s->second_score = SCORE_UNSET;
        s->prefilter_raw = s->prefilter_simple = SCORE_UNSET;
    }
}

int main(int argc, char **argv) {
    int L = argc > 1 ? std::atoi(argv[1]) : 300;
    int N = argc > 2 ? std::atoi(argv[2]) : 10000;
    int seqlen = argc > 3 ? std::atoi(argv[3]) : 300;
    initialize_variables();
    init_alphabets();
    init_alphabet_by_name("protein", 0, "");
    std::mt19937 rng(7);
    Model *m = random_model(L, rng);
    for (int k = 0; k < alphabet->emit_length_wild; k++)
        m->fim_weight->insert[k] = cost(1.0 / alphabet->length);
    SequenceTable *t = alloc_sequence_table();
    std::uniform_int_distribution<int> d(0, alphabet->length - 1);
    for (int k = 0; k < N; k++) {
        Sequence *s = alloc_sequence(seqlen, 1);
        s->converted = 1;
        s->id = str_dup(("s" + std::to_string(k)).c_str());
        for (int i = 0; i < seqlen; i++) s->tracks[0].res[i] = (unsigned char)d(rng);
        add_seq_to_table(t, s);
    }
    ScoreParams sp = Score;
    sp.adjust_score = 2;
    sp.select_align = 0;
    sp.dbsize = N;

    init_forward2_tracks(&m, nullptr, 1, seqlen, SW_LOCAL, DP_EM, 0.01, 0.01, 0, 0, nullptr);
    double t0 = get_real_time();
    for (int k = 0; k < N; k++) forward_score(t->seqs[k]);
    double engine_secs = get_real_time() - t0;

    for (int kind : {1, 4}) {
        reset_scores(t);
        sp.subtract_null = kind;
        t0 = get_real_time();
        score_EM_loop(t, &m, nullptr, 1, &sp, nullptr, 0.01, 0.01, DP_EM, 0, SW_LOCAL);
        double drivers = get_real_time() - t0;
        double base = kind == 4 ? 2 * engine_secs : engine_secs;
        std::printf("L %d, %d sequences of %d: engine %.3f s x %d, score_EM_loop (subtract_null "
                    "%d) %.3f s, overhead %+.1f%%\n",
                    L, N, seqlen, engine_secs, kind == 4 ? 2 : 1, kind, drivers,
                    100.0 * (drivers - base) / base);
    }
    cleanup_EM_loop();
    free_sequence_table(t);
    free_model(m);

    // Second: reading A2M files of growing size.
    std::string path = "/tmp/emloop_bench." + std::to_string(getpid()) + ".a2m";
    std::uniform_int_distribution<int> kind(0, 9);
    for (int rows : {25000, 50000, 100000}) {
        FILE *f = std::fopen(path.c_str(), "w");
        for (int r = 0; r < rows; r++) {
            std::fprintf(f, ">r%d\n", r);
            std::string row;
            for (int c = 0; c < 120; c++) {
                int k = kind(rng);
                if (k == 0)
                    row += '-';
                else
                    row += alphabet->letters[d(rng)];
                if (k == 1) row += (char)std::tolower(alphabet->letters[d(rng)]);
            }
            std::fprintf(f, "%s\n", row.c_str());
        }
        std::fclose(f);
        FILE *saved = stderr;
        stderr = std::fopen("/dev/null", "w");
        t0 = get_real_time();
        SequenceTable *a = read_alignment(path.c_str(), nullptr, nullptr);
        double secs = get_real_time() - t0;
        std::fclose(stderr);
        stderr = saved;
        std::printf("A2M of %d rows: %.3f s, %.2f us per row (%d kept)\n", rows, secs,
                    1e6 * secs / rows, a ? a->count : 0);
        free_sequence_table(a);
    }
    unlink(path.c_str());
    return 0;
}
