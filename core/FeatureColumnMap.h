// The columns a filter reads: feature name -> read-only pointer to that feature's column
// (one double per event). The caller owns the columns and keeps them alive and unchanged
// while EventFilter::apply runs; a null pointer counts as a missing column.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace Tervane3 {

using FeatureColumnMap = std::unordered_map<std::string, const std::vector<double>*>;

} // namespace Tervane3
