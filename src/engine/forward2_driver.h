// The forward-backward driver of the engine: one sequence through the set-up model (forward2.h)
// in the set-up style, with checkpointing inside the memory limit; the emission cost rows it
// gives the kernels, the posterior store's rows, and the score-only forward.
#ifndef QOR_FORWARD2_DRIVER_H
#define QOR_FORWARD2_DRIVER_H

struct Model;
struct Sequence;

// Runs one sequence through the set-up model in the set-up style; returns the score in nats
// (raw matrix units for a query-sequence model), SCORE_UNSET when the score saturates (with a
// warning; no counts are taken then): a best path at the cap, or a sum over paths within the
// margin below the cap that the log-sum of capped cells can reach (no real score lies there).
// counts (optional) receives expected or path counts of the letters of track `track`. Writes
// the alignment code (styles 1, 4, 5), path posteriors (6, 100), the posterior store (4, 5, 7).
// Fatal: "init_forward2 must be called before forward2", "forback2 needs a set-up with
// traceback (traceback level 0)", "Sequence %s has %d track%s; the model has %d", "Counted track
// %d is not a track of the sequence", "Counted track %d has another alphabet than track 0",
// "forback2: counts model of length %d for a model of length %d", "forback2: the set-up has no
// room for traceback rows", "Forward2 with POSPATH called with null alignment\n", "Internal
// error:  dpr %d.  Increase maxmem.",
// "Internal traceback error [d%d r%d s%d]:  try raising maxmem.", "Internal error:  state path
// longer than %zu steps", those of set_prob_mi_tabs and set_pseq_scale, and
// encode_alignment's.
float forback2(Sequence *seq, Model *counts, int track);
// Points *mrow and *irow at the summed emission costs of residue i over every track (reversed
// rows when reversed is set). The rows belong to the engine and stay valid until the next call.
// Fatal: "Codon alphabet not supported with probabilistic sequences", "Profile track %d of %s is
// shorter than the sequence", and combine_wseq_wmod's.
void set_prob_mi_tabs(const int **mrow, const int **irow, const Sequence *seq, int i, int reversed);
// Score of the sequence in nats (SCORE_UNSET when it saturates as in forback2, with a warning),
// two rolling rows. Fatal: "init_forward2 must be called before forward_score", "Sequence %s has %d
// track%s; the model has %d", and those of set_prob_mi_tabs and set_pseq_scale.
float forward_score(Sequence *seq);
// The posterior store's match and insert rows (residue, then node); they belong to the engine
// and stay valid until the next forback2 or free_forward2.
// Fatal: "Posterior array access attempt without postiors."
int **access_match_posterior_array_char_node();
int **access_insert_posterior_array_char_node();
// The emission cost rows of residue i as the drivers give them to the kernels (set_prob_mi_tabs
// with reversed 0; the same lifetime and fatal messages).
void access_match_insert_arrays(const Sequence *seq, int i, const int **mrow, const int **irow);

#endif
