// The filter panel's all-datasets actions on three open datasets, driven through the panel's
// buttons: copies, updates, switches and deletions by propagation id, the highlights that
// follow each plot update, one plot update per action, and rules imported from the
// measurements' acquisition limits.
#include "MainWindowTestAccess.h"
#include "support/WidgetLookup.h"

#include "filters/FilterDockWidget.h"
#include "filters/RuleRowWidget.h"

#include "support/FilterRules.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

bool highlighted(QPushButton* button)
{
    return button->styleSheet().contains(QLatin1String("#a6d7d5"));
}

class MainWindowRulePropagationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"a.rtdc", "b.rtdc", "c.rtdc"}) {
            Measurement m = smallMeasurement();
            m.attributes = limits;
            const QString path = dir.filePath(QString::fromLatin1(name));
            writeMeasurement(path.toStdString(), m);
            Access::addDataset(w, path);
            ASSERT_TRUE(waitForCaching(w));
        }
        Access::activate(w, 0);
        settle();
    }
    void settle()
    {
        waitUntil([&] { return !Access::filterUpdatePending(w); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    DatasetEntry& dataset(size_t i) { return Access::entry(w, i); }
    FilterDockWidget* panel() { return Access::filterPanel(w); }
    QPushButton* button(size_t row, const char* name) { return child<QPushButton>(panel()->rows().at(row), name); }
    // Clicks and waits for the plot; returns the number of plot updates that followed.
    int click(QPushButton* target)
    {
        QSignalSpy updates(&w, &MainWindow::plotUpdated);
        QTest::mouseClick(target, Qt::LeftButton);
        settle();
        return updates.count();
    }

    std::map<std::string, std::string> limits;
    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
};

} // namespace

TEST_F(MainWindowRulePropagationTest, RulesKeptInStepThroughTheRowButtons)
{
    QTest::mouseClick(child<QPushButton>(panel(), "addRuleButton"), Qt::LeftButton);
    settle();
    ASSERT_EQ(panel()->rows().size(), 1u);
    EXPECT_FALSE(button(0, "applyToAllButton")->isHidden());

    // "Apply to All": every dataset gets the rule under one id; the row now offers the rest.
    EXPECT_EQ(click(button(0, "applyToAllButton")), 1);
    const std::string id = dataset(0).filter.rules.at(0).propagationId;
    EXPECT_EQ(id.size(), 38u);
    for (size_t i : {1, 2})
        EXPECT_EQ(dataset(i).filter.rules, dataset(0).filter.rules) << i;
    EXPECT_TRUE(button(0, "applyToAllButton")->isHidden());
    EXPECT_FALSE(button(0, "updateInAllButton")->isHidden());
    EXPECT_FALSE(highlighted(button(0, "updateInAllButton")));

    // A changed bound highlights "Update in All" until it is pressed.
    child<QDoubleSpinBox>(panel()->rows()[0], "minSpin")->setValue(25);
    settle();
    EXPECT_TRUE(highlighted(button(0, "updateInAllButton")));
    EXPECT_EQ(click(button(0, "updateInAllButton")), 1);
    EXPECT_EQ(dataset(2).filter.rules.at(0).minValue, 25);
    EXPECT_FALSE(highlighted(button(0, "updateInAllButton")));

    // Unchecked here: the check button copies the unchecked state, highlighted meanwhile.
    child<QCheckBox>(panel()->rows()[0], "enabledCheck")->setChecked(false);
    settle();
    EXPECT_EQ(button(0, "checkInAllButton")->text(), "Uncheck in All");
    EXPECT_TRUE(highlighted(button(0, "checkInAllButton")));
    EXPECT_EQ(click(button(0, "checkInAllButton")), 1);
    for (size_t i : {0, 1, 2})
        EXPECT_FALSE(dataset(i).filter.rules.at(0).enabled) << i;
    EXPECT_FALSE(highlighted(button(0, "checkInAllButton")));

    // "Delete from All": gone everywhere, the row too.
    EXPECT_EQ(click(button(0, "deleteFromAllButton")), 1);
    for (size_t i : {0, 1, 2})
        EXPECT_TRUE(dataset(i).filter.rules.empty()) << i;
    EXPECT_TRUE(panel()->rows().empty());
}

TEST_F(MainWindowRulePropagationTest, PanelSwitchesAndTheWholeFilterReachEveryDataset)
{
    auto* enableAll = child<QPushButton>(panel(), "enableAllButton");
    auto* excludedAll = child<QPushButton>(panel(), "showExcludedAllButton");
    EXPECT_EQ(enableAll->text(), "Enable in All Datasets");
    EXPECT_FALSE(highlighted(enableAll));

    child<QCheckBox>(panel(), "filteringEnabledCheck")->setChecked(false);
    child<QCheckBox>(panel(), "showExcludedCheck")->setChecked(true);
    settle();
    EXPECT_EQ(enableAll->text(), "Disable in All Datasets");
    EXPECT_TRUE(highlighted(enableAll));
    EXPECT_EQ(excludedAll->text(), "Show Excluded in All Datasets");
    EXPECT_TRUE(highlighted(excludedAll));
    EXPECT_EQ(click(enableAll), 1);
    EXPECT_EQ(click(excludedAll), 1);
    for (size_t i : {1, 2}) {
        EXPECT_FALSE(dataset(i).filter.isEnabled());
        EXPECT_EQ(dataset(i).filter.combineMode(), CombineShowExcluded);
    }
    EXPECT_FALSE(highlighted(enableAll));
    EXPECT_FALSE(highlighted(excludedAll));

    FilterRule own;
    own.featureName = "area_um";
    own.maxValue = 35;
    dataset(0).filter.rules = {own};
    dataset(1).groupEnabled[0] = true;
    QSignalSpy updates(&w, &MainWindow::plotUpdated);
    emit panel()->applyToAllRequested();
    settle();
    EXPECT_EQ(updates.count(), 1);
    EXPECT_EQ(dataset(2).filter.rules, (std::vector<FilterRule>{own}));
    EXPECT_TRUE(dataset(1).groupEnabled.at(0));
}

class MainWindowMeasurementLimitsTest : public MainWindowRulePropagationTest
{
protected:
    MainWindowMeasurementLimitsTest()
    {
        limits = {{"online_filter:area_um soft limit", "1"}, {"online_filter:area_um min", "15"},
                  {"online_filter:area_um max", "45"}};
    }
};

TEST_F(MainWindowMeasurementLimitsTest, ImportedLimitsFilterAtOnceAndAddUpWhenRepeated)
{
    ScriptedPrompts& prompts = *env.prompts;
    emit panel()->importMeasurementFiltersRequested(false);
    settle();
    ASSERT_EQ(panel()->rows().size(), 1u);
    EXPECT_EQ(panel()->rows()[0]->rule().maxValue, 45);
    EXPECT_EQ(Access::plottedEventIndices(w), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(dataset(1).filter.rules.empty());

    emit panel()->importMeasurementFiltersRequested(true);
    settle();
    EXPECT_EQ(dataset(0).filter.ruleCount(), 2);
    EXPECT_EQ(dataset(1).filter.ruleCount(), 1);
    EXPECT_EQ(panel()->rows().size(), 2u);
    EXPECT_EQ(prompts.calls().size(), 0u);
}

TEST_F(MainWindowRulePropagationTest, NoSwitchedOnLimitInAnyDatasetShowsOneBox)
{
    ScriptedPrompts& prompts = *env.prompts;
    emit panel()->importMeasurementFiltersRequested(true);
    settle();
    ASSERT_EQ(prompts.countTitled(QStringLiteral("Import Measurement Filters")), 1);
    EXPECT_EQ(prompts.last()->text, "No features with soft limit enabled found.");
    for (size_t i : {0, 1, 2})
        EXPECT_TRUE(dataset(i).filter.rules.empty());
}
