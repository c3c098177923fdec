// tervane3-stats-shot: renders the statistical evaluation window over one measurement opened
// as eight datasets (four "Control", four "Treated" with a different area gate each) after
// a comparison, a ROC analysis or the distribution explorer of two features, with the
// program's own look, and saves it as a PNG for the manual and the README.
//   tervane3-stats-shot <measurement.rtdc> <out.png> [comparison|roc|distribution]
// Runs on the offscreen platform.
#include "ShotApplication.h"
#include "app/ScriptedPrompts.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/StandInHost.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QPixmap>
#include <QPushButton>

#include <cstdio>

using namespace Tervane3;

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <measurement.rtdc> <out.png> [comparison|roc|distribution]\n", argv[0]);
        return 2;
    }
    const QString view = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("comparison");
    Shot::ShotApplication app(argc, argv);
    ScriptedPromptsGuard prompts;

    Test::StandInHost host;
    StatisticalEvalWindow window(&host);
    for (int i = 0; i < 8; ++i) {
        const bool treated = i >= 4;
        DatasetEntry* entry = host.addDataset(
            argv[1], QStringLiteral("%1 ID%2").arg(treated ? QStringLiteral("Treated") : QStringLiteral("Control")).arg(i % 4 + 1));
        if (!entry) {
            std::fprintf(stderr, "cannot open %s\n", argv[1]);
            return 1;
        }
        FilterRule gate;
        gate.featureName = "area_um";
        gate.minValue = (treated ? 36.0 : 25.0) + 3.0 * (i % 4);
        gate.maxValue = 1e9;
        entry->filter.addRule(gate);
        window.categories()[treated ? 1 : 0]->addDataset(entry->id);
    }
    auto* features = window.findChild<QListWidget*>(QStringLiteral("featureList"));
    for (int row = 0; row < features->count(); ++row) {
        const QString key = features->item(row)->data(Qt::UserRole).toString();
        if (key == QLatin1String("area_um") || key == QLatin1String("bright_avg"))
            features->item(row)->setSelected(true);
    }
    window.findChild<QPushButton*>(QStringLiteral("autoDetectButton"))->click();
    // Wide enough for the whole result table of the chosen tab.
    window.resize(view == QLatin1String("roc") ? 2140 : view == QLatin1String("comparison") ? 1840 : 1760, 1000);
    window.show();
    QApplication::processEvents();
    if (view == QLatin1String("roc")) {
        window.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentIndex(1);
        window.findChild<QPushButton*>(QStringLiteral("runRocButton"))->click();
    } else if (view == QLatin1String("distribution")) {
        window.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentIndex(2);
        window.findChild<QComboBox*>(QStringLiteral("distributionModeCombo"))->setCurrentIndex(1);
        window.findChild<QPushButton*>(QStringLiteral("updateDistributionsButton"))->click();
    } else {
        window.findChild<QPushButton*>(QStringLiteral("runAnalysisButton"))->click();
    }
    // Let the layouts settle (new plots are shown and sized on later event-loop turns).
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
