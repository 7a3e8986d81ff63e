// Posterior decoding and expected counts of the engine: the forward and backward rows of a
// residue combined into path posteriors, posterior rows and expected-count costs, and the
// accumulated counts added into a model.
#ifndef QOR_FORWARD2_POST_H
#define QOR_FORWARD2_POST_H

#include "engine/fbmodel.h"
#include "engine/forward2.h"

struct Model;

// Combines the forward row F and backward row B of residue i (-1: the start row) into path
// posteriors, posterior rows and expected-count costs (see forward2_post.cpp) in the caller's
// rows and the engine's posterior store. Never fatal.
void combine_rows(int L, int i, int letter, const DPCell *F, const DPCell *B, const int *rm,
                  const int *ri, const TransCosts *Tn, const TransCosts *To, TransCosts *S,
                  int style, SeqPathProb *pp, int Z, int *cm, int *ci);
// Adds the expected counts e^((Z - c)/1000) of the accumulated costs into the model's node
// values (null model: nothing). Fatal: "accumulate_frequencies: model lengths differ" when the
// model, the accumulator and the engine's model are not of one length.
void accumulate_frequencies(Model *model, const FBmodel *acc, int Z);

#endif
