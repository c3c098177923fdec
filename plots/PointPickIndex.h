// Nearest-point search for picking on the scatter plot: a static 2-D k-d tree over the
// points in axis coordinates (after the axes' log or pseudo-log transform), queried with a
// per-axis scale so that the distance is measured in fractions of the visible ranges,
// whatever the current zoom. Built once per data or scale change and then answers a mouse
// move in microseconds where a scan of a million points takes milliseconds.
// Not thread-safe; used on the GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tervane3 {

class PointPickIndex
{
public:
    // Indexes point i at (x[i], y[i]); points with a non-finite coordinate are left out.
    // Only the first min(x.size(), y.size()) points count.
    void build(const std::vector<double>& x, const std::vector<double>& y);
    void clear();
    // Number of indexed (finite) points.
    size_t size() const { return points.size(); }

    // The point with the smallest ((x - qx) / sx)^2 + ((y - qy) / sy)^2, the lowest index
    // among equal distances, provided that distance is below limit; -1 otherwise (also for
    // sx or sy equal to 0 or not finite).
    int nearest(double qx, double qy, double sx, double sy, double limit) const;

private:
    struct Point
    {
        double x;
        double y;
        std::int32_t index;
    };
    struct Node
    {
        double x0 = 0, x1 = 0, y0 = 0, y1 = 0; // bounding box of the node's points
        std::int32_t begin, end;
        std::int32_t left = -1, right = -1; // both -1 for a leaf
    };

    // The part of the plane a node's points were split from (not their tight box).
    struct Region
    {
        double x0, x1, y0, y1;
    };

    // Appends the subtree of points [begin, end) to out and returns its root. The first
    // parallelLevels levels build one half on another thread.
    std::int32_t buildNode(std::vector<Node>& out, std::int32_t begin, std::int32_t end, const Region& region,
                           int parallelLevels);

    std::vector<Point> points; // permuted so that every node's points are contiguous
    std::vector<Node> nodes;   // nodes[0] is the root
};

} // namespace Tervane3
