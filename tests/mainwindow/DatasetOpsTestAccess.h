// Access to the main window's dataset bookkeeping for the tests of the dataset views and of
// renaming, removing, moving and duplicating (a friend of the window).
#pragma once

#include "mainwindow/DatasetEntry.h"
#include "mainwindow/MainWindow.h"

#include <memory>
#include <queue>
#include <vector>

namespace Tervane3 {

class DatasetOpsTestAccess
{
public:
    static std::vector<std::unique_ptr<DatasetEntry>>& entries(MainWindow& w) { return w.entries; }
    static int& activeIndex(MainWindow& w) { return w.activeIndex; }
    static int& nextDatasetId(MainWindow& w) { return w.nextDatasetId; }
    static int& preloadIndex(MainWindow& w) { return w.preloadIndex; }
    static bool& preloadBusy(MainWindow& w) { return w.preloadBusy; }
    static std::queue<int>& preloadIndexQueue(MainWindow& w) { return w.preloadIndexQueue; }
    static bool& calcBusy(MainWindow& w) { return w.calcBusy; }
    static std::vector<ImageGalleryWindow*>& galleryWindows(MainWindow& w) { return w.galleryWindows; }

    static std::vector<int> queueContents(MainWindow& w)
    {
        std::vector<int> values;
        for (std::queue<int> copy = w.preloadIndexQueue; !copy.empty(); copy.pop())
            values.push_back(copy.front());
        return values;
    }
    static void setQueue(MainWindow& w, const std::vector<int>& values)
    {
        w.preloadIndexQueue = {};
        for (int value : values)
            w.preloadIndexQueue.push(value);
    }

    // An entry without reader appended with its list item, as if it had been opened.
    static DatasetEntry& addEntry(MainWindow& w, int id, const std::string& path = std::string())
    {
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = id;
        entry->filePath = path;
        entry->displayName = QStringLiteral("Dataset %1").arg(id);
        w.entries.push_back(std::move(entry));
        w.addDatasetListItem(static_cast<int>(w.entries.size()) - 1);
        return *w.entries.back();
    }

    static void moveDataset(MainWindow& w, int from, int to) { w.moveDataset(from, to); }
    static void addDataset(MainWindow& w, const QString& path) { w.addDataset(path); }
};

} // namespace Tervane3
