// Deformation from the Fourier decomposition of each cell's contour: the radius of the
// convex hull around its centroid, as a function of the angle, is split into harmonics
// 0 .. 10; three smoothed contours are rebuilt from the odd harmonics ("deform_odd"), the
// even ones ("deform_even") and all ("deform_fc"), and each gets the deformation
// 1 - 2 sqrt(pi A) / P of a closed curve.
//
// Threads: compute() runs on the calculation worker and spreads the events over
// parallelFor's threads; each event writes its own slot and the columns are stored at the
// end, so one thread and many give the same columns. cancelRequested may be set from any
// thread.
#pragma once

#include <QObject>

#include <armadillo>
#include <opencv2/core.hpp>

#include <atomic>
#include <vector>

namespace Tervane3 {

class RTDCReader;

struct FourierDeformResult
{
    double deformOdd;
    double deformEven;
    double deformFc;
};

class FourierDeform : public QObject
{
    Q_OBJECT

public:
    explicit FourierDeform(QObject* parent = nullptr);

    // Analyses every event's mask and stores deform_odd, deform_even and deform_fc (NaN
    // where an event's analysis failed). False, with nothing stored, for a null reader, a
    // reader without masks or a cancelled run.
    bool compute(RTDCReader* reader);

    // The outer contour of largest area of an 8-bit mask (non-zero pixels are the cell)
    // among those with at least 5 points; the first one found of equal areas; empty when
    // there is none of area above 0.
    static std::vector<cv::Point> largestContour(const cv::Mat& mask);
    // The three deformations of one contour from `harmonics` harmonics; NaN in all three when
    // the analysis fails.
    static FourierDeformResult deformFromContour(const std::vector<cv::Point>& contour, int harmonics);

    // The steps of deformFromContour, in order of use (double precision).
    // Points along the closed hull, `perEdge` per edge, relative to the hull's centroid.
    static arma::mat densifyHull(const std::vector<cv::Point>& hull, int perEdge);
    // Angle into [0, 2 pi).
    static double wrapAngle(double theta);
    // Columns radius and angle, sorted by angle (equal angles keep their order).
    static arma::mat toPolarSorted(const arma::mat& points);
    // Radii at `count` equal angle steps from 0 by linear interpolation over the sorted
    // samples extended by one period at each end; columns angle, radius, weight.
    static arma::mat resampleEvenAngles(const arma::mat& polar, int count);
    // Columns a_k, b_k for k = 0 .. harmonics - 1; a_0 is the mean radius.
    static arma::mat fourierCoefficients(const arma::mat& even, int harmonics);
    // Radii of the profile from a_0 and the harmonics of the mode (0 odd, 1 even, 2 all).
    static arma::vec selectHarmonics(const arma::mat& even, const arma::mat& coefficients, int mode);
    static std::vector<cv::Point2f> reconstructContour(const arma::vec& angles, const arma::vec& radii);
    static double contourDeformation(const std::vector<cv::Point2f>& curve);

    // Set from any thread to stop the run. Whoever starts a run clears it beforehand;
    // compute() never does, or a stop asked for while the run was being started would be lost.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work, every 100 events and 100 at the end.
    void progressChanged(int percent);
};

} // namespace Tervane3
