// Rank tests on hand-computed cases, including where they deliberately differ from
// scipy's defaults (asymptotic p values only, no tie or continuity corrections). The
// agreement with scipy on random cases is checked by RankTestsScipyTest.
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
        // U = 0, z = -4.5 / sqrt(63/12): p 0.049535 (scipy's exact default gives 0.1).
        {"Mann-Whitney separated", mannWhitneyUTest({1, 2, 3}, {4, 5, 6}), {0.0, 0.049534613435626706, true}},
        {"Mann-Whitney reversed", mannWhitneyUTest({4, 5, 6}, {1, 2, 3}), {0.0, 0.049534613435626706, true}},
        {"Mann-Whitney two values", mannWhitneyUTest({1, 2}, {4, 5, 6}), {}},
        // Two non-zero differences remain.
        {"Wilcoxon zeros dropped", wilcoxonSignedRankTest({0, 0, 1, 2}), {}},
        {"Wilcoxon all positive", wilcoxonSignedRankTest({1, 2, 3, 4, 5}), {0.0, 0.043114446783075355, true}},
        {"Wilcoxon all negative", wilcoxonSignedRankTest({-1, -2, -3, -4, -5}), {0.0, 0.043114446783075355, true}},
    });
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
