// Sprite stamping with source-over blending on premultiplied ARGB pixels.
#include "plots/PointRaster.h"

#include "core/ParallelFor.h"

#include <qwt_scale_map.h>

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace Tervane3 {

namespace {

// Widest sprite whose rows fit the 64-bit coverage masks of the occlusion test.
constexpr int kMaxMaskedSprite = 64;

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

    spriteMasks.clear();
    if (spriteSize > kMaxMaskedSprite)
        return;
    spriteMasks.resize(static_cast<size_t>(colors));
    for (int c = 0; c < colors; ++c) {
        const auto& sprite = sprites[static_cast<size_t>(c)];
        RowMasks& masks = spriteMasks[static_cast<size_t>(c)];
        masks.drawn.assign(static_cast<size_t>(spriteSize), 0);
        masks.opaque.assign(static_cast<size_t>(spriteSize), 0);
        for (int row = 0; row < spriteSize; ++row) {
            for (int col = 0; col < spriteSize; ++col) {
                const std::uint32_t pixel = sprite[static_cast<size_t>(row * spriteSize + col)];
                const std::uint64_t bit = std::uint64_t(1) << col;
                if (pixel)
                    masks.drawn[static_cast<size_t>(row)] |= bit;
                if ((pixel >> 24) == 255)
                    masks.opaque[static_cast<size_t>(row)] |= bit;
            }
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
    blended = 0;
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

    // Row bands, each drawn by one thread, which writes only its own rows. Every band gets the
    // stamps that reach into it, in drawing order: counted per chunk of stamps while they are
    // made, then placed band by band, so that no band has to look at every stamp.
    const int bandHeight = 32;
    const size_t bands = static_cast<size_t>((height + bandHeight - 1) / bandHeight);
    const auto bandRange = [&](const Stamp& s, size_t& first, size_t& last) {
        if (s.color < 0 || s.y >= height || s.y + spriteSize <= 0)
            return false;
        first = static_cast<size_t>(std::max(0, s.y) / bandHeight);
        last = static_cast<size_t>(std::min(height - 1, s.y + spriteSize - 1) / bandHeight);
        return true;
    };
    const size_t chunkSize = 65536;
    const size_t chunks = (count + chunkSize - 1) / chunkSize;
    // [chunk][band]: first the number of stamps, then where the chunk's stamps of the band go.
    std::vector<size_t> bandSlots(chunks * bands, 0);
    parallelFor(count, chunkSize, [&](size_t begin, size_t end) {
        size_t* slot = bandSlots.data() + begin / chunkSize * bands;
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
            size_t first, last;
            if (bandRange(s, first, last)) {
                for (size_t band = first; band <= last; ++band)
                    ++slot[band];
            }
        }
    });
    std::vector<size_t> bandStart(bands + 1, 0);
    size_t total = 0;
    for (size_t band = 0; band < bands; ++band) {
        bandStart[band] = total;
        for (size_t chunk = 0; chunk < chunks; ++chunk) {
            const size_t n = bandSlots[chunk * bands + band];
            bandSlots[chunk * bands + band] = total;
            total += n;
        }
    }
    bandStart[bands] = total;
    std::vector<std::uint32_t> order(total);
    parallelFor(chunks, 1, [&](size_t chunkBegin, size_t chunkEnd) {
        for (size_t chunk = chunkBegin; chunk < chunkEnd; ++chunk) {
            size_t* slot = bandSlots.data() + chunk * bands;
            const size_t end = std::min(count, (chunk + 1) * chunkSize);
            for (size_t i = chunk * chunkSize; i < end; ++i) {
                size_t first, last;
                if (bandRange(stamps[i], first, last)) {
                    for (size_t band = first; band <= last; ++band)
                        order[slot[band]++] = static_cast<std::uint32_t>(i);
                }
            }
        }
    });

    const bool cull = culling && !spriteMasks.empty();
    // Coverage rows of a band: one bit per column, offset by padBits so that stamps
    // reaching over the left or right edge need no clipping; one spare word for the reads
    // that straddle two words.
    const int padBits = 2 * 64;
    const size_t words = static_cast<size_t>((width + 2 * padBits + 63) / 64) + 1;
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    std::atomic<std::uint64_t> blendedStamps{0};
    parallelFor(bands, 1, [&](size_t bandBegin, size_t bandEnd) {
        std::vector<std::uint64_t> covered;
        for (size_t band = bandBegin; band < bandEnd; ++band) {
            const int rowLo = static_cast<int>(band) * bandHeight;
            const int rowHi = std::min(height, rowLo + bandHeight);
            size_t from = bandStart[band];
            const size_t to = bandStart[band + 1];
            if (cull) {
                // From the last stamp back: a stamp matters only when one of its drawn
                // pixels in this band is not yet covered by an opaque pixel of a later stamp.
                // Everything it adds elsewhere is replaced by such later pixels, so leaving it
                // out gives the same image. The stamps that matter are gathered, still in
                // drawing order, at the end of the band's list.
                covered.assign(words * static_cast<size_t>(rowHi - rowLo), 0);
                size_t keep = to;
                for (size_t k = to; k-- > from;) {
                    const std::uint32_t index = order[k];
                    const Stamp& s = stamps[index];
                    const RowMasks& masks = spriteMasks[static_cast<size_t>(s.color)];
                    const int bit = s.x + padBits;
                    const size_t word = static_cast<size_t>(bit >> 6);
                    const int shift = bit & 63;
                    bool matters = false;
                    const int r0 = std::max(rowLo, s.y);
                    const int r1 = std::min(rowHi, s.y + spriteSize);
                    for (int r = r0; r < r1; ++r) {
                        std::uint64_t* row = covered.data() + static_cast<size_t>(r - rowLo) * words + word;
                        const std::uint64_t drawn = masks.drawn[static_cast<size_t>(r - s.y)];
                        const std::uint64_t opaque = masks.opaque[static_cast<size_t>(r - s.y)];
                        const std::uint64_t below =
                            shift ? (row[0] >> shift) | (row[1] << (64 - shift)) : row[0];
                        // A row whose drawn pixels are all covered covers nothing new.
                        if ((below & drawn) == drawn)
                            continue;
                        matters = true;
                        row[0] |= opaque << shift;
                        if (shift)
                            row[1] |= opaque >> (64 - shift);
                    }
                    if (matters)
                        order[--keep] = index;
                }
                from = keep;
            }
            blendedStamps.fetch_add(to - from, std::memory_order_relaxed);
            for (size_t k = from; k < to; ++k) {
                const Stamp& s = stamps[order[k]];
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
    blended = blendedStamps.load();
}

} // namespace Tervane3
