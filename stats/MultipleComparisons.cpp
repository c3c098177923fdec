// Corrections of a family of p values and significance stars.
#include "stats/MultipleComparisons.h"

#include "stats/RankTests.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Tervane3 {

std::vector<double> familyThresholds(const QString& method, double alpha, const std::vector<double>& pValues)
{
    return familyThresholds(method, alpha, pValues, pValues.size());
}

std::vector<double> familyThresholds(const QString& method, double alpha, const std::vector<double>& pValues,
                                     size_t tests)
{
    const size_t given = pValues.size();
    const size_t m = std::max(tests, given);
    std::vector<double> thresholds(given, alpha);
    if (m <= 1)
        return thresholds;
    if (method == QLatin1String("Bonferroni")) {
        std::fill(thresholds.begin(), thresholds.end(), alpha / static_cast<double>(m));
        return thresholds;
    }
    if (method != QLatin1String("Holm-Bonferroni"))
        return thresholds;

    std::vector<size_t> order(given);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return pValues[a] < pValues[b]; });
    bool stopped = false;
    size_t rank = 0;
    while (rank < given) {
        // One group of equal p values, judged against the threshold of its first rank.
        size_t end = rank + 1;
        while (end < given && pValues[order[end]] == pValues[order[rank]])
            ++end;
        const double threshold = stopped ? 0.0 : alpha / static_cast<double>(m - rank);
        for (size_t i = rank; i < end; ++i)
            thresholds[order[i]] = threshold;
        if (!(pValues[order[rank]] < threshold))
            stopped = true;
        rank = end;
    }
    return thresholds;
}

QString significanceStars(double p, double threshold)
{
    if (p < threshold / 100.0)
        return QStringLiteral("***");
    if (p < threshold / 10.0)
        return QStringLiteral("**");
    if (p < threshold)
        return QStringLiteral("*");
    return QStringLiteral("ns");
}

double minimumWilcoxonP(int n)
{
    if (minimumWilcoxonPIsExact(n))
        return std::min(1.0, std::ldexp(2.0, -n));
    const double nd = n;
    const double mu = nd * (nd + 1.0) / 4.0;
    const double sigma = std::sqrt(nd * (nd + 1.0) * (2.0 * nd + 1.0) / 24.0);
    return std::erfc(mu / sigma / std::sqrt(2.0));
}

bool minimumWilcoxonPIsExact(int n)
{
    return n >= 0 && n <= wilcoxonExactMaxSize;
}

QString minimumWilcoxonPPhrase(int n)
{
    const QString p = QString::number(minimumWilcoxonP(n), 'g', 3);
    if (minimumWilcoxonPIsExact(n))
        return QStringLiteral("(exact Wilcoxon) is ") + p;
    return QStringLiteral("(Wilcoxon) is ≈") + p;
}

} // namespace Tervane3
