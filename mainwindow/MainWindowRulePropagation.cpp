// The filter panel's actions that reach beyond the active dataset: rules copied, updated,
// switched and deleted in every dataset by their propagation id, the whole filter applied to
// all, the highlights of the all-datasets buttons after every plot update, and rules made
// from a measurement's acquisition limits. Each action redraws once, through the coalesced
// filter update. GUI thread only.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "app/Prompts.h"
#include "filters/FilterDockWidget.h"
#include "filters/MeasurementLimits.h"
#include "filters/PolygonGateId.h"
#include "filters/RulePropagation.h"
#include "plots/ScatterPlot.h"

namespace Tervane3 {

void MainWindow::onApplyFilterToAll()
{
    const DatasetEntry* active = activeEntry();
    if (!active)
        return;
    if (scatterPlot->isEditingPolygon() && editGateId >= 0 && editGateId < kGroupGateIdBase)
        scatterPlot->stopPolygonEditing();
    applyFilterToAll(entries, *active);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onApplyRuleToAll(int ruleIndex)
{
    DatasetEntry* active = activeEntry();
    if (!active)
        return;
    const std::string id = applyRuleToAll(entries, *active, ruleIndex);
    if (id.empty())
        return;
    filterPanel->setRulePropagationId(ruleIndex, id);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onUpdateRuleToAll(int ruleIndex)
{
    const DatasetEntry* active = activeEntry();
    if (active && updateRuleInAll(entries, *active, ruleIndex))
        scheduleFilterPlotUpdate(false);
}

void MainWindow::setRuleEnabledInAll(int ruleIndex, bool enabled)
{
    const DatasetEntry* active = activeEntry();
    if (!active || !setRuleEnabledInOthers(entries, *active, ruleIndex, enabled))
        return;
    // The active row and rule follow; the panel reports the change.
    filterPanel->setRuleEnabled(ruleIndex, enabled);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onCheckRuleInAll(int ruleIndex)
{
    setRuleEnabledInAll(ruleIndex, true);
}

void MainWindow::onUncheckRuleInAll(int ruleIndex)
{
    setRuleEnabledInAll(ruleIndex, false);
}

void MainWindow::onDeleteRuleFromAll(int ruleIndex)
{
    const DatasetEntry* active = activeEntry();
    if (!active || !deleteRuleFromOthers(entries, *active, ruleIndex))
        return;
    // Removes the row and the active dataset's rule; the panel reports the change.
    filterPanel->removeRuleAt(ruleIndex);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onEnabledChangedForAll(bool enabled)
{
    setFilteringEnabledInOthers(entries, activeEntry(), enabled);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onCombineModeChangedForAll(int mode)
{
    setCombineModeInOthers(entries, activeEntry(), mode);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::updateFilterMixedState()
{
    const FilterMixedState state = filterMixedState(entries, activeEntry());
    filterPanel->updateEnableAllButton(state.enabledDiffers);
    filterPanel->updateShowExcludedAllButton(state.combineModeDiffers);
    for (size_t i = 0; i < state.rules.size(); ++i)
        filterPanel->setRuleAllFlags(static_cast<int>(i), state.rules[i].first, state.rules[i].second);
}

void MainWindow::onImportMeasurementFilters(bool toAll)
{
    DatasetEntry* active = activeEntry();
    int added = 0;
    if (toAll) {
        for (const auto& dataset : entries)
            added += importMeasurementSoftLimits(*dataset);
    } else if (active) {
        added = importMeasurementSoftLimits(*active);
    } else {
        return;
    }
    if (added == 0) {
        prompts().information(this, QStringLiteral("Import Measurement Filters"),
                              QStringLiteral("No features with soft limit enabled found."));
        return;
    }
    filterPanel->setDataset(active);
    // The appended rules leave a gate under edit at its index: they are counted, so that only
    // a later removal ends the edit, and the gate's rebuilt row shows Edit pressed again.
    if (active && scatterPlot->isEditingPolygon() && editDatasetId == active->id && editGateId >= 0 &&
        editGateId < kGroupGateIdBase) {
        editRuleCount = active->filter.ruleCount();
        filterPanel->setPolygonEditChecked(editGateId, true);
    }
    scheduleFilterPlotUpdate(false);
}

} // namespace Tervane3
