#!/usr/bin/env python3
"""Small DNA cost models and sequences for the scoring-driver tests, with the scores worked out
here independently: a forward pass in exact log space (costs in thousandths of a nat), the null
score from the FIM template's insert costs, and the second scores and E-values of each null-model
kind. Writes emloop_models.txt and emloop_expected.txt beside this script.

Model records: per node 0..L+1 nine transition costs (into delete from delete, match, insert;
into match from delete, match, insert; into insert from delete, match, insert), then the match
and insert costs of the seven DNA letter indices. Costs that the engine reads from another slot
at Begin, node 1 and End are made equal, so either reading gives the same model.
"""
import math
import os
import random

W = 7          # DNA emission width with wildcards
INF = 1e300
HERE = os.path.dirname(os.path.abspath(__file__))


def make_model(rng, L):
    nodes = []
    for j in range(L + 2):
        t = [rng.randint(100, 3000) for _ in range(9)]
        if j == 0:
            t[6] = t[7]
        if j == 1:
            t[0] = t[1]
            t[3] = t[4]
        if j == L + 1:
            for e in range(3):
                t[e] = t[3 + e]
        m = [rng.randint(300, 2500) for _ in range(W)]
        i = [rng.randint(800, 2000) for _ in range(W)]
        nodes.append((t, m, i))
    fim_insert = [rng.randint(1200, 1600) for _ in range(W)]
    fim_loop = rng.randint(5, 40)
    return {"L": L, "nodes": nodes, "fim_insert": fim_insert, "fim_loop": fim_loop}


def lse(*xs):
    m = min(xs)
    if m >= INF:
        return INF
    return m - 1000.0 * math.log(sum(math.exp(-(x - m) / 1000.0) for x in xs if x < INF))


def forward(model, seq):
    """Global forward: the cost of the sequence in thousandths of a nat."""
    L, T = model["L"], [n[0] for n in model["nodes"]]
    M, I = [n[1] for n in model["nodes"]], [n[2] for n in model["nodes"]]
    pd = [0.0] + [INF] * (L + 1)
    for k in range(1, L + 2):
        pd[k] = pd[k - 1] + T[k][0]
    pm = [INF] * (L + 2)
    pi = [INF] * (L + 2)
    for x in seq:
        cd, cm, ci = [INF] * (L + 2), [INF] * (L + 2), [INF] * (L + 2)
        for j in range(L + 2):
            t = T[j]
            ci[j] = I[j][x] + lse(pm[j] + t[7], pi[j] + t[8], pd[j] + t[6])
            if j == 0:
                continue
            cd[j] = lse(cm[j - 1] + t[1], ci[j - 1] + t[2], cd[j - 1] + t[0])
            cm[j] = M[j][x] + lse(pm[j - 1] + t[4], pi[j - 1] + t[5], pd[j - 1] + t[3])
        pd, pm, pi = cd, cm, ci
    return pd[L + 1]


def null_score(model, seq):
    return (sum(model["fim_insert"][x] for x in seq) + len(seq) * model["fim_loop"]) / 1000.0


def evalue(second, n, lam=1.0, tau=1.0):
    g = lam * second
    if g != 0:
        g = math.copysign(abs(g) ** tau, g)
    return n / (1.0 + math.exp(-g))


def main():
    rng = random.Random(20261209)
    main_model = make_model(rng, 3)
    null_model = make_model(rng, 1)
    seqs = [("s1", [0, 1, 2, 3, 0]), ("s2", [2, 2, 1]), ("pal", [0, 1, 1, 0]),
            ("long", [rng.randint(0, 3) for _ in range(12)])]
    with open(os.path.join(HERE, "emloop_models.txt"), "w") as f:
        f.write("# written by emloop_make.py\n")
        for name, m in (("main", main_model), ("null", null_model)):
            f.write("model %s %d\n" % (name, m["L"]))
            for t, mm, ii in m["nodes"]:
                f.write(" ".join(map(str, t + mm + ii)) + "\n")
            f.write("fim %s %d\n" % (" ".join(map(str, m["fim_insert"])), m["fim_loop"]))
        for name, s in seqs:
            f.write("seq %s %s\n" % (name, " ".join(map(str, s))))
    n = len(seqs)
    with open(os.path.join(HERE, "emloop_expected.txt"), "w") as f:
        f.write("# id raw null simple(adjust 2) reverse scaled user E(reverse) E(scaled) "
                "E(user); dbsize %d, lambda 1, tau 1\n" % n)
        for name, s in seqs:
            raw = forward(main_model, s) / 1000.0
            null = null_score(main_model, s)
            simple = raw - null + math.log(len(s))
            rev = raw - forward(main_model, s[::-1]) / 1000.0
            scaled = rev * len(s) / null
            user = raw - forward(null_model, s) / 1000.0
            f.write("%s %.6f %.6f %.6f %.6f %.6f %.6f %.6g %.6g %.6g\n" % (
                name, raw, null, simple, rev, scaled, user, evalue(rev, n), evalue(scaled, n),
                evalue(user, n)))


if __name__ == "__main__":
    main()
