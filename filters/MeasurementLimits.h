// The acquisition limits a measurement records in its "online_filter" metadata, turned into
// filter rules of the dataset: a range rule for every feature whose "<feature> soft limit"
// is "1" and that has "<feature> min" and "<feature> max", a polygon rule for every
// "<x>,<y> soft limit" of "1" with a stored polygon filter on x and y.
#pragma once

namespace Tervane3 {

struct DatasetEntry;

// Appends the rules to the dataset's own filter, in ascending key order, and switches its
// filtering on when it added any. A bound that does not start with a number, overflows or is
// NaN skips its feature (an infinite bound is kept); a stored polygon with a non-finite
// point is passed over. Returns the number of rules added. Running it again adds them again.
int importMeasurementSoftLimits(DatasetEntry& dataset);

} // namespace Tervane3
