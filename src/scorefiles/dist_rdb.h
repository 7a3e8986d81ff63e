// RDB score tables: a tab-separated text table with a '#' comment header, a line of column names,
// a line of column types and one row per sequence, named by the run name followed by
// ".dist-rdb". Several scoring passes (several models) may append to one table.
#ifndef QOR_DIST_RDB_H
#define QOR_DIST_RDB_H

#include <cstdio>

struct SequenceTable;
struct SeqInfo;
struct ScoreParams;

// The table writer. Allocated by dist_rdb_open_or_append, released by dist_rdb_close; the caller
// holds a pointer to it, null until the first open.
struct DistRDB {
    FILE *fp;             // the open output stream
    int columns_written;  // 0 until the column-name and column-type lines are written
    int add_hmm_names;    // non-zero: HMM and HMMLEN columns in front of every row
    int evalue_column;    // decided when the column lines are written
    int second_column;    // decided when the column lines are written
    int *model_length;    // the current model's length (set at each open-or-append), or null
};

// Opens run_name.dist-rdb on first use (*out null: allocates the writer, writes the comment
// header with banner, version, run name, date, user and host) and writes a pass header: the
// model and scoring settings when model_length is given, the sequence statistics when info is
// given, and lambda (or swlambda) and tau. A differing add_hmm_names is reported on standard
// error and ignored. A null out is reported on standard error and nothing is done.
// Fatal: "(open_outputfile):  Could not open file %s".
void dist_rdb_open_or_append(DistRDB **out, const char *banner, const char *version,
                             const char *run_name, int *model_length, int add_hmm_names,
                             const SeqInfo *info);

// Writes "# " and the formatted text and a newline.
void dist_rdb_comment(DistRDB *out, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Writes the column lines once (the second-score and E-value columns are fixed then for the rest
// of the table), then one row per entry of the table, in table order: every entry without
// score, else the entries that the selection rule keeps with score->select_score. Tabs and line
// ends inside an ID or the model name are written as blanks, so that every row stays one line
// of the same columns. A null table writes the column lines only.
void dist_rdb_write(DistRDB *out, const char *model_name, const SequenceTable *table,
                    const ScoreParams *score);

// Closes the stream unless it is standard output or standard error, releases the writer and
// clears the caller's pointer; a null address or pointer does nothing.
void dist_rdb_close(DistRDB **out);

#endif
