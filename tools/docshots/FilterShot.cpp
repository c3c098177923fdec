// tervane3-filter-shot: the pictures of filtering for the manual and the README, taken from
// the real windows on synthetic measurements with the program's own look. Run it under Xvfb
// so fonts render as on a desktop:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24" <tool> <out dir>
// with <tool> build/tools/docshots/tervane3-filter-shot.
// Writes filter-panel.png (the main window: a range rule and a gate of the dataset, two
// filter groups, one switched on, and the plot of the events that pass) and filter-gates.png
// (the plot with the dataset's gate and a group's gate under edit, beside the filter-groups
// matrix of three measurements and three groups).
#include "ShotApplication.h"
#include "ShotFiles.h"
#include "mainwindow/MainWindowTestAccess.h"
#include "support/FilterRules.h"

#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "filters/PolygonGateId.h"
#include "plots/ScatterPlot.h"

#include <QDir>
#include <QDockWidget>
#include <QPainter>

#include <cmath>
#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

// A 20,000-event measurement of the generator with this seed, in the temporary folder.
std::string synthetic(int seed)
{
    const std::string path = QDir::temp().filePath(QStringLiteral("tervane3-filter-shot-%1.rtdc").arg(seed)).toStdString();
    return Shot::writeSynthetic(path, "--events 20000 --seed " + std::to_string(seed)) ? path : std::string();
}

// A gate on area and deformation through points given as fractions of the two ranges.
FilterRule gateOf(const RTDCReader& reader, const std::vector<PolygonVertex>& fractions)
{
    const auto area = reader.finiteRange("area_um");
    const auto deform = reader.finiteRange("deform");
    std::vector<PolygonVertex> vertices;
    for (const PolygonVertex& f : fractions)
        vertices.emplace_back(area->min + f.first * (area->max - area->min),
                              deform->min + f.second * (deform->max - deform->min));
    return gateRule("area_um", "deform", vertices);
}

bool save(const QPixmap& picture, const QString& file)
{
    if (picture.save(file, "PNG"))
        return true;
    std::cerr << "cannot write " << file.toStdString() << "\n";
    return false;
}

bool panelShot(const std::string& measurement, const QString& file)
{
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
    const auto bright = entry.reader->finiteRange("bright_avg");
    if (!area || !bright)
        return false;
    entry.filter.addRule(
        rangeRule("bright_avg", std::round(bright->min + 0.1 * (bright->max - bright->min)), std::ceil(bright->max)));
    entry.filter.addRule(gateOf(*entry.reader, {{0.12, 0.02}, {0.55, 0.02}, {0.62, 0.30}, {0.30, 0.45}, {0.10, 0.25}}));
    Access::filterPanel(window)->setDataset(&entry);

    const int singlets = window.addFilterGroup("Singlets");
    window.addRuleToGroup(singlets, rangeRule("aspect", 1.0, 2.0));
    const int large = window.addFilterGroup("Large cells");
    window.addRuleToGroup(
        large, rangeRule("area_um", std::round(area->min + 0.4 * (area->max - area->min)), std::ceil(area->max)));
    window.setGroupEnabled(entry.id, singlets, true);
    Access::flushFilterUpdate(window);
    // A wider and taller Filters dock, as a user would drag it, so both groups show whole.
    auto* filters = window.findChild<QDockWidget*>(QStringLiteral("filtersDock"));
    auto* statistics = window.findChild<QDockWidget*>(QStringLiteral("statisticsDock"));
    window.resizeDocks({filters}, {470}, Qt::Horizontal);
    window.resizeDocks({filters, statistics}, {820, 120}, Qt::Vertical);
    Test::waitUntil([] { return false; }, 500);
    return save(window.grab(), file);
}

bool gatesShot(const std::vector<std::string>& measurements, const QString& file)
{
    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    const QString names[] = {QStringLiteral("Control, day 1"), QStringLiteral("Treated, day 1"),
                             QStringLiteral("Treated, day 2")};
    for (size_t i = 0; i < measurements.size(); ++i) {
        Access::addDataset(window, QString::fromStdString(measurements[i]));
        Test::waitForCaching(window, 120000);
        Access::entry(window, i).displayName = names[i % 3];
    }
    Access::activate(window, 0);
    DatasetEntry& entry = Access::entry(window, 0);
    Access::selectKey(Access::combo(window, "colorFeatureCombo"), QStringLiteral("__density_kde__"));

    entry.filter.addRule(gateOf(*entry.reader, {{0.10, 0.02}, {0.55, 0.02}, {0.60, 0.28}, {0.30, 0.42}, {0.08, 0.22}}));
    Access::filterPanel(window)->setDataset(&entry);
    const int singlets = window.addFilterGroup("Singlets");
    window.addRuleToGroup(singlets, rangeRule("aspect", 1.0, 2.0));
    const int core = window.addFilterGroup("Main population");
    window.addRuleToGroup(core, gateOf(*entry.reader, {{0.18, 0.04}, {0.42, 0.04}, {0.45, 0.14}, {0.20, 0.16}}));
    const int large = window.addFilterGroup("Large cells");
    window.addRuleToGroup(large, rangeRule("area_um", 60, 200));
    for (const auto& [dataset, group] : std::vector<std::pair<size_t, int>>{{0, singlets}, {0, core}, {1, singlets},
                                                                            {1, large}, {2, core}})
        window.setGroupEnabled(Access::entry(window, dataset).id, group, true);
    Access::flushFilterUpdate(window);

    // The group's gate under edit: its corners show as handles.
    QPolygonF corners;
    for (const PolygonVertex& v : window.findFilterGroupById(core)->rules.front().polygonVertices)
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
    return save(combined, file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-filter-shot <output folder>\n";
        return 2;
    }
    Shot::ShotApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    std::vector<std::string> measurements;
    for (int seed : {3, 4, 5}) {
        measurements.push_back(synthetic(seed));
        if (measurements.back().empty())
            return 1;
    }
    const bool ok = panelShot(measurements.front(), out.filePath(QStringLiteral("filter-panel.png"))) &&
                    gatesShot(measurements, out.filePath(QStringLiteral("filter-gates.png")));
    for (const std::string& file : measurements)
        std::remove(file.c_str());
    return ok ? 0 : 1;
}
