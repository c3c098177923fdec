// The filter-group model: ids and default names, switches of datasets that exist when a
// group is made or opened later, rules stored without propagation id, requests that address
// nothing, the effective filter's rule order and switch, and the default "+ Rule".
#include "filters/FilterGroupList.h"
#include "support/FilterRules.h"

#include "app/DatasetEntry.h"
#include "app/PassingEvents.h"
#include "core/RTDCReader.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <limits>

using namespace Tervane3;

namespace {

DatasetList threeDatasets()
{
    DatasetList datasets;
    for (int id = 0; id < 3; ++id) {
        datasets.push_back(std::make_unique<DatasetEntry>());
        datasets.back()->id = id;
    }
    return datasets;
}

} // namespace

TEST(FilterGroupList, IdsRunOnAndEmptyNamesFollowTheId)
{
    FilterGroupList groups;
    const DatasetList none;
    EXPECT_EQ(groups.add("", none), 0);
    EXPECT_EQ(groups.add("", none), 1);
    EXPECT_EQ(groups.add("Gates", none), 2);
    EXPECT_TRUE(groups.remove(1, none));
    EXPECT_EQ(groups.add("", none), 3);

    const struct {
        int id;
        const char* name;
    } expected[] = {{0, "Filter group 1"}, {2, "Gates"}, {3, "Filter group 4"}};
    ASSERT_EQ(groups.groups().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(groups.groups()[i]->id, expected[i].id);
        EXPECT_EQ(groups.groups()[i]->name, expected[i].name);
    }
    groups.clear();
    EXPECT_EQ(groups.add("", none), 0);
}

TEST(FilterGroupList, NewGroupIsOffEverywhereAndNeverMixed)
{
    DatasetList datasets = threeDatasets();
    FilterGroupList groups;
    const int id = groups.add("", datasets);
    for (const auto& dataset : datasets) {
        ASSERT_EQ(dataset->groupEnabled.count(id), 1u);
        EXPECT_FALSE(dataset->groupEnabled.at(id));
    }
    // A dataset opened afterwards has no entry: off as well, so nothing is mixed.
    datasets.push_back(std::make_unique<DatasetEntry>());
    EXPECT_EQ(datasets.back()->groupEnabled.count(id), 0u);
    EXPECT_FALSE(isGroupEnabled(datasets.back().get(), id));
    for (const auto& dataset : datasets)
        EXPECT_FALSE(groupSwitchMixed(datasets, dataset.get(), id));

    datasets[1]->groupEnabled[id] = true;
    EXPECT_TRUE(groupSwitchMixed(datasets, datasets[0].get(), id));
    EXPECT_TRUE(groupSwitchMixed(datasets, datasets[1].get(), id));
    EXPECT_FALSE(isGroupEnabled(nullptr, id));

    // Removing the group erases its switches.
    EXPECT_TRUE(groups.remove(id, datasets));
    for (const auto& dataset : datasets)
        EXPECT_TRUE(dataset->groupEnabled.empty());
}

TEST(FilterGroupList, RulesAreStoredWithoutPropagationIdAndBadAddressesChangeNothing)
{
    FilterGroupList groups;
    const int id = groups.add("A", {});
    EXPECT_TRUE(groups.addRule(id, rangeRule("area_um", 1, 2, "{shared}")));
    EXPECT_TRUE(groups.addRule(id, rangeRule("deform", 0, 0.1)));
    EXPECT_TRUE(groups.updateRule(id, 1, rangeRule("deform", 0, 0.2, "{other}")));
    const FilterGroup& group = *groups.find(id);
    ASSERT_EQ(group.rules.size(), 2u);
    EXPECT_EQ(group.rules[0].propagationId, "");
    EXPECT_EQ(group.rules[1].propagationId, "");
    EXPECT_EQ(group.rules[1].maxValue, 0.2);

    const std::vector<FilterRule> before = group.rules;
    EXPECT_FALSE(groups.removeRule(id, -1));
    EXPECT_FALSE(groups.removeRule(id, 2));
    EXPECT_FALSE(groups.updateRule(id, 2, rangeRule("x", 0, 1)));
    EXPECT_FALSE(groups.addRule(id + 1, rangeRule("x", 0, 1)));
    EXPECT_FALSE(groups.rename(id + 1, "B"));
    EXPECT_FALSE(groups.remove(id + 1, {}));
    EXPECT_EQ(group.rules, before);
    EXPECT_EQ(group.name, "A");
    EXPECT_TRUE(groups.removeRule(id, 0));
    EXPECT_EQ(group.rules.front().featureName, "deform");
}

TEST(FilterGroupList, RestoreKeepsStoredIdsAndNeverHandsOneOutAgain)
{
    FilterGroupList groups;
    FilterGroup stored;
    stored.id = 7;
    stored.name = "Stored";
    stored.rules = {rangeRule("area_um", 0, 1, "{id}")};
    groups.restore({stored}, 3);
    EXPECT_EQ(groups.find(7)->rules.front().propagationId, "");
    EXPECT_EQ(groups.add("", {}), 8);
}

TEST(FilterGroupList, EffectiveFilterFollowsGroupListOrderAndTheDatasetsSwitch)
{
    DatasetList datasets = threeDatasets();
    DatasetEntry& dataset = *datasets[0];
    dataset.filter.addRule(rangeRule("own", 0, 1));
    dataset.filter.setCombineMode(CombineShowExcluded);
    dataset.filter.setEnabled(false);

    FilterGroupList groups;
    const int first = groups.add("first", datasets);
    const int second = groups.add("second", datasets);
    const int third = groups.add("third", datasets);
    groups.addRule(first, rangeRule("g1", 0, 1));
    groups.addRule(second, rangeRule("g2a", 0, 1));
    groups.addRule(second, rangeRule("g2b", 0, 1));
    groups.addRule(third, rangeRule("g3", 0, 1));
    // Switched on in the opposite order; the third stays off.
    dataset.groupEnabled[second] = true;
    dataset.groupEnabled[first] = true;

    const EventFilter filter = effectiveFilter(&dataset, groups);
    std::vector<std::string> order;
    for (const FilterRule& rule : filter.rules)
        order.push_back(rule.featureName);
    EXPECT_EQ(order, (std::vector<std::string>{"own", "g1", "g2a", "g2b"}));
    EXPECT_FALSE(filter.isEnabled());
    EXPECT_EQ(filter.combineMode(), CombineShowExcluded);
    // The dataset's own filter is not touched.
    EXPECT_EQ(dataset.filter.ruleCount(), 1);

    const EventFilter none = effectiveFilter(nullptr, groups);
    EXPECT_TRUE(none.isEnabled());
    EXPECT_EQ(none.ruleCount(), 0);
    EXPECT_EQ(none.combineMode(), CombineAllPass);
}

TEST(FilterGroupList, GroupRulesFilterUnderTheDatasetsCombineModeAndSwitch)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("ten.rtdc")).toStdString();
    {
        Tervane3::Test::RtdcFixture file(path);
        file.addColumn<double>("a", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        file.addColumn<double>("b", {9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    }
    DatasetList datasets;
    datasets.push_back(std::make_unique<DatasetEntry>());
    DatasetEntry& dataset = *datasets.front();
    dataset.reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(dataset.reader->open(path));
    dataset.filter.addRule(rangeRule("a", 2, 7));
    FilterGroupList groups;
    const int id = groups.add("", datasets);
    groups.addRule(id, rangeRule("b", 0, 4)); // a >= 5
    dataset.groupEnabled[id] = true;

    const struct {
        const char* name;
        int mode;
        bool enabled;
        std::vector<int> expected;
    } cases[] = {
        {"all rules pass", CombineAllPass, true, {5, 6, 7}},
        {"excluded events: fail at least one, group rule included", CombineShowExcluded, true,
         {0, 1, 2, 3, 4, 8, 9}},
        {"filtering switched off", CombineAllPass, false, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dataset.filter.setCombineMode(c.mode);
        dataset.filter.setEnabled(c.enabled);
        EXPECT_EQ(passingEventIndices(effectiveFilter(&dataset, groups), *dataset.reader), c.expected);
    }
}

TEST(FilterGroupList, DefaultRuleSpansTheFirstScalarFeature)
{
    QTemporaryDir dir;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        std::vector<double> first;
        double lo;
        double hi;
    } cases[] = {
        {"finite values only", {3.0, nan, -inf, 1.5, 8.25}, 1.5, 8.25},
        {"no finite value", {nan, nan, inf, nan, nan}, 0.0, 0.0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.filePath(QStringLiteral("f%1.rtdc").arg(n++)).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            file.addColumn<double>("area_um", c.first);
            file.addColumn<double>("deform", {1, 2, 3, 4, 5});
            file.addFrames("image", std::vector<std::uint8_t>(5 * 2 * 2, 0), 5, 2, 2);
        }
        RTDCReader reader;
        ASSERT_TRUE(reader.open(path));
        const FilterRule rule = defaultGroupRule(&reader);
        EXPECT_EQ(rule.type, RangeRule);
        EXPECT_EQ(rule.featureName, "area_um");
        EXPECT_EQ(rule.minValue, c.lo);
        EXPECT_EQ(rule.maxValue, c.hi);
        EXPECT_TRUE(rule.enabled);
    }
    EXPECT_EQ(defaultGroupRule(nullptr), FilterRule());
}
