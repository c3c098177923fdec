// tervane3-isoelastic-shot: the main window's scatter plot of area against deformation with
// the isoelastic lines and their kPa labels, on a synthetic TavrisolB measurement (20 µm
// channel, 0.16 µL/s, 23 °C) with the shipped look-up table, for the manual and the README.
// Run it under Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-isoelastic-shot <out dir>
// Writes isoelastics-plot.png (the plot, rendered larger than in the window).
#include "CalculationShot.h"

#include "plots/ScatterPlot.h"

#include <QCheckBox>
#include <QImage>
#include <QPainter>

#include <qwt_plot_renderer.h>

#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-isoelastic-shot <output folder>\n";
        return 2;
    }
    Shot::CalculationShot shot(argc, argv, "screenshot-isoelastics.rtdc");
    if (!shot.ready())
        return 1;
    MainWindow& window = *shot.window;

    Access::selectKey(Access::combo(window, "xFeatureCombo"), QStringLiteral("area_um"));
    Access::selectKey(Access::combo(window, "yFeatureCombo"), QStringLiteral("deform"));
    auto* lines = window.findChild<QCheckBox*>(QStringLiteral("isoelasticsCheck"));
    if (!lines || !lines->isVisible()) {
        std::cerr << "no isoelastic lines offered for area against deformation\n";
        return 1;
    }
    lines->setChecked(true);
    auto* labels = window.findChild<QCheckBox*>(QStringLiteral("isoLabelsCheck"));
    if (!labels)
        return 1;
    labels->setChecked(true);
    Test::waitUntil([] { return false; }, 500);

    ScatterPlot* plot = Access::scatterPlot(window);
    QImage picture(900, 620, QImage::Format_ARGB32);
    picture.fill(plot->palette().color(QPalette::Window));
    {
        QPainter painter(&picture);
        QwtPlotRenderer renderer;
        renderer.render(plot, &painter, QRectF(picture.rect()));
    }
    if (!picture.save(shot.out + QStringLiteral("/isoelastics-plot.png"))) {
        std::cerr << "cannot write the picture\n";
        return 1;
    }
    return 0;
}
