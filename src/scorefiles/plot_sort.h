// Sorting of plotted score values: the plain version, a stable comparison sort.
// plot_sort_fast.h holds the radix version, which gives the same order bit for bit.
#ifndef QOR_PLOT_SORT_H
#define QOR_PLOT_SORT_H

#include <cstddef>

// Sorts the n values (none of them a NaN) ascending by <, equal values keeping their order
// (so -0 and +0 stay as they came). The plain version: std::stable_sort.
void sort_scores_plain(float *values, size_t n);

#endif
