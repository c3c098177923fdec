// The plain (uncoloured) points of the scatter plot: a curve without lines whose symbol is
// stamped through the cached point image (PointRaster) instead of being painted point by
// point, so a million points repaint as one image blit.
#pragma once

#include "plots/PointRaster.h"

#include <qwt_plot_curve.h>

#include <QRectF>

namespace Tervane3 {

class PlainPointCurve : public QwtPlotCurve
{
public:
    explicit PlainPointCurve(const QString& title = QString());

    // Forget the cached image after new samples or another symbol.
    void invalidateCache();
    const PointRaster& pointRaster() const { return raster; }

    // As RoundSpectroCurve::setAutoScaleBounds.
    void setAutoScaleBounds(const QRectF& bounds)
    {
        scaleBounds = bounds;
        hasScaleBounds = true;
    }
    void clearAutoScaleBounds() { hasScaleBounds = false; }
    QRectF boundingRect() const override;

protected:
    void drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                     const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                     int to) const override;

private:
    mutable PointRaster raster;
    mutable bool spritesMade = false;
    QRectF scaleBounds;
    bool hasScaleBounds = false;
};

} // namespace Tervane3
