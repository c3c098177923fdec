// Orientation and in-circle tests of the Delaunay triangulation with the exact sign: a fast
// floating-point evaluation answers when its error bound allows, otherwise the determinant
// is evaluated exactly in floating-point expansion arithmetic. Pure functions, any thread.
#pragma once

namespace Tervane3 {

// Sign of (bx - ax)(cy - ay) - (cx - ax)(by - ay): +1 when a, b, c turn counter-clockwise,
// -1 clockwise, 0 when they are collinear.
int orientationSign(double ax, double ay, double bx, double by, double cx, double cy);

// Sign of the determinant of the rows (dx_v, dy_v, dx_v^2 + dy_v^2) for v = a, b, c with
// dx_v = x_v - px, dy_v = y_v - py. For a counter-clockwise triangle (a, b, c) it is +1 when
// p lies strictly inside the circumcircle, 0 on it and -1 outside.
int inCircleSign(double ax, double ay, double bx, double by, double cx, double cy, double px,
                 double py);

} // namespace Tervane3
