#!/bin/bash
# Files written by writeSeq are read by another tool: EMBOSS seqret converts each format that it
# knows back to FASTA, and the IDs and residues must be those written. Skipped when seqret is
# absent. Not checked here: Fitch (seqret's Fitch reader takes only a "name, N bases" title line,
# and ours carries the checksum note), ASN.1 (seqret writes it but does not read it) and Pretty
# (written only).
source "$QOR_E2E_LIB"

[ -x "$BIN/writeseq_driver" ] || skip "writeseq_driver was not built"
command -v seqret >/dev/null 2>&1 || skip "EMBOSS seqret is not installed"

# Two DNA sequences of 75 letters and two protein sequences of 76 (several lines in every format).
D1=ACGTACGTTTGACCAGTAGGCATCGATCGGGATTACAGGCTTAACGGTACCGTAACGTTAGCAGTCAGTCGATGC
D2=TTGACCAGTACGTACGGGCATCGATCGGGATTACAGGCTTAACGGTACCGTAACGTTAGCAGTCAGTCGATGCAA
P1=MKVLEFWAGHIKLMNPQRSTVYACDEMKVLEFWAGHIKLMNPQRSTVYACDEMKVLEFWAGHIKLMNPQRSTVYAC
P2=ACDEFGHIKLMNPQRSTVWYMKVLEFWAGHIKLMNPQRSTVYACDEMKVLEFWAGHIKLMNPQRSTVYACDEWWWW

# as_pairs FASTA: one line "ID<TAB>RESIDUES" per entry.
as_pairs() {
    awk '/^>/ { if (id != "") print id "\t" s; id = substr($1, 2); s = ""; next }
         { gsub(/[ \t\r]/, ""); s = s $0 }
         END { if (id != "") print id "\t" s }' "$1"
}

# check FORMAT SEQRET_FORMAT IDLINE LETTERS [IDLINE LETTERS]...: writes the sequences in the
# format, has seqret read them, and compares the IDs and residues.
check() {
    local format=$1 sformat=$2; shift 2
    CASE="format $format read by seqret as $sformat: $1"
    CHECKS=$((CHECKS + 1))
    "$BIN/writeseq_driver" "$format" "$@" > "written.$format" || { fail "$CASE: driver failed"; return; }
    : > expected.txt
    while [ $# -gt 0 ]; do
        printf '%s\t%s\n' "${1%% *}" "$2" >> expected.txt
        shift 2
    done
    if ! seqret -sequence "$sformat::written.$format" -osformat2 fasta -outseq back.fa -auto \
            >seqret.out 2>&1; then
        fail "$CASE: seqret failed: $(head -c 300 seqret.out)"
        return
    fi
    as_pairs back.fa > got.txt
    if ! cmp -s got.txt expected.txt; then
        fail "$CASE: IDs or residues differ"
        diff expected.txt got.txt | head -10 >&2
    fi
}

for set in dna protein; do
    # seqret takes EMBL layout for nucleotides only; for protein the same layout is SwissProt.
    if [ $set = dna ]; then
        A=("dna1 first sequence" "$D1" "dna2 second, with a comma" "$D2")
        embl=embl
    else
        A=("prot1 first protein" "$P1" "prot2 second protein" "$P2")
        embl=swiss
    fi
    check 1 ig "${A[@]}"
    check 2 genbank "${A[@]}"
    check 10 genbank "${A[@]}"
    check 3 nbrf "${A[@]}"
    check 4 $embl "${A[@]}"
    check 5 gcg "${A[@]}"
    check 8 fasta "${A[@]}"
    check 9 fasta "${A[@]}"
    check 11 phylipnon "${A[@]}"
    check 12 phylip "${A[@]}"
    check 14 codata "${A[@]}"
    check 15 msf "${A[@]}"
    check 17 nexus "${A[@]}"
done
check 6 strider "dna1 first sequence" "$D1" "dna2 second" "$D2"

# Plain files carry no ID: one sequence, its residues only.
for letters in "$D1" "$P1"; do
    CASE="format 13 read by seqret as raw"
    CHECKS=$((CHECKS + 1))
    "$BIN/writeseq_driver" 13 "plain1" "$letters" > written.13
    seqret -sequence raw::written.13 -osformat2 fasta -outseq back.fa -auto >seqret.out 2>&1 \
        || fail "$CASE: seqret failed"
    got=$(grep -v '^>' back.fa | tr -d '\n')
    [ "$got" = "$letters" ] || fail "$CASE: residues differ: $got"
done

finish
