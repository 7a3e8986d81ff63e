// Text scanning, the one white-space test, number parser and tokenizer of every reader:
// starts_with, is_space and skip_space, the integer and floating parsers, next_token and
// split_tokens, and the name lists of parameter values. foundation/scan_fast.h holds the fast
// floating parser for the large score files.
#ifndef QOR_SCAN_H
#define QOR_SCAN_H

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Text: the one white-space test, number parser and tokenizer of every reader
// ---------------------------------------------------------------------------------------------

// True when text begins with prefix (both NUL-terminated).
inline bool starts_with(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}
// True for the white-space bytes of the "C" locale: ' ', '\t', '\n', '\v', '\f' and '\r'.
inline bool is_space(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
// The first byte of [p, end) that is not white space; end when there is none.
inline const char *skip_space(const char *p, const char *end) {
    while (p < end && is_space(static_cast<unsigned char>(*p))) p++;
    return p;
}

// The numbers are read from the text [p, end) after white space, as the C conversions (strtol in
// base 10, strtod) read them in the "C" locale. Each returns the end of the number, or null when
// no number stands there (*out is then left as it was).

// A decimal integer: optional sign, then digits. A value past the long range is held at its end
// and *overflow (when given) is set; otherwise *overflow is cleared.
const char *scan_long(const char *p, const char *end, long *out, bool *overflow = nullptr);
// scan_long held at the ends of the int range.
const char *scan_int(const char *p, const char *end, int *out);

// Forms of the floating numbers: DECIMAL_FORMS are [sign] digits [. digits] or [sign] . digits,
// each with an optional exponent e[sign]digits, and [sign] inf, infinity or nan in any case;
// C_FORMS add what strtod reads besides (hexadecimal numbers, "nan(chars)").
enum NumberForms { DECIMAL_FORMS = 0, C_FORMS = 1 };
// A floating number of the given forms. *overflow (when given) is set when its magnitude is past
// the double range (the value is then an infinity), else cleared. The plain version: the number
// is found and handed to strtod; scan_double_fast (scan_fast.h) gives the same results faster.
const char *scan_double(const char *p, const char *end, double *out, bool *overflow = nullptr,
                        NumberForms forms = DECIMAL_FORMS);

// White space as the token separators of next_token.
extern const char *const SPACE_SEPARATORS;
// The next token of [p, end): the bytes up to one of the separators (the bytes of the text seps;
// runs of separators count as one). *token and *length receive it. Returns the position after
// it, or null when only separators are left.
const char *next_token(const char *p, const char *end, const char *seps, const char **token,
                       size_t *length);
// Every token of text, as next_token finds them, in order (owned copies).
std::vector<std::string> split_tokens(const std::string &text, const char *seps);

// ---------------------------------------------------------------------------------------------
// Name lists
// ---------------------------------------------------------------------------------------------

// A counted list of names split from a parameter value. One block: release it with free().
struct NameList {
    int count;    // number of names
    char **name;  // count pointers into the block's own copy of the text
};
// Splits text at white space and ',' (runs count as one); null or empty text gives 0 names. Never
// null; the caller frees the block. Fatal: as mem_alloc (errors.h).
NameList *parse_name_list(const char *text);

#endif
