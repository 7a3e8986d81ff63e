// Score-based sequence weighting: a matrix of weights (a row per sequence, a column per candidate
// model), copied into the sequences' first family weights before a candidate is trained,
// recomputed from the sequences' simple scores, and written as a sequence weight file.
// Every operation with a flag argument does nothing when the flag is 0.
#ifndef QOR_WEIGHTING_H
#define QOR_WEIGHTING_H

struct SequenceTable;

// Methods of weight_model.
enum { WEIGHT_NONE = 0, WEIGHT_EXPONENTIAL = 1, WEIGHT_MEDIAN_CUT = 2 };

// Allocates the matrix (table count rows, columns columns) when the table is not empty and no
// matrix exists, every column of row i set to sequence i's first family weight.
// Fatal: "init_internal_weights: sequence %s carries no family weights".
void init_internal_weights(SequenceTable *table, int flag, int columns);
// Sets each sequence's first family weight to its row's value in column c (nothing without a
// matrix). Fatal: "set_internal_weights: column %d outside the %d columns",
// "set_internal_weights: sequence %s carries no family weights".
void set_internal_weights(SequenceTable *table, int flag, int c);
// Releases the matrix and forgets it.
void free_internal_weights(SequenceTable *table, int flag);
// The matrix value of row, column (tests and callers that read it back); 0 without a matrix.
double internal_weight_value(int row, int column);
// Comparator of two floats for qsort: -1, 1 or 0.
int score_compare(const void *a, const void *b);
// Recomputes column c from the simple scores by method (WEIGHT_*), ratio a and blend b, then
// normalises (normalise set) by the sum of the sequences' current first family weights. A table
// whose scores are all unset keeps the column, with a warning. Nothing for WEIGHT_NONE, an empty
// table or no matrix. Fatal: "weight_model: column %d outside the %d columns".
void weight_model(SequenceTable *table, void *unused1, void *unused2, int c, int normalise,
                  int method, float a, float b);
// Writes prefix + number + ".weightoutput": a description line, a comment, the counts line
// (sequences and 1: the one weight column written), a column comment and per sequence its ID,
// first family weight and simple score (the score after the weight, which the weight-file
// reader skips). Fatal: those of open_outputfile and close_outputfile.
void print_weights(const SequenceTable *table, const char *prefix, int number, int model_number,
                   void *unused1, void *unused2, void *unused3, int families);

#endif
