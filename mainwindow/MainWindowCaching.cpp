// Background caching of new datasets and the activation of a dataset: one caching task at a
// time on the global thread pool, the queues that wait for it, what runs when a task ends,
// the order in which every panel follows the active dataset, and storing the plot-setting
// widgets back into the active entry.
#include "mainwindow/MainWindow.h"

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
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <exception>

namespace Tervane3 {

void MainWindow::startPreload(int index)
{
    if (preloadBusy) {
        preloadIndexQueue.push(index);
        return;
    }
    if (closing || index < 0 || index >= static_cast<int>(entries.size()))
        return;
    preloadBusy = true;
    preloadIndex = index;
    const DatasetEntry& entry = *entries[static_cast<size_t>(index)];
    infoLabel->setText(QStringLiteral("Loading: %1 - Caching features...").arg(entry.displayName));

    // The task holds the reader by plain pointer: the dataset being cached cannot be removed
    // and closing waits for the task, so the reader outlives it. Every file access of the
    // reader holds the process-wide HDF5 lock; the GUI thread may read the same reader.
    RTDCReader* reader = entry.reader.get();
    preloadWatcher->start([reader] {
        if (!reader)
            return;
        try {
            reader->preloadAllFeatures();
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
    if (closing)
        return;
    if (finished >= 0 && finished < static_cast<int>(entries.size())) {
        entries[static_cast<size_t>(finished)]->featuresLoaded = true;
        if (finished == activeIndex)
            refreshForActiveDataset();
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
            addDataset(path);
            continue;
        }
        if (sessionLoading) {
            restoreSessionDuplicates();
            applySessionState();
        }
        break;
    }
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
    filterPanel->setDataset(entry);
    // Also for a dataset still being cached: no group box keeps the previous reader.
    refreshFilterGroupPanel();
    for (ImageGalleryWindow* gallery : galleryWindows)
        gallery->onActiveDatasetChanged(entry->id);

    if (entry->featuresLoaded) {
        refreshForActiveDataset();
        return;
    }
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

void MainWindow::showNoEvents()
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

    updatePlot();

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
