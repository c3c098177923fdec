// The event image viewer: what it accepts, the mask tint and contrast stretch of the shown
// picture, the zoom limits and fitting, and saving the unprocessed image as PNG or JPEG.
#include "app/ScriptedPrompts.h"
#include "plots/ImageViewer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <cmath>

namespace Tervane3 {
namespace {

// 3 columns x 2 rows.
const std::vector<std::uint8_t> kPixels = {0, 100, 200, 50, 150, 250};
const std::vector<std::uint8_t> kMask = {0, 1, 255, 0, 0, 7};

QByteArray fileHead(const QString& path, int n)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(n);
}

TEST(ImageViewerTest, StartsEmptyWithMaskSwitchCheckedButDisabled)
{
    ImageViewer viewer;
    EXPECT_EQ(viewer.caption(), QStringLiteral("No Image"));
    EXPECT_TRUE(viewer.currentImage().empty());
    auto* mask = viewer.findChild<QCheckBox*>(QStringLiteral("showMaskCheck"));
    ASSERT_NE(mask, nullptr);
    EXPECT_TRUE(mask->isChecked());
    EXPECT_FALSE(mask->isEnabled());
    EXPECT_TRUE(viewer.isMaskShown());
    viewer.setMaskEnabled(true);
    EXPECT_TRUE(mask->isEnabled());
}

// Catches a caption cut off at both ends in the narrow pane beside the plot: it wraps.
TEST(ImageViewerTest, LongCaptionFitsANarrowViewer)
{
    ImageViewer viewer;
    viewer.setImage(std::vector<std::uint8_t>(20, 50), 5, 4, QStringLiteral("Event 102288 (with mask)"));
    auto* caption = viewer.findChild<QLabel*>(QStringLiteral("imageCaption"));
    ASSERT_NE(caption, nullptr);
    const int textWidth = caption->fontMetrics().horizontalAdvance(caption->text());
    EXPECT_LT(caption->minimumSizeHint().width(), textWidth);
    EXPECT_LE(caption->minimumSizeHint().width(), 160);
}

TEST(ImageViewerTest, ImagesThatDoNotCoverTheirSizeClearTheViewer)
{
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> pixels;
        std::vector<std::uint8_t> mask; // empty: setImage
        int width;
        int height;
    };
    const Case cases[] = {
        {"short pixels", {1, 2, 3, 4, 5}, {}, 3, 2},
        {"zero width", kPixels, {}, 0, 2},
        {"negative height", kPixels, {}, 3, -2},
        {"empty pixels", {}, {}, 3, 2},
        {"short mask", kPixels, {1, 1, 1}, 3, 2},
        {"short pixels with mask", {1, 2}, kMask, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageViewer viewer;
        viewer.setImage(kPixels, 3, 2, QStringLiteral("Event 1"));
        ASSERT_FALSE(viewer.currentImage().empty());
        if (c.mask.empty())
            viewer.setImage(c.pixels, c.width, c.height, QStringLiteral("Event 2"));
        else
            viewer.setImageWithMask(c.pixels, c.mask, c.width, c.height, QStringLiteral("Event 2"));
        EXPECT_TRUE(viewer.currentImage().empty());
        EXPECT_TRUE(viewer.currentMask().empty());
        EXPECT_EQ(viewer.caption(), QStringLiteral("No Image"));
        EXPECT_TRUE(viewer.displayedImage().isNull());
    }
}

TEST(ImageViewerTest, KeepsACopyOfTheGivenBytesRowMajor)
{
    ImageViewer viewer;
    std::vector<std::uint8_t> pixels = kPixels;
    pixels.push_back(99); // longer than needed: the first width x height bytes count
    viewer.setImage(pixels, 3, 2, QStringLiteral("Event 4"));
    pixels.assign(pixels.size(), 0);
    const cv::Mat& image = viewer.currentImage();
    ASSERT_EQ(image.rows, 2);
    ASSERT_EQ(image.cols, 3);
    EXPECT_EQ(image.at<std::uint8_t>(0, 2), 200);
    EXPECT_EQ(image.at<std::uint8_t>(1, 0), 50);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Event 4"));
}

TEST(ImageViewerTest, MaskTintsPixelsInsideTheMaskOnly)
{
    // Inside the mask: 0.7 x grey + 0.3 x (R 254, G 204, B 0), rounded; outside unchanged.
    struct Expect
    {
        int row, col;
        int r, g, b;
    };
    const Expect expected[] = {
        {0, 0, 0, 0, 0},       // outside
        {0, 1, 146, 131, 70},  // 100: R 70 + 76.2, G 70 + 61.2, B 70
        {0, 2, 216, 201, 140}, // 200: R 140 + 76.2, G 140 + 61.2, B 140
        {1, 0, 50, 50, 50},    // outside
        {1, 1, 150, 150, 150}, // outside
        {1, 2, 251, 236, 175}, // 250: R 175 + 76.2, G 175 + 61.2, B 175
    };

    const cv::Mat image(2, 3, CV_8UC1, const_cast<std::uint8_t*>(kPixels.data()));
    const cv::Mat mask(2, 3, CV_8UC1, const_cast<std::uint8_t*>(kMask.data()));
    const cv::Mat composed = ImageViewer::composeDisplay(image, mask, false);
    ASSERT_EQ(composed.type(), CV_8UC3);

    // The same through the widget at 1:1, as the user sees it (RGB picture).
    ImageViewer viewer;
    viewer.actualSize();
    viewer.setImageWithMask(kPixels, kMask, 3, 2, QStringLiteral("Event 0 (with mask)"));
    const QImage shown = viewer.displayedImage();
    ASSERT_EQ(shown.size(), QSize(3, 2));

    for (const Expect& e : expected) {
        SCOPED_TRACE(testing::Message() << "row " << e.row << " col " << e.col);
        const cv::Vec3b bgr = composed.at<cv::Vec3b>(e.row, e.col);
        EXPECT_EQ(bgr[0], e.b);
        EXPECT_EQ(bgr[1], e.g);
        EXPECT_EQ(bgr[2], e.r);
        const QColor c = shown.pixelColor(e.col, e.row);
        EXPECT_EQ(c.red(), e.r);
        EXPECT_EQ(c.green(), e.g);
        EXPECT_EQ(c.blue(), e.b);
    }
}

TEST(ImageViewerTest, AutoContrastStretchesToTheFullRange)
{
    const std::vector<std::uint8_t> pixels = {50, 90, 150, 150};
    const cv::Mat image(2, 2, CV_8UC1, const_cast<std::uint8_t*>(pixels.data()));
    const cv::Mat stretched = ImageViewer::composeDisplay(image, cv::Mat(), true);
    ASSERT_EQ(stretched.type(), CV_8UC1);
    EXPECT_EQ(stretched.at<std::uint8_t>(0, 0), 0);
    EXPECT_EQ(stretched.at<std::uint8_t>(0, 1), 102); // (90 - 50) * 255 / 100
    EXPECT_EQ(stretched.at<std::uint8_t>(1, 1), 255);

    const std::vector<std::uint8_t> flat(4, 77);
    const cv::Mat flatImage(2, 2, CV_8UC1, const_cast<std::uint8_t*>(flat.data()));
    const cv::Mat same = ImageViewer::composeDisplay(flatImage, cv::Mat(), true);
    EXPECT_EQ(cv::countNonZero(same != 77), 0);

    // Through the check box: the picture changes, the kept image does not.
    ImageViewer viewer;
    viewer.actualSize();
    viewer.setImage(pixels, 2, 2, QStringLiteral("Event 0"));
    QSignalSpy toggled(&viewer, &ImageViewer::autoContrastToggled);
    viewer.findChild<QCheckBox*>(QStringLiteral("autoContrastCheck"))->setChecked(true);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(qGray(viewer.displayedImage().pixel(1, 0)), 102);
    EXPECT_EQ(viewer.currentImage().at<std::uint8_t>(0, 1), 90);
}

TEST(ImageViewerTest, ZoomStaysWithinTenthAndTenfold)
{
    ImageViewer viewer;
    viewer.setImage(kPixels, 3, 2, QStringLiteral("Event 0"));
    viewer.actualSize();
    EXPECT_FALSE(viewer.isFitEnabled());
    for (int i = 0; i < 10; ++i)
        viewer.zoomIn();
    EXPECT_NEAR(viewer.zoomFactor(), std::pow(1.25, 10), 1e-9); // 9.31, still below 10
    viewer.zoomIn();
    EXPECT_DOUBLE_EQ(viewer.zoomFactor(), 10.0);
    EXPECT_EQ(viewer.displayedImage().size(), QSize(30, 20));
    for (int i = 0; i < 40; ++i)
        viewer.zoomOut();
    EXPECT_DOUBLE_EQ(viewer.zoomFactor(), 0.1);
    // 3 x 2 pixels at 0.1 would be nothing; one pixel is the least shown.
    EXPECT_EQ(viewer.displayedImage().size(), QSize(1, 1));

    // The user's zoom survives new images and clearing until "Fit".
    viewer.clear();
    viewer.setImage(kPixels, 3, 2, QStringLiteral("Event 1"));
    EXPECT_DOUBLE_EQ(viewer.zoomFactor(), 0.1);
}

TEST(ImageViewerTest, FitUsesTheSmallerRatioOfViewToImage)
{
    ImageViewer viewer;
    auto* scroll = viewer.findChild<QScrollArea*>(QStringLiteral("imageScrollArea"));
    ASSERT_NE(scroll, nullptr);
    // Size the shown window so that the scroll area's view is exactly 500 x 400.
    Tervane3::Test::ExpectQtWarnings offscreenSizeHints; // the offscreen platform may grumble here
    viewer.show();
    for (int i = 0; i < 5 && scroll->viewport()->size() != QSize(500, 400); ++i) {
        viewer.resize(viewer.size() + QSize(500, 400) - scroll->viewport()->size());
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(scroll->viewport()->size(), QSize(500, 400));

    const std::vector<std::uint8_t> pixels(250 * 80, 128);
    viewer.setImage(pixels, 250, 80, QStringLiteral("Event 0"));
    EXPECT_TRUE(viewer.isFitEnabled());
    EXPECT_DOUBLE_EQ(viewer.zoomFactor(), 2.0); // min(400 / 80, 500 / 250)
    EXPECT_EQ(viewer.displayedImage().size(), QSize(500, 160));

    // A 2 x 2 image would need 200-fold: capped at 10.
    viewer.setImage({1, 2, 3, 4}, 2, 2, QStringLiteral("Event 1"));
    EXPECT_DOUBLE_EQ(viewer.zoomFactor(), 10.0);
}

class ImageViewerSaveTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    ScriptedPromptsGuard prompts;
    ImageViewer viewer;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // A mask, contrast stretch and zoom must not reach the saved file.
        viewer.setImageWithMask(kPixels, kMask, 3, 2, QStringLiteral("Event 0 (with mask)"));
        viewer.findChild<QCheckBox*>(QStringLiteral("autoContrastCheck"))->setChecked(true);
        viewer.zoomIn();
    }
};

TEST_F(ImageViewerSaveTest, WritesTheUnprocessedImageInTheFormatOfTheSelectedFilter)
{
    struct Case
    {
        const char* typed;
        const char* filter;
        const char* written;
        QByteArray magic;
    };
    const Case cases[] = {
        {"plain", "PNG Images (*.png)", "plain.png", QByteArray("\x89PNG", 4)},
        {"photo", "JPEG Images (*.jpg)", "photo.jpg", QByteArray("\xFF\xD8\xFF", 3)},
        {"kept.PNG", "PNG Images (*.png)", "kept.PNG", QByteArray("\x89PNG", 4)},
        {"named.png", "All Files (*)", "named.png", QByteArray("\x89PNG", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        prompts->clear();
        QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
        prompts->answerFiles({dir.filePath(QString::fromUtf8(c.typed))}, QString::fromUtf8(c.filter));
        viewer.saveImage();

        const QString path = dir.filePath(QString::fromUtf8(c.written));
        ASSERT_TRUE(QFile::exists(path));
        EXPECT_EQ(fileHead(path, c.magic.size()), c.magic);
        ASSERT_EQ(saved.count(), 1);
        EXPECT_EQ(saved.at(0).at(0).toString(), path);
        ASSERT_EQ(prompts->countTitled(QStringLiteral("Success")), 1);
        EXPECT_EQ(prompts->last()->text, QStringLiteral("Image saved successfully."));
        const ScriptedPrompts::Call& dialog = prompts->calls().front();
        EXPECT_EQ(dialog.kind, ScriptedPrompts::Kind::SaveFileName);
        EXPECT_EQ(dialog.title, QStringLiteral("Save Image"));
        EXPECT_EQ(dialog.filter, QStringLiteral("PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)"));
    }

    // PNG is lossless: the file holds the received grey values, 3 x 2, nothing else.
    const cv::Mat back = cv::imread(dir.filePath(QStringLiteral("plain.png")).toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(back.type(), CV_8UC1);
    ASSERT_EQ(back.rows, 2);
    ASSERT_EQ(back.cols, 3);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(back.at<std::uint8_t>(i / 3, i % 3), kPixels[static_cast<size_t>(i)]);
}

TEST_F(ImageViewerSaveTest, FailuresAreReportedAndNothingClaimsSuccess)
{
    struct Case
    {
        const char* name;
        QString path;
        QString filter;
    };
    const Case cases[] = {
        // No known extension: the writer cannot choose a format and raises an error.
        {"no extension", dir.filePath(QStringLiteral("noext")), QStringLiteral("All Files (*)")},
        // A folder that does not exist: the writer reports failure without an error.
        {"missing folder", dir.filePath(QStringLiteral("missing/shot.png")), QStringLiteral("PNG Images (*.png)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->clear();
        QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
        prompts->answerFiles({c.path}, c.filter);
        viewer.saveImage();
        EXPECT_EQ(saved.count(), 0);
        EXPECT_EQ(prompts->countTitled(QStringLiteral("Success")), 0);
        ASSERT_EQ(prompts->countTitled(QStringLiteral("Error")), 1);
        EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Critical);
        EXPECT_TRUE(prompts->last()->text.startsWith(QStringLiteral("Failed to save image: ")));
        EXPECT_GT(prompts->last()->text.size(), QStringLiteral("Failed to save image: ").size());
    }
}

TEST(ImageViewerSaveEmptyTest, NoImageWarnsAndCancelWritesNothing)
{
    ScriptedPromptsGuard prompts;
    ImageViewer viewer;
    viewer.saveImage();
    ASSERT_EQ(prompts->countTitled(QStringLiteral("No Image")), 1);
    EXPECT_EQ(prompts->last()->text, QStringLiteral("There is no image to save."));
    EXPECT_EQ(prompts->count(ScriptedPrompts::Kind::SaveFileName), 0);

    prompts->clear();
    viewer.setImage(kPixels, 3, 2, QStringLiteral("Event 0"));
    QSignalSpy saved(&viewer, &ImageViewer::imageSaved);
    viewer.saveImage(); // no scripted answer: the dialog is cancelled
    EXPECT_EQ(prompts->count(ScriptedPrompts::Kind::SaveFileName), 1);
    EXPECT_EQ(prompts->count(ScriptedPrompts::Kind::Message), 0);
    EXPECT_EQ(saved.count(), 0);
}

} // namespace
} // namespace Tervane3
