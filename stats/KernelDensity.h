// Gaussian kernel density of one dataset's event values on a grid shared by all curves of
// a distribution plot, by linear binning and a truncated kernel: O(n + grid x kernel).
#pragma once

#include <QList>

#include <vector>

namespace Tervane3 {

struct DensityGrid
{
    int gridCount = 256;
    double dataRange = 1.0; // pooled maximum - minimum; the last bandwidth fallback
    double gridStep = 1.0;
    double gridMin = 0.0;
    // Grid point i is gridMin + i * gridStep.
};

// The grid over the pooled range [lo, hi] (hi = lo + 1 when lo >= hi) widened by 5 % on
// each side, 256 points.
DensityGrid densityGridFor(double lo, double hi);

struct DensityKernel
{
    double bandwidth = 0.0; // h
    int halfWidth = 1;      // K: the kernel spans -K .. K grid steps
};

// h = max(step, 0.5 s n^-0.2) with s the smaller of the standard deviation (divisor n) and
// the quartile spread / 1.34 (quartiles by selection at floor(n/4) and floor(3n/4)),
// falling back to the standard deviation and then to 1 % of the data range;
// K = max(1, ceil(4h / step)). For a non-empty list.
DensityKernel densityKernel(const DensityGrid& grid, const std::vector<double>& values);

// gridCount density values with unit area on the grid (zeros for no values). A value at
// the last grid point or beyond falls into the last bin; kernel terms beyond the grid are
// left out.
QList<double> kernelDensityOnGrid(const DensityGrid& grid, const std::vector<double>& values);

} // namespace Tervane3
