#!/bin/bash
# Benchmark of ordane on a large protein database: writes a FASTA database of about 1 GB
# (about one million entries of 60-letter lines) and a score file naming 10% of its entries in
# random order, then times ordane beside `seqkit grep -j 1 -f ids` (skipped when seqkit is absent)
# and reports the time ratio and the peak memory of each.
#
# Usage: bench/ordane_bench.sh [build-dir] [work-dir]
#   build-dir  directory holding the ordane program (default: build)
#   work-dir   where the data files are written (default: a new directory under /tmp)
# Environment: ENTRIES (default 1000000), LEN (mean residues per entry, default 1000),
# RUNS (runs of each program; the best time and the largest peak memory are reported; default 3).
set -eu
BUILD=${1:-build}
WORK=${2:-$(mktemp -d /tmp/ordane_bench.XXXXXX)}
ENTRIES=${ENTRIES:-1000000}
LEN=${LEN:-1000}
RUNS=${RUNS:-3}
ORDANE=$(cd "$BUILD" && pwd)/ordane
[ -x "$ORDANE" ] || { echo "no ordane program in $BUILD" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for the memory figures" >&2; exit 1; }
mkdir -p "$WORK"
cd "$WORK"

if [ ! -s db.fa ] || [ ! -s sel.dist ]; then
    echo "Writing a database of $ENTRIES entries to $WORK/db.fa ..."
    python3 - "$ENTRIES" "$LEN" <<'EOF'
import random, sys
entries, mean = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(12345)
letters = "ACDEFGHIKLMNPQRSTVWY"
pool = ["".join(rng.choice(letters) for _ in range(60)) for _ in range(4096)]
ids = []
with open("db.fa", "w") as db:
    out = []
    for i in range(entries):
        ident = "sp|Q%07d|PROT%d_BENCH" % (i, i)
        ids.append(ident)
        n = rng.randint(mean // 2, mean + mean // 2)
        full, rest = divmod(n, 60)
        lines = [pool[rng.getrandbits(12)] for _ in range(full)]
        if rest:
            lines.append(pool[rng.getrandbits(12)][:rest])
        out.append(">%s Benchmark protein %d OS=Synthetic organism\n%s\n" % (ident, i, "\n".join(lines)))
        if len(out) >= 2000:
            db.write("".join(out))
            out = []
    db.write("".join(out))
chosen = rng.sample(ids, entries // 10)
with open("sel.dist", "w") as d, open("ids.txt", "w") as f:
    d.write("% score file naming 10% of the database\n")
    for k, ident in enumerate(chosen):
        d.write("%s %d %.2f %.2f\n" % (ident, 100, -50.0 + k * 1e-4, -20.0))
        f.write(ident + "\n")
EOF
fi
DBSIZE=$(stat -c %s db.fa)
echo "Database: $DBSIZE bytes, $(grep -c '^>' db.fa) entries; score file names $(wc -l < ids.txt) IDs"

# measure NAME COMMAND...: best wall seconds and largest peak resident kilobytes of RUNS runs.
measure() {
    local name=$1; shift
    local s k
    SECS=""; KB=0
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -f "%e %M" -o "time_$name.txt" "$@" > "out_$name.txt" 2> "err_$name.txt"
        read -r s k < "time_$name.txt"
        if [ -z "$SECS" ] || awk "BEGIN { exit !($s < $SECS) }"; then SECS=$s; fi
        [ "$k" -gt "$KB" ] && KB=$k
    done
    echo "$name: ${SECS} s (best of $RUNS), peak memory $((KB / 1024)) MB"
}

cat db.fa > /dev/null   # warm the page cache for both programs alike
measure ordane "$ORDANE" bench -db db.fa -distfile sel.dist -alphabet protein
ORD_SECS=$SECS; ORD_KB=$KB
echo "ordane wrote $(grep -c '^>' bench.seq) records"
python3 -c "print('ordane peak memory / database size: %.2f' % ($ORD_KB * 1024 / $DBSIZE))"

if command -v seqkit > /dev/null; then
    measure seqkit seqkit grep -j 1 -f ids.txt db.fa
    echo "seqkit wrote $(grep -c '^>' out_seqkit.txt) records"
    python3 -c "print('time ordane / seqkit: %.2f' % ($ORD_SECS / max($SECS, 0.01)))"
else
    echo "seqkit not found: comparison skipped"
fi
