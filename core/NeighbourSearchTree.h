// The k-nearest-neighbour density: for every event, the distance to its m-th nearest
// neighbour among the events of the coarse-grid rings searched around its cell. The rings
// are chosen per coarse cell exactly as a ring-by-ring search would choose them; the m-th
// distance is then found by counting (whole tree nodes and fine-grid runs at once) inside
// a narrow band of distances instead of listing every candidate, so the cost per event
// grows with sqrt(k), not with the candidates, also when most events share one coarse cell.
// The results equal those of the literal ring search bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Tervane3 {

class NeighbourSearchTree
{
public:
    // x and y hold n finite values. One density per event: m / (pi d^2), m when d = 0,
    // 1 for every event when n <= 1.
    static std::vector<double> knnDensity(const double* x, const double* y, size_t n);

private:
    struct Point
    {
        double x, y;
        int32_t event; // index in the caller's arrays
    };

    // The upper levels split rectangles of whole coarse cells, so that every node lies
    // either wholly inside or wholly outside a block once it is down to single cells; each
    // cell's events then form a k-d subtree of their own. Every node's events are one
    // contiguous range of m_points.
    struct Node
    {
        double x0, x1, y0, y1;          // bounding box of the node's events
        int32_t col0, col1, row0, row1; // coarse cells the node covers
        int32_t begin, end;             // event range
        int32_t left, right;            // children; both -1 for a leaf, both set otherwise
        int32_t grid;                   // m_grids index of a cell searched by its fine grid, else -1
    };

    // A crowded cell whose events spread evenly is searched through a fine grid rather than
    // a subtree: in each fine row the run of fine cells wholly inside a disc is counted from
    // the fine cells' start indices, and only the cells at the ends of the run are looked at
    // event by event. Every event lies within its fine cell's edges (exact doubles), so the
    // bounds argument of the nodes holds for the fine cells too.
    struct FineGrid
    {
        int32_t cols, rows;
        int32_t edges;  // m_edges: cols + 1 x edges, then rows + 1 y edges
        int32_t starts; // m_fineStart: first event of each fine cell, row-major, then the end
    };

    // A block of coarse cells: every event of a cell searches the same block.
    struct Block
    {
        int32_t col0, col1, row0, row1;
        bool contains(const Node& node) const
        {
            return node.col0 >= col0 && node.col1 <= col1 && node.row0 >= row0 && node.row1 <= row1;
        }
        bool meets(const Node& node) const
        {
            return node.col1 >= col0 && node.col0 <= col1 && node.row1 >= row0 && node.row0 <= row1;
        }
    };

    // Counts of the squared distances from (px, py) to the block's events: `below` those
    // under lo2, `between` those in [lo2, hi2). The latter are also listed in the
    // workspace while there are at most gatherLimit of them (gatheredAll tells).
    struct Scan
    {
        int64_t below = 0;
        int64_t between = 0;
        bool gatheredAll = true;
    };

    // Per-thread scratch space of the queries.
    struct Workspace
    {
        std::vector<double> gathered;
        std::vector<int32_t> stack;
    };

    // Events go to coarse cells of the given origin and widths, as the ring search bins them.
    NeighbourSearchTree(const double* x, const double* y, size_t n, int grid, double xMin,
                        double xWidth, double yMin, double yWidth);

    // The node of a rectangle of cells, built from the cells' subtrees (post-order; -1 when
    // the rectangle holds no event, a single child stands for its parent).
    int32_t buildUpper(int32_t col0, int32_t col1, int32_t row0, int32_t row1,
                       const std::vector<int32_t>& cellRoot, int32_t& nextRank);
    // Builds the k-d subtree of events [begin, end) of cell (col, row) in pre-order from
    // m_nodes[index] on; returns the index after its last node.
    int32_t buildCell(int32_t index, int32_t begin, int32_t end, int32_t col, int32_t row);
    static int32_t nodeCount(int32_t size);
    void setBox(Node& node) const;
    int32_t addNode(const Node& node);

    Scan scan(double px, double py, const Block& block, double lo2, double hi2,
              size_t gatherLimit, Workspace& work) const;
    void scanGrid(const FineGrid& grid, double px, double py, double lo2, double hi2,
                  size_t gatherLimit, Workspace& work, Scan& result) const;
    // Counts (and lists) the distances of events [begin, end) against lo2 and hi2.
    void examine(int32_t begin, int32_t end, double px, double py, double lo2, double hi2,
                 size_t gatherLimit, Workspace& work, Scan& result) const;
    // Orders the events of cell [begin, end) by fine cell when they spread evenly enough;
    // false (nothing changed) when a fine cell would hold too many of them.
    struct LocalGrid
    {
        int32_t cols = 0, rows = 0;
        std::vector<double> edges;
        std::vector<int32_t> starts;
    };
    bool makeFineGrid(int32_t begin, int32_t end, LocalGrid& grid);
    // The rank-th smallest squared distance (1-based, the event itself included) from
    // (px, py) to the block's `total` events. The first probe is [guessLo2, guessHi2); when it
    // misses, the next one reaches to outerLo2 or outerHi2. Guesses and bounds only steer the
    // search: every bracket is checked by counting. bandDensity receives the events per unit
    // of squared distance in the band that settled the answer.
    double rankedSquaredDistance(double px, double py, const Block& block, int64_t rank,
                                 int64_t total, double guessLo2, double guessHi2, double outerLo2,
                                 double outerHi2, Workspace& work, double& bandDensity) const;

    int m_grid;
    // Large buffers without zero-filling: every element is written before it is read.
    std::unique_ptr<Point[]> m_points; // grouped by cell, each cell in its subtree's order
    std::unique_ptr<Node[]> m_nodes;
    int32_t m_nodeCount = 0;
    std::vector<FineGrid> m_grids;
    std::vector<double> m_edges;
    std::vector<int32_t> m_fineStart;
    int32_t m_root = -1;
    std::vector<int32_t> m_cellRank;  // row * grid + col -> rank
    std::vector<int32_t> m_cellBegin; // rank -> first event of the cell in m_points
    std::vector<int32_t> m_cellRoot;  // row * grid + col -> subtree root, -1 when empty
};

} // namespace Tervane3
