// Background caching of new datasets and the activation of a dataset: one caching task at a
// time on the global thread pool, the queues that wait for it with their visible count and
// column progress, what runs when a task ends, the order in which every panel follows the
// active dataset, and storing the plot-setting widgets back into the active entry.
#include "mainwindow/MainWindow.h"
#include "mainwindow/CachingHook.h"

#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "app/DatasetEntry.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/DatasetTreeWidget.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "plots/TracePlot.h"
#include "windows/ImageGalleryWindow.h"

#include <QComboBox>
#include <QDebug>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>

namespace Tervane3 {

// Columns read by one caching task. The pool thread only writes the counts; a timer of the
// window reads them a few times a second, so a reader that reports often never floods the
// event loop and nothing but the two counts crosses between the threads.
struct CachingProgress
{
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
};

namespace {

std::function<void(const std::string&, std::size_t, std::size_t)>& cachingHook()
{
    static std::function<void(const std::string&, std::size_t, std::size_t)> hook;
    return hook;
}

// At most this many waiting files are named below the list; the tooltip has them all.
constexpr int namedWaitingFiles = 8;

} // namespace

void setCachingHook(std::function<void(const std::string& path, std::size_t done, std::size_t total)> hook)
{
    cachingHook() = std::move(hook);
}

void MainWindow::setupLoadingStatus(QWidget* datasetsPane, QVBoxLayout* datasetsLayout)
{
    // Below the list, as the rows that are still to come; the list itself holds one row per
    // open dataset.
    waitingFilesLabel = new QLabel(datasetsPane);
    waitingFilesLabel->setObjectName(QStringLiteral("waitingFilesLabel"));
    waitingFilesLabel->setTextFormat(Qt::PlainText);
    waitingFilesLabel->setStyleSheet(QStringLiteral("QLabel { color: #6b6f78; padding: 2px 6px; }"));
    waitingFilesLabel->hide();
    datasetsLayout->addWidget(waitingFilesLabel);

    loadingLabel = new QLabel(this);
    loadingLabel->setObjectName(QStringLiteral("loadingLabel"));
    loadingLabel->setTextFormat(Qt::PlainText);
    loadingLabel->hide();
    loadingProgress = new QProgressBar(this);
    loadingProgress->setObjectName(QStringLiteral("loadingProgress"));
    loadingProgress->setFormat(QStringLiteral("%v of %m columns"));
    loadingProgress->setToolTip(QStringLiteral("Feature columns read from the file"));
    loadingProgress->setMaximumWidth(220);
    loadingProgress->hide();
    statusBar()->addPermanentWidget(loadingLabel);
    statusBar()->addPermanentWidget(loadingProgress);
    cachingProgressTimer = new QTimer(this);
    cachingProgressTimer->setInterval(100);
    connect(cachingProgressTimer, &QTimer::timeout, this, &MainWindow::showCachingProgress);
}

int MainWindow::waitingToLoadCount() const
{
    return static_cast<int>(preloadIndexQueue.size() + sessionDatasetQueue.size() + pendingPathQueue.size());
}

QString MainWindow::loadingText(const DatasetEntry& entry) const
{
    const int total = loadingStarted + waitingToLoadCount();
    if (total > 1)
        return QStringLiteral("Loading %1 of %2: %3").arg(loadingStarted).arg(total).arg(entry.displayName);
    return QStringLiteral("Loading: %1").arg(entry.displayName);
}

void MainWindow::updateLoadingStatus()
{
    if (!loadingLabel)
        return;
    // Hidden as at start-up: nothing of the last file stays behind the hidden widgets.
    const auto hideAndClear = [](QLabel* label) {
        label->hide();
        label->clear();
        label->setToolTip(QString());
    };
    const bool running = preloadBusy && preloadIndex >= 0 && preloadIndex < static_cast<int>(entries.size());
    if (!running) {
        hideAndClear(loadingLabel);
        loadingProgress->hide();
        loadingProgress->setRange(0, 100);
        loadingProgress->reset();
        hideAndClear(waitingFilesLabel);
        return;
    }
    const DatasetEntry& entry = *entries[static_cast<size_t>(preloadIndex)];
    loadingLabel->setText(loadingText(entry));
    loadingLabel->setToolTip(QString::fromStdString(entry.filePath));
    loadingLabel->show();
    loadingProgress->show();

    // Every waiting dataset and file in the order it will be opened.
    QStringList names;
    QStringList paths;
    for (std::queue<int> queued = preloadIndexQueue; !queued.empty(); queued.pop()) {
        const int i = queued.front();
        if (i >= 0 && i < static_cast<int>(entries.size())) {
            names << entries[static_cast<size_t>(i)]->displayName;
            paths << QString::fromStdString(entries[static_cast<size_t>(i)]->filePath);
        }
    }
    for (auto queued = sessionDatasetQueue; !queued.empty(); queued.pop()) {
        names << QFileInfo(queued.front().second).fileName();
        paths << queued.front().second;
    }
    for (std::queue<QString> queued = pendingPathQueue; !queued.empty(); queued.pop()) {
        names << QFileInfo(queued.front()).fileName();
        paths << queued.front();
    }
    if (names.isEmpty()) {
        hideAndClear(waitingFilesLabel);
    } else {
        QStringList lines{QStringLiteral("Waiting to open (%1):").arg(names.size())};
        for (int i = 0; i < names.size() && i < namedWaitingFiles; ++i)
            lines << QStringLiteral("  ") + names[i];
        if (names.size() > namedWaitingFiles)
            lines << QStringLiteral("  … and %1 more").arg(names.size() - namedWaitingFiles);
        waitingFilesLabel->setText(lines.join(QLatin1Char('\n')));
        waitingFilesLabel->setToolTip(paths.join(QLatin1Char('\n')));
        waitingFilesLabel->show();
    }
}

void MainWindow::showCachingProgress()
{
    if (!cachingProgress || !loadingProgress)
        return;
    const std::size_t total = cachingProgress->total.load();
    if (total == 0)
        return; // the reader has not counted its columns yet: the bar stays busy
    const std::size_t done = std::min(cachingProgress->done.load(), total);
    loadingProgress->setRange(0, static_cast<int>(std::min<std::size_t>(total, INT_MAX)));
    loadingProgress->setValue(static_cast<int>(std::min<std::size_t>(done, INT_MAX)));
}

void MainWindow::startPreload(int index)
{
    if (preloadBusy) {
        preloadIndexQueue.push(index);
        updateLoadingStatus();
        return;
    }
    if (closing || index < 0 || index >= static_cast<int>(entries.size()))
        return;
    preloadBusy = true;
    preloadIndex = index;
    ++loadingStarted;
    const DatasetEntry& entry = *entries[static_cast<size_t>(index)];
    // The info line keeps describing the dataset on show, if another one is.
    const bool noneActive = activeIndex < 0 || activeIndex >= static_cast<int>(entries.size());
    if (index == activeIndex || noneActive)
        infoLabel->setText(QStringLiteral("Loading: %1 - Caching features...").arg(entry.displayName));
    auto progress = std::make_shared<CachingProgress>();
    cachingProgress = progress;
    // Busy until the reader has counted its columns.
    loadingProgress->setRange(0, 0);
    updateLoadingStatus();

    // The task holds the reader by plain pointer: the dataset being cached cannot be removed
    // and closing waits for the task, so the reader (and this window, which the progress is
    // posted to) outlives it. Every file access of the reader holds the process-wide HDF5
    // lock; the GUI thread may read the same reader.
    RTDCReader* reader = entry.reader.get();
    const std::string path = entry.filePath;
    cachingProgressTimer->start();
    preloadWatcher->start([reader, progress, path] {
        if (!reader)
            return;
        const auto& hook = cachingHook();
        if (hook)
            hook(path, 0, 0);
        try {
            reader->preloadAllFeatures([&progress, &hook, &path](std::size_t done, std::size_t total) {
                progress->total.store(total);
                progress->done.store(done);
                if (hook)
                    hook(path, done, total);
            });
        } catch (const std::exception& e) {
            // Columns not cached are read on demand later; the dataset still counts as loaded.
            qWarning().noquote() << QStringLiteral("Caching features stopped:") << QString::fromUtf8(e.what());
        }
    });
}

void MainWindow::onFeaturesLoaded()
{
    const int finished = preloadIndex;
    preloadIndex = -1;
    preloadBusy = false;
    cachingProgressTimer->stop();
    cachingProgress.reset();
    if (closing)
        return;
    if (finished >= 0 && finished < static_cast<int>(entries.size())) {
        DatasetEntry& entry = *entries[static_cast<size_t>(finished)];
        entry.featuresLoaded = true;
        // Each file of a run is shown as soon as it is cached, in place of the one the run
        // showed before; a dataset the user chose meanwhile stays. A session load shows its
        // datasets once its state is restored.
        const bool noneActive = activeIndex < 0 || activeIndex >= static_cast<int>(entries.size());
        const bool followsRun = !sessionLoading
                                && (noneActive || (loadingShownId >= 0 && activeDatasetId() == loadingShownId));
        if (finished == activeIndex) {
            refreshForActiveDataset();
            loadingShownId = entry.id;
        } else if (followsRun) {
            loadingShownId = entry.id;
            activateDataset(finished);
        }
    }
    continueWaitingWork();
}

void MainWindow::continueWaitingWork()
{
    // Queued positions before session datasets before queued files. An entry that starts no
    // caching task (its file fails to open, or a queued path is open already) must not
    // stall the chain: the next one is taken at once, and a session load is completed once
    // all three queues are empty.
    while (!preloadBusy && !closing) {
        if (!preloadIndexQueue.empty()) {
            const int index = preloadIndexQueue.front();
            preloadIndexQueue.pop();
            startPreload(index);
            continue;
        }
        if (!sessionDatasetQueue.empty()) {
            const auto [sessionIndex, path] = sessionDatasetQueue.front();
            sessionDatasetQueue.pop();
            const int id = addSessionDataset(path);
            if (id >= 0)
                sessionIndexToDatasetId[sessionIndex] = id;
            continue;
        }
        if (!pendingPathQueue.empty()) {
            const QString path = pendingPathQueue.front();
            pendingPathQueue.pop();
            addDataset(path, false);
            continue;
        }
        if (sessionLoading) {
            restoreSessionDuplicates();
            applySessionState();
        }
        break;
    }
    // The run is over once nothing is cached: the next file counts from 1 again.
    if (!preloadBusy)
        loadingStarted = 0;
    updateLoadingStatus();
}

void MainWindow::onDatasetSelected(int row)
{
    activateDataset(row);
}

void MainWindow::activateDataset(int index)
{
    if (index < 0 || index >= static_cast<int>(entries.size()) || index == activeIndex)
        return;
    saveCurrentDatasetState();
    // A gate being drawn or edited belongs to the dataset that is left.
    endPolygonInteraction();
    activeIndex = index;
    DatasetEntry* entry = entries[static_cast<size_t>(index)].get();

    if (datasetTree && datasetFolderViewActive()) {
        datasetTreeUpdating = true;
        for (QTreeWidgetItemIterator it(datasetTree); *it; ++it) {
            const QVariant id = (*it)->data(0, Qt::UserRole);
            if (id.isValid() && id.toInt() == entry->id) {
                datasetTree->setCurrentItem(*it);
                break;
            }
        }
        datasetTreeUpdating = false;
    }
    if (datasetList->currentRow() != index) {
        const QSignalBlocker blocker(datasetList);
        datasetList->setCurrentRow(index);
    }
    for (ImageGalleryWindow* gallery : galleryWindows)
        gallery->onActiveDatasetChanged(entry->id);

    // A loaded dataset gets its rule rows and group boxes from refreshForActiveDataset; made
    // here as well, every row of a filter would be built twice on each activation.
    if (entry->featuresLoaded) {
        refreshForActiveDataset();
        return;
    }
    filterPanel->setDataset(entry);
    // Also for a dataset still being cached: no group box keeps the previous reader.
    refreshFilterGroupPanel();
    infoLabel->setText(QStringLiteral("Loading: %1...").arg(entry->displayName));
    xFeatureCombo->setEnabled(false);
    yFeatureCombo->setEnabled(false);
    colorFeatureCombo->setEnabled(false);
    eventSpin->setEnabled(false);
    imageViewer->setMaskEnabled(false);
    datasetNameEdit->setEnabled(false);
    {
        const QSignalBlocker blocker(datasetNameEdit);
        datasetNameEdit->setText(entry->displayName);
        // A long name shows its beginning, as the list and the info line do.
        datasetNameEdit->setCursorPosition(0);
    }
    emptyPlotAndEventViews();
}

void MainWindow::emptyPlotAndEventViews()
{
    // Also takes the previous dataset's polygon gates and isoelastic lines off the plot.
    scatterPlot->clearData();
    imageViewer->clear();
    tracePlot->clearCurves();
    tracePlot->hide();
    eventDataTable->setRowCount(0);
    statisticsPanel->clear();
}

bool MainWindow::hasEventsToShow(const DatasetEntry& entry)
{
    if (!entry.reader || entry.reader->eventCount() == 0)
        return false;
    const std::vector<std::string> names = entry.reader->featureNames();
    return std::any_of(names.begin(), names.end(), isScalarFeatureName);
}

void MainWindow::forgetPlottedEvents()
{
    // Nothing of the dataset shown before may stay: points, highlight, overlays, image,
    // traces, event values, statistics, and the plotted arrays the overlays read.
    emptyPlotAndEventViews();
    plotXValues.clear();
    plotYValues.clear();
    plotColorValues.clear();
    plottedEventIndices.clear();
    filterPassingCount = 0;
    hiddenOnLogAxesCount = 0;
}

void MainWindow::showNoEvents()
{
    forgetPlottedEvents();
    updateInfoLabel();
}

void MainWindow::refreshForActiveDataset()
{
    if (activeIndex < 0 || activeIndex >= static_cast<int>(entries.size()))
        return;
    DatasetEntry* entry = entries[static_cast<size_t>(activeIndex)].get();
    if (!entry->featuresLoaded)
        return;
    RTDCReader* reader = entry->reader.get();

    xFeatureCombo->setEnabled(true);
    yFeatureCombo->setEnabled(true);
    colorFeatureCombo->setEnabled(true);
    datasetNameEdit->setEnabled(true);
    {
        const QSignalBlocker blocker(datasetNameEdit);
        datasetNameEdit->setText(entry->displayName);
        // A long name shows its beginning, as the list and the info line do.
        datasetNameEdit->setCursorPosition(0);
    }

    // Calculations panel; then the re-run of the refinement and compensation whose flags a
    // restored session carries without their columns (it waits while a calculation runs).
    const std::vector<int> channels = fluorescenceChannels(reader);
    calculationsPanel->setDataset(entry);
    calculationsPanel->setRefineFluorescenceEnabled(!channels.empty());
    if (channels.size() >= 2) {
        calculationsPanel->setCrosstalkChannels(channels);
        if (entry->ctcApplied && entry->ctcChannels == channels && entry->spilloverMatrix.n_cols == channels.size())
            calculationsPanel->setCrosstalkMatrix(entry->spilloverMatrix, channels);
    }
    reapplyRestoredCalculations(entry, channels);
    calculationsPanel->setCompensateCrosstalkEnabled(channels.size() >= 2);
    const bool emodPossible = !isReservoirMeasurement(entry->metadata) && reader && reader->hasFeature("area_um") && reader->hasFeature("deform");
    calculationsPanel->setComputeEmodulusEnabled(emodPossible);
    calculationsPanel->setAssessQualityEnabled(entry->emodApplied);
    if (emodPossible)
        calculationsPanel->showEmodulusMetadata(entry->metadata, reader->hasFeature("temp"));
    calculationsPanel->setComputeFourierDeformEnabled(reader && reader->hasMask());
    calculationsPanel->setComputeImageFeaturesEnabled(reader && reader->hasImage() && reader->hasMask());
    updateFourierDeformAvailability();

    // Feature combos with the dataset's stored choices (no handler runs for them).
    {
        const QSignalBlocker bx(xFeatureCombo);
        const QSignalBlocker by(yFeatureCombo);
        const QSignalBlocker bc(colorFeatureCombo);
        populateFeatureCombos();
        const auto select = [](QComboBox* combo, const std::string& key) {
            if (key.empty())
                return;
            const int found = combo->findData(QString::fromStdString(key), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (found >= 0)
                combo->setCurrentIndex(found);
        };
        select(xFeatureCombo, entry->xFeatureName);
        select(yFeatureCombo, entry->yFeatureName);
        select(colorFeatureCombo, entry->colorFeatureName);
    }
    {
        const QSignalBlocker bm(contourModeCombo);
        const QSignalBlocker bi(contourInnerSpin);
        const QSignalBlocker bo(contourOuterSpin);
        contourModeCombo->setCurrentIndex(entry->contourMode);
        contourInnerSpin->setValue(entry->contourFraction1 * 100.0);
        contourOuterSpin->setValue(entry->contourFraction2 * 100.0);
    }
    {
        const QSignalBlocker bx(xScaleCombo);
        const QSignalBlocker by(yScaleCombo);
        xScaleCombo->setCurrentIndex(entry->scaleXMode);
        yScaleCombo->setCurrentIndex(entry->scaleYMode);
    }
    scatterPlot->setAxisScaleType(QwtPlot::xBottom, entry->scaleXMode);
    scatterPlot->setAxisScaleType(QwtPlot::yLeft, entry->scaleYMode);

    const bool anyEvents = hasEventsToShow(*entry);
    const std::uint64_t count = anyEvents ? reader->eventCount() : 0;
    {
        const QSignalBlocker blocker(eventSpin);
        eventSpin->setRange(0, count > 0 ? static_cast<int>(std::min<std::uint64_t>(count - 1, INT_MAX)) : 0);
        eventSpin->setEnabled(count > 0);
        if (entry->currentEventIndex >= 0 && static_cast<std::uint64_t>(entry->currentEventIndex) < count) {
            eventSpin->setValue(entry->currentEventIndex);
        } else {
            eventSpin->setValue(0);
            entry->currentEventIndex = 0;
        }
    }

    imageViewer->setMaskEnabled(reader && reader->hasMask());
    configureTracePlot();
    metadataTree->clear();
    if (metadataDock->isVisible())
        populateMetadataView();
    filterPanel->setDataset(entry);

    // Whatever the plot update then manages to show, the dataset is no longer loading.
    infoLabel->setText(QStringLiteral("Loaded: %1").arg(entry->displayName));
    const unsigned groupRefreshes = groupPanelRefreshCount;
    updatePlot();
    // An update that stopped early (no events, unreadable columns) did not bring the group
    // boxes to this dataset's reader.
    if (groupPanelRefreshCount == groupRefreshes)
        refreshFilterGroupPanel();

    if (entry->currentEventIndex >= 0) {
        const auto it = std::find(plottedEventIndices.begin(), plottedEventIndices.end(), entry->currentEventIndex);
        if (it != plottedEventIndices.end())
            scatterPlot->setHighlightedPoint(static_cast<int>(it - plottedEventIndices.begin()));
    }
    // Also without images: the event's traces and values are shown, the viewer says "No Image".
    if (anyEvents && entry->currentEventIndex >= 0) {
        displayEvent(entry->currentEventIndex);
    } else {
        imageViewer->clear();
        // The table must not keep the values of the dataset shown before.
        if (anyEvents)
            updateEventDataTable(entry->currentEventIndex);
        else
            eventDataTable->setRowCount(0);
    }
}

void MainWindow::saveCurrentDatasetState()
{
    if (activeIndex < 0 || activeIndex >= static_cast<int>(entries.size()))
        return;
    DatasetEntry& entry = *entries[static_cast<size_t>(activeIndex)];
    entry.xFeatureName = xFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    entry.yFeatureName = yFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    entry.colorFeatureName = colorFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    entry.currentEventIndex = eventSpin->value();
    entry.contourMode = contourModeCombo->currentIndex();
    entry.contourFraction1 = contourInnerSpin->value() / 100.0;
    entry.contourFraction2 = contourOuterSpin->value() / 100.0;
    entry.scaleXMode = xScaleCombo->currentIndex();
    entry.scaleYMode = yScaleCombo->currentIndex();
}

} // namespace Tervane3
