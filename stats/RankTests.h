// Non-parametric rank tests on short lists of per-dataset summary values: Friedman and
// Wilcoxon signed-rank for matched designs, Kruskal-Wallis and Mann-Whitney U for
// independent ones. The two-sample tests take their p value from the exact null
// distribution at the small sizes where the normal approximation is plainly off (the sizes
// of scipy's method="auto", 1.10), given the pattern of tied values, so ties change the
// distribution, not the method; elsewhere normal and chi-square approximations, without tie
// or continuity correction. Stateless.
#pragma once

#include <vector>

namespace Tervane3 {

struct RankTestResult
{
    double statistic = 0.0; // Friedman Q, Kruskal-Wallis H, Mann-Whitney U, Wilcoxon W
    double pValue = 1.0;    // two-sided, within 0..1
    bool valid = false;     // false when the input is below the test's minimum sizes
    bool exact = false;     // pValue from the exact null distribution, not an approximation
};

// Mann-Whitney U is exact when the smaller list holds at most this many values.
constexpr int mannWhitneyExactMaxSize = 8;
// Wilcoxon signed-rank is exact with at most this many non-zero differences.
constexpr int wilcoxonExactMaxSize = 50;

// 1-based ranks, ties averaged (runs of exactly equal values). NaN values sort last and
// each NaN forms a run of its own, so the walk always ends.
std::vector<double> midRanks(const std::vector<double>& values);

// samples[j][i]: value of category j for matched subject i. Needs k >= 2 lists of the same
// length n >= 3; chi-square upper tail with k - 1 degrees of freedom.
RankTestResult friedmanTest(const std::vector<std::vector<double>>& samples);
// One list per category, k >= 2 lists of at least 3 values each.
RankTestResult kruskalWallisTest(const std::vector<std::vector<double>>& groups);
// U = min(U1, n1 n2 - U1); at least 3 values in each list. Exact: over every split of the
// pooled mid-ranks, p = 2 x the smaller of P(U1' <= U1) and P(U1' >= U1), at most 1 (with
// ties the two tails differ).
RankTestResult mannWhitneyUTest(const std::vector<double>& x, const std::vector<double>& y);
// Matched differences; exact zeros are dropped, at least 3 must remain. W = min(W+, W-).
// Exact: over every sign pattern of the mid-ranks of the magnitudes, p = 2 P(W' <= W), at
// most 1.
RankTestResult wilcoxonSignedRankTest(const std::vector<double>& differences);

// erfc(|z| / sqrt 2), clamped to 0..1.
double twoSidedNormalP(double z);
// The regularised upper incomplete gamma function Q(a, x) by series (x < a + 1) or
// continued fraction, with a Lanczos log-gamma; 1 for x <= 0; clamped to 0..1.
double upperIncompleteGammaQ(double a, double x);

} // namespace Tervane3
