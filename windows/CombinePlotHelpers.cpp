// Pure helpers of the combine plot window.
#include "windows/CombinePlotHelpers.h"

#include "app/DatasetDragPayload.h"
#include "core/AxisScaleMode.h"
#include "windows/CombinePlotCache.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

std::pair<int, int> combineGridDimensions(int count, bool manualSize, int manualCols, int manualRows)
{
    if (count <= 0)
        return {0, 0};
    const auto ceilDiv = [](int a, int b) { return (a + b - 1) / b; };
    if (manualSize) {
        if (manualCols > 0)
            return {manualCols, ceilDiv(count, manualCols)};
        if (manualRows > 0)
            return {ceilDiv(count, manualRows), manualRows};
    }
    int cols = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    cols = std::max(cols, 1);
    return {cols, ceilDiv(count, cols)};
}

std::optional<std::pair<double, double>> combineAxisSpan(const std::vector<const std::vector<double>*>& values,
                                                         int scaleMode)
{
    const bool log = clampScaleMode(scaleMode) == ScaleLog;
    double lo = std::numeric_limits<double>::max();
    double hi = -std::numeric_limits<double>::max();
    bool any = false;
    for (const std::vector<double>* column : values) {
        if (!column)
            continue;
        for (double v : *column) {
            if (!std::isfinite(v) || (log && v <= 0.0))
                continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            any = true;
        }
    }
    if (!any)
        return std::nullopt;
    if (log) {
        double decades = std::log10(hi / lo);
        if (decades == 0.0)
            return std::make_pair(lo / 10.0, hi * 10.0);
        const double factor = std::pow(10.0, 0.05 * decades);
        return std::make_pair(lo / factor, hi * factor);
    }
    double margin = 0.05 * (hi - lo);
    if (margin == 0.0)
        margin = 1.0;
    return std::make_pair(lo - margin, hi + margin);
}

std::optional<CombineAxisRange> combineSyncedRange(const std::vector<CombinePlotData>& data, int xMode, int yMode)
{
    std::vector<const std::vector<double>*> xs;
    std::vector<const std::vector<double>*> ys;
    for (const CombinePlotData& d : data) {
        xs.push_back(d.x.get());
        ys.push_back(d.y.get());
    }
    const auto x = combineAxisSpan(xs, xMode);
    const auto y = combineAxisSpan(ys, yMode);
    if (!x || !y)
        return std::nullopt;
    return CombineAxisRange{x->first, x->second, y->first, y->second};
}

int combineMoveTarget(int from, int to, bool before)
{
    int insert = before ? to : to + 1;
    if (from < insert)
        --insert;
    return insert;
}

int acceptedDatasetDrop(const QMimeData* data, bool fromThisProcess)
{
    if (!fromThisProcess)
        return -1;
    return DatasetDragPayload::datasetId(data);
}

} // namespace Tervane3
