// The panel of the "Filters" dock: the active dataset's own filter (switch, combine mode,
// one row per rule) and one box per filter group. The panel owns no model data: it rewrites
// the dataset's rule list from its rows after every edit, and every action that reaches
// beyond the active dataset (propagation, groups, polygons, imports, exports) leaves it as a
// signal for the main window, which changes the model and rebuilds the rows or boxes.
// Rows, separators and boxes are taken out of their layouts and deleted later, since they
// are removed from inside their own signals. GUI thread only.
#pragma once

#include "core/FilterRule.h"

#include <QWidget>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace Tervane3 {

struct DatasetEntry;
struct FilterGroup;
class FilterGroupWidget;
class RTDCReader;
class RuleRowWidget;

class FilterDockWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FilterDockWidget(QWidget* parent = nullptr);

    // The dataset whose own filter the panel edits (null: none, the panel is disabled);
    // rebuilds every rule row. Called whenever the active dataset changes or its rules were
    // changed behind the panel's back.
    void setDataset(DatasetEntry* dataset);
    // No dataset, and the panel as a new window shows it: no rows, the box disabled with
    // "Filtering Enabled" checked, "No filter active", the all-datasets buttons without
    // text (they are named at the next dataset's first plot update), "+ Polygon" released.
    // For a window whose last dataset closed.
    void resetToEmpty();
    // The number of open datasets (the all-datasets buttons need more than one). Updates the
    // rule rows; the group boxes and the two panel buttons follow at their next update.
    void setDatasetCount(int count);
    // One row per rule of the dataset's filter.
    void rebuildRuleWidgets();
    // The active dataset's features changed: every range row and group box gets the list.
    void refreshFeatureLists();
    // Recreates the group boxes, in this order, for the active dataset's reader (null: the
    // boxes show no rows). The reader is shared, so a box never outlives it.
    void setFilterGroups(const std::vector<const FilterGroup*>& groups, std::shared_ptr<RTDCReader> reader);
    // Takes row i and its separator out and rewrites the dataset's rules; invalid i: nothing.
    void removeRuleAt(int index);
    // Sets row i's enable box without a signal from the box, then rewrites the rules.
    void setRuleEnabled(int index, bool enabled);
    void setRuleAllFlags(int index, bool contentDiffers, bool enabledDiffers);
    void setRulePropagationId(int index, const std::string& id);
    // Text, enabled state and highlight of "Enable/Disable in All Datasets".
    void updateEnableAllButton(bool othersDiffer);
    // The same for "Show/Hide Excluded in All Datasets".
    void updateShowExcludedAllButton(bool othersDiffer);
    void setGroupAllState(int groupId, bool mixed);
    void setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on);
    // "+ Polygon" pressed or released without asking for drawing.
    void setPolygonDrawChecked(bool on);
    void setPolygonEditChecked(int index, bool on);
    // The status line: how many events the plot shows of how many.
    void updateEventCount(std::size_t shown, std::size_t total);
    // Writes every row's rule back into the dataset's filter, in row order.
    void syncFilterFromWidgets();

    // Whether the last change the panel reported (a rule row or a group's rule row) was a
    // bound typed into a spin box.
    bool lastChangeWasBoundEdit() const { return boundEdit; }
    DatasetEntry* currentDataset() const { return dataset; }
    const std::vector<RuleRowWidget*>& rows() const { return ruleWidgets; }
    const std::vector<FilterGroupWidget*>& groupBoxes() const { return groupWidgets; }
    int separatorCount() const { return static_cast<int>(separators.size()); }

signals:
    void filterChanged();
    void applyToAllRequested();
    void applyRuleToAll(int ruleIndex);
    void updateRuleToAll(int ruleIndex);
    void uncheckRuleInAll(int ruleIndex);
    void checkRuleInAll(int ruleIndex);
    void deleteRuleFromAll(int ruleIndex);
    void enabledChangedForAll(bool enabled);
    void combineModeChangedForAll(int mode);
    void polygonDrawRequested();
    void polygonDrawCancelRequested();
    void polygonEditRequested(int ruleIndex, bool on);
    void importMeasurementFiltersRequested(bool allDatasets);
    void addFilterGroupRequested();
    void renameFilterGroupRequested(int groupId, const QString& name);
    void deleteFilterGroupRequested(int groupId);
    void groupEnableChanged(int groupId, bool enabled);
    void groupEnablePropagateRequested(int groupId, bool enabled);
    void addRuleToGroupRequested(int groupId);
    void addPolygonToGroupRequested(int groupId);
    void groupRuleChanged(int groupId, int ruleIndex, const Tervane3::FilterRule& rule);
    void groupRuleRemoved(int groupId, int ruleIndex);
    void groupPolygonEditRequested(int groupId, int ruleIndex, bool on);
    void importGroupsRequested();
    void exportGroupsRequested();

public slots:
    void onAddRule();
    void onRuleChanged();
    void onCombineModeChanged();
    void onDatasetFilterToggled(bool enabled);

private:
    // The reader's scalar features in sorted order; empty without a dataset or reader.
    std::vector<std::string> selectableFeatureNames() const;
    void appendRow(RuleRowWidget* row);
    void connectRuleRow(RuleRowWidget* row);
    // Takes the row at index out with its separator (the one below the first row, else the
    // one above); the row is deleted later.
    void takeRow(QWidget* row, int index);
    int rowIndex(const QObject* row) const;
    void updateAllButton(QPushButton* button, bool checked, const QString& onText, const QString& offText,
                         bool othersDiffer);
    // The two all-datasets buttons beside their switches, or each below its switch when the
    // box is too narrow for a switch and its button side by side.
    void arrangeSwitches(bool beside);
    void fitSwitches();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:

    QGridLayout* switchGrid = nullptr;
    bool buttonsBesideSwitches = true;
    QCheckBox* enabledCheck = nullptr;
    QPushButton* enableAllButton = nullptr;
    QCheckBox* showExcludedCheck = nullptr;
    QPushButton* showExcludedAllButton = nullptr;
    QPushButton* addRuleButton = nullptr;
    QPushButton* addPolygonButton = nullptr;
    QPushButton* addGroupButton = nullptr;
    QVBoxLayout* rulesLayout = nullptr;
    QScrollArea* scrollArea = nullptr;
    QLabel* statusLabel = nullptr;
    QGroupBox* datasetFilterBox = nullptr;
    QVBoxLayout* groupsLayout = nullptr;
    std::vector<FilterGroupWidget*> groupWidgets;
    std::vector<RuleRowWidget*> ruleWidgets;
    std::vector<QWidget*> separators;
    DatasetEntry* dataset = nullptr;
    int datasetCount = 0;
    bool boundEdit = false;
};

} // namespace Tervane3
