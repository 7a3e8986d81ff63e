// Running statistics of a stream of samples: count, sum, sum of squares, the extremes and which
// sample gave each. The record belongs to the caller; every operation accepts null.
#ifndef QOR_STAT_H
#define QOR_STAT_H

#include <cstdio>

struct Stat {
    int n;         // samples
    double sum;    // sum of the samples
    double sumsq;  // sum of their squares
    double min;    // 1e20 when empty
    double max;    // -1e20 when empty
    int min_n;     // 1-based number of the sample that gave the minimum; -1 when empty
    int max_n;     // the same for the maximum
};

// Empties the record.
void StatInit(Stat *s);
// Adds one sample; the first of equal extremes keeps its number.
void StatAdd(Stat *s, double x);
// Adds a block of k samples summed elsewhere; the offsets of its extremes count from the samples
// already held.
void StatMAdd(Stat *s, int k, int min_offset, int max_offset, double sum, double sumsq, double min,
              double max);
// Divides sum, min and max by a and the sum of squares by a*a (nothing swaps min and max).
void StatScale(Stat *s, double a);
// Merges other into s (other's sample numbers follow s's samples).
void StatSAdd(Stat *s, const Stat *other);
// sum / n, 0 when empty or null.
double StatAverage(const Stat *s);
// n; 0 for null.
int StatN(const Stat *s);
// min and max; 0 when empty or null.
double StatMin(const Stat *s);
double StatMax(const Stat *s);
// Sample number of the minimum; 0 when empty or null.
int StatMinN(const Stat *s);
// Sample number of the maximum whatever n is (-1 for an empty record); 0 for null.
int StatMaxN(const Stat *s);
// Sample standard deviation; 0 for fewer than two samples or a variance not above 0.
double StatSVar(const Stat *s);
// Writes min, its sample number, max, its sample number, average, deviation and (with count)
// n, with the caller's number format (a floating conversion) and sample-number format (an
// integer conversion, or "" for none). The prefix and suffix are written as text.
void StatPrint(FILE *out, const Stat *s, const char *prefix, const char *suffix, const char *numfmt,
               const char *nfmt, int labels, int count);

#endif
