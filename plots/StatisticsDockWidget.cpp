// Layout of the statistics dock.
#include "plots/StatisticsDockWidget.h"

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
    tree->setColumnCount(3);
    tree->setHeaderLabels({QStringLiteral("Statistic"), QStringLiteral("X"), QStringLiteral("Y")});
    tree->setRootIsDecorated(false);
    tree->setAlternatingRowColors(true);
    tree->header()->setStretchLastSection(true);
    layout->addWidget(tree);
}

void StatisticsDockWidget::clear()
{
    tree->clear();
}

} // namespace Tervane3
