// Speed of the measurement reader on synthetic measurements made by tervane3-synth:
// caching every scalar column of a 1,000,000-event file next to a plain HDF5 read of the
// same datasets into memory (the floor), single trace rows and single images (handles kept
// open) next to the same reads with the dataset reopened for every row.
//
// The files are made on first run in the temporary folder (about 1.2 GB, a minute or two);
// TERVANE3_BENCH_DIR chooses another folder.
#include "bench/BenchFiles.h"
#include "core/Hdf5Lock.h"
#include "core/RTDCReader.h"

#include <H5Cpp.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

constexpr std::uint64_t kLargeEvents = 1000000;
constexpr std::uint64_t kImageEvents = 20000;

// Scalars of 1M events and their traces (3 channels, raw and median, 177 samples).
const std::string& largeFile()
{
    static const std::string path =
        Bench::ensureSynthFile("tervane3_bench_1M.rtdc", "--events " + std::to_string(kLargeEvents) + " --traces --seed 1");
    return path;
}

// 20,000 events with images and masks (80 x 250): per-event reads cost the same whatever the
// event count, and 1M images would fill 20 GB.
const std::string& imageFile()
{
    static const std::string path = Bench::ensureSynthFile("tervane3_bench_images_20k.rtdc",
                                               "--events " + std::to_string(kImageEvents) + " --images --masks --seed 2");
    return path;
}

void BM_CacheAllScalarColumns(benchmark::State& state)
{
    const std::string& path = largeFile();
    std::size_t columns = 0;
    for (auto _ : state) {
        RTDCReader reader;
        if (!reader.open(path)) {
            state.SkipWithError("cannot open the benchmark file");
            return;
        }
        reader.preloadAllFeatures();
        columns = 0;
        for (const auto& name : reader.featureNames())
            columns += isScalarFeatureName(name) && reader.getFeature(name).size() == kLargeEvents ? 1 : 0;
        benchmark::DoNotOptimize(columns);
    }
    state.counters["columns"] = static_cast<double>(columns);
    state.counters["events"] = static_cast<double>(kLargeEvents);
}

// The floor: the same one-dimensional datasets read whole into doubles with nothing else.
void BM_PlainHdf5ReadOfTheSameColumns(benchmark::State& state)
{
    const std::string& path = largeFile();
    H5::Exception::dontPrint();
    std::size_t columns = 0;
    for (auto _ : state) {
        Hdf5Locker lock(hdf5Mutex());
        H5::H5File file(path, H5F_ACC_RDONLY);
        H5::Group events = file.openGroup("/events");
        std::vector<std::vector<double>> data;
        for (hsize_t i = 0; i < events.getNumObjs(); ++i) {
            if (events.getObjTypeByIdx(i) != H5G_DATASET)
                continue;
            H5::DataSet set = events.openDataSet(events.getObjnameByIdx(i));
            H5::DataSpace space = set.getSpace();
            if (space.getSimpleExtentNdims() != 1)
                continue;
            hsize_t n = 0;
            space.getSimpleExtentDims(&n);
            data.emplace_back(n);
            set.read(data.back().data(), H5::PredType::NATIVE_DOUBLE);
        }
        columns = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["columns"] = static_cast<double>(columns);
}

// A column that is already cached: what the GUI thread pays for every plot update.
void BM_CachedColumnLookup(benchmark::State& state)
{
    static RTDCReader reader;
    if (!reader.isOpen()) {
        reader.open(largeFile());
        reader.getFeature("deform");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.getFeature("deform").data());
}

template <typename Read>
void perEventReads(benchmark::State& state, std::uint64_t events, Read read)
{
    // Argument 0: the next event each time (browsing); 1: a random event each time.
    const bool random = state.range(0) == 1;
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<std::uint64_t> pick(0, events - 1);
    std::uint64_t event = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        event = random ? pick(rng) : (event + 1) % events;
        bytes = read(event);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetLabel(random ? "random events" : "consecutive events");
}

void BM_TraceRow(benchmark::State& state)
{
    static RTDCReader reader;
    if (!reader.isOpen())
        reader.open(largeFile());
    perEventReads(state, kLargeEvents, [](std::uint64_t e) { return reader.getTrace("fl1_raw", e).size(); });
}

void BM_Image(benchmark::State& state)
{
    static RTDCReader reader;
    if (!reader.isOpen())
        reader.open(imageFile());
    perEventReads(state, kImageEvents, [](std::uint64_t e) {
        int width = 0;
        int height = 0;
        return reader.readImage(e, width, height).size();
    });
}

// For comparison: the row read with the dataset opened and closed around every read, which
// throws the decompressed chunks away each time.
void BM_TraceRowReopeningTheDataset(benchmark::State& state)
{
    H5::Exception::dontPrint();
    static H5::H5File file(largeFile(), H5F_ACC_RDONLY);
    perEventReads(state, kLargeEvents, [](std::uint64_t e) {
        Hdf5Locker lock(hdf5Mutex());
        H5::DataSet set = file.openDataSet("/events/trace/fl1_raw");
        H5::DataSpace space = set.getSpace();
        hsize_t dims[2] = {0, 0};
        space.getSimpleExtentDims(dims);
        const hsize_t start[2] = {e, 0};
        const hsize_t count[2] = {1, dims[1]};
        space.selectHyperslab(H5S_SELECT_SET, count, start);
        H5::DataSpace memory(1, &dims[1]);
        std::vector<std::int16_t> row(dims[1]);
        set.read(row.data(), H5::PredType::NATIVE_INT16, memory, space);
        return row.size();
    });
}

} // namespace

BENCHMARK(BM_CacheAllScalarColumns)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_PlainHdf5ReadOfTheSameColumns)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_CachedColumnLookup);
BENCHMARK(BM_TraceRow)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TraceRowReopeningTheDataset)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Image)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
