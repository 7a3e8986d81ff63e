// Constraint files: reading them into a constraint table and writing a table back.
//
// A file holds sections opened by a line "constraints:"; each data line names a sequence and
// lists its constrained positions: "seqA 5-7:10,12" ties residues 5..7 to the model labels
// 10..12 and residue 12 to a node whose label is not given.
#include "models/constrparse.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/output_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

// The line that opens a section.
static const char CONSTR_SECTION[] = "constraints:";
// The character that starts a comment line.
static const char CONSTR_COMMENT = '#';

// Value of one digit in the given base, or -1.
static int digit_value(char c, int base) {
    int v;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    else
        return -1;
    return v < base ? v : -1;
}

const char *parse_constr_def_num(const char **p, const char *stops, int *value) {
    // Collect the number's characters, white space dropped, up to a stop or the end.
    char text[CONSTR_MAX_NUMBER + 1];
    int n = 0;
    bool too_long = false;
    const char *s = *p;
    for (; *s && !std::strchr(stops, *s); s++) {
        if (is_space(*s)) continue;
        if (n < CONSTR_MAX_NUMBER)
            text[n++] = *s;
        else
            too_long = true;
    }
    *p = s;
    if (too_long) return "garbage entry";
    if (n == 0) return "missing value";
    text[n] = '\0';

    // Decimal, octal with a leading 0, hexadecimal with a leading 0x.
    int base = 10, i = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
        if (n == 2) return "invalid number";
    } else if (text[0] == '0') {
        base = 8;
    }
    long long v = 0;
    bool overflow = false;
    for (; i < n; i++) {
        int d = digit_value(text[i], base);
        if (d < 0) return "invalid number";
        if (!overflow) {
            v = v * base + d;
            if (v > INT_MAX) overflow = true;
        }
    }
    if (overflow) return "number out of range";
    *value = static_cast<int>(v);
    return nullptr;
}

namespace {

// Where a fault is reported.
struct LineContext {
    const char *file;
    long line_number;
    const std::string *line;
};

[[noreturn]] void bad_definition(const LineContext &at, const char *reason) {
    error("%s: %ld: invalid constraint defintion: %s\n%s", shown_text(at.file).c_str(),
          at.line_number, reason, shown_text(*at.line).c_str());
}

// One number of an entry; a missing one gives missing_reason (or is reported as the number's
// fault when missing_reason is null).
int entry_number(const LineContext &at, const char **p, const char *stops,
                 const char *missing_reason) {
    int value = 0;
    const char *fault = parse_constr_def_num(p, stops, &value);
    if (fault && std::strcmp(fault, "missing value") == 0)
        fault = missing_reason ? missing_reason : "invalid number";
    if (fault) bad_definition(at, fault);
    return value;
}

// Parses the entries of one data line (the text after the ID) and adds their ranges.
void parse_entries(ConstrTable *table, const char *id, const char *p, const LineContext &at) {
    while (*p) {
        // An empty entry (nothing but white space before the next ',') is skipped.
        const char *q = p;
        while (is_space(*q)) q++;
        if (*q == ',' || !*q) {
            p = *q ? q + 1 : q;
            continue;
        }
        int first = entry_number(at, &p, ",-:", nullptr);
        int last = first;
        int label = CONSTR_UNNAMED_LABEL;
        if (*p == '-') {
            p++;
            last = entry_number(at, &p, ",:", "missing value following '-'");
            if (last < first) bad_definition(at, "invalid sequence position range");
        }
        if (*p == ':') {
            p++;
            label = entry_number(at, &p, ",", "missing value following ':'");
        }
        if (first < 1) bad_definition(at, "sequence position must be greater than zero");
        int length = last - first + 1;  // first >= 1, so this fits
        if (label != CONSTR_UNNAMED_LABEL && static_cast<long long>(label) + length - 1 > INT_MAX)
            bad_definition(at, "model label out of range");
        add_constraint_to_table(table, id, first, label, length, CONSTR_SATISFIED_COST,
                                CONSTR_UNSATISFIED_COST, CONSTR_UNCONSTRAINED_COST);
        if (*p == ',') p++;
    }
}

// Reads one open constraint file into the table.
void read_constraint_file(ConstrTable *table, InputReader *r, const char *file) {
    bool in_section = false;
    std::string line, id;
    char *text;
    size_t length;
    while (reader_line(r, &text, &length)) {
        // Trim white space at both ends (the text ends at the line end or a NUL byte).
        size_t end = std::strlen(text);
        size_t start = 0;
        while (start < end && is_space(text[start])) start++;
        while (end > start && is_space(text[end - 1])) end--;
        line.assign(text + start, end - start);
        if (line.empty() || line[0] == CONSTR_COMMENT) continue;
        if (line == CONSTR_SECTION) {
            in_section = true;
            continue;
        }
        LineContext at{file, r->line_number, &line};
        if (!in_section)
            error("%s:%ld: data line before a section:\n%s", shown_text(file).c_str(),
                  at.line_number, shown_text(line).c_str());
        size_t id_end = 0;
        while (id_end < line.size() && !is_space(line[id_end])) id_end++;
        if (id_end > static_cast<size_t>(CONSTR_MAX_ID))
            error("%s:%ld: sequence id exceeds maximum length of %d", shown_text(file).c_str(),
                  at.line_number, CONSTR_MAX_ID);
        id.assign(line, 0, id_end);
        parse_entries(table, id.c_str(), line.c_str() + id_end, at);
    }
}

}  // namespace

ConstrTable *read_constraints_table(char *const *filenames, int count, int allow_unlabeled) {
    if (count < 1 || !filenames) return nullptr;
    ConstrTable *table = create_constraint_table();
    for (int f = 0; f < count; f++) {
        const char *file = filenames[f];
        FILE *fp = nullptr;
        InputReader r;
        try {
            fp = open_read(file, OPEN_FATAL);
            reader_init(&r, fp, file);
            read_constraint_file(table, &r, file);
        } catch (...) {
            // A fatal error thrown (tests, fuzzing) or memory run out: nothing half-built survives.
            if (fp) {
                reader_free(&r);
                close_read(fp);
            }
            free_constraint_table(table);
            throw;
        }
        reader_free(&r);
        close_read(fp);
        if (!allow_unlabeled && table->unlabeled) {
            free_constraint_table(table);
            error("constraint file %s has constraints with unspecified model labels,\n%s",
                  shown_text(file).c_str(),
                  "they are allowed only when creating a model from an alignment");
        }
    }
    return table;
}

// True when the reader would take id back as the same ID: not empty, no white space, no comment
// mark at its start, not too long.
static bool writable_id(const char *id) {
    size_t n = std::strlen(id);
    if (n == 0 || n > static_cast<size_t>(CONSTR_MAX_ID) || id[0] == CONSTR_COMMENT) return false;
    for (size_t i = 0; i < n; i++)
        if (is_space(id[i])) return false;
    return true;
}

int write_constraints_table(const ConstrTable *table, const char *filename) {
    // Refuse before anything is written: the file either reads back as the table or is not made.
    if (table)
        for (int b = 0; b < CONSTR_BUCKETS; b++)
            for (const SeqConstrList *e = table->buckets[b]; e; e = e->next)
                if (!writable_id(e->id))
                    error("constraint table: sequence id \"%s\" cannot be written to %s",
                          shown_text(e->id).c_str(), shown_text(filename).c_str());
    FILE *out = open_output_path(filename);
    if (!out)
        error("Couldn't open file %s for writting: %s", shown_text(filename).c_str(),
              std::strerror(errno));
    if (table && table->count > 0) {
        std::fputs("constraints:\n", out);
        for (int b = 0; b < CONSTR_BUCKETS; b++)
            for (const SeqConstrList *e = table->buckets[b]; e; e = e->next) {
                std::fputs(e->id, out);
                char sep = ' ';
                for (const ConstrRange *r = e->first; r; r = r->next) {
                    std::fputc(sep, out);
                    sep = ',';
                    if (r->length == 1)
                        std::fprintf(out, "%d", r->seq_start);
                    else
                        std::fprintf(out, "%d-%d", r->seq_start, r->seq_start + (r->length - 1));
                    if (r->label_start != CONSTR_UNNAMED_LABEL)
                        std::fprintf(out, ":%d", r->label_start);
                }
                std::fputc('\n', out);
            }
    }
    return close_output_path(out);
}
