// Rules kept in step across three datasets: ids, copies replaced in place, updates, switches
// and deletions of the first rule with an id, the whole filter applied to all, and where the
// others differ (datasets without the rule's features do not count).
#include "filters/RulePropagation.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"
#include "support/FilterRules.h"

#include "FilterTestFiles.h"

#include <gtest/gtest.h>

#include <limits>
#include <regex>

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

// Datasets 0 and 1 have area_um and deform; dataset 2 has area_um only.
struct ThreeDatasets
{
    ThreeDatasets()
    {
        auto both = files.open({{"area_um", {1, 2}}, {"deform", {0.1, 0.2}}});
        auto areaOnly = files.open({{"area_um", {1, 2}}});
        for (int id = 0; id < 3; ++id) {
            datasets.push_back(std::make_unique<DatasetEntry>());
            datasets.back()->id = id;
            datasets.back()->reader = id < 2 ? both : areaOnly;
        }
    }
    DatasetEntry& at(size_t i) { return *datasets[i]; }
    std::vector<FilterRule>& rules(size_t i) { return datasets[i]->filter.rules; }

    FilterTestFiles files;
    DatasetList datasets;
};

} // namespace

TEST(RulePropagation, ApplyToAllGivesAnIdAndReplacesCopiesInPlace)
{
    ThreeDatasets d;
    d.rules(0) = {rangeRule("area_um", 1, 5)};
    d.rules(1) = {rangeRule("deform", 0, 1)};
    const std::string id = applyRuleToAll(d.datasets, d.at(0), 0);
    EXPECT_TRUE(std::regex_match(id, std::regex("\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}")))
        << id;
    EXPECT_EQ(d.rules(0)[0].propagationId, id);
    EXPECT_EQ(d.rules(1), (std::vector<FilterRule>{rangeRule("deform", 0, 1), rangeRule("area_um", 1, 5, id)}));
    // A dataset without the feature still receives the rule.
    EXPECT_EQ(d.rules(2), (std::vector<FilterRule>{rangeRule("area_um", 1, 5, id)}));

    d.rules(0)[0].maxValue = 7;
    EXPECT_EQ(applyRuleToAll(d.datasets, d.at(0), 0), id);
    EXPECT_EQ(d.rules(1), (std::vector<FilterRule>{rangeRule("deform", 0, 1), rangeRule("area_um", 1, 7, id)}));
    EXPECT_EQ(d.rules(2).size(), 1u);
    EXPECT_TRUE(applyRuleToAll(d.datasets, d.at(0), 1).empty());
    EXPECT_NE(newPropagationId(), newPropagationId());
}

TEST(RulePropagation, IdOperationsActOnTheFirstRuleWithTheIdOnly)
{
    ThreeDatasets d;
    const FilterRule shared = rangeRule("area_um", 1, 5, "{a}");
    d.rules(0) = {rangeRule("deform", 0, 1), shared};
    d.rules(1) = {rangeRule("area_um", 0, 0, "{a}"), rangeRule("area_um", 9, 9, "{a}")};
    d.rules(2) = {rangeRule("deform", 0, 1)};

    FilterRule changed = shared;
    changed.minValue = 2;
    d.rules(0)[1] = changed;
    EXPECT_TRUE(updateRuleInAll(d.datasets, d.at(0), 1));
    EXPECT_EQ(d.rules(1), (std::vector<FilterRule>{changed, rangeRule("area_um", 9, 9, "{a}")}));
    EXPECT_EQ(d.rules(2), (std::vector<FilterRule>{rangeRule("deform", 0, 1)})); // nothing appended

    EXPECT_TRUE(setRuleEnabledInOthers(d.datasets, d.at(0), 1, false));
    EXPECT_FALSE(d.rules(1)[0].enabled);
    EXPECT_TRUE(d.rules(1)[1].enabled);
    EXPECT_TRUE(d.rules(0)[1].enabled); // the active rule is the panel's to set

    EXPECT_TRUE(deleteRuleFromOthers(d.datasets, d.at(0), 1));
    EXPECT_EQ(d.rules(1), (std::vector<FilterRule>{rangeRule("area_um", 9, 9, "{a}")}));
    EXPECT_EQ(d.rules(0).size(), 2u);

    // A rule without id and an invalid index change nothing.
    const std::vector<FilterRule> before = d.rules(1);
    for (int index : {0, -1, 2}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(updateRuleInAll(d.datasets, d.at(0), index));
        EXPECT_FALSE(setRuleEnabledInOthers(d.datasets, d.at(0), index, true));
        EXPECT_FALSE(deleteRuleFromOthers(d.datasets, d.at(0), index));
    }
    EXPECT_EQ(d.rules(1), before);
}

TEST(RulePropagation, ApplyFilterToAllCopiesEverythingButTheGroupSwitches)
{
    ThreeDatasets d;
    d.at(0).filter.setEnabled(false);
    d.at(0).filter.setCombineMode(CombineShowExcluded);
    d.rules(0) = {rangeRule("area_um", 1, 5), rangeRule("deform", 0, 1, "{b}")};
    d.rules(1) = {rangeRule("bright_avg", 0, 1)};
    d.at(1).groupEnabled[3] = true;
    applyFilterToAll(d.datasets, d.at(0));
    for (size_t i : {1, 2}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.rules(i), d.rules(0));
        EXPECT_FALSE(d.at(i).filter.isEnabled());
        EXPECT_EQ(d.at(i).filter.combineMode(), CombineShowExcluded);
    }
    EXPECT_TRUE(d.at(1).groupEnabled.at(3));

    setFilteringEnabledInOthers(d.datasets, &d.at(1), true);
    setCombineModeInOthers(d.datasets, &d.at(1), CombineAllPass);
    EXPECT_TRUE(d.at(0).filter.isEnabled());
    EXPECT_FALSE(d.at(1).filter.isEnabled());
    EXPECT_EQ(d.at(2).filter.combineMode(), CombineAllPass);
    EXPECT_EQ(d.at(1).filter.combineMode(), CombineShowExcluded);
}

TEST(RulePropagation, MixedStateCountsOnlyDatasetsThatCanUseTheRule)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{0, 0}, {1, 0}, {1, 1}};
    gate.propagationId = "{g}";
    const FilterRule shared = rangeRule("area_um", 1, 5, "{a}");
    const FilterRule deformRule = rangeRule("deform", 0, 1, "{d}");

    struct Case
    {
        const char* name;
        std::function<void(ThreeDatasets&)> change;
        bool enabledDiffers;
        bool modeDiffers;
        std::vector<std::pair<bool, bool>> rules;
    };
    const std::vector<Case> cases = {
        {"all alike", [](ThreeDatasets&) {}, false, false, {{false, false}, {false, false}, {false, false}}},
        {"bound differs", [](ThreeDatasets& d) { d.rules(1)[0].maxValue = 6; }, false, false,
         {{true, false}, {false, false}, {false, false}}},
        {"NaN bound counts as a difference", [nan](ThreeDatasets& d) {
             d.rules(0)[0].minValue = nan;
             d.rules(1)[0].minValue = nan;
             d.rules(2)[0].minValue = nan;
         }, false, false, {{true, false}, {false, false}, {false, false}}},
        {"enabled and inverted differ", [](ThreeDatasets& d) {
             d.rules(2)[0].enabled = false;
             d.rules(1)[0].inverted = true;
         }, false, false, {{true, true}, {false, false}, {false, false}}},
        {"vertex and scale differ", [](ThreeDatasets& d) {
             d.rules(1)[1].polygonVertices[2].second = 2;
         }, false, false, {{false, false}, {true, false}, {false, false}}},
        {"only a dataset without the feature differs", [](ThreeDatasets& d) {
             d.rules(2)[1].scaleXMode = 1;
             d.rules(2)[2].maxValue = 9;
             d.rules(2)[2].enabled = false;
         }, false, false, {{false, false}, {false, false}, {false, false}}},
        {"switch and mode differ", [](ThreeDatasets& d) {
             d.at(1).filter.setEnabled(false);
             d.at(2).filter.setCombineMode(CombineShowExcluded);
         }, true, true, {{false, false}, {false, false}, {false, false}}},
        {"rule without id never differs", [](ThreeDatasets& d) {
             for (size_t i : {0, 1, 2})
                 d.rules(i)[0].propagationId.clear();
             d.rules(1)[0].maxValue = 9;
         }, false, false, {{false, false}, {false, false}, {false, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ThreeDatasets d;
        for (size_t i : {0, 1, 2})
            d.rules(i) = {shared, gate, deformRule};
        c.change(d);
        const FilterMixedState state = filterMixedState(d.datasets, &d.at(0));
        EXPECT_EQ(state.enabledDiffers, c.enabledDiffers);
        EXPECT_EQ(state.combineModeDiffers, c.modeDiffers);
        EXPECT_EQ(state.rules, c.rules);
    }

    ThreeDatasets one;
    one.datasets.resize(1);
    one.rules(0) = {shared};
    const FilterMixedState alone = filterMixedState(one.datasets, &one.at(0));
    EXPECT_FALSE(alone.enabledDiffers);
    EXPECT_EQ(alone.rules, (std::vector<std::pair<bool, bool>>{{false, false}}));
    EXPECT_TRUE(filterMixedState(one.datasets, nullptr).rules.empty());
}
