// The assertion of the random-variate generators: a failed condition ends the run through
// error(), naming the condition, the source unit and the line.
#ifndef QOR_GEN_ASSERT_H
#define QOR_GEN_ASSERT_H

#include "foundation/errors.h"

#define GEN_ASSERT(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) error("Assertion failed: %s (%s:%d)", #cond, __FILE__, __LINE__);             \
    } while (0)

#endif
