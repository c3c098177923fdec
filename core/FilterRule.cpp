// Filter rule value type (see FilterRule.h).
#include "core/FilterRule.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

// Field equality of a value type: a NaN bound equals a NaN bound, so a copy of a rule
// always equals the rule.
bool sameValue(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

bool FilterRule::operator==(const FilterRule& other) const
{
    return type == other.type && featureName == other.featureName
        && featureNameY == other.featureNameY && sameValue(minValue, other.minValue)
        && sameValue(maxValue, other.maxValue)
        && std::equal(polygonVertices.begin(), polygonVertices.end(), other.polygonVertices.begin(),
                      other.polygonVertices.end(),
                      [](const PolygonVertex& a, const PolygonVertex& b) {
                          return sameValue(a.first, b.first) && sameValue(a.second, b.second);
                      })
        && scaleXMode == other.scaleXMode && scaleYMode == other.scaleYMode
        && enabled == other.enabled && inverted == other.inverted
        && propagationId == other.propagationId;
}

} // namespace Tervane3
