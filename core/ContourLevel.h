// One density contour level as the plots draw it: the requested fraction of events, the
// density at which the line runs and its polylines in data units of the two features.
#pragma once

#include <utility>
#include <vector>

namespace Tervane3 {

// (x, y) points; a closed line repeats its first point at its end, an open line ends on the
// border of the density grid.
using ContourPolyline = std::vector<std::pair<double, double>>;

struct ContourLevel
{
    double fraction = 0.0;  // as requested
    double threshold = 0.0; // density of the level; 0 when the fraction was not usable
    std::vector<ContourPolyline> lines;
};

} // namespace Tervane3
