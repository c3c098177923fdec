// Speed of the export of filtered events on synthetic measurements made by tervane3-synth:
// the .rtdc writer's scalar step for ~50 features of 1,000,000 events next to the reader
// caching the same columns, images with masks (80 x 250, deflate 4) and traces (events per
// second, one compression thread against all), the TSV table (MB/s), and the whole flow
// over 20 datasets with its progress window; the plot picture of 1M points (PNG, SVG, PDF)
// and the statistical summary of 20 datasets x 10 features x 1M values (one thread against
// all).
//
// Output files go to the benchmark folder and are removed after each run.
#include "BenchApplication.h"
#include "BenchFiles.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/ScriptedPrompts.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "io/EventExport.h"
#include "io/ExportDialog.h"
#include "io/PlotFileExport.h"
#include "io/RtdcWriter.h"
#include "io/StatSummaryExport.h"
#include "io/TsvEventWriter.h"
#include "plots/ScatterPlot.h"
#include "support/StandInHost.h"

#include <QApplication>
#include <QFileInfo>
#include <QRadioButton>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <numeric>

using namespace Tervane3;

namespace {

constexpr std::uint64_t kLargeEvents = 1000000;
constexpr std::uint64_t kImageEvents = 20000;

// The reader's own benchmark files: 1M events with traces, 20k events with images and masks.
const std::string& largeFile()
{
    static const std::string path = Bench::ensureSynthFile(
        "tervane3_bench_1M.rtdc", "--events " + std::to_string(kLargeEvents) + " --traces --seed 1");
    return path;
}

const std::string& imageFile()
{
    static const std::string path = Bench::ensureSynthFile(
        "tervane3_bench_images_20k.rtdc", "--events " + std::to_string(kImageEvents) + " --images --masks --seed 2");
    return path;
}

std::string outputPath(const char* name)
{
    return Bench::benchDir() + "/tervane3_export_bench_" + name;
}

// A reader with every scalar column cached, kept for the whole run.
RTDCReader& cachedReader(const std::string& path)
{
    static std::map<std::string, std::unique_ptr<RTDCReader>> readers;
    auto& reader = readers[path];
    if (!reader) {
        reader = std::make_unique<RTDCReader>();
        reader->open(path);
        reader->preloadAllFeatures();
    }
    return *reader;
}

std::vector<std::string> scalarFeatures(const RTDCReader& reader)
{
    std::vector<std::string> names;
    for (const std::string& name : reader.featureNames())
        if (isScalarFeatureName(name))
            names.push_back(name);
    return names;
}

std::vector<int> allEvents(std::uint64_t count)
{
    std::vector<int> selection(count);
    std::iota(selection.begin(), selection.end(), 0);
    return selection;
}

void BM_ReaderCachesScalarColumns(benchmark::State& state)
{
    size_t columns = 0;
    for (auto _ : state) {
        RTDCReader reader;
        reader.open(largeFile());
        reader.preloadAllFeatures();
        columns = scalarFeatures(reader).size();
    }
    state.counters["features"] = static_cast<double>(columns);
}

void BM_RtdcScalarFeatures(benchmark::State& state)
{
    RTDCReader& reader = cachedReader(largeFile());
    const Metadata metadata = reader.readMetadata();
    const std::vector<std::string> features = scalarFeatures(reader);
    const std::vector<int> selection = allEvents(reader.eventCount());
    const std::string out = outputPath("scalars.rtdc");
    for (auto _ : state) {
        RtdcWriter::FileHandle file;
        const bool ok = RtdcWriter::create(file, out) && RtdcWriter::copyMetadata(file, metadata)
                        && RtdcWriter::writeExportMetadata(file, selection.size(), std::string())
                        && RtdcWriter::writeScalarFeatures(file, features, selection, reader)
                        && RtdcWriter::close(file);
        RtdcWriter::closeNoThrow(file);
        if (!ok)
            state.SkipWithError("export failed");
    }
    state.counters["features"] = static_cast<double>(features.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * features.size() * selection.size() * 8));
    std::filesystem::remove(out);
}

// Argument: compression threads (0: all).
void BM_RtdcImagesAndMasks(benchmark::State& state)
{
    setWorkerThreadLimit(static_cast<int>(state.range(0)));
    RTDCReader& reader = cachedReader(imageFile());
    const std::vector<int> selection = allEvents(reader.eventCount());
    const std::string out = outputPath("images.rtdc");
    for (auto _ : state) {
        RtdcWriter::FileHandle file;
        const bool ok = RtdcWriter::create(file, out) && RtdcWriter::writeImages(file, reader, selection)
                        && RtdcWriter::writeMasks(file, reader, selection) && RtdcWriter::close(file);
        RtdcWriter::closeNoThrow(file);
        if (!ok)
            state.SkipWithError("export failed");
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(state.iterations() * selection.size()),
                                                    benchmark::Counter::kIsRate);
    state.counters["MB"] = static_cast<double>(QFileInfo(QString::fromStdString(out)).size()) / 1e6;
    setWorkerThreadLimit(0);
    std::filesystem::remove(out);
}

// The six traces of the first 100,000 events. Argument: compression threads (0: all).
void BM_RtdcTraces(benchmark::State& state)
{
    setWorkerThreadLimit(static_cast<int>(state.range(0)));
    RTDCReader& reader = cachedReader(largeFile());
    const std::vector<int> selection = allEvents(100000);
    const std::string out = outputPath("traces.rtdc");
    for (auto _ : state) {
        RtdcWriter::FileHandle file;
        const bool ok = RtdcWriter::create(file, out) && RtdcWriter::writeTraces(file, reader, selection)
                        && RtdcWriter::close(file);
        RtdcWriter::closeNoThrow(file);
        if (!ok)
            state.SkipWithError("export failed");
    }
    state.counters["traces"] = static_cast<double>(reader.traceNames().size());
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(state.iterations() * selection.size()),
                                                    benchmark::Counter::kIsRate);
    setWorkerThreadLimit(0);
    std::filesystem::remove(out);
}

void BM_TsvAllFeatures(benchmark::State& state)
{
    RTDCReader& reader = cachedReader(largeFile());
    const Metadata metadata = reader.readMetadata();
    const std::vector<std::string> features = scalarFeatures(reader);
    const std::vector<int> selection = allEvents(reader.eventCount());
    const QString out = QString::fromStdString(outputPath("table.tsv"));
    int64_t bytes = 0;
    for (auto _ : state) {
        if (writeEventsTsv(out, reader, metadata, QStringLiteral("bench"), features, selection) != TsvWriteResult::Written)
            state.SkipWithError("export failed");
        bytes += QFileInfo(out).size();
    }
    state.counters["features"] = static_cast<double>(features.size());
    state.SetBytesProcessed(bytes);
    std::filesystem::remove(out.toStdString());
}

// The menu's flow over 20 datasets of 1M events (one shared, cached reader, as duplicated
// datasets have), each filtered to about a tenth of its events, as .rtdc with every feature.
void BM_TwentyDatasetsThroughTheFlow(benchmark::State& state)
{
    RTDCReader& reader = cachedReader(largeFile());
    std::shared_ptr<RTDCReader> shared(&reader, [](RTDCReader*) {});
    const std::string folder = outputPath("twenty");
    std::filesystem::create_directories(folder);
    Test::StandInHost host;
    const std::vector<double>& area = reader.getFeature("area_um");
    std::vector<double> sorted(area.begin(), area.end());
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 20; ++i) {
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = i;
        entry->reader = shared;
        entry->metadata = reader.readMetadata();
        entry->filePath = folder + "/dataset" + std::to_string(i) + ".rtdc";
        entry->displayName = QStringLiteral("dataset %1").arg(i);
        entry->featuresLoaded = true;
        FilterRule rule;
        rule.featureName = "area_um";
        rule.minValue = sorted[sorted.size() * static_cast<size_t>(i) / 40];
        rule.maxValue = sorted[sorted.size() * static_cast<size_t>(i + 4) / 40];
        entry->filter.addRule(rule);
        host.entries.push_back(std::move(entry));
    }
    host.activeId = 0;
    ScriptedPromptsGuard prompts;
    ExportOptions last;
    last.features = scalarFeatures(reader);
    last.allDatasets = true;
    bool hasLast = true;
    for (auto _ : state) {
        prompts->clear();
        prompts->answerDialog(QDialog::Accepted);
        EventExporter(host, nullptr).exportData(false, last, hasLast);
        state.PauseTiming();
        if (prompts->last()->text != QStringLiteral("Exported 20 dataset(s) successfully."))
            state.SkipWithError("export failed");
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        state.ResumeTiming();
    }
    state.counters["datasets"] = 20;
    std::filesystem::remove_all(folder);
}

// The main plot's picture of 1M points coloured by a feature; each run starts from a plot
// whose point image is not cached (as after any change of the data). Argument: 0 PNG,
// 1 SVG, 2 PDF.
void BM_PlotPicture(benchmark::State& state)
{
    static const char* const suffixes[] = {"png", "svg", "pdf"};
    const char* suffix = suffixes[state.range(0)];
    RTDCReader& reader = cachedReader(largeFile());
    const std::vector<double>& x = reader.getFeature("area_um");
    const std::vector<double>& y = reader.getFeature("deform");
    const std::vector<double>& colour = reader.getFeature("bright_avg");
    ScatterPlot plot;
    plot.resize(1000, 700);
    const QString out = QString::fromStdString(outputPath("plot.")) + QLatin1String(suffix);
    for (auto _ : state) {
        state.PauseTiming();
        plot.setData(x, y, QStringLiteral("Area [µm²]"), QStringLiteral("Deformation"), colour,
                     QStringLiteral("Brightness average [a.u.]"));
        state.ResumeTiming();
        if (!exportPlotFile(&plot, out))
            state.SkipWithError("export failed");
    }
    state.SetLabel(suffix);
    state.counters["points"] = static_cast<double>(x.size());
    state.counters["MB"] = static_cast<double>(QFileInfo(out).size()) / 1e6;
    std::filesystem::remove(out.toStdString());
}

// All 13 statistics of 10 features over 20 datasets of 1M events. Argument: threads (0: all).
void BM_StatSummaryTwentyDatasets(benchmark::State& state)
{
    setWorkerThreadLimit(static_cast<int>(state.range(0)));
    RTDCReader& reader = cachedReader(largeFile());
    StatSummaryOptions options;
    for (const std::string& name : scalarFeatures(reader)) {
        if (options.features.size() < 10)
            options.features.push_back(name);
    }
    options.n = options.median = options.iqr = options.mean = options.sd = options.sem = true;
    options.q1 = options.q3 = options.min = options.max = options.cv = options.skewness = true;
    options.percentile = true;
    std::vector<SummaryRowInput> rows;
    for (int i = 0; i < 20; ++i)
        rows.push_back({QStringLiteral("dataset %1").arg(i), &reader, allEvents(reader.eventCount())});
    size_t bytes = 0;
    for (auto _ : state)
        bytes = statSummaryTable(rows, options).size();
    state.counters["pairs"] = static_cast<double>(rows.size() * options.features.size());
    state.counters["bytes"] = static_cast<double>(bytes);
    setWorkerThreadLimit(0);
}

} // namespace

BENCHMARK(BM_ReaderCachesScalarColumns)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RtdcScalarFeatures)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_RtdcImagesAndMasks)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_RtdcTraces)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_TsvAllFeatures)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_TwentyDatasetsThroughTheFlow)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PlotPicture)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_StatSummaryTwentyDatasets)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
