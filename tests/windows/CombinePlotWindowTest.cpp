// The combine plot window driven through its controls on a stand-in host: adding rows,
// colours, default features, syncing, the display-mode question, the plot grid, counts,
// synced ranges, log warnings, isoelastic lines, reordering, drops and the statistics.
#include "CombineTestSupport.h"

#include "app/DatasetDragPayload.h"
#include "plots/PlainPointCurve.h"
#include "plots/RoundSpectroCurve.h"
#include "windows/CombineDatasetWidget.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_div.h>
#include <qwt_symbol.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QSignalSpy>
#include <QTableWidget>

#include <cmath>
#include <limits>

namespace Tervane3 {
namespace {

using Test::CombineWindowFixture;
using Test::Columns;
using Test::rampColumns;
using ::Tervane3::rangeRule;

const double kNan = std::numeric_limits<double>::quiet_NaN();

template <typename T> std::vector<T*> itemsOf(const QwtPlot* plot, int rtti)
{
    std::vector<T*> items;
    for (QwtPlotItem* item : plot->itemList(rtti))
        items.push_back(dynamic_cast<T*>(item));
    return items;
}

std::vector<PlainPointCurve*> pointCurves(const QwtPlot* plot)
{
    std::vector<PlainPointCurve*> curves;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
        if (auto* curve = dynamic_cast<PlainPointCurve*>(item))
            curves.push_back(curve);
    return curves;
}

class CombinePlotWindowTest : public CombineWindowFixture
{
protected:
    // n datasets of 40 events each, added to the window; no rebuild run yet.
    void addDatasets(int n)
    {
        for (int i = 0; i < n; ++i) {
            DatasetEntry* d = addFile("d" + std::to_string(i) + ".rtdc", rampColumns(40), QStringLiteral("D%1").arg(i));
            ASSERT_TRUE(d);
            window->addDataset(d->id);
        }
    }
    QGridLayout* plotGrid() const { return qobject_cast<QGridLayout*>(child<QWidget>("plotContainer")->layout()); }
    std::pair<int, int> cellOf(QWidget* widget) const
    {
        int row = -1, column = -1, rs = 0, cs = 0;
        const int index = plotGrid()->indexOf(widget);
        if (index >= 0)
            plotGrid()->getItemPosition(index, &row, &column, &rs, &cs);
        return {row, column};
    }
};

TEST_F(CombinePlotWindowTest, NewWindowIsEmpty)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Combine Plot"));
    auto* placeholder = child<QLabel>("datasetPlaceholder");
    ASSERT_TRUE(placeholder);
    EXPECT_EQ(placeholder->text(), QStringLiteral("Drag datasets here\nfrom the main window"));
    EXPECT_TRUE(window->plotWidgets().empty());
    EXPECT_TRUE(child<QDockWidget>("exportDock")->isHidden());
    EXPECT_TRUE(child<QDockWidget>("statsDock")->isHidden());
    EXPECT_FALSE(child<QCheckBox>("manualLimitsCheck")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>("isoLabelsCheck")->isEnabled());
}

TEST_F(CombinePlotWindowTest, AddingDatasetsAndColours)
{
    DatasetEntry* loading = addFile("loading.rtdc", rampColumns(10));
    loading->featuresLoaded = false;
    window->addDataset(loading->id);
    window->addDataset(12345);
    EXPECT_TRUE(window->datasetEntries().empty()) << "missing and loading datasets are not added";
    EXPECT_FALSE(window->rebuildPending());

    addDatasets(3);
    flush();
    const int rebuilds = window->rebuildCount();
    window->addDataset(window->datasetEntries().front().datasetId);
    EXPECT_EQ(window->datasetEntries().size(), 3u);
    EXPECT_FALSE(window->rebuildPending()) << "adding a present dataset rebuilds nothing";
    EXPECT_EQ(window->rebuildCount(), rebuilds);

    // "Add All" with everything present still rebuilds, once.
    loading->featuresLoaded = true;
    window->addAllDatasets();
    window->addAllDatasets();
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds + 1);
    EXPECT_EQ(window->datasetEntries().size(), 4u);
    EXPECT_EQ(window->datasetEntries().back().datasetId, loading->id);

    // The colour index is the entry count when adding: after removing the first of four,
    // the next one gets the fourth colour.
    window->removeDataset(window->datasetEntries().front().datasetId);
    DatasetEntry* next = addFile("next.rtdc", rampColumns(10));
    window->addDataset(next->id);
    EXPECT_EQ(window->datasetEntries().back().color, QColor(0xd6, 0x27, 0x28));
    EXPECT_EQ(window->datasetEntries().front().color, QColor(0xff, 0x7f, 0x0e));
    EXPECT_EQ(combineDatasetColor(20), combineDatasetColor(0)) << "the 21st dataset gets the first colour";
    EXPECT_EQ(combineDatasetColor(20).alpha(), 255);
}

TEST_F(CombinePlotWindowTest, AddDialogListsLoadedDatasetsNotShown)
{
    addDatasets(1);
    DatasetEntry* b = addFile("b.rtdc", rampColumns(10), QStringLiteral("B"));
    DatasetEntry* c = addFile("c.rtdc", rampColumns(10), QStringLiteral("C"));
    DatasetEntry* loading = addFile("l.rtdc", rampColumns(10), QStringLiteral("L"));
    loading->featuresLoaded = false;
    flush();
    const int rebuilds = window->rebuildCount();
    QStringList listed;
    prompts->whileOpen = [&](const ScriptedPrompts::Call& call) {
        auto* list = window->findChild<QListWidget*>(QStringLiteral("addDatasetsList"));
        ASSERT_TRUE(list);
        EXPECT_EQ(call.text, QStringLiteral("Add Datasets"));
        for (int i = 0; i < list->count(); ++i) {
            listed << list->item(i)->text();
            list->item(i)->setSelected(true);
        }
    };
    prompts->answerDialog(QDialog::Accepted);
    window->showAddDatasetsDialog();
    prompts->whileOpen = nullptr;
    EXPECT_EQ(listed, (QStringList{QStringLiteral("B"), QStringLiteral("C")}));
    ASSERT_EQ(window->datasetEntries().size(), 3u);
    EXPECT_EQ(window->datasetEntries()[1].datasetId, b->id);
    EXPECT_EQ(window->datasetEntries()[2].datasetId, c->id);
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds + 1) << "k datasets from the dialog: one rebuild";

    window->showAddDatasetsDialog(); // cancelled: nothing added
    EXPECT_EQ(window->datasetEntries().size(), 3u);
}

TEST_F(CombinePlotWindowTest, DefaultFeatures)
{
    Columns plain;
    plain["gamma"] = {1, 2, 3};
    plain["alpha"] = {1, 2, 3};
    plain["beta"] = {1, 2, 3};
    DatasetEntry* noArea = addFile("plain.rtdc", plain);
    noArea->xFeatureName.clear();
    noArea->yFeatureName.clear();
    DatasetEntry* standard = addFile("standard.rtdc", rampColumns(5));
    standard->xFeatureName.clear();
    standard->yFeatureName = "bright";
    window->addDataset(noArea->id);
    window->addDataset(standard->id);
    ASSERT_EQ(window->datasetEntries().size(), 2u);
    EXPECT_EQ(window->datasetEntries()[0].xFeature, "alpha");
    EXPECT_EQ(window->datasetEntries()[0].yFeature, "beta");
    EXPECT_EQ(window->datasetEntries()[1].xFeature, "area_um");
    EXPECT_EQ(window->datasetEntries()[1].yFeature, "bright");
    EXPECT_EQ(host.savedStates, 2) << "the main window's plot choices are saved before reading them";
}

TEST_F(CombinePlotWindowTest, SyncFeaturesInOneRebuild)
{
    addDatasets(3);
    flush();
    window->datasetRows()[0]->setFeatures("bright", "area_um");
    auto* rowsBefore = &window->datasetRows();
    (void)rowsBefore;
    const int rebuilds = window->rebuildCount();
    child<QCheckBox>("syncFeaturesCheck")->setChecked(true);
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds + 1);
    for (const CombineDatasetEntry& e : window->datasetEntries()) {
        EXPECT_EQ(e.xFeature, "bright");
        EXPECT_EQ(e.yFeature, "area_um");
    }

    // A change in any row goes to every row; the others do not report a change of their own.
    CombineDatasetWidget* second = window->datasetRows()[1];
    QSignalSpy firstSpy(window->datasetRows()[0], &CombineDatasetWidget::settingsChanged);
    auto* xCombo = second->findChild<QComboBox*>(QStringLiteral("xFeatureCombo"));
    xCombo->setCurrentIndex(xCombo->findData(QStringLiteral("deform")));
    EXPECT_EQ(firstSpy.count(), 0);
    for (const CombineDatasetEntry& e : window->datasetEntries())
        EXPECT_EQ(e.xFeature, "deform");

    // A new dataset starts on the synced features.
    DatasetEntry* d = addFile("new.rtdc", rampColumns(10));
    window->addDataset(d->id);
    EXPECT_EQ(window->datasetEntries().back().xFeature, "deform");
    EXPECT_EQ(window->datasetEntries().back().yFeature, "area_um");
}

TEST_F(CombinePlotWindowTest, SyncAxesCopiesScalesAndFillsTheLimitBoxes)
{
    Columns a;
    a["area_um"] = {0, 25, 50, 100};
    a["deform"] = {1, 1, 2, 2};
    Columns b;
    b["area_um"] = {50, 100, 200, 300};
    b["deform"] = {1, 2, 2, 2};
    window->addDataset(addFile("a.rtdc", a)->id);
    window->addDataset(addFile("b.rtdc", b)->id);
    flush();
    window->datasetRows()[0]->setScaleModes(2, 0);
    child<QCheckBox>("syncAxesCheck")->setChecked(true);
    EXPECT_EQ(window->datasetEntries()[1].scaleXMode, 2);
    EXPECT_TRUE(child<QCheckBox>("manualLimitsCheck")->isEnabled());
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("xMinSpin")->value(), -15.0);
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("xMaxSpin")->value(), 315.0);
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("yMinSpin")->value(), 0.95);
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("yMaxSpin")->value(), 2.05);
    flush();
    for (QwtPlot* plot : window->plotWidgets()) {
        EXPECT_DOUBLE_EQ(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), -15.0);
        EXPECT_DOUBLE_EQ(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), 315.0);
    }

    // Typing a limit rebuilds only with "Manual Limits" on.
    int rebuilds = window->rebuildCount();
    child<QDoubleSpinBox>("xMaxSpin")->setValue(400);
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds);
    child<QCheckBox>("manualLimitsCheck")->setChecked(true);
    flush();
    EXPECT_DOUBLE_EQ(window->plotWidgets()[0]->axisScaleDiv(QwtPlot::xBottom).upperBound(), 400.0);
    rebuilds = window->rebuildCount();
    child<QDoubleSpinBox>("xMaxSpin")->setValue(500);
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds + 1);

    child<QCheckBox>("syncAxesCheck")->setChecked(false);
    EXPECT_FALSE(child<QCheckBox>("manualLimitsCheck")->isChecked());
    EXPECT_FALSE(child<QDoubleSpinBox>("xMinSpin")->isEnabled());
}

TEST_F(CombinePlotWindowTest, SyncAxesWithNothingPlottedKeepsBoxesAndAutoscales)
{
    // Regression: with nothing plotted the synced range was infinite.
    DatasetEntry* a = addFile("a.rtdc", rampColumns(10));
    a->filter.addRule(rangeRule("area_um", 1000, 2000));
    window->addDataset(a->id);
    flush();
    child<QDoubleSpinBox>("xMinSpin")->setValue(3);
    child<QCheckBox>("syncAxesCheck")->setChecked(true);
    flush();
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("xMinSpin")->value(), 3.0);
    const QwtScaleDiv& div = window->plotWidgets()[0]->axisScaleDiv(QwtPlot::xBottom);
    EXPECT_TRUE(std::isfinite(div.lowerBound()) && std::isfinite(div.upperBound()));
    EXPECT_TRUE(window->plotWidgets()[0]->axisAutoScale(QwtPlot::xBottom));
}

TEST_F(CombinePlotWindowTest, SyncFeaturesRequiredQuestion)
{
    addDatasets(2);
    window->datasetRows()[1]->setFeatures("bright", "deform");
    flush();
    auto* display = child<QComboBox>("displayCombo");
    const int rebuilds = window->rebuildCount();

    prompts->answerMessage(QStringLiteral("Cancel"));
    display->setCurrentIndex(2);
    ASSERT_EQ(prompts->countTitled(QStringLiteral("Sync Features Required")), 1);
    EXPECT_TRUE(prompts->last()->text.startsWith(QStringLiteral("\"Same Plot\" requires all datasets to use the same features.\n")));
    EXPECT_EQ(display->currentIndex(), 0);
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds) << "Cancel leaves the plots as they were";

    prompts->answerMessage(QStringLiteral("OK"));
    display->setCurrentIndex(2);
    flush();
    EXPECT_EQ(window->rebuildCount(), rebuilds + 1);
    EXPECT_TRUE(child<QCheckBox>("syncFeaturesCheck")->isChecked());
    ASSERT_EQ(window->plotWidgets().size(), 1u);
    EXPECT_EQ(window->datasetEntries()[1].xFeature, "area_um");

    // The overlay modes keep "Sync Features" on.
    child<QCheckBox>("syncFeaturesCheck")->setChecked(false);
    EXPECT_TRUE(child<QCheckBox>("syncFeaturesCheck")->isChecked());
}

TEST_F(CombinePlotWindowTest, OverlayModesWithOneDatasetSyncSilently)
{
    // Regression: with one dataset "Sync Features" stayed off in "Same Plot", so a second
    // dataset added later was drawn under the first one's axis titles.
    addDatasets(1);
    child<QComboBox>("displayCombo")->setCurrentIndex(1);
    EXPECT_EQ(prompts->countTitled(QStringLiteral("Sync Features Required")), 0);
    EXPECT_TRUE(child<QCheckBox>("syncFeaturesCheck")->isChecked());
    window->datasetRows()[0]->setFeatures("bright", "deform");
    emit window->datasetRows()[0]->settingsChanged();
    DatasetEntry* d = addFile("second.rtdc", rampColumns(10));
    window->addDataset(d->id);
    EXPECT_EQ(window->datasetEntries()[1].xFeature, "bright");
}

TEST_F(CombinePlotWindowTest, GridAndOverlayCells)
{
    addDatasets(5);
    flush();
    ASSERT_EQ(window->plotWidgets().size(), 5u);
    EXPECT_EQ(cellOf(window->plotWidgets()[4]), std::make_pair(1, 1)) << "3 x 2 grid";
    prompts->answerMessage(QStringLiteral("OK"));
    child<QComboBox>("displayCombo")->setCurrentIndex(1);
    flush();
    ASSERT_EQ(window->plotWidgets().size(), 6u);
    QwtPlot* overlay = window->plotWidgets().back();
    EXPECT_EQ(cellOf(overlay), std::make_pair(1, 2));
    EXPECT_EQ(overlay->title().text(), QStringLiteral("Contour Overlay"));

    child<QCheckBox>("manualArrayCheck")->setChecked(true);
    child<QSpinBox>("colsSpin")->setValue(2);
    flush();
    EXPECT_EQ(cellOf(window->plotWidgets().back()), std::make_pair(2, 1));
    child<QSpinBox>("rowsSpin")->setValue(2);
    EXPECT_EQ(child<QSpinBox>("colsSpin")->value(), 0) << "Cols shows auto once Rows is set";
    child<QCheckBox>("manualArrayCheck")->setChecked(false);
    EXPECT_EQ(child<QSpinBox>("rowsSpin")->value(), 0);
}

TEST_F(CombinePlotWindowTest, RebuildKeepsPlotsWhoseInputsDidNotChange)
{
    addDatasets(3);
    flush();
    EXPECT_EQ(window->plotsDrawnLastRebuild(), 3);
    const std::vector<QwtPlot*> before = window->plotWidgets();

    window->refresh();
    flush();
    EXPECT_EQ(window->plotsDrawnLastRebuild(), 0) << "a refresh with nothing changed draws nothing";
    EXPECT_EQ(window->plotWidgets(), before);

    host.entries[1]->filter.addRule(rangeRule("area_um", 20, 30));
    window->refresh();
    flush();
    EXPECT_EQ(window->plotsDrawnLastRebuild(), 1) << "a filter edit redraws its own plot";
    EXPECT_EQ(window->plotWidgets()[0], before[0]);
    EXPECT_EQ(window->plotWidgets()[2], before[2]);

    // The main window renames the dataset, then tells the window.
    host.entries[2]->displayName = QStringLiteral("Renamed");
    window->renameDataset(host.entries[2]->id, QStringLiteral("Renamed"));
    flush();
    EXPECT_EQ(window->plotsDrawnLastRebuild(), 1);
    EXPECT_EQ(window->plotWidgets()[2]->title().text(), QStringLiteral("Renamed"));

    host.colorMap = 3;
    window->refresh();
    flush();
    EXPECT_EQ(window->plotsDrawnLastRebuild(), 3) << "a setting of every plot redraws them all";
}

TEST_F(CombinePlotWindowTest, CountUnderFilterWithNaN)
{
    Columns columns;
    columns["area_um"] = {10, 20, kNan, 40, 50, 60};
    columns["deform"] = {0.1, 0.2, 0.3, 0.4, kNan, 0.6};
    DatasetEntry* d = addFile("nan.rtdc", columns);
    d->filter.addRule(rangeRule("area_um", 15, 100));
    window->addDataset(d->id);
    child<QCheckBox>("showCountCheck")->setChecked(true);
    flush();
    const auto labels = itemsOf<QwtPlotTextLabel>(window->plotWidgets()[0], QwtPlotItem::Rtti_PlotTextLabel);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0]->text().text(), QStringLiteral("N = 3"));
}

// Regression: N and the statistics counted the events a logarithmic axis cannot draw (values
// at or below zero), unlike the main window's info line and statistics.
TEST_F(CombinePlotWindowTest, LogAxesCountAndSummariseTheDrawnEvents)
{
    Columns columns = rampColumns(10); // area 10 .. 19
    columns["area_um"][0] = 0;
    columns["area_um"][1] = -2;
    columns["deform"][0] = 0; // the same event on both axes: counted once
    columns["deform"][2] = -0.5;
    window->addDataset(addFile("neg.rtdc", columns)->id);
    child<QCheckBox>("showCountCheck")->setChecked(true);
    child<QDockWidget>("statsDock")->show();
    flush();
    const struct
    {
        const char* name;
        int xMode, yMode;
        const char* n;
        const char* meanArea;
    } cases[] = {
        {"linear", 0, 0, "10", "12.2"},
        {"log x", 1, 0, "8", "15.5"},
        {"log y", 0, 1, "8", "13.75"},
        {"log x and y", 1, 1, "7", "16"},
        {"pseudo-log x", 2, 0, "10", "12.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window->datasetRows()[0]->xScaleCombo()->setCurrentIndex(c.xMode);
        flush();
        window->datasetRows()[0]->yScaleCombo()->setCurrentIndex(c.yMode);
        flush();
        const auto labels = itemsOf<QwtPlotTextLabel>(window->plotWidgets()[0], QwtPlotItem::Rtti_PlotTextLabel);
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(labels[0]->text().text(), QStringLiteral("N = %1").arg(QLatin1String(c.n)));
        auto* table = child<QTableWidget>("statsTable");
        ASSERT_EQ(table->rowCount(), 1);
        EXPECT_EQ(table->item(0, 1)->text(), QLatin1String(c.n));
        EXPECT_EQ(table->item(0, 2)->text(), QLatin1String(c.meanArea));
    }
}

TEST_F(CombinePlotWindowTest, ColourModesAndContours)
{
    addDatasets(2);
    flush();
    // "Dataset Color": one point curve per plot in the row's colour, out of the legend.
    for (QwtPlot* plot : window->plotWidgets()) {
        const auto curves = pointCurves(plot);
        ASSERT_EQ(curves.size(), 1u);
        EXPECT_FALSE(curves[0]->testItemAttribute(QwtPlotItem::Legend));
    }
    EXPECT_EQ(pointCurves(window->plotWidgets()[1])[0]->symbol()->pen().color(), window->datasetEntries()[1].color);

    child<QComboBox>("colorCombo")->setCurrentIndex(2);
    flush();
    EXPECT_EQ(pointCurves(window->plotWidgets()[1])[0]->symbol()->pen().color(), QColor(Qt::black));
    EXPECT_EQ(window->plotWidgets()[1]->title().color(), window->datasetEntries()[1].color);

    child<QComboBox>("colorCombo")->setCurrentIndex(0);
    child<QComboBox>("contourCombo")->setCurrentIndex(1);
    flush();
    QwtPlot* plot = window->plotWidgets()[0];
    EXPECT_EQ(itemsOf<QwtPlotSpectroCurve>(plot, QwtPlotItem::Rtti_PlotSpectroCurve).size(), 1u);
    std::vector<Qt::PenStyle> styles;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
        styles.push_back(static_cast<QwtPlotCurve*>(item)->pen().style());
    EXPECT_NE(std::find(styles.begin(), styles.end(), Qt::DashLine), styles.end());
    EXPECT_NE(std::find(styles.begin(), styles.end(), Qt::SolidLine), styles.end());

    child<QComboBox>("contourCombo")->setCurrentIndex(2);
    flush();
    EXPECT_TRUE(itemsOf<QwtPlotSpectroCurve>(window->plotWidgets()[0], QwtPlotItem::Rtti_PlotSpectroCurve).empty());
}

TEST_F(CombinePlotWindowTest, SamePlotLegendListsDatasets)
{
    addDatasets(2);
    prompts->answerMessage(QStringLiteral("OK"));
    child<QComboBox>("displayCombo")->setCurrentIndex(2);
    child<QCheckBox>("showLegendCheck")->setChecked(true);
    flush();
    QStringList titles;
    for (QwtPlotItem* item : window->plotWidgets()[0]->itemList(QwtPlotItem::Rtti_PlotCurve))
        if (item->testItemAttribute(QwtPlotItem::Legend))
            titles << item->title().text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("D0"), QStringLiteral("D1")}));
    EXPECT_EQ(window->plotWidgets()[0]->itemList(QwtPlotItem::Rtti_PlotLegend).size(), 1);
}

TEST_F(CombinePlotWindowTest, LogWarnings)
{
    Columns columns = rampColumns(10);
    columns["area_um"][0] = 0;
    columns["area_um"][1] = -2;
    columns["area_um"][2] = -3;
    columns["deform"][0] = 0;
    window->addDataset(addFile("neg.rtdc", columns)->id);
    flush();
    CombineDatasetWidget* row = window->datasetRows()[0];
    row->xScaleCombo()->setCurrentIndex(1);
    flush();
    row = window->datasetRows()[0];
    EXPECT_EQ(row->xScaleCombo()->itemText(1), QStringLiteral("Log ⚠"));
    EXPECT_EQ(row->xScaleCombo()->toolTip(),
              QStringLiteral("3 points with value ≤ 0 not shown (cannot be drawn on a log axis)"));
    EXPECT_EQ(row->yScaleCombo()->itemText(1), QStringLiteral("Log"));
    row->yScaleCombo()->setCurrentIndex(1);
    flush();
    row = window->datasetRows()[0];
    EXPECT_EQ(row->yScaleCombo()->toolTip(), QStringLiteral("1 point with value ≤ 0 not shown (cannot be drawn on a log axis)"));
    // Autoscaling of the log axis uses the positive values only.
    const QwtScaleDiv& div = window->plotWidgets()[0]->axisScaleDiv(QwtPlot::xBottom);
    EXPECT_GT(div.lowerBound(), 0.0);
    EXPECT_GT(div.lowerBound(), 1e-3);
    row->xScaleCombo()->setCurrentIndex(2);
    flush();
    EXPECT_EQ(window->datasetRows()[0]->xScaleCombo()->itemText(1), QStringLiteral("Log")) << "pseudo-log never warns";
}

TEST_F(CombinePlotWindowTest, IsoelasticLines)
{
    IsoelasticLine stiff;
    stiff.modulus = 1.5;
    stiff.points = {{20, 0.01}, {40, 0.02}};
    IsoelasticLine soft;
    soft.modulus = 0.75;
    soft.points = {{30, 0.03}, {60, 0.05}};
    IsoelasticLine single;
    single.modulus = 3.0;
    single.points = {{30, 0.03}};
    host.isoLines = {stiff, soft, single};
    addDatasets(3);
    window->datasetRows()[1]->setFeatures("deform", "area_um");
    window->datasetRows()[2]->setFeatures("bright", "deform");
    auto* iso = child<QCheckBox>("isoelasticsCheck");
    auto* labels = child<QCheckBox>("isoLabelsCheck");
    iso->setChecked(true);
    labels->setChecked(true);
    flush();
    const auto markerTexts = [](const QwtPlot* plot) {
        QStringList texts;
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotMarker))
            texts << static_cast<QwtPlotMarker*>(item)->label().text();
        return texts;
    };
    EXPECT_EQ(markerTexts(window->plotWidgets()[0]), (QStringList{QStringLiteral("1.5 kPa"), QStringLiteral("0.75 kPa")}));
    // deform against area: the points are swapped.
    const auto markers = itemsOf<QwtPlotMarker>(window->plotWidgets()[1], QwtPlotItem::Rtti_PlotMarker);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0]->value(), QPointF(0.02, 40));
    EXPECT_TRUE(markerTexts(window->plotWidgets()[2]).isEmpty()) << "no lines on other feature pairs";
    EXPECT_EQ(host.isoelasticCalls, 1) << "one computation per set of inputs";

    window->refresh();
    flush();
    EXPECT_EQ(host.isoelasticCalls, 1);
    host.isoFlowRate = 0.08;
    window->refresh();
    flush();
    EXPECT_EQ(host.isoelasticCalls, 2);

    iso->setChecked(false);
    EXPECT_FALSE(labels->isChecked());
    EXPECT_FALSE(labels->isEnabled());
    flush();
    EXPECT_TRUE(markerTexts(window->plotWidgets()[0]).isEmpty());
}

TEST_F(CombinePlotWindowTest, ReorderingKeepsRowChoices)
{
    addDatasets(3);
    const auto ids = [this]() {
        std::vector<int> out;
        for (const CombineDatasetEntry& e : window->datasetEntries())
            out.push_back(e.datasetId);
        return out;
    };
    const std::vector<int> abc = ids();
    window->datasetRows()[0]->setScaleModes(1, 2);
    window->moveDatasetEntry(0, 2, false);
    EXPECT_EQ(ids(), (std::vector<int>{abc[1], abc[2], abc[0]}));
    EXPECT_EQ(window->datasetEntries()[2].scaleXMode, 1) << "the moved row keeps its choices";
    EXPECT_EQ(window->datasetRows()[2]->settings().scaleYMode, 2);
    window->moveDatasetEntry(2, 0, true);
    EXPECT_EQ(ids(), abc);

    // A drop of one row on the lower half of another, applied from the event loop.
    CombineDatasetWidget* target = window->datasetRows()[2];
    target->resize(200, 100);
    QMimeData data;
    data.setData(QString::fromLatin1(combineReorderMimeType), QByteArray::number(abc[0]));
    QDropEvent drop(QPointF(10, 80), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    // The drag's source object is the window; a drop from elsewhere is no reorder.
    EXPECT_EQ(CombineDatasetWidget::reorderSourceId(&data, nullptr, target), -1);
    EXPECT_EQ(CombineDatasetWidget::reorderSourceId(&data, window.get(), target), abc[0]);
    EXPECT_EQ(CombineDatasetWidget::reorderSourceId(&data, window.get(), window->datasetRows()[0]), -1);
    QSignalSpy spy(target, &CombineDatasetWidget::dropReceived);
    emit target->dropReceived(abc[0], target, false);
    EXPECT_EQ(ids(), abc) << "not inside the drop handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(ids(), (std::vector<int>{abc[1], abc[2], abc[0]}));
}

TEST_F(CombinePlotWindowTest, DropsFromTheMainWindow)
{
    DatasetEntry* d = addFile("d.rtdc", rampColumns(10));
    std::unique_ptr<QMimeData> payload(DatasetDragPayload::create(d->id));
    {
        // No source object: the drag comes from another program.
        QDropEvent foreign(QPointF(5, 5), Qt::CopyAction, payload.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &foreign);
        EXPECT_TRUE(window->datasetEntries().empty());
    }
    window->addDataset(d->id);
    EXPECT_EQ(window->datasetEntries().size(), 1u);
}

TEST_F(CombinePlotWindowTest, RenameAndRemove)
{
    addDatasets(2);
    const int id = window->datasetEntries()[1].datasetId;
    window->renameDataset(id, QStringLiteral("Renamed"));
    EXPECT_EQ(window->datasetRows()[1]->findChild<QLabel*>(QStringLiteral("nameLabel"))->text(), QStringLiteral("Renamed"));
    window->removeDataset(id);
    window->removeDataset(id);
    EXPECT_EQ(window->datasetEntries().size(), 1u);
    EXPECT_EQ(window->datasetRows().size(), 1u);
}

TEST_F(CombinePlotWindowTest, StatisticsTable)
{
    Columns one;
    one["area_um"] = {42};
    one["deform"] = {0.5};
    addDatasets(1);
    window->addDataset(addFile("one.rtdc", one, QStringLiteral("One"))->id);
    DatasetEntry* none = addFile("none.rtdc", rampColumns(5), QStringLiteral("None"));
    none->filter.addRule(rangeRule("area_um", 1000, 2000));
    window->addDataset(none->id);
    child<QDockWidget>("statsDock")->show();
    flush();
    auto* table = child<QTableWidget>("statsTable");
    ASSERT_EQ(table->columnCount(), 14);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QString::fromStdString(host.entries[0]->reader->featureLabel("area_um")) + QStringLiteral(" Mean"));
    EXPECT_EQ(table->horizontalHeaderItem(13)->text().right(4), QStringLiteral(" IQR"));
    // Ramp 10 .. 49: mean 29.5, median 29.5, quartiles at 9.75 and 29.25 steps.
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("40"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("29.5"));
    EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("19.75"));
    EXPECT_EQ(table->item(0, 6)->text(), QStringLiteral("39.25"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("1"));
    EXPECT_EQ(table->item(1, 3)->text(), QStringLiteral("0"));
    EXPECT_EQ(table->item(1, 5)->text(), QStringLiteral("42"));
    EXPECT_EQ(table->item(2, 1)->text(), QStringLiteral("0"));
    EXPECT_EQ(table->item(2, 2), nullptr) << "no plotted event: empty statistic cells";

    // Regression: an emptied window kept the last statistics rows.
    for (int id : {host.entries[0]->id, host.entries[1]->id, host.entries[2]->id})
        window->removeDataset(id);
    flush();
    EXPECT_EQ(table->rowCount(), 0);
}

} // namespace
} // namespace Tervane3
