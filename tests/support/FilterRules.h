// Filter rules for tests, benchmarks and screenshot tools: builders of a range rule and a
// polygon gate, and readable Google Test output for a rule that differs from the expected
// one (field by field instead of raw bytes).
#pragma once

#include "core/FilterRule.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

inline FilterRule rangeRule(const std::string& feature, double lo, double hi, const std::string& id = std::string())
{
    FilterRule rule;
    rule.type = RangeRule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.propagationId = id;
    return rule;
}

inline FilterRule gateRule(const std::string& x, const std::string& y, std::vector<PolygonVertex> vertices)
{
    FilterRule rule;
    rule.type = PolygonRule;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = std::move(vertices);
    return rule;
}

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
