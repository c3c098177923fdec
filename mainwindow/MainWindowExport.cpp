// Exports of the main window: the handlers delegate to the export flows of io/, which reach
// the datasets through the window's dataset host.
#include "mainwindow/MainWindow.h"

#include "io/EventExport.h"

#include <QAction>

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

} // namespace Tervane3
