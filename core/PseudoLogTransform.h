// The pseudo-logarithmic axis transform: linear in the band [-T, T] around zero and
// logarithmic (base 10) outside it, continuous at +-T. Handed to Qwt as the transform of
// pseudo-logarithmic axes and used directly on data values for density and contours.
#pragma once

#include <qwt_transform.h>

#include <cmath>

namespace Tervane3 {

class PseudoLogTransform : public QwtTransform
{
public:
    // Threshold 100 and slope 0.005: the band [-100, 100] maps onto [-0.5, 0.5].
    PseudoLogTransform();
    PseudoLogTransform(double threshold, double slope);
    ~PseudoLogTransform() override;

    double transform(double x) const override;
    double invTransform(double y) const override;
    QwtTransform* copy() const override;

    double threshold() const { return m_threshold; }
    double slope() const { return m_slope; }

    // The forward mapping without the virtual call, for loops over millions of values.
    // NaN stays NaN.
    inline double map(double x) const
    {
        if (x > m_threshold)
            return std::log10(x) + m_offset;
        if (x < -m_threshold)
            return -(std::log10(-x) + m_offset);
        return m_slope * x;
    }

private:
    double m_threshold;
    double m_slope;
    double m_offset;      // slope * threshold - log10(threshold)
    double m_logThreshold; // log10(threshold)
};

} // namespace Tervane3
