// Multiple-domain cutting: the domains of a long sequence found by aligning its regions, one
// after another, to the model that setup_alignment (engine/emloop.h) made current; each domain is
// written as a FASTA record and a table row, its constraints saved, and the parts beside it cut
// again.
#ifndef QOR_DOMAINS_H
#define QOR_DOMAINS_H

#include <cstdio>

struct Sequence;
struct SequenceTable;
struct ScoreParams;
struct ConstrTable;

// Cuts domains out of the whole sequence (residues 1..length): see process_sequence.
int multdomain_sequence(Sequence *seq, SequenceTable *result, FILE *fasta, ScoreParams *score,
                        ConstrTable *subseq_constraints, ConstrTable *align_constraints,
                        FILE *domtable);
// Aligns residues l..r (1-based) of seq to the model set up by setup_alignment, and when the
// region passes select_md writes the domain with its flanks (alignshort) as one FASTA record to
// fasta, a row to domtable (optional), saves its constraints (tables optional), adds a record of
// it to result (optional) and cuts the parts before and after the domain again. Returns 1 when
// this region gave a domain, else 0.
int process_sequence(Sequence *seq, int l, int r, SequenceTable *result, FILE *fasta,
                     ScoreParams *score, ConstrTable *subseq_constraints,
                     ConstrTable *align_constraints, FILE *domtable);

#endif
