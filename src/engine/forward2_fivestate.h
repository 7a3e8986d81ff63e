// Five-state alignment (DP style 8): one model aligned against a sequence whose every track is
// itself a model (a profile sequence), by a best-path recursion over five states per node; the
// best path and the two aligned consensus strings are printed to standard error.
//
// States, with their path codes and the letters of the path print (V_5STATE, indexed by minus
// the code):
//   M (-1)  a model node and a sequence position    both letters in upper case
//   N (-2)  a model node                            model letter in lower case against '.'
//   I (-3)  a sequence position                     '.' against the sequence letter in lower case
//   D (-4)  a model node                            model letter in upper case against '-'
//   G (-5)  a sequence position                     '-' against the sequence letter in upper case
//   X (-6)  end of the path
// A code n >= 0 is a jump over n model nodes (local modes). A cell holds five costs in the order
// M, G, D, N, I; a traceback row holds five codes per node in the same order.
#ifndef QOR_FORWARD2_FIVESTATE_H
#define QOR_FORWARD2_FIVESTATE_H

#include "engine/forward2.h"

// Path codes of the five states and the end of a path.
enum {
    FS_CODE_M = -1,
    FS_CODE_N = -2,
    FS_CODE_I = -3,
    FS_CODE_D = -4,
    FS_CODE_G = -5,
    FS_CODE_END = -6,
};
// Positions of the five costs (or codes) of a cell.
enum { FS_M = 0, FS_G = 1, FS_D = 2, FS_N = 3, FS_I = 4, FS_CELL = 5 };

// Letters of the path print, indexed by minus the code ("?MNIDGX").
extern const char V_5STATE[];

// Aligns the engine's model (track 0, set up by init_forward2 with DP style 8) against seq,
// whose tracks all carry models; mseq is the model's consensus sequence (the letters of the model
// line); reversed runs the model's nodes from the end. Prints the path ("%d %c " per code) and
// the two strings to standard error; keeps nothing.
// Fatal: "HMM-HMM alignment called without an hmm sequence", "HMM-HMM alignment called without
// dp style %d", "For five-state models, all sequences tracks must be HMMs", "init_forward2 must
// be called before fivestate_align", "Five-state alignment of %s needs a matrix of %zu bytes,
// more than maxmem (%d)", "Profile track %d of %s is shorter than the sequence", and the
// messages of set_pseq_scale and combine_wseq_wmod.
void fivestate_align(Sequence *seq, Sequence *mseq, int reversed);

// Points *mtab, *itab and *mitab at the engine's rows of L+2 costs and fills them for position
// pos of seq: the model's match states against the sequence's match columns, the model's insert
// states against the sequence's match columns, and the model's match states against the
// sequence's insert columns, summed over the tracks with their coefficients. A position outside
// the sequence gives the impossible cost everywhere. The rows stay valid until the next call.
// Fatal: "For five-state models, all sequences tracks must be HMMs", "Profile track %d of %s is
// shorter than the sequence".
void set_mi_tables_5(const int **mtab, const int **itab, const int **mitab, const Sequence *seq,
                     int pos, int reversed);

// Walks one traceback row (L+2 cells of five codes) from node *node in state *state, writing
// codes into path from *index on; at the end of the row *index is the next free entry, which
// holds FS_CODE_END. pos is not read. A jump to a higher node ends the walk (node -1) with a
// message on standard error.
void viterbi_traceback5(const int *tb, int *path, int *index, int *state, int pos, int *node);

// Builds the two aligned strings of a path (codes from the end back to the start, ended by
// FS_CODE_END): *mline (the model side, letters of mseq) and *sline (the sequence side), new
// mem_alloc'ed texts the caller releases with free(); releases the alignment codes of seq and
// mseq; prints "mseq %s\nseq  %s\n" to standard error. fims_added: the model carries FIMs added
// at its ends (the model line is one shorter). Warnings on standard error for a path that starts
// in a state other than D or G and for one that does not end past both sequences; columns beyond
// the strings' room (an inconsistent path) are dropped.
// Fatal: "stringalignment5: the path starts with a jump (%d)".
void string_alignment5(const int *path, Sequence *mseq, Sequence *seq, char **mline, char **sline,
                       int fims_added);

#endif
