// Speed of the scoring engine: forward_score, forback2 in style 0 (forward-backward with counts)
// and style 1 (best path with traceback) on random protein models and random sequences; prints
// millions of DP cells (model length x sequence length) per second.
//
// Usage: engine_bench [seqlen [mode [seconds [lengths...]]]]
//   seqlen   residues per sequence (default 300)
//   mode     0 global, 1 semi-local, 2 local (default 2)
//   seconds  least time spent on each measurement (default 1)
//   lengths  model lengths (default 100 300 1000)

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "foundation/alphabet.h"
#include "bench_model.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "models/models.h"
#include "sequences/sequence.h"

static Sequence *random_sequence(int n, std::mt19937 &rng) {
    Sequence *s = alloc_sequence(n, 1);
    s->converted = 1;
    std::uniform_int_distribution<int> d(0, alphabet->length - 1);
    for (int i = 0; i < n; i++) s->tracks[0].res[i] = (unsigned char)d(rng);
    return s;
}

// Runs f over the sequences in three rounds of `seconds`/3 each; returns the best round's
// Mcells/s (the machine may be shared: the best round is the least disturbed).
template <class F>
static double measure(int L, const std::vector<Sequence *> &seqs, double seconds, F f) {
    double best = 0;
    size_t k = 0;
    for (int round = 0; round < 3; round++) {
        double start = get_real_time(), cells = 0;
        do {
            Sequence *s = seqs[k++ % seqs.size()];
            f(s);
            cells += (double)L * s->len;
        } while (get_real_time() - start < seconds / 3);
        double rate = cells / (get_real_time() - start) / 1e6;
        if (rate > best) best = rate;
    }
    return best;
}

int main(int argc, char **argv) {
    int seqlen = argc > 1 ? std::atoi(argv[1]) : 300;
    int mode = argc > 2 ? std::atoi(argv[2]) : 2;
    double seconds = argc > 3 ? std::atof(argv[3]) : 1.0;
    std::vector<int> lengths;
    for (int k = 4; k < argc; k++) lengths.push_back(std::atoi(argv[k]));
    if (lengths.empty()) lengths = {100, 300, 1000};
    initialize_variables();
    init_alphabets();
    init_alphabet_by_name("protein", 0, "");
    std::mt19937 rng(1);
    std::vector<Sequence *> seqs;
    for (int k = 0; k < 50; k++) seqs.push_back(random_sequence(seqlen, rng));
    std::printf("%-8s %-8s %14s %14s %14s\n", "model", "seqlen", "forward", "fb-counts",
                "viterbi-tb");
    for (int L : lengths) {
        Model *m = random_model(L, rng);
        Model *counts = alloc_model(L);
        init_forward2(m, seqlen, mode, DP_EM, 0, 0, 1.0f, 0.01, 0.01, nullptr);
        double fwd = measure(L, seqs, seconds, [](Sequence *s) { forward_score(s); });
        init_forward2(m, seqlen, mode, DP_EM, 0, 1, 1.0f, 0.01, 0.01, nullptr);
        double fb = measure(L, seqs, seconds, [&](Sequence *s) { forback2(s, counts, 0); });
        init_forward2(m, seqlen, mode, DP_VITERBI, 0, 1, 1.0f, 0.01, 0.01, nullptr);
        double vit = measure(L, seqs, seconds, [](Sequence *s) { forback2(s, nullptr, 0); });
        std::printf("%-8d %-8d %14.1f %14.1f %14.1f\n", L, seqlen, fwd, fb, vit);
        std::fflush(stdout);
        free_model(counts);
        free_model(m);
    }
    free_forward2();
    for (Sequence *s : seqs) free_sequence(s);
    return 0;
}
