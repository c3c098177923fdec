// Several datasets compared side by side: one plot per dataset in a grid ("Array"), the
// same grid with one plot that overlays every dataset's density contours ("Array +
// Contour"), or all datasets in one plot ("Same Plot"); exported at a physical size, with a
// table of plot statistics and its state in session files.
//
// The window never owns datasets: it keeps one CombineDatasetEntry (dataset id and the
// row's choices) per row and looks the datasets up through its DatasetHost on every use.
// Every change schedules one rebuild of the plots on a zero-delay timer, so a burst of
// changes (adding several datasets, a session restore, a refresh of the main window while
// the user edits) draws once; the plot data of unchanged datasets come from the cache.
// GUI thread only. Members are split over several files:
//   CombinePlotWindow.cpp          construction, docks, menus, refresh, closing
//   CombinePlotWindowRows.cpp      adding, removing, renaming, syncing and reordering rows
//   CombinePlotWindowPlots.cpp     the plots, axes, limits, isoelastic lines, log warnings
//   CombinePlotWindowExport.cpp    export settings, preview and the export of the plots
//   CombinePlotWindowStats.cpp     the plot statistics table and its export
//   CombinePlotWindowSession.cpp   toJson and restoreFromJson
#pragma once

#include "calc/EModulusParams.h"
#include "calc/IsoelasticLine.h"
#include "windows/CombineDatasetEntry.h"
#include "windows/CombineExportSettings.h"
#include "windows/CombinePlotCache.h"
#include "windows/CombinePlotHelpers.h"

#include <QJsonObject>
#include <QMainWindow>
#include <QPointer>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QScrollArea;
class QSpinBox;
class QTableWidget;
class QTimer;
class QVBoxLayout;
class QwtPlot;
class QwtPlotRenderer;

namespace Tervane3 {

class AspectRatioLabel;
class CombineDatasetWidget;
class DatasetHost;
class RTDCReader;
struct DatasetEntry;

enum CombineDisplayMode : int { CombineArray = 0, CombineArrayContour = 1, CombineSamePlot = 2 };
enum CombineColorMode : int { CombineHeatmap = 0, CombineDatasetColor = 1, CombineUniformColor = 2 };

class CombinePlotWindow : public QMainWindow
{
    Q_OBJECT

public:
    CombinePlotWindow(DatasetHost* host, QWidget* parent = nullptr);
    ~CombinePlotWindow() override;

    // Called by the main window after each plot update, finished calculation and colour-map
    // change: rebuilds the rows and schedules a rebuild of the plots.
    void refresh();
    void renameDataset(int datasetId, const QString& name);
    // Called before the main window deletes the dataset.
    void removeDataset(int datasetId);

    // The window's state for the session file; datasets are referred to by their position
    // in the given list.
    QJsonObject toJson(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const;
    // Restores a freshly built window: every key falls back to its default, values are
    // clamped to their controls, rows whose dataset is not in the map are dropped. Asks
    // nothing and builds the plots once.
    void restoreFromJson(const QJsonObject& state, const std::map<int, int>& sessionIndexToDatasetId);

    // Rows.
    void addDataset(int datasetId);
    void addAllDatasets();
    void showAddDatasetsDialog();
    const std::vector<CombineDatasetEntry>& datasetEntries() const { return entries; }
    const std::vector<CombineDatasetWidget*>& datasetRows() const { return rows; }
    // Moves the entry at `from` before or after the one at `to`.
    void moveDatasetEntry(int from, int to, bool before);

    // Plots. rebuildPlots runs now; every other trigger schedules it.
    void rebuildPlots();
    void scheduleRebuild();
    bool rebuildPending() const;
    int rebuildCount() const { return rebuilds; }
    // Plots drawn anew by the last rebuild (a plot whose inputs did not change is kept).
    int plotsDrawnLastRebuild() const { return plotsDrawn; }
    const std::vector<QwtPlot*>& plotWidgets() const { return plots; }
    std::pair<int, int> gridDimensions(int count) const;
    // The common range of all plotted data in the synced scale modes; empty when nothing
    // is plotted.
    std::optional<CombineAxisRange> syncedAxisRange();
    const CombinePlotCache& plotCache() const { return cache; }
    int isoelasticComputations() const { return isoComputations; }

    // Export and statistics.
    const CombineExportSettings& currentExportSettings() const { return exportSettings; }
    const std::vector<AspectRatioLabel*>& exportPreviewLabels() const { return previewLabels; }
    // Refills the statistics table while its dock is visible.
    void updateStatisticsTable();
    // Writes the statistics of the plots as they are (the table refilled first).
    void exportStatistics();

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(CombinePlotWindow* window);

public slots:
    void onDisplayModeChanged(int mode);
    void onColorModeChanged(int mode);
    void onSyncFeaturesToggled(bool on);
    void onSyncAxesToggled(bool on);
    void onAxisLimitsChanged();
    void onDatasetSettingsChanged();
    void onDatasetRemoveRequested();
    void onDatasetReorder(int sourceDatasetId, CombineDatasetWidget* target, bool before);
    void exportPlots();
    void setExportPreview(bool on);
    void onExportSettingsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Construction.
    void setupUi();
    void setupSettingsDock();
    void setupDatasetsDock();
    void setupExportDock();
    void setupStatisticsDock();
    void setupMenus();
    void showExportSettings();
    // The statistics table from the current plots, whether or not its dock is shown.
    void fillStatisticsTable();

    // Rows.
    void appendEntry(const DatasetEntry& dataset);
    void fillDefaultFeatures(CombineDatasetEntry& entry, const RTDCReader* reader) const;
    void readEntriesFromRows();
    void rebuildDatasetWidgets();
    int rowIndexOf(const QObject* row) const;
    void autoScrollTick();

    // Plots.
    void clearPlots();
    // What a plot shows, as text: a plot whose key is unchanged is kept by the next rebuild.
    QString settingsKey(const std::optional<CombineAxisRange>& synced) const;
    QString rowKey(size_t index, const CombinePlotData& plotted) const;
    QwtPlot* createCombinePlot(QWidget* parent) const;
    bool heatmap() const;
    std::optional<CombineContourRequest> contourRequest(int xMode, int yMode) const;
    CombinePlotData collectPlotData(const DatasetEntry* dataset, const CombineDatasetEntry& entry,
                                    const std::optional<CombineContourRequest>& contours = std::nullopt);
    void drawDataset(QwtPlot* plot, const CombinePlotData& plotted, const CombineDatasetEntry& entry,
                     std::pair<int, int> axisModes);
    void drawContourLines(QwtPlot* plot, const std::vector<ContourLevel>& levels, const QColor& color) const;
    void drawSamePlot(QwtPlot* plot, const std::vector<CombinePlotData>& rowData);
    void drawContourOverlay(QwtPlot* plot, const std::vector<CombinePlotData>& rowData);
    void addLegend(QwtPlot* plot, const std::vector<std::pair<QString, QColor>>& items) const;
    void setSizedAxisTitle(QwtPlot* plot, int axis, const QString& text) const;
    std::pair<int, int> scaleModesForPlot(int index) const;
    void applyScaleEngines(QwtPlot* plot, int xMode, int yMode) const;
    void applyAxisLimits(QwtPlot* plot, const std::optional<CombineAxisRange>& synced) const;
    void updateLogScaleWarnings(const std::vector<CombinePlotData>& rowData);
    void drawIsoelastics(QwtPlot* plot, const CombineDatasetEntry& entry);
    void drawIsoelasticLines(QwtPlot* plot, const std::vector<IsoelasticLine>& lines, bool swapAxes,
                             bool showLabels) const;
    const std::vector<IsoelasticLine>& isoelasticLinesFor(const DatasetEntry& dataset);

    // Export.
    void applyExportSettings(QwtPlot* plot) const;
    void prepareRenderer(QwtPlotRenderer& renderer) const;
    void renderExportPreview();
    void clearExportPreview();
    // Writes the plots into one file of cols x rows cells at the export size; false (and
    // the "Export Error" box) when the file cannot be written.
    bool writePlotsFile(const QString& path, const QString& format, const std::vector<QwtPlot*>& cellPlots,
                        int cols, int cellRows, const QwtPlotRenderer& renderer);

    DatasetHost* host = nullptr;
    std::vector<CombineDatasetEntry> entries;
    int displayMode = CombineArray;
    int colorMode = CombineDatasetColor;
    std::vector<CombineDatasetWidget*> rows;
    QTimer* autoScrollTimer = nullptr;
    int autoScrollStep = 0;
    std::vector<QwtPlot*> plots;
    bool previewEnabled = false;
    std::vector<AspectRatioLabel*> previewLabels;
    CombineExportSettings exportSettings;
    // Set while the export controls are being filled from exportSettings.
    bool showingExportSettings = false;

    QTimer* rebuildTimer = nullptr;
    int rebuilds = 0;
    int plotsDrawn = 0;
    // Keys of `plots`, same order; empty when the plots may not be kept (after the export
    // look was applied to them).
    std::vector<QString> plotKeys;
    CombinePlotCache cache;
    // Isoelastic lines of every Young's-modulus input set met so far.
    std::vector<std::pair<EModulusParams, std::vector<IsoelasticLine>>> isoCache;
    int isoComputations = 0;

    // Central area.
    QScrollArea* plotScroll = nullptr;
    QWidget* plotContainer = nullptr;
    QGridLayout* plotGrid = nullptr;

    // "Settings" dock.
    QDockWidget* settingsDock = nullptr;
    QComboBox* displayCombo = nullptr;
    QComboBox* colorCombo = nullptr;
    QCheckBox* syncFeaturesCheck = nullptr;
    QCheckBox* showLegendCheck = nullptr;
    QCheckBox* syncAxesCheck = nullptr;
    QCheckBox* manualLimitsCheck = nullptr;
    QDoubleSpinBox* xMinSpin = nullptr;
    QDoubleSpinBox* xMaxSpin = nullptr;
    QDoubleSpinBox* yMinSpin = nullptr;
    QDoubleSpinBox* yMaxSpin = nullptr;
    QComboBox* contourCombo = nullptr;
    QDoubleSpinBox* innerSpin = nullptr;
    QDoubleSpinBox* outerSpin = nullptr;
    QCheckBox* isoelasticsCheck = nullptr;
    QCheckBox* isoLabelsCheck = nullptr;
    QCheckBox* manualArrayCheck = nullptr;
    QWidget* arraySizeBox = nullptr;
    QSpinBox* colsSpin = nullptr;
    QSpinBox* rowsSpin = nullptr;
    QCheckBox* showCountCheck = nullptr;

    // "Datasets" dock.
    QDockWidget* datasetsDock = nullptr;
    QScrollArea* datasetScroll = nullptr;
    QWidget* listContainer = nullptr;
    QVBoxLayout* listLayout = nullptr;

    // "Export Settings" dock.
    QDockWidget* exportDock = nullptr;
    QSpinBox* tickLabelSpin = nullptr;
    QSpinBox* axisLabelSpin = nullptr;
    QCheckBox* showTitleCheck = nullptr;
    QSpinBox* titleSizeSpin = nullptr;
    QCheckBox* titleBoldCheck = nullptr;
    QCheckBox* titleColorCheck = nullptr;
    QSpinBox* widthSpin = nullptr;
    QSpinBox* heightSpin = nullptr;
    QSpinBox* pointSizeSpin = nullptr;
    QDoubleSpinBox* axisWidthSpin = nullptr;
    QCheckBox* gridCheck = nullptr;
    QCheckBox* rightTopCheck = nullptr;
    QLabel* uniformColorLabel = nullptr;
    QComboBox* uniformColorCombo = nullptr;

    // "Plot Statistics" dock.
    QDockWidget* statsDock = nullptr;
    QTableWidget* statsTable = nullptr;

    QAction* previewAction = nullptr;
};

} // namespace Tervane3
