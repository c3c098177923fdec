// Files written by the statistical evaluation.
#include "stats/StatisticsExport.h"

#include "stats/RocAnalysis.h"

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

constexpr double plotWidthMm = 120.0;
constexpr double gapMm = 8.0;
constexpr double pngDpi = 150.0;
constexpr double svgPixelsPerMm = 3.7795;
// The tallest page common PDF readers open (200 inches).
constexpr double maxPageHeightMm = 5080.0;

double stackHeight(size_t count, double plotHeightMm)
{
    return static_cast<double>(count) * plotHeightMm + static_cast<double>(count - 1) * gapMm;
}

bool renderPng(QwtPlotRenderer& renderer, const std::vector<QwtPlot*>& plots, const QString& fileName,
               double plotHeightMm)
{
    const double total = stackHeight(plots.size(), plotHeightMm);
    const double pxPerMm = pngDpi / 25.4;
    QImage image(708, static_cast<int>(std::floor(total * pxPerMm)), QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    image.fill(Qt::white);
    QPainter painter;
    if (!painter.begin(&image))
        return false;
    for (size_t i = 0; i < plots.size(); ++i)
        renderer.render(plots[i], &painter,
                        QRectF(0, static_cast<double>(i) * (plotHeightMm + gapMm) * pxPerMm, 708, plotHeightMm * pxPerMm));
    painter.end();
    return image.save(fileName, "PNG");
}

bool renderSvg(QwtPlotRenderer& renderer, const std::vector<QwtPlot*>& plots, const QString& fileName,
               double plotHeightMm)
{
    const double total = stackHeight(plots.size(), plotHeightMm);
    QSvgGenerator generator;
    generator.setFileName(fileName);
    generator.setSize(QSize(453, static_cast<int>(std::floor(total * svgPixelsPerMm))));
    generator.setViewBox(QRectF(0, 0, 453.54, total * svgPixelsPerMm));
    // The view box counts 3.7795 units per mm: 96 dpi, so that fonts keep their size.
    generator.setResolution(96);
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    for (size_t i = 0; i < plots.size(); ++i)
        renderer.render(plots[i], &painter,
                        QRectF(0, static_cast<double>(i) * (plotHeightMm + gapMm) * svgPixelsPerMm, 453.54,
                               plotHeightMm * svgPixelsPerMm));
    return painter.end();
}

bool renderPdf(QwtPlotRenderer& renderer, const std::vector<QwtPlot*>& plots, const QString& fileName,
               double plotHeightMm)
{
    const size_t perPage = std::max<size_t>(1, static_cast<size_t>(std::floor((maxPageHeightMm + gapMm) / (plotHeightMm + gapMm))));
    const auto pageSize = [&](size_t count) {
        return QPageSize(QSizeF(plotWidthMm, stackHeight(count, plotHeightMm)), QPageSize::Millimeter);
    };
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printer.setPageSize(pageSize(std::min(perPage, plots.size())));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    for (size_t first = 0; first < plots.size(); first += perPage) {
        const size_t count = std::min(perPage, plots.size() - first);
        if (first > 0) {
            printer.setPageSize(pageSize(count));
            if (!printer.newPage())
                return false;
        }
        const double total = stackHeight(count, plotHeightMm);
        const double width = printer.width();
        const double unit = printer.height() / total; // device pixels per mm
        for (size_t i = 0; i < count; ++i)
            renderer.render(plots[first + i], &painter,
                            QRectF(0, static_cast<double>(i) * unit * (plotHeightMm + gapMm), width, unit * plotHeightMm));
    }
    return painter.end();
}

} // namespace

bool exportStackedPlots(const std::vector<QwtPlot*>& plots, const QString& fileName, double plotHeightMm)
{
    if (plots.empty() || fileName.isEmpty())
        return false;
    // A file left from before must not pass for the new one.
    if (QFileInfo::exists(fileName) && !QFile::remove(fileName))
        return false;
    QwtPlotRenderer renderer;
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasBackground, false);
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    bool written = false;
    if (plots.size() == 1) {
        // The renderer looks its format up case-sensitively: hand it the lower-case suffix.
        renderer.renderDocument(plots.front(), fileName, suffix, QSizeF(plotWidthMm, plotHeightMm), 150);
        written = true;
    } else if (suffix == QLatin1String("png")) {
        written = renderPng(renderer, plots, fileName, plotHeightMm);
    } else if (suffix == QLatin1String("svg")) {
        written = renderSvg(renderer, plots, fileName, plotHeightMm);
    } else {
        written = renderPdf(renderer, plots, fileName, plotHeightMm);
    }
    const QFileInfo result(fileName);
    return written && result.exists() && result.size() > 0;
}

QChar tableSeparator(const QString& fileName)
{
    return QFileInfo(fileName).suffix().toLower() == QLatin1String("csv") ? QLatin1Char(',') : QLatin1Char('\t');
}

QString exportCell(const QString& text, QChar separator)
{
    if (separator == QLatin1Char(',')) {
        if (!text.contains(separator) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
            && !text.contains(QLatin1Char('\r')))
            return text;
        QString quoted = text;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    QString plain = text;
    for (const QChar c : {QChar(QLatin1Char('\t')), QChar(QLatin1Char('\n')), QChar(QLatin1Char('\r'))})
        plain.replace(c, QLatin1Char(' '));
    return plain;
}

QByteArray tableExportText(const QTableWidget* table, QChar separator)
{
    QString text;
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem* item = table->horizontalHeaderItem(c);
        cells << exportCell(item ? item->text() : QString(), separator);
    }
    text += cells.join(separator) + QLatin1Char('\n');
    for (int r = 0; r < table->rowCount(); ++r) {
        cells.clear();
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            cells << exportCell(item ? item->text() : QString(), separator);
        }
        text += cells.join(separator) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QByteArray rocCurveText(const QString& heading, const std::vector<RocCurveExport>& curves, QChar separator)
{
    const auto commentLine = [](QString line) -> QString {
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        line.replace(QLatin1Char('\r'), QLatin1Char(' '));
        return QStringLiteral("# ") + line + QLatin1Char('\n');
    };
    QString text;
    if (!heading.isEmpty())
        text += commentLine(heading) + QLatin1Char('\n');
    for (const RocCurveExport& curve : curves) {
        if (!curve.roc || !curve.roc->valid)
            continue;
        const RocResult& roc = *curve.roc;
        text += commentLine(curve.label);
        text += QStringLiteral("FPR") + separator + QStringLiteral("TPR") + separator + QStringLiteral("Threshold\n");
        for (size_t i = 0; i < roc.fpr.size(); ++i)
            text += QString::number(roc.fpr[i], 'g', 6) + separator + QString::number(roc.tpr[i], 'g', 6) + separator
                    + QString::number(i < roc.thresholds.size() ? roc.thresholds[i] : 0.0, 'g', 6) + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

bool writeExportFile(const QString& fileName, const QByteArray& bytes)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace Tervane3
