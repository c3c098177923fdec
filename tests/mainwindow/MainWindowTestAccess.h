// Read and write access to the main window's private state for tests (a friend of the
// window), and a fixture that builds a window with private settings and scripted prompts.
#pragma once

#include "app/AppSettings.h"
#include "app/ScriptedPrompts.h"
#include "mainwindow/DatasetEntry.h"
#include "mainwindow/MainWindow.h"

#include "../app/SettingsSandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFutureWatcher>

#include <functional>
#include <memory>

namespace Tervane3 {

class MainWindowTestAccess
{
public:
    static bool calcBusy(const MainWindow& w) { return w.calcBusy; }
    static bool hasCalcFinish(const MainWindow& w) { return static_cast<bool>(w.calcFinish); }
    static bool errorBoxOpen(const MainWindow& w) { return w.errorBoxOpen; }
    static std::vector<std::unique_ptr<DatasetEntry>>& entries(MainWindow& w) { return w.entries; }
    static int& activeIndex(MainWindow& w) { return w.activeIndex; }
    static bool& plottedIndicesValid(MainWindow& w) { return w.plottedIndicesValid; }
    static QFutureWatcher<void>* preloadWatcher(MainWindow& w) { return w.preloadWatcher; }
    static QFutureWatcher<void>* calcWatcher(MainWindow& w) { return w.calcWatcher; }
    static std::vector<CombinePlotWindow*>& combineWindows(MainWindow& w) { return w.combineWindows; }
    static std::vector<StatisticalEvalWindow*>& statEvalWindows(MainWindow& w) { return w.statEvalWindows; }
    static std::vector<ImageGalleryWindow*>& galleryWindows(MainWindow& w) { return w.galleryWindows; }
    static std::vector<FilterGroupsMatrixWindow*>& matrixWindows(MainWindow& w) { return w.matrixWindows; }
    static UpdateChecker* updateChecker(MainWindow& w) { return w.updateChecker; }
    static ScatterPlot* scatterPlot(MainWindow& w) { return w.scatterPlot; }
    static void updateDockTitleBars(MainWindow& w) { w.updateDockTitleBars(); }
    static void onUpdateAvailable(MainWindow& w, const QString& v, const QString& url, const QString& notes)
    {
        w.onUpdateAvailable(v, url, notes);
    }

    // A dataset entry appended to the window's list (no reader unless given).
    static DatasetEntry& addEntry(MainWindow& w, int id)
    {
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = id;
        w.entries.push_back(std::move(entry));
        return *w.entries.back();
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

// Drops the one warning the offscreen platform prints whenever a shown top-level window
// changes its size limits; every other message goes on to the test's handler.
class QuietOffscreenSizeHints
{
public:
    QuietOffscreenSizeHints() { previous() = qInstallMessageHandler(&filter); }
    ~QuietOffscreenSizeHints() { qInstallMessageHandler(previous()); }
    QuietOffscreenSizeHints(const QuietOffscreenSizeHints&) = delete;
    QuietOffscreenSizeHints& operator=(const QuietOffscreenSizeHints&) = delete;

private:
    static QtMessageHandler& previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg && message == QLatin1String("This plugin does not support propagateSizeHints()"))
            return;
        if (previous())
            previous()(type, context, message);
    }
};

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

} // namespace Test
} // namespace Tervane3
