#!/bin/bash
# End-to-end tests of ordane on an HSSP file: every aligned relative is one sequence (ID the file
# name, '#' and the row number), written in score-file order; a malformed HSSP file ends the run.
source "$QOR_E2E_LIB"

cp "$DATA/hssp_two_blocks.hssp" t.hssp
printf '%% score file of HSSP rows\nt.hssp#2 5 -15.00 -3.00 1e-5\nt.hssp#0 5 -12.00 -3.00 1e-5\n' > s.dist

CASE="HSSP rows in score-file order"
run ordane h1 -db t.hssp -distfile s.dist -alphabet protein
expect_status 0
# Rows MKVL-, MK--E, MK--Q; gaps are dropped when the letters are converted.
expect_text h1.seq '>t.hssp#2\nMKQ\n>t.hssp#0\nMKVL\n'
expect_text out.txt 'Database Files:  t.hssp\nFound 3 sequences in 1 file; selected 3 sequences\n'

CASE="HSSP file whose NALIGN is 0"
sed 's/NALIGN        3/NALIGN        0/' t.hssp > bad.hssp
run ordane h2 -db bad.hssp -distfile s.dist -alphabet protein
expect_status 1
expect_grep err.txt 'Error: HSSP file bad.hssp, line 12: NALIGN missing or 0: no aligned relatives'

# Real files (tests/data/hssp/README.txt). The expected rows are those of hssp_expected.py: row n
# (from 0) of NAME is line n + 5 of NAME.expected; ordane writes it without its gaps.
cp "$DATA"/hssp/1ppt.hssp "$DATA"/hssp/cad23-fil.hssp "$DATA"/hssp/3A1P_A.hssp .
sed -e 's/^## ALIGNMENTS   71 -  144$/## ALIGNMENTS   71 -  140/' \
    -e 's/^## ALIGNMENTS  145 -  190$/## ALIGNMENTS  141 -  190/' 3A1P_A.hssp > 3A1P_A_fixed.hssp
# entry FILE ROW: the expected FASTA record of a row.
entry() {
    printf '>%s.hssp#%d\n' "$1" "$2"
    sed -n "$(($2 + 5))p" "$DATA/hssp/$1.expected" | tr -d -
}
# Rows chosen at the block edges of 3A1P_A_fixed (1-70, 71-140, 141-190) and the ends of the others.
picks="1ppt:14 1ppt:0 cad23-fil:52 cad23-fil:3 3A1P_A_fixed:189 3A1P_A_fixed:140 3A1P_A_fixed:139
3A1P_A_fixed:70 3A1P_A_fixed:69 3A1P_A_fixed:0"
echo '% rows of real HSSP files' > real.dist
: > real.expected
for p in $picks; do
    printf '%s.hssp#%s 5 -15.00 -3.00 1e-5\n' "${p%%:*}" "${p##*:}" >> real.dist
    entry "${p%%:*}" "${p##*:}" >> real.expected
done

CASE="real HSSP files in score-file order"
run ordane r1 -db 1ppt.hssp -db cad23-fil.hssp -db 3A1P_A_fixed.hssp -distfile real.dist -alphabet protein
expect_status 0
expect_same r1.seq real.expected
expect_grep out.txt 'Found 258 sequences in 3 files; selected 258 sequences'

CASE="real HSSP file whose block ranges do not match its columns"
# Read by its column headers: every relative, with the rows of 3A1P_A_fixed.
echo '% every row of 3A1P_A.hssp' > all.dist
: > all.expected
for n in $(seq 0 189); do
    printf '3A1P_A.hssp#%d 5 -15.00 -3.00 1e-5\n' "$n" >> all.dist
    entry 3A1P_A_fixed "$n" | sed 's/^>3A1P_A_fixed/>3A1P_A/' >> all.expected
done
run ordane r2 -db 3A1P_A.hssp -distfile all.dist -alphabet protein
expect_status 0
expect_same r2.seq all.expected
expect_grep err.txt 'Warning: HSSP file 3A1P_A.hssp, line 398: block label "71 - 144" disagrees with the 70 relative columns of its column header; relatives 71 - 140 read by the columns'

finish
