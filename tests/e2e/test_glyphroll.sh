#!/bin/bash
# End-to-end tests of glyphroll: the alphabet listings it prints for the parameters given on the
# command line, in parameter files and in the per-user parameter file.
source "$QOR_E2E_LIB"

[ -x "$BIN/glyphroll" ] || skip "glyphroll was not built"

headers() { grep -c '^########### Track [0-5] alphabet ##############$' "$1"; }
listings() { grep -c '^#InternalID:' "$1"; }

CASE="no alphabet parameter: every record of the table"
run glyphroll run1
expect_status 0
expect_same out.txt "$DATA/alphabet_all.txt"
CHECKS=$((CHECKS + 1)); [ "$(listings out.txt)" -eq 46 ] || fail "$CASE: $(listings out.txt) listings"
CHECKS=$((CHECKS + 1)); [ "$(grep -c '^#InternalID:        41$' out.txt)" -eq 6 ] || fail "$CASE: user slots"
expect_grep err.txt "QOR: $BIN/glyphroll v"

CASE="-alphabet protein"
run glyphroll run1 -alphabet protein
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_protein.txt"
CHECKS=$((CHECKS + 1)); [ "$(headers out.txt)" -eq 6 ] && [ "$(listings out.txt)" -eq 1 ] || fail "$CASE: counts"

CASE="-a with the name in capitals and a separator"
run glyphroll run1 -a PRO-TEIN
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_protein.txt"

CASE="-alphabet_def mine,ABCX"
run glyphroll run1 -alphabet_def mine,ABCX
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_mine.txt"
expect_grep out.txt "#InternalID:        41"
expect_grep out.txt " A  0.333333   B  0.333333   C  0.333333  "

CASE="-alphabet_def with a built-in and a numeric alphabet"
run glyphroll run1 -alphabet_def "DNA,-,nums,21"
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_dna_nums.txt"

CASE="background file with a track alphabet"
cp "$DATA/glyphroll_back_dna.txt" back.txt
run glyphroll run1 -alphbackfile back.txt -alphabet DNA
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_dna_back.txt"
expect_text err.txt "QOR: $BIN/glyphroll v$(sed -n 's/^QOR: [^ ]* v//p' err.txt)\nback.txt(DNA): Replacing background with Probs from file.\n"

CASE="background file with the whole table"
run glyphroll run1 -alphbackfile back.txt
expect_status 0
expect_same out.txt "$DATA/glyphroll_all_dna_back.txt"

CASE="background file with faults: warnings, run goes on"
printf 'Alphabet DNA\nOrder A A C T\nProbs 1 2 3 4\nAlphabet rna\nOrder U G C A\nProbs 0.1 0.2\n' > bad.txt
run glyphroll run1 -alphbackfile bad.txt
expect_status 0
expect_grep err.txt "bad.txt(DNA): 2 Order characters map to single character A."
expect_grep err.txt "bad.txt(DNA): No Order character maps to character G."
expect_grep err.txt "bad.txt(DNA): Skipping probability assignments."
expect_grep err.txt "bad.txt(rna): Missing Probs (4 expected); only some Probs changed."
expect_grep out.txt " A  0.250000   G  0.200000   C  0.250000   U  0.100000  "
CHECKS=$((CHECKS + 1))
sed -n '/^Name:          DNA$/,/^InsertReg/p' out.txt | grep -q ' A  0.250000' || fail "$CASE: DNA changed"

CASE="missing background file"
run glyphroll run1 -alphbackfile nosuch.txt
expect_status 1
expect_grep err.txt "Error: Couldn't open file nosuch.txt: "

CASE="per-user file in the home directory"
printf 'alphabet protein\n' > "$HOME/.qorrc"
run glyphroll run1
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_protein.txt"
expect_grep err.txt "Reading default parameters from $HOME/.qorrc"

CASE="the command line wins over the per-user file"
printf 'alphabet protein\n' > "$HOME/.qorrc"
run glyphroll run1 -alphabet DNA
expect_status 0
expect_grep out.txt "Name:          DNA"
CHECKS=$((CHECKS + 1)); [ "$(listings out.txt)" -eq 1 ] || fail "$CASE: listings"

CASE="a user alphabet on the command line is not clashed by the per-user alphabet"
printf 'alphabet protein\n' > "$HOME/.qorrc"
run glyphroll run1 -alphabet_def mine,abcx
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_mine.txt"
rm -f "$HOME/.qorrc"

CASE="per-user file in the working directory"
printf 'alphabet_def mine,abcx\n' > .qorrc
run glyphroll run1
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_mine.txt"
rm -f .qorrc

CASE="per-user file named by QORRC"
printf '%% my defaults\nalphabet protein\n' > myrc
QORRC=myrc run glyphroll run1
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_protein.txt"

CASE="background file named in the per-user file is not read"
printf 'alphbackfile back.txt\n' > myrc
QORRC=myrc run glyphroll run1
expect_status 0
expect_same out.txt "$DATA/alphabet_all.txt"

CASE="parameter file named by -i"
printf '# alphabets\nalphabet_def mine,ABCX\n' > params.txt
run glyphroll run1 -i params.txt
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_mine.txt"

CASE="parameter file with a background file"
printf 'alphbackfile back.txt\nalphabet DNA\n' > params2.txt
run glyphroll run1 -i params2.txt
expect_status 0
expect_same out.txt "$DATA/alphabet_tracks_dna_back.txt"

CASE="unknown alphabet"
run glyphroll run1 -alphabet nosuch
expect_status 1
CHECKS=$((CHECKS + 1))
[ "$(head -1 err.txt)" = "Error: Command line option(0): : Unrecognized alphabet nosuch" ] || fail "$CASE: $(head -1 err.txt)"
expect_grep err.txt "Legal alphabets are:   DNA  CODON  RNA  protein  DSSP"
expect_grep err.txt "  o_notor2  n_notor2"
CHECKS=$((CHECKS + 1)); [ -s out.txt ] && fail "$CASE: output written"

CASE="two different alphabets for track 0"
run glyphroll run1 -alphabet protein -alphabet DNA
expect_status 1
expect_text err.txt "Error: alphabet is protein, trying to set it to DNA.\n"

CASE="too many tracks"
run glyphroll run1 -alphabet DNA,DNA,DNA,DNA,DNA,DNA,RNA
expect_status 1
expect_text err.txt "Error: Command line option(0): : 7 alphabets given; at most 6 sequence tracks can have one\n"

CASE="user alphabet of two letters"
run glyphroll run1 -alphabet_def two,AB
expect_status 1
expect_text err.txt "Error: Command line option(0): : minimum defined alphabet is two letters plus a wild character\n"

CASE="numeric alphabet out of range"
run glyphroll run1 -alphabet_def big,300
expect_status 1
expect_text err.txt "Error: Command line option(0): : numeric alphabet big is defined to be 300 characters.  Only 255\nis permitted.  A larger limit needs a rebuilt program; ask its maintainers.\n"

CASE="numeric alphabet within 255 but beyond what a track can hold"
run glyphroll run1 -alphabet_def big,200
expect_status 1
expect_text err.txt "Error: Command line option(0): : Length of alphabet big exceeds MAX_ALPHA_LENGTH\n"

CASE="odd alphabet_def list"
run glyphroll run1 -alphabet_def mine
expect_status 1
expect_text err.txt "Error: Command line option(0): : alphabet_def must have a list of pairs of alphabet name and letters\n"

CASE="no run name"
run glyphroll
expect_status 1
expect_grep err.txt "Usage: $BIN/glyphroll run_name [-option value]*"
expect_grep err.txt "Please see the QOR documentation for help."

CASE="option without its value"
run glyphroll run1 -alphabet
expect_status 1
expect_grep err.txt "Option -alphabet is missing its value"

finish
