// The statistical evaluation window without the main window: categories and their
// colours, adding and deleting panels, the controls each tab and design shows, the
// feature list and test line, the ID detection, the pairing check and the explanation
// panel. Also run under AddressSanitizer: a panel is deleted from its own button.
#include "StatEvalWindowFixture.h"

#include "app/DatasetEntry.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Tervane3;
using Tervane3::Test::StatEvalWindowTest;

namespace {

TEST_F(StatEvalWindowTest, CategoriesTakeTheTableColoursInTurn)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Statistical Evaluation"));
    ASSERT_EQ(window.categories().size(), 2u);
    EXPECT_EQ(panel(0)->name(), QStringLiteral("Baseline"));
    EXPECT_EQ(panel(0)->color(), QColor(70, 130, 180));
    EXPECT_FALSE(panel(0)->removable());
    EXPECT_EQ(panel(1)->name(), QStringLiteral("Condition 1"));
    EXPECT_EQ(panel(1)->color(), QColor(220, 80, 60));

    QTest::mouseClick(widget<QPushButton>("addCategoryButton"), Qt::LeftButton);
    ASSERT_EQ(window.categories().size(), 3u);
    EXPECT_EQ(panel(2)->name(), QStringLiteral("Condition 2"));
    EXPECT_EQ(panel(2)->color(), QColor(60, 180, 75));
    EXPECT_TRUE(panel(2)->removable());

    window.onDeleteCategoryPanel(panel(2));
    window.onAddCategory();
    EXPECT_EQ(panel(2)->name(), QStringLiteral("Condition 3")) << "numbers are not reused";
    EXPECT_EQ(panel(2)->color(), QColor(60, 180, 75)) << "the colour of the panel count";
    for (int i = 0; i < 4; ++i)
        window.onAddCategory();
    EXPECT_EQ(panel(6)->color(), QColor(70, 130, 180)) << "the seventh colour is the first again";
}

TEST_F(StatEvalWindowTest, DeleteButtonRemovesExactlyItsPanelAndDeletesItLater)
{
    // Regression: the panel was destroyed inside its own button's click handler.
    window.onAddCategory();
    window.onAddCategory();
    panel(2)->findChild<QLineEdit*>(QStringLiteral("nameEdit"))->setText(QStringLiteral("Same"));
    panel(3)->findChild<QLineEdit*>(QStringLiteral("nameEdit"))->setText(QStringLiteral("Same"));
    QPointer<CategoryPanel> doomed = panel(3);
    CategoryPanel* kept = panel(2);
    QTest::mouseClick(doomed->findChild<QPushButton*>(QStringLiteral("deleteButton")), Qt::LeftButton);
    ASSERT_EQ(window.categories().size(), 3u);
    EXPECT_EQ(panel(2), kept);
    EXPECT_FALSE(doomed.isNull()) << "still alive until control is back in the event loop";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(doomed.isNull());
}

struct VisibilityCase
{
    int tab;
    int design;
    bool checked;
    bool autoDetect;
    QString checkText;
};

TEST_F(StatEvalWindowTest, EachTabShowsItsControls)
{
    const std::vector<VisibilityCase> cases = {
        {0, 0, false, false, "Replicates included"}, {0, 0, true, true, "Replicates included"},
        {0, 1, false, true, "Technical replicates"}, {0, 1, true, true, "Technical replicates"},
        {1, 0, false, false, "Replicates included"}, {1, 0, true, true, "Replicates included"},
        {1, 1, false, false, "Replicates included"}, {1, 1, true, true, "Replicates included"},
        {2, 0, true, false, ""},                     {2, 1, false, false, ""},
    };
    for (const VisibilityCase& c : cases) {
        SCOPED_TRACE(QStringLiteral("tab %1 design %2 checked %3").arg(c.tab).arg(c.design).arg(c.checked).toStdString());
        widget<QTabWidget>("tabs")->setCurrentIndex(0);
        combo("designCombo")->setCurrentIndex(c.design);
        check("replicatesCheck")->setChecked(c.checked);
        widget<QTabWidget>("tabs")->setCurrentIndex(c.tab);
        const auto shown = [&](const char* name) { return widget<QWidget>(name)->isVisibleTo(&window); };
        EXPECT_EQ(shown("summaryRow"), c.tab != 2);
        EXPECT_EQ(shown("designGroup"), c.tab == 0);
        EXPECT_EQ(shown("runAnalysisButton"), c.tab == 0);
        EXPECT_EQ(shown("runRocButton"), c.tab == 1);
        EXPECT_EQ(shown("distributionModeRow"), c.tab == 2);
        EXPECT_EQ(shown("updateDistributionsButton"), c.tab == 2);
        EXPECT_EQ(shown("replicatesCheck"), c.tab != 2);
        EXPECT_EQ(shown("autoDetectButton"), c.autoDetect);
        EXPECT_EQ(check("replicatesCheck")->isChecked(), c.checked) << "the box keeps its state on every tab";
        if (!c.checkText.isEmpty()) {
            EXPECT_EQ(check("replicatesCheck")->text(), c.checkText);
        }
    }
}

TEST_F(StatEvalWindowTest, DesignAndReplicatesSetTheIdDisplay)
{
    fill(0, {1});
    combo("designCombo")->setCurrentIndex(1);
    EXPECT_TRUE(panel(0)->showIds());
    EXPECT_FALSE(panel(0)->showReplicateIds());
    EXPECT_TRUE(check("connectionLinesCheck")->isVisibleTo(&window));
    check("replicatesCheck")->setChecked(true);
    EXPECT_TRUE(panel(1)->showReplicateIds());

    // Regression: toggling the box off on the ROC tab hid a matched design's IDs.
    widget<QTabWidget>("tabs")->setCurrentIndex(1);
    check("replicatesCheck")->setChecked(false);
    EXPECT_TRUE(panel(0)->showIds());
    EXPECT_FALSE(panel(0)->showReplicateIds());

    widget<QTabWidget>("tabs")->setCurrentIndex(0);
    check("connectionLinesCheck")->setChecked(true); // runs the comparison: refused, too few datasets
    combo("designCombo")->setCurrentIndex(0);
    EXPECT_FALSE(check("connectionLinesCheck")->isChecked());
    EXPECT_FALSE(check("connectionLinesCheck")->isVisibleTo(&window));
    EXPECT_FALSE(panel(0)->showIds());
    window.onAddCategory();
    EXPECT_FALSE(panel(2)->showIds());
    check("replicatesCheck")->setChecked(true);
    window.onAddCategory();
    EXPECT_TRUE(panel(3)->showIds());
    EXPECT_TRUE(panel(3)->showReplicateIds());
}

TEST_F(StatEvalWindowTest, FeatureListOffersTheCommonScalarFeatures)
{
    const int a = data.add("A", {{"area_um", {1}}, {"deform", {1}}, {"bright_avg", {1}}});
    const int b = data.add("B", {{"area_um", {1}}, {"deform", {1}}, {"zzz_custom", {1}}});
    panel(0)->addDataset(a);
    ASSERT_EQ(features()->count(), 3);
    EXPECT_EQ(features()->item(0)->data(Qt::UserRole).toString(), QStringLiteral("area_um"));
    EXPECT_EQ(features()->item(0)->text(), QString::fromStdString(data.host.findDatasetById(a)->reader->featureLabel("area_um")));
    select({"deform", "bright_avg"});
    panel(1)->addDataset(b);
    ASSERT_EQ(features()->count(), 2) << "only what every dataset has";
    EXPECT_EQ(features()->item(1)->data(Qt::UserRole).toString(), QStringLiteral("deform"));
    EXPECT_TRUE(features()->item(1)->isSelected()) << "the selection survives a rebuild";
    EXPECT_FALSE(features()->item(0)->isSelected());

    window.removeDataset(a);
    EXPECT_EQ(panel(0)->entryCount(), 0);
    EXPECT_EQ(features()->count(), 3);
    window.renameDataset(b, QStringLiteral("renamed"));
    EXPECT_EQ(panel(1)->entries()[0].name, QStringLiteral("renamed"));
    data.host.entries.clear();
    window.refresh();
    EXPECT_EQ(features()->count(), 0) << "datasets that are gone offer nothing";
}

TEST_F(StatEvalWindowTest, TestLineNamesTheTestAndWarns)
{
    EXPECT_EQ(testLine(), QString()) << "empty until the categories are first looked at";
    window.refresh();
    EXPECT_EQ(testLine(), QStringLiteral("Test: Mann-Whitney U (independent)\n"));
    fill(0, {1, 2});
    fill(1, {1, 2, 3});
    EXPECT_EQ(testLine(), QStringLiteral("Test: Mann-Whitney U (independent)\nBaseline: fewer than 3 datasets\n"));
    check("replicatesCheck")->setChecked(true);
    EXPECT_TRUE(testLine().endsWith(QStringLiteral("Replicates enabled: assign IDs to all datasets\n")));
    check("replicatesCheck")->setChecked(false);
    window.onAddCategory();
    combo("designCombo")->setCurrentIndex(1);
    EXPECT_EQ(testLine(), QStringLiteral("Test: Friedman (repeated measures)\nBaseline: fewer than 3 datasets\nPairing "
                                         "incomplete: ensure all categories have matching IDs\n"));
}

TEST_F(StatEvalWindowTest, PairingIdsConsistent)
{
    struct Case
    {
        std::vector<std::vector<int>> ids;
        bool consistent;
    };
    const std::vector<Case> cases = {
        {{{1, 2, 3}, {3, 2, 1, 1}}, true},
        {{{1, 2}, {1, 2, 3}}, false},
        {{{1, 2, 0}, {1, 2}}, false},
        {{{1, 2}, {}}, false},
        {{{4}}, false},
        {{{5, 6}, {6, 5}, {5, 6, 6}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.ids));
        while (!window.categories().empty())
            window.onDeleteCategoryPanel(panel(0));
        for (size_t cat = 0; cat < c.ids.size(); ++cat) {
            window.onAddCategory();
            for (int id : c.ids[cat]) {
                const int dataset = data.addValue(QStringLiteral("d"), 1);
                panel(cat)->addDataset(dataset);
                panel(cat)->setNumberId(dataset, id);
            }
        }
        EXPECT_EQ(window.pairingIdsConsistent(), c.consistent);
    }
}

TEST_F(StatEvalWindowTest, AutoDetectReadsNamesThenSamples)
{
    const auto add = [&](size_t category, const QString& name, const std::string& sample = std::string()) {
        const int id = data.addValue(name, 1);
        data.host.findDatasetById(id)->metadata.experiment["sample"] = sample;
        panel(category)->addDataset(id);
        return id;
    };
    add(0, QStringLiteral("Sample ID1 BR2 TR1"));
    add(0, QStringLiteral("ctrl id07"));
    add(1, QStringLiteral("no tag"), "donor ID3 br1");
    // Regression: a digit run beyond a 32-bit int ended the detection with an error.
    add(1, QStringLiteral("ID99999999999"));
    add(1, QStringLiteral("fluid12"));
    combo("designCombo")->setCurrentIndex(1);
    QTest::mouseClick(widget<QPushButton>("autoDetectButton"), Qt::LeftButton);

    const auto ids = [](const CategoryEntry& e) { return std::vector<int>{e.numberId, e.bioRepId, e.techRepId}; };
    EXPECT_EQ(ids(panel(0)->entries()[0]), (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(ids(panel(0)->entries()[1]), (std::vector<int>{7, 0, 0}));
    EXPECT_EQ(ids(panel(1)->entries()[0]), (std::vector<int>{3, 1, 0}));
    EXPECT_EQ(ids(panel(1)->entries()[1]), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(ids(panel(1)->entries()[2]), (std::vector<int>{12, 0, 0}));
    EXPECT_EQ(boxes(QStringLiteral("Auto-detect IDs")),
              QStringList{QStringLiteral("Detected IDs in 4 of 5 datasets. Remaining datasets need manual assignment or "
                                         "names containing ID#.")});
    EXPECT_TRUE(panel(1)->findChild<QListWidget*>()->item(2)->text().contains(QStringLiteral("[#12]")));
    EXPECT_TRUE(testLine().contains(QStringLiteral("Pairing incomplete"))) << "the test line follows";

    prompts->clear();
    window.autoDetectIds();
    EXPECT_EQ(boxes(QStringLiteral("Auto-detect IDs")).size(), 1);
    for (CategoryPanel* p : window.categories())
        p->onClearAll();
    add(0, QStringLiteral("plain"));
    prompts->clear();
    window.autoDetectIds();
    ASSERT_EQ(boxes(QStringLiteral("Auto-detect IDs")).size(), 1);
    EXPECT_TRUE(boxes(QStringLiteral("Auto-detect IDs"))[0].startsWith(QStringLiteral("No IDs detected.")));
    panel(0)->onClearAll();
    prompts->clear();
    window.autoDetectIds();
    EXPECT_TRUE(prompts->calls().empty()) << "nothing visited, nothing said";
}

TEST_F(StatEvalWindowTest, ExplanationFollowsTheSettings)
{
    // Tab 0, independent, two categories.
    EXPECT_EQ(explanation(), QStringLiteral("Each dataset is summarized by its median — robust against outliers.\n\n"
                                            "Mann-Whitney U test: tests whether values in one group tend to be larger "
                                            "than the other. Does not require equal group sizes.\n\nThe p value is "
                                            "exact (from the exact null distribution, given any tied values) when the "
                                            "smaller category has at most 8 values, and is then marked \"(exact)\" in "
                                            "the column Test; otherwise it comes from the normal approximation, "
                                            "without tie or continuity correction."));
    combo("summaryCombo")->setCurrentIndex(3);
    EXPECT_TRUE(explanation().startsWith(QStringLiteral("Each dataset is summarized by its coefficient of variation")));
    combo("summaryCombo")->setCurrentIndex(0);

    // Matched design, four IDs in each category: the minimum p exceeds alpha.
    for (size_t cat = 0; cat < 2; ++cat)
        for (int id = 1; id <= 4; ++id) {
            const int dataset = data.addValue(QStringLiteral("d"), id);
            panel(cat)->addDataset(dataset);
            panel(cat)->setNumberId(dataset, id);
        }
    combo("designCombo")->setCurrentIndex(1);
    EXPECT_TRUE(explanation().contains(QStringLiteral(
        "The p value is exact (from the exact null distribution, given any tied values) with at most 50 matched "
        "differences that are not zero (zero differences are left out), and is then marked")))
        << explanation().toStdString();
    EXPECT_TRUE(explanation().endsWith(
        QStringLiteral("With 4 matched observations, the minimum achievable p-value (exact Wilcoxon) is 0.125.\n\nThis "
                       "exceeds α=0.05 — significance cannot be reached regardless of effect size. More matched "
                       "observations are needed.")))
        << explanation().toStdString();
    // Regression: five subjects were said to reach 0.0431; exactly the minimum is 0.0625,
    // still above 0.05. Six reach 0.03125.
    const auto addSubject = [&](int id) {
        for (size_t cat = 0; cat < 2; ++cat) {
            const int dataset = data.addValue(QStringLiteral("d"), id);
            panel(cat)->addDataset(dataset);
            panel(cat)->setNumberId(dataset, id);
        }
        window.refresh();
    };
    addSubject(5);
    EXPECT_TRUE(explanation().contains(QStringLiteral("(exact Wilcoxon) is 0.0625.\n\nThis exceeds α=0.05")))
        << explanation().toStdString();
    addSubject(6);
    EXPECT_TRUE(explanation().endsWith(QStringLiteral("(exact Wilcoxon) is 0.0313."))) << explanation().toStdString();

    // Three categories, two features, Bonferroni at 0.06: 6 tests, named as soon as the
    // features are selected.
    combo("designCombo")->setCurrentIndex(0);
    window.onAddCategory();
    widget<QDoubleSpinBox>("alphaSpin")->setValue(0.06);
    select({"area_um", "deform"});
    EXPECT_TRUE(explanation().contains(QStringLiteral(
        "Bonferroni correction: α is divided by 6 tests (α*=0.01). Simple and conservative.")));
    EXPECT_TRUE(explanation().contains(QStringLiteral(
        "The Kruskal-Wallis p value comes from the chi-square approximation. Each pairwise Mann-Whitney U p value is "
        "exact (from the exact null distribution, given any tied values) when the smaller category has at most 8 "
        "values")));
    combo("designCombo")->setCurrentIndex(1);
    EXPECT_TRUE(explanation().contains(QStringLiteral(
        "The Friedman p value comes from the chi-square approximation. Each pairwise Wilcoxon p value is exact (from "
        "the exact null distribution, given any tied values) with at most 50 matched differences")));
    combo("designCombo")->setCurrentIndex(0);
    combo("correctionCombo")->setCurrentIndex(1);
    EXPECT_TRUE(explanation().contains(QStringLiteral("Holm-Bonferroni step-down correction across 6 tests.")));

    // ROC tab with three categories; distribution tab without selection and categories.
    widget<QTabWidget>("tabs")->setCurrentIndex(1);
    EXPECT_TRUE(explanation().endsWith(QStringLiteral("More than 2 categories present — you will be asked to select the "
                                                      "negative (reference) and positive (condition) classes.")));
    features()->clearSelection();
    widget<QTabWidget>("tabs")->setCurrentIndex(2);
    EXPECT_EQ(explanation(),
              QStringLiteral("Explore the full event-level distributions of selected features across categories. This "
                             "helps identify whether groups differ in location, spread, or shape.\n\nPer-dataset mode: "
                             "each dataset is shown as an individual density curve, colored by its category.\n\nSelect "
                             "one or more features to display."));
    while (!window.categories().empty())
        window.onDeleteCategoryPanel(panel(0));
    EXPECT_TRUE(explanation().endsWith(QStringLiteral("Add categories with datasets to explore distributions.")));
}

TEST_F(StatEvalWindowTest, MenusAndClosing)
{
    QStringList titles;
    for (QAction* action : window.menuBar()->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Export", "&View"}));
    QSignalSpy closed(&window, &StatisticalEvalWindow::windowClosed);
    window.close();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).value<StatisticalEvalWindow*>(), &window);
}

} // namespace
