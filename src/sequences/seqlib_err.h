// Error codes of the sequence-file library and their messages. The library hands its errors back
// as negative codes (src/seqio.h: SEQERR_*); the caller prints the message with seqlibErr.
#ifndef QOR_SEQLIB_ERR_H
#define QOR_SEQLIB_ERR_H

// Error in the ASN.1 sequence routines (a code of the table that no reader sets).
constexpr short SEQERR_ASN1 = -10;

// The message of a code, a printf format taking the file name ("%s") and, for a code outside
// the table, the code ("%d" after the "%s"); "" for 0. Static text, not to be freed.
const char *seqlibErrFormat(int code);

// Writes the message of the code (file name and, for an unknown code, the code) to standard
// error; nothing for 0. Returns 1 for a non-zero code, 0 for 0. A null name prints as "".
int seqlibErr(int code, const char *filename);

#endif
