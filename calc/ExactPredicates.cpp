// Exact signs of the two geometric determinants. The fallback represents every value as an
// expansion: a sum of doubles of increasing magnitude that do not overlap, so that sums and
// products of the inputs are held without rounding. Only the sign of the result is needed.
#include "calc/ExactPredicates.h"

#include <cmath>
#include <vector>

namespace Tervane3 {

namespace {

using Expansion = std::vector<double>;

// a + b = x + y exactly, x being the rounded sum.
inline void twoSum(double a, double b, double& x, double& y)
{
    x = a + b;
    const double bVirtual = x - a;
    const double aVirtual = x - bVirtual;
    const double bRound = b - bVirtual;
    const double aRound = a - aVirtual;
    y = aRound + bRound;
}

// a - b = x + y exactly.
inline void twoDiff(double a, double b, double& x, double& y)
{
    x = a - b;
    const double bVirtual = a - x;
    const double aVirtual = x + bVirtual;
    const double bRound = bVirtual - b;
    const double aRound = a - aVirtual;
    y = aRound + bRound;
}

// Splits a into two halves of 26 significant bits each (Dekker).
inline void split(double a, double& hi, double& lo)
{
    constexpr double splitter = 134217729.0; // 2^27 + 1
    const double c = splitter * a;
    const double aBig = c - a;
    hi = c - aBig;
    lo = a - hi;
}

// a * b = x + y exactly.
inline void twoProduct(double a, double b, double& x, double& y)
{
    x = a * b;
    double aHi, aLo, bHi, bLo;
    split(a, aHi, aLo);
    split(b, bHi, bLo);
    const double err1 = x - (aHi * bHi);
    const double err2 = err1 - (aLo * bHi);
    const double err3 = err2 - (aHi * bLo);
    y = (aLo * bLo) - err3;
}

// e + b, zero components dropped.
Expansion growExpansion(const Expansion& e, double b)
{
    Expansion h;
    h.reserve(e.size() + 1);
    double q = b;
    for (double component : e) {
        double sum, err;
        twoSum(q, component, sum, err);
        if (err != 0.0)
            h.push_back(err);
        q = sum;
    }
    if (q != 0.0)
        h.push_back(q);
    return h;
}

Expansion sum(const Expansion& e, const Expansion& f)
{
    Expansion h = e;
    for (double component : f)
        h = growExpansion(h, component);
    return h;
}

Expansion negate(Expansion e)
{
    for (double& component : e)
        component = -component;
    return e;
}

// e * b, zero components dropped.
Expansion scale(const Expansion& e, double b)
{
    Expansion h;
    if (e.empty() || b == 0.0)
        return h;
    h.reserve(2 * e.size());
    double q, low;
    twoProduct(e[0], b, q, low);
    if (low != 0.0)
        h.push_back(low);
    for (size_t i = 1; i < e.size(); ++i) {
        double productHi, productLo;
        twoProduct(e[i], b, productHi, productLo);
        double s, err;
        twoSum(q, productLo, s, err);
        if (err != 0.0)
            h.push_back(err);
        twoSum(productHi, s, q, err);
        if (err != 0.0)
            h.push_back(err);
    }
    if (q != 0.0)
        h.push_back(q);
    return h;
}

Expansion product(const Expansion& e, const Expansion& f)
{
    Expansion h;
    for (double component : f)
        h = sum(h, scale(e, component));
    return h;
}

Expansion difference(double a, double b)
{
    double x, y;
    twoDiff(a, b, x, y);
    Expansion e;
    if (y != 0.0)
        e.push_back(y);
    if (x != 0.0)
        e.push_back(x);
    return e;
}

// The largest component decides the sign of a zero-free expansion.
int sign(const Expansion& e)
{
    if (e.empty())
        return 0;
    return e.back() > 0.0 ? 1 : -1;
}

int orientationExact(double ax, double ay, double bx, double by, double cx, double cy)
{
    const Expansion left = product(difference(bx, ax), difference(cy, ay));
    const Expansion right = product(difference(cx, ax), difference(by, ay));
    return sign(sum(left, negate(right)));
}

int inCircleExact(double ax, double ay, double bx, double by, double cx, double cy, double px,
                  double py)
{
    const Expansion dxa = difference(ax, px), dya = difference(ay, py);
    const Expansion dxb = difference(bx, px), dyb = difference(by, py);
    const Expansion dxc = difference(cx, px), dyc = difference(cy, py);
    const Expansion sa = sum(product(dxa, dxa), product(dya, dya));
    const Expansion sb = sum(product(dxb, dxb), product(dyb, dyb));
    const Expansion sc = sum(product(dxc, dxc), product(dyc, dyc));

    const Expansion minorA = sum(product(dyb, sc), negate(product(sb, dyc)));
    const Expansion minorB = sum(product(dxb, sc), negate(product(sb, dxc)));
    const Expansion minorC = sum(product(dxb, dyc), negate(product(dyb, dxc)));
    const Expansion det =
        sum(sum(product(dxa, minorA), negate(product(dya, minorB))), product(sa, minorC));
    return sign(det);
}

// Relative error bounds of the floating-point evaluations, far above the few units of
// rounding that the evaluations can accumulate, so that a sign given by them is certain.
constexpr double orientationBound = 1e-13;
constexpr double inCircleBound = 1e-12;

} // namespace

int orientationSign(double ax, double ay, double bx, double by, double cx, double cy)
{
    const double left = (bx - ax) * (cy - ay);
    const double right = (cx - ax) * (by - ay);
    const double det = left - right;
    const double permanent = std::fabs(left) + std::fabs(right);
    if (std::fabs(det) > orientationBound * permanent)
        return det > 0.0 ? 1 : -1;
    return orientationExact(ax, ay, bx, by, cx, cy);
}

int inCircleSign(double ax, double ay, double bx, double by, double cx, double cy, double px,
                 double py)
{
    const double dxa = ax - px, dya = ay - py;
    const double dxb = bx - px, dyb = by - py;
    const double dxc = cx - px, dyc = cy - py;
    const double sa = dxa * dxa + dya * dya;
    const double sb = dxb * dxb + dyb * dyb;
    const double sc = dxc * dxc + dyc * dyc;
    const double det = dxa * (dyb * sc - sb * dyc) - dya * (dxb * sc - sb * dxc)
                       + sa * (dxb * dyc - dyb * dxc);
    const double permanent =
        std::fabs(dxa) * (std::fabs(dyb * sc) + std::fabs(sb * dyc))
        + std::fabs(dya) * (std::fabs(dxb * sc) + std::fabs(sb * dxc))
        + sa * (std::fabs(dxb * dyc) + std::fabs(dyb * dxc));
    if (std::fabs(det) > inCircleBound * permanent)
        return det > 0.0 ? 1 : -1;
    return inCircleExact(ax, ay, bx, by, cx, cy, px, py);
}

} // namespace Tervane3
