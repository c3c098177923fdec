// The trace-filter settings of the fluorescence refinement: the reader's trace-processing
// stages plus the threshold on the maximum that decides which events are refined. The
// defaults are the values the main window uses when it re-runs a refinement restored from
// a session.
#pragma once

#include "core/TraceProcessing.h"

namespace Tervane3 {

struct TraceFilterSettings : TraceProcessingSettings
{
    double flMaxThreshold = 400.0;
};

} // namespace Tervane3
