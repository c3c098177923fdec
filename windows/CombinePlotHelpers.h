// The small decisions of the combine plot window, kept as plain functions so that tests
// check them without widgets: the plot grid's shape, the common axis range of synced
// plots, where a reordered row lands and which drops add a dataset.
#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

class QMimeData;

namespace Tervane3 {

struct CombinePlotData;
struct CombineValueSpan;

// (columns, rows) for `count` plots: (0, 0) for none; with a manual size a positive column
// count c gives (c, ceil(n / c)), else a positive row count r gives (ceil(n / r), r);
// otherwise cols = ceil(sqrt(n)), rows = ceil(n / cols).
std::pair<int, int> combineGridDimensions(int count, bool manualSize, int manualCols, int manualRows);

// Axis limits in the units of the feature values.
struct CombineAxisRange
{
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
};

// The span of all values widened by 5 % on each side (1 when the span is 0). On a log axis
// (mode 1) only values > 0 count and the margin is taken in decades: the bounds are divided
// and multiplied by 10^(0.05 x decades), one decade each way for a single value. Empty when
// no value counts. Works on the bounds kept with the values (no pass over them).
std::optional<std::pair<double, double>> combineAxisSpan(const std::vector<CombineValueSpan>& spans, int scaleMode);

// The common range of the plotted data of all datasets; empty when either axis has no
// value to show (the plots then autoscale and the limit boxes stay as they are).
std::optional<CombineAxisRange> combineSyncedRange(const std::vector<CombinePlotData>& data, int xMode, int yMode);

// The index at which a row moved from `from` lands when dropped on the row at `to`
// (before or after it); equal to `from` when nothing moves.
int combineMoveTarget(int from, int to, bool before);

// The dataset id a drop on the window adds: the payload's id when the drag comes from this
// program (its source object exists) and the id is valid, else -1.
int acceptedDatasetDrop(const QMimeData* data, bool fromThisProcess);

} // namespace Tervane3
