// Background caching and activation: one dataset cached at a time with files waiting in
// order, their count, names and column progress, each file shown once cached, a queue that
// goes on past files that fail or are open already, the completion of a session load, what a
// loading dataset shows, a dataset whose plotted columns cannot be read, and the panels of a
// loaded one.
#include "MainWindowTestAccess.h"

#include "core/FilterRule.h"
#include "core/RTDCReader.h"
#include "mainwindow/CachingHook.h"
#include "mainwindow/DatasetListWidget.h"
#include "plots/ScatterPlot.h"
#include "filters/FilterDockWidget.h"
#include "filters/RuleRowWidget.h"
#include "plots/StatisticsDockWidget.h"
#include "support/FilterRules.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

// Holds every caching task after its first column until the test releases that file, so the
// window can be looked at while a known file is being cached. Made before the window, so
// that the window (which waits for its task) goes first; release what is held before that.
class HeldCaching
{
public:
    HeldCaching()
    {
        setCachingHook([this](const std::string& path, std::size_t done, std::size_t) {
            if (done != 1)
                return;
            std::unique_lock<std::mutex> lock(mutex);
            held = path;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(20), [&] { return everything || released.count(path) > 0; });
            held.clear();
        });
    }
    ~HeldCaching()
    {
        releaseAll();
        setCachingHook(nullptr);
    }
    HeldCaching(const HeldCaching&) = delete;
    HeldCaching& operator=(const HeldCaching&) = delete;

    // True once the task of the file waits in the hook (the event loop runs meanwhile).
    bool waitHeld(const QString& path)
    {
        return waitUntil([&] {
            std::lock_guard<std::mutex> lock(mutex);
            return held == path.toStdString();
        });
    }
    void release(const QString& path)
    {
        std::lock_guard<std::mutex> lock(mutex);
        released.insert(path.toStdString());
        changed.notify_all();
    }
    void releaseAll()
    {
        std::lock_guard<std::mutex> lock(mutex);
        everything = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::string held;
    std::set<std::string> released;
    bool everything = false;
};

struct Step
{
    size_t datasets;
    int active;
    int caching;
};

TEST(MainWindowCachingTest, FilesOpenedWhileCachingWaitAndFollowInOrder)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    QStringList paths;
    for (const char* name : {"a-first.rtdc", "b-second.rtdc", "c-third.rtdc", "d-fourth.rtdc"}) {
        paths << dir.filePath(name);
        writeMeasurement(paths.back().toStdString(), smallMeasurement());
    }
    MainWindow w;
    // After each caching task: how many datasets exist, which is active, which is cached.
    std::vector<Step> steps;
    QObject::connect(Access::preloadWatcher(w), &QFutureWatcher<void>::finished, &w, [&] {
        steps.push_back({w.datasets().size(), Access::activeIndex(w), Access::preloadIndex(w)});
    });

    Access::addDataset(w, paths[0]);
    ASSERT_TRUE(Access::preloadBusy(w));
    // Chosen in one dialog while the first is cached.
    env.prompts->answerFiles({paths[3], paths[1], paths[2]});
    w.openFile();
    EXPECT_EQ(w.datasets().size(), 1u);
    EXPECT_EQ(Access::pendingPaths(w), 3u);

    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(w.datasets().size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(QString::fromStdString(w.datasets()[i]->filePath), paths[i]);
        EXPECT_TRUE(w.datasets()[i]->featuresLoaded);
    }
    // Each file was added only when the previous caching had ended and was the one cached
    // next; the one just cached was shown meanwhile (it became active when its caching ended).
    ASSERT_EQ(steps.size(), 4u);
    for (size_t k = 0; k + 1 < steps.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(steps[k].datasets, k + 2);
        EXPECT_EQ(steps[k].active, static_cast<int>(k));
        EXPECT_EQ(steps[k].caching, static_cast<int>(k + 1));
    }
    EXPECT_EQ(Access::activeIndex(w), 3);
    EXPECT_TRUE(Access::infoLabel(w)->text().startsWith(QStringLiteral("Loaded: d-fourth.rtdc")));
}

// Catches a stalled queue: a waiting file that fails to open, or that is open already, starts
// no caching task, and the files behind it used to wait for a task that never came.
TEST(MainWindowCachingTest, QueueGoesOnPastFailedAndOpenFiles)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    const QString first = dir.filePath("first.rtdc");
    const QString broken = dir.filePath("broken.rtdc");
    const QString last = dir.filePath("last.rtdc");
    const QString first2 = dir.filePath("after.rtdc");
    writeMeasurement(first.toStdString(), smallMeasurement());
    writeMeasurement(last.toStdString(), smallMeasurement());
    writeMeasurement(first2.toStdString(), smallMeasurement());
    writeNonHdf5File(broken.toStdString());

    MainWindow w;
    // The two files that fail are named in the log.
    ExpectQtWarnings logged;
    Access::addDataset(w, first);
    Access::addDataset(w, broken);
    Access::addDataset(w, last);
    // Open by the time its turn comes: only selected.
    Access::addDataset(w, last);
    Access::addDataset(w, dir.filePath("missing.rtdc"));
    Access::addDataset(w, first2);
    EXPECT_EQ(Access::pendingPaths(w), 5u);
    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(w.datasets().size(), 3u);
    EXPECT_EQ(QString::fromStdString(w.datasets()[1]->filePath), last);
    EXPECT_EQ(QString::fromStdString(w.datasets()[2]->filePath), first2);
    EXPECT_TRUE(w.datasets()[2]->featuresLoaded);
    EXPECT_EQ(w.activeDatasetId(), w.datasets()[2]->id);
    EXPECT_EQ(env.prompts->countTitled(QStringLiteral("Error")), 2);
}

// Catches a session load that never completed when one of its files failed to open.
TEST(MainWindowCachingTest, SessionLoadCompletesAfterAFailedFile)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    const QString first = dir.filePath("first.rtdc");
    const QString broken = dir.filePath("broken.rtdc");
    const QString third = dir.filePath("third.rtdc");
    writeMeasurement(first.toStdString(), smallMeasurement());
    writeMeasurement(third.toStdString(), smallMeasurement());
    writeNonHdf5File(broken.toStdString());

    MainWindow w;
    ExpectQtWarnings logged;
    Access::sessionLoading(w) = true;
    Access::sessionQueue(w).push({1, broken});
    Access::sessionQueue(w).push({2, third});
    Access::addDataset(w, first);
    ASSERT_TRUE(waitUntil([&] { return !Access::sessionLoading(w); }));
    ASSERT_EQ(w.datasets().size(), 2u);
    // The session's datasets come first, a file opened meanwhile after them; without a
    // saved state the session dataset keeps its file name. The load's ids are dropped.
    EXPECT_EQ(w.datasets()[0]->displayName, QStringLiteral("third.rtdc"));
    EXPECT_EQ(w.datasets()[1]->filePath, first.toStdString());
    EXPECT_TRUE(Access::sessionIds(w).empty());
    EXPECT_TRUE(Access::sessionQueue(w).empty());
    ASSERT_TRUE(waitForCaching(w));
}

TEST(MainWindowCachingTest, LoadingDatasetShowsEmptyDisabledViews)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    Measurement named = smallMeasurement();
    named.attributes["experiment:sample"] = "Donor 7";
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), named);

    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    ScatterPlot* plot = Access::scatterPlot(w);
    ASSERT_GT(plot->pointCount(), 0);

    Access::addDataset(w, dir.filePath("b.rtdc"));
    // Still caching: the new dataset is active and shown as loading.
    EXPECT_EQ(Access::activeIndex(w), 1);
    EXPECT_EQ(Access::infoLabel(w)->text(), QStringLiteral("Loading: Donor 7..."));
    EXPECT_FALSE(Access::combo(w, "xFeatureCombo")->isEnabled());
    EXPECT_FALSE(Access::eventSpin(w)->isEnabled());
    auto* name = w.findChild<QLineEdit*>(QStringLiteral("datasetNameEdit"));
    EXPECT_FALSE(name->isEnabled());
    EXPECT_EQ(name->text(), QStringLiteral("Donor 7"));
    EXPECT_EQ(plot->pointCount(), 0);

    ASSERT_TRUE(waitForCaching(w));
    EXPECT_TRUE(Access::combo(w, "xFeatureCombo")->isEnabled());
    EXPECT_TRUE(name->isEnabled());
    EXPECT_EQ(plot->pointCount(), 6);
    EXPECT_TRUE(Access::infoLabel(w)->text().startsWith(QStringLiteral("Loaded: Donor 7 (")));
}

// Catches views drawn for a dataset that is still being cached: the scale and contour
// controls stay enabled while it loads, and changing them used to plot its points (with the
// previous dataset's features), its gates and the previous dataset's contour lines.
TEST(MainWindowCachingTest, ControlsChangedWhileLoadingDrawNothing)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), smallMeasurement());

    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    // A gate shared by every dataset (it carries a propagation id) and contour lines.
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{0, 0}, {100, 0}, {100, 1}};
    gate.propagationId = "shared-gate";
    Access::entry(w, 0).filter.addRule(gate);
    Access::combo(w, "contourModeCombo")->setCurrentIndex(1);
    Access::updatePlot(w);
    ScatterPlot* plot = Access::scatterPlot(w);
    ASSERT_EQ(plot->pointCount(), 6);
    ASSERT_EQ(plot->filterPolygonItems().size(), 1u);
    ASSERT_FALSE(plot->contourCurves().empty());

    // b takes the gate over and is shown as loading until the event loop reports its end.
    Access::addDataset(w, dir.filePath("b.rtdc"));
    ASSERT_EQ(Access::activeIndex(w), 1);
    ASSERT_FALSE(Access::entry(w, 1).featuresLoaded);
    ASSERT_EQ(Access::entry(w, 1).filter.ruleCount(), 1u);
    EXPECT_EQ(plot->pointCount(), 0);
    EXPECT_TRUE(plot->filterPolygonItems().empty());
    EXPECT_TRUE(plot->contourCurves().empty());

    Access::combo(w, "xScaleCombo")->setCurrentIndex(2);
    Access::innerSpin(w)->setValue(20);
    w.findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"))->setChecked(true);
    EXPECT_EQ(plot->pointCount(), 0);
    EXPECT_TRUE(plot->filterPolygonItems().empty());
    EXPECT_TRUE(plot->contourCurves().empty());
    EXPECT_TRUE(plot->isoCurves().empty());
    EXPECT_EQ(Access::infoLabel(w)->text(), QStringLiteral("Loading: b.rtdc..."));
    EXPECT_EQ(env.prompts->calls().size(), 0u);

    // Once cached, b is shown with its gate.
    ASSERT_TRUE(waitForCaching(w));
    EXPECT_EQ(plot->pointCount(), 6);
    EXPECT_EQ(plot->filterPolygonItems().size(), 1u);
}

TEST(MainWindowCachingTest, ActivationBringsBackTheStoredView)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), smallMeasurement());
    Measurement empty;
    empty.columns["area_um"] = {};
    empty.columns["deform"] = {};
    writeMeasurement(dir.filePath("empty.rtdc").toStdString(), empty);

    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    Access::addDataset(w, dir.filePath("b.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    Access::addDataset(w, dir.filePath("empty.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    // A dataset with no events: the event spin box is disabled at 0.
    EXPECT_FALSE(Access::eventSpin(w)->isEnabled());
    EXPECT_EQ(Access::eventSpin(w)->value(), 0);

    DatasetEntry& a = Access::entry(w, 0);
    a.xFeatureName = "bright_avg";
    a.yFeatureName = "area_um";
    a.colorFeatureName = "deform";
    a.scaleXMode = 1;
    a.scaleYMode = 2;
    a.contourMode = 1;
    a.contourFraction1 = 0.25;
    a.contourFraction2 = 0.75;
    a.currentEventIndex = 4;
    Access::activate(w, 0);

    EXPECT_EQ(Access::combo(w, "xFeatureCombo")->currentData().toString(), QStringLiteral("bright_avg"));
    EXPECT_EQ(Access::combo(w, "yFeatureCombo")->currentData().toString(), QStringLiteral("area_um"));
    EXPECT_EQ(Access::combo(w, "colorFeatureCombo")->currentData().toString(), QStringLiteral("deform"));
    EXPECT_EQ(Access::combo(w, "xScaleCombo")->currentIndex(), 1);
    EXPECT_EQ(Access::combo(w, "yScaleCombo")->currentIndex(), 2);
    ScatterPlot* plot = Access::scatterPlot(w);
    EXPECT_EQ(plot->axisScaleMode(QwtPlot::xBottom), 1);
    EXPECT_EQ(plot->axisScaleMode(QwtPlot::yLeft), 2);
    EXPECT_EQ(Access::combo(w, "contourModeCombo")->currentIndex(), 1);
    EXPECT_DOUBLE_EQ(Access::innerSpin(w)->value(), 25.0);
    EXPECT_DOUBLE_EQ(Access::outerSpin(w)->value(), 75.0);
    // The plot was updated after the widgets were set: brightness against area, coloured.
    EXPECT_EQ(plot->plottedX(), (std::vector<double>{100, 110, 120, 130, 140, 150}));
    EXPECT_TRUE(plot->isColored());
    EXPECT_FALSE(plot->contourCurves().empty());
    // The current event is highlighted at its plotted position.
    EXPECT_EQ(Access::eventSpin(w)->value(), 4);
    EXPECT_EQ(plot->highlightedPoint(), 4);

    // Activating the active dataset again does nothing: no save of the widgets.
    Access::combo(w, "contourModeCombo")->setCurrentIndex(0);
    Access::activate(w, 0);
    EXPECT_EQ(Access::entry(w, 0).contourMode, 1);

    // A stored event beyond the event count is shown at 0 and corrected in the entry.
    Access::entry(w, 1).currentEventIndex = 99;
    Access::activate(w, 1);
    EXPECT_EQ(Access::eventSpin(w)->value(), 0);
    EXPECT_EQ(Access::entry(w, 1).currentEventIndex, 0);
    // Leaving a stored the widgets into it.
    EXPECT_EQ(Access::entry(w, 0).contourMode, 0);
    EXPECT_EQ(Access::entry(w, 0).xFeatureName, "bright_avg");
}

TEST(MainWindowCachingTest, ListRowActivatesTheDataset)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), smallMeasurement());
    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    Access::addDataset(w, dir.filePath("b.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    auto* list = w.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
    ASSERT_EQ(list->count(), 2);
    list->setCurrentRow(0);
    EXPECT_EQ(w.activeDatasetId(), w.datasets()[0]->id);
    list->setCurrentRow(1);
    EXPECT_EQ(w.activeDatasetId(), w.datasets()[1]->id);
}

TEST(MainWindowCachingTest, ClosingWaitsForTheRunningTask)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), smallMeasurement());
    auto w = std::make_unique<MainWindow>();
    Access::addDataset(*w, dir.filePath("a.rtdc"));
    Access::addDataset(*w, dir.filePath("b.rtdc"));
    ASSERT_TRUE(Access::preloadBusy(*w));
    w->close();
    EXPECT_FALSE(Access::preloadWatcher(*w)->isRunning());
    // A finish delivered after closing starts nothing new.
    QCoreApplication::processEvents();
    EXPECT_EQ(w->datasets().size(), 1u);
    w.reset();
}

// Catches a run of files whose count, waiting files and column progress the window did not
// show, and which showed every new file as loading (empty views) until the last one had been
// cached, taking the user away from a dataset chosen meanwhile each time.
TEST(MainWindowCachingTest, ARunOfFilesIsCountedListedAndShownFileByFile)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    QStringList paths;
    for (const char* name : {"a.rtdc", "b.rtdc", "c.rtdc", "d.rtdc", "e.rtdc"}) {
        paths << dir.filePath(QLatin1String(name));
        writeMeasurement(paths.back().toStdString(), smallMeasurement());
    }
    HeldCaching caching;
    MainWindow w;
    auto* loading = w.findChild<QLabel*>(QStringLiteral("loadingLabel"));
    auto* progress = w.findChild<QProgressBar*>(QStringLiteral("loadingProgress"));
    auto* waiting = w.findChild<QLabel*>(QStringLiteral("waitingFilesLabel"));
    ASSERT_TRUE(loading && progress && waiting);
    auto* list = w.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
    ScatterPlot* plot = Access::scatterPlot(w);
    const auto info = [&] { return Access::infoLabel(w)->text(); };
    const auto loadingShown = [&] {
        return loading->isVisibleTo(&w) && progress->isVisibleTo(&w);
    };
    EXPECT_FALSE(loadingShown());

    Access::addDataset(w, paths[0]);
    env.prompts->answerFiles({paths[1], paths[2], paths[3]});
    w.openFile();
    ASSERT_TRUE(caching.waitHeld(paths[0]));
    // The first file is active while it loads; the three chosen next wait, named in order.
    EXPECT_EQ(info(), QStringLiteral("Loading: a.rtdc..."));
    EXPECT_EQ(loading->text(), QStringLiteral("Loading 1 of 4: a.rtdc"));
    EXPECT_TRUE(loadingShown());
    EXPECT_TRUE(waiting->isVisibleTo(&w));
    EXPECT_EQ(waiting->text(), QStringLiteral("Waiting to open (3):\n  b.rtdc\n  c.rtdc\n  d.rtdc"));
    EXPECT_EQ(waiting->toolTip(), paths.mid(1, 3).join(QLatin1Char('\n')));
    // One of its three columns has been read.
    EXPECT_TRUE(waitUntil([&] { return progress->maximum() == 3 && progress->value() == 1; }));

    // a is shown as soon as it is cached, while b is cached behind it.
    caching.release(paths[0]);
    ASSERT_TRUE(caching.waitHeld(paths[1]));
    ASSERT_EQ(w.datasets().size(), 2u);
    EXPECT_EQ(Access::activeIndex(w), 0);
    EXPECT_EQ(plot->pointCount(), 6);
    EXPECT_TRUE(info().startsWith(QStringLiteral("Loaded: a.rtdc ("))) << info().toStdString();
    EXPECT_EQ(loading->text(), QStringLiteral("Loading 2 of 4: b.rtdc"));
    EXPECT_EQ(waiting->text(), QStringLiteral("Waiting to open (2):\n  c.rtdc\n  d.rtdc"));

    // b takes a's place once cached.
    caching.release(paths[1]);
    ASSERT_TRUE(caching.waitHeld(paths[2]));
    EXPECT_EQ(Access::activeIndex(w), 1);
    EXPECT_TRUE(info().startsWith(QStringLiteral("Loaded: b.rtdc ("))) << info().toStdString();
    EXPECT_EQ(loading->text(), QStringLiteral("Loading 3 of 4: c.rtdc"));
    EXPECT_EQ(waiting->text(), QStringLiteral("Waiting to open (1):\n  d.rtdc"));

    // The user goes back to a: the files cached later leave it on show.
    list->setCurrentRow(0);
    caching.release(paths[2]);
    caching.release(paths[3]);
    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(w.datasets().size(), 4u);
    EXPECT_EQ(Access::activeIndex(w), 0);
    EXPECT_TRUE(info().startsWith(QStringLiteral("Loaded: a.rtdc ("))) << info().toStdString();
    EXPECT_EQ(plot->pointCount(), 6);
    EXPECT_FALSE(loadingShown());
    EXPECT_FALSE(waiting->isVisibleTo(&w));

    // A file opened alone later is no run: no count.
    Access::addDataset(w, paths[4]);
    ASSERT_TRUE(caching.waitHeld(paths[4]));
    EXPECT_EQ(info(), QStringLiteral("Loading: e.rtdc..."));
    EXPECT_EQ(loading->text(), QStringLiteral("Loading: e.rtdc"));
    EXPECT_FALSE(waiting->isVisibleTo(&w));
    caching.releaseAll();
    ASSERT_TRUE(waitForCaching(w));
    EXPECT_EQ(Access::activeIndex(w), 4);
}

// Catches a dataset whose plotted column cannot be read (a damaged chunk) that kept the
// previous dataset's points, statistics and event count on show, under its own name, and
// an info line that stayed "Loading: ..." for good.
TEST(MainWindowCachingTest, AnUnreadablePlottedColumnShowsAnEmptyPlotWithTheReason)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    const std::string first = dir.filePath("first.rtdc").toStdString();
    const std::string intact = dir.filePath("intact.rtdc").toStdString();
    const std::string damaged = dir.filePath("damaged.rtdc").toStdString();
    writeMeasurement(first, tenEvents());
    {
        RtdcFixture file(intact);
        for (const auto& [name, values] : smallMeasurement().columns)
            file.addColumn(name, values, true);
        file.addStringAttribute("experiment:sample", "Damaged");
    }
    ASSERT_TRUE(copyWithDamagedFrames(intact, damaged, {{"area_um", 0}}));

    MainWindow w;
    Access::addDataset(w, QString::fromStdString(first));
    ASSERT_TRUE(waitForCaching(w));
    ScatterPlot* plot = Access::scatterPlot(w);
    auto* statistics = w.findChild<StatisticsDockWidget*>(QStringLiteral("statisticsPanel"));
    ASSERT_EQ(plot->pointCount(), 10);
    ASSERT_GT(statistics->table()->topLevelItemCount(), 0);

    Access::addDataset(w, QString::fromStdString(damaged));
    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(w.datasets().size(), 2u);
    const QString area = QString::fromStdString(w.datasets()[1]->reader->featureLabel("area_um"));
    const auto expectOwnEmptyPlot = [&] {
        EXPECT_EQ(Access::activeIndex(w), 1);
        EXPECT_EQ(Access::infoLabel(w)->text(),
                  QStringLiteral("Loaded: Damaged (6 events; failed to read feature data: %1)").arg(area));
        EXPECT_EQ(plot->pointCount(), 0);
        EXPECT_TRUE(Access::plottedEventIndices(w).empty());
        EXPECT_EQ(statistics->table()->topLevelItemCount(), 0);
        ASSERT_NE(env.prompts->last(), nullptr);
        EXPECT_EQ(env.prompts->last()->text, QStringLiteral("Failed to read feature data."));
    };
    expectOwnEmptyPlot();
    // Back and forth: each dataset shows its own.
    Access::activate(w, 0);
    EXPECT_EQ(plot->pointCount(), 10);
    EXPECT_TRUE(Access::infoLabel(w)->text().startsWith(QStringLiteral("Loaded: first.rtdc (")));
    env.prompts->clear();
    Access::activate(w, 1);
    expectOwnEmptyPlot();
}

// Catches an activation that built every rule row of the filter panel twice, once before
// the panels followed the dataset and once with them.
TEST(MainWindowCachingTest, ActivationBuildsEachRuleRowOnce)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), smallMeasurement());
    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    for (const char* feature : {"area_um", "deform", "bright_avg"})
        Access::entry(w, 0).filter.addRule(rangeRule(feature, 0, 1000));
    Access::addDataset(w, dir.filePath("b.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(Access::activeIndex(w), 1);
    // Rows taken off are deleted later: until then every row built since is a child.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Access::activate(w, 0);
    EXPECT_EQ(Access::filterPanel(w)->findChildren<RuleRowWidget*>().size(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Access::filterPanel(w)->findChildren<RuleRowWidget*>().size(), 3);
}

} // namespace
