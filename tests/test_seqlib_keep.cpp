// The fast copy of kept characters agrees with the plain one.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "sequences/seqlib_keep.h"
#include "sequences/seqlib_keep_fast.h"

TEST(SeqlibKeep, FastAgreesWithPlain) {
    std::mt19937 rng(7);
    // Bytes weighted towards sequence lines: letters, blanks, digits, symbols, any byte.
    const std::string common = "ACGTacgtMKVLWY      0123456789_.-*?~!/\t";
    for (int round = 0; round < 2000; round++) {
        size_t length = rng() % 100;
        std::string text;
        for (size_t i = 0; i < length; i++)
            text += rng() % 4 ? common[rng() % common.size()] : static_cast<char>(rng() % 256);
        std::string plain(length, '\0'), fast(length + SEQLIB_KEEP_SLACK, '\0');
        size_t a = seqlib_keep_plain(text.data(), length, &plain[0]);
        size_t b = seqlib_keep_fast(text.data(), length, &fast[0]);
        ASSERT_EQ(a, b) << text;
        ASSERT_EQ(plain.substr(0, a), fast.substr(0, b)) << text;
    }
    std::string all;
    for (int c = 0; c < 256; c++) all += static_cast<char>(c);
    std::string out(all.size() + SEQLIB_KEEP_SLACK, '\0');
    size_t n = seqlib_keep_fast(all.data(), all.size(), &out[0]);
    EXPECT_EQ(out.substr(0, n), "*-.?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
}
