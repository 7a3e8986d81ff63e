// Lambda and tau fitting: the eta series and the moments against values computed independently
// (tests/data/lambdatau_reference.py, mpmath), the fit recovering known lambda and tau from
// samples drawn by inverting F, and the samples that cannot be fitted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "scorefiles/lambdatau.h"
#include "sequences/sequence.h"
#include "testutil.h"

namespace {

struct Reference {
    std::map<std::string, double> log_int;                // s -> value
    std::map<std::string, double> moment;                 // "lambda tau k" -> E(x^k)
    std::map<std::string, std::pair<double, double>> sd;  // "lambda tau n" -> sd tau, sd lambda
};

const Reference &reference() {
    static Reference r;
    static bool loaded = false;
    if (loaded) return r;
    std::ifstream in(test_data("lambdatau_reference.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ss(line);
        std::string kind, a, b, c;
        ss >> kind;
        if (kind == "log_int") {
            double v;
            ss >> a >> v;
            r.log_int[a] = v;
        } else if (kind == "moment") {
            double v;
            ss >> a >> b >> c >> v;
            r.moment[a + " " + b + " " + c] = v;
        } else if (kind == "sigma") {
            double st, sl;
            ss >> a >> b >> c >> st >> sl;
            r.sd[a + " " + b + " " + c] = {st, sl};
        }
    }
    loaded = true;
    return r;
}

TEST(LambdaTau, LogIntAgainstReference) {
    ASSERT_EQ(reference().log_int.size(), 9u);
    for (const auto &e : reference().log_int) {
        double s = std::atof(e.first.c_str());
        // eta is exact to exp(-16); ln(1 - a) magnifies that by at most 1/eta(1.2) < 2.
        EXPECT_NEAR(log_int(s), e.second, 2.5e-7) << "s = " << s;
    }
    EXPECT_NEAR(log_int(2), std::log(2 * 2 * M_PI * M_PI / 12), 2e-7);
    betaerror = 0;
    EXPECT_EQ(log_int(1.1), 0);
    EXPECT_EQ(betaerror, 1);
}

TEST(LambdaTau, MomentsAndFitFromExactMoments) {
    for (const auto &e : reference().moment) {
        std::istringstream ss(e.first);
        double lambda, tau;
        int k;
        ss >> lambda >> tau >> k;
        if (k / tau > LOG_INT_MIN_ARG) {
            double m = std::exp(log_int(k / tau)) / std::pow(lambda, k);
            EXPECT_NEAR(m / e.second, 1, 5e-7) << e.first;
        }
        if (k != 2) continue;
        double m2 = e.second;
        double m4 = reference().moment.at(e.first.substr(0, e.first.size() - 1) + "4");
        double t = fit_tau(m2, m4);
        if (tau > 1.728) {
            // Beyond the upward search's reach: 2/tau falls below the refused arguments.
            EXPECT_EQ(t, 0) << e.first;
            EXPECT_EQ(betaerror, 1);
            continue;
        }
        EXPECT_NEAR(t / tau, 1, 1e-5) << e.first;
        EXPECT_NEAR(fit_lambda(m2, t) / lambda, 1, 1e-5) << e.first;
    }
    // The standard logistic distribution: E(x^2) = pi^2/3, lambda 1 for tau 1.
    EXPECT_NEAR(fit_lambda(M_PI * M_PI / 3, 1), 1, 1e-7);
}

// A table whose second scores are n values drawn from F with the given lambda and tau.
SequenceTable *sample_table(double lambda, double tau, int n, unsigned seed) {
    srandom(seed);
    SequenceTable *t = alloc_sequence_table();
    for (int i = 0; i < n; i++) {
        double v = (random() + 0.5) / 2147483648.0;
        // F(x) = v: (lambda |x|)^tau = ln(v / (1 - v)), negative for v below one half.
        double u = std::log(v / (1 - v));
        double x = std::pow(std::fabs(u), 1 / tau) / lambda * (u < 0 ? -1 : 1);
        Sequence *s = alloc_sequence(0, 1);
        s->second_score = (float)x;
        add_seq_to_table(t, s);
    }
    return t;
}

TEST(LambdaTau, FitRecoversLambdaAndTauFromSamples) {
    struct Case {
        double lambda, tau;
        const char *key;
    } cases[] = {{1, 1, "1 1 20000"},
                 {0.3, 0.5, "0.3 0.5 20000"},
                 {2, 1.3, "2 1.3 20000"},
                 {0.05, 0.8, "0.05 0.8 20000"}};
    for (const Case &c : cases) {
        auto sd = reference().sd.at(c.key);
        SequenceTable *t = sample_table(c.lambda, c.tau, 20000, 12345);
        double lambda = 0, tau = 0, lambda1 = 0;
        int count = -1;
        fit_lambdatau(t, &lambda, &tau, &lambda1, &count, -1e30);
        free_sequence_table(t);
        EXPECT_EQ(count, 20000);
        // Within four standard deviations of the estimates for this sample size.
        EXPECT_NEAR(tau, c.tau, 4 * sd.first) << c.key;
        EXPECT_NEAR(lambda, c.lambda, 4 * sd.second) << c.key;
        EXPECT_GT(lambda1, 0);
    }
}

TEST(LambdaTau, SamplesThatCannotBeFitted) {
    struct Case {
        std::vector<float> scores;
        double threshold;
        int count;
        const char *warning;
        bool lambda_one;  // lambda falls back to 1.0 too
    } cases[] = {
        {{-5, -6, -7}, 0, 0, "", true},
        {{3}, 0, 1, "WARNING: Too few samples for tau fit (using 1.0)\n", false},
        {{2, -2, 2, 2}, -10, 4, "WARNING: Too few samples for tau fit (using 1.0)\n", false},
        {{0, 0},
         -10,
         2,
         "WARNING: Cannot fit lambda and tau to 2 samples (all values alike); using 1.0\n",
         true},
        {{HUGE_VALF, 2},
         -10,
         2,
         "WARNING: Cannot fit lambda and tau to 2 samples (moments not finite); using 1.0\n",
         true},
        // Nearly alike: a ratio near 1 asks for a tau beyond the search's reach.
        {{1, 1.001f, -1, 1}, -10, 4, "WARNING: Too few samples for tau fit (using 1.0)\n", false},
    };
    for (const Case &c : cases) {
        SequenceTable *t = alloc_sequence_table();
        for (float x : c.scores) {
            Sequence *s = alloc_sequence(0, 1);
            s->second_score = x;
            add_seq_to_table(t, s);
        }
        double lambda = 0, tau = 0, lambda1 = 0;
        int count = -1;
        testing::internal::CaptureStderr();
        fit_lambdatau(t, &lambda, &tau, &lambda1, &count, c.threshold);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning);
        free_sequence_table(t);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(tau, 1.0);
        EXPECT_TRUE(std::isfinite(lambda) && lambda > 0) << lambda;
        if (c.lambda_one) {
            EXPECT_EQ(lambda, 1.0);
        }
    }
    // A null or empty table writes nothing.
    double lambda = 7, tau = 7;
    int count = 7;
    fit_lambdatau(nullptr, &lambda, &tau, nullptr, &count, 0);
    SequenceTable *empty = alloc_sequence_table();
    fit_lambdatau(empty, &lambda, &tau, nullptr, &count, 0);
    free_sequence_table(empty);
    EXPECT_EQ(lambda + tau + count, 21);
    EXPECT_EQ(fit_tau(0, 1), 0);
    EXPECT_EQ(betaerror, 1);
}

TEST(LambdaTau, OneValueOrValuesOfOneSizeFitTauOne) {
    // tau = 1 and m2 = 6.25: lambda = sqrt(2 Gamma(3) eta(2) / m2) = sqrt((pi^2 / 3) / 6.25).
    const double expected = M_PI / (2.5 * std::sqrt(3.0));  // 0.72552
    for (const std::vector<float> &scores :
         {std::vector<float>{2.5f}, std::vector<float>{2.5f, -2.5f, 2.5f, -2.5f}}) {
        SequenceTable *t = alloc_sequence_table();
        for (float x : scores) {
            Sequence *s = alloc_sequence(0, 1);
            s->second_score = x;
            add_seq_to_table(t, s);
        }
        double lambda = 0, tau = 0, lambda1 = 0;
        testing::internal::CaptureStderr();
        fit_lambdatau(t, &lambda, &tau, &lambda1, nullptr, -10);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "WARNING: Too few samples for tau fit (using 1.0)\n");
        free_sequence_table(t);
        EXPECT_EQ(tau, 1.0);
        EXPECT_NEAR(lambda, expected, 1e-6) << scores.size();
        EXPECT_NEAR(lambda1, expected, 1e-6) << scores.size();
    }
}

TEST(LambdaTau, InteractiveEntry) {
    std::string in = scratch_dir() + "/moments.txt";
    char text[100];
    std::snprintf(text, sizeof text, "%.17g\n%.17g\n", M_PI * M_PI / 3,
                  reference().moment.at("1 1 4"));
    write_text(in, text);
    ASSERT_NE(std::freopen(in.c_str(), "r", stdin), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fit_lt_main(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("lambda (tau = 1): 1\nlambda: 1  tau: 1\n"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8);
}

}  // namespace
