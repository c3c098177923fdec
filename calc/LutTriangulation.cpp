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

// A triangle of the working triangulation. Edge k runs from v[k] to v[(k + 1) % 3];
// next[k] is the triangle on the other side of edge k (-1 on the super-triangle's rim).
struct WorkTriangle
{
    int v[3];
    int next[3];
    bool alive;
};

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

// Bowyer-Watson over the points in index order; the last three points are the corners of
// the super-triangle. Triangles are never moved: a new one is appended and a removed one
// is only marked, so the order of the live triangles is their creation order. That is the
// order of a list from which removed triangles are deleted (the rest keeping their order)
// and to which new ones are appended. The triangles whose circumcircle holds the new point
// are found by walking to the triangle that contains it and spreading to neighbours: in a
// Delaunay triangulation that region is connected, so the search visits only the cavity
// and its rim instead of every triangle.
class Builder
{
public:
    Builder(const std::vector<double>& x, const std::vector<double>& y)
        : px(x)
        , py(y)
    {
        const int n = static_cast<int>(px.size()) - 3;
        pool.reserve(6 * static_cast<size_t>(n) + 8);
        WorkTriangle first{{n, n + 1, n + 2}, {-1, -1, -1}, true};
        orient(first);
        pool.push_back(first);
    }

    void insert(int p)
    {
        const int seed = locate(p);
        const WorkTriangle& s = pool[seed];
        if (!inCircle(s, p))
            return; // the point equals a vertex: a duplicate row is left out
        collectCavity(seed, p);
        std::sort(cavity.begin(), cavity.end());

        // Rim edges in the order of the cavity's triangles and of their edges, each with
        // the live triangle outside it.
        rim.clear();
        for (int j : cavity) {
            for (int k = 0; k < 3; ++k) {
                const int outside = pool[j].next[k];
                if (outside >= 0 && stamp[outside] == cavityStamp)
                    continue;
                rim.push_back({pool[j].v[k], pool[j].v[(k + 1) % 3], outside, j});
            }
        }
        for (int j : cavity)
            pool[j].alive = false;

        const int firstNew = static_cast<int>(pool.size());
        for (const RimEdge& edge : rim) {
            WorkTriangle t{{p, edge.from, edge.to}, {-1, -1, -1}, true};
            orient(t);
            const int index = static_cast<int>(pool.size());
            pool.push_back(t);
            if (edge.outside >= 0) {
                WorkTriangle& o = pool[edge.outside];
                for (int k = 0; k < 3; ++k) {
                    if (o.next[k] == edge.removed)
                        o.next[k] = index;
                }
            }
        }
        // Neighbours of the new triangles: across the old rim edge the triangle outside,
        // across the edges through p another new triangle.
        const int end = static_cast<int>(pool.size());
        for (int i = firstNew; i < end; ++i) {
            WorkTriangle& t = pool[i];
            const RimEdge& edge = rim[static_cast<size_t>(i - firstNew)];
            for (int k = 0; k < 3; ++k) {
                const int a = t.v[k], b = t.v[(k + 1) % 3];
                if (a != p && b != p) {
                    t.next[k] = edge.outside;
                    continue;
                }
                const int other = a == p ? b : a;
                for (int m = firstNew; m < end; ++m) {
                    if (m != i && hasVertex(pool[m], other)) {
                        t.next[k] = m;
                        break;
                    }
                }
            }
        }
        last = end - 1;
    }

    // The live triangles in creation order, without those that use a corner.
    std::vector<LutTriangle> result(int n) const
    {
        std::vector<LutTriangle> out;
        for (const WorkTriangle& t : pool) {
            if (t.alive && t.v[0] < n && t.v[1] < n && t.v[2] < n)
                out.push_back({t.v[0], t.v[1], t.v[2]});
        }
        return out;
    }

private:
    struct RimEdge
    {
        int from;
        int to;
        int outside; // live triangle beyond the edge, -1 for none
        int removed; // the cavity triangle the edge belonged to
    };

    static bool hasVertex(const WorkTriangle& t, int v)
    {
        return t.v[0] == v || t.v[1] == v || t.v[2] == v;
    }

    // Stores (a, b, c) when the turn a, b, c is counter-clockwise or straight, else (a, c, b).
    void orient(WorkTriangle& t) const
    {
        if (orientationSign(px[t.v[0]], py[t.v[0]], px[t.v[1]], py[t.v[1]], px[t.v[2]],
                            py[t.v[2]])
            < 0)
            std::swap(t.v[1], t.v[2]);
    }

    bool inCircle(const WorkTriangle& t, int p) const
    {
        return inCircleSign(px[t.v[0]], py[t.v[0]], px[t.v[1]], py[t.v[1]], px[t.v[2]],
                            py[t.v[2]], px[p], py[p])
               > 0;
    }

    // A live triangle that contains p (on its boundary included): a walk across every edge
    // that has p strictly on its outer side, from the newest triangle. Such walks end in a
    // Delaunay triangulation; the scan over all triangles only guards against a cycle.
    int locate(int p) const
    {
        int current = last;
        for (size_t steps = 0; steps <= pool.size(); ++steps) {
            const WorkTriangle& t = pool[current];
            int across = -1;
            for (int k = 0; k < 3 && across < 0; ++k) {
                const int a = t.v[k], b = t.v[(k + 1) % 3];
                if (orientationSign(px[a], py[a], px[b], py[b], px[p], py[p]) < 0)
                    across = t.next[k];
            }
            if (across < 0)
                return current;
            current = across;
        }
        for (int j = static_cast<int>(pool.size()) - 1; j >= 0; --j) {
            if (pool[j].alive && contains(pool[j], p))
                return j;
        }
        return last;
    }

    bool contains(const WorkTriangle& t, int p) const
    {
        for (int k = 0; k < 3; ++k) {
            const int a = t.v[k], b = t.v[(k + 1) % 3];
            if (orientationSign(px[a], py[a], px[b], py[b], px[p], py[p]) < 0)
                return false;
        }
        return true;
    }

    void collectCavity(int seed, int p)
    {
        if (stamp.size() < pool.size())
            stamp.resize(2 * pool.size(), 0);
        ++cavityStamp;
        cavity.clear();
        stack.clear();
        stamp[seed] = cavityStamp;
        cavity.push_back(seed);
        stack.push_back(seed);
        ++checkedStamp;
        while (!stack.empty()) {
            const int j = stack.back();
            stack.pop_back();
            for (int k = 0; k < 3; ++k) {
                const int nb = pool[j].next[k];
                if (nb < 0 || stamp[nb] == cavityStamp || checked(nb))
                    continue;
                if (inCircle(pool[nb], p)) {
                    stamp[nb] = cavityStamp;
                    cavity.push_back(nb);
                    stack.push_back(nb);
                }
            }
        }
    }

    // True when nb was already tested (and found outside) during this insertion.
    bool checked(int nb)
    {
        if (tested.size() < stamp.size())
            tested.resize(stamp.size(), 0);
        if (tested[nb] == checkedStamp)
            return true;
        tested[nb] = checkedStamp;
        return false;
    }

    const std::vector<double>& px;
    const std::vector<double>& py;
    std::vector<WorkTriangle> pool;
    int last = 0;
    std::vector<int> cavity;
    std::vector<int> stack;
    std::vector<RimEdge> rim;
    std::vector<unsigned> stamp;
    std::vector<unsigned> tested;
    unsigned cavityStamp = 0;
    unsigned checkedStamp = 0;
};

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

    Builder builder(px, py);
    for (int p = 0; p < n; ++p)
        builder.insert(p);
    t.triangles = builder.result(n);

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
