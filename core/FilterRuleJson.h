// The JSON form of one filter rule, shared by session files and filter-group files, and the
// number form both use: a finite double as a JSON number, an infinite or NaN one as the
// text "inf", "-inf" or "nan" (a JSON number cannot hold them, and Qt would write null,
// which reads back as 0).
#pragma once

#include "core/FilterRule.h"

#include <QJsonObject>
#include <QJsonValue>

namespace Tervane3 {

// Keys "type" ("Polygon" for any non-zero type, else "Range"), "featureName",
// "featureNameY", "minValue", "maxValue", "enabled", "inverted", "propagationId",
// "polygonVertices" (one [x, y] array per vertex, also written empty for range rules),
// "scaleXMode" and "scaleYMode".
QJsonObject filterRuleToJson(const FilterRule& rule);

// Reads every key with a default when it is missing or of another type: type 1 only for
// exactly "Polygon"; empty names and id; bounds 0; enabled true; inverted false; scale
// modes 0 and clamped to 0..2; vertices from the elements that are arrays of at least two
// entries (a coordinate that is not a number reads as 0), other elements skipped.
FilterRule filterRuleFromJson(const QJsonObject& object);

// A double as written above.
QJsonValue numberToJson(double value);
// A JSON number, or one of the texts "inf", "-inf", "nan"; anything else gives fallback.
double numberFromJson(const QJsonValue& value, double fallback);

} // namespace Tervane3
