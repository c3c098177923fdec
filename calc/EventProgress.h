// Progress of a loop over the events of one dataset that may run on several threads: counts
// finished events and reports base + k · span / n (integer division) for every k-th finished
// event with k a multiple of `every`. The values never decrease (a value computed by one
// thread after a larger one from another is dropped), and on one thread the sequence is the
// serial loop's: base at the first event, then every `every` events.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>

namespace Tervane3 {

class EventProgress
{
public:
    EventProgress(std::size_t count, std::size_t every, int base, int span, std::function<void(int)> report)
        : n(count)
        , step(every == 0 ? 1 : every)
        , from(base)
        , width(span)
        , reportValue(std::move(report))
    {
    }

    // Called by any thread once an event is done.
    void eventFinished()
    {
        const std::size_t k = finished.fetch_add(1, std::memory_order_relaxed);
        if (k % step != 0 || n == 0)
            return;
        const int value = from + static_cast<int>(k * static_cast<std::size_t>(width) / n);
        const std::lock_guard<std::mutex> lock(reportMutex);
        if (value < last)
            return;
        last = value;
        reportValue(value);
    }

private:
    const std::size_t n;
    const std::size_t step;
    const int from;
    const int width;
    const std::function<void(int)> reportValue;
    std::atomic<std::size_t> finished{0};
    std::mutex reportMutex;
    int last = -1;
};

} // namespace Tervane3
