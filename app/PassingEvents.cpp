// The events of a dataset that pass a filter.
#include "app/PassingEvents.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "core/RTDCReader.h"

#include <numeric>

namespace Tervane3 {

std::vector<int> passingEventIndices(const EventFilter& filter, const RTDCReader& reader, size_t eventCount)
{
    if (!filter.isEnabled() || filter.ruleCount() == 0) {
        std::vector<int> all(eventCount);
        std::iota(all.begin(), all.end(), 0);
        return all;
    }
    FeatureColumnMap columns;
    for (const std::string& name : filter.usedFeatureNames()) {
        if (reader.hasFeature(name))
            columns[name] = &reader.getFeature(name);
    }
    return filter.apply(columns, eventCount);
}

std::vector<int> passingEventIndices(const EventFilter& filter, const RTDCReader& reader)
{
    return passingEventIndices(filter, reader, static_cast<size_t>(reader.eventCount()));
}

std::vector<int> DatasetHost::passingEvents(const DatasetEntry* dataset) const
{
    if (!dataset || !dataset->reader)
        return {};
    return passingEventIndices(buildEffectiveFilter(dataset), *dataset->reader);
}

} // namespace Tervane3
