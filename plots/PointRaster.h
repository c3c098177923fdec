// Renders many dots of one size into an image that is kept and blitted again until the
// points, their colours or the scale maps change. A plot with a million points then costs
// one full rendering per data or zoom change and one image blit for every other repaint
// (moving the highlight, drawing a polygon, showing a contour). GUI thread only; the
// rendering itself spreads over worker threads in tiles of the image, each drawn in the
// painting order (later points over earlier ones), so the image is that of a serial run.
#pragma once

#include <QImage>
#include <QRectF>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class QPainter;
class QwtScaleMap;

namespace Tervane3 {

class PointRaster
{
public:
    // Paints one dot of colour `colorIndex` centred in a square image of `size` pixels;
    // `scale` is device pixels per plot pixel. Called once per colour when sprites are made.
    using SpritePainter = std::function<void(QPainter& painter, int colorIndex, double scale)>;

    // Forgets the image; the next draw renders again. Call when the points or colours change.
    void invalidate() { imageValid = false; }
    // Forgets the image and frees its buffer (the canvas in pixels): no points to draw.
    void release()
    {
        image = QImage();
        imageValid = false;
    }
    bool isCached() const { return imageValid; }

    // Sprites: `colorCount` dots of `diameter` plot pixels (the size an outline pen may add
    // included) painted by `painter`. Invalidates the image.
    void setSprites(int colorCount, double diameter, SpritePainter painter);

    // Draws points [0, count) given by pointAt(i, x, y) (false: skip) with the sprite
    // colorAt(i) (outside 0 .. colorCount - 1: skip), mapped through the two scale maps into
    // the canvas rectangle. Reuses the cached image when nothing changed.
    void draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
              const QRectF& canvasRect, size_t count,
              const std::function<bool(size_t, double&, double&)>& pointAt,
              const std::function<int(size_t)>& colorAt);

    // Number of full renderings so far (tests and benchmarks tell blits from renderings).
    std::uint64_t renderCount() const { return renders; }

    // Stamps blended by the last rendering, counted once per tile (or slice of a crowded
    // tile) they reach into; with occlusion culling, those that were not left out.
    std::uint64_t blendedStampCount() const { return blended; }

    // Whether a rendering leaves out the dots that later opaque dots hide completely (on by
    // default). The image is the same either way; tests compare the two.
    void setOcclusionCulling(bool on)
    {
        culling = on;
        imageValid = false;
    }

    // Size of the tiles the rendering is split into, in device pixels (32 x 32 by default).
    // Any size gives the same image; tests compare them.
    void setTileSize(int rows, int columns)
    {
        tileRows = std::max(1, rows);
        tileColumns = std::max(1, columns);
        imageValid = false;
    }

private:
    struct Key
    {
        int width = 0, height = 0;
        double scale = 0.0;
        double xs1 = 0.0, xs2 = 0.0, xp1 = 0.0, xp2 = 0.0;
        double ys1 = 0.0, ys2 = 0.0, yp1 = 0.0, yp2 = 0.0;
        double left = 0.0, top = 0.0;
        bool operator==(const Key& o) const;
    };
    void buildSprites(double scale);
    void render(const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect,
                size_t count, const std::function<bool(size_t, double&, double&)>& pointAt,
                const std::function<int(size_t)>& colorAt);

    int colors = 0;
    double dotDiameter = 0.0;
    SpritePainter spritePainter;
    // Premultiplied ARGB sprites, spriteSize x spriteSize each, for spriteScale.
    std::vector<std::vector<std::uint32_t>> sprites;
    int spriteSize = 0;
    double spriteScale = 0.0;
    // Per sprite and row, bit j set where column j is not transparent (drawn) and where it is
    // fully opaque (replaces what lies below). Made only for sprites of at most 64 columns;
    // larger ones are drawn without culling.
    struct RowMasks
    {
        std::vector<std::uint64_t> drawn;
        std::vector<std::uint64_t> opaque;
    };
    std::vector<RowMasks> spriteMasks;
    bool culling = true;
    int tileRows = 32;
    int tileColumns = 32;

    QImage image;
    Key key;
    bool imageValid = false;
    std::uint64_t renders = 0;
    std::uint64_t blended = 0;
};

} // namespace Tervane3
