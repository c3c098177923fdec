// Sprite stamping with source-over blending on premultiplied ARGB pixels.
#include "plots/PointRaster.h"

#include "core/FreshPages.h"
#include "core/ParallelFor.h"

#include <qwt_scale_map.h>

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

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
    // Written once by the mapping below (the colour always, the pixel where it is drawn): no
    // zero fill first, the fresh pages mapped in one call.
    std::unique_ptr<Stamp[]> stamps(new Stamp[count]);
    mapPagesNow(stamps.get(), count * sizeof(Stamp));
    const double left = canvasRect.left();
    const double top = canvasRect.top();

    // Tiles of rows and columns, each drawn by one thread, which writes only its own pixels.
    // Every tile gets the stamps that reach into it, in drawing order: counted per chunk of
    // stamps while they are made, then placed tile by tile, so that no tile has to look at
    // every stamp. Cells gather in a small part of a plot, so the crowded rows of the image
    // are split between several threads too.
    const int rowsPerTile = tileRows;
    const int columnsPerTile = tileColumns;
    const size_t tileRowCount = static_cast<size_t>((height + rowsPerTile - 1) / rowsPerTile);
    const size_t tileColumnCount = static_cast<size_t>((width + columnsPerTile - 1) / columnsPerTile);
    const size_t tiles = tileRowCount * tileColumnCount;
    struct TileSpan
    {
        size_t firstRow, lastRow, firstColumn, lastColumn;
    };
    const auto tileSpan = [&](const Stamp& s, TileSpan& span) {
        if (s.color < 0 || s.y >= height || s.y + spriteSize <= 0 || s.x >= width || s.x + spriteSize <= 0)
            return false;
        span.firstRow = static_cast<size_t>(std::max(0, s.y) / rowsPerTile);
        span.lastRow = static_cast<size_t>(std::min(height - 1, s.y + spriteSize - 1) / rowsPerTile);
        span.firstColumn = static_cast<size_t>(std::max(0, s.x) / columnsPerTile);
        span.lastColumn = static_cast<size_t>(std::min(width - 1, s.x + spriteSize - 1) / columnsPerTile);
        return true;
    };
    const size_t chunkSize = 65536;
    const size_t chunks = (count + chunkSize - 1) / chunkSize;
    // [chunk][tile]: first the number of stamps, then where the chunk's stamps of the tile go.
    std::vector<size_t> tileSlots(chunks * tiles, 0);
    parallelFor(count, chunkSize, [&](size_t begin, size_t end) {
        size_t* slot = tileSlots.data() + begin / chunkSize * tiles;
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
            TileSpan span;
            if (tileSpan(s, span)) {
                for (size_t row = span.firstRow; row <= span.lastRow; ++row) {
                    for (size_t column = span.firstColumn; column <= span.lastColumn; ++column)
                        ++slot[row * tileColumnCount + column];
                }
            }
        }
    });
    std::vector<size_t> tileStart(tiles + 1, 0);
    size_t total = 0;
    for (size_t tile = 0; tile < tiles; ++tile) {
        tileStart[tile] = total;
        for (size_t chunk = 0; chunk < chunks; ++chunk) {
            const size_t n = tileSlots[chunk * tiles + tile];
            tileSlots[chunk * tiles + tile] = total;
            total += n;
        }
    }
    tileStart[tiles] = total;
    std::unique_ptr<std::uint32_t[]> order(new std::uint32_t[std::max<size_t>(total, 1)]);
    mapPagesNow(order.get(), total * sizeof(std::uint32_t));
    parallelFor(chunks, 1, [&](size_t chunkBegin, size_t chunkEnd) {
        for (size_t chunk = chunkBegin; chunk < chunkEnd; ++chunk) {
            size_t* slot = tileSlots.data() + chunk * tiles;
            const size_t end = std::min(count, (chunk + 1) * chunkSize);
            for (size_t i = chunk * chunkSize; i < end; ++i) {
                TileSpan span;
                if (tileSpan(stamps[i], span)) {
                    for (size_t row = span.firstRow; row <= span.lastRow; ++row) {
                        for (size_t column = span.firstColumn; column <= span.lastColumn; ++column)
                            order[slot[row * tileColumnCount + column]++] = static_cast<std::uint32_t>(i);
                    }
                }
            }
        }
    });
    // Work items: a tile, or a slice of its rows when the tile alone holds more than a share
    // of all stamps (cells crowd into a few pixels: one tile can hold a fifth of a million
    // points). A slice walks the tile's whole list and draws only its own rows. The largest
    // items go first, so that the last ones handed out are short.
    struct Work
    {
        std::uint32_t tile;
        int rowLo, rowHi;
        size_t weight;
    };
    const size_t threads = static_cast<size_t>(workerThreadCount());
    const size_t share = threads > 1 ? std::max<size_t>(1, total / (threads * 4)) : std::max<size_t>(1, total);
    std::vector<Work> work;
    for (size_t tile = 0; tile < tiles; ++tile) {
        const size_t n = tileStart[tile + 1] - tileStart[tile];
        if (n == 0)
            continue;
        const int rowLo = static_cast<int>(tile / tileColumnCount) * rowsPerTile;
        const int rowHi = std::min(height, rowLo + rowsPerTile);
        const int rows = rowHi - rowLo;
        const int slices = static_cast<int>(std::min<size_t>(static_cast<size_t>(rows), (n + share - 1) / share));
        for (int slice = 0; slice < slices; ++slice) {
            work.push_back({static_cast<std::uint32_t>(tile), rowLo + rows * slice / slices,
                            rowLo + rows * (slice + 1) / slices, n / static_cast<size_t>(slices)});
        }
    }
    std::stable_sort(work.begin(), work.end(), [](const Work& a, const Work& b) { return a.weight > b.weight; });

    const bool cull = culling && !spriteMasks.empty();
    // Coverage rows of an item: one bit per column, offset by padBits so that stamps
    // reaching over the tile's left or right edge need no clipping; one spare word for the
    // reads that straddle two words.
    const int padBits = 2 * 64;
    const size_t words = static_cast<size_t>((columnsPerTile + 2 * padBits + 63) / 64) + 1;
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    std::atomic<std::uint64_t> blendedStamps{0};
    parallelFor(work.size(), 1, [&](size_t workBegin, size_t workEnd) {
        std::vector<std::uint64_t> covered;
        // The item's stamps that reach its rows, in reverse drawing order when culled.
        std::vector<std::uint32_t> drawn;
        for (size_t item = workBegin; item < workEnd; ++item) {
            const Work& w = work[item];
            const int rowLo = w.rowLo;
            const int rowHi = w.rowHi;
            const int colLo = static_cast<int>(w.tile % tileColumnCount) * columnsPerTile;
            const int colHi = std::min(width, colLo + columnsPerTile);
            const std::uint32_t* from = order.get() + tileStart[w.tile];
            const std::uint32_t* to = order.get() + tileStart[w.tile + 1];
            drawn.clear();
            if (cull) {
                // From the last stamp back: a stamp matters only when one of its drawn
                // pixels in these rows and columns is not yet covered by an opaque pixel of a
                // later stamp. Everything it adds there is replaced by such later pixels, so
                // leaving it out gives the same image.
                covered.assign(words * static_cast<size_t>(rowHi - rowLo), 0);
                for (const std::uint32_t* k = to; k-- != from;) {
                    const Stamp& s = stamps[*k];
                    const int r0 = std::max(rowLo, s.y);
                    const int r1 = std::min(rowHi, s.y + spriteSize);
                    if (r0 >= r1)
                        continue;
                    const RowMasks& masks = spriteMasks[static_cast<size_t>(s.color)];
                    const int bit = s.x - colLo + padBits;
                    const size_t word = static_cast<size_t>(bit >> 6);
                    const int shift = bit & 63;
                    // The sprite's columns that lie in this tile.
                    const int inFrom = std::max(0, colLo - s.x);
                    const int inTo = std::min(spriteSize, colHi - s.x);
                    const std::uint64_t inTile = (inTo >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << inTo) - 1)
                                                 & ~((std::uint64_t(1) << inFrom) - 1);
                    bool matters = false;
                    for (int r = r0; r < r1; ++r) {
                        std::uint64_t* row = covered.data() + static_cast<size_t>(r - rowLo) * words + word;
                        const std::uint64_t spritePixels = masks.drawn[static_cast<size_t>(r - s.y)] & inTile;
                        const std::uint64_t opaque = masks.opaque[static_cast<size_t>(r - s.y)];
                        const std::uint64_t below =
                            shift ? (row[0] >> shift) | (row[1] << (64 - shift)) : row[0];
                        // A row whose drawn pixels are all covered covers nothing new.
                        if ((below & spritePixels) == spritePixels)
                            continue;
                        matters = true;
                        row[0] |= opaque << shift;
                        if (shift)
                            row[1] |= opaque >> (64 - shift);
                    }
                    if (matters)
                        drawn.push_back(*k);
                }
                std::reverse(drawn.begin(), drawn.end());
            } else {
                for (const std::uint32_t* k = from; k != to; ++k) {
                    const Stamp& s = stamps[*k];
                    if (std::max(rowLo, s.y) < std::min(rowHi, s.y + spriteSize))
                        drawn.push_back(*k);
                }
            }
            blendedStamps.fetch_add(drawn.size(), std::memory_order_relaxed);
            for (const std::uint32_t index : drawn) {
                const Stamp& s = stamps[index];
                const std::uint32_t* sprite = sprites[static_cast<size_t>(s.color)].data();
                const int r0 = std::max(rowLo, s.y);
                const int r1 = std::min(rowHi, s.y + spriteSize);
                const int c0 = std::max(colLo, s.x);
                const int c1 = std::min(colHi, s.x + spriteSize);
                for (int r = r0; r < r1; ++r) {
                    std::uint32_t* dst = bits + static_cast<ptrdiff_t>(r) * stride;
                    const std::uint32_t* src = sprite + (r - s.y) * spriteSize - s.x;
                    // Without a branch: a transparent pixel leaves dst as it is (multiplying
                    // by 255 / 255 is exact), an opaque one replaces it.
                    for (int c = c0; c < c1; ++c)
                        dst[c] = src[c] + byteMul(dst[c], 255 - (src[c] >> 24));
                }
            }
        }
    });
    blended = blendedStamps.load();
}

} // namespace Tervane3
