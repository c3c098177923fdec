// Smoothing and outlier removal for fluorescence traces, and the chain of them that turns a
// stored trace into a derived one. Each filter works in place on one trace: every output
// sample comes from the unchanged input, the trace is replaced at the end. The window of
// sample i is [max(0, i - h), min(n - 1, i + h)] of the input.
#pragma once

#include <vector>

namespace Tervane3 {

// Replaces a sample by its window median when it lies more than threshold x 1.4826 x MAD
// from it (both comparisons strict, nothing happens where the MAD is 0).
void hampelFilter(std::vector<float>& trace, int halfWindow, float threshold);

// Sliding median; for windows of even size the upper of the two middle values.
void medianFilter(std::vector<float>& trace, int halfWindow);

// Sliding mean over the (shortened at the ends) window.
void rollingMeanFilter(std::vector<float>& trace, int halfWindow);

// Quadratic Savitzky-Golay smoothing; the first and last halfWindow samples keep their
// values, and a trace shorter than 2 x halfWindow + 1 is left unchanged.
void savitzkyGolayFilter(std::vector<float>& trace, int halfWindow);

// The stages of the chain, each with its switch and half-width (samples, not negative);
// the defaults are those of a new reader. The fluorescence refinement sets them on the
// reader; the reader applies them to every derived trace it reads.
struct TraceProcessingSettings
{
    bool hampel1Enabled = true;
    int hampel1HalfWindow = 5;
    float hampel1Threshold = 3.0f;
    bool hampel2Enabled = true;
    int hampel2HalfWindow = 11;
    float hampel2Threshold = 3.0f;
    bool medianEnabled = false;
    int medianHalfWindow = 3;
    bool rollingMeanEnabled = false;
    int rollingMeanHalfWindow = 3;
    bool savitzkyGolayEnabled = true;
    int savitzkyGolayHalfWindow = 3;
};

// Runs the enabled stages in their fixed order, each on the whole output of the one before:
// Hampel 1, Hampel 2, sliding median, rolling mean, Savitzky-Golay.
void applyTraceProcessing(std::vector<float>& trace, const TraceProcessingSettings& settings);

} // namespace Tervane3
