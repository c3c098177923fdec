// Calculation requests on the synthetic 1,000,000-event measurement made by tervane3-synth
// (three fluorescence channels, TavrisolB in a 20 µm channel):
//   - crosstalk compensation of 1M events x 3 channels (target at most 0.5 s; the same
//     computation runs on the GUI thread when a restored compensation is re-applied) and of
//     20 such datasets in one run (target at most 10 s);
//   - the Young's modulus of 20 datasets of 1M events in one run (target at most 20 s);
//   - the quality assessment of 1M events from the click to the shown dialog (at most 1 s);
//   - the longest stall of the GUI thread during apply-to-all runs over two datasets
//     (target at most 150 ms), and the finish that follows them (new feature lists and the
//     main plot update of 1M events with its repaint).
// The 20-dataset runs visit one reader 20 times (the work per dataset is the same; twenty
// readers would hold 8 GB of cached columns). The file is made on first run in the
// temporary folder; TERVANE3_BENCH_DIR chooses another folder.
#include "bench/BenchApplication.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModQualityDialog.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "core/RTDCReader.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

std::string benchFile()
{
    const char* dir = std::getenv("TERVANE3_BENCH_DIR");
    const std::string folder = dir ? dir : std::filesystem::temp_directory_path().string();
    const std::string path = folder + "/tervane3_bench_mainplot_1M.rtdc";
    if (!std::filesystem::exists(path)) {
        const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path +
                                    ".part\" --events 1000000 --seed 7";
        std::cerr << "Generating " << path << " ..." << std::endl;
        if (std::system(command.c_str()) != 0)
            std::exit(1);
        std::filesystem::rename(path + ".part", path);
    }
    return path;
}

std::shared_ptr<RTDCReader> openReader(const std::vector<std::string>& columns)
{
    auto reader = std::make_shared<RTDCReader>();
    if (!reader->open(benchFile()))
        return nullptr;
    for (const std::string& column : columns)
        reader->getFeature(column);
    return reader;
}

const std::vector<int> channels{1, 2, 3};
const arma::mat spillover = {{1.0, 0.1, 0.02}, {0.15, 1.0, 0.1}, {0.01, 0.2, 1.0}};

void BM_CompensateOneMillionEventsThreeChannels(benchmark::State& state)
{
    std::shared_ptr<RTDCReader> reader = openReader({"fl1_max", "fl2_max", "fl3_max"});
    if (!reader) {
        state.SkipWithError("no measurement");
        return;
    }
    FLCompensation compensation;
    for (auto _ : state) {
        if (!compensation.compute(reader.get(), channels, spillover)) {
            state.SkipWithError("compensation failed");
            return;
        }
        // Replaced columns stay alive until the reader closes: reopen outside the timing.
        state.PauseTiming();
        reader = openReader({"fl1_max", "fl2_max", "fl3_max"});
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(reader->eventCount()));
}
BENCHMARK(BM_CompensateOneMillionEventsThreeChannels)->Unit(benchmark::kMillisecond)->Iterations(5);

// Twenty datasets through the loop of a run (cancel flag, outcomes), one reader each time.
template<typename Compute>
void twentyDatasets(benchmark::State& state, const std::vector<std::string>& columns, Compute compute)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::shared_ptr<RTDCReader> reader = openReader(columns);
        if (!reader) {
            state.SkipWithError("no measurement");
            return;
        }
        std::vector<CalculationTarget> targets(20);
        for (CalculationTarget& target : targets)
            target.reader = reader;
        std::atomic<bool> cancel{false};
        state.ResumeTiming();
        const CalculationReport report = runOverTargets(targets, cancel, compute);
        if (report.count(CalculationOutcome::State::Done) != 20) {
            state.SkipWithError("a dataset failed");
            return;
        }
    }
}

void BM_CompensateTwentyDatasets(benchmark::State& state)
{
    FLCompensation compensation;
    twentyDatasets(state, {"fl1_max", "fl2_max", "fl3_max"},
                   [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
                       return compensation.compute(target.reader.get(), channels, spillover, &reasons);
                   });
}
BENCHMARK(BM_CompensateTwentyDatasets)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_EmodulusTwentyDatasets(benchmark::State& state)
{
    EModulus emodulus;
    emodulus.buildTriangulation(0);
    if (!emodulus.triangulation(0)) {
        state.SkipWithError("shipped table not found");
        return;
    }
    EModulusParams params; // TavrisolB, 20 µm, 0.04 µL/s defaults; the file's values:
    params.flowRate = 0.16;
    twentyDatasets(state, {"area_um", "deform"},
                   [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
                       return emodulus.compute(target.reader.get(), params, &reasons);
                   });
}
BENCHMARK(BM_EmodulusTwentyDatasets)->Unit(benchmark::kMillisecond)->Iterations(2);

// One window with the measurement opened twice (two datasets) and cached.
struct Session
{
    Test::MainWindowEnvironment env;
    MainWindow window;

    Session()
    {
        window.resize(1400, 900);
        window.show();
        QCoreApplication::processEvents();
        const std::string path = benchFile();
        Access::addDataset(window, QString::fromStdString(path));
        Test::waitForCaching(window, 600000);
        const std::string folder = std::filesystem::path(path).parent_path().string();
        Access::addDataset(window, QString::fromStdString(folder + "/./" + std::filesystem::path(path).filename().string()));
        Test::waitForCaching(window, 600000);
        // Let the plot's pending repaint of the second dataset happen before any timing.
        Test::waitUntil([] { return false; }, 1000);
    }
    QPushButton* button(const char* name)
    {
        return window.calcDock()->findChild<QPushButton*>(QLatin1String(name));
    }
    void setApplyToAll(bool on)
    {
        for (const char* box : {"crosstalkApplyToAll", "emodulusApplyToAll"})
            window.calcDock()->findChild<QCheckBox*>(QLatin1String(box))->setChecked(on);
    }
    // Clicks the button and runs the event loop until the run has finished. Returns the
    // longest gap between 2 ms timer ticks while the run was busy at both ends of the gap,
    // and the gap in which it ended (the finish function with the plot update and paint it
    // causes).
    std::pair<double, double> runAndWatch(const char* name)
    {
        QElapsedTimer clock;
        clock.start();
        qint64 lastTick = 0;
        bool lastBusy = true;
        qint64 runStall = 0;
        qint64 finishGap = -1;
        QTimer ticker;
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            const bool busy = Access::calcBusy(window);
            if (lastBusy && busy)
                runStall = std::max(runStall, now - lastTick);
            else if (lastBusy && !busy)
                finishGap = now - lastTick;
            lastTick = now;
            lastBusy = busy;
        });
        button(name)->click();
        lastTick = clock.elapsed();
        ticker.start();
        Test::waitUntil([&] { return finishGap >= 0; }, 600000);
        return {static_cast<double>(runStall), static_cast<double>(finishGap)};
    }
};

// Made on first use and closed in main(), before the application object goes.
std::unique_ptr<Session> sharedSession;

Session& session()
{
    if (!sharedSession)
        sharedSession = std::make_unique<Session>();
    return *sharedSession;
}

void BM_GuiStallDuringApplyToAll(benchmark::State& state, const char* buttonName)
{
    Session& s = session();
    s.setApplyToAll(true);
    double stall = 0.0;
    double finish = 0.0;
    for (auto _ : state) {
        const auto [runStall, finishMs] = s.runAndWatch(buttonName);
        stall = std::max(stall, runStall);
        finish = std::max(finish, finishMs);
    }
    state.counters["max_stall_ms"] = stall;
    state.counters["finish_ms"] = finish;
}
BENCHMARK_CAPTURE(BM_GuiStallDuringApplyToAll, Crosstalk, "compensateCrosstalkButton")
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_GuiStallDuringApplyToAll, Emodulus, "computeEmodulusButton")
    ->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_AssessQualityClickToDialog(benchmark::State& state)
{
    Session& s = session();
    s.setApplyToAll(false);
    if (!Access::entry(s.window, 1).emodApplied) {
        s.button("computeEmodulusButton")->click();
        Test::waitUntil([&] { return !Access::calcBusy(s.window); }, 600000);
    }
    for (auto _ : state) {
        s.button("assessQualityButton")->click();
        QCoreApplication::processEvents();
        state.PauseTiming();
        const QList<EModQualityDialog*> dialogs = s.window.findChildren<EModQualityDialog*>();
        if (dialogs.size() != 1 || !dialogs.front()->isVisible()) {
            state.SkipWithError("no dialog");
            return;
        }
        delete dialogs.front();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AssessQualityClickToDialog)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    sharedSession.reset();
    return 0;
}
