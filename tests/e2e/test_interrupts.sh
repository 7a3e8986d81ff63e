#!/bin/bash
# Interrupted runs. strace delivers SIGINT at each system call (the K-th of each name) of a short
# run of every writing program: the run ends by it (or runs on where the call never came), leaves
# no hidden temporary, and its outputs are all old or all new and complete. Then a decompressor's
# own child is stopped with it.
source "$QOR_E2E_LIB"
command -v strace >/dev/null 2>&1 || skip "strace is not installed"
strace -o /dev/null true 2>/dev/null || skip "strace cannot trace processes here"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"  # the leak check cannot run under strace

cp "$DATA/qor2psi_mid.mod" q.mod && cp "$DATA/ordane_db1.fa" db.fa && cp "$DATA/ordane_scores.dist" s.dist
gzip -c "$DATA/plenmod_plain.mod" > p.mod.gz
printf 'a 10 1 0\nb 10 3 0\n' > f.dist && printf 'd 10 2 0\ne 10 4 0\n' > d.dist && echo OLD > old.txt
stable() { grep -a -v -E 'Host: |  Dir:  |Total CPU time:|Finished at:|seed ' "$1"; }

while IFS='|' read -r prog opts outs; do
    CASE="$prog interrupted at each system call"
    for o in $outs; do cp old.txt "$o"; done
    strace -c -o calls.txt "$BIN/$prog" x $opts >/dev/null 2>&1 </dev/null
    for o in $outs; do stable "$o" > "$o.ref"; done
    points=0 ended=0
    while read -r name count; do
        for k in $(seq "$count"); do
            for o in $outs; do cp old.txt "$o"; done
            strace -o /dev/null -e "inject=$name:signal=SIGINT:when=$k" "$BIN/$prog" x $opts >/dev/null 2>&1 </dev/null
            status=$? kinds="" points=$((points + 1))
            [ $status -eq 130 ] && ended=$((ended + 1))
            for o in $outs; do
                if cmp -s "$o" old.txt; then kinds="$kinds old"
                elif stable "$o" | cmp -s - "$o.ref"; then kinds="$kinds new"
                else kinds="$kinds broken"; fi
            done
            left=$(ls -A | grep '^\.')
            # A run that ended by itself (0) wrote everything; one ended by the signal, all or none.
            if [ -n "$left" ] || [[ $kinds =~ broken|old.*new|new.*old ]] ||
                ! [[ $status:$kinds =~ ^0:( new)+$|^130: ]]; then
                fail "$CASE: $name call $k: status $status, outputs$kinds, hidden: $left"
                rm -f .[!.]*
            fi
        done
    done < <(awk '$4 ~ /^[0-9]+$/ && $NF != "total" && $NF != "exit_group" { print $NF, $4 }' calls.txt)
    CHECKS=$((CHECKS + 1)); [ "$ended" -gt 20 ] && [ "$ended" -ge $((points * 9 / 10)) ] || fail "$CASE: $ended of $points ended the run"
done <<'RUNS'
qor2psi|-model_file q.mod|x.ckp x.cks
trellan|-distfile f.dist -distfile2 d.dist -plotps 0|x1.data x2.data x.plt
trellan3|-distfile f.dist -distfile2 d.dist|x.dat
ordane|-db db.fa -distfile s.dist -alphabet protein|x.seq
plenmod|-model_file p.mod.gz|x.mod
RUNS

CASE="a decompressor's own child is stopped with it"
mkdir -p stub && printf '#!/bin/sh\nsleep 60 &\necho $! > gunzip.pid\nwait\n' > stub/gunzip && chmod +x stub/gunzip
PATH="$PWD/stub:$PATH" "$BIN/plenmod" z -model_file p.mod.gz >/dev/null 2>&1 </dev/null &
for i in $(seq 500); do [ -s gunzip.pid ] && break; sleep 0.02; done
kill -TERM $!; wait $!; STATUS=$?
expect_status 143
for i in $(seq 100); do [ "$(cut -d' ' -f3 "/proc/$(cat gunzip.pid)/stat" 2>/dev/null)" = S ] || break; sleep 0.02; done
CHECKS=$((CHECKS + 1)); [ "$(cut -d' ' -f3 "/proc/$(cat gunzip.pid)/stat" 2>/dev/null)" != S ] || fail "$CASE: still runs"
finish
