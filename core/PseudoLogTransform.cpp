// The pseudo-logarithmic axis transform (see PseudoLogTransform.h).
#include "core/PseudoLogTransform.h"

#include <cmath>

namespace Tervane3 {

PseudoLogTransform::PseudoLogTransform()
    : PseudoLogTransform(100.0, 0.005)
{
}

PseudoLogTransform::PseudoLogTransform(double threshold, double slope)
    : m_threshold(threshold)
    , m_slope(slope)
    , m_offset(slope * threshold - std::log10(threshold))
    , m_logThreshold(std::log10(threshold))
{
}

PseudoLogTransform::~PseudoLogTransform() = default;

double PseudoLogTransform::transform(double x) const
{
    return map(x);
}

double PseudoLogTransform::invTransform(double y) const
{
    const double band = m_slope * m_threshold;
    if (y > band)
        return std::pow(10.0, y + m_logThreshold - band);
    if (y < -band)
        return -std::pow(10.0, m_logThreshold - band - y);
    return y / m_slope;
}

QwtTransform* PseudoLogTransform::copy() const
{
    // Rebuilt from threshold and half-width, the way the scale engine builds it.
    const double width = m_threshold * m_slope;
    return new PseudoLogTransform(m_threshold, width / m_threshold);
}

} // namespace Tervane3
