#!/usr/bin/env python3
"""Reads an RDB score table as any TSV reader would (Python's csv module in tab mode, '#' lines
skipped) and prints one line per table line, fields joined by '|'. Exits 1 when a line does not
have as many fields as the column-name line (a shifted column)."""
import csv
import sys

with open(sys.argv[1], newline='') as f:
    lines = [l for l in f if not l.startswith('#')]
rows = list(csv.reader(lines, delimiter='\t', quoting=csv.QUOTE_NONE))
for r in rows:
    if len(r) != len(rows[0]):
        print('field count %d, want %d: %r' % (len(r), len(rows[0]), r))
        sys.exit(1)
    print('|'.join(r))
