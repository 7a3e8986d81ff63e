// FASTA and NBRF recognition, the sequence-kind guess, FASTA entry reading in letter and
// numeric form, and the conversion of read letters into letter indices.
//
// Every reader below takes a track file opened by open_sequences. "A read error" ends the run
// with "Could not read sequence file %s: %s"; an allocation failure with "out of memory ...".
// Every message shows the IDs it names through shown_text (errors.h).
#ifndef QOR_FASTA_H
#define QOR_FASTA_H

#include <cstddef>
#include <string>

struct Sequence;
struct SeqTrackFile;

// Longest ID and annotation kept from a header line.
constexpr size_t FASTA_MAX_ID = 99999;
constexpr size_t FASTA_MAX_ANNOTATION = 99999;
// Bytes a track's reader asks of its stream at a time.
constexpr size_t FASTA_READ_BLOCK = 256 << 10;

// SEQFORMAT_FASTA, SEQFORMAT_NBRF (">P1;" form, or position numbers before the letters) or
// SEQFORMAT_UNKNOWN (neither; a '>' that does not begin the first line warns once per run);
// *kind (when given) receives the SEQKIND_* of the first 300 letters of a FASTA or NBRF file.
// Fatal: "Couldn't open file %s: %s\n", a read error, a header line longer than the reader's
// bound ("Line %ld of %s is longer than %zu characters", reader.h).
int is_fasta_or_nbrf(const char *filename, int *kind);

// Number of entries ('>' at the start of a line) from the track's position to its end (the track
// is then at its end). Fatal: "Bad openseqfile passed to next_fasta_seq\n" (no track or stream),
// a read error.
int count_fasta(SeqTrackFile *track);

// Reads one header line; returns '\n', or EOF at the end of the file (also for a header cut off
// by it). *id / *annotation (when given) receive new copies owned by the caller, or null (no
// header; no annotation). Text before the '>' is reported and skipped. Fatal: as
// next_fasta_header.
int next_fasta_initial(SeqTrackFile *track, char **id, char **annotation);

// Reads one header line into the caller's buffers (no copies): the same as next_fasta_initial.
// show_id: messages name the ID (else they show an empty ID). An empty ident means no header.
// IDs are cut at FASTA_MAX_ID, annotations at FASTA_MAX_ANNOTATION (with a message). Fatal:
// "Bad openseqfile passed to next_fasta_seq\n" (no track or stream), a read error, a header
// longer than the reader's bound: "Header of entry %d of %s is longer than %zu characters".
int next_fasta_header(SeqTrackFile *track, std::string &ident, std::string &annot, bool show_id);

// The residues of the entry whose header was just read, up to the next header: letter form (a new
// NUL-terminated string, never null) or numeric form (new array of letter indices of the current
// alphabet, *length their number). Both are the caller's, released with free(). shown_id names
// the entry in the messages on strange characters and a missing newline before '>'. Fatal: "%s
// (%s): sequence longer than %d residues", a read error; letter form also "out of memory
// allocating %zu bytes"; numeric form also "No alphabet set for reading numeric sequences from
// %s".
// letters_length (when given) receives the number of letters, as strlen would count them.
char *fasta_string_body(SeqTrackFile *track, const char *shown_id,
                        size_t *letters_length = nullptr);
unsigned char *fasta_numstring_body(SeqTrackFile *track, const char *shown_id, int *length);

// For an entry that will not be kept: reads the residues of the entry whose header was just read
// (letter form) without keeping them, and gives every message that fasta_string_body and then
// convertseq would give for them as the only track, track t, of a sequence with this ID, in the
// same order. Only where those messages need no letters: track t has a letter alphabet and
// sequence_warning is not negative; otherwise nothing is read and the result is false. Fatal: as
// fasta_string_body, and "Sequence %s in %s is too long".
bool fasta_skip_body_converted(SeqTrackFile *track, const char *id, int t);

// For an entry that will not be kept whose n letters were read in letter form (not yet
// converted): gives every message that convertseq would give for them as the only track, track
// t, of a sequence with this ID, without converting them. Only where those messages need no
// letters (as fasta_skip_body_converted); otherwise nothing is done and the result is false.
bool letters_skip_converted(const unsigned char *letters, size_t n, const char *id, int t);

// The next entry's residues as a new NUL-terminated letter string (the caller's), or null at the
// end; *id / *annotation as next_fasta_initial (left null at the end). Fatal: as
// next_fasta_header and fasta_string_body.
char *next_fasta_string(SeqTrackFile *track, char **id, char **annotation);

// The next entry's residues as letter indices of the current alphabet (numeric form; the
// caller's); *length receives their number. Null at the end (*length 0). Fatal: as
// next_fasta_header and fasta_numstring_body.
unsigned char *next_fasta_numstring(SeqTrackFile *track, char **id, char **annotation, int *length);

// Converts the letters of every letter track (not model tracks) into letter indices of the track
// alphabets in place, gap characters ('-', '.') removed, and sets converted and the length.
// Letters converted to the wildcard and U/T conversions are noted as sequence_warning asks
// (standard error, or the entry on standard output for negative values: the "; Warning" lines
// show the ID through shown_text, the entry itself is written as read). Null does nothing.
// Fatal: "ID %s, track %d: length (%d) does not match previous track (%d)".
void convertseq(Sequence *seq);

// Releases the reader block of a track file (the stream stays open).
void free_track_read_buffer(SeqTrackFile *track);

// Resets the once-per-run warning of the recognition (see reset_library_state).
void reset_fasta_warnings();

#endif
