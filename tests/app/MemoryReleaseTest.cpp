// The release of freed memory on a thread of its own: requests return at once, one release
// runs at a time, requests meanwhile coalesce into one more, and destruction waits for a
// running release. Also run under ThreadSanitizer (./dev tsan).
#include "app/MemoryRelease.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace Tervane3;
using namespace std::chrono_literals;

namespace {

// A stand-in release that records its thread and stays blocked until opened (or a time
// limit passes, so a faulty releaser fails the test instead of hanging it).
class HeldRelease
{
public:
    void operator()()
    {
        std::unique_lock<std::mutex> lock(mutex);
        threads.push_back(std::this_thread::get_id());
        ++running;
        changed.notify_all();
        changed.wait_for(lock, 5s, [this] { return opened; });
        --running;
        ++finished;
        changed.notify_all();
    }
    void open()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        opened = true;
        changed.notify_all();
    }
    bool waitForStarts(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return threads.size() >= count; });
    }
    std::vector<std::thread::id> startedOn() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return threads;
    }
    int finishedCount() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::thread::id> threads;
    int running = 0;
    int finished = 0;
    bool opened = false;
};

} // namespace

// Catches the release running on the thread that asks for it: the window stood still for
// a few hundred milliseconds per 2 GB freed.
TEST(MemoryReleaseTest, ARequestReturnsAtOnceAndTheReleaseRunsElsewhere)
{
    HeldRelease held;
    MemoryReleaser releaser([&] { held(); });
    releaser.request();
    ASSERT_TRUE(held.waitForStarts(1));
    EXPECT_TRUE(releaser.busy());
    EXPECT_NE(held.startedOn().front(), std::this_thread::get_id());
    held.open();
    releaser.waitUntilIdle();
    EXPECT_EQ(held.finishedCount(), 1);
    EXPECT_FALSE(releaser.busy());
}

// Catches overlapping releases (two walks of the heaps at once) and requests lost or piled
// up while one runs: those made meanwhile give exactly one release after it.
TEST(MemoryReleaseTest, RequestsWhileOneRunsCoalesceIntoOneMore)
{
    HeldRelease held;
    MemoryReleaser releaser([&] { held(); });
    releaser.request();
    ASSERT_TRUE(held.waitForStarts(1));
    for (int i = 0; i < 5; ++i)
        releaser.request();
    // Still the first one only: the second waits for it.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(held.startedOn().size(), 1u);
    held.open();
    releaser.waitUntilIdle();
    EXPECT_EQ(held.finishedCount(), 2);
    EXPECT_EQ(held.startedOn().size(), 2u);

    // Idle again: a new request is served.
    releaser.request();
    releaser.waitUntilIdle();
    EXPECT_EQ(held.finishedCount(), 3);
}

// Catches a release left running past its owner (the window, and then the process's exit
// with HDF5's own close-down): destruction waits for it and drops a request not yet served.
TEST(MemoryReleaseTest, DestructionWaitsForTheRunningReleaseAndDropsTheNext)
{
    HeldRelease held;
    std::thread opener;
    {
        MemoryReleaser releaser([&] { held(); });
        releaser.request();
        ASSERT_TRUE(held.waitForStarts(1));
        releaser.request();
        opener = std::thread([&] {
            std::this_thread::sleep_for(50ms);
            held.open();
        });
    }
    EXPECT_EQ(held.finishedCount(), 1);
    opener.join();
    EXPECT_EQ(held.startedOn().size(), 1u);

    // Never asked: no thread to wait for.
    { MemoryReleaser idle([&] { held(); }); }
    EXPECT_EQ(held.finishedCount(), 1);
}

// The real release is harmless with nothing freed and from any thread.
TEST(MemoryReleaseTest, TheRealReleaseRuns)
{
    MemoryReleaser releaser;
    std::vector<std::vector<double>> freed(8, std::vector<double>(1 << 17, 1.0));
    freed.clear();
    releaser.request();
    releaser.waitUntilIdle();
    EXPECT_FALSE(releaser.busy());
}
