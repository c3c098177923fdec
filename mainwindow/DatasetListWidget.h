// The flat list of open datasets in the "Datasets" dock, one row per dataset in list order.
//
// First version: the list with the reorder signal the main window connects; dragging,
// dropping and the drag payload come with the dataset-list work.
#pragma once

#include <QListWidget>

namespace Tervane3 {

class DatasetListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit DatasetListWidget(QWidget* parent = nullptr);

signals:
    // The dataset at row `from` is to be moved before row `to` (the row count for the end).
    void internalReorderRequested(int from, int to);
};

} // namespace Tervane3
