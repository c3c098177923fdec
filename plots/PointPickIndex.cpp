// The k-d tree of the scatter plot's picking.
#include "plots/PointPickIndex.h"

#include "core/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

namespace Tervane3 {

namespace {

constexpr std::int32_t kLeafSize = 16;
// Below this many points a subtree is built on the calling thread.
constexpr std::int32_t kParallelMinimum = 65536;

} // namespace

void PointPickIndex::clear()
{
    points.clear();
    nodes.clear();
}

void PointPickIndex::build(const std::vector<double>& x, const std::vector<double>& y)
{
    clear();
    const size_t n = std::min(x.size(), y.size());
    if (n > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()))
        return;
    points.reserve(n);
    Region all{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
               std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (size_t i = 0; i < n; ++i) {
        if (std::isfinite(x[i]) && std::isfinite(y[i])) {
            points.push_back({x[i], y[i], static_cast<std::int32_t>(i)});
            all.x0 = std::min(all.x0, x[i]);
            all.x1 = std::max(all.x1, x[i]);
            all.y0 = std::min(all.y0, y[i]);
            all.y1 = std::max(all.y1, y[i]);
        }
    }
    if (points.empty())
        return;
    // Halving stops at kLeafSize, so leaves hold at least kLeafSize / 2 points.
    nodes.reserve(4 * points.size() / kLeafSize + 2);
    // The upper levels hand one of their halves to another thread: 2^levels subtrees.
    int levels = 0;
    while ((2 << levels) <= workerThreadCount())
        ++levels;
    buildNode(nodes, 0, static_cast<std::int32_t>(points.size()), all, levels);
}

std::int32_t PointPickIndex::buildNode(std::vector<Node>& out, std::int32_t begin, std::int32_t end,
                                       const Region& region, int parallelLevels)
{
    const std::int32_t self = static_cast<std::int32_t>(out.size());
    out.emplace_back();
    out.back().begin = begin;
    out.back().end = end;

    // A leaf, or a region that has shrunk to a point (its points coincide).
    const bool flat = region.x0 == region.x1 && region.y0 == region.y1;
    if (end - begin <= kLeafSize || flat) {
        Node& leaf = out.back();
        leaf.x0 = leaf.y0 = std::numeric_limits<double>::infinity();
        leaf.x1 = leaf.y1 = -std::numeric_limits<double>::infinity();
        for (std::int32_t i = begin; i < end; ++i) {
            const Point& p = points[static_cast<size_t>(i)];
            leaf.x0 = std::min(leaf.x0, p.x);
            leaf.x1 = std::max(leaf.x1, p.x);
            leaf.y0 = std::min(leaf.y0, p.y);
            leaf.y1 = std::max(leaf.y1, p.y);
        }
        return self;
    }

    // Split the longer side of the region in the middle, which one partition pass does;
    // where that leaves more than three quarters on one side (clustered points), split at
    // the median instead, so every level takes at least a quarter off and the depth stays
    // below 50 for any input. The children's boxes are gathered bottom-up, so no level
    // scans its points for a box.
    const bool splitX = (region.x1 - region.x0) >= (region.y1 - region.y0);
    const auto coordinate = [splitX](const Point& p) { return splitX ? p.x : p.y; };
    const auto first = points.begin() + begin;
    const auto last = points.begin() + end;
    double cut = splitX ? 0.5 * (region.x0 + region.x1) : 0.5 * (region.y0 + region.y1);
    std::int32_t mid = static_cast<std::int32_t>(
        std::partition(first, last, [&](const Point& p) { return coordinate(p) < cut; }) - points.begin());
    const std::int32_t quarter = (end - begin) / 4;
    if (mid - begin < quarter || end - mid < quarter) {
        mid = begin + (end - begin) / 2;
        std::nth_element(first, points.begin() + mid, last,
                         [&](const Point& a, const Point& b) { return coordinate(a) < coordinate(b); });
        cut = coordinate(points[static_cast<size_t>(mid)]);
    }
    Region lower = region;
    Region upper = region;
    (splitX ? lower.x1 : lower.y1) = cut;
    (splitX ? upper.x0 : upper.y0) = cut;
    std::int32_t left = -1;
    std::int32_t right = -1;
    if (parallelLevels > 0 && end - begin >= kParallelMinimum) {
        // The two halves own disjoint ranges of points; the other thread's nodes are
        // appended afterwards with their child links moved by the offset.
        std::vector<Node> upperNodes;
        std::exception_ptr failure;
        std::thread worker([&] {
            try {
                upperNodes.reserve(4 * static_cast<size_t>(end - mid) / kLeafSize + 2);
                buildNode(upperNodes, mid, end, upper, parallelLevels - 1);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        try {
            left = buildNode(out, begin, mid, lower, parallelLevels - 1);
        } catch (...) {
            worker.join();
            throw;
        }
        worker.join();
        if (failure)
            std::rethrow_exception(failure);
        right = static_cast<std::int32_t>(out.size());
        for (Node moved : upperNodes) {
            if (moved.left >= 0) {
                moved.left += right;
                moved.right += right;
            }
            out.push_back(moved);
        }
    } else {
        left = buildNode(out, begin, mid, lower, 0);
        right = buildNode(out, mid, end, upper, 0);
    }

    Node& node = out[static_cast<size_t>(self)];
    const Node& l = out[static_cast<size_t>(left)];
    const Node& r = out[static_cast<size_t>(right)];
    node.left = left;
    node.right = right;
    node.x0 = std::min(l.x0, r.x0);
    node.x1 = std::max(l.x1, r.x1);
    node.y0 = std::min(l.y0, r.y0);
    node.y1 = std::max(l.y1, r.y1);
    return self;
}

int PointPickIndex::nearest(double qx, double qy, double sx, double sy, double limit) const
{
    if (nodes.empty() || !(sx != 0.0) || !(sy != 0.0) || !std::isfinite(sx) || !std::isfinite(sy)
        || !std::isfinite(qx) || !std::isfinite(qy))
        return -1;
    const double wx = 1.0 / (sx * sx);
    const double wy = 1.0 / (sy * sy);
    const auto boxDistance = [&](const Node& node) {
        const double dx = qx < node.x0 ? node.x0 - qx : (qx > node.x1 ? qx - node.x1 : 0.0);
        const double dy = qy < node.y0 ? node.y0 - qy : (qy > node.y1 ? qy - node.y1 : 0.0);
        return dx * dx * wx + dy * dy * wy;
    };

    double best = limit;
    std::int32_t bestIndex = -1;
    // Nodes whose box lies farther than the best distance are skipped; a box exactly at
    // the best distance is still visited, since it may hold an equally near point with a
    // lower index.
    std::int32_t stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes[static_cast<size_t>(stack[--top])];
        if (boxDistance(node) > best)
            continue;
        if (node.left < 0) {
            for (std::int32_t i = node.begin; i < node.end; ++i) {
                const Point& p = points[static_cast<size_t>(i)];
                const double dx = p.x - qx;
                const double dy = p.y - qy;
                const double d = dx * dx * wx + dy * dy * wy;
                if (d < best || (d == best && bestIndex >= 0 && p.index < bestIndex)) {
                    best = d;
                    bestIndex = p.index;
                }
            }
            continue;
        }
        // The nearer child goes on the stack last, so it is searched first.
        const Node& l = nodes[static_cast<size_t>(node.left)];
        const Node& r = nodes[static_cast<size_t>(node.right)];
        const bool leftFirst = boxDistance(l) <= boxDistance(r);
        if (top + 2 > static_cast<int>(sizeof(stack) / sizeof(stack[0])))
            continue; // cannot happen: the tree of 2^31 points is 27 levels deep
        stack[top++] = leftFirst ? node.right : node.left;
        stack[top++] = leftFirst ? node.left : node.right;
    }
    return bestIndex;
}

} // namespace Tervane3
