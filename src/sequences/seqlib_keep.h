// The characters that the sequence-file library's readers keep from a line: letters (A-Z, a-z)
// and the sequence symbols "_.-*?". A plain version and a fast one (16 bytes at a time where the
// processor has the byte shuffle) that give the same result.
#ifndef QOR_SEQLIB_KEEP_H
#define QOR_SEQLIB_KEEP_H

#include <cstddef>

// Room past length that out must have for seqlib_keep_fast (it stores 8 bytes at a time).
constexpr size_t SEQLIB_KEEP_SLACK = 16;

// Copies the kept characters of text[0..length) to out, in order; returns their number. out must
// have room for length bytes.
size_t seqlib_keep_plain(const char *text, size_t length, char *out);
// The same as seqlib_keep_plain; out must have room for length + SEQLIB_KEEP_SLACK bytes (the
// bytes past the result are scratch).
size_t seqlib_keep_fast(const char *text, size_t length, char *out);

#endif
