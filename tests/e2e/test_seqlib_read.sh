#!/bin/bash
# ordane reads its databases in every library format: several files of different formats in one
# run, compressed or not, read entry by entry through the sequence tracks. The samples were
# written by EMBOSS seqret, squizz and clustalw or by hand (tests/data/seqlib/README).
source "$QOR_E2E_LIB"

S="$DATA/seqlib"
gzip -c "$S/emboss_dna.embl" > dna.embl.gz
gzip -c "$S/hand_msf_tilde.msf" > tilde.msf.gz
cp "$S/squizz_prot.nbrf" prot.nbrf
cp "$S/hand_mail.fa" mail.txt
cp "$S/hand_paup_match.nex" match.nex
printf '%% entries of five files\naa2 9 -9 -9 1\ndna2 79 -8 -8 1\nprot3 63 -7 -7 1\nmail1 10 -6 -6 1\nbeta 12 -5 -5 1\n' > s.dist

CASE="five formats in one run, two of them compressed"
run ordane r1 -db dna.embl.gz -db prot.nbrf -db mail.txt -db tilde.msf.gz -db match.nex \
    -distfile s.dist -alphabet protein
expect_status 0
expect_text r1.seq '>aa2\nMKVLAAGIV\n>dna2 SV 1; linear; unassigned DNA; STD; UNC; 79 BP.\nACGTTCGTACGTTTGACCATGACGTAGCTAGCTAGCATCGACTAGCTAGCATCAGCTAGCATCGACTAGCATGCATCGA\n>prot3\nMKVIAAGLVGLLLAQPAMAEELKKTWDRSHYPLIEFNCSAWYRELPKDHGITCVEMKRSWNTY\n>mail1 from a mail\nACGTACGTAA\n>beta\nACTTACGGTTAA\n'
expect_grep out.txt 'Found 13 sequences in 5 files; selected 13 sequences'

CASE="every interleaved alignment, entries by number"
for f in clustalw_prot.phylip clustalw_prot.gcg clustalw_prot.nexus emboss_prot.msf; do
    gzip -c "$S/$f" > "$f.gz"
done
printf 'prot2 1 -2 -2 1\nprot1 1 -1 -1 1\n' > p.dist
for f in clustalw_prot.phylip.gz clustalw_prot.gcg.gz clustalw_prot.nexus.gz "$S/clustalw_prot.pir"; do
    run ordane r2 -db "$f" -distfile p.dist -alphabet protein
    expect_status 0
    expect_text r2.seq '>prot2\nMKVLTAGIVGLAQPAMAEELRKTWDRSGHYPLIEKQFENCSTWYRELPKDHGITCVEMKRSWAPLEQ\n>prot1\nMKVLAAGIVGLLLAQPAMAEELKKTWDRSGHYPLIEKQFNCSTWYRELPKDHGITCVEMKRSWAPLEQNTY\n'
    expect_grep out.txt 'Found 3 sequences in 1 file'
done

CASE="the alphabet guessed from a DNA NBRF file"
cp "$S/emboss_dna.nbrf" dna.nbrf
printf 'dna1 79 -1 -1 1\n' > d.dist
run ordane r3 -db dna.nbrf -distfile d.dist
expect_status 0
expect_text r3.seq '>dna1\nACGTACGTACGTTTGACCATGACGTAGCTAGCTAGCATCGACTAGCTAGCATCAGCTAGCATCGACTAGCATGCATCGA\n'

CASE="a file of no known format gives no entries and the library's message"
printf 'Jujube juice\n' > odd.txt
run ordane r4 -db odd.txt -db prot.nbrf -distfile p.dist -alphabet protein
expect_status 0
expect_grep err.txt 'SeqLib (file odd.txt): Error: this format is unknown to me.'
expect_grep out.txt 'Found 3 sequences in 2 files'

CASE="a GenBank entry that is not in the file is reported"
printf 'LOCUS       g1\nORIGIN\n 1 mkv\n//\nrubbish\n' > junk.gb
printf 'g1 1 -1 -1 1\n' > g.dist
run ordane r6 -db junk.gb -distfile g.dist -alphabet protein
expect_status 0
expect_text r6.seq '>g1\nMKV\n'
expect_grep err.txt 'SeqLib (file junk.gb): Specified item not in file.'

CASE="a row past ntax is reported once when the alphabet is guessed from the file"
printf '#NEXUS\nbegin data;\ndimensions ntax=1 nchar=4;\nmatrix\na ACGT\nb TTGG\n;\nend;\n' > past.nex
run ordane r7 -db past.nex -distfile d.dist
expect_status 0
grep -F 'SeqLib' err.txt > seqlib.txt
expect_text seqlib.txt 'SeqLib (file past.nex): row "b" at line 6 is past the 1 rows of the header (ntax); dropped\n'

finish
