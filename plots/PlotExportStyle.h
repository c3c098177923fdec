// Prepares any QwtPlot for rendering to a file and puts its look back afterwards: white
// background, frameless canvas aligned to the scales, the right and top axes drawn as bare
// lines. Used by the plot export and the combine plots; GUI thread only.
#pragma once

#include <qwt_plot.h>

#include <QBrush>
#include <QPalette>

class QwtPlotRenderer;

namespace Tervane3 {

// The look of a plot before export styling. The arrays are indexed by Qwt's axis ids
// (yLeft 0, yRight 1, xBottom 2, xTop 3).
struct PlotStyleSnapshot
{
    QBrush canvasBackground;
    int canvasFrameStyle = 0;
    bool alignCanvasToScale[QwtPlot::axisCnt] = {false, false, false, false};
    int canvasMargin[QwtPlot::axisCnt] = {0, 0, 0, 0};
    bool axisVisible[QwtPlot::axisCnt] = {false, false, false, false};
    QPalette palette;
    bool autoFillBackground = false;
};

// Records the look, applies the export look, replots; returns what was recorded.
PlotStyleSnapshot applyExportStyle(QwtPlot* plot);
// Puts the recorded look back (hidden axes hidden again with ticks and labels on); replots.
void restorePlotStyle(QwtPlot* plot, const PlotStyleSnapshot& snapshot);
// Discards background and canvas frame; frames the canvas with the scales.
void configurePlotRenderer(QwtPlotRenderer* renderer);

} // namespace Tervane3
