#!/usr/bin/env bash
# Runs the six programs on the example data in this directory and shows what they wrote.
# Argument: the build directory (default: build). Outputs are left in a scratch directory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build}" && pwd)
out=$(mktemp -d)
cd "$out"
export HOME="$out"   # no per-user parameter file of the machine's user leaks in
unset QORRC

show() { echo; echo "== $*"; }

show "trellan3: where false negatives equal false positives (example.dat)"
"$bin/trellan3" example -distfile "$here/family.dist" -distfile2 "$here/database.dist" 2>/dev/null
cat example.dat

show "trellan: false-negative and false-positive curves"
if command -v gnuplot >/dev/null 2>&1; then
    "$bin/trellan" example -distfile "$here/family.dist" -distfile2 "$here/database.dist" 2>/dev/null
    ls -l example.ps
else
    "$bin/trellan" example -distfile "$here/family.dist" -distfile2 "$here/database.dist" -plotps 0 2>/dev/null
    echo "(gnuplot is not installed: the data files and script were kept)"
    ls -l example1.data example2.data example.plt
fi

show "ordane: the sequences of the family and the first database entries in score-file order"
"$bin/ordane" example -db "$here/sequences.fa" -distfile "$here/family.dist" 2>/dev/null
head -4 example.seq

show "qor2psi: checkpoint profile and consensus of the example model"
"$bin/qor2psi" example -model_file "$here/protein.mod" 2>/dev/null
cat example.cks
echo "example.ckp: $(wc -c < example.ckp) bytes"

show "plenmod: the example model with FIMs at both ends (example.mod)"
"$bin/plenmod" example -model_file "$here/protein.mod" 2>/dev/null
grep -c '' example.mod | sed 's/$/ lines/'
grep '^MODEL' example.mod

show "glyphroll: the protein alphabet"
"$bin/glyphroll" example -alphabet protein 2>/dev/null | head -20

echo
echo "outputs left in $out"
