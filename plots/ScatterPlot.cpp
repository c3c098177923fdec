// Frame of the main scatter plot.
#include "plots/ScatterPlot.h"

#include "core/PseudoLogScaleEngine.h"

#include <qwt_plot_grid.h>
#include <qwt_scale_engine.h>

#include <QPen>

namespace Tervane3 {

ScatterPlot::ScatterPlot(QWidget* parent)
    : QwtPlot(parent)
{
    setTitle(QStringLiteral("Scatter Plot"));
    setCanvasBackground(Qt::white);
    auto* grid = new QwtPlotGrid;
    grid->setPen(QPen(Qt::gray, 0.0, Qt::DotLine));
    grid->attach(this);
    enableAxis(QwtPlot::yRight, false);
}

void ScatterPlot::setAxisScaleType(int axis, int mode)
{
    if (axis < 0 || axis >= QwtPlot::axisCnt)
        return;
    switch (mode) {
    case 1:
        setAxisScaleEngine(axis, new QwtLogScaleEngine(10));
        break;
    case 2:
        setAxisScaleEngine(axis, new PseudoLogScaleEngine(100, 0.5));
        break;
    default:
        mode = 0;
        setAxisScaleEngine(axis, new QwtLinearScaleEngine(10));
        break;
    }
    scaleModes[axis] = mode;
    setAxisAutoScale(axis, true);
    replot();
}

int ScatterPlot::axisScaleMode(int axis) const
{
    return (axis >= 0 && axis < QwtPlot::axisCnt) ? scaleModes[axis] : 0;
}

void ScatterPlot::setColorMap(int index)
{
    colorMap = (index < 0 || index > 5) ? 0 : index;
}

void ScatterPlot::startPolygonDrawing()
{
    drawingPolygon = true;
}

void ScatterPlot::stopPolygonDrawing()
{
    if (!drawingPolygon)
        return;
    drawingPolygon = false;
    emit polygonDrawingStopped();
}

void ScatterPlot::onPointSelected(int)
{
}

} // namespace Tervane3
