// Tick placement of the pseudo-logarithmic scale engine, alone and inside a real plot axis.
#include "core/PseudoLogScaleEngine.h"
#include "core/PseudoLogTransform.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>

#include <QVector>

#include <cfloat>

using namespace Tervane3;

namespace {

std::vector<double> toVector(const QList<double>& list)
{
    return std::vector<double>(list.begin(), list.end());
}

std::vector<double> steps(double from, double to, double step)
{
    std::vector<double> out;
    for (double v = from; v <= to; v += step)
        out.push_back(v);
    return out;
}

std::vector<double> concat(std::initializer_list<std::vector<double>> parts)
{
    std::vector<double> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace

TEST(PseudoLogScaleEngine, TickListsFollowTheDecades)
{
    const struct {
        const char* name;
        double x1, x2, step;
        std::vector<double> major;
        std::vector<double> minor;
    } cases[] = {
        {"positive decades", 0.0, 50000.0, 10000.0, {0, 100, 1000, 10000, 50000},
         concat({steps(10, 100, 10), steps(200, 1000, 100), steps(2000, 10000, 1000),
                 steps(20000, 50000, 10000)})},
        {"inside the linear band", 0.0, 50.0, 10.0, {0, 50}, steps(10, 50, 10)},
        // From -20000 the walk steps to -1000: no major or minor tick between -10000 and
        // -1000. The minor ticks of each pair end on the next major tick.
        {"both signs, skipped decade", -20000.0, 20000.0, 5000.0,
         {-20000, -1000, -100, 0, 100, 1000, 10000, 20000},
         concat({steps(-19000, -10000, 1000), steps(-900, -100, 100), steps(-90, 0, 10),
                 steps(10, 100, 10), steps(200, 1000, 100), steps(2000, 10000, 1000),
                 steps(20000, 20000, 10000)})},
    };
    const PseudoLogScaleEngine engine(100.0, 0.5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QwtScaleDiv div = engine.divideScale(c.x1, c.x2, 8, 5, c.step);
        EXPECT_EQ(toVector(div.ticks(QwtScaleDiv::MajorTick)), c.major);
        EXPECT_EQ(toVector(div.ticks(QwtScaleDiv::MinorTick)), c.minor);
        EXPECT_TRUE(div.ticks(QwtScaleDiv::MediumTick).isEmpty());
        EXPECT_EQ(div.lowerBound(), c.x1);
        EXPECT_EQ(div.upperBound(), c.x2);
        // A step of 0 lets the engine choose the same step itself.
        const QwtScaleDiv chosen = engine.divideScale(c.x1, c.x2, 8, 5, 0.0);
        EXPECT_EQ(toVector(chosen.ticks(QwtScaleDiv::MajorTick)), c.major);
    }
}

TEST(PseudoLogScaleEngine, NoMinorTicksWhenNoneAreAsked)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(0.0, 50000.0, 8, 0, 10000.0);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick).size(), 5);
    EXPECT_TRUE(div.ticks(QwtScaleDiv::MinorTick).isEmpty());
}

TEST(PseudoLogScaleEngine, ReversedBoundsGiveAnInvertedDivision)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv forward = engine.divideScale(-20000.0, 20000.0, 8, 5, 5000.0);
    const QwtScaleDiv reversed = engine.divideScale(20000.0, -20000.0, 8, 5, 5000.0);
    EXPECT_EQ(reversed.lowerBound(), 20000.0);
    EXPECT_EQ(reversed.upperBound(), -20000.0);
    EXPECT_FALSE(reversed.isIncreasing());
    // Qwt lists the ticks of an inverted division from the first bound on.
    const QwtScaleDiv back = reversed.inverted();
    for (int type = 0; type < QwtScaleDiv::NTickTypes; ++type)
        EXPECT_EQ(back.ticks(type), forward.ticks(type));
    EXPECT_EQ(reversed.ticks(QwtScaleDiv::MajorTick).front(), 20000.0);
}

TEST(PseudoLogScaleEngine, DegenerateIntervalsGiveAnEmptyDivision)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    EXPECT_TRUE(engine.divideScale(5.0, 5.0, 8, 5, 0.0).isEmpty());

    Tervane3::Test::ExpectQtWarnings warnings;
    EXPECT_TRUE(engine.divideScale(-DBL_MAX, DBL_MAX, 8, 5, 0.0).isEmpty());
    EXPECT_EQ(warnings.count(), 1);
    EXPECT_EQ(warnings.lastMessage(), "PseudoLogScaleEngine::divideScale: overflow");
}

TEST(PseudoLogScaleEngine, AutoScaleAlignsToTheStep)
{
    const struct {
        const char* name;
        QwtScaleEngine::Attribute attribute;
        double x1, x2;
        double out1, out2, step;
    } cases[] = {
        {"aligned", QwtScaleEngine::NoAttribute, 3.0, 47.0, 0.0, 50.0, 10.0},
        {"reversed input", QwtScaleEngine::NoAttribute, 47.0, 3.0, 0.0, 50.0, 10.0},
        {"floating", QwtScaleEngine::Floating, 3.0, 47.0, 3.0, 47.0, 10.0},
        {"inverted", QwtScaleEngine::Inverted, 3.0, 47.0, 50.0, 0.0, -10.0},
        {"include reference", QwtScaleEngine::IncludeReference, 23.0, 47.0, 0.0, 50.0, 10.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PseudoLogScaleEngine engine(100.0, 0.5);
        engine.setAttribute(c.attribute);
        engine.setReference(0.0);
        double x1 = c.x1;
        double x2 = c.x2;
        double step = 0.0;
        engine.autoScale(5, x1, x2, step);
        EXPECT_DOUBLE_EQ(x1, c.out1);
        EXPECT_DOUBLE_EQ(x2, c.out2);
        EXPECT_DOUBLE_EQ(step, c.step);
    }
}

// Regression: both bounds used to be aligned to one linear step, so data from -5 to 11000
// (a baseline-corrected fluorescence peak) gave the axis -2000 .. 12000: decades of empty
// plot below zero and a top label printed over the 10000 label.
TEST(PseudoLogScaleEngine, AutoScaleAlignsEachBoundWithinItsDecade)
{
    const struct {
        const char* name;
        double x1, x2;
        double out1, out2;
    } cases[] = {
        {"slightly negative lower bound", -5.0, 11000.0, -10.0, 20000.0},
        {"small positive lower bound", 0.3, 11000.0, 0.0, 20000.0},
        {"negative decade", -1500.0, 95.0, -2000.0, 100.0},
        {"just above the threshold", 20.0, 101.0, 20.0, 200.0},
        {"exact powers stay", -1000.0, 1000.0, -1000.0, 1000.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PseudoLogScaleEngine engine(100.0, 0.5);
        double x1 = c.x1;
        double x2 = c.x2;
        double step = 0.0;
        engine.autoScale(5, x1, x2, step);
        EXPECT_DOUBLE_EQ(x1, c.out1);
        EXPECT_DOUBLE_EQ(x2, c.out2);
        // The tick division of the new bounds still ends on the upper bound.
        const QwtScaleDiv div = engine.divideScale(x1, x2, 8, 5, step);
        const QList<double> major = div.ticks(QwtScaleDiv::MajorTick);
        ASSERT_FALSE(major.isEmpty());
        EXPECT_DOUBLE_EQ(major.last(), c.out2);
    }
}

TEST(PseudoLogScaleEngine, InstallsThePseudoLogTransform)
{
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const auto* transform = dynamic_cast<const PseudoLogTransform*>(engine.transformation());
    ASSERT_NE(transform, nullptr);
    EXPECT_DOUBLE_EQ(transform->threshold(), 100.0);
    EXPECT_DOUBLE_EQ(transform->slope(), 0.005);
    delete engine.transformation();
}

TEST(PseudoLogScaleEngine, WorksOnAPlotAxis)
{
    QwtPlot plot;
    plot.resize(600, 400);
    plot.setAxisScaleEngine(QwtPlot::xBottom, new PseudoLogScaleEngine(100.0, 0.5));
    plot.setAxisScale(QwtPlot::xBottom, 0.0, 50000.0);
    plot.show();
    plot.replot();

    const QwtScaleDiv& div = plot.axisScaleDiv(QwtPlot::xBottom);
    EXPECT_EQ(toVector(div.ticks(QwtScaleDiv::MajorTick)),
              (std::vector<double>{0, 100, 1000, 10000, 50000}));

    // The linear band and the decades as the canvas places them.
    const QwtScaleMap map = plot.canvasMap(QwtPlot::xBottom);
    const double p0 = map.transform(0.0);
    const double p50 = map.transform(50.0);
    const double p100 = map.transform(100.0);
    const double p1000 = map.transform(1000.0);
    const double p10000 = map.transform(10000.0);
    EXPECT_NEAR(p50 - p0, p100 - p50, 1e-6);
    EXPECT_NEAR(p1000 - p100, p10000 - p1000, 1e-6);
    EXPECT_NEAR(p1000 - p100, 2.0 * (p100 - p0), 1e-6); // one decade = twice the half band
    EXPECT_GT(p10000, p1000);

    // Autoscaling over data of both signs keeps the decade ticks.
    QwtPlotCurve* curve = new QwtPlotCurve();
    curve->setSamples(QVector<double>{-18000.0, -50.0, 0.0, 900.0, 17000.0},
                      QVector<double>{1.0, 2.0, 3.0, 4.0, 5.0});
    curve->attach(&plot);
    plot.setAxisAutoScale(QwtPlot::xBottom);
    plot.replot();
    const QwtScaleDiv& autoDiv = plot.axisScaleDiv(QwtPlot::xBottom);
    EXPECT_LE(autoDiv.lowerBound(), -18000.0);
    EXPECT_GE(autoDiv.upperBound(), 17000.0);
    const std::vector<double> majors = toVector(autoDiv.ticks(QwtScaleDiv::MajorTick));
    for (const double tick : {-1000.0, -100.0, 0.0, 100.0, 1000.0, 10000.0})
        EXPECT_NE(std::find(majors.begin(), majors.end(), tick), majors.end()) << tick;
}
