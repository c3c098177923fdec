// Settings keys: defaults, clamps and the values that count as invalid.
#include "app/AppSettings.h"

#include "SettingsSandbox.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace Tervane3;

namespace {

void store(const char* key, const QVariant& value)
{
    QSettings().setValue(QString::fromLatin1(key), value);
}

} // namespace

TEST(AppSettingsTest, DefaultsWhenNothingIsStored)
{
    Tervane3::Test::SettingsSandbox sandbox;
    EXPECT_EQ(AppSettings::datasetViewMode(), 0);
    EXPECT_FALSE(AppSettings::datasetFolderMode());
    EXPECT_EQ(AppSettings::datasetViewDepth(), 2);
    EXPECT_EQ(AppSettings::colorMapIndex(), 0);
    EXPECT_TRUE(AppSettings::checkUpdatesOnStartup());
    EXPECT_TRUE(AppSettings::ignoredVersion().isEmpty());
}

TEST(AppSettingsTest, StoredValuesAreClampedOrRejected)
{
    Tervane3::Test::SettingsSandbox sandbox;
    struct Case
    {
        const char* key;
        QVariant stored;
        int expected;
    };
    const Case cases[] = {
        {AppSettings::datasetViewDepthKey, 7, 4},
        {AppSettings::datasetViewDepthKey, 0, 1},
        {AppSettings::datasetViewDepthKey, -3, 1},
        {AppSettings::datasetViewDepthKey, 3, 3},
        {AppSettings::datasetViewDepthKey, QStringLiteral("deep"), 2},
        {AppSettings::colorMapIndexKey, 6, 0},
        {AppSettings::colorMapIndexKey, -1, 0},
        {AppSettings::colorMapIndexKey, 5, 5},
        {AppSettings::colorMapIndexKey, QStringLiteral("3"), 3},
        {AppSettings::datasetViewModeKey, 2, 2},
        {AppSettings::datasetViewModeKey, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.stored.toString().toStdString());
        store(c.key, c.stored);
        const std::string key = c.key;
        int actual = -100;
        if (key == AppSettings::datasetViewDepthKey)
            actual = AppSettings::datasetViewDepth();
        else if (key == AppSettings::colorMapIndexKey)
            actual = AppSettings::colorMapIndex();
        else
            actual = AppSettings::datasetViewMode();
        EXPECT_EQ(actual, c.expected);
    }
    store(AppSettings::datasetViewModeKey, 2);
    EXPECT_FALSE(AppSettings::datasetFolderMode());
    store(AppSettings::datasetViewModeKey, 1);
    EXPECT_TRUE(AppSettings::datasetFolderMode());
    // A bad stored colour map stays in the store until the user picks one.
    store(AppSettings::colorMapIndexKey, 9);
    EXPECT_EQ(AppSettings::colorMapIndex(), 0);
    EXPECT_EQ(QSettings().value(QString::fromLatin1(AppSettings::colorMapIndexKey)).toInt(), 9);
}

TEST(AppSettingsTest, WritesUseTheDeclaredKeys)
{
    Tervane3::Test::SettingsSandbox sandbox;
    AppSettings::setDatasetViewMode(1);
    AppSettings::setDatasetViewDepth(3);
    AppSettings::setColorMapIndex(4);
    AppSettings::setCheckUpdatesOnStartup(false);
    AppSettings::setIgnoredVersion(QStringLiteral("3.3.0"));
    QSettings s;
    EXPECT_EQ(s.value(QStringLiteral("datasetView/mode")).toInt(), 1);
    EXPECT_EQ(s.value(QStringLiteral("datasetView/depth")).toInt(), 3);
    EXPECT_EQ(s.value(QStringLiteral("settings/colorMapIndex")).toInt(), 4);
    EXPECT_FALSE(s.value(QStringLiteral("updates/checkOnStartup")).toBool());
    EXPECT_EQ(s.value(QStringLiteral("updates/ignoredVersion")).toString().toStdString(), "3.3.0");
}
