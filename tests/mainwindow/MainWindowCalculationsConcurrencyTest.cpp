// Apply-to-all calculations while the window switches datasets and reads their calculation
// state. Run under ThreadSanitizer (./dev tsan): the workers get copies of what they need
// and only the GUI thread writes a dataset's flags, channels and matrix; the per-event
// calculations read traces, images and masks while the window shows those of its events.
#include "HeldCalculation.h"
#include "MainWindowTestAccess.h"
#include "PerEventMeasurement.h"

#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "calc/ImageFeatures.h"
#include "core/RTDCReader.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

// Clicks the request's button and, until the run ends, shows one dataset after the other and
// calls meanwhile with the number of switches so far.
void runWhileSwitching(MainWindow& w, const char* request, int datasets, const std::function<void(int)>& meanwhile)
{
    w.calcDock()->findChild<QPushButton*>(QLatin1String(request))->click();
    ASSERT_TRUE(Access::calcBusy(w));
    for (int switches = 0; Access::calcBusy(w); ++switches) {
        Access::activate(w, switches % datasets);
        meanwhile(switches);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

class MainWindowCalculationsConcurrencyTest : public ::testing::Test
{
protected:
    // Writes each dataset's file with write and opens it in the window.
    void openDatasets(int count, const std::function<void(const std::string&)>& write)
    {
        for (int k = 0; k < count; ++k) {
            const QString path = dir.filePath(QStringLiteral("m%1.rtdc").arg(k));
            write(path.toStdString());
            Access::addDataset(w, path);
            ASSERT_TRUE(waitForCaching(w));
        }
    }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
};

} // namespace

TEST_F(MainWindowCalculationsConcurrencyTest, ApplyToAllRunsWhileTheShownDatasetChanges)
{
    constexpr size_t events = 20000;
    constexpr int datasets = 4;
    openDatasets(datasets, [](const std::string& path) {
        Measurement m;
        for (size_t i = 0; i < events; ++i) {
            m.columns["area_um"].push_back(20.0 + static_cast<double>(i % 80));
            m.columns["deform"].push_back(0.01 + 0.0001 * static_cast<double>(i % 300));
            m.columns["fl1_max"].push_back(100.0 + static_cast<double>(i % 7));
            m.columns["fl2_max"].push_back(200.0 + static_cast<double>(i % 11));
        }
        m.attributes = {{"setup:medium", "Tavrisol"}, {"setup:channel width", "20"}, {"setup:flow rate", "0.16"},
                        {"imaging:pixel size", "0.34"}};
        writeMeasurement(path, m);
    });
    CalculationsDockWidget* dock = w.calcDock();
    for (const char* box : {"crosstalkApplyToAll", "emodulusApplyToAll"})
        dock->findChild<QCheckBox*>(QLatin1String(box))->setChecked(true);

    for (const char* request : {"compensateCrosstalkButton", "computeEmodulusButton"}) {
        SCOPED_TRACE(request);
        int applied = 0;
        runWhileSwitching(w, request, datasets, [this, &applied](int) {
            for (const auto& entry : Access::entries(w))
                applied += entry->ctcApplied + entry->emodApplied + static_cast<int>(entry->ctcChannels.size());
        });
        EXPECT_GE(applied, 0);
    }
    for (const auto& entry : Access::entries(w)) {
        EXPECT_TRUE(entry->ctcApplied);
        EXPECT_TRUE(entry->emodApplied);
        EXPECT_EQ(entry->reader->getFeature("fl1_max_ctc").size(), events);
        EXPECT_EQ(entry->reader->getFeature("emodulus").size(), events);
    }
}

TEST_F(MainWindowCalculationsConcurrencyTest, PerEventRunsWhileTheWindowShowsEventsOfTheirDatasets)
{
    constexpr size_t events = 3000;
    constexpr int datasets = 3;
    openDatasets(datasets,
                 [](const std::string& path) { writePerEventMeasurement(path, PerEventContent(), events); });
    CalculationsDockWidget* dock = w.calcDock();
    for (const char* box : {"refinementApplyToAll", "fourierApplyToAll", "imageFeaturesApplyToAll"})
        dock->findChild<QCheckBox*>(QLatin1String(box))->setChecked(true);

    for (const char* request : {"refineFluorescenceButton", "computeFourierDeformButton", "computeImageFeaturesButton"}) {
        SCOPED_TRACE(request);
        // Showing an event reads its image, mask and traces (the refined ones included).
        runWhileSwitching(w, request, datasets, [this](int switches) {
            Access::eventSpin(w)->setValue(static_cast<int>((switches * 37) % events));
        });
    }
    const std::string imageFeature = ImageFeatures::featureNames().front();
    for (const auto& entry : Access::entries(w)) {
        EXPECT_TRUE(entry->flRefinementApplied);
        EXPECT_TRUE(entry->fourierApplied);
        for (const std::string& name : {std::string("fl2_max_rf"), std::string("deform_fc"), imageFeature})
            EXPECT_EQ(entry->reader->getFeature(name).size(), events) << name;
    }
}

// A Cancel that comes after the run let the next dataset through and before its calculator
// has started must stop that dataset. The calculators used to clear their stop flag when
// they started, which lost such a Cancel: the dataset was computed whole.
TEST_F(MainWindowCalculationsConcurrencyTest, ACancelAsADatasetStartsStopsIt)
{
    openDatasets(1, [](const std::string& path) { writePerEventMeasurement(path, PerEventContent(), 300); });
    const DatasetEntry& entry = Access::entry(w, 0);
    const struct
    {
        const char* button;
        const char* column;
    } cases[] = {
        {"compensateCrosstalkButton", "fl1_max_ctc"},
        {"refineFluorescenceButton", "fl1_max_rf"},
        {"computeFourierDeformButton", "deform_fc"},
        {"computeImageFeaturesButton", "bright_median"},
        {"computeEmodulusButton", "emodulus"},
    };
    CalculationsDockWidget* dock = w.calcDock();
    const auto button = [dock](const char* name) { return dock->findChild<QPushButton*>(QLatin1String(name)); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        // The worker waits between the run's own cancel test and the calculator's start.
        ::Tervane3::Test::HeldCalculation held;
        ASSERT_TRUE(button(c.button)->isEnabled());
        button(c.button)->click();
        ASSERT_TRUE(held.waitHeld());
        button("cancelCalculationButton")->click();
        held.release();
        ASSERT_TRUE(waitUntil([this] { return !Access::calcBusy(w); }));
        EXPECT_FALSE(entry.reader->hasFeature(c.column));
        EXPECT_TRUE(Access::statusText(w).endsWith(QStringLiteral("done for 0 of 1 dataset(s), cancelled.")))
            << Access::statusText(w).toStdString();
    }
    EXPECT_FALSE(entry.ctcApplied);
    EXPECT_FALSE(entry.flRefinementApplied);
    EXPECT_FALSE(entry.fourierApplied);
    EXPECT_FALSE(entry.emodApplied);

    // What a cancelled run left stops nothing later: each calculation runs to its end.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        button(c.button)->click();
        ASSERT_TRUE(waitUntil([this] { return !Access::calcBusy(w); }));
        EXPECT_TRUE(entry.reader->isComputedFeature(c.column));
    }
}
