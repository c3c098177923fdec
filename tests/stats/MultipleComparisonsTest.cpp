// Corrections of a family of p values (hand-computed thresholds; statsmodels is not
// installed here), the star classes and the smallest reachable Wilcoxon p value.
#include "stats/MultipleComparisons.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> thresholds = familyThresholds(c.method, c.alpha, c.p);
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
    EXPECT_NEAR_REL(minimumWilcoxonP(4), 0.06788915486182903, 1e-12);
    EXPECT_NEAR_REL(minimumWilcoxonP(5), 0.04311444678307538, 1e-12);
}

} // namespace
