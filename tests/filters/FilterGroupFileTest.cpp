// Filter-group files on their own: the document written, the defaults of what is read, the
// files refused whole, and free names for imported groups.
#include "filters/FilterGroupFile.h"

#include "core/FilterRuleJson.h"
#include "support/FilterRules.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Tervane3;

namespace {

FilterGroup group(const std::string& name, std::vector<FilterRule> rules)
{
    FilterGroup g;
    g.id = 7;
    g.name = name;
    g.rules = std::move(rules);
    return g;
}

} // namespace

TEST(FilterGroupFile, DocumentRoundTripKeepsNamesAndRulesInOrder)
{
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{1, 2}, {3, 4}, {5, 0}};
    gate.scaleXMode = 2;
    const FilterGroup a = group("Singlets", {rangeRule("deform", 0, 0.05), gate});
    const FilterGroup b = group("Ünïcode", {});
    const QByteArray text = filterGroupsDocument({&b, &a});
    const QJsonObject root = QJsonDocument::fromJson(text).object();
    EXPECT_EQ(root.value("formatVersion").toInt(), 1);
    EXPECT_EQ(root.keys(), (QStringList{"formatVersion", "groups"}));
    EXPECT_FALSE(root.value("groups").toArray().at(0).toObject().contains("id"));

    const FilterGroupFileContents back = readFilterGroupsDocument(text);
    EXPECT_TRUE(back.error.isEmpty());
    ASSERT_EQ(back.groups.size(), 2u);
    EXPECT_EQ(back.groups[0].name, "Ünïcode");
    EXPECT_EQ(back.groups[1].name, "Singlets");
    EXPECT_EQ(back.groups[1].rules, a.rules);
    EXPECT_EQ(back.groups[1].id, -1);
}

TEST(FilterGroupFile, WhatIsMissingOrOfAnotherTypeTakesTheDefaults)
{
    const FilterGroupFileContents read = readFilterGroupsDocument(R"({
        "groups": [
            {"rules": [{"featureName": "deform", "maxValue": 0.1, "propagationId": "{shared}"},
                       {"type": "polygon", "enabled": "yes"}, 3]},
            {"name": "", "rules": {"not": "an array"}},
            "not an object",
            {"name": 12, "rules": [{"scaleXMode": 9, "type": "Polygon"}]}
        ]})");
    ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
    ASSERT_EQ(read.groups.size(), 4u);
    for (const FilterGroup& g : read.groups)
        EXPECT_EQ(g.name, "Imported group");
    // The imported rule loses its id; missing "enabled" and a lower-case type take the defaults.
    EXPECT_EQ(read.groups[0].rules, (std::vector<FilterRule>{rangeRule("deform", 0, 0.1), FilterRule(), FilterRule()}));
    EXPECT_TRUE(read.groups[1].rules.empty());
    EXPECT_TRUE(read.groups[2].rules.empty());
    ASSERT_EQ(read.groups[3].rules.size(), 1u);
    EXPECT_EQ(read.groups[3].rules[0].scaleXMode, 2);

    EXPECT_TRUE(readFilterGroupsDocument(R"({"groups": []})").groups.empty());
    EXPECT_TRUE(readFilterGroupsDocument(R"({"formatVersion": 1})").groups.empty());
    EXPECT_TRUE(readFilterGroupsDocument(R"({"groups": {"a": 1}})").error.isEmpty());
}

TEST(FilterGroupFile, HostileFilesAreRefusedWhole)
{
    QByteArray manyGroups = "{\"groups\": [";
    for (int i = 0; i <= kMaxFilterGroupsInFile; ++i)
        manyGroups += i ? ",{}" : "{}";
    manyGroups += "]}";
    QByteArray large = R"({"groups": [{"name": ")";
    large += QByteArray(static_cast<int>(kMaxFilterGroupFileBytes), 'x');
    large += "\"}]}";
    const QByteArray deep = QByteArray(5000, '[') + QByteArray(5000, ']');

    const struct {
        const char* name;
        QByteArray bytes;
        QString error;
    } cases[] = {
        {"not JSON", "groups: A", "File is not a valid filter-groups JSON: "},
        {"empty file", "", "File is not a valid filter-groups JSON: "},
        {"top level is an array", "[{\"name\": \"A\"}]",
         "File is not a valid filter-groups JSON: the top level is not an object"},
        {"deep nesting", deep, "File is not a valid filter-groups JSON: "},
        {"more than 1000 groups", manyGroups, "The file holds 1001 filter groups"},
        {"larger than 16 MiB", large, "The file is larger than 16 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterGroupFileContents read = readFilterGroupsDocument(c.bytes);
        EXPECT_TRUE(read.error.startsWith(c.error)) << read.error.toStdString();
        // A parser's complaint is named, never "no error occurred".
        EXPECT_FALSE(read.error.contains("no error occurred"));
        EXPECT_GT(read.error.size(), c.error.size() - 1);
        EXPECT_TRUE(read.groups.empty());
    }
}

TEST(FilterGroupFile, FreeNamesFollowTheRestartingScan)
{
    const struct {
        const char* name;
        std::vector<std::string> existing;
        std::vector<std::string> imported;
        std::vector<std::string> expected;
    } cases[] = {
        {"two clashes with one existing", {"A"}, {"A", "A"}, {"A (2)", "A (3)"}},
        {"a later number is met after the restart", {"A (2)", "A"}, {"A"}, {"A (3)"}},
        {"case-sensitive", {"A"}, {"a"}, {"a"}},
        {"default names", {}, {"Imported group", "Imported group"}, {"Imported group", "Imported group (2)"}},
        {"numbered name clashes too", {"B", "B (2)"}, {"B (2)", "B"}, {"B (2) (2)", "B (3)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unordered_set<std::string> taken(c.existing.begin(), c.existing.end());
        std::vector<std::string> names;
        for (const std::string& base : c.imported)
            names.push_back(freeGroupName(base, taken));
        EXPECT_EQ(names, c.expected);
    }
}
