// Buffers and helpers that the engine's own units share (not for other callers).
#ifndef QOR_FORWARD2_INTERNAL_H
#define QOR_FORWARD2_INTERNAL_H

#include <cstddef>
#include <cstdio>

#include "forward2.h"

struct AlphabetInfo;

extern DPCell *dpspace;         // the row area: rowtot slots of rowlen cells, 2 spare cells before
extern int *rowindex;           // rowtot entries
extern int *itabmem, *mtabmem;  // per-residue emission rows of L+2 costs
extern int *ritabmem, *rmtabmem;       // constraint-adjusted reversed rows for combine_rows
extern DPCell *betaspace, *boldspace;  // backward rows
extern TransCosts *betatransspace, *boldtransspace;  // backward transition-sum rows
extern TransCosts *zerotrans;  // L+2 zero transition records (posterior alignment, style 5)
extern int *alignspace;        // state path
extern size_t alignalloc;      // entries of alignspace
extern DPCell *posspace;       // posterior-alignment area (2 spare cells before)
extern FILE *pdoc_output_file;

// Makes the alphabet of track t current (track 0's when t has none).
void use_track_alphabet(int t);
// The letter index of track t at residue i as the emission tables index it: the residue itself,
// or under the codon alphabet 25 c0 + 5 c1 + c2 of residues i, i+1, i+2 (i, i-1, i-2 in a
// sequence marked reversed; 4 past the end). The same letter in both directions of the engine.
int track_letter(const Sequence *seq, int t, int i);
// True when the current alphabet is the codon alphabet.
bool codon_alphabet();
// Grows the row area to hold at least `slots` rows of rowlen cells (rowtot follows).
void grow_dp_rows(int slots);
// Grows alignspace to n entries.
void grow_alignspace(size_t n);
// Rows needed by the checkpoint scheme for a sequence of n residues.
int min_checkpoint_rows(int n);

#endif
