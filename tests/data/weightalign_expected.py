#!/usr/bin/env python3
"""Independent alignment weights for the weighting tests: base weights (position-based and
flat), the cap at N, and the bits-saved adjustment through the mixture of prior_small.lib, for
the alignment below (match columns only: capitals are letters, '-' deletes), letters
indexed in the DNA alphabet's order A, G, C, T.
Run: python3 weightalign_expected.py > weightalign_expected.txt"""
from math import lgamma, exp, log

ROWS = ["ACGTA", "ACGTT", "AGGCA", "T-GCA", "-----", "ACGTA"]
LETTERS = "AGCT"  # the DNA alphabet's letter order
MIX = [0.5, 0.25, 0.25]
ALPHA = [[0.5, 1.25, 2.0, 0.25], [0.25, 0.25, 0.25, 0.25], [8.0, 0.5, 0.5, 11.5]]


def log_beta(v):
    return sum(lgamma(a) for a in v) - lgamma(sum(v))


def estimate(counts):
    X = sum(counts)
    logs = [log_beta([c + a for c, a in zip(counts, al)]) - log_beta(al) for al in ALPHA]
    top = max(logs)
    post = [q * exp(l - top) for q, l in zip(MIX, logs)]
    e = [sum(w * (counts[i] + al[i]) / (X + sum(al)) for w, al in zip(post, ALPHA))
         for i in range(4)]
    T = sum(e)
    return [v / T for v in e]  # probabilities (the total cancels)


def column(j, w):
    counts = [0.0] * 4
    for k, row in enumerate(ROWS):
        if row[j] in LETTERS:
            counts[LETTERS.index(row[j])] += w[k]
    return counts


def weights(method, exponent, bits):
    N, L = len(ROWS), len(ROWS[0])
    E = 0.5 if method == 1 else exponent
    T = N ** E
    if method == 3:
        w = [T / N] * N
    else:
        w = [0.0] * N
        for j in range(L):
            counts = column(j, [1.0] * N)
            r = sum(1 for c in counts if c > 0)
            for k, row in enumerate(ROWS):
                if row[j] in LETTERS:
                    w[k] += 1.0 / (r * counts[LETTERS.index(row[j])])
        for k, row in enumerate(ROWS):
            m = sum(1 for ch in row if ch in LETTERS)
            if m:
                w[k] /= m
        S = sum(w)
        w = [1.0 / N] * N if S <= 0 else [T * v / S for v in w]
    S = sum(w)
    if S > N:
        w = [v * N / S for v in w]
    if bits <= 0:
        return w
    G = bits * log(2)
    P = exponent if method == 1 else 0.0
    back = estimate([0.0] * 4)
    H0 = -sum(p * log(p) for p in back if p > 0)
    if G > H0:
        S = sum(w)
        return [1.0 / N] * N if S <= 0 else [v * N / S for v in w]
    m = [sum(1 for ch in row if ch in LETTERS) for row in ROWS]
    w = [0.0 if m[k] == 0 else w[k] for k in range(N)]
    W = sum(w)
    x = [1.0 / N] * N if W <= 0 else [v / W for v in w]
    s, s1, s2 = -9999.0, -9999.0, -9999.0
    eta, W_prev = 0.7, 0.0
    it = 0
    while it < 40 and 1e-20 < W < 1e20 and abs(s - G) > 1e-5:
        it += 1
        score = [0.0] * N
        entropy, counted = 0.0, 0
        for j in range(L):
            counts = column(j, w)
            if sum(counts) <= 0:
                continue
            p = estimate(counts)
            cost = [-log(v) if v > 0 else 99999.0 for v in p]
            entropy += sum(pi * ci for pi, ci in zip(p, cost))
            counted += 1
            for k, row in enumerate(ROWS):
                if row[j] in LETTERS:
                    score[k] += cost[LETTERS.index(row[j])]
        s2, s1, s = s1, s, H0 - entropy / counted
        if P != 0:
            x = [(score[k] / m[k]) ** P if m[k] > 0 else 0.0 for k in range(N)]
            sx = sum(x)
            x = [1.0 / N] * N if sx <= 0 else [v / sx for v in x]
        F = W * G / s if s > 0 else 1.0
        F = min(F, N)
        if s2 < 0:
            eta = 0.7
        elif (s1 - s) * (s2 - s1) > 0:
            eta = min(0.8, 1.2 * eta)
        else:
            eta = min(0.5, eta / 2)
        if W_prev > N:
            eta = 1.0
        W_prev = W
        W = exp(eta * log(F) + (1 - eta) * log(W_prev))
        if P != 0:
            x = [eta * x[k] + (1 - eta) * w[k] / W_prev for k in range(N)]
        w = [W * v for v in x]
    return w


for method, exponent, bits in [(2, 1.0, -1), (1, 0.5, -1), (1, 3.0, -1), (3, 0.5, -1),
                               (2, 0.7, 0), (1, 0.5, 0.5), (1, 0.8, 0.25), (2, 1.0, 0.3),
                               (3, 1.0, 0.4), (2, 1.0, 2.5)]:
    print(method, exponent, bits, "->", *("%.10g" % v for v in weights(method, exponent, bits)))
