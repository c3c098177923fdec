// Robust standardiser, PCA and its eigen-solver: closed forms, hand-made cases and values
// from scikit-learn (tools/dimred/reference_values.py).
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "core/ParallelFor.h"
#include "dimred/DimRedModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Tervane3;
using Tervane3::Test::makeMatrix;
namespace TD = Tervane3::Test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(MedianInPlace, Cases)
{
    const struct
    {
        std::vector<double> values;
        double median;
    } cases[] = {
        {{3, 1, 2, 4}, 2.5},
        {{5}, 5},
        {{}, 0},
        {{9, -1, 4}, 4},
        {{2, 2, 7, 7, 7, 1}, 4.5},
    };
    for (const auto& c : cases) {
        std::vector<double> v = c.values;
        EXPECT_EQ(medianInPlace(v), c.median);
    }
}

TEST(RobustScaler, FallsBackFromMadToStandardDeviationToOne)
{
    // Column 0: ordinary (median 3, MAD 1). Column 1: more than half equal, so MAD 0 but a
    // spread: the sample SD. Column 2: constant.
    const DimRedMatrix X = makeMatrix(5, 3, {1, 5, 7, 2, 5, 7, 3, 5, 7, 4, 5, 7, 5, 10, 7});
    const RobustScaler s = DimRedModel::fitScaler(X, {"a", "b", "c"});
    ASSERT_EQ(s.center.size(), 3u);
    EXPECT_EQ(s.center[0], 3.0);
    EXPECT_DOUBLE_EQ(s.scale[0], 1.4826);
    EXPECT_EQ(s.center[1], 5.0);
    EXPECT_DOUBLE_EQ(s.scale[1], std::sqrt(20.0 / 4.0)); // mean 6, deviations -1 x4 and 4
    EXPECT_EQ(s.center[2], 7.0);
    EXPECT_EQ(s.scale[2], 1.0);
    EXPECT_EQ(s.degenerateFeatures, std::vector<std::string>{"c"});

    const DimRedMatrix Z = DimRedModel::standardize(s, X);
    ASSERT_EQ(Z.data.size(), 15u);
    EXPECT_DOUBLE_EQ(Z.data[0], -2.0 / 1.4826);
    EXPECT_EQ(Z.data[2], 0.0); // constant column: x - median
}

TEST(RobustScaler, MismatchesGiveEmptyResults)
{
    const DimRedMatrix X = makeMatrix(3, 2, {1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(DimRedModel::fitScaler(X, {"a"}).center.empty());
    EXPECT_TRUE(DimRedModel::fitScaler(DimRedMatrix{}, {}).scale.empty());
    RobustScaler s;
    s.center = {0, 0, 0};
    s.scale = {1, 1, 1};
    EXPECT_EQ(DimRedModel::standardize(s, X).rows, 0u);
    // Non-finite values pass through, no row is dropped.
    const DimRedMatrix Y = makeMatrix(2, 2, {kNaN, 1, 2, std::numeric_limits<double>::infinity()});
    s.center = {0, 0};
    s.scale = {2, 2};
    const DimRedMatrix Z = DimRedModel::standardize(s, Y);
    EXPECT_TRUE(std::isnan(Z.data[0]));
    EXPECT_TRUE(std::isinf(Z.data[3]));
}

void expectComponents(const DimRedModel& m, const std::vector<double>& c1, const std::vector<double>& c2,
                      double e1, double e2, double tol)
{
    ASSERT_TRUE(m.fitted);
    for (size_t i = 0; i < c1.size(); ++i) {
        EXPECT_NEAR(m.component1[i], c1[i], tol) << i;
        EXPECT_NEAR(m.component2[i], c2[i], tol) << i;
    }
    EXPECT_NEAR(m.explained1, e1, tol);
    EXPECT_NEAR(m.explained2, e2, tol);
}

TEST(Pca, AgreesWithScikitLearnAboutTheMeanOfTheStandardisedRows)
{
    // The median of (-3, 4, -2, 3, -2) is -2 and of (-3, 2, 2, 1, 7) is 2: centring on the
    // median instead of the mean would give component 1 = (1, 0), explained 0.5487.
    const DimRedMatrix five = makeMatrix(5, 2, {-3, -3, 4, 2, -2, 2, 3, 1, -2, 7});
    const DimRedModel m = DimRedModel::fitPca(five, {"x", "y"});
    expectComponents(m, {0.2116996959579724, 0.9773347628787702}, {0.9773347628787702, -0.2116996959579724},
                     0.5520820947137697, 0.44791790528623027, 1e-12);
    EXPECT_EQ(m.center, (std::vector<double>{-2, 2}));
    EXPECT_EQ(m.fitEventCount, 5u);

    const DimRedModel big = DimRedModel::fitPca(TD::pcaMatrix(), {"a", "b", "c", "d"});
    expectComponents(big, {0.6125549581139909, 0.6790367101781192, -0.09790289502998034, 0.39255648340741134},
                     {0.05396232810733494, 0.05746932583803561, 0.9947998120579105, 0.06448781018537071},
                     0.42051087580495783, 0.35359640210078963, 1e-10);
    const double scale[] = {0.3744681562777488, 0.2403292413357394, 1.4620994074013502, 0.33634320507348664};
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR_REL(big.scale[c], scale[c], 1e-12);
}

TEST(Pca, ComponentsAreOrthonormalWithAPositiveLargestLoading)
{
    const DimRedModel m = DimRedModel::fitPca(TD::pcaMatrix(), {"a", "b", "c", "d"});
    double n1 = 0, n2 = 0, d12 = 0;
    for (int c = 0; c < 4; ++c) {
        n1 += m.component1[c] * m.component1[c];
        n2 += m.component2[c] * m.component2[c];
        d12 += m.component1[c] * m.component2[c];
    }
    EXPECT_NEAR(n1, 1.0, 1e-12);
    EXPECT_NEAR(n2, 1.0, 1e-12);
    EXPECT_NEAR(d12, 0.0, 1e-12);
    for (const auto* comp : {&m.component1, &m.component2}) {
        double best = 0;
        for (double v : *comp)
            best = std::fabs(v) > std::fabs(best) ? v : best;
        EXPECT_GT(best, 0.0);
    }
}

TEST(Pca, PerfectlyCorrelatedFeaturesExplainEverything)
{
    // y = -2x: one direction carries all variance. Standardised, both loadings have the
    // same magnitude, so the first one decides the sign and comes out positive.
    std::vector<double> data;
    for (int i = 0; i < 20; ++i)
        data.insert(data.end(), {double(i), -2.0 * i});
    const DimRedModel m = DimRedModel::fitPca(makeMatrix(20, 2, data), {"x", "y"});
    ASSERT_TRUE(m.fitted);
    EXPECT_NEAR(m.explained1, 1.0, 1e-12);
    EXPECT_NEAR(m.explained2, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(m.component1[0], std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(m.component1[1], -std::sqrt(0.5));
}

TEST(Pca, PreconditionsGiveAnUnfittedModel)
{
    const struct
    {
        const char* name;
        DimRedMatrix X;
        std::vector<std::string> features;
    } cases[] = {
        {"two rows", makeMatrix(2, 2, {1, 2, 3, 5}), {"a", "b"}},
        {"one feature", makeMatrix(4, 1, {1, 2, 3, 4}), {"a"}},
        {"names do not match", makeMatrix(3, 2, {1, 2, 3, 5, 4, 4}), {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(DimRedModel::fitPca(c.X, c.features).fitted);
    }
}

TEST(Pca, ProjectLeavesNaNForNonFiniteRowsAndUnfittedModels)
{
    const DimRedMatrix five = makeMatrix(5, 2, {-3, -3, 4, 2, -2, 2, 3, 1, -2, 7});
    const DimRedModel m = DimRedModel::fitPca(five, {"x", "y"});
    const DimRedMatrix Y = makeMatrix(3, 2, {-2, 2, 1, kNaN, 4, 2});
    std::vector<double> d1, d2;
    m.project(Y, d1, d2);
    ASSERT_EQ(d1.size(), 3u);
    EXPECT_EQ(d1[0], 0.0); // the median itself
    EXPECT_TRUE(std::isnan(d1[1]) && std::isnan(d2[1]));
    const double z0 = 6.0 / 1.4826, z1 = 0.0;
    EXPECT_DOUBLE_EQ(d1[2], z0 * m.component1[0] + z1 * m.component1[1]);
    EXPECT_DOUBLE_EQ(d2[2], z0 * m.component2[0] + z1 * m.component2[1]);

    DimRedModel unfitted;
    unfitted.project(Y, d1, d2);
    EXPECT_EQ(d1.size(), 3u);
    EXPECT_TRUE(std::isnan(d1[0]) && std::isnan(d2[2]));
    m.project(makeMatrix(1, 3, {1, 2, 3}), d1, d2); // wrong column count
    EXPECT_TRUE(std::isnan(d1[0]));
}

TEST(Pca, SameResultOnOneThreadAndMany)
{
    // 40,000 rows span several row blocks of the covariance sums.
    TD::SplitMix r(3);
    std::vector<double> data(40000 * 3);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = r.uniform() * (1 + i % 3) + (i % 3 == 2 ? data[i - 2] : 0.0);
    const DimRedMatrix X = makeMatrix(40000, 3, data);
    setWorkerThreadLimit(1);
    const DimRedModel one = DimRedModel::fitPca(X, {"a", "b", "c"});
    setWorkerThreadLimit(0);
    const DimRedModel many = DimRedModel::fitPca(X, {"a", "b", "c"});
    EXPECT_EQ(one.component1, many.component1);
    EXPECT_EQ(one.component2, many.component2);
    EXPECT_EQ(one.explained1, many.explained1);
    EXPECT_EQ(one.scale, many.scale);
}

TEST(JacobiEigenSymmetric, DecomposesAKnownMatrix)
{
    // Eigenvalues of [[2,1,0],[1,2,1],[0,1,2]]: 2 - sqrt2, 2, 2 + sqrt2.
    std::vector<double> A = {2, 1, 0, 1, 2, 1, 0, 1, 2};
    const std::vector<double> original = A;
    std::vector<double> values, vectors;
    jacobiEigenSymmetric(A, 3, values, vectors);
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(sorted[0], 2 - std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(sorted[1], 2.0, 1e-12);
    EXPECT_NEAR(sorted[2], 2 + std::sqrt(2.0), 1e-12);
    for (int k = 0; k < 3; ++k) { // A v = lambda v, column k
        for (int r = 0; r < 3; ++r) {
            double av = 0;
            for (int c = 0; c < 3; ++c)
                av += original[r * 3 + c] * vectors[c * 3 + k];
            EXPECT_NEAR(av, values[k] * vectors[r * 3 + k], 1e-12);
        }
    }
}

} // namespace
