// The Qwt scale engine of pseudo-logarithmic axes: major ticks at the bounds, at 0 and at
// the powers of ten outside the linear band, minor ticks in decade steps between them.
// A plot takes ownership of the engine it is given (QwtPlot::setAxisScaleEngine).
#pragma once

#include <qwt_scale_engine.h>

namespace Tervane3 {

class PseudoLogScaleEngine : public QwtScaleEngine
{
public:
    // Installs a PseudoLogTransform with the given threshold and slope width / threshold.
    // All plots use PseudoLogScaleEngine(100, 0.5).
    PseudoLogScaleEngine(double threshold, double width);
    ~PseudoLogScaleEngine() override;

    void autoScale(int maxNumSteps, double& x1, double& x2, double& stepSize) const override;
    QwtScaleDiv divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                            double stepSize = 0.0) const override;

    double threshold() const { return m_threshold; }
    double linearWidth() const { return m_width; }

private:
    QwtInterval align(const QwtInterval& interval, double stepSize) const;
    double boundUnit(double value, double linearStep) const;
    QList<double> buildMajorTicks(const QwtInterval& interval, double stepSize) const;
    QList<double> buildMinorTicks(const QList<double>& majorTicks) const;

    double m_threshold;
    double m_width;
};

} // namespace Tervane3
