// Mean by plain summation in input order; quartiles from the order statistics around their
// positions, found by bucket selection: the plot update computes them for a million points
// per axis, where a full sort of a copy took most of the update's time.
#include "plots/SummaryStats.h"

#include "core/OrderStatistics.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

// Percentiles as percentileOfSorted (core/Percentile.h) gives them on the sorted values,
// from the two order statistics around each position.
void percentiles(const std::vector<double>& values, double lowest, double highest, const double* percents,
                 double* out, size_t count)
{
    const size_t n = values.size();
    std::vector<size_t> ranks;
    std::vector<double> fractions;
    for (size_t k = 0; k < count; ++k) {
        const double a = static_cast<double>(n - 1) * percents[k] / 100.0;
        const size_t b = a > 0.0 ? static_cast<size_t>(a) : 0;
        ranks.push_back(b);
        ranks.push_back(std::min(b + 1, n - 1));
        fractions.push_back(a - static_cast<double>(b));
    }
    std::vector<double> at(ranks.size());
    selectRanks(values.data(), n, lowest, highest, ranks.data(), at.data(), ranks.size());
    for (size_t k = 0; k < count; ++k) {
        const double f = fractions[k];
        out[k] = ranks[2 * k] + 1 < n ? (1.0 - f) * at[2 * k] + f * at[2 * k + 1] : at[2 * k + 1];
    }
}

} // namespace

SummaryStats computeSummaryStats(const std::vector<double>& values)
{
    SummaryStats stats;
    const size_t n = values.size();
    if (n == 0)
        return stats;
    double sum = 0.0;
    for (double v : values)
        sum += v;
    stats.mean = sum / static_cast<double>(n);
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    // Equal values: the mean is the value itself, not the rounded sum over n, so the spread is 0.
    if (*lowest == *highest)
        stats.mean = *lowest;
    if (n >= 2) {
        double squares = 0.0;
        for (double v : values)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }
    const double percents[3] = {25, 50, 75};
    double quartiles[3];
    percentiles(values, *lowest, *highest, percents, quartiles, 3);
    stats.q1 = quartiles[0];
    stats.median = quartiles[1];
    stats.q3 = quartiles[2];
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Tervane3
