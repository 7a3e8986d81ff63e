#!/bin/bash
# End-to-end tests of interrupted runs. A sweep: strace delivers SIGINT at each system call of one
# short run of each writing program in turn (the K-th call of each name); at every point the run
# must end by the signal (or, where the call did not come, as the signal never was), leave no
# hidden temporary, and leave its outputs all old or all new, each new one complete. Then a decompressor that runs a program of its own is stopped with it.
source "$QOR_E2E_LIB"

command -v strace >/dev/null 2>&1 || skip "strace is not installed"
command -v gzip >/dev/null 2>&1 || skip "gzip is not installed"
strace -o /dev/null true 2>/dev/null || skip "strace cannot trace here"

cp "$DATA/qor2psi_mid.mod" q.mod
gzip -c "$DATA/plenmod_plain.mod" > p.mod.gz
cp "$DATA/ordane_db1.fa" db.fa
cp "$DATA/ordane_scores.dist" s.dist
printf 'a 10 1 0\nb 10 3 0\nc 10 5 0\n' > f.dist
printf 'd 10 2 0\ne 10 4 0\nf 10 6 0\n' > d.dist

echo OLD > old.txt
# An output without the lines that differ from run to run.
stable() { grep -a -v -E 'Host: |  Dir:  |Total CPU time:|Finished at:|seed ' "$1"; }

while IFS='|' read -r prog run opts outs; do
    CASE="$prog interrupted at each system call"
    # The reference run, over old outputs as every run of the sweep, counts the calls of each name.
    for o in $outs; do cp old.txt "$o"; done
    strace -c -o calls.txt "$BIN/$prog" "$run" $opts >/dev/null 2>&1 </dev/null
    for o in $outs; do stable "$o" > "$o.ref"; done
    points=0 faults=0 ended=0
    while read -r name count; do
        for k in $(seq "$count"); do
            points=$((points + 1))
            for o in $outs; do cp old.txt "$o"; done
            strace -o /dev/null -e "inject=$name:signal=SIGINT:when=$k" \
                "$BIN/$prog" "$run" $opts >/dev/null 2>&1 </dev/null
            status=$?
            kinds=""
            for o in $outs; do
                if cmp -s "$o" old.txt; then kinds="$kinds old"
                elif stable "$o" | cmp -s - "$o.ref"; then kinds="$kinds new"
                else kinds="$kinds broken"; fi
            done
            left=$(ls -A | grep '^\.' | head -3)
            [ "$status" -eq 130 ] && ended=$((ended + 1))
            if [ -n "$left" ] || [[ $kinds == *broken* ]] || [[ $kinds == *old*new* ]] ||
                [[ $kinds == *new*old* ]] || { [ "$status" -ne 130 ] && [[ $kinds == *old* ]]; } ||
                { [ "$status" -ne 130 ] && [ "$status" -ne 0 ]; }; then
                faults=$((faults + 1))
                fail "$CASE: $name call $k: status $status, outputs$kinds, hidden files: $left"
                rm -f .[!.]*
            fi
        done
    done < <(awk '$NF != "syscall" && $NF != "total" && $NF != "exit_group" && $4 ~ /^[0-9]+$/ { print $NF, $4 }' calls.txt)
    CHECKS=$((CHECKS + 1))
    [ "$ended" -gt 20 ] && [ "$ended" -ge $((points * 9 / 10)) ] ||
        fail "$CASE: only $ended of $points points ended the run"
    echo "$prog: $points points, $ended ended by the signal, $faults faults"
done <<'RUNS'
qor2psi|q|-model_file q.mod|q.ckp q.cks
trellan|r|-distfile f.dist -distfile2 d.dist -plotps 0|r1.data r2.data r.plt
trellan3|t|-distfile f.dist -distfile2 d.dist|t.dat
ordane|o|-db db.fa -distfile s.dist -alphabet protein|o.seq
plenmod|p|-model_file p.mod.gz|p.mod
RUNS

CASE="a decompressor that runs a program of its own is stopped with it"
mkdir -p stub && printf '#!/bin/sh\nsleep 60 &\necho $! > gunzip.pid\nwait\n' > stub/gunzip
chmod +x stub/gunzip
echo OLD > z.mod
PATH="$PWD/stub:$PATH" "$BIN/plenmod" z -model_file p.mod.gz >/dev/null 2>&1 </dev/null &
for i in $(seq 500); do [ -s gunzip.pid ] && break; sleep 0.02; done
kill -TERM $!
wait $!
STATUS=$?
expect_status 143
state() { cut -d' ' -f3 "/proc/$(cat gunzip.pid)/stat" 2>/dev/null; }
for i in $(seq 100); do [ "$(state)" = S ] || break; sleep 0.02; done
CHECKS=$((CHECKS + 1)); [ "$(state)" != S ] || fail "$CASE: the decompressor's program still runs"
CHECKS=$((CHECKS + 1)); [ "$(cat z.mod)" = OLD ] && [ -z "$(ls -A | grep '^\.')" ] || fail "$CASE: files"

finish
