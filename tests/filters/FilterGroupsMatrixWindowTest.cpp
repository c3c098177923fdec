// The filter-groups matrix window with a stand-in host: header and rows, cell, header and
// name clicks, the folder view, fitting the name column until the user resizes it, closing.
#include "filters/FilterGroupsMatrixWindow.h"

#include "app/DatasetEntry.h"
#include "filters/FilterGroupList.h"
#include "filters/FilterGroupsMatrixHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTreeWidget>

using namespace Tervane3;

namespace {

class MatrixHost : public FilterGroupsMatrixHost
{
public:
    DatasetList entries;
    FilterGroupList groups;
    bool folderView = false;
    int depth = 2;
    // (dataset id or -1 for all, group id, value) of every change asked for.
    std::vector<std::tuple<int, int, bool>> changes;

    DatasetEntry& addDataset(int id, const QString& name, const std::string& path = std::string())
    {
        entries.push_back(std::make_unique<DatasetEntry>());
        entries.back()->id = id;
        entries.back()->displayName = name;
        entries.back()->filePath = path;
        return *entries.back();
    }

    const DatasetList& datasets() const override { return entries; }
    const std::vector<std::unique_ptr<FilterGroup>>& filterGroups() const override { return groups.groups(); }
    bool isGroupEnabled(const DatasetEntry* dataset, int groupId) const override
    {
        return Tervane3::isGroupEnabled(dataset, groupId);
    }
    void setGroupEnabled(int datasetId, int groupId, bool enabled) override
    {
        changes.emplace_back(datasetId, groupId, enabled);
        for (auto& entry : entries)
            if (entry->id == datasetId)
                entry->groupEnabled[groupId] = enabled;
    }
    void setGroupEnabledInAll(int groupId, bool enabled) override
    {
        changes.emplace_back(-1, groupId, enabled);
        for (auto& entry : entries)
            entry->groupEnabled[groupId] = enabled;
    }
    bool datasetFolderViewActive() const override { return folderView; }
    int datasetFolderDepth() const override { return depth; }
};

QTreeWidget* treeOf(FilterGroupsMatrixWindow& window)
{
    return window.findChild<QTreeWidget*>(QStringLiteral("matrixTree"));
}

QCheckBox* cell(FilterGroupsMatrixWindow& window, QTreeWidgetItem* row, int column)
{
    QWidget* widget = treeOf(window)->itemWidget(row, column);
    return widget ? widget->findChild<QCheckBox*>() : nullptr;
}

QStringList headerLabels(QTreeWidget* tree)
{
    QStringList labels;
    for (int c = 0; c < tree->columnCount(); ++c)
        labels << tree->headerItem()->text(c);
    return labels;
}

} // namespace

TEST(FilterGroupsMatrixWindow, RowsAndColumnsFollowTheHostAndCellsSwitchOneGroup)
{
    MatrixHost host;
    host.addDataset(4, "Control");
    host.addDataset(9, "Treated");
    const int a = host.groups.add("Singlets", host.entries);
    const int b = host.groups.add("Large", host.entries);
    host.entries[1]->groupEnabled[b] = true;
    FilterGroupsMatrixWindow window(&host);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Filter Groups \u2013 Datasets Matrix"));
    EXPECT_EQ(window.size(), QSize(720, 480));
    EXPECT_NE(window.findChild<QAction*>(), nullptr);

    QTreeWidget* tree = treeOf(window);
    EXPECT_EQ(headerLabels(tree), (QStringList{"Dataset", "Singlets", "Large"}));
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* treated = tree->topLevelItem(1);
    EXPECT_EQ(treated->text(0), "Treated");
    EXPECT_EQ(treated->data(0, Qt::UserRole).toInt(), 9);
    EXPECT_FALSE(cell(window, treated, 1)->isChecked());
    EXPECT_TRUE(cell(window, treated, 2)->isChecked());
    EXPECT_TRUE(host.changes.empty()); // building the cells asks for nothing

    cell(window, tree->topLevelItem(0), 1)->setChecked(true);
    EXPECT_EQ(host.changes, (std::vector<std::tuple<int, int, bool>>{{4, a, true}}));
}

TEST(FilterGroupsMatrixWindow, HeaderAndNameClicksSwitchWholeColumnsAndRows)
{
    MatrixHost host;
    host.addDataset(0, "A");
    host.addDataset(1, "B");
    const int g0 = host.groups.add("G0", host.entries);
    const int g1 = host.groups.add("G1", host.entries);
    FilterGroupsMatrixWindow window(&host);
    QTreeWidget* tree = treeOf(window);

    const struct {
        const char* name;
        std::function<void()> before;
        std::function<void()> click;
        std::vector<std::tuple<int, int, bool>> changes;
    } cases[] = {
        {"header of a group that is off somewhere", [&] { host.entries[0]->groupEnabled[g0] = true; },
         [&] { window.onColumnHeaderClicked(1); }, {{-1, g0, true}}},
        {"header of a group on everywhere", [&] {
             host.entries[0]->groupEnabled[g1] = true;
             host.entries[1]->groupEnabled[g1] = true;
         }, [&] { window.onColumnHeaderClicked(2); }, {{-1, g1, false}}},
        {"the Dataset header", [] {}, [&] { window.onColumnHeaderClicked(0); }, {}},
        {"name of a dataset with a group off", [] {},
         [&] { window.onItemClicked(tree->topLevelItem(1), 0); }, {{1, g0, true}, {1, g1, true}}},
        {"name of a dataset with every group on", [&] {
             host.entries[0]->groupEnabled[g0] = true;
             host.entries[0]->groupEnabled[g1] = true;
         }, [&] { window.onItemClicked(tree->topLevelItem(0), 0); }, {{0, g0, false}, {0, g1, false}}},
        {"a cell column of the name", [] {}, [&] { window.onItemClicked(tree->topLevelItem(0), 1); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto& entry : host.entries)
            entry->groupEnabled.clear();
        c.before();
        window.refresh();
        host.changes.clear();
        c.click();
        EXPECT_EQ(host.changes, c.changes);
        // The window shows the new state at once.
        for (int row = 0; row < 2; ++row)
            for (int g = 0; g < 2; ++g)
                EXPECT_EQ(cell(window, tree->topLevelItem(row), g + 1)->isChecked(),
                          isGroupEnabled(host.entries[static_cast<size_t>(row)].get(), g == 0 ? g0 : g1));
    }
}

TEST(FilterGroupsMatrixWindow, EmptyListsGiveOnlyTheirHeaders)
{
    MatrixHost host;
    const int g = host.groups.add("G", host.entries);
    FilterGroupsMatrixWindow window(&host);
    EXPECT_EQ(headerLabels(treeOf(window)), (QStringList{"Dataset", "G"}));
    EXPECT_EQ(treeOf(window)->topLevelItemCount(), 0);
    window.onColumnHeaderClicked(1);
    EXPECT_EQ(host.changes, (std::vector<std::tuple<int, int, bool>>{{-1, g, false}}));

    MatrixHost noGroups;
    noGroups.addDataset(3, "A");
    FilterGroupsMatrixWindow other(&noGroups);
    EXPECT_EQ(headerLabels(treeOf(other)), QStringList{"Dataset"});
    other.onItemClicked(treeOf(other)->topLevelItem(0), 0);
    EXPECT_TRUE(noGroups.changes.empty());

    FilterGroupsMatrixWindow without(nullptr);
    EXPECT_EQ(treeOf(without)->topLevelItemCount(), 0);
}

TEST(FilterGroupsMatrixWindow, FolderViewShowsFoldersWithoutCells)
{
    MatrixHost host;
    host.addDataset(0, "a1", "/data/day1/a1.rtdc");
    host.addDataset(1, "b1", "/data/day2/b1.rtdc");
    host.addDataset(2, "a2", "/data/day1/a2.rtdc");
    host.groups.add("G", host.entries);
    host.folderView = true;
    host.depth = 1;
    FilterGroupsMatrixWindow window(&host);
    QTreeWidget* tree = treeOf(window);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* day1 = tree->topLevelItem(0);
    EXPECT_EQ(day1->text(0), "day1");
    EXPECT_FALSE(day1->data(0, Qt::UserRole).isValid());
    EXPECT_EQ(tree->itemWidget(day1, 1), nullptr);
    EXPECT_TRUE(day1->isExpanded());
    ASSERT_EQ(day1->childCount(), 2);
    EXPECT_EQ(day1->child(1)->text(0), "a2");
    EXPECT_NE(cell(window, day1->child(1), 1), nullptr);
    window.onItemClicked(day1, 0);
    EXPECT_TRUE(host.changes.empty());
}

TEST(FilterGroupsMatrixWindow, NameColumnFollowsTheNamesUntilTheUserResizesIt)
{
    MatrixHost host;
    host.addDataset(0, "A");
    FilterGroupsMatrixWindow window(&host);
    // The offscreen platform says it cannot pass size hints on when the window shows.
    Tervane3::Test::ExpectQtWarnings platform;
    window.show();
    QTreeWidget* tree = treeOf(window);
    const int narrow = tree->columnWidth(0);
    host.entries[0]->displayName = QStringLiteral("A much longer dataset name for the first column");
    window.refresh();
    const int wide = tree->columnWidth(0);
    EXPECT_GT(wide, narrow);

    tree->header()->resizeSection(0, wide + 40);
    host.entries[0]->displayName = QStringLiteral("B");
    window.refresh();
    EXPECT_EQ(tree->columnWidth(0), wide + 40);
}

TEST(FilterGroupsMatrixWindow, ClosingReportsTheWindowItself)
{
    MatrixHost host;
    FilterGroupsMatrixWindow window(&host);
    QSignalSpy closed(&window, &FilterGroupsMatrixWindow::windowClosed);
    window.close();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).value<FilterGroupsMatrixWindow*>(), &window);
}
