// A range rule on one feature, for tests and benchmarks that filter events.
#pragma once

#include "core/FilterRule.h"

#include <string>

namespace Tervane3::Test {

// Passes the events whose feature value lies in [lo, hi].
inline FilterRule rangeRule(const std::string& feature, double lo, double hi)
{
    FilterRule rule;
    rule.type = RangeRule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

} // namespace Tervane3::Test
