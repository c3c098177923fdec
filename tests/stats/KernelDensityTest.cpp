// The distribution explorer's kernel density: the grid, bandwidth and kernel width on
// hand-computed cases, and the densities against a short numpy version of the same method
// (run by Debian's python3; skipped with a message when it is missing).
#include "stats/KernelDensity.h"

#include "PythonReference.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonObject>

#include <algorithm>
#include <random>

using namespace Tervane3;

namespace {

DensityGrid gridOf(const std::vector<double>& values)
{
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    return densityGridFor(*lo, *hi);
}

double area(const QList<double>& density, const DensityGrid& grid)
{
    double sum = 0.0;
    for (double d : density)
        sum += d;
    return sum * grid.gridStep;
}

TEST(KernelDensityTest, SingleValue)
{
    const std::vector<double> values = {5.0};
    const DensityGrid grid = gridOf(values);
    EXPECT_NEAR(grid.gridMin, 4.95, 1e-15);
    EXPECT_NEAR(grid.gridMin + 255 * grid.gridStep, 6.05, 1e-13);
    EXPECT_EQ(grid.dataRange, 1.0);
    // sd and spread are 0: s is 1 % of the range, h = 0.5 * 0.01.
    const DensityKernel kernel = densityKernel(grid, values);
    EXPECT_NEAR(kernel.bandwidth, 0.005, 1e-15);
    EXPECT_EQ(kernel.halfWidth, 5);
    const QList<double> density = kernelDensityOnGrid(grid, values);
    ASSERT_EQ(density.size(), 256);
    int first = -1, last = -1;
    for (int i = 0; i < density.size(); ++i)
        if (density[i] > 0) {
            first = first < 0 ? i : first;
            last = i;
        }
    EXPECT_EQ(first, 6);
    EXPECT_EQ(last, 17);
    EXPECT_EQ(std::max_element(density.begin(), density.end()) - density.begin(), 12);
    EXPECT_NEAR(area(density, grid), 1.0, 1e-12);
}

TEST(KernelDensityTest, SmallSample)
{
    const std::vector<double> values = {1, 2, 2, 3, 7};
    const DensityGrid grid = gridOf(values);
    const DensityKernel kernel = densityKernel(grid, values);
    EXPECT_NEAR(kernel.bandwidth, 0.270440, 1e-6);
    EXPECT_EQ(kernel.halfWidth, 42);
    const QList<double> density = kernelDensityOnGrid(grid, values);
    const auto peak = std::max_element(density.begin(), density.end());
    EXPECT_EQ(peak - density.begin(), 50);
    EXPECT_NEAR(*peak, 0.620856, 1e-6);
    EXPECT_NEAR(area(density, grid), 1.0, 1e-12);
}

TEST(KernelDensityTest, EdgesOfTheGrid)
{
    // A value exactly at the last grid point falls entirely into the last bin.
    DensityGrid grid;
    grid.gridMin = 0.0;
    grid.gridStep = 1.0;
    grid.dataRange = 255.0;
    const QList<double> density = kernelDensityOnGrid(grid, {255.0});
    EXPECT_GT(density.back(), 0.0);
    EXPECT_EQ(density[200], 0.0);
    const QList<double> none = kernelDensityOnGrid(grid, {});
    EXPECT_EQ(none.size(), 256);
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](double d) { return d == 0.0; }));
}

TEST(KernelDensityTest, MatchesNumpy)
{
    std::mt19937_64 rng(5);
    std::vector<std::vector<double>> cases = {{5.0}, {1, 2, 2, 3, 7}, {3, 3, 3, 3}, {-1e-3, 0, 2e-3}};
    for (int c = 0; c < 40; ++c) {
        std::vector<double> values;
        const int n = std::uniform_int_distribution<int>(1, 400)(rng);
        std::lognormal_distribution<double> skewed(0.0, 0.5 + 0.05 * c);
        std::normal_distribution<double> normal(50.0, 5.0);
        for (int i = 0; i < n; ++i)
            values.push_back(c % 2 ? skewed(rng) : normal(rng));
        cases.push_back(values);
    }
    QJsonArray input;
    for (const auto& values : cases) {
        QJsonArray a;
        for (double v : values)
            a.append(v);
        input.append(a);
    }
    const Tervane3::Test::PythonResult reference
        = Tervane3::Test::runPythonReference(QStringLiteral(DENSITY_REFERENCE_SCRIPT), input);
    if (!reference.skipReason.isEmpty())
        GTEST_SKIP() << reference.skipReason.toStdString();
    ASSERT_TRUE(reference.failure.isEmpty()) << reference.failure.toStdString();
    ASSERT_EQ(reference.output.size(), static_cast<int>(cases.size()));
    for (size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const QJsonObject expected = reference.output.at(static_cast<int>(c)).toObject();
        const DensityGrid grid = gridOf(cases[c]);
        const DensityKernel kernel = densityKernel(grid, cases[c]);
        EXPECT_NEAR_REL(kernel.bandwidth, expected.value("h").toDouble(), 1e-12);
        EXPECT_EQ(kernel.halfWidth, expected.value("k").toInt());
        const QList<double> density = kernelDensityOnGrid(grid, cases[c]);
        const QJsonArray d = expected.value("density").toArray();
        ASSERT_EQ(density.size(), d.size());
        const double peak = *std::max_element(density.begin(), density.end());
        for (int i = 0; i < d.size(); ++i)
            EXPECT_NEAR(density[i], d.at(i).toDouble(), 1e-12 * peak) << i;
    }
}

} // namespace
