// tervane3-calc-shot: the pictures of the calculations dock for the manual and the README,
// grabbed from the real widgets on a synthetic measurement with the program's own look. Run
// it under Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-calc-shot <out dir>
// Writes emodulus-page.png (the Young's Modulus page after a computation),
// emodulus-quality.png (the quality dialog of that dataset), refinement-page.png (the FL
// Refinement page, hidden as the program ships, made visible for a trial, after a refinement)
// and refined-trace.png (the trace plot of one event showing the refined traces).
#include "app/AppStyle.h"
#include "ShotFiles.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModQualityDialog.h"
#include "plots/TracePlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>

#include <qwt_plot_renderer.h>

#include <clocale>
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
    if (!Shot::writeSynthetic(measurement, "--events 20000 --seed 3 --traces"))
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
    dialogs.front()->close();

    // The refinement page is hidden as the program ships; a trial shows it.
    dock->setExpertPagesVisible(true);
    auto* selector = dock->findChild<QComboBox*>(QStringLiteral("calcPageSelector"));
    selector->setCurrentIndex(selector->findText(QStringLiteral("FL Refinement")));
    auto* refine = dock->findChild<QPushButton*>(QStringLiteral("refineFluorescenceButton"));
    if (!refine->isEnabled())
        return 1;
    refine->click();
    Test::waitUntil([&] { return !Access::calcBusy(window); }, 120000);
    QCoreApplication::processEvents();
    if (!Access::entry(window, 0).flRefinementApplied)
        return 1;
    dock->resize(340, dock->sizeHint().height());
    QCoreApplication::processEvents();
    if (!dock->grab().save(out + QStringLiteral("/refinement-page.png")))
        return 1;

    if (!dock->findChild<QCheckBox*>(QStringLiteral("showRefinedTrace"))->isChecked())
        return 1;
    Access::eventSpin(window)->setValue(12);
    QCoreApplication::processEvents();
    TracePlot* traces = Access::tracePlot(window);
    traces->replot();
    QCoreApplication::processEvents();
    if (!traces->isVisible())
        return 1;
    // The plot is small in the window; rendered larger for the picture, with its own look.
    QImage picture(720, 300, QImage::Format_ARGB32);
    picture.fill(traces->palette().color(QPalette::Window));
    {
        QPainter painter(&picture);
        QwtPlotRenderer renderer;
        renderer.render(traces, &painter, QRectF(picture.rect()));
    }
    if (!picture.save(out + QStringLiteral("/refined-trace.png")))
        return 1;
    std::remove(measurement.c_str());
    return 0;
}
