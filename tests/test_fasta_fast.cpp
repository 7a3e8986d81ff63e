// The SSE2 and AVX2 versions of the quiet-run test give what the plain version gives, on random
// and on adversarial bytes (a failing byte at every place of a block, every byte value).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sequences/fasta_fast.h"

namespace {

// Two tests as the reader builds them: four noisy letters in both cases (folded), and eight
// values of which some are upper case only.
QuietTest folded_test() {
    QuietTest t = {{'b', 'j', 'o', 'z', 0, 0, 0, 0}, 0x20, 4};
    return t;
}
QuietTest eight_test() {
    QuietTest t = {{'B', 'J', 'O', 'Z', 'U', 'x', '7', '-'}, 0, 8};
    return t;
}

// The result of the plain version, computed here byte by byte as the contract says.
size_t expected_run(const std::vector<unsigned char> &bytes, const QuietTest &t, size_t *residues) {
    size_t whole = bytes.size() / QUIET_BLOCK * QUIET_BLOCK, i = 0;
    for (; i < whole; i++) {
        unsigned char b = bytes[i];
        if (b == '\n') continue;
        bool residue = std::isalnum(b) || b == '-' || b == '.';
        bool noisy = false;
        for (unsigned char v : t.noisy) noisy = noisy || (b | t.fold) == v;
        if (!residue || noisy) break;
        ++*residues;
    }
    return i;
}

void check_all_kernels(const std::vector<unsigned char> &bytes, const QuietTest &t) {
    size_t want_residues = 0;
    size_t want = expected_run(bytes, t, &want_residues);
    for (QuietKernel k : {QUIET_PLAIN, QUIET_SSE2, QUIET_AVX2}) {
        if (!quiet_kernel_available(k)) continue;
        size_t residues = 5;  // added to, not set
        EXPECT_EQ(quiet_run_with(k, bytes.data(), bytes.size(), &t, &residues), want) << k;
        EXPECT_EQ(residues, want_residues + 5) << k;
    }
}

TEST(FastaSimd, TheVersionsUnderTestAreBuiltIn) {
    EXPECT_TRUE(quiet_kernel_available(QUIET_PLAIN));
#if defined(__SSE2__)
    EXPECT_TRUE(quiet_kernel_available(QUIET_SSE2));
#else
    GTEST_SKIP() << "built without SSE2";
#endif
}

TEST(FastaSimd, AVX2AvailableHere) {
    if (!quiet_kernel_available(QUIET_AVX2)) GTEST_SKIP() << "no AVX2 on this processor";
    SUCCEED();
}

TEST(FastaSimd, RandomBytes) {
    std::mt19937 rng(9);
    const std::string pool = "ACDEFGHIKLMNPQRSTVWYacdefghiklmnpqrstvwy\n\n\n0123456789-.";
    for (const QuietTest &t : {folded_test(), eight_test()}) {
        for (int round = 0; round < 3000; round++) {
            std::vector<unsigned char> bytes(rng() % 700);
            int rare = 1 + static_cast<int>(rng() % 400);  // one byte in rare is any value
            for (unsigned char &b : bytes)
                b = static_cast<int>(rng() % rare) == 0 ? static_cast<unsigned char>(rng())
                                                        : pool[rng() % pool.size()];
            check_all_kernels(bytes, t);
        }
    }
}

TEST(FastaSimd, EveryByteValueAtEveryPlace) {
    for (const QuietTest &t : {folded_test(), eight_test()}) {
        std::vector<unsigned char> quiet(3 * QUIET_BLOCK + 7);
        for (size_t i = 0; i < quiet.size(); i++) quiet[i] = i % 9 == 8 ? '\n' : "ACDEFGHIK"[i % 9];
        check_all_kernels(quiet, t);
        for (int value = 0; value < 256; value++) {
            for (size_t at = 0; at < quiet.size(); at += value % 2 ? 1 : 13) {
                std::vector<unsigned char> bytes = quiet;
                bytes[at] = static_cast<unsigned char>(value);
                check_all_kernels(bytes, t);
            }
        }
    }
}

}  // namespace
