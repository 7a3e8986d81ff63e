// Name lists, white space, numbers and tokens as the readers scan them.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation_fixture.h"
#include "testutil.h"
#include "foundation/errors.h"
#include "foundation/scan.h"

TEST(Text, NameLists) {
    NameList *l = parse_name_list("a, b,c,,d");
    ASSERT_EQ(l->count, 4);
    EXPECT_STREQ(l->name[0], "a");
    EXPECT_STREQ(l->name[3], "d");
    free(l);
    l = parse_name_list("one, two,three");
    EXPECT_EQ(l->count, 3);
    free(l);
    l = parse_name_list(" \t\n x\r\f\vy ");
    ASSERT_EQ(l->count, 2);
    EXPECT_STREQ(l->name[1], "y");
    free(l);
    l = parse_name_list("");
    EXPECT_EQ(l->count, 0);
    free(l);
    l = parse_name_list(nullptr);
    EXPECT_EQ(l->count, 0);
    free(l);
}

// ---------------------------------------------------------------------------------------------
// White space, numbers, tokens
// ---------------------------------------------------------------------------------------------

namespace {

TEST(Text, WhiteSpaceIsThatOfTheCLocale) {
    for (int c = -1; c < 256; c++) EXPECT_EQ(is_space(c), c >= 0 && std::isspace(c) != 0) << c;
}

// The C conversions on the NUL-terminated text are the reference of the number parser.
TEST(Text, NumbersAsTheCConversionsReadThem) {
    const char *cases[] = {"42",
                           "  -17 x",
                           "+0",
                           "9223372036854775807",
                           "9223372036854775808",
                           "-9223372036854775809",
                           "\t12abc",
                           "",
                           "-",
                           "x1",
                           "1.5e3",
                           ".5",
                           "5.",
                           "-.e1",
                           "1e",
                           "1e+",
                           "2E-3z",
                           "inf",
                           "-Infinity",
                           "infin",
                           "nan",
                           "NaN(abc)",
                           "nan(",
                           "0x1p4",
                           "0x",
                           "0x.8",
                           "-0X1.8P+1",
                           "1e400",
                           "-1e400",
                           "1e-400",
                           "00012.50"};
    for (const char *text : cases) {
        const char *end = text + std::strlen(text);
        char *want_end;
        errno = 0;
        long want = std::strtol(text, &want_end, 10);
        bool want_over = errno == ERANGE;
        long got = -1;
        bool over = !want_over;
        const char *got_end = scan_long(text, end, &got, &over);
        EXPECT_EQ(got_end ? got_end : text, want_end) << text;
        if (got_end) {
            EXPECT_EQ(got, want) << text;
            EXPECT_EQ(over, want_over) << text;
        }

        errno = 0;
        double wantd = std::strtod(text, &want_end);
        bool wantd_over = errno == ERANGE && std::fabs(wantd) == HUGE_VAL;
        double gotd = -1;
        got_end = scan_double(text, end, &gotd, &over, C_FORMS);
        EXPECT_EQ(got_end ? got_end : text, want_end) << text;
        if (!got_end) continue;
        EXPECT_EQ(over, wantd_over) << text;
        if (std::isnan(wantd))
            EXPECT_TRUE(std::isnan(gotd)) << text;
        else
            EXPECT_EQ(gotd, wantd) << text;
    }
}

TEST(Text, DecimalFormsStopBeforeHexadecimalAndNanArguments) {
    struct Case {
        const char *text;
        size_t length;  // of the number
        double value;
    } cases[] = {{"0x1p4", 1, 0.0}, {"-0X8", 2, -0.0}, {"nan(1)", 3, NAN}, {"1.25e2:", 6, 125.0}};
    for (const Case &c : cases) {
        double v = -1;
        const char *end = scan_double(c.text, c.text + std::strlen(c.text), &v);
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_EQ((size_t)(end - c.text), c.length) << c.text;
        if (std::isnan(c.value))
            EXPECT_TRUE(std::isnan(v));
        else
            EXPECT_EQ(v, c.value) << c.text;
    }
    // The end of the text ends the number even where more digits follow.
    const char *text = "12345";
    int n = 0;
    EXPECT_EQ(scan_int(text, text + 3, &n), text + 3);
    EXPECT_EQ(n, 123);
    EXPECT_EQ(scan_int(text, text, &n), nullptr);  // an empty range holds no number
    const char *big = "-99999999999";
    EXPECT_EQ(scan_int(big, big + 12, &n), big + 12);
    EXPECT_EQ(n, INT_MIN);
}

TEST(Text, TokensBetweenSeparators) {
    struct Case {
        std::string text;
        const char *seps;
        std::vector<std::string> tokens;
    } cases[] = {
        {"  a bb\tc\n", SPACE_SEPARATORS, {"a", "bb", "c"}},
        {"", SPACE_SEPARATORS, {}},
        {" \t ", SPACE_SEPARATORS, {}},
        {"x=1 = y", " =", {"x", "1", "y"}},
        {std::string("a\0b c", 5), " ", {std::string("a\0b", 3), "c"}},
        {"a\vb", " \t\n\r", {"a\vb"}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> got;
        const char *p = c.text.data(), *end = p + c.text.size(), *token;
        size_t length;
        while ((p = next_token(p, end, c.seps, &token, &length))) got.emplace_back(token, length);
        EXPECT_EQ(got, c.tokens) << c.text;
    }
}

}  // namespace
