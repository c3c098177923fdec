// Triangulation of look-up tables and the interpolation of the modulus: the triangles must
// tile the convex hull of the rows exactly (no gaps, no overlaps) and be Delaunay, and a
// table that is linear in area and deformation must be reproduced exactly.
#include "calc/LutTriangulation.h"

#include "calc/ExactPredicates.h"
#include "calc/LutData.h"

#include "LutFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

using fixture::LutRow;

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

long double cross(long double ox, long double oy, long double ax, long double ay, long double bx,
                  long double by)
{
    return (ax - ox) * (by - oy) - (ay - oy) * (bx - ox);
}

// Area of the convex hull by gift wrapping over the normalised coordinates.
long double hullArea(const std::vector<double>& x, const std::vector<double>& y)
{
    const size_t n = x.size();
    size_t start = 0;
    for (size_t i = 1; i < n; ++i) {
        if (x[i] < x[start] || (x[i] == x[start] && y[i] < y[start]))
            start = i;
    }
    std::vector<size_t> hull;
    size_t current = start;
    do {
        hull.push_back(current);
        size_t next = (current + 1) % n;
        for (size_t i = 0; i < n; ++i) {
            const long double turn = cross(x[current], y[current], x[next], y[next], x[i], y[i]);
            const long double distNext = std::hypot(x[next] - x[current], y[next] - y[current]);
            const long double distI = std::hypot(x[i] - x[current], y[i] - y[current]);
            if (turn < 0 || (turn == 0 && distI > distNext))
                next = i;
        }
        current = next;
    } while (current != start && hull.size() <= n);
    long double area = 0;
    for (size_t k = 0; k < hull.size(); ++k) {
        const size_t i = hull[k], j = hull[(k + 1) % hull.size()];
        area += static_cast<long double>(x[i]) * y[j] - static_cast<long double>(x[j]) * y[i];
    }
    return area / 2;
}

// Tiling and Delaunay checks shared by every point set.
void expectDelaunayTilingOfHull(const LutTriangulation& t)
{
    long double covered = 0;
    for (const LutTriangle& tri : t.triangles) {
        const long double area =
            cross(t.x[tri.a], t.y[tri.a], t.x[tri.b], t.y[tri.b], t.x[tri.c], t.y[tri.c]) / 2;
        EXPECT_GT(area, 0) << "triangle not counter-clockwise";
        covered += area;
    }
    // Positive triangles whose areas add up to the hull's area and that have empty
    // circumcircles can neither overlap nor leave a gap.
    const long double hull = hullArea(t.x, t.y);
    EXPECT_NEAR(static_cast<double>(covered), static_cast<double>(hull), 1e-12 * (1 + hull));

    for (const LutTriangle& tri : t.triangles) {
        const long double ax = t.x[tri.a], ay = t.y[tri.a];
        const long double bx = t.x[tri.b], by = t.y[tri.b];
        const long double cx = t.x[tri.c], cy = t.y[tri.c];
        for (size_t p = 0; p < t.x.size(); ++p) {
            const long double dxa = ax - t.x[p], dya = ay - t.y[p];
            const long double dxb = bx - t.x[p], dyb = by - t.y[p];
            const long double dxc = cx - t.x[p], dyc = cy - t.y[p];
            const long double sa = dxa * dxa + dya * dya, sb = dxb * dxb + dyb * dyb,
                              sc = dxc * dxc + dyc * dyc;
            const long double det = dxa * (dyb * sc - sb * dyc) - dya * (dxb * sc - sb * dxc)
                                    + sa * (dxb * dyc - dyb * dxc);
            ASSERT_LE(det, 1e-12L) << "row " << p << " lies inside a circumcircle";
        }
    }
}

std::vector<LutRow> randomRows(unsigned seed, int count)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> area(10.0, 300.0);
    std::uniform_real_distribution<double> deform(0.005, 0.2);
    std::vector<LutRow> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({area(rng), deform(rng), 1.0});
    return rows;
}

// Rows of a simulation: a grid in area with a deformation range that narrows with the
// area, so that the upper boundary is curved.
std::vector<LutRow> curvedRows()
{
    std::vector<LutRow> rows;
    for (int i = 0; i <= 30; ++i) {
        const double area = 20.0 + 10.0 * i;
        const double upper = 0.02 + 0.15 * std::sqrt(20.0 / area);
        for (int k = 0; k <= 12; ++k)
            rows.push_back({area, 0.005 + (upper - 0.005) * k / 12.0, 0.5 + 0.01 * area});
    }
    return rows;
}

struct HullCase
{
    const char* name;
    std::vector<LutRow> rows;
};

TEST(LutTriangulationTest, TrianglesTileTheConvexHull)
{
    const std::vector<HullCase> cases = {
        {"random rows", randomRows(7, 400)},
        {"regular grid with common circles",
         fixture::gridTable(fixture::steps(10, 10, 20), fixture::steps(0.01, 0.01, 15),
                         [](double, double) { return 1.0; })},
        {"curved simulation grid", curvedRows()},
        // A thin triangle along a long hull edge has a circumcircle reaching far outside
        // the table: an enclosing triangle at a small distance swallowed it and left a gap.
        {"thin triangle on a hull edge",
         {{0, 0, 1}, {1, 0, 1}, {0.5, 0.001, 1}, {0, 1, 1}, {1, 1, 1}, {0.5, 1, 1}}},
        {"duplicates and collinear hull rows",
         {{0, 0, 1}, {0.25, 0, 1}, {0.5, 0, 1}, {1, 0, 1}, {0.5, 0, 1}, {1, 1, 1}, {0, 1, 1},
          {0.5, 0.5, 1}, {0.5, 0.5, 1}}},
    };
    for (const HullCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(c.rows));
        ASSERT_TRUE(t.has_value());
        ASSERT_FALSE(t->triangles.empty());
        expectDelaunayTilingOfHull(*t);
    }
}

// The insertion written out plainly: every triangle is tested for every row, removed
// triangles are erased from the list and new ones appended. Same corners as the library's.
std::vector<LutTriangle> plainBowyerWatson(const LutTriangulation& t)
{
    const int n = static_cast<int>(t.x.size());
    std::vector<double> x = t.x, y = t.y;
    x.insert(x.end(), {-1e31, 2e31, -1e31});
    y.insert(y.end(), {-1e31, -1e31, 2e31});
    const auto oriented = [&](int a, int b, int c) {
        return orientationSign(x[a], y[a], x[b], y[b], x[c], y[c]) >= 0 ? LutTriangle{a, b, c}
                                                                         : LutTriangle{a, c, b};
    };
    const auto has = [](const LutTriangle& tri, int v) { return tri.a == v || tri.b == v || tri.c == v; };
    std::vector<LutTriangle> list = {oriented(n, n + 1, n + 2)};
    for (int p = 0; p < n; ++p) {
        std::vector<LutTriangle> bad, kept;
        for (const LutTriangle& tri : list) {
            if (inCircleSign(x[tri.a], y[tri.a], x[tri.b], y[tri.b], x[tri.c], y[tri.c], x[p], y[p]) > 0)
                bad.push_back(tri);
            else
                kept.push_back(tri);
        }
        std::vector<std::pair<int, int>> boundary;
        for (size_t j = 0; j < bad.size(); ++j) {
            const std::pair<int, int> edges[3] = {{bad[j].a, bad[j].b}, {bad[j].b, bad[j].c}, {bad[j].c, bad[j].a}};
            for (const auto& [e0, e1] : edges) {
                bool shared = false;
                for (size_t k = 0; k < bad.size(); ++k)
                    shared = shared || (k != j && has(bad[k], e0) && has(bad[k], e1));
                if (!shared)
                    boundary.push_back({e0, e1});
            }
        }
        for (const auto& [e0, e1] : boundary)
            kept.push_back(oriented(p, e0, e1));
        list = kept;
    }
    std::vector<LutTriangle> result;
    for (const LutTriangle& tri : list) {
        if (tri.a < n && tri.b < n && tri.c < n)
            result.push_back(tri);
    }
    return result;
}

TEST(LutTriangulationTest, MatchesThePlainInsertionTriangleByTriangle)
{
    // The library finds the triangles to replace by walking; the plain form tests all of
    // them. Same triangles, same vertex order, same list order.
    std::vector<LutRow> duplicates = randomRows(17, 60);
    duplicates.insert(duplicates.end(), duplicates.begin(), duplicates.begin() + 10);
    const std::vector<HullCase> cases = {
        {"random rows", randomRows(23, 250)},
        {"regular grid", fixture::gridTable(fixture::steps(10, 10, 15), fixture::steps(0.01, 0.01, 12),
                                            [](double, double) { return 1.0; })},
        {"curved simulation grid", curvedRows()},
        {"repeated rows", duplicates},
    };
    for (const HullCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(c.rows));
        ASSERT_TRUE(t.has_value());
        const std::vector<LutTriangle> expected = plainBowyerWatson(*t);
        ASSERT_EQ(t->triangles.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(t->triangles[i].a, expected[i].a) << i;
            EXPECT_EQ(t->triangles[i].b, expected[i].b) << i;
            EXPECT_EQ(t->triangles[i].c, expected[i].c) << i;
        }
    }
}

TEST(LutTriangulationTest, PointsInsideTheHullAlongAThinEdgeTriangleMap)
{
    // Regression: with the enclosing triangle too close, (0.5, 0.0005) fell into a gap.
    const std::vector<LutRow> rows = {{0, 0, 1}, {1, 0, 3}, {0.5, 0.001, 2},
                                      {0, 1, 5}, {1, 1, 7}, {0.5, 1, 6}};
    const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(rows));
    ASSERT_TRUE(t.has_value());
    EXPECT_NEAR(t->interpolate(0.5, 0.0005), 2.0, 1e-9);
    EXPECT_NEAR(t->interpolate(0.25, 0.0001), 1.0 + 2.0 * 0.25, 1e-9);
}

TEST(LutTriangulationTest, LinearTableIsInterpolatedExactly)
{
    const auto modulus = [](double area, double deform) { return 0.3 + 0.004 * area + 12.0 * deform; };
    std::vector<LutRow> rows = randomRows(11, 300);
    // Corners, so that the hull is the whole box.
    for (double a : {10.0, 300.0}) {
        for (double d : {0.005, 0.2})
            rows.push_back({a, d, 0});
    }
    for (LutRow& row : rows)
        row.modulus = modulus(row.area, row.deform);
    const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(rows));
    ASSERT_TRUE(t.has_value());

    std::mt19937 rng(3);
    std::uniform_real_distribution<double> area(10.0, 300.0);
    std::uniform_real_distribution<double> deform(0.005, 0.2);
    for (int i = 0; i < 2000; ++i) {
        const double a = area(rng), d = deform(rng);
        EXPECT_NEAR_REL(t->interpolate(a, d), modulus(a, d), 1e-12);
    }
    // The box corners, including normalised coordinate exactly 1 (grid cell 99).
    EXPECT_NEAR_REL(t->interpolate(300.0, 0.2), modulus(300.0, 0.2), 1e-12);
    EXPECT_NEAR_REL(t->interpolate(10.0, 0.005), modulus(10.0, 0.005), 1e-12);
    EXPECT_NEAR_REL(t->interpolate(300.0, 0.005), modulus(300.0, 0.005), 1e-12);
}

TEST(LutTriangulationTest, TableRowsReturnTheirOwnModulus)
{
    std::vector<LutRow> rows = curvedRows();
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> modulus(0.1, 5.0);
    for (LutRow& row : rows)
        row.modulus = modulus(rng); // not linear: only the vertex weight is 1
    const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(rows));
    ASSERT_TRUE(t.has_value());
    for (const LutRow& row : rows)
        EXPECT_NEAR_REL(t->interpolate(row.area, row.deform), row.modulus, 1e-9);
}

TEST(LutTriangulationTest, QueriesOutsideTheTableGiveNaN)
{
    // A triangle-shaped table: the upper left half of its box is outside the hull.
    std::vector<LutRow> rows;
    for (int i = 0; i <= 10; ++i) {
        for (int k = 0; k <= i; ++k)
            rows.push_back({10.0 * i, 0.01 * k, 1.0 + i + k});
    }
    const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(rows));
    ASSERT_TRUE(t.has_value());
    struct Query
    {
        const char* name;
        double area;
        double deform;
    };
    const Query outside[] = {
        {"below the smallest area", -0.5, 0.0},
        {"above the largest area", 100.5, 0.05},
        {"above the largest deformation", 100.0, 0.1001},
        {"inside the box, outside the hull", 20.0, 0.08},
        // Non-finite coordinates are rejected before they become grid indices.
        {"NaN area", nan, 0.01},
        {"NaN deformation", 50.0, nan},
        {"infinite area", inf, 0.01},
        {"negative infinite deformation", 50.0, -inf},
    };
    for (const Query& q : outside) {
        SCOPED_TRACE(q.name);
        EXPECT_TRUE(std::isnan(t->interpolate(q.area, q.deform)));
    }
    EXPECT_NEAR(t->interpolate(50.0, 0.02), 1.0 + 5.0 + 2.0, 1e-9);
}

TEST(LutTriangulationTest, TablesWithoutASpanGiveNoTriangulation)
{
    struct Case
    {
        const char* name;
        std::vector<LutRow> rows;
    };
    const Case cases[] = {
        {"fewer than three rows", {{1, 0.1, 1}, {2, 0.2, 2}}},
        {"all areas equal", {{5, 0.1, 1}, {5, 0.2, 2}, {5, 0.3, 3}}},
        {"all deformations equal", {{1, 0.1, 1}, {2, 0.1, 2}, {3, 0.1, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(LutTriangulation::build(fixture::toLutData(c.rows)).has_value());
    }

    // Collinear rows with a span (exactly collinear also after normalising): a
    // triangulation without triangles; nothing maps.
    const std::optional<LutTriangulation> line =
        LutTriangulation::build(fixture::toLutData({{1, 0.25, 1}, {2, 0.5, 2}, {3, 0.75, 3}}));
    ASSERT_TRUE(line.has_value());
    EXPECT_TRUE(line->triangles.empty());
    EXPECT_TRUE(std::isnan(line->interpolate(2, 0.5)));
}

TEST(LutTriangulationTest, BucketsListTheTrianglesInAscendingOrder)
{
    const std::optional<LutTriangulation> t = LutTriangulation::build(fixture::toLutData(curvedRows()));
    ASSERT_TRUE(t.has_value());
    ASSERT_EQ(t->cells.size(), 10000u);
    for (const std::vector<int>& cell : t->cells)
        EXPECT_TRUE(std::is_sorted(cell.begin(), cell.end()));
}

} // namespace
} // namespace Tervane3
