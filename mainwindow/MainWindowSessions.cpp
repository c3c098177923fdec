// Session files: saving the working state, clearing it, and loading it again in two phases
// (phase 1 checks each saved dataset and queues it for the ordinary background caching;
// phase 2, once the queues ran empty, restores duplicates, groups, per-dataset state, the
// main window and the tool windows). GUI thread only; the JSON objects, fingerprints and
// the file itself are io/SessionFile.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "app/Prompts.h"
#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "io/SessionFile.h"
#include "io/SessionStructure.h"
#include "mainwindow/DatasetLabel.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/DatasetTreeWidget.h"
#include "plots/ScatterPlot.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <vector>

namespace Tervane3 {

namespace {

// What a dataset computed while its session was loading: that describes the columns it
// shows, so it wins over the older record of the file.
struct CalculationRecord
{
    bool flRefinementApplied = false;
    bool ctcApplied = false;
    std::vector<int> ctcChannels;
    arma::mat spilloverMatrix;
    bool emodApplied = false;
    std::optional<EmodulusSettings> emodulusSettings;

    explicit CalculationRecord(const DatasetEntry& entry)
        : flRefinementApplied(entry.flRefinementApplied), ctcApplied(entry.ctcApplied), ctcChannels(entry.ctcChannels),
          spilloverMatrix(entry.spilloverMatrix), emodApplied(entry.emodApplied),
          emodulusSettings(entry.emodulusSettings)
    {
    }

    // A session's dataset starts with no flag set: each one set now was set by a
    // calculation that succeeded during the load.
    void keepIn(DatasetEntry& entry) const
    {
        if (flRefinementApplied)
            entry.flRefinementApplied = true;
        if (ctcApplied) {
            entry.ctcApplied = true;
            entry.ctcChannels = ctcChannels;
            entry.spilloverMatrix = spilloverMatrix;
        }
        if (emodApplied) {
            entry.emodApplied = true;
            entry.emodulusSettings = emodulusSettings;
        }
    }
};

const QString saveTitle = QStringLiteral("Save Session");
const QString loadTitle = QStringLiteral("Load Session");
const QString clearTitle = QStringLiteral("Clear Session");
const QString sessionFilter = QStringLiteral("Tervane3 Session (*.TN3)");

// The line of a confirmation box that names the files File > Open still has to open; empty
// when none waits.
QString waitingFilesLine(size_t waiting)
{
    if (waiting == 0)
        return QString();
    return waiting == 1 ? QStringLiteral("\n1 file waiting to open will not be opened.")
                        : QStringLiteral("\n%1 files waiting to open will not be opened.").arg(waiting);
}

} // namespace

// ---- saving ------------------------------------------------------------------------------

void MainWindow::saveSession()
{
    saveCurrentDatasetState();
    if (calculationBusy) {
        prompts().warning(this, saveTitle, QStringLiteral("A calculation is running. Save the session after it has finished."));
        return;
    }
    // A session still being loaded would be saved without the datasets that wait.
    if (sessionLoading) {
        prompts().warning(this, saveTitle,
                          QStringLiteral("A session is still being loaded. Save it after loading has finished."));
        return;
    }
    if (entries.empty()) {
        prompts().information(this, saveTitle, QStringLiteral("No datasets loaded to save."));
        return;
    }
    QString path = prompts().getSaveFileName(this, saveTitle, QString(), sessionFilter, nullptr);
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".TN3"), Qt::CaseInsensitive))
        path += QStringLiteral(".TN3");
    const QDir folder = QFileInfo(path).absoluteDir();

    QJsonObject root;
    root.insert(QStringLiteral("version"), sessionFormatVersion);
    root.insert(QStringLiteral("savedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    QJsonObject window;
    window.insert(QStringLiteral("activeDatasetIndex"), activeIndex);
    window.insert(QStringLiteral("colorMapIndex"), currentColorMap);
    window.insert(QStringLiteral("expertMode"), expertModeAction && expertModeAction->isChecked());
    root.insert(QStringLiteral("mainWindow"), window);
    QJsonArray datasets;
    for (size_t p = 0; p < entries.size(); ++p) {
        // The first earlier dataset that shares the reader is the source of a duplicate.
        int duplicateOf = -1;
        for (size_t q = 0; q < p && duplicateOf < 0; ++q) {
            if (entries[q]->reader && entries[q]->reader == entries[p]->reader)
                duplicateOf = static_cast<int>(q);
        }
        datasets.append(datasetToJson(*entries[p], folder, duplicateOf));
    }
    root.insert(QStringLiteral("datasets"), datasets);
    QJsonArray groups;
    for (const auto& group : groupModel.groups())
        groups.append(filterGroupToJson(*group));
    root.insert(QStringLiteral("filterGroups"), groups);
    root.insert(QStringLiteral("nextGroupId"), groupModel.nextGroupId());
    QJsonArray combine;
    for (const CombinePlotWindow* w : combineWindows)
        combine.append(w->toJson(entries));
    root.insert(QStringLiteral("combineWindows"), combine);
    QJsonArray statistics;
    for (const StatisticalEvalWindow* w : statEvalWindows)
        statistics.append(w->toJson(entries));
    root.insert(QStringLiteral("statEvalWindows"), statistics);

    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!writeSessionFile(absolute, root)) {
        prompts().critical(this, QStringLiteral("Error"), QStringLiteral("Failed to write session file: ") + absolute);
        return;
    }
    infoLabel->setText(QStringLiteral("Session saved: ") + QFileInfo(path).fileName());
}

// ---- clearing ----------------------------------------------------------------------------

void MainWindow::clearSession()
{
    // The menu's entry always asks, also while a session is being loaded.
    clearSessionState(true);
}

void MainWindow::resetSessionLoad()
{
    // Only the session's own queue: paths from File > Open opened during a load are opened
    // after it (clearing ends them itself).
    sessionDatasetQueue = {};
    sessionIndexToDatasetId.clear();
    pendingSessionState = QJsonObject();
    sessionLoading = false;
}

bool MainWindow::clearSessionState(bool ask)
{
    if (calculationBusy) {
        prompts().warning(this, clearTitle,
                          QStringLiteral("A calculation is running on the open datasets. "
                                         "Clear the session after it has finished."));
        return false;
    }
    if (entries.empty() && combineWindows.empty() && statEvalWindows.empty() && pendingPathQueue.empty()) {
        // Nothing to close; a load that waits for its first dataset still ends here.
        resetSessionLoad();
        return true;
    }
    if (ask) {
        const int clicked = prompts().message(
            this, Prompts::Icon::Warning, clearTitle,
            QStringLiteral("This will close all datasets, combine plot windows\nand statistical evaluation windows.%1"
                           "\nUnsaved changes will be lost.\n\nContinue?")
                .arg(waitingFilesLine(pendingPathQueue.size())),
            {{QStringLiteral("OK"), QMessageBox::AcceptRole}, {QStringLiteral("Cancel"), QMessageBox::RejectRole, true}});
        if (clicked != 0)
            return false;
    }

    // The caching task reads a dataset through a plain pointer: let it end first, with the
    // wait that makes its writes visible here (as closing the window does).
    if (preloadBusy) {
        preloadWatcher->wait();
        preloadBusy = false;
    }
    preloadIndexQueue = {};
    preloadIndex = -1;
    // Files still waiting to be opened belong to the session that ends: none is opened
    // into the empty window or into a session loaded next.
    pendingPathQueue = {};
    cachingProgressTimer->stop();
    cachingProgress.reset();
    loadingStarted = 0;
    loadingShownId = -1;
    resetSessionLoad();
    updateLoadingStatus();

    closeToolWindows();
    activeIndex = -1;
    filterPanel->setDataset(nullptr);
    calculationsPanel->setDataset(nullptr);
    entries.clear();
    {
        const QSignalBlocker blockList(datasetList);
        datasetList->clear();
    }
    if (datasetTree) {
        const QSignalBlocker blockTree(datasetTree);
        datasetTree->clear();
    }
    filterPanel->setDatasetCount(0);
    groupModel.clear();
    lastPlotDatasetIndex = -1;
    clearDatasetViews();
    // The empty window as it starts, not as the last dataset left it.
    infoLabel->setText(startUpInfoText());
    updateApplyToAllButton();
    scheduleMemoryRelease();
    return true;
}

// ---- loading, phase 1 --------------------------------------------------------------------

void MainWindow::loadSession()
{
    if (calculationBusy) {
        prompts().warning(this, loadTitle, QStringLiteral("A calculation is running. Load the session after it has finished."));
        return;
    }
    if (!entries.empty() || !combineWindows.empty() || !pendingPathQueue.empty()) {
        const QString waiting = waitingFilesLine(pendingPathQueue.size());
        const QString text =
            waiting.isEmpty()
                ? QStringLiteral("Loading a session will close all current datasets\nand windows. Unsaved changes will "
                                 "be lost.\n\nContinue?")
                : QStringLiteral("Loading a session will close all current datasets\nand windows.%1\nUnsaved changes "
                                 "will be lost.\n\nContinue?")
                      .arg(waiting);
        const int clicked = prompts().message(
            this, Prompts::Icon::Warning, loadTitle, text,
            {{QStringLiteral("OK"), QMessageBox::AcceptRole}, {QStringLiteral("Cancel"), QMessageBox::RejectRole, true}});
        if (clicked != 0)
            return;
    }
    const QString path = prompts().getOpenFileName(this, loadTitle, QString(),
                                                   sessionFilter + QStringLiteral(";;All Files (*)"), nullptr);
    if (path.isEmpty())
        return;
    // A refused file leaves a line in the log too: the box is gone once closed.
    const auto refuse = [this, &path](const QString& text) {
        QString line = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (!line.contains(path))
            line = path + QStringLiteral(": ") + line;
        qWarning().noquote() << QStringLiteral("Load Session refused ") + line;
        prompts().critical(this, QStringLiteral("Error"), text);
    };
    QString error;
    const std::optional<SessionDocument> document = readSessionFile(path, &error);
    if (!document) {
        refuse(error);
        return;
    }
    if (document->version <= 0) {
        refuse(QStringLiteral("Unrecognized session file format."));
        return;
    }
    // A list or object of the wrong type would otherwise be read as empty, after the
    // current session had been closed.
    const QString problem = sessionStructureProblem(document->root);
    if (!problem.isEmpty()) {
        refuse(QStringLiteral("Invalid session file: %1\n%2.").arg(path, problem));
        return;
    }
    if (document->version > sessionFormatVersion)
        prompts().warning(this, QStringLiteral("Warning"),
                          QStringLiteral("This session was saved by a newer version of Tervane3.\n"
                                         "Some settings may not be restored correctly."));
    // Everything before this point leaves the current session as it was.
    if (!clearSessionState(false))
        return;

    const QDir folder = QFileInfo(path).absoluteDir();
    const QJsonArray datasets = document->root.value(QStringLiteral("datasets")).toArray();
    std::vector<std::pair<int, QString>> accepted;
    for (int i = 0; i < datasets.size(); ++i) {
        const QJsonObject object = datasets.at(i).toObject();
        if (object.value(QStringLiteral("isDuplicate")).toBool(false))
            continue;
        const QString displayName = object.value(QStringLiteral("displayName")).toString();
        const QString located =
            locateMissingDataset(object.value(QStringLiteral("filePath")).toString(), folder, displayName);
        if (located.isEmpty())
            continue;
        // Probed like any file, then a reader of its own, closed again: the dataset opens
        // for real when its turn comes.
        QString reason = probeRefusal(located);
        RTDCReader check;
        if (reason.isEmpty() && !check.open(located.toUtf8().toStdString()))
            reason = QString::fromStdString(check.openError());
        if (!reason.isEmpty()) {
            prompts().warning(this, QStringLiteral("Error"), QStringLiteral("Failed to open: ") + located + QLatin1Char('\n') + reason);
            continue;
        }
        const bool load =
            checkDatasetFingerprint(check, object.value(QStringLiteral("fingerprint")).toObject(), displayName);
        check.close();
        if (load)
            accepted.emplace_back(i, located);
    }

    sessionLoading = true;
    sessionIndexToDatasetId.clear();
    pendingSessionState = document->root;
    for (const auto& item : accepted)
        sessionDatasetQueue.push(item);
    // Adds the first dataset; the caching chain takes the rest and completes the load once
    // every queue is empty (at once when nothing was accepted).
    continueWaitingWork();
}

QString MainWindow::locateMissingDataset(const QString& filePath, const QDir& sessionFolder, const QString& displayName)
{
    const QString absolute = sessionAbsolutePath(filePath, sessionFolder);
    if (!filePath.isEmpty() && QFileInfo(absolute).isFile())
        return absolute;
    const int clicked = prompts().message(
        this, Prompts::Icon::Warning, QStringLiteral("Dataset Not Found"),
        QStringLiteral("Cannot find dataset:\n%1\n\nDisplay name: %2\n\nWould you like to locate it manually?")
            .arg(absolute, displayName),
        {{QStringLiteral("Yes"), QMessageBox::YesRole}, {QStringLiteral("No"), QMessageBox::NoRole}});
    if (clicked != 0)
        return QString();
    return prompts().getOpenFileName(this, QStringLiteral("Locate: %1").arg(displayName), sessionFolder.absolutePath(),
                                     QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"), nullptr);
}

bool MainWindow::checkDatasetFingerprint(const RTDCReader& freshReader, const QJsonObject& fingerprint,
                                         const QString& displayName)
{
    const DatasetFingerprint saved = fingerprintFromJson(fingerprint);
    const DatasetFingerprint found = fingerprintOf(freshReader, QString::fromStdString(freshReader.path()));
    if (saved == found)
        return true;
    const int clicked = prompts().message(
        this, Prompts::Icon::Warning, QStringLiteral("Dataset Changed"),
        QStringLiteral("Dataset \"%1\" may have changed since the session was saved.\n\nExpected: %2 events, %3 "
                       "bytes\nFound: %4 events, %5 bytes\n\nContinue loading this dataset?")
            .arg(displayName)
            .arg(saved.eventCount)
            .arg(saved.fileSize)
            .arg(found.eventCount)
            .arg(found.fileSize),
        {{QStringLiteral("Yes"), QMessageBox::YesRole}, {QStringLiteral("No"), QMessageBox::NoRole}});
    return clicked == 0;
}

// ---- loading, phase 2 --------------------------------------------------------------------

void MainWindow::restoreSessionDuplicates()
{
    const QJsonArray datasets = pendingSessionState.value(QStringLiteral("datasets")).toArray();
    for (int i = 0; i < datasets.size(); ++i) {
        const QJsonObject object = datasets.at(i).toObject();
        if (!object.value(QStringLiteral("isDuplicate")).toBool(false))
            continue;
        const int source = object.value(QStringLiteral("duplicateOfIndex")).toInt(-1);
        const auto found = sessionIndexToDatasetId.find(source);
        const DatasetEntry* original = found == sessionIndexToDatasetId.end() ? nullptr : findDatasetById(found->second);
        // A duplicate whose source was skipped goes with it, without a message.
        if (!original)
            continue;
        auto copy = std::make_unique<DatasetEntry>();
        copy->id = nextDatasetId++;
        copy->reader = original->reader;
        copy->metadata = original->metadata;
        copy->filePath = original->filePath;
        copy->displayName = object.value(QStringLiteral("displayName")).toString();
        copy->featuresLoaded = true;
        sessionIndexToDatasetId[i] = copy->id;
        entries.push_back(std::move(copy));
        filterPanel->setDatasetCount(static_cast<int>(entries.size()));
        addDatasetListItem(static_cast<int>(entries.size()) - 1);
    }
    restoreSessionOrder();
}

void MainWindow::restoreSessionOrder()
{
    // The saved order first (skipped datasets left out, duplicates at their places), then
    // whatever was opened while the session loaded, in its own order.
    const int activeId = activeDatasetId();
    std::vector<std::unique_ptr<DatasetEntry>> ordered;
    ordered.reserve(entries.size());
    for (const auto& [sessionIndex, id] : sessionIndexToDatasetId) {
        (void)sessionIndex;
        for (auto& entry : entries) {
            if (entry && entry->id == id)
                ordered.push_back(std::move(entry));
        }
    }
    for (auto& entry : entries) {
        if (entry)
            ordered.push_back(std::move(entry));
    }
    const bool changed = [&] {
        for (size_t i = 0; i < ordered.size(); ++i)
            if (datasetList->item(static_cast<int>(i)) &&
                datasetList->item(static_cast<int>(i))->data(Qt::UserRole).toInt() != ordered[i]->id)
                return true;
        return false;
    }();
    entries = std::move(ordered);
    if (!changed)
        return;
    activeIndex = datasetIndexOfId(activeId);
    lastPlotDatasetIndex = -1;
    {
        const QSignalBlocker blocker(datasetList);
        datasetList->clear();
        for (int i = 0; i < static_cast<int>(entries.size()); ++i)
            addDatasetListItem(i);
        datasetList->setCurrentRow(activeIndex);
    }
}

void MainWindow::applySessionState()
{
    const QJsonObject& root = pendingSessionState;
    groupModel.restore(filterGroupsFromJson(root.value(QStringLiteral("filterGroups"))),
                       std::clamp(root.value(QStringLiteral("nextGroupId")).toInt(0), 0, sessionMaxGroupId + 1));

    const QJsonArray datasets = root.value(QStringLiteral("datasets")).toArray();
    std::vector<const DatasetEntry*> modulusComputedDuringLoad;
    for (const auto& [sessionIndex, id] : sessionIndexToDatasetId) {
        DatasetEntry* entry = findDatasetById(id);
        if (!entry || sessionIndex < 0 || sessionIndex >= datasets.size())
            continue;
        const CalculationRecord computedDuringLoad(*entry);
        applyDatasetJson(*entry, datasets.at(sessionIndex).toObject());
        computedDuringLoad.keepIn(*entry);
        if (computedDuringLoad.emodApplied)
            modulusComputedDuringLoad.push_back(entry);
        const int row = datasetIndexOfId(id);
        if (QListWidgetItem* item = datasetList->item(row))
            item->setText(datasetLabel(entry));
    }
    // Duplicates made just now share that column.
    for (const DatasetEntry* entry : modulusComputedDuringLoad)
        shareModulusSettings(entries, *entry);
    if (datasetFolderViewActive())
        rebuildDatasetTree();

    const QJsonObject window = root.value(QStringLiteral("mainWindow")).toObject();
    int colorMap = window.value(QStringLiteral("colorMapIndex")).toInt(0);
    if (colorMap < 0 || colorMap >= static_cast<int>(colorMapGroup->actions().size()))
        colorMap = 0;
    currentColorMap = colorMap;
    scatterPlot->setColorMap(colorMap);
    for (QAction* action : colorMapGroup->actions())
        action->setChecked(action->data().toInt() == colorMap);
    if (expertModeAction)
        expertModeAction->setChecked(window.value(QStringLiteral("expertMode")).toBool(false));

    // The active dataset by its saved index and the id it got, whatever its position now.
    int activeRow = -1;
    const auto activeFound = sessionIndexToDatasetId.find(window.value(QStringLiteral("activeDatasetIndex")).toInt(0));
    if (activeFound != sessionIndexToDatasetId.end())
        activeRow = datasetIndexOfId(activeFound->second);
    if (activeRow < 0 && !entries.empty())
        activeRow = 0;
    if (activeRow >= 0) {
        activeIndex = -1;
        {
            const QSignalBlocker blocker(datasetList);
            datasetList->setCurrentRow(activeRow);
        }
        activateDataset(activeRow);
    }

    for (const QJsonValue& value : root.value(QStringLiteral("combineWindows")).toArray()) {
        CombinePlotWindow* w = createCombinePlotWindow();
        w->restoreFromJson(value.toObject(), sessionIndexToDatasetId);
        w->show();
    }
    for (const QJsonValue& value : root.value(QStringLiteral("statEvalWindows")).toArray()) {
        StatisticalEvalWindow* w = createStatisticalEvalWindow();
        w->restoreFromJson(value.toObject(), sessionIndexToDatasetId);
        w->show();
    }

    for (const auto& entry : entries)
        nextDatasetId = std::max(nextDatasetId, entry->id + 1);
    const int restored = static_cast<int>(entries.size());
    resetSessionLoad();
    // Also with no dataset: the restored groups appear.
    refreshFilterGroupPanel();
    infoLabel->setText(QStringLiteral("Session loaded: %1 dataset(s)").arg(restored));
    restoreSessionModuli();
}

} // namespace Tervane3
