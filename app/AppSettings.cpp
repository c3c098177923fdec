// Typed access to the settings keys; an unreadable store yields the defaults.
#include "app/AppSettings.h"

#include <QSettings>

#include <algorithm>

namespace Tervane3 {

namespace {

int readInt(const char* key, int fallback)
{
    bool ok = false;
    const int value = QSettings().value(QString::fromLatin1(key), fallback).toInt(&ok);
    return ok ? value : fallback;
}

void write(const char* key, const QVariant& value)
{
    QSettings().setValue(QString::fromLatin1(key), value);
}

} // namespace

int AppSettings::datasetViewMode()
{
    return readInt(datasetViewModeKey, defaultDatasetViewMode);
}

void AppSettings::setDatasetViewMode(int mode)
{
    write(datasetViewModeKey, mode);
}

int AppSettings::datasetViewDepth()
{
    return std::clamp(readInt(datasetViewDepthKey, defaultDatasetViewDepth), minDatasetViewDepth,
                      maxDatasetViewDepth);
}

void AppSettings::setDatasetViewDepth(int depth)
{
    write(datasetViewDepthKey, depth);
}

int AppSettings::colorMapIndex()
{
    const int index = readInt(colorMapIndexKey, defaultColorMapIndex);
    return (index < 0 || index >= colorMapCount) ? defaultColorMapIndex : index;
}

void AppSettings::setColorMapIndex(int index)
{
    write(colorMapIndexKey, index);
}

bool AppSettings::checkUpdatesOnStartup()
{
    return QSettings()
        .value(QString::fromLatin1(checkUpdatesOnStartupKey), defaultCheckUpdatesOnStartup)
        .toBool();
}

void AppSettings::setCheckUpdatesOnStartup(bool on)
{
    write(checkUpdatesOnStartupKey, on);
}

QString AppSettings::ignoredVersion()
{
    return QSettings().value(QString::fromLatin1(ignoredVersionKey)).toString();
}

void AppSettings::setIgnoredVersion(const QString& version)
{
    write(ignoredVersionKey, version);
}

} // namespace Tervane3
