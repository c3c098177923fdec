// tervane3-combine-shot: renders a combine plot window of four measurements with the
// program's own look and saves two screenshots for the manual and the README: the
// "Array + Contour" heatmap and "Same Plot" with its legend.
//   tervane3-combine-shot <array.png> <same.png> <a.rtdc> <b.rtdc> <c.rtdc> <d.rtdc>
// Runs on the offscreen platform.
#include "ShotApplication.h"
#include "app/ScriptedPrompts.h"
#include "support/StandInHost.h"
#include "windows/CombinePlotWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPixmap>

#include <cstdio>

namespace {

bool save(QWidget& window, const char* path)
{
    window.findChild<QWidget*>(QStringLiteral("plotContainer"))->adjustSize();
    QCoreApplication::processEvents();
    if (window.grab().save(QString::fromLocal8Bit(path), "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", path);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s <array.png> <same.png> <a.rtdc> <b.rtdc> <c.rtdc> <d.rtdc>\n", argv[0]);
        return 2;
    }
    Tervane3::Shot::ShotApplication app(argc, argv);
    Tervane3::ScriptedPromptsGuard prompts;

    Tervane3::Test::StandInHost host;
    const char* names[] = {"Control", "Treated 1 h", "Treated 4 h", "Treated 24 h"};
    for (int i = 0; i < 4; ++i) {
        Tervane3::DatasetEntry* entry = host.addDataset(argv[3 + i], QString::fromUtf8(names[i]));
        if (!entry) {
            std::fprintf(stderr, "cannot open %s\n", argv[3 + i]);
            return 1;
        }
        entry->xFeatureName = "area_um";
        entry->yFeatureName = "deform";
    }
    Tervane3::CombinePlotWindow window(&host);
    window.resize(1700, 1000);
    window.show();
    window.addAllDatasets();
    window.findChild<QCheckBox*>(QStringLiteral("syncFeaturesCheck"))->setChecked(true);
    window.findChild<QComboBox*>(QStringLiteral("colorCombo"))->setCurrentIndex(Tervane3::CombineHeatmap);
    window.findChild<QComboBox*>(QStringLiteral("displayCombo"))->setCurrentIndex(Tervane3::CombineArrayContour);
    window.findChild<QComboBox*>(QStringLiteral("contourCombo"))->setCurrentIndex(1);
    window.findChild<QCheckBox*>(QStringLiteral("syncAxesCheck"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("showCountCheck"))->setChecked(true);
    window.rebuildPlots();
    if (!save(window, argv[1]))
        return 1;

    window.findChild<QComboBox*>(QStringLiteral("colorCombo"))->setCurrentIndex(Tervane3::CombineDatasetColor);
    window.findChild<QComboBox*>(QStringLiteral("displayCombo"))->setCurrentIndex(Tervane3::CombineSamePlot);
    window.findChild<QCheckBox*>(QStringLiteral("showLegendCheck"))->setChecked(true);
    window.findChild<QComboBox*>(QStringLiteral("contourCombo"))->setCurrentIndex(0);
    window.rebuildPlots();
    return save(window, argv[2]) ? 0 : 1;
}
