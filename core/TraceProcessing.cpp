// The trace filters of the derived-trace chain. Windows shrink at the ends of the trace; each
// filter writes into one output buffer and reuses one window buffer for all positions.
#include "core/TraceProcessing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Tervane3 {

namespace {

// Window bounds of sample i: [first, last] inclusive.
inline void windowOf(std::size_t i, std::size_t n, std::size_t h, std::size_t& first, std::size_t& last)
{
    first = i > h ? i - h : 0;
    last = std::min(n - 1, i + h);
}

// The element at position floor(m / 2) of the sorted window (the upper middle for even m).
inline float upperMedian(std::vector<float>& window)
{
    const auto middle = window.begin() + static_cast<std::ptrdiff_t>(window.size() / 2);
    std::nth_element(window.begin(), middle, window.end());
    return *middle;
}

// Replaces every sample i by sample(i, window), where window holds a copy of the input
// samples of i's window (reordering it is allowed). One window buffer serves all positions.
template <typename Sample>
void filterByWindow(std::vector<float>& trace, std::size_t h, Sample sample)
{
    const std::size_t n = trace.size();
    std::vector<float> output(n);
    std::vector<float> window;
    window.reserve(std::min(n, 2 * h + 1));
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t first = 0;
        std::size_t last = 0;
        windowOf(i, n, h, first, last);
        window.assign(trace.begin() + static_cast<std::ptrdiff_t>(first),
                      trace.begin() + static_cast<std::ptrdiff_t>(last + 1));
        output[i] = sample(i, window);
    }
    trace.swap(output);
}

} // namespace

void hampelFilter(std::vector<float>& trace, int halfWindow, float threshold)
{
    if (trace.empty() || halfWindow < 0)
        return;
    const std::vector<float>& input = trace;
    filterByWindow(trace, static_cast<std::size_t>(halfWindow), [&](std::size_t i, std::vector<float>& window) {
        const float med = upperMedian(window);
        for (float& v : window)
            v = std::fabs(v - med);
        const float scale = upperMedian(window) * 1.4826f;
        const float x = input[i];
        return (scale > 0.0f && std::fabs(x - med) > threshold * scale) ? med : x;
    });
}

void medianFilter(std::vector<float>& trace, int halfWindow)
{
    if (trace.empty() || halfWindow <= 0)
        return;
    filterByWindow(trace, static_cast<std::size_t>(halfWindow),
                   [](std::size_t, std::vector<float>& window) { return upperMedian(window); });
}

void rollingMeanFilter(std::vector<float>& trace, int halfWindow)
{
    if (trace.empty() || halfWindow <= 0)
        return;
    const std::size_t n = trace.size();
    const auto h = static_cast<std::size_t>(halfWindow);
    std::vector<float> output(n);
    // Running sum of the current window [first, last], carried in double.
    double sum = 0.0;
    std::size_t first = 0;
    std::size_t last = 0;
    windowOf(0, n, h, first, last);
    for (std::size_t k = first; k <= last; ++k)
        sum += trace[k];
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t newFirst = 0;
        std::size_t newLast = 0;
        windowOf(i, n, h, newFirst, newLast);
        while (last < newLast)
            sum += trace[++last];
        while (first < newFirst)
            sum -= trace[first++];
        output[i] = static_cast<float>(sum / static_cast<double>(last - first + 1));
    }
    trace.swap(output);
}

void savitzkyGolayFilter(std::vector<float>& trace, int halfWindow)
{
    if (halfWindow < 0)
        return;
    const std::size_t n = trace.size();
    const auto h = static_cast<std::size_t>(halfWindow);
    if (n < 2 * h + 1)
        return;
    // Quadratic smoothing weights, computed and normalised in float.
    const float hf = static_cast<float>(halfWindow);
    const float m = 3.0f * hf * (hf + 1.0f) - 1.0f;
    std::vector<float> weights(2 * h + 1);
    float weightSum = 0.0f;
    for (int k = -halfWindow; k <= halfWindow; ++k) {
        const float kf = static_cast<float>(k);
        const float w = (m - 5.0f * kf * kf) * 3.0f / ((2.0f * hf + 1.0f) * m);
        weights[static_cast<std::size_t>(k + halfWindow)] = w;
        weightSum += w;
    }
    for (float& w : weights)
        w /= weightSum;
    std::vector<float> output(trace);
    for (std::size_t i = h; i + h < n; ++i) {
        float acc = 0.0f;
        for (std::size_t j = 0; j < weights.size(); ++j)
            acc += weights[j] * trace[i - h + j];
        output[i] = acc;
    }
    trace.swap(output);
}

void applyTraceProcessing(std::vector<float>& trace, const TraceProcessingSettings& settings)
{
    const TraceProcessingSettings& s = settings;
    if (s.hampel1Enabled)
        hampelFilter(trace, s.hampel1HalfWindow, s.hampel1Threshold);
    if (s.hampel2Enabled)
        hampelFilter(trace, s.hampel2HalfWindow, s.hampel2Threshold);
    if (s.medianEnabled)
        medianFilter(trace, s.medianHalfWindow);
    if (s.rollingMeanEnabled)
        rollingMeanFilter(trace, s.rollingMeanHalfWindow);
    if (s.savitzkyGolayEnabled)
        savitzkyGolayFilter(trace, s.savitzkyGolayHalfWindow);
}

} // namespace Tervane3
