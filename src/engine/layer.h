// Engine: dynamic-programming scoring and alignment of sequences to models, and drivers over sets.
// May use: foundation, sequences, scorefiles, models.
#ifndef QOR_ENGINE_LAYER_H
#define QOR_ENGINE_LAYER_H

#include "engine/domains.h"
#include "engine/emloop.h"
#include "engine/fbmodel.h"
#include "engine/forward2.h"
#include "engine/forward2_driver.h"
#include "engine/forward2_fivestate.h"
#include "engine/forward2_kernels.h"
#include "engine/forward2_post.h"
#include "engine/forward2_trace.h"
#include "engine/report_align.h"
#include "engine/stat.h"
#include "engine/template_align.h"
#include "engine/weighting.h"

#endif
