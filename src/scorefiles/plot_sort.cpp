// Sorting of plotted score values: the plain version.
#include "scorefiles/plot_sort.h"

#include <algorithm>

void sort_scores_plain(float *values, size_t n) {
    std::stable_sort(values, values + n, [](float a, float b) { return a < b; });
}
