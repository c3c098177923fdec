// Speed of the image gallery: one page of cutouts rendered off the GUI thread, the
// automatic contrast, a window refresh on 1M events under a range rule, the pixmaps of a
// 400-page on the GUI thread, request-to-shown for pages of 100 and 400, closing during a
// 400-page render, and (a measured trial) resident memory after 50 pages of 400.
//
// Images come from a 20,000-event file (an image read costs the same whatever the file's
// size); the event list and percentiles from the 1M-event measurement.
#include "BenchApplication.h"
#include "BenchFiles.h"

#include "support/StandInHost.h"
#include "windows/GalleryGridWidget.h"
#include "windows/GalleryRender.h"
#include "windows/ImageGalleryWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <numeric>
#include <thread>

using namespace Tervane3;

namespace {

const std::string& imageFile()
{
    static const std::string path =
        Bench::ensureSynthFile("tervane3_bench_images_20k.rtdc", "--events 20000 --images --masks --seed 2");
    return path;
}

const std::string& largeFile()
{
    static const std::string path = Bench::ensureSynthFile("tervane3_bench_1M_plain.rtdc", "--events 1000000 --seed 3");
    return path;
}

std::shared_ptr<RTDCReader> openReader(const std::string& path)
{
    auto reader = std::make_shared<RTDCReader>();
    if (!reader->open(path))
        std::exit(1);
    return reader;
}

std::vector<int> firstEvents(int n)
{
    std::vector<int> events(static_cast<size_t>(n));
    std::iota(events.begin(), events.end(), 0);
    return events;
}

// Page `page` of n events: successive pages read images not read before (until the 20,000
// wrap around), so the chunk cache does not serve them.
GalleryRenderInput pageOf(int n, int page = 0)
{
    GalleryRenderInput input;
    input.eventIndices = firstEvents(n);
    for (int& event : input.eventIndices)
        event = (event + page * n) % 20000;
    input.cutoutWidth = 70;
    input.cutoutHeight = 50;
    input.contrastLow = 20;
    input.contrastHigh = 220;
    return input;
}

bool waitIdle(ImageGalleryWindow& w, QLabel* info)
{
    QElapsedTimer timer;
    timer.start();
    while (info->text().endsWith(QStringLiteral("\u2026"))) {
        if (timer.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    (void)w;
    return true;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long value = 0;
            status >> value;
            return value;
        }
    }
    return 0;
}

void BM_RenderPageOf50(benchmark::State& state)
{
    auto reader = openReader(imageFile());
    int filled = 0;
    int next = 0;
    for (auto _ : state) {
        const GalleryRenderResult page = renderGalleryPage(pageOf(50, next++), reader);
        filled = static_cast<int>(std::count_if(page.cells.begin(), page.cells.end(),
                                                [](const GalleryCell& cell) { return !cell.image.empty(); }));
    }
    state.counters["cutouts"] = filled;
}
BENCHMARK(BM_RenderPageOf50)->Unit(benchmark::kMillisecond);

void BM_AutoContrast(benchmark::State& state)
{
    auto reader = openReader(imageFile());
    const std::vector<int> events = firstEvents(20000);
    for (auto _ : state)
        benchmark::DoNotOptimize(computeGalleryAutoContrast(reader, events));
}
BENCHMARK(BM_AutoContrast)->Unit(benchmark::kMillisecond);

void BM_PixmapsOf400Page(benchmark::State& state)
{
    const GalleryRenderResult page = renderGalleryPage(pageOf(400), openReader(imageFile()));
    GalleryGridWidget grid;
    for (auto _ : state)
        grid.setImages(page.cells, 20, true);
}
BENCHMARK(BM_PixmapsOf400Page)->Unit(benchmark::kMillisecond);

// Request to grid shown (page size 100 or 400), through the window's own task.
void BM_RequestToShown(benchmark::State& state)
{
    Test::StandInHost host;
    DatasetEntry* entry = host.addDataset(imageFile());
    ImageGalleryWindow w(&host, entry->id);
    auto* info = w.findChild<QLabel*>(QStringLiteral("galleryInfoLabel"));
    auto* sizes = w.findChild<QComboBox*>(QStringLiteral("galleryPageSizeCombo"));
    sizes->setCurrentIndex(state.range(0) == 400 ? 2 : 1);
    waitIdle(w, info);
    auto* next = w.findChild<QPushButton*>(QStringLiteral("galleryNextButton"));
    for (auto _ : state) {
        // A page not shown before; back to the first after the last.
        if (next->isEnabled())
            w.onNextPage();
        else
            w.refresh();
        if (!waitIdle(w, info))
            state.SkipWithError("render did not finish");
    }
}
BENCHMARK(BM_RequestToShown)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

// Event list, 99th percentiles and the first image on the GUI thread, 1M events, one rule.
void BM_RefreshOneMillionWithRangeRule(benchmark::State& state)
{
    Test::StandInHost host;
    DatasetEntry* entry = host.addDataset(largeFile());
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 20;
    rule.maxValue = 200;
    entry->filter.addRule(rule);
    entry->reader->getFeature("area_um");
    entry->reader->getFeature("size_x");
    entry->reader->getFeature("size_y");
    ImageGalleryWindow w(&host, entry->id);
    for (auto _ : state)
        w.refresh();
}
BENCHMARK(BM_RefreshOneMillionWithRangeRule)->Unit(benchmark::kMillisecond);

// Close while a page of 400 renders: the render stops after the event in work.
void BM_CloseDuringRender(benchmark::State& state)
{
    Test::StandInHost host;
    DatasetEntry* entry = host.addDataset(imageFile());
    for (auto _ : state) {
        state.PauseTiming();
        auto w = std::make_unique<ImageGalleryWindow>(&host, entry->id);
        w->findChild<QComboBox*>(QStringLiteral("galleryPageSizeCombo"))->setCurrentIndex(2);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.ResumeTiming();
        w->close();
        state.PauseTiming();
        w.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CloseDuringRender)->Unit(benchmark::kMillisecond)->Iterations(10);

// Measured trial: resident memory after one page of 400 and after 50 such pages.
void BM_MemoryOverFiftyPages(benchmark::State& state)
{
    Test::StandInHost host;
    DatasetEntry* entry = host.addDataset(imageFile());
    for (auto _ : state) {
        ImageGalleryWindow w(&host, entry->id);
        auto* info = w.findChild<QLabel*>(QStringLiteral("galleryInfoLabel"));
        w.findChild<QComboBox*>(QStringLiteral("galleryPageSizeCombo"))->setCurrentIndex(2);
        waitIdle(w, info);
        const long afterOne = residentKiB();
        for (int page = 1; page < 50; ++page) {
            w.onNextPage();
            waitIdle(w, info);
        }
        const long afterFifty = residentKiB();
        state.counters["rss_after_1_MiB"] = static_cast<double>(afterOne) / 1024.0;
        state.counters["rss_after_50_MiB"] = static_cast<double>(afterFifty) / 1024.0;
    }
}
BENCHMARK(BM_MemoryOverFiftyPages)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
