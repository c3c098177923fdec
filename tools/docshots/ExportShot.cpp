// tervane3-export-shot: the pictures of the export dialogs for the manual and the README,
// grabbed from the real widgets on synthetic measurements with the program's own look, and
// a plot exported through Export > Export Plot... as a reader of the paper would see it. Run
// it under Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-export-shot <out dir>
// Writes export-dialog.png (Export Data... with two datasets open), summary-dialog.png
// (Export Statistical Summary...) and exported-plot.png (the PNG the plot export writes).
#include "ExportTestSupport.h"
#include "mainwindow/MainWindowTestAccess.h"
#include "ShotFiles.h"

#include "app/AppStyle.h"
#include "app/DatasetEntry.h"
#include "io/ExportDialog.h"
#include "io/StatSummaryExportDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>

#include <clocale>
#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

std::string synthFile(const QString& folder, const char* name, const char* options)
{
    const std::string path = QString(folder + QLatin1Char('/') + QLatin1String(name)).toStdString();
    return Shot::writeSynthetic(path, options) ? path : std::string();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-export-shot <output folder>\n";
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]);

    const std::string cells = synthFile(out, "shot-cells.rtdc", "--events 20000 --images --masks --traces --seed 4");
    const std::string treated = synthFile(out, "shot-treated.rtdc", "--events 2000 --seed 5");
    if (cells.empty() || treated.empty())
        return 1;
    std::vector<std::unique_ptr<DatasetEntry>> datasets;
    datasets.push_back(Test::openEntry(cells, 0, QStringLiteral("HL60 control")));
    datasets.push_back(Test::openEntry(treated, 1, QStringLiteral("HL60 treated")));
    if (!datasets[0] || !datasets[1])
        return 1;

    ExportOptions previous;
    previous.features = {"area_um", "deform", "bright_avg", "fl1_max", "fl2_max", "frame", "time"};
    previous.images = true;
    previous.masks = true;
    ExportDialog dialog(datasets[0].get(), datasets, false, nullptr, &previous);
    dialog.resize(dialog.sizeHint().width() + 40, dialog.sizeHint().height());
    if (!Shot::showAndSave(&dialog, out + QStringLiteral("/export-dialog.png")))
        return 1;

    StatSummaryOptions summary;
    summary.features = {"area_um", "deform", "bright_avg"};
    summary.n = summary.median = summary.iqr = true;
    summary.mean = summary.sd = false;
    summary.percentile = true;
    summary.percentileValue = 90.0;
    summary.allDatasets = true;
    StatSummaryExportDialog summaryDialog(datasets[0].get(), &datasets, nullptr, &summary);
    summaryDialog.resize(summaryDialog.sizeHint().width() + 40, summaryDialog.sizeHint().height());
    if (!Shot::showAndSave(&summaryDialog, out + QStringLiteral("/summary-dialog.png")))
        return 1;

    // The plot export of the main window: area against deformation with density colours and
    // contour lines.
    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    Access::addDataset(window, QString::fromStdString(cells));
    Test::waitForCaching(window, 120000);
    Access::selectKey(Access::combo(window, "xFeatureCombo"), QStringLiteral("area_um"));
    Access::selectKey(Access::combo(window, "yFeatureCombo"), QStringLiteral("deform"));
    Access::selectKey(Access::combo(window, "colorFeatureCombo"), QStringLiteral("__density_kde__"));
    Access::combo(window, "contourModeCombo")->setCurrentIndex(1);
    QCoreApplication::processEvents();
    env.prompts->answerFiles({out + QStringLiteral("/exported-plot.png")}, QStringLiteral("PNG Image (*.png)"));
    window.findChild<QAction*>(QStringLiteral("exportPlotAction"))->trigger();
    return QFileInfo::exists(out + QStringLiteral("/exported-plot.png")) ? 0 : 1;
}
