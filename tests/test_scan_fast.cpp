// The fast floating-number parser gives what the plain one gives: same value (bit for bit) and
// same end, on a table of hard cases and on random number texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <cstdio>

#include "foundation/scan_fast.h"
#include "foundation/scan.h"

namespace {

void expect_same(const std::string &text) {
    const char *p = text.data(), *end = p + text.size();
    double plain = -7, fast = -7;
    const char *plain_end = scan_double(p, end, &plain);
    const char *fast_end = scan_double_fast(p, end, &fast);
    ASSERT_EQ(fast_end, plain_end) << text;
    if (!plain_end) return;
    if (std::isnan(plain)) {
        EXPECT_TRUE(std::isnan(fast)) << text;
        EXPECT_EQ(std::signbit(fast), std::signbit(plain)) << text;
    } else {
        uint64_t a, b;
        std::memcpy(&a, &plain, sizeof a);
        std::memcpy(&b, &fast, sizeof b);
        EXPECT_EQ(a, b) << text;
    }
}

TEST(ScanFast, AgreesWithThePlainParserOnHardCases) {
    const char *cases[] = {"0",
                           "-0",
                           "+0.000",
                           "1",
                           "-1.5",
                           ".5",
                           "5.",
                           ".",
                           "-",
                           "",
                           "   \t 12",
                           "e5",
                           "1e",
                           "1e+",
                           "1e-5x",
                           "1E22",
                           "1e23",
                           "123456789012345e-22",
                           "1234567890123456",
                           "9007199254740993",
                           "0.1",
                           "0.30000000000000004",
                           "12345678901234567890123",
                           "1e-400",
                           "1e400",
                           "-1e400",
                           "2.2250738585072011e-308",
                           "4.9e-324",
                           "inf",
                           "-INF",
                           "Infinity",
                           "infinit",
                           "nan",
                           "-nan",
                           "NaN(1)",
                           "0x10",
                           "00000000000000000000001.5",
                           "0.000000000000000000000000001",
                           "99999999999999999999e-10",
                           "1.7976931348623157e308",
                           "1.7976931348623159e308"};
    for (const char *c : cases) expect_same(c);
}

TEST(ScanFast, AgreesWithThePlainParserOnRandomTexts) {
    std::mt19937 rng(20261209);
    const char alphabet[] = "0123456789012345678901234567890123456789..eE+-- x";
    for (int i = 0; i < 200000; i++) {
        std::string text;
        int n = 1 + static_cast<int>(rng() % 28);
        for (int k = 0; k < n; k++) text += alphabet[rng() % (sizeof alphabet - 1)];
        expect_same(text);
        // Well-formed numbers of every length and exponent.
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*g", 1 + static_cast<int>(rng() % 20),
                      std::ldexp(static_cast<double>(rng()), static_cast<int>(rng() % 200) - 100));
        expect_same(buf);
    }
}

}  // namespace
