// tervane3-filter-shot: the picture of the filter panel for the manual and the README: the
// main window on a synthetic measurement with a range rule of its own, a polygon gate and
// two filter groups (one switched on), the plot showing the events that pass. Run it under
// Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-filter-shot <out.png>
#include "app/AppStyle.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"

#include <QApplication>
#include <QDir>
#include <QDockWidget>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

FilterRule range(const std::string& feature, double lo, double hi)
{
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    return rule;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-filter-shot <out.png>\n";
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string measurement = QDir::temp().filePath(QStringLiteral("tervane3-filter-shot.rtdc")).toStdString();
    const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + measurement +
                                "\" --events 20000 --seed 3";
    if (std::system(command.c_str()) != 0)
        return 1;

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1600, 1000);
    window.show();
    Access::addDataset(window, QString::fromStdString(measurement));
    Test::waitForCaching(window, 120000);
    DatasetEntry& entry = Access::entry(window, 0);
    Access::selectKey(Access::combo(window, "colorFeatureCombo"), QStringLiteral("__density_kde__"));

    // Own rules: a range on the brightness and a gate around the main population.
    const auto area = entry.reader->finiteRange("area_um");
    const auto deform = entry.reader->finiteRange("deform");
    const auto bright = entry.reader->finiteRange("bright_avg");
    if (!area || !deform || !bright)
        return 1;
    entry.filter.addRule(range("bright_avg", std::round(bright->min + 0.1 * (bright->max - bright->min)),
                               std::ceil(bright->max)));
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    const double x0 = area->min;
    const double dx = area->max - area->min;
    const double y0 = deform->min;
    const double dy = deform->max - deform->min;
    gate.polygonVertices = {{x0 + 0.12 * dx, y0 + 0.02 * dy}, {x0 + 0.55 * dx, y0 + 0.02 * dy},
                            {x0 + 0.62 * dx, y0 + 0.30 * dy}, {x0 + 0.30 * dx, y0 + 0.45 * dy},
                            {x0 + 0.10 * dx, y0 + 0.25 * dy}};
    entry.filter.addRule(gate);
    Access::filterPanel(window)->setDataset(&entry);

    const int singlets = window.addFilterGroup("Singlets");
    window.addRuleToGroup(singlets, range("aspect", 1.0, 2.0));
    const int large = window.addFilterGroup("Large cells");
    window.addRuleToGroup(large, range("area_um", std::round(x0 + 0.4 * dx), std::ceil(area->max)));
    window.setGroupEnabled(entry.id, singlets, true);
    Access::flushFilterUpdate(window);
    // A wider and taller Filters dock, as a user would drag it, so both groups show whole.
    auto* filters = window.findChild<QDockWidget*>(QStringLiteral("filtersDock"));
    auto* statistics = window.findChild<QDockWidget*>(QStringLiteral("statisticsDock"));
    window.resizeDocks({filters}, {470}, Qt::Horizontal);
    window.resizeDocks({filters, statistics}, {820, 120}, Qt::Vertical);
    Test::waitUntil([] { return false; }, 500);

    if (!window.grab().save(out, "PNG")) {
        std::cerr << "cannot write " << out.toStdString() << "\n";
        return 1;
    }
    std::remove(measurement.c_str());
    return 0;
}
