// The k-d tree of the scatter plot's picking.
#include "plots/PointPickIndex.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

constexpr std::int32_t kLeafSize = 16;

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
    for (size_t i = 0; i < n; ++i) {
        if (std::isfinite(x[i]) && std::isfinite(y[i]))
            points.push_back({x[i], y[i], static_cast<std::int32_t>(i)});
    }
    if (points.empty())
        return;
    nodes.reserve(2 * (points.size() / kLeafSize + 1));
    buildNode(0, static_cast<std::int32_t>(points.size()));
}

std::int32_t PointPickIndex::buildNode(std::int32_t begin, std::int32_t end)
{
    Node node;
    node.begin = begin;
    node.end = end;
    node.x0 = node.y0 = std::numeric_limits<double>::infinity();
    node.x1 = node.y1 = -std::numeric_limits<double>::infinity();
    for (std::int32_t i = begin; i < end; ++i) {
        const Point& p = points[static_cast<size_t>(i)];
        node.x0 = std::min(node.x0, p.x);
        node.x1 = std::max(node.x1, p.x);
        node.y0 = std::min(node.y0, p.y);
        node.y1 = std::max(node.y1, p.y);
    }
    const std::int32_t self = static_cast<std::int32_t>(nodes.size());
    nodes.push_back(node);
    // A leaf, or a node whose points all coincide (no split can separate them).
    if (end - begin <= kLeafSize || (node.x0 == node.x1 && node.y0 == node.y1))
        return self;

    const bool splitX = (node.x1 - node.x0) >= (node.y1 - node.y0);
    const std::int32_t mid = begin + (end - begin) / 2;
    std::nth_element(points.begin() + begin, points.begin() + mid, points.begin() + end,
                     [splitX](const Point& a, const Point& b) { return splitX ? a.x < b.x : a.y < b.y; });
    const std::int32_t left = buildNode(begin, mid);
    const std::int32_t right = buildNode(mid, end);
    nodes[static_cast<size_t>(self)].left = left;
    nodes[static_cast<size_t>(self)].right = right;
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
