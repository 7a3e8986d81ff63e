// Running statistics.
#include "engine/stat.h"

#include <cmath>
#include <string>

namespace {
constexpr double EMPTY_MIN = 1e20;
constexpr double EMPTY_MAX = -1e20;
}  // namespace

void StatInit(Stat *s) {
    if (!s) return;
    s->n = 0;
    s->sum = s->sumsq = 0;
    s->min = EMPTY_MIN;
    s->max = EMPTY_MAX;
    s->min_n = s->max_n = -1;
}

void StatAdd(Stat *s, double x) {
    if (!s) return;
    s->n++;
    s->sum += x;
    s->sumsq += x * x;
    if (x < s->min) {
        s->min = x;
        s->min_n = s->n;
    }
    if (x > s->max) {
        s->max = x;
        s->max_n = s->n;
    }
}

void StatMAdd(Stat *s, int k, int min_offset, int max_offset, double sum, double sumsq, double min,
              double max) {
    if (!s) return;
    s->sum += sum;
    s->sumsq += sumsq;
    if (min < s->min) {
        s->min = min;
        s->min_n = s->n + min_offset;
    }
    if (max > s->max) {
        s->max = max;
        s->max_n = s->n + max_offset;
    }
    s->n += k;
}

void StatScale(Stat *s, double a) {
    if (!s) return;
    s->sum /= a;
    s->min /= a;
    s->max /= a;
    s->sumsq /= a * a;
}

void StatSAdd(Stat *s, const Stat *o) {
    if (!s || !o) return;
    s->sum += o->sum;
    s->sumsq += o->sumsq;
    if (s->min > o->min) {
        s->min = o->min;
        s->min_n = o->min_n + s->n;
    }
    if (o->max > s->max) {
        s->max = o->max;
        s->max_n = o->max_n + s->n;
    }
    s->n += o->n;
}

double StatAverage(const Stat *s) {
    return s && s->n > 0 ? s->sum / s->n : 0;
}

int StatN(const Stat *s) {
    return s ? s->n : 0;
}

double StatMin(const Stat *s) {
    return s && s->n > 0 ? s->min : 0;
}

double StatMax(const Stat *s) {
    return s && s->n > 0 ? s->max : 0;
}

int StatMinN(const Stat *s) {
    return s && s->n > 0 ? s->min_n : 0;
}

int StatMaxN(const Stat *s) {
    return s ? s->max_n : 0;
}

double StatSVar(const Stat *s) {
    if (!s || s->n <= 1) return 0;
    double v = (s->sumsq - s->sum * s->sum / s->n) / (s->n - 1);
    return v > 0 ? std::sqrt(v) : 0;
}

void StatPrint(FILE *out, const Stat *s, const char *prefix, const char *suffix, const char *numfmt,
               const char *nfmt, int labels, int count) {
    if (!out) return;
    if (!prefix) prefix = "";
    if (!suffix) suffix = "";
    if (!numfmt) numfmt = "%g";
    if (!nfmt) nfmt = "";
    bool with_n = nfmt[0] != 0;
    // The format is built around the caller's conversions; the prefix and suffix are written
    // as text, never as formats.
    std::fputs(prefix, out);
    auto num = [&](double v) { std::fprintf(out, numfmt, v); };
    auto idx = [&](int v) {
        if (with_n) std::fprintf(out, nfmt, v);
    };
    int n = StatN(s);
    if (labels) std::fputs("Min:", out);
    num(StatMin(s));
    std::fputs(" ", out);
    idx(StatMinN(s));
    std::fputs(labels ? " Max:" : " ", out);
    num(StatMax(s));
    std::fputs(" ", out);
    idx(StatMaxN(s));
    std::fputs(labels ? " Ave:" : " ", out);
    num(StatAverage(s));
    std::fputs(labels ? " SampDev:" : " ", out);
    num(StatSVar(s));
    std::fputs(" ", out);
    if (count) std::fprintf(out, labels ? "n: %d" : "%d", n);
    std::fputs(suffix, out);
}
