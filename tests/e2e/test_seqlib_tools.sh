#!/bin/bash
# ordane reads what the other tools write now: each format that EMBOSS seqret, squizz and
# clustalw write is made afresh from tests/data/seqlib/prot.fa and read back through ordane.
# Skipped when a tool is absent.
source "$QOR_E2E_LIB"

command -v seqret >/dev/null 2>&1 || skip "EMBOSS seqret is not installed"
command -v squizz >/dev/null 2>&1 || skip "squizz is not installed"
command -v clustalw >/dev/null 2>&1 || skip "clustalw is not installed"

cp "$DATA/seqlib/prot.fa" prot.fa
printf 'prot3 1 -3 -3 1\nprot1 1 -1 -1 1\n' > p.dist
WANT='>prot3\nMKVIAAGLVGLLLAQPAMAEELKKTWDRSHYPLIEFNCSAWYRELPKDHGITCVEMKRSWNTY\n>prot1\nMKVLAAGIVGLLLAQPAMAEELKKTWDRSGHYPLIEKQFNCSTWYRELPKDHGITCVEMKRSWAPLEQNTY\n'

# read_back FILE: ordane on the file gives prot3 and prot1 (annotations dropped).
read_back() {
    run ordane r -db "$1" -distfile p.dist -alphabet protein -keepannotations 0
    expect_status 0
    expect_text r.seq "$WANT"
}

# The alignment formats are made from the aligned entries (clustalw's FASTA output).
clustalw -infile=prot.fa -align -output=FASTA -outfile=aln.fa >/dev/null 2>&1
for f in gcg nbrf codata fitch ig msf phylip phylip3 nexus nexusnon; do
    CASE="seqret -osformat2 $f"
    seqret -auto -sequence aln.fa -osformat2 $f -outseq "p.$f" 2>/dev/null
    read_back "p.$f"
done
for f in NBRF CODATA IG MSF PHYLIPI PHYLIPS NEXUS GENBANK; do
    CASE="squizz -c $f"
    squizz -c $f aln.fa > "q.$f" 2>/dev/null
    gzip -c "q.$f" > "q.$f.gz"
    read_back "q.$f.gz"
done
for f in GCG PHYLIP PIR NEXUS; do
    CASE="clustalw -output=$f"
    clustalw -infile=prot.fa -align -output=$f -outfile="c.$f" >/dev/null 2>&1
    read_back "c.$f"
done

finish
