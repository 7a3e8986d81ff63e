// The sequence-file library's format table and keywords, and the detection of a file's format
// from its content.
#include "sequences/seqlib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sequences/seqio.h"
#include "sequences/seqlib_write.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

const SeqFormName formname[SEQLIB_NFORMNAMES] = {
    {"ig", SEQFORMAT_IG},
    {"stanford", SEQFORMAT_IG},
    {"genbank", SEQFORMAT_GENBANK},
    {"gb", SEQFORMAT_GENBANK},
    {"nbrf", SEQFORMAT_NBRF},
    {"embl", SEQFORMAT_EMBL},
    {"gcg", SEQFORMAT_GCG},
    {"uwgcg", SEQFORMAT_GCG},
    {"dnastrider", SEQFORMAT_STRIDER},
    {"strider", SEQFORMAT_STRIDER},
    {"fitch", SEQFORMAT_FITCH},
    {"pearson", SEQFORMAT_FASTA},
    {"fasta", SEQFORMAT_FASTA},
    {"zuker", SEQFORMAT_ZUKER},
    {"olsen", SEQFORMAT_OLSEN},
    {"phylip", SEQFORMAT_PHYLIP},
    {"phylip3.2", SEQFORMAT_PHYLIP_SEQUENTIAL},
    {"phylip3.3", SEQFORMAT_PHYLIP},
    {"phylip3.4", SEQFORMAT_PHYLIP},
    {"phylip-interleaved", SEQFORMAT_PHYLIP},
    {"phylip-sequential", SEQFORMAT_PHYLIP_SEQUENTIAL},
    {"plain", SEQFORMAT_PLAIN},
    {"raw", SEQFORMAT_PLAIN},
    {"pir", SEQFORMAT_PIR},
    {"codata", SEQFORMAT_PIR},
    {"asn.1", SEQFORMAT_ASN1},
    {"msf", SEQFORMAT_MSF},
    {"paup", SEQFORMAT_PAUP},
    {"nexus", SEQFORMAT_PAUP},
    {"pretty", SEQFORMAT_PRETTY},
    {"HSSP", SEQFORMAT_HSSP},
    {"QorHMM", SEQFORMAT_MODEL},
};

const char *const formats[SEQLIB_NFORMATS] = {
    " 1. IG/Stanford",
    " 2. GenBank/GB",
    " 3. NBRF",
    " 4. EMBL",
    " 5. GCG",
    " 6. DNAStrider",
    " 7. Fitch",
    " 8. Pearson/Fasta",
    " 9. Zuker (in-only)",
    "10. Olsen (in-only)",
    "11. Phylip3.2",
    "12. Phylip",
    "13. Plain/Raw",
    "14. PIR/CODATA",
    "15. MSF",
    "16. ASN.1",
    "17. PAUP/NEXUS",
    "18. Pretty (out-only)",
};

const char *SeqFormatString(int format) {
    for (const SeqFormName &row : formname)
        if (row.number == format) return row.name;
    return "unknown";
}

const char *seqlibFormatStr(int format) {
    if (format >= 1 && format <= SEQLIB_NFORMATS) return formats[format - 1];
    if (format == SEQFORMAT_ASN1_SEQ_ENTRY || format == SEQFORMAT_ASN1_BIOSEQ_SET)
        return formats[SEQFORMAT_ASN1 - 1];
    if (format == SEQFORMAT_PHYLIP_VARIANT_1 || format == SEQFORMAT_PHYLIP_VARIANT_2)
        return formats[SEQFORMAT_PHYLIP - 1];
    return "(unknown)";
}

// ---------------------------------------------------------------------------------------------
// Detection
// ---------------------------------------------------------------------------------------------

namespace {

// Most lines detection reads before it decides (grows by one for each long Olsen header line).
constexpr long DETECT_LINE_LIMIT = 500;
// Column where Phylip sequence data begin (the name takes the 10 columns before it).
constexpr size_t PHYLIP_NAME_WIDTH = 10;
// At most this many leading blanks of a Phylip row are counted.
constexpr int PHYLIP_MAX_INDENT = 10;
// Detection result while no format is decided yet.
constexpr short UNDECIDED = -2;

bool holds(const char *line, const char *text) {
    return strstr(line, text) != nullptr;
}

bool is_letter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_print(unsigned char c) {
    return c >= ' ' && c < 127;
}

bool blank_line(const char *line, size_t length) {
    for (size_t i = 0; i < length; i++)
        if (!is_space(static_cast<unsigned char>(line[i]))) return false;
    return true;
}

// The text of a line from a column on ("" past its end).
const char *from_column(const std::string &line, size_t column) {
    return column < line.size() ? line.c_str() + column : "";
}

}  // namespace

namespace {

enum Sign {
    SIGN_STRIDER,
    SIGN_GENBANK,
    SIGN_PIR,
    SIGN_EMBL,
    SIGN_NBRF,
    SIGN_IG,
    SIGN_PEARSON,
    SIGN_ZUKER,
    SIGN_PHYLIP,
    SIGN_FITCH,
    SIGN_COUNT
};

// Format of each sign, in the order in which a set sign wins.
const short sign_format[SIGN_COUNT] = {
    SEQFORMAT_STRIDER, SEQFORMAT_GENBANK, SEQFORMAT_PIR,   SEQFORMAT_EMBL,   SEQFORMAT_NBRF,
    SEQFORMAT_IG,      SEQFORMAT_FASTA,   SEQFORMAT_ZUKER, SEQFORMAT_PHYLIP, SEQFORMAT_FITCH};

// Reads two decimal numbers after leading blanks ("%ld%ld"); false when either is missing.
bool two_numbers(const char *line, long *a, long *b) {
    char *end = nullptr;
    long x = strtol(line, &end, 10);
    if (end == line) return false;
    const char *rest = end;
    long y = strtol(rest, &end, 10);
    if (end == rest) return false;
    *a = x;
    *b = y;
    return true;
}

// The text holds gap symbols and blanks only, at least one gap: the first row of an alignment
// whose first sequence starts later than the others.
bool gaps_only(const char *text) {
    bool gap = false;
    for (; *text; text++) {
        if (strchr(SEQ_NOCOUNT_SYMBOLS, *text))
            gap = true;
        else if (!is_space(static_cast<unsigned char>(*text)))
            return false;
    }
    return gap;
}

long printable_count(const char *text) {
    long n = 0;
    for (; *text; text++)
        if (is_print(static_cast<unsigned char>(*text))) n++;
    return n;
}

bool nucleic_kind(int kind) {
    return kind == SEQKIND_DNA || kind == SEQKIND_RNA;
}

// The lines of a possible Phylip file from its header line on, as far as detection read them;
// the vote reads further lines from the reader.
struct PhylipLines {
    std::vector<std::string> lines;
    size_t next = 0;
    InputReader *in = nullptr;
    // The next non-blank line; false at the end of the stream.
    bool get(std::string &line) {
        for (;;) {
            if (next < lines.size()) {
                line = lines[next++];
            } else {
                char *text = nullptr;
                size_t length = 0;
                if (!reader_line(in, &text, &length)) return false;
                line.assign(text, length);
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!blank_line(line.c_str(), line.size())) return true;
        }
    }
};

// Tells the Phylip layouts apart: 12 interleaved or 11 sequential, from the header line (first
// stored line) and up to twice the header's count of rows after it. Blank lines are no rows, and
// the vote ends at the end of the stream.
short phylip_vote(PhylipLines &src) {
    std::string line;
    if (!src.get(line)) return SEQFORMAT_PHYLIP;
    long n = 0, m = 0;
    if (!two_numbers(line.c_str(), &n, &m) || n <= 0 || m <= 0) return SEQFORMAT_PHYLIP;
    if (!src.get(line)) return SEQFORMAT_PHYLIP;
    long interleaved = 0, sequential = 0;
    long running = printable_count(from_column(line, PHYLIP_NAME_WIDTH));
    for (long row = 2; row <= 2 * n; row++) {
        if (!src.get(line)) break;
        const char *data = from_column(line, PHYLIP_NAME_WIDTH);
        int s = getseqtype(data, static_cast<long>(strlen(data)));
        int t =
            getseqtype(line.c_str(), static_cast<long>(std::min(line.size(), PHYLIP_NAME_WIDTH)));
        int w = 0;
        while (w < PHYLIP_MAX_INDENT && w < static_cast<int>(line.size()) &&
               is_space(static_cast<unsigned char>(line[w])))
            w++;
        running += printable_count(line.c_str());
        if (row <= n) {
            if (w > 8) {
                sequential += 10;
            } else {
                if (s == t)
                    sequential++;
                else
                    interleaved++;
                if (nucleic_kind(t))
                    sequential++;
                else
                    interleaved++;
            }
            if (running <= m && w <= 8) {
                if (t == SEQKIND_OTHER)
                    interleaved += 10;
                else if (t == SEQKIND_PROTEIN || nucleic_kind(t))
                    sequential++;
                else
                    interleaved++;
            } else if (running > m) {
                running = 0;
            }
        } else {
            if (w <= 8) {
                if (t == SEQKIND_OTHER) sequential += 10;
                if (s == t)
                    interleaved++;
                else
                    sequential++;
                if (nucleic_kind(t))
                    interleaved++;
                else
                    sequential++;
            }
            if (running > m) {
                if (w >= PHYLIP_MAX_INDENT)
                    interleaved += 10;
                else if (t == SEQKIND_OTHER)
                    sequential += 10;
                running = 0;
            }
        }
    }
    return interleaved > sequential ? SEQFORMAT_PHYLIP : SEQFORMAT_PHYLIP_SEQUENTIAL;
}

}  // namespace

short seqFileFormatFp(InputReader *in, int *skiplines, short *error) {
    if (skiplines) *skiplines = 0;
    if (!in || !in->stream) {
        if (error) *error = SEQERR_FILE_NOT_FOUND;
        return SEQFORMAT_NO_STREAM;
    }
    if (error) *error = SEQERR_NONE;
    in->long_text_lines = true;  // a line may be a whole sequence

    bool sign[SIGN_COUNT] = {};
    bool is_msf = false, is_gcg = false, is_olsen = false, is_asn = false, is_paup = false;
    bool maybe_phylip = false;
    long nlines = 0, skip = 0, limit = DETECT_LINE_LIMIT;
    long other_lines = 0, nucleic_lines = 0, amino_lines = 0;
    PhylipLines phylip;
    phylip.in = in;
    std::string line;

    for (;;) {
        bool done = reader_at_end(in);
        line.clear();
        if (!done) {
            char *text = nullptr;
            size_t length = 0;
            reader_line(in, &text, &length);
            line.assign(text, length);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            nlines++;
            if (maybe_phylip) phylip.lines.push_back(line);
        }
        const char *s = line.c_str();

        // Mail headers before the data.
        if (!done && nlines <= 3 && (starts_with(s, "From ") || starts_with(s, "Received:"))) {
            char *text = nullptr;
            size_t length = 0;
            for (;;) {
                if (!reader_line(in, &text, &length)) {
                    done = true;
                    break;
                }
                nlines++;
                if (blank_line(text, length)) break;
            }
            skip = nlines;
            line.clear();
            s = line.c_str();
        }

        if (!blank_line(s, line.size())) {
            if (holds(s, "MSF:") && holds(s, "Type:") && holds(s, "Check:")) {
                is_msf = true;
            } else if (holds(s, "..") && holds(s, "Check:")) {
                is_gcg = true;
            } else if (holds(s, "identity:   Data:")) {
                is_olsen = true;
            } else if (holds(s, "::=") &&
                       (holds(s, "Bioseq") || holds(s, "Seq-entry") || holds(s, "Seq-submit"))) {
                is_asn = true;
            } else if (starts_with(s, "#NEXUS")) {
                is_paup = true;
            } else if (s[0] == ';') {
                if (holds(s, "Strider"))
                    sign[SIGN_STRIDER] = true;
                else
                    sign[SIGN_IG] = true;
            } else if (starts_with(s, "LOCUS") || starts_with(s, "ORIGIN")) {
                sign[SIGN_GENBANK] = true;
            } else if (starts_with(s, "ENTRY   ") || starts_with(s, "SEQUENCE")) {
                sign[SIGN_PIR] = true;
            } else if (s[0] == '>') {
                if (line.size() > 3 && s[3] == ';')
                    sign[SIGN_NBRF] = true;
                else
                    sign[SIGN_PEARSON] = true;
            } else if (starts_with(s, "ID   ") || starts_with(s, "SQ   ")) {
                sign[SIGN_EMBL] = true;
            } else if (s[0] == '(') {
                sign[SIGN_ZUKER] = true;
            } else {
                long a = 0, b = 0;
                if (nlines == skip + 1 && two_numbers(s, &a, &b) && a > 0 && b > 0) {
                    maybe_phylip = true;
                    phylip.lines.push_back(line);
                }
                if (maybe_phylip && nlines == skip + 2 &&
                    is_letter(static_cast<unsigned char>(s[0]))) {
                    const char *data = from_column(line, PHYLIP_NAME_WIDTH);
                    if (getseqtype(data, static_cast<long>(strlen(data))) != SEQKIND_OTHER ||
                        gaps_only(data))
                        sign[SIGN_PHYLIP] = true;
                }
                if (line.size() > 20) {
                    bool fitch = true;
                    for (size_t i = 0; i < line.size() && fitch; i++) {
                        bool blank = s[i] == ' ';
                        fitch = (i % 4 == 0) ? blank : !blank;
                    }
                    if (fitch) sign[SIGN_FITCH] = true;
                }
                int kind = getseqtype(s, static_cast<long>(line.size()));
                if (kind == SEQKIND_OTHER)
                    other_lines++;
                else if (nucleic_kind(kind))
                    nucleic_lines++;
                else if (kind == SEQKIND_PROTEIN)
                    amino_lines++;
            }
        }

        short result = UNDECIDED;
        if (is_olsen)
            result = SEQFORMAT_OLSEN;
        else if (is_msf)
            result = SEQFORMAT_MSF;
        else if (is_asn)
            result = holds(s, "Bioseq-set")  ? SEQFORMAT_ASN1_BIOSEQ_SET
                     : holds(s, "Seq-entry") ? SEQFORMAT_ASN1_SEQ_ENTRY
                                             : SEQFORMAT_ASN1;
        else if (is_paup)
            result = SEQFORMAT_PAUP;
        else if (is_gcg)
            result = sign[SIGN_IG] ? SEQFORMAT_IG : SEQFORMAT_GCG;
        else if (nucleic_lines > 1 || done || nlines > limit) {
            result = SEQFORMAT_UNKNOWN;
            int first = 0;
            while (first < SIGN_COUNT && !sign[first]) first++;
            if (first < SIGN_COUNT)
                result = sign_format[first];
            else if (other_lines > 0)
                result = SEQFORMAT_UNKNOWN;
            else if (nucleic_lines > 0 || amino_lines > 0)
                result = SEQFORMAT_PLAIN;
        } else if (holds(s, "): ")) {
            limit++;
        }
        if (result == UNDECIDED) continue;
        if (skiplines) *skiplines = static_cast<int>(skip);
        if (result == SEQFORMAT_PHYLIP) {
            phylip.next = 0;
            result = phylip_vote(phylip);
        }
        return result;
    }
}

short seqFileFormat(const char *filename, int *skiplines, short *error) {
    FILE *fp = open_read(filename, OPEN_FATAL);
    InputReader in;
    reader_init(&in, fp, filename);
    short format = seqFileFormatFp(&in, skiplines, error);
    reader_free(&in);
    close_read(fp);
    return format;
}
