// The plot items of isoelastic lines, shared by the main scatter plot and the combine
// plots: light grey lines that never widen an autoscaled axis, each optionally labelled
// with its modulus at the last point of the line inside the canvas.
#pragma once

#include <QString>

#include <vector>

class QwtPlot;
class QwtPlotCurve;
class QwtPlotMarker;

namespace Tervane3 {

struct IsoelasticLine;

struct IsoelasticItems
{
    std::vector<QwtPlotCurve*> curves;
    std::vector<QwtPlotMarker*> markers;
};

// "1.5 kPa" (one decimal from 1 up), "0.75 kPa" (two decimals below 1).
QString isoelasticLabel(double modulus);

// Attaches one curve per line of at least two points (as (deformation, area) when
// swapAxes) and, with showLabels, one label marker per drawn line; the plot owns them.
IsoelasticItems attachIsoelasticLines(QwtPlot* plot, const std::vector<IsoelasticLine>& lines, bool swapAxes,
                                      bool showLabels);

} // namespace Tervane3
