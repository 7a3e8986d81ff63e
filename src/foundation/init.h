// The three units that init.h held, for the files that still name it: params, param_files and
// startup (with the units of utilities.h, which init.h brought along).
#ifndef QOR_INIT_H
#define QOR_INIT_H

#include "foundation/utilities.h"
#include "foundation/params.h"
#include "foundation/param_files.h"
#include "foundation/startup.h"

#endif
