// Memory given back when datasets close, and whether the window keeps answering meanwhile.
// A fresh window's resident set size is the reference. Each run opens ten cached
// 1,000,000-event datasets (one synthetic file under ten spellings of its path, so each is
// a dataset of its own with its own columns), shows them in a combine plot, a statistical
// evaluation and the image gallery, adds a rule and a filter group (their widgets hold the
// active reader), then clears the session from the event loop, as a menu click does, and
// samples the resident set every 100 ms for 15 s while the loop runs. A 10 ms timer ticks
// throughout: the longest gap between its ticks is the longest the window stood still.
// After the runs the ten are opened once more and removed one by one from the dataset list.
//
// Per run it prints the milliseconds the Clear Session click itself took, the longest tick
// gap from the click until memory was back, the time until the resident set was within
// 10 % of the fresh window's, and where it ended after 15 s.
//
// A measured trial, not a Google Benchmark: run it alone. It stops early when the machine
// has less than 3 GB left. Options: --runs N (default 8), --seconds S (default 15),
// --no-release (the GUI thread frees the columns plainly and nothing is trimmed: what the
// closing alone costs the loop), --no-trim (columns freed as the window frees them, no trim),
// --diagnose (after each run, where the resident memory lies and the allocator's account).
// TERVANE3_BENCH_DIR chooses the folder of the file (default: the temporary folder).
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "core/RTDCReader.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/MainWindowTestAccess.h"
#include "support/FilterRules.h"
#include "windows/CombinePlotWindow.h"

#include <H5Fpublic.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

constexpr int datasetCount = 10;
constexpr double withinFraction = 1.10;

double rss() { return Bench::statusMiB("VmRSS"); }

// Where the resident memory lies (--diagnose): the main heap, anonymous mappings by size
// (each a column or buffer of its own at 1 MiB and above, thread arenas of 64 MiB reserved)
// and transparent huge pages in them, then the allocator's own account of each arena.
void printResidentBreakdown()
{
    std::ifstream in("/proc/self/smaps");
    std::string line;
    std::string kind;
    double sizeKiB = 0;
    std::map<std::string, std::pair<double, double>> byKind; // kind -> Rss, AnonHugePages (KiB)
    std::map<std::string, int> mappings;
    while (std::getline(in, line)) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < 17
            && line.find(' ') > line.find('-')) {
            unsigned long long from = 0;
            unsigned long long to = 0;
            std::sscanf(line.c_str(), "%llx-%llx", &from, &to);
            sizeKiB = static_cast<double>(to - from) / 1024.0;
            const std::size_t slash = line.find('/');
            const std::size_t bracket = line.find('[');
            if (bracket != std::string::npos)
                kind = line.substr(bracket);
            else if (slash != std::string::npos)
                kind = "files";
            else if (sizeKiB >= 60 * 1024)
                kind = "anon >=60 MiB (arenas)";
            else if (sizeKiB >= 1024)
                kind = "anon 1-60 MiB";
            else
                kind = "anon <1 MiB";
            ++mappings[kind];
        } else if (line.compare(0, 4, "Rss:") == 0) {
            byKind[kind].first += std::strtod(line.c_str() + 4, nullptr);
        } else if (line.compare(0, 14, "AnonHugePages:") == 0) {
            byKind[kind].second += std::strtod(line.c_str() + 14, nullptr);
        }
    }
    for (const auto& [name, figures] : byKind)
        std::printf("  %-24s %5d maps %9.1f MiB resident, %7.1f MiB in huge pages\n", name.c_str(), mappings[name],
                    figures.first / 1024.0, figures.second / 1024.0);
    std::printf("  %d widgets, %d objects of HDF5 files open\n", QApplication::allWidgets().size(),
                static_cast<int>(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL)));
#if defined(__GLIBC__)
    malloc_stats();
#endif
    std::fflush(stdout);
}

// The resident set once more after a trim of every heap now: what the window's own release
// left because it was freed later, as against what stays whatever is trimmed.
void printAfterTrim()
{
#if defined(__GLIBC__)
    malloc_trim(0);
    std::printf("  after one more trim now: %.1f MiB resident\n", rss());
    std::fflush(stdout);
#endif
}

// Lets deferred deletions and queued signals run, as the event loop would after a click.
void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Ticks every 10 ms on the GUI thread and keeps the longest gap between two ticks since
// the last reset.
class Ticker
{
public:
    Ticker()
    {
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            longest = std::max(longest, clock.restart());
        });
        clock.start();
        timer.start();
    }
    void reset()
    {
        clock.restart();
        longest = 0;
    }
    qint64 longestGap() const { return std::max(longest, clock.elapsed()); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 longest = 0;
};

// Opens the file under `count` new spellings of its folder (`spelling` grows); false when
// memory ran short first.
bool openDatasets(MainWindow& window, const std::string& name, int count, std::string& spelling)
{
    for (int i = 0; i < count; ++i) {
        if (Bench::procFieldMiB("/proc/meminfo", "MemAvailable") < 3072.0) {
            std::cout << "stopped: less than 3 GB available" << std::endl;
            return false;
        }
        // "/tmp/./file", "/tmp/././file", ...: the same file, another dataset each time.
        spelling += "/.";
        Access::addDataset(window, QString::fromStdString(spelling + name));
        Test::waitForCaching(window, 600000);
    }
    settle();
    return true;
}

// What holds readers besides the datasets: rule rows and group boxes of the filter panel,
// the tool windows.
void openToolWindows(MainWindow& window)
{
    Access::entry(window, datasetCount - 1).filter.addRule(rangeRule("deform", 0.0, 0.1));
    window.addFilterGroup("gate");
    window.refreshFilterGroupPanel();
    window.openCombinePlotWindow();
    for (const auto& entry : window.datasets())
        Access::combineWindows(window).front()->addDataset(entry->id);
    window.openStatisticalEvalWindow();
    window.openImageGalleryWindow();
    settle();
}

struct ClearRun
{
    qint64 clickMs = 0;
    qint64 longestGapMs = 0;
    qint64 backMs = -1;
    double finalPercent = 0;
};

// Clears the session from the event loop and samples the resident set every 100 ms for
// `seconds` while the loop runs.
ClearRun clearAndSample(MainWindow& window, Test::MainWindowEnvironment& env, double fresh, int seconds)
{
    ClearRun run;
    Ticker ticker;
    QElapsedTimer since;
    QEventLoop loop;
    QTimer sampler;
    sampler.setInterval(100);
    QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
        if (run.backMs < 0 && rss() <= withinFraction * fresh) {
            run.backMs = since.elapsed();
            run.longestGapMs = ticker.longestGap();
        }
        if (since.elapsed() >= seconds * 1000)
            loop.quit();
    });
    env.prompts->answerMessage(QStringLiteral("OK"));
    QTimer::singleShot(0, [&] {
        ticker.reset();
        since.start();
        QElapsedTimer click;
        click.start();
        window.clearSession();
        run.clickMs = click.elapsed();
        sampler.start();
    });
    loop.exec();
    if (run.backMs < 0)
        run.longestGapMs = ticker.longestGap();
    run.finalPercent = 100.0 * rss() / fresh;
    return run;
}

int option(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    const int runs = option(argc, argv, "--runs", 8);
    const int seconds = option(argc, argv, "--seconds", 15);
    const std::string path = Bench::ensureSynthFile("tervane3_bench_mainplot_1M.rtdc", "--events 1000000 --seed 7");
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/'));

    Test::MainWindowEnvironment env;
    MainWindow window;
    bool diagnose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-release") == 0) {
            // Columns freed by the closing (GUI) thread, as plain frees.
            installColumnDisposer({});
            Access::memoryReleaser(window) = std::make_unique<MemoryReleaser>([] {});
        }
        if (std::strcmp(argv[i], "--no-trim") == 0)
            Access::memoryReleaser(window) = std::make_unique<MemoryReleaser>([] {});
        diagnose = diagnose || std::strcmp(argv[i], "--diagnose") == 0;
    }
    window.resize(1400, 900);
    window.show();
    // Shown and painted at its size: the backing store counts in both figures.
    settle();
    window.repaint();
    settle();
    const double fresh = rss();
    std::printf("fresh window: %.1f MiB\n", fresh);
    if (diagnose)
        printResidentBreakdown();
    std::printf("%-4s %10s %10s %12s %12s %10s\n", "run", "open_MiB", "click_ms", "longest_gap", "within_10%", "final_%");
    std::fflush(stdout);

    std::string spelling = folder;
    std::vector<ClearRun> results;
    for (int r = 1; r <= runs; ++r) {
        if (!openDatasets(window, name, datasetCount, spelling))
            return 0;
        openToolWindows(window);
        const double open = rss();
        const ClearRun run = clearAndSample(window, env, fresh, seconds);
        results.push_back(run);
        const std::string back = run.backMs < 0 ? std::string("never") : std::to_string(run.backMs) + " ms";
        std::printf("%-4d %10.1f %10lld %9lld ms %12s %9.1f%%\n", r, open, static_cast<long long>(run.clickMs),
                    static_cast<long long>(run.longestGapMs), back.c_str(), run.finalPercent);
        std::fflush(stdout);
        if (diagnose) {
            printResidentBreakdown();
            printAfterTrim();
        }
    }

    // The ten once more, removed one by one: each removal from the event loop, then the loop
    // runs on until memory is back (or 5 s); the longest tick gap outside the removals
    // themselves (each activates the next 1M-event dataset and draws it).
    if (!openDatasets(window, name, datasetCount, spelling))
        return 0;
    auto* list = window.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
    qint64 longestAfterRemoval = 0;
    for (int left = datasetCount - 1; left >= 0; --left) {
        Ticker ticker;
        QEventLoop loop;
        QTimer::singleShot(0, [&] {
            list->setCurrentRow(0);
            window.removeDataset();
            ticker.reset();
            QTimer::singleShot(left == 0 ? 5000 : 1000, &loop, &QEventLoop::quit);
        });
        loop.exec();
        longestAfterRemoval = std::max(longestAfterRemoval, ticker.longestGap());
    }
    std::printf("removed one by one: %.1f %% of the fresh window's; longest tick gap after a removal: %lld ms\n",
                100.0 * rss() / fresh, static_cast<long long>(longestAfterRemoval));

    int within = 0;
    for (const ClearRun& run : results)
        within += run.backMs >= 0 && run.backMs <= 10000 ? 1 : 0;
    std::printf("Clear Session: %d of %zu runs within 10 %% of the fresh window's in 10 s (targets: every run; "
                "no tick gap above 100 ms)\n",
                within, results.size());
    return 0;
}
