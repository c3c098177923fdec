// The folder tree of the "Datasets" dock: the open datasets grouped under the folders that
// hold their files, with a chosen number of parent folder levels. Also read by the
// filter-groups matrix window, whose rows follow the folder view.
#pragma once

#include <QList>
#include <QString>

#include <vector>

namespace Tervane3 {

struct DatasetFolderNode
{
    // The folder's own name (one path component); empty for a dataset node.
    QString name;
    // Position in the main window's dataset list for a dataset node, -1 for a folder node.
    int datasetIndex = -1;
    // In display order; always empty for a dataset node.
    std::vector<DatasetFolderNode> children;

    bool isFolder() const { return datasetIndex < 0; }
};

// The top nodes of the tree. paths[i] is the file path of the dataset at position i; an
// empty or relative path gives a top-level dataset node. A dataset (or a folder) goes into
// its folder only when that folder spans at most parentLevels folder levels down to the
// deepest folder under it that holds a dataset; otherwise it becomes a top node. Nothing is
// sorted: nodes appear in the order in which they are first attached, following list order.
// Folder names are compared exactly (case-sensitive).
std::vector<DatasetFolderNode> buildDatasetFolderTree(const QList<QString>& paths, int parentLevels);

} // namespace Tervane3
