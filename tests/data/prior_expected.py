#!/usr/bin/env python3
"""Independent values for the prior-library tests: the posterior-mean estimate of letter counts
under the mixture of prior_small.lib, and log-Beta of a few vectors, from math.lgamma.
Run: python3 prior_expected.py > prior_expected.txt"""
from math import lgamma, exp

MIX = [0.5, 0.25, 0.25]
ALPHA = [[0.5, 1.25, 2.0, 0.25], [0.25, 0.25, 0.25, 0.25], [8.0, 0.5, 0.5, 11.5]]


def log_beta(v):
    return sum(lgamma(a) for a in v) - lgamma(sum(v))


def estimate(counts, s):
    x = [n / s for n in counts]
    X = sum(x)
    logs = [log_beta([xi + ai for xi, ai in zip(x, a)]) - log_beta(a) for a in ALPHA]
    top = max(logs)
    post = [q * exp(l - top) for q, l in zip(MIX, logs)]
    e = [sum(w * (x[i] + a[i]) / (X + sum(a)) for w, a in zip(post, ALPHA))
         for i in range(len(counts))]
    T = sum(e)
    total = X * s
    return [v / T if total == 0 else v / T * total for v in e]


CASES = [([0, 0, 0, 0], 1), ([1, 0, 0, 0], 1), ([3, 1, 0, 6], 1), ([10, 0, 0, 12], 2),
         ([0.5, 0.25, 7, 1], 0.5), ([100, 2, 3, 50], 1)]
for counts, s in CASES:
    print("estimate", s, *counts, "->", *("%.9g" % v for v in estimate(counts, s)))
for v in [[1.0, 1.0], [0.5, 0.5], [2.0, 3.0, 4.0], [1e-06, 1.0, 10.0], [8.0, 0.5, 0.5, 11.5]]:
    print("logB", *v, "->", "%.15g" % log_beta(v))
