// Summary statistics of one sorted vector (see SummaryStatistics.h): two passes, one for
// the sum and one for the central moments.
#include "io/SummaryStatistics.h"

#include "core/Percentile.h"

#include <cmath>

namespace Tervane3 {

SummaryValues summarizeSorted(const std::vector<double>& v, double percent)
{
    SummaryValues s;
    const size_t n = v.size();
    s.n = n;
    if (n == 0)
        return s;
    s.median = n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) * 0.5;
    s.q1 = percentileOfSorted(v, 25);
    s.q3 = percentileOfSorted(v, 75);
    s.iqr = s.q3 - s.q1;
    s.percentile = percentileOfSorted(v, percent);
    s.min = v.front();
    s.max = v.back();
    double sum = 0.0;
    for (double x : v)
        sum += x;
    // Equal values: their mean is the value itself. The rounded sum would put the mean a
    // hair beside it, every deviation the same tiny number, and the skewness at +-1.
    s.mean = s.min == s.max ? s.min : sum / static_cast<double>(n);
    if (n < 2)
        return s;
    double m2 = 0.0;
    double m3 = 0.0;
    for (double x : v) {
        const double d = x - s.mean;
        m2 += d * d;
        m3 += d * d * d;
    }
    s.sd = std::sqrt(m2 / static_cast<double>(n - 1));
    s.sem = s.sd / std::sqrt(static_cast<double>(n));
    s.cv = s.mean == 0.0 ? 0.0 : s.sd * 100.0 / std::fabs(s.mean);
    if (n >= 3) {
        const double spread = std::sqrt(m2 / static_cast<double>(n));
        if (spread != 0.0)
            s.skewness = (m3 / static_cast<double>(n)) / (spread * spread * spread);
    }
    return s;
}

} // namespace Tervane3
