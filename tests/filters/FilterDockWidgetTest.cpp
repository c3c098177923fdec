// The filter panel on its own: rows built from a dataset's filter, "+ Rule", removing rows
// and their separators, the rewrite of the dataset's rules, the status line, the
// all-datasets buttons, the polygon toggles and the group boxes with their signals.
#include "filters/FilterDockWidget.h"
#include "support/FilterRules.h"

#include "app/DatasetEntry.h"
#include "filters/FilterGroup.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"

#include "FilterTestFiles.h"
#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

// A gate on area and deformation around the fixture's events.
FilterRule areaDeformGate()
{
    return gateRule("area_um", "deform", {{0, 0}, {100, 0}, {100, 1}});
}

struct DockFixture
{
    DockFixture()
    {
        dataset.id = 3;
        dataset.reader = files.open({{"area_um", {10, 20, 30}}, {"deform", {0.01, 0.02, 0.03}}}, true);
    }
    QString status() { return child<QLabel>(&dock, "filterStatusLabel")->text(); }

    FilterTestFiles files;
    DatasetEntry dataset;
    FilterDockWidget dock;
};

} // namespace

TEST(FilterDockWidget, WithoutDatasetThePanelIsEmptyAndDisabled)
{
    DockFixture f;
    f.dataset.filter.addRule(rangeRule("area_um", 10, 20));
    f.dock.setDataset(&f.dataset);
    EXPECT_TRUE(child<QGroupBox>(&f.dock, "datasetFilterBox")->isEnabled());
    EXPECT_EQ(f.dock.rows().size(), 1u);

    QSignalSpy changed(&f.dock, &FilterDockWidget::filterChanged);
    f.dock.setDataset(nullptr);
    EXPECT_TRUE(f.dock.rows().empty());
    EXPECT_FALSE(child<QGroupBox>(&f.dock, "datasetFilterBox")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(&f.dock, "filteringEnabledCheck")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(&f.dock, "showExcludedCheck")->isChecked());
    EXPECT_EQ(f.status(), "No dataset selected");
    EXPECT_EQ(changed.count(), 0);
    // The dataset itself is untouched.
    EXPECT_TRUE(f.dataset.filter.isEnabled());
    EXPECT_EQ(f.dataset.filter.ruleCount(), 1);
}

TEST(FilterDockWidget, RowsFollowTheRulesAndEditsRewriteThem)
{
    DockFixture f;
    f.dataset.filter.addRule(rangeRule("area_um", 10, 20));
    f.dataset.filter.addRule(areaDeformGate());
    f.dataset.filter.addRule(rangeRule("deform", 0.015, 0.025));
    f.dataset.filter.setCombineMode(CombineShowExcluded);
    f.dataset.filter.setEnabled(false);
    f.dock.setDataset(&f.dataset);
    ASSERT_EQ(f.dock.rows().size(), 3u);
    EXPECT_EQ(f.dock.separatorCount(), 2);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(f.dock.rows()[0]), nullptr);
    EXPECT_NE(qobject_cast<PolygonRuleWidget*>(f.dock.rows()[1]), nullptr);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(f.dock.rows()[2]), nullptr);
    EXPECT_FALSE(child<QCheckBox>(&f.dock, "filteringEnabledCheck")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(&f.dock, "showExcludedCheck")->isChecked());
    EXPECT_EQ(f.status(), "No filter active");

    QSignalSpy changed(&f.dock, &FilterDockWidget::filterChanged);
    child<QDoubleSpinBox>(f.dock.rows()[2], "minSpin")->setValue(0.0175);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(f.dock.lastChangeWasBoundEdit());
    EXPECT_EQ(f.dataset.filter.rules[2].minValue, 0.0175);
    EXPECT_EQ(f.dataset.filter.rules[1], areaDeformGate());

    child<QCheckBox>(&f.dock, "filteringEnabledCheck")->setChecked(true);
    child<QCheckBox>(&f.dock, "showExcludedCheck")->setChecked(false);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_FALSE(f.dock.lastChangeWasBoundEdit());
    EXPECT_TRUE(f.dataset.filter.isEnabled());
    EXPECT_EQ(f.dataset.filter.combineMode(), CombineAllPass);

    // "+ Rule" appends a separator and a row on the first feature and rewrites all rules.
    QTest::mouseClick(child<QPushButton>(&f.dock, "addRuleButton"), Qt::LeftButton);
    EXPECT_EQ(changed.count(), 4);
    ASSERT_EQ(f.dataset.filter.ruleCount(), 4);
    EXPECT_EQ(f.dock.separatorCount(), 3);
    EXPECT_EQ(f.dataset.filter.rules[3].featureName, "area_um");
    EXPECT_EQ(f.dataset.filter.rules[3].minValue, 10.0);
    EXPECT_EQ(f.dataset.filter.rules[3].maxValue, 30.0);
}

TEST(FilterDockWidget, AddRuleNeedsAScalarFeature)
{
    FilterTestFiles files;
    DatasetEntry framesOnly;
    framesOnly.reader = files.open({}, false);
    FilterDockWidget dock;
    dock.setDataset(&framesOnly);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    dock.onAddRule();
    EXPECT_TRUE(dock.rows().empty());
    EXPECT_EQ(framesOnly.filter.ruleCount(), 0);
    EXPECT_EQ(changed.count(), 0);
}

TEST(FilterDockWidget, RemovingARowTakesTheSeparatorBelowTheFirstRowElseTheOneAbove)
{
    const struct {
        const char* name;
        int removed;
        int separatorRemoved;
        bool byButton;
    } cases[] = {
        {"first row by its button", 0, 0, true},   {"last row by its button", 2, 1, true},
        {"middle row by its button", 1, 0, true},  {"first row by index", 0, 0, false},
        {"last row by index", 2, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DockFixture f;
        for (double lo : {10.0, 15.0, 20.0})
            f.dataset.filter.addRule(rangeRule("area_um", lo, 30));
        f.dock.setDataset(&f.dataset);
        std::vector<QPointer<QWidget>> separators;
        for (QWidget* w : f.dock.findChildren<QWidget*>(QStringLiteral("ruleSeparator")))
            separators.emplace_back(w);
        ASSERT_EQ(separators.size(), 2u);
        QSignalSpy changed(&f.dock, &FilterDockWidget::filterChanged);
        if (c.byButton)
            QTest::mouseClick(child<QPushButton>(f.dock.rows()[static_cast<size_t>(c.removed)], "removeButton"),
                              Qt::LeftButton);
        else
            f.dock.removeRuleAt(c.removed);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(f.dock.separatorCount(), 1);
        EXPECT_TRUE(separators[static_cast<size_t>(c.separatorRemoved)].isNull());
        EXPECT_FALSE(separators[static_cast<size_t>(1 - c.separatorRemoved)].isNull());
        std::vector<double> remaining;
        for (const FilterRule& rule : f.dataset.filter.rules)
            remaining.push_back(rule.minValue);
        std::vector<double> expected{10.0, 15.0, 20.0};
        expected.erase(expected.begin() + c.removed);
        EXPECT_EQ(remaining, expected);
    }

    DockFixture f;
    for (double lo : {10.0, 15.0, 20.0})
        f.dataset.filter.addRule(rangeRule("area_um", lo, 30));
    f.dock.setDataset(&f.dataset);
    QSignalSpy changed(&f.dock, &FilterDockWidget::filterChanged);
    f.dock.removeRuleAt(3);
    f.dock.removeRuleAt(-1);
    f.dock.setRuleEnabled(3, false);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(f.dock.rows().size(), 3u);
}

TEST(FilterDockWidget, EventCountLine)
{
    const struct {
        size_t shown;
        size_t total;
        const char* text;
    } cases[] = {{0, 0, "No events"},
                 {1000, 1000, "1000 events (no filter active)"},
                 {250, 1000, "250 / 1000 events shown (25.0%)"},
                 {1, 3, "1 / 3 events shown (33.3%)"},
                 {0, 10, "0 / 10 events shown (0.0%)"}};
    FilterDockWidget dock;
    for (const auto& c : cases) {
        dock.updateEventCount(c.shown, c.total);
        EXPECT_EQ(child<QLabel>(&dock, "filterStatusLabel")->text(), c.text);
    }
}

TEST(FilterDockWidget, AllDatasetsButtonsNameTheLocalStateAndNeedSeveralDatasets)
{
    DockFixture f;
    f.dock.setDataset(&f.dataset);
    auto* enableAll = child<QPushButton>(&f.dock, "enableAllButton");
    auto* excludedAll = child<QPushButton>(&f.dock, "showExcludedAllButton");
    EXPECT_TRUE(enableAll->text().isEmpty());
    const auto highlighted = [](QPushButton* b) { return b->styleSheet().contains(QLatin1String("#a6d7d5")); };

    f.dock.setDatasetCount(1);
    f.dock.updateEnableAllButton(true);
    f.dock.updateShowExcludedAllButton(true);
    EXPECT_EQ(enableAll->text(), "Enable in All Datasets");
    EXPECT_EQ(excludedAll->text(), "Hide Excluded in All Datasets");
    EXPECT_FALSE(enableAll->isEnabled());
    EXPECT_FALSE(highlighted(enableAll));
    EXPECT_FALSE(highlighted(excludedAll));

    f.dock.setDatasetCount(2);
    child<QCheckBox>(&f.dock, "filteringEnabledCheck")->setChecked(false);
    child<QCheckBox>(&f.dock, "showExcludedCheck")->setChecked(true);
    f.dock.updateEnableAllButton(true);
    f.dock.updateShowExcludedAllButton(false);
    EXPECT_EQ(enableAll->text(), "Disable in All Datasets");
    EXPECT_EQ(excludedAll->text(), "Show Excluded in All Datasets");
    EXPECT_TRUE(enableAll->isEnabled());
    EXPECT_TRUE(highlighted(enableAll));
    EXPECT_FALSE(highlighted(excludedAll));

    QSignalSpy enabledForAll(&f.dock, &FilterDockWidget::enabledChangedForAll);
    QSignalSpy modeForAll(&f.dock, &FilterDockWidget::combineModeChangedForAll);
    QTest::mouseClick(enableAll, Qt::LeftButton);
    QTest::mouseClick(excludedAll, Qt::LeftButton);
    ASSERT_EQ(enabledForAll.count(), 1);
    EXPECT_FALSE(enabledForAll.at(0).at(0).toBool());
    ASSERT_EQ(modeForAll.count(), 1);
    EXPECT_EQ(modeForAll.at(0).at(0).toInt(), 1);
}

// Regression: in a dock narrower than a switch and its all-datasets button side by side
// (about 530 px; the dock is at most 500 wide), both texts were cut ("Show Excluded Ever").
TEST(FilterDockWidget, SwitchesAndTheirButtonsKeepTheirTextsWholeInANarrowDock)
{
    // In a frame, as in the dock: a top-level panel would not get narrower than its layout.
    QWidget frame;
    frame.resize(800, 700);
    DockFixture f;
    f.dock.setParent(&frame);
    f.dock.setDataset(&f.dataset);
    f.dock.setDatasetCount(2);
    f.dock.resize(700, 600);
    frame.show();
    f.dock.updateEnableAllButton(false);
    f.dock.updateShowExcludedAllButton(false);
    auto* enabled = child<QCheckBox>(&f.dock, "filteringEnabledCheck");
    auto* excluded = child<QCheckBox>(&f.dock, "showExcludedCheck");
    auto* enableAll = child<QPushButton>(&f.dock, "enableAllButton");
    auto* excludedAll = child<QPushButton>(&f.dock, "showExcludedAllButton");
    for (const int width : {700, 320, 460, 700}) {
        SCOPED_TRACE(width);
        f.dock.resize(width, 600);
        ASSERT_EQ(f.dock.width(), width);
        QCoreApplication::processEvents();
        for (QWidget* w : std::initializer_list<QWidget*>{enabled, excluded, enableAll, excludedAll}) {
            SCOPED_TRACE(w->objectName().toStdString());
            EXPECT_GE(w->width(), w->sizeHint().width());
            EXPECT_LE(w->mapTo(&f.dock, QPoint(w->width(), 0)).x(), f.dock.width());
        }
        // Beside its switch when both fit, else below it.
        const bool beside = width == 700;
        EXPECT_EQ(enableAll->y() == enabled->y() || enableAll->geometry().center().y() == enabled->geometry().center().y(),
                  beside);
        EXPECT_EQ(excludedAll->geometry().top() >= excluded->geometry().bottom(), !beside);
    }
}

TEST(FilterDockWidget, RowRequestsCarryTheRowsCurrentIndex)
{
    DockFixture f;
    f.dock.setDatasetCount(2);
    FilterRule shared = rangeRule("area_um", 10, 20);
    shared.propagationId = "{a}";
    f.dataset.filter.addRule(rangeRule("area_um", 10, 30));
    f.dataset.filter.addRule(shared);
    f.dock.setDataset(&f.dataset);
    RuleRowWidget* second = f.dock.rows()[1];
    f.dock.removeRuleAt(0);

    QSignalSpy update(&f.dock, &FilterDockWidget::updateRuleToAll);
    QSignalSpy remove(&f.dock, &FilterDockWidget::deleteRuleFromAll);
    QSignalSpy apply(&f.dock, &FilterDockWidget::applyRuleToAll);
    QTest::mouseClick(child<QPushButton>(second, "updateInAllButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(second, "deleteFromAllButton"), Qt::LeftButton);
    ASSERT_EQ(update.count(), 1);
    EXPECT_EQ(update.at(0).at(0).toInt(), 0);
    ASSERT_EQ(remove.count(), 1);
    EXPECT_EQ(remove.at(0).at(0).toInt(), 0);

    // The id written into a row is kept by the next rewrite of the rules.
    f.dock.setRulePropagationId(0, "{b}");
    child<QCheckBox>(second, "invertCheck")->setChecked(true);
    EXPECT_EQ(f.dataset.filter.rules[0].propagationId, "{b}");
    EXPECT_TRUE(f.dataset.filter.rules[0].inverted);
    EXPECT_EQ(apply.count(), 0);
}

TEST(FilterDockWidget, OneDatasetGateShowsEditPressedAtATime)
{
    DockFixture f;
    f.dataset.filter.addRule(areaDeformGate());
    f.dataset.filter.addRule(rangeRule("area_um", 10, 30));
    f.dataset.filter.addRule(areaDeformGate());
    f.dock.setDataset(&f.dataset);
    auto* first = qobject_cast<PolygonRuleWidget*>(f.dock.rows()[0]);
    auto* third = qobject_cast<PolygonRuleWidget*>(f.dock.rows()[2]);
    ASSERT_TRUE(first && third);
    f.dock.setPolygonEditChecked(0, true);
    EXPECT_TRUE(first->isEditChecked());
    QSignalSpy edit(&f.dock, &FilterDockWidget::polygonEditRequested);
    QTest::mouseClick(child<QPushButton>(third, "editButton"), Qt::LeftButton);
    EXPECT_FALSE(first->isEditChecked());
    ASSERT_EQ(edit.count(), 1);
    EXPECT_EQ(edit.at(0), (QList<QVariant>{2, true}));
    f.dock.setPolygonEditChecked(1, true); // a range row: nothing
    EXPECT_EQ(edit.count(), 1);

    QSignalSpy draw(&f.dock, &FilterDockWidget::polygonDrawRequested);
    QSignalSpy cancel(&f.dock, &FilterDockWidget::polygonDrawCancelRequested);
    f.dock.setPolygonDrawChecked(true);
    EXPECT_EQ(draw.count(), 0);
    QTest::mouseClick(child<QPushButton>(&f.dock, "addPolygonButton"), Qt::LeftButton);
    EXPECT_EQ(cancel.count(), 1);
    EXPECT_EQ(draw.count(), 0);
}

TEST(FilterDockWidget, GroupBoxesFollowTheGroupsAndForwardTheirSignals)
{
    DockFixture f;
    FilterGroup a;
    a.id = 2;
    a.name = "Singlets";
    a.rules = {rangeRule("deform", 0.0, 0.02), areaDeformGate()};
    FilterGroup b;
    b.id = 5;
    b.name = "Large";
    f.dataset.groupEnabled[5] = true;
    f.dock.setDatasetCount(1);
    f.dock.setDataset(&f.dataset);
    f.dock.setFilterGroups({&a, &b}, f.dataset.reader);
    ASSERT_EQ(f.dock.groupBoxes().size(), 2u);
    FilterGroupWidget* first = f.dock.groupBoxes()[0];
    FilterGroupWidget* second = f.dock.groupBoxes()[1];
    EXPECT_EQ(first->groupId(), 2);
    EXPECT_EQ(first->rows().size(), 2u);
    EXPECT_EQ(child<QLineEdit>(first, "groupNameEdit")->text(), "Singlets");
    EXPECT_FALSE(child<QCheckBox>(first, "groupEnabledCheck")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(second, "groupEnabledCheck")->isChecked());
    EXPECT_FALSE(child<QPushButton>(second, "groupAllButton")->isEnabled());

    // A count change reaches the rule rows, the group boxes only at their next rebuild.
    f.dock.setDatasetCount(2);
    EXPECT_FALSE(child<QPushButton>(second, "groupAllButton")->isEnabled());
    f.dock.setGroupAllState(5, true);
    EXPECT_TRUE(second->isMixed());
    f.dock.setGroupAllState(9, true); // no such box: nothing

    QSignalSpy changed(&f.dock, &FilterDockWidget::groupRuleChanged);
    QSignalSpy enable(&f.dock, &FilterDockWidget::groupEnableChanged);
    QSignalSpy editing(&f.dock, &FilterDockWidget::groupPolygonEditRequested);
    child<QDoubleSpinBox>(first->rows()[0], "maxSpin")->setValue(0.025);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 2);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 0);
    EXPECT_EQ(changed.at(0).at(2).value<FilterRule>().maxValue, 0.025);
    EXPECT_TRUE(f.dock.lastChangeWasBoundEdit());
    child<QCheckBox>(second, "groupEnabledCheck")->setChecked(false);
    ASSERT_EQ(enable.count(), 1);
    EXPECT_EQ(enable.at(0), (QList<QVariant>{5, false}));
    f.dock.setGroupPolygonEditChecked(2, 1, true);
    EXPECT_TRUE(qobject_cast<PolygonRuleWidget*>(first->rows()[1])->isEditChecked());
    EXPECT_EQ(editing.count(), 0);

    // Rebuilt boxes replace the old ones, which are deleted later; without a reader the boxes
    // show no rows.
    QPointer<FilterGroupWidget> old(first);
    f.dock.setFilterGroups({&b}, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    ASSERT_EQ(f.dock.groupBoxes().size(), 1u);
    EXPECT_TRUE(child<QPushButton>(f.dock.groupBoxes()[0], "groupAllButton")->isEnabled());
}

TEST(FilterDockWidget, FeatureListsReachRangeRowsAndGroupBoxes)
{
    DockFixture f;
    FilterGroup group;
    group.id = 0;
    group.rules = {rangeRule("emodulus", 1, 2)};
    f.dataset.filter.addRule(rangeRule("emodulus", 1, 2));
    f.dock.setDataset(&f.dataset);
    f.dock.setFilterGroups({&group}, f.dataset.reader);
    EXPECT_TRUE(f.dock.rows()[0]->featureUnavailable());
    EXPECT_TRUE(f.dock.groupBoxes()[0]->rows()[0]->featureUnavailable());
    f.dataset.reader->setFeature("emodulus", {1.0, 1.5, 2.0});
    f.dock.refreshFeatureLists();
    EXPECT_FALSE(f.dock.rows()[0]->featureUnavailable());
    EXPECT_FALSE(f.dock.groupBoxes()[0]->rows()[0]->featureUnavailable());
    EXPECT_EQ(f.dock.rows()[0]->rule().minValue, 1.0);
}
