// Speed of the filter panel on synthetic measurements made by tervane3-synth: rebuilding the
// group boxes (10 groups of 5 range rules) at 10,000 and at 1,000,000 events, rebuilding the
// rows of a dataset with 20 range rules, a measured trial of typing "123.45" into a bound at
// 10 keys per second with KDE colouring (plot updates after the last key, the longest a
// keystroke or the event loop holds the GUI thread meanwhile), and the filter-groups matrix
// window: rebuilding it for 20 datasets and 20 groups, and a click on a dataset's name that
// switches 20 groups at 1,000,000 events (plot updates that follow).
//
// The window runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "mainwindow/MainWindowTestAccess.h"
#include "support/FilterRules.h"

#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"

#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"

#include <benchmark/benchmark.h>

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <memory>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

const char* const kFeatures[] = {"area_um", "deform", "bright_avg", "aspect", "circ",
                                 "inert_ratio_raw", "tilt", "volume", "pos_x", "size_x"};

// One window per event count, with the measurement cached and 10 groups of 5 range rules.
struct Session
{
    Test::MainWindowEnvironment env;
    MainWindow window;

    explicit Session(int events)
    {
        window.resize(1400, 900);
        window.show();
        QCoreApplication::processEvents();
        const std::string path = Bench::ensureSynthFile("tervane3_bench_filters_" + std::to_string(events) + ".rtdc",
                                                  "--events " + std::to_string(events) + " --seed 7");
        Access::addDataset(window, QString::fromStdString(path));
        Test::waitForCaching(window, 600000);
        for (int g = 0; g < 10; ++g) {
            const int id = window.addFilterGroup();
            for (int r = 0; r < 5; ++r)
                window.addRuleToGroup(id, rangeRule(kFeatures[(g + r) % 10], 0.0, 1e6));
        }
        Access::flushFilterUpdate(window);
    }
    DatasetEntry& entry() { return Access::entry(window, 0); }
};

std::map<int, std::unique_ptr<Session>> sessions;

Session& session(int events)
{
    auto& slot = sessions[events];
    if (!slot)
        slot = std::make_unique<Session>(events);
    return *slot;
}

void BM_GroupPanelRefresh10x5(benchmark::State& state)
{
    Session& s = session(static_cast<int>(state.range(0)));
    double buildMs = 0.0;
    double eventsMs = 0.0;
    double deleteMs = 0.0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        Access::refreshFilterGroupPanel(s.window);
        buildMs += clock.nsecsElapsed() / 1e6;
        clock.restart();
        // The event loop lays the new boxes out and paints them, and the replaced boxes are
        // deleted: both part of the cost.
        QCoreApplication::processEvents();
        eventsMs += clock.nsecsElapsed() / 1e6;
        clock.restart();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        deleteMs += clock.nsecsElapsed() / 1e6;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["build_ms"] = buildMs / n;
    state.counters["layout_paint_ms"] = eventsMs / n;
    state.counters["delete_ms"] = deleteMs / n;
    state.counters["boxes"] = static_cast<double>(Access::filterPanel(s.window)->groupBoxes().size());
}

void BM_SetDataset20RangeRules(benchmark::State& state)
{
    Session& s = session(1000000);
    EventFilter& filter = s.entry().filter;
    filter.clearRules();
    for (int r = 0; r < 20; ++r)
        filter.addRule(rangeRule(kFeatures[r % 10], 0.0, 1e6));
    FilterDockWidget* panel = Access::filterPanel(s.window);
    for (auto _ : state) {
        panel->setDataset(&s.entry());
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    state.counters["rows"] = static_cast<double>(panel->rows().size());
    filter.clearRules();
    panel->setDataset(&s.entry());
}

// Types "123.45" into the upper bound of a dataset rule, one key every 100 ms, with KDE
// colouring switched on; the plot must follow once, after the last key.
void BM_TypeBoundAt10KeysPerSecondKde1M(benchmark::State& state)
{
    Session& s = session(1000000);
    MainWindow& w = s.window;
    Access::selectKey(Access::combo(w, "colorFeatureCombo"), QStringLiteral("__density_kde__"));
    FilterDockWidget* panel = Access::filterPanel(w);
    s.entry().filter.clearRules();
    // deform has six decimals, so every key of "123.45" changes the value.
    s.entry().filter.addRule(rangeRule("deform", 0.0, 1.0));
    panel->setDataset(&s.entry());
    Access::updatePlot(w);
    // The window paints the million coloured points before the typing starts.
    w.repaint();
    QTest::qWait(50);
    auto* maxSpin = panel->rows().front()->findChild<QDoubleSpinBox*>(QStringLiteral("maxSpin"));

    double maxKeyMs = 0.0;
    double maxStallMs = 0.0;
    double updateMs = 0.0;
    int updates = 0;
    for (auto _ : state) {
        maxSpin->setFocus();
        maxSpin->selectAll();
        QSignalSpy plotted(&w, &MainWindow::plotUpdated);

        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            maxStallMs = std::max(maxStallMs, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        for (const QChar key : QStringLiteral("123.45")) {
            QElapsedTimer keyClock;
            keyClock.start();
            QTest::keyClicks(maxSpin, QString(key));
            maxKeyMs = std::max(maxKeyMs, keyClock.nsecsElapsed() / 1e6);
            // 100 ms until the next key; the event loop runs meanwhile.
            sinceTick.start();
            ticker.start();
            QTest::qWait(100);
            ticker.stop();
        }
        QElapsedTimer update;
        update.start();
        plotted.wait(5000);
        updateMs = update.nsecsElapsed() / 1e6;
        QTest::qWait(300);
        updates = plotted.count();
    }
    state.counters["plot_updates"] = updates;
    state.counters["max_keystroke_ms"] = maxKeyMs;
    state.counters["max_loop_stall_while_typing_ms"] = maxStallMs;
    state.counters["wait_for_update_ms"] = updateMs;
    state.counters["stored_max"] = s.entry().filter.rules.front().maxValue;
}

// The 1M-event session with 19 more datasets (entries without a file: the matrix reads only
// names and switches) and 20 groups, and its matrix window.
FilterGroupsMatrixWindow& matrixOf20x20(Session& s)
{
    MainWindow& w = s.window;
    while (Access::entries(w).size() < 20) {
        const int id = Access::nextDatasetId(w)++;
        Access::addEntry(w, id).displayName = QStringLiteral("Dataset %1").arg(id);
    }
    while (w.filterGroups().size() < 20)
        w.addFilterGroup();
    Access::flushFilterUpdate(w);
    if (Access::matrixWindows(w).empty())
        w.openFilterGroupsMatrixWindow();
    QCoreApplication::processEvents();
    return *Access::matrixWindows(w).front();
}

void BM_MatrixRefresh20x20(benchmark::State& state)
{
    Session& s = session(1000000);
    FilterGroupsMatrixWindow& matrix = matrixOf20x20(s);
    for (auto _ : state) {
        matrix.refresh();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    auto* tree = matrix.findChild<QTreeWidget*>(QStringLiteral("matrixTree"));
    state.counters["rows"] = tree->topLevelItemCount();
    state.counters["columns"] = tree->columnCount();
}

// A click on the active dataset's name switches its 20 groups; the plot follows once.
void BM_MatrixNameClick20Groups1M(benchmark::State& state)
{
    Session& s = session(1000000);
    MainWindow& w = s.window;
    FilterGroupsMatrixWindow& matrix = matrixOf20x20(s);
    int updates = 0;
    for (auto _ : state) {
        QSignalSpy plotted(&w, &MainWindow::plotUpdated);
        auto* tree = matrix.findChild<QTreeWidget*>(QStringLiteral("matrixTree"));
        matrix.onItemClicked(tree->topLevelItem(0), 0);
        Test::waitUntil([&] { return !Access::filterUpdatePending(w); });
        QTest::qWait(50);
        updates = plotted.count();
    }
    state.counters["plot_updates_per_click"] = updates;
}

} // namespace

BENCHMARK(BM_GroupPanelRefresh10x5)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetDataset20RangeRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeBoundAt10KeysPerSecondKde1M)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixRefresh20x20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixNameClick20Groups1M)->Iterations(4)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    sessions.clear();
    return 0;
}
