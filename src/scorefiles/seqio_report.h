// Score reports of a scoring run: the score-file writer (header lines, sorted rows of the
// selected sequences), printing of the selected sequences, the comment lines that state a
// selection rule, and the length adjustment of every simple score. Aligning and domain cutting
// of the selected sequences is engine/report_align.h.
//
// Report columns, E-values and the selection rule are those of seqio_scores.h.
#ifndef QOR_SEQIO_REPORT_H
#define QOR_SEQIO_REPORT_H

#include <cstdio>

struct SequenceTable;
struct ScoreParams;

// Bits of a selection value (select_score, select_seq, select_align, select_mdalign, select_md).
enum {
    SELECT_SIMPLE = 1,  // report column 1 (simple score) below its threshold
    SELECT_SECOND = 2,  // report column 2 (second score) below its threshold
    SELECT_EVALUE = 4,  // E-value below its threshold
    SELECT_ALL = 8,     // every entry
};

// Length adjustments (values of adjust_score).
enum {
    ADJUST_NONE = 0,
    ADJUST_LOG_SUM = 1,  // ln(sequence length + model length)
    ADJUST_LOG_SEQ = 2,  // ln(sequence length)
};

// The length adjustment: kind 1 ln(seqlen + modlen) when that sum is positive; kind 2
// ln(seqlen) when seqlen is positive; 0 in every other case.
float score_adjustment(int kind, int seqlen, int modlen);

// Writes the score report of the table to out and sorts the table as score->sort asks: header
// lines naming the columns, the E-value formula and the sort key, the column line, then one row
// per entry that select_score keeps. Nothing happens for a null stream, a select_score of 0 or
// an empty table. Fills the columns (and E-values) from the internal scores when the first
// entry's columns are both unset (dbsize set to the count when 0 or less). May change
// score->sort (4 without E-values becomes 1 or -1) and dbsize. With score->negate set the rows
// show both columns negated, except an unset column, which shows the unset value (1000000.00)
// as score files hold it; an entry without a score still gets its row.
void SortAndPrintZscore(FILE *out, SequenceTable *table, ScoreParams *score);

// Writes every entry that select_seq keeps as a one-line FASTA record, in table order (columns
// filled first when unset), then sets both report columns of every entry back to unset. A null
// stream does nothing.
void print_selected_seq(FILE *out, SequenceTable *table, ScoreParams *score);

// One comment line stating a selection rule: the option name, a text, two optional strings (null
// for none), the selection value and a force flag (writes the "NONE" line for a value of 0).
// Nothing for a null stream, or for a value of 0 without force.
void sel_message(FILE *out, const char *option, const char *text, const char *s1, const char *s2,
                 int value, int force, const ScoreParams *score);
// The same for the multiple-domain thresholds (mdNLLnull, mdNLLcomplex, mdEmax); a value of 0
// writes nothing.
void mdsel_message(FILE *out, const char *option, const char *text, const char *s1, const char *s2,
                   int value, const ScoreParams *score);

#endif
