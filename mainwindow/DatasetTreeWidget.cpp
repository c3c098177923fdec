// The dataset folder tree: item lookup, drag payload and the reorder rules.
#include "mainwindow/DatasetTreeWidget.h"

#include "app/DatasetDragPayload.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
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

QObject* DatasetTreeWidget::dragSourceOf(const QDropEvent* event) const
{
    return event->source();
}

bool DatasetTreeWidget::isInternalDatasetDrag(const QDropEvent* event) const
{
    return dragSourceOf(event) == this && DatasetDragPayload::hasDataset(event->mimeData());
}

QTreeWidgetItem* DatasetTreeWidget::reorderTarget(const QDropEvent* event) const
{
    QTreeWidgetItem* target = itemAt(event->pos());
    if (!target || !target->data(0, Qt::UserRole).isValid())
        return nullptr;
    const int draggedId = DatasetDragPayload::datasetId(event->mimeData());
    QTreeWidgetItem* dragged = draggedId >= 0 ? itemForDatasetId(draggedId) : nullptr;
    if (!dragged || dragged == target || dragged->parent() != target->parent())
        return nullptr;
    return target;
}

void DatasetTreeWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (isInternalDatasetDrag(event))
        event->acceptProposedAction();
    else
        QTreeWidget::dragEnterEvent(event);
}

void DatasetTreeWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (!isInternalDatasetDrag(event)) {
        QTreeWidget::dragMoveEvent(event);
        return;
    }
    if (reorderTarget(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DatasetTreeWidget::dropEvent(QDropEvent* event)
{
    if (!isInternalDatasetDrag(event)) {
        QTreeWidget::dropEvent(event);
        return;
    }
    QTreeWidgetItem* target = reorderTarget(event);
    if (!target) {
        event->ignore();
        return;
    }
    const int draggedId = DatasetDragPayload::datasetId(event->mimeData());
    const int targetId = target->data(0, Qt::UserRole).toInt();
    const bool after = visualItemRect(target).center().y() < event->pos().y();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The main window rebuilds this tree in reaction; that must not happen inside the drop.
    QTimer::singleShot(0, this, [this, draggedId, targetId, after] {
        emit internalReorderRequested(draggedId, targetId, after);
    });
}

void DatasetTreeWidget::startDrag(Qt::DropActions)
{
    QTreeWidget::startDrag(Qt::CopyAction);
}

QMimeData* DatasetTreeWidget::mimeData(const QList<QTreeWidgetItem*> items) const
{
    if (items.isEmpty())
        return new QMimeData;
    const QVariant value = items.first()->data(0, Qt::UserRole);
    if (!value.isValid())
        return new QMimeData;
    return DatasetDragPayload::create(value.toInt());
}

} // namespace Tervane3
