#!/bin/sh
# Remakes the samples written by other tools from dna.fa and prot.fa (see README).
set -e
cd "$(dirname "$0")"
for f in genbank embl gcg nbrf codata fitch ig strider msf phylip phylip3 nexus nexusnon; do
    seqret -auto -sequence dna.fa -osformat2 $f -outseq emboss_dna.$f
done
for f in gcg msf ig; do seqret -auto -sequence prot.fa -osformat2 $f -outseq emboss_prot.$f; done
seqret -auto -sequence prot.fa -osformat2 nbrf -outseq emboss_prot.nbrf
seqret -auto -sequence 'dna.fa:dna1' -osformat2 plain -outseq emboss_dna1.plain
for f in EMBL GENBANK NBRF CODATA IG MSF PHYLIPI PHYLIPS NEXUS; do
    squizz -c $f dna.fa > squizz_dna.$(echo $f | tr A-Z a-z)
done
squizz -c NBRF prot.fa > squizz_prot.nbrf
seqret -auto -sequence 'dna.fa:dna1' -osformat2 fasta -outseq dna1.fa
squizz -c GCG dna1.fa > squizz_dna1.gcg || true
squizz -c RAW dna1.fa > squizz_dna1.raw || true
rm -f dna1.fa
for f in GCG PHYLIP PIR NEXUS; do
    clustalw -infile=prot.fa -align -output=$f -outfile=clustalw_prot.$(echo $f | tr A-Z a-z) >/dev/null
done
clustalw -infile=ragged.fa -align -outorder=input -output=PHYLIP \
    -outfile=clustalw_ragged.phylip >/dev/null
rm -f prot.dnd ragged.dnd
