#!/bin/bash
# Speed of the scoring engine beside HMMER's generic (non-SIMD) Forward and Viterbi: times
# forward_score, forback2 style 0 (forward-backward with counts) and forback2 style 1 (best path
# with traceback) with the engine_bench program on random protein models of lengths 100, 300 and
# 1000 against random sequences of 300 residues, then `hmmsim --fwd` and `hmmsim --vit` (without
# --fast) on HMMs of the same lengths, and prints millions of DP cells per second and the ratios.
# HMMER's part is skipped when hmmsim or hmmbuild is absent (Debian package hmmer).
#
# Usage: bench/engine_bench.sh [build-dir]
# Environment: MODE (0 global, 1 semi-local, 2 local; default 2), SECS (least seconds per
# measurement; default 2), LENGTHS (default "100 300 1000").
set -eu
BUILD=${1:-build}
MODE=${MODE:-2}
SECS=${SECS:-2}
LENGTHS=${LENGTHS:-"100 300 1000"}
SEQLEN=300
BENCH=$(cd "$BUILD" && pwd)/engine_bench
[ -x "$BENCH" ] || { echo "no engine_bench program in $BUILD" >&2; exit 1; }
WORK=$(mktemp -d /tmp/engine_bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

"$BENCH" $SEQLEN "$MODE" "$SECS" $LENGTHS | tee "$WORK/ours.txt"

if ! command -v hmmsim >/dev/null || ! command -v hmmbuild >/dev/null; then
    echo "hmmsim/hmmbuild not found: HMMER comparison skipped"
    exit 0
fi

# HMMER models of each length, built from 20 random unaligned-free sequences of that length.
now() { date +%s.%N; }
printf '\n%-8s %12s %12s %12s %12s %10s %10s\n' model ours-fwd hmmer-fwd ours-vit hmmer-vit \
    fwd-ratio vit-ratio
for L in $LENGTHS; do
    python3 - "$L" > "$WORK/aln$L.fa" <<'PY'
import random, sys
L = int(sys.argv[1])
rng = random.Random(L)
for k in range(20):
    print(">s%d" % k)
    print("".join(rng.choice("ACDEFGHIKLMNPQRSTVWY") for _ in range(L)))
PY
    hmmbuild --amino -n m$L "$WORK/m$L.hmm" "$WORK/aln$L.fa" >/dev/null
    N=$(python3 -c "print(max(20, int(1.5e8 * $SECS / ($L * $SEQLEN))))")
    t0=$(now); hmmsim --fwd -L $SEQLEN -N "$N" "$WORK/m$L.hmm" >/dev/null; t1=$(now)
    hmmsim --vit -L $SEQLEN -N "$N" "$WORK/m$L.hmm" >/dev/null; t2=$(now)
    python3 - "$L" "$N" "$t0" "$t1" "$t2" "$WORK/ours.txt" <<'PY'
import sys
L, N = int(sys.argv[1]), int(sys.argv[2])
t0, t1, t2 = map(float, sys.argv[3:6])
cells = L * 300.0 * N
hf, hv = cells / (t1 - t0) / 1e6, cells / (t2 - t1) / 1e6
ours = {}
for line in open(sys.argv[6]):
    f = line.split()
    if f and f[0].isdigit():
        ours[int(f[0])] = (float(f[2]), float(f[3]), float(f[4]))
of, ofb, ov = ours[L]
print("%-8d %12.1f %12.1f %12.1f %12.1f %10.2f %10.2f" % (L, of, hf, ov, hv, of / hf, ov / hv))
PY
done
