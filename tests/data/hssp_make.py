#!/usr/bin/env python3
"""Writes the small HSSP test files hssp_*.hssp in the column layout of HSSP version 1.0 files
(header lines, "## ALIGNMENTS first - last" blocks, each with a column-header line whose "AA",
"STRUCTURE", "ACC" and first '.' marks locate the columns, then one line per residue).
Hand-made: no tool here writes HSSP. Run from tests/data: python3 hssp_make.py"""

HEAD = " SeqNo  PDBNo AA STRUCTURE BP1 BP2  ACC NOCC  VAR  ....:....1....:....2"
AA, ST, ACC, DOT = HEAD.index("AA"), HEAD.index("STRUCT"), HEAD.index("ACC"), HEAD.index(".")


def residue_line(seqno, aa, struct, acc, aligned):
    line = [" "] * DOT
    line[0:5] = list("%5d" % seqno)
    line[AA] = aa
    line[ST] = struct
    line[ACC:ACC + 3] = list("%3d" % acc)
    return "".join(line) + aligned


def chain_break(seqno):
    line = [" "] * (ACC + 3)
    line[0:5] = list("%5d" % seqno)
    line[AA] = "!"
    line[ACC:ACC + 3] = list("  0")
    return "".join(line)


# The structure: residues, DSSP letters (blank = none), accessibility; a chain break after 3.
RESIDUES = [("M", " ", 120), ("K", "H", 45), ("V", "H", 10), ("L", "E", 0), ("E", "E", 80)]
# Aligned characters of relatives 1-2 (block 1) and 3 (block 2), one string per residue.
BLOCK1 = ["MM", "Kk", "V.", "L", " E"]
BLOCK2 = ["M", "K", " ", "_", "q"]


def header(seqlength=5, nalign=3, extra=()):
    lines = ["HSSP       HOMOLOGY DERIVED SECONDARY STRUCTURE OF PROTEINS , VERSION 1.0 1991",
             "PDBID      1tst", "HEADER     TEST PROTEIN"]
    lines += list(extra)
    if seqlength is not None:
        lines.append("SEQLENGTH %5d" % seqlength)
    lines.append("NCHAIN        2 chain(s) in 1tst data set")
    if nalign is not None:
        lines.append("NALIGN    %5d" % nalign)
    lines += ["## PROTEINS : identifier and alignment statistics",
              "  NR.    ID         STRID   %IDE %WSIM IFIR ILAS JFIR JLAS LALI NGAP LGAP LSEQ2",
              "    1 : REL1_TEST           0.80  0.90    1    5    1    5    5    0    0    5",
              "    2 : REL2_TEST           0.60  0.70    1    5    1    5    4    0    0    5",
              "    3 : REL3_TEST           0.60  0.70    1    5    1    5    3    0    0    5"]
    return lines


def block(first, last, column, head=HEAD):
    lines = ["## ALIGNMENTS %4d - %4d" % (first, last), head]
    n = 0
    for i, (aa, st, acc) in enumerate(RESIDUES):
        n += 1
        lines.append(residue_line(n, aa, st, acc, column[i]))
        if i == 2:
            n += 1
            lines.append(chain_break(n))
    return lines


TAIL = ["## SEQUENCE PROFILE AND ENTROPY",
        " SeqNo PDBNo   V   L   I   M   F   W   Y   G   A   P   S   T   C   H   R   K   Q   E   N   D",
        "    1    1   0   0   0 100   0   0   0   0   0   0   0   0   0   0   0   0   0   0   0   0",
        "//"]


def write(name, lines):
    with open(name, "w") as f:
        f.write("\n".join(lines) + "\n")


write("hssp_two_blocks.hssp", header() + block(1, 2, BLOCK1) + block(3, 3, BLOCK2) + TAIL)
