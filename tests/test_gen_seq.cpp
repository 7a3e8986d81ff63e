// Random variates: normal, beta, Dirichlet and Dirichlet-mixture draws checked against their
// distributions (moments from gen_seq_expected.py, and a Kolmogorov-Smirnov statistic on 100,000
// draws) with a fixed seed, the Dirichlet merge tree, and the generators' assertions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "models/gen_seq/gen_seq.h"
#include "testutil.h"
#include "foundation/errors.h"

namespace {

constexpr int DRAWS = 100000;
// Kolmogorov-Smirnov bound for DRAWS draws at the 0.001 level: 1.95 / sqrt(n).
const double KS_BOUND = 1.95 / std::sqrt((double)DRAWS);
constexpr unsigned SEED = 20261209;

class GenSeq : public ::testing::Test {
protected:
    void SetUp() override {
        error_throws = true;
        srandom(SEED);
    }
};

// Expected values keyed by the text before "->" in gen_seq_expected.txt.
std::map<std::string, std::vector<double>> expected() {
    std::map<std::string, std::vector<double>> table;
    std::ifstream f(test_data("gen_seq_expected.txt"));
    std::string line;
    while (std::getline(f, line)) {
        size_t arrow = line.find(" -> ");
        std::istringstream ss(line.substr(arrow + 4));
        std::vector<double> v;
        double d;
        while (ss >> d) v.push_back(d);
        table[line.substr(0, arrow)] = v;
    }
    return table;
}

std::string num(double v) {
    std::ostringstream ss;
    ss << v;
    return ss.str();
}

// Regularised incomplete beta I_x(a, b) by its continued fraction (modified Lentz).
double beta_cdf(double a, double b, double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    if (x > (a + 1) / (a + b + 2)) return 1 - beta_cdf(b, a, 1 - x);
    const double tiny = 1e-300;
    double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) +
                            b * std::log(1 - x)) /
                   a;
    double f = 1, c = 1, d = 0;
    for (int i = 0; i <= 400; i++) {
        int m = i / 2;
        double num;
        if (i == 0)
            num = 1;
        else if (i % 2 == 0)
            num = (m * (b - m) * x) / ((a + 2 * m - 1) * (a + 2 * m));
        else
            num = -((a + m) * (a + b + m) * x) / ((a + 2 * m) * (a + 2 * m + 1));
        d = 1 + num * d;
        if (std::fabs(d) < tiny) d = tiny;
        d = 1 / d;
        c = 1 + num / c;
        if (std::fabs(c) < tiny) c = tiny;
        double cd = c * d;
        f *= cd;
        if (std::fabs(1 - cd) < 1e-15) break;
    }
    return front * (f - 1);
}

struct Summary {
    double mean, var, m4, ks;
};
// Moments and the KS statistic of samples against cdf.
Summary summarise(std::vector<double> x, const std::function<double(double)> &cdf) {
    double n = (double)x.size(), mean = 0, var = 0, m4 = 0;
    for (double v : x) mean += v;
    mean /= n;
    for (double v : x) {
        var += (v - mean) * (v - mean);
        m4 += std::pow(v - mean, 4);
    }
    var /= n;
    m4 /= n;
    std::sort(x.begin(), x.end());
    double ks = 0;
    for (size_t i = 0; i < x.size(); i++) {
        double F = cdf(x[i]);
        ks = std::max({ks, F - i / n, (i + 1) / n - F});
    }
    return {mean, var, m4, ks};
}

// Mean within 5 standard errors, variance within 5 standard errors of the sample variance.
void check(const Summary &s, double mean, double var, const std::string &what) {
    double n = DRAWS;
    EXPECT_NEAR(s.mean, mean, 5 * std::sqrt(var / n)) << what;
    EXPECT_NEAR(s.var, var, 5 * std::sqrt((s.m4 - s.var * s.var) / n)) << what;
    EXPECT_LT(s.ks, KS_BOUND) << what;
}

TEST_F(GenSeq, TestCdfAgreesWithIndependentIntegration) {
    int n = 0;
    for (const auto &e : expected()) {
        if (e.first.rfind("cdf ", 0) != 0) continue;
        std::istringstream ss(e.first.substr(4));
        double a, b, x;
        ss >> a >> b >> x;
        EXPECT_NEAR(beta_cdf(a, b, x), e.second[0], 1e-8) << e.first;
        n++;
    }
    EXPECT_EQ(n, 8);
}

TEST_F(GenSeq, Normal) {
    std::vector<double> x(DRAWS);
    for (double &v : x) v = gen_norm();
    Summary s = summarise(x, [](double v) { return 0.5 * std::erfc(-v / std::sqrt(2.0)); });
    check(s, 0.0, 1.0, "normal");
}

TEST_F(GenSeq, BetaInEveryRegime) {
    auto table = expected();
    int cases = 0;
    for (const auto &e : table) {
        if (e.first.rfind("beta ", 0) != 0) continue;
        std::istringstream ss(e.first.substr(5));
        double a, b;
        ss >> a >> b;
        GenBeta g;
        gen_beta_initialize(&g, a, b);
        std::vector<double> x(DRAWS);
        for (double &v : x) {
            v = gen_beta(&g);
            // Parameters far below 1 put real mass within rounding of 0 and 1.
            ASSERT_GE(v, 0.0) << e.first;
            ASSERT_LE(v, 1.0) << e.first;
        }
        check(summarise(x, [&](double v) { return beta_cdf(a, b, v); }), e.second[0], e.second[1],
              e.first);
        cases++;
    }
    EXPECT_EQ(cases, 14);
}

TEST_F(GenSeq, UniformBetaReturnsTheFirstUniform) {
    GenBeta g;
    gen_beta_initialize(&g, 1, 1);
    for (int i = 0; i < 200; i++) {
        srandom(SEED + i);
        double u1 = gen_uniform();
        srandom(SEED + i);
        EXPECT_EQ(gen_beta(&g), u1);
    }
}

TEST_F(GenSeq, BetaWithOneParameterOfOneNeedsOneUniform) {
    // beta(1, 3) and beta(3, 1) take exactly one uniform: X = 1 - (1 - U)^(1/3), flipped for
    // a = 3.
    GenBeta g, h;
    gen_beta_initialize(&g, 1, 3);
    gen_beta_initialize(&h, 3, 1);
    srandom(SEED);
    double u = gen_uniform(), next = gen_uniform();
    srandom(SEED);
    EXPECT_DOUBLE_EQ(gen_beta(&g), 1 - std::pow(1 - u, 1.0 / 3));
    EXPECT_EQ(gen_uniform(), next);
    srandom(SEED);
    EXPECT_DOUBLE_EQ(gen_beta(&h), std::pow(1 - u, 1.0 / 3));
}

TEST_F(GenSeq, DirichletMergeTree) {
    struct Case {
        std::vector<double> alpha;
        std::vector<int> left, right;
        std::vector<double> merged;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, {0, 4, 3}, {1, 2, 5}, {3, 6, 10}},
        {{3, 3, 3}, {1, 2}, {0, 3}, {6, 9}},
        {{5}, {}, {}, {}},
    };
    for (const Case &c : cases) {
        GenDirch g;
        int n = (int)c.alpha.size();
        gen_dirch_initialize(&g, n, c.alpha.data());
        EXPECT_EQ(g.root_index, 2 * n - 2);
        for (int i = 0; i < n - 1; i++) {
            EXPECT_EQ(g.left[i], c.left[(size_t)i]) << n << " merge " << i;
            EXPECT_EQ(g.right[i], c.right[(size_t)i]) << n << " merge " << i;
            EXPECT_EQ(g.alpha[n + i], c.merged[(size_t)i]);
        }
        double out[4] = {0, 0, 0, 0};
        gen_dirch(&g, out);
        double sum = 0;
        for (int i = 0; i < n; i++) sum += out[i];
        EXPECT_NEAR(sum, 1.0, 1e-15);
        if (n == 1) {
            EXPECT_EQ(out[0], 1.0);
        }
        gen_dirch_free(&g);
    }
    gen_dirch_free(nullptr);
}

TEST_F(GenSeq, DirichletMarginals) {
    auto table = expected();
    const std::vector<std::vector<double>> params = {{1, 2, 3, 4}, {0.2, 0.3, 0.5}};
    for (const auto &alpha : params) {
        int n = (int)alpha.size();
        double S = 0;
        for (double a : alpha) S += a;
        GenDirch g;
        gen_dirch_initialize(&g, n, alpha.data());
        std::vector<std::vector<double>> x((size_t)n, std::vector<double>(DRAWS));
        std::vector<double> out((size_t)n);
        for (int k = 0; k < DRAWS; k++) {
            gen_dirch(&g, out.data());
            for (int i = 0; i < n; i++) x[(size_t)i][(size_t)k] = out[(size_t)i];
        }
        std::string key = "dirichlet";
        for (double a : alpha) key += " " + num(a);
        for (int i = 0; i < n; i++) {
            const std::vector<double> &e = table.at(key + " " + std::to_string(i));
            double a = alpha[(size_t)i];
            check(summarise(x[(size_t)i], [&](double v) { return beta_cdf(a, S - a, v); }), e[0],
                  e[1], key + " marginal " + std::to_string(i));
        }
        gen_dirch_free(&g);
    }
}

TEST_F(GenSeq, DirichletMixture) {
    double c0[] = {7, 2, 5}, c1[] = {7, 6, 1};
    double *distr[] = {c0, c1};
    double mix[] = {0.3, 0.7};
    GenDirchMix g;
    gen_dirch_mix_initialize(&g, 2, 2, mix, distr);
    EXPECT_DOUBLE_EQ(g.mix_coeff_cum[0], 0.3);
    EXPECT_EQ(g.mix_coeff_cum[1], 1.0);
    std::vector<double> x(DRAWS);
    double out[2];
    for (double &v : x) {
        gen_dirch_mix(&g, out);
        v = out[0];
    }
    auto table = expected();
    const std::vector<double> &e = table.at("mixture");
    check(summarise(x, [](double v) { return 0.3 * beta_cdf(2, 5, v) + 0.7 * beta_cdf(6, 1, v); }),
          e[0], e[1], "mixture");
    gen_dirch_mix_free(&g);
    gen_dirch_mix_free(nullptr);

    // Coefficients (0, 1) always draw component 1: a Dirichlet of (1e-6 ... ) would put nearly
    // all mass on letter 0, component 1 on letter 1.
    double d0[] = {0, 50, 1e-3}, d1[] = {0, 1e-3, 50};
    double *dd[] = {d0, d1};
    double m01[] = {0, 1};
    gen_dirch_mix_initialize(&g, 2, 2, m01, dd);
    for (int k = 0; k < 1000; k++) {
        gen_dirch_mix(&g, out);
        ASSERT_GT(out[1], 0.5);
    }
    gen_dirch_mix_free(&g);
}

TEST_F(GenSeq, AssertionsEndTheRun) {
    GenBeta g;
    EXPECT_NE(
        fatal_of([&] { gen_beta_initialize(&g, 0, 1); }).find("Assertion failed: a > 0 && b > 0"),
        std::string::npos);
    GenDirchMix m;
    double c0[] = {1, 1}, *distr[] = {c0};
    double neg[] = {-1};
    EXPECT_NE(fatal_of([&] {
                  gen_dirch_mix_initialize(&m, 1, 1, neg, distr);
              }).find("Assertion failed: mix[c] >= 0"),
              std::string::npos);
    double zero[] = {0};
    std::string msg = fatal_of([&] { gen_dirch_mix_initialize(&m, 1, 1, zero, distr); });
    EXPECT_NE(msg.find("Assertion failed: sum > 0"), std::string::npos);
    gen_dirch_mix_free(&m);
    int heap[1];
    int size = 0;
    double keys[1] = {0};
    EXPECT_NE(fatal_of([&] { pop_heap(heap, &size, keys); }).find("*size > 0"), std::string::npos);
}

}  // namespace
