// Gallery page rendering on pool threads. The reader takes the HDF5 lock for each read, so
// a render, an automatic-contrast task and the GUI thread may share one reader.
#include "windows/GalleryRender.h"

#include "core/RTDCReader.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace Tervane3 {

namespace {

bool stopped(const std::shared_ptr<std::atomic<bool>>& stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

} // namespace

cv::Mat extractGalleryCutout(const RTDCReader& reader, int eventIndex, int cutoutWidth, int cutoutHeight,
                             double pixelSize)
{
    if (eventIndex < 0 || cutoutWidth < 1 || cutoutHeight < 1)
        return cv::Mat();
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels = reader.readImage(static_cast<std::uint64_t>(eventIndex), width, height);
    if (pixels.empty() || width < 1 || height < 1 ||
        pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
        return cv::Mat();

    double cx = width * 0.5;
    double cy = height * 0.5;
    if (pixelSize > 0 && reader.hasFeature("pos_x") && reader.hasFeature("pos_y")) {
        const std::vector<double>& posX = reader.getFeature("pos_x");
        const std::vector<double>& posY = reader.getFeature("pos_y");
        const auto i = static_cast<size_t>(eventIndex);
        if (i < posX.size() && i < posY.size() && std::isfinite(posX[i]) && std::isfinite(posY[i])) {
            cx = posX[i] / pixelSize;
            cy = posY[i] / pixelSize;
        }
    }
    // A centre far outside the image gives a black cutout; keep the arithmetic in range.
    cx = std::clamp(cx, -1e6, 1e6);
    cy = std::clamp(cy, -1e6, 1e6);

    const cv::Mat image(height, width, CV_8UC1, pixels.data());
    const long x0 = std::lround(cx) - cutoutWidth / 2;
    const long y0 = std::lround(cy) - cutoutHeight / 2;
    const long x1 = x0 + cutoutWidth;
    const long y1 = y0 + cutoutHeight;
    const long sx0 = std::max(0L, x0);
    const long sy0 = std::max(0L, y0);
    const long sx1 = std::min(static_cast<long>(width), x1);
    const long sy1 = std::min(static_cast<long>(height), y1);
    if (sx1 <= sx0 || sy1 <= sy0)
        return cv::Mat::zeros(cutoutHeight, cutoutWidth, CV_8UC1);

    cv::Mat cutout;
    const cv::Rect region(static_cast<int>(sx0), static_cast<int>(sy0), static_cast<int>(sx1 - sx0),
                          static_cast<int>(sy1 - sy0));
    cv::copyMakeBorder(image(region), cutout, static_cast<int>(std::max(0L, -y0)),
                       static_cast<int>(std::max(0L, y1 - height)), static_cast<int>(std::max(0L, -x0)),
                       static_cast<int>(std::max(0L, x1 - width)), cv::BORDER_CONSTANT, cv::Scalar(0));
    if (cutout.cols != cutoutWidth || cutout.rows != cutoutHeight)
        cv::resize(cutout, cutout, cv::Size(cutoutWidth, cutoutHeight), 0, 0, cv::INTER_LINEAR);
    return cutout;
}

GalleryRenderResult renderGalleryPage(GalleryRenderInput input, std::shared_ptr<RTDCReader> reader,
                                      std::shared_ptr<std::atomic<bool>> stop)
{
    GalleryRenderResult result;
    result.generation = input.generation;
    if (!reader)
        return result;
    const int lo = std::max(input.contrastLow, 0);
    const int hi = std::min(input.contrastHigh, 255);
    result.cells.reserve(input.eventIndices.size());
    for (const int index : input.eventIndices) {
        if (stopped(stop))
            break;
        GalleryCell cell;
        cell.eventIndex = index;
        cell.image = extractGalleryCutout(*reader, index, input.cutoutWidth, input.cutoutHeight, input.pixelSize);
        if (!cell.image.empty()) {
            if (hi <= lo) {
                cell.image.setTo(cv::Scalar(0));
            } else if (lo > 0 || hi < 255) {
                // The saturating 8-bit conversion rounds halves to even.
                const double a = 255.0 / (hi - lo);
                cell.image.convertTo(cell.image, CV_8UC1, a, -lo * a);
            }
        }
        result.cells.push_back(std::move(cell));
    }
    return result;
}

std::pair<int, int> computeGalleryAutoContrast(std::shared_ptr<RTDCReader> reader, std::vector<int> eventIndices,
                                               std::shared_ptr<std::atomic<bool>> stop)
{
    if (!reader || eventIndices.empty())
        return {0, 255};
    // The sample is the same for the same event list: a fixed seed and our own uniform draw
    // (the standard distributions differ between libraries).
    std::mt19937 random(12345);
    for (size_t i = 1; i < eventIndices.size(); ++i) {
        const std::uint64_t range = static_cast<std::uint64_t>(i) + 1;
        const std::uint64_t limit = (std::uint64_t(1) << 32) - ((std::uint64_t(1) << 32) % range);
        std::uint64_t draw = random();
        while (draw >= limit)
            draw = random();
        std::swap(eventIndices[i], eventIndices[static_cast<size_t>(draw % range)]);
    }
    const size_t count = std::min<size_t>(eventIndices.size(), 200);
    std::vector<std::uint8_t> sample;
    sample.reserve(count * 1024);
    for (size_t k = 0; k < count; ++k) {
        if (stopped(stop))
            return {0, 255};
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> pixels =
            reader->readImage(static_cast<std::uint64_t>(std::max(eventIndices[k], 0)), width, height);
        for (size_t p = 0; p < pixels.size(); p += 8)
            sample.push_back(pixels[p]);
    }
    if (sample.empty())
        return {0, 255};
    // A saturated sample keeps one grey step, so white stays white.
    const int lo = std::min(galleryPercentile(sample, 1.0), 254);
    const int h = galleryPercentile(sample, 99.0);
    return {lo, h > lo ? h : std::min(lo + 1, 255)};
}

int galleryPercentile(std::vector<std::uint8_t>& sample, double p)
{
    if (sample.empty())
        return 0;
    const auto k = static_cast<size_t>(std::floor(p / 100.0 * static_cast<double>(sample.size() - 1)));
    const size_t at = std::min(k, sample.size() - 1);
    std::nth_element(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(at), sample.end());
    return sample[at];
}

double galleryPercentile99(const std::vector<double>& column, const std::vector<int>& eventIndices)
{
    std::vector<double> values;
    values.reserve(eventIndices.size());
    for (const int i : eventIndices) {
        if (i < 0 || static_cast<size_t>(i) >= column.size())
            continue;
        const double v = column[static_cast<size_t>(i)];
        if (std::isfinite(v))
            values.push_back(v);
    }
    if (values.empty())
        return 0.0;
    const auto k = static_cast<size_t>(std::floor(0.99 * static_cast<double>(values.size() - 1)));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

int galleryCutoutExtent(double size, double pixelSize, int margin)
{
    if (!(size > 0) || !std::isfinite(size) || !(pixelSize > 0) || !std::isfinite(pixelSize))
        return 0;
    // Clamped before the conversion: a size in the wrong unit or a tiny pixel size must not
    // ask for gigapixel cutouts, and ceil(inf) has no int.
    const double extent = std::clamp(std::ceil(size / pixelSize) + 2.0 * margin, 8.0, 1024.0);
    const int w = static_cast<int>(extent);
    return w % 2 ? w + 1 : w;
}

int galleryColumnsFor(int pageSize)
{
    if (pageSize <= 25)
        return 5;
    if (pageSize <= 100)
        return 10;
    return 20;
}

} // namespace Tervane3
