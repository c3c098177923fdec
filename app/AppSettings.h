// The settings keys of the application, each declared once with its default and a typed
// read and write. Everything goes through a default-constructed QSettings, i.e. the
// platform's store under the organisation and application name set in main().
// Widgets never spell keys themselves.
#pragma once

#include <QString>

namespace Tervane3 {

class AppSettings
{
public:
    static constexpr const char* datasetViewModeKey = "datasetView/mode";
    static constexpr const char* datasetViewDepthKey = "datasetView/depth";
    static constexpr const char* colorMapIndexKey = "settings/colorMapIndex";
    static constexpr const char* checkUpdatesOnStartupKey = "updates/checkOnStartup";
    static constexpr const char* ignoredVersionKey = "updates/ignoredVersion";

    static constexpr int defaultDatasetViewMode = 0;
    static constexpr int defaultDatasetViewDepth = 2;
    static constexpr int minDatasetViewDepth = 1;
    static constexpr int maxDatasetViewDepth = 4;
    static constexpr int defaultColorMapIndex = 0;
    static constexpr int colorMapCount = 6;
    static constexpr bool defaultCheckUpdatesOnStartup = true;

    // Dataset panel: the stored mode (1 = folder tree, anything else = flat list).
    static int datasetViewMode();
    static bool datasetFolderMode() { return datasetViewMode() == 1; }
    static void setDatasetViewMode(int mode);

    // Parent folder levels of the folder tree, clamped to 1..4 on reading.
    static int datasetViewDepth();
    static void setDatasetViewDepth(int depth);

    // Colour map of the plots; a stored value outside 0..5 reads as 0 (the store keeps it).
    static int colorMapIndex();
    static void setColorMapIndex(int index);

    static bool checkUpdatesOnStartup();
    static void setCheckUpdatesOnStartup(bool on);

    // The version the user chose to ignore in the update box; empty when none.
    static QString ignoredVersion();
    static void setIgnoredVersion(const QString& version);
};

} // namespace Tervane3
