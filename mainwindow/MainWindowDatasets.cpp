// Opening measurements: the File > Open action, the interactive and the session road of
// adding one file, the list item of a new dataset, the takeover of filter and plot settings
// from the datasets already open, and copying the plot settings to every dataset.
#include "mainwindow/MainWindow.h"

#include "app/MeasurementProbeRunner.h"
#include "app/Prompts.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "app/DatasetEntry.h"
#include "mainwindow/DatasetLabel.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/HierarchicalPathLess.h"

#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QListWidgetItem>
#include <QStackedWidget>

#include <algorithm>

namespace Tervane3 {

namespace {

bool isDensityKey(const std::string& key)
{
    return key.rfind("__density_", 0) == 0;
}

// Plot settings of `from` taken over by `to`: the x and y feature each when to's file has
// it, the colouring when it is none, a density or a feature to's file has, and always the
// scale modes and the contour settings.
void takeOverPlotSettings(const DatasetEntry& from, DatasetEntry& to)
{
    if (to.reader) {
        const RTDCReader& reader = *to.reader;
        if (reader.hasFeature(from.xFeatureName))
            to.xFeatureName = from.xFeatureName;
        if (reader.hasFeature(from.yFeatureName))
            to.yFeatureName = from.yFeatureName;
        const std::string& color = from.colorFeatureName;
        if (color.empty() || isDensityKey(color) || reader.hasFeature(color))
            to.colorFeatureName = color;
    }
    to.copyScaleAndContourSettings(from);
}

std::string comboKey(const QComboBox* combo)
{
    return combo->currentData(Qt::UserRole).toString().toStdString();
}

} // namespace

void MainWindow::openFile()
{
    QStringList paths =
        prompts().getOpenFileNames(this, QStringLiteral("Open RT-DC File(s)"), QString(),
                                   QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
    if (paths.size() > 1)
        std::sort(paths.begin(), paths.end(), hierarchicalPathLess);
    for (const QString& path : paths)
        addDataset(path);
}

QString MainWindow::probeRefusal(const QString& path)
{
    // A child process opens the file first: a crash or hang of the HDF5 library on a damaged
    // file ends the probe, not this process with every open dataset.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ProbeVerdict verdict = probeMeasurementFile(path);
    QApplication::restoreOverrideCursor();
    if (verdict.outcome != ProbeVerdict::Outcome::Refused) {
        qInfo().noquote() << describeProbeVerdict(path, verdict);
        return QString();
    }
    for (const QString& message : verdict.messages)
        qWarning().noquote() << QStringLiteral("Probe of %1: %2").arg(path, message);
    qWarning().noquote() << describeProbeVerdict(path, verdict);
    return verdict.reason.isEmpty() ? QStringLiteral("The file is damaged.") : verdict.reason;
}

std::unique_ptr<DatasetEntry> MainWindow::openDatasetEntry(const QString& path)
{
    auto entry = std::make_unique<DatasetEntry>();
    // The id is used up even when the file then fails to open.
    entry->id = nextDatasetId++;
    entry->reader = std::make_shared<RTDCReader>();
    const std::string utf8 = path.toUtf8().toStdString();

    QString reason = probeRefusal(path);
    if (reason.isEmpty() && !entry->reader->open(utf8))
        reason = QString::fromStdString(entry->reader->openError());
    if (!reason.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Failed to open %1: %2").arg(path, reason);
        prompts().critical(this, QStringLiteral("Error"), QStringLiteral("Failed to open: ") + path + QLatin1Char('\n') + reason);
        return nullptr;
    }
    entry->filePath = utf8;
    entry->metadata = entry->reader->readMetadata();
    qInfo().noquote() << QStringLiteral("Opened %1: %2 events, %3 features")
                             .arg(path)
                             .arg(entry->reader->eventCount())
                             .arg(entry->reader->fileFeatureNames().size());
    return entry;
}

QString MainWindow::openingDisplayName(const DatasetEntry& entry, const QString& path)
{
    const auto changed = entry.metadata.exportInfo.find("changed sample name");
    if (changed != entry.metadata.exportInfo.end() && !changed->second.empty())
        return QString::fromStdString(changed->second);
    const auto sample = entry.metadata.experiment.find("sample");
    if (sample != entry.metadata.experiment.end() && !sample->second.empty())
        return QString::fromStdString(sample->second);
    return QFileInfo(path).fileName();
}

void MainWindow::addDataset(const QString& path, bool activate)
{
    const std::string utf8 = path.toUtf8().toStdString();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i]->filePath == utf8) {
            datasetList->setCurrentRow(static_cast<int>(i));
            // Asked for by name: the run of queued files goes on from this one.
            loadingShownId = entries[i]->id;
            return;
        }
    }
    if (preloadBusy) {
        pendingPathQueue.push(path);
        updateLoadingStatus();
        return;
    }

    std::unique_ptr<DatasetEntry> entry = openDatasetEntry(path);
    if (!entry)
        return;
    entry->displayName = openingDisplayName(*entry, path);
    DatasetEntry* added = entry.get();
    entries.push_back(std::move(entry));
    const int index = static_cast<int>(entries.size()) - 1;
    filterPanel->setDatasetCount(static_cast<int>(entries.size()));
    inheritViewSettings(added);
    addDatasetListItem(index);
    startPreload(index);
    // Activates the new dataset at once; it shows "Loading: ..." until its caching ends. A
    // queued file leaves the dataset on show until it is cached itself (onFeaturesLoaded),
    // unless nothing is on show.
    const bool noneActive = activeIndex < 0 || activeIndex >= static_cast<int>(entries.size());
    if (activate || (noneActive && !sessionLoading)) {
        loadingShownId = added->id;
        datasetList->setCurrentRow(index);
    }
}

int MainWindow::addSessionDataset(const QString& path)
{
    std::unique_ptr<DatasetEntry> entry = openDatasetEntry(path);
    if (!entry)
        return -1;
    // The session loader sets the saved name afterwards.
    entry->displayName = QFileInfo(path).fileName();
    const int id = entry->id;
    entries.push_back(std::move(entry));
    const int index = static_cast<int>(entries.size()) - 1;
    filterPanel->setDatasetCount(static_cast<int>(entries.size()));
    addDatasetListItem(index);
    startPreload(index);
    return id;
}

void MainWindow::addDatasetListItem(int index)
{
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return;
    const DatasetEntry* entry = entries[static_cast<size_t>(index)].get();
    auto* item = new QListWidgetItem(datasetLabel(entry));
    item->setData(Qt::UserRole, entry->id);
    item->setToolTip(QString::fromStdString(entry->filePath));
    datasetList->addItem(item);
    for (FilterGroupsMatrixWindow* window : matrixWindows)
        window->refresh();
    updateApplyToAllButton();
    if (datasetFolderViewActive())
        rebuildDatasetTree();
}

void MainWindow::inheritViewSettings(DatasetEntry* entry)
{
    if (!entry || entries.size() < 2)
        return;
    const DatasetEntry* reference = nullptr;
    if (activeIndex >= 0 && activeIndex < static_cast<int>(entries.size())) {
        reference = entries[static_cast<size_t>(activeIndex)].get();
        if (reference == entry)
            return;
    } else {
        for (const auto& other : entries) {
            if (other.get() != entry) {
                reference = other.get();
                break;
            }
        }
    }
    if (!reference)
        return;

    // Filter switch and combine mode: only when every other dataset agrees with the reference.
    bool sameEnabled = true;
    bool sameMode = true;
    for (const auto& other : entries) {
        if (other.get() == entry || other.get() == reference)
            continue;
        sameEnabled = sameEnabled && other->filter.isEnabled() == reference->filter.isEnabled();
        sameMode = sameMode && other->filter.combineMode() == reference->filter.combineMode();
    }
    if (sameEnabled)
        entry->filter.setEnabled(reference->filter.isEnabled());
    if (sameMode)
        entry->filter.setCombineMode(reference->filter.combineMode());

    // Rules that are shared across datasets (they carry a propagation id).
    for (const FilterRule& rule : reference->filter.rules) {
        if (!rule.propagationId.empty())
            entry->filter.addRule(rule);
    }

    if (plotSettingsShared(entry))
        takeOverPlotSettings(*reference, *entry);
}

bool MainWindow::plotSettingsShared(const DatasetEntry* exclude) const
{
    if (activeIndex < 0 || activeIndex >= static_cast<int>(entries.size()))
        return true;
    const DatasetEntry* active = entries[static_cast<size_t>(activeIndex)].get();
    const std::string x = comboKey(xFeatureCombo);
    const std::string y = comboKey(yFeatureCombo);
    const std::string color = comboKey(colorFeatureCombo);
    const int xMode = xScaleCombo->currentIndex();
    const int yMode = yScaleCombo->currentIndex();
    const int contour = contourModeCombo->currentIndex();
    const double inner = contourInnerSpin->value() / 100.0;
    const double outer = contourOuterSpin->value() / 100.0;
    for (const auto& other : entries) {
        if (other.get() == active || other.get() == exclude)
            continue;
        // A NaN fraction compares unequal, so it counts as different.
        if (other->xFeatureName != x || other->yFeatureName != y || other->colorFeatureName != color ||
            other->scaleXMode != xMode || other->scaleYMode != yMode || other->contourMode != contour ||
            !(other->contourFraction1 == inner) || !(other->contourFraction2 == outer))
            return false;
    }
    return true;
}

void MainWindow::onApplyPlotSettingsToAll()
{
    if (activeIndex < 0 || activeIndex >= static_cast<int>(entries.size()))
        return;
    saveCurrentDatasetState();
    const DatasetEntry& active = *entries[static_cast<size_t>(activeIndex)];
    for (auto& other : entries) {
        if (other.get() != &active)
            takeOverPlotSettings(active, *other);
    }
    updatePlot();
    updateApplyToAllButton();
}

} // namespace Tervane3
