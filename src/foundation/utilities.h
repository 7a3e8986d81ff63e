// The five units that utilities.h held, for the files that still name it: errors, input_files,
// reader, scan and output_files.
#ifndef QOR_UTILITIES_H
#define QOR_UTILITIES_H

#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "foundation/output_files.h"

#endif
