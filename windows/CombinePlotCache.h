// What the plots of a combine plot window show of each dataset, kept from one rebuild to
// the next: the plotted x and y values (the events passing the dataset's effective filter
// with finite values), their density for the heatmap, and the contour levels. Each row is
// remembered with its inputs (reader, event count, feature names, the addresses and lengths
// of the x, y and filter columns, the effective filter, scale modes, contour fractions): a
// rebuild recomputes only what changed. A column replaced by a calculation has a new
// address (the reader keeps old columns alive until it is closed), so it counts as changed.
//
// Drawing, the synced axis range, the statistics table and the log-axis warnings all read
// the same data, so no density is estimated twice. GUI thread only.
#pragma once

#include "core/ContourLevel.h"
#include "core/EventFilter.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

class DatasetHost;
class RTDCReader;
struct CombineDatasetEntry;
struct DatasetEntry;

using SharedValues = std::shared_ptr<const std::vector<double>>;

// The bounds of finite values, and of the positive ones (what a log axis can show).
struct CombineValueSpan
{
    double lo = 0.0;
    double hi = 0.0;
    bool any = false;
    double positiveLo = 0.0;
    double positiveHi = 0.0;
    bool anyPositive = false;

    // Non-finite values are ignored.
    void add(double v);
    void merge(const CombineValueSpan& other);
};
CombineValueSpan valueSpan(const std::vector<double>& values);

// The plotted events of one dataset: x, y and (heatmap only) density of the same events,
// in event order; never null, empty for a dataset that shows nothing.
struct CombinePlotData
{
    SharedValues x;
    SharedValues y;
    SharedValues density; // null when no density was computed
    QString xLabel;
    QString yLabel;
    // Finite values <= 0, which a logarithmic axis cannot show (all finite events, also in
    // heatmap mode).
    std::int64_t nonPositiveX = 0;
    std::int64_t nonPositiveY = 0;
    std::int64_t nonPositiveBoth = 0; // events counted in both of the above
    // Bounds of x and y, kept with the values so that axis ranges need no pass over them.
    CombineValueSpan xSpan;
    CombineValueSpan ySpan;

    size_t size() const { return x ? x->size() : 0; }
    // The events a plot with these axis scale modes draws: all but those at or below zero on
    // a logarithmic axis, each counted once.
    size_t drawnCount(int xMode, int yMode) const;
    // Whether the event at position i is drawn with these modes.
    bool drawn(size_t i, int xMode, int yMode) const;
};

struct CombineContourRequest
{
    double inner = 0.1; // the smaller fraction first
    double outer = 0.67;
    int xMode = 0;
    int yMode = 0;
};

class CombinePlotCache
{
public:
    CombinePlotCache();
    ~CombinePlotCache();

    // The plot data of an entry. With `heatmap` the density of the plotted events in the
    // entry's scale modes is computed (kernel estimate over at least 4 events after the
    // filter) and only events with a finite density remain. A dataset that is missing, not
    // loaded, without an open reader or without both columns gives empty data.
    // `contours` (optional) asks for the contour levels of the same events as well, so that
    // a heatmap with contour lines estimates once.
    CombinePlotData plotData(const DatasetHost& host, const DatasetEntry* dataset,
                             const CombineDatasetEntry& entry, bool heatmap,
                             const std::optional<CombineContourRequest>& contours = std::nullopt);

    // The contour levels of the events plotData gave last for this dataset (fewer than 4
    // events: none). Call plotData first in the same rebuild.
    std::vector<ContourLevel> contourLevels(int datasetId, bool heatmap, const CombineContourRequest& request);

    // Forgets the datasets not in `ids`.
    void retain(const std::set<int>& ids);
    void clear();

    // Bytes held by the cached values and contour points.
    size_t memoryBytes() const;

    // How often each kind of work ran (tests and benchmarks).
    struct Counters
    {
        int collections = 0; // filter evaluation and copy of the columns
        int densities = 0;
        int contourSets = 0;
    };
    const Counters& counters() const { return work; }

private:
    struct Row;
    Row& rowFor(int datasetId);
    std::map<int, std::unique_ptr<Row>> rows;
    Counters work;
};

} // namespace Tervane3
