// What the user does to the list of datasets: the list and folder-tree views (view mode,
// depth, the tree's items, selection and context menus), dropping files and folders onto the
// window, and renaming, removing, moving and duplicating datasets. Every change of the list
// reaches the list widget, the folder tree, the filter panel's count, the positions held by
// the caching bookkeeping and the open tool windows (which know datasets only by id).
#include "mainwindow/MainWindow.h"

#include "app/AppSettings.h"
#include "app/MemoryRelease.h"
#include "app/Prompts.h"
#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "app/DatasetEntry.h"
#include "app/DatasetFolderNode.h"
#include "mainwindow/DatasetLabel.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/DatasetTreeWidget.h"
#include "mainwindow/HierarchicalPathLess.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/TracePlot.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"
#include "windows/ImageGalleryWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QMenu>
#include <QMimeData>
#include <QPixmapCache>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace Tervane3 {

namespace {

// Where a dataset position p ends up when the dataset at `removed` (not p) is erased.
int positionAfterRemoval(int p, int removed)
{
    return p > removed ? p - 1 : p;
}

// Where a dataset position p ends up when the dataset at `from` is taken out and inserted
// at `target` (a position counted after taking it out).
int positionAfterMove(int p, int from, int target)
{
    if (p == from)
        return target;
    const int shifted = from < p ? p - 1 : p;
    return shifted >= target ? shifted + 1 : shifted;
}

template<typename F>
std::queue<int> renumberedQueue(std::queue<int> queue, F&& renumber)
{
    std::queue<int> result;
    for (; !queue.empty(); queue.pop()) {
        const int p = renumber(queue.front());
        if (p >= 0)
            result.push(p);
    }
    return result;
}

} // namespace

// ---- views ---------------------------------------------------------------------------

void MainWindow::onDatasetViewModeChanged(int index)
{
    const bool folderMode = index == 1;
    folderDepthLabel->setVisible(folderMode);
    folderDepthSpin->setVisible(folderMode);
    // The tree is left stale while hidden; it is rebuilt before it is shown again.
    if (folderMode)
        rebuildDatasetTree();
    datasetViewStack->setCurrentIndex(folderMode ? 1 : 0);
    AppSettings::setDatasetViewMode(folderMode ? 1 : 0);
    for (FilterGroupsMatrixWindow* window : std::vector<FilterGroupsMatrixWindow*>(matrixWindows))
        window->refresh();
}

void MainWindow::onFolderDepthChanged(int depth)
{
    AppSettings::setDatasetViewDepth(depth);
    if (datasetFolderViewActive())
        rebuildDatasetTree();
    for (FilterGroupsMatrixWindow* window : std::vector<FilterGroupsMatrixWindow*>(matrixWindows))
        window->refresh();
}

void MainWindow::rebuildDatasetTree()
{
    if (!datasetTree)
        return;
    datasetTreeUpdating = true;
    datasetTree->clear();
    QList<QString> paths;
    paths.reserve(static_cast<int>(entries.size()));
    for (const auto& entry : entries)
        paths << QString::fromStdString(entry->filePath);
    QTreeWidgetItem* activeItem = nullptr;
    for (const DatasetFolderNode& node : buildDatasetFolderTree(paths, datasetFolderDepth())) {
        if (QTreeWidgetItem* found = addNodeItems(node, nullptr))
            activeItem = found;
    }
    datasetTree->expandAll();
    if (activeItem)
        datasetTree->setCurrentItem(activeItem);
    datasetTreeUpdating = false;
}

QTreeWidgetItem* MainWindow::addNodeItems(const DatasetFolderNode& node, QTreeWidgetItem* parent)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(datasetTree);
    QTreeWidgetItem* activeItem = nullptr;
    if (node.isFolder()) {
        // The items are drawn as rich text: a folder name is text, not markup.
        item->setText(0, node.name.toHtmlEscaped());
        item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled));
        for (const DatasetFolderNode& child : node.children) {
            if (QTreeWidgetItem* found = addNodeItems(child, item))
                activeItem = found;
        }
        return activeItem;
    }
    const DatasetEntry* entry = node.datasetIndex < static_cast<int>(entries.size())
                                    ? entries[static_cast<size_t>(node.datasetIndex)].get()
                                    : nullptr;
    if (entry) {
        item->setText(0, datasetLabel(entry));
        item->setData(0, Qt::UserRole, entry->id);
        item->setToolTip(0, QString::fromStdString(entry->filePath));
    }
    item->setFlags((item->flags() | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
    return node.datasetIndex == activeIndex ? item : nullptr;
}

void MainWindow::onDatasetTreeCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    if (datasetTreeUpdating || !current)
        return;
    const QVariant id = current->data(0, Qt::UserRole);
    if (!id.isValid())
        return;
    const int index = datasetIndexOfId(id.toInt());
    if (index >= 0)
        activateDataset(index);
}

void MainWindow::onDatasetListContextMenu(const QPoint& pos)
{
    if (datasetList->currentRow() < 0)
        return;
    showDatasetContextMenu(datasetList->viewport()->mapToGlobal(pos));
}

void MainWindow::onDatasetTreeContextMenu(const QPoint& pos)
{
    QTreeWidgetItem* item = datasetTree->itemAt(pos);
    const QVariant id = item ? item->data(0, Qt::UserRole) : QVariant();
    if (!id.isValid())
        return;
    const int index = datasetIndexOfId(id.toInt());
    if (index < 0)
        return;
    // The menu acts on the list's current row, which activation makes this dataset.
    activateDataset(index);
    showDatasetContextMenu(datasetTree->viewport()->mapToGlobal(pos));
}

void MainWindow::showDatasetContextMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    QAction* duplicate = menu.addAction(QStringLiteral("Duplicate Dataset"));
    QAction* remove = menu.addAction(QStringLiteral("Remove Dataset"));
    // Acted upon after the menu has closed: both rebuild the views the menu was opened from.
    QAction* chosen = menu.exec(globalPos);
    if (chosen == duplicate)
        duplicateDataset();
    else if (chosen == remove)
        removeDataset();
}

void MainWindow::onDatasetTreeReorder(int fromId, int toId, bool after)
{
    const int from = datasetIndexOfId(fromId);
    const int target = datasetIndexOfId(toId);
    if (from < 0 || target < 0)
        return;
    moveDataset(from, after ? target + 1 : target);
}

int MainWindow::datasetIndexOfId(int id) const
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i]->id == id)
            return static_cast<int>(i);
    }
    return -1;
}

// ---- files and folders dropped onto the window ------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        QMainWindow::dragEnterEvent(event);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData() || !event->mimeData()->hasUrls()) {
        QMainWindow::dropEvent(event);
        return;
    }
    const QStringList paths = collectDroppedMeasurements(event->mimeData()->urls());
    if (paths.isEmpty()) {
        prompts().warning(this, QStringLiteral("Invalid File"),
                          QStringLiteral("Please drop .rtdc file(s) or folders containing them."));
        return;
    }
    for (const QString& path : paths)
        addDataset(path);
    event->acceptProposedAction();
}

QStringList MainWindow::collectDroppedMeasurements(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        if (QFileInfo(path).isDir()) {
            // Symbolic links to folders are not followed (no FollowSymlinks): a link cycle
            // cannot make the walk endless. The name filter ignores case.
            QDirIterator it(path, {QStringLiteral("*.rtdc")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                paths << it.next();
        } else if (path.endsWith(QLatin1String(".rtdc"), Qt::CaseInsensitive)) {
            paths << path;
        }
    }
    std::sort(paths.begin(), paths.end(), hierarchicalPathLess);
    return paths;
}

// ---- renaming ----------------------------------------------------------------------------

void MainWindow::onRenameFinished()
{
    DatasetEntry* entry = activeEntry();
    if (!entry)
        return;
    QString name = datasetNameEdit->text().trimmed();
    if (name == entry->displayName)
        return;
    if (name.isEmpty()) {
        // Back to the measurement's own name; unlike opening, the export section's changed
        // name is not looked at.
        const auto sample = entry->metadata.experiment.find("sample");
        if (sample != entry->metadata.experiment.end() && !sample->second.empty())
            name = QString::fromStdString(sample->second);
        else
            name = QFileInfo(QString::fromStdString(entry->filePath)).fileName();
        const QSignalBlocker blocker(datasetNameEdit);
        datasetNameEdit->setText(name);
    }
    if (name == entry->displayName)
        return;
    entry->displayName = name;
    if (QListWidgetItem* item = datasetList->item(activeIndex))
        item->setText(datasetLabel(entry));
    if (datasetFolderViewActive())
        rebuildDatasetTree();
    updateInfoLabel();
    const int id = entry->id;
    for (CombinePlotWindow* window : std::vector<CombinePlotWindow*>(combineWindows))
        window->renameDataset(id, name);
    for (StatisticalEvalWindow* window : std::vector<StatisticalEvalWindow*>(statEvalWindows))
        window->renameDataset(id, name);
    for (ImageGalleryWindow* window : std::vector<ImageGalleryWindow*>(galleryWindows))
        window->renameDataset(id, name);
    for (FilterGroupsMatrixWindow* window : std::vector<FilterGroupsMatrixWindow*>(matrixWindows))
        window->refresh();
}

// ---- removing ----------------------------------------------------------------------------

void MainWindow::removeDataset()
{
    const int r = datasetList->currentRow();
    if (r < 0 || r >= static_cast<int>(entries.size()))
        return;
    // The caching task reads this dataset's reader through a plain pointer.
    if (r == preloadIndex) {
        prompts().warning(this, QStringLiteral("Cannot Remove"), QStringLiteral("This dataset is still loading."));
        return;
    }
    // A calculation's work function uses the dataset entries and their readers on a pool
    // thread, and which datasets it took is not recorded: no dataset leaves while one runs.
    if (calculationBusy) {
        prompts().warning(this, QStringLiteral("Cannot Remove"),
                          QStringLiteral("A calculation is running on the open datasets. "
                                         "Remove this dataset after it has finished."));
        return;
    }

    // Tool windows first, while the dataset still exists. A gallery that shows it closes
    // itself and leaves its list from inside this walk, so the walk goes over copies.
    const int id = entries[static_cast<size_t>(r)]->id;
    for (CombinePlotWindow* window : std::vector<CombinePlotWindow*>(combineWindows))
        window->removeDataset(id);
    for (StatisticalEvalWindow* window : std::vector<StatisticalEvalWindow*>(statEvalWindows))
        window->removeDataset(id);
    for (ImageGalleryWindow* window : std::vector<ImageGalleryWindow*>(galleryWindows))
        window->removeDataset(id);

    // The row above (the next one for the first row) becomes current first, and its
    // current-row signal activates that dataset while the removed entry still exists
    // (positions are still the old ones then). Left to itself, a single-selection list
    // would move to the row below when the current item is taken out.
    if (entries.size() > 1)
        datasetList->setCurrentRow(r > 0 ? r - 1 : r + 1);
    // A gate of the removed dataset still drawn or edited ends while the dataset exists (the
    // activation above ended it when another dataset took over).
    if (r == activeIndex)
        endPolygonInteraction();
    delete datasetList->takeItem(r);
    entries.erase(entries.begin() + r);
    filterPanel->setDatasetCount(static_cast<int>(entries.size()));

    if (preloadIndex > r)
        --preloadIndex;
    preloadIndexQueue = renumberedQueue(std::move(preloadIndexQueue),
                                        [r](int p) { return p == r ? -1 : positionAfterRemoval(p, r); });
    updateLoadingStatus();
    if (lastPlotDatasetIndex == r)
        lastPlotDatasetIndex = -1;
    else
        lastPlotDatasetIndex = positionAfterRemoval(lastPlotDatasetIndex, r);

    if (entries.empty()) {
        activeIndex = -1;
        clearDatasetViews();
    } else if (activeIndex == r) {
        activeIndex = -1;
        const int next = std::min(r, static_cast<int>(entries.size()) - 1);
        if (datasetList->currentRow() != next)
            datasetList->setCurrentRow(next);
        else
            activateDataset(next);
    } else if (r < activeIndex) {
        --activeIndex;
    }

    // The group boxes follow the remaining datasets (switch states, the active reader); the
    // refresh also reaches the matrix windows.
    refreshFilterGroupPanel();
    updateApplyToAllButton();
    if (datasetFolderViewActive())
        rebuildDatasetTree();
    scheduleMemoryRelease();
}

void MainWindow::scheduleMemoryRelease()
{
    if (memoryReleasePending)
        return;
    memoryReleasePending = true;
    // Queued behind the deferred deletions posted while the datasets closed (rule rows and
    // group boxes hold the active reader until they are deleted).
    QMetaObject::invokeMethod(
        this,
        [this] {
            memoryReleasePending = false;
            // With nothing left to show, the style's renderings of the closed views and tool
            // windows go too (Qt keeps up to 10 MB of them); they are redrawn when needed.
            if (entries.empty())
                QPixmapCache::clear();
            // Walking gigabytes of freed heap takes a few hundred milliseconds: not here.
            memoryReleaser->request();
        },
        Qt::QueuedConnection);
}

void MainWindow::clearDatasetViews()
{
    // With their storage: a million plotted points hold about 30 MB here.
    std::vector<int>().swap(plottedEventIndices);
    std::vector<double>().swap(plotXValues);
    std::vector<double>().swap(plotYValues);
    std::vector<double>().swap(plotColorValues);
    plotXLabel.clear();
    plotYLabel.clear();
    plotColorLabel.clear();
    plottedIndicesValid = false;
    filterPassingCount = 0;
    hiddenOnLogAxesCount = 0;
    emptyPlotAndEventViews();
    // No channels, and the time axis of a new trace plot (without curves an autoscaled axis
    // keeps its last range).
    tracePlot->setChannels({}, {}, 0.0, {}, false);
    tracePlot->setAxisScale(QwtPlot::xBottom, 0.0, 1000.0);
    tracePlot->setAxisAutoScale(QwtPlot::xBottom, true);
    // No titles, ranges or scales of the last dataset on the empty plot, and the plot
    // settings a new dataset starts with.
    scatterPlot->resetToEmpty();
    const DatasetEntry defaults;
    {
        const QSignalBlocker bx(xScaleCombo);
        const QSignalBlocker by(yScaleCombo);
        const QSignalBlocker bm(contourModeCombo);
        const QSignalBlocker bi(contourInnerSpin);
        const QSignalBlocker bo(contourOuterSpin);
        xScaleCombo->setCurrentIndex(defaults.scaleXMode);
        yScaleCombo->setCurrentIndex(defaults.scaleYMode);
        updateLogAxisWarning(xScaleCombo, 0, QStringLiteral("X-axis scale mode"));
        updateLogAxisWarning(yScaleCombo, 0, QStringLiteral("Y-axis scale mode"));
        contourModeCombo->setCurrentIndex(defaults.contourMode);
        contourInnerSpin->setValue(defaults.contourFraction1 * 100.0);
        contourOuterSpin->setValue(defaults.contourFraction2 * 100.0);
    }
    isoelasticsCheck->hide();
    isoLabelsCheck->hide();
    statusLabel->clear();
    metadataTree->clear();
    for (QComboBox* combo : {xFeatureCombo, yFeatureCombo, colorFeatureCombo}) {
        const QSignalBlocker blocker(combo);
        combo->clear();
    }
    {
        const QSignalBlocker blocker(eventSpin);
        eventSpin->setRange(0, 0);
        eventSpin->setEnabled(false);
    }
    imageViewer->setMaskEnabled(false);
    {
        // Disabling a focused line edit ends its editing: no rename may follow.
        const QSignalBlocker blocker(datasetNameEdit);
        datasetNameEdit->clear();
        datasetNameEdit->setEnabled(false);
    }
    calculationsPanel->setDataset(nullptr);
    calculationsPanel->setComputeImageFeaturesEnabled(false);
    calculationsPanel->clearEmodulusMetadata();
    infoLabel->setText(QStringLiteral("No file loaded."));
    filterPanel->resetToEmpty();
    // After the panel let go of the dataset: ending an edit refreshes the group boxes.
    endPolygonInteraction();
    refreshFilterGroupPanel();
    // Once their contents are back to a new window's.
    resetDockWidths();
}

// ---- moving ------------------------------------------------------------------------------

void MainWindow::moveDataset(int from, int to)
{
    const int count = static_cast<int>(entries.size());
    if (from < 0 || from >= count || to < 0 || to > count)
        return;
    const int target = from < to ? to - 1 : to;
    if (target == from)
        return;

    const DatasetEntry* active = activeEntry();
    std::unique_ptr<DatasetEntry> moving = std::move(entries[static_cast<size_t>(from)]);
    entries.erase(entries.begin() + from);
    entries.insert(entries.begin() + target, std::move(moving));

    // Positions held elsewhere follow their datasets; the queue keeps its order.
    if (preloadIndex >= 0)
        preloadIndex = positionAfterMove(preloadIndex, from, target);
    preloadIndexQueue = renumberedQueue(std::move(preloadIndexQueue),
                                        [from, target](int p) { return positionAfterMove(p, from, target); });
    updateLoadingStatus();
    if (lastPlotDatasetIndex >= 0)
        lastPlotDatasetIndex = positionAfterMove(lastPlotDatasetIndex, from, target);

    activeIndex = -1;
    for (int i = 0; i < count; ++i) {
        if (entries[static_cast<size_t>(i)].get() == active)
            activeIndex = i;
    }
    {
        // Ids do not change, so the active dataset stays active: no activation runs.
        const QSignalBlocker blocker(datasetList);
        datasetList->clear();
        for (int i = 0; i < count; ++i)
            addDatasetListItem(i);
        datasetList->setCurrentRow(activeIndex);
    }

    for (FilterGroupsMatrixWindow* window : std::vector<FilterGroupsMatrixWindow*>(matrixWindows))
        window->refresh();
    updateApplyToAllButton();
    if (datasetFolderViewActive())
        rebuildDatasetTree();
}

// ---- duplicating -------------------------------------------------------------------------

void MainWindow::duplicateDataset()
{
    const int r = datasetList->currentRow();
    if (r < 0 || r >= static_cast<int>(entries.size()) || !entries[static_cast<size_t>(r)]->featuresLoaded)
        return;
    saveCurrentDatasetState();
    const DatasetEntry& source = *entries[static_cast<size_t>(r)];

    auto copy = std::make_unique<DatasetEntry>();
    copy->id = nextDatasetId++;
    // One reader for both: columns a calculation adds later appear in the copy too.
    copy->reader = source.reader;
    copy->metadata = source.metadata;
    copy->filePath = source.filePath;
    copy->displayName = source.displayName + QStringLiteral(" (copy)");
    copy->xFeatureName = source.xFeatureName;
    copy->yFeatureName = source.yFeatureName;
    copy->colorFeatureName = source.colorFeatureName;
    copy->currentEventIndex = source.currentEventIndex;
    copy->featuresLoaded = true;
    copy->filter = source.filter;
    copy->copyScaleAndContourSettings(source);
    // The calculation flags and the filter-group switches start at their defaults: they
    // describe what was done for the source dataset, not for the copy.

    entries.push_back(std::move(copy));
    const int index = static_cast<int>(entries.size()) - 1;
    filterPanel->setDatasetCount(static_cast<int>(entries.size()));
    addDatasetListItem(index);
    // Activates the copy, which is shown at once (nothing to cache).
    datasetList->setCurrentRow(index);
}

} // namespace Tervane3
