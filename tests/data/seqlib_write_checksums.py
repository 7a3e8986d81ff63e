#!/usr/bin/env python3
"""Independent checksums of the test sequences of test_seqlib_write.cpp: CRC-32 through zlib
(the letters upper-cased first) and the GCG checksum straight from its definition."""
import zlib


def folded(s):
    # Only a-z are folded; bytes above 127 count as they are (0..255).
    return s.encode("latin-1").upper()


def gcg(s):
    return sum(((i % 57) + 1) * b for i, b in enumerate(folded(s))) % 10000


def crc(s):
    return zlib.crc32(folded(s)) & 0xFFFFFFFF


SEQS = {
    "123456789": "123456789",
    "S12": "ACGTTGCAACGT",
    "S65": "A" * 10 + "C" * 10 + "G" * 10 + "T" * 10 + "A" * 10 + "C" * 10 + "G" * 5,
    "P7": "MKVLEFW",
    "A58": "A" * 58,
    "mixed": "acgtNNxyz-.*",
    "high": "AC\xe9\xffGT",
}

for name, s in SEQS.items():
    print(f"{name}: len {len(s)} crc {crc(s):X} gcg {gcg(s)}")
