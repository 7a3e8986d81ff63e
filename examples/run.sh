#!/usr/bin/env bash
# Runs the programs on the example data in this directory. Argument: the build directory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build}" && pwd)
out=$(mktemp -d)
cd "$out"
export HOME="$out"
unset QORRC
if [ -x "$bin/glyphroll" ]; then
    echo "== glyphroll -alphabet protein"
    "$bin/glyphroll" -alphabet protein
fi
echo "outputs left in $out"
