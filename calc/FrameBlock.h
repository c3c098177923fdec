// The images or masks of a block of events, read at once for the calculations that walk all
// events: the file lock is taken once per block and the library inflates each compressed
// chunk once. One damaged frame fails the read of the whole block; such a block is read again
// event by event as its frames are asked for, so only the unreadable events go without one.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tervane3 {

class RTDCReader;

class FrameBlock
{
public:
    // Reads the frames of events first .. first + count - 1 from the image or mask stack.
    FrameBlock(const RTDCReader& reader, bool mask, std::size_t first, std::size_t count);

    // The frame of event `index` (within the block) as an 8-bit single-channel matrix over
    // this object's buffer, valid until the next call or the object's end; empty when the
    // stack holds no such frame or it cannot be read.
    cv::Mat frame(std::size_t index);

private:
    const RTDCReader& reader;
    const bool mask;
    const std::size_t first;
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    std::size_t frameSize = 0;
    std::size_t frames = 0;
    bool eventByEvent = false;
};

} // namespace Tervane3
