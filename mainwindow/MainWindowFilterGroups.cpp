// Filter groups and the effective filter of a dataset, the filter panel's group handlers,
// and the one coalesced plot update that every filter edit goes through. The group model
// lives in FilterGroupList; the members here add what the window does around it (plot
// update, group boxes, matrix windows). GUI thread only.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "filters/PolygonGateId.h"
#include "plots/ScatterPlot.h"

#include <QTimer>

namespace Tervane3 {

namespace {

// A bound typed into a spin box waits this long for the next keystroke before the plot
// follows.
constexpr int kBoundEditDelayMs = 250;

} // namespace

EventFilter MainWindow::buildEffectiveFilter(const DatasetEntry* dataset) const
{
    return effectiveFilter(dataset, groupModel);
}

// ---- the coalesced filter update ---------------------------------------------------------

void MainWindow::scheduleFilterPlotUpdate(bool boundEdit, bool groupRuleEdit)
{
    if (!filterPlotTimer) {
        filterPlotTimer = new QTimer(this);
        filterPlotTimer->setSingleShot(true);
        connect(filterPlotTimer, &QTimer::timeout, this, &MainWindow::runFilterPlotUpdate);
    }
    // Only a batch of group-rule edits alone may leave the group boxes in place.
    pendingUpdateKeepsGroupPanel =
        groupRuleEdit && (filterPlotTimer->isActive() ? pendingUpdateKeepsGroupPanel : true);
    filterPlotTimer->start(boundEdit ? kBoundEditDelayMs : 0);
}

void MainWindow::runFilterPlotUpdate()
{
    if (filterPlotTimer)
        filterPlotTimer->stop();
    suppressGroupPanelRefresh = pendingUpdateKeepsGroupPanel;
    pendingUpdateKeepsGroupPanel = false;
    const unsigned refreshesBefore = groupPanelRefreshCount;
    updatePlot();
    // An update that drew nothing (the active dataset is still being cached, or has no events)
    // did not reach the panel: its highlights and group boxes follow the changed filters anyway.
    if (!suppressGroupPanelRefresh && groupPanelRefreshCount == refreshesBefore) {
        updateFilterMixedState();
        refreshFilterGroupPanel();
    }
    suppressGroupPanelRefresh = false;
}

// ---- the group model ---------------------------------------------------------------------

int MainWindow::addFilterGroup(const std::string& name)
{
    return groupModel.add(name, entries);
}

void MainWindow::removeFilterGroup(int id)
{
    endEditOfGroupGate(id);
    if (groupModel.remove(id, entries))
        scheduleFilterPlotUpdate(false);
}

void MainWindow::renameFilterGroup(int id, const std::string& name)
{
    groupModel.rename(id, name);
}

void MainWindow::addRuleToGroup(int groupId, const FilterRule& rule)
{
    if (groupModel.addRule(groupId, rule))
        scheduleFilterPlotUpdate(false);
}

void MainWindow::updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule)
{
    if (groupModel.updateRule(groupId, ruleIndex, rule))
        scheduleFilterPlotUpdate(filterPanel->lastChangeWasBoundEdit(), true);
}

void MainWindow::removeRuleFromGroup(int groupId, int ruleIndex)
{
    FilterGroup* group = findFilterGroupById(groupId);
    if (group && ruleIndex >= 0 && ruleIndex < static_cast<int>(group->rules.size()))
        endEditOfGroupGate(groupId);
    if (groupModel.removeRule(groupId, ruleIndex))
        scheduleFilterPlotUpdate(false);
}

bool MainWindow::isGroupEnabled(const DatasetEntry* dataset, int groupId) const
{
    return Tervane3::isGroupEnabled(dataset, groupId);
}

void MainWindow::setGroupEnabled(int datasetId, int groupId, bool enabled)
{
    DatasetEntry* dataset = findDatasetById(datasetId);
    if (!dataset)
        return;
    dataset->groupEnabled[groupId] = enabled;
    scheduleFilterPlotUpdate(false);
}

void MainWindow::setGroupEnabledInAll(int groupId, bool enabled)
{
    for (const auto& dataset : entries)
        dataset->groupEnabled[groupId] = enabled;
    scheduleFilterPlotUpdate(false);
}

void MainWindow::refreshFilterGroupPanel()
{
    ++groupPanelRefreshCount;
    const DatasetEntry* active = activeEntry();
    filterPanel->setFilterGroups(groupModel.view(), active ? active->reader : nullptr);
    if (active) {
        for (const auto& group : groupModel.groups())
            filterPanel->setGroupAllState(group->id, groupSwitchMixed(entries, active, group->id));
        int groupId = -1;
        int ruleIndex = -1;
        if (scatterPlot->isEditingPolygon() && decodeGroupGateId(scatterPlot->editingPolygonId(), groupId, ruleIndex))
            filterPanel->setGroupPolygonEditChecked(groupId, ruleIndex, true);
    }
    for (FilterGroupsMatrixWindow* window : std::vector<FilterGroupsMatrixWindow*>(matrixWindows))
        window->refresh();
}

// ---- handlers of the filter panel --------------------------------------------------------

void MainWindow::onFilterChanged()
{
    checkEditedGateStillInPlace();
    scheduleFilterPlotUpdate(filterPanel->lastChangeWasBoundEdit());
}

void MainWindow::onAddFilterGroupRequested()
{
    addFilterGroup();
    refreshFilterGroupPanel();
}

void MainWindow::onRenameFilterGroupRequested(int groupId, const QString& name)
{
    renameFilterGroup(groupId, name.toStdString());
    refreshFilterGroupPanel();
}

void MainWindow::onDeleteFilterGroupRequested(int groupId)
{
    removeFilterGroup(groupId);
    refreshFilterGroupPanel();
}

void MainWindow::onGroupEnableChanged(int groupId, bool enabled)
{
    DatasetEntry* active = activeEntry();
    if (!active)
        return;
    active->groupEnabled[groupId] = enabled;
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onGroupEnablePropagateRequested(int groupId, bool enabled)
{
    setGroupEnabledInAll(groupId, enabled);
    refreshFilterGroupPanel();
}

void MainWindow::onAddRuleToGroupRequested(int groupId)
{
    const DatasetEntry* active = activeEntry();
    addRuleToGroup(groupId, defaultGroupRule(active ? active->reader.get() : nullptr));
    refreshFilterGroupPanel();
}

void MainWindow::onGroupRuleChanged(int groupId, int ruleIndex, const FilterRule& rule)
{
    updateRuleInGroup(groupId, ruleIndex, rule);
}

void MainWindow::onGroupRuleRemoved(int groupId, int ruleIndex)
{
    removeRuleFromGroup(groupId, ruleIndex);
    refreshFilterGroupPanel();
}

} // namespace Tervane3
