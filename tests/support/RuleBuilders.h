// The rule builders under the names the export and statistics tests use; they are those of
// support/FilterRules.h.
#pragma once

#include "support/FilterRules.h"

#include <vector>

namespace Tervane3::Test {

using ::Tervane3::rangeRule;

inline FilterRule polygonRule(const std::string& x, const std::string& y, const std::vector<PolygonVertex>& vertices)
{
    return gateRule(x, y, vertices);
}

} // namespace Tervane3::Test
