// Spreads loops over millions of events across a few std::threads. Only for loops whose
// every output element is written by exactly one chunk and whose results do not depend on
// how the range was split: the results are then identical to a serial run on any machine.
// Plain std::threads, not Qt's global pool, because the callers may themselves be running
// on a pool thread and must not wait for pool capacity.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace Tervane3 {

// Number of threads a parallel loop may use: the hardware's, at most 8, at least 1, and at
// most the limit set below.
int workerThreadCount();

// Caps the threads of every later parallel loop (0 removes the cap). Benchmarks and tests
// use it to compare one thread with many.
void setWorkerThreadLimit(int threads);

// Calls body(begin, end) for consecutive chunks of `grain` indices covering [0, count).
// Chunks are handed out one at a time to the threads, so uneven work balances itself.
// Blocks until every chunk is done; an exception thrown by a chunk is rethrown here.
template <typename Body>
void parallelFor(size_t count, size_t grain, Body&& body)
{
    if (count == 0)
        return;
    grain = std::max<size_t>(grain, 1);
    const size_t chunks = (count + grain - 1) / grain;
    const size_t threads = std::min<size_t>(static_cast<size_t>(workerThreadCount()), chunks);
    if (threads <= 1) {
        for (size_t begin = 0; begin < count; begin += grain)
            body(begin, std::min(count, begin + grain));
        return;
    }

    std::atomic<size_t> nextChunk{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto worker = [&]() {
        try {
            for (;;) {
                const size_t chunk = nextChunk.fetch_add(1, std::memory_order_relaxed);
                if (chunk >= chunks)
                    break;
                const size_t begin = chunk * grain;
                body(begin, std::min(count, begin + grain));
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
            nextChunk.store(chunks, std::memory_order_relaxed);
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace Tervane3
