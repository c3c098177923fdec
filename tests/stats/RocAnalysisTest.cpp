// ROC curves and the LDA combination on hand-computed cases; the agreement with
// scikit-learn on random cases is checked by RocSklearnTest.
#include "stats/RocAnalysis.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QString>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

struct CurveCase
{
    std::string name;
    std::vector<double> negatives, positives;
    std::vector<double> fpr, tpr, thresholds;
    double auc;
    double optimalThreshold, sensitivity, specificity;
    bool higherIsPositive;
};

TEST(RocAnalysisTest, Curves)
{
    const double third = 1.0 / 3.0;
    const std::vector<CurveCase> cases = {
        {"separated", {1, 2, 3}, {4, 5, 6},
         {0, 0, 0, 0, third, 2 * third, 1}, {0, third, 2 * third, 1, 1, 1, 1}, {7, 6, 5, 4, 3, 2, 1},
         1.0, 4, 1, 1, true},
        // The first pass gives AUC 0: the negated values are used, thresholds given back.
        {"reversed", {4, 5, 6}, {1, 2, 3},
         {0, 0, 0, 0, third, 2 * third, 1}, {0, third, 2 * third, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6},
         1.0, 3, 1, 1, false},
        // A tie between the classes gives one diagonal step.
        {"tie", {1, 2, 2}, {2, 3, 4},
         {0, 0, 0, 2 * third, 1}, {0, third, 2 * third, 1, 1}, {5, 4, 3, 2, 1},
         8.0 / 9.0, 3, 2 * third, 1, true},
        {"identical", {1, 2, 3}, {1, 2, 3},
         {0, third, 2 * third, 1}, {0, third, 2 * third, 1}, {4, 3, 2, 1},
         0.5, 4, 0, 1, true},
    };
    for (const CurveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RocResult r = computeRoc(c.negatives, c.positives);
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.higherIsPositive, c.higherIsPositive);
        ASSERT_EQ(r.fpr.size(), c.fpr.size());
        ASSERT_EQ(r.tpr.size(), c.tpr.size());
        ASSERT_EQ(r.thresholds.size(), c.thresholds.size());
        for (size_t i = 0; i < r.fpr.size(); ++i) {
            EXPECT_NEAR(r.fpr[i], c.fpr[i], 1e-15) << i;
            EXPECT_NEAR(r.tpr[i], c.tpr[i], 1e-15) << i;
            EXPECT_EQ(r.thresholds[i], c.thresholds[i]) << i;
        }
        EXPECT_NEAR(r.auc, c.auc, 1e-15);
        EXPECT_EQ(r.optimalThreshold, c.optimalThreshold);
        EXPECT_NEAR(r.sensitivity, c.sensitivity, 1e-15);
        EXPECT_NEAR(r.specificity, c.specificity, 1e-15);
        EXPECT_EQ(r.negativeCount, 3);
        EXPECT_EQ(r.positiveCount, 3);
    }
}

TEST(RocAnalysisTest, ZeroThresholdOfAFlippedCurveIsPositiveZero)
{
    // Regression: the flipped direction gave back -0 (shown as "-0").
    const RocResult r = computeRoc({4, 5, 6}, {1, 2, 3});
    ASSERT_FALSE(r.thresholds.empty());
    EXPECT_FALSE(std::signbit(r.thresholds.front()));
    EXPECT_EQ(QString::number(r.thresholds.front(), 'g', 4), QStringLiteral("0"));
    const RocResult zeroOptimal = computeRoc({1, 2, 3}, {-2, -1, 0});
    EXPECT_EQ(zeroOptimal.optimalThreshold, 0.0);
    EXPECT_FALSE(std::signbit(zeroOptimal.optimalThreshold));
}

TEST(RocAnalysisTest, EmptyClassAndNaN)
{
    const RocResult empty = computeRoc({}, {1, 2});
    EXPECT_FALSE(empty.valid);
    EXPECT_EQ(empty.auc, 0.5);
    EXPECT_EQ(empty.positiveCount, 2);
    EXPECT_EQ(empty.negativeCount, 0);
    EXPECT_TRUE(empty.higherIsPositive);
    // A NaN must not stall the walk over runs of equal values.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const RocResult withNan = computeRoc({1, nan, 2}, {3, nan, 4});
    EXPECT_TRUE(withNan.valid);
    EXPECT_EQ(withNan.fpr.size(), withNan.tpr.size());
}

TEST(RocAnalysisTest, LdaSingularScatterGivesEqualWeights)
{
    // Two identical features: S is singular.
    const std::vector<double> neg = {1, 2, 3, 4};
    const std::vector<double> pos = {3, 5, 6, 7};
    const LdaRocResult same = computeLdaRoc({neg, neg}, {pos, pos}, {"a", "b"});
    EXPECT_EQ(same.weights, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(same.featureKeys, (std::vector<std::string>{"a", "b"}));
    const RocResult single = computeRoc(neg, pos);
    EXPECT_EQ(same.roc.auc, single.auc);
    EXPECT_EQ(same.roc.fpr, single.fpr);
    // A feature constant in both classes.
    const LdaRocResult constant = computeLdaRoc({neg, {2, 2, 2, 2}, neg}, {pos, {2, 2, 2, 2}, pos}, {"a", "b", "c"});
    EXPECT_EQ(constant.weights, std::vector<double>(3, 1.0 / 3.0));
    // Nothing to combine.
    EXPECT_FALSE(computeLdaRoc({}, {}, {}).roc.valid);
    EXPECT_FALSE(computeLdaRoc({{}}, {{1.0}}, {"a"}).roc.valid);
}

TEST(RocAnalysisTest, LdaSolvesThePooledScatter)
{
    // Hand-solved: feature a separates, b is noise correlated with a.
    const std::vector<std::vector<double>> neg = {{0, 1, 2}, {0, 2, 1}};
    const std::vector<std::vector<double>> pos = {{3, 4, 5}, {1, 3, 2}};
    // Means: neg (1, 1), pos (4, 2); S = [[4, 2], [2, 4]]; S w = (3, 1) gives w = (5/6, -1/6).
    const LdaRocResult lda = computeLdaRoc(neg, pos, {"a", "b"});
    ASSERT_EQ(lda.weights.size(), 2u);
    EXPECT_NEAR_REL(lda.weights[0], 5.0 / 6.0, 1e-14);
    EXPECT_NEAR_REL(lda.weights[1], -1.0 / 6.0, 1e-14);
    EXPECT_EQ(lda.roc.auc, 1.0);
}

} // namespace
