// DBSCAN. The labels are those of the textbook expansion (clusters numbered by their first
// core point, a border point taking the first cluster that reaches it, that is the lowest
// id among the clusters of its core neighbours), computed without expanding queues: core
// flags are counted in parallel with an early stop at the minimum, core points within the
// radius are joined by union-find on a grid of half-radius cells (whose points lie within
// the radius of each other, so a dense cell is joined in one pass and two cells already
// joined are skipped), and border points look up their core neighbours in parallel. Every
// join is confirmed by the same distance test the textbook uses, so the cells only save
// work and never decide a label.
#include "dimred/Dbscan.h"

#include "core/ParallelFor.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <limits>
#include <numeric>

namespace Tervane3 {

namespace {

uint64_t mixKey(uint64_t key)
{
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ULL;
    key ^= key >> 33;
    return key;
}

bool finitePoint(const double* p) { return std::isfinite(p[0]) && std::isfinite(p[1]); }

// Cell offsets of a half-radius grid that can hold a point within the radius of a point in
// cell (0, 0): points of cells (a, b) apart are at least (|a| - 1, |b| - 1) cells apart in
// each direction. Own cell first, then by that bound.
struct Offset
{
    int a, b;
};
const std::vector<Offset>& halfRadiusOffsets()
{
    static const std::vector<Offset> offsets = [] {
        std::vector<std::pair<int, Offset>> all;
        for (int a = -3; a <= 3; ++a) {
            for (int b = -3; b <= 3; ++b) {
                const int ga = std::max(std::abs(a) - 1, 0), gb = std::max(std::abs(b) - 1, 0);
                const int bound = ga * ga + gb * gb;
                if (bound <= 4)
                    all.push_back({bound * 16 + std::abs(a) + std::abs(b), Offset{a, b}});
            }
        }
        std::stable_sort(all.begin(), all.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        std::vector<Offset> out;
        for (const auto& e : all)
            out.push_back(e.second);
        return out;
    }();
    return offsets;
}

class UnionFind
{
public:
    explicit UnionFind(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int32_t find(int32_t i)
    {
        while (parent[static_cast<size_t>(i)] != i) {
            parent[static_cast<size_t>(i)] = parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
            i = parent[static_cast<size_t>(i)];
        }
        return i;
    }
    void unite(int32_t a, int32_t b)
    {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
    }

private:
    std::vector<int32_t> parent;
};

} // namespace

int64_t DbscanGrid::cellIndex(double v, double cellSize)
{
    const double c = std::floor(v / cellSize);
    constexpr double kLimit = 9.2e18; // below 2^63
    if (c >= kLimit)
        return std::numeric_limits<int64_t>::max();
    if (c <= -kLimit)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(c);
}

uint64_t DbscanGrid::cellKey(int64_t cx, int64_t cy)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(static_cast<uint64_t>(cx))) << 32)
        ^ static_cast<uint64_t>(static_cast<uint32_t>(static_cast<uint64_t>(cy)));
}

DbscanGrid::DbscanGrid(const double* pointValues, uint64_t n, const std::vector<char>& active, double cellSize)
    : points(pointValues), cell(cellSize)
{
    std::vector<std::pair<uint64_t, int32_t>> keyed;
    for (uint64_t i = 0; i < n; ++i) {
        if (!active[i])
            continue;
        const double* p = points + 2 * i;
        keyed.emplace_back(cellKey(cellIndex(p[0], cell), cellIndex(p[1], cell)), static_cast<int32_t>(i));
    }
    // Sorting by (key, index) groups each cell's points in ascending index order.
    std::sort(keyed.begin(), keyed.end());
    members.resize(keyed.size());
    for (size_t e = 0; e < keyed.size(); ++e) {
        members[e] = keyed[e].second;
        if (e == 0 || keyed[e].first != keyed[e - 1].first) {
            cellKeys.push_back(keyed[e].first);
            cellStart.push_back(static_cast<uint32_t>(e));
        }
    }
    cellStart.push_back(static_cast<uint32_t>(keyed.size()));
    uint64_t capacity = 16;
    while (capacity < 2 * cellKeys.size())
        capacity *= 2;
    mask = capacity - 1;
    hashSlots.assign(capacity, -1);
    for (size_t c = 0; c < cellKeys.size(); ++c) {
        uint64_t slot = mixKey(cellKeys[c]) & mask;
        while (hashSlots[slot] >= 0)
            slot = (slot + 1) & mask;
        hashSlots[slot] = static_cast<int32_t>(c);
    }
}

int64_t DbscanGrid::findCell(uint32_t column, uint32_t rowIndex) const
{
    const uint64_t key = (static_cast<uint64_t>(column) << 32) | rowIndex;
    uint64_t slot = mixKey(key) & mask;
    while (hashSlots[slot] >= 0) {
        if (cellKeys[static_cast<size_t>(hashSlots[slot])] == key)
            return hashSlots[slot];
        slot = (slot + 1) & mask;
    }
    return -1;
}

void DbscanGrid::query(double x, double y, double radius, std::vector<int32_t>& out) const
{
    out.clear();
    const double r2 = radius * radius;
    const uint32_t cx = column(x);
    const uint32_t cy = row(y);
    for (uint32_t dx = 0; dx < 3; ++dx) {
        for (uint32_t dy = 0; dy < 3; ++dy) {
            const int64_t c = findCell(cx + dx - 1u, cy + dy - 1u);
            if (c < 0)
                continue;
            for (const int32_t* i = begin(static_cast<size_t>(c)); i != end(static_cast<size_t>(c)); ++i) {
                const double* p = points + 2 * static_cast<size_t>(*i);
                const double ex = p[0] - x;
                const double ey = p[1] - y;
                if (ex * ex + ey * ey <= r2)
                    out.push_back(*i);
            }
        }
    }
}

std::vector<int> dbscan(const double* points, uint64_t n, double eps, int minPts, int& clusterCount)
{
    clusterCount = 0;
    std::vector<int> labels(n, -1);
    if (n == 0 || !(eps > 0.0) || minPts <= 0 || n > static_cast<uint64_t>(INT32_MAX))
        return labels;
    std::vector<char> active(n, 0);
    for (uint64_t i = 0; i < n; ++i)
        active[i] = finitePoint(points + 2 * i) ? 1 : 0;
    const DbscanGrid grid(points, n, active, eps / 2.0);
    const std::vector<Offset>& offsets = halfRadiusOffsets();
    const double eps2 = eps * eps;
    // The distance test of a neighbourhood query around point i.
    const auto within = [&](size_t i, size_t j) {
        const double ex = points[2 * j] - points[2 * i];
        const double ey = points[2 * j + 1] - points[2 * i + 1];
        return ex * ex + ey * ey <= eps2;
    };
    // Calls visit(cell) for the cells around point i that can hold its neighbours; stops
    // when visit returns false.
    const auto forCellsAround = [&](size_t i, auto&& visit) {
        const uint32_t cx = grid.column(points[2 * i]);
        const uint32_t cy = grid.row(points[2 * i + 1]);
        for (const Offset& o : offsets) {
            const int64_t c = grid.findCell(cx + static_cast<uint32_t>(o.a), cy + static_cast<uint32_t>(o.b));
            if (c >= 0 && !visit(static_cast<size_t>(c)))
                return;
        }
    };

    // Core points: at least minPts points within eps, the point itself included.
    const size_t minCount = static_cast<size_t>(minPts);
    std::vector<char> core(n, 0);
    parallelFor(n, 4096, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            if (!active[i])
                continue;
            size_t count = 0;
            forCellsAround(i, [&](size_t c) {
                for (const int32_t* j = grid.begin(c); j != grid.end(c); ++j) {
                    if (within(i, static_cast<size_t>(*j)) && ++count >= minCount)
                        return false;
                }
                return true;
            });
            core[i] = count >= minCount ? 1 : 0;
        }
    });

    // The core points of each cell, and whether they are all joined to the cell's first one.
    const size_t cells = grid.cellCount();
    std::vector<uint32_t> coreStart(cells + 1, 0);
    std::vector<int32_t> cores;
    for (size_t c = 0; c < cells; ++c) {
        for (const int32_t* j = grid.begin(c); j != grid.end(c); ++j) {
            if (core[static_cast<size_t>(*j)])
                cores.push_back(*j);
        }
        coreStart[c + 1] = static_cast<uint32_t>(cores.size());
    }
    UnionFind sets(n);
    std::vector<char> joinedCell(cells, 1);
    for (size_t c = 0; c < cells; ++c) {
        const int32_t* first = cores.data() + coreStart[c];
        const int32_t* last = cores.data() + coreStart[c + 1];
        for (const int32_t* q = first + 1; q < last; ++q) {
            if (within(static_cast<size_t>(*first), static_cast<size_t>(*q)))
                sets.unite(*first, *q);
            else
                joinedCell[c] = 0;
        }
        if (joinedCell[c])
            continue;
        for (const int32_t* p = first; p < last; ++p) {
            for (const int32_t* q = p + 1; q < last; ++q) {
                if (within(static_cast<size_t>(*p), static_cast<size_t>(*q)))
                    sets.unite(*p, *q);
            }
        }
    }
    for (size_t a = 0; a < cells; ++a) {
        if (coreStart[a] == coreStart[a + 1])
            continue;
        const int32_t* firstA = cores.data() + coreStart[a];
        const int32_t* lastA = cores.data() + coreStart[a + 1];
        const uint32_t ca = grid.cellColumn(a), ra = grid.cellRow(a);
        for (const Offset& o : offsets) {
            const int64_t found = grid.findCell(ca + static_cast<uint32_t>(o.a), ra + static_cast<uint32_t>(o.b));
            if (found <= static_cast<int64_t>(a))
                continue; // each pair of cells once
            const size_t b = static_cast<size_t>(found);
            const int32_t* firstB = cores.data() + coreStart[b];
            const int32_t* lastB = cores.data() + coreStart[b + 1];
            if (firstB == lastB)
                continue;
            if (joinedCell[a] && joinedCell[b]) {
                if (sets.find(*firstA) == sets.find(*firstB))
                    continue;
                bool joined = false;
                for (const int32_t* p = firstA; p < lastA && !joined; ++p) {
                    for (const int32_t* q = firstB; q < lastB; ++q) {
                        if (within(static_cast<size_t>(*p), static_cast<size_t>(*q))) {
                            sets.unite(*p, *q);
                            joined = true;
                            break;
                        }
                    }
                }
            } else {
                for (const int32_t* p = firstA; p < lastA; ++p) {
                    for (const int32_t* q = firstB; q < lastB; ++q) {
                        if (within(static_cast<size_t>(*p), static_cast<size_t>(*q)))
                            sets.unite(*p, *q);
                    }
                }
            }
        }
    }

    // Cluster ids in the order of each cluster's first core point.
    std::vector<int32_t> clusterOfRoot(n, -1);
    for (size_t i = 0; i < n; ++i) {
        if (!core[i])
            continue;
        const size_t root = static_cast<size_t>(sets.find(static_cast<int32_t>(i)));
        if (clusterOfRoot[root] < 0)
            clusterOfRoot[root] = clusterCount++;
        labels[i] = clusterOfRoot[root];
    }

    // Border points: the lowest id among their core neighbours.
    parallelFor(n, 4096, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            if (!active[i] || core[i])
                continue;
            int best = INT_MAX;
            forCellsAround(i, [&](size_t c) {
                for (const int32_t* j = grid.begin(c); j != grid.end(c); ++j) {
                    const size_t s = static_cast<size_t>(*j);
                    if (core[s] && labels[s] < best && within(i, s))
                        best = labels[s];
                }
                return true;
            });
            if (best != INT_MAX)
                labels[i] = best;
        }
    });
    return labels;
}

DimRedClusterModel fitClusterModel(const std::vector<double>& x, const std::vector<double>& y, double eps, int minPts)
{
    DimRedClusterModel model;
    const size_t n = std::min(x.size(), y.size());
    if (n == 0 || !(eps > 0.0) || minPts <= 0)
        return model;
    std::vector<double> points(2 * n);
    for (size_t i = 0; i < n; ++i) {
        points[2 * i] = x[i];
        points[2 * i + 1] = y[i];
    }
    int count = 0;
    const std::vector<int> labels = dbscan(points.data(), n, eps, minPts, count);
    if (count == 0)
        return model;
    for (size_t i = 0; i < n; ++i) {
        if (labels[i] < 0)
            continue;
        model.embedding.push_back(x[i]);
        model.embedding.push_back(y[i]);
        model.labels.push_back(labels[i]);
    }
    model.clusterCount = count;
    model.eps = eps;
    model.minPts = minPts;
    model.valid = !model.labels.empty();
    return model;
}

double estimateDbscanEps(const double* points, uint64_t n, int minPts)
{
    if (minPts < 1 || n < static_cast<uint64_t>(minPts) + 1)
        return 0.0;
    const uint64_t stride = std::max<uint64_t>(1, n / 12000);
    std::vector<double> sample;
    double xmin = std::numeric_limits<double>::infinity(), xmax = -xmin;
    double ymin = xmin, ymax = -xmin;
    for (uint64_t i = 0; i < n; i += stride) {
        const double* p = points + 2 * i;
        if (!finitePoint(p))
            continue;
        sample.push_back(p[0]);
        sample.push_back(p[1]);
        xmin = std::min(xmin, p[0]);
        xmax = std::max(xmax, p[0]);
        ymin = std::min(ymin, p[1]);
        ymax = std::max(ymax, p[1]);
    }
    const uint64_t m = sample.size() / 2;
    if (m < static_cast<uint64_t>(minPts) + 1)
        return 0.0;
    const double h = std::hypot(xmax - xmin, ymax - ymin);
    if (!(h > 0.0))
        return 0.0;

    constexpr int kCandidates = 28;
    double radii[kCandidates];
    for (int i = 0; i < kCandidates; ++i)
        radii[i] = 0.004 * h * std::pow(125.0, static_cast<double>(i) / (kCandidates - 1));
    int counts[kCandidates] = {};
    // The candidates are independent clusterings of the same sample.
    parallelFor(kCandidates, 1, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            int count = 0;
            dbscan(sample.data(), m, radii[i], minPts, count);
            counts[i] = count;
        }
    });

    int bestStart = -1;
    int bestLength = 0;
    for (int i = 0; i < kCandidates;) {
        int j = i;
        while (j < kCandidates && counts[j] == counts[i])
            ++j;
        if (counts[i] >= 2 && j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j;
    }
    if (bestStart < 0)
        return radii[14];
    const double ra = radii[bestStart];
    const double rb = radii[bestStart + bestLength - 1];
    return ra * std::pow(rb / ra, 0.25);
}

void DimRedClusterModel::assign(const std::vector<double>& x, const std::vector<double>& y,
                                std::vector<double>& out) const
{
    const size_t n = std::min(x.size(), y.size());
    out.assign(n, std::numeric_limits<double>::quiet_NaN());
    const size_t stored = std::min(labels.size(), embedding.size() / 2);
    if (!valid || stored == 0 || !(eps > 0.0) || n == 0 || stored > static_cast<size_t>(INT32_MAX))
        return;
    std::vector<char> active(stored, 0);
    for (size_t i = 0; i < stored; ++i)
        active[i] = finitePoint(&embedding[2 * i]) ? 1 : 0;
    // Half-radius cells: the nearest stored point usually lies in the event's own cell or
    // next to it, and a cell that cannot hold anything nearer is skipped.
    const double side = eps / 2.0;
    const DbscanGrid grid(embedding.data(), stored, active, side);
    const std::vector<Offset>& offsets = halfRadiusOffsets();
    const double eps2 = eps * eps;
    parallelFor(n, 4096, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const double px = x[i], py = y[i];
            if (!std::isfinite(px) || !std::isfinite(py))
                continue;
            const int64_t cx = DbscanGrid::cellIndex(px, side);
            const int64_t cy = DbscanGrid::cellIndex(py, side);
            // Cell edges are products of rounded quotients: allow for a few units in the
            // last place of the coordinates before a cell counts as too far.
            const double margin = 1e-9 * side + 1e-15 * (std::fabs(px) + std::fabs(py));
            // Compared without llabs: a clamped cell index may be INT64_MIN, whose negation overflows.
            constexpr int64_t exact = int64_t{1} << 52;
            const bool bounded = cx > -exact && cx < exact && cy > -exact && cy < exact;
            double best = std::numeric_limits<double>::infinity();
            int32_t bestIndex = -1;
            for (const Offset& o : offsets) {
                if (bounded) {
                    const double lox = static_cast<double>(cx + o.a) * side, loy = static_cast<double>(cy + o.b) * side;
                    const double gx = std::max({0.0, lox - px, px - (lox + side)}) - margin;
                    const double gy = std::max({0.0, loy - py, py - (loy + side)}) - margin;
                    const double bound = (gx > 0 ? gx * gx : 0.0) + (gy > 0 ? gy * gy : 0.0);
                    if (bound > best || bound > eps2)
                        continue;
                }
                const int64_t c = grid.findCell(static_cast<uint32_t>(static_cast<uint64_t>(cx)) + static_cast<uint32_t>(o.a),
                                                static_cast<uint32_t>(static_cast<uint64_t>(cy)) + static_cast<uint32_t>(o.b));
                if (c < 0)
                    continue;
                for (const int32_t* s = grid.begin(static_cast<size_t>(c)); s != grid.end(static_cast<size_t>(c)); ++s) {
                    const double ex = embedding[2 * static_cast<size_t>(*s)] - px;
                    const double ey = embedding[2 * static_cast<size_t>(*s) + 1] - py;
                    const double d2 = ex * ex + ey * ey;
                    if (d2 < best || (d2 == best && *s < bestIndex)) {
                        best = d2;
                        bestIndex = *s;
                    }
                }
            }
            if (bestIndex >= 0 && best <= eps2)
                out[i] = labels[static_cast<size_t>(bestIndex)];
        }
    });
}

} // namespace Tervane3
