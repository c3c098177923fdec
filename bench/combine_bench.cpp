// Speed of the combine plot window on synthetic measurements made by tervane3-synth: 20
// duplicates of one 1,000,000-event dataset (sharing one reader, as duplicated datasets
// do) and four 100,000-event datasets. Each benchmark runs once and reports the wall time
// of the whole road: rebuilding the plots from the cache and painting every plot.
//
//   cold heatmap + contours of one dataset        target <= 1.5 s
//   20 datasets in "Dataset Color"                 target <= 5 s
//   20 datasets as heatmaps (and with Sync Axes)   target <= 10 s, Sync Axes within 10 %
//   time per dataset, 5 against 20 heatmaps        target: 20 <= 1.3 x 5
//   refresh with nothing changed                   target <= 2 s, no density
//   one filter edit                                target: one row recomputed
//   preview of 4 x 100k                            target <= 2 s
//   grid export of 4 x 100k                        target <= 3 s
// The counter "cacheMB" is the memory the plot cache holds afterwards.
#include "app/DatasetEntry.h"
#include "app/ScriptedPrompts.h"
#include "core/RTDCReader.h"
#include "support/StandInHost.h"
#include "windows/CombinePlotWindow.h"

#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"

#include <benchmark/benchmark.h>
#include <qwt_plot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdlib>
#include <iostream>
#include <memory>

using namespace Tervane3;

namespace {

// `count` datasets over one reader of the file (duplicates), columns cached.
void addDuplicates(Test::StandInHost& host, const std::string& path, int count)
{
    DatasetEntry* first = host.addDataset(path, QStringLiteral("D0"));
    if (!first) {
        std::cerr << "cannot open " << path << std::endl;
        std::exit(1);
    }
    first->xFeatureName = "area_um";
    first->yFeatureName = "deform";
    first->reader->getFeature("area_um");
    first->reader->getFeature("deform");
    for (int i = 1; i < count; ++i) {
        auto entry = std::make_unique<DatasetEntry>(*first);
        entry->id = first->id + i;
        entry->displayName = QStringLiteral("D%1").arg(i);
        host.entries.push_back(std::move(entry));
    }
}

struct Trial
{
    Test::StandInHost host;
    std::unique_ptr<CombinePlotWindow> window;

    Trial(const std::string& path, int count, int colorMode, bool contours = false, bool syncAxes = false)
    {
        addDuplicates(host, path, count);
        window = std::make_unique<CombinePlotWindow>(&host);
        window->resize(1600, 1000);
        window->show();
        QCoreApplication::processEvents();
        window->findChild<QComboBox*>(QStringLiteral("colorCombo"))->setCurrentIndex(colorMode);
        if (contours)
            window->findChild<QComboBox*>(QStringLiteral("contourCombo"))->setCurrentIndex(1);
        if (syncAxes)
            window->findChild<QCheckBox*>(QStringLiteral("syncAxesCheck"))->setChecked(true);
        window->rebuildPlots();
    }
    // Adds every dataset, rebuilds and paints every plot; milliseconds.
    double addAllAndPaint()
    {
        QElapsedTimer clock;
        clock.start();
        window->addAllDatasets();
        rebuildAndPaint();
        return clock.nsecsElapsed() / 1e6;
    }
    void rebuildAndPaint()
    {
        window->rebuildPlots();
        for (QwtPlot* plot : window->plotWidgets())
            benchmark::DoNotOptimize(plot->grab());
    }
    double cacheMB() const { return window->plotCache().memoryBytes() / 1048576.0; }
};

const std::string& file1M()
{
    static const std::string path = Bench::ensureSynthFile("tervane3_bench_mainplot_1M.rtdc", "--events 1000000 --seed 7");
    return path;
}
const std::string& file100k()
{
    static const std::string path = Bench::ensureSynthFile("tervane3_bench_combine_100k.rtdc", "--events 100000 --seed 7");
    return path;
}

void report(benchmark::State& state, double ms, double targetMs)
{
    state.SetIterationTime(ms / 1000.0);
    state.counters["targetMs"] = targetMs;
}

void BM_ColdHeatmapContours1x1M(benchmark::State& state)
{
    for (auto _ : state) {
        Trial trial(file1M(), 1, CombineHeatmap, true);
        report(state, trial.addAllAndPaint(), 1500);
        state.counters["densities"] = trial.window->plotCache().counters().densities;
        state.counters["contourSets"] = trial.window->plotCache().counters().contourSets;
    }
}

void BM_DatasetColor20x1M(benchmark::State& state)
{
    for (auto _ : state) {
        Trial trial(file1M(), 20, CombineDatasetColor);
        report(state, trial.addAllAndPaint(), 5000);
        state.counters["cacheMB"] = trial.cacheMB();
    }
}

void BM_Heatmap20x1M(benchmark::State& state)
{
    const bool sync = state.range(0) != 0;
    for (auto _ : state) {
        Trial trial(file1M(), 20, CombineHeatmap, false, sync);
        report(state, trial.addAllAndPaint(), 10000);
        state.counters["cacheMB"] = trial.cacheMB();
        state.counters["densities"] = trial.window->plotCache().counters().densities;
    }
}

void BM_HeatmapPerDataset(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Trial trial(file1M(), count, CombineHeatmap);
        const double ms = trial.addAllAndPaint();
        report(state, ms, 0);
        state.counters["msPerDataset"] = ms / count;
    }
}

void BM_RefreshUnchanged20x1M(benchmark::State& state)
{
    Trial trial(file1M(), 20, CombineHeatmap);
    trial.addAllAndPaint();
    for (auto _ : state) {
        const int densities = trial.window->plotCache().counters().densities;
        QElapsedTimer clock;
        clock.start();
        trial.window->refresh();
        trial.rebuildAndPaint();
        report(state, clock.nsecsElapsed() / 1e6, 2000);
        state.counters["newDensities"] = trial.window->plotCache().counters().densities - densities;
    }
}

void BM_FilterEdit20x1M(benchmark::State& state)
{
    Trial trial(file1M(), 20, CombineHeatmap);
    trial.addAllAndPaint();
    for (auto _ : state) {
        const auto before = trial.window->plotCache().counters();
        FilterRule rule;
        rule.featureName = "area_um";
        rule.minValue = 20;
        rule.maxValue = 200 + state.iterations();
        trial.host.entries[3]->filter.addRule(rule);
        QElapsedTimer clock;
        clock.start();
        trial.window->refresh();
        trial.rebuildAndPaint();
        report(state, clock.nsecsElapsed() / 1e6, 0);
        state.counters["rowsRecomputed"] = trial.window->plotCache().counters().collections - before.collections;
        state.counters["newDensities"] = trial.window->plotCache().counters().densities - before.densities;
    }
}

void BM_Preview4x100k(benchmark::State& state)
{
    for (auto _ : state) {
        Trial trial(file100k(), 4, CombineDatasetColor);
        trial.addAllAndPaint();
        QElapsedTimer clock;
        clock.start();
        trial.window->setExportPreview(true);
        QCoreApplication::processEvents();
        report(state, clock.nsecsElapsed() / 1e6, 2000);
    }
}

void BM_GridExport4x100k(benchmark::State& state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        Trial trial(file100k(), 4, CombineDatasetColor);
        trial.addAllAndPaint();
        ScriptedPromptsGuard prompts;
        prompts->answerFiles({dir.filePath(QStringLiteral("grid.png"))}, QStringLiteral("PNG Image (*.png)"));
        prompts->answerMessage(QStringLiteral("Single Grid Image"));
        QElapsedTimer clock;
        clock.start();
        trial.window->exportPlots();
        report(state, clock.nsecsElapsed() / 1e6, 3000);
    }
}

} // namespace

BENCHMARK(BM_ColdHeatmapContours1x1M)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DatasetColor20x1M)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Heatmap20x1M)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeatmapPerDataset)->Arg(5)->Arg(20)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshUnchanged20x1M)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterEdit20x1M)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preview4x100k)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridExport4x100k)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
