// The radix sort of plotted values gives the order of the stable comparison sort bit for bit:
// random values with many repeats, both zeros, infinities, subnormals and extreme values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "scorefiles/plot_sort.h"
#include "scorefiles/plot_sort_fast.h"

namespace {

std::vector<uint32_t> bits_of(const std::vector<float> &v) {
    std::vector<uint32_t> out(v.size());
    if (!v.empty()) std::memcpy(out.data(), v.data(), v.size() * sizeof(float));
    return out;
}

void expect_same_order(std::vector<float> values) {
    std::vector<float> plain = values;
    sort_scores_plain(plain.data(), plain.size());
    sort_scores_radix(values.data(), values.size());
    EXPECT_EQ(bits_of(values), bits_of(plain));
}

TEST(PlotSort, RadixGivesTheStableOrder) {
    const float specials[] = {0.0f,
                              -0.0f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::denorm_min(),
                              -std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::lowest(),
                              1.0f,
                              -1.0f};
    std::mt19937 rng(3);
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(17), size_t(5000), size_t(70000)}) {
        std::vector<float> values(n);
        for (float &v : values) {
            switch (rng() % 4) {
                case 0: v = specials[rng() % 10]; break;
                case 1: v = static_cast<float>(static_cast<int>(rng() % 21) - 10) / 4; break;
                case 2: {
                    uint32_t b = static_cast<uint32_t>(rng());
                    std::memcpy(&v, &b, sizeof v);
                    if (std::isnan(v)) v = 0.5f;
                    break;
                }
                default:
                    v = std::ldexp(static_cast<float>(rng() % 1000) - 500, -(int)(rng() % 140));
            }
        }
        expect_same_order(values);
    }
    // Every value the same but for the sign of zero; one digit everywhere.
    std::vector<float> zeros(9000);
    for (size_t i = 0; i < zeros.size(); i++) zeros[i] = (i * 7919) % 3 ? 0.0f : -0.0f;
    expect_same_order(zeros);
    expect_same_order(std::vector<float>(5000, 2.5f));
}

}  // namespace
