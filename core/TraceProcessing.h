// Smoothing and outlier removal for fluorescence traces. Each filter works in place on one
// trace: every output sample comes from the unchanged input, the trace is replaced at the
// end. The window of sample i is [max(0, i - h), min(n - 1, i + h)] of the input.
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

} // namespace Tervane3
