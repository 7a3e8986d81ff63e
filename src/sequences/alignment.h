// Alignments: an aligned sequence file read into a SequenceTable whose sequences carry alignment
// codes, an alignment counted into a frequency model, and the cutting of matching domains out
// of a long sequence by repeated alignment to the current model.
//
// A2M rows: capital letters are match columns, '-' a match column without a residue (delete),
// lower-case letters insert residues, '.' fills insert columns and is dropped. A run of digits
// after lower-case letters (or alone) gives the number of inserts there; the digits themselves
// are residues of the row, so a row whose numbers do not fit its residues is refused. Digits are
// never match columns. In the first row a capital 'O' marks its match column as a FIM.
#ifndef QOR_ALIGNMENT_H
#define QOR_ALIGNMENT_H

#include <cstdio>

struct Model;
struct Sequence;
struct SequenceTable;
struct ScoreParams;
struct AWeightParams;
struct ConstrParams;
struct ConstrTable;
struct PriorLib;

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

// Adds the path of one aligned sequence (converted, with its code) to the counts of a model of
// the alignment's length. A sequence without code counts nothing; a code that does not fit the
// model or the residues is fatal: "update_freqs: alignment of %s does not fit ...".
void update_freqs(const Sequence *seq, Model *counts);

// A new frequency model (counts per node) from an alignment file, each row counted with its
// first family weight: weights from weights_file (merged by ID) or, without one, from
// weight_alignment (info, run_name, prior, aweight); constraints and node labels by constr
// (optional). Null, with a message, when the file holds no usable alignment.
Model *freq_from_alignment(const char *filename, FILE *info, const char *run_name,
                           const char *weights_file, AWeightParams *aweight, PriorLib *prior,
                           ConstrParams *constr);

// Cuts domains out of the whole sequence (residues 1..length): see process_sequence.
int multdomain_sequence(Sequence *seq, SequenceTable *result, FILE *fasta, ScoreParams *score,
                        ConstrTable *subseq_constraints, ConstrTable *align_constraints,
                        FILE *domtable);
// Aligns residues l..r (1-based) of seq to the model set up by setup_alignment, and when the
// region passes select_md writes the domain with its flanks (alignshort) as one FASTA record to
// fasta, a row to domtable (optional), saves its constraints (tables optional), adds a record of
// it to result (optional) and cuts the parts before and after the domain again. Returns 1 when
// this region gave a domain, else 0.
int process_sequence(Sequence *seq, int l, int r, SequenceTable *result, FILE *fasta,
                     ScoreParams *score, ConstrTable *subseq_constraints,
                     ConstrTable *align_constraints, FILE *domtable);

#endif
