#include "plots/IsoelasticLabel.h"

#include <qwt_scale_map.h>
#include <qwt_text.h>

#include <cmath>

namespace Tervane3 {

IsoelasticLabel::IsoelasticLabel(const QVector<QPointF>& linePoints)
    : points(linePoints)
{
    if (!points.isEmpty())
        setValue(points.last());
}

std::optional<QPointF> IsoelasticLabel::anchor(const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                               const QRectF& canvasRect) const
{
    const QSizeF size = label().textSize();
    const double gap = spacing();
    // Left of and below the point (the label's alignment), all of it inside the canvas.
    const QRectF room(canvasRect.left() + size.width() + gap, canvasRect.top(),
                      canvasRect.width() - size.width() - gap, canvasRect.height() - size.height() - gap);
    for (int i = points.size() - 1; i >= 0; --i) {
        const QPointF position(xMap.transform(points[i].x()), yMap.transform(points[i].y()));
        if (std::isfinite(position.x()) && std::isfinite(position.y()) && room.contains(position))
            return position;
    }
    return std::nullopt;
}

void IsoelasticLabel::draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                           const QRectF& canvasRect) const
{
    if (const std::optional<QPointF> position = anchor(xMap, yMap, canvasRect))
        drawLabel(painter, canvasRect, *position);
}

} // namespace Tervane3
