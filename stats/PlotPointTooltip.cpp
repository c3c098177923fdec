// Nearest-point tooltips of the statistics plots.
#include "stats/PlotPointTooltip.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_map.h>

#include <QMouseEvent>
#include <QToolTip>
#include <QWidget>

namespace Tervane3 {

PlotPointTooltip::PlotPointTooltip(QwtPlot* owner, std::vector<PlotPoint> points)
    : QObject(owner)
    , plot(owner)
    , plotPoints(std::move(points))
{
    plot->canvas()->installEventFilter(this);
    plot->canvas()->setMouseTracking(true);
}

int PlotPointTooltip::nearestPoint(const QPointF& canvasPosition) const
{
    const QwtScaleMap xMap = plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = plot->canvasMap(QwtPlot::yLeft);
    double best = 144.0; // squared 12-pixel radius; the distance must be below it
    int found = -1;
    for (size_t i = 0; i < plotPoints.size(); ++i) {
        const double dx = xMap.transform(plotPoints[i].x) - canvasPosition.x();
        const double dy = yMap.transform(plotPoints[i].y) - canvasPosition.y();
        const double d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            found = static_cast<int>(i);
        }
    }
    return found;
}

QString PlotPointTooltip::tooltipText(const PlotPoint& point)
{
    return QStringLiteral("%1\n(%2)").arg(point.label, QString::number(point.y, 'g', 5));
}

bool PlotPointTooltip::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int index = plotPoints.empty() ? -1 : nearestPoint(mouse->localPos());
        if (index >= 0)
            QToolTip::showText(mouse->globalPos(), tooltipText(plotPoints[static_cast<size_t>(index)]),
                               plot->canvas());
        else
            QToolTip::hideText();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Tervane3
