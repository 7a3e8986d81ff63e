#!/bin/bash
# Benchmark of the score-file programs: writes a database score file of 10 million rows and a
# family score file of 10 thousand rows (ID, length, two scores, E-value; a few with an X count
# and a description), then times `trellan3` and `trellan -plotps 0` on them beside
# `LC_ALL=C sort -g -k3,3` of the large file, and reports the time ratios and the peak memory.
# Target: each program no slower than the sort, and under 1.5 GB peak memory.
#
# Usage: bench/scorefile_bench.sh [build-dir] [work-dir]
#   build-dir  directory holding trellan3 and trellan (default: build)
#   work-dir   where the data files are written (default: a new directory under /tmp)
# Environment: ROWS (default 10000000), FAMILY (default 10000).
set -eu
BUILD=${1:-build}
WORK=${2:-$(mktemp -d /tmp/scorefile_bench.XXXXXX)}
ROWS=${ROWS:-10000000}
FAMILY=${FAMILY:-10000}
BIN=$(cd "$BUILD" && pwd)
for prog in trellan3 trellan; do
    [ -x "$BIN/$prog" ] || { echo "no $prog program in $BUILD" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for the memory figures" >&2; exit 1; }
mkdir -p "$WORK"
cd "$WORK"
export HOME="$WORK"
unset QORRC

# gen SEED ROWS MEAN PREFIX FILE
gen() {
    awk -v seed="$1" -v n="$2" -v mean="$3" -v prefix="$4" 'BEGIN {
        srand(seed)
        print "% benchmark scores"
        print "% ID length NLL-NULL reverse-NLL-NULL E-value"
        for (i = 0; i < n; i++) {
            s = mean + (rand() + rand() + rand() - 1.5) * 12
            e = n * exp(s)
            printf "%s%08d %d %.2f %.2f %.2e", prefix, i, 50 + int(rand() * 900), s, s * 0.9, e
            if (i % 97 == 0) printf "      %3d X", 1 + int(rand() * 9)
            if (i % 13 == 0) printf "\t:benchmark entry %d", i
            printf "\n"
        }
    }' > "$5"
}

if [ ! -s big.dist ] || [ ! -s family.dist ]; then
    echo "Writing $ROWS database rows and $FAMILY family rows to $WORK ..."
    gen 1 "$ROWS" 0 db big.dist
    gen 2 "$FAMILY" -12 fam family.dist
fi
echo "Database: $(stat -c %s big.dist) bytes; family: $(stat -c %s family.dist) bytes"

# measure NAME COMMAND...: wall seconds and peak resident kilobytes of one run.
measure() {
    local name=$1; shift
    /usr/bin/time -f "%e %M" -o "time_$name.txt" "$@" > "out_$name.txt" 2> "err_$name.txt"
    read -r secs kb < "time_$name.txt"
    eval "T_$name=$secs; M_$name=$kb"
    printf "%-28s %8.2f s  %8.1f MB peak\n" "$name" "$secs" "$(echo "$kb / 1024" | bc -l)"
}

# Warm the page cache so that every command reads from memory.
cat big.dist family.dist > /dev/null

measure sort env LC_ALL=C sort -g -k3,3 big.dist
measure trellan3 "$BIN/trellan3" bench -distfile family.dist -distfile2 big.dist
measure trellan "$BIN/trellan" bench -distfile family.dist -distfile2 big.dist -plotps 0

echo
echo "trellan3 / sort: $(echo "$T_trellan3 / $T_sort" | bc -l | cut -c1-5)"
echo "trellan  / sort: $(echo "$T_trellan / $T_sort" | bc -l | cut -c1-5)"
status=0
for p in trellan3 trellan; do
    eval "t=\$T_$p; m=\$M_$p"
    if [ "$(echo "$t > $T_sort" | bc -l)" -eq 1 ]; then echo "$p is slower than the sort"; status=1; fi
    if [ "$m" -gt $((1536 * 1024)) ]; then echo "$p used more than 1.5 GB"; status=1; fi
done
echo "Report of trellan3 ($WORK/bench.dat):"
cat bench.dat
exit $status
