// The JSON form of a filter rule: a round trip through the document text (non-finite numbers
// included), the keys written, and the defaults for missing keys and values of other types.
#include "core/FilterRuleJson.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <limits>

using namespace Tervane3;

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Writes the rule as a document, parses the text again and reads the rule back.
FilterRule throughText(const FilterRule& rule)
{
    const QByteArray text = QJsonDocument(filterRuleToJson(rule)).toJson(QJsonDocument::Indented);
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError);
    return filterRuleFromJson(parsed.object());
}

bool sameBits(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

FilterRule parse(const char* json)
{
    return filterRuleFromJson(QJsonDocument::fromJson(QByteArray(json)).object());
}

} // namespace

TEST(FilterRuleJson, RoundTripKeepsEveryFieldAndNonFiniteNumbers)
{
    FilterRule polygon;
    polygon.type = PolygonRule;
    polygon.featureName = "area_um";
    polygon.featureNameY = "deform";
    polygon.minValue = -kInf;
    polygon.maxValue = kNaN;
    polygon.polygonVertices = {{1.5, 0.01}, {kInf, 0.02}, {3.0, -kInf}, {0.1 + 0.2, kNaN}};
    polygon.scaleXMode = 1;
    polygon.scaleYMode = 2;
    polygon.enabled = false;
    polygon.inverted = true;
    polygon.propagationId = "{0b5a3c1e-1111-2222-3333-444455556666}";

    FilterRule range;
    range.featureName = "bright_avg";
    range.minValue = 12.345678901234567;
    range.maxValue = kInf;

    for (const FilterRule& rule : {polygon, range}) {
        SCOPED_TRACE(rule.featureName);
        const FilterRule back = throughText(rule);
        EXPECT_EQ(back.type, rule.type);
        EXPECT_EQ(back.featureName, rule.featureName);
        EXPECT_EQ(back.featureNameY, rule.featureNameY);
        EXPECT_TRUE(sameBits(back.minValue, rule.minValue)) << back.minValue;
        EXPECT_TRUE(sameBits(back.maxValue, rule.maxValue)) << back.maxValue;
        ASSERT_EQ(back.polygonVertices.size(), rule.polygonVertices.size());
        for (size_t i = 0; i < rule.polygonVertices.size(); ++i) {
            EXPECT_TRUE(sameBits(back.polygonVertices[i].first, rule.polygonVertices[i].first)) << i;
            EXPECT_TRUE(sameBits(back.polygonVertices[i].second, rule.polygonVertices[i].second)) << i;
        }
        EXPECT_EQ(back.scaleXMode, rule.scaleXMode);
        EXPECT_EQ(back.scaleYMode, rule.scaleYMode);
        EXPECT_EQ(back.enabled, rule.enabled);
        EXPECT_EQ(back.inverted, rule.inverted);
        EXPECT_EQ(back.propagationId, rule.propagationId);
    }
}

TEST(FilterRuleJson, WritesTheDocumentedKeysAndTypeNames)
{
    FilterRule rule;
    rule.type = 5; // an unknown type counts as a polygon in the file
    rule.minValue = -kInf;
    const QJsonObject object = filterRuleToJson(rule);
    EXPECT_EQ(object.keys(), (QStringList{"enabled", "featureName", "featureNameY", "inverted", "maxValue", "minValue",
                                          "polygonVertices", "propagationId", "scaleXMode", "scaleYMode", "type"}));
    EXPECT_EQ(object.value("type").toString(), "Polygon");
    EXPECT_EQ(object.value("minValue").toString(), "-inf");
    EXPECT_TRUE(object.value("polygonVertices").toArray().isEmpty());
    rule.type = RangeRule;
    EXPECT_EQ(filterRuleToJson(rule).value("type").toString(), "Range");
}

TEST(FilterRuleJson, MissingKeysAndOtherTypesTakeTheDefaults)
{
    const FilterRule defaults;
    const struct {
        const char* name;
        const char* json;
    } cases[] = {
        {"empty object", "{}"},
        {"every key of another type",
         R"({"type": 1, "featureName": 3, "featureNameY": [], "minValue": "12", "maxValue": true,
             "enabled": "no", "inverted": 1, "propagationId": {}, "polygonVertices": {"x": 1},
             "scaleXMode": "1", "scaleYMode": null})"},
        {"lower-case polygon is a range rule", R"({"type": "polygon"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parse(c.json), defaults);
    }
}

TEST(FilterRuleJson, VerticesAndScaleModesAreReadDefensively)
{
    const FilterRule rule = parse(R"({"type": "Polygon",
        "polygonVertices": [[5], [1, 2, 3], ["a", 4], 7, [null, "inf"], [6, 7]],
        "scaleXMode": 7, "scaleYMode": -3})");
    EXPECT_EQ(rule.type, PolygonRule);
    const std::vector<PolygonVertex> expected = {{1, 2}, {0, 4}, {0, kInf}, {6, 7}};
    EXPECT_EQ(rule.polygonVertices, expected);
    EXPECT_EQ(rule.scaleXMode, 2);
    EXPECT_EQ(rule.scaleYMode, 0);

    const struct {
        const char* json;
        int expected;
    } modes[] = {{R"({"scaleXMode": 1})", 1}, {R"({"scaleXMode": 1e300})", 2}, {R"({"scaleXMode": 2.0})", 2},
                 {R"({"scaleXMode": "2"})", 0}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.json);
        EXPECT_EQ(parse(m.json).scaleXMode, m.expected);
    }
}
