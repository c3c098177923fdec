// Summary statistics of the statistics dock and the combine plot's table: mean, sample
// standard deviation and linearly interpolated quartiles, checked against hand-computed
// values and numpy (percentile with linear interpolation, std with ddof 1).
#include "plots/SummaryStats.h"

#include "core/Percentile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

struct Case
{
    std::string name;
    std::vector<double> values;
    SummaryStats expected;
};

TEST(SummaryStatsTest, Table)
{
    const std::vector<Case> cases = {
        {"empty", {}, {0, 0, 0, 0, 0, 0}},
        {"one value", {7.5}, {7.5, 0.0, 7.5, 7.5, 7.5, 0.0}},
        {"four values", {1, 2, 3, 4}, {2.5, 1.2909944487358056, 1.75, 2.5, 3.25, 1.5}},
        {"unsorted pair", {10, 0}, {5.0, 7.0710678118654755, 2.5, 5.0, 7.5, 5.0}},
        // numpy: mean 3.875, std(ddof=1) 2.748376143938713, percentiles 1.75, 3.5, 5.25.
        {"eight values", {3, 1, 4, 1, 5, 9, 2, 6}, {3.875, 2.748376143938713, 1.75, 3.5, 5.25, 3.5}},
        {"negative and equal", {-2, -2, -2}, {-2, 0, -2, -2, -2, 0}},
        // Ten times 0.1 sums to 0.9999999999999999: the mean must still be the value, the SD 0.
        {"equal tenths", std::vector<double>(10, 0.1), {0.1, 0, 0.1, 0.1, 0.1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SummaryStats s = computeSummaryStats(c.values);
        EXPECT_NEAR_REL(s.mean, c.expected.mean, 1e-12);
        EXPECT_NEAR_REL(s.sd, c.expected.sd, 1e-12);
        EXPECT_NEAR_REL(s.q1, c.expected.q1, 1e-12);
        EXPECT_NEAR_REL(s.median, c.expected.median, 1e-12);
        EXPECT_NEAR_REL(s.q3, c.expected.q3, 1e-12);
        EXPECT_NEAR_REL(s.iqr, c.expected.iqr, 1e-12);
    }
}

// The quartiles are found by selection; they must be exactly those that the percentile rule
// gives on a fully sorted copy, for every count (each position b and b + 1 of the three
// quartiles falls differently), with ties, and for values in any order.
TEST(SummaryStatsTest, QuartilesEqualThoseOfTheSortedValues)
{
    std::mt19937 random(17);
    std::vector<std::pair<std::string, std::vector<double>>> cases;
    for (size_t n = 1; n <= 40; ++n) {
        std::uniform_real_distribution<double> spread(-5.0, 5.0);
        std::uniform_int_distribution<int> few(0, 3);
        std::vector<double> distinct(n);
        std::vector<double> ties(n);
        for (size_t i = 0; i < n; ++i) {
            distinct[i] = spread(random);
            ties[i] = few(random) * 0.5;
        }
        std::vector<double> descending = distinct;
        std::sort(descending.rbegin(), descending.rend());
        cases.emplace_back("distinct " + std::to_string(n), distinct);
        cases.emplace_back("ties " + std::to_string(n), ties);
        cases.emplace_back("descending " + std::to_string(n), descending);
    }
    std::lognormal_distribution<double> skewed(0.0, 1.5);
    std::vector<double> large(10007);
    for (double& v : large)
        v = std::round(skewed(random) * 100.0) / 100.0;
    cases.emplace_back("10007 rounded skewed", large);

    for (const auto& [name, values] : cases) {
        SCOPED_TRACE(name);
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const SummaryStats s = computeSummaryStats(values);
        EXPECT_EQ(s.q1, percentileOfSorted(sorted, 25));
        EXPECT_EQ(s.median, percentileOfSorted(sorted, 50));
        EXPECT_EQ(s.q3, percentileOfSorted(sorted, 75));
        EXPECT_EQ(s.iqr, percentileOfSorted(sorted, 75) - percentileOfSorted(sorted, 25));
    }
}

} // namespace
