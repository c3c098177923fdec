// Speed of the statistical evaluation window: a comparison run (filter evaluation once per
// dataset, summaries, tests, table and plots) over 20 datasets of a synthetic
// 1,000,000-event measurement and over 100 datasets of 100,000 events, each dataset with 5
// range rules of its own, for 1 and 10 features, with all worker threads and with one; the
// window's refresh with 100 datasets; the distribution explorer (both modes) and a ROC run
// over 5 features on the 20 x 1M datasets; restoring a window of 5 categories x 20
// datasets; 40 ROC plots written as one PNG (with the image's memory); and the exact
// null distributions of the two-sample rank tests at their largest sizes, with and without
// ties.
//
// Every dataset has its own reader (own column cache), as opened datasets have; the
// columns a run reads are cached before timing, as the main window caches them on
// opening. The files are made on first run in the temporary folder (TERVANE3_BENCH_DIR
// chooses another).
#include "stats/CategoryPanel.h"
#include "stats/RankTests.h"
#include "stats/RocAnalysis.h"
#include "stats/RocPlot.h"
#include "stats/StatisticalEvalWindow.h"
#include "stats/StatisticsExport.h"

#include "app/ScriptedPrompts.h"
#include "core/ParallelFor.h"
#include "support/RuleBuilders.h"
#include "support/StandInHost.h"

#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QJsonArray>
#include <QListWidget>
#include <QTemporaryDir>

#include <qwt_plot.h>

#include <algorithm>
#include <cmath>
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

// Args: per category (0 per dataset, 1 per category), threads (0: all).
void BM_Distributions(benchmark::State& state)
{
    ScriptedPromptsGuard prompts;
    Setup& s = setup(20, 1000000);
    s.select(1);
    s.window->findChild<QComboBox*>(QStringLiteral("distributionModeCombo"))->setCurrentIndex(static_cast<int>(state.range(0)));
    setWorkerThreadLimit(static_cast<int>(state.range(1)));
    for (auto _ : state)
        s.window->onRunDistribution();
    setWorkerThreadLimit(0);
    if (!prompts->calls().empty() || s.window->distributionPlotList().size() != 1)
        state.SkipWithError("no plot");
}
BENCHMARK(BM_Distributions)
    ->ArgNames({"perCategory", "threads"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_RocRun(benchmark::State& state)
{
    ScriptedPromptsGuard prompts;
    Setup& s = setup(20, 1000000);
    s.select(5);
    setWorkerThreadLimit(static_cast<int>(state.range(0)));
    for (auto _ : state)
        s.window->onRunROC();
    setWorkerThreadLimit(0);
    if (!prompts->calls().empty() || s.window->rocPlotList().size() != 6)
        state.SkipWithError("the run did not show 5 curves and the combination");
}
BENCHMARK(BM_RocRun)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A new window restored with 5 categories of 20 datasets each (no dataset value is computed).
void BM_Restore(benchmark::State& state)
{
    ScriptedPromptsGuard prompts;
    Setup& s = setup(100, 100000);
    QJsonArray categories;
    std::map<int, int> sessionIds;
    for (int c = 0; c < 5; ++c) {
        QJsonArray entries;
        for (int d = 0; d < 20; ++d) {
            const int index = c * 20 + d;
            sessionIds[index] = s.host.entries[static_cast<size_t>(index)]->id;
            entries.append(QJsonObject{{"datasetSessionIndex", index}, {"numberId", d + 1}});
        }
        categories.append(QJsonObject{{"name", QStringLiteral("Category %1").arg(c)}, {"entries", entries}});
    }
    const QJsonObject json{{"categories", categories},
                           {"selectedFeatures", QJsonArray{"area_um", "deform"}},
                           {"pairingMode", "Repeated measures / Matched"},
                           {"technicalReplicates", true},
                           {"connectionLines", true},
                           {"activeTab", 1}};
    for (auto _ : state) {
        auto window = std::make_unique<StatisticalEvalWindow>(&s.host);
        window->restoreFromJson(json, sessionIds);
        benchmark::DoNotOptimize(window->categories().size());
        // The window's destruction is not part of restoring.
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    if (!prompts->calls().empty())
        state.SkipWithError("restoring showed a box");
}
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RocPlotsToPng(benchmark::State& state)
{
    const RocResult roc = computeRoc({1, 2, 3, 4, 5, 6, 7, 8}, {3, 5, 6, 7, 9, 10, 11, 12});
    std::vector<std::unique_ptr<QwtPlot>> owned;
    std::vector<QwtPlot*> plots;
    for (int i = 0; i < 40; ++i) {
        owned.emplace_back(buildRocPlot(QStringLiteral("Feature %1").arg(i), roc));
        plots.push_back(owned.back().get());
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("roc.png"));
    for (auto _ : state)
        if (!exportStackedPlots(plots, file, 120))
            state.SkipWithError("not written");
    // One 32-bit image of 708 px by the stack's height at 150 dpi.
    const double heightPx = std::floor((40 * 120 + 39 * 8) * 150 / 25.4);
    state.counters["imageMB"] = 708 * heightPx * 4 / 1e6;
}
BENCHMARK(BM_RocPlotsToPng)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The exact null distributions at their largest sizes: Mann-Whitney U with 8 values against
// a list of the given length (U at the middle, the longest tail), and the signed-rank test
// with 50 differences; each without ties and with every value tied to one other (runs of
// two, the slowest case: the count cannot halve its units).
void BM_ExactMannWhitney(benchmark::State& state)
{
    std::vector<double> x;
    std::vector<double> y;
    const int n = static_cast<int>(state.range(0));
    const bool tied = state.range(1) != 0;
    for (int i = 0; i < 8; ++i)
        x.push_back(tied ? std::floor((i + 0.5) * (n + 8) / 8.0) : (i + 0.5) * (n + 8) / 8.0);
    for (int i = 0; i < n; ++i)
        y.push_back(tied ? std::floor(i / 2.0) * 2.0 : i + 0.25);
    for (auto _ : state) {
        const RankTestResult r = mannWhitneyUTest(x, y);
        if (!r.exact)
            state.SkipWithError("not exact");
        benchmark::DoNotOptimize(r.pValue);
    }
}
BENCHMARK(BM_ExactMannWhitney)
    ->ArgNames({"larger", "ties"})
    ->ArgsProduct({{8, 50, 200, 1000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

void BM_ExactWilcoxon(benchmark::State& state)
{
    const bool tied = state.range(0) != 0;
    std::vector<double> d;
    for (int i = 1; i <= 50; ++i) {
        const double magnitude = tied ? (i + 1) / 2 : i;
        d.push_back(i % 2 ? magnitude : -magnitude);
    }
    for (auto _ : state) {
        const RankTestResult r = wilcoxonSignedRankTest(d);
        if (!r.exact)
            state.SkipWithError("not exact");
        benchmark::DoNotOptimize(r.pValue);
    }
}
BENCHMARK(BM_ExactWilcoxon)->ArgName("ties")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
