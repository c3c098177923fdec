// The cached point image: leaving out the dots that later opaque dots hide, and splitting the
// image into tiles drawn by several threads, must not change a single pixel. Piles of
// overlapping dots, dots over the canvas edges and across tiles, opaque and translucent
// sprites, two device scales and a sprite too wide for the coverage masks, each rendered
// with and without the culling.
#include "plots/PointRaster.h"

#include <qwt_scale_map.h>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

constexpr int kWidth = 170;
constexpr int kHeight = 130; // five rows of default tiles at device scale 1, nine at 2

struct Points
{
    std::vector<double> x;
    std::vector<double> y;
    std::vector<int> color;
};

// A dense pile (most of its dots hidden), a loose scatter, and dots on and beyond the four
// edges; positions at fractions of a pixel so that the rounding varies.
Points makePoints(int colors)
{
    std::mt19937 random(23);
    std::normal_distribution<double> pileX(60.0, 6.0);
    std::normal_distribution<double> pileY(64.0, 5.0); // across the tile edge at row 64
    std::uniform_real_distribution<double> anywhereX(-12.0, kWidth + 12.0);
    std::uniform_real_distribution<double> anywhereY(-12.0, kHeight + 12.0);
    std::uniform_int_distribution<int> colour(0, colors - 1);
    Points p;
    for (int i = 0; i < 6000; ++i) {
        const bool pile = i % 4 != 0;
        p.x.push_back(pile ? pileX(random) : anywhereX(random));
        p.y.push_back(pile ? pileY(random) : anywhereY(random));
        p.color.push_back(colour(random));
    }
    return p;
}

// Opaque dots of distinct colours, as the coloured points draw them.
void opaqueDot(QPainter& painter, int c, double scale, double diameter)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromHsv((c * 47) % 360, 200, 220));
    const double r = diameter * scale / 2.0;
    painter.drawEllipse(QPointF(0.0, 0.0), r, r);
}

// A translucent fill inside an opaque ring, as the plain points draw them.
void ringedDot(QPainter& painter, int c, double scale, double diameter)
{
    painter.setPen(QPen(QColor::fromHsv((c * 91) % 360, 255, 120), scale));
    painter.setBrush(QColor(0, 68, 108, 100));
    const double r = diameter * scale / 2.0;
    painter.drawEllipse(QPointF(0.0, 0.0), r, r);
}

struct TileSize
{
    int rows = 32;
    int columns = 32;
};

QImage render(const Points& points, int colors, double diameter, bool ringed, double scale, bool culling,
              std::uint64_t* blended = nullptr, TileSize tile = {})
{
    PointRaster raster;
    raster.setOcclusionCulling(culling);
    raster.setTileSize(tile.rows, tile.columns);
    raster.setSprites(colors, diameter + 2.0, [diameter, ringed](QPainter& painter, int c, double s) {
        if (ringed)
            ringedDot(painter, c, s, diameter);
        else
            opaqueDot(painter, c, s, diameter);
    });
    QwtScaleMap xMap;
    xMap.setScaleInterval(0.0, kWidth);
    xMap.setPaintInterval(0.0, kWidth);
    QwtScaleMap yMap;
    yMap.setScaleInterval(0.0, kHeight);
    yMap.setPaintInterval(0.0, kHeight);

    QImage image(static_cast<int>(kWidth * scale), static_cast<int>(kHeight * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.scale(scale, scale);
        raster.draw(
            &painter, xMap, yMap, QRectF(0.0, 0.0, kWidth, kHeight), points.x.size(),
            [&points](size_t i, double& x, double& y) {
                x = points.x[i];
                y = points.y[i];
                return true;
            },
            [&points](size_t i) { return points.color[i]; });
    }
    if (blended)
        *blended = raster.blendedStampCount();
    return image;
}

TEST(PointRasterTest, CullingLeavesEveryPixelAsDrawingEveryDot)
{
    struct Case
    {
        std::string name;
        int colors;
        double diameter;
        bool ringed;
        double scale;
        bool expectCulled; // opaque piles hide dots; a translucent fill hides none
    };
    const std::vector<Case> cases = {
        {"opaque, scale 1", 256, 6.0, false, 1.0, true},
        {"opaque, scale 2", 256, 6.0, false, 2.0, true},
        {"one opaque colour", 1, 6.0, false, 1.0, true},
        {"ringed translucent", 3, 6.0, true, 1.0, false},
        {"ringed translucent, scale 2", 3, 6.0, true, 2.0, false},
        {"wider than the coverage masks", 4, 70.0, false, 1.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Points points = makePoints(c.colors);
        std::uint64_t blendedCulled = 0;
        std::uint64_t blendedAll = 0;
        const QImage culled = render(points, c.colors, c.diameter, c.ringed, c.scale, true, &blendedCulled);
        const QImage all = render(points, c.colors, c.diameter, c.ringed, c.scale, false, &blendedAll);
        ASSERT_EQ(culled.size(), all.size());
        int differing = 0;
        for (int row = 0; row < all.height(); ++row) {
            for (int col = 0; col < all.width(); ++col)
                differing += culled.pixel(col, row) != all.pixel(col, row) ? 1 : 0;
        }
        EXPECT_EQ(differing, 0);
        if (c.expectCulled)
            EXPECT_LT(blendedCulled * 2, blendedAll);
        else
            EXPECT_LE(blendedCulled, blendedAll);
    }
}

int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int differing = 0;
    for (int row = 0; row < a.height(); ++row) {
        for (int col = 0; col < a.width(); ++col)
            differing += a.pixel(col, row) != b.pixel(col, row) ? 1 : 0;
    }
    return differing;
}

// One tile over the whole image, without culling, is the plain painter's pass: every dot in
// order over the ones before. Tiles of any size, with and without culling, must give that
// image, also where dots straddle tile corners and the image edges.
TEST(PointRasterTest, TilesGiveTheImageOfOneSerialPass)
{
    const std::vector<TileSize> tiles = {{32, 32}, {7, 5}, {1, 1}, {130, 3}, {2, 170}};
    for (const bool ringed : {false, true}) {
        for (const double scale : {1.0, 2.0}) {
            const int colors = ringed ? 3 : 64;
            const Points points = makePoints(colors);
            const QImage serial =
                render(points, colors, 6.0, ringed, scale, false, nullptr, {1 << 20, 1 << 20});
            for (const TileSize& tile : tiles) {
                for (const bool culling : {false, true}) {
                    SCOPED_TRACE(std::string(ringed ? "ringed" : "opaque") + ", scale " + std::to_string(scale) +
                                 ", tiles " + std::to_string(tile.rows) + " x " + std::to_string(tile.columns) +
                                 (culling ? ", culling" : ""));
                    EXPECT_EQ(differingPixels(render(points, colors, 6.0, ringed, scale, culling, nullptr, tile), serial),
                              0);
                }
            }
        }
    }
}

} // namespace
