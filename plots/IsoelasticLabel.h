// The kPa label of one isoelastic line. The lines never take part in autoscaling, so their
// last point is often outside the shown range; the label sits at the last point of the line
// where it fits inside the canvas (to the left of and below the point), and is not drawn
// when the line does not cross the shown range at all.
#pragma once

#include <qwt_plot_marker.h>

#include <QPointF>
#include <QVector>

#include <optional>

namespace Tervane3 {

class IsoelasticLabel : public QwtPlotMarker
{
public:
    // The line's points in data coordinates, in drawing order; value() is the last one.
    explicit IsoelasticLabel(const QVector<QPointF>& linePoints);

    // The canvas position the label is drawn at for these maps, if any.
    std::optional<QPointF> anchor(const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect) const;

    void draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
              const QRectF& canvasRect) const override;

private:
    QVector<QPointF> points;
};

} // namespace Tervane3
