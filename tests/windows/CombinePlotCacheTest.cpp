// The plot cache of the combine window: which events are plotted (filter, finite values,
// short columns, heatmap with few events), and that only rows whose inputs changed are
// computed again.
#include "windows/CombinePlotCache.h"

#include "CombineTestSupport.h"
#include "core/DensityEstimator.h"

#include <cmath>
#include <limits>

namespace Tervane3 {
namespace {

using Test::CombineWindowFixture;
using Test::rampColumns;
using ::Tervane3::rangeRule;

const double kNan = std::numeric_limits<double>::quiet_NaN();

class CombinePlotCacheTest : public CombineWindowFixture
{
protected:
    CombineDatasetEntry entryFor(const DatasetEntry* dataset, const char* x = "area_um", const char* y = "deform")
    {
        CombineDatasetEntry entry;
        entry.datasetId = dataset->id;
        entry.xFeature = x;
        entry.yFeature = y;
        return entry;
    }
    CombinePlotCache cache;
};

TEST_F(CombinePlotCacheTest, PlottedEventsFollowFilterFiniteValuesAndShortColumns)
{
    ::Tervane3::Test::Columns columns;
    columns["area_um"] = {10, 20, kNan, 40, 50, 60, 70};
    columns["deform"] = {0.1, 0.2, 0.3, 0.4, kNan, 0.6}; // one value short
    DatasetEntry* dataset = addFile("nan.rtdc", columns);
    ASSERT_TRUE(dataset);
    dataset->filter.addRule(rangeRule("area_um", 15, 100));
    const CombinePlotData data = cache.plotData(host, dataset, entryFor(dataset), false);
    // Events 1..5 pass (NaN fails the range, event 6 has no deform); event 4 has a NaN.
    EXPECT_EQ(*data.x, (std::vector<double>{20, 40, 60}));
    EXPECT_EQ(*data.y, (std::vector<double>{0.2, 0.4, 0.6}));
    EXPECT_FALSE(data.density);
    EXPECT_FALSE(data.xLabel.isEmpty());

    dataset->filter.setEnabled(false);
    const CombinePlotData all = cache.plotData(host, dataset, entryFor(dataset), false);
    EXPECT_EQ(*all.x, (std::vector<double>{10, 20, 40, 60}));
}

TEST_F(CombinePlotCacheTest, HeatmapNeedsFourEventsAfterTheFilter)
{
    DatasetEntry* dataset = addFile("ramp.rtdc", rampColumns(50));
    ASSERT_TRUE(dataset);
    struct Case {
        const char* name;
        double lo, hi;
        size_t plotted;
        bool density;
    };
    const Case cases[] = {
        {"three events: no density, still counted", 10, 12, 3, false},
        {"four events get a density", 10, 13, 4, true},
        {"all events", 0, 100, 50, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dataset->filter = EventFilter();
        dataset->filter.addRule(rangeRule("area_um", c.lo, c.hi));
        const CombinePlotData data = cache.plotData(host, dataset, entryFor(dataset), true);
        EXPECT_EQ(data.size(), c.plotted);
        EXPECT_EQ(static_cast<bool>(data.density), c.density);
        if (data.density) {
            ASSERT_EQ(data.density->size(), c.plotted);
            for (double d : *data.density)
                EXPECT_TRUE(std::isfinite(d));
        }
    }
}

TEST_F(CombinePlotCacheTest, HeatmapWithoutFourFiniteEventsShowsNothing)
{
    // Five events pass the filter, but only two are finite: every density is NaN.
    ::Tervane3::Test::Columns columns;
    columns["area_um"] = {1, 2, kNan, kNan, kNan};
    columns["deform"] = {0.1, 0.2, 0.3, 0.4, 0.5};
    DatasetEntry* dataset = addFile("sparse.rtdc", columns);
    ASSERT_TRUE(dataset);
    EXPECT_EQ(cache.plotData(host, dataset, entryFor(dataset), true).size(), 0u);
    EXPECT_EQ(cache.plotData(host, dataset, entryFor(dataset), false).size(), 2u);
}

TEST_F(CombinePlotCacheTest, OnlyChangedRowsAreComputedAgain)
{
    DatasetEntry* a = addFile("a.rtdc", rampColumns(200));
    DatasetEntry* b = addFile("b.rtdc", rampColumns(200));
    ASSERT_TRUE(a && b);
    const auto both = [&]() {
        cache.plotData(host, a, entryFor(a), true);
        cache.plotData(host, b, entryFor(b), true);
    };
    both();
    EXPECT_EQ(cache.counters().collections, 2);
    EXPECT_EQ(cache.counters().densities, 2);

    both();
    EXPECT_EQ(cache.counters().collections, 2) << "nothing changed";
    EXPECT_EQ(cache.counters().densities, 2);

    b->filter.addRule(rangeRule("area_um", 50, 150));
    both();
    EXPECT_EQ(cache.counters().collections, 3) << "a filter edit recomputes its own row only";
    EXPECT_EQ(cache.counters().densities, 3);

    // A filter group switched on for a (the host's effective filter) counts as a filter edit.
    host.groupRules[a->id] = {rangeRule("deform", 0, 0.0135)}; // i % 7 <= 3: 116 of 200
    both();
    EXPECT_EQ(cache.counters().collections, 4);

    // A calculation replaces a column: a new column address.
    std::vector<double> replaced(200, 3.0);
    a->reader->setFeature("area_um", std::move(replaced));
    both();
    EXPECT_EQ(cache.counters().collections, 5);
    EXPECT_EQ(*cache.plotData(host, a, entryFor(a), true).x, std::vector<double>(116, 3.0));

    // Another scale mode needs another density, not another filter evaluation.
    CombineDatasetEntry logEntry = entryFor(b);
    logEntry.scaleXMode = 1;
    cache.plotData(host, b, logEntry, true);
    EXPECT_EQ(cache.counters().collections, 5);
    EXPECT_EQ(cache.counters().densities, 6);
}

TEST_F(CombinePlotCacheTest, HeatmapAndContoursShareOneEstimate)
{
    DatasetEntry* a = addFile("a.rtdc", rampColumns(300));
    ASSERT_TRUE(a);
    const CombineContourRequest request{0.1, 0.67, 0, 0};
    cache.plotData(host, a, entryFor(a), true, request);
    EXPECT_EQ(cache.counters().densities, 1);
    EXPECT_EQ(cache.counters().contourSets, 1);
    const std::vector<ContourLevel> levels = cache.contourLevels(a->id, true, request);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_DOUBLE_EQ(levels[0].fraction, 0.1);
    EXPECT_EQ(cache.counters().contourSets, 1) << "the levels come from the cache";
    // The same levels as a separate estimate over the plotted values.
    const CombinePlotData data = cache.plotData(host, a, entryFor(a), false);
    const auto separate = DensityEstimator::computeContours(*data.x, *data.y, {0.1, 0.67}, 0, 0);
    ASSERT_EQ(separate.size(), levels.size());
    EXPECT_NEAR(separate[1].threshold, levels[1].threshold, 1e-12 * std::abs(levels[1].threshold));
}

TEST_F(CombinePlotCacheTest, MissingDataGivesEmptyRows)
{
    DatasetEntry* a = addFile("a.rtdc", rampColumns(10));
    ASSERT_TRUE(a);
    EXPECT_EQ(cache.plotData(host, nullptr, entryFor(a), false).size(), 0u);
    EXPECT_EQ(cache.plotData(host, a, entryFor(a, "area_um", "nothing"), false).size(), 0u);
    a->featuresLoaded = false;
    EXPECT_EQ(cache.plotData(host, a, entryFor(a), false).size(), 0u);
}

} // namespace
} // namespace Tervane3
