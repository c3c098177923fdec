// Per-dataset summary values and their merging per replicate identifier: the summaries on
// small lists, filtering (the "Filtering Enabled" switch, filter-group rules, short
// columns) on tiny measurements, grouping, and the detection of IDs in names. Also run
// under AddressSanitizer: passing indices beyond a short column must not be read.
#include "stats/DatasetValues.h"

#include "StatsFixture.h"
#include "core/ParallelFor.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

using namespace Tervane3;
using Tervane3::Test::rangeRule;
using Tervane3::Test::StatsDatasets;

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

std::vector<int> allOf(const std::vector<double>& column)
{
    std::vector<int> passing(column.size());
    std::iota(passing.begin(), passing.end(), 0);
    return passing;
}

TEST(DatasetValuesTest, Summaries)
{
    struct Case
    {
        std::string name;
        std::vector<double> column;
        double median, mean, sd, cv, iqr;
    };
    const std::vector<Case> cases = {
        {"four values", {4, 1, 3, 2}, 2.5, 2.5, 1.2909944487358056, 0.5163977794943222, 2.0},
        // IQR without interpolation: value[5] - value[1] = 6 - 2 (numpy's percentiles give 3).
        {"one to seven", {7, 6, 5, 4, 3, 2, 1}, 4, 4, 2.160246899469287, 0.5400617248673217, 4.0},
        {"single value", {5}, 5, 5, 0, 0, 0},
        {"mean zero", {-1, 1}, 0, 0, 1.4142135623730951, 0, 2.0},
        {"non-finite values skipped", {nan, 2, inf, 4, -inf}, 3, 3, 1.4142135623730951, 0.47140452079103173, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int> passing = allOf(c.column);
        EXPECT_NEAR_REL(summaryValue(c.column, passing, SummaryKind::Median), c.median, 1e-12);
        EXPECT_NEAR_REL(summaryValue(c.column, passing, SummaryKind::Mean), c.mean, 1e-12);
        EXPECT_NEAR_REL(summaryValue(c.column, passing, SummaryKind::StandardDeviation), c.sd, 1e-12);
        EXPECT_NEAR_REL(summaryValue(c.column, passing, SummaryKind::CoefficientOfVariation), c.cv, 1e-12);
        EXPECT_NEAR_REL(summaryValue(c.column, passing, SummaryKind::Iqr), c.iqr, 1e-12);
    }
    EXPECT_EQ(summaryKindFromIndex(7), SummaryKind::Median);
    EXPECT_EQ(summaryKindFromIndex(-1), SummaryKind::Median);
}

TEST(DatasetValuesTest, NothingToSummariseIsMissingNotZero)
{
    const std::vector<double> column = {nan, nan, 3};
    EXPECT_TRUE(std::isnan(summaryValue(column, {0, 1}, SummaryKind::Mean)));
    EXPECT_TRUE(std::isnan(summaryValue(column, {}, SummaryKind::Median)));
    EXPECT_TRUE(std::isnan(summaryValue({}, {0, 1, 2}, SummaryKind::Median)));
    // Passing indices at or beyond the column's end are skipped.
    EXPECT_EQ(summaryValue(column, {2, 3, 1000}, SummaryKind::Median), 3.0);
}

TEST(DatasetValuesTest, AggregateValues)
{
    EXPECT_EQ(aggregateValues(false, {}), 0.0);
    EXPECT_EQ(aggregateValues(true, {-3}), -3.0);
    EXPECT_EQ(aggregateValues(false, {3, 4}), 3.5);
    EXPECT_NEAR_REL(aggregateValues(true, {3, 4}), std::sqrt(12.5), 1e-15);
}

CategoryEntry entry(int numberId, int bioRepId)
{
    CategoryEntry e;
    e.numberId = numberId;
    e.bioRepId = bioRepId;
    return e;
}

TEST(DatasetValuesTest, Grouping)
{
    const std::vector<CategoryEntry> entries = {entry(1, 1), entry(1, 1), entry(1, 2), entry(2, 0), entry(0, 0)};
    const std::vector<double> values = {1, 3, 8, 6, 9};
    // Replicate (1, 1) is mean(1, 3) = 2; ID 1 is mean(2, 8) = 5 by replicate, mean(1, 3, 8) = 4 by ID.
    EXPECT_EQ(groupByReplicate(entries, values, false), (std::map<int, double>{{0, 9}, {1, 5}, {2, 6}}));
    EXPECT_EQ(groupById(entries, values, false), (std::map<int, double>{{0, 9}, {1, 4}, {2, 6}}));
    EXPECT_EQ(groupByIdentifiers(entries, values, false), groupByReplicate(entries, values, false));
    const std::vector<CategoryEntry> noReplicates = {entry(1, 0), entry(1, 0), entry(2, 0)};
    EXPECT_EQ(groupByIdentifiers(noReplicates, {2, 4, 6}, true),
              (std::map<int, double>{{1, std::sqrt(10.0)}, {2, 6}}));
    // Missing values are skipped; an ID without any value leaves the map.
    EXPECT_EQ(groupById(noReplicates, {nan, 4, nan}, false), (std::map<int, double>{{1, 4}}));
    EXPECT_EQ(groupByReplicate(entries, {nan, 3, nan, nan, nan}, false), (std::map<int, double>{{1, 3}}));
}

TEST(DatasetValuesTest, TaggedNumbers)
{
    struct Case
    {
        QString text;
        std::optional<int> id, bio, tech;
    };
    const std::vector<Case> cases = {
        {"Sample ID1 BR2 TR1", 1, 2, 1},
        {"ctrl id07", 7, std::nullopt, std::nullopt},
        // Unanchored: the letters may end a word.
        {"fluid12", 12, std::nullopt, std::nullopt},
        {"no tags", std::nullopt, std::nullopt, std::nullopt},
        // Regression: a digit run beyond a 32-bit int is no match (it ended the detection).
        {"ID99999999999", std::nullopt, std::nullopt, std::nullopt},
        {"ID99999999999 id4 br2147483647", 4, 2147483647, std::nullopt},
        {"ID 5", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(findTaggedNumber(c.text, IdTag::Id), c.id);
        EXPECT_EQ(findTaggedNumber(c.text, IdTag::BioRep), c.bio);
        EXPECT_EQ(findTaggedNumber(c.text, IdTag::TechRep), c.tech);
    }
}

class DatasetSummaryTest : public ::testing::Test
{
protected:
    std::vector<double> summarize(const std::vector<int>& ids, const std::vector<std::string>& keys,
                                  SummaryKind kind = SummaryKind::Median)
    {
        const auto rows = summarizeDatasets(snapshotDatasets(data.host, ids, keys), kind);
        std::vector<double> flat;
        for (const auto& row : rows)
            flat.insert(flat.end(), row.begin(), row.end());
        return flat;
    }

    StatsDatasets data;
};

TEST_F(DatasetSummaryTest, FilteringSwitchAndGroupRules)
{
    const int id = data.add("A", {{"area_um", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}});
    DatasetEntry* dataset = data.host.findDatasetById(id);
    dataset->filter.addRule(rangeRule("area_um", 3, 5));

    dataset->filter.setEnabled(false);
    EXPECT_EQ(summarize({id}, {"area_um"}), std::vector<double>{5.5}) << "switched off: every event counts";
    dataset->filter.setEnabled(true);
    EXPECT_EQ(summarize({id}, {"area_um"}), std::vector<double>{4});
    data.host.groupRules[id] = {rangeRule("area_um", 4, 10)};
    EXPECT_EQ(summarize({id}, {"area_um"}), std::vector<double>{4.5}) << "a switched-on group adds its rules";
}

TEST_F(DatasetSummaryTest, ShortColumnAndMissingValues)
{
    // 12 events (the first column's length); deform holds only 10 values.
    const int id = data.add("short", {{"area_um", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
                                      {"deform", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                                      {"bright_avg", {nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan}}});
    const int gone = 999;
    const std::vector<double> values = summarize({id, gone}, {"area_um", "deform", "bright_avg", "missing"},
                                                 SummaryKind::Mean);
    ASSERT_EQ(values.size(), 8u);
    EXPECT_EQ(values[0], 6.5);
    EXPECT_EQ(values[1], 5.5);
    EXPECT_TRUE(std::isnan(values[2])) << "no finite value";
    EXPECT_TRUE(std::isnan(values[3])) << "no such column";
    for (size_t i = 4; i < 8; ++i)
        EXPECT_TRUE(std::isnan(values[i])) << "dataset gone";
}

TEST_F(DatasetSummaryTest, ResultDoesNotDependOnThreadCount)
{
    std::vector<int> ids;
    for (int d = 0; d < 9; ++d) {
        std::vector<double> column(50 + d);
        for (size_t i = 0; i < column.size(); ++i)
            column[i] = std::sin(static_cast<double>(i * (d + 1)));
        ids.push_back(data.add(QStringLiteral("d%1").arg(d), {{"area_um", column}}));
        data.host.findDatasetById(ids.back())->filter.addRule(rangeRule("area_um", -0.5, 0.9));
    }
    setWorkerThreadLimit(1);
    const std::vector<double> serial = summarize(ids, {"area_um"}, SummaryKind::Iqr);
    setWorkerThreadLimit(0);
    EXPECT_EQ(summarize(ids, {"area_um"}, SummaryKind::Iqr), serial);
}

} // namespace
