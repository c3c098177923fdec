// Kernel densities on a grid.
#include "stats/KernelDensity.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

DensityGrid densityGridFor(double lo, double hi)
{
    if (lo >= hi)
        hi = lo + 1.0;
    DensityGrid grid;
    grid.dataRange = hi - lo;
    const double pad = 0.05 * grid.dataRange;
    grid.gridMin = lo - pad;
    grid.gridStep = (hi + pad - grid.gridMin) / (grid.gridCount - 1);
    return grid;
}

DensityKernel densityKernel(const DensityGrid& grid, const std::vector<double>& values)
{
    const size_t n = values.size();
    double sum = 0.0;
    for (double v : values)
        sum += v;
    const double mean = sum / static_cast<double>(n);
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / static_cast<double>(n));
    // The quartiles a full sort would give, found by selection.
    std::vector<double> copy(values);
    std::nth_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(3 * n / 4), copy.end());
    const double upper = copy[3 * n / 4];
    std::nth_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(n / 4),
                     copy.begin() + static_cast<std::ptrdiff_t>(3 * n / 4));
    const double lower = copy[n / 4];
    const double spread = (upper - lower) / 1.34;
    double s = std::min(sd, spread);
    if (s < 1e-15) {
        s = sd;
        if (sd < 1e-15)
            s = 0.01 * grid.dataRange;
    }
    DensityKernel kernel;
    kernel.bandwidth = std::max(grid.gridStep, 0.5 * s * std::pow(static_cast<double>(n), -0.2));
    kernel.halfWidth = std::max(1, static_cast<int>(std::ceil(4.0 * kernel.bandwidth / grid.gridStep)));
    return kernel;
}

QList<double> kernelDensityOnGrid(const DensityGrid& grid, const std::vector<double>& values)
{
    const int count = grid.gridCount;
    QList<double> density;
    density.reserve(count);
    if (values.empty()) {
        for (int g = 0; g < count; ++g)
            density.append(0.0);
        return density;
    }
    const DensityKernel kernel = densityKernel(grid, values);

    std::vector<double> bins(static_cast<size_t>(count), 0.0);
    for (double x : values) {
        const double t = (x - grid.gridMin) / grid.gridStep;
        const double floorT = std::floor(t);
        // Below the grid counts as bin 0 (integer part, not below zero).
        const int k = t > 0.0 ? static_cast<int>(std::min(floorT, static_cast<double>(count))) : 0;
        if (k < count - 1) {
            const double frac = t - k;
            bins[static_cast<size_t>(k)] += 1.0 - frac;
            bins[static_cast<size_t>(k) + 1] += frac;
        } else {
            bins[static_cast<size_t>(count) - 1] += 1.0;
        }
    }

    const int halfWidth = kernel.halfWidth;
    std::vector<double> weights(static_cast<size_t>(2 * halfWidth + 1));
    double weightSum = 0.0;
    for (int j = -halfWidth; j <= halfWidth; ++j) {
        const double u = j * grid.gridStep / kernel.bandwidth;
        const double w = std::exp(-0.5 * u * u);
        weights[static_cast<size_t>(j + halfWidth)] = w;
        weightSum += w;
    }
    for (double& w : weights)
        w /= weightSum;

    std::vector<double> smooth(static_cast<size_t>(count), 0.0);
    double total = 0.0;
    for (int g = 0; g < count; ++g) {
        double d = 0.0;
        const int from = std::max(0, g - halfWidth);
        const int to = std::min(count - 1, g + halfWidth);
        for (int i = from; i <= to; ++i)
            d += bins[static_cast<size_t>(i)] * weights[static_cast<size_t>(i - g + halfWidth)];
        smooth[static_cast<size_t>(g)] = d;
        total += d;
    }
    const double scale = total > 0.0 ? 1.0 / (total * grid.gridStep) : 1.0;
    for (double d : smooth)
        density.append(total > 0.0 ? d * scale : d);
    return density;
}

} // namespace Tervane3
