// FASTA and NBRF recognition, the sequence-kind guess, FASTA entry reading in letter and
// numeric form, and the conversion of read letters into letter indices.
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
constexpr size_t FASTA_READ_BLOCK = 1 << 20;

// 8 for FASTA, 3 for NBRF, 0 for neither; *kind (when given) receives the sequence kind
// (0 other, 1 DNA, 2 RNA, 3 nucleic acid, 4 protein) of a FASTA or NBRF file.
int is_fasta_or_nbrf(const char *filename, int *kind);

// Number of entries ('>' at the start of a line) from the track's position to its end.
int count_fasta(SeqTrackFile *track);

// Reads one header line; returns '\n' or EOF. *id / *annotation (when given) receive new copies
// (the annotation may be null).
int next_fasta_initial(SeqTrackFile *track, char **id, char **annotation);

// Reads one header line into the caller's buffers (no copies): the same as next_fasta_initial.
// show_id: messages name the ID (else they show an empty ID). An empty ident means no header.
int next_fasta_header(SeqTrackFile *track, std::string &ident, std::string &annot, bool show_id);

// The residues of the entry whose header was just read: letter form or numeric form.
// shown_id names the entry in messages.
char *fasta_string_body(SeqTrackFile *track, const char *shown_id);
unsigned char *fasta_numstring_body(SeqTrackFile *track, const char *shown_id, int *length);

// For an entry that will not be kept: reads the residues of the entry whose header was just read
// (letter form) without keeping them, and gives every message that fasta_string_body and then
// convertseq would give for them as the only track, track t, of a sequence with this ID, in the
// same order. Only where those messages need no letters: track t has a letter alphabet and
// sequence_warning is not negative; otherwise nothing is read and the result is false.
bool fasta_skip_body_converted(SeqTrackFile *track, const char *id, int t);

// The next entry's residues as a new NUL-terminated letter string, or null at the end.
char *next_fasta_string(SeqTrackFile *track, char **id, char **annotation);

// The next entry's residues as letter indices of the current alphabet (numeric form);
// *length receives their number. Null at the end.
unsigned char *next_fasta_numstring(SeqTrackFile *track, char **id, char **annotation, int *length);

// Converts the letters of every track into letter indices of the track alphabets.
void convertseq(Sequence *seq);

// Releases the reader block of a track file (the stream stays open).
void free_track_read_buffer(SeqTrackFile *track);

// Resets the once-per-run warning of the recognition (for tests).
void reset_fasta_warnings();

#endif
