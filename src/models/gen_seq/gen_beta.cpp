// Beta variates. The regime follows the parameters: log-space rejection when both are below
// 0.5, Cheng's BB when both exceed 1, and a switching method otherwise.
#include <algorithm>
#include <cmath>

#include "models/gen_seq/gen_assert.h"
#include "models/gen_seq/gen_seq.h"

// Regime boundaries.
static const double BETA_SMALL = 0.5;
// Cheng's BB: ln 4, 1 + ln 5, and the largest exponent that exp takes without overflow in
// single precision, with the largest single-precision value that stands for it.
static const double BB_LN4 = 1.38629436112;
static const double BB_ONE_PLUS_LN5 = 2.609438;
static const double BB_EXP_LIMIT = 88.7;
static const double BB_FLOAT_MAX = 3.4028234663852886e38;

void gen_beta_initialize(GenBeta *gen, double a, double b) {
    GEN_ASSERT(a > 0 && b > 0);
    gen->a = a;
    gen->b = b;
    gen->min = std::min(a, b);
    gen->max = std::max(a, b);
    gen->sum = a + b;
    gen->t = 0.0;
    gen->p = 0.0;
    double mn = gen->min, mx = gen->max;
    if (mx < BETA_SMALL) return;
    if (mn > 1.0) {
        gen->t = std::sqrt((gen->sum - 2.0) / (2.0 * a * b - gen->sum));
        gen->p = mn + 1.0 / gen->t;
    } else if (mx > 1.0) {
        gen->t = (1.0 - mn) / (mx + 1.0 - mn);
        gen->p = gen->t * mx / (std::pow(1.0 - gen->t, mx) * mn + gen->t * mx);
    } else if (mn == 1.0 && mx == 1.0) {
        gen->t = 0.5;
        gen->p = 0.5;
    } else {
        gen->t = 1.0 / (std::sqrt(mx * (1.0 - mx) / (mn * (1.0 - mn))) + 1.0);
        gen->p = gen->t * mx / ((1.0 - gen->t) * mn + gen->t * mx);
    }
}

// factor x ln(arg), taken as 0 when factor is 0 (a parameter of exactly 1), where ln(arg) may
// be infinite: the density's factor is then 1 and the draw is accepted.
static double log_bound(double factor, double arg) {
    return factor == 0.0 ? 0.0 : factor * std::log(arg);
}

// The result for a draw X of the smaller-parameter orientation.
static double orient(const GenBeta *gen, double x) {
    return gen->a == gen->min ? x : 1.0 - x;
}

double gen_beta(const GenBeta *gen) {
    const double a = gen->a, b = gen->b, mn = gen->min, mx = gen->max;
    if (mx < BETA_SMALL) {
        for (;;) {
            double g = std::log(gen_uniform()) / a;
            double f = std::log(gen_uniform()) / b;
            double hi = std::max(g, f), lo = std::min(g, f);
            double s = hi + std::log(1.0 + std::exp(lo - hi));
            if (s > 0.0) continue;
            GEN_ASSERT(g <= s);  // logv<=log_sum
            return std::exp(g - s);
        }
    }
    if (mn > 1.0) {
        for (;;) {
            double u1 = gen_uniform(), u2 = gen_uniform();
            double v = gen->t * std::log(u1 / (1.0 - u1));
            double w = v > BB_EXP_LIMIT ? BB_FLOAT_MAX : mn * std::exp(v);
            double r = gen->p * v - BB_LN4;
            double z = u1 * u1 * u2;
            if (mn + r - w + BB_ONE_PLUS_LN5 < 5.0 * z &&
                std::log(z) > r + gen->sum * std::log(gen->sum / (mx + w)))
                continue;
            return a == mn ? w / (mx + w) : mx / (mx + w);
        }
    }
    if (mn == 1.0 && mx > 1.0) {
        // beta(1, max) has the closed inverse 1 - (1 - U)^(1/max); the switching method would
        // test against ln(X/0) here and never accept.
        return orient(gen, 1.0 - std::pow(1.0 - gen_uniform(), 1.0 / mx));
    }
    const bool both_small = mx <= 1.0 && !(mn == 1.0 && mx == 1.0);
    for (;;) {
        double u1 = gen_uniform(), u2 = gen_uniform();
        double x;
        if (gen->p > u1) {
            x = gen->t * std::pow(u1 / gen->p, 1.0 / mn);
            double bound = both_small ? log_bound(mx - 1.0, (1.0 - x) / (1.0 - gen->t))
                                      : log_bound(mx - 1.0, 1.0 - x);
            if (std::log(u2) < bound) return orient(gen, x);
        } else {
            x = 1.0 - (1.0 - gen->t) * std::pow((1.0 - u1) / (1.0 - gen->p), 1.0 / mx);
            if (std::log(u2) < log_bound(mn - 1.0, x / gen->t)) return orient(gen, x);
        }
    }
}
