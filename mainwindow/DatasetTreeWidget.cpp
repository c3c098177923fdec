// The dataset folder tree.
#include "mainwindow/DatasetTreeWidget.h"

#include <QTreeWidgetItemIterator>

namespace Tervane3 {

DatasetTreeWidget::DatasetTreeWidget(QWidget* parent)
    : QTreeWidget(parent)
{
}

QTreeWidgetItem* DatasetTreeWidget::itemForDatasetId(int id) const
{
    for (QTreeWidgetItemIterator it(const_cast<DatasetTreeWidget*>(this)); *it; ++it) {
        const QVariant value = (*it)->data(0, Qt::UserRole);
        if (value.isValid() && value.toInt() == id)
            return *it;
    }
    return nullptr;
}

} // namespace Tervane3
