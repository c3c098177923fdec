// Non-parametric rank tests on short lists of per-dataset summary values: Friedman and
// Wilcoxon signed-rank for matched designs, Kruskal-Wallis and Mann-Whitney U for
// independent ones. Normal and chi-square approximations throughout: no exact small-sample
// tables, no tie correction of the variance, no continuity correction. Stateless.
#pragma once

#include <vector>

namespace Tervane3 {

struct RankTestResult
{
    double statistic = 0.0; // Friedman Q, Kruskal-Wallis H, Mann-Whitney U, Wilcoxon W
    double pValue = 1.0;    // two-sided, within 0..1
    bool valid = false;     // false when the input is below the test's minimum sizes
};

// 1-based ranks, ties averaged (runs of exactly equal values). NaN values sort last and
// each NaN forms a run of its own, so the walk always ends.
std::vector<double> midRanks(const std::vector<double>& values);

// samples[j][i]: value of category j for matched subject i. Needs k >= 2 lists of the same
// length n >= 3; chi-square upper tail with k - 1 degrees of freedom.
RankTestResult friedmanTest(const std::vector<std::vector<double>>& samples);
// One list per category, k >= 2 lists of at least 3 values each.
RankTestResult kruskalWallisTest(const std::vector<std::vector<double>>& groups);
// U = min(U1, n1 n2 - U1); at least 3 values in each list.
RankTestResult mannWhitneyUTest(const std::vector<double>& x, const std::vector<double>& y);
// Matched differences; exact zeros are dropped, at least 3 must remain. W = min(W+, W-).
RankTestResult wilcoxonSignedRankTest(const std::vector<double>& differences);

// erfc(|z| / sqrt 2), clamped to 0..1.
double twoSidedNormalP(double z);
// The regularised upper incomplete gamma function Q(a, x) by series (x < a + 1) or
// continued fraction, with a Lanczos log-gamma; 1 for x <= 0; clamped to 0..1.
double upperIncompleteGammaQ(double a, double x);

} // namespace Tervane3
