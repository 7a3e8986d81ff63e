// Sequence sources: one to six track files read in step, format detection of one
// sequence file, and database file lists (whole, segmented, selected by ID).
#ifndef QOR_SEQIO_H
#define QOR_SEQIO_H

#include <cstdio>
#include <cstddef>

#include "foundation/reader.h"

struct Sequence;
struct SequenceTable;
struct SeqLibInput;

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

// Sequence kinds that format detection reports (seqfile_format_type, is_fasta_or_nbrf).
constexpr int SEQKIND_OTHER = 0;
constexpr int SEQKIND_DNA = 1;
constexpr int SEQKIND_RNA = 2;
constexpr int SEQKIND_NUCLEIC = 3;  // nucleic acid, DNA or RNA undecided
constexpr int SEQKIND_PROTEIN = 4;

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
    char *name = nullptr;              // owned copy of the file name
    FILE *stream = nullptr;            // from open_read; null for HSSP after its items were read
    short format = SEQFORMAT_UNKNOWN;  // SEQFORMAT_FASTA, _NBRF, _HSSP, _MODEL or another
    int item_count = 0;                // number of HSSP items
    char **items = nullptr;            // owned HSSP rows, or null
    int entry_count = 0;               // entries read so far
    int done = 0;                      // set when a read found no further entry
    char *line = nullptr;              // SEQ_LINE_BUFFER bytes
    InputReader in;                    // the reader of stream (FASTA entries and model blocks)
    SeqLibInput *lib = nullptr;  // owned: the library reader of the other formats (NBRF included)
    int skip_lines = 0;          // mail-header lines the library passes over at the start
};

// One open sequence source.
struct SeqFileSet {
    int ntracks = 0;                            // names in the list, empty tracks included
    SeqTrackFile *tracks[MAX_SEQ_TRACKS] = {};  // null for "-" and past ntracks
};

// Format detection of one sequence file: the own FASTA/NBRF test, the model-file test, the HSSP
// test, the empty-file test, then the sequence-file library's detection. Returns the keyword of
// its format (static text, as SeqFormatString gives it). Any out pointer may be null: *format
// receives the SEQFORMAT_* number (SEQFORMAT_UNKNOWN when the library recognises nothing); *kind
// a SEQKIND_* (left alone for a model file); *lines_to_skip the mail-header lines before the
// first entry (0 but for library formats). An empty file is FASTA of protein. The result is kept
// for error_seqfile_format / error_seqfile_alphabet.
// Fatal: "attempt to determine alphabet from empty file name", "alphabet must be explictly
// specified when multiple sequence tracks are used" (more than one name), "See QOR manual for
// more information\n" after the library's "SeqLib (file %s): ..." message, "Couldn't open file
// %s: %s\n", "Could not read sequence file %s: %s".
const char *seqfile_format_type(const char *filename, short *format, int *kind, int *lines_to_skip);
// Keyword of the format of the last detection, "unknown" before any (static text).
const char *error_seqfile_format();
// "DNA" (DNA or nucleic kind), "RNA", "protein" or "unknown" for the kind of the last detection
// (static text).
const char *error_seqfile_alphabet();
// Forgets the last detection and the once-per-run warning of the guide files, as at start-up
// (see reset_library_state).
void reset_seqio_state();

// ---------------------------------------------------------------------------------------------
// Sources
// ---------------------------------------------------------------------------------------------

// Opens the track files named in filenames (separated by white space or ','; "-" is an empty
// track), one per track alphabet; a track of a numeric alphabet is read in numeric FASTA form.
// Every format is checked before any file is opened. Returns a new source, never null (release
// it with close_sequences). Fatal: "maximum of %d tracks supported." (more than MAX_SEQ_TRACKS
// names, listed first), "The number of tracks is either specified on the command line or other
// sequence set." (names and track alphabets differ in number), "Sequence file %s is in NBRF
// format; no NBRF reader is available", "Sequence file %s is in %s format; no reader for that
// format is available", "Couldn't open file %s: %s\n", and those of check_alphabet and
// seqfile_format_type.
SeqFileSet *open_sequences(const char *filenames);
// Reads the next entry of one track into track track_index of seq: the first track read sets the
// sequence's ID, length and (with keepannotations) annotation; a model-file track stores its
// model and, as residues, the letter of each node's largest match value. A null track releases the
// residues of that track and returns 1. Returns 1 when an entry was read, 0 at the end of the
// track (a FASTA track is then marked done). Fatal: "Sequence id %s from %s does not match id of
// main sequence (%s)", "Sequence %s in %s is too long", "Non-matching track sequences." (a
// model of another length), "Sequence file %s: no reader for format %s", and the FASTA and model
// readers' messages.
int read_sequence_track(SeqTrackFile *track, Sequence *seq, int track_index);
// The next entry of every track as one new sequence (owned by the caller), converted to letter
// indices when convert is non-zero. Null for a null source, a source of empty tracks only, or when
// any track has no further entry. Fatal: those of read_sequence_track and convertseq.
Sequence *read_sequence(SeqFileSet *source, int convert);
// Reads at most max_count entries of the source named by filenames (with guidenames, when not
// null, read alongside as guides) and appends them to table, which owns them. Returns the number
// read. Warns once per run when guides are given for a database that is not a model. Fatal: those
// of open_sequences and read_sequence.
int read_sequences(const char *filenames, const char *guidenames, int max_count,
                   SequenceTable *table, int convert);
// Number of entries of the source's first track (FASTA: header lines; HSSP: items; else read
// whole). Fatal: "Cannot count the sequences of %s: its first track is empty", and those of
// open_sequences and the readers.
int count_sequences(const char *filenames);
// Closes a source and releases it with its track files; null does nothing. When some track
// ended, each other track is read once more and "Warning: sequence file %s longer than other
// tracks" given for one that still had an entry. Fatal: those of the readers and of close_read
// (a failed decompressor).
void close_sequences(SeqFileSet *source);

// Entry filter of the database readers: called with the ID of each entry read; an entry it
// rejects is counted and checked like any other but not kept.
typedef bool (*SeqIdFilter)(const char *id, void *context);

// A set of IDs, for use as a filter: read_select_seqfile_list_filtered(..., seq_id_set_contains,
// set). Nothing here is fatal.
struct SeqIdSet;
// A new set (release with free_seq_id_set) of the IDs of a table's entries (null table or
// entries without ID: none); the set points at the table's IDs, so the table must outlive it.
SeqIdSet *make_seq_id_set(const SequenceTable *table);
// A new empty set (release with free_seq_id_set).
SeqIdSet *new_seq_id_set();
// Adds an owned copy of the first length bytes of id (a NUL byte inside ends the ID early); an ID
// already in the set is not added again.
void seq_id_set_add(SeqIdSet *set, const char *id, size_t length);
// True when the NUL-terminated ID is in the set (a SeqIdSet *, as a SeqIdFilter context).
bool seq_id_set_contains(const char *id, void *set);
// Releases the set and its copies; null does nothing.
void free_seq_id_set(SeqIdSet *set);

// ---------------------------------------------------------------------------------------------
// Database file lists
// ---------------------------------------------------------------------------------------------

// Most entries one list read takes when the caller's maximum is 0 or less.
constexpr int DEFAULT_MAX_DB_SEQUENCES = 2000000;
// Reads the files of a list (each with its guide file when nguides is not 0) in letter indices,
// at most *max_count entries in all (DEFAULT_MAX_DB_SEQUENCES for 0 or less; a warning names the
// file where the allowance ran out). Returns a new table (owned by the caller) and the number read
// in *max_count. Fatal: "Must specify same number of database and guide sequence files.\n", and
// those of check_alphabet and read_sequences.
SequenceTable *read_seqfile_list(int *max_count, const char *const *files, int nfiles,
                                 const char *const *guides, int nguides);
// Sum of count_sequences over the files, held at INT_MAX. Fatal: those of check_alphabet and
// count_sequences.
int count_seqfile_list(const char *const *files, int nfiles);
// Prepares segmented reading: chunks of chunk_size entries, of which segment number segment of
// segment_count (below 2: every chunk) is read. The file names are copied. Fatal: "No database
// files found.  Use -db <filename>.", "Number of database files and database guide files must be
// the same.", "Segment number (%d) is larger than number of segments (%d)", "Segment size must be
// at least 1 (got %d)", "Segment number must be at least 1 (got %d)".
void setup_segmented_read_seqfile_list(int chunk_size, const char *const *files, int nfiles,
                                       const char *const *guides, int nguides, int segment,
                                       int segment_count);
// Appends the next chunk of the segment to the empty table (which owns the entries). Returns the
// number appended: 0 at the end of the files or before any setup. Fatal:
// "Segmented_read_seqfile_list passed null seqtable.",
// "Segmented_read_seqfile_list passed non-empty seqtable.", and those of open_sequences and
// read_sequence.
int segmented_read_seqfile_list(SequenceTable *table);
// Ends segmented reading and closes its files. Fatal when the segment got nothing: "With %ld
// sequences and %d-sequence segments, segment %d is empty.", "No sequences found in database
// files.\n".
void cleanup_segmented_read_seqfile_list_exit_no_seq();
// Keeps the entries named by select_ids (when nselect > 0, in list order; "Unable to find sequence
// `%s'." and "ID %s selected twice; skipping repeat." warnings) and then drops those named by
// exclude_ids. Consumes table (sorted by ID on the way) and returns the table that holds the
// result (the same or a new one, owned by the caller); *count (optional) receives its count.
// Fatal with mode 1 when nothing is left: "No sequences specified; exiting".
SequenceTable *select_sequences(SequenceTable *table, int *count, const char *const *select_ids,
                                int nselect, const char *const *exclude_ids, int nexclude,
                                int mode);
// read_seqfile_list, then the first of each repeated ID kept (a warning per repeated ID), then
// select_sequences, then the report ("Database Files: ", the ID lists and "Found %d sequence%s in
// %d file%s; selected %d sequence%s") on report (with "% " before each line unless it is standard
// output or standard error) and the last line alone on report2; either may be null. Returns the
// new table (owned by the caller) and the selected count in *max_count. Fatal with mode 1: "No
// sequence databases provided.  Use -db" (no file) and "No sequences specified; exiting"; and
// those of read_seqfile_list.
SequenceTable *read_select_seqfile_list(int *max_count, const char *const *files, int nfiles,
                                        const char *const *guides, int nguides,
                                        const char *const *select_ids, int nselect,
                                        const char *const *exclude_ids, int nexclude, FILE *report,
                                        FILE *report2, int mode);

// read_select_seqfile_list for a caller that needs only the entries its filter keeps (and those
// the select and exclude lists name): every entry is read, converted and checked as in a whole
// read, and the report, the selected count and every message are those of a whole read, but
// the other entries are freed as soon as they are read. The returned table (owned by the caller)
// holds the kept entries only. Fatal: as read_select_seqfile_list.
SequenceTable *read_select_seqfile_list_filtered(int *max_count, const char *const *files,
                                                 int nfiles, const char *const *guides, int nguides,
                                                 const char *const *select_ids, int nselect,
                                                 const char *const *exclude_ids, int nexclude,
                                                 FILE *report, FILE *report2, int mode,
                                                 SeqIdFilter keep, void *context);

#endif
