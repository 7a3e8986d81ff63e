// Fitting lambda and tau of the score distribution F(x) = (1 + exp(-(lambda x)^tau))^-1 to a
// sample of scores by the method of moments: tau so that E(x^4) / E(x^2)^2 of the distribution
// matches the sample's, then lambda so that E(x^2) matches. The moments are
// E((lambda x)^k) = 2 Gamma(k/tau + 1) eta(k/tau), eta the alternating zeta function
// 1 - 2^-s + 3^-s - ...
#ifndef QOR_LAMBDATAU_H
#define QOR_LAMBDATAU_H

struct SequenceTable;

// Set to 1 by log_int when its argument is too small; cleared by fit_tau at its start.
extern int betaerror;

// Arguments of log_int at or below this are refused (the series converges too slowly).
constexpr double LOG_INT_MIN_ARG = 1.1;
// The eta series stops at the last term k^-s not below exp(-ETA_SERIES_LOG_PRECISION), that is
// at k = exp(16/s): the truncation error of an alternating series with falling terms is at most
// the first term left out, so eta(s) is exact to about exp(-16) = 1.1e-7.
constexpr double ETA_SERIES_LOG_PRECISION = 16.0;

// ln(2 Gamma(s+1) eta(s)). For s <= 1.1 sets betaerror and returns 0.
double log_int(double s);
// log_int(4/tau) - 2 log_int(2/tau): ln(E(x^4) / E(x^2)^2) for that tau.
double log_ratio(double tau);
// The tau whose log_ratio equals ln(m4 / m2^2), found by bracketing and bisection (relative
// width 1e-6) and a final linear interpolation. Returns 0 when the search reached a tau where
// log_int refuses its argument (tau above about 1.8), and also, with betaerror set, when m2 is
// not positive or the ratio is not a finite number.
double fit_tau(double m2, double m4);
// exp((log_int(2/tau) - ln m2) / 2): the lambda whose E(x^2) is m2 for that tau.
double fit_lambda(double m2, double tau);
// Fits lambda and tau to the second scores of the table's entries that are at least threshold.
// *count (when given) receives the number of such entries. With none, *lambda, *tau and
// *lambda1 (the one-parameter lambda, tau = 1; when given) are all 1.0. A sample that cannot be
// fitted (all values 0, moments that are not finite numbers) gets 1.0 for all three with a
// warning on standard error. A tau that cannot be found (as for one value, or values all of one
// size) gets 1.0 with "WARNING: Too few samples for tau fit (using 1.0)", and then *lambda =
// *lambda1 = fit_lambda(m2, 1). A null or empty table writes nothing.
void fit_lambdatau(const SequenceTable *table, double *lambda, double *tau, double *lambda1,
                   int *count, double threshold);
// Interactive entry: explains the fit on standard output, reads E(x^2) and E(x^4) from standard
// input and prints the one-parameter lambda and the two-parameter lambda and tau. Returns 0, or
// 1 when two numbers could not be read.
int fit_lt_main();

#endif
