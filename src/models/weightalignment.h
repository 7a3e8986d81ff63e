// Alignment weighting: one weight per aligned sequence so that close relatives do not dominate
// the counts of a model estimated from the alignment. Three base methods (position-based with
// a total of N^0.5, position-based with N^e, flat), then optionally an adjustment of the total
// so that the weighted columns, seen through a Dirichlet-mixture prior, save a target number of
// bits per column against the background. The weights go into the sequences, into the weight
// file run_name + ".weightoutput" and into a summary.
#ifndef QOR_WEIGHTALIGNMENT_H
#define QOR_WEIGHTALIGNMENT_H

#include <cstdio>

struct SequenceTable;
struct PriorLib;
struct AWeightParams;

// Weighting methods (aweight_method).
enum {
    AWEIGHT_NONE = 0,
    AWEIGHT_BRENNEL = 1,   // position-based, total N^0.5, shape exponent in the adjustment
    AWEIGHT_HENIKOFF = 2,  // position-based, total N^e
    AWEIGHT_FLAT = 3,      // every weight N^e / N
    AWEIGHT_METHODS = 4,
};
// Names of the methods, indexed by method.
extern const char *const aweight_method_names[AWEIGHT_METHODS];
// Suffix of the weight file.
constexpr const char *WEIGHT_FILE_SUFFIX = ".weightoutput";

// Sets counts[0..A-1] (A the current alphabet's emission length) to the weighted letter counts
// of one column of rows[0..nrows-1] and returns the total weight counted. weights null counts
// every row 1. The delete index adds nothing; with skip set no wildcard adds anything; without
// it a nucleic (R, Y, N) or protein (B, Z, X) wildcard spreads its weight over its letters and
// other alphabets' wildcards add to the total only. Fatal: "illegal wildcard in nucleic
// alphabet", "illegal wildcard in protein alphabet".
double fill_freqtab(float *counts, int column, const double *weights, unsigned char *const *rows,
                    int nrows, int skip);

// Weights the aligned table by aw->aweight_method: 1 when it did (each sequence then carries a
// one-value weights array and the weight file is written), 0 for method 0 or an invalid
// method (reset to 0, with messages; the table untouched). aw->aweight_bits becomes -1 when the
// adjustment cannot run (no prior, codon alphabet); 0 means no adjustment. The summary goes to
// info (standard error when null). Fatal: "Invalid alignment in block_from_alignment." and the
// internal errors "weight_alignment: ..." (a prior of another letter count, a normalisation sum of
// 0 or less, a negative probability, a damping factor outside 0..1), "(open_outputfile):  Could not
// open file %s".
int weight_alignment(FILE *info, const char *run_name, SequenceTable *table, PriorLib *prior,
                     AWeightParams *aw);

#endif
