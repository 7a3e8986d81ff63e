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

// One wrapped FASTA record of a letter string; returns the result of the last character write.
int print_string(FILE *out, const char *letters, const char *id, const char *annotation);
// Track 0 as a one-line FASTA record (or a numeric record for an alphabet without letters).
void pretty_print_sequence(FILE *out, const Sequence *seq);
void print_sequence_table(FILE *out, const SequenceTable *table);
// One numeric record, with the placeholder row of an alignment or null; returns the length.
int print_num_alignment(FILE *out, const Sequence *seq, const char *row, int track);

// A new a2m row of a sequence's alignment code (placeholder letters 'X'/'x' with the flag),
// or null, with a message, when the sequence has no alignment or the alignment does not fit
// its residues.
char *str_w_deletions(const Sequence *seq, int start_size, int track, int placeholder);
void print_alignment(FILE *out, const Sequence *seq, int track);
void print_seqalignment(FILE *out, const SequenceTable *table, int pad, int track);
void print_trimalignment(FILE *out, const SequenceTable *table, int pad, int track,
                         double threshold);
void print_seqpathalignment(FILE *out, const SequenceTable *table, int pad, int track,
                            double scale);
void print_seqpathprob(FILE *out, const SequenceTable *table);

// Creates (*widths null) or raises the insert-width list with one a2m row. The list ends
// with -1; a row with another number of columns is reported and marks the list broken (its
// first entry becomes -1).
void add_control(const char *row, int **widths);
// A new copy of the row with each insert region filled with '.' to the list's widths.
char *pad_row(const char *row, const int *widths);

AlignmentBlock *block_from_alignment(SequenceTable *table);
void free_block_alignment(AlignmentBlock *block);

// Filters (compact the string in place; may move a string that shrank a lot) and counters.
char *remove_dots(char *s);
char *remove_nonchardig(char *s);
char *remove_nonmatchchar(char *s);
int matchcolumns(const char *s);
int nondotcolumns(const char *s);
int charcolumns(const char *s);

#endif
