#!/usr/bin/env python3
"""Prints the standard genetic code (translation table 1) as expected values for the codon tests.

The table is the published one-line form of translation table 1: for the codons in the order
TTT, TTC, TTA, TTG, TCT, ... (bases T, C, A, G at every position) the amino-acid letters, '*'
for a stop. Each output line holds the codon, its index in the CODON alphabet's numbering
(16 x first + 4 x second + third with A 0, G 1, C 2, T 3) and the amino acid.

Run: python3 codon_standard_code.py > codon_standard_code.txt
"""

AAS = "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"
TABLE_ORDER = "TCAG"
INDEX_ORDER = "AGCT"

rows = []
for i, aa in enumerate(AAS):
    b1, b2, b3 = TABLE_ORDER[i // 16], TABLE_ORDER[(i // 4) % 4], TABLE_ORDER[i % 4]
    index = 16 * INDEX_ORDER.index(b1) + 4 * INDEX_ORDER.index(b2) + INDEX_ORDER.index(b3)
    rows.append((index, b1 + b2 + b3, aa))
for index, codon, aa in sorted(rows):
    print(codon, index, aa)
