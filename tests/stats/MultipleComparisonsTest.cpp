// Corrections of a family of p values (hand-computed thresholds; statsmodels is not
// installed here), the star classes and the smallest reachable Wilcoxon p value.
#include "stats/MultipleComparisons.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

TEST(MultipleComparisonsTest, FamilyThresholds)
{
    struct Case
    {
        std::string name;
        QString method;
        double alpha;
        std::vector<double> p;
        std::vector<double> thresholds;
        std::vector<QString> stars;
        size_t tests = 0; // planned tests when more than the p values
    };
    const std::vector<Case> cases = {
        {"Bonferroni", "Bonferroni", 0.06, {0.01, 0.04, 0.03}, {0.02, 0.02, 0.02}, {"*", "ns", "ns"}},
        {"single test keeps alpha", "Bonferroni", 0.05, {0.03}, {0.05}, {"*"}},
        {"empty family", "Holm-Bonferroni", 0.05, {}, {}, {}},
        {"no correction", "None (discouraged)", 0.05, {0.01, 0.04}, {0.05, 0.05}, {"*", "*"}},
        {"unknown text", "bonferroni", 0.05, {0.01, 0.04}, {0.05, 0.05}, {"*", "*"}},
        // Regression: Holm stops at the first p not below its threshold (0.03 against
        // 0.03), so the larger 0.04 cannot pass against alpha / 1.
        {"Holm stops", "Holm-Bonferroni", 0.06, {0.01, 0.04, 0.03}, {0.02, 0.0, 0.03}, {"*", "ns", "ns"}},
        {"Holm all pass", "Holm-Bonferroni", 0.06, {0.001, 0.025, 0.015}, {0.02, 0.06, 0.03}, {"**", "*", "*"}},
        {"Holm first fails", "Holm-Bonferroni", 0.05, {0.03, 0.001, 0.04}, {0.025, 0.05 / 3, 0.0}, {"ns", "**", "ns"}},
        // Regression: equal p values share the first one's threshold, whatever their order,
        // so their verdicts agree.
        {"Holm ties", "Holm-Bonferroni", 0.06, {0.025, 0.01, 0.025}, {0.03, 0.02, 0.03}, {"*", "*", "*"}},
        {"Holm tie at the stop", "Holm-Bonferroni", 0.06, {0.04, 0.04, 0.001, 0.05}, {0.02, 0.02, 0.015, 0.0},
         {"ns", "ns", "**", "ns"}},
        // Tests without a p value (not computable) still count in m.
        {"Bonferroni over planned tests", "Bonferroni", 0.06, {0.01, 0.04}, {0.02, 0.02}, {"*", "ns"}, 3},
        {"one p of two tests", "Bonferroni", 0.05, {0.03}, {0.025}, {"ns"}, 2},
        {"Holm over planned tests", "Holm-Bonferroni", 0.06, {0.025, 0.01}, {0.03, 0.02}, {"*", "*"}, 3},
        {"none over planned tests", "None (discouraged)", 0.05, {0.03}, {0.05}, {"*"}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> thresholds
            = c.tests ? familyThresholds(c.method, c.alpha, c.p, c.tests) : familyThresholds(c.method, c.alpha, c.p);
        ASSERT_EQ(thresholds.size(), c.thresholds.size());
        for (size_t i = 0; i < thresholds.size(); ++i) {
            EXPECT_NEAR(thresholds[i], c.thresholds[i], 1e-15) << i;
            EXPECT_EQ(significanceStars(c.p[i], thresholds[i]), c.stars[i]) << i;
        }
    }
}

TEST(MultipleComparisonsTest, StarsFallToTheNextClassAtEachLimit)
{
    const std::vector<std::pair<double, QString>> cases = {
        {0.004, "***"}, {0.005, "**"}, {0.049, "**"}, {0.05, "*"}, {0.4, "*"}, {0.5, "ns"}, {0.9, "ns"}};
    for (const auto& [p, stars] : cases)
        EXPECT_EQ(significanceStars(p, 0.5), stars) << p;
}

TEST(MultipleComparisonsTest, MinimumWilcoxonP)
{
    // Up to 50 subjects the signed-rank test is exact: W = 0 is 2 of the 2^n sign patterns.
    // Regression: five subjects gave the approximation's 0.0431, below 0.05; exactly 0.0625.
    struct Case
    {
        int n;
        double p;
        bool exact;
        QString phrase;
    };
    const std::vector<Case> cases = {
        {1, 1.0, true, QStringLiteral("(exact Wilcoxon) is 1")},
        {4, 0.125, true, QStringLiteral("(exact Wilcoxon) is 0.125")},
        {5, 0.0625, true, QStringLiteral("(exact Wilcoxon) is 0.0625")},
        {6, 0.03125, true, QStringLiteral("(exact Wilcoxon) is 0.0313")},
        {50, std::ldexp(1.0, -49), true, QStringLiteral("(exact Wilcoxon) is 1.78e-15")},
        // erfc(mu / sigma / sqrt 2), mu = 51 * 52 / 4 = 663, sigma^2 = 51 * 52 * 103 / 24 = 11381.5.
        {51, std::erfc(663.0 / std::sqrt(11381.5) / std::sqrt(2.0)), false, QStringLiteral("(Wilcoxon) is ≈5.15e-10")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_NEAR_REL(minimumWilcoxonP(c.n), c.p, 1e-12);
        EXPECT_EQ(minimumWilcoxonPIsExact(c.n), c.exact);
        EXPECT_EQ(minimumWilcoxonPPhrase(c.n), c.phrase);
    }
}

} // namespace
