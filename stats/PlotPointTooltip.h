// Shows a tooltip for the data point under the mouse of a plot: the point's label and its
// y value. The points are given once; the search is linear (a plot holds one point per
// dataset or curve point). Owned by the plot; GUI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QPointF;
class QwtPlot;

namespace Tervane3 {

struct PlotPoint
{
    double x = 0.0; // plot coordinates
    double y = 0.0;
    QString label;
};

class PlotPointTooltip : public QObject
{
public:
    // Becomes a child of the plot, filters the canvas' events and switches its mouse
    // tracking on.
    PlotPointTooltip(QwtPlot* plot, std::vector<PlotPoint> points);

    const std::vector<PlotPoint>& points() const { return plotPoints; }
    // The first point nearest to a canvas position, closer than 12 pixels; -1 for none.
    int nearestPoint(const QPointF& canvasPosition) const;
    // "<label>\n(<y with 5 significant digits>)"
    static QString tooltipText(const PlotPoint& point);

protected:
    // Mouse moves show or hide the tooltip; every event is passed on.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QwtPlot* plot;
    std::vector<PlotPoint> plotPoints;
};

} // namespace Tervane3
