// The plain decisions of the combine plot window: grid shape, synced axis range (linear
// and logarithmic), where a reordered row lands, isoelastic labels and accepted drops.
#include "app/DatasetDragPayload.h"
#include "windows/CombinePlotCache.h"
#include "plots/IsoelasticItems.h"
#include "windows/CombinePlotHelpers.h"

#include <gtest/gtest.h>

#include <QMimeData>

#include <cmath>
#include <limits>
#include <memory>

namespace Tervane3 {
namespace {

CombinePlotData plotData(std::vector<double> x, std::vector<double> y)
{
    CombinePlotData data;
    data.x = std::make_shared<const std::vector<double>>(std::move(x));
    data.y = std::make_shared<const std::vector<double>>(std::move(y));
    data.xSpan = valueSpan(*data.x);
    data.ySpan = valueSpan(*data.y);
    return data;
}

TEST(CombinePlotHelpers, GridDimensions)
{
    struct Case {
        int count;
        bool manual;
        int cols, rows;
        std::pair<int, int> expected;
    };
    const Case cases[] = {
        {0, false, 0, 0, {0, 0}},    {1, false, 0, 0, {1, 1}},   {3, false, 0, 0, {2, 2}},
        {5, false, 0, 0, {3, 2}},    {6, false, 0, 0, {3, 2}},   {10, false, 0, 0, {4, 3}},
        {7, true, 2, 0, {2, 4}},     {7, true, 0, 2, {4, 2}},    {7, true, 0, 0, {3, 3}},
        {7, false, 2, 0, {3, 3}},    {1, true, 5, 0, {5, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " plots, manual " << c.manual << " " << c.cols << "x" << c.rows);
        EXPECT_EQ(combineGridDimensions(c.count, c.manual, c.cols, c.rows), c.expected);
    }
}

TEST(CombinePlotHelpers, SyncedRangeWidensBySpan)
{
    // x: 0..100 and 50..300 give 0..300, widened by 5 % of 300 on each side.
    const std::vector<CombinePlotData> data = {plotData({0, 100}, {1, 2}), plotData({50, 300}, {2, 2})};
    const auto range = combineSyncedRange(data, 0, 0);
    ASSERT_TRUE(range);
    EXPECT_DOUBLE_EQ(range->xMin, -15.0);
    EXPECT_DOUBLE_EQ(range->xMax, 315.0);
    EXPECT_DOUBLE_EQ(range->yMin, 1.0 - 0.05);
    EXPECT_DOUBLE_EQ(range->yMax, 2.0 + 0.05);
}

TEST(CombinePlotHelpers, AxisSpanCases)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<double> values;
        int mode;
        bool expectSpan;
        double lo, hi;
    };
    const Case cases[] = {
        {"equal values get one unit each way", {5, 5}, 0, true, 4, 6},
        {"non-finite values are ignored", {nan, 2, 4, INFINITY}, 0, true, 1.9, 4.1},
        // 1 .. 1000 is 3 decades: factor 10^0.15 each way.
        {"log margin in decades", {1, 1000, 0, -5}, 1, true, 1 / std::pow(10, 0.15), 1000 * std::pow(10, 0.15)},
        {"log single value: one decade", {3, 3}, 1, true, 0.3, 30},
        {"log without positive values", {0, -1}, 1, false, 0, 0},
        {"pseudo-log keeps negatives", {-100, 100}, 2, true, -110, 110},
        {"nothing", {}, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto span = combineAxisSpan({valueSpan(c.values)}, c.mode);
        ASSERT_EQ(span.has_value(), c.expectSpan);
        if (!span)
            continue;
        EXPECT_NEAR(span->first, c.lo, 1e-9 * std::max(1.0, std::abs(c.lo)));
        EXPECT_NEAR(span->second, c.hi, 1e-9 * std::max(1.0, std::abs(c.hi)));
        EXPECT_TRUE(std::isfinite(span->first) && std::isfinite(span->second));
    }
}

TEST(CombinePlotHelpers, SpansMerge)
{
    CombineValueSpan a = valueSpan({-3, 2, NAN});
    const CombineValueSpan b = valueSpan({0.5, 7});
    a.merge(b);
    a.merge(CombineValueSpan());
    EXPECT_EQ(std::make_pair(a.lo, a.hi), std::make_pair(-3.0, 7.0));
    EXPECT_EQ(std::make_pair(a.positiveLo, a.positiveHi), std::make_pair(0.5, 7.0));
    EXPECT_FALSE(valueSpan({0, -1}).anyPositive);
    EXPECT_FALSE(valueSpan({NAN}).any);
}

TEST(CombinePlotHelpers, SyncedRangeEmptyWhenNothingPlotted)
{
    // Regression: an empty window gave minima above maxima with infinite margins.
    EXPECT_FALSE(combineSyncedRange({}, 0, 0));
    EXPECT_FALSE(combineSyncedRange({plotData({}, {})}, 0, 0));
}

TEST(CombinePlotHelpers, MoveTarget)
{
    // Rows A(0), B(1), C(2).
    struct Case {
        const char* name;
        int from, to;
        bool before;
        int expected;
    };
    const Case cases[] = {
        {"A after C: B, C, A", 0, 2, false, 2},
        {"C before A: C, A, B", 2, 0, true, 0},
        {"B after A: unchanged", 1, 0, false, 1},
        {"B before C: unchanged", 1, 2, true, 1},
        {"A before C: B, A, C", 0, 2, true, 1},
        {"C after A: A, C, B", 2, 0, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(combineMoveTarget(c.from, c.to, c.before), c.expected);
    }
}

TEST(CombinePlotHelpers, IsoelasticLabels)
{
    EXPECT_EQ(isoelasticLabel(1.5), QStringLiteral("1.5 kPa"));
    EXPECT_EQ(isoelasticLabel(0.75), QStringLiteral("0.75 kPa"));
    EXPECT_EQ(isoelasticLabel(1.0), QStringLiteral("1.0 kPa"));
    EXPECT_EQ(isoelasticLabel(0.2), QStringLiteral("0.20 kPa"));
}

TEST(CombinePlotHelpers, DatasetDropsNeedAnIdFromThisProgram)
{
    std::unique_ptr<QMimeData> valid(DatasetDragPayload::create(7));
    QMimeData text;
    text.setData(QString::fromLatin1(DatasetDragPayload::mimeType), "seven");
    QMimeData other;
    other.setText(QStringLiteral("7"));
    EXPECT_EQ(acceptedDatasetDrop(valid.get(), true), 7);
    // Regression: a payload from another program was added as whatever dataset has its id.
    EXPECT_EQ(acceptedDatasetDrop(valid.get(), false), -1);
    // Regression: a payload that is not a number was read as id 0.
    EXPECT_EQ(acceptedDatasetDrop(&text, true), -1);
    EXPECT_EQ(acceptedDatasetDrop(&other, true), -1);
    EXPECT_EQ(acceptedDatasetDrop(nullptr, true), -1);
}

} // namespace
} // namespace Tervane3
