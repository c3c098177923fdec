// Fixed look of the trace plot.
#include "plots/TracePlot.h"

#include "core/PseudoLogScaleEngine.h"

#include <qwt_plot_grid.h>
#include <qwt_text.h>

#include <QPen>

namespace Tervane3 {

TracePlot::TracePlot(QWidget* parent)
    : QwtPlot(parent)
{
    setCanvasBackground(Qt::white);
    setMinimumHeight(180);
    setMaximumHeight(260);
    setMinimumWidth(260);
    QFont tickFont = font();
    tickFont.setPointSize(7);
    QFont titleFont = font();
    titleFont.setPointSize(8);
    for (int axis : {int(QwtPlot::xBottom), int(QwtPlot::yLeft)})
        setAxisFont(axis, tickFont);
    QwtText xTitle(QStringLiteral("Time [µs]"));
    xTitle.setFont(titleFont);
    QwtText yTitle(QStringLiteral("Fluorescence [a.u.]"));
    yTitle.setFont(titleFont);
    setAxisTitle(QwtPlot::xBottom, xTitle);
    setAxisTitle(QwtPlot::yLeft, yTitle);
    setAxisScaleEngine(QwtPlot::yLeft, new PseudoLogScaleEngine(100, 0.5));
    setAxisScale(QwtPlot::yLeft, -10, 35000);
    auto* grid = new QwtPlotGrid;
    grid->setPen(QPen(Qt::gray, 0.0, Qt::DotLine));
    grid->attach(this);
}

TracePlot::~TracePlot() = default;

} // namespace Tervane3
