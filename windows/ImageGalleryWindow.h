// Pages of event images of one dataset, cut out around each cell.
//
// First version: the empty window with the interface the main window uses
// (opening, closing, refresh, rename, removal); its content comes with its own work.
#pragma once

#include <QMainWindow>

namespace Tervane3 {

class DatasetHost;

class ImageGalleryWindow : public QMainWindow
{
    Q_OBJECT

public:
    ImageGalleryWindow(DatasetHost* host, int datasetId, QWidget* parent = nullptr);

    // Re-reads the datasets, filters and features of the main window.
    void refresh();
    void renameDataset(int datasetId, const QString& name);
    void removeDataset(int datasetId);

    // Switches to that dataset when the window follows the active dataset.
    void onActiveDatasetChanged(int datasetId);
    int shownDatasetId() const { return datasetId; }

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(ImageGalleryWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    DatasetHost* host = nullptr;
    int datasetId = -1;
};

} // namespace Tervane3
