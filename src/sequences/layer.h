// Sequences: records and tables, sequence files of every format, alignments, HSSP, cost matrices.
// May use: foundation; reading a model file as a sequence track reaches up to models (said why).
#ifndef QOR_SEQUENCES_LAYER_H
#define QOR_SEQUENCES_LAYER_H

#include "sequences/alignment.h"
#include "sequences/fasta.h"
#include "sequences/hssp.h"
#include "sequences/matrix.h"
#include "sequences/model_records.h"
#include "sequences/seq_constraints.h"
#include "sequences/seqio.h"
#include "sequences/seqio_print.h"
#include "sequences/seqlib.h"
#include "sequences/seqlib_err.h"
#include "sequences/seqlib_read.h"
#include "sequences/seqlib_write.h"
#include "sequences/sequence.h"

#endif
