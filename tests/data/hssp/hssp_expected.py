#!/usr/bin/env python3
"""Expected values of the HSSP reader on the real files of this directory, worked out from the
column layout of HSSP files, independently of the C++ reader:

- SEQLENGTH and NALIGN from the header lines that begin with them;
- per "## ALIGNMENTS first - last" block, its column-header line locates the residue column (first
  "AA"), the structure column (first "STRUCT"), the accessibility column (first "ACC", three
  characters read as a number) and the column of the block's first relative (first '.');
  relative k stands in that column + (k - first);
- residue lines holding '!' (chain breaks) are skipped; a missing column, blank, '_', '.' or
  other white space is '-', lower case becomes capital.

Each row is also checked against the protein list of the file: an aligned letter of relative k
must lie within its IFIR..ILAS residues. 3A1P_A.hssp fails that check: its block ranges read
"71 - 144" and "145 - 190" while its column headers and lines hold 70, 70 and 50 relatives
(1-70, 71-140, 141-190, which the check accepts). "3A1P_A_fixed" is that file with the two
range lines corrected (FIXES; the tests make it the same way).

Writes NAME.expected for each readable file:
    SEQLENGTH n NALIGN m
    residues (SEQLENGTH letters)
    structure (SEQLENGTH letters, blank as '*')
    accessibility values, blank-separated
    then NALIGN rows, one a line.
With --corpus DIR it also writes fuzz seeds (first byte the template flag) trimmed to a few
residues. Run from tests/data/hssp: python3 hssp_expected.py [--corpus ../../fuzz/corpus/hssp]
"""
import sys

FILES = ["1ppt.hssp", "cad23-fil.hssp", "3A1P_A.hssp", "3A1P_A_fixed.hssp"]
FIXES = {"## ALIGNMENTS   71 -  144": "## ALIGNMENTS   71 -  140",
         "## ALIGNMENTS  145 -  190": "## ALIGNMENTS  141 -  190"}


def read_lines(name):
    if name == "3A1P_A_fixed.hssp":
        return [FIXES.get(l, l) for l in read_lines("3A1P_A.hssp")]
    return open(name).read().split("\n")


def number_after(lines, key):
    return int(next(l for l in lines if l.startswith(key))[len(key):].split()[0])


def gap(c):
    if c in " _.\t\r\n\v\f":
        return "-"
    return c.upper()


def extract(lines):
    seqlength = number_after(lines, "SEQLENGTH")
    nalign = number_after(lines, "NALIGN")
    rows = [""] * nalign
    residues, structure, acc = "", "", []
    first_block = True
    i = 0
    while i < len(lines):
        if not lines[i].startswith("## ALIGNMENTS"):
            i += 1
            continue
        first, last = [int(x) for x in lines[i][len("## ALIGNMENTS"):].split("-")]
        head = lines[i + 1]
        aa, dot = head.index("AA"), head.index(".")
        st, ac = head.index("STRUCT"), head.index("ACC")
        i += 2
        n = 0
        while n < seqlength:
            line = lines[i]
            i += 1
            if "!" in line:
                continue
            n += 1
            if first_block:
                residues += line[aa]
                structure += "*" if line[st] == " " else line[st]
                acc.append(int(line[ac:ac + 3]))
            for k in range(first, last + 1):
                col = dot + k - first
                rows[k - 1] += gap(line[col]) if col < len(line) else "-"
        first_block = False
    return seqlength, nalign, residues, structure, acc, rows


def protein_spans(lines):
    i = next(n for n, l in enumerate(lines) if l.startswith("## PROTEINS")) + 2
    spans = {}
    while not lines[i].startswith("##"):
        nr, rest = lines[i].split(":", 1)
        ifir, ilas = [int(x) for x in rest[21:].split()[2:4]]
        spans[int(nr)] = (ifir, ilas)
        i += 1
    return spans


def misplaced(rows, spans):
    bad = 0
    for k, row in enumerate(rows, 1):
        ifir, ilas = spans[k]
        bad += sum(1 for r, c in enumerate(row, 1) if c != "-" and not ifir <= r <= ilas)
    return bad


def trimmed(lines, keep):
    """The file cut to its first `keep` residues: no notation or profile lines, 3 proteins."""
    out, i, proteins = [], 0, 0
    while i < len(lines):
        l = lines[i]
        if l.startswith("SEQLENGTH"):
            out.append("SEQLENGTH %5d" % keep)
        elif l.startswith("## SEQUENCE PROFILE"):
            out.append("//")
            break
        elif l.startswith("## ALIGNMENTS"):
            out += [l, lines[i + 1]] + lines[i + 2:i + 2 + keep]
            i += 2 + keep
            while not lines[i].startswith("##"):
                i += 1
            continue
        elif l.startswith("NOTATION"):
            pass
        elif l[:5].strip().isdigit() and l[5:8] == " : ":
            proteins += 1
            if proteins <= 3:
                out.append(l)
        else:
            out.append(l)
        i += 1
    return "\n".join(out) + "\n"


def main():
    for name in FILES:
        lines = read_lines(name)
        seqlength, nalign, residues, structure, acc, rows = extract(lines)
        bad = misplaced(rows, protein_spans(lines))
        print("%s: SEQLENGTH %d NALIGN %d, %d letters outside IFIR..ILAS" %
              (name, seqlength, nalign, bad))
        if bad:
            continue
        assert len(residues) == seqlength and all(len(r) == seqlength for r in rows)
        with open(name.replace(".hssp", ".expected"), "w") as f:
            f.write("SEQLENGTH %d NALIGN %d\n%s\n%s\n%s\n" %
                    (seqlength, nalign, residues, structure, " ".join(map(str, acc))))
            f.write("".join(r + "\n" for r in rows))
    if len(sys.argv) == 3 and sys.argv[1] == "--corpus":
        seeds = [("real_1ppt", "1ppt.hssp", None, 0), ("real_1ppt_template", "1ppt.hssp", None, 1),
                 ("real_3A1P_A_ranges", "3A1P_A.hssp", 6, 0),
                 ("real_3A1P_A_fixed", "3A1P_A_fixed.hssp", 6, 1),
                 ("real_cad23", "cad23-fil.hssp", 14, 0)]
        for seed, name, keep, flag in seeds:
            lines = read_lines(name)
            text = trimmed(lines, keep) if keep else "\n".join(lines)
            with open("%s/%s" % (sys.argv[2], seed), "wb") as f:
                f.write(bytes([flag]) + text.encode())


main()
