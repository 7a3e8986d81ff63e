// Text scanning: the white-space test, the number parsers, the tokenizer and name lists.
#include "foundation/scan.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/errors.h"

// ---------------------------------------------------------------------------------------------
// Text: white space, numbers, tokens
// ---------------------------------------------------------------------------------------------

static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

const char *scan_long(const char *p, const char *end, long *out, bool *overflow) {
    p = skip_space(p, end);
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) {
        neg = *p == '-';
        p++;
    }
    if (p >= end || !is_digit(*p)) return nullptr;
    unsigned long v = 0;
    const unsigned long limit = neg ? 0UL - (unsigned long)LONG_MIN : (unsigned long)LONG_MAX;
    const unsigned long cutoff = limit / 10, last_digit = limit % 10;
    bool over = false;
    for (; p < end && is_digit(*p); p++) {
        unsigned long d = (unsigned long)(*p - '0');
        if (over || v > cutoff || (v == cutoff && d > last_digit)) {
            over = true;
            continue;
        }
        v = v * 10 + d;
    }
    if (over) v = limit;
    *out = neg ? (long)(0UL - v) : (long)v;
    if (overflow) *overflow = over;
    return p;
}

const char *scan_int(const char *p, const char *end, int *out) {
    long v;
    p = scan_long(p, end, &v);
    if (!p) return nullptr;
    *out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
    return p;
}

// True when the bytes from p (before end) begin with the word (lower case), case ignored.
static bool has_word(const char *p, const char *end, const char *word) {
    for (; *word; word++, p++)
        if (p >= end || std::tolower((unsigned char)*p) != *word) return false;
    return true;
}

// The end of a mantissa at p (digits, then an optional '.' and digits; hexadecimal digits when
// hex) with its optional exponent ('e' or, when hex, 'p', an optional sign and decimal digits).
// *digits tells whether the mantissa held a digit; without one nothing past it is taken.
static const char *mantissa_extent(const char *p, const char *end, bool hex, bool *digits) {
    auto mantissa_digit = [hex](char c) {
        return hex ? std::isxdigit((unsigned char)c) != 0 : is_digit(c);
    };
    const char *q = p;
    *digits = false;
    while (q < end && mantissa_digit(*q)) q++, *digits = true;
    if (q < end && *q == '.') {
        q++;
        while (q < end && mantissa_digit(*q)) q++, *digits = true;
    }
    if (!*digits) return q;
    if (q < end && std::tolower((unsigned char)*q) == (hex ? 'p' : 'e')) {
        const char *e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) e++;
        if (e < end && is_digit(*e)) {
            while (e < end && is_digit(*e)) e++;
            q = e;
        }
    }
    return q;
}

// The end of the floating number at p (no white space before it), or null when none.
static const char *double_extent(const char *p, const char *end, NumberForms forms) {
    if (p < end && (*p == '+' || *p == '-')) p++;
    if (has_word(p, end, "infinity")) return p + 8;
    if (has_word(p, end, "inf")) return p + 3;
    if (has_word(p, end, "nan")) {
        p += 3;
        if (forms == C_FORMS && p < end && *p == '(') {
            const char *q = p + 1;
            while (q < end && (std::isalnum((unsigned char)*q) || *q == '_')) q++;
            if (q < end && *q == ')') p = q + 1;
        }
        return p;
    }
    bool hex = forms == C_FORMS && p + 1 < end && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    bool digits = false;
    if (hex) {
        const char *q = mantissa_extent(p + 2, end, true, &digits);
        return digits ? q : p + 1;  // without digits, the "0" alone
    }
    const char *q = mantissa_extent(p, end, false, &digits);
    return digits ? q : nullptr;
}

const char *scan_double(const char *p, const char *end, double *out, bool *overflow,
                        NumberForms forms) {
    p = skip_space(p, end);
    const char *stop = double_extent(p, end, forms);
    if (!stop) return nullptr;
    std::string copy(p, (size_t)(stop - p));
    errno = 0;
    double v = std::strtod(copy.c_str(), nullptr);
    if (overflow) *overflow = errno == ERANGE && std::fabs(v) == HUGE_VAL;
    *out = v;
    return stop;
}

const char *const SPACE_SEPARATORS = " \t\n\v\f\r";

const char *next_token(const char *p, const char *end, const char *seps, const char **token,
                       size_t *length) {
    auto separator = [seps](char c) { return c != '\0' && std::strchr(seps, c) != nullptr; };
    while (p < end && separator(*p)) p++;
    if (p >= end) return nullptr;
    const char *start = p;
    while (p < end && !separator(*p)) p++;
    *token = start;
    *length = (size_t)(p - start);
    return p;
}

std::vector<std::string> split_tokens(const std::string &text, const char *seps) {
    std::vector<std::string> tokens;
    const char *p = text.data(), *end = p + text.size(), *token;
    size_t length;
    while ((p = next_token(p, end, seps, &token, &length))) tokens.emplace_back(token, length);
    return tokens;
}

// ---------------------------------------------------------------------------------------------
// Name lists
// ---------------------------------------------------------------------------------------------

// The separators of the names of a list: white space and ','.
static const char *const NAME_SEPARATORS = " \t\n\v\f\r,";

NameList *parse_name_list(const char *text) {
    if (!text) text = "";
    size_t len = std::strlen(text);
    const char *p = text, *end = text + len, *token;
    size_t length, count = 0;
    while ((p = next_token(p, end, NAME_SEPARATORS, &token, &length))) count++;
    size_t head = sizeof(NameList) + count * sizeof(char *);
    NameList *list = (NameList *)mem_alloc(head + len + 1);
    list->count = (int)count;
    list->name = (char **)((char *)list + sizeof(NameList));
    char *copy = (char *)list + head;
    std::memcpy(copy, text, len + 1);
    size_t k = 0;
    p = copy;
    end = copy + len;
    while ((p = next_token(p, end, NAME_SEPARATORS, &token, &length))) {
        list->name[k++] = copy + (token - copy);
        copy[token - copy + length] = '\0';  // a separator, or the NUL at the end
        if (p < end) p++;                    // past the separator just cleared
    }
    return list;
}
