// Rank tests. Every test ranks with midRanks and converts its statistic to a p value with
// the exact null distribution (the two-sample tests at small sizes) or the normal or
// chi-square upper tail; the lists hold a few dozen values at most, so the functions sort
// and allocate freely.
#include "stats/RankTests.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Tervane3 {

namespace {

double clamp01(double p)
{
    return std::isnan(p) ? p : std::min(std::max(p, 0.0), 1.0);
}

// ln Gamma(a) by the six-term Lanczos series (relative error near 1e-14 for the
// half-integer arguments the chi-square tails use).
double lnGamma(double a)
{
    const double ser = 1.000000000190015 + 76.18009172947146 / (a + 1) - 86.50532032941678 / (a + 2)
                       + 24.01409824083091 / (a + 3) - 1.231739572450155 / (a + 4)
                       + 0.001208650973866179 / (a + 5) - 5.395239384953e-6 / (a + 6);
    return std::log(2.5066282746310005 * ser / a) - ((a + 5.5) - (a + 0.5) * std::log(a + 5.5));
}

double chiSquareUpperTail(double statistic, int categories)
{
    if (statistic <= 0.0)
        return 1.0;
    return upperIncompleteGammaQ((categories - 1) / 2.0, statistic / 2.0);
}

// C(n, k) as a double; every partial product is itself a binomial coefficient, so the
// value is exact while it stays below 2^53.
double binomial(size_t n, size_t k)
{
    double r = 1.0;
    for (size_t i = 1; i <= k; ++i)
        r = r * static_cast<double>(n - k + i) / static_cast<double>(i);
    return r;
}

// P(U' <= u) for untied samples of m and n values under the null hypothesis. counts[j][v]
// is the number of orderings of j values of the first sample among n' of the second with
// U' = v; adding the n'-th value of the second sample gives
//   f(j, n', v) = f(j, n' - 1, v) + f(j - 1, n', v - n'),
// by whether the largest value belongs to the second sample or to the first (then it
// exceeds all n'). Only v <= u is kept: O(n m u) additions, no cancellation.
double mannWhitneyLowerTail(size_t m, size_t n, size_t u)
{
    std::vector<std::vector<double>> counts(m + 1, std::vector<double>(u + 1, 0.0));
    for (auto& c : counts)
        c[0] = 1.0;
    for (size_t k = 1; k <= n && k <= u; ++k)
        for (size_t j = 1; j <= m; ++j)
            for (size_t v = k; v <= u; ++v)
                counts[j][v] += counts[j - 1][v - k];
    const double tail = std::accumulate(counts[m].begin(), counts[m].end(), 0.0);
    return tail / binomial(m + n, m);
}

// The two-sided exact p value of the signed-rank statistic W = min(W+, W-) of n untied
// differences, from the sums of the ranks 1..n over all 2^n sign patterns (n <= 50, so the
// counts are exact in doubles). The null distribution is symmetric, so the lower tail up to
// W, doubled, is the two-sided value whichever way round the differences were taken.
double signedRankExactP(size_t n, double w)
{
    const size_t top = n * (n + 1) / 2;
    std::vector<double> counts(top + 1, 0.0);
    counts[0] = 1.0;
    for (size_t r = 1; r <= n; ++r)
        for (size_t s = r * (r + 1) / 2; s >= r; --s)
            counts[s] += counts[s - r];
    const size_t last = std::min(static_cast<size_t>(w), top);
    const double tail = std::accumulate(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(last) + 1, 0.0);
    return std::min(1.0, 2.0 * tail / std::ldexp(1.0, static_cast<int>(n)));
}

bool hasTies(std::vector<double> ranks)
{
    std::sort(ranks.begin(), ranks.end());
    return std::adjacent_find(ranks.begin(), ranks.end()) != ranks.end();
}

} // namespace

std::vector<double> midRanks(const std::vector<double>& values)
{
    const size_t n = values.size();
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t(0));
    // NaN after every number, so the ordering stays strict and weak.
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const double va = values[a];
        const double vb = values[b];
        if (std::isnan(va))
            return false;
        if (std::isnan(vb))
            return true;
        return va < vb;
    });
    std::vector<double> ranks(n);
    size_t start = 0;
    while (start < n) {
        // A run always advances by at least one position (a NaN is a run of its own).
        size_t end = start + 1;
        while (end < n && values[order[end]] == values[order[start]])
            ++end;
        const double rank = (static_cast<double>(start) + static_cast<double>(end) + 1.0) / 2.0;
        for (size_t i = start; i < end; ++i)
            ranks[order[i]] = rank;
        start = end;
    }
    return ranks;
}

RankTestResult friedmanTest(const std::vector<std::vector<double>>& samples)
{
    const size_t k = samples.size();
    if (k < 2)
        return {};
    const size_t n = samples.front().size();
    if (n < 3)
        return {};
    for (const auto& list : samples)
        if (list.size() != n)
            return {};

    std::vector<double> rankSums(k, 0.0);
    std::vector<double> subject(k);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < k; ++j)
            subject[j] = samples[j][i];
        const std::vector<double> ranks = midRanks(subject);
        for (size_t j = 0; j < k; ++j)
            rankSums[j] += ranks[j];
    }
    double sumSquares = 0.0;
    for (double r : rankSums)
        sumSquares += r * r;
    const double nd = static_cast<double>(n);
    const double kd = static_cast<double>(k);
    const double q = 12.0 / (nd * kd * (kd + 1.0)) * sumSquares - 3.0 * nd * (kd + 1.0);
    return {q, chiSquareUpperTail(q, static_cast<int>(k)), true};
}

RankTestResult kruskalWallisTest(const std::vector<std::vector<double>>& groups)
{
    const size_t k = groups.size();
    if (k < 2)
        return {};
    std::vector<double> pooled;
    for (const auto& group : groups) {
        if (group.size() < 3)
            return {};
        pooled.insert(pooled.end(), group.begin(), group.end());
    }
    const std::vector<double> ranks = midRanks(pooled);
    double sum = 0.0;
    size_t offset = 0;
    for (const auto& group : groups) {
        double rankSum = 0.0;
        for (size_t i = 0; i < group.size(); ++i)
            rankSum += ranks[offset + i];
        offset += group.size();
        sum += rankSum * rankSum / static_cast<double>(group.size());
    }
    const double total = static_cast<double>(pooled.size());
    const double h = 12.0 / (total * (total + 1.0)) * sum - 3.0 * (total + 1.0);
    return {h, chiSquareUpperTail(h, static_cast<int>(k)), true};
}

RankTestResult mannWhitneyUTest(const std::vector<double>& x, const std::vector<double>& y)
{
    const size_t n1 = x.size();
    const size_t n2 = y.size();
    if (n1 < 3 || n2 < 3)
        return {};
    std::vector<double> pooled(x);
    pooled.insert(pooled.end(), y.begin(), y.end());
    const std::vector<double> ranks = midRanks(pooled);
    const double r1 = std::accumulate(ranks.begin(), ranks.begin() + static_cast<std::ptrdiff_t>(n1), 0.0);
    const double a = static_cast<double>(n1);
    const double b = static_cast<double>(n2);
    const double u1 = r1 - a * (a + 1.0) / 2.0;
    const double u = std::min(u1, a * b - u1);
    // Ties are found in the ranks, which stay ordered whatever NaN the values hold.
    if (static_cast<int>(std::min(n1, n2)) <= mannWhitneyExactMaxSize && !hasTies(ranks)) {
        const double p = std::min(1.0, 2.0 * mannWhitneyLowerTail(std::min(n1, n2), std::max(n1, n2),
                                                                   static_cast<size_t>(u)));
        return {u, p, true, true};
    }
    const double sigma = std::sqrt(a * b * (a + b + 1.0) / 12.0);
    if (sigma < 1e-15)
        return {u, 1.0, true};
    return {u, twoSidedNormalP((u - a * b / 2.0) / sigma), true};
}

RankTestResult wilcoxonSignedRankTest(const std::vector<double>& differences)
{
    std::vector<double> nonZero;
    nonZero.reserve(differences.size());
    for (double d : differences)
        if (d != 0.0)
            nonZero.push_back(d);
    const size_t n = nonZero.size();
    if (n < 3)
        return {};
    std::vector<double> magnitudes(n);
    for (size_t i = 0; i < n; ++i)
        magnitudes[i] = std::fabs(nonZero[i]);
    const std::vector<double> ranks = midRanks(magnitudes);
    double plus = 0.0;
    double minus = 0.0;
    for (size_t i = 0; i < n; ++i)
        (nonZero[i] > 0.0 ? plus : minus) += ranks[i];
    const double w = std::min(minus, plus);
    // Tied magnitudes give half-integer rank sums that the exact table of untied ranks does
    // not hold; reading it anyway would make the p value depend on which category comes
    // first, so ties keep the approximation.
    if (nonZero.size() == differences.size() && static_cast<int>(n) <= wilcoxonExactMaxSize && !hasTies(ranks))
        return {w, signedRankExactP(n, w), true, true};
    const double nd = static_cast<double>(n);
    const double sigma = std::sqrt(nd * (nd + 1.0) * (2.0 * nd + 1.0) / 24.0);
    if (sigma < 1e-15)
        return {w, 1.0, true};
    return {w, twoSidedNormalP((w - nd * (nd + 1.0) / 4.0) / sigma), true};
}

double twoSidedNormalP(double z)
{
    return clamp01(std::erfc(std::fabs(z) / std::sqrt(2.0)));
}

double upperIncompleteGammaQ(double a, double x)
{
    if (x <= 0.0)
        return 1.0;
    const double gln = lnGamma(a);
    double q = 0.0;
    if (x < a + 1.0) {
        double ap = a;
        double term = 1.0 / a;
        double sum = term;
        for (int i = 0; i < 200; ++i) {
            ap += 1.0;
            term *= x / ap;
            sum += term;
            if (std::fabs(term) < std::fabs(sum) * 1e-14)
                break;
        }
        q = 1.0 - sum * std::exp(a * std::log(x) - x - gln);
    } else {
        const double tiny = 1e-30;
        double b = x + 1.0 - a;
        double c = 1.0 / tiny;
        double d = 1.0 / b;
        double h = d;
        for (int i = 1; i <= 200; ++i) {
            const double an = -i * (i - a);
            b += 2.0;
            d = an * d + b;
            if (std::fabs(d) < tiny)
                d = tiny;
            c = b + an / c;
            if (std::fabs(c) < tiny)
                c = tiny;
            d = 1.0 / d;
            const double delta = d * c;
            h *= delta;
            if (std::fabs(delta - 1.0) < 1e-14)
                break;
        }
        q = std::exp(a * std::log(x) - x - gln) * h;
    }
    return clamp01(q);
}

} // namespace Tervane3
