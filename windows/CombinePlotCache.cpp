// Cached plot data of the combine plot window. Cost of a changed row: one filter
// evaluation and copy of two columns; in heatmap mode one kernel estimate (shared with the
// contour levels when both use the same scale modes). An unchanged row costs the
// comparison of its inputs only.
#include "windows/CombinePlotCache.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/PassingEvents.h"
#include "core/AxisScaleMode.h"
#include "core/DensityEstimator.h"
#include "core/RTDCReader.h"
#include "windows/CombineDatasetEntry.h"

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

struct ColumnRef
{
    const std::vector<double>* address = nullptr;
    size_t size = 0;
    bool operator==(const ColumnRef& o) const { return address == o.address && size == o.size; }
};

ColumnRef columnRef(const std::vector<double>& column)
{
    return {&column, column.size()};
}

struct DataKey
{
    const RTDCReader* reader = nullptr;
    std::uint64_t eventCount = 0;
    std::string xFeature;
    std::string yFeature;
    ColumnRef xColumn;
    ColumnRef yColumn;
    bool filtered = false;
    EventFilter filter;
    std::vector<std::pair<std::string, ColumnRef>> filterColumns;

    bool operator==(const DataKey& o) const
    {
        return reader == o.reader && eventCount == o.eventCount && xFeature == o.xFeature &&
               yFeature == o.yFeature && xColumn == o.xColumn && yColumn == o.yColumn && filtered == o.filtered &&
               filterColumns == o.filterColumns && (!filtered || filter == o.filter);
    }
};

bool sameRequest(const CombineContourRequest& a, const CombineContourRequest& b)
{
    return a.inner == b.inner && a.outer == b.outer && a.xMode == b.xMode && a.yMode == b.yMode;
}

constexpr size_t kContourSetsPerRow = 4;

} // namespace

size_t CombinePlotData::drawnCount(int xMode, int yMode) const
{
    const bool xLog = xMode == ScaleLog;
    const bool yLog = yMode == ScaleLog;
    const std::int64_t hidden =
        (xLog ? nonPositiveX : 0) + (yLog ? nonPositiveY : 0) - (xLog && yLog ? nonPositiveBoth : 0);
    const auto all = static_cast<std::int64_t>(size());
    return static_cast<size_t>(hidden < all ? all - hidden : 0);
}

bool CombinePlotData::drawn(size_t i, int xMode, int yMode) const
{
    return !(xMode == ScaleLog && (*x)[i] <= 0.0) && !(yMode == ScaleLog && (*y)[i] <= 0.0);
}

struct CombinePlotCache::Row
{
    bool valid = false;
    DataKey key;
    // The events passing the filter with finite x and y.
    std::shared_ptr<std::vector<double>> x;
    std::shared_ptr<std::vector<double>> y;
    size_t passingCount = 0; // before the finite test
    std::int64_t nonPositiveX = 0;
    std::int64_t nonPositiveY = 0;
    std::int64_t nonPositiveBoth = 0;
    CombineValueSpan xSpan;
    CombineValueSpan ySpan;
    QString xLabel;
    QString yLabel;

    // Density of (x, y) in the modes below; null when fewer than 4 events passed.
    bool densityValid = false;
    int densityXMode = 0;
    int densityYMode = 0;
    std::shared_ptr<std::vector<double>> density;
    bool densityAllFinite = true;
    // The events with a finite density, when some have none.
    SharedValues heatX, heatY, heatDensity;
    CombineValueSpan heatXSpan, heatYSpan;

    struct Contours
    {
        CombineContourRequest request;
        std::vector<ContourLevel> levels;
    };
    std::vector<Contours> contours;

    void storeContours(const CombineContourRequest& request, std::vector<ContourLevel> levels)
    {
        if (contours.size() >= kContourSetsPerRow)
            contours.erase(contours.begin());
        contours.push_back({request, std::move(levels)});
    }
    const Contours* findContours(const CombineContourRequest& request) const
    {
        for (const Contours& c : contours)
            if (sameRequest(c.request, request))
                return &c;
        return nullptr;
    }
};

void CombineValueSpan::add(double v)
{
    if (!std::isfinite(v))
        return;
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
    if (v > 0.0) {
        positiveLo = anyPositive ? std::min(positiveLo, v) : v;
        positiveHi = anyPositive ? std::max(positiveHi, v) : v;
        anyPositive = true;
    }
}

void CombineValueSpan::merge(const CombineValueSpan& other)
{
    if (other.any) {
        add(other.lo);
        add(other.hi);
    }
    if (other.anyPositive) {
        add(other.positiveLo);
        add(other.positiveHi);
    }
}

CombineValueSpan valueSpan(const std::vector<double>& values)
{
    CombineValueSpan span;
    for (double v : values)
        span.add(v);
    return span;
}

CombinePlotCache::CombinePlotCache() = default;
CombinePlotCache::~CombinePlotCache() = default;

CombinePlotCache::Row& CombinePlotCache::rowFor(int datasetId)
{
    std::unique_ptr<Row>& row = rows[datasetId];
    if (!row)
        row = std::make_unique<Row>();
    return *row;
}

CombinePlotData CombinePlotCache::plotData(const DatasetHost& host, const DatasetEntry* dataset,
                                           const CombineDatasetEntry& entry, bool heatmap,
                                           const std::optional<CombineContourRequest>& contours)
{
    static const SharedValues kEmpty = std::make_shared<const std::vector<double>>();
    CombinePlotData result;
    result.x = kEmpty;
    result.y = kEmpty;
    if (!dataset || !dataset->featuresLoaded || !dataset->reader || !dataset->reader->isOpen())
        return result;
    const RTDCReader& reader = *dataset->reader;
    const std::vector<double>& xColumn = reader.getFeature(entry.xFeature);
    const std::vector<double>& yColumn = reader.getFeature(entry.yFeature);
    if (xColumn.empty() || yColumn.empty())
        return result;

    DataKey key;
    key.reader = &reader;
    key.eventCount = reader.eventCount();
    key.xFeature = entry.xFeature;
    key.yFeature = entry.yFeature;
    key.xColumn = columnRef(xColumn);
    key.yColumn = columnRef(yColumn);
    const EventFilter filter = host.buildEffectiveFilter(dataset);
    key.filtered = filter.isEnabled() && filter.ruleCount() > 0;
    if (key.filtered) {
        key.filter = filter;
        for (const std::string& name : filter.usedFeatureNames())
            key.filterColumns.emplace_back(name, reader.hasFeature(name) ? columnRef(reader.getFeature(name))
                                                                        : ColumnRef());
    }

    Row& row = rowFor(entry.datasetId);
    if (!row.valid || !(row.key == key)) {
        ++work.collections;
        // Only the events that both plotted columns cover, as the main plot does.
        const size_t usable =
            std::min({static_cast<size_t>(key.eventCount), xColumn.size(), yColumn.size()});
        auto x = std::make_shared<std::vector<double>>();
        auto y = std::make_shared<std::vector<double>>();
        std::int64_t nonPositiveX = 0;
        std::int64_t nonPositiveY = 0;
        std::int64_t nonPositiveBoth = 0;
        CombineValueSpan xSpan;
        CombineValueSpan ySpan;
        const auto take = [&](size_t i) {
            const double vx = xColumn[i];
            const double vy = yColumn[i];
            if (!std::isfinite(vx) || !std::isfinite(vy))
                return;
            x->push_back(vx);
            y->push_back(vy);
            nonPositiveX += vx <= 0.0 ? 1 : 0;
            nonPositiveY += vy <= 0.0 ? 1 : 0;
            nonPositiveBoth += vx <= 0.0 && vy <= 0.0 ? 1 : 0;
            xSpan.add(vx);
            ySpan.add(vy);
        };
        size_t passing = usable;
        if (key.filtered) {
            const std::vector<int> indices = passingEventIndices(filter, reader, usable);
            passing = indices.size();
            x->reserve(passing);
            y->reserve(passing);
            for (int i : indices)
                take(static_cast<size_t>(i));
        } else {
            x->reserve(usable);
            y->reserve(usable);
            for (size_t i = 0; i < usable; ++i)
                take(i);
        }
        row = Row();
        row.valid = true;
        row.key = std::move(key);
        row.x = std::move(x);
        row.y = std::move(y);
        row.passingCount = passing;
        row.nonPositiveX = nonPositiveX;
        row.nonPositiveY = nonPositiveY;
        row.nonPositiveBoth = nonPositiveBoth;
        row.xSpan = xSpan;
        row.ySpan = ySpan;
    }
    row.xLabel = QString::fromStdString(reader.featureLabel(entry.xFeature));
    row.yLabel = QString::fromStdString(reader.featureLabel(entry.yFeature));

    result.xLabel = row.xLabel;
    result.yLabel = row.yLabel;
    result.nonPositiveX = row.nonPositiveX;
    result.nonPositiveY = row.nonPositiveY;
    result.nonPositiveBoth = row.nonPositiveBoth;
    result.x = row.x;
    result.y = row.y;
    result.xSpan = row.xSpan;
    result.ySpan = row.ySpan;

    // A density only for at least 4 events after the filter, as in the main plot.
    if (heatmap && row.passingCount >= 4) {
        const int xMode = clampScaleMode(entry.scaleXMode);
        const int yMode = clampScaleMode(entry.scaleYMode);
        if (!row.densityValid || row.densityXMode != xMode || row.densityYMode != yMode) {
            ++work.densities;
            const bool withContours = contours && contours->xMode == xMode && contours->yMode == yMode &&
                                      !row.findContours(*contours) && row.x->size() >= 4;
            std::vector<double> density;
            if (withContours) {
                ++work.contourSets;
                DensityAndContours both = DensityEstimator::computeDensityAndContours(
                    *row.x, *row.y, DensityKde, {contours->inner, contours->outer}, xMode, yMode);
                density = std::move(both.density);
                row.storeContours(*contours, std::move(both.levels));
            } else {
                density = DensityEstimator::computeDensity(transformValues(*row.x, xMode),
                                                           transformValues(*row.y, yMode), DensityKde);
            }
            row.density = std::make_shared<std::vector<double>>(std::move(density));
            row.densityValid = true;
            row.densityXMode = xMode;
            row.densityYMode = yMode;
            row.densityAllFinite = std::all_of(row.density->begin(), row.density->end(),
                                               [](double d) { return std::isfinite(d); });
            row.heatX.reset();
            row.heatY.reset();
            row.heatDensity.reset();
            if (!row.densityAllFinite) {
                auto hx = std::make_shared<std::vector<double>>();
                auto hy = std::make_shared<std::vector<double>>();
                auto hd = std::make_shared<std::vector<double>>();
                for (size_t i = 0; i < row.density->size(); ++i) {
                    if (!std::isfinite((*row.density)[i]))
                        continue;
                    hx->push_back((*row.x)[i]);
                    hy->push_back((*row.y)[i]);
                    hd->push_back((*row.density)[i]);
                }
                row.heatXSpan = valueSpan(*hx);
                row.heatYSpan = valueSpan(*hy);
                row.heatX = std::move(hx);
                row.heatY = std::move(hy);
                row.heatDensity = std::move(hd);
            }
        }
        if (row.densityAllFinite) {
            result.density = row.density;
        } else {
            result.x = row.heatX;
            result.y = row.heatY;
            result.density = row.heatDensity;
            result.xSpan = row.heatXSpan;
            result.ySpan = row.heatYSpan;
        }
    }
    if (contours)
        contourLevels(entry.datasetId, heatmap, *contours);
    return result;
}

std::vector<ContourLevel> CombinePlotCache::contourLevels(int datasetId, bool heatmap,
                                                          const CombineContourRequest& request)
{
    const auto found = rows.find(datasetId);
    if (found == rows.end() || !found->second->valid)
        return {};
    Row& row = *found->second;
    // The heatmap leaves out events without a finite density; with a kernel estimate that
    // happens only when none has one, so the plotted events are the finite ones otherwise.
    if (heatmap && row.passingCount >= 4 && row.densityValid && !row.densityAllFinite) {
        if (row.heatX->size() < 4)
            return {};
        ++work.contourSets;
        return DensityEstimator::computeContours(*row.heatX, *row.heatY, {request.inner, request.outer},
                                                 request.xMode, request.yMode);
    }
    if (row.x->size() < 4)
        return {};
    if (const Row::Contours* cached = row.findContours(request))
        return cached->levels;
    ++work.contourSets;
    row.storeContours(request, DensityEstimator::computeContours(*row.x, *row.y, {request.inner, request.outer},
                                                                 request.xMode, request.yMode));
    return row.contours.back().levels;
}

void CombinePlotCache::retain(const std::set<int>& ids)
{
    for (auto it = rows.begin(); it != rows.end();) {
        if (ids.count(it->first))
            ++it;
        else
            it = rows.erase(it);
    }
}

void CombinePlotCache::clear()
{
    rows.clear();
}

size_t CombinePlotCache::memoryBytes() const
{
    size_t bytes = 0;
    const auto values = [](const auto& pointer) { return pointer ? pointer->size() * sizeof(double) : 0; };
    for (const auto& [id, row] : rows) {
        bytes += values(row->x) + values(row->y) + values(row->density);
        bytes += values(row->heatX) + values(row->heatY) + values(row->heatDensity);
        for (const Row::Contours& set : row->contours)
            for (const ContourLevel& level : set.levels)
                for (const ContourPolyline& line : level.lines)
                    bytes += line.size() * sizeof(line.front());
    }
    return bytes;
}

} // namespace Tervane3
