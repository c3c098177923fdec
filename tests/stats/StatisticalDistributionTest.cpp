// The distribution explorer of the statistical evaluation window on tiny measurements: a
// plot per selected feature, curves per dataset or per category (mean with a ±1 SD band
// and a legend), the events passing each filter, and the refusals.
#include "StatEvalWindowFixture.h"

#include "app/DatasetEntry.h"
#include "stats/KernelDensity.h"

#include <gtest/gtest.h>

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <cmath>
#include <limits>

using namespace Tervane3;
using Tervane3::Test::StatEvalWindowTest;

namespace {

class StatisticalDistributionTest : public StatEvalWindowTest
{
protected:
    void run() { widget<QPushButton>("updateDistributionsButton")->click(); }
    static std::vector<QwtPlotCurve*> curves(QwtPlot* plot)
    {
        std::vector<QwtPlotCurve*> out;
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
            out.push_back(static_cast<QwtPlotCurve*>(item));
        return out;
    }
    int addSeries(size_t category, const QString& name, std::vector<double> area)
    {
        std::vector<double> deform(area.size(), std::numeric_limits<double>::quiet_NaN());
        const int id = data.add(name, {{"area_um", area}, {"deform", deform}});
        panel(category)->addDataset(id);
        return id;
    }
};

TEST_F(StatisticalDistributionTest, OneCurvePerDataset)
{
    addSeries(0, QStringLiteral("a"), {1, 2, 3, 4});
    const int b = addSeries(0, QStringLiteral("b"), {2, 3, 4, 5, 100});
    addSeries(1, QStringLiteral("c"), {7, 8, 9});
    // The filter is switched off: every event counts; switched on, only the range.
    DatasetEntry* dataset = data.host.findDatasetById(b);
    dataset->filter.addRule(Tervane3::Test::rangeRule("area_um", 0, 10));
    dataset->filter.setEnabled(false);
    select({"area_um", "deform"});
    run();
    EXPECT_TRUE(prompts->calls().empty());
    ASSERT_EQ(window.distributionPlotList().size(), 1u) << "deform has no finite value: no plot";
    QwtPlot* plot = window.distributionPlotList()[0];
    EXPECT_EQ(plot->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("Density"));
    EXPECT_EQ(plot->minimumWidth(), 400);
    EXPECT_EQ(plot->minimumHeight(), 280);
    const auto all = curves(plot);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1]->title().text(), QStringLiteral("b"));
    EXPECT_EQ(all[2]->pen().color(), QColor(220, 80, 60, 180));
    EXPECT_EQ(plot->legend(), nullptr);
    // The grid spans 1 .. 100 widened by 5 %.
    const DensityGrid grid = densityGridFor(1, 100);
    EXPECT_NEAR(all[0]->sample(0).x(), grid.gridMin, 1e-12);
    EXPECT_EQ(widget<QTabWidget>("tabs")->currentIndex(), 2);

    dataset->filter.setEnabled(true);
    run();
    const auto filtered = curves(window.distributionPlotList().at(0));
    EXPECT_NEAR(filtered[0]->sample(0).x(), densityGridFor(1, 9).gridMin, 1e-12);
}

TEST_F(StatisticalDistributionTest, PerCategoryMeanWithBandAndLegend)
{
    addSeries(0, QStringLiteral("a"), {1, 2, 3, 4});
    addSeries(0, QStringLiteral("b"), {2, 3, 4, 5});
    addSeries(1, QStringLiteral("c"), {7, 8, 9});
    window.onAddCategory(); // an empty category gets no curve and no legend entry
    combo("distributionModeCombo")->setCurrentIndex(1);
    select({"area_um"});
    run();
    ASSERT_EQ(window.distributionPlotList().size(), 1u);
    QwtPlot* plot = window.distributionPlotList()[0];
    const auto all = curves(plot);
    // Baseline: band and mean; Condition 1: one dataset, mean only. The plot lists its
    // items by z: the means (z 10) below the band (default z 20).
    ASSERT_EQ(all.size(), 3u);
    QwtPlotCurve* baseline = all[0];
    QwtPlotCurve* band = all[2];
    EXPECT_EQ(baseline->title().text(), QStringLiteral("Baseline"));
    EXPECT_EQ(baseline->z(), 10);
    EXPECT_EQ(all[1]->title().text(), QStringLiteral("Condition 1"));
    EXPECT_EQ(band->dataSize(), 512u);
    EXPECT_FALSE(band->testItemAttribute(QwtPlotItem::Legend));
    EXPECT_EQ(band->brush().color(), QColor(70, 130, 180, 40));
    EXPECT_NE(plot->legend(), nullptr);

    // The mean curve is the average of the two datasets' densities on the shared grid.
    const DensityGrid grid = densityGridFor(1, 9);
    const QList<double> a = kernelDensityOnGrid(grid, {1, 2, 3, 4});
    const QList<double> b = kernelDensityOnGrid(grid, {2, 3, 4, 5});
    for (int i : {0, 40, 128, 255})
        EXPECT_NEAR(baseline->sample(i).y(), (a[i] + b[i]) / 2, 1e-12) << i;
    // The band's lower edge never drops below zero.
    for (size_t i = 0; i < band->dataSize(); ++i)
        EXPECT_GE(band->sample(static_cast<int>(i)).y(), 0.0);
}

TEST_F(StatisticalDistributionTest, NoSelectionClearsTheTabBeforeTheWarning)
{
    addSeries(0, QStringLiteral("a"), {1, 2, 3});
    select({"area_um"});
    run();
    ASSERT_EQ(window.distributionPlotList().size(), 1u);
    features()->clearSelection();
    run();
    EXPECT_TRUE(window.distributionPlotList().empty());
    EXPECT_EQ(boxes(QStringLiteral("Distribution Explorer")), QStringList{QStringLiteral("Select at least one feature.")});
}

} // namespace
