#!/bin/bash
# End-to-end tests of model libraries through modlib_driver: entries written for the settings in
# effect read back to the same settings and models (model files written by plenmod), absolute
# names, entries without a model, unnamed entries, library priority, inline model blocks, query
# entries, and the fatal cases.
source "$QOR_E2E_LIB"

# Two real model files, written by plenmod.
cp "$DATA/plenmod_plain.mod" plain.mod
cp "$DATA/plenmod_labels.mod" labels.mod
run plenmod a -model_file plain.mod
[ "$STATUS" -eq 0 ] && [ -s a.mod ] || fail "plenmod a.mod: $(cat err.txt)"
run plenmod b -model_file labels.mod
[ "$STATUS" -eq 0 ] && [ -s b.mod ] || fail "plenmod b.mod: $(cat err.txt)"

CASE="entries written for the settings in effect read back to the same settings and models"
export MODLIB_WRITE=lib.txt
run modlib_driver w1 -model_file a.mod -sw 0 -dpstyle 1 -jump_in_prob 0.5 -lambda 0.7 -tau 1.1 \
    -subtract_null 3
expect_status 0
cp out.txt w1.txt
run modlib_driver w2 -model_file b.mod -sw 3 -jump_out_prob 0.25 -adjust_score 0 \
    -FIM_method_score 2 -insert_method_score 1
expect_status 0
cp out.txt w2.txt
unset MODLIB_WRITE
expect_text lib.txt "\nMODLIBMOD a.mod driver model number 1\nmodel_file a.mod\nlambda 0.700000\ntau 1.100000\nsw 0\ndpstyle 1\njumpinprob 0.500000\njumpoutprob 1.000000\nsubtractnull 3\nFIMmethodscore -6\ninsertmethodscore 0\nadjust_score 2\nENDMODLIBMOD\n\nMODLIBMOD b.mod driver model number 1\nmodel_file b.mod\nlambda 1.000000\ntau 1.000000\nsw 3\ndpstyle 0\njumpinprob 1.000000\njumpoutprob 0.250000\nsubtractnull 4\nFIMmethodscore 2\ninsertmethodscore 1\nadjust_score 0\nENDMODLIBMOD\n"
grep -q '^MODEL --  held' w1.txt && grep -q '^MODEL --  held' w2.txt || fail "$CASE: no model held"
run modlib_driver r -model_library lib.txt
expect_status 0
cat w1.txt w2.txt | sed 's/^\(entry [^|]*\)| (none)$/\1| driver model number 1/' > want.txt
expect_same out.txt want.txt
expect_grep err.txt "lib.txt(2):  Reading model 1 (a.mod)"
expect_grep err.txt "lib.txt(16):  Reading model 2 (b.mod)"

CASE="absolute names; a name that cannot be resolved is written as given"
MODLIB_WRITE=abs.txt run modlib_driver w3 -model_file a.mod -modlib_absolute 1
expect_grep abs.txt "model_file $(pwd -P)/a.mod"
MODLIB_WRITE=abs.txt run modlib_driver w4 -modlib_absolute 1 -trackmod nothere.mod,a.mod \
    -trackcoeff 1,0.5 -alphabet DNA
expect_status 0
expect_grep abs.txt "trackmod nothere.mod,$(pwd -P)/a.mod"
expect_grep abs.txt "trackcoeff 1,0.5"
expect_grep abs.txt "alphabet DNA"
expect_grep err.txt "Warning:  Could not make nothere.mod an absolute path; written as given"

CASE="a model from parameter files: the first insert file is named"
printf 'sw 1\n' > p1.prm; printf 'dpstyle 2\n' > p2.prm
MODLIB_WRITE=ins.txt run modlib_driver w5 -i p1.prm -i p2.prm
expect_status 0
expect_grep ins.txt "insert p1.prm"
expect_grep err.txt "Warning:  Assuming model came from first insert file"

CASE="an entry whose model file is missing is skipped: the previous model does not survive"
cat > lib2.txt <<'LIB'
Text before the first entry is ignored.
MODLIBMOD first The first model
model_file a.mod
ENDMODLIBMOD
text between entries
MODLIBMOD second The second model
model_file nothere.mod
ENDMODLIBMOD
LIB
run modlib_driver r2 -model_library lib2.txt
expect_status 0
[ "$(grep -c '^entry' out.txt)" -eq 1 ] || fail "$CASE: $(grep '^entry' out.txt)"
expect_grep out.txt "entry first | The first model"
expect_grep err.txt "WARNING:  No model found in library lib2.txt
   Model second (The second model)"

CASE="an unnamed entry, library priority, an inline model block"
{
    echo "MODLIBMOD"
    echo "sw 1"
    sed -n '/^MODEL --/,/^ENDMODEL/p' b.mod
    echo "ENDMODLIBMOD"
} > lib3.txt
run modlib_driver r3 -model_library lib3.txt -sw 3
expect_status 0
expect_grep out.txt "entry lib3.txt_1 | File lib3.txt Model 1 Line 1"
expect_grep out.txt "sw 1 dpstyle 0"
expect_grep out.txt "MODEL --  held"
CHECKS=$((CHECKS + 1))
! grep -q "already been set" err.txt || fail "$CASE: library value was not replaced silently"

CASE="the single pass names the model after its file, without the directory"
mkdir models && cp a.mod models/in.mod
run modlib_driver single -model_file models/in.mod
expect_grep out.txt "entry in.mod | (none)"
run modlib_driver single
expect_grep out.txt "entry single | (none)"
[ "$(grep -c '^entry' out.txt)" -eq 1 ] || fail "$CASE: more than one pass"

CASE="an entry written with a query holds the query lines and no model_file line"
MODLIB_WRITE=q.txt MODLIB_EXTRA=$'% extra text\n' run modlib_driver wq -query q.fa \
    -model_file a.mod
expect_status 0
expect_text q.txt "\nMODLIBMOD a.mod driver model number 1\n%% extra text\nquery q.fa\nswlambda 0.346570\ntau 1.000000\n\ngap 12\ncontinue 1\nmatrix blosum62\nsw 2\ndpstyle 0\njumpinprob 1.000000\njumpoutprob 1.000000\nsubtractnull 4\nFIMmethodscore -6\ninsertmethodscore 0\nadjust_score 2\nENDMODLIBMOD\n"

CASE="an entry without a model source is marked and reported"
MODLIB_WRITE=none.txt run modlib_driver wn
expect_status 0
expect_grep none.txt "Unknown model source"
expect_grep err.txt "Error: Unknown model source for model library"

CASE="an entry that reaches the next entry before its end line"
printf 'MODLIBMOD one\nmodel_file a.mod\nMODLIBMOD two\nmodel_file b.mod\nENDMODLIBMOD\n' > lib4.txt
run modlib_driver r4 -model_library lib4.txt
expect_status 1
expect_grep err.txt "Error: Model library lib4.txt Model ENDMODLIBMOD missing"
CHECKS=$((CHECKS + 1))
! grep -q '^entry' out.txt || fail "$CASE: an entry was yielded"
printf 'MODLIBMOD one\nmodel_file a.mod\n' > lib5.txt
run modlib_driver r5 -model_library lib5.txt
expect_status 1
expect_grep err.txt "Error: Model library lib5.txt Model ENDMODLIBMOD missing"

CASE="a library without entries"
printf 'nothing here\n' > empty.txt
run modlib_driver r6 -model_library empty.txt
expect_status 1
expect_grep err.txt "Error:  No models found in model library empty.txt"
run modlib_driver r7 -model_library absent.txt
expect_status 1
expect_grep err.txt "Couldn't open file absent.txt"

finish
