// Young's-modulus engine timings: triangulating a simulation table of about 5,000 rows (target
// at most 1 s, once per run), mapping one million events through it (target at most 1 s)
// and the eleven isoelastic lines of one plot update; the same on the shipped table, whose
// regular grid puts every four neighbouring rows on one circle (the exact predicates' slow
// path), at the conditions of a real measurement.
#include "calc/EModulus.h"
#include "calc/LutData.h"
#include "calc/LutTriangulation.h"

#include "calc/LutFixture.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <random>

namespace {

using namespace Tervane3;

// A simulation-like table: 100 areas x 50 deformations between a lower edge that rises
// slowly and an upper edge that falls with the area; the modulus grows with the
// deformation and falls with the area.
std::vector<Test::LutRow> simulationRows()
{
    std::vector<Test::LutRow> rows;
    for (int i = 0; i < 100; ++i) {
        const double area = 15.0 + 3.0 * i;
        const double lower = 0.004 + 0.00001 * area;
        const double upper = 0.02 + 0.18 * std::sqrt(15.0 / area);
        for (int k = 0; k < 50; ++k) {
            const double deform = lower + (upper - lower) * k / 49.0;
            rows.push_back({area, deform, 0.15 + 40.0 * deform * deform / std::sqrt(area) + 3.0 * deform});
        }
    }
    return rows;
}

EModulusParams measurement()
{
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperature = 24.0;
    p.channelWidth = 20.0;
    p.flowRate = 0.04;
    return p;
}

void BM_TriangulateTable(benchmark::State& state)
{
    const LutData table = Test::toLutData(simulationRows());
    size_t triangles = 0;
    for (auto _ : state) {
        std::optional<LutTriangulation> t = LutTriangulation::build(table);
        triangles = t->triangles.size();
        benchmark::DoNotOptimize(t);
    }
    state.counters["rows"] = static_cast<double>(table.rowCount());
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_TriangulateTable)->Unit(benchmark::kMillisecond);

struct LoadedTable
{
    QTemporaryDir dir;
    EModulus emodulus;
    LoadedTable()
    {
        emodulus.setLutFile(0, Test::writeLutFile(dir, QStringLiteral("table.txt"), simulationRows()));
        emodulus.buildTriangulation(0);
    }
};

// Maps a million events drawn uniformly from the given area and deformation ranges and
// reports how many got a modulus.
void mapOneMillionEvents(benchmark::State& state, EModulus& emodulus, const EModulusParams& params,
                         unsigned seed, double areaMin, double areaMax, double deformMin,
                         double deformMax)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> area(areaMin, areaMax);
    std::uniform_real_distribution<double> deform(deformMin, deformMax);
    std::vector<double> areas(1000000);
    std::vector<double> deforms(areas.size());
    for (size_t i = 0; i < areas.size(); ++i) {
        areas[i] = area(rng);
        deforms[i] = deform(rng);
    }
    std::vector<double> result;
    for (auto _ : state) {
        emodulus.computeColumn(areas, deforms, nullptr, params, result);
        benchmark::DoNotOptimize(result.data());
    }
    size_t mapped = 0;
    for (double e : result)
        mapped += std::isfinite(e);
    state.counters["mapped"] = static_cast<double>(mapped);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(areas.size()));
}

void BM_MapOneMillionEvents(benchmark::State& state)
{
    LoadedTable table;
    mapOneMillionEvents(state, table.emodulus, measurement(), 1, 15.0, 320.0, 0.005, 0.2);
}
BENCHMARK(BM_MapOneMillionEvents)->Unit(benchmark::kMillisecond);

void BM_IsoelasticLines(benchmark::State& state)
{
    LoadedTable table;
    size_t lines = 0;
    for (auto _ : state) {
        const std::vector<IsoelasticLine> result = table.emodulus.isoelastics(measurement());
        lines = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_IsoelasticLines)->Unit(benchmark::kMillisecond);

QString shippedTablePath()
{
    return QStringLiteral(TERVANE3_SOURCE_DIR "/data/LUT_LE_2D_FEM.txt");
}

// TavrisolB in the 20 µm channel at 0.16 µL/s and 23 °C.
EModulusParams realisticMeasurement()
{
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperatureSource = EModulusParams::TemperatureManual;
    p.temperature = 23.0;
    p.channelWidth = 20.0;
    p.flowRate = 0.16;
    return p;
}

void BM_TriangulateShippedTable(benchmark::State& state)
{
    const std::optional<LutData> table = LutData::readFile(shippedTablePath());
    if (!table) {
        state.SkipWithError("shipped table not found");
        return;
    }
    size_t triangles = 0;
    for (auto _ : state) {
        std::optional<LutTriangulation> t = LutTriangulation::build(*table);
        triangles = t->triangles.size();
        benchmark::DoNotOptimize(t);
    }
    state.counters["rows"] = static_cast<double>(table->rowCount());
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_TriangulateShippedTable)->Unit(benchmark::kMillisecond);

// Reading and triangulating the shipped table on first use, as the first plot update or
// calculation of a run pays it.
void BM_FirstUseOfShippedTable(benchmark::State& state)
{
    for (auto _ : state) {
        EModulus emodulus;
        emodulus.setLutFile(0, shippedTablePath());
        emodulus.buildTriangulation(0);
        if (!emodulus.triangulation(0)) {
            state.SkipWithError("shipped table not found");
            return;
        }
    }
}
BENCHMARK(BM_FirstUseOfShippedTable)->Unit(benchmark::kMillisecond);

struct ShippedTable
{
    EModulus emodulus;
    ShippedTable()
    {
        emodulus.setLutFile(0, shippedTablePath());
        emodulus.buildTriangulation(0);
    }
};

void BM_MapOneMillionEventsShipped(benchmark::State& state)
{
    ShippedTable table;
    if (!table.emodulus.triangulation(0)) {
        state.SkipWithError("shipped table not found");
        return;
    }
    // Cells of a typical population: 20 .. 150 µm², deformations 0.005 .. 0.1.
    mapOneMillionEvents(state, table.emodulus, realisticMeasurement(), 2, 20.0, 150.0, 0.005, 0.1);
}
BENCHMARK(BM_MapOneMillionEventsShipped)->Unit(benchmark::kMillisecond);

void BM_IsoelasticLinesShipped(benchmark::State& state)
{
    ShippedTable table;
    size_t lines = 0;
    for (auto _ : state) {
        const std::vector<IsoelasticLine> result =
            table.emodulus.isoelastics(realisticMeasurement());
        lines = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_IsoelasticLinesShipped)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
