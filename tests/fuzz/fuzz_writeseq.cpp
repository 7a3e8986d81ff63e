// Fuzz harness of the sequence writer: the first byte picks the format, the next bytes set the
// Pretty options, then an ID line up to the first newline and the letters (any bytes) follow.
// Every format must write without fault; Pearson output must hold the letters unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sequences/seqio.h"
#include "sequences/seqlib_write.h"

static const size_t OPTION_BYTES = 12;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 + OPTION_BYTES) return 0;
    short format = (short)(data[0] % 22) - 1;
    const uint8_t *o = data + 1;
    gPretty = PrettyOpts{};
    gPretty.baseonlynum = o[0] & 1;
    gPretty.numright = o[0] & 2;
    gPretty.numleft = o[0] & 4;
    gPretty.nameright = o[0] & 8;
    gPretty.nameleft = o[0] & 16;
    gPretty.header = o[0] & 32;
    gPretty.domatch = o[0] & 64;
    gPretty.matchchar = (char)o[1];
    gPretty.gapchar = (char)o[2];
    gPretty.numline = (int16_t)(o[3] % 4);
    gPretty.namewidth = (int16_t)((int8_t)o[4]);
    gPretty.spacer = (int16_t)((int8_t)o[5]);
    gPretty.seqwidth = (int16_t)(o[6] | (o[7] << 8));
    gPretty.tab = (int16_t)((int8_t)o[8]);
    gPretty.atseq = (int32_t)(o[9] | (o[10] << 8) | (o[11] << 16));
    std::string rest(reinterpret_cast<const char *>(data + 1 + OPTION_BYTES),
                     size - 1 - OPTION_BYTES);
    size_t nl = rest.find('\n');
    std::string id = nl == std::string::npos ? rest : rest.substr(0, nl);
    std::string letters = nl == std::string::npos ? "" : rest.substr(nl + 1);
    id = id.c_str();  // the ID line is a C string
    FILE *fp = std::tmpfile();
    if (!fp) return 0;
    long lines = writeSeq(fp, letters.data(), (int64_t)letters.size(), format, id.c_str());
    if (lines < 0 && !(format == SEQFORMAT_PRETTY && lines == SEQERR_BAD_PRETTY_WIDTH)) abort();
    if (format == SEQFORMAT_FASTA && letters.find('\n') == std::string::npos) {
        std::string out;
        std::rewind(fp);
        int c;
        while ((c = std::fgetc(fp)) != EOF) out += (char)c;
        size_t body = out.find('\n') + 1;
        std::string got;
        for (size_t i = body; i < out.size(); i++)
            if (out[i] != '\n') got += out[i];
        if (got != letters) abort();
    }
    std::fclose(fp);
    return 0;
}
