// Speed of the data core's per-update work on one million synthetic events: the event
// filter, the axis transforms, the three density estimates and the contour lines, each
// with one thread and with all threads, plus a combine window of 20 smaller datasets.
//
//   build-release/bench/datacore_bench [--benchmark_filter=Knn]
//
// When the 1M-event file of the synthetic-measurement generator is at hand (the reader
// benchmark makes it: $TERVANE3_BENCH_DIR, else the temporary folder,
// "tervane3_bench_1M.rtdc"), the main plot's work is also timed on its columns.
#include "bench/BenchFiles.h"
#include "core/AxisScaleMode.h"
#include "core/DensityEstimator.h"
#include "core/EventFilter.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

constexpr size_t kEvents = 1000000;

// Columns shaped like a cytometry measurement (fixed seed): area lognormal around 60 um^2,
// deformation gamma around 0.02 and rising with area, brightness normal, and two
// fluorescence channels with a dim population around zero (negative values included) and
// a bright one spanning decades.
struct Measurement
{
    std::vector<double> area, deform, bright, fl1, fl2;
};

Measurement makeMeasurement(size_t n, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::lognormal_distribution<double> area(std::log(60.0), 0.35);
    std::gamma_distribution<double> deform(4.0, 0.005);
    std::normal_distribution<double> bright(120.0, 12.0);
    std::normal_distribution<double> dim(5.0, 40.0);
    std::lognormal_distribution<double> brightFl(std::log(3000.0), 1.0);
    std::bernoulli_distribution positive(0.4);
    Measurement m;
    m.area.resize(n);
    m.deform.resize(n);
    m.bright.resize(n);
    m.fl1.resize(n);
    m.fl2.resize(n);
    for (size_t i = 0; i < n; ++i) {
        m.area[i] = area(rng);
        m.deform[i] = deform(rng) * (0.7 + 0.3 * m.area[i] / 60.0);
        m.bright[i] = bright(rng);
        const bool labelled = positive(rng);
        m.fl1[i] = labelled ? brightFl(rng) : dim(rng);
        m.fl2[i] = labelled ? 0.3 * m.fl1[i] + dim(rng) : dim(rng);
    }
    return m;
}

const Measurement& measurement()
{
    static const Measurement m = makeMeasurement(kEvents, 20240601);
    return m;
}

// Threads as the benchmark argument: 1, or 0 for every thread the machine offers.
struct ThreadLimit
{
    explicit ThreadLimit(const benchmark::State& state) { setWorkerThreadLimit(static_cast<int>(state.range(0))); }
    ~ThreadLimit() { setWorkerThreadLimit(0); }
};

FilterRule range(const char* feature, double lo, double hi)
{
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

// The polygon of the fifth rule.
enum class Gate {
    Linear,          // area against deformation, keeps most events
    PseudoLogWide,   // both fluorescence channels, pseudo-logarithmic, keeps almost all
    PseudoLogTight,  // around the bright population only, as gates are usually drawn
    Drawn24,         // a hand-drawn outline of 24 vertices around the main population
};

EventFilter fiveRules(Gate gate)
{
    EventFilter filter;
    filter.addRule(range("area_um", 20.0, 200.0));
    filter.addRule(range("deform", 0.0, 0.08));
    filter.addRule(range("bright_avg", 90.0, 150.0));
    FilterRule fl = range("fl2_max", -150.0, 50000.0);
    filter.addRule(fl);
    FilterRule polygon;
    polygon.type = PolygonRule;
    switch (gate) {
    case Gate::PseudoLogWide:
    case Gate::PseudoLogTight:
        polygon.featureName = "fl1_max";
        polygon.featureNameY = "fl2_max";
        polygon.scaleXMode = ScalePseudoLog;
        polygon.scaleYMode = ScalePseudoLog;
        if (gate == Gate::PseudoLogWide)
            polygon.polygonVertices = {{-200, -200}, {300, -250}, {20000, 4000}, {30000, 20000},
                                       {5000, 9000}, {-150, 300}};
        else
            polygon.polygonVertices = {{1000, 200}, {30000, 6000}, {30000, 12000}, {1000, 500}};
        break;
    case Gate::Linear:
        polygon.featureName = "area_um";
        polygon.featureNameY = "deform";
        polygon.polygonVertices = {{30, 0.0}, {110, 0.0}, {130, 0.04}, {90, 0.06}, {40, 0.045}};
        break;
    case Gate::Drawn24:
        polygon.featureName = "area_um";
        polygon.featureNameY = "deform";
        for (int k = 0; k < 24; ++k) {
            const double angle = 2.0 * M_PI * k / 24.0;
            // A slightly irregular outline, as a hand draws it.
            const double r = 1.0 + 0.08 * std::sin(3.0 * angle);
            polygon.polygonVertices.emplace_back(60.0 + 25.0 * r * std::cos(angle),
                                                 0.022 + 0.01 * r * std::sin(angle));
        }
        break;
    }
    filter.addRule(polygon);
    return filter;
}

void BM_FilterApply(benchmark::State& state, Gate gate)
{
    const ThreadLimit limit(state);
    const Measurement& m = measurement();
    const FeatureColumnMap columns{{"area_um", &m.area}, {"deform", &m.deform}, {"bright_avg", &m.bright},
                                   {"fl1_max", &m.fl1},  {"fl2_max", &m.fl2}};
    const EventFilter filter = fiveRules(gate);
    size_t kept = 0;
    for (auto _ : state) {
        const std::vector<int> passing = filter.apply(columns, kEvents);
        kept = passing.size();
        benchmark::DoNotOptimize(passing.data());
    }
    state.counters["kept"] = static_cast<double>(kept);
}
BENCHMARK_CAPTURE(BM_FilterApply, linear_polygon, Gate::Linear)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FilterApply, pseudolog_polygon, Gate::PseudoLogWide)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FilterApply, pseudolog_gate, Gate::PseudoLogTight)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FilterApply, drawn_24_vertices, Gate::Drawn24)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TransformPseudoLog(benchmark::State& state)
{
    const ThreadLimit limit(state);
    for (auto _ : state) {
        const std::vector<double> t = transformValues(measurement().fl1, ScalePseudoLog);
        benchmark::DoNotOptimize(t.data());
    }
}
BENCHMARK(BM_TransformPseudoLog)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChooseBinCount(benchmark::State& state)
{
    const ThreadLimit limit(state);
    int bins = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bins = DensityEstimator::chooseBinCount(measurement().area, measurement().deform));
    state.counters["bins"] = bins;
}
BENCHMARK(BM_ChooseBinCount)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Density(benchmark::State& state, int method, bool fluorescence)
{
    const ThreadLimit limit(state);
    const Measurement& m = measurement();
    // Callers pass axis coordinates; the fluorescence plot is pseudo-logarithmic.
    const std::vector<double> x = fluorescence ? transformValues(m.fl1, ScalePseudoLog) : m.area;
    const std::vector<double> y = fluorescence ? transformValues(m.fl2, ScalePseudoLog) : m.deform;
    for (auto _ : state) {
        const std::vector<double> d = DensityEstimator::computeDensity(x, y, method);
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK_CAPTURE(BM_Density, kde_area_deform, DensityKde, false)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Density, kde_fluorescence, DensityKde, true)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Density, hist_area_deform, DensityHistogram, false)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Density, knn_area_deform, DensityKnn, false)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Density, knn_fluorescence, DensityKnn, true)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The nearest-neighbour worst case: a few outliers stretch the coarse grid so that almost
// every event shares one cell.
void BM_KnnOneCell(benchmark::State& state)
{
    const ThreadLimit limit(state);
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal(0.0, 1e-3);
    std::vector<double> x(kEvents), y(kEvents);
    for (size_t i = 0; i < kEvents; ++i) {
        x[i] = normal(rng);
        y[i] = normal(rng);
    }
    x[0] = 100.0;
    y[0] = 100.0;
    x[1] = -100.0;
    y[1] = -100.0;
    for (auto _ : state) {
        const std::vector<double> d = DensityEstimator::knnDensity(x, y);
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_KnnOneCell)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Contours(benchmark::State& state, bool fluorescence)
{
    const ThreadLimit limit(state);
    const Measurement& m = measurement();
    const std::vector<double> fractions{0.1, 0.5, 0.9};
    size_t lines = 0;
    for (auto _ : state) {
        const std::vector<ContourLevel> levels =
            fluorescence ? DensityEstimator::computeContours(m.fl1, m.fl2, fractions, ScalePseudoLog, ScalePseudoLog)
                         : DensityEstimator::computeContours(m.area, m.deform, fractions, ScaleLinear, ScaleLinear);
        lines = 0;
        for (const ContourLevel& level : levels)
            lines += level.lines.size();
        benchmark::DoNotOptimize(levels.data());
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK_CAPTURE(BM_Contours, area_deform, false)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Contours, fluorescence_pseudolog, true)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Density colouring plus three contour levels from one kernel grid, as a plot that shows
// both asks for them.
void BM_DensityAndContours(benchmark::State& state, bool fluorescence)
{
    const ThreadLimit limit(state);
    const Measurement& m = measurement();
    const std::vector<double> fractions{0.1, 0.5, 0.9};
    for (auto _ : state) {
        const DensityAndContours result =
            fluorescence ? DensityEstimator::computeDensityAndContours(m.fl1, m.fl2, DensityKde, fractions,
                                                                       ScalePseudoLog, ScalePseudoLog)
                         : DensityEstimator::computeDensityAndContours(m.area, m.deform, DensityKde, fractions,
                                                                       ScaleLinear, ScaleLinear);
        benchmark::DoNotOptimize(result.density.data());
    }
}
BENCHMARK_CAPTURE(BM_DensityAndContours, area_deform, false)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DensityAndContours, fluorescence_pseudolog, true)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// A combine window: 20 datasets of 50000 events, each filtered, coloured by density and
// given two contour levels.
void BM_CombineWindow20(benchmark::State& state)
{
    const ThreadLimit limit(state);
    std::vector<Measurement> datasets;
    for (unsigned d = 0; d < 20; ++d)
        datasets.push_back(makeMeasurement(50000, 1000 + d));
    const EventFilter filter = fiveRules(Gate::Linear);
    for (auto _ : state) {
        for (const Measurement& m : datasets) {
            const FeatureColumnMap columns{{"area_um", &m.area}, {"deform", &m.deform}, {"bright_avg", &m.bright},
                                           {"fl1_max", &m.fl1},  {"fl2_max", &m.fl2}};
            const std::vector<int> kept = filter.apply(columns, m.area.size());
            std::vector<double> x, y;
            x.reserve(kept.size());
            y.reserve(kept.size());
            for (const int i : kept) {
                x.push_back(m.area[static_cast<size_t>(i)]);
                y.push_back(m.deform[static_cast<size_t>(i)]);
            }
            const DensityAndContours result = DensityEstimator::computeDensityAndContours(
                x, y, DensityKde, {0.5, 0.95}, ScaleLinear, ScaleLinear);
            benchmark::DoNotOptimize(result.density.data());
        }
    }
}
BENCHMARK(BM_CombineWindow20)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The main plot's work on the columns of a generated measurement file: filter, then
// density colours and two contour levels of the kept events.
void BM_FilePlotUpdate(benchmark::State& state, const Measurement* m, bool fluorescence)
{
    const ThreadLimit limit(state);
    const FeatureColumnMap columns{{"area_um", &m->area}, {"deform", &m->deform}, {"bright_avg", &m->bright},
                                   {"fl1_max", &m->fl1},  {"fl2_max", &m->fl2}};
    const EventFilter filter = fiveRules(fluorescence ? Gate::PseudoLogWide : Gate::Linear);
    for (auto _ : state) {
        const std::vector<int> kept = filter.apply(columns, m->area.size());
        const std::vector<double>& xs = fluorescence ? m->fl1 : m->area;
        const std::vector<double>& ys = fluorescence ? m->fl2 : m->deform;
        std::vector<double> x(kept.size()), y(kept.size());
        for (size_t i = 0; i < kept.size(); ++i) {
            x[i] = xs[static_cast<size_t>(kept[i])];
            y[i] = ys[static_cast<size_t>(kept[i])];
        }
        const int mode = fluorescence ? ScalePseudoLog : ScaleLinear;
        const DensityAndContours result =
            DensityEstimator::computeDensityAndContours(x, y, DensityKde, {0.5, 0.95}, mode, mode);
        benchmark::DoNotOptimize(result.density.data());
    }
    state.counters["events"] = static_cast<double>(m->area.size());
}

void registerFileBenchmarks()
{
    const std::string path = Bench::benchDir() + "/tervane3_bench_1M.rtdc";
    if (!std::filesystem::exists(path))
        return;
    RTDCReader reader;
    if (!reader.open(path))
        return;
    static Measurement m;
    m.area = reader.getFeature("area_um");
    m.deform = reader.getFeature("deform");
    m.bright = reader.getFeature("bright_avg");
    m.fl1 = reader.getFeature("fl1_max");
    m.fl2 = reader.getFeature("fl2_max");
    const size_t n = m.area.size();
    if (n == 0 || m.deform.size() != n || m.bright.size() != n || m.fl1.size() != n || m.fl2.size() != n)
        return;
    for (const bool fluorescence : {false, true}) {
        benchmark::RegisterBenchmark(fluorescence ? "BM_FilePlotUpdate/fluorescence_pseudolog"
                                                  : "BM_FilePlotUpdate/area_deform",
                                     BM_FilePlotUpdate, &m, fluorescence)
            ->Arg(1)
            ->Arg(0)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

} // namespace

int main(int argc, char** argv)
{
    registerFileBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
