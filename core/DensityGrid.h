// The smoothed two-dimensional histogram of a kernel density estimate: the density
// colouring interpolates it at the events and the contour lines are traced through it.
#pragma once

#include <cstddef>
#include <vector>

namespace Tervane3 {

struct DensityGrid
{
    // bins x bins smoothed counts, row-major: row r (y direction), column c (x direction)
    // at r * bins + c. The value of a cell sits at its centre,
    // (xMin + (c + 0.5) * dx, yMin + (r + 0.5) * dy).
    std::vector<double> values;
    int bins = 0; // 0 for an empty grid
    double xMin = 0.0;
    double yMin = 0.0;
    double dx = 0.0;
    double dy = 0.0;

    bool isEmpty() const { return bins <= 0 || values.empty(); }
    double at(int row, int column) const
    {
        return values[static_cast<std::size_t>(row) * static_cast<std::size_t>(bins)
                      + static_cast<std::size_t>(column)];
    }
};

} // namespace Tervane3
