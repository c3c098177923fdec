// The calculation requests of the main window on tiny measurements the test writes:
// crosstalk compensation and the Young's modulus for the shown or all datasets, what a
// finish records in the datasets, failures in the status line, the box for a request while
// one runs, Cancel in the middle of a run, the quality assessment and the re-application
// of restored compensation.
#include "MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModQualityDialog.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "core/RTDCReader.h"
#include "plots/ScatterPlot.h"

#include "calc/LutFixture.h"
#include "support/TestSupport.h"

#include <qwt_scale_div.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

// Two fluorescence channels (or three) of n events; fl1 = 110, fl2 = 220 for every event.
Measurement fluorescence(int channels, size_t events = 4)
{
    Measurement m = smallMeasurement();
    m.columns["area_um"].resize(events, 30);
    m.columns["deform"].resize(events, 0.03);
    m.columns["bright_avg"].resize(events, 100);
    for (int c = 1; c <= channels; ++c)
        m.columns["fl" + std::to_string(c) + "_max"] = std::vector<double>(events, 110.0 * c);
    return m;
}

// Seven events that the linear fixture table maps (area 50, deformations after the
// pixelation correction 0 .. 0.09: moduli 5 + 10 d kPa at the table's conditions).
Measurement mappable(const std::map<std::string, std::string>& extra = {})
{
    Measurement m;
    for (double d : {0.0, 0.005, 0.02, 0.03, 0.05, 0.07, 0.09}) {
        m.columns["area_um"].push_back(50);
        m.columns["deform"].push_back(d + EModulus::pixelationOffset(50, 0.34));
    }
    m.attributes = {{"setup:channel width", "20"},
                    {"setup:flow rate", "0.16"},
                    {"imaging:pixel size", "0.34"},
                    {"setup:medium", "other"}};
    for (const auto& [key, value] : extra)
        m.attributes[key] = value;
    return m;
}

class MainWindowCalculationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QString table = writeLutFile(dir, QStringLiteral("table.txt"),
                                           gridTable(steps(0, 10, 11), steps(0, 0.01, 11),
                                                     [](double a, double d) { return 0.1 * a + 10.0 * d; }),
                                           tableMetadata);
        ASSERT_TRUE(w.emodulus()->setLutFile(0, table));
    }

    // Opens a measurement (it becomes the active dataset) and waits for its caching.
    DatasetEntry& open(const Measurement& m)
    {
        const QString path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++));
        writeMeasurement(path.toStdString(), m);
        Access::addDataset(w, path);
        EXPECT_TRUE(waitForCaching(w));
        return Access::entry(w, Access::entries(w).size() - 1);
    }
    CalculationsDockWidget* dock() { return w.calcDock(); }
    QPushButton* button(const char* name) { return dock()->findChild<QPushButton*>(QLatin1String(name)); }
    QCheckBox* check(const char* name) { return dock()->findChild<QCheckBox*>(QLatin1String(name)); }
    QTableWidget* table() { return dock()->findChild<QTableWidget*>(QStringLiteral("crosstalkTable")); }
    void setCell(int r, int c, const char* text) { table()->item(r, c)->setText(QString::fromLatin1(text)); }
    bool waitIdle() { return waitUntil([this] { return !Access::calcBusy(w); }); }
    void activate(const DatasetEntry& entry)
    {
        for (size_t i = 0; i < Access::entries(w).size(); ++i) {
            if (Access::entries(w)[i].get() == &entry)
                Access::activate(w, static_cast<int>(i));
        }
    }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    int files = 0;
    MainWindow w;
};

TEST_F(MainWindowCalculationsTest, CrosstalkForTheShownAndForAllDatasetsWithTheSameChannels)
{
    DatasetEntry& same = open(fluorescence(2));
    DatasetEntry& three = open(fluorescence(3));
    DatasetEntry& shown = open(fluorescence(2));
    ASSERT_EQ(table()->rowCount(), 2);
    ASSERT_TRUE(button("compensateCrosstalkButton")->isEnabled());
    setCell(0, 1, "0.1");
    setCell(1, 0, "0.2");
    const arma::mat typed = {{1, 0.1}, {0.2, 1}};

    button("compensateCrosstalkButton")->click();
    EXPECT_FALSE(button("compensateCrosstalkButton")->isEnabled());
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(button("compensateCrosstalkButton")->isEnabled());
    ASSERT_TRUE(shown.reader->isComputedFeature("fl1_max_ctc"));
    EXPECT_NEAR_REL(shown.reader->getFeature("fl1_max_ctc")[0], 89.79591836734694, 1e-14);
    EXPECT_NEAR_REL(shown.reader->getFeature("fl2_max_ctc")[3], 202.0408163265306, 1e-14);
    EXPECT_TRUE(shown.ctcApplied);
    EXPECT_EQ(shown.ctcChannels, (std::vector<int>{1, 2}));
    EXPECT_TRUE(arma::approx_equal(shown.spilloverMatrix, typed, "absdiff", 0.0));
    EXPECT_FALSE(same.ctcApplied);
    EXPECT_FALSE(same.reader->hasFeature("fl1_max_ctc"));
    EXPECT_EQ(Access::statusText(w), QStringLiteral("Crosstalk compensation done for 1 of 1 dataset(s)."));
    // The new columns are offered at once.
    EXPECT_GE(Access::combo(w, "colorFeatureCombo")->findData(QStringLiteral("fl2_max_ctc")), 0);

    check("crosstalkApplyToAll")->setChecked(true);
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(same.ctcApplied);
    EXPECT_TRUE(same.reader->isComputedFeature("fl2_max_ctc"));
    EXPECT_FALSE(three.ctcApplied);
    EXPECT_FALSE(three.reader->hasFeature("fl1_max_ctc"));
    EXPECT_EQ(Access::statusText(w), QStringLiteral("Crosstalk compensation done for 2 of 2 dataset(s)."));
    EXPECT_TRUE(env.prompts->calls().empty());
}

TEST_F(MainWindowCalculationsTest, TheFeatureTableOfTheCurrentEventListsTheNewColumns)
{
    // Catches the event's feature table staying without the computed columns until another
    // event was chosen.
    open(fluorescence(2));
    setCell(0, 1, "0.1");
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitIdle());
    const QTableWidget* table = Access::eventTable(w);
    QString value;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->toolTip() == QStringLiteral("fl1_max_ctc"))
            value = table->item(row, 1)->text();
    }
    EXPECT_EQ(value, QStringLiteral("88")); // (110, 220) through the inverse of [[1, 0.1], [0, 1]]
}

TEST_F(MainWindowCalculationsTest, ASingularMatrixKeepsEarlierColumnsAndSaysWhyInTheStatusLine)
{
    DatasetEntry& shown = open(fluorescence(2));
    setCell(0, 1, "0.5");
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitIdle());
    const std::vector<double> earlier = shown.reader->getFeature("fl1_max_ctc");
    const arma::mat earlierMatrix = shown.spilloverMatrix;

    setCell(0, 1, "1");
    setCell(1, 0, "1");
    ExpectQtWarnings expected;
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(shown.reader->getFeature("fl1_max_ctc"), earlier);
    EXPECT_TRUE(shown.ctcApplied);
    EXPECT_TRUE(arma::approx_equal(shown.spilloverMatrix, earlierMatrix, "absdiff", 0.0));
    EXPECT_TRUE(button("compensateCrosstalkButton")->isEnabled());
    EXPECT_EQ(Access::statusText(w),
              QStringLiteral("Crosstalk compensation done for 0 of 1 dataset(s). m0.rtdc: spillover matrix is singular."));
    EXPECT_EQ(expected.count(), 1);
    EXPECT_EQ(expected.lastMessage(), "Crosstalk compensation of m0.rtdc stored nothing: spillover matrix is singular");
    EXPECT_TRUE(env.prompts->calls().empty()); // never a box
}

TEST_F(MainWindowCalculationsTest, AFinishedRunRefitsThePlotOnceWhenItShowsANewColumn)
{
    open(fluorescence(2));
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(Access::selectKey(Access::combo(w, "xFeatureCombo"), QStringLiteral("fl1_max_ctc")));
    ScatterPlot* plot = Access::scatterPlot(w);
    const auto zoom = [plot] { plot->setAxisScale(QwtPlot::xBottom, -500, 500); };
    const auto zoomKept = [plot] {
        return !plot->axisAutoScale(QwtPlot::xBottom) && plot->axisScaleDiv(QwtPlot::xBottom).lowerBound() == -500;
    };
    zoom();
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(plot->axisAutoScale(QwtPlot::xBottom));
    zoom();
    Access::updatePlot(w);
    EXPECT_TRUE(zoomKept());
}

TEST_F(MainWindowCalculationsTest, ARequestWhileOneRunsStartsNothingAndSaysSo)
{
    DatasetEntry& shown = open(fluorescence(2));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    w.runBackgroundCalculation([released] { released.wait_for(std::chrono::seconds(20)); }, [] {});
    button("compensateCrosstalkButton")->click();
    dock()->computeEmodulus();
    ASSERT_EQ(env.prompts->count(ScriptedPrompts::Kind::Message), 2);
    EXPECT_EQ(env.prompts->countTitled(QStringLiteral("Crosstalk Compensation")), 1);
    EXPECT_EQ(env.prompts->countTitled(QStringLiteral("Young's Modulus")), 1);
    release.set_value();
    ASSERT_TRUE(waitIdle());
    waitUntil([] { return false; }, 50);
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_FALSE(shown.ctcApplied);
    EXPECT_FALSE(shown.reader->hasFeature("fl1_max_ctc"));
}

TEST_F(MainWindowCalculationsTest, CancelStopsTheDatasetInWorkAndTheRest)
{
    DatasetEntry& first = open(fluorescence(2, 300));
    DatasetEntry& second = open(fluorescence(2, 300));
    DatasetEntry& third = open(fluorescence(2, 300));
    activate(first);
    check("crosstalkApplyToAll")->setChecked(true);

    // Hold the worker at the start of the second dataset until the test has clicked Cancel.
    std::atomic<int> starts{0};
    std::atomic<bool> holding{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    QObject::connect(Access::flCompensation(w), &FLCompensation::progressChanged, Access::flCompensation(w),
                     [&](int percent) {
                         if (percent == 0 && ++starts == 2) {
                             holding = true;
                             released.wait_for(std::chrono::seconds(20));
                         }
                     },
                     Qt::DirectConnection);
    button("compensateCrosstalkButton")->click();
    ASSERT_TRUE(waitUntil([&] { return holding.load(); }));
    QPushButton* cancel = button("cancelCalculationButton");
    ASSERT_TRUE(cancel->isVisibleTo(dock()));
    cancel->click();
    release.set_value();
    ASSERT_TRUE(waitIdle());

    EXPECT_TRUE(first.ctcApplied);
    EXPECT_TRUE(first.reader->isComputedFeature("fl1_max_ctc"));
    for (const DatasetEntry* entry : {&second, &third}) {
        EXPECT_FALSE(entry->ctcApplied);
        EXPECT_FALSE(entry->reader->hasFeature("fl1_max_ctc"));
        EXPECT_FALSE(entry->reader->hasFeature("fl2_max_ctc"));
    }
    EXPECT_EQ(starts, 2);
    EXPECT_TRUE(button("compensateCrosstalkButton")->isEnabled());
    EXPECT_FALSE(cancel->isVisibleTo(dock()));
    EXPECT_EQ(Access::statusText(w), QStringLiteral("Crosstalk compensation done for 1 of 3 dataset(s), cancelled."));
}

TEST_F(MainWindowCalculationsTest, EmodulusForTheShownDatasetAndForAllThatQualify)
{
    DatasetEntry& reservoir = open(mappable({{"setup:chip region", "reservoir"}}));
    Measurement noArea = mappable();
    noArea.columns.erase("area_um");
    DatasetEntry& withoutArea = open(noArea);
    DatasetEntry& other = open(mappable({{"setup:channel width", "40"}}));
    DatasetEntry& shown = open(mappable());
    EXPECT_FALSE(button("assessQualityButton")->isEnabled());
    // The medium "other" takes the viscosity typed under Manual: the table's own.
    dock()->findChild<QDoubleSpinBox*>(QStringLiteral("viscositySpin"))->setValue(1.002);

    ASSERT_TRUE(button("computeEmodulusButton")->isEnabled());
    button("computeEmodulusButton")->click();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(shown.emodApplied);
    const std::vector<double>& moduli = shown.reader->getFeature("emodulus");
    ASSERT_EQ(moduli.size(), 7u);
    EXPECT_NEAR(moduli[3], 5.3, 1e-9);
    EXPECT_TRUE(button("assessQualityButton")->isEnabled());
    EXPECT_FALSE(other.emodApplied);

    check("emodulusApplyToAll")->setChecked(true);
    button("computeEmodulusButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(other.emodApplied);
    // A channel twice as wide: areas count a quarter, moduli an eighth.
    EXPECT_NEAR(other.reader->getFeature("emodulus")[0], (0.1 * 12.5 + 10 * 0.0) / 8, 1e-3);
    EXPECT_FALSE(reservoir.emodApplied);
    EXPECT_FALSE(reservoir.reader->hasFeature("emodulus"));
    EXPECT_FALSE(withoutArea.emodApplied);
    EXPECT_EQ(Access::statusText(w), QStringLiteral("Young's modulus done for 2 of 2 dataset(s)."));
}

TEST_F(MainWindowCalculationsTest, EmodulusWithoutAnyQualifyingDataset)
{
    DatasetEntry& reservoir = open(mappable({{"setup:chip region", "reservoir"}}));
    EXPECT_FALSE(button("computeEmodulusButton")->isEnabled());

    // Single mode on a reservoir measurement (the button enabled again by a finished run):
    // nothing runs and the button goes off.
    button("computeEmodulusButton")->setEnabled(true);
    dock()->computeEmodulus();
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_FALSE(button("computeEmodulusButton")->isEnabled());

    // Apply-to-all without a job still runs: the bar shows, the button comes back.
    check("emodulusApplyToAll")->setChecked(true);
    dock()->computeEmodulus();
    EXPECT_TRUE(Access::calcBusy(w));
    EXPECT_TRUE(dock()->progressBar()->isVisibleTo(dock()));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(button("computeEmodulusButton")->isEnabled());
    EXPECT_FALSE(reservoir.reader->hasFeature("emodulus"));
    EXPECT_EQ(Access::statusText(w), QStringLiteral("Young's modulus: no dataset qualified."));
}

TEST_F(MainWindowCalculationsTest, ADatasetWithNoEventInTheTableSaysSo)
{
    Measurement outside = mappable();
    outside.columns["area_um"].assign(7, 500.0);
    DatasetEntry& shown = open(outside);
    ExpectQtWarnings expected;
    button("computeEmodulusButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(shown.emodApplied);
    EXPECT_TRUE(Access::statusText(w).contains(QStringLiteral("no event lies inside the look-up table")))
        << Access::statusText(w).toStdString();
    EXPECT_EQ(expected.count(), 1);
    EXPECT_TRUE(env.prompts->calls().empty());
}

TEST_F(MainWindowCalculationsTest, TheAssessmentTakesTheFilteredEventsWithoutModulusRules)
{
    DatasetEntry& shown = open(mappable());
    dock()->findChild<QDoubleSpinBox*>(QStringLiteral("viscositySpin"))->setValue(1.002);
    button("computeEmodulusButton")->click();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(shown.emodApplied);

    FilterRule onModulus;
    onModulus.featureName = "emodulus";
    onModulus.minValue = 100;
    onModulus.maxValue = 200; // would pass no event
    FilterRule onDeform;
    onDeform.featureName = "deform";
    onDeform.minValue = 0.0;
    onDeform.maxValue = 0.06; // the first five events (the stored values hold the pixelation offset)
    shown.filter.addRule(onModulus);
    shown.filter.addRule(onDeform);

    const auto assess = [this] {
        button("assessQualityButton")->click();
        QList<EModQualityDialog*> dialogs = w.findChildren<EModQualityDialog*>();
        EXPECT_EQ(dialogs.size(), 1);
        QString mapped;
        if (!dialogs.isEmpty()) {
            for (const QLabel* label : dialogs.front()->findChildren<QLabel*>()) {
                if (label->text().contains(QStringLiteral("<b>Mapped:</b>")))
                    mapped = label->text().section(QStringLiteral("</b> "), 1);
            }
            EXPECT_TRUE(dialogs.front()->isVisible());
            EXPECT_TRUE(dialogs.front()->testAttribute(Qt::WA_DeleteOnClose));
            delete dialogs.front();
        }
        return mapped;
    };
    EXPECT_EQ(assess(), QStringLiteral("5 (100.0%)"));
    check("useFilteredData")->setChecked(false);
    EXPECT_EQ(assess(), QStringLiteral("7 (100.0%)"));
    check("useFilteredData")->setChecked(true);
    shown.filter.setEnabled(false);
    EXPECT_EQ(assess(), QStringLiteral("7 (100.0%)"));
}

TEST_F(MainWindowCalculationsTest, RestoredCompensationIsComputedOnceAndWaitsForARunningCalculation)
{
    DatasetEntry& plain = open(fluorescence(2));
    DatasetEntry& restored = open(fluorescence(2));
    DatasetEntry& later = open(fluorescence(2));
    activate(plain);
    int runs = 0;
    QObject::connect(Access::flCompensation(w), &FLCompensation::progressChanged, &w, [&runs](int percent) {
        runs += percent == 100;
    });
    for (DatasetEntry* entry : {&restored, &later}) {
        entry->ctcApplied = true;
        entry->ctcChannels = {1, 2};
        entry->spilloverMatrix = {{1, 0.1}, {0.2, 1}};
    }

    activate(restored);
    EXPECT_EQ(runs, 1);
    ASSERT_TRUE(restored.reader->isComputedFeature("fl1_max_ctc"));
    EXPECT_NEAR_REL(restored.reader->getFeature("fl1_max_ctc")[0], 89.79591836734694, 1e-14);
    EXPECT_EQ(table()->item(0, 1)->text(), QStringLiteral("0.1"));
    EXPECT_GE(Access::combo(w, "xFeatureCombo")->findData(QStringLiteral("fl1_max_ctc")), 0);
    activate(plain);
    activate(restored);
    EXPECT_EQ(runs, 1);

    // While a calculation runs, the dataset shown waits; the end of the run catches up.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    w.runBackgroundCalculation([released] { released.wait_for(std::chrono::seconds(20)); }, [] {});
    activate(later);
    EXPECT_FALSE(later.reader->hasFeature("fl1_max_ctc"));
    EXPECT_EQ(table()->item(1, 0)->text(), QStringLiteral("0.2"));
    release.set_value();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(later.reader->isComputedFeature("fl1_max_ctc"));
    EXPECT_EQ(runs, 2);
    EXPECT_GE(Access::combo(w, "xFeatureCombo")->findData(QStringLiteral("fl2_max_ctc")), 0);

    // A stored state for other channels neither fills the table nor computes anything.
    DatasetEntry& mismatched = open(fluorescence(3));
    mismatched.ctcApplied = true;
    mismatched.ctcChannels = {1, 2};
    mismatched.spilloverMatrix = {{1, 0.1}, {0.2, 1}};
    activate(plain);
    activate(mismatched);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(table()->item(0, 1)->text(), QStringLiteral("0.0"));
}

TEST_F(MainWindowCalculationsTest, ChannelsInNumericOrder)
{
    Measurement m = smallMeasurement();
    m.columns["fl10_max"] = std::vector<double>(6, 1.0);
    m.columns["fl2_max"] = std::vector<double>(6, 2.0);
    m.columns["fl2_max_ctc"] = std::vector<double>(6, 2.0);
    const DatasetEntry& entry = open(m);
    EXPECT_EQ(MainWindow::fluorescenceChannels(entry.reader.get()), (std::vector<int>{2, 10}));
    EXPECT_EQ(table()->horizontalHeaderItem(0)->text(), QStringLiteral("FL-2"));
    EXPECT_TRUE(MainWindow::fluorescenceChannels(nullptr).empty());
}

} // namespace
