// Exact signs of the orientation and in-circle tests where plain floating point guesses.
#include "calc/ExactPredicates.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Tervane3 {
namespace {

TEST(ExactPredicatesTest, OrientationNearALineFollowsTheExactSign)
{
    // p = (0.5 + x u, 0.5 + y u), u = 2^-53, against the line through (12, 12) and
    // (24, 24): expanding the determinant by hand gives exactly 12 (y - x) u.
    const double u = std::ldexp(1.0, -53);
    for (int x = 0; x < 24; ++x) {
        for (int y = 0; y < 24; ++y) {
            SCOPED_TRACE(testing::Message() << "x " << x << " y " << y);
            const int expected = (y > x) - (y < x);
            EXPECT_EQ(orientationSign(0.5 + x * u, 0.5 + y * u, 12, 12, 24, 24), expected);
        }
    }
}

TEST(ExactPredicatesTest, InCircleDecidesPointsOnAndNextToTheCircle)
{
    // (5, 0), (0, 5), (-5, 0) and (3, 4) lie on the circle of radius 5 about the origin;
    // shifted far from the origin every difference is still exact.
    for (double shift : {0.0, 1e6, -3.5e9}) {
        SCOPED_TRACE(testing::Message() << "shift " << shift);
        const double ax = 5 + shift, ay = shift, bx = shift, by = 5 + shift;
        const double cx = -5 + shift, cy = shift;
        const double px = 3 + shift;
        const double py = 4 + shift;
        EXPECT_EQ(inCircleSign(ax, ay, bx, by, cx, cy, px, py), 0);
        EXPECT_EQ(inCircleSign(ax, ay, bx, by, cx, cy, px, std::nextafter(py, 1e300)), -1);
        EXPECT_EQ(inCircleSign(ax, ay, bx, by, cx, cy, px, std::nextafter(py, -1e300)), 1);
        EXPECT_EQ(inCircleSign(ax, ay, bx, by, cx, cy, shift, shift), 1);
        EXPECT_EQ(inCircleSign(ax, ay, bx, by, cx, cy, 6 + shift, shift), -1);
    }
}

TEST(ExactPredicatesTest, FarCornersAreDecidedByTheLeadingTerm)
{
    // A triangle with one corner 1e30 away below: its circumcircle is, near the origin,
    // the half-plane below the line through (0, 0) and (1, 0).
    const double far = -1e30;
    EXPECT_EQ(orientationSign(0, 0, 1, 0, 0.5, far), -1);
    // (a, b, far) is clockwise; (b, a, far) is the counter-clockwise order.
    EXPECT_EQ(inCircleSign(1, 0, 0, 0, 0.5, far, 0.5, -1e-12), 1);
    EXPECT_EQ(inCircleSign(1, 0, 0, 0, 0.5, far, 0.5, 1e-12), -1);
    // On the line outside the segment: outside the circle.
    EXPECT_EQ(inCircleSign(1, 0, 0, 0, 0.5, far, 2.0, 0.0), -1);
}

} // namespace
} // namespace Tervane3
