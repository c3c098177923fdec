// The statistical evaluation window opened from the real main window: datasets opened and
// cached there, their filters (with the "Filtering Enabled" switch) and names reach the
// comparison, and the window follows renames and removals.
#include "mainwindow/MainWindowTestAccess.h"

#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

FilterRule keepBelow(double limit)
{
    FilterRule rule;
    rule.type = RangeRule;
    rule.featureName = "area_um";
    rule.minValue = -1e9;
    rule.maxValue = limit;
    return rule;
}

TEST(StatisticalEvalMainWindowTest, ComparesTheMainWindowsFilteredDatasets)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    QTemporaryDir dir;
    // Six measurements; each has area 1..6 offset by its number, so its median is n + 3.5
    // over all events and n + 2 below the rule's limit.
    for (int n = 0; n < 6; ++n) {
        Tervane3::Test::Measurement m;
        for (int i = 1; i <= 6; ++i) {
            m.columns["area_um"].push_back(10.0 * n + i);
            m.columns["deform"].push_back(0.01 * i);
        }
        Tervane3::Test::writeMeasurement(dir.filePath(QStringLiteral("m%1.rtdc").arg(n)).toStdString(), m);
        Access::addDataset(w, dir.filePath(QStringLiteral("m%1.rtdc").arg(n)));
    }
    ASSERT_TRUE(Tervane3::Test::waitForCaching(w));
    ASSERT_EQ(Access::entries(w).size(), 6u);

    w.openStatisticalEvalWindow();
    ASSERT_EQ(Access::statEvalWindows(w).size(), 1u);
    StatisticalEvalWindow* window = Access::statEvalWindows(w).back();
    for (int n = 0; n < 6; ++n) {
        DatasetEntry& entry = Access::entry(w, static_cast<size_t>(n));
        entry.filter.addRule(keepBelow(10.0 * n + 3));
        ASSERT_TRUE(window->categories()[n < 3 ? 0 : 1]->addDataset(entry.id));
    }
    // The first dataset's filter is switched off: all its events count.
    Access::entry(w, 0).filter.setEnabled(false);
    auto* features = window->findChild<QListWidget*>(QStringLiteral("featureList"));
    ASSERT_EQ(features->count(), 2);
    features->item(0)->setSelected(true);
    window->findChild<QPushButton*>(QStringLiteral("runAnalysisButton"))->click();

    auto* table = window->findChild<QTableWidget*>(QStringLiteral("resultTable"));
    ASSERT_EQ(table->rowCount(), 1);
    // Medians: 3.5 (switched off), 12, 22 | 32, 42, 52.
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("12.5 ± 9.26"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("42 ± 10"));
    // Three datasets apart from three: exactly 2/20.
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("Mann-Whitney U (exact)"));
    EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("0.1"));
    EXPECT_TRUE(env.prompts->calls().empty());

    // The main window's plot update refreshes the window; the selection stays.
    Access::updatePlot(w);
    EXPECT_TRUE(features->item(0)->isSelected());

    const int removed = Access::entry(w, 5).id;
    window->removeDataset(removed);
    EXPECT_EQ(window->categories()[1]->entryCount(), 2);
    window->renameDataset(Access::entry(w, 0).id, QStringLiteral("renamed"));
    EXPECT_EQ(window->categories()[0]->entries()[0].name, QStringLiteral("renamed"));

    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Access::statEvalWindows(w).empty());
}

} // namespace
