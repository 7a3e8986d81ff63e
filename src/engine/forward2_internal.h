// Helpers that the engine's own units share (not for other callers); the buffers they work on
// are the engine's (struct Engine, forward2.h).
#ifndef QOR_FORWARD2_INTERNAL_H
#define QOR_FORWARD2_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "engine/forward2.h"

struct AlphabetInfo;

// Makes the alphabet of track t current (track 0's when t has none).
void use_track_alphabet(int t);
// The letter index of track t at residue i as the emission tables index it: the residue itself,
// or under the codon alphabet 25 c0 + 5 c1 + c2 of residues i, i+1, i+2 (i, i-1, i-2 in a
// sequence marked reversed; 4 past the end). The same letter in both directions of the engine.
int track_letter(const Sequence *seq, int t, int i);
// The column of residue c of profile track t of seq: node c + 1 of the track's model tm, whose
// last node that may be read is last_node (length + 1, its end node, in the three-state rows;
// length in the five-state rows, which pair the profile's own nodes with the model's). Fatal:
// "Profile track %d of %s is shorter than the sequence".
const ModWeight *profile_column(const Model *tm, int c, int last_node, int t, const Sequence *seq);
// True when the current alphabet is the codon alphabet.
bool codon_alphabet();
// The two base letters *a and *b that the two-letter wildcard x of the current alphabet stands
// for (R, Y of DNA and RNA; B, Z of protein); false for any other letter.
bool wildcard_pair(int x, int *a, int *b);
// Grows the row area to hold at least `slots` rows of rowlen cells (rowtot follows).
void grow_dp_rows(int slots);
// Grows alignspace to n entries.
void grow_alignspace(size_t n);
// Grows align2space to n entries.
void grow_align2space(size_t n);
// Rows needed by the checkpoint scheme for a sequence of n residues.
int min_checkpoint_rows(int n);

// v clamped to -IMPOSSIBLE_COST..IMPOSSIBLE_COST: a sum of costs taken in 64 bits, as an int.
inline int clamp_cost64(int64_t v) {
    if (v > IMPOSSIBLE_COST) return IMPOSSIBLE_COST;
    if (v < -IMPOSSIBLE_COST) return -IMPOSSIBLE_COST;
    return (int)v;
}

// Pieces of the row kernels (forward2_kernels.cpp and their fast versions,
// forward2_kernels_fast.cpp).

// Log-sum of a cell's three terms (from match, insert, delete), capped.
inline int sum3(int from_m, int from_i, int from_d) {
    return LSC(from_m, LSC(from_i, from_d));
}
// Minimum of a cell's three terms.
inline int min3(int from_m, int from_i, int from_d) {
    int v = from_m < from_i ? from_m : from_i;
    return v < from_d ? v : from_d;
}
// A node type that may be entered by a jump in (a codon's first position or an ordinary node).
inline bool may_jump_in(char type) {
    return type != 'D' && type != 'E';
}
// A node type that may be left by a jump out (a codon's last position or an ordinary node).
inline bool may_jump_out(char type) {
    return type != 'C' && type != 'D';
}
// The last node a kernel computes: bound, at most the End node L+1.
inline int last_node(int bound, int L) {
    return bound < L + 1 ? bound : L + 1;
}
// Jumps of forward row i of n: in at the first residue (semi-local) or every residue (local),
// out at the last residue (semi-local; not when it is also the first) or every residue.
inline void forward_jumps(int sw, int i, int n, bool *in, bool *out) {
    *in = sw == SW_LOCAL || (sw == SW_SEMILOCAL && i == 0);
    *out = sw == SW_LOCAL || (sw == SW_SEMILOCAL && i == n - 1 && i != 0);
}
// Jumps of backward row i, the mirror image of the forward ones so that both passes sum over
// the same paths: the reversed model is entered where the forward pass jumps out and left where
// it jumps in.
inline void backward_jumps(int sw, int i, int n, bool *enter, bool *leave) {
    forward_jumps(sw, i, n, leave, enter);
}

#endif
