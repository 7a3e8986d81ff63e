// What the benchmark programs share: a random model to score against.
#ifndef QOR_BENCH_MODEL_H
#define QOR_BENCH_MODEL_H

#include <random>
#include <vector>

#include "foundation/alphabet.h"
#include "models/models.h"
#include "sequences/sequence.h"
#include "sequences/model_records.h"

// A model whose distributions are random and normalised, in the cost encoding.
inline Model *random_model(int L, std::mt19937 &rng) {
    Model *m = alloc_model(L);
    alloc_mod_weight(m);
    std::uniform_real_distribution<double> u(0.05, 1.0);
    int a = alphabet->length, w = alphabet->emit_length_wild;
    for (int i = 0; i <= L + 1; i++) {
        ModWeight *mw = m->weights[i];
        for (int from = 0; from < 3; from++) {
            double p[3] = {u(rng) * 0.2, u(rng) * 2, u(rng) * 0.2}, s = p[0] + p[1] + p[2];
            mw->djump[from] = cost(p[0] / s);
            mw->mjump[from] = cost(p[1] / s);
            mw->ijump[from] = cost(p[2] / s);
        }
        std::vector<double> pm(a), pi(a);
        double sm = 0, si = 0;
        for (int k = 0; k < a; k++) sm += pm[k] = u(rng), si += pi[k] = u(rng);
        for (int k = 0; k < w; k++) {
            mw->match[k] = cost(k < a ? pm[k] / sm : 1.0 / a);
            mw->insert[k] = cost(k < a ? pi[k] / si : 1.0 / a);
        }
    }
    return m;
}

#endif
