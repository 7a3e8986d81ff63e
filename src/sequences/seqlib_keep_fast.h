// The characters that the sequence-file library's readers keep from a line, as seqlib_keep.h
// gives them, taken 16 bytes at a time where the processor has the byte shuffle.
#ifndef QOR_SEQLIB_KEEP_FAST_H
#define QOR_SEQLIB_KEEP_FAST_H

#include <cstddef>

// Room past length that out must have for seqlib_keep_fast (it stores 8 bytes at a time).
constexpr size_t SEQLIB_KEEP_SLACK = 16;

// The same as seqlib_keep_plain (seqlib_keep.h); out must have room for length +
// SEQLIB_KEEP_SLACK bytes (the bytes past the result are scratch).
size_t seqlib_keep_fast(const char *text, size_t length, char *out);

#endif
