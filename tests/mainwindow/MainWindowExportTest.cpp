// The exports inside the main window: the menu entry reaches the dialog with the options of
// the previous export, and the events come from the window's effective filter, filter
// groups included; the plot picture leaves out the highlight and the gates, which the plot
// on screen shows again afterwards.
#include "MainWindowTestAccess.h"

#include "core/RTDCReader.h"
#include "io/ExportDialog.h"
#include "io/PlotFileExport.h"
#include "plots/ScatterPlot.h"
#include "support/RuleBuilders.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

QAction* action(MainWindow& w, const char* name)
{
    return w.findChild<QAction*>(QLatin1String(name));
}

ExportDialog* openExportDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ExportDialog*>(widget))
            return dialog;
    return nullptr;
}

TEST(MainWindowExportTest, ExportDataHonoursFilterGroupsAndRemembersTheOptions)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cells.rtdc"));
    Measurement m = smallMeasurement(); // area_um 10 .. 60
    writeMeasurement(path.toStdString(), m);
    MainWindow w;
    Access::addDataset(w, path);
    ASSERT_TRUE(waitForCaching(w));

    const int group = w.addFilterGroup("middle");
    w.addRuleToGroup(group, rangeRule("area_um", 25, 45));
    w.setGroupEnabled(Access::entry(w, 0).id, group, true);

    ScriptedPrompts& prompts = *env.prompts;
    prompts.answerDialog(QDialog::Accepted);
    prompts.whileOpen = [](const ScriptedPrompts::Call& call) {
        if (call.kind == ScriptedPrompts::Kind::Dialog)
            openExportDialog()->findChild<QCheckBox*>(QStringLiteral("feature_bright_avg"))->setChecked(false);
    };
    action(w, "exportDataAction")->trigger();
    EXPECT_EQ(prompts.last()->text.toStdString(), "Dataset exported successfully.");
    RTDCReader copy;
    ASSERT_TRUE(copy.open(dir.filePath(QStringLiteral("TN3export_cells.rtdc")).toStdString()));
    EXPECT_EQ(copy.getFeature("area_um"), (std::vector<double>{30, 40}));
    EXPECT_FALSE(copy.hasFeature("bright_avg"));
    EXPECT_EQ(copy.readMetadata().value("offline_filter", "area_um min"), "25.000000");

    // The next dialog starts from these options; cancelled, it writes nothing.
    bool brightChecked = true;
    prompts.whileOpen = [&](const ScriptedPrompts::Call& call) {
        if (call.kind == ScriptedPrompts::Kind::Dialog)
            brightChecked = openExportDialog()->findChild<QCheckBox*>(QStringLiteral("feature_bright_avg"))->isChecked();
    };
    action(w, "exportDataAction")->trigger();
    EXPECT_FALSE(brightChecked);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("TN3export_cells_2.rtdc"))));
}

// Pixels of the highlight's yellow and of a gate's red outline.
struct MarkPixels
{
    int highlight = 0;
    int gate = 0;
};

MarkPixels countMarks(const QString& png)
{
    QImage image;
    EXPECT_TRUE(image.load(png, "PNG")) << png.toStdString();
    MarkPixels marks;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 230 && c.green() > 170 && c.green() < 230 && c.blue() < 60)
                ++marks.highlight;
            else if (c.red() > 200 && c.green() < 150 && c.blue() < 150)
                ++marks.gate;
        }
    return marks;
}

class MainWindowPlotExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.filePath(QStringLiteral("cells.rtdc")).toStdString();
        {
            RtdcFixture f(path);
            f.addColumn<double>("area_um", {10, 20, 30, 40, 50, 60});
            f.addColumn<double>("deform", {0.01, 0.02, 0.03, 0.04, 0.05, 0.06});
            f.addFrames("image", std::vector<std::uint8_t>(6 * 4 * 5, 9), 6, 4, 5);
        }
        w.resize(1200, 800);
        w.show();
        Access::addDataset(w, QString::fromStdString(path));
        ASSERT_TRUE(waitForCaching(w));
        ASSERT_TRUE(Access::selectKey(Access::combo(w, "xFeatureCombo"), QStringLiteral("area_um")));
        ASSERT_TRUE(Access::selectKey(Access::combo(w, "yFeatureCombo"), QStringLiteral("deform")));
        // A gate around every event, and the third event current.
        Access::entry(w, 0).filter.addRule(
            polygonRule("area_um", "deform", {{0, 0}, {100, 0}, {100, 0.1}, {0, 0.1}}));
        Access::entry(w, 0).currentEventIndex = 2;
        Access::updatePlot(w);
        plot = Access::scatterPlot(w);
        ASSERT_EQ(plot->highlightedPoint(), 2);
        ASSERT_EQ(plot->filterPolygonItems().size(), 1u);
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void exportAs(const QString& name, const QString& filter)
    {
        env.prompts->answerFiles({name}, filter);
        action(w, "exportPlotAction")->trigger();
    }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
    ScatterPlot* plot = nullptr;
};

TEST_F(MainWindowPlotExportTest, PictureWithoutHighlightAndGates)
{
    // What the picture would show with both: rendered from the plot as it is on screen.
    ASSERT_TRUE(exportPlotFile(plot, file("reference.png")));
    const MarkPixels shown = countMarks(file("reference.png"));
    ASSERT_GT(shown.highlight, 20);
    ASSERT_GT(shown.gate, 20);

    exportAs(file("p.png"), QStringLiteral("PNG Image (*.png)"));
    EXPECT_EQ(env.prompts->calls()[0].title.toStdString(), "Export Plot");
    EXPECT_EQ(env.prompts->calls()[0].filter.toStdString(), "PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
    const MarkPixels exported = countMarks(file("p.png"));
    EXPECT_EQ(exported.highlight, 0);
    EXPECT_EQ(exported.gate, 0);
    // The plot on screen shows both again.
    EXPECT_EQ(plot->highlightedPoint(), 2);
    EXPECT_EQ(plot->filterPolygonItems().size(), 1u);
}

TEST_F(MainWindowPlotExportTest, NamesCancelAndFailure)
{
    // A name without extension takes the chosen filter's.
    exportAs(file("p"), QStringLiteral("SVG Vector (*.svg)"));
    QFile svg(file("p.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));
    EXPECT_FALSE(QFile::exists(file("p")));

    // Regression: a typed offered extension chooses the format ("x.pdf" became "x.pdf.png").
    exportAs(file("typed.pdf"), QStringLiteral("PNG Image (*.png)"));
    QFile pdf(file("typed.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(4) == "%PDF");
    EXPECT_FALSE(QFile::exists(file("typed.pdf.png")));

    // Cancelled: nothing written, the plot unchanged.
    env.prompts->clear();
    action(w, "exportPlotAction")->trigger();
    EXPECT_EQ(env.prompts->calls().size(), 1u);
    EXPECT_EQ(plot->highlightedPoint(), 2);
    EXPECT_EQ(plot->filterPolygonItems().size(), 1u);

    // A folder that cannot exist (a file in its place; tests run as root).
    const QString below = file("cells.rtdc") + QStringLiteral("/p.png");
    exportAs(below, QStringLiteral("PNG Image (*.png)"));
    EXPECT_EQ(env.prompts->last()->title.toStdString(), "Export Error");
    EXPECT_EQ(env.prompts->last()->text, QStringLiteral("Failed to export the plot to: %1").arg(below));
    EXPECT_EQ(plot->filterPolygonItems().size(), 1u);
}

TEST_F(MainWindowPlotExportTest, FilteredOutCurrentEventStaysWithoutHighlight)
{
    Access::entry(w, 0).filter.addRule(rangeRule("area_um", 35, 100)); // events 3, 4, 5
    Access::updatePlot(w);
    Access::eventSpin(w)->setValue(1); // shown in the views, not on the plot
    ASSERT_EQ(Access::entry(w, 0).currentEventIndex, 1);
    ASSERT_EQ(plot->highlightedPoint(), -1);
    exportAs(file("p.png"), QStringLiteral("PNG Image (*.png)"));
    EXPECT_TRUE(QFile::exists(file("p.png")));
    EXPECT_EQ(plot->highlightedPoint(), -1);
    EXPECT_EQ(plot->filterPolygonItems().size(), 1u);
}

} // namespace
