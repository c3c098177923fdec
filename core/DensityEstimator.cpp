// Kernel, histogram and nearest-neighbour densities and the density contour levels (see
// DensityEstimator.h). Costs that grow with the event count are kept linear: quartiles by
// bucket selection (no copy of the values), one binning pass per candidate bin count, a
// separable truncated kernel on the bins and a bilinear look-up per event.
#include "core/DensityEstimator.h"

#include "core/AxisScaleMode.h"
#include "core/ContourTracer.h"
#include "core/DensityBinning.h"
#include "core/NeighbourSearchTree.h"
#include "core/OrderStatistics.h"
#include "core/ParallelFor.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kEventGrain = 1 << 16; // events per parallel chunk
// Below this many events, threads cost more than they save (and on a busy machine every
// join waits for the slowest of them), so the per-call parallel steps run serially.
constexpr size_t kParallelEvents = 1 << 16;

// The events whose x and y are both finite, in ascending order. Points at the caller's
// vectors when every event is finite, so the common case copies nothing.
class FiniteEvents
{
public:
    FiniteEvents(const std::vector<double>& x, const std::vector<double>& y)
        : m_total(x.size())
    {
        const size_t n = std::min(x.size(), y.size());
        bool allFinite = n == x.size();
        for (size_t i = 0; i < n && allFinite; ++i)
            allFinite = std::isfinite(x[i]) && std::isfinite(y[i]);
        if (allFinite) {
            m_x = x.data();
            m_y = y.data();
            m_count = n;
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            if (std::isfinite(x[i]) && std::isfinite(y[i])) {
                m_xs.push_back(x[i]);
                m_ys.push_back(y[i]);
                m_index.push_back(i);
            }
        }
        m_x = m_xs.data();
        m_y = m_ys.data();
        m_count = m_xs.size();
    }

    const double* x() const { return m_x; }
    const double* y() const { return m_y; }
    size_t count() const { return m_count; }

    // One value per event of the caller's x: the finite events' values in place, NaN for
    // the others.
    std::vector<double> scatter(std::vector<double>&& values) const
    {
        if (m_index.empty() && m_count == m_total)
            return std::move(values);
        std::vector<double> out(m_total, kNaN);
        for (size_t i = 0; i < m_index.size(); ++i)
            out[m_index[i]] = values[i];
        return out;
    }

private:
    const double* m_x = nullptr;
    const double* m_y = nullptr;
    size_t m_count = 0;
    size_t m_total = 0;
    std::vector<double> m_xs;
    std::vector<double> m_ys;
    std::vector<size_t> m_index;
};

struct Range
{
    double min = 0.0;
    double width = 1.0; // max - min, replaced by 1 when <= 0
};

Range valueRange(const double* v, size_t n)
{
    Range range;
    if (n == 0)
        return range;
    double lo = v[0];
    double hi = v[0];
    for (size_t i = 1; i < n; ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
    range.min = lo;
    range.width = hi - lo > 0.0 ? hi - lo : 1.0;
    return range;
}

int chooseBinCountFinite(const double* x, const double* y, size_t n)
{
    if (n < 4)
        return 32;
    const Range rx = valueRange(x, n);
    const Range ry = valueRange(y, n);

    // 20 counts on a logarithmic scale from 32 to 512.
    std::vector<int> candidates;
    for (int i = 0; i < 20; ++i) {
        const int m = static_cast<int>(std::round(std::exp(i * 2.7725888 / 19.0 + 3.4657359)));
        if (candidates.empty() || candidates.back() != m)
            candidates.push_back(m);
    }

    // The counts of all candidates in one block taken by the calling thread: allocated in
    // the worker threads, the larger ones were fresh memory mappings on every call, and
    // mapping and unmapping memory while several threads run costs more than the counting.
    std::vector<size_t> offsets(candidates.size() + 1, 0);
    for (size_t c = 0; c < candidates.size(); ++c)
        offsets[c + 1] = offsets[c] + static_cast<size_t>(candidates[c]) * static_cast<size_t>(candidates[c]);
    std::vector<int> allCounts(offsets.back(), 0);

    std::vector<double> costs(candidates.size(), DBL_MAX);
    const size_t grain = n < kParallelEvents ? candidates.size() : 1;
    parallelFor(candidates.size(), grain, [&](size_t begin, size_t end) {
        for (size_t c = begin; c < end; ++c) {
            const int m = candidates[c];
            const double wx = rx.width / m;
            const double wy = ry.width / m;
            int* counts = allCounts.data() + offsets[c];
            for (size_t i = 0; i < n; ++i) {
                const int col = binIndex((x[i] - rx.min) / wx, m);
                const int row = binIndex((y[i] - ry.min) / wy, m);
                ++counts[static_cast<size_t>(row) * static_cast<size_t>(m) + static_cast<size_t>(col)];
            }
            const double cells = static_cast<double>(m) * static_cast<double>(m);
            const double k = static_cast<double>(n) / cells;
            double v = 0.0;
            for (size_t cell = 0; cell < offsets[c + 1] - offsets[c]; ++cell) {
                const int count = counts[cell];
                const double d = count - k;
                v += d * d;
            }
            v /= cells;
            const double area = wx * wy;
            costs[c] = (2.0 * k - v) / (area * area);
        }
    });

    double best = DBL_MAX;
    int answer = 64;
    for (size_t c = 0; c < candidates.size(); ++c) {
        if (costs[c] < best) {
            best = costs[c];
            answer = candidates[c];
        }
    }
    return answer;
}

// q25 and q75 as DensityEstimator::quantile gives them on the sorted values: linear
// interpolation between the order statistics either side of each position, which are all
// that is selected.
void quartiles(const double* v, size_t n, double lowest, double highest, double& q25, double& q75)
{
    const auto position = [n](double q, size_t& lo, size_t& hi, double& f) {
        const double pos = static_cast<double>(n - 1) * q;
        lo = static_cast<size_t>(std::floor(pos));
        f = pos - static_cast<double>(lo);
        hi = std::min(lo + 1, n - 1);
    };
    size_t ranks[4];
    double f25, f75;
    position(0.25, ranks[0], ranks[1], f25);
    position(0.75, ranks[2], ranks[3], f75);
    double at[4];
    selectRanks(v, n, lowest, highest, ranks, at, 4);
    q25 = (1.0 - f25) * at[0] + f25 * at[1];
    q75 = (1.0 - f75) * at[2] + f75 * at[3];
}

struct AxisBandwidth
{
    double min = 0.0;
    double max = 0.0;
    double h = 1.0;
};

// Silverman-type bandwidth n^(-1/6) * spread, the spread being IQR / 1.34 when that is
// positive and below the standard deviation, else the standard deviation.
AxisBandwidth axisBandwidth(const double* v, size_t n)
{
    AxisBandwidth axis;
    axis.min = v[0];
    axis.max = v[0];
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        axis.min = std::min(axis.min, v[i]);
        axis.max = std::max(axis.max, v[i]);
        sum += v[i];
    }
    const double mean = sum / static_cast<double>(n);
    double squares = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = v[i] - mean;
        squares += d * d;
    }
    const double sd = std::sqrt(squares / static_cast<double>(n));

    double q25 = 0.0;
    double q75 = 0.0;
    quartiles(v, n, axis.min, axis.max, q25, q75);
    const double iqr = q75 - q25;
    const double sigma = (iqr > 0.0 && iqr / 1.34 < sd) ? iqr / 1.34 : sd;
    const double h = std::pow(static_cast<double>(n), -1.0 / 6.0) * sigma;
    axis.h = h > 0.0 ? h : 1.0;
    return axis;
}

std::vector<double> gaussianTaps(double bandwidthInCells)
{
    double reach = std::ceil(4.0 * bandwidthInCells);
    if (!(reach >= 1.0))
        reach = 1.0;
    // The grid spans the range plus 3 bandwidths each side, so the reach stays below the
    // bin count; the cap only keeps absurd inputs away from the int conversion.
    reach = std::min(reach, 1.0e6);
    const int half = static_cast<int>(reach);
    std::vector<double> taps(static_cast<size_t>(2 * half + 1));
    double sum = 0.0;
    for (int i = 0; i <= 2 * half; ++i) {
        const double t = (i - half) / bandwidthInCells;
        taps[static_cast<size_t>(i)] = std::exp(-0.5 * t * t);
        sum += taps[static_cast<size_t>(i)];
    }
    for (double& tap : taps)
        tap /= sum;
    return taps;
}

// out[c] = sum over |c - j| <= L of in[j] * taps[c - j + L], zeros outside the grid, for
// every row (x direction), then the same for every column (y direction). Written as a
// scatter over the non-zero inputs in ascending j, which adds the terms of each output in
// the same order as the plain sum and skips the empty bins.
std::vector<double> smooth(const std::vector<double>& counts, int bins,
                           const std::vector<double>& kx, const std::vector<double>& ky)
{
    const int lx = static_cast<int>(kx.size() / 2);
    const int ly = static_cast<int>(ky.size() / 2);
    const size_t b = static_cast<size_t>(bins);

    std::vector<double> rows(counts.size(), 0.0);
    for (size_t r = 0; r < b; ++r) {
        const double* in = counts.data() + r * b;
        double* out = rows.data() + r * b;
        for (int j = 0; j < bins; ++j) {
            const double v = in[j];
            if (v == 0.0)
                continue;
            const int c0 = std::max(0, j - lx);
            const int c1 = std::min(bins - 1, j + lx);
            const double* tap = kx.data() + (c0 - j + lx);
            for (int c = c0; c <= c1; ++c)
                out[c] += v * tap[c - c0];
        }
    }

    std::vector<double> result(counts.size(), 0.0);
    for (int j = 0; j < bins; ++j) {
        const double* in = rows.data() + static_cast<size_t>(j) * b;
        if (std::all_of(in, in + bins, [](double v) { return v == 0.0; }))
            continue;
        const int r0 = std::max(0, j - ly);
        const int r1 = std::min(bins - 1, j + ly);
        for (int r = r0; r <= r1; ++r) {
            const double w = ky[static_cast<size_t>(r - j + ly)];
            double* out = result.data() + static_cast<size_t>(r) * b;
            for (size_t c = 0; c < b; ++c)
                out[c] += in[c] * w;
        }
    }
    return result;
}

DensityGrid kdeGridFinite(const double* x, const double* y, size_t n, int bins)
{
    DensityGrid grid;
    if (n == 0)
        return grid;
    if (bins < 1)
        bins = chooseBinCountFinite(x, y, n);

    AxisBandwidth ax;
    AxisBandwidth ay;
    parallelFor(2, n < kParallelEvents ? 2 : 1, [&](size_t begin, size_t end) {
        for (size_t axis = begin; axis < end; ++axis) {
            if (axis == 0)
                ax = axisBandwidth(x, n);
            else
                ay = axisBandwidth(y, n);
        }
    });

    grid.bins = bins;
    grid.xMin = ax.min - 3.0 * ax.h;
    grid.dx = (ax.max + 3.0 * ax.h - grid.xMin) / bins;
    grid.yMin = ay.min - 3.0 * ay.h;
    grid.dy = (ay.max + 3.0 * ay.h - grid.yMin) / bins;

    const size_t b = static_cast<size_t>(bins);
    std::vector<double> counts(b * b, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const int col = binIndex((x[i] - grid.xMin) / grid.dx, bins);
        const int row = binIndex((y[i] - grid.yMin) / grid.dy, bins);
        counts[static_cast<size_t>(row) * b + static_cast<size_t>(col)] += 1.0;
    }

    grid.values = smooth(counts, bins, gaussianTaps(ax.h / grid.dx), gaussianTaps(ay.h / grid.dy));
    return grid;
}

inline double interpolateAt(const DensityGrid& grid, double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return kNaN;
    const double gx = (x - grid.xMin) / grid.dx - 0.5;
    const double gy = (y - grid.yMin) / grid.dy - 0.5;
    const double c0 = std::floor(gx);
    const double r0 = std::floor(gy);
    const double fx = gx - c0;
    const double fy = gy - r0;
    const double last = grid.bins - 1;
    const auto clampIndex = [last](double v) {
        return static_cast<size_t>(std::clamp(v, 0.0, last));
    };
    const size_t b = static_cast<size_t>(grid.bins);
    const size_t ca = clampIndex(c0);
    const size_t cb = clampIndex(c0 + 1.0);
    const size_t ra = clampIndex(r0) * b;
    const size_t rb = clampIndex(r0 + 1.0) * b;
    const double* v = grid.values.data();
    return (1.0 - fx) * (1.0 - fy) * v[ra + ca] + fx * (1.0 - fy) * v[ra + cb]
        + (1.0 - fx) * fy * v[rb + ca] + fx * fy * v[rb + cb];
}

std::vector<double> interpolateFinite(const DensityGrid& grid, const double* x, const double* y,
                                      size_t n)
{
    std::vector<double> out(n, kNaN);
    if (grid.isEmpty())
        return out;
    parallelFor(n, kEventGrain, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            out[i] = interpolateAt(grid, x[i], y[i]);
    });
    return out;
}

std::vector<double> histogramFinite(const double* x, const double* y, size_t n, int bins)
{
    if (bins < 1)
        bins = chooseBinCountFinite(x, y, n);
    const Range rx = valueRange(x, n);
    const Range ry = valueRange(y, n);
    const double wx = rx.width / bins;
    const double wy = ry.width / bins;
    const size_t b = static_cast<size_t>(bins);

    // The bin of an event is computed twice rather than stored for a million events.
    const auto binOf = [&](size_t i) {
        const int col = binIndex((x[i] - rx.min) / wx, bins);
        const int row = binIndex((y[i] - ry.min) / wy, bins);
        return static_cast<size_t>(row) * b + static_cast<size_t>(col);
    };
    std::vector<double> counts(b * b, 0.0);
    for (size_t i = 0; i < n; ++i)
        counts[binOf(i)] += 1.0;
    std::vector<double> out(n);
    parallelFor(n, kEventGrain, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            out[i] = counts[binOf(i)];
    });
    return out;
}

// Thresholds of several fractions from one working copy of the densities, selected in
// ascending order of their index: each selection leaves everything above its index at or
// above it, so the next one only has to look there.
std::vector<double> levelThresholds(const std::vector<double>& densities,
                                    const std::vector<double>& fractions)
{
    std::vector<double> thresholds(fractions.size(), 0.0);
    std::vector<size_t> usable;
    for (size_t f = 0; f < fractions.size(); ++f) {
        if (fractions[f] > 0.0 && fractions[f] < 1.0)
            usable.push_back(f);
    }
    if (usable.empty())
        return thresholds;
    std::vector<double> work;
    work.reserve(densities.size());
    for (const double d : densities) {
        if (!std::isnan(d))
            work.push_back(d);
    }
    if (work.empty())
        return thresholds;

    const size_t n = work.size();
    const auto indexOf = [n](double fraction) {
        return std::min(n - 1, static_cast<size_t>(std::floor(static_cast<double>(n) * fraction)));
    };
    std::sort(usable.begin(), usable.end(),
              [&](size_t a, size_t b) { return indexOf(fractions[a]) < indexOf(fractions[b]); });
    size_t from = 0;
    for (const size_t f : usable) {
        const size_t index = indexOf(fractions[f]);
        std::nth_element(work.begin() + static_cast<ptrdiff_t>(from),
                         work.begin() + static_cast<ptrdiff_t>(index), work.end());
        thresholds[f] = work[index];
        from = index;
    }
    return thresholds;
}

// One level per fraction from a kernel grid and the densities at the events.
std::vector<ContourLevel> levelsFromGrid(const DensityGrid& grid, const std::vector<double>& densities,
                                         const std::vector<double>& fractions)
{
    if (grid.isEmpty())
        return {};
    const std::vector<double> thresholds = levelThresholds(densities, fractions);
    std::vector<ContourLevel> levels(fractions.size());
    const size_t grain = densities.size() < kParallelEvents ? fractions.size() : 1;
    parallelFor(fractions.size(), grain, [&](size_t begin, size_t end) {
        for (size_t f = begin; f < end; ++f) {
            levels[f].fraction = fractions[f];
            levels[f].threshold = thresholds[f];
            if (thresholds[f] > 0.0)
                levels[f].lines = DensityEstimator::traceLevel(grid, thresholds[f]);
        }
    });
    return levels;
}

// Line points from axis coordinates back to data units.
void mapLinesBack(std::vector<ContourLevel>& levels, int xScaleMode, int yScaleMode)
{
    if (clampScaleMode(xScaleMode) == ScaleLinear && clampScaleMode(yScaleMode) == ScaleLinear)
        return;
    for (ContourLevel& level : levels) {
        for (ContourPolyline& line : level.lines) {
            for (auto& point : line)
                inverseTransformPoint(point.first, point.second, xScaleMode, yScaleMode);
        }
    }
}

} // namespace

std::vector<double> DensityEstimator::computeDensity(const std::vector<double>& x,
                                                     const std::vector<double>& y, int method)
{
    const FiniteEvents events(x, y);
    if (events.count() < 4 || method < DensityKde || method > DensityKnn)
        return std::vector<double>(x.size(), kNaN);

    std::vector<double> values;
    switch (method) {
    case DensityKde: {
        const DensityGrid grid = kdeGridFinite(events.x(), events.y(), events.count(), 0);
        values = interpolateFinite(grid, events.x(), events.y(), events.count());
        break;
    }
    case DensityHistogram:
        values = histogramFinite(events.x(), events.y(), events.count(), 0);
        break;
    default:
        values = NeighbourSearchTree::knnDensity(events.x(), events.y(), events.count());
        break;
    }
    return events.scatter(std::move(values));
}

DensityGrid DensityEstimator::kdeGrid(const std::vector<double>& x, const std::vector<double>& y,
                                      int bins)
{
    const FiniteEvents events(x, y);
    return kdeGridFinite(events.x(), events.y(), events.count(), bins);
}

std::vector<double> DensityEstimator::interpolateGrid(const DensityGrid& grid,
                                                      const std::vector<double>& x,
                                                      const std::vector<double>& y)
{
    const size_t n = std::min(x.size(), y.size());
    return interpolateFinite(grid, x.data(), y.data(), n);
}

std::vector<double> DensityEstimator::histogramDensity(const std::vector<double>& x,
                                                       const std::vector<double>& y, int bins)
{
    const FiniteEvents events(x, y);
    if (events.count() == 0)
        return std::vector<double>(x.size(), kNaN);
    return events.scatter(histogramFinite(events.x(), events.y(), events.count(), bins));
}

std::vector<double> DensityEstimator::knnDensity(const std::vector<double>& x,
                                                 const std::vector<double>& y)
{
    const FiniteEvents events(x, y);
    return events.scatter(
        NeighbourSearchTree::knnDensity(events.x(), events.y(), events.count()));
}

int DensityEstimator::chooseBinCount(const std::vector<double>& x, const std::vector<double>& y)
{
    const FiniteEvents events(x, y);
    return chooseBinCountFinite(events.x(), events.y(), events.count());
}

double DensityEstimator::quantile(const std::vector<double>& sorted, double q)
{
    if (sorted.empty())
        return 0.0;
    const size_t n = sorted.size();
    const double pos = static_cast<double>(n - 1) * q;
    const size_t lo = static_cast<size_t>(std::floor(pos));
    const double f = pos - static_cast<double>(lo);
    const size_t hi = std::min(lo + 1, n - 1);
    return (1.0 - f) * sorted[lo] + f * sorted[hi];
}

std::vector<ContourLevel> DensityEstimator::computeContours(const std::vector<double>& x,
                                                            const std::vector<double>& y,
                                                            const std::vector<double>& fractions,
                                                            int xScaleMode, int yScaleMode)
{
    std::vector<ContourLevel> levels =
        contourLines(transformValues(x, xScaleMode), transformValues(y, yScaleMode), fractions, 0);
    mapLinesBack(levels, xScaleMode, yScaleMode);
    return levels;
}

std::vector<ContourLevel> DensityEstimator::contourLines(const std::vector<double>& tx,
                                                         const std::vector<double>& ty,
                                                         const std::vector<double>& fractions,
                                                         int bins)
{
    if (tx.size() != ty.size() || fractions.empty())
        return {};
    // A single non-finite coordinate would turn the spread, and with it the whole grid,
    // into NaN; such events are left out here as the density colouring leaves them out.
    const FiniteEvents events(tx, ty);
    if (events.count() < 4)
        return {};
    const DensityGrid grid = kdeGridFinite(events.x(), events.y(), events.count(), bins);
    const std::vector<double> densities =
        interpolateFinite(grid, events.x(), events.y(), events.count());
    return levelsFromGrid(grid, densities, fractions);
}

DensityAndContours DensityEstimator::computeDensityAndContours(const std::vector<double>& x,
                                                               const std::vector<double>& y,
                                                               int method,
                                                               const std::vector<double>& fractions,
                                                               int xScaleMode, int yScaleMode)
{
    DensityAndContours result;
    const std::vector<double> tx = transformValues(x, xScaleMode);
    const std::vector<double> ty = transformValues(y, yScaleMode);
    if (method != DensityKde || tx.size() != ty.size() || fractions.empty()) {
        result.density = computeDensity(tx, ty, method);
        result.levels = contourLines(tx, ty, fractions, 0);
    } else {
        const FiniteEvents events(tx, ty);
        if (events.count() < 4) {
            result.density.assign(tx.size(), kNaN);
            return result;
        }
        const DensityGrid grid = kdeGridFinite(events.x(), events.y(), events.count(), 0);
        std::vector<double> densities = interpolateFinite(grid, events.x(), events.y(), events.count());
        result.levels = levelsFromGrid(grid, densities, fractions);
        result.density = events.scatter(std::move(densities));
    }
    mapLinesBack(result.levels, xScaleMode, yScaleMode);
    return result;
}

double DensityEstimator::levelThreshold(const std::vector<double>& densities, double fraction)
{
    return levelThresholds(densities, {fraction}).front();
}

std::vector<ContourPolyline> DensityEstimator::traceLevel(const DensityGrid& grid, double level)
{
    ContourTracer tracer(grid, level);
    return tracer.trace();
}

double DensityEstimator::interpolateCrossing(double level, double a, double b, double pa,
                                             double pb)
{
    if (std::fabs(b - a) < 1e-30)
        return (pa + pb) / 2.0;
    const double t = std::clamp((level - a) / (b - a), 0.0, 1.0);
    return pa + (pb - pa) * t;
}

} // namespace Tervane3
