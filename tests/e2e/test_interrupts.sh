#!/bin/bash
# Interrupted runs. strace delivers a signal at each system call (the K-th of each name) of a short
# run of every writing program: the run ends by it (or, where the call never came, runs on to a
# complete run's outputs), leaves no hidden temporary, and its outputs are in one of the states the
# table allows. The points run two at a time, each in a folder of its own. Under CI=true every point
# of a row is tried; elsewhere, and in a sanitizer build (QOR_SANITIZED=1), a fixed quarter of those
# at calls whose count does not change from run to run.
# Then a decompressor's own child is stopped with it.
source "$QOR_E2E_LIB"
command -v strace >/dev/null 2>&1 || skip "strace is not installed"
strace -o /dev/null true 2>/dev/null || skip "strace cannot trace processes here"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"  # the leak check cannot run under strace

cp "$DATA/qor2psi_mid.mod" q.mod && cp "$DATA/ordane_db1.fa" db.fa && cp "$DATA/ordane_scores.dist" s.dist
gzip -c "$DATA/plenmod_plain.mod" > p.mod.gz
printf 'a 10 1 0\nb 10 3 0\n' > f.dist && printf 'd 10 2 0\ne 10 4 0\n' > d.dist && echo OLD > old.txt
mkdir inputs && cp q.mod db.fa s.dist p.mod.gz f.dist d.dist old.txt inputs/

# gnuplot's stand-in, first on the PATH.
plot_stand_in plotter
export PATH="$WORK/plotter:$PATH"

stable() { grep -a -v -E 'Host: |  Dir:  |Total CPU time:|Finished at:|seed ' "$1"; }

# point ROW:CALL:K: one interrupted run of row ROW (its settings in row<ROW>/conf, its reference
# outputs in row<ROW>/<output>.ref) in a fresh folder, with the signal at the K-th CALL. Writes
# "ROW CALL K STATUS STATES HIDDEN..." to verdicts/ROW:CALL:K, STATES being the state of each
# output (old, new, gone or broken) joined by '/'.
point() {
    local row call k prog sig opts outs o s states="" status
    IFS=: read -r row call k <<< "$1"
    { read -r prog; read -r sig; read -r opts; read -r outs; } < "$WORK/row$row/conf"
    cp -R "$WORK/inputs" "$WORK/points/$1" && cd "$WORK/points/$1" || return
    for o in $outs; do echo OLD > "$o"; done
    # In braces: the shell's own note on a run ended by a signal ("Terminated") is dropped too.
    { strace -o /dev/null -e "inject=$call:signal=$sig:when=$k" "$BIN/$prog" x $opts </dev/null; } >/dev/null 2>&1
    status=$?
    for o in $outs; do
        if [ ! -e "$o" ]; then s=gone
        elif cmp -s "$o" old.txt; then s=old
        elif [ -e "$WORK/row$row/$o.ref" ] && stable "$o" | cmp -s - "$WORK/row$row/$o.ref"; then s=new
        else s=broken; fi
        states="$states${states:+/}$s"
    done
    shopt -s nullglob  # the hidden files left, if any
    echo "$row $call $k $status $states" .[!.]* ..?* > "$WORK/verdicts/$1"
}
export -f point stable
export BIN WORK

# The calls that make, fill, set the owner of, put in place or remove an output or its temporary,
# and that start or reap a child: every point at one of them is in the sample.
KEY_CALLS="open openat creat write fchmod fchown truncate ftruncate rename renameat renameat2
           unlink unlinkat link linkat pipe2 clone clone3 fork vfork setpgid wait4 waitid"
# The edges of the held sections, where the signals are blocked and let through again: next in the
# sample, every point where the quarter leaves room for them, else as many as it does.
HELD_CALLS="rt_sigprocmask"
# The calls whose count changes from run to run: futex (the worker threads wait on each other as
# the timing has it) and getrandom (the C library now and then draws a temporary's name again,
# from getrandom). The sample leaves them out, so two runs take the same points. A fixed list and
# not a comparison of two reference runs: getrandom's count differs in about one run in ten, so
# two runs mostly agree on it and the comparison would let it in and out of the sample.
VARYING_CALLS="futex getrandom"
every_point=false
[ "${CI:-}" = true ] && [ -z "${QOR_SANITIZED:-}" ] && every_point=true

# sample: the points of a row (ROW:CALL:K, one a line) on standard input, ordered by call and K;
# prints a quarter of them: every point at a key call, then at the held sections' edges, then the
# rest shared out among the other calls as evenly as their counts allow (the start-up's many
# rt_sigaction calls do not crowd out the few closes), the calls with the most points first where
# the shares cannot be even (the calls made once at start-up come last); each call's share evenly
# spaced over its K. Where a group's points pass the room left, they are thinned out evenly.
sample() {
    awk -v calls="$KEY_CALLS" -v held="$HELD_CALLS" '
        BEGIN {
            n = split(calls, c, /[ \n]+/); for (i = 1; i <= n; i++) group[c[i]] = 1
            n = split(held, c, /[ \n]+/); for (i = 1; i <= n; i++) group[c[i]] = 2
        }
        {
            split($0, f, ":")
            # The points of the two groups under the names 1 and 2, the others under their call.
            if (f[2] in group) { g = group[f[2]]; at[g, ++size[g]] = $0; next }
            if (!(f[2] in count)) names[++ncalls] = f[2]
            at[f[2], ++count[f[2]]] = $0
        }
        function spread(call, size, take,   i) {
            for (i = 0; i < take; i++) print at[call, int((i + 0.5) * size / take) + 1]
        }
        END {
            left = int(NR / 4)
            for (g = 1; g <= 2; g++) {
                take = size[g] < left ? size[g] : left
                spread(g, size[g], take)
                left -= take
            }
            for (i = 2; i <= ncalls; i++)  # by count, most first; equal counts stay in name order
                for (j = i; j > 1 && count[names[j]] > count[names[j - 1]]; j--) {
                    t = names[j]; names[j] = names[j - 1]; names[j - 1] = t
                }
            while (left > 0)
                for (i = 1; i <= ncalls && left > 0; i++)
                    if (share[names[i]] < count[names[i]]) { share[names[i]]++; left-- }
            for (i = 1; i <= ncalls; i++) spread(names[i], count[names[i]], share[names[i]])
        }'
}

# Each row: its reference run, counted under strace -c, gives the points (and, run again with the
# options of the last column where a complete run removes some outputs, the reference outputs).
mkdir points verdicts
declare -A offered
rows=0
while IFS='|' read -r prog sig opts outs allowed keep; do
    row=$((rows += 1))
    cp -R inputs "row$row" && cd "row$row" || exit 1
    printf '%s\n' "$prog" "$sig" "$opts" "$outs" "$allowed" > conf
    for o in $outs; do echo OLD > "$o"; done
    strace -c -o calls.txt "$BIN/$prog" x $opts >/dev/null 2>err.txt </dev/null
    STATUS=$? CASE="$prog reference run"; expect_status 0
    if [ -n "$keep" ]; then "$BIN/$prog" x $opts $keep >/dev/null 2>err.txt </dev/null; STATUS=$?; expect_status 0; fi
    for o in $outs; do [ ! -e "$o" ] || stable "$o" > "$o.ref"; done
    # strace -c orders the calls by the time they took; sorted, the same counts give the same sample.
    leave="" && ! $every_point && leave=$VARYING_CALLS
    awk -v row=$row -v leave="$leave" 'BEGIN { n = split(leave, l, " "); for (i = 1; i <= n; i++) out[l[i]] = 1 }
        $4 ~ /^[0-9]+$/ && $NF != "total" && $NF != "exit_group" && !($NF in out) {
        for (k = 1; k <= $4; k++) print row ":" $NF ":" k }' calls.txt |
        LC_ALL=C sort -t: -k2,2 -k3,3n > all.txt
    offered[$row]=$(wc -l < all.txt)
    if $every_point; then cat all.txt; else sample < all.txt; fi >> ../points.txt
    cd "$WORK" || exit 1
done <<'RUNS'
qor2psi|SIGPIPE|-model_file q.mod|x.ckp x.cks|old/old new/new|
trellan|SIGINT|-distfile f.dist -distfile2 d.dist -plotps 0|x1.data x2.data x.plt|old/old/old new/new/new|
trellan|SIGINT|-distfile f.dist -distfile2 d.dist|x1.data x2.data x.plt x.ps|old/old/old/old new/new/new/old new/new/new/new gone/gone/gone/new|-plotps 3
trellan3|SIGINT|-distfile f.dist -distfile2 d.dist|x.dat|old new|
ordane|SIGTERM|-db db.fa -distfile s.dist -alphabet protein|x.seq|old new|
plenmod|SIGINT|-model_file p.mod.gz|x.mod|old new|
RUNS

# Two at a time: a traced run stops at every system call, and more of them side by side are
# hardly faster (here four took as long as two, with twice the processor time) while they slow
# the tests that run beside them.
xargs -P 2 -n 8 bash -c 'for p; do point "$p"; done' _ < points.txt

# The verdicts: ended by the signal (128 + its number) in an allowed state, or ended by itself
# (the call never came) in a complete run's state, the last allowed; never a hidden file left.
declare -A points ended
while IFS=: read -r row call k; do
    { read -r prog; read -r sig; read -r opts; read -r outs; read -r allowed; } < "row$row/conf"
    CASE="$prog ($sig) interrupted at each system call" CHECKS=$((CHECKS + 1))
    points[$row]=$((${points[$row]:-0} + 1))
    if ! read -r _ _ _ status states hidden 2>/dev/null < "verdicts/$row:$call:$k"; then
        fail "$CASE: $call call $k: no verdict"; continue
    fi
    want=$((128 + $(kill -l "$sig")))
    [ "$status" = "$want" ] && ended[$row]=$((${ended[$row]:-0} + 1))
    if [ -n "$hidden" ] || ! [[ $status = "$want" && " $allowed " == *" $states "* ||
                                $status = 0 && $states = "${allowed##* }" ]]; then
        IFS=/ read -ra each <<< "$states"
        shown="" i=0
        for o in $outs; do shown="$shown$o=${each[i]:-?} " i=$((i + 1)); done
        fail "$CASE: $call call $k: status $status, outputs ${shown}hidden: ${hidden:-none}"
    fi
done < points.txt
for row in $(seq "$rows"); do
    { read -r prog; read -r sig; } < "row$row/conf"
    CHECKS=$((CHECKS + 1)) n=${points[$row]:-0} e=${ended[$row]:-0}
    if [ "$n" -lt "${offered[$row]}" ]; then of="sampled points (of ${offered[$row]})"; else of=points; fi
    echo "$prog ($sig): $e of $n $of ended by the signal"
    [ "$e" -gt 20 ] && [ "$e" -ge $((n * 9 / 10)) ] || fail "$prog ($sig): $e of $n ended the run"
done

CASE="a finished plot that cannot be put in place names the reason; the old plot and files are kept"
mkdir rename && cd rename && echo OLD > x.ps
# The fourth rename: after the two data files and the command file, the plot's.
strace -o /dev/null -e inject=rename:error=EIO:when=4 "$BIN/trellan" x -distfile ../f.dist -distfile2 ../d.dist >/dev/null 2>err.txt
STATUS=$?
expect_status 1
expect_grep err.txt "Error: Could not write x.ps: Input/output error"
CHECKS=$((CHECKS + 1)); [ "$(cat x.ps)" = OLD ] && [ -e x.plt ] && [ -z "$(ls -A | grep '^\.')" ] || fail "$CASE: files"
cd "$WORK" || exit 1

CASE="a decompressor's own child is stopped with it"
mkdir -p stub && printf '#!/bin/sh\nsleep 60 &\necho $! > gunzip.pid\nwait\n' > stub/gunzip && chmod +x stub/gunzip
PATH="$PWD/stub:$PATH" "$BIN/plenmod" z -model_file p.mod.gz >/dev/null 2>&1 </dev/null &
for i in $(seq 500); do [ -s gunzip.pid ] && break; sleep 0.02; done
kill -TERM $!; wait $!; STATUS=$?
expect_status 143
for i in $(seq 100); do [ "$(cut -d' ' -f3 "/proc/$(cat gunzip.pid)/stat" 2>/dev/null)" = S ] || break; sleep 0.02; done
CHECKS=$((CHECKS + 1)); [ "$(cut -d' ' -f3 "/proc/$(cat gunzip.pid)/stat" 2>/dev/null)" != S ] || fail "$CASE: still runs"
finish
