// The release of freed memory on a thread of its own: requests return at once, one release
// runs at a time, requests meanwhile coalesce into one more, objects handed over are
// destroyed there before the next release, and destruction waits for a running release.
// Also run under ThreadSanitizer (./dev tsan).
#include "app/MemoryRelease.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
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

namespace {

// Records the thread that destroys it and what the release had done by then.
struct Recorder
{
    std::mutex mutex;
    std::vector<std::thread::id> destroyedOn;
    std::vector<int> releasesFinishedBefore;
};

struct Garbage
{
    Garbage(Recorder& r, HeldRelease& h)
        : recorder(r), held(h)
    {
    }
    Garbage(const Garbage&) = delete;
    Garbage& operator=(const Garbage&) = delete;
    Recorder& recorder;
    HeldRelease& held;
    ~Garbage()
    {
        const std::lock_guard<std::mutex> lock(recorder.mutex);
        recorder.destroyedOn.push_back(std::this_thread::get_id());
        recorder.releasesFinishedBefore.push_back(held.finishedCount());
    }
};

} // namespace

// Catches freeing done by the thread that hands the objects over (closed datasets' columns
// freed on the GUI thread stood the window still for up to a second), and a release that
// starts before what was handed over meanwhile is freed (it would miss those pages).
TEST(MemoryReleaseTest, HandedObjectsAreDestroyedOnTheReleasersThreadBeforeTheNextRelease)
{
    HeldRelease held;
    Recorder recorder;
    MemoryReleaser releaser([&] { held(); });
    releaser.request();
    ASSERT_TRUE(held.waitForStarts(1));
    // While the first release runs: two objects handed over, one more release asked for.
    releaser.dispose(std::make_shared<Garbage>(recorder, held));
    releaser.dispose(std::make_shared<Garbage>(recorder, held));
    releaser.request();
    {
        const std::lock_guard<std::mutex> lock(recorder.mutex);
        EXPECT_TRUE(recorder.destroyedOn.empty());
    }
    EXPECT_TRUE(releaser.busy());
    held.open();
    releaser.waitUntilIdle();
    EXPECT_EQ(held.finishedCount(), 2);
    EXPECT_EQ(releaser.disposedCount(), 2u);
    const std::lock_guard<std::mutex> lock(recorder.mutex);
    ASSERT_EQ(recorder.destroyedOn.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(recorder.destroyedOn[i], held.startedOn().front());
        EXPECT_NE(recorder.destroyedOn[i], std::this_thread::get_id());
        // After the first release, before the second.
        EXPECT_EQ(recorder.releasesFinishedBefore[i], 1);
    }
}

// Catches objects lost (never destroyed) or destroyed twice when the releaser goes while
// they still wait, and a hand-over that alone (without a request) is never served.
TEST(MemoryReleaseTest, WaitingObjectsAreFreedAtDestructionAndAHandOverAloneIsServed)
{
    HeldRelease held;
    Recorder recorder;
    std::weak_ptr<Garbage> waiting;
    std::thread opener;
    {
        MemoryReleaser releaser([&] { held(); });
        releaser.request();
        ASSERT_TRUE(held.waitForStarts(1));
        auto garbage = std::make_shared<Garbage>(recorder, held);
        waiting = garbage;
        releaser.dispose(std::move(garbage));
        opener = std::thread([&] {
            std::this_thread::sleep_for(50ms);
            held.open();
        });
    }
    opener.join();
    EXPECT_TRUE(waiting.expired());
    {
        const std::lock_guard<std::mutex> lock(recorder.mutex);
        EXPECT_EQ(recorder.destroyedOn.size(), 1u);
    }

    HeldRelease unused;
    unused.open();
    MemoryReleaser releaser([&] { unused(); });
    releaser.dispose(std::make_shared<Garbage>(recorder, held));
    releaser.waitUntilIdle();
    EXPECT_EQ(releaser.disposedCount(), 1u);
    EXPECT_EQ(unused.finishedCount(), 0);
    const std::lock_guard<std::mutex> lock(recorder.mutex);
    ASSERT_EQ(recorder.destroyedOn.size(), 2u);
    EXPECT_NE(recorder.destroyedOn.back(), std::this_thread::get_id());
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
