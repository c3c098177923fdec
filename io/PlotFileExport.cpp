// Plot pictures (see PlotFileExport.h). Qwt 6.1 looks the format up case-sensitively from
// the suffix (".PNG" wrote nothing and said nothing), so the lower-cased suffix is passed
// as the format.
#include "io/PlotFileExport.h"

#include "io/TemporaryOutput.h"
#include "plots/PlotExportStyle.h"

#include <qwt_plot_renderer.h>

#include <QFileInfo>

namespace Tervane3 {

bool exportPlotFile(QwtPlot* plot, const QString& path, const QSizeF& sizeMm, int dotsPerInch)
{
    const QString format = QFileInfo(path).suffix().toLower();
    if (!plot || (format != QLatin1String("png") && format != QLatin1String("svg") && format != QLatin1String("pdf")))
        return false;
    TemporaryOutput output(path);
    if (!output.ok())
        return false;
    const PlotStyleSnapshot snapshot = applyExportStyle(plot);
    QwtPlotRenderer renderer;
    configurePlotRenderer(&renderer);
    renderer.renderDocument(plot, output.path(), format, sizeMm, dotsPerInch);
    restorePlotStyle(plot, snapshot);
    if (QFileInfo(output.path()).size() <= 0)
        return false;
    return output.commit(true);
}

} // namespace Tervane3
