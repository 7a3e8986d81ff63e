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

finish
