// Readable test output for filter rules: Google Test prints a FilterRule that differs from
// the expected one field by field instead of as raw bytes.
#pragma once

#include "core/FilterRule.h"

#include <ostream>

namespace Tervane3 {

inline void PrintTo(const FilterRule& r, std::ostream* os)
{
    *os << "{type " << r.type << " " << r.featureName << "/" << r.featureNameY << " [" << r.minValue << ", "
        << r.maxValue << "] scales " << r.scaleXMode << "," << r.scaleYMode << " enabled " << r.enabled
        << " inverted " << r.inverted << " id '" << r.propagationId << "' vertices";
    for (const auto& v : r.polygonVertices)
        *os << " (" << v.first << "," << v.second << ")";
    *os << "}";
}

} // namespace Tervane3
