// The open datasets grouped by the folders that hold their files ("Datasets" dock, folder
// mode). Dataset items are dragged to the tool windows as a dataset payload and reordered
// among the datasets of the same folder; folder items are neither selected nor dragged.
#pragma once

#include <QTreeWidget>

class QDropEvent;

namespace Tervane3 {

class DatasetTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DatasetTreeWidget(QWidget* parent = nullptr);

    // The first item, in tree order, whose column-0 user data equals the dataset id.
    QTreeWidgetItem* itemForDatasetId(int id) const;

signals:
    // Move the dataset `fromId` before (or, with `after`, behind) the dataset `toId`.
    // Emitted from a zero-delay timer, after the drag has completely ended.
    void internalReorderRequested(int fromId, int toId, bool after);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drags offer the copy action only.
    void startDrag(Qt::DropActions supportedActions) override;
    // The payload of the first item; an empty QMimeData when it carries no dataset id.
    QMimeData* mimeData(const QList<QTreeWidgetItem*> items) const override;

    // The widget a drag started from (QDropEvent::source). Synthetic drops in tests have no
    // running drag; a test subclass names the source here.
    virtual QObject* dragSourceOf(const QDropEvent* event) const;

private:
    bool isInternalDatasetDrag(const QDropEvent* event) const;
    // The dataset item under the point when the dragged dataset may be dropped next to it:
    // another dataset of the same folder (or both at the top level). Null otherwise.
    QTreeWidgetItem* reorderTarget(const QDropEvent* event) const;
};

} // namespace Tervane3
