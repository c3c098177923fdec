// Writing the statistical evaluation's results to files: plots stacked on one page (PNG,
// SVG or PDF at a physical size), tables as TSV or CSV, ROC curve points. Every step that
// can fail is checked; the functions report success, never a partial file as success.
// GUI thread only (plots are rendered).
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <vector>

class QTableWidget;
class QwtPlot;

namespace Tervane3 {

struct RocResult;

// The plots 120 mm wide and plotHeightMm high each, 8 mm apart, in list order. One plot is
// rendered as a document at 150 dpi in the format of the file's suffix; several are
// stacked by the lower-case suffix: "png" (150 dpi, 708 px wide), "svg" (3.7795 px per
// mm), anything else a PDF whose pages hold at most 5080 mm of plots each (the page limit
// of common readers), further plots continuing on further pages. False when the file
// could not be written.
bool exportStackedPlots(const std::vector<QwtPlot*>& plots, const QString& fileName, double plotHeightMm);

// The separator of a table file: "," for a ".csv" name (any case), else a tab.
QChar tableSeparator(const QString& fileName);

// One cell as written: for CSV quoted when it holds the separator, a quote or a line
// break (quotes doubled); for TSV with tabs and line breaks turned into blanks.
QString exportCell(const QString& text, QChar separator);

// The header line and one line per row, each ending in "\n", UTF-8.
QByteArray tableExportText(const QTableWidget* table, QChar separator);

// One block per curve: "# <label>", the column line "FPR", "TPR", "Threshold", one line
// per point (numbers with 6 significant digits), an empty line.
struct RocCurveExport
{
    QString label;
    const RocResult* roc = nullptr;
};
QByteArray rocCurveText(const QString& heading, const std::vector<RocCurveExport>& curves, QChar separator);

// Writes the bytes to the file as a whole (a temporary file renamed when complete).
bool writeExportFile(const QString& fileName, const QByteArray& bytes);

} // namespace Tervane3
