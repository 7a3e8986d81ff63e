// Fatal errors, allocation, name comparison and the string hash.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation_fixture.h"
#include "testutil.h"
#include "foundation/errors.h"

// ---------------------------------------------------------------------------------------------
// error
// ---------------------------------------------------------------------------------------------

TEST(Error, WritesPrefixAndNewlineAndExitsWithStatusOne) {
    EXPECT_EXIT(error("bad value %d", 7), ::testing::ExitedWithCode(1), "^Error: bad value 7\n$");
    // A format that ends in a newline is followed by an empty line.
    EXPECT_EXIT(error("two lines\n"), ::testing::ExitedWithCode(1), "^Error: two lines\n\n$");
}

TEST_F(ThrowingErrors, ThrowsTheMessageWithoutPrefix) {
    try {
        error("x %s y", "z");
        FAIL();
    } catch (const FatalError &e) {
        EXPECT_EQ(e.message, "x z y");
    }
}

// ---------------------------------------------------------------------------------------------
// Running out of memory
// ---------------------------------------------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__)
#define QOR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOR_ASAN 1
#endif
#endif

// Every block the heap gave, each holding the one before: kept where the optimiser cannot drop
// the allocations.
static void *volatile kept_blocks = nullptr;

// Takes every block the heap can still give, under an address-space limit a little above what
// the process holds (so that it is quick), and keeps them.
static void exhaust_memory() {
    long pages = 0;
    FILE *statm = fopen("/proc/self/statm", "r");
    if (!statm || fscanf(statm, "%ld", &pages) != 1) _exit(3);
    fclose(statm);
    rlim_t held = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE);
    struct rlimit limit = {held + (16 << 20), held + (16 << 20)};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
    for (size_t size = size_t(1) << 20; size >= sizeof(void *); size /= 2)
        while (void *block = malloc(size)) {
            *static_cast<void **>(block) = kept_blocks;
            kept_blocks = block;
        }
}

TEST(OutOfMemory, FatalMessageGetsOutWithTheHeapExhausted) {
#ifdef QOR_ASAN
    GTEST_SKIP() << "the sanitizer's allocator ends the run itself";
#endif
    // Longer than the line on the stack takes (4096 bytes with "Error: " and the newline): whole
    // while memory can be had, and with the heap exhausted cut short with "...".
    const std::string text(5000, 'x');
    EXPECT_EXIT(error("%s", text.c_str()), ::testing::ExitedWithCode(1), "^Error: x{5000}\n$");
    EXPECT_EXIT(
        {
            exhaust_memory();
            error("%s", text.c_str());
        },
        ::testing::ExitedWithCode(1), "^Error: x{4085}\\.\\.\\.\n$");
}

TEST(OutOfMemory, AFormatThatCannotBeFilledInIsShownAsItIs) {
    // A wide character the C locale cannot write fails the format; longer than the stack's line.
    const std::string format = std::string(5000, 'y') + "%lc";
    EXPECT_EXIT(error(format.c_str(), (wint_t)0x100), ::testing::ExitedWithCode(1),
                "^Error: y{5000}%lc\n$");
}

TEST_F(ThrowingErrors, AFormatThatCannotBeFilledInIsThrownAsItIs) {
    EXPECT_EQ(fatal_message([] { error("a%lc", (wint_t)0x100); }), "a%lc");
}

static int *volatile kept_array;
static void impossible_array() noexcept {
    volatile size_t n = SIZE_MAX / 2;
    kept_array = new int[n];  // std::bad_array_new_length, a std::bad_alloc, out of a noexcept
}

TEST(OutOfMemory, BadAllocReachingTerminateEndsTheRunAsFatal) {
    EXPECT_EXIT(impossible_array(), ::testing::ExitedWithCode(1), "^Error: out of memory\n$");
}

TEST(OutOfMemory, NothrowNewGivesNull) {
#ifdef QOR_ASAN
    GTEST_SKIP() << "the sanitizer's allocator ends the run itself";
#endif
    EXPECT_EXIT(
        {
            volatile size_t n = PTRDIFF_MAX / 2;
            char *p = new (std::nothrow) char[n];
            std::exit(p == nullptr ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------------------------

TEST(Memory, ZeroBytesGiveAZeroedBlockOfFour) {
    unsigned char *p = (unsigned char *)mem_alloc(0);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4; i++) EXPECT_EQ(p[i], 0);
    free(p);
}

TEST(Memory, BlocksAreZeroedWithFourSpareBytes) {
    unsigned char *p = (unsigned char *)mem_alloc(10);
    for (int i = 0; i < 14; i++) EXPECT_EQ(p[i], 0);
    memcpy(p, "0123456789", 10);
    p = (unsigned char *)mem_realloc(p, 100);
    EXPECT_EQ(memcmp(p, "0123456789", 10), 0);
    p[103] = 1;  // the spare bytes exist
    free(p);
    char *d = (char *)memdub("abc", 3);
    EXPECT_STREQ(d, "abc");
    free(d);
    char *s = str_dup("text");
    EXPECT_STREQ(s, "text");
    free(s);
    EXPECT_EQ(str_dup(nullptr), nullptr);
}

TEST_F(ThrowingErrors, ImpossibleSizesAreFatalNotOverflows) {
    // The whole count, not one cut to 32 bits (2^64 - 1 and 2^64 - 3).
    EXPECT_EQ(fatal_message([] { mem_alloc(SIZE_MAX); }),
              "out of memory allocating 18446744073709551615 bytes");
    EXPECT_EQ(fatal_message([] { mem_realloc(nullptr, SIZE_MAX - 2); }),
              "out of memory reallocating 18446744073709551613 bytes");
    EXPECT_EQ(fatal_message([] { double_alloc(SIZE_MAX / 4, 1, 1); }).rfind("out of memory", 0),
              0u);
    EXPECT_EQ(fatal_message([] { double_alloc(1, SIZE_MAX / 2, 3); }).rfind("out of memory", 0),
              0u);
}

TEST(Memory, DoubleAllocAndFree) {
    void **a = double_alloc(3, 4, 5);
    for (int i = 0; i < 3; i++) {
        unsigned char *b = (unsigned char *)a[i];
        for (int j = 0; j < 24; j++) EXPECT_EQ(b[j], 0);
    }
    double_free(a, 3);
    double_free(nullptr, 5);  // an absent array is ignored
}

TEST(Memory, PermuteGivesEveryValueOnceAndLeavesTheInput) {
    int v[50];
    void *values[50];
    for (int i = 0; i < 50; i++) {
        v[i] = i;
        values[i] = &v[i];
    }
    srandom(17);
    void **out = permute(50, values, nullptr);
    int seen[50] = {0};
    bool moved = false;
    for (int i = 0; i < 50; i++) {
        EXPECT_EQ(values[i], &v[i]);
        seen[*(int *)out[i]]++;
        moved |= out[i] != values[i];
    }
    for (int i = 0; i < 50; i++) EXPECT_EQ(seen[i], 1);
    EXPECT_TRUE(moved);
    // Same seed, same order.
    srandom(17);
    void **again = permute(50, values, nullptr);
    EXPECT_EQ(memcmp(out, again, 50 * sizeof(void *)), 0);
    free(out);
    free(again);
    PermutePair a{10, nullptr}, b{3, nullptr};
    EXPECT_EQ(compar(&a, &b), 7);
}

// ---------------------------------------------------------------------------------------------
// capscomp
// ---------------------------------------------------------------------------------------------

TEST(Capscomp, SeparatorsAndCase) {
    EXPECT_EQ(capscomp("NLL-null", "nllnull"), 0);
    EXPECT_EQ(capscomp("nll_null", "NLLNULL"), 0);
    EXPECT_EQ(capscomp("-dump-parameters", "-dump_parameters"), 0);
    EXPECT_EQ(capscomp("DumpParameters", "-dump_parameters"), 0);
    EXPECT_EQ(capscomp("ab_", "ab"), 1);
    EXPECT_EQ(capscomp("ab", "ab_"), -1);
    EXPECT_EQ(capscomp("ab_", "ab_"), -1);
    EXPECT_EQ(capscomp("b", "A"), 1);
    EXPECT_EQ(capscomp("a", "B"), -1);
    EXPECT_EQ(capscomp("gap", "gapp"), -1);
    EXPECT_EQ(capscomp("", ""), 0);
    EXPECT_EQ(capscomp("x", ""), 1);
}

TEST(RunInfo, HashString) {
    EXPECT_EQ(hash_string(""), 0u);
    EXPECT_EQ(hash_string("ab"), 971u);
    EXPECT_EQ(hash_string("\xff"), 0xffffffffu);  // characters are signed
}

// ---------------------------------------------------------------------------------------------
// shown_text
// ---------------------------------------------------------------------------------------------

// Every text has its own shown form: a typed "\x1b" and an ESC byte, or a backslash and the
// start of an escape, never look alike.
TEST(ShownText, OneShownFormPerText) {
    const struct {
        std::string text, shown;
    } rows[] = {
        {"a\\b", "a\\\\b"},                 // a backslash, doubled
        {"t\x1b", "t\\x1b"},                // an ESC byte
        {"t\\x1b", "t\\\\x1b"},             // backslash, x, 1, b as typed
        {"a\tb", "a\tb"},                   // a tab, as it is
        {std::string("n\0", 2), "n\\x00"},  // a NUL byte
        {"\\\\", "\\\\\\\\"},               // two backslashes
        {"plain ~text", "plain ~text"},
    };
    std::set<std::string> seen;
    for (const auto &r : rows) {
        SCOPED_TRACE(r.shown);
        EXPECT_EQ(shown_text(r.text), r.shown);
        EXPECT_TRUE(seen.insert(r.shown).second);  // no two texts share a shown form
    }
    EXPECT_EQ(shown_byte('\\'), "\\\\");
    EXPECT_EQ(shown_byte(0x1b), "\\x1b");
}
