// Bucket selection of order statistics against a full sort: the same value at every position,
// for spreads that fill the buckets evenly, pile almost everything into one bucket, hold
// only ties, reach to infinity or span less than a bucket's width of doubles.
#include "core/OrderStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

struct Case
{
    std::string name;
    std::vector<double> values;
};

std::vector<Case> cases()
{
    std::mt19937 random(41);
    const auto draw = [&random](size_t n, auto distribution) {
        std::vector<double> v(n);
        for (double& x : v)
            x = distribution(random);
        return v;
    };
    std::vector<Case> all;
    all.push_back({"one value", {3.5}});
    all.push_back({"two values", {2.0, -1.0}});
    all.push_back({"uniform", draw(5000, std::uniform_real_distribution<double>(-3.0, 7.0))});
    all.push_back({"ties of four values", draw(3001, [](std::mt19937& r) { return (r() % 4) * 0.25; })});
    all.push_back({"all equal", std::vector<double>(257, -0.125)});
    // All but a few values in the lowest bucket: that bucket is most of the input.
    std::vector<double> outlier = draw(4000, std::normal_distribution<double>(0.0, 1e-6));
    outlier.push_back(1e9);
    all.push_back({"one far outlier", outlier});
    all.push_back({"skewed", draw(20000, std::lognormal_distribution<double>(0.0, 2.0))});
    std::vector<double> infinite = draw(500, std::normal_distribution<double>(0.0, 1.0));
    infinite.push_back(std::numeric_limits<double>::infinity());
    infinite.push_back(-std::numeric_limits<double>::infinity());
    all.push_back({"with both infinities", infinite});
    // Neighbouring doubles: the range is far narrower than any bucket grid in decimal terms.
    std::vector<double> adjacent;
    double x = 1.0;
    for (int i = 0; i < 40; ++i) {
        adjacent.push_back(x);
        x = std::nextafter(x, 2.0);
    }
    std::shuffle(adjacent.begin(), adjacent.end(), random);
    all.push_back({"adjacent doubles", adjacent});
    return all;
}

TEST(OrderStatisticsTest, EveryPositionAsAFullSortPutsIt)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        std::vector<double> sorted = c.values;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        // Every position for the small cases; ends, quartile positions and a stride otherwise.
        std::vector<size_t> ranks;
        const size_t stride = n <= 300 ? 1 : n / 97;
        for (size_t r = 0; r < n; r += stride)
            ranks.push_back(r);
        for (const double q : {0.25, 0.5, 0.75}) {
            const auto r = static_cast<size_t>(static_cast<double>(n - 1) * q);
            ranks.push_back(r);
            ranks.push_back(std::min(r + 1, n - 1));
        }
        ranks.push_back(n - 1);
        std::vector<double> got(ranks.size());
        selectRanks(c.values.data(), n, sorted.front(), sorted.back(), ranks.data(), got.data(), ranks.size());
        for (size_t k = 0; k < ranks.size(); ++k)
            ASSERT_EQ(got[k], sorted[ranks[k]]) << "position " << ranks[k];
    }
}

} // namespace
