#!/bin/bash
# End-to-end tests of running out of memory: large score and sequence files read under a sweep of
# address-space limits (ulimit -v, as batch systems set from a job's memory request), and runs
# whose allocations fail from each one on. At every limit a run either succeeds or ends with
# status 1 and "out of memory" on standard error (never an abort by a signal) and leaves no hidden
# temporary of its outputs behind.
source "$QOR_E2E_LIB"

# AddressSanitizer reserves terabytes of address space: no run of such a build starts under a
# limit, so the sweep cannot be made there (QOR_SANITIZED, or the sanitizer in the program).
if [ -n "${QOR_SANITIZED:-}" ] || grep -q __asan_init "$BIN/trellan3"; then
    echo "NOTE: sanitizer build, the sweep of memory limits is not run"
    finish
fi
ulimit -c 0

awk 'BEGIN { for (i = 1; i <= 200000; i++) {
    printf "s%d %d %.2f %.2f\n", i, 50 + i % 200, (i % 1000) / 50 - 10, (i % 777) / 40 - 9
    printf "d%d %d %.2f %.2f\n", i, 50 + i % 150, (i % 913) / 45 - 8, (i % 611) / 30 - 10 > "big2.dist"
} }' > big1.dist
awk 'BEGIN { r = "ACDEFGHIKLMNPQRSTVWY"; for (i = 1; i <= 60000; i++) {
    s = ""; for (j = 0; j < 60; j++) s = s substr(r, 1 + (i * 7 + j * 13) % 20, 1)
    printf ">q%d\n%s\n", i, s
    if (i % 2) printf "q%d 60 %.2f %.2f\n", i, (i % 1000) / 50 - 10, (i % 777) / 40 - 9 > "big.dist"
} }' > big.fa
mkdir run && cd run || exit 1

# The lowest limit (in kB) under which a program starts at all: below it the loader fails.
floor=4000
while ! (ulimit -v $floor; exec "$BIN/trellan3" -v) >/dev/null 2>&1 && [ $floor -lt 40000 ]; do
    floor=$((floor + 500))
done

# program|span (kB)|arguments: the limits from the floor up in steps of 1 MB, over the span
# above it, past the highest at which the run still fails.
while IFS='|' read -r prog span args; do
    top=$((floor + span))
    CASE="$prog $args"
    ran_out=0
    for ((kb = floor; kb <= top; kb += 1000)); do
        # shellcheck disable=SC2086
        (ulimit -v $kb; exec "$BIN/$prog" $args) >out.txt 2>err.txt
        STATUS=$?
        CHECKS=$((CHECKS + 1))
        case $STATUS in
        0) ;;
        1) if grep -q "out of memory" err.txt; then ran_out=$((ran_out + 1)); else
               fail "$CASE: status 1 under $kb kB without 'out of memory': $(head -c 300 err.txt)"
           fi ;;
        *) fail "$CASE: status $STATUS under $kb kB: $(head -c 300 err.txt)" ;;
        esac
        left=(.*.??????)
        CHECKS=$((CHECKS + 1))
        [ -e "${left[0]}" ] && fail "$CASE: temporaries left under $kb kB: ${left[*]}"
        rm -f -- * .*.??????
    done
    # The sweep reaches the limits where memory runs short.
    CHECKS=$((CHECKS + 1))
    [ $ran_out -gt 0 ] || fail "$CASE: no run from $floor to $top kB ran out of memory"
done <<EOF
trellan3|9500|t -distfile ../big1.dist -distfile2 ../big2.dist
trellan|3500|t -distfile ../big1.dist -distfile2 ../big2.dist -plotps 0
ordane|28500|o -db ../big.fa -distfile ../big.dist -alphabet protein
EOF

cd .. || exit 1

# Allocation failures from each allocation of a run on (failmalloc.so makes the N-th call of
# malloc, calloc or realloc and every later one fail): at every N, from the first allocation of
# main on, the run ends with status 0 and the outputs of a run without failures, or 1 and a
# message (never an abort), leaves no temporary, and leaves a set of files that stand or fall
# together either all old or all new, unless its message names the ones already replaced. Outside
# CI every third N is tried.
SHIM="$BIN/failmalloc.so"
[ -f "$SHIM" ] || fail "no $SHIM"
cp "$DATA/qor2psi_mid.mod" q.mod && cp "$DATA/ordane_db1.fa" db.fa && cp "$DATA/ordane_scores.dist" s.dist
printf 'a 10 1 0\nb 10 3 0\n' > f.dist && printf 'd 10 2 0\ne 10 4 0\n' > d.dist
step=3 && [ "${CI:-}" = true ] && step=1
mkdir fm && cd fm || exit 1
# A user that the password file does not hold (as a directory service's are), where the tests run
# as root: its name is looked up in the user database.
stranger=() && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null &&
    stranger=(setpriv --reuid=54321 --regid=54321 --clear-groups) && chmod 755 "$WORK" && chmod 777 .
# program|run name|outputs (a set when more than one)|arguments|run as the stranger (when root)
while IFS='|' read -r prog name outs args as; do
    CASE="$prog $name, allocations failing"
    user=() && [ -n "$as" ] && user=("${stranger[@]}")
    [ -n "$as" ] && [ ${#user[@]} -eq 0 ] && { echo "NOTE: $CASE as $as: not run (needs root and setpriv)"; continue; }
    # shellcheck disable=SC2086
    "${user[@]}" env FM_COUNT=count.txt LD_PRELOAD="$SHIM" "$BIN/$prog" "$name" $args >/dev/null 2>err.txt
    STATUS=$?; expect_status 0
    calls=$(cat count.txt 2>/dev/null || echo 0)
    for o in $outs; do strip_varying "$name$o" > "../$name$o.ref"; done
    CHECKS=$((CHECKS + 1)); [ "$calls" -gt 20 ] || fail "$CASE: the reference run counted $calls allocations"
    for ((n = 1; n <= calls; n += step)); do
        for o in $outs; do echo OLD > "$name$o"; done
        # shellcheck disable=SC2086
        "${user[@]}" env FM_AT=$n LD_PRELOAD="$SHIM" "$BIN/$prog" "$name" $args >/dev/null 2>err.txt
        STATUS=$?
        CHECKS=$((CHECKS + 1))
        case $STATUS in
        0) for o in $outs; do strip_varying "$name$o" > out.ref; cmp -s out.ref "../$name$o.ref" ||
               fail "$CASE: status 0 at allocation $n, $name$o not as without failures"; done ;;
        1) grep -q "^Error: " err.txt || fail "$CASE: status 1 at allocation $n without a message: $(head -c 300 err.txt)" ;;
        *) fail "$CASE: status $STATUS at allocation $n: $(head -c 300 err.txt)" ;;
        esac
        left=(.*.??????)
        CHECKS=$((CHECKS + 1))
        [ -e "${left[0]}" ] && fail "$CASE: temporaries left at allocation $n: ${left[*]}"
        old=0 new=0
        for o in $outs; do if [ "$(cat "$name$o" 2>/dev/null)" = OLD ]; then old=$((old + 1)); else new=$((new + 1)); fi; done
        CHECKS=$((CHECKS + 1))
        if [ $old -gt 0 ] && [ $new -gt 0 ] && ! grep -q "(already replaced: " err.txt; then
            fail "$CASE: at allocation $n, $new new and $old old without saying so: $(head -c 300 err.txt)"
        fi
        rm -f -- * .*.??????
    done
done <<EOF
qor2psi|experiment_run_0042|.ckp .cks|-model_file ../q.mod
trellan|run_of_the_check|1.data 2.data .plt|-distfile ../f.dist -distfile2 ../d.dist -plotps 0
trellan3|run_of_the_check|.dat|-distfile ../f.dist -distfile2 ../d.dist
ordane|o|.seq|-db ../db.fa -distfile ../s.dist -alphabet protein
plenmod|p|.mod|-model_file ../q.mod
plenmod|p|.mod|-model_file ../q.mod|stranger
EOF

finish
