// Cost matrices: reading and printing.
#include "sequences/matrix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

namespace {

// Directory searched for library data files when the environment variable is not set.
const char *const LIBRARY_DIR = "/usr/local/lib/qor";

// Column order of the last matrix read: the letters of its header, '*' last.
char order[MATRIX_ORDER_SIZE];

// Releases the reader (the stream stays open) when the reading ends, also by a fatal error
// thrown to a test harness.

// The table of a matrix being read; released unless handed out.
struct TableHold {
    int **table;
    size_t rows;
    ~TableHold() { double_free(reinterpret_cast<void **>(table), rows); }
    int **release() {
        int **t = table;
        table = nullptr;
        return t;
    }
};

}  // namespace

int **read_matrix(const char *name, int *max, int *min, FILE *report) {
    if (!name || !*name) return nullptr;
    check_alphabet(nullptr);
    const AlphabetInfo *a = alphabet;
    const int alen = a->length_wild;
    // The header names the columns by letter: a numeric alphabet has none to name.
    if (!a->letters)
        error("Error reading matrix %s: alphabet %s has no letters to name the columns",
              shown_text(name).c_str(), a->name);
    const char *subdir = "matrix";
    if (a->id == PROTEIN_ALPHABET_ID)
        subdir = "matrix/aa";
    else if (a->id == DNA_ALPHABET_ID || a->id == RNA_ALPHABET_ID)
        subdir = "matrix/nt";

    if (report) std::fputs("% Cost matrix:  ", report);
    // open_read_env writes the path it opened to the report.
    FILE *fp = open_read_env(name, MATRIX_PATH_VARIABLE, LIBRARY_DIR, subdir, report, OPEN_FATAL);
    if (report) std::fputc('\n', report);
    ReaderScope hold(fp, name);
    InputReader *r = &hold.in;

    char *line = nullptr;
    size_t length = 0;
    bool got = false;
    while ((got = reader_line(r, &line, &length)))
        if (line[0] != '#') break;
    std::string header;
    if (got)
        for (size_t i = 0; i < length; i++)
            if (!is_space(static_cast<unsigned char>(line[i]))) header += line[i];
    if (static_cast<int>(header.size()) != alen + 1)
        error("Error reading matrix:  should have %d (alen + 1 for *) columns, not %d", alen + 1,
              static_cast<int>(header.size()));
    if (header.back() != '*')
        error("Error reading matrix %s: line %ld: the last column must be '*', not '%s'",
              shown_text(name).c_str(), r->line_number, shown_text(&header.back(), 1).c_str());
    std::vector<int> seen(static_cast<size_t>(alen), 0);
    for (int i = 0; i < alen; i++) {
        if (header[i] == '*')
            error("Error reading matrix %s: line %ld: '*' must be the last column only",
                  shown_text(name).c_str(), r->line_number);
        seen[letter_index(a, header[i])]++;
    }
    for (int k = 0; k < alen; k++)
        if (!seen[k]) error("Error reading matrix:  character %c is not specified", a->letters[k]);
    // alen characters covering alen letters: no letter is given twice.
    std::memcpy(order, header.c_str(), header.size() + 1);

    TableHold table{reinterpret_cast<int **>(double_alloc(alen + 1, alen + 1, sizeof(int))),
                    static_cast<size_t>(alen) + 1};
    int largest = INT_MIN;
    int smallest = INT_MAX;
    for (int row = 0; row <= alen; row++) {
        if (!reader_line(r, &line, &length))
            error("Error reading matrix %s: row %c missing at the end of the file",
                  shown_text(name).c_str(), order[row]);
        char *p = line;
        while (is_space(static_cast<unsigned char>(*p))) p++;
        if (*p != order[row])
            error("Error reading matrix %s: line %ld: row of '%c' expected",
                  shown_text(name).c_str(), r->line_number, order[row]);
        while (*p && !is_space(static_cast<unsigned char>(*p))) p++;
        int index = row < alen ? letter_index(a, order[row]) : alen;
        for (int col = 0; col <= alen; col++) {
            while (is_space(static_cast<unsigned char>(*p))) p++;
            if (!*p)
                error("Error reading matrix %s: line %ld: row of '%c' has %d values, not %d",
                      shown_text(name).c_str(), r->line_number, order[row], col, alen + 1);
            char *end = nullptr;
            errno = 0;
            long v = std::strtol(p, &end, 10);
            if (end == p || (*end && !is_space(static_cast<unsigned char>(*end))) ||
                errno == ERANGE || v < INT_MIN || v > INT_MAX) {
                std::string token(p, std::strcspn(p, " \t\r\n\v\f"));
                error("Error reading matrix %s: line %ld: %.40s is not a number",
                      shown_text(name).c_str(), r->line_number, shown_text(token).c_str());
            }
            p = end;
            int column = col < alen ? letter_index(a, order[col]) : alen;
            table.table[index][column] = static_cast<int>(v);
            if (col < alen) {
                if (v > largest) largest = static_cast<int>(v);
                if (v < smallest) smallest = static_cast<int>(v);
            }
        }
    }
    if (max) *max = largest;
    if (min) *min = smallest;
    return table.release();
}

void print_matrix(FILE *out, int **table) {
    if (!out || !table) return;
    check_alphabet(nullptr);
    const AlphabetInfo *a = alphabet;
    const int alen = a->length_wild;
    std::string cols;
    if (std::strlen(order) == static_cast<size_t>(alen) + 1)
        cols.assign(order, static_cast<size_t>(alen));
    else if (a->letters)
        cols.assign(a->letters, static_cast<size_t>(alen));
    else
        return;  // a numeric alphabet has no letters to name the columns
    std::fputc(' ', out);
    for (char c : cols) std::fprintf(out, "  %c", c);
    std::fputs("  *\n", out);
    for (int row = 0; row <= alen; row++) {
        int index = row < alen ? letter_index(a, cols[row]) : alen;
        std::fputc(row < alen ? cols[row] : '*', out);
        for (char c : cols) std::fprintf(out, " %2d", table[index][letter_index(a, c)]);
        std::fprintf(out, " %2d\n", table[index][alen]);
    }
}
