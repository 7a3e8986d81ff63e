// Sequence records and tables, node/model/raw-model records, sequence utilities.
#include "sequence.h"
