// The trace-filter settings of the fluorescence refinement. The defaults are the values
// the main window uses when it re-runs a refinement restored from a session.
#pragma once

namespace Tervane3 {

struct TraceFilterSettings
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
    double flMaxThreshold = 400.0;
};

} // namespace Tervane3
