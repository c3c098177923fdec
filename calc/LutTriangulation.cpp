// Bowyer-Watson triangulation of the table rows and the bucketed barycentric look-up.
//
// The rows are inserted one at a time in file order into a triangulation that starts as one
// enclosing super-triangle. Both geometric tests use exact signs, so rows on common circles
// (regular simulation grids) or on common lines never produce overlapping or missing
// triangles. The super-triangle's corners lie very far out: with corners at a finite
// distance, a flat triangle along the table's hull whose circumcircle reaches a corner is
// never formed, and after the corners are removed the triangulation does not cover the
// hull of the rows.
#include "calc/LutTriangulation.h"

#include "calc/ExactPredicates.h"
#include "calc/LutData.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

// Distance scale of the super-triangle corners in normalised units. The exact predicates
// keep every test correct at this scale; the product of four coordinates stays far below
// the largest double.
constexpr double superScale = 1e30;

struct Edge
{
    int from;
    int to;
};

bool hasVertex(const LutTriangle& t, int v)
{
    return t.a == v || t.b == v || t.c == v;
}

int clampCell(double scaled)
{
    // Callers pass finite values; truncation toward zero, then the grid's bounds.
    const double truncated = std::trunc(scaled);
    if (truncated < 0.0)
        return 0;
    if (truncated > LutTriangulation::gridSize - 1)
        return LutTriangulation::gridSize - 1;
    return static_cast<int>(truncated);
}

} // namespace

std::optional<LutTriangulation> LutTriangulation::build(const LutData& table)
{
    const size_t rowCount = table.rowCount();
    if (rowCount < 3 || table.deform.size() != rowCount || table.emodulus.size() != rowCount)
        return std::nullopt;
    // Vertex indices are ints; a table of this size could not be triangulated in
    // quadratic time anyway.
    if (rowCount > static_cast<size_t>(std::numeric_limits<int>::max() / 4))
        return std::nullopt;

    LutTriangulation t;
    const auto [areaLow, areaHigh] = std::minmax_element(table.area.begin(), table.area.end());
    const auto [deformLow, deformHigh] =
        std::minmax_element(table.deform.begin(), table.deform.end());
    t.areaMin = *areaLow;
    t.areaMax = *areaHigh;
    t.deformMin = *deformLow;
    t.deformMax = *deformHigh;
    t.areaRange = t.areaMax - t.areaMin;
    t.deformRange = t.deformMax - t.deformMin;
    if (!(std::isfinite(t.areaRange) && t.areaRange > 0.0 && std::isfinite(t.deformRange)
          && t.deformRange > 0.0))
        return std::nullopt;

    const int n = static_cast<int>(rowCount);
    t.x.resize(rowCount);
    t.y.resize(rowCount);
    for (size_t i = 0; i < rowCount; ++i) {
        t.x[i] = (table.area[i] - t.areaMin) / t.areaRange;
        t.y[i] = (table.deform[i] - t.deformMin) / t.deformRange;
    }
    t.emodulus = table.emodulus;

    // Working coordinates: the rows followed by the three super-triangle corners.
    std::vector<double> px = t.x;
    std::vector<double> py = t.y;
    px.insert(px.end(), {-10.0 * superScale, 20.0 * superScale, -10.0 * superScale});
    py.insert(py.end(), {-10.0 * superScale, -10.0 * superScale, 20.0 * superScale});

    const auto oriented = [&px, &py](int a, int b, int c) {
        if (orientationSign(px[a], py[a], px[b], py[b], px[c], py[c]) >= 0)
            return LutTriangle{a, b, c};
        return LutTriangle{a, c, b};
    };

    std::vector<LutTriangle> triangles;
    triangles.reserve(2 * rowCount + 8);
    triangles.push_back(oriented(n, n + 1, n + 2));

    std::vector<int> bad;
    std::vector<Edge> boundary;
    std::vector<char> isBad;
    for (int p = 0; p < n; ++p) {
        const double x = px[p];
        const double y = py[p];
        bad.clear();
        for (size_t j = 0; j < triangles.size(); ++j) {
            const LutTriangle& tri = triangles[j];
            if (inCircleSign(px[tri.a], py[tri.a], px[tri.b], py[tri.b], px[tri.c], py[tri.c], x,
                             y)
                > 0)
                bad.push_back(static_cast<int>(j));
        }
        // A row equal to an earlier one lies inside no circumcircle: it is left out.
        if (bad.empty())
            continue;

        boundary.clear();
        for (int j : bad) {
            const LutTriangle& tri = triangles[j];
            const Edge edges[3] = {{tri.a, tri.b}, {tri.b, tri.c}, {tri.c, tri.a}};
            for (const Edge& edge : edges) {
                bool shared = false;
                for (int k : bad) {
                    if (k != j && hasVertex(triangles[k], edge.from)
                        && hasVertex(triangles[k], edge.to)) {
                        shared = true;
                        break;
                    }
                }
                if (!shared)
                    boundary.push_back(edge);
            }
        }

        isBad.assign(triangles.size(), 0);
        for (int j : bad)
            isBad[j] = 1;
        size_t kept = 0;
        for (size_t j = 0; j < triangles.size(); ++j) {
            if (!isBad[j])
                triangles[kept++] = triangles[j];
        }
        triangles.resize(kept);
        for (const Edge& edge : boundary)
            triangles.push_back(oriented(p, edge.from, edge.to));
    }

    for (const LutTriangle& tri : triangles) {
        if (tri.a < n && tri.b < n && tri.c < n)
            t.triangles.push_back(tri);
    }

    t.cells.assign(static_cast<size_t>(gridSize) * gridSize, {});
    for (size_t j = 0; j < t.triangles.size(); ++j) {
        const LutTriangle& tri = t.triangles[j];
        const double minX = std::min({t.x[tri.a], t.x[tri.b], t.x[tri.c]});
        const double maxX = std::max({t.x[tri.a], t.x[tri.b], t.x[tri.c]});
        const double minY = std::min({t.y[tri.a], t.y[tri.b], t.y[tri.c]});
        const double maxY = std::max({t.y[tri.a], t.y[tri.b], t.y[tri.c]});
        const int ix0 = clampCell(minX * gridSize), ix1 = clampCell(maxX * gridSize);
        const int iy0 = clampCell(minY * gridSize), iy1 = clampCell(maxY * gridSize);
        for (int iy = iy0; iy <= iy1; ++iy) {
            for (int ix = ix0; ix <= ix1; ++ix)
                t.cells[static_cast<size_t>(iy) * gridSize + ix].push_back(static_cast<int>(j));
        }
    }
    return t;
}

double LutTriangulation::interpolate(double area, double deform) const
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Checked before any index arithmetic: converting NaN to an index is undefined.
    if (!std::isfinite(area) || !std::isfinite(deform) || cells.empty())
        return nan;
    const double u = (area - areaMin) / areaRange;
    const double v = (deform - deformMin) / deformRange;
    if (!(u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0))
        return nan;

    const int ix = clampCell(u * gridSize);
    const int iy = clampCell(v * gridSize);
    for (int j : cells[static_cast<size_t>(iy) * gridSize + ix]) {
        const LutTriangle& tri = triangles[j];
        const double x0 = x[tri.a], y0 = y[tri.a];
        const double x1 = x[tri.b], y1 = y[tri.b];
        const double x2 = x[tri.c], y2 = y[tri.c];
        const double det = (y0 - y2) * (x2 - x1) + (y1 - y2) * (x0 - x2);
        if (std::fabs(det) < 1e-20)
            continue;
        const double l0 = ((v - y2) * (x2 - x1) + (u - x2) * (y1 - y2)) / det;
        if (!(l0 >= -1e-10))
            continue;
        const double l1 = ((y2 - y0) * (u - x2) + (v - y2) * (x0 - x2)) / det;
        const double l2 = 1.0 - l0 - l1;
        if (!(l1 >= -1e-10 && l2 >= -1e-10))
            continue;
        return l2 * emodulus[tri.c] + (l0 * emodulus[tri.a] + l1 * emodulus[tri.b]);
    }
    return nan;
}

} // namespace Tervane3
