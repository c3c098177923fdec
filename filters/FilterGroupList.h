// The session's filter groups and the one filter that is evaluated for a dataset anywhere:
// its own filter followed by the rules of every group switched on for it. The main window
// owns one list and delegates its group slots here, so tests drive the model without a
// window. GUI thread only.
#pragma once

#include "core/EventFilter.h"
#include "filters/FilterGroup.h"

#include <memory>
#include <string>
#include <vector>

namespace Tervane3 {

struct DatasetEntry;
class RTDCReader;

using DatasetList = std::vector<std::unique_ptr<DatasetEntry>>;

class FilterGroupList
{
public:
    // In creation order (import and session load append in file order): the order of the
    // group boxes, of the group rules in the effective filter and of the session file.
    const std::vector<std::unique_ptr<FilterGroup>>& groups() const { return list; }
    // Non-owning pointers in list order, as the filter panel takes them.
    std::vector<const FilterGroup*> view() const;
    // The first group with the id, or null.
    FilterGroup* find(int id) const;
    // The id the next group takes; ids are not reused while the counter runs on.
    int nextGroupId() const { return nextId; }

    // A new group with the next id, named `name` or, when that is empty, "Filter group "
    // followed by id + 1; switched off (an entry false) in every given dataset. Returns the id.
    int add(const std::string& name, const DatasetList& datasets);
    // Removes every group with the id and erases the id from every dataset's switches;
    // false when no group had it.
    bool remove(int id, const DatasetList& datasets);
    // False (nothing changed) for an unknown group or a rule index out of range. A stored
    // rule always loses its propagation id.
    bool rename(int id, const std::string& name);
    bool addRule(int groupId, const FilterRule& rule);
    bool updateRule(int groupId, int ruleIndex, const FilterRule& rule);
    bool removeRule(int groupId, int ruleIndex);

    // A cleared session: no groups, the counter back to 0.
    void clear();
    // A loaded session: these groups (ids as stored, rules without propagation ids) and the
    // stored counter, raised above every id so that new groups never clash.
    void restore(std::vector<FilterGroup> groups, int nextGroupId);

private:
    std::vector<std::unique_ptr<FilterGroup>> list;
    int nextId = 0;
};

// On only when the dataset's switches hold the id with true; false for null.
bool isGroupEnabled(const DatasetEntry* dataset, int groupId);

// Whether the group's switch in `active` differs from its switch in at least one other
// dataset (loaded or not; a missing entry counts as off).
bool groupSwitchMixed(const DatasetList& datasets, const DatasetEntry* active, int groupId);

// The dataset's own switch, combine mode and rules, then the rules of every group switched
// on for it in list order (not in the order they were switched on). A default filter
// (enabled, combine mode 0, no rules) for null. The caller decides from the switch whether
// to filter at all.
EventFilter effectiveFilter(const DatasetEntry* dataset, const FilterGroupList& groups);

// The range rule a group's "+ Rule" adds: on the first scalar feature of the reader (in
// sorted order) spanning its finite values; bounds 0 and 0 when that column has no finite
// value, and no feature at all without a reader or scalar feature.
FilterRule defaultGroupRule(const RTDCReader* reader);

} // namespace Tervane3
