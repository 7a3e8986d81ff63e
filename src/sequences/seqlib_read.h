// The readers of the sequence-file library: one entry at a time from a file in any readable
// format, by number or the next one from an open input, or the list of every entry's ID (the
// format table and detection are in seqlib.h). Format numbers and error codes are the SEQFORMAT_*
// and SEQERR_* constants of sequences/seqio.h; messages of the error codes come from seqlibErr
// (sequences/seqlib_err.h). Nothing here ends the run except a file that cannot be opened or
// read: every other problem comes back as an error code.
#ifndef QOR_SEQLIB_READ_H
#define QOR_SEQLIB_READ_H

#include <cstdint>
#include <cstdio>

struct InputReader;

// One sequence file open for reading through the library: the buffered reader over its stream
// and what the readers keep between calls (set up with seqlib_input_init).
struct SeqLibEntries;  // the entries of a whole-file format, read at once (private)
struct SeqLibInput {
    InputReader *reader = nullptr;     // owned
    bool started = false;              // lines were read since the start of the stream
    int embl_semicolon = -1;           // EMBL: IDs end in ';' (1) or not (0); -1 undecided
    SeqLibEntries *entries = nullptr;  // owned; null until a whole-file format is read
};
// Starts reading stream (positioned at its start) under the name, which is kept for messages and
// Plain IDs (not owned; it must outlive the input). Release with seqlib_input_free.
void seqlib_input_init(SeqLibInput *in, FILE *stream, const char *name);
// Releases what the input holds; the stream stays open (close it with close_read). Null is
// ignored.
void seqlib_input_free(SeqLibInput *in);

// Reads one entry. wanted: the entry's number from 1 (0 or less than -1 mean 1); -1 lists every
// entry instead (see listSeqs). The result is the entry's characters, NUL-terminated, owned by the
// caller (free()), or null with *error set: -8 for a format that cannot be read (outside 1..18,
// ASN.1, Pretty). *seqlen receives the number of characters, *nseqs the entries seen, *error the
// error code: 0; -1 no input or stream; -2 no data (nothing but blank lines from where reading
// starts; for the whole-file formats 10, 11, 12, 15 and 17 also fewer entries than wanted); -4
// the wanted entry is not in the file; -8. With an error the result is null and the ID empty.
// *seqid receives a new copy of the entry's ID line (free()); any out pointer may be null.
// Memory that cannot be had ends the run (mem_alloc).
//
// seqlibReadFp reads from an open input. For the whole-file formats 10, 11, 12, 15 and 17 the
// stream must be rewindable (open_read with OPEN_REWIND): their entries are read in one pass on
// the first call and kept in the input, so that entry n costs no more than its own letters
// afterwards. Every other format goes forward only: the line that begins the next entry is left
// pushed back in the reader, so that calls with wanted 1 hand out the entries one after the
// other. Mail-header lines (skiplines) are passed over only at the start of the stream.
// Warnings on standard error ("SeqLib (file %s): ..."): a Phylip or NEXUS header count that is not
// positive (for ntax and nchar, also one past the int range); a row of a later NEXUS block whose
// name no row of the first block has, and a row of a sequential NEXUS matrix past the ntax of its
// header (their data are dropped). Fatal: a read error ("Could not read file %s: %s"), a stream
// that cannot be rewound, a line longer than the reader's bound that is not text (lines of text
// keep any length: long_text_lines, reader.h).
char *seqlibReadFp(int wanted, SeqLibInput *in, int skiplines, short format, int64_t *seqlen,
                   int *nseqs, short *error, char **seqid);
// seqlibReadFp on a file opened with open_read (rewindable for the formats that need it) and
// closed again. Fatal: "Couldn't open file %s: %s\n".
char *seqlibRead(int wanted, const char *filename, int skiplines, short format, int64_t *seqlen,
                 int *nseqs, short *error, char **seqid);
// True for the whole-file formats (10, 11, 12, 15, 17), whose streams must be rewindable.
bool seqlibNeedsRewind(short format);

// The sequence kind (getseqtype) of the letters of the file's first entry that has any; 0 when
// no entry has letters or the format cannot be read. Fatal: a file that cannot be opened.
int seqlibGuessKind(const char *filename, int skiplines, short format);

// The IDs of every entry: one line " %d)  %s\n" per entry (number, ID line without its leading
// blanks), owned by the caller; as seqlibRead with wanted -1.
char *listSeqs(const char *filename, int skiplines, short format, int *nseqs, short *error);

#endif
