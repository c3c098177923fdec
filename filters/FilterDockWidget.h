// The panel of the "Filters" dock: the active dataset's own filter rules and the filter
// groups. Every action that reaches beyond the active dataset leaves the panel as a signal
// for the main window.
//
// First version: the disabled panel with the signals and the calls the main window uses;
// rule rows, group boxes and the editing come with the filter work.
#pragma once

#include "core/FilterRule.h"

#include <QWidget>

class QGroupBox;
class QLabel;

namespace Tervane3 {

struct DatasetEntry;

class FilterDockWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FilterDockWidget(QWidget* parent = nullptr);

    // The dataset whose own filter the panel edits; null for none.
    void setDataset(DatasetEntry* dataset);
    void setDatasetCount(int count);
    void refreshFeatureLists();
    // Whether the last change the panel reported was a bound typed into a spin box.
    bool lastChangeWasBoundEdit() const { return boundEdit; }

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

private:
    DatasetEntry* dataset = nullptr;
    int datasetCount = 0;
    bool boundEdit = false;
    QGroupBox* datasetFilterBox = nullptr;
    QLabel* statusLabel = nullptr;
};

} // namespace Tervane3
