// Dirichlet-mixture variates: a component drawn by its coefficient, then a Dirichlet variate of
// that component.
#include <cstdlib>

#include "models/gen_seq/gen_assert.h"
#include "models/gen_seq/gen_seq.h"

void gen_dirch_mix_initialize(GenDirchMix *gen, int numd, int count, const double *mix,
                              double *const *distr) {
    // The record stays empty (and releasable) until the coefficients have passed their checks.
    gen->count = 0;
    gen->mix_coeff_cum = nullptr;
    gen->components = nullptr;
    GEN_ASSERT(count >= 1);
    double sum = 0.0;
    for (int c = 0; c < count; c++) {
        GEN_ASSERT(mix[c] >= 0);
        sum += mix[c];
    }
    GEN_ASSERT(sum > 0);
    gen->mix_coeff_cum = static_cast<double *>(mem_alloc((size_t)count * sizeof(double)));
    gen->components = static_cast<GenDirch *>(mem_alloc((size_t)count * sizeof(GenDirch)));
    double running = 0.0;
    for (int c = 0; c < count; c++) {
        running += mix[c];
        gen->mix_coeff_cum[c] = running;
        gen_dirch_initialize(&gen->components[c], numd, distr[c] + 1);
        gen->count = c + 1;
    }
    for (int c = 0; c < count; c++) gen->mix_coeff_cum[c] /= running;
}

void gen_dirch_mix(const GenDirchMix *gen, double *out) {
    double x = gen_uniform();
    int lo = -1, hi = gen->count - 1;
    while (lo < hi - 1) {
        GEN_ASSERT(x <= gen->mix_coeff_cum[hi]);
        int mid = (hi + lo + 1) / 2;
        if (x > gen->mix_coeff_cum[mid])
            lo = mid;
        else
            hi = mid;
    }
    gen_dirch(&gen->components[hi], out);
}

void gen_dirch_mix_free(GenDirchMix *gen) {
    if (!gen) return;
    for (int c = gen->count - 1; c >= 0; c--) gen_dirch_free(&gen->components[c]);
    std::free(gen->components);
    std::free(gen->mix_coeff_cum);
    gen->components = nullptr;
    gen->mix_coeff_cum = nullptr;
    gen->count = 0;
}
