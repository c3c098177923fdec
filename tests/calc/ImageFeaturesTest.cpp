// Image features of hand-made images against values written out from the definitions with
// numpy and scipy (tools/reference/image_features_reference.py), the edge cases of each group,
// the focus filters on a part of the image against the whole image, and the run over a
// measurement (progress, one thread against many, cancel, no images).
#include "calc/ImageFeatures.h"

#include "core/ParallelFor.h"
#include "core/RTDCReader.h"

#include "support/RtdcFixture.h"
#include "support/TestSupport.h"

#include <opencv2/imgproc.hpp>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace Tervane3 {
namespace {

const std::vector<std::string>& names = ImageFeatures::featureNames();

cv::Mat imageOf(int rows, int cols, const std::function<int(int, int)>& value)
{
    cv::Mat image(rows, cols, CV_8UC1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            image.at<std::uint8_t>(r, c) = static_cast<std::uint8_t>(value(r, c));
    return image;
}

cv::Mat maskOf(int rows, int cols, const std::function<bool(int, int)>& inside)
{
    return imageOf(rows, cols, [&](int r, int c) { return inside(r, c) ? 1 : 0; });
}

// The cases of the reference script.
cv::Mat linearImage()
{
    return imageOf(12, 12, [](int r, int c) { return 10 * r + c; });
}
cv::Mat linearMask()
{
    return maskOf(12, 12, [](int r, int c) { return r >= 1 && r <= 10 && c >= 1 && c <= 10; });
}
cv::Mat texturedImage()
{
    return imageOf(40, 56, [](int r, int c) { return (37 * c + 11 * r * r + 5 * c * r) % 256; });
}
cv::Mat texturedMask()
{
    return maskOf(40, 56, [](int r, int c) {
        return std::pow((c - 30) / 14.0, 2) + std::pow((r - 19) / 9.0, 2) <= 1;
    });
}

bool spectral(size_t k)
{
    return names[k].rfind("spectral_", 0) == 0;
}

void expectReference(const std::vector<double>& values, const std::vector<double>& reference)
{
    ASSERT_EQ(values.size(), 24u);
    for (size_t k = 0; k < 24; ++k) {
        SCOPED_TRACE(names[k]);
        // The DFT runs in single precision; everything else agrees to rounding.
        const double tolerance = spectral(k) ? 1e-4 : 1e-9;
        EXPECT_LE(std::fabs(values[k] - reference[k]), tolerance * std::max(std::fabs(reference[k]), 1e-3))
            << values[k] << " vs " << reference[k];
    }
}

TEST(ImageFeaturesTest, FeatureNamesInColumnOrder)
{
    ASSERT_EQ(names.size(), 24u);
    EXPECT_EQ(names.front(), "bright_median");
    EXPECT_EQ(names[9], "lbp_entropy");
    EXPECT_EQ(names[16], "spectral_slope");
    EXPECT_EQ(names.back(), "focus_edge");
    EXPECT_EQ(&ImageFeatures::featureNames(), &names);
}

TEST(ImageFeaturesTest, ValuesOfTheReferenceImages)
{
    std::vector<double> values;
    ASSERT_TRUE(ImageFeatures::computeEvent(linearImage(), linearMask(), values));
    expectReference(values, {60.5, 20.9, 100.1, 49.5, 37.065, 0.477125124756, 0, -1.200240024, 6.64385618977, 0, 1,
                             0, 0, 1, 0, 0, -7.69857967159, 1.0885663029, 0.000124396023542, 0.439979655657,
                             5386.66666667, 1077.33333333, 202, 68.0548625522});
    ASSERT_TRUE(ImageFeatures::computeEvent(texturedImage(), texturedMask(), values));
    expectReference(values, {123, 27, 227, 128, 94.8864, 0.575394274637, 0.00358563803581, -1.19078858538,
                             7.24068100243, 2.04958379964, 0.496163682864, 0.250639386189, -11.7351763247,
                             1.03047520661, 0.15037593985, 0.922222222222, 0.462447293271, 11.7799450401,
                             0.653491107691, 3.95556102047, 102789.658709, 428656.625422, 11250.3066792,
                             274.381801788});
}

TEST(ImageFeaturesTest, SixteenPixelsAtLeast)
{
    const cv::Mat image = linearImage();
    std::vector<double> values;
    for (int pixels : {15, 16}) {
        SCOPED_TRACE(pixels);
        int left = pixels;
        const cv::Mat mask = maskOf(12, 12, [&](int r, int c) { return r >= 3 && c >= 3 && c < 9 && left-- > 0; });
        ASSERT_EQ(cv::countNonZero(mask), pixels);
        EXPECT_EQ(ImageFeatures::computeEvent(image, mask, values), pixels == 16);
        ASSERT_EQ(values.size(), 24u);
        EXPECT_EQ(std::isnan(values[0]), pixels == 15);
        if (pixels == 15) {
            EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](double v) { return std::isnan(v); }));
        }
    }
    EXPECT_FALSE(ImageFeatures::computeEvent(image, cv::Mat(), values));
    EXPECT_FALSE(ImageFeatures::computeEvent(image, cv::Mat(11, 12, CV_8UC1, cv::Scalar(1)), values));
    EXPECT_FALSE(ImageFeatures::computeEvent(image, cv::Mat(12, 12, CV_16UC1, cv::Scalar(1)), values));
}

TEST(ImageFeaturesTest, AMaskOnTheImageBorderHasNoLocalPatterns)
{
    // The other groups follow their own rules: a ring has no inner pixels for the
    // centre-to-edge ratio, and the window's zero weights at the patch's edge meet the ring.
    const cv::Mat border = maskOf(12, 12, [](int r, int c) { return r == 0 || c == 0 || r == 11 || c == 11; });
    std::vector<double> values;
    ASSERT_TRUE(ImageFeatures::computeEvent(linearImage(), border, values));
    for (size_t k = 0; k < 24; ++k) {
        SCOPED_TRACE(names[k]);
        const bool lbp = names[k].rfind("lbp_", 0) == 0;
        const bool ownRule = names[k] == "radial_cer" || spectral(k);
        if (lbp) {
            EXPECT_TRUE(std::isnan(values[k]));
        } else if (!ownRule) {
            EXPECT_TRUE(std::isfinite(values[k])) << values[k];
        }
    }
    EXPECT_NEAR(values[21], 1077.33333333, 1e-6); // the focus region is the whole image again
}

TEST(ImageFeaturesTest, AUniformImage)
{
    const cv::Mat image(30, 30, CV_8UC1, cv::Scalar(80));
    const cv::Mat mask = maskOf(30, 30, [](int r, int c) { return std::hypot(r - 15, c - 15) <= 8; });
    std::vector<double> v;
    ASSERT_TRUE(ImageFeatures::computeEvent(image, mask, v));
    const auto at = [&](const char* name) {
        return v[static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin())];
    };
    for (const char* zero : {"bright_iqr", "bright_mad", "bright_cv", "bright_entropy", "lbp_entropy",
                             "radial_contrast", "radial_ringdepth", "spectral_entropy", "focus_tenengrad",
                             "focus_lapvar", "focus_brenner", "focus_edge"})
        EXPECT_EQ(at(zero), 0.0) << zero;
    for (const char* one : {"lbp_uniformity", "lbp_spot"})
        EXPECT_EQ(at(one), 1.0) << one;
    for (const char* none : {"bright_skew", "bright_kurt", "spectral_centroid", "spectral_hf"})
        EXPECT_TRUE(std::isnan(at(none))) << none;
}

TEST(ImageFeaturesTest, QuantilesAndSlope)
{
    ImageFeatures::Pixels pixels;
    pixels.values = {40, 10, 30, 20};
    std::vector<double> out;
    ImageFeatures::brightnessFeatures(pixels, out);
    ASSERT_EQ(out.size(), 9u);
    EXPECT_DOUBLE_EQ(out[0], 25);
    EXPECT_DOUBLE_EQ(out[1], 13);
    EXPECT_DOUBLE_EQ(out[2], 37);
    EXPECT_DOUBLE_EQ(out[3], 15); // 32.5 - 17.5
    EXPECT_DOUBLE_EQ(out[8], 2.0); // four bins of a quarter each
    EXPECT_DOUBLE_EQ(ImageFeatures::linearSlope({1, 2, 3}, {2, 4, 6}), 2.0);
    EXPECT_TRUE(std::isnan(ImageFeatures::linearSlope({1}, {2})));
    EXPECT_TRUE(std::isnan(ImageFeatures::linearSlope({1, 1}, {2, 3})));
}

TEST(ImageFeaturesTest, ASpectralWindowCutBelowEightPixels)
{
    // A cell in an image of six rows: its window is clipped to fewer than 8 pixels a side.
    const cv::Mat image = imageOf(6, 40, [](int r, int c) { return (r * 7 + c * 13) % 200; });
    const cv::Mat mask = maskOf(6, 40, [](int r, int c) { return r >= 1 && r <= 4 && c >= 10 && c < 20; });
    std::vector<double> v;
    ASSERT_TRUE(ImageFeatures::computeEvent(image, mask, v));
    for (size_t k = 0; k < 24; ++k)
        EXPECT_EQ(std::isnan(v[k]), spectral(k)) << names[k];
}

// The focus values when the filters run over the whole image (the definition).
std::vector<double> focusOnTheWholeImage(const cv::Mat& image, const cv::Mat& mask)
{
    cv::Mat f, gx, gy, lap, dilated, eroded;
    image.convertTo(f, CV_32F);
    cv::Sobel(f, gx, CV_32F, 1, 0, 3);
    cv::Sobel(f, gy, CV_32F, 0, 1, 3);
    cv::Laplacian(f, lap, CV_32F, 3);
    const cv::Rect box = cv::boundingRect(mask);
    const cv::Rect region = cv::Rect(box.x - 5, box.y - 5, box.width + 10, box.height + 10) & cv::Rect(0, 0, f.cols, f.rows);
    double t = 0, ls = 0, l2 = 0, b = 0, bn = 0;
    for (int y = region.y; y < region.br().y; ++y) {
        for (int x = region.x; x < region.br().x; ++x) {
            t += double(gx.at<float>(y, x)) * gx.at<float>(y, x) + double(gy.at<float>(y, x)) * gy.at<float>(y, x);
            ls += lap.at<float>(y, x);
            l2 += double(lap.at<float>(y, x)) * lap.at<float>(y, x);
            if (x + 2 < region.br().x) {
                b += std::pow(double(f.at<float>(y, x + 2)) - f.at<float>(y, x), 2);
                bn += 1;
            }
            if (y + 2 < region.br().y) {
                b += std::pow(double(f.at<float>(y + 2, x)) - f.at<float>(y, x), 2);
                bn += 1;
            }
        }
    }
    const cv::Mat element = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(11, 11));
    cv::dilate(mask, dilated, element);
    cv::erode(mask, eroded, element);
    double e = 0, en = 0;
    for (int y = 0; y < mask.rows; ++y) {
        for (int x = 0; x < mask.cols; ++x) {
            if (dilated.at<std::uint8_t>(y, x) != 0 && eroded.at<std::uint8_t>(y, x) == 0) {
                e += std::sqrt(gx.at<float>(y, x) * gx.at<float>(y, x) + gy.at<float>(y, x) * gy.at<float>(y, x));
                en += 1;
            }
        }
    }
    const double a = region.area();
    return {t / a, l2 / a - (ls / a) * (ls / a), b / bn, e / en};
}

TEST(ImageFeaturesTest, FocusOnTheCellsSurroundingsEqualsTheWholeImage)
{
    const cv::Mat image = imageOf(80, 250, [](int r, int c) { return (r * r * 3 + c * 17 + r * c) % 251; });
    const struct
    {
        const char* name;
        cv::Point centre;
    } cells[] = {{"middle", {120, 40}}, {"left edge", {6, 40}}, {"top corner", {246, 3}}, {"bottom", {60, 77}}};
    for (const auto& cell : cells) {
        SCOPED_TRACE(cell.name);
        const cv::Mat mask = maskOf(80, 250, [&](int r, int c) {
            return std::pow((c - cell.centre.x) / 14.0, 2) + std::pow((r - cell.centre.y) / 9.0, 2) <= 1;
        });
        std::vector<double> focus;
        ImageFeatures::focusFeatures(image, mask, focus);
        EXPECT_EQ(focus, focusOnTheWholeImage(image, mask));
    }
}

class ImageFeaturesRunTest : public ::testing::Test
{
protected:
    RTDCReader& open(std::size_t events, bool images = true)
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++)).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            file.addColumn("area_um", std::vector<double>(events, 1.0));
            std::vector<std::uint8_t> imagePixels;
            std::vector<std::uint8_t> maskPixels;
            for (std::size_t i = 0; i < events; ++i) {
                const int cx = 20 + static_cast<int>(i % 17);
                const cv::Mat image = imageOf(30, 60, [&](int r, int c) { return static_cast<int>((r * 5 + c * 3 + i) % 256); });
                const cv::Mat mask = maskOf(30, 60, [&](int r, int c) {
                    return i % 10 != 3 && std::hypot(r - 15, c - cx) <= 6 + static_cast<double>(i % 4);
                });
                imagePixels.insert(imagePixels.end(), image.data, image.data + image.total());
                maskPixels.insert(maskPixels.end(), mask.data, mask.data + mask.total());
            }
            if (images)
                file.addFrames("image", imagePixels, events, 30, 60);
            file.addFrames("mask", maskPixels, events, 30, 60);
        }
        readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(readers.back()->open(path));
        return *readers.back();
    }

    QTemporaryDir dir;
    int files = 0;
    std::vector<std::unique_ptr<RTDCReader>> readers;
    ImageFeatures features;
};

TEST_F(ImageFeaturesRunTest, EveryEventOnOneThreadAndOnMany)
{
    RTDCReader& reader = open(250);
    std::vector<int> percents;
    QObject::connect(&features, &ImageFeatures::progressChanged, &features,
                     [&percents](int p) { percents.push_back(p); }, Qt::DirectConnection);
    std::vector<std::vector<double>> columns[2];
    for (int threads : {1, 0}) {
        setWorkerThreadLimit(threads);
        percents.clear();
        ASSERT_TRUE(features.compute(&reader));
        for (const std::string& name : names)
            columns[threads].push_back(reader.getFeature(name));
        if (threads == 1) {
            EXPECT_EQ(percents, (std::vector<int>{0, 40, 80, 100}));
        } else {
            EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        }
    }
    setWorkerThreadLimit(0);
    for (size_t k = 0; k < names.size(); ++k) {
        ASSERT_EQ(columns[1][k].size(), 250u);
        EXPECT_EQ(std::memcmp(columns[1][k].data(), columns[0][k].data(), 250 * sizeof(double)), 0) << names[k];
    }
    EXPECT_TRUE(std::isnan(columns[1][0][3])); // an event without a masked pixel
    int width = 0, height = 0;
    const std::vector<std::uint8_t> image = reader.readImage(7, width, height);
    const std::vector<std::uint8_t> mask = reader.readMask(7, width, height);
    std::vector<double> expected;
    ASSERT_TRUE(ImageFeatures::computeEvent(cv::Mat(height, width, CV_8UC1, const_cast<std::uint8_t*>(image.data())),
                                            cv::Mat(height, width, CV_8UC1, const_cast<std::uint8_t*>(mask.data())),
                                            expected));
    for (size_t k = 0; k < names.size(); ++k)
        EXPECT_EQ(std::memcmp(&columns[1][k][7], &expected[k], sizeof(double)), 0) << names[k];
}

TEST_F(ImageFeaturesRunTest, NoImagesOrCancelStoreNothing)
{
    RTDCReader& masksOnly = open(3, false);
    EXPECT_FALSE(features.compute(&masksOnly));
    EXPECT_FALSE(masksOnly.hasFeature("bright_median"));
    EXPECT_FALSE(features.compute(nullptr));

    RTDCReader& reader = open(300);
    QObject::connect(&features, &ImageFeatures::progressChanged, &features,
                     [this](int p) {
                         if (p > 0)
                             features.cancelRequested = true;
                     },
                     Qt::DirectConnection);
    EXPECT_FALSE(features.compute(&reader));
    for (const std::string& name : names)
        EXPECT_FALSE(reader.hasFeature(name)) << name;
}

// One damaged chunk of the image or the mask stack fails the read of its whole block of
// events; only its own event may lose its values (the whole block of 32 went without them).
TEST_F(ImageFeaturesRunTest, ADamagedFrameCostsOnlyItsOwnEvent)
{
    RTDCReader& intact = open(100);
    ASSERT_TRUE(features.compute(&intact));
    // An image in the block 32 .. 63 and a mask in the block 64 .. 95.
    const std::vector<std::pair<std::string, hsize_t>> damage = {{"image", 40}, {"mask", 75}};
    const std::string copy = dir.filePath(QStringLiteral("damaged.rtdc")).toStdString();
    ASSERT_TRUE(Tervane3::Test::copyWithDamagedFrames(intact.path(), copy, damage));
    RTDCReader damaged;
    ASSERT_TRUE(damaged.open(copy));
    int width = 0;
    int height = 0;
    ASSERT_TRUE(damaged.readImage(40, width, height).empty());
    ASSERT_TRUE(damaged.readImages(32, 32, width, height).empty());
    ASSERT_TRUE(damaged.readMask(75, width, height).empty());
    ASSERT_TRUE(damaged.readMasks(64, 32, width, height).empty());

    ASSERT_TRUE(features.compute(&damaged));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::vector<double>& expected = intact.getFeature(name);
        const std::vector<double>& got = damaged.getFeature(name);
        ASSERT_EQ(got.size(), 100u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (i == 40 || i == 75) {
                EXPECT_TRUE(std::isnan(got[i])) << i;
            } else {
                EXPECT_EQ(std::memcmp(&got[i], &expected[i], sizeof(double)), 0) << i;
            }
        }
    }
    EXPECT_FALSE(std::isnan(intact.getFeature("bright_median")[40]));
    EXPECT_FALSE(std::isnan(intact.getFeature("bright_median")[75]));
}

} // namespace
} // namespace Tervane3
