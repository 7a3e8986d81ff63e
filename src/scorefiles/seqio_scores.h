// Score files: reading them into sequence tables, the two report columns and the E-value,
// sorting by a column or by E-value, selection by the thresholds of Score, and the merge of a
// score file's ID list with sequences read from sequence files.
//
// Score-file line: ID, length, report column 1, report column 2, optional E-value, optional
// count followed by 'X', optional ':' and a description. Lines beginning with '%' or ';' are
// comments; blank lines are skipped. A score slot or E-value of 1000000 means unset. An entry
// whose report columns or E-value are not finite numbers as stored (NaN, an infinity, a column
// past the single-precision range) is skipped (next_score_entry).
#ifndef QOR_SEQIO_SCORES_H
#define QOR_SEQIO_SCORES_H

#include <cstddef>
#include <cstdio>

struct Sequence;
struct SequenceTable;
struct ScoreParams;
struct SeqIdSet;
struct InputReader;

// Direction shared by c1compare, c2compare and Zcompare: +1 ascending (smallest value first),
// -1 descending. Starts at +1; sort_scores_as_specified sets it and leaves it set.
extern int sort_direction;

// Reads a score file into a new table (owned by the caller; never null), one entry per entry
// line, in file order: ID, length, both report columns, E-value, X count and annotation. Writes
// "Reading scores from file %s\n" to standard error first, and next_score_entry's warning for
// each entry skipped as not finite. Fatal: "Couldn't open file %s: %s\n", and close_read's
// messages for a failed decompressor.
SequenceTable *read_score_file(const char *path);

// The IDs a plain score file names (entries skipped as not finite left out), read ahead without a
// message (release with free_seq_id_set). Null when the file cannot be read that way (missing,
// compressed, not a regular file): the caller then reads it with read_score_file, which gives its
// own messages.
SeqIdSet *read_score_file_ids(const char *path);

// read_select_seqfile_list for a caller that keeps only the entries the score file names (and
// those the select and exclude lists name): the entries it does not name are freed as soon as
// they are read (read_select_seqfile_list_filtered), or, when the score file cannot be read ahead
// (read_score_file_ids), the databases are read whole. The report, the count and every message
// are those of a whole read. The ID set is released also when a fatal error is thrown.
SequenceTable *read_select_seqfile_list_scored(const char *score_file, int *max_count,
                                               const char *const *files, int nfiles,
                                               const char *const *guides, int nguides,
                                               const char *const *select_ids, int nselect,
                                               const char *const *exclude_ids, int nexclude,
                                               FILE *report, FILE *report2, int mode);

// Comparators over two table slots (Sequence **), for sorting. c1compare: report column 1;
// c2compare: report column 2, ties by column 1; Zcompare: E-value, ties by column 2, then
// column 1. They return sort_direction when the first value is greater, -sort_direction when it
// is smaller, 0 when equal. A NaN always sorts after every number, in either direction.
int c1compare(const void *a, const void *b);
int c2compare(const void *a, const void *b);
int Zcompare(const void *a, const void *b);

// Fills one sequence's report columns from its internal scores: column 1 the simple score,
// column 2 the second score for subtract_null 2 to 5 (4 and 5 also set the E-value), else the raw
// score.
void set_columns(Sequence *seq, ScoreParams *score);
// True when the table's first entry (the first slot that holds one) has both report columns
// unset; false for a null or empty table.
bool columns_unset(const SequenceTable *table);
// Sets dbsize to the table's count when it is 0 or less, then fills every entry's columns, but
// only when the first entry's two report columns are both unset. Null does nothing.
void assign_sort_columns(SequenceTable *table, ScoreParams *score);
// Sets the E-value from the second score with the current dbsize (which it does not change):
// SCORE_UNSET when dbsize is 0 or less, dbsize itself when the second score is unset, else
// dbsize / (1 + e^-g) (g the lambda-scaled score raised to tau) held within 1e-300..1e300.
void evalue_calc(Sequence *seq, ScoreParams *score);

// Changes the sign of both report columns of every entry when flag is non-zero (null: nothing).
void negate_score_list(int flag, SequenceTable *table);
// Report column 1 of every entry becomes its E-value (single precision; null: nothing).
void copy_zscore_to_dist(SequenceTable *table);
// Sorts by report column 1 in the current sort_direction (ties keep their order).
void sort_score_list(SequenceTable *table);
// Sorts as the sort key of Score asks (0 none, bit 4 E-value, else bit 2 column 2, else
// column 1; negative: descending) and leaves sort_direction set.
void sort_scores_as_specified(ScoreParams *score, SequenceTable *table);

// The selection rule: true when the selection value keeps the entry (bit 1 column 1 below
// NLLnull, bit 2 column 2 below NLLcomplex, bit 4 E-value below Emax, bit 8 every entry; a
// negative value keeps the complement; 0 keeps nothing).
bool score_selected(const Sequence *seq, const ScoreParams *score, int select);
// Keeps the entries that the selection value keeps, releases the others and compacts the table;
// the columns are filled first as assign_sort_columns does. Null or empty: nothing.
void trim_sequence_table(SequenceTable *table, ScoreParams *score, int select);

// Replaces each entry of list (a score-file table) by the record of the same ID from full
// (sequences read from files), carrying the score-file entry's report columns, E-value and
// X count into that record; drops entries without a match and repeated IDs; releases full and
// the replaced score-file records. Fatal "No sequences specified" when nothing matched and
// required is non-zero.
void merge_selected_sequences(SequenceTable *full, SequenceTable *list, int required);

// ---------------------------------------------------------------------------------------------
// Line-level reading, shared by read_score_file and the compact column reader of the plotting
// programs.
// ---------------------------------------------------------------------------------------------

// The fields of one entry line. id and annotation point into the line buffer.
struct ScoreLine {
    const char *id;          // start of the ID
    size_t id_len;           // its length (no line end)
    int length;              // 0 when missing
    float report1;           // 1000000 when missing
    float report2;           // 1000000 when missing
    double evalue;           // 1000000 when missing
    float xcount;            // 0 when there is no 'X'
    const char *annotation;  // text after the first ':' (line end included), or null
    size_t annotation_len;
};

// Parses one line (len bytes, line end included when present). Returns false for a comment or
// blank line, true for an entry, whose fields are stored in *out. The values are stored as read,
// NaN and infinities included.
bool parse_score_line(const char *line, size_t len, ScoreLine *out);

// The next entry of a score file read through reader, parsed into *out; false at the end of the
// file. Comment and blank lines are passed over, and so is an entry whose report columns or
// E-value are not finite as stored (NaN, an infinity, or a column past the single-precision
// range; the unset 1000000 is a number), with, when warn is set, "Warning: score file %s line
// %ld: a score or E-value is not a finite number; line skipped.\n" on standard error (the
// reader's name through shown_text).
bool next_score_entry(InputReader *reader, ScoreLine *out, bool warn);

#endif
