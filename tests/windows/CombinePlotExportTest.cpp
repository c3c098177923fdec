// Export of the combine plots at physical size (grid PNG, SVG, PDF, one file per plot),
// its failures, the export preview, and the statistics TSV as UTF-8 bytes.
#include "CombineTestSupport.h"

#include "windows/AspectRatioLabel.h"
#include "windows/FractionalPenScaleDraw.h"

#include <qwt_plot.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTextCodec>

namespace Tervane3 {
namespace {

using Test::CombineWindowFixture;
using Test::rampColumns;
using Test::rangeRule;

class CombinePlotExportTest : public CombineWindowFixture
{
protected:
    void addDatasets(int n)
    {
        for (int i = 0; i < n; ++i)
            window->addDataset(addFile("d" + std::to_string(i) + ".rtdc", rampColumns(30), QStringLiteral("D%1").arg(i))->id);
        flush();
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray read(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void exportTo(const QString& file, const QString& filter, const char* mode = nullptr)
    {
        prompts->answerFiles({file}, filter);
        if (mode)
            prompts->answerMessage(QString::fromLatin1(mode));
        window->exportPlots();
    }
};

const QString kPngFilter = QStringLiteral("PNG Image (*.png)");

TEST_F(CombinePlotExportTest, GridPngAtPhysicalSize)
{
    // Three plots of 100 x 100 mm in a 2 x 2 grid with 10 mm gaps: 210 mm at 150 dpi.
    addDatasets(3);
    exportTo(path("grid.png"), kPngFilter, "Single Grid Image");
    ASSERT_EQ(prompts->countTitled(QStringLiteral("Export Mode")), 1);
    const QImage image(path("grid.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1240, 1240));
    EXPECT_EQ(image.dotsPerMeterX(), 5906);
    EXPECT_EQ(image.pixelColor(1200, 1200), QColor(Qt::white)) << "the fourth cell stays white";
    EXPECT_EQ(prompts->countTitled(QStringLiteral("Export Error")), 0);
}

TEST_F(CombinePlotExportTest, GridSvgAndPdfHaveTheTrueSize)
{
    addDatasets(3);
    exportTo(path("grid.svg"), QStringLiteral("SVG Vector (*.svg)"), "Single Grid Image");
    const QString svg = QString::fromUtf8(read(path("grid.svg")));
    const QRegularExpressionMatch width = QRegularExpression(QStringLiteral("width=\"([0-9.]+)mm\"")).match(svg);
    ASSERT_TRUE(width.hasMatch()) << svg.left(400).toStdString();
    EXPECT_NEAR(width.captured(1).toDouble(), 210.0, 0.2);
    const QRegularExpressionMatch box = QRegularExpression(QStringLiteral("viewBox=\"0 0 ([0-9.]+) ([0-9.]+)\"")).match(svg);
    ASSERT_TRUE(box.hasMatch());
    EXPECT_NEAR(box.captured(1).toDouble(), 210.0 * 90 / 25.4, 0.5);

    exportTo(path("grid.pdf"), QStringLiteral("PDF Document (*.pdf)"), "Single Grid Image");
    const QByteArray pdf = read(path("grid.pdf"));
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    // 210 mm is 595.3 pt (the writer rounds the page to whole points).
    const int at = pdf.indexOf(QByteArray("/MediaBox ["));
    ASSERT_GE(at, 0);
    const QList<QByteArray> mediaBox = pdf.mid(at + 11, pdf.indexOf(']', at) - at - 11).simplified().split(' ');
    ASSERT_EQ(mediaBox.size(), 4);
    EXPECT_NEAR(mediaBox[2].toDouble(), 595.3, 1.0);
    EXPECT_NEAR(mediaBox[3].toDouble(), 595.3, 1.0);
}

TEST_F(CombinePlotExportTest, IndividualPlotsAndSinglePlot)
{
    addDatasets(3);
    const int rebuilds = window->rebuildCount();
    exportTo(path("fig.png"), kPngFilter, "Individual Plots");
    for (const char* name : {"fig_1.png", "fig_2.png", "fig_3.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(QImage(path(name)).size(), QSize(590, 590));
    }
    EXPECT_FALSE(QFileInfo::exists(path("fig.png")));
    EXPECT_EQ(window->rebuildCount(), rebuilds + 1) << "the plots on screen are rebuilt after an export";

    exportTo(path("cancelled.png"), kPngFilter, "Cancel");
    EXPECT_FALSE(QFileInfo::exists(path("cancelled.png")));

    // One plot: no question. Regression: an upper-case suffix wrote nothing.
    prompts->answerMessage(QStringLiteral("OK"));
    child<QComboBox>("displayCombo")->setCurrentIndex(2);
    flush();
    prompts->clear();
    exportTo(path("FIG.PNG"), kPngFilter);
    EXPECT_EQ(prompts->countTitled(QStringLiteral("Export Mode")), 0);
    QImageReader reader(path("FIG.PNG"));
    EXPECT_EQ(reader.format(), QByteArray("png"));
    EXPECT_EQ(reader.size(), QSize(590, 590));

    // A name without extension takes the selected filter's.
    exportTo(path("noext"), QStringLiteral("SVG Vector (*.svg)"));
    EXPECT_TRUE(QFileInfo::exists(path("noext.svg")));
    // Regression: a typed ".pdf" with PNG selected became "typed.pdf.png".
    exportTo(path("typed.pdf"), kPngFilter);
    EXPECT_TRUE(read(path("typed.pdf")).startsWith("%PDF"));
    EXPECT_FALSE(QFileInfo::exists(path("typed.pdf.png")));
}

TEST_F(CombinePlotExportTest, UnwritablePathShowsExportError)
{
    addDatasets(1);
    QFile blocker(path("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString bad = path("file") + QStringLiteral("/x.png");
    exportTo(bad, kPngFilter);
    ASSERT_EQ(prompts->countTitled(QStringLiteral("Export Error")), 1);
    EXPECT_TRUE(prompts->last()->text.contains(QStringLiteral("x.png")));
    EXPECT_FALSE(window->plotWidgets().empty()) << "the plots survive a failed export";
}

TEST_F(CombinePlotExportTest, PreviewFollowsTheSettings)
{
    addDatasets(2);
    auto* width = child<QSpinBox>("widthSpin");
    width->setValue(150);
    EXPECT_DOUBLE_EQ(window->currentExportSettings().plotWidthMm, 150.0);
    EXPECT_FALSE(window->rebuildPending()) << "without the preview only the settings change";
    window->setExportPreview(true);
    EXPECT_FALSE(child<QDockWidget>("exportDock")->isHidden());
    ASSERT_EQ(window->exportPreviewLabels().size(), 2u);
    AspectRatioLabel* label = window->exportPreviewLabels()[0];
    EXPECT_EQ(label->pixmap(Qt::ReturnByValue).size(), QSize(885, 590));
    EXPECT_DOUBLE_EQ(label->ratio(), 1.5);
    EXPECT_EQ(label->minimumSize(), QSize(300, 200));
    EXPECT_TRUE(window->plotWidgets()[0]->isHidden());

    // Half steps of the axis width reach the scale draw.
    child<QDoubleSpinBox>("axisWidthSpin")->setValue(1.5);
    EXPECT_TRUE(window->rebuildPending());
    flush();
    auto* draw = dynamic_cast<FractionalPenScaleDraw*>(window->plotWidgets()[0]->axisScaleDraw(QwtPlot::xBottom));
    ASSERT_TRUE(draw);
    EXPECT_DOUBLE_EQ(draw->penWidthF(), 1.5);

    window->setExportPreview(false);
    flush();
    EXPECT_TRUE(window->exportPreviewLabels().empty());
    EXPECT_TRUE(child<QDockWidget>("exportDock")->isHidden());
    EXPECT_FALSE(window->plotWidgets()[0]->isHidden());
}

TEST_F(CombinePlotExportTest, StatisticsTsvIsUtf8UnderALatin1Locale)
{
    addDatasets(1);
    child<QDockWidget>("statsDock")->show();
    flush();
    QTextCodec* previous = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    prompts->answerFiles({path("stats")}, QStringLiteral("Tab-Separated Values (*.tsv)"));
    window->exportStatistics();
    QTextCodec::setCodecForLocale(previous);
    ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::SaveFileName), 1);
    EXPECT_TRUE(prompts->last()->text.endsWith(QStringLiteral("/plot_statistical_summary.tsv")));
    EXPECT_EQ(QFileInfo(prompts->last()->text).absolutePath(), dir.path());
    const QByteArray bytes = read(path("stats.tsv"));
    ASSERT_FALSE(bytes.isEmpty());
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("Dataset\tN\tArea [\xC2\xB5m\xC2\xB2] Mean\t")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("D0\t30\t24.5\t")) << lines[1].toStdString();
    EXPECT_EQ(lines[0].count('\t'), 13);

    const QString bad = path("stats.tsv") + QStringLiteral("/x.tsv");
    prompts->answerFiles({bad}, QStringLiteral("Tab-Separated Values (*.tsv)"));
    window->exportStatistics();
    EXPECT_EQ(prompts->countTitled(QStringLiteral("Export Error")), 1);
}

// Regression: with the dock hidden the export wrote the table of its last showing (or, never
// shown, nothing at all), so a filter changed meanwhile left stale counts in the file.
TEST_F(CombinePlotExportTest, StatisticsTsvFollowsThePlotsWhileTheDockIsHidden)
{
    addDatasets(1);
    auto firstRow = [this] {
        const QList<QByteArray> lines = read(path("stats.tsv")).split('\n');
        return lines.size() > 1 ? lines[1] : QByteArray();
    };
    prompts->answerFiles({path("stats.tsv")}, QStringLiteral("Tab-Separated Values (*.tsv)"));
    window->exportStatistics();
    EXPECT_TRUE(firstRow().startsWith("D0\t30\t24.5\t")) << firstRow().toStdString();

    auto* dock = child<QDockWidget>("statsDock");
    dock->show();
    flush();
    dock->hide();
    // Events 0 .. 9 (area 10 .. 19) pass from now on.
    host.entries.front()->filter.addRule(rangeRule("area_um", 10, 19));
    window->refresh();
    flush();
    prompts->answerFiles({path("stats.tsv")}, QStringLiteral("Tab-Separated Values (*.tsv)"));
    window->exportStatistics();
    EXPECT_TRUE(firstRow().startsWith("D0\t10\t14.5\t")) << firstRow().toStdString();
}

} // namespace
} // namespace Tervane3
