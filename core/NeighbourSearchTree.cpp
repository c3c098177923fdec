// k-nearest-neighbour density by counting in a k-d tree and fine grids (see
// NeighbourSearchTree.h).
//
// Every distance the search compares is computed as (xi - xj)^2 + (yi - yj)^2 from the
// same doubles, and a node's box bounds are computed with the same operations from its
// extreme coordinates. Rounding is monotone, so a node whose bound is below (above) a
// threshold holds only events whose own computed distance is below (above) it: whole
// nodes can be counted or skipped without changing any result.
#include "core/NeighbourSearchTree.h"

#include "core/DensityBinning.h"
#include "core/ParallelFor.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

constexpr int32_t kLeafSize = 8;
// Cells with more events than this try a fine grid of about kFineEvents events per fine
// cell; they keep their subtree when a fine cell would get more than kFineMaxEvents.
constexpr int32_t kFineGridMinEvents = 256;
constexpr int32_t kFineEvents = 8;
constexpr int32_t kFineMaxEvents = 64;
// At most this many squared distances are listed for the final selection.
constexpr size_t kGatherLimit = 384;
// Blocks of at most this many coarse cells are searched cell by cell.
constexpr int64_t kDirectCells = 49;
// Queries of one coarse cell handled by one task; each task starts without a previous
// answer, so this also bounds the work lost to parallel splitting.
constexpr size_t kQueriesPerTask = 2048;
// Earlier answers of a task that bound the next one.
constexpr size_t kRecentAnswers = 6;
// Events the first probe of a query aims to hold.
constexpr double kGuessEvents = 24.0;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

// The value at index `index` of the ascending order of `values` (which it may reorder).
// Short lists, the usual case, are ranked by counting, without the unpredictable branches
// of a partition.
double selectRanked(std::vector<double>& values, size_t index)
{
    const size_t n = values.size();
    if (n <= 48) {
        const double* v = values.data();
        for (size_t i = 0; i < n; ++i) {
            size_t less = 0;
            size_t notGreater = 0;
            for (size_t j = 0; j < n; ++j) {
                less += v[j] < v[i] ? 1 : 0;
                notGreater += v[j] <= v[i] ? 1 : 0;
            }
            if (less <= index && index < notGreater)
                return v[i];
        }
    }
    std::nth_element(values.begin(), values.begin() + static_cast<ptrdiff_t>(index), values.end());
    return values[index];
}

// The fine cell of v along edges e[0] <= ... <= e[cells]: e[j] <= v < e[j + 1], the last
// cell also taking v = e[cells]; values outside go to the first or last cell.
int32_t fineIndex(double v, const double* e, int32_t cells)
{
    const double span = e[cells] - e[0];
    int32_t j = span > 0.0 ? binIndex((v - e[0]) / span * cells, cells) : 0;
    while (j > 0 && v < e[j])
        --j;
    while (j < cells - 1 && v >= e[j + 1])
        ++j;
    return j;
}

struct AxisCells
{
    double min = 0.0;
    double width = 1.0; // cell width
};

AxisCells axisCells(const double* v, size_t n, int cells)
{
    double lo = v[0];
    double hi = v[0];
    for (size_t i = 1; i < n; ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
    const double range = hi - lo > 0.0 ? hi - lo : 1.0;
    return {lo, range / cells};
}

} // namespace

int32_t NeighbourSearchTree::nodeCount(int32_t size)
{
    if (size <= kLeafSize)
        return 1;
    return 1 + nodeCount(size / 2) + nodeCount(size - size / 2);
}

NeighbourSearchTree::NeighbourSearchTree(const double* x, const double* y, size_t n, int grid,
                                         double xMin, double xWidth, double yMin, double yWidth)
    : m_grid(grid)
{
    const size_t g = static_cast<size_t>(grid);

    // Rank the cells in the order in which the upper tree visits them (longer side of a
    // rectangle halved first), so that the events of every node are contiguous.
    m_cellRank.assign(g * g, 0);
    {
        int32_t next = 0;
        struct Rect
        {
            int32_t col0, col1, row0, row1;
        };
        std::vector<Rect> pending{{0, grid - 1, 0, grid - 1}};
        while (!pending.empty()) {
            const Rect r = pending.back();
            pending.pop_back();
            if (r.col0 == r.col1 && r.row0 == r.row1) {
                m_cellRank[static_cast<size_t>(r.row0) * g + static_cast<size_t>(r.col0)] = next++;
                continue;
            }
            // The second half is pushed first, so the first half is ranked first.
            if (r.col1 - r.col0 >= r.row1 - r.row0) {
                const int32_t mid = (r.col0 + r.col1) / 2;
                pending.push_back({mid + 1, r.col1, r.row0, r.row1});
                pending.push_back({r.col0, mid, r.row0, r.row1});
            } else {
                const int32_t mid = (r.row0 + r.row1) / 2;
                pending.push_back({r.col0, r.col1, mid + 1, r.row1});
                pending.push_back({r.col0, r.col1, r.row0, mid});
            }
        }
    }

    // Events grouped by cell rank, in event order within a cell (a counting sort; the cell
    // of an event is computed twice rather than stored).
    const auto rankOf = [&](size_t i) {
        const int32_t col = binIndex((x[i] - xMin) / xWidth, grid);
        const int32_t row = binIndex((y[i] - yMin) / yWidth, grid);
        return static_cast<size_t>(m_cellRank[static_cast<size_t>(row) * g + static_cast<size_t>(col)]);
    };
    m_cellBegin.assign(g * g + 1, 0);
    for (size_t i = 0; i < n; ++i)
        ++m_cellBegin[rankOf(i) + 1];
    for (size_t c = 1; c < m_cellBegin.size(); ++c)
        m_cellBegin[c] += m_cellBegin[c - 1];
    m_points.reset(new Point[n]);
    {
        std::vector<int32_t> fill(m_cellBegin.begin(), m_cellBegin.end() - 1);
        for (size_t i = 0; i < n; ++i)
            m_points[static_cast<size_t>(fill[rankOf(i)]++)] = Point{x[i], y[i], static_cast<int32_t>(i)};
    }

    // Every cell's subtree has a known size, so all of them are built in parallel into
    // their own stretch of m_nodes; the upper nodes (fewer than the cells) follow.
    std::vector<int32_t> cellRoot(g * g, -1);
    std::vector<int32_t> rankCell(g * g);
    for (size_t cell = 0; cell < g * g; ++cell)
        rankCell[static_cast<size_t>(m_cellRank[cell])] = static_cast<int32_t>(cell);
    int32_t nodes = 0;
    int32_t occupied = 0;
    for (size_t rank = 0; rank < g * g; ++rank) {
        const int32_t size = m_cellBegin[rank + 1] - m_cellBegin[rank];
        if (size > 0) {
            cellRoot[rank] = nodes;
            nodes += nodeCount(size);
            ++occupied;
        }
    }
    m_nodes.reset(new Node[static_cast<size_t>(nodes) + static_cast<size_t>(occupied)]);
    m_nodeCount = nodes;
    std::vector<LocalGrid> localGrids(g * g);
    parallelFor(g * g, 64, [&](size_t from, size_t to) {
        for (size_t rank = from; rank < to; ++rank) {
            if (cellRoot[rank] < 0)
                continue;
            const int32_t cell = rankCell[rank];
            const int32_t begin = m_cellBegin[rank];
            const int32_t end = m_cellBegin[rank + 1];
            if (end - begin > kFineGridMinEvents && makeFineGrid(begin, end, localGrids[rank])) {
                Node& node = m_nodes[static_cast<size_t>(cellRoot[rank])];
                node.begin = begin;
                node.end = end;
                node.left = -1;
                node.right = -1;
                node.col0 = node.col1 = cell % grid;
                node.row0 = node.row1 = cell / grid;
                node.grid = 0; // the index follows once all grids are known
                setBox(node);
            } else {
                buildCell(cellRoot[rank], begin, end, cell % grid, cell / grid);
            }
        }
    });
    // The fine grids in rank order; a node's grid index is set only now.
    for (size_t rank = 0; rank < g * g; ++rank) {
        LocalGrid& local = localGrids[rank];
        if (local.cols == 0)
            continue;
        FineGrid fine{local.cols, local.rows, static_cast<int32_t>(m_edges.size()),
                      static_cast<int32_t>(m_fineStart.size())};
        m_edges.insert(m_edges.end(), local.edges.begin(), local.edges.end());
        m_fineStart.insert(m_fineStart.end(), local.starts.begin(), local.starts.end());
        m_nodes[static_cast<size_t>(cellRoot[rank])].grid = static_cast<int32_t>(m_grids.size());
        m_grids.push_back(fine);
        LocalGrid().edges.swap(local.edges);
        std::vector<int32_t>().swap(local.starts);
    }

    int32_t nextRank = 0;
    m_root = buildUpper(0, grid - 1, 0, grid - 1, cellRoot, nextRank);
    m_cellRoot.assign(g * g, -1);
    for (size_t cell = 0; cell < g * g; ++cell)
        m_cellRoot[cell] = cellRoot[static_cast<size_t>(m_cellRank[cell])];
}

int32_t NeighbourSearchTree::addNode(const Node& node)
{
    m_nodes[static_cast<size_t>(m_nodeCount)] = node;
    return m_nodeCount++;
}

int32_t NeighbourSearchTree::buildUpper(int32_t col0, int32_t col1, int32_t row0, int32_t row1,
                                        const std::vector<int32_t>& cellRoot, int32_t& nextRank)
{
    if (col0 == col1 && row0 == row1)
        return cellRoot[static_cast<size_t>(nextRank++)];
    int32_t left;
    int32_t right;
    if (col1 - col0 >= row1 - row0) {
        const int32_t mid = (col0 + col1) / 2;
        left = buildUpper(col0, mid, row0, row1, cellRoot, nextRank);
        right = buildUpper(mid + 1, col1, row0, row1, cellRoot, nextRank);
    } else {
        const int32_t mid = (row0 + row1) / 2;
        left = buildUpper(col0, col1, row0, mid, cellRoot, nextRank);
        right = buildUpper(col0, col1, mid + 1, row1, cellRoot, nextRank);
    }
    if (left < 0 || right < 0)
        return left < 0 ? right : left;
    const Node& a = m_nodes[static_cast<size_t>(left)];
    const Node& b = m_nodes[static_cast<size_t>(right)];
    Node node;
    node.x0 = std::min(a.x0, b.x0);
    node.x1 = std::max(a.x1, b.x1);
    node.y0 = std::min(a.y0, b.y0);
    node.y1 = std::max(a.y1, b.y1);
    node.col0 = col0;
    node.col1 = col1;
    node.row0 = row0;
    node.row1 = row1;
    node.begin = a.begin;
    node.end = b.end;
    node.left = left;
    node.right = right;
    node.grid = -1;
    return addNode(node);
}

void NeighbourSearchTree::setBox(Node& node) const
{
    const Point* p = m_points.get();
    node.x0 = node.x1 = p[node.begin].x;
    node.y0 = node.y1 = p[node.begin].y;
    for (int32_t i = node.begin + 1; i < node.end; ++i) {
        node.x0 = std::min(node.x0, p[i].x);
        node.x1 = std::max(node.x1, p[i].x);
        node.y0 = std::min(node.y0, p[i].y);
        node.y1 = std::max(node.y1, p[i].y);
    }
}

int32_t NeighbourSearchTree::buildCell(int32_t index, int32_t begin, int32_t end, int32_t col,
                                       int32_t row)
{
    Node& node = m_nodes[static_cast<size_t>(index)];
    node.begin = begin;
    node.end = end;
    node.left = -1;
    node.right = -1;
    node.col0 = node.col1 = col;
    node.row0 = node.row1 = row;
    node.grid = -1;
    setBox(node);
    if (end - begin <= kLeafSize)
        return index + 1;
    const int32_t mid = begin + (end - begin) / 2;
    Point* first = m_points.get() + begin;
    Point* middle = m_points.get() + mid;
    Point* last = m_points.get() + end;
    if (node.x1 - node.x0 >= node.y1 - node.y0)
        std::nth_element(first, middle, last, [](const Point& a, const Point& b) { return a.x < b.x; });
    else
        std::nth_element(first, middle, last, [](const Point& a, const Point& b) { return a.y < b.y; });
    node.left = index + 1;
    node.right = buildCell(index + 1, begin, mid, col, row);
    return buildCell(node.right, mid, end, col, row);
}

NeighbourSearchTree::Scan NeighbourSearchTree::scan(double px, double py, const Block& block,
                                                    double lo2, double hi2, size_t gatherLimit,
                                                    Workspace& work) const
{
    Scan result;
    work.gathered.clear();
    work.stack.clear();
    // A small block starts from its cells' subtrees; a large one, mostly far away, is
    // better pruned from the top.
    const int64_t cells = static_cast<int64_t>(block.col1 - block.col0 + 1) * (block.row1 - block.row0 + 1);
    if (cells <= kDirectCells) {
        for (int32_t row = block.row0; row <= block.row1; ++row) {
            const int32_t* roots = m_cellRoot.data() + static_cast<size_t>(row) * static_cast<size_t>(m_grid);
            for (int32_t col = block.col0; col <= block.col1; ++col) {
                if (roots[col] >= 0)
                    work.stack.push_back(roots[col]);
            }
        }
    } else if (m_root >= 0) {
        work.stack.push_back(m_root);
    }

    const Node* nodes = m_nodes.get();
    const Point* points = m_points.get();
    while (!work.stack.empty()) {
        const int32_t index = work.stack.back();
        work.stack.pop_back();
        const Node& node = nodes[index];

        const double dxa = px - node.x0;
        const double dxb = px - node.x1;
        const double dya = py - node.y0;
        const double dyb = py - node.y1;
        const double nearX = dxb > 0.0 ? dxb : (dxa < 0.0 ? -dxa : 0.0);
        const double nearY = dyb > 0.0 ? dyb : (dya < 0.0 ? -dya : 0.0);
        const double minD2 = nearX * nearX + nearY * nearY;
        if (minD2 >= hi2)
            continue;
        // Only upper nodes can straddle the block; a cell's nodes are wholly in or out.
        if (!block.meets(node))
            continue;
        const bool whole = block.contains(node);
        const double farX = std::max(std::fabs(dxa), std::fabs(dxb));
        const double farY = std::max(std::fabs(dya), std::fabs(dyb));
        const double maxD2 = farX * farX + farY * farY;
        const int64_t size = node.end - node.begin;
        if (whole && maxD2 < lo2) {
            result.below += size;
            continue;
        }
        if (whole && minD2 >= lo2 && maxD2 < hi2) {
            // Every event of the node lies in the band: count it, and list the distances
            // straight from its contiguous range while the list may still grow.
            result.between += size;
            if (result.gatheredAll && work.gathered.size() + static_cast<size_t>(size) <= gatherLimit) {
                for (int32_t i = node.begin; i < node.end; ++i) {
                    const double dx = px - points[i].x;
                    const double dy = py - points[i].y;
                    work.gathered.push_back(dx * dx + dy * dy);
                }
            } else {
                result.gatheredAll = false;
            }
            continue;
        }
        if (node.grid >= 0) {
            scanGrid(m_grids[static_cast<size_t>(node.grid)], px, py, lo2, hi2, gatherLimit, work, result);
            continue;
        }
        if (node.left >= 0) {
            work.stack.push_back(node.right);
            work.stack.push_back(node.left);
            continue;
        }
        // A leaf lies in one cell, which the block holds since the leaf was reached.
        examine(node.begin, node.end, px, py, lo2, hi2, gatherLimit, work, result);
    }
    if (!result.gatheredAll)
        work.gathered.clear();
    return result;
}

void NeighbourSearchTree::examine(int32_t begin, int32_t end, double px, double py, double lo2,
                                  double hi2, size_t gatherLimit, Workspace& work, Scan& result) const
{
    if (begin >= end)
        return;
    const Point* points = m_points.get();
    int64_t below = 0;
    int64_t between = 0;
    for (int32_t i = begin; i < end; ++i) {
        const double dx = px - points[i].x;
        const double dy = py - points[i].y;
        const double d2 = dx * dx + dy * dy;
        below += d2 < lo2 ? 1 : 0;
        between += (d2 >= lo2) & (d2 < hi2) ? 1 : 0;
    }
    result.below += below;
    result.between += between;
    if (between == 0 || !result.gatheredAll)
        return;
    if (work.gathered.size() + static_cast<size_t>(between) > gatherLimit) {
        result.gatheredAll = false;
        return;
    }
    for (int32_t i = begin; i < end; ++i) {
        const double dx = px - points[i].x;
        const double dy = py - points[i].y;
        const double d2 = dx * dx + dy * dy;
        if (d2 >= lo2 && d2 < hi2)
            work.gathered.push_back(d2);
    }
}

bool NeighbourSearchTree::makeFineGrid(int32_t begin, int32_t end, LocalGrid& grid)
{
    Point* p = m_points.get();
    double x0 = p[begin].x, x1 = x0, y0 = p[begin].y, y1 = y0;
    for (int32_t i = begin + 1; i < end; ++i) {
        x0 = std::min(x0, p[i].x);
        x1 = std::max(x1, p[i].x);
        y0 = std::min(y0, p[i].y);
        y1 = std::max(y1, p[i].y);
    }
    const int32_t n = end - begin;
    const double wx = x1 - x0;
    const double wy = y1 - y0;
    if (!(wx > 0.0) || !(wy > 0.0))
        return false; // a line or a point: the subtree handles those well
    // Roughly square fine cells of about kFineEvents events each.
    const double target = static_cast<double>(n) / kFineEvents;
    const auto count = [](double v) { return static_cast<int32_t>(std::clamp(std::round(v), 1.0, 4096.0)); };
    const int32_t cols = count(std::sqrt(target * wx / wy));
    const int32_t rows = count(std::sqrt(target * wy / wx));

    std::vector<double> edges(static_cast<size_t>(cols + rows + 2));
    double* ex = edges.data();
    double* ey = ex + cols + 1;
    for (int32_t j = 0; j < cols; ++j)
        ex[j] = std::min(x1, x0 + wx * j / cols);
    ex[cols] = x1;
    for (int32_t i = 0; i < rows; ++i)
        ey[i] = std::min(y1, y0 + wy * i / rows);
    ey[rows] = y1;

    std::vector<int32_t> fine(static_cast<size_t>(n));
    std::vector<int32_t> counts(static_cast<size_t>(cols) * static_cast<size_t>(rows) + 1, 0);
    for (int32_t i = 0; i < n; ++i) {
        const Point& q = p[begin + i];
        fine[static_cast<size_t>(i)] = fineIndex(q.y, ey, rows) * cols + fineIndex(q.x, ex, cols);
        if (++counts[static_cast<size_t>(fine[static_cast<size_t>(i)]) + 1] > kFineMaxEvents)
            return false;
    }
    for (size_t c = 1; c < counts.size(); ++c)
        counts[c] += counts[c - 1];
    std::vector<Point> ordered(static_cast<size_t>(n));
    std::vector<int32_t> fill(counts.begin(), counts.end() - 1);
    for (int32_t i = 0; i < n; ++i)
        ordered[static_cast<size_t>(fill[static_cast<size_t>(fine[static_cast<size_t>(i)])]++)] = p[begin + i];
    std::copy(ordered.begin(), ordered.end(), p + begin);

    grid.cols = cols;
    grid.rows = rows;
    grid.edges = std::move(edges);
    grid.starts = std::move(counts);
    for (int32_t& start : grid.starts)
        start += begin;
    return true;
}

void NeighbourSearchTree::scanGrid(const FineGrid& grid, double px, double py, double lo2,
                                   double hi2, size_t gatherLimit, Workspace& work,
                                   Scan& result) const
{
    const double* ex = m_edges.data() + grid.edges;
    const double* ey = ex + grid.cols + 1;
    const int32_t* start = m_fineStart.data() + grid.starts;
    const int32_t cols = grid.cols;

    // Nearest and farthest offsets from p to the closed interval [a, b], computed with the
    // same operations as the distances themselves.
    const auto near = [](double p, double a, double b) {
        const double da = p - a;
        const double db = p - b;
        return db > 0.0 ? db : (da < 0.0 ? -da : 0.0);
    };
    const auto far = [](double p, double a, double b) { return std::max(std::fabs(p - a), std::fabs(p - b)); };

    const int32_t jc = fineIndex(px, ex, cols);
    const auto row = [&](int32_t i) {
        const double nearY = near(py, ey[i], ey[i + 1]);
        const double nearY2 = nearY * nearY;
        if (nearY2 >= hi2)
            return false; // this row and every row beyond it lie outside
        const double farY = far(py, ey[i], ey[i + 1]);
        const double farY2 = farY * farY;
        const auto notOutside = [&](int32_t j) {
            const double nx = near(px, ex[j], ex[j + 1]);
            return nx * nx + nearY2 < hi2;
        };
        const auto inside = [&](int32_t j) {
            const double fx = far(px, ex[j], ex[j + 1]);
            return fx * fx + farY2 < lo2;
        };
        if (!notOutside(jc))
            return true; // jc is the column nearest to p: none of this row is near enough

        // The columns near enough form a run around jc: start from estimates, then step.
        const double reach = std::sqrt(hi2 - nearY2);
        int32_t outL = std::min(jc, fineIndex(px - reach, ex, cols));
        int32_t outR = std::max(jc, fineIndex(px + reach, ex, cols));
        while (outL > 0 && notOutside(outL - 1))
            --outL;
        while (outL < jc && !notOutside(outL))
            ++outL;
        while (outR < cols - 1 && notOutside(outR + 1))
            ++outR;
        while (outR > jc && !notOutside(outR))
            --outR;

        // The columns wholly inside form a run around the column of least far offset,
        // which is jc or one of its neighbours.
        int32_t seed = -1;
        for (const int32_t j : {jc, jc - 1, jc + 1}) {
            if (j >= outL && j <= outR && inside(j)) {
                seed = j;
                break;
            }
        }
        const size_t base = static_cast<size_t>(i) * static_cast<size_t>(cols);
        if (seed < 0) {
            examine(start[base + static_cast<size_t>(outL)], start[base + static_cast<size_t>(outR) + 1],
                    px, py, lo2, hi2, gatherLimit, work, result);
            return true;
        }
        const double inner = lo2 - farY2 > 0.0 ? std::sqrt(lo2 - farY2) : 0.0;
        int32_t inL = std::clamp(fineIndex(px - inner, ex, cols) + 1, outL, seed);
        int32_t inR = std::clamp(fineIndex(px + inner, ex, cols) - 1, seed, outR);
        if (inside(inL)) {
            while (inL > outL && inside(inL - 1))
                --inL;
        } else {
            while (inL < seed && !inside(inL))
                ++inL;
        }
        if (inside(inR)) {
            while (inR < outR && inside(inR + 1))
                ++inR;
        } else {
            while (inR > seed && !inside(inR))
                --inR;
        }
        result.below += start[base + static_cast<size_t>(inR) + 1] - start[base + static_cast<size_t>(inL)];
        examine(start[base + static_cast<size_t>(outL)], start[base + static_cast<size_t>(inL)], px, py,
                lo2, hi2, gatherLimit, work, result);
        examine(start[base + static_cast<size_t>(inR) + 1], start[base + static_cast<size_t>(outR) + 1], px,
                py, lo2, hi2, gatherLimit, work, result);
        return true;
    };

    // Rows outward from the row of p, each way until a row lies wholly outside.
    const int32_t ic = fineIndex(py, ey, grid.rows);
    for (int32_t i = ic; i >= 0 && row(i); --i) {
    }
    for (int32_t i = ic + 1; i < grid.rows && row(i); ++i) {
    }
}

double NeighbourSearchTree::rankedSquaredDistance(double px, double py, const Block& block,
                                                  int64_t rank, int64_t total, double guessLo2,
                                                  double guessHi2, double outerLo2, double outerHi2,
                                                  Workspace& work, double& bandDensity) const
{
    // Invariant: below(lo2) < rank <= below(hi2), below(v) counting distances under v.
    double lo2 = 0.0;
    int64_t belowLo = 0;
    double hi2 = kInf;
    int64_t belowHi = total;
    double p1 = guessLo2;
    double p2 = guessHi2;
    bool zeroProbed = false;

    for (int iteration = 0; iteration < 200; ++iteration) {
        p1 = std::clamp(p1, lo2, hi2);
        p2 = std::clamp(p2, p1, hi2);
        const Scan s = scan(px, py, block, p1, p2, kGatherLimit, work);
        const int64_t below1 = s.below;
        const int64_t below2 = s.below + s.between;
        if (below1 >= rank) {
            hi2 = p1;
            belowHi = below1;
        } else if (below2 < rank) {
            lo2 = p2;
            belowLo = below2;
        } else {
            if (s.gatheredAll) {
                if (p2 > p1 && p2 < kInf)
                    bandDensity = static_cast<double>(s.between) / (p2 - p1);
                return selectRanked(work.gathered, static_cast<size_t>(rank - below1 - 1));
            }
            lo2 = p1;
            belowLo = below1;
            hi2 = p2;
            belowHi = below2;
        }
        if (iteration == 0 && (below1 >= rank || below2 < rank)) {
            // The narrow guess missed: the outer bounds hold the answer on that side.
            p1 = below1 >= rank ? outerLo2 : lo2;
            p2 = below1 >= rank ? hi2 : outerHi2;
            continue;
        }

        // Next probes inside [lo2, hi2).
        const int64_t inside = belowHi - belowLo;
        if (hi2 == kInf) {
            // Every probe so far was too short: reach further out.
            p1 = p2 = lo2 > 0.0 ? lo2 * 4.0 : (guessHi2 > 0.0 ? guessHi2 * 4.0 : 1.0);
            continue;
        }
        if (inside <= static_cast<int64_t>(kGatherLimit)) {
            p1 = lo2;
            p2 = hi2;
            continue;
        }
        if (!(hi2 > std::nextafter(lo2, kInf)))
            return lo2; // [lo2, hi2) holds the one value lo2
        if (lo2 == 0.0 && !zeroProbed) {
            // Many events on top of each other: is the answer 0?
            zeroProbed = true;
            p1 = p2 = std::numeric_limits<double>::denorm_min();
            continue;
        }
        if (iteration % 4 == 3) {
            // Plain bisection now and then, in case the counts mislead the interpolation.
            p1 = p2 = lo2 + (hi2 - lo2) / 2.0;
            continue;
        }
        // Counts grow about linearly with the squared distance: aim a narrow bracket at
        // the expected place of the wanted rank.
        const double margin = 12.0;
        const double span = static_cast<double>(inside);
        const double wanted = static_cast<double>(rank - belowLo);
        const double a = std::clamp((wanted - margin) / span, 0.0, 1.0);
        const double b = std::clamp((wanted + margin) / span, 0.0, 1.0);
        p1 = lo2 + (hi2 - lo2) * a;
        p2 = lo2 + (hi2 - lo2) * b;
    }

    // Not settled by the narrowing (only with pathological values): list everything left.
    const Scan s = scan(px, py, block, lo2, hi2, static_cast<size_t>(total), work);
    auto nth = work.gathered.begin() + (rank - s.below - 1);
    if (nth < work.gathered.begin() || nth >= work.gathered.end())
        return lo2;
    std::nth_element(work.gathered.begin(), nth, work.gathered.end());
    return *nth;
}

std::vector<double> NeighbourSearchTree::knnDensity(const double* x, const double* y, size_t n)
{
    if (n <= 1)
        return std::vector<double>(n, 1.0);

    const int64_t k = std::max<int64_t>(1, static_cast<int64_t>(std::sqrt(static_cast<double>(n))));
    const int grid = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(n) / 20.0)));
    const AxisCells ax = axisCells(x, n, grid);
    const AxisCells ay = axisCells(y, n, grid);

    // Events per coarse cell and their prefix sums, for the ring counts.
    const size_t g = static_cast<size_t>(grid);
    const NeighbourSearchTree tree(x, y, n, grid, ax.min, ax.width, ay.min, ay.width);
    const Point* sorted = tree.m_points.get();
    std::vector<int64_t> prefix((g + 1) * (g + 1), 0);
    for (size_t cell = 0; cell < g * g; ++cell) {
        const size_t rank = static_cast<size_t>(tree.m_cellRank[cell]);
        prefix[(cell / g + 1) * (g + 1) + cell % g + 1] = tree.m_cellBegin[rank + 1] - tree.m_cellBegin[rank];
    }
    for (size_t r = 1; r <= g; ++r) {
        for (size_t c = 1; c <= g; ++c) {
            prefix[r * (g + 1) + c] += prefix[(r - 1) * (g + 1) + c] + prefix[r * (g + 1) + c - 1]
                - prefix[(r - 1) * (g + 1) + c - 1];
        }
    }
    const auto blockCount = [&](const Block& b) {
        const size_t r0 = static_cast<size_t>(b.row0), r1 = static_cast<size_t>(b.row1) + 1;
        const size_t c0 = static_cast<size_t>(b.col0), c1 = static_cast<size_t>(b.col1) + 1;
        return prefix[r1 * (g + 1) + c1] - prefix[r0 * (g + 1) + c1] - prefix[r1 * (g + 1) + c0]
            + prefix[r0 * (g + 1) + c0];
    };
    const auto blockAround = [grid](int32_t col, int32_t row, int radius) {
        return Block{std::max(0, col - radius), std::min(grid - 1, col + radius),
                     std::max(0, row - radius), std::min(grid - 1, row + radius)};
    };

    // Each task takes the events of one cell (or a slice of a crowded cell) in the cell
    // subtree's order, which keeps consecutive queries close to each other.
    struct Task
    {
        size_t cell;
        int32_t begin, end; // range in sorted
    };
    std::vector<Task> tasks;
    for (size_t cell = 0; cell < g * g; ++cell) {
        const size_t rank = static_cast<size_t>(tree.m_cellRank[cell]);
        const int32_t first = tree.m_cellBegin[rank];
        const int32_t last = tree.m_cellBegin[rank + 1];
        for (int32_t b = first; b < last; b += static_cast<int32_t>(kQueriesPerTask))
            tasks.push_back({cell, b, std::min(last, b + static_cast<int32_t>(kQueriesPerTask))});
    }

    std::vector<double> density(n, 0.0);
    // Few events: one thread does it all (thread start-up would dominate).
    parallelFor(tasks.size(), n < (1 << 15) ? tasks.size() : 1, [&](size_t from, size_t to) {
        Workspace work;
        for (size_t t = from; t < to; ++t) {
            const Task& task = tasks[t];
            const int32_t col = static_cast<int32_t>(task.cell % g);
            const int32_t row = static_cast<int32_t>(task.cell / g);

            // Rings around the cell until they hold k events besides the event itself,
            // tested after each complete ring; the same for every event of the cell.
            int radius = 0;
            Block block = blockAround(col, row, 0);
            int64_t total = blockCount(block);
            while (total - 1 < k && radius < grid) {
                ++radius;
                block = blockAround(col, row, radius);
                total = blockCount(block);
            }
            const int64_t entries = total - 1;
            if (entries <= 0)
                continue; // no neighbour at all: density 0
            const int64_t m = std::min(k, entries);
            // The event's own distance 0 is the smallest of the block, so the m-th smallest
            // distance to the others is the (m + 1)-th smallest to all.
            const int64_t rank = m + 1;

            // First guess from the block's mean density. Later ones from the answers of the
            // last few events: an answer moves by at most the distance between two events of
            // the same block, so each earlier answer bounds this one from both sides, and the
            // tightest bounds win.
            const double area = (block.col1 - block.col0 + 1) * ax.width
                * ((block.row1 - block.row0 + 1) * ay.width);
            const double densityGuess = static_cast<double>(rank) * area / (kPi * static_cast<double>(total));
            struct Answer
            {
                double x, y, distance, d2;
            };
            Answer recent[kRecentAnswers];
            size_t answers = 0;
            double bandDensity = 0.0;
            for (int32_t q = task.begin; q < task.end; ++q) {
                const Point& p = sorted[static_cast<size_t>(q)];
                double lo = 0.0;
                double hi = kInf;
                double d2 = -1.0;
                const size_t known = std::min(answers, kRecentAnswers);
                for (size_t a = 0; a < known; ++a) {
                    const Answer& r = recent[a];
                    if (r.x == p.x && r.y == p.y) {
                        d2 = r.d2;
                        break;
                    }
                    const double shift = std::hypot(p.x - r.x, p.y - r.y);
                    lo = std::max(lo, r.distance - shift);
                    hi = std::min(hi, r.distance + shift);
                }
                if (d2 < 0.0) {
                    double lo2 = densityGuess / 2.0;
                    double hi2 = densityGuess * 2.0;
                    double outerLo2 = 0.0;
                    double outerHi2 = kInf;
                    if (known > 0) {
                        // A little slack for the rounding of the computed distances. The
                        // answer rarely moves far within these bounds, so the first probe
                        // is a band around their middle sized, from the events per unit of
                        // squared distance met last time, to hold about kGuessEvents events.
                        lo *= 1.0 - 1e-9;
                        hi *= 1.0 + 1e-9;
                        outerLo2 = lo * lo;
                        outerHi2 = hi * hi;
                        const double middle = (lo + hi) / 2.0;
                        const double half = bandDensity > 0.0 ? kGuessEvents / 2.0 / bandDensity : kInf;
                        lo2 = std::max(outerLo2, middle * middle - half);
                        hi2 = std::min(outerHi2, middle * middle + half);
                    }
                    d2 = tree.rankedSquaredDistance(p.x, p.y, block, rank, total, lo2, hi2, outerLo2,
                                                    outerHi2, work, bandDensity);
                }
                recent[answers % kRecentAnswers] = {p.x, p.y, std::sqrt(d2), d2};
                ++answers;
                const double md = static_cast<double>(m);
                density[static_cast<size_t>(p.event)] = d2 > 0.0 ? md / (kPi * d2) : md;
            }
        }
    });
    return density;
}

} // namespace Tervane3
