#!/bin/bash
# The programs a run starts (a decompressor, gnuplot) in the surroundings a batch job may give
# them: a terminal with `stty tostop`, where a child's messages must go through instead of
# stopping it in its background process group; SIGCHLD inherited as ignored, which would have the
# system reap every child at once; standard descriptors closed when the run starts, so that a
# pipe's end or an output file could take their numbers; SIGPIPE ignored or blocked, which would
# have a decompressor that the run stops reading early complain of a broken pipe. And the run's
# own reads under a signal handler kept from before the run (a profiler's) that was installed
# without SA_RESTART.
source "$QOR_E2E_LIB"
command -v script >/dev/null 2>&1 || skip "script (util-linux) is not installed"
command -v perl >/dev/null 2>&1 || skip "perl is not installed"
command -v gzip >/dev/null 2>&1 || skip "gzip is not installed"

gzip -c "$DATA/plenmod_plain.mod" > p.mod.gz && { cat p.mod.gz; echo garbage; } > g.mod.gz
gzip -c "$DATA/ordane_db1.fa" > db.fa.gz && { cat db.fa.gz; echo garbage; } > gdb.fa.gz
cp "$DATA/ordane_scores.dist" s.dist
printf 'a 10 1 0\nb 10 3 0\n' > f.dist && printf 'd 10 2 0\ne 10 4 0\n' > d.dist
# Far more than a pipe holds: gunzip is still writing when ordane has its one sequence.
awk 'BEGIN { for (i = 1; i <= 20000; i++) print ">s" i "\nMKVLAAGIVGLLAWACDEFGHIKL" }' | gzip > big.fa.gz
echo 's1 24 -5.00 -5.00 0.5' > one.dist
# gnuplot stand-ins: one that only complains, one that writes a finished plot where its command
# file says, and one that does so with a warning.
mkdir -p moan loud && plot_stand_in good
printf '#!/bin/sh\necho "gnuplot: a message" >&2\nexit 1\n' > moan/gnuplot
{ cat good/gnuplot; echo 'echo "gnuplot: a warning" >&2'; } > loud/gnuplot
chmod +x moan/gnuplot loud/gnuplot
ln -s /dev/tty tty.mod.gz
ln -s /dev/null m.ps  # not a regular file: gnuplot writes it itself, its messages on the terminal

# On a terminal with tostop, the child's message reaches the terminal and the run ends; a child
# that reads the terminal fails (a stopped child would hang the run: the guard ends the
# terminal's session after a minute).
while IFS='|' read -r name command message; do
    CASE="stty tostop: $name"
    timeout 60 script -qec "stty tostop; $command >/dev/null; echo status=\$?" /dev/null \
        </dev/null >tty.txt 2>&1
    CHECKS=$((CHECKS + 1))
    tr -d '\r' < tty.txt | grep -q '^status=1$' && grep -qaF "$message" tty.txt ||
        fail "$CASE: $(tr -d '\r' < tty.txt | tail -n 3)"
done <<EOF
a damaged .gz model to plenmod|"$BIN/plenmod" g -model_file g.mod.gz|trailing garbage ignored
a compressed model that is the terminal: its read fails|"$BIN/plenmod" t -model_file tty.mod.gz|Couldn't open file tty.mod.gz
a damaged .gz database to ordane|"$BIN/ordane" o -db gdb.fa.gz -distfile s.dist -alphabet protein|trailing garbage ignored
gnuplot writing the plot itself|PATH="$PWD/moan:\$PATH" "$BIN/trellan" m -distfile f.dist -distfile2 d.dist|gnuplot: a message
EOF

# Each run must end with status 0, without a child's complaint of a broken pipe, and make its
# output, which begins as it should (with standard error closed, no message may land in a file
# that took its number).
while IFS='|' read -r name command output start; do
    CASE=$name
    rm -f "$output"
    eval "$command" >/dev/null 2>err.txt
    STATUS=$?
    expect_status 0
    CHECKS=$((CHECKS + 1)); [ "$(head -c ${#start} "$output" 2>/dev/null)" = "$start" ] || fail "$CASE: $output"
    CHECKS=$((CHECKS + 1)); ! grep -q "Broken pipe" err.txt || fail "$CASE: $(grep "Broken pipe" err.txt)"
done <<'EOF'
SIGCHLD ignored: plenmod on a .gz model|perl -e '$SIG{CHLD}="IGNORE"; exec @ARGV' "$BIN/plenmod" q -model_file p.mod.gz|q.mod|%  QOR
SIGCHLD ignored: ordane on a .gz database|perl -e '$SIG{CHLD}="IGNORE"; exec @ARGV' "$BIN/ordane" o -db db.fa.gz -distfile s.dist -alphabet protein|o.seq|>
SIGCHLD ignored: trellan's plot|PATH="$PWD/good:$PATH" perl -e '$SIG{CHLD}="IGNORE"; exec @ARGV' "$BIN/trellan" t -distfile f.dist -distfile2 d.dist|t.ps|%!PS
input and output closed: plenmod on a .gz model|"$BIN/plenmod" c -model_file p.mod.gz <&- >&-|c.mod|%  QOR
input and output closed: trellan's plot|PATH="$PWD/good:$PATH" "$BIN/trellan" c -distfile f.dist -distfile2 d.dist <&- >&-|c.ps|%!PS
standard error closed: ordane|"$BIN/ordane" e -db db.fa.gz -distfile s.dist -alphabet protein 2>&-|e.seq|>
standard error closed: trellan's plot, gnuplot's messages|PATH="$PWD/loud:$PATH" "$BIN/trellan" e -distfile f.dist -distfile2 d.dist 2>&-|e.ps|%!PS
SIGPIPE ignored: ordane stops reading a large .gz database early|env --ignore-signal=PIPE "$BIN/ordane" i -db big.fa.gz -distfile one.dist -alphabet protein|i.seq|>s1
SIGPIPE blocked: ordane stops reading a large .gz database early|env --block-signal=PIPE "$BIN/ordane" b -db big.fa.gz -distfile one.dist -alphabet protein|b.seq|>s1
EOF

CASE="a run started with SIGTERM blocked: gnuplot is stopped with it all the same"
# A stand-in that keeps the mask it is given (a shell would clear it).
mkdir -p slow && printf '#!/usr/bin/perl\nopen(my $f, ">", "slow.pid"); print $f "$$\\n"; close($f); sleep 60;\n' > slow/gnuplot
chmod +x slow/gnuplot
PATH="$PWD/slow:$PATH" env --default-signal=INT --block-signal=TERM "$BIN/trellan" b -distfile f.dist -distfile2 d.dist 2>/dev/null &
for i in $(seq 500); do [ -s slow.pid ] && break; sleep 0.02; done
kill -INT $!; wait $!; STATUS=$?
expect_status 130
for i in $(seq 100); do [ "$(cut -d' ' -f3 "/proc/$(cat slow.pid)/stat" 2>/dev/null)" = S ] || break; sleep 0.02; done
CHECKS=$((CHECKS + 1)); [ "$(cut -d' ' -f3 "/proc/$(cat slow.pid)/stat" 2>/dev/null)" != S ] || fail "$CASE: still runs"

# A closed standard descriptor stays closed to a file named after it: the run fails as before.
ln -s /dev/stdout o.dat
while IFS='|' read -r name command message; do
    CASE=$name
    eval "$command" 2>err.txt
    STATUS=$?
    expect_status 1
    expect_grep err.txt "$message"
done <<'EOF'
standard output closed, an output linked to /dev/stdout|"$BIN/trellan3" o -distfile f.dist -distfile2 d.dist >&-|Could not open file o.dat
standard input closed, a parameter file /dev/stdin|"$BIN/trellan3" i -i /dev/stdin -distfile f.dist -distfile2 d.dist <&-|Couldn't open file /dev/stdin
EOF

# sigshim.so installs a SIGALRM handler without SA_RESTART and a 20 ms interval timer before main:
# the read of a pipe and the open of a FIFO, each waiting for a writer that comes late, are cut
# short again and again (EINTR). Each is made again, and the run makes what it makes without the
# shim. The FIFO's writer opens it for reading too, so that it never waits for a run that failed.
SHIM="LD_PRELOAD=\"$BIN/sigshim.so\""
if [ -n "${QOR_SANITIZED:-}" ] || grep -q __asan_init "$BIN/trellan3"; then
    # The sanitizer's runtime is then not the first library; it is told not to mind.
    SHIM="ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 $SHIM"
fi
cp "$DATA/plenmod_plain.mod" p.mod && mkfifo m.fifo
while IFS='|' read -r name output command; do
    CASE="a kept handler without SA_RESTART: $name"
    for preload in "" "$SHIM"; do
        rm -f "$output"
        timeout 60 bash -c "${command//PRELOAD/$preload}" >/dev/null 2>err.txt
        STATUS=$?
        expect_status 0
        strip_varying "$output" > "$output.${preload:+shim}"
    done
    expect_same "$output.shim" "$output."
done <<EOF
a pipe copied to a temporary|k.dat|(sleep .3; cat f.dist) | PRELOAD "$BIN/trellan3" k -distfile /dev/stdin -distfile2 d.dist
a FIFO opened|k.mod|(sleep .3; cat p.mod 1<>m.fifo) & PRELOAD "$BIN/plenmod" k -model_file m.fifo -randseed 7 -trainseed 9
EOF
finish
