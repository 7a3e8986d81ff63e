// Structure templates (sequences/hssp.h) applied to a model: the template sequence is aligned to
// the model with the engine and every matched node records the structure environment of its
// template residue.
#ifndef QOR_TEMPLATE_ALIGN_H
#define QOR_TEMPLATE_ALIGN_H

struct Sequence;
struct Model;
struct Template;

// Records in the environment of every model node the template residue aligned there: each node
// without environment gets one; the template sequence (the template's residues as letter
// indices) is aligned to the model (a prepared model with its costs) by align_sequences with the
// run's SW, Score.adpstyle, jump_in_prob and jump_out_prob, which replaces its alignment code and
// raw score and leaves the engine set up for the model. Node j of each match column then gets
// the accessibility and environment code of the template position matched there and, with a
// count table (ACC_BINS rows of STRUCTURE_TRIPLES columns), its entry [acc][code]; inserted
// residues are passed over and deleted nodes keep their environment. Does nothing without a
// template or a model. With a count table the accessibility must be binned first (binACC).
// Fatal: "ApplyTemplate: ..." for a missing or empty template sequence, one longer than the
// template, no alignment, an alignment past the model or the template, an unknown (negative)
// accessibility or environment code, or one outside the count table; the engine's messages
// (among them a model without costs).
void ApplyTemplate(Sequence *tseq, Model *model, Template *t, int **counts);

#endif
