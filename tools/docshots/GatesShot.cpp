// tervane3-gates-shot: the picture of polygon gates and the filter-groups matrix for the
// manual and the README: the main plot with a gate of the dataset and a group's gate under
// edit, beside the matrix window of three measurements and three groups. Run it under Xvfb
// so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-gates-shot <out.png>
#include "app/AppStyle.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "filters/PolygonGateId.h"
#include "plots/ScatterPlot.h"

#include <QApplication>
#include <QDir>
#include <QPainter>

#include <clocale>
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

// A gate on area and deformation through points given as fractions of the two ranges.
FilterRule gateOf(const RTDCReader& reader, const std::vector<PolygonVertex>& fractions)
{
    const auto area = reader.finiteRange("area_um");
    const auto deform = reader.finiteRange("deform");
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    for (const PolygonVertex& f : fractions)
        gate.polygonVertices.emplace_back(area->min + f.first * (area->max - area->min),
                                          deform->min + f.second * (deform->max - deform->min));
    return gate;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-gates-shot <out.png>\n";
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]);

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    std::vector<std::string> files;
    for (int seed : {3, 4, 5}) {
        const std::string path =
            QDir::temp().filePath(QStringLiteral("tervane3-gates-shot-%1.rtdc").arg(seed)).toStdString();
        const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path +
                                    "\" --events 20000 --seed " + std::to_string(seed);
        if (std::system(command.c_str()) != 0)
            return 1;
        files.push_back(path);
        Access::addDataset(window, QString::fromStdString(path));
        Test::waitForCaching(window, 120000);
    }
    const QString names[] = {QStringLiteral("Control, day 1"), QStringLiteral("Treated, day 1"),
                             QStringLiteral("Treated, day 2")};
    for (size_t i = 0; i < 3; ++i)
        Access::entry(window, i).displayName = names[i];
    Access::activate(window, 0);
    DatasetEntry& entry = Access::entry(window, 0);
    Access::selectKey(Access::combo(window, "colorFeatureCombo"), QStringLiteral("__density_kde__"));

    entry.filter.addRule(gateOf(*entry.reader, {{0.10, 0.02}, {0.55, 0.02}, {0.60, 0.28}, {0.30, 0.42}, {0.08, 0.22}}));
    Access::filterPanel(window)->setDataset(&entry);
    const int singlets = window.addFilterGroup("Singlets");
    window.addRuleToGroup(singlets, range("aspect", 1.0, 2.0));
    const int core = window.addFilterGroup("Main population");
    window.addRuleToGroup(core, gateOf(*entry.reader, {{0.18, 0.04}, {0.42, 0.04}, {0.45, 0.14}, {0.20, 0.16}}));
    const int large = window.addFilterGroup("Large cells");
    window.addRuleToGroup(large, range("area_um", 60, 200));
    for (const auto& [dataset, group] : std::vector<std::pair<size_t, int>>{{0, singlets}, {0, core}, {1, singlets},
                                                                            {1, large}, {2, core}})
        window.setGroupEnabled(Access::entry(window, dataset).id, group, true);
    Access::flushFilterUpdate(window);

    // The group's gate under edit: its corners show as handles.
    const FilterRule& edited = window.findFilterGroupById(core)->rules.front();
    QPolygonF corners;
    for (const PolygonVertex& v : edited.polygonVertices)
        corners << QPointF(v.first, v.second);
    Access::scatterPlot(window)->startPolygonEditing(groupGateId(core, 0), corners);
    window.openFilterGroupsMatrixWindow();
    FilterGroupsMatrixWindow* matrix = Access::matrixWindows(window).front();
    matrix->resize(600, 300);
    Test::waitUntil([] { return false; }, 500);

    const QPixmap plot = Access::scatterPlot(window)->grab();
    const QPixmap table = matrix->grab();
    QPixmap combined(plot.width() + table.width() + 16, std::max(plot.height(), table.height()));
    combined.fill(QColor(QStringLiteral("#efefef")));
    QPainter painter(&combined);
    painter.drawPixmap(0, 0, plot);
    painter.drawPixmap(plot.width() + 16, 0, table);
    painter.end();
    for (const std::string& file : files)
        std::remove(file.c_str());
    if (!combined.save(out, "PNG")) {
        std::cerr << "cannot write " << out.toStdString() << "\n";
        return 1;
    }
    return 0;
}
