// The filter record of an exported file: each limit stated on its own, repeated range rules
// as their intersection, and every rule the attributes cannot state truthfully left out
// with a warning.
#include "io/OfflineFilterRecord.h"

#include "support/RuleBuilders.h"

#include <gtest/gtest.h>

#include <set>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

FilterRule polygon(const std::string& x, const std::string& y, size_t vertices = 3, int xMode = 0, int yMode = 0)
{
    FilterRule rule;
    rule.type = PolygonRule;
    rule.featureName = x;
    rule.featureNameY = y;
    for (size_t i = 0; i < vertices; ++i)
        rule.polygonVertices.emplace_back(static_cast<double>(i), static_cast<double>(i * i));
    rule.scaleXMode = xMode;
    rule.scaleYMode = yMode;
    return rule;
}

FilterRule inverted(FilterRule rule)
{
    rule.inverted = true;
    return rule;
}

FilterRule disabled(FilterRule rule)
{
    rule.enabled = false;
    return rule;
}

// name -> text ("<points:N>" for arrays), in order.
std::vector<std::pair<std::string, std::string>> flatten(const OfflineFilterRecord& record)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& a : record.attributes)
        out.emplace_back(a.name, a.isPoints ? "<points:" + std::to_string(a.points.size()) + ">" : a.text);
    return out;
}

TEST(OfflineFilterRecordTest, RecordsWhatTheEventsPassed)
{
    using Attributes = std::vector<std::pair<std::string, std::string>>;
    struct Case
    {
        const char* name;
        std::vector<FilterRule> rules;
        int combineMode;
        Attributes expected;
        size_t warnings;
    };
    const std::string f = "offline_filter:";
    const Case cases[] = {
        {"range in %f", {fx::rangeRule("area_um", 0.1, 5)}, 0, {{f + "area_um min", "0.100000"}, {f + "area_um max", "5.000000"}}, 0},
        // Regression: a second rule on one feature failed at its name and dropped every later rule.
        {"repeated range gives the intersection",
         {fx::rangeRule("area_um", 10, 50), fx::rangeRule("deform", 0, 0.1), fx::rangeRule("area_um", 20, 80)}, 0,
         {{f + "area_um min", "20.000000"}, {f + "area_um max", "50.000000"},
          {f + "deform min", "0.000000"}, {f + "deform max", "0.100000"}}, 0},
        // Regression: inverted rules read as plain limits.
        {"inverted left out", {inverted(fx::rangeRule("area_um", 1, 2)), fx::rangeRule("deform", 0, 1)}, 0,
         {{f + "deform min", "0.000000"}, {f + "deform max", "1.000000"}}, 1},
        {"disabled rule silently left out", {disabled(fx::rangeRule("area_um", 1, 2))}, 0, {}, 0},
        {"missing column left out", {fx::rangeRule("nothing", 1, 2)}, 0, {}, 1},
        {"polygon with scales", {polygon("area_um", "deform", 4, 2, 1)}, 0,
         {{f + "area_um,deform polygon points", "<points:4>"},
          {f + "area_um,deform polygon x scale", "pseudolog"},
          {f + "area_um,deform polygon y scale", "log"}}, 0},
        {"scale modes clamped", {polygon("area_um", "deform", 3, 7, -3)}, 0,
         {{f + "area_um,deform polygon points", "<points:3>"},
          {f + "area_um,deform polygon x scale", "pseudolog"},
          {f + "area_um,deform polygon y scale", "linear"}}, 0},
        {"polygon under three vertices", {polygon("area_um", "deform", 2)}, 0, {}, 1},
        {"polygon on a missing column", {polygon("area_um", "nothing")}, 0, {}, 1},
        {"second polygon on one pair", {polygon("area_um", "deform", 3), polygon("area_um", "deform", 5)}, 0,
         {{f + "area_um,deform polygon points", "<points:3>"},
          {f + "area_um,deform polygon x scale", "linear"},
          {f + "area_um,deform polygon y scale", "linear"}}, 1},
        {"show excluded events records nothing", {fx::rangeRule("area_um", 1, 2)}, 1, {}, 1},
    };
    const std::set<std::string> columns = {"area_um", "deform"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EventFilter filter;
        filter.setCombineMode(c.combineMode);
        for (const FilterRule& rule : c.rules)
            filter.addRule(rule);
        const OfflineFilterRecord record =
            buildOfflineFilterRecord(filter, [&](const std::string& name) { return columns.count(name) > 0; });
        EXPECT_EQ(flatten(record), c.expected);
        EXPECT_EQ(record.warnings.size(), c.warnings);
    }
}

TEST(OfflineFilterRecordTest, SwitchedOffFilterRecordsNothing)
{
    EventFilter filter;
    filter.addRule(fx::rangeRule("area_um", 1, 2));
    filter.setEnabled(false);
    const OfflineFilterRecord record = buildOfflineFilterRecord(filter, [](const std::string&) { return true; });
    EXPECT_TRUE(record.attributes.empty());
    EXPECT_TRUE(record.warnings.empty());
}

TEST(OfflineFilterRecordTest, PolygonPointsKeepTheirVertices)
{
    EventFilter filter;
    FilterRule gate = polygon("a", "b");
    gate.polygonVertices = {{1.5, 2.5}, {3, 4}, {-1, 0.25}};
    filter.addRule(gate);
    const OfflineFilterRecord record = buildOfflineFilterRecord(filter, [](const std::string&) { return true; });
    ASSERT_FALSE(record.attributes.empty());
    EXPECT_EQ(record.attributes[0].points, gate.polygonVertices);
}

} // namespace
} // namespace Tervane3
