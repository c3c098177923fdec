// The six exports of the statistical evaluation window: what the tabs show, as plots
// (PNG, SVG, PDF), tables (TSV, CSV) and ROC curve points. Every failure is reported as
// "Export Error"; no success is claimed for a file that was not written.
#include "stats/StatisticalEvalWindow.h"

#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "stats/StatisticsExport.h"

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTableWidget>

namespace Tervane3 {

namespace {

const QString exportTitle = QStringLiteral("Export");
const QString plotFilter = QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
const QString tableFilter = QStringLiteral("Tab-separated values (*.tsv);;CSV (*.csv)");

void reportFailure(QWidget* parent, const QString& what)
{
    prompts().critical(parent, QStringLiteral("Export Error"), QStringLiteral("Failed to create: %1").arg(what));
}

} // namespace

QString StatisticalEvalWindow::askSaveFileName(const QString& caption, const QString& filter)
{
    QString selectedFilter;
    const QString name = prompts().getSaveFileName(this, caption, QString(), filter, &selectedFilter);
    if (name.isEmpty())
        return QString();
    // The writers choose the format by the extension: a typed offered one is kept.
    return ensureOfferedExtension(name, selectedFilter, filter);
}

void StatisticalEvalWindow::exportPlotList(const std::vector<QwtPlot*>& plots, const QString& caption,
                                           double plotHeightMm)
{
    const QString fileName = askSaveFileName(caption, plotFilter);
    if (fileName.isEmpty())
        return;
    if (!exportStackedPlots(plots, fileName, plotHeightMm))
        reportFailure(this, fileName);
}

void StatisticalEvalWindow::exportTableWidget(const QTableWidget* table, const QString& caption)
{
    const QString fileName = askSaveFileName(caption, tableFilter);
    if (fileName.isEmpty())
        return;
    if (!writeExportFile(fileName, tableExportText(table, tableSeparator(fileName))))
        reportFailure(this, fileName);
}

void StatisticalEvalWindow::exportPlots()
{
    if (analysisPlots.empty()) {
        prompts().information(this, exportTitle, QStringLiteral("No plots to export. Run analysis first."));
        return;
    }
    exportPlotList(analysisPlots, QStringLiteral("Export Plots"), 80.0);
}

void StatisticalEvalWindow::exportTable()
{
    if (resultTable->rowCount() == 0) {
        prompts().information(this, exportTitle, QStringLiteral("No results to export. Run analysis first."));
        return;
    }
    exportTableWidget(resultTable, QStringLiteral("Export Table"));
}

void StatisticalEvalWindow::exportROCPlots()
{
    if (rocPlots.empty()) {
        prompts().information(this, exportTitle, QStringLiteral("No ROC plots to export. Run ROC analysis first."));
        return;
    }
    exportPlotList(rocPlots, QStringLiteral("Export ROC Plots"), 120.0);
}

void StatisticalEvalWindow::exportROCTable()
{
    if (rocTable->rowCount() == 0) {
        prompts().information(this, exportTitle,
                              QStringLiteral("No ROC results to export. Run ROC analysis first."));
        return;
    }
    exportTableWidget(rocTable, QStringLiteral("Export ROC Table"));
}

void StatisticalEvalWindow::exportROCData()
{
    if (rocPlots.empty() || rocCurves.empty()) {
        prompts().information(this, exportTitle, QStringLiteral("No ROC data to export. Run ROC analysis first."));
        return;
    }
    const QString fileName = askSaveFileName(QStringLiteral("Export ROC Curve Data"), tableFilter);
    if (fileName.isEmpty())
        return;
    // The curves of the last run, as the tab shows them.
    std::vector<RocCurveExport> curves;
    for (const RocCurveRecord& curve : rocCurves)
        curves.push_back({curve.label, &curve.roc});
    if (!writeExportFile(fileName, rocCurveText(rocCurveHeading, curves, tableSeparator(fileName))))
        reportFailure(this, fileName);
}

void StatisticalEvalWindow::exportDistributionPlots()
{
    if (distributionPlots.empty()) {
        prompts().information(this, exportTitle,
                              QStringLiteral("No distribution plots to export. Run distribution explorer first."));
        return;
    }
    const QString folder = prompts().getExistingDirectory(this, QStringLiteral("Export Distribution Plots"), QString());
    if (folder.isEmpty())
        return;
    QwtPlotRenderer renderer;
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground, true);
    QStringList failed;
    int written = 0;
    for (size_t i = 0; i < distributionPlots.size(); ++i) {
        const QString fileName = QStringLiteral("%1/distribution_%2.svg").arg(folder).arg(i + 1);
        // The folder's files are replaced without asking; an old one must not pass for new.
        if (QFileInfo::exists(fileName))
            QFile::remove(fileName);
        renderer.renderDocument(distributionPlots[i], fileName, QStringLiteral("svg"), QSizeF(200, 150), 300);
        const QFileInfo result(fileName);
        if (result.exists() && result.size() > 0)
            ++written;
        else
            failed << QDir::toNativeSeparators(fileName);
    }
    if (!failed.isEmpty())
        reportFailure(this, failed.join(QLatin1Char('\n')));
    if (written > 0)
        prompts().information(this, exportTitle,
                              QStringLiteral("Exported %1 distribution plot(s) to %2").arg(written).arg(folder));
}

} // namespace Tervane3
