// The events of a dataset that pass a filter, honouring the filter's on/off switch: the
// single rule every view, export and tool window follows.
#pragma once

#include "core/EventFilter.h"

#include <cstddef>
#include <vector>

namespace Tervane3 {

class RTDCReader;

// Indices 0 .. eventCount - 1 that pass `filter`, ascending. Every index when the filter is
// switched off or has no rule; rules whose column is missing or shorter than eventCount
// are not used (as EventFilter::apply). Reads the rule columns from the reader (taking the
// HDF5 lock only for a column not cached yet), so it may run on a worker thread once the
// filter has been copied there.
std::vector<int> passingEventIndices(const EventFilter& filter, const RTDCReader& reader, size_t eventCount);
// The same over all of the reader's events.
std::vector<int> passingEventIndices(const EventFilter& filter, const RTDCReader& reader);

} // namespace Tervane3
