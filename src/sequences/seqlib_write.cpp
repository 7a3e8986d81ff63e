// Sequence writing in every format of the sequence-file library, the sequence-kind guess, the
// GCG and CRC-32 checksums, and gap removal.
#include "sequences/seqlib_write.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "sequences/seqio.h"
#include "foundation/errors.h"

const char *const SEQ_NOCOUNT_SYMBOLS = "_.-?";
const char *const SEQ_PROTEIN_ONLY = "EFIPQZ";
const char *const SEQ_NUCLEOTIDES = "ACGTU";
const char *const SEQ_AMINOS = "ABCDEFGHIKLMNPQRSTVWXYZ*";

PrettyOpts gPretty = {};

namespace {

// Symbols of sequence files that are neither letters nor counted by getseqtype.
const char *const SEQ_SYMBOLS = "_.-*?";
// getseqtype judges a sequence by this many leading characters.
constexpr int64_t SEQTYPE_SAMPLE = 300;
// Longest description and name taken from an ID line.
constexpr size_t MAX_DESCRIPTION = 128;
constexpr size_t MAX_NAME = 30;
// GCG checksums: the weight cycle and the modulus.
constexpr unsigned long GCG_CYCLE = 57;
constexpr unsigned long GCG_MODULUS = 10000;
// The name column of the Phylip formats.
constexpr size_t PHYLIP_NAME = 10;
// Columns of the ruler of position numbers.
constexpr int RULER_STEP = 10;

int upper(int c) {
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}
bool in_set(const char *set, int c) {
    return c != 0 && std::strchr(set, c) != nullptr;
}

// The CRC-32 table of the reflected polynomial 0xEDB88320.
struct CrcTable {
    uint32_t v[256];
    constexpr CrcTable() : v() {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            v[n] = c;
        }
    }
};
constexpr CrcTable crctab;

// The layout of the letter lines of one format.
struct Layout {
    bool numright = false, numleft = false, nameright = false, nameleft = false;
    bool baseonlynum = false;
    bool msfname = false;  // the MSF name column: right-aligned in 15 columns, not cut
    int numline = 0;
    long namewidth = 8;
    long numwidth = 0;
    long spacer = 0;  // block size: a blank where (characters in the line + 1) mod spacer is 1
    long width = 50;
    long tab = 0;
    long first = 0;  // column at which the first line starts (below 0: column 0, no margin)
    std::string endstr;
};

// "%s, %ld bases, %lX checksum." of the headers.
void print_note(FILE *outf, const std::string &desc, int64_t seqlen, unsigned long checksum) {
    std::fprintf(outf, "%s, %lld bases, %lX checksum.", desc.c_str(), (long long)seqlen, checksum);
}

void print_name(FILE *outf, const Layout &lay, const std::string &name) {
    if (lay.msfname)
        std::fprintf(outf, "%15s ", name.c_str());
    else
        std::fprintf(outf, "%*.*s ", (int)lay.namewidth, (int)lay.namewidth, name.c_str());
}

void print_number(FILE *outf, const Layout &lay, int64_t number) {
    if (lay.numline)
        std::fprintf(outf, "%*s ", (int)lay.numwidth, "");
    else
        std::fprintf(outf, "%*lld ", (int)lay.numwidth, (long long)number);
}

// The ASN.1 title: the text in double quotes, each double quote doubled.
std::string asn1_quoted(const char *text) {
    std::string out = "\"";
    for (const char *p = text; *p; p++) {
        if (*p == '"') out += '"';
        out += *p;
    }
    return out + "\"";
}

}  // namespace

short getseqtype(const char *seq, int64_t seqlen) {
    if (!seq) return SEQKIND_OTHER;
    int64_t n = std::min(seqlen, SEQTYPE_SAMPLE);
    int nucleotides = 0, aminos = 0, protein_only = 0, t_count = 0, u_count = 0, others = 0;
    for (int64_t i = 0; i < n; i++) {
        int c = upper((unsigned char)seq[i]);
        if (c == 'O' || c == 0) continue;
        if (in_set(SEQ_PROTEIN_ONLY, c)) {
            protein_only++;
        } else if (in_set(SEQ_NUCLEOTIDES, c)) {
            nucleotides++;
            if (c == 'T') t_count++;
            if (c == 'U') u_count++;
        } else if (in_set(SEQ_AMINOS, c)) {
            aminos++;
        } else if (in_set(SEQ_SYMBOLS, c)) {
            // gaps and stops count nowhere
        } else if (c >= 'A' && c <= 'Z') {
            others++;
        }
    }
    if (others > 0 || nucleotides + aminos + protein_only == 0) return SEQKIND_OTHER;
    if (protein_only > 0) return SEQKIND_PROTEIN;
    if (aminos == 0) return u_count > t_count ? SEQKIND_RNA : SEQKIND_DNA;
    if (nucleotides > aminos) return SEQKIND_NUCLEIC;
    return SEQKIND_PROTEIN;
}

unsigned long GCGchecksum(const char *seq, int64_t seqlen, unsigned long *total) {
    unsigned long check = 0;
    for (int64_t i = 0; seq && i < seqlen; i++) {
        unsigned long weight = (unsigned long)(i % GCG_CYCLE) + 1;
        check = (check + weight * (unsigned long)upper((unsigned char)seq[i])) % GCG_MODULUS;
    }
    if (total) *total = (*total + check) % GCG_MODULUS;
    return check;
}

uint32_t CRC32checksum(const char *seq, int64_t seqlen, uint32_t *total) {
    uint32_t c = 0xFFFFFFFFu;
    for (int64_t i = 0; seq && i < seqlen; i++) {
        uint32_t b = (uint32_t)upper((unsigned char)seq[i]);
        c = crctab.v[(c ^ b) & 0xFF] ^ (c >> 8);
    }
    c ^= 0xFFFFFFFFu;
    if (total) *total += c;
    return c;
}

char *compressSeq(char gapc, const char *seq, int64_t seqlen, int64_t *newlen) {
    if (newlen) *newlen = 0;
    if (!seq || seqlen <= 0 || !*seq) return nullptr;
    char *out = static_cast<char *>(mem_alloc((size_t)seqlen + 1));
    int64_t n = 0;
    for (int64_t i = 0; i < seqlen && seq[i]; i++)
        if (seq[i] != gapc) out[n++] = seq[i];
    out[n] = 0;
    if (n < seqlen - 10) out = static_cast<char *>(mem_realloc(out, (size_t)n + 1));
    if (newlen) *newlen = n;
    return out;
}

long writeSeq(FILE *outf, const char *seq, int64_t seqlen, short outform, const char *seqid) {
    if (!outf) return SEQERR_CANT_OPEN_OUTPUT;
    if (outform == SEQFORMAT_PRETTY && gPretty.seqwidth < 1) return SEQERR_BAD_PRETTY_WIDTH;
    if (!seq || seqlen < 0) seqlen = 0;
    long linesout = 0;
    gPretty.atseq++;

    // The ID line from its first character above the blank: at most 128 characters form the
    // description, its first word (at most 30 characters) the name.
    const char *idline = seqid ? seqid : "";
    while (*idline && (unsigned char)*idline <= ' ') idline++;
    std::string desc(idline, std::min(std::strlen(idline), MAX_DESCRIPTION));
    size_t word = 0;
    while (word < desc.size() && word < MAX_NAME && !std::isspace((unsigned char)desc[word]))
        word++;
    std::string name = desc.substr(0, word);
    // An old length-and-checksum note is dropped.
    size_t bases = desc.find("bases");
    if (desc.find("checksum") != std::string::npos && bases != std::string::npos && bases > 0) {
        size_t comma = desc.rfind(',', bases - 1);
        if (comma != std::string::npos) desc.resize(comma);
    }

    Layout lay;
    lay.numwidth = (long)std::to_string((long long)seqlen).size() + 1;
    unsigned long checksum = 0;
    if (outform == SEQFORMAT_GCG || outform == SEQFORMAT_MSF)
        checksum = GCGchecksum(seq, seqlen, nullptr);
    else
        checksum = CRC32checksum(seq, seqlen, nullptr);
    const long long len = (long long)seqlen;
    bool open_line = false;  // the header leaves a line open for the letters

    switch (outform) {
        case SEQFORMAT_UNKNOWN:
        case SEQFORMAT_PLAIN: lay.endstr = "\n"; break;
        case SEQFORMAT_IG:
            std::fprintf(outf, ";");
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\n%s\n", name.c_str());
            lay.endstr = "1";
            linesout += 2;
            break;
        case SEQFORMAT_GENBANK:
        case SEQFORMAT_OLSEN:
            std::fprintf(outf, "LOCUS       %s       %lld bp\n", name.c_str(), len);
            std::fprintf(outf, "DEFINITION  ");
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\nORIGIN      \n");
            lay.spacer = 11;
            lay.numleft = true;
            lay.numwidth = 8;
            lay.endstr = "\n//";
            linesout += 4;
            break;
        case SEQFORMAT_NBRF:
            std::fprintf(outf, getseqtype(seq, seqlen) == SEQKIND_PROTEIN ? ">P1;%s\n" : ">DL;%s\n",
                         name.c_str());
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\n");
            lay.spacer = 11;
            lay.endstr = "*\n";
            linesout += 3;
            break;
        case SEQFORMAT_EMBL:
            std::fprintf(outf, "ID   %s\nDE   ", name.c_str());
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\nSQ             %lld BP\n", len);
            lay.endstr = "\n//";
            lay.tab = 4;
            lay.spacer = 11;
            lay.width = 60;
            linesout += 4;
            break;
        case SEQFORMAT_GCG:
            std::fprintf(outf, "%s\n", desc.c_str());
            std::fprintf(outf, "    %s  Length: %lld  (today)  Check: %lu  ..\n", name.c_str(), len,
                         checksum);
            lay.spacer = 11;
            lay.numleft = true;
            lay.endstr = "\n";
            linesout += 3;
            break;
        case SEQFORMAT_STRIDER:
            std::fprintf(outf, "; ### from DNA Strider ;-)\n; DNA sequence  ");
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\n;\n");
            lay.endstr = "\n//";
            linesout += 3;
            break;
        case SEQFORMAT_FITCH:
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\n");
            lay.spacer = 4;
            lay.width = 60;
            linesout += 1;
            break;
        case SEQFORMAT_PHYLIP_SEQUENTIAL:
        case SEQFORMAT_PHYLIP:
            std::fprintf(outf, "%-10s  ", name.substr(0, PHYLIP_NAME).c_str());
            lay.first = -1;
            lay.tab = 12;
            lay.spacer = 11;
            open_line = true;
            break;
        case SEQFORMAT_PIR:
            std::fprintf(outf, "ENTRY           %s \nTITLE           ", name.c_str());
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\nSEQUENCE        \n");
            lay.numwidth = 7;
            lay.width = 30;
            lay.spacer = SEQ_BLANK_EVERY_LETTER;
            lay.numleft = true;
            lay.endstr = "\n///";
            std::fprintf(outf, "%*s", (int)lay.numwidth, "");
            for (long j = 5; j <= lay.width; j += 5) std::fprintf(outf, "%10ld", j);
            std::fprintf(outf, "\n");
            linesout += 5;
            break;
        case SEQFORMAT_MSF:
            std::fprintf(outf, " Name: %-16s Len:%6lld  Check: %5lu  Weight:  1.00\n", name.c_str(),
                         len, checksum);
            lay.nameleft = true;
            lay.namewidth = 15;
            lay.msfname = true;
            lay.spacer = 11;
            lay.width = 50;
            linesout += 1;
            break;
        case SEQFORMAT_ASN1: {
            short kind = getseqtype(seq, seqlen);
            const char *mol = kind == SEQKIND_DNA       ? "dna"
                              : kind == SEQKIND_RNA     ? "rna"
                              : kind == SEQKIND_NUCLEIC ? "na"
                              : kind == SEQKIND_PROTEIN ? "aa"
                                                        : "not-set";
            std::fprintf(outf, "  seq {\n    id { local id %d },\n", gPretty.atseq);
            std::fprintf(outf, "    descr { title %s },\n", asn1_quoted(idline).c_str());
            std::fprintf(outf,
                         "    inst {\n      repr raw, mol %s, length %lld, topology linear,\n", mol,
                         len);
            std::fprintf(outf, "      seq-data\n        %s \"",
                         kind == SEQKIND_PROTEIN ? "iupacaa" : "iupacna");
            lay.first = 17;
            lay.width = 78;
            lay.endstr = "\"\n      } } ,";
            open_line = true;
            linesout += 7;
            break;
        }
        case SEQFORMAT_PAUP:
            lay.nameleft = true;
            lay.namewidth = 9;
            lay.spacer = 21;
            lay.width = 100;
            std::fprintf(outf, "[Name: %-16s  Len:%6lld  Check: %8lX]\n", name.c_str(), len,
                         checksum);
            linesout += 1;
            break;
        case SEQFORMAT_PRETTY:
            lay.numline = gPretty.numline;
            lay.baseonlynum = gPretty.baseonlynum != 0;
            lay.namewidth = gPretty.namewidth;
            lay.numright = gPretty.numright != 0;
            lay.numleft = gPretty.numleft != 0;
            lay.nameright = gPretty.nameright != 0;
            lay.nameleft = gPretty.nameleft != 0;
            lay.spacer = gPretty.spacer + 1;
            lay.width = gPretty.seqwidth;
            lay.tab = gPretty.tab;
            if (gPretty.header) {
                std::fprintf(outf, "Name: %-16s  Len:%6lld  Check: %8lX\n", name.c_str(), len,
                             checksum);
                linesout += 1;
            }
            break;
        default:  // Pearson, Zuker and every other number
            std::fprintf(outf, ">");
            print_note(outf, desc, seqlen, checksum);
            std::fprintf(outf, "\n");
            linesout += 1;
            break;
    }

    std::string nocount = SEQ_NOCOUNT_SYMBOLS;
    if (lay.baseonlynum) {
        if (gPretty.gapchar != 0 && nocount.find(gPretty.gapchar) == std::string::npos)
            nocount += gPretty.gapchar;
        size_t m = gPretty.domatch && gPretty.matchchar != 0 ? nocount.find(gPretty.matchchar)
                                                             : std::string::npos;
        if (m != std::string::npos) nocount[m] = ' ';
    }
    if (lay.numline) name.clear();
    lay.width = std::min(lay.width, (long)SEQ_MAX_LINE_WIDTH);

    // A blank goes into the line before the next character.
    std::string line;
    auto block_blank = [&]() {
        long long l = (long long)line.size();
        return lay.spacer == SEQ_BLANK_EVERY_LETTER ||
               (lay.spacer != 0 && (l + 1) % lay.spacer == 1);
    };
    long column = lay.first;
    int64_t ibase = 1;
    for (int64_t i = 0; i < seqlen;) {
        if (column < 0) {
            column = 0;
        } else if (column == 0) {
            if (lay.nameleft) print_name(outf, lay, name);
            if (lay.numleft) print_number(outf, lay, ibase);
            for (long j = 0; j < lay.tab; j++) std::fputc(' ', outf);
        }
        column++;
        if (lay.numline) {
            if (block_blank()) {
                if (lay.numline == 1) std::fputc(' ', outf);
                line += ' ';
            }
            if (column % RULER_STEP == 1 || column == lay.width) {
                if (lay.numline == 1) std::fprintf(outf, "%-9lld ", (long long)(i + 1));
                line += '|';
            } else {
                line += ' ';
            }
            i++;
        } else {
            if (block_blank()) line += ' ';
            line += seq[i];
            if (!lay.baseonlynum || nocount.find(seq[i]) == std::string::npos) ibase++;
            i++;
        }
        if (column >= lay.width || i == seqlen) {
            if (outform == SEQFORMAT_PRETTY) {
                for (; column < lay.width; column++) {
                    if (block_blank()) line += ' ';
                    line += ' ';
                }
            }
            if (lay.numline) {
                if (lay.numline == 2) std::fputs(line.c_str(), outf);
            } else {
                std::fwrite(line.data(), 1, line.size(), outf);
                if (i == seqlen) std::fputs(lay.endstr.c_str(), outf);
                if (lay.numright || lay.nameright) std::fputc(' ', outf);
                if (lay.numright) print_number(outf, lay, ibase - 1);
                if (lay.nameright) print_name(outf, lay, name);
            }
            std::fputc('\n', outf);
            linesout++;
            line.clear();
            column = 0;
        }
    }
    // An empty sequence still closes its entry: the open header line ends, and the end string
    // (the entry terminator of most formats) is written.
    if (seqlen == 0 && (open_line || lay.endstr.find_first_not_of('\n') != std::string::npos)) {
        std::fprintf(outf, "%s\n", lay.endstr.c_str());
        linesout++;
    }
    return linesout;
}
