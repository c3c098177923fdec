// The statistics dock: header labels from the axis titles, the seven rows with numbers in
// 'g' format with 6 significant digits, right-aligned values, and the empty states.
#include "plots/StatisticsDockWidget.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Tervane3;

namespace {

QStringList headerLabels(QTreeWidget* tree)
{
    QStringList labels;
    for (int c = 0; c < tree->columnCount(); ++c)
        labels << tree->headerItem()->text(c);
    return labels;
}

QStringList row(QTreeWidget* tree, int index)
{
    QTreeWidgetItem* item = tree->topLevelItem(index);
    return {item->text(0), item->text(1), item->text(2)};
}

TEST(StatisticsDockWidgetTest, RowsAndFormatting)
{
    StatisticsDockWidget dock;
    QTreeWidget* tree = dock.table();
    // Means of 123456.789 and 0.000012345678 (both columns have two values).
    dock.updateStatistics({123456.789, 123456.789}, {0.000012345678, 0.000012345678},
                          QStringLiteral("Area [µm²]"), QStringLiteral("Deformation"));
    EXPECT_EQ(headerLabels(tree), (QStringList{"Statistic", "Area [µm²]", "Deformation"}));
    ASSERT_EQ(tree->topLevelItemCount(), 7);
    const QStringList names = {"N", "Mean", "SD", "Q1", "Median", "Q3", "IQR"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(tree->topLevelItem(i)->text(0), names[i]);
    EXPECT_EQ(row(tree, 0), (QStringList{"N", "2", "2"}));
    EXPECT_EQ(row(tree, 1), (QStringList{"Mean", "123457", "1.23457e-05"}));
    EXPECT_EQ(row(tree, 2), (QStringList{"SD", "0", "0"}));
    EXPECT_EQ(row(tree, 6), (QStringList{"IQR", "0", "0"}));
    const int alignment = tree->topLevelItem(1)->textAlignment(1);
    EXPECT_EQ(alignment, int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(tree->topLevelItem(1)->textAlignment(2), int(Qt::AlignRight | Qt::AlignVCenter));

    dock.updateStatistics({1, 2, 3, 4}, {10, 0, 10, 0}, QStringLiteral("X1"), QStringLiteral("Y1"));
    EXPECT_EQ(row(tree, 0), (QStringList{"N", "4", "4"}));
    EXPECT_EQ(row(tree, 1), (QStringList{"Mean", "2.5", "5"}));
    EXPECT_EQ(row(tree, 2), (QStringList{"SD", "1.29099", "5.7735"}));
    EXPECT_EQ(row(tree, 3), (QStringList{"Q1", "1.75", "0"}));
    EXPECT_EQ(row(tree, 4), (QStringList{"Median", "2.5", "5"}));
    EXPECT_EQ(row(tree, 5), (QStringList{"Q3", "3.25", "10"}));
    EXPECT_EQ(row(tree, 6), (QStringList{"IQR", "1.5", "10"}));
}

TEST(StatisticsDockWidgetTest, EmptyPlotAndClear)
{
    StatisticsDockWidget dock;
    QTreeWidget* tree = dock.table();
    dock.updateStatistics({1, 2}, {3, 4}, QStringLiteral("A"), QStringLiteral("B"));
    ASSERT_EQ(tree->topLevelItemCount(), 7);

    // An empty plot: the header names the axes, no rows.
    dock.updateStatistics({}, {}, QStringLiteral("Area"), QStringLiteral("Deformation"));
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_EQ(headerLabels(tree), (QStringList{"Statistic", "Area", "Deformation"}));

    dock.updateStatistics({1, 2}, {3, 4}, QStringLiteral("A"), QStringLiteral("B"));
    dock.clear();
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_EQ(headerLabels(tree), (QStringList{"Statistic", "X", "Y"}));
}

} // namespace
