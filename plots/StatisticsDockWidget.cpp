// The statistics table: one row per figure, numbers in 'g' format with 6 significant digits.
#include "plots/StatisticsDockWidget.h"

#include "plots/SummaryStats.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Tervane3 {

StatisticsDockWidget::StatisticsDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("statisticsTree"));
    tree->setColumnCount(3);
    tree->setHeaderLabels({QStringLiteral("Statistic"), QStringLiteral("X"), QStringLiteral("Y")});
    tree->setRootIsDecorated(false);
    tree->setAlternatingRowColors(true);
    tree->header()->setStretchLastSection(true);
    layout->addWidget(tree);
}

void StatisticsDockWidget::updateStatistics(const std::vector<double>& x, const std::vector<double>& y,
                                            const QString& xLabel, const QString& yLabel)
{
    tree->clear();
    tree->setHeaderLabels({QStringLiteral("Statistic"), xLabel, yLabel});
    if (x.empty() || y.empty())
        return;
    const SummaryStats sx = computeSummaryStats(x);
    const SummaryStats sy = computeSummaryStats(y);
    const auto number = [](double v) { return QString::number(v, 'g', 6); };
    const auto addRow = [this](const QString& name, const QString& xText, const QString& yText) {
        auto* item = new QTreeWidgetItem(tree, {name, xText, yText});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    };
    addRow(QStringLiteral("N"), QString::number(x.size()), QString::number(y.size()));
    addRow(QStringLiteral("Mean"), number(sx.mean), number(sy.mean));
    addRow(QStringLiteral("SD"), number(sx.sd), number(sy.sd));
    addRow(QStringLiteral("Q1"), number(sx.q1), number(sy.q1));
    addRow(QStringLiteral("Median"), number(sx.median), number(sy.median));
    addRow(QStringLiteral("Q3"), number(sx.q3), number(sy.q3));
    addRow(QStringLiteral("IQR"), number(sx.iqr), number(sy.iqr));
    tree->resizeColumnToContents(0);
}

void StatisticsDockWidget::clear()
{
    tree->clear();
    tree->setHeaderLabels({QStringLiteral("Statistic"), QStringLiteral("X"), QStringLiteral("Y")});
}

} // namespace Tervane3
