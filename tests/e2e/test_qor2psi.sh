#!/bin/bash
# End-to-end tests of qor2psi: exact bytes of the checkpoint (.ckp) and its sequence (.cks) for
# small hand-built protein models, and the refusals that leave no output behind.
source "$QOR_E2E_LIB"

for c in fim1 mid ends; do
    CASE="qor2psi $c"
    rm -f run.ckp run.cks
    cp "$DATA/qor2psi_$c.mod" model.mod
    run qor2psi run -model_file model.mod
    expect_status 0
    expect_same run.ckp "$DATA/qor2psi_$c.ckp"
    expect_same run.cks "$DATA/qor2psi_$c.cks"
done

CASE="warning on standard output"
expect_text out.txt "\nWARNING:  PSI-BLAST checkpoints are stored in a machine-dependent format!\nThe run.ckp file should work on other machines that have:\nlittle-endian order, 1 byte chars, 4 byte ints, 8 byte doubles\n"

CASE="checkpoint size is 4 + N + 160 N"
CHECKS=$((CHECKS + 1))
[ "$(stat -c %s run.ckp)" -eq $((4 + 2 + 320)) ] || fail "$CASE: size $(stat -c %s run.ckp)"

CASE="model from a MODEL block of a parameter file"
rm -f run.ckp run.cks
printf 'alphabet protein\n' > params
cat "$DATA/qor2psi_fim1.mod" >> params
run qor2psi run -i params
expect_status 0
expect_same run.ckp "$DATA/qor2psi_fim1.ckp"

CASE="negative transition in a MODEL block of a parameter file"
rm -f run.ckp run.cks
{ printf 'alphabet protein\n'; sed '17s/^0.1 /-0.1 /' "$DATA/qor2psi_fim1.mod"; } > params
run qor2psi run -i params
expect_status 1
expect_grep err.txt "Error: params(18): Negative value -0.1 in regularizer or model node 1"
CHECKS=$((CHECKS + 1))
[ ! -e run.ckp ] && [ ! -e run.cks ] || fail "$CASE: output files left behind"

# Refusals: the message, status 1, and no output files.
refuse() {  # model-file message
    rm -f run.ckp run.cks
    cp "$DATA/$1" model.mod
    run qor2psi run -model_file model.mod
    expect_status 1
    expect_grep err.txt "$2"
    CHECKS=$((CHECKS + 1))
    [ ! -e run.ckp ] && [ ! -e run.cks ] || fail "$CASE: output files left behind"
    [ ! -s out.txt ] || fail "$CASE: standard output not empty"
}
CASE="DNA model"; refuse qor2psi_dna.mod "Error: Must use the protein alphabet; model alphabet is DNA"
CASE="all-FIM model"; refuse qor2psi_allfim.mod "Error: make_geometric_ave_node:  no non-FIM nodes found."
CASE="no position left"; refuse qor2psi_onefim.mod "Error: The model has no positions to convert"
CASE="zero-probability model"; refuse qor2psi_zero.mod "Error: The model has no match probabilities to convert"

CASE="no model"
rm -f run.ckp run.cks
run qor2psi run
expect_status 1
expect_grep err.txt "This program requires a QOR model specified as either"
expect_grep err.txt "Creates:  <runname>.cks        PSIBLAST checkpoint sequence file)"

CASE="unreadable model file"
run qor2psi run -model_file no_such_file.mod
expect_status 1
CHECKS=$((CHECKS + 1))
[ ! -e run.ckp ] || fail "$CASE: output file left behind"

CASE="usage with -h"
run qor2psi -h
expect_status 0
expect_grep err.txt "Convert  QOR HMM match distributions to a PSI-BLAST profile"

finish
