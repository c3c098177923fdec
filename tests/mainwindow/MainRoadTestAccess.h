// Access for the tests of opening, caching, activation and the main plot update: the main
// window's private state (a friend of the window), tiny measurement files written by the
// test itself, and waiting for the caching chain.
#pragma once

#include "MainWindowTestAccess.h"

#include "mainwindow/DatasetEntry.h"
#include "mainwindow/MainWindow.h"
#include "support/RtdcFixture.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

class MainRoadTestAccess
{
public:
    static std::vector<std::unique_ptr<DatasetEntry>>& entries(MainWindow& w) { return w.entries; }
    static DatasetEntry& entry(MainWindow& w, size_t i) { return *w.entries.at(i); }
    static int activeIndex(const MainWindow& w) { return w.activeIndex; }
    static int nextDatasetId(const MainWindow& w) { return w.nextDatasetId; }
    static bool preloadBusy(const MainWindow& w) { return w.preloadBusy; }
    static int preloadIndex(const MainWindow& w) { return w.preloadIndex; }
    static size_t pendingPaths(const MainWindow& w) { return w.pendingPathQueue.size(); }
    static std::queue<std::pair<int, QString>>& sessionQueue(MainWindow& w) { return w.sessionDatasetQueue; }
    static std::map<int, int>& sessionIds(MainWindow& w) { return w.sessionIndexToDatasetId; }
    static bool& sessionLoading(MainWindow& w) { return w.sessionLoading; }
    static const std::vector<int>& plottedEventIndices(const MainWindow& w) { return w.plottedEventIndices; }
    static const std::vector<double>& plotXValues(const MainWindow& w) { return w.plotXValues; }
    static const std::vector<double>& plotColorValues(const MainWindow& w) { return w.plotColorValues; }
    static std::function<bool(const std::string&)>& justComputed(MainWindow& w) { return w.justComputedFeaturePredicate; }
    static QFutureWatcher<void>* preloadWatcher(MainWindow& w) { return w.preloadWatcher; }
    static ScatterPlot* scatterPlot(MainWindow& w) { return w.scatterPlot; }
    static void addDataset(MainWindow& w, const QString& path) { w.addDataset(path); }
    static void activate(MainWindow& w, int index) { w.activateDataset(index); }
    static void updatePlot(MainWindow& w) { w.updatePlot(); }
    static void startPreload(MainWindow& w, int index) { w.startPreload(index); }

    static QComboBox* combo(MainWindow& w, const char* name) { return w.findChild<QComboBox*>(QLatin1String(name)); }
    static QLabel* infoLabel(MainWindow& w) { return w.infoLabel; }
    static QSpinBox* eventSpin(MainWindow& w) { return w.eventSpin; }
    static QDoubleSpinBox* innerSpin(MainWindow& w) { return w.contourInnerSpin; }
    static QDoubleSpinBox* outerSpin(MainWindow& w) { return w.contourOuterSpin; }

    // Selects the item whose data is the key (signals stay connected, as for the user).
    static bool selectKey(QComboBox* combo, const QString& key)
    {
        const int index = combo->findData(key);
        if (index < 0)
            return false;
        combo->setCurrentIndex(index);
        return true;
    }
};

namespace Test {

// One measurement: double columns and string root attributes ("section:key" -> text).
struct Measurement
{
    std::map<std::string, std::vector<double>> columns;
    std::map<std::string, std::string> attributes;
};

inline void writeMeasurement(const std::string& path, const Measurement& m)
{
    RtdcFixture file(path);
    for (const auto& [name, values] : m.columns)
        file.addColumn(name, values);
    for (const auto& [name, value] : m.attributes)
        file.addStringAttribute(name, value);
    file.close();
}

// Six events of area and deformation, plus brightness; events 0..5 in order.
inline Measurement smallMeasurement()
{
    Measurement m;
    m.columns["area_um"] = {10, 20, 30, 40, 50, 60};
    m.columns["deform"] = {0.01, 0.02, 0.03, 0.04, 0.05, 0.06};
    m.columns["bright_avg"] = {100, 110, 120, 130, 140, 150};
    return m;
}

// Runs the event loop until no caching task runs and nothing waits.
inline bool waitForCaching(MainWindow& w, int timeoutMs = 20000)
{
    return waitUntil([&] { return !MainRoadTestAccess::preloadBusy(w) && MainRoadTestAccess::pendingPaths(w) == 0; },
                     timeoutMs);
}

} // namespace Test
} // namespace Tervane3
