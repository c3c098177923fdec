// Exports of the main window: the handlers delegate to the export flows of io/, which reach
// the datasets through the window's dataset host.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "core/RTDCReader.h"
#include "io/EventExport.h"
#include "io/PlotFileExport.h"
#include "io/StatSummaryExport.h"
#include "plots/ScatterPlot.h"

#include <QAction>

#include <algorithm>

namespace Tervane3 {

void MainWindow::exportData()
{
    // Expert mode has no switch: the action is never created, so it reads as off.
    const bool expertMode = expertModeAction && expertModeAction->isChecked();
    EventExporter(*this, this).exportData(expertMode, lastExportOptions, hasLastExportOptions);
}

bool MainWindow::exportDataset(const DatasetEntry& dataset, const ExportOptions& options)
{
    return EventExporter(*this, this).exportDataset(dataset, options);
}

bool MainWindow::exportDatasetTsv(const DatasetEntry& dataset, const std::string& path,
                                  const std::vector<std::string>& features, const std::vector<int>& selection)
{
    return EventExporter(*this, this).exportDatasetTsv(dataset, path, features, selection);
}

bool MainWindow::exportDatasetAvi(const DatasetEntry& dataset, const std::string& path,
                                  const std::vector<int>& selection, bool aviMjpeg, bool skipDuplicateFrames,
                                  bool forReanalysis)
{
    return EventExporter(*this, this).exportDatasetAvi(dataset, path, selection, aviMjpeg, skipDuplicateFrames,
                                                       forReanalysis);
}

void MainWindow::exportPlot()
{
    const DatasetEntry* entry = activeEntry();
    if (!entry || !entry->reader || !entry->reader->isOpen())
        return;
    const QString offered = QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
    QString filter;
    QString path = prompts().getSaveFileName(this, QStringLiteral("Export Plot"), QString(), offered, &filter);
    if (path.isEmpty())
        return;
    // The writer chooses the format by the extension: a typed ".pdf" is a PDF, whatever the type box says.
    path = ensureOfferedExtension(path, filter, offered);

    // The picture shows neither the current event's highlight nor the gates.
    scatterPlot->hideHighlight();
    scatterPlot->clearFilterPolygons();
    const bool written = exportPlotFile(scatterPlot, path);
    drawPolygonGates();
    // The highlight comes back where the plot update puts it: at the current event's plotted
    // position, or nowhere when that event is not plotted.
    if (entry->currentEventIndex >= 0) {
        const auto found = std::find(plottedEventIndices.begin(), plottedEventIndices.end(), entry->currentEventIndex);
        if (found != plottedEventIndices.end())
            scatterPlot->setHighlightedPoint(static_cast<int>(found - plottedEventIndices.begin()));
    }
    if (!written)
        prompts().critical(this, QStringLiteral("Export Error"), QStringLiteral("Failed to export the plot to: %1").arg(path));
}

void MainWindow::exportStatSummary()
{
    StatSummaryExporter(*this, this).exportStatSummary(lastStatSummaryOptions, hasLastStatSummaryOptions);
}

} // namespace Tervane3
