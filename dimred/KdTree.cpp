// k-d tree: build by median selection on the widest coordinate, search near side first.
#include "dimred/KdTree.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {
constexpr int32_t kLeafSize = 16;
constexpr double kPruneSlack = 1.0 + 1e-12;
} // namespace

KdTree::Candidates::Candidates(int k)
    : capacity(std::max(k, 0)), d2s(static_cast<size_t>(std::max(k, 0))), ids(static_cast<size_t>(std::max(k, 0)))
{
}

void KdTree::Candidates::offer(double d2, int32_t i)
{
    if (capacity == 0)
        return;
    int pos;
    if (count < capacity) {
        pos = count++;
    } else {
        if (!(d2 < d2s[count - 1]))
            return;
        pos = count - 1; // the worst leaves
    }
    // Insertion keeps (d2, index) ascending.
    while (pos > 0 && (d2s[pos - 1] > d2 || (d2s[pos - 1] == d2 && ids[pos - 1] > i))) {
        d2s[pos] = d2s[pos - 1];
        ids[pos] = ids[pos - 1];
        --pos;
    }
    d2s[pos] = d2;
    ids[pos] = i;
}

KdTree::KdTree(const std::vector<double>& pointValues, uint64_t count, uint64_t dimensionCount)
    : points(pointValues), n(count), dims(dimensionCount)
{
    index.resize(n);
    for (uint64_t i = 0; i < n; ++i)
        index[i] = static_cast<int32_t>(i);
    if (n == 0 || dims == 0 || points.size() < n * dims)
        return;
    nodes.reserve(static_cast<size_t>(2 * (n / (kLeafSize / 2) + 1)));
    root = build(0, static_cast<int32_t>(n), 0);
    leafPoints.resize(n * dims);
    for (uint64_t pos = 0; pos < n; ++pos)
        std::copy_n(&points[static_cast<size_t>(index[pos]) * dims], dims, &leafPoints[pos * dims]);
}

int32_t KdTree::build(int32_t start, int32_t end, int depth)
{
    const size_t D = dims;
    const int32_t nodeIndex = static_cast<int32_t>(nodes.size());
    nodes.emplace_back();
    boxes.resize(boxes.size() + 2 * D);
    double* lo = &boxes[static_cast<size_t>(nodeIndex) * 2 * D];
    double* hi = lo + D;
    std::fill(lo, lo + D, std::numeric_limits<double>::infinity());
    std::fill(hi, hi + D, -std::numeric_limits<double>::infinity());
    for (int32_t pos = start; pos < end; ++pos) {
        const double* p = &points[static_cast<size_t>(index[pos]) * D];
        for (size_t d = 0; d < D; ++d) {
            lo[d] = std::min(lo[d], p[d]);
            hi[d] = std::max(hi[d], p[d]);
        }
    }
    int32_t splitDim = 0;
    double widest = -std::numeric_limits<double>::infinity();
    for (size_t d = 0; d < D; ++d) {
        const double spread = hi[d] - lo[d];
        if (spread > widest) {
            widest = spread;
            splitDim = static_cast<int32_t>(d);
        }
    }
    if (end - start <= kLeafSize || !(widest > 0.0)) {
        KdTreeNode& node = nodes[static_cast<size_t>(nodeIndex)];
        node.leaf = true;
        node.start = start;
        node.end = end;
        return nodeIndex;
    }
    const int32_t mid = start + (end - start) / 2;
    std::nth_element(index.begin() + start, index.begin() + mid, index.begin() + end,
                     [&](int32_t a, int32_t b) {
                         return points[static_cast<size_t>(a) * D + static_cast<size_t>(splitDim)]
                             < points[static_cast<size_t>(b) * D + static_cast<size_t>(splitDim)];
                     });
    nodes[static_cast<size_t>(nodeIndex)].splitDim = splitDim;
    nodes[static_cast<size_t>(nodeIndex)].splitValue
        = points[static_cast<size_t>(index[mid]) * D + static_cast<size_t>(splitDim)];
    const int32_t left = build(start, mid, depth + 1);
    const int32_t right = build(mid, end, depth + 1);
    nodes[static_cast<size_t>(nodeIndex)].left = left;
    nodes[static_cast<size_t>(nodeIndex)].right = right;
    return nodeIndex;
}

double KdTree::boxDistance2(int32_t node, const double* point) const
{
    const size_t D = dims;
    const double* lo = &boxes[static_cast<size_t>(node) * 2 * D];
    const double* hi = lo + D;
    double sum = 0.0;
    for (size_t d = 0; d < D; ++d) {
        double gap = 0.0;
        if (point[d] < lo[d])
            gap = lo[d] - point[d];
        else if (point[d] > hi[d])
            gap = point[d] - hi[d];
        sum += gap * gap;
    }
    return sum;
}

void KdTree::searchNode(int32_t nodeIndex, const double* point, int32_t excluded, Candidates& candidates) const
{
    const KdTreeNode& node = nodes[static_cast<size_t>(nodeIndex)];
    if (node.leaf) {
        const size_t D = dims;
        for (int32_t pos = node.start; pos < node.end; ++pos) {
            const int32_t id = index[static_cast<size_t>(pos)];
            if (id == excluded)
                continue;
            const double* p = &leafPoints[static_cast<size_t>(pos) * D];
            double d2 = 0.0;
            if (candidates.full()) {
                // Partial sums only grow: stop once the point cannot be strictly closer.
                const double limit = candidates.worst();
                size_t d = 0;
                for (; d < D; ++d) {
                    const double diff = point[d] - p[d];
                    d2 += diff * diff;
                    if (d2 >= limit)
                        break;
                }
                if (d < D)
                    continue;
            } else {
                for (size_t d = 0; d < D; ++d) {
                    const double diff = point[d] - p[d];
                    d2 += diff * diff;
                }
            }
            candidates.offer(d2, id);
        }
        return;
    }
    const double diff = point[node.splitDim] - node.splitValue;
    const int32_t nearChild = diff < 0.0 ? node.left : node.right;
    const int32_t farChild = diff < 0.0 ? node.right : node.left;
    if (!candidates.full() || boxDistance2(nearChild, point) <= candidates.worst() * kPruneSlack)
        searchNode(nearChild, point, excluded, candidates);
    if (candidates.full() && !(candidates.worst() > diff * diff))
        return;
    if (candidates.full() && boxDistance2(farChild, point) > candidates.worst() * kPruneSlack)
        return;
    searchNode(farChild, point, excluded, candidates);
}

void KdTree::search(const double* point, int32_t excluded, Candidates& candidates) const
{
    candidates.clear();
    if (root >= 0)
        searchNode(root, point, excluded, candidates);
}

void KdTree::query(const double* point, int k, int32_t excluded, std::vector<int32_t>& indices,
                   std::vector<double>& distances) const
{
    indices.clear();
    distances.clear();
    if (root < 0 || k <= 0)
        return;
    Candidates candidates(k);
    search(point, excluded, candidates);
    for (int j = 0; j < candidates.size(); ++j) {
        indices.push_back(candidates.indexAt(j));
        distances.push_back(std::sqrt(candidates.distance2(j)));
    }
}

} // namespace Tervane3
