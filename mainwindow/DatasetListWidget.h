// The flat list of open datasets in the "Datasets" dock, one row per dataset in list order.
// Rows are dragged to the tool windows as a dataset payload and reordered by dragging them
// inside the list; other drops (files, folders) are left to the main window. A row's
// tooltip shows its whole label, which the row shortens when the dock is narrow, and the
// file path that the item holds as its tooltip data.
#pragma once

#include <QListWidget>

class QDropEvent;

namespace Tervane3 {

class DatasetListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit DatasetListWidget(QWidget* parent = nullptr);

signals:
    // The dataset at row `from` is to be moved before row `to` (the row count for the end).
    // Emitted from a zero-delay timer, after the drag has completely ended.
    void internalReorderRequested(int from, int to);

protected:
    bool viewportEvent(QEvent* event) override;
    // A left click where no row lies is swallowed: the current row and the active dataset stay.
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drags offer the copy action only.
    void startDrag(Qt::DropActions supportedActions) override;
    // The payload of the first item (an empty QMimeData without a valid id).
    QMimeData* mimeData(const QList<QListWidgetItem*> items) const override;

    // The widget a drag started from (QDropEvent::source). Synthetic drops in tests have no
    // running drag; a test subclass names the source here.
    virtual QObject* dragSourceOf(const QDropEvent* event) const;

private:
    // A dataset drag that started in this list.
    bool isInternalDatasetDrag(const QDropEvent* event) const;
    // The tooltip of a row: its label (rich text, as the row draws it) over its file path.
    static QString rowToolTip(const QListWidgetItem* item);
};

} // namespace Tervane3
