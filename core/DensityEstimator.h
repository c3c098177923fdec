// Local event density in the plane of two plotted features, and density contour lines.
// The scatter plots colour events by it and draw the lines that enclose the densest part
// of a dataset. A stateless group of functions: every one may run on any thread, and
// none keeps anything between calls. Densities are relative; only their order and their
// ratios matter to the callers.
//
// The callers pass values already mapped into axis coordinates (transformValues), except
// computeContours, which maps them itself. Events with a non-finite x or y are left out of
// every estimate and get NaN wherever one value per event is returned.
#pragma once

#include "core/ContourLevel.h"
#include "core/DensityGrid.h"

#include <vector>

namespace Tervane3 {

enum DensityMethod : int {
    DensityKde = 0,       // binned Gaussian kernel density estimate (the default)
    DensityHistogram = 1, // count of the event's two-dimensional histogram bin
    DensityKnn = 2,       // k nearest neighbours, k = sqrt(n)
};

// Density colours and contour levels of the same events (see computeDensityAndContours).
struct DensityAndContours
{
    std::vector<double> density;       // one value per event, as computeDensity gives it
    std::vector<ContourLevel> levels;  // as computeContours gives them
};

class DensityEstimator
{
public:
    // One value per event of x (x and y are read at the same indices); NaN where x or y is
    // not finite, and everywhere when fewer than 4 events are finite or the method is
    // unknown. The bin count is always chosen automatically.
    static std::vector<double> computeDensity(const std::vector<double>& x,
                                              const std::vector<double>& y, int method);

    // The smoothed histogram of the kernel estimate; bins < 1 chooses the bin count.
    // No finite event: an empty grid.
    static DensityGrid kdeGrid(const std::vector<double>& x, const std::vector<double>& y,
                               int bins);
    // Bilinear interpolation between cell centres, one value per event; beyond the
    // outermost centres the border cells' values hold.
    static std::vector<double> interpolateGrid(const DensityGrid& grid,
                                               const std::vector<double>& x,
                                               const std::vector<double>& y);
    // The count of each event's bin; bins < 1 chooses the bin count.
    static std::vector<double> histogramDensity(const std::vector<double>& x,
                                                const std::vector<double>& y, int bins);
    // m / (pi d^2) with d the distance to the m-th nearest of the events found in the
    // rings of a coarse grid around the event's cell (m = sqrt(n) unless fewer are found).
    static std::vector<double> knnDensity(const std::vector<double>& x,
                                          const std::vector<double>& y);
    // Bins per axis (32 .. 512) minimising the histogram cost of Shimazaki and Shinomoto,
    // with the bin area in place of the bin width; 32 for fewer than 4 events.
    static int chooseBinCount(const std::vector<double>& x, const std::vector<double>& y);
    // Linear interpolation between the order statistics of an ascending vector; 0 if empty.
    static double quantile(const std::vector<double>& sorted, double q);

    // One level per fraction, in the given order, with lines in data units; empty when
    // fewer than 4 events have finite axis coordinates, x and y differ in length or no
    // fraction is given. The values are mapped by transformValues with the two modes,
    // the kernel grid is built there, and every line point is mapped back.
    static std::vector<ContourLevel> computeContours(const std::vector<double>& x,
                                                     const std::vector<double>& y,
                                                     const std::vector<double>& fractions,
                                                     int xScaleMode, int yScaleMode);
    // Both at once for a plot that colours by density and draws contour lines: density is
    // computeDensity(transformValues(x, xScaleMode), transformValues(y, yScaleMode), method)
    // and levels is computeContours(x, y, fractions, xScaleMode, yScaleMode). With the
    // kernel method both come from one grid, which halves the work of such a plot.
    static DensityAndContours computeDensityAndContours(const std::vector<double>& x,
                                                        const std::vector<double>& y, int method,
                                                        const std::vector<double>& fractions,
                                                        int xScaleMode, int yScaleMode);
    // The same in axis coordinates; bins < 1 chooses the bin count.
    static std::vector<ContourLevel> contourLines(const std::vector<double>& tx,
                                                  const std::vector<double>& ty,
                                                  const std::vector<double>& fractions,
                                                  int bins);
    // The density below which the given fraction of the densities lies (the value at
    // index floor(n * fraction) in ascending order); 0 for no densities or a fraction
    // outside (0, 1). NaN densities are left out.
    static double levelThreshold(const std::vector<double>& densities, double fraction);
    // Marching squares through the grid's cell centres; pieces joined into polylines.
    static std::vector<ContourPolyline> traceLevel(const DensityGrid& grid, double level);
    // Where the level crosses between values a at pa and b at pb (clamped to the edge);
    // the midpoint when a and b differ by less than 1e-30.
    static double interpolateCrossing(double level, double a, double b, double pa, double pb);
};

} // namespace Tervane3
