// Plot pictures at physical size: the PNG's pixels and resolution, the PDF's page, the SVG's
// view box, suffixes in any letter case, and failures that leave no file (and an older file
// untouched).
#include "io/PlotFileExport.h"

#include "plots/ScatterPlot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <numeric>

namespace Tervane3 {
namespace {

class PlotFileExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        std::vector<double> x(500), y(500);
        for (size_t i = 0; i < x.size(); ++i) {
            x[i] = static_cast<double>(i % 50);
            y[i] = static_cast<double>(i / 50);
        }
        plot.resize(800, 600);
        plot.setData(x, y, QStringLiteral("Area [µm²]"), QStringLiteral("Deformation"), {}, QString());
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray read(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Nothing but the named files in the folder (no temporary file left behind).
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
    ScatterPlot plot;
};

TEST_F(PlotFileExportTest, PngAtPhysicalSize)
{
    // Regression: an upper-case suffix wrote nothing and reported nothing.
    for (const char* name : {"p.png", "P.PNG"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(exportPlotFile(&plot, file(name)));
        QImage image;
        ASSERT_TRUE(image.load(file(name), "PNG"));
        EXPECT_EQ(image.width(), 1181);
        EXPECT_EQ(image.height(), 886);
        EXPECT_EQ(image.dotsPerMeterX(), 5906);
        EXPECT_EQ(image.dotsPerMeterY(), 5906);
        // The export look: white around the plot.
        EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
    }
    EXPECT_EQ(files(), (QStringList{"P.PNG", "p.png"}));
}

TEST_F(PlotFileExportTest, PdfOnePageAndSvgViewBox)
{
    ASSERT_TRUE(exportPlotFile(&plot, file("p.pdf")));
    const QByteArray pdf = read(file("p.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    // One page of 200 x 150 mm: 567 x 425 points.
    EXPECT_EQ(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 1);
    const int start = pdf.indexOf("/MediaBox [");
    ASSERT_GE(start, 0);
    const QList<QByteArray> box = pdf.mid(start + 11, pdf.indexOf(']', start) - start - 11).split(' ');
    ASSERT_EQ(box.size(), 4);
    EXPECT_DOUBLE_EQ(box[2].toDouble(), 567.0);
    EXPECT_DOUBLE_EQ(box[3].toDouble(), 425.0);

    ASSERT_TRUE(exportPlotFile(&plot, file("p.Svg")));
    const QByteArray svg = read(file("p.Svg"));
    EXPECT_TRUE(svg.contains("viewBox=\"0 0 1181.1 885.827\"")) << svg.left(600).toStdString();
}

TEST_F(PlotFileExportTest, FailuresLeaveNoFileAndKeepAnOlderOne)
{
    // A folder that cannot exist: a regular file in its place (tests run as root).
    ASSERT_TRUE(exportPlotFile(&plot, file("old.png")));
    EXPECT_FALSE(exportPlotFile(&plot, file("old.png") + QStringLiteral("/x.png")));
    EXPECT_FALSE(exportPlotFile(&plot, file("plot.bmp")));
    EXPECT_EQ(files(), QStringList{"old.png"});
    // An existing file is replaced by a successful export.
    QFile::resize(file("old.png"), 10);
    ASSERT_TRUE(exportPlotFile(&plot, file("old.png")));
    EXPECT_GT(QFile(file("old.png")).size(), 10);
}

TEST_F(PlotFileExportTest, PlotLooksAsBeforeAfterwards)
{
    const QPalette palette = plot.palette();
    const bool rightAxis = plot.axisEnabled(QwtPlot::yRight);
    ASSERT_TRUE(exportPlotFile(&plot, file("p.png")));
    EXPECT_EQ(plot.palette(), palette);
    EXPECT_EQ(plot.axisEnabled(QwtPlot::yRight), rightAxis);
}

} // namespace
} // namespace Tervane3
