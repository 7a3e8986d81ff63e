#!/bin/bash
# End-to-end tests of plenmod: the model block with FIMs added (exact text for a small DNA model),
# regularizer mode, models that already have FIMs, the BINARY form read back, node labels, and
# the refusals.
source "$QOR_E2E_LIB"

block() { sed -n '/^\(MODEL\|REGULARIZER\) --/,/^ENDMODEL/p' "$1"; }
body() { block "$1" | tail -n +2; }   # the block without its header line

CASE="model without FIMs"
cp "$DATA/plenmod_plain.mod" plain.mod
run plenmod run -model_file plain.mod
expect_status 0
block run.mod > got.txt
expect_same got.txt "$DATA/plenmod_plain.expected"
expect_grep run.mod "model_file plain.mod"
expect_grep run.mod "% Sequence-model (global) (SW = 0)"
expect_grep run.mod "% Track 0 FIMs added (geometric mean of match probabilities (6))"
CHECKS=$((CHECKS + 1))
[ ! -s err.txt ] || ! grep -q "outputted unchanged" err.txt || fail "$CASE: unchanged message"

CASE="parameters that are set and the preparation notes, between the header and the block"
run plenmod set -model_file plain.mod -randseed 7 -trainseed 9
expect_status 0
# Everything after the header's closing ruler (the second one) up to the block.
ruler="% $(printf -- '-%.0s' $(seq 69))"
awk -v ruler="$ruler" '$0 == ruler { n++; next } n >= 2 && /^MODEL --/ { exit } n >= 2' set.mod > middle.txt
expect_text middle.txt "trainseed 9\n%% randseed 7\nmodel_file plain.mod\n%% Sequence-model (global) (SW = 0)\n%% Track 0 FIMs added (geometric mean of match probabilities (6))\n"
CHECKS=$((CHECKS + 1))
[ "$(tail -c 11 set.mod | od -An -tx1 | tr -d ' \n')" = 0a0a454e444d4f44454c0a ] || fail "$CASE: file end"

CASE="its output read back: already FIMs at both ends, written as read"
mv run.mod first.mod
run plenmod again -model_file first.mod
expect_status 0
expect_grep err.txt "The model had FIMs at both ends, and is being outputted unchanged."
expect_grep again.mod "MODEL -- "
block again.mod | head -1 | grep -q "Model with FIMs\$" || fail "$CASE: title"
body again.mod > again.txt
body first.mod > first.txt
expect_same again.txt first.txt
expect_grep again.mod "% Track 0 FIMs present in original model"

CASE="regularizer mode"
run plenmod reg -regularizer_file plain.mod
expect_status 0
block reg.mod | head -1 > title.txt
expect_text title.txt "REGULARIZER --  Regularizer with FIMs added by plenmod\n"
body reg.mod > reg.txt
tail -n +2 "$DATA/plenmod_plain.expected" > expected_body.txt
expect_same reg.txt expected_body.txt
CHECKS=$((CHECKS + 1))
[ "$(grep -c '^REGULARIZER\|^MODEL' reg.mod)" -eq 1 ] || fail "$CASE: more than one block"

CASE="regularizer that already has FIMs"
run plenmod reg2 -regularizer_file first.mod
expect_status 0
expect_grep err.txt "outputted unchanged"
block reg2.mod | head -1 | grep -q "^REGULARIZER -- *Regularizer with FIMs\$" || fail "$CASE: title"
body reg2.mod > reg2.txt
expect_same reg2.txt first.txt

CASE="model and regularizer blocks in a parameter file"
{ cat plain.mod; sed 's/^MODEL/REGULARIZER/' plain.mod; } > params
run plenmod both -i params
expect_status 0
expect_grep both.mod "Initial regularizer"
expect_grep both.mod "MODEL --  Model with FIMs added by plenmod"

CASE="BINARY form"
run plenmod bin -model_file plain.mod -binary_output 1
expect_status 0
expect_grep bin.mod "BINARY"
run plenmod text -model_file bin.mod -binary_output 0
expect_status 0
expect_grep err.txt "outputted unchanged"
body text.mod > text.txt
tail -n +2 "$DATA/plenmod_plain.expected" > expected_body.txt
expect_same text.txt expected_body.txt

CASE="node labels with a labelled End"
cp "$DATA/plenmod_labels.mod" labels.mod
run plenmod lab -model_file labels.mod
expect_status 0
block lab.mod | grep NODELABELS > labels.txt
expect_text labels.txt "NODELABELS 1-2: 5\nNODELABELS 4-4: 7\n"

# Refusals: a message, status 1, no output file.
refuse() {
    rm -f bad.mod
    run plenmod bad "$@"
    expect_status 1
    CHECKS=$((CHECKS + 1))
    [ ! -e bad.mod ] || fail "$CASE: output file left behind"
}
CASE="binary_output 2"; refuse -model_file plain.mod -binary_output 2
expect_grep err.txt "Error: binary_output must be 0 (text) or 1 (BINARY), not 2"
CASE="no model"; refuse
expect_grep err.txt "Error: plenmod needs a model or a regularizer"
CASE="unreadable model"; refuse -model_file missing.mod
CASE="model without nodes"; cp "$DATA/plenmod_empty.mod" empty.mod
refuse -model_file empty.mod
expect_grep err.txt "Error: The model has no nodes (only special nodes); no model can be built from it"
CASE="regularizer of a GENERIC node only"; cp "$DATA/plenmod_generic.mod" generic.mod
refuse -regularizer_file generic.mod
expect_grep err.txt "Error: The regularizer has no nodes (only special nodes); no model can be built from it"
CASE="model of FIMs only"; cp "$DATA/qor2psi_allfim.mod" allfim.mod
refuse -model_file allfim.mod
expect_grep err.txt "Error: make_geometric_ave_node:  no non-FIM nodes found."
CASE="model without match probabilities"; cp "$DATA/qor2psi_zero.mod" zero.mod
refuse -model_file zero.mod
expect_grep err.txt "Error: The model has no match probabilities"
CASE="a value holding a line end"; refuse -model_file plain.mod -query $'a\nmodel_file other.mod'
expect_grep err.txt "Error: Command line option(2):  The value of query holds a line end (CR or LF)"
CASE="a value holding a carriage return"; refuse -model_file plain.mod -query $'a\rb'
expect_grep err.txt "The value of query holds a line end (CR or LF)"
CASE="a parameter file with a carriage return inside a value"
printf 'model_file plain.mod\r\nquery a\rb\r\n' > crin.txt
refuse -i crin.txt
expect_grep err.txt "crin.txt(2):  The value of query holds a line end (CR or LF)"
CASE="a run name holding a line end"
run plenmod $'r\n% x' -model_file plain.mod
expect_status 1
expect_grep err.txt "Error: The run name holds a line end (CR or LF)"
CHECKS=$((CHECKS + 1)); [ -z "$(ls | grep -F '% x')" ] || fail "$CASE: output file left behind"

CASE="a parameter file with CRLF line ends works as with LF"
printf 'model_file plain.mod\r\nbinary_output 0\r\n' > crlf.txt
printf 'model_file plain.mod\nbinary_output 0\n' > lf.txt
run plenmod crlf -i crlf.txt
expect_status 0
run plenmod lf -i lf.txt
expect_status 0
strip_varying crlf.mod | grep -v -E '^% (trainseed|randseed) ' | sed 's/crlf/RUN/g' > a.txt
strip_varying lf.mod | grep -v -E '^% (trainseed|randseed) ' | sed 's/lf/RUN/g' > b.txt
expect_same a.txt b.txt
CHECKS=$((CHECKS + 1)); ! grep -q $'\r' crlf.mod || fail "$CASE: a CR in crlf.mod"

CASE="a user name longer than a pipe holds is cut to 199 characters in the header"
# A user the run looks up in a mount namespace whose password file names it so (as root only).
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && unshare -m true 2>/dev/null; then
    { cat /etc/passwd; printf '%*s:x:54321:54321::/:/bin/sh\n' 70000 '' | tr ' ' u; } > passwd
    chmod 755 "$WORK" && chmod 777 . && chmod 644 plain.mod
    timeout 60 unshare -m sh -c "mount --bind passwd /etc/passwd &&
        exec setpriv --reuid=54321 --regid=54321 --clear-groups '$BIN/plenmod' long -model_file plain.mod" \
        >/dev/null 2>err.txt
    STATUS=$?; expect_status 0
    CHECKS=$((CHECKS + 1)); grep -qE "^%  $(printf '%*s' 199 '' | tr ' ' u)   Dir:  " long.mod || fail "$CASE"
else
    echo "NOTE: $CASE: not run (needs root, setpriv and mount namespaces)"
fi

finish
