// Score files: reading, report columns, E-values, sorting, selection and the merge with
// sequences read from sequence files.
#include "scorefiles/seqio_scores.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "foundation/scan_fast.h"
#include "sequences/seqio.h"
#include "sequences/sequence.h"

int sort_direction = 1;

// ---------------------------------------------------------------------------------------------
// Parsing one line
// ---------------------------------------------------------------------------------------------

bool parse_score_line(const char *line, size_t len, ScoreLine *out) {
    // A NUL byte ends the text of the line.
    if (const void *nul = std::memchr(line, '\0', len))
        len = static_cast<size_t>(static_cast<const char *>(nul) - line);
    if (len == 0 || line[0] == ';' || line[0] == '%') return false;
    const char *end = line + len;
    if (skip_space(line, end) == end) return false;  // blank line

    out->length = 0;
    out->report1 = SCORE_UNSET;
    out->report2 = SCORE_UNSET;
    out->evalue = SCORE_UNSET;
    out->xcount = 0;
    out->annotation = nullptr;
    out->annotation_len = 0;

    const char *p = line;
    while (p < end && *p != ' ' && *p != '\t') p++;
    out->id = line;
    out->id_len = static_cast<size_t>(p - line);
    if (p == end) {
        // Nothing after the ID: the line end is not part of it.
        if (out->id_len > 0 && line[out->id_len - 1] == '\n') {
            out->id_len--;
            if (out->id_len > 0 && line[out->id_len - 1] == '\r') out->id_len--;
        }
        return true;
    }
    const char *rest = p + 1;

    // The first ':' ends the numeric part; the rest of the line is the annotation.
    const char *numend = end;
    if (const void *colon = std::memchr(rest, ':', static_cast<size_t>(end - rest))) {
        numend = static_cast<const char *>(colon);
        out->annotation = numend + 1;
        out->annotation_len = static_cast<size_t>(end - numend - 1);
    }

    // The first 'X' before it marks the X count: the token before the 'X' (white space between
    // them allowed), never looked for before the start of the rest of the line.
    const char *xmark = nullptr;
    if (const void *x = std::memchr(rest, 'X', static_cast<size_t>(numend - rest))) {
        xmark = static_cast<const char *>(x);
        const char *q = xmark;
        while (q > rest && is_space((unsigned char)q[-1])) q--;
        while (q > rest && !is_space((unsigned char)q[-1])) q--;
        int count = 0;
        scan_int(q, xmark, &count);
        out->xcount = static_cast<float>(count);
    }

    // Length, the two columns and the E-value, stopping at the first text that is not a number.
    const char *q = scan_int(rest, numend, &out->length);
    if (!q) return true;
    double value;
    q = scan_double_fast(q, numend, &value);
    if (!q) return true;
    out->report1 = static_cast<float>(value);
    q = scan_double_fast(q, numend, &value);
    if (!q) return true;
    out->report2 = static_cast<float>(value);
    q = scan_double_fast(q, numend, &value);
    if (!q) return true;
    // A number followed by the 'X' is the count, not an E-value.
    if (xmark && skip_space(q, numend) == xmark) return true;
    out->evalue = value;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Reading a score file
// ---------------------------------------------------------------------------------------------

static char *copy_text(const char *text, size_t len) {
    char *s = static_cast<char *>(mem_alloc(len + 1));
    std::memcpy(s, text, len);
    s[len] = '\0';
    return s;
}

bool next_score_entry(InputReader *reader, ScoreLine *out, bool warn) {
    char *line;
    size_t len;
    while (reader_line_with_end(reader, &line, &len)) {
        if (!parse_score_line(line, len, out)) continue;
        // The columns as stored: a NaN, an infinity or a value past the single-precision range
        // (an infinity once converted) would reach every count and sum made of them.
        if (std::isfinite(out->report1) && std::isfinite(out->report2) &&
            std::isfinite(out->evalue))
            return true;
        if (warn)
            std::fprintf(stderr,
                         "Warning: score file %s line %ld: a score or E-value is not a finite "
                         "number; line skipped.\n",
                         shown_text(reader->name).c_str(), reader->line_number);
    }
    return false;
}

// Hands every entry of an open score file to f, in file order (the stream stays open); warn as
// next_score_entry.
template <typename F>
static void for_each_score_line(FILE *fp, const char *path, bool warn, F f) {
    InputReader reader;
    reader_init(&reader, fp, path);
    ScoreLine entry;
    while (next_score_entry(&reader, &entry, warn)) f(entry);
    reader_free(&reader);
}

SequenceTable *read_score_file(const char *path) {
    std::fprintf(stderr, "Reading scores from file %s\n", shown_text(path).c_str());
    FILE *fp = open_read(path, OPEN_FATAL);
    SequenceTable *table = alloc_sequence_table();
    for_each_score_line(fp, path, true, [table](const ScoreLine &entry) {
        Sequence *seq = alloc_sequence(0, 1);
        seq->id = copy_text(entry.id, entry.id_len);
        seq->len = entry.length;
        seq->report1 = entry.report1;
        seq->report2 = entry.report2;
        seq->evalue = entry.evalue;
        seq->xcount = entry.xcount;
        if (entry.annotation) seq->annotation = copy_text(entry.annotation, entry.annotation_len);
        add_seq_to_table(table, seq);
    });
    close_read(fp);
    return table;
}

SeqIdSet *read_score_file_ids(const char *path) {
    size_t n = std::strlen(path);
    if ((n >= 3 && std::strcmp(path + n - 3, ".gz") == 0) ||
        (n >= 2 && std::strcmp(path + n - 2, ".Z") == 0))
        return nullptr;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    FILE *fp = open_input(path);
    if (!fp) return nullptr;
    SeqIdSet *ids = new_seq_id_set();
    for_each_score_line(fp, path, false, [ids](const ScoreLine &entry) {
        seq_id_set_add(ids, entry.id, entry.id_len);
    });
    std::fclose(fp);
    return ids;
}

SequenceTable *read_select_seqfile_list_scored(const char *score_file, int *max_count,
                                               const char *const *files, int nfiles,
                                               const char *const *guides, int nguides,
                                               const char *const *select_ids, int nselect,
                                               const char *const *exclude_ids, int nexclude,
                                               FILE *report, FILE *report2, int mode) {
    // Released however the read ends, a fatal error thrown to the caller included.
    std::unique_ptr<SeqIdSet, void (*)(SeqIdSet *)> wanted(read_score_file_ids(score_file),
                                                           free_seq_id_set);
    if (!wanted)
        return read_select_seqfile_list(max_count, files, nfiles, guides, nguides, select_ids,
                                        nselect, exclude_ids, nexclude, report, report2, mode);
    return read_select_seqfile_list_filtered(max_count, files, nfiles, guides, nguides, select_ids,
                                             nselect, exclude_ids, nexclude, report, report2, mode,
                                             seq_id_set_contains, wanted.get());
}

// ---------------------------------------------------------------------------------------------
// Comparators and sorting
// ---------------------------------------------------------------------------------------------

// sort_direction when x is greater, its negative when smaller, 0 when equal; a NaN after every
// number whatever the direction, so that the order is consistent.
static int compare_values(double x, double y) {
    bool xn = std::isnan(x), yn = std::isnan(y);
    if (xn || yn) return xn == yn ? 0 : (xn ? 1 : -1);
    if (x > y) return sort_direction;
    if (x < y) return -sort_direction;
    return 0;
}

static inline const Sequence *slot(const void *p) {
    return *static_cast<const Sequence *const *>(p);
}

// Null slots sort last (sorted tables are compacted first; this only keeps the order defined).
static inline int compare_null(const Sequence *a, const Sequence *b) {
    return (a == nullptr) - (b == nullptr);
}

int c1compare(const void *pa, const void *pb) {
    const Sequence *a = slot(pa), *b = slot(pb);
    if (!a || !b) return compare_null(a, b);
    return compare_values(a->report1, b->report1);
}

int c2compare(const void *pa, const void *pb) {
    const Sequence *a = slot(pa), *b = slot(pb);
    if (!a || !b) return compare_null(a, b);
    int r = compare_values(a->report2, b->report2);
    return r ? r : compare_values(a->report1, b->report1);
}

int Zcompare(const void *pa, const void *pb) {
    const Sequence *a = slot(pa), *b = slot(pb);
    if (!a || !b) return compare_null(a, b);
    int r = compare_values(a->evalue, b->evalue);
    if (r) return r;
    r = compare_values(a->report2, b->report2);
    return r ? r : compare_values(a->report1, b->report1);
}

// Stable, so that entries with equal keys keep their table order.
static void sort_table(SequenceTable *table, int (*compare)(const void *, const void *)) {
    if (!table || table->count < 2) return;
    std::stable_sort(table->seqs, table->seqs + table->count,
                     [compare](Sequence *a, Sequence *b) { return compare(&a, &b) < 0; });
}

void sort_score_list(SequenceTable *table) {
    sort_table(table, c1compare);
}

void sort_scores_as_specified(ScoreParams *score, SequenceTable *table) {
    sort_direction = score->sort < 0 ? -1 : 1;
    long long m = std::llabs(static_cast<long long>(score->sort));
    if (m == 0) return;
    if (m & 4)
        sort_table(table, Zcompare);
    else if (m & 2)
        sort_table(table, c2compare);
    else
        sort_table(table, c1compare);
}

// ---------------------------------------------------------------------------------------------
// Report columns and E-values
// ---------------------------------------------------------------------------------------------

void evalue_calc(Sequence *seq, ScoreParams *score) {
    const double bound = 115.12925464970229;  // ln 10^50
    const double lbound = 690.7755278982137;  // ln 10^300
    int n = score->dbsize;
    if (n <= 0) {
        seq->evalue = SCORE_UNSET;
        return;
    }
    if (seq->second_score == SCORE_UNSET) {
        seq->evalue = n;
        return;
    }
    double lambda = score->query ? score->swlambda : score->lambda;
    double g = lambda * static_cast<double>(seq->second_score);
    if (g != 0) g = (g >= 0 ? 1.0 : -1.0) * std::pow(std::fabs(g), score->tau);
    if (-bound < g && g < bound) {
        seq->evalue = n / (1.0 + std::exp(-g));
    } else if (g >= bound) {
        // The limit of N / (1 + e^-g) for large g.
        seq->evalue = n;
    } else {
        double l = std::log(static_cast<double>(n)) + g;
        if (l > lbound)
            seq->evalue = 1e300;
        else if (l < -lbound)
            seq->evalue = 1e-300;
        else
            seq->evalue = std::exp(l);
    }
}

void set_columns(Sequence *seq, ScoreParams *score) {
    seq->report1 = seq->simple_score;
    switch (score->subtract_null) {
        case 2:
        case 3: seq->report2 = seq->second_score; break;
        case 4:
        case 5:
            seq->report2 = seq->second_score;
            evalue_calc(seq, score);
            break;
        default: seq->report2 = seq->raw_score; break;
    }
}

static Sequence *first_entry(const SequenceTable *table) {
    if (!table) return nullptr;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) return table->seqs[i];
    return nullptr;
}

bool columns_unset(const SequenceTable *table) {
    const Sequence *first = first_entry(table);
    return first && first->report1 == SCORE_UNSET && first->report2 == SCORE_UNSET;
}

static void fill_columns(SequenceTable *table, ScoreParams *score) {
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) set_columns(table->seqs[i], score);
}

void assign_sort_columns(SequenceTable *table, ScoreParams *score) {
    if (!table) return;
    if (score->dbsize <= 0) score->dbsize = table->count;
    if (columns_unset(table)) fill_columns(table, score);
}

void negate_score_list(int flag, SequenceTable *table) {
    if (!flag || !table) return;
    for (int i = 0; i < table->count; i++)
        if (Sequence *s = table->seqs[i]) {
            s->report1 = -s->report1;
            s->report2 = -s->report2;
        }
}

void copy_zscore_to_dist(SequenceTable *table) {
    if (!table) return;
    for (int i = 0; i < table->count; i++)
        if (Sequence *s = table->seqs[i]) s->report1 = static_cast<float>(s->evalue);
}

// ---------------------------------------------------------------------------------------------
// Selection
// ---------------------------------------------------------------------------------------------

bool score_selected(const Sequence *seq, const ScoreParams *score, int select) {
    if (select == 0) return false;
    bool inverted = select < 0;
    long long m = std::llabs(static_cast<long long>(select));
    bool selected = true;
    if (!(m & 8)) {
        if ((m & 1) && !(seq->report1 < score->NLLnull)) selected = false;
        if ((m & 2) && !(seq->report2 < score->NLLcomplex)) selected = false;
        if ((m & 4) && !(seq->evalue < score->Emax)) selected = false;
    }
    return inverted ? !selected : selected;
}

void trim_sequence_table(SequenceTable *table, ScoreParams *score, int select) {
    if (!table || table->count == 0) return;
    if (columns_unset(table)) {
        if (score->dbsize <= 0) score->dbsize = table->count;
        fill_columns(table, score);
    }
    for (int i = 0; i < table->count; i++) {
        Sequence *s = table->seqs[i];
        if (s && (select == 0 || !score_selected(s, score, select)))
            free_sequence(remove_seq_from_table(table, i));
    }
    compact_sequence_table(table);
}

// ---------------------------------------------------------------------------------------------
// Merge into score-file order
// ---------------------------------------------------------------------------------------------

// Hands the record found for a score-file entry over to the list: the score-file columns go with
// the record, so that selection sees them, and the score-file entry is released.
static void take_record(SequenceTable *list, int i, Sequence *record) {
    Sequence *entry = list->seqs[i];
    record->report1 = entry->report1;
    record->report2 = entry->report2;
    record->evalue = entry->evalue;
    record->xcount = entry->xcount;
    list->seqs[i] = record;
    free_sequence(entry);
}

// The merge by bisection in the full table sorted by ID. Used when one score-file ID matches
// several records of the full table: the record the bisection lands on is the one kept.
// Returns the number of records taken.
static int merge_by_sorted_search(SequenceTable *full, SequenceTable *list) {
    int taken_count = 0;
    int nfull = 0;
    if (full) {
        compact_sequence_table(full);
        sequence_sort(full);
        nfull = full->count;
    }
    std::vector<char> taken(static_cast<size_t>(nfull), 0);
    for (int i = 0; i < list->count; i++) {
        Sequence *entry = list->seqs[i];
        if (!entry || !entry->id) continue;
        int found = nfull > 0 ? sequence_search(entry->id, full) : -1;
        if (found < 0) {
            free_sequence(remove_seq_from_table(list, i));
        } else if (!taken[static_cast<size_t>(found)]) {
            take_record(list, i, full->seqs[found]);
            taken[static_cast<size_t>(found)] = 1;
            taken_count++;
        } else {
            std::fprintf(stderr, "ID %s selected twice; skipping repeat.\n",
                         shown_text(entry->id).c_str());
            free_sequence(remove_seq_from_table(list, i));
        }
    }
    for (int k = 0; k < nfull; k++)
        if (taken[static_cast<size_t>(k)]) remove_seq_from_table(full, k);
    return taken_count;
}

static inline uint64_t hash_id(const char *s) {
    uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (; *s; s++) {
        h ^= static_cast<unsigned char>(*s);
        h *= 1099511628211ULL;
    }
    return h ^ (h >> 32);
}

// Open-addressing index from the IDs of the score-file entries to the first entry of each ID.
// The score file is usually much smaller than the sequence files, so the index stays small while
// every record of the full table is looked up once.
struct ListIdIndex {
    std::vector<int> slot;      // list index of the first entry with the ID, or -1
    std::vector<uint32_t> tag;  // low hash bits of that ID, to skip most string comparisons
    size_t mask = 0;
};

static void list_index_init(ListIdIndex *index, int count) {
    size_t cap = 16;
    while (cap < 2 * static_cast<size_t>(count)) cap <<= 1;
    index->slot.assign(cap, -1);
    index->tag.assign(cap, 0);
    index->mask = cap - 1;
}

// Finds the ID in the index; when absent and `add` is at least 0, enters it with list index
// `add`. Returns the list index stored for the ID, or -1.
static int list_index_find(ListIdIndex *index, const SequenceTable *list, const char *id, int add) {
    uint64_t h = hash_id(id);
    uint32_t tag = static_cast<uint32_t>(h);
    for (size_t p = static_cast<size_t>(h) & index->mask;; p = (p + 1) & index->mask) {
        int at = index->slot[p];
        if (at < 0) {
            if (add >= 0) {
                index->slot[p] = add;
                index->tag[p] = tag;
                return add;
            }
            return -1;
        }
        if (index->tag[p] == tag && std::strcmp(list->seqs[at]->id, id) == 0) return at;
    }
}

// Each score-file entry is replaced by the full-table record of exactly the same ID (bytewise
// comparison), in score-file order; an ID not in the full table is dropped silently and a
// repeated ID keeps its first place only. The full table is indexed in one pass through a hash
// index of the score-file IDs rather than sorted.
void merge_selected_sequences(SequenceTable *full, SequenceTable *list, int required) {
    int taken_count = 0;
    if (list && list->count > 0) {
        if (full) compact_sequence_table(full);
        int nfull = full ? full->count : 0;
        int nlist = list->count;
        ListIdIndex index;
        list_index_init(&index, nlist);
        std::vector<int> head(static_cast<size_t>(nlist), -1);  // first entry of the same ID
        for (int i = 0; i < nlist; i++) {
            Sequence *entry = list->seqs[i];
            if (entry && entry->id)
                head[static_cast<size_t>(i)] = list_index_find(&index, list, entry->id, i);
        }
        std::vector<int> match(static_cast<size_t>(nlist), -1);  // full-table record by head
        bool repeated = false;
        for (int k = 0; k < nfull && !repeated; k++) {
            const Sequence *record = full->seqs[k];
            int h = list_index_find(&index, list, record->id ? record->id : "", -1);
            if (h < 0) continue;
            if (match[static_cast<size_t>(h)] >= 0)
                repeated = true;
            else
                match[static_cast<size_t>(h)] = k;
        }
        if (repeated) {
            taken_count = merge_by_sorted_search(full, list);
        } else {
            for (int i = 0; i < nlist; i++) {
                Sequence *entry = list->seqs[i];
                if (!entry || !entry->id) continue;
                int h = head[static_cast<size_t>(i)];
                int found = match[static_cast<size_t>(h)];
                if (found < 0) {
                    free_sequence(remove_seq_from_table(list, i));
                } else if (h == i) {
                    take_record(list, i, remove_seq_from_table(full, found));
                    taken_count++;
                } else {
                    std::fprintf(stderr, "ID %s selected twice; skipping repeat.\n",
                                 shown_text(entry->id).c_str());
                    free_sequence(remove_seq_from_table(list, i));
                }
            }
        }
    }
    free_sequence_table(full);
    if (list) compact_sequence_table(list);
    if (taken_count == 0 && required) error("No sequences specified");
}
