// Scale draw with a fractional pen width.
#include "windows/FractionalPenScaleDraw.h"

#include <QPainter>
#include <QPen>

#include <cmath>

namespace Tervane3 {

FractionalPenScaleDraw::FractionalPenScaleDraw() = default;
FractionalPenScaleDraw::~FractionalPenScaleDraw() = default;

void FractionalPenScaleDraw::setPenWidthF(double width)
{
    widthF = width > 0.0 ? width : 0.0;
    setPenWidth(static_cast<int>(std::ceil(widthF)));
}

void FractionalPenScaleDraw::drawTick(QPainter* painter, double value, double len) const
{
    if (widthF > 0.0) {
        QPen pen = painter->pen();
        pen.setWidthF(widthF);
        painter->setPen(pen);
    }
    QwtScaleDraw::drawTick(painter, value, len);
}

void FractionalPenScaleDraw::drawBackbone(QPainter* painter) const
{
    if (widthF > 0.0) {
        QPen pen = painter->pen();
        pen.setWidthF(widthF);
        painter->setPen(pen);
    }
    QwtScaleDraw::drawBackbone(painter);
}

} // namespace Tervane3
