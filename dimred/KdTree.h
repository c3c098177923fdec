// Exact Euclidean k-nearest-neighbour search over a row-major point matrix the caller owns:
// widest-spread splits at the median, leaves of at most 16 points. A subtree is skipped
// only when it cannot hold a point strictly closer than the current k-th candidate (by the
// splitting plane, or by its bounding box with a relative slack of 1e-12 so that rounding
// never drops a candidate), so the answers, ties included, are those of a search that
// prunes by the plane alone. Read-only after construction: concurrent queries are safe.
#pragma once

#include <cstdint>
#include <vector>

namespace Tervane3 {

struct KdTreeNode
{
    int32_t splitDim = -1;
    double splitValue = 0.0;
    int32_t left = -1;
    int32_t right = -1;
    int32_t start = -1;
    int32_t end = -1;
    bool leaf = false;
};

class KdTree
{
public:
    // points: n rows of dims values; must outlive the tree and stay unchanged.
    KdTree(const std::vector<double>& points, uint64_t n, uint64_t dims);

    // Up to k neighbours of the query (dims values), nearest first by (distance, index),
    // never the excluded index (-1 excludes none). Distances are Euclidean.
    void query(const double* point, int k, int32_t excluded, std::vector<int32_t>& indices,
               std::vector<double>& distances) const;

    uint64_t size() const { return n; }
    uint64_t dimensions() const { return dims; }
    const std::vector<KdTreeNode>& treeNodes() const { return nodes; }
    int32_t rootNode() const { return root; }
    // The permutation of the points: every leaf owns one contiguous range of it.
    const std::vector<int32_t>& order() const { return index; }

    // The k best (squared distance, index) pairs met so far, sorted ascending; a new point
    // replaces the worst only when strictly closer.
    class Candidates
    {
    public:
        explicit Candidates(int k);
        void offer(double d2, int32_t i);
        bool full() const { return count == capacity; }
        double worst() const { return d2s[count - 1]; }
        int size() const { return count; }
        double distance2(int j) const { return d2s[j]; }
        int32_t indexAt(int j) const { return ids[j]; }
        void clear() { count = 0; }

    private:
        int capacity;
        int count = 0;
        std::vector<double> d2s;
        std::vector<int32_t> ids;
    };

    // The search behind query(), exposed for callers that keep one candidate buffer per
    // thread; the candidates are cleared first.
    void search(const double* point, int32_t excluded, Candidates& candidates) const;

private:
    int32_t build(int32_t start, int32_t end, int depth);
    void searchNode(int32_t node, const double* point, int32_t excluded, Candidates& candidates) const;
    double boxDistance2(int32_t node, const double* point) const;

    const std::vector<double>& points;
    uint64_t n;
    uint64_t dims;
    std::vector<int32_t> index;
    std::vector<KdTreeNode> nodes;
    int32_t root = -1;
    // Per node: the bounding box of its points (dims minima, then dims maxima).
    std::vector<double> boxes;
    // The points again in the order of index, so that a leaf's points are contiguous.
    std::vector<double> leafPoints;
};

} // namespace Tervane3
