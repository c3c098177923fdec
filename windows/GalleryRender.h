// The background work of the image gallery: one page of cutouts (read, cut out around each
// cell, contrast applied) and the automatic grey-value limits of a dataset. Free functions
// on value records, so they run on pool threads with nothing shared but the reader (which
// holds the HDF5 lock per read) and an atomic stop flag.
#pragma once

#include <opencv2/core.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Tervane3 {

class RTDCReader;

struct GalleryRenderInput
{
    std::vector<int> eventIndices; // the page, row by row
    int cutoutWidth = 0;
    int cutoutHeight = 0;
    double pixelSize = 0.34;       // micrometres per pixel
    int contrastMode = 0;          // carried along; the render uses the limits only
    int contrastLow = 0;
    int contrastHigh = 255;
    int generation = 0;
};

struct GalleryCell
{
    cv::Mat image; // 8-bit, one channel; empty when the event has no image
    int eventIndex = -1;
};

struct GalleryRenderResult
{
    std::vector<GalleryCell> cells; // one per input index, same order (fewer when stopped)
    int generation = 0;
};

struct GalleryAutoContrastResult
{
    int lo = 0;
    int hi = 255;
    int requestId = 0;
};

// A page that would hold more pixels than this (events x cutout width x height) is not
// rendered: 400 cutouts of 1024 x 1024 would take 400 MB.
inline constexpr std::int64_t galleryMaxPagePixels = 64LL * 1000 * 1000;

// The cutout of one event: its image cut out around pos_x / pos_y (micrometres, divided by
// the pixel size; the image centre when either is missing, NaN, out of range or the pixel
// size is not positive), black outside the image, exactly cutoutWidth x cutoutHeight.
// Empty when the event has no image.
cv::Mat extractGalleryCutout(const RTDCReader& reader, int eventIndex, int cutoutWidth, int cutoutHeight,
                             double pixelSize);

// Cuts out every event of the page and applies the limits (hi <= lo: black; 0 and 255: as
// is; otherwise a saturating linear stretch). Stops after the event in work once `stop` is
// set (the cells so far are returned). Without a reader: no cells.
GalleryRenderResult renderGalleryPage(GalleryRenderInput input, std::shared_ptr<RTDCReader> reader,
                                      std::shared_ptr<std::atomic<bool>> stop = nullptr);

// Grey limits from a fixed sample: up to 200 events picked by a shuffle seeded 12345, every
// 8th pixel of each; the 1st and 99th percentile, lo at most 254 and hi above lo. (0, 255)
// without reader, events or images.
std::pair<int, int> computeGalleryAutoContrast(std::shared_ptr<RTDCReader> reader, std::vector<int> eventIndices,
                                               std::shared_ptr<std::atomic<bool>> stop = nullptr);

// The p-th percentile of a byte sample: the element at floor(p / 100 x (n - 1)) in sorted
// order (the sample is reordered); 0 for an empty sample.
int galleryPercentile(std::vector<std::uint8_t>& sample, double p);

// Value at floor(0.99 x (m - 1)) of the m finite values of a feature at the listed events
// (indices outside the column skipped); 0 when none.
double galleryPercentile99(const std::vector<double>& column, const std::vector<int>& eventIndices);

// The automatic cutout size in pixels for 99th-percentile cell sizes (micrometres): the
// size over the pixel size plus a margin on each side, clamped to 8..1024 and made even;
// 0 where a size or the pixel size is not a positive finite number.
int galleryCutoutExtent(double size, double pixelSize, int margin);

// Columns of the grid for a page size: 5 up to 25, 10 up to 100, else 20.
int galleryColumnsFor(int pageSize);

} // namespace Tervane3
