// The plain (uncoloured) points of the scatter plot: a curve without lines whose symbol is
// stamped through the cached point image (PointRaster) instead of being painted point by
// point, so a million points repaint as one image blit.
#pragma once

#include "plots/AutoScaleBounds.h"
#include "plots/PointRaster.h"

#include <qwt_plot_curve.h>

namespace Tervane3 {

class PlainPointCurve : public QwtPlotCurve, public AutoScaleBounds
{
public:
    explicit PlainPointCurve(const QString& title = QString());

    // Forget the cached image after new samples or another symbol.
    void invalidateCache();
    // The same, and the cached image's memory goes: the curve has no points.
    void releaseCache()
    {
        invalidateCache();
        raster.release();
    }
    const PointRaster& pointRaster() const { return raster; }

    // The autoscaling bounds when set, else the samples' own.
    QRectF boundingRect() const override;

protected:
    void drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                     const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                     int to) const override;

private:
    mutable PointRaster raster;
    mutable bool spritesMade = false;
};

} // namespace Tervane3
