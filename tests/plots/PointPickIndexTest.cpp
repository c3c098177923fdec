// The picking index against a plain scan of every point (the reference), over clustered
// and duplicated points, anisotropic scales and the limit.
#include "plots/PointPickIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace Tervane3 {
namespace {

int scanNearest(const std::vector<double>& x, const std::vector<double>& y, double qx, double qy, double sx,
                double sy, double limit)
{
    int best = -1;
    double bestD = limit;
    for (size_t i = 0; i < x.size(); ++i) {
        const double dx = (x[i] - qx) / sx;
        const double dy = (y[i] - qy) / sy;
        const double d = dx * dx + dy * dy;
        if (d < bestD) { // strict: the first of equal distances wins
            bestD = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

TEST(PointPickIndexTest, AgreesWithAScanOfEveryPoint)
{
    std::mt19937 rng(7);
    std::normal_distribution<double> cluster(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(-10.0, 10.0);
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < 20000; ++i) {
        if (i % 3 == 0) {
            x.push_back(uniform(rng));
            y.push_back(uniform(rng) * 100.0);
        } else {
            x.push_back(cluster(rng) * 0.2 + 2.0);
            y.push_back(cluster(rng) * 5.0 - 40.0);
        }
    }
    // Exact duplicates and points on a grid, so that ties occur.
    for (int i = 0; i < 500; ++i) {
        x.push_back(static_cast<double>(i % 10));
        y.push_back(static_cast<double>(i % 7) * 10.0);
    }
    x.push_back(std::numeric_limits<double>::quiet_NaN());
    y.push_back(0.0);
    x.push_back(1.0);
    y.push_back(std::numeric_limits<double>::infinity());

    PointPickIndex index;
    index.build(x, y);
    EXPECT_EQ(index.size(), x.size() - 2);

    const double scales[][2] = {{20.0, 200.0}, {0.5, 3.0}, {100.0, 0.1}, {1.0, 1.0}};
    int found = 0;
    for (const auto& s : scales) {
        for (int q = 0; q < 400; ++q) {
            double qx = uniform(rng);
            double qy = uniform(rng) * 100.0;
            if (q % 4 == 0) { // exactly on grid points: ties between duplicates
                qx = static_cast<double>(q % 10);
                qy = static_cast<double>(q % 7) * 10.0;
            }
            const int expected = scanNearest(x, y, qx, qy, s[0], s[1], 0.0025);
            ASSERT_EQ(index.nearest(qx, qy, s[0], s[1], 0.0025), expected)
                << "query " << qx << ", " << qy << " scales " << s[0] << ", " << s[1];
            found += expected >= 0 ? 1 : 0;
        }
    }
    EXPECT_GT(found, 400); // the table holds hits and misses
    EXPECT_LT(found, 1600);
}

TEST(PointPickIndexTest, LargeSetsBuiltOnSeveralThreadsAgreeWithAScan)
{
    // Enough points for the upper levels to be built on other threads; a dense cluster
    // and a thin line make the middle splits fall back to medians.
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < 400000; ++i) {
        if (i % 5 == 0) {
            x.push_back(normal(rng) * 1e-6 + 3.0);
            y.push_back(normal(rng) * 1e-6 - 1.0);
        } else if (i % 5 == 1) {
            x.push_back(static_cast<double>(i) * 1e-5);
            y.push_back(7.0);
        } else {
            x.push_back(normal(rng) * 2.0);
            y.push_back(normal(rng) * 2.0);
        }
    }
    PointPickIndex index;
    index.build(x, y);
    ASSERT_EQ(index.size(), x.size());
    std::uniform_real_distribution<double> where(-6.0, 8.0);
    const double scales[][2] = {{14.0, 14.0}, {1e-4, 1e-4}, {0.3, 40.0}};
    for (const auto& s : scales) {
        for (int q = 0; q < 60; ++q) {
            double qx = where(rng);
            double qy = where(rng);
            if (q % 3 == 0) { // in the dense cluster
                qx = 3.0 + normal(rng) * 1e-6;
                qy = -1.0 + normal(rng) * 1e-6;
            }
            ASSERT_EQ(index.nearest(qx, qy, s[0], s[1], 0.0025), scanNearest(x, y, qx, qy, s[0], s[1], 0.0025))
                << "query " << qx << ", " << qy << " scales " << s[0] << ", " << s[1];
        }
    }
}

TEST(PointPickIndexTest, LimitIsStrictAndDegenerateScalesPickNothing)
{
    PointPickIndex index;
    index.build({0.0, 3.0}, {0.0, 4.0});
    // The limit 0.0025 is a distance of 0.05: 0.049 away is picked, 0.051 away is not.
    EXPECT_EQ(index.nearest(3.0 - 0.049, 4.0, 1.0, 1.0, 0.0025), 1);
    EXPECT_EQ(index.nearest(3.0 - 0.051, 4.0, 1.0, 1.0, 0.0025), -1);
    EXPECT_EQ(index.nearest(1.5, 2.0, 0.0, 1.0, 1e9), -1);
    EXPECT_EQ(index.nearest(1.5, 2.0, 1.0, std::numeric_limits<double>::quiet_NaN(), 1e9), -1);
    // Equal distance to both points: the lower index.
    EXPECT_EQ(index.nearest(1.5, 2.0, 1.0, 1.0, 1e9), 0);

    index.build({}, {});
    EXPECT_EQ(index.nearest(0.0, 0.0, 1.0, 1.0, 1e9), -1);
    // Many points at one place (no split can separate them): the first of them.
    index.build(std::vector<double>(100, 5.0), std::vector<double>(100, 5.0));
    EXPECT_EQ(index.nearest(5.0, 5.0, 1.0, 1.0, 1.0), 0);
}

} // namespace
} // namespace Tervane3
