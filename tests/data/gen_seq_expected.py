#!/usr/bin/env python3
"""Independent values for the random-variate tests: moments of the beta, Dirichlet and
Dirichlet-mixture distributions the tests draw from, and beta CDF values by numerical
integration (to check the test's own CDF, used for the Kolmogorov-Smirnov statistic).
Run: python3 gen_seq_expected.py > gen_seq_expected.txt"""
from math import lgamma, exp

BETAS = [(0.3, 0.2), (0.4, 0.4), (2, 3), (3, 2), (2, 2), (0.5, 3), (3, 0.5), (0.7, 0.9),
         (1, 1), (1, 3), (3, 1), (0.5, 1), (1, 0.5), (0.7, 1.5)]


def beta_moments(a, b):
    s = a + b
    return a / s, a * b / (s * s * (s + 1))


def beta_cdf(a, b, x, steps=200000):
    """I_x(a, b) for x <= 1/2 by the substitution t = u^(1/a), which makes the integrand
    (1 - u^(1/a))^(b-1) / a bounded on [0, x^a]; Simpson's rule. Larger x by symmetry."""
    if x > 0.5:
        return 1.0 - beta_cdf(b, a, 1.0 - x, steps)
    top = x ** a
    h = top / steps
    f = lambda u: (1.0 - u ** (1.0 / a)) ** (b - 1) / a
    total = f(0) + f(top)
    for i in range(1, steps):
        total += (4 if i % 2 else 2) * f(i * h)
    log_b = lgamma(a) + lgamma(b) - lgamma(a + b)
    return total * h / 3 / exp(log_b)


for a, b in BETAS:
    m, v = beta_moments(a, b)
    print("beta", a, b, "->", "%.12g" % m, "%.12g" % v)
# Dirichlet marginals: X_i ~ beta(alpha_i, S - alpha_i).
for alpha in [(1, 2, 3, 4), (0.2, 0.3, 0.5)]:
    s = sum(alpha)
    for i, a in enumerate(alpha):
        m, v = beta_moments(a, s - a)
        print("dirichlet", *alpha, i, "->", "%.12g" % m, "%.12g" % v)
# Mixture 0.3 x Dir(2, 5) + 0.7 x Dir(6, 1): first coordinate.
mix = [(0.3, (2, 5)), (0.7, (6, 1))]
m1 = sum(q * a[0] / sum(a) for q, a in mix)
m2 = sum(q * a[0] * (a[0] + 1) / (sum(a) * (sum(a) + 1)) for q, a in mix)
print("mixture", "->", "%.12g" % m1, "%.12g" % (m2 - m1 * m1))
for a, b, x in [(0.3, 0.2, 0.1), (0.3, 0.2, 0.9), (2, 3, 0.25), (0.5, 3, 0.05), (0.7, 0.9, 0.6),
                (1, 3, 0.3), (6, 1, 0.8), (2.5, 7.5, 0.2)]:
    print("cdf", a, b, x, "->", "%.12g" % beta_cdf(a, b, x))
