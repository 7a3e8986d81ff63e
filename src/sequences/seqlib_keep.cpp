// The characters that the sequence-file library's readers keep: the plain version.
#include "sequences/seqlib_keep.h"

#include <cstring>

namespace {

const char seq_symbols[] = "_.-*?";

struct KeepTable {
    bool keep[256] = {};
    KeepTable() {
        for (int c = 1; c < 256; c++)
            keep[c] =
                (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || std::strchr(seq_symbols, c);
    }
};
const KeepTable keep_table;

}  // namespace

size_t seqlib_keep_plain(const char *text, size_t length, char *out) {
    size_t n = 0;
    for (size_t i = 0; i < length; i++)
        if (keep_table.keep[static_cast<unsigned char>(text[i])]) out[n++] = text[i];
    return n;
}
