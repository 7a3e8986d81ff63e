// Sequence constraints: residues of named sequences tied to labelled model nodes. Two forms: a
// ConstrTable of position ranges per sequence ID (what constraint files hold) and the
// per-residue PosConstraint arrays of a Sequence (what the dynamic-programming engine reads),
// with the conversions between them and constraints taken from alignments. Constraint files are
// read and written by the constraint-file parser (constrparse.h). Releasing a sequence's arrays
// (free_seq_constraints) is sequences/seq_constraints.h, included here.
#ifndef QOR_CONSTRAINTS_H
#define QOR_CONSTRAINTS_H

#include <cstdio>

#include "sequences/seq_constraints.h"  // free_seq_constraints
#include "sequences/sequence.h"         // PosConstraint, noPosConstraint

// Label values of a PosConstraint or ConstrRange.
constexpr int CONSTR_NO_LABEL = -1;       // unconstrained residue
constexpr int CONSTR_UNNAMED_LABEL = -3;  // tied to a model node whose label is not given
// Costs of the constraints this unit makes: probability 1 when satisfied, the zero-probability
// cost when not, and the zero-probability cost added to every state of a constrained residue.
constexpr int CONSTR_SATISFIED_COST = 0;
constexpr int CONSTR_UNSATISFIED_COST = 80000;
constexpr int CONSTR_UNCONSTRAINED_COST = 80000;
// Hash buckets of a table (the bucket of an ID is hash_string(ID) & (CONSTR_BUCKETS - 1)).
constexpr int CONSTR_BUCKETS = 128;

// One range of one sequence: residue seq_start+k is tied to label label_start+k.
struct ConstrRange {
    int seq_start;    // first residue, from 1
    int label_start;  // label of the first residue, or CONSTR_UNNAMED_LABEL
    int length;       // residues covered, at least 1
    int satisfied;    // costs copied into each residue's PosConstraint
    int unsatisfied;
    int unconstrained;
    ConstrRange *next;  // next range of the same sequence, or null
};

// The ranges of one sequence ID.
struct SeqConstrList {
    char *id;            // owned copy
    int max_pos;         // highest seq_start + length - 1 over the ranges; 0 at creation
    ConstrRange *first;  // ranges in the order they were added (owned)
    ConstrRange *last;
    SeqConstrList *next;  // next entry of the hash chain
};

struct ConstrTable {
    int count;                               // sequence IDs held
    SeqConstrList *buckets[CONSTR_BUCKETS];  // chains; a new ID goes to the head of its chain
    int max_label;                           // highest label end over labelled ranges; -1 none
    int unlabeled;                           // 1 once a range without a label was added
};

// An empty table (count 0, max_label -1, unlabeled 0); owned by the caller.
ConstrTable *create_constraint_table();
// Releases a table, its entries and their ranges; null is ignored.
void free_constraint_table(ConstrTable *table);
// The entry of an ID, or null when the table (or null table) does not hold it.
SeqConstrList *find_seq_constraints(const ConstrTable *table, const char *id);
// Appends one range to the ID's entry (created when missing; the table copies the ID) and updates
// the entry's max_pos and the table's max_label or unlabeled flag. A null table does nothing.
// Fatal: "constraint %d-%d for %s: %s" with "sequence position must be greater than zero",
// "empty range", "sequence position out of range", "invalid model label" (below 0 and not
// CONSTR_UNNAMED_LABEL) or "model label out of range" (an end past 2147483647); and "constraint
// table: a constraint for a sequence without an ID".
void add_constraint_to_table(ConstrTable *table, const char *id, int seq_start, int label_start,
                             int length, int satisfied, int unsatisfied, int unconstrained);
// Listing of a table (null allowed) for debugging.
void print_constraint_table(FILE *out, const char *title, const ConstrTable *table);

// Gives every sequence of seqs whose ID the table holds its per-residue constraints (table null:
// nothing). Fatal: "constraint %d-%d for %s is longer than the sequence (%d)";
// "sequence \"%s\", positon %d already has label %d, trying to set it to %d". Every range is
// checked before any residue is changed, so a refused table leaves the sequences as they were.
void apply_seqs_constraints(const ConstrTable *table, SequenceTable *seqs);
// Adds the runs of the array entries 1..count (array[0..count-1]) to the table under id, the
// first entry numbered first_pos. A run: entries whose labels rise by one and whose costs are
// equal; an entry labelled CONSTR_UNNAMED_LABEL is a run of one. Fatal as
// add_constraint_to_table (a numbering that puts a run below position 1).
void create_seq_constraints(ConstrTable *table, const char *id, const PosConstraint *array,
                            int first_pos, int count);
// Stores the constraints of a sequence (nothing when it has none) under its ID.
void save_seq_constraints(const Sequence *seq, ConstrTable *table);
// save_seq_constraints for every sequence of the table.
void save_seqs_constraints(const SequenceTable *seqs, ConstrTable *table);
// Stores the constraints of residues first..last (1-based) of seq under id, renumbered from 1
// (nothing when seq has none). Fatal: "constraints of residues %d-%d of %s: not inside the
// sequence (%d)".
void save_subseq_constraints(ConstrTable *table, const char *id, int first, int last,
                             const Sequence *seq);
// When the parent has constraints, gives sub (last-first+1 residues) a fresh array holding the
// parent's entries first..last (1-based); the old array of sub is released. Fatal: "constraints
// of residues %d-%d of %s: not inside the sequence (%d) and its part (%d)".
void copy_subseq_constraints(const Sequence *parent, int first, int last, Sequence *sub);
// Pins every matched residue of every sequence to its model column (label = column, costs 0,
// 80000, 80000); other residues get noPosConstraint. Replaces the present-orientation arrays,
// only once every sequence's code was walked. Fatal: "%s: no alignment to take constraints
// from" for a sequence without an alignment code; "%s: alignment passes the end of the sequence
// (%d)" when the code holds more residues than the sequence.
void constraints_from_align(SequenceTable *seqs);
// Records runs of constrained matched residues of every sequence that has constraints and an
// alignment code as ranges whose label start is the model column of the run's first residue. A
// run ends at an unconstrained residue, an insert or delete run, or a change of costs. Fatal as
// constraints_from_align for a sequence with constraints and no code, or a code too long.
void save_align_constraints(ConstrTable *table, const SequenceTable *seqs);
// Records every matched residue of an aligned domain pinned to its column, under domain_id
// numbered from p0 - k0 + 1 and under parent_id numbered from p0 (p0: the domain's first
// residue in the parent; k0: that residue in the domain's numbering). p_last is not read. The
// sequence's own arrays are left alone. Fatal as constraints_from_align and
// add_constraint_to_table, and "constraints of domain %s: position %lld out of range" when
// p0 - k0 + 1 leaves the int range.
void save_domain_align_constraints(ConstrTable *table, const Sequence *seq, const char *domain_id,
                                   const char *parent_id, int p0, int p_last, int k0);

#endif
