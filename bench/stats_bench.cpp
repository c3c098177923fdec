// Speed of the statistical comparison: a run of the statistical evaluation window (filter
// evaluation once per dataset, summaries, tests, table and plots) over 20 datasets of a
// synthetic 1,000,000-event measurement and over 100 datasets of 100,000 events, each
// dataset with 5 range rules of its own, for 1 and 10 features, with all worker threads
// and with one; and the window's refresh with 100 datasets in its categories.
//
// Every dataset has its own reader (own column cache), as opened datasets have; the
// columns a run reads are cached before timing, as the main window caches them on
// opening. The files are made on first run in the temporary folder (TERVANE3_BENCH_DIR
// chooses another).
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"

#include "app/ScriptedPrompts.h"
#include "core/ParallelFor.h"
#include "support/RangeRule.h"
#include "support/StandInHost.h"

#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"

#include <benchmark/benchmark.h>

#include <QListWidget>

#include <algorithm>
#include <memory>

using namespace Tervane3;

namespace {

const std::vector<std::string> featureKeys = {"area_um", "deform",   "bright_avg", "aspect",  "inert_ratio_cvx",
                                              "tilt",    "pos_x",    "volume",     "fl1_max", "bright_sd"};

std::string benchFile(size_t events)
{
    return Bench::ensureSynthFile("tervane3_bench_stats_" + std::to_string(events) + ".rtdc",
                                  "--events " + std::to_string(events) + " --seed 11");
}

// A window with two categories of equal size over `count` datasets of one file.
struct Setup
{
    Test::StandInHost host;
    std::unique_ptr<StatisticalEvalWindow> window;

    Setup(size_t count, size_t events)
    {
        const std::string path = benchFile(events);
        window = std::make_unique<StatisticalEvalWindow>(&host);
        for (size_t d = 0; d < count; ++d) {
            DatasetEntry* entry = host.addDataset(path, QStringLiteral("dataset %1").arg(d));
            // Five rules whose limits differ per dataset, so no two datasets pass the same events.
            const double shift = 0.01 * static_cast<double>(d);
            entry->filter.addRule(Test::rangeRule("area_um", 20 + shift, 400));
            entry->filter.addRule(Test::rangeRule("deform", 0.0, 0.2 - 0.001 * shift));
            entry->filter.addRule(Test::rangeRule("bright_avg", 50 + shift, 250));
            entry->filter.addRule(Test::rangeRule("aspect", 1.0, 3.0 + shift));
            entry->filter.addRule(Test::rangeRule("pos_y", 5.0 + shift, 22.0));
            for (const std::string& key : featureKeys)
                entry->reader->getFeature(key);
            entry->reader->getFeature("pos_y");
            window->categories()[d < count / 2 ? 0 : 1]->addDataset(entry->id);
        }
    }

    void select(size_t features)
    {
        auto* list = window->findChild<QListWidget*>(QStringLiteral("featureList"));
        list->clearSelection();
        for (int row = 0; row < list->count(); ++row) {
            const std::string key = list->item(row)->data(Qt::UserRole).toString().toStdString();
            const auto found = std::find(featureKeys.begin(), featureKeys.end(), key);
            if (found != featureKeys.end() && static_cast<size_t>(found - featureKeys.begin()) < features)
                list->item(row)->setSelected(true);
        }
    }
};

// One setup in memory at a time (20 cached 1M-event datasets take about 1.8 GB).
Setup& setup(size_t count, size_t events)
{
    static std::pair<size_t, size_t> shape;
    static std::unique_ptr<Setup> current;
    if (!current || shape != std::make_pair(count, events)) {
        current.reset();
        current = std::make_unique<Setup>(count, events);
        shape = {count, events};
    }
    return *current;
}

// Args: datasets, events per dataset, features, threads (0: all).
void BM_ComparisonRun(benchmark::State& state)
{
    ScriptedPromptsGuard prompts;
    Setup& s = setup(static_cast<size_t>(state.range(0)), static_cast<size_t>(state.range(1)));
    s.select(static_cast<size_t>(state.range(2)));
    setWorkerThreadLimit(static_cast<int>(state.range(3)));
    for (auto _ : state)
        s.window->onRunAnalysis();
    setWorkerThreadLimit(0);
    if (!prompts->calls().empty())
        state.SkipWithError("the run showed a box");
    state.counters["threads"] = state.range(3) == 0 ? workerThreadCount() : static_cast<int>(state.range(3));
}
BENCHMARK(BM_ComparisonRun)
    ->ArgNames({"datasets", "events", "features", "threads"})
    ->Args({20, 1000000, 1, 0})
    ->Args({20, 1000000, 10, 0})
    ->Args({20, 1000000, 1, 1})
    ->Args({20, 1000000, 10, 1})
    ->Args({100, 100000, 1, 0})
    ->Args({100, 100000, 10, 0})
    ->Args({100, 100000, 1, 1})
    ->Args({100, 100000, 10, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Refresh(benchmark::State& state)
{
    Setup& s = setup(100, 100000);
    s.select(1);
    for (auto _ : state)
        s.window->refresh();
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
