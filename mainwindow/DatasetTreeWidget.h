// The open datasets grouped by the folders that hold their files ("Datasets" dock, folder
// mode).
//
// First version: the tree with the reorder signal and the lookup the main window uses;
// dragging and dropping come with the dataset-list work.
#pragma once

#include <QTreeWidget>

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
    void internalReorderRequested(int fromId, int toId, bool after);
};

} // namespace Tervane3
