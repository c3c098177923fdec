// Pool jobs: what the work writes is seen by the slots of finished() and after wait(), a
// failure comes back once on the GUI thread, and many jobs in a row keep their order of
// hand-over (run under ThreadSanitizer as well).
#include "core/PoolRun.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <stdexcept>
#include <vector>

namespace Tervane3 {
namespace {

bool waitUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(PoolRun, ResultsReachTheFinishedSlot)
{
    PoolWatcher watcher;
    std::vector<int> seen;
    auto slot = std::make_shared<std::vector<int>>();
    QObject::connect(&watcher, &PoolWatcher::finished, [&] { seen = *slot; });
    std::vector<int> input = {1, 2, 3};
    watcher.start([slot, input] {
        for (int v : input)
            slot->push_back(v * v);
    });
    ASSERT_TRUE(waitUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, (std::vector<int>{1, 4, 9}));
    EXPECT_NO_THROW(watcher.rethrowFailure());
}

TEST(PoolRun, FailureComesBackOnce)
{
    PoolWatcher watcher;
    watcher.start([] { throw std::runtime_error("no memory for the page"); });
    watcher.wait();
    try {
        watcher.rethrowFailure();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "no memory for the page");
    }
    EXPECT_NO_THROW(watcher.rethrowFailure());
}

TEST(PoolRun, JobsInARowAndWait)
{
    PoolWatcher watcher;
    int finished = 0;
    QObject::connect(&watcher, &PoolWatcher::finished, [&] { ++finished; });
    long total = 0;
    for (int round = 0; round < 50; ++round) {
        auto slot = std::make_shared<long>(0);
        watcher.start([slot, round] { *slot = round * 2L; });
        watcher.wait();
        total += *slot;
    }
    EXPECT_EQ(total, 2450);
    // A wait on a watcher without a job returns at once.
    PoolWatcher idle;
    idle.wait();
}

} // namespace
} // namespace Tervane3
