// Export styling of plots. The hidden right and top axes are shown without ticks and labels
// so that the exported canvas has a closed frame of backbone lines.
// Qwt 6.1's qwt_plot_layout.h gives a QFlags argument the default 0x00, a conversion that Qt
// drops when the 5.15 deprecations are disabled; this one file keeps them available.
#undef QT_DISABLE_DEPRECATED_BEFORE
#define QT_DISABLE_DEPRECATED_BEFORE 0x050E00

#include "plots/PlotExportStyle.h"

#include <qwt_plot_layout.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_draw.h>

#include <QFrame>

namespace Tervane3 {

namespace {

void setTicksAndLabels(QwtPlot* plot, int axis, bool on)
{
    QwtScaleDraw* draw = plot->axisScaleDraw(axis);
    if (!draw)
        return;
    draw->enableComponent(QwtAbstractScaleDraw::Ticks, on);
    draw->enableComponent(QwtAbstractScaleDraw::Labels, on);
}

} // namespace

PlotStyleSnapshot applyExportStyle(QwtPlot* plot)
{
    PlotStyleSnapshot snapshot;
    if (!plot)
        return snapshot;
    snapshot.canvasBackground = plot->canvasBackground();
    snapshot.palette = plot->palette();
    snapshot.autoFillBackground = plot->autoFillBackground();
    if (auto* frame = qobject_cast<QFrame*>(plot->canvas()))
        snapshot.canvasFrameStyle = frame->frameStyle();
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        snapshot.alignCanvasToScale[axis] = plot->plotLayout()->alignCanvasToScale(axis);
        snapshot.canvasMargin[axis] = plot->plotLayout()->canvasMargin(axis);
        snapshot.axisVisible[axis] = plot->axisEnabled(axis);
    }

    plot->setCanvasBackground(Qt::white);
    QPalette palette = plot->palette();
    palette.setBrush(QPalette::All, QPalette::Window, Qt::white);
    plot->setPalette(palette);
    plot->setAutoFillBackground(true);
    if (auto* frame = qobject_cast<QFrame*>(plot->canvas()))
        frame->setFrameStyle(QFrame::NoFrame);
    plot->plotLayout()->setAlignCanvasToScales(true);
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
        plot->plotLayout()->setCanvasMargin(0, axis);
    for (int axis : {int(QwtPlot::xTop), int(QwtPlot::yRight)}) {
        if (!plot->axisEnabled(axis)) {
            setTicksAndLabels(plot, axis, false);
            plot->enableAxis(axis, true);
        }
    }
    plot->replot();
    plot->updateGeometry();
    return snapshot;
}

void restorePlotStyle(QwtPlot* plot, const PlotStyleSnapshot& snapshot)
{
    if (!plot)
        return;
    if (auto* frame = qobject_cast<QFrame*>(plot->canvas()))
        frame->setFrameStyle(snapshot.canvasFrameStyle);
    plot->setCanvasBackground(snapshot.canvasBackground);
    plot->setPalette(snapshot.palette);
    plot->setAutoFillBackground(snapshot.autoFillBackground);
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        plot->plotLayout()->setAlignCanvasToScale(axis, snapshot.alignCanvasToScale[axis]);
        plot->plotLayout()->setCanvasMargin(snapshot.canvasMargin[axis], axis);
        if (!snapshot.axisVisible[axis]) {
            plot->enableAxis(axis, false);
            setTicksAndLabels(plot, axis, true);
        }
    }
    plot->replot();
}

void configurePlotRenderer(QwtPlotRenderer* renderer)
{
    if (!renderer)
        return;
    renderer->setDiscardFlag(QwtPlotRenderer::DiscardBackground, true);
    renderer->setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, true);
    renderer->setLayoutFlag(QwtPlotRenderer::FrameWithScales, true);
}

} // namespace Tervane3
