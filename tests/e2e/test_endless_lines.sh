#!/bin/bash
# End-to-end tests of endless input: /dev/zero (bytes without a line end, never an end of file)
# given for each input file of the six programs. Each run must end with status 1 and a message
# naming the file, in little memory and time. A pipe is copied to a temporary file first: a copy
# that cannot be written ends the run too.
source "$QOR_E2E_LIB"

printf '%% family\nf1 10 1 0\nf2 10 2 0\n' > s.dist
printf '>f1\nACDE\n>f2\nKLMN\n' > s.fa
MODEL="$DATA/qor2psi_mid.mod"
LONG="Line 1 of /dev/zero is longer than 16777216 characters"
BACK="Line 1 of /dev/zero is longer than 999 characters"
# Parameter and model files are copied to be rewound: /dev/zero is refused past the copy's cap.
CAPPED="Couldn't open file /dev/zero: File too large"

# A memory limit, except under AddressSanitizer, which reserves terabytes of address space.
LIMIT="ulimit -v 1000000;"
grep -q __asan_init "$BIN/trellan3" && LIMIT=""

# bounded PROGRAM ARGS...: run, in at most 60 s and (unsanitized) 1 GB of address space.
bounded() {
    local prog=$1; shift
    bash -c "$LIMIT"' exec timeout 60 "$@"' - "$BIN/$prog" "$@" >out.txt 2>err.txt
    STATUS=$?
}

while IFS='|' read -r prog message args; do
    CASE="$prog $args"
    # shellcheck disable=SC2086
    bounded "$prog" r $args
    expect_status 1
    expect_grep err.txt "Error: ${!message}"
done <<EOF
trellan3|LONG|-distfile /dev/zero -distfile2 s.dist
trellan3|LONG|-distfile s.dist -distfile2 /dev/zero
trellan|LONG|-distfile /dev/zero -distfile2 s.dist
trellan|LONG|-distfile s.dist -distfile2 /dev/zero
ordane|LONG|-db /dev/zero -distfile s.dist
ordane|LONG|-db s.fa -distfile /dev/zero
ordane|LONG|-alignfile /dev/zero -distfile s.dist
ordane|LONG|-db s.fa -dbguide /dev/zero -distfile s.dist
ordane|BACK|-db s.fa -distfile s.dist -alphbackfile /dev/zero
glyphroll|BACK|-alphabet DNA -alphbackfile /dev/zero
qor2psi|BACK|-model_file $MODEL -alphbackfile /dev/zero
plenmod|CAPPED|-model_file /dev/zero
qor2psi|CAPPED|-model_file $MODEL -regularizer_file /dev/zero
glyphroll|CAPPED|-i /dev/zero
EOF

CASE="QORRC=/dev/zero"
QORRC=/dev/zero bounded trellan3 r -distfile s.dist -distfile2 s.dist
expect_status 1
expect_grep err.txt "Error: $CAPPED"

CASE="a pipe: one line of 17 MB of text"
yes | tr -d '\n' | head -c 17000000 > long.txt
bounded trellan3 r -distfile /dev/stdin -distfile2 s.dist < <(cat long.txt)
expect_status 1
expect_grep err.txt "Error: Line 1 of /dev/stdin is longer than 16777216 characters"

# FASTA headers: the first one while the format is told, a later one while the entries are read.
tr y A < long.txt > longA.txt
{ printf '>'; cat longA.txt; } > first.fa
{ printf '>x\n%0300d\n>' 0 | tr 0 A; cat longA.txt; } > later.fa
while IFS='|' read -r file message; do
    CASE="FASTA header past the bound in $file"
    bounded ordane r -db "$file" -distfile s.dist -alphabet protein
    expect_status 1
    expect_grep err.txt "Error: $message"
done <<EOF
first.fa|Line 1 of first.fa is longer than 16777216 characters
later.fa|Header of entry 2 of later.fa is longer than 16777216 characters
EOF

CASE="a pipe whose copy is cut by a file-size limit"
head -c 3000000 long.txt |
    (ulimit -f 1000; exec env --default-signal=XFSZ "$BIN/trellan3" r -distfile /dev/stdin \
        -distfile2 s.dist 2>&1 >/dev/null) | cat > err.txt
STATUS=${PIPESTATUS[1]}
expect_status 1
expect_grep err.txt "Error: Could not copy /dev/stdin to a temporary file: File too large"

# Temporary copies, of a pipe and of a decompressed model (read twice), are made in TMPDIR when it
# is set and not empty, else in /tmp; a TMPDIR that takes no file ends the run.
gzip -c "$MODEL" > m.mod.gz && mkdir -p tmpd
NOENT="to a temporary file: No such file or directory"
while IFS='|' read -r tmpdir status message command; do
    CASE="TMPDIR '$tmpdir': $command"
    export TMPDIR=$tmpdir
    eval "$command" >/dev/null 2>err.txt
    STATUS=$?
    unset TMPDIR
    expect_status "$status"
    [ -z "$message" ] || expect_grep err.txt "$message"
done <<EOF
tmpd|0||cat s.dist | "\$BIN/trellan3" r -distfile /dev/stdin -distfile2 s.dist
tmpd|0||"\$BIN/plenmod" r -model_file m.mod.gz
|0||cat s.dist | "\$BIN/trellan3" r -distfile /dev/stdin -distfile2 s.dist
missing|1|Error: Could not copy /dev/stdin $NOENT|cat s.dist | "\$BIN/trellan3" r -distfile /dev/stdin -distfile2 s.dist
missing|1|Error: Could not copy m.mod.gz $NOENT|"\$BIN/plenmod" r -model_file m.mod.gz
EOF

finish
