#!/bin/bash
# End-to-end: score files written by a scoring run (tests/drivers/score_run.cpp) under two
# null-model kinds are read by trellan3.
source "$QOR_E2E_LIB"

[ -x "$BIN/trellan3" ] || skip "trellan3 was not built"
[ -x "$BIN/score_run" ] || skip "score_run was not built"

CASE="reverse-sequence scores"
run score_run rev "$DATA/emloop_models.txt" 4
expect_status 0
expect_grep rev.dist "% Score DP Method: forward all-paths (dpstyle = 0)"
expect_grep rev.dist "% 4 sequences, 24 residues, 3 nodes"
expect_grep rev.dist "% Sequence ID   Length      Simple     Reverse     E-value      X count"
CHECKS=$((CHECKS + 1))
[ "$(grep -vc '^%' rev.dist)" -eq 4 ] || fail "$CASE: rev.dist does not hold 4 rows"
# The palindrome's reverse score is 0: its E-value is N/2.
expect_grep rev.dist "0.00     2.00e+00"

CASE="user null model scores"
run score_run user "$DATA/emloop_models.txt" 3
expect_status 0
expect_grep user.dist "% User's: NLL-NULL for user input NULL model"

CASE="trellan3 on both"
run trellan3 cmp -distfile rev.dist -distfile2 user.dist
expect_status 0
CHECKS=$((CHECKS + 1))
[ "$(wc -l < cmp.dat)" -eq 4 ] || fail "$CASE: cmp.dat does not hold 4 lines"
expect_grep cmp.dat "sequences at FP=FN"

finish
