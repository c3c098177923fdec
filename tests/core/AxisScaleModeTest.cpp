// Axis scale modes: the pseudo-log transform's values, the per-mode value transforms and
// their inverse, and the clamping of modes that arrive from files.
#include "core/AxisScaleMode.h"
#include "core/PseudoLogTransform.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace Tervane3;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}

TEST(PseudoLogTransform, MapsTheLinearBandAndTheDecades)
{
    // c = 0.005 * 100 - log10(100) = -1.5: the band [-100, 100] maps onto [-0.5, 0.5].
    const struct {
        double value;
        double axis;
    } cases[] = {{100.0, 0.5}, {1000.0, 1.5}, {-1000.0, -1.5}, {50.0, 0.25},
                 {0.0, 0.0},   {10000.0, 2.5}, {-100.0, -0.5}, {-20.0, -0.1}};
    const PseudoLogTransform transform;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_NEAR(transform.transform(c.value), c.axis, 1e-12);
        EXPECT_NEAR_REL(transform.invTransform(c.axis), c.value, 1e-12);
    }
    EXPECT_TRUE(std::isnan(transform.transform(kNaN)));
}

TEST(PseudoLogTransform, IsContinuousAtTheThreshold)
{
    const PseudoLogTransform transform(100.0, 0.005);
    for (const double t : {100.0, -100.0}) {
        const double inside = transform.transform(t);
        const double outside = transform.transform(t * (1.0 + 1e-12));
        EXPECT_NEAR(inside, outside, 1e-9);
    }
}

TEST(PseudoLogTransform, CopyKeepsThresholdAndSlope)
{
    const PseudoLogTransform transform(250.0, 0.002);
    std::unique_ptr<QwtTransform> copy(transform.copy());
    auto* pseudoLog = dynamic_cast<PseudoLogTransform*>(copy.get());
    ASSERT_NE(pseudoLog, nullptr);
    EXPECT_DOUBLE_EQ(pseudoLog->threshold(), 250.0);
    EXPECT_DOUBLE_EQ(pseudoLog->slope(), 0.002);
    EXPECT_DOUBLE_EQ(copy->transform(5000.0), transform.transform(5000.0));
}

TEST(TransformValues, LinearLogAndPseudoLog)
{
    const std::vector<double> values{-1.0, 0.0, kNaN, 10.0, 1000.0};

    const std::vector<double> linear = transformValues(values, ScaleLinear);
    ASSERT_EQ(linear.size(), values.size());
    EXPECT_EQ(linear[0], -1.0);
    EXPECT_TRUE(std::isnan(linear[2]));
    EXPECT_EQ(linear[4], 1000.0);

    // Zero, negative and NaN values all land on 0 of a logarithmic axis.
    const std::vector<double> log = transformValues(values, ScaleLog);
    EXPECT_EQ(log[0], 0.0);
    EXPECT_EQ(log[1], 0.0);
    EXPECT_EQ(log[2], 0.0);
    EXPECT_DOUBLE_EQ(log[3], 1.0);
    EXPECT_DOUBLE_EQ(log[4], 3.0);

    const std::vector<double> pseudoLog = transformValues(values, ScalePseudoLog);
    EXPECT_DOUBLE_EQ(pseudoLog[0], -0.005);
    EXPECT_DOUBLE_EQ(pseudoLog[3], 0.05);
    EXPECT_DOUBLE_EQ(pseudoLog[4], 1.5);
    EXPECT_TRUE(std::isnan(pseudoLog[2]));
}

TEST(TransformValues, ModesOutsideTheRangeAreClamped)
{
    const struct {
        int mode;
        int clamped;
    } cases[] = {{-5, 0}, {-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {99, 2}};
    const std::vector<double> values{-5000.0, -3.0, 0.0, 42.0, 123456.0};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(clampScaleMode(c.mode), c.clamped);
        EXPECT_EQ(transformValues(values, c.mode), transformValues(values, c.clamped));
    }
}

TEST(InverseTransformPoint, MapsEachAxisByItsOwnMode)
{
    double x = 2.0;
    double y = 1.5;
    inverseTransformPoint(x, y, ScaleLinear, ScalePseudoLog);
    EXPECT_EQ(x, 2.0);
    EXPECT_NEAR_REL(y, 1000.0, 1e-12);

    x = 2.0;
    y = -0.25;
    inverseTransformPoint(x, y, ScaleLog, ScalePseudoLog);
    EXPECT_NEAR_REL(x, 100.0, 1e-12);
    EXPECT_NEAR_REL(y, -50.0, 1e-12);
}

// Regression: the forward transform treated modes above 2 as pseudo-logarithmic while the
// inverse left them unchanged, so contour lines of such a mode landed in the wrong place.
TEST(InverseTransformPoint, UndoesTheForwardTransformForEveryMode)
{
    const std::vector<double> values{-30000.0, -7.0, 0.5, 99.0, 4321.0};
    for (const int mode : {-1, 0, 2, 3, 7}) {
        SCOPED_TRACE(mode);
        const std::vector<double> axis = transformValues(values, mode);
        for (size_t i = 0; i < values.size(); ++i) {
            double x = axis[i];
            double y = axis[i];
            inverseTransformPoint(x, y, mode, mode);
            EXPECT_NEAR_REL(x, values[i], 1e-12);
        }
    }
}
