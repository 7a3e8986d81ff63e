#!/bin/bash
# Benchmark of the sequence-file library readers: writes a multi-entry EMBL file of about 200 MB
# (DNA entries of about 2000 bases) and the same entries as FASTA, and a score file naming 10% of
# the entries in random order; then times ordane on the EMBL file, EMBOSS seqret converting the
# EMBL file to FASTA (skipped when seqret is absent), and ordane on the FASTA file, and prints
# the ratios. Targets: ordane on EMBL no slower than seqret, and within 3 times ordane on FASTA.
#
# Usage: bench/seqlib_bench.sh [build-dir] [work-dir]
#   build-dir  directory holding the ordane program (default: build)
#   work-dir   where the data files are written (default: a new directory under /tmp)
# Environment: ENTRIES (default 75000), LEN (mean bases per entry, default 2000),
# RUNS (runs of each program; the best time is reported; default 3).
set -eu
BUILD=${1:-build}
WORK=${2:-$(mktemp -d /tmp/seqlib_bench.XXXXXX)}
ENTRIES=${ENTRIES:-75000}
LEN=${LEN:-2000}
RUNS=${RUNS:-3}
ORDANE=$(cd "$BUILD" && pwd)/ordane
[ -x "$ORDANE" ] || { echo "no ordane program in $BUILD" >&2; exit 1; }
mkdir -p "$WORK"
cd "$WORK"

if [ ! -s db.embl ] || [ ! -s db.fa ] || [ ! -s sel.dist ]; then
    echo "Writing $ENTRIES EMBL entries to $WORK/db.embl and the same as FASTA ..."
    python3 - "$ENTRIES" "$LEN" <<'PY'
import random, sys
entries, mean = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(2026)
pool = ["".join(rng.choice("ACGT") for _ in range(10)) for _ in range(4096)]
ids = []
with open("db.embl", "w") as embl, open("db.fa", "w") as fa:
    eo, fo = [], []
    for i in range(entries):
        ident = "BEN%06d" % i
        ids.append(ident)
        n = rng.randint(mean // 2, mean + mean // 2)
        seq = "".join(pool[rng.getrandbits(12)] for _ in range((n + 9) // 10))[:n]
        lines = []
        for p in range(0, n, 60):
            chunk = seq[p:p + 60]
            blocks = " ".join(chunk[k:k + 10] for k in range(0, len(chunk), 10))
            lines.append("     %-66s%9d" % (blocks, min(p + 60, n)))
        eo.append("ID   %s; SV 1; linear; genomic DNA; STD; SYN; %d BP.\nXX\n"
                  "DE   Synthetic benchmark entry %d\nXX\nSQ   Sequence %d BP;\n%s\n//\n"
                  % (ident, n, i, n, "\n".join(lines)))
        fo.append(">%s Synthetic benchmark entry %d\n%s\n"
                  % (ident, i, "\n".join(seq[p:p + 60] for p in range(0, n, 60))))
        if len(eo) >= 1000:
            embl.write("".join(eo)); fa.write("".join(fo)); eo, fo = [], []
    embl.write("".join(eo)); fa.write("".join(fo))
chosen = rng.sample(ids, entries // 10)
with open("sel.dist", "w") as d:
    d.write("% score file naming 10% of the entries\n")
    for ident in chosen:
        d.write("%s 1 -1.0 -1.0 1.0\n" % ident)
PY
fi
echo "EMBL file: $(du -m db.embl | cut -f1) MB, FASTA file: $(du -m db.fa | cut -f1) MB"

# best_time COMMAND...: the best wall-clock time in seconds of RUNS runs.
best_time() {
    local best="" t
    for _ in $(seq "$RUNS"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}

T_EMBL=$(best_time "$ORDANE" bench_embl -db db.embl -distfile sel.dist -alphabet DNA)
T_FASTA=$(best_time "$ORDANE" bench_fasta -db db.fa -distfile sel.dist -alphabet DNA)
cmp -s <(cut -d" " -f1 bench_embl.seq) <(cut -d" " -f1 bench_fasta.seq) ||
    echo "warning: ordane gave different IDs or letters for EMBL and FASTA"
printf 'ordane on EMBL:         %8.2f s\n' "$T_EMBL"
printf 'ordane on FASTA:        %8.2f s\n' "$T_FASTA"
printf 'EMBL / FASTA:           %8.2f  (target: at most 3)\n' "$(echo "$T_EMBL / $T_FASTA" | bc -l)"
if command -v seqret >/dev/null 2>&1; then
    T_SEQRET=$(best_time seqret -auto -sequence db.embl -osformat2 fasta -outseq seqret_out.fa)
    printf 'seqret EMBL to FASTA:   %8.2f s\n' "$T_SEQRET"
    printf 'ordane EMBL / seqret:   %8.2f  (target: at most 1)\n' "$(echo "$T_EMBL / $T_SEQRET" | bc -l)"
else
    echo "seqret is absent: no comparison with it"
fi
