# Expected .ckp/.cks of qor2psi, computed from the rules: normalised match tables (sum in
# double, values stored as single precision), consensus = first largest, letters in the
# order ARNDCQEGHILKMFPSTWYV as little-endian doubles after a 4-byte count.
import struct, sys
PROT = "ACDEFGHIKLMNPQRSTVWY"
BLAST = "ARNDCQEGHILKMFPSTWYV"
f32 = lambda x: struct.unpack('<f', struct.pack('<f', x))[0]
def expect(columns, run):
    # columns: list of dicts letter->value (raw), or None for a kept FIM (zero column)
    letters = ""
    body = b""
    for col in columns:
        raw = [f32(float(col.get(c, 0))) for c in PROT] if col else [0.0]*20
        s = sum(raw)
        norm = [f32(v / s) for v in raw] if s > 2.0612e-9 else [0.0]*20
        best, idx = -1.0, 0
        for k, v in enumerate(norm):
            if v > best:
                best, idx = v, k
        letters += PROT[idx]
        body += b"".join(struct.pack('<d', norm[PROT.index(c)]) for c in BLAST)
    ckp = struct.pack('<i', len(columns)) + letters.encode() + body
    cks = (">%s Sequence for %s.ckp PSI-BLAST checkpoint file\n%s\n" % (run, run, letters)).encode()
    return ckp, cks
cases = {
  "fim1": [{'W':8,'Y':4,'A':2,'C':1,'D':1}, {'A':3,'R':3,'G':2}],
  "mid": [{'K':1}, None, {'V':5,'I':3}],
  "ends": [{'M':1,'L':1,'P':2}, {c:1 for c in PROT}],
}
for name, cols in cases.items():
    ckp, cks = expect(cols, "run")
    open("qor2psi_%s.ckp" % name, "wb").write(ckp)
    open("qor2psi_%s.cks" % name, "wb").write(cks)
    print(name, len(ckp), cks)
