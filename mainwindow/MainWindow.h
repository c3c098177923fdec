// The application's main window and the owner of all session state: the open datasets, the
// tool windows and the background tasks. Built in three steps (setupUi, setupMenus,
// setupConnections); its members are split over several source files:
//   MainWindow.cpp             construction, docks, dataset lookup, closing
//   MainWindowMenus.cpp        the menu bar, colour maps, manual and About
//   MainWindowConnections.cpp  the table of signal connections
//   MainWindowBackground.cpp   tool-window lists and the background calculation launcher
//   MainWindowReports.cpp      update checks, the error box and feedback reports
//   MainWindowDatasets.cpp     opening measurements and the takeover of settings
//   MainWindowCaching.cpp      background caching and the activation of a dataset
//   MainWindowDatasetOps.cpp   dataset views, drops, renaming, removing, moving, duplicating
//   MainWindowPlot.cpp         the main plot update
//   MainWindowFilterGroups.cpp filter groups, the effective filter, the filter panel's
//                              handlers and the coalesced plot update after filter edits
//   MainWindowPolygonGates.cpp drawing and editing polygon gates of datasets and groups
//   MainWindowRulePropagation.cpp rules kept in step across datasets, their highlights,
//                              and rules from a measurement's acquisition limits
//   MainWindowFilterGroupFiles.cpp export and import of filter-group files
//   MainWindowEventDisplay.cpp the current event: image, traces, feature values
//   MainWindowMetadata.cpp     the metadata view
//   MainWindowCalculations.cpp the calculation requests, their finish functions, the quality
//                              assessment and the re-application of restored calculations
//   MainWindowExport.cpp       exports of events, the plot and statistical summaries
//   MainWindowSessions.cpp     saving, clearing and loading session files
//   MainWindowDimRed.cpp       dimension-reduction runs, applying, saving and loading references
#pragma once

#include "app/DatasetHost.h"
#include "core/PoolRun.h"
#include "filters/FilterGroupList.h"
#include "filters/FilterGroupsMatrixHost.h"
#include "io/ExportOptions.h"
#include "io/StatSummaryOptions.h"

#include <QFutureWatcher>
#include <QJsonObject>
#include <QMainWindow>
#include <QPolygonF>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTimer;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class QDir;
class QUrl;

namespace Tervane3 {

struct CalculationReport;
struct CalculationTarget;
struct CachingProgress;
struct CalculationTask;
struct DatasetEntry;
struct DatasetFolderNode;
struct DimRedOutcome;
struct DimRedReference;
struct UmapParams;
struct FilterRule;
class EventFilter;
class RTDCReader;
class CalculationsDockWidget;
class CombinePlotWindow;
class DatasetListWidget;
class DatasetTreeWidget;
class EModulus;
class FeedbackSender;
class FilterDockWidget;
class FilterGroupsMatrixWindow;
class FLCompensation;
class FLRefinement;
class FourierDeform;
class ImageFeatures;
class ImageGalleryWindow;
class ImageViewer;
class MemoryReleaser;
class ScatterPlot;
class StatisticalEvalWindow;
class StatisticsDockWidget;
class TracePlot;
class UpdateChecker;

class MainWindow : public QMainWindow, public DatasetHost, public FilterGroupsMatrixHost
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs `work` on the global thread pool and then `onFinished` on the GUI thread. A
    // request while a calculation runs is dropped: neither function runs. An exception that
    // leaves `work` is logged at critical level and shown in the error box after
    // `onFinished` has run (so the calculation's button comes back).
    void runBackgroundCalculation(std::function<void()> work, std::function<void()> onFinished);
    // The same for work that stops early once the flag it gets is set (the panel's Cancel
    // button sets it); the flag belongs to this run only.
    void runCancellableCalculation(std::function<void(const std::atomic<bool>& cancel)> work,
                                   std::function<void()> onFinished);
    // Progress from a worker: the calculation panel's bar takes the format ("Dataset 1 of 3 —
    // %p%") or value on the GUI thread, in posting order. Any thread; never waits.
    void postProgressFormat(const QString& format);
    void postProgressValue(int value);

    // Starts an update check; a silent check reports only a newer, not ignored version.
    void checkForUpdates(bool silent);
    // Offers the feedback report; an empty title and message give a report without error.
    void sendErrorReport(const QString& title, const QString& message);
    // The plain-text session summary of feedback reports; never empty.
    QString buildDiagnosticsSummary() const;

    // Tells the calculations panel which deformation sources the active dataset offers.
    void updateFourierDeformAvailability();

    // Channel numbers N of the reader's "fl<N>_max" features, ascending by value; empty for
    // a null reader.
    static std::vector<int> fluorescenceChannels(const RTDCReader* reader);

    // All datasets in list order (a dataset's position is its index in the session file).
    const std::vector<std::unique_ptr<DatasetEntry>>& datasets() const override { return entries; }
    // Redraws the main plot (the host service of docks and tool windows).
    void requestPlotUpdate() override;
    // The calculations panel's Young's-modulus inputs for a dataset and the calculator's
    // isoelastic lines (host services of the combine plots).
    EModulusParams isoelasticParams(const DatasetEntry& dataset) const override;
    std::vector<IsoelasticLine> isoelasticLines(const EModulusParams& params) override;

    // Filter groups (MainWindowFilterGroups.cpp). Each change of the rules or the switches
    // updates the main plot through the coalesced filter update; adding and renaming do not.
    const std::vector<std::unique_ptr<FilterGroup>>& filterGroups() const override { return groupModel.groups(); }
    FilterGroup* findFilterGroupById(int id) const { return groupModel.find(id); }
    // A new group, off in every open dataset; an empty name gives "Filter group <id + 1>".
    int addFilterGroup(const std::string& name = std::string());
    void removeFilterGroup(int id);
    void renameFilterGroup(int id, const std::string& name);
    // The group stores a copy without propagation id.
    void addRuleToGroup(int groupId, const FilterRule& rule);
    // Keeps the group boxes in place (the edit came from one of them).
    void updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule);
    void removeRuleFromGroup(int groupId, int ruleIndex);
    bool isGroupEnabled(const DatasetEntry* dataset, int groupId) const override;
    void setGroupEnabled(int datasetId, int groupId, bool enabled) override;
    void setGroupEnabledInAll(int groupId, bool enabled) override;
    // Rebuilds the filter panel's group boxes for the active dataset.
    void refreshFilterGroupPanel();

signals:
    // A main plot update ran to its end (points, overlays, views and panels follow the
    // active dataset).
    void plotUpdated();

public slots:
    // Errors caught by the application object (queued connection): one box at a time.
    void onUnhandledException(const QString& title, const QString& message);

    // Datasets.
    DatasetEntry* findDatasetByPath(const std::string& filePath) const;
    DatasetEntry* findDatasetById(int id) const override;
    int activeDatasetId() const override;
    void openFile();
    void saveCurrentDatasetState() override;
    // The dataset's own filter followed by the rules of the filter groups switched on for
    // it; a default filter for null.
    EventFilter buildEffectiveFilter(const DatasetEntry* dataset) const override;
    void onFeaturesLoaded();
    void onDatasetSelected(int row);
    bool datasetFolderViewActive() const override;
    int datasetFolderDepth() const override;
    void removeDataset();
    void duplicateDataset();
    void onRenameFinished();

    // Main plot and event display.
    void refreshFeaturesAndPlot();
    void updateFeatureSelection();
    void updateContours();
    void onPointClicked(int index);
    void onEventSpinBoxChanged(int value);
    void onMaskToggled(bool checked);
    void showMetadata();

    // Frame accessors.
    int colorMapIndex() const override { return currentColorMap; }
    CalculationsDockWidget* calcDock() const { return calculationsPanel; }
    EModulus* emodulus() const { return emodulusCalculator; }

    // Tool windows.
    void openCombinePlotWindow();
    void openStatisticalEvalWindow();
    void openImageGalleryWindow();
    void openFilterGroupsMatrixWindow();

    // Filters.
    void onFilterChanged();
    void onApplyFilterToAll();
    void onApplyRuleToAll(int ruleIndex);
    void onUpdateRuleToAll(int ruleIndex);
    void onUncheckRuleInAll(int ruleIndex);
    void onCheckRuleInAll(int ruleIndex);
    void onDeleteRuleFromAll(int ruleIndex);
    void onEnabledChangedForAll(bool enabled);
    void onCombineModeChangedForAll(int mode);
    void onPolygonCompleted(const QPolygonF& polygon);
    void onPolygonEditRequested(int ruleIndex, bool on);
    void onPolygonEdited(int id, const QPolygonF& polygon);
    void onPolygonEditingStopped(int id);
    void onImportMeasurementFilters(bool toAll);

    // Sessions and exports.
    void saveSession();
    void clearSession();
    void loadSession();
    void exportData();
    void exportPlot();
    void exportStatSummary();

    // Calculations.
    void onRefineFluorescence();
    void onCompensateCrosstalk();
    void onComputeEmodulus();
    void onAssessEmodQuality();
    void onComputeFourierDeform();
    void onComputeImageFeatures();
    void onCalcFinished();
    // The panel's Cancel button: the running calculation stops after the event in work.
    void onCancelCalculation();
    void onComputeDimReduction();
    void onSaveDimRedReference();
    void onLoadDimRedReference();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The first time: remembers the widths the layout gives the dock areas.
    void showEvent(QShowEvent* event) override;
    // .rtdc files and folders dropped onto the window are opened (MainWindowDatasetOps.cpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class MainWindowTestAccess;

    void setupUi();
    void setupMenus();
    void setupConnections();
    void setupDatasetsDock();
    void updateDockTitleBars();

    // Menus.
    void onColorMapChosen(QAction* action);
    void showManual();
    void showAbout();
    static QStringList manualCandidates();

    // Update check results.
    void onUpdateAvailable(const QString& latestVersion, const QString& downloadUrl,
                           const QString& notes);
    void onUpToDate(const QString& currentVersion);
    void onUpdateCheckFailed(const QString& errorMessage);

    // Tool-window list handlers of windowClosed.
    void onCombineWindowClosed(CombinePlotWindow* window);
    void onStatEvalWindowClosed(StatisticalEvalWindow* window);
    void onGalleryWindowClosed(ImageGalleryWindow* window);
    void onMatrixWindowClosed(FilterGroupsMatrixWindow* window);
    void closeToolWindows();
    // Clears the calculators' stop flags: only when a run starts, before anything runs it.
    void clearCalculatorStops();

    // Blocks (window disabled, busy cursor) until the caching and calculation tasks that
    // may still use the datasets have ended; called before the datasets are torn down.
    void waitForBackgroundTasks();

    // Dataset views and list changes (MainWindowDatasetOps.cpp).
    void moveDataset(int from, int to);
    void onDatasetTreeReorder(int fromId, int toId, bool after);
    void onDatasetListContextMenu(const QPoint& pos);
    void onDatasetTreeContextMenu(const QPoint& pos);
    void onDatasetViewModeChanged(int index);
    void onFolderDepthChanged(int depth);
    void onDatasetTreeCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    // Items of a folder-tree node and its children; returns the active dataset's item if made.
    QTreeWidgetItem* addNodeItems(const DatasetFolderNode& node, QTreeWidgetItem* parent);
    // "Duplicate Dataset" and "Remove Dataset" for the list's current row.
    void showDatasetContextMenu(const QPoint& globalPos);
    // Position of the first dataset with the id; -1 when none.
    int datasetIndexOfId(int id) const;
    // The .rtdc files named by dropped URLs (folders searched recursively), in opening order.
    static QStringList collectDroppedMeasurements(const QList<QUrl>& urls);
    // Every view of the active dataset emptied and the plot settings, axes and status line
    // as in a new window: no dataset is left.
    void clearDatasetViews();
    // The shown docks at the widths of their areas when the window was first shown.
    void resetDockWidths();
    QList<QDockWidget*> allDocks() const;
    // The info line of a window without datasets, as it starts.
    static QString startUpInfoText();
    // Returns the memory of closed datasets to the system, off the GUI thread, once the event
    // loop has run the deferred deletions of the widgets that still held their readers.
    // Coalesced.
    void scheduleMemoryRelease();

    // Export of filtered events (MainWindowExport.cpp): one dataset, and its formats; each
    // true when the file was written completely.
    bool exportDataset(const DatasetEntry& dataset, const ExportOptions& options);
    bool exportDatasetTsv(const DatasetEntry& dataset, const std::string& path,
                          const std::vector<std::string>& features, const std::vector<int>& selection);
    bool exportDatasetAvi(const DatasetEntry& dataset, const std::string& path,
                          const std::vector<int>& selection, bool aviMjpeg, bool skipDuplicateFrames,
                          bool forReanalysis);

    // Handlers of the filter panel's group boxes (MainWindowFilterGroups.cpp) and of group
    // gates and drawing (MainWindowPolygonGates.cpp).
    void onPolygonDrawingStopped();
    void onAddFilterGroupRequested();
    void onRenameFilterGroupRequested(int groupId, const QString& name);
    void onDeleteFilterGroupRequested(int groupId);
    void onGroupEnableChanged(int groupId, bool enabled);
    void onGroupEnablePropagateRequested(int groupId, bool enabled);
    void onAddRuleToGroupRequested(int groupId);
    void onAddPolygonToGroupRequested(int groupId);
    void onGroupRuleChanged(int groupId, int ruleIndex, const FilterRule& rule);
    void onGroupRuleRemoved(int groupId, int ruleIndex);
    void onGroupPolygonEditRequested(int groupId, int ruleIndex, bool on);
    // Filter-group files (MainWindowFilterGroupFiles.cpp).
    void importFilterGroups();
    void exportFilterGroups();
    // The chooser of the groups to export: their ids in list order; empty when cancelled.
    std::vector<int> chooseFilterGroupsToExport(const std::vector<const FilterGroup*>& groups);

    // Event display, traces and metadata (MainWindowEventDisplay.cpp, MainWindowMetadata.cpp).
    // Image, traces and feature values of one event of the active dataset.
    void displayEvent(int eventIndex);
    void updateEventDataTable(int eventIndex);
    // Channels of the trace plot from the active dataset's metadata; hides it without any.
    void configureTracePlot();
    void displayEventTraces(int eventIndex);
    // Rebuilds the metadata tree for the active dataset (one bold row per section).
    void populateMetadataView();
    void addMetadataSection(const QString& title, const std::map<std::string, std::string>& section);
    void onMetadataDockVisibilityChanged(bool visible);

    // Opening measurements (MainWindowDatasets.cpp). A new entry takes the next id, also
    // when its file then fails to open (the "Error" box is shown and null returned).
    std::unique_ptr<DatasetEntry> openDatasetEntry(const QString& path);
    // Runs the probe program on the file; the reason in plain words when it refuses the
    // file, empty when the file may be opened (also when the probe could not run).
    QString probeRefusal(const QString& path);
    static QString openingDisplayName(const DatasetEntry& entry, const QString& path);
    // `activate` false: a file taken from the queue, shown once cached (onFeaturesLoaded).
    void addDataset(const QString& path, bool activate = true);
    int addSessionDataset(const QString& path);
    void addDatasetListItem(int index);
    void inheritViewSettings(DatasetEntry* entry);
    bool plotSettingsShared(const DatasetEntry* exclude) const;
    // "Apply Plot Settings to All Datasets".
    void onApplyPlotSettingsToAll();
    // Folder tree of the dataset view.
    void rebuildDatasetTree();

    // Background caching and activation (MainWindowCaching.cpp).
    void startPreload(int index);
    // The loading count and column progress in the status bar and the files waiting to open
    // below the dataset list (made with the datasets dock; hidden while nothing loads).
    void setupLoadingStatus(QWidget* datasetsPane, QVBoxLayout* datasetsLayout);
    void updateLoadingStatus();
    // The status bar's "Loading 3 of 10: <name>" for the dataset being cached ("Loading:
    // <name>" when it is the only one).
    QString loadingText(const DatasetEntry& entry) const;
    // Datasets and files still to be cached after the running task.
    int waitingToLoadCount() const;
    // Shows the columns read by the running caching task (read from its counts by a timer).
    void showCachingProgress();
    // Takes the next waiting dataset or file until a caching task runs; completes a session
    // load once nothing waits.
    void continueWaitingWork();
    void activateDataset(int index);
    // The plot (points, overlays, highlight), image, traces, feature table and statistics
    // emptied: the active dataset is still loading, or no dataset is left.
    void emptyPlotAndEventViews();
    // False for a dataset with nothing to plot: no events counted, or no scalar column
    // (an empty or missing /events group).
    static bool hasEventsToShow(const DatasetEntry& entry);
    // Empties the plot and the event views and forgets the plotted arrays and counts.
    void forgetPlottedEvents();
    // The views of such a dataset: empty, and "No events in <name>" in the info line.
    void showNoEvents();
    // The views of a dataset whose plotted columns cannot be read: empty, and the features
    // named in the info line.
    void showUnreadableAxes(const DatasetEntry& entry, const QStringList& features);
    void refreshForActiveDataset();
    // Session loading: duplicates and the saved state, once every queued dataset is open.
    void restoreSessionDuplicates();
    void applySessionState();

    // Session files (MainWindowSessions.cpp). Clearing asks first when `ask` is set; false
    // when it was refused (a calculation runs) or cancelled.
    bool clearSessionState(bool ask);
    // No session load in progress: its queues, saved state and ids are dropped.
    void resetSessionLoad();
    // After a load: the saved order of the datasets, then those opened meanwhile.
    void restoreSessionOrder();
    // The file of a saved dataset, asked for when it is not where the session says; empty
    // to skip the dataset.
    QString locateMissingDataset(const QString& filePath, const QDir& sessionFolder, const QString& displayName);
    // True when the freshly opened file matches the saved fingerprint or the user accepts it.
    bool checkDatasetFingerprint(const RTDCReader& freshReader, const QJsonObject& fingerprint,
                                 const QString& displayName);
    // A new tool window in its list, connected as one opened from the menu, not yet shown.
    CombinePlotWindow* createCombinePlotWindow();
    StatisticalEvalWindow* createStatisticalEvalWindow();

    // Calculations (MainWindowCalculations.cpp).
    // Active, loaded and no calculation running: a request may start. While one runs, a box
    // with the request's title says so and the answer is null.
    DatasetEntry* calculationRequestEntry(const QString& title);
    // Routes one calculator's progress to the panel's bar; replaces the connection of the
    // calculator's previous run, so each value reaches the bar once.
    template<typename Calculator>
    void connectProgress(Calculator* calculator, QMetaObject::Connection& connection);
    // Runs compute on each target's reader in the background (one dataset after another,
    // "Dataset k of n" on the bar when all datasets take part), then finish with the report.
    void runPerEventCalculation(std::vector<CalculationTarget> targets, bool all,
                                std::function<bool(RTDCReader* reader)> compute,
                                std::function<void(const CalculationReport& report)> finish);
    // What every finish function does after its own part: the one-shot test for the plot,
    // then beforeRefresh (when given), the feature lists and plot, the open combine and
    // statistics windows, and the status line and log for datasets that got nothing.
    void finishCalculation(const QString& calculation, const CalculationReport& report,
                           std::function<bool(const std::string&)> justComputed,
                           const std::function<void()>& beforeRefresh = nullptr);
    // Re-runs, once per dataset, the refinement and compensation whose flags a restored
    // session carries without their columns: the compensation alone at once on the GUI
    // thread, a refinement (then the compensation, which reads its result) as a background
    // run with progress. Nothing while a calculation runs (onCalcFinished catches up). True
    // when columns were computed at once.
    bool reapplyRestoredCalculations(DatasetEntry* entry, const std::vector<int>& channels);
    // The background re-run of a restored refinement (see above).
    void restoreRefinementInBackground(DatasetEntry* entry, const std::vector<int>& channels,
                                       bool thenCompensate);
    // The Young's modulus of each target with its parameters, in the background; a target
    // whose deformation column is a missing Fourier deformation gets that first. Records the
    // flags and the settings of every dataset that got its columns, then calls finish and
    // sets "Assess Quality" for the dataset shown.
    void runEmodulusCalculation(std::vector<CalculationTarget> targets,
                                std::function<void(const CalculationReport& report)> finish);
    // After a session load: datasets whose file records the Young's modulus without its
    // settings lose the flag (named in one box); the others get their column again in one
    // background run, now or once the running calculation has ended.
    void restoreSessionModuli();
    // Starts that run when one is pending and nothing else runs.
    void startModulusRestore();
    // A Cancel came during a run of a loaded session's restoration: the rest of it does not
    // start either. The moduli not computed again lose their flags; the status line names
    // what was not restored (notRestored, gathered before the run's finish function).
    void stopSessionRestoration(const QStringList& notRestored);
    // The restored calculations still missing their columns: refinements already tried,
    // moduli flagged with their settings.
    QStringList unrestoredCalculations() const;
    // A dataset's x, y and colour features as saved, when a restored calculation started.
    using SavedPlotFeatures = std::array<std::string, 3>;
    // Once a restored calculation gave a dataset its columns back: the saved plot choices
    // that name them (the panel fell back to others while they were missing) are taken up
    // again, on the panel when the dataset is shown, else in the dataset.
    void reselectRestoredPlotFeatures(int datasetId, const SavedPlotFeatures& saved,
                                      const std::function<bool(const std::string&)>& restored);

    // The refresh after a calculation changed columns: the one-shot test for the plot, then
    // beforeRefresh (when given), the feature lists and plot, the event table and the open
    // combine and statistics windows.
    void refreshAfterCalculation(std::function<bool(const std::string&)> justComputed,
                                 const std::function<void()>& beforeRefresh = nullptr);

    // Dimension reduction (MainWindowDimRed.cpp).
    void computeDimRedFromReference();
    void applyDimRedReferenceTo(const std::shared_ptr<const DimRedReference>& reference,
                                const std::vector<DatasetEntry*>& datasets, const QString& label);
    void computeDimReductionFinished(const DimRedOutcome& outcome, int method, const UmapParams& params,
                                     const QStringList& trainingNames);
    void applyDimRedReferenceFinished(const DimRedOutcome& outcome, const DimRedReference& reference,
                                      const QString& label, int datasetCount);
    // A run that failed or was stopped: the box says so and names the datasets that already
    // received new values (their columns are shown); no reference is installed.
    void reportInterruptedDimRed(const QString& title, const DimRedOutcome& outcome);

    // Main plot update (MainWindowPlot.cpp).
    DatasetEntry* activeEntry() const;
    // The active entry once its features are cached (what the plot may show); else null.
    DatasetEntry* shownEntry() const;
    void populateFeatureCombos();
    void updatePlot();
    void updateContourOverlay();
    void updateIsoelastics();
    void drawPolygonGates();
    void updateInfoLabel();
    void updateLogAxisWarning(QComboBox* scaleCombo, std::uint64_t hiddenCount, const QString& baseToolTip);
    void updateApplyToAllButton();

    // Filter-driven plot updates (MainWindowFilterGroups.cpp). Every filter edit stores its
    // rule at once but redraws through one restartable single-shot timer: 250 ms after a
    // bound typed into a spin box, at the next event-loop turn otherwise, so typing a
    // number gives one update. A batch made only of group-rule edits keeps the group boxes
    // (the box being edited keeps its focus); any other change in it rebuilds them.
    void scheduleFilterPlotUpdate(bool boundEdit, bool groupRuleEdit = false);
    void runFilterPlotUpdate();
    // Reports to the filter panel which all-datasets buttons to highlight.
    void updateFilterMixedState();
    // "Check in All" / "Uncheck in All" of a propagated rule (MainWindowRulePropagation.cpp).
    void setRuleEnabledInAll(int ruleIndex, bool enabled);

    // Polygon gates (MainWindowPolygonGates.cpp). Drawing and editing end whenever the gate
    // they belong to could change its place: another active dataset, other plotted
    // features, a rule list that loses rules.
    void endPolygonInteraction();
    // Ends an edit of a dataset gate when the active dataset's rules lost some since the
    // edit began (a row's "×", "Delete from All").
    void checkEditedGateStillInPlace();
    // Ends an edit of one of the group's gates (its rules are removed or renumbered).
    void endEditOfGroupGate(int groupId);

    // Widgets of the central column.
    QLabel* infoLabel = nullptr;
    QLineEdit* datasetNameEdit = nullptr;
    QComboBox* xFeatureCombo = nullptr;
    QComboBox* yFeatureCombo = nullptr;
    QComboBox* colorFeatureCombo = nullptr;
    QComboBox* xScaleCombo = nullptr;
    QComboBox* yScaleCombo = nullptr;
    QComboBox* contourModeCombo = nullptr;
    QDoubleSpinBox* contourInnerSpin = nullptr;
    QDoubleSpinBox* contourOuterSpin = nullptr;
    QCheckBox* isoelasticsCheck = nullptr;
    QCheckBox* isoLabelsCheck = nullptr;
    QPushButton* applyPlotSettingsButton = nullptr;
    QSpinBox* eventSpin = nullptr;
    QSplitter* plotSplitter = nullptr;
    ScatterPlot* scatterPlot = nullptr;
    QTabWidget* viewTabs = nullptr;
    ImageViewer* imageViewer = nullptr;
    TracePlot* tracePlot = nullptr;
    QTableWidget* eventDataTable = nullptr;
    // Status bar text (reference save and load report here).
    QLabel* statusLabel = nullptr;

    // Docks and their panels.
    QDockWidget* datasetsDock = nullptr;
    QDockWidget* filtersDock = nullptr;
    QDockWidget* statisticsDock = nullptr;
    QDockWidget* calculationsDock = nullptr;
    QDockWidget* metadataDock = nullptr;
    // Rows and names of datasets widen the docks; an emptied window gives them back the
    // minimum widths they were set up with and the width each dock area (Qt::DockWidgetArea)
    // had when the window was first shown.
    std::map<QDockWidget*, int> setUpDockMinimumWidths;
    std::map<int, int> startUpDockAreaWidths;
    QComboBox* datasetViewModeCombo = nullptr;
    QLabel* folderDepthLabel = nullptr;
    QSpinBox* folderDepthSpin = nullptr;
    QStackedWidget* datasetViewStack = nullptr;
    DatasetListWidget* datasetList = nullptr;
    DatasetTreeWidget* datasetTree = nullptr;
    FilterDockWidget* filterPanel = nullptr;
    StatisticsDockWidget* statisticsPanel = nullptr;
    CalculationsDockWidget* calculationsPanel = nullptr;
    QTreeWidget* metadataTree = nullptr;

    // Calculators, QObject children of the window.
    FLRefinement* flRefinement = nullptr;
    FLCompensation* flCompensation = nullptr;
    EModulus* emodulusCalculator = nullptr;
    FourierDeform* fourierDeform = nullptr;
    ImageFeatures* imageFeatures = nullptr;
    // Never created: expert mode reads as off everywhere.
    QAction* expertModeAction = nullptr;

    // Menus.
    QActionGroup* colorMapGroup = nullptr;
    int currentColorMap = 0;

    // Datasets, in list order; no element is null.
    std::vector<std::unique_ptr<DatasetEntry>> entries;
    int activeIndex = -1;
    int nextDatasetId = 0;

    // Background caching of new datasets (one at a time; the rest waits in the queues).
    PoolWatcher* preloadWatcher = nullptr;
    bool preloadBusy = false;
    int preloadIndex = -1;
    std::queue<int> preloadIndexQueue;
    std::queue<QString> pendingPathQueue;
    bool datasetTreeUpdating = false;
    // The caching tasks started since the chain was last idle (the count "Loading 3 of 10"
    // adds what waits), the dataset the chain showed last (a file cached later takes its
    // place unless the user chose another dataset meanwhile), and the running task's
    // column progress.
    int loadingStarted = 0;
    int loadingShownId = -1;
    std::shared_ptr<CachingProgress> cachingProgress;
    QTimer* cachingProgressTimer = nullptr;
    QLabel* loadingLabel = nullptr;
    QProgressBar* loadingProgress = nullptr;
    QLabel* waitingFilesLabel = nullptr;
    // Session loading: datasets still to open (session index, path), the ids they got, and
    // whether a load waits for the queues to empty.
    std::queue<std::pair<int, QString>> sessionDatasetQueue;
    std::map<int, int> sessionIndexToDatasetId;
    bool sessionLoading = false;
    // The root object of the session file being loaded, until its state has been applied.
    QJsonObject pendingSessionState;

    // Background calculations (one at a time). calculationBusy and calculationFinish are GUI-thread only.
    PoolWatcher* calculationWatcher = nullptr;
    bool calculationBusy = false;
    std::function<void()> calculationFinish;
    // The running calculation's work, cancel flag and failure text (MainWindowBackground.cpp);
    // null when idle. The worker holds its own reference while it runs.
    std::shared_ptr<CalculationTask> calculationTask;
    // The current dimension-reduction reference (never modified once installed) and where it
    // came from; a fit or a load replaces both.
    std::shared_ptr<const DimRedReference> dimRedReference;
    QString dimRedReferenceLabel;
    // The most memory a UMAP fit may need (0: 70 % of the computer's physical memory).
    std::uint64_t dimRedMemoryLimit = 0;
    // Datasets whose restored calculations were re-applied (or tried): once per dataset.
    std::set<int> restoredCalculationIds;
    // A loaded session's Young's moduli wait for the running calculation to end.
    bool modulusRestorePending = false;
    // The running calculation restores a loaded session's columns, and whether a Cancel
    // came for it (GUI thread only; onCalcFinished resets both).
    bool restorationRunning = false;
    bool restorationCancelled = false;
    // Progress connections of the calculators' last runs.
    QMetaObject::Connection refinementProgress;
    QMetaObject::Connection compensationProgress;
    QMetaObject::Connection emodulusProgress;
    QMetaObject::Connection fourierProgress;
    QMetaObject::Connection imageFeaturesProgress;
    // Set by a finish function: true for the features the calculation just wrote; the next
    // plot update tests its features against it once and clears it.
    std::function<bool(const std::string&)> computedFeaturePredicate;
    // The main plot holds valid plotted indices (kept by the plot update).
    bool plottedIndicesValid = false;
    // For plotted point i, the index of its event in the active dataset (plot update).
    std::vector<int> plottedEventIndices;
    // Of the last plot update: the events the effective filter passes (every event when it
    // is off), and how many of the plotted points a logarithmic axis cannot draw (a value at
    // or below zero). The info line and the statistics count the drawn points only.
    std::uint64_t filterPassingCount = 0;
    std::uint64_t hiddenOnLogAxesCount = 0;
    // What the last plot update handed to the scatter plot, in plotted order.
    std::vector<double> plotXValues;
    std::vector<double> plotYValues;
    std::vector<double> plotColorValues; // empty: points not coloured
    QString plotXLabel;
    QString plotYLabel;
    QString plotColorLabel;
    // Features and dataset of the last completed update (the axes refit when they change).
    std::string lastPlotXFeature;
    std::string lastPlotYFeature;
    int lastPlotDatasetIndex = -1;
    // Set while refreshFeaturesAndPlot refills the feature combos: their passing changes are
    // no change of the plotted features, so they end no gate being drawn or edited.
    bool refillingFeatureCombos = false;
    // Set by closeEvent: no new background work starts and finish functions are dropped.
    bool closing = false;
    // A release of freed memory is queued.
    bool memoryReleasePending = false;
    // Gives freed memory back on a thread of its own; its destruction waits for a running
    // release.
    std::unique_ptr<MemoryReleaser> memoryReleaser;
    // The window's column disposer (installColumnDisposer), which hands to memoryReleaser.
    std::uint64_t columnDisposerTicket = 0;

    // Filter groups and their state.
    FilterGroupList groupModel;
    // The group that receives the next completed polygon; -1 for the active dataset.
    int polygonTargetGroupId = -1;
    // Set while a plot update must not rebuild the group boxes.
    bool suppressGroupPanelRefresh = false;
    // The gate under edit as recorded when the edit began (dataset id, gate id, and for a
    // dataset gate the dataset's rule count); a plot signal for another edit is dropped.
    int editDatasetId = -1;
    int editGateId = -1;
    int editRuleCount = 0;
    QTimer* filterPlotTimer = nullptr;
    // The pending filter update was asked for by group-rule edits only.
    bool pendingUpdateKeepsGroupPanel = false;
    // Counts group panel refreshes, so that a filter update can tell whether the plot update
    // reached the panel.
    unsigned groupPanelRefreshCount = 0;

    // The options of the last accepted export dialogs, for the next ones of the run.
    ExportOptions lastExportOptions;
    bool hasLastExportOptions = false;
    StatSummaryOptions lastStatSummaryOptions;
    bool hasLastStatSummaryOptions = false;

    // Tool windows, in opening order; the lists own them.
    std::vector<CombinePlotWindow*> combineWindows;
    std::vector<StatisticalEvalWindow*> statEvalWindows;
    std::vector<ImageGalleryWindow*> galleryWindows;
    std::vector<FilterGroupsMatrixWindow*> matrixWindows;

    // Update checks and error reports.
    UpdateChecker* updateChecker = nullptr;
    bool updateCheckSilent = false;
    FeedbackSender* feedbackSender = nullptr;
    bool errorBoxOpen = false;
};

} // namespace Tervane3
