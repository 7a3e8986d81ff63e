// Printing sequences and alignments: FASTA records (wrapped and one-line), numeric records,
// a2m rows with '.' padding and trimming, posterior rows and the path-posterior table; the
// alignment block of letter indices; and the small filters and column counters of a2m text.
#ifndef QOR_SEQIO_PRINT_H
#define QOR_SEQIO_PRINT_H

#include <cstdio>

struct Sequence;
struct SequenceTable;

// Width of a wrapped FASTA line.
constexpr int FASTA_LINE_WIDTH = 50;

// A set of aligned sequences as a rectangle of letter indices.
struct AlignmentBlock {
    int nseqs;                   // the source table's count
    int ncols;                   // match plus delete columns of the first sequence's alignment
    SequenceTable *source;       // not owned
    unsigned char **rows;        // nseqs rows of ncols bytes (owned)
    unsigned char delete_index;  // index written for a delete column
};

// One wrapped FASTA record of a letter string (null letters: none; null id: empty); returns the
// result of the last character write (EOF on a write error). Not fatal.
int print_string(FILE *out, const char *letters, const char *id, const char *annotation);
// Track 0 as a one-line FASTA record in the current alphabet's letters (an index without a letter
// prints 'X'), or a numeric record for an alphabet without letters (or none). Not fatal.
void pretty_print_sequence(FILE *out, const Sequence *seq);
// pretty_print_sequence of every entry (null slots skipped). Fatal: "Print_sequence_table called
// with no file!", "Print_sequence_table called with no sequence file!" (null table).
void print_sequence_table(FILE *out, const SequenceTable *table);
// One numeric record of the track in its alphabet's numbers ("?" digits without residues or
// alphabet), with the placeholder row of an alignment ('*'/'.' before a number for 'X'/'x', '-'
// for a delete) or null; returns the sequence length. A row with more residues than the sequence
// is cut, with a message. Not fatal.
int print_num_alignment(FILE *out, const Sequence *seq, const char *row, int track);

// A new a2m row (owned by the caller) of a sequence's alignment code (placeholder letters 'X'/'x'
// with the flag; start_size reserves room), or null, with a message, when the sequence has no
// alignment or the alignment does not fit its residues. Not fatal.
char *str_w_deletions(const Sequence *seq, int start_size, int track, int placeholder);
// The a2m row of one sequence as a FASTA record (numeric record for a numeric alphabet); nothing,
// after str_w_deletions' message, when it has no row. Not fatal.
void print_alignment(FILE *out, const Sequence *seq, int track);
// The a2m rows of the table; with pad, insert regions padded with '.' to one width per column
// when every row has the same columns (else unpadded, with a message). Rows that cannot be built
// are skipped. Nothing for a null or empty table. Fatal: "print_seqalignment with null file\n",
// "Sequence table with an empty slot passed to the alignment printer".
void print_seqalignment(FILE *out, const SequenceTable *table, int pad, int track);
// As print_seqalignment, with each match residue whose posterior cost -ln(P) is threshold or more
// written in lower case followed by '-'; sequences without path posteriors are skipped with a
// message. Fatal: "print_trimalignment with null file\n", "print_trimalignment cannot be used
// with numberic sequences\n", and the empty-slot message.
void print_trimalignment(FILE *out, const SequenceTable *table, int pad, int track,
                         double threshold);
// Each row followed by a row of posterior digits (-ln(P) * scale, held to 0-9) under the title
// "Alignment posteriors ..."; sequences without path posteriors are skipped with a message.
// Fatal: "print_seqalignment with null file\n", the empty-slot message.
void print_seqpathalignment(FILE *out, const SequenceTable *table, int pad, int track,
                            double scale);
// The tab-separated table of path posteriors (two header lines, one line per residue with the
// letter of every track). Nothing for a null or empty table. Fatal: "print_seqpathprob with null
// file\n", "print_seqpathprob called without path probabilities\n" (the first entry has none),
// the empty-slot message.
void print_seqpathprob(FILE *out, const SequenceTable *table);

// Creates (*widths null) or raises the insert-width list with one a2m row. The list ends
// with -1; a row with another number of columns is reported and marks the list broken (its
// first entry becomes -1).
void add_control(const char *row, int **widths);
// A new copy of the row (owned by the caller) with each insert region filled with '.' to the
// list's widths.
char *pad_row(const char *row, const int *widths);

// A new block (release with free_block_alignment) of the track-0 letter indices of every aligned
// sequence, delete columns as delete_index (the alphabet's letter count with wildcards, plus 1);
// a row whose alignment has another number of columns is reported. Fatal: "No alphabet set in
// block_from_alignment.", "Alphabet wraparound in block_from_alignment for delete char.",
// "Invalid alignment in block_from_alignment." (null or empty table, first entry without
// alignment), the empty-slot message.
AlignmentBlock *block_from_alignment(SequenceTable *table);
// Releases the block and its rows (not the source table); null does nothing.
void free_block_alignment(AlignmentBlock *block);

// Filters (compact the string in place and return it: a string that shrank a lot may move, so use
// the result; null gives null) and counters (null counts 0): dots removed, only ASCII letters and
// digits kept, only match columns (upper case, digits, '-') kept; the counts of match columns,
// columns that are not '.', letters and digits.
char *remove_dots(char *s);
char *remove_nonchardig(char *s);
char *remove_nonmatchchar(char *s);
int matchcolumns(const char *s);
int nondotcolumns(const char *s);
int charcolumns(const char *s);

#endif
