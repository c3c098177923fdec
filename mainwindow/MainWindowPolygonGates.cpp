// Polygon gates drawn and reshaped on the main plot: where a finished polygon goes (the
// active dataset's own filter or the filter group chosen before drawing), starting and
// stopping the edit of a gate, writing edited vertices back, and ending both whenever the
// gate could change its place, so that no edit ever lands in another rule. GUI thread only.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "filters/FilterDockWidget.h"
#include "filters/PolygonGateId.h"
#include "plots/ScatterPlot.h"

#include <QComboBox>

namespace Tervane3 {

namespace {

std::string comboFeature(const QComboBox* combo)
{
    return combo->currentData(Qt::UserRole).toString().toStdString();
}

std::vector<PolygonVertex> verticesOf(const QPolygonF& polygon)
{
    std::vector<PolygonVertex> vertices;
    vertices.reserve(static_cast<size_t>(polygon.size()));
    for (const QPointF& point : polygon)
        vertices.emplace_back(point.x(), point.y());
    return vertices;
}

QPolygonF polygonOf(const std::vector<PolygonVertex>& vertices)
{
    QPolygonF polygon;
    for (const PolygonVertex& vertex : vertices)
        polygon << QPointF(vertex.first, vertex.second);
    return polygon;
}

} // namespace

void MainWindow::endPolygonInteraction()
{
    scatterPlot->stopPolygonDrawing();
    scatterPlot->stopPolygonEditing();
}

void MainWindow::checkEditedGateStillInPlace()
{
    const DatasetEntry* active = activeEntry();
    if (!scatterPlot->isEditingPolygon() || editGateId < 0 || editGateId >= kGroupGateIdBase || !active)
        return;
    if (active->filter.ruleCount() < editRuleCount)
        scatterPlot->stopPolygonEditing();
    else
        editRuleCount = active->filter.ruleCount();
}

void MainWindow::endEditOfGroupGate(int groupId)
{
    int editedGroup = -1;
    int ruleIndex = -1;
    if (scatterPlot->isEditingPolygon() && decodeGroupGateId(editGateId, editedGroup, ruleIndex) &&
        editedGroup == groupId)
        scatterPlot->stopPolygonEditing();
}

void MainWindow::onAddPolygonToGroupRequested(int groupId)
{
    polygonTargetGroupId = groupId;
    // Pressed silently: the panel must not ask for drawing a second time.
    filterPanel->setPolygonDrawChecked(true);
    scatterPlot->startPolygonDrawing();
}

void MainWindow::onPolygonCompleted(const QPolygonF& polygon)
{
    DatasetEntry* active = activeEntry();
    if (!active)
        return;
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = comboFeature(xFeatureCombo);
    gate.featureNameY = comboFeature(yFeatureCombo);
    gate.polygonVertices = verticesOf(polygon);
    // The filter tests the gate on coordinates transformed like the axes it was drawn on.
    gate.scaleXMode = xScaleCombo->currentIndex();
    gate.scaleYMode = yScaleCombo->currentIndex();
    if (polygonTargetGroupId < 0) {
        active->filter.addRule(gate);
        filterPanel->setDataset(active);
        scheduleFilterPlotUpdate(false);
        return;
    }
    addRuleToGroup(polygonTargetGroupId, gate);
    polygonTargetGroupId = -1;
    refreshFilterGroupPanel();
}

void MainWindow::onPolygonDrawingStopped()
{
    filterPanel->setPolygonDrawChecked(false);
    polygonTargetGroupId = -1;
}

void MainWindow::onPolygonEditRequested(int ruleIndex, bool on)
{
    DatasetEntry* active = activeEntry();
    if (!active || ruleIndex < 0 || ruleIndex >= active->filter.ruleCount())
        return;
    const FilterRule& rule = active->filter.rules[static_cast<size_t>(ruleIndex)];
    if (rule.type != PolygonRule)
        return;
    if (!on) {
        scatterPlot->stopPolygonEditing();
        return;
    }
    if (rule.featureName != comboFeature(xFeatureCombo) || rule.featureNameY != comboFeature(yFeatureCombo)) {
        filterPanel->setPolygonEditChecked(ruleIndex, false);
        return;
    }
    scatterPlot->startPolygonEditing(ruleIndex, polygonOf(rule.polygonVertices));
    // Recorded after the start: ending a previous edit clears the record of that one.
    editDatasetId = active->id;
    editGateId = ruleIndex;
    editRuleCount = active->filter.ruleCount();
}

void MainWindow::onGroupPolygonEditRequested(int groupId, int ruleIndex, bool on)
{
    if (!on) {
        scatterPlot->stopPolygonEditing();
        return;
    }
    const FilterGroup* group = findFilterGroupById(groupId);
    const DatasetEntry* active = activeEntry();
    if (!group || !active || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return;
    const FilterRule& rule = group->rules[static_cast<size_t>(ruleIndex)];
    if (rule.type != PolygonRule)
        return;
    if (rule.featureName != comboFeature(xFeatureCombo) || rule.featureNameY != comboFeature(yFeatureCombo)) {
        // As for a dataset gate: the toggle goes back up at once.
        filterPanel->setGroupPolygonEditChecked(groupId, ruleIndex, false);
        return;
    }
    const int id = groupGateId(groupId, ruleIndex);
    scatterPlot->startPolygonEditing(id, polygonOf(rule.polygonVertices));
    editDatasetId = active->id;
    editGateId = id;
    editRuleCount = 0;
}

void MainWindow::onPolygonEdited(int id, const QPolygonF& polygon)
{
    DatasetEntry* active = activeEntry();
    // Only the edit in progress may write: a late signal of an ended edit is dropped.
    if (!active || id != editGateId || active->id != editDatasetId)
        return;
    int groupId = -1;
    int ruleIndex = -1;
    if (!decodeGroupGateId(id, groupId, ruleIndex)) {
        if (id < 0 || id >= active->filter.ruleCount())
            return;
        FilterRule& rule = active->filter.rules[static_cast<size_t>(id)];
        if (rule.type != PolygonRule)
            return;
        rule.polygonVertices = verticesOf(polygon);
        // The row keeps its own copy of the gate: rebuilt, it holds the new vertices before
        // any later rewrite of the rules from the rows.
        filterPanel->setDataset(active);
        filterPanel->setPolygonEditChecked(id, true);
        scheduleFilterPlotUpdate(false);
        return;
    }
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()) ||
        group->rules[static_cast<size_t>(ruleIndex)].type != PolygonRule)
        return;
    group->rules[static_cast<size_t>(ruleIndex)].polygonVertices = verticesOf(polygon);
    scheduleFilterPlotUpdate(false);
}

void MainWindow::onPolygonEditingStopped(int id)
{
    if (id == editGateId) {
        editDatasetId = -1;
        editGateId = -1;
        editRuleCount = 0;
    }
    if (id >= 0 && id < kGroupGateIdBase)
        filterPanel->setPolygonEditChecked(id, false);
    refreshFilterGroupPanel();
    drawPolygonGates();
    scatterPlot->replot();
}

} // namespace Tervane3
