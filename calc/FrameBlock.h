// The images or masks of a block of events, read at once for the calculations that walk all
// events: the file lock is taken once per block and the library inflates each compressed
// chunk once. One damaged frame fails the read of the whole block; such a block is read again
// event by event as its frames are asked for, so only the unreadable events go without one.
// The unreadable events of a whole calculation are logged together (FrameFailures): one line
// per run of consecutive events, not one per event.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;

// The events of one calculation whose frame could not be read. Blocks on any thread add to
// it; report() (or the destructor) sends one reader message per run of consecutive events,
// with the run's count and range and the reason of its first event.
class FrameFailures
{
public:
    explicit FrameFailures(bool masks);
    ~FrameFailures();
    FrameFailures(const FrameFailures&) = delete;
    FrameFailures& operator=(const FrameFailures&) = delete;

    void add(std::size_t event, const std::string& reason); // any thread
    // The lines report() sends, in event order; "Error reading masks of 3 events (12 to 14):
    // <reason>", "Error reading the image of event 7: <reason>" for a run of one.
    std::vector<std::string> lines() const;
    // Sends the lines and forgets the events; a second call sends nothing new.
    void report();

private:
    const bool masks;
    mutable std::mutex mutex;
    std::map<std::size_t, std::string> failed; // event -> reason
};

class FrameBlock
{
public:
    // Reads the frames of events first .. first + count - 1 from the image or mask stack.
    // Events whose frame cannot be read are added to `failures` when given, else each is
    // reported on its own by the reader.
    FrameBlock(const RTDCReader& reader, bool mask, std::size_t first, std::size_t count,
               FrameFailures* failures = nullptr);

    // The frame of event `index` (within the block) as an 8-bit single-channel matrix over
    // this object's buffer, valid until the next call or the object's end; empty when the
    // stack holds no such frame or it cannot be read.
    cv::Mat frame(std::size_t index);

private:
    std::vector<std::uint8_t> read(std::size_t firstEvent, std::size_t count);

    const RTDCReader& reader;
    const bool mask;
    const std::size_t first;
    FrameFailures* const failures;
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    std::size_t frameSize = 0;
    std::size_t frames = 0;
    bool eventByEvent = false;
};

} // namespace Tervane3
