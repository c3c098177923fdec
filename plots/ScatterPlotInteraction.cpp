// Mouse and keyboard side of the main scatter plot: zoom, pan, picking, polygon drawing and
// editing. First version: the mode changes and their signals; the canvas events are passed
// on unhandled until the interaction is built.
#include "plots/ScatterPlot.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_shapeitem.h>

namespace Tervane3 {

void ScatterPlot::startPolygonDrawing()
{
    if (editingPolygon)
        stopPolygonEditing();
    drawingPolygon = true;
    drawVertices.clear();
    updateDrawingCurve();
    drawingCurve->show();
    hoverIndex = -1;
    replot();
}

void ScatterPlot::stopPolygonDrawing()
{
    if (!drawingPolygon)
        return;
    drawingPolygon = false;
    drawVertices.clear();
    updateDrawingCurve();
    drawingCurve->hide();
    hoverIndex = -1;
    replot();
    emit polygonDrawingStopped();
}

void ScatterPlot::startPolygonEditing(PolygonRuleId id, const QPolygonF& polygon)
{
    if (editingPolygon && editingId != id)
        emit polygonEditingStopped(editingId);
    if (drawingPolygon)
        stopPolygonDrawing();
    if (editingPolygon && editingId != id) {
        const auto old = polygonOverlays.find(editingId);
        if (old != polygonOverlays.end())
            old->second->show();
    }
    editingPolygon = true;
    editingId = id;
    editVertices = polygon;
    dragVertex = -1;
    const auto overlay = polygonOverlays.find(id);
    if (overlay != polygonOverlays.end())
        overlay->second->hide();
    editCurve->show();
    updateEditCurve();
}

void ScatterPlot::stopPolygonEditing()
{
    if (!editingPolygon)
        return;
    const PolygonRuleId oldId = editingId;
    editingPolygon = false;
    editingId = -1;
    editVertices.clear();
    dragVertex = -1;
    updateEditCurve();
    editCurve->hide();
    const auto overlay = polygonOverlays.find(oldId);
    if (overlay != polygonOverlays.end())
        overlay->second->show();
    hoverIndex = -1;
    replot();
    emit polygonEditingStopped(oldId);
}

bool ScatterPlot::eventFilter(QObject* watched, QEvent* event)
{
    return QwtPlot::eventFilter(watched, event);
}

int ScatterPlot::findNearestPoint(const QPoint&) const
{
    return -1;
}

int ScatterPlot::findVertexAt(const QPoint&) const
{
    return -1;
}

int ScatterPlot::findEdgeAt(const QPoint&) const
{
    return -1;
}

void ScatterPlot::updateDrawingCurve()
{
    drawingCurve->setSamples(QVector<QPointF>(drawVertices.begin(), drawVertices.end()));
    replot();
}

void ScatterPlot::updateEditCurve()
{
    QVector<QPointF> ring(editVertices.begin(), editVertices.end());
    if (!ring.isEmpty())
        ring.append(ring.first());
    editCurve->setSamples(ring);
    replot();
}

} // namespace Tervane3
