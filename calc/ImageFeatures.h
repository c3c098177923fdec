// Texture, brightness, radial-profile, spectral and focus features of each cell's image
// within its mask: 24 columns per dataset (featureNames, in that order).
//
// Threads: compute() runs on the calculation worker and spreads the events over
// parallelFor's threads; each event works on local buffers and writes its own slots, and
// the columns are stored at the end, so one thread and many give the same columns.
// cancelRequested may be set from any thread.
#pragma once

#include <QObject>

#include <opencv2/core.hpp>

#include <atomic>
#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;

class ImageFeatures : public QObject
{
    Q_OBJECT

public:
    explicit ImageFeatures(QObject* parent = nullptr);

    // Computes the 24 features of every event and stores them. False, with nothing stored,
    // for a null reader, a reader without images or masks, or a cancelled run. Events whose
    // image or mask is missing or of another size, or with fewer than 16 masked pixels,
    // get NaN in every column.
    bool compute(RTDCReader* reader);

    // The 24 keys in column order; built once, shared for the life of the process.
    static const std::vector<std::string>& featureNames();

    // The 24 values of one event (8-bit single-channel image and mask of one size; a pixel
    // belongs to the cell when its mask value is not 0); out is first set to 24 NaN. False
    // when the event cannot be analysed.
    static bool computeEvent(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out);

    // The masked pixels of an event in row-major order.
    struct Pixels
    {
        std::vector<double> values;
        std::vector<double> x; // column
        std::vector<double> y; // row
    };
    // Each appends its values to out in column order (9, 3, 4, 4 and 4 values).
    static void brightnessFeatures(const Pixels& pixels, std::vector<double>& out);
    static void lbpFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out);
    static void radialFeatures(const Pixels& pixels, std::vector<double>& out);
    static void spectralFeatures(const cv::Mat& image, const cv::Mat& mask, const Pixels& pixels,
                                 std::vector<double>& out);
    static void focusFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out);
    // Least-squares slope of y over x; NaN with fewer than two points or no spread in x.
    static double linearSlope(const std::vector<double>& x, const std::vector<double>& y);

    // Set from any thread to stop the run. Whoever starts a run clears it beforehand;
    // compute() never does, or a stop asked for while the run was being started would be lost.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work, every 100 events and 100 at the end.
    void progressChanged(int percent);
};

} // namespace Tervane3
