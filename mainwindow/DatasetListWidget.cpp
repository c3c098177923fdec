// The flat dataset list: drag payload, reorder arithmetic, click handling, row tooltips.
#include "mainwindow/DatasetListWidget.h"

#include "app/DatasetDragPayload.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>

namespace Tervane3 {

DatasetListWidget::DatasetListWidget(QWidget* parent)
    : QListWidget(parent)
{
}

QString DatasetListWidget::rowToolTip(const QListWidgetItem* item)
{
    if (!item)
        return QString();
    // The label is already rich text with the name escaped; the path is text. No wrapping:
    // a name is read in one line.
    QString tip = QStringLiteral("<p style=\"white-space:pre\">") + item->text();
    const QString path = item->toolTip();
    if (!path.isEmpty())
        tip += QStringLiteral("<br>") + path.toHtmlEscaped();
    return tip + QStringLiteral("</p>");
}

bool DatasetListWidget::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const QListWidgetItem* under = itemAt(help->pos())) {
            QToolTip::showText(help->globalPos(), rowToolTip(under), viewport(), visualItemRect(under));
            return true;
        }
    }
    return QListWidget::viewportEvent(event);
}

QObject* DatasetListWidget::dragSourceOf(const QDropEvent* event) const
{
    return event->source();
}

bool DatasetListWidget::isInternalDatasetDrag(const QDropEvent* event) const
{
    return dragSourceOf(event) == this && DatasetDragPayload::hasDataset(event->mimeData());
}

void DatasetListWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !itemAt(event->pos())) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void DatasetListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (isInternalDatasetDrag(event))
        event->acceptProposedAction();
    else
        QListWidget::dragEnterEvent(event);
}

void DatasetListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (isInternalDatasetDrag(event))
        event->acceptProposedAction();
    else
        QListWidget::dragMoveEvent(event);
}

void DatasetListWidget::dropEvent(QDropEvent* event)
{
    if (!isInternalDatasetDrag(event)) {
        QListWidget::dropEvent(event);
        return;
    }
    const QPoint pos = event->pos();
    int target = count();
    if (QListWidgetItem* under = itemAt(pos)) {
        target = row(under);
        if (visualItemRect(under).center().y() < pos.y())
            ++target;
    }
    const int id = DatasetDragPayload::datasetId(event->mimeData());
    int source = -1;
    for (int r = 0; id >= 0 && r < count(); ++r) {
        const QVariant value = item(r)->data(Qt::UserRole);
        if (value.isValid() && value.toInt() == id) {
            source = r;
            break;
        }
    }
    // A payload naming no row, or a drop onto the dragged row's own place, changes nothing.
    if (source < 0 || target == source || target == source + 1) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The main window rebuilds this list in reaction; that must not happen inside the drop.
    QTimer::singleShot(0, this, [this, source, target] { emit internalReorderRequested(source, target); });
}

void DatasetListWidget::startDrag(Qt::DropActions)
{
    QListWidget::startDrag(Qt::CopyAction);
}

QMimeData* DatasetListWidget::mimeData(const QList<QListWidgetItem*> items) const
{
    if (items.isEmpty())
        return new QMimeData;
    const QVariant value = items.first()->data(Qt::UserRole);
    if (!value.isValid())
        return new QMimeData;
    return DatasetDragPayload::create(value.toInt());
}

} // namespace Tervane3
