// Models: cost-ready models, model files, labels, constraints, codons, priors, counting, training.
// May use: foundation, sequences, scorefiles.
#ifndef QOR_MODELS_LAYER_H
#define QOR_MODELS_LAYER_H

#include "models/alignment_counts.h"
#include "models/codon.h"
#include "models/constraints.h"
#include "models/constrparse.h"
#include "models/gen_seq/gen_seq.h"
#include "models/genseqtab.h"
#include "models/modelio.h"
#include "models/models.h"
#include "models/models_estimate.h"
#include "models/models_labels.h"
#include "models/models_random.h"
#include "models/models_surgery.h"
#include "models/prior.h"
#include "models/weightalignment.h"

#endif
