#!/usr/bin/env python3
"""Expected sequences of the fixed-seed random-walk test (test_models_train.cpp).

Independent of the library: the C library's random() (additive feedback generator, srandom
seeding) and the walk over the test model, every operation rounded to single precision.
Prints the letters of three sequences drawn one after the other after srandom(12345)."""
import struct


def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]


def glibc_random(seed):
    r = [0] * 34
    r[0] = seed
    for i in range(1, 31):
        hi, lo = divmod(r[i - 1], 127773)
        word = 16807 * lo - 2836 * hi
        if word < 0:
            word += 2147483647
        r[i] = word
    for i in range(31, 34):
        r[i] = r[i - 31]
    k = 34
    while True:
        v = (r[k - 31] + r[k - 3]) & 0xFFFFFFFF
        r.append(v)
        if k >= 344:
            yield v >> 1
        k += 1


rng = glibc_random(12345)


def uniform():
    return f32(f32(float(next(rng)) + 0.5) / f32(2147483647.0))


L = 3
D, M = f32(0.1), f32(0.7)
match = {1: [0.7, 0.1, 0.1, 0.1], 2: [0.1, 0.7, 0.1, 0.1], 3: [0.1, 0.1, 0.7, 0.1]}
match = {k: [f32(v) for v in t] for k, t in match.items()}
insert = [f32(0.25)] * 4


def letter(p):
    r = f32(uniform() - p[0])
    k = 0
    while r > f32(1e-4):
        k += 1
        if k >= len(p):
            break
        r = f32(r - p[k])
    return 0 if k >= len(p) else k


def walk():
    out = []
    j, s = 0, 1
    while True:
        u = uniform()
        if f32(u - D) < 0:
            ns = 0
        elif f32(f32(u - D) - M) < 0:
            ns = 1
        else:
            ns = 2
        if ns != 2 and j + 1 == L + 1:
            return out
        if ns == 2:
            out.append(letter(insert))
        else:
            j += 1
            if ns == 1:
                out.append(letter(match[j]))
        s = ns


for _ in range(3):
    print(walk())
