// The filter record of an exported .rtdc file (see OfflineFilterRecord.h).
#include "io/OfflineFilterRecord.h"

#include "core/AxisScaleMode.h"
#include "core/Metadata.h"

#include <algorithm>
#include <map>
#include <set>

namespace Tervane3 {

std::string scaleModeName(int mode)
{
    switch (clampScaleMode(mode)) {
    case ScaleLog:
        return "log";
    case ScalePseudoLog:
        return "pseudolog";
    default:
        return "linear";
    }
}

namespace {

std::string ruleText(const FilterRule& rule)
{
    if (rule.type == PolygonRule)
        return "polygon on '" + rule.featureName + "," + rule.featureNameY + "'";
    return "range rule on '" + rule.featureName + "'";
}

} // namespace

OfflineFilterRecord buildOfflineFilterRecord(const EventFilter& filter,
                                             const std::function<bool(const std::string&)>& usable)
{
    OfflineFilterRecord record;
    if (!filter.isEnabled())
        return record;
    if (filter.combineMode() != CombineAllPass) {
        record.warnings.push_back(
            "filter not recorded: it keeps the events that fail a rule (show excluded events)");
        return record;
    }
    const std::string prefix = "offline_filter:";
    // Range limits per feature in the order of first appearance; their attribute slots
    // are filled once all rules are seen.
    std::map<std::string, std::pair<double, double>> limits;
    std::set<std::string> polygonPairs;
    struct Slot
    {
        bool range;
        std::string feature;
        FilterRule rule;
    };
    std::vector<Slot> order;
    for (const FilterRule& rule : filter.rules) {
        if (!rule.enabled || (rule.type != RangeRule && rule.type != PolygonRule))
            continue;
        if (rule.inverted) {
            record.warnings.push_back(ruleText(rule) + " not recorded: it is inverted");
            continue;
        }
        if (rule.type == RangeRule) {
            if (!usable(rule.featureName)) {
                record.warnings.push_back(ruleText(rule) + " not recorded: the filter ignored it (no column)");
                continue;
            }
            const auto found = limits.find(rule.featureName);
            if (found == limits.end()) {
                limits.emplace(rule.featureName, std::make_pair(rule.minValue, rule.maxValue));
                order.push_back({true, rule.featureName, rule});
            } else {
                found->second.first = std::max(found->second.first, rule.minValue);
                found->second.second = std::min(found->second.second, rule.maxValue);
            }
            continue;
        }
        if (rule.polygonVertices.size() < 3) {
            record.warnings.push_back(ruleText(rule) + " not recorded: the filter ignored it (fewer than 3 vertices)");
            continue;
        }
        if (!usable(rule.featureName) || !usable(rule.featureNameY)) {
            record.warnings.push_back(ruleText(rule) + " not recorded: the filter ignored it (no column)");
            continue;
        }
        const std::string pair = rule.featureName + "," + rule.featureNameY;
        if (!polygonPairs.insert(pair).second) {
            record.warnings.push_back(ruleText(rule) + " not recorded: a polygon on this pair is recorded already");
            continue;
        }
        order.push_back({false, pair, rule});
    }
    for (const Slot& slot : order) {
        if (slot.range) {
            const auto& [lo, hi] = limits.at(slot.feature);
            record.attributes.push_back({prefix + slot.feature + " min", false, formatFixed6(lo), {}});
            record.attributes.push_back({prefix + slot.feature + " max", false, formatFixed6(hi), {}});
        } else {
            const std::string base = prefix + slot.feature;
            record.attributes.push_back({base + " polygon points", true, {}, slot.rule.polygonVertices});
            record.attributes.push_back({base + " polygon x scale", false, scaleModeName(slot.rule.scaleXMode), {}});
            record.attributes.push_back({base + " polygon y scale", false, scaleModeName(slot.rule.scaleYMode), {}});
        }
    }
    return record;
}

} // namespace Tervane3
