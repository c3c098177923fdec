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

// A mid-rank doubled: always an integer, (first + last position) of its run.
long long doubled(double rank)
{
    return std::llround(2.0 * rank);
}

// The two-sided exact p value of Mann-Whitney U given the tie pattern of the pooled values:
// the distribution of U over all C(N, m) ways to choose which m of the pooled values form
// the smaller list (m = its size, n the other's), with the observed mid-ranks.
//
// Counted in doubled units (2U = 2 #{X > Y} + #{X = Y}, an integer) over the runs of tied
// values in rank order: choosing c of a run of t values for X, with j values of X among the
// `before` values below the run, adds c (2 (before - j) + t - c) to 2U, in C(t, c) ways.
// counts[j][v] is the number of choices of j values of X so far with 2U = v. Only the tail
// on the observed side of the mean mn/2 is counted (v up to the observed value; the runs
// walked downwards for the upper tail), so the cost is that of the untied recursion; the
// other tail is 1 - this tail + P(2U = observed). Without ties (or with runs of odd length
// only) every step is even and the count runs in units of U. Counts beyond 2^53 are rounded
// like any double; the p value keeps about 13 significant digits.
double mannWhitneyExactP(const std::vector<double>& ranks, size_t n1, size_t n2)
{
    const bool firstSmaller = n1 <= n2;
    const size_t m = firstSmaller ? n1 : n2;
    const size_t n = firstSmaller ? n2 : n1;
    const size_t offset = firstSmaller ? 0 : n1;
    long long rankSum = 0;
    for (size_t i = offset; i < offset + m; ++i)
        rankSum += doubled(ranks[i]);
    const long long twiceU = rankSum - static_cast<long long>(m * (m + 1));
    const long long twiceMn = 2 * static_cast<long long>(m * n);

    std::vector<double> sorted(ranks);
    std::sort(sorted.begin(), sorted.end());
    std::vector<size_t> runs;
    bool allOdd = true;
    for (size_t i = 0; i < sorted.size();) {
        size_t j = i + 1;
        while (j < sorted.size() && sorted[j] == sorted[i])
            ++j;
        runs.push_back(j - i);
        allOdd = allOdd && (j - i) % 2 == 1;
        i = j;
    }
    const bool lowerSide = 2 * twiceU <= twiceMn;
    if (!lowerSide)
        std::reverse(runs.begin(), runs.end());
    const long long unit = allOdd ? 2 : 1;
    const size_t bound = static_cast<size_t>((lowerSide ? twiceU : twiceMn - twiceU) / unit);

    std::vector<std::vector<double>> counts(m + 1, std::vector<double>(bound + 1, 0.0));
    counts[0][0] = 1.0;
    size_t before = 0;
    for (const size_t t : runs) {
        // With more than `bound` values of Y below the run, a value of X in it adds more than
        // the bound.
        const size_t lowest = before > bound ? before - bound : 0;
        for (size_t j = std::min(m, before) + 1; j-- > lowest;) {
            for (size_t c = 1; c <= t && j + c <= m; ++c) {
                const size_t step = static_cast<size_t>(
                    static_cast<long long>(c) * (2 * static_cast<long long>(before - j) + static_cast<long long>(t - c))
                    / unit);
                if (step > bound)
                    continue;
                const double ways = binomial(t, c);
                const std::vector<double>& from = counts[j];
                std::vector<double>& to = counts[j + c];
                for (size_t v = 0; v + step <= bound; ++v)
                    to[v + step] += ways * from[v];
            }
        }
        before += t;
    }
    const double total = binomial(m + n, m);
    const double tail = std::accumulate(counts[m].begin(), counts[m].end(), 0.0) / total;
    const double other = 1.0 - tail + counts[m][bound] / total;
    return std::min(1.0, 2.0 * std::min(tail, other));
}

// The two-sided exact p value of the signed-rank statistic W = min(W+, W-) given the tie
// pattern of the magnitudes: the sums of the doubled mid-ranks over all 2^n sign patterns
// (n <= 50, so the counts are exact in doubles), counted up to 2W only. Turning every sign
// round maps W+ to W-, so the distribution is symmetric also with ties, and the lower tail
// up to W, doubled, is the two-sided value whichever way round the differences were taken.
double signedRankExactP(const std::vector<double>& ranks, double w)
{
    const size_t bound = static_cast<size_t>(doubled(w));
    std::vector<double> counts(bound + 1, 0.0);
    counts[0] = 1.0;
    for (const double rank : ranks) {
        const size_t step = static_cast<size_t>(doubled(rank));
        for (size_t s = bound + 1; s-- > step;)
            counts[s] += counts[s - step];
    }
    const double tail = std::accumulate(counts.begin(), counts.end(), 0.0);
    return std::min(1.0, 2.0 * tail / std::ldexp(1.0, static_cast<int>(ranks.size())));
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
    // The runs of ties are read from the ranks, which stay ordered whatever NaN the values hold.
    if (static_cast<int>(std::min(n1, n2)) <= mannWhitneyExactMaxSize)
        return {u, mannWhitneyExactP(ranks, n1, n2), true, true};
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
    if (static_cast<int>(n) <= wilcoxonExactMaxSize)
        return {w, signedRankExactP(ranks, w), true, true};
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
