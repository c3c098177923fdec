// Several datasets side by side in a grid of plots, in one plot or as contour overlays.
//
// First version: the empty window with the interface the main window uses
// (opening, closing, refresh, rename, removal, session state); its content comes with its own work.
#pragma once

#include <QMainWindow>

#include <QJsonObject>

#include <map>
#include <memory>
#include <vector>

namespace Tervane3 {

class DatasetHost;
struct DatasetEntry;

class CombinePlotWindow : public QMainWindow
{
    Q_OBJECT

public:
    CombinePlotWindow(DatasetHost* host, QWidget* parent = nullptr);

    // Re-reads the datasets, filters and features of the main window.
    void refresh();
    void renameDataset(int datasetId, const QString& name);
    void removeDataset(int datasetId);

    // The window's state for the session file; datasets are referred to by their position
    // in the given list.
    QJsonObject toJson(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const;
    void restoreFromJson(const QJsonObject& state, const std::map<int, int>& sessionIndexToDatasetId);

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(CombinePlotWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    DatasetHost* host = nullptr;
};

} // namespace Tervane3
