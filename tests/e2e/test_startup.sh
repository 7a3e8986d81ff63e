#!/bin/bash
# Start-up as a user meets it: the special forms, option errors, parameter files and the
# per-user parameter file with their priorities, list parameters, dumps and required models.
source "$QOR_E2E_LIB"

P="$BIN/startup_driver"
BANNER=$("$P" -v)
USAGE='  startup_driver reports the parameters that start-up set.\n  -i file          read a parameter file\n  -<name> <value>  set any parameter\n'

CASE="banner"
expect_grep <(echo "$BANNER") "QOR: $P v"

CASE="no argument"
run startup_driver
expect_status 1
expect_text out.txt ""
expect_text err.txt "$BANNER\nUsage: $P run_name [-option value]*\n$USAGE"

CASE="-v"
run startup_driver -v
expect_status 0
expect_text out.txt "$BANNER\n"
expect_text err.txt ""

CASE="-h"
run startup_driver -h
expect_status 0
expect_text out.txt "$BANNER\n"
expect_text err.txt "$USAGE"

CASE="a program without a usage routine"
STARTUP_NO_USAGE=1 run startup_driver
expect_status 1
expect_text err.txt "$BANNER\nUsage: $P run_name [-option value]*\nPlease see the QOR documentation for help.\n"
STARTUP_NO_USAGE=1 run startup_driver -h
expect_status 0
expect_text out.txt "$BANNER\n"
expect_text err.txt "Please see the QOR documentation for help.\n"
STARTUP_NO_USAGE=1 run startup_driver run x
expect_status 1
expect_text err.txt "Option x is missing a leading hyphen\nUsage: $P run_name [-option value]*\n"

CASE="dump of the defaults"
for form in -dump_parameters -dump-parameters -DUMP_PARAMETERS; do
    rm -f default.params
    run startup_driver "$form" 2
    expect_status 0
    expect_text out.txt ""
    expect_text err.txt "Dumping parameters to file default.params\n"
    { echo "%  $BANNER"; cat "$DATA/init_banner_block.txt"; echo "% ---------------------------------------------------------------------"
      echo "%"; echo "% ---------------------------------------------------------------------"
      cat "$DATA/init_default_params_body.txt"; } > expected.params
    strip_varying default.params > got.params
    expect_same got.params expected.params
    CHECKS=$((CHECKS + 1))
    grep -qE '^%  default   Host: [^ ]+    [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}$' default.params ||
        fail "$CASE: host line"
    CHECKS=$((CHECKS + 1))
    grep -qE "^%  .{7,}   Dir:  $(pwd)\$" default.params || fail "$CASE: dir line"
    CHECKS=$((CHECKS + 1))
    grep -qE '^%  Total CPU time:  user +[0-9]+: ?[0-9]+: ?[0-9]+    system +[0-9]+: ?[0-9]+: ?[0-9]+$' default.params ||
        fail "$CASE: cpu time line"
done

CASE="-dump_parameters 3 is a run name and a stray value"
run startup_driver -dump_parameters 3
expect_status 1
expect_text err.txt "Option 3 is missing a leading hyphen\nUsage: $P run_name [-option value]*\n$USAGE"

CASE="option without value"
run startup_driver run -alphabet
expect_status 1
expect_text out.txt ""
expect_text err.txt "Option -alphabet is missing its value\nUsage: $P run_name [-option value]*\n$USAGE"

CASE="option without hyphen"
run startup_driver run alphabet protein
expect_status 1
expect_text err.txt "Option alphabet is missing a leading hyphen\nUsage: $P run_name [-option value]*\n$USAGE"

CASE="misspelled parameter"
run startup_driver run -gapp 5 -randseed 7 -trainseed 9
expect_status 0
expect_text err.txt "Command line option(0):  Could not understand gapp 5\n$BANNER\n"
expect_text out.txt "run name: run\ntrainseed 9\n%% randseed 7\n"

CASE="names ignore case and inner separators"
run startup_driver run -NLL-NULL -5 -Nll_null -6 -randseed 1 -trainseed 1
expect_status 0
expect_text err.txt "Command line option(2): NLLnull has already been set. Using -6.\n$BANNER\n"
expect_grep out.txt "NLLnull -6.000000"

CASE="wrong-typed values"
run startup_driver run -gap x
expect_status 1
expect_text err.txt "Error: Command line option(0):  Incorrect type or missing value for gap\n\n"
run startup_driver run -randseed 1 -gap 99999999999
expect_status 1
expect_text err.txt "Error: Command line option(2):  Incorrect type or missing value for gap\n\n"
run startup_driver run -NLLnull 1e999
expect_status 1
expect_text err.txt "Error: Command line option(0):  Incorrect type or missing value for NLLnull\n\n"
run startup_driver run -verbose many
expect_status 1
expect_text err.txt "Error: Command line option(0):  Incorrect type or missing value for verbose\n\n"

CASE="over-long option and value"
V=$(head -c 99992 /dev/zero | tr '\0' 'm')
run startup_driver run -matrix "$V" -randseed 3 -trainseed 3
expect_status 0
expect_grep out.txt "matrix $V"
run startup_driver run -matrix "${V}m"
expect_status 1
expect_text err.txt "Error: Option -matrix: option and value longer than 99999 characters.\n"

CASE="model section on the command line"
run startup_driver run -MODEL x -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "Command line option(0):  Cannot specify MODEL here.\n$BANNER\n"

CASE="verbose 0 silences the verbose stream"
printf 'gap 3\n' > p1
run startup_driver run -verbose 0 -i p1 -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt ""
expect_text out.txt "run name: run\ntrainseed 3\n%% randseed 3\n%%i p1\nverbose 0\ngap 3\n"

CASE="parameter file named on the command line replaces with a note"
printf '%% a comment\ngap 10\n' > p2
run startup_driver run -gap 8 -i p2 -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "Reading parameter file p2\np2(2): gap has already been set. Using 10.\n$BANNER\n"
expect_grep out.txt "gap 10"

CASE="parameter file lines count from 1; comments and bad lines"
printf 'nosuchname 1\n1 digit line\n#hash\ngap\n  gap 4  \n' > p3
run startup_driver run -i p3 -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "Reading parameter file p3\np3(1):  Could not understand nosuchname 1\np3(4):  Value not specified for gap\n$BANNER\n"
expect_grep out.txt "gap 4"

CASE="string already set"
printf 'matrix other\n' > p4
run startup_driver run -matrix mine -i p4 -randseed 3 -trainseed 3
expect_text err.txt "Reading parameter file p4\np4(1): matrix has already been set.  Using other.\n$BANNER\n"
expect_grep out.txt "matrix other"

CASE="per-user file in the working directory never replaces the command line"
printf 'gap 10\nNLLfile fromrc\nNLLnull -3\n' > .qorrc
run startup_driver run -gap 8 -distfile fromcl -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "$BANNER\nReading default parameters from $(pwd)/.qorrc\nReading parameter file $(pwd)/.qorrc\n"
expect_text out.txt "run name: run\ntrainseed 3\n%% randseed 3\ndistfile fromcl\nNLLnull -3.000000\ngap 8\n"

CASE="note on the per-user file"
STARTUP_NOTE=1 run startup_driver run -randseed 3 -trainseed 3
expect_text err.txt "$BANNER\nReading parameter file $(pwd)/.qorrc\n"
expect_grep out.txt "$(printf '%%\n%%  Additional default parameters from\n%%\t%s/.qorrc\n%%' "$(pwd)")"

CASE="the working directory's file hides the home one"
printf 'gap 20\n' > "$HOME/.qorrc"
run startup_driver run -randseed 3 -trainseed 3
expect_grep out.txt "gap 10"
rm .qorrc

CASE="home directory per-user file"
run startup_driver run -randseed 3 -trainseed 3
expect_text err.txt "$BANNER\nReading default parameters from $HOME/.qorrc\nReading parameter file $HOME/.qorrc\n"
expect_grep out.txt "gap 20"

CASE="QORRC names the one per-user file"
printf 'gap 30\n' > rcfile
QORRC=rcfile run startup_driver run -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "$BANNER\nReading default parameters from QORRC=rcfile\nReading parameter file rcfile\n"
expect_grep out.txt "gap 30"
STARTUP_NOTE=1 QORRC=rcfile run startup_driver run -randseed 3 -trainseed 3
expect_grep out.txt "$(printf '%%\n%%  Additional default parameters from QORRC =\n%%\trcfile\n%%')"

CASE="QORRC naming a missing file is fatal"
QORRC=/nonexistent/rc run startup_driver run -randseed 3 -trainseed 3
expect_status 1
expect_text err.txt "$BANNER\nReading default parameters from QORRC=/nonexistent/rc\nError: Couldn't open file /nonexistent/rc: No such file or directory\n\n"

CASE="QORRC set to an empty value: no per-user file, neither here nor at home"
printf 'gap 40\n' > .qorrc
QORRC= run startup_driver run -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "$BANNER\n"
CHECKS=$((CHECKS + 1)); ! grep -q "gap [24]0" out.txt || fail "$CASE: a per-user file was read"
STARTUP_NOTE=1 QORRC= run startup_driver run -randseed 3 -trainseed 3
CHECKS=$((CHECKS + 1)); ! grep -q "Additional default parameters" out.txt || fail "$CASE: note written"
rm .qorrc
rm "$HOME/.qorrc"

CASE="lists grow from every source, in reading order"
printf 'db fromfile\n' > p5
printf 'db fromrc\nalphbackfile notread\n' > .qorrc
run startup_driver run -db fromcl -i p5 -db again -randseed 3 -trainseed 3
expect_status 0
expect_text out.txt "run name: run\ntrainseed 3\n%% randseed 3\n%%i p5\nalphbackfile notread\ndb fromcl\ndb fromfile\ndb again\ndb fromrc\n"
rm .qorrc

CASE="count entries cannot be set"
run startup_driver run -dblistcount 5 -randseed 3 -trainseed 3
expect_status 0
expect_text err.txt "Command line option(0):  dblistcount counts the values of db and cannot be set; ignored.\n$BANNER\n"

CASE="the 101st list value is fatal"
for i in $(seq 1 101); do echo "db f$i"; done > p6
run startup_driver run -i p6
expect_status 1
expect_text err.txt "Reading parameter file p6\nError: Only 100 db values can be specified.  Skipping f101.\n\n"

CASE="a parameter file that includes itself"
printf 'gap 1\ni p8\n' > p7
printf 'i p7\n' > p8
run startup_driver run -i p7
expect_status 1
expect_text err.txt "Reading parameter file p7\nReading parameter file p8\nError: Parameter file p7 includes itself (directly or through other files).\n"

CASE="compressed parameter files"
printf 'gap 44\n' > pz
gzip -f pz
run startup_driver run -i pz.gz -randseed 3 -trainseed 3
expect_status 0
expect_grep out.txt "gap 44"
run startup_driver run -i pz -randseed 3 -trainseed 3
expect_status 0
expect_grep out.txt "gap 44"

CASE="missing, corrupt and directory parameter files"
run startup_driver run -i nosuch
expect_status 1
expect_text err.txt "Error: Couldn't open file nosuch: No such file or directory\n\n"
printf 'not gzip data\n' > bad.gz
run startup_driver run -i bad.gz
expect_status 1
expect_grep err.txt "Error: Couldn't open file bad.gz: "
mkdir -p adir
run startup_driver run -i adir
expect_status 1
expect_text err.txt "Error: Couldn't open file adir: Is a directory\n\n"

CASE="missing background file named on the command line"
run startup_driver run -alphbackfile nosuchback
expect_status 1
expect_text err.txt "$BANNER\nError: Couldn't open file nosuchback: No such file or directory\n\n"

CASE="seeds from the process id"
run startup_driver run -dump_parameters 1
expect_status 0
CHECKS=$((CHECKS + 1))
grep -qE '^% randseed [0-9]+$' out.txt || fail "$CASE: randseed comment in output"
CHECKS=$((CHECKS + 1))
grep -qE '^% randseed [0-9]+$' run.params || fail "$CASE: randseed comment in dump"
CHECKS=$((CHECKS + 1))
grep -qE '^% trainseed [0-9]+$' run.params || fail "$CASE: trainseed comment in dump"

CASE="required models"
STARTUP_REQUIRED_FLAGS=0x40 run startup_driver run -randseed 3
expect_status 1
expect_text err.txt "$BANNER\nThis program requires a QOR model specified as either\n-i file, which contains a MODEL, or\n-model_file file, where file contains any model structure, or\n-trackmod file1,file2,..., for a multitrack model, or\n-query sequencefile   for a Smith and Waterman query model.\n$USAGE"
STARTUP_REQUIRED_FLAGS=0x41 run startup_driver run -randseed 3
expect_status 1
expect_text err.txt "$BANNER\nThis program requires a QOR model specified as either\n-i file, which contains a MODEL, or\n-model_file file, where file contains any model structure, or\n-trackmod file1,file2,..., for a multitrack model, or\n-query sequencefile   for a Smith and Waterman query model.\n$USAGE"
STARTUP_REQUIRED_FLAGS=1 run startup_driver run -randseed 3
expect_status 1
expect_text err.txt "$BANNER\nThis program requires a QOR model specified as either\n-i file, while file contains a MODEL, or\n-model_file file, where file contains any model structure, or\n$USAGE"
STARTUP_REQUIRED_FLAGS=8 run startup_driver run -randseed 3
expect_status 1
expect_text err.txt "$BANNER\nThis program requires a QOR complex null model specified as either\n-i file, while file contains a NULLMODEL, or\n-nullmodel_file file, where file contains any model structure.\n$USAGE"
STARTUP_REQUIRED_FLAGS=0x40 run startup_driver run -randseed 3 -query q.fa
expect_status 0

CASE="model blocks in parameter files follow the read-flags"
printf 'gap 1\nMODEL -- test model\nalphabet DNA\nGENERIC 1 1 1 1 1 1 1 1 1 0.25 0.25 0.25 0.25 0.25 0.25 0.25 0.25\nENDMODEL\ngap 2\n' > m.par
STARTUP_REQUIRED_FLAGS=1 run startup_driver run -i m.par -randseed 1 -trainseed 1
expect_status 1
expect_text err.txt "Reading parameter file m.par\nm.par(2):  Skipping MODEL -- test model\nm.par(6): gap has already been set. Using 2.\n$BANNER\nThis program requires a QOR model specified as either\n-i file, while file contains a MODEL, or\n-model_file file, where file contains any model structure, or\n$USAGE"
STARTUP_READ_FLAGS=1 STARTUP_REQUIRED_FLAGS=1 run startup_driver run -i m.par -randseed 1 -trainseed 1
expect_status 0
expect_text err.txt "Reading parameter file m.par\nm.par(2):  Reading MODEL -- test model\nm.par(6): gap has already been set. Using 2.\n$BANNER\n"

CASE="model files named by parameters"
STARTUP_READ_FLAGS=1 run startup_driver run -model_file nosuch.mod -randseed 1
expect_status 1
expect_grep err.txt "Error: Couldn't open file nosuch.mod: No such file or directory"

CASE="a default regularizer needs an alphabet"
STARTUP_REQUIRED_FLAGS=2 run startup_driver run -alphabet DNA -randseed 1 -trainseed 1
expect_status 0
STARTUP_REQUIRED_FLAGS=2 run startup_driver run -randseed 1 -trainseed 1
expect_status 1
expect_grep err.txt "Error: "

CASE="default prior library by alphabet"
run startup_driver run -alphabet protein -protein_prior p.lib -nucleotide_prior n.lib -randseed 1 -trainseed 1
expect_status 0
expect_text out.txt "run name: run\ntrainseed 1\n%% randseed 1\nprior_library p.lib\nprotein_prior p.lib\nnucleotide_prior n.lib\nalphabet protein\n"
run startup_driver run -alphabet RNA -nucleotide_prior n.lib -randseed 1 -trainseed 1
expect_grep out.txt "prior_library n.lib"
run startup_driver run -alphabet RNA -prior_library mine.lib -nucleotide_prior n.lib -randseed 1 -trainseed 1
expect_grep out.txt "prior_library mine.lib"
run startup_driver run -alphabet protein -randseed 1 -trainseed 1
expect_text out.txt "run name: run\ntrainseed 1\n%% randseed 1\nalphabet protein\n"

CASE="alphabet-specific parameter files"
printf 'gap 7\n' > dnaparams
run startup_driver run -alphabet DNA -insert_file_protein dnaparams -insert_file_dna dnaparams -randseed 1 -trainseed 1
expect_status 0
expect_text err.txt "Reading parameter file dnaparams\n$BANNER\n"
expect_text out.txt "run name: run\ntrainseed 1\n%% randseed 1\nalphabet DNA\n%%insert_file_protein dnaparams\n%%insert_file_dna dnaparams\ngap 7\n"
run startup_driver run -insert_file_rna nosuchfile -randseed 1 -trainseed 1
expect_status 0

CASE="mainline_cutoff sets both cuts"
run startup_driver run -mainline_cutoff 0.25 -randseed 1 -trainseed 1 -dump_parameters 1
expect_status 0
expect_grep run.params "cutmatch 0.250000"
expect_grep run.params "cutinsert 0.250000"

CASE="experimental codon alphabet"
run startup_driver run -alphabet CODON -randseed 1 -trainseed 1
expect_status 0
expect_text err.txt "$BANNER\nResetting parameters for experimental codon alphabet\nNmodels 1, seq_models = 0\nSettings for evalues & null scores not yet studied.\nCharacter regularizer for codons always\ntaken from the alphabet node.  Use -alphbackfile to set.\n"
expect_text out.txt "run name: run\ntrainseed 1\n%% randseed 1\n%% Nmodels 1\nsequence_models 0.000000\nalphabet CODON\n"

# An empty run name, or one whose file part is empty, "." or ".." (a folder), is refused by every program that
# names its output files after it, before anything is read or written; glyphroll names no file
# and takes it.
mkdir -p empty_run/sub && cd empty_run || exit 1
printf '%% family\nf1 10 1 0\n' > fam.dist
printf '%% database\nd1 10 4 0\n' > db.dist
printf '>f1\nACDE\n' > db.fa
: > out.txt; : > err.txt; : > expected.tmp  # the files of the checks themselves
while read -r prog args; do
    for name in '' ./ sub/ . .. sub/.; do
        CASE="run name '$name': $prog"
        before=$(ls -AR)
        eval "run $prog '$name' $args"
        expect_status 1
        if [ -z "$name" ]; then
            expect_text err.txt "Error: The run name is empty: every output file is named after it\n"
        elif [ "${name%/}" != "$name" ]; then
            expect_text err.txt "Error: The run name $name ends in '/': every output file is named after it\n"
        else
            expect_text err.txt "Error: The run name $name names a folder: every output file is named after it\n"
        fi
        CHECKS=$((CHECKS + 1)); [ "$(ls -AR)" = "$before" ] || fail "$CASE: files made: $(ls -AR)"
    done
done <<EOF
trellan3 -distfile fam.dist -distfile2 db.dist
trellan -distfile fam.dist -distfile2 db.dist -plotps 0
ordane -db db.fa -distfile fam.dist -alphabet protein
qor2psi -model_file $DATA/qor2psi_mid.mod
plenmod -model_file $DATA/plenmod_plain.mod
EOF
CASE="empty run name: glyphroll"
run glyphroll '' -alphabet protein
expect_status 0
cd ..

finish
