// The session file without a window: feature hashes, the dataset object and its reading
// back with defaults and clamps, filter groups, reading a file (sizes, versions, JSON
// errors) and a save that fails without touching the old file.
#include "app/DatasetEntry.h"
#include "core/FilterRuleJson.h"
#include "core/RTDCReader.h"
#include "io/SessionFile.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace Tervane3 {
namespace {

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

class SessionFileTest : public ::testing::Test
{
protected:
    std::string path(const char* name) { return dir.filePath(QLatin1String(name)).toStdString(); }

    QTemporaryDir dir;
};

TEST_F(SessionFileTest, FeatureHashDescribesTheFileOnly)
{
    {
        ::Tervane3::Test::RtdcFixture plain(path("plain.rtdc"));
        plain.addColumn<double>("deform", {0.1, 0.2});
        plain.addColumn<double>("area_um", {10, 20});
    }
    {
        ::Tervane3::Test::RtdcFixture images(path("images.rtdc"));
        images.addColumn<double>("area_um", {10, 20});
        images.addColumn<double>("deform", {0.1, 0.2});
        images.addFrames("image", std::vector<std::uint8_t>(2 * 4 * 4, 7), 2, 4, 4);
        images.addFrames("mask", std::vector<std::uint8_t>(2 * 4 * 4, 1), 2, 4, 4);
    }
    RTDCReader plain;
    ASSERT_TRUE(plain.open(path("plain.rtdc")));
    EXPECT_EQ(computeFeatureHash(plain), QStringLiteral("dab44683e0ff"));
    RTDCReader images;
    ASSERT_TRUE(images.open(path("images.rtdc")));
    EXPECT_EQ(computeFeatureHash(images), QStringLiteral("d1737caee2ae"));
    // Computed columns, new or replacing a file column, leave the hash alone.
    plain.setFeature("emodulus", {1.0, 2.0});
    plain.setFeature("area_um", {11.0, 21.0});
    EXPECT_EQ(computeFeatureHash(plain), QStringLiteral("dab44683e0ff"));
}

TEST_F(SessionFileTest, DatasetObject)
{
    QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("session")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("data")));
    {
        ::Tervane3::Test::RtdcFixture file(path("data/m.rtdc"));
        file.addColumn<double>("area_um", {10, 20, 30});
        file.addColumn<double>("deform", {0.1, 0.2, 0.3});
    }
    DatasetEntry entry;
    entry.reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(entry.reader->open(path("data/m.rtdc")));
    entry.filePath = path("data/m.rtdc");
    entry.displayName = QStringLiteral("Donor 7");
    entry.xFeatureName = "area_um";
    entry.yFeatureName = "deform";
    entry.colorFeatureName = "__density_kde__";
    entry.currentEventIndex = 2;
    entry.contourMode = 1;
    entry.scaleXMode = 2;
    FilterRule range;
    range.featureName = "area_um";
    range.minValue = 15;
    range.maxValue = std::numeric_limits<double>::infinity();
    range.propagationId = "p1";
    entry.filter.addRule(range);
    entry.filter.setCombineMode(1);

    const QDir session(QString::fromStdString(path("session")));
    QJsonObject object = datasetToJson(entry, session, -1);
    EXPECT_EQ(object.value("filePath").toString(), QStringLiteral("../data/m.rtdc"));
    EXPECT_EQ(object.value("displayName").toString(), QStringLiteral("Donor 7"));
    EXPECT_EQ(object.value("colorFeatureName").toString(), QStringLiteral("__density_kde__"));
    EXPECT_EQ(object.value("currentEventIndex").toInt(), 2);
    EXPECT_FALSE(object.value("isDuplicate").toBool());
    EXPECT_EQ(object.value("duplicateOfIndex").toInt(), -1);
    const QJsonObject fingerprint = object.value("fingerprint").toObject();
    EXPECT_EQ(fingerprint.value("eventCount").toInt(), 3);
    EXPECT_EQ(fingerprint.value("fileSize").toDouble(), static_cast<double>(QFileInfo(QString::fromStdString(entry.filePath)).size()));
    EXPECT_EQ(fingerprint.value("featureHash").toString(), QStringLiteral("dab44683e0ff"));
    const QJsonObject filter = object.value("filter").toObject();
    EXPECT_EQ(filter.value("combineMode").toString(), QStringLiteral("NOT"));
    const QJsonObject rule = filter.value("rules").toArray().at(0).toObject();
    EXPECT_EQ(rule.value("featureNameY").toString(), QString());
    EXPECT_TRUE(rule.value("polygonVertices").toArray().isEmpty());
    EXPECT_EQ(rule.value("maxValue").toString(), QStringLiteral("inf"));
    // Optional keys only where they apply.
    for (const char* key : {"ctcChannels", "spilloverMatrix", "groupEnabled"})
        EXPECT_FALSE(object.contains(QLatin1String(key))) << key;
    entry.ctcChannels = {1, 2};
    EXPECT_FALSE(datasetToJson(entry, session, -1).contains(QStringLiteral("ctcChannels")));
    entry.ctcApplied = true;
    entry.spilloverMatrix = {{1.0, 0.1}, {0.2, 1.0}};
    entry.groupEnabled[4] = false;
    object = datasetToJson(entry, session, 0);
    EXPECT_EQ(object.value("ctcChannels").toArray(), QJsonArray({1, 2}));
    EXPECT_EQ(object.value("spilloverMatrix").toArray(), QJsonArray({1.0, 0.1, 0.2, 1.0}));
    EXPECT_EQ(object.value("groupEnabled").toArray(), QJsonArray({QJsonObject{{"groupId", 4}, {"enabled", false}}}));
    EXPECT_TRUE(object.value("isDuplicate").toBool());
    EXPECT_EQ(object.value("duplicateOfIndex").toInt(), 0);
    // A matrix that does not fit the channels is written empty.
    entry.spilloverMatrix = arma::mat(3, 3, arma::fill::eye);
    EXPECT_TRUE(datasetToJson(entry, session, -1).value("spilloverMatrix").toArray().isEmpty());
    // In the session's own folder: the bare name.
    EXPECT_EQ(datasetToJson(entry, QDir(QString::fromStdString(path("data"))), -1).value("filePath").toString(),
              QStringLiteral("m.rtdc"));

    // Read back onto a fresh entry: the same state.
    entry.spilloverMatrix = {{1.0, 0.1}, {0.2, 1.0}};
    DatasetEntry back;
    applyDatasetJson(back, datasetToJson(entry, session, -1));
    EXPECT_EQ(back.displayName, entry.displayName);
    EXPECT_EQ(back.colorFeatureName, entry.colorFeatureName);
    EXPECT_EQ(back.currentEventIndex, 2);
    EXPECT_EQ(back.contourMode, 1);
    EXPECT_EQ(back.scaleXMode, 2);
    EXPECT_EQ(back.filter, entry.filter);
    EXPECT_EQ(back.ctcChannels, entry.ctcChannels);
    EXPECT_TRUE(arma::approx_equal(back.spilloverMatrix, entry.spilloverMatrix, "absdiff", 0.0));
    EXPECT_EQ(back.groupEnabled, entry.groupEnabled);
}

TEST(SessionDatasetState, DefaultsAndClamps)
{
    struct Case {
        const char* name;
        const char* json;
        std::function<void(const DatasetEntry&)> check;
    };
    const Case cases[] = {
        {"empty object: the defaults", "{}",
         [](const DatasetEntry& e) {
             EXPECT_EQ(e.currentEventIndex, -1);
             EXPECT_EQ(e.contourMode, 0);
             EXPECT_EQ(e.contourFraction1, 0.1);
             EXPECT_EQ(e.contourFraction2, 0.67);
             EXPECT_FALSE(e.filter.isEnabled());
             EXPECT_EQ(e.filter.ruleCount(), 0);
             EXPECT_TRUE(e.groupEnabled.empty());
         }},
        {"out-of-range modes", R"({"contourMode": 7, "scaleXMode": 3, "scaleYMode": -1, "currentEventIndex": -9})",
         [](const DatasetEntry& e) {
             EXPECT_EQ(e.contourMode, 0);
             EXPECT_EQ(e.scaleXMode, 0);
             EXPECT_EQ(e.scaleYMode, 0);
             EXPECT_EQ(e.currentEventIndex, -1);
         }},
        {"fractions not in 0..1 or not numbers",
         R"({"contourFraction1": "nan", "contourFraction2": 2.5})",
         [](const DatasetEntry& e) {
             EXPECT_EQ(e.contourFraction1, 0.1);
             EXPECT_EQ(e.contourFraction2, 0.67);
         }},
        {"numbers of the wrong kind", R"({"contourMode": "2", "currentEventIndex": 1e300, "displayName": 5})",
         [](const DatasetEntry& e) {
             EXPECT_EQ(e.contourMode, 0);
             EXPECT_EQ(e.currentEventIndex, -1);
             EXPECT_TRUE(e.displayName.isEmpty());
         }},
        {"3 matrix values for 2 channels", R"({"ctcApplied": true, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0, 1]})",
         [](const DatasetEntry& e) {
             EXPECT_EQ(e.ctcChannels, (std::vector<int>{1, 2}));
             EXPECT_TRUE(e.spilloverMatrix.is_empty());
         }},
        {"channels without compensation are ignored", R"({"ctcApplied": false, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0, 0, 1]})",
         [](const DatasetEntry& e) { EXPECT_TRUE(e.ctcChannels.empty()); }},
        {"a filter: enabled only when said", R"({"filter": {"rules": [{"type": "Range", "featureName": "a"}]}})",
         [](const DatasetEntry& e) {
             EXPECT_FALSE(e.filter.isEnabled());
             EXPECT_EQ(e.filter.ruleCount(), 1);
             EXPECT_EQ(e.filter.combineMode(), 0);
         }},
        {"group switches", R"({"groupEnabled": [{"groupId": 3, "enabled": true}, {"enabled": true}, 7]})",
         [](const DatasetEntry& e) {
             EXPECT_EQ(e.groupEnabled.size(), 2u);
             EXPECT_TRUE(e.groupEnabled.at(3));
             EXPECT_TRUE(e.groupEnabled.at(0));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DatasetEntry entry;
        entry.contourMode = 2;
        entry.ctcChannels = {9};
        applyDatasetJson(entry, parse(c.json));
        c.check(entry);
    }
}

// The Young's-modulus settings travel with the flag, so that loading can compute the same
// column again; settings that could not compute it count as none (as in an older file).
TEST(SessionDatasetState, YoungsModulusSettings)
{
    EmodulusSettings settings;
    settings.medium = 2;
    settings.viscosityModel = 1;
    settings.manualViscosity = 0.0;
    settings.temperatureSource = 0;
    settings.temperature = 30.5;
    settings.channelWidth = 30.0;
    settings.flowRate = 0.12;
    settings.pixelSize = 0.25;
    settings.deformFeature = "deform_fc";
    settings.pixelationCorrection = false;
    DatasetEntry entry;
    entry.filePath = "/nowhere/m.rtdc";
    entry.emodApplied = true;
    entry.emodulusSettings = settings;
    const QJsonObject object = datasetToJson(entry, QDir(QStringLiteral("/nowhere")), -1);
    const QJsonObject saved = object.value(QStringLiteral("emodulusSettings")).toObject();
    EXPECT_EQ(saved.value(QStringLiteral("temperature")).toDouble(), 30.5);
    EXPECT_EQ(saved.value(QStringLiteral("deformFeature")).toString(), QStringLiteral("deform_fc"));
    DatasetEntry back;
    applyDatasetJson(back, object);
    EXPECT_TRUE(back.emodApplied);
    ASSERT_TRUE(back.emodulusSettings.has_value());
    EXPECT_TRUE(*back.emodulusSettings == settings);

    // Without the flag nothing is written, and nothing read.
    entry.emodApplied = false;
    EXPECT_FALSE(datasetToJson(entry, QDir(QStringLiteral("/nowhere")), -1).contains(QStringLiteral("emodulusSettings")));
    QJsonObject unflagged = object;
    unflagged.insert(QStringLiteral("emodApplied"), false);
    applyDatasetJson(back, unflagged);
    EXPECT_FALSE(back.emodulusSettings.has_value());

    const struct
    {
        const char* name;
        const char* key;
        QJsonValue value; // undefined: the key is left out
    } unusable[] = {
        {"no settings (an older file)", nullptr, QJsonValue()},
        {"settings not an object", nullptr, QJsonValue(3)},
        {"medium outside 0..4", "medium", 5},
        {"model outside 0..3", "viscosityModel", -1},
        {"temperature source outside 0..2", "temperatureSource", 3},
        {"a code that is not whole", "medium", 1.5},
        {"channel width 0", "channelWidth", 0.0},
        {"flow rate as text", "flowRate", QStringLiteral("0.16")},
        {"pixel size missing", "pixelSize", QJsonValue(QJsonValue::Undefined)},
        {"negative manual viscosity", "manualViscosity", -1.0},
        {"temperature not a number", "temperature", QStringLiteral("nan")},
        {"no deformation column", "deformFeature", QString()},
        {"correction not a bool", "pixelationCorrection", 1},
    };
    for (const auto& c : unusable) {
        SCOPED_TRACE(c.name);
        QJsonObject dataset = object;
        if (!c.key) {
            if (c.value.isUndefined() || c.value.isNull())
                dataset.remove(QStringLiteral("emodulusSettings"));
            else
                dataset.insert(QStringLiteral("emodulusSettings"), c.value);
        } else {
            QJsonObject changed = saved;
            if (c.value.isUndefined())
                changed.remove(QLatin1String(c.key));
            else
                changed.insert(QLatin1String(c.key), c.value);
            dataset.insert(QStringLiteral("emodulusSettings"), changed);
        }
        DatasetEntry read;
        read.emodulusSettings = settings;
        applyDatasetJson(read, dataset);
        EXPECT_TRUE(read.emodApplied); // the window clears it and names the dataset
        EXPECT_FALSE(read.emodulusSettings.has_value());
    }
}

TEST(SessionGroups, IdsOutsideTheRangeOrRepeatedAreDropped)
{
    const QJsonObject root = parse(R"({"filterGroups": [
        {"id": 5, "name": "live", "rules": [{"type": "Range", "featureName": "area_um", "minValue": 1, "maxValue": 2}]},
        {"name": "no id"}, {"id": -1}, {"id": 100000}, {"id": 2.5}, {"id": 5, "name": "again"},
        {"id": 99999, "name": "last"}, "not an object"]})");
    const std::vector<FilterGroup> groups = filterGroupsFromJson(root.value("filterGroups"));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].id, 5);
    EXPECT_EQ(groups[0].name, "live");
    ASSERT_EQ(groups[0].rules.size(), 1u);
    EXPECT_EQ(groups[0].rules[0].maxValue, 2.0);
    EXPECT_EQ(groups[1].id, 99999);
    // Written and read again: the same groups.
    QJsonArray written;
    for (const FilterGroup& group : groups)
        written.append(filterGroupToJson(group));
    EXPECT_EQ(filterGroupsFromJson(written).size(), 2u);
}

TEST_F(SessionFileTest, ReadingFiles)
{
    struct Case {
        const char* name;
        QByteArray content;
        int version; // -1: refused
        const char* error;
    };
    const Case cases[] = {
        {"version 1", R"({"version": 1})", 1, ""},
        {"newer version", R"({"version": 2})", 2, ""},
        {"missing version", R"({"datasets": []})", 0, ""},
        {"version 0", R"({"version": 0})", 0, ""},
        {"version as text", R"({"version": "1"})", 0, ""},
        {"version as array", R"({"version": [1]})", 0, ""},
        {"version not whole", R"({"version": 1.5})", 0, ""},
        {"top level not an object", R"([1, 2])", 0, ""},
        {"not JSON", "garbage{", -1, "Invalid session file: "},
        {"empty file", "", -1, "Invalid session file: "},
        {"broken on line 3", "{\n  \"version\": 1,\n  \"datasets\": [1,, 2]\n}", -1, "Invalid session file: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QStringLiteral("s.TN3"));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(c.content);
        out.close();
        QString error;
        const std::optional<SessionDocument> document = readSessionFile(file, &error);
        if (c.version < 0) {
            EXPECT_FALSE(document.has_value());
            EXPECT_TRUE(error.startsWith(QLatin1String(c.error))) << error.toStdString();
            EXPECT_GT(error.size(), QString::fromLatin1(c.error).size());
        } else {
            ASSERT_TRUE(document.has_value());
            EXPECT_EQ(document->version, c.version);
        }
    }
    QString error;
    EXPECT_FALSE(readSessionFile(dir.filePath(QStringLiteral("missing.TN3")), &error).has_value());
    EXPECT_EQ(error, QStringLiteral("Failed to read session file: ") + dir.filePath(QStringLiteral("missing.TN3")));

    // An .rtdc chosen under "All Files" is refused unread once it passes 64 MB.
    const QString big = dir.filePath(QStringLiteral("big.rtdc"));
    QFile large(big);
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    ASSERT_TRUE(large.resize(sessionMaxFileBytes + 1));
    large.close();
    EXPECT_FALSE(readSessionFile(big, &error).has_value());
    EXPECT_EQ(error, QStringLiteral("Invalid session file: %1\nThe file is larger than 64 MB.").arg(big));
}

// Regression: a file that is not JSON was refused with the parser's words only, without the
// file or the place.
TEST_F(SessionFileTest, TextThatIsNotJsonIsRefusedWithFileAndPlace)
{
    struct Case {
        const char* name;
        QByteArray content;
        const char* place;
    };
    const Case cases[] = {
        {"plain text", "garbage{", "illegal value at line 1, column 1."},
        {"empty file", "", "illegal value at line 1, column 1."},
        {"second comma on line 3", "{\n  \"version\": 1,\n  \"datasets\": [1,, 2]\n}", "illegal value at line 3, column 18."},
        {"cut off", "{\"version\": 1", "invalid termination by number at line 1, column 13."},
        {"multi-byte text before", "{\"n\": \"\u00b5m\u00b2\" x}", "unterminated object at line 1, column 13."},
    };
    const QString file = dir.filePath(QStringLiteral("s.TN3"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(c.content);
        out.close();
        QString error;
        EXPECT_FALSE(readSessionFile(file, &error).has_value());
        EXPECT_EQ(error.toStdString(), "Invalid session file: " + file.toStdString() + "\n" + c.place);
    }
}

TEST_F(SessionFileTest, AFailedSaveLeavesTheOldFile)
{
    const QString file = dir.filePath(QStringLiteral("s.TN3"));
    ASSERT_TRUE(writeSessionFile(file, parse(R"({"version": 1, "old": true})")));
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray before = in.readAll();
    in.close();

    setSessionWriteCheckForTesting([] { return false; });
    EXPECT_FALSE(writeSessionFile(file, parse(R"({"version": 1, "new": true})")));
    setSessionWriteCheckForTesting(nullptr);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), before);
    in.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("s.TN3")});
    // A folder that cannot exist: a file stands in its place.
    EXPECT_FALSE(writeSessionFile(file + QStringLiteral("/inner.TN3"), parse("{}")));
}

} // namespace
} // namespace Tervane3
