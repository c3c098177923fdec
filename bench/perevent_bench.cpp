// Per-event calculations on a synthetic measurement with images, masks and three
// fluorescence traces per event (tervane3-synth --images --masks --traces, 80 x 250 pixels,
// 177 samples), on one thread and on all (at most 8):
//   - the trace filter chain of the refinement per 177-sample trace;
//   - the refinement with its trace reads (target at least 10k traces/s on one thread;
//     1M events x 3 channels in at most 90 s on all);
//   - the Fourier deformation (at least 10k events/s on one thread; 1M in at most 30 s on all);
//   - the image features (at least 3k events/s on one thread; 1M in at most 120 s on all);
//   - the longest GUI stall during an apply-to-all run over two datasets (at most 150 ms) and
//     the resident memory the image features add per dataset.
// A measurement of a million such events takes about 12 GB, so the file has 100,000 events
// (TERVANE3_BENCH_EVENTS changes it); the counters give rates, from which the 1M figures
// follow. The file is made on first run in the temporary folder (TERVANE3_BENCH_DIR).
#include "bench/BenchApplication.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "core/TraceProcessing.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

std::size_t benchEvents()
{
    const char* events = std::getenv("TERVANE3_BENCH_EVENTS");
    return events ? static_cast<std::size_t>(std::strtoull(events, nullptr, 10)) : 100000;
}

std::string benchFile()
{
    const char* dir = std::getenv("TERVANE3_BENCH_DIR");
    const std::string folder = dir ? dir : std::filesystem::temp_directory_path().string();
    const std::string path = folder + "/tervane3_bench_perevent_" + std::to_string(benchEvents()) + ".rtdc";
    if (!std::filesystem::exists(path)) {
        const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path + ".part\" --events "
                                    + std::to_string(benchEvents()) + " --images --masks --traces --seed 11";
        std::cerr << "Generating " << path << " ..." << std::endl;
        if (std::system(command.c_str()) != 0)
            std::exit(1);
        std::filesystem::rename(path + ".part", path);
    }
    return path;
}

// A fresh reader each time: computed columns of earlier runs stay alive until it closes.
std::unique_ptr<RTDCReader> openReader(Metadata* metadata = nullptr)
{
    auto reader = std::make_unique<RTDCReader>();
    if (!reader->open(benchFile()))
        return nullptr;
    if (metadata)
        *metadata = reader->readMetadata();
    return reader;
}

double residentMiB()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0.0;
}

void BM_TraceFilterChain(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(120.0f, 8.0f);
    std::vector<float> trace(177);
    for (float& v : trace)
        v = std::round(noise(rng));
    const TraceFilterSettings settings;
    for (auto _ : state) {
        std::vector<float> copy = trace;
        applyTraceProcessing(copy, settings);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceFilterChain)->Unit(benchmark::kMicrosecond);

// Runs the calculator once over the whole file per iteration with the thread limit of the
// argument (0: all) and reports items per second.
template<typename Run>
void wholeFile(benchmark::State& state, double itemsPerEvent, Run run)
{
    setWorkerThreadLimit(static_cast<int>(state.range(0)));
    std::size_t events = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Metadata metadata;
        std::unique_ptr<RTDCReader> reader = openReader(&metadata);
        if (!reader) {
            state.SkipWithError("no measurement");
            return;
        }
        events = static_cast<std::size_t>(reader->eventCount());
        state.ResumeTiming();
        if (!run(*reader, metadata)) {
            state.SkipWithError("the calculation failed");
            return;
        }
    }
    setWorkerThreadLimit(0);
    state.counters["threads"] = state.range(0) == 0 ? workerThreadCount() : static_cast<double>(state.range(0));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events * itemsPerEvent));
}

void BM_Refinement(benchmark::State& state)
{
    FLRefinement refinement;
    wholeFile(state, 3.0, [&](RTDCReader& reader, const Metadata& metadata) {
        return refinement.run(&reader, metadata, TraceFilterSettings());
    });
}
BENCHMARK(BM_Refinement)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_FourierDeform(benchmark::State& state)
{
    FourierDeform fourier;
    wholeFile(state, 1.0, [&](RTDCReader& reader, const Metadata&) { return fourier.compute(&reader); });
}
BENCHMARK(BM_FourierDeform)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_ImageFeatures(benchmark::State& state)
{
    ImageFeatures features;
    wholeFile(state, 1.0, [&](RTDCReader& reader, const Metadata&) { return features.compute(&reader); });
}
BENCHMARK(BM_ImageFeatures)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The measurement opened twice in a window; apply-to-all runs of one page with 2 ms ticks.
void BM_GuiStallAndMemory(benchmark::State& state, const char* applyToAll, const char* buttonName)
{
    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    const std::string path = benchFile();
    const std::filesystem::path file(path);
    Access::addDataset(window, QString::fromStdString(path));
    Access::addDataset(window, QString::fromStdString(file.parent_path().string() + "/./" + file.filename().string()));
    Test::waitForCaching(window, 600000);
    Test::waitUntil([] { return false; }, 1000);
    window.calcDock()->findChild<QCheckBox*>(QLatin1String(applyToAll))->setChecked(true);
    QPushButton* button = window.calcDock()->findChild<QPushButton*>(QLatin1String(buttonName));
    button->setEnabled(true);

    double before = 0.0;
    double after = 0.0;
    qint64 stall = 0;
    for (auto _ : state) {
        before = residentMiB();
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer ticker;
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (Access::calcBusy(window))
                stall = std::max(stall, now - last);
            last = now;
        });
        button->click();
        last = clock.elapsed();
        ticker.start();
        Test::waitUntil([&] { return !Access::calcBusy(window); }, 3600000);
        after = residentMiB();
    }
    state.counters["max_stall_ms"] = static_cast<double>(stall);
    state.counters["added_MiB_per_dataset"] = (after - before) / 2.0;
}
BENCHMARK_CAPTURE(BM_GuiStallAndMemory, Refinement, "refinementApplyToAll", "refineFluorescenceButton")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(BM_GuiStallAndMemory, ImageFeatures, "imageFeaturesApplyToAll", "computeImageFeaturesButton")
    ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
