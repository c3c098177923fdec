// tervane3-calc-shot: the pictures of the calculations dock for the manual and the README,
// grabbed from the real widgets on a synthetic measurement with the program's own look. Run
// it under Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-calc-shot <out dir>
// Writes emodulus-page.png (the Young's Modulus page after a computation) and
// emodulus-quality.png (the quality dialog of that dataset).
#include "app/AppStyle.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModQualityDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QPushButton>

#include <clocale>
#include <cstdlib>
#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-calc-shot <output folder>\n";
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string measurement = QString(out + QStringLiteral("/screenshot-sample.rtdc")).toStdString();
    const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + measurement +
                                "\" --events 20000 --seed 3";
    if (std::system(command.c_str()) != 0)
        return 1;

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    Access::addDataset(window, QString::fromStdString(measurement));
    Test::waitForCaching(window, 120000);
    Access::entry(window, 0).displayName = QStringLiteral("HL60 control, 0.16 µL/s");

    CalculationsDockWidget* dock = window.calcDock();
    auto* dockWindow = qobject_cast<QDockWidget*>(dock->parentWidget());
    if (dockWindow)
        dockWindow->raise();
    dock->findChild<QComboBox*>(QStringLiteral("calcPageSelector"))->setCurrentIndex(0);
    dock->findChild<QPushButton*>(QStringLiteral("computeEmodulusButton"))->click();
    Test::waitUntil([&] { return !Access::calcBusy(window); }, 120000);
    QCoreApplication::processEvents();

    dock->resize(340, dock->sizeHint().height());
    QCoreApplication::processEvents();
    if (!dock->grab().save(out + QStringLiteral("/emodulus-page.png")))
        return 1;

    dock->findChild<QPushButton*>(QStringLiteral("assessQualityButton"))->click();
    QCoreApplication::processEvents();
    const QList<EModQualityDialog*> dialogs = window.findChildren<EModQualityDialog*>();
    if (dialogs.size() != 1)
        return 1;
    dialogs.front()->adjustSize();
    QCoreApplication::processEvents();
    if (!dialogs.front()->grab().save(out + QStringLiteral("/emodulus-quality.png")))
        return 1;
    std::remove(measurement.c_str());
    return 0;
}
