// What the export dialogs share: the feature checklist (the active dataset's scalar features
// first, then those only other open datasets have, each part in ascending order; boxes show
// the active dataset's labels and grey out what it lacks, hidden until all datasets are
// exported), the "Export Scope" radios and the Export/Cancel buttons.
#pragma once

#include <QGroupBox>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QDialog;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace Tervane3 {

struct DatasetEntry;

extern const char* const kOnlyInOtherDatasetsTip;

// Text in grey (RGB 160, 160, 160) with the tooltip, or back to the default palette and no
// tooltip.
void setUnavailableLook(QWidget* widget, bool unavailable, const QString& toolTip = QString());

// The "Scalar Features" group: "Select All" and "Deselect All" buttons (objects
// "selectAllButton", "deselectAllButton") over a scroll area of one box per key (objects
// "feature_<key>", text "<label>  [<key>]"). Keys of the active dataset start checked; the
// others unchecked, grey and hidden.
class FeatureChecklist : public QGroupBox
{
public:
    FeatureChecklist(const DatasetEntry* active, const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                     int maximumListHeight, QWidget* parent);

    const std::vector<QCheckBox*>& boxes() const { return featureBoxes; }
    QPushButton* selectAllButton() const { return selectButton; }
    QPushButton* deselectAllButton() const { return deselectButton; }

    // Checked keys in list order, hidden and disabled boxes included.
    std::vector<std::string> checkedKeys() const;
    // Checks exactly the listed keys that are on the list; others are ignored.
    void setCheckedKeys(const std::vector<std::string>& keys);
    // Shows or hides the boxes of keys the active dataset lacks.
    void setOthersShown(bool shown);
    // "Select All" checks the boxes that are shown; "Deselect All" unchecks every box.
    void selectShown();
    void deselectAll();

private:
    std::vector<QCheckBox*> featureBoxes;
    std::vector<std::string> featureKeys;
    std::set<std::string> current;
    QPushButton* selectButton = nullptr;
    QPushButton* deselectButton = nullptr;
};

// The "Export Scope" group with "Current dataset only" (checked) and "All datasets (<count>)"
// (enabled from two datasets on), added to the layout; returns both radios.
std::pair<QRadioButton*, QRadioButton*> addScopeGroup(QDialog* dialog, QVBoxLayout* layout, size_t datasetCount);

// Cancel and the default "Export" button (object "exportButton") in the accept role.
void addExportButtons(QDialog* dialog, QVBoxLayout* layout);

} // namespace Tervane3
