#!/bin/bash
# End-to-end tests of write failures: every output file of the six programs, and standard output,
# written to a full device (/dev/full through a symbolic link) or cut by a file-size limit. Each
# run must end with status 1 and a message naming the file and the system's reason, and leave no
# regular file cut short, an existing file as it was and no temporary file behind.
source "$QOR_E2E_LIB"

[ -w /dev/full ] || skip "/dev/full is not available"

printf '%% family\nf1 10 1 0\nf2 10 2 0\nf3 10 6 0\n' > fam.dist
printf '%% database\nd1 10 4 0\nd2 10 5 0\nd3 10 7 0\nd4 10 9 0\n' > db.dist
FULL="No space left on device"

# on_full FILE PROGRAM ARGS...: runs the program with FILE a link to /dev/full; the run must fail
# and name FILE.
on_full() {
    local file=$1; shift
    rm -f ./*.dat ./*.mod ./*.ckp ./*.cks ./*.data ./*.plt ./*.params
    ln -s /dev/full "$file"
    run "$@"
    expect_status 1
    expect_grep err.txt "Error: Could not write $file: $FULL"
    rm -f "$file"
}

CASE="trellan3: r.dat"
on_full r.dat trellan3 r -distfile fam.dist -distfile2 db.dist
CASE="plenmod: r.mod, text"
on_full r.mod plenmod r -model_file "$DATA/plenmod_plain.mod"
CASE="plenmod: r.mod, BINARY"
on_full r.mod plenmod r -model_file "$DATA/plenmod_plain.mod" -binary_output 1
for f in r.ckp r.cks; do
    CASE="qor2psi: $f"
    on_full "$f" qor2psi r -model_file "$DATA/qor2psi_mid.mod"
done
for f in r1.data r2.data r.plt; do
    CASE="trellan -plotps 0: $f"
    on_full "$f" trellan r -distfile fam.dist -distfile2 db.dist -plotps 0
done
CASE="-dump_parameters 2: default.params"
on_full default.params glyphroll -dump_parameters 2

# ---------------------------------------------------------------------------------------------
# Standard output
# ---------------------------------------------------------------------------------------------

# out_full PROGRAM ARGS...: runs the program with standard output on /dev/full.
out_full() {
    local prog=$1; shift
    "$BIN/$prog" "$@" >/dev/full 2>err.txt
    STATUS=$?
    expect_status 1
    CHECKS=$((CHECKS + 1))
    [ "$(grep -c "Could not write standard output" err.txt)" = 1 ] &&
        grep -qF "Error: Could not write standard output: $FULL" err.txt ||
        fail "$CASE: message: $(cat err.txt)"
}

CASE="glyphroll listing on a full device"
out_full glyphroll r -alphabet protein
CASE="glyphroll -v and -h on a full device"
out_full glyphroll -v
out_full glyphroll -h
CASE="ordane: the report on standard output is lost"
printf '>f1\nACDE\n>d1\nKLMN\n' > db.fa
out_full ordane r -db db.fa -distfile fam.dist -alphabet protein
CASE="qor2psi: the warning on standard output is lost; no file is made"
rm -f r.ckp r.cks
out_full qor2psi r -model_file "$DATA/qor2psi_mid.mod"
CHECKS=$((CHECKS + 1)); [ ! -e r.ckp ] && [ ! -e r.cks ] || fail "$CASE: files made"

# ---------------------------------------------------------------------------------------------
# A file cut short by a size limit: the file is removed
# ---------------------------------------------------------------------------------------------

# limited BLOCKS PROGRAM ARGS...: runs the program with files limited to BLOCKS blocks of 1024
# bytes and the size-limit signal at its default (the program's start-up must ignore it, so that
# writes beyond fail with "File too large" instead of killing it); standard error goes through a
# pipe, which the limit does not touch, and standard output nowhere.
limited() {
    local blocks=$1 prog=$2; shift 2
    (ulimit -f "$blocks"; exec env --default-signal=XFSZ "$BIN/$prog" "$@" 2>&1 >/dev/null) |
        cat > err.txt
    STATUS=${PIPESTATUS[0]}
}

CASE="plenmod: r.mod cut after 1024 bytes is removed"
limited 1 plenmod r -model_file "$DATA/plenmod_plain.mod"
expect_status 1
expect_grep err.txt "Error: Could not write r.mod: File too large"
CHECKS=$((CHECKS + 1)); [ ! -e r.mod ] || fail "$CASE: r.mod left"

CASE="qor2psi: an empty r.ckp is removed"
limited 0 qor2psi r -model_file "$DATA/qor2psi_mid.mod"
expect_status 1
expect_grep err.txt "Error: Could not write r.ckp: File too large"
CHECKS=$((CHECKS + 1)); [ ! -e r.ckp ] || fail "$CASE: r.ckp left"

CASE="an output file reached through a symbolic link: the file written is removed"
mkdir -p real && ln -sf real/t.dat t.dat
limited 0 trellan3 t -distfile fam.dist -distfile2 db.dist
expect_status 1
expect_grep err.txt "Error: Could not write t.dat: File too large"
CHECKS=$((CHECKS + 1)); [ ! -e real/t.dat ] || fail "$CASE: real/t.dat left"

CASE="a run that fits is unchanged"
limited 100 trellan3 t -distfile fam.dist -distfile2 db.dist
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s real/t.dat ] || fail "$CASE: no output"

# ---------------------------------------------------------------------------------------------
# Files are replaced only once complete: a failed run leaves every file as it was
# ---------------------------------------------------------------------------------------------

# as_other_user COMMAND...: runs a command as an unprivileged user when the tests run as root
# (a read-only folder does not stop root).
as_other_user() {
    if [ "$(id -u)" = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi
}

# A protein model of eight positions, whose checkpoint file passes 1024 bytes: the first
# position of the three-position model, eight times.
M="$DATA/qor2psi_mid.mod"
{ sed -n 1,14p "$M"; for i in 1 2 3 4 5 6 7 8; do echo $i; sed -n 16,26p "$M"; done
  sed -n '52,$p' "$M"; } > long.mod
# Fifty positions: the checkpoint file is written in one write larger than the stream's buffer.
{ sed -n 1,14p "$M"; for i in $(seq 50); do echo $i; sed -n 16,26p "$M"; done
  sed -n '52,$p' "$M"; } > wide.mod
run trellan3 p -distfile fam.dist -distfile2 db.dist  # the expected .dat, written plainly
chmod 755 .  # the unprivileged user reaches ro/

# Each case: a name, the set-up, the run, the status, the message (or none), and the checks of
# the files afterwards (old.txt holds "old"); no temporary may be left in any case.
printf 'old\n' > old.txt
while IFS='|' read -r name setup command status message checks; do
    CASE=$name
    [ ! -d ro ] || chmod 755 ro
    rm -rf own.mod q.* l.dat real ro p*.mod
    eval "$setup"
    eval "$command"
    expect_status "$status"
    [ -z "$message" ] || expect_grep err.txt "$message"
    CHECKS=$((CHECKS + 1)); eval "$checks" || fail "$CASE: the files are not as expected"
    CHECKS=$((CHECKS + 1)); [ -z "$(find . -name '.*.??????')" ] || fail "$CASE: temporary left"
done <<'EOF'
a run name too long for the hidden name of the temporary|LONG=$(printf 'p%.0s' $(seq 246)); cp old.txt $LONG.mod|limited 1 plenmod $LONG -model_file "$DATA/plenmod_plain.mod"|1|.mod: File too large|cmp -s $LONG.mod old.txt
plenmod over its own input cut by the limit|cp "$DATA/plenmod_plain.mod" own.mod|limited 1 plenmod own -model_file own.mod|1|Error: Could not write own.mod: File too large|cmp -s own.mod "$DATA/plenmod_plain.mod"
qor2psi: .ckp cut by the limit|cp old.txt q.ckp|limited 1 qor2psi q -model_file long.mod|1|Error: Could not write q.ckp: File too large|cmp -s q.ckp old.txt && [ ! -e q.cks ]
qor2psi: a .ckp written past the buffer and cut by the limit names the reason|cp old.txt q.ckp|limited 1 qor2psi q -model_file wide.mod|1|Error: Could not write q.ckp: File too large|cmp -s q.ckp old.txt && [ ! -e q.cks ]
qor2psi: .cks on a full device|cp old.txt q.ckp; ln -s /dev/full q.cks|run qor2psi q -model_file long.mod|1|Error: Could not write q.cks: No space left on device|cmp -s q.ckp old.txt && [ -L q.cks ]
an output that is a symbolic link is written through it|mkdir real; cp old.txt real/l.dat; ln -s real/l.dat l.dat|run trellan3 l -distfile fam.dist -distfile2 db.dist|0||[ -L l.dat ] && cmp -s real/l.dat p.dat
a read-only file is refused as before, not replaced|mkdir ro; chmod 777 ro; cp old.txt ro/r.dat; chmod 444 ro/r.dat; [ "$(id -u)" = 0 ] && chown 65534:65534 ro/r.dat; true|as_other_user "$BIN/trellan3" ro/r -distfile fam.dist -distfile2 db.dist >/dev/null 2>err.txt; STATUS=$?|1|Error: (open_outputfile):  Could not open file ro/r.dat|cmp -s ro/r.dat old.txt
a writable file in a read-only folder is written directly|mkdir ro; cp old.txt ro/r.dat; chmod 666 ro/r.dat; chmod 555 ro|as_other_user "$BIN/trellan3" ro/r -distfile fam.dist -distfile2 db.dist >/dev/null 2>err.txt; STATUS=$?|0||cmp -s ro/r.dat p.dat
EOF
chmod 755 ro

# ---------------------------------------------------------------------------------------------
# A temporary that cannot be made (a full disk, no inode, a quota, no descriptor): the open fails
# with the reason and every file of the run stays old, instead of being written over directly
# ---------------------------------------------------------------------------------------------

strace -o /dev/null true 2>/dev/null || { [ "$FAILS" -gt 0 ] && finish; skip "strace cannot trace here"; }
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"  # the leak check cannot run under strace

# no_temporary ERRNO SUFFIX PROGRAM RUN ARGS...: runs the program with the making of the hidden
# temporary of RUN SUFFIX refused with ERRNO; a first run named probe, traced, tells which openat
# that is.
no_temporary() {
    local err=$1 suffix=$2 prog=$3 run=$4 n; shift 4
    strace -o trace.txt -e trace=openat "$BIN/$prog" probe "$@" >/dev/null 2>&1
    n=$(grep '^openat' trace.txt | grep -n -F "/.probe$suffix." | head -n 1 | cut -d: -f1)
    rm -f probe* trace.txt
    strace -o /dev/null -e "inject=openat:error=$err:when=${n:-0}" "$BIN/$prog" "$run" "$@" \
        >/dev/null 2>err.txt </dev/null
    STATUS=$?
}

# Each case: a name, the files of the run (old.txt copied over each, all old afterwards), the run
# and its message; no temporary may be left.
while IFS='|' read -r name files command message; do
    CASE=$name
    for f in $files; do cp old.txt "$f"; done
    eval "$command"
    expect_status 1
    expect_grep err.txt "$message"
    for f in $files; do CHECKS=$((CHECKS + 1)); cmp -s "$f" old.txt || fail "$CASE: $f is not old"; done
    CHECKS=$((CHECKS + 1)); [ -z "$(find . -name '.*.??????')" ] || fail "$CASE: temporary left"
done <<'EOF'
trellan3, no space for the temporary|n.dat|no_temporary ENOSPC .dat trellan3 n -distfile fam.dist -distfile2 db.dist|Error: (open_outputfile):  Could not open file n.dat: No space left on device
qor2psi, over quota for the second of the pair|n.ckp n.cks|no_temporary EDQUOT .cks qor2psi n -model_file long.mod|Error: (open_outputfile):  Could not open file n.cks: Disk quota exceeded
trellan, no descriptor for the third of the set|n1.data n2.data n.plt|no_temporary EMFILE .plt trellan n -distfile fam.dist -distfile2 db.dist -plotps 0|Error: (open_outputfile):  Could not open file n.plt: Too many open files
trellan, no inode for the plot's temporary|n.ps|no_temporary ENOSPC .ps trellan n -distfile fam.dist -distfile2 db.dist|Error: Could not write n.ps: No space left on device
EOF

CASE="standard output names the first error a write met"
strace -o /dev/null -e inject=write:error=ENOSPC:when=2 "$BIN/glyphroll" r -alphabet protein >g.txt 2>err.txt
STATUS=$?
expect_status 1
expect_grep err.txt "Error: Could not write standard output: $FULL"

finish
