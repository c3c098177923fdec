// The filter panel inside the main window: the effective filter of the active dataset with
// its groups in both combine modes and with filtering switched off, as the panel's status
// line reports it; the group handlers; one plot update per typed number; group boxes that
// follow every activation and removal.
#include "MainWindowTestAccess.h"
#include "support/WidgetLookup.h"
#include "support/FilterRules.h"

#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "filters/FilterRuleWidget.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

class MainWindowFiltersTest : public ::testing::Test
{
protected:
    QString write(const Measurement& m, const char* name)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeMeasurement(path.toStdString(), m);
        return path;
    }
    bool open(const Measurement& m, const char* name)
    {
        Access::addDataset(w, write(m, name));
        return waitForCaching(w);
    }
    DatasetEntry& active() { return Access::entry(w, static_cast<size_t>(Access::activeIndex(w))); }
    FilterDockWidget* panel() { return Access::filterPanel(w); }
    QString status() { return child<QLabel>(panel(), "filterStatusLabel")->text(); }
    // Lets the coalesced filter update and the deferred deletions run.
    void settle()
    {
        waitUntil([&] { return !Access::filterUpdatePending(w); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    FilterGroupWidget* box(size_t i) { return panel()->groupBoxes().at(i); }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
};

} // namespace

TEST_F(MainWindowFiltersTest, GroupsJoinTheFilterInListOrderUnderTheDatasetsModeAndSwitch)
{
    ASSERT_TRUE(open(tenEvents(), "ten.rtdc"));
    EXPECT_EQ(status(), "10 events (no filter active)");
    active().filter.addRule(rangeRule("area_um", 25, 85)); // events 2 .. 7
    panel()->setDataset(&active());

    QPushButton* addGroup = child<QPushButton>(panel(), "addGroupButton");
    QTest::mouseClick(addGroup, Qt::LeftButton);
    QTest::mouseClick(addGroup, Qt::LeftButton);
    settle();
    ASSERT_EQ(panel()->groupBoxes().size(), 2u);
    EXPECT_EQ(child<QLineEdit>(box(0), "groupNameEdit")->text(), "Filter group 1");
    EXPECT_EQ(child<QLineEdit>(box(1), "groupNameEdit")->text(), "Filter group 2");
    w.addRuleToGroup(0, rangeRule("deform", 0.025, 1.0)); // events 2 .. 9
    w.addRuleToGroup(1, rangeRule("bright_avg", 0, 6.5)); // events 0 .. 5
    settle();
    EXPECT_EQ(status(), "6 / 10 events shown (60.0%)");

    // Switched on in the opposite order through the boxes.
    child<QCheckBox>(box(1), "groupEnabledCheck")->setChecked(true);
    settle();
    child<QCheckBox>(box(0), "groupEnabledCheck")->setChecked(true);
    settle();
    std::vector<std::string> order;
    for (const FilterRule& rule : w.buildEffectiveFilter(&active()).rules)
        order.push_back(rule.featureName);
    EXPECT_EQ(order, (std::vector<std::string>{"area_um", "deform", "bright_avg"}));

    const struct {
        const char* name;
        bool excluded;
        bool enabled;
        const char* status;
        std::vector<int> plotted;
    } cases[] = {
        {"every rule must pass", false, true, "4 / 10 events shown (40.0%)", {2, 3, 4, 5}},
        {"excluded events", true, true, "6 / 10 events shown (60.0%)", {0, 1, 6, 7, 8, 9}},
        {"filtering off although groups are on", true, false, "10 events (no filter active)",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        child<QCheckBox>(panel(), "showExcludedCheck")->setChecked(c.excluded);
        child<QCheckBox>(panel(), "filteringEnabledCheck")->setChecked(c.enabled);
        settle();
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(Access::plottedEventIndices(w), c.plotted);
        EXPECT_EQ(w.passingEvents(&active()), c.plotted);
    }
}

TEST_F(MainWindowFiltersTest, GroupHandlersChangeTheModelAndRebuildTheBoxes)
{
    ASSERT_TRUE(open(tenEvents(), "a.rtdc"));
    ASSERT_TRUE(open(tenEvents(), "b.rtdc"));
    QSignalSpy updates(&w, &MainWindow::plotUpdated);
    QTest::mouseClick(child<QPushButton>(panel(), "addGroupButton"), Qt::LeftButton);
    settle();
    EXPECT_EQ(updates.count(), 0); // a new group is off everywhere: nothing to redraw
    ASSERT_EQ(panel()->groupBoxes().size(), 1u);
    for (const auto& entry : Access::entries(w))
        EXPECT_FALSE(entry->groupEnabled.at(0));

    // "+ Rule": the first scalar feature of the active dataset spanning its values.
    QTest::mouseClick(child<QPushButton>(box(0), "groupAddRuleButton"), Qt::LeftButton);
    settle();
    ASSERT_EQ(w.filterGroups().front()->rules.size(), 1u);
    const FilterRule& added = w.filterGroups().front()->rules.front();
    EXPECT_EQ(added.featureName, "area_um");
    EXPECT_EQ(added.minValue, 10.0);
    EXPECT_EQ(added.maxValue, 100.0);
    EXPECT_EQ(box(0)->rows().size(), 1u);

    // Renaming changes the name only.
    updates.clear();
    auto* name = child<QLineEdit>(box(0), "groupNameEdit");
    name->setText(QStringLiteral("Singlets"));
    emit name->editingFinished();
    settle();
    EXPECT_EQ(w.filterGroups().front()->name, "Singlets");
    EXPECT_EQ(updates.count(), 0);

    // Switching for the active dataset marks the group mixed; "Check in All" evens it out.
    child<QCheckBox>(box(0), "groupEnabledCheck")->setChecked(true);
    settle();
    EXPECT_TRUE(active().groupEnabled.at(0));
    EXPECT_FALSE(Access::entry(w, 0).groupEnabled.at(0));
    QPushButton* all = child<QPushButton>(box(0), "groupAllButton");
    EXPECT_TRUE(all->isEnabled());
    EXPECT_TRUE(all->styleSheet().contains(QLatin1String("#a6d7d5")));
    EXPECT_EQ(all->text(), "Check in All Datasets");
    QTest::mouseClick(all, Qt::LeftButton);
    settle();
    for (const auto& entry : Access::entries(w))
        EXPECT_TRUE(entry->groupEnabled.at(0));
    EXPECT_FALSE(child<QPushButton>(box(0), "groupAllButton")->styleSheet().contains(QLatin1String("#a6d7d5")));

    // Removing the rule rebuilds the boxes; deleting the group erases every switch.
    QPointer<FilterGroupWidget> before(box(0));
    QTest::mouseClick(child<QPushButton>(box(0)->rows()[0], "removeButton"), Qt::LeftButton);
    settle();
    EXPECT_TRUE(before.isNull());
    EXPECT_TRUE(w.filterGroups().front()->rules.empty());
    QTest::mouseClick(child<QPushButton>(box(0), "groupDeleteButton"), Qt::LeftButton);
    settle();
    EXPECT_TRUE(w.filterGroups().empty());
    EXPECT_TRUE(panel()->groupBoxes().empty());
    for (const auto& entry : Access::entries(w))
        EXPECT_TRUE(entry->groupEnabled.empty());

    // Requests for groups that do not exist change nothing and redraw nothing.
    updates.clear();
    w.removeFilterGroup(42);
    w.renameFilterGroup(42, "x");
    w.setGroupEnabled(999, 0, true);
    settle();
    EXPECT_EQ(updates.count(), 0);
}

TEST_F(MainWindowFiltersTest, TypingIntoAGroupRuleKeepsFocusAndRedrawsOnce)
{
    ASSERT_TRUE(open(tenEvents(), "ten.rtdc"));
    const int id = w.addFilterGroup("Gate");
    w.addRuleToGroup(id, rangeRule("area_um", 10, 100));
    w.setGroupEnabled(active().id, id, true);
    settle();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    ASSERT_EQ(panel()->groupBoxes().size(), 1u);
    QPointer<FilterGroupWidget> groupBox(box(0));
    auto* minSpin = child<QDoubleSpinBox>(groupBox->rows()[0], "minSpin");
    minSpin->setFocus();
    minSpin->selectAll();

    QSignalSpy updates(&w, &MainWindow::plotUpdated);
    QTest::keyClicks(minSpin, QStringLiteral("12"));
    // Stored at once; the plot waits for the typing to pause.
    EXPECT_EQ(w.filterGroups().front()->rules.front().minValue, 12.0);
    EXPECT_EQ(updates.count(), 0);
    ASSERT_TRUE(updates.wait(2000));
    QTest::qWait(400);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(updates.count(), 1);
    EXPECT_EQ(Access::plottedEventIndices(w), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // The box that was typed into is still the one shown, and its spin box keeps the focus.
    ASSERT_FALSE(groupBox.isNull());
    EXPECT_EQ(panel()->groupBoxes().front(), groupBox.data());
    EXPECT_EQ(QApplication::focusWidget(), minSpin);
}

TEST_F(MainWindowFiltersTest, AnyOtherChangeInTheBatchRebuildsTheGroupBoxes)
{
    ASSERT_TRUE(open(tenEvents(), "ten.rtdc"));
    const int first = w.addFilterGroup("A");
    w.addFilterGroup("B");
    w.addRuleToGroup(first, rangeRule("area_um", 10, 100));
    settle();
    QPointer<FilterGroupWidget> old(box(0));
    child<QDoubleSpinBox>(box(0)->rows()[0], "maxSpin")->setValue(50);
    child<QCheckBox>(box(1), "groupEnabledCheck")->setChecked(true);
    QSignalSpy updates(&w, &MainWindow::plotUpdated);
    settle();
    EXPECT_EQ(updates.count(), 1);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(w.filterGroups().front()->rules.front().maxValue, 50.0);
}

// Regression: a group box kept a plain pointer to the reader of the dataset it was built
// for. After the last dataset was removed and another file opened, its rows read the freed
// reader while the new file was cached.
TEST_F(MainWindowFiltersTest, GroupBoxesFollowEveryActivationAndRemoval)
{
    ASSERT_TRUE(open(tenEvents(), "a.rtdc"));
    const int id = w.addFilterGroup("Gate");
    w.addRuleToGroup(id, rangeRule("area_um", 20, 80));
    settle();
    ASSERT_EQ(box(0)->rows().size(), 1u);
    std::weak_ptr<RTDCReader> first = active().reader;

    w.removeDataset();
    settle();
    ASSERT_TRUE(Access::entries(w).empty());
    ASSERT_EQ(panel()->groupBoxes().size(), 1u);
    EXPECT_TRUE(box(0)->rows().empty());
    EXPECT_TRUE(first.expired());

    // A file without area_um: while it is being cached the rows already use its reader.
    Measurement other;
    other.columns["deform"] = {0.1, 0.2, 0.3};
    other.columns["bright_avg"] = {1, 2, 3};
    Access::addDataset(w, write(other, "b.rtdc"));
    ASSERT_EQ(panel()->groupBoxes().size(), 1u);
    ASSERT_EQ(box(0)->rows().size(), 1u);
    EXPECT_TRUE(box(0)->rows()[0]->featureUnavailable());
    ASSERT_TRUE(waitForCaching(w));
    settle();
    EXPECT_TRUE(box(0)->rows()[0]->featureUnavailable());
    EXPECT_EQ(box(0)->rows()[0]->rule().minValue, 20.0);
}

TEST_F(MainWindowFiltersTest, MatrixClicksRedrawOnceAndTheMatrixFollowsTheGroups)
{
    ASSERT_TRUE(open(tenEvents(), "a.rtdc"));
    ASSERT_TRUE(open(tenEvents(), "b.rtdc"));
    for (const char* name : {"A", "B", "C"})
        w.addFilterGroup(name);
    w.addRuleToGroup(1, rangeRule("area_um", 25, 100));
    settle();
    w.openFilterGroupsMatrixWindow();
    ASSERT_EQ(Access::matrixWindows(w).size(), 1u);
    FilterGroupsMatrixWindow* matrix = Access::matrixWindows(w).front();
    auto* tree = matrix->findChild<QTreeWidget*>(QStringLiteral("matrixTree"));
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->columnCount(), 4);

    // Three switches at once, one redraw.
    QSignalSpy updates(&w, &MainWindow::plotUpdated);
    matrix->onItemClicked(tree->topLevelItem(1), 0);
    settle();
    EXPECT_EQ(updates.count(), 1);
    for (int id : {0, 1, 2})
        EXPECT_TRUE(active().groupEnabled.at(id));
    EXPECT_EQ(Access::plottedEventIndices(w), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    // The panel's box follows the matrix.
    EXPECT_TRUE(child<QCheckBox>(box(1), "groupEnabledCheck")->isChecked());

    // A group added in the panel appears as a column.
    QTest::mouseClick(child<QPushButton>(panel(), "addGroupButton"), Qt::LeftButton);
    settle();
    tree = matrix->findChild<QTreeWidget*>(QStringLiteral("matrixTree"));
    EXPECT_EQ(tree->columnCount(), 5);
    EXPECT_EQ(tree->headerItem()->text(4), "Filter group 4");
    matrix->close();
    EXPECT_TRUE(Access::matrixWindows(w).empty());
}

// Regression: while the active dataset was still being cached, a switch changed from outside
// its group box (the matrix window, another dataset's "Check in All Datasets") redrew nothing,
// and the boxes kept showing the old switch and highlight until the caching ended.
TEST_F(MainWindowFiltersTest, GroupBoxesFollowSwitchesWhileTheActiveDatasetIsCached)
{
    ASSERT_TRUE(open(tenEvents(), "a.rtdc"));
    const int id = w.addFilterGroup("Gate");
    w.addRuleToGroup(id, rangeRule("area_um", 20, 80));
    settle();
    DatasetEntry& loading = Access::addListedEntry(w, Access::nextDatasetId(w)++);
    loading.reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(loading.reader->open(write(tenEvents(), "b.rtdc").toStdString()));
    Access::activate(w, 1);
    settle();
    ASSERT_FALSE(loading.featuresLoaded);
    ASSERT_EQ(box(0)->rows().size(), 1u);
    EXPECT_FALSE(child<QCheckBox>(box(0), "groupEnabledCheck")->isChecked());

    w.setGroupEnabled(loading.id, id, true);
    settle();
    EXPECT_TRUE(child<QCheckBox>(box(0), "groupEnabledCheck")->isChecked());
    EXPECT_TRUE(box(0)->isMixed());
    w.setGroupEnabledInAll(id, true);
    settle();
    EXPECT_FALSE(box(0)->isMixed());
}
