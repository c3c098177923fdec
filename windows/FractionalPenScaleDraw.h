// A scale draw whose backbone and ticks take a fractional pen width (Qwt 6.1's own pen
// width is a whole number), so the export's "Axis width" keeps its half steps.
#pragma once

#include <qwt_scale_draw.h>

namespace Tervane3 {

class FractionalPenScaleDraw : public QwtScaleDraw
{
public:
    FractionalPenScaleDraw();
    ~FractionalPenScaleDraw() override;

    // Also sets the whole-number width the layout reserves (rounded up).
    void setPenWidthF(double width);
    double penWidthF() const { return widthF; }

protected:
    void drawTick(QPainter* painter, double value, double len) const override;
    void drawBackbone(QPainter* painter) const override;

private:
    double widthF = 0.0; // 0: Qwt's own pen width
};

} // namespace Tervane3
