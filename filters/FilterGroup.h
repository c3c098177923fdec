// A filter group: a named list of filter rules that belongs to the session rather than to a
// dataset; every dataset switches each group on or off for itself (DatasetEntry::groupEnabled).
#pragma once

#include "core/FilterRule.h"

#include <string>
#include <vector>

namespace Tervane3 {

struct FilterGroup
{
    // Unique among the session's groups; -1 until the group list assigns one.
    int id = -1;
    // UTF-8; need not be unique.
    std::string name;
    // In order. Group rules never carry a propagation id: the list clears it on every store.
    std::vector<FilterRule> rules;
};

} // namespace Tervane3
