// Aligning the selected entries of a scoring run: the entries a score report selects are aligned
// to the model (with the engine) and written as alignments, or cut into domains
// (engine/domains.h). Selection values and report columns are those of scorefiles/seqio_scores.h
// and scorefiles/seqio_report.h.
#ifndef QOR_REPORT_ALIGN_H
#define QOR_REPORT_ALIGN_H

#include <cstdio>

struct Model;
struct SequenceTable;
struct ScoreParams;
struct ConstrTable;

// Aligns the entries that select_align keeps (written to alignout with print_alignment) and cuts
// into domains those that select_mdalign keeps (multdomain_sequence: domains to domainout,
// results to result, rows to domtable; an entry without a domain to nodomainout when given).
// With reuse set, an entry that already has an alignment code is not aligned again. Fills every
// entry's columns and E-value first and leaves both columns unset at the end.
void align_selected_seq(FILE *domainout, FILE *alignout, Model **models, float *coeffs, int count,
                        SequenceTable *table, double jump_in, double jump_out,
                        SequenceTable *result, ScoreParams *score, int sw, int pseqmethod,
                        ConstrTable *subseq_constraints, ConstrTable *align_constraints,
                        FILE *domtable, FILE *nodomainout, int reuse);

#endif
