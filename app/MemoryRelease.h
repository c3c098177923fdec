// Giving freed heap memory back to the system once datasets have closed, off the thread
// that asks for it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Tervane3 {

// Returns the free pages of every malloc arena to the system (glibc's malloc_trim); does
// nothing with other C libraries. The allocator keeps freed blocks for reuse and gives back
// only what lies at the top of a heap, so the columns of closed datasets (about 0.5 GB per
// million events, many of them read on pool threads into arenas of their own) otherwise
// stay resident. Also empties the HDF5 library's free lists when no file operation holds
// the HDF5 lock. Takes a few hundred milliseconds after gigabytes were freed; any thread.
void releaseFreedMemory();

// Frees what it is handed and runs the release on a thread of its own, so that the thread
// asking (the GUI thread) never waits for either. At most one release runs at a time: a
// request while one runs is coalesced into a single further release once it ends, which
// covers whatever was freed meanwhile. What was handed over is freed before the next release
// starts. The thread starts with the first request or hand-over. The destructor waits for a
// running release and drops one not yet started, so the owner's teardown (and with it the
// process's exit, when HDF5 closes down) never overlaps a release; what is still waiting to
// be freed is freed by the destroying thread.
class MemoryReleaser
{
public:
    // `release` replaces releaseFreedMemory (tests).
    explicit MemoryReleaser(std::function<void()> release = releaseFreedMemory);
    ~MemoryReleaser();
    MemoryReleaser(const MemoryReleaser&) = delete;
    MemoryReleaser& operator=(const MemoryReleaser&) = delete;

    // Returns at once.
    void request();
    // Drops the reference (normally the last one) on the releaser's thread, so that the
    // object is destroyed there; returns at once. Any thread.
    void dispose(std::shared_ptr<void> garbage);
    // A release or a hand-over runs or waits to run.
    bool busy() const;
    // Objects handed over and destroyed on the releaser's thread so far (tests).
    std::size_t disposedCount() const;
    // Blocks until no release runs or waits and everything handed over is freed (tests and
    // benchmarks).
    void waitUntilIdle();

private:
    void serve();
    // Starts the thread unless it runs; the caller holds `mutex`.
    void startWorker();

    const std::function<void()> release;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<void>> garbage;
    std::size_t disposed = 0;
    bool requested = false;
    bool running = false;
    bool freeing = false;
    bool stopping = false;
    std::thread worker;
};

} // namespace Tervane3
