// The session's filter groups and the effective filter of a dataset.
#include "filters/FilterGroupList.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"

#include <algorithm>

namespace Tervane3 {

namespace {

FilterRule withoutPropagationId(FilterRule rule)
{
    rule.propagationId.clear();
    return rule;
}

} // namespace

std::vector<const FilterGroup*> FilterGroupList::view() const
{
    std::vector<const FilterGroup*> groups;
    groups.reserve(list.size());
    for (const auto& group : list)
        groups.push_back(group.get());
    return groups;
}

FilterGroup* FilterGroupList::find(int id) const
{
    for (const auto& group : list) {
        if (group->id == id)
            return group.get();
    }
    return nullptr;
}

int FilterGroupList::add(const std::string& name, const DatasetList& datasets)
{
    auto group = std::make_unique<FilterGroup>();
    group->id = nextId++;
    group->name = name.empty() ? "Filter group " + std::to_string(group->id + 1) : name;
    for (const auto& dataset : datasets)
        dataset->groupEnabled[group->id] = false;
    list.push_back(std::move(group));
    return list.back()->id;
}

bool FilterGroupList::remove(int id, const DatasetList& datasets)
{
    const auto end = std::remove_if(list.begin(), list.end(), [id](const auto& group) { return group->id == id; });
    if (end == list.end())
        return false;
    list.erase(end, list.end());
    for (const auto& dataset : datasets)
        dataset->groupEnabled.erase(id);
    return true;
}

bool FilterGroupList::rename(int id, const std::string& name)
{
    FilterGroup* group = find(id);
    if (!group)
        return false;
    group->name = name;
    return true;
}

bool FilterGroupList::addRule(int groupId, const FilterRule& rule)
{
    FilterGroup* group = find(groupId);
    if (!group)
        return false;
    group->rules.push_back(withoutPropagationId(rule));
    return true;
}

bool FilterGroupList::updateRule(int groupId, int ruleIndex, const FilterRule& rule)
{
    FilterGroup* group = find(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return false;
    group->rules[static_cast<size_t>(ruleIndex)] = withoutPropagationId(rule);
    return true;
}

bool FilterGroupList::removeRule(int groupId, int ruleIndex)
{
    FilterGroup* group = find(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return false;
    group->rules.erase(group->rules.begin() + ruleIndex);
    return true;
}

void FilterGroupList::clear()
{
    list.clear();
    nextId = 0;
}

void FilterGroupList::restore(std::vector<FilterGroup> groups, int nextGroupId)
{
    list.clear();
    nextId = nextGroupId;
    for (FilterGroup& group : groups) {
        for (FilterRule& rule : group.rules)
            rule.propagationId.clear();
        nextId = std::max(nextId, group.id + 1);
        list.push_back(std::make_unique<FilterGroup>(std::move(group)));
    }
}

bool isGroupEnabled(const DatasetEntry* dataset, int groupId)
{
    if (!dataset)
        return false;
    const auto found = dataset->groupEnabled.find(groupId);
    return found != dataset->groupEnabled.end() && found->second;
}

bool groupSwitchMixed(const DatasetList& datasets, const DatasetEntry* active, int groupId)
{
    const bool on = isGroupEnabled(active, groupId);
    return std::any_of(datasets.begin(), datasets.end(), [&](const auto& dataset) {
        return dataset.get() != active && isGroupEnabled(dataset.get(), groupId) != on;
    });
}

EventFilter effectiveFilter(const DatasetEntry* dataset, const FilterGroupList& groups)
{
    EventFilter filter;
    if (!dataset)
        return filter;
    filter.setEnabled(dataset->filter.isEnabled());
    filter.setCombineMode(dataset->filter.combineMode());
    filter.rules = dataset->filter.rules;
    for (const auto& group : groups.groups()) {
        if (!isGroupEnabled(dataset, group->id))
            continue;
        filter.rules.insert(filter.rules.end(), group->rules.begin(), group->rules.end());
    }
    return filter;
}

FilterRule defaultGroupRule(const RTDCReader* reader)
{
    FilterRule rule;
    if (!reader)
        return rule;
    for (const std::string& name : reader->featureNames()) {
        if (!isScalarFeatureName(name))
            continue;
        rule.featureName = name;
        if (const auto range = reader->finiteRange(name)) {
            rule.minValue = range->min;
            rule.maxValue = range->max;
        }
        break;
    }
    return rule;
}

} // namespace Tervane3
