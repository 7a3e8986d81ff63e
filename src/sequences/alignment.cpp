// Alignment reading, counting an alignment into a frequency model, and multiple-domain cutting.

#include "sequences/alignment.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/alphabet.h"
#include "models/codon.h"
#include "models/constraints.h"
#include "models/constrparse.h"
#include "engine/emloop.h"
#include "sequences/fasta.h"
#include "sequences/hssp.h"
#include "foundation/init.h"
#include "models/models.h"
#include "models/models_labels.h"
#include "sequences/seqio.h"
#include "sequences/seqio_print.h"
#include "scorefiles/seqio_report.h"
#include "sequences/sequence.h"
#include "foundation/utilities.h"
#include "models/weightalignment.h"

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

const char *id_of(const Sequence *seq) {
    return seq->id ? seq->id : "";
}

// Source index of a code byte's kind for the transition triples: 0 delete, 1 match, 2 insert.
inline int source_index(int b) {
    if (b > ALIGN_DELETE_BASE) return 0;
    if (b > ALIGN_MATCH_BASE) return 1;
    return 2;
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
        // A fatal error thrown instead of ending the run (tests) leaves nothing behind.
        free_sequence_table(table);
        throw;
    }
    if (type == ALIGNTYPE_UNALIGNED) {
        fprintf(stderr, "File %s (%d sequence%s) does not look like an alignment.\n%s%s%s%s",
                filename, count, (count == 1 || count == -1) ? "" : "s",
                " There must be the same number of columns in each sequence.\n",
                " In a2m format, a column is a capital letter or -.  If each sequence\n",
                " does not have the same number of capitals and hyphens, QOR will try\n",
                " treating every uppercase, lowercase, period and hyphen as a column.\n");
        fprintf(stderr, "QOR will ignore the alignment file.\n");
        fprintf(stderr, "On the WWW server, QOR will train a model on the unaligned sequences.\n");
        free_sequence_table(table);
        return nullptr;
    }
    fprintf(stderr, "Reading alignment file %s (%d sequence%s %d columns) as %s.\n", filename,
            count, count == 1 ? "," : "s,", match_columns, aligntype_string(type));

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
        bool fits =
            encode_row(s, id_of(seq), code, &model_len, &used, reference < 0 ? &row_fims : nullptr);
        convertseq(seq);
        if (!fits || used != seq->len) {
            fprintf(stderr,
                    "Warning: In alignment file %s, sequence %d (%s) has an alignment that does "
                    "not fit its %d residues; the sequence is dropped.\n",
                    filename, i, shown_text(id_of(seq)).c_str(), seq->len);
            free_sequence(remove_seq_from_table(table, i));
            continue;
        }
        if (reference < 0) {
            reference = model_len;
            reference_id = id_of(seq);
            first_fims = row_fims;
        } else if (model_len != reference) {
            fprintf(stderr, "Warning: In alignment file %s, the first sequence (%s) has\n",
                    filename, shown_text(reference_id).c_str());
            fprintf(stderr, "%ld match positions%s while sequence %d (%s) has %ld.\n", reference,
                    type == ALIGNTYPE_A2M ? " (uppercase or '-')" : "", i,
                    shown_text(id_of(seq)).c_str(), model_len);
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
        fprintf(stderr, "No usable sequence in alignment file %s.\n", filename);
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

void update_freqs(const Sequence *seq, Model *counts) {
    if (!seq || !counts) return;
    const unsigned char *code = seq->align;
    int L = counts->length;
    long n = code ? static_cast<long>(strlen(reinterpret_cast<const char *>(code))) : 0;
    // Check the whole code before counting anything.
    long columns = 0, used = 0;
    for (long p = 0; p < n; p++) {
        int b = code[p];
        if (b > ALIGN_DELETE_BASE)
            columns += b - ALIGN_DELETE_BASE;
        else if (b > ALIGN_MATCH_BASE)
            columns += b - ALIGN_MATCH_BASE, used += b - ALIGN_MATCH_BASE;
        else
            used += b;
    }
    if (n > 0 && (columns != L || used != seq->len || (used > 0 && !seq->tracks[0].res)))
        error("update_freqs: alignment of %s does not fit the model (%ld of %d columns) or its "
              "residues (%ld of %d)",
              shown_text(id_of(seq)).c_str(), columns, L, used, seq->len);
    counts->nodes[L + 1]->mjump[n > 0 ? source_index(code[n - 1]) : 1] += 1;
    if (n == 0) return;
    const unsigned char *res = seq->tracks[0].res;
    int A = alphabet ? alphabet->emit_length : 0;
    int k = L;
    long r = seq->len;  // residues not yet walked; the next one back is res[r - 1]
    for (long p = n - 1; p >= 0; p--) {
        int b = code[p];
        int prev = p > 0 ? source_index(code[p - 1]) : 1;
        if (b > ALIGN_DELETE_BASE) {
            for (int j = b - ALIGN_DELETE_BASE - 1; j >= 0; j--, k--)
                counts->nodes[k]->djump[j == 0 ? prev : 0] += 1;
        } else if (b > ALIGN_MATCH_BASE) {
            for (int j = b - ALIGN_MATCH_BASE - 1; j >= 0; j--, k--) {
                Node *node = counts->nodes[k];
                node->mjump[j == 0 ? prev : 1] += 1;
                int x = res[--r];
                if (node->type == CODON_TYPE_C) {
                    if (r + 2 < seq->len && x < NUM_NUCLEOTIDES && res[r + 1] < NUM_NUCLEOTIDES &&
                        res[r + 2] < NUM_NUCLEOTIDES)
                        node->match[codon_index(x, res[r + 1], res[r + 2])] += 1;
                } else if (node->type != CODON_TYPE_D && node->type != CODON_TYPE_E && x < A) {
                    node->match[x] += 1;
                }
            }
        } else {
            Node *node = counts->nodes[k];
            for (int j = b - 1; j >= 0; j--) {
                node->ijump[j == 0 ? prev : 2] += 1;
                int x = res[--r];
                if (node->type != CODON_TYPE_C && node->type != CODON_TYPE_D && x < A)
                    node->insert[x] += 1;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Multiple-domain cutting
// ---------------------------------------------------------------------------------------------

namespace {

// select_md: absolute value f (bits 1 mdNLLnull > simple, 2 mdNLLcomplex > second, 4 mdEmax >
// E-value, 8 always); a negative value keeps the regions that fail.
bool md_selected(const Sequence *seq, const ScoreParams *score) {
    int v = score->select_md;
    if (v == 0) return false;
    long long f = std::llabs(static_cast<long long>(v));
    bool pass = true;
    if (!(f & SELECT_ALL)) {
        if ((f & SELECT_SIMPLE) && !(score->mdNLLnull > seq->simple_score)) pass = false;
        if ((f & SELECT_SECOND) && !(score->mdNLLcomplex > seq->second_score)) pass = false;
        if ((f & SELECT_EVALUE) && !(score->mdEmax > seq->evalue)) pass = false;
    }
    return v > 0 ? pass : !pass;
}

char residue_char(unsigned char idx) {
    if (alphabet && alphabet->letters && idx < strlen(alphabet->letters))
        return static_cast<char>(tolower(static_cast<unsigned char>(alphabet->letters[idx])));
    return 'x';
}

}  // namespace

int multdomain_sequence(Sequence *seq, SequenceTable *result, FILE *fasta, ScoreParams *score,
                        ConstrTable *subseq_constraints, ConstrTable *align_constraints,
                        FILE *domtable) {
    if (!seq) return 0;
    return process_sequence(seq, 1, seq->len, result, fasta, score, subseq_constraints,
                            align_constraints, domtable);
}

int process_sequence(Sequence *S, int l, int r, SequenceTable *result, FILE *fasta,
                     ScoreParams *score, ConstrTable *subseq_constraints,
                     ConstrTable *align_constraints, FILE *domtable) {
    if (!S || !score || !S->tracks[0].res) return 0;
    if (l < 1) l = 1;
    if (r > S->len) r = S->len;
    if (l >= r) return 0;
    int L = score->model_length;
    double cut = L * score->Motifcutoff;
    int minlen = static_cast<int>(cut);
    if (r - l < minlen) {
        fprintf(stderr, "MD warning l %d r %d ml %d mc %4.2f min %d %s\n", l, r, L,
                score->Motifcutoff, minlen, shown_text(id_of(S)).c_str());
        return 0;
    }
    // The region as a sequence of its own.
    int n = r - l + 1;
    Sequence *region = alloc_sequence(n, 1);
    memcpy(region->tracks[0].res, S->tracks[0].res + (l - 1), static_cast<size_t>(n));
    region->converted = 1;
    copy_subseq_constraints(S, l, r, region);
    std::string name =
        std::string(id_of(S)) + ":" + std::to_string(l) + ":" + std::to_string(r) + "(md_internal)";
    region->id = str_dup(name.c_str());
    region->annotation = str_dup(S->annotation);
    align_one_sequence(region, score);
    char *text = md_selected(region, score) ? str_w_deletions(region, 0, 0, 0) : nullptr;
    if (!text) {
        free_sequence(region);
        return 0;
    }
    long T = static_cast<long>(strlen(text));
    // Leading inserts with one '-' after them; the trailing inserts after index z.
    long a = 0;
    while (a < T && is_lower(static_cast<unsigned char>(text[a]))) a++;
    if (a < T && text[a] == '-') a++;
    long z = T - 1;
    while (z >= 0 && is_lower(static_cast<unsigned char>(text[z]))) z--;
    if (z < a) {
        // Nothing of the model was matched: no domain.
        free(text);
        free_sequence(region);
        return 0;
    }
    auto gaps = [&](long from, long to) {  // '-' and '.' in text[from..to]
        long g = 0;
        for (long p = from; p <= to; p++)
            if (text[p] == '-' || text[p] == '.') g++;
        return g;
    };
    long g1 = gaps(0, a - 1), g2 = gaps(a, z);
    long b = l + a - g1;
    long e = l + z - g2 - g1;
    b = std::max<long>(l, std::min<long>(b, r));
    e = std::max<long>(b, std::min<long>(e, r));
    int as = score->alignshort;
    // Flanks: S's residues before the region (0-based from..l-2), the leading inserts of the
    // region text (lead..a-1), the region text a..tail-1, and S's residues after r (r..after-1).
    long before = 0, lead = 0, tail = T, after = S->len;
    if (as >= 0) {
        before = std::max<long>(0, b - as - 1);
        lead = std::max<long>(0, a - as - g1);
        tail = std::min<long>(T, z + 1 + as);
        after = std::min<long>(S->len, e + as);
    }
    before = std::min<long>(before, l - 1);
    std::string out;
    for (long p = before; p < l - 1; p++) out += residue_char(S->tracks[0].res[p]);
    out.append(text + lead, static_cast<size_t>(a - lead));
    out.append(text + a, static_cast<size_t>(tail - a));
    // Text cut before the end of the region leaves no residue after r to write.
    if (tail == T)
        for (long p = r; p < after; p++) out += residue_char(S->tracks[0].res[p]);
    std::string newname = std::string(id_of(S)) + "_" + std::to_string(b) + ":" + std::to_string(e);
    if (fasta) {
        print_string(fasta, out.c_str(), newname.c_str(), S->annotation);
        fflush(fasta);
    }
    long first = before < l - 1 ? before + 1 : l + lead;
    long last = (tail == T) ? std::max<long>(r, after) : l + (tail - 1) - gaps(0, tail - 1);
    if (domtable)
        fprintf(domtable, "%s\t%s\t%d\t%d\t%d\t%d\n", newname.c_str(), id_of(S),
                static_cast<int>(first), static_cast<int>(last), static_cast<int>(b),
                static_cast<int>(e));
    if (subseq_constraints)
        save_subseq_constraints(subseq_constraints, newname.c_str(), static_cast<int>(first),
                                static_cast<int>(last), S);
    if (align_constraints)
        save_domain_align_constraints(align_constraints, region, newname.c_str(), id_of(S), l, r,
                                      static_cast<int>(first));
    free(text);
    free_seq_data_align_trunc_annotate(region);
    free_seq_constraints(region);
    region->len = static_cast<int>(e - b + 1);
    free(region->id);
    region->id = str_dup(newname.c_str());
    if (result)
        add_seq_to_table(result, region);
    else
        free_sequence(region);
    // The parts before and after the domain, each strictly smaller than this region.
    if (a > cut && b - 1 < r)
        process_sequence(S, l, static_cast<int>(b - 1), result, fasta, score, subseq_constraints,
                         align_constraints, domtable);
    if (r - e > cut && e + 1 > l)
        process_sequence(S, static_cast<int>(e + 1), r, result, fasta, score, subseq_constraints,
                         align_constraints, domtable);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Frequency model of an alignment
// ---------------------------------------------------------------------------------------------

Model *freq_from_alignment(const char *filename, FILE *info, const char *run_name,
                           const char *weights_file, AWeightParams *aweight, PriorLib *prior,
                           ConstrParams *constr) {
    int *fims = nullptr;
    int nfims = 0;
    SequenceTable *table = read_alignment(filename, &fims, &nfims);
    if (!table || table->count == 0) {
        fprintf(stderr, "No alignment found in alignment file %s.\n", filename);
        free_sequence_table(table);
        free(fims);
        return nullptr;
    }
    bool have_file = weights_file && *weights_file;
    if (have_file && aweight && aweight->aweight_method != 0)
        fprintf(stderr, "Using alignment_weights file (%s) rather than aweight_method.\n",
                weights_file);
    if (have_file || !aweight || !weight_alignment(info, run_name, table, prior, aweight)) {
        SeqWeights weights;
        read_weights(have_file ? weights_file : nullptr, &weights);
        merge_weights(table, &weights);
        print_weight_info(info, "Alignment weights", have_file ? weights_file : nullptr, nullptr,
                          table, weights.num_families);
        free_weights(&weights);
    }
    int L = 0;  // the first row's model length (every row has it)
    for (const unsigned char *c = table->seqs[0]->align; *c; c++)
        if (*c > ALIGN_DELETE_BASE)
            L += *c - ALIGN_DELETE_BASE;
        else if (*c > ALIGN_MATCH_BASE)
            L += *c - ALIGN_MATCH_BASE;
    bool codon = alphabet && alphabet->id == CODON_ALPHABET_ID;
    Model *model;
    if (codon) {
        model = alloc_model(L / 3 * 3);
        init_model(model, 0);
        set_codon_nodes(model);
        if (nfims > 0) fprintf(stderr, "Warning:  internal FIMs ignored in codon alignment\n");
    } else {
        model = alloc_model(L);
        init_model(model, 0);
        make_lettercounts(&model->lettcount, table, 0, table->count);
        for (int f = 0; f < nfims; f++) {
            if (fims[f] < 1 || fims[f] > L) continue;
            turn_into_fim(model, nullptr, fims[f]);
            fprintf(stderr, "Node %d is a FIM.\n", fims[f]);
        }
    }
    free(fims);
    if (model->length == L) {
        Model *counts = alloc_model(L);
        for (int s = 0; s < table->count; s++) {
            Sequence *seq = table->seqs[s];
            init_model(counts, 0);
            if (codon) set_codon_nodes(counts);
            update_freqs(seq, counts);
            increment_model(model, counts, seq->weights ? seq->weights[0] : 1.0);
        }
        free_model(counts);
    } else {
        fprintf(stderr,
                "Warning:  codon alignment of %d columns is not a whole number of codons; "
                "no counts taken.\n",
                L);
    }
    if (constr) {
        ConstrTable *from_files = nullptr;
        if (constr->constraints_from_align) {
            constraints_from_align(table);
        } else if (constr->constraints_count > 0) {
            from_files = read_constraints_table(constr->constraints, constr->constraints_count, 0);
            apply_seqs_constraints(from_files, table);
        } else {
            free_sequence_table(table);
            return model;
        }
        model_labels_from_align(table, model);
        if (constr->constraints_out && *constr->constraints_out) {
            ConstrTable *out = create_constraint_table();
            save_seqs_constraints(table, out);
            write_constraints_table(out, constr->constraints_out);
            free_constraint_table(out);
        }
        free_constraint_table(from_files);
    }
    free_sequence_table(table);
    return model;
}
