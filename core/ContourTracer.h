// Marching squares through the cell centres of a density grid at one level, and the joining
// of the cell pieces into polylines. One tracer per level; not shared between threads.
#pragma once

#include "core/ContourLevel.h"
#include "core/DensityGrid.h"

#include <utility>
#include <vector>

namespace Tervane3 {

class ContourTracer
{
public:
    // Names one edge of the lattice of grid points once: kind 0 is the horizontal edge from
    // point (row, column) to (row, column + 1), kind 1 the vertical edge from
    // (row, column + 1) to (row + 1, column + 1). Ordered by row, column, kind.
    struct EdgeKey
    {
        int row = 0;
        int column = 0;
        int kind = 0;
        bool operator<(const EdgeKey& other) const;
        bool operator==(const EdgeKey& other) const;
    };

    // The grid must outlive the tracer.
    ContourTracer(const DensityGrid& grid, double level);

    // All lines of the level, in the order of their first pieces. Closed lines repeat their
    // first point at the end; open lines end on the grid border.
    std::vector<ContourPolyline> trace();

    // Edges of lattice cell (row, column): 0 between its corners z0 = V[r][c] and
    // z1 = V[r][c+1], 1 between z1 and z2 = V[r+1][c+1], 2 between z3 = V[r+1][c] and z2,
    // 3 between z0 and z3. Both cells that share an edge get the same point from it.
    std::pair<double, double> edgeCrossingPoint(int row, int column, int edge) const;
    // Records the piece of cell (row, column) from one of its edges to another.
    void addContourSegment(int row, int column, int edge1, int edge2);
    EdgeKey edgeKey(int row, int column, int edge) const;

private:
    struct Segment
    {
        EdgeKey first;
        EdgeKey second;
        std::pair<double, double> p1;
        std::pair<double, double> p2;
    };

    void traceCells();
    std::vector<ContourPolyline> joinSegments() const;

    const DensityGrid& m_grid;
    double m_level;
    std::vector<Segment> m_segments;
};

} // namespace Tervane3
