// Speed of the measurement reader on synthetic measurements made by tervane3-synth:
// caching every scalar column of a 1,000,000-event file next to a plain HDF5 read of the
// same datasets into memory (the floor), single trace rows and single images (handles kept
// open) next to the same reads with the dataset reopened for every row.
// BM_CachingSideBySide is a measured trial in one run: the plain single-threaded read and
// open + preloadAllFeatures, alternately, best of three each, with the ratio, the load
// average, a bit-for-bit comparison of every column, the peak resident memory added while
// caching, how long the caching holds the HDF5 lock and the longest wait for it of a second
// thread. For
// comparison also the cache on one thread and the column-by-column read of getFeature().
//
// The files are made on first run in the temporary folder (about 1.2 GB, a minute or two);
// TERVANE3_BENCH_DIR chooses another folder.
#include "bench/BenchFiles.h"
#include "core/Hdf5Lock.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "core/RTDCReaderPrivate.h"

#include <H5Cpp.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include <sys/resource.h>
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

using Columns = std::map<std::string, std::vector<double>>;

// The plain single-threaded read: every one-dimensional dataset of /events opened, read whole
// into doubles by the library and closed.
Columns plainRead(const std::string& path)
{
    H5::Exception::dontPrint();
    Hdf5Locker lock(hdf5Mutex());
    Columns columns;
    H5::H5File file(path, H5F_ACC_RDONLY);
    H5::Group events = file.openGroup("/events");
    for (hsize_t i = 0; i < events.getNumObjs(); ++i) {
        if (events.getObjTypeByIdx(i) != H5G_DATASET)
            continue;
        const std::string name = events.getObjnameByIdx(i);
        H5::DataSet set = events.openDataSet(name);
        H5::DataSpace space = set.getSpace();
        if (space.getSimpleExtentNdims() != 1)
            continue;
        hsize_t n = 0;
        space.getSimpleExtentDims(&n);
        std::vector<double>& column = columns[name];
        column.resize(n);
        set.read(column.data(), H5::PredType::NATIVE_DOUBLE);
    }
    return columns;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Minor page faults of the process so far: first touches of fresh memory, which dominate
// reading a million-event file into new columns in a virtual machine.
long pageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double loadAverage()
{
    std::ifstream in("/proc/loadavg");
    double load = 0.0;
    in >> load;
    return load;
}

// Takes the HDF5 lock every 200 us and keeps the longest wait: what a GUI-thread getFeature()
// of an uncached column would wait at most while the cache fills.
class LockProbe
{
public:
    LockProbe()
        : thread([this] {
            while (!stop) {
                const auto start = std::chrono::steady_clock::now();
                hdf5Mutex().lock();
                hdf5Mutex().unlock();
                longestWait = std::max(longestWait, secondsSince(start));
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        })
    {
    }
    ~LockProbe() { finish(); }
    void finish()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
    double longestWaitSeconds() const { return longestWait; }

private:
    std::atomic<bool> stop{false};
    double longestWait = 0.0;
    std::thread thread;
};

void BM_CachingSideBySide(benchmark::State& state)
{
    const std::string& path = largeFile();
    for (auto _ : state) {
        const double loadBefore = loadAverage();
        double bestPlain = 1e30;
        double bestCache = 1e30;
        double bestOneThread = 1e30;
        double bestByColumn = 1e30;
        double heldSeconds = 0.0;
        double longestWait = 0.0;
        double peakAddedMiB = 0.0;
        long plainFaults = 0;
        long cacheFaults = 0;
        long byColumnFaults = 0;
        std::uint64_t inflated = 0;
        // Each contender frees its columns before the next one starts, so that all of them
        // find the allocator in the same state.
        for (int round = 0; round < 3; ++round) {
            long faults = pageFaults();
            auto start = std::chrono::steady_clock::now();
            plainRead(path);
            bestPlain = std::min(bestPlain, secondsSince(start));
            plainFaults = pageFaults() - faults;

            {
                const double residentBefore = Bench::statusMiB("VmRSS");
                std::ofstream("/proc/self/clear_refs") << "5"; // peak from here on
                RTDCReader reader;
                LockProbe probe;
                faults = pageFaults();
                start = std::chrono::steady_clock::now();
                if (!reader.open(path)) {
                    state.SkipWithError("cannot open the benchmark file");
                    return;
                }
                const double lockedBefore = Hdf5Detail::preloadLockedSeconds();
                const std::uint64_t inflatedBefore = Hdf5Detail::preloadInflatedColumns();
                reader.preloadAllFeatures();
                const double seconds = secondsSince(start);
                cacheFaults = pageFaults() - faults;
                inflated = Hdf5Detail::preloadInflatedColumns() - inflatedBefore;
                probe.finish();
                if (seconds < bestCache) {
                    bestCache = seconds;
                    heldSeconds = Hdf5Detail::preloadLockedSeconds() - lockedBefore;
                    longestWait = probe.longestWaitSeconds();
                }
                peakAddedMiB = std::max(peakAddedMiB, Bench::statusMiB("VmHWM") - residentBefore);
            }
            {
                // The same work on one thread: how much comes from the cores.
                setWorkerThreadLimit(1);
                RTDCReader single;
                start = std::chrono::steady_clock::now();
                single.open(path);
                single.preloadAllFeatures();
                bestOneThread = std::min(bestOneThread, secondsSince(start));
                setWorkerThreadLimit(0);
            }
            {
                // Column after column through getFeature(): the library's read and conversion
                // of each whole dataset, as a request of the GUI thread for one column does.
                RTDCReader byColumn;
                faults = pageFaults();
                start = std::chrono::steady_clock::now();
                byColumn.open(path);
                for (const std::string& name : byColumn.featureNames())
                    byColumn.getFeature(name);
                bestByColumn = std::min(bestByColumn, secondsSince(start));
                byColumnFaults = pageFaults() - faults;
            }
        }

        // Every cached value against the plain read, bit for bit.
        bool identical = true;
        std::size_t columns = 0;
        {
            const Columns plain = plainRead(path);
            RTDCReader reader;
            reader.open(path);
            reader.preloadAllFeatures();
            for (const auto& [name, values] : plain) {
                const std::vector<double>& cached = reader.getFeature(name);
                ++columns;
                if (cached.size() != values.size()
                    || std::memcmp(cached.data(), values.data(), values.size() * sizeof(double)) != 0) {
                    identical = false;
                    std::cerr << "column '" << name << "' differs from the plain read" << std::endl;
                }
            }
        }
        state.SetIterationTime(bestCache);
        state.counters["plain_ms"] = bestPlain * 1e3;
        state.counters["cache_ms"] = bestCache * 1e3;
        state.counters["plain_over_cache"] = bestPlain / bestCache;
        state.counters["cache_one_thread_ms"] = bestOneThread * 1e3;
        state.counters["by_column_ms"] = bestByColumn * 1e3;
        state.counters["inflated_columns"] = static_cast<double>(inflated);
        // Of the last round.
        state.counters["plain_faults"] = static_cast<double>(plainFaults);
        state.counters["cache_faults"] = static_cast<double>(cacheFaults);
        state.counters["by_column_faults"] = static_cast<double>(byColumnFaults);
        state.counters["lock_held_ms"] = heldSeconds * 1e3;
        state.counters["longest_lock_wait_ms"] = longestWait * 1e3;
        state.counters["peak_added_MiB"] = peakAddedMiB;
        state.counters["columns"] = static_cast<double>(columns);
        state.counters["bit_identical"] = identical ? 1 : 0;
        state.counters["load_before"] = loadBefore;
        state.counters["load_after"] = loadAverage();
        state.counters["threads"] = static_cast<double>(std::thread::hardware_concurrency());
        if (!identical)
            state.SkipWithError("cached columns differ from the plain read");
    }
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

BENCHMARK(BM_CachingSideBySide)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheAllScalarColumns)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_PlainHdf5ReadOfTheSameColumns)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_CachedColumnLookup);
BENCHMARK(BM_TraceRow)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TraceRowReopeningTheDataset)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Image)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
