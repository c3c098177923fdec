// Autoscaling bounds that a point curve reports in place of its samples' own: the scatter
// plot passes positive-only bounds for logarithmic axes (Qwt's log engine would scale to
// 1e-100 .. 1e20 over zero or negative values); a negative width or height leaves that
// axis out of the autoscale. Mixed into the plain and the coloured point curves.
#pragma once

#include <QRectF>

namespace Tervane3 {

class AutoScaleBounds
{
public:
    void setAutoScaleBounds(const QRectF& bounds)
    {
        scaleBounds = bounds;
        hasScaleBounds = true;
    }
    void clearAutoScaleBounds() { hasScaleBounds = false; }

protected:
    bool hasAutoScaleBounds() const { return hasScaleBounds; }
    const QRectF& autoScaleBounds() const { return scaleBounds; }

private:
    QRectF scaleBounds;
    bool hasScaleBounds = false;
};

} // namespace Tervane3
