// Filter rule value type (see FilterRule.h).
#include "core/FilterRule.h"

namespace Tervane3 {

bool FilterRule::operator==(const FilterRule& other) const
{
    return type == other.type && featureName == other.featureName
        && featureNameY == other.featureNameY && minValue == other.minValue
        && maxValue == other.maxValue && polygonVertices == other.polygonVertices
        && scaleXMode == other.scaleXMode && scaleYMode == other.scaleYMode
        && enabled == other.enabled && inverted == other.inverted
        && propagationId == other.propagationId;
}

} // namespace Tervane3
