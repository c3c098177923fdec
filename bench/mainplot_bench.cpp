// Speed of the main road on a synthetic 1,000,000-event measurement made by tervane3-synth:
// opening through the dialog until the list item and "Loading: ..." show, the longest stall
// of the GUI event loop while the file is cached, one complete main plot update with KDE
// colouring and contour lines (computation and painting), one full redraw of a million
// coloured points and one of a million plain points after a zoom, the plain point image alone
// on all threads next to one thread, and a change of the highlighted event. The switch of the
// colouring from "None" to "Density (KDE)" through the "Color by" combo is measured from the
// combo's change until the canvas is painted, side by side with the KDE alone on the same
// plotted values in the same iterations; its first iteration is the first switch of the
// session (it runs right after opening).
//
// The window runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. The file
// is made on first run in the temporary folder; TERVANE3_BENCH_DIR chooses another folder.
#include "mainwindow/MainWindowTestAccess.h"

#include "core/AxisScaleMode.h"
#include "core/DensityEstimator.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "mainwindow/DatasetListWidget.h"
#include "plots/PointRaster.h"
#include "plots/ScatterPlot.h"

#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"

#include <benchmark/benchmark.h>
#include <qwt_scale_div.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

std::string benchFile()
{
    return Bench::ensureSynthFile("tervane3_bench_mainplot_1M.rtdc", "--events 1000000 --seed 7");
}

// One window with the measurement opened through the dialog and cached; shared by the
// plot benchmarks (opening is measured once, in its own benchmark).
struct Session
{
    Test::MainWindowEnvironment env;
    MainWindow window;
    double openMs = 0.0;       // dialog closed -> list item and "Loading: ..." shown
    double maxStallMs = 0.0;   // longest gap between 2 ms timer ticks while caching
    double cachingMs = 0.0;

    Session()
    {
        window.resize(1400, 900);
        window.show();
        QCoreApplication::processEvents();
        const QString path = QString::fromStdString(benchFile());

        // The scripted dialog returns at once: the time is that of adding the dataset and
        // painting the window once with its list item and loading line.
        QElapsedTimer clock;
        env.prompts->answerFiles({path});
        clock.start();
        window.openFile();
        window.repaint();
        openMs = clock.nsecsElapsed() / 1e6;
        const auto* list = window.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
        if (list->count() != 1 || !Access::infoLabel(window)->text().startsWith(QStringLiteral("Loading: ")))
            std::cerr << "opening did not show the list item and the loading line" << std::endl;

        // Event-loop latency: the gaps between the ticks of a 2 ms timer while caching runs.
        QElapsedTimer caching;
        caching.start();
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer ticker;
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            maxStallMs = std::max(maxStallMs, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        ticker.start();
        while (Access::preloadBusy(window))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ticker.stop();
        cachingMs = caching.nsecsElapsed() / 1e6;
    }
};

// Made by the first benchmark that needs it; destroyed in main while the application object
// still exists.
std::unique_ptr<Session> theSession;

Session& session()
{
    if (!theSession)
        theSession = std::make_unique<Session>();
    return *theSession;
}

void BM_OpenAndCache1M(benchmark::State& state)
{
    Session& s = session();
    // The figures were taken while the session was made; nothing is repeated here.
    for (auto _ : state)
        benchmark::ClobberMemory();
    state.counters["open_to_listed_ms"] = s.openMs;
    state.counters["max_gui_stall_ms"] = s.maxStallMs;
    state.counters["caching_ms"] = s.cachingMs;
}

// From the combo's change to the plot drawn: the signal, the whole plot update and the paint
// of the canvas that the update schedules. Each iteration first goes back to "None" and,
// after the switch, runs the kernel estimate alone on the plotted values (neither timed), so
// every timed switch computes and renders the density colouring anew, and the two figures
// are taken under the same load of the machine.
void BM_DensityColouringSwitch1M(benchmark::State& state)
{
    Session& s = session();
    MainWindow& w = s.window;
    QComboBox* colour = Access::combo(w, "colorFeatureCombo");
    Access::combo(w, "contourModeCombo")->setCurrentIndex(0);
    const int xMode = Access::combo(w, "xScaleCombo")->currentIndex();
    const int yMode = Access::combo(w, "yScaleCombo")->currentIndex();
    ScatterPlot* plot = Access::scatterPlot(w);
    const auto settle = [plot] {
        QCoreApplication::processEvents();
        plot->canvas()->repaint();
    };
    double firstMs = -1.0;
    double switchMs = 0.0;
    double kdeMs = 0.0;
    QElapsedTimer clock;
    for (auto _ : state) {
        state.PauseTiming();
        Access::selectKey(colour, QString());
        settle();
        state.ResumeTiming();
        clock.start();
        Access::selectKey(colour, QStringLiteral("__density_kde__"));
        settle();
        const double ms = clock.nsecsElapsed() / 1e6;
        state.PauseTiming();
        switchMs += ms;
        if (firstMs < 0.0)
            firstMs = ms;
        clock.start();
        const std::vector<double> density = DensityEstimator::computeDensity(
            transformValues(plot->plottedX(), xMode), transformValues(plot->plottedY(), yMode), DensityKde);
        kdeMs += clock.nsecsElapsed() / 1e6;
        benchmark::DoNotOptimize(density.data());
        state.ResumeTiming();
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["first_switch_ms"] = firstMs;
    state.counters["kde_alone_ms"] = kdeMs / iterations;
    state.counters["switch_over_kde"] = kdeMs > 0.0 ? switchMs / kdeMs : 0.0;
    state.counters["points"] = plot->pointCount();
    state.counters["coloured"] = plot->isColored() ? 1 : 0;
}

void BM_MainPlotUpdateKdeContours1M(benchmark::State& state)
{
    Session& s = session();
    MainWindow& w = s.window;
    Access::selectKey(Access::combo(w, "colorFeatureCombo"), QStringLiteral("__density_kde__"));
    Access::combo(w, "contourModeCombo")->setCurrentIndex(1);
    ScatterPlot* plot = Access::scatterPlot(w);
    for (auto _ : state) {
        Access::updatePlot(w);
        plot->canvas()->repaint();
    }
    state.counters["points"] = plot->pointCount();
    state.counters["contour_curves"] = static_cast<double>(plot->contourCurves().size());
}

// Zooms by a hundredth of the x range and back, with the colouring chosen by its key: new
// scale maps each time, so every point is mapped and drawn again.
void zoomRedraws(benchmark::State& state, const QString& colourKey)
{
    Session& s = session();
    ScatterPlot* plot = Access::scatterPlot(s.window);
    Access::selectKey(Access::combo(s.window, "colorFeatureCombo"), colourKey);
    plot->replot();
    plot->canvas()->repaint();
    const double lo = plot->axisScaleDiv(QwtPlot::xBottom).lowerBound();
    const double hi = plot->axisScaleDiv(QwtPlot::xBottom).upperBound();
    int step = 0;
    for (auto _ : state) {
        const double shift = (++step % 2) * (hi - lo) * 0.01;
        plot->setAxisScale(QwtPlot::xBottom, lo + shift, hi + shift);
        plot->replot();
        plot->canvas()->repaint();
    }
    plot->autoScale();
    state.counters["points"] = plot->pointCount();
    state.counters["coloured"] = plot->isColored() ? 1 : 0;
}

// Density-coloured opaque dots, most of them hidden by later ones.
void BM_FullRedrawColoured1M(benchmark::State& state)
{
    zoomRedraws(state, QStringLiteral("__density_kde__"));
}

// The plain points a new dataset shows first: translucent dots with an opaque ring, which
// hide few others, so nearly every dot is blended.
void BM_FullRedrawPlain1M(benchmark::State& state)
{
    zoomRedraws(state, QString());
}

// The point image alone, in the canvas's size, from the plotted values of the window: the
// plain dot on one thread (argument 1) next to all threads (0), which give the same image.
void BM_PointImagePlain1M(benchmark::State& state)
{
    Session& s = session();
    ScatterPlot* plot = Access::scatterPlot(s.window);
    Access::selectKey(Access::combo(s.window, "colorFeatureCombo"), QString());
    const std::vector<double>& x = plot->plottedX();
    const std::vector<double>& y = plot->plottedY();
    const QRectF canvas(QPointF(0.0, 0.0), QSizeF(plot->canvas()->size()));
    QwtScaleMap xMap = plot->canvasMap(QwtPlot::xBottom);
    QwtScaleMap yMap = plot->canvasMap(QwtPlot::yLeft);
    PointRaster raster;
    raster.setSprites(1, 8.0, [](QPainter& p, int, double scale) {
        p.setPen(QPen(QColor(0, 68, 108, 255), scale));
        p.setBrush(QColor(0, 68, 108, 100));
        p.drawEllipse(QPointF(0.0, 0.0), 3.0 * scale, 3.0 * scale);
    });
    setWorkerThreadLimit(static_cast<int>(state.range(0)));
    QImage target(plot->canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        // A shift of a hundredth of a pixel: new maps, so every dot is drawn again.
        const double shift = (++step % 2) * 0.01;
        xMap.setPaintInterval(plot->canvasMap(QwtPlot::xBottom).p1() + shift,
                              plot->canvasMap(QwtPlot::xBottom).p2() + shift);
        QPainter painter(&target);
        raster.draw(
            &painter, xMap, yMap, canvas, x.size(),
            [&x, &y](size_t i, double& px, double& py) {
                px = x[i];
                py = y[i];
                return true;
            },
            [](size_t) { return 0; });
    }
    state.counters["points"] = static_cast<double>(x.size());
    state.counters["threads"] = workerThreadCount();
    setWorkerThreadLimit(0);
}

void BM_HighlightChange1M(benchmark::State& state)
{
    Session& s = session();
    ScatterPlot* plot = Access::scatterPlot(s.window);
    plot->canvas()->repaint();
    std::mt19937 random(3);
    std::uniform_int_distribution<int> pick(0, std::max(0, plot->pointCount() - 1));
    for (auto _ : state) {
        plot->setHighlightedPoint(pick(random));
        plot->canvas()->repaint();
    }
}

} // namespace

BENCHMARK(BM_OpenAndCache1M)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DensityColouringSwitch1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_MainPlotUpdateKdeContours1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FullRedrawColoured1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FullRedrawPlain1M)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_PointImagePlain1M)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_HighlightChange1M)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    Bench::runRegisteredBenchmarks(argc, argv);
    theSession.reset();
    return 0;
}
