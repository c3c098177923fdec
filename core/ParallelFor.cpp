// Thread count of the parallel loops (see ParallelFor.h).
#include "core/ParallelFor.h"

namespace Tervane3 {

namespace {
std::atomic<int> threadLimit{0};
}

int workerThreadCount()
{
    int threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, 8);
    const int limit = threadLimit.load(std::memory_order_relaxed);
    if (limit > 0)
        threads = std::min(threads, limit);
    return threads;
}

void setWorkerThreadLimit(int threads)
{
    threadLimit.store(std::max(threads, 0), std::memory_order_relaxed);
}

} // namespace Tervane3
