// Sorting of plotted score values: a plain version (a stable comparison sort) and a radix
// version beside it, which give the same order bit for bit.
#ifndef QOR_PLOT_SORT_H
#define QOR_PLOT_SORT_H

#include <cstddef>

// Sorts the n values (none of them a NaN) ascending by <, equal values keeping their order
// (so -0 and +0 stay as they came). The plain version: std::stable_sort.
void sort_scores_plain(float *values, size_t n);

// The same result by a least-significant-digit radix sort on the values' bits (three passes);
// takes n more values of memory for the time of the sort. Fatal: "out of memory reallocating
// %d bytes".
void sort_scores_radix(float *values, size_t n);

#endif
