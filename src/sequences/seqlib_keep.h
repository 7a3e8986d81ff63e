// The characters that the sequence-file library's readers keep from a line: letters (A-Z, a-z)
// and the sequence symbols "_.-*?". The plain version; seqlib_keep_fast.h holds the fast one,
// which gives the same result.
#ifndef QOR_SEQLIB_KEEP_H
#define QOR_SEQLIB_KEEP_H

#include <cstddef>

// Copies the kept characters of text[0..length) to out, in order; returns their number. out must
// have room for length bytes.
size_t seqlib_keep_plain(const char *text, size_t length, char *out);

#endif
