#!/bin/bash
# End-to-end tests of ordane: sequences from FASTA databases (plain and compressed) written in
# score-file order, selection by select_seq, -id / -not_id, and every failure with its status.
source "$QOR_E2E_LIB"

cp "$DATA/ordane_db1.fa" db1.fa
cp "$DATA/ordane_db2.fa" db2.fa
gzip -c db2.fa > db2.fa.gz
cp "$DATA/ordane_scores.dist" s.dist
cp "$DATA/ordane_dups.fa" dups.fa

USAGE='   -db seq_file [-db seq_fn]* one or more sequence files
OR -alignfile afile           sequence alignment file (.a2m, .mult)
    -distfile distance_file    score file (.dist or .mstat)
Where distance file contains sequence scores.
Sequences are sorted according to dist file order.
The sorted sequences are printed to runname.seq
Select_seq can be used to refine the selection.'

# expect_usage_end: the last seven lines of err.txt are the usage lines.
expect_usage_end() {
    CHECKS=$((CHECKS + 1))
    if [ "$(tail -n 7 err.txt)" != "$USAGE" ]; then
        fail "${CASE:-}: usage lines missing at the end of standard error"
    fi
}

CASE="all entries in score-file order"
run ordane r1 -db db1.fa -db db2.fa.gz -distfile s.dist -alphabet protein
expect_status 0
expect_text r1.seq '>gamma third\nWWYY\n>zeta\nPPPPP\n>alpha first protein\nMKVLAAGIVGLLAW\n>beta\nACDEFGHIKL\n'
expect_text out.txt 'Database Files:  db1.fa db2.fa.gz\nFound 7 sequences in 2 files; selected 7 sequences\n'
expect_grep err.txt 'ID gamma selected twice; skipping repeat.'
expect_grep err.txt 'Dropping zero-length sequence empty'
expect_grep err.txt 'Writing sequence output to r1.seq.'

CASE="alphabet guessed from the first database file"
run ordane r1g -db db1.fa -db db2.fa.gz -distfile s.dist
expect_status 0
expect_same r1g.seq r1.seq

CASE="comma-joined tracks in one -db value"
cp db1.fa track2.fa
run ordane r2 -db db1.fa,track2.fa -distfile s.dist -alphabet protein,protein
expect_status 0
expect_text r2.seq '>gamma third\nWWYY\n>alpha first protein\nMKVLAAGIVGLLAW\n>beta\nACDEFGHIKL\n'
expect_text out.txt 'Database Files:  db1.fa,track2.fa\nFound 5 sequences in 1 file; selected 5 sequences\n'

CASE="tracks whose IDs disagree"
run ordane e0 -db db1.fa,db2.fa -distfile s.dist -alphabet protein,protein
expect_status 1
expect_grep err.txt 'Error: Sequence id eps from db2.fa does not match id of main sequence (alpha)'

CASE="select_seq 1: column 1 below NLLnull"
run ordane r3 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -select_seq 1
expect_status 0
expect_text r3.seq '>gamma third\nWWYY\n>alpha first protein\nMKVLAAGIVGLLAW\n'

CASE="select_seq -1: the complement"
run ordane r4 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -select_seq -1
expect_status 0
expect_text r4.seq '>zeta\nPPPPP\n>beta\nACDEFGHIKL\n'

CASE="select_seq 2: column 2 below NLLcomplex"
run ordane r5 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -select_seq 2
expect_status 0
expect_text r5.seq '>zeta\nPPPPP\n>alpha first protein\nMKVLAAGIVGLLAW\n'

CASE="select_seq 4: E-value below Emax"
run ordane r6 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -select_seq 4
expect_status 0
expect_text r6.seq '>gamma third\nWWYY\n>alpha first protein\nMKVLAAGIVGLLAW\n'

CASE="select_seq 3: both columns"
run ordane r7 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -select_seq 3 -NLLcomplex -10.5
expect_status 0
expect_text r7.seq '>alpha first protein\nMKVLAAGIVGLLAW\n'

CASE="-id selects, -not_id excludes"
run ordane r8 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -id zeta -id gamma
expect_status 0
expect_text r8.seq '>gamma third\nWWYY\n>zeta\nPPPPP\n'
expect_grep out.txt 'Found 7 sequences in 2 files; selected 2 sequences'
run ordane r9 -db db1.fa -db db2.fa -distfile s.dist -alphabet protein -not_id alpha
expect_status 0
expect_text r9.seq '>gamma third\nWWYY\n>zeta\nPPPPP\n>beta\nACDEFGHIKL\n'
expect_grep out.txt 'Found 7 sequences in 2 files; selected 6 sequences'

CASE="duplicate database IDs: the first read wins"
printf 'beta 2 -1 -1\nalpha 2 -1 -1\n' > d.dist
run ordane r10 -db dups.fa -distfile d.dist -alphabet protein
expect_status 0
expect_text r10.seq '>beta\nCC\n>alpha one\nMK\n'
expect_grep err.txt 'sequence ID alpha occurs more than once'
expect_grep out.txt 'Found 3 sequences in 1 file; selected 2 sequences'

CASE="alphabet guessed from the first database file"
run ordane r11 -db db1.fa -distfile s.dist
expect_status 0
expect_text r11.seq '>gamma third\nWWYY\n>alpha first protein\nMKVLAAGIVGLLAW\n>beta\nACDEFGHIKL\n'

CASE="no score file"
run ordane e1 -db db1.fa -alphabet protein
expect_status 1
expect_grep err.txt 'Distance file must be specified.'
expect_usage_end

CASE="database and alignment both"
run ordane e2 -db db1.fa -alignfile x.a2m -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt 'Please do not specify both database and alignment files'
expect_usage_end

CASE="no source"
run ordane e3 -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt 'No database files (-db) or alignments (-alignfile) specified'
expect_usage_end

CASE="alignment input not readable here"
run ordane e4 -alignfile x.a2m -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt 'Alignment file x.a2m cannot be read'
expect_usage_end

CASE="missing database file"
run ordane e5 -db nothere.fa -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt "Error: Couldn't open file nothere.fa"

CASE="directory as database"
mkdir -p adir
run ordane e6 -db adir -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt 'Error: '

CASE="truncated compressed database"
awk 'BEGIN { for (i = 0; i < 4000; i++) printf(">t%d\n%s\n", i, "MKVLAAGIVGLLAWACDEFGHIKLMNPQRSTVWY") }' > big.fa
gzip -c big.fa | head -c 2000 > cut.fa.gz
printf 't1 3 -1 -1\n' > t.dist
run ordane e7 -db cut.fa.gz -distfile t.dist -alphabet protein
expect_status 1
expect_grep err.txt 'Error: '

CASE="empty database"
: > empty.fa
run ordane e8 -db empty.fa -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt 'Error: No sequences specified; exiting'

CASE="NBRF database"
printf '>P1;alpha first\ntitle\nMKV\nLL*\n>P1;beta\nsecond\nWW*\n' > n.pir
run ordane e9 -db n.pir -distfile s.dist -alphabet protein
expect_status 0
expect_text e9.seq '>alpha first\nMKVLL\n>beta\nWW\n'

CASE="write error on the output"
if [ -w /dev/full ]; then
    ln -sf /dev/full full.seq
    run ordane full -db db1.fa -distfile s.dist -alphabet protein
    expect_status 1
    expect_grep err.txt 'Error: Could not write full.seq'
fi

CASE="output file that cannot be created"
run ordane nodir/x -db db1.fa -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt '(open_outputfile):  Could not open file nodir/x.seq'

CASE="the databases are read before the score file"
run ordane o1 -db db1.fa -distfile nope.dist -alphabet protein
expect_status 1
expect_text out.txt 'Database Files:  db1.fa\nFound 5 sequences in 1 file; selected 5 sequences\n'
# The last two lines of standard error (blank lines aside): the score file's own message, then
# its failure.
CHECKS=$((CHECKS + 1))
grep -v '^$' err.txt > err.lines
if ! tail -n 2 err.lines | head -n 1 | grep -qxF 'Reading scores from file nope.dist' ||
   ! tail -n 1 err.lines | grep -qF "Error: Couldn't open file nope.dist"; then
    fail "$CASE: score-file messages not last on standard error"
fi

CASE="a missing database is reported before a missing score file"
run ordane o2 -db nothere.fa -distfile nope.dist -alphabet protein
expect_status 1
expect_grep err.txt "Error: Couldn't open file nothere.fa"
CHECKS=$((CHECKS + 1))
grep -q 'nope.dist' err.txt && fail "$CASE: the score file was read first"

CASE="entries the score file does not name are read and checked all the same"
printf '>k1 kept\nMKV\n>d1\nMK#V\n>k1\nWW\n>d1\nMJK\n>d2\nAA\n>d2\nCC\n>k2\nMMM\n' > chk.fa
printf 'k2 3 -1 -1\nk1 3 -1 -1\n' > chk.dist
run ordane o3 -db chk.fa -distfile chk.dist -alphabet protein
expect_status 0
expect_text o3.seq '>k2\nMMM\n>k1 kept\nMKV\n'
expect_text out.txt 'Database Files:  chk.fa\nFound 7 sequences in 1 file; selected 4 sequences\n'
expect_grep err.txt 'chk.fa (d1): Strange characters (#) ignored'
expect_grep err.txt 'Warning: 1 letters converted to wildcard in sequence d1'
# Repeated IDs are reported in read order, whether or not the score file names them.
CHECKS=$((CHECKS + 1))
if [ "$(grep 'occurs more than once' err.txt | awk '{ print $4 }' | tr '\n' ' ')" != "k1 d1 d2 " ]; then
    fail "$CASE: repeated IDs not reported once each in read order"
fi
# A compressed score file is not read ahead: the whole database is kept. The run must say the
# same, apart from the score file's name.
cp out.txt o3.out
sed 's/chk\.dist/chk.dist.gz/' err.txt > o3.err
gzip -c chk.dist > chk.dist.gz
run ordane o3 -db chk.fa -distfile chk.dist.gz -alphabet protein
expect_status 0
expect_same out.txt o3.out
expect_same err.txt o3.err
expect_text o3.seq '>k2\nMMM\n>k1 kept\nMKV\n'

CASE="tracks of an entry the score file does not name must agree"
printf '>k1\nMK\n>odd\nMKV\n' > ta.fa
printf '>k1\nMK\n>odd\nMK\n' > tb.fa
printf 'k1 2 -1 -1\n' > ta.dist
run ordane o4 -db ta.fa,tb.fa -distfile ta.dist -alphabet protein,protein
expect_status 1
expect_grep err.txt 'Error: ID odd, track 1: length (2) does not match previous track (3)'

CASE="a score file that names no database entry"
printf 'zzz 2 -1 -1\n' > z.dist
run ordane o5 -db db1.fa -distfile z.dist -alphabet protein
expect_status 0
expect_text o5.seq ''
expect_text out.txt 'Database Files:  db1.fa\nFound 5 sequences in 1 file; selected 5 sequences\n'

CASE="databases and the score file through pipes: read once, the same output"
run ordane p1 -db db1.fa -db db2.fa -distfile s.dist
expect_status 0
run ordane p2 -db <(cat db1.fa) -db <(gzip -dc db2.fa.gz) -distfile <(cat s.dist)
expect_status 0
expect_same p2.seq p1.seq
CHECKS=$((CHECKS + 1)); [ "$(tail -n 1 out.txt)" = "Found 7 sequences in 2 files; selected 7 sequences" ] || fail "$CASE: $(cat out.txt)"

CASE="a named FIFO written once"
mkfifo fifo.fa
cat db1.fa > fifo.fa &
writer=$!
# timeout only guards against a run that would wait for ever on a FIFO opened twice.
timeout 60 "$BIN/ordane" p3 -db fifo.fa -distfile s.dist >out.txt 2>err.txt
STATUS=$?
wait $writer
expect_status 0
run ordane p4 -db db1.fa -distfile s.dist
expect_same p3.seq p4.seq

finish
