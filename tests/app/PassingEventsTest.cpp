// The one road from a dataset to its passing events: the "Filtering Enabled" switch and a
// rule list without usable rules both give every event; a null host dataset gives none.
#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/PassingEvents.h"
#include "core/RTDCReader.h"
#include "support/FilterRules.h"
#include "support/RtdcFixture.h"
#include "support/StandInHost.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace Tervane3 {
namespace {

class PassingEventsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("five.rtdc")).toStdString();
        {
            ::Tervane3::Test::RtdcFixture fixture(path);
            fixture.addColumn<double>("area_um", {10, 20, 30, 40, 50});
            fixture.addColumn<double>("short", {1, 2});
        }
        ASSERT_NE(host.addDataset(path), nullptr);
    }

    DatasetEntry& entry() { return *host.entries.front(); }

    QTemporaryDir dir;
    std::string path;
    ::Tervane3::Test::StandInHost host;
};

TEST_F(PassingEventsTest, FollowsSwitchAndRules)
{
    struct Case {
        const char* name;
        bool enabled;
        std::vector<FilterRule> rules;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {"no rule", true, {}, {0, 1, 2, 3, 4}},
        {"one range", true, {rangeRule("area_um", 15, 45)}, {1, 2, 3}},
        {"switched off", false, {rangeRule("area_um", 15, 45)}, {0, 1, 2, 3, 4}},
        {"missing column is unused", true, {rangeRule("nothing", 0, 1)}, {0, 1, 2, 3, 4}},
        {"short column is unused", true, {rangeRule("short", 5, 6)}, {0, 1, 2, 3, 4}},
        {"two ranges", true, {rangeRule("area_um", 15, 45), rangeRule("area_um", 25, 100)}, {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        entry().filter = EventFilter();
        entry().filter.setEnabled(c.enabled);
        for (const FilterRule& rule : c.rules)
            entry().filter.addRule(rule);
        EXPECT_EQ(host.passingEvents(&entry()), c.expected);
    }
}

TEST_F(PassingEventsTest, NoDatasetOrReaderHasNoEvents)
{
    EXPECT_TRUE(host.passingEvents(nullptr).empty());
    DatasetEntry bare;
    EXPECT_TRUE(host.passingEvents(&bare).empty());
}

TEST_F(PassingEventsTest, SwitchedOnGroupRulesFollowTheOwnRules)
{
    entry().filter.addRule(rangeRule("area_um", 15, 100));
    host.groupRules[entry().id] = {rangeRule("area_um", 0, 35)};
    EXPECT_EQ(host.passingEvents(&entry()), (std::vector<int>{1, 2}));
    // The dataset's switch also binds the group rules.
    entry().filter.setEnabled(false);
    EXPECT_EQ(host.passingEvents(&entry()).size(), 5u);
}

TEST_F(PassingEventsTest, EventCountBoundsTheIndices)
{
    entry().filter.addRule(rangeRule("area_um", 0, 100));
    EXPECT_EQ(passingEventIndices(entry().filter, *entry().reader, 3), (std::vector<int>{0, 1, 2}));
    entry().filter.setEnabled(false);
    EXPECT_EQ(passingEventIndices(entry().filter, *entry().reader, 2), (std::vector<int>{0, 1}));
}

} // namespace
} // namespace Tervane3
