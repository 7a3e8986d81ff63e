// HSSP files and structure templates.
#include "sequences/hssp.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "sequences/fasta.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

const char *const Structure3_4CodeTable[STRUCTURE_TRIPLES] = {
    "HHH", "EEE", "TTT", "*HH", "HH*", "*EE", "EE*", "TT*",
    "*TT", "**H", "H**", "**E", "E**", "**T", "T**", "***",
};

namespace {

const char *const ALIGNMENTS_MARK = "## ALIGNMENTS";
const char *const TEMPLATE_SUFFIX = ".tplate";

// Reads a non-negative decimal number at p (leading blanks skipped). Returns false when there is
// none or it passes INT_MAX; *end (optional) receives the first character after it.
bool read_count(const char *p, long *value, const char **end) {
    while (*p == ' ' || *p == '\t') p++;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    char *e = nullptr;
    errno = 0;
    long v = std::strtol(p, &e, 10);
    if (errno == ERANGE || v > INT_MAX) return false;
    *value = v;
    if (end) *end = e;
    return true;
}

struct HsspHeader {
    long seqlength = -1;
    long nalign = -1;
    long first = 0;  // range of the block whose "## ALIGNMENTS" label was read last
    long last = 0;
    long label_line = 0;  // line of that label
    bool warned = false;  // a label that disagrees with its column header was reported
};

// Ends the run naming the file and the line (by default the line read last).
[[noreturn]] void hssp_fault(const InputReader *r, const char *what, long line = 0) {
    error("HSSP file %s, line %ld: %s", shown_text(r->name).c_str(), line ? line : r->line_number,
          what);
}

// "## ALIGNMENTS  first - last": the block's range, which must follow the previous block
// (previous last + 1) and stay within NALIGN.
void parse_block_range(const InputReader *r, const char *line, HsspHeader *h) {
    const char *p = line + std::strlen(ALIGNMENTS_MARK);
    long first = 0;
    long last = 0;
    const char *e = nullptr;
    bool ok = read_count(p, &first, &e);
    if (ok) {
        while (*e == ' ' || *e == '\t') e++;
        ok = *e == '-' && read_count(e + 1, &last, nullptr);
    }
    if (!ok) hssp_fault(r, "unreadable \"## ALIGNMENTS\" range");
    if (first != h->last + 1 || last < first || last > h->nalign) {
        std::string what = "block of relatives " + std::to_string(first) + " - " +
                           std::to_string(last) + " does not follow relative " +
                           std::to_string(h->last) + " within NALIGN " + std::to_string(h->nalign);
        hssp_fault(r, what.c_str());
    }
    h->first = first;
    h->last = last;
    h->label_line = r->line_number;
}

// The header lines up to and including the first "## ALIGNMENTS" line.
void read_hssp_header(InputReader *r, HsspHeader *h) {
    char *line = nullptr;
    size_t length = 0;
    for (;;) {
        if (!reader_line(r, &line, &length))
            error("HSSP file %s: no \"## ALIGNMENTS\" block (truncated file?)",
                  shown_text(r->name).c_str());
        if (starts_with(line, "SEQLENGTH")) {
            if (!read_count(line + 9, &h->seqlength, nullptr))
                hssp_fault(r, "unreadable SEQLENGTH");
        } else if (starts_with(line, "NALIGN")) {
            if (!read_count(line + 6, &h->nalign, nullptr)) hssp_fault(r, "unreadable NALIGN");
        } else if (starts_with(line, ALIGNMENTS_MARK)) {
            break;
        }
    }
    if (h->seqlength <= 0) hssp_fault(r, "SEQLENGTH missing or 0 before the alignments");
    if (h->nalign <= 0) hssp_fault(r, "NALIGN missing or 0: no aligned relatives");
    parse_block_range(r, line, h);
}

// Columns located by a block's column-header line.
struct HsspColumns {
    size_t residue = 0;
    size_t first = 0;  // the block's first relative
    size_t structure = 0;
    size_t acc = 0;
    size_t ruler = 0;  // relative columns of the header
    size_t count = 0;  // relatives read from the block
    long line = 0;     // line of the column header
};

// The relatives of a block follow those read before it (read of them). Its label gives their
// number as long as it follows the relatives read and fits the header's columns; a label that
// does not (a file whose labels count past the columns) gives way to the columns, up to NALIGN.
// Returns false when the label disagrees.
bool count_block_relatives(const HsspHeader *h, size_t read, HsspColumns *c) {
    if (h->first == static_cast<long>(read) + 1 &&
        static_cast<size_t>(h->last - h->first) < c->ruler) {
        c->count = static_cast<size_t>(h->last - h->first + 1);
        return true;
    }
    c->count = std::min(c->ruler, static_cast<size_t>(h->nalign) - read);
    return false;
}

// The first label of the file that disagrees with its block's columns, once the block is read.
void warn_label(const InputReader *r, HsspHeader *h, size_t read, const HsspColumns &c) {
    if (h->warned) return;
    h->warned = true;
    std::fprintf(stderr,
                 "Warning: HSSP file %s, line %ld: block label \"%ld - %ld\" disagrees with the "
                 "%zu relative columns of its column header; relatives %zu - %zu read by the "
                 "columns\n",
                 shown_text(r->name).c_str(), h->label_line, h->first, h->last, c.ruler, read + 1,
                 read + c.count);
}

// A residue line whose alignment letters pass the header's columns: the block does not fit its
// column header, which is refused on its own line.
void check_row_fits(const InputReader *r, size_t read, const HsspColumns &c, const char *line,
                    size_t length) {
    size_t end = length;
    while (end > 0 && is_space(static_cast<unsigned char>(line[end - 1]))) end--;
    if (end <= c.first + c.ruler) return;
    std::string what = "block of relatives " + std::to_string(read + 1) + " - " +
                       std::to_string(read + end - c.first) + " wider than the " +
                       std::to_string(c.ruler) + " relative columns of its column header";
    hssp_fault(r, what.c_str(), c.line);
}

void read_column_header(InputReader *r, bool want_template, HsspColumns *c) {
    char *line = nullptr;
    size_t length = 0;
    if (!reader_line(r, &line, &length)) hssp_fault(r, "file ends before the column header");
    const char *aa = std::strstr(line, "AA");
    const char *dot = std::strchr(line, '.');
    if (!aa || !dot) hssp_fault(r, "column header without its \"AA\" and '.' marks");
    c->residue = static_cast<size_t>(aa - line);
    c->first = static_cast<size_t>(dot - line);
    // The header's ruler has one column per relative column of the block.
    c->ruler = length - c->first;
    c->line = r->line_number;
    if (want_template) {
        const char *st = std::strstr(line, "STRUCT");
        const char *acc = std::strstr(line, "ACC");
        if (!st || !acc) hssp_fault(r, "column header without its \"STRUCT\" and \"ACC\" marks");
        c->structure = static_cast<size_t>(st - line);
        c->acc = static_cast<size_t>(acc - line);
    }
}

char alignment_char(const char *line, size_t length, size_t col) {
    if (col >= length) return '-';
    unsigned char c = static_cast<unsigned char>(line[col]);
    if (c == 0 || c == '_' || c == '.' || is_space(c)) return '-';
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return static_cast<char>(c);
}

// The three characters at col read as a decimal number (0 when there is none).
int accessibility_at(const char *line, size_t length, size_t col) {
    char digits[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 3 && col + i < length; i++) digits[i] = line[col + i];
    return static_cast<int>(std::strtol(digits, nullptr, 10));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// HSSP files
// ---------------------------------------------------------------------------------------------

int isHSSP(const char *filename) {
    if (!filename || !*filename) return 0;
    FILE *fp = open_read(filename, 0);
    if (!fp) return 0;
    char head[4] = {0, 0, 0, 0};
    size_t n = 0;
    {
        ReaderScope hold(fp, filename, true);
        n = reader_read(&hold.in, head, sizeof head);
    }
    return n == sizeof head && std::memcmp(head, "HSSP", 4) == 0;
}

void HSSPinfo(const char *filename, int *length, int *columns, int *count) {
    FILE *fp = open_read(filename, OPEN_FATAL);
    ReaderScope hold(fp, filename, true);
    HsspHeader h;
    read_hssp_header(&hold.in, &h);
    if (length) *length = static_cast<int>(h.seqlength);
    if (columns) *columns = static_cast<int>(h.seqlength);
    if (count) *count = static_cast<int>(h.nalign);
}

char **read_HSSP(FILE *fp, int *count, int template_flag, const char *template_id,
                 const char *name) {
    ReaderScope hold(fp, name ? name : "HSSP file", false);
    InputReader *r = &hold.in;
    HsspHeader h;
    read_hssp_header(r, &h);
    if (count) *count = static_cast<int>(h.nalign);
    const bool want_template = template_flag > 0;
    const size_t seqlength = static_cast<size_t>(h.seqlength);

    // Rows grow with the blocks the file holds, so that SEQLENGTH and NALIGN allocate nothing
    // the file does not back.
    std::vector<std::string> rows;
    std::string residues = " ", structure = " ";  // position 0 unused
    std::vector<int> acc(1, 0);
    bool first_block = true;
    for (;;) {
        HsspColumns cols;
        read_column_header(r, want_template, &cols);
        size_t base = rows.size();
        bool label_agrees = count_block_relatives(&h, base, &cols);
        rows.resize(base + cols.count);
        size_t lines = 0;
        char *line = nullptr;
        size_t length = 0;
        while (lines < seqlength) {
            if (!reader_line(r, &line, &length) || starts_with(line, "##") ||
                starts_with(line, "//")) {
                std::string what = "SEQLENGTH " + std::to_string(seqlength) +
                                   " but the block of relatives " + std::to_string(h.first) +
                                   " - " + std::to_string(h.last) + " has " +
                                   std::to_string(lines) + " residue lines";
                hssp_fault(r, what.c_str());
            }
            if (std::memchr(line, '!', length)) continue;  // chain break
            if (cols.residue >= length) hssp_fault(r, "residue line without its residue column");
            lines++;
            check_row_fits(r, base, cols, line, length);
            if (first_block && want_template) {
                residues += line[cols.residue];
                char s = cols.structure < length ? line[cols.structure] : ' ';
                structure += (s == ' ' || s == '\0') ? '*' : s;
                acc.push_back(accessibility_at(line, length, cols.acc));
            }
            for (size_t k = base; k < rows.size(); k++)
                rows[k] += alignment_char(line, length, cols.first + (k - base));
        }
        if (!label_agrees) warn_label(r, &h, base, cols);
        first_block = false;
        if (h.last == h.nalign) {
            if (static_cast<long>(rows.size()) < h.nalign) {
                std::string what = "the column headers hold " + std::to_string(rows.size()) +
                                   " relatives, NALIGN " + std::to_string(h.nalign);
                hssp_fault(r, what.c_str());
            }
            break;
        }
        if (!reader_line(r, &line, &length))
            hssp_fault(r, "file ends before the next \"## ALIGNMENTS\" block");
        if (!starts_with(line, ALIGNMENTS_MARK))
            hssp_fault(r, "more residue lines than SEQLENGTH, or no \"## ALIGNMENTS\" block next");
        parse_block_range(r, line, &h);
    }

    if (want_template) {
        structure += ' ';
        acc.push_back(0);
        PrintTemplate(template_id, residues.c_str(), structure.c_str(), acc.data(),
                      static_cast<int>(seqlength));
    }
    char **out = static_cast<char **>(mem_alloc(rows.size() * sizeof(char *)));
    for (size_t k = 0; k < rows.size(); k++) {
        out[k] = static_cast<char *>(mem_alloc(seqlength + 2));  // zeroed: the row ends in NULs
        std::memcpy(out[k], rows[k].data(), seqlength);
    }
    return out;
}

int read_HSSP_item(SeqTrackFile *track, Sequence *seq, int track_index) {
    if (track->entry_count >= track->item_count) {
        track->done = 1;
        return 0;
    }
    const char *slash = std::strrchr(track->name, '/');
    std::string id =
        std::string(slash ? slash + 1 : track->name) + "#" + std::to_string(track->entry_count);
    if (seq->id && std::strcmp(seq->id, id.c_str()) != 0)
        error("Sequence id %s from %s does not match id of main sequence (%s)",
              shown_text(id).c_str(), shown_text(track->name).c_str(), shown_text(seq->id).c_str());
    const char *item = track->items[track->entry_count];
    track->entry_count++;
    if (!seq->id) {
        seq->id = str_dup(id.c_str());
        seq->len = static_cast<int>(std::strlen(item));
    }
    std::free(seq->tracks[track_index].res);
    seq->tracks[track_index].res =
        static_cast<unsigned char *>(memdub(item, std::strlen(item) + 1));
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Templates
// ---------------------------------------------------------------------------------------------

Template *alloc_template(int length, const char *id) {
    if (length < 0 || length > INT_MAX - 3) error("alloc_template: length %d out of range", length);
    size_t n = static_cast<size_t>(length);
    Template *t = static_cast<Template *>(mem_alloc(sizeof(Template)));
    t->length = length;
    t->id = str_dup(id);
    t->residues = static_cast<char *>(mem_alloc(n + 1));
    t->structure = static_cast<char *>(mem_alloc(n + 3));
    t->env = nullptr;
    t->acc = static_cast<int *>(mem_alloc((n + 2) * sizeof(int)));
    return t;
}

void free_template(Template *t) {
    if (!t) return;
    std::free(t->id);
    std::free(t->residues);
    std::free(t->structure);
    std::free(t->acc);
    std::free(t->env);
    std::free(t);
}

void PrintTemplate(const char *id, const char *residues, const char *structure, const int *acc,
                   int length) {
    std::string path = std::string(id ? id : "") + TEMPLATE_SUFFIX;
    FILE *out = open_output_path(path.c_str());
    if (!out) error("can not open \"%s\": %s", shown_text(path).c_str(), std::strerror(errno));
    const char *shown = id ? id : "";
    std::time_t now = std::time(nullptr);
    std::fprintf(out, "TEMPLATE\n%%\n%%\n");
    std::fprintf(out, "%%\tTemplate sequence from %s\n", shown);
    std::fprintf(out, "%%\n");
    std::fprintf(out, "%%\tFile generated %s", std::asctime(std::gmtime(&now)));
    std::fprintf(out, "%%\n%%\n");
    std::fprintf(out, "SEQLENGTH   %d\n", length);
    std::fprintf(out, "ID  %s\n", shown);
    std::fprintf(out, "%%\n%%\n");
    std::fprintf(out, "%%AA    STRUCTURE    ACCESSIBILITY\n");
    std::fprintf(out, "%%--   -----------   -------------\n");
    std::fprintf(out, "\n");
    for (int i = 1; i <= length; i++)
        std::fprintf(out, " %c         %c          %d\n", residues[i], structure[i], acc[i]);
    // The file replaces an old one only when every write succeeded.
    errno = 0;
    if (close_output_path(out) != 0)
        error("can not open \"%s\": %s", shown_text(path).c_str(),
              std::strerror(errno ? errno : EIO));
}

int StructureFromTriple4(const char *triple) {
    for (int row = 0; row < STRUCTURE_TRIPLES; row++) {
        const char *pattern = Structure3_4CodeTable[row];
        bool match = true;
        bool ended = false;  // a shorter text is read up to its end only
        for (int k = 0; k < 3 && match; k++) {
            char c = ended ? '\0' : triple[k];
            if (!c) ended = true;
            match = pattern[k] == '*' || pattern[k] == c;
        }
        if (match) return row;
    }
    return TRIPLE_ANY;
}

int *GetEnv(const char *structure, int length) {
    int *env = static_cast<int *>(mem_alloc((static_cast<size_t>(length) + 2) * sizeof(int)));
    for (int i = 1; i <= length; i++) {
        char triple[3] = {i == 1 ? '*' : structure[i - 1], structure[i],
                          i == length ? '*' : structure[i + 1]};
        env[i] = StructureFromTriple4(triple);
    }
    return env;
}

void EnvFromCode(char *buffer, int code) {
    if (code < 0) error("Unknown environment code %d", code);
    std::snprintf(buffer, 16, "%s, %d", Structure3_4CodeTable[code % STRUCTURE_TRIPLES],
                  code / STRUCTURE_TRIPLES);
}

void binACC(int *values, int n) {
    for (int i = 1; i <= n; i++) {
        if (values[i] <= ACC_BURIED_MAX)
            values[i] = 0;
        else if (values[i] <= ACC_INTERMEDIATE_MAX)
            values[i] = 1;
        else
            values[i] = 2;
    }
}

namespace {

// One row of a template file: residue, structure letter, accessibility.
bool parse_template_row(const char *p, char *res, char *st, int *acc) {
    while (is_space(static_cast<unsigned char>(*p))) p++;
    if (!*p) return false;
    *res = *p++;
    while (is_space(static_cast<unsigned char>(*p))) p++;
    if (!*p) return false;
    *st = *p++;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *acc = static_cast<int>(v);
    return true;
}

bool is_empty_line(const char *line) {
    for (; *line; line++)
        if (!is_space(static_cast<unsigned char>(*line))) return false;
    return true;
}

}  // namespace

Template *read_template(const char *filename, Sequence **tseq) {
    if (tseq) *tseq = nullptr;
    if (!filename || !*filename) return nullptr;
    FILE *fp = open_read(filename, OPEN_FATAL);
    ReaderScope hold(fp, filename, true);
    InputReader *r = &hold.in;
    char *line = nullptr;
    size_t length = 0;
    bool got = false;
    while ((got = reader_line(r, &line, &length)))
        if (!is_empty_line(line)) break;
    if (!got || !std::strstr(line, "TEMPLATE"))
        error("The specified template file %s is not a template file.",
              shown_text(filename).c_str());

    long seqlength = -1;
    while ((got = reader_line(r, &line, &length)))
        if (line[0] != '%' && starts_with(line, "SEQLENGTH")) break;
    if (!got || !read_count(line + 9, &seqlength, nullptr) || seqlength <= 0)
        error("Template file %s: SEQLENGTH missing, unreadable or 0", shown_text(filename).c_str());
    std::string id;
    while ((got = reader_line(r, &line, &length)))
        if (line[0] != '%' && starts_with(line, "ID")) break;
    const char *p = got ? line : "";
    while (*p && !is_space(static_cast<unsigned char>(*p))) p++;  // the keyword
    while (is_space(static_cast<unsigned char>(*p))) p++;
    id.assign(p, std::strcspn(p, " \t\r\n\v\f"));
    if (id.empty())
        error("Template file %s: no ID line after SEQLENGTH", shown_text(filename).c_str());

    std::string residues = " ", structure = " ";
    std::vector<int> acc(1, 0);
    while (reader_line(r, &line, &length)) {
        if (line[0] == '%' || is_empty_line(line)) continue;
        char res = 0, st = 0;
        int a = 0;
        if (!parse_template_row(line, &res, &st, &a))
            error("Template file %s, line %ld: not a residue, structure letter and accessibility",
                  shown_text(filename).c_str(), r->line_number);
        if (static_cast<long>(residues.size()) > seqlength)
            error("Template file %s, line %ld: more residue rows than SEQLENGTH %ld",
                  shown_text(filename).c_str(), r->line_number, seqlength);
        residues += res;
        structure += st;
        acc.push_back(a);
    }
    long rows = static_cast<long>(residues.size()) - 1;
    if (rows != seqlength)
        error("Number of residues read from template sequence does not match number specified in "
              "file %s (%ld, SEQLENGTH %ld). Or, no sequences found.",
              shown_text(filename).c_str(), rows, seqlength);

    int n = static_cast<int>(seqlength);
    Template *t = alloc_template(n, id.c_str());
    std::memcpy(t->residues, residues.c_str(), residues.size());
    t->structure[0] = ' ';
    std::memcpy(t->structure + 1, structure.c_str() + 1, static_cast<size_t>(n));
    t->structure[n + 1] = ' ';
    std::memcpy(t->acc, acc.data(), acc.size() * sizeof(int));
    t->env = GetEnv(t->structure, n);
    if (tseq) {
        Sequence *s = alloc_sequence(n, 1);
        std::memcpy(s->tracks[0].res, residues.c_str() + 1, static_cast<size_t>(n));
        s->id = str_dup(t->id);
        try {
            convertseq(s);
        } catch (...) {
            free_sequence(s);
            free_template(t);
            throw;
        }
        *tseq = s;
    }
    return t;
}
