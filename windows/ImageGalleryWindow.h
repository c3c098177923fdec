// Pages of event images of one dataset, cut out around each cell: the events passing the
// dataset's effective filter, 25, 100 or 400 to a page, with an automatic or fixed cutout
// size and full-range, automatic or manual contrast. Reading, cutting and contrast run on
// the thread pool (GalleryRender); this window keeps one render and one automatic-contrast
// task at most and drops results that have become stale.
#pragma once

#include "windows/GalleryRender.h"

#include <QMainWindow>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace Tervane3 {

class DatasetHost;
struct DatasetEntry;
class GalleryGridWidget;
class PoolWatcher;

class ImageGalleryWindow : public QMainWindow
{
    Q_OBJECT

public:
    ImageGalleryWindow(DatasetHost* host, int datasetId, QWidget* parent = nullptr);
    // Stops and waits for both tasks before the members go.
    ~ImageGalleryWindow() override;

    // Rebuilds the event list from the dataset's current filter and starts again at page 1.
    void refresh();
    void renameDataset(int datasetId, const QString& name);
    // Closes the window when it shows that dataset.
    void removeDataset(int datasetId);
    // Switches to that dataset when the window follows the active dataset.
    void onActiveDatasetChanged(int datasetId);
    int shownDatasetId() const { return datasetId; }

    // The page render the window starts (the real one unless a test holds or counts them).
    using RenderFunction = std::function<GalleryRenderResult(GalleryRenderInput, std::shared_ptr<RTDCReader>,
                                                             std::shared_ptr<std::atomic<bool>>)>;
    void setRenderFunction(RenderFunction function) { renderFunction = std::move(function); }

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(ImageGalleryWindow* window);

public slots:
    void onPrevPage();
    void onNextPage();
    void onPageSizeChanged(int index);
    void onAutoCutoutToggled(bool on);
    void onCutoutSpinChanged();
    void onMarginChanged(int value);
    void onContrastModeChanged(int index);
    void onContrastValuesChanged();
    void onFollowActiveToggled(bool on);
    void onShowIdsToggled(bool on);
    void onExportPagePng();
    void onPageRenderFinished();
    void onAutoContrastFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class ImageGalleryWindowTestAccess;

    void setupUi();
    void setDataset(int id);
    void rebuildEventList();
    void updateAutoCutout();
    double featurePercentile99(const char* feature, double fallback) const;
    static double galleryPixelSize(const DatasetEntry* entry);
    void updatePageButtons();
    void updateInfoLabels();
    void updateContrastControls();
    int pageCount() const;
    // Empties the grid and makes any render in flight stale.
    void clearGrid();
    void requestRender();
    void recomputeAutoContrastIfNeeded();
    // The automatic limits no longer belong to the list: a running task's result is stale.
    void invalidateAutoContrast();

    DatasetHost* host = nullptr;
    int datasetId = -1;
    QString datasetName;
    std::vector<int> eventIndices;
    double pixelSize = 0.34;
    bool autoCutout = true;
    int cutoutWidth = 0;
    int cutoutHeight = 0;
    int margin = 5;
    int pageSize = 100;
    int currentPage = 0;
    bool followActive = false;
    bool showIds = true;

    // Render state.
    int contrastMode = 0;
    int manualLow = 0;
    int manualHigh = 255;
    bool autoContrastValid = false;
    int autoLow = 0;
    int autoHigh = 255;
    PoolWatcher* renderWatcher = nullptr;
    // Where the running render puts its page (a new slot per task).
    std::shared_ptr<GalleryRenderResult> renderSlot;
    int renderGeneration = 0;
    // A render task was started and its result not yet taken (the future may have finished
    // while its finished signal still waits in the event queue).
    bool renderRunning = false;
    bool renderPending = false;
    PoolWatcher* autoContrastWatcher = nullptr;
    std::shared_ptr<GalleryAutoContrastResult> autoContrastSlot;
    int autoContrastRequestId = 0;
    bool autoContrastRunning = false;
    // Set by closeEvent: no new task starts.
    bool closing = false;
    // Set by closing and destruction: tasks stop after the event in work.
    std::shared_ptr<std::atomic<bool>> stopTasks = std::make_shared<std::atomic<bool>>(false);
    RenderFunction renderFunction;

    GalleryGridWidget* grid = nullptr;
    QLabel* nameLabel = nullptr;
    QPushButton* prevButton = nullptr;
    QLabel* pageLabel = nullptr;
    QPushButton* nextButton = nullptr;
    QComboBox* pageSizeCombo = nullptr;
    QCheckBox* showIdsCheck = nullptr;
    QCheckBox* followActiveCheck = nullptr;
    QCheckBox* autoCutoutCheck = nullptr;
    QSpinBox* widthSpin = nullptr;
    QSpinBox* heightSpin = nullptr;
    QSpinBox* marginSpin = nullptr;
    QComboBox* contrastCombo = nullptr;
    QLabel* lowLabel = nullptr;
    QSpinBox* lowSpin = nullptr;
    QLabel* highLabel = nullptr;
    QSpinBox* highSpin = nullptr;
    QPushButton* exportButton = nullptr;
    QLabel* infoLabel = nullptr;
};

} // namespace Tervane3
