// Dots of a spectro curve through the cached point image. Colours are looked up in a
// 256-entry table of the colour map over the colour range.
#include "plots/RoundSpectroCurve.h"

#include <qwt_color_map.h>
#include <qwt_scale_map.h>
#include <qwt_series_data.h>

#include <QPainter>

#include <cmath>

namespace Tervane3 {

namespace {
constexpr int kTableSize = 256;
}

RoundSpectroCurve::RoundSpectroCurve(const QString& title)
    : QwtPlotSpectroCurve(title)
{
}

void RoundSpectroCurve::setSamples(const QVector<QwtPoint3D>& samples)
{
    setSamples(new QwtPoint3DSeriesData(samples));
}

void RoundSpectroCurve::setSamples(QwtSeriesData<QwtPoint3D>* samples)
{
    series = samples;
    raster.invalidate();
    QwtPlotSpectroCurve::setSamples(samples);
}

QRectF RoundSpectroCurve::boundingRect() const
{
    return hasAutoScaleBounds() ? autoScaleBounds() : QwtPlotSpectroCurve::boundingRect();
}

void RoundSpectroCurve::drawDots(QPainter* painter, const QwtScaleMap& xMap,
                                 const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                                 int to) const
{
    const QwtColorMap* map = colorMap();
    if (!map || !series || to < from)
        return;
    const QwtInterval range = colorRange();
    const double width = penWidth();
    if (map != spriteMap || range != spriteRange || width != spriteWidth) {
        spriteMap = map;
        spriteRange = range;
        spriteWidth = width;
        colorTable = map->colorTable(range);
        if (colorTable.size() != kTableSize)
            colorTable.resize(kTableSize);
        const QVector<QRgb> table = colorTable;
        raster.setSprites(kTableSize, width, [table, width](QPainter& p, int c, double scale) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor::fromRgb(table[c]));
            const double r = width * scale / 2.0;
            p.drawEllipse(QPointF(0.0, 0.0), r, r);
        });
    }

    const QwtSeriesData<QwtPoint3D>* points = series;
    const double lo = range.minValue();
    const double span = range.width();
    const size_t first = static_cast<size_t>(from);
    raster.draw(
        painter, xMap, yMap, canvasRect, static_cast<size_t>(to - from + 1),
        [points, first](size_t i, double& x, double& y) {
            const QwtPoint3D p = points->sample(first + i);
            x = p.x();
            y = p.y();
            return true;
        },
        [points, first, lo, span](size_t i) {
            const double z = points->sample(first + i).z();
            if (!std::isfinite(z))
                return -1;
            // The colour map's colour for z, clamped to the ends of the range.
            double t = span > 0.0 ? (z - lo) / span : 0.0;
            t = std::min(1.0, std::max(0.0, t));
            return static_cast<int>(t * (kTableSize - 1) + 0.5);
        });
}

} // namespace Tervane3
