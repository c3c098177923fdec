// Mean by plain summation in input order; quartiles from a sorted copy.
#include "plots/SummaryStats.h"

#include "core/Percentile.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

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
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    stats.q1 = percentileOfSorted(sorted, 25);
    stats.median = percentileOfSorted(sorted, 50);
    stats.q3 = percentileOfSorted(sorted, 75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Tervane3
