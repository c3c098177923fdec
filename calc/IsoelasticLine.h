// One line of equal Young's modulus on the area-deformation plane, as the plots draw it.
#pragma once

#include <utility>
#include <vector>

namespace Tervane3 {

struct IsoelasticLine
{
    // kPa, scaled to the measurement; the plots print it followed by " kPa".
    double modulus = 0.0;
    // (area in µm², deformation) in the order of increasing area; at least two points.
    std::vector<std::pair<double, double>> points;
};

} // namespace Tervane3
