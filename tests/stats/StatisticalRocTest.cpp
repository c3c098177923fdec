// The ROC analysis of the statistical evaluation window on one-value datasets: the table
// and plots, the combination of several features, the choice of classes by position, the
// checks that refuse a run, replicate merging and missing values.
#include "StatEvalWindowFixture.h"

#include "app/DatasetEntry.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_text.h>

#include <QLineEdit>

#include <limits>

using namespace Tervane3;
using Tervane3::Test::StatEvalWindowTest;

namespace {

class StatisticalRocTest : public StatEvalWindowTest
{
protected:
    void run() { widget<QPushButton>("runRocButton")->click(); }
    QString rocRow(int r) const
    {
        QStringList cells;
        for (int c = 0; c < table("rocTable")->columnCount(); ++c)
            cells << cell(r, c, "rocTable");
        return cells.join(QLatin1Char('|'));
    }
};

TEST_F(StatisticalRocTest, OneFeatureSeparatesTheClasses)
{
    fill(0, {1, 2, 3});
    fill(1, {4, 5, 6});
    select({"area_um"});
    run();
    EXPECT_TRUE(prompts->calls().empty());
    ASSERT_EQ(table("rocTable")->rowCount(), 1) << "no combination for one feature";
    EXPECT_EQ(header(6, "rocTable"), QStringLiteral("N Baseline"));
    EXPECT_EQ(header(7, "rocTable"), QStringLiteral("N Condition 1"));
    EXPECT_EQ(rocRow(0), label("area_um") + QStringLiteral("|1.000|> (higher = Condition 1)|4|1.000|1.000|3|3"));
    ASSERT_EQ(window.rocPlotList().size(), 1u);
    EXPECT_EQ(window.rocPlotList()[0]->title().text(), label("area_um"));
    EXPECT_EQ(widget<QTabWidget>("tabs")->currentIndex(), 1);
}

TEST_F(StatisticalRocTest, SeveralFeaturesAddTheCombination)
{
    // Every feature of a dataset has its value, so the two features are identical: equal weights.
    fill(0, {4, 5, 6});
    fill(1, {1, 2, 3});
    select({"area_um", "deform"});
    run();
    ASSERT_EQ(table("rocTable")->rowCount(), 3);
    EXPECT_EQ(cell(0, 2, "rocTable"), QStringLiteral("< (lower = Condition 1)"));
    EXPECT_EQ(cell(0, 3, "rocTable"), QStringLiteral("3"));
    EXPECT_EQ(cell(2, 0, "rocTable"), QStringLiteral("Combined (LDA)"));
    EXPECT_EQ(cell(2, 1, "rocTable"), QStringLiteral("1.000"));
    ASSERT_EQ(window.rocPlotList().size(), 3u);
    EXPECT_EQ(window.rocPlotList()[2]->title().text(),
              QStringLiteral("Combined (LDA)\nWeights: %1: 0.5, %2: 0.5").arg(label("area_um"), label("deform")));
}

TEST_F(StatisticalRocTest, ThreeCategoriesAskForTheClassesByPosition)
{
    // Regression: names were mapped back to the first category of that name, so among
    // "A", "A", "B" the second "A" was compared with the first "A" instead of with "B".
    fill(0, {1, 2, 3});
    fill(1, {10, 11, 12});
    fill(2, {4, 5, 6});
    rename(0, QStringLiteral("A"));
    rename(1, QStringLiteral("A"));
    rename(2, QStringLiteral("B"));
    select({"area_um"});
    prompts->answerItem(1); // negative: the second "A"
    prompts->answerItem(1); // positive: "B", the second of the others
    run();
    ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::Item), 2);
    const auto& calls = prompts->calls();
    EXPECT_EQ(calls[0].text, QStringLiteral("Select NEGATIVE class (reference):"));
    EXPECT_EQ(calls[0].items, (QStringList{"A", "A", "B"}));
    EXPECT_EQ(calls[1].text, QStringLiteral("Select POSITIVE class (condition):"));
    EXPECT_EQ(calls[1].items, (QStringList{"A", "B"}));
    ASSERT_EQ(table("rocTable")->rowCount(), 1);
    // {10, 11, 12} against {4, 5, 6}: lower values are the positives.
    EXPECT_EQ(cell(0, 2, "rocTable"), QStringLiteral("< (lower = B)"));
    EXPECT_EQ(cell(0, 3, "rocTable"), QStringLiteral("6"));

    // Cancelling the second choice changes nothing.
    const QString before = rocRow(0);
    QwtPlot* plot = window.rocPlotList().at(0);
    prompts->answerItem(0);
    prompts->answerItem(-1);
    run();
    EXPECT_EQ(rocRow(0), before);
    EXPECT_EQ(window.rocPlotList().at(0), plot);
}

TEST_F(StatisticalRocTest, RefusedRuns)
{
    fill(0, {1, 2, 3});
    fill(1, {4, 5, 6});
    const auto refused = [&](const QString& text) {
        prompts->clear();
        run();
        EXPECT_EQ(boxes(QStringLiteral("ROC Analysis")), QStringList{text});
        EXPECT_EQ(table("rocTable")->rowCount(), 0);
    };
    refused(QStringLiteral("Select at least one feature."));
    select({"area_um"});
    check("replicatesCheck")->setChecked(true);
    refused(QStringLiteral("Replicates are enabled but some datasets have no ID assigned. Double-click datasets to "
                           "assign IDs."));
    // Three datasets sharing one ID per class: one sample each after aggregation.
    for (size_t c = 0; c < 2; ++c)
        for (const CategoryEntry& e : std::vector<CategoryEntry>(panel(c)->entries()))
            panel(c)->setNumberId(e.datasetId, 1);
    refused(QStringLiteral("Each category needs at least 3 samples for ROC analysis. After replicate aggregation, "
                           "there are 1 and 1 samples."));
    check("replicatesCheck")->setChecked(false);
    panel(1)->removeDataset(panel(1)->entries().front().datasetId);
    refused(QStringLiteral("Each category needs at least 3 samples for ROC analysis. "));
    while (window.categories().size() > 1)
        window.onDeleteCategoryPanel(panel(1));
    refused(QStringLiteral("Need at least 2 categories."));
}

TEST_F(StatisticalRocTest, ReplicatesMergePerId)
{
    fill(0, {1, 3, 5, 7});
    fill(1, {10, 20, 30});
    const std::vector<int> baselineIds = {1, 1, 2, 3};
    for (size_t i = 0; i < 4; ++i)
        panel(0)->setNumberId(panel(0)->entries()[i].datasetId, baselineIds[i]);
    for (size_t i = 0; i < 3; ++i)
        panel(1)->setNumberId(panel(1)->entries()[i].datasetId, static_cast<int>(i) + 1);
    check("replicatesCheck")->setChecked(true);
    select({"area_um"});
    run();
    // Baseline IDs: 2 (mean of 1 and 3), 5, 7.
    EXPECT_EQ(cell(0, 6, "rocTable"), QStringLiteral("3"));
    EXPECT_EQ(cell(0, 3, "rocTable"), QStringLiteral("10"));
}

TEST_F(StatisticalRocTest, MissingValuesAreLeftOutAndNamed)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    fill(0, {1, 2, 3, 4});
    fill(1, {5, 6, 7});
    // One dataset without an area value: area keeps 3 negatives, the combination too.
    const int partial = data.add(QStringLiteral("no area"), {{"area_um", {nan}}, {"deform", {0.5}}});
    panel(1)->addDataset(partial);
    const int empty = data.add(QStringLiteral("no deform"), {{"area_um", {9}}, {"deform", {nan}}});
    panel(1)->addDataset(empty);
    // Two more negatives without deformation leave it 2 usable values: "n/a", no plot.
    for (int i = 0; i < 2; ++i)
        panel(0)->addDataset(data.add(QStringLiteral("neg %1").arg(i), {{"area_um", {0.5}}, {"deform", {nan}}}));
    for (const CategoryEntry& e : std::vector<CategoryEntry>(panel(0)->entries()))
        if (e.name.startsWith(QStringLiteral("c0")) && e.name != QStringLiteral("c0 0") && e.name != QStringLiteral("c0 1"))
            data.host.findDatasetById(e.datasetId)->filter.addRule(Tervane3::Test::rangeRule("area_um", 100, 200));
    select({"area_um", "deform"});
    run();
    ASSERT_EQ(table("rocTable")->rowCount(), 3);
    // area: negatives 1, 2, 0.5, 0.5 (two filtered away); positives 5, 6, 7, 9.
    EXPECT_EQ(cell(0, 6, "rocTable"), QStringLiteral("4"));
    EXPECT_EQ(cell(0, 7, "rocTable"), QStringLiteral("4"));
    // deform: negatives 1, 2 only.
    EXPECT_EQ(cell(1, 1, "rocTable"), QStringLiteral("n/a"));
    EXPECT_EQ(cell(1, 7, "rocTable"), QStringLiteral("n/a"));
    EXPECT_EQ(cell(2, 1, "rocTable"), QStringLiteral("n/a")) << "two complete negatives are too few";
    EXPECT_EQ(window.rocPlotList().size(), 1u);
    const QStringList shown = boxes(QStringLiteral("ROC Analysis"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("Left out (no event passes the filter, or no finite value):\n")));
    EXPECT_TRUE(shown[0].contains(label("area_um") + QStringLiteral(": c0 2, c0 3, no area")));
    EXPECT_TRUE(shown[0].contains(label("deform") + QStringLiteral(": c0 2, c0 3, neg 0, neg 1, no deform")));
}

} // namespace
