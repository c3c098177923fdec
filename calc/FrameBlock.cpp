// Block reads of images and masks with a per-event fallback for damaged blocks.
#include "calc/FrameBlock.h"

#include "core/RTDCReader.h"

#include <algorithm>

namespace Tervane3 {

namespace {

std::size_t frameBytes(int width, int height)
{
    return static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
}

} // namespace

FrameBlock::FrameBlock(const RTDCReader& source, bool masks, std::size_t firstEvent, std::size_t count)
    : reader(source)
    , mask(masks)
    , first(firstEvent)
{
    pixels = mask ? reader.readMasks(first, count, width, height) : reader.readImages(first, count, width, height);
    frameSize = frameBytes(width, height);
    frames = frameSize > 0 ? pixels.size() / frameSize : 0;
    // An empty answer is a failed read, or a stack that ends before the block: the single
    // reads of the latter return at once.
    eventByEvent = count > 0 && pixels.empty();
}

cv::Mat FrameBlock::frame(std::size_t index)
{
    if (index < first)
        return cv::Mat();
    if (eventByEvent) {
        pixels = mask ? reader.readMask(index, width, height) : reader.readImage(index, width, height);
        if (pixels.empty() || pixels.size() != frameBytes(width, height))
            return cv::Mat();
        return cv::Mat(height, width, CV_8UC1, pixels.data());
    }
    const std::size_t k = index - first;
    if (k >= frames)
        return cv::Mat();
    return cv::Mat(height, width, CV_8UC1, pixels.data() + k * frameSize);
}

} // namespace Tervane3
