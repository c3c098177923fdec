// Speed of the scatter plot's hover while a polygon is drawn, on a million points: building
// the picking index, one nearest-point search against a plain scan of every point, and the
// whole hover chain of the main window (mouse move on the canvas, nearest point, highlight,
// image with mask, traces and feature table of the event, repaint of the canvas).
//
// The chain runs on a window whose plot holds 1,000,000 points that map onto the events of
// a 2,000-event measurement with images, masks and traces made by tervane3-synth (a million
// events with images would take over 10 GB). The window runs on the offscreen platform
// unless QT_QPA_PLATFORM says otherwise; TERVANE3_BENCH_DIR chooses the file's folder.
#include "mainwindow/MainWindowTestAccess.h"

#include "core/RTDCReader.h"
#include "plots/ImageViewer.h"
#include "plots/PointPickIndex.h"
#include "plots/ScatterPlot.h"

#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"

#include <benchmark/benchmark.h>

#include <qwt_plot_canvas.h>
#include <qwt_scale_map.h>

#include <QMouseEvent>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>

using namespace Tervane3;

namespace {

constexpr int kPoints = 1000000;

std::string measurementWithImages()
{
    return Bench::ensureSynthFile("tervane3_bench_events_2k_images.rtdc",
                                  "--events 2000 --images --masks --traces --seed 11");
}

// Three overlapping populations, positive values (so log axes show all of them).
void makePoints(std::vector<double>& x, std::vector<double>& y)
{
    std::mt19937 random(5);
    std::lognormal_distribution<double> area(4.0, 0.4);
    std::normal_distribution<double> noise(0.0, 0.01);
    x.resize(kPoints);
    y.resize(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        x[static_cast<size_t>(i)] = area(random) * (1 + i % 3);
        y[static_cast<size_t>(i)] = 0.02 + 0.0004 * x[static_cast<size_t>(i)] + std::abs(noise(random));
    }
}

std::vector<QPoint> cursorPath(const QWidget* canvas, int count)
{
    std::mt19937 random(9);
    std::uniform_int_distribution<int> px(0, canvas->width() - 1);
    std::uniform_int_distribution<int> py(0, canvas->height() - 1);
    std::vector<QPoint> path;
    for (int i = 0; i < count; ++i)
        path.emplace_back(px(random), py(random));
    return path;
}

void moveTo(QWidget* canvas, const QPoint& pos)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(canvas->mapToGlobal(pos)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &move);
}

void BM_PickIndexBuild1M(benchmark::State& state)
{
    std::vector<double> x;
    std::vector<double> y;
    makePoints(x, y);
    if (state.range(0) == 1) { // axis coordinates of logarithmic axes
        for (double& v : x)
            v = std::log(v);
        for (double& v : y)
            v = std::log(v);
    }
    PointPickIndex index;
    for (auto _ : state) {
        index.build(x, y);
        benchmark::DoNotOptimize(index.size());
    }
}

void BM_PickIndexQuery1M(benchmark::State& state)
{
    std::vector<double> x;
    std::vector<double> y;
    makePoints(x, y);
    PointPickIndex index;
    index.build(x, y);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> qx(0.0, 300.0);
    std::uniform_real_distribution<double> qy(0.0, 0.2);
    int hits = 0;
    for (auto _ : state) {
        const int found = index.nearest(qx(random), qy(random), 300.0, 0.2, 0.0025);
        hits += found >= 0 ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.counters["hit_fraction"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}

// The search every mouse move would cost without the index: map each point to pixels.
void BM_NaiveScan1M(benchmark::State& state)
{
    std::vector<double> x;
    std::vector<double> y;
    makePoints(x, y);
    ScatterPlot plot;
    plot.resize(900, 700);
    plot.setData(x, y, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    if (state.range(0) == 1) {
        plot.setAxisScaleType(QwtPlot::xBottom, 1);
        plot.setAxisScaleType(QwtPlot::yLeft, 1);
    }
    plot.replot();
    plot.updateLayout();
    const QwtScaleMap xMap = plot.canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = plot.canvasMap(QwtPlot::yLeft);
    const double w = xMap.pDist();
    const double h = yMap.pDist();
    for (auto _ : state) {
        const double cx = w / 2;
        const double cy = h / 2;
        double best = 0.0025;
        int bestIndex = -1;
        for (int i = 0; i < kPoints; ++i) {
            const double dx = (xMap.transform(x[static_cast<size_t>(i)]) - cx) / w;
            const double dy = (yMap.transform(y[static_cast<size_t>(i)]) - cy) / h;
            const double d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                bestIndex = i;
            }
        }
        benchmark::DoNotOptimize(bestIndex);
    }
}

// Plot alone: move, nearest point, highlight and repaint of the canvas.
void BM_PlotHoverMove1M(benchmark::State& state)
{
    std::vector<double> x;
    std::vector<double> y;
    makePoints(x, y);
    ScatterPlot plot;
    plot.resize(900, 700);
    plot.show();
    plot.setData(x, y, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    if (state.range(0) == 1) {
        plot.setAxisScaleType(QwtPlot::xBottom, 1);
        plot.setAxisScaleType(QwtPlot::yLeft, 1);
    }
    QObject::connect(&plot, &ScatterPlot::pointHovered, &plot, &ScatterPlot::setHighlightedPoint);
    plot.replot();
    QCoreApplication::processEvents();
    plot.startPolygonDrawing();
    plot.canvas()->repaint();
    const std::vector<QPoint> path = cursorPath(plot.canvas(), 4096);
    // The first move builds the picking index; measured in BM_PickIndexBuild1M.
    moveTo(plot.canvas(), path.back());
    plot.canvas()->repaint();
    size_t step = 0;
    for (auto _ : state) {
        moveTo(plot.canvas(), path[step++ % path.size()]);
        plot.canvas()->repaint();
    }
    state.counters["moves_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
}

// The main window: the hovered point becomes the current event (image, mask, traces,
// feature table) and the canvas repaints.
void BM_WindowHoverChain1M(benchmark::State& state)
{
    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QCoreApplication::processEvents();

    DatasetEntry& entry = MainWindowTestAccess::addEntry(window, 1);
    entry.reader = std::make_shared<RTDCReader>();
    if (!entry.reader->open(measurementWithImages())) {
        state.SkipWithError("cannot open the measurement");
        return;
    }
    entry.metadata = entry.reader->readMetadata();
    entry.featuresLoaded = true;
    MainWindowTestAccess::activeIndex(window) = 0;
    MainWindowTestAccess::imageViewer(window)->setMaskEnabled(true);
    MainWindowTestAccess::configureTracePlot(window);
    const int events = static_cast<int>(entry.reader->eventCount());

    std::vector<double> x;
    std::vector<double> y;
    makePoints(x, y);
    ScatterPlot* plot = MainWindowTestAccess::scatterPlot(window);
    plot->setData(x, y, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    std::vector<int>& indices = MainWindowTestAccess::plottedEventIndices(window);
    indices.resize(kPoints);
    for (int i = 0; i < kPoints; ++i)
        indices[static_cast<size_t>(i)] = i % events;
    plot->replot();
    QCoreApplication::processEvents();
    plot->startPolygonDrawing();
    plot->canvas()->repaint();

    // Onto plotted points, so that nearly every move shows another event.
    std::vector<QPoint> path;
    std::mt19937 random(13);
    std::uniform_int_distribution<int> anyPoint(0, kPoints - 1);
    while (path.size() < 4096) {
        const size_t i = static_cast<size_t>(anyPoint(random));
        const QPoint p(qRound(plot->transform(QwtPlot::xBottom, x[i])), qRound(plot->transform(QwtPlot::yLeft, y[i])));
        if (plot->canvas()->rect().contains(p))
            path.push_back(p);
    }
    moveTo(plot->canvas(), path.back());
    plot->canvas()->repaint();
    size_t step = 0;
    int shown = 0;
    for (auto _ : state) {
        const int before = entry.currentEventIndex;
        moveTo(plot->canvas(), path[step++ % path.size()]);
        shown += entry.currentEventIndex != before ? 1 : 0;
        plot->canvas()->repaint();
        QCoreApplication::processEvents(); // the image, trace and table repaints
    }
    state.counters["moves_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.counters["event_changes"] = shown;
}

} // namespace

BENCHMARK(BM_PickIndexBuild1M)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickIndexQuery1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NaiveScan1M)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotHoverMove1M)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WindowHoverChain1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
