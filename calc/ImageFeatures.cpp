// The 24 image features of an event, group by group. OpenCV does every image operation:
// float conversion, Sobel and Laplacian (aperture 3, reflect-101 border), the 11 x 11
// elliptic dilation and erosion (default constant border), the optimal DFT size and the DFT.
// The derivatives and the morphology run on the cell's bounding box widened by 11 pixels:
// the focus region (box + 5) and the edge band (mask + 5) lie at least 6 pixels inside it
// or at the image's own edge, where the border rules are those of the whole image, so the
// values are those of filtering the whole image at a fraction of the cost.
#include "calc/ImageFeatures.h"

#include "calc/EventProgress.h"
#include "calc/FrameBlock.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t featureCount = 24;
constexpr int minimumPixels = 16;
constexpr std::size_t eventGrain = 32;

// Interpolated quantile of sorted values: position p (N - 1) between order statistics.
double quantile(const std::vector<double>& sorted, double p)
{
    const double t = p * static_cast<double>(sorted.size() - 1);
    const auto i = static_cast<std::size_t>(std::floor(t));
    if (i + 1 < sorted.size())
        return sorted[i] + (t - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
    return sorted[i];
}

// The nearest integer, halves away from zero.
long nearest(double value)
{
    return std::lround(value);
}

double entropyBits(const std::vector<double>& probabilities)
{
    double entropy = 0.0;
    for (double p : probabilities) {
        if (p > 0.0)
            entropy -= p * std::log2(p);
    }
    return entropy;
}

struct Centroid
{
    double cx = 0.0;
    double cy = 0.0;
    double rmax = 0.0;
    std::vector<double> r;
};

Centroid centroidOf(const ImageFeatures::Pixels& pixels)
{
    Centroid c;
    const std::size_t n = pixels.values.size();
    for (std::size_t i = 0; i < n; ++i) {
        c.cx += pixels.x[i];
        c.cy += pixels.y[i];
    }
    c.cx /= static_cast<double>(n);
    c.cy /= static_cast<double>(n);
    c.r.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        c.r[i] = std::hypot(pixels.x[i] - c.cx, pixels.y[i] - c.cy);
        c.rmax = std::max(c.rmax, c.r[i]);
    }
    return c;
}

} // namespace

ImageFeatures::ImageFeatures(QObject* parent)
    : QObject(parent)
{
}

const std::vector<std::string>& ImageFeatures::featureNames()
{
    static const std::vector<std::string> names = {
        "bright_median",   "bright_perc_10",     "bright_perc_90", "bright_iqr",       "bright_mad",
        "bright_cv",       "bright_skew",        "bright_kurt",    "bright_entropy",   "lbp_entropy",
        "lbp_uniformity",  "lbp_spot",           "radial_slope",   "radial_cer",       "radial_contrast",
        "radial_ringdepth", "spectral_slope",    "spectral_centroid", "spectral_hf",   "spectral_entropy",
        "focus_tenengrad", "focus_lapvar",       "focus_brenner",  "focus_edge",
    };
    return names;
}

double ImageFeatures::linearSlope(const std::vector<double>& x, const std::vector<double>& y)
{
    const std::size_t n = std::min(x.size(), y.size());
    if (n < 2)
        return nan;
    double mx = 0.0;
    double my = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxy = 0.0;
    double sxx = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return sxx > 0.0 ? sxy / sxx : nan;
}

void ImageFeatures::brightnessFeatures(const Pixels& pixels, std::vector<double>& out)
{
    const std::vector<double>& v = pixels.values;
    const auto n = static_cast<double>(v.size());
    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    double mu = 0.0;
    for (double value : v)
        mu += value;
    mu /= n;
    double m2 = 0.0;
    double m3 = 0.0;
    double m4 = 0.0;
    for (double value : v) {
        const double d = value - mu;
        m2 += d * d;
        m3 += d * d * d;
        m4 += d * d * d * d;
    }
    m2 /= n;
    m3 /= n;
    m4 /= n;
    const double median = quantile(sorted, 0.5);
    std::vector<double> deviations(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        deviations[i] = std::fabs(v[i] - median);
    std::sort(deviations.begin(), deviations.end());
    std::vector<double> histogram(256, 0.0);
    for (double value : v) {
        const int bin = std::clamp(static_cast<int>(value), 0, 255);
        histogram[static_cast<std::size_t>(bin)] += 1.0;
    }
    for (double& count : histogram)
        count /= n;

    out.push_back(median);
    out.push_back(quantile(sorted, 0.1));
    out.push_back(quantile(sorted, 0.9));
    out.push_back(quantile(sorted, 0.75) - quantile(sorted, 0.25));
    out.push_back(1.4826 * quantile(deviations, 0.5));
    out.push_back(mu == 0.0 ? nan : std::sqrt(m2) / mu);
    out.push_back(m2 > 0.0 ? m3 / std::pow(m2, 1.5) : nan);
    out.push_back(m2 > 0.0 ? m4 / (m2 * m2) - 3.0 : nan);
    out.push_back(entropyBits(histogram));
}

void ImageFeatures::lbpFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out)
{
    // Neighbours in circular order east, north-east, north, north-west, west, south-west,
    // south, south-east (north = the row above).
    static constexpr int dx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    static constexpr int dy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    std::array<double, 10> bins{};
    double visited = 0.0;
    for (int row = 1; row <= image.rows - 2; ++row) {
        for (int col = 1; col <= image.cols - 2; ++col) {
            if (mask.at<std::uint8_t>(row, col) == 0)
                continue;
            const std::uint8_t centre = image.at<std::uint8_t>(row, col);
            std::array<int, 8> bits{};
            int ones = 0;
            for (int k = 0; k < 8; ++k) {
                bits[static_cast<std::size_t>(k)] = image.at<std::uint8_t>(row + dy[k], col + dx[k]) >= centre ? 1 : 0;
                ones += bits[static_cast<std::size_t>(k)];
            }
            int changes = 0;
            for (std::size_t k = 0; k < 8; ++k)
                changes += bits[k] != bits[(k + 1) % 8];
            bins[changes <= 2 ? static_cast<std::size_t>(ones) : 9] += 1.0;
            visited += 1.0;
        }
    }
    if (visited == 0.0) {
        out.insert(out.end(), {nan, nan, nan});
        return;
    }
    std::vector<double> p(bins.begin(), bins.end());
    for (double& value : p)
        value /= visited;
    out.push_back(entropyBits(p));
    out.push_back(1.0 - p[9]);
    out.push_back(p[0] + p[8]);
}

void ImageFeatures::radialFeatures(const Pixels& pixels, std::vector<double>& out)
{
    const Centroid c = centroidOf(pixels);
    if (!(c.rmax > 0.0)) {
        out.insert(out.end(), {nan, nan, nan, nan});
        return;
    }
    std::array<double, 10> sums{};
    std::array<double, 10> counts{};
    for (std::size_t i = 0; i < pixels.values.size(); ++i) {
        const int ring = std::clamp(static_cast<int>(c.r[i] / c.rmax * 10.0), 0, 9);
        sums[static_cast<std::size_t>(ring)] += pixels.values[i];
        counts[static_cast<std::size_t>(ring)] += 1.0;
    }
    std::vector<double> t;
    std::vector<double> m;
    double inner = 0.0;
    double innerCount = 0.0;
    double outer = 0.0;
    double outerCount = 0.0;
    for (std::size_t k = 0; k < 10; ++k) {
        if (counts[k] == 0.0)
            continue;
        const double radius = (static_cast<double>(k) + 0.5) / 10.0;
        const double mean = sums[k] / counts[k];
        t.push_back(radius);
        m.push_back(mean);
        if (radius < 0.25) {
            inner += mean;
            innerCount += 1.0;
        } else if (radius > 0.75) {
            outer += mean;
            outerCount += 1.0;
        }
    }
    if (t.size() < 2) {
        out.insert(out.end(), {nan, nan, nan, nan});
        return;
    }
    const double low = *std::min_element(m.begin(), m.end());
    const double high = *std::max_element(m.begin(), m.end());
    out.push_back(linearSlope(t, m));
    out.push_back(innerCount > 0.0 && outerCount > 0.0 && outer > 0.0 ? (inner / innerCount) / (outer / outerCount)
                                                                        : nan);
    out.push_back(high + low > 0.0 ? (high - low) / (high + low) : nan);
    double depth = 0.0;
    const double tFirst = t.front();
    const double tLast = t.back();
    if (tFirst < tLast) {
        for (std::size_t k = 0; k < t.size(); ++k) {
            const double chord = m.front() + (m.back() - m.front()) * (t[k] - tFirst) / (tLast - tFirst);
            depth = std::max(depth, chord - m[k]);
        }
    }
    out.push_back(high - low > 0.0 ? depth / (high - low) : 0.0);
}

void ImageFeatures::spectralFeatures(const cv::Mat& image, const cv::Mat& mask, const Pixels& pixels,
                                     std::vector<double>& out)
{
    const Centroid c = centroidOf(pixels);
    double mu = 0.0;
    for (double value : pixels.values)
        mu += value;
    mu /= static_cast<double>(pixels.values.size());
    const long h = std::max(static_cast<long>(std::ceil(c.rmax)) + 2, 4L);
    const long x0 = std::clamp(nearest(c.cx) - h, 0L, static_cast<long>(image.cols) - 1);
    const long x1 = std::clamp(nearest(c.cx) + h, 0L, static_cast<long>(image.cols) - 1);
    const long y0 = std::clamp(nearest(c.cy) - h, 0L, static_cast<long>(image.rows) - 1);
    const long y1 = std::clamp(nearest(c.cy) + h, 0L, static_cast<long>(image.rows) - 1);
    const long side = std::min(x1 - x0, y1 - y0) + 1;
    if (side < 8) {
        out.insert(out.end(), {nan, nan, nan, nan});
        return;
    }
    const int size = cv::getOptimalDFTSize(static_cast<int>(side));
    std::vector<double> window(static_cast<std::size_t>(size));
    for (int j = 0; j < size; ++j)
        window[static_cast<std::size_t>(j)] = 0.5 * (1.0 - std::cos(2.0 * M_PI * j / (size - 1)));
    cv::Mat patch(size, size, CV_32FC1, cv::Scalar(0));
    for (long r = 0; r < side; ++r) {
        for (long col = 0; col < side; ++col) {
            const int px = static_cast<int>(x0 + col);
            const int py = static_cast<int>(y0 + r);
            const double u = mask.at<std::uint8_t>(py, px) != 0 ? image.at<std::uint8_t>(py, px) : mu;
            patch.at<float>(static_cast<int>(r), static_cast<int>(col)) =
                static_cast<float>((u - mu) * window[static_cast<std::size_t>(r)] * window[static_cast<std::size_t>(col)]);
        }
    }
    cv::Mat spectrum;
    cv::dft(patch, spectrum, cv::DFT_COMPLEX_OUTPUT);
    const int half = size / 2;
    std::vector<double> power(static_cast<std::size_t>(half) + 1, 0.0);
    std::vector<double> count(static_cast<std::size_t>(half) + 1, 0.0);
    for (int a = 0; a < size; ++a) {
        const int fa = a > half ? a - size : a;
        for (int b = 0; b < size; ++b) {
            const int fb = b > half ? b - size : b;
            const long k = nearest(std::hypot(static_cast<double>(fb), static_cast<double>(fa)));
            if (k > half)
                continue;
            const cv::Vec2f value = spectrum.at<cv::Vec2f>(a, b);
            const double re = value[0];
            const double im = value[1];
            power[static_cast<std::size_t>(k)] += re * re + im * im;
            count[static_cast<std::size_t>(k)] += 1.0;
        }
    }
    std::vector<double> rings;
    std::vector<double> meanPower;
    for (int k = 1; k <= half; ++k) {
        if (count[static_cast<std::size_t>(k)] > 0.0) {
            rings.push_back(k);
            meanPower.push_back(power[static_cast<std::size_t>(k)] / count[static_cast<std::size_t>(k)]);
        }
    }
    if (rings.size() < 3) {
        out.insert(out.end(), {nan, nan, nan, nan});
        return;
    }
    double total = 0.0;
    double weighted = 0.0;
    double high = 0.0;
    std::vector<double> logK;
    std::vector<double> logP;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        total += meanPower[i];
        weighted += rings[i] * meanPower[i];
        if (rings[i] > half / 2.0)
            high += meanPower[i];
        if (meanPower[i] > 0.0) {
            logK.push_back(std::log(rings[i]));
            logP.push_back(std::log(meanPower[i]));
        }
    }
    std::vector<double> shares(meanPower.size(), 0.0);
    if (total > 0.0) {
        for (std::size_t i = 0; i < meanPower.size(); ++i)
            shares[i] = meanPower[i] / total;
    }
    out.push_back(linearSlope(logK, logP));
    out.push_back(total > 0.0 ? weighted / total : nan);
    out.push_back(total > 0.0 ? high / total : nan);
    out.push_back(entropyBits(shares));
}

void ImageFeatures::focusFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out)
{
    const cv::Rect box = cv::boundingRect(mask);
    const cv::Rect whole(0, 0, image.cols, image.rows);
    // The box widened by 11 pixels, as a view into the whole image (see the file's head).
    const cv::Rect work = cv::Rect(box.x - 11, box.y - 11, box.width + 22, box.height + 22) & whole;
    // Only the work area is converted; the region and the band lie at least 6 pixels inside
    // it (or at the image's own edge), so its edge never reaches the values used.
    cv::Mat fWork;
    image(work).convertTo(fWork, CV_32F);
    cv::Mat gx;
    cv::Mat gy;
    cv::Mat laplacian;
    cv::Sobel(fWork, gx, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_DEFAULT);
    cv::Sobel(fWork, gy, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_DEFAULT);
    cv::Laplacian(fWork, laplacian, CV_32F, 3, 1.0, 0.0, cv::BORDER_DEFAULT);

    // The focus region: the box widened by 5, clipped; in the work view's coordinates.
    const cv::Rect region = (cv::Rect(box.x - 5, box.y - 5, box.width + 10, box.height + 10) & whole) - work.tl();
    double tenengrad = 0.0;
    double lapSum = 0.0;
    double lapSquares = 0.0;
    double brenner = 0.0;
    double brennerCount = 0.0;
    for (int y = region.y; y < region.y + region.height; ++y) {
        for (int x = region.x; x < region.x + region.width; ++x) {
            const double sx = gx.at<float>(y, x);
            const double sy = gy.at<float>(y, x);
            const double l = laplacian.at<float>(y, x);
            tenengrad += sx * sx + sy * sy;
            lapSum += l;
            lapSquares += l * l;
            const double value = fWork.at<float>(y, x);
            if (x + 2 < region.x + region.width) {
                const double d = fWork.at<float>(y, x + 2) - value;
                brenner += d * d;
                brennerCount += 1.0;
            }
            if (y + 2 < region.y + region.height) {
                const double d = fWork.at<float>(y + 2, x) - value;
                brenner += d * d;
                brennerCount += 1.0;
            }
        }
    }
    const double area = static_cast<double>(region.area());
    out.push_back(area > 0.0 ? tenengrad / area : nan);
    out.push_back(area > 0.0 ? lapSquares / area - (lapSum / area) * (lapSum / area) : nan);
    out.push_back(brennerCount > 0.0 ? brenner / brennerCount : nan);

    const cv::Mat element = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(11, 11));
    const cv::Mat maskWork = mask(work);
    cv::Mat dilated;
    cv::Mat eroded;
    cv::dilate(maskWork, dilated, element);
    cv::erode(maskWork, eroded, element);
    double edge = 0.0;
    double edgeCount = 0.0;
    for (int y = 0; y < maskWork.rows; ++y) {
        for (int x = 0; x < maskWork.cols; ++x) {
            if (dilated.at<std::uint8_t>(y, x) == 0 || eroded.at<std::uint8_t>(y, x) != 0)
                continue;
            const float sx = gx.at<float>(y, x);
            const float sy = gy.at<float>(y, x);
            edge += std::sqrt(sx * sx + sy * sy);
            edgeCount += 1.0;
        }
    }
    out.push_back(edgeCount > 0.0 ? edge / edgeCount : nan);
}

bool ImageFeatures::computeEvent(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out)
{
    out.assign(featureCount, nan);
    if (image.empty() || mask.empty() || image.size() != mask.size() || image.type() != CV_8UC1
        || mask.type() != CV_8UC1)
        return false;
    Pixels pixels;
    for (int y = 0; y < mask.rows; ++y) {
        for (int x = 0; x < mask.cols; ++x) {
            if (mask.at<std::uint8_t>(y, x) == 0)
                continue;
            pixels.values.push_back(image.at<std::uint8_t>(y, x));
            pixels.x.push_back(x);
            pixels.y.push_back(y);
        }
    }
    if (pixels.values.size() < static_cast<std::size_t>(minimumPixels))
        return false;
    std::vector<double> values;
    values.reserve(featureCount);
    brightnessFeatures(pixels, values);
    lbpFeatures(image, mask, values);
    radialFeatures(pixels, values);
    spectralFeatures(image, mask, pixels, values);
    focusFeatures(image, mask, values);
    if (values.size() != featureCount)
        return false;
    out = std::move(values);
    return true;
}

bool ImageFeatures::compute(RTDCReader* reader)
{
    if (!reader || !reader->hasImage() || !reader->hasMask())
        return false;
    const auto n = static_cast<std::size_t>(reader->eventCount());
    std::vector<std::vector<double>> columns(featureCount, std::vector<double>(n, nan));
    EventProgress progress(n, 100, 0, 100, [this](int percent) { emit progressChanged(percent); });
    std::atomic<std::size_t> done{0};
    // A damaged region is logged as runs of events once the walk has ended.
    FrameFailures unreadableImages(false);
    FrameFailures unreadableMasks(true);
    parallelFor(n, eventGrain, [&](std::size_t begin, std::size_t end) {
        // The chunk's images and masks in one read each (see FrameBlock for a damaged one).
        FrameBlock images(*reader, false, begin, end - begin, &unreadableImages);
        FrameBlock masks(*reader, true, begin, end - begin, &unreadableMasks);
        std::vector<double> values;
        for (std::size_t j = begin; j < end; ++j) {
            if (cancelRequested.load(std::memory_order_relaxed))
                return;
            const cv::Mat image = images.frame(j);
            const cv::Mat mask = masks.frame(j);
            if (!image.empty() && !mask.empty() && image.size == mask.size) {
                if (computeEvent(image, mask, values)) {
                    for (std::size_t k = 0; k < featureCount; ++k)
                        columns[k][j] = values[k];
                }
            }
            done.fetch_add(1, std::memory_order_relaxed);
            progress.eventFinished();
        }
    });
    unreadableImages.report();
    unreadableMasks.report();
    if (done.load() < n)
        return false;
    const std::vector<std::string>& names = featureNames();
    for (std::size_t k = 0; k < featureCount; ++k)
        reader->setFeature(names[k], std::move(columns[k]));
    emit progressChanged(100);
    return true;
}

} // namespace Tervane3
