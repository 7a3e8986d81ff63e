// Printing sequences and alignments as text.

#include "sequences/seqio_print.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "sequences/seqio_print_fast.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"

namespace {

// The letter of a residue index in an alphabet; an index past the letter string (the catch-all
// of alphabets whose letters hold no wildcard) prints as 'X'.
inline char residue_letter(const AlphabetInfo *a, unsigned char idx, size_t nletters) {
    return idx < nletters ? a->letters[idx] : 'X';
}

const AlphabetInfo *track_alphabet(int track) {
    if (track >= 0 && track < MAX_ALPHABET_TRACKS && alphabets[track]) return alphabets[track];
    return alphabet;
}

void write_header(std::string &buf, const Sequence *seq) {
    buf += '>';
    buf += seq->id ? seq->id : "";
    if (seq->annotation) {
        buf += ' ';
        buf += seq->annotation;
    }
    buf += '\n';
}

// The d digits of residue code idx, most significant first.
void append_code(std::string &buf, const AlphabetInfo *a, unsigned char idx) {
    int d = a->digits_per_number;
    if (!a->digits || idx > a->length_wild) {
        for (int k = 0; k < d; k++) buf += '?';
        return;
    }
    const unsigned char *digits = a->digits + static_cast<size_t>(idx) * d;
    // The table holds digit values; a table that holds digit characters prints the same.
    for (int k = d - 1; k >= 0; k--)
        buf += static_cast<char>(digits[k] < 10 ? '0' + digits[k] : digits[k]);
}

// Builds the letter row of a sequence's alignment, with an optional per-match hook that may
// write something else in place of a match residue. Returns false (with a message) when the
// alignment is missing or does not fit the residues.
template <typename MatchFn>
bool build_row(const Sequence *seq, int track, std::string &row, MatchFn match_fn) {
    const unsigned char *code = seq->align;
    if (!code) {
        fprintf(stderr, "Sequence %s has no alignment; row skipped\n", shown_text(seq->id).c_str());
        return false;
    }
    const unsigned char *res = (track >= 0 && track < seq->ntracks && track < MAX_TRACKS)
                                   ? seq->tracks[track].res
                                   : nullptr;
    long need = 0;
    for (const unsigned char *c = code; *c; c++)
        if (*c <= ALIGN_DELETE_BASE) need += (*c > ALIGN_MATCH_BASE) ? *c - ALIGN_MATCH_BASE : *c;
    if (need != seq->len || (need > 0 && !res)) {
        fprintf(stderr,
                "Alignment of sequence %s uses %ld residues but the sequence has %d; row skipped\n",
                shown_text(seq->id).c_str(), need, res ? seq->len : 0);
        return false;
    }
    int i = 0;
    for (const unsigned char *c = code; *c; c++) {
        int b = *c;
        if (b > ALIGN_DELETE_BASE) {
            row.append(static_cast<size_t>(b - ALIGN_DELETE_BASE), '-');
        } else if (b > ALIGN_MATCH_BASE) {
            for (int k = 0; k < b - ALIGN_MATCH_BASE; k++, i++) match_fn(row, i, true);
        } else {
            for (int k = 0; k < b; k++, i++) match_fn(row, i, false);
        }
    }
    return true;
}

// Plain a2m letters (or placeholders) for residue i.
struct LetterRow {
    const Sequence *seq;
    const AlphabetInfo *a;
    size_t nletters;
    int track;
    bool placeholder;
    void operator()(std::string &row, int i, bool match) const {
        if (placeholder || !a->letters) {
            row += match ? 'X' : 'x';
            return;
        }
        char ch = residue_letter(a, seq->tracks[track].res[i], nletters);
        row += match ? ch : static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    }
};

LetterRow letter_row(const Sequence *seq, int track, bool placeholder) {
    const AlphabetInfo *a = track_alphabet(track);
    return LetterRow{seq, a, a && a->letters ? strlen(a->letters) : 0, track, placeholder};
}

void check_table(const SequenceTable *table) {
    for (int i = 0; i < table->count; i++)
        if (!table->seqs[i])
            error("Sequence table with an empty slot passed to the alignment printer");
}

// The insert-width list of the rows when padding is asked for (owned by the caller), or null
// when it is not or the rows have different numbers of columns (with a message).
int *padding_widths(const std::vector<std::string> &rows, int pad) {
    int *widths = nullptr;
    if (!pad) return nullptr;
    for (const std::string &r : rows) add_control(r.c_str(), &widths);
    if (widths && widths[0] == -1) {
        fprintf(stderr, "Rows have different numbers of columns; written without padding\n");
        free(widths);
        widths = nullptr;
    }
    return widths;
}

// Prints rows (already built) as wrapped records, padded with one insert-width list when asked
// and all rows have the same columns.
void print_rows(FILE *out, const std::vector<const Sequence *> &seqs,
                const std::vector<std::string> &rows, int pad, bool numeric, int track) {
    int *widths = padding_widths(rows, pad);
    for (size_t k = 0; k < rows.size(); k++) {
        const Sequence *seq = seqs[k];
        std::string row = rows[k];
        if (widths) {
            char *p = pad_row(row.c_str(), widths);
            row = p;
            free(p);
        }
        if (numeric)
            print_num_alignment(out, seq, row.c_str(), track);
        else
            print_string(out, row.c_str(), seq->id, seq->annotation);
    }
    free(widths);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Sequences
// ---------------------------------------------------------------------------------------------

int print_string(FILE *out, const char *letters, const char *id, const char *annotation) {
    std::string buf;
    buf += '>';
    buf += id ? id : "";
    if (annotation) {
        buf += ' ';
        buf += annotation;
    }
    size_t n = letters ? strlen(letters) : 0;
    for (size_t i = 0; i < n; i += FASTA_LINE_WIDTH) {
        buf += '\n';
        buf.append(letters + i, n - i < FASTA_LINE_WIDTH ? n - i : FASTA_LINE_WIDTH);
    }
    fwrite(buf.data(), 1, buf.size(), out);
    return putc('\n', out);
}

void pretty_print_sequence(FILE *out, const Sequence *seq) {
    if (!alphabet || !alphabet->letters) {
        print_num_alignment(out, seq, nullptr, 0);
        return;
    }
    static std::string buf;
    buf.clear();
    write_header(buf, seq);
    const unsigned char *res = seq->tracks[0].res;
    if (seq->len > 0 && res) {
        // The letter of every index, made once per alphabet and letter string.
        static const AlphabetInfo *made_for = nullptr;
        static std::string made_letters;
        static char letter_of[256];
        if (made_for != alphabet || made_letters != alphabet->letters) {
            size_t nletters = strlen(alphabet->letters);
            for (int k = 0; k < 256; k++)
                letter_of[k] = residue_letter(alphabet, static_cast<unsigned char>(k), nletters);
            made_for = alphabet;
            made_letters = alphabet->letters;
        }
        size_t start = buf.size();
        buf.resize(start + static_cast<size_t>(seq->len));
        codes_to_letters(res, static_cast<size_t>(seq->len), letter_of, &buf[start]);
        buf += '\n';
    }
    fwrite(buf.data(), 1, buf.size(), out);
}

void print_sequence_table(FILE *out, const SequenceTable *table) {
    if (!out) error("Print_sequence_table called with no file!");
    if (!table) error("Print_sequence_table called with no sequence file!");
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) pretty_print_sequence(out, table->seqs[i]);
}

int print_num_alignment(FILE *out, const Sequence *seq, const char *row, int track) {
    const AlphabetInfo *a = track_alphabet(track);
    std::string buf;
    write_header(buf, seq);
    int d = a ? a->digits_per_number : 1;
    if (d < 1) d = 1;
    int W = 5 * ((60 / (d + 1)) / 5);
    const unsigned char *res = (track >= 0 && track < seq->ntracks && track < MAX_TRACKS)
                                   ? seq->tracks[track].res
                                   : nullptr;
    int width = 0;
    auto column_done = [&]() {
        width += d + 1;
        if (width >= W) {
            buf += '\n';
            width = 0;
        }
    };
    auto code = [&](int i) {
        if (a && res && i < seq->len)
            append_code(buf, a, res[i]);
        else
            buf.append(static_cast<size_t>(d), '?');
    };
    if (!row) {
        for (int i = 0; i < seq->len; i++) {
            buf += ' ';
            code(i);
            column_done();
        }
    } else {
        int i = 0;
        for (const char *c = row; *c; c++) {
            if (*c == 'X' || *c == 'x') {
                if (i >= seq->len) {
                    fprintf(
                        stderr,
                        "Alignment row of sequence %s has more residues than the sequence; cut\n",
                        shown_text(seq->id).c_str());
                    break;
                }
                buf += (*c == 'X') ? '*' : '.';
                code(i++);
            } else if (*c == '-') {
                buf += '-';
                buf.append(static_cast<size_t>(d), ' ');
            } else {
                buf += ' ';
                buf.append(static_cast<size_t>(d), ' ');
            }
            column_done();
        }
    }
    if (width > 0) buf += '\n';
    fwrite(buf.data(), 1, buf.size(), out);
    return seq->len;
}

// ---------------------------------------------------------------------------------------------
// Alignments
// ---------------------------------------------------------------------------------------------

char *str_w_deletions(const Sequence *seq, int start_size, int track, int placeholder) {
    std::string row;
    size_t size = start_size > 100 ? static_cast<size_t>(start_size) : 100;
    if (seq->len > 0 && 2 * static_cast<size_t>(seq->len) > size)
        size = 2 * static_cast<size_t>(seq->len);
    row.reserve(size);
    if (!build_row(seq, track, row, letter_row(seq, track, placeholder != 0))) return nullptr;
    return str_dup(row.c_str());
}

void print_alignment(FILE *out, const Sequence *seq, int track) {
    const AlphabetInfo *a = track_alphabet(track);
    bool numeric = !a || !a->letters;
    char *row = str_w_deletions(seq, 0, track, numeric);
    if (!row) return;
    if (numeric)
        print_num_alignment(out, seq, row, track);
    else
        print_string(out, row, seq->id, seq->annotation);
    free(row);
}

void print_seqalignment(FILE *out, const SequenceTable *table, int pad, int track) {
    if (!out) error("print_seqalignment with null file\n");
    if (!table || table->count == 0) return;
    check_table(table);
    if (!pad) {
        for (int i = 0; i < table->count; i++) print_alignment(out, table->seqs[i], track);
        return;
    }
    const AlphabetInfo *a = track_alphabet(track);
    bool numeric = !a || !a->letters;
    std::vector<const Sequence *> seqs;
    std::vector<std::string> rows;
    for (int i = 0; i < table->count; i++) {
        std::string row;
        if (!build_row(table->seqs[i], track, row, letter_row(table->seqs[i], track, numeric)))
            continue;
        seqs.push_back(table->seqs[i]);
        rows.push_back(std::move(row));
    }
    print_rows(out, seqs, rows, pad, numeric, track);
}

// True when the sequence carries path posteriors; otherwise says so on standard error.
static bool has_path_probabilities(const Sequence *seq) {
    if (seq->pathprob) return true;
    fprintf(stderr, "Path probabilities missing for sequence %s\n", shown_text(seq->id).c_str());
    return false;
}

void print_trimalignment(FILE *out, const SequenceTable *table, int pad, int track,
                         double threshold) {
    if (!out) error("print_trimalignment with null file\n");
    if (!table || table->count == 0) return;
    const AlphabetInfo *a = track_alphabet(track);
    if (!a || !a->letters) error("print_trimalignment cannot be used with numberic sequences\n");
    check_table(table);
    size_t nletters = strlen(a->letters);
    std::vector<const Sequence *> seqs;
    std::vector<std::string> rows;
    for (int i = 0; i < table->count; i++) {
        const Sequence *seq = table->seqs[i];
        if (!has_path_probabilities(seq)) continue;
        std::string row;
        bool ok = build_row(seq, track, row, [&](std::string &r, int k, bool match) {
            char ch = residue_letter(a, seq->tracks[track].res[k], nletters);
            if (!match) {
                r += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
            } else if (seq->pathprob[k].match && -seq->pathprob[k].lnprob >= threshold) {
                r += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
                r += '-';
            } else {
                r += ch;
            }
        });
        if (!ok) continue;
        seqs.push_back(seq);
        rows.push_back(std::move(row));
    }
    print_rows(out, seqs, rows, pad, false, track);
}

void print_seqpathalignment(FILE *out, const SequenceTable *table, int pad, int track,
                            double scale) {
    if (!out) error("print_seqalignment with null file\n");
    if (!table || table->count == 0) return;
    check_table(table);
    const AlphabetInfo *a = track_alphabet(track);
    bool numeric = !a || !a->letters;
    char title[80];
    if (scale == 1.0)
        snprintf(title, sizeof title, "Alignment posteriors -ln(P)");
    else
        snprintf(title, sizeof title, "Alignment posteriors  -ln(P)*%5.2f  (ppscale)", scale);
    std::vector<const Sequence *> seqs;
    std::vector<std::string> letters, posts;
    for (int i = 0; i < table->count; i++) {
        const Sequence *seq = table->seqs[i];
        if (!has_path_probabilities(seq)) continue;
        std::string row, post;
        LetterRow lr = letter_row(seq, track, numeric);
        if (!build_row(seq, track, row, lr)) continue;
        build_row(seq, track, post, [&](std::string &r, int k, bool match) {
            if (!match) {
                lr(r, k, false);
                return;
            }
            double v = -seq->pathprob[k].lnprob * scale;
            int digit = v < 0 ? 0 : (v > 9 ? 9 : static_cast<int>(v));
            r += static_cast<char>('0' + digit);
        });
        seqs.push_back(seq);
        letters.push_back(std::move(row));
        posts.push_back(std::move(post));
    }
    int *widths = padding_widths(letters, pad);
    for (size_t k = 0; k < seqs.size(); k++) {
        std::string row = letters[k], post = posts[k];
        if (widths) {
            char *p = pad_row(row.c_str(), widths);
            row = p;
            free(p);
            p = pad_row(post.c_str(), widths);
            post = p;
            free(p);
        }
        print_string(out, row.c_str(), seqs[k]->id, seqs[k]->annotation);
        print_string(out, post.c_str(), seqs[k]->id, title);
    }
    free(widths);
}

void print_seqpathprob(FILE *out, const SequenceTable *table) {
    if (!out) error("print_seqpathprob with null file\n");
    if (!table || table->count == 0) return;
    check_table(table);
    if (!table->seqs[0]->pathprob) error("print_seqpathprob called without path probabilities\n");
    fprintf(out, "SequenceID\tSeqIndex\tModIndex\tModState\tNegLnPosterior");
    for (int i = 0; i < num_alphabets && i < MAX_ALPHABET_TRACKS; i++)
        fprintf(out, "\tT%d:%s", i, alphabets[i] && alphabets[i]->name ? alphabets[i]->name : "");
    fputc('\n', out);
    fprintf(out, "10s\t8n\t8n\t8s\t9n");
    for (int i = 0; i < num_alphabets && i < MAX_ALPHABET_TRACKS; i++)
        fprintf(
            out, "\t%ds",
            static_cast<int>(alphabets[i] && alphabets[i]->name ? strlen(alphabets[i]->name) : 0) +
                3);
    fputc('\n', out);
    for (int s = 0; s < table->count; s++) {
        const Sequence *seq = table->seqs[s];
        if (!has_path_probabilities(seq)) continue;
        for (int i = 0; i < seq->len; i++) {
            const SeqPathProb &pp = seq->pathprob[i];
            fprintf(out, "%s\t%d\t%d\t%c\t%f", seq->id ? seq->id : "", i, pp.node,
                    pp.match ? 'M' : 'I', -pp.lnprob);
            for (int t = 0; t < seq->ntracks && t < MAX_TRACKS && t < MAX_ALPHABET_TRACKS; t++) {
                const AlphabetInfo *a = alphabets[t];
                const unsigned char *res = seq->tracks[t].res;
                char ch = '-';
                if (res && a && a->letters)
                    ch = residue_letter(a, res[i], strlen(a->letters));
                else if (res)
                    ch = 'X';
                fprintf(out, "\t%c", ch);
            }
            fputc('\n', out);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Insert widths and padding
// ---------------------------------------------------------------------------------------------

void add_control(const char *row, int **widths) {
    if (!row || !widths) return;
    bool created = false;
    int limit;  // entries that may be written: the existing list's columns + 1
    if (!*widths) {
        size_t n = strlen(row) + 5;
        *widths = static_cast<int *>(mem_alloc(n * sizeof(int)));
        created = true;
        limit = static_cast<int>(n) - 1;
    } else {
        limit = 0;
        while ((*widths)[limit] != -1) limit++;
    }
    int *w = *widths;
    int e = 0;
    bool mismatch = false;
    const char *p = row;
    for (;;) {
        int run = 0;
        while (*p && islower(static_cast<unsigned char>(*p))) {
            run++;
            p++;
        }
        if (e < limit) {
            if (run > w[e]) w[e] = run;
        } else {
            mismatch = true;
        }
        if (!*p) break;
        p++;  // the column
        e++;
    }
    if (created) {
        w[e + 1] = -1;
        return;
    }
    if (mismatch || e + 1 != limit) {
        fprintf(stderr, "sequence:add_control(): Not all alignments of same length\n");
        w[0] = -1;
    }
}

char *pad_row(const char *row, const int *widths) {
    std::string out;
    const char *p = row;
    for (int e = 0; widths[e] != -1; e++) {
        int run = 0;
        while (*p && islower(static_cast<unsigned char>(*p))) {
            out += *p++;
            run++;
        }
        for (; run < widths[e]; run++) out += '.';
        if (widths[e + 1] != -1 && *p) out += *p++;
    }
    return str_dup(out.c_str());
}

// ---------------------------------------------------------------------------------------------
// Alignment block
// ---------------------------------------------------------------------------------------------

AlignmentBlock *block_from_alignment(SequenceTable *table) {
    if (!alphabet) error("No alphabet set in block_from_alignment.");
    int del = alphabet->length_wild + 1;
    unsigned char delete_index = static_cast<unsigned char>(del);
    if (delete_index < alphabet->length_wild)
        error("Alphabet wraparound in block_from_alignment for delete char.");
    if (!table || table->count == 0 || !table->seqs[0] || !table->seqs[0]->align)
        error("Invalid alignment in block_from_alignment.");
    check_table(table);
    int ncols = 0;
    for (const unsigned char *c = table->seqs[0]->align; *c; c++)
        if (*c > ALIGN_MATCH_BASE)
            ncols += (*c > ALIGN_DELETE_BASE) ? *c - ALIGN_DELETE_BASE : *c - ALIGN_MATCH_BASE;
    AlignmentBlock *block = static_cast<AlignmentBlock *>(mem_alloc(sizeof(AlignmentBlock)));
    block->nseqs = table->count;
    block->ncols = ncols;
    block->source = table;
    block->delete_index = delete_index;
    block->rows = static_cast<unsigned char **>(mem_alloc(sizeof(unsigned char *) * table->count));
    for (int s = 0; s < table->count; s++) {
        const Sequence *seq = table->seqs[s];
        unsigned char *row = static_cast<unsigned char *>(mem_alloc(static_cast<size_t>(ncols)));
        block->rows[s] = row;
        const unsigned char *res = seq->tracks[0].res;
        int col = 0, i = 0;
        for (const unsigned char *c = seq->align; c && *c; c++) {
            int b = *c;
            if (b > ALIGN_DELETE_BASE) {
                for (int k = 0; k < b - ALIGN_DELETE_BASE; k++, col++)
                    if (col < ncols) row[col] = delete_index;
            } else if (b > ALIGN_MATCH_BASE) {
                for (int k = 0; k < b - ALIGN_MATCH_BASE; k++, col++, i++)
                    if (col < ncols && res && i < seq->len) row[col] = res[i];
            } else {
                i += b;
            }
        }
        if (col != ncols) {
            fprintf(stderr, "sequence:block_from_alignment(): sequence %d (%s)\n", s,
                    shown_text(seq->id).c_str());
            fprintf(stderr, "has conflicting alignment length (%d vs %d).\n", col, ncols);
        }
    }
    return block;
}

void free_block_alignment(AlignmentBlock *block) {
    if (!block) return;
    for (int s = 0; s < block->nseqs; s++) free(block->rows[s]);
    free(block->rows);
    free(block);
}

// ---------------------------------------------------------------------------------------------
// Filters and counters
// ---------------------------------------------------------------------------------------------

namespace {

template <typename Keep>
char *filter(char *s, Keep keep) {
    if (!s) return nullptr;
    char *out = s;
    size_t len = 0;
    for (char *p = s; *p; p++, len++)
        if (keep(static_cast<unsigned char>(*p))) *out++ = *p;
    *out = '\0';
    size_t kept = static_cast<size_t>(out - s);
    size_t removed = len - kept;
    if (removed > 100 && removed > len / 5) s = static_cast<char *>(mem_realloc(s, kept + 2));
    return s;
}

template <typename Keep>
int count(const char *s, Keep keep) {
    if (!s) return 0;
    int n = 0;
    for (const char *p = s; *p; p++)
        if (keep(static_cast<unsigned char>(*p))) n++;
    return n;
}

bool ascii_alnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}
bool match_char(unsigned char c) {
    return c == '-' || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
bool not_dot(unsigned char c) {
    return c != '.';
}

}  // namespace

char *remove_dots(char *s) {
    return filter(s, not_dot);
}
char *remove_nonchardig(char *s) {
    return filter(s, ascii_alnum);
}
char *remove_nonmatchchar(char *s) {
    return filter(s, match_char);
}
int matchcolumns(const char *s) {
    return count(s, match_char);
}
int nondotcolumns(const char *s) {
    return count(s, not_dot);
}
int charcolumns(const char *s) {
    return count(s, ascii_alnum);
}
