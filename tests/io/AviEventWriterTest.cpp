// The AVI video of an export, read back with OpenCV: frame counts with duplicate skipping
// and the average-image frames, and uncompressed grey frames that read back exactly.
#include "io/AviEventWriter.h"

#include "ExportTestSupport.h"
#include "app/ScriptedPrompts.h"
#include "io/EventExport.h"
#include "support/RtdcFixture.h"
#include "support/StandInHost.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <opencv2/videoio.hpp>

#include <limits>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;

// The first pixel's value of every frame (first channel; the test images are uniform).
std::vector<int> readFrames(const std::string& path)
{
    std::vector<int> values;
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    cv::Mat frame;
    while (capture.read(frame))
        values.push_back(frame.at<cv::Vec3b>(0, 0)[0]);
    return values;
}

// Events with uniform images of the given values and a "frame" column.
void writeSource(const std::string& path, const std::vector<int>& pixels, const std::vector<double>& frames)
{
    fx::RtdcFixture f(path);
    std::vector<double> area(pixels.size(), 1.0);
    f.addColumn<double>("area_um", area);
    if (!frames.empty())
        f.addColumn<double>("frame", frames);
    std::vector<std::uint8_t> stack;
    for (int value : pixels)
        stack.insert(stack.end(), kWidth * kHeight, static_cast<std::uint8_t>(value));
    f.addFrames("image", stack, pixels.size(), kHeight, kWidth);
}

class AviEventWriterTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    QTemporaryDir dir;
};

TEST_F(AviEventWriterTest, FramesWithSkippingAndAverage)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        const char* name;
        std::vector<double> frames;
        std::vector<int> selection;
        bool mjpeg;
        bool skip;
        bool average;
        size_t expectedFrames;
    };
    const Case cases[] = {
        {"every event", {12.0, 12.7, 13}, {0, 1, 2}, true, false, false, 3},
        {"12.0 and 12.7 are one camera frame", {12.0, 12.7, 13}, {0, 1, 2}, true, true, false, 2},
        {"not finite is never a duplicate", {nan, nan, 5}, {0, 1, 2}, false, true, false, 3},
        {"out of range is never a duplicate", {1e300, 1e300, -1e300}, {0, 1, 2}, false, true, false, 3},
        {"no frame column: nothing skipped", {}, {0, 1, 2}, false, true, false, 3},
        {"average first", {1, 2, 3}, {0, 1, 2}, false, false, true, 103},
        {"selection only", {1, 2, 3}, {2}, true, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = path("s.rtdc");
        writeSource(source, {10, 20, 31}, c.frames);
        auto entry = fx::openEntry(source);
        ASSERT_TRUE(entry);
        const std::string out = path("v.avi");
        const AviWriteResult result = writeEventsAvi(QString::fromStdString(out), *entry->reader, c.selection,
                                                     c.mjpeg, c.skip, c.average);
        EXPECT_EQ(result.status, AviWriteResult::Written);
        EXPECT_EQ(result.frames, static_cast<int>(c.expectedFrames));
        EXPECT_EQ(readFrames(out).size(), c.expectedFrames);
    }
}

// Regression: uncompressed colour frames were stored as lossy I420 (grey 20 read back as 16).
TEST_F(AviEventWriterTest, RawFramesReadBackExactly)
{
    const std::string source = path("s.rtdc");
    writeSource(source, {10, 20, 31}, {});
    auto entry = fx::openEntry(source);
    ASSERT_TRUE(entry);
    const std::string out = path("raw.avi");
    ASSERT_EQ(writeEventsAvi(QString::fromStdString(out), *entry->reader, {0, 1, 2}, false, false, false).status,
              AviWriteResult::Written);
    EXPECT_EQ(readFrames(out), (std::vector<int>{10, 20, 31}));
}

TEST_F(AviEventWriterTest, ReanalysisThroughTheExportFlow)
{
    // Expert mode has no switch, so the average frames are reached through the flow's own
    // AVI function: events of 10, 20 and 31 average to 20.33, written as 20.
    const std::string source = path("s.rtdc");
    writeSource(source, {10, 20, 31}, {1, 2, 3});
    fx::StandInHost host;
    host.entries.push_back(fx::openEntry(source, 0, QStringLiteral("cells")));
    ScriptedPromptsGuard prompts;
    EventExporter exporter(host, nullptr);
    const std::string out = path("TN3export_s.avi");
    ASSERT_TRUE(exporter.exportDatasetAvi(*host.entries[0], out, {0, 1, 2}, false, false, true));
    std::vector<int> expected(100, 20);
    expected.insert(expected.end(), {10, 20, 31});
    EXPECT_EQ(readFrames(out), expected);
    EXPECT_TRUE(prompts->calls().empty());
}

TEST_F(AviEventWriterTest, MissingImagesAndUnreadableFrames)
{
    const std::string noImages = path("plain.rtdc");
    {
        fx::RtdcFixture f(noImages);
        f.addColumn<double>("area_um", {1, 2});
    }
    auto plain = fx::openEntry(noImages);
    ASSERT_TRUE(plain);
    EXPECT_EQ(writeEventsAvi(QString::fromStdString(path("a.avi")), *plain->reader, {0}, true, false, false).status,
              AviWriteResult::NoImages);

    // Two images for four events: the events without one are left out of the video.
    const std::string shortStack = path("short.rtdc");
    {
        fx::RtdcFixture f(shortStack);
        f.addColumn<double>("area_um", {1, 2, 3, 4});
        std::vector<std::uint8_t> stack(2 * kWidth * kHeight, 50);
        f.addFrames("image", stack, 2, kHeight, kWidth);
    }
    auto partial = fx::openEntry(shortStack);
    ASSERT_TRUE(partial);
    EXPECT_EQ(writeEventsAvi(QString::fromStdString(path("b.avi")), *partial->reader, {}, true, false, false).status,
              AviWriteResult::NoEvents);
    EXPECT_EQ(writeEventsAvi(QString::fromStdString(path("c.avi")), *partial->reader, {2, 3}, true, false, false).status,
              AviWriteResult::NoDimensions);
    const AviWriteResult some =
        writeEventsAvi(QString::fromStdString(path("d.avi")), *partial->reader, {1, 2, 3}, false, false, false);
    EXPECT_EQ(some.status, AviWriteResult::Written);
    EXPECT_EQ(readFrames(path("d.avi")), (std::vector<int>{50}));
}

// Regression: frames one pixel wide went to OpenCV's own MJPEG writer, which crashed.
TEST_F(AviEventWriterTest, FramesOnePixelWideAreRefused)
{
    const std::string source = path("thin.rtdc");
    {
        fx::RtdcFixture f(source);
        f.addColumn<double>("area_um", {1, 2});
        f.addFrames("image", std::vector<std::uint8_t>(2 * 4, 7), 2, 4, 1);
    }
    auto thin = fx::openEntry(source);
    ASSERT_TRUE(thin);
    for (bool mjpeg : {true, false})
        EXPECT_NE(writeEventsAvi(QString::fromStdString(path("t.avi")), *thin->reader, {0, 1}, mjpeg, false, true).status,
                  AviWriteResult::Written);
}

// Regression: MJPEG frames narrower than 8 pixels made FFmpeg's colour conversion write past
// its buffer (heap corruption found by the export fuzz test); grey raw frames are fine.
TEST_F(AviEventWriterTest, NarrowFramesOnlyAsRaw)
{
    const std::string source = path("narrow.rtdc");
    {
        fx::RtdcFixture f(source);
        f.addColumn<double>("area_um", {1, 2});
        f.addFrames("image", std::vector<std::uint8_t>(2 * 6 * 7, 40), 2, 6, 7);
    }
    fx::StandInHost host;
    host.entries.push_back(fx::openEntry(source, 0, QStringLiteral("narrow cells")));
    ScriptedPromptsGuard prompts;
    EventExporter exporter(host, nullptr);
    EXPECT_FALSE(exporter.exportDatasetAvi(*host.entries[0], path("m.avi"), {0, 1}, true, false, false));
    EXPECT_EQ(prompts->last()->text.toStdString(),
              "The images of narrow cells are narrower than 8 pixels, too narrow for MJPEG video; "
              "choose \"Raw (uncompressed)\".");
    EXPECT_TRUE(exporter.exportDatasetAvi(*host.entries[0], path("r.avi"), {0, 1}, false, false, false));
    const std::vector<int> frames = readFrames(path("r.avi"));
    EXPECT_EQ(frames, (std::vector<int>{40, 40}));
}

// Regression: the video writer dropped the last column and row of images of odd size (an
// image of 17 x 9 came back as 16 x 8), so the video lost pixels of every event.
TEST_F(AviEventWriterTest, OddSizedImagesKeepEveryPixel)
{
    constexpr int width = 17;
    constexpr int height = 9;
    std::vector<std::uint8_t> stack(2 * width * height);
    for (size_t i = 0; i < stack.size(); ++i)
        stack[i] = static_cast<std::uint8_t>(1 + (i * 7) % 250);
    const std::string source = path("odd.rtdc");
    {
        fx::RtdcFixture f(source);
        f.addColumn<double>("area_um", {1, 2});
        f.addFrames("image", stack, 2, height, width);
    }
    auto entry = fx::openEntry(source);
    ASSERT_TRUE(entry);
    const std::string out = path("odd.avi");
    ASSERT_EQ(writeEventsAvi(QString::fromStdString(out), *entry->reader, {0, 1}, false, false, false).status,
              AviWriteResult::Written);
    cv::VideoCapture capture(out, cv::CAP_FFMPEG);
    cv::Mat frame;
    for (int event = 0; event < 2; ++event) {
        SCOPED_TRACE(event);
        ASSERT_TRUE(capture.read(frame));
        ASSERT_EQ(frame.cols, width + 1);
        ASSERT_EQ(frame.rows, height + 1);
        int differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                differing += frame.at<cv::Vec3b>(y, x)[0] != stack[(event * height + y) * width + x];
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(frame.at<cv::Vec3b>(height, width)[0], 0) << "the added corner is black";
    }
    // MJPEG keeps the size as well.
    ASSERT_EQ(writeEventsAvi(QString::fromStdString(path("odd_mjpeg.avi")), *entry->reader, {0}, true, false, false).status,
              AviWriteResult::Written);
    cv::VideoCapture mjpeg(path("odd_mjpeg.avi"), cv::CAP_FFMPEG);
    ASSERT_TRUE(mjpeg.read(frame));
    EXPECT_EQ(frame.size(), cv::Size(width + 1, height + 1));
}

} // namespace
} // namespace Tervane3
