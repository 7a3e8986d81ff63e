// Messages of the sequence-file library's error codes.
#include "sequences/seqlib_err.h"

#include <cstdio>
#include <string>

#include "foundation/errors.h"
#include "sequences/seqio.h"

namespace {

struct ErrMessage {
    int code;
    const char *format;
};

const ErrMessage err_messages[] = {
    {SEQERR_FILE_NOT_FOUND, "SeqLib (file %s): File not found\n"},
    {SEQERR_NO_DATA, "SeqLib (file %s): No data in file.\n"},
    {SEQERR_OUT_OF_MEMORY, "SeqLib (file %s): Out of storage memory. Sequence truncated.\n"},
    {SEQERR_ITEM_NOT_FOUND, "SeqLib (file %s): Specified item not in file.\n"},
    {SEQERR_ONE_PER_FILE,
     "SeqLib (file %s): Warning: This format permits only 1 sequence per file.\n"},
    {SEQERR_UNEQUAL_LENGTHS,
     "SeqLib (file %s): This format requires equal length sequences.\nSequence truncated or "
     "padded to fit.\n"},
    {SEQERR_CANT_OPEN_OUTPUT, "SeqLib (file %s): Can't open output file.\n"},
    {SEQERR_UNKNOWN_FORMAT, "SeqLib (file %s): Error: this format is unknown to me.\n"},
    {SEQERR_ASN1, "SeqLib (file %s): Error in ASN.1 sequence routines.\n"},
};

const char *const other_error = "SeqLib (file %s): seqlib error = %d\n";

}  // namespace

const char *seqlibErrFormat(int code) {
    if (code == SEQERR_NONE) return "";
    for (const ErrMessage &m : err_messages)
        if (m.code == code) return m.format;
    return other_error;
}

int seqlibErr(int code, const char *filename) {
    if (code == SEQERR_NONE) return 0;
    const std::string name = shown_text(filename);
    const char *format = seqlibErrFormat(code);
    if (format == other_error)
        fprintf(stderr, other_error, name.c_str(), code);
    else
        fprintf(stderr, format, name.c_str());
    return 1;
}
