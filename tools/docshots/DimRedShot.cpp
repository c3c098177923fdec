// tervane3-dimred-shot: the pictures of the dimension reduction for the manual and the
// README, grabbed from the real widgets on a synthetic measurement. The page is not offered
// to users yet, so the tool shows it the way a test harness does. Run it under Xvfb:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-dimred-shot <out dir>
// Writes dimred-page.png (the page after a UMAP run with cluster labels) and
// dimred-umap-plot.png (the main window plotting Dimension 1 against Dimension 2, coloured
// by the cluster id).
#include "CalculationShot.h"

#include "calc/CalculationsDockWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QListWidget>
#include <QSpinBox>

#include <iostream>
#include <set>

using namespace Tervane3;
using Access = MainWindowTestAccess;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-dimred-shot <output folder>\n";
        return 2;
    }
    Shot::CalculationShot shot(argc, argv, "screenshot-dimred.rtdc");
    if (!shot.ready())
        return 1;
    MainWindow& window = *shot.window;
    const QString& out = shot.out;

    CalculationsDockWidget* dock = window.calcDock();
    if (auto* dockWindow = qobject_cast<QDockWidget*>(dock->parentWidget()))
        dockWindow->raise();
    dock->setExpertPagesVisible(true);
    auto* selector = dock->findChild<QComboBox*>(QStringLiteral("calcPageSelector"));
    selector->setCurrentIndex(selector->findText(QStringLiteral("Dimension Reduction")));

    const std::set<QString> inputs = {QStringLiteral("area_um"), QStringLiteral("deform"), QStringLiteral("bright_avg"),
                                      QStringLiteral("bright_sd"), QStringLiteral("fl1_max"), QStringLiteral("fl2_max")};
    auto* list = dock->findChild<QListWidget*>(QStringLiteral("dimRedFeatureList"));
    for (int row = 0; row < list->count(); ++row) {
        if (inputs.count(list->item(row)->data(Qt::UserRole).toString()))
            list->item(row)->setCheckState(Qt::Checked);
    }
    auto* method = dock->findChild<QComboBox*>(QStringLiteral("dimRedMethodCombo"));
    method->setCurrentIndex(method->findData(1));
    dock->findChild<QGroupBox*>(QStringLiteral("clusterGroup"))->setChecked(true);
    dock->findChild<QSpinBox*>(QStringLiteral("clusterMinPointsSpin"))->setValue(25);
    window.onComputeDimReduction();
    Test::waitUntil([&] { return !Access::calcBusy(window); }, 600000);
    QCoreApplication::processEvents();
    for (const auto& call : shot.env->prompts->calls())
        std::cout << call.title.toStdString() << ": " << call.text.toStdString() << "\n";

    dock->resize(340, dock->sizeHint().height());
    QCoreApplication::processEvents();
    if (!dock->grab().save(out + QStringLiteral("/dimred-page.png")))
        return 1;

    Access::selectKey(Access::combo(window, "xFeatureCombo"), QStringLiteral("dim_1"));
    Access::selectKey(Access::combo(window, "yFeatureCombo"), QStringLiteral("dim_2"));
    Access::selectKey(Access::combo(window, "colorFeatureCombo"), QStringLiteral("dr_cluster"));
    Test::waitUntil([] { return false; }, 500);
    if (!window.grab().save(out + QStringLiteral("/dimred-umap-plot.png")))
        return 1;
    return 0;
}
