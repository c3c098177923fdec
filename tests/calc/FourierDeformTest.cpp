// Fourier-decomposition deformation on masks the test draws: centrally symmetric shapes (no
// odd harmonics: the odd contour is the 100-gon of the mean radius), an ellipse against its
// closed-form deformation, an egg, blobs too small or several; and the run over a measurement
// (progress, one thread against many, cancel, no masks).
#include "calc/FourierDeform.h"
#include "calc/FrameBlock.h"

#include "core/ParallelFor.h"
#include "core/RTDCReader.h"

#include "support/RtdcFixture.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>

namespace Tervane3 {
namespace {

constexpr int maskHeight = 50;
constexpr int maskWidth = 90;

// A mask of the pixels (x, y) for which inside(x - 45, y - 25) holds: symmetric shapes around
// a pixel centre stay exactly symmetric.
cv::Mat drawMask(const std::function<bool(double, double)>& inside)
{
    cv::Mat mask(maskHeight, maskWidth, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < maskHeight; ++y)
        for (int x = 0; x < maskWidth; ++x)
            if (inside(x - 45.0, y - 25.0))
                mask.at<std::uint8_t>(y, x) = 255;
    return mask;
}

bool ellipse(double x, double y, double a, double b)
{
    return (x / a) * (x / a) + (y / b) * (y / b) <= 1.0;
}

FourierDeformResult analyse(const cv::Mat& mask)
{
    const std::vector<cv::Point> contour = FourierDeform::largestContour(mask);
    return FourierDeform::deformFromContour(contour, 11);
}

// 1 - 2 sqrt(pi A) / P of a regular 100-gon: the circle sampled at 100 angles.
const double polygonDeformation = 1.0 - std::sqrt(M_PI / (100.0 * std::tan(M_PI / 100.0)));

TEST(FourierDeformTest, CentrallySymmetricShapesHaveNoOddHarmonics)
{
    EXPECT_NEAR(polygonDeformation, 0.00016452, 1e-8);
    const struct
    {
        const char* name;
        std::function<bool(double, double)> inside;
    } shapes[] = {
        {"disc", [](double x, double y) { return ellipse(x, y, 20, 20); }},
        {"ellipse", [](double x, double y) { return ellipse(x, y, 30, 15); }},
        {"rectangle", [](double x, double y) { return std::fabs(x) <= 20 && std::fabs(y) <= 8; }},
        {"rotated ellipse",
         [](double x, double y) { return ellipse(0.8 * x + 0.6 * y, -0.6 * x + 0.8 * y, 25, 12); }},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const FourierDeformResult r = analyse(drawMask(shape.inside));
        EXPECT_NEAR(r.deformOdd, polygonDeformation, 2e-5);
        EXPECT_GT(r.deformFc, 0.0);
    }
    // A disc: every contour is nearly the same circle.
    const FourierDeformResult disc = analyse(drawMask([](double x, double y) { return ellipse(x, y, 20, 20); }));
    EXPECT_NEAR(disc.deformEven, polygonDeformation, 2e-4);
    EXPECT_NEAR(disc.deformFc, polygonDeformation, 2e-4);
}

TEST(FourierDeformTest, EllipseAgainstItsClosedForm)
{
    // Semi-axes 30 and 15: area 450 pi; the perimeter from the complete elliptic integral
    // 4 a E(e²), e² = 1 - (b / a)² = 0.75 (tools/reference/fourier_deform_reference.py):
    // 145.3267; deformation 1 - 2 sqrt(pi A) / P = 0.08285. The mask's pixels (the hull of
    // the contour through the boundary pixels' centres) and the 10 harmonics give 0.08323.
    const FourierDeformResult r = analyse(drawMask([](double x, double y) { return ellipse(x, y, 30, 15); }));
    EXPECT_NEAR(r.deformEven, 0.08323, 3e-4);
    EXPECT_NEAR(r.deformFc, 0.08323, 3e-4);
    EXPECT_NEAR(r.deformEven, r.deformFc, 1e-4);
}

TEST(FourierDeformTest, AnEggHasOddHarmonics)
{
    // Broader on the right than on the left.
    const FourierDeformResult r = analyse(drawMask([](double x, double y) {
        return ellipse(x, y, 30, 12.0 * (1.0 + 0.4 * x / 30.0));
    }));
    EXPECT_GT(r.deformOdd, 10 * polygonDeformation);
    EXPECT_GT(r.deformFc, r.deformOdd);
}

TEST(FourierDeformTest, BlobsTooSmallOrSeveral)
{
    // Four pixels: a contour of four points, nothing to analyse.
    cv::Mat tiny(maskHeight, maskWidth, CV_8UC1, cv::Scalar(0));
    tiny(cv::Rect(10, 10, 2, 2)).setTo(1);
    EXPECT_TRUE(FourierDeform::largestContour(tiny).empty());
    // With a second, smaller blob the larger one alone is analysed.
    const auto big = [](double x, double y) { return ellipse(x - 10, y, 25, 12); };
    const cv::Mat one = drawMask(big);
    const cv::Mat two = drawMask([&](double x, double y) { return big(x, y) || ellipse(x + 38, y, 4, 4); });
    const FourierDeformResult alone = analyse(one);
    const FourierDeformResult withSecond = analyse(two);
    EXPECT_EQ(alone.deformOdd, withSecond.deformOdd);
    EXPECT_EQ(alone.deformEven, withSecond.deformEven);
    EXPECT_EQ(alone.deformFc, withSecond.deformFc);
    EXPECT_EQ(FourierDeform::largestContour(two), FourierDeform::largestContour(one));
}

TEST(FourierDeformTest, StepsOfTheAnalysis)
{
    EXPECT_DOUBLE_EQ(FourierDeform::wrapAngle(-M_PI / 2), 1.5 * M_PI);
    EXPECT_DOUBLE_EQ(FourierDeform::wrapAngle(5 * M_PI), M_PI);
    // A square hull of side 2 around (1, 1): 4 edges of 10 points each, relative to its middle.
    const arma::mat points = FourierDeform::densifyHull({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 10);
    ASSERT_EQ(points.n_rows, 40u);
    EXPECT_DOUBLE_EQ(points(0, 0), -1.0);
    EXPECT_DOUBLE_EQ(points(1, 0), -0.8);
    EXPECT_DOUBLE_EQ(points(10, 0), 1.0);
    // A circle of radius 3 sampled anywhere: radius 3 at every angle, a_0 = 3, no harmonics.
    arma::mat circle(37, 2);
    for (arma::uword i = 0; i < 37; ++i) {
        circle(i, 0) = 3 * std::cos(0.17 * i);
        circle(i, 1) = 3 * std::sin(0.17 * i);
    }
    const arma::mat even = FourierDeform::resampleEvenAngles(FourierDeform::toPolarSorted(circle), 100);
    ASSERT_EQ(even.n_rows, 100u);
    EXPECT_NEAR(even(25, 0), M_PI / 2, 1e-12);
    EXPECT_NEAR(arma::max(arma::abs(even.col(1) - 3.0)), 0.0, 2e-2);
    const arma::mat c = FourierDeform::fourierCoefficients(even, 11);
    EXPECT_NEAR(c(0, 0), 3.0, 2e-2);
    EXPECT_NEAR(arma::abs(c.rows(1, 10)).max(), 0.0, 1e-2);
}

class FourierDeformRunTest : public ::testing::Test
{
protected:
    // Events cycling through an ellipse, an empty mask and a four-pixel blob.
    RTDCReader& open(std::size_t events, bool masks = true)
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++)).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            file.addColumn("area_um", std::vector<double>(events, 1.0));
            if (masks) {
                std::vector<std::uint8_t> pixels;
                for (std::size_t i = 0; i < events; ++i) {
                    cv::Mat mask = drawMask([i](double x, double y) {
                        return ellipse(x, y, 20 + static_cast<double>(i % 7), 10 + static_cast<double>(i % 5));
                    });
                    if (i % 10 == 1)
                        mask.setTo(0);
                    if (i % 10 == 2) {
                        mask.setTo(0);
                        mask(cv::Rect(4, 4, 2, 2)).setTo(1);
                    }
                    pixels.insert(pixels.end(), mask.data, mask.data + mask.total());
                }
                file.addFrames("mask", pixels, events, maskHeight, maskWidth);
            }
        }
        readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(readers.back()->open(path));
        return *readers.back();
    }

    QTemporaryDir dir;
    int files = 0;
    std::vector<std::unique_ptr<RTDCReader>> readers;
    FourierDeform fourier;
};

TEST_F(FourierDeformRunTest, EveryEventOnOneThreadAndOnMany)
{
    RTDCReader& reader = open(250);
    std::vector<int> percents;
    QObject::connect(&fourier, &FourierDeform::progressChanged, &fourier,
                     [&percents](int p) { percents.push_back(p); }, Qt::DirectConnection);
    std::vector<std::vector<double>> columns[2];
    for (int threads : {1, 0}) {
        setWorkerThreadLimit(threads);
        percents.clear();
        ASSERT_TRUE(fourier.compute(&reader));
        for (const char* name : {"deform_odd", "deform_even", "deform_fc"})
            columns[threads].push_back(reader.getFeature(name));
        if (threads == 1) {
            EXPECT_EQ(percents, (std::vector<int>{0, 40, 80, 100}));
        } else {
            EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        }
    }
    setWorkerThreadLimit(0);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(columns[1][k].size(), 250u);
        EXPECT_EQ(std::memcmp(columns[1][k].data(), columns[0][k].data(), 250 * sizeof(double)), 0) << k;
    }
    const std::vector<double>& fc = columns[1][2];
    EXPECT_TRUE(std::isnan(fc[1]));  // empty mask
    EXPECT_TRUE(std::isnan(fc[2]));  // four pixels
    EXPECT_TRUE(std::isnan(columns[1][0][12]));
    // Event 0 holds the 20 x 10 ellipse.
    EXPECT_EQ(fc[0], analyse(drawMask([](double x, double y) { return ellipse(x, y, 20, 10); })).deformFc);
}

TEST_F(FourierDeformRunTest, NoMasksOrCancelStoreNothing)
{
    RTDCReader& bare = open(3, false);
    EXPECT_FALSE(fourier.compute(&bare));
    EXPECT_FALSE(bare.hasFeature("deform_fc"));
    EXPECT_FALSE(fourier.compute(nullptr));

    RTDCReader& reader = open(300);
    QObject::connect(&fourier, &FourierDeform::progressChanged, &fourier,
                     [this](int p) {
                         if (p > 0)
                             fourier.cancelRequested = true;
                     },
                     Qt::DirectConnection);
    EXPECT_FALSE(fourier.compute(&reader));
    for (const char* name : {"deform_odd", "deform_even", "deform_fc"})
        EXPECT_FALSE(reader.hasFeature(name)) << name;
}

// One damaged mask chunk fails the read of its whole block of events; only its own event may
// lose its values (the whole block of 64 went without them).
TEST_F(FourierDeformRunTest, ADamagedMaskCostsOnlyItsOwnEvent)
{
    RTDCReader& intact = open(150);
    ASSERT_TRUE(fourier.compute(&intact));
    const std::string copy = dir.filePath(QStringLiteral("damaged.rtdc")).toStdString();
    ASSERT_TRUE(Tervane3::Test::copyWithDamagedFrames(intact.path(), copy, {{"mask", 70}}));
    RTDCReader damaged;
    ASSERT_TRUE(damaged.open(copy));
    int width = 0;
    int height = 0;
    ASSERT_TRUE(damaged.readMask(70, width, height).empty());
    ASSERT_TRUE(damaged.readMasks(64, 64, width, height).empty());
    ASSERT_FALSE(damaged.readMask(71, width, height).empty());

    ASSERT_TRUE(fourier.compute(&damaged));
    for (const char* name : {"deform_odd", "deform_even", "deform_fc"}) {
        SCOPED_TRACE(name);
        const std::vector<double>& expected = intact.getFeature(name);
        const std::vector<double>& got = damaged.getFeature(name);
        ASSERT_EQ(got.size(), 150u);
        EXPECT_TRUE(std::isfinite(expected[70]));
        EXPECT_TRUE(std::isnan(got[70]));
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (i != 70) {
                EXPECT_EQ(std::memcmp(&got[i], &expected[i], sizeof(double)), 0) << i;
            }
        }
    }
}

// Regression: a damaged region wrote one log line per unreadable event (10,157 lines for
// 10,000 events). Now one line per run of consecutive events, also across the blocks in
// which the events are read, with its count and range.
TEST_F(FourierDeformRunTest, ADamagedRegionIsLoggedOnceForEachRunOfEvents)
{
    RTDCReader& intact = open(150);
    const std::string copy = dir.filePath(QStringLiteral("damaged.rtdc")).toStdString();
    // 62 to 65 straddle the blocks 0..63 and 64..127; 100 stands alone.
    ASSERT_TRUE(Tervane3::Test::copyWithDamagedFrames(intact.path(), copy,
                                                      {{"mask", 62}, {"mask", 63}, {"mask", 64}, {"mask", 65}, {"mask", 100}}));
    RTDCReader damaged;
    ASSERT_TRUE(damaged.open(copy));
    std::mutex mutex;
    std::vector<std::string> lines;
    setReaderMessageSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    });
    const bool computed = fourier.compute(&damaged);
    setReaderMessageSink(nullptr);
    ASSERT_TRUE(computed);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Error reading the masks of 4 events (62 to 65): ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Error reading the mask of event 100: ", 0), 0u) << lines[1];
    const std::vector<double>& fc = damaged.getFeature("deform_fc");
    for (std::size_t i : {62, 63, 64, 65, 100})
        EXPECT_TRUE(std::isnan(fc[i])) << i;
    ASSERT_TRUE(fourier.compute(&intact));
    const std::vector<double>& expected = intact.getFeature("deform_fc");
    for (std::size_t i : {61, 66, 99, 101})
        EXPECT_EQ(std::memcmp(&fc[i], &expected[i], sizeof(double)), 0) << i;
}

TEST(FrameFailuresTest, RunsOfConsecutiveEvents)
{
    FrameFailures images(false);
    for (std::size_t e : {9, 3, 4, 5, 12, 11})
        images.add(e, "bad chunk " + std::to_string(e));
    const std::vector<std::string> expected = {"Error reading the images of 3 events (3 to 5): bad chunk 3",
                                               "Error reading the image of event 9: bad chunk 9",
                                               "Error reading the images of 2 events (11 to 12): bad chunk 11"};
    EXPECT_EQ(images.lines(), expected);
    images.report();
    EXPECT_TRUE(images.lines().empty()) << "reported events are forgotten";
    EXPECT_TRUE(FrameFailures(true).lines().empty());
}

} // namespace
} // namespace Tervane3
