// Multiple-comparison corrections over one family of p values, and the star classes of a
// p value against its threshold.
#pragma once

#include <QString>

#include <vector>

namespace Tervane3 {

// The threshold each p value of the family of m tests is judged against, in the order given:
// - "Bonferroni" with more than one test: alpha / m for every entry;
// - "Holm-Bonferroni" with more than one: the step-down procedure. In ascending p order
//   the entry at rank r gets alpha / (m - r); equal p values share the threshold of the
//   first of them. At the first p value not below its threshold the procedure stops: that
//   entry (and its ties) keep their threshold, every later entry gets 0, so its verdict is
//   "ns" whatever its p value. Verdicts are therefore monotone in p;
// - anything else (no correction, or a single test): alpha.
// m is `tests`, the number of tests planned (at least the number of p values): a test that
// could not be computed has no p value but still counts, so the threshold does not depend
// on the data and matches the number of tests named before the run. Without p values such
// tests take the last ranks of Holm's order.
std::vector<double> familyThresholds(const QString& method, double alpha, const std::vector<double>& pValues,
                                     size_t tests);
// Every test of the family has its p value.
std::vector<double> familyThresholds(const QString& method, double alpha, const std::vector<double>& pValues);

// "***" below threshold / 100, "**" below threshold / 10, "*" below threshold, else "ns"
// (all comparisons strict).
QString significanceStars(double p, double threshold);

// The two-sided p value of the most extreme signed-rank result (W = 0) with n matched
// observations: the smallest p a Wilcoxon test on n subjects can give. By the test's own
// rule: exactly 2 / 2^n up to 50 subjects, else the normal approximation.
double minimumWilcoxonP(int n);
// Whether minimumWilcoxonP(n) comes from the exact null distribution.
bool minimumWilcoxonPIsExact(int n);
// "(exact Wilcoxon) is 0.125" or "(Wilcoxon) is ≈0.0679": the end of the sentences that
// give the minimum to the user, p with 3 significant digits.
QString minimumWilcoxonPPhrase(int n);

} // namespace Tervane3
