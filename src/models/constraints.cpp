// Sequence constraints: tables of ranges, per-residue arrays and the conversions between them.
#include "models/constraints.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "foundation/errors.h"

// =============================================================================================
// Tables
// =============================================================================================

ConstrTable *create_constraint_table() {
    ConstrTable *table = static_cast<ConstrTable *>(mem_alloc(sizeof(ConstrTable)));
    table->count = 0;
    for (int b = 0; b < CONSTR_BUCKETS; b++) table->buckets[b] = nullptr;
    table->max_label = -1;
    table->unlabeled = 0;
    return table;
}

void free_constraint_table(ConstrTable *table) {
    if (!table) return;
    for (int b = 0; b < CONSTR_BUCKETS; b++) {
        SeqConstrList *entry = table->buckets[b];
        while (entry) {
            SeqConstrList *next_entry = entry->next;
            ConstrRange *range = entry->first;
            while (range) {
                ConstrRange *next_range = range->next;
                std::free(range);
                range = next_range;
            }
            std::free(entry->id);
            std::free(entry);
            entry = next_entry;
        }
    }
    std::free(table);
}

static int constr_bucket(const char *id) {
    return static_cast<int>(hash_string(id) & (CONSTR_BUCKETS - 1));
}

SeqConstrList *find_seq_constraints(const ConstrTable *table, const char *id) {
    if (!table || !id) return nullptr;
    for (SeqConstrList *e = table->buckets[constr_bucket(id)]; e; e = e->next)
        if (std::strcmp(e->id, id) == 0) return e;
    return nullptr;
}

void add_constraint_to_table(ConstrTable *table, const char *id, int seq_start, int label_start,
                             int length, int satisfied, int unsatisfied, int unconstrained) {
    if (!table) return;
    if (!id) error("constraint table: a constraint for a sequence without an ID");
    // Refuse what would index no residue or node, or whose ends would not fit an int.
    const char *fault = nullptr;
    if (seq_start < 1)
        fault = "sequence position must be greater than zero";
    else if (length < 1)
        fault = "empty range";
    else if (static_cast<long long>(seq_start) + length - 1 > INT_MAX)
        fault = "sequence position out of range";
    else if (label_start != CONSTR_UNNAMED_LABEL && label_start < 0)
        fault = "invalid model label";
    else if (label_start >= 0 && static_cast<long long>(label_start) + length - 1 > INT_MAX)
        fault = "model label out of range";
    if (fault)
        error("constraint %d-%d for %s: %s", seq_start,
              static_cast<int>(
                  std::min<long long>(static_cast<long long>(seq_start) + length - 1, INT_MAX)),
              shown_text(id).c_str(), fault);

    SeqConstrList *entry = find_seq_constraints(table, id);
    if (!entry) {
        int b = constr_bucket(id);
        entry = static_cast<SeqConstrList *>(mem_alloc(sizeof(SeqConstrList)));
        entry->id = str_dup(id);
        entry->max_pos = 0;
        entry->first = entry->last = nullptr;
        entry->next = table->buckets[b];
        table->buckets[b] = entry;
        table->count++;
    }
    ConstrRange *range = static_cast<ConstrRange *>(mem_alloc(sizeof(ConstrRange)));
    *range =
        ConstrRange{seq_start, label_start, length, satisfied, unsatisfied, unconstrained, nullptr};
    if (entry->last)
        entry->last->next = range;
    else
        entry->first = range;
    entry->last = range;

    int pos_end = seq_start + (length - 1);
    if (pos_end > entry->max_pos) entry->max_pos = pos_end;
    if (label_start == CONSTR_UNNAMED_LABEL) {
        table->unlabeled = 1;
    } else {
        int label_end = label_start + (length - 1);
        if (label_end > table->max_label) table->max_label = label_end;
    }
}

void print_constraint_table(FILE *out, const char *title, const ConstrTable *table) {
    std::fprintf(out, "Constraint table: %s", title ? title : "");
    if (!table) {
        std::fprintf(out, " is NULL\n");
        return;
    }
    std::fprintf(out, "    Sequence Constraint Ranges:\n");
    for (int b = 0; b < CONSTR_BUCKETS; b++)
        for (const SeqConstrList *e = table->buckets[b]; e; e = e->next) {
            std::fprintf(out, "        Constraints for %s:\n", e->id);
            for (const ConstrRange *r = e->first; r; r = r->next) {
                int label_end = r->label_start == CONSTR_UNNAMED_LABEL
                                    ? r->label_start
                                    : r->label_start + (r->length - 1);
                std::fprintf(out, "            %3d-%3d: %3d-%3d (%d)\n", r->seq_start,
                             r->seq_start + (r->length - 1), r->label_start, label_end, r->length);
            }
        }
}

// =============================================================================================
// Per-residue arrays
// =============================================================================================

// A new array of n entries, each noPosConstraint.
static PosConstraint *new_constraint_array(int n) {
    PosConstraint *a =
        static_cast<PosConstraint *>(mem_alloc(sizeof(PosConstraint) * static_cast<size_t>(n)));
    for (int i = 0; i < n; i++) a[i] = noPosConstraint;
    return a;
}

void apply_seqs_constraints(const ConstrTable *table, SequenceTable *seqs) {
    if (!table || !seqs) return;
    // Every sequence's new array is built aside first; they replace the old ones only when the
    // whole table applied without a fault. A sequence that stands twice in seqs keeps one array.
    std::vector<std::pair<Sequence *, PosConstraint *>> built;
    std::unordered_map<Sequence *, size_t> slot_of;
    try {
        for (int s = 0; s < seqs->count; s++) {
            Sequence *seq = seqs->seqs[s];
            if (!seq || !seq->id) continue;
            const SeqConstrList *entry = find_seq_constraints(table, seq->id);
            if (!entry) continue;
            int len = seq->len > 0 ? seq->len : 0;
            auto found = slot_of.find(seq);
            PosConstraint *a;
            if (found != slot_of.end()) {
                a = built[found->second].second;
            } else {
                a = new_constraint_array(len);
                if (seq->constraints)
                    for (int i = 0; i < len; i++) a[i] = seq->constraints[i];
                slot_of[seq] = built.size();
                built.emplace_back(seq, a);
            }
            for (const ConstrRange *r = entry->first; r; r = r->next) {
                long long last = static_cast<long long>(r->seq_start) + r->length - 1;
                if (last > len)
                    error("constraint %d-%d for %s is longer than the sequence (%d)", r->seq_start,
                          static_cast<int>(last), shown_text(seq->id).c_str(), seq->len);
                for (int k = 0; k < r->length; k++) {
                    int label = r->label_start == CONSTR_UNNAMED_LABEL ? CONSTR_UNNAMED_LABEL
                                                                       : r->label_start + k;
                    int pos = r->seq_start + k;
                    PosConstraint &c = a[pos - 1];
                    if (c.label != CONSTR_NO_LABEL && c.label != label)
                        error("sequence \"%s\", positon %d already has label %d, trying to set it "
                              "to %d",
                              shown_text(seq->id).c_str(), pos, c.label, label);
                    c = {label, r->satisfied, r->unsatisfied, r->unconstrained};
                }
            }
        }
    } catch (...) {
        // A fatal error thrown (tests, fuzzing) or memory run out: nothing was applied.
        for (auto &b : built) std::free(b.second);
        throw;
    }
    for (auto &b : built) {
        std::free(b.first->constraints);
        b.first->constraints = b.second;
    }
}

void create_seq_constraints(ConstrTable *table, const char *id, const PosConstraint *array,
                            int first_pos, int count) {
    if (!table || !array) return;
    int i = 0;
    while (i < count) {
        const PosConstraint &c = array[i];
        if (c.label == CONSTR_NO_LABEL) {
            i++;
            continue;
        }
        int run = 1;
        if (c.label != CONSTR_UNNAMED_LABEL) {
            while (i + run < count) {
                const PosConstraint &prev = array[i + run - 1];
                const PosConstraint &next = array[i + run];
                if (prev.label == INT_MAX || next.label != prev.label + 1 ||
                    next.satisfied != prev.satisfied || next.unsatisfied != prev.unsatisfied ||
                    next.unconstrained != prev.unconstrained)
                    break;
                run++;
            }
        }
        long long start = static_cast<long long>(first_pos) + i;
        if (start > INT_MAX || start < INT_MIN) start = INT_MIN;  // refused by the table
        add_constraint_to_table(table, id, static_cast<int>(start), c.label, run, c.satisfied,
                                c.unsatisfied, c.unconstrained);
        i += run;
    }
}

void save_seq_constraints(const Sequence *seq, ConstrTable *table) {
    if (!seq || !seq->constraints) return;
    create_seq_constraints(table, seq->id, seq->constraints, 1, seq->len);
}

void save_seqs_constraints(const SequenceTable *seqs, ConstrTable *table) {
    if (!seqs) return;
    for (int s = 0; s < seqs->count; s++) save_seq_constraints(seqs->seqs[s], table);
}

void save_subseq_constraints(ConstrTable *table, const char *id, int first, int last,
                             const Sequence *seq) {
    if (!seq || !seq->constraints) return;
    if (first < 1 || last < first || last > seq->len)
        error("constraints of residues %d-%d of %s: not inside the sequence (%d)", first, last,
              shown_text(seq->id ? seq->id : "(null)").c_str(), seq->len);
    create_seq_constraints(table, id, seq->constraints + (first - 1), 1, last - first + 1);
}

void copy_subseq_constraints(const Sequence *parent, int first, int last, Sequence *sub) {
    if (!parent || !parent->constraints || !sub) return;
    if (first < 1 || last < first || last > parent->len || last - first + 1 > sub->len)
        error("constraints of residues %d-%d of %s: not inside the sequence (%d) and its part (%d)",
              first, last, shown_text(parent->id ? parent->id : "(null)").c_str(), parent->len,
              sub->len);
    PosConstraint *a = new_constraint_array(sub->len);
    for (int k = 0; k <= last - first; k++) a[k] = parent->constraints[first - 1 + k];
    std::free(sub->constraints);
    sub->constraints = a;
}

// =============================================================================================
// Constraints from alignments
// =============================================================================================

// Column and residue of one matched residue of an alignment walk (both from 1); follows_match is
// false when an insert or delete run stands between this residue and the previous matched one.
struct MatchedResidue {
    int column;
    int residue;
    bool follows_match;
};

// The matched residues of a sequence's alignment code in order. Fatal when the sequence has no
// code or the code holds more residues than the sequence.
static std::vector<MatchedResidue> matched_residues(const Sequence *seq) {
    const std::string shown = shown_text(seq->id ? seq->id : "(null)");
    const char *id = shown.c_str();
    if (!seq->align) error("%s: no alignment to take constraints from", id);
    std::vector<MatchedResidue> out;
    long long column = 1, residue = 1;
    bool after_match = false;
    for (const unsigned char *a = seq->align; *a; a++) {
        int b = *a;
        if (b > ALIGN_DELETE_BASE) {
            column += b - ALIGN_DELETE_BASE;
            after_match = false;
        } else if (b <= ALIGN_MATCH_BASE) {
            residue += b;
            after_match = false;
        } else {
            for (int m = 0; m < b - ALIGN_MATCH_BASE; m++) {
                if (residue > seq->len || column > INT_MAX)
                    error("%s: alignment passes the end of the sequence (%d)", id, seq->len);
                out.push_back({static_cast<int>(column), static_cast<int>(residue), after_match});
                after_match = true;
                column++;
                residue++;
            }
        }
        if (residue > static_cast<long long>(seq->len) + 1)
            error("%s: alignment passes the end of the sequence (%d)", id, seq->len);
    }
    return out;
}

// A new array of the sequence's length with every matched residue pinned to its column.
static PosConstraint *pinned_array(const Sequence *seq) {
    std::vector<MatchedResidue> matched = matched_residues(seq);
    PosConstraint *a = new_constraint_array(seq->len > 0 ? seq->len : 0);
    for (const MatchedResidue &m : matched)
        a[m.residue - 1] = {m.column, CONSTR_SATISFIED_COST, CONSTR_UNSATISFIED_COST,
                            CONSTR_UNCONSTRAINED_COST};
    return a;
}

void constraints_from_align(SequenceTable *seqs) {
    if (!seqs) return;
    std::vector<PosConstraint *> built(static_cast<size_t>(seqs->count), nullptr);
    try {
        for (int s = 0; s < seqs->count; s++)
            if (seqs->seqs[s]) built[s] = pinned_array(seqs->seqs[s]);
    } catch (...) {
        for (PosConstraint *a : built) std::free(a);
        throw;
    }
    for (int s = 0; s < seqs->count; s++) {
        Sequence *seq = seqs->seqs[s];
        if (!seq) continue;
        std::free(seq->constraints);
        seq->constraints = built[s];
    }
}

void save_align_constraints(ConstrTable *table, const SequenceTable *seqs) {
    if (!table || !seqs) return;
    for (int s = 0; s < seqs->count; s++) {
        const Sequence *seq = seqs->seqs[s];
        if (!seq || !seq->constraints) continue;
        std::vector<MatchedResidue> matched = matched_residues(seq);
        size_t i = 0;
        while (i < matched.size()) {
            const PosConstraint &c = seq->constraints[matched[i].residue - 1];
            if (c.label == CONSTR_NO_LABEL) {
                i++;
                continue;
            }
            // A run: constrained matched residues with nothing between them and the same costs.
            size_t j = i + 1;
            while (j < matched.size() && matched[j].follows_match) {
                const PosConstraint &d = seq->constraints[matched[j].residue - 1];
                if (d.label == CONSTR_NO_LABEL || d.satisfied != c.satisfied ||
                    d.unsatisfied != c.unsatisfied || d.unconstrained != c.unconstrained)
                    break;
                j++;
            }
            add_constraint_to_table(table, seq->id, matched[i].residue, matched[i].column,
                                    static_cast<int>(j - i), c.satisfied, c.unsatisfied,
                                    c.unconstrained);
            i = j;
        }
    }
}

void save_domain_align_constraints(ConstrTable *table, const Sequence *seq, const char *domain_id,
                                   const char *parent_id, int p0, int /*p_last*/, int k0) {
    if (!table || !seq) return;
    PosConstraint *a = pinned_array(seq);
    long long domain_first = static_cast<long long>(p0) - k0 + 1;
    try {
        if (domain_first < INT_MIN || domain_first > INT_MAX)
            error("constraints of domain %s: position %lld out of range",
                  shown_text(domain_id).c_str(), domain_first);
        create_seq_constraints(table, domain_id, a, static_cast<int>(domain_first), seq->len);
        create_seq_constraints(table, parent_id, a, p0, seq->len);
    } catch (...) {
        std::free(a);
        throw;
    }
    std::free(a);
}
