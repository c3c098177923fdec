// The percentile rule shared by the statistics dock, the statistical summary export and
// any other summary of a feature: linear interpolation between the sorted values.
#pragma once

#include <cstddef>
#include <vector>

namespace Tervane3 {

// Percentile `percent` (0 .. 100) of values sorted ascending: position a = (n - 1) x p / 100,
// b its integer part, f = a - b; (1 - f) v[b] + f v[b + 1] while b + 1 < n, else v[n - 1].
// 0 for no values. So percentile 0 is the minimum and 100 the maximum.
inline double percentileOfSorted(const std::vector<double>& sorted, double percent)
{
    const size_t n = sorted.size();
    if (n == 0)
        return 0.0;
    const double a = static_cast<double>(n - 1) * percent / 100.0;
    const size_t b = a > 0.0 ? static_cast<size_t>(a) : 0;
    const double f = a - static_cast<double>(b);
    if (b + 1 < n)
        return (1.0 - f) * sorted[b] + f * sorted[b + 1];
    return sorted[n - 1];
}

} // namespace Tervane3
