// Axis scale modes shared by plots, filter polygons, session files and contour lines, and
// the mapping of data values into axis coordinates and back that density estimation and
// contour lines use. All functions are pure and may run on any thread.
#pragma once

#include <vector>

namespace Tervane3 {

enum AxisScaleMode : int {
    ScaleLinear = 0,
    ScaleLog = 1,       // log10 on plots and for density; values <= 0 map to 0
    ScalePseudoLog = 2, // PseudoLogTransform(kPseudoLogThreshold, kPseudoLogSlope)
};

constexpr double kPseudoLogThreshold = 100.0;
constexpr double kPseudoLogSlope = 0.005;
// Half-width of the linear band in axis units: PseudoLogScaleEngine(100, 0.5).
constexpr double kPseudoLogLinearWidth = kPseudoLogThreshold * kPseudoLogSlope;

// Modes below 0 count as linear, modes above 2 as pseudo-logarithmic. Callers that read a
// mode from a file or a session clamp it on entry; the transforms below apply the same
// mapping, so a value mapped forward and back always lands where it started.
int clampScaleMode(int mode);

// One axis coordinate per value: linear copies, logarithmic gives log10(v) for v > 0 and 0
// for zero, negative and NaN values, pseudo-logarithmic applies the pseudo-log transform.
std::vector<double> transformValues(const std::vector<double>& values, int mode);

// Maps one point from axis coordinates back to data units, each coordinate by its own mode
// (logarithmic: 10^v; pseudo-logarithmic: the inverse transform; linear: unchanged).
void inverseTransformPoint(double& x, double& y, int xMode, int yMode);

} // namespace Tervane3
