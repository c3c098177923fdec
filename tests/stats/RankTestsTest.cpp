// Rank tests on hand-computed cases, including where they deliberately differ from scipy
// (no tie correction in the approximations); the two-sample tests against a table of
// scipy 1.10's method="auto" values (written by tools/reference/rank_tests_reference.py)
// across the switch between the exact distribution and the approximation, and with tied
// values at the exact sizes against a brute-force enumeration of every split and sign
// pattern (tools/reference/rank_tests_ties_reference.py). The agreement with scipy on random
// cases is checked by RankTestsScipyTest.
#include "stats/RankTests.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(RankTestsTest, MidRanks)
{
    struct Case
    {
        std::string name;
        std::vector<double> values;
        std::vector<double> ranks;
    };
    const std::vector<Case> cases = {
        {"empty", {}, {}},
        {"ties averaged", {3, 1, 3, 2}, {3.5, 1, 3.5, 2}},
        {"all equal", {7, 7, 7, 7, 7}, {3, 3, 3, 3, 3}},
        {"descending", {5, 4, 3}, {3, 2, 1}},
        // Regression: a NaN must not stall the walk over runs of equal values.
        {"NaN between equal values", {1, nan, 1}, {1.5, 3, 1.5}},
        {"two NaN", {nan, 2, nan}, {2.5, 1, 2.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> ranks = midRanks(c.values);
        ASSERT_EQ(ranks.size(), c.ranks.size());
        for (size_t i = 0; i < ranks.size(); ++i) {
            if (!std::isnan(c.values[i])) {
                EXPECT_DOUBLE_EQ(ranks[i], c.ranks[i]) << i;
            }
        }
    }
}

struct TestCase
{
    std::string name;
    RankTestResult actual;
    RankTestResult expected;
};

void expectResults(const std::vector<TestCase>& cases)
{
    for (const TestCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.actual.valid, c.expected.valid);
        EXPECT_EQ(c.actual.exact, c.expected.exact);
        EXPECT_NEAR(c.actual.statistic, c.expected.statistic, 1e-12);
        EXPECT_NEAR_REL(c.actual.pValue, c.expected.pValue, 1e-10);
    }
}

TEST(RankTestsTest, TestsOnSmallCases)
{
    expectResults({
        // Category 1 larger for every subject: R = {3, 6}, Q = 3, p = Q(0.5, 1.5).
        {"Friedman two categories", friedmanTest({{1, 2, 3}, {4, 5, 6}}), {3.0, 0.08326451666355042, true}},
        {"Friedman unequal lists", friedmanTest({{1, 2, 3}, {4, 5}}), {}},
        {"Friedman two subjects", friedmanTest({{1, 2}, {3, 4}, {5, 6}}), {}},
        {"Friedman one list", friedmanTest({{1, 2, 3}}), {}},
        // Three categories ranked 1, 2, 3 for each of 3 subjects: Q = 6, p = exp(-3).
        {"Friedman three categories", friedmanTest({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}), {6.0, std::exp(-3.0), true}},
        // Identical groups: H = 0, p = 1, valid (scipy's tie correction divides by zero here).
        {"Kruskal-Wallis identical", kruskalWallisTest({{5, 5, 5}, {5, 5, 5}}), {0.0, 1.0, true}},
        {"Kruskal-Wallis group of two", kruskalWallisTest({{1, 2, 3}, {4, 5}}), {}},
        // R = 6, 15, 24: H = 12/90 * 279 - 30 = 7.2, p = exp(-3.6).
        {"Kruskal-Wallis three groups", kruskalWallisTest({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), {7.2, std::exp(-3.6), true}},
        // Regression: U = 0 of 3 against 3 gave the normal approximation's 0.0495; exactly,
        // 2 of the C(6, 3) = 20 orderings are this extreme: p = 0.1.
        {"Mann-Whitney separated", mannWhitneyUTest({1, 2, 3}, {4, 5, 6}), {0.0, 0.1, true, true}},
        {"Mann-Whitney reversed", mannWhitneyUTest({4, 5, 6}, {1, 2, 3}), {0.0, 0.1, true, true}},
        // Regression: a tie sent 3 against 3 to the approximation's 0.0809. Exactly, of the 20
        // splits of the ranks {1, 2, 3.5, 3.5, 5, 6}, U = 0 once and U = 0.5 once: p = 4/20.
        {"Mann-Whitney tied", mannWhitneyUTest({1, 2, 3}, {3, 5, 6}), {0.5, 0.2, true, true}},
        // The middle U of 3 against 3 reaches the whole distribution twice: p is capped at 1.
        {"Mann-Whitney middle", mannWhitneyUTest({1, 4, 5}, {2, 3, 6}), {4.0, 1.0, true, true}},
        {"Mann-Whitney two values", mannWhitneyUTest({1, 2}, {4, 5, 6}), {}},
        // Two non-zero differences remain.
        {"Wilcoxon zeros dropped", wilcoxonSignedRankTest({0, 0, 1, 2}), {}},
        // Regression: 5 differences of one sign gave the approximation's 0.0431 (significant
        // at 0.05); exactly it is 2 of 2^5 sign patterns: p = 0.0625.
        {"Wilcoxon all positive", wilcoxonSignedRankTest({1, 2, 3, 4, 5}), {0.0, 0.0625, true, true}},
        {"Wilcoxon all negative", wilcoxonSignedRankTest({-1, -2, -3, -4, -5}), {0.0, 0.0625, true, true}},
        // A zero difference is dropped; the 4 others are exact: 2 of 2^4 sign patterns.
        {"Wilcoxon with a zero", wilcoxonSignedRankTest({0, 1, 2, 3, 4}), {0.0, 0.125, true, true}},
    });
}

TEST(RankTestsTest, TwoSampleTestsAgreeWithScipyAuto)
{
    enum class Kind { mannWhitney, wilcoxon };
    struct Case
    {
        std::string name;
        Kind kind;
        std::vector<double> a;
        std::vector<double> b;
        double statistic;
        double p;
        bool exact;
    };
    // scipy 1.10.1; beyond the exact sizes, where its approximation corrects for ties, the
    // uncorrected value. Tied values at the exact sizes are in the enumeration's table below.
    const std::vector<Case> cases = {
        {"3 v 3 separated", Kind::mannWhitney, {1, 2, 3}, {4, 5, 6}, 0, 0.1, true},
        {"3 v 3 interleaved", Kind::mannWhitney, {1, 3, 5}, {2, 4, 6}, 3, 0.7, true},
        {"4 v 4 separated", Kind::mannWhitney, {1, 2, 3, 4}, {5, 6, 7, 8}, 0, 0.02857142857142857, true},
        {"3 v 8", Kind::mannWhitney,
             {3.456, 8.216, 3.304},
             {9.891, 2.773, 3.869, -16.415, 25.997, 19.442, 4.746, 15.738},
             8, 0.496969696969697, true},
        {"8 v 3, first list larger", Kind::mannWhitney,
             {25.409, -20.557, 9.181, -0.678, 0.474, 2.844, -15.2, 2.681},
             {-6.518, -1.747, 16.637},
             11, 0.9212121212121214, true},
        {"8 v 8, largest exact size", Kind::mannWhitney,
             {-8.019, -13.244, -2.484, 4.204, 11.36, 1.097, -5.526, -7.848},
             {19.531, 26.765, -16.533, 7.62, 19.137, 22.521, 15.538, 23.971},
             9, 0.014763014763014764, true},
        {"5 v 30", Kind::mannWhitney,
             {-5.988, -3.013, -8.741, -14.906, -10.547},
             {-17.383, -13.366, -13.611, -3.516, -23.126, -1.889, -9.572, 8.936, 9.568, 13.923, 7.675, -0.53, 8.598,
              15.055, -6.536, 6.104, -0.427, 14.4, -8.369, -3.015, 3.623, 2.581, -16.394, 3.602, -1.185, -2.397, -1.553,
              2.19, -18.164, 15.525},
             37, 0.07669607432415781, true},
        {"8 v 60", Kind::mannWhitney,
             {-4.028, 6.428, -12.563, 10.561, 15.435, -0.526, 8.305, 6.509},
             {-11.033, -7.25, -7.818, 2.67, -2.486, 1.265, 8.43, 8.579, 4.752, -4.508, -7.549, -8.148, -3.439, -0.514,
              -9.723, -11.345, 3.057, -18.517, -1.771, 4.258, -9.854, -11.13, -7.606, 6.48, -1.298, -18.696, -4.233,
              10.139, 9.837, 6.3, -2.381, -18.449, 1.696, -1.76, 0.768, 15.423, 1.837, 2.763, 6.051, -2.566, -6.644,
              -7.374, 7.67, 5.046, -4.895, 11.527, 1.843, -13.402, 6.059, -1.395, -13.288, 5.155, -3.448, -3.923, 5.899,
              -21.925, -12.773, -4.245, 2.492, -6.651},
             138, 0.052157625612055315, true},
        {"9 v 9, smallest asymptotic size", Kind::mannWhitney,
             {0.342, 13.597, 12.247, -5.103, -2.98, -5.274, 5.697, -0.561, 7.469},
             {6.932, 17.461, 14.416, 14.24, 23.188, -5.056, 0.73, -6.207, 5.922},
             26, 0.20041107494054256, false},
        {"12 v 15", Kind::mannWhitney,
             {18.268, -30.783, 9.581, 0.696, 13.183, 3.856, 18.273, 0.317, -5.162, 5.805, 4.321, -3.568},
             {11.955, -4.795, -10.735, -24.25, 1.468, 17.476, 5.331, 10.118, 15.232, -3.821, 31.523, -3.769, 8.736,
              32.396, 3.857},
             84, 0.7696979437812898, false},
        {"9 v 12 with ties", Kind::mannWhitney,  // no tie correction; scipy 0.0270369
             {-1, 5, 6, 1, 2, -2, -4, -4, -4},
             {5, 10, -3, 11, 4, 1, 1, 0, 3, 7, 6, 7},
             23, 0.027589528525118513, false},
        {"5 all positive", Kind::wilcoxon, {1, 2, 3, 4, 5}, {}, 0, 0.0625, true},
        {"5 all negative", Kind::wilcoxon, {-1, -2, -3, -4, -5}, {}, 0, 0.0625, true},
        {"6 mixed", Kind::wilcoxon, {1.5, -2, 3, 4.5, -0.5, 6}, {}, 4, 0.21875, true},
        {"10 mixed", Kind::wilcoxon,
             {-11.309, -6.365, 6.939, -2.241, 8.256, 11.073, -11.435, 13.171, -2.956, 23.941},
             {},
             21, 0.556640625, true},
        {"25", Kind::wilcoxon,
             {-3.947, 8.308, 12.394, 12.309, 20.178, -1.852, 7.442, -1.662, -12.248, -5.039, 3.362, -7.152, 0.085, 13.203,
              7.705, 7.723, 5.451, 0.247, -16.677, 11.915, -13.067, 4.161, 0.916, 3.373, 4.523},
             {},
             106, 0.13364005088806152, true},
        {"26", Kind::wilcoxon,
             {13.013, 5.384, -3.4, -10.602, -16.946, 2.186, -6.106, -6.722, -0.22, 1.482, -20.768, 11.251, -18.268,
              20.596, 7.906, -2.718, 15.43, 2.208, 8.909, 3.072, 12.965, 12.614, -7.073, -4.125, 5.432, -0.1},
             {},
             155, 0.6170915961265564, true},
        {"50, largest exact size", Kind::wilcoxon,
             {-10.068, 3.314, -0.31, -3.242, 4.913, 11.284, 1.892, -9.808, 6.094, -2.605, 11.961, -1.36, 9.051, -9.624,
              19.114, -6.048, -3.744, 5.532, 25.407, 1.345, 4.159, -20.414, 11.165, -1.094, 8.869, 19.398, -14.624,
              -1.371, 14.162, 16.013, 5.75, -7.894, -6.118, -5.492, 4.184, 6.933, 3.769, 3.522, 5.581, -5.895, 2.301,
              -18.089, -6.438, 9.593, 6.877, 14.817, -13.987, 9.714, -8.515, 8.795},
             {},
             493, 0.16588679879439283, true},
        {"51, smallest approximate size", Kind::wilcoxon,
             {-1.7, 11.941, 6.159, -4.182, 8.721, -12.5, 7.935, -3.618, 8.315, 6.391, -5.672, 7.284, 5.419, -4.461,
              22.012, 10.02, -9.821, -7.88, 5.168, 5.12, -5.269, 14.159, 2.97, -6.627, -1.746, 0.212, -13.533, -6.322,
              -16.099, -0.936, 8.126, -10.859, 5.221, -9.827, 0.364, -3.162, -10.122, -3.491, -10.255, 4.935, 2.462, 14,
              -12.633, 12.928, 1.212, 6.054, 0.115, 17.47, 15.86, 12.685, 4.595},
             {},
             560, 0.33431091331572893, false},
        {"55 with ties and zeros", Kind::wilcoxon,  // no tie correction; scipy 0.00793142
             {-5, -4, -4, -1, 7, -5, 5, 6, 0, -2, 3, 6, 10, 5, 7, -1, -2, -6, -4, 0, 2, -4, 4, 1, -2, -2, 9, 2, -3, -3,
              8, -1, 6, 7, -8, 6, 0, -3, -1, 3, 2, 3, -2, 6, 7, 8, 5, 9, 9, 4, 5, 3, 3, 4, -6},
             {},
             398, 0.008046490964229061, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RankTestResult r = c.kind == Kind::mannWhitney ? mannWhitneyUTest(c.a, c.b) : wilcoxonSignedRankTest(c.a);
        ASSERT_TRUE(r.valid);
        EXPECT_EQ(r.exact, c.exact);
        EXPECT_DOUBLE_EQ(r.statistic, c.statistic);
        EXPECT_NEAR_REL(r.pValue, c.p, 1e-12);
        if (c.kind == Kind::mannWhitney) {
            // Which list comes first does not matter.
            const RankTestResult swapped = mannWhitneyUTest(c.b, c.a);
            EXPECT_EQ(swapped.exact, r.exact);
            EXPECT_NEAR_REL(swapped.pValue, r.pValue, 1e-12);
        }
    }
}

TEST(RankTestsTest, TiedTwoSampleTestsAgreeWithEnumeration)
{
    enum class Kind { mannWhitney, wilcoxon };
    struct Case
    {
        std::string name;
        Kind kind;
        std::vector<double> a;
        std::vector<double> b;
        double statistic;
        double p;
    };
    // Regression: a tie anywhere sent both tests to the normal approximation, below the
    // exact p (1 1 2 v 5 6 7: 0.0495 "*" against 0.1; 2 2 3 4 5: 0.0431 against 0.0625).
    // Every split of the pooled values and every sign pattern enumerated, with the
    // observed mid-ranks; each case is followed by its mirror image.
    const std::vector<Case> cases = {
        {"1 1 2 v 5 6 7", Kind::mannWhitney, {1, 1, 2}, {5, 6, 7}, 0, 0.1},
        {"1 1 2 v 5 6 7, mirrored", Kind::mannWhitney, {5, 6, 7}, {1, 1, 2}, 0, 0.1},
        {"1 1 2 v 5 6 7 8", Kind::mannWhitney, {1, 1, 2}, {5, 6, 7, 8}, 0, 0.05714285714285714},
        {"1 1 2 v 5 6 7 8, mirrored", Kind::mannWhitney, {5, 6, 7, 8}, {1, 1, 2}, 0, 0.05714285714285714},
        {"3 v 3, tie across the lists", Kind::mannWhitney, {1, 2, 3}, {3, 5, 6}, 0.5, 0.2},
        {"3 v 3, tie across the lists, mirrored", Kind::mannWhitney, {3, 5, 6}, {1, 2, 3}, 0.5, 0.2},
        {"3 v 3, all equal", Kind::mannWhitney, {4, 4, 4}, {4, 4, 4}, 4.5, 1},
        {"3 v 3, all equal, mirrored", Kind::mannWhitney, {4, 4, 4}, {4, 4, 4}, 4.5, 1},
        {"6 v 7, tie inside one list", Kind::mannWhitney,
             {1, 2, 2, 4, 7, 9},
             {3, 5, 8, 10, 11, 12, 13},
             6, 0.03263403263403263},
        {"6 v 7, tie inside one list, mirrored", Kind::mannWhitney,
             {3, 5, 8, 10, 11, 12, 13},
             {1, 2, 2, 4, 7, 9},
             6, 0.03263403263403263},
        {"5 v 6, three tie groups", Kind::mannWhitney, {1, 1, 1, 2, 2}, {2, 2, 3, 3, 3, 3}, 2, 0.025974025974025976},
        {"5 v 6, three tie groups, mirrored", Kind::mannWhitney,
             {2, 2, 3, 3, 3, 3},
             {1, 1, 1, 2, 2},
             2, 0.025974025974025976},
        {"3 v 5, integers 0..5", Kind::mannWhitney, {2, 0, 0}, {2, 0, 0, 4, 5}, 4.5, 0.5714285714285714},
        {"3 v 5, integers 0..5, mirrored", Kind::mannWhitney, {2, 0, 0, 4, 5}, {2, 0, 0}, 4.5, 0.5714285714285714},
        {"4 v 4, integers 0..5", Kind::mannWhitney, {1, 1, 2, 5}, {5, 3, 2, 4}, 4, 0.34285714285714286},
        {"4 v 4, integers 0..5, mirrored", Kind::mannWhitney, {5, 3, 2, 4}, {1, 1, 2, 5}, 4, 0.34285714285714286},
        {"5 v 8, integers 0..5", Kind::mannWhitney, {2, 4, 0, 4, 3}, {3, 3, 2, 3, 1, 3, 1, 0}, 14, 0.4366744366744367},
        {"5 v 8, integers 0..5, mirrored", Kind::mannWhitney,
             {3, 3, 2, 3, 1, 3, 1, 0},
             {2, 4, 0, 4, 3},
             14, 0.4366744366744367},
        {"8 v 3, integers 0..5", Kind::mannWhitney, {4, 3, 5, 1, 4, 2, 1, 3}, {5, 4, 2}, 8, 0.48484848484848486},
        {"8 v 3, integers 0..5, mirrored", Kind::mannWhitney, {5, 4, 2}, {4, 3, 5, 1, 4, 2, 1, 3}, 8, 0.48484848484848486},
        {"7 v 7, integers 0..5", Kind::mannWhitney, {5, 4, 1, 0, 4, 3, 3}, {1, 1, 3, 2, 1, 3, 5}, 19, 0.48717948717948717},
        {"7 v 7, integers 0..5, mirrored", Kind::mannWhitney,
             {1, 1, 3, 2, 1, 3, 5},
             {5, 4, 1, 0, 4, 3, 3},
             19, 0.48717948717948717},
        {"6 v 4, integers 0..5", Kind::mannWhitney, {2, 4, 0, 1, 5, 4}, {3, 5, 4, 2}, 9, 0.5904761904761905},
        {"6 v 4, integers 0..5, mirrored", Kind::mannWhitney, {3, 5, 4, 2}, {2, 4, 0, 1, 5, 4}, 9, 0.5904761904761905},
        {"8 v 8, integers 0..5", Kind::mannWhitney,
             {3, 5, 0, 1, 2, 1, 4, 1},
             {1, 0, 5, 1, 2, 3, 5, 4},
             27, 0.643045843045843},
        {"8 v 8, integers 0..5, mirrored", Kind::mannWhitney,
             {1, 0, 5, 1, 2, 3, 5, 4},
             {3, 5, 0, 1, 2, 1, 4, 1},
             27, 0.643045843045843},
        {"4 v 14, integers 0..5", Kind::mannWhitney,
             {0, 4, 3, 2},
             {3, 1, 4, 4, 5, 2, 0, 0, 5, 3, 1, 1, 5, 5},
             22.5, 0.5647058823529412},
        {"4 v 14, integers 0..5, mirrored", Kind::mannWhitney,
             {3, 1, 4, 4, 5, 2, 0, 0, 5, 3, 1, 1, 5, 5},
             {0, 4, 3, 2},
             22.5, 0.5647058823529412},
        {"8 v 12, integers 0..5", Kind::mannWhitney,
             {2, 1, 1, 1, 4, 5, 0, 3},
             {2, 2, 2, 0, 4, 2, 5, 4, 0, 2, 0, 3},
             46, 0.8839088671906009},
        {"8 v 12, integers 0..5, mirrored", Kind::mannWhitney,
             {2, 2, 2, 0, 4, 2, 5, 4, 0, 2, 0, 3},
             {2, 1, 1, 1, 4, 5, 0, 3},
             46, 0.8839088671906009},
        {"3 v 4, integers 0..4 v 2..6", Kind::mannWhitney, {0, 3, 0}, {4, 5, 5, 3}, 0.5, 0.11428571428571428},
        {"3 v 4, integers 0..4 v 2..6, mirrored", Kind::mannWhitney, {4, 5, 5, 3}, {0, 3, 0}, 0.5, 0.11428571428571428},
        {"5 v 5, integers 0..4 v 2..6", Kind::mannWhitney, {2, 2, 1, 1, 2}, {5, 5, 2, 3, 2}, 3, 0.07936507936507936},
        {"5 v 5, integers 0..4 v 2..6, mirrored", Kind::mannWhitney,
             {5, 5, 2, 3, 2},
             {2, 2, 1, 1, 2},
             3, 0.07936507936507936},
        {"8 v 6, integers 0..4 v 2..6", Kind::mannWhitney,
             {1, 3, 2, 2, 4, 3, 0, 4},
             {3, 5, 2, 2, 4, 3},
             17, 0.4229104229104229},
        {"8 v 6, integers 0..4 v 2..6, mirrored", Kind::mannWhitney,
             {3, 5, 2, 2, 4, 3},
             {1, 3, 2, 2, 4, 3, 0, 4},
             17, 0.4229104229104229},
        {"8 v 8, integers 0..4 v 2..6", Kind::mannWhitney,
             {3, 1, 2, 0, 3, 2, 1, 2},
             {4, 4, 2, 5, 6, 5, 5, 5},
             3.5, 0.0012432012432012432},
        {"8 v 8, integers 0..4 v 2..6, mirrored", Kind::mannWhitney,
             {4, 4, 2, 5, 6, 5, 5, 5},
             {3, 1, 2, 0, 3, 2, 1, 2},
             3.5, 0.0012432012432012432},
        {"8 v 5, one list constant", Kind::mannWhitney, {3, 3, 3, 3, 3, 3, 3, 3}, {1, 2, 3, 4, 5}, 20, 1},
        {"8 v 5, one list constant, mirrored", Kind::mannWhitney, {1, 2, 3, 4, 5}, {3, 3, 3, 3, 3, 3, 3, 3}, 20, 1},
        {"6 v 4, the far tail smaller", Kind::mannWhitney, {1, 0, 1, 1, 1, 1}, {2, 0, 2, 0}, 11, 0.9523809523809523},
        {"6 v 4, the far tail smaller, mirrored", Kind::mannWhitney,
             {2, 0, 2, 0},
             {1, 0, 1, 1, 1, 1},
             11, 0.9523809523809523},
        {"2 2 3 4 5", Kind::wilcoxon, {2, 2, 3, 4, 5}, {}, 0, 0.0625},
        {"2 2 3 4 5, mirrored", Kind::wilcoxon, {-2, -2, -3, -4, -5}, {}, 0, 0.0625},
        {"1 1 1 1 1", Kind::wilcoxon, {1, 1, 1, 1, 1}, {}, 0, 0.0625},
        {"1 1 1 1 1, mirrored", Kind::wilcoxon, {-1, -1, -1, -1, -1}, {}, 0, 0.0625},
        {"three of one size", Kind::wilcoxon, {1, -1, 1}, {}, 2, 1},
        {"three of one size, mirrored", Kind::wilcoxon, {-1, 1, -1}, {}, 2, 1},
        {"tied magnitudes of both signs", Kind::wilcoxon, {1, -1, 2, 3, 4, 5, 6}, {}, 1.5, 0.046875},
        {"tied magnitudes of both signs, mirrored", Kind::wilcoxon, {-1, 1, -2, -3, -4, -5, -6}, {}, 1.5, 0.046875},
        {"zero difference", Kind::wilcoxon, {0, 1.5, -2, 3, 4.5, 6, 7}, {}, 2, 0.09375},
        {"zero difference, mirrored", Kind::wilcoxon, {0, -1.5, 2, -3, -4.5, -6, -7}, {}, 2, 0.09375},
        {"zero and tied magnitudes", Kind::wilcoxon, {0, 1, -1, 2, 3, 4, 5}, {}, 1.5, 0.09375},
        {"zero and tied magnitudes, mirrored", Kind::wilcoxon, {0, -1, 1, -2, -3, -4, -5}, {}, 1.5, 0.09375},
        {"zeros leave three", Kind::wilcoxon, {0, 0, 0, 2, 2, -1}, {}, 1, 0.5},
        {"zeros leave three, mirrored", Kind::wilcoxon, {0, 0, 0, -2, -2, 1}, {}, 1, 0.5},
        {"3, integers -4..4", Kind::wilcoxon, {2, -3, -2}, {}, 1.5, 0.75},
        {"3, integers -4..4, mirrored", Kind::wilcoxon, {-2, 3, 2}, {}, 1.5, 0.75},
        {"4, integers -4..4", Kind::wilcoxon, {4, 4, 1, -2}, {}, 2, 0.375},
        {"4, integers -4..4, mirrored", Kind::wilcoxon, {-4, -4, -1, 2}, {}, 2, 0.375},
        {"6, integers -4..4", Kind::wilcoxon, {-4, -3, 4, 0, -3, -2}, {}, 4.5, 0.5},
        {"6, integers -4..4, mirrored", Kind::wilcoxon, {4, 3, -4, 0, 3, 2}, {}, 4.5, 0.5},
        {"8, integers -4..4", Kind::wilcoxon, {-3, 3, -3, 3, 4, 4, -4, -4}, {}, 18, 1},
        {"8, integers -4..4, mirrored", Kind::wilcoxon, {3, -3, 3, -3, -4, -4, 4, 4}, {}, 18, 1},
        {"10, integers -4..4", Kind::wilcoxon, {4, 2, -3, 2, 2, -2, 2, -3, 3, -1}, {}, 21, 0.57421875},
        {"10, integers -4..4, mirrored", Kind::wilcoxon, {-4, -2, 3, -2, -2, 2, -2, 3, -3, 1}, {}, 21, 0.57421875},
        {"12, integers -4..4", Kind::wilcoxon, {2, -4, -1, -4, -2, -2, 2, 3, 2, 0, 4, -2}, {}, 31.5, 0.90625},
        {"12, integers -4..4, mirrored", Kind::wilcoxon, {-2, 4, 1, 4, 2, 2, -2, -3, -2, 0, -4, 2}, {}, 31.5, 0.90625},
        {"5, integers -1..4", Kind::wilcoxon, {4, -1, 4, 4, 3}, {}, 1, 0.125},
        {"5, integers -1..4, mirrored", Kind::wilcoxon, {-4, 1, -4, -4, -3}, {}, 1, 0.125},
        {"9, integers -1..4", Kind::wilcoxon, {2, 1, 4, -1, 2, 3, 3, 0, 3}, {}, 1.5, 0.0234375},
        {"9, integers -1..4, mirrored", Kind::wilcoxon, {-2, -1, -4, 1, -2, -3, -3, 0, -3}, {}, 1.5, 0.0234375},
        {"12, integers -1..4", Kind::wilcoxon, {-1, 4, 1, 1, 0, 4, 3, 4, 4, 0, -1, 2}, {}, 5, 0.0234375},
        {"12, integers -1..4, mirrored", Kind::wilcoxon, {1, -4, -1, -1, 0, -4, -3, -4, -4, 0, 1, -2}, {}, 5, 0.0234375},
        {"12, half of one size", Kind::wilcoxon, {3, 3, -3, 3, 3, -3, 1, 2, 4, 5, -6, 7}, {}, 22, 0.19384765625},
        {"12, half of one size, mirrored", Kind::wilcoxon,
             {-3, -3, 3, -3, -3, 3, -1, -2, -4, -5, 6, -7},
             {},
             22, 0.19384765625},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RankTestResult r = c.kind == Kind::mannWhitney ? mannWhitneyUTest(c.a, c.b) : wilcoxonSignedRankTest(c.a);
        ASSERT_TRUE(r.valid);
        EXPECT_TRUE(r.exact);
        EXPECT_DOUBLE_EQ(r.statistic, c.statistic);
        EXPECT_NEAR_REL(r.pValue, c.p, 1e-12);
    }
}

TEST(RankTestsTest, UpperIncompleteGamma)
{
    for (double a : {0.5, 1.0, 2.5}) {
        EXPECT_EQ(upperIncompleteGammaQ(a, 0.0), 1.0);
        EXPECT_EQ(upperIncompleteGammaQ(a, -1.0), 1.0);
    }
    // Q(1, x) = exp(-x) on both sides of x = a + 1 (series below, continued fraction above).
    for (double x : {0.1, 1.0, 1.999, 2.0, 2.001, 5.0, 30.0})
        EXPECT_NEAR_REL(upperIncompleteGammaQ(1.0, x), std::exp(-x), 1e-13) << x;
    EXPECT_EQ(twoSidedNormalP(0.0), 1.0);
    EXPECT_NEAR_REL(twoSidedNormalP(-1.959963984540054), 0.05, 1e-12);
}

} // namespace
