// The statistics of the statistical summary, from one sorted vector, against numpy's linear
// percentile and scipy's biased skewness (values from tools/references/summary_statistics.py)
// and small cases by hand.
#include "io/SummaryStatistics.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace Tervane3 {
namespace {

struct Reference
{
    const char* name;
    std::vector<double> values;
    double percent;
    // N, Median, IQR, Q1, Q3, P, Mean, SD, SEM, CV, Min, Max, Skewness
    std::vector<double> expected;
};

std::vector<double> flatten(const SummaryValues& s)
{
    return {static_cast<double>(s.n), s.median, s.iqr, s.q1, s.q3, s.percentile, s.mean,
            s.sd,  s.sem,    s.cv,  s.min, s.max, s.skewness};
}

TEST(SummaryStatisticsTest, AgreesWithNumpyAndScipy)
{
    const Reference references[] = {
        {"one to four", {1, 2, 3, 4}, 95.0, {4, 2.5, 1.5, 1.75, 3.25, 3.8499999999999996, 2.5, 1.2909944487358056, 0.6454972243679028, 51.639777949432222, 1, 4, 0}},
        {"skewed three", {1, 2, 10}, 95.0, {3, 2, 4.5, 1.5, 6, 9.1999999999999993, 4.333333333333333, 4.9328828623162471, 2.8480012484391772, 113.83575836114416, 1, 10, 0.67455548454576608}},
        {"eleven values", {3.5, -1.25, 8.0, 0.5, 2.0, 13.75, 2.0, -4.0, 6.25, 1.0, 9.5}, 37.5, {11, 2, 6.375, 0.75, 7.125, 1.75, 3.75, 5.1647846034466918, 1.5572411502397439, 137.72758942524513, -4, 13.75, 0.47667504945600575}},
        {"large offset", {1000000.1, 1000000.2, 1000000.4, 1000000.8}, 12.5, {4, 1000000.3, 0.32500000006984919, 1000000.1749999999, 1000000.5, 1000000.1375, 1000000.375, 0.30956959372105075, 0.15478479686052538, 3.0956947763249663e-05, 1000000.1, 1000000.8, 0.65680773446423812}},
    };
    for (const Reference& r : references) {
        SCOPED_TRACE(r.name);
        std::vector<double> sorted = r.values;
        std::sort(sorted.begin(), sorted.end());
        const std::vector<double> got = flatten(summarizeSorted(sorted, r.percent));
        for (size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            if (r.expected[i] == 0.0)
                EXPECT_NEAR(got[i], 0.0, 1e-12);
            else
                EXPECT_NEAR_REL(got[i], r.expected[i], 1e-9);
        }
    }
}

TEST(SummaryStatisticsTest, SmallSamples)
{
    // One value: every location statistic is the value, every spread statistic 0.
    EXPECT_EQ(flatten(summarizeSorted({7.5}, 95)), (std::vector<double>{1, 7.5, 0, 7.5, 7.5, 7.5, 7.5, 0, 0, 0, 7.5, 7.5, 0}));
    // Two values: a spread, but still no skewness.
    const SummaryValues two = summarizeSorted({1, 3}, 50);
    EXPECT_DOUBLE_EQ(two.sd, std::sqrt(2.0));
    EXPECT_EQ(two.skewness, 0.0);
    // Nothing at all: zeros.
    EXPECT_EQ(flatten(summarizeSorted({}, 95)), std::vector<double>(13, 0.0));
    // A mean of exactly 0 has no coefficient of variation.
    EXPECT_EQ(summarizeSorted({-1, 1}, 95).cv, 0.0);
    // Equal values have no skewness (no spread to divide by).
    EXPECT_EQ(summarizeSorted({4, 4, 4, 4}, 95).skewness, 0.0);
    // Regression: ten times 0.1 sums to 0.9999999999999999, so the mean came out beside the
    // value and a constant column (a flow rate) showed a skewness of 1.
    const SummaryValues tenths = summarizeSorted(std::vector<double>(10, 0.1), 95);
    EXPECT_EQ(tenths.mean, 0.1);
    EXPECT_EQ(tenths.sd, 0.0);
    EXPECT_EQ(tenths.cv, 0.0);
    EXPECT_EQ(tenths.skewness, 0.0);
}

TEST(SummaryStatisticsTest, PercentileEndsAreMinimumAndMaximum)
{
    const std::vector<double> sorted = {-3, 0.5, 2, 2, 9};
    EXPECT_EQ(summarizeSorted(sorted, 0).percentile, -3);
    EXPECT_EQ(summarizeSorted(sorted, 100).percentile, 9);
}

} // namespace
} // namespace Tervane3
