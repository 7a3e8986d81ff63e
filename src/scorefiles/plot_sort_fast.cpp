// Sorting of plotted score values: the radix version.
#include "scorefiles/plot_sort_fast.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/errors.h"

namespace {

// The bits of a value as an unsigned key of the same order: negative values have every bit
// flipped, the others their sign bit set; and back.
inline uint32_t key_of_bits(uint32_t b) {
    return (b & 0x80000000u) ? ~b : (b | 0x80000000u);
}
inline uint32_t bits_of_key(uint32_t k) {
    return (k & 0x80000000u) ? (k & 0x7fffffffu) : ~k;
}
// The values' own storage holds the keys while they are sorted.
inline uint32_t load(const float *p) {
    uint32_t b;
    std::memcpy(&b, p, sizeof b);
    return b;
}
inline void store(float *p, uint32_t b) {
    std::memcpy(p, &b, sizeof b);
}

constexpr int DIGIT_BITS = 11;
constexpr int DIGITS = 3;  // 11 + 11 + 10 bits
constexpr size_t BUCKETS = size_t(1) << DIGIT_BITS;

}  // namespace

void sort_scores_radix(float *values, size_t n) {
    if (n < 2) return;
    // The keys put every -0 before every +0, where < finds them equal: the zeros, in the order
    // they came, are written back over the run of zeros at the end.
    std::vector<float> zeros;
    std::vector<size_t> count(DIGITS * BUCKETS, 0);
    for (size_t i = 0; i < n; i++) {
        if (values[i] == 0) zeros.push_back(values[i]);
        uint32_t k = key_of_bits(load(values + i));
        store(values + i, k);
        for (int d = 0; d < DIGITS; d++)
            count[d * BUCKETS + ((k >> (d * DIGIT_BITS)) & (BUCKETS - 1))]++;
    }
    float *spare = static_cast<float *>(mem_realloc(nullptr, n * sizeof(float)));
    float *from = values, *to = spare;
    for (int d = 0; d < DIGITS; d++) {
        size_t *c = &count[d * BUCKETS];
        if (c[(load(from) >> (d * DIGIT_BITS)) & (BUCKETS - 1)] == n) continue;  // one digit
        size_t sum = 0;
        for (size_t b = 0; b < BUCKETS; b++) {
            size_t here = c[b];
            c[b] = sum;
            sum += here;
        }
        for (size_t i = 0; i < n; i++) {
            uint32_t k = load(from + i);
            store(to + c[(k >> (d * DIGIT_BITS)) & (BUCKETS - 1)]++, k);
        }
        std::swap(from, to);
    }
    for (size_t i = 0; i < n; i++) store(values + i, bits_of_key(load(from + i)));
    std::free(spare);
    if (!zeros.empty()) {
        float *first = std::lower_bound(values, values + n, 0.0f);
        std::copy(zeros.begin(), zeros.end(), first);
    }
}
