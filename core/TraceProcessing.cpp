// The trace filters of the derived-trace chain. Windows shrink at the ends of the trace; each
// filter writes into one output buffer and reuses one window buffer for all positions.
// The median and Hampel filters keep their window sorted as it slides (one insertion and one
// removal per sample, O(window) each) and take the median and the median absolute deviation
// from it; traces with NaN, infinities or negative zeros (whose order the sorted window cannot
// reproduce) go through the plain per-sample selection, which gives the same values.
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

// True when every sample is finite and none is a negative zero: the sorted window then
// holds exactly the values a full selection would see, in an order every method agrees on.
bool plainNumbers(const std::vector<float>& trace)
{
    for (float v : trace) {
        if (!std::isfinite(v) || (v == 0.0f && std::signbit(v)))
            return false;
    }
    return true;
}

// The samples of the current window in ascending order; slides one sample at a time.
class SortedWindow
{
public:
    SortedWindow(const std::vector<float>& trace, std::size_t h)
        : samples(trace)
        , half(h)
    {
        const std::size_t last = std::min(samples.size() - 1, h);
        sorted.assign(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(last + 1));
        std::sort(sorted.begin(), sorted.end());
    }

    // From the window of sample i to that of sample i + 1.
    void advance(std::size_t i)
    {
        const std::size_t n = samples.size();
        if (i + 1 + half <= n - 1) {
            const float entering = samples[i + 1 + half];
            sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), entering), entering);
        }
        if (i + 1 > half) {
            const float leaving = samples[i - half];
            sorted.erase(std::lower_bound(sorted.begin(), sorted.end(), leaving));
        }
    }

    // The element at position floor(m / 2) of the window (the upper middle for even m).
    float median() const { return sorted[sorted.size() / 2]; }

    // The element at position floor(m / 2) of |v - med| over the window: the absolute
    // deviations below the middle ascend to the left, those from the middle up to the right,
    // so the two runs merge in order.
    float medianAbsoluteDeviation(float med) const
    {
        const std::size_t m = sorted.size();
        const std::size_t k = m / 2;
        std::ptrdiff_t left = static_cast<std::ptrdiff_t>(k) - 1;
        std::size_t right = k;
        float value = 0.0f;
        for (std::size_t taken = 0; taken <= k; ++taken) {
            const bool takeLeft = left >= 0
                                  && (right >= m || med - sorted[static_cast<std::size_t>(left)] <= sorted[right] - med);
            if (takeLeft) {
                value = med - sorted[static_cast<std::size_t>(left)];
                --left;
            } else {
                value = sorted[right] - med;
                ++right;
            }
        }
        return value;
    }

private:
    const std::vector<float>& samples;
    std::size_t half;
    std::vector<float> sorted;
};

} // namespace

void hampelFilter(std::vector<float>& trace, int halfWindow, float threshold)
{
    if (trace.empty() || halfWindow < 0)
        return;
    if (plainNumbers(trace)) {
        const std::size_t n = trace.size();
        std::vector<float> output(n);
        SortedWindow window(trace, static_cast<std::size_t>(halfWindow));
        for (std::size_t i = 0; i < n; ++i) {
            const float med = window.median();
            const float scale = window.medianAbsoluteDeviation(med) * 1.4826f;
            const float x = trace[i];
            output[i] = (scale > 0.0f && std::fabs(x - med) > threshold * scale) ? med : x;
            if (i + 1 < n)
                window.advance(i);
        }
        trace.swap(output);
        return;
    }
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
    if (plainNumbers(trace)) {
        const std::size_t n = trace.size();
        std::vector<float> output(n);
        SortedWindow window(trace, static_cast<std::size_t>(halfWindow));
        for (std::size_t i = 0; i < n; ++i) {
            output[i] = window.median();
            if (i + 1 < n)
                window.advance(i);
        }
        trace.swap(output);
        return;
    }
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
