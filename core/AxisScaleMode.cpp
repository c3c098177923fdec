// Axis scale modes and the value transforms (see AxisScaleMode.h).
#include "core/AxisScaleMode.h"

#include "core/ParallelFor.h"
#include "core/PseudoLogTransform.h"

#include <cmath>

namespace Tervane3 {

namespace {
// Values per parallel chunk: a logarithm per value is worth a thread from here on.
constexpr size_t kGrain = 1 << 16;
} // namespace

int clampScaleMode(int mode)
{
    if (mode < ScaleLinear)
        return ScaleLinear;
    if (mode > ScalePseudoLog)
        return ScalePseudoLog;
    return mode;
}

std::vector<double> transformValues(const std::vector<double>& values, int mode)
{
    switch (clampScaleMode(mode)) {
    case ScaleLinear:
        return values;
    case ScaleLog: {
        std::vector<double> out(values.size());
        parallelFor(values.size(), kGrain, [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i) {
                const double v = values[i];
                out[i] = v > 0.0 ? std::log10(v) : 0.0;
            }
        });
        return out;
    }
    default: {
        const PseudoLogTransform transform(kPseudoLogThreshold, kPseudoLogSlope);
        std::vector<double> out(values.size());
        parallelFor(values.size(), kGrain, [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                out[i] = transform.map(values[i]);
        });
        return out;
    }
    }
}

namespace {

double inverseAxisValue(double v, int mode, const PseudoLogTransform& pseudoLog)
{
    switch (clampScaleMode(mode)) {
    case ScaleLog:
        return std::pow(10.0, v);
    case ScalePseudoLog:
        return pseudoLog.invTransform(v);
    default:
        return v;
    }
}

} // namespace

void inverseTransformPoint(double& x, double& y, int xMode, int yMode)
{
    const PseudoLogTransform pseudoLog(kPseudoLogThreshold, kPseudoLogSlope);
    x = inverseAxisValue(x, xMode, pseudoLog);
    y = inverseAxisValue(y, yMode, pseudoLog);
}

} // namespace Tervane3
