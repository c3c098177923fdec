// The feature list of the export dialogs: the active dataset's scalar features first, then
// those only other open datasets have, each part in ascending order, as check boxes that
// show the active dataset's labels and grey out the features it lacks.
#pragma once

#include <QString>

#include <memory>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QWidget;

namespace Tervane3 {

struct DatasetEntry;

struct FeatureChoices
{
    std::vector<std::string> keys; // the list shown, in order
    std::set<std::string> current; // the active dataset's scalar features
};

// Datasets without a reader contribute nothing.
FeatureChoices listFeatureChoices(const DatasetEntry* active,
                                  const std::vector<std::unique_ptr<DatasetEntry>>& datasets);

// "<label>  [<key>]" with the active dataset's label; a key the active dataset lacks starts
// unchecked, hidden and grey with a tooltip saying where it is. Parented to `parent`.
QCheckBox* makeFeatureCheckBox(const DatasetEntry* active, const std::string& key, bool current,
                               QWidget* parent);

// Text in grey (RGB 160, 160, 160) with the tooltip, or back to the default palette and no
// tooltip.
void setUnavailableLook(QWidget* widget, bool unavailable, const QString& toolTip = QString());

extern const char* const kOnlyInOtherDatasetsTip;

} // namespace Tervane3
