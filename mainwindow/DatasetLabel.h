// The label of a dataset in the dataset list and the folder tree: rich text (HTML) with the
// bold display name and a summary of the measurement in parentheses.
#pragma once

#include <QString>

namespace Tervane3 {

struct DatasetEntry;

// "<b>name</b> (flow rate µL/s, Reservoir, #run index, N events)": the flow rate only when
// the setup's "flow rate" is a number, "Reservoir" only for that chip region, the run index
// whenever the experiment has the key; the event count always (0 without a reader). Every
// text taken from the file is HTML-escaped. Empty for a null entry.
QString datasetLabel(const DatasetEntry* entry);

} // namespace Tervane3
