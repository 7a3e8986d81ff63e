// Running statistics: the extremes and their sample numbers, merging, scaling and printing.
#include "engine/stat.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

Stat stat_of(std::initializer_list<double> xs) {
    Stat s;
    StatInit(&s);
    for (double x : xs) StatAdd(&s, x);
    return s;
}

TEST(StatTest, EmptyRecord) {
    Stat s = stat_of({});
    EXPECT_EQ(StatMin(&s), 0);
    EXPECT_EQ(StatMax(&s), 0);
    EXPECT_EQ(StatMinN(&s), 0);
    EXPECT_EQ(StatMaxN(&s), -1);
    EXPECT_EQ(StatAverage(&s), 0);
    EXPECT_EQ(StatSVar(&s), 0);
    EXPECT_EQ(StatN(nullptr), 0);
    EXPECT_EQ(StatMaxN(nullptr), 0);
    StatAdd(nullptr, 3);  // nothing
}

TEST(StatTest, SamplesAndTheirExtremes) {
    Stat s = stat_of({3, 1, 1, 5});
    EXPECT_EQ(StatN(&s), 4);
    EXPECT_EQ(StatMin(&s), 1);
    EXPECT_EQ(StatMinN(&s), 2);  // the first of equal minima
    EXPECT_EQ(StatMax(&s), 5);
    EXPECT_EQ(StatMaxN(&s), 4);
    EXPECT_DOUBLE_EQ(StatAverage(&s), 2.5);
    EXPECT_DOUBLE_EQ(StatSVar(&s), std::sqrt(11.0 / 3));
    Stat one = stat_of({7});
    EXPECT_EQ(StatSVar(&one), 0);
}

TEST(StatTest, MergeScaleAndBlocks) {
    Stat a = stat_of({4, 6}), b = stat_of({2, 9});
    StatSAdd(&a, &b);
    EXPECT_EQ(StatN(&a), 4);
    EXPECT_EQ(StatMin(&a), 2);
    EXPECT_EQ(StatMinN(&a), 3);
    EXPECT_EQ(StatMax(&a), 9);
    EXPECT_EQ(StatMaxN(&a), 4);
    Stat c = stat_of({1, 2});
    StatMAdd(&c, 3, 2, 1, 30, 350, 0.5, 20);
    EXPECT_EQ(StatN(&c), 5);
    EXPECT_EQ(StatMinN(&c), 4);
    EXPECT_EQ(StatMaxN(&c), 3);
    EXPECT_DOUBLE_EQ(StatAverage(&c), 33.0 / 5);
    Stat d = stat_of({1, 3});
    StatScale(&d, -1);
    EXPECT_EQ(StatMin(&d), -1);  // min stays above max: nothing swaps them
    EXPECT_EQ(StatMax(&d), -3);
    EXPECT_DOUBLE_EQ(d.sumsq, 10);
}

TEST(StatTest, Printing) {
    Stat s = stat_of({3, 1, 1, 5});
    EXPECT_EQ(output_of([&](FILE *fp) { StatPrint(fp, &s, "%s%d<", ">", "%.1f", "(%d)", 1, 1); }),
              "%s%d<Min:1.0 (2) Max:5.0 (4) Ave:2.5 SampDev:1.9 n: 4>");
    EXPECT_EQ(output_of([&](FILE *fp) { StatPrint(fp, &s, "", "\n", "%g", "", 0, 0); }),
              "1  5  2.5 1.91485 \n");
    EXPECT_EQ(output_of([&](FILE *fp) { StatPrint(fp, &s, "", "", "%g", "%d", 0, 1); }),
              "1 2 5 4 2.5 1.91485 4");
}

}  // namespace
