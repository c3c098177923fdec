// What an exported .rtdc file records of the filter that selected its events: one
// "offline_filter:" attribute per limit, so that the record means exactly the events kept.
// Rules the record cannot state truthfully are left out with a warning: inverted rules
// (the attributes can only say "inside"), rules the filter itself ignored (missing or short
// column, polygon under three vertices) and a second polygon on the same pair of features
// (one attribute name per pair). Repeated range rules on one feature are recorded as their
// intersection, which is what the events passed. A filter in the "show excluded events"
// mode keeps the events outside the limits, so it records nothing at all.
#pragma once

#include "core/EventFilter.h"

#include <functional>
#include <string>
#include <vector>

namespace Tervane3 {

struct OfflineFilterAttribute
{
    std::string name;
    bool isPoints = false;
    std::string text;                   // text attributes ("%f" numbers, scale names)
    std::vector<PolygonVertex> points;  // polygon points, written as float32 N x 2
};

struct OfflineFilterRecord
{
    std::vector<OfflineFilterAttribute> attributes; // in rule order
    std::vector<std::string> warnings;              // one line per rule left out
};

// `usable` tells whether a feature has a column of the dataset's full length (the filter
// ignores rules on other features). A switched-off filter gives an empty record.
OfflineFilterRecord buildOfflineFilterRecord(const EventFilter& filter,
                                             const std::function<bool(const std::string&)>& usable);

// "linear", "log" or "pseudolog" for modes 0, 1, 2 (below 0: linear, above 2: pseudolog).
std::string scaleModeName(int mode);

} // namespace Tervane3
