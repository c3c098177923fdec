// Summary statistics of a vector of values: the figures of the statistics dock and of the
// combine plot window's statistics table.
#pragma once

#include <vector>

namespace Tervane3 {

struct SummaryStats
{
    double mean = 0.0;
    double sd = 0.0; // sample standard deviation (divisor n - 1), 0 below two values
    double q1 = 0.0;
    double median = 0.0;
    double q3 = 0.0;
    double iqr = 0.0; // q3 - q1
};

// All six are 0 for no values. Quartiles interpolate linearly between the sorted values at
// position (n - 1) * p, so the minimum is quantile 0 and the maximum quantile 1. The input
// is expected finite; NaN is not filtered.
SummaryStats computeSummaryStats(const std::vector<double>& values);

} // namespace Tervane3
