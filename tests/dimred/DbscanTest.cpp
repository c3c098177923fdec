// DBSCAN, the automatic radius and the cluster model: hand-made cases, closed forms and
// scikit-learn's labels (tools/dimred/reference_values.py).
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "dimred/Dbscan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <limits>
#include <string>

using namespace Tervane3;
namespace TD = Tervane3::Test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> onLine(const std::vector<double>& xs)
{
    std::vector<double> p;
    for (double x : xs)
        p.insert(p.end(), {x, 0.0});
    return p;
}

std::vector<int> labelsOf(const std::vector<double>& pts, double eps, int minPts, int& count)
{
    return dbscan(pts.data(), pts.size() / 2, eps, minPts, count);
}

TEST(Dbscan, CoreBorderAndNoise)
{
    // 2.0 has only 3 neighbours (a border point) and is reached from 3.0 first; 7.0 is noise.
    const auto pts = onLine({3.0, 3.4, 3.7, 4.0, 0.0, 0.3, 0.6, 1.0, 2.0, 7.0});
    int count = 0;
    EXPECT_EQ(labelsOf(pts, 1.0, 4, count), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1, 0, -1}));
    EXPECT_EQ(count, 2);
}

TEST(Dbscan, EdgeCases)
{
    const struct
    {
        const char* name;
        std::vector<double> points;
        double eps;
        int minPts;
        std::vector<int> labels;
        int count;
    } cases[] = {
        {"minPts 1 makes isolated points clusters", onLine({0, 10, 20}), 1.0, 1, {0, 1, 2}, 3},
        {"coincident points are neighbours", onLine({5, 5, 9}), 0.5, 2, {0, 0, -1}, 1},
        {"exactly eps apart is a neighbour", onLine({0, 0.5, 1.0}), 0.5, 3, {0, 0, 0}, 1},
        {"non-finite points take no part", {0, 0, kNaN, 0, 0.1, 0, 0, kNaN}, 0.5, 2, {0, -1, 0, -1}, 1},
        {"all NaN", {kNaN, kNaN, kNaN, 1}, 1.0, 1, {-1, -1}, 0},
        {"radius 0", onLine({0, 0}), 0.0, 1, {-1, -1}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int count = -1;
        EXPECT_EQ(labelsOf(c.points, c.eps, c.minPts, count), c.labels);
        EXPECT_EQ(count, c.count);
    }
}

// The textbook expansion, written plainly: a first-in-first-out queue that takes every
// unlabelled neighbour of every core point, duplicates included, over brute-force
// neighbourhoods.
std::vector<int> textbookDbscan(const std::vector<double>& p, double eps, int minPts, int& count)
{
    const size_t n = p.size() / 2;
    std::vector<int> labels(n, -1);
    count = 0;
    const auto active = [&](size_t i) { return std::isfinite(p[2 * i]) && std::isfinite(p[2 * i + 1]); };
    for (size_t i = 0; i < n; ++i)
        labels[i] = active(i) ? -2 : -1;
    const auto query = [&](size_t i) {
        std::vector<size_t> out;
        for (size_t j = 0; j < n; ++j) {
            if (!active(j))
                continue;
            const double ex = p[2 * j] - p[2 * i], ey = p[2 * j + 1] - p[2 * i + 1];
            if (ex * ex + ey * ey <= eps * eps)
                out.push_back(j);
        }
        return out;
    };
    for (size_t j = 0; j < n; ++j) {
        if (labels[j] != -2)
            continue;
        const std::vector<size_t> N = query(j);
        if (N.size() < static_cast<size_t>(minPts)) {
            labels[j] = -1;
            continue;
        }
        const int c = count++;
        labels[j] = c;
        std::deque<size_t> queue;
        for (size_t i : N)
            if (i != j)
                queue.push_back(i);
        while (!queue.empty()) {
            const size_t d = queue.front();
            queue.pop_front();
            if (labels[d] == -1) {
                labels[d] = c;
            } else if (labels[d] == -2) {
                labels[d] = c;
                const std::vector<size_t> M = query(d);
                if (M.size() >= static_cast<size_t>(minPts))
                    for (size_t i : M)
                        if (labels[i] == -1 || labels[i] == -2)
                            queue.push_back(i);
            }
        }
    }
    return labels;
}

TEST(Dbscan, SameLabelsAsTheTextbookExpansion)
{
    // 300 small scenes: clumps of different density, scattered points, points on a lattice
    // of the radius (cell edges), duplicates and NaN, at radii from below the spacing to
    // above the clump size.
    int multiCluster = 0, withBorder = 0;
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        TD::SplitMix r(seed);
        std::vector<double> pts;
        const int clumps = 1 + static_cast<int>(r.uniform() * 5);
        for (int c = 0; c < clumps; ++c) {
            const double cx = r.uniform() * 10, cy = r.uniform() * 10, spread = 0.2 + r.uniform() * 2;
            const int count = 5 + static_cast<int>(r.uniform() * 40);
            for (int i = 0; i < count; ++i)
                pts.insert(pts.end(), {cx + spread * (r.uniform() - 0.5), cy + spread * (r.uniform() - 0.5)});
        }
        const double eps = 0.05 + r.uniform() * 1.5;
        const int minPts = 1 + static_cast<int>(r.uniform() * 12);
        for (int i = 0; i < 10; ++i) {
            pts.insert(pts.end(), {r.uniform() * 12 - 1, r.uniform() * 12 - 1});
            pts.insert(pts.end(), {eps * 0.5 * (i % 4), eps * 0.5 * (i / 4)});
        }
        pts.insert(pts.end(), {pts[0], pts[1], kNaN, 1.0, pts[4], std::numeric_limits<double>::infinity()});
        SCOPED_TRACE(testing::Message() << "seed " << seed << " eps " << eps << " minPts " << minPts);
        int expectedCount = 0, count = 0;
        const std::vector<int> expected = textbookDbscan(pts, eps, minPts, expectedCount);
        const std::vector<int> labels = labelsOf(pts, eps, minPts, count);
        ASSERT_EQ(labels, expected);
        ASSERT_EQ(count, expectedCount);
        multiCluster += count >= 2;
        int borders = 0;
        // A border point: labelled, but not core (fewer than minPts neighbours).
        for (size_t i = 0; i < labels.size(); ++i) {
            if (labels[i] < 0)
                continue;
            int neighbours = 0;
            for (size_t j = 0; j < labels.size(); ++j) {
                const double ex = pts[2 * j] - pts[2 * i], ey = pts[2 * j + 1] - pts[2 * i + 1];
                neighbours += ex * ex + ey * ey <= eps * eps;
            }
            borders += neighbours < minPts;
        }
        withBorder += borders > 0;
    }
    EXPECT_GT(multiCluster, 100);
    EXPECT_GT(withBorder, 100);
}

TEST(Dbscan, AgreesWithScikitLearn)
{
    const std::vector<int> expected = {
        0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0,  0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0,
        0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0,  1, 1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1, 1,
        1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1, 1,  1, 1,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2, 2,
        2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2, 1,  -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0,  -1, 0,  -1};
    int count = 0;
    EXPECT_EQ(labelsOf(TD::dbscanPoints(), 0.6, 5, count), expected);
    EXPECT_EQ(count, 3);
}

// Peak resident memory since the last reset, in MiB; negative when it cannot be read.
double peakMiB()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return -1.0;
}

TEST(Dbscan, DenseDataStaysSmallAndQuick)
{
    // Regression: the expansion queue took every unlabelled neighbour of every core point,
    // about n^2 / 2 entries (32 million, 128 MB and more here) when the radius covers the
    // whole blob.
    std::vector<double> pts;
    TD::SplitMix r(31);
    for (int i = 0; i < 8000; ++i)
        pts.insert(pts.end(), {r.uniform(), r.uniform()});
    std::vector<int> labels;
    labels.reserve(8000);
    const bool canReset = static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5");
    const double before = peakMiB();
    int count = 0;
    labels = labelsOf(pts, 2.0, 10, count);
    const double after = peakMiB();
    EXPECT_EQ(count, 1);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), 0), 8000);
    if (canReset && before > 0) {
        EXPECT_LT(after - before, 48.0);
    }
}

TEST(DbscanGrid, ScansThreeByThreeCellsColumnByColumn)
{
    // Cell size 1: point 0 in cell (1, 1), 1 in (0, 2), 2 in (0, 0), 3 in (2, 1), 4 far off.
    const std::vector<double> pts = {1.5, 1.5, 0.9, 2.1, 0.8, 0.8, 2.2, 1.4, 9, 9};
    const DbscanGrid grid(pts.data(), 5, std::vector<char>(5, 1), 1.0);
    std::vector<int32_t> out;
    grid.query(1.5, 1.5, 1.0, out);
    EXPECT_EQ(out, (std::vector<int32_t>{2, 1, 0, 3}));
    // Inactive points are not inserted.
    const DbscanGrid partial(pts.data(), 5, {1, 0, 1, 1, 1}, 1.0);
    partial.query(1.5, 1.5, 1.0, out);
    EXPECT_EQ(out, (std::vector<int32_t>{2, 0, 3}));
}

TEST(DbscanGrid, CellKeysAndClamping)
{
    EXPECT_EQ(DbscanGrid::cellKey(1, 2), (uint64_t{1} << 32) | 2u);
    EXPECT_EQ(DbscanGrid::cellKey(-1, -1), ~uint64_t{0});
    EXPECT_EQ(DbscanGrid::cellIndex(-0.5, 1.0), -1);
    EXPECT_EQ(DbscanGrid::cellIndex(1e300, 1e-300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(DbscanGrid::cellIndex(-1e300, 1e-300), std::numeric_limits<int64_t>::min());
}

TEST(EstimateDbscanEps, LongestRunOfEqualClusterCounts)
{
    // Two 7 x 7 grids of spacing 0.1, 10 apart: two clusters from the first candidate at or
    // above the spacing (r_5) to the largest (r_27 = h / 2), and the radius lies a quarter
    // of the way along that run on the log scale.
    std::vector<double> grids;
    for (int g = 0; g < 2; ++g)
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j)
                grids.insert(grids.end(), {g * 10 + 0.1 * i, 0.1 * j});
    const double h = std::hypot(10.6, 0.6);
    const double r5 = 0.004 * h * std::pow(125.0, 5.0 / 27), r27 = 0.5 * h;
    const double expected = r5 * std::pow(r27 / r5, 0.25);
    EXPECT_NEAR(estimateDbscanEps(grids.data(), 98, 4), 0.27766778, 5e-9);
    EXPECT_NEAR_REL(estimateDbscanEps(grids.data(), 98, 4), expected, 1e-12);

    // A 10 x 10 unit grid never splits: the middle candidate r_14.
    std::vector<double> unit;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            unit.insert(unit.end(), {double(i), double(j)});
    EXPECT_NEAR(estimateDbscanEps(unit.data(), 100, 4), 0.62244957, 5e-9);
}

TEST(EstimateDbscanEps, NothingToChooseFrom)
{
    const auto three = onLine({0, 1, 2});
    EXPECT_EQ(estimateDbscanEps(three.data(), 3, 3), 0.0);     // n = minPts
    EXPECT_EQ(estimateDbscanEps(three.data(), 3, 0), 0.0);     // minPts < 1
    const std::vector<double> same(20, 4.0);
    EXPECT_EQ(estimateDbscanEps(same.data(), 10, 3), 0.0);      // no extent
    const std::vector<double> nan(20, kNaN);
    EXPECT_EQ(estimateDbscanEps(nan.data(), 10, 3), 0.0);       // no finite sample
}

TEST(ClusterModel, StoresClusteredPointsAndAssignsNearestWithinEps)
{
    // minPts 4, eps 1: 1.0 is the only core point; 0, 0.5 and 1.9 are border points; 2.8 is
    // noise within eps of border point 1.9; 20 is noise far from everything.
    const std::vector<double> x = {0, 0.5, 1.0, 1.9, 2.8, 20};
    const std::vector<double> y(6, 0.0);
    const DimRedClusterModel m = fitClusterModel(x, y, 1.0, 4);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.clusterCount, 1);
    EXPECT_EQ(m.labels, (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(m.embedding, (std::vector<double>{0, 0, 0.5, 0, 1.0, 0, 1.9, 0}));
    EXPECT_EQ(m.eps, 1.0);
    EXPECT_EQ(m.minPts, 4);

    std::vector<double> ids;
    m.assign(x, y, ids);
    ASSERT_EQ(ids.size(), 6u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ids[static_cast<size_t>(i)], 0.0) << i;
    EXPECT_TRUE(std::isnan(ids[5]));
}

TEST(ClusterModel, NearestStoredPointDecidesAndTiesGoToTheEarlier)
{
    DimRedClusterModel m;
    m.embedding = {0, 0, 2, 0, 1, 5};
    m.labels = {0, 1, 2};
    m.clusterCount = 3;
    m.eps = 1.5;
    m.valid = true;
    std::vector<double> ids;
    m.assign({0.4, 1.0, 1.9, 1.0, kNaN}, {0, 0, 0.1, 4.0, 0}, ids);
    EXPECT_EQ(ids[0], 0.0);
    EXPECT_EQ(ids[1], 0.0); // equally far from stored points 0 and 1
    EXPECT_EQ(ids[2], 1.0);
    EXPECT_EQ(ids[3], 2.0);
    EXPECT_TRUE(std::isnan(ids[4]));
    m.assign({0.0}, {0.0, 1.0}, ids); // the shorter length counts
    EXPECT_EQ(ids.size(), 1u);
}

TEST(ClusterModel, AssignsLikeABruteForceSearch)
{
    // Stored points with duplicates and points on a lattice of the half radius (cell
    // edges); queries anywhere, also on stored points and exactly eps away.
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        TD::SplitMix r(seed);
        DimRedClusterModel m;
        m.eps = 0.1 + r.uniform();
        m.clusterCount = 4;
        m.valid = true;
        for (int i = 0; i < 300; ++i) {
            const double x = i % 7 == 0 ? m.eps * 0.5 * (i % 5) : r.uniform() * 8;
            const double y = i % 7 == 0 ? m.eps * 0.5 * (i % 3) : r.uniform() * 8;
            m.embedding.insert(m.embedding.end(), {x, y});
            m.labels.push_back(static_cast<int32_t>(r.uniform() * 4));
        }
        m.embedding.insert(m.embedding.end(), {m.embedding[2], m.embedding[3]}); // a duplicate
        m.labels.push_back(3);
        std::vector<double> qx, qy;
        for (int i = 0; i < 400; ++i) {
            if (i % 10 == 0) {
                qx.push_back(m.embedding[static_cast<size_t>(2 * i)] + m.eps);
                qy.push_back(m.embedding[static_cast<size_t>(2 * i + 1)]);
            } else {
                qx.push_back(r.uniform() * 9 - 0.5);
                qy.push_back(r.uniform() * 9 - 0.5);
            }
        }
        std::vector<double> ids;
        m.assign(qx, qy, ids);
        for (size_t q = 0; q < qx.size(); ++q) {
            double best = std::numeric_limits<double>::infinity();
            int label = -1;
            for (size_t s = 0; s < m.labels.size(); ++s) {
                const double ex = m.embedding[2 * s] - qx[q], ey = m.embedding[2 * s + 1] - qy[q];
                if (ex * ex + ey * ey < best) {
                    best = ex * ex + ey * ey;
                    label = m.labels[s];
                }
            }
            if (best <= m.eps * m.eps)
                ASSERT_EQ(ids[q], label) << q;
            else
                ASSERT_TRUE(std::isnan(ids[q])) << q;
        }
    }
}

TEST(ClusterModel, InvalidModelsAssignNothing)
{
    const std::vector<double> nan(4, kNaN);
    const DimRedClusterModel none = fitClusterModel(nan, nan, 1.0, 1);
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.clusterCount, 0);
    std::vector<double> ids;
    none.assign({0.0, 1.0}, {0.0, 1.0}, ids);
    EXPECT_TRUE(std::isnan(ids[0]) && std::isnan(ids[1]));
    EXPECT_FALSE(fitClusterModel({0, 1}, {0, 1}, 0.0, 1).valid);
    EXPECT_FALSE(fitClusterModel({0, 1}, {0, 1}, 1.0, 0).valid);
    EXPECT_FALSE(fitClusterModel({0, 10}, {0, 0}, 1.0, 2).valid); // all noise
}

TEST(ClusterModel, AssignsQuicklyFarFromPointsAlmostOnALine)
{
    // Regression: the ring search sized its cells by the stored points' area, which is
    // almost zero here, and never ended for an event far from every cluster.
    DimRedClusterModel m;
    for (int i = 0; i < 2000; ++i) {
        m.embedding.insert(m.embedding.end(), {i * 0.0005, i * 1e-15});
        m.labels.push_back(i < 1000 ? 0 : 1);
    }
    m.clusterCount = 2;
    m.eps = 0.01;
    m.valid = true;
    std::vector<double> ids;
    m.assign({1000.0, 0.2, 0.9, -1e300}, {1000.0, 0.0, 0.0, 1e300}, ids);
    EXPECT_TRUE(std::isnan(ids[0]));
    EXPECT_EQ(ids[1], 0.0);
    EXPECT_EQ(ids[2], 1.0);
    EXPECT_TRUE(std::isnan(ids[3]));
}

} // namespace
