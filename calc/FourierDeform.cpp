// The Fourier-decomposition deformation: contours and hulls with OpenCV, the radius profile
// and its harmonics with Armadillo, one event per parallel slot.
#include "calc/FourierDeform.h"

#include "calc/EventProgress.h"
#include "calc/FrameBlock.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <exception>
#include <iostream>
#include <limits>

namespace Tervane3 {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double twoPi = 2.0 * M_PI;
constexpr int harmonicCount = 11;
constexpr int samplesPerEdge = 10;
constexpr int angleCount = 100;
constexpr std::size_t eventGrain = 64;

const FourierDeformResult failed{nan, nan, nan};

} // namespace

FourierDeform::FourierDeform(QObject* parent)
    : QObject(parent)
{
}

std::vector<cv::Point> FourierDeform::largestContour(const cv::Mat& mask)
{
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask.clone(), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    const std::vector<cv::Point>* best = nullptr;
    double bestArea = 0.0;
    for (const std::vector<cv::Point>& contour : contours) {
        if (contour.size() < 5)
            continue;
        const double area = cv::contourArea(contour);
        if (area > bestArea) {
            bestArea = area;
            best = &contour;
        }
    }
    return best ? *best : std::vector<cv::Point>();
}

arma::mat FourierDeform::densifyHull(const std::vector<cv::Point>& hull, int perEdge)
{
    const cv::Moments m = cv::moments(hull);
    const double cx = m.m10 / m.m00;
    const double cy = m.m01 / m.m00;
    const std::size_t n = hull.size();
    arma::mat points(n * static_cast<std::size_t>(perEdge), 2);
    arma::uword row = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const cv::Point& from = hull[k];
        const cv::Point& to = hull[(k + 1) % n];
        for (int j = 0; j < perEdge; ++j) {
            const double t = static_cast<double>(j) / perEdge;
            points(row, 0) = from.x + t * (to.x - from.x) - cx;
            points(row, 1) = from.y + t * (to.y - from.y) - cy;
            ++row;
        }
    }
    return points;
}

double FourierDeform::wrapAngle(double theta)
{
    return std::fmod(std::fmod(theta, twoPi) + twoPi, twoPi);
}

arma::mat FourierDeform::toPolarSorted(const arma::mat& points)
{
    arma::mat polar(points.n_rows, 2);
    for (arma::uword i = 0; i < points.n_rows; ++i) {
        polar(i, 0) = std::hypot(points(i, 0), points(i, 1));
        polar(i, 1) = wrapAngle(std::atan2(points(i, 1), points(i, 0)));
    }
    const arma::uvec order = arma::stable_sort_index(polar.col(1));
    return polar.rows(order);
}

arma::mat FourierDeform::resampleEvenAngles(const arma::mat& polar, int count)
{
    const arma::vec steps = arma::linspace<arma::vec>(0.0, twoPi, static_cast<arma::uword>(count) + 1);
    const arma::vec angles = steps.head(static_cast<arma::uword>(count));
    const arma::vec weights = arma::diff(steps);
    const arma::uword n = polar.n_rows;
    arma::vec theta(n + 2);
    arma::vec rho(n + 2);
    theta(0) = polar(n - 1, 1) - twoPi;
    rho(0) = polar(n - 1, 0);
    theta.subvec(1, n) = polar.col(1);
    rho.subvec(1, n) = polar.col(0);
    theta(n + 1) = polar(0, 1) + twoPi;
    rho(n + 1) = polar(0, 0);
    arma::vec radii;
    arma::interp1(theta, rho, angles, radii, "linear", nan);
    arma::mat even(static_cast<arma::uword>(count), 3);
    even.col(0) = angles;
    even.col(1) = radii;
    even.col(2) = weights;
    return even;
}

namespace {

// cos(k theta_j) and sin(k theta_j) over the angles of a resampled contour, for k = 0 ..
// harmonics - 1 (rows). The angles of every contour are the same 100 steps, so the tables of
// those are made once and shared by every event and thread.
struct HarmonicTables
{
    arma::mat cosines;
    arma::mat sines;
};

HarmonicTables makeTables(const arma::vec& angles, int harmonics)
{
    HarmonicTables t{arma::mat(static_cast<arma::uword>(harmonics), angles.n_elem),
                     arma::mat(static_cast<arma::uword>(harmonics), angles.n_elem)};
    for (int k = 0; k < harmonics; ++k) {
        const arma::vec scaled = static_cast<double>(k) * angles;
        t.cosines.row(static_cast<arma::uword>(k)) = arma::cos(scaled).t();
        t.sines.row(static_cast<arma::uword>(k)) = arma::sin(scaled).t();
    }
    return t;
}

const HarmonicTables& tablesFor(const arma::vec& angles, int harmonics)
{
    static const arma::vec standardAngles =
        arma::linspace<arma::vec>(0.0, twoPi, static_cast<arma::uword>(angleCount) + 1).head(angleCount);
    static const HarmonicTables standard = makeTables(standardAngles, harmonicCount);
    if (harmonics <= harmonicCount && angles.n_elem == standardAngles.n_elem
        && arma::approx_equal(angles, standardAngles, "absdiff", 0.0))
        return standard;
    thread_local HarmonicTables other;
    other = makeTables(angles, harmonics);
    return other;
}

} // namespace

arma::mat FourierDeform::fourierCoefficients(const arma::mat& even, int harmonics)
{
    const arma::vec angles = even.col(0);
    const arma::rowvec weighted = (even.col(1) % even.col(2)).t();
    const HarmonicTables& tables = tablesFor(angles, harmonics);
    arma::mat coefficients(static_cast<arma::uword>(harmonics), 2);
    for (int k = 0; k < harmonics; ++k) {
        const auto row = static_cast<arma::uword>(k);
        coefficients(row, 0) = arma::accu(weighted % tables.cosines.row(row)) / M_PI;
        coefficients(row, 1) = arma::accu(weighted % tables.sines.row(row)) / M_PI;
    }
    coefficients(0, 0) *= 0.5;
    return coefficients;
}

arma::vec FourierDeform::selectHarmonics(const arma::mat& even, const arma::mat& coefficients, int mode)
{
    const arma::vec angles = even.col(0);
    const HarmonicTables& tables = tablesFor(angles, static_cast<int>(coefficients.n_rows));
    arma::rowvec radii(angles.n_elem, arma::fill::value(coefficients(0, 0)));
    for (arma::uword k = 1; k < coefficients.n_rows; ++k) {
        const bool odd = k % 2 == 1;
        if ((mode == 0 && !odd) || (mode == 1 && odd))
            continue;
        radii += coefficients(k, 0) * tables.cosines.row(k) + coefficients(k, 1) * tables.sines.row(k);
    }
    return radii.t();
}

std::vector<cv::Point2f> FourierDeform::reconstructContour(const arma::vec& angles, const arma::vec& radii)
{
    std::vector<cv::Point2f> curve(angles.n_elem);
    for (arma::uword j = 0; j < angles.n_elem; ++j) {
        curve[j] = cv::Point2f(static_cast<float>(radii(j) * std::cos(angles(j))),
                               static_cast<float>(radii(j) * std::sin(angles(j))));
    }
    return curve;
}

double FourierDeform::contourDeformation(const std::vector<cv::Point2f>& curve)
{
    const double area = cv::contourArea(curve);
    const double perimeter = cv::arcLength(curve, true);
    return 1.0 - 2.0 * std::sqrt(M_PI * area) / perimeter;
}

FourierDeformResult FourierDeform::deformFromContour(const std::vector<cv::Point>& contour, int harmonics)
{
    try {
        std::vector<cv::Point> hull;
        cv::convexHull(contour, hull, false);
        const arma::mat points = densifyHull(hull, samplesPerEdge);
        const arma::mat even = resampleEvenAngles(toPolarSorted(points), angleCount);
        const arma::mat coefficients = fourierCoefficients(even, harmonics);
        const arma::vec angles = even.col(0);
        FourierDeformResult result;
        result.deformOdd = contourDeformation(reconstructContour(angles, selectHarmonics(even, coefficients, 0)));
        result.deformEven = contourDeformation(reconstructContour(angles, selectHarmonics(even, coefficients, 1)));
        result.deformFc = contourDeformation(reconstructContour(angles, selectHarmonics(even, coefficients, 2)));
        return result;
    } catch (const std::exception& e) {
        std::cerr << (std::string("[DUD] ") + e.what() + "\n") << std::flush;
    } catch (...) {
    }
    return failed;
}

bool FourierDeform::compute(RTDCReader* reader)
{
    if (!reader || !reader->hasMask())
        return false;
    const auto n = static_cast<std::size_t>(reader->eventCount());
    std::vector<double> odd(n, nan);
    std::vector<double> even(n, nan);
    std::vector<double> fc(n, nan);
    EventProgress progress(n, 100, 0, 100, [this](int percent) { emit progressChanged(percent); });
    std::atomic<std::size_t> done{0};
    // A damaged region is logged as runs of events once the walk has ended.
    FrameFailures unreadable(true);
    parallelFor(n, eventGrain, [&](std::size_t begin, std::size_t end) {
        // The chunk's masks in one read (see FrameBlock for a damaged one).
        FrameBlock masks(*reader, true, begin, end - begin, &unreadable);
        for (std::size_t d = begin; d < end; ++d) {
            if (cancelRequested.load(std::memory_order_relaxed))
                return;
            const cv::Mat mask = masks.frame(d);
            if (!mask.empty()) {
                try {
                    const std::vector<cv::Point> contour = largestContour(mask);
                    if (contour.size() >= 5 && cv::contourArea(contour) > 0.0) {
                        const FourierDeformResult r = deformFromContour(contour, harmonicCount);
                        if (std::isfinite(r.deformOdd) && std::isfinite(r.deformEven)) {
                            odd[d] = r.deformOdd;
                            even[d] = r.deformEven;
                        }
                        if (std::isfinite(r.deformFc))
                            fc[d] = r.deformFc;
                    }
                } catch (const std::exception& e) {
                    std::cerr << (std::string("[DUD] ") + e.what() + "\n") << std::flush;
                } catch (...) {
                }
            }
            done.fetch_add(1, std::memory_order_relaxed);
            progress.eventFinished();
        }
    });
    unreadable.report();
    if (done.load() < n)
        return false;
    reader->setFeature("deform_odd", std::move(odd));
    reader->setFeature("deform_even", std::move(even));
    reader->setFeature("deform_fc", std::move(fc));
    emit progressChanged(100);
    return true;
}

} // namespace Tervane3
