// Density contour lines: thresholds, marching squares (including both saddle resolutions),
// joining into open and closed lines, the fractions a line encloses in a Gaussian cloud,
// and the mapping of axis scale modes.
#include "core/AxisScaleMode.h"
#include "core/DensityEstimator.h"
#include "core/EventFilter.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace Tervane3;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

DensityGrid unitGrid(int bins, std::vector<double> values)
{
    DensityGrid grid;
    grid.bins = bins;
    grid.xMin = 0.0;
    grid.yMin = 0.0;
    grid.dx = 1.0;
    grid.dy = 1.0;
    grid.values = std::move(values);
    return grid; // cell centres at 0.5, 1.5, ...
}

struct Cloud
{
    std::vector<double> x, y;
};

// A Gaussian cloud: x ~ N(60, 10), y ~ N(0.02, 0.004), independent.
Cloud gaussianCloud(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    Cloud cloud;
    for (size_t i = 0; i < n; ++i) {
        cloud.x.push_back(60.0 + 10.0 * normal(rng));
        cloud.y.push_back(0.02 + 0.004 * normal(rng));
    }
    return cloud;
}

const ContourPolyline& longest(const ContourLevel& level)
{
    return *std::max_element(level.lines.begin(), level.lines.end(),
                             [](const auto& a, const auto& b) { return a.size() < b.size(); });
}

} // namespace

TEST(DensityContours, LevelThreshold)
{
    const std::vector<double> d{5, 1, 4, 2, 3};
    EXPECT_EQ(DensityEstimator::levelThreshold(d, 0.5), 3.0); // index floor(2.5) = 2
    EXPECT_EQ(DensityEstimator::levelThreshold(d, 0.1), 1.0);
    EXPECT_EQ(DensityEstimator::levelThreshold(d, 0.99), 5.0);
    EXPECT_EQ(DensityEstimator::levelThreshold(d, 0.0), 0.0);
    EXPECT_EQ(DensityEstimator::levelThreshold(d, 1.0), 0.0);
    EXPECT_EQ(DensityEstimator::levelThreshold({}, 0.5), 0.0);
    EXPECT_EQ(DensityEstimator::levelThreshold({kNaN, 2, kNaN, 1}, 0.5), 2.0);
}

TEST(DensityContours, SeveralFractionsInAnyOrder)
{
    // Thresholds found together (shared selections) equal those found one by one.
    const Cloud cloud = gaussianCloud(5000, 17);
    const std::vector<double> fractions{0.9, 0.1, 1.5, 0.5, 0.1, 0.0};
    const auto levels = DensityEstimator::contourLines(cloud.x, cloud.y, fractions, 0);
    const DensityGrid grid = DensityEstimator::kdeGrid(cloud.x, cloud.y, 0);
    const std::vector<double> densities = DensityEstimator::interpolateGrid(grid, cloud.x, cloud.y);
    ASSERT_EQ(levels.size(), fractions.size());
    for (size_t f = 0; f < fractions.size(); ++f) {
        SCOPED_TRACE(fractions[f]);
        EXPECT_EQ(levels[f].fraction, fractions[f]);
        EXPECT_EQ(levels[f].threshold, DensityEstimator::levelThreshold(densities, fractions[f]));
        std::vector<double> sorted = densities;
        std::sort(sorted.begin(), sorted.end());
        if (fractions[f] > 0.0 && fractions[f] < 1.0) {
            EXPECT_EQ(levels[f].threshold, sorted[static_cast<size_t>(std::floor(sorted.size() * fractions[f]))]);
        }
    }
}

TEST(DensityContours, InterpolateCrossing)
{
    EXPECT_DOUBLE_EQ(DensityEstimator::interpolateCrossing(0.5, 0.0, 1.0, 10.0, 20.0), 15.0);
    EXPECT_DOUBLE_EQ(DensityEstimator::interpolateCrossing(0.25, 1.0, 0.0, 10.0, 20.0), 17.5);
    EXPECT_DOUBLE_EQ(DensityEstimator::interpolateCrossing(5.0, 0.0, 1.0, 10.0, 20.0), 20.0);
    EXPECT_DOUBLE_EQ(DensityEstimator::interpolateCrossing(-5.0, 0.0, 1.0, 10.0, 20.0), 10.0);
    // Values closer than 1e-30: the middle of the edge.
    EXPECT_DOUBLE_EQ(DensityEstimator::interpolateCrossing(1.0, 1.0, 1.0 + 1e-31, 2.0, 4.0), 3.0);
}

// Regression: saddle cells were resolved the wrong way round, joining the two high
// corners across a centre that lies below the level.
TEST(DensityContours, SaddleCellsFollowTheCentre)
{
    using Line = ContourPolyline;
    const struct {
        const char* name;
        std::vector<double> values; // V[0][0] V[0][1] V[1][0] V[1][1]
        double level;
        std::vector<Line> lines;
    } cases[] = {
        // High corners (0.5, 0.5) and (1.5, 1.5); centre 0.5.
        {"case 5, centre below: each high corner cut off", {1, 0, 0, 1}, 0.6,
         {{{0.9, 0.5}, {0.5, 0.9}}, {{1.5, 1.1}, {1.1, 1.5}}}},
        {"case 5, centre above: high corners joined", {1, 0, 0, 1}, 0.4,
         {{{1.1, 0.5}, {1.5, 0.9}}, {{0.5, 1.1}, {0.9, 1.5}}}},
        // High corners (1.5, 0.5) and (0.5, 1.5).
        {"case 10, centre below: each high corner cut off", {0, 1, 1, 0}, 0.6,
         {{{1.1, 0.5}, {1.5, 0.9}}, {{0.5, 1.1}, {0.9, 1.5}}}},
        {"case 10, centre above: high corners joined", {0, 1, 1, 0}, 0.4,
         {{{0.9, 0.5}, {0.5, 0.9}}, {{1.5, 1.1}, {1.1, 1.5}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Line> lines = DensityEstimator::traceLevel(unitGrid(2, c.values), c.level);
        ASSERT_EQ(lines.size(), c.lines.size());
        for (size_t l = 0; l < lines.size(); ++l) {
            ASSERT_EQ(lines[l].size(), c.lines[l].size());
            for (size_t p = 0; p < lines[l].size(); ++p) {
                EXPECT_NEAR(lines[l][p].first, c.lines[l][p].first, 1e-12);
                EXPECT_NEAR(lines[l][p].second, c.lines[l][p].second, 1e-12);
            }
        }
        // Each line separates a corner from the cell centre (1, 1): the corner lies on the
        // other side of the line than the centre.
        for (const Line& line : lines) {
            const auto side = [&](double px, double py) {
                const double ax = line[0].first, ay = line[0].second;
                const double bx = line[1].first, by = line[1].second;
                return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
            };
            const bool cutsHigh = [&] {
                for (int r = 0; r < 2; ++r) {
                    for (int col = 0; col < 2; ++col) {
                        const double cx = col + 0.5, cy = r + 0.5;
                        if (side(cx, cy) * side(1.0, 1.0) < 0)
                            return c.values[static_cast<size_t>(r * 2 + col)] >= c.level;
                    }
                }
                return false;
            }();
            EXPECT_EQ(cutsHigh, c.level > 0.5) << "a line must cut off a high corner exactly when the centre is below";
        }
    }
}

TEST(DensityContours, OpenLineEndsOnTheBorder)
{
    // V[r][c] = c: the level 1.5 runs straight up between columns 1 and 2.
    std::vector<double> ramp;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            ramp.push_back(c);
    const auto lines = DensityEstimator::traceLevel(unitGrid(4, ramp), 1.5);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (ContourPolyline{{2.0, 0.5}, {2.0, 1.5}, {2.0, 2.5}, {2.0, 3.5}}));
}

TEST(DensityContours, ClosedLineReturnsToItsStart)
{
    std::vector<double> peak(9, 0.0);
    peak[4] = 1.0; // V[1][1]
    const auto lines = DensityEstimator::traceLevel(unitGrid(3, peak), 0.5);
    ASSERT_EQ(lines.size(), 1u);
    const ContourPolyline& line = lines[0];
    ASSERT_EQ(line.size(), 5u);
    EXPECT_EQ(line.front(), line.back());
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        // A diamond around (1.5, 1.5) through the edge midpoints.
        EXPECT_NEAR(std::fabs(line[i].first - 1.5) + std::fabs(line[i].second - 1.5), 0.5, 1e-12);
    }
    EXPECT_TRUE(DensityEstimator::traceLevel(unitGrid(1, {1.0}), 0.5).empty());
}

TEST(DensityContours, GaussianCloudFractions)
{
    const Cloud cloud = gaussianCloud(20000, 11);
    const std::vector<ContourLevel> levels =
        DensityEstimator::computeContours(cloud.x, cloud.y, {0.1, 0.67}, 0, 0);
    ASSERT_EQ(levels.size(), 2u);
    const struct {
        double fraction;
        double enclosed;
    } expected[] = {{0.1, 0.90}, {0.67, 0.33}};
    for (size_t l = 0; l < 2; ++l) {
        SCOPED_TRACE(expected[l].fraction);
        const ContourLevel& level = levels[l];
        EXPECT_EQ(level.fraction, expected[l].fraction);
        EXPECT_GT(level.threshold, 0.0);
        ASSERT_FALSE(level.lines.empty());
        EXPECT_LE(level.lines.size(), 3u);
        const ContourPolyline& line = longest(level);
        ASSERT_GT(line.size(), 20u);
        EXPECT_EQ(line.front(), line.back()) << "closed";

        size_t inside = 0;
        for (size_t i = 0; i < cloud.x.size(); ++i)
            inside += pointInPolygon(cloud.x[i], cloud.y[i], line) ? 1 : 0;
        EXPECT_NEAR(static_cast<double>(inside) / cloud.x.size(), expected[l].enclosed, 0.015);

        // A standard normal in 2-D keeps mass 1 - f inside the circle r = sqrt(-2 ln f).
        const double radius = std::sqrt(-2.0 * std::log(expected[l].fraction));
        double mean = 0.0;
        for (const auto& p : line)
            mean += std::hypot((p.first - 60.0) / 10.0, (p.second - 0.02) / 0.004);
        mean /= line.size();
        EXPECT_NEAR(mean / radius, 1.0, 0.04);
    }
}

TEST(DensityContours, UnusableInputs)
{
    EXPECT_TRUE(DensityEstimator::computeContours({1, 2, 3}, {1, 2, 3}, {0.5}, 0, 0).empty());
    EXPECT_TRUE(DensityEstimator::computeContours({1, 2, 3, 4}, {1, 2, 3}, {0.5}, 0, 0).empty());
    EXPECT_TRUE(DensityEstimator::computeContours({1, 2, 3, 4}, {4, 1, 3, 2}, {}, 0, 0).empty());

    const Cloud cloud = gaussianCloud(500, 3);
    const auto levels = DensityEstimator::computeContours(cloud.x, cloud.y, {0.0, 1.0}, 0, 0);
    ASSERT_EQ(levels.size(), 2u);
    for (const ContourLevel& level : levels) {
        EXPECT_EQ(level.threshold, 0.0);
        EXPECT_TRUE(level.lines.empty());
    }
}

TEST(DensityContours, LogarithmicAxesMapTheLinesBack)
{
    std::mt19937 rng(5);
    std::lognormal_distribution<double> ln(std::log(200.0), 0.8);
    std::vector<double> x, y;
    for (int i = 0; i < 4000; ++i) {
        x.push_back(ln(rng));
        y.push_back(ln(rng));
    }
    const std::vector<double> fractions{0.3};
    const auto axisLevels = DensityEstimator::contourLines(transformValues(x, ScaleLog),
                                                           transformValues(y, ScaleLog), fractions, 0);
    const auto dataLevels = DensityEstimator::computeContours(x, y, fractions, ScaleLog, ScaleLog);
    ASSERT_EQ(dataLevels.size(), 1u);
    ASSERT_EQ(dataLevels[0].lines.size(), axisLevels[0].lines.size());
    ASSERT_FALSE(dataLevels[0].lines.empty());
    EXPECT_EQ(dataLevels[0].threshold, axisLevels[0].threshold);
    for (size_t l = 0; l < dataLevels[0].lines.size(); ++l) {
        const auto& data = dataLevels[0].lines[l];
        const auto& axis = axisLevels[0].lines[l];
        ASSERT_EQ(data.size(), axis.size());
        for (size_t p = 0; p < data.size(); ++p) {
            EXPECT_DOUBLE_EQ(data[p].first, std::pow(10.0, axis[p].first));
            EXPECT_DOUBLE_EQ(data[p].second, std::pow(10.0, axis[p].second));
        }
    }

    // Linear axes: the traced points come back unchanged.
    const auto linear = DensityEstimator::computeContours(x, y, fractions, ScaleLinear, ScaleLinear);
    const auto traced = DensityEstimator::contourLines(x, y, fractions, 0);
    ASSERT_EQ(linear.size(), 1u);
    EXPECT_EQ(linear[0].lines, traced[0].lines);
}

// Regression: modes above 2 were mapped forward as pseudo-logarithmic but not back, which
// left the lines in axis units (around 1 to 3) instead of data units (hundreds).
TEST(DensityContours, OutOfRangeModeMapsBothWays)
{
    std::mt19937 rng(8);
    std::lognormal_distribution<double> fl(std::log(1500.0), 0.7);
    std::vector<double> x, y;
    for (int i = 0; i < 3000; ++i) {
        x.push_back(fl(rng));
        y.push_back(fl(rng));
    }
    const auto three = DensityEstimator::computeContours(x, y, {0.5}, 3, 3);
    const auto two = DensityEstimator::computeContours(x, y, {0.5}, ScalePseudoLog, ScalePseudoLog);
    ASSERT_EQ(three.size(), 1u);
    ASSERT_FALSE(three[0].lines.empty());
    EXPECT_EQ(three[0].lines, two[0].lines);
    for (const auto& p : longest(three[0]))
        EXPECT_GT(p.first, 200.0);
}

// Regression: a single NaN or infinite coordinate turned the bandwidth and the whole grid
// into NaN, and every level came back without lines.
TEST(DensityContours, NonFiniteEventsAreSkipped)
{
    Cloud cloud = gaussianCloud(3000, 21);
    const auto clean = DensityEstimator::computeContours(cloud.x, cloud.y, {0.2, 0.6}, 0, 0);
    cloud.x.insert(cloud.x.begin() + 10, kNaN);
    cloud.y.insert(cloud.y.begin() + 10, 0.02);
    cloud.x.push_back(55.0);
    cloud.y.push_back(std::numeric_limits<double>::infinity());
    const auto dirty = DensityEstimator::computeContours(cloud.x, cloud.y, {0.2, 0.6}, 0, 0);
    ASSERT_EQ(dirty.size(), 2u);
    for (size_t l = 0; l < 2; ++l) {
        EXPECT_FALSE(dirty[l].lines.empty());
        EXPECT_EQ(dirty[l].threshold, clean[l].threshold);
        EXPECT_EQ(dirty[l].lines, clean[l].lines);
    }
}

TEST(DensityContours, DensityAndContoursTogether)
{
    // One grid for both must give exactly what the two separate calls give.
    std::mt19937 rng(31);
    std::lognormal_distribution<double> fl(std::log(800.0), 1.2);
    std::normal_distribution<double> noise(0.0, 30.0);
    std::vector<double> x, y;
    for (int i = 0; i < 3000; ++i) {
        x.push_back(i % 3 == 0 ? noise(rng) : fl(rng));
        y.push_back(i % 5 == 0 ? noise(rng) : fl(rng));
    }
    x[7] = kNaN;
    const std::vector<double> fractions{0.5, 0.1};
    const struct {
        int method, xMode, yMode;
    } cases[] = {{DensityKde, 0, 0}, {DensityKde, 2, 2}, {DensityKde, 1, 2}, {DensityHistogram, 2, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.method << " " << c.xMode << " " << c.yMode);
        const DensityAndContours both =
            DensityEstimator::computeDensityAndContours(x, y, c.method, fractions, c.xMode, c.yMode);
        const std::vector<double> density = DensityEstimator::computeDensity(
            transformValues(x, c.xMode), transformValues(y, c.yMode), c.method);
        const auto levels = DensityEstimator::computeContours(x, y, fractions, c.xMode, c.yMode);
        ASSERT_EQ(both.density.size(), density.size());
        for (size_t i = 0; i < density.size(); ++i) {
            if (std::isnan(density[i]))
                EXPECT_TRUE(std::isnan(both.density[i])) << i;
            else
                EXPECT_EQ(both.density[i], density[i]) << i;
        }
        ASSERT_EQ(both.levels.size(), levels.size());
        for (size_t l = 0; l < levels.size(); ++l) {
            EXPECT_EQ(both.levels[l].threshold, levels[l].threshold);
            EXPECT_EQ(both.levels[l].lines, levels[l].lines);
            EXPECT_FALSE(levels[l].lines.empty());
        }
    }
}
