// The combine plot window's dataset rows: adding datasets ("Add...", "Add All", drops),
// default features, rebuilding, removing, renaming, synchronising features and scales, and
// reordering rows by drag and drop with automatic scrolling of the list.
//
// Rows are rebuilt while one of them may still be on the call stack (its "×" button, its
// colour prompt, its drag): old rows are taken out of the list and deleted later, and the
// entries are re-read from the rows by dataset id, never by position.
#include "windows/CombinePlotWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "core/RTDCReader.h"
#include "windows/CombineDatasetWidget.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QDragMoveEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace Tervane3 {

namespace {

std::vector<std::string> scalarFeatureKeys(const RTDCReader* reader)
{
    std::vector<std::string> keys;
    if (!reader)
        return keys;
    for (const std::string& name : reader->featureNames())
        if (isScalarFeatureName(name))
            keys.push_back(name);
    return keys;
}

} // namespace

void CombinePlotWindow::addDataset(int datasetId)
{
    if (std::any_of(entries.begin(), entries.end(),
                    [datasetId](const CombineDatasetEntry& e) { return e.datasetId == datasetId; }))
        return;
    host->saveCurrentDatasetState();
    const DatasetEntry* dataset = host->findDatasetById(datasetId);
    if (!dataset || !dataset->featuresLoaded)
        return;
    appendEntry(*dataset);
    rebuildDatasetWidgets();
    scheduleRebuild();
}

void CombinePlotWindow::addAllDatasets()
{
    host->saveCurrentDatasetState();
    for (const auto& dataset : host->datasets()) {
        if (!dataset || !dataset->featuresLoaded)
            continue;
        const int id = dataset->id;
        if (std::any_of(entries.begin(), entries.end(), [id](const CombineDatasetEntry& e) { return e.datasetId == id; }))
            continue;
        appendEntry(*dataset);
    }
    rebuildDatasetWidgets();
    scheduleRebuild();
}

void CombinePlotWindow::appendEntry(const DatasetEntry& dataset)
{
    readEntriesFromRows();
    CombineDatasetEntry entry;
    entry.datasetId = dataset.id;
    entry.xFeature = dataset.xFeatureName;
    entry.yFeature = dataset.yFeatureName;
    entry.scaleXMode = dataset.scaleXMode;
    entry.scaleYMode = dataset.scaleYMode;
    // Synced features hold for every row: a new row starts on the first row's features.
    if (syncFeaturesCheck->isChecked() && !entries.empty()) {
        entry.xFeature = entries.front().xFeature;
        entry.yFeature = entries.front().yFeature;
    }
    if (entry.xFeature.empty() || entry.yFeature.empty())
        fillDefaultFeatures(entry, dataset.reader.get());
    entry.color = combineDatasetColor(static_cast<int>(entries.size()));
    entries.push_back(entry);
}

void CombinePlotWindow::showAddDatasetsDialog()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Add Datasets"));
    dialog.setMinimumSize(350, 300);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Select datasets to add (Ctrl/Shift for multi-select):"), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("addDatasetsList"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const auto& dataset : host->datasets()) {
        if (!dataset || !dataset->featuresLoaded)
            continue;
        const int id = dataset->id;
        if (std::any_of(entries.begin(), entries.end(), [id](const CombineDatasetEntry& e) { return e.datasetId == id; }))
            continue;
        auto* item = new QListWidgetItem(dataset->displayName, list);
        item->setData(Qt::UserRole, id);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (prompts().execDialog(&dialog) != QDialog::Accepted)
        return;
    host->saveCurrentDatasetState();
    std::vector<int> ids;
    for (const QListWidgetItem* item : list->selectedItems())
        ids.push_back(item->data(Qt::UserRole).toInt());
    for (int id : ids)
        addDataset(id);
}

void CombinePlotWindow::fillDefaultFeatures(CombineDatasetEntry& entry, const RTDCReader* reader) const
{
    if (!reader)
        return;
    if (entry.xFeature.empty() && reader->hasFeature("area_um"))
        entry.xFeature = "area_um";
    if (entry.yFeature.empty() && reader->hasFeature("deform"))
        entry.yFeature = "deform";
    if (!entry.xFeature.empty() && !entry.yFeature.empty())
        return;
    for (const std::string& name : scalarFeatureKeys(reader)) {
        if (entry.xFeature.empty()) {
            entry.xFeature = name;
            continue;
        }
        if (entry.yFeature.empty()) {
            entry.yFeature = name;
            break;
        }
    }
}

void CombinePlotWindow::readEntriesFromRows()
{
    for (const CombineDatasetWidget* row : rows) {
        const int id = row->datasetId();
        for (CombineDatasetEntry& entry : entries) {
            if (entry.datasetId == id) {
                entry = row->settings();
                break;
            }
        }
    }
}

void CombinePlotWindow::rebuildDatasetWidgets()
{
    readEntriesFromRows();
    // Old rows may still be on the call stack (a button click, a prompt, a drag).
    for (CombineDatasetWidget* row : rows) {
        listLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    rows.clear();
    while (QLayoutItem* item = listLayout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }

    for (const CombineDatasetEntry& entry : entries) {
        const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
        if (!dataset)
            continue;
        const RTDCReader* reader = dataset->reader.get();
        auto* row = new CombineDatasetWidget(entry, scalarFeatureKeys(reader), reader, listContainer);
        row->setDisplayName(dataset->displayName);
        connect(row, &CombineDatasetWidget::settingsChanged, this, &CombinePlotWindow::onDatasetSettingsChanged);
        connect(row, &CombineDatasetWidget::removeRequested, this, &CombinePlotWindow::onDatasetRemoveRequested);
        connect(row, &CombineDatasetWidget::dropReceived, this, &CombinePlotWindow::onDatasetReorder);
        listLayout->addWidget(row);
        rows.push_back(row);
    }
    if (entries.empty()) {
        auto* placeholder = new QLabel(QStringLiteral("Drag datasets here\nfrom the main window"), listContainer);
        placeholder->setObjectName(QStringLiteral("datasetPlaceholder"));
        placeholder->setAlignment(Qt::AlignCenter);
        placeholder->setStyleSheet(QStringLiteral(
            "QLabel { color: #787c82; padding: 20px; border: 2px dashed #c8cbd0; border-radius: 8px; }"));
        listLayout->addWidget(placeholder);
    }
}

int CombinePlotWindow::rowIndexOf(const QObject* row) const
{
    const auto found = std::find(rows.begin(), rows.end(), row);
    return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
}

void CombinePlotWindow::onDatasetRemoveRequested()
{
    const int index = rowIndexOf(sender());
    if (index < 0)
        return;
    removeDataset(rows[static_cast<size_t>(index)]->datasetId());
}

void CombinePlotWindow::removeDataset(int datasetId)
{
    readEntriesFromRows();
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [datasetId](const CombineDatasetEntry& e) { return e.datasetId == datasetId; });
    if (found == entries.end())
        return;
    entries.erase(found);
    rebuildDatasetWidgets();
    scheduleRebuild();
}

void CombinePlotWindow::renameDataset(int datasetId, const QString& name)
{
    for (CombineDatasetWidget* row : rows) {
        if (row->datasetId() == datasetId) {
            row->setDisplayName(name);
            break;
        }
    }
    scheduleRebuild();
}

void CombinePlotWindow::onDatasetSettingsChanged()
{
    readEntriesFromRows();
    const auto* source = qobject_cast<CombineDatasetWidget*>(sender());
    const bool isRow = source && rowIndexOf(source) >= 0;
    if (syncFeaturesCheck->isChecked() && isRow) {
        const CombineDatasetEntry s = source->settings();
        for (CombineDatasetWidget* row : rows)
            if (row != source)
                row->setFeatures(s.xFeature, s.yFeature);
    }
    if (syncAxesCheck->isChecked()) {
        if (!isRow) {
            scheduleRebuild();
            return;
        }
        const CombineDatasetEntry s = source->settings();
        for (CombineDatasetWidget* row : rows)
            if (row != source)
                row->setScaleModes(s.scaleXMode, s.scaleYMode);
    } else if (!isRow) {
        scheduleRebuild();
        return;
    }
    if (syncFeaturesCheck->isChecked() || syncAxesCheck->isChecked())
        readEntriesFromRows();
    scheduleRebuild();
}

void CombinePlotWindow::onSyncFeaturesToggled(bool on)
{
    if (!on) {
        // The overlay modes need one pair of features for all datasets.
        if (displayMode == CombineArrayContour || displayMode == CombineSamePlot) {
            const QSignalBlocker blocker(syncFeaturesCheck);
            syncFeaturesCheck->setChecked(true);
        }
        return;
    }
    if (rows.empty())
        return;
    const CombineDatasetEntry first = rows.front()->settings();
    for (size_t i = 1; i < rows.size(); ++i)
        rows[i]->setFeatures(first.xFeature, first.yFeature);
    readEntriesFromRows();
    scheduleRebuild();
}

void CombinePlotWindow::onSyncAxesToggled(bool on)
{
    manualLimitsCheck->setEnabled(on);
    if (on) {
        if (!rows.empty()) {
            const CombineDatasetEntry first = rows.front()->settings();
            for (size_t i = 1; i < rows.size(); ++i)
                rows[i]->setScaleModes(first.scaleXMode, first.scaleYMode);
            readEntriesFromRows();
        }
        // Nothing plotted: the boxes keep their values.
        if (const std::optional<CombineAxisRange> range = syncedAxisRange()) {
            const QSignalBlocker bx0(xMinSpin), bx1(xMaxSpin), by0(yMinSpin), by1(yMaxSpin);
            xMinSpin->setValue(range->xMin);
            xMaxSpin->setValue(range->xMax);
            yMinSpin->setValue(range->yMin);
            yMaxSpin->setValue(range->yMax);
        }
    } else {
        manualLimitsCheck->setChecked(false);
    }
    scheduleRebuild();
}

void CombinePlotWindow::onDatasetReorder(int sourceDatasetId, CombineDatasetWidget* target, bool before)
{
    if (!target || rowIndexOf(target) < 0)
        return;
    const int targetId = target->datasetId();
    if (targetId == sourceDatasetId)
        return;
    // Applied from the event loop, after the drop handler of the target row has returned.
    QTimer::singleShot(0, this, [this, sourceDatasetId, targetId, before]() {
        const auto indexOf = [this](int id) {
            for (size_t i = 0; i < entries.size(); ++i)
                if (entries[i].datasetId == id)
                    return static_cast<int>(i);
            return -1;
        };
        const int from = indexOf(sourceDatasetId);
        const int to = indexOf(targetId);
        if (from >= 0 && to >= 0 && from != to)
            moveDatasetEntry(from, to, before);
    });
}

void CombinePlotWindow::moveDatasetEntry(int from, int to, bool before)
{
    const int count = static_cast<int>(entries.size());
    if (from < 0 || from >= count || to < 0 || to >= count)
        return;
    readEntriesFromRows();
    const int insert = combineMoveTarget(from, to, before);
    if (insert == from)
        return;
    const CombineDatasetEntry moved = entries[static_cast<size_t>(from)];
    entries.erase(entries.begin() + from);
    entries.insert(entries.begin() + insert, moved);
    rebuildDatasetWidgets();
    scheduleRebuild();
}

bool CombinePlotWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (!datasetScroll || watched != datasetScroll->viewport())
        return QMainWindow::eventFilter(watched, event);
    const QString format = QString::fromLatin1(combineReorderMimeType);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (!drag->mimeData()->hasFormat(format))
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!drag->mimeData()->hasFormat(format))
            return false;
        drag->acceptProposedAction();
        const int y = drag->pos().y();
        const int h = datasetScroll->viewport()->height();
        if (y < 40 || y > h - 40) {
            autoScrollStep = y < 40 ? -6 : 6;
            if (!autoScrollTimer->isActive())
                autoScrollTimer->start();
        } else {
            autoScrollStep = 0;
            autoScrollTimer->stop();
        }
        return true;
    }
    case QEvent::DragLeave:
    case QEvent::Drop:
        autoScrollStep = 0;
        autoScrollTimer->stop();
        return false;
    default:
        return false;
    }
}

void CombinePlotWindow::autoScrollTick()
{
    if (autoScrollStep == 0) {
        autoScrollTimer->stop();
        return;
    }
    QScrollBar* bar = datasetScroll->verticalScrollBar();
    bar->setValue(bar->value() + autoScrollStep);
}

} // namespace Tervane3
