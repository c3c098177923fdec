// Polygon gates on the main plot: drawn with the mouse for the dataset or a filter group on
// linear and logarithmic axes (Esc stores nothing), shown on the plot, reshaped through the
// Edit toggles, and every event that must end an edit before it could land in another rule.
#include "MainWindowTestAccess.h"
#include "support/WidgetLookup.h"

#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "filters/PolygonGateId.h"
#include "filters/PolygonRuleWidget.h"
#include "plots/ScatterPlot.h"

#include "support/FilterRules.h"
#include "support/TestSupport.h"

#include <qwt_plot_shapeitem.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

// A gate around events 2 .. 5 (area 30 .. 60, deform 0.03 .. 0.06).
const std::vector<PolygonVertex> kSquare{{25, 0.025}, {65, 0.025}, {65, 0.065}, {25, 0.065}};

FilterRule gate(const std::string& x = "area_um", const std::string& y = "deform",
                const std::vector<PolygonVertex>& vertices = kSquare)
{
    return gateRule(x, y, vertices);
}

// Keeps every event of the fixture.
const std::vector<PolygonVertex> kEverything{{0, 0}, {200, 0}, {200, 20}, {0, 20}};

class MainWindowPolygonGatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.resize(1400, 900);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        ASSERT_TRUE(open("a.rtdc"));
    }
    bool open(const char* name)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeMeasurement(path.toStdString(), tenEvents());
        Access::addDataset(w, path);
        const bool ok = waitForCaching(w);
        settle();
        return ok;
    }
    void settle()
    {
        waitUntil([&] { return !Access::filterUpdatePending(w); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        plot()->replot();
        QCoreApplication::processEvents();
    }
    DatasetEntry& active() { return Access::entry(w, static_cast<size_t>(Access::activeIndex(w))); }
    FilterDockWidget* panel() { return Access::filterPanel(w); }
    ScatterPlot* plot() { return Access::scatterPlot(w); }
    QWidget* canvas() { return plot()->canvas(); }
    QPoint pixel(double x, double y)
    {
        return QPoint(qRound(plot()->transform(QwtPlot::xBottom, x)), qRound(plot()->transform(QwtPlot::yLeft, y)));
    }
    void mouse(QEvent::Type type, const QPoint& pos)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(pos), QPointF(canvas()->mapToGlobal(pos)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }
    // Places the vertices with clicks and closes the polygon with a double click on the last.
    void draw(const std::vector<PolygonVertex>& vertices)
    {
        for (const PolygonVertex& v : vertices) {
            mouse(QEvent::MouseButtonPress, pixel(v.first, v.second));
            mouse(QEvent::MouseButtonRelease, pixel(v.first, v.second));
        }
        mouse(QEvent::MouseButtonDblClick, pixel(vertices.back().first, vertices.back().second));
    }
    void escape()
    {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }
    // Drags the vertex at `from` to `to` in data units.
    void drag(const PolygonVertex& from, const PolygonVertex& to)
    {
        mouse(QEvent::MouseButtonPress, pixel(from.first, from.second));
        mouse(QEvent::MouseMove, pixel(to.first, to.second));
        mouse(QEvent::MouseButtonRelease, pixel(to.first, to.second));
    }
    QPushButton* editButtonOfRow(size_t row)
    {
        return child<QPushButton>(panel()->rows().at(row), "editButton");
    }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
};

} // namespace

TEST_F(MainWindowPolygonGatesTest, DrawnGatesGoToTheDatasetOrTheChosenGroup)
{
    struct Case
    {
        const char* name;
        bool forGroup;
        int xMode;
        bool cancel;
    };
    const Case cases[] = {
        {"dataset, linear axes", false, 0, false},
        {"dataset, logarithmic x axis", false, 1, false},
        {"group, linear axes", true, 0, false},
        {"group, logarithmic x axis", true, 1, false},
        {"dataset, Esc", false, 0, true},
        {"group, Esc", true, 0, true},
    };
    const int group = w.addFilterGroup("Gates");
    settle();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        active().filter.clearRules();
        Access::groupModel(w).find(group)->rules.clear();
        panel()->setDataset(&active());
        Access::refreshFilterGroupPanel(w);
        Access::combo(w, "xScaleCombo")->setCurrentIndex(c.xMode);
        settle();

        QPushButton* add = c.forGroup ? child<QPushButton>(panel()->groupBoxes().front(), "groupAddPolygonButton")
                                      : child<QPushButton>(panel(), "addPolygonButton");
        QTest::mouseClick(add, Qt::LeftButton);
        ASSERT_TRUE(plot()->isDrawingPolygon());
        EXPECT_TRUE(child<QPushButton>(panel(), "addPolygonButton")->isChecked());
        if (c.cancel)
            escape();
        else
            draw(kSquare);
        settle();
        EXPECT_FALSE(plot()->isDrawingPolygon());
        EXPECT_FALSE(child<QPushButton>(panel(), "addPolygonButton")->isChecked());
        EXPECT_EQ(Access::polygonTargetGroupId(w), -1);

        const std::vector<FilterRule>& datasetRules = active().filter.rules;
        const std::vector<FilterRule>& groupRules = w.findFilterGroupById(group)->rules;
        const std::vector<FilterRule>& target = c.forGroup ? groupRules : datasetRules;
        EXPECT_TRUE((c.forGroup ? datasetRules : groupRules).empty());
        if (c.cancel) {
            EXPECT_TRUE(target.empty());
            continue;
        }
        ASSERT_EQ(target.size(), 1u);
        const FilterRule& gate = target.front();
        EXPECT_EQ(gate.type, PolygonRule);
        EXPECT_EQ(gate.featureName, "area_um");
        EXPECT_EQ(gate.featureNameY, "deform");
        EXPECT_EQ(gate.scaleXMode, c.xMode);
        EXPECT_EQ(gate.scaleYMode, 0);
        EXPECT_TRUE(gate.propagationId.empty());
        ASSERT_EQ(gate.polygonVertices.size(), kSquare.size());
        for (size_t i = 0; i < kSquare.size(); ++i) {
            // Within a pixel of the clicked positions.
            EXPECT_NEAR(gate.polygonVertices[i].first, kSquare[i].first, 1.0);
            EXPECT_NEAR(gate.polygonVertices[i].second, kSquare[i].second, 0.001);
        }
        if (!c.forGroup) {
            // The dataset's new gate filters at once and is shown under its rule index.
            EXPECT_EQ(Access::plottedEventIndices(w), (std::vector<int>{2, 3, 4, 5}));
            EXPECT_EQ(plot()->filterPolygonItems().count(0), 1u);
        }
    }
}

TEST_F(MainWindowPolygonGatesTest, GroupGatesShowOnlyWhileTheGroupIsOnAndOnTheirOwnAxes)
{
    const int group = w.addFilterGroup("Gates");
    w.addRuleToGroup(group, gate());
    w.addRuleToGroup(group, gate("deform", "area_um"));
    active().filter.addRule(gate());
    panel()->setDataset(&active());
    settle();
    const auto ids = [&] {
        std::vector<int> shown;
        for (const auto& [id, item] : plot()->filterPolygonItems())
            shown.push_back(id);
        return shown;
    };
    EXPECT_EQ(ids(), (std::vector<int>{0}));
    w.setGroupEnabled(active().id, group, true);
    settle();
    EXPECT_EQ(ids(), (std::vector<int>{0, groupGateId(group, 0)}));
}

TEST_F(MainWindowPolygonGatesTest, EditedVerticesReplaceOnlyTheGateUnderEdit)
{
    active().filter.addRule(gate());
    active().filter.addRule(gate("area_um", "bright_avg", kEverything));
    const int group = w.addFilterGroup("Gates");
    w.addRuleToGroup(group, gate());
    w.setGroupEnabled(active().id, group, true);
    panel()->setDataset(&active());
    settle();

    // A gate on other features: the toggle goes back up and nothing is edited.
    QTest::mouseClick(editButtonOfRow(1), Qt::LeftButton);
    EXPECT_FALSE(plot()->isEditingPolygon());
    EXPECT_FALSE(editButtonOfRow(1)->isChecked());

    // Dataset gate: the dragged corner is stored, the rebuilt row shows Edit pressed.
    QTest::mouseClick(editButtonOfRow(0), Qt::LeftButton);
    ASSERT_TRUE(plot()->isEditingPolygon());
    EXPECT_EQ(plot()->editingPolygonId(), 0);
    drag(kSquare[1], {75, 0.025});
    settle();
    EXPECT_NEAR(active().filter.rules[0].polygonVertices[1].first, 75, 1.0);
    EXPECT_EQ(active().filter.rules[0].polygonVertices[0], kSquare[0]);
    EXPECT_TRUE(qobject_cast<PolygonRuleWidget*>(panel()->rows()[0])->isEditChecked());
    EXPECT_EQ(Access::plottedEventIndices(w), (std::vector<int>{2, 3, 4, 5}));
    // A later rewrite of the rules from the rows keeps the new shape.
    child<QCheckBox>(panel()->rows()[1], "invertCheck")->setChecked(true);
    EXPECT_NEAR(active().filter.rules[0].polygonVertices[1].first, 75, 1.0);
    escape();
    settle();
    EXPECT_FALSE(editButtonOfRow(0)->isChecked());

    // Group gate: edited through its box, stored in the group only.
    FilterGroupWidget* box = panel()->groupBoxes().front();
    QTest::mouseClick(child<QPushButton>(box->rows()[0], "editButton"), Qt::LeftButton);
    ASSERT_TRUE(plot()->isEditingPolygon());
    EXPECT_EQ(plot()->editingPolygonId(), groupGateId(group, 0));
    drag(kSquare[3], {25, 0.085});
    settle();
    EXPECT_NEAR(w.findFilterGroupById(group)->rules[0].polygonVertices[3].second, 0.085, 0.001);
    // The refreshed box shows its Edit toggle pressed while the edit goes on.
    EXPECT_TRUE(qobject_cast<PolygonRuleWidget*>(panel()->groupBoxes().front()->rows()[0])->isEditChecked());
    EXPECT_NEAR(active().filter.rules[0].polygonVertices[3].second, 0.065, 1e-12);

    // A group gate on features that are not plotted releases its toggle at once.
    w.addRuleToGroup(group, gate("deform", "area_um"));
    settle();
    escape();
    settle();
    auto* other = qobject_cast<PolygonRuleWidget*>(panel()->groupBoxes().front()->rows()[1]);
    QTest::mouseClick(child<QPushButton>(other, "editButton"), Qt::LeftButton);
    EXPECT_FALSE(plot()->isEditingPolygon());
    EXPECT_FALSE(other->isEditChecked());
}

// Regression: an edit went on after the gate's rule list or the active dataset changed, and
// the next edited vertices were written into whatever rule now had the gate's index.
TEST_F(MainWindowPolygonGatesTest, EditsEndBeforeTheyCouldLandInAnotherRule)
{
    ASSERT_TRUE(open("b.rtdc"));
    Access::activate(w, 0);
    settle();
    struct Case
    {
        const char* name;
        bool groupGate;
        std::function<void()> event;
        bool ends;
    };
    const int group = w.addFilterGroup("Gates");
    const auto removeRow = [&](size_t row) {
        QTest::mouseClick(child<QPushButton>(panel()->rows().at(row), "removeButton"), Qt::LeftButton);
    };
    // A background run that adds a column and refreshes the features and the plot, as every
    // calculation's finish does.
    const auto finishCalculation = [&] {
        std::shared_ptr<RTDCReader> reader = active().reader;
        w.runBackgroundCalculation([reader] { reader->setFeature("emodulus", std::vector<double>(10, 1.0)); },
                                   [&] { w.refreshFeaturesAndPlot(); });
        ASSERT_TRUE(waitUntil([&] { return !Access::calcBusy(w); }));
        EXPECT_NE(Access::combo(w, "colorFeatureCombo")->findData(QStringLiteral("emodulus")), -1);
    };
    const Case cases[] = {
        {"another dataset activated", false, [&] { Access::activate(w, 1); }, true},
        {"x feature changed", false,
         [&] { Access::selectKey(Access::combo(w, "xFeatureCombo"), QStringLiteral("bright_avg")); }, true},
        {"y feature changed", true,
         [&] { Access::selectKey(Access::combo(w, "yFeatureCombo"), QStringLiteral("bright_avg")); }, true},
        {"rule above removed", false, [&] { removeRow(0); }, true},
        {"Delete from All of the rule above", false, [&] {
             active().filter.rules[0].propagationId = "{x}";
             w.onDeleteRuleFromAll(0);
         }, true},
        {"Apply Filter to All", false, [&] { w.onApplyFilterToAll(); }, true},
        {"rows of the same dataset rebuilt", false, [&] { panel()->setDataset(&active()); }, false},
        {"colour changed", false,
         [&] { Access::selectKey(Access::combo(w, "colorFeatureCombo"), QStringLiteral("bright_avg")); }, false},
        {"a calculation finished", false, finishCalculation, false},
        {"a calculation finished, group gate", true, finishCalculation, false},
        {"group rule above removed", true, [&] { w.removeRuleFromGroup(group, 0); }, true},
        {"group deleted", true, [&] { w.removeFilterGroup(group); }, true},
        {"rule of the dataset removed", true, [&] { removeRow(0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Access::activate(w, 0);
        Access::selectKey(Access::combo(w, "xFeatureCombo"), QStringLiteral("area_um"));
        Access::selectKey(Access::combo(w, "yFeatureCombo"), QStringLiteral("deform"));
        Access::selectKey(Access::combo(w, "colorFeatureCombo"), QString());
        if (!w.findFilterGroupById(group))
            Access::groupModel(w).restore({FilterGroup{group, "Gates", {}}}, group + 1);
        FilterGroup& gates = *w.findFilterGroupById(group);
        gates.rules = {FilterRule(), gate()};
        active().filter.rules = {FilterRule(), gate()};
        active().filter.rules[0].featureName = "bright_avg";
        active().filter.rules[0].maxValue = 100;
        w.setGroupEnabled(active().id, group, true);
        panel()->setDataset(&active());
        settle();

        const int id = c.groupGate ? groupGateId(group, 1) : 1;
        if (c.groupGate)
            QTest::mouseClick(child<QPushButton>(panel()->groupBoxes().front()->rows()[1], "editButton"),
                              Qt::LeftButton);
        else
            QTest::mouseClick(editButtonOfRow(1), Qt::LeftButton);
        ASSERT_TRUE(plot()->isEditingPolygon());
        ASSERT_EQ(plot()->editingPolygonId(), id);

        c.event();
        settle();
        EXPECT_EQ(plot()->isEditingPolygon(), !c.ends);
        if (!c.ends) {
            escape();
            settle();
            continue;
        }
        // A late signal of the ended edit changes no rule anywhere.
        const std::vector<FilterRule> datasetBefore = active().filter.rules;
        const FilterGroup* stillThere = w.findFilterGroupById(group);
        const std::vector<FilterRule> groupBefore = stillThere ? stillThere->rules : std::vector<FilterRule>();
        emit plot()->polygonEdited(id, QPolygonF({QPointF(1, 1), QPointF(2, 1), QPointF(2, 2)}));
        settle();
        EXPECT_EQ(active().filter.rules, datasetBefore);
        if (stillThere) {
            EXPECT_EQ(w.findFilterGroupById(group)->rules, groupBefore);
        }
    }
}

// Regression: the finish of every calculation refills the feature combos, and the refill
// ended the drawing of a gate, so the corners placed before the calculation ended were lost.
TEST_F(MainWindowPolygonGatesTest, DrawingGoesOnThroughAFinishedCalculation)
{
    Measurement m = tenEvents();
    for (int i = 0; i < 10; ++i) {
        m.columns["fl1_max"].push_back(100.0 * (i + 1));
        m.columns["fl2_max"].push_back(40.0 * (i + 1));
    }
    const QString path = dir.filePath(QStringLiteral("fluorescence.rtdc"));
    writeMeasurement(path.toStdString(), m);
    Access::addDataset(w, path);
    ASSERT_TRUE(waitForCaching(w));
    settle();
    QPushButton* compensate = w.calcDock()->findChild<QPushButton*>(QStringLiteral("compensateCrosstalkButton"));
    ASSERT_NE(compensate, nullptr);
    const int group = w.addFilterGroup("Gates");
    settle();
    const auto place = [&](const PolygonVertex& v) {
        mouse(QEvent::MouseButtonPress, pixel(v.first, v.second));
        mouse(QEvent::MouseButtonRelease, pixel(v.first, v.second));
    };
    for (bool forGroup : {false, true}) {
        SCOPED_TRACE(forGroup ? "group gate" : "dataset gate");
        active().filter.clearRules();
        panel()->setDataset(&active());
        settle();
        QTest::mouseClick(forGroup ? child<QPushButton>(panel()->groupBoxes().front(), "groupAddPolygonButton")
                                   : child<QPushButton>(panel(), "addPolygonButton"),
                          Qt::LeftButton);
        place(kSquare[0]);
        place(kSquare[1]);

        ASSERT_TRUE(compensate->isEnabled());
        compensate->click();
        ASSERT_TRUE(waitUntil([&] { return !Access::calcBusy(w); }));
        settle();
        ASSERT_NE(Access::combo(w, "xFeatureCombo")->findData(QStringLiteral("fl1_max_ctc")), -1);
        EXPECT_TRUE(plot()->isDrawingPolygon());
        EXPECT_TRUE(child<QPushButton>(panel(), "addPolygonButton")->isChecked());
        EXPECT_EQ(Access::polygonTargetGroupId(w), forGroup ? group : -1);

        place(kSquare[2]);
        place(kSquare[3]);
        mouse(QEvent::MouseButtonDblClick, pixel(kSquare[3].first, kSquare[3].second));
        settle();
        const std::vector<FilterRule>& rules =
            forGroup ? w.findFilterGroupById(group)->rules : active().filter.rules;
        ASSERT_EQ(rules.size(), 1u);
        ASSERT_EQ(rules.front().polygonVertices.size(), kSquare.size());
        for (size_t i = 0; i < kSquare.size(); ++i) {
            EXPECT_NEAR(rules.front().polygonVertices[i].first, kSquare[i].first, 1.0);
            EXPECT_NEAR(rules.front().polygonVertices[i].second, kSquare[i].second, 0.001);
        }
    }
}

TEST_F(MainWindowPolygonGatesTest, ASignalOfAnotherGateIsDropped)
{
    active().filter.rules = {gate(), gate()};
    panel()->setDataset(&active());
    settle();
    QTest::mouseClick(editButtonOfRow(1), Qt::LeftButton);
    ASSERT_EQ(plot()->editingPolygonId(), 1);
    emit plot()->polygonEdited(0, QPolygonF({QPointF(1, 1), QPointF(2, 1), QPointF(2, 2)}));
    settle();
    EXPECT_EQ(active().filter.rules[0], gate());
    EXPECT_TRUE(plot()->isEditingPolygon());
}

// Regression: removing the dataset whose gate was under edit left the edit running on the
// plot of the next dataset, or of none. Clearing the session ends an edit as well.
TEST_F(MainWindowPolygonGatesTest, EditsEndWhenTheirDatasetIsRemovedOrTheSessionCleared)
{
    ASSERT_TRUE(open("b.rtdc"));
    for (int remaining : {1, 0}) {
        SCOPED_TRACE(remaining);
        Access::activate(w, 0);
        active().filter.rules = {gate()};
        panel()->setDataset(&active());
        settle();
        QTest::mouseClick(editButtonOfRow(0), Qt::LeftButton);
        ASSERT_TRUE(plot()->isEditingPolygon());
        w.removeDataset();
        settle();
        EXPECT_EQ(Access::entries(w).size(), static_cast<size_t>(remaining));
        EXPECT_FALSE(plot()->isEditingPolygon());
        EXPECT_TRUE(plot()->filterPolygonItems().empty());
    }

    // A group's gate under edit when the session is cleared.
    ASSERT_TRUE(open("c.rtdc"));
    const int group = w.addFilterGroup("Gates");
    w.addRuleToGroup(group, gate());
    w.setGroupEnabled(active().id, group, true);
    settle();
    QTest::mouseClick(child<QPushButton>(panel()->groupBoxes().front()->rows()[0], "editButton"), Qt::LeftButton);
    ASSERT_TRUE(plot()->isEditingPolygon());
    env.prompts->answerMessage(QStringLiteral("OK"));
    w.clearSession();
    settle();
    EXPECT_TRUE(Access::entries(w).empty());
    EXPECT_TRUE(w.filterGroups().empty());
    EXPECT_FALSE(plot()->isEditingPolygon());
    EXPECT_TRUE(plot()->filterPolygonItems().empty());
    EXPECT_TRUE(panel()->groupBoxes().empty());
}

// Regression: rules appended behind the panel (an import of the measurement's limits) while a
// dataset gate was under edit were not counted, so removing a rule above the gate afterwards
// did not end the edit, and the next edited vertices went into the gate that had moved to its
// place. The import also rebuilt the rows without pressing the gate's Edit toggle again.
TEST_F(MainWindowPolygonGatesTest, RulesImportedDuringAnEditAreCounted)
{
    active().filter.rules = {gate("area_um", "bright_avg", kEverything), gate()};
    active().metadata.onlineFilter = {{"area_um,deform soft limit", "1"}};
    active().metadata.polygonFilters = {MetadataPolygonFilter{"area_um", "deform", kEverything}};
    panel()->setDataset(&active());
    settle();
    QTest::mouseClick(editButtonOfRow(1), Qt::LeftButton);
    ASSERT_EQ(plot()->editingPolygonId(), 1);

    emit panel()->importMeasurementFiltersRequested(false);
    settle();
    ASSERT_EQ(active().filter.ruleCount(), 3);
    EXPECT_TRUE(plot()->isEditingPolygon());
    EXPECT_TRUE(qobject_cast<PolygonRuleWidget*>(panel()->rows().at(1))->isEditChecked());

    QTest::mouseClick(child<QPushButton>(panel()->rows().at(0), "removeButton"), Qt::LeftButton);
    settle();
    EXPECT_FALSE(plot()->isEditingPolygon());
    const std::vector<FilterRule> before = active().filter.rules;
    emit plot()->polygonEdited(1, QPolygonF({QPointF(1, 1), QPointF(2, 1), QPointF(2, 2)}));
    settle();
    EXPECT_EQ(active().filter.rules, before);
}
