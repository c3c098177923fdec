// Block reads of images and masks with a per-event fallback for damaged blocks, and the
// run-length log of the events that stayed unreadable.
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

FrameFailures::FrameFailures(bool maskStack)
    : masks(maskStack)
{
}

FrameFailures::~FrameFailures()
{
    report();
}

void FrameFailures::add(std::size_t event, const std::string& reason)
{
    std::lock_guard<std::mutex> lock(mutex);
    failed.emplace(event, reason);
}

std::vector<std::string> FrameFailures::lines() const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> out;
    for (auto it = failed.begin(); it != failed.end();) {
        const std::size_t begin = it->first;
        const std::string& reason = it->second;
        std::size_t last = begin;
        auto next = std::next(it);
        while (next != failed.end() && next->first == last + 1) {
            last = next->first;
            ++next;
        }
        if (last == begin) {
            out.push_back(std::string(masks ? "Error reading the mask of event " : "Error reading the image of event ")
                          + std::to_string(begin) + ": " + reason);
        } else {
            out.push_back(std::string(masks ? "Error reading the masks of " : "Error reading the images of ")
                          + std::to_string(last - begin + 1) + " events (" + std::to_string(begin) + " to "
                          + std::to_string(last) + "): " + reason);
        }
        it = next;
    }
    return out;
}

void FrameFailures::report()
{
    for (const std::string& line : lines())
        sendReaderMessage(line);
    std::lock_guard<std::mutex> lock(mutex);
    failed.clear();
}

FrameBlock::FrameBlock(const RTDCReader& source, bool masks, std::size_t firstEvent, std::size_t count,
                       FrameFailures* failureLog)
    : reader(source)
    , mask(masks)
    , first(firstEvent)
    , failures(failureLog)
{
    if (failures) {
        // A failed block read is no event's failure yet: the single reads tell which events.
        std::string failure;
        pixels = reader.readFramesUnreported(mask, first, count, width, height, failure);
    } else {
        pixels = mask ? reader.readMasks(first, count, width, height) : reader.readImages(first, count, width, height);
    }
    frameSize = frameBytes(width, height);
    frames = frameSize > 0 ? pixels.size() / frameSize : 0;
    // An empty answer is a failed read, or a stack that ends before the block: the single
    // reads of the latter return at once.
    eventByEvent = count > 0 && pixels.empty();
}

std::vector<std::uint8_t> FrameBlock::read(std::size_t event, std::size_t count)
{
    if (!failures)
        return mask ? reader.readMasks(event, count, width, height) : reader.readImages(event, count, width, height);
    std::string failure;
    std::vector<std::uint8_t> result = reader.readFramesUnreported(mask, event, count, width, height, failure);
    if (!failure.empty())
        failures->add(event, failure);
    return result;
}

cv::Mat FrameBlock::frame(std::size_t index)
{
    if (index < first)
        return cv::Mat();
    if (eventByEvent) {
        pixels = read(index, 1);
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
