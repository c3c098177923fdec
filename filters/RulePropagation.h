// Keeping a dataset's own rules in step across all open datasets. A rule is recognised in
// another dataset by its propagation id; within a dataset only the first rule carrying an
// id counts. "Others" are the datasets at other positions of the list, loaded or not.
// Group rules never take part (they carry no id). GUI thread only.
#pragma once

#include "filters/FilterGroupList.h"

#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

// A new id: a random UUID in braces with lower-case hexadecimal digits (38 characters).
std::string newPropagationId();

// Copies rule ruleIndex of the active dataset into every other dataset, replacing the first
// rule with the same id in place or appending it. A rule without id gets a new one first
// (the active rule keeps it). Returns the id; empty for an invalid index.
std::string applyRuleToAll(const DatasetList& datasets, DatasetEntry& active, int ruleIndex);
// For a rule with id: replaces the first rule with that id in every other dataset (datasets
// without one are left alone). False (nothing done) without id or for an invalid index.
bool updateRuleInAll(const DatasetList& datasets, const DatasetEntry& active, int ruleIndex);
// For a rule with id: its enabled flag in every other dataset's first rule with that id.
bool setRuleEnabledInOthers(const DatasetList& datasets, const DatasetEntry& active, int ruleIndex, bool enabled);
// For a rule with id: removes every other dataset's first rule with that id.
bool deleteRuleFromOthers(const DatasetList& datasets, const DatasetEntry& active, int ruleIndex);
// Every other dataset takes the active dataset's switch, combine mode and all its rules (ids
// unchanged, empty ids stay empty); their group switches are not touched.
void applyFilterToAll(const DatasetList& datasets, const DatasetEntry& active);
// The filtering switch or combine mode of every dataset but `active`.
void setFilteringEnabledInOthers(const DatasetList& datasets, const DatasetEntry* active, bool enabled);
void setCombineModeInOthers(const DatasetList& datasets, const DatasetEntry* active, int mode);

// Where other datasets differ from the active one, for the highlights of the filter panel.
struct FilterMixedState
{
    bool enabledDiffers = false;
    bool combineModeDiffers = false;
    // Per rule of the active dataset: (content differs, enabled differs). Only rules with an
    // id, compared with the first rule of that id in each other dataset that has a reader
    // with the rule's features; NaN counts as a difference.
    std::vector<std::pair<bool, bool>> rules;
};
FilterMixedState filterMixedState(const DatasetList& datasets, const DatasetEntry* active);

} // namespace Tervane3
