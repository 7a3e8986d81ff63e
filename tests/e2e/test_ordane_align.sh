#!/bin/bash
# End-to-end tests of ordane -alignfile: alignments written by hmmalign (A2M and aligned FASTA)
# and clustalw put into score-file order, with and without '.' padding; files that are no usable
# alignment end with the message, the usage lines and status 1, and no ".a2m" is left.
source "$QOR_E2E_LIB"

[ -x "$BIN/ordane" ] || skip "ordane was not built"

USAGE='   -db seq_file [-db seq_fn]* one or more sequence files
OR -alignfile afile           sequence alignment file (.a2m, .mult)
    -distfile distance_file    score file (.dist or .mstat)
Where distance file contains sequence scores.
Sequences are sorted according to dist file order.
The sorted sequences are printed to runname.seq
Select_seq can be used to refine the selection.'
expect_usage_end() {
    CHECKS=$((CHECKS + 1))
    [ "$(tail -n 7 err.txt)" == "$USAGE" ] || fail "${CASE:-}: usage lines missing at the end"
}
expect_absent() {
    CHECKS=$((CHECKS + 1))
    [ ! -e "$1" ] || fail "${CASE:-}: $1 was written"
}

for sample in align_hmmalign.a2m align_hmmalign.afa; do
    CASE="$sample with padding"
    run ordane p -alignfile "$DATA/$sample" -distfile "$DATA/ordane_align.dist"
    expect_status 0
    expect_same p.a2m "$DATA/ordane_align_dots.a2m"
    expect_grep err.txt "as A2M alignment."
    expect_grep err.txt "Writing sequence output to p.a2m."

    CASE="$sample without padding"
    run ordane n -alignfile "$DATA/$sample" -distfile "$DATA/ordane_align.dist" -a2mdots 0
    expect_status 0
    expect_same n.a2m "$DATA/ordane_align_nodots.a2m"
done

CASE="clustalw alignment, select_seq 1"
run ordane c -alignfile "$DATA/align_clustalw.fa" -distfile "$DATA/ordane_align.dist" \
    -select_seq 1 -NLLnull -12
expect_status 0
expect_text c.a2m ">seqD\nMSTAYLAKQRQISFVKAHFSRQLEELLGLIEVQAPILSRIGDGTQDNLSG\nAEKAVQ-\n>seqA\nMKTAYIAKQRQISFVKSHFSRQLEERLGLIEVQAPILSRVGDGTQDNLSG\nAEK----\n"

CASE="rows of unequal columns"
printf '>a\nACDE\n>b\nAC\n' > bad.a2m
run ordane b -alignfile bad.a2m -distfile "$DATA/ordane_align.dist"
expect_status 1
expect_grep err.txt "File bad.a2m (2 sequences) does not look like an alignment."
expect_usage_end
expect_absent b.a2m

CASE="empty alignment"
: > empty.a2m
run ordane e -alignfile empty.a2m -distfile "$DATA/ordane_align.dist"
expect_status 1
expect_grep err.txt "File empty.a2m (0 sequences) does not look like an alignment."
expect_usage_end
expect_absent e.a2m

CASE="every row refused"
printf '>a\nACd3EF\n>b\nAC99999999DE\n' > digits.a2m
run ordane d -alignfile digits.a2m -distfile "$DATA/ordane_align.dist"
expect_status 1
expect_grep err.txt "sequence 0 (a) has an alignment that does not fit its 6 residues"
expect_grep err.txt "No usable sequence in alignment file digits.a2m."
expect_usage_end
expect_absent d.a2m

CASE="missing alignment file"
run ordane m -alignfile nothere.a2m -distfile "$DATA/ordane_align.dist"
expect_status 1
expect_grep err.txt "Alignment file nothere.a2m cannot be read: No such file or directory"
expect_usage_end

finish
