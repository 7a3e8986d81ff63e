# Shared helpers of the end-to-end tests. Source it; it sets up a scratch directory and
# counts failures. Environment: QOR_BIN (build directory holding the programs), QOR_TEST_DATA.
set -u
BIN=${QOR_BIN:?QOR_BIN not set}
DATA=${QOR_TEST_DATA:?QOR_TEST_DATA not set}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
# No per-user parameter file leaks in from the machine running the tests.
export HOME="$WORK/home"
mkdir -p "$HOME"
unset QORRC
FAILS=0
CHECKS=0

fail() { echo "FAIL: $*" >&2; FAILS=$((FAILS + 1)); }

# run PROG ARGS...: runs a program, leaving its standard output in out.txt, its standard error in
# err.txt and its exit status in $STATUS.
run() {
    local prog=$1; shift
    "$BIN/$prog" "$@" >out.txt 2>err.txt
    STATUS=$?
}

# expect_status N: the last run ended with status N.
expect_status() {
    CHECKS=$((CHECKS + 1))
    [ "$STATUS" -eq "$1" ] || fail "${CASE:-}: exit status $STATUS, expected $1 (stderr: $(head -c 400 err.txt))"
}

# expect_same FILE EXPECTED_FILE: the two files are identical byte for byte.
expect_same() {
    CHECKS=$((CHECKS + 1))
    if ! cmp -s "$1" "$2"; then
        fail "${CASE:-}: $1 differs from $2"
        diff "$2" "$1" | head -20 >&2
    fi
}

# expect_text FILE TEXT: the file holds exactly TEXT (printf-interpreted).
expect_text() {
    CHECKS=$((CHECKS + 1))
    printf "$2" > expected.tmp
    if ! cmp -s "$1" expected.tmp; then
        fail "${CASE:-}: $1 is not as expected"
        diff expected.tmp "$1" | head -20 >&2
    fi
}

# expect_grep FILE PATTERN: a fixed string is found in the file.
expect_grep() {
    CHECKS=$((CHECKS + 1))
    grep -qF -- "$2" "$1" || fail "${CASE:-}: '$2' not found in $1"
}

# strip_header FILE: the file without its leading comment lines of host, user, dir and time.
strip_varying() {
    grep -a -v -E '^[%#]  .*Host: |^[%#]  .*  Dir:  |Total CPU time:|Finished at:' "$1"
}

# plot_stand_in DIR: makes DIR/gnuplot, a stand-in for gnuplot (put DIR first on the PATH) that
# writes a small finished plot to the file named on the "set output" line of its command file ($1,
# /dev/stdin included), single- or double-quoted.
plot_stand_in() {
    mkdir -p "$1" && cat > "$1/gnuplot" <<'STUB' && chmod +x "$1/gnuplot"
#!/bin/sh
out=$(sed -n "s/^set output '\(.*\)'\$/\1/p; s/^set output \"\(.*\)\"\$/\1/p" "$1" | tail -n 1)
printf '%%!PS-Adobe-2.0\n%%%%Title: %s\n%%%%Trailer\n%%%%EOF\n' "$out" > "$out"
STUB
}

# finish: report and exit with the right status.
finish() {
    echo "$CHECKS checks, $FAILS failed"
    [ "$FAILS" -eq 0 ] || exit 1
    exit 0
}

# skip REASON: the test needs an outside program that is absent. Under CI=true, where CI installs
# every such program, that is a failure instead of a skip.
skip() {
    if [ "${CI:-}" = "true" ]; then
        echo "FAIL: $* (CI installs it)" >&2
        exit 1
    fi
    echo "SKIPPED: $*"
    exit 77
}
