// Alignments: an aligned sequence file read into a SequenceTable whose sequences carry alignment
// codes. Counting an alignment into a model is models/alignment_counts.h; cutting domains out of
// a long sequence by alignment to the current model is engine/domains.h.
//
// A2M rows: capital letters are match columns, '-' a match column without a residue (delete),
// lower-case letters insert residues, '.' fills insert columns and is dropped. A run of digits
// after lower-case letters (or alone) gives the number of inserts there; the digits themselves
// are residues of the row, so a row whose numbers do not fit its residues is refused. Digits are
// never match columns. In the first row a capital 'O' marks its match column as a FIM.
#ifndef QOR_ALIGNMENT_H
#define QOR_ALIGNMENT_H

#include <cstdio>

struct SequenceTable;

// Alignment types (alignment_type, aligntype_string).
enum {
    ALIGNTYPE_UNALIGNED = 0,
    ALIGNTYPE_HSSP = 1,
    ALIGNTYPE_A2M = 2,     // every row has the same number (> 0) of match columns
    ALIGNTYPE_ALLPOS = 3,  // every row has the same length: every position is a column
};

// Longest run of one kind held by one alignment-code byte as this reader writes it.
constexpr int ALIGN_MAX_INSERT_RUN = 99;
constexpr int ALIGN_MAX_MATCH_RUN = 99;
constexpr int ALIGN_MAX_DELETE_RUN = 54;

// The type of an alignment file (rows of no columns are no alignment). *columns receives the
// longest row, *match_columns the match columns of every row (0 for type 0), *count the rows read
// (each out may be null). With a table, the rows read (letters, not converted) are added to it, and
// taken out and released again for type 0. Fatal: the faults of the sequence readers (a file that
// cannot be opened).
int alignment_type(const char *filename, int *columns, int *match_columns, int *count,
                   SequenceTable *table);
// "unaligned", "HSSP alignment", "A2M alignment", "all positions alignment", or "unknown
// alignment type".
const char *aligntype_string(int type);

// Reads an alignment file: a new table (the caller's) with one converted Sequence per row and
// its alignment code, or null (with messages on standard error) when the file is no alignment
// or no row is usable. Rows whose code does not fit their residues, or whose model length
// differs from the first row's, are dropped with a warning naming them. *fims (optional)
// receives a new array of the 1-based FIM positions marked in the first row (the caller frees
// it; null when none) and *nfims their number. Sets the alphabet from the file when none is set.
SequenceTable *read_alignment(const char *filename, int **fims, int *nfims);

// Appends steps of one kind to an alignment code: bytes base+1 .. full, each holding up to
// full - base steps; the current byte code[index] (index -1: none) takes steps first when it is
// of the same kind and not full. Returns the index of the last byte written; the caller makes
// room for steps / (full - base) + 2 more bytes and writes the terminator.
int code_update(unsigned char *code, int index, int base, int full, long steps);

#endif
