// Isoelastic line items: pen (180, 180, 180) of width 1 at z 30, labels in 8-point grey at
// z 31, both out of the legend and of autoscaling. Above the points (z 20), where the lines
// stay visible through a dense cloud; contour lines (40) and polygon gates (50) stay on top.
#include "plots/IsoelasticItems.h"

#include "calc/IsoelasticLine.h"
#include "plots/IsoelasticLabel.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_text.h>

#include <QPen>

namespace Tervane3 {

QString isoelasticLabel(double modulus)
{
    return QString::number(modulus, 'f', modulus >= 1.0 ? 1 : 2) + QStringLiteral(" kPa");
}

IsoelasticItems attachIsoelasticLines(QwtPlot* plot, const std::vector<IsoelasticLine>& lines, bool swapAxes,
                                      bool showLabels)
{
    IsoelasticItems items;
    const QPen pen(QColor(180, 180, 180), 1, Qt::SolidLine);
    QFont font;
    font.setPointSize(8);
    for (const IsoelasticLine& line : lines) {
        if (line.points.size() < 2)
            continue;
        QVector<QPointF> points;
        points.reserve(static_cast<int>(line.points.size()));
        for (const auto& [area, deform] : line.points)
            points.append(swapAxes ? QPointF(deform, area) : QPointF(area, deform));
        auto* curve = new QwtPlotCurve;
        curve->setStyle(QwtPlotCurve::Lines);
        curve->setPen(pen);
        curve->setItemAttribute(QwtPlotItem::Legend, false);
        curve->setItemAttribute(QwtPlotItem::AutoScale, false);
        curve->setZ(30);
        curve->setSamples(points);
        curve->attach(plot);
        items.curves.push_back(curve);
        if (!showLabels)
            continue;
        QwtText label(isoelasticLabel(line.modulus));
        label.setFont(font);
        label.setColor(QColor(150, 150, 150));
        // Drawn at the last point of the line inside the canvas, not at its end.
        auto* marker = new IsoelasticLabel(points);
        marker->setLabel(label);
        marker->setLabelAlignment(Qt::AlignLeft | Qt::AlignBottom);
        marker->setItemAttribute(QwtPlotItem::Legend, false);
        marker->setItemAttribute(QwtPlotItem::AutoScale, false);
        marker->setZ(31);
        marker->attach(plot);
        items.markers.push_back(marker);
    }
    return items;
}

} // namespace Tervane3
