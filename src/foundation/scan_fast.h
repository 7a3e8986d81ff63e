// The fast version of the floating-number parser of scan.h, for the large score files.
#ifndef QOR_SCAN_FAST_H
#define QOR_SCAN_FAST_H

// scan_double(p, end, out, nullptr, DECIMAL_FORMS) with the same result and end, faster: the
// common short forms (at most 15 significant digits, a power of ten up to 22 either way) are
// converted exactly without the library, the rest by scan_double. Returns the end of the number,
// or null when none stands at p (after white space).
const char *scan_double_fast(const char *p, const char *end, double *out);

#endif
