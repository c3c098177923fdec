// Rules kept in step across datasets.
#include "filters/RulePropagation.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"

#include <QUuid>

#include <algorithm>

namespace Tervane3 {

namespace {

FilterRule* firstWithId(EventFilter& filter, const std::string& id)
{
    const auto found = std::find_if(filter.rules.begin(), filter.rules.end(),
                                    [&id](const FilterRule& rule) { return rule.propagationId == id; });
    return found == filter.rules.end() ? nullptr : &*found;
}

const FilterRule* ruleWithId(const DatasetEntry& active, int ruleIndex)
{
    if (ruleIndex < 0 || ruleIndex >= active.filter.ruleCount())
        return nullptr;
    const FilterRule& rule = active.filter.rules[static_cast<size_t>(ruleIndex)];
    return rule.propagationId.empty() ? nullptr : &rule;
}

// Calls fn(filter, copy) for every dataset but `active` whose filter has a rule with the id,
// with the first such rule.
template<typename Fn>
void forEachCopy(const DatasetList& datasets, const DatasetEntry& active, const std::string& id, Fn fn)
{
    for (const auto& dataset : datasets) {
        if (dataset.get() == &active)
            continue;
        if (FilterRule* copy = firstWithId(dataset->filter, id))
            fn(dataset->filter, *copy);
    }
}

// Plain equality; a NaN on either side counts as a difference.
bool same(double a, double b)
{
    return a == b;
}

bool contentDiffers(const FilterRule& mine, const FilterRule& theirs)
{
    if (mine.inverted != theirs.inverted)
        return true;
    if (mine.type == RangeRule)
        return !same(mine.minValue, theirs.minValue) || !same(mine.maxValue, theirs.maxValue);
    if (mine.polygonVertices.size() != theirs.polygonVertices.size() || mine.scaleXMode != theirs.scaleXMode ||
        mine.scaleYMode != theirs.scaleYMode)
        return true;
    for (size_t i = 0; i < mine.polygonVertices.size(); ++i) {
        if (!same(mine.polygonVertices[i].first, theirs.polygonVertices[i].first) ||
            !same(mine.polygonVertices[i].second, theirs.polygonVertices[i].second))
            return true;
    }
    return false;
}

} // namespace

std::string newPropagationId()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toLower().toStdString();
}

std::string applyRuleToAll(const DatasetList& datasets, DatasetEntry& active, int ruleIndex)
{
    if (ruleIndex < 0 || ruleIndex >= active.filter.ruleCount())
        return std::string();
    FilterRule& rule = active.filter.rules[static_cast<size_t>(ruleIndex)];
    if (rule.propagationId.empty())
        rule.propagationId = newPropagationId();
    for (const auto& dataset : datasets) {
        if (dataset.get() == &active)
            continue;
        if (FilterRule* copy = firstWithId(dataset->filter, rule.propagationId))
            *copy = rule;
        else
            dataset->filter.addRule(rule);
    }
    return rule.propagationId;
}

bool updateRuleInAll(const DatasetList& datasets, const DatasetEntry& active, int ruleIndex)
{
    const FilterRule* rule = ruleWithId(active, ruleIndex);
    if (!rule)
        return false;
    forEachCopy(datasets, active, rule->propagationId, [rule](EventFilter&, FilterRule& copy) { copy = *rule; });
    return true;
}

bool setRuleEnabledInOthers(const DatasetList& datasets, const DatasetEntry& active, int ruleIndex, bool enabled)
{
    const FilterRule* rule = ruleWithId(active, ruleIndex);
    if (!rule)
        return false;
    forEachCopy(datasets, active, rule->propagationId,
                [enabled](EventFilter&, FilterRule& copy) { copy.enabled = enabled; });
    return true;
}

bool deleteRuleFromOthers(const DatasetList& datasets, const DatasetEntry& active, int ruleIndex)
{
    const FilterRule* rule = ruleWithId(active, ruleIndex);
    if (!rule)
        return false;
    forEachCopy(datasets, active, rule->propagationId, [](EventFilter& filter, FilterRule& copy) {
        filter.removeRule(static_cast<int>(&copy - filter.rules.data()));
    });
    return true;
}

void applyFilterToAll(const DatasetList& datasets, const DatasetEntry& active)
{
    for (const auto& dataset : datasets) {
        if (dataset.get() == &active)
            continue;
        dataset->filter.setEnabled(active.filter.isEnabled());
        dataset->filter.setCombineMode(active.filter.combineMode());
        dataset->filter.rules = active.filter.rules;
    }
}

void setFilteringEnabledInOthers(const DatasetList& datasets, const DatasetEntry* active, bool enabled)
{
    for (const auto& dataset : datasets) {
        if (dataset.get() != active)
            dataset->filter.setEnabled(enabled);
    }
}

void setCombineModeInOthers(const DatasetList& datasets, const DatasetEntry* active, int mode)
{
    for (const auto& dataset : datasets) {
        if (dataset.get() != active)
            dataset->filter.setCombineMode(mode);
    }
}

FilterMixedState filterMixedState(const DatasetList& datasets, const DatasetEntry* active)
{
    FilterMixedState state;
    if (!active)
        return state;
    for (const auto& dataset : datasets) {
        if (dataset.get() == active)
            continue;
        state.enabledDiffers |= dataset->filter.isEnabled() != active->filter.isEnabled();
        state.combineModeDiffers |= dataset->filter.combineMode() != active->filter.combineMode();
    }
    for (const FilterRule& rule : active->filter.rules) {
        bool content = false;
        bool enabled = false;
        if (!rule.propagationId.empty()) {
            for (const auto& dataset : datasets) {
                if (content && enabled)
                    break;
                if (dataset.get() == active || !dataset->reader || !dataset->reader->hasFeature(rule.featureName) ||
                    (rule.type == PolygonRule && !dataset->reader->hasFeature(rule.featureNameY)))
                    continue;
                FilterRule* theirs = firstWithId(dataset->filter, rule.propagationId);
                if (!theirs)
                    continue;
                enabled |= theirs->enabled != rule.enabled;
                content |= contentDiffers(rule, *theirs);
            }
        }
        state.rules.emplace_back(content, enabled);
    }
    return state;
}

} // namespace Tervane3
