// The exports of the statistical evaluation window: plots stacked at a physical size as
// PNG, SVG and PDF (more pages beyond the page-height limit), tables as TSV and CSV with
// quoting, the ROC curve points of the last run, distribution plots into a folder, the
// refusals, and failures reported instead of success.
#include "StatEvalWindowFixture.h"

#include "stats/StatisticsExport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QRegularExpression>

using namespace Tervane3;
using Tervane3::Test::StatEvalWindowTest;

namespace {

const QString pngFilter = QStringLiteral("PNG Image (*.png)");
const QString svgFilter = QStringLiteral("SVG Vector (*.svg)");
const QString pdfFilter = QStringLiteral("PDF Document (*.pdf)");
const QString tsvFilter = QStringLiteral("Tab-separated values (*.tsv)");
const QString csvFilter = QStringLiteral("CSV (*.csv)");

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The page sizes of a PDF in points, from its media boxes.
std::vector<QSizeF> pdfPages(const QByteArray& pdf)
{
    std::vector<QSizeF> pages;
    const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    // All bytes: the QByteArray overload of fromLatin1 stops at the first NUL.
    auto it = box.globalMatch(QString::fromLatin1(pdf.constData(), pdf.size()));
    while (it.hasNext()) {
        const auto m = it.next();
        pages.emplace_back(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return pages;
}

double points(double mm)
{
    return mm / 25.4 * 72.0;
}

class StatisticalExportTest : public StatEvalWindowTest
{
protected:
    // Two categories of three datasets with these features (every feature the dataset's value).
    void categories(const std::vector<std::string>& keys)
    {
        for (size_t c = 0; c < 2; ++c)
            for (int i = 0; i < 3; ++i)
                panel(c)->addDataset(data.addValue(QStringLiteral("d%1").arg(named++), c * 10.0 + i, keys));
    }
    QString out(const QString& name) const { return dir.filePath(name); }
    QStringList errors() const { return boxes(QStringLiteral("Export Error")); }

    QTemporaryDir dir;
};

TEST_F(StatisticalExportTest, NothingToExportIsRefused)
{
    const std::vector<std::pair<void (StatisticalEvalWindow::*)(), QString>> cases = {
        {&StatisticalEvalWindow::exportPlots, "No plots to export. Run analysis first."},
        {&StatisticalEvalWindow::exportTable, "No results to export. Run analysis first."},
        {&StatisticalEvalWindow::exportROCPlots, "No ROC plots to export. Run ROC analysis first."},
        {&StatisticalEvalWindow::exportROCTable, "No ROC results to export. Run ROC analysis first."},
        {&StatisticalEvalWindow::exportROCData, "No ROC data to export. Run ROC analysis first."},
        {&StatisticalEvalWindow::exportDistributionPlots,
         "No distribution plots to export. Run distribution explorer first."},
    };
    for (const auto& [slot, text] : cases) {
        prompts->clear();
        (window.*slot)();
        ASSERT_EQ(prompts->calls().size(), 1u) << text.toStdString();
        EXPECT_EQ(prompts->last()->title, QStringLiteral("Export"));
        EXPECT_EQ(prompts->last()->text, text);
        EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Information);
    }
}

TEST_F(StatisticalExportTest, ComparisonPlotsAsPngAndPdf)
{
    categories({"area_um", "deform", "bright_avg"});
    select({"area_um"});
    widget<QPushButton>("runAnalysisButton")->click();
    ASSERT_EQ(window.comparisonPlots().size(), 1u);
    // One plot: 120 x 80 mm at 150 dpi; the extension comes from the selected filter.
    prompts->answerFiles({out(QStringLiteral("result"))}, pngFilter);
    window.exportPlots();
    EXPECT_EQ(prompts->last()->title, QStringLiteral("Export Plots"));
    EXPECT_EQ(QImage(out(QStringLiteral("result.png"))).size(), QSize(709, 472));
    // Regression: an upper-case suffix wrote nothing and reported nothing.
    prompts->answerFiles({out(QStringLiteral("UPPER.PNG"))}, pngFilter);
    window.exportPlots();
    EXPECT_EQ(QImage(out(QStringLiteral("UPPER.PNG"))).size(), QSize(709, 472));

    select({"area_um", "deform", "bright_avg"});
    widget<QPushButton>("runAnalysisButton")->click();
    ASSERT_EQ(window.comparisonPlots().size(), 3u);
    prompts->answerFiles({out(QStringLiteral("three.png"))}, pngFilter);
    window.exportPlots();
    // 3 x 80 + 2 x 8 = 256 mm at 150 dpi.
    const QImage three(out(QStringLiteral("three.png")));
    EXPECT_EQ(three.size(), QSize(708, 1511));
    // The gap between the first two plots stays white; the second starts at y 519.685.
    EXPECT_EQ(QColor(three.pixel(354, 480)), QColor(Qt::white));

    select({"area_um", "deform"});
    widget<QPushButton>("runAnalysisButton")->click();
    prompts->answerFiles({out(QStringLiteral("two.pdf"))}, pdfFilter);
    window.exportPlots();
    const std::vector<QSizeF> pages = pdfPages(contents(out(QStringLiteral("two.pdf"))));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NEAR(pages[0].width(), points(120), 0.5);
    EXPECT_NEAR(pages[0].height(), points(168), 0.5);
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(StatisticalExportTest, TallPdfContinuesOnFurtherPages)
{
    // Regression: 58 plots of 80 mm made one page of 5096 mm, beyond the 5080 mm common
    // readers open.
    categories({"area_um"});
    select({"area_um"});
    widget<QPushButton>("runAnalysisButton")->click();
    const std::vector<QwtPlot*> plots(58, window.comparisonPlots().at(0));
    ASSERT_TRUE(exportStackedPlots(plots, out(QStringLiteral("tall.pdf")), 80));
    const std::vector<QSizeF> pages = pdfPages(contents(out(QStringLiteral("tall.pdf"))));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NEAR(pages[0].height(), points(57 * 88 - 8), 0.5);
    EXPECT_NEAR(pages[1].height(), points(80), 0.5);
    ASSERT_TRUE(exportStackedPlots({plots.begin(), plots.begin() + 57}, out(QStringLiteral("fits.pdf")), 80));
    EXPECT_EQ(pdfPages(contents(out(QStringLiteral("fits.pdf")))).size(), 1u);
}

TEST_F(StatisticalExportTest, CurvePointsOfTheLastRun)
{
    categories({"area_um", "deform"});
    window.onAddCategory();
    for (int i = 0; i < 3; ++i)
        panel(2)->addDataset(data.addValue(QStringLiteral("e%1").arg(i), 5.0 + i, {"area_um", "deform"}));
    select({"area_um"});
    prompts->answerItem(2); // negative: Condition 2
    prompts->answerItem(0); // positive: Baseline
    widget<QPushButton>("runRocButton")->click();
    ASSERT_EQ(window.rocPlotList().size(), 1u);

    prompts->answerFiles({out(QStringLiteral("roc"))}, csvFilter);
    window.exportROCData();
    // The curve of the run: Condition 2 {5, 6, 7} against Baseline {0, 1, 2}, not the first two categories.
    const QByteArray expected = "# Negative: Condition 2, positive: Baseline, one value per dataset\n\n"
                                "# " + QString::fromStdString(data.host.entries.front()->reader->featureLabel("area_um")).toUtf8()
                                + "\nFPR,TPR,Threshold\n0,0,-1\n0,0.333333,0\n0,0.666667,1\n0,1,2\n0.333333,1,5\n"
                                  "0.666667,1,6\n1,1,7\n\n";
    EXPECT_EQ(contents(out(QStringLiteral("roc.csv"))), expected);
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(StatisticalExportTest, TwoRocPlotsAsSvg)
{
    categories({"area_um", "deform"});
    select({"area_um", "deform"});
    widget<QPushButton>("runRocButton")->click();
    // Two features and the combination: take the first two plots.
    ASSERT_EQ(window.rocPlotList().size(), 3u);
    const std::vector<QwtPlot*> two(window.rocPlotList().begin(), window.rocPlotList().begin() + 2);
    ASSERT_TRUE(exportStackedPlots(two, out(QStringLiteral("roc.svg")), 120));
    const QByteArray svg = contents(out(QStringLiteral("roc.svg")));
    EXPECT_TRUE(svg.contains("viewBox=\"0 0 453.54 937.316\"")) << svg.left(600).toStdString();
    EXPECT_TRUE(svg.contains("width=\"") && svg.contains("height=\""));
}

TEST_F(StatisticalExportTest, TablesAsTsvAndCsv)
{
    categories({"area_um"});
    auto* name = panel(0)->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
    name->setText(QStringLiteral("Control, day \"1\""));
    emit name->editingFinished();
    select({"area_um"});
    widget<QPushButton>("runAnalysisButton")->click();
    const QString label = QString::fromStdString(data.host.entries.front()->reader->featureLabel("area_um"));

    prompts->answerFiles({out(QStringLiteral("table"))}, tsvFilter);
    window.exportTable();
    EXPECT_EQ(prompts->last()->title, QStringLiteral("Export Table"));
    EXPECT_EQ(QString::fromUtf8(contents(out(QStringLiteral("table.tsv")))),
              QStringLiteral("Feature\tControl, day \"1\"\tCondition 1\tTest\tp\tSig. (α=0.05)\n") + label
                  + QStringLiteral("\t1 ± 1\t11 ± 1\tMann-Whitney U (exact)\t0.1\tns\n"));

    prompts->answerFiles({out(QStringLiteral("table"))}, csvFilter);
    window.exportTable();
    // Regression: cells holding the separator or a quote were written bare, shifting the
    // columns; now they are quoted, quotes doubled.
    EXPECT_EQ(QString::fromUtf8(contents(out(QStringLiteral("table.csv")))),
              QStringLiteral("Feature,\"Control, day \"\"1\"\"\",Condition 1,Test,p,Sig. (α=0.05)\n") + label
                  + QStringLiteral(",1 ± 1,11 ± 1,Mann-Whitney U (exact),0.1,ns\n"));

    EXPECT_EQ(exportCell(QStringLiteral("a\tb\nc"), QLatin1Char('\t')), QStringLiteral("a b c"));
    EXPECT_EQ(exportCell(QStringLiteral("two\nlines"), QLatin1Char(',')), QStringLiteral("\"two\nlines\""));
    EXPECT_EQ(tableSeparator(QStringLiteral("x.CSV")), QLatin1Char(','));
    EXPECT_EQ(tableSeparator(QStringLiteral("x.txt")), QLatin1Char('\t'));

    widget<QPushButton>("runRocButton")->click();
    prompts->answerFiles({out(QStringLiteral("roc"))}, tsvFilter);
    window.exportROCTable();
    EXPECT_EQ(prompts->last()->title, QStringLiteral("Export ROC Table"));
    EXPECT_TRUE(contents(out(QStringLiteral("roc.tsv"))).startsWith("Feature\tAUC\tDirection\t"));
}

TEST_F(StatisticalExportTest, DistributionPlotsIntoAFolder)
{
    const std::vector<std::string> keys = {"area_um", "deform", "bright_avg", "aspect", "tilt"};
    categories(keys);
    select({"area_um", "deform", "bright_avg", "aspect", "tilt"});
    widget<QPushButton>("updateDistributionsButton")->click();
    ASSERT_EQ(window.distributionPlotList().size(), 5u);
    prompts->answerFiles({dir.path()});
    window.exportDistributionPlots();
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(contents(out(QStringLiteral("distribution_%1.svg").arg(i))).contains("<svg")) << i;
    EXPECT_EQ(boxes(QStringLiteral("Export")),
              QStringList{QStringLiteral("Exported 5 distribution plot(s) to %1").arg(dir.path())});
}

TEST_F(StatisticalExportTest, FailuresAreReportedNotSuccess)
{
    // Regression: files that could not be written were not reported (and the distribution
    // export claimed success). Tests run as root, so a read-only folder is writable: write
    // below a regular file.
    QFile blocker(out(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString below = out(QStringLiteral("file/x"));
    categories({"area_um", "deform"});
    select({"area_um", "deform"});
    widget<QPushButton>("runAnalysisButton")->click();
    widget<QPushButton>("updateDistributionsButton")->click();

    Tervane3::Test::ExpectQtWarnings writerWarnings; // the image and SVG writers complain, too
    for (const QString& filter : {pngFilter, svgFilter, pdfFilter}) {
        prompts->clear();
        prompts->answerFiles({below}, filter);
        window.exportPlots();
        EXPECT_EQ(errors().size(), 1) << filter.toStdString();
    }
    prompts->clear();
    prompts->answerFiles({below}, tsvFilter);
    window.exportTable();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("Failed to create: %1.tsv").arg(below)});

    prompts->clear();
    prompts->answerFiles({below});
    window.exportDistributionPlots();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("distribution_1.svg\n")));
    EXPECT_TRUE(errors()[0].endsWith(QStringLiteral("distribution_2.svg")));
    EXPECT_TRUE(boxes(QStringLiteral("Export")).isEmpty()) << "no success box";
}

} // namespace
