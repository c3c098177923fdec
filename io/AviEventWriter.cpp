// The AVI video of an export (see AviEventWriter.h), through OpenCV's video writer.
#include "io/AviEventWriter.h"

#include "core/RTDCReader.h"

#include <QFileInfo>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <unordered_set>

namespace Tervane3 {

namespace {

constexpr int kAverageFrames = 100;
constexpr double kFramesPerSecond = 25.0;

// The camera frame of an event for duplicate skipping; false when it has none usable.
bool cameraFrame(const std::vector<double>& column, int index, std::int64_t& frame)
{
    if (index < 0 || static_cast<size_t>(index) >= column.size())
        return false;
    const double value = std::trunc(column[static_cast<size_t>(index)]);
    // 2^63 is exactly representable; everything below it converts without overflow.
    if (!std::isfinite(value) || value < -9223372036854775808.0 || value >= 9223372036854775808.0)
        return false;
    frame = static_cast<std::int64_t>(value);
    return true;
}

} // namespace

AviWriteResult writeEventsAvi(const QString& path, const RTDCReader& reader,
                              const std::vector<int>& selection, bool mjpeg,
                              bool skipDuplicateFrames, bool forReanalysis)
{
    AviWriteResult result;
    if (!reader.hasImage()) {
        result.status = AviWriteResult::NoImages;
        return result;
    }
    if (selection.empty()) {
        result.status = AviWriteResult::NoEvents;
        return result;
    }
    int width = 0;
    int height = 0;
    for (int index : selection) {
        int w = 0;
        int h = 0;
        if (index >= 0 && !reader.readImage(static_cast<std::uint64_t>(index), w, h).empty() && w > 0 && h > 0) {
            width = w;
            height = h;
            break;
        }
    }
    if (width < 1 || height < 1) {
        result.status = AviWriteResult::NoDimensions;
        return result;
    }
    if (mjpeg && width < kMinimumMjpegWidth) {
        result.status = AviWriteResult::TooNarrowForMjpeg;
        return result;
    }
    // Images of the expected size, as an 8-bit grey matrix; empty otherwise.
    auto readFrame = [&](int index) {
        int w = 0;
        int h = 0;
        if (index < 0)
            return cv::Mat();
        const std::vector<std::uint8_t> pixels = reader.readImage(static_cast<std::uint64_t>(index), w, h);
        if (pixels.empty() || w != width || h != height)
            return cv::Mat();
        return cv::Mat(height, width, CV_8UC1, const_cast<std::uint8_t*>(pixels.data())).clone();
    };
    try {
        // Colour frames for MJPEG; uncompressed colour frames would be stored as lossy
        // I420, single-channel ones as 8-bit grey that reads back exactly. FFmpeg only: it
        // refuses frames one pixel wide or high, for which OpenCV would fall back to its
        // own MJPEG writer, which corrupts the heap on them.
        const int fourcc = mjpeg ? cv::VideoWriter::fourcc('M', 'J', 'P', 'G') : 0;
        // FFmpeg's writer silently drops the last column and row of frames of odd width or
        // height: such frames get a black column or row added instead, so every pixel of
        // the images is kept. One pixel wide or high stays as it is (FFmpeg refuses it).
        const int videoWidth = width > 1 ? width + (width & 1) : width;
        const int videoHeight = height > 1 ? height + (height & 1) : height;
        cv::VideoWriter writer(path.toStdString(), cv::CAP_FFMPEG, fourcc, kFramesPerSecond,
                               cv::Size(videoWidth, videoHeight), mjpeg);
        if (!writer.isOpened()) {
            result.status = AviWriteResult::OpenFailed;
            return result;
        }
        cv::Mat colour;
        cv::Mat padded;
        auto put = [&](const cv::Mat& image) {
            const cv::Mat* grey = &image;
            if (videoWidth != width || videoHeight != height) {
                cv::copyMakeBorder(image, padded, 0, videoHeight - height, 0, videoWidth - width,
                                   cv::BORDER_CONSTANT, cv::Scalar(0));
                grey = &padded;
            }
            if (mjpeg) {
                cv::cvtColor(*grey, colour, cv::COLOR_GRAY2BGR);
                writer.write(colour);
            } else {
                writer.write(*grey);
            }
            ++result.frames;
        };
        if (forReanalysis) {
            cv::Mat sum = cv::Mat::zeros(height, width, CV_64FC1);
            int added = 0;
            for (int index : selection) {
                const cv::Mat image = readFrame(index);
                if (image.empty())
                    continue;
                cv::Mat asDouble;
                image.convertTo(asDouble, CV_64F);
                sum += asDouble;
                ++added;
            }
            if (added > 0)
                sum /= added;
            cv::Mat average;
            sum.convertTo(average, CV_8U);
            for (int i = 0; i < kAverageFrames; ++i)
                put(average);
        }
        const std::vector<double>& frames = skipDuplicateFrames ? reader.getFeature("frame") : emptyColumn();
        std::unordered_set<std::int64_t> seen;
        for (int index : selection) {
            std::int64_t frame = 0;
            if (!frames.empty() && cameraFrame(frames, index, frame) && !seen.insert(frame).second)
                continue;
            const cv::Mat image = readFrame(index);
            if (!image.empty())
                put(image);
        }
        writer.release();
    } catch (const cv::Exception& e) {
        std::cerr << "Error writing video: " << e.what() << std::endl;
        result.status = AviWriteResult::WriteFailed;
        return result;
    }
    // The writer reports no failure of its own: a finished video is a file with content.
    result.status = QFileInfo(path).size() > 0 ? AviWriteResult::Written : AviWriteResult::WriteFailed;
    return result;
}

} // namespace Tervane3
