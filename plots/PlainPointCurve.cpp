// The symbol of the plain points, drawn once into a sprite and stamped per point.
#include "plots/PlainPointCurve.h"

#include <qwt_symbol.h>

#include <QPainter>

namespace Tervane3 {

PlainPointCurve::PlainPointCurve(const QString& title)
    : QwtPlotCurve(title)
{
}

void PlainPointCurve::invalidateCache()
{
    raster.invalidate();
    spritesMade = false;
}

QRectF PlainPointCurve::boundingRect() const
{
    return hasAutoScaleBounds() ? autoScaleBounds() : QwtPlotCurve::boundingRect();
}

void PlainPointCurve::drawSymbols(QPainter* painter, const QwtSymbol& symbol,
                                  const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                  const QRectF& canvasRect, int from, int to) const
{
    if (to < from)
        return;
    if (!spritesMade) {
        spritesMade = true;
        const QSizeF size = symbol.size();
        const QPen pen = symbol.pen();
        const QBrush brush = symbol.brush();
        const QwtSymbol::Style style = symbol.style();
        const double extent = std::max(size.width(), size.height()) + pen.widthF() + 1.0;
        raster.setSprites(1, extent, [size, pen, brush, style](QPainter& p, int, double scale) {
            QPen scaledPen = pen;
            scaledPen.setWidthF(std::max(1.0, pen.widthF()) * scale);
            p.setPen(scaledPen);
            p.setBrush(brush);
            const QRectF rect(-size.width() * scale / 2.0, -size.height() * scale / 2.0,
                              size.width() * scale, size.height() * scale);
            if (style == QwtSymbol::Rect)
                p.drawRect(rect);
            else
                p.drawEllipse(rect);
        });
    }
    const QwtSeriesData<QPointF>* series = data();
    const size_t first = static_cast<size_t>(from);
    raster.draw(
        painter, xMap, yMap, canvasRect, static_cast<size_t>(to - from + 1),
        [series, first](size_t i, double& x, double& y) {
            const QPointF p = series->sample(first + i);
            x = p.x();
            y = p.y();
            return true;
        },
        [](size_t) { return 0; });
}

} // namespace Tervane3
