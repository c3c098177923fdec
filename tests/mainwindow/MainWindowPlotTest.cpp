// The main plot update: filtering and dropping of non-finite points with their event
// indices, column lengths, the info line, the auto-scale rule, the log-axis warning, the
// current event, polygon gates, isoelastic switches and the statistics dock.
#include "MainWindowTestAccess.h"

#include "core/RTDCReader.h"
#include "plots/ScatterPlot.h"

#include "support/TestSupport.h"

#include <qwt_plot_shapeitem.h>
#include <qwt_scale_div.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A window showing one measurement, loaded.
struct Shown
{
    explicit Shown(const Measurement& m, const char* fileName = "m.rtdc")
    {
        path = dir.filePath(QString::fromLatin1(fileName));
        writeMeasurement(path.toStdString(), m);
        Access::addDataset(w, path);
        loaded = waitForCaching(w);
    }
    DatasetEntry& entry() { return Access::entry(w, static_cast<size_t>(Access::activeIndex(w))); }
    ScatterPlot* plot() { return Access::scatterPlot(w); }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    QString path;
    MainWindow w;
    bool loaded = false;
};

FilterRule range(const std::string& feature, double lo, double hi)
{
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

TEST(MainWindowPlotTest, InfoLine)
{
    struct Case
    {
        const char* name;
        std::map<std::string, std::string> attributes;
        bool filterOn;
        double lo, hi;
        QString expected;
    };
    const Case cases[] = {
        {"flow rate, run index, filter",
         {{"experiment:sample", "Sample A"}, {"setup:flow rate", "0.16"}, {"experiment:run index", "3"}},
         true, 15, 55, "Loaded: Sample A (0.16 µL/s, #3, 4/6 events shown (66.7% pass filter))"},
        {"reservoir, flow rate not a number",
         {{"setup:chip region", "reservoir"}, {"setup:flow rate", "fast"}},
         false, 0, 0, "Loaded: m.rtdc (Reservoir, 6/6 events shown (100.0% pass filter))"},
        {"empty run index, four digits of flow rate",
         {{"experiment:run index", ""}, {"setup:flow rate", "0.123456"}},
         false, 0, 0, "Loaded: m.rtdc (0.1235 µL/s, #, 6/6 events shown (100.0% pass filter))"},
        {"filter passes nothing", {}, true, 1000, 2000, "Loaded: m.rtdc (0/6 events shown (0.0% pass filter))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Measurement m = smallMeasurement();
        m.attributes = c.attributes;
        Shown s(m);
        ASSERT_TRUE(s.loaded);
        if (c.filterOn) {
            s.entry().filter.addRule(range("area_um", c.lo, c.hi));
            Access::updatePlot(s.w);
        }
        EXPECT_EQ(Access::infoLabel(s.w)->text(), c.expected);
    }
}

// Regression: the share in the info line and the filter panel's count were those of the
// plotted events, so events without a value (a modulus column with NaN, zeros on a log axis)
// read as filtered out while no rule was set. The statistics count the drawn events.
TEST(MainWindowPlotTest, TheShareIsTheFiltersAndEventsWithoutAValueAreNamed)
{
    struct Case
    {
        const char* name;
        std::function<void(Measurement&)> change;
        const char* y;
        const char* color;
        int xScale, yScale;
        bool filter; // area_um 15 .. 55: events 1 .. 4
        QString info;
        QString panel;
        QString n;        // N of the statistics dock
        QString meanX;    // its mean of x
    };
    const auto nanBrightness = [](Measurement& m) {
        m.columns["bright_avg"][1] = kNaN;
        m.columns["bright_avg"][4] = kNaN;
    };
    const Case cases[] = {
        {"NaN column, no rules", nanBrightness, "bright_avg", "", 0, 0, false,
         "4/6 events shown (100.0% pass filter), 2 without a value on these axes", "6 events (no filter active)", "4",
         "35"},
        {"NaN column and a filter", nanBrightness, "bright_avg", "", 0, 0, true,
         "2/6 events shown (66.7% pass filter), 2 without a value on these axes", "4 / 6 events shown (66.7%)", "2",
         "35"},
        {"NaN colour", nanBrightness, "deform", "bright_avg", 0, 0, false,
         "4/6 events shown (100.0% pass filter), 2 without a value on these axes", "6 events (no filter active)", "4",
         "35"},
        {"log axis with zero and a negative value",
         [](Measurement& m) {
             m.columns["area_um"][0] = 0;
             m.columns["area_um"][1] = -3;
         },
         "deform", "", 1, 0, false, "4/6 events shown (100.0% pass filter), 2 without a value on these axes",
         "6 events (no filter active)", "4", "45"},
        // Event 0 is at zero on both log axes and counts once.
        {"both axes log",
         [](Measurement& m) {
             m.columns["area_um"][0] = 0;
             m.columns["deform"][0] = 0;
             m.columns["deform"][1] = -0.01;
         },
         "deform", "", 1, 1, false, "4/6 events shown (100.0% pass filter), 2 without a value on these axes",
         "6 events (no filter active)", "4", "45"},
        {"zeros on a linear axis are shown", [](Measurement& m) { m.columns["area_um"][0] = 0; }, "deform", "", 0, 2,
         false, "6/6 events shown (100.0% pass filter)", "6 events (no filter active)", "6", "33.3333"},
        {"a real filter", [](Measurement&) {}, "deform", "", 0, 0, true, "4/6 events shown (66.7% pass filter)",
         "4 / 6 events shown (66.7%)", "4", "35"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Measurement m = smallMeasurement();
        c.change(m);
        Shown s(m);
        ASSERT_TRUE(s.loaded);
        ASSERT_TRUE(Access::selectKey(Access::combo(s.w, "yFeatureCombo"), QString::fromLatin1(c.y)));
        ASSERT_TRUE(Access::selectKey(Access::combo(s.w, "colorFeatureCombo"), QString::fromLatin1(c.color)));
        Access::combo(s.w, "xScaleCombo")->setCurrentIndex(c.xScale);
        Access::combo(s.w, "yScaleCombo")->setCurrentIndex(c.yScale);
        if (c.filter)
            s.entry().filter.addRule(range("area_um", 15, 55));
        Access::updatePlot(s.w);
        EXPECT_EQ(Access::infoLabel(s.w)->text(), QStringLiteral("Loaded: m.rtdc (%1)").arg(c.info));
        auto* panelCount = s.w.findChild<QLabel*>(QStringLiteral("filterStatusLabel"));
        ASSERT_NE(panelCount, nullptr);
        EXPECT_EQ(panelCount->text(), c.panel);
        auto* tree = s.w.findChild<QTreeWidget*>(QStringLiteral("statisticsTree"));
        ASSERT_NE(tree, nullptr);
        ASSERT_EQ(tree->topLevelItemCount(), 7);
        EXPECT_EQ(tree->topLevelItem(0)->text(1), c.n);
        EXPECT_EQ(tree->topLevelItem(0)->text(2), c.n);
        EXPECT_EQ(tree->topLevelItem(1)->text(1), c.meanX);
    }
}

TEST(MainWindowPlotTest, FilterAndNonFiniteValuesKeepEventIndices)
{
    Measurement m = smallMeasurement();
    m.columns["area_um"][2] = kNaN;
    m.columns["deform"][4] = std::numeric_limits<double>::infinity();
    Shown s(m);
    ASSERT_TRUE(s.loaded);
    EXPECT_EQ(Access::plottedEventIndices(s.w), (std::vector<int>{0, 1, 3, 5}));
    EXPECT_EQ(s.plot()->plottedX(), (std::vector<double>{10, 20, 40, 60}));

    s.entry().filter.addRule(range("bright_avg", 105, 145)); // events 1 .. 4
    Access::updatePlot(s.w);
    EXPECT_EQ(Access::plottedEventIndices(s.w), (std::vector<int>{1, 3}));
    EXPECT_EQ(s.plot()->plottedY(), (std::vector<double>{0.02, 0.04}));

    // A switched-off filter plots every (finite) event.
    s.entry().filter.setEnabled(false);
    Access::updatePlot(s.w);
    EXPECT_EQ(Access::plottedEventIndices(s.w).size(), 4u);
}

TEST(MainWindowPlotTest, ColourColumnAndDensity)
{
    Measurement m = smallMeasurement();
    m.columns["bright_avg"][1] = kNaN;
    Shown s(m);
    ASSERT_TRUE(s.loaded);
    QComboBox* color = Access::combo(s.w, "colorFeatureCombo");
    EXPECT_EQ(color->itemText(0), QStringLiteral("None"));
    EXPECT_EQ(color->itemText(1), QStringLiteral("Density (KDE)"));
    // No expert mode: no histogram or nearest-neighbour colouring.
    EXPECT_EQ(color->findData(QStringLiteral("__density_hist__")), -1);

    ASSERT_TRUE(Access::selectKey(color, "bright_avg"));
    EXPECT_EQ(Access::plottedEventIndices(s.w), (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_EQ(Access::plotColorValues(s.w), (std::vector<double>{100, 120, 130, 140, 150}));
    EXPECT_TRUE(s.plot()->isColored());

    ASSERT_TRUE(Access::selectKey(color, "__density_kde__"));
    EXPECT_EQ(Access::plotColorValues(s.w).size(), 6u);
    EXPECT_EQ(s.plot()->axisTitle(QwtPlot::yRight).text(), QStringLiteral("Density"));

    // Density over fewer than 4 events: no value is finite, nothing is plotted and the
    // statistics dock keeps only its header.
    s.entry().filter.addRule(range("area_um", 10, 30));
    Access::updatePlot(s.w);
    EXPECT_EQ(s.plot()->pointCount(), 0);
    auto* tree = s.w.findChild<QTreeWidget*>(QStringLiteral("statisticsTree"));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

// Catches reading past the end of a column that is shorter than the event count (the
// reader allows it): the plot uses the events every plotted column covers and warns.
TEST(MainWindowPlotTest, ShortColumnsAreNeverReadPastTheirEnd)
{
    Measurement m;
    m.columns["area_um"] = {10, 20, 30, 40, 50, 60}; // first name: gives the event count 6
    m.columns["deform"] = {0.01, 0.02, 0.03, 0.04};
    m.columns["bright_avg"] = {100, 110, 120};
    ExpectQtWarnings warnings;
    Shown s(m);
    ASSERT_TRUE(s.loaded);
    ASSERT_EQ(s.entry().reader->eventCount(), 6u);
    EXPECT_EQ(Access::plottedEventIndices(s.w), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_GE(warnings.count(), 1);

    ASSERT_TRUE(Access::selectKey(Access::combo(s.w, "colorFeatureCombo"), "bright_avg"));
    EXPECT_EQ(Access::plottedEventIndices(s.w), (std::vector<int>{0, 1, 2}));

    s.entry().filter.addRule(range("area_um", 15, 100));
    Access::updatePlot(s.w);
    EXPECT_EQ(Access::plottedEventIndices(s.w), (std::vector<int>{1, 2}));
    // The filter passes events 1 .. 5; three of them have no x, y or colour value.
    EXPECT_EQ(Access::infoLabel(s.w)->text(),
              QStringLiteral("Loaded: m.rtdc (2/6 events shown (83.3% pass filter), 3 without a value on these axes)"));
}

TEST(MainWindowPlotTest, AutoScaleRule)
{
    Shown s(smallMeasurement());
    ASSERT_TRUE(s.loaded);
    ScatterPlot* plot = s.plot();
    const auto zoom = [plot] {
        plot->setAxisScale(QwtPlot::xBottom, -500, 500);
        plot->setAxisScale(QwtPlot::yLeft, -1, 1);
    };
    const auto zoomKept = [plot] {
        return !plot->axisAutoScale(QwtPlot::xBottom) && plot->axisScaleDiv(QwtPlot::xBottom).lowerBound() == -500;
    };
    const auto refitted = [plot] { return plot->axisAutoScale(QwtPlot::xBottom) && plot->axisAutoScale(QwtPlot::yLeft); };
    EXPECT_TRUE(refitted());

    zoom();
    ASSERT_TRUE(Access::selectKey(Access::combo(s.w, "colorFeatureCombo"), "bright_avg"));
    EXPECT_TRUE(zoomKept()) << "colouring";
    s.entry().filter.addRule(range("area_um", 15, 100));
    Access::updatePlot(s.w);
    EXPECT_TRUE(zoomKept()) << "filter";
    Access::combo(s.w, "contourModeCombo")->setCurrentIndex(1);
    EXPECT_TRUE(zoomKept()) << "contours";

    // A calculation's predicate that names none of the shown keys keeps the zoom and is used up.
    Access::justComputed(s.w) = [](const std::string& key) { return key == "emodulus"; };
    Access::updatePlot(s.w);
    EXPECT_TRUE(zoomKept()) << "other feature computed";
    EXPECT_FALSE(static_cast<bool>(Access::justComputed(s.w)));
    // One that names the colour key refits.
    Access::justComputed(s.w) = [](const std::string& key) { return key == "bright_avg"; };
    Access::updatePlot(s.w);
    EXPECT_TRUE(refitted()) << "shown feature computed";
    EXPECT_FALSE(static_cast<bool>(Access::justComputed(s.w)));

    zoom();
    ASSERT_TRUE(Access::selectKey(Access::combo(s.w, "xFeatureCombo"), "bright_avg"));
    EXPECT_TRUE(refitted()) << "x feature";
}

TEST(MainWindowPlotTest, LogAxisWarning)
{
    struct Case
    {
        const char* name;
        std::vector<double> area;
        QString item;
        QString toolTip;
    };
    const Case cases[] = {
        {"one value at zero", {0, 20, 30, 40, 50, 60}, QStringLiteral("Log \u26A0"),
         QStringLiteral("X-axis scale mode: 1 point with value \u2264 0 not shown (cannot be drawn on a log axis)")},
        {"two values", {-3, 0, 30, 40, 50, 60}, QStringLiteral("Log \u26A0"),
         QStringLiteral("X-axis scale mode: 2 points with value \u2264 0 not shown (cannot be drawn on a log axis)")},
        {"all positive", {10, 20, 30, 40, 50, 60}, QStringLiteral("Log"), QStringLiteral("X-axis scale mode")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Measurement m = smallMeasurement();
        m.columns["area_um"] = c.area;
        Shown s(m);
        ASSERT_TRUE(s.loaded);
        QComboBox* scale = Access::combo(s.w, "xScaleCombo");
        scale->setCurrentIndex(1);
        EXPECT_EQ(scale->itemText(1), c.item);
        EXPECT_EQ(scale->toolTip(), c.toolTip);
        EXPECT_EQ(scale->styleSheet().isEmpty(), c.item == QStringLiteral("Log"));
        // The points at or below zero stay plotted data; the axis spans the positive ones.
        EXPECT_EQ(s.plot()->pointCount(), 6);
        EXPECT_GT(s.plot()->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
        scale->setCurrentIndex(0);
        EXPECT_EQ(scale->itemText(1), QStringLiteral("Log"));
        EXPECT_EQ(scale->toolTip(), QStringLiteral("X-axis scale mode"));
    }
}

TEST(MainWindowPlotTest, CurrentEventFollowsTheFilter)
{
    Shown s(smallMeasurement());
    ASSERT_TRUE(s.loaded);
    s.entry().currentEventIndex = 1;
    Access::eventSpin(s.w)->setValue(1);
    Access::updatePlot(s.w);
    EXPECT_EQ(s.plot()->highlightedPoint(), 1);

    // Event 1 filtered out: the first passing event becomes current, the spin box follows.
    s.entry().filter.addRule(range("area_um", 25, 100));
    Access::updatePlot(s.w);
    EXPECT_EQ(s.entry().currentEventIndex, 2);
    EXPECT_EQ(Access::eventSpin(s.w)->value(), 2);
    EXPECT_EQ(s.plot()->highlightedPoint(), 0);

    // Nothing passes: the highlight goes, the current event stays.
    s.entry().filter.rules[0] = range("area_um", 1000, 2000);
    Access::updatePlot(s.w);
    EXPECT_EQ(s.plot()->highlightedPoint(), -1);
    EXPECT_EQ(s.entry().currentEventIndex, 2);
}

TEST(MainWindowPlotTest, PolygonGatesOfThePlottedPair)
{
    Shown s(smallMeasurement());
    ASSERT_TRUE(s.loaded);
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{0, 0}, {100, 0}, {100, 1}};
    FilterRule swapped = gate;
    swapped.featureName = "deform";
    swapped.featureNameY = "area_um";
    FilterRule disabled = gate;
    disabled.enabled = false;
    s.entry().filter.addRule(range("area_um", 0, 100));
    s.entry().filter.addRule(gate);
    s.entry().filter.addRule(swapped);
    s.entry().filter.addRule(disabled);
    Access::updatePlot(s.w);
    const auto& overlays = s.plot()->filterPolygonItems();
    ASSERT_EQ(overlays.size(), 2u);
    EXPECT_EQ(overlays.count(1), 1u);
    EXPECT_EQ(overlays.count(3), 1u);
    EXPECT_EQ(overlays.at(1)->pen().style(), Qt::SolidLine);
    EXPECT_EQ(overlays.at(3)->pen().style(), Qt::DashLine);
}

TEST(MainWindowPlotTest, IsoelasticSwitchesOnlyForAreaAndDeformation)
{
    Shown s(smallMeasurement());
    ASSERT_TRUE(s.loaded);
    auto* iso = s.w.findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"));
    auto* labels = s.w.findChild<QCheckBox*>(QStringLiteral("isoLabelsCheck"));
    EXPECT_FALSE(iso->isHidden());
    EXPECT_TRUE(labels->isHidden());
    iso->setChecked(true);
    EXPECT_FALSE(labels->isHidden());
    ASSERT_TRUE(Access::selectKey(Access::combo(s.w, "xFeatureCombo"), "bright_avg"));
    EXPECT_TRUE(iso->isHidden());
    EXPECT_TRUE(labels->isHidden());
    EXPECT_TRUE(s.plot()->isoCurves().empty());
}

TEST(MainWindowPlotTest, StatisticsOfThePlottedPoints)
{
    Shown s(smallMeasurement());
    ASSERT_TRUE(s.loaded);
    s.entry().filter.addRule(range("area_um", 15, 45)); // 20, 30, 40
    Access::updatePlot(s.w);
    auto* tree = s.w.findChild<QTreeWidget*>(QStringLiteral("statisticsTree"));
    ASSERT_NE(tree, nullptr);
    const QString xLabel = QString::fromStdString(s.entry().reader->featureLabel("area_um"));
    EXPECT_EQ(tree->headerItem()->text(1), xLabel);
    ASSERT_EQ(tree->topLevelItemCount(), 7);
    EXPECT_EQ(tree->topLevelItem(0)->text(1), QStringLiteral("3"));
    EXPECT_EQ(tree->topLevelItem(1)->text(1), QStringLiteral("30"));
    EXPECT_EQ(tree->topLevelItem(2)->text(1), QStringLiteral("10"));
    EXPECT_EQ(tree->topLevelItem(1)->text(2), QStringLiteral("0.03"));
}

TEST(MainWindowPlotTest, FeatureCombosDefaultToAreaAndDeformation)
{
    Measurement m;
    m.columns["bright_avg"] = {1, 2, 3, 4};
    m.columns["tilt"] = {1, 2, 3, 4};
    Shown s(m);
    ASSERT_TRUE(s.loaded);
    // Without area and deformation the first scalar feature in sorted order is current.
    EXPECT_EQ(Access::combo(s.w, "xFeatureCombo")->currentData().toString(), QStringLiteral("bright_avg"));
    EXPECT_EQ(Access::combo(s.w, "yFeatureCombo")->currentData().toString(), QStringLiteral("bright_avg"));

    Shown t(smallMeasurement());
    ASSERT_TRUE(t.loaded);
    EXPECT_EQ(Access::combo(t.w, "xFeatureCombo")->currentData().toString(), QStringLiteral("area_um"));
    EXPECT_EQ(Access::combo(t.w, "yFeatureCombo")->currentData().toString(), QStringLiteral("deform"));
    EXPECT_EQ(Access::combo(t.w, "colorFeatureCombo")->currentIndex(), 0);
}

// Catches two layout faults of the plot settings: the narrow scale combos elided their own
// items in the popup ("Pse...Log"), and hiding the isoelastic switches for another feature
// pair moved the other controls about.
TEST(MainWindowPlotTest, PlotSettingsKeepTheirPlaceAndShowWholeItems)
{
    Shown s(smallMeasurement());
    ASSERT_TRUE(s.loaded);
    for (const char* name : {"xScaleCombo", "yScaleCombo"}) {
        SCOPED_TRACE(name);
        QComboBox* combo = Access::combo(s.w, name);
        const QFontMetrics metrics(combo->view()->font());
        for (int i = 0; i < combo->count(); ++i)
            EXPECT_GE(combo->view()->minimumWidth(), metrics.horizontalAdvance(combo->itemText(i)));
    }

    s.w.resize(1400, 900);
    s.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.w));
    auto* iso = s.w.findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"));
    QComboBox* x = Access::combo(s.w, "xFeatureCombo");
    QComboBox* contour = Access::combo(s.w, "contourModeCombo");
    ASSERT_TRUE(iso->isVisible());
    const QRect xBefore = x->geometry();
    const QRect contourBefore = contour->geometry();
    ASSERT_TRUE(Access::selectKey(x, "bright_avg"));
    QTest::qWait(20);
    ASSERT_FALSE(iso->isVisible());
    EXPECT_EQ(x->geometry(), xBefore);
    EXPECT_EQ(contour->geometry(), contourBefore);
}

} // namespace
