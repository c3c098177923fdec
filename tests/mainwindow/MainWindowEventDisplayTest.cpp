// The main window's event views on a tiny measurement made here: the image with its mask,
// choosing the current event by plot point and spin box, the feature table, the trace plot
// set up from the metadata, and the metadata tree.
#include "MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/TracePlot.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <qwt_plot_curve.h>

#include <QCheckBox>
#include <QSpinBox>
#include <QCoreApplication>
#include <QLocale>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

namespace Tervane3 {
namespace {

using Access = MainWindowTestAccess;

constexpr int kEvents = 4;
constexpr int kWidth = 4;
constexpr int kHeight = 3;

// Frame e holds the value 10 * e + pixel index.
std::vector<std::uint8_t> frames(int count)
{
    std::vector<std::uint8_t> pixels;
    for (int e = 0; e < count; ++e)
        for (int p = 0; p < kWidth * kHeight; ++p)
            pixels.push_back(static_cast<std::uint8_t>(10 * e + p));
    return pixels;
}

struct FixtureOptions
{
    int imageFrames = kEvents;
    bool masks = true;
    int maskWidth = kWidth;
    bool traces = true;
    bool channelNames = true;
    const char* traceSuffix = "_median";
};

// Four events; fewer image frames than events when asked (the last events have none).
std::string writeMeasurement(const QTemporaryDir& dir, const char* name, const FixtureOptions& o)
{
    const std::string path = dir.filePath(QString::fromUtf8(name)).toStdString();
    Tervane3::Test::RtdcFixture f(path);
    f.addColumn<double>("deform", {0.01, 0.123456789, 0.03, 0.04});
    f.addColumn<double>("area_um", {50.0, 61.5, 1234567.0, 80.0});
    f.addColumn<double>("fl1_dist", {1.0, 2.0, 3.0, 4.0}); // a long label
    if (o.imageFrames > 0)
        f.addFrames("image", frames(o.imageFrames), static_cast<hsize_t>(o.imageFrames), kHeight, kWidth);
    if (o.masks) {
        std::vector<std::uint8_t> mask(static_cast<size_t>(kEvents * o.maskWidth * kHeight), 0);
        for (size_t i = 0; i < mask.size(); i += 2)
            mask[i] = 255;
        f.addFrames("mask", mask, kEvents, kHeight, static_cast<hsize_t>(o.maskWidth));
    }
    if (o.traces) {
        std::vector<std::int16_t> fl1;
        std::vector<std::int16_t> fl2;
        for (int e = 0; e < kEvents; ++e)
            for (int s = 0; s < 5; ++s) {
                fl1.push_back(static_cast<std::int16_t>(100 * e + s));
                fl2.push_back(static_cast<std::int16_t>(-s));
            }
        f.addTrace<std::int16_t>(std::string("fl1") + o.traceSuffix, fl1, kEvents, 5);
        f.addTrace<std::int16_t>(std::string("fl2") + o.traceSuffix, fl2, kEvents, 5);
        f.addStringAttribute("fluorescence:sample rate", "500000.000000");
        f.addStringAttribute("fluorescence:baseline 1 offset", "20.5");
        f.addStringAttribute("fluorescence:baseline 2 offset", "not a number");
        if (o.channelNames) {
            f.addStringAttribute("fluorescence:channel 1 name", "488");
            f.addStringAttribute("fluorescence:channel 2 name", "FL2 emission");
        }
    }
    f.addStringAttribute("experiment:sample", "Blood");
    f.addStringAttribute("experiment:run index", "3");
    f.addStringAttribute("setup:flow rate", "0.160000");
    f.addStringAttribute("setup:channel width", "20.000000");
    f.addStringAttribute("imaging:pixel size", "0.340000");
    f.addStringAttribute("online_contour:bin area min", "10");
    f.addStringAttribute("export:changed sample name", "Blood B");
    f.addStringAttribute("user:comment", "second run");
    f.addStringAttribute("nocolon", "lost");
    return path;
}

class EventDisplayTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    Tervane3::Test::MainWindowEnvironment env;
    std::unique_ptr<MainWindow> window;
    DatasetEntry* entry = nullptr;

    void open(const FixtureOptions& options = {}, const char* name = "m.rtdc")
    {
        ASSERT_TRUE(dir.isValid());
        const std::string path = writeMeasurement(dir, name, options);
        if (!window)
            window = std::make_unique<MainWindow>();
        entry = &MainWindowTestAccess::addEntry(*window, 1 + static_cast<int>(
                                                               MainWindowTestAccess::entries(*window).size()));
        entry->reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(entry->reader->open(path));
        entry->metadata = entry->reader->readMetadata();
        entry->filePath = path;
        entry->featuresLoaded = true;
        Access::activeIndex(*window) = static_cast<int>(MainWindowTestAccess::entries(*window).size()) - 1;
        Access::eventSpin(*window)->setRange(0, kEvents - 1);
    }
    MainWindow& w() { return *window; }
    ImageViewer& viewer() { return *Access::imageViewer(*window); }
};

TEST_F(EventDisplayTest, ShowsImageWithMaskAndTheMaskSwitchRedisplays)
{
    open();
    Access::imageViewer(w())->setMaskEnabled(true);
    Access::displayEvent(w(), 2);
    EXPECT_EQ(viewer().caption(), QStringLiteral("Event 2 (with mask)"));
    ASSERT_EQ(viewer().currentImage().cols, kWidth);
    EXPECT_EQ(viewer().currentImage().at<std::uint8_t>(1, 1), 20 + 5);
    EXPECT_FALSE(viewer().currentMask().empty());

    // Unchecking "Show Mask" shows the current event again without its mask.
    entry->currentEventIndex = 2;
    viewer().findChild<QCheckBox*>(QStringLiteral("showMaskCheck"))->setChecked(false);
    EXPECT_EQ(viewer().caption(), QStringLiteral("Event 2"));
    EXPECT_TRUE(viewer().currentMask().empty());
}

TEST_F(EventDisplayTest, AMaskOfAnotherSizeIsLeftOut)
{
    FixtureOptions options;
    options.maskWidth = kWidth + 1;
    open(options);
    Access::displayEvent(w(), 1);
    EXPECT_EQ(viewer().caption(), QStringLiteral("Event 1"));
    EXPECT_TRUE(viewer().currentMask().empty());
    EXPECT_EQ(viewer().currentImage().at<std::uint8_t>(0, 0), 10);
}

TEST_F(EventDisplayTest, AnEventWithoutAReadableImageClearsTheView)
{
    // Decision: a failed image read clears the viewer. Catches the fault of leaving the
    // previous event's picture under the new event's traces and values.
    FixtureOptions options;
    options.imageFrames = 2; // events 2 and 3 have no frame
    open(options);
    Access::displayEvent(w(), 1);
    ASSERT_EQ(viewer().caption(), QStringLiteral("Event 1 (with mask)"));
    Access::displayEvent(w(), 3);
    EXPECT_EQ(viewer().caption(), QStringLiteral("No Image"));
    EXPECT_TRUE(viewer().currentImage().empty());
    // The rest of the event is still shown.
    EXPECT_EQ(Access::eventTable(w())->item(0, 1)->text(), QStringLiteral("80"));
}

TEST_F(EventDisplayTest, PlotPointsSelectTheirEventsThroughThePlottedIndices)
{
    open();
    ScatterPlot* plot = Access::scatterPlot(w());
    plot->setData({50.0, 80.0}, {0.01, 0.04}, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    Access::plottedEventIndices(w()) = {0, 3};
    QSignalSpy spinChanged(Access::eventSpin(w()), QOverload<int>::of(&QSpinBox::valueChanged));

    // Through the plot's own signal, as a click or a hover delivers it.
    plot->onPointSelected(1);
    EXPECT_EQ(entry->currentEventIndex, 3);
    EXPECT_EQ(Access::eventSpin(w())->value(), 3);
    EXPECT_EQ(spinChanged.count(), 0); // set with its signals blocked: its handler does not run again
    EXPECT_EQ(plot->highlightedPoint(), 1);
    EXPECT_EQ(viewer().caption(), QStringLiteral("Event 3 (with mask)"));

    emit plot->pointHovered(0);
    EXPECT_EQ(entry->currentEventIndex, 0);

    // Indices outside the plotted points change nothing.
    for (int bad : {-1, 2, 100}) {
        plot->onPointSelected(bad);
        EXPECT_EQ(entry->currentEventIndex, 0);
    }
}

TEST_F(EventDisplayTest, SpinBoxShowsFilteredOutEventsWithoutHighlight)
{
    open();
    ScatterPlot* plot = Access::scatterPlot(w());
    plot->setData({50.0, 80.0}, {0.01, 0.04}, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    Access::plottedEventIndices(w()) = {0, 3};

    Access::eventSpin(w())->setValue(3);
    EXPECT_EQ(entry->currentEventIndex, 3);
    EXPECT_EQ(plot->highlightedPoint(), 1);

    Access::eventSpin(w())->setValue(2); // filtered out: shown, not highlighted
    EXPECT_EQ(entry->currentEventIndex, 2);
    EXPECT_EQ(plot->highlightedPoint(), -1);
    EXPECT_EQ(viewer().caption(), QStringLiteral("Event 2 (with mask)"));
}

TEST(EventDisplayWithoutImagesTest, PointsAndTheSpinBoxPickEventsOfMeasurementsWithoutImages)
{
    // Catches picking that needed images: in a measurement without them a click on a point
    // did nothing, and a number typed into "Event:" left the table on event 0's values and
    // the traces on event 0's while the box showed the new number.
    struct Case {
        const char* name;
        bool traces;
    };
    for (const Case& c : {Case{"with traces", true}, Case{"without traces", false}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        // Event e: area 10 (e + 1), deform 0.01 (e + 1), fl1 samples 100 e + s.
        const int events = 6;
        const QString path = dir.filePath(QStringLiteral("plain.rtdc"));
        {
            Tervane3::Test::RtdcFixture f(path.toStdString());
            std::vector<double> area;
            std::vector<double> deform;
            std::vector<std::int16_t> fl1;
            for (int e = 0; e < events; ++e) {
                area.push_back(10.0 * (e + 1));
                deform.push_back(0.01 * (e + 1));
                for (int s = 0; s < 5; ++s)
                    fl1.push_back(static_cast<std::int16_t>(100 * e + s));
            }
            f.addColumn<double>("area_um", area);
            f.addColumn<double>("deform", deform);
            if (c.traces)
                f.addTrace<std::int16_t>("fl1_median", fl1, events, 5);
        }
        Tervane3::Test::MainWindowEnvironment env;
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        Access::addDataset(w, path);
        ASSERT_TRUE(Tervane3::Test::waitForCaching(w));
        ASSERT_FALSE(w.datasets()[0]->reader->hasImage());
        const QTableWidget* table = Access::eventTable(w);
        TracePlot* traces = Access::tracePlot(w);
        ImageViewer* viewer = Access::imageViewer(w);
        // What the views show of event e: its area in the table, its fl1 trace, no image.
        const auto expectShown = [&](int e) {
            EXPECT_EQ(w.datasets()[0]->currentEventIndex, e);
            EXPECT_EQ(Access::eventSpin(w)->value(), e);
            ASSERT_EQ(table->rowCount(), 2);
            EXPECT_EQ(table->item(0, 0)->toolTip(), QStringLiteral("area_um"));
            EXPECT_EQ(table->item(0, 1)->text(), QString::number(10.0 * (e + 1)));
            EXPECT_EQ(viewer->caption(), QStringLiteral("No Image"));
            EXPECT_TRUE(viewer->currentImage().empty());
            EXPECT_EQ(traces->isHidden(), !c.traces);
            if (c.traces) {
                const QwtPlotCurve* fl1 = traces->curveList().at(0);
                ASSERT_EQ(fl1->dataSize(), 5u);
                EXPECT_EQ(fl1->sample(2).y(), 100.0 * e + 2);
            }
        };
        expectShown(0); // the activation shows the first event

        // A click on event 4's point, through the plot's own mouse handling.
        ScatterPlot* plot = Access::scatterPlot(w);
        plot->replot();
        QCoreApplication::processEvents();
        const QPoint at(qRound(plot->transform(QwtPlot::xBottom, 50.0)), qRound(plot->transform(QwtPlot::yLeft, 0.05)));
        QTest::mouseClick(plot->canvas(), Qt::LeftButton, Qt::NoModifier, at);
        expectShown(4);
        EXPECT_EQ(plot->highlightedPoint(), 4);

        // A number typed into "Event:".
        QSpinBox* spin = Access::eventSpin(w);
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("2"));
        expectShown(2);
        EXPECT_EQ(plot->highlightedPoint(), 2);
    }
}

TEST(EventDisplayActivationTest, ADatasetWithoutImagesShowsItsOwnValues)
{
    // Catches the feature table keeping the previous dataset's event values when a dataset
    // without images becomes active (only image datasets displayed their event).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    Access::addDataset(w, QString::fromStdString(writeMeasurement(dir, "images.rtdc", {})));
    ASSERT_TRUE(Tervane3::Test::waitForCaching(w));
    Tervane3::Test::Measurement plain;
    plain.columns["area_um"] = {7.0, 8.0, 9.0};
    plain.columns["deform"] = {0.5, 0.6, 0.7};
    const QString plainPath = dir.filePath(QStringLiteral("plain.rtdc"));
    Tervane3::Test::writeMeasurement(plainPath.toStdString(), plain);
    Access::addDataset(w, plainPath);
    ASSERT_TRUE(Tervane3::Test::waitForCaching(w));

    const QTableWidget* table = Access::eventTable(w);
    Access::activate(w, 0);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("50")); // area_um of event 0
    Access::activate(w, 1);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 0)->toolTip(), QStringLiteral("area_um"));
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("7"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("0.5"));
}

TEST_F(EventDisplayTest, FeatureTableListsScalarFeaturesWithCNumbers)
{
    // Decision: numbers in the event table ignore the locale. Catches formatting through
    // the default QLocale or printf under a comma locale ("0,123457").
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    open();
    Access::displayEvent(w(), 1);
    Access::displayEvent(w(), 2);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(previous);

    const QTableWidget* table = Access::eventTable(w());
    // Sorted keys; image and mask are not scalar features.
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 0)->toolTip(), QStringLiteral("area_um"));
    EXPECT_EQ(table->item(0, 0)->text(), QString::fromStdString(entry->reader->featureLabel("area_um")));
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("1.23457e+06"));
    EXPECT_EQ(table->item(1, 0)->toolTip(), QStringLiteral("deform"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("0.03"));
    EXPECT_FALSE(table->item(1, 1)->flags().testFlag(Qt::ItemIsEditable));

    Access::displayEvent(w(), 1);
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("0.123457"));
}

TEST_F(EventDisplayTest, LongLabelsLeaveTheValuesInView)
{
    open();
    w().resize(1400, 900);
    w().show();
    QCoreApplication::processEvents();
    QTableWidget* table = Access::eventTable(w());
    Access::displayEvent(w(), 1); // while the image tab is shown
    auto* tabs = w().findChild<QTabWidget*>(QStringLiteral("viewTabs"));
    ASSERT_NE(tabs, nullptr);
    tabs->setCurrentWidget(table); // the user turns to the table
    QCoreApplication::processEvents();
    const int view = table->viewport()->width();
    ASSERT_GT(view, 150);
    // The long label is elided rather than widening its column.
    EXPECT_LT(table->columnWidth(0), table->fontMetrics().horizontalAdvance(table->item(2, 0)->text()));
    EXPECT_LT(table->columnViewportPosition(1) + 20, view); // the values start in view
    EXPECT_EQ(table->item(2, 0)->toolTip(), QStringLiteral("fl1_dist"));
}

TEST_F(EventDisplayTest, TracePlotFollowsTheFluorescenceMetadata)
{
    // Decision: metadata numbers are read the same way under any locale. Catches reading
    // "20.5" as 20 under a comma locale (strtod and std::stod follow LC_NUMERIC).
    open();
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    Access::configureTracePlot(w());
    std::setlocale(LC_NUMERIC, "C");
    TracePlot* plot = Access::tracePlot(w());
    EXPECT_FALSE(plot->isHidden());
    ASSERT_EQ(plot->channelList().size(), 2u);
    EXPECT_EQ(plot->channelList()[0].color, QColor(0, 246, 255)); // "488"
    EXPECT_EQ(plot->channelList()[1].color, QColor(Qt::gray));    // no wavelength
    EXPECT_DOUBLE_EQ(plot->channelList()[0].baselineOffset, 20.5);
    EXPECT_DOUBLE_EQ(plot->channelList()[1].baselineOffset, 0.0); // unreadable: skipped
    EXPECT_DOUBLE_EQ(plot->sampleRateHz(), 500000.0);

    Access::displayEvent(w(), 2);
    const QwtPlotCurve* fl1 = plot->curveList()[0];
    ASSERT_EQ(fl1->dataSize(), 5u);
    EXPECT_EQ(fl1->sample(3), QPointF(6.0, 200.0 + 3.0 + 20.5)); // 2 µs per sample, offset 20.5
    EXPECT_EQ(plot->curveList()[1]->sample(4), QPointF(8.0, -4.0));
}

TEST_F(EventDisplayTest, ChannelsWithoutTheirTraceStayHiddenWithoutFailedReads)
{
    // Regression: a file with raw traces only and named channels logged a failed read of
    // "fl1_median" and "fl2_median" for every event shown.
    FixtureOptions options;
    options.traceSuffix = "_raw";
    open(options);
    std::vector<std::string> messages;
    setReaderMessageSink([&messages](const std::string& line) { messages.push_back(line); });
    Access::configureTracePlot(w());
    Access::displayEvent(w(), 1);
    Access::displayEvent(w(), 2);
    setReaderMessageSink(nullptr);
    EXPECT_TRUE(messages.empty()) << messages.front();
    for (const QwtPlotCurve* curve : Access::tracePlot(w())->curveList())
        EXPECT_FALSE(curve->isVisible());
}

TEST_F(EventDisplayTest, TraceChannelsFromTraceNamesAndRefinedTraces)
{
    FixtureOptions options;
    options.channelNames = false;
    open(options);
    // A refined trace for channel 2 only; "Show Refined Trace" starts checked.
    entry->reader->addDerivedTrace("fl2_median_rf", "fl2_median");
    ASSERT_TRUE(Access::calculations(w())->showRefinedTrace());
    Access::configureTracePlot(w());
    const TracePlot* plot = Access::tracePlot(w());
    ASSERT_EQ(plot->channelList().size(), 2u);
    EXPECT_EQ(plot->channelList()[0].channelName, "FL1");
    EXPECT_EQ(plot->channelList()[0].traceName, "fl1_median");
    EXPECT_EQ(plot->channelList()[1].channelName, "FL2");
    EXPECT_EQ(plot->channelList()[1].traceName, "fl2_median_rf");
    EXPECT_EQ(plot->curveList()[1]->title().text(), QStringLiteral("FL2 refined (FL2)"));

    // Toggling the choice reconfigures the plot.
    QCheckBox* refined = nullptr;
    for (QCheckBox* box : Access::calculations(w())->findChildren<QCheckBox*>())
        refined = box->text() == QStringLiteral("Show Refined Trace") ? box : refined;
    ASSERT_NE(refined, nullptr);
    refined->setChecked(false);
    ASSERT_FALSE(Access::calculations(w())->showRefinedTrace());
    EXPECT_EQ(plot->channelList()[1].traceName, "fl2_median");

    FixtureOptions none;
    none.traces = false;
    open(none, "plain.rtdc");
    Access::configureTracePlot(w());
    EXPECT_TRUE(plot->isHidden());
    EXPECT_FALSE(plot->curveList()[0]->isVisible());
}

TEST_F(EventDisplayTest, MetadataTreeListsSectionsInFixedOrder)
{
    open();
    Access::populateMetadataView(w());
    const QTreeWidget* tree = Access::metadataTree(w());
    QStringList sections;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        sections << tree->topLevelItem(i)->text(0);
    // Empty sections (online filter, offline filter) are left out.
    EXPECT_EQ(sections, (QStringList{"Experiment", "Setup", "Imaging", "Online Contour", "Fluorescence", "Export",
                                     "Other"}));
    const QTreeWidgetItem* setup = tree->topLevelItem(1);
    EXPECT_TRUE(setup->font(0).bold());
    ASSERT_EQ(setup->childCount(), 2);
    EXPECT_EQ(setup->child(0)->text(0), QStringLiteral("channel width")); // key order
    EXPECT_EQ(setup->child(1)->text(0), QStringLiteral("flow rate"));
    EXPECT_EQ(setup->child(1)->text(1), QStringLiteral("0.160000"));
    // Other sections keep their full names; names without a section appear nowhere.
    const QTreeWidgetItem* other = tree->topLevelItem(6);
    ASSERT_EQ(other->childCount(), 1);
    EXPECT_EQ(other->child(0)->text(0), QStringLiteral("user:comment"));
    EXPECT_EQ(other->child(0)->text(1), QStringLiteral("second run"));
    EXPECT_TRUE(other->isExpanded());
}

TEST_F(EventDisplayTest, MetadataIsFilledWhenTheDockIsShown)
{
    open();
    QDockWidget* dock = Access::metadataDock(w());
    QTreeWidget* tree = Access::metadataTree(w());
    w().showMetadata();
    EXPECT_FALSE(dock->isHidden());
    EXPECT_GT(tree->topLevelItemCount(), 0);

    // Another dataset while the tree is empty: the dock's becoming visible fills it.
    open({}, "second.rtdc");
    tree->clear();
    emit dock->visibilityChanged(true);
    EXPECT_GT(tree->topLevelItemCount(), 0);
    tree->clear();
    emit dock->visibilityChanged(false);
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

} // namespace
} // namespace Tervane3
