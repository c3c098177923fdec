// Rules from a measurement's acquisition limits.
#include "filters/MeasurementLimits.h"

#include "app/DatasetEntry.h"
#include "core/Metadata.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

const std::string kSoftLimit = " soft limit";

bool finitePoints(const MetadataPolygonFilter& polygon)
{
    return std::all_of(polygon.points.begin(), polygon.points.end(), [](const auto& point) {
        return std::isfinite(point.first) && std::isfinite(point.second);
    });
}

} // namespace

int importMeasurementSoftLimits(DatasetEntry& dataset)
{
    const std::map<std::string, std::string>& limits = dataset.metadata.onlineFilter;
    int added = 0;
    for (const auto& [key, value] : limits) {
        if (key.size() <= kSoftLimit.size() ||
            key.compare(key.size() - kSoftLimit.size(), kSoftLimit.size(), kSoftLimit) != 0 || value != "1")
            continue;
        const std::string name = key.substr(0, key.size() - kSoftLimit.size());
        FilterRule rule;
        const size_t comma = name.find(',');
        if (comma != std::string::npos) {
            const std::string x = name.substr(0, comma);
            const std::string y = name.substr(comma + 1);
            const auto& polygons = dataset.metadata.polygonFilters;
            const auto found = std::find_if(polygons.begin(), polygons.end(), [&](const MetadataPolygonFilter& p) {
                return p.xFeature == x && p.yFeature == y && !p.points.empty() && finitePoints(p);
            });
            if (found == polygons.end())
                continue;
            rule.type = PolygonRule;
            rule.featureName = x;
            rule.featureNameY = y;
            rule.polygonVertices = found->points;
        } else {
            const auto lo = limits.find(name + " min");
            const auto hi = limits.find(name + " max");
            if (lo == limits.end() || hi == limits.end())
                continue;
            const std::optional<double> minValue = leadingDouble(lo->second);
            const std::optional<double> maxValue = leadingDouble(hi->second);
            if (!minValue || !maxValue || std::isnan(*minValue) || std::isnan(*maxValue))
                continue;
            rule.featureName = name;
            rule.minValue = *minValue;
            rule.maxValue = *maxValue;
        }
        dataset.filter.addRule(rule);
        ++added;
    }
    if (added > 0)
        dataset.filter.setEnabled(true);
    return added;
}

} // namespace Tervane3
