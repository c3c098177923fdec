// From File > Open to the plot shown, through the window: one 1,000,000-event file (the time
// until its points are drawn, against the reader's own caching of the same file, and where
// the rest goes: probe and open, caching, the activation with its plot update and the
// painting), and ten such files chosen in one dialog (the time until each is shown and
// until the last one is). The probe program of the build checks every file, as in the
// program. Freed memory is returned to the system before each caching, so that the reader
// alone and the window both fill fresh pages (their page faults are printed). A measured
// trial, not a Google Benchmark: run it alone and note the load average it prints;
// "--one-file" runs the first part only.
//
// TERVANE3_BENCH_DIR chooses the folder of the file (default: the temporary folder).
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "app/MeasurementProbeRunner.h"
#include "core/RTDCReader.h"
#include "mainwindow/CachingHook.h"
#include "mainwindow/MainWindowTestAccess.h"
#include "plots/ScatterPlot.h"
#include "plots/SummaryStats.h"

#include <QElapsedTimer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <malloc.h>
#include <sys/resource.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

constexpr int rounds = 5;
constexpr int runFiles = 10;
constexpr int events = 1000000;

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The caching task's first and last column, stamped by the test hook on the pool thread.
std::atomic<std::int64_t> cachingStartNs{0};
std::atomic<std::int64_t> cachingEndNs{0};

// Page faults of the calling thread so far (each is a page of memory touched anew).
long threadPageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

// Of the last reader caching and of the window's caching task: pages touched anew.
long readerFaults = 0;
std::atomic<long> taskFaultsAtStart{0};
std::atomic<long> taskFaults{0};

// Memory freed by the previous measurement goes back to the system first: every caching,
// the reader's alone and the window's, then fills pages it touches anew, as a freshly
// started program does (a reader that reused the pages just freed would look faster).
void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

double readerCachingMs(const std::string& path)
{
    releaseFreedMemory();
    const long faultsBefore = threadPageFaults();
    QElapsedTimer clock;
    clock.start();
    RTDCReader reader;
    if (!reader.open(path))
        std::fprintf(stderr, "the reader cannot open %s\n", path.c_str());
    reader.preloadAllFeatures();
    readerFaults = threadPageFaults() - faultsBefore;
    return clock.nsecsElapsed() / 1e6;
}

// Runs the event loop until the condition holds, sleeping between events as the program's
// own loop does (a spinning loop would take a core from the caching task); a 2 ms timer
// bounds the delay of noticing.
void waitFor(const std::function<bool()>& condition)
{
    QTimer tick;
    tick.start(2);
    while (!condition())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The same on a thread of the global pool, where the window caches.
double readerCachingOnPoolMs(const std::string& path)
{
    double ms = 0;
    QThreadPool::globalInstance()->start([&] { ms = readerCachingMs(path); });
    QThreadPool::globalInstance()->waitForDone();
    return ms;
}

// The dataset at the position is active, cached and drawn with all its points.
bool shown(MainWindow& w, int index)
{
    return Access::activeIndex(w) == index && static_cast<int>(w.datasets().size()) > index
           && w.datasets()[static_cast<size_t>(index)]->featuresLoaded
           && Access::scatterPlot(w)->pointCount() == events
           && Access::infoLabel(w)->text().startsWith(QStringLiteral("Loaded: "));
}

struct OneFile
{
    double totalMs = 0;      // Open -> points drawn and painted
    double openMs = 0;       // probe, open, metadata, list item, loading view (openFile returns)
    double toCachingMs = 0;  // openFile returned -> caching task reads its first column
    double cachingMs = 0;    // first column -> last column read (in the task)
    double afterMs = 0;      // last column -> points drawn and painted
    double updatePlotMs = 0; // one more plot update of the same dataset, alone
    // Parts of it, alone: the statistics of x and y, handing the points to the plot, and
    // drawing them.
    double statisticsMs = 0;
    double setDataMs = 0;
    double paintMs = 0;
};

OneFile openOne(const QString& path)
{
    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QCoreApplication::processEvents();
    env.prompts->answerFiles({path});
    cachingStartNs = 0;
    cachingEndNs = 0;

    OneFile r;
    releaseFreedMemory();
    const std::int64_t start = nowNs();
    window.openFile();
    const std::int64_t opened = nowNs();
    waitFor([&] { return shown(window, 0); });
    window.repaint();
    const std::int64_t painted = nowNs();
    r.totalMs = (painted - start) / 1e6;
    r.openMs = (opened - start) / 1e6;
    r.toCachingMs = (cachingStartNs - opened) / 1e6;
    r.cachingMs = (cachingEndNs - cachingStartNs) / 1e6;
    r.afterMs = (painted - cachingEndNs) / 1e6;

    QElapsedTimer clock;
    clock.start();
    Access::updatePlot(window);
    r.updatePlotMs = clock.nsecsElapsed() / 1e6;

    const RTDCReader& reader = *window.datasets().front()->reader;
    const std::vector<double>& x = reader.getFeature("area_um");
    const std::vector<double>& y = reader.getFeature("deform");
    clock.restart();
    benchmark::DoNotOptimize(computeSummaryStats(x));
    benchmark::DoNotOptimize(computeSummaryStats(y));
    r.statisticsMs = clock.nsecsElapsed() / 1e6;
    ScatterPlot* plot = Access::scatterPlot(window);
    clock.restart();
    plot->setData(x, y, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    r.setDataMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    plot->replot();
    plot->canvas()->repaint();
    r.paintMs = clock.nsecsElapsed() / 1e6;
    return r;
}

// A line of /proc/self/status in MiB ("VmHWM", "VmRSS"); -1 when absent.
double statusMiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::stod(line.substr(prefix.size())) / 1024.0;
    }
    return -1.0;
}

// Starts the peak resident figure (VmHWM) anew from the present one.
void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    setProbeProgram(QStringLiteral(TERVANE3_PROBE_PROGRAM));
    const std::string path = Bench::ensureSynthFile("tervane3_bench_mainplot_1M.rtdc", "--events 1000000 --seed 7");
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/'));
    setCachingHook([](const std::string&, std::size_t done, std::size_t total) {
        if (done == 0)
            taskFaultsAtStart = threadPageFaults();
        if (done == 1)
            cachingStartNs = nowNs();
        if (total > 0 && done == total) {
            cachingEndNs = nowNs();
            taskFaults = threadPageFaults() - taskFaultsAtStart;
        }
    });
    // Once, so that every round reads the file from the page cache alike.
    readerCachingMs(path);

    std::printf("load average before: %s\n", loadAverage().c_str());
    std::printf("one 1M-event file, %d rounds (ms): reader (on a pool thread) | window total = open + to caching + "
                "caching + after\n",
                rounds);
    std::vector<double> ratios, readers, pooledReaders, totals, opens, toCachings, cachings, afters, updates, stats,
        setDatas, paints;
    for (int round = 0; round < rounds; ++round) {
        const double reader = readerCachingMs(path);
        const double pooled = readerCachingOnPoolMs(path);
        const long pooledFaults = readerFaults;
        const OneFile w = openOne(QString::fromStdString(path));
        std::printf("  %8.1f (%8.1f) | %8.1f = %6.1f + %6.1f + %8.1f + %6.1f   (updatePlot alone %.1f: statistics "
                    "%.1f, setData %.1f; painting %.1f); page faults while caching: reader on the pool %ld, "
                    "window's task %ld\n",
                    reader, pooled, w.totalMs, w.openMs, w.toCachingMs, w.cachingMs, w.afterMs, w.updatePlotMs,
                    w.statisticsMs, w.setDataMs, w.paintMs, pooledFaults, taskFaults.load());
        readers.push_back(reader);
        pooledReaders.push_back(pooled);
        totals.push_back(w.totalMs);
        ratios.push_back(w.totalMs / reader);
        opens.push_back(w.openMs);
        toCachings.push_back(w.toCachingMs);
        cachings.push_back(w.cachingMs);
        afters.push_back(w.afterMs);
        updates.push_back(w.updatePlotMs);
        stats.push_back(w.statisticsMs);
        setDatas.push_back(w.setDataMs);
        paints.push_back(w.paintMs);
    }
    std::printf("median: reader %.1f ms (%.1f on a pool thread), window %.1f ms, ratio window/reader %.2f; open "
                "%.1f, to caching %.1f, caching %.1f, after caching %.1f, updatePlot alone %.1f (statistics %.1f, "
                "setData %.1f), painting %.1f\n",
                median(readers), median(pooledReaders), median(totals), median(ratios), median(opens),
                median(toCachings), median(cachings), median(afters), median(updates), median(stats),
                median(setDatas), median(paints));
    std::printf("load average after one file: %s\n", loadAverage().c_str());

    // "--one-file": the first part only.
    const bool tenFiles = !(argc > 1 && std::string(argv[1]) == "--one-file");
    if (tenFiles) {
        // Ten datasets of the same file under ten spellings of its path ("/tmp/./f", ...).
        Test::MainWindowEnvironment env;
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        QCoreApplication::processEvents();
        QStringList paths;
        std::string spelling = folder;
        for (int i = 0; i < runFiles; ++i) {
            spelling += "/.";
            paths << QString::fromStdString(spelling + name);
        }
        env.prompts->answerFiles(paths);
        const double residentBefore = statusMiB("VmRSS");
        resetPeakResident();
        std::vector<double> shownAt;
        const std::int64_t start = nowNs();
        window.openFile();
        for (int i = 0; i < runFiles; ++i) {
            waitFor([&] { return shown(window, i); });
            window.repaint();
            shownAt.push_back((nowNs() - start) / 1e6);
        }
        std::printf("ten 1M-event files in one dialog, shown at (ms):");
        for (double t : shownAt)
            std::printf(" %.0f", t);
        std::printf("\nten files: last shown after %.1f ms = %.2f x ten reader cachings (median %.1f ms each)\n",
                    shownAt.back(), shownAt.back() / (runFiles * median(readers)), median(readers));
        Test::waitForCaching(window, 600000);
        std::printf("ten files: resident %.0f MiB before, peak %.0f MiB while caching, %.0f MiB after\n", residentBefore,
                    statusMiB("VmHWM"), statusMiB("VmRSS"));
    }
    setCachingHook(nullptr);
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}
