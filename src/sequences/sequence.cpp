// Sequence records and tables; sequence utilities (ordering and search by ID, statistics, letter
// frequencies, shuffling, reversal, weight files).
#include "sequences/sequence.h"
#include "sequences/model_records.h"

#include "foundation/alphabet.h"
#include "sequences/seq_constraints.h"
#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

// =============================================================================================
// Sequences
// =============================================================================================

Sequence *alloc_sequence(int length, int ntracks) {
    if (ntracks > MAX_TRACKS)
        error("alloc_sequence: %d tracks requested, at most %d are possible", ntracks, MAX_TRACKS);
    Sequence *seq = static_cast<Sequence *>(mem_alloc(sizeof(Sequence)));
    *seq = Sequence{};  // no text, tracks, alignment, weights or constraints; X count 0
    seq->len = length;
    seq->ntracks = ntracks;
    if (length > 0)
        for (int t = 0; t < ntracks; t++)
            seq->tracks[t].res = static_cast<unsigned char *>(mem_alloc((size_t)length + 2));
    // Every score unset.
    seq->raw_score = seq->prefilter_raw = seq->prefilter_simple = seq->simple_score =
        seq->second_score = seq->report1 = seq->report2 = SCORE_UNSET;
    seq->evalue = SCORE_UNSET;
    return seq;
}

Sequence *realloc_sequence(Sequence *seq, int new_length) {
    if (new_length < 0) new_length = 0;
    int n = std::min(seq->ntracks, MAX_TRACKS);
    for (int t = 0; t < n; t++) {
        if (seq->tracks[t].model) error("Realloc_sequence called with model sequence.\n");
        // The buffer keeps the two zero bytes past the residues that every buffer has from
        // alloc_sequence: copy_sequence copies length + 2 bytes.
        unsigned char *res =
            static_cast<unsigned char *>(mem_realloc(seq->tracks[t].res, (size_t)new_length + 2));
        res[new_length] = 0;
        res[new_length + 1] = 0;
        seq->tracks[t].res = res;
    }
    if (seq->constraints) error("can't realloc_sequence with constraints");
    seq->len = new_length;
    return seq;
}

void free_sequence(Sequence *seq) {
    if (!seq) return;
    std::free(seq->id);
    std::free(seq->annotation);
    std::free(seq->weights);
    std::free(seq->align);
    std::free(seq->pathprob);
    int n = std::min(seq->ntracks, MAX_TRACKS);
    for (int t = 0; t < n; t++) {
        std::free(seq->tracks[t].res);
        seq->tracks[t].res = nullptr;
        free_model(seq->tracks[t].model);
        seq->tracks[t].model = nullptr;
    }
    free_seq_constraints(seq);
    std::free(seq);
}

Sequence *copy_sequence(const Sequence *seq) {
    // Allocate without residues, then copy the tracks the source has: a track whose residues were
    // released (a light record) stays without residues in the copy too.
    Sequence *copy = alloc_sequence(0, seq->ntracks);
    copy->len = seq->len;
    if (seq->id) copy->id = str_dup(seq->id);
    if (seq->annotation) copy->annotation = str_dup(seq->annotation);
    int n = std::min(seq->ntracks, MAX_TRACKS);
    for (int t = 0; t < n; t++)
        if (seq->tracks[t].res && seq->len >= 0)
            copy->tracks[t].res =
                static_cast<unsigned char *>(memdub(seq->tracks[t].res, (size_t)seq->len + 2));
    if (seq->align)
        copy->align = static_cast<unsigned char *>(
            memdub(seq->align, std::strlen(reinterpret_cast<const char *>(seq->align)) + 1));
    copy->raw_score = seq->raw_score;
    copy->prefilter_raw = seq->prefilter_raw;
    copy->prefilter_simple = seq->prefilter_simple;
    copy->simple_score = seq->simple_score;
    copy->second_score = seq->second_score;
    copy->report1 = seq->report1;
    copy->xcount = seq->xcount;
    return copy;
}

void free_seq_data_align_trunc_annotate(Sequence *seq) {
    if (!seq) return;
    int n = std::min(seq->ntracks, MAX_TRACKS);
    for (int t = 0; t < n; t++) {
        std::free(seq->tracks[t].res);
        seq->tracks[t].res = nullptr;
    }
    if (seq->annotation && std::strlen(seq->annotation) > 50) {
        char *shorter = static_cast<char *>(mem_alloc(51));
        std::memcpy(shorter, seq->annotation, 50);
        shorter[50] = '\0';
        std::free(seq->annotation);
        seq->annotation = shorter;
    }
    std::free(seq->align);
    seq->align = nullptr;
}

// =============================================================================================
// Sequence tables
// =============================================================================================

SequenceTable *alloc_sequence_table() {
    SequenceTable *table = static_cast<SequenceTable *>(mem_alloc(sizeof(SequenceTable)));
    table->count = 0;
    table->capacity = 0;
    table->seqs = nullptr;
    return table;
}

// Makes room for one more slot: grows the slot array by SEQTABLE_GROWTH when it is full.
static void grow_if_full(SequenceTable *table) {
    if (table->count < table->capacity) return;
    if (table->capacity > INT_MAX - SEQTABLE_GROWTH)
        error("sequence:add_seq_to_table()  table full at %d sequences\n", table->capacity);
    int capacity = table->capacity + SEQTABLE_GROWTH;
    table->seqs =
        static_cast<Sequence **>(mem_realloc(table->seqs, (size_t)capacity * sizeof(Sequence *)));
    for (int i = table->capacity; i < capacity; i++) table->seqs[i] = nullptr;
    table->capacity = capacity;
}

void add_seq_to_table(SequenceTable *table, Sequence *seq) {
    if (!table) error("sequence:add_seq_to_table()  Null seqtab\n");
    if (!seq) return;
    grow_if_full(table);
    table->seqs[table->count++] = seq;
}

Sequence *remove_seq_from_table(SequenceTable *table, int index) {
    if (!table) error("sequence:remove_seq_from_table()  Null seqtab\n");
    if (index < 0 || index >= table->count) return nullptr;
    Sequence *seq = table->seqs[index];
    table->seqs[index] = nullptr;
    return seq;
}

void compact_sequence_table(SequenceTable *table) {
    if (!table) return;
    int kept = 0;
    for (int i = 0; i < table->count; i++)
        if (table->seqs[i]) table->seqs[kept++] = table->seqs[i];
    for (int i = kept; i < table->count; i++) table->seqs[i] = nullptr;
    table->count = kept;
}

void drop_null_sequences(SequenceTable *table, FILE *report) {
    if (!table) return;
    for (int i = 0; i < table->count; i++) {
        Sequence *seq = table->seqs[i];
        if (!seq || (seq->len != 0 && seq->tracks[0].res)) continue;
        if (report)
            std::fprintf(report, "Dropping zero-length sequence %s\n", shown_text(seq->id).c_str());
        free_sequence(remove_seq_from_table(table, i));
    }
    compact_sequence_table(table);
}

void clean_sequence_table(SequenceTable *table) {
    if (!table) return;
    for (int i = 0; i < table->count; i++) {
        free_sequence(table->seqs[i]);
        table->seqs[i] = nullptr;
    }
    table->count = 0;
}

void reset_sequence_table(SequenceTable *table) {
    if (!table) return;
    for (int i = 0; i < table->count; i++) table->seqs[i] = nullptr;
    table->count = 0;
}

void move_to_sequence_table(SequenceTable *dest, SequenceTable *src) {
    if (!src) return;
    for (int i = 0; i < src->count; i++)
        if (src->seqs[i]) {
            add_seq_to_table(dest, src->seqs[i]);
            src->seqs[i] = nullptr;
        }
    src->count = 0;
}

void create_sub_sequence_table(SequenceTable *table, SequenceTable *sub, int first, int last) {
    assert(table != nullptr);
    assert(sub != nullptr);
    if (!table || !sub) std::abort();
    reset_sequence_table(sub);
    // Only slots that exist are taken: indices outside the table are ignored.
    if (first < 0) first = 0;
    if (last > table->count - 1) last = table->count - 1;
    for (int i = first; i <= last; i++)
        if (table->seqs[i]) add_seq_to_table(sub, table->seqs[i]);
}

void copy_sequence_table(const SequenceTable *src, SequenceTable *dest) {
    if (!src) return;
    for (int i = 0; i < src->count; i++)
        if (src->seqs[i]) {
            if (!dest)  // refused before a copy is made
                error("sequence:add_seq_to_table()  Null seqtab\n");
            add_seq_to_table(dest, copy_sequence(src->seqs[i]));
        }
}

void free_seq_data_align_trunc_annotate_from_table(SequenceTable *table) {
    if (!table) error("sequence:free_seq_data_align_trunc_annotate_from_table()\n");
    for (int i = 0; i < table->count; i++) free_seq_data_align_trunc_annotate(table->seqs[i]);
}

void free_sequence_table(SequenceTable *table) {
    if (!table) return;
    for (int i = 0; i < table->count; i++) free_sequence(table->seqs[i]);
    std::free(table->seqs);
    std::free(table);
}

// =============================================================================================
// Ordering and search
// =============================================================================================

int seq_compare(const Sequence *a, const Sequence *b) {
    if (a->len != b->len) return a->len > b->len ? 1 : -1;
    const unsigned char *ra = a->tracks[0].res, *rb = b->tracks[0].res;
    if (a->len <= 0 || ra == rb) return 0;
    if (!ra || !rb) return ra ? 1 : -1;
    int c = std::memcmp(ra, rb, (size_t)a->len);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compare_seqs(const void *a, const void *b) {
    const Sequence *sa = *static_cast<Sequence *const *>(a);
    const Sequence *sb = *static_cast<Sequence *const *>(b);
    if (!sa || !sb) return 0;
    return seq_compare(sa, sb);
}

// ID of a sequence for comparisons; a sequence without an ID compares as the empty text.
int compare_ID(const void *a, const void *b) {
    const Sequence *sa = *static_cast<Sequence *const *>(a);
    const Sequence *sb = *static_cast<Sequence *const *>(b);
    if (!sa || !sb) return 0;
    return std::strcmp(sequence_id(sa), sequence_id(sb));
}

// The sorts are stable (equal keys keep their order) and place empty slots last, so that the
// order is fully determined whatever the table holds.
void sequence_data_sort(SequenceTable *table) {
    if (!table || table->count < 2) return;
    std::stable_sort(table->seqs, table->seqs + table->count,
                     [](const Sequence *a, const Sequence *b) {
                         if (!a || !b) return a != nullptr && b == nullptr;
                         return seq_compare(a, b) < 0;
                     });
}

void sequence_sort(SequenceTable *table) {
    if (!table || table->count < 2) return;
    std::stable_sort(table->seqs, table->seqs + table->count,
                     [](const Sequence *a, const Sequence *b) {
                         if (!a || !b) return a != nullptr && b == nullptr;
                         return std::strcmp(sequence_id(a), sequence_id(b)) < 0;
                     });
}

// Compares an ID with the ID of a slot; an empty slot sorts after every ID.
static inline int compare_id_to_slot(const char *id, const Sequence *seq) {
    if (!seq) return -1;
    return std::strcmp(id, sequence_id(seq));
}

// Bisection over slots lo..hi-1 of a table sorted by ID; the slot index or -1.
static int bisect_id(const char *id, const SequenceTable *table, int lo, int hi) {
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = compare_id_to_slot(id, table->seqs[mid]);
        if (c == 0) return mid;
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return -1;
}

int sequence_search(const char *id, const SequenceTable *table) {
    if (!id || !table) return -1;
    return bisect_id(id, table, 0, table->count);
}

int sequence_hint_search(const char *id, int hint, const SequenceTable *table) {
    if (!id || !table) return -1;
    int count = table->count;
    int h = hint + 1;
    if (h < 0 || h >= count) return bisect_id(id, table, 0, count);
    int c = compare_id_to_slot(id, table->seqs[h]);
    if (c == 0) return h;
    if (c > 0 && h + 1 < count) {
        c = compare_id_to_slot(id, table->seqs[h + 1]);
        if (c == 0) return h + 1;
    }
    if (c < 0) return bisect_id(id, table, 0, h);
    return h + 2 < count ? bisect_id(id, table, h + 2, count) : -1;
}

// =============================================================================================
// Statistics and letters
// =============================================================================================

void seq_max_stats(const SequenceTable *table, SeqInfo *info, int reset, float threshold) {
    if (!info) error("seq_max_stats passed null SeqInfo");
    if (!table || reset == 1) {
        info->min_len = 0;
        info->max_len = 0;
        info->count = 0;
        info->mean = 0.0;
        info->sum = 0.0;
        info->excess_sum = 0.0;
        info->sumsq = 0.0;
    }
    if (!table) return;
    bool first = (reset == 1 || info->count == 0);
    int taken = 0;
    for (int i = 0; i < table->count; i++) {
        const Sequence *seq = table->seqs[i];
        if (!seq) continue;
        int len = seq->len;
        if (first) {
            info->min_len = info->max_len = len;
            first = false;
        }
        info->sum += len;
        // The square is taken in 64 bits: a 32-bit product overflows for lengths above 46340.
        info->sumsq += (double)((int64_t)len * len);
        float excess = (float)len - threshold;
        info->excess_sum += excess > 1.0f ? excess : 1.0f;
        if (len < info->min_len) info->min_len = len;
        if (len > info->max_len) info->max_len = len;
        taken++;
    }
    info->count += taken;
    if (info->count > 1) {
        double var = (info->sumsq - info->sum * info->sum / info->count) / (info->count - 1);
        info->stddev = std::sqrt(var > 0.0 ? var : 0.0);
    }
    if (info->count > 0) info->mean = (float)info->sum / (float)info->count;
}

char *SeqToStr(const Sequence *seq) {
    check_alphabet(nullptr);
    int len = seq->len > 0 ? seq->len : 0;
    char *text = static_cast<char *>(mem_alloc((size_t)len + 1));
    const unsigned char *res = seq->tracks[0].res;
    const char *letters = alphabet->letters;
    size_t nletters = letters ? std::strlen(letters) : 0;
    for (int i = 0; i < len && res; i++) {
        // An index without a letter (the catch-all of alphabets that do not spell it) prints
        // as 'X'.
        text[i] = res[i] < nletters ? letters[res[i]] : 'X';
    }
    text[len] = '\0';
    return text;
}

int count_letter(char letter, const Sequence *seq) {
    check_alphabet(nullptr);
    const char *letters = alphabet->letters;
    const char *at = (letters && letter) ? std::strchr(letters, letter) : nullptr;
    if (!at) error("count_letter: letter not in alphabet");
    int index = (int)(at - letters);
    int n = 0;
    const unsigned char *res = seq->tracks[0].res;
    for (int i = 0; res && i < seq->len; i++)
        if (res[i] == index) n++;
    return n;
}

// Adds the count of an ambiguity letter to the two letters it stands for, in proportion to their
// counts (equal halves when both are 0).
static void share_ambiguity(float *counts, int amb, int x, int y) {
    float c = counts[amb];
    float sum = counts[x] + counts[y];
    if (sum == 0.0f) {
        counts[x] += c / 2.0f;
        counts[y] += c / 2.0f;
    } else {
        float cx = counts[x], cy = counts[y];
        counts[x] += c * cx / sum;
        counts[y] += c * cy / sum;
    }
}

float *global_letter_counts(Sequence *const *seqs, int track, int count) {
    check_alphabet(nullptr);
    const AlphabetInfo *ta = (track >= 0 && track < MAX_ALPHABET_TRACKS && alphabets[track])
                                 ? alphabets[track]
                                 : alphabet;
    int n = ta->emit_length;
    int m = ta->emit_length_wild;
    float *counts = static_cast<float *>(mem_alloc((size_t)m * sizeof(float)));
    for (int k = 0; k < m; k++) counts[k] = k < n ? 0.001f : 0.0f;
    if (seqs && track >= 0 && track < MAX_TRACKS)
        for (int s = 0; s < count; s++) {
            const Sequence *seq = seqs[s];
            if (!seq || track >= seq->ntracks || !seq->tracks[track].res) continue;
            const unsigned char *res = seq->tracks[track].res;
            for (int i = 0; i < seq->len; i++)
                if (res[i] < m) counts[res[i]] += 1.0f;
        }
    bool nucleic = alphabet->id == DNA_ALPHABET_ID || alphabet->id == RNA_ALPHABET_ID;
    bool protein = alphabet->id == PROTEIN_ALPHABET_ID;
    if (nucleic && m > n + 1 && n >= 4) {
        share_ambiguity(counts, n, 0, 1);      // R: A and G
        share_ambiguity(counts, n + 1, 2, 3);  // Y: C and T/U
    } else if (protein && m >= 22 && n >= 20) {
        share_ambiguity(counts, 20, 11, 2);  // B: N and D
        share_ambiguity(counts, 21, 13, 3);  // Z: Q and E
    }
    float sum = 0.0f;
    for (int k = 0; k < n; k++) sum += counts[k];
    float wild = m > 0 ? counts[m - 1] : 0.0f;
    if (wild != 0.0f && m - 1 >= n && sum > 0.0f)
        for (int k = 0; k < n; k++) counts[k] += counts[k] * wild / sum;
    sum = 0.0f;
    for (int k = 0; k < n; k++) sum += counts[k];
    if (sum > 0.0f)
        for (int k = 0; k < n; k++) counts[k] /= sum;
    if (nucleic && m > n + 1 && n >= 4) {
        counts[n] = counts[0] + counts[1];
        counts[n + 1] = counts[2] + counts[3];
    } else if (protein && m >= 22 && n >= 20) {
        counts[20] = counts[2] + counts[11];
        counts[21] = counts[3] + counts[13];
    }
    if (m > n) counts[m - 1] = 1.0f;
    return counts;
}

// =============================================================================================
// Shuffling and reversal in place
// =============================================================================================

void permuted_sequence(Sequence *seq) {
    if (!seq) return;
    int n = std::min(seq->ntracks, MAX_TRACKS);
    for (int i = seq->len - 1; i >= 1; i--) {
        int j = (int)(random() % (i + 1));
        for (int t = 0; t < n; t++) {
            unsigned char *res = seq->tracks[t].res;
            if (res) std::swap(res[i], res[j]);
        }
    }
}

void reverse_sequence(Sequence *seq) {
    if (!seq) return;
    int n = std::min(seq->ntracks, MAX_TRACKS);
    for (int t = 0; t < n; t++)
        if (seq->tracks[t].res && seq->len > 1)
            std::reverse(seq->tracks[t].res, seq->tracks[t].res + seq->len);
    std::swap(seq->constraints, seq->rev_constraints);
    seq->reversed = !seq->reversed;
}

// =============================================================================================
// Sequence weight files
// =============================================================================================

static void clear_weights_record(SeqWeights *w) {
    w->description = nullptr;
    w->num_families = 0;
    w->num_seqs = 0;
    w->weights = nullptr;
    w->ids = nullptr;
}

// Releases what a partly read record holds (rows 0..rows-1) and leaves it empty.
static void discard_weights(SeqWeights *w, int rows) {
    std::free(w->description);
    if (w->weights)
        for (int i = 0; i < rows; i++) std::free(w->weights[i]);
    if (w->ids)
        for (int i = 0; i < rows; i++) std::free(w->ids[i]);
    std::free(w->weights);
    std::free(w->ids);
    clear_weights_record(w);
}

// Reads the next line that is not a comment ('%' first); false at the end of the file.
static bool next_data_line(InputReader *in, std::string &line) {
    while (reader_line_copy(in, line))
        if (line.empty() || line[0] != '%') return true;
    return false;
}

// Reads a decimal integer token for the counts line into *count; a token that does not begin
// with a number counts as 0. False for one that begins with a number but is not wholly one
// (e.g. "1e9"), or whose value is past the long range.
static bool parse_count(const std::string &token, long *count) {
    const char *end = token.c_str() + token.size();
    bool overflow = false;
    *count = 0;
    const char *stop = scan_long(token.c_str(), end, count, &overflow);
    return !stop || (stop == end && !overflow);
}

int read_weights(const char *filename, SeqWeights *w) {
    if (!w) return 1;
    clear_weights_record(w);
    if (!filename || !*filename) return 1;
    const std::string file = shown_text(filename);  // the name as messages show it

    FILE *fp = open_read(filename, 0);
    if (!fp) {
        std::fprintf(stderr, "Could not open sequence weight file %s\n", file.c_str());
        std::fprintf(stderr, "Weightfile %s will not be used.\n", file.c_str());
        return 0;
    }

    std::string line;
    std::vector<std::string> tokens;
    bool ok = true;
    int rows = 0;

    std::string description;
    InputReader reader;
    reader_init(&reader, fp, filename);
    InputReader *in = &reader;
    bool have_description = next_data_line(in, description);
    long nseqs = 0, nfam = 0;
    if (have_description && next_data_line(in, line)) {
        tokens = split_tokens(line, " \t\n\r");
        long *counts[] = {&nseqs, &nfam};
        // The row count must also fit the record's int; a family count past the bound on
        // families is refused below.
        for (size_t k = 0; ok && k < 2 && k < tokens.size(); k++)
            if (!parse_count(tokens[k], counts[k]) || (k == 0 && nseqs > INT_MAX)) {
                std::fprintf(stderr,
                             "Weight file %s line %ld: count %s is not a whole number in range\n",
                             file.c_str(), in->line_number, shown_text(tokens[k]).c_str());
                ok = false;
            }
    }
    if (ok && (nseqs <= 0 || nfam <= 0)) {
        std::fprintf(stderr, "Weight file %s has an invalid Num_Sequences Num_families line\n",
                     file.c_str());
        std::fprintf(stderr, "or is missing a description line.\n");
        ok = false;
    }
    if (ok) {
        w->description = static_cast<char *>(memdub(description.c_str(), description.size()));
        if (nfam > MAX_WEIGHT_FAMILIES) {
            // Every row holds a weight for every family, missing ones included: a count beyond
            // any run's candidate models would cost that much for each row of the file.
            std::fprintf(stderr,
                         "Weight file %s line %ld: %ld families, more than the %d allowed\n",
                         file.c_str(), in->line_number, nfam, MAX_WEIGHT_FAMILIES);
            ok = false;
        } else if (nseqs > INT_MAX / (long)sizeof(char *)) {
            // A row count whose tables could not be addressed is refused; below it the row
            // arrays grow as rows arrive, so a file that promises more rows than it holds costs
            // no more than what it holds.
            std::fprintf(stderr, "Weight file %s line %ld: %ld rows, more than the %d allowed\n",
                         file.c_str(), in->line_number, nseqs, (int)(INT_MAX / sizeof(char *)));
            ok = false;
        }
    }
    if (ok) {
        w->num_seqs = (int)nseqs;
        w->num_families = (int)nfam;
        int capacity = 0;
        while (rows < w->num_seqs) {
            if (!next_data_line(in, line)) {
                std::fprintf(stderr, "Weightfile %s:  too few entries; %d of %d found.\n",
                             file.c_str(), rows, w->num_seqs);
                ok = false;
                break;
            }
            if (rows == capacity) {
                capacity = (int)std::min<long>(w->num_seqs, (long)capacity + 4096);
                w->weights = static_cast<double **>(
                    mem_realloc(w->weights, (size_t)capacity * sizeof(double *)));
                w->ids =
                    static_cast<char **>(mem_realloc(w->ids, (size_t)capacity * sizeof(char *)));
            }
            tokens = split_tokens(line, " \t\n\r");
            double *row =
                static_cast<double *>(mem_alloc((size_t)w->num_families * sizeof(double)));
            w->weights[rows] = row;
            if (tokens.empty()) {
                // A row without any token has no ID: it is kept under an empty ID with unit
                // weights, and matches no sequence.
                std::fprintf(stderr, "No ID for sequence %d in weightfile %s\n", rows,
                             file.c_str());
                w->ids[rows] = str_dup("");
                for (int f = 0; f < w->num_families; f++) row[f] = 1.0;
                rows++;
                continue;
            }
            w->ids[rows] = str_dup(tokens[0].c_str());
            const std::string shown_id = shown_text(tokens[0]);
            // The weights the row holds (any beyond the families are ignored); the missing ones,
            // always the last, are 1.0 with one message for the row.
            int held = (int)std::min<size_t>(tokens.size() - 1, (size_t)w->num_families);
            for (int f = 0; f < held; f++) {
                double v = 0.0;
                const std::string &t = tokens[f + 1];
                scan_double(t.c_str(), t.c_str() + t.size(), &v, nullptr, C_FORMS);
                if (!(v >= 0.0 && std::isfinite(v))) {
                    std::fprintf(stderr, "Weightfile %s: %5.2f for %s reset to 0.0\n", file.c_str(),
                                 v, shown_id.c_str());
                    v = 0.0;
                }
                row[f] = v;
            }
            for (int f = held; f < w->num_families; f++) row[f] = 1.0;
            if (held + 1 == w->num_families)
                std::fprintf(stderr, "Weightfile %s: Null weight for\n\t%s (%d) set to 1.0\n",
                             file.c_str(), shown_id.c_str(), held);
            else if (held < w->num_families)
                std::fprintf(stderr,
                             "Weightfile %s: Null weights for\n\t%s (%d to %d) set to 1.0\n",
                             file.c_str(), shown_id.c_str(), held, w->num_families - 1);
            rows++;
        }
    }
    reader_free(&reader);
    close_read(fp);
    if (!ok) {
        std::fprintf(stderr, "Weightfile %s will not be used.\n", file.c_str());
        discard_weights(w, rows);
        return 0;
    }
    return 1;
}

// Gives a sequence a new row of weights (replacing any it had).
static void give_weights(Sequence *seq, const double *row, int nfam) {
    std::free(seq->weights);
    seq->weights = static_cast<double *>(mem_alloc((size_t)nfam * sizeof(double)));
    for (int f = 0; f < nfam; f++) seq->weights[f] = row ? row[f] : 1.0;
}

void merge_weights(SequenceTable *table, SeqWeights *w) {
    if (!table) return;
    if (!w || w->num_families <= 0 || w->num_seqs <= 0) {
        if (w) w->num_families = 1;
        for (int i = 0; i < table->count; i++)
            if (table->seqs[i]) give_weights(table->seqs[i], nullptr, 1);
        return;
    }
    sequence_sort(table);

    // Sort the rows by ID, weights and IDs together (stable: equal IDs keep their file order).
    std::vector<int> order(w->num_seqs);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [w](int a, int b) { return std::strcmp(w->ids[a], w->ids[b]) < 0; });
    std::vector<double *> rows(w->num_seqs);
    std::vector<char *> ids(w->num_seqs);
    for (int i = 0; i < w->num_seqs; i++) {
        rows[i] = w->weights[order[i]];
        ids[i] = w->ids[order[i]];
    }
    std::copy(rows.begin(), rows.end(), w->weights);
    std::copy(ids.begin(), ids.end(), w->ids);

    int nfam = w->num_families;
    int s = 0, r = 0;
    while (s < table->count && r < w->num_seqs) {
        Sequence *seq = table->seqs[s];
        if (!seq) {
            s++;
            continue;
        }
        int c = std::strcmp(sequence_id(seq), w->ids[r]);
        if (c == 0) {
            give_weights(seq, w->weights[r], nfam);
            s++;
            r++;
        } else if (c < 0) {
            std::fprintf(stderr, "No weight found for sequence ID =>%s<=\n",
                         shown_text(sequence_id(seq)).c_str());
            std::fprintf(stderr, "setting to default weight of unity . . . \n");
            give_weights(seq, nullptr, nfam);
            s++;
        } else {
            std::fprintf(stderr,
                         "sequence ID %s is listed in the weights file but not the sequence file\n",
                         shown_text(w->ids[r]).c_str());
            r++;
        }
    }
}

void print_weight_info(FILE *out, const char *title, const char *source, const char *note,
                       const SequenceTable *table, int num_families) {
    if (num_families <= 0) return;
    if (!out) out = stderr;
    std::vector<double> total(num_families, 0.0), maxw(num_families, 0.0), minw(num_families, 0.0);
    bool first = true;
    for (int i = 0; table && i < table->count; i++) {
        const Sequence *seq = table->seqs[i];
        if (!seq) continue;
        for (int f = 0; f < num_families; f++) {
            double v = seq->weights ? seq->weights[f] : 1.0;
            total[f] += v;
            if (first || v > maxw[f]) maxw[f] = v;
            if (first || v < minw[f]) minw[f] = v;
        }
        first = false;
    }
    const char *from = source ? " from " : "";
    const char *src = source ? source : "";
    if (!title) title = "";
    if (num_families == 1) {
        std::fprintf(out, "%%  %s%s%s.  Total (%3.2f) Max (%3.2f) Min (%3.2f)\n", title, from, src,
                     total[0], maxw[0], minw[0]);
    } else {
        std::fprintf(out, "%%  %s%s%s have %d families.\n%%      Total weights: ", title, from, src,
                     num_families);
        for (int f = 0; f < num_families; f++) std::fprintf(out, "%3.2f ", total[f]);
        std::fprintf(out, "\n");
        std::fprintf(out, "%%      Max/Min weights: ");
        for (int f = 0; f < num_families; f++) std::fprintf(out, "%3.2f/%3.2f ", maxw[f], minw[f]);
        std::fprintf(out, "\n");
    }
    if (note && *note) std::fprintf(out, "%%  %s\n", note);
}

void free_weights(SeqWeights *w) {
    if (!w) return;
    int rows = (w->num_families > 0 && w->num_seqs > 0) ? w->num_seqs : 0;
    discard_weights(w, rows);
}
