// The sequence-file library: the table of format numbers, names and keywords, the format
// detection of a file from its content, and the readers of every readable format (one entry at a
// time, by number or the next one from an open reader, or the list of every entry's ID). Format
// numbers and error codes are the SEQFORMAT_* and SEQERR_* constants of src/seqio.h; messages of
// the error codes come from seqlibErr (src/seqlib_err.h). Nothing here ends the run except a file
// that cannot be opened or read: every other problem comes back as an error code.
#ifndef QOR_SEQLIB_H
#define QOR_SEQLIB_H

#include <cstdint>

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

// Reads one entry. wanted: the entry's number from 1 (0 or less than -1 mean 1); -1 lists every
// entry instead (see listSeqs). The result is the entry's characters, NUL-terminated, owned by the
// caller (free()), or null with *error set: -8 for a format that cannot be read (outside 1..18,
// ASN.1, Pretty), -3 when memory for it cannot be had. *seqlen receives the number of
// characters, *nseqs the entries seen, *error the error code: 0; -1 no reader or stream; -2 no
// data (nothing but blank lines; Olsen, MSF, PAUP: fewer entries than wanted; an empty file);
// -4 the wanted entry is not in the file (its ID is then empty); -8. *seqid receives a new copy
// of the entry's ID line (free()), "" when there is none; any out pointer may be null.
//
// seqlibReadFp reads from an open reader, which stays open. For the formats 10, 11, 12, 15 and 17
// the stream must be rewindable (open_read with OPEN_REWIND); for every other format the reader
// goes forward only and the line that begins the next entry is left pushed back in it, so that
// calls with wanted 1 hand out the entries one after the other. Mail-header lines (skiplines)
// are passed over only when the reader is at the start of its stream. Fatal: a read error
// ("Could not read file %s: %s").
char *seqlibReadFp(int wanted, InputReader *in, int skiplines, short format, int64_t *seqlen,
                   int *nseqs, short *error, char **seqid);
// seqlibReadFp on a file opened with open_read (rewindable for the formats that need it) and
// closed again. Fatal: "Couldn't open file %s: %s\n".
char *seqlibRead(int wanted, const char *filename, int skiplines, short format, int64_t *seqlen,
                 int *nseqs, short *error, char **seqid);
// The IDs of every entry: one line " %d)  %s\n" per entry (number, ID line without its leading
// blanks), owned by the caller; as seqlibRead with wanted -1.
char *listSeqs(const char *filename, int skiplines, short format, int *nseqs, short *error);

#endif
