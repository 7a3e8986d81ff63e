// The sequence-file library: the table of format numbers, names and keywords, the format
// detection of a file from its content, and the readers of every readable format (one entry at a
// time, by number or the next one from an open reader, or the list of every entry's ID). Format
// numbers and error codes are the SEQFORMAT_* and SEQERR_* constants of src/seqio.h; messages of
// the error codes come from seqlibErr (src/seqlib_err.h). Nothing here ends the run except a file
// that cannot be opened or read: every other problem comes back as an error code.
#ifndef QOR_SEQLIB_H
#define QOR_SEQLIB_H

#include <cstdint>
#include <cstdio>

struct InputReader;

// Highest numbered format (1 .. SEQLIB_NFORMATS have display names).
constexpr int SEQLIB_NFORMATS = 18;
// Rows of the keyword table.
constexpr int SEQLIB_NFORMNAMES = 32;

// One row of the keyword table: a name by which a format may be given, and its number.
struct SeqFormName {
    const char *name;
    short number;
};
// The keyword table, SEQLIB_NFORMNAMES rows in their fixed order ("ig" 1 ... "QorHMM" 20).
extern const SeqFormName formname[SEQLIB_NFORMNAMES];
// Display names of the formats 1 .. SEQLIB_NFORMATS: formats[n - 1] (" 1. IG/Stanford" ...).
extern const char *const formats[SEQLIB_NFORMATS];

// The keyword of the first row of formname holding the number, or "unknown". Static text.
const char *SeqFormatString(int format);
// The display name: formats[] for 1..18, "16. ASN.1" for 51 and 52, "12. Phylip" for 61 and 62,
// "(unknown)" otherwise. Static text.
const char *seqlibFormatStr(int format);

// Detects the format of the text that the reader gives from its position on; returns the format
// number (0 when none fits). *skiplines (may be null) receives the number of mail-header lines to
// pass over before reading, 0 when none; *error (may be null) 0, or -1 with the result -1 for a
// null reader or one without a stream. The reader is left where detection stopped (its position
// is of no further use; reopen or rewind to read the file).
short seqFileFormatFp(InputReader *in, int *skiplines, short *error);
// seqFileFormatFp on a file opened with open_read. Fatal: "Couldn't open file %s: %s\n".
short seqFileFormat(const char *filename, int *skiplines, short *error);

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
// positive; a row of a later NEXUS block whose name no row of the first block has (its data are
// dropped). Fatal: a read error ("Could not read file %s: %s"), a stream that cannot be rewound.
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
