// The fast floating-number parser: the digits of the common short forms are gathered into one
// integer and scaled by an exact power of ten (one rounding, as strtod gives); everything else
// goes to the plain scan_double.
#include "foundation/scan_fast.h"

#include <cmath>

#include "foundation/scan.h"

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// True when the bytes from p (before end) begin with the word (lower case), case ignored.
bool match_word(const char *p, const char *end, const char *word) {
    for (; *word; word++, p++) {
        if (p >= end) return false;
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *word) return false;
    }
    return true;
}

const double exact_powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

const char *scan_double_fast(const char *p, const char *end, double *out) {
    p = skip_space(p, end);
    const char *tok = p;
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) {
        neg = (*p == '-');
        p++;
    }
    if (p < end && (*p == 'i' || *p == 'I' || *p == 'n' || *p == 'N')) {
        if (match_word(p, end, "infinity")) {
            *out = neg ? -HUGE_VAL : HUGE_VAL;
            return p + 8;
        }
        if (match_word(p, end, "inf")) {
            *out = neg ? -HUGE_VAL : HUGE_VAL;
            return p + 3;
        }
        if (match_word(p, end, "nan")) {
            *out = neg ? -NAN : NAN;
            return p + 3;
        }
        return nullptr;
    }
    unsigned long long mant = 0;
    int sig = 0;      // significant digits taken into mant
    int dropped = 0;  // integer digits beyond what mant holds
    int frac = 0;     // fraction digits taken into mant
    bool any = false;
    bool exact = true;  // every digit is in mant
    for (; p < end && is_digit(*p); p++) {
        any = true;
        if (mant == 0 && *p == '0') continue;
        if (sig < 19) {
            mant = mant * 10 + static_cast<unsigned>(*p - '0');
            sig++;
        } else {
            dropped++;
            exact = false;
        }
    }
    if (p < end && *p == '.') {
        const char *q = p + 1;
        bool fdigits = false;
        for (; q < end && is_digit(*q); q++) {
            fdigits = true;
            if (mant == 0 && *q == '0') {
                frac++;
                continue;
            }
            if (sig < 19) {
                mant = mant * 10 + static_cast<unsigned>(*q - '0');
                sig++;
                frac++;
            } else {
                exact = false;
            }
        }
        if (!any && !fdigits) return nullptr;
        any = true;
        p = q;
    }
    if (!any) return nullptr;
    long long exp10 = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char *q = p + 1;
        bool eneg = false;
        if (q < end && (*q == '+' || *q == '-')) {
            eneg = (*q == '-');
            q++;
        }
        if (q < end && is_digit(*q)) {
            for (; q < end && is_digit(*q); q++)
                if (exp10 < 100000) exp10 = exp10 * 10 + (*q - '0');
            if (eneg) exp10 = -exp10;
            p = q;
        }
    }
    long long scale = exp10 + dropped - frac;
    if (exact && sig <= 15 && scale >= -22 && scale <= 22) {
        // Both the digits and the power of ten are exact doubles: one rounding, as strtod gives.
        double v = static_cast<double>(mant);
        if (scale >= 0)
            v *= exact_powers[scale];
        else
            v /= exact_powers[-scale];
        *out = neg ? -v : v;
        return p;
    }
    if (mant == 0 && exact) {
        *out = neg ? -0.0 : 0.0;
        return p;
    }
    return scan_double(tok, end, out);
}
