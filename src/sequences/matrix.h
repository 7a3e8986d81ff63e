// Cost matrices: integer scores for every pair of letters of the current alphabet plus a row and
// column for '*', read from text files (found through BLASTMAT or the library directory) and
// written back in the same layout.
#ifndef QOR_MATRIX_H
#define QOR_MATRIX_H

#include <cstdio>

// The matrix named by the parameter matrix when the user gives none.
constexpr const char *DEFAULT_MATRIX = "blosum62";
// Environment variable naming the directory searched for matrices.
constexpr const char *MATRIX_PATH_VARIABLE = "BLASTMAT";
// Capacity of the column-order list of the last matrix read (letters and '*').
constexpr int MATRIX_ORDER_SIZE = 129;

// Reads the cost matrix in file name: the name itself, else the name under "matrix/aa"
// (protein), "matrix/nt" (DNA, RNA) or "matrix" (other alphabets) below the directory of
// BLASTMAT when that variable is set, otherwise below the library directory. Returns a new table
// of A+1 rows of A+1 ints (A = letters of the current alphabet, wildcards included; row and
// column A are '*'), rows indexed by letter index; the caller owns it (double_free with A+1
// rows, or free_model of the query-sequence model that holds it). Null for a null or empty name.
// *max / *min (optional) receive the largest and smallest entry of the letter columns.
// report (optional) receives "% Cost matrix:  <path opened>\n". The column order is kept for
// print_matrix.
// Fatal: "Error reading matrix %s: alphabet %s has no letters to name the columns" (a numeric
// alphabet); the open failure of open_read_env; "Error reading matrix:  should have %d (alen + 1
// for
// *) columns, not %d"; "Error reading matrix:  character %c is not specified"; "Error reading
// matrix %s: ..." naming the line and the fault ('*' not last, a row that is missing, short, in
// another order than the header, or holds a value that is not a number).
int **read_matrix(const char *name, int *max, int *min, FILE *report);

// Writes a table in the layout read_matrix reads, columns in the order of the last matrix read
// (the alphabet's order when none was read). Every value has at least one blank before it.
void print_matrix(FILE *out, int **table);

#endif
