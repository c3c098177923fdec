// The shape check of session documents without a window: a document of the saver's shape
// passes (also with keys missing or unknown), and each object or list of the wrong type is
// named with its place and what was found there.
#include "io/SessionStructure.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace Tervane3 {
namespace {

// Every container the loader walks, filled once, as the saver writes it.
QJsonObject wellFormed()
{
    return QJsonDocument::fromJson(R"({
        "version": 1,
        "savedAt": "2024-05-01T10:20:30Z",
        "mainWindow": {"activeDatasetIndex": 0, "colorMapIndex": 0, "expertMode": false},
        "datasets": [
            {"filePath": "a.rtdc", "displayName": "A",
             "fingerprint": {"fileSize": 10, "eventCount": 6, "featureHash": "0123456789ab"},
             "filter": {"enabled": true, "combineMode": "AND",
                        "rules": [{"type": "Range", "featureName": "area_um", "polygonVertices": []},
                                  {"type": "Polygon", "polygonVertices": [[1, 2], [3, "nan"], [5, 6]]}]},
             "groupEnabled": [{"groupId": 0, "enabled": true}],
             "ctcApplied": true, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0, 0, 1],
             "emodulusSettings": {"kept": "for whoever reads it"}},
            {"filePath": "a.rtdc", "isDuplicate": true, "duplicateOfIndex": 0}
        ],
        "filterGroups": [{"id": 0, "name": "g", "rules": [{"type": "Range"}]}],
        "nextGroupId": 1,
        "combineWindows": [{"mode": 0}],
        "statEvalWindows": [{}]
    })")
        .object();
}

// The document with the value at `path` (keys, and array positions as numbers) replaced.
QJsonValue replaced(const QJsonValue& node, const QStringList& path, const QJsonValue& value)
{
    if (path.isEmpty())
        return value;
    const QStringList rest = path.mid(1);
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        const int index = path.first().toInt();
        array[index] = replaced(array.at(index), rest, value);
        return array;
    }
    QJsonObject object = node.toObject();
    object.insert(path.first(), replaced(object.value(path.first()), rest, value));
    return object;
}

TEST(SessionStructureTest, TheSaversShapePasses)
{
    EXPECT_EQ(sessionStructureProblem(wellFormed()), QString());
    // Missing keys take their defaults; scalars of the wrong type read as defaults too.
    EXPECT_EQ(sessionStructureProblem(QJsonObject{{"version", 1}}), QString());
    QJsonObject scalars = wellFormed();
    scalars = replaced(scalars, {"datasets", "0", "displayName"}, 5).toObject();
    scalars = replaced(scalars, {"filterGroups", "0", "id"}, QStringLiteral("7")).toObject();
    scalars = replaced(scalars, {"datasets", "0", "ctcChannels", "0"}, QStringLiteral("x")).toObject();
    EXPECT_EQ(sessionStructureProblem(scalars), QString());
}

TEST(SessionStructureTest, WrongTypesAreNamedWithTheirPlace)
{
    struct Case {
        QStringList path;
        QJsonValue value;
        const char* problem;
    };
    const Case cases[] = {
        {{"mainWindow"}, QJsonArray{}, "mainWindow is an array, not an object"},
        {{"datasets"}, QStringLiteral("a.rtdc"), "datasets is a string, not an array"},
        {{"datasets"}, QJsonObject{}, "datasets is an object, not an array"},
        {{"datasets", "1"}, 3, "datasets[1] is a number, not an object"},
        {{"datasets", "0", "fingerprint"}, QStringLiteral("0123"), "datasets[0].fingerprint is a string, not an object"},
        {{"datasets", "0", "filter"}, QJsonArray{}, "datasets[0].filter is an array, not an object"},
        {{"datasets", "0", "filter"}, QJsonValue(), "datasets[0].filter is null, not an object"},
        {{"datasets", "0", "filter", "rules"}, QStringLiteral("r"), "datasets[0].filter.rules is a string, not an array"},
        {{"datasets", "0", "filter", "rules", "1"}, true, "datasets[0].filter.rules[1] is a boolean, not an object"},
        {{"datasets", "0", "filter", "rules", "1", "polygonVertices"}, QJsonObject{},
         "datasets[0].filter.rules[1].polygonVertices is an object, not an array"},
        {{"datasets", "0", "filter", "rules", "1", "polygonVertices", "2"}, 5,
         "datasets[0].filter.rules[1].polygonVertices[2] is a number, not an [x, y] pair"},
        {{"datasets", "0", "filter", "rules", "1", "polygonVertices", "0"}, QJsonArray{1},
         "datasets[0].filter.rules[1].polygonVertices[0] has 1 value(s), not an [x, y] pair"},
        {{"datasets", "0", "groupEnabled"}, QJsonObject{}, "datasets[0].groupEnabled is an object, not an array"},
        {{"datasets", "0", "groupEnabled", "0"}, 1, "datasets[0].groupEnabled[0] is a number, not an object"},
        {{"datasets", "0", "ctcChannels"}, 1, "datasets[0].ctcChannels is a number, not an array"},
        {{"datasets", "0", "spilloverMatrix"}, QStringLiteral("1 0 0 1"),
         "datasets[0].spilloverMatrix is a string, not an array"},
        {{"filterGroups"}, QJsonObject{}, "filterGroups is an object, not an array"},
        {{"filterGroups", "0"}, QStringLiteral("g"), "filterGroups[0] is a string, not an object"},
        {{"filterGroups", "0", "rules"}, 1, "filterGroups[0].rules is a number, not an array"},
        {{"filterGroups", "0", "rules", "0"}, QJsonArray{}, "filterGroups[0].rules[0] is an array, not an object"},
        {{"combineWindows"}, true, "combineWindows is a boolean, not an array"},
        {{"combineWindows", "0"}, QJsonArray{}, "combineWindows[0] is an array, not an object"},
        {{"statEvalWindows"}, QJsonValue(), "statEvalWindows is null, not an array"},
        {{"statEvalWindows", "0"}, 2, "statEvalWindows[0] is a number, not an object"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        const QJsonObject document = replaced(wellFormed(), c.path, c.value).toObject();
        EXPECT_EQ(sessionStructureProblem(document).toStdString(), c.problem);
    }
}

} // namespace
} // namespace Tervane3
