#!/usr/bin/env python3
"""Alignment codes of the A2M / aligned FASTA samples, worked out from the rows' text: '.' is
dropped, a run of capitals is match columns (bytes 101..199), a run of '-' delete columns (bytes
201..254), a run of lower-case letters inserts (bytes 1..99). Writes one line per row:
ID, residue count, model length, then the code bytes."""
import itertools
import sys

LIMITS = {"M": (100, 99), "D": (200, 54), "I": (0, 99)}


def kind(c):
    return "M" if c.isupper() else "D" if c == "-" else "I"


def code(row):
    out = []
    for k, run in itertools.groupby(row.replace(".", ""), key=kind):
        n = len(list(run))
        base, most = LIMITS[k]
        while n > 0:
            take = min(n, most)
            out.append(base + take)
            n -= take
    return out


def rows(path):
    name, text = None, []
    for line in open(path):
        line = line.strip()
        if line.startswith(">"):
            if name is not None:
                yield name, "".join(text)
            name, text = line[1:].split()[0], []
        else:
            text.append(line)
    if name is not None:
        yield name, "".join(text)


for path in sys.argv[1:]:
    with open(path + ".codes", "w") as f:
        for name, row in rows(path):
            residues = sum(c.isalpha() for c in row)
            columns = sum(c.isupper() or c == "-" for c in row)
            f.write("%s %d %d %s\n" % (name, residues, columns, " ".join(map(str, code(row)))))
