// Sequence constraints: tables of ranges, per-residue arrays and the conversions between them.
// Temporary: bodies follow.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "constraints.h"
#include "utilities.h"

ConstrTable *create_constraint_table() {
    error("create_constraint_table: not built yet");
}
void free_constraint_table(ConstrTable *table) {
    error("free_constraint_table: not built yet");
}
SeqConstrList *find_seq_constraints(const ConstrTable *table, const char *id) {
    error("find_seq_constraints: not built yet");
}
void add_constraint_to_table(ConstrTable *table, const char *id, int seq_start, int label_start,
                             int length, int satisfied, int unsatisfied, int unconstrained) {
    error("add_constraint_to_table: not built yet");
}
void print_constraint_table(FILE *out, const char *title, const ConstrTable *table) {
    error("print_constraint_table: not built yet");
}
void apply_seqs_constraints(const ConstrTable *table, SequenceTable *seqs) {
    error("apply_seqs_constraints: not built yet");
}
void create_seq_constraints(ConstrTable *table, const char *id, const PosConstraint *array,
                            int first_pos, int count) {
    error("create_seq_constraints: not built yet");
}
void save_seq_constraints(const Sequence *seq, ConstrTable *table) {
    error("save_seq_constraints: not built yet");
}
void save_seqs_constraints(const SequenceTable *seqs, ConstrTable *table) {
    error("save_seqs_constraints: not built yet");
}
void save_subseq_constraints(ConstrTable *table, const char *id, int first, int last,
                             const Sequence *seq) {
    error("save_subseq_constraints: not built yet");
}
void copy_subseq_constraints(const Sequence *parent, int first, int last, Sequence *sub) {
    error("copy_subseq_constraints: not built yet");
}
void constraints_from_align(SequenceTable *seqs) {
    error("constraints_from_align: not built yet");
}
void save_align_constraints(ConstrTable *table, const SequenceTable *seqs) {
    error("save_align_constraints: not built yet");
}
void save_domain_align_constraints(ConstrTable *table, const Sequence *seq, const char *domain_id,
                                   const char *parent_id, int p0, int p_last, int k0) {
    error("save_domain_align_constraints: not built yet");
}
void free_seq_constraints(Sequence *seq) {
    error("free_seq_constraints: not built yet");
}
