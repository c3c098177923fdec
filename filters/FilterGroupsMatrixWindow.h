// Which filter group is switched on for which dataset, as a matrix of check boxes: one row
// per dataset (flat, or under its folders when the dataset list shows the folder tree), one
// column per group. A cell switches one group for one dataset; a group's column header
// switches it for all datasets; a dataset's name switches all groups for it. The window
// keeps no model data: it reads the host on every rebuild and changes only through it.
// GUI thread only.
#pragma once

#include <QMainWindow>

#include <QList>

#include <functional>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace Tervane3 {

struct DatasetFolderNode;
class FilterGroupsMatrixHost;

class FilterGroupsMatrixWindow : public QMainWindow
{
    Q_OBJECT

public:
    // host: source of datasets and groups; null gives an empty window.
    explicit FilterGroupsMatrixWindow(FilterGroupsMatrixHost* host, QWidget* parent = nullptr);

    // Rebuilds header and rows from the host (cell widgets are made anew each time).
    void refresh();

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(FilterGroupsMatrixWindow* window);

public slots:
    // A group's header: every dataset gets the group on, unless all have it on already.
    void onColumnHeaderClicked(int section);
    // A dataset's name: every group on for it, unless all are on already.
    void onItemClicked(QTreeWidgetItem* item, int column);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupUi();
    void rebuildHeader();
    void rebuildRows();

    FilterGroupsMatrixHost* host = nullptr;
    QTreeWidget* tree = nullptr;
    // Set during a rebuild: check boxes changed meanwhile are not the user's.
    bool rebuilding = false;
    // Column 0 follows the names until the user resizes it.
    bool autoFitNameColumn = true;
    bool fittingNameColumn = false;
    // Adds the rows of a node below the parent item; a node without parent item becomes a
    // top-level row once the whole tree is built (see rebuildRows).
    std::function<void(const DatasetFolderNode&, QTreeWidgetItem*)> addNodeRows;
    // Filled by addNodeRows during a rebuild: the new top-level rows, and the check box each
    // dataset row gets per group once its row is in the tree.
    struct PendingCell
    {
        QTreeWidgetItem* item;
        int column;
        int datasetId;
        int groupId;
        bool on;
    };
    QList<QTreeWidgetItem*> newTopLevelItems;
    std::vector<PendingCell> pendingCells;
};

} // namespace Tervane3
