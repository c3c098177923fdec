// Bin lookup shared by the density estimators: the truncated quotient clamped to
// 0 .. bins - 1, computed without ever converting a NaN or out-of-range double to int.
#pragma once

namespace Tervane3 {

// t = (value - lower edge) / bin width. Same result as clamping (int)t for every finite t;
// NaN goes to bin 0 and +inf to the last bin.
inline int binIndex(double t, int bins)
{
    if (t >= bins)
        return bins - 1;
    if (t >= 1.0)
        return static_cast<int>(t);
    return 0;
}

} // namespace Tervane3
