// Sequence sources: one to six track files read in step, format detection of one
// sequence file, and database file lists (whole, segmented, selected by ID).
#ifndef QOR_SEQIO_H
#define QOR_SEQIO_H

#include <cstdio>
#include <cstddef>

#include "utilities.h"

struct Sequence;
struct SequenceTable;

// Most tracks one source may have.
constexpr int MAX_SEQ_TRACKS = 6;
// Size of a track file's line buffer (header lines, pushed-back lines).
constexpr size_t SEQ_LINE_BUFFER = 100000;

// Sequence-file format numbers, used by the whole system (detection, reading, writing).
constexpr short SEQFORMAT_NO_STREAM = -1;  // no format tested (no stream)
constexpr short SEQFORMAT_UNKNOWN = 0;     // format not determined (written as Plain)
constexpr short SEQFORMAT_IG = 1;
constexpr short SEQFORMAT_GENBANK = 2;
constexpr short SEQFORMAT_NBRF = 3;
constexpr short SEQFORMAT_EMBL = 4;
constexpr short SEQFORMAT_GCG = 5;
constexpr short SEQFORMAT_STRIDER = 6;
constexpr short SEQFORMAT_FITCH = 7;
constexpr short SEQFORMAT_FASTA = 8;  // Pearson/FASTA
constexpr short SEQFORMAT_ZUKER = 9;
constexpr short SEQFORMAT_OLSEN = 10;
constexpr short SEQFORMAT_PHYLIP_SEQUENTIAL = 11;
constexpr short SEQFORMAT_PHYLIP = 12;  // interleaved
constexpr short SEQFORMAT_PLAIN = 13;
constexpr short SEQFORMAT_PIR = 14;
constexpr short SEQFORMAT_MSF = 15;
constexpr short SEQFORMAT_ASN1 = 16;
constexpr short SEQFORMAT_PAUP = 17;
constexpr short SEQFORMAT_PRETTY = 18;
constexpr short SEQFORMAT_HSSP = 19;
constexpr short SEQFORMAT_MODEL = 20;             // a model file read as sequences
constexpr short SEQFORMAT_ASN1_SEQ_ENTRY = 51;    // detected only
constexpr short SEQFORMAT_ASN1_BIOSEQ_SET = 52;   // detected only
constexpr short SEQFORMAT_PHYLIP_VARIANT_1 = 61;  // display only
constexpr short SEQFORMAT_PHYLIP_VARIANT_2 = 62;  // display only

// Error codes of the sequence-file library (0 = no error).
constexpr short SEQERR_NONE = 0;
constexpr short SEQERR_FILE_NOT_FOUND = -1;
constexpr short SEQERR_NO_DATA = -2;
constexpr short SEQERR_OUT_OF_MEMORY = -3;
constexpr short SEQERR_ITEM_NOT_FOUND = -4;
constexpr short SEQERR_ONE_PER_FILE = -5;
constexpr short SEQERR_UNEQUAL_LENGTHS = -6;
constexpr short SEQERR_CANT_OPEN_OUTPUT = -7;
constexpr short SEQERR_UNKNOWN_FORMAT = -8;

// One open track file.
struct SeqTrackFile {
    char *name = nullptr;    // owned copy of the file name
    FILE *stream = nullptr;  // from open_read; null for HSSP after its items were read
    short format = 0;        // 8 FASTA, 3 NBRF, 19 HSSP, 20 model file, else a library format
    int item_count = 0;      // number of HSSP items
    char **items = nullptr;  // owned HSSP rows, or null
    int entry_count = 0;     // entries read so far
    int done = 0;            // set when a read found no further entry
    char *line = nullptr;    // SEQ_LINE_BUFFER bytes
    InputReader in;          // the reader of stream (FASTA entries and model blocks)
};

// One open sequence source.
struct SeqFileSet {
    int ntracks = 0;                            // names in the list, empty tracks included
    SeqTrackFile *tracks[MAX_SEQ_TRACKS] = {};  // null for "-" and past ntracks
};

// Format detection of one sequence file: returns the keyword of its format. Any out
// pointer may be null. `kind` receives the sequence kind (0 other, 1 DNA, 2 RNA,
// 3 nucleic, 4 protein) when the detector sets one.
const char *seqfile_format_type(const char *filename, short *format, int *kind, int *lines_to_skip);
const char *error_seqfile_format();
const char *error_seqfile_alphabet();

// Sources.
SeqFileSet *open_sequences(const char *filenames);
int read_sequence_track(SeqTrackFile *track, Sequence *seq, int track_index);
Sequence *read_sequence(SeqFileSet *source, int convert);
int read_sequences(const char *filenames, const char *guidenames, int max_count,
                   SequenceTable *table, int convert);
int count_sequences(const char *filenames);
void close_sequences(SeqFileSet *source);

// Entry filter of the database readers: called with the ID of each entry read; an entry it
// rejects is counted and checked like any other but not kept.
typedef bool (*SeqIdFilter)(const char *id, void *context);

// A set of IDs, for use as a filter: read_select_seqfile_list_filtered(..., seq_id_set_contains,
// set). make_seq_id_set takes the IDs of a table (which must outlive the set); seq_id_set_add
// adds a copy of an ID of the given length.
struct SeqIdSet;
SeqIdSet *make_seq_id_set(const SequenceTable *table);
SeqIdSet *new_seq_id_set();
void seq_id_set_add(SeqIdSet *set, const char *id, size_t length);
bool seq_id_set_contains(const char *id, void *set);
void free_seq_id_set(SeqIdSet *set);

// Database file lists.
constexpr int DEFAULT_MAX_DB_SEQUENCES = 2000000;
SequenceTable *read_seqfile_list(int *max_count, const char *const *files, int nfiles,
                                 const char *const *guides, int nguides);
int count_seqfile_list(const char *const *files, int nfiles);
void setup_segmented_read_seqfile_list(int chunk_size, const char *const *files, int nfiles,
                                       const char *const *guides, int nguides, int segment_number,
                                       int segment_count);
int segmented_read_seqfile_list(SequenceTable *table);
void cleanup_segmented_read_seqfile_list_exit_no_seq();
SequenceTable *select_sequences(SequenceTable *table, int *count, const char *const *select_ids,
                                int nselect, const char *const *exclude_ids, int nexclude,
                                int mode);
SequenceTable *read_select_seqfile_list(int *max_count, const char *const *files, int nfiles,
                                        const char *const *guides, int nguides,
                                        const char *const *select_ids, int nselect,
                                        const char *const *exclude_ids, int nexclude, FILE *report,
                                        FILE *report2, int mode);

// read_select_seqfile_list for a caller that needs only the entries its filter keeps (and those
// the select and exclude lists name): every entry is read, converted and checked as in a whole
// read, and the report, the selected count and every message are those of a whole read, but
// the other entries are freed as soon as they are read. The returned table holds the kept
// entries only.
SequenceTable *read_select_seqfile_list_filtered(int *max_count, const char *const *files,
                                                 int nfiles, const char *const *guides, int nguides,
                                                 const char *const *select_ids, int nselect,
                                                 const char *const *exclude_ids, int nexclude,
                                                 FILE *report, FILE *report2, int mode,
                                                 SeqIdFilter keep, void *context);

#endif
