// The background calculation launcher and closing the window while background work still
// uses the datasets. Also run under AddressSanitizer: a worker reading a freed dataset is
// reported there as a use after free.
#include "MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"

#include "support/TestSupport.h"

#include <H5Fpublic.h>

#include <QListWidget>
#include <QTemporaryDir>
#include <QProgressBar>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace Tervane3;
using Access = MainWindowTestAccess;

TEST(MainWindowBackgroundTest, ASecondRequestWhileOneRunsIsDropped)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> firstWork{0}, secondWork{0};
    int firstFinish = 0, secondFinish = 0;

    w.runBackgroundCalculation([&] { ++firstWork; released.wait(); }, [&] { ++firstFinish; });
    EXPECT_TRUE(Access::calcBusy(w));
    EXPECT_TRUE(w.calcDock()->progressBar()->isVisibleTo(w.calcDock()));
    EXPECT_EQ(w.calcDock()->progressBar()->value(), 0);
    EXPECT_EQ(w.calcDock()->progressBar()->format().toStdString(), "%p%");

    w.runBackgroundCalculation([&] { ++secondWork; }, [&] { ++secondFinish; });
    release.set_value();
    ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return firstFinish > 0; }));
    // Give a wrongly started second task the chance to show itself.
    Tervane3::Test::waitUntil([] { return false; }, 100);

    EXPECT_EQ(firstWork, 1);
    EXPECT_EQ(firstFinish, 1);
    EXPECT_EQ(secondWork, 0);
    EXPECT_EQ(secondFinish, 0);
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_FALSE(Access::hasCalcFinish(w));
    EXPECT_FALSE(w.calcDock()->progressBar()->isVisibleTo(w.calcDock()));
    EXPECT_TRUE(env.prompts->calls().empty());
}

TEST(MainWindowBackgroundTest, AFinishFunctionMayStartTheNextCalculation)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    std::vector<std::string> order;
    std::atomic<int> secondWork{0};
    w.runBackgroundCalculation([] {}, [&] {
        order.push_back("first finish");
        EXPECT_FALSE(Access::calcBusy(w));
        w.runBackgroundCalculation([&] { ++secondWork; }, [&] { order.push_back("second finish"); });
        EXPECT_TRUE(Access::calcBusy(w));
    });
    ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first finish", "second finish"}));
    EXPECT_EQ(secondWork, 1);
    EXPECT_FALSE(Access::calcBusy(w));
}

// An exception in a work function used to end in the future unseen, and the calculation
// looked successful.
TEST(MainWindowBackgroundTest, AnExceptionInTheWorkIsLoggedAndShown)
{
    struct Case
    {
        const char* label;
        std::function<void()> work;
        const char* shown;
    };
    const Case cases[] = {
        {"std exception", [] { throw std::runtime_error("matrix is singular"); }, "matrix is singular"},
        {"anything else", [] { throw 3; }, "An unknown error occurred."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Tervane3::Test::MainWindowEnvironment env;
        MainWindow w;
        int finished = 0;
        Tervane3::Test::ExpectQtWarnings expected;
        w.runBackgroundCalculation(c.work, [&] { ++finished; });
        ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return !Access::calcBusy(w); }));
        EXPECT_EQ(finished, 1); // the button of the calculation comes back
        EXPECT_EQ(expected.count(), 1);
        EXPECT_EQ(expected.lastMessage(), std::string("Background calculation failed: ") + c.shown);
        ASSERT_EQ(env.prompts->calls().size(), 1u);
        const ScriptedPrompts::Call& box = env.prompts->calls().front();
        EXPECT_EQ(box.title.toStdString(), "Calculation Error");
        EXPECT_EQ(box.icon, Prompts::Icon::Critical);
        EXPECT_TRUE(box.text.contains(QString::fromUtf8(c.shown))) << box.text.toStdString();
    }
}

// Closing the window while a calculation or a caching task still reads a dataset used to
// free the dataset under the worker.
TEST(MainWindowBackgroundTest, ClosingWaitsForTasksThatUseTheDatasets)
{
    enum class How { CloseCalculation, DestroyCalculation, ClosePreload };
    for (How how : {How::CloseCalculation, How::DestroyCalculation, How::ClosePreload}) {
        SCOPED_TRACE(static_cast<int>(how));
        Tervane3::Test::MainWindowEnvironment env;
        auto w = std::make_unique<MainWindow>();
        DatasetEntry& entry = Access::addEntry(*w, 1);
        entry.ctcChannels.assign(1000, 1);
        DatasetEntry* data = &entry;
        std::atomic<bool> started{false}, closing{false}, done{false};
        std::atomic<long> sum{0};
        int finishRuns = 0;
        // The task reads the dataset until 300 ms after the window begins to close, so that on
        // a slow machine it cannot end before (showing the window alone may take that long).
        auto work = [data, &started, &closing, &done, &sum] {
            started = true;
            while (!closing)
                std::this_thread::yield();
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
            while (std::chrono::steady_clock::now() < until) {
                long s = 0;
                for (int v : data->ctcChannels)
                    s += v;
                sum += s;
            }
            done = true;
        };
        if (how == How::ClosePreload) {
            Access::preloadWatcher(*w)->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), work));
        } else {
            w->runBackgroundCalculation(work, [&] { ++finishRuns; });
        }
        while (!started)
            std::this_thread::yield();

        if (how == How::DestroyCalculation) {
            closing = true;
            w.reset();
            EXPECT_TRUE(done);
        } else {
            w->show();
            closing = true;
            w->close();
            EXPECT_TRUE(done);
            EXPECT_FALSE(w->isEnabled());
            // A finish arriving after the close does not touch the closing window.
            Tervane3::Test::waitUntil([] { return false; }, 50);
            EXPECT_EQ(finishRuns, 0);
            w.reset();
        }
        EXPECT_GT(sum, 0);
    }
}

// Catches the release of freed memory running on the GUI thread after Clear Session or a
// removal (the window stood still for a few hundred milliseconds per 2 GB), and a window
// destroyed while a release still runs.
TEST(MainWindowBackgroundTest, MemoryIsGivenBackOffTheGuiThreadAndClosingWaitsForIt)
{
    Tervane3::Test::MainWindowEnvironment env;
    auto w = std::make_unique<MainWindow>();
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::thread::id> releaseThreads;
    bool opened = false;
    bool running = false;
    Access::memoryReleaser(*w) = std::make_unique<MemoryReleaser>([&] {
        std::unique_lock<std::mutex> lock(mutex);
        releaseThreads.push_back(std::this_thread::get_id());
        running = true;
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return opened; });
        running = false;
    });
    auto started = [&] {
        const std::lock_guard<std::mutex> lock(mutex);
        return releaseThreads.size();
    };
    for (int id = 0; id < 3; ++id)
        Access::addListedEntry(*w, id);

    // Clear Session from the event loop, as a menu click runs it.
    env.prompts->answerMessage(QStringLiteral("OK"));
    QTimer::singleShot(0, w.get(), [&] { w->clearSession(); });
    ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return started() == 1; }));
    // The loop keeps turning while the release is held.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { ++ticks; });
    ticker.start(1);
    EXPECT_TRUE(Tervane3::Test::waitUntil([&] { return ticks >= 3; }, 2000));
    {
        const std::lock_guard<std::mutex> lock(mutex);
        EXPECT_NE(releaseThreads.front(), std::this_thread::get_id());
    }

    // A removal meanwhile asks again: one release follows the held one, never alongside it.
    for (int id = 3; id < 5; ++id)
        Access::addListedEntry(*w, id);
    for (int i = 0; i < 2; ++i) {
        w->findChild<QListWidget*>(QStringLiteral("datasetList"))->setCurrentRow(0);
        w->removeDataset();
    }
    EXPECT_TRUE(Tervane3::Test::waitUntil([&] { return !Access::memoryReleasePending(*w); }));
    EXPECT_TRUE(Access::memoryReleaser(*w)->busy());
    EXPECT_EQ(started(), 1u);

    // Closed and destroyed while the release is still held: the window waits for it.
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::lock_guard<std::mutex> lock(mutex);
        opened = true;
        changed.notify_all();
    });
    w->close();
    w.reset();
    opener.join();
    const std::lock_guard<std::mutex> lock(mutex);
    EXPECT_FALSE(running);
    EXPECT_EQ(releaseThreads.size(), 1u);
}

// Catches the columns of closed datasets freed by the GUI thread (or never handed to the
// releaser) after Clear Session and after a removal, a file left open until its columns are
// freed, and the window's column disposer left installed after the window is gone (a reader
// closed afterwards would call into the destroyed window: a use after free under
// AddressSanitizer).
TEST(MainWindowBackgroundTest, ClosedDatasetsFreeTheirColumnsOnTheReleasersThread)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("m.rtdc"));
    Tervane3::Test::writeMeasurement(path.toStdString(), Tervane3::Test::smallMeasurement());
    const std::vector<std::pair<const char*, std::function<void(MainWindow&)>>> closings = {
        {"Clear Session", [](MainWindow& w) { w.clearSession(); }},
        {"removal", [](MainWindow& w) {
             auto* list = w.findChild<QListWidget*>(QStringLiteral("datasetList"));
             while (list->count() > 0) {
                 list->setCurrentRow(0);
                 w.removeDataset();
             }
         }},
    };
    for (const auto& [how, closeAll] : closings) {
        SCOPED_TRACE(how);
        Tervane3::Test::MainWindowEnvironment env;
        auto w = std::make_unique<MainWindow>();
        // "m.rtdc" under two spellings: two datasets with columns of their own.
        for (const QString& spelling : {path, dir.filePath(QStringLiteral("./m.rtdc"))}) {
            Access::addDataset(*w, spelling);
            ASSERT_TRUE(Tervane3::Test::waitForCaching(*w));
        }
        ASSERT_EQ(w->datasets().size(), 2u);
        ASSERT_EQ(w->datasets()[1]->reader->getFeature("deform").size(), 6u);
        const std::size_t disposedBefore = Access::memoryReleaser(*w)->disposedCount();

        env.prompts->answerMessage(QStringLiteral("OK"));
        closeAll(*w);
        // The rule rows and group boxes that still hold a reader go with the deferred deletions.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE), 0);
        ASSERT_TRUE(Tervane3::Test::waitUntil([&] {
            return Access::memoryReleaser(*w)->disposedCount() >= disposedBefore + 2;
        }));
        Access::memoryReleaser(*w)->waitUntilIdle();
        w.reset();

        // With the window gone, a reader that closes frees its columns itself.
        RTDCReader reader;
        ASSERT_TRUE(reader.open(path.toStdString()));
        EXPECT_EQ(reader.getFeature("deform").size(), 6u);
        reader.close();
    }
}
