// Points coloured through a colour map at each sample's z: antialiased filled circles whose
// diameter is the pen width. Used by the main scatter plot and the combine plots.
//
// The dots go through a cached image (PointRaster): a million of them render once per data,
// colour or zoom change and are blitted on every other repaint.
#pragma once

#include "plots/AutoScaleBounds.h"
#include "plots/PointRaster.h"

#include <qwt_plot_spectrocurve.h>

namespace Tervane3 {

class RoundSpectroCurve : public QwtPlotSpectroCurve, public AutoScaleBounds
{
public:
    explicit RoundSpectroCurve(const QString& title = QString());

    // The samples; both hide the base class's setters so that the curve always knows its
    // series (the base keeps its store private).
    void setSamples(const QVector<QwtPoint3D>& samples);
    void setSamples(QwtSeriesData<QwtPoint3D>* samples);

    // Forget the cached image after a change that Qwt does not report through the maps:
    // new samples, another colour map or range, another pen width.
    void invalidateCache()
    {
        raster.invalidate();
        // A new colour map may be allocated where the old one was: remake the sprites.
        spriteMap = nullptr;
    }
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
    void drawDots(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                  const QRectF& canvasRect, int from, int to) const override;

private:
    // The series handed to the base class, which owns it.
    QwtSeriesData<QwtPoint3D>* series = nullptr;
    // Colours of the table the sprites were made for; remade when the map or width changes.
    mutable PointRaster raster;
    mutable const QwtColorMap* spriteMap = nullptr;
    mutable QwtInterval spriteRange;
    mutable double spriteWidth = -1.0;
    mutable QVector<QRgb> colorTable;
};

} // namespace Tervane3
