// The chooser of "Export Filter Groups": one checkable entry per group (all checked at
// first), "Select All", "Select None", and OK only while at least one group is checked.
#pragma once

#include <QDialog>

#include <memory>
#include <vector>

class QListWidget;
class QPushButton;

namespace Tervane3 {

struct FilterGroup;

class FilterGroupExportDialog : public QDialog
{
    Q_OBJECT

public:
    FilterGroupExportDialog(const std::vector<const FilterGroup*>& groups, QWidget* parent = nullptr);

    // The ids of the checked groups, in list order.
    std::vector<int> checkedGroupIds() const;

private:
    void setAllChecked(bool checked);
    void updateOkButton();

    QListWidget* list = nullptr;
    QPushButton* okButton = nullptr;
};

} // namespace Tervane3
