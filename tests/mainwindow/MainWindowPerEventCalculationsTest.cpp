// The per-event calculation requests of the main window (fluorescence refinement, Fourier
// deformation, image features) on tiny measurements with traces, images and masks that the
// test writes: the datasets chosen, the flags, the "Dataset k of N" progress of apply-to-all
// runs, the warnings, and the background re-run of a restored refinement.
#include "HeldCalculation.h"
#include "MainWindowTestAccess.h"
#include "PerEventMeasurement.h"

#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "core/RTDCReader.h"
#include "core/TraceProcessing.h"

#include "support/TestSupport.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cmath>
#include <future>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

constexpr std::size_t events = 6;
constexpr hsize_t samples = perEventSamples;
using Content = PerEventContent;

void writeMeasurementFile(const std::string& path, const Content& content)
{
    writePerEventMeasurement(path, content, events);
}

class MainWindowPerEventCalculationsTest : public ::testing::Test
{
protected:
    DatasetEntry& open(const Content& content = Content())
    {
        const QString path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++));
        writeMeasurementFile(path.toStdString(), content);
        Access::addDataset(w, path);
        EXPECT_TRUE(waitForCaching(w));
        return Access::entry(w, Access::entries(w).size() - 1);
    }
    CalculationsDockWidget* dock() { return w.calcDock(); }
    QPushButton* button(const char* name) { return dock()->findChild<QPushButton*>(QLatin1String(name)); }
    QCheckBox* check(const char* name) { return dock()->findChild<QCheckBox*>(QLatin1String(name)); }
    bool waitIdle() { return waitUntil([this] { return !Access::calcBusy(w); }); }
    void activate(const DatasetEntry& entry)
    {
        for (size_t i = 0; i < Access::entries(w).size(); ++i) {
            if (Access::entries(w)[i].get() == &entry)
                Access::activate(w, static_cast<int>(i));
        }
    }
    QString format() { return dock()->progressBar()->format(); }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    int files = 0;
    MainWindow w;
};

TEST_F(MainWindowPerEventCalculationsTest, RefinementOfTheShownAndOfAllDatasetsWithTraces)
{
    DatasetEntry& without = open({false, true, true});
    DatasetEntry& other = open();
    DatasetEntry& shown = open();
    ASSERT_TRUE(button("refineFluorescenceButton")->isEnabled());
    button("refineFluorescenceButton")->click();
    EXPECT_FALSE(button("refineFluorescenceButton")->isEnabled());
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(button("refineFluorescenceButton")->isEnabled());
    EXPECT_TRUE(shown.flRefinementApplied);
    // With the page's filters (the defaults): the smoothed triangle's top at sample 30.
    std::vector<float> trace(samples);
    for (hsize_t k = 0; k < samples; ++k)
        trace[k] = static_cast<float>(std::max(0.0, 200.0 - 40.0 * std::fabs(static_cast<double>(k) - 30.0)));
    applyTraceProcessing(trace, TraceFilterSettings());
    EXPECT_EQ(shown.reader->getFeature("fl2_max_rf"), std::vector<double>(events, trace[30]));
    EXPECT_EQ(shown.reader->getFeature("fl1_pos_rf"), std::vector<double>(events, 30.0));
    EXPECT_FALSE(other.flRefinementApplied);
    EXPECT_EQ(format(), QStringLiteral("%p%"));
    EXPECT_GE(Access::combo(w, "yFeatureCombo")->findData(QStringLiteral("fl1_width_rf")), 0);

    check("refinementApplyToAll")->setChecked(true);
    button("refineFluorescenceButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(other.flRefinementApplied);
    EXPECT_FALSE(without.flRefinementApplied);
    EXPECT_FALSE(without.reader->hasFeature("fl1_max_rf"));
    EXPECT_EQ(Access::statusText(w), QStringLiteral("Fluorescence refinement done for 2 of 2 dataset(s)."));
}

TEST_F(MainWindowPerEventCalculationsTest, ApplyToAllShowsWhichDatasetIsInWork)
{
    open({false, false, true});
    open({false, false, true});
    DatasetEntry& first = open({false, false, true});
    open({false, false, false}); // no masks: left out
    activate(first);
    check("fourierApplyToAll")->setChecked(true);

    // Hold the worker at the start of each dataset and look at the bar while it waits.
    std::atomic<int> starts{0};
    std::atomic<int> released{0};
    // (Bounded, so that a failing check cannot leave the worker waiting forever.)
    const QMetaObject::Connection hold = QObject::connect(
        Access::fourierDeform(w), &FourierDeform::progressChanged, Access::fourierDeform(w),
        [&](int percent) {
            if (percent != 0)
                return;
            const int k = ++starts;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (released.load() < k && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
        },
        Qt::DirectConnection);
    button("computeFourierDeformButton")->click();
    for (int k = 1; k <= 3; ++k) {
        ASSERT_TRUE(waitUntil([&] { return starts.load() == k; }));
        const QString expected = QStringLiteral("Dataset %1 of 3 — %p%").arg(k);
        EXPECT_TRUE(waitUntil([&] { return format() == expected; })) << format().toStdString();
        released = k;
    }
    ASSERT_TRUE(waitIdle());
    QObject::disconnect(hold);
    EXPECT_EQ(format(), QStringLiteral("Dataset 3 of 3 — %p%")); // not reset at the end
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(Access::entry(w, i).fourierApplied);
        EXPECT_TRUE(Access::entry(w, i).reader->isComputedFeature("deform_fc"));
    }
    EXPECT_FALSE(Access::entry(w, 3).fourierApplied);

    // One qualifying dataset in apply-to-all mode: "1 of 1"; apply-to-all off: "%p%".
    check("imageFeaturesApplyToAll")->setChecked(true);
    DatasetEntry& images = open();
    button("computeImageFeaturesButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(format(), QStringLiteral("Dataset 1 of 1 — %p%"));
    EXPECT_TRUE(images.reader->isComputedFeature("bright_median"));
    check("fourierApplyToAll")->setChecked(false);
    button("computeFourierDeformButton")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(format(), QStringLiteral("%p%"));
    EXPECT_TRUE(images.fourierApplied);
}

TEST_F(MainWindowPerEventCalculationsTest, WarningsWhenNothingQualifies)
{
    DatasetEntry& bare = open({false, false, false});
    const struct
    {
        const char* button;
        const char* applyToAll;
        bool all;
        const char* title;
        const char* text;
    } cases[] = {
        {"computeFourierDeformButton", "fourierApplyToAll", false, "Fourier Deformation",
         "This dataset has no segmentation masks."},
        {"computeFourierDeformButton", "fourierApplyToAll", true, "Fourier Deformation",
         "No loaded dataset has segmentation masks."},
        {"computeImageFeaturesButton", "imageFeaturesApplyToAll", false, "Image Features",
         "This dataset has no images and/or segmentation masks."},
        {"computeImageFeaturesButton", "imageFeaturesApplyToAll", true, "Image Features",
         "No loaded dataset has both images and segmentation masks."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.title) + (c.all ? ", all" : ", one"));
        env.prompts->clear();
        check(c.applyToAll)->setChecked(c.all);
        button(c.button)->setEnabled(true); // as after a finished run on another dataset
        button(c.button)->click();
        ASSERT_EQ(env.prompts->calls().size(), 1u);
        EXPECT_EQ(env.prompts->last()->title, QString::fromUtf8(c.title));
        EXPECT_EQ(env.prompts->last()->text, QString::fromUtf8(c.text));
        EXPECT_EQ(env.prompts->last()->icon, Prompts::Icon::Warning);
        EXPECT_FALSE(Access::calcBusy(w));
        EXPECT_TRUE(button(c.button)->isEnabled());
    }
    EXPECT_FALSE(bare.fourierApplied);
}

TEST_F(MainWindowPerEventCalculationsTest, ARestoredRefinementRunsOnceInTheBackgroundThenTheCompensation)
{
    DatasetEntry& plain = open();
    DatasetEntry& restored = open();
    DatasetEntry& later = open();
    activate(plain);
    int refinements = 0;
    QObject::connect(Access::flRefinement(w), &FLRefinement::progressChanged, &w,
                     [&refinements](int p) { refinements += p == 100; });
    for (DatasetEntry* entry : {&restored, &later}) {
        entry->flRefinementApplied = true;
        entry->ctcApplied = true;
        entry->ctcChannels = {1, 2};
        entry->spilloverMatrix = arma::eye(2, 2);
        entry->xFeatureName = "fl1_max_rf"; // saved by the session, exists once refined
    }

    activate(restored);
    EXPECT_TRUE(Access::calcBusy(w)); // a background run with progress, not a frozen window
    EXPECT_TRUE(dock()->progressBar()->isVisibleTo(dock()));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(refinements, 1);
    ASSERT_TRUE(restored.reader->isComputedFeature("fl1_max_rf"));
    // The compensation read the refined maxima, not the instrument's (100 and 200).
    EXPECT_EQ(restored.reader->getFeature("fl2_max_ctc"), restored.reader->getFeature("fl2_max_rf"));
    EXPECT_EQ(Access::combo(w, "xFeatureCombo")->currentData().toString(), QStringLiteral("fl1_max_rf"));
    activate(plain);
    activate(restored);
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_EQ(refinements, 1);

    // Shown while another calculation runs: it waits for that run to end.
    std::promise<void> release;
    std::shared_future<void> done = release.get_future().share();
    w.runBackgroundCalculation([done] { done.wait_for(std::chrono::seconds(20)); }, [] {});
    activate(later);
    EXPECT_FALSE(later.reader->hasFeature("fl1_max_rf"));
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return later.reader->isComputedFeature("fl2_max_ctc") && !Access::calcBusy(w); }));
    EXPECT_EQ(refinements, 2);
}

// While a restored refinement runs in the background (a run the user never started), each
// calculation request and the removal of a dataset is answered with a box that says why
// nothing starts; requests used to vanish without a word.
TEST_F(MainWindowPerEventCalculationsTest, RequestsDuringARestoredRefinementAreAnsweredWithABox)
{
    DatasetEntry& plain = open();
    DatasetEntry& restored = open();
    activate(plain);
    restored.flRefinementApplied = true;
    ::Tervane3::Test::HeldCalculation held;
    activate(restored);
    ASSERT_TRUE(held.waitHeld());

    const struct
    {
        const char* button;
        const char* title;
    } requests[] = {
        {"computeEmodulusButton", "Young's Modulus"},
        {"compensateCrosstalkButton", "Crosstalk Compensation"},
        {"refineFluorescenceButton", "Fluorescence Refinement"},
        {"computeFourierDeformButton", "Fourier Deformation"},
        {"computeImageFeaturesButton", "Image Features"},
    };
    env.prompts->clear();
    for (const auto& r : requests) {
        SCOPED_TRACE(r.button);
        ASSERT_TRUE(button(r.button)->isEnabled());
        const size_t before = env.prompts->calls().size();
        button(r.button)->click();
        ASSERT_EQ(env.prompts->calls().size(), before + 1);
        EXPECT_EQ(env.prompts->last()->icon, Prompts::Icon::Warning);
        EXPECT_EQ(env.prompts->last()->title, QString::fromUtf8(r.title));
        EXPECT_TRUE(env.prompts->last()->text.startsWith(QStringLiteral("A calculation is running.")));
    }
    w.removeDataset();
    ASSERT_EQ(env.prompts->calls().size(), std::size(requests) + 1);
    EXPECT_EQ(env.prompts->last()->title, QStringLiteral("Cannot Remove"));

    held.release();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Access::entries(w).size(), 2u);
    EXPECT_TRUE(restored.reader->isComputedFeature("fl1_max_rf"));
    for (const char* column : {"emodulus", "fl1_max_ctc", "deform_fc", "bright_median"})
        EXPECT_FALSE(restored.reader->hasFeature(column)) << column;
}

} // namespace
