// The fixed catalogue of feature labels and units, and the rule that renders a feature key
// as the text the user sees ("Area [µm²]", "FL-2 maximum, crosstalk-corrected [a.u.]").
// The tables are built once on first use and never change, so every thread may read them
// without a lock.
#pragma once

#include <map>
#include <string>

namespace Tervane3 {

// One row of a label table: both texts are UTF-8; the unit may be empty.
struct FeatureInfo
{
    std::string label;
    std::string unit;
};

using FeatureTable = std::map<std::string, FeatureInfo>;

// Every catalogued feature key -> label and unit.
const FeatureTable& featureCatalogue();

// Rows that take the place of catalogue rows for measurements of the instrument whose
// metadata sets the reader's instrument flag.
const FeatureTable& instrumentFeatureLabels();

// Suffixes (starting with "_") of fluorescence keys "fl<N><suffix>" -> label part and unit.
const FeatureTable& fluorescenceFeatureSuffixes();

// Accepts keys "fl" + decimal digits + a suffix of fluorescenceFeatureSuffixes(); fills
// label ("FL-" + digits as written + " " + label part) and unit and returns true. Otherwise
// returns false and leaves both untouched.
bool parseFluorescenceFeatureLabel(const std::string& key, std::string& label, std::string& unit);

// The display text of a key: label, or "label [unit]" when the unit is not empty; the key
// itself when no table and no fluorescence rule knows it. instrumentData selects the
// instrument rows first. RTDCReader::featureLabel calls this with the reader's flag;
// views that label a key without a reader call it directly.
std::string formatFeatureLabel(const std::string& key, bool instrumentData = false);

} // namespace Tervane3
