// Alignment reading: the type of an alignment file, the alignment code of a row, and aligned
// files read into sequence tables.

#include "sequences/alignment.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "sequences/fasta.h"
#include "sequences/hssp.h"
#include "sequences/seqio.h"
#include "sequences/seqio_print.h"
#include "sequences/sequence.h"
#include "foundation/errors.h"

namespace {

inline bool is_upper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}
inline bool is_lower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}
inline bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool is_letter(unsigned char c) {
    return is_upper(c) || is_lower(c);
}

// Match columns of an A2M row: capitals and '-'. Digits stand for inserts, never for columns.
int a2m_match_columns(const char *s) {
    int n = 0;
    for (; *s; s++)
        if (is_upper(static_cast<unsigned char>(*s)) || *s == '-') n++;
    return n;
}

const char *row_text(const Sequence *seq) {
    return seq->tracks[0].res ? reinterpret_cast<const char *>(seq->tracks[0].res) : "";
}

// Appends a run to a growing code (room made here).
void add_run(std::vector<unsigned char> &code, int base, int full, long steps) {
    if (steps <= 0) return;
    size_t used = code.size();
    code.resize(used + static_cast<size_t>(steps / (full - base)) + 2);
    int last = code_update(code.data(), static_cast<int>(used) - 1, base, full, steps);
    code.resize(static_cast<size_t>(last) + 1);
}

// The alignment code of one prepared row. Returns false when the row asks for more residues
// than it holds (a digit run); *model_len and *residues receive the columns and the residues
// used; fims (optional) the 1-based positions of the row's 'O' columns.
bool encode_row(char *s, const char *id, std::vector<unsigned char> &code, long *model_len,
                long *residues, std::vector<int> *fims) {
    long available = 0;
    for (const char *p = s; *p; p++)
        if (isalnum(static_cast<unsigned char>(*p))) available++;
    long columns = 0, used = 0;
    bool reported = false;
    size_t n = strlen(s);
    size_t i = 0;
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (!isalnum(c) && c != '-') {
            if (!reported) {
                const std::string shown = shown_text(id);
                fprintf(stderr, "Seqid %s letter %zu (%s) is not a valid alignment character.\n",
                        shown.c_str(), i + 1, shown_text(s + i, 1).c_str());
                fprintf(stderr, "Using delete (-).  Further %s errors supressed\n", shown.c_str());
                reported = true;
            }
            s[i] = '-';
            c = '-';
        }
        if (c == '-') {
            long run = 0;
            while (i < n && s[i] == '-') run++, i++;
            add_run(code, ALIGN_DELETE_BASE, ALIGN_DELETE_BASE + ALIGN_MAX_DELETE_RUN, run);
            columns += run;
        } else if (is_upper(c)) {
            long run = 0;
            while (i < n && is_upper(static_cast<unsigned char>(s[i]))) {
                if (fims && s[i] == 'O') fims->push_back(static_cast<int>(columns + run + 1));
                run++, i++;
            }
            add_run(code, ALIGN_MATCH_BASE, ALIGN_MATCH_BASE + ALIGN_MAX_MATCH_RUN, run);
            columns += run;
            used += run;
        } else {
            long letters = 0;
            while (i < n && is_lower(static_cast<unsigned char>(s[i]))) letters++, i++;
            long inserts = letters;
            if (i < n && is_digit(static_cast<unsigned char>(s[i]))) {
                // The number the digits give, held just above what the row could use.
                long value = 0;
                while (i < n && is_digit(static_cast<unsigned char>(s[i]))) {
                    if (value <= available) value = value * 10 + (s[i] - '0');
                    i++;
                }
                inserts = value;
            }
            if (inserts > available - used) return false;
            add_run(code, 0, ALIGN_MAX_INSERT_RUN, inserts);
            used += inserts;
        }
        if (used > available) return false;
    }
    *model_len = columns;
    *residues = used;
    return true;
}

}  // namespace

int code_update(unsigned char *code, int index, int base, int full, long steps) {
    if (steps <= 0) return index;
    if (index >= 0 && code[index] > base && code[index] < full) {
        long room = full - code[index];
        long take = steps < room ? steps : room;
        code[index] = static_cast<unsigned char>(code[index] + take);
        steps -= take;
    }
    long per = full - base;
    while (steps > 0) {
        long take = steps < per ? steps : per;
        code[++index] = static_cast<unsigned char>(base + take);
        steps -= take;
    }
    return index;
}

const char *aligntype_string(int type) {
    switch (type) {
        case ALIGNTYPE_UNALIGNED: return "unaligned";
        case ALIGNTYPE_HSSP: return "HSSP alignment";
        case ALIGNTYPE_A2M: return "A2M alignment";
        case ALIGNTYPE_ALLPOS: return "all positions alignment";
        default: return "unknown alignment type";
    }
}

int alignment_type(const char *filename, int *columns, int *match_columns, int *count,
                   SequenceTable *table) {
    int start = table ? table->count : 0;
    if (isHSSP(filename)) {
        int length = 0, cols = 0, n = 0;
        HSSPinfo(filename, &length, &cols, &n);
        if (columns) *columns = length;
        if (match_columns) *match_columns = length;
        if (count) *count = n;
        if (table) {
            SeqFileSet *source = open_sequences(filename);
            while (Sequence *seq = read_sequence(source, 0)) add_seq_to_table(table, seq);
            close_sequences(source);
        }
        return ALIGNTYPE_HSSP;
    }
    SeqFileSet *source = open_sequences(filename);
    int n = 0;
    int min_len = 0, max_len = 0, min_match = 0, max_match = 0;
    while (Sequence *seq = read_sequence(source, 0)) {
        const char *s = row_text(seq);
        int len = static_cast<int>(strlen(s));
        int matches = a2m_match_columns(s);
        if (n == 0) {
            min_len = max_len = len;
            min_match = max_match = matches;
        } else {
            min_len = std::min(min_len, len);
            max_len = std::max(max_len, len);
            min_match = std::min(min_match, matches);
            max_match = std::max(max_match, matches);
        }
        n++;
        if (table)
            add_seq_to_table(table, seq);
        else
            free_sequence(seq);
        if (min_len != max_len && min_match != max_match) break;
    }
    close_sequences(source);
    if (count) *count = n;
    if (columns) *columns = max_len;
    int type = ALIGNTYPE_UNALIGNED, matches = 0;
    if (n > 0 && min_match == max_match && max_match > 0) {
        type = ALIGNTYPE_A2M;
        matches = max_match;
    } else if (n > 0 && min_len == max_len && max_len > 0) {
        type = ALIGNTYPE_ALLPOS;
        matches = max_len;
    }
    if (match_columns) *match_columns = matches;
    if (type == ALIGNTYPE_UNALIGNED && table) {
        for (int i = start; i < table->count; i++) free_sequence(remove_seq_from_table(table, i));
        compact_sequence_table(table);
        table->count = start;
    }
    return type;
}

SequenceTable *read_alignment(const char *filename, int **fims, int *nfims) {
    if (fims) *fims = nullptr;
    if (nfims) *nfims = 0;
    check_alphabet(filename);
    SequenceTable *table = alloc_sequence_table();
    int columns = 0, match_columns = 0, count = 0;
    int type;
    try {
        type = alignment_type(filename, &columns, &match_columns, &count, table);
    } catch (...) {
        // A fatal error thrown instead of ending the run (tests), or memory run out, leaves
        // nothing behind.
        free_sequence_table(table);
        throw;
    }
    if (type == ALIGNTYPE_UNALIGNED) {
        fprintf(stderr, "File %s (%d sequence%s) does not look like an alignment.\n%s%s%s%s",
                shown_text(filename).c_str(), count, (count == 1 || count == -1) ? "" : "s",
                " There must be the same number of columns in each sequence.\n",
                " In a2m format, a column is a capital letter or -.  If each sequence\n",
                " does not have the same number of capitals and hyphens, QOR will try\n",
                " treating every uppercase, lowercase, period and hyphen as a column.\n");
        fprintf(stderr, "QOR will ignore the alignment file.\n");
        fprintf(stderr, "On the WWW server, QOR will train a model on the unaligned sequences.\n");
        free_sequence_table(table);
        return nullptr;
    }
    fprintf(stderr, "Reading alignment file %s (%d sequence%s %d columns) as %s.\n",
            shown_text(filename).c_str(), count, count == 1 ? "," : "s,", match_columns,
            aligntype_string(type));

    std::vector<int> first_fims;
    long reference = -1;
    const char *reference_id = "";
    int handled = 0;
    std::vector<unsigned char> code;
    for (int i = 0; i < table->count; i++) {
        Sequence *seq = table->seqs[i];
        handled++;
        if (!seq->tracks[0].res) seq->tracks[0].res = static_cast<unsigned char *>(mem_alloc(2));
        char *s = reinterpret_cast<char *>(seq->tracks[0].res);
        if (type == ALIGNTYPE_A2M) {
            s = remove_dots(s);
        } else if (type == ALIGNTYPE_ALLPOS) {
            for (char *p = s; *p; p++) {
                unsigned char c = static_cast<unsigned char>(*p);
                if (is_lower(c))
                    *p = static_cast<char>(toupper(c));
                else if (!is_letter(c))
                    *p = '-';
            }
        }
        seq->tracks[0].res = reinterpret_cast<unsigned char *>(s);
        code.clear();
        long model_len = 0, used = 0;
        std::vector<int> row_fims;
        bool fits = encode_row(s, sequence_id(seq), code, &model_len, &used,
                               reference < 0 ? &row_fims : nullptr);
        convertseq(seq);
        if (!fits || used != seq->len) {
            fprintf(stderr,
                    "Warning: In alignment file %s, sequence %d (%s) has an alignment that does "
                    "not fit its %d residues; the sequence is dropped.\n",
                    shown_text(filename).c_str(), i, shown_text(sequence_id(seq)).c_str(),
                    seq->len);
            free_sequence(remove_seq_from_table(table, i));
            continue;
        }
        if (reference < 0) {
            reference = model_len;
            reference_id = sequence_id(seq);
            first_fims = row_fims;
        } else if (model_len != reference) {
            fprintf(stderr, "Warning: In alignment file %s, the first sequence (%s) has\n",
                    shown_text(filename).c_str(), shown_text(reference_id).c_str());
            fprintf(stderr, "%ld match positions%s while sequence %d (%s) has %ld.\n", reference,
                    type == ALIGNTYPE_A2M ? " (uppercase or '-')" : "", i,
                    shown_text(sequence_id(seq)).c_str(), model_len);
            fprintf(stderr, "  The sequence is dropped.\n");
            free_sequence(remove_seq_from_table(table, i));
            continue;
        }
        seq->align = static_cast<unsigned char *>(memdub(code.data(), code.size()));
    }
    if (handled != count)
        fprintf(stderr, "Internal error reading alignment file %d %d\n", handled, count);
    compact_sequence_table(table);
    int kept = 0;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) kept++;
    table->count = kept;
    if (kept == 0) {
        fprintf(stderr, "No usable sequence in alignment file %s.\n", shown_text(filename).c_str());
        free_sequence_table(table);
        return nullptr;
    }
    if (!first_fims.empty()) {
        if (fims) {
            *fims = static_cast<int *>(mem_alloc(sizeof(int) * first_fims.size()));
            std::copy(first_fims.begin(), first_fims.end(), *fims);
        }
        if (nfims) *nfims = static_cast<int>(first_fims.size());
    }
    return table;
}
