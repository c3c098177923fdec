// Density-based clusters (DBSCAN) of a two-dimensional embedding on a grid of cells as
// large as the radius, the automatic choice of that radius, and the cluster model that
// gives any embedded event the id of its nearest clustered training point within the
// radius, so that every dataset a fit is applied to gets the same ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tervane3 {

struct DimRedClusterModel
{
    std::vector<double> embedding; // x, y of every clustered training point, interleaved
    std::vector<int32_t> labels;   // cluster id of each stored point
    int32_t clusterCount = 0;
    double eps = 0.0;
    int32_t minPts = 0;
    bool valid = false;

    // One id per point (the smaller of the two lengths) as a double: the label of the
    // nearest stored point no farther than eps (the earlier stored one on a tie), NaN for
    // none and for non-finite coordinates.
    void assign(const std::vector<double>& x, const std::vector<double>& y, std::vector<double>& out) const;
};

// Points grouped by grid cell: a query with a radius up to the cell size scans the 3 x 3
// cells around the query's cell, each cell's points in ascending index order. The cells
// are also open to callers that search a wider block of smaller cells.
class DbscanGrid
{
public:
    // points: n interleaved (x, y); only points whose active flag is set are inserted.
    DbscanGrid(const double* points, uint64_t n, const std::vector<char>& active, double cellSize);

    // Every inserted point with squared distance <= radius^2 from (x, y), the point itself
    // included; radius must not exceed the cell size.
    void query(double x, double y, double radius, std::vector<int32_t>& out) const;

    // The 64-bit key of the cell holding (x, y): column shifted left by 32 bits, XOR the
    // row's low 32 bits. Cell indices beyond the range of int64 are clamped.
    static uint64_t cellKey(int64_t cx, int64_t cy);
    static int64_t cellIndex(double v, double cellSize);

    // Cells are numbered 0 .. cellCount() - 1 in ascending key order. Only the low 32 bits
    // of a cell index enter its key, so neighbouring cells are reached by wrapping 32-bit
    // steps, also at the clamped ends; cells 2^32 apart share a key and a member list.
    size_t cellCount() const { return cellKeys.size(); }
    // -1 when no inserted point lies in the cell.
    int64_t findCell(uint32_t column, uint32_t row) const;
    uint32_t cellColumn(size_t c) const { return static_cast<uint32_t>(cellKeys[c] >> 32); }
    uint32_t cellRow(size_t c) const { return static_cast<uint32_t>(cellKeys[c]); }
    // The cell's points, ascending.
    const int32_t* begin(size_t c) const { return members.data() + cellStart[c]; }
    const int32_t* end(size_t c) const { return members.data() + cellStart[c + 1]; }
    uint32_t column(double x) const { return static_cast<uint32_t>(static_cast<uint64_t>(cellIndex(x, cell))); }
    uint32_t row(double y) const { return static_cast<uint32_t>(static_cast<uint64_t>(cellIndex(y, cell))); }

private:
    const double* points;
    double cell;
    std::vector<uint64_t> cellKeys;   // per cell
    std::vector<uint32_t> cellStart;  // per cell, then the end of the last
    std::vector<int32_t> members;     // point indices, cell by cell
    std::vector<int32_t> hashSlots;   // open-addressing hash: key -> cell, -1 empty
    uint64_t mask = 0;
};

// Labels per point: cluster ids 0, 1, ... in the order of each cluster's first core point,
// -1 for noise and for points with a non-finite coordinate.
std::vector<int> dbscan(const double* points, uint64_t n, double eps, int minPts, int& clusterCount);

DimRedClusterModel fitClusterModel(const std::vector<double>& x, const std::vector<double>& y, double eps,
                                   int minPts);

// A radius from the longest run of equal cluster counts (at least 2) over 28 candidate
// radii on a strided sample; 0 when none can be chosen.
double estimateDbscanEps(const double* points, uint64_t n, int minPts);

} // namespace Tervane3
