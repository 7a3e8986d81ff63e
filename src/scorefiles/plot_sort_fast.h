// Sorting of plotted score values by a radix sort: the same order as sort_scores_plain
// (plot_sort.h), bit for bit.
#ifndef QOR_PLOT_SORT_FAST_H
#define QOR_PLOT_SORT_FAST_H

#include <cstddef>

// The same result as sort_scores_plain by a least-significant-digit radix sort on the values'
// bits (three passes); takes n more values of memory for the time of the sort. Fatal: "out of
// memory reallocating %d bytes".
void sort_scores_radix(float *values, size_t n);

#endif
