// Pure helpers of the combine plot window.
#include "windows/CombinePlotHelpers.h"

#include "app/DatasetDragPayload.h"
#include "core/AxisScaleMode.h"
#include "windows/CombinePlotCache.h"

#include <algorithm>
#include <cmath>

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

std::optional<std::pair<double, double>> combineAxisSpan(const std::vector<CombineValueSpan>& spans, int scaleMode)
{
    const bool log = clampScaleMode(scaleMode) == ScaleLog;
    CombineValueSpan all;
    for (const CombineValueSpan& span : spans)
        all.merge(span);
    if (log) {
        if (!all.anyPositive)
            return std::nullopt;
        const double decades = std::log10(all.positiveHi / all.positiveLo);
        if (decades == 0.0)
            return std::make_pair(all.positiveLo / 10.0, all.positiveHi * 10.0);
        const double factor = std::pow(10.0, 0.05 * decades);
        return std::make_pair(all.positiveLo / factor, all.positiveHi * factor);
    }
    if (!all.any)
        return std::nullopt;
    double margin = 0.05 * (all.hi - all.lo);
    if (margin == 0.0)
        margin = 1.0;
    return std::make_pair(all.lo - margin, all.hi + margin);
}

std::optional<CombineAxisRange> combineSyncedRange(const std::vector<CombinePlotData>& data, int xMode, int yMode)
{
    std::vector<CombineValueSpan> xs;
    std::vector<CombineValueSpan> ys;
    for (const CombinePlotData& d : data) {
        xs.push_back(d.xSpan);
        ys.push_back(d.ySpan);
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
