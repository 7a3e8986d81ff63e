// Foundation: errors, memory, input files and the reader, scanning, output, parameters, alphabets.
// May use: no other layer; start-up alone reads models and sequences, each include saying why.
#ifndef QOR_FOUNDATION_LAYER_H
#define QOR_FOUNDATION_LAYER_H

#include "foundation/alphabet.h"
#include "foundation/child_process.h"
#include "foundation/errors.h"
#include "foundation/init_modlib.h"
#include "foundation/input_files.h"
#include "foundation/interrupts.h"
#include "foundation/output_files.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/reader.h"
#include "foundation/scan.h"
#include "foundation/scan_fast.h"
#include "foundation/startup.h"

#endif
