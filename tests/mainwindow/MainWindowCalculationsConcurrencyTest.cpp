// Apply-to-all calculations while the window switches datasets and reads their calculation
// state. Run under ThreadSanitizer (./dev tsan): the workers get copies of what they need
// and only the GUI thread writes a dataset's flags, channels and matrix.
#include "MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "core/RTDCReader.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

TEST(MainWindowCalculationsConcurrencyTest, ApplyToAllRunsWhileTheShownDatasetChanges)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
    constexpr size_t events = 20000;
    constexpr int datasets = 4;
    for (int k = 0; k < datasets; ++k) {
        Measurement m;
        for (size_t i = 0; i < events; ++i) {
            m.columns["area_um"].push_back(20.0 + static_cast<double>(i % 80));
            m.columns["deform"].push_back(0.01 + 0.0001 * static_cast<double>(i % 300));
            m.columns["fl1_max"].push_back(100.0 + static_cast<double>(i % 7));
            m.columns["fl2_max"].push_back(200.0 + static_cast<double>(i % 11));
        }
        m.attributes = {{"setup:medium", "Tavrisol"}, {"setup:channel width", "20"}, {"setup:flow rate", "0.16"},
                        {"imaging:pixel size", "0.34"}};
        const QString path = dir.filePath(QStringLiteral("m%1.rtdc").arg(k));
        writeMeasurement(path.toStdString(), m);
        Access::addDataset(w, path);
        ASSERT_TRUE(waitForCaching(w));
    }
    CalculationsDockWidget* dock = w.calcDock();
    for (const char* box : {"crosstalkApplyToAll", "emodulusApplyToAll"})
        dock->findChild<QCheckBox*>(QLatin1String(box))->setChecked(true);

    for (const char* request : {"compensateCrosstalkButton", "computeEmodulusButton"}) {
        SCOPED_TRACE(request);
        dock->findChild<QPushButton*>(QLatin1String(request))->click();
        ASSERT_TRUE(Access::calcBusy(w));
        int switches = 0;
        int applied = 0;
        while (Access::calcBusy(w)) {
            Access::activate(w, switches++ % datasets);
            for (const auto& entry : Access::entries(w))
                applied += entry->ctcApplied + entry->emodApplied + static_cast<int>(entry->ctcChannels.size());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        EXPECT_GE(applied, 0);
    }
    for (const auto& entry : Access::entries(w)) {
        EXPECT_TRUE(entry->ctcApplied);
        EXPECT_TRUE(entry->emodApplied);
        EXPECT_EQ(entry->reader->getFeature("fl1_max_ctc").size(), events);
        EXPECT_EQ(entry->reader->getFeature("emodulus").size(), events);
    }
}
