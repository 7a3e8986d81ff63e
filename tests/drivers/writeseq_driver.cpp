// Writes the sequences named on the command line to standard output as one file of a library
// format, the way a converting program would use writeSeq: the formats that hold an alignment
// (Phylip, MSF, PAUP/NEXUS) get their file header and trailer around the entries, and the
// interleaved ones take the letter lines of the entries in turn, one block after the other.
// Usage: writeseq_driver FORMAT IDLINE LETTERS [IDLINE LETTERS]...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sequences/seqio.h"
#include "sequences/seqlib_write.h"

namespace {

std::vector<std::string> lines_of(short format, const char *letters, const char *idline) {
    FILE *fp = std::tmpfile();
    if (!fp) {
        std::perror("tmpfile");
        std::exit(1);
    }
    writeSeq(fp, letters, (int64_t)std::strlen(letters), format, idline);
    std::rewind(fp);
    std::vector<std::string> lines;
    std::string line;
    int c;
    while ((c = std::fgetc(fp)) != EOF) {
        line += (char)c;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(fp);
    return lines;
}

// The lines of every entry from line `from` on, in turn: a block holds line k of each entry.
void interleave(const std::vector<std::vector<std::string>> &entries, size_t from) {
    for (size_t k = from;; k++) {
        bool any = false;
        for (const auto &e : entries)
            if (k < e.size()) {
                if (!any && k > from) std::fputs("\n", stdout);
                std::fputs(e[k].c_str(), stdout);
                any = true;
            }
        if (!any) break;
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4 || argc % 2) {
        std::fprintf(stderr, "Usage: %s FORMAT IDLINE LETTERS [IDLINE LETTERS]...\n", argv[0]);
        return 1;
    }
    short format = (short)std::atoi(argv[1]);
    int nseq = (argc - 2) / 2;
    const char *first = argv[3];
    int64_t length = (int64_t)std::strlen(first);
    bool amino = getseqtype(first, length) == SEQKIND_PROTEIN;
    std::vector<std::vector<std::string>> entries;
    unsigned long check = 0;
    for (int i = 0; i < nseq; i++) {
        const char *letters = argv[3 + 2 * i];
        GCGchecksum(letters, (int64_t)std::strlen(letters), &check);
        entries.push_back(lines_of(format, letters, argv[2 + 2 * i]));
    }
    switch (format) {
        case SEQFORMAT_PHYLIP_SEQUENTIAL:
        case SEQFORMAT_PHYLIP:
            std::printf(" %d %lld\n", nseq, (long long)length);
            if (format == SEQFORMAT_PHYLIP) {
                interleave(entries, 0);
                return 0;
            }
            break;
        case SEQFORMAT_MSF:
            std::printf("  driver.msf  MSF: %lld  Type: %c  Check: %4lu  ..\n\n", (long long)length,
                        amino ? 'P' : 'N', check);
            for (const auto &e : entries) std::fputs(e[0].c_str(), stdout);
            std::printf("\n//\n\n");
            interleave(entries, 1);
            return 0;
        case SEQFORMAT_PAUP:
            std::printf("#NEXUS\nbegin data;\n  dimensions ntax=%d nchar=%lld;\n", nseq,
                        (long long)length);
            std::printf("  format datatype=%s interleave missing=- gap=-;\nmatrix\n",
                        amino ? "protein" : "dna");
            for (const auto &e : entries) std::fputs(e[0].c_str(), stdout);
            interleave(entries, 1);
            std::printf(";\nend;\n");
            return 0;
        default: break;
    }
    for (const auto &e : entries)
        for (const auto &l : e) std::fputs(l.c_str(), stdout);
    return 0;
}
