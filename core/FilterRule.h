// One filter rule of a dataset or filter group: a range rule on one feature or a polygon
// gate on two. A plain value, copied into datasets, filter groups, session files and
// signal arguments; the field names are also the keys of the rule's JSON object.
#pragma once

#include <QMetaType>

#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

enum FilterRuleType : int {
    RangeRule = 0,
    PolygonRule = 1,
};

// A polygon vertex (x, y) in data units of the two features.
using PolygonVertex = std::pair<double, double>;

struct FilterRule
{
    int type = RangeRule;            // FilterRuleType; any other value makes the rule inert
    std::string featureName;         // range: the feature tested; polygon: the x feature
    std::string featureNameY;        // polygon: the y feature
    double minValue = 0.0;           // range: inclusive lower bound
    double maxValue = 0.0;           // range: inclusive upper bound
    std::vector<PolygonVertex> polygonVertices; // drawing order, closed implicitly
    int scaleXMode = 0;              // AxisScaleMode of the x axis the gate was drawn on
    int scaleYMode = 0;              // AxisScaleMode of the y axis
    bool enabled = true;
    bool inverted = false;           // passes the events that do not match
    std::string propagationId;       // the same rule in every dataset; empty if not shared

    bool operator==(const FilterRule& other) const;
    bool operator!=(const FilterRule& other) const { return !(*this == other); }
};

} // namespace Tervane3

Q_DECLARE_METATYPE(Tervane3::FilterRule)
