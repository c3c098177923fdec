// The main window frame: construction and the settings it reads, the menus and the
// handlers they reach, the tool-window lists, the dock title bars, the update boxes, the
// error box and the session summary of feedback reports.
#include "MainWindowTestAccess.h"
#include "LoopbackHttpServer.h"

#include "app/AppSettings.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "core/FilterRule.h"
#include "core/RTDCReader.h"
#include "plots/ScatterPlot.h"
#include "services/ServiceEndpoints.h"
#include "services/UpdateChecker.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"
#include "windows/ImageGalleryWindow.h"
#include "filters/FilterGroupsMatrixWindow.h"

#include "support/TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkReply>
#include <QPointer>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>

#include <H5Cpp.h>

#include <gtest/gtest.h>

using namespace Tervane3;
using Access = MainWindowTestAccess;
using Kind = ScriptedPrompts::Kind;

namespace {

QMenu* menuNamed(MainWindow& w, const QString& title)
{
    const QList<QAction*> actions = w.menuBar()->actions();
    for (QAction* a : actions) {
        if (a->menu() && a->menu()->title() == title)
            return a->menu();
    }
    return nullptr;
}

QAction* entry(MainWindow& w, const char* objectName)
{
    return w.findChild<QAction*>(QString::fromLatin1(objectName));
}

QStringList entryTexts(QMenu* menu)
{
    QStringList texts;
    const QList<QAction*> actions = menu->actions();
    for (QAction* a : actions)
        texts << (a->isSeparator() ? QStringLiteral("—") : a->text());
    return texts;
}

void deliverDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A tiny measurement: `events` values of "deform", and with images also an event image
// stack of events x 2 x 3 pixels.
std::shared_ptr<RTDCReader> tinyMeasurement(const QString& path, hsize_t events, bool withImages)
{
    {
        H5::H5File file(path.toStdString(), H5F_ACC_TRUNC);
        H5::Group group = file.createGroup("/events");
        std::vector<double> deform(events, 0.05);
        const hsize_t columnDims[1] = {events};
        H5::DataSpace columnSpace(1, columnDims);
        group.createDataSet("deform", H5::PredType::NATIVE_DOUBLE, columnSpace)
            .write(deform.data(), H5::PredType::NATIVE_DOUBLE);
        if (withImages) {
            std::vector<unsigned char> pixels(events * 6, 100);
            const hsize_t imageDims[3] = {events, 2, 3};
            H5::DataSpace imageSpace(3, imageDims);
            group.createDataSet("image", H5::PredType::NATIVE_UINT8, imageSpace)
                .write(pixels.data(), H5::PredType::NATIVE_UINT8);
        }
    }
    auto reader = std::make_shared<RTDCReader>();
    EXPECT_TRUE(reader->open(path.toStdString()));
    return reader;
}

} // namespace

TEST(MainWindowTest, FrameAfterConstruction)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    EXPECT_EQ(w.windowTitle().toStdString(), "Tervane3 - RT-DC Data Analysis");
    EXPECT_EQ(w.size(), QSize(1400, 900));
    EXPECT_TRUE(w.acceptDrops());
    auto* info = w.findChild<QLabel*>(QStringLiteral("infoLabel"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->text().toStdString(), "No file loaded. Drag and drop a .rtdc file or use File > Open.");
    EXPECT_FALSE(w.findChild<QLineEdit*>(QStringLiteral("datasetNameEdit"))->isEnabled());
    EXPECT_FALSE(w.findChild<QSpinBox*>(QStringLiteral("eventSpin"))->isEnabled());
    EXPECT_TRUE(w.findChild<QWidget*>(QStringLiteral("tracePlot"))->isHidden());
    EXPECT_TRUE(w.findChild<QWidget*>(QStringLiteral("isoelasticsCheck"))->isHidden());
    EXPECT_TRUE(w.findChild<QWidget*>(QStringLiteral("isoLabelsCheck"))->isHidden());
    auto* status = w.findChild<QLabel*>(QStringLiteral("statusLabel"));
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(w.statusBar()->isAncestorOf(status));
    EXPECT_EQ(w.activeDatasetId(), -1);
    EXPECT_TRUE(w.datasets().empty());
    ASSERT_NE(w.calcDock(), nullptr);
    ASSERT_NE(w.emodulus(), nullptr);
    EXPECT_EQ(w.emodulus()->parent(), &w);

    // Docks: titles, areas, features; "Calculations" and "Metadata" tabbed with "Filters".
    struct DockCase
    {
        const char* name;
        const char* title;
        Qt::DockWidgetArea area;
    };
    const DockCase docks[] = {
        {"datasetsDock", "Datasets", Qt::LeftDockWidgetArea},
        {"filtersDock", "Filters", Qt::RightDockWidgetArea},
        {"statisticsDock", "Plot Statistics", Qt::RightDockWidgetArea},
        {"calculationsDock", "Calculations", Qt::RightDockWidgetArea},
        {"metadataDock", "Metadata", Qt::RightDockWidgetArea},
    };
    for (const DockCase& d : docks) {
        SCOPED_TRACE(d.name);
        auto* dock = w.findChild<QDockWidget*>(QString::fromLatin1(d.name));
        ASSERT_NE(dock, nullptr);
        EXPECT_EQ(dock->windowTitle().toStdString(), d.title);
        EXPECT_EQ(w.dockWidgetArea(dock), d.area);
        EXPECT_EQ(dock->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        EXPECT_EQ(dock->features(), QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    }
    auto* filters = w.findChild<QDockWidget*>(QStringLiteral("filtersDock"));
    const QList<QDockWidget*> tabbed = w.tabifiedDockWidgets(filters);
    ASSERT_EQ(tabbed.size(), 2);
    EXPECT_EQ(tabbed.at(0)->objectName().toStdString(), "calculationsDock");
    EXPECT_EQ(tabbed.at(1)->objectName().toStdString(), "metadataDock");

    // Only the Young's-modulus and crosstalk pages are offered.
    auto* pages = w.findChild<QComboBox*>(QStringLiteral("calcPageSelector"));
    ASSERT_NE(pages, nullptr);
    auto* view = qobject_cast<QListView*>(pages->view());
    ASSERT_NE(view, nullptr);
    const bool expectedHidden[] = {false, false, true, true, true, true};
    ASSERT_EQ(pages->count(), 6);
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(view->isRowHidden(row), expectedHidden[row]) << row;
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST(MainWindowTest, SettingsAreReadAtStartUpWithTheirClamps)
{
    struct Case
    {
        const char* label;
        QVariant mode;
        QVariant depth;
        QVariant colorMap;
        bool folderMode;
        int depthShown;
        int colorMapIndex;
    };
    const Case cases[] = {
        {"nothing stored", {}, {}, {}, false, 2, 0},
        {"folders, depth too large", 1, 7, 3, true, 4, 3},
        {"depth zero", 1, 0, 5, true, 1, 5},
        {"unknown mode is the list", 2, 3, 6, false, 3, 0},
        {"negative colour map", 0, 2, -1, false, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Tervane3::Test::MainWindowEnvironment env;
        QSettings s;
        if (c.mode.isValid())
            s.setValue(QStringLiteral("datasetView/mode"), c.mode);
        if (c.depth.isValid())
            s.setValue(QStringLiteral("datasetView/depth"), c.depth);
        if (c.colorMap.isValid())
            s.setValue(QStringLiteral("settings/colorMapIndex"), c.colorMap);
        s.sync();

        MainWindow w;
        auto* combo = w.findChild<QComboBox*>(QStringLiteral("datasetViewModeCombo"));
        auto* stack = w.findChild<QStackedWidget*>(QStringLiteral("datasetViewStack"));
        auto* depthSpin = w.findChild<QSpinBox*>(QStringLiteral("folderDepthSpin"));
        auto* depthLabel = w.findChild<QLabel*>(QStringLiteral("folderDepthLabel"));
        EXPECT_EQ(combo->currentIndex(), c.folderMode ? 1 : 0);
        EXPECT_EQ(stack->currentIndex(), c.folderMode ? 1 : 0);
        EXPECT_EQ(w.datasetFolderViewActive(), c.folderMode);
        EXPECT_EQ(depthSpin->isHidden(), !c.folderMode);
        EXPECT_EQ(depthLabel->isHidden(), !c.folderMode);
        EXPECT_EQ(depthSpin->value(), c.depthShown);
        EXPECT_EQ(w.datasetFolderDepth(), c.depthShown);
        EXPECT_EQ(w.colorMapIndex(), c.colorMapIndex);
        EXPECT_EQ(Access::scatterPlot(w)->colorMapIndex(), c.colorMapIndex);
        QAction* checked = w.findChild<QAction*>(QStringLiteral("colorMapAction%1").arg(c.colorMapIndex));
        ASSERT_NE(checked, nullptr);
        EXPECT_TRUE(checked->isChecked());
        // A bad stored colour map stays in the store until the user picks another.
        if (c.colorMap.isValid()) {
            EXPECT_EQ(QSettings().value(QStringLiteral("settings/colorMapIndex")), c.colorMap);
        }
        // Reading the settings writes nothing back.
        EXPECT_EQ(QSettings().value(QStringLiteral("datasetView/depth")), c.depth);
    }
}

TEST(MainWindowTest, DatasetViewControlsStoreTheirSettings)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    auto* combo = w.findChild<QComboBox*>(QStringLiteral("datasetViewModeCombo"));
    auto* depthSpin = w.findChild<QSpinBox*>(QStringLiteral("folderDepthSpin"));
    combo->setCurrentIndex(1);
    EXPECT_EQ(QSettings().value(QStringLiteral("datasetView/mode")).toInt(), 1);
    EXPECT_TRUE(w.datasetFolderViewActive());
    EXPECT_FALSE(depthSpin->isHidden());
    depthSpin->setValue(3);
    EXPECT_EQ(QSettings().value(QStringLiteral("datasetView/depth")).toInt(), 3);
    combo->setCurrentIndex(0);
    EXPECT_EQ(QSettings().value(QStringLiteral("datasetView/mode")).toInt(), 0);
    EXPECT_TRUE(depthSpin->isHidden());
}

TEST(MainWindowTest, MenuBarLayoutAndShortcuts)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    QStringList titles;
    const QList<QAction*> bar = w.menuBar()->actions();
    for (QAction* a : bar)
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Export", "&View", "&Tool Windows", "&Settings", "&Help"}));

    struct MenuCase
    {
        const char* title;
        QStringList entries;
    };
    const MenuCase menus[] = {
        {"&File", {"&Open...", "—", "&Save Session...", "&Load Session...", "—", "&Clear Session", "—", "E&xit"}},
        {"&Export", {"Export &Plot...", "Export &Data...", "Export Statistical &Summary..."}},
        {"&View", {"Datasets", "Filters", "Calculations", "Metadata", "Plot Statistics"}},
        {"&Tool Windows",
         {"New &Combine Plot...", "New &Statistical Evaluation...", "New &Image Gallery...", "Filter Groups &Matrix..."}},
        {"&Settings", {"Color &Map", "—", "Check for Updates on Startup"}},
        {"&Help", {"&Manual", "—", "Check for &Updates...", "Send &Feedback...", "—", "&About"}},
    };
    for (const MenuCase& m : menus) {
        SCOPED_TRACE(m.title);
        QMenu* menu = menuNamed(w, QString::fromUtf8(m.title));
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(entryTexts(menu), m.entries);
    }
    QMenu* colorMaps = entry(w, "colorMapMenuAction")->menu();
    EXPECT_EQ(entryTexts(colorMaps), (QStringList{"Viridis", "Jet", "Jet+", "Plasma", "ZODI", "Grayscale"}));

    struct ShortcutCase
    {
        const char* action;
        QKeySequence keys;
    };
    const ShortcutCase shortcuts[] = {
        {"openAction", QKeySequence(QKeySequence::Open)},
        {"saveSessionAction", QKeySequence(QStringLiteral("Ctrl+Shift+S"))},
        {"loadSessionAction", QKeySequence(QStringLiteral("Ctrl+Shift+O"))},
        {"exitAction", QKeySequence(QKeySequence::Quit)},
        {"exportPlotAction", QKeySequence(QStringLiteral("Ctrl+E"))},
        {"exportDataAction", QKeySequence(QStringLiteral("Ctrl+Shift+E"))},
        {"manualAction", QKeySequence(QKeySequence::HelpContents)},
        {"clearSessionAction", QKeySequence()},
    };
    for (const ShortcutCase& s : shortcuts) {
        SCOPED_TRACE(s.action);
        ASSERT_NE(entry(w, s.action), nullptr);
        EXPECT_EQ(entry(w, s.action)->shortcut(), s.keys);
    }
}

// Every entry of the menus is triggered and its handler observed.
TEST(MainWindowTest, EveryMenuEntryReachesItsHandler)
{
    Tervane3::Test::MainWindowEnvironment env;
    Tervane3::Test::LoopbackHttpServer server;
    server.respond(200, R"({"version": "3.2.97"})");
    ServiceEndpoints::setUpdateUrl(server.url());
    ScriptedPrompts& prompts = *env.prompts;

    MainWindow w;
    w.show();

    // Export: without a dataset, the plot export does nothing; data and summary need a
    // loaded dataset.
    prompts.clear();
    entry(w, "exportPlotAction")->trigger();
    EXPECT_TRUE(prompts.calls().empty());
    for (const char* name : {"exportDataAction", "exportStatSummaryAction"}) {
        SCOPED_TRACE(name);
        prompts.clear();
        entry(w, name)->trigger();
        ASSERT_EQ(prompts.calls().size(), 1u);
        EXPECT_EQ(prompts.last()->title.toStdString(), "Export");
        EXPECT_EQ(prompts.last()->text.toStdString(), "No loaded dataset available for export.");
    }
    // The session entries: nothing to save, no file chosen, nothing to clear.
    prompts.clear();
    entry(w, "saveSessionAction")->trigger();
    ASSERT_EQ(prompts.calls().size(), 1u);
    EXPECT_EQ(prompts.last()->text.toStdString(), "No datasets loaded to save.");
    prompts.clear();
    entry(w, "loadSessionAction")->trigger();
    ASSERT_EQ(prompts.count(Kind::OpenFileName), 1);
    EXPECT_EQ(prompts.last()->title.toStdString(), "Load Session");
    prompts.clear();
    entry(w, "clearSessionAction")->trigger();
    EXPECT_EQ(prompts.calls().size(), 0u);

    // File > Open asks for files.
    prompts.clear();
    entry(w, "openAction")->trigger();
    ASSERT_EQ(prompts.count(Kind::OpenFileNames), 1);
    EXPECT_EQ(prompts.last()->title.toStdString(), "Open RT-DC File(s)");
    EXPECT_EQ(prompts.last()->filter.toStdString(), "RT-DC Files (*.rtdc);;All Files (*)");

    // View: each entry toggles its dock.
    QMenu* viewMenu = menuNamed(w, QStringLiteral("&View"));
    const QList<QAction*> toggles = viewMenu->actions();
    for (QAction* toggle : toggles) {
        SCOPED_TRACE(toggle->text().toStdString());
        QDockWidget* dock = nullptr;
        const QList<QDockWidget*> docks = w.findChildren<QDockWidget*>();
        for (QDockWidget* d : docks) {
            if (d->toggleViewAction() == toggle)
                dock = d;
        }
        ASSERT_NE(dock, nullptr);
        EXPECT_FALSE(dock->isHidden());
        toggle->trigger();
        EXPECT_TRUE(dock->isHidden());
        toggle->trigger();
        EXPECT_FALSE(dock->isHidden());
    }

    // Tool windows open and are listed.
    entry(w, "newCombinePlotAction")->trigger();
    entry(w, "newStatisticalEvaluationAction")->trigger();
    entry(w, "filterGroupsMatrixAction")->trigger();
    ASSERT_EQ(Access::combineWindows(w).size(), 1u);
    ASSERT_EQ(Access::statEvalWindows(w).size(), 1u);
    ASSERT_EQ(Access::matrixWindows(w).size(), 1u);
    EXPECT_TRUE(Access::combineWindows(w).front()->isVisible());
    EXPECT_EQ(Access::combineWindows(w).front()->windowTitle().toStdString(), "Combine Plot");
    EXPECT_TRUE(Access::statEvalWindows(w).front()->isVisible());
    EXPECT_TRUE(Access::matrixWindows(w).front()->isVisible());
    prompts.clear();
    entry(w, "newImageGalleryAction")->trigger();
    EXPECT_EQ(prompts.countTitled(QStringLiteral("Image Gallery")), 1);
    EXPECT_EQ(prompts.last()->text.toStdString(), "Open a dataset before launching the image gallery.");
    EXPECT_TRUE(Access::galleryWindows(w).empty());

    // Settings: colour map and the start-up check switch.
    QAction* jet = entry(w, "colorMapAction1");
    jet->trigger();
    EXPECT_EQ(w.colorMapIndex(), 1);
    EXPECT_EQ(Access::scatterPlot(w)->colorMapIndex(), 1);
    EXPECT_EQ(QSettings().value(QStringLiteral("settings/colorMapIndex")).toInt(), 1);
    EXPECT_FALSE(entry(w, "colorMapAction0")->isChecked());
    QAction* startup = entry(w, "checkUpdatesOnStartupAction");
    EXPECT_FALSE(startup->isChecked());
    startup->trigger();
    EXPECT_TRUE(QSettings().value(QStringLiteral("updates/checkOnStartup")).toBool());
    startup->trigger();
    EXPECT_FALSE(QSettings().value(QStringLiteral("updates/checkOnStartup")).toBool());

    // Help: the manual is not found next to the test program.
    prompts.clear();
    entry(w, "manualAction")->trigger();
    ASSERT_EQ(prompts.countTitled(QStringLiteral("Manual Not Found")), 1);
    const QString appDir = QCoreApplication::applicationDirPath();
    EXPECT_EQ(prompts.last()->text,
              QStringLiteral("Could not find the help file (tervane3.qch).\n\nSearched in:\n%1/../data/tervane3.qch\n%1/data/tervane3.qch")
                  .arg(appDir));
    EXPECT_EQ(prompts.last()->icon, Prompts::Icon::Warning);

    // Help: the update check asks the server and reports.
    prompts.clear();
    entry(w, "checkForUpdatesAction")->trigger();
    ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return prompts.countTitled(QStringLiteral("Check for Updates")) == 1; }));
    EXPECT_EQ(server.requests, 1);
    EXPECT_EQ(prompts.last()->text.toStdString(), "You are running the latest version of Tervane3 (3.2.97).");

    // Help: feedback and About run their dialogs.
    prompts.clear();
    entry(w, "sendFeedbackAction")->trigger();
    ASSERT_EQ(prompts.count(Kind::Dialog), 1);
    prompts.clear();
    entry(w, "aboutAction")->trigger();
    ASSERT_EQ(prompts.count(Kind::Dialog), 1);
    EXPECT_EQ(prompts.last()->title.toStdString(), "Tervane3::AboutDialog");

    // File > Exit closes the window and the tool windows with it.
    QPointer<CombinePlotWindow> combine = Access::combineWindows(w).front();
    entry(w, "exitAction")->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(combine.isNull());
}

TEST(MainWindowTest, ToolWindowListsFollowTheirWindows)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    for (int i = 0; i < 3; ++i)
        w.openCombinePlotWindow();
    std::vector<CombinePlotWindow*> opened = Access::combineWindows(w);
    ASSERT_EQ(opened.size(), 3u);
    QPointer<CombinePlotWindow> middle = opened[1];
    middle->close();
    // Out of the list at once, deleted after its closeEvent returned.
    EXPECT_EQ(Access::combineWindows(w), (std::vector<CombinePlotWindow*>{opened[0], opened[2]}));
    EXPECT_FALSE(middle.isNull());
    deliverDeferredDeletes();
    EXPECT_TRUE(middle.isNull());

    // Each kind has its own list.
    w.openStatisticalEvalWindow();
    w.openFilterGroupsMatrixWindow();
    QPointer<StatisticalEvalWindow> stats = Access::statEvalWindows(w).front();
    stats->close();
    EXPECT_TRUE(Access::statEvalWindows(w).empty());
    EXPECT_EQ(Access::combineWindows(w).size(), 2u);
    EXPECT_EQ(Access::matrixWindows(w).size(), 1u);
    deliverDeferredDeletes();
    EXPECT_TRUE(stats.isNull());

    // Closing the main window closes and deletes the rest at once, without any list handler.
    QPointer<CombinePlotWindow> first = opened[0];
    QPointer<FilterGroupsMatrixWindow> matrix = Access::matrixWindows(w).front();
    w.close();
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(matrix.isNull());
    EXPECT_TRUE(Access::combineWindows(w).empty());
    EXPECT_TRUE(Access::matrixWindows(w).empty());
}

TEST(MainWindowTest, GalleryNeedsAnActiveDatasetWithImages)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    ScriptedPrompts& prompts = *env.prompts;
    w.openImageGalleryWindow();
    ASSERT_EQ(prompts.calls().size(), 1u);
    EXPECT_EQ(prompts.last()->text.toStdString(), "Open a dataset before launching the image gallery.");

    // An active dataset without a reader has no images.
    Access::addEntry(w, 7);
    Access::activeIndex(w) = 0;
    EXPECT_EQ(w.activeDatasetId(), 7);
    w.openImageGalleryWindow();
    ASSERT_EQ(prompts.calls().size(), 2u);
    EXPECT_EQ(prompts.last()->title.toStdString(), "Image Gallery");
    EXPECT_EQ(prompts.last()->text.toStdString(), "The active dataset has no event images.");
    EXPECT_TRUE(Access::galleryWindows(w).empty());

    // An index outside the list means no active dataset.
    Access::activeIndex(w) = 3;
    EXPECT_EQ(w.activeDatasetId(), -1);
    w.openImageGalleryWindow();
    EXPECT_EQ(prompts.last()->text.toStdString(), "Open a dataset before launching the image gallery.");

    // A reader without images, then one with images: only the second opens a gallery.
    QTemporaryDir dir;
    Access::activeIndex(w) = 0;
    w.datasets()[0]->reader = tinyMeasurement(dir.filePath(QStringLiteral("plain.rtdc")), 4, false);
    w.openImageGalleryWindow();
    EXPECT_EQ(prompts.last()->text.toStdString(), "The active dataset has no event images.");
    EXPECT_TRUE(Access::galleryWindows(w).empty());
    w.datasets()[0]->reader = tinyMeasurement(dir.filePath(QStringLiteral("images.rtdc")), 4, true);
    const size_t boxes = prompts.calls().size();
    w.openImageGalleryWindow();
    EXPECT_EQ(prompts.calls().size(), boxes);
    ASSERT_EQ(Access::galleryWindows(w).size(), 1u);
    ImageGalleryWindow* gallery = Access::galleryWindows(w).front();
    EXPECT_EQ(gallery->shownDatasetId(), 7);
    EXPECT_TRUE(gallery->isVisible());
    QPointer<ImageGalleryWindow> watched = gallery;
    gallery->close();
    EXPECT_TRUE(Access::galleryWindows(w).empty());
    deliverDeferredDeletes();
    EXPECT_TRUE(watched.isNull());
}

TEST(MainWindowTest, DatasetLookup)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    Access::addEntry(w, 4).filePath = "/data/a.rtdc";
    Access::addEntry(w, 9).filePath = "/data/b.rtdc";
    Access::addEntry(w, 11).filePath = "/data/a.rtdc";
    EXPECT_EQ(w.findDatasetById(9), w.datasets()[1].get());
    EXPECT_EQ(w.findDatasetById(5), nullptr);
    EXPECT_EQ(w.findDatasetByPath("/data/a.rtdc"), w.datasets()[0].get());
    EXPECT_EQ(w.findDatasetByPath("/data/A.rtdc"), nullptr);
    Access::activeIndex(w) = 2;
    EXPECT_EQ(w.activeDatasetId(), 11);
    Access::activeIndex(w) = -1;
    EXPECT_EQ(w.activeDatasetId(), -1);
}

TEST(MainWindowTest, TabbedDocksShowTheirOwnTitleOnlyWhenAlone)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    w.show();
    auto* filters = w.findChild<QDockWidget*>(QStringLiteral("filtersDock"));
    auto* calculations = w.findChild<QDockWidget*>(QStringLiteral("calculationsDock"));
    auto* metadata = w.findChild<QDockWidget*>(QStringLiteral("metadataDock"));
    EXPECT_NE(filters->titleBarWidget(), nullptr);
    EXPECT_NE(calculations->titleBarWidget(), nullptr);
    EXPECT_NE(metadata->titleBarWidget(), nullptr);

    calculations->toggleViewAction()->trigger();
    EXPECT_NE(filters->titleBarWidget(), nullptr);
    EXPECT_NE(metadata->titleBarWidget(), nullptr);

    metadata->toggleViewAction()->trigger();
    EXPECT_EQ(filters->titleBarWidget(), nullptr);

    calculations->toggleViewAction()->trigger();
    metadata->toggleViewAction()->trigger();
    EXPECT_NE(filters->titleBarWidget(), nullptr);
    EXPECT_NE(calculations->titleBarWidget(), nullptr);
    EXPECT_NE(metadata->titleBarWidget(), nullptr);
}

TEST(MainWindowTest, UpdateCheckResultsBecomeBoxes)
{
    struct Case
    {
        const char* label;
        int status;
        QByteArray body;
        bool silent;
        const char* ignored;
        const char* title; // empty: no box
        const char* text;
    };
    const Case cases[] = {
        {"newer with notes", 200, R"({"version":"3.3.0","url":"https://example.org/get","notes":"Faster plots."})", false, "",
         "Update Available",
         "A newer version of Tervane3 is available.\n\nInstalled: 3.2.97\nLatest: 3.3.0\n\nWhat's new:\nFaster plots."},
        {"newer without notes, silent", 200, R"({"version":"3.10.0"})", true, "", "Update Available",
         "A newer version of Tervane3 is available.\n\nInstalled: 3.2.97\nLatest: 3.10.0"},
        {"ignored version, silent", 200, R"({"version":"3.3.0"})", true, "3.3.0", "", ""},
        {"ignored version, from the menu", 200, R"({"version":"3.3.0"})", false, "3.3.0", "Update Available",
         "A newer version of Tervane3 is available.\n\nInstalled: 3.2.97\nLatest: 3.3.0"},
        {"same version", 200, R"({"version":"3.2.97"})", false, "", "Check for Updates",
         "You are running the latest version of Tervane3 (3.2.97)."},
        {"same version, silent", 200, R"({"version":"3.2.97"})", true, "", "", ""},
        {"unreadable reply", 200, "<html>busy</html>", false, "", "Check for Updates",
         "Could not check for updates.\n\nCould not read version information from the server."},
        {"server error, silent", 404, "missing", true, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Tervane3::Test::MainWindowEnvironment env;
        Tervane3::Test::LoopbackHttpServer server;
        server.respond(c.status, c.body);
        ServiceEndpoints::setUpdateUrl(server.url());
        AppSettings::setIgnoredVersion(QString::fromLatin1(c.ignored));
        ScriptedPrompts& prompts = *env.prompts;
        MainWindow w;
        w.checkForUpdates(c.silent);
        UpdateChecker* checker = Access::updateChecker(w);
        ASSERT_NE(checker, nullptr);
        // Settled when the server answered and the checker has handled (and dropped) the reply.
        ASSERT_TRUE(Tervane3::Test::waitUntil([&] {
            return server.requests == 1 && checker->findChildren<QNetworkReply*>().isEmpty();
        }));
        if (*c.title == '\0') {
            EXPECT_TRUE(prompts.calls().empty());
            continue;
        }
        ASSERT_EQ(prompts.calls().size(), 1u);
        EXPECT_EQ(prompts.last()->title.toStdString(), c.title);
        EXPECT_EQ(prompts.last()->text.toStdString(), c.text);
    }
}

TEST(MainWindowTest, UpdateFailureFromTheMenuIsAWarning)
{
    Tervane3::Test::MainWindowEnvironment env;
    Tervane3::Test::LoopbackHttpServer server;
    server.respond(404, "gone", "text/plain");
    ServiceEndpoints::setUpdateUrl(server.url());
    MainWindow w;
    w.checkForUpdates(false);
    ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return env.prompts->calls().size() == 1; }));
    EXPECT_EQ(env.prompts->last()->icon, Prompts::Icon::Warning);
    EXPECT_EQ(env.prompts->last()->title.toStdString(), "Check for Updates");
    EXPECT_TRUE(env.prompts->last()->text.startsWith(QStringLiteral("Could not check for updates.\n\n")));
    EXPECT_GT(env.prompts->last()->text.size(), 30);
}

TEST(MainWindowTest, StartUpCheckRunsOnlyWhenSwitchedOn)
{
    for (bool on : {false, true}) {
        SCOPED_TRACE(on);
        Tervane3::Test::MainWindowEnvironment env(on);
        Tervane3::Test::LoopbackHttpServer server;
        server.respond(200, R"({"version":"3.3.0"})");
        ServiceEndpoints::setUpdateUrl(server.url());
        MainWindow w;
        EXPECT_EQ(server.requests, 0); // not before the event loop runs
        if (on) {
            ASSERT_TRUE(Tervane3::Test::waitUntil([&] { return env.prompts->calls().size() == 1; }));
            EXPECT_EQ(env.prompts->last()->title.toStdString(), "Update Available");
        } else {
            Tervane3::Test::waitUntil([] { return false; }, 300);
            EXPECT_EQ(server.requests, 0);
            EXPECT_EQ(Access::updateChecker(w), nullptr);
        }
    }
}

TEST(MainWindowTest, UpdateBoxButtons)
{
    Tervane3::Test::MainWindowEnvironment env;
    ScriptedPrompts& prompts = *env.prompts;
    MainWindow w;
    prompts.answerMessage(QStringLiteral("Ignore This Version"));
    Access::onUpdateAvailable(w, QStringLiteral("3.4.1"), QStringLiteral("https://example.org/dl"), QString());
    ASSERT_EQ(prompts.calls().size(), 1u);
    EXPECT_EQ(prompts.last()->buttons, (QStringList{"Open Downloads...", "Ignore This Version", "Later"}));
    EXPECT_EQ(AppSettings::ignoredVersion().toStdString(), "3.4.1");

    // The server's address on the download host is opened as sent.
    const QString host = ServiceEndpoints::defaultDownloadPage().host();
    prompts.answerMessage(QStringLiteral("Open Downloads..."));
    Access::onUpdateAvailable(w, QStringLiteral("3.4.2"), QStringLiteral("https://%1/dl page").arg(host), QString());
    ASSERT_EQ(prompts.count(Kind::Url), 1);
    EXPECT_EQ(prompts.last()->text, QStringLiteral("https://%1/dl%20page").arg(host));
    EXPECT_EQ(AppSettings::ignoredVersion().toStdString(), "3.4.1");

    prompts.answerMessage(QStringLiteral("Later"));
    Access::onUpdateAvailable(w, QStringLiteral("3.4.3"), QStringLiteral("https://example.org/dl"), QString());
    EXPECT_EQ(prompts.count(Kind::Url), 1);
    EXPECT_EQ(AppSettings::ignoredVersion().toStdString(), "3.4.1");
}

TEST(MainWindowTest, OneErrorBoxAtATime)
{
    Tervane3::Test::MainWindowEnvironment env;
    ScriptedPrompts& prompts = *env.prompts;
    MainWindow w;
    // While the first box is open, two more errors arrive (as they would from its event loop).
    int nested = 0;
    prompts.whileOpen = [&](const ScriptedPrompts::Call&) {
        if (nested++ == 0) {
            EXPECT_TRUE(Access::errorBoxOpen(w));
            w.onUnhandledException(QStringLiteral("Unexpected Error"), QStringLiteral("second"));
            w.onUnhandledException(QStringLiteral("File / Data Error"), QStringLiteral("third"));
        }
    };
    w.onUnhandledException(QStringLiteral("Unexpected Error"), QStringLiteral("first"));
    ASSERT_EQ(prompts.calls().size(), 1u);
    const ScriptedPrompts::Call& box = prompts.calls().front();
    EXPECT_EQ(box.icon, Prompts::Icon::Critical);
    EXPECT_EQ(box.title.toStdString(), "Unexpected Error");
    EXPECT_EQ(box.text.toStdString(),
              "An unexpected error occurred:\n\nfirst\n\nYou can send a diagnostic report to help us fix this.");
    EXPECT_EQ(box.buttons, (QStringList{"Send Feedback...", "Close"}));
    EXPECT_FALSE(Access::errorBoxOpen(w));

    // Once closed, the next error is shown again; "Send Feedback..." opens the report.
    prompts.whileOpen = nullptr;
    prompts.answerMessage(QStringLiteral("Send Feedback..."));
    w.onUnhandledException(QStringLiteral("File / Data Error"), QStringLiteral("fourth"));
    ASSERT_EQ(prompts.calls().size(), 3u);
    EXPECT_EQ(prompts.calls()[1].title.toStdString(), "File / Data Error");
    EXPECT_EQ(prompts.calls()[2].kind, Kind::Dialog);
}

TEST(MainWindowTest, DiagnosticsSummary)
{
    Tervane3::Test::MainWindowEnvironment env;
    MainWindow w;
    EXPECT_EQ(w.buildDiagnosticsSummary().toStdString(), "Datasets: 0\n");

    DatasetEntry& first = Access::addEntry(w, 0);
    first.featuresLoaded = true;
    first.metadata.experiment = {{"sample", "Blood donor 7"}};
    first.metadata.setup = {{"flow rate", "0.160000"}, {"channel width", "20"}, {"Medium", "TavrisolB"}};
    first.metadata.offlineFilter = {{"area_um min", "1"}};
    first.metadata.fluorescence = {{"laser 1 power", "5"}};
    first.metadata.exportInfo = {{"changed sample name", "renamed"}, {"filename", "x.rtdc"}};
    first.filter.setEnabled(false);
    FilterRule range;
    range.type = RangeRule;
    range.featureName = "area_um";
    range.minValue = 0.5;
    range.maxValue = 1234567;
    FilterRule polygon;
    polygon.type = PolygonRule;
    polygon.featureName = "deform";
    polygon.featureNameY = "area_um";
    polygon.polygonVertices = {{0, 0}, {1, 0}, {1, 1}};
    polygon.inverted = true;
    first.filter.addRule(range);
    first.filter.addRule(polygon);
    first.ctcApplied = true;
    first.emodApplied = true;

    DatasetEntry& second = Access::addEntry(w, 1);
    QTemporaryDir dir;
    second.reader = tinyMeasurement(dir.filePath(QStringLiteral("m.rtdc")), 5, false);
    second.flRefinementApplied = true;
    second.fourierApplied = true;
    Access::plottedIndicesValid(w) = true;

    EXPECT_EQ(w.buildDiagnosticsSummary().toStdString(),
              "Datasets: 2\n"
              "Global filter: active\n"
              "\n--- Dataset 1 ---\n"
              "Loaded: yes\n"
              "[experiment]\n"
              "[setup]\n"
              "  Medium: TavrisolB\n"
              "  channel width: 20\n"
              "  flow rate: 0.160000\n"
              "[fluorescence]\n"
              "  laser 1 power: 5\n"
              "[export]\n"
              "  filename: x.rtdc\n"
              "Filter rules (2, enabled=no):\n"
              "  range area_um [0.5, 1.23457e+06]\n"
              "  polygon deform/area_um (3 verts) [inverted]\n"
              "Calculations: crosstalk-compensation, emodulus\n"
              "\n--- Dataset 2 ---\n"
              "Events: 5\n"
              "Loaded: no\n"
              "Calculations: fl-refinement, fourier-deformation\n");
}
