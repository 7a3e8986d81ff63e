// Sequence writing in every format of the sequence-file library, and the helpers the library
// shares: the sequence-kind guess, the GCG and CRC-32 checksums, and gap removal. Format numbers
// are the SEQFORMAT_* constants of src/seqio.h.
#ifndef QOR_SEQLIB_WRITE_H
#define QOR_SEQLIB_WRITE_H

#include <cstdint>
#include <cstdio>

#include "sequences/seqio.h"

// Sequence kinds, results of getseqtype: the SEQKIND_* constants of src/seqio.h.
// Symbols that are neither letters nor counted as bases by the position numbers.
extern const char *const SEQ_NOCOUNT_SYMBOLS;  // "_.-?"
// Letters that only occur in protein, nucleotide letters, and every amino-acid letter.
extern const char *const SEQ_PROTEIN_ONLY;  // "EFIPQZ"
extern const char *const SEQ_NUCLEOTIDES;   // "ACGTU"
extern const char *const SEQ_AMINOS;        // "ABCDEFGHIKLMNPQRSTVWXYZ*"

// writeSeq refuses Pretty options whose line width is below 1 (gPretty.seqwidth) with this code.
constexpr long SEQERR_BAD_PRETTY_WIDTH = -9;

// Blocks of one blank before every letter (the block size of the PIR layout).
constexpr int SEQ_BLANK_EVERY_LETTER = -9;
// Most letters on one written line.
constexpr int SEQ_MAX_LINE_WIDTH = 250;

// Options of the Pretty format (18). Nothing in the system sets them, so they start all zero; a
// caller may set them before writing.
struct PrettyOpts {
    uint8_t baseonlynum;  // the running position counts only letters outside the no-count symbols
    uint8_t numright;     // a position number after each line
    uint8_t numleft;      // a position number before each line
    uint8_t nameright;    // the name after each line
    uint8_t nameleft;     // the name before each line
    uint8_t header;       // write "Name: %-16s  Len:%6ld  Check: %8lX\n" first
    uint8_t domatch;      // with baseonlynum, the match character counts as a base
    char matchchar;       // the match character
    char gapchar;         // with baseonlynum, also a no-count symbol
    int16_t numline;      // 0 letters; 1 a ruler of position numbers and marks; 2 the marks only
    int32_t atseq;        // entries written so far (every writeSeq call); the ASN.1 local id
    int16_t namewidth;    // width of the name columns
    int16_t spacer;       // a blank every spacer + 1 output columns (0: none)
    int16_t seqwidth;     // letters per line; below 1 is refused
    int16_t tab;          // blanks between the left margin and the letters
};
extern PrettyOpts gPretty;

// The kind of a sequence judged from its first 300 characters: SEQKIND_OTHER (a letter outside
// every set, or no letter of any set), SEQKIND_PROTEIN, SEQKIND_DNA, SEQKIND_RNA or
// SEQKIND_NUCLEIC. Null letters give SEQKIND_OTHER.
short getseqtype(const char *seq, int64_t seqlen);

// GCG checksum of the letters (a-z counted as A-Z): the sum of ((i mod 57) + 1) times the byte
// over positions i, modulo 10000. Adds it to *total (when given) modulo 10000.
unsigned long GCGchecksum(const char *seq, int64_t seqlen, unsigned long *total);

// CRC-32 (reflected polynomial 0xEDB88320, initial value and final complement 0xFFFFFFFF) of the
// letters with a-z folded to A-Z. Adds it to *total (when given; 32-bit, wraps).
uint32_t CRC32checksum(const char *seq, int64_t seqlen, uint32_t *total);

// A copy of the letters (at most seqlen, up to a NUL) without the gap character; *newlen (when
// given) receives its length. Null or empty letters give null and length 0. The copy is owned by
// the caller (free()). Fatal (out of memory): as mem_alloc.
char *compressSeq(char gapc, const char *seq, int64_t seqlen, int64_t *newlen);

// Writes one sequence, its letters and its ID line (the first word is the name, the rest a
// description), to the stream in the given format; formats without a writer of their own are
// written as Pearson (FASTA), 0 as Plain, Olsen as GenBank, Zuker as Pearson. Increments
// gPretty.atseq. Returns the number of lines counted for the entry; nothing is written and the
// counter stays for a null stream (SEQERR_CANT_OPEN_OUTPUT) and for the Pretty format when
// gPretty.seqwidth is below 1 (SEQERR_BAD_PRETTY_WIDTH). Formats that hold several entries in
// one file (MSF, Phylip, PAUP, ASN.1) get only the entry's own lines: the caller writes the
// file's header and trailer.
long writeSeq(FILE *outf, const char *seq, int64_t seqlen, short outform, const char *seqid);

#endif
