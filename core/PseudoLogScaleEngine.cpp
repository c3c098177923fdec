// Tick placement for pseudo-logarithmic axes (see PseudoLogScaleEngine.h). The bounds are
// found on data values like Qwt's linear engine does; ticks then follow the decades.
#include "core/PseudoLogScaleEngine.h"

#include "core/PseudoLogTransform.h"

#include <QtGlobal>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Tervane3 {

PseudoLogScaleEngine::PseudoLogScaleEngine(double threshold, double width)
    : QwtScaleEngine(10)
    , m_threshold(threshold)
    , m_width(width)
{
    setTransformation(new PseudoLogTransform(threshold, width / threshold));
}

PseudoLogScaleEngine::~PseudoLogScaleEngine() = default;

double PseudoLogScaleEngine::boundUnit(double value, double linearStep) const
{
    // Inside the linear band: tenths of the threshold. Beyond it: the bound's own decade,
    // so 11000 rounds up to 20000 and -1500 down to -2000.
    if (!(m_threshold > 0.0) || !std::isfinite(value))
        return linearStep;
    const double magnitude = std::fabs(value);
    if (magnitude <= m_threshold)
        return m_threshold / 10.0;
    return std::pow(10.0, std::floor(std::log10(magnitude)));
}

QwtInterval PseudoLogScaleEngine::align(const QwtInterval& interval, double stepSize) const
{
    double x1 = interval.minValue();
    double x2 = interval.maxValue();
    // Keep a bound that only rounding noise separates from the aligned value
    // (qFuzzyCompare: |a - b| * 1e12 <= min(|a|, |b|)).
    const double eps = 1.0e-12;
    if (-DBL_MAX + stepSize <= x1) {
        const double x = QwtScaleArithmetic::floorEps(x1, stepSize);
        if (std::fabs(x) <= eps || !qFuzzyCompare(x1, x))
            x1 = x;
    }
    if (DBL_MAX - stepSize >= x2) {
        const double x = QwtScaleArithmetic::ceilEps(x2, stepSize);
        if (std::fabs(x) <= eps || !qFuzzyCompare(x2, x))
            x2 = x;
    }
    return QwtInterval(x1, x2);
}

void PseudoLogScaleEngine::autoScale(int maxNumSteps, double& x1, double& x2,
                                     double& stepSize) const
{
    QwtInterval interval(x1, x2);
    interval = interval.normalized();
    interval.setMinValue(interval.minValue() - lowerMargin());
    interval.setMaxValue(interval.maxValue() + upperMargin());

    if (testAttribute(QwtScaleEngine::Symmetric))
        interval = interval.symmetrize(reference());
    if (testAttribute(QwtScaleEngine::IncludeReference))
        interval = interval.extend(reference());
    if (interval.width() == 0.0)
        interval = buildInterval(interval.minValue());

    stepSize = QwtScaleArithmetic::divideInterval(interval.width(), qMax(maxNumSteps, 1), 10);
    if (!testAttribute(QwtScaleEngine::Floating)) {
        // Each bound is aligned to a unit of its own place on the axis. One linear step for
        // both, as a linear axis does it, lets a value slightly below zero (a baseline-
        // corrected fluorescence peak, a contour line) pull the lower bound a whole step of
        // thousands down, which on this axis is decades of empty plot.
        const double lower = align(interval, boundUnit(interval.minValue(), stepSize)).minValue();
        const double upper = align(interval, boundUnit(interval.maxValue(), stepSize)).maxValue();
        interval = QwtInterval(lower, upper);
    }

    x1 = interval.minValue();
    x2 = interval.maxValue();
    if (testAttribute(QwtScaleEngine::Inverted)) {
        qSwap(x1, x2);
        stepSize = -stepSize;
    }
}

QwtScaleDiv PseudoLogScaleEngine::divideScale(double x1, double x2, int maxMajorSteps,
                                              int maxMinorSteps, double stepSize) const
{
    const QwtInterval interval = QwtInterval(x1, x2).normalized();
    if (static_cast<long double>(interval.maxValue())
            - static_cast<long double>(interval.minValue())
        > static_cast<long double>(DBL_MAX)) {
        qWarning("PseudoLogScaleEngine::divideScale: overflow");
        return QwtScaleDiv();
    }
    if (interval.width() <= 0.0)
        return QwtScaleDiv();

    stepSize = std::fabs(stepSize);
    if (stepSize == 0.0)
        stepSize = QwtScaleArithmetic::divideInterval(interval.width(), qMax(maxMajorSteps, 1), 10);

    QwtScaleDiv scaleDiv;
    if (stepSize != 0.0) {
        QList<double> ticks[QwtScaleDiv::NTickTypes];
        ticks[QwtScaleDiv::MajorTick] = buildMajorTicks(align(interval, stepSize), stepSize);
        if (maxMinorSteps > 0)
            ticks[QwtScaleDiv::MinorTick] = buildMinorTicks(ticks[QwtScaleDiv::MajorTick]);

        for (int type = 0; type < QwtScaleDiv::NTickTypes; ++type) {
            ticks[type] = strip(ticks[type], interval);
            // Ticks that only rounding keeps away from zero are drawn at zero.
            for (double& tick : ticks[type]) {
                if (std::fabs(tick) <= std::fabs(stepSize) * 1.0e-6)
                    tick = 0.0;
            }
        }
        scaleDiv = QwtScaleDiv(interval, ticks);
    }
    if (x1 > x2)
        scaleDiv.invert();
    return scaleDiv;
}

QList<double> PseudoLogScaleEngine::buildMajorTicks(const QwtInterval& interval,
                                                    double stepSize) const
{
    const double a = interval.minValue();
    const double b = interval.maxValue();
    double reserve = std::round(interval.width() / stepSize) + 1.0;
    if (!(reserve < 10000.0))
        reserve = 10000.0;

    QList<double> ticks;
    ticks.reserve(qMax(static_cast<int>(reserve), 2));
    ticks += a;

    // Walk the decades from the lower bound upwards. On the negative side the step goes to
    // the next smaller power of ten below |v|'s own decade, so from -20000 it lands on
    // -1000: the decade between -10^4 and -10^3 gets no major tick.
    double v = a;
    for (int step = 0; step < 100 && v < b; ++step) {
        double next;
        if (v > 0.0)
            next = std::pow(10.0, std::floor(std::log10(v)) + 1.0);
        else if (v < 0.0)
            next = -std::pow(10.0, std::floor(std::log10(-v)) - 1.0);
        else
            next = 1.0;
        v = std::round(next);
        if (v < b && std::fabs(v) >= m_threshold)
            ticks += v;
        if (v == 0.0)
            ticks += v;
    }
    ticks += b;
    return ticks;
}

QList<double> PseudoLogScaleEngine::buildMinorTicks(const QList<double>& majorTicks) const
{
    QList<double> ticks;
    for (int i = 0; i + 1 < majorTicks.size(); ++i) {
        const double upper = majorTicks[i + 1];
        double c = majorTicks[i];
        double step;
        if (std::fabs(c) <= 1.0e-12)
            step = m_threshold / 10.0;
        else if (c < 0.0)
            step = std::pow(10.0, std::floor(std::log10(-c)) - 1.0);
        else
            step = std::pow(10.0, std::floor(std::log10(c)));
        for (int k = 0; k < 10; ++k) {
            c += step;
            if (c > upper)
                break;
            ticks += c;
        }
    }
    return ticks;
}

} // namespace Tervane3
