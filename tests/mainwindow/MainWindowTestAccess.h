// Read and write access to the main window's private state for the main-window tests (the
// one friend of the window), and what those tests share: a fixture environment with private
// settings and scripted prompts, tiny measurement files written by the test itself, and
// waiting for the event loop and the caching chain.
#pragma once

#include "app/AppSettings.h"
#include "app/ScriptedPrompts.h"
#include "app/DatasetEntry.h"
#include "app/MemoryRelease.h"
#include "mainwindow/MainWindow.h"
#include "support/RtdcFixture.h"

#include "../app/SettingsSandbox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

class MainWindowTestAccess
{
public:
    // Datasets and their bookkeeping.
    static std::vector<std::unique_ptr<DatasetEntry>>& entries(MainWindow& w) { return w.entries; }
    static DatasetEntry& entry(MainWindow& w, size_t i) { return *w.entries.at(i); }
    static int& activeIndex(MainWindow& w) { return w.activeIndex; }
    static int& nextDatasetId(MainWindow& w) { return w.nextDatasetId; }
    static bool& preloadBusy(MainWindow& w) { return w.preloadBusy; }
    static int& preloadIndex(MainWindow& w) { return w.preloadIndex; }
    static std::queue<int>& preloadIndexQueue(MainWindow& w) { return w.preloadIndexQueue; }
    static size_t pendingPaths(const MainWindow& w) { return w.pendingPathQueue.size(); }
    static std::queue<std::pair<int, QString>>& sessionQueue(MainWindow& w) { return w.sessionDatasetQueue; }
    static std::map<int, int>& sessionIds(MainWindow& w) { return w.sessionIndexToDatasetId; }
    static bool& sessionLoading(MainWindow& w) { return w.sessionLoading; }
    static QJsonObject& pendingSessionState(MainWindow& w) { return w.pendingSessionState; }
    // The second phase of a session load, at once.
    static void completeSessionLoad(MainWindow& w)
    {
        w.restoreSessionDuplicates();
        w.applySessionState();
    }
    static QFutureWatcher<void>* preloadWatcher(MainWindow& w) { return w.preloadWatcher; }
    // Takes the next queued dataset, or completes a session load when nothing waits.
    static void continueWaitingWork(MainWindow& w) { w.continueWaitingWork(); }
    // Replaceable by one with a stand-in release.
    static std::unique_ptr<MemoryReleaser>& memoryReleaser(MainWindow& w) { return w.memoryReleaser; }
    static bool memoryReleasePending(const MainWindow& w) { return w.memoryReleasePending; }

    static std::vector<int> queueContents(MainWindow& w)
    {
        std::vector<int> values;
        for (std::queue<int> copy = w.preloadIndexQueue; !copy.empty(); copy.pop())
            values.push_back(copy.front());
        return values;
    }
    static void setQueue(MainWindow& w, const std::vector<int>& values)
    {
        w.preloadIndexQueue = {};
        for (int value : values)
            w.preloadIndexQueue.push(value);
    }

    // A dataset entry appended to the window's list (no reader, no list item).
    static DatasetEntry& addEntry(MainWindow& w, int id)
    {
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = id;
        w.entries.push_back(std::move(entry));
        return *w.entries.back();
    }
    // An entry without reader appended with its list item, as if it had been opened.
    static DatasetEntry& addListedEntry(MainWindow& w, int id, const std::string& path = std::string())
    {
        DatasetEntry& entry = addEntry(w, id);
        entry.filePath = path;
        entry.displayName = QStringLiteral("Dataset %1").arg(id);
        w.addDatasetListItem(static_cast<int>(w.entries.size()) - 1);
        return entry;
    }

    static void addDataset(MainWindow& w, const QString& path) { w.addDataset(path); }
    static void activate(MainWindow& w, int index) { w.activateDataset(index); }
    static void startPreload(MainWindow& w, int index) { w.startPreload(index); }
    static void moveDataset(MainWindow& w, int from, int to) { w.moveDataset(from, to); }

    // Background calculations, tool windows, update checks and error reports.
    static bool& calcBusy(MainWindow& w) { return w.calculationBusy; }
    static bool hasCalcFinish(const MainWindow& w) { return static_cast<bool>(w.calculationFinish); }
    static QFutureWatcher<void>* calcWatcher(MainWindow& w) { return w.calculationWatcher; }
    static bool errorBoxOpen(const MainWindow& w) { return w.errorBoxOpen; }
    static std::vector<CombinePlotWindow*>& combineWindows(MainWindow& w) { return w.combineWindows; }
    static std::vector<StatisticalEvalWindow*>& statEvalWindows(MainWindow& w) { return w.statEvalWindows; }
    static std::vector<ImageGalleryWindow*>& galleryWindows(MainWindow& w) { return w.galleryWindows; }
    static std::vector<FilterGroupsMatrixWindow*>& matrixWindows(MainWindow& w) { return w.matrixWindows; }
    static UpdateChecker* updateChecker(MainWindow& w) { return w.updateChecker; }
    static void updateDockTitleBars(MainWindow& w) { w.updateDockTitleBars(); }
    static void onUpdateAvailable(MainWindow& w, const QString& v, const QString& url, const QString& notes)
    {
        w.onUpdateAvailable(v, url, notes);
    }

    // The main plot update.
    static bool& plottedIndicesValid(MainWindow& w) { return w.plottedIndicesValid; }
    static std::vector<int>& plottedEventIndices(MainWindow& w) { return w.plottedEventIndices; }
    static const std::vector<double>& plotXValues(const MainWindow& w) { return w.plotXValues; }
    static const std::vector<double>& plotColorValues(const MainWindow& w) { return w.plotColorValues; }
    static std::function<bool(const std::string&)>& justComputed(MainWindow& w) { return w.computedFeaturePredicate; }
    static void updatePlot(MainWindow& w) { w.updatePlot(); }

    // Filters: the panel, the group model and the coalesced filter update.
    static FilterDockWidget* filterPanel(MainWindow& w) { return w.filterPanel; }
    static FilterGroupList& groupModel(MainWindow& w) { return w.groupModel; }
    static int& polygonTargetGroupId(MainWindow& w) { return w.polygonTargetGroupId; }
    // Whether a filter update waits for its timer.
    static bool filterUpdatePending(const MainWindow& w) { return w.filterPlotTimer && w.filterPlotTimer->isActive(); }
    // Runs a waiting filter update now (as its timer would).
    static void flushFilterUpdate(MainWindow& w)
    {
        if (filterUpdatePending(w))
            w.runFilterPlotUpdate();
    }
    static void refreshFilterGroupPanel(MainWindow& w) { w.refreshFilterGroupPanel(); }

    // Widgets.
    static ScatterPlot* scatterPlot(MainWindow& w) { return w.scatterPlot; }
    static QComboBox* combo(MainWindow& w, const char* name) { return w.findChild<QComboBox*>(QLatin1String(name)); }
    static QLabel* infoLabel(MainWindow& w) { return w.infoLabel; }
    static QSpinBox* eventSpin(MainWindow& w) { return w.eventSpin; }
    static QDoubleSpinBox* innerSpin(MainWindow& w) { return w.contourInnerSpin; }
    static QDoubleSpinBox* outerSpin(MainWindow& w) { return w.contourOuterSpin; }
    static ImageViewer* imageViewer(MainWindow& w) { return w.imageViewer; }
    static TracePlot* tracePlot(MainWindow& w) { return w.tracePlot; }
    static QTableWidget* eventTable(MainWindow& w) { return w.eventDataTable; }
    static QTreeWidget* metadataTree(MainWindow& w) { return w.metadataTree; }
    static QDockWidget* metadataDock(MainWindow& w) { return w.metadataDock; }
    static CalculationsDockWidget* calculations(MainWindow& w) { return w.calculationsPanel; }
    static FLCompensation* flCompensation(MainWindow& w) { return w.flCompensation; }
    static FLRefinement* flRefinement(MainWindow& w) { return w.flRefinement; }
    static FourierDeform* fourierDeform(MainWindow& w) { return w.fourierDeform; }
    static ImageFeatures* imageFeatures(MainWindow& w) { return w.imageFeatures; }
    static QString statusText(MainWindow& w) { return w.statusLabel->text(); }
    // Dimension reduction.
    static std::shared_ptr<const DimRedReference> dimRedReference(MainWindow& w) { return w.dimRedReference; }
    static QString dimRedReferenceLabel(MainWindow& w) { return w.dimRedReferenceLabel; }
    static std::uint64_t& dimRedMemoryLimit(MainWindow& w) { return w.dimRedMemoryLimit; }

    // The event display, traces and metadata view.
    static void displayEvent(MainWindow& w, int index) { w.displayEvent(index); }
    static void configureTracePlot(MainWindow& w) { w.configureTracePlot(); }
    static void populateMetadataView(MainWindow& w) { w.populateMetadataView(); }

    // Selects the item whose data is the key (signals stay connected, as for the user).
    static bool selectKey(QComboBox* combo, const QString& key)
    {
        const int index = combo->findData(key);
        if (index < 0)
            return false;
        combo->setCurrentIndex(index);
        return true;
    }
};

namespace Test {

// Spins the event loop until the condition holds or the time is up; returns the condition.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Drops the warnings the offscreen platform prints for what it cannot do; every other
// message goes on to the test's handler. Each message list is a filter of its own, so two
// can be installed at once (nested).
template<typename Messages>
class QuietOffscreen
{
public:
    // Instances of one kind nest (two windows' environments at once): only the outermost
    // installs and restores, or the filter would hand messages on to itself for ever.
    QuietOffscreen()
    {
        if (depth()++ == 0)
            previous() = qInstallMessageHandler(&filter);
    }
    ~QuietOffscreen()
    {
        if (--depth() == 0)
            qInstallMessageHandler(previous());
    }
    QuietOffscreen(const QuietOffscreen&) = delete;
    QuietOffscreen& operator=(const QuietOffscreen&) = delete;

private:
    static QtMessageHandler& previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static int& depth()
    {
        static int count = 0;
        return count;
    }
    static void filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg) {
            for (const char* text : Messages::texts) {
                if (message == QLatin1String(text))
                    return;
            }
        }
        if (previous())
            previous()(type, context, message);
    }
};

// A shown top-level window changes its size limits.
struct OffscreenSizeHintMessages
{
    static constexpr const char* texts[] = {"This plugin does not support propagateSizeHints()"};
};
// A popup menu is raised and grabs keyboard and mouse.
struct OffscreenPopupMessages
{
    static constexpr const char* texts[] = {"This plugin does not support raise()",
                                            "This plugin does not support grabbing the keyboard",
                                            "This plugin does not support grabbing the mouse"};
};
using QuietOffscreenSizeHints = QuietOffscreen<OffscreenSizeHintMessages>;
using QuietOffscreenPopups = QuietOffscreen<OffscreenPopupMessages>;

// Private settings (no start-up update check unless a test asks for it) and scripted prompts.
class MainWindowEnvironment
{
public:
    explicit MainWindowEnvironment(bool checkUpdatesOnStartup = false)
    {
        AppSettings::setCheckUpdatesOnStartup(checkUpdatesOnStartup);
    }
    SettingsSandbox settings;
    ScriptedPromptsGuard prompts;
    QuietOffscreenSizeHints quiet;
};

// One measurement: double columns and string root attributes ("section:key" -> text).
struct Measurement
{
    std::map<std::string, std::vector<double>> columns;
    std::map<std::string, std::string> attributes;
};

inline void writeMeasurement(const std::string& path, const Measurement& m)
{
    RtdcFixture file(path);
    for (const auto& [name, values] : m.columns)
        file.addColumn(name, values);
    for (const auto& [name, value] : m.attributes)
        file.addStringAttribute(name, value);
    file.close();
}

// Six events of area and deformation, plus brightness; events 0..5 in order.
inline Measurement smallMeasurement()
{
    Measurement m;
    m.columns["area_um"] = {10, 20, 30, 40, 50, 60};
    m.columns["deform"] = {0.01, 0.02, 0.03, 0.04, 0.05, 0.06};
    m.columns["bright_avg"] = {100, 110, 120, 130, 140, 150};
    return m;
}

// Ten events: area_um 10 .. 100, deform 0.01 .. 0.10, bright_avg 1 .. 10; event i has area
// 10 (i + 1), deform 0.01 (i + 1) and brightness i + 1.
inline Measurement tenEvents()
{
    Measurement m;
    for (int i = 0; i < 10; ++i) {
        m.columns["area_um"].push_back(10.0 * (i + 1));
        m.columns["deform"].push_back(0.01 * (i + 1));
        m.columns["bright_avg"].push_back(i + 1);
    }
    return m;
}

// Runs the event loop until no caching task runs and nothing waits.
inline bool waitForCaching(MainWindow& w, int timeoutMs = 20000)
{
    return waitUntil([&] { return !MainWindowTestAccess::preloadBusy(w) && MainWindowTestAccess::pendingPaths(w) == 0; },
                     timeoutMs);
}

} // namespace Test
} // namespace Tervane3
