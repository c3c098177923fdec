// Filter rules for tests, built in one line: a range rule and a polygon gate with the
// defaults of a new rule (enabled, not inverted, linear scales, no propagation id).
#pragma once

#include "core/FilterRule.h"

#include <string>
#include <vector>

namespace Tervane3::Test {

inline FilterRule rangeRule(const std::string& feature, double lo, double hi)
{
    FilterRule rule;
    rule.type = RangeRule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

inline FilterRule polygonRule(const std::string& x, const std::string& y, const std::vector<PolygonVertex>& vertices)
{
    FilterRule rule;
    rule.type = PolygonRule;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = vertices;
    return rule;
}

} // namespace Tervane3::Test
