// Standard normal variates by the ratio of uniforms with quick acceptance and rejection tests.
#include <cmath>
#include <cstdlib>

#include "models/gen_seq/gen_seq.h"

// 2^-31: scales random() into (0, 1).
static const double UNIFORM_SCALE = 1.0 / 2147483648.0;
// sqrt(2/e): half-width of the ratio-of-uniforms region.
static const double NORM_WIDTH = 0.857763884961;
// Quick-reject bound of the squeeze: (Q - 0.35) U1 above it is outside.
static const double NORM_QUICK_SHIFT = 0.35;
static const double NORM_QUICK_REJECT = 0.259240260646;

double gen_uniform() {
    return ((double)random() + 0.5) * UNIFORM_SCALE;
}

double gen_norm() {
    for (;;) {
        double u1 = gen_uniform();
        double u2 = gen_uniform();
        double x = (2.0 * u2 - 1.0) * NORM_WIDTH / u1;
        double q = x * 0.25 * x;
        if (1.0 - u1 >= q) return x;
        if ((q - NORM_QUICK_SHIFT) * u1 > NORM_QUICK_REJECT) continue;
        if (std::log(u1) > -q) continue;
        return x;
    }
}
