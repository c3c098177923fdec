// Mean by plain summation in input order; quartiles from a sorted copy.
#include "plots/SummaryStats.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

double quantileOfSorted(const std::vector<double>& s, double p)
{
    const double h = static_cast<double>(s.size() - 1) * p;
    const size_t i = static_cast<size_t>(h);
    const double frac = h - static_cast<double>(i);
    if (i + 1 < s.size())
        return frac * s[i + 1] + (1.0 - frac) * s[i];
    return s[i];
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
    if (n >= 2) {
        double squares = 0.0;
        for (double v : values)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    stats.q1 = quantileOfSorted(sorted, 0.25);
    stats.median = quantileOfSorted(sorted, 0.5);
    stats.q3 = quantileOfSorted(sorted, 0.75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Tervane3
