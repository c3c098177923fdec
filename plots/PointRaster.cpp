// Sprite stamping with source-over blending on premultiplied ARGB pixels.
#include "plots/PointRaster.h"

#include "core/ParallelFor.h"

#include <qwt_scale_map.h>

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

// Multiplies the four 8-bit channels of a premultiplied pixel by alpha / 255.
inline std::uint32_t byteMul(std::uint32_t pixel, std::uint32_t alpha)
{
    std::uint32_t rb = (pixel & 0x00ff00ffu) * alpha;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu) + 0x00800080u) >> 8) & 0x00ff00ffu;
    std::uint32_t ag = ((pixel >> 8) & 0x00ff00ffu) * alpha;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu) + 0x00800080u) & 0xff00ff00u;
    return rb | ag;
}

inline std::uint32_t sourceOver(std::uint32_t dst, std::uint32_t src)
{
    const std::uint32_t srcAlpha = src >> 24;
    if (srcAlpha == 255)
        return src;
    return src + byteMul(dst, 255 - srcAlpha);
}

// Device pixels per plot pixel of the painter: its scaling (the plot renderer scales to the
// output resolution) times the device's pixel ratio.
double deviceScale(const QPainter* painter)
{
    double scale = 1.0;
    const QTransform t = painter->transform();
    if (t.type() <= QTransform::TxScale)
        scale = std::max(std::abs(t.m11()), std::abs(t.m22()));
    if (painter->device())
        scale *= painter->device()->devicePixelRatioF();
    return scale > 0.0 && std::isfinite(scale) ? scale : 1.0;
}

} // namespace

bool PointRaster::Key::operator==(const Key& o) const
{
    return width == o.width && height == o.height && scale == o.scale && xs1 == o.xs1 &&
           xs2 == o.xs2 && xp1 == o.xp1 && xp2 == o.xp2 && ys1 == o.ys1 && ys2 == o.ys2 &&
           yp1 == o.yp1 && yp2 == o.yp2 && left == o.left && top == o.top;
}

void PointRaster::setSprites(int colorCount, double diameter, SpritePainter painter)
{
    colors = std::max(0, colorCount);
    dotDiameter = diameter;
    spritePainter = std::move(painter);
    sprites.clear();
    spriteScale = 0.0;
    imageValid = false;
}

void PointRaster::buildSprites(double scale)
{
    spriteScale = scale;
    spriteSize = static_cast<int>(std::ceil(dotDiameter * scale)) + 2;
    sprites.assign(static_cast<size_t>(colors), {});
    QImage tile(spriteSize, spriteSize, QImage::Format_ARGB32_Premultiplied);
    for (int c = 0; c < colors; ++c) {
        tile.fill(Qt::transparent);
        {
            QPainter p(&tile);
            p.setRenderHint(QPainter::Antialiasing, true);
            // Centre of the tile; the stamp puts it on the point's pixel corner.
            p.translate(spriteSize / 2.0, spriteSize / 2.0);
            if (spritePainter)
                spritePainter(p, c, scale);
        }
        auto& sprite = sprites[static_cast<size_t>(c)];
        sprite.resize(static_cast<size_t>(spriteSize) * static_cast<size_t>(spriteSize));
        for (int row = 0; row < spriteSize; ++row) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(tile.constScanLine(row));
            std::copy(line, line + spriteSize, sprite.begin() + row * spriteSize);
        }
    }
}

void PointRaster::draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                       const QRectF& canvasRect, size_t count,
                       const std::function<bool(size_t, double&, double&)>& pointAt,
                       const std::function<int(size_t)>& colorAt)
{
    if (!painter || canvasRect.isEmpty())
        return;
    const double scale = deviceScale(painter);
    Key wanted;
    wanted.width = static_cast<int>(std::ceil(canvasRect.width() * scale));
    wanted.height = static_cast<int>(std::ceil(canvasRect.height() * scale));
    wanted.scale = scale;
    wanted.xs1 = xMap.s1();
    wanted.xs2 = xMap.s2();
    wanted.xp1 = xMap.p1();
    wanted.xp2 = xMap.p2();
    wanted.ys1 = yMap.s1();
    wanted.ys2 = yMap.s2();
    wanted.yp1 = yMap.p1();
    wanted.yp2 = yMap.p2();
    wanted.left = canvasRect.left();
    wanted.top = canvasRect.top();
    if (wanted.width <= 0 || wanted.height <= 0)
        return;

    if (!imageValid || !(key == wanted)) {
        key = wanted;
        render(xMap, yMap, canvasRect, count, pointAt, colorAt);
        imageValid = true;
    }
    painter->drawImage(canvasRect.topLeft(), image);
}

void PointRaster::render(const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                         const QRectF& canvasRect, size_t count,
                         const std::function<bool(size_t, double&, double&)>& pointAt,
                         const std::function<int(size_t)>& colorAt)
{
    ++renders;
    const double scale = key.scale;
    if (sprites.empty() || spriteScale != scale)
        buildSprites(scale);
    if (image.width() != key.width || image.height() != key.height)
        image = QImage(key.width, key.height, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    if (count == 0 || colors == 0)
        return;

    const int width = key.width;
    const int height = key.height;
    const int half = spriteSize / 2;

    // Pixel of every point's top-left sprite corner and its colour; -1 colour: not drawn.
    // The maps and the accessors are only read, so the points can be mapped in parallel.
    struct Stamp
    {
        int x, y, color;
    };
    std::vector<Stamp> stamps(count);
    const double left = canvasRect.left();
    const double top = canvasRect.top();
    parallelFor(count, 65536, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            Stamp& s = stamps[i];
            s.color = -1;
            double x = 0.0, y = 0.0;
            if (!pointAt(i, x, y))
                continue;
            const double px = (xMap.transform(x) - left) * scale;
            const double py = (yMap.transform(y) - top) * scale;
            if (!std::isfinite(px) || !std::isfinite(py) || px < -spriteSize ||
                py < -spriteSize || px > width + spriteSize || py > height + spriteSize)
                continue;
            const int c = colorAt(i);
            if (c < 0 || c >= colors)
                continue;
            s.x = static_cast<int>(std::lround(px)) - half;
            s.y = static_cast<int>(std::lround(py)) - half;
            s.color = c;
        }
    });

    // Row bands: each band walks every stamp in order and writes only its own rows.
    const int bandHeight = 32;
    const size_t bands = static_cast<size_t>((height + bandHeight - 1) / bandHeight);
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    parallelFor(bands, 1, [&](size_t bandBegin, size_t bandEnd) {
        for (size_t band = bandBegin; band < bandEnd; ++band) {
            const int rowLo = static_cast<int>(band) * bandHeight;
            const int rowHi = std::min(height, rowLo + bandHeight);
            for (const Stamp& s : stamps) {
                if (s.color < 0 || s.y >= rowHi || s.y + spriteSize <= rowLo)
                    continue;
                const std::uint32_t* sprite = sprites[static_cast<size_t>(s.color)].data();
                const int r0 = std::max(rowLo, s.y);
                const int r1 = std::min(rowHi, s.y + spriteSize);
                const int c0 = std::max(0, s.x);
                const int c1 = std::min(width, s.x + spriteSize);
                for (int r = r0; r < r1; ++r) {
                    std::uint32_t* dst = bits + static_cast<ptrdiff_t>(r) * stride;
                    const std::uint32_t* src = sprite + (r - s.y) * spriteSize - s.x;
                    for (int c = c0; c < c1; ++c) {
                        const std::uint32_t pixel = src[c];
                        if (pixel)
                            dst[c] = sourceOver(dst[c], pixel);
                    }
                }
            }
        }
    });
}

} // namespace Tervane3
