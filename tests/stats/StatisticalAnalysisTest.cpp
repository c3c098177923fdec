// The comparison run of the statistical evaluation window on one-value datasets: the
// result table, the corrections, the checks that refuse a run, the minimum-p question,
// replicate merging, missing values and the comparison plots.
#include "StatEvalWindowFixture.h"

#include "app/DatasetEntry.h"
#include "stats/PlotPointTooltip.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>

#include <QLineEdit>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Tervane3;
using Tervane3::Test::StatEvalWindowTest;

namespace {

class StatisticalAnalysisTest : public StatEvalWindowTest
{
protected:
    void run() { widget<QPushButton>("runAnalysisButton")->click(); }
    QString row(int r) const
    {
        QStringList cells;
        for (int c = 0; c < table()->columnCount(); ++c)
            cells << cell(r, c);
        return cells.join(QLatin1Char('|'));
    }
    int markers(QwtPlot* plot) const { return plot->itemList(QwtPlotItem::Rtti_PlotMarker).size(); }
    // Gives the entries of every category the IDs 1, 2, ... in entry order.
    void numberEntries()
    {
        for (CategoryPanel* p : window.categories()) {
            int id = 0;
            for (const CategoryEntry& e : std::vector<CategoryEntry>(p->entries()))
                p->setNumberId(e.datasetId, ++id);
        }
        window.refresh();
    }
};

TEST_F(StatisticalAnalysisTest, TwoIndependentCategories)
{
    fill(0, {1, 2, 3, 4});
    fill(1, {5, 6, 7, 8});
    select({"area_um"});
    run();
    EXPECT_TRUE(prompts->calls().empty());
    ASSERT_EQ(table()->rowCount(), 1);
    ASSERT_EQ(table()->columnCount(), 6);
    EXPECT_EQ(header(0), QStringLiteral("Feature"));
    EXPECT_EQ(header(1), QStringLiteral("Baseline"));
    EXPECT_EQ(header(2), QStringLiteral("Condition 1"));
    EXPECT_EQ(header(5), QStringLiteral("Sig. (α=0.05)"));
    // 2 of the C(8, 4) = 70 orderings are this extreme.
    EXPECT_EQ(row(0), label("area_um") + QStringLiteral("|2.5 ± 1.29|6.5 ± 1.29|Mann-Whitney U (exact)|0.02857|*"));
    EXPECT_EQ(table()->item(0, 3 - 2)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));

    ASSERT_EQ(window.comparisonPlots().size(), 1u);
    QwtPlot* plot = window.comparisonPlots()[0];
    EXPECT_EQ(plot->axisTitle(QwtPlot::yLeft).text(), label("area_um"));
    EXPECT_EQ(markers(plot), 1) << "one bracket";
    EXPECT_EQ(widget<QTabWidget>("tabs")->currentIndex(), 0);
}

TEST_F(StatisticalAnalysisTest, SmallCategoriesGetExactPValues)
{
    struct Case
    {
        std::string name;
        std::vector<double> first;
        std::vector<double> second;
        QString cells; // test, p, stars
    };
    // 9 against 9 apart: U = 0, z = -40.5 / sqrt(81 * 19 / 12).
    const QString nineApart = QString::number(std::erfc(40.5 / std::sqrt(81.0 * 19.0 / 12.0) / std::sqrt(2.0)), 'g', 4);
    const std::vector<Case> cases = {
        // Regression: three datasets against three, fully apart, were "*" with the normal
        // approximation's 0.0495; exactly p = 2/20 = 0.1, never below it.
        {"3 v 3 apart", {1, 2, 3}, {4, 5, 6}, QStringLiteral("Mann-Whitney U (exact)|0.1|ns")},
        // A tie keeps the exact distribution: 4 of the 20 splits are this extreme.
        {"3 v 3 with a tie", {1, 2, 3}, {3, 5, 6}, QStringLiteral("Mann-Whitney U (exact)|0.2|ns")},
        // Regression: a tie sent a fully separated comparison to the approximation's 0.0495 "*".
        {"3 v 3 apart with a tie", {1, 1, 2}, {5, 6, 7}, QStringLiteral("Mann-Whitney U (exact)|0.1|ns")},
        {"9 v 9 apart", {1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19},
         QStringLiteral("Mann-Whitney U|") + nineApart + QStringLiteral("|***")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        panel(0)->onClearAll();
        panel(1)->onClearAll();
        fill(0, c.first);
        fill(1, c.second);
        select({"area_um"});
        run();
        ASSERT_EQ(table()->rowCount(), 1);
        EXPECT_EQ(QStringList({cell(0, 3), cell(0, 4), cell(0, 5)}).join(QLatin1Char('|')), c.cells);
        EXPECT_EQ(markers(window.comparisonPlots().at(0)), c.cells.endsWith(QLatin1String("ns")) ? 0 : 1);
    }
}

TEST_F(StatisticalAnalysisTest, ThreeCategoriesWithCorrections)
{
    fill(0, {1, 2, 3, 4});
    fill(1, {5, 6, 7, 8});
    fill(2, {9, 10, 11, 12});
    rename(0, QStringLiteral("P"));
    rename(1, QStringLiteral("Q"));
    rename(2, QStringLiteral("R"));
    widget<QDoubleSpinBox>("alphaSpin")->setValue(0.06);
    select({"deform"});
    run();
    ASSERT_EQ(table()->rowCount(), 4);
    EXPECT_EQ(header(6), QStringLiteral("Sig. (α*=0.02)"));
    // R = 10, 26, 42: H = 12 / 156 * (100 + 676 + 1764) / 4 - 39, from the chi-square tail.
    const double h = 12.0 / 156.0 * 2540.0 / 4.0 - 39.0;
    EXPECT_EQ(row(0), label("deform") + QStringLiteral("|2.5 ± 1.29|6.5 ± 1.29|10.5 ± 1.29|Kruskal-Wallis|")
                          + QString::number(std::exp(-h / 2.0), 'g', 4) + QStringLiteral("|(omnibus)"));
    EXPECT_EQ(row(1), QStringLiteral("  P vs Q||||Mann-Whitney U (exact)|0.02857|ns"));
    EXPECT_EQ(row(2), QStringLiteral("  P vs R||||Mann-Whitney U (exact)|0.02857|ns"));
    EXPECT_EQ(row(3), QStringLiteral("  Q vs R||||Mann-Whitney U (exact)|0.02857|ns"));
    EXPECT_EQ(markers(window.comparisonPlots()[0]), 0);

    // Holm: the smallest p (0.0286, three times) is not below 0.06 / 3, so every pair is "ns".
    combo("correctionCombo")->setCurrentIndex(1);
    run();
    EXPECT_EQ(header(6), QStringLiteral("Sig. (Holm)"));
    for (int r = 1; r < 4; ++r)
        EXPECT_EQ(cell(r, 6), QStringLiteral("ns")) << r;

    combo("correctionCombo")->setCurrentIndex(2);
    run();
    EXPECT_EQ(header(6), QStringLiteral("Sig. (α=0.06)"));
    for (int r = 1; r < 4; ++r)
        EXPECT_EQ(cell(r, 6), QStringLiteral("*")) << r;
    EXPECT_EQ(markers(window.comparisonPlots()[0]), 3);
}

TEST_F(StatisticalAnalysisTest, PairwiseRowsOfALaterRunHaveEmptyCategoryCells)
{
    fill(0, {1, 2, 3});
    fill(1, {4, 5, 6});
    select({"area_um", "deform"});
    run();
    ASSERT_EQ(table()->rowCount(), 2);
    EXPECT_EQ(header(5), QStringLiteral("Sig. (α*=0.025)"));
    fill(2, {7, 8, 9});
    run();
    ASSERT_EQ(table()->rowCount(), 8);
    for (int r : {1, 2, 3, 5, 6, 7})
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(cell(r, c), QString()) << r << " " << c;
    EXPECT_EQ(window.comparisonPlots().size(), 2u);
}

TEST_F(StatisticalAnalysisTest, RefusedRunsKeepTheOldResults)
{
    fill(0, {1, 2, 3});
    fill(1, {4, 5, 6});
    select({"area_um"});
    run();
    const QString before = row(0);
    QwtPlot* plot = window.comparisonPlots().at(0);
    const auto expectRefused = [&](const QString& text) {
        prompts->clear();
        run();
        ASSERT_EQ(boxes(QStringLiteral("Analysis")), QStringList{text});
        EXPECT_EQ(table()->rowCount(), 1);
        EXPECT_EQ(row(0), before);
        ASSERT_EQ(window.comparisonPlots().size(), 1u);
        EXPECT_EQ(window.comparisonPlots()[0], plot);
    };

    features()->clearSelection();
    expectRefused(QStringLiteral("Select at least one feature."));
    select({"area_um"});

    check("replicatesCheck")->setChecked(true);
    expectRefused(QStringLiteral("Replicates are enabled but not all datasets have IDs assigned.\nUse \"Auto-detect "
                                 "IDs\" or assign IDs manually."));
    check("replicatesCheck")->setChecked(false);

    combo("designCombo")->setCurrentIndex(1);
    expectRefused(QStringLiteral("Pairing is enabled but IDs are not valid.\nEnsure all categories have matching "
                                 "IDs.\nUse \"Auto-detect IDs\" or assign IDs manually."));
    numberEntries();
    prompts->answerMessage(QStringLiteral("&No"));
    expectRefused(QStringLiteral("With 3 matched observations, the minimum achievable p-value (exact Wilcoxon) is 0.25.\n\n"
                                 "This exceeds the effective significance level α=0.05.\n\nSignificance cannot be "
                                 "reached regardless of effect size. More matched observations are needed.\n\nRun "
                                 "anyway?"));
    EXPECT_EQ(prompts->last()->buttons, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    combo("designCombo")->setCurrentIndex(0);

    fill(2, {7, 8});
    expectRefused(QStringLiteral("Category \"Condition 2\" has fewer than 3 datasets. Minimum is 3."));
    while (window.categories().size() > 1)
        window.onDeleteCategoryPanel(panel(window.categories().size() - 1));
    expectRefused(QStringLiteral("Need at least 2 categories."));
}

TEST_F(StatisticalAnalysisTest, MatchedDesignAsksWhenSignificanceIsOutOfReach)
{
    combo("designCombo")->setCurrentIndex(1);
    fill(0, {1, 2, 3, 4});
    fill(1, {2, 4, 6, 8});
    numberEntries();
    select({"area_um"});
    prompts->answerMessage(QStringLiteral("&Yes"));
    run();
    ASSERT_EQ(boxes(QStringLiteral("Analysis")).size(), 1);
    EXPECT_TRUE(boxes(QStringLiteral("Analysis"))[0].contains(QStringLiteral("(exact Wilcoxon) is 0.125.")));
    EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Warning);
    ASSERT_EQ(table()->rowCount(), 1) << "run anyway";
    EXPECT_EQ(cell(0, 3), QStringLiteral("Wilcoxon (exact)"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("0.125"));

    // Regression: five subjects were let through as reaching 0.0431 < 0.05; exactly the
    // minimum is 2/32 = 0.0625, so the question comes.
    fill(0, {5});
    fill(1, {10});
    numberEntries();
    prompts->clear();
    run();
    ASSERT_EQ(boxes(QStringLiteral("Analysis")).size(), 1);
    EXPECT_TRUE(boxes(QStringLiteral("Analysis"))[0].contains(QStringLiteral("(exact Wilcoxon) is 0.0625.")));

    // Six subjects reach 2/64 < 0.05 for one feature, not for two under Bonferroni.
    fill(0, {6});
    fill(1, {12});
    numberEntries();
    prompts->clear();
    run();
    EXPECT_TRUE(prompts->calls().empty());
    EXPECT_EQ(cell(0, 4), QStringLiteral("0.03125"));
    EXPECT_EQ(cell(0, 5), QStringLiteral("*"));
    select({"area_um", "deform"});
    run();
    ASSERT_EQ(boxes(QStringLiteral("Analysis")).size(), 1);
    EXPECT_TRUE(boxes(QStringLiteral("Analysis"))[0].contains(
        QStringLiteral("exceeds the effective significance level α=0.025 (after Bonferroni correction).")));
}

TEST_F(StatisticalAnalysisTest, MatchedDesignTestsPerIdAndDrawsConnectionLines)
{
    combo("designCombo")->setCurrentIndex(1);
    fill(0, {1, 2, 3, 4, 5, 6});
    fill(1, {3, 4, 5, 6, 7, 8});
    fill(2, {2, 3, 4, 5, 6, 7});
    numberEntries();
    combo("correctionCombo")->setCurrentIndex(2); // no minimum-p question for three pairs
    select({"area_um"});
    run();
    ASSERT_EQ(table()->rowCount(), 4);
    // Every subject ranks the categories 1, 3, 2: Q = 12, p = exp(-6).
    EXPECT_EQ(cell(0, 4), QStringLiteral("Friedman"));
    EXPECT_EQ(cell(0, 5), QString::number(std::exp(-6.0), 'g', 4));
    // The differences of each pair are all of one size and one sign: exact with these ties,
    // 2 of 2^6 sign patterns.
    EXPECT_EQ(cell(1, 4), QStringLiteral("Wilcoxon (exact)"));
    EXPECT_EQ(cell(1, 5), QStringLiteral("0.03125"));
    QwtPlot* plot = window.comparisonPlots().at(0);
    const auto lines = [](QwtPlot* p) {
        int n = 0;
        for (QwtPlotItem* item : p->itemList(QwtPlotItem::Rtti_PlotCurve))
            n += item->z() == 5 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(lines(plot), 0);
    check("connectionLinesCheck")->setChecked(true); // runs again
    ASSERT_EQ(window.comparisonPlots().size(), 1u);
    EXPECT_EQ(lines(window.comparisonPlots()[0]), 6);
}

TEST_F(StatisticalAnalysisTest, IndependentReplicatesMergePerId)
{
    fill(0, {1, 3, 5});
    fill(1, {4, 5, 6});
    const auto& a = panel(0)->entries();
    panel(0)->setNumberId(a[0].datasetId, 1);
    panel(0)->setBioRepId(a[0].datasetId, 1);
    panel(0)->setNumberId(a[1].datasetId, 1);
    panel(0)->setBioRepId(a[1].datasetId, 2);
    panel(0)->setNumberId(a[2].datasetId, 2);
    panel(0)->setBioRepId(a[2].datasetId, 1);
    const auto& b = panel(1)->entries();
    for (int i = 0; i < 3; ++i)
        panel(1)->setNumberId(b[static_cast<size_t>(i)].datasetId, i + 1);
    check("replicatesCheck")->setChecked(true);
    select({"area_um"});
    run();
    // Category 0: ID 1 = mean(1, 3) = 2, ID 2 = 5; two values are too few for the test.
    EXPECT_EQ(cell(0, 1), QStringLiteral("3.5 ± 2.12"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("n/a"));
    EXPECT_EQ(cell(0, 5), QStringLiteral("n/a"));
    QwtPlot* plot = window.comparisonPlots().at(0);
    const PlotPointTooltip* tooltip = Tervane3::Test::tooltipOf(plot);
    ASSERT_NE(tooltip, nullptr);
    ASSERT_EQ(tooltip->points().size(), 5u);
    EXPECT_EQ(tooltip->points()[0].label, QStringLiteral("ID 1"));
    EXPECT_EQ(tooltip->points()[1].label, QStringLiteral("ID 2"));
    EXPECT_EQ(tooltip->points()[1].y, 5.0);
}

TEST_F(StatisticalAnalysisTest, DatasetsWithoutValuesAreLeftOutAndNamed)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    fill(0, {1, 2, 3});
    fill(1, {4, 5, 6});
    // No finite value; and a filter that passes no event. Neither may count as 0.
    const int empty = data.add(QStringLiteral("only NaN"), {{"area_um", {nan, nan}}, {"deform", {1, 2}}});
    const int filtered = data.add(QStringLiteral("filtered"), {{"area_um", {100}}, {"deform", {100}}});
    data.host.findDatasetById(filtered)->filter.addRule(Tervane3::Test::rangeRule("area_um", 0, 1));
    panel(0)->addDataset(empty);
    panel(1)->addDataset(filtered);
    fill(2, {nan, nan, nan}, QStringLiteral("gone "));
    select({"area_um"});
    run();
    EXPECT_EQ(row(0), label("area_um") + QStringLiteral("|2 ± 1|5 ± 1|n/a|Kruskal-Wallis|n/a|n/a"));
    EXPECT_EQ(row(1), QStringLiteral("  Baseline vs Condition 1||||Mann-Whitney U (exact)|0.1|ns"));
    EXPECT_EQ(row(2), QStringLiteral("  Baseline vs Condition 2||||Mann-Whitney U|n/a|n/a"));
    EXPECT_EQ(boxes(QStringLiteral("Analysis")),
              QStringList{QStringLiteral("Left out (no event passes the filter, or no finite value):\n") + label("area_um")
                          + QStringLiteral(": only NaN, filtered, gone 6, gone 7, gone 8")});
    EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Information);
    EXPECT_EQ(Tervane3::Test::tooltipOf(window.comparisonPlots().at(0))->points().size(), 6u);
}

TEST_F(StatisticalAnalysisTest, ExplanationQuestionAndTableNameTheSameNumberOfTests)
{
    // Six subjects in two matched categories: area_um rises by the subject's ID in
    // Condition 1 (exact p = 2/64), deform is the same everywhere (no non-zero difference,
    // so its test cannot be computed).
    for (size_t cat = 0; cat < 2; ++cat)
        for (int id = 1; id <= 6; ++id) {
            const int dataset = data.add(QStringLiteral("c%1 ID%2").arg(cat).arg(id),
                                         {{"area_um", {static_cast<double>(id * static_cast<int>(cat + 1))}},
                                          {"deform", {1.0}}});
            ASSERT_TRUE(panel(cat)->addDataset(dataset));
            panel(cat)->setNumberId(dataset, id);
        }
    combo("designCombo")->setCurrentIndex(1);
    const auto bonferroniLine = [&] {
        for (const QString& paragraph : explanation().split(QStringLiteral("\n\n")))
            if (paragraph.startsWith(QLatin1String("Bonferroni correction")))
                return paragraph;
        return QString();
    };
    const auto rowOf = [&](const char* key) {
        for (int r = 0; r < table()->rowCount(); ++r)
            if (cell(r, 0) == label(key))
                return r;
        return -1;
    };

    select({"area_um"});
    EXPECT_EQ(bonferroniLine(), QString());
    run();
    EXPECT_TRUE(prompts->calls().empty());
    EXPECT_EQ(header(5), QStringLiteral("Sig. (α=0.05)"));
    EXPECT_EQ(cell(rowOf("area_um"), 5), QStringLiteral("*"));

    // Regression: the explanation kept its number of tests when only the selection changed.
    select({"area_um", "deform"});
    EXPECT_EQ(bonferroniLine(),
              QStringLiteral("Bonferroni correction: α is divided by 2 tests (α*=0.025). Simple and conservative."));
    prompts->answerMessage(QStringLiteral("&Yes"));
    run();
    ASSERT_EQ(boxes(QStringLiteral("Analysis")).size(), 1);
    EXPECT_TRUE(boxes(QStringLiteral("Analysis"))[0].contains(
        QStringLiteral("the effective significance level α=0.025 (after Bonferroni correction)")));
    // Regression: the table counted only the tests it could compute (1: α=0.05, "*").
    EXPECT_EQ(header(5), QStringLiteral("Sig. (α*=0.025)"));
    EXPECT_EQ(cell(rowOf("deform"), 4), QStringLiteral("n/a"));
    EXPECT_EQ(cell(rowOf("area_um"), 4), QStringLiteral("0.03125"));
    EXPECT_EQ(cell(rowOf("area_um"), 5), QStringLiteral("ns"));
    EXPECT_EQ(markers(window.comparisonPlots().at(0)) + markers(window.comparisonPlots().at(1)), 0);

    features()->clearSelection();
    features()->item(0)->setSelected(true);
    EXPECT_EQ(bonferroniLine(), QString());
}

} // namespace
