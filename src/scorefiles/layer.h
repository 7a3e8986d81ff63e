// Score files: reading them, report columns and E-values, reports, RDB tables, score fits, plots.
// May use: foundation, sequences.
#ifndef QOR_SCOREFILES_LAYER_H
#define QOR_SCOREFILES_LAYER_H

#include "scorefiles/dist_rdb.h"
#include "scorefiles/lambdatau.h"
#include "scorefiles/plot.h"
#include "scorefiles/seqio_report.h"
#include "scorefiles/seqio_scores.h"

#endif
