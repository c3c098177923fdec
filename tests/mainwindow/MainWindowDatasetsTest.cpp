// Opening measurements: the order of several chosen paths, display names, ids, already open
// and unreadable files, and the filter and plot settings a new dataset takes over.
#include "MainWindowTestAccess.h"

#include "app/ElidedLabel.h"
#include "app/RichTextItemDelegate.h"
#include "core/RTDCReader.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/HierarchicalPathLess.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

TEST(MainWindowDatasetsTest, HierarchicalPathOrder)
{
    struct Case
    {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"/d/a/y.rtdc", "/d/B/x.rtdc", true},     // folder a before folder B, without regard to case
        {"/d/B/x.rtdc", "/d/a/y.rtdc", false},
        {"/d/a/b/z.rtdc", "/d/a/y.rtdc", true},   // below /d/a the folder b sorts before the file y.rtdc
        {"/d/a", "/d/a/x.rtdc", true},            // a prefix comes first
        {"/d/a/x.rtdc", "/d/a", false},
        {"/d//a/x.rtdc", "/d/a/x.rtdc", false},   // empty parts are dropped: equal lists
        {"/d/A/x.rtdc", "/d/a/x.rtdc", false},    // equal without regard to case
        {"", "/x", true},
        {"", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " < " + c.b);
        EXPECT_EQ(hierarchicalPathLess(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.less);
    }
}

TEST(MainWindowDatasetsTest, SeveralFilesOpenInComponentOrder)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* sub : {"d/B", "d/a/b"})
        ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(sub)));
    const QStringList chosen = {root + "/d/B/x.rtdc", root + "/d/a/y.rtdc", root + "/d/a/b/z.rtdc"};
    for (const QString& path : chosen)
        writeMeasurement(path.toStdString(), smallMeasurement());

    MainWindow w;
    env.prompts->answerFiles(chosen);
    w.openFile();
    // The first file is listed and shown as loading at once; the others wait for its caching.
    ASSERT_EQ(w.datasets().size(), 1u);
    EXPECT_TRUE(Access::infoLabel(w)->text().startsWith(QStringLiteral("Loading: z.rtdc")));
    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(w.datasets().size(), 3u);
    const std::vector<QString> expected = {root + "/d/a/b/z.rtdc", root + "/d/a/y.rtdc", root + "/d/B/x.rtdc"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(QString::fromStdString(w.datasets()[i]->filePath), expected[i]);
    EXPECT_EQ(env.prompts->calls().front().title, QStringLiteral("Open RT-DC File(s)"));
    EXPECT_EQ(env.prompts->calls().front().filter, QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
}

TEST(MainWindowDatasetsTest, DisplayNames)
{
    struct Case
    {
        const char* name;
        std::map<std::string, std::string> attributes;
        QString expected;
    };
    const Case cases[] = {
        {"changed sample name first", {{"export:changed sample name", "Renamed"}, {"experiment:sample", "S1"}}, "Renamed"},
        {"empty changed name falls through", {{"export:changed sample name", ""}, {"experiment:sample", "S1"}}, "S1"},
        {"sample", {{"experiment:sample", "Blood 3"}}, "Blood 3"},
        {"empty sample gives the file name", {{"experiment:sample", ""}}, "m.rtdc"},
        {"no metadata", {}, "m.rtdc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindowEnvironment env;
        QTemporaryDir dir;
        Measurement m = smallMeasurement();
        m.attributes = c.attributes;
        const QString path = dir.filePath("m.rtdc");
        writeMeasurement(path.toStdString(), m);
        MainWindow w;
        Access::addDataset(w, path);
        ASSERT_EQ(w.datasets().size(), 1u);
        EXPECT_EQ(w.datasets()[0]->displayName, c.expected);
        ASSERT_TRUE(waitForCaching(w));
    }
}

TEST(MainWindowDatasetsTest, IdsFailuresAndAlreadyOpenFiles)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    const QString good1 = dir.filePath("one.rtdc");
    const QString good2 = dir.filePath("two.rtdc");
    const QString bad = dir.filePath("broken.rtdc");
    writeMeasurement(good1.toStdString(), smallMeasurement());
    writeMeasurement(good2.toStdString(), smallMeasurement());
    writeNonHdf5File(bad.toStdString());

    MainWindow w;
    auto* list = w.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
    Access::addDataset(w, good1);
    ASSERT_TRUE(waitForCaching(w));
    {
        ExpectQtWarnings logged;
        Access::addDataset(w, bad);
        EXPECT_EQ(logged.count(), 1);
    }
    ASSERT_EQ(env.prompts->countTitled(QStringLiteral("Error")), 1);
    EXPECT_EQ(env.prompts->last()->text, QStringLiteral("Failed to open: ") + bad
                                             + QStringLiteral("\nIt is not an HDF5 file, so it cannot be an RT-DC measurement."));
    EXPECT_EQ(w.datasets().size(), 1u);
    EXPECT_EQ(list->currentRow(), 0);
    Access::addDataset(w, good2);
    ASSERT_TRUE(waitForCaching(w));
    ASSERT_EQ(w.datasets().size(), 2u);
    // The failed open used up an id.
    EXPECT_EQ(w.datasets()[1]->id - w.datasets()[0]->id, 2);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->data(Qt::UserRole).toInt(), w.datasets()[1]->id);
    EXPECT_EQ(list->item(1)->toolTip(), good2);
    EXPECT_EQ(w.findDatasetByPath(good2.toStdString()), w.datasets()[1].get());
    EXPECT_EQ(w.activeDatasetId(), w.datasets()[1]->id);

    // Opening an open path again only selects its row: no entry, no id.
    const int nextId = Access::nextDatasetId(w);
    Access::addDataset(w, good1);
    EXPECT_EQ(w.datasets().size(), 2u);
    EXPECT_EQ(Access::nextDatasetId(w), nextId);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(w.activeDatasetId(), w.datasets()[0]->id);

    // The same file under another spelling is a second dataset.
    Access::addDataset(w, dir.path() + "/./one.rtdc");
    ASSERT_TRUE(waitForCaching(w));
    EXPECT_EQ(w.datasets().size(), 3u);
}

FilterRule rangeRule(const std::string& feature, const std::string& propagationId)
{
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = 0;
    rule.maxValue = 1;
    rule.propagationId = propagationId;
    return rule;
}

TEST(MainWindowDatasetsTest, FilterTakeover)
{
    struct Case
    {
        const char* name;
        bool enabledA, enabledB;
        int modeA, modeB;
        bool expectedEnabled;
        int expectedMode;
    };
    const Case cases[] = {
        {"all agree", false, false, 1, 1, false, 1},
        {"enabled flags differ", false, true, 1, 1, true, 1},
        {"combine modes differ", false, false, 1, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindowEnvironment env;
        QTemporaryDir dir;
        for (const char* name : {"a.rtdc", "b.rtdc", "c.rtdc"})
            writeMeasurement(dir.filePath(name).toStdString(), smallMeasurement());
        MainWindow w;
        Access::addDataset(w, dir.filePath("a.rtdc"));
        ASSERT_TRUE(waitForCaching(w));
        Access::addDataset(w, dir.filePath("b.rtdc"));
        ASSERT_TRUE(waitForCaching(w));
        DatasetEntry& a = Access::entry(w, 0);
        DatasetEntry& b = Access::entry(w, 1);
        a.filter.setEnabled(c.enabledA);
        a.filter.setCombineMode(c.modeA);
        a.filter.addRule(rangeRule("deform", "shared-1"));
        a.filter.addRule(rangeRule("area_um", ""));
        a.filter.addRule(rangeRule("bright_avg", "shared-2"));
        b.filter.setEnabled(c.enabledB);
        b.filter.setCombineMode(c.modeB);
        Access::activate(w, 0);

        Access::addDataset(w, dir.filePath("c.rtdc"));
        const DatasetEntry& added = Access::entry(w, 2);
        EXPECT_EQ(added.filter.isEnabled(), c.expectedEnabled);
        EXPECT_EQ(added.filter.combineMode(), c.expectedMode);
        // Only the rules with a propagation id, in the reference's order.
        ASSERT_EQ(added.filter.ruleCount(), 2);
        EXPECT_EQ(added.filter.rules[0].propagationId, "shared-1");
        EXPECT_EQ(added.filter.rules[1].propagationId, "shared-2");
        ASSERT_TRUE(waitForCaching(w));
    }
}

TEST(MainWindowDatasetsTest, FirstDatasetTakesOverNothing)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    const DatasetEntry& a = Access::entry(w, 0);
    EXPECT_TRUE(a.filter.isEnabled());
    EXPECT_TRUE(a.xFeatureName.empty());
    EXPECT_EQ(a.contourMode, 0);
    ASSERT_TRUE(waitForCaching(w));
}

TEST(MainWindowDatasetsTest, PlotSettingsTakeover)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    Measurement withoutBrightness = smallMeasurement();
    withoutBrightness.columns.erase("bright_avg");
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), withoutBrightness);
    writeMeasurement(dir.filePath("c.rtdc").toStdString(), smallMeasurement());

    MainWindow w;
    Access::addDataset(w, dir.filePath("a.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    // The reference's values come from its entry, not from the widgets.
    DatasetEntry& a = Access::entry(w, 0);
    a.xFeatureName = "bright_avg";
    a.yFeatureName = "deform";
    a.colorFeatureName = "__density_kde__";
    a.scaleXMode = 1;
    a.scaleYMode = 2;
    a.contourMode = 1;
    a.contourFraction1 = 0.2;
    a.contourFraction2 = 0.8;

    // One other dataset only: the settings count as shared. The missing x feature stays
    // empty; the density colouring goes along although no feature has that name.
    Access::addDataset(w, dir.filePath("b.rtdc"));
    {
        const DatasetEntry& b = Access::entry(w, 1);
        EXPECT_EQ(b.xFeatureName, "");
        EXPECT_EQ(b.yFeatureName, "deform");
        EXPECT_EQ(b.colorFeatureName, "__density_kde__");
        EXPECT_EQ(b.scaleXMode, 1);
        EXPECT_EQ(b.scaleYMode, 2);
        EXPECT_EQ(b.contourMode, 1);
        EXPECT_DOUBLE_EQ(b.contourFraction1, 0.2);
        EXPECT_DOUBLE_EQ(b.contourFraction2, 0.8);
    }
    ASSERT_TRUE(waitForCaching(w));

    // With b active, a differs from the widgets: the third dataset keeps its defaults.
    Access::entry(w, 0).xFeatureName = "bright_avg";
    Access::addDataset(w, dir.filePath("c.rtdc"));
    const DatasetEntry& c = Access::entry(w, 2);
    EXPECT_EQ(c.xFeatureName, "");
    EXPECT_EQ(c.colorFeatureName, "");
    EXPECT_EQ(c.scaleXMode, 0);
    EXPECT_EQ(c.contourMode, 0);
    ASSERT_TRUE(waitForCaching(w));
}

TEST(MainWindowDatasetsTest, ApplyPlotSettingsToAll)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    writeMeasurement(dir.filePath("a.rtdc").toStdString(), smallMeasurement());
    Measurement withoutBrightness = smallMeasurement();
    withoutBrightness.columns.erase("bright_avg");
    writeMeasurement(dir.filePath("b.rtdc").toStdString(), withoutBrightness);
    MainWindow w;
    auto* button = w.findChild<QPushButton*>(QStringLiteral("applyPlotSettingsButton"));
    Access::addDataset(w, dir.filePath("a.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    EXPECT_FALSE(button->isEnabled());
    Access::addDataset(w, dir.filePath("b.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    EXPECT_TRUE(button->isEnabled());
    Access::activate(w, 0);

    ASSERT_TRUE(Access::selectKey(Access::combo(w, "xFeatureCombo"), "bright_avg"));
    ASSERT_TRUE(Access::selectKey(Access::combo(w, "colorFeatureCombo"), "__density_kde__"));
    Access::combo(w, "yScaleCombo")->setCurrentIndex(2);
    Access::combo(w, "contourModeCombo")->setCurrentIndex(2);
    // b now differs from what the widgets show: the button is highlighted.
    Access::updatePlot(w);
    EXPECT_FALSE(button->styleSheet().isEmpty());

    button->click();
    const DatasetEntry& b = Access::entry(w, 1);
    EXPECT_EQ(b.xFeatureName, "area_um"); // b has no brightness: its own x stays
    EXPECT_EQ(b.colorFeatureName, "__density_kde__");
    EXPECT_EQ(b.scaleYMode, 2);
    EXPECT_EQ(b.contourMode, 2);
    // b still shows another x feature than the widgets, so the button stays highlighted.
    EXPECT_FALSE(button->styleSheet().isEmpty());
}


TEST(MainWindowDatasetsTest, ALongNameIsShortenedWhileTheCountsStayWhole)
{
    // Catches the info line eliding its middle, which cut the event counts of a long name in
    // a narrow window; dataset rows cut at the dock's edge without "…" (scrolled sideways);
    // and a row tooltip with the file path only, while the manual promises the whole name.
    MainWindowEnvironment env;
    QTemporaryDir dir;
    const QString name = QStringLiteral("HL60 control, channel 20 um, 0.16 uL/s, afternoon series with the new "
                                        "buffer batch <b>&amp; a second dilution</b>, run 3 of 5");
    Measurement m = smallMeasurement();
    m.attributes["experiment:sample"] = name.toStdString();
    m.attributes["experiment:run index"] = "3";
    m.attributes["setup:flow rate"] = "0.160000";
    m.attributes["setup:chip region"] = "reservoir";
    const QString path = dir.filePath(QStringLiteral("long.rtdc"));
    writeMeasurement(path.toStdString(), m);
    MainWindow w;
    w.show();
    Access::addDataset(w, path);
    ASSERT_TRUE(waitForCaching(w));
    // As narrow as the window goes.
    w.resize(w.minimumSizeHint().width(), w.height());
    QCoreApplication::processEvents();

    auto* info = qobject_cast<ElidedLabel*>(Access::infoLabel(w));
    ASSERT_NE(info, nullptr);
    const QString counts = QStringLiteral(" (0.16 µL/s, Reservoir, #3, 6/6 events shown (100.0% pass filter))");
    ASSERT_EQ(info->text(), QStringLiteral("Loaded: ") + name + counts);
    const QString shown = info->shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Loaded: HL60"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026) + counts)) << shown.toStdString();
    EXPECT_LE(info->fontMetrics().horizontalAdvance(shown), info->contentsRect().width());
    // The name field shows the name's beginning too (it showed its end).
    auto* nameEdit = w.findChild<QLineEdit*>(QStringLiteral("datasetNameEdit"));
    ASSERT_NE(nameEdit, nullptr);
    EXPECT_EQ(nameEdit->cursorPosition(), 0);

    auto* list = w.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
    ASSERT_NE(list, nullptr);
    QListWidgetItem* row = list->item(0);
    auto* delegate = qobject_cast<RichTextItemDelegate*>(list->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.font = list->font();
    option.rect = list->visualItemRect(row);
    // The row takes the list's width and no more: nothing to scroll to.
    EXPECT_LE(option.rect.right(), list->viewport()->width());
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    const QString rowText = delegate->shownText(option, list->model()->index(0, 0));
    EXPECT_TRUE(rowText.startsWith(QStringLiteral("HL60 control"))) << rowText.toStdString();
    EXPECT_TRUE(rowText.endsWith(QChar(0x2026))) << rowText.toStdString();
    EXPECT_LT(rowText.size(), name.size());

    // The tooltip: the whole row, the name as it is (no markup of its own), and the file.
    {
        ExpectQtWarnings raisedTip; // the offscreen platform cannot raise the tip
        const QPoint at = list->visualItemRect(row).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        ASSERT_TRUE(QToolTip::isVisible());
        QTextDocument tip;
        tip.setHtml(QToolTip::text());
        QToolTip::hideText();
        const QStringList lines = tip.toPlainText().replace(QChar::LineSeparator, QLatin1Char('\n')).split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2) << tip.toPlainText().toStdString();
        EXPECT_EQ(lines[0], name + QStringLiteral(" (0.16 µL/s, Reservoir, #3, 6 events)"));
        EXPECT_EQ(lines[1], path);
    }
}

} // namespace
