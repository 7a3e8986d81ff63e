#!/usr/bin/env python3
"""Bounds of the generated-table test (test_genseqtab.cpp), worked out from the distributions.

Lengths are (int) exp(N(mean, sd)); with mean 3 and sd 0.5 the share of lengths at most 20 is
P(exp(X) < 21) = Phi((ln 21 - 3) / 0.5). Over n sequences its standard error is
sqrt(p (1 - p) / n); the test allows 4 standard errors. The mean length is
exp(mean + sd^2 / 2) less about 0.5 for the truncation."""
import math

mean, sd, n = 3.0, 0.5, 2000
phi = lambda z: 0.5 * (1 + math.erf(z / math.sqrt(2)))
p = phi((math.log(21) - mean) / sd)
print("share of lengths <= 20: %.4f +- %.4f" % (p, 4 * math.sqrt(p * (1 - p) / n)))
print("mean length about %.2f" % (math.exp(mean + sd * sd / 2) - 0.5))
# Letters: about n * mean length residues; a share q has standard error sqrt(q (1 - q) / N).
N = n * (math.exp(mean + sd * sd / 2) - 0.5)
print("letter share 0.25 +- %.4f (5 standard errors)" % (5 * math.sqrt(0.25 * 0.75 / N)))
