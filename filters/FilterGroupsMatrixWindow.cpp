// The Filter Groups – Datasets Matrix window.
#include "filters/FilterGroupsMatrixWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetFolderNode.h"
#include "app/WindowHelpers.h"
#include "filters/FilterGroupsMatrixHost.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Tervane3 {

FilterGroupsMatrixWindow::FilterGroupsMatrixWindow(FilterGroupsMatrixHost* matrixHost, QWidget* parent)
    : QMainWindow(parent)
    , host(matrixHost)
{
    setWindowTitle(QStringLiteral("Filter Groups \u2013 Datasets Matrix"));
    resize(720, 480);
    setupUi();
    addKeepOnTopAction(this);
    refresh();
}

void FilterGroupsMatrixWindow::setupUi()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* hint = new QLabel(QStringLiteral("Tick a cell to enable a filter group for a dataset. Click a group's "
                                           "column header to bulk-toggle it across datasets, or click a dataset's "
                                           "name to bulk-toggle every group for it."),
                            central);
    hint->setStyleSheet(QStringLiteral("QLabel { color: #555; padding-bottom: 4px; }"));
    hint->setWordWrap(true);
    layout->addWidget(hint);

    tree = new QTreeWidget(central);
    tree->setObjectName(QStringLiteral("matrixTree"));
    tree->header()->setSectionsClickable(true);
    tree->header()->setStretchLastSection(false);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setAlternatingRowColors(true);
    tree->setItemsExpandable(false);
    tree->setRootIsDecorated(true);
    layout->addWidget(tree, 1);
    setCentralWidget(central);

    connect(tree->header(), &QHeaderView::sectionClicked, this, &FilterGroupsMatrixWindow::onColumnHeaderClicked);
    connect(tree, &QTreeWidget::itemClicked, this, &FilterGroupsMatrixWindow::onItemClicked);
    connect(tree->header(), &QHeaderView::sectionResized, this, [this](int logicalIndex, int, int) {
        if (logicalIndex == 0 && !fittingNameColumn)
            autoFitNameColumn = false;
    });

    addNodeRows = [this](const DatasetFolderNode& node, QTreeWidgetItem* parent) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem;
        if (!parent)
            newTopLevelItems.append(item);
        if (node.isFolder()) {
            item->setText(0, node.name);
            for (const DatasetFolderNode& child : node.children)
                addNodeRows(child, item);
            return;
        }
        const DatasetEntry& dataset = *host->datasets()[static_cast<size_t>(node.datasetIndex)];
        item->setText(0, dataset.displayName);
        item->setData(0, Qt::UserRole, dataset.id);
        const int rowHeight = tree->fontMetrics().height() + 12;
        const auto& groups = host->filterGroups();
        for (size_t g = 0; g < groups.size(); ++g) {
            const int column = static_cast<int>(g) + 1;
            item->setSizeHint(column, QSize(0, rowHeight));
            pendingCells.push_back(
                {item, column, dataset.id, groups[g]->id, host->isGroupEnabled(&dataset, groups[g]->id)});
        }
    };
}

void FilterGroupsMatrixWindow::rebuildHeader()
{
    QStringList labels{QStringLiteral("Dataset")};
    for (const auto& group : host->filterGroups())
        labels << QString::fromStdString(group->name);
    tree->setColumnCount(labels.size());
    tree->setHeaderLabels(labels);
    tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    for (int column = 1; column < labels.size(); ++column)
        tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

void FilterGroupsMatrixWindow::rebuildRows()
{
    tree->clear();
    const auto& datasets = host->datasets();
    std::vector<DatasetFolderNode> nodes;
    if (host->datasetFolderViewActive()) {
        QList<QString> paths;
        for (const auto& dataset : datasets)
            paths << QString::fromStdString(dataset->filePath);
        nodes = buildDatasetFolderTree(paths, host->datasetFolderDepth());
    } else {
        for (size_t i = 0; i < datasets.size(); ++i) {
            DatasetFolderNode node;
            node.datasetIndex = static_cast<int>(i);
            nodes.push_back(node);
        }
    }
    // The rows are built outside the tree and go in at once: inserted one by one, each would
    // lay out every row before it again.
    newTopLevelItems.clear();
    pendingCells.clear();
    for (const DatasetFolderNode& node : nodes)
        addNodeRows(node, nullptr);
    tree->addTopLevelItems(newTopLevelItems);
    newTopLevelItems.clear();
    // A cell's box is set before it is connected, so that only the user's ticks switch.
    for (const PendingCell& pending : pendingCells) {
        auto* cell = new QWidget(tree);
        auto* cellLayout = new QHBoxLayout(cell);
        cellLayout->setContentsMargins(0, 0, 0, 0);
        cellLayout->setAlignment(Qt::AlignCenter);
        auto* check = new QCheckBox(cell);
        check->setChecked(pending.on);
        cellLayout->addWidget(check);
        connect(check, &QCheckBox::toggled, this,
                [this, datasetId = pending.datasetId, groupId = pending.groupId](bool on) {
                    if (!rebuilding)
                        host->setGroupEnabled(datasetId, groupId, on);
                });
        tree->setItemWidget(pending.item, pending.column, cell);
    }
    pendingCells.clear();
    tree->expandAll();
    if (autoFitNameColumn) {
        fittingNameColumn = true;
        tree->resizeColumnToContents(0);
        fittingNameColumn = false;
    }
}

void FilterGroupsMatrixWindow::refresh()
{
    if (!host)
        return;
    rebuilding = true;
    rebuildHeader();
    rebuildRows();
    rebuilding = false;
}

void FilterGroupsMatrixWindow::onColumnHeaderClicked(int section)
{
    if (!host)
        return;
    const auto& groups = host->filterGroups();
    const int index = section - 1;
    if (index < 0 || index >= static_cast<int>(groups.size()))
        return;
    const int groupId = groups[static_cast<size_t>(index)]->id;
    const auto& datasets = host->datasets();
    bool allOn = !datasets.empty();
    for (const auto& dataset : datasets)
        allOn = allOn && host->isGroupEnabled(dataset.get(), groupId);
    // With no dataset there is nothing to switch on.
    host->setGroupEnabledInAll(groupId, !datasets.empty() && !allOn);
    refresh();
}

void FilterGroupsMatrixWindow::onItemClicked(QTreeWidgetItem* item, int column)
{
    if (!host || !item || column != 0)
        return;
    const QVariant id = item->data(0, Qt::UserRole);
    if (!id.isValid())
        return;
    const DatasetEntry* dataset = nullptr;
    for (const auto& entry : host->datasets()) {
        if (entry->id == id.toInt()) {
            dataset = entry.get();
            break;
        }
    }
    if (!dataset)
        return;
    const auto& groups = host->filterGroups();
    bool allOn = !groups.empty();
    for (const auto& group : groups)
        allOn = allOn && host->isGroupEnabled(dataset, group->id);
    const bool value = !groups.empty() && !allOn;
    const int datasetId = dataset->id;
    // Copied first: the host's list is not changed, but nothing here relies on that.
    std::vector<int> groupIds;
    for (const auto& group : groups)
        groupIds.push_back(group->id);
    for (int groupId : groupIds)
        host->setGroupEnabled(datasetId, groupId, value);
    refresh();
}

void FilterGroupsMatrixWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Tervane3
