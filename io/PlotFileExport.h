// A plot saved as a picture of fixed physical size (200 x 150 mm at 150 dpi): PNG, SVG or
// PDF by the file name's suffix in any letter case, with the export look (white background,
// frameless canvas, closed axis frame) and the plot's own look put back afterwards. The
// picture is rendered under a temporary name and replaces the target only when it came out
// with content, so a failure never leaves a broken or empty file. GUI thread.
#pragma once

#include <QSizeF>
#include <QString>

class QwtPlot;

namespace Tervane3 {

// False when the suffix is none of png, svg and pdf, or nothing could be written.
bool exportPlotFile(QwtPlot* plot, const QString& path, const QSizeF& sizeMm = QSizeF(200, 150),
                    int dotsPerInch = 150);

} // namespace Tervane3
