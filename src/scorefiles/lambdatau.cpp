// Lambda and tau by the method of moments with the alternating zeta function.
#include "scorefiles/lambdatau.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sequences/sequence.h"
#include "foundation/reader.h"

int betaerror = 0;

static const double LN2 = 0.6931471805599453;
// Below this the logarithm of 1 - a is taken as -a.
static const double SMALL_SUM = 1e-6;
// Relative width at which the bisection of tau stops.
static const double TAU_BRACKET_WIDTH = 1.000001;
// Growth of the upper end of the upward search for tau.
static const double TAU_SEARCH_STEP = 1.2;

double log_int(double s) {
    if (s <= LOG_INT_MIN_ARG) {
        betaerror = 1;
        return 0;
    }
    // Terms k^-s of k above K = exp(16/s) lie below exp(-16).
    int K = (int)std::exp(ETA_SERIES_LOG_PRECISION / s);
    double a = 0;  // 2^-s - 3^-s + 4^-s - ..., so that eta(s) = 1 - a
    for (int k = K; k >= 2; k--) a = std::pow((double)k, -s) - a;
    double c = a < SMALL_SUM ? -a : std::log(1 - a);
    return std::lgamma(s + 1) + LN2 + c;
}

double log_ratio(double tau) {
    return log_int(4 / tau) - 2 * log_int(2 / tau);
}

double fit_tau(double m2, double m4) {
    betaerror = 0;
    double c = std::log(m4 / (m2 * m2));
    if (!(m2 > 0) || !std::isfinite(c)) {
        betaerror = 1;
        return 0;
    }
    double lo = 0, hi = 1;
    while (log_ratio(hi) > c) {
        lo = hi;
        if (betaerror) return 0;
        hi *= TAU_SEARCH_STEP;
    }
    if (lo == 0) {
        lo = hi / 2;
        while (c > log_ratio(lo)) {
            hi = lo;
            if (betaerror) return 0;
            lo /= 2;
        }
    }
    while (hi / lo > TAU_BRACKET_WIDTH) {
        double mid = (lo + hi) / 2;
        if (log_ratio(mid) > c)
            lo = mid;
        else
            hi = mid;
        if (betaerror) return 0;
    }
    double r_hi = log_ratio(hi);
    double r_lo = log_ratio(lo);
    if (betaerror) return 0;
    return lo + (hi - lo) * (r_lo - c) / (r_lo - r_hi);
}

double fit_lambda(double m2, double tau) {
    return std::exp((log_int(2 / tau) - std::log(m2)) / 2);
}

void fit_lambdatau(const SequenceTable *table, double *lambda, double *tau, double *lambda1,
                   int *count, double threshold) {
    if (!table || table->count == 0) return;
    int n = 0;
    double s2 = 0, s4 = 0;
    for (int i = 0; i < table->count; i++) {
        const Sequence *seq = table->seqs[i];
        if (!seq || !(seq->second_score >= threshold)) continue;
        double x2 = (double)seq->second_score * seq->second_score;
        n++;
        s2 += x2;
        s4 += x2 * x2;
    }
    if (count) *count = n;
    *lambda = *tau = 1.0;
    if (lambda1) *lambda1 = 1.0;
    if (n == 0) return;
    double m2 = s2 / n, m4 = s4 / n;
    // Without a finite, positive second moment no lambda exists (all zeros would give infinity).
    const char *why = !std::isfinite(m2) || !std::isfinite(m4) ? "moments not finite"
                      : !(m2 > 0)                              ? "all values alike"
                                                               : nullptr;
    if (why) {
        std::fprintf(stderr, "WARNING: Cannot fit lambda and tau to %d samples (%s); using 1.0\n",
                     n, why);
        return;
    }
    // One value, or values all of one size, ask for a tau beyond the search's reach: fit_tau
    // gives 0 and tau falls back to 1.
    double t = fit_tau(m2, m4);
    if (t == 0) {
        std::fputs("WARNING: Too few samples for tau fit (using 1.0)\n", stderr);
        t = 1.0;
    }
    *tau = t;
    *lambda = fit_lambda(m2, t);
    if (lambda1) *lambda1 = fit_lambda(m2, 1);
}

int fit_lt_main() {
    std::printf("Fits the score distribution F(x) = (1 + exp(-(lambda x)^tau))^-1\n");
    std::printf("by the method of moments: tau so that E(x^4)/E(x^2)^2 matches the sample,\n");
    std::printf("then lambda so that E(x^2) matches, with\n");
    std::printf("E((lambda x)^k) = 2 Gamma(k/tau + 1) eta(k/tau), eta the alternating zeta.\n");
    std::printf("Enter the sample's second and fourth moments, E(x^2) and E(x^4),\n");
    std::printf("separated by blanks or on two lines:\n");
    std::fflush(stdout);
    double v[2];
    int got = 0;
    InputReader in;
    reader_init(&in, stdin, "standard input");
    in.by_line = true;
    char *line;
    size_t length;
    while (got < 2 && reader_line(&in, &line, &length)) {
        const char *p = line;
        char *end;
        while (got < 2) {
            double d = std::strtod(p, &end);
            if (end == p) break;
            v[got++] = d;
            p = end;
        }
    }
    reader_free(&in);
    if (got < 2) {
        std::printf("Two numbers were not given.\n");
        return 1;
    }
    double m2 = v[0], m4 = v[1];
    if (!(m2 > 0) || !std::isfinite(m2) || !std::isfinite(m4)) {
        std::printf("E(x^2) must be a positive number.\n");
        return 1;
    }
    std::printf("lambda (tau = 1): %g\n", fit_lambda(m2, 1));
    double t = fit_tau(m2, m4);
    if (t == 0)
        std::printf("tau cannot be fitted to these moments\n");
    else
        std::printf("lambda: %g  tau: %g\n", fit_lambda(m2, t), t);
    return 0;
}
