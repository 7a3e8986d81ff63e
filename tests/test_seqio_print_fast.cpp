// The AVX2 version of the code-to-letter mapping gives what a byte-by-byte lookup gives: codes
// below 32 only, codes of every value, and one large code at each place of a piece.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sequences/seqio_print_fast.h"

namespace {

void check_all_kernels(const std::vector<unsigned char> &codes, const char *table) {
    std::string want(codes.size(), '\0');
    for (size_t i = 0; i < codes.size(); i++) want[i] = table[codes[i]];
    for (LetterKernel k : {LETTERS_PLAIN, LETTERS_AVX2}) {
        if (!letter_kernel_available(k)) continue;
        std::string got(codes.size() + 1, '#');
        codes_to_letters_with(k, codes.data(), codes.size(), table, &got[0]);
        EXPECT_EQ(got.back(), '#') << k << ": wrote past the end";
        got.pop_back();
        EXPECT_EQ(got, want) << k;
    }
}

TEST(LettersSimd, AVX2AvailableHere) {
    if (!letter_kernel_available(LETTERS_AVX2)) GTEST_SKIP() << "no AVX2 on this processor";
    SUCCEED();
}

TEST(LettersSimd, AgreeWithALookupByteByByte) {
    char table[256];
    for (int c = 0; c < 256; c++) table[c] = static_cast<char>(c * 37 + 11);
    std::mt19937 rng(5);
    for (int round = 0; round < 2000; round++) {
        std::vector<unsigned char> codes(rng() % 300);
        const unsigned bound = round % 3 == 0 ? 256 : 32;  // codes of any value now and then
        for (unsigned char &c : codes) c = static_cast<unsigned char>(rng() % bound);
        check_all_kernels(codes, table);
    }
    // One code at or above 32 at every place of two pieces.
    for (unsigned big : {32u, 128u, 255u}) {
        for (size_t at = 0; at < 64; at++) {
            std::vector<unsigned char> codes(64);
            for (size_t i = 0; i < codes.size(); i++) codes[i] = static_cast<unsigned char>(i % 32);
            codes[at] = static_cast<unsigned char>(big);
            check_all_kernels(codes, table);
        }
    }
}

}  // namespace
