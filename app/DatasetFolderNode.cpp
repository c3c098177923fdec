// Building the dataset folder tree from the datasets' file paths.
#include "app/DatasetFolderNode.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>

namespace Tervane3 {

namespace {

struct FolderRecord
{
    QString name;
    QString parentPrefix; // empty for a folder directly under the root
    int level = 0;        // 1 for the first component
    int deepest = 0;      // number of components of the deepest dataset folder below
};

// The flat form of the tree while it is built: nodes refer to their children by number.
struct FlatNode
{
    QString name;
    int datasetIndex = -1;
    std::vector<int> children;
};

class TreeBuilder
{
public:
    TreeBuilder(const QList<QString>& paths, int levels)
        : parentLevels(levels)
    {
        folderOfDataset.reserve(paths.size());
        for (const QString& path : paths)
            folderOfDataset.push_back(registerFolders(path));
    }

    std::vector<DatasetFolderNode> build()
    {
        for (int i = 0; i < folderOfDataset.size(); ++i) {
            const int k = appendNode(QString(), i);
            const QString& folder = folderOfDataset[i];
            if (folder.isEmpty() || span(folder) > parentLevels)
                roots.push_back(k);
            else
                nodes[static_cast<size_t>(findOrAddFolder(folder))].children.push_back(k);
        }
        std::vector<DatasetFolderNode> result;
        result.reserve(roots.size());
        for (int k : roots)
            result.push_back(makeFolderNode(k));
        return result;
    }

private:
    // Records every folder prefix of the path and returns the dataset's own folder (empty
    // for a path without folders).
    QString registerFolders(const QString& path)
    {
        if (path.isEmpty() || QDir::isRelativePath(path))
            return QString();
        const QStringList components =
            QFileInfo(path).absolutePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
        const int m = components.size();
        QString prefix;
        for (int j = 1; j <= m; ++j) {
            const QString parent = prefix;
            prefix = j == 1 ? components[0] : prefix + QLatin1Char('/') + components[j - 1];
            auto it = folders.find(prefix);
            if (it == folders.end())
                it = folders.insert(prefix, FolderRecord{components[j - 1], parent, j, 0});
            it->deepest = std::max(it->deepest, m);
        }
        return prefix;
    }

    // Folder levels from the prefix down to the deepest folder under it that holds a dataset.
    int span(const QString& prefix) const
    {
        const FolderRecord& record = folders[prefix];
        return record.deepest - record.level + 1;
    }

    int appendNode(const QString& name, int datasetIndex)
    {
        nodes.push_back(FlatNode{name, datasetIndex, {}});
        return static_cast<int>(nodes.size()) - 1;
    }

    int findOrAddFolder(const QString& prefix)
    {
        const auto known = nodeOfFolder.constFind(prefix);
        if (known != nodeOfFolder.constEnd())
            return *known;
        const FolderRecord& record = folders[prefix];
        const int k = appendNode(record.name, -1);
        nodeOfFolder.insert(prefix, k);
        const QString parent = record.parentPrefix;
        if (!parent.isEmpty() && span(parent) <= parentLevels) {
            const int parentNode = findOrAddFolder(parent);
            nodes[static_cast<size_t>(parentNode)].children.push_back(k);
        } else {
            roots.push_back(k);
        }
        return k;
    }

    DatasetFolderNode makeFolderNode(int k) const
    {
        const FlatNode& flat = nodes[static_cast<size_t>(k)];
        DatasetFolderNode node;
        node.name = flat.name;
        node.datasetIndex = flat.datasetIndex;
        node.children.reserve(flat.children.size());
        for (int child : flat.children)
            node.children.push_back(makeFolderNode(child));
        return node;
    }

    const int parentLevels;
    QHash<QString, FolderRecord> folders;
    QList<QString> folderOfDataset;
    QHash<QString, int> nodeOfFolder;
    std::vector<FlatNode> nodes;
    std::vector<int> roots;
};

} // namespace

std::vector<DatasetFolderNode> buildDatasetFolderTree(const QList<QString>& paths, int parentLevels)
{
    return TreeBuilder(paths, parentLevels).build();
}

} // namespace Tervane3
