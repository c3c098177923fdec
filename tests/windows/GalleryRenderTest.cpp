// Gallery page rendering without the window: the cutout rule at the image edges, the
// contrast stretch, the automatic limits, the cutout size and the grid's pixel layout.
#include "core/RTDCReader.h"
#include "support/RtdcFixture.h"
#include "windows/GalleryGridWidget.h"
#include "windows/GalleryRender.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace Tervane3 {
namespace {

// Frames of width x height: frame k has pixel (r, c) = fill(k, r, c).
template <typename Fill>
std::vector<std::uint8_t> frames(int count, int height, int width, Fill fill)
{
    std::vector<std::uint8_t> pixels;
    for (int k = 0; k < count; ++k)
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                pixels.push_back(static_cast<std::uint8_t>(fill(k, r, c)));
    return pixels;
}

class GalleryRenderTest : public ::testing::Test
{
protected:
    std::shared_ptr<RTDCReader> open(const std::string& name)
    {
        auto reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(reader->open(dir.filePath(QString::fromStdString(name)).toStdString()));
        return reader;
    }
    std::string path(const std::string& name) { return dir.filePath(QString::fromStdString(name)).toStdString(); }

    QTemporaryDir dir;
};

TEST_F(GalleryRenderTest, CutoutAtTheEdgeKeepsItsSizeAndIsBlackOutside)
{
    {
        // Two 10 x 40 frames, all grey 100; event 0 centred 3 px from the left edge (pixel size
        // 0.5 um: pos_x 1.5 um), event 1 wholly outside the image.
        ::Tervane3::Test::RtdcFixture file(path("edge.rtdc"));
        file.addFrames("image", frames(2, 10, 40, [](int, int, int) { return 100; }), 2, 10, 40);
        file.addColumn<double>("pos_x", {1.5, 500.0});
        file.addColumn<double>("pos_y", {2.5, 2.5});
    }
    auto reader = open("edge.rtdc");
    const cv::Mat edge = extractGalleryCutout(*reader, 0, 20, 6, 0.5);
    ASSERT_EQ(edge.cols, 20);
    ASSERT_EQ(edge.rows, 6);
    for (int c = 0; c < 20; ++c)
        EXPECT_EQ(edge.at<std::uint8_t>(3, c), c < 7 ? 0 : 100) << "column " << c;
    // Rows: centre 5 (2.5 / 0.5), y0 = 5 - 3 = 2: all inside the 10 rows.
    EXPECT_EQ(edge.at<std::uint8_t>(0, 10), 100);

    const cv::Mat outside = extractGalleryCutout(*reader, 1, 20, 6, 0.5);
    ASSERT_EQ(outside.size(), cv::Size(20, 6));
    EXPECT_EQ(cv::countNonZero(outside), 0);

    // No pixel size: centred on the image, which is wider than the cutout.
    const cv::Mat centred = extractGalleryCutout(*reader, 0, 20, 6, 0.0);
    EXPECT_EQ(cv::countNonZero(centred), 20 * 6);
    // An event beyond the file: no image, no cutout.
    EXPECT_TRUE(extractGalleryCutout(*reader, 5, 20, 6, 0.5).empty());
}

TEST_F(GalleryRenderTest, ContrastLimits)
{
    {
        // One 2 x 6 frame, both rows holding the grey values probed below; no positions:
        // centred, so the 6 x 2 cutout is the whole frame.
        ::Tervane3::Test::RtdcFixture file(path("grey.rtdc"));
        file.addFrames("image", {0, 10, 13, 15, 20, 200, 0, 10, 13, 15, 20, 200}, 1, 2, 6);
    }
    auto reader = open("grey.rtdc");
    struct Case {
        const char* name;
        int lo;
        int hi;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"full range", 0, 255, {0, 10, 13, 15, 20, 200}},
        // 255 / 10 per step; halves round to even (13 -> 76.5 -> 76, 15 -> 127.5 -> 128).
        {"10 to 20", 10, 20, {0, 0, 76, 128, 255, 255}},
        {"equal limits", 50, 50, {0, 0, 0, 0, 0, 0}},
        {"inverted limits", 60, 40, {0, 0, 0, 0, 0, 0}},
        {"outside 0..255 clamped", -5, 300, {0, 10, 13, 15, 20, 200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GalleryRenderInput input;
        input.eventIndices = {0};
        input.cutoutWidth = 6;
        input.cutoutHeight = 2;
        input.contrastLow = c.lo;
        input.contrastHigh = c.hi;
        input.generation = 7;
        const GalleryRenderResult result = renderGalleryPage(input, reader);
        EXPECT_EQ(result.generation, 7);
        ASSERT_EQ(result.cells.size(), 1u);
        const cv::Mat& image = result.cells[0].image;
        ASSERT_EQ(image.cols, 6);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(image.at<std::uint8_t>(0, i), c.expected[static_cast<size_t>(i)]) << i;
    }
    // Without a reader: no cells; a stop before the first event: none either.
    GalleryRenderInput input;
    input.eventIndices = {0, 0};
    input.cutoutWidth = input.cutoutHeight = 4;
    EXPECT_TRUE(renderGalleryPage(input, nullptr).cells.empty());
    auto stop = std::make_shared<std::atomic<bool>>(true);
    EXPECT_TRUE(renderGalleryPage(input, reader, stop).cells.empty());
}

TEST_F(GalleryRenderTest, AutomaticLimits)
{
    struct Case {
        const char* name;
        std::vector<int> greys; // one 8 x 8 frame per value
        std::pair<int, int> expected;
    };
    const Case cases[] = {
        {"five dark, five bright", {50, 50, 50, 50, 50, 200, 200, 200, 200, 200}, {50, 200}},
        // Saturated images stay white: lo stops one grey step below 255.
        {"all white", {255, 255, 255}, {254, 255}},
        {"all one grey", {40, 40}, {40, 41}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "auto" + std::to_string(n++) + ".rtdc";
        const int count = static_cast<int>(c.greys.size());
        {
            ::Tervane3::Test::RtdcFixture file(path(name));
            file.addFrames("image", frames(count, 8, 8, [&c](int k, int, int) { return c.greys[static_cast<size_t>(k)]; }),
                           static_cast<hsize_t>(count), 8, 8);
        }
        std::vector<int> events(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            events[static_cast<size_t>(i)] = i;
        EXPECT_EQ(computeGalleryAutoContrast(open(name), events), c.expected);
    }
    {
        ::Tervane3::Test::RtdcFixture file(path("noimages.rtdc"));
        file.addColumn<double>("area_um", {1, 2, 3});
    }
    EXPECT_EQ(computeGalleryAutoContrast(open("noimages.rtdc"), {0, 1, 2}), std::make_pair(0, 255));
    EXPECT_EQ(computeGalleryAutoContrast(nullptr, {0}), std::make_pair(0, 255));
    EXPECT_EQ(computeGalleryAutoContrast(open("noimages.rtdc"), {}), std::make_pair(0, 255));
}

TEST(GalleryCutoutSize, Table)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double size;
        double pixelSize;
        int margin;
        int expected;
    };
    const Case cases[] = {
        {"20 um at 0.34 um/px, margin 5: 59 + 10, made even", 20.0, 0.34, 5, 70},
        {"even already", 99.0, 0.5, 5, 208},
        {"tiny cell: at least 8", 0.5, 0.34, 0, 8},
        {"size in the wrong unit: at most 1024", 20e3, 0.34, 5, 1024},
        {"pixel size of 1e-4", 20.0, 1e-4, 5, 1024},
        {"infinite size", inf, 0.34, 5, 0},
        {"NaN size", nan, 0.34, 5, 0},
        {"zero pixel size", 20.0, 0.0, 5, 0},
        {"negative size", -3.0, 0.34, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(galleryCutoutExtent(c.size, c.pixelSize, c.margin), c.expected);
    }
    // The 99th percentile over finite values at the listed events only.
    const std::vector<double> column = {nan, 3.0, inf, 1.0, 2.0, -inf};
    EXPECT_EQ(galleryPercentile99(column, {0, 1, 2, 3, 4, 5, 40}), 2.0);
    EXPECT_EQ(galleryPercentile99(column, {0, 2}), 0.0);
    std::vector<std::uint8_t> sample = {9, 1, 5, 3, 7};
    EXPECT_EQ(galleryPercentile(sample, 50.0), 5);
    EXPECT_EQ(galleryColumnsFor(25), 5);
    EXPECT_EQ(galleryColumnsFor(100), 10);
    EXPECT_EQ(galleryColumnsFor(400), 20);
}

TEST(GalleryCellImage, OddWidthIsNotSheared)
{
    // A 9-pixel-wide matrix cut from a wider one has a step larger than its width.
    cv::Mat wide(3, 12, CV_8UC1);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 12; ++c)
            wide.at<std::uint8_t>(r, c) = static_cast<std::uint8_t>(10 * r + c);
    const cv::Mat odd = wide(cv::Rect(1, 0, 9, 3));
    const QImage image = galleryCellImage(odd);
    ASSERT_EQ(image.width(), 9);
    ASSERT_EQ(image.height(), 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 9; ++c)
            EXPECT_EQ(qGray(image.pixel(c, r)), 10 * r + c + 1) << r << "," << c;
}

} // namespace
} // namespace Tervane3
