// Rules from a measurement's acquisition limits, read from a fixture's root attributes: the
// soft-limit switch, range bounds and stored polygons, key order, texts that are no number
// (also under a comma locale) and polygons with non-finite points.
#include "filters/MeasurementLimits.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"
#include "support/FilterRules.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <clocale>
#include <limits>
#include <map>
#include <string>
#include <vector>

using namespace Tervane3;


namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

using Points = std::vector<std::pair<double, double>>;

struct Limits
{
    std::map<std::string, std::string> texts;    // "online_filter:..." -> value
    std::map<std::string, Points> polygons;      // "<section>:x,y polygon points" -> points
};

// The rules the import adds to a fresh dataset of a file with these attributes, with the
// dataset's filtering switched off beforehand.
struct Imported
{
    int count = 0;
    bool filteringOn = false;
    std::vector<FilterRule> rules;
};

Imported importFrom(const Limits& limits)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("limits.rtdc")).toStdString();
    {
        Tervane3::Test::RtdcFixture file(path);
        file.addColumn<double>("deform", {0.01, 0.02});
        for (const auto& [name, value] : limits.texts)
            file.addStringAttribute(name, value);
        for (const auto& [name, points] : limits.polygons)
            file.addPointsAttribute(name, points, H5::PredType::IEEE_F64LE);
    }
    RTDCReader reader;
    EXPECT_TRUE(reader.open(path));
    DatasetEntry dataset;
    dataset.metadata = reader.readMetadata();
    dataset.filter.setEnabled(false);
    Imported result;
    result.count = importMeasurementSoftLimits(dataset);
    result.filteringOn = dataset.filter.isEnabled();
    result.rules = dataset.filter.rules;
    return result;
}

// Exact in single precision, as the reader reads stored polygons.
const Points kGate{{10, 0.5}, {20, 0.25}, {15, 0.75}};

} // namespace

TEST(MeasurementLimits, SwitchedOnLimitsBecomeRulesInKeyOrder)
{
    struct Case
    {
        const char* name;
        Limits limits;
        std::vector<FilterRule> expected;
    };
    const Case cases[] = {
        {"a range limit",
         {{{"online_filter:deform soft limit", "1"}, {"online_filter:deform min", "0.0"},
           {"online_filter:deform max", "0.05"}}, {}},
         {rangeRule("deform", 0.0, 0.05)}},
        {"switch must be the text 1",
         {{{"online_filter:area_um soft limit", "true"}, {"online_filter:area_um min", "1"},
           {"online_filter:area_um max", "2"}, {"online_filter:deform soft limit", "0"},
           {"online_filter:deform min", "0"}, {"online_filter:deform max", "1"}}, {}},
         {}},
        {"max missing", {{{"online_filter:area_um soft limit", "1"}, {"online_filter:area_um min", "5"}}, {}}, {}},
        {"a polygon limit, linear scales",
         {{{"online_filter:area_um,deform soft limit", "1"}}, {{"online_filter:area_um,deform polygon points", kGate}}},
         {gateRule("area_um", "deform", kGate)}},
        {"polygon switched on without a stored polygon",
         {{{"online_filter:area_um,deform soft limit", "1"}, {"online_filter:area_um,deform min", "0"},
           {"online_filter:area_um,deform max", "1"}}, {}},
         {}},
        {"a key that is only the ending", {{{"online_filter: soft limit", "1"}, {"online_filter: min", "0"},
                                            {"online_filter: max", "1"}}, {}}, {}},
        {"ascending key order",
         {{{"online_filter:deform soft limit", "1"}, {"online_filter:deform min", "0"},
           {"online_filter:deform max", "0.1"}, {"online_filter:area_um soft limit", "1"},
           {"online_filter:area_um min", "  12.5 um"}, {"online_filter:area_um max", "+80"}}, {}},
         {rangeRule("area_um", 12.5, 80), rangeRule("deform", 0, 0.1)}},
        {"bounds that are no number skip their feature, infinite ones stay",
         {{{"online_filter:a soft limit", "1"}, {"online_filter:a min", "abc"}, {"online_filter:a max", "1"},
           {"online_filter:b soft limit", "1"}, {"online_filter:b min", "0"}, {"online_filter:b max", "1e999"},
           {"online_filter:c soft limit", "1"}, {"online_filter:c min", "nan"}, {"online_filter:c max", "1"},
           {"online_filter:d soft limit", "1"}, {"online_filter:d min", "-inf"}, {"online_filter:d max", "2"}},
          {}},
         {rangeRule("d", -kInf, 2)}},
        {"a polygon with a non-finite point is passed over",
         {{{"online_filter:area_um,deform soft limit", "1"}},
          {{"offline_filter:area_um,deform polygon points", {{1, 1}, {kNaN, 2}, {3, 1}}},
           {"online_filter:area_um,deform polygon points", kGate}}},
         {gateRule("area_um", "deform", kGate)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Imported imported = importFrom(c.limits);
        EXPECT_EQ(imported.count, static_cast<int>(c.expected.size()));
        EXPECT_EQ(imported.rules, c.expected);
        EXPECT_EQ(imported.filteringOn, !c.expected.empty());
    }
}

// Regression: bounds were converted with the process locale's number reader, so under a
// German locale "0.05" read as 0 and an unparsable bound ended the import with an error.
TEST(MeasurementLimits, BoundsReadTheSameUnderACommaLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    const Imported imported = importFrom({{{"online_filter:deform soft limit", "1"},
                                           {"online_filter:deform min", "0.015"},
                                           {"online_filter:deform max", "0.05"}},
                                          {}});
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(imported.rules, (std::vector<FilterRule>{rangeRule("deform", 0.015, 0.05)}));
}
