// The sequence-file library: the table of format numbers, names and keywords, and the format
// detection of a file from its content (the readers are in seqlib_read.h, the writers in
// seqlib_write.h). Format numbers and error codes are the SEQFORMAT_* and SEQERR_* constants of
// sequences/seqio.h; messages of the error codes come from seqlibErr (sequences/seqlib_err.h).
// Nothing here ends the run except a file that cannot be opened or read: every other problem
// comes back as an error code.
#ifndef QOR_SEQLIB_H
#define QOR_SEQLIB_H

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
// is of no further use; reopen or rewind to read the file), taking long lines of text
// (long_text_lines, reader.h): a line that may be residues keeps any length. Fatal: a longer line
// of other bytes (reader_line_too_long).
short seqFileFormatFp(InputReader *in, int *skiplines, short *error);
// seqFileFormatFp on a file opened with open_read. Fatal: "Couldn't open file %s: %s\n".
short seqFileFormat(const char *filename, int *skiplines, short *error);

#endif
