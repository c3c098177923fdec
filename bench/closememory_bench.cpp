// Memory given back when datasets close: the resident set size of a fresh window, with ten
// cached 1,000,000-event datasets open (one synthetic file under ten spellings of its path,
// so each is a dataset of its own with its own columns) and shown in a combine plot, a
// statistical evaluation and the image gallery, with a rule and a filter group (their
// widgets hold the active reader), after Clear Session, and after the ten are opened again
// and removed one by one from the dataset list. Clearing and removing run from the event
// loop, as a menu click does. A measured trial, not a Google Benchmark: run it alone. It
// stops early when the machine has less than 3 GB left.
//
// TERVANE3_BENCH_DIR chooses the folder of the file (default: the temporary folder).
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "core/RTDCReader.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/MainWindowTestAccess.h"
#include "support/FilterRules.h"
#include "windows/CombinePlotWindow.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

constexpr int datasetCount = 10;

double rss() { return Bench::statusMiB("VmRSS"); }

// Lets deferred deletions and queued signals run, as the event loop would after a click.
void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Runs the action from the event loop (deferred deletions it posts then run as after a
// click) and lets the loop settle; returns the milliseconds until then, the release of
// freed memory included.
qint64 fromEventLoop(const std::function<void()>& action)
{
    bool done = false;
    QElapsedTimer timer;
    timer.start();
    QTimer::singleShot(0, [&] {
        action();
        done = true;
    });
    Test::waitUntil([&] { return done; }, 600000);
    settle();
    return timer.elapsed();
}

void report(const std::string& what, double fresh)
{
    const double now = rss();
    // Anonymous memory is the heap and stacks; file pages are mostly library code.
    std::printf("%-48s %9.1f MiB %+9.1f MiB (%+7.1f %%)  anon %7.1f  file %5.1f\n", what.c_str(), now, now - fresh,
                100.0 * (now - fresh) / fresh, Bench::statusMiB("RssAnon"), Bench::statusMiB("RssFile"));
    std::fflush(stdout);
}

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

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    const std::string path = Bench::ensureSynthFile("tervane3_bench_mainplot_1M.rtdc", "--events 1000000 --seed 7");
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/'));

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    // Shown and painted at its size: the backing store counts in both figures.
    settle();
    window.repaint();
    settle();
    const double fresh = rss();
    report("fresh window", fresh);

    std::string spelling = folder;
    if (!openDatasets(window, name, datasetCount, spelling))
        return 0;
    report("ten 1M-event datasets open", fresh);

    // What holds readers besides the datasets: rule rows and group boxes of the filter
    // panel, the tool windows.
    Access::entry(window, datasetCount - 1).filter.addRule(rangeRule("deform", 0.0, 0.1));
    window.addFilterGroup("gate");
    window.refreshFilterGroupPanel();
    window.openCombinePlotWindow();
    for (const auto& entry : window.datasets())
        Access::combineWindows(window).front()->addDataset(entry->id);
    window.openStatisticalEvalWindow();
    window.openImageGalleryWindow();
    settle();
    report("the same with tool windows, rule and group", fresh);

    std::vector<std::weak_ptr<RTDCReader>> readers;
    for (const auto& entry : window.datasets())
        readers.push_back(entry->reader);
    env.prompts->answerMessage(QStringLiteral("OK"));
    const qint64 clearMs = fromEventLoop([&] { window.clearSession(); });
    report("after Clear Session (" + std::to_string(clearMs) + " ms)", fresh);
    const double afterClear = rss();
    int alive = 0;
    for (const auto& reader : readers)
        alive += reader.expired() ? 0 : 1;
    std::printf("readers still alive after Clear Session: %d\n", alive);

    if (!openDatasets(window, name, datasetCount, spelling))
        return 0;
    report("ten open again", fresh);
    auto* list = window.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
    for (int left = datasetCount - 1; left >= 0; --left) {
        const qint64 ms = fromEventLoop([&] {
            list->setCurrentRow(0);
            window.removeDataset();
        });
        report("removed one, " + std::to_string(left) + " left (" + std::to_string(ms) + " ms)", fresh);
    }
    const double afterRemoval = rss();

    std::printf("after Clear Session: %.1f %% of the fresh window's; after removing all: %.1f %% (target: within 10 %%)\n",
                100.0 * afterClear / fresh, 100.0 * afterRemoval / fresh);
    return 0;
}
