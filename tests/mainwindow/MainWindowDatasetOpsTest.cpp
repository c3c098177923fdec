// Renaming, removing, moving and duplicating datasets in the main window, the folder view,
// and files and folders dropped onto the window: the dataset list, the positions of the
// caching bookkeeping, the views and the tool windows must all follow. Also run under
// AddressSanitizer: removing datasets while others are being cached, and closing galleries
// from inside the removal, must not touch freed memory.
#include "MainWindowTestAccess.h"

#include "core/FilterRule.h"
#include "core/Hdf5Lock.h"
#include "core/RTDCReader.h"
#include "mainwindow/DatasetLabel.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/DatasetTreeWidget.h"
#include "mainwindow/HtmlItemDelegate.h"
#include "plots/ScatterPlot.h"
#include "support/RtdcFixture.h"
#include "windows/ImageGalleryWindow.h"

#include <gtest/gtest.h>
#include <qwt_scale_div.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <mutex>

namespace Tervane3 {
namespace {

using Access = MainWindowTestAccess;

struct MeasurementSpec
{
    int events = 10;
    std::string sample;
    std::string changedName; // export section's "changed sample name"
    bool images = false;
};

// A tiny measurement: deform and area_um columns, optional names and event images.
void writeMeasurement(const QString& path, const MeasurementSpec& measurementSpec)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Tervane3::Test::RtdcFixture fixture(path.toStdString());
    std::vector<double> deform(static_cast<size_t>(measurementSpec.events));
    std::vector<double> area(static_cast<size_t>(measurementSpec.events));
    for (int i = 0; i < measurementSpec.events; ++i) {
        deform[static_cast<size_t>(i)] = 0.01 + 0.001 * i;
        area[static_cast<size_t>(i)] = 20.0 + i;
    }
    fixture.addColumn("deform", deform);
    fixture.addColumn("area_um", area);
    if (!measurementSpec.sample.empty())
        fixture.addStringAttribute("experiment:sample", measurementSpec.sample);
    if (!measurementSpec.changedName.empty())
        fixture.addStringAttribute("export:changed sample name", measurementSpec.changedName);
    if (measurementSpec.images) {
        std::vector<std::uint8_t> pixels(static_cast<size_t>(measurementSpec.events) * 4 * 5, 100);
        fixture.addFrames("image", pixels, static_cast<hsize_t>(measurementSpec.events), 4, 5);
    }
}

std::vector<int> idsOf(MainWindow& w)
{
    std::vector<int> ids;
    for (const auto& entry : Access::entries(w))
        ids.push_back(entry->id);
    return ids;
}

class MainWindowDatasetOpsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<MainWindow>();
    }
    void TearDown() override { window.reset(); }

    MainWindow& w() { return *window; }
    template<typename T>
    T* widget(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    DatasetListWidget* list() const { return widget<DatasetListWidget>("datasetList"); }
    DatasetTreeWidget* tree() const { return widget<DatasetTreeWidget>("datasetTree"); }

    QString measurement(const QString& relativePath, const MeasurementSpec& measurementSpec = {})
    {
        const QString path = dir.filePath(relativePath);
        writeMeasurement(path, measurementSpec);
        return path;
    }
    bool idle()
    {
        if (Access::preloadBusy(w()))
            return false;
        for (const auto& entry : Access::entries(w())) {
            if (!entry->featuresLoaded)
                return false;
        }
        return true;
    }
    // Opens the file as File > Open does and waits until nothing is cached any more.
    void openAndWait(const QString& path)
    {
        Access::addDataset(w(), path);
        ASSERT_TRUE(Tervane3::Test::waitUntil([this] { return idle(); }));
    }
    // Five datasets without files: ids 10 to 14 at positions 0 to 4.
    void addFiveEntries()
    {
        for (int id = 10; id < 15; ++id)
            Access::addListedEntry(w(), id);
    }
    std::vector<int> listIds() const
    {
        std::vector<int> ids;
        for (int row = 0; row < list()->count(); ++row)
            ids.push_back(list()->item(row)->data(Qt::UserRole).toInt());
        return ids;
    }
    int idAt(int position) { return position < 0 ? -1 : Access::entries(w())[static_cast<size_t>(position)]->id; }
    std::vector<int> queueIds()
    {
        std::vector<int> ids;
        for (int p : Access::queueContents(w()))
            ids.push_back(idAt(p));
        return ids;
    }

    Tervane3::Test::MainWindowEnvironment env;
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;
};

// ---- moving --------------------------------------------------------------------------------

TEST_F(MainWindowDatasetOpsTest, MovingKeepsEveryPositionWithItsDataset)
{
    struct Case
    {
        const char* name;
        int from;
        int to;
        std::vector<int> expectedIds;
    };
    const std::vector<int> unchanged{10, 11, 12, 13, 14};
    const Case cases[] = {
        {"first before the fourth: lands at position 2", 0, 3, {11, 12, 10, 13, 14}},
        {"last to the front", 4, 0, {14, 10, 11, 12, 13}},
        {"the active one down", 1, 3, {10, 12, 11, 13, 14}},
        {"the caching one up", 3, 1, {10, 13, 11, 12, 14}},
        {"to the end", 2, 5, {10, 11, 13, 14, 12}},
        {"before itself", 1, 1, unchanged},
        {"before its successor", 1, 2, unchanged},
        {"from outside the list", 5, 0, unchanged},
        {"from a negative position", -1, 2, unchanged},
        {"to beyond the end", 0, 6, unchanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window = std::make_unique<MainWindow>();
        addFiveEntries();
        list()->setCurrentRow(1); // id 11 active
        ASSERT_EQ(Access::activeIndex(w()), 1);
        Access::preloadIndex(w()) = 3; // id 13 is being cached
        Access::setQueue(w(), {4, 0, 2}); // ids 14, 10 and 12 wait, in this order
        QSignalSpy rowSpy(list(), &QListWidget::currentRowChanged);

        Access::moveDataset(w(), c.from, c.to);

        EXPECT_EQ(idsOf(w()), c.expectedIds);
        EXPECT_EQ(listIds(), c.expectedIds);
        EXPECT_EQ(idAt(Access::activeIndex(w())), 11);
        EXPECT_EQ(list()->currentRow(), Access::activeIndex(w()));
        EXPECT_EQ(idAt(Access::preloadIndex(w())), 13);
        EXPECT_EQ(queueIds(), (std::vector<int>{14, 10, 12}));
        // Ids do not change: the active dataset is not activated again.
        EXPECT_EQ(rowSpy.count(), 0);
    }
}

// Catches a zoom lost after a move: the plot update refits the axes when the active
// dataset's position differs from the one it last plotted, so that position must follow
// the active dataset when it moves.
TEST_F(MainWindowDatasetOpsTest, MovingTheShownDatasetKeepsTheZoom)
{
    openAndWait(measurement(QStringLiteral("a.rtdc"), {10, "A", "", false}));
    openAndWait(measurement(QStringLiteral("b.rtdc"), {10, "B", "", false}));
    openAndWait(measurement(QStringLiteral("c.rtdc"), {10, "C", "", false}));
    ASSERT_EQ(Access::activeIndex(w()), 2);
    ScatterPlot* plot = widget<ScatterPlot>("scatterPlot");
    plot->setAxisScale(QwtPlot::xBottom, 22.0, 24.0);
    plot->replot();

    Access::moveDataset(w(), 2, 0);
    ASSERT_EQ(Access::activeIndex(w()), 0);
    // Another colouring is a plot update that keeps the user's zoom.
    ASSERT_TRUE(Access::selectKey(widget<QComboBox>("colorFeatureCombo"), QStringLiteral("__density_kde__")));
    ASSERT_TRUE(plot->isColored());
    EXPECT_DOUBLE_EQ(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 22.0);
    EXPECT_DOUBLE_EQ(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), 24.0);
}

TEST_F(MainWindowDatasetOpsTest, ReorderSignalsOfBothViewsMoveDatasets)
{
    addFiveEntries();
    list()->setCurrentRow(0);
    emit list()->internalReorderRequested(0, 3);
    EXPECT_EQ(idsOf(w()), (std::vector<int>{11, 12, 10, 13, 14}));
    // The tree names datasets by id: 14 goes right behind 11, then 12 right before 11.
    emit tree()->internalReorderRequested(14, 11, true);
    EXPECT_EQ(idsOf(w()), (std::vector<int>{11, 14, 12, 10, 13}));
    emit tree()->internalReorderRequested(12, 11, false);
    EXPECT_EQ(idsOf(w()), (std::vector<int>{12, 11, 14, 10, 13}));
    // An id that is no longer open moves nothing.
    emit tree()->internalReorderRequested(99, 11, false);
    EXPECT_EQ(idsOf(w()), (std::vector<int>{12, 11, 14, 10, 13}));
    EXPECT_EQ(idAt(Access::activeIndex(w())), 10);
}

// ---- removing ------------------------------------------------------------------------------

TEST_F(MainWindowDatasetOpsTest, RemovingRenumbersTheCachingPositions)
{
    struct Case
    {
        const char* name;
        int row;
        std::vector<int> expectedIds;
        int expectedActiveId;
        std::vector<int> expectedQueueIds;
    };
    const Case cases[] = {
        {"the active fourth: the one above becomes active", 3, {10, 11, 12, 14}, 12, {14, 10}},
        {"the first: the new first becomes active", 0, {11, 12, 13, 14}, 11, {14, 13}},
        {"the last", 4, {10, 11, 12, 13}, 13, {10, 13}},
        {"a middle one that waits for nothing", 2, {10, 11, 13, 14}, 11, {14, 10, 13}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window = std::make_unique<MainWindow>();
        addFiveEntries();
        Access::preloadIndex(w()) = 1; // id 11 is being cached
        Access::setQueue(w(), {4, 0, 3}); // ids 14, 10, 13 wait
        list()->setCurrentRow(c.row);
        ASSERT_EQ(Access::activeIndex(w()), c.row);

        w().removeDataset();

        EXPECT_EQ(idsOf(w()), c.expectedIds);
        EXPECT_EQ(listIds(), c.expectedIds);
        EXPECT_EQ(idAt(Access::activeIndex(w())), c.expectedActiveId);
        EXPECT_EQ(list()->currentRow(), Access::activeIndex(w()));
        EXPECT_EQ(idAt(Access::preloadIndex(w())), 11);
        EXPECT_EQ(queueIds(), c.expectedQueueIds);
        EXPECT_TRUE(env.prompts->calls().empty());
    }
}

TEST_F(MainWindowDatasetOpsTest, RemovingIsRefusedWhileTheDatasetIsCachedOrACalculationRuns)
{
    addFiveEntries();
    Access::preloadIndex(w()) = 1;
    list()->setCurrentRow(1);
    w().removeDataset();
    ASSERT_EQ(env.prompts->calls().size(), 1u);
    EXPECT_EQ(env.prompts->last()->title, QStringLiteral("Cannot Remove"));
    EXPECT_EQ(env.prompts->last()->text, QStringLiteral("This dataset is still loading."));
    EXPECT_EQ(idsOf(w()), (std::vector<int>{10, 11, 12, 13, 14}));

    // A calculation's work function used to keep reading a dataset that was removed under it.
    list()->setCurrentRow(2);
    Access::calcBusy(w()) = true;
    w().removeDataset();
    Access::calcBusy(w()) = false;
    ASSERT_EQ(env.prompts->calls().size(), 2u);
    EXPECT_EQ(env.prompts->last()->title, QStringLiteral("Cannot Remove"));
    EXPECT_TRUE(env.prompts->last()->text.contains(QStringLiteral("calculation")));
    EXPECT_EQ(idsOf(w()), (std::vector<int>{10, 11, 12, 13, 14}));
    EXPECT_EQ(Access::activeIndex(w()), 2);
}

TEST_F(MainWindowDatasetOpsTest, NothingCurrentMeansNothingHappens)
{
    w().removeDataset();
    w().duplicateDataset();
    w().onRenameFinished();
    EXPECT_TRUE(Access::entries(w()).empty());
    EXPECT_TRUE(env.prompts->calls().empty());
}

TEST_F(MainWindowDatasetOpsTest, RemovingTheLastDatasetResetsEveryView)
{
    openAndWait(measurement(QStringLiteral("only.rtdc"), {25, "Only", "", false}));
    ScatterPlot* plot = widget<ScatterPlot>("scatterPlot");
    ASSERT_EQ(plot->pointCount(), 25);
    plot->setFilterPolygon(0, QPolygonF({{0, 0}, {1, 0}, {1, 1}}), true);
    widget<QLineEdit>("datasetNameEdit")->setFocus();

    list()->setCurrentRow(0);
    w().removeDataset();

    EXPECT_TRUE(Access::entries(w()).empty());
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(Access::activeIndex(w()), -1);
    EXPECT_EQ(w().activeDatasetId(), -1);
    EXPECT_EQ(plot->pointCount(), 0);
    EXPECT_TRUE(plot->filterPolygonItems().empty());
    EXPECT_EQ(widget<QLabel>("infoLabel")->text(), QStringLiteral("No file loaded."));
    for (const char* name : {"xFeatureCombo", "yFeatureCombo", "colorFeatureCombo"})
        EXPECT_EQ(widget<QComboBox>(name)->count(), 0) << name;
    auto* spin = widget<QSpinBox>("eventSpin");
    EXPECT_FALSE(spin->isEnabled());
    EXPECT_EQ(spin->maximum(), 0);
    auto* nameEdit = widget<QLineEdit>("datasetNameEdit");
    EXPECT_TRUE(nameEdit->text().isEmpty());
    EXPECT_FALSE(nameEdit->isEnabled());
    EXPECT_EQ(widget<QTreeWidget>("metadataTree")->topLevelItemCount(), 0);
    EXPECT_TRUE(env.prompts->calls().empty());

    // The window is usable again: the next file opens and shows as the first did.
    openAndWait(measurement(QStringLiteral("next.rtdc"), {7, "Next", "", false}));
    EXPECT_EQ(plot->pointCount(), 7);
    EXPECT_EQ(Access::activeIndex(w()), 0);
}

TEST_F(MainWindowDatasetOpsTest, RemovingTheActiveDatasetWhileAnotherIsCached)
{
    const QString pathA = measurement(QStringLiteral("a.rtdc"), {30, "A", "", false});
    const QString pathB = measurement(QStringLiteral("b.rtdc"), {20, "B", "", false});
    const QString pathC = measurement(QStringLiteral("c.rtdc"), {12, "C", "", false});
    openAndWait(pathA);
    ScatterPlot* plot = widget<ScatterPlot>("scatterPlot");
    ASSERT_EQ(plot->pointCount(), 30);

    // Holding the file lock keeps B's caching task waiting until the test lets it go.
    std::unique_lock<std::recursive_mutex> hold(hdf5Mutex());
    Access::addDataset(w(), pathB);
    Access::addDataset(w(), pathC); // waits for B's caching
    ASSERT_TRUE(Access::preloadBusy(w()));
    ASSERT_EQ(Access::preloadIndex(w()), 1);
    list()->setCurrentRow(0);
    ASSERT_EQ(plot->pointCount(), 30);
    plot->setFilterPolygon(0, QPolygonF({{0, 0}, {1, 0}, {1, 1}}), true);

    w().removeDataset();

    // B, still loading, is active now: nothing of A stays on the plot.
    ASSERT_EQ(Access::entries(w()).size(), 1u);
    EXPECT_EQ(Access::entries(w())[0]->displayName, QStringLiteral("B"));
    EXPECT_EQ(Access::activeIndex(w()), 0);
    EXPECT_EQ(Access::preloadIndex(w()), 0);
    EXPECT_EQ(plot->pointCount(), 0);
    EXPECT_TRUE(plot->filterPolygonItems().empty());
    EXPECT_EQ(widget<QLabel>("infoLabel")->text(), QStringLiteral("Loading: B..."));
    EXPECT_FALSE(widget<QComboBox>("xFeatureCombo")->isEnabled());

    // B cannot go while it is cached.
    w().removeDataset();
    EXPECT_EQ(env.prompts->countTitled(QStringLiteral("Cannot Remove")), 1);
    EXPECT_EQ(Access::entries(w()).size(), 1u);

    hold.unlock();
    ASSERT_TRUE(Tervane3::Test::waitUntil([this] { return idle() && Access::entries(w()).size() == 2; }));
    // B was cached under its new position; C followed and is shown.
    EXPECT_TRUE(Access::entries(w())[0]->featuresLoaded);
    EXPECT_EQ(Access::entries(w())[1]->displayName, QStringLiteral("C"));
    EXPECT_EQ(Access::activeIndex(w()), 1);
    EXPECT_EQ(plot->pointCount(), 12);

    // Removing C, active and loaded, shows B at once.
    w().removeDataset();
    EXPECT_EQ(Access::activeIndex(w()), 0);
    EXPECT_EQ(plot->pointCount(), 20);
    EXPECT_EQ(env.prompts->countTitled(QStringLiteral("Cannot Remove")), 1);
}

// Removing a dataset used to walk the gallery list while galleries that showed the dataset
// closed themselves and left that list, so a gallery could be skipped and stay open.
TEST_F(MainWindowDatasetOpsTest, GalleriesOfARemovedDatasetCloseAndOthersStay)
{
    openAndWait(measurement(QStringLiteral("a.rtdc"), {6, "A", "", true}));
    openAndWait(measurement(QStringLiteral("b.rtdc"), {6, "B", "", true}));
    const int idA = Access::entries(w())[0]->id;
    const int idB = Access::entries(w())[1]->id;
    list()->setCurrentRow(0);
    for (int i = 0; i < 3; ++i)
        w().openImageGalleryWindow();
    list()->setCurrentRow(1);
    w().openImageGalleryWindow();
    ASSERT_EQ(Access::galleryWindows(w()).size(), 4u);
    QList<QPointer<ImageGalleryWindow>> ofA;
    for (int i = 0; i < 3; ++i)
        ofA << Access::galleryWindows(w())[static_cast<size_t>(i)];
    QPointer<ImageGalleryWindow> ofB = Access::galleryWindows(w())[3];
    EXPECT_EQ(ofB->shownDatasetId(), idB);

    list()->setCurrentRow(0);
    w().removeDataset();
    for (const auto& gallery : ofA)
        EXPECT_TRUE(!gallery || !gallery->isVisible());
    ASSERT_EQ(Access::galleryWindows(w()).size(), 1u);
    EXPECT_EQ(Access::galleryWindows(w())[0], ofB.data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const auto& gallery : ofA)
        EXPECT_TRUE(gallery.isNull());
    ASSERT_FALSE(ofB.isNull());
    EXPECT_TRUE(ofB->isVisible());
    EXPECT_EQ(w().findDatasetById(idA), nullptr);
}

// ---- duplicating and renaming ----------------------------------------------------------------

TEST_F(MainWindowDatasetOpsTest, DuplicateSharesTheReaderAndCopiesTheViewAndFilter)
{
    openAndWait(measurement(QStringLiteral("m.rtdc"), {15, "Cells", "", false}));
    DatasetEntry& source = *Access::entries(w())[0];
    FilterRule rule;
    rule.featureName = "deform";
    rule.minValue = 0.0;
    rule.maxValue = 0.015;
    source.filter.addRule(rule);
    source.filter.setCombineMode(1);
    source.groupEnabled[3] = true;
    source.emodApplied = true;
    source.ctcApplied = true;
    source.ctcChannels = {1, 2};
    // A widget setting the copy must take over: duplicating stores the widgets first.
    auto* xCombo = widget<QComboBox>("xFeatureCombo");
    xCombo->setCurrentIndex(xCombo->findData(QStringLiteral("area_um")));
    const int expectedId = Access::nextDatasetId(w());

    list()->setCurrentRow(0);
    w().duplicateDataset();

    ASSERT_EQ(Access::entries(w()).size(), 2u);
    const DatasetEntry& copy = *Access::entries(w())[1];
    EXPECT_EQ(copy.id, expectedId);
    EXPECT_EQ(Access::nextDatasetId(w()), expectedId + 1);
    EXPECT_EQ(copy.reader.get(), source.reader.get());
    EXPECT_EQ(copy.displayName, QStringLiteral("Cells (copy)"));
    EXPECT_EQ(copy.filePath, source.filePath);
    EXPECT_TRUE(copy.featuresLoaded);
    EXPECT_EQ(copy.xFeatureName, "area_um");
    EXPECT_EQ(source.xFeatureName, "area_um");
    EXPECT_TRUE(copy.filter == source.filter);
    EXPECT_TRUE(copy.groupEnabled.empty());
    EXPECT_FALSE(copy.emodApplied);
    EXPECT_FALSE(copy.ctcApplied);
    EXPECT_TRUE(copy.ctcChannels.empty());
    // The copy is active and shown at once, without caching.
    EXPECT_EQ(Access::activeIndex(w()), 1);
    EXPECT_FALSE(Access::preloadBusy(w()));
    EXPECT_EQ(list()->count(), 2);
    EXPECT_EQ(list()->item(1)->data(Qt::UserRole).toInt(), expectedId);
    EXPECT_EQ(list()->item(1)->text(), datasetLabel(&copy));
    EXPECT_TRUE(widget<QLineEdit>("datasetNameEdit")->isEnabled());

    // A copy of the copy shares the same reader again and adds the suffix once more.
    w().duplicateDataset();
    ASSERT_EQ(Access::entries(w()).size(), 3u);
    EXPECT_EQ(Access::entries(w())[2]->reader.get(), source.reader.get());
    EXPECT_EQ(Access::entries(w())[2]->displayName, QStringLiteral("Cells (copy) (copy)"));
}

TEST_F(MainWindowDatasetOpsTest, ADatasetStillLoadingIsNotDuplicated)
{
    const QString path = measurement(QStringLiteral("m.rtdc"));
    std::unique_lock<std::recursive_mutex> hold(hdf5Mutex());
    Access::addDataset(w(), path);
    ASSERT_FALSE(Access::entries(w())[0]->featuresLoaded);
    w().duplicateDataset();
    EXPECT_EQ(Access::entries(w()).size(), 1u);
    hold.unlock();
    ASSERT_TRUE(Tervane3::Test::waitUntil([this] { return idle(); }));
}

TEST_F(MainWindowDatasetOpsTest, RenamingTrimsFallsBackAndUpdatesTheLabel)
{
    openAndWait(measurement(QStringLiteral("named.rtdc"), {5, "Sample S", "Changed C", false}));
    DatasetEntry& entry = *Access::entries(w())[0];
    ASSERT_EQ(entry.displayName, QStringLiteral("Changed C"));
    auto* edit = widget<QLineEdit>("datasetNameEdit");
    const auto rename = [&](const QString& text) {
        edit->setText(text);
        emit edit->editingFinished();
    };

    rename(QStringLiteral("  New <name>  "));
    EXPECT_EQ(entry.displayName, QStringLiteral("New <name>"));
    EXPECT_EQ(list()->item(0)->text(), datasetLabel(&entry));
    EXPECT_TRUE(list()->item(0)->text().startsWith(QStringLiteral("<b>New &lt;name&gt;</b>")));

    // Empty: the experiment's sample name, not the export section's changed name.
    rename(QString());
    EXPECT_EQ(entry.displayName, QStringLiteral("Sample S"));
    EXPECT_EQ(edit->text(), QStringLiteral("Sample S"));

    rename(QStringLiteral(" Sample S "));
    EXPECT_EQ(entry.displayName, QStringLiteral("Sample S"));

    // Without a sample name the file name is used.
    openAndWait(measurement(QStringLiteral("plain.rtdc")));
    DatasetEntry& plain = *Access::entries(w())[1];
    ASSERT_EQ(Access::activeIndex(w()), 1);
    rename(QStringLiteral("Something"));
    rename(QStringLiteral("   "));
    EXPECT_EQ(plain.displayName, QStringLiteral("plain.rtdc"));
    EXPECT_EQ(entry.displayName, QStringLiteral("Sample S"));
    EXPECT_EQ(list()->item(1)->text(), datasetLabel(&plain));
}

// ---- folder view -----------------------------------------------------------------------------

TEST_F(MainWindowDatasetOpsTest, FolderViewFollowsModeDepthAndSelection)
{
    openAndWait(measurement(QStringLiteral("data/exp1/a.rtdc"), {5, "a", "", false}));
    openAndWait(measurement(QStringLiteral("data/exp1/b.rtdc"), {5, "b", "", false}));
    openAndWait(measurement(QStringLiteral("data/exp2/day1/c.rtdc"), {5, "c<1>", "", false}));
    auto* mode = widget<QComboBox>("datasetViewModeCombo");
    auto* depth = widget<QSpinBox>("folderDepthSpin");
    auto* stack = widget<QStackedWidget>("datasetViewStack");

    depth->setValue(1);
    mode->setCurrentIndex(1);
    EXPECT_EQ(stack->currentIndex(), 1);
    EXPECT_TRUE(w().datasetFolderViewActive());
    EXPECT_EQ(AppSettings::datasetViewMode(), 1);
    EXPECT_EQ(AppSettings::datasetViewDepth(), 1);
    EXPECT_FALSE(depth->isHidden());
    DatasetTreeWidget* t = tree();
    // Both views draw their labels as rich text.
    EXPECT_NE(qobject_cast<HtmlItemDelegate*>(t->itemDelegate()), nullptr);
    EXPECT_NE(qobject_cast<HtmlItemDelegate*>(list()->itemDelegate()), nullptr);
    ASSERT_EQ(t->topLevelItemCount(), 2);
    QTreeWidgetItem* exp1 = t->topLevelItem(0);
    EXPECT_EQ(exp1->text(0), QStringLiteral("exp1"));
    EXPECT_FALSE(exp1->data(0, Qt::UserRole).isValid());
    EXPECT_FALSE(exp1->flags() & Qt::ItemIsSelectable);
    EXPECT_FALSE(exp1->flags() & Qt::ItemIsDragEnabled);
    ASSERT_EQ(exp1->childCount(), 2);
    QTreeWidgetItem* b = exp1->child(1);
    const DatasetEntry& entryB = *Access::entries(w())[1];
    const int idB = entryB.id;
    EXPECT_EQ(b->data(0, Qt::UserRole).toInt(), idB);
    EXPECT_EQ(b->text(0), datasetLabel(&entryB));
    EXPECT_EQ(b->toolTip(0), QString::fromStdString(entryB.filePath));
    EXPECT_TRUE(b->flags() & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(b->flags() & Qt::ItemIsDropEnabled);
    // The active dataset (the last opened) is the tree's current item.
    EXPECT_EQ(t->currentItem(), t->itemForDatasetId(Access::entries(w())[2]->id));
    EXPECT_EQ(t->topLevelItem(1)->text(0), QStringLiteral("day1"));

    depth->setValue(3);
    EXPECT_EQ(AppSettings::datasetViewDepth(), 3);
    ASSERT_EQ(t->topLevelItemCount(), 1);
    EXPECT_EQ(t->topLevelItem(0)->text(0), QStringLiteral("data"));

    // Choosing a dataset in the tree activates it; the list follows without a second activation.
    t->setCurrentItem(t->itemForDatasetId(idB));
    EXPECT_EQ(Access::activeIndex(w()), 1);
    EXPECT_EQ(list()->currentRow(), 1);

    // A removal rebuilds the tree.
    w().removeDataset();
    EXPECT_EQ(t->itemForDatasetId(idB), nullptr);
    EXPECT_NE(t->itemForDatasetId(Access::entries(w())[0]->id), nullptr);

    mode->setCurrentIndex(0);
    EXPECT_EQ(stack->currentIndex(), 0);
    EXPECT_EQ(AppSettings::datasetViewMode(), 0);
    EXPECT_TRUE(depth->isHidden());
}

TEST_F(MainWindowDatasetOpsTest, StoredViewSettingsAreReadAtStartUp)
{
    struct Case
    {
        int storedMode;
        int storedDepth;
        bool folderMode;
        int shownDepth;
    };
    const Case cases[] = {{1, 0, true, 1}, {1, -3, true, 1}, {0, 7, false, 4}, {5, 3, false, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.storedMode << " " << c.storedDepth);
        window.reset();
        AppSettings::setDatasetViewMode(c.storedMode);
        AppSettings::setDatasetViewDepth(c.storedDepth);
        window = std::make_unique<MainWindow>();
        EXPECT_EQ(w().datasetFolderViewActive(), c.folderMode);
        EXPECT_EQ(widget<QComboBox>("datasetViewModeCombo")->currentIndex(), c.folderMode ? 1 : 0);
        EXPECT_EQ(w().datasetFolderDepth(), c.shownDepth);
    }
}

// Picks an entry of the context menu that the next event-loop turn finds open, with the
// keyboard, as a user would; records the entries it saw.
void chooseInNextMenu(const QString& entry, QStringList* seen)
{
    QTimer::singleShot(0, [entry, seen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions())
            *seen << action->text();
        for (QAction* action : menu->actions()) {
            if (action->text() == entry) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
}

TEST_F(MainWindowDatasetOpsTest, ContextMenusActOnTheDatasetUnderThePointer)
{
    openAndWait(measurement(QStringLiteral("f1/a.rtdc"), {5, "a", "", false}));
    openAndWait(measurement(QStringLiteral("f1/b.rtdc"), {5, "b", "", false}));
    openAndWait(measurement(QStringLiteral("f2/c.rtdc"), {5, "c", "", false}));
    const int idA = Access::entries(w())[0]->id;
    widget<QComboBox>("datasetViewModeCombo")->setCurrentIndex(1);
    Tervane3::Test::QuietOffscreenPopups quiet;
    w().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
    DatasetTreeWidget* t = tree();

    // A folder item opens no menu.
    QTimer::singleShot(0, [] { EXPECT_EQ(QApplication::activePopupWidget(), nullptr); });
    emit t->customContextMenuRequested(t->visualItemRect(t->topLevelItem(0)).center());
    QCoreApplication::processEvents();

    // A dataset item is activated, then the menu acts on it.
    QStringList seen;
    chooseInNextMenu(QStringLiteral("Duplicate Dataset"), &seen);
    emit t->customContextMenuRequested(t->visualItemRect(t->itemForDatasetId(idA)).center());
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Duplicate Dataset"), QStringLiteral("Remove Dataset")}));
    ASSERT_EQ(Access::entries(w()).size(), 4u);
    EXPECT_EQ(Access::entries(w())[3]->displayName, QStringLiteral("a (copy)"));
    EXPECT_EQ(Access::activeIndex(w()), 3);

    // The list's menu removes the current row.
    widget<QComboBox>("datasetViewModeCombo")->setCurrentIndex(0);
    list()->setCurrentRow(1);
    seen.clear();
    chooseInNextMenu(QStringLiteral("Remove Dataset"), &seen);
    emit list()->customContextMenuRequested(list()->visualItemRect(list()->item(1)).center());
    EXPECT_EQ(seen.size(), 2);
    EXPECT_EQ(Access::entries(w()).size(), 3u);
    EXPECT_EQ(w().findDatasetById(idA)->displayName, QStringLiteral("a"));
    EXPECT_EQ(Access::entries(w())[1]->displayName, QStringLiteral("c"));
}

// ---- files and folders dropped onto the window ---------------------------------------------------

TEST_F(MainWindowDatasetOpsTest, DroppedFilesAndFoldersOpenInPathOrder)
{
    const QString folder = dir.filePath(QStringLiteral("drop"));
    measurement(QStringLiteral("drop/b.rtdc"));
    measurement(QStringLiteral("drop/a.RTDC"));
    measurement(QStringLiteral("drop/A/z.rtdc"));
    measurement(QStringLiteral("drop/A/deeper/y.rtdc"));
    QFile notes(dir.filePath(QStringLiteral("drop/notes.txt")));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.close();
    // A link to a folder outside is not followed.
    measurement(QStringLiteral("outside/x.rtdc"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("outside")), dir.filePath(QStringLiteral("drop/link"))));
    const QString single = measurement(QStringLiteral("single/S.Rtdc"));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(single), QUrl::fromLocalFile(folder)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(Tervane3::Test::waitUntil([this] { return idle() && Access::entries(w()).size() == 5; }));

    QStringList opened;
    for (const auto& entry : Access::entries(w()))
        opened << QDir(dir.path()).relativeFilePath(QString::fromStdString(entry->filePath));
    // Component by component without regard to case: "A" before "a.RTDC" before "b.rtdc",
    // and the whole drop sorted together.
    EXPECT_EQ(opened, (QStringList{QStringLiteral("drop/A/deeper/y.rtdc"), QStringLiteral("drop/A/z.rtdc"),
                                   QStringLiteral("drop/a.RTDC"), QStringLiteral("drop/b.rtdc"),
                                   QStringLiteral("single/S.Rtdc")}));
    EXPECT_TRUE(env.prompts->calls().empty());
}

TEST_F(MainWindowDatasetOpsTest, DropsWithoutMeasurementsAreRefused)
{
    QFile text(dir.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    QDir(dir.path()).mkpath(QStringLiteral("empty/sub"));
    const QList<QList<QUrl>> drops = {
        {QUrl::fromLocalFile(text.fileName())},
        {QUrl::fromLocalFile(dir.filePath(QStringLiteral("empty")))},
        {QUrl(QStringLiteral("https://example.invalid/file.rtdc"))},
    };
    int boxes = 0;
    for (const QList<QUrl>& urls : drops) {
        SCOPED_TRACE(urls.first().toString().toStdString());
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w(), &drop);
        EXPECT_FALSE(drop.isAccepted());
        ++boxes;
        ASSERT_EQ(env.prompts->countTitled(QStringLiteral("Invalid File")), boxes);
        EXPECT_EQ(env.prompts->last()->text, QStringLiteral("Please drop .rtdc file(s) or folders containing them."));
        EXPECT_TRUE(Access::entries(w()).empty());
    }

    // A drag without URLs (a dataset from the list, plain text) is not taken by the window.
    QMimeData textOnly;
    textOnly.setText(QStringLiteral("3"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &textOnly, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

} // namespace
} // namespace Tervane3
