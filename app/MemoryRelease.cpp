// Giving freed heap memory back to the system, on a thread of its own.
#include "app/MemoryRelease.h"

#include "core/Hdf5Lock.h"

#include <H5public.h>

// Any C library header defines __GLIBC__ where glibc is the C library.
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Tervane3 {

void releaseFreedMemory()
{
    // The HDF5 library keeps the blocks of closed files on free lists of its own (a few MB
    // after ten large files). Skipped while a worker reads a file: that may take seconds,
    // and the lists are bounded.
    {
        std::unique_lock<std::recursive_mutex> lock(hdf5Mutex(), std::try_to_lock);
        if (lock.owns_lock())
            H5garbage_collect();
    }
#if defined(__GLIBC__)
    // 0: keep no padding at the top of the heaps; every arena is walked and whole free
    // pages in the middle are released too (glibc 2.8 and later).
    malloc_trim(0);
#endif
}

MemoryReleaser::MemoryReleaser(std::function<void()> releaseFunction)
    : release(std::move(releaseFunction))
{
}

MemoryReleaser::~MemoryReleaser()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        requested = false;
    }
    changed.notify_all();
    if (worker.joinable())
        worker.join();
}

void MemoryReleaser::startWorker()
{
    if (!worker.joinable())
        worker = std::thread([this] { serve(); });
}

void MemoryReleaser::request()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return;
        requested = true;
        startWorker();
    }
    changed.notify_all();
}

void MemoryReleaser::dispose(std::shared_ptr<void> object)
{
    if (!object)
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        // While the releaser is destroyed, the destroying thread frees it below.
        if (stopping)
            return;
        garbage.push_back(std::move(object));
        startWorker();
    }
    changed.notify_all();
}

bool MemoryReleaser::busy() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return requested || running || freeing || !garbage.empty();
}

std::size_t MemoryReleaser::disposedCount() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return disposed;
}

void MemoryReleaser::waitUntilIdle()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return stopping || (!requested && !running && !freeing && garbage.empty()); });
}

void MemoryReleaser::serve()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || requested || !garbage.empty(); });
        if (stopping)
            break;
        if (!garbage.empty()) {
            std::vector<std::shared_ptr<void>> batch;
            batch.swap(garbage);
            freeing = true;
            lock.unlock();
            const std::size_t count = batch.size();
            batch.clear();
            lock.lock();
            disposed += count;
            freeing = false;
            changed.notify_all();
            continue;
        }
        requested = false;
        running = true;
        lock.unlock();
        release();
        lock.lock();
        running = false;
        changed.notify_all();
    }
    changed.notify_all();
}

} // namespace Tervane3
